#include "host/reports.h"

void SendReport(HWND window, const wchar_t* text) {
    if (!IsWindow(window)) {
        return;
    }
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                        SMTO_BLOCK | SMTO_ABORTIFHUNG, kReportTimeoutMs, &result);
}

void SendTextAnswer(HWND window, ULONG_PTR code, const wchar_t* text) {
    if (!IsWindow(window)) {
        return;
    }
    COPYDATASTRUCT record;
    record.dwData = code;
    record.cbData = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    record.lpData = const_cast<wchar_t*>(text);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record),
                        SMTO_BLOCK | SMTO_ABORTIFHUNG, kReportTimeoutMs, &result);
}
