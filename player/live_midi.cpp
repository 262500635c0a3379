#include "player/live_midi.h"

#include <cstring>

namespace {

uint32_t Queued(const LiveMidiQueue* queue) {
    return queue->written.load(std::memory_order_relaxed) -
           queue->taken.load(std::memory_order_acquire);
}

} // namespace

bool QueueLiveMessages(LiveMidiQueue* queue, SendRawMidiProc send, const LiveMessage* messages,
                       uint32_t count) {
    if (count > kLiveSlots - Queued(queue)) {
        return false;
    }
    queue->send.store(send, std::memory_order_relaxed);
    uint32_t written = queue->written.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < count; ++i, ++written) {
        LiveMessage& slot = queue->slots[written % kLiveSlots];
        slot.length = messages[i].length;
        std::memcpy(slot.bytes, messages[i].bytes, messages[i].length);
    }
    queue->written.store(written, std::memory_order_release);
    return true;
}

void SendLiveMessages(LiveMidiQueue* queue, uint32_t instrument) {
    const uint32_t written = queue->written.load(std::memory_order_acquire);
    uint32_t taken = queue->taken.load(std::memory_order_relaxed);
    const SendRawMidiProc send = queue->send.load(std::memory_order_relaxed);
    for (uint32_t sent = 0; taken != written && sent < kLivePerPull; ++sent, ++taken) {
        const LiveMessage& message = queue->slots[taken % kLiveSlots];
        const bool sysEx = message.bytes[0] == kSysExStart;
        const BOOL accepted =
            sysEx ? send(instrument, message.bytes, message.length)
                  : send(instrument,
                         reinterpret_cast<const void*>(uintptr_t{PackShortMessage(message)}), 0);
        // Refused after others, the library's queue for the call may be full: the
        // message waits for the next pull. Refused first, it never will be taken, and
        // would hold up every message after it: it is dropped.
        if (accepted == 0 && sent != 0) {
            break;
        }
    }
    queue->taken.store(taken, std::memory_order_release);
}

void DropLiveMessages(LiveMidiQueue* queue) {
    queue->taken.store(queue->written.load(std::memory_order_relaxed), std::memory_order_release);
}

uint32_t PackShortMessage(const LiveMessage& message) {
    uint32_t packed = 0;
    for (uint32_t i = 0; i < 3; ++i) {
        packed = packed << 8 | (i < message.length ? message.bytes[i] : 0u);
    }
    return packed;
}
