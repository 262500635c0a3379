// Call trace of the stand-in audio libraries: when the environment variable
// QB_TRACE names a file, every call the host makes appends one line to it, in the
// order made, with its arguments and result. Calls that one stand-in makes of
// another are not traced, so the trace shows the host's calls only.
#pragma once

// printf-style; the line end is added.
void TraceCall(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Whether code at `address` belongs to the host's executable.
bool IsHostAddress(const void* address);

// Traces a call of the exported function it is used in, when the host made it.
#define TRACE_HOST_CALL(...)                                                                       \
    do {                                                                                           \
        if (IsHostAddress(__builtin_return_address(0))) {                                          \
            TraceCall(__VA_ARGS__);                                                                \
        }                                                                                          \
    } while (0)
