#include "host/reports.h"

void SendReport(HWND window, const wchar_t* text) {
    if (!IsWindow(window)) {
        return;
    }
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                        SMTO_BLOCK | SMTO_ABORTIFHUNG, kReportTimeoutMs, &result);
}
