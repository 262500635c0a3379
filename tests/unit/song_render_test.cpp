#include <cstdio>
#include <memory>
#include <numeric>

#include "host/render_options.h"
#include "player/event_commands.h"
#include "player/song_render.h"
#include "tests/unit/player_fixture.h"

namespace {

// Keeps what the render gives, and may refuse or cancel after some frames.
struct Collected {
    SongRender* render = nullptr;
    uint64_t frames = 0;
    uint64_t refuseAfter = UINT64_MAX;
    uint64_t cancelAfter = UINT64_MAX;
    std::vector<uint32_t> thousandths;
};

bool Keep(void* context, const float* /*frames*/, uint32_t count) {
    auto* collected = static_cast<Collected*>(context);
    if (collected->frames >= collected->refuseAfter) {
        return false;
    }
    collected->frames += count;
    if (collected->frames >= collected->cancelAfter) {
        collected->render->cancel.store(true);
    }
    return true;
}

void Note(void* context, uint64_t /*rendered*/) {
    auto* collected = static_cast<Collected*>(context);
    collected->thousandths.push_back(collected->render->thousandths.load());
}

class SongRenderTest : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        render = std::make_unique<SongRender>();
        collected.render = render.get();
        instrument = LoadInstrument();
        // Notes at frames 800 and 1600 (the song's last event).
        LoadEvents({Ev(1, 60 | 100 << 8, 0, 800 * 8), Ev(1, 60, 0, 1600 * 8)});
    }
    void TearDown() override {
        ReleaseSongRender(render.get());
        PlayerTest::TearDown();
    }

    RenderOutcome Run(const RenderSettings& settings, uint32_t delayFrames) {
        EXPECT_TRUE(PrepareSongRender(render.get(), state.playback.events.load(), instrument,
                                      settings, delayFrames));
        fake::ClearCalls();
        return RunSongRender(render.get(), RenderSink{Keep, Note, &collected});
    }

    // The bytes the instrument had given when each note reached it.
    std::vector<unsigned> NotesAt() {
        std::vector<unsigned> at;
        for (const std::string& line : Sent()) {
            unsigned inst = 0, ch = 0, ev = 0, param = 0, bytes = 0;
            std::sscanf(line.c_str(), "ProcessEvent inst=%u ch=%u ev=%u param=%u at=%u", &inst, &ch,
                        &ev, &param, &bytes);
            if (ev == 1) {
                at.push_back(bytes);
            }
        }
        return at;
    }

    uint64_t FramesPulled() {
        const std::vector<uint32_t> sizes = fake::PullSizes();
        return std::accumulate(sizes.begin(), sizes.end(), uint64_t{0}) / 8;
    }

    std::unique_ptr<SongRender> render;
    Collected collected;
    DWORD instrument = 0;
};

constexpr uint64_t kPassFrames = 1601; // up to and including the last event's frame

TEST_F(SongRenderTest, EachPassTurnsSeamlesslyAtTheSongsEndAndTheTailFollows) {
    RenderSettings settings;
    settings.passes = 3;
    settings.tailMs = 10;
    ASSERT_EQ(Run(settings, 0), RenderOutcome::Done);

    EXPECT_EQ(collected.frames, 3 * kPassFrames + 480);
    EXPECT_EQ(render->expectedFrames, collected.frames);
    // Every note at its own sample in every pass, and nothing released at the turns; the
    // instrument was pulled until it had settled before the first frame.
    const unsigned settled = kSettledFrames;
    const std::vector<unsigned> expected = {(settled + 800) * 8,
                                            (settled + 1600) * 8,
                                            (settled + kPassFrames + 800) * 8,
                                            (settled + kPassFrames + 1600) * 8,
                                            (settled + 2 * kPassFrames + 800) * 8,
                                            (settled + 2 * kPassFrames + 1600) * 8};
    EXPECT_EQ(NotesAt(), expected);
    EXPECT_TRUE(fake::CallsStartingWith("ProcessEvent inst=100 ch=0 ev=18").empty());
    EXPECT_EQ(render->thousandths.load(), 1000u);
    EXPECT_TRUE(std::is_sorted(collected.thousandths.begin(), collected.thousandths.end()));
}

TEST_F(SongRenderTest, ARenderFollowsTheSpeedAndKeyOfPlaybackAndItsLadderStaysItsOwn) {
    SetSpeed(&state, 0.5, 0.5, 1);
    SetTranspose(&state, 2, kTunedChannels);
    RenderSettings settings;
    settings.passes = 2;
    settings.tailMs = 0;
    settings.controls = &state.playback.controls;
    ASSERT_EQ(Run(settings, 0), RenderOutcome::Done);
    // The first pass at half speed, the second a step faster, at the song's speed.
    EXPECT_EQ(collected.frames, 2 * kPassFrames + kPassFrames);
    EXPECT_EQ(render->expectedFrames, collected.frames);
    const unsigned settled = kSettledFrames;
    EXPECT_EQ(NotesAt(), (std::vector<unsigned>{(settled + 1600) * 8, (settled + 3200) * 8,
                                                (settled + 2 * kPassFrames + 800) * 8,
                                                (settled + 2 * kPassFrames + 1600) * 8}));
    EXPECT_EQ(fake::CallsStartingWith("ProcessEvent inst=100 ch=0 ev=1 param=25662 ").size(), 2u)
        << "key 60 sent as 62, each pass";
    EXPECT_EQ(state.playback.controls.speed.load(), 500u) << "playback's own speed stays";
}

