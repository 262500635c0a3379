// A file that appears under its name only once it is whole: written to a temporary
// file beside it (a name of its own each time, so two writers never share one),
// flushed to the disk and then renamed over whatever had the name. One that cannot be
// finished, or is abandoned, is removed; one whose writer is killed half-way is left
// behind as NAME.qbtmp-PID-N, never under NAME.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "protocol/quillbrook_protocol.h"

struct PendingFile {
    HANDLE handle;
    wchar_t temp[QB_PAYLOAD_CHARS + 40];
    const wchar_t* path; // the caller's, kept until the file is finished or abandoned
};

// Creates the temporary file; false when it cannot be made.
bool OpenPendingFile(PendingFile* file, const wchar_t* path);

// Appends `bytes` bytes; false when they could not all be written.
bool AppendPendingFile(PendingFile* file, const uint8_t* data, size_t bytes);

// Writes `bytes` bytes at `offset` (a header whose sizes are known only at the end).
bool RewritePendingFile(PendingFile* file, uint64_t offset, const uint8_t* data, size_t bytes);

// Flushes the file and gives it its name; on failure it is removed. False then.
bool FinishPendingFile(PendingFile* file);

// Removes the unfinished file.
void AbandonPendingFile(PendingFile* file);
