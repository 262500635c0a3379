#include "file_checks.h"

#include <windows.h>

#include "../client/quillbrook_client.h"

std::wstring CheckSongFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return L"the song " + path + L" cannot be opened (Windows error " +
               std::to_wstring(GetLastError()) + L"); the host will report its path all the same";
    }
    char head[4] = {};
    DWORD got = 0;
    ReadFile(file, head, sizeof(head), &got, nullptr);
    CloseHandle(file);
    if (got < 4 || head[0] != 'M' || head[1] != 'T' || head[2] != 'h' || head[3] != 'd') {
        return L"the song " + path +
               L" does not start like a Standard MIDI File (MThd); the host will not play it";
    }
    return std::wstring();
}

std::wstring CheckPluginFile(const std::wstring& path, int hostWidth) {
    int width = 0;
    QbError error = {};
    if (qb_plugin_width(path.c_str(), &width, &error) != QB_OK) {
        return std::wstring(error.message) + L"; the host will report FALSE";
    }
    if (hostWidth != 0 && width != hostWidth) {
        return L"the plug-in " + path + L" is " + std::to_wstring(width) + L"-bit, the host " +
               std::to_wstring(hostWidth) + L"-bit: use Quillbrook" + std::to_wstring(width) +
               L".exe (or name no host and let quillctl choose); this host will report FALSE";
    }
    return std::wstring();
}
