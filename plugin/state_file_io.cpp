#include "plugin/state_file_io.h"

#include <cstdlib>

#include "common/pending_file.h"

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
    PendingFile file;
    if (!OpenPendingFile(&file, path)) {
        return false;
    }
    if (!AppendPendingFile(&file, data, bytes)) {
        AbandonPendingFile(&file);
        return false;
    }
    return FinishPendingFile(&file);
}
