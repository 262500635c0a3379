#include "commands.h"

#include <cstdio>
#include <iostream>

#include "editor_windows.h"
#include "text.h"

namespace {

typedef std::vector<std::wstring> Arguments;

void PrintAnswer(LRESULT answer) {
    std::printf("answered %lld\n", static_cast<long long>(answer));
    std::fflush(stdout);
}

// Says what went wrong with a command; false when the host has ended, which ends the
// session.
bool Report(QbResult result, const QbError& error) {
    if (result == QB_OK) {
        return true;
    }
    std::printf("command failed: %s\n", Narrow(error.message).c_str());
    std::fflush(stdout);
    return result != QB_ERROR_HOST_ENDED;
}

bool ReadCode(const std::wstring& text, ULONG_PTR* code) {
    unsigned long long value = 0;
    if (!ParseNumber(text, &value)) {
        return Fail("a command code is a whole number, not ", text);
    }
    *code = static_cast<ULONG_PTR>(value);
    return true;
}

bool CheckCode(const Arguments& args) {
    ULONG_PTR code = 0;
    return ReadCode(args[0], &code);
}

bool CheckWait(const Arguments& args) {
    DWORD milliseconds = 0;
    return ParseSeconds(args[0], &milliseconds) || Fail("wait wants seconds, not ", args[0]);
}

bool CheckSendBytes(const Arguments& args) {
    unsigned long long bytes = 0;
    if (!CheckCode(args)) {
        return false;
    }
    if (!ParseNumber(args[1], &bytes) || bytes > (args[2].size() + 1) * sizeof(wchar_t)) {
        return Fail("the byte count must fit the text with its terminator: ", args[1]);
    }
    return true;
}

// A file the host cannot have loaded is a warning: the command was sent all the same,
// and the session goes on.
bool ReportLoad(QbResult result, const QbError& error) {
    if (result == QB_ERROR_FILE || result == QB_ERROR_NOT_A_PLUGIN ||
        result == QB_ERROR_WRONG_WIDTH) {
        Warn(error.message);
        return true;
    }
    return Report(result, error);
}

bool Song(Session* session, const Arguments& args) {
    QbError error = {};
    return ReportLoad(qb_load_song(session->host, args[0].c_str(), nullptr, 0, &error), error);
}

bool Plugin(Session* session, const Arguments& args) {
    QbError error = {};
    return ReportLoad(qb_load_plugin(session->host, args[0].c_str(), nullptr, &error), error);
}

template <QbResult (*Call)(QbHost*, QbError*)> bool Simple(Session* session, const Arguments&) {
    QbError error = {};
    return Report(Call(session->host, &error), error);
}

bool Quit(Session* session, const Arguments&) {
    QbError error = {};
    const QbResult result = qb_quit(session->host, &error);
    return result == QB_ERROR_HOST_ENDED || Report(result, error);
}

bool Wait(Session* session, const Arguments& args) {
    DWORD milliseconds = 0;
    ParseSeconds(args[0], &milliseconds);
    qb_wait(session->host, milliseconds);
    return true;
}

bool SendPayload(Session* session, const Arguments& args, const void* data, DWORD bytes) {
    ULONG_PTR code = 0;
    ReadCode(args[0], &code);
    QbError error = {};
    LRESULT answer = 0;
    const QbResult result = qb_send(session->host, code, data, bytes, &answer, &error);
    if (result == QB_OK) {
        PrintAnswer(answer);
    }
    return Report(result, error);
}

bool Send(Session* session, const Arguments& args) {
    const std::wstring text = args.size() > 1 ? args[1] : std::wstring();
    return SendPayload(session, args, text.c_str(),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool SendBytes(Session* session, const Arguments& args) {
    unsigned long long bytes = 0;
    ParseNumber(args[1], &bytes);
    return SendPayload(session, args, args[2].c_str(), static_cast<DWORD>(bytes));
}

bool SendNull(Session* session, const Arguments& args) {
    return SendPayload(session, args, nullptr, 0);
}

bool Windows(Session* session, const Arguments&) {
    PrintEditorWindows(session->host);
    return true;
}

bool CloseEditors(Session* session, const Arguments&) {
    for (HWND window : FindEditorWindows(session->host)) {
        // As its close button would; a hung host does not hang quillctl.
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, session->commandMs, &result) ==
            0) {
            std::printf("command failed: the editor window did not close within %lu ms\n",
                        session->commandMs);
            std::fflush(stdout);
        }
    }
    return true;
}

bool Close(Session* session, const Arguments&) {
    PostMessageW(qb_host_window(session->host), WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

bool KillParent(Session* session, const Arguments&) {
    if (session->decoy.hProcess == nullptr) {
        return Fail("kill-parent needs --decoy-parent");
    }
    TerminateProcess(session->decoy.hProcess, 0);
    WaitForSingleObject(session->decoy.hProcess, session->commandMs);
    const ULONGLONG parentGone = GetTickCount64();
    if (qb_host_wait_end(session->host, 10000, nullptr, nullptr) == QB_OK) {
        std::printf("host ended %llu ms after its parent\n", GetTickCount64() - parentGone);
    } else {
        std::printf("host still running 10000 ms after its parent ended\n");
    }
    std::fflush(stdout);
    return true;
}

struct Command {
    const wchar_t* name;
    size_t argumentCount;
    bool (*check)(const Arguments& args); // before the host starts; null: nothing to check
    bool (*run)(Session* session, const Arguments& args);
};

const Command kCommands[] = {
    {L"song", 1, nullptr, Song},
    {L"plugin", 1, nullptr, Plugin},
    {L"play", 0, nullptr, Simple<qb_play>},
    {L"stop", 0, nullptr, Simple<qb_stop>},
    {L"free", 0, nullptr, Simple<qb_free_stream>},
    {L"editor", 0, nullptr, Simple<qb_show_editor>},
    {L"quit", 0, nullptr, Quit},
    {L"wait", 1, CheckWait, Wait},
    {L"send", 1, CheckCode, Send},
    {L"send-text", 2, CheckCode, Send},
    {L"send-bytes", 3, CheckSendBytes, SendBytes},
    {L"send-null", 1, CheckCode, SendNull},
    {L"windows", 0, nullptr, Windows},
    {L"close-editor", 0, nullptr, CloseEditors},
    {L"close", 0, nullptr, Close},
    {L"kill-parent", 0, nullptr, KillParent},
};

const Command* FindCommand(const std::wstring& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return &command;
        }
    }
    Fail("unknown command (see --help): ", name);
    return nullptr;
}

// Splits the words into commands with their arguments, checking each; false at the
// first that is wrong.
bool SplitCommands(const std::vector<std::wstring>& words,
                   std::vector<std::pair<const Command*, Arguments>>* out) {
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
        if (command->check != nullptr && !command->check(args)) {
            return false;
        }
        out->emplace_back(command, args);
        i += 1 + command->argumentCount;
    }
    return true;
}

