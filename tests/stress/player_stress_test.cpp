// The render callback on the fake library's mixing thread while this thread loads
// songs, plays, stops, frees streams, swaps the instrument, seeks, sets loop regions,
// pauses and resumes, and sends live MIDI; and a song rendered on a thread of its own
// while this thread asks after it and cancels it, the mixing thread held. Built under
// ThreadSanitizer, which fails the run on any data race, and under AddressSanitizer,
// which fails it on a table or instrument used after its release. In no-wait mode the
// library's Stop and frees return while a render call is still running.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>

#include "player/instrument.h"
#include "player/song_commands.h"
#include "player/song_marks.h"
#include "player/song_render.h"
#include "player/transport.h"
#include "doubles/fake_audio/fake_audio.h"
#include "player/event_commands.h"

namespace {

// Live messages carry a sequence number in their data bytes; the mixing thread checks
// that they arrive one after another, none lost or repeated.
uint32_t g_sent = 0;
std::atomic<uint32_t> g_arrived{0};
std::atomic<bool> g_outOfOrder{false};

BOOL WINAPI TakeLive(DWORD /*instrument*/, const void* event, DWORD /*length*/) {
    const auto packed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event));
    const uint32_t number = (packed >> 8 & 0x7F) << 7 | (packed & 0x7F);
    const uint32_t expected = g_arrived.load(std::memory_order_relaxed) % (1u << 14);
    if (number != expected) {
        g_outOfOrder.store(true);
    }
    g_arrived.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

void SendLive(PlayerState* state) {
    LiveMessage message = {
        3, {0x90, static_cast<uint8_t>(g_sent >> 7 & 0x7F), static_cast<uint8_t>(g_sent & 0x7F)}};
    if (QueueLiveMessages(&state->live, TakeLive, &message, 1)) {
        ++g_sent;
    }
}

// Pulls of the instrument made while the test is inside the gate, by any thread.
std::atomic<bool> g_gated{false};
std::atomic<uint32_t> g_pullsWhileGated{0};

void CountGatedPull(void* /*context*/) {
    if (g_gated.load()) {
        g_pullsWhileGated.fetch_add(1);
    }
}

std::vector<BASS_MIDI_EVENT> Song() {
    std::vector<BASS_MIDI_EVENT> events;
    for (DWORD i = 0; i < 400; ++i) {
        events.push_back(BASS_MIDI_EVENT{i % 3 == 0 ? 10u : 1u, 60 + i % 12, i % 16, i, i * 96});
    }
    return events;
}

void RunStress(uint32_t requestBytes, unsigned seed, bool noWait = false) {
    fake::Reset();
    g_sent = 0;
    g_arrived.store(0);
    g_outOfOrder.store(false);
    fake::SetMidiFile(Song());
    fake::SetTags(std::string("LOOPSTART=100\0LOOPLENGTH=5000\0", 30) + '\0');
    fake::SetQuiet(true);
    fake::SetNoWait(noWait);
    PlayerState state;
    InitPlayerState(&state, nullptr);
    // A controller watches the music: a thread of its own reads what the render call tells.
    static WatchLog log; // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
    ResetWatchLog(&log);
    state.playback.watch.store(&log);
    std::atomic<bool> watching{true};
    uint32_t told = 0;
    std::thread watcher([&] {
        while (watching.load()) {
            for (const WatchRecord* record = PeekWatch(&log); record != nullptr;
                 record = PeekWatch(&log)) {
                told += record->kind != 0 ? 1 : 0;
                TakeWatch(&log);
            }
            std::this_thread::yield();
        }
    });
    fake::StartMixer(requestBytes);

    std::mt19937 random(seed);
    // Enough steps for every command to meet the mixer many times, mid-buffer too.
    for (int step = 0; step < 1500 || (fake::MixedBytes() < 4000000 && step < 200000); ++step) {
        std::this_thread::yield();
        EnterGate(&state); // as the host runs every command
        switch (random() % 14) {
        case 0:
            LoadSong(&state, L"song.mid");
            break;
        case 1:
        case 2:
            Play(&state);
            break;
        case 3:
            Stop(&state);
            break;
        case 4:
            FreeStream(&state);
            break;
        case 5:
            ReplaceInstrument(&state, random() % 4 == 0 ? nullptr : L"synth.dll");
            break;
        case 6:
            Seek(&state, static_cast<double>(random() % 1000));
            break;
        case 7: {
            const auto start = static_cast<double>(random() % 800);
            SetLoopRegion(&state, random() % 4 != 0, start,
                          start + 1 + static_cast<double>(random() % 200), random() % 3);
            break;
        }
        case 8:
            Pause(&state);
            break;
        case 9:
            SendLive(&state);
            break;
        case 10: // the settings for the song's events, which send of their own
            SetSpeed(&state, 0.5 + static_cast<double>(random() % 150) / 100, 0, 0);
            SetTranspose(&state, static_cast<double>(random() % 49) - 24, kTunedChannels);
            break;
        case 11:
            SetChannelMutes(&state, static_cast<double>(random() % 0x10000),
                            random() % 4 == 0 ? 1 : 0);
            SetChannelVolume(&state, static_cast<double>(random() % 17), 0.5);
            if (random() % 3 == 0) {
                ClearEventControls(&state, kControlAll);
            }
            break;
        default:
            Resume(&state);
            break;
        }
        ExitGate(&state);
    }

    fake::StopMixer();
    watching.store(false);
    watcher.join();
    EXPECT_GT(told, 0u) << "the render call told the watch of the notes it sent";
    EXPECT_GT(fake::MixedBytes(), 0u);
    EXPECT_FALSE(g_outOfOrder.load()) << "live messages out of order";
    EXPECT_LE(g_arrived.load(), g_sent);
    EXPECT_GT(g_arrived.load(), 0u) << "some reached the instrument";
    LoadSong(&state, L"song.mid"); // releases any region and seek
    Stop(&state);
    FreeStream(&state);
    std::free(state.playback.events.exchange(nullptr));
    FreeSongMarks(state.songMarks);
    ReplaceInstrument(&state, nullptr);
    fake::Reset();
}

