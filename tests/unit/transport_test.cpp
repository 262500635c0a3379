#include <algorithm>
#include <cmath>
#include <map>

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "player/jump.h"
#include "player/transport.h"
#include "protocol/quillbrook_protocol.h"
#include "tests/unit/player_fixture.h"

namespace {

constexpr DWORD kEnd = 0x80000000;
constexpr DWORD kReleasesPerJump = 16 * 4;

class Transport : public PlayerTest {
  protected:
    // The events sent since the calls were last cleared, each with the bytes the
    // instrument had given when it arrived.
    struct Sent_ {
        DWORD chan, event, param, at;
    };
    std::vector<Sent_> SentEvents() {
        std::vector<Sent_> sent;
        for (const std::string& line : Sent()) {
            Sent_ event{};
            unsigned instrument = 0;
            std::sscanf(line.c_str(), "ProcessEvent inst=%u ch=%u ev=%u param=%u at=%u",
                        &instrument, &event.chan, &event.event, &event.param, &event.at);
            sent.push_back(event);
        }
        return sent;
    }
    // The events after the releases every jump starts with.
    std::vector<std::string> AfterReleases() {
        std::vector<std::string> sent = Sent();
        EXPECT_GE(sent.size(), kReleasesPerJump);
        return std::vector<std::string>(
            sent.begin() + static_cast<long>(std::min<size_t>(kReleasesPerJump, sent.size())),
            sent.end());
    }
};

TEST_F(Transport, AJumpReplaysEachChannelsLastStateInTheSongsOrder) {
    EventTable* table =
        static_cast<EventTable*>(std::malloc(sizeof(EventTable) + 12 * sizeof(SongEvent)));
    table->records = reinterpret_cast<SongEvent*>(table + 1);
    const SongEvent events[] = {
        Ev(2, 5, 0, 0),      Ev(12, 90, 0, 80),  Ev(11, 20, 0, 160),  Ev(1, 60, 0, 160),
        Ev(17, 0, 0, 240),   Ev(11, 30, 0, 320), Ev(4, 9000, 0, 320), Ev(10, 3, 0, 320),
        Ev(12, 70, 20, 320), Ev(1, 62, 0, 800),  Ev(12, 50, 1, 1600), Ev(4, 100, 0, 1600),
    };
    std::copy(std::begin(events), std::end(events), table->records);
    table->eventCount = 12;
    table->spanCount = 1;
    table->spanStarts[0] = 0;

    Jump* jump = BuildJump(table, 805); // rounded down to the frame at 800
    ASSERT_NE(jump, nullptr);
    EXPECT_EQ(jump->bytes, 800u);
    EXPECT_EQ(jump->event, 9u) << "the note at the target is played, not replayed";
    ASSERT_GE(jump->replayCount, kReleasesPerJump);
    EXPECT_EQ(jump->replay[0].event, kEventSustain);
    EXPECT_EQ(jump->replay[kReleasesPerJump - 1].chan, 15u);
    std::vector<std::vector<DWORD>> rest;
    for (DWORD i = kReleasesPerJump; i < jump->replayCount; ++i) {
        rest.push_back({jump->replay[i].chan, jump->replay[i].event, jump->replay[i].param});
    }
    // Channel 1's volume is set only later: it gets its default. The modulation before
    // the reset is replaced by the one after it; notes, bank select and channel 20 are
    // never replayed.
    EXPECT_EQ(rest,
              (std::vector<std::vector<DWORD>>{
                  {1, 12, 100}, {0, 2, 5}, {0, 12, 90}, {0, 17, 0}, {0, 11, 30}, {0, 4, 9000}}));
    std::free(jump);
    std::free(table);
}

TEST_F(Transport, ASeekReplaysBeforeTheEventsAtTheTargetWhichKeepTheirExactPositions) {
    LoadInstrument();
    // 9600 bytes are 25 ms.
    LoadEvents({Ev(2, 7, 0, 0), Ev(1, 60, 0, 0), Ev(11, 40, 0, 4800), Ev(1, 61, 0, 9600),
                Ev(1, 62, 0, 10400), Ev(1, 63, 0, 96000)});
    Play(&state);
    Render(4000);
    fake::ClearCalls();

    EXPECT_EQ(Seek(&state, 25.0), 25);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_PLAYING);
    EXPECT_EQ(Render(1600), 1600u);
    const std::vector<std::string> sent = AfterReleases();
    const std::string at = " at=" + std::to_string(4000);
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "ProcessEvent inst=100 ch=0 ev=2 param=7" + at,
                        "ProcessEvent inst=100 ch=0 ev=11 param=40" + at,
                        "ProcessEvent inst=100 ch=0 ev=1 param=61" + at,
                        "ProcessEvent inst=100 ch=0 ev=1 param=62 at=4800",
                    }));
    EXPECT_EQ(state.playback.renderedBytes.load(), 9600u + 1600u);
}

