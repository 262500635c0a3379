#include "player/render_stream.h"

#include <cstring>

#include "audio/audio_constants.h"
#include "player/jump.h"

namespace {

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

// Pulls into the buffer at the cursor and moves it by what was delivered, into the next
// span when it reaches the end of this one.
void PullAt(const Playback* state, char* out, DWORD chunk, Cursor* cursor) {
    const DWORD delivered = Pull(state, out + cursor->filled, chunk);
    cursor->renderedBytes += delivered;
    cursor->filled += delivered;
    if (cursor->renderedBytes < delivered) {
        ++cursor->span;
    }
}

// Sends the jump's events that are still to go, as many as one processing call takes;
// true once all are sent. An event refused in a block that already holds others waits
// for the next block; one refused in an empty block cannot be taken and is passed over.
bool SendReplayBlock(Playback* state, const Jump* jump) {
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

// Moves the cursor to the jump's target and starts its replay; the position the pass
// ended at is kept for the heard position.
void StartJump(Playback* state, const Jump* jump, Cursor* cursor) {
    state->turnFromBytes.store(SongBytes(cursor->span, cursor->renderedBytes),
                               std::memory_order_relaxed);
    state->turnStreamBytes.store(state->streamBytes.load(std::memory_order_relaxed) +
                                     cursor->filled,
                                 std::memory_order_relaxed);
    cursor->nextEvent = jump->event;
    cursor->renderedBytes = static_cast<DWORD>(jump->bytes);
    cursor->span = static_cast<DWORD>(jump->bytes >> 32);
    state->replaySent.store(0, std::memory_order_relaxed);
    state->replay.store(jump, std::memory_order_relaxed);
}

// At a loop region's end: starts the next pass, or ends the song after the last one.
// False when the song ends or the buffer filled during the replay.
__attribute__((noinline)) bool TurnAtRegionEnd(Playback* state, const LoopRegion* region, char* out,
                                               DWORD length, Cursor* cursor) {
    const DWORD done = state->passesDone.load(std::memory_order_relaxed) + 1;
    state->passesDone.store(done, std::memory_order_relaxed);
    if (region->passes != 0 && done >= region->passes) {
        state->regionDone.store(true);
        return false;
    }
    StartJump(state, region->start, cursor);
    return FinishReplay(state, out, length, cursor);
}

// The controller's loop region, unless a seek has taken the cursor beyond its end (the
// song then plays on to its own end, and loops from its start as without a region).
inline const LoopRegion* RegionInEffect(const Playback* state) {
    return state->pastRegion.load(std::memory_order_relaxed)
               ? nullptr
               : state->region.load(std::memory_order_acquire);
}

// Stores the cursor at the end of a call and gives the call's result.
DWORD EndCall(Playback* state, const Cursor& cursor, bool ended) {
    state->nextEvent.store(cursor.nextEvent, std::memory_order_relaxed);
    state->renderedBytes.store(SongBytes(cursor.span, cursor.renderedBytes),
                               std::memory_order_relaxed);
    state->streamBytes.store(state->streamBytes.load(std::memory_order_relaxed) + cursor.filled,
                             std::memory_order_relaxed);
    return ended ? (cursor.filled | kStreamEndBit) : cursor.filled;
}

// Where the render loop stops sending events: the region's end event when it lies in
// the cursor's span, else the end of that span.
DWORD StopEvent(const EventTable* table, const LoopRegion* region, DWORD span) {
    const DWORD spanEnd = SpanEnd(table, span);
    return region != nullptr && region->endEvent < spanEnd ? region->endEvent : spanEnd;
}

enum class Stop { Pull, Turn, Again };

// The render loop's state as its rare stops take it: the cursor, where events stop
// being sent, and how much the next pull may take.
struct StopPoint {
    Cursor cursor;
    DWORD stopEvent;
    DWORD chunk;
    const EventTable* table;
    char* out;
};

// The render loop's rare stops, once every event before the stop event is sent: the
// loop region's end (Turn), a region taken away or changed during the call (Again: the
// song goes on at once to the new stop), the end of the cursor's span (the cursor is
// pulled up to it and goes on in the next: Again). Otherwise the chunk is cut to what
// may be pulled (Pull).
__attribute__((noinline)) Stop AtStop(Playback* state, StopPoint* point) {
    const EventTable* table = point->table;
    Cursor* cursor = &point->cursor;
    const LoopRegion* region = RegionInEffect(state);
    const DWORD stopNow = StopEvent(table, region, cursor->span);
    if (point->stopEvent != stopNow) {
        point->stopEvent = stopNow;
        return Stop::Again;
    }
    const QWORD toSpanEnd = (QWORD{1} << 32) - cursor->renderedBytes;
    if (region != nullptr) {
        const QWORD at = SongBytes(cursor->span, cursor->renderedBytes);
        if (at >= region->endBytes) {
            return Stop::Turn;
        }
        const QWORD gap = region->endBytes - at;
        if (gap < toSpanEnd) {
            point->chunk = gap < point->chunk ? static_cast<DWORD>(gap) : point->chunk;
            return Stop::Pull;
        }
    }
    if (point->chunk < toSpanEnd) {
        return Stop::Pull;
    }
    const DWORD span = cursor->span;
    PullAt(state, point->out, static_cast<DWORD>(toSpanEnd), cursor);
    if (cursor->span != span) {
        point->stopEvent = StopEvent(table, region, cursor->span);
    }
    return Stop::Again;
}

// The table, the instrument and the plug-in flag are read with sequentially consistent
// loads: the commands unpublish them and then read the count of calls in progress, so
// each side sees the other's first step. The cursor lives in locals on the common path;
// the rare ones (a replay, a region's turn, a span's end) take it as a record.
DWORD RenderEvents(Playback* state, const EventTable* table, void* buffer, DWORD length) {
    const SongEvent* events = table->records;
    char* out = static_cast<char*>(buffer);
    const QWORD at = state->renderedBytes.load(std::memory_order_relaxed);
    // The rare paths' record; the cursor's span lives only here, out of the inner loop.
    StopPoint rare;
    rare.cursor = {state->nextEvent.load(std::memory_order_relaxed), static_cast<DWORD>(at), 0,
                   static_cast<DWORD>(at >> 32)};
    const Cursor& cursor = rare.cursor;
    if (state->replay.load(std::memory_order_relaxed) != nullptr &&
        !FinishReplay(state, out, length, &rare.cursor)) {
        return EndCall(state, cursor, false);
    }
    // The controller's live messages go first, with the song's events at this position.
    if (HasLiveMessages(state->live) && state->pluginLoaded.load() != 0) {
        if (const DWORD instrument = state->instrument.load()) {
            SendLiveMessages(state->live, instrument);
        }
    }
    if (state->regionDone.load()) {
        // The region's last pass has played: the song has ended there.
        return cursor.filled | kStreamEndBit;
    }
    // The region is looked up again only after the last event before its end, so the
    // loop carries nothing more than it did without regions.
    const LoopRegion* region = RegionInEffect(state);
    rare.stopEvent = StopEvent(table, region, cursor.span);
    rare.table = table;
    rare.out = out;
    // The inner loop walks the table by pointer: no index arithmetic per event or pull.
    const SongEvent* next = events + cursor.nextEvent;
    const SongEvent* stop = events + rare.stopEvent;
    DWORD renderedBytes = cursor.renderedBytes;
    DWORD filled = cursor.filled;

    // The loop turns back at a region's end, and changes where events stop, outside the
    // inner loop, which is the plain one of a song without a region.
    for (Stop how = Stop::Again; how != Stop::Pull;) {
        how = Stop::Pull;
        while (filled < length) {
            while (next < stop && next->pos <= renderedBytes) {
                // A VST instrument has 16 MIDI channels; the channels of further ports
                // are consumed but not sent.
                if (state->pluginLoaded.load() != 0 && next->event != kEventBankSelect &&
                    next->chan < kMidiChannels) {
                    BASS_VST_ProcessEvent(state->instrument.load(), next->chan, next->event,
                                          next->param);
                }
                ++next;
            }
            DWORD chunk = length - filled;
            if (next < stop) {
                const DWORD gap = next->pos - renderedBytes;
                if (chunk > gap) {
                    chunk = gap;
                }
            } else {
                rare.cursor.nextEvent = static_cast<DWORD>(next - events);
                rare.cursor.renderedBytes = renderedBytes;
                rare.cursor.filled = filled;
                rare.chunk = chunk;
                how = AtStop(state, &rare);
                renderedBytes = rare.cursor.renderedBytes;
                filled = rare.cursor.filled;
                stop = events + rare.stopEvent;
                if (how != Stop::Pull) {
                    break;
                }
                chunk = rare.chunk;
            }
            const DWORD delivered = Pull(state, out + filled, chunk);
            renderedBytes += delivered;
            filled += delivered;
        }
        if (how == Stop::Turn) {
            rare.cursor.nextEvent = static_cast<DWORD>(next - events);
            rare.cursor.renderedBytes = renderedBytes;
            rare.cursor.filled = filled;
            // The region may have been taken away meanwhile: the song then goes on.
            const LoopRegion* now = RegionInEffect(state);
            if (now != nullptr && !TurnAtRegionEnd(state, now, out, length, &rare.cursor)) {
                how = Stop::Pull;
            }
            next = events + rare.cursor.nextEvent;
            renderedBytes = rare.cursor.renderedBytes;
            filled = rare.cursor.filled;
            rare.stopEvent = StopEvent(table, RegionInEffect(state), rare.cursor.span);
            stop = events + rare.stopEvent;
        }
    }

    const auto nextEvent = static_cast<DWORD>(next - events);
    const bool ended =
        region != nullptr ? state->regionDone.load() : nextEvent == table->eventCount;
    return EndCall(state, {nextEvent, renderedBytes, filled, rare.cursor.span}, ended);
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
    const EventTable* table = state->playback.events.load();
    if (!state->held.load()) {
        if (handle != 0 && handle == state->outputStream.load() && table != nullptr) {
            result = RenderEvents(&state->playback, table, buffer, length);
        } else {
            std::memset(buffer, 0, length);
            result = length | kStreamEndBit;
        }
    }
    state->renderCalls.fetch_sub(1, std::memory_order_release);
    return result;
}

DWORD CALLBACK PlaybackRenderProc(HSTREAM /*handle*/, void* buffer, DWORD length, void* user) {
    Playback* playback = static_cast<Playback*>(user);
    const EventTable* table = playback->events.load();
    if (table == nullptr) {
        std::memset(buffer, 0, length);
        return length | kStreamEndBit;
    }
    return RenderEvents(playback, table, buffer, length);
}
