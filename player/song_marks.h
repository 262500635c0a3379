// The song's texts and its musical time: markers, cue points, lyrics (a karaoke file's
// too), texts, time and key signatures and tempo changes, each with its position, read
// when the song is loaded; and the song's positions in ticks and in bars and beats.
// User-interface thread only.
#pragma once

#include <cstdint>

#include "player/player_state.h"

// The kinds of marks, as the MIDI library numbers them, and the tempo changes.
enum SongMarkKind : uint32_t {
    kMarkMarker = 0,
    kMarkCue = 1,
    kMarkLyric = 2,
    kMarkText = 3,
    kMarkTimeSignature = 4,
    kMarkKeySignature = 5,
    kMarkTempo = 9,
};

struct SongMark {
    uint32_t kind;
    uint32_t tick;
    QWORD bytes;      // its position in the song
    uint32_t value;   // a tempo's microseconds a quarter; a time signature's numerator
                      // times 256 plus its denominator; else 0
    const char* text; // as the file has it; a tempo as its microseconds a quarter
};

// A beat of the song, by its time signatures and tempo map.
struct SongBeat {
    QWORD bytes;
    uint32_t tick;
    uint32_t bar;  // from 1
    uint32_t beat; // in the bar, from 1
};

struct SongMarks {
    uint32_t count;
    uint32_t ppqn;   // ticks per quarter note; 0 when the song is timed otherwise
    SongMark* marks; // in order of position, stored after this record with the texts
    uint32_t beatCount;
    SongBeat* beats; // every beat up to the song's end; none without ticks
};

// Reads the marks of the MIDI stream `midi` and the tempo changes of `table`. A song
// whose libraries give no marks has none. Null without memory.
SongMarks* ReadSongMarks(HSTREAM midi, const EventTable* table);
void FreeSongMarks(SongMarks* marks);

// A bar, a beat in it and a tick in the beat, counted from 1, 1 and 0.
struct BarBeat {
    uint32_t bar;
    uint32_t beat;
    uint32_t tick;
};

// The tick at a song position, and the song position of a tick, by the tempo map.
uint64_t TickAtBytes(const SongMarks* marks, QWORD bytes);
QWORD BytesAtTick(const SongMarks* marks, uint64_t tick);
// Bars and beats by the time signatures (4/4 until the first).
BarBeat BarBeatAtTick(const SongMarks* marks, uint64_t tick);
uint64_t TickAtBarBeat(const SongMarks* marks, BarBeat at);
