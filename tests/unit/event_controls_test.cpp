#include <algorithm>
#include <cstdio>

#include "player/event_commands.h"
#include "player/transport.h"
#include "protocol/quillbrook_protocol.h"
#include "tests/unit/player_fixture.h"

namespace {

constexpr DWORD kCall = 3840; // bytes of one render call: 480 frames

struct SentEvent {
    unsigned ch, ev, param, frame;
    bool operator==(const SentEvent& other) const {
        return ch == other.ch && ev == other.ev && param == other.param && frame == other.frame;
    }
};

std::ostream& operator<<(std::ostream& out, const SentEvent& e) {
    return out << "{ch " << e.ch << " ev " << e.ev << " param " << e.param << " frame " << e.frame
               << "}";
}

class EventControlsTest : public PlayerTest {
  protected:
    // What the instrument was sent, with the output frame it had reached then.
    std::vector<SentEvent> Events() {
        std::vector<SentEvent> events;
        for (const std::string& line : Sent()) {
            unsigned inst = 0, ch = 0, ev = 0, param = 0, at = 0;
            std::sscanf(line.c_str(), "ProcessEvent inst=%u ch=%u ev=%u param=%u at=%u", &inst, &ch,
                        &ev, &param, &at);
            events.push_back({ch, ev, param, at / 8});
        }
        return events;
    }

    std::vector<SentEvent> Notes() {
        std::vector<SentEvent> notes;
        for (const SentEvent& event : Events()) {
            if (event.ev == kEventNote) {
                notes.push_back(event);
            }
        }
        return notes;
    }

    void RenderCalls(int calls) {
        for (int call = 0; call < calls; ++call) {
            Render(kCall);
        }
    }
};

// The first output frame at which a song at `thousandths` speed from output frame `from`
// (song frame `songFrom`) has reached song frame `frame`.
unsigned OutputFrame(unsigned frame, unsigned thousandths, unsigned from = 0,
                     unsigned songFrom = 0) {
    return from + ((frame - songFrom) * 1000 + thousandths - 1) / thousandths;
}

TEST_F(EventControlsTest, AtEachSpeedEveryEventLandsOnItsFrameAndAChangeMovesOnlyWhatFollows) {
    const unsigned frames[] = {0, 1, 7, 300, 1001, 2401};
    std::vector<BASS_MIDI_EVENT> song;
    for (unsigned i = 0; i < 6; ++i) {
        song.push_back(Ev(1, 60 + i, 0, frames[i] * 8));
    }
    for (const unsigned speed : {2000u, 500u, 750u}) {
        SCOPED_TRACE(speed);
        LoadInstrument();
        LoadEvents(song);
        ASSERT_EQ(SetSpeed(&state, speed / 1000.0, 0, 0), static_cast<int32_t>(speed));
        RenderCalls(12);
        std::vector<SentEvent> expected;
        for (unsigned i = 0; i < 6; ++i) {
            expected.push_back({0, 1, 60 + i, OutputFrame(frames[i], speed)});
        }
        EXPECT_EQ(Notes(), expected);
    }
    // At speed 1 for two calls (960 frames), then at half speed from there on.
    LoadInstrument();
    LoadEvents(song);
    ClearEventControls(&state, kControlAll);
    RenderCalls(2);
    SetSpeed(&state, 0.5, 0, 0);
    RenderCalls(10);
    const std::vector<SentEvent> expected = {{0, 1, 60, 0},
                                             {0, 1, 61, 1},
                                             {0, 1, 62, 7},
                                             {0, 1, 63, 300},
                                             {0, 1, 64, OutputFrame(1001, 500, 960, 960)},
                                             {0, 1, 65, OutputFrame(2401, 500, 960, 960)}};
    EXPECT_EQ(Notes(), expected);
    EXPECT_EQ(HeardNow(&state).bytes, state.playback.renderedBytes.load()) << "song time";
}

TEST_F(EventControlsTest, ALoopRegionAtOneAndAHalfTimesTurnsAtTheSameMusicEveryPass) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 100 * 8), Ev(1, 61, 0, 600 * 8), Ev(1, 62, 0, 1100 * 8),
                Ev(1, 63, 0, 4000 * 8)});
    SetSpeed(&state, 1.5, 0, 0);
    ASSERT_EQ(SetLoopRegion(&state, true, 100 / 48.0, 1100 / 48.0, 3), 0);
    RenderCalls(6);
    // A pass of 1000 song frames takes 667 output frames; each turn is where the song
    // reaches the region's end, and each pass starts on START's frame.
    const unsigned turn1 = OutputFrame(1100, 1500);
    const unsigned turn2 = turn1 + OutputFrame(1000, 1500);
    const std::vector<SentEvent> expected = {{0, 1, 60, OutputFrame(100, 1500)},
                                             {0, 1, 61, OutputFrame(600, 1500)},
                                             {0, 1, 60, turn1},
                                             {0, 1, 61, turn1 + OutputFrame(500, 1500)},
                                             {0, 1, 60, turn2},
                                             {0, 1, 61, turn2 + OutputFrame(500, 1500)}};
    EXPECT_EQ(Notes(), expected);
    EXPECT_TRUE(state.playback.regionDone.load());
}

