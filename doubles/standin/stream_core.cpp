#include "doubles/standin/stream_core.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr size_t kMaxStreams = 64;

struct Sync {
    HSYNC handle;
    DWORD type; // without the mix-time flag
    QWORD param;
    SYNCPROC* proc;
    void* user;
};

using Clock = std::chrono::steady_clock;

// A volume slide: from `from` to `to` over `ms` from `start`; a negative target fades
// to silence and then stops the stream.
struct Slide {
    bool active = false;
    float from = 1.0f;
    float to = 1.0f;
    Clock::time_point start;
    DWORD ms = 0;
};

struct Stream {
    HSTREAM handle = 0; // 0: free slot
    STREAMPROC* proc = nullptr;
    void* user = nullptr;
    bool decode = false;
    DWORD device = 0; // the output device it plays on
    bool playing = false;
    bool ended = false;
    bool moved = false;    // set by a position change, to tell a sync rewound it
    QWORD pos = 0;         // bytes delivered since the start or the last position change
    QWORD playedBytes = 0; // bytes delivered since the last restart, for the play limit
    DWORD requests = 0;    // requests since the last restart, for the request profile
    bool busy = false;     // its procedure is running with the lock let go (no-wait mode)
    bool paused = false;
    bool devicePaused = false; // stopped by the device (once a stream, on request)
    bool devicePausedOnce = false;
    float volume = 1.0f;
    float ppqn = 0; // a MIDI stream's pulses per quarter note
    Slide slide;
    DWORD bufferBytes = 0; // the playback buffer, fixed when the stream is made
    // The device plays what was delivered in real time from the stream's start: the
    // milliseconds heard before the last pause or stop, and since when it plays again.
    double heardMs = 0;
    bool sounding = false;
    Clock::time_point soundingSince;
    std::vector<Sync> syncs;
    std::string tags;
};

std::recursive_mutex g_lock;
StreamModelSettings g_settings;
std::vector<Stream> g_streams(kMaxStreams);
DWORD g_firstHandle = 1;
DWORD g_nextHandle = 1;
DWORD g_nextSync = 1;
void (*g_mixLog)(const char*) = nullptr;
DWORD g_bufferMs = kDefaultBufferMs;
DWORD g_updatePeriodMs = kDefaultUpdatePeriodMs;
DWORD g_device = 0;         // the device new streams play on
uint64_t g_goneDevices = 0; // unplugged devices, a bit for each number
thread_local int t_error = kErrorOk;

// Sets this thread's error code and gives `result`.
template <typename Result> Result Fail(int code, Result result) {
    t_error = code;
    return result;
}

// Starts or stops the device's clock of what the stream has been heard for.
void SetSounding(Stream* stream, bool sounding) {
    const Clock::time_point now = Clock::now();
    if (stream->sounding && !sounding) {
        stream->heardMs +=
            std::chrono::duration<double, std::milli>(now - stream->soundingSince).count();
    }
    if (!stream->sounding && sounding) {
        stream->soundingSince = now;
    }
    stream->sounding = sounding;
}

// Bytes between delivering and hearing: what was delivered since the start beyond what
// the device has played in real time, at most the playback buffer.
QWORD BufferedBytes(const Stream& stream) {
    double ms = stream.heardMs;
    if (stream.sounding) {
        ms +=
            std::chrono::duration<double, std::milli>(Clock::now() - stream.soundingSince).count();
    }
    const QWORD heard = static_cast<QWORD>(ms * kSampleRate / 1000.0) * kBytesPerFrame;
    const QWORD lead = stream.playedBytes > heard ? stream.playedBytes - heard : 0;
    return std::min<QWORD>(lead, stream.bufferBytes);
}

// The stream's volume now, moving its slide on; a slide to a negative target stops the
// stream at its end.
float CurrentVolume(Stream* stream) {
    Slide& slide = stream->slide;
    if (slide.active) {
        const double elapsed =
            std::chrono::duration<double, std::milli>(Clock::now() - slide.start).count();
        const float target = slide.to < 0 ? 0.0f : slide.to;
        if (elapsed >= slide.ms) {
            stream->volume = target;
            slide.active = false;
            if (slide.to < 0) {
                stream->playing = false;
                SetSounding(stream, false);
            }
        } else {
            stream->volume =
                slide.from + static_cast<float>((target - slide.from) * elapsed / slide.ms);
        }
    }
    return stream->volume;
}

DWORD NewHandle(DWORD* counter) {
    const DWORD handle = (*counter)++;
    if (*counter == 0) {
        *counter = g_firstHandle;
    }
    return handle;
}

