// Stand-in bass.dll: accepts the host's calls and traces them.
#define QB_AUDIO_API __declspec(dllexport)
#include "../audio/bass_api.h"
#include "trace.h"

#include <cstdint>

extern "C" {

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void* clsid) {
    TraceCall("BASS_Init device=%d freq=%lu flags=0x%lx win=%llu clsid=%s -> 1", device,
              static_cast<unsigned long>(freq), static_cast<unsigned long>(flags),
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(win)),
              clsid == nullptr ? "null" : "set");
    return 1;
}

HSTREAM WINAPI BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* /*proc*/,
                                 void* /*user*/) {
    TraceCall("BASS_StreamCreate freq=%lu chans=%lu flags=0x%lx -> 0",
              static_cast<unsigned long>(freq), static_cast<unsigned long>(chans),
              static_cast<unsigned long>(flags));
    return 0;
}

BOOL WINAPI BASS_StreamFree(HSTREAM handle) {
    TraceCall("BASS_StreamFree handle=%lu -> 0", static_cast<unsigned long>(handle));
    return 0;
}

const char* WINAPI BASS_ChannelGetTags(DWORD handle, DWORD tags) {
    TraceCall("BASS_ChannelGetTags handle=%lu tags=%lu -> null", static_cast<unsigned long>(handle),
              static_cast<unsigned long>(tags));
    return nullptr;
}

HSYNC WINAPI BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* /*proc*/,
                                 void* /*user*/) {
    TraceCall("BASS_ChannelSetSync handle=%lu type=0x%lx param=%llu -> 0",
              static_cast<unsigned long>(handle), static_cast<unsigned long>(type),
              static_cast<unsigned long long>(param));
    return 0;
}

BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart) {
    TraceCall("BASS_ChannelPlay handle=%lu restart=%d -> 0", static_cast<unsigned long>(handle),
              static_cast<int>(restart));
    return 0;
}

BOOL WINAPI BASS_ChannelStop(DWORD handle) {
    TraceCall("BASS_ChannelStop handle=%lu -> 0", static_cast<unsigned long>(handle));
    return 0;
}

BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    TraceCall("BASS_ChannelSetPosition handle=%lu pos=%llu mode=%lu -> 0",
              static_cast<unsigned long>(handle), static_cast<unsigned long long>(pos),
              static_cast<unsigned long>(mode));
    return 0;
}

DWORD WINAPI BASS_ChannelGetData(DWORD /*handle*/, void* /*buffer*/, DWORD /*length*/) {
    return static_cast<DWORD>(-1);
}

} // extern "C"
