#include "report_windows.h"

#include <cstdio>
#include <string>

#include "host_process.h"

namespace {

const wchar_t kReportClass[] = L"QuillctlReport";

LRESULT CALLBACK ReportWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam != 0) {
        const char* label = GetWindowLongPtrW(window, GWLP_USERDATA) == 1 ? "song" : "editor";
        std::printf("%s report: %s\n", label,
                    Narrow(reinterpret_cast<const wchar_t*>(lParam)).c_str());
        std::fflush(stdout);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateReportWindow(HINSTANCE instance, LONG_PTR tag) {
    HWND window = CreateWindowExW(0, kReportClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    if (window != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, tag);
    }
    return window;
}

} // namespace

bool CreateReportWindows(HINSTANCE instance, ReportWindows* windows) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ReportWndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kReportClass;
    RegisterClassExW(&windowClass);
    windows->song = CreateReportWindow(instance, 1);
    windows->editor = CreateReportWindow(instance, 2);
    return windows->song != nullptr && windows->editor != nullptr;
}
