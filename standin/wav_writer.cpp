#include "wav_writer.h"

#include <cstring>

namespace {

constexpr DWORD kHeaderBytes = 44;
constexpr WORD kIeeeFloat = 3;
constexpr DWORD kRiffSizeOffset = 4;
constexpr DWORD kDataSizeOffset = 40;

void Put32(unsigned char* at, DWORD value) {
    std::memcpy(at, &value, 4);
}
void Put16(unsigned char* at, WORD value) {
    std::memcpy(at, &value, 2);
}

// Chunk names: four characters, no terminator.
void PutName(unsigned char* at, const char* name) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(name[i]);
    }
}

void WriteAt(HANDLE file, DWORD offset, const void* data, DWORD bytes) {
    SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    DWORD written = 0;
    WriteFile(file, data, bytes, &written, nullptr);
}

} // namespace

bool WavWriter::Open(const wchar_t* path, DWORD sampleRate, DWORD channels) {
    file_ = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        return false;
    }
    unsigned char header[kHeaderBytes] = {};
    PutName(header, "RIFF");
    PutName(header + 8, "WAVE");
    PutName(header + 12, "fmt ");
    Put32(header + 16, 16);
    Put16(header + 20, kIeeeFloat);
    Put16(header + 22, static_cast<WORD>(channels));
    Put32(header + 24, sampleRate);
    Put32(header + 28, sampleRate * channels * 4);
    Put16(header + 32, static_cast<WORD>(channels * 4));
    Put16(header + 34, 32);
    PutName(header + 36, "data");
    WriteAt(file_, 0, header, kHeaderBytes);
    WriteSizes();
    return true;
}

void WavWriter::Append(const float* samples, DWORD count) {
    if (file_ == INVALID_HANDLE_VALUE) {
        return;
    }
    const DWORD bytes = count * sizeof(float);
    if (dataBytes_ > 0xFFFFFFFFu - kHeaderBytes - bytes) {
        return; // a WAV file cannot grow past 4 GiB
    }
    WriteAt(file_, kHeaderBytes + dataBytes_, samples, bytes);
    dataBytes_ += bytes;
    WriteSizes();
}

void WavWriter::WriteSizes() {
    unsigned char size[4];
    Put32(size, kHeaderBytes - 8 + dataBytes_);
    WriteAt(file_, kRiffSizeOffset, size, 4);
    Put32(size, dataBytes_);
    WriteAt(file_, kDataSizeOffset, size, 4);
}
