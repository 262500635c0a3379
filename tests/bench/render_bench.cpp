// Cost of the render callback over one minute of audio at several event densities,
// against a baseline that pulls the same bytes from the same trivial instrument with
// one call per buffer. scripts/bench turns the timings into ratios. Also the time of a
// seek in a song of a million events, on the user-interface thread. And a song rendered
// to WAV bytes through a decoding stream, against the instrument's own rendering of as
// many frames into the same encoder.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "player/event_commands.h"
#include "player/instrument.h"
#include "player/render_stream.h"
#include "player/song_commands.h"
#include "player/song_render.h"
#include "player/wav_encoder.h"
#include "player/transport.h"
#include "doubles/fake_audio/fake_audio.h"

namespace {

constexpr DWORD kBytesPerSecond = 48000 * 8;
constexpr DWORD kSeconds = 60;
constexpr DWORD kBufferBytes = 3840; // 10 ms, a typical device period

std::vector<BASS_MIDI_EVENT> EvenlySpacedEvents(DWORD perSecond) {
    std::vector<BASS_MIDI_EVENT> events;
    const DWORD count = perSecond * kSeconds;
    for (DWORD i = 0; i < count; ++i) {
        const DWORD frame = static_cast<DWORD>(uint64_t(i) * kSeconds * 48000 / count);
        events.push_back(BASS_MIDI_EVENT{1, 60 + i % 24, i % 16, i, frame * 8});
    }
    return events;
}

// A minute of evenly spaced notes loaded into a player with the fake's trivial
// instrument, which writes its buffer sample by sample.
struct SongOfOneMinute {
    explicit SongOfOneMinute(DWORD perSecond) {
        fake::Reset();
        fake::SetQuiet(true);
        fake::SetMidiFile(EvenlySpacedEvents(perSecond));
        InitPlayerState(&player, nullptr);
        instrument = ReplaceInstrument(&player, L"synth.dll");
        LoadSong(&player, L"song.mid");
    }
    ~SongOfOneMinute() {
        FreeStream(&player);
        Stop(&player);
        ReplaceInstrument(&player, nullptr);
        fake::Reset();
    }
    SongOfOneMinute(const SongOfOneMinute&) = delete;
    SongOfOneMinute& operator=(const SongOfOneMinute&) = delete;

    PlayerState player;
    DWORD instrument = 0;
};

void RenderOneMinute(benchmark::State& state) {
    const auto perSecond = static_cast<DWORD>(state.range(0));
    const bool baseline = state.range(1) != 0;
    SongOfOneMinute song(perSecond);
    PlayerState& player = song.player;
    const DWORD instrument = song.instrument;
    std::vector<char> buffer(kBufferBytes);
    if (state.range(2) != 0) {
        // The controller's settings: every event goes through them.
        SetSpeed(&player, 1.1, 0, 0);
        SetTranspose(&player, 2, kTunedChannels);
        SetChannelMutes(&player, 1u << kDrumChannel, 0);
    }

    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the library's idiom
        player.playback.nextEvent.store(0);
        player.playback.renderedBytes.store(0);
        ForgetSoundingNotes(&player.playback.track);
        for (DWORD done = 0; done < kSeconds * kBytesPerSecond; done += kBufferBytes) {
            if (baseline) {
                benchmark::DoNotOptimize(
                    BASS_ChannelGetData(instrument, buffer.data(), kBufferBytes));
            } else {
                benchmark::DoNotOptimize(
                    RenderProc(player.outputStream.load(), buffer.data(), kBufferBytes, &player));
            }
            benchmark::ClobberMemory();
        }
    }
    state.counters["events_per_second"] = perSecond;
}

BENCHMARK(RenderOneMinute)
    ->ArgNames({"events_per_second", "baseline", "controls"})
    ->ArgsProduct({{0, 100, 1000, 10000}, {1, 0}, {0}})
    ->Args({10000, 0, 1})
    ->Unit(benchmark::kMillisecond);

// A million events over ten minutes: notes, with a controller, a pitch bend or a
// program change on one channel or another every few events.
void SeekInAMillionEvents(benchmark::State& state) {
    constexpr DWORD kCount = 1000000;
    std::vector<BASS_MIDI_EVENT> events;
    for (DWORD i = 0; i < kCount; ++i) {
        const DWORD type = i % 4 == 0 ? 11 + i % 5 : i % 7 == 0 ? 4 : i % 11 == 0 ? 2 : 1;
        const DWORD frame = static_cast<DWORD>(uint64_t(i) * 600 * 48000 / kCount);
        events.push_back(BASS_MIDI_EVENT{type, i % 128, i % 16, i, frame * 8});
    }
    fake::Reset();
    fake::SetQuiet(true);
    fake::SetMidiFile(events);
    PlayerState player;
    InitPlayerState(&player, nullptr);
    ReplaceInstrument(&player, L"synth.dll");
    LoadSong(&player, L"song.mid");
    Play(&player);
    double target = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the library's idiom
        target = target > 590000 ? 1000 : target + 37000;
        benchmark::DoNotOptimize(Seek(&player, target));
    }
    Stop(&player);
    FreeStream(&player);
    ReplaceInstrument(&player, nullptr);
    fake::Reset();
}

BENCHMARK(SeekInAMillionEvents)->Unit(benchmark::kMillisecond);

// Encodes what it is given as a file's float samples would be, into one reused buffer.
struct EncodingSink {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(size_t{kRenderBlockFrames} * 2 * 4);
    WavDither dither;
};

bool Encode(void* context, const float* frames, uint32_t count) {
    auto* sink = static_cast<EncodingSink*>(context);
    EncodeWavSamples(WavFormat::Float32, frames, size_t{count} * 2, &sink->dither,
                     sink->bytes.data());
    benchmark::ClobberMemory();
    return true;
}

void RenderSongToFile(benchmark::State& state) {
    const auto perSecond = static_cast<DWORD>(state.range(0));
    const bool baseline = state.range(1) != 0;
    SongOfOneMinute song(perSecond);
    PlayerState& player = song.player;
    const DWORD instrument = song.instrument;
    auto render = std::make_unique<SongRender>();
    RenderSettings settings;
    settings.tailMs = 0;
    EncodingSink sink;
    std::vector<float> block(size_t{kRenderBlockFrames} * 2);
    PrepareSongRender(render.get(), player.playback.events.load(), instrument, settings, 0);
    const uint64_t frames = render->songFrames;
    ReleaseSongRender(render.get());

    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the library's idiom
        if (baseline) {
            for (uint64_t done = 0; done < frames;) {
                const auto count = static_cast<uint32_t>(
                    frames - done < kRenderBlockFrames ? frames - done : kRenderBlockFrames);
                BASS_ChannelGetData(instrument, block.data(), count * 8);
                Encode(&sink, block.data(), count);
                done += count;
            }
        } else {
            PrepareSongRender(render.get(), player.playback.events.load(), instrument, settings, 0);
            RunSongRender(render.get(), RenderSink{Encode, nullptr, &sink});
            ReleaseSongRender(render.get());
        }
    }
    state.counters["events_per_second"] = perSecond;
    state.counters["audio_seconds"] = static_cast<double>(frames) / 48000;
}

BENCHMARK(RenderSongToFile)
    ->ArgNames({"events_per_second", "baseline"})
    ->ArgsProduct({{100, 1000, 10000}, {1, 0}})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
