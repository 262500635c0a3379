// The test instruments' programs and parameters: a bank of programs, each with its own
// level and tuning, and its form as a chunk. Portable.
#pragma once

#include <cstdint>

constexpr uint32_t kSynthParams = 2; // 0 level, 1 tuning
constexpr uint32_t kSynthPrograms = 4;
constexpr uint32_t kSynthNameChars = 24;

struct SynthProgram {
    char name[kSynthNameChars];
    float values[kSynthParams];
};

struct SynthBank {
    SynthProgram programs[kSynthPrograms];
    uint32_t current;
};

// The factory bank; its first program sounds as the instrument did before it had any.
void InitSynthBank(SynthBank* bank);

// The current program's sound: the level, and the shift in semitones (-12 to 12).
float SynthLevel(const SynthBank& bank);
int SynthTranspose(const SynthBank& bank);

// The parameter's name, unit and display text (16 characters each with the zero).
void DescribeSynthParam(const SynthBank& bank, uint32_t index, char* name, char* unit,
                        char* display);

// The bank as a chunk, and back; a chunk that is not one of this bank's is refused.
constexpr uint32_t kSynthChunkBytes = 8 + kSynthPrograms * (kSynthNameChars + kSynthParams * 4);
void WriteSynthChunk(const SynthBank& bank, uint8_t* chunk);
bool ReadSynthChunk(SynthBank* bank, const uint8_t* chunk, uint32_t length);
