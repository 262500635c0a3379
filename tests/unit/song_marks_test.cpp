#include "player/song_marks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr QWORD kSecond = QWORD{48000} * 8;

// 480 ticks a quarter; 3/4 from the start, 4/4 at tick 2000 (between bar lines, in the
// second bar), twice the tempo from tick 960 (one second in).
struct Song {
    std::vector<SongMark> list = {
        {kMarkTimeSignature, 0, 0, 3 << 8 | 4, "3/4/24/8"},
        {kMarkTempo, 960, kSecond, 250000, "250000"},
        {kMarkTimeSignature, 2000, kSecond + kSecond * 1040 / 1920, 4 << 8 | 4, "4/4/24/8"}};
    SongMarks marks = {3, 480, list.data(), 0, nullptr};
};

TEST(SongMarks, TicksAndPositionsFollowTheTempoMap) {
    const Song song;
    EXPECT_EQ(TickAtBytes(&song.marks, kSecond / 2), 480u) << "120 a minute: a beat a half second";
    EXPECT_EQ(TickAtBytes(&song.marks, kSecond * 3 / 2), 960u + 960u) << "then twice as fast";
    EXPECT_EQ(BytesAtTick(&song.marks, 1920), kSecond * 3 / 2);
    for (const uint64_t tick : {0u, 1u, 479u, 961u, 5000u}) {
        EXPECT_EQ(TickAtBytes(&song.marks, BytesAtTick(&song.marks, tick)), tick) << tick;
    }
}

TEST(SongMarks, BarsAndBeatsFollowTheTimeSignaturesOneBetweenBarLinesStartingABar) {
    const Song song;
    const auto at = [&](uint64_t tick) {
        const BarBeat b = BarBeatAtTick(&song.marks, tick);
        return std::vector<uint32_t>{b.bar, b.beat, b.tick};
    };
    EXPECT_EQ(at(0), (std::vector<uint32_t>{1, 1, 0}));
    EXPECT_EQ(at(1440 + 490), (std::vector<uint32_t>{2, 2, 10})) << "bars of 3 beats";
    EXPECT_EQ(at(2000), (std::vector<uint32_t>{3, 1, 0})) << "the 4/4 starts bar 3";
    EXPECT_EQ(at(2000 + 1920 + 3 * 480), (std::vector<uint32_t>{4, 4, 0}));
    for (const uint64_t tick : {0u, 490u, 1930u, 2000u, 5360u}) {
        const BarBeat b = BarBeatAtTick(&song.marks, tick);
        EXPECT_EQ(TickAtBarBeat(&song.marks, b), tick) << tick;
    }
}

} // namespace