TEST_F(Transport, ASeekWhilePausedOrLoadedKeepsThatStateAndPlaysFromTheTarget) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 48000), Ev(1, 62, 0, 96000)});
    EXPECT_EQ(Seek(&state, 125.0), 125);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_LOADED);
    Play(&state);
    Render(800);
    EXPECT_EQ(state.playback.renderedBytes.load(), 48000u + 800u) << "Play goes on from the target";

    EXPECT_EQ(Pause(&state), 0);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_PAUSED);
    EXPECT_EQ(Seek(&state, 0.0), 0);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_PAUSED);
    EXPECT_EQ(Resume(&state), 0);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_PLAYING);
    EXPECT_EQ(Resume(&state), QB_FAIL_NOT_PLAYING);
    EXPECT_EQ(Seek(&state, 1e9), 250) << "at most the song's length";
}

TEST_F(Transport, ASeekAfterTheRegionsLastPassKeepsTheEndedSongLoaded) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 800), Ev(1, 62, 0, 4000)});
    EXPECT_EQ(SetLoopRegion(&state, true, 0, 1600 / 384.0, 1), 0);
    Play(&state);
    DWORD result = 0;
    for (int call = 0; call < 10 && (result & kEnd) == 0; ++call) {
        result = Render(1000);
    }
    ASSERT_NE(result & kEnd, 0u) << "the song ends after its one pass";
    fake::ClearCalls();
    EXPECT_EQ(Seek(&state, 0.0), 0);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_LOADED);
    EXPECT_TRUE(fake::CallsStartingWith("ChannelPlay").empty()) << "nothing plays again";
}

TEST_F(Transport, AReplayLongerThanAProcessingBlockIsSpreadOverPulls) {
    LoadInstrument();
    // Every state type on every channel: 16 x 124 values to replay, beside the releases.
    std::vector<BASS_MIDI_EVENT> events;
    for (DWORD chan = 0; chan < 16; ++chan) {
        for (DWORD type = 0; type < 128; ++type) {
            if (type != 1 && type != 10 && type != 16 && type != 18) {
                events.push_back(Ev(type, chan, chan, 0));
            }
        }
    }
    for (DWORD i = 0; i < 300; ++i) {
        events.push_back(Ev(1, 60, i % 16, 8000));
    }
    LoadEvents(events);
    Seek(&state, 8000 / 384.0);
    Render(3200);
    std::map<DWORD, size_t> perBlock;
    for (const auto& event : SentEvents()) {
        ++perBlock[event.at];
    }
    size_t total = 0;
    for (const auto& block : perBlock) {
        EXPECT_LE(block.second, 2048u) << "events before the pull at " << block.first;
        total += block.second;
    }
    EXPECT_EQ(total, kReleasesPerJump + 16 * 124 + 300) << "none refused, none lost";
}

