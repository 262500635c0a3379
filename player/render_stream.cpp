#include "player/render_stream.h"

#include <cstring>

#include "audio/audio_constants.h"
#include "player/jump.h"

namespace {

// The instrument library queues at most 2048 events for one processing call; a replay
// leaves room in its last block for the song's events at the target.
constexpr DWORD kReplayPerBlock = 2048 - 256;
constexpr DWORD kBytesPerFrame = 8;

// The render call's cursor, kept in locals for the call and stored once at the end;
// the loop callback, which also resets it, runs on the same thread between calls.
struct Cursor {
    DWORD nextEvent;
    DWORD renderedBytes;
    DWORD filled; // bytes of this call's buffer
};

// Pulls `chunk` bytes from the instrument into the buffer and moves the cursor by what
// it delivered. No instrument, or one that has nothing to give, delivers silence on the
// song's clock instead of ending the stream, so the mixer keeps its pace rather than
// rewinding and asking again at once, and an instrument loaded later plays from the
// song's current position on.
inline void Pull(const PlayerState* state, char* out, DWORD chunk, Cursor* cursor) {
    char* at = out + cursor->filled;
    const auto pulled =
        static_cast<int32_t>(BASS_ChannelGetData(state->instrument.load(), at, chunk));
    DWORD delivered = chunk;
    if (pulled <= 0) {
        std::memset(at, 0, chunk);
    } else if (static_cast<DWORD>(pulled) < chunk) {
        delivered = static_cast<DWORD>(pulled);
    }
    cursor->renderedBytes += delivered;
    cursor->filled += delivered;
}

// Sends the jump's events that are still to go, as many as one processing call takes;
// true once all are sent. An event refused in a block that already holds others waits
// for the next block; one refused in an empty block cannot be taken and is passed over.
bool SendReplayBlock(PlayerState* state, const Jump* jump) {
    DWORD sent = state->replaySent.load(std::memory_order_relaxed);
    const bool plugin = state->pluginLoaded.load() != 0;
    const DWORD instrument = state->instrument.load();
    for (DWORD inBlock = 0; sent < jump->replayCount && inBlock < kReplayPerBlock; ++inBlock) {
        const ReplayEvent& event = jump->replay[sent];
        if (plugin &&
            BASS_VST_ProcessEvent(instrument, event.chan, event.event, event.param) == 0 &&
            inBlock != 0) {
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

// Sends what remains of a jump's replay, pulling one frame between blocks so the
// instrument processes each; false when the buffer filled first (the next call goes on).
bool FinishReplay(PlayerState* state, char* out, DWORD length, Cursor* cursor) {
    const Jump* jump = state->replay.load(std::memory_order_relaxed);
    while (jump != nullptr && !SendReplayBlock(state, jump)) {
        if (cursor->filled + kBytesPerFrame > length) {
            return false;
        }
        Pull(state, out, kBytesPerFrame, cursor);
    }
    return true;
}

// Moves the cursor to the jump's target and starts its replay; the position the pass
// ended at is kept for the heard position.
void StartJump(PlayerState* state, const Jump* jump, Cursor* cursor) {
    state->turnFromBytes.store(cursor->renderedBytes, std::memory_order_relaxed);
    state->turnStreamBytes.store(state->streamBytes.load(std::memory_order_relaxed) +
                                     cursor->filled,
                                 std::memory_order_relaxed);
    cursor->nextEvent = jump->event;
    cursor->renderedBytes = jump->bytes;
    state->replaySent.store(0, std::memory_order_relaxed);
    state->replay.store(jump, std::memory_order_relaxed);
}

// At a loop region's end: starts the next pass, or ends the song after the last one.
// False when the song ends or the buffer filled during the replay.
bool TurnAtRegionEnd(PlayerState* state, const LoopRegion* region, char* out, DWORD length,
                     Cursor* cursor) {
    const DWORD done = state->passesDone.load(std::memory_order_relaxed) + 1;
    state->passesDone.store(done, std::memory_order_relaxed);
    if (region->passes != 0 && done >= region->passes) {
        state->regionDone.store(true);
        return false;
    }
    StartJump(state, region->start, cursor);
    return FinishReplay(state, out, length, cursor);
}

// The table, the instrument and the plug-in flag are read with sequentially consistent
// loads: the commands unpublish them and then read the count of calls in progress, so
// each side sees the other's first step.
DWORD RenderEvents(PlayerState* state, const EventTable* table, void* buffer, DWORD length) {
    const SongEvent* events = table->records;
    char* out = static_cast<char*>(buffer);
    Cursor cursor = {state->nextEvent.load(std::memory_order_relaxed),
                     state->renderedBytes.load(std::memory_order_relaxed), 0};
    bool more = state->replay.load(std::memory_order_relaxed) == nullptr ||
                FinishReplay(state, out, length, &cursor);

    if (state->regionDone.load()) {
        // The region's last pass has played: the song has ended there.
        return cursor.filled | kStreamEndBit;
    }
    // A region is in effect while the cursor has not passed its end (a seek may take
    // the cursor beyond it; the song then plays on to its own end).
    const LoopRegion* region = state->region.load(std::memory_order_acquire);
    if (region != nullptr && cursor.renderedBytes > region->endBytes) {
        region = nullptr;
    }
    const DWORD stopEvent = region != nullptr ? region->endEvent : table->eventCount;

    while (more && cursor.filled < length) {
        while (cursor.nextEvent < stopEvent &&
               events[cursor.nextEvent].pos <= cursor.renderedBytes) {
            const SongEvent& event = events[cursor.nextEvent];
            // A VST instrument has 16 MIDI channels; the channels of further ports
            // are consumed but not sent.
            if (state->pluginLoaded.load() != 0 && event.event != kEventBankSelect &&
                event.chan < kMidiChannels) {
                BASS_VST_ProcessEvent(state->instrument.load(), event.chan, event.event,
                                      event.param);
            }
            ++cursor.nextEvent;
        }
        DWORD chunk = length - cursor.filled;
        if (cursor.nextEvent < stopEvent) {
            const DWORD gap = events[cursor.nextEvent].pos - cursor.renderedBytes;
            if (chunk > gap) {
                chunk = gap;
            }
        } else if (region != nullptr) {
            if (cursor.renderedBytes >= region->endBytes) {
                more = TurnAtRegionEnd(state, region, out, length, &cursor);
                continue;
            }
            const DWORD gap = region->endBytes - cursor.renderedBytes;
            if (chunk > gap) {
                chunk = gap;
            }
        }
        Pull(state, out, chunk, &cursor);
    }

    state->nextEvent.store(cursor.nextEvent, std::memory_order_relaxed);
    state->renderedBytes.store(cursor.renderedBytes, std::memory_order_relaxed);
    state->streamBytes.store(state->streamBytes.load(std::memory_order_relaxed) + cursor.filled,
                             std::memory_order_relaxed);
    const bool ended =
        region != nullptr ? state->regionDone.load() : cursor.nextEvent == table->eventCount;
    return ended ? (cursor.filled | kStreamEndBit) : cursor.filled;
}

} // namespace

// Runs on the mixing thread: no allocation, no lock, no waiting. The count of calls in
// progress is raised before anything shared is read and lowered after the last use,
// so a command that has unpublished something and seen the count at zero can release
// it. A call for a stream that is no longer the current one (freed or replaced while
// the library was about to call it), or for a stopped song whose table is gone, touches
// nothing, the instrument included, and gets silence. While the player is held (a
// pause under way) a call touches nothing and delivers nothing.
DWORD CALLBACK RenderProc(HSTREAM handle, void* buffer, DWORD length, void* user) {
    PlayerState* state = static_cast<PlayerState*>(user);
    state->renderCalls.fetch_add(1);
    DWORD result = 0; // held: nothing now, more later, as a stream that is stalled
    const EventTable* table = state->events.load();
    if (!state->held.load()) {
        if (handle != 0 && handle == state->outputStream.load() && table != nullptr) {
            result = RenderEvents(state, table, buffer, length);
        } else {
            std::memset(buffer, 0, length);
            result = length | kStreamEndBit;
        }
    }
    state->renderCalls.fetch_sub(1, std::memory_order_release);
    return result;
}
