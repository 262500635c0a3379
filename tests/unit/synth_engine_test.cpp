#include "doubles/instruments/synth_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr uint32_t kRate = 48000;

float Peak(SynthEngine* synth, uint32_t frames) {
    std::vector<float> out(size_t{frames} * 2);
    synth->Render(out.data(), frames);
    float peak = 0;
    for (float sample : out) {
        peak = std::fmax(peak, std::fabs(sample));
    }
    return peak;
}

uint32_t Note(uint32_t key, uint32_t velocity) {
    return key | velocity << 8;
}

TEST(SynthEngine, NoteSoundsAtItsPitchFromItsFirstFrame) {
    SynthEngine synth(kRate);
    synth.Event(0, 1, Note(69, 127));
    std::vector<float> out(size_t{kRate} * 2);
    synth.Render(out.data(), kRate);
    EXPECT_EQ(out[0], 0.0f); // the tone starts at phase 0
    EXPECT_GT(std::fabs(out[2]), 0.0f);
    EXPECT_EQ(out[2], out[3]); // the same in both channels
    int rising = 0;
    for (size_t i = 2; i < out.size(); i += 2) {
        rising += out[i - 2] < 0 && out[i] >= 0 ? 1 : 0;
    }
    EXPECT_NEAR(rising, 440, 1);
    EXPECT_TRUE(synth.KeySounds(69));
}

TEST(SynthEngine, ReleaseSustainAndResets) {
    SynthEngine synth(kRate);
    synth.Event(0, 1, Note(60, 100));
    synth.Event(0, 1, Note(60, 0));
    EXPECT_GT(Peak(&synth, kRate / 10), 0.0f); // released within 30 ms ...
    EXPECT_EQ(Peak(&synth, 100), 0.0f);        // ... and silent after
    EXPECT_FALSE(synth.KeySounds(60));

    synth.Event(1, 15, 127);
    synth.Event(1, 1, Note(62, 100));
    synth.Event(1, 1, Note(62, 0));
    EXPECT_GT(Peak(&synth, kRate / 10), 0.0f);
    EXPECT_GT(Peak(&synth, 100), 0.0f) << "held by the pedal";
    synth.Event(1, 15, 0);
    Peak(&synth, kRate / 10);
    EXPECT_EQ(Peak(&synth, 100), 0.0f) << "released with the pedal";

    synth.Event(2, 15, 127);
    synth.Event(2, 1, Note(64, 100));
    synth.Event(2, 17, 0); // reset lifts the pedal but leaves held keys
    synth.Event(2, 1, Note(64, 0));
    Peak(&synth, kRate / 10);
    EXPECT_EQ(Peak(&synth, 100), 0.0f);

    synth.Event(3, 15, 127);
    synth.Event(3, 1, Note(65, 100));
    synth.Event(4, 1, Note(67, 100));
    synth.Event(3, 18, 0); // all notes off on channel 3 only
    Peak(&synth, kRate / 10);
    EXPECT_FALSE(synth.KeySounds(65));
    EXPECT_TRUE(synth.KeySounds(67));
    synth.Event(4, 16, 0); // all sound off: at once
    EXPECT_EQ(Peak(&synth, 100), 0.0f);
}

TEST(SynthEngine, SameEventsGiveTheSameAudio) {
    SynthEngine first(kRate);
    SynthEngine second(kRate);
    std::vector<float> a(2000);
    std::vector<float> b(2000);
    for (SynthEngine* synth : {&first, &second}) {
        synth->Event(0, 1, Note(50, 90));
        synth->Event(5, 1, Note(77, 30));
    }
    first.Render(a.data(), 1000);
    second.Render(b.data(), 1000);
    EXPECT_EQ(a, b);
}

} // namespace
