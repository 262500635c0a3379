// Declarations of the audio library operations the host calls, with the exact
// prototypes and records of bass.dll, bassmidi.dll and bass_vst.dll.
#pragma once

#include <cstddef>

#include "audio/bass_types.h"

// The stand-in libraries define this as dllexport before including the header,
// so both sides of the interface compile from the same prototypes.
#ifndef QB_AUDIO_API
#define QB_AUDIO_API
#endif

extern "C" {

typedef DWORD(CALLBACK STREAMPROC)(HSTREAM handle, void* buffer, DWORD length, void* user);
typedef void(CALLBACK SYNCPROC)(HSYNC handle, DWORD channel, DWORD data, void* user);

// bass.dll
QB_AUDIO_API BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND win,
                                   const void* clsid);
QB_AUDIO_API HSTREAM WINAPI BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags,
                                              STREAMPROC* proc, void* user);
QB_AUDIO_API BOOL WINAPI BASS_StreamFree(HSTREAM handle);
QB_AUDIO_API const char* WINAPI BASS_ChannelGetTags(DWORD handle, DWORD tags);
QB_AUDIO_API HSYNC WINAPI BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc,
                                              void* user);
QB_AUDIO_API BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart);
QB_AUDIO_API BOOL WINAPI BASS_ChannelStop(DWORD handle);
QB_AUDIO_API BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
QB_AUDIO_API DWORD WINAPI BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);

// bassmidi.dll
typedef struct {
    DWORD event;
    DWORD param;
    DWORD chan;
    DWORD tick;
    DWORD pos;
} BASS_MIDI_EVENT;

// An output device as the library lists it.
typedef struct {
    const char* name; // UTF-8 once the library's Unicode setting is on
    const char* driver;
    DWORD flags; // kDeviceEnabled, kDeviceDefault, kDeviceInit
} BASS_DEVICEINFO;

// The current output device as the library describes it.
typedef struct {
    DWORD flags, hwsize, hwfree, freesam, free3d, minrate, maxrate;
    BOOL eax;
    DWORD minbuf; // the smallest playback buffer in ms that plays without breaks
    DWORD dsver;
    DWORD latency; // ms from a play call to the sound; 0 unless measured at BASS_Init
    DWORD initflags, speakers, freq;
} BASS_INFO;

// A text of the song at a position: a marker, a lyric, a time signature...
typedef struct {
    DWORD track;
    DWORD pos; // bytes, or ticks when asked so
    const char* text;
} BASS_MIDI_MARK;

QB_AUDIO_API HSTREAM WINAPI BASS_MIDI_StreamCreateFile(BOOL mem, const void* file, QWORD offset,
                                                       QWORD length, DWORD flags, DWORD freq);
QB_AUDIO_API DWORD WINAPI BASS_MIDI_StreamGetEvents(HSTREAM handle, int track, DWORD filter,
                                                    BASS_MIDI_EVENT* events);

// bass_vst.dll
typedef struct {
    DWORD channelHandle;
    DWORD uniqueID;
    char effectName[80];
    DWORD effectVersion;
    DWORD effectVstVersion;
    DWORD hostVstVersion;
    char productName[80];
    char vendorName[80];
    DWORD vendorVersion;
    DWORD chansIn;
    DWORD chansOut;
    DWORD initialDelay;
    DWORD hasEditor;
    DWORD editorWidth;
    DWORD editorHeight;
    void* aeffect;
    DWORD isInstrument;
    DWORD dspHandle;
} BASS_VST_INFO;

// A parameter's description (BASS_VST_GetParamInfo, a further function).
typedef struct {
    char name[16];
    char unit[16];
    char display[16];
    float defaultValue;
} BASS_VST_PARAM_INFO;

// The plug-in library's callback (BASS_VST_SetCallback, a further function).
typedef DWORD(CALLBACK VSTPROC)(DWORD vstHandle, DWORD action, DWORD param1, DWORD param2,
                                void* user);

QB_AUDIO_API HSTREAM WINAPI BASS_VST_ChannelCreate(DWORD freq, DWORD chans, const void* dllFile,
                                                   DWORD flags);
QB_AUDIO_API BOOL WINAPI BASS_VST_ChannelFree(DWORD vstHandle);
QB_AUDIO_API BOOL WINAPI BASS_VST_GetInfo(DWORD vstHandle, BASS_VST_INFO* info);
QB_AUDIO_API BOOL WINAPI BASS_VST_EmbedEditor(DWORD vstHandle, HWND parentWindow);
QB_AUDIO_API BOOL WINAPI BASS_VST_ProcessEvent(DWORD vstHandle, DWORD midiCh, DWORD event,
                                               DWORD param);

} // extern "C"

static_assert(sizeof(BASS_MIDI_EVENT) == 20, "event record is five DWORDs");
static_assert(sizeof(BASS_DEVICEINFO) == (sizeof(void*) == 8 ? 24 : 12),
              "device record: 12 bytes in 32-bit builds, 24 in 64-bit builds");
static_assert(sizeof(BASS_INFO) == 56, "device description: 56 bytes in both widths");
static_assert(sizeof(BASS_MIDI_MARK) == (sizeof(void*) == 8 ? 16 : 12),
              "mark record: 12 bytes in 32-bit builds, 16 in 64-bit builds");
static_assert(offsetof(BASS_VST_INFO, hasEditor) == 276, "hasEditor offset");
static_assert(offsetof(BASS_VST_INFO, editorWidth) == 280, "editorWidth offset");
static_assert(offsetof(BASS_VST_INFO, editorHeight) == 284, "editorHeight offset");
static_assert(offsetof(BASS_VST_INFO, aeffect) == 288, "aeffect offset");
static_assert(sizeof(BASS_VST_PARAM_INFO) == 52, "parameter record size");
static_assert(sizeof(BASS_VST_INFO) == (sizeof(void*) == 8 ? 304 : 300),
              "information record size: 300 bytes in 32-bit builds, 304 in 64-bit builds");
