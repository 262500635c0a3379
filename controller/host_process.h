// Starting the host, finding its main window and waiting for its end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct HostProcess {
    PROCESS_INFORMATION info = {};
    HWND mainWindow = nullptr;
};

// Starts `hostPath` with `arguments` as the text after the program name.
bool StartHost(const std::wstring& hostPath, const std::wstring& arguments, HostProcess* host);

// The top-level windows of the process whose class is one of `classNames` (a list
// ended by null), in z-order.
std::vector<HWND> FindHostWindows(DWORD processId, const wchar_t* const* classNames);

enum class WindowWait { Found, HostEnded, TimedOut };

// Waits, pumping this thread's messages, until the host shows a main window, ends,
// or `timeoutMs` passes.
WindowWait WaitForHostWindow(HostProcess* host, DWORD timeoutMs);

// Pumps messages until the host ends or `timeoutMs` passes (INFINITE waits for ever).
// Returns true when the host has ended.
bool WaitForHostEnd(const HostProcess& host, DWORD timeoutMs);

// Pumps messages for `milliseconds`, so reports sent meanwhile are handled.
void PumpFor(DWORD milliseconds);

DWORD HostExitStatus(const HostProcess& host);

std::string Narrow(const std::wstring& text);
