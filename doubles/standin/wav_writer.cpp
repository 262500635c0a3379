#include "doubles/standin/wav_writer.h"

#include <cstring>

namespace {

// RIFF header, a "fmt " chunk with its extension size (as every format but PCM has),
// a "fact" chunk with the frame count (likewise), then the data chunk's header.
constexpr DWORD kHeaderBytes = 12 + 26 + 12 + 8;
constexpr WORD kIeeeFloat = 3;
constexpr DWORD kRiffSizeOffset = 4;
constexpr DWORD kFrameCountOffset = 46;
constexpr DWORD kDataSizeOffset = 54;

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
    Put32(header + 16, 18);
    Put16(header + 20, kIeeeFloat);
    Put16(header + 22, static_cast<WORD>(channels));
    Put32(header + 24, sampleRate);
    Put32(header + 28, sampleRate * channels * 4);
    Put16(header + 32, static_cast<WORD>(channels * 4));
    Put16(header + 34, 32);
    Put16(header + 36, 0); // no further format bytes
    PutName(header + 38, "fact");
    Put32(header + 42, 4);
    PutName(header + 50, "data");
    frameBytes_ = channels * 4;
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
    Put32(size, frameBytes_ != 0 ? dataBytes_ / frameBytes_ : 0);
    WriteAt(file_, kFrameCountOffset, size, 4);
}
