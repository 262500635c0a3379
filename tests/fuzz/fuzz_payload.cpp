// Feeds arbitrary copy-data payloads, with arbitrary byte counts, to the decoder, and
// what it decodes to the render command's reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/payload.h"
#include "host/render_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first two bytes choose a byte count no larger than the data that follows, so
    // AddressSanitizer catches any read beyond it.
    const uint32_t byteCount = static_cast<uint32_t>((data[0] | (data[1] << 8)) % (size - 1));
    std::vector<uint8_t> payload(data + 2, data + 2 + byteCount);
    wchar_t out[kPayloadChars];
    const size_t length =
        DecodePayload(payload.empty() ? nullptr : payload.data(), byteCount, out, kPayloadChars);
    if (length > byteCount / 2 || out[length < kPayloadChars ? length : kPayloadChars - 1] != 0) {
        __builtin_trap();
    }
    static RenderRequest request;
    if (length < kPayloadChars && ParseRenderPayload(out, &request) &&
        (request.path[0] == 0 || request.settings.passes == 0 ||
         request.settings.passes > kRenderMaxPasses)) {
        __builtin_trap();
    }
    return 0;
}
