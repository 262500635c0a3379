// Reading and writing state files whole.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

enum class FileRead { Read, Failed, TooLarge };

// Reads the whole file into a buffer from malloc (the caller frees it), when it has at
// most `maxBytes` bytes.
FileRead ReadWholeFile(const wchar_t* path, size_t maxBytes, uint8_t** data, size_t* bytes);

// Writes the file so that it is either the old one or the new one whole, whatever
// happens meanwhile: into a temporary file beside it (a name of its own for every
// save, so two saves at once never share one), flushed to the disk, then renamed over
// the old. A save that cannot finish removes its temporary file; one killed half-way
// leaves it behind, named after the file with ".qbtmp-" and two numbers appended.
bool WriteWholeFile(const wchar_t* path, const uint8_t* data, size_t bytes);
