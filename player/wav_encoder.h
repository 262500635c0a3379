// The bytes of a WAV file of interleaved audio: its header and its samples, as 32-bit
// float or as 16-bit PCM with triangular dither. Portable, with no file I/O, so it is
// checked natively against an independent reader.
#pragma once

#include <cstddef>
#include <cstdint>

enum class WavFormat { Float32, Pcm16 };

// The header's size: 58 bytes for float (a format record with its extension size and
// a fact chunk, as non-PCM data wants), 44 for PCM.
size_t WavHeaderBytes(WavFormat format);

size_t WavBytesPerSample(WavFormat format);

// Writes the header for `frames` frames of `channels` channels at `sampleRate`. A
// writer that does not know the length yet writes 0 first and the header again at the
// end. False when the data would not fit the format's 32-bit sizes.
bool WriteWavHeader(WavFormat format, uint32_t sampleRate, uint16_t channels, uint64_t frames,
                    uint8_t* out);

// The dither's state: a small generator of uniform noise, seeded so a render is the
// same every time.
struct WavDither {
    uint32_t state = 0x9E3779B9u;
};

// Writes `count` samples (WavBytesPerSample each) to `out`. For PCM each sample gets
// triangular dither of one step and is clamped to the format's range; non-numbers are
// written as silence.
void EncodeWavSamples(WavFormat format, const float* samples, size_t count, WavDither* dither,
                      uint8_t* out);
