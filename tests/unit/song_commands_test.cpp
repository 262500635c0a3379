#include "tests/unit/player_fixture.h"

namespace {

class SongCommands : public PlayerTest {};

std::vector<std::string> ExpectedResets(DWORD instrument, int at = 0) {
    std::vector<std::string> resets;
    for (int channel = 0; channel < 16; ++channel) {
        for (int type : {15, 18, 17}) {
            resets.push_back("ProcessEvent inst=" + std::to_string(instrument) +
                             " ch=" + std::to_string(channel) + " ev=" + std::to_string(type) +
                             " param=0 at=" + std::to_string(at));
        }
    }
    return resets;
}

TEST_F(SongCommands, LoadSongReadsTheFileMakesTheStreamAndResetsEveryChannel) {
    const DWORD instrument = LoadInstrument();
    fake::SetMidiFile({Ev(1, 60, 0, 0), Ev(1, 60, 0, 800)});
    LoadSong(&state, L"song.mid");
    EXPECT_EQ(fake::CallsStartingWith("MIDI_StreamCreateFile"),
              std::vector<std::string>{"MIDI_StreamCreateFile mem=0 offset=0 length=0 "
                                       "flags=0x80200100 freq=48000 -> 500"});
    EXPECT_EQ(fake::CallsStartingWith("StreamFree"),
              std::vector<std::string>{"StreamFree handle=500"})
        << "only the table is kept of the MIDI stream";
    EXPECT_EQ(fake::CallsStartingWith("StreamCreate"),
              std::vector<std::string>{"StreamCreate freq=48000 chans=2 flags=0x104 -> 1"});
    EXPECT_EQ(fake::CallsStartingWith("ProcessEvent"), ExpectedResets(instrument));
    EXPECT_EQ(state.outputStream.load(), 1u);
    ASSERT_NE(state.playback.events.load(), nullptr);
    EXPECT_EQ(state.playback.events.load()->eventCount, 2u);
    EXPECT_EQ(state.playback.events.load()->records[1].pos, 800u);
}

TEST_F(SongCommands, LoadingAgainReleasesTheEarlierStreamAndTableAndResetsAgain) {
    const DWORD instrument = LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 60, 0, 8000)});
    Render(1000);
    fake::ClearCalls();
    fake::SetMidiFile({Ev(1, 70, 0, 0)});
    LoadSong(&state, L"other.mid");
    EXPECT_EQ(fake::CallsStartingWith("StreamFree"),
              (std::vector<std::string>{"StreamFree handle=500", "StreamFree handle=1"}));
    EXPECT_EQ(fake::CallsStartingWith("ProcessEvent"), ExpectedResets(instrument, 1000));
    EXPECT_EQ(state.outputStream.load(), 2u);
    EXPECT_EQ(state.playback.events.load()->eventCount, 1u);
    EXPECT_EQ(state.playback.nextEvent.load(), 0u);
    EXPECT_EQ(state.playback.renderedBytes.load(), 0u);
}

TEST_F(SongCommands, AFileThatCannotBeReadLeavesThePlayerAsItWas) {
    LoadEvents({Ev(1, 60, 0, 0)});
    const EventTable* table = state.playback.events.load();
    fake::SetMidiOpenFails(true);
    LoadSong(&state, L"missing.mid");
    LoadSong(&state, nullptr);
    EXPECT_EQ(state.outputStream.load(), 1u);
    EXPECT_EQ(state.playback.events.load(), table);
    EXPECT_EQ(fake::Calls().size(), 1u) << "only the failed open reaches the library";
}

TEST_F(SongCommands, OnlyFilledRecordsAreCounted) {
    fake::SetMidiFile({Ev(1, 60, 0, 0), Ev(1, 61, 0, 8), Ev(1, 62, 0, 16)}, 2);
    LoadSong(&state, L"song.mid");
    EXPECT_EQ(state.playback.events.load()->eventCount, 2u);

    fake::SetMidiFile({Ev(1, 60, 0, 0)});
    fake::SetMidiCountOverride(5);
    LoadSong(&state, L"song.mid");
    EXPECT_EQ(state.playback.events.load()->eventCount, 1u);
}

TEST_F(SongCommands, ATableThatCannotBeAllocatedIsLikeAnUnreadableFile) {
    LoadEvents({Ev(1, 60, 0, 0)});
    const EventTable* table = state.playback.events.load();
    fake::SetMidiCountOverride(0xFFFFFFF0u);
    LoadSong(&state, L"huge.mid");
    EXPECT_EQ(state.playback.events.load(), table);
    EXPECT_EQ(state.outputStream.load(), 1u);
    EXPECT_EQ(fake::CallsStartingWith("StreamFree"),
              std::vector<std::string>{"StreamFree handle=500"})
        << "the MIDI stream is still released";
}

