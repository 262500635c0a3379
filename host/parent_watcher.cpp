#include "host/parent_watcher.h"

#include "host/host_end.h"

namespace {

DWORD WINAPI WatchParentProcess(void* parentProcess) {
    WaitForSingleObject(static_cast<HANDLE>(parentProcess), INFINITE);
    EndHost(0);
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
