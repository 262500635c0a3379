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

// Sends an extension command's text answer to the window the command came from: a
// copy-data message whose dwData is the command's code and whose data is the text and
// its ending zero, with the same time limit.
void SendTextAnswer(HWND window, ULONG_PTR code, const wchar_t* text);
