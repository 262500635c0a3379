#include "client/pe_width.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The start of a PE file: an MZ header pointing at `peAt`, the PE signature, the file
// header's machine and characteristics, and the optional header's magic.
std::vector<unsigned char> Head(unsigned machine, unsigned magic, bool dll, unsigned peAt = 128) {
    std::vector<unsigned char> head(peAt + 24 + 2 + 200, 0);
    head[0] = 'M';
    head[1] = 'Z';
    head[60] = static_cast<unsigned char>(peAt);
    head[61] = static_cast<unsigned char>(peAt >> 8);
    const unsigned char signature[] = {'P', 'E', 0, 0};
    std::copy(signature, signature + 4, head.begin() + peAt);
    head[peAt + 4] = static_cast<unsigned char>(machine);
    head[peAt + 5] = static_cast<unsigned char>(machine >> 8);
    const unsigned characteristics = 0x0102 | (dll ? 0x2000 : 0);
    head[peAt + 22] = static_cast<unsigned char>(characteristics);
    head[peAt + 23] = static_cast<unsigned char>(characteristics >> 8);
    head[peAt + 24] = static_cast<unsigned char>(magic);
    head[peAt + 25] = static_cast<unsigned char>(magic >> 8);
    return head;
}

std::string What(const std::vector<unsigned char>& head, int* width, size_t size = 0) {
    char what[160];
    *width = qb_pe_width(head.data(), size != 0 ? size : head.size(), what, sizeof(what));
    return what;
}

TEST(PeWidth, X86AndX64LibrariesGiveTheirWidth) {
    int width = 0;
    EXPECT_EQ(What(Head(0x14C, 0x10B, true), &width), "a 32-bit Windows library");
    EXPECT_EQ(width, 32);
    EXPECT_EQ(What(Head(0x8664, 0x20B, true, 0x400), &width), "a 64-bit Windows library");
    EXPECT_EQ(width, 64);
}

TEST(PeWidth, EverythingElseIsRefusedWithWhatWasFound) {
    int width = 1;
    EXPECT_EQ(What(Head(0x8664, 0x20B, false), &width),
              "a 64-bit Windows program (.exe), not a plug-in library");
    EXPECT_EQ(width, 0);
    EXPECT_EQ(What(Head(0xAA64, 0x20B, true), &width),
              "a library for ARM64 processors, which neither host can load");
    EXPECT_EQ(What(Head(0x1234, 0x20B, true), &width),
              "a Windows file for another processor (machine 0x1234), which neither host can load");
    EXPECT_EQ(What(Head(0x14C, 0x20B, true), &width).rfind("a damaged Windows file", 0), 0u);
    std::vector<unsigned char> text(300, 'x');
    EXPECT_EQ(What(text, &width), "not a Windows program or library (no MZ header)");
    auto dos = Head(0x14C, 0x10B, true);
    dos[128] = 'N';
    EXPECT_EQ(What(dos, &width), "an MS-DOS program, not a Windows library (no PE header)");
    EXPECT_EQ(width, 0);
}

TEST(PeWidth, TruncatedAndHostileHeadersAreReadSafely) {
    int width = 1;
    const auto head = Head(0x14C, 0x10B, true);
    for (size_t size : {size_t{1}, size_t{63}, size_t{64}, size_t{128 + 25}}) {
        What(head, &width, size);
        EXPECT_EQ(width, 0) << size;
    }
    EXPECT_EQ(What(head, &width, 128 + 26), "a 32-bit Windows library") << "just enough";
    for (unsigned char byte : {0x00, 0x7F, 0xFF}) {
        auto hostile = head;
        hostile[60] = hostile[61] = hostile[62] = hostile[63] = byte; // e_lfanew at the edges
        What(hostile, &width);
        EXPECT_EQ(width, 0) << int(byte);
    }
    EXPECT_EQ(qb_pe_width(nullptr, 100, nullptr, 0), 0);
    char tiny[6];
    EXPECT_EQ(qb_pe_width(head.data(), head.size(), tiny, sizeof(tiny)), 32);
    EXPECT_STREQ(tiny, "a 32-") << "the description is cut, still ended";
}

} // namespace
