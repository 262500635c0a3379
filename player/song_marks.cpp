#include "player/song_marks.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "common/decimal_text.h"

namespace {

constexpr int kAllTracks = -1;
constexpr DWORD kResultError = ~DWORD{0};
constexpr uint32_t kLibraryKinds = 6; // markers to key signatures
constexpr uint32_t kDefaultTempo = 500000;
constexpr uint32_t kDefaultBeats = 4;
constexpr uint32_t kTempoTextChars = 12;
constexpr uint32_t kMostBeats = 1000000;
constexpr double kBytesPerMicrosecond = double{kSampleRate} * kBytesPerFrame / 1e6;

// One mark as the library gives it, before its text is copied.
struct RawMark {
    uint32_t kind;
    uint32_t tick;
    DWORD pos;
    const char* text;
};

bool StartsWith(const char* text, const char* start) {
    return std::strncmp(text, start, std::strlen(start)) == 0;
}

// Counts (with a null table) or fills the library's marks of every kind, in kind order.
uint32_t LibraryMarks(HSTREAM midi, RawMark* raw) {
    const auto getMarks = Further().midiStreamGetMarks;
    uint32_t count = 0;
    for (uint32_t kind = 0; getMarks != nullptr && kind < kLibraryKinds; ++kind) {
        const DWORD n = getMarks(midi, kAllTracks, kind, nullptr);
        if (n == kResultError || n == 0) {
            continue;
        }
        if (raw != nullptr) {
            auto* inBytes = static_cast<BASS_MIDI_MARK*>(std::calloc(n, sizeof(BASS_MIDI_MARK)));
            auto* inTicks = static_cast<BASS_MIDI_MARK*>(std::calloc(n, sizeof(BASS_MIDI_MARK)));
            const bool read = inBytes != nullptr && inTicks != nullptr &&
                              getMarks(midi, kAllTracks, kind, inBytes) == n &&
                              getMarks(midi, kAllTracks, kind | kMarkTick, inTicks) == n;
            for (DWORD i = 0; read && i < n; ++i) {
                raw[count + i] = {kind, inTicks[i].pos, inBytes[i].pos,
                                  inBytes[i].text != nullptr ? inBytes[i].text : ""};
            }
            std::free(inBytes);
            std::free(inTicks);
            if (!read) {
                return count;
            }
        }
        count += n;
    }
    return count;
}

uint32_t TempoCount(const EventTable* table) {
    uint32_t count = 0;
    for (DWORD i = 0; i < table->eventCount; ++i) {
        count += table->records[i].event == kEventTempo ? 1 : 0;
    }
    return count;
}

// The marks in order of position (of tick; a kind given later stays after at a tick).
void SortByTick(SongMark* marks, uint32_t count) {
    for (uint32_t i = 1; i < count; ++i) {
        const SongMark mark = marks[i];
        uint32_t j = i;
        for (; j > 0 && marks[j - 1].tick > mark.tick; --j) {
            marks[j] = marks[j - 1];
        }
        marks[j] = mark;
    }
}

// The library's 32-bit positions, in order, unwrapped into the song's.
void UnwrapPositions(SongMark* marks, uint32_t count) {
    QWORD span = 0;
    DWORD last = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const auto pos = static_cast<DWORD>(marks[i].bytes);
        span += pos < last ? 1 : 0;
        last = pos;
        marks[i].bytes = span << 32 | pos;
    }
}

// "6/8/24/8": the numerator and the denominator; 4/4 for a text that is not one.
uint32_t TimeSignatureValue(const char* text) {
    const char* end = text + std::strlen(text);
    const char* slash = std::strchr(text, '/');
    const int64_t numerator = ReadDecimal(text, end, 0, 256);
    const int64_t denominator = slash != nullptr ? ReadDecimal(slash + 1, end, 0, 256) : 0;
    if (numerator == 0 || numerator > 255 || denominator == 0 || denominator > 255) {
        return kDefaultBeats << 8 | 4;
    }
    return static_cast<uint32_t>(numerator << 8 | denominator);
}

// A tempo's text: its microseconds a quarter in decimal.
void WriteDecimal(uint32_t value, char* text) {
    char digits[kTempoTextChars];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && count < kTempoTextChars - 1);
    for (size_t i = 0; i < count; ++i) {
        text[i] = digits[count - 1 - i];
    }
    text[count] = '\0';
}

