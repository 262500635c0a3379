// The settings every window class of the host shares: the program's icons, the arrow
// cursor, the window colour as background.
#pragma once

#include <windows.h>

// Registers the class `name` with those settings and `procedure`.
void RegisterProgramWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);
