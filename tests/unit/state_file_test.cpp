#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/state_file.h"
#include "protocol/quillbrook_protocol.h"

namespace {

std::vector<uint8_t> Encode(const StateHeader& header, const void* body) {
    std::vector<uint8_t> file(StateFileBytes(header));
    EncodeStateFile(header, body, file.data());
    return file;
}

StateCheck Check(const std::vector<uint8_t>& file, StateHeader* header = nullptr) {
    StateHeader read = {};
    const uint8_t* body = nullptr;
    const StateCheck check = DecodeStateFile(file.data(), file.size(), &read, &body);
    if (header != nullptr) {
        *header = read;
    }
    return check;
}

// Puts a fresh checksum on an edited file, as a hostile writer would.
void Reseal(std::vector<uint8_t>* file) {
    const uint32_t crc = Crc32(file->data(), file->size() - 4);
    std::memcpy(file->data() + file->size() - 4, &crc, 4);
}

const float kValues[3] = {0.0f, 0.3f, 1.0f};
const uint8_t kChunk[5] = {1, 2, 3, 4, 5};

TEST(StateFile, ParametersAndChunksComeBackAsWritten) {
    StateHeader header = {};
    const auto params = Encode({QB_STATE_PARAMS, 0x51424B31, 7, 2, 3}, kValues);
    ASSERT_EQ(Check(params, &header), StateCheck::Good);
    EXPECT_EQ(header.uniqueId, 0x51424B31u);
    EXPECT_EQ(header.version, 7u);
    EXPECT_EQ(header.program, 2);
    ASSERT_EQ(header.count, 3u);
    EXPECT_EQ(StateParamValue(params.data() + kStateHeaderBytes, 1), 0.3f);

    const auto chunk = Encode({QB_STATE_CHUNK, 1, 1, -1, sizeof(kChunk)}, kChunk);
    ASSERT_EQ(Check(chunk, &header), StateCheck::Good);
    EXPECT_EQ(header.program, -1);
    EXPECT_EQ(std::memcmp(chunk.data() + kStateHeaderBytes, kChunk, sizeof(kChunk)), 0);
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(StateFile, EveryCutAndEveryFlippedBitIsRefused) {
    const auto good = Encode({QB_STATE_CHUNK, 9, 1, 0, sizeof(kChunk)}, kChunk);
    for (size_t length = 0; length < good.size(); ++length) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(length));
        EXPECT_NE(Check(cut), StateCheck::Good) << length;
    }
    for (size_t byte = 0; byte < good.size(); ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            auto flipped = good;
            flipped[byte] ^= static_cast<uint8_t>(1 << bit);
            EXPECT_NE(Check(flipped), StateCheck::Good) << byte << ":" << bit;
        }
    }
}

TEST(StateFile, SealedButImpossibleFilesAreRefused) {
    auto newer = Encode({QB_STATE_PARAMS, 1, 1, 0, 3}, kValues);
    newer[4] = 2;
    Reseal(&newer);
    EXPECT_EQ(Check(newer), StateCheck::UnknownVersion);

    const float wild[2] = {0.5f, 1.5f};
    EXPECT_EQ(Check(Encode({QB_STATE_PARAMS, 1, 1, 0, 2}, wild)), StateCheck::Damaged);
    const float notANumber[1] = {__builtin_nanf("")};
    EXPECT_EQ(Check(Encode({QB_STATE_PARAMS, 1, 1, 0, 1}, notANumber)), StateCheck::Damaged);

    auto lying = Encode({QB_STATE_PARAMS, 1, 1, 0, 3}, kValues);
    lying[24] = 2; // claims one value fewer than it holds
    Reseal(&lying);
    EXPECT_EQ(Check(lying), StateCheck::Damaged);
    lying[24] = 0xFF, lying[25] = 0xFF, lying[26] = 0xFF, lying[27] = 0xFF;
    Reseal(&lying);
    EXPECT_EQ(Check(lying), StateCheck::Damaged);

    auto unknownKind = Encode({QB_STATE_PARAMS, 1, 1, 0, 3}, kValues);
    unknownKind[8] = 3;
    Reseal(&unknownKind);
    EXPECT_EQ(Check(unknownKind), StateCheck::Damaged);

    EXPECT_EQ(StateFileBytes({QB_STATE_CHUNK, 1, 1, 0, 0}), 0u) << "an empty chunk";
    EXPECT_EQ(StateFileBytes({QB_STATE_CHUNK, 1, 1, 0, kMaxStateChunkBytes + 1}), 0u);
    EXPECT_EQ(StateFileBytes({QB_STATE_PARAMS, 1, 1, 0, 0}), kStateHeaderBytes + 4);
}

} // namespace
