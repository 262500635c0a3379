// A WAV file of 32-bit float samples that is valid after every write, so it can be
// read even when the process is ended without warning.
#pragma once

#include <windows.h>

class WavWriter {
  public:
    bool Open(const wchar_t* path, DWORD sampleRate, DWORD channels);
    void Append(const float* samples, DWORD count);

  private:
    void WriteSizes();

    HANDLE file_ = INVALID_HANDLE_VALUE;
    DWORD dataBytes_ = 0;
    DWORD frameBytes_ = 0;
};
