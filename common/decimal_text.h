// The C runtime's text-to-integer reading (atoi, _wtoi, _wtoi64), written out so the
// native build and the shipped programs read numbers identically: optional leading
// white space, an optional sign, then decimal digits up to the first non-digit. Text
// without digits gives 0. A value outside [minValue, maxValue] saturates at the bound
// it passed, as the Microsoft runtime does.
#pragma once

#include <cstdint>

template <typename Char>
int64_t ReadDecimal(const Char* text, const Char* end, int64_t minValue, int64_t maxValue) {
    while (text < end && (*text == ' ' || (*text >= '\t' && *text <= '\r'))) {
        ++text;
    }
    bool negative = false;
    if (text < end && (*text == '+' || *text == '-')) {
        negative = *text == '-';
        ++text;
    }
    // Accumulate towards the sign's side, so the minimum itself is representable.
    int64_t value = 0;
    for (; text < end && *text >= '0' && *text <= '9'; ++text) {
        const int digit = static_cast<int>(*text - '0');
        if (negative) {
            if (value < (minValue + digit) / 10) {
                return minValue;
            }
            value = value * 10 - digit;
        } else {
            if (value > (maxValue - digit) / 10) {
                return maxValue;
            }
            value = value * 10 + digit;
        }
    }
    return value;
}