// The tempo in effect at a mark, and where it began: the last tempo change at or before
// `tick` (or `bytes`, when `byBytes`).
const SongMark* TempoBefore(const SongMarks* marks, uint64_t tick, QWORD bytes, bool byBytes) {
    const SongMark* found = nullptr;
    for (uint32_t i = 0; i < marks->count; ++i) {
        const SongMark& mark = marks->marks[i];
        if (byBytes ? mark.bytes > bytes : mark.tick > tick) {
            break;
        }
        found = mark.kind == kMarkTempo ? &mark : found;
    }
    return found;
}

// The length of the bars and beats from a time signature, in ticks.
struct Meter {
    uint64_t start; // the tick where it begins, on a bar line
    uint64_t bar;   // the number of bars before it
    uint64_t beatTicks;
    uint64_t barTicks;
};

Meter MeterOf(const SongMarks* marks, uint64_t start, uint64_t bar, uint32_t value) {
    const uint64_t beatTicks = uint64_t{marks->ppqn} * 4 / (value & 0xFF);
    return {start, bar, beatTicks != 0 ? beatTicks : 1,
            (beatTicks != 0 ? beatTicks : 1) * (value >> 8)};
}

// Walks the time signatures up to the one in effect at `tick` (or at bar `bar`).
Meter MeterAt(const SongMarks* marks, uint64_t tick, uint64_t bar, bool byBar) {
    Meter meter = MeterOf(marks, 0, 0, kDefaultBeats << 8 | 4);
    for (uint32_t i = 0; i < marks->count; ++i) {
        const SongMark& mark = marks->marks[i];
        if (mark.kind != kMarkTimeSignature || mark.tick < meter.start) {
            continue;
        }
        // A signature between bar lines starts a bar of its own.
        const uint64_t bars = (mark.tick - meter.start + meter.barTicks - 1) / meter.barTicks;
        if (byBar ? meter.bar + bars > bar : mark.tick > tick) {
            break;
        }
        meter = MeterOf(marks, mark.tick, meter.bar + bars, mark.value);
    }
    return meter;
}

// Every beat up to `endTick`, bar by bar: a bar's beats stop where the next bar starts
// (early, at a time signature between bar lines). None when there are too many.
void ListBeats(SongMarks* marks, uint64_t endTick) {
    uint32_t count = 0;
    for (int fill = 0; fill < 2; ++fill) {
        count = 0;
        for (uint32_t bar = 1;; ++bar) {
            const uint64_t start = TickAtBarBeat(marks, {bar, 1, 0});
            const uint64_t next = TickAtBarBeat(marks, {bar + 1, 1, 0});
            if (start > endTick || count >= kMostBeats) {
                break;
            }
            for (uint32_t beat = 1;; ++beat) {
                const uint64_t tick = TickAtBarBeat(marks, {bar, beat, 0});
                if (tick >= next || tick > endTick) {
                    break;
                }
                if (fill == 1) {
                    marks->beats[count] = {BytesAtTick(marks, tick), static_cast<uint32_t>(tick),
                                           bar, beat};
                }
                ++count;
            }
        }
        if (fill == 0) {
            marks->beats = static_cast<SongBeat*>(std::calloc(count + 1, sizeof(SongBeat)));
            if (marks->beats == nullptr || count >= kMostBeats) {
                return;
            }
        }
    }
    marks->beatCount = count;
}

} // namespace

