// quillctl: a reference controller for the Quillbrook hosts.
//
// It creates the two report windows, starts the host with its interface version, its
// own process id and the two window handles, waits for the host's main window, runs
// the given commands and exits with the host's exit status once the host has ended.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "host_process.h"
#include "report_windows.h"
#include "session.h"
#include "text.h"

namespace {

constexpr int kOwnError = 125; // quillctl itself failed: bad input, host not started
constexpr int kNoWindow = 124; // the host did not show its window or end in time
constexpr int kInterfaceVersion = 3;

const char kUsage[] =
    "usage: quillctl [options] HOST.exe [COMMAND ...]\n"
    "\n"
    "Starts HOST.exe (Quillbrook64.exe or Quillbrook32.exe) as a controller would, runs the\n"
    "commands in order, then waits for the host to end and exits with its exit status.\n"
    "Without commands on the command line, commands are read from standard input, one a line.\n"
    "\n"
    "commands:\n"
    "  song PATH       load a Standard MIDI File (the song report is printed)\n"
    "  plugin PATH     load a VST instrument plug-in (the editor report is printed)\n"
    "  play            play the loaded song from its start, looping\n"
    "  stop            stop playing\n"
    "  free            release the song's output stream\n"
    "  editor          show the plug-in's editor window\n"
    "  wait SECONDS    let time pass (fractions allowed)\n"
    "  quit            tell the host to end\n"
    "  close           close the host's main window, as its system menu would\n"
    "  send CODE       send a command code with an empty payload and print the answer\n"
    "  send-text CODE TEXT        send a code with TEXT as its payload\n"
    "  send-bytes CODE BYTES TEXT send a code with TEXT, giving only BYTES as its size\n"
    "  send-null CODE  send a code with no payload at all (null data, size 0)\n"
    "  windows         list the host's editor windows: size, position, visibility\n"
    "  close-editor    close the host's editor windows, as their close button would\n"
    "  kill-parent     with --decoy-parent: end the decoy and time the host's end\n"
    "\n"
    "options:\n"
    "  --args TEXT       start the host with exactly TEXT after its name; {pid}, {song} and\n"
    "                    {editor} stand for the parent id and the two report windows\n"
    "  --decoy-parent    name a separate idle process as the host's parent instead of quillctl\n"
    "  --window-timeout S  seconds to wait for the host's window (default 30)\n"
    "  --end-timeout S   seconds to wait for the host's end after the commands (default: no "
    "limit)\n"
    "  --send-timeout S  seconds a command may take before the host counts as hung and the\n"
    "                    next command runs (default 60)\n"
    "  --help            this text\n"
    "\n"
    "Printed: 'host window: handle=N class=C title=T' when the host is up, each report as\n"
    "'song report: TEXT' or 'editor report: TEXT', and 'host exited: status N' at the end.\n"
    "Exit status: the host's own, or 124 when it neither came up nor ended in time, or 125\n"
    "when quillctl could not start it or was given bad input.\n";

struct Options {
    std::wstring host;
    std::wstring args;
    bool customArgs = false;
    bool decoyParent = false;
    DWORD windowTimeoutMs = 30000;
    DWORD endTimeoutMs = INFINITE;
    DWORD sendTimeoutMs = 60000;
    std::vector<std::wstring> commands;
};

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
    int i = 1;
    for (; i < argc && wcsncmp(argv[i], L"--", 2) == 0; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--decoy-parent") {
            options->decoyParent = true;
        } else if (option == L"--args" && hasValue) {
            options->args = argv[++i];
            options->customArgs = true;
        } else if (option == L"--window-timeout" && hasValue) {
            if (!ParseSeconds(argv[++i], &options->windowTimeoutMs)) {
                return Fail("--window-timeout wants seconds, not ", argv[i]);
            }
        } else if (option == L"--send-timeout" && hasValue) {
            if (!ParseSeconds(argv[++i], &options->sendTimeoutMs)) {
                return Fail("--send-timeout wants seconds, not ", argv[i]);
            }
        } else if (option == L"--end-timeout" && hasValue) {
            if (!ParseSeconds(argv[++i], &options->endTimeoutMs)) {
                return Fail("--end-timeout wants seconds, not ", argv[i]);
            }
        } else {
            return Fail("unknown option or missing value: ", option);
        }
    }
    if (i >= argc) {
        return Fail("no host program given (see --help)");
    }
    options->host = argv[i++];
    for (; i < argc; ++i) {
        options->commands.emplace_back(argv[i]);
    }
    return true;
}

