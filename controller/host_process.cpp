#include "host_process.h"

namespace {

struct WindowSearch {
    DWORD processId;
    const wchar_t* const* classNames; // ends with null
    std::vector<HWND> found;
};

BOOL CALLBACK CollectHostWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    for (const wchar_t* const* name = search->classNames; *name != nullptr; ++name) {
        if (processId == search->processId && wcscmp(className, *name) == 0) {
            search->found.push_back(window);
        }
    }
    return TRUE;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Waits for the process handle or for a message to this thread, up to `ms`.
bool WaitProcessOrMessage(HANDLE process, DWORD ms) {
    const DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, ms, QS_ALLINPUT);
    PumpMessages();
    return result == WAIT_OBJECT_0;
}

} // namespace

bool StartHost(const std::wstring& hostPath, const std::wstring& arguments, HostProcess* host) {
    std::wstring commandLine = L"\"" + hostPath + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(hostPath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &host->info) != 0;
}

std::vector<HWND> FindHostWindows(DWORD processId, const wchar_t* const* classNames) {
    WindowSearch search = {processId, classNames, {}};
    EnumWindows(CollectHostWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

WindowWait WaitForHostWindow(HostProcess* host, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        static const wchar_t* const kMainClasses[] = {L"Quillbrook64", L"Quillbrook32", nullptr};
        const std::vector<HWND> found = FindHostWindows(host->info.dwProcessId, kMainClasses);
        if (!found.empty()) {
            host->mainWindow = found.front();
            return WindowWait::Found;
        }
        if (WaitProcessOrMessage(host->info.hProcess, 10)) {
            return WindowWait::HostEnded;
        }
        if (GetTickCount64() >= deadline) {
            return WindowWait::TimedOut;
        }
    }
}

bool WaitForHostEnd(const HostProcess& host, DWORD timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        DWORD slice = 100;
        if (timeoutMs != INFINITE) {
            slice = elapsed >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - elapsed);
            slice = slice < 100 ? slice : 100;
        }
        if (WaitProcessOrMessage(host.info.hProcess, slice)) {
            return true;
        }
        if (timeoutMs != INFINITE && elapsed >= timeoutMs) {
            return false;
        }
    }
}

void PumpFor(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
        PumpMessages();
    }
}

DWORD HostExitStatus(const HostProcess& host) {
    DWORD status = 0;
    GetExitCodeProcess(host.info.hProcess, &status);
    return status;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}
