#pragma once

#include <windows.h>

// Posted to the main window when the plug-in has resized its editor: the new width in
// the word parameter, the height in the long one.
constexpr UINT kEditorResizedMessage = WM_APP + 1;

// The window the plug-in's editor lives in, of the class QB_EDITOR_CLASS.
LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterEditorWindowClass(HINSTANCE instance);