TEST_F(SongCommands, TheLibrarysErrorValueForTheEventsIsAnUnreadableFile) {
    LoadEvents({Ev(1, 60, 0, 0)});
    const EventTable* table = state.playback.events.load();
    fake::SetMidiCountOverride(0xFFFFFFFFu);
    LoadSong(&state, L"broken.mid");
    EXPECT_EQ(fake::CallsStartingWith("MIDI_StreamGetEvents").size(), 1u) << "no table is filled";
    fake::SetMidiCountOverride(3);
    fake::SetMidiFillFails(true);
    LoadSong(&state, L"broken.mid");
    EXPECT_EQ(state.playback.events.load(), table)
        << "a table the library did not fill is not used";
    EXPECT_EQ(fake::CallsStartingWith("StreamFree"),
              (std::vector<std::string>{"StreamFree handle=500", "StreamFree handle=500"}));
}

TEST_F(SongCommands, PlayWhilePlayingStartsAgainFromTheFirstEventOnAFreshStream) {
    const DWORD instrument = LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 62, 0, 800), Ev(1, 64, 0, 8000)});
    Play(&state);
    Render(1600);
    fake::ClearCalls();
    Play(&state);
    const auto calls = fake::Calls();
    ASSERT_EQ(calls.size(), 2u + 48u + 3u);
    EXPECT_EQ(calls[0], "StreamFree handle=1");
    EXPECT_EQ(calls[1], "StreamCreate freq=48000 chans=2 flags=0x104 -> 2");
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 2, calls.begin() + 50),
              ExpectedResets(instrument, 1600))
        << "notes sounding are released";
    EXPECT_EQ(calls[50], "ChannelGetTags handle=2 kind=2");
    EXPECT_EQ(calls[52], "ChannelPlay handle=2 restart=1");
    fake::ClearCalls();
    Render(800);
    EXPECT_EQ(Sent().front(), "ProcessEvent inst=100 ch=0 ev=1 param=60 at=1600")
        << "from the first event";
    fake::ClearCalls();
    Stop(&state);
    Play(&state);
    EXPECT_EQ(fake::Calls(), std::vector<std::string>{"ChannelStop handle=2"});
}

TEST_F(SongCommands, ALateSyncOfAReplacedStreamLeavesTheNewSongAlone) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 800)});
    Play(&state);
    fake::SetMidiFile({Ev(1, 70, 0, 0), Ev(1, 71, 0, 800)});
    LoadSong(&state, L"other.mid");
    Render(1000);
    fake::ClearCalls();
    LoopSyncProc(1, 1, 0, &state); // the first song's end sync, firing late
    EXPECT_TRUE(fake::Calls().empty());
    EXPECT_EQ(state.playback.nextEvent.load(), 2u);
    EXPECT_EQ(state.playback.renderedBytes.load(), 1000u);
}

TEST_F(SongCommands, ALoopSyncInProgressCountsAsARenderCall) {
    LoadEvents({Ev(1, 60, 0, 0)});
    Play(&state);
    static DWORD countDuringSync = 0;
    fake::SetPositionHook(
        [](void* player) {
            countDuringSync = static_cast<PlayerState*>(player)->renderCalls.load();
        },
        &state);
    LoopSyncProc(1, 1, 0, &state);
    EXPECT_EQ(countDuringSync, 1u) << "a command that replaces the stream waits for the sync";
    EXPECT_EQ(state.renderCalls.load(), 0u);
}

TEST_F(SongCommands, ARenderCallAfterStopTouchesNothingNotEvenTheInstrument) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 800)});
    Play(&state);
    Stop(&state);
    fake::ClearCalls();
    // The stopped stream's call that the library had already begun.
    EXPECT_EQ(Render(1000), 1000u | 0x80000000u);
    EXPECT_TRUE(fake::Calls().empty()) << "no pull that could wait for this thread";
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[999], 0);
}

