// The render loop's steps that are not its inner loop: a jump's replay, a loop region's
// turn, pulling the instrument on the song's clock, and the end of a call. Shared by the
// plain loop and the one that applies the controller's settings to each event.
#pragma once

#include "audio/audio_constants.h"
#include "player/jump.h"
#include "player/player_state.h"
#include "player/render_stream.h"

// The instrument library queues at most 2048 events for one processing call; a replay
// leaves room in its last block for the song's events at the target and for the
// controller's live messages.
constexpr DWORD kReplayPerBlock = 2048 - kSongEventsPerFrame - kLivePerPull;

// The render call's cursor as the rare paths (a replay, a region's turn) take it; the
// call keeps it in locals and stores it once at the end. The loop callback, which also
// resets it, runs on the same thread between calls.
struct Cursor {
    DWORD nextEvent;
    DWORD renderedBytes; // within the span: the library's 32 bits of the position
    DWORD filled;        // bytes of this call's buffer
    DWORD span;          // of 2^32 bytes, the position's upper bits
};

inline DWORD Pull(const Playback* state, char* at, DWORD chunk) {
    return PullInstrument(state->instrument.load(), at, chunk);
}

// Pulls into the buffer at the cursor and moves the cursor by the song time that took
// at the controller's speed, into the next span when it reaches the end of this one.
void PullAt(Playback* state, char* out, DWORD chunk, Cursor* cursor);

// Sends what remains of a jump's replay, pulling one frame between blocks so the
// instrument processes each; false when the buffer filled first (the next call goes on).
bool FinishReplay(Playback* state, char* out, DWORD length, Cursor* cursor);

// At a loop region's end: starts the next pass, or ends the song after the last one.
// False when the song ends or the buffer filled during the replay.
bool TurnAtRegionEnd(Playback* state, const LoopRegion* region, char* out, DWORD length,
                     Cursor* cursor);

// The controller's loop region, unless a seek has taken the cursor beyond its end (the
// song then plays on to its own end, and loops from its start as without a region).
inline const LoopRegion* RegionInEffect(const Playback* state) {
    return state->pastRegion.load(std::memory_order_relaxed)
               ? nullptr
               : state->region.load(std::memory_order_acquire);
}

// Stores the cursor at the end of a call and gives the call's result.
inline DWORD EndCall(Playback* state, const Cursor& cursor, bool ended) {
    state->nextEvent.store(cursor.nextEvent, std::memory_order_relaxed);
    state->renderedBytes.store(SongBytes(cursor.span, cursor.renderedBytes),
                               std::memory_order_relaxed);
    state->streamBytes.store(state->streamBytes.load(std::memory_order_relaxed) + cursor.filled,
                             std::memory_order_relaxed);
    return ended ? (cursor.filled | kStreamEndBit) : cursor.filled;
}

// The controller's live messages go first, with the song's events at this position.
inline void SendLive(Playback* state) {
    if (HasLiveMessages(state->live) && state->pluginLoaded.load() != 0) {
        if (const DWORD instrument = state->instrument.load()) {
            SendLiveMessages(state->live, instrument);
        }
    }
}

// Tells the watching controller, if there is one, of what is heard at the cursor; a tick
// of kTickOfPosition is found from the song's position by its tempo map.
constexpr uint32_t kTickOfPosition = ~uint32_t{0};
void TellWatch(Playback* state, const Cursor& cursor, uint32_t kind, uint32_t data, QWORD songBytes,
               uint32_t tick);

// The render call while the controller's settings are in effect: each song event goes
// through them, and the song's clock runs at the controller's speed.
DWORD RenderControlled(Playback* state, const EventTable* table, void* buffer, DWORD length);
