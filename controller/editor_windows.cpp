#include "controller/editor_windows.h"

#include <cstdio>

#include "controller/text.h"

namespace {

BOOL CALLBACK CountChild(HWND /*child*/, LPARAM lParam) {
    ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

} // namespace

std::vector<HWND> FindEditorWindows(const QbHost* host) {
    static const wchar_t kEditorClass[] = QB_EDITOR_CLASS;
    std::vector<HWND> windows(qb_host_windows(host, kEditorClass, nullptr, 0));
    const size_t found = qb_host_windows(host, kEditorClass, windows.data(), windows.size());
    windows.resize(found < windows.size() ? found : windows.size());
    return windows;
}

void PrintEditorWindows(const QbHost* host) {
    const std::vector<HWND> windows = FindEditorWindows(host);
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
