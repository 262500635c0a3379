// The host's editor windows as a controller (or a test) sees them from outside.
#pragma once

#include <windows.h>

#include <vector>

#include "client/quillbrook_client.h"

// The host's top-level windows of the editor window class, in z-order.
std::vector<HWND> FindEditorWindows(const QbHost* host);

// Prints one line per editor window: handle, visibility, owner, parent, client size,
// the screen position of the client area's top-left corner and the number of children.
void PrintEditorWindows(const QbHost* host);
