#include "host/payload_words.h"

namespace {

constexpr double kLargestNumber = 1e12;

wchar_t Lower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

bool SplitPayloadWords(const wchar_t* text, PayloadWords* words) {
    words->count = 0;
    for (const wchar_t* at = text; *at != L'\0';) {
        if (IsWordSpace(*at)) {
            ++at;
            continue;
        }
        if (words->count == kMaxPayloadWords) {
            return false;
        }
        const wchar_t* start = at;
        while (*at != L'\0' && !IsWordSpace(*at)) {
            ++at;
        }
        words->start[words->count] = start;
        words->length[words->count] = static_cast<size_t>(at - start);
        ++words->count;
    }
    return true;
}

bool ReadDecimal(const wchar_t* at, const wchar_t* end, double* value) {
    double number = 0;
    size_t digits = 0;
    for (; at < end && *at >= L'0' && *at <= L'9'; ++at, ++digits) {
        number = number * 10 + (*at - L'0');
        if (number > kLargestNumber) {
            return false;
        }
    }
    if (at < end && *at == L'.') {
        ++at;
        for (double scale = 0.1; at < end && *at >= L'0' && *at <= L'9'; ++at, ++digits) {
            number += (*at - L'0') * scale;
            scale /= 10;
        }
    }
    if (at != end || digits == 0) {
        return false;
    }
    *value = number;
    return true;
}

bool PayloadNumber(const PayloadWords& words, size_t index, double* value) {
    return index < words.count &&
           ReadDecimal(words.start[index], words.start[index] + words.length[index], value);
}

bool PayloadWhole(const PayloadWords& words, size_t index, double most, uint32_t* value) {
    double number = 0;
    if (!PayloadNumber(words, index, &number) || number > most ||
        number != static_cast<double>(static_cast<uint32_t>(number))) {
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

bool PayloadSignedNumber(const PayloadWords& words, size_t index, double* value) {
    if (index >= words.count || words.length[index] == 0) {
        return false;
    }
    const wchar_t* start = words.start[index];
    const bool negative = *start == L'-';
    const wchar_t* digits = negative || *start == L'+' ? start + 1 : start;
    if (!ReadDecimal(digits, start + words.length[index], value)) {
        return false;
    }
    *value = negative ? -*value : *value;
    return true;
}

bool PayloadWordIs(const PayloadWords& words, size_t index, const wchar_t* keyword) {
    if (index >= words.count) {
        return false;
    }
    const wchar_t* word = words.start[index];
    size_t i = 0;
    for (; i < words.length[index] && keyword[i] != L'\0'; ++i) {
        if (Lower(word[i]) != keyword[i]) {
            return false;
        }
    }
    return i == words.length[index] && keyword[i] == L'\0';
}
