#include "plugin/editor_window.h"

#include "protocol/quillbrook_protocol.h"
#include "res/window_class.h"

// Closing the editor only hides it, so the next request can show it again with the
// plug-in's editor still embedded.
LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        ShowWindow(window, SW_HIDE);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void RegisterEditorWindowClass(HINSTANCE instance) {
    RegisterProgramWindowClass(instance, QB_EDITOR_CLASS, EditorWndProc);
}
