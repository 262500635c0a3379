#include "host/command_line.h"

#include <cwchar>

#include "common/decimal_text.h"

int64_t ReadArgValue(const wchar_t* line, const wchar_t* key, ArgWidth width) {
    const wchar_t* found = std::wcsstr(line, key);
    if (found == nullptr) {
        return -1;
    }
    const wchar_t* text = found + std::wcslen(key);
    const wchar_t* end = text;
    while (*end != L'\0' && *end != L' ') {
        ++end;
    }
    if (width == ArgWidth::Bits32) {
        return ReadDecimal(text, end, INT32_MIN, INT32_MAX);
    }
    return ReadDecimal(text, end, INT64_MIN, INT64_MAX);
}

bool ParseHostCommandLine(const wchar_t* line, ArgWidth handleWidth, HostArgs* out) {
    const int64_t version = ReadArgValue(line, L"v=", ArgWidth::Bits32);
    if (version == -1 || version > kMaxInterfaceVersion) {
        return false;
    }
    const int64_t pid = ReadArgValue(line, L"pid=", ArgWidth::Bits32);
    if (pid == -1) {
        return false;
    }
    out->version = static_cast<int32_t>(version);
    out->parentPid = static_cast<int32_t>(pid);
    out->songReportWindow = ReadArgValue(line, L"hwndpf=", handleWidth);
    out->editorReportWindow = ReadArgValue(line, L"hwndee=", handleWidth);
    return true;
}
