// The host's two reports: the text of a controller's window, set across processes.
#pragma once

#include <windows.h>

// How long a report may wait for the controller's window to take it.
constexpr UINT kReportTimeoutMs = 5000;

// Sets the text of `window` with a time limit, so a controller that does not service
// its window cannot stop the host, and without letting any other message in while it
// waits. A handle that names no window (-1 when the command line gave none) is
// passed over: a timed send to -1 would reach every top-level window.
void SendReport(HWND window, const wchar_t* text);
