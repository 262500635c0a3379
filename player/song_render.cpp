#include "player/song_render.h"

#include <cstring>

#include "player/instrument.h"
#include "player/render_stream.h"

namespace {

constexpr DWORD kDecodeFloatStream = 0x200100; // decoding only, float samples
constexpr uint64_t kFramesPerMs = kSampleRate / 1000;

// Frames at the end of the block that are all below the silence level.
uint32_t TrailingSilentFrames(const float* frames, uint32_t count) {
    uint32_t silent = 0;
    for (uint32_t frame = count; frame > 0; --frame, ++silent) {
        const float* at = frames + static_cast<size_t>(frame - 1) * 2;
        if (at[0] >= kSilenceLevel || at[0] <= -kSilenceLevel || at[1] >= kSilenceLevel ||
            at[1] <= -kSilenceLevel) {
            break;
        }
    }
    return silent;
}

// The instrument's audio alone, after the song, in whole frames: less than a frame is
// taken as silence.
uint32_t PullTail(DWORD instrument, float* block, uint32_t frames) {
    const uint32_t whole =
        PullInstrument(instrument, block, frames * kBytesPerFrame) / kBytesPerFrame;
    if (whole == 0) {
        std::memset(block, 0, size_t{frames} * kBytesPerFrame);
        return frames;
    }
    return whole;
}

// Where the tail stands: how many frames it may still pull (0: it is done).
struct Tail {
    uint64_t pulled = 0;
    uint64_t silentRun = 0;
};

uint32_t TailFramesWanted(const SongRender& render, const Tail& tail) {
    const RenderSettings& settings = render.settings;
    uint64_t left = 0;
    if (!settings.tailUntilSilent) {
        left = render.delayFrames + settings.tailMs * kFramesPerMs - tail.pulled;
    } else if (tail.pulled < render.delayFrames || tail.silentRun < kSilentRunFrames) {
        left = render.delayFrames + uint64_t{kLongestSilenceTailFrames} - tail.pulled;
    }
    return left < kRenderBlockFrames ? static_cast<uint32_t>(left) : kRenderBlockFrames;
}

constexpr uint64_t kLongestSettlingFrames = uint64_t{kSampleRate} * 10;

// Pulls and drops the instrument's sound from before the render (live playback's notes
// ringing out, a delay line's contents) until it has been silent for kSettledFrames
// past its delay, at most for the longest settling time. False when cancelled.
bool SettleInstrument(SongRender* render, DWORD instrument) {
    const uint64_t wanted = uint64_t{render->delayFrames} + kSettledFrames;
    uint64_t silentRun = 0;
    for (uint64_t pulled = 0; silentRun < wanted && pulled < kLongestSettlingFrames;) {
        const uint64_t left = wanted - silentRun;
        const uint32_t frames =
            left < kRenderBlockFrames ? static_cast<uint32_t>(left) : kRenderBlockFrames;
        if (!EnterBlock(&render->hold, render->cancel)) {
            return false;
        }
        const uint32_t got = PullTail(instrument, render->block, frames);
        ExitBlock(&render->hold);
        const uint32_t silent = TrailingSilentFrames(render->block, got);
        silentRun = silent == got ? silentRun + got : silent;
        pulled += got;
    }
    return true;
}

uint64_t PassFrames(const EventTable* table) {
    return SongEndBytes(table) / kBytesPerFrame + 1;
}

// The song's part of the file: its passes at the controller's speed, which may step up
// or down at each turn.
uint64_t SongPartFrames(const EventTable* table, const RenderSettings& settings) {
    const uint64_t pass = PassFrames(table);
    if (settings.controls == nullptr) {
        return uint64_t{settings.passes} * pass;
    }
    const EventControls& controls = *settings.controls;
    const int64_t step = controls.speedStep.load();
    const auto limit = static_cast<int64_t>(controls.speedLimit.load());
    auto speed = static_cast<int64_t>(controls.speed.load());
    uint64_t frames = 0;
    for (uint32_t done = 0; done < settings.passes; ++done) {
        frames += OutputFramesFor(pass, 0, static_cast<uint32_t>(speed));
        if (step != 0) {
            speed += step;
            speed = step > 0 ? (speed < limit ? speed : limit) : (speed > limit ? speed : limit);
        }
    }
    return frames;
}

} // namespace

