// Keeps commands from running inside one another. Portable: no Windows headers, so it
// is unit-tested natively as well as built into the host.
//
// The user-interface thread runs plug-in code that may handle messages (a dialog while
// loading, a modal loop while opening an editor), and a command that arrives then would
// otherwise run in the middle of the one in progress. Such a command is copied and run
// once the running one is done, in the order the commands arrived.
#pragma once

#include <cstddef>
#include <cstdint>

struct QueuedCommand;

struct CommandQueue {
    bool running;         // a command is in progress on this thread
    QueuedCommand* first; // waiting to run, oldest first
    QueuedCommand* last;
};

// Runs one command with its payload bytes (which may be null when `byteCount` is 0).
typedef void (*CommandRunner)(uint64_t code, const void* data, uint32_t byteCount, void* context);

// Runs the command at once when none is in progress, then every command that arrived
// meanwhile, in order. Called while a command is in progress, it copies the command
// and returns; a command that cannot be copied (no memory) is dropped.
void SubmitCommand(CommandQueue* queue, uint64_t code, const void* data, uint32_t byteCount,
                   CommandRunner run, void* context);
