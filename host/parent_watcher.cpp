#include "parent_watcher.h"

namespace {

// TerminateProcess rather than ExitProcess: the user-interface thread may be stuck
// inside a plug-in, perhaps holding the loader lock that ExitProcess would wait for.
DWORD WINAPI WatchParentProcess(void* parentProcess) {
    WaitForSingleObject(static_cast<HANDLE>(parentProcess), INFINITE);
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}

} // namespace

void StartParentWatcher(HANDLE parentProcess) {
    if (parentProcess == nullptr) {
        return;
    }
    const HANDLE thread = CreateThread(nullptr, 0, WatchParentProcess, parentProcess, 0, nullptr);
    if (thread != nullptr) {
        CloseHandle(thread);
    }
}