TEST_F(Transport, ACrowdOfEventsAtOnePositionIsSpreadOverFramesNoneRefused) {
    LoadInstrument();
    std::vector<BASS_MIDI_EVENT> events;
    for (DWORD i = 0; i < 3000; ++i) {
        events.push_back(Ev(1, 60 + i % 12 | 1 << 8, i % 16, 800));
    }
    events.push_back(Ev(1, 72 | 1 << 8, 0, 808)); // lands among the crowd's frames, after it
    LoadEvents(events);
    Play(&state);
    fake::ClearCalls();
    Render(1600);
    std::map<DWORD, size_t> perPull;
    std::vector<DWORD> keys;
    for (const auto& event : SentEvents()) {
        ++perPull[event.at];
        keys.push_back(event.param & 0x7F);
    }
    // 3000 events, 256 a frame from the crowd's position on: 11 full frames and 184.
    ASSERT_EQ(perPull.size(), 12u);
    EXPECT_EQ(perPull.begin()->first, 800u);
    for (const auto& pull : perPull) {
        EXPECT_EQ(pull.second, pull.first == 800 + 11 * 8 ? 185u : 256u) << "at " << pull.first;
    }
    ASSERT_EQ(keys.size(), 3001u) << "none refused, none lost";
    EXPECT_EQ(keys.back(), 72u) << "in the song's order";
}

TEST_F(Transport, EachPassOfALoopRegionStartsWithTheStartsStateThenTheSongEnds) {
    LoadInstrument();
    LoadEvents({Ev(2, 3, 0, 0), Ev(1, 60, 0, 800), Ev(2, 9, 0, 1600), Ev(1, 61, 0, 2400),
                Ev(1, 62, 0, 3200), Ev(1, 63, 0, 9600)});
    // From 800 to 3200 bytes (just over 2 and 8 ms), three passes.
    EXPECT_EQ(SetLoopRegion(&state, true, 800 / 384.0, 3200 / 384.0, 3), 0);
    Play(&state);
    fake::ClearCalls();
    DWORD result = 0;
    for (int call = 0; call < 10 && (result & kEnd) == 0; ++call) {
        result = Render(1000);
    }
    EXPECT_NE(result & kEnd, 0u) << "the song ends after the third pass";
    std::vector<std::string> notes;
    std::vector<DWORD> programs;
    for (const auto& event : SentEvents()) {
        if (event.event == 1) {
            notes.push_back(std::to_string(event.param) + "@" + std::to_string(event.at));
        }
        if (event.event == 2 && event.param == 3) {
            programs.push_back(event.at);
        }
    }
    // Pass lengths are 2400 bytes: pass 2 starts at 3200, pass 3 at 5600.
    EXPECT_EQ(notes, (std::vector<std::string>{"60@800", "61@2400", "60@3200", "61@4800", "60@5600",
                                               "61@7200"}));
    EXPECT_EQ(programs, (std::vector<DWORD>{0, 3200, 5600}))
        << "the song's program, then passes 2 and 3 start with the start's program";
    LoopSyncProc(0, state.outputStream.load(), 0, &state);
    EXPECT_NE(state.playback.renderedBytes.load(), 0u) << "no rewind after the last pass";
}

