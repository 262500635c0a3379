// Reading the controller's command line. Portable: no Windows headers, so it is
// unit-tested and fuzzed natively as well as built into the host.
#pragma once

#include <cstdint>

#include "protocol/quillbrook_protocol.h"

// Width of the integer conversion applied to a value's text.
enum class ArgWidth { Bits32, Bits64 };

// Finds `key` as a case-sensitive substring anywhere in `line` and converts the text
// after it, up to the first space (U+0020) or the end of the line, like the C runtime's
// wide-string-to-integer conversion: optional leading white space, optional sign, then
// decimal digits up to the first non-digit; no digits gives 0. A value beyond the range
// of the chosen width saturates at that width's minimum or maximum, as the Microsoft
// runtime's _wtoi and _wtoi64 do. Returns -1 when the key does not occur.
int64_t ReadArgValue(const wchar_t* line, const wchar_t* key, ArgWidth width);

// What start-up takes from an accepted command line. The report windows are
// kept as integers; the host turns them into window handles of its own width.
struct HostArgs {
    int32_t version;
    int32_t parentPid;
    int64_t songReportWindow;
    int64_t editorReportWindow;
};

constexpr int32_t kMaxInterfaceVersion = QB_INTERFACE_VERSION;

// Applies start-up's acceptance rules. Returns false when the line is refused (no
// usable "v=" or "pid="); `handleWidth` is the width of a window handle in the host.
bool ParseHostCommandLine(const wchar_t* line, ArgWidth handleWidth, HostArgs* out);
