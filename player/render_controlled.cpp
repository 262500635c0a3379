// The render call while the controller's settings are in effect. The same steps as the
// plain loop, in song time: an event is sent before the first output frame at which
// the song has reached its position, the song advancing by the speed's share of a
// frame with every output frame, so a change of speed moves only what comes after it.
#include "player/event_controls.h"
#include "player/render_steps.h"
#include "player/watch_log.h"

namespace {

constexpr QWORD kNoTarget = ~QWORD{0};

// The span that event `index` lies in, starting the search at `span`.
DWORD SpanFrom(const EventTable* table, DWORD span, DWORD index) {
    while (span + 1 < table->spanCount && table->spanStarts[span + 1] <= index) {
        ++span;
    }
    return span;
}

// The bytes to pull to bring the song from `at` to `target`, at most `room`.
DWORD ChunkTo(const Playback* state, QWORD at, QWORD target, DWORD room) {
    if (target == kNoTarget) {
        return room;
    }
    const QWORD songFrames = (target - at + kBytesPerFrame - 1) / kBytesPerFrame;
    const uint64_t frames = OutputFramesFor(songFrames, state->track.frameShare,
                                            state->controls.speed.load(std::memory_order_relaxed));
    return frames * kBytesPerFrame < room ? static_cast<DWORD>(frames * kBytesPerFrame) : room;
}

} // namespace

DWORD RenderControlled(Playback* state, const EventTable* table, void* buffer, DWORD length) {
    const SongEvent* events = table->records;
    char* out = static_cast<char*>(buffer);
    const QWORD at = state->renderedBytes.load(std::memory_order_relaxed);
    Cursor cursor{state->nextEvent.load(std::memory_order_relaxed), static_cast<DWORD>(at), 0,
                  static_cast<DWORD>(at >> 32)};
    if (state->seekToTell.exchange(false, std::memory_order_relaxed)) {
        TellWatch(state, cursor, kWatchSeek, 0, at, 0);
    }
    if (state->replay.load(std::memory_order_relaxed) != nullptr &&
        !FinishReplay(state, out, length, &cursor)) {
        return EndCall(state, cursor, false);
    }
    const bool plugin = state->pluginLoaded.load() != 0;
    const DWORD instrument = state->instrument.load();
    // A newly muted channel's releases, a changed volume: in blocks one frame apart.
    while (plugin &&
           !SendControlChanges(&state->track, &state->controls, instrument, kReplayPerBlock)) {
        if (cursor.filled + kBytesPerFrame > length) {
            return EndCall(state, cursor, false);
        }
        PullAt(state, out, kBytesPerFrame, &cursor);
    }
    SendLive(state);
    if (state->regionDone.load()) {
        return cursor.filled | kStreamEndBit;
    }
    DWORD span = SpanFrom(table, 0, cursor.nextEvent);
    for (;;) {
        const LoopRegion* region = RegionInEffect(state);
        const DWORD stop = region != nullptr ? region->endEvent : table->eventCount;
        const QWORD now = SongBytes(cursor.span, cursor.renderedBytes);
        QWORD target = kNoTarget;
        for (; cursor.nextEvent < stop; ++cursor.nextEvent) {
            span = SpanFrom(table, span, cursor.nextEvent);
            const SongEvent& event = events[cursor.nextEvent];
            const QWORD eventBytes = SongBytes(span, event.pos);
            if (eventBytes > now) {
                target = eventBytes;
                break;
            }
            if (plugin && event.event != kEventBankSelect && event.chan < kMidiChannels) {
                SendControlledEvent(&state->track, &state->controls, instrument, event.chan,
                                    event.event, event.param);
                if (event.event == kEventNote &&
                    (MutedChannels(&state->controls) & 1u << event.chan) == 0) {
                    TellWatch(state, cursor, kWatchNote,
                              event.chan | (event.param & 0x7F) << 8 |
                                  (event.param >> 8 & 0x7F) << 16,
                              eventBytes, event.tick);
                }
            }
            if (cursor.nextEvent + 1 == table->eventCount && region == nullptr) {
                TellWatch(state, cursor, kWatchEnd, 0, eventBytes, event.tick);
            }
        }
        if (target == kNoTarget && region != nullptr) {
            if (now >= region->endBytes) {
                if (!TurnAtRegionEnd(state, region, out, length, &cursor)) {
                    break;
                }
                span = SpanFrom(table, 0, cursor.nextEvent);
                continue;
            }
            target = region->endBytes;
        }
        if (cursor.filled >= length) {
            break;
        }
        PullAt(state, out, ChunkTo(state, now, target, length - cursor.filled), &cursor);
    }
    const bool ended = RegionInEffect(state) != nullptr ? state->regionDone.load()
                                                        : cursor.nextEvent == table->eventCount;
    return EndCall(state, cursor, ended);
}
