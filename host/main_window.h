#pragma once

#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the main window class and the editor window class. Both share every
// setting but the window procedure.
void RegisterHostWindowClasses(HINSTANCE instance);

HWND CreateMainWindow(HINSTANCE instance);
