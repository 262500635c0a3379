// The render call while the controller's settings are in effect. The same steps as the
// plain loop, in song time: an event is sent before the first output frame at which
// the song has reached its position, the song advancing by the speed's share of a
// frame with every output frame, so a change of speed moves only what comes after it.
#include "player/event_controls.h"
#include "player/render_steps.h"
#include "player/song_marks.h"
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

// Where the watch stands in the song's marks and beats: the first of each not yet told.
struct TimelineCursor {
    const SongMarks* timeline; // null when nobody watches, or the song has none
    uint32_t mark;
    uint32_t beat;
};

template <typename Item> uint32_t FirstAtOrAfter(const Item* items, uint32_t count, QWORD at) {
    uint32_t low = 0;
    for (uint32_t high = count; low < high;) {
        const uint32_t middle = low + (high - low) / 2;
        if (items[middle].bytes < at) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

TimelineCursor TimelineAt(const Playback* state, QWORD at) {
    const SongMarks* timeline = state->watch.load(std::memory_order_relaxed) != nullptr
                                    ? state->timeline.load(std::memory_order_acquire)
                                    : nullptr;
    if (timeline == nullptr) {
        return {nullptr, 0, 0};
    }
    return {timeline, FirstAtOrAfter(timeline->marks, timeline->count, at),
            FirstAtOrAfter(timeline->beats, timeline->beatCount, at)};
}

// Tells the marks and beats the song has reached (before a region's end, which lies
// outside it) and gives where the next one lies.
QWORD TellTimeline(Playback* state, const Cursor& cursor, TimelineCursor* at, QWORD now,
                   const LoopRegion* region) {
    const SongMarks* timeline = at->timeline;
    if (timeline == nullptr) {
        return kNoTarget;
    }
    const QWORD limit = region != nullptr ? region->endBytes : kNoTarget;
    for (; at->mark < timeline->count && timeline->marks[at->mark].bytes <= now &&
           timeline->marks[at->mark].bytes < limit;
         ++at->mark) {
        const SongMark& mark = timeline->marks[at->mark];
        TellWatch(state, cursor, kWatchMark, at->mark | mark.kind << 24, mark.bytes, mark.tick);
    }
    for (; at->beat < timeline->beatCount && timeline->beats[at->beat].bytes <= now &&
           timeline->beats[at->beat].bytes < limit;
         ++at->beat) {
        const SongBeat& beat = timeline->beats[at->beat];
        TellWatch(state, cursor, kWatchBeat, beat.beat | beat.bar << 8, beat.bytes, beat.tick);
    }
    QWORD next = kNoTarget;
    if (at->mark < timeline->count && timeline->marks[at->mark].bytes < next) {
        next = timeline->marks[at->mark].bytes;
    }
    if (at->beat < timeline->beatCount && timeline->beats[at->beat].bytes < next) {
        next = timeline->beats[at->beat].bytes;
    }
    return next;
}

} // namespace

DWORD RenderControlled(Playback* state, const EventTable* table, void* buffer, DWORD length) {
    const SongEvent* events = table->records;
    char* out = static_cast<char*>(buffer);
    const QWORD at = state->renderedBytes.load(std::memory_order_relaxed);
    Cursor cursor{state->nextEvent.load(std::memory_order_relaxed), static_cast<DWORD>(at), 0,
                  static_cast<DWORD>(at >> 32)};
    if (state->seekToTell.exchange(false, std::memory_order_relaxed)) {
        TellWatch(state, cursor, kWatchSeek, 0, at, kTickOfPosition);
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
    const bool watching = state->watch.load(std::memory_order_relaxed) != nullptr;
    TimelineCursor timeline = TimelineAt(state, SongBytes(cursor.span, cursor.renderedBytes));
    for (;;) {
        const LoopRegion* region = RegionInEffect(state);
        const DWORD stop = region != nullptr ? region->endEvent : table->eventCount;
        const QWORD now = SongBytes(cursor.span, cursor.renderedBytes);
        // A mark or beat where the buffer ends is told by the next call, which starts there
        // (but where the song ends, below).
        const bool room = cursor.filled < length;
        const QWORD nextTold = room && timeline.timeline != nullptr
                                   ? TellTimeline(state, cursor, &timeline, now, region)
                                   : kNoTarget;
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
                if (watching && event.event == kEventNote &&
                    (MutedChannels(&state->controls) & 1u << event.chan) == 0) {
                    TellWatch(state, cursor, kWatchNote,
                              event.chan | (event.param & 0x7F) << 8 |
                                  (event.param >> 8 & 0x7F) << 16,
                              eventBytes, event.tick);
                }
            }
            if (watching && cursor.nextEvent + 1 == table->eventCount && region == nullptr) {
                TellWatch(state, cursor, kWatchEnd, 0, eventBytes, event.tick);
            }
        }
        if (!room && timeline.timeline != nullptr && region == nullptr &&
            cursor.nextEvent >= table->eventCount) {
            TellTimeline(state, cursor, &timeline, now, region); // the song ends here
        }
        if (target == kNoTarget && region != nullptr) {
            if (now >= region->endBytes) {
                if (!TurnAtRegionEnd(state, region, out, length, &cursor)) {
                    break;
                }
                span = SpanFrom(table, 0, cursor.nextEvent);
                timeline = TimelineAt(state, SongBytes(cursor.span, cursor.renderedBytes));
                continue;
            }
            target = region->endBytes;
        }
        if (cursor.filled >= length) {
            break;
        }
        target = nextTold < target ? nextTold : target;
        PullAt(state, out, ChunkTo(state, now, target, length - cursor.filled), &cursor);
    }
    const bool ended = RegionInEffect(state) != nullptr ? state->regionDone.load()
                                                        : cursor.nextEvent == table->eventCount;
    return EndCall(state, cursor, ended);
}
