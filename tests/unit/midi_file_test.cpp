#include "doubles/standin/midi_file.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

void Append(Bytes* out, std::initializer_list<int> bytes) {
    for (int byte : bytes) {
        out->push_back(static_cast<uint8_t>(byte));
    }
}

void Append32(Bytes* out, uint32_t value) {
    Append(out,
           {int(value >> 24), int(value >> 16 & 0xFF), int(value >> 8 & 0xFF), int(value & 0xFF)});
}

Bytes Header(int format, int tracks, int division) {
    Bytes out;
    Append(&out,
           {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, format, 0, tracks, division >> 8, division & 0xFF});
    return out;
}

// A track chunk holding `body` as given, then the end-of-track event.
void AppendTrack(Bytes* file, const Bytes& body) {
    Append(file, {'M', 'T', 'r', 'k'});
    Append32(file, static_cast<uint32_t>(body.size() + 4));
    file->insert(file->end(), body.begin(), body.end());
    Append(file, {0, 0xFF, 0x2F, 0});
}

std::vector<MidiFileEvent> Read(const Bytes& file, bool expectOk = true) {
    std::vector<MidiFileEvent> events;
    EXPECT_EQ(ReadMidiFile(file.data(), file.size(), 48000, &events), expectOk);
    return events;
}

constexpr uint32_t kBytesPerSecond = 48000 * 8;

TEST(MidiFile, TempoMapGivesExactPositionsAcrossChanges) {
    // 480 ticks a quarter. 120 bpm for one beat, then 140 bpm (428571 us), then a beat at
    // a tempo whose beat is not a whole number of frames.
    Bytes conductor;
    Append(&conductor, {0x83, 0x60, 0xFF, 0x51, 3, 0x06, 0x8A, 0x1B}); // tick 480: 428571
    Append(&conductor, {0x83, 0x60, 0xFF, 0x51, 3, 0x0F, 0x42, 0x41}); // tick 960: 1000001
    Bytes notes;
    Append(&notes, {0x00, 0x90, 60, 100});       // tick 0
    Append(&notes, {0x83, 0x60, 0x90, 62, 100}); // tick 480
    Append(&notes, {0x83, 0x60, 0x90, 64, 100}); // tick 960
    Append(&notes, {0x83, 0x60, 0x90, 65, 100}); // tick 1440
    // Ten thousand beats later: no drift from adding rounded steps.
    Append(&notes, {0x82, 0xA4, 0xFC, 0x00, 0x80, 65, 0}); // + 4,800,000 ticks
    Bytes file = Header(1, 2, 480);
    AppendTrack(&file, conductor);
    AppendTrack(&file, notes);

    const auto events = Read(file);
    std::vector<uint32_t> notePositions;
    for (const auto& event : events) {
        if (event.event == kEventNote) {
            notePositions.push_back(event.pos);
        }
    }
    ASSERT_EQ(notePositions.size(), 5u);
    EXPECT_EQ(notePositions[0], 0u);
    EXPECT_EQ(notePositions[1], kBytesPerSecond / 2);
    // 0.5 s + 0.428571 s = 0.928571 s = 44571.408 frames, rounded once.
    EXPECT_EQ(notePositions[2], 44571u * 8);
    // + 1.000001 s: 92571.456 frames.
    EXPECT_EQ(notePositions[3], 92571u * 8);
    // + 10,001 beats of 1.000001 s: 1.928572 + 10000.010000 s = 10001.938572 s.
    EXPECT_EQ(notePositions[4], static_cast<uint32_t>(480093051ull * 8));
}

TEST(MidiFile, RunningStatusSysexAndMetaEventsAreReadCorrectly) {
    Bytes body;
    Append(&body, {0x00, 0xB0, 0x00, 5});             // bank select
    Append(&body, {0x00, 0x40, 127});                 // running status: sustain
    Append(&body, {0x00, 0xF0, 3, 0x7E, 0x09, 0xF7}); // sysex, skipped
    Append(&body, {0x00, 0xFF, 0x01, 2, 'h', 'i'});   // text, skipped
    Append(&body, {0x00, 0xC3, 7});                   // program change: one data byte
    Append(&body, {0x00, 9});                         // running status on it
    Append(&body, {0x00, 0xE1, 0x00, 0x40});          // pitch bend centre
    Append(&body, {0x00, 0xA0, 60, 10});              // polyphonic pressure: not listed
    Append(&body, {0x00, 0x91, 60, 0});               // note-on velocity 0: release
    Bytes file = Header(0, 1, 96);
    AppendTrack(&file, body);

    const auto events = Read(file);
    const std::vector<std::vector<uint32_t>> expected = {
        {kEventBankSelect, 5, 0}, {kEventSustain, 127, 0},    {kEventProgram, 7, 3},
        {kEventProgram, 9, 3},    {kEventPitchBend, 8192, 1}, {kEventNote, 60, 1}};
    ASSERT_EQ(events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i].event, expected[i][0]) << i;
        EXPECT_EQ(events[i].param, expected[i][1]) << i;
        EXPECT_EQ(events[i].chan, expected[i][2]) << i;
    }
}

