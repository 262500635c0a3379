// Standard MIDI File reader of the stand-in bassmidi.dll. Portable (no Windows
// headers), so it is unit-tested and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Reads a format 0 or 1 file of `size` bytes. On success fills `events` with the
// events of all tracks merged in order of position (stable: equal positions keep track
// order, then file order) and returns true. A truncated or malformed file, or one of
// another format, gives false and leaves `events` empty. A port meta event (0x21) puts
// the channels of the track's later events on that port: port P's channel C is
// channel 16 * P + C (ports 0 to 7).
bool ReadMidiFile(const uint8_t* data, size_t size, uint32_t sampleRate,
                  std::vector<MidiFileEvent>* events);
