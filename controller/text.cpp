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

bool ParseClock(const std::wstring& text, double* milliseconds) {
    double total = 0;
    size_t start = 0;
    for (int part = 0; part < 3; ++part) {
        const size_t colon = text.find(L':', start);
        const std::wstring piece =
            text.substr(start, colon == std::wstring::npos ? colon : colon - start);
        wchar_t* end = nullptr;
        const double value = std::wcstod(piece.c_str(), &end);
        if (piece.empty() || *end != L'\0' || !(value >= 0) || !iswdigit(piece[0]) ||
            (colon != std::wstring::npos && piece.find(L'.') != std::wstring::npos)) {
            return false;
        }
        total = total * 60 + value;
        if (colon == std::wstring::npos) {
            *milliseconds = total * 1000;
            return total <= 1e9;
        }
        start = colon + 1;
    }
    return false;
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
