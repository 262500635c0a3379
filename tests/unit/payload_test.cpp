#include "host/payload.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Utf16(const std::u16string& text, bool withZero = true) {
    std::vector<unsigned char> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    if (withZero) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

std::wstring Decode(const void* data, uint32_t byteCount, size_t* length = nullptr) {
    wchar_t out[kPayloadChars];
    const size_t full = DecodePayload(data, byteCount, out, kPayloadChars);
    if (length != nullptr) {
        *length = full;
    }
    return out;
}

TEST(Payload, ReadsAZeroEndedString) {
    const auto bytes = Utf16(u"C:\\songs\\tune.mid");
    size_t length = 0;
    EXPECT_EQ(Decode(bytes.data(), static_cast<uint32_t>(bytes.size()), &length),
              L"C:\\songs\\tune.mid");
    EXPECT_EQ(length, 17u);
}

TEST(Payload, NullOrEmptyIsTheEmptyString) {
    const auto bytes = Utf16(u"abc");
    EXPECT_EQ(Decode(nullptr, 100), L"");
    EXPECT_EQ(Decode(bytes.data(), 0), L"");
    EXPECT_EQ(Decode(bytes.data(), 1), L"") << "half a character is no character";
}

TEST(Payload, NeverReadsPastTheByteCount) {
    // The bytes after the count are not part of the message; leave them unzeroed.
    const auto bytes = Utf16(u"abcdef", false);
    EXPECT_EQ(Decode(bytes.data(), 6), L"abc");
    EXPECT_EQ(Decode(bytes.data(), 7), L"abc");
    // Exactly as many bytes as the count, so AddressSanitizer sees any read beyond.
    const auto exact = std::make_unique<unsigned char[]>(4);
    std::memcpy(exact.get(), bytes.data(), 4);
    EXPECT_EQ(Decode(exact.get(), 4), L"ab");
}

TEST(Payload, LongStringsAreMeasuredButNotCutIntoAPath) {
    const std::u16string fits(kPayloadChars - 1, u'x');
    const std::u16string tooLong(3000, u'y');
    size_t length = 0;
    const auto fitting = Utf16(fits);
    EXPECT_EQ(Decode(fitting.data(), static_cast<uint32_t>(fitting.size()), &length).size(),
              kPayloadChars - 1);
    EXPECT_EQ(length, kPayloadChars - 1);

    const auto longBytes = Utf16(tooLong);
    const std::wstring cut =
        Decode(longBytes.data(), static_cast<uint32_t>(longBytes.size()), &length);
    EXPECT_EQ(length, 3000u) << "the caller learns it did not fit";
    EXPECT_EQ(cut.size(), kPayloadChars - 1) << "the copy stays inside the buffer";

    std::wstring whole(length + 1, L'\0');
    DecodePayload(longBytes.data(), static_cast<uint32_t>(longBytes.size()), &whole[0],
                  whole.size());
    EXPECT_EQ(whole.c_str(), std::wstring(3000, L'y'));
}

} // namespace
