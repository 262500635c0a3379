#include "host/music_commands.h"

#include <cwchar>

#include "common/decimal_text.h"
#include "host/host_globals.h"
#include "player/jump.h"
#include "player/song_marks.h"
#include "player/transport.h"
#include "protocol/quillbrook_protocol.h"

namespace {

// The loaded song's marks; null without a song.
const SongMarks* LoadedMarks() {
    return player.playback.events.load() != nullptr ? player.songMarks : nullptr;
}

// The same when the song has musical time (ticks per quarter note).
const SongMarks* MusicalMarks() {
    const SongMarks* marks = LoadedMarks();
    return marks != nullptr && marks->ppqn != 0 ? marks : nullptr;
}

// Writes "BAR:BEAT:TICK" of `tick` after what `text` holds.
void AppendBarBeat(const SongMarks* marks, uint64_t tick, wchar_t* text) {
    const size_t used = std::wcslen(text);
    const BarBeat at = BarBeatAtTick(marks, tick);
    std::swprintf(text + used, QB_PAYLOAD_CHARS - used, L"%u:%u:%u", at.bar, at.beat, at.tick);
}

LRESULT Ticks(uint64_t tick) {
    return static_cast<LRESULT>(tick < 0x7FFFFFFF ? tick : 0x7FFFFFFF);
}

} // namespace

LRESULT MarkCommand(CommandCall* call) {
    const SongMarks* marks = LoadedMarks();
    if (marks == nullptr) {
        return QB_FAIL_NO_SONG;
    }
    const PayloadWords& words = call->words;
    uint32_t index = 0;
    if (words.count > 1 || (words.count == 1 && (!PayloadWhole(words, 0, UINT32_MAX, &index) ||
                                                 index >= marks->count))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    if (words.count == 1) {
        const SongMark& mark = marks->marks[index];
        const int head = std::swprintf(call->text, QB_PAYLOAD_CHARS, L"%u\t%u\t%.0f\t", mark.kind,
                                       mark.tick, MsFromBytes(mark.bytes));
        // The file's texts are in the system's code page, as the library's names are.
        if (head > 0) {
            AppendAnswerText(call, CP_ACP, mark.text);
        }
    }
    return static_cast<LRESULT>(marks->count);
}

LRESULT MusicTimeCommand(CommandCall* call) {
    const SongMarks* marks = MusicalMarks();
    if (marks == nullptr) {
        return player.playback.events.load() == nullptr ? QB_FAIL_NO_SONG : QB_FAIL_NOT_AVAILABLE;
    }
    const EventTable* table = player.playback.events.load();
    const uint64_t length = TickAtBytes(marks, SongEndBytes(table));
    std::swprintf(call->text, QB_PAYLOAD_CHARS, L"%llu\t", static_cast<unsigned long long>(length));
    AppendBarBeat(marks, length, call->text);
    return static_cast<LRESULT>(marks->ppqn);
}

LRESULT BarPositionCommand(CommandCall* call) {
    const SongMarks* marks = MusicalMarks();
    if (marks == nullptr) {
        return player.playback.events.load() == nullptr ? QB_FAIL_NO_SONG : QB_FAIL_NOT_AVAILABLE;
    }
    const uint64_t tick = TickAtBytes(marks, HeardNow(&player).bytes);
    call->text[0] = L'\0';
    AppendBarBeat(marks, tick, call->text);
    return Ticks(tick);
}

bool PayloadSongMs(const PayloadWords& words, size_t index, double* ms) {
    if (PayloadNumber(words, index, ms)) {
        return true;
    }
    const SongMarks* marks = MusicalMarks();
    if (index >= words.count || marks == nullptr) {
        return false;
    }
    // BAR:BEAT[:TICK], each a run of digits.
    uint32_t parts[3] = {0, 0, 0};
    size_t count = 0;
    const wchar_t* at = words.start[index];
    const wchar_t* end = at + words.length[index];
    for (; count < 3 && at < end; ++count) {
        const wchar_t* digits = at;
        while (at < end && *at >= L'0' && *at <= L'9') {
            ++at;
        }
        if (at == digits || at - digits > 9 || (at < end && (*at != L':' || ++at == end))) {
            return false;
        }
        parts[count] = static_cast<uint32_t>(ReadDecimal(digits, at, 0, UINT32_MAX));
    }
    if (count < 2 || at != end || parts[0] == 0 || parts[1] == 0) {
        return false;
    }
    *ms = MsFromBytes(BytesAtTick(marks, TickAtBarBeat(marks, {parts[0], parts[1], parts[2]})));
    return true;
}

LRESULT LoopOnMarkersCommand(CommandCall* call) {
    const SongMarks* marks = LoadedMarks();
    if (marks == nullptr) {
        return QB_FAIL_NO_SONG;
    }
    const PayloadWords& words = call->words;
    uint32_t passes = 0;
    if (words.count > 2 || (words.count == 2 && !PayloadWhole(words, 1, UINT32_MAX, &passes))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    const SongMark* start = nullptr;
    const SongMark* end = nullptr;
    for (uint32_t i = 0; i < marks->count; ++i) {
        const SongMark& mark = marks->marks[i];
        if (mark.kind != kMarkMarker && mark.kind != kMarkCue) {
            continue;
        }
        if (start == nullptr && lstrcmpiA(mark.text, "loopStart") == 0) {
            start = &mark;
        } else if (start != nullptr && end == nullptr && lstrcmpiA(mark.text, "loopEnd") == 0) {
            end = &mark;
        }
    }
    if (start == nullptr) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    return SetLoopRegionBytes(&player, true, start->bytes, end != nullptr ? end->bytes : kSongEnd,
                              passes);
}
