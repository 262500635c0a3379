// The parts of the host that differ between the 64-bit and the 32-bit program.
#pragma once

#include "host/command_line.h"
#include "protocol/quillbrook_protocol.h"

#ifdef _WIN64
#define QB_MAIN_CLASS_NAME QB_MAIN_CLASS_64
constexpr ArgWidth kHandleArgWidth = ArgWidth::Bits64;
#else
#define QB_MAIN_CLASS_NAME QB_MAIN_CLASS_32
constexpr ArgWidth kHandleArgWidth = ArgWidth::Bits32;
#endif

constexpr UINT_PTR kWatchdogTimerId = 1000;
constexpr UINT kWatchdogPeriodMs = 1000;
constexpr UINT_PTR kFadeTimerId = 1001;
constexpr UINT_PTR kRenderTimerId = 1002;
constexpr UINT_PTR kResizeTimerId = 1003;
constexpr UINT_PTR kDeviceTimerId = 1004;
