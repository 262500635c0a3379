// The one record of player, stream, loop, instrument and editor state.
//
// The user-interface thread runs the commands; the audio library's mixing thread runs
// the render and loop callbacks. Every field that the mixing thread touches is atomic,
// so the two threads never race; the render path itself takes no lock.
//
// The library may return from stopping or freeing a stream, or from freeing the
// instrument, while a render call is still running; or it may wait for that call, which
// may itself be waiting for the user-interface thread (a plug-in that sends a message to
// its editor from its audio processing). So the commands first unpublish what they
// replace (the stream handle, the table, the instrument), then wait until no render
// call is in progress, handling messages sent meanwhile, and only then stop, free or
// reset the cursor. A render call that finds its stream or table unpublished touches
// nothing.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/bass_api.h"
#include "player/event_controls.h"
#include "player/live_midi.h"
#include "player/watch_log.h"

typedef BASS_MIDI_EVENT SongEvent;

// The library gives each event's position in bytes as 32 bits, which wrap every 2^32
// bytes (3 h 6 min). The table is in the song's order, so where a position is smaller
// than the one before, it has wrapped: the song's positions are those 32 bits plus
// 2^32 for each span of 2^32 bytes before the event's. Songs of more spans than these
// are cut after the last one (about 49 hours).
constexpr DWORD kMaxSongSpans = 16;

// The most song events at one position: a crowd of more is spread over the frames after
// it, so the events of a position, a replay's last block and the controller's live
// messages fit in one processing call of the instrument.
constexpr DWORD kSongEventsPerFrame = 256;

// A song's events and their number, allocated and published together so the mixing
// thread never sees a table with another table's count.
struct EventTable {
    DWORD eventCount;
    DWORD spanCount;                 // spans of 2^32 bytes its events lie in, 1 at least
    DWORD spanStarts[kMaxSongSpans]; // the first event of each span
    SongEvent* records;              // eventCount records, stored right after this header
};

// The index of the first event of a span after `span`, or the count when there is none.
inline DWORD SpanEnd(const EventTable* table, DWORD span) {
    return span + 1 < table->spanCount ? table->spanStarts[span + 1] : table->eventCount;
}

// The span that event `index` lies in.
inline DWORD SpanOf(const EventTable* table, DWORD index) {
    DWORD span = 0;
    while (span + 1 < table->spanCount && table->spanStarts[span + 1] <= index) {
        ++span;
    }
    return span;
}

// A position in bytes of the song from its span and the library's 32 bits.
inline QWORD SongBytes(DWORD span, DWORD bytes) {
    return QWORD{span} << 32 | bytes;
}

// The position of the song's last event: where it ends.
inline QWORD SongEndBytes(const EventTable* table) {
    if (table->eventCount == 0) {
        return 0;
    }
    return SongBytes(table->spanCount - 1, table->records[table->eventCount - 1].pos);
}

struct Jump;
struct LoopRegion;
struct SongMarks;

// A thread other than the mixing thread that calls the instrument (a render to a file).
// It makes its calls in blocks, and the gate holds it between two blocks.
struct ThreadHold {
    std::atomic<bool> asked;   // the gate holds the thread
    std::atomic<bool> inBlock; // the thread is inside a block of calls
};

// What a fade does once it has reached its volume.
enum class FadeEnd { None, Pause, Stop };

// What a render callback works with: the song, the instrument, the cursor and its
// jumps, the loop region, and the controller's live messages. The player has one; a
// render to a file has its own, with the player's song and instrument.
struct Playback {
    std::atomic<EventTable*> events; // null when no song is loaded
    std::atomic<DWORD> instrument;
    std::atomic<DWORD> pluginLoaded;
    std::atomic<DWORD> nextEvent;
    std::atomic<QWORD> renderedBytes; // the cursor's position in the song

