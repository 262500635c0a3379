// MIDI messages sent live by the controller, on their way to the instrument: the
// user-interface thread queues them, the render callback hands them over at the start
// of its next pull. A ring of fixed slots with one writer and one reader, so neither
// side allocates, locks or waits.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/bass_types.h"

constexpr uint32_t kLiveSlots = 256; // a power of two
constexpr uint32_t kLiveMessageBytes = 512;
// At most this many go to the instrument in one pull, so they and the song's events
// stay within what one processing call takes.
constexpr uint32_t kLivePerPull = 64;
// The first byte of a system-exclusive message; it ends with 0xF7.
constexpr uint8_t kSysExStart = 0xF0;

// One complete message: a short one (status and its data bytes) or a system-exclusive
// one (F0 ... F7).
struct LiveMessage {
    uint32_t length;
    uint8_t bytes[kLiveMessageBytes];
};

// The plug-in library's function for raw MIDI: a short message packed in `event` with
// `length` 0, else a pointer to `length` bytes of system exclusive.
typedef BOOL(WINAPI* SendRawMidiProc)(DWORD instrument, const void* event, DWORD length);

struct LiveMidiQueue {
    std::atomic<uint32_t> written; // messages queued so far: the writer's
    std::atomic<uint32_t> taken;   // messages handed over so far: the reader's
    std::atomic<SendRawMidiProc> send;
    LiveMessage slots[kLiveSlots];
};

// User-interface thread: queues all `count` messages, or none when they do not all fit.
bool QueueLiveMessages(LiveMidiQueue* queue, SendRawMidiProc send, const LiveMessage* messages,
                       uint32_t count);

// Mixing thread: hands queued messages to `instrument`, in order, at most kLivePerPull;
// one the library refuses after others (its queue for the call is full) waits for the
// next pull, one it refuses as the pull's first is dropped.
void SendLiveMessages(LiveMidiQueue* queue, uint32_t instrument);

// Mixing thread: whether anything waits to be handed over (the render path's one look
// at the queue while it is empty).
inline bool HasLiveMessages(const LiveMidiQueue* queue) {
    return queue->written.load(std::memory_order_relaxed) !=
           queue->taken.load(std::memory_order_relaxed);
}

// User-interface thread, while no render call can run (the instrument unpublished):
// drops what was queued for an instrument that is going.
void DropLiveMessages(LiveMidiQueue* queue);

// The packed form of a short message: status << 16 | data1 << 8 | data2.
uint32_t PackShortMessage(const LiveMessage& message);
