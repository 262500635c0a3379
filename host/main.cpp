// Entry point of Quillbrook64 and Quillbrook32.
#include <windows.h>

#include <cstdlib>

#include "../audio/bass_api.h"
#include "../audio/audio_constants.h"
#include "command_line.h"
#include "host_globals.h"
#include "host_names.h"
#include "main_window.h"
#include "parent_watcher.h"

namespace {

HWND HandleFromArg(int64_t value) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(value));
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR commandLine,
                    int showCommand) {
    HostArgs args;
    if (!ParseHostCommandLine(commandLine != nullptr ? commandLine : L"", kHandleArgWidth, &args)) {
        std::exit(1);
    }
    parentPid = args.parentPid;
    parentProcess =
        OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(parentPid));
    songReportWindow = HandleFromArg(args.songReportWindow);
    editorReportWindow = HandleFromArg(args.editorReportWindow);

    RegisterHostWindowClasses(instance);
    HWND mainWindow = CreateMainWindow(instance);
    InitPlayerState(&player, mainWindow);
    // Without an output device the "no sound" device still lets plug-ins, their
    // editors and songs load; playing is then silent.
    if (BASS_Init(kDefaultDevice, kSampleRate, 0, mainWindow, nullptr) == 0) {
        BASS_Init(kNoSoundDevice, kSampleRate, 0, mainWindow, nullptr);
    }
    if (mainWindow == nullptr) {
        return 0;
    }
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    StartParentWatcher(parentProcess);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
