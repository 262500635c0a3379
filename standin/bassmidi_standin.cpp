// Stand-in bassmidi.dll: accepts the host's calls and traces them.
#define QB_AUDIO_API __declspec(dllexport)
#include "../audio/bass_api.h"
#include "trace.h"

extern "C" {

HSTREAM WINAPI BASS_MIDI_StreamCreateFile(BOOL mem, const void* /*file*/, QWORD offset,
                                          QWORD length, DWORD flags, DWORD freq) {
    TraceCall("BASS_MIDI_StreamCreateFile mem=%d offset=%llu length=%llu flags=0x%lx freq=%lu "
              "-> 0",
              static_cast<int>(mem), static_cast<unsigned long long>(offset),
              static_cast<unsigned long long>(length), static_cast<unsigned long>(flags),
              static_cast<unsigned long>(freq));
    return 0;
}

DWORD WINAPI BASS_MIDI_StreamGetEvents(HSTREAM handle, int track, DWORD filter,
                                       BASS_MIDI_EVENT* /*events*/) {
    TraceCall("BASS_MIDI_StreamGetEvents handle=%lu track=%d filter=%lu -> 0",
              static_cast<unsigned long>(handle), track, static_cast<unsigned long>(filter));
    return 0;
}

} // extern "C"
