#include "player/song_commands.h"

#include <cstdint>
#include <cstdlib>

#include "audio/audio_constants.h"
#include "common/decimal_text.h"
#include "player/event_commands.h"
#include "player/output_stream.h"
#include "player/render_stream.h"
#include "player/song_marks.h"

namespace {

constexpr int kAllTracks = -1;
constexpr DWORD kAllEventTypes = 0;

EventTable* AllocateEventTable(DWORD eventCount) {
    const uint64_t bytes =
        sizeof(EventTable) + static_cast<uint64_t>(eventCount) * sizeof(SongEvent);
    if (static_cast<size_t>(bytes) != bytes) {
        return nullptr; // more than a 32-bit process can address
    }
    void* block = std::malloc(static_cast<size_t>(bytes));
    if (block == nullptr) {
        return nullptr;
    }
    EventTable* table = static_cast<EventTable*>(block);
    table->eventCount = 0;
    table->spanCount = 1;
    table->spanStarts[0] = 0;
    table->records = reinterpret_cast<SongEvent*>(table + 1);
    return table;
}

// Marks where the events' 32-bit positions wrap (a song of more spans than the table
// holds ends before the first event of the one too many), and spreads a crowd of
// events at one position over the frames after it, kSongEventsPerFrame a frame: the
// instrument's library refuses what one processing call cannot take.
void PlaceEvents(EventTable* table) {
    SongEvent* records = table->records;
    DWORD given = table->eventCount != 0 ? records[0].pos : 0; // as the library gave it
    DWORD crowd = 1; // events placed at the previous event's place so far
    for (DWORD i = 1; i < table->eventCount; ++i) {
        const DWORD pos = records[i].pos;
        const DWORD previous = records[i - 1].pos;
        if (pos < given) {
            if (table->spanCount == kMaxSongSpans) {
                table->eventCount = i;
                return;
            }
            table->spanStarts[table->spanCount++] = i;
            crowd = 1;
        } else if (pos > previous) {
            crowd = 1;
        } else if (crowd < kSongEventsPerFrame || previous + kBytesPerFrame < previous) {
            records[i].pos = previous;
            ++crowd;
        } else {
            records[i].pos = previous + kBytesPerFrame;
            crowd = 1;
        }
        given = pos;
    }
}

// Reads every event of the MIDI stream into a new table, or gives null when no table
// can be had: too many events, or the library's error value from either call, which is
// taken as a file it cannot read. Only records the library actually filled are counted.
EventTable* ReadEventTable(HSTREAM midi) {
    const DWORD counted = BASS_MIDI_StreamGetEvents(midi, kAllTracks, kAllEventTypes, nullptr);
    EventTable* table = counted != kResultError ? AllocateEventTable(counted) : nullptr;
    if (table == nullptr) {
        return nullptr;
    }
    const DWORD filled =
        BASS_MIDI_StreamGetEvents(midi, kAllTracks, kAllEventTypes, table->records);
    if (filled == kResultError) {
        std::free(table);
        return nullptr;
    }
    table->eventCount = filled < counted ? filled : counted;
    PlaceEvents(table);
    return table;
}

// Unpublishes the table, then releases it once no render call can be reading it.
void ReleaseEventTable(PlayerState* state) {
    state->playback.timeline.store(nullptr);
    EventTable* table = state->playback.events.exchange(nullptr);
    WaitForRenderCalls(state);
    std::free(table);
}

bool StartsWithCaseBlind(const char* text, const char* key) {
    for (; *key != '\0'; ++text, ++key) {
        const char c =
            (*text >= 'a' && *text <= 'z') ? static_cast<char>(*text - 'a' + 'A') : *text;
        if (c != *key) {
            return false;
        }
    }
    return true;
}

// atoi on the text after a key, then times 4 in 32-bit unsigned arithmetic.
DWORD ReadTagNumber(const char* text) {
    const char* end = text;
    while (*end != '\0') {
        ++end;
    }
    const auto value = static_cast<int32_t>(ReadDecimal(text, end, INT32_MIN, INT32_MAX));
    return static_cast<DWORD>(value) << 2;
}

} // namespace

DWORD ReadLoopTags(const char* tags, DWORD* loopStart) {
    static const char kStartKey[] = "LOOPSTART=";
    static const char kLengthKey[] = "LOOPLENGTH=";
    DWORD loopEnd = 0;
    *loopStart = 0;
    for (const char* tag = tags; tag != nullptr && *tag != '\0';) {
        if (StartsWithCaseBlind(tag, kStartKey)) {
            *loopStart = ReadTagNumber(tag + sizeof(kStartKey) - 1);
        }
        if (StartsWithCaseBlind(tag, kLengthKey)) {
            loopEnd = ReadTagNumber(tag + sizeof(kLengthKey) - 1);
        }
        while (*tag != '\0') {
            ++tag;
        }
        ++tag;
    }
    return loopEnd != 0 ? loopEnd + *loopStart : 0;
}

