#include "host/render_command.h"

#include <atomic>

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "player/instrument.h"
#include "common/pending_file.h"
#include "host/host_globals.h"
#include "host/render_options.h"
#include "player/transport.h"

namespace {

// An initial delay beyond this is taken as a plug-in's nonsense, not trimmed.
constexpr DWORD kLongestDelayFrames = kSampleRate * 10;
constexpr ULONGLONG kLongestPaceSleepMs = 50;
constexpr DWORD kPostRetryMs = 10;

struct RenderJob {
    SongRender render;
    RenderRequest request;
    PendingFile file;
    WavDither dither;
    uint64_t framesWritten;
    ULONGLONG startMs; // the real-time pace's start
    HANDLE thread;     // null once the render has been finished on this thread
    // Who decides how the render ends: the render thread, finishing its file, or a
    // cancel that came before it. Whichever takes it first; the other sees it taken.
    std::atomic<bool> endTaken;
    // Live playback when the render began.
    bool liveHadSong;
    HeardPoint livePoint; // where the listener was
    uint8_t encoded[size_t{kRenderBlockFrames} * 2 * sizeof(float)];
};

// One render at a time, in static storage: nothing to allocate.
RenderJob job;
std::atomic<int32_t> lastStatus{QB_RENDER_NONE};

bool WriteHeader(uint64_t frames, bool rewrite) {
    uint8_t header[64];
    const WavFormat format = job.request.format;
    if (!WriteWavHeader(format, kSampleRate, kChannels, frames, header)) {
        return false;
    }
    const size_t bytes = WavHeaderBytes(format);
    return rewrite ? RewritePendingFile(&job.file, 0, header, bytes)
                   : AppendPendingFile(&job.file, header, bytes);
}

bool WriteFrames(void* /*context*/, const float* frames, uint32_t frameCount) {
    const size_t samples = size_t{frameCount} * kChannels;
    EncodeWavSamples(job.request.format, frames, samples, &job.dither, job.encoded);
    job.framesWritten += frameCount;
    return AppendPendingFile(&job.file, job.encoded,
                             samples * WavBytesPerSample(job.request.format));
}

void PaceInRealTime(void* /*context*/, uint64_t framesRendered) {
    if (!job.request.settings.realTime) {
        return;
    }
    const ULONGLONG due = job.startMs + framesRendered * 1000 / kSampleRate;
    for (ULONGLONG now = GetTickCount64(); now < due && !job.render.cancel.load();
         now = GetTickCount64()) {
        const ULONGLONG left = due - now;
        Sleep(static_cast<DWORD>(left < kLongestPaceSleepMs ? left : kLongestPaceSleepMs));
    }
}

DWORD WINAPI RenderThread(void* /*unused*/) {
    RenderOutcome outcome =
        RunSongRender(&job.render, RenderSink{WriteFrames, PaceInRealTime, nullptr});
    if (job.endTaken.exchange(true)) {
        outcome = RenderOutcome::Cancelled; // a cancel came before the file was finished
    }
    int32_t status = QB_RENDER_CANCELLED;
    if (outcome == RenderOutcome::WriteFailed) {
        status = QB_FAIL_FILE;
    } else if (outcome == RenderOutcome::Done) {
        // The file gets its name only once its header holds the real length.
        status = WriteHeader(job.framesWritten, true) && FinishPendingFile(&job.file)
                     ? QB_RENDER_DONE
                     : QB_FAIL_FILE;
    }
    if (status != QB_RENDER_DONE) {
        AbandonPendingFile(&job.file);
    }
    lastStatus.store(status);
    // The end must reach the user-interface thread, or the render would count as under
    // way for good: a full message queue is waited out.
    while (PostMessageW(player.mainWindow, kRenderEndedMessage, 0, 0) == 0 &&
           IsWindow(player.mainWindow)) {
        Sleep(kPostRetryMs);
    }
    return 0;
}

// Holds the player's render calls for the render and pauses a playing song, noting
// where the listener was.
void PauseLivePlayback() {
    job.liveHadSong = player.outputStream.load() != 0 && player.playback.events.load() != nullptr;
    job.livePoint = HeardNow(&player);
    const bool playing = PlayerStatus(&player) == QB_STATUS_PLAYING;
    HoldRenderCalls(&player);
    if (playing && Further().channelPause != nullptr) {
        Further().channelPause(player.outputStream.load());
    }
}

// Goes on where the listener was, on a new stream with every channel's state replayed
// (the render has left the instrument in the song's final state); a song that was
// playing plays on, a paused or loaded one stays so.
void ResumeLivePlayback() {
    if (job.liveHadSong && player.outputStream.load() != 0 &&
        player.playback.events.load() != nullptr) {
        SeekToPoint(&player, job.livePoint);
    }
    ReleaseRenderCalls(&player);
}

// Waits for the render thread, handling messages sent to this thread meanwhile: the
// plug-in may be waiting for this thread from inside the render.
void WaitForRenderThread(HANDLE thread) {
    while (MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_SENDMESSAGE, 0) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

uint32_t FramesToMs(uint64_t frames) {
    const uint64_t ms = frames * 1000 / kSampleRate;
    return ms < INT32_MAX ? static_cast<uint32_t>(ms) : INT32_MAX;
}

} // namespace

namespace {

LRESULT StartRender(const wchar_t* payload) {
    if (payload == nullptr || !ParseRenderPayload(payload, &job.request)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    const EventTable* table = player.playback.events.load();
    if (table == nullptr) {
        return QB_FAIL_NO_SONG;
    }
    job.request.settings.controls = &player.playback.controls; // the file follows them too
    const DWORD instrument = player.playback.instrument.load();
    if (instrument == 0) {
        return QB_FAIL_NO_PLUGIN;
    }
    // A WAV file's sizes are 32-bit: a render that could outgrow them is refused now
    // rather than after writing gigabytes.
    uint8_t header[64];
    if (!WriteWavHeader(job.request.format, kSampleRate, kChannels,
                        LongestRenderFrames(table, job.request.settings), header)) {
        return QB_FAIL_TOO_LONG;
    }
    if (!OpenPendingFile(&job.file, job.request.path) || !WriteHeader(0, false)) {
        AbandonPendingFile(&job.file);
        return QB_FAIL_FILE;
    }
    PauseLivePlayback();
    BASS_VST_INFO info;
    const DWORD delay = DescribeInstrument(instrument, &info) ? info.initialDelay : 0;
    if (Further().vstResume != nullptr) {
        Further().vstResume(instrument); // the live song's voices and delay lines go
    }
    job.dither = WavDither();
    job.framesWritten = 0;
    if (PrepareSongRender(&job.render, table, instrument, job.request.settings,
                          delay <= kLongestDelayFrames ? delay : 0)) {
        lastStatus.store(QB_RENDER_RUNNING);
        AttachFileRender(&player, &job.render.hold);
        job.endTaken.store(false);
        job.startMs = GetTickCount64();
        job.thread = CreateThread(nullptr, 0, RenderThread, nullptr, 0, nullptr);
        if (job.thread == nullptr) {
            DetachFileRender(&player);
            lastStatus.store(QB_FAIL_LIBRARY);
        }
    }
    if (job.thread == nullptr) {
        ReleaseSongRender(&job.render);
        ResumeLivePlayback();
        AbandonPendingFile(&job.file);
        return QB_FAIL_LIBRARY;
    }
    return static_cast<LRESULT>(FramesToMs(job.render.expectedFrames));
}

} // namespace

// A render refused at its start is the last render, as far as its status tells.
LRESULT StartRenderCommand(const wchar_t* payload) {
    if (job.thread != nullptr) {
        return QB_FAIL_BUSY;
    }
    const LRESULT answer = StartRender(payload);
    if (answer < 0) {
        lastStatus.store(static_cast<int32_t>(answer));
    }
    return answer;
}

LRESULT RenderStatusCommand() {
    return lastStatus.load();
}

LRESULT RenderProgressCommand() {
    return static_cast<LRESULT>(job.render.thousandths.load(std::memory_order_relaxed));
}

// A cancel that comes before the render thread has taken its end wins: the file is
// removed even if the render had just rendered its last block. One that comes later
// finds the render over, its file whole.
LRESULT CancelRenderCommand() {
    const bool won = job.thread != nullptr && !job.endTaken.exchange(true);
    CancelRender();
    return won ? 0 : QB_FAIL_NOT_RENDERING;
}

bool RenderUnderWay() {
    return job.thread != nullptr;
}

void CancelRender() {
    if (job.thread != nullptr) {
        job.render.cancel.store(true);
        FinishRender();
    }
}

void FinishRender() {
    if (job.thread == nullptr) {
        return;
    }
    WaitForRenderThread(job.thread);
    DetachFileRender(&player);
    CloseHandle(job.thread);
    job.thread = nullptr;
    ReleaseSongRender(&job.render);
    ResumeLivePlayback();
}
