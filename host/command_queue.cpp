#include "host/command_queue.h"

#include <cstdlib>
#include <cstring>

struct QueuedCommand {
    uint64_t code;
    uint32_t byteCount;
    QueuedCommand* next;
    // byteCount payload bytes follow the record
};

namespace {

bool Enqueue(CommandQueue* queue, uint64_t code, const void* data, uint32_t byteCount) {
    const size_t copied = data != nullptr ? byteCount : 0;
    if (copied > SIZE_MAX - sizeof(QueuedCommand)) {
        return false;
    }
    auto* command = static_cast<QueuedCommand*>(std::malloc(sizeof(QueuedCommand) + copied));
    if (command == nullptr) {
        return false;
    }
    command->code = code;
    command->byteCount = static_cast<uint32_t>(copied);
    command->next = nullptr;
    if (copied > 0) {
        std::memcpy(command + 1, data, copied);
    }
    if (queue->last != nullptr) {
        queue->last->next = command;
    } else {
        queue->first = command;
    }
    queue->last = command;
    return true;
}

QueuedCommand* Dequeue(CommandQueue* queue) {
    QueuedCommand* command = queue->first;
    if (command != nullptr) {
        queue->first = command->next;
        if (queue->first == nullptr) {
            queue->last = nullptr;
        }
    }
    return command;
}

} // namespace

void SubmitCommand(CommandQueue* queue, uint64_t code, const void* data, uint32_t byteCount,
                   CommandRunner run, void* context) {
    if (queue->running) {
        Enqueue(queue, code, data, byteCount);
        return;
    }
    queue->running = true;
    run(code, data, byteCount, context);
    while (QueuedCommand* next = Dequeue(queue)) {
        run(next->code, next->byteCount > 0 ? next + 1 : nullptr, next->byteCount, context);
        std::free(next);
    }
    queue->running = false;
}