uint64_t LongestRenderFrames(const EventTable* table, const RenderSettings& settings) {
    return SongPartFrames(table, settings) + (settings.tailUntilSilent
                                                  ? kLongestSilenceTailFrames
                                                  : uint64_t{settings.tailMs} * kFramesPerMs);
}

bool PrepareSongRender(SongRender* render, const EventTable* table, DWORD instrument,
                       const RenderSettings& settings, uint32_t delayFrames) {
    InitPlayback(&render->playback, &render->noLive);
    if (settings.controls != nullptr) {
        CopyEventControls(&render->playback.controls, settings.controls);
    }
    const QWORD songEnd = SongEndBytes(table);
    render->rewind = Jump{0, 0, 0, nullptr};
    render->region =
        LoopRegion{&render->rewind, table->eventCount, songEnd + kBytesPerFrame, settings.passes};
    render->settings = settings;
    render->delayFrames = delayFrames;
    render->songFrames = SongPartFrames(table, settings);
    render->expectedFrames =
        render->songFrames + (settings.tailUntilSilent ? 0 : settings.tailMs * kFramesPerMs);
    render->cancel.store(false);
    render->thousandths.store(0);
    render->hold.asked.store(false);
    render->hold.inBlock.store(false);
    render->playback.events.store(const_cast<EventTable*>(table));
    render->playback.instrument.store(instrument);
    render->playback.pluginLoaded.store(1);
    render->playback.region.store(&render->region);
    render->stream = BASS_StreamCreate(kSampleRate, kChannels, kDecodeFloatStream,
                                       PlaybackRenderProc, &render->playback);
    // Notes still sounding from live playback are cut at once, not released.
    ResetInstrumentChannels(instrument);
    for (DWORD channel = 0; channel < kMidiChannels; ++channel) {
        BASS_VST_ProcessEvent(instrument, channel, kEventSoundOff, 0);
    }
    return render->stream != 0;
}

RenderOutcome RunSongRender(SongRender* render, const RenderSink& sink) {
    const DWORD instrument = render->playback.instrument.load();
    uint64_t toTrim = render->delayFrames;
    uint64_t rendered = 0;
    uint64_t written = 0;
    bool songEnded = false;
    Tail tail;
    if (!SettleInstrument(render, instrument)) {
        return RenderOutcome::Cancelled;
    }
    for (;;) {
        if (render->cancel.load(std::memory_order_relaxed)) {
            return RenderOutcome::Cancelled;
        }
        uint32_t frames = 0;
        if (!EnterBlock(&render->hold, render->cancel)) {
            return RenderOutcome::Cancelled;
        }
        if (!songEnded) {
            // The library's error value once the song's last pass has ended.
            const auto got = static_cast<int32_t>(BASS_ChannelGetData(
                render->stream, render->block, kRenderBlockFrames * kBytesPerFrame));
            frames = got > 0 ? static_cast<uint32_t>(got) / kBytesPerFrame : 0;
            songEnded = frames == 0;
        } else {
            const uint32_t wanted = TailFramesWanted(*render, tail);
            if (wanted == 0) {
                ExitBlock(&render->hold);
                break;
            }
            frames = PullTail(instrument, render->block, wanted);
            const uint32_t silent = TrailingSilentFrames(render->block, frames);
            tail.silentRun = silent == frames ? tail.silentRun + frames : silent;
            tail.pulled += frames;
            if (tail.pulled <= render->delayFrames) {
                tail.silentRun = 0; // still the song's sound, late by the delay
            }
        }
        ExitBlock(&render->hold);
        rendered += frames;
        const float* from = render->block;
        const uint32_t trimmed = toTrim < frames ? static_cast<uint32_t>(toTrim) : frames;
        toTrim -= trimmed;
        from += static_cast<size_t>(trimmed) * 2;
        if (frames > trimmed && !sink.write(sink.context, from, frames - trimmed)) {
            return RenderOutcome::WriteFailed;
        }
        written += frames - trimmed;
        const uint64_t expected = render->expectedFrames;
        const uint64_t done = written < expected ? written * 1000 / expected : 999;
        render->thousandths.store(static_cast<uint32_t>(done), std::memory_order_relaxed);
        if (sink.pace != nullptr) {
            sink.pace(sink.context, rendered);
        }
    }
    render->thousandths.store(1000, std::memory_order_relaxed);
    return RenderOutcome::Done;
}

void ReleaseSongRender(SongRender* render) {
    if (render->stream != 0) {
        BASS_StreamFree(render->stream);
        render->stream = 0;
    }
    render->playback.events.store(nullptr);
}