    // Jumps of the cursor (a seek, the start of a loop region's pass).
    std::atomic<const Jump*> replay;       // a jump whose events are still to be sent
    std::atomic<DWORD> replaySent;         // how many of them have been sent
    std::atomic<const LoopRegion*> region; // the controller's loop region; null: none
    std::atomic<DWORD> passesDone;         // of the region, since it was set or the cursor moved
    std::atomic<bool> regionDone;          // its last pass has played: the song ends there
    std::atomic<bool> pastRegion; // the cursor is beyond the region's end until the song turns
    // Where the listener is: bytes delivered on the current stream, and where the
    // cursor last turned back (the stream's byte count then and the song's position).
    std::atomic<DWORD> streamBytes;
    std::atomic<DWORD> turnStreamBytes;
    std::atomic<QWORD> turnFromBytes;
    LiveMidiQueue* live; // MIDI sent by the controller, for the next pull; never null
    EventControls controls;
    EventTrack track; // the render call's
    // A controller watching the music: what the render call tells it; null: none.
    std::atomic<WatchLog*> watch;
    std::atomic<uint32_t> streamGeneration; // counts the output streams made
    std::atomic<bool> seekToTell;           // a seek's target is still to be told
    // The song's marks and beats, for the watch; published and released with the table.
    std::atomic<const SongMarks*> timeline;
};

// Puts the record into its start-up state, nothing loaded, with `live` as its queue.
void InitPlayback(Playback* playback, LiveMidiQueue* live);

struct PlayerState {
    Playback playback;
    std::atomic<HSTREAM> outputStream;
    HWND mainWindow;
    // Set on each output stream for its device's failure (an unplug); null: none.
    SYNCPROC* deviceFailProc;
    std::atomic<DWORD> loopStart;
    DWORD loopEnd; // read only by the user-interface thread
    HWND editorWindow;
    std::atomic<DWORD> renderCalls; // render calls and loop syncs in progress
    bool playing;                   // Play has started the current stream; UI thread only
    std::atomic<bool> held;         // render calls give silence and touch nothing
    LiveMidiQueue live;             // MIDI sent by the controller, for the next pull

    // User-interface thread only.
    Jump* seekJump; // the last seek's jump, owned until the stream or the song goes
    bool paused;
    bool volumeSet; // the controller has set a volume: every new stream gets it
    float volume;
    FadeEnd fadeEnd;
    float fadeTarget;       // where the last fade goes
    uint64_t fadeUntilMs;   // and when it gets there (MonotonicMs); 0: no fade
    DWORD lastLag;          // bytes between rendering and hearing, as last measured
    unsigned holdDepth;     // holds of the render calls in progress, one inside another
    unsigned gateDepth;     // passes through the gate in progress, one inside another
    ThreadHold* fileRender; // the render to a file while one runs, held with the gate
    // The instrument's information record, taken at load, its editor's size kept up to
    // date, so asking it never calls into a plug-in that a render may be using. Zeroed
    // without an instrument; `instrumentDescribed` false when the library gave none.
    BASS_VST_INFO instrumentInfo;
    bool instrumentDescribed;
    SongMarks* songMarks; // the loaded song's texts and musical time; null: none
};

// Puts the record into its start-up state: everything zero but the main window.
void InitPlayerState(PlayerState* state, HWND mainWindow);

// Returns once no render call or loop sync is in progress. Call after unpublishing what
// is to be released; it waits at most for the call that is running now. Messages sent
// to the calling thread are handled while it waits, and it does not spin a core.
void WaitForRenderCalls(const PlayerState* state);

// Holds the render calls: once this returns, none is in progress and those that come
// touch nothing and deliver nothing, so the instrument can be called from this thread
// without waiting for the mixing thread (which may itself wait for this thread).
void HoldRenderCalls(PlayerState* state);
// Lets the render calls go on where they were held, once every hold is released: a hold
// inside another (a seek while a render to a file holds playback) keeps them held.
void ReleaseRenderCalls(PlayerState* state);

// The gate. The library may make any call wait while a render call of that stream, or
// the instrument's processing, is in progress (its documentation does not say which
// calls take that lock), and a plug-in may wait for this thread from inside that
// processing. So every call this thread makes into the libraries or the plug-in is made
// inside the gate: it holds the player's render calls and a render to a file between two
// of its blocks, handling messages sent to this thread until both are held. Entries
// nest; the last exit lets both go on.
void EnterGate(PlayerState* state);
void ExitGate(PlayerState* state);

// The user-interface thread, as a render to a file starts and once its thread has ended:
// from then on the gate holds that thread too (at once, when inside the gate now).
void AttachFileRender(PlayerState* state, ThreadHold* hold);
void DetachFileRender(PlayerState* state);

// The render thread, before a block of calls into the instrument: waits while the gate
// holds it. False (outside any block) when `cancel` is set meanwhile.
bool EnterBlock(ThreadHold* hold, const std::atomic<bool>& cancel);
void ExitBlock(ThreadHold* hold);
