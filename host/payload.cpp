#include "host/payload.h"

#include <cstring>

size_t DecodePayload(const void* data, uint32_t byteCount, wchar_t* out, size_t outChars) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    const size_t available = data == nullptr ? 0 : byteCount / 2;
    size_t length = 0;
    for (; length < available; ++length) {
        // Two bytes at a time: the payload need not be aligned for a character.
        const auto unit = static_cast<uint16_t>(bytes[2 * length] | (bytes[2 * length + 1] << 8));
        if (unit == 0) {
            break;
        }
        if (length + 1 < outChars) {
            out[length] = static_cast<wchar_t>(unit);
        }
    }
    if (outChars > 0) {
        out[length < outChars ? length : outChars - 1] = L'\0';
    }
    return length;
}