Stream* FindStream(DWORD handle) {
    if (handle == 0) {
        return nullptr;
    }
    for (Stream& stream : g_streams) {
        if (stream.handle == handle) {
            return &stream;
        }
    }
    return nullptr;
}

void MixLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void MixLog(const char* format, ...) {
    if (g_mixLog == nullptr) {
        return;
    }
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    g_mixLog(line);
}

// Calls the stream's procedure; in no-wait mode with the lock let go, the stream
// marked busy meanwhile. The stream may be gone when this returns: find it again.
DWORD CallStreamProc(std::unique_lock<std::recursive_mutex>& lock, Stream* stream, void* buffer,
                     DWORD length) {
    const DWORD handle = stream->handle;
    if (!g_settings.noWait) {
        return stream->proc(handle, buffer, length, stream->user);
    }
    STREAMPROC* proc = stream->proc;
    void* user = stream->user;
    stream->busy = true;
    lock.unlock();
    const DWORD result = proc(handle, buffer, length, user);
    lock.lock();
    if (Stream* still = FindStream(handle)) {
        still->busy = false;
    }
    return result;
}

// Calls the syncs of `kind` that are due; they may move, stop or free the stream, so
// the list is copied first.
void FireSyncs(DWORD handle, DWORD kind, QWORD before, QWORD after) {
    Stream* stream = FindStream(handle);
    if (stream == nullptr) {
        return;
    }
    const std::vector<Sync> syncs = stream->syncs;
    for (const Sync& sync : syncs) {
        const bool due = kind != kSyncPos || (sync.param > before && sync.param <= after);
        if (sync.type != kind || !due) {
            continue;
        }
        stream = FindStream(handle);
        if (stream == nullptr) {
            return;
        }
        MixLog("SYNC sync=%lu handle=%lu type=%s pos=%llu", static_cast<unsigned long>(sync.handle),
               static_cast<unsigned long>(handle),
               kind == kSyncEnd ? "end" : (kind == kSyncDevFail ? "devfail" : "pos"),
               static_cast<unsigned long long>(stream->pos));
        sync.proc(sync.handle, handle, 0, sync.user);
    }
}

bool Gone(DWORD device) {
    return device < 64 && (g_goneDevices >> device & 1) != 0;
}

// The device stops the stream where it is: "paused by the device".
void StopByDevice(Stream* stream, const char* why) {
    MixLog("STOPPED handle=%lu pos=%llu %s", static_cast<unsigned long>(stream->handle),
           static_cast<unsigned long long>(stream->pos), why);
    stream->playing = false;
    SetSounding(stream, false);
    stream->devicePaused = true;
}

DWORD SplitAtSync(const Stream& stream, DWORD want) {
    for (const Sync& sync : stream.syncs) {
        if (sync.type == kSyncPos && sync.param > stream.pos && sync.param - stream.pos < want) {
            want = static_cast<DWORD>(sync.param - stream.pos);
        }
    }
    return want;
}

// One pull from a playing stream: false when it no longer plays.
bool PullOnce(std::unique_lock<std::recursive_mutex>& lock, DWORD handle, char* out, DWORD want,
              const MixSettings& settings, DWORD* bytes) {
    *bytes = 0;
    Stream* stream = FindStream(handle);
    if (stream == nullptr || !stream->playing) {
        return false;
    }
    if (stream->ended) {
        // Without a rewind an ended stream stops.
        MixLog("STOPPED handle=%lu pos=%llu ended", static_cast<unsigned long>(handle),
               static_cast<unsigned long long>(stream->pos));
        stream->playing = false;
        SetSounding(stream, false);
        return false;
    }
    const QWORD pauseAfter = g_settings.devicePauseAfter;
    if (pauseAfter != 0 && !stream->devicePausedOnce && stream->playedBytes >= pauseAfter) {
        StopByDevice(stream, "device paused");
        stream->devicePausedOnce = true;
        return false;
    }
    if (settings.playLimit != 0 && stream->playedBytes >= settings.playLimit) {
        MixLog("STOPPED handle=%lu pos=%llu limit", static_cast<unsigned long>(handle),
               static_cast<unsigned long long>(stream->pos));
        stream->playing = false;
        SetSounding(stream, false);
        return false;
    }
    if (settings.playLimit != 0 && settings.playLimit - stream->playedBytes < want) {
        want = static_cast<DWORD>(settings.playLimit - stream->playedBytes);
    }
    want = SplitAtSync(*stream, want);

    const QWORD before = stream->pos;
    MixLog("STREAMPROC handle=%lu pos=%llu length=%lu", static_cast<unsigned long>(handle),
           static_cast<unsigned long long>(before), static_cast<unsigned long>(want));
    const DWORD result = CallStreamProc(lock, stream, out, want);
    stream = FindStream(handle);
    if (stream == nullptr) {
        return false;
    }
    const bool end = result == kResultError || (result & kStreamEndBit) != 0;
    const DWORD got = result == kResultError ? 0 : result & ~kStreamEndBit;
    *bytes = got > want ? want : got;
    stream->pos += *bytes;
    stream->playedBytes += *bytes;
    stream->ended = stream->ended || end;
    stream->moved = false;

    FireSyncs(handle, kSyncPos, before, before + *bytes);
    stream = FindStream(handle);
    if (stream != nullptr && stream->ended && !stream->moved) {
        FireSyncs(handle, kSyncEnd, 0, 0);
    }
    return true;
}

