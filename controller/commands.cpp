#include "commands.h"

#include <cstdio>
#include <iostream>

#include "editor_windows.h"
#include "text.h"

namespace {

constexpr ULONG_PTR kLoadSong = 1;
constexpr ULONG_PTR kLoadPlugin = 5;

typedef std::vector<std::wstring> Arguments;

// Sends one command; the host's answer is printed when `showAnswer` is set.
void SendPayload(const Session& session, ULONG_PTR code, const void* data, DWORD bytes,
                 bool showAnswer = true) {
    COPYDATASTRUCT record = {};
    record.dwData = code;
    record.cbData = bytes;
    record.lpData = const_cast<void*>(data);
    // Reports sent back meanwhile are handled while this waits.
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(
            session.host.mainWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(session.reports.song),
            reinterpret_cast<LPARAM>(&record), SMTO_NORMAL, session.sendTimeoutMs, &answer) == 0) {
        std::printf("no answer within %lu ms: the host is not responding (a plug-in may be "
                    "hanging it)\n",
                    static_cast<unsigned long>(session.sendTimeoutMs));
        std::fflush(stdout);
        return;
    }
    if (showAnswer) {
        std::printf("answered %lld\n", static_cast<long long>(answer));
        std::fflush(stdout);
    }
}

// The text with its terminator, as a controller normally sends it.
void SendText(const Session& session, ULONG_PTR code, const std::wstring& text,
              bool showAnswer = true) {
    SendPayload(session, code, text.c_str(),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), showAnswer);
}

bool ReadCode(const std::wstring& text, ULONG_PTR* code) {
    unsigned long long value = 0;
    if (!ParseNumber(text, &value)) {
        return Fail("a command code is a whole number, not ", text);
    }
    *code = static_cast<ULONG_PTR>(value);
    return true;
}

bool KillParent(Session* session) {
    if (session->decoy.hProcess == nullptr) {
        return Fail("kill-parent needs --decoy-parent");
    }
    TerminateProcess(session->decoy.hProcess, 0);
    WaitForSingleObject(session->decoy.hProcess, INFINITE);
    const ULONGLONG parentGone = GetTickCount64();
    if (WaitForHostEnd(session->host, 10000)) {
        std::printf("host ended %llu ms after its parent\n", GetTickCount64() - parentGone);
    } else {
        std::printf("host still running 10000 ms after its parent ended\n");
    }
    std::fflush(stdout);
    return true;
}

bool Wait(Session* /*session*/, const Arguments& args) {
    DWORD milliseconds = 0;
    if (!ParseSeconds(args[0], &milliseconds)) {
        return Fail("wait wants seconds, not ", args[0]);
    }
    PumpFor(milliseconds);
    return true;
}

bool Send(Session* session, const Arguments& args) {
    ULONG_PTR code = 0;
    if (!ReadCode(args[0], &code)) {
        return false;
    }
    SendText(*session, code, args.size() > 1 ? args[1] : std::wstring());
    return true;
}

bool SendBytes(Session* session, const Arguments& args) {
    ULONG_PTR code = 0;
    unsigned long long bytes = 0;
    if (!ReadCode(args[0], &code)) {
        return false;
    }
    if (!ParseNumber(args[1], &bytes) || bytes > (args[2].size() + 1) * sizeof(wchar_t)) {
        return Fail("the byte count must fit the text with its terminator: ", args[1]);
    }
    SendPayload(*session, code, args[2].c_str(), static_cast<DWORD>(bytes));
    return true;
}

bool SendNull(Session* session, const Arguments& args) {
    ULONG_PTR code = 0;
    if (!ReadCode(args[0], &code)) {
        return false;
    }
    SendPayload(*session, code, nullptr, 0);
    return true;
}

bool CloseEditors(Session* session, const Arguments& /*args*/) {
    for (HWND window : FindEditorWindows(session->host.info.dwProcessId)) {
        SendMessageW(window, WM_CLOSE, 0, 0); // as its close button would
    }
    return true;
}

struct Command {
    const wchar_t* name;
    size_t argumentCount;
    ULONG_PTR code;                               // a protocol code, or 0
    bool (*run)(Session*, const Arguments& args); // for the others
};

const Command kCommands[] = {
    {L"song", 1, kLoadSong, nullptr},
    {L"plugin", 1, kLoadPlugin, nullptr},
    {L"play", 0, 2, nullptr},
    {L"stop", 0, 3, nullptr},
    {L"free", 0, 4, nullptr},
    {L"editor", 0, 6, nullptr},
    {L"quit", 0, 7, nullptr},
    {L"wait", 1, 0, Wait},
    {L"send", 1, 0, Send},
    {L"send-text", 2, 0, Send},
    {L"send-bytes", 3, 0, SendBytes},
    {L"send-null", 1, 0, SendNull},
    {L"windows", 0, 0,
     [](Session* session, const Arguments&) {
         PrintEditorWindows(session->host.info.dwProcessId);
         return true;
     }},
    {L"close-editor", 0, 0, CloseEditors},
    {L"close", 0, 0,
     [](Session* session, const Arguments&) {
         PostMessageW(session->host.mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
         return true;
     }},
    {L"kill-parent", 0, 0, [](Session* session, const Arguments&) { return KillParent(session); }},
};

const Command* FindCommand(const std::wstring& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return &command;
        }
    }
    Fail("unknown command: ", name);
    return nullptr;
}

bool Run(Session* session, const Command& command, const Arguments& args) {
    if (command.run != nullptr) {
        return command.run(session, args);
    }
    SendText(*session, command.code, args.empty() ? std::wstring() : args[0], false);
    return true;
}

} // namespace

bool RunCommandLineCommands(Session* session, const std::vector<std::wstring>& words) {
    for (size_t i = 0; i < words.size();) {
        const Command* command = FindCommand(words[i]);
        if (command == nullptr) {
            return false;
        }
        if (words.size() - i - 1 < command->argumentCount) {
            return Fail("missing value after ", words[i]);
        }
        const Arguments args(words.begin() + static_cast<long>(i) + 1,
                             words.begin() + static_cast<long>(i + 1 + command->argumentCount));
        if (!Run(session, *command, args)) {
            return false;
        }
        i += 1 + command->argumentCount;
    }
    return true;
}

bool RunStandardInputCommands(Session* session) {
    std::string line;
    while (std::getline(std::cin, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::wstring rest = Widen(line);
        size_t space = rest.find(L' ');
        const Command* command = FindCommand(rest.substr(0, space));
        if (command == nullptr) {
            return false;
        }
        rest = space == std::wstring::npos ? std::wstring() : rest.substr(space + 1);
        Arguments args;
        for (size_t n = 0; n < command->argumentCount; ++n) {
            space = n + 1 < command->argumentCount ? rest.find(L' ') : std::wstring::npos;
            args.push_back(rest.substr(0, space));
            rest = space == std::wstring::npos ? std::wstring() : rest.substr(space + 1);
        }
        if (command->argumentCount > 0 && args.back().empty()) {
            return Fail("missing value after ", Widen(line));
        }
        if (!Run(session, *command, args)) {
            return false;
        }
    }
    return true;
}
