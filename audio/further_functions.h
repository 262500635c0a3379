// The audio libraries' functions that only the extension commands use. Not every build
// of the libraries has them, so they are never imported: each is looked up by name in
// the library already loaded, the first time an extension command needs them, and a
// missing one stays null (the command then answers that it is not available).
#pragma once

#include "audio/bass_api.h"

struct FurtherFunctions {
    // bass.dll
    BOOL(WINAPI* channelPause)(DWORD handle);
    DWORD(WINAPI* channelIsActive)(DWORD handle);
    BOOL(WINAPI* channelSetAttribute)(DWORD handle, DWORD attrib, float value);
    BOOL(WINAPI* channelGetAttribute)(DWORD handle, DWORD attrib, float* value);
    BOOL(WINAPI* channelSlideAttribute)(DWORD handle, DWORD attrib, float value, DWORD time);
    BOOL(WINAPI* channelIsSliding)(DWORD handle, DWORD attrib);
    QWORD(WINAPI* channelGetPosition)(DWORD handle, DWORD mode);
    BOOL(WINAPI* setConfig)(DWORD option, DWORD value);
    BOOL(WINAPI* getDeviceInfo)(DWORD device, BASS_DEVICEINFO* info);
    BOOL(WINAPI* setDevice)(DWORD device);
    BOOL(WINAPI* channelSetDevice)(DWORD handle, DWORD device);
    DWORD(WINAPI* getDevice)();
    BOOL(WINAPI* getInfo)(BASS_INFO* info);
    DWORD(WINAPI* getConfig)(DWORD option);
    // bassmidi.dll
    DWORD(WINAPI* midiStreamGetMarks)(HSTREAM handle, int track, DWORD type, BASS_MIDI_MARK* marks);
    // bass_vst.dll
    BOOL(WINAPI* vstResume)(DWORD vstHandle);
    char*(WINAPI* vstGetChunk)(DWORD vstHandle, BOOL isPreset, DWORD* length);
    DWORD(WINAPI* vstSetChunk)(DWORD vstHandle, BOOL isPreset, const char* chunk, DWORD length);
    int(WINAPI* vstGetProgramCount)(DWORD vstHandle);
    int(WINAPI* vstGetProgram)(DWORD vstHandle);
    BOOL(WINAPI* vstSetProgram)(DWORD vstHandle, int programIndex);
    const char*(WINAPI* vstGetProgramName)(DWORD vstHandle, int programIndex);
    int(WINAPI* vstGetParamCount)(DWORD vstHandle);
    float(WINAPI* vstGetParam)(DWORD vstHandle, int paramIndex);
    BOOL(WINAPI* vstSetParam)(DWORD vstHandle, int paramIndex, float value);
    BOOL(WINAPI* vstGetParamInfo)(DWORD vstHandle, int paramIndex, BASS_VST_PARAM_INFO* info);
    BOOL(WINAPI* vstProcessEventRaw)(DWORD vstHandle, const void* event, DWORD length);
    BOOL(WINAPI* vstSetCallback)(DWORD vstHandle, VSTPROC* proc, void* user);
};

// The functions, looked up on the first call. User-interface thread only.
const FurtherFunctions& Further();

// Looks up an export of one of the loaded audio libraries ("bass.dll", "bassmidi.dll",
// "bass_vst.dll")
// by its undecorated name; null when the library or the function is missing. On
// Windows this asks the loaded module; the native fake of the libraries has its own.
void* FindLibraryFunction(const char* library, const char* name);

// Forgets what was looked up, so the next Further() looks again (for tests that
// remove functions from the fake).
void ForgetFurtherFunctions();
