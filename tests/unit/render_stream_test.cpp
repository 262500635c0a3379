#include "tests/unit/player_fixture.h"

namespace {

constexpr DWORD kEnd = 0x80000000;

class RenderStream : public PlayerTest {};

TEST_F(RenderStream, EventsAtZeroAndAtOnePositionGoBeforeAnyFurtherAudio) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(2, 5, 1, 0), Ev(1, 62, 0, 800), Ev(1, 64, 2, 800),
                Ev(1, 65, 0, 4000)});
    EXPECT_EQ(Render(1600), 1600u);
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          "ProcessEvent inst=100 ch=0 ev=1 param=60 at=0",
                          "ProcessEvent inst=100 ch=1 ev=2 param=5 at=0",
                          "ProcessEvent inst=100 ch=0 ev=1 param=62 at=800",
                          "ProcessEvent inst=100 ch=2 ev=1 param=64 at=800",
                      }));
    EXPECT_EQ(fake::PullSizes(), (std::vector<uint32_t>{800, 800}));
}

TEST_F(RenderStream, AnEventInsideTheBufferSplitsItAtItsExactByte) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 1000), Ev(1, 62, 0, 100000)});
    EXPECT_EQ(Render(4096), 4096u);
    EXPECT_EQ(fake::PullSizes(), (std::vector<uint32_t>{1000, 3096}));
    EXPECT_EQ(Sent().back(), "ProcessEvent inst=100 ch=0 ev=1 param=61 at=1000");
    EXPECT_EQ(state.playback.renderedBytes.load(), 4096u);
    EXPECT_EQ(state.playback.nextEvent.load(), 2u);
}

TEST_F(RenderStream, BankSelectIsConsumedButNeverSent) {
    LoadInstrument();
    LoadEvents({Ev(10, 3, 0, 0), Ev(1, 60, 0, 0), Ev(1, 61, 0, 8000)});
    Render(800);
    EXPECT_EQ(Sent(), std::vector<std::string>{"ProcessEvent inst=100 ch=0 ev=1 param=60 at=0"});
    EXPECT_EQ(state.playback.nextEvent.load(), 2u);
}

TEST_F(RenderStream, ChannelsOfFurtherPortsAreConsumedButNeverSent) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 16, 0), Ev(1, 61, 15, 0), Ev(1, 62, 127, 0), Ev(1, 63, 0, 8000)});
    Render(800);
    EXPECT_EQ(Sent(), std::vector<std::string>{"ProcessEvent inst=100 ch=15 ev=1 param=61 at=0"});
    EXPECT_EQ(state.playback.nextEvent.load(), 3u);
}

TEST_F(RenderStream, ACallForAStreamNoLongerCurrentTouchesNothing) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 8000)});
    buffer.assign(800, 0x7F);
    EXPECT_EQ(RenderProc(state.outputStream.load() + 1, buffer.data(), 800, &state), 800u | kEnd);
    EXPECT_EQ(buffer, std::vector<char>(800, 0)) << "silence";
    EXPECT_TRUE(fake::Calls().empty()) << "no event sent, nothing pulled";
    EXPECT_EQ(state.playback.nextEvent.load(), 0u);
    EXPECT_EQ(state.playback.renderedBytes.load(), 0u);
    EXPECT_EQ(state.renderCalls.load(), 0u);
}

TEST_F(RenderStream, BeforeAnyPluginLoadEventsPassUnsentWhileTheCursorAdvances) {
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 400), Ev(1, 62, 0, 8000)});
    EXPECT_EQ(Render(800), 800u);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(state.playback.nextEvent.load(), 2u);
    EXPECT_EQ(state.playback.renderedBytes.load(), 800u);
}

TEST_F(RenderStream, ShortPullsAreFollowedByPullsForTheRemainder) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 100000)});
    fake::ScriptPulls({300, 200});
    EXPECT_EQ(Render(1000), 1000u);
    EXPECT_EQ(fake::PullSizes(), (std::vector<uint32_t>{1000, 700, 500}));
}

TEST_F(RenderStream, TheCallThatHandsOverTheLastEventEndsTheStream) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 60, 0, 1200)});
    EXPECT_EQ(Render(1000), 1000u) << "the last event is still ahead";
    EXPECT_EQ(Render(1000), 1000u | kEnd) << "the rest of the buffer is still filled";
    EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(RenderStream, AnEventAtTheBufferEndWaitsForTheNextCall) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 1000)});
    EXPECT_EQ(Render(1000), 1000u);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Render(1000), 1000u | kEnd);
    EXPECT_EQ(Sent(), std::vector<std::string>{"ProcessEvent inst=100 ch=0 ev=1 param=60 at=1000"});
}

TEST_F(RenderStream, AnEmptyTableEndsTheStreamInTheFirstCall) {
    LoadInstrument();
    LoadEvents({});
    EXPECT_EQ(Render(512), 512u | kEnd);
    EXPECT_EQ(Render(0), 0u | kEnd);
}

TEST_F(RenderStream, ZeroLengthRequestsSendNothing) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0)});
    EXPECT_EQ(Render(0), 0u);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(RenderStream, TheCursorGoesOnPastTheLibrarysThirtyTwoBitPositions) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0xFFFFFF00u), Ev(1, 61, 0, 0xFFFFFFFFu)});
    state.playback.renderedBytes.store(0xFFFFFE00u);
    EXPECT_EQ(Render(0x200), 0x200u | kEnd);
    EXPECT_EQ(fake::PullSizes(), (std::vector<uint32_t>{0x100, 0xFF, 0x1}));
    EXPECT_EQ(state.playback.renderedBytes.load(), QWORD{1} << 32);
}

TEST_F(RenderStream, WithoutUsableInstrumentSilenceKeepsTheSongsClock) {
    // Pulls fail (no instrument yet): the buffer is silent and fully delivered, so the
    // stream neither ends nor spins, and events stay on time for a later instrument.
    state.playback.pluginLoaded.store(1);
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 1600), Ev(1, 62, 0, 2400)});
    EXPECT_EQ(Render(1200), 1200u);
    for (DWORD i = 0; i < 1200; ++i) {
        ASSERT_EQ(buffer[i], 0) << "byte " << i;
    }
    EXPECT_EQ(state.playback.renderedBytes.load(), 1200u);

    const DWORD instrument = LoadInstrument();
    const std::string prefix = "ProcessEvent inst=" + std::to_string(instrument);
    fake::ClearCalls();
    EXPECT_EQ(Render(1200), 1200u);
    EXPECT_EQ(Sent(), std::vector<std::string>{prefix + " ch=0 ev=1 param=61 at=400"});
    EXPECT_EQ(Render(8), 8u | kEnd);
    EXPECT_EQ(Sent().back(), prefix + " ch=0 ev=1 param=62 at=1200");
}

TEST_F(RenderStream, AnInstrumentThatStopsGivingDataFillsTheRestWithSilence) {
    LoadInstrument();
    LoadEvents({Ev(1, 60, 0, 0), Ev(1, 61, 0, 100000)});
    fake::ScriptPulls({100, 0});
    EXPECT_EQ(Render(400), 400u);
    EXPECT_EQ(buffer[99], 0x11);
    EXPECT_EQ(buffer[100], 0);
    EXPECT_EQ(buffer[399], 0);
    EXPECT_EQ(buffer[400], 0x7F) << "nothing written past the request";
}

} // namespace