// The library's positions are 32 bits: they wrap every 2^32 bytes (3 h 6 min).
TEST_F(Transport, PastTheWrapOfTheLibrarysPositionsEventsSeeksAndRegionsKeepTheirPlaces) {
    constexpr double kBytesPerMs = 384.0;
    constexpr QWORD kWrap = QWORD{1} << 32;
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 0xFFFFFF00u), Ev(1, 62, 0, 256), Ev(1, 63, 0, 65536),
                Ev(1, 64, 0, 128)}); // the last two spans on: 2^32 + 256, ... 2^33 + 128
    EXPECT_EQ(SongLengthMs(&state), std::lround((2 * kWrap + 128) / kBytesPerMs));
    Play(&state);
    // Renders `bytes` after a seek and gives the notes sent, each at the bytes since the
    // seek's target (where its replay was sent).
    const auto notesPlayed = [this](DWORD bytes) {
        fake::ClearCalls();
        for (DWORD done = 0; done < bytes; done += 8192) {
            Render(8192);
        }
        std::vector<std::string> notes;
        DWORD target = 0;
        for (const auto& event : SentEvents()) {
            target = event.event == kEventSustain && target == 0 ? event.at : target;
            if (event.event == 1) {
                notes.push_back(std::to_string(event.param) + "@" +
                                std::to_string(event.at - target));
            }
        }
        return notes;
    };

    Seek(&state, (kWrap - 512) / kBytesPerMs);
    EXPECT_EQ(notesPlayed(80000), (std::vector<std::string>{"61@256", "62@768", "63@66048"}));

    EXPECT_EQ(Seek(&state, (kWrap + 1000) / kBytesPerMs),
              std::lround((kWrap + 1000) / kBytesPerMs));
    EXPECT_EQ(notesPlayed(70000), (std::vector<std::string>{"63@64536"}))
        << "the search stays in the song's order";

    ASSERT_EQ(SetLoopRegion(&state, true, kWrap / kBytesPerMs, (kWrap + 32768) / kBytesPerMs, 3),
              0);
    Seek(&state, kWrap / kBytesPerMs);
    EXPECT_EQ(notesPlayed(3 * 32768 + 8192),
              (std::vector<std::string>{"62@256", "62@33024", "62@65792"}));
    EXPECT_TRUE(state.playback.regionDone.load()) << "the region's last pass ended the song";
}

TEST_F(Transport, ARegionsEndLiesOutsideItForASeekAndForARegionSetThere) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 800), Ev(1, 62, 0, 3200), Ev(1, 63, 0, 4000)});
    Play(&state);
    for (const bool seekFirst : {false, true}) {
        SCOPED_TRACE(seekFirst ? "region set at the cursor" : "seek to the region's end");
        SetLoopRegion(&state, false, 0, 0, 0);
        if (seekFirst) {
            EXPECT_EQ(Seek(&state, 3200 / 384.0), 8);
        }
        EXPECT_EQ(SetLoopRegion(&state, true, 800 / 384.0, 3200 / 384.0, 3), 0);
        if (!seekFirst) {
            Seek(&state, 3200 / 384.0);
        }
        fake::ClearCalls();
        Render(1000);
        std::vector<Sent_> notes;
        for (const auto& event : SentEvents()) {
            if (event.event == 1) {
                notes.push_back(event);
            }
        }
        ASSERT_EQ(notes.size(), 2u) << "no turn back to 800";
        EXPECT_EQ(notes[0].param, 62u);
        EXPECT_EQ(notes[1].param, 63u);
        EXPECT_EQ(notes[1].at - notes[0].at, 800u);
        EXPECT_EQ(state.playback.passesDone.load(), 0u);
    }
}

TEST_F(Transport, ARegionTakenAwayDuringTheCallThatReachesItsEndDelaysNoEvent) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 800), Ev(1, 61, 0, 1600), Ev(1, 62, 0, 2000)});
    EXPECT_EQ(SetLoopRegion(&state, true, 0, 1600 / 384.0, 0), 0);
    Play(&state);
    fake::ClearCalls();
    // The controller takes the region away while the instrument renders up to its end:
    // the first step of doing so, as the freeing waits for the call to end.
    struct Taking {
        PlayerState* state;
        int pulls;
        const LoopRegion* taken;
    } taking = {&state, 0, nullptr};
    fake::SetPullHook(
        [](void* context) {
            auto* taking = static_cast<Taking*>(context);
            if (++taking->pulls == 2) {
                taking->taken = taking->state->playback.region.exchange(nullptr);
            }
        },
        &taking);
    Render(4000);
    fake::SetPullHook(nullptr, nullptr);
    ASSERT_NE(taking.taken, nullptr);
    std::vector<std::string> notes;
    for (const auto& event : SentEvents()) {
        if (event.event == 1) {
            notes.push_back(std::to_string(event.param) + "@" + std::to_string(event.at));
        }
    }
    // The song goes on past the region's end at once: no event waits for the next call.
    EXPECT_EQ(notes, (std::vector<std::string>{"60@800", "61@1600", "62@2000"}));
    state.playback.region.store(taking.taken);
}

