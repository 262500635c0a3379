#include "doubles/instruments/synth_programs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kChunkMagic[4] = {'Q', 'S', 'B', '1'};
constexpr int kTransposeRange = 12;

const SynthProgram kFactory[kSynthPrograms] = {
    {"Plain", {1.0f, 0.5f}},
    {"Soft", {0.4f, 0.5f}},
    {"High", {1.0f, 1.0f}},
    {"Low", {0.8f, 0.0f}},
};

void PutWord(uint8_t* at, uint32_t value) {
    std::memcpy(at, &value, 4);
}

uint32_t GetWord(const uint8_t* at) {
    uint32_t value = 0;
    std::memcpy(&value, at, 4);
    return value;
}

} // namespace

void InitSynthBank(SynthBank* bank) {
    std::memcpy(bank->programs, kFactory, sizeof(kFactory));
    bank->current = 0;
}

float SynthLevel(const SynthBank& bank) {
    return bank.programs[bank.current].values[0];
}

int SynthTranspose(const SynthBank& bank) {
    const float tuning = bank.programs[bank.current].values[1];
    return static_cast<int>(std::lround((tuning - 0.5f) * 2 * kTransposeRange));
}

void DescribeSynthParam(const SynthBank& bank, uint32_t index, char* name, char* unit,
                        char* display) {
    constexpr size_t kChars = 16;
    if (index == 0) {
        std::snprintf(name, kChars, "Level");
        std::snprintf(unit, kChars, "%%");
        std::snprintf(display, kChars, "%d", static_cast<int>(std::lround(SynthLevel(bank) * 100)));
    } else {
        std::snprintf(name, kChars, "Tuning");
        std::snprintf(unit, kChars, "semitones");
        std::snprintf(display, kChars, "%+d", SynthTranspose(bank));
    }
}

void WriteSynthChunk(const SynthBank& bank, uint8_t* chunk) {
    std::memcpy(chunk, kChunkMagic, 4);
    PutWord(chunk + 4, bank.current);
    uint8_t* at = chunk + 8;
    for (const SynthProgram& program : bank.programs) {
        std::memcpy(at, program.name, kSynthNameChars);
        at += kSynthNameChars;
        for (float value : program.values) {
            std::memcpy(at, &value, 4);
            at += 4;
        }
    }
}

bool ReadSynthChunk(SynthBank* bank, const uint8_t* chunk, uint32_t length) {
    if (length != kSynthChunkBytes || std::memcmp(chunk, kChunkMagic, 4) != 0 ||
        GetWord(chunk + 4) >= kSynthPrograms) {
        return false;
    }
    SynthBank read;
    read.current = GetWord(chunk + 4);
    const uint8_t* at = chunk + 8;
    for (SynthProgram& program : read.programs) {
        std::memcpy(program.name, at, kSynthNameChars);
        program.name[kSynthNameChars - 1] = '\0';
        at += kSynthNameChars;
        for (float& value : program.values) {
            std::memcpy(&value, at, 4);
            at += 4;
            if (!(value >= 0.0f && value <= 1.0f)) {
                return false;
            }
        }
    }
    *bank = read;
    return true;
}