void FillFromStream(std::unique_lock<std::recursive_mutex>& lock, DWORD handle, char* out,
                    DWORD length, const MixSettings& settings) {
    DWORD filled = 0;
    while (filled < length) {
        DWORD got = 0;
        if (!PullOnce(lock, handle, out + filled, length - filled, settings, &got)) {
            break;
        }
        filled += got;
        if (got == 0) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
    }
    std::memset(out + filled, 0, length - filled);
}

DWORD RequestBytes(DWORD handle, const MixSettings& settings) {
    Stream* stream = FindStream(handle);
    if (!settings.deviceProfile || stream == nullptr) {
        return settings.periodBytes;
    }
    // The first request fills the playback buffer, later ones one update period each.
    const DWORD bytes = stream->requests++ == 0
                            ? stream->bufferBytes
                            : g_updatePeriodMs * (kSampleRate / 1000) * kBytesPerFrame;
    return std::max(kBytesPerFrame, std::min(bytes, kProfileFirstBytes));
}

} // namespace

void ResetStreamModel(const StreamModelSettings& settings, DWORD firstHandle) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_settings = settings;
    for (Stream& stream : g_streams) {
        stream = Stream();
    }
    g_firstHandle = firstHandle;
    g_bufferMs = kDefaultBufferMs;
    g_updatePeriodMs = kDefaultUpdatePeriodMs;
    g_nextHandle = firstHandle;
    g_nextSync = firstHandle;
}

StreamModelSettings StreamModel() {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_settings;
}

void SetStreamModel(const StreamModelSettings& settings) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_settings = settings;
}

std::recursive_mutex& StreamModelLock() {
    return g_lock;
}

void SetMixLog(void (*log)(const char* line)) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_mixLog = log;
}

// Only float streams are made; played ones must be 48000 Hz stereo, and the "no sound"
// device makes decoding streams only.
HSTREAM ModelStreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc, void* user,
                          const std::string& tags) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    const bool decode = (flags & kFlagDecode) != 0;
    const bool playable = freq == kSampleRate && chans == kChannels && !g_settings.decodeOnly;
    if (proc == nullptr || (flags & kFlagFloat) == 0 || !(decode || playable) || freq == 0 ||
        chans == 0) {
        return 0;
    }
    for (Stream& stream : g_streams) {
        if (stream.handle == 0) {
            stream = Stream();
            stream.handle = NewHandle(&g_nextHandle);
            stream.proc = proc;
            stream.user = user;
            stream.decode = decode;
            stream.device = g_device;
            stream.tags = decode ? std::string() : tags;
            stream.bufferBytes = g_bufferMs * (kSampleRate / 1000) * kBytesPerFrame;
            return stream.handle;
        }
    }
    return 0;
}

BOOL ModelStreamFree(HSTREAM handle) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    if (stream == nullptr) {
        return 0;
    }
    *stream = Stream();
    return 1;
}

const char* ModelChannelGetTags(DWORD handle, DWORD kind) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    const Stream* stream = FindStream(handle);
    if (stream != nullptr && kind == kTagsOgg && !stream->tags.empty()) {
        return stream->tags.data();
    }
    return nullptr;
}

HSYNC ModelChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    const DWORD kind = type & ~kSyncMixtime;
    if (stream == nullptr || proc == nullptr ||
        (kind != kSyncPos && kind != kSyncEnd && kind != kSyncDevFail)) {
        return 0;
    }
    const HSYNC sync = NewHandle(&g_nextSync);
    stream->syncs.push_back({sync, kind, param, proc, user});
    return sync;
}