// One line of standard input as a command: the name, then its arguments separated by
// spaces, the last taking the rest of the line.
bool ParseLine(const std::wstring& line, const Command** command, Arguments* args) {
    std::wstring rest = line;
    size_t space = rest.find(L' ');
    *command = FindCommand(rest.substr(0, space));
    if (*command == nullptr) {
        return false;
    }
    rest = space == std::wstring::npos ? std::wstring() : rest.substr(space + 1);
    for (size_t n = 0; n < (*command)->argumentCount; ++n) {
        space = n + 1 < (*command)->argumentCount ? rest.find(L' ') : std::wstring::npos;
        args->push_back(rest.substr(0, space));
        rest = space == std::wstring::npos ? std::wstring() : rest.substr(space + 1);
    }
    if ((*command)->argumentCount > 0 && args->back().empty()) {
        return Fail("missing value after ", line);
    }
    return (*command)->check == nullptr || (*command)->check(*args);
}

} // namespace

bool ReadCommandWords(const std::vector<std::wstring>& words, CommandWords* read) {
    std::vector<std::pair<const Command*, Arguments>> commands;
    if (!SplitCommands(words, &commands)) {
        return false;
    }
    for (const auto& command : commands) {
        const std::wstring name = command.first->name;
        if (name == L"plugin" && read->firstPlugin.empty()) {
            read->firstPlugin = command.second[0];
        }
        read->endsHost =
            read->endsHost || name == L"quit" || name == L"close" || name == L"kill-parent";
    }
    return true;
}

bool RunCommandLineCommands(Session* session, const std::vector<std::wstring>& words) {
    std::vector<std::pair<const Command*, Arguments>> commands;
    if (!SplitCommands(words, &commands)) {
        return false;
    }
    for (const auto& command : commands) {
        if (!command.first->run(session, command.second)) {
            break; // the host has ended
        }
    }
    return true;
}

void RunStandardInputCommands(Session* session) {
    std::string line;
    while (std::getline(std::cin, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const Command* command = nullptr;
        Arguments args;
        // A line that is wrong is said and passed over; the session goes on.
        if (ParseLine(Widen(line), &command, &args) && !command->run(session, args)) {
            return; // the host has ended
        }
    }
}
