#pragma once

#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterMainWindowClass(HINSTANCE instance);

HWND CreateMainWindow(HINSTANCE instance);
