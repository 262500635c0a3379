#include "player/render_stream.h"

#include "player/render_steps.h"

#include <cstring>

#include "audio/audio_constants.h"
#include "player/jump.h"

namespace {

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
    if (ControlsInEffect(&state->controls, &state->track) ||
        state->watch.load(std::memory_order_relaxed) != nullptr) {
        return RenderControlled(state, table, buffer, length);
    }
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
    SendLive(state);
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