void LoadSong(PlayerState* state, const wchar_t* path) {
    if (path == nullptr) {
        return;
    }
    const HSTREAM midi =
        BASS_MIDI_StreamCreateFile(0, path, 0, 0, kDecodeFloatUnicode, kSampleRate);
    if (midi == 0) {
        return;
    }
    EventTable* table = ReadEventTable(midi);
    // The marks' texts are the library's until the stream is freed.
    SongMarks* marks = table != nullptr ? ReadSongMarks(midi, table) : nullptr;
    BASS_StreamFree(midi);
    if (table == nullptr) {
        return;
    }

    // The earlier song goes first, so nothing of it reaches the instrument once this
    // returns.
    ReleaseOutputStream(state);
    ReleaseLoopRegion(state);
    ReleaseSeekJump(state);
    ReleaseEventTable(state); // no render call reads the earlier marks either after this
    FreeSongMarks(state->songMarks);
    state->songMarks = marks;
    state->playback.timeline.store(marks, std::memory_order_release);
    state->playback.events.store(table, std::memory_order_release);
    EventControlsForNewSong(state);
    StartOutputStream(state, 0, 0, nullptr);
    ForgetFade(state); // the fade, its pause or stop included, was the earlier song's
}

void Play(PlayerState* state) {
    HSTREAM stream = state->outputStream.load();
    // After Stop the song's events are gone; there is nothing to play until the next
    // LoadSong.
    if (stream == 0 || state->playback.events.load(std::memory_order_acquire) == nullptr) {
        return;
    }
    // Play cancels a fade's pause or stop, and so that fade, a transition, entirely.
    if (state->fadeEnd != FadeEnd::None) {
        ForgetFade(state);
    }
    if (state->playing) {
        // Playing (or paused) already: start again from the first event on a stream of
        // its own, so a render call of the earlier run that is still under way cannot
        // move the new run's cursor, and notes sounding now are released.
        const bool fading = FadeRunning(state);
        const float heard = fading ? StreamVolumeNow(state, stream) : 0.0f;
        ReleaseOutputStream(state);
        stream = StartOutputStream(state, 0, 0, nullptr);
        if (stream == 0) {
            return;
        }
        if (fading) {
            GoOnWithFade(state, stream, heard);
        }
    }
    ArmOutputStream(state, stream);
    BASS_ChannelPlay(stream, 1);
}

void Stop(PlayerState* state) {
    const HSTREAM stream = state->outputStream.load();
    if (stream == 0) {
        return;
    }
    // Render calls find no table from here on and touch nothing, so the stop cannot
    // wait for one that is blocked on this thread.
    ReleaseEventTable(state);
    BASS_ChannelStop(stream);
    ReleaseLoopRegion(state);
    ReleaseSeekJump(state);
    state->playing = false;
    state->paused = false;
    ForgetFade(state);
}

void FreeStream(PlayerState* state) {
    if (state->outputStream.load() == 0) {
        return;
    }
    ReleaseOutputStream(state);
    state->playing = false;
    state->paused = false;
    ForgetFade(state);
}

// A sync may fire late, for a stream already replaced: only the current stream's own
// sync rewinds the song. It is counted like a render call, so a command that replaces
// the stream waits for it before it sets the new stream's cursor.
void CALLBACK LoopSyncProc(HSYNC /*sync*/, DWORD channel, DWORD /*data*/, void* user) {
    PlayerState* state = static_cast<PlayerState*>(user);
    state->renderCalls.fetch_add(1);
    // After a loop region's last pass the song ends there.
    if (channel != 0 && channel == state->outputStream.load() &&
        !state->playback.regionDone.load()) {
        state->playback.turnFromBytes.store(
            state->playback.renderedBytes.load(std::memory_order_relaxed),
            std::memory_order_relaxed);
        state->playback.turnStreamBytes.store(
            state->playback.streamBytes.load(std::memory_order_relaxed), std::memory_order_relaxed);
        state->playback.nextEvent.store(0, std::memory_order_relaxed);
        state->playback.renderedBytes.store(0, std::memory_order_relaxed);
        state->playback.pastRegion.store(false, std::memory_order_relaxed);
        if (BASS_ChannelSetPosition(channel, state->loopStart.load(), kPosByte) == 0) {
            BASS_ChannelSetPosition(channel, 0, kPosByte);
        }
    }
    state->renderCalls.fetch_sub(1, std::memory_order_release);
}
