// Call trace of the stand-in audio libraries: when the environment variable
// QB_TRACE names a file, every call the host makes appends one line to it, in the
// order made, with its arguments and result.
#pragma once

// printf-style; the line end is added.
void TraceCall(const char* format, ...) __attribute__((format(printf, 1, 2)));