// In no-wait mode a procedure call still under way after Stop is waited for here, so
// one stream never runs on two threads.
BOOL ModelChannelPlay(DWORD handle, BOOL restart) {
    std::unique_lock<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    while (stream != nullptr && stream->busy) {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
        stream = FindStream(handle);
    }
    if (stream == nullptr || stream->decode) {
        return 0;
    }
    if (restart) {
        stream->pos = 0;
        stream->playedBytes = 0;
        stream->requests = 0;
        stream->ended = false;
        stream->heardMs = 0;
        stream->sounding = false;
    }
    stream->paused = false;
    stream->devicePaused = false;
    if (Gone(stream->device)) {
        StopByDevice(stream, "device gone");
        return Fail(kErrorStart, 0);
    }
    stream->playing = !stream->ended;
    SetSounding(stream, stream->playing);
    return stream->playing ? 1 : 0;
}

// Once this returns the stream's procedure is not called again until the stream is
// played; a call in progress has ended too, unless in no-wait mode.
BOOL ModelChannelStop(DWORD handle) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    if (stream == nullptr || stream->decode) {
        return 0;
    }
    stream->playing = false;
    SetSounding(stream, false);
    stream->paused = false;
    stream->devicePaused = false;
    return 1;
}

// Positions are rounded down to a whole frame. Streams made with a procedure cannot
// seek: only position 0 is taken, unless the model is seekable. An ended stream goes
// on from the new position.
BOOL ModelChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    const QWORD frame = pos - pos % kBytesPerFrame;
    if (stream == nullptr || mode != kPosByte || (frame != 0 && !g_settings.seekable)) {
        return 0;
    }
    stream->pos = frame;
    stream->ended = false;
    stream->moved = true;
    return 1;
}

// Reads a decoding stream by calling its procedure; the error value for a stream that
// is not a decoding one, does not exist or has ended.
DWORD ModelChannelGetData(DWORD handle, void* buffer, DWORD length) {
    std::unique_lock<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    if (stream == nullptr || !stream->decode || stream->ended || buffer == nullptr) {
        return kResultError;
    }
    const DWORD got = length == 0 ? 0 : CallStreamProc(lock, stream, buffer, length);
    stream = FindStream(handle);
    if (stream == nullptr || got == kResultError) {
        return kResultError;
    }
    DWORD bytes = got & ~kStreamEndBit;
    bytes = bytes > length ? length : bytes;
    stream->pos += bytes;
    stream->ended = (got & kStreamEndBit) != 0;
    return (bytes == 0 && stream->ended) ? kResultError : bytes;
}

DWORD MixStep(const MixSettings& settings, std::vector<float>* mix) {
    std::fill(mix->begin(), mix->end(), 0.0f);
    // One stream's part of the step; kept from step to step of the mixing thread.
    thread_local std::vector<float> part;
    part.resize(mix->size());
    DWORD mixed = 0;
    std::unique_lock<std::recursive_mutex> lock(g_lock);
    std::vector<DWORD> playing;
    for (const Stream& stream : g_streams) {
        if (stream.handle != 0 && stream.playing && !stream.decode) {
            playing.push_back(stream.handle);
        }
    }
    for (DWORD handle : playing) {
        const DWORD bytes = RequestBytes(handle, settings);
        FillFromStream(lock, handle, reinterpret_cast<char*>(part.data()), bytes, settings);
        Stream* stream = FindStream(handle);
        const float volume = stream != nullptr ? CurrentVolume(stream) : 0.0f;
        for (size_t i = 0; i < bytes / sizeof(float); ++i) {
            (*mix)[i] += part[i] * volume;
        }
        mixed = bytes > mixed ? bytes : mixed;
    }
    return mixed;
}

BOOL ModelChannelPause(DWORD handle) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    if (stream == nullptr) {
        return Fail(kErrorHandle, 0);
    }
    if (stream->decode) {
        return Fail(kErrorDecode, 0);
    }
    if (stream->paused) {
        return Fail(kErrorAlready, 0);
    }
    if (!stream->playing) {
        return Fail(kErrorNotPlaying, 0);
    }
    stream->playing = false;
    SetSounding(stream, false);
    stream->paused = true;
    return Fail(kErrorOk, 1);
}

DWORD ModelChannelIsActive(DWORD handle) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    const Stream* stream = FindStream(handle);
    if (stream == nullptr) {
        return Fail(kErrorHandle, kActiveStopped);
    }
    t_error = kErrorOk;
    if (stream->playing) {
        return kActivePlaying;
    }
    if (stream->paused) {
        return kActivePaused;
    }
    return stream->devicePaused ? kActivePausedDevice : kActiveStopped;
}

