#include "standin_env.h"

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
