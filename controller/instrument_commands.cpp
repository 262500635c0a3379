#include "controller/instrument_commands.h"

#include <cstdio>
#include <cwchar>

#include "controller/control_commands.h"
#include "controller/text.h"

namespace {

constexpr size_t kNameChars = 256;
constexpr unsigned long long kUnixEpochTicks = 116444736000000000ull; // 100 ns since 1601
constexpr double kTicksPerMs = 10000.0;

const char* KindText(long kind) {
    return kind == QB_STATE_CHUNK ? "the plug-in's chunk" : "every parameter's value";
}

void PrintLine(const char* format, const std::wstring& text) {
    std::printf(format, Narrow(text).c_str());
    std::fflush(stdout);
}

typedef QbResult (*StateFileCall)(QbHost*, const wchar_t*, long*, QbError*);

bool StateCall(Session* session, const Arguments& args, StateFileCall call, const char* done) {
    QbError error = {};
    long kind = 0;
    const QbResult result = call(session->host, args.words[0].c_str(), &kind, &error);
    if (result == QB_OK) {
        std::printf("%s state: %s\n", done, KindText(kind));
        std::fflush(stdout);
    }
    return Report(result, error);
}

} // namespace

bool ReadIndex(Arguments* args) {
    unsigned long long index = 0;
    if (!ParseNumber(args->words[0], &index) || index > 0x7FFFFFFF) {
        return Fail("an index is a whole number from 0, not ", args->words[0]);
    }
    args->index = static_cast<long>(index);
    return true;
}

bool ReadParam(Arguments* args) {
    if (!ReadIndex(args)) {
        return false;
    }
    wchar_t* end = nullptr;
    args->value = std::wcstod(args->words[1].c_str(), &end);
    if (*end != L'\0' || !(args->value >= 0 && args->value <= 1)) {
        return Fail("a parameter's value is from 0 to 1, not ", args->words[1]);
    }
    return true;
}

bool ReadMidi(Arguments* args) {
    for (const std::wstring& word : args->words) {
        wchar_t* end = nullptr;
        const unsigned long byte = std::wcstoul(word.c_str(), &end, 16);
        if (word.size() != 2 || *end != L'\0' || byte > 0xFF) {
            return Fail("MIDI bytes are two hex digits each, not ", word);
        }
        args->midi.push_back(static_cast<unsigned char>(byte));
    }
    return true;
}

bool PluginWithState(Session* session, const Arguments& args) {
    QbError error = {};
    int hasEditor = 0;
    const QbResult result = qb_load_plugin_with_state(session->host, args.words[0].c_str(),
                                                      args.words[1].c_str(), &hasEditor, &error);
    if (result == QB_OK) {
        std::printf("plug-in loaded with its state (editor: %s)\n", hasEditor ? "yes" : "no");
        std::fflush(stdout);
    }
    return Report(result, error);
}

bool SaveState(Session* session, const Arguments& args) {
    return StateCall(session, args, qb_save_state, "saved");
}

bool LoadState(Session* session, const Arguments& args) {
    return StateCall(session, args, qb_load_state, "loaded");
}

bool Programs(Session* session, const Arguments&) {
    QbError error = {};
    long count = 0;
    long current = -1;
    QbResult result = qb_programs(session->host, &count, &current, &error);
    if (result == QB_OK) {
        std::printf("programs: %ld\n", count);
    }
    for (long i = 0; result == QB_OK && i < count; ++i) {
        wchar_t name[kNameChars];
        result = qb_program_name(session->host, i, name, kNameChars, &error);
        if (result == QB_OK) {
            std::printf("%c %ld %s\n", i == current ? '*' : ' ', i, Narrow(name).c_str());
        }
    }
    std::fflush(stdout);
    return Report(result, error);
}

bool Program(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(qb_set_program(session->host, args.index, &error), error);
}

bool Params(Session* session, const Arguments&) {
    QbError error = {};
    long count = 0;
    QbResult result = qb_param_count(session->host, &count, &error);
    if (result == QB_OK) {
        std::printf("parameters: %ld\n", count);
    }
    for (long i = 0; result == QB_OK && i < count; ++i) {
        wchar_t name[kNameChars];
        wchar_t display[kNameChars];
        double value = 0;
        result = qb_param(session->host, i, &value, name, kNameChars, display, kNameChars, &error);
        if (result == QB_OK) {
            std::printf("  %ld %s = %.6f (%s)\n", i, Narrow(name).c_str(), value,
                        Narrow(display).c_str());
        }
    }
    std::fflush(stdout);
    return Report(result, error);
}

bool Param(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(qb_set_param(session->host, args.index, args.value, &error), error);
}

// Says when the messages were sent, in milliseconds of the system clock, so their way
// to the instrument can be timed against a trace.
bool Midi(Session* session, const Arguments& args) {
    QbError error = {};
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const QbResult result = qb_send_midi(session->host, args.midi.data(), args.midi.size(), &error);
    if (result == QB_OK) {
        const unsigned long long ticks =
            static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
        std::printf("midi: %u bytes sent at %.3f ms\n", static_cast<unsigned>(args.midi.size()),
                    static_cast<double>(ticks - kUnixEpochTicks) / kTicksPerMs);
        std::fflush(stdout);
    }
    return Report(result, error);
}

bool Info(Session* session, const Arguments&) {
    QbError error = {};
    wchar_t text[kNameChars];
    QbResult result = qb_host_version(session->host, text, kNameChars, &error);
    if (result == QB_OK) {
        PrintLine("host: %s\n", text);
        long version = 0;
        result = qb_plugin_info(session->host, &version, text, kNameChars, &error);
        if (result == QB_OK) {
            std::printf("plug-in version %ld: ", version);
            PrintLine("%s\n", text);
        }
    }
    return Report(result, error);
}
