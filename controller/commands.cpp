#include "controller/commands.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "controller/control_commands.h"
#include "controller/device_commands.h"
#include "controller/instrument_commands.h"
#include "controller/music_commands.h"
#include "controller/editor_windows.h"
#include "controller/render_command.h"
#include "controller/text.h"

namespace {

void PrintAnswer(LRESULT answer) {
    std::printf("answered %lld\n", static_cast<long long>(answer));
    std::fflush(stdout);
}

bool ReadCode(Arguments* args) {
    unsigned long long value = 0;
    if (!ParseNumber(args->words[0], &value)) {
        return Fail("a command code is a whole number, not ", args->words[0]);
    }
    args->code = static_cast<ULONG_PTR>(value);
    return true;
}

bool ReadWait(Arguments* args) {
    return ParseSeconds(args->words[0], &args->milliseconds) ||
           Fail("wait wants seconds, not ", args->words[0]);
}

bool ReadSendBytes(Arguments* args) {
    if (!ReadCode(args)) {
        return false;
    }
    if (!ParseNumber(args->words[1], &args->bytes) ||
        args->bytes > (args->words[2].size() + 1) * sizeof(wchar_t)) {
        return Fail("the byte count must fit the text with its terminator: ", args->words[1]);
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
    return ReportLoad(qb_load_song(session->host, args.words[0].c_str(), nullptr, 0, &error),
                      error);
}

bool Plugin(Session* session, const Arguments& args) {
    QbError error = {};
    return ReportLoad(qb_load_plugin(session->host, args.words[0].c_str(), nullptr, &error), error);
}

bool Quit(Session* session, const Arguments&) {
    QbError error = {};
    const QbResult result = qb_quit(session->host, &error);
    return result == QB_ERROR_HOST_ENDED || Report(result, error);
}

bool Wait(Session* session, const Arguments& args) {
    qb_wait(session->host, args.milliseconds);
    return true;
}

bool Close(Session* session, const Arguments&) {
    PostMessageW(qb_host_window(session->host), WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

bool SendPayload(Session* session, const Arguments& args, const void* data, DWORD bytes) {
    QbError error = {};
    LRESULT answer = 0;
    const QbResult result = qb_send(session->host, args.code, data, bytes, &answer, &error);
    if (result == QB_OK) {
        PrintAnswer(answer);
    }
    return Report(result, error);
}

bool Send(Session* session, const Arguments& args) {
    const std::wstring text = args.words.size() > 1 ? args.words[1] : std::wstring();
    return SendPayload(session, args, text.c_str(),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool SendBytes(Session* session, const Arguments& args) {
    return SendPayload(session, args, args.words[2].c_str(), static_cast<DWORD>(args.bytes));
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

struct Command { // NOLINT(clang-analyzer-optin.performance.Padding): read as a table
    const char* name;
    const char* arguments; // as the usage shows them
    const char* help;
    bool forTesting; // listed apart: what a controller author would not copy
    size_t argumentCount;
    size_t optionalCount;          // further arguments it may take
    bool (*read)(Arguments* args); // before the host starts; null: nothing to read
    bool (*run)(Session* session, const Arguments& args);
    bool endsHost;
};

const Command kCommands[] = {
    {"song", "PATH", "load a Standard MIDI File (the song report is printed)", false, 1, 0, nullptr,
     Song, false},
    {"plugin", "PATH", "load a VST instrument plug-in (the editor report is printed)", false, 1, 0,
     nullptr, Plugin, false},
    {"play", "", "play the loaded song from its start, looping", false, 0, 0, nullptr,
     Simple<qb_play>, false},
    {"stop", "", "stop playing", false, 0, 0, nullptr, Simple<qb_stop>, false},
    {"free", "", "release the song's output stream", false, 0, 0, nullptr, Simple<qb_free_stream>,
     false},
    {"editor", "", "show the plug-in's editor window", false, 0, 0, nullptr, Simple<qb_show_editor>,
     false},
    {"wait", "SECONDS", "let time pass (fractions allowed)", false, 1, 0, ReadWait, Wait, false},
    {"pause", "", "pause the playing song", false, 0, 0, nullptr, Simple<qb_pause>, false},
    {"resume", "", "go on exactly where the pause stopped", false, 0, 0, nullptr, Simple<qb_resume>,
     false},
    {"volume", "VOLUME [MS [then-pause|then-stop]]",
     "set the volume (0 to 1), or fade to it over MS (then pausing or stopping)", false, 1, 2,
     ReadVolume, Volume, false},
    {"seek", "TIME", "go to TIME ([[h:]m:]s, fractions allowed) with every channel's state", false,
     1, 0, ReadTime, Seek, false},
    {"position", "", "print the position heard now", false, 0, 0, nullptr, Position, false},
    {"length", "", "print the song's length", false, 0, 0, nullptr, Length, false},
    {"loop", "START END [PASSES]",
     "loop from START to END (a TIME, or \"end\"), PASSES times (0: endless)", false, 2, 1,
     ReadLoop, Loop, false},
    {"no-loop", "", "take the loop region away: the whole song loops", false, 0, 0, nullptr,
     Simple<qb_clear_loop>, false},
    {"status", "", "print whether a song is loaded, playing or paused", false, 0, 0, nullptr,
     Status, false},
    {"capabilities", "", "print what the host can do with the libraries beside it", false, 0, 0,
     nullptr, Capabilities, false},
    {"plugin-with-state", "PATH FILE", "load a plug-in and apply its state file, as one call",
     false, 2, 0, nullptr, PluginWithState, false},
    {"save-state", "FILE", "save the instrument's state (its chunk, or its parameters) to FILE",
     false, 1, 0, nullptr, SaveState, false},
    {"load-state", "FILE", "apply a state file saved from the same plug-in", false, 1, 0, nullptr,
     LoadState, false},
    {"programs", "", "list the plug-in's programs, the current one marked", false, 0, 0, nullptr,
     Programs, false},
    {"program", "N", "select program N (from 0)", false, 1, 0, ReadIndex, Program, false},
    {"params", "", "list the plug-in's parameters: value, name, display text", false, 0, 0, nullptr,
     Params, false},
    {"param", "N VALUE", "set parameter N (from 0) to VALUE (0 to 1)", false, 2, 0, ReadParam,
     Param, false},
    {"midi", "BYTES...", "send MIDI messages live, as hex bytes (midi 90 3C 64)", false, 1,
     kMidiMoreBytes, ReadMidi, Midi, false},
    {"info", "", "print the host's version and the plug-in's name, vendor, id and version", false,
     0, 0, nullptr, Info, false},
    {"render", "SONG OUT.wav [OPTIONS]",
     "render SONG through the plug-in into OUT.wav, with progress; OPTIONS: passes=N, tail=MS "
     "or tail=silence, pcm16, realtime",
     false, 2, kRenderOptionWords, ReadRender, Render, false},
    {"speed", "SPEED [STEP LIMIT]",
     "play at SPEED (0.25 to 4) times the song's tempo; STEP is added at each turn of a loop "
     "region until LIMIT",
     false, 1, 2, ReadSpeed, Speed, false},
    {"transpose", "SEMITONES [CHANNELS]",
     "transpose by -24 to 24 semitones every channel but 10, or CHANNELS (1,2,...)", false, 1, 1,
     ReadTranspose, Transpose, false},
    {"mute", "CHANNELS", "mute channels (1 to 16, comma-separated): their notes end at once", false,
     1, 0, ReadChannel, Mute, false},
    {"unmute", "CHANNELS", "let muted channels play again", false, 1, 0, ReadChannel, Unmute,
     false},
    {"solo", "CHANNELS", "mute every channel but the soloed ones", false, 1, 0, ReadChannel, Solo,
     false},
    {"unsolo", "CHANNELS", "take channels out of the solo", false, 1, 0, ReadChannel, Unsolo,
     false},
    {"channel-volume", "CHANNEL VOLUME",
     "scale a channel's own volume (CHANNEL 1 to 16, 0 for all; VOLUME 0 to 1)", false, 2, 0,
     ReadChannelVolume, ChannelVolume, false},
    {"clear-controls", "[speed] [key] [channels] [volumes]",
     "put those settings (all without words) back to their defaults", false, 0, 4,
     ReadControlGroups, ClearControls, false},
    {"controls", "", "print the speed, key, mutes, solos and channel volumes set", false, 0, 0,
     nullptr, Controls, false},
    {"at-speed", "", "print the position heard and the length in time at the speed", false, 0, 0,
     nullptr, AtSpeed, false},
    {"marks", "", "list the song's marks (markers, lyrics, signatures, tempos) and its length",
     false, 0, 0, nullptr, Marks, false},
    {"bar-position", "", "print the position heard as bar:beat:tick", false, 0, 0, nullptr,
     BarPosition, false},
    {"seek-bar", "BAR[:BEAT[:TICK]]", "go to a bar and beat (from 1)", false, 1, 0, ReadBarBeat,
     SeekBar, false},
    {"watch", "[KINDS [OFFSET_MS]]",
     "print what is heard as it is heard: notes,turns,end,seeks,marks,beats,bars,device-events, "
     "all (the "
     "default) or none",
     false, 0, 2, ReadWatch, Watch, false},
    {"devices", "", "list the output devices: name, driver, enabled, default, in use", false, 0, 0,
     nullptr, Devices, false},
    {"device", "N|NAME|default",
     "play on that output device; a playing song goes on there from the same position", false, 1, 0,
     nullptr, Device, false},
    {"device-policy", "wait|default",
     "when the output device stops: wait for it, or go on on the system's default", false, 1, 0,
     ReadDevicePolicy, DevicePolicy, false},
    {"latency", "MS [PERIOD]",
     "the playback buffer (from the next stream) and the update period (at once), in ms", false, 1,
     1, ReadLatency, Latency, false},
    {"loop-markers", "[PASSES]", "loop on the song's own loopStart and loopEnd markers", false, 0,
     1, ReadPasses, LoopOnMarkers, false},
    {"quit", "", "tell the host to end", false, 0, 0, nullptr, Quit, true},
    {"close", "", "close the host's main window, as its system menu would", false, 0, 0, nullptr,
     Close, true},
    {"send", "CODE", "send a command code with an empty payload and print the answer", true, 1, 0,
     ReadCode, Send, false},
    {"send-text", "CODE TEXT", "send a code with TEXT as its payload", true, 2, 0, ReadCode, Send,
     false},
    {"send-bytes", "CODE BYTES TEXT", "send a code with TEXT, giving only BYTES as its size", true,
     3, 0, ReadSendBytes, SendBytes, false},
    {"send-null", "CODE", "send a code with no payload at all (null data, size 0)", true, 1, 0,
     ReadCode, SendNull, false},
    {"windows", "", "list the host's editor windows: size, position, visibility", true, 0, 0,
     nullptr, Windows, false},
    {"close-editor", "", "close the host's editor windows, as their close button would", true, 0, 0,
     nullptr, CloseEditors, false},
    {"kill-parent", "", "with --decoy-parent: end the decoy and time the host's end", true, 0, 0,
     nullptr, KillParent, true},
};

const Command* FindCommand(const std::wstring& name) {
    for (const Command& command : kCommands) {
        if (name == Widen(command.name)) {
            return &command;
        }
    }
    Fail("unknown command (see --help): ", name);
    return nullptr;
}

typedef std::vector<std::pair<const Command*, Arguments>> CommandList;

bool IsCommandName(const std::wstring& word) {
    for (const Command& command : kCommands) {
        if (word == Widen(command.name)) {
            return true;
        }
    }
    return false;
}

// Splits the words into commands with their arguments, reading each; false at the
// first that is wrong. Optional arguments are the words that follow, up to the
// command's number of them, until a command's name.
bool SplitCommands(const std::vector<std::wstring>& words, CommandList* out) {
    for (size_t i = 0; i < words.size();) {
        const Command* command = FindCommand(words[i]);
        if (command == nullptr) {
            return false;
        }
        if (words.size() - i - 1 < command->argumentCount) {
            return Fail("missing value after ", words[i]);
        }
        size_t count = command->argumentCount;
        const size_t most = command->argumentCount + command->optionalCount;
        while (count < most && i + 1 + count < words.size() &&
               !IsCommandName(words[i + 1 + count])) {
            ++count;
        }
        if (command->optionalCount > 0 && i + 1 + count < words.size() &&
            !IsCommandName(words[i + 1 + count])) {
            const std::string message = "too many values: at most " + std::to_string(most) +
                                        " fit in the command's payload after ";
            return Fail(message.c_str(), words[i]);
        }
        Arguments args;
        args.words.assign(words.begin() + static_cast<long>(i) + 1,
                          words.begin() + static_cast<long>(i + 1 + count));
        if (command->read != nullptr && !command->read(&args)) {
            return false;
        }
        out->emplace_back(command, args);
        i += 1 + count;
    }
    return true;
}

// One line of standard input as a command: the name, then its arguments separated by
// spaces, the last it takes taking the rest of the line.
bool ParseLine(const std::wstring& line, const Command** command, Arguments* args) {
    std::wstring rest = line;
    size_t space = rest.find(L' ');
    *command = FindCommand(rest.substr(0, space));
    if (*command == nullptr) {
        return false;
    }
    rest = space == std::wstring::npos ? std::wstring() : rest.substr(space + 1);
    const size_t most = (*command)->argumentCount + (*command)->optionalCount;
    for (size_t n = 0; n < most && (n < (*command)->argumentCount || !rest.empty()); ++n) {
        space = n + 1 < most ? rest.find(L' ') : std::wstring::npos;
        args->words.push_back(rest.substr(0, space));
        rest = space == std::wstring::npos ? std::wstring() : rest.substr(space + 1);
    }
    if ((*command)->argumentCount > 0 && args->words.back().empty()) {
        return Fail("missing value after ", line);
    }
    return (*command)->read == nullptr || (*command)->read(args);
}

void PrintCommands(bool forTesting) {
    for (const Command& command : kCommands) {
        if (command.forTesting != forTesting) {
            continue;
        }
        const std::string words = std::string(command.name) +
                                  (command.arguments[0] != '\0' ? " " : "") + command.arguments;
        std::printf("  %-28s %s\n", words.c_str(), command.help);
    }
}

} // namespace

bool ReadCommandWords(const std::vector<std::wstring>& words, CommandWords* read) {
    CommandList commands;
    if (!SplitCommands(words, &commands)) {
        return false;
    }
    for (const auto& command : commands) {
        const std::string name = command.first->name;
        if ((name == "plugin" || name == "plugin-with-state") && read->firstPlugin.empty()) {
            read->firstPlugin = command.second.words[0];
        }
        read->endsHost = read->endsHost || command.first->endsHost;
    }
    return true;
}

bool RunCommandLineCommands(Session* session, const std::vector<std::wstring>& words) {
    CommandList commands;
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

void PrintCommandUsage() {
    std::printf("commands:\n");
    PrintCommands(false);
    std::printf("\ncommands for testing a host (odd payloads, its windows, its parent's end):\n");
    PrintCommands(true);
}
