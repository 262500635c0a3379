#include "doubles/standin/standin_env.h"

#include <cstdio>
#include <cwchar>

std::wstring EnvText(const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0) {
        return std::wstring();
    }
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, &value[0], needed);
    value.resize(length < needed ? length : 0);
    return value;
}

unsigned long long EnvNumber(const wchar_t* name, unsigned long long fallback) {
    const std::wstring text = EnvText(name);
    if (text.empty()) {
        return fallback;
    }
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(text.c_str(), &end, 10);
    return (end == text.c_str() || *end != L'\0') ? fallback : value;
}

namespace {

// Wine runs a Windows program as an ordinary Linux process and lets its code make
// Linux system calls: getpid is 39 on x86-64 and 20 through int 0x80 on x86.
long UnixProcessId() {
    long pid = 0;
#if defined(__x86_64__)
    __asm__ volatile("syscall" : "=a"(pid) : "a"(39L) : "rcx", "r11", "memory");
#else
    __asm__ volatile("int $0x80" : "=a"(pid) : "a"(20L) : "memory");
#endif
    return pid;
}

} // namespace

void WriteUnixProcessId() {
    const std::wstring path = EnvText(L"QB_PID_FILE");
    if (path.empty()) {
        return;
    }
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    char text[32];
    const int length = std::snprintf(text, sizeof(text), "%ld\n", UnixProcessId());
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}
