// Rendering the loaded song through the instrument into audio for a file, on a thread
// of its own: the same render loop as playback, pulled from a decoding stream of
// its own rather than by the output device, so every event reaches the instrument at
// its exact sample. The instrument's initial delay is trimmed from the start, so each
// event's sound starts at its own sample in the file, and a tail lets the last notes
// ring out. Portable: the file, the thread and the clock are the caller's.
//
// While a render runs the player's own render calls must be held: the render thread
// is then the only one calling the instrument.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/audio_constants.h"
#include "player/jump.h"
#include "player/player_state.h"

constexpr uint32_t kRenderBlockFrames = 4096;
constexpr uint32_t kRenderMaxPasses = 1000;
// "Until silent": this long in a row below the threshold ends the tail; it ends at the
// latest after the longest tail.
constexpr uint32_t kSilentRunFrames = kSampleRate / 10;
constexpr uint32_t kLongestSilenceTailFrames = kSampleRate * 60;
constexpr float kSilenceLevel = 1.0f / 65536;
// A render starts from a silent instrument, as in a fresh host: before its first frame
// it pulls and drops the instrument's sound until it has been silent this long past
// its initial delay.
constexpr uint32_t kSettledFrames = 1024;

struct RenderSettings {
    uint32_t passes = 1;    // times through the song, each turn seamless and exact
    uint32_t tailMs = 2000; // the instrument alone after the song's last event
    bool tailUntilSilent = false;
    bool realTime = false; // no faster than real time (the sink's pace waits)
    // The controller's settings for the song's events (playback's); null: none.
    const EventControls* controls = nullptr;
};

// Where the rendered audio goes, called on the render thread.
struct RenderSink {
    // Takes `frameCount` frames of interleaved stereo floats; false when it could not.
    bool (*write)(void* context, const float* frames, uint32_t frameCount);
    // After each block, with the frames rendered so far; in real time it waits until
    // they have been due. May be null.
    void (*pace)(void* context, uint64_t framesRendered);
    void* context;
};

enum class RenderOutcome { Done, Cancelled, WriteFailed };

struct SongRender {
    // The render's own cursor, with the player's song table and instrument; the
    // controller's live messages are for playback, so its queue stays empty.
    Playback playback;
    LiveMidiQueue noLive;
    Jump rewind;       // the turn back to the song's start: no replay, so notes ring across
    LoopRegion region; // the whole song, `passes` times
    HSTREAM stream;    // the decoding stream the render pulls
    uint32_t delayFrames;
    RenderSettings settings;
    uint64_t songFrames;     // the song's passes, as they appear in the file
    uint64_t expectedFrames; // the whole file; without a known tail, the song's part
    std::atomic<bool> cancel;
    std::atomic<uint32_t> thousandths; // of the expected frames written
    ThreadHold hold;                   // the gate's hold of the render thread
    float block[kRenderBlockFrames * 2];
};

// The most frames a render of `table` with `settings` can write: its passes and its
// tail, the longest tail when it lasts until silence.
uint64_t LongestRenderFrames(const EventTable* table, const RenderSettings& settings);

// User-interface thread, with the player's render calls held: sets up a render of
// `table` through `instrument` (which the caller has told to clear its voices), with
// `delayFrames` of initial delay to trim. False when the library made no decoding
// stream.
bool PrepareSongRender(SongRender* render, const EventTable* table, DWORD instrument,
                       const RenderSettings& settings, uint32_t delayFrames);

// The render thread: renders the song and its tail into the sink. Cancelled when
// `render->cancel` is set meanwhile. Each pull of the instrument is a block the gate
// can hold the thread between (`AttachFileRender`).
RenderOutcome RunSongRender(SongRender* render, const RenderSink& sink);

// User-interface thread, once the render thread has ended: frees the decoding stream.
void ReleaseSongRender(SongRender* render);
