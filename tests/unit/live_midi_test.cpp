#include <gtest/gtest.h>

#include <vector>

#include "host/midi_payload.h"

namespace {

struct Delivered {
    uint32_t packed; // short messages
    uint32_t length; // system exclusive
};

std::vector<Delivered> g_delivered;
size_t g_refuseAfter = SIZE_MAX; // the library's queue for the call is full after this many
uint32_t g_neverTaken = 0;       // a short message the library never accepts

BOOL WINAPI Record(DWORD /*instrument*/, const void* event, DWORD length) {
    if (g_delivered.size() >= g_refuseAfter ||
        (length == 0 && reinterpret_cast<uintptr_t>(event) == g_neverTaken)) {
        return 0;
    }
    g_delivered.push_back({length == 0 ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event))
                                       : static_cast<const uint8_t*>(event)[0],
                           length});
    return 1;
}

class LiveMidiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_delivered.clear();
        g_refuseAfter = SIZE_MAX;
        g_neverTaken = 0;
        queue_.written.store(0);
        queue_.taken.store(0);
    }

    bool Queue(const wchar_t* text) {
        uint32_t count = 0;
        return ParseMidiPayload(text, messages_, &count) &&
               QueueLiveMessages(&queue_, Record, messages_, count);
    }

    LiveMidiQueue queue_;
    LiveMessage messages_[kMidiPayloadMessages];
};

TEST_F(LiveMidiTest, MessagesReachTheInstrumentInOrderAtTheNextPull) {
    ASSERT_TRUE(Queue(L"90 3C 64"));
    ASSERT_TRUE(Queue(L"903E64 C0 05 F0 7E 7F 09 01 F7 E0 00 40"));
    EXPECT_TRUE(g_delivered.empty()) << "nothing before the pull";
    SendLiveMessages(&queue_, 1);
    ASSERT_EQ(g_delivered.size(), 5u);
    EXPECT_EQ(g_delivered[0].packed, 0x903C64u);
    EXPECT_EQ(g_delivered[1].packed, 0x903E64u);
    EXPECT_EQ(g_delivered[2].packed, 0xC00500u);
    EXPECT_EQ(g_delivered[3].packed, 0xF0u);
    EXPECT_EQ(g_delivered[3].length, 6u);
    EXPECT_EQ(g_delivered[4].packed, 0xE00040u);
    SendLiveMessages(&queue_, 1);
    EXPECT_EQ(g_delivered.size(), 5u) << "each message once";
}

TEST_F(LiveMidiTest, WhatTheLibraryRefusesWaitsForTheNextPull) {
    ASSERT_TRUE(Queue(L"90 30 64 90 31 64 90 32 64"));
    g_refuseAfter = 1;
    SendLiveMessages(&queue_, 1);
    ASSERT_EQ(g_delivered.size(), 1u);
    g_refuseAfter = SIZE_MAX;
    SendLiveMessages(&queue_, 1);
    ASSERT_EQ(g_delivered.size(), 3u);
    EXPECT_EQ(g_delivered[1].packed, 0x903164u);
    EXPECT_EQ(g_delivered[2].packed, 0x903264u);
}

TEST_F(LiveMidiTest, AMessageRefusedAtTheStartOfAPullIsDroppedAndTheRestGoOn) {
    ASSERT_TRUE(Queue(L"90 30 64 90 31 64 90 32 64"));
    g_neverTaken = 0x903164;
    SendLiveMessages(&queue_, 1);
    ASSERT_EQ(g_delivered.size(), 1u) << "refused after another: it may only be full";
    SendLiveMessages(&queue_, 1);
    ASSERT_EQ(g_delivered.size(), 2u) << "refused with nothing before it: never taken";
    EXPECT_EQ(g_delivered[1].packed, 0x903264u);
    EXPECT_FALSE(HasLiveMessages(&queue_));
}

TEST_F(LiveMidiTest, AFullQueueTakesNoneAndOnePullHandsOverABoundedNumber) {
    for (uint32_t i = 0; i < kLiveSlots; ++i) {
        ASSERT_TRUE(Queue(L"B0 07 64")) << i;
    }
    EXPECT_FALSE(Queue(L"90 3C 64"));
    SendLiveMessages(&queue_, 1);
    EXPECT_EQ(g_delivered.size(), kLivePerPull);
    EXPECT_TRUE(Queue(L"90 3C 64")) << "room again after the pull";
    DropLiveMessages(&queue_);
    SendLiveMessages(&queue_, 1);
    EXPECT_EQ(g_delivered.size(), kLivePerPull) << "dropped with the instrument";
}

TEST(MidiPayload, OnlyCompleteMessagesAreTaken) {
    LiveMessage messages[kMidiPayloadMessages];
    uint32_t count = 0;
    for (const wchar_t* bad :
         {L"", L"  ", L"90 3C", L"3C 40", L"90 3C 80", L"F0 01", L"F0 01 90 F7", L"9", L"90 3C 6",
          L"F8", L"F7", L"90 3C 64 zz", L"0x90 3C 64"}) {
        EXPECT_FALSE(ParseMidiPayload(bad, messages, &count)) << static_cast<const void*>(bad);
    }
    std::wstring many;
    for (uint32_t i = 0; i <= kMidiPayloadMessages; ++i) {
        many += L"C0 01 ";
    }
    EXPECT_FALSE(ParseMidiPayload(many.c_str(), messages, &count)) << "too many";
    ASSERT_TRUE(ParseMidiPayload(L"d0 7f\t80 3c 00\n", messages, &count));
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(messages[0].length, 2u);
    EXPECT_EQ(PackShortMessage(messages[1]), 0x803C00u);
}

} // namespace
