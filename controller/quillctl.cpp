// quillctl: a reference controller for the Quillbrook hosts, built on the client
// library (client/).
//
// It starts the host of the width a plug-in needs (or the one named) with its
// interface version, its own process id and two report windows, waits for the host's
// main window, runs the given commands and exits with the host's exit status once the
// host has ended.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "client/quillbrook_client.h"
#include "controller/commands.h"
#include "controller/session.h"
#include "controller/text.h"

namespace {

constexpr int kOwnError = 125; // quillctl itself failed: bad input, host not started
constexpr int kNoWindow = 124; // the host did not show its window or end in time

const char kUsageStart[] =
    "usage: quillctl [options] [HOST.exe] COMMAND ...\n"
    "\n"
    "Starts a Quillbrook host as a controller would, runs the commands in order, then waits\n"
    "for the host to end and exits with its exit status. Without HOST.exe, the first plugin\n"
    "command chooses Quillbrook64.exe or Quillbrook32.exe by the plug-in's width, from the\n"
    "folder given by --hosts (default: quillctl's own folder). Without commands on the\n"
    "command line, commands are read from standard input, one a line; HOST.exe must then\n"
    "be named, since the width cannot be chosen before the commands are read.\n"
    "Every command is checked before the host starts.\n"
    "\n";

const char kUsageEnd[] =
    "\n"
    "options:\n"
    "  --hosts DIR       folder holding Quillbrook64.exe and Quillbrook32.exe, for choosing by\n"
    "                    width (default: quillctl's own folder)\n"
    "  --args TEXT       start the host with exactly TEXT after its name; {pid}, {song} and\n"
    "                    {editor} stand for the parent id and the two report windows\n"
    "  --hidden          start the host's main window hidden\n"
    "  --window-timeout S  seconds to wait for the host's window (default 30)\n"
    "  --send-timeout S  seconds a command may take before the host counts as hung and the\n"
    "                    next command runs (default 60); also how long the host may take to\n"
    "                    end after a command that ends it\n"
    "  --end-timeout S   seconds to wait for the host's end when no command ends it (default:\n"
    "                    no limit: until its window is closed)\n"
    "  --decoy-parent    for testing: name a separate idle process as the host's parent\n"
    "  -h, --help        this text\n"
    "\n"
    "quillctl warns when a song file is missing or no Standard MIDI File, or a plug-in file\n"
    "is missing, no DLL, or of the other width: the host's reports cannot tell that a load\n"
    "failed. The commands are sent all the same.\n"
    "\n"
    "Printed: 'host window: handle=N class=C title=T' when the host is up, each report as\n"
    "'song report: TEXT' or 'editor report: TEXT', and 'host exited: status S: MEANING' at\n"
    "the end. Exit status: the host's own, or 124 when it neither came up nor ended in time,\n"
    "or 125 when quillctl could not start it or was given bad input. A shell sees only the\n"
    "low 8 bits of a larger status (0xC0000135 shows as 53, 0xC0000005 as 5); the printed\n"
    "line gives it whole.\n";

struct Options {
    std::wstring host;
    std::wstring hosts;
    std::wstring args;
    bool customArgs = false;
    bool decoyParent = false;
    bool hidden = false;
    DWORD windowTimeoutMs = 30000;
    DWORD endTimeoutMs = INFINITE;
    DWORD sendTimeoutMs = 60000;
    std::vector<std::wstring> commands;
    CommandWords read; // what the commands say, read once
};

bool EndsWithExe(const std::wstring& text) {
    return text.size() > 4 && _wcsicmp(text.c_str() + text.size() - 4, L".exe") == 0;
}

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
    int i = 1;
    for (; i < argc && wcsncmp(argv[i], L"--", 2) == 0; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--decoy-parent") {
            options->decoyParent = true;
        } else if (option == L"--hidden") {
            options->hidden = true;
        } else if (option == L"--args" && hasValue) {
            options->args = argv[++i];
            options->customArgs = true;
        } else if (option == L"--hosts" && hasValue) {
            options->hosts = argv[++i];
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
            return Fail("unknown option or missing value (see --help): ", option);
        }
    }
    if (i < argc && EndsWithExe(argv[i])) {
        options->host = argv[i++];
    }
    for (; i < argc; ++i) {
        options->commands.emplace_back(argv[i]);
    }
    if (options->host.empty() && options->commands.empty()) {
        return Fail("no host and no commands given (see --help)");
    }
    return ReadCommandWords(options->commands, &options->read);
}

