#include "common/pending_file.h"

#include <cwchar>

namespace {

constexpr DWORD kWritePiece = 1u << 20;

} // namespace

bool OpenPendingFile(PendingFile* file, const wchar_t* path) {
    static unsigned long opened = 0;
    file->handle = INVALID_HANDLE_VALUE;
    file->path = path;
    const int length = std::swprintf(file->temp, sizeof(file->temp) / sizeof(file->temp[0]),
                                     L"%ls.qbtmp-%lu-%lu", path, GetCurrentProcessId(), ++opened);
    if (length < 0) {
        return false;
    }
    file->handle = CreateFileW(file->temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    return file->handle != INVALID_HANDLE_VALUE;
}

bool AppendPendingFile(PendingFile* file, const uint8_t* data, size_t bytes) {
    while (bytes > 0) {
        const DWORD piece = bytes < kWritePiece ? static_cast<DWORD>(bytes) : kWritePiece;
        DWORD written = 0;
        if (WriteFile(file->handle, data, piece, &written, nullptr) == 0 || written != piece) {
            return false;
        }
        data += piece;
        bytes -= piece;
    }
    return true;
}

bool RewritePendingFile(PendingFile* file, uint64_t offset, const uint8_t* data, size_t bytes) {
    LARGE_INTEGER at;
    LARGE_INTEGER end;
    const LARGE_INTEGER none = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file->handle, none, &end, FILE_CURRENT) != 0 &&
           SetFilePointerEx(file->handle, at, nullptr, FILE_BEGIN) != 0 &&
           AppendPendingFile(file, data, bytes) &&
           SetFilePointerEx(file->handle, end, nullptr, FILE_BEGIN) != 0;
}

bool FinishPendingFile(PendingFile* file) {
    const bool flushed = FlushFileBuffers(file->handle) != 0;
    CloseHandle(file->handle);
    file->handle = INVALID_HANDLE_VALUE;
    if (!flushed || MoveFileExW(file->temp, file->path,
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        DeleteFileW(file->temp);
        return false;
    }
    return true;
}

void AbandonPendingFile(PendingFile* file) {
    if (file->handle != INVALID_HANDLE_VALUE) {
        CloseHandle(file->handle);
        file->handle = INVALID_HANDLE_VALUE;
    }
    DeleteFileW(file->temp);
}
