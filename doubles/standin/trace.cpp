#include "doubles/standin/trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace {

// Lines from the user-interface thread and the mixing thread, and from all three
// libraries, go to one file. Appending alone does not keep concurrent lines apart under
// Wine, so every line is written under a lock the libraries of one process share: a
// word in memory mapped by name, taken with an atomic exchange (a kernel mutex would
// cost a round trip to the Wine server for every line).
struct TraceFile {
    HANDLE file;
    volatile LONG* lock; // 0 free, 1 taken
};

HANDLE OpenFileToAppend() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetEnvironmentVariableW(L"QB_TRACE", path, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4) {
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

volatile LONG* SharedLockWord() {
    wchar_t name[64];
    std::swprintf(name, 64, L"Local\\QuillbrookTrace.%lu",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    const HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), name);
    if (mapping == nullptr) {
        return nullptr;
    }
    return static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
}

TraceFile OpenTrace() {
    return {OpenFileToAppend(), SharedLockWord()};
}

} // namespace

std::string TraceText(const wchar_t* text) {
    if (text == nullptr) {
        return "?";
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}

bool IsOtherStandinAddress(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module)) {
        return false;
    }
    return module == GetModuleHandleW(L"bassmidi.dll") ||
           module == GetModuleHandleW(L"bass_vst.dll");
}

void TraceCall(const char* format, ...) {
    static const TraceFile trace = OpenTrace();
    if (trace.file == INVALID_HANDLE_VALUE || trace.lock == nullptr) {
        return;
    }
    char line[8192]; // room for the longest paths a test sends
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof(line) - 1, format, args);
    va_end(args);
    if (length < 0) {
        return;
    }
    if (length > static_cast<int>(sizeof(line)) - 2) {
        length = static_cast<int>(sizeof(line)) - 2;
    }
    line[length] = '\n';
    DWORD written = 0;
    while (InterlockedExchange(trace.lock, 1) != 0) {
        SwitchToThread();
    }
    WriteFile(trace.file, line, static_cast<DWORD>(length) + 1, &written, nullptr);
    InterlockedExchange(trace.lock, 0);
}