BOOL ModelChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    if (stream == nullptr) {
        return Fail(kErrorHandle, 0);
    }
    if (attrib == kAttribMidiPpqn) {
        stream->ppqn = value; // only the MIDI library sets it, as it makes the stream
        return Fail(kErrorOk, 1);
    }
    if (attrib != kAttribVolume) {
        return Fail(kErrorIllegalType, 0);
    }
    stream->slide.active = false;
    stream->volume = value < 0 ? 0.0f : value;
    return Fail(kErrorOk, 1);
}

BOOL ModelChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    if (stream == nullptr) {
        return Fail(kErrorHandle, 0);
    }
    if (attrib == kAttribMidiPpqn && value != nullptr && stream->ppqn != 0) {
        *value = stream->ppqn;
        return Fail(kErrorOk, 1);
    }
    if (attrib != kAttribVolume || value == nullptr) {
        return Fail(kErrorIllegalType, 0);
    }
    *value = CurrentVolume(stream);
    return Fail(kErrorOk, 1);
}

// A new slide replaces the one in progress.
BOOL ModelChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD ms) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    if (stream == nullptr) {
        return Fail(kErrorHandle, 0);
    }
    if ((attrib & ~kSlideLog) != kAttribVolume) {
        return Fail(kErrorIllegalType, 0);
    }
    if (ms == 0) {
        return ModelChannelSetAttribute(handle, kAttribVolume, value);
    }
    stream->slide = {true, CurrentVolume(stream), value, Clock::now(), ms};
    return Fail(kErrorOk, 1);
}

BOOL ModelChannelIsSliding(DWORD handle, DWORD attrib) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    if (stream == nullptr || (attrib != 0 && attrib != kAttribVolume)) {
        return 0;
    }
    CurrentVolume(stream);
    return stream->slide.active ? 1 : 0;
}

QWORD ModelChannelGetPosition(DWORD handle, DWORD mode) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    const Stream* stream = FindStream(handle);
    if (stream == nullptr) {
        return Fail(kErrorHandle, kPositionError);
    }
    if ((mode & ~kPosDecode) != kPosByte) {
        return Fail(kErrorNotAvailable, kPositionError);
    }
    t_error = kErrorOk;
    if ((mode & kPosDecode) != 0 || stream->decode) {
        return stream->pos;
    }
    const QWORD buffered = BufferedBytes(*stream);
    return stream->pos > buffered ? stream->pos - buffered : 0;
}

BOOL ModelSetConfig(DWORD option, DWORD value) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (option == kConfigBuffer) {
        g_bufferMs = std::min<DWORD>(std::max<DWORD>(value, 10), 5000);
    } else if (option == kConfigUpdatePeriod) {
        if (value < kShortestUpdatePeriodMs || value > kDefaultUpdatePeriodMs) {
            return Fail(kErrorIllegalParam, 0);
        }
        g_updatePeriodMs = value;
    } else {
        return Fail(kErrorIllegalType, 0);
    }
    return Fail(kErrorOk, 1);
}

DWORD ModelGetConfig(DWORD option) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (option == kConfigBuffer) {
        return g_bufferMs;
    }
    if (option == kConfigUpdatePeriod) {
        return g_updatePeriodMs;
    }
    return Fail(kErrorIllegalType, kResultError);
}

int ModelErrorCode() {
    return t_error;
}

void SetModelError(int code) {
    t_error = code;
}

void ModelSetDevice(DWORD device) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_device = device;
}

BOOL ModelChannelSetDevice(DWORD handle, DWORD device) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Stream* stream = FindStream(handle);
    if (stream == nullptr) {
        return Fail(kErrorHandle, 0);
    }
    if (Gone(device)) {
        return Fail(kErrorDevice, 0);
    }
    stream->device = device;
    MixLog("MOVED handle=%lu device=%lu pos=%llu", static_cast<unsigned long>(handle),
           static_cast<unsigned long>(device), static_cast<unsigned long long>(stream->pos));
    return Fail(kErrorOk, 1);
}

void ModelMoveStreams(DWORD from, DWORD to) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (Stream& stream : g_streams) {
        if (stream.handle != 0 && !stream.decode && stream.device == from) {
            ModelChannelSetDevice(stream.handle, to);
        }
    }
}

void ModelSetDeviceGone(DWORD device, bool gone) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (device >= 64) {
        return;
    }
    g_goneDevices =
        gone ? g_goneDevices | uint64_t{1} << device : g_goneDevices & ~(uint64_t{1} << device);
    for (Stream& stream : g_streams) {
        if (!gone || stream.handle == 0 || stream.device != device || !stream.playing) {
            continue;
        }
        StopByDevice(&stream, "device gone");
        FireSyncs(stream.handle, kSyncDevFail, 0, 0);
    }
}
