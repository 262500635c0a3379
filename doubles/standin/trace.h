// Call trace of the stand-in audio libraries: when the environment variable
// QB_TRACE names a file, every call the host makes appends one line to it, in the
// order made, with its arguments and result. The calls bassmidi.dll and bass_vst.dll
// make of bass.dll are not traced, so the trace shows the host's calls only.
#pragma once

#include <string>

// A UTF-16 string as UTF-8, for the trace; "?" for a null one.
std::string TraceText(const wchar_t* text);

// printf-style; the line end is added.
void TraceCall(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Whether code at `address` belongs to bassmidi.dll or bass_vst.dll. The caller's
// return address is tested rather than the host's own range, since a call the host
// makes last in a callback may return straight to bass.dll (a tail call).
bool IsOtherStandinAddress(const void* address);

// Traces a call of the exported function it is used in, unless another stand-in made it.
#define TRACE_HOST_CALL(...)                                                                       \
    do {                                                                                           \
        if (!IsOtherStandinAddress(__builtin_return_address(0))) {                                 \
            TraceCall(__VA_ARGS__);                                                                \
        }                                                                                          \
    } while (0)