TEST_F(SongCommands, WithoutAStreamPlayStopAndFreeDoNothing) {
    Play(&state);
    Stop(&state);
    FreeStream(&state);
    fake::SetStreamCreateFails(true);
    LoadEvents({Ev(1, 60, 0, 0)});
    Play(&state);
    Stop(&state);
    FreeStream(&state);
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(SongCommands, PlayRegistersAnEndSyncWithoutTagsAndStartsFromTheBeginning) {
    LoadEvents({Ev(1, 60, 0, 0)});
    Play(&state);
    EXPECT_EQ(fake::Calls(), (std::vector<std::string>{
                                 "ChannelGetTags handle=1 kind=2",
                                 "ChannelSetSync handle=1 type=0x40000002 param=0",
                                 "ChannelPlay handle=1 restart=1",
                             }));
    EXPECT_EQ(state.loopStart.load(), 0u);
    EXPECT_EQ(state.loopEnd, 0u);
}

TEST_F(SongCommands, LoopTagsGiveAPositionSyncAtTheLoopsEnd) {
    LoadEvents({Ev(1, 60, 0, 0)});
    fake::SetTags(std::string("TITLE=x\0LOOPSTART=100\0LOOPLENGTH=50\0", 35) + '\0');
    Play(&state);
    EXPECT_EQ(state.loopStart.load(), 400u);
    EXPECT_EQ(state.loopEnd, 600u);
    EXPECT_EQ(fake::CallsStartingWith("ChannelSetSync"),
              std::vector<std::string>{"ChannelSetSync handle=1 type=0x40000000 param=600"});
}

TEST_F(SongCommands, StopReleasesTheTableAndPlayThenWaitsForTheNextSong) {
    LoadEvents({Ev(1, 60, 0, 0)});
    Stop(&state);
    EXPECT_EQ(state.playback.events.load(), nullptr);
    EXPECT_EQ(state.outputStream.load(), 1u) << "the stream itself stays";
    fake::ClearCalls();
    Play(&state);
    EXPECT_TRUE(fake::Calls().empty());
    FreeStream(&state);
    EXPECT_EQ(fake::Calls(), std::vector<std::string>{"StreamFree handle=1"});
    EXPECT_EQ(state.outputStream.load(), 0u);
}

TEST_F(SongCommands, TheLoopSyncRewindsToTheLoopStartOrElseToZero) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 800)});
    Render(2000);
    state.loopStart.store(400);
    fake::SetSeekable(true); // a library whose user streams take any position
    LoopSyncProc(7, 1, 0, &state);
    EXPECT_EQ(state.playback.nextEvent.load(), 0u);
    EXPECT_EQ(state.playback.renderedBytes.load(), 0u);
    fake::SetSeekable(false); // the real library: only position 0
    LoopSyncProc(7, 1, 0, &state);
    EXPECT_EQ(fake::CallsStartingWith("ChannelSetPosition"),
              (std::vector<std::string>{
                  "ChannelSetPosition handle=1 pos=400 mode=0 -> 1",
                  "ChannelSetPosition handle=1 pos=400 mode=0 -> 0",
                  "ChannelSetPosition handle=1 pos=0 mode=0 -> 1",
              }));
    fake::ClearCalls();
    Render(800);
    EXPECT_EQ(Sent().front(), "ProcessEvent inst=100 ch=0 ev=1 param=60 at=2000")
        << "the table starts again from its first event";
}

DWORD LoopEnd(const std::string& tags, DWORD* loopStart) {
    const std::string run = tags + '\0';
    return ReadLoopTags(run.c_str(), loopStart);
}

TEST(LoopTags, KeysAreCaseBlindPrefixesAndNumbersAreTimesFour) {
    DWORD start = 99;
    EXPECT_EQ(LoopEnd(std::string("LOOPSTART=100\0LOOPLENGTH=50\0", 28), &start), 600u);
    EXPECT_EQ(start, 400u);
    EXPECT_EQ(LoopEnd(std::string("loopstart=8\0", 12), &start), 0u) << "start alone: end sync";
    EXPECT_EQ(start, 32u);
    EXPECT_EQ(LoopEnd(std::string("LoopLength=25\0", 14), &start), 100u);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(LoopEnd(std::string("LOOPSTART=1\0LOOPSTART=2\0", 24), &start), 0u);
    EXPECT_EQ(start, 8u) << "a later string overrides an earlier one";
}

TEST(LoopTags, AKeyAnywhereButTheStartIsIgnored) {
    DWORD start = 99;
    EXPECT_EQ(LoopEnd(std::string("XLOOPSTART=100\0COMMENT LOOPLENGTH=50\0", 37), &start), 0u);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(ReadLoopTags(nullptr, &start), 0u);
    EXPECT_EQ(LoopEnd("", &start), 0u);
}

TEST(LoopTags, NumbersReadLikeAtoiIn32BitArithmetic) {
    DWORD start = 0;
    EXPECT_EQ(LoopEnd(std::string("LOOPLENGTH= 12abc\0", 18), &start), 48u);
    EXPECT_EQ(LoopEnd(std::string("LOOPLENGTH=x\0", 13), &start), 0u);
    EXPECT_EQ(LoopEnd(std::string("LOOPSTART=1073741824\0LOOPLENGTH=1\0", 34), &start), 4u)
        << "times four wraps in 32 bits";
    EXPECT_EQ(start, 0u);
}

} // namespace