std::wstring Replace(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::wstring HostArguments(const Options& options, const Session& session, DWORD parentId) {
    std::wstring text = options.customArgs ? options.args
                                           : L"v=" + std::to_wstring(kInterfaceVersion) +
                                                 L" pid={pid} hwndpf={song} hwndee={editor}";
    text = Replace(text, L"{pid}", std::to_wstring(parentId));
    text = Replace(text, L"{song}", HandleText(session.reports.song));
    return Replace(text, L"{editor}", HandleText(session.reports.editor));
}

bool StartDecoy(Session* session) {
    wchar_t self[MAX_PATH * 4];
    GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --idle";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &session->decoy) != 0;
}

void PrintHostWindow(HWND window) {
    wchar_t className[128] = {};
    wchar_t title[128] = {};
    GetClassNameW(window, className, 128);
    GetWindowTextW(window, title, 128);
    std::printf("host window: handle=%s class=%s title=%s\n", Narrow(HandleText(window)).c_str(),
                Narrow(className).c_str(), Narrow(title).c_str());
    std::fflush(stdout);
}

int Finish(Session* session, DWORD endTimeoutMs) {
    if (!WaitForHostEnd(session->host, endTimeoutMs)) {
        std::printf("host still running after the end timeout; ending it\n");
        TerminateProcess(session->host.info.hProcess, kNoWindow);
        WaitForSingleObject(session->host.info.hProcess, INFINITE);
        return kNoWindow;
    }
    const DWORD status = HostExitStatus(session->host);
    std::printf("host exited: status %lu\n", static_cast<unsigned long>(status));
    constexpr DWORD kDllNotFound = 0xC0000135;
    if (status == kDllNotFound) {
        std::printf("(a library it needs was not found: bass.dll, bassmidi.dll and bass_vst.dll "
                    "belong beside the host or on the search path)\n");
    }
    return static_cast<int>(status);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && wcscmp(argv[1], L"--idle") == 0) {
        Sleep(INFINITE);
        return 0;
    }
    if (argc == 2 && wcscmp(argv[1], L"--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        return kOwnError;
    }
    Session session;
    session.sendTimeoutMs = options.sendTimeoutMs;
    if (!CreateReportWindows(GetModuleHandleW(nullptr), &session.reports)) {
        Fail("could not create the report windows");
        return kOwnError;
    }
    if (options.decoyParent && !StartDecoy(&session)) {
        Fail("could not start the decoy parent");
        return kOwnError;
    }
    const DWORD parentId = options.decoyParent ? session.decoy.dwProcessId : GetCurrentProcessId();
    if (!StartHost(options.host, HostArguments(options, session, parentId), &session.host)) {
        Fail("could not start the host: ", options.host);
        return kOwnError;
    }

    int status = kOwnError;
    switch (WaitForHostWindow(&session.host, options.windowTimeoutMs)) {
    case WindowWait::HostEnded:
        std::printf("host ended without a window\n");
        status = Finish(&session, 0);
        break;
    case WindowWait::TimedOut:
        std::printf("host did not show its window in time\n");
        status = Finish(&session, 0);
        break;
    case WindowWait::Found: {
        PrintHostWindow(session.host.mainWindow);
        const bool ok = options.commands.empty()
                            ? RunStandardInputCommands(&session)
                            : RunCommandLineCommands(&session, options.commands);
        status = ok ? Finish(&session, options.endTimeoutMs) : kOwnError;
        if (!ok) {
            TerminateProcess(session.host.info.hProcess, kOwnError);
        }
        break;
    }
    }
    if (session.decoy.hProcess != nullptr) {
        TerminateProcess(session.decoy.hProcess, 0);
    }
    std::fflush(stdout);
    return status;
}
