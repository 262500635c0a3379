// What the render call tells a controller that watches the music: each note as it
// reaches the instrument, the loop region's turns, the song's end and a seek's first
// frame, each with the stream's byte at which it will be heard. The render call writes,
// the host's watch thread reads once the listener has heard it: a ring of fixed records
// with one writer and one reader, so the render call neither allocates, locks nor waits.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/bass_types.h"

enum WatchRecordKind : uint32_t {
    kWatchNote = 1, // data: channel, key << 8, velocity << 16 (0: a release)
    kWatchTurn = 2, // the loop region turned back; pass: the one that starts
    kWatchEnd = 3,  // the song ended (its last event, or the region's last pass)
    kWatchSeek = 4, // a seek's target is heard
    kWatchMark = 5, // data: the mark's index, its kind << 24
    kWatchBeat = 6, // data: the beat in its bar, the bar << 8 (both from 1)
};

struct WatchRecord {
    uint32_t kind;
    uint32_t data;
    uint32_t generation;  // of the output stream it was rendered for
    uint32_t streamBytes; // where in that stream it is heard
    QWORD songBytes;      // its position in the song
    uint32_t tick;
    uint32_t pass; // of the loop region, from 1
};

constexpr uint32_t kWatchLogRecords = 4096; // a power of two

struct WatchLog {
    std::atomic<uint32_t> written;
    std::atomic<uint32_t> taken;
    std::atomic<uint32_t> dropped; // records that found the ring full
    WatchRecord records[kWatchLogRecords];
};

void ResetWatchLog(WatchLog* log);
// The render call: adds a record, or counts it dropped when the ring is full.
void PushWatch(WatchLog* log, const WatchRecord& record);
// The watch thread: the oldest record not yet taken, or null; Take lets it go.
const WatchRecord* PeekWatch(WatchLog* log);
void TakeWatch(WatchLog* log);
