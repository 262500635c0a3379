// The instrument state file: a plug-in's own chunk, or every parameter's value, with
// the plug-in's identity and the current program, checked by a CRC-32. Portable (no
// Windows headers), so the reader is unit-tested and fuzzed natively. The layout, all
// numbers little-endian 32-bit:
//   "QBST", format version, kind (QB_STATE_CHUNK or QB_STATE_PARAMS), unique id,
//   plug-in version, program (-1: none), count (chunk bytes, or parameters),
//   the body (the chunk's bytes, or `count` IEEE floats), CRC-32 of all before it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kStateFormatVersion = 1;
constexpr size_t kStateHeaderBytes = 28;
constexpr size_t kStateChecksumBytes = 4;
// Bounds that keep a hostile file from asking for more than a plug-in ever needs.
constexpr uint32_t kMaxStateChunkBytes = 64u << 20;
constexpr uint32_t kMaxStateParams = 1u << 16;

struct StateHeader {
    uint32_t kind; // QB_STATE_CHUNK or QB_STATE_PARAMS
    uint32_t uniqueId;
    uint32_t version;
    int32_t program; // -1 when the plug-in has no programs
    uint32_t count;  // chunk bytes, or parameters
};

enum class StateCheck { Good, Damaged, UnknownVersion };

// The size of the file for this header; 0 when the kind is unknown or the count beyond
// its bound (or 0 for a chunk, which the library refuses).
size_t StateFileBytes(const StateHeader& header);

// Writes the whole file to `out` (StateFileBytes(header) bytes): `body` is the chunk's
// bytes, or `header.count` floats.
void EncodeStateFile(const StateHeader& header, const void* body, uint8_t* out);

// Checks a file and gives its header and where its body starts. A file is good only
// when it is whole, of this format's version, its checksum matches and, for
// parameters, every value is a number from 0 to 1.
StateCheck DecodeStateFile(const uint8_t* file, size_t bytes, StateHeader* header,
                           const uint8_t** body);

// The value of parameter `index` in a good file's body of parameters.
float StateParamValue(const uint8_t* body, uint32_t index);

// The CRC-32 (of zip and PNG) of `bytes` bytes.
uint32_t Crc32(const uint8_t* data, size_t bytes);