TEST_F(EventControlsTest, EveryNoteEndsWithTheKeyItWasSentWithThroughAChangeOfKey) {
    LoadInstrument();
    LoadEvents({Ev(1, 60 | 100 << 8, 0, 0), Ev(1, 36 | 100 << 8, 9, 0), Ev(1, 126 | 100 << 8, 1, 0),
                Ev(1, 60, 0, 2000 * 8), Ev(1, 36, 9, 2000 * 8), Ev(1, 126, 1, 2000 * 8),
                Ev(1, 60 | 90 << 8, 0, 2400 * 8), Ev(1, 60, 0, 2800 * 8)});
    SetTranspose(&state, 2, kTunedChannels);
    RenderCalls(1);
    SetTranspose(&state, -3, kTunedChannels); // while three notes sound
    RenderCalls(6);
    const std::vector<SentEvent> expected = {
        {0, 1, 62 | 100 << 8, 0},   {9, 1, 36 | 100 << 8, 0}, // the drums keep their keys
        {0, 1, 62, 2000},           {9, 1, 36, 2000},         // 128 is off the keyboard: gone
        {0, 1, 57 | 90 << 8, 2400}, {0, 1, 57, 2800}};
    EXPECT_EQ(Notes(), expected);
    EXPECT_EQ(state.playback.track.remapped, 0u);
}

TEST_F(EventControlsTest, AMutedChannelIsReleasedAtOnceAndKeepsEverythingButItsNotes) {
    LoadInstrument();
    LoadEvents({Ev(2, 3, 1, 0), Ev(1, 64 | 100 << 8, 1, 0), Ev(15, 127, 1, 0),
                Ev(2, 5, 1, 1000 * 8), Ev(1, 65 | 100 << 8, 1, 1000 * 8), Ev(1, 65, 1, 1200 * 8),
                Ev(1, 66 | 100 << 8, 1, 2000 * 8), Ev(1, 67 | 100 << 8, 2, 2000 * 8)});
    RenderCalls(1);
    ASSERT_EQ(SetChannelMutes(&state, 1u << 1, 0), 0);
    fake::ClearCalls();
    RenderCalls(3); // up to frame 1920
    std::vector<SentEvent> events = Events();
    ASSERT_GE(events.size(), 129u);
    EXPECT_EQ(events[0], (SentEvent{1, kEventSustain, 0, 480})) << "the pedal first";
    for (unsigned key = 0; key < 128; ++key) {
        EXPECT_EQ(events[1 + key], (SentEvent{1, kEventNote, key, 480}));
    }
    EXPECT_EQ(std::vector<SentEvent>(events.begin() + 129, events.end()),
              (std::vector<SentEvent>{{1, kEventProgram, 5, 1000}}))
        << "no note, the program";
    // Soloing channel 3 mutes channel 2 still; then with neither, channel 2 plays its
    // notes with the program the song gave it meanwhile.
    SetChannelMutes(&state, 0, 1u << 2);
    ClearEventControls(&state, kControlChannels);
    fake::ClearCalls();
    RenderCalls(1);
    EXPECT_EQ(Notes(),
              (std::vector<SentEvent>{{1, 1, 66 | 100 << 8, 2000}, {2, 1, 67 | 100 << 8, 2000}}));
}

TEST_F(EventControlsTest, AChannelVolumeScalesTheSongsOwnAndIsHeardAtTheNextCallAndAfterASeek) {
    LoadInstrument();
    LoadEvents({Ev(kEventVolume, 80, 0, 0), Ev(kEventVolume, 100, 0, 1000 * 8),
                Ev(1, 60 | 100 << 8, 1, 4000 * 8)});
    Play(&state);
    RenderCalls(1);
    SetChannelVolume(&state, 1, 0.5);
    SetChannelVolume(&state, 2, 0.25); // a channel whose volume the song never sets
    fake::ClearCalls();
    RenderCalls(2);
    const auto volumes = [this] {
        std::vector<SentEvent> found;
        for (const SentEvent& event : Events()) {
            if (event.ev == kEventVolume) {
                found.push_back(event);
            }
        }
        return found;
    };
    EXPECT_EQ(volumes(), (std::vector<SentEvent>{{0, kEventVolume, 40, 480},
                                                 {1, kEventVolume, 25, 480},
                                                 {0, kEventVolume, 50, 1000}}));
    ASSERT_GE(Seek(&state, 2000 / 48.0), 0);
    fake::ClearCalls();
    Render(kCall);
    // After the seek's replay, which resets every channel, every volume set is scaled.
    std::vector<unsigned> replayed(kMidiChannels, 0);
    for (const SentEvent& event : volumes()) {
        replayed[event.ch] = event.param;
    }
    EXPECT_EQ(replayed[0], 50u);
    EXPECT_EQ(replayed[1], 25u);
}

TEST_F(EventControlsTest, OutOfRangeSettingsAreRefusedAndChangeNothing) {
    EXPECT_EQ(SetSpeed(&state, 0.2, 0, 0), QB_FAIL_BAD_PAYLOAD);
    EXPECT_EQ(SetSpeed(&state, 1, 0.1, 5), QB_FAIL_BAD_PAYLOAD);
    EXPECT_EQ(SetTranspose(&state, 25, kTunedChannels), QB_FAIL_BAD_PAYLOAD);
    EXPECT_EQ(SetTranspose(&state, 1.5, kTunedChannels), QB_FAIL_BAD_PAYLOAD);
    EXPECT_EQ(SetChannelMutes(&state, 0x10000, 0), QB_FAIL_BAD_PAYLOAD);
    EXPECT_EQ(SetChannelVolume(&state, 17, 0.5), QB_FAIL_BAD_PAYLOAD);
    EXPECT_FALSE(state.playback.controls.active.load());
}

} // namespace
