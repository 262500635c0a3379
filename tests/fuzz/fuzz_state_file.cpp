// Feeds arbitrary bytes to the state file reader: it never reads beyond the file, and
// what it takes as good is a file it would write itself, byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/state_file.h"
#include "protocol/quillbrook_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so AddressSanitizer catches any read beyond it.
    std::vector<uint8_t> file(data, data + size);
    StateHeader header = {};
    const uint8_t* body = nullptr;
    if (DecodeStateFile(file.data(), file.size(), &header, &body) != StateCheck::Good) {
        return 0;
    }
    if (StateFileBytes(header) != size || body != file.data() + kStateHeaderBytes) {
        __builtin_trap();
    }
    std::vector<float> values(header.kind == QB_STATE_PARAMS ? header.count : 0);
    for (size_t i = 0; i < values.size(); ++i) {
        values[i] = StateParamValue(body, static_cast<uint32_t>(i));
    }
    std::vector<uint8_t> again(size);
    EncodeStateFile(header,
                    header.kind == QB_STATE_PARAMS ? values.data() : static_cast<const void*>(body),
                    again.data());
    if (std::memcmp(again.data(), file.data(), size) != 0) {
        __builtin_trap();
    }
    return 0;
}
