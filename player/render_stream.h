// The output stream's data callback: hands each song event to the instrument at its
// exact byte position, pulling the instrument's audio between events.
#pragma once

#include <cstring>

#include "player/player_state.h"

DWORD CALLBACK RenderProc(HSTREAM handle, void* buffer, DWORD length, void* user);
// The same for a stream that only one thread pulls, and only while its song and
// instrument stay (a render to a file): `user` is its own Playback.
DWORD CALLBACK PlaybackRenderProc(HSTREAM handle, void* buffer, DWORD length, void* user);

// Pulls `chunk` bytes from the instrument to `at` and gives how many it delivered. No
// instrument, or one that has nothing to give, delivers silence on the song's clock
// instead of ending the stream, so the mixer keeps its pace rather than rewinding and
// asking again at once, and an instrument loaded later plays from the song's current
// position on. Also the tail of a song rendered to a file.
inline DWORD PullInstrument(DWORD instrument, void* at, DWORD chunk) {
    const auto pulled = static_cast<int32_t>(BASS_ChannelGetData(instrument, at, chunk));
    if (pulled <= 0) {
        std::memset(at, 0, chunk);
        return chunk;
    }
    return static_cast<DWORD>(pulled) < chunk ? static_cast<DWORD>(pulled) : chunk;
}
