#include "plugin/state_file_io.h"

#include <cstdlib>
#include <cwchar>

#include "protocol/quillbrook_protocol.h"

namespace {

constexpr size_t kTempSuffixChars = 40;
constexpr DWORD kWritePiece = 1u << 20;

bool WriteAll(HANDLE file, const uint8_t* data, size_t bytes) {
    while (bytes > 0) {
        const DWORD piece = bytes < kWritePiece ? static_cast<DWORD>(bytes) : kWritePiece;
        DWORD written = 0;
        if (WriteFile(file, data, piece, &written, nullptr) == 0 || written != piece) {
            return false;
        }
        data += piece;
        bytes -= piece;
    }
    return true;
}

} // namespace

FileRead ReadWholeFile(const wchar_t* path, size_t maxBytes, uint8_t** data, size_t* bytes) {
    *data = nullptr;
    *bytes = 0;
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return FileRead::Failed;
    }
    LARGE_INTEGER size;
    FileRead result = FileRead::Failed;
    if (GetFileSizeEx(file, &size) != 0) {
        if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
            result = FileRead::TooLarge;
        } else {
            const auto length = static_cast<size_t>(size.QuadPart);
            auto* buffer = static_cast<uint8_t*>(std::malloc(length > 0 ? length : 1));
            DWORD read = 0;
            if (buffer != nullptr &&
                ReadFile(file, buffer, static_cast<DWORD>(length), &read, nullptr) != 0 &&
                read == length) {
                *data = buffer;
                *bytes = length;
                result = FileRead::Read;
            } else {
                std::free(buffer);
            }
        }
    }
    CloseHandle(file);
    return result;
}

bool WriteWholeFile(const wchar_t* path, const uint8_t* data, size_t bytes) {
    static unsigned long saves = 0;
    wchar_t temp[QB_PAYLOAD_CHARS + kTempSuffixChars];
    const int length = std::swprintf(temp, sizeof(temp) / sizeof(temp[0]), L"%ls.qbtmp-%lu-%lu",
                                     path, GetCurrentProcessId(), ++saves);
    if (length < 0) {
        return false;
    }
    const HANDLE file =
        CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool written = WriteAll(file, data, bytes) && FlushFileBuffers(file) != 0;
    CloseHandle(file);
    if (!written ||
        MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        DeleteFileW(temp);
        return false;
    }
    return true;
}
