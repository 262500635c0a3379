#include "controller/music_commands.h"

#include <cstdio>
#include <cwchar>
#include <string>

#include "controller/control_commands.h"
#include "controller/text.h"

namespace {

constexpr int kChannels = 16;

bool ReadReal(const std::wstring& word, double* value) {
    wchar_t* end = nullptr;
    *value = std::wcstod(word.c_str(), &end);
    return !word.empty() && *end == L'\0';
}

// A channel from 1 to 16 (0 too when `all` is allowed).
bool ReadChannelNumber(const std::wstring& word, bool all, int* channel) {
    unsigned long long number = 0;
    if (!ParseNumber(word, &number) || number > kChannels || (number == 0 && !all)) {
        return Fail(all ? "a channel is from 1 to 16, or 0 for all, not "
                        : "a channel is from 1 to 16, not ",
                    word);
    }
    *channel = static_cast<int>(number);
    return true;
}

// "1,2,10": the mask of those channels.
bool ReadChannelList(const std::wstring& text, unsigned* mask) {
    *mask = 0;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(L',', start);
        const size_t end = comma == std::wstring::npos ? text.size() : comma;
        int channel = 0;
        if (!ReadChannelNumber(text.substr(start, end - start), false, &channel) || channel < 1) {
            return false;
        }
        *mask |= 1u << (channel - 1);
        start = end + 1;
    }
    return true;
}

// The channels of `mask` as "1,2,10", or "none".
std::string ChannelText(unsigned mask) {
    std::string text;
    for (int channel = 1; channel <= kChannels; ++channel) {
        if ((mask & 1u << (channel - 1)) != 0) {
            text += (text.empty() ? "" : ",") + std::to_string(channel);
        }
    }
    return text.empty() ? "none" : text;
}

// Changes the mute and solo masks as `change` says, keeping the rest as the host has it.
bool ChangeMutes(Session* session, const Arguments& args, bool solo, bool on) {
    QbError error = {};
    QbControls controls = {};
    QbResult result = qb_controls(session->host, &controls, &error);
    if (result == QB_OK) {
        unsigned& mask = solo ? controls.soloed : controls.muted;
        mask = on ? mask | args.channels : mask & ~args.channels;
        result = qb_set_channel_mutes(session->host, controls.muted, controls.soloed, &error);
    }
    return Report(result, error);
}

} // namespace

bool ReadSpeed(Arguments* args) {
    if (!ReadReal(args->words[0], &args->speed) || !(args->speed >= 0.25 && args->speed <= 4)) {
        return Fail("a speed is from 0.25 to 4, not ", args->words[0]);
    }
    if (args->words.size() == 2) {
        return Fail("a ladder gives both its step and its limit: ", args->words[1]);
    }
    if (args->words.size() == 3 && (!ReadReal(args->words[1], &args->speedStep) ||
                                    !ReadReal(args->words[2], &args->speedLimit) ||
                                    !(args->speedStep >= -4 && args->speedStep <= 4) ||
                                    !(args->speedLimit >= 0.25 && args->speedLimit <= 4))) {
        return Fail("a ladder's step is from -4 to 4 and its limit from 0.25 to 4, not ",
                    args->words[1] + L" " + args->words[2]);
    }
    return true;
}

bool ReadTranspose(Arguments* args) {
    wchar_t* end = nullptr;
    const long semitones = std::wcstol(args->words[0].c_str(), &end, 10);
    if (args->words[0].empty() || *end != L'\0' || semitones < -24 || semitones > 24) {
        return Fail("a transposition is from -24 to 24 semitones, not ", args->words[0]);
    }
    args->semitones = static_cast<int>(semitones);
    return args->words.size() < 2 || ReadChannelList(args->words[1], &args->channels);
}

bool ReadChannel(Arguments* args) {
    return ReadChannelList(args->words[0], &args->channels);
}

bool ReadChannelVolume(Arguments* args) {
    if (!ReadChannelNumber(args->words[0], true, &args->channel)) {
        return false;
    }
    if (!ReadReal(args->words[1], &args->volume) || !(args->volume >= 0 && args->volume <= 1)) {
        return Fail("a channel's volume is from 0 to 1, not ", args->words[1]);
    }
    return true;
}

