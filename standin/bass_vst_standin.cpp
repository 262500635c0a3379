// Stand-in bass_vst.dll: accepts the host's calls and traces them.
#define QB_AUDIO_API __declspec(dllexport)
#include "../audio/bass_api.h"
#include "trace.h"

extern "C" {

HSTREAM WINAPI BASS_VST_ChannelCreate(DWORD freq, DWORD chans, const void* /*dllFile*/,
                                      DWORD flags) {
    TraceCall("BASS_VST_ChannelCreate freq=%lu chans=%lu flags=0x%lx -> 0",
              static_cast<unsigned long>(freq), static_cast<unsigned long>(chans),
              static_cast<unsigned long>(flags));
    return 0;
}

BOOL WINAPI BASS_VST_ChannelFree(DWORD vstHandle) {
    TraceCall("BASS_VST_ChannelFree handle=%lu -> 1", static_cast<unsigned long>(vstHandle));
    return 1;
}

BOOL WINAPI BASS_VST_GetInfo(DWORD vstHandle, BASS_VST_INFO* /*info*/) {
    TraceCall("BASS_VST_GetInfo handle=%lu -> 0", static_cast<unsigned long>(vstHandle));
    return 0;
}

BOOL WINAPI BASS_VST_EmbedEditor(DWORD vstHandle, HWND /*parentWindow*/) {
    TraceCall("BASS_VST_EmbedEditor handle=%lu -> 0", static_cast<unsigned long>(vstHandle));
    return 0;
}

BOOL WINAPI BASS_VST_ProcessEvent(DWORD vstHandle, DWORD midiCh, DWORD event, DWORD param) {
    TraceCall("BASS_VST_ProcessEvent handle=%lu chan=%lu event=%lu param=%lu -> 0",
              static_cast<unsigned long>(vstHandle), static_cast<unsigned long>(midiCh),
              static_cast<unsigned long>(event), static_cast<unsigned long>(param));
    return 0;
}

} // extern "C"
