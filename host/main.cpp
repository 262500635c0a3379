// Entry point of Quillbrook64 and Quillbrook32.
#include <windows.h>

#include <cstdlib>

#include "audio/bass_api.h"
#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "host/command_line.h"
#include "host/device_loss.h"
#include "host/host_end.h"
#include "host/host_globals.h"
#include "host/host_names.h"
#include "host/main_window.h"
#include "host/parent_watcher.h"
#include "plugin/editor_window.h"

namespace {

HWND HandleFromArg(int64_t value) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(value));
}

// Plug-ins must not pick up libraries from whatever folder the controller runs in. A
// library folder set for the process takes the current folder's place in the search;
// the host's own folder, searched first anyway, adds nothing. (An empty folder would do
// the same on Windows, but Wine then still searches the current folder.)
void KeepCurrentFolderOffLibrarySearch() {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        SetDllDirectoryW(L"");
        return;
    }
    for (DWORD i = length; i > 0; --i) {
        if (folder[i - 1] == L'\\' || folder[i - 1] == L'/') {
            folder[i - 1] = L'\0';
            break;
        }
    }
    SetDllDirectoryW(folder);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR commandLine,
                    int showCommand) {
    HostArgs args;
    if (!ParseHostCommandLine(commandLine != nullptr ? commandLine : L"", kHandleArgWidth, &args)) {
        std::exit(1);
    }
    EndHostOnCrash();
    KeepCurrentFolderOffLibrarySearch();
    // The controller is watched from here on: opening the audio device may block.
    // Waiting on the process is all the host does with it.
    parentProcess = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(args.parentPid));
    StartParentWatcher(parentProcess);
    songReportWindow = HandleFromArg(args.songReportWindow);
    editorReportWindow = HandleFromArg(args.editorReportWindow);

    // Both classes share every setting but the window procedure.
    RegisterMainWindowClass(instance);
    RegisterEditorWindowClass(instance);
    HWND mainWindow = CreateMainWindow(instance);
    InitPlayerState(&player, mainWindow);
    player.deviceFailProc = DeviceFailSyncProc;
    // The default device follows the system's default as it changes, where the library
    // can.
    if (Further().setConfig != nullptr) {
        Further().setConfig(kConfigDevDefault, 1);
    }
    // Without an output device the "no sound" device still lets plug-ins, their
    // editors and songs load; playing is then silent.
    if (BASS_Init(kDefaultDevice, kSampleRate, 0, mainWindow, nullptr) == 0) {
        BASS_Init(kNoSoundDevice, kSampleRate, 0, mainWindow, nullptr);
    }
    if (mainWindow == nullptr) {
        EndHost(0);
    }
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    EndHost(static_cast<UINT>(message.wParam));
}
