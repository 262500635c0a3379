#include "controller/text.h"

#include <cmath>
#include <cstdio>
#include <cwchar>

bool Fail(const char* message, const std::wstring& detail) {
    std::fprintf(stderr, "quillctl: %s%s\n", message, Narrow(detail).c_str());
    return false;
}

void Warn(const std::wstring& message) {
    std::fprintf(stderr, "quillctl: warning: %s\n", Narrow(message).c_str());
}

bool ParseSeconds(const std::wstring& text, DWORD* milliseconds) {
    wchar_t* end = nullptr;
    const double seconds = std::wcstod(text.c_str(), &end);
    if (text.empty() || *end != L'\0' || !(seconds >= 0) || seconds > 86400) {
        return false;
    }
    *milliseconds = static_cast<DWORD>(std::lround(seconds * 1000));
    return true;
}

bool ParseNumber(const std::wstring& text, unsigned long long* value) {
    wchar_t* end = nullptr;
    *value = std::wcstoull(text.c_str(), &end, 10);
    return !text.empty() && *end == L'\0' && iswdigit(text[0]);
}

std::wstring HandleText(HWND window) {
    return std::to_wstring(static_cast<long long>(reinterpret_cast<intptr_t>(window)));
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size);
    return result;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}
