// Prototypes of the further functions, for the libraries' stand-ins and fake that
// export them. The host never includes this: it finds them at run time (see
// audio/further_functions.h), so it starts beside older builds that lack them.
#pragma once

#include "audio/bass_api.h"

extern "C" {

// bass.dll
QB_AUDIO_API BOOL WINAPI BASS_ChannelPause(DWORD handle);
QB_AUDIO_API DWORD WINAPI BASS_ChannelIsActive(DWORD handle);
QB_AUDIO_API BOOL WINAPI BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
QB_AUDIO_API BOOL WINAPI BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value);
QB_AUDIO_API BOOL WINAPI BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value,
                                                    DWORD time);
QB_AUDIO_API BOOL WINAPI BASS_ChannelIsSliding(DWORD handle, DWORD attrib);
QB_AUDIO_API QWORD WINAPI BASS_ChannelGetPosition(DWORD handle, DWORD mode);
QB_AUDIO_API int WINAPI BASS_ErrorGetCode(void);
QB_AUDIO_API BOOL WINAPI BASS_SetConfig(DWORD option, DWORD value);
QB_AUDIO_API DWORD WINAPI BASS_GetConfig(DWORD option);
QB_AUDIO_API BOOL WINAPI BASS_GetDeviceInfo(DWORD device, BASS_DEVICEINFO* info);
QB_AUDIO_API BOOL WINAPI BASS_SetDevice(DWORD device);
QB_AUDIO_API DWORD WINAPI BASS_GetDevice(void);
QB_AUDIO_API BOOL WINAPI BASS_ChannelSetDevice(DWORD handle, DWORD device);
QB_AUDIO_API BOOL WINAPI BASS_GetInfo(BASS_INFO* info);

// bassmidi.dll
QB_AUDIO_API DWORD WINAPI BASS_MIDI_StreamGetMarks(HSTREAM handle, int track, DWORD type,
                                                   BASS_MIDI_MARK* marks);

// bass_vst.dll
QB_AUDIO_API BOOL WINAPI BASS_VST_Resume(DWORD vstHandle);
QB_AUDIO_API char* WINAPI BASS_VST_GetChunk(DWORD vstHandle, BOOL isPreset, DWORD* length);
QB_AUDIO_API DWORD WINAPI BASS_VST_SetChunk(DWORD vstHandle, BOOL isPreset, const char* chunk,
                                            DWORD length);
QB_AUDIO_API int WINAPI BASS_VST_GetProgramCount(DWORD vstHandle);
QB_AUDIO_API int WINAPI BASS_VST_GetProgram(DWORD vstHandle);
QB_AUDIO_API BOOL WINAPI BASS_VST_SetProgram(DWORD vstHandle, int programIndex);
QB_AUDIO_API const char* WINAPI BASS_VST_GetProgramName(DWORD vstHandle, int programIndex);
QB_AUDIO_API int WINAPI BASS_VST_GetParamCount(DWORD vstHandle);
QB_AUDIO_API float WINAPI BASS_VST_GetParam(DWORD vstHandle, int paramIndex);
QB_AUDIO_API BOOL WINAPI BASS_VST_SetParam(DWORD vstHandle, int paramIndex, float value);
QB_AUDIO_API BOOL WINAPI BASS_VST_GetParamInfo(DWORD vstHandle, int paramIndex,
                                               BASS_VST_PARAM_INFO* info);
QB_AUDIO_API BOOL WINAPI BASS_VST_ProcessEventRaw(DWORD vstHandle, const void* event, DWORD length);
QB_AUDIO_API BOOL WINAPI BASS_VST_SetCallback(DWORD vstHandle, VSTPROC* proc, void* user);

} // extern "C"
