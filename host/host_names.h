// The parts of the host that differ between the 64-bit and the 32-bit program.
#pragma once

#include "command_line.h"

#ifdef _WIN64
#define QB_MAIN_CLASS_NAME L"Quillbrook64"
constexpr ArgWidth kHandleArgWidth = ArgWidth::Bits64;
#else
#define QB_MAIN_CLASS_NAME L"Quillbrook32"
constexpr ArgWidth kHandleArgWidth = ArgWidth::Bits32;
#endif

#define QB_EDITOR_CLASS_NAME L"QuillbrookEmbed"

constexpr UINT_PTR kWatchdogTimerId = 1000;
constexpr UINT kWatchdogPeriodMs = 1000;
