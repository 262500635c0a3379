#pragma once

#include <windows.h>

// The window the plug-in's editor lives in, of the class QB_EDITOR_CLASS.
LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterEditorWindowClass(HINSTANCE instance);
