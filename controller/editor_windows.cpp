#include "editor_windows.h"

#include <cstdio>

#include "host_process.h"
#include "text.h"

namespace {

BOOL CALLBACK CountChild(HWND /*child*/, LPARAM lParam) {
    ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

} // namespace

std::vector<HWND> FindEditorWindows(DWORD hostProcessId) {
    static const wchar_t* const kEditorClass[] = {L"QuillbrookEmbed", nullptr};
    return FindHostWindows(hostProcessId, kEditorClass);
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