TEST_F(SongRenderTest, TheInitialDelayIsPulledAndTrimmedFromTheStart) {
    RenderSettings settings;
    settings.tailMs = 0;
    ASSERT_EQ(Run(settings, 1000), RenderOutcome::Done);
    EXPECT_EQ(collected.frames, kPassFrames) << "the file is as long as without a delay";
    EXPECT_EQ(FramesPulled(), 1000 + kSettledFrames + kPassFrames + 1000)
        << "the delay line settled first, and the delayed end still pulled";
}

TEST_F(SongRenderTest, ATailUntilSilenceEndsOnceATenthOfASecondWasSilent) {
    RenderSettings settings; // the fake instrument's samples are all but zero
    settings.tailUntilSilent = true;
    ASSERT_EQ(Run(settings, 0), RenderOutcome::Done);
    const uint64_t tail = collected.frames - kPassFrames;
    EXPECT_GE(tail, kSilentRunFrames);
    EXPECT_LT(tail, kSilentRunFrames + kRenderBlockFrames);
}

TEST_F(SongRenderTest, TheLongestRenderIsWhatARenderWithATailOfKnownLengthWrites) {
    RenderSettings settings;
    settings.passes = 3;
    settings.tailMs = 100;
    const uint64_t longest = LongestRenderFrames(state.playback.events.load(), settings);
    EXPECT_EQ(longest, 3 * kPassFrames + 4800);
    ASSERT_EQ(Run(settings, 480), RenderOutcome::Done);
    EXPECT_EQ(collected.frames, longest) << "the initial delay is trimmed";
    settings.tailUntilSilent = true;
    EXPECT_EQ(LongestRenderFrames(state.playback.events.load(), settings),
              3 * kPassFrames + kLongestSilenceTailFrames);
}

TEST_F(SongRenderTest, ACancelOrAFailedWriteEndsTheRenderEarly) {
    RenderSettings settings;
    settings.tailMs = 60000;
    collected.cancelAfter = 10000;
    EXPECT_EQ(Run(settings, 0), RenderOutcome::Cancelled);
    EXPECT_LT(collected.frames, 10000u + kRenderBlockFrames);

    ReleaseSongRender(render.get());
    collected = Collected();
    collected.render = render.get();
    collected.refuseAfter = 5000;
    EXPECT_EQ(Run(settings, 0), RenderOutcome::WriteFailed);
}

TEST(RenderPayload, APathAloneTakesTheDefaultsAndOptionsChangeThem) {
    RenderRequest request;
    ASSERT_TRUE(ParseRenderPayload(L"C:\\out put\\song.wav", &request));
    EXPECT_STREQ(request.path, L"C:\\out put\\song.wav");
    EXPECT_EQ(request.settings.passes, 1u);
    EXPECT_EQ(request.settings.tailMs, 2000u);
    EXPECT_FALSE(request.settings.realTime);
    EXPECT_EQ(request.format, WavFormat::Float32);

    ASSERT_TRUE(ParseRenderPayload(L"a.wav| passes=3  tail=silence pcm16 realtime ", &request));
    EXPECT_STREQ(request.path, L"a.wav");
    EXPECT_EQ(request.settings.passes, 3u);
    EXPECT_TRUE(request.settings.tailUntilSilent);
    EXPECT_TRUE(request.settings.realTime);
    EXPECT_EQ(request.format, WavFormat::Pcm16);

    ASSERT_TRUE(ParseRenderPayload(L"a.wav|tail=0 float fast", &request));
    EXPECT_EQ(request.settings.tailMs, 0u);
    EXPECT_EQ(request.format, WavFormat::Float32);
}

TEST(RenderPayload, AnEmptyPathOrAnOptionOutOfRangeIsRefused) {
    RenderRequest request;
    for (const wchar_t* payload :
         {L"", L"|pcm16", L"a.wav|passes=0", L"a.wav|passes=1001", L"a.wav|tail=-5",
          L"a.wav|tail=600001", L"a.wav|tail=", L"a.wav|loud", L"a.wav|passes=2x"}) {
        EXPECT_FALSE(ParseRenderPayload(payload, &request)) << payload;
    }
    std::wstring tooLong(QB_PAYLOAD_CHARS, L'x');
    EXPECT_FALSE(ParseRenderPayload(tooLong.c_str(), &request));
}

} // namespace
