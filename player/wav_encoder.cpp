#include "player/wav_encoder.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr size_t kFloatHeaderBytes = 58;
constexpr size_t kPcmHeaderBytes = 44;
constexpr float kPcmScale = 32767.0f;

uint8_t* Put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    return at + 2;
}

uint8_t* Put32(uint8_t* at, uint32_t value) {
    return Put16(Put16(at, value & 0xFFFF), value >> 16);
}

uint8_t* PutTag(uint8_t* at, const char* tag) {
    std::memcpy(at, tag, 4);
    return at + 4;
}

// Uniform in [-0.5, 0.5).
float Uniform(WavDither* dither) {
    dither->state = dither->state * 1664525u + 1013904223u;
    return static_cast<float>(dither->state >> 8) / 16777216.0f - 0.5f;
}

} // namespace

size_t WavHeaderBytes(WavFormat format) {
    return format == WavFormat::Float32 ? kFloatHeaderBytes : kPcmHeaderBytes;
}

size_t WavBytesPerSample(WavFormat format) {
    return format == WavFormat::Float32 ? 4 : 2;
}

bool WriteWavHeader(WavFormat format, uint32_t sampleRate, uint16_t channels, uint64_t frames,
                    uint8_t* out) {
    const uint64_t frameBytes = WavBytesPerSample(format) * channels;
    const uint64_t dataBytes = frames * frameBytes;
    const uint64_t riffBytes = WavHeaderBytes(format) - 8 + dataBytes;
    if (channels == 0 || riffBytes > 0xFFFFFFFFu) {
        return false;
    }
    const bool isFloat = format == WavFormat::Float32;
    uint8_t* at = PutTag(out, "RIFF");
    at = Put32(at, static_cast<uint32_t>(riffBytes));
    at = PutTag(at, "WAVE");
    at = PutTag(at, "fmt ");
    at = Put32(at, isFloat ? 18 : 16);
    at = Put16(at, isFloat ? kFormatFloat : kFormatPcm);
    at = Put16(at, channels);
    at = Put32(at, sampleRate);
    at = Put32(at, static_cast<uint32_t>(sampleRate * frameBytes));
    at = Put16(at, static_cast<uint32_t>(frameBytes));
    at = Put16(at, static_cast<uint32_t>(WavBytesPerSample(format) * 8));
    if (isFloat) {
        at = Put16(at, 0); // no further format bytes
        at = PutTag(at, "fact");
        at = Put32(at, 4);
        at = Put32(at, static_cast<uint32_t>(frames));
    }
    at = PutTag(at, "data");
    Put32(at, static_cast<uint32_t>(dataBytes));
    return true;
}

void EncodeWavSamples(WavFormat format, const float* samples, size_t count, WavDither* dither,
                      uint8_t* out) {
    for (size_t i = 0; i < count; ++i) {
        const float sample = std::isfinite(samples[i]) ? samples[i] : 0.0f;
        if (format == WavFormat::Float32) {
            uint32_t bits = 0;
            std::memcpy(&bits, &sample, sizeof(bits));
            out = Put32(out, bits);
            continue;
        }
        float scaled = sample * kPcmScale + Uniform(dither) + Uniform(dither);
        scaled =
            scaled > kPcmScale ? kPcmScale : (scaled < -kPcmScale - 1 ? -kPcmScale - 1 : scaled);
        const auto value = static_cast<int16_t>(std::lround(scaled));
        out = Put16(out, static_cast<uint16_t>(value));
    }
}
