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

// bass_vst.dll
QB_AUDIO_API BOOL WINAPI BASS_VST_Resume(DWORD vstHandle);

} // extern "C"