bool ReadControlGroups(Arguments* args) {
    static const struct {
        const wchar_t* word;
        unsigned group;
    } kGroups[] = {{L"speed", QB_CONTROLS_SPEED},
                   {L"key", QB_CONTROLS_KEY},
                   {L"channels", QB_CONTROLS_CHANNELS},
                   {L"volumes", QB_CONTROLS_VOLUMES}};
    for (const std::wstring& word : args->words) {
        unsigned named = 0;
        for (const auto& group : kGroups) {
            named |= word == group.word ? group.group : 0;
        }
        if (named == 0) {
            return Fail("the settings to clear are speed, key, channels or volumes, not ", word);
        }
        args->groups |= named;
    }
    return true;
}

bool Speed(Session* session, const Arguments& args) {
    QbError error = {};
    long thousandths = 0;
    const QbResult result = qb_set_speed(session->host, args.speed, args.speedStep, args.speedLimit,
                                         &thousandths, &error);
    if (result == QB_OK) {
        std::printf("speed: %.3f\n", thousandths / 1000.0);
        std::fflush(stdout);
    }
    return Report(result, error);
}

bool Transpose(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(qb_set_transpose(session->host, args.semitones, args.channels, &error), error);
}

bool Mute(Session* session, const Arguments& args) {
    return ChangeMutes(session, args, false, true);
}

bool Unmute(Session* session, const Arguments& args) {
    return ChangeMutes(session, args, false, false);
}

bool Solo(Session* session, const Arguments& args) {
    return ChangeMutes(session, args, true, true);
}

bool Unsolo(Session* session, const Arguments& args) {
    return ChangeMutes(session, args, true, false);
}

bool ChannelVolume(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(qb_set_channel_volume(session->host, args.channel, args.volume, &error), error);
}

bool ClearControls(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(qb_clear_controls(session->host, args.groups, &error), error);
}

bool Controls(Session* session, const Arguments&) {
    QbError error = {};
    QbControls controls = {};
    const QbResult result = qb_controls(session->host, &controls, &error);
    if (result == QB_OK) {
        std::string volumes;
        for (int channel = 0; channel < kChannels; ++channel) {
            char number[16];
            std::snprintf(number, sizeof(number), "%s%.3f", channel == 0 ? "" : ",",
                          controls.volume[channel]);
            volumes += number;
        }
        std::printf("controls: speed %.3f (step %.3f, limit %.3f), transpose %d on %s, muted %s, "
                    "soloed %s, volumes %s\n",
                    controls.speed, controls.speed_step, controls.speed_limit, controls.transpose,
                    ChannelText(controls.transposed).c_str(), ChannelText(controls.muted).c_str(),
                    ChannelText(controls.soloed).c_str(), volumes.c_str());
        std::fflush(stdout);
    }
    return Report(result, error);
}

bool AtSpeed(Session* session, const Arguments&) {
    QbError error = {};
    long position = 0;
    long length = 0;
    QbResult result = qb_at_speed(session->host, 0, &position, &error);
    if (result == QB_OK) {
        result = qb_at_speed(session->host, 1, &length, &error);
    }
    if (result == QB_OK) {
        std::printf("at speed: position %ld ms, length %ld ms\n", position, length);
        std::fflush(stdout);
    }
    return Report(result, error);
}

bool ReadBarBeat(Arguments* args) {
    QbBarBeat& at = args->bar;
    wchar_t extra = 0;
    const int read = std::swscanf(args->words[0].c_str(), L"%lu:%lu:%lu%lc", &at.bar, &at.beat,
                                  &at.tick, &extra);
    if (read < 1 || read > 3 || at.bar == 0 || at.beat == 0) {
        return Fail("a bar is BAR[:BEAT[:TICK]], bars and beats from 1, not ", args->words[0]);
    }
    return true;
}

bool Marks(Session* session, const Arguments&) {
    static const char* const kKinds[] = {"marker",        "cue", "lyric", "text", "time signature",
                                         "key signature", "?",   "?",     "?",    "tempo"};
    QbError error = {};
    long count = 0;
    long ppqn = 0;
    unsigned long ticks = 0;
    QbBarBeat length = {};
    QbResult result = qb_mark_count(session->host, &count, &error);
    if (result == QB_OK && qb_music_time(session->host, &ppqn, &ticks, &length, &error) == QB_OK) {
        std::printf("music: %ld ticks a quarter, %lu ticks long (%lu:%lu:%lu)\n", ppqn, ticks,
                    length.bar, length.beat, length.tick);
    }
    for (long index = 0; result == QB_OK && index < count; ++index) {
        QbMark mark = {};
        result = qb_mark(session->host, index, &mark, &error);
        if (result == QB_OK) {
            std::printf("mark %ld: %s at tick %lu (%ld ms): %s\n", index,
                        mark.kind >= 0 && mark.kind <= 9 ? kKinds[mark.kind] : "?", mark.tick,
                        mark.ms, Narrow(mark.text).c_str());
        }
    }
    std::fflush(stdout);
    return Report(result, error);
}

