// The WAV encoder's files as sox, an independent reader, reads them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "player/wav_encoder.h"

namespace {

constexpr uint32_t kRate = 48000;
constexpr uint16_t kChannels = 2;
constexpr size_t kFrames = 4800;

std::vector<float> Sine() {
    std::vector<float> samples(kFrames * kChannels);
    for (size_t i = 0; i < kFrames; ++i) {
        samples[2 * i] = static_cast<float>(0.8 * std::sin(static_cast<double>(i) * 0.05));
        samples[2 * i + 1] = static_cast<float>(-0.3 * std::sin(static_cast<double>(i) * 0.011));
    }
    samples[10] = 1.7f; // beyond full scale
    samples[11] = -2.0f;
    samples[12] = std::nanf(""); // not a number
    return samples;
}

std::string WriteFile(WavFormat format, const std::vector<float>& samples) {
    char folder[] = "/tmp/qb-wav-XXXXXX";
    EXPECT_NE(mkdtemp(folder), nullptr);
    std::string path = std::string(folder) + "/out.wav";
    std::vector<uint8_t> bytes(WavHeaderBytes(format) + samples.size() * WavBytesPerSample(format));
    EXPECT_TRUE(WriteWavHeader(format, kRate, kChannels, samples.size() / kChannels, bytes.data()));
    WavDither dither;
    EncodeWavSamples(format, samples.data(), samples.size(), &dither,
                     bytes.data() + WavHeaderBytes(format));
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
}

std::string Run(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    char buffer[4096];
    size_t read = 0;
    while (pipe != nullptr && (read = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        output.append(buffer, read);
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return output;
}

void Remove(const std::string& path) {
    std::remove(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}

bool HaveSox() {
    return std::system("sox --version >/dev/null 2>&1") == 0;
}

template <typename T> std::vector<T> Decoded(const std::string& path, const char* type) {
    const std::string raw = Run("sox " + path + " -t " + type + " -");
    std::vector<T> values(raw.size() / sizeof(T));
    std::memcpy(values.data(), raw.data(), values.size() * sizeof(T));
    return values;
}

void ExpectInfo(const std::string& path, const char* bits, const char* encoding) {
    EXPECT_EQ(Run("sox --i -r " + path), "48000\n");
    EXPECT_EQ(Run("sox --i -c " + path), "2\n");
    EXPECT_EQ(Run("sox --i -s " + path), std::to_string(kFrames) + "\n");
    EXPECT_EQ(Run("sox --i -b " + path), std::string(bits) + "\n");
    EXPECT_EQ(Run("sox --i -e " + path), std::string(encoding) + "\n");
}

// sox reads through 32-bit integers, so a float comes back within a few of its last bits.
TEST(WavEncoder, FloatFilesReadBackAsWritten) {
    if (!HaveSox()) {
        GTEST_SKIP() << "sox is not installed";
    }
    const std::vector<float> samples = Sine();
    const std::string path = WriteFile(WavFormat::Float32, samples);
    ExpectInfo(path, "32", "Floating Point PCM");
    const std::vector<float> read = Decoded<float>(path, "f32");
    ASSERT_EQ(read.size(), samples.size());
    for (size_t i = 0; i < read.size(); ++i) {
        if (i == 12) {
            EXPECT_EQ(read[i], 0.0f) << "a non-number is silence";
        } else if (i != 10 && i != 11) {
            ASSERT_NEAR(read[i], samples[i], 1e-7) << i;
        }
    }
    Remove(path);
}

TEST(WavEncoder, PcmFilesAreWithinOneStepAndClamped) {
    if (!HaveSox()) {
        GTEST_SKIP() << "sox is not installed";
    }
    const std::vector<float> samples = Sine();
    const std::string path = WriteFile(WavFormat::Pcm16, samples);
    ExpectInfo(path, "16", "Signed Integer PCM");
    const std::vector<int16_t> read = Decoded<int16_t>(path, "s16");
    ASSERT_EQ(read.size(), samples.size());
    double errorSum = 0;
    for (size_t i = 13; i < read.size(); ++i) {
        const double error = read[i] - samples[i] * 32767.0;
        ASSERT_LE(std::fabs(error), 1.5) << i;
        errorSum += error;
    }
    EXPECT_LT(std::fabs(errorSum / static_cast<double>(read.size())), 0.05) << "dither has no bias";
    EXPECT_EQ(read[10], 32767);
    EXPECT_EQ(read[11], -32768);
    EXPECT_LE(std::abs(read[12]), 1) << "a non-number is silence, dithered";
    Remove(path);
}

TEST(WavEncoder, SizesBeyondTheFormatAreRefused) {
    std::vector<uint8_t> header(WavHeaderBytes(WavFormat::Float32));
    EXPECT_FALSE(WriteWavHeader(WavFormat::Float32, kRate, kChannels, 1ull << 29, header.data()));
    EXPECT_TRUE(
        WriteWavHeader(WavFormat::Float32, kRate, kChannels, (1ull << 29) - 16, header.data()));
    EXPECT_FALSE(WriteWavHeader(WavFormat::Pcm16, kRate, 0, 10, header.data()));
}

} // namespace
