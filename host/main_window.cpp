#include "main_window.h"

#include "../plugin/editor_window.h"
#include "../res/resource_ids.h"
#include "copy_data.h"
#include "host_end.h"
#include "host_globals.h"
#include "host_names.h"

namespace {

constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU;

void RegisterHostClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLBROOK_LARGE));
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLBROOK_SMALL));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);
}

// The controller's process was opened once at start-up, so a process id that Windows
// hands to a new process after the controller's death cannot keep the host alive.
LRESULT WatchParent(HWND window) {
    if (parentProcess != nullptr && WaitForSingleObject(parentProcess, 0) == WAIT_TIMEOUT) {
        return 0;
    }
    KillTimer(window, kWatchdogTimerId);
    EndHost(0);
}

} // namespace

void RegisterHostWindowClasses(HINSTANCE instance) {
    RegisterHostClass(instance, QB_MAIN_CLASS_NAME, MainWndProc);
    RegisterHostClass(instance, QB_EDITOR_CLASS_NAME, EditorWndProc);
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExW(0, QB_MAIN_CLASS_NAME, QB_MAIN_CLASS_NAME, kMainWindowStyle,
                           CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetTimer(window, kWatchdogTimerId, kWatchdogPeriodMs, nullptr);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_COPYDATA:
        HandleCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return 0;
    case WM_TIMER:
        return WatchParent(window);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