TEST_F(Transport, TheHeardPositionTrailsTheCursorAndReachesBackOverATurn) {
    EXPECT_EQ(HeardSongBytes(100000, 38400, 200000, 0, 1000), 61600u);
    // 10000 bytes after a turn from 90000 back to 20000, with 38400 buffered.
    EXPECT_EQ(HeardSongBytes(30000, 38400, 10000, 90000, 1000), 61600u);
    EXPECT_EQ(HeardSongBytes(30000, 38400, 10000, 20000, 1000), 0u) << "never before the start";
}

TEST_F(Transport, PositionAndLengthRightAfterASeekAndWhileHeld) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 480000)});
    EXPECT_EQ(SongLengthMs(&state), 1250);
    Play(&state);
    EXPECT_EQ(Seek(&state, 500.0), 500);
    EXPECT_EQ(PositionMs(&state), 500) << "nothing buffered yet on the new stream";

    state.held.store(true);
    fake::ClearCalls();
    EXPECT_EQ(Render(800), 0u) << "a held call delivers nothing";
    EXPECT_TRUE(fake::Calls().empty());
    state.held.store(false);
}

TEST_F(Transport, WithoutTheFurtherFunctionsTheCommandsSaySoAndPlayingStillWorks) {
    fake::SetAbsent("BASS_ChannelPause");
    fake::SetAbsent("BASS_ChannelGetPosition");
    fake::SetAbsent("BASS_ChannelSlideAttribute");
    EXPECT_EQ(Capabilities(), QB_CAN_STATUS | QB_CAN_SEEK | QB_CAN_VOLUME);
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 48000)});
    Play(&state);
    EXPECT_EQ(Pause(&state), QB_FAIL_NOT_AVAILABLE);
    EXPECT_EQ(PositionMs(&state), QB_FAIL_NOT_AVAILABLE);
    uint32_t check = 0;
    EXPECT_EQ(SetVolume(&state, 0.5, 1000, FadeEnd::None, &check), QB_FAIL_NOT_AVAILABLE);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_PLAYING);
}

TEST_F(Transport, ASeekOrARestartDuringAFadeGoesOnWithTheFade) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 480000)});
    uint32_t check = 0;
    EXPECT_EQ(SetVolume(&state, 0.8, 0, FadeEnd::None, &check), 0);
    Play(&state);
    EXPECT_EQ(SetVolume(&state, 0.2, 60000, FadeEnd::None, &check), 0);
    for (const bool seek : {true, false}) {
        SCOPED_TRACE(seek ? "seek" : "restart");
        const HSTREAM old = state.outputStream.load();
        if (seek) {
            Seek(&state, 10.0);
        } else {
            Play(&state);
        }
        const HSTREAM stream = state.outputStream.load();
        ASSERT_NE(stream, old);
        EXPECT_NEAR(VolumeNow(&state), 800, 10) << "where the fade was, not its target";
        EXPECT_NE(Further().channelIsSliding(stream, kAttribVolume), 0);
    }
}

