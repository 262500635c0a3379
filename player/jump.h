// Jumps of the song cursor (a seek, the start of a loop region's pass) and what the
// instrument must be told at one so that every channel is in the state it would have
// had if the song had played up to the target. Built on the user-interface thread from
// the event table; the render callback only reads them.
#pragma once

#include <cstddef>

#include "player/player_state.h"

// One event of a replay, in the numbering of the event records.
struct ReplayEvent {
    DWORD chan;
    DWORD event;
    DWORD param;
};

struct Jump {
    DWORD event;         // the first event at or after the target
    QWORD bytes;         // the target, in bytes of the song, a whole frame
    DWORD replayCount;   // events to send before the song goes on
    ReplayEvent* replay; // replayCount events, stored right after this header
};

// A loop region of the controller's: each pass plays from its start up to, not
// including, its end, and begins with the start's jump.
struct LoopRegion {
    Jump* start;
    DWORD endEvent; // the first event at or after the end
    QWORD endBytes;
    DWORD passes; // 0: endless
};

// Bytes of 48000 Hz stereo float audio in `ms` milliseconds, rounded down to a whole
// frame and saturated far beyond any song (2^48 bytes); and back.
QWORD BytesFromMs(double ms);
double MsFromBytes(QWORD bytes);

// The index of the first event at or after `bytes` (the count when there is none).
DWORD FirstEventAtOrAfter(const EventTable* table, QWORD bytes);

// A jump to `bytes`: every channel's notes and sound released and its controllers
// reset, then, per channel, the last value before the target of every event type that
// is state (program, controllers, pitch bend, pressure, a reset of the controllers),
// in the order the song set them, so an instrument's own reset rules give the same
// result; a type the song sets only later gets its usual default. Null without memory.
Jump* BuildJump(const EventTable* table, QWORD bytes);

// A loop region from `startBytes` to `endBytes` (start before end), or null without
// memory. Free with FreeLoopRegion.
LoopRegion* BuildLoopRegion(const EventTable* table, QWORD startBytes, QWORD endBytes,
                            DWORD passes);
void FreeLoopRegion(LoopRegion* region);
