// Decoding a copy-data payload. Portable, so it is unit-tested and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/quillbrook_protocol.h"

// Payload strings, ending zero included, must fit in this many UTF-16 characters.
constexpr size_t kPayloadChars = QB_PAYLOAD_CHARS;

// Reads the UTF-16 string at `data` without looking past its `byteCount` bytes: only
// those are carried across processes. A null pointer or no bytes is the empty string;
// a string without its ending zero within `byteCount` ends there. Copies as much as
// fits into `out` (`outChars` characters, always zero-ended) and returns the string's
// full length; a length of `outChars` or more means it did not fit.
size_t DecodePayload(const void* data, uint32_t byteCount, wchar_t* out, size_t outChars);
