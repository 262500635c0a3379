#include "host/main_window.h"

#include "host/copy_data.h"
#include "host/device_loss.h"
#include "host/host_end.h"
#include "host/host_globals.h"
#include "host/host_names.h"
#include "host/render_command.h"
#include "plugin/editor_window.h"
#include "plugin/plugin_commands.h"
#include "res/window_class.h"

namespace {

constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU;

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

void RegisterMainWindowClass(HINSTANCE instance) {
    RegisterProgramWindowClass(instance, QB_MAIN_CLASS_NAME, MainWndProc);
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
        return HandleCopyData(reinterpret_cast<HWND>(wParam),
                              reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case kEditorResizedMessage:
        OnEditorResized(window, static_cast<DWORD>(wParam), static_cast<DWORD>(lParam));
        return 0;
    case kRenderEndedMessage:
        OnRenderEnded(window);
        return 0;
    case kDeviceFailedMessage:
        OnDeviceTimer(window);
        return 0;
    case WM_TIMER:
        if (wParam == kFadeTimerId) {
            OnFadeTimer(window);
            return 0;
        }
        if (wParam == kRenderTimerId) {
            OnRenderEnded(window);
            return 0;
        }
        if (wParam == kResizeTimerId) {
            OnResizeTimer(window);
            return 0;
        }
        if (wParam == kDeviceTimerId) {
            OnDeviceTimer(window);
            return 0;
        }
        return WatchParent(window);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
