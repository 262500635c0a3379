// Basic types and calling convention shared by the audio libraries and their callers.
// On Windows they come from the system headers; elsewhere (native tests, sanitizers,
// benchmarks) they are defined here with the same widths.
#pragma once

#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef struct HWND__* HWND;
#define WINAPI
#define CALLBACK
#endif

typedef uint64_t QWORD;
typedef DWORD HSTREAM;
typedef DWORD HSYNC;

static_assert(sizeof(DWORD) == 4, "DWORD is 32-bit unsigned");
static_assert(sizeof(BOOL) == 4, "BOOL is 32-bit signed");
static_assert(sizeof(HWND) == sizeof(void*), "window handles are pointer-sized");