// The host the options name, or the one of the width the first plug-in needs.
bool ChooseHost(Options* options) {
    if (!options->host.empty()) {
        return true;
    }
    const std::wstring& plugin = options->read.firstPlugin;
    if (plugin.empty()) {
        return Fail("name the host program, or give a plugin command so quillctl can choose "
                    "Quillbrook64.exe or Quillbrook32.exe by the plug-in's width");
    }
    int width = 0;
    QbError error = {};
    wchar_t path[MAX_PATH * 4];
    if (qb_plugin_width(plugin.c_str(), &width, &error) != QB_OK ||
        qb_host_path(options->hosts.empty() ? nullptr : options->hosts.c_str(), width, path,
                     MAX_PATH * 4, &error) != QB_OK) {
        return Fail("cannot choose the host: ", error.message);
    }
    options->host = path;
    std::printf("host: %s (the plug-in is %d-bit)\n", Narrow(path).c_str(), width);
    return true;
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

void PrintReport(void* /*user*/, QbReportKind kind, const wchar_t* text) {
    std::printf("%s report: %s\n", kind == QB_REPORT_SONG ? "song" : "editor",
                Narrow(text).c_str());
    std::fflush(stdout);
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

// Wine's ntdll exports this; Windows' does not.
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int Finish(Session* session, DWORD endTimeoutMs) {
    unsigned long status = 0;
    if (qb_host_wait_end(session->host, endTimeoutMs, &status, nullptr) != QB_OK) {
        std::printf("host still running after the end timeout; ending it\n");
        qb_host_terminate(session->host, kNoWindow);
        return kNoWindow;
    }
    wchar_t meaning[400];
    const int width = qb_host_width(session->host);
    qb_describe_exit(status, width, meaning, 400);
    char number[16];
    std::snprintf(number, sizeof(number), status > 0xFFFF ? "0x%08lX" : "%lu", status);
    std::printf("host exited: status %s: it %s\n", number, Narrow(meaning).c_str());
    constexpr unsigned long kDllNotFound = 0xC0000135;
    if (status == kDllNotFound && UnderWine()) {
        std::printf("(under Wine: put the folder of the %s audio libraries on WINEPATH; for the "
                    "stand-ins of a build, WINEPATH=build\\win%s\\standin)\n",
                    width == 32   ? "32-bit"
                    : width == 64 ? "64-bit"
                                  : "right width's",
                    width == 32 ? "32" : "64");
    }
    return static_cast<int>(status);
}

int Drive(const Options& options, Session* session) {
    QbStartOptions start = {};
    start.host_path = options.host.c_str();
    start.arguments = options.customArgs ? options.args.c_str() : nullptr;
    start.parent_pid = options.decoyParent ? session->decoy.dwProcessId : 0;
    start.window_ms = options.windowTimeoutMs;
    start.command_ms = options.sendTimeoutMs;
    session->commandMs = options.sendTimeoutMs;
    start.hidden = options.hidden ? 1 : 0;
    start.on_report = PrintReport;
    QbError error = {};
    DWORD exitCode = 0;
    switch (qb_host_start(&start, &session->host, &error)) {
    case QB_OK:
        break;
    case QB_ERROR_HOST_ENDED:
        std::printf("host ended without a window\n");
        if (qb_host_wait_end(session->host, 0, nullptr, nullptr) == QB_OK &&
            GetExitCodeProcess(qb_host_process(session->host), &exitCode) && exitCode == 0) {
            std::printf("(it could not make its window%s)\n",
                        UnderWine() ? ": under Wine, DISPLAY must name a running X server" : "");
        }
        return Finish(session, 0);
    case QB_ERROR_NO_WINDOW:
        std::printf("host did not show its window in time: %s\n", Narrow(error.message).c_str());
        qb_host_terminate(session->host, kNoWindow);
        return kNoWindow;
    default:
        Fail("", error.message);
        return kOwnError;
    }
    PrintHostWindow(qb_host_window(session->host));
    if (options.commands.empty()) {
        RunStandardInputCommands(session);
    } else {
        RunCommandLineCommands(session, options.commands);
    }
    if (qb_host_running(session->host) && !options.read.endsHost) {
        std::printf("waiting for the host to end (no quit was given: close its window, or stop "
                    "quillctl)\n");
        std::fflush(stdout);
    }
    // Commands that end the host give it the time of a command to be gone; without them,
    // ending it is left to the person at the host's window or the end timeout.
    DWORD endTimeoutMs = options.endTimeoutMs;
    if (options.read.endsHost && options.sendTimeoutMs < endTimeoutMs) {
        endTimeoutMs = options.sendTimeoutMs;
    }
    return Finish(session, endTimeoutMs);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Plain line ends on standard output, also under Wine.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 2 && wcscmp(argv[1], L"--idle") == 0) {
        Sleep(INFINITE);
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--help") == 0 || wcscmp(argv[i], L"-h") == 0) {
            std::fputs(kUsageStart, stdout);
            PrintCommandUsage();
            std::fputs(kUsageEnd, stdout);
            return 0;
        }
    }
    Options options;
    if (!ParseOptions(argc, argv, &options) || !ChooseHost(&options)) {
        return kOwnError;
    }
    Session session;
    if (options.decoyParent && !StartDecoy(&session)) {
        Fail("could not start the decoy parent");
        return kOwnError;
    }
    const int status = Drive(options, &session);
    if (session.decoy.hProcess != nullptr) {
        TerminateProcess(session.decoy.hProcess, 0);
    }
    qb_host_close(session.host);
    std::fflush(stdout);
    return status;
}