TEST_F(Transport, AFadeToAPauseThatPlayOrANewSongCancelsIsNotCarriedOn) {
    LoadInstrument();
    const std::vector<BASS_MIDI_EVENT> song = {Ev(1, 60, 0, 0), Ev(1, 61, 0, 480000)};
    LoadEvents(song);
    uint32_t check = 0;
    EXPECT_EQ(SetVolume(&state, 0.25, 0, FadeEnd::None, &check), 0);
    for (const bool restart : {true, false}) {
        SCOPED_TRACE(restart ? "Play while playing" : "a new song, then a seek");
        Play(&state);
        EXPECT_EQ(SetVolume(&state, 0.0, 60000, FadeEnd::Pause, &check), 0);
        if (restart) {
            Play(&state);
        } else {
            LoadEvents(song);
            Play(&state);
            Seek(&state, 10.0);
        }
        const HSTREAM stream = state.outputStream.load();
        EXPECT_EQ(Further().channelIsSliding(stream, kAttribVolume), 0) << "no fade to silence";
        EXPECT_EQ(VolumeNow(&state), 250);
    }
}

TEST_F(Transport, TheVolumeHoldsForEveryStreamMadeAfterwards) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 48000)});
    uint32_t check = 0;
    EXPECT_EQ(SetVolume(&state, 0.25, 0, FadeEnd::None, &check), 0);
    EXPECT_EQ(VolumeNow(&state), 250);
    Play(&state);
    Play(&state);
    Seek(&state, 10.0);
    const std::string stream = std::to_string(state.outputStream.load());
    EXPECT_EQ(fake::CallsStartingWith("ChannelSetAttribute handle=" + stream),
              std::vector<std::string>{"ChannelSetAttribute handle=" + stream +
                                       " attrib=2 value=0.250 -> 1"});
    EXPECT_EQ(SetVolume(&state, 1.5, 0, FadeEnd::None, &check), QB_FAIL_BAD_PAYLOAD);
    EXPECT_EQ(SetVolume(&state, 0.0, 500, FadeEnd::Stop, &check), 0);
    EXPECT_EQ(check, 500u) << "the fade's end is looked at when it should be over";
    EXPECT_FALSE(FinishFade(&state)) << "still sliding";
}

TEST_F(Transport, AFadeThatEndsInAPauseOrAStopLeavesTheVolumeFromBeforeIt) {
    LoadInstrument();
    const std::vector<BASS_MIDI_EVENT> song = {Ev(1, 60, 0, 0), Ev(1, 61, 0, 480000)};
    LoadEvents(song);
    uint32_t check = 0;
    EXPECT_EQ(SetVolume(&state, 0.25, 0, FadeEnd::None, &check), 0);
    Play(&state);
    EXPECT_EQ(SetVolume(&state, 0.0, 0, FadeEnd::Pause, &check), 0);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_PAUSED);
    EXPECT_EQ(VolumeNow(&state), 250) << "resumed, it is heard as before the fade";

    EXPECT_EQ(SetVolume(&state, 0.0, 0, FadeEnd::Stop, &check), 0);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_NO_SONG);
    LoadEvents(song);
    EXPECT_EQ(VolumeNow(&state), 250) << "the next song too";

    // The fade's stop was meant for the song that was playing, not for one loaded since.
    Play(&state);
    EXPECT_EQ(SetVolume(&state, 0.0, 60000, FadeEnd::Stop, &check), 0);
    LoadEvents(song);
    EXPECT_TRUE(FinishFade(&state));
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_LOADED);
    EXPECT_EQ(VolumeNow(&state), 250);
}

TEST_F(Transport, WithoutASongTheCommandsSaySo) {
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_NO_SONG);
    EXPECT_EQ(SongLengthMs(&state), QB_FAIL_NO_SONG);
    EXPECT_EQ(Seek(&state, 0), QB_FAIL_NO_SONG);
    EXPECT_EQ(SetLoopRegion(&state, true, 0, 10, 0), QB_FAIL_NO_SONG);
    EXPECT_EQ(Pause(&state), QB_FAIL_NOT_PLAYING);
    LoadEvents({Ev(1, 60, 0, 0)});
    EXPECT_EQ(SetLoopRegion(&state, true, 10, 10, 0), QB_FAIL_BAD_PAYLOAD) << "empty region";
    Stop(&state);
    EXPECT_EQ(PlayerStatus(&state), QB_STATUS_NO_SONG);
}

} // namespace