TEST(PlayerStress, CommandsRaceTheMixingThreadSafely) {
    RunStress(3840, 1);
}

TEST(PlayerStress, OddRequestSizes) {
    RunStress(1001, 2);
}

TEST(PlayerStress, ALibraryThatDoesNotWaitForTheRenderCall) {
    RunStress(3840, 3, true);
    RunStress(1001, 4, true);
}

bool CountFrames(void* context, const float* /*frames*/, uint32_t count) {
    static_cast<std::atomic<uint64_t>*>(context)->fetch_add(count, std::memory_order_relaxed);
    return true;
}

// As the host does: the live song's render calls held, the render pulled on its own
// thread while this one reads its progress and the player's status, the gate holding
// the render between its blocks, then cancels it (or lets it end), inside the gate or
// not, and puts the live song back with a seek.
TEST(PlayerStress, ARenderOnItsOwnThreadIsAskedAfterAndCancelledSafely) {
    fake::Reset();
    fake::SetMidiFile(Song());
    fake::SetQuiet(true);
    PlayerState state;
    InitPlayerState(&state, nullptr);
    const DWORD instrument = ReplaceInstrument(&state, L"synth.dll");
    LoadSong(&state, L"song.mid");
    Play(&state);
    g_pullsWhileGated.store(0);
    fake::SetPullHook(CountGatedPull, nullptr);
    fake::StartMixer(3840);
    auto render = std::make_unique<SongRender>();
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        HoldRenderCalls(&state);
        RenderSettings settings;
        settings.passes = 1 + random() % 3;
        settings.tailMs = random() % 200;
        ASSERT_TRUE(PrepareSongRender(render.get(), state.playback.events.load(), instrument,
                                      settings, round % 5));
        AttachFileRender(&state, &render->hold);
        std::atomic<uint64_t> frames{0};
        std::thread thread([&] {
            RunSongRender(render.get(), RenderSink{CountFrames, nullptr, &frames});
        });
        uint32_t last = 0;
        for (unsigned look = random() % 50; look > 0; --look) {
            const uint32_t done = render->thousandths.load(std::memory_order_relaxed);
            EXPECT_GE(done, last);
            last = done;
            EnterGate(&state);
            g_gated.store(true);
            PlayerStatus(&state);
            g_gated.store(false);
            ExitGate(&state);
            std::this_thread::yield();
        }
        const bool gated = round % 2 == 0;
        if (gated) {
            EnterGate(&state);
        }
        render->cancel.store(true);
        thread.join();
        DetachFileRender(&state);
        if (gated) {
            ExitGate(&state);
        }
        EXPECT_LE(frames.load(), render->expectedFrames);
        ReleaseSongRender(render.get());
        Seek(&state, static_cast<double>(random() % 1000));
        ReleaseRenderCalls(&state);
    }
    fake::StopMixer();
    EXPECT_GT(fake::MixedBytes(), 0u);
    EXPECT_EQ(g_pullsWhileGated.load(), 0u) << "the render thread is held between two blocks";
    Stop(&state);
    FreeStream(&state);
    FreeSongMarks(state.songMarks);
    ReplaceInstrument(&state, nullptr);
    fake::Reset();
}

} // namespace