SongMarks* ReadSongMarks(HSTREAM midi, const EventTable* table) {
    const uint32_t libraryCount = LibraryMarks(midi, nullptr);
    const uint32_t tempoCount = TempoCount(table);
    auto* raw = static_cast<RawMark*>(std::calloc(libraryCount + 1, sizeof(RawMark)));
    if (raw == nullptr) {
        return nullptr;
    }
    const uint32_t read = LibraryMarks(midi, raw);
    size_t textBytes = size_t{tempoCount} * kTempoTextChars;
    bool karaoke = false;
    for (uint32_t i = 0; i < read; ++i) {
        textBytes += std::strlen(raw[i].text) + 1;
        karaoke = karaoke || (raw[i].kind == kMarkText && StartsWith(raw[i].text, "@K"));
    }
    const uint32_t count = read + tempoCount;
    auto* marks = static_cast<SongMarks*>(
        std::calloc(1, sizeof(SongMarks) + size_t{count} * sizeof(SongMark) + textBytes));
    if (marks == nullptr) {
        std::free(raw);
        return nullptr;
    }
    marks->marks = reinterpret_cast<SongMark*>(marks + 1);
    char* text = reinterpret_cast<char*>(marks->marks + count);
    for (uint32_t i = 0; i < read; ++i) {
        const size_t length = std::strlen(raw[i].text);
        std::memcpy(text, raw[i].text, length + 1);
        // A karaoke file's syllables are text events; its own headers start with '@'.
        const bool syllable = karaoke && raw[i].kind == kMarkText && text[0] != '@';
        marks->marks[i] = {syllable ? uint32_t{kMarkLyric} : raw[i].kind, raw[i].tick, raw[i].pos,
                           raw[i].kind == kMarkTimeSignature ? TimeSignatureValue(text) : 0, text};
        text += length + 1;
    }
    std::free(raw);
    uint32_t at = read;
    for (DWORD i = 0; i < table->eventCount; ++i) {
        const SongEvent& event = table->records[i];
        if (event.event == kEventTempo) {
            WriteDecimal(event.param, text);
            marks->marks[at++] = {kMarkTempo, event.tick, event.pos, event.param, text};
            text += kTempoTextChars;
        }
    }
    marks->count = count;
    SortByTick(marks->marks, count);
    UnwrapPositions(marks->marks, count);
    float ppqn = 0;
    const auto getAttribute = Further().channelGetAttribute;
    if (getAttribute != nullptr && getAttribute(midi, kAttribMidiPpqn, &ppqn) != 0 && ppqn >= 1 &&
        ppqn < 65536) {
        marks->ppqn = static_cast<uint32_t>(ppqn);
        ListBeats(marks, TickAtBytes(marks, SongEndBytes(table)));
    }
    return marks;
}

void FreeSongMarks(SongMarks* marks) {
    if (marks != nullptr) {
        std::free(marks->beats);
    }
    std::free(marks);
}

uint64_t TickAtBytes(const SongMarks* marks, QWORD bytes) {
    const SongMark* tempo = TempoBefore(marks, 0, bytes, true);
    const uint64_t tick = tempo != nullptr ? tempo->tick : 0;
    const QWORD from = tempo != nullptr ? tempo->bytes : 0;
    const double micros = tempo != nullptr ? tempo->value : kDefaultTempo;
    const double bytesPerTick = micros * kBytesPerMicrosecond / marks->ppqn;
    return tick + static_cast<uint64_t>(static_cast<double>(bytes - from) / bytesPerTick + 1e-6);
}

QWORD BytesAtTick(const SongMarks* marks, uint64_t tick) {
    const SongMark* tempo = TempoBefore(marks, tick, 0, false);
    const uint64_t from = tempo != nullptr ? tempo->tick : 0;
    const QWORD bytes = tempo != nullptr ? tempo->bytes : 0;
    const double micros = tempo != nullptr ? tempo->value : kDefaultTempo;
    const double frames =
        static_cast<double>(tick - from) * micros * kSampleRate / 1e6 / marks->ppqn;
    return bytes + static_cast<QWORD>(std::llround(frames)) * kBytesPerFrame;
}

BarBeat BarBeatAtTick(const SongMarks* marks, uint64_t tick) {
    const Meter meter = MeterAt(marks, tick, 0, false);
    const uint64_t into = tick - meter.start;
    const uint64_t inBar = into % meter.barTicks;
    return {static_cast<uint32_t>(meter.bar + into / meter.barTicks + 1),
            static_cast<uint32_t>(inBar / meter.beatTicks + 1),
            static_cast<uint32_t>(inBar % meter.beatTicks)};
}

uint64_t TickAtBarBeat(const SongMarks* marks, BarBeat at) {
    const uint64_t bar = at.bar > 0 ? at.bar - 1 : 0;
    const Meter meter = MeterAt(marks, 0, bar, true);
    const uint64_t beat = at.beat > 0 ? at.beat - 1 : 0;
    return meter.start + (bar - meter.bar) * meter.barTicks + beat * meter.beatTicks + at.tick;
}
