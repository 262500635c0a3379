// Reading and writing state files whole.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

enum class FileRead { Read, Failed, TooLarge };

// Reads the whole file into a buffer from malloc (the caller frees it), when it has at
// most `maxBytes` bytes.
FileRead ReadWholeFile(const wchar_t* path, size_t maxBytes, uint8_t** data, size_t* bytes);

// Writes the file as a pending file (common/pending_file.h): the name holds the old
// file or the new one whole, whatever happens meanwhile.
bool WriteWholeFile(const wchar_t* path, const uint8_t* data, size_t bytes);
