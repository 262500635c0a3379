#include "editor_windows.h"

#include <cstdio>

#include "host_process.h"
#include "text.h"

namespace {

const wchar_t kEditorClass[] = L"QuillbrookEmbed";

struct Search {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectEditor(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (processId == search->processId && wcscmp(className, kEditorClass) == 0) {
        search->found.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CountChild(HWND /*child*/, LPARAM lParam) {
    ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

} // namespace

std::vector<HWND> FindEditorWindows(DWORD hostProcessId) {
    Search search{hostProcessId, {}};
    EnumWindows(CollectEditor, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void PrintEditorWindows(DWORD hostProcessId) {
    const std::vector<HWND> windows = FindEditorWindows(hostProcessId);
    std::printf("editor windows: %u\n", static_cast<unsigned>(windows.size()));
    for (HWND window : windows) {
        RECT client = {};
        GetClientRect(window, &client);
        POINT corner = {0, 0};
        ClientToScreen(window, &corner);
        int children = 0;
        EnumChildWindows(window, CountChild, reinterpret_cast<LPARAM>(&children));
        std::printf("editor window: handle=%s visible=%d owner=%s parent=%s client=%ldx%ld "
                    "at=%ld,%ld children=%d\n",
                    Narrow(HandleText(window)).c_str(), IsWindowVisible(window) ? 1 : 0,
                    Narrow(HandleText(GetWindow(window, GW_OWNER))).c_str(),
                    Narrow(HandleText(GetAncestor(window, GA_PARENT) == GetDesktopWindow()
                                          ? nullptr
                                          : GetAncestor(window, GA_PARENT)))
                        .c_str(),
                    client.right, client.bottom, corner.x, corner.y, children);
    }
    std::fflush(stdout);
}
