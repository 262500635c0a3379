#include <gtest/gtest.h>

#include "host/payload_words.h"

namespace {

TEST(PayloadWords, NumbersWithFractionsAndKeywords) {
    PayloadWords words;
    ASSERT_TRUE(SplitPayloadWords(L"  0.25\t1500 PAUSE ", &words));
    ASSERT_EQ(words.count, 3u);
    double value = 0;
    EXPECT_TRUE(PayloadNumber(words, 0, &value));
    EXPECT_DOUBLE_EQ(value, 0.25);
    EXPECT_TRUE(PayloadNumber(words, 1, &value));
    EXPECT_DOUBLE_EQ(value, 1500);
    EXPECT_TRUE(PayloadWordIs(words, 2, L"pause"));
    EXPECT_FALSE(PayloadWordIs(words, 2, L"paus"));
    EXPECT_FALSE(PayloadNumber(words, 2, &value));
    EXPECT_FALSE(PayloadNumber(words, 3, &value)) << "no such word";
}

TEST(PayloadWords, WhatIsNotANumberOrTooMuch) {
    PayloadWords words;
    ASSERT_TRUE(SplitPayloadWords(L"-1 1e5 . 1.2.3", &words));
    double value = 0;
    for (size_t i = 0; i < words.count; ++i) {
        EXPECT_FALSE(PayloadNumber(words, i, &value)) << i;
    }
    ASSERT_TRUE(SplitPayloadWords(L"5. .5 10000000000000", &words));
    EXPECT_TRUE(PayloadNumber(words, 0, &value));
    EXPECT_TRUE(PayloadNumber(words, 1, &value));
    EXPECT_FALSE(PayloadNumber(words, 2, &value)) << "beyond 1e12";
    EXPECT_FALSE(SplitPayloadWords(L"1 2 3 4 5", &words));
    EXPECT_TRUE(SplitPayloadWords(L"", &words));
    EXPECT_EQ(words.count, 0u);
}

} // namespace