bool BarPosition(Session* session, const Arguments&) {
    QbError error = {};
    long ticks = 0;
    QbBarBeat at = {};
    const QbResult result = qb_bar_position(session->host, &ticks, &at, &error);
    if (result == QB_OK) {
        std::printf("bar position: %lu:%lu:%lu (tick %ld)\n", at.bar, at.beat, at.tick, ticks);
        std::fflush(stdout);
    }
    return Report(result, error);
}

bool SeekBar(Session* session, const Arguments& args) {
    QbError error = {};
    long reached = 0;
    const QbResult result = qb_seek_bar(session->host, args.bar, &reached, &error);
    if (result == QB_OK) {
        std::printf("seek: %ld ms\n", reached);
        std::fflush(stdout);
    }
    return Report(result, error);
}

bool LoopOnMarkers(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(qb_loop_on_markers(session->host, args.passes, &error), error);
}

bool ReadWatch(Arguments* args) {
    static const struct {
        const wchar_t* word;
        unsigned kinds;
    } kKinds[] = {{L"notes", QB_WATCH_NOTES},
                  {L"turns", QB_WATCH_TURNS},
                  {L"end", QB_WATCH_END},
                  {L"seeks", QB_WATCH_SEEKS},
                  {L"marks", QB_WATCH_MARKS},
                  {L"beats", QB_WATCH_BEATS},
                  {L"bars", QB_WATCH_BARS},
                  {L"device-events", QB_WATCH_DEVICE},
                  {L"all", QB_WATCH_NOTES | QB_WATCH_TURNS | QB_WATCH_END | QB_WATCH_SEEKS |
                               QB_WATCH_MARKS | QB_WATCH_BEATS | QB_WATCH_BARS | QB_WATCH_DEVICE},
                  {L"none", 0}};
    const std::wstring& list = args->words.empty() ? std::wstring(L"all") : args->words[0];
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(L',', start);
        const std::wstring word =
            list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        bool known = false;
        for (const auto& kind : kKinds) {
            if (word == kind.word) {
                args->kinds |= kind.kinds;
                known = true;
            }
        }
        if (!known) {
            return Fail("a watch is of notes, turns, end, seeks, marks, beats, bars, "
                        "device-events, all or none, not ",
                        word);
        }
        start = comma == std::wstring::npos ? list.size() + 1 : comma + 1;
    }
    if (args->words.size() > 1) {
        wchar_t* end = nullptr;
        const long offset = std::wcstol(args->words[1].c_str(), &end, 10);
        if (*end != L'\0' || offset < -1000 || offset > 1000) {
            return Fail("a watch's offset is -1000 to 1000 ms, not ", args->words[1]);
        }
        args->offsetMs = static_cast<int>(offset);
    }
    return true;
}

namespace {

void PrintNotification(void* /*user*/, const QbNotification* note) {
    switch (note->kind) {
    case QB_WATCH_NOTES:
        std::printf("heard note: channel %u key %u velocity %u", (note->data & 0xFF) + 1,
                    note->data >> 8 & 0x7F, note->data >> 16 & 0x7F);
        break;
    case QB_WATCH_TURNS:
        std::printf("heard turn: pass %u starts", note->pass);
        break;
    case QB_WATCH_END:
        std::printf("heard end");
        break;
    case QB_WATCH_MARKS:
        std::printf("heard mark: %u (kind %u)", note->data & 0xFFFFFF, note->data >> 24);
        break;
    case QB_WATCH_BEATS:
    case QB_WATCH_BARS:
        std::printf("heard %s: %u:%u", note->kind == QB_WATCH_BARS ? "bar" : "beat",
                    note->data >> 8, note->data & 0xFF);
        break;
    case QB_WATCH_DEVICE: {
        static const char* const kEvents[] = {"?", "lost", "back", "moved"};
        const unsigned event = note->data >> 8;
        std::printf("device %u %s", note->data & 0xFF, event < 4 ? kEvents[event] : "?");
        break;
    }
    default:
        std::printf("heard seek");
        break;
    }
    std::printf(" at %d ms, tick %u, pass %u, %d ms late\n", note->ms, note->tick, note->pass,
                note->late_ms);
    std::fflush(stdout);
}

} // namespace

bool Watch(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(
        qb_watch(session->host, args.kinds, args.offsetMs, PrintNotification, nullptr, &error),
        error);
}
