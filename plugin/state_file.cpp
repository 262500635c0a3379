#include "plugin/state_file.h"

#include <cstring>

#include "protocol/quillbrook_protocol.h"

namespace {

constexpr uint8_t kMagic[4] = {'Q', 'B', 'S', 'T'};

struct CrcTable {
    uint32_t entries[256];
};

constexpr CrcTable MakeCrcTable() {
    CrcTable table = {};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table.entries[n] = c;
    }
    return table;
}

constexpr CrcTable kCrcTable = MakeCrcTable();

uint32_t ReadWord(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

void WriteWord(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t FloatBits(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

size_t BodyBytes(const StateHeader& header) {
    if (header.kind == QB_STATE_CHUNK && header.count != 0 && header.count <= kMaxStateChunkBytes) {
        return header.count;
    }
    if (header.kind == QB_STATE_PARAMS && header.count <= kMaxStateParams) {
        return size_t{header.count} * sizeof(float);
    }
    return 0;
}

bool ParamsInRange(const uint8_t* body, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const float value = StateParamValue(body, i);
        if (!(value >= 0.0f && value <= 1.0f)) {
            return false;
        }
    }
    return true;
}

} // namespace

uint32_t Crc32(const uint8_t* data, size_t bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < bytes; ++i) {
        crc = kCrcTable.entries[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

size_t StateFileBytes(const StateHeader& header) {
    const size_t body = BodyBytes(header);
    if (body == 0 && !(header.kind == QB_STATE_PARAMS && header.count == 0)) {
        return 0;
    }
    return kStateHeaderBytes + body + kStateChecksumBytes;
}

void EncodeStateFile(const StateHeader& header, const void* body, uint8_t* out) {
    std::memcpy(out, kMagic, sizeof(kMagic));
    WriteWord(out + 4, kStateFormatVersion);
    WriteWord(out + 8, header.kind);
    WriteWord(out + 12, header.uniqueId);
    WriteWord(out + 16, header.version);
    WriteWord(out + 20, static_cast<uint32_t>(header.program));
    WriteWord(out + 24, header.count);
    uint8_t* at = out + kStateHeaderBytes;
    const size_t bodyBytes = BodyBytes(header);
    if (header.kind == QB_STATE_CHUNK) {
        std::memcpy(at, body, bodyBytes);
    } else {
        const auto* values = static_cast<const float*>(body);
        for (uint32_t i = 0; i < header.count; ++i) {
            WriteWord(at + size_t{i} * sizeof(float), FloatBits(values[i]));
        }
    }
    at += bodyBytes;
    WriteWord(at, Crc32(out, static_cast<size_t>(at - out)));
}

StateCheck DecodeStateFile(const uint8_t* file, size_t bytes, StateHeader* header,
                           const uint8_t** body) {
    if (bytes < kStateHeaderBytes + kStateChecksumBytes ||
        std::memcmp(file, kMagic, sizeof(kMagic)) != 0) {
        return StateCheck::Damaged;
    }
    if (ReadWord(file + 4) != kStateFormatVersion) {
        return StateCheck::UnknownVersion;
    }
    StateHeader read = {ReadWord(file + 8), ReadWord(file + 12), ReadWord(file + 16),
                        static_cast<int32_t>(ReadWord(file + 20)), ReadWord(file + 24)};
    const size_t whole = StateFileBytes(read);
    if (whole == 0 || whole != bytes || read.program < -1) {
        return StateCheck::Damaged;
    }
    const size_t checked = bytes - kStateChecksumBytes;
    if (Crc32(file, checked) != ReadWord(file + checked)) {
        return StateCheck::Damaged;
    }
    if (read.kind == QB_STATE_PARAMS && !ParamsInRange(file + kStateHeaderBytes, read.count)) {
        return StateCheck::Damaged;
    }
    *header = read;
    *body = file + kStateHeaderBytes;
    return StateCheck::Good;
}

float StateParamValue(const uint8_t* body, uint32_t index) {
    const uint32_t bits = ReadWord(body + size_t{index} * sizeof(float));
    float value = 0;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}
