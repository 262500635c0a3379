#include "player/render_steps.h"

#include "player/event_controls.h"
#include "player/song_marks.h"

namespace {

// Sends the jump's events that are still to go, as many as one processing call takes;
// true once all are sent. An event refused in a block that already holds others waits
// for the next block; one refused in an empty block cannot be taken and is passed over.
// Under the controller's settings the channel volumes go scaled.
bool SendReplayBlock(Playback* state, const Jump* jump) {
    DWORD sent = state->replaySent.load(std::memory_order_relaxed);
    const bool plugin = state->pluginLoaded.load() != 0;
    const DWORD instrument = state->instrument.load();
    const bool controlled = ControlsInEffect(&state->controls, &state->track);
    for (DWORD inBlock = 0; sent < jump->replayCount && inBlock < kReplayPerBlock; ++inBlock) {
        const ReplayEvent& event = jump->replay[sent];
        const BOOL taken =
            !plugin ||
            (controlled ? SendControlledEvent(&state->track, &state->controls, instrument,
                                              event.chan, event.event, event.param)
                        : BASS_VST_ProcessEvent(instrument, event.chan, event.event, event.param));
        if (taken == 0 && inBlock != 0) {
            break;
        }
        ++sent;
    }
    state->replaySent.store(sent, std::memory_order_relaxed);
    if (sent < jump->replayCount) {
        return false;
    }
    state->replay.store(nullptr, std::memory_order_relaxed);
    return true;
}

// Moves the cursor to the jump's target and starts its replay, which releases every
// note; the position the pass ended at is kept for the heard position.
void StartJump(Playback* state, const Jump* jump, Cursor* cursor) {
    state->turnFromBytes.store(SongBytes(cursor->span, cursor->renderedBytes),
                               std::memory_order_relaxed);
    state->turnStreamBytes.store(state->streamBytes.load(std::memory_order_relaxed) +
                                     cursor->filled,
                                 std::memory_order_relaxed);
    cursor->nextEvent = jump->event;
    cursor->renderedBytes = static_cast<DWORD>(jump->bytes);
    cursor->span = static_cast<DWORD>(jump->bytes >> 32);
    ForgetSoundingNotes(&state->track);
    ResendScaledVolumes(&state->controls);
    state->replaySent.store(0, std::memory_order_relaxed);
    state->replay.store(jump, std::memory_order_relaxed);
}

// The next turn's speed: one step on towards the limit, if the controller set a ladder.
void StepSpeed(EventControls* controls) {
    const int32_t step = controls->speedStep.load(std::memory_order_relaxed);
    if (step == 0) {
        return;
    }
    uint32_t speed = controls->speed.load(std::memory_order_relaxed);
    const auto limit = static_cast<int64_t>(controls->speedLimit.load(std::memory_order_relaxed));
    int64_t next = int64_t{speed} + step;
    next = step > 0 ? (next < limit ? next : limit) : (next > limit ? next : limit);
    // The controller may have set another speed meanwhile: that one holds.
    controls->speed.compare_exchange_strong(speed, static_cast<uint32_t>(next),
                                            std::memory_order_relaxed);
}

} // namespace

void TellWatch(Playback* state, const Cursor& cursor, uint32_t kind, uint32_t data, QWORD songBytes,
               uint32_t tick) {
    WatchLog* log = state->watch.load(std::memory_order_acquire);
    if (log == nullptr) {
        return;
    }
    if (tick == kTickOfPosition) { // a rare record: a turn, a seek, a region's end
        const SongMarks* timeline = state->timeline.load(std::memory_order_acquire);
        tick = timeline != nullptr && timeline->ppqn != 0
                   ? static_cast<uint32_t>(TickAtBytes(timeline, songBytes))
                   : 0;
    }
    PushWatch(log, {kind, data, state->streamGeneration.load(std::memory_order_relaxed),
                    state->streamBytes.load(std::memory_order_relaxed) + cursor.filled, songBytes,
                    tick, state->passesDone.load(std::memory_order_relaxed) + 1});
}

void PullAt(Playback* state, char* out, DWORD chunk, Cursor* cursor) {
    const DWORD delivered = Pull(state, out + cursor->filled, chunk);
    const uint32_t speed = state->controls.speed.load(std::memory_order_relaxed);
    const DWORD song = speed == kSpeedScale
                           ? delivered
                           : static_cast<DWORD>(SongFramesFor(delivered / kBytesPerFrame,
                                                              &state->track.frameShare, speed) *
                                                kBytesPerFrame);
    cursor->renderedBytes += song;
    cursor->filled += delivered;
    if (cursor->renderedBytes < song) {
        ++cursor->span;
    }
}

__attribute__((noinline)) bool FinishReplay(Playback* state, char* out, DWORD length,
                                            Cursor* cursor) {
    const Jump* jump = state->replay.load(std::memory_order_relaxed);
    while (jump != nullptr && !SendReplayBlock(state, jump)) {
        if (cursor->filled + kBytesPerFrame > length) {
            return false;
        }
        PullAt(state, out, kBytesPerFrame, cursor);
    }
    return true;
}

__attribute__((noinline)) bool TurnAtRegionEnd(Playback* state, const LoopRegion* region, char* out,
                                               DWORD length, Cursor* cursor) {
    const DWORD done = state->passesDone.load(std::memory_order_relaxed) + 1;
    if (region->passes != 0 && done >= region->passes) {
        TellWatch(state, *cursor, kWatchEnd, 0, region->endBytes, kTickOfPosition); // last pass
        state->passesDone.store(done, std::memory_order_relaxed);
        state->regionDone.store(true);
        return false;
    }
    state->passesDone.store(done, std::memory_order_relaxed);
    StepSpeed(&state->controls);
    TellWatch(state, *cursor, kWatchTurn, 0, region->start->bytes, kTickOfPosition);
    StartJump(state, region->start, cursor);
    return FinishReplay(state, out, length, cursor);
}
