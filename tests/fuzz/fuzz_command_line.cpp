// Feeds arbitrary command lines to the host's command-line reader. Input bytes are
// taken in pairs as UTF-16 code units, as the host receives them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<wchar_t> line;
    line.reserve(size / 2 + 1);
    for (size_t i = 0; i + 1 < size; i += 2) {
        line.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    line.push_back(L'\0');

    for (ArgWidth width : {ArgWidth::Bits32, ArgWidth::Bits64}) {
        HostArgs args;
        if (ParseHostCommandLine(line.data(), width, &args)) {
            if (args.version > kMaxInterfaceVersion || args.parentPid == -1) {
                __builtin_trap();
            }
            if (width == ArgWidth::Bits32 &&
                (args.songReportWindow < INT32_MIN || args.songReportWindow > INT32_MAX)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
