#include "host/command_line.h"

#include <gtest/gtest.h>

namespace {

int64_t Read32(const wchar_t* line, const wchar_t* key) {
    return ReadArgValue(line, key, ArgWidth::Bits32);
}

bool Accepts(const wchar_t* line, HostArgs* args = nullptr) {
    HostArgs ignored;
    return ParseHostCommandLine(line, ArgWidth::Bits64, args != nullptr ? args : &ignored);
}

TEST(ReadArgValue, FindsKeysInAnyOrderAndInsideLongerWords) {
    EXPECT_EQ(Read32(L"v=3 pid=52", L"pid="), 52);
    EXPECT_EQ(Read32(L"pid=52 v=3", L"v="), 3);
    EXPECT_EQ(Read32(L"xpid=17", L"pid="), 17);
    // "v=" occurs first inside "dev=9", which is where the value is read from.
    EXPECT_EQ(Read32(L"dev=9 v=3", L"v="), 9);
    EXPECT_EQ(Read32(L"v=3", L"pid="), -1);
    EXPECT_EQ(Read32(L"", L"v="), -1);
    EXPECT_EQ(Read32(L"V=3", L"v="), -1) << "keys are case-sensitive";
}

TEST(ReadArgValue, ValueEndsOnlyAtASpace) {
    EXPECT_EQ(Read32(L"v=12 34", L"v="), 12);
    EXPECT_EQ(Read32(L"v= 3", L"v="), 0) << "a space right after the key leaves no text";
    EXPECT_EQ(Read32(L"v=\t3", L"v="), 3) << "a tab is leading white space, not an end";
    EXPECT_EQ(Read32(L"v=3\tpid=5", L"v="), 3);
    EXPECT_EQ(Read32(L"v=3\tpid=5", L"pid="), 5);
}

TEST(ReadArgValue, ConvertsLikeTheRuntime) {
    EXPECT_EQ(Read32(L"v=x", L"v="), 0);
    EXPECT_EQ(Read32(L"v=", L"v="), 0);
    EXPECT_EQ(Read32(L"v=12abc", L"v="), 12);
    EXPECT_EQ(Read32(L"v=-7", L"v="), -7);
    EXPECT_EQ(Read32(L"v=+7", L"v="), 7);
    EXPECT_EQ(Read32(L"v=--7", L"v="), 0);
    EXPECT_EQ(Read32(L"v=-", L"v="), 0);
    EXPECT_EQ(Read32(L"v=007", L"v="), 7);
}

TEST(ReadArgValue, SaturatesOnOverflow) {
    EXPECT_EQ(Read32(L"v=2147483647", L"v="), INT32_MAX);
    EXPECT_EQ(Read32(L"v=2147483648", L"v="), INT32_MAX);
    EXPECT_EQ(Read32(L"v=-2147483648", L"v="), INT32_MIN);
    EXPECT_EQ(Read32(L"v=-2147483649", L"v="), INT32_MIN);
    EXPECT_EQ(Read32(L"v=99999999999999999999999", L"v="), INT32_MAX);
    const wchar_t* huge = L"h=99999999999999999999999";
    EXPECT_EQ(ReadArgValue(huge, L"h=", ArgWidth::Bits64), INT64_MAX);
    EXPECT_EQ(ReadArgValue(L"h=-9223372036854775808", L"h=", ArgWidth::Bits64), INT64_MIN);
    EXPECT_EQ(ReadArgValue(L"h=-9223372036854775809", L"h=", ArgWidth::Bits64), INT64_MIN);
    EXPECT_EQ(ReadArgValue(L"h=9223372036854775807", L"h=", ArgWidth::Bits64), INT64_MAX);
}

TEST(HostCommandLine, VersionAndParentDecideAcceptance) {
    EXPECT_FALSE(Accepts(L"v=4 pid=10"));
    EXPECT_TRUE(Accepts(L"v=3 pid=10"));
    EXPECT_TRUE(Accepts(L"v=0 pid=10"));
    EXPECT_TRUE(Accepts(L"v=-7 pid=10"));
    EXPECT_FALSE(Accepts(L"v=-1 pid=10"));
    EXPECT_TRUE(Accepts(L"v=x pid=10"));
    EXPECT_FALSE(Accepts(L"v=2147483648 pid=10")) << "saturates above the highest version";
    EXPECT_FALSE(Accepts(L"pid=10"));
    EXPECT_FALSE(Accepts(L"v=3"));
    EXPECT_FALSE(Accepts(L"v=3 pid=-1"));
    EXPECT_TRUE(Accepts(L"v=3 pid=-2"));
    EXPECT_TRUE(Accepts(L"v=3 pid=x")) << "pid text without digits reads as 0";
    EXPECT_FALSE(Accepts(L""));
}

TEST(HostCommandLine, KeysInAnyOrderAndReportWindowsDefaultToMinusOne) {
    HostArgs args;
    ASSERT_TRUE(Accepts(L"pid=12 v=2", &args));
    EXPECT_EQ(args.version, 2);
    EXPECT_EQ(args.parentPid, 12);
    EXPECT_EQ(args.songReportWindow, -1);
    EXPECT_EQ(args.editorReportWindow, -1);
}

TEST(HostCommandLine, EachValueIsReadFromItsOwnText) {
    HostArgs args;
    ASSERT_TRUE(Accepts(L"v=3 pid=52 hwndpf=1234567 hwndee=98", &args));
    EXPECT_EQ(args.songReportWindow, 1234567);
    EXPECT_EQ(args.editorReportWindow, 98);
}

TEST(HostCommandLine, HandleWidthFollowsTheProgram) {
    const wchar_t* line = L"v=3 pid=1 hwndpf=4294967296 hwndee=-4294967296";
    HostArgs wide;
    HostArgs narrow;
    ASSERT_TRUE(ParseHostCommandLine(line, ArgWidth::Bits64, &wide));
    ASSERT_TRUE(ParseHostCommandLine(line, ArgWidth::Bits32, &narrow));
    EXPECT_EQ(wide.songReportWindow, 4294967296LL);
    EXPECT_EQ(wide.editorReportWindow, -4294967296LL);
    EXPECT_EQ(narrow.songReportWindow, INT32_MAX);
    EXPECT_EQ(narrow.editorReportWindow, INT32_MIN);
    // The version and parent are 32-bit in both programs.
    ASSERT_TRUE(ParseHostCommandLine(L"v=3 pid=4294967296", ArgWidth::Bits64, &wide));
    EXPECT_EQ(wide.parentPid, INT32_MAX);
}

} // namespace