TEST(MidiFile, MarksComeWithTheirTrackTickPositionAndTextAndTheEventsWithoutThem) {
    Bytes conductor;
    Append(&conductor, {0x00, 0xFF, 0x58, 4, 6, 3, 24, 8});            // 6/8
    Append(&conductor, {0x00, 0xFF, 0x59, 2, 0xFE, 0});                // two flats, major
    Append(&conductor, {0x83, 0x60, 0xFF, 0x51, 3, 0x03, 0xD0, 0x90}); // tick 480: 250000
    Append(&conductor, {0x00, 0xFF, 0x06, 5, 'v', 'e', 'r', 's', 'e'});
    Bytes words;
    Append(&words, {0x83, 0x60, 0xFF, 0x05, 2, 'l', 'a'}); // tick 480
    Append(&words, {0x83, 0x60, 0xFF, 0x01, 1, 'x'});      // tick 960
    Append(&words, {0x00, 0x90, 60, 100});
    Bytes file = Header(1, 2, 480);
    AppendTrack(&file, conductor);
    AppendTrack(&file, words);
    std::vector<MidiFileEvent> events;
    MidiFileExtras extras;
    ASSERT_TRUE(ReadMidiFile(file.data(), file.size(), 48000, &events, &extras));
    EXPECT_EQ(extras.ppqn, 480u);
    ASSERT_EQ(events.size(), 2u) << "the tempo and the note, no mark";
    const std::vector<std::vector<uint32_t>> expected = {{4, 0, 0, 0},
                                                         {5, 0, 0, 0},
                                                         {0, 0, 480, kBytesPerSecond / 2},
                                                         {2, 1, 480, kBytesPerSecond / 2},
                                                         {3, 1, 960, kBytesPerSecond * 3 / 4}};
    const std::vector<std::string> texts = {"6/8/24/8", "-2 0", "verse", "la", "x"};
    ASSERT_EQ(extras.marks.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const MidiFileMark& mark = extras.marks[i];
        EXPECT_EQ((std::vector<uint32_t>{mark.kind, mark.track, mark.tick, mark.pos}), expected[i])
            << i;
        EXPECT_EQ(mark.text, texts[i]) << i;
    }
}

TEST(MidiFile, TracksMergeByPositionKeepingTrackOrderForTies) {
    Bytes first;
    Append(&first, {0x00, 0x90, 1, 1});
    Append(&first, {0x60, 0x90, 3, 1}); // tick 96
    Bytes second;
    Append(&second, {0x00, 0x90, 2, 1});
    Append(&second, {0x30, 0x90, 4, 1}); // tick 48
    Append(&second, {0x30, 0x90, 5, 1}); // tick 96, after the first track's
    Bytes file = Header(1, 2, 96);
    AppendTrack(&file, first);
    AppendTrack(&file, second);

    const auto events = Read(file);
    std::vector<uint32_t> keys;
    keys.reserve(events.size());
    for (const auto& event : events) {
        keys.push_back(event.param & 0x7F);
    }
    EXPECT_EQ(keys, (std::vector<uint32_t>{1, 2, 4, 3, 5}));
    EXPECT_EQ(events[2].tick, 48u);
    EXPECT_EQ(events[2].track, 1u);
}

TEST(MidiFile, APortMetaEventMovesTheTracksChannelsToItsPort) {
    Bytes track;
    Append(&track, {0x00, 0x91, 60, 1});            // port 0, channel 1
    Append(&track, {0x00, 0xFF, 0x21, 0x01, 0x01}); // port 1
    Append(&track, {0x00, 0x91, 61, 1});            // channel 17
    Append(&track, {0x00, 0xFF, 0x21, 0x01, 0x0A}); // port 10 wraps to 2
    Append(&track, {0x00, 0xCF, 5});                // channel 47
    Bytes other;
    Append(&other, {0x00, 0x92, 62, 1}); // another track keeps port 0
    Bytes file = Header(1, 2, 96);
    AppendTrack(&file, track);
    AppendTrack(&file, other);
    std::vector<uint32_t> channels;
    for (const auto& event : Read(file)) {
        channels.push_back(event.chan);
    }
    EXPECT_EQ(channels, (std::vector<uint32_t>{1, 17, 47, 2}));
}

TEST(MidiFile, TimeCodeDivisionCountsFramesPerSecond) {
    Bytes body;
    Append(&body, {0x81, 0x48, 0x90, 60, 1}); // 200 ticks: 25 fps x 40 = 1000 ticks a second
    Bytes file = Header(0, 1, (0xE7 << 8) | 40);
    AppendTrack(&file, body);
    const auto events = Read(file);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].pos, kBytesPerSecond / 5);
}

TEST(MidiFile, BrokenFilesAreRefused) {
    Bytes good = Header(0, 1, 96);
    AppendTrack(&good, {0x00, 0x90, 60, 100});
    Read(good);

    for (size_t cut = 0; cut < good.size() - 4; ++cut) {
        // Shorter than its chunks say, including a cut header; only the end-of-track
        // event may go missing, since a track without it is still read.
        Read(Bytes(good.begin(), good.begin() + static_cast<long>(cut)), false);
    }
    Bytes format2 = good;
    format2[9] = 2;
    Read(format2, false);
    Bytes noDivision = good;
    noDivision[12] = noDivision[13] = 0;
    Read(noDivision, false);

    const std::vector<Bytes> badBodies = {
        {0x00, 60, 100},                             // data byte with no status to run on
        {0x00, 0xFF, 0x01, 1, 'x', 0x00, 60, 1},     // running status does not survive a meta event
        {0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1}, // delta time of five bytes
        {0x00, 0x90, 60, 0x80},                      // status byte where data belongs
        {0x00, 0xF2, 0, 0},                          // song position: not in a file
        {0x00, 0xFF, 0x51, 0x20},                    // meta event longer than its track
    };
    for (const Bytes& body : badBodies) {
        Bytes file = Header(0, 1, 96);
        AppendTrack(&file, body);
        Read(file, false);
    }
}

} // namespace
