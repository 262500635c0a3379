// Reading the extension commands' payloads: words separated by spaces, each a number
// (decimal digits with an optional fraction, "1500" or "0.25") or a keyword. Portable,
// so it is unit-tested and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kMaxPayloadWords = 4;

// What separates the words of a payload: a space or a tab.
inline bool IsWordSpace(wchar_t c) {
    return c == L' ' || c == L'\t';
}

struct PayloadWords {
    size_t count;
    const wchar_t* start[kMaxPayloadWords];
    size_t length[kMaxPayloadWords];
};

// Splits `text` at spaces and tabs; false when it has more than kMaxPayloadWords words.
bool SplitPayloadWords(const wchar_t* text, PayloadWords* words);

// Reads all of [start, end) as a number no larger than 1e12: decimal digits with an
// optional fraction; false when it is not one.
bool ReadDecimal(const wchar_t* start, const wchar_t* end, double* value);

// Reads word `index` as a number no larger than 1e12; false when it is not one.
bool PayloadNumber(const PayloadWords& words, size_t index, double* value);
// Word `index` as a whole number up to `most`, or false.
bool PayloadWhole(const PayloadWords& words, size_t index, double most, uint32_t* value);
// The same with an optional sign, "-" or "+", before it.
bool PayloadSignedNumber(const PayloadWords& words, size_t index, double* value);

// Whether word `index` is `keyword` (ASCII letters, case ignored).
bool PayloadWordIs(const PayloadWords& words, size_t index, const wchar_t* keyword);
