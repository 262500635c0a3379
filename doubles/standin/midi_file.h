// Standard MIDI File reader of the stand-in bassmidi.dll. Portable (no Windows
// headers), so it is unit-tested and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "doubles/standin/library_constants.h"

// One event in the numbering of the event records the host reads.
struct MidiFileEvent {
    uint32_t event;
    uint32_t param;
    uint32_t chan;
    uint32_t tick; // absolute tick, low 32 bits
    uint32_t pos;  // byte position in stereo 32-bit float audio, low 32 bits
    uint32_t track;
};

// A text the file gives at a position: a marker, a lyric, a time signature...
struct MidiFileMark {
    uint32_t kind; // the library's mark kinds: 0 marker, 1 cue, 2 lyric, 3 text, 4 time
                   // signature, 5 key signature, 6 copyright, 7 track name, 8 instrument
    uint32_t track;
    uint32_t tick;
    uint32_t pos;
    std::string text; // as the file has it; a time signature as "4/4/24/8", a key
                      // signature as sharps (negative: flats) and 0 major or 1 minor, "-3 1"
};

// What a file gives besides its events: its marks in order of position, and its ticks
// per quarter note (0 for time-code files).
struct MidiFileExtras {
    std::vector<MidiFileMark> marks;
    uint32_t ppqn = 0;
};

// Reads a format 0 or 1 file of `size` bytes. On success fills `events` with the
// events of all tracks merged in order of position (stable: equal positions keep track
// order, then file order) and returns true. A truncated or malformed file, or one of
// another format, gives false and leaves `events` empty. A port meta event (0x21) puts
// the channels of the track's later events on that port: port P's channel C is
// channel 16 * P + C (ports 0 to 7).
bool ReadMidiFile(const uint8_t* data, size_t size, uint32_t sampleRate,
                  std::vector<MidiFileEvent>* events, MidiFileExtras* extras = nullptr);
