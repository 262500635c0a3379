#include "player/jump.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#include "audio/audio_constants.h"

namespace {

constexpr DWORD kBytesPerSecond = kSampleRate * kBytesPerFrame;
constexpr QWORD kLargestBytes = QWORD{1} << 48;

// Event types below this that are a channel's state are replayed; the libraries' event
// numbering keeps every channel event there.
constexpr DWORD kStateTypes = 128;

// Released on every channel at a jump, in this order, before the replay.
constexpr DWORD kReleaseEvents[] = {kEventSustain, kEventAllNotesOff, kEventSoundOff,
                                    kEventResetControllers};

struct TypeDefault {
    DWORD event;
    DWORD param;
};
// What a channel holds before the song sets it.
constexpr TypeDefault kDefaults[] = {
    {kEventProgram, 0},      {kEventChannelPressure, 0}, {kEventPitchBend, 8192},
    {kEventModulation, 0},   {kEventVolume, 100},        {kEventPan, 64},
    {kEventExpression, 127},
};

bool IsReplayedType(DWORD event) {
    return event < kStateTypes && event != kEventNote && event != kEventBankSelect &&
           event != kEventSoundOff && event != kEventAllNotesOff;
}

struct LastValue {
    DWORD index; // of the event that set it, plus one; 0: not set before the target
    DWORD param;
    bool setLater; // set only at or after the target
};

// One channel's last values, by event type.
struct ChannelState {
    LastValue types[kStateTypes];
};

Jump* AllocateJump(DWORD replayCount) {
    const size_t bytes = sizeof(Jump) + size_t{replayCount} * sizeof(ReplayEvent);
    auto* jump = static_cast<Jump*>(std::malloc(bytes));
    if (jump != nullptr) {
        jump->replayCount = 0;
        jump->replay = reinterpret_cast<ReplayEvent*>(jump + 1);
    }
    return jump;
}

void Append(Jump* jump, DWORD chan, DWORD event, DWORD param) {
    jump->replay[jump->replayCount++] = {chan, event, param};
}

} // namespace

QWORD BytesFromMs(double ms) {
    if (!(ms > 0)) {
        return 0;
    }
    // A little over, so a position given in milliseconds of a whole frame (8000 / 384)
    // is not lost to rounding.
    const double frames = ms * kSampleRate / 1000.0 + 1e-6;
    if (frames >= static_cast<double>(kLargestBytes) / kBytesPerFrame) {
        return kLargestBytes;
    }
    return static_cast<QWORD>(frames) * kBytesPerFrame;
}

double MsFromBytes(QWORD bytes) {
    return static_cast<double>(bytes) * 1000.0 / kBytesPerSecond;
}

// Within the span `bytes` lies in, the events are in the order of their 32-bit positions.
DWORD FirstEventAtOrAfter(const EventTable* table, QWORD bytes) {
    const QWORD span = bytes >> 32;
    if (span >= table->spanCount) {
        return table->eventCount;
    }
    const SongEvent* begin = table->records + table->spanStarts[span];
    const SongEvent* end = table->records + SpanEnd(table, static_cast<DWORD>(span));
    const auto low = static_cast<DWORD>(bytes);
    const SongEvent* found = std::lower_bound(
        begin, end, low, [](const SongEvent& event, DWORD pos) { return event.pos < pos; });
    return static_cast<DWORD>(found - table->records);
}

Jump* BuildJump(const EventTable* table, QWORD bytes) {
    bytes -= bytes % kBytesPerFrame;
    auto* channels = static_cast<ChannelState*>(std::calloc(kMidiChannels, sizeof(ChannelState)));
    if (channels == nullptr) {
        return nullptr;
    }
    const DWORD target = FirstEventAtOrAfter(table, bytes);
    for (DWORD i = 0; i < table->eventCount; ++i) {
        const SongEvent& event = table->records[i];
        if (event.chan >= kMidiChannels || !IsReplayedType(event.event)) {
            continue;
        }
        LastValue& value = channels[event.chan].types[event.event];
        if (i < target) {
            value.index = i + 1;
            value.param = event.param;
        } else {
            value.setLater = true;
        }
    }

    // The values set before the target, in the order the song set them.
    DWORD stateCount = 0;
    for (DWORD chan = 0; chan < kMidiChannels; ++chan) {
        for (const LastValue& value : channels[chan].types) {
            stateCount += value.index != 0 ? 1 : 0;
        }
    }
    const DWORD releaseCount = kMidiChannels * static_cast<DWORD>(std::size(kReleaseEvents));
    const DWORD defaultCount = kMidiChannels * static_cast<DWORD>(std::size(kDefaults));
    Jump* jump = AllocateJump(releaseCount + defaultCount + stateCount);
    if (jump == nullptr) {
        std::free(channels);
        return nullptr;
    }
    jump->event = target;
    jump->bytes = bytes;
    for (DWORD chan = 0; chan < kMidiChannels; ++chan) {
        for (DWORD event : kReleaseEvents) {
            Append(jump, chan, event, 0);
        }
    }
    for (DWORD chan = 0; chan < kMidiChannels; ++chan) {
        for (const TypeDefault& type : kDefaults) {
            const LastValue& value = channels[chan].types[type.event];
            if (value.index == 0 && value.setLater) {
                Append(jump, chan, type.event, type.param);
            }
        }
    }
    ReplayEvent* state = jump->replay + jump->replayCount;
    DWORD* order = static_cast<DWORD*>(std::malloc(sizeof(DWORD) * (stateCount + 1)));
    if (order == nullptr) {
        std::free(channels);
        std::free(jump);
        return nullptr;
    }
    DWORD ordered = 0;
    for (DWORD chan = 0; chan < kMidiChannels; ++chan) {
        for (const LastValue& value : channels[chan].types) {
            if (value.index != 0) {
                order[ordered++] = value.index - 1;
            }
        }
    }
    std::sort(order, order + ordered);
    for (DWORD i = 0; i < ordered; ++i) {
        const SongEvent& event = table->records[order[i]];
        state[i] = {event.chan, event.event, event.param};
    }
    jump->replayCount += ordered;
    std::free(order);
    std::free(channels);
    return jump;
}

LoopRegion* BuildLoopRegion(const EventTable* table, QWORD startBytes, QWORD endBytes,
                            DWORD passes) {
    auto* region = static_cast<LoopRegion*>(std::malloc(sizeof(LoopRegion)));
    if (region == nullptr) {
        return nullptr;
    }
    region->start = BuildJump(table, startBytes);
    if (region->start == nullptr) {
        std::free(region);
        return nullptr;
    }
    endBytes -= endBytes % kBytesPerFrame;
    region->endEvent = FirstEventAtOrAfter(table, endBytes);
    region->endBytes = endBytes;
    region->passes = passes;
    return region;
}

void FreeLoopRegion(LoopRegion* region) {
    if (region != nullptr) {
        std::free(region->start);
        std::free(region);
    }
}
