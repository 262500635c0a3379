// The plug-in width reader on arbitrary file heads: it must never read outside them,
// must give 0, 32 or 64, and must always end its description.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "client/pe_width.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char what[96];
    std::memset(what, 'x', sizeof(what));
    const int width = qb_pe_width(data, size, what, size % 2 == 0 ? sizeof(what) : 7);
    if ((width != 0 && width != 32 && width != 64) ||
        std::memchr(what, '\0', sizeof(what)) == nullptr) {
        std::abort();
    }
    return 0;
}
