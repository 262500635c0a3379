#include "controller/control_commands.h"

#include <cmath>
#include <cstdio>
#include <cwchar>

#include "controller/device_commands.h"
#include "controller/text.h"

namespace {

void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

// "1:23.456 (83456 ms)"
std::string TimeText(long ms) {
    char text[64];
    const long minutes = ms / 60000;
    std::snprintf(text, sizeof(text), "%ld:%06.3f (%ld ms)", minutes,
                  (ms - minutes * 60000) / 1000.0, ms);
    return text;
}

const char* StatusText(long status) {
    switch (status) {
    case QB_STATUS_NO_SONG:
        return "no song";
    case QB_STATUS_LOADED:
        return "loaded";
    case QB_STATUS_PLAYING:
        return "playing";
    case QB_STATUS_PAUSED:
        return "paused";
    case QB_STATUS_DEVICE_PAUSED:
        return "device paused";
    default:
        return "unknown";
    }
}

} // namespace

bool Report(QbResult result, const QbError& error) {
    if (result == QB_OK) {
        return true;
    }
    Print("command failed: %s\n", Narrow(error.message).c_str());
    return result != QB_ERROR_HOST_ENDED;
}

bool ReadVolume(Arguments* args) {
    wchar_t* end = nullptr;
    args->volume = std::wcstod(args->words[0].c_str(), &end);
    if (*end != L'\0' || !(args->volume >= 0 && args->volume <= 1)) {
        return Fail("a volume is from 0 to 1, not ", args->words[0]);
    }
    unsigned long long ms = 0;
    if (args->words.size() > 1 && (!ParseNumber(args->words[1], &ms) || ms > 0x7FFFFFFF)) {
        return Fail("a fade is a whole number of milliseconds, not ", args->words[1]);
    }
    args->milliseconds = static_cast<DWORD>(ms);
    if (args->words.size() > 2) {
        if (args->words[2] == L"then-pause") {
            args->fadeEnd = QB_FADE_END_PAUSE;
        } else if (args->words[2] == L"then-stop") {
            args->fadeEnd = QB_FADE_END_STOP;
        } else {
            return Fail("after a fade comes then-pause or then-stop, not ", args->words[2]);
        }
    }
    return true;
}

bool ReadTime(Arguments* args) {
    return ParseClock(args->words[0], &args->startMs) ||
           Fail("a time is [[h:]m:]s with an optional fraction, not ", args->words[0]);
}

bool ReadPassesWord(const std::wstring& word, Arguments* args) {
    unsigned long long passes = 0;
    if (!ParseNumber(word, &passes) || passes > 0xFFFFFFFF) {
        return Fail("passes are a whole number, not ", word);
    }
    args->passes = static_cast<unsigned long>(passes);
    return true;
}

bool ReadPasses(Arguments* args) {
    return args->words.empty() || ReadPassesWord(args->words[0], args);
}

bool ReadLoop(Arguments* args) {
    if (!ReadTime(args)) {
        return false;
    }
    if (args->words[1] != L"end" && !ParseClock(args->words[1], &args->endMs)) {
        return Fail("a loop ends at a time or at \"end\", not ", args->words[1]);
    }
    if (args->endMs >= 0 && args->endMs <= args->startMs) {
        return Fail("a loop ends after it starts: ", args->words[1]);
    }
    return args->words.size() < 3 || ReadPassesWord(args->words[2], args);
}

bool Volume(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(
        qb_set_volume(session->host, args.volume, args.milliseconds, args.fadeEnd, &error), error);
}

bool Seek(Session* session, const Arguments& args) {
    QbError error = {};
    long reached = 0;
    const QbResult result = qb_seek(session->host, args.startMs, &reached, &error);
    if (result == QB_OK) {
        Print("seek: %s\n", TimeText(reached).c_str());
    }
    return Report(result, error);
}

bool Position(Session* session, const Arguments&) {
    QbError error = {};
    long ms = 0;
    const QbResult result = qb_position(session->host, &ms, &error);
    if (result == QB_OK) {
        Print("position: %s\n", TimeText(ms).c_str());
    }
    return Report(result, error);
}

bool Length(Session* session, const Arguments&) {
    QbError error = {};
    long ms = 0;
    const QbResult result = qb_length(session->host, &ms, &error);
    if (result == QB_OK) {
        Print("length: %s\n", TimeText(ms).c_str());
    }
    return Report(result, error);
}

bool Loop(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(qb_set_loop(session->host, args.startMs, args.endMs, args.passes, &error), error);
}

bool Status(Session* session, const Arguments&) {
    QbError error = {};
    long status = 0;
    const QbResult result = qb_status(session->host, &status, &error);
    if (result == QB_OK) {
        Print("status: %s\n", StatusText(status));
        PrintLatency(session);
    }
    return Report(result, error);
}

bool Capabilities(Session* session, const Arguments&) {
    QbError error = {};
    long flags = 0;
    const QbResult result = qb_capabilities(session->host, &flags, &error);
    if (result == QB_OK) {
        static const struct {
            long flag;
            const char* name;
        } kNames[] = {{QB_CAN_STATUS, "status"},
                      {QB_CAN_SEEK, "seek"},
                      {QB_CAN_PAUSE, "pause"},
                      {QB_CAN_VOLUME, "volume"},
                      {QB_CAN_FADE, "fade"},
                      {QB_CAN_POSITION, "position"},
                      {QB_CAN_PARAMS, "params"},
                      {QB_CAN_PROGRAMS, "programs"},
                      {QB_CAN_CHUNKS, "chunks"},
                      {QB_CAN_MIDI, "midi"},
                      {QB_CAN_RESIZE, "resize"},
                      {QB_CAN_RENDER, "render"},
                      {QB_CAN_SONG, "song"},
                      {QB_CAN_SPEED, "speed"},
                      {QB_CAN_TRANSPOSE, "transpose"},
                      {QB_CAN_MUTE, "mute"},
                      {QB_CAN_CHANNEL_VOLUME, "channel-volume"},
                      {QB_CAN_MARKS, "marks"},
                      {QB_CAN_WATCH, "watch"},
                      {QB_CAN_DEVICES, "devices"},
                      {QB_CAN_LATENCY, "latency"}};
        std::string names = flags == 0 ? " none (a host without extensions)" : "";
        for (const auto& entry : kNames) {
            if ((flags & entry.flag) != 0) {
                names += std::string(" ") + entry.name;
            }
        }
        Print("capabilities:%s\n", names.c_str());
    }
    return Report(result, error);
}
