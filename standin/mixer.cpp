// The null output device's mixing thread. Each step it asks every playing stream for
// one period of audio (QB_PERIOD_BYTES, default 10 ms), splitting the request where a
// position sync lies, sums the streams and, when QB_CAPTURE names a file, appends the
// mix to it as a WAV file. Steps are paced in real time unless QB_FAST is 1.
#include "bass_streams.h"
#include "standin_env.h"
#include "trace.h"
#include "wav_writer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace {

constexpr DWORD kDefaultPeriodBytes = kSampleRate / 100 * kBytesPerFrame;
constexpr DWORD kMaxPeriodBytes = kSampleRate * kBytesPerFrame; // one second
constexpr DWORD kIdleSleepMs = 1;
constexpr LONGLONG kMaxLagSeconds = 1;

// QB_REQUEST_PROFILE=device: like a real device's mixing thread, the first request
// after a stream starts fills a 500 ms buffer, later ones ask for 100 ms each.
constexpr DWORD kProfileFirstBytes = kSampleRate / 2 * kBytesPerFrame;
constexpr DWORD kProfileLaterBytes = kSampleRate / 10 * kBytesPerFrame;

struct MixerSettings {
    DWORD periodBytes;
    bool deviceProfile;
    bool fast;
    QWORD playLimit; // bytes a stream may deliver after a restart; 0 for no limit
};

MixerSettings ReadSettings() {
    MixerSettings settings;
    const unsigned long long period = EnvNumber(L"QB_PERIOD_BYTES", kDefaultPeriodBytes);
    // Whole frames only, as a sound card asks for them.
    settings.periodBytes = static_cast<DWORD>(period > kMaxPeriodBytes ? kMaxPeriodBytes : period);
    settings.periodBytes -= settings.periodBytes % kBytesPerFrame;
    if (settings.periodBytes == 0) {
        settings.periodBytes = kBytesPerFrame;
    }
    settings.deviceProfile = EnvText(L"QB_REQUEST_PROFILE") == L"device";
    if (settings.deviceProfile) {
        settings.periodBytes = kProfileLaterBytes;
    }
    settings.fast = EnvNumber(L"QB_FAST", 0) == 1;
    settings.playLimit = EnvNumber(L"QB_PLAY_LIMIT", 0);
    return settings;
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
        const bool due = kind == kSyncEnd || (sync.param > before && sync.param <= after);
        if (sync.type != kind || !due) {
            continue;
        }
        stream = FindStream(handle);
        if (stream == nullptr) {
            return;
        }
        TraceCall("SYNC sync=%lu handle=%lu type=%s pos=%llu",
                  static_cast<unsigned long>(sync.handle), static_cast<unsigned long>(handle),
                  kind == kSyncEnd ? "end" : "pos", static_cast<unsigned long long>(stream->pos));
        sync.proc(sync.handle, handle, 0, sync.user);
    }
}

// The request is cut where the next position sync lies, so the sync fires exactly
// when the stream's position reaches it.
DWORD SplitAtSync(const Stream& stream, DWORD want) {
    for (const Sync& sync : stream.syncs) {
        if (sync.type == kSyncPos && sync.param > stream.pos && sync.param - stream.pos < want) {
            want = static_cast<DWORD>(sync.param - stream.pos);
        }
    }
    return want;
}

// One pull from a playing stream. Returns the bytes delivered, or false when the stream
// no longer plays.
bool PullOnce(std::unique_lock<std::recursive_mutex>& lock, DWORD handle, char* out, DWORD want,
              const MixerSettings& settings, DWORD* bytes) {
    *bytes = 0;
    Stream* stream = FindStream(handle);
    if (stream == nullptr || !stream->playing) {
        return false;
    }
    if (stream->ended) {
        // Without a rewind an ended stream stops.
        TraceCall("STOPPED handle=%lu pos=%llu ended", static_cast<unsigned long>(handle),
                  static_cast<unsigned long long>(stream->pos));
        stream->playing = false;
        return false;
    }
    if (settings.playLimit != 0 && stream->playedBytes >= settings.playLimit) {
        TraceCall("STOPPED handle=%lu pos=%llu limit", static_cast<unsigned long>(handle),
                  static_cast<unsigned long long>(stream->pos));
        stream->playing = false;
        return false;
    }
    if (settings.playLimit != 0 && settings.playLimit - stream->playedBytes < want) {
        want = static_cast<DWORD>(settings.playLimit - stream->playedBytes);
    }
    want = SplitAtSync(*stream, want);

    const QWORD before = stream->pos;
    TraceCall("STREAMPROC handle=%lu pos=%llu length=%lu", static_cast<unsigned long>(handle),
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

// Fills `bytes` of `out` from one stream. A stream that gives nothing but is rewound
// by its end sync is asked again at once, as a sound card whose buffer is not yet full
// would; the lock is let go in between so other threads can stop or free it.
void FillFromStream(std::unique_lock<std::recursive_mutex>& lock, DWORD handle, char* out,
                    DWORD length, const MixerSettings& settings) {
    DWORD filled = 0;
    while (filled < length) {
        DWORD got = 0;
        if (!PullOnce(lock, handle, out + filled, length - filled, settings, &got)) {
            break;
        }
        filled += got;
        if (got == 0) {
            lock.unlock();
            SwitchToThread();
            lock.lock();
        }
    }
    std::memset(out + filled, 0, length - filled);
}

// How much one step asks of the stream.
DWORD RequestBytes(DWORD handle, const MixerSettings& settings) {
    Stream* stream = FindStream(handle);
    if (!settings.deviceProfile || stream == nullptr) {
        return settings.periodBytes;
    }
    return stream->requests++ == 0 ? kProfileFirstBytes : kProfileLaterBytes;
}

// Mixes one step of every playing stream into `mix`; gives the bytes mixed, 0 when
// nothing played.
DWORD MixStep(const MixerSettings& settings, std::vector<float>* mix, std::vector<float>* part) {
    std::fill(mix->begin(), mix->end(), 0.0f);
    DWORD mixed = 0;
    std::unique_lock<std::recursive_mutex> lock(g_streamLock);
    std::vector<DWORD> playing;
    for (const Stream& stream : AllStreams()) {
        if (stream.handle != 0 && stream.playing && !stream.decode) {
            playing.push_back(stream.handle);
        }
    }
    for (DWORD handle : playing) {
        const DWORD bytes = RequestBytes(handle, settings);
        FillFromStream(lock, handle, reinterpret_cast<char*>(part->data()), bytes, settings);
        for (size_t i = 0; i < bytes / sizeof(float); ++i) {
            (*mix)[i] += (*part)[i];
        }
        mixed = bytes > mixed ? bytes : mixed;
    }
    return mixed;
}

std::atomic<bool> g_mixerRunning{false};

void MixerLoop() {
    g_mixerRunning = true;
    const MixerSettings settings = ReadSettings();
    WavWriter capture;
    const std::wstring capturePath = EnvText(L"QB_CAPTURE");
    const bool capturing =
        !capturePath.empty() && capture.Open(capturePath.c_str(), kSampleRate, kChannels);
    const DWORD largest = settings.deviceProfile ? kProfileFirstBytes : settings.periodBytes;
    std::vector<float> mix(largest / sizeof(float));
    std::vector<float> part(mix.size());

    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    LONGLONG deadline = now.QuadPart;
    for (;;) {
        const DWORD mixed = MixStep(settings, &mix, &part);
        if (mixed != 0 && capturing) {
            capture.Append(mix.data(), mixed / static_cast<DWORD>(sizeof(float)));
        }
        if (settings.fast) {
            if (mixed == 0) {
                Sleep(kIdleSleepMs);
            }
            continue;
        }
        // A step takes as long to play as the audio it mixed.
        const DWORD stepBytes = mixed != 0 ? mixed : settings.periodBytes;
        deadline += frequency.QuadPart * (stepBytes / kBytesPerFrame) / kSampleRate;
        QueryPerformanceCounter(&now);
        if (now.QuadPart - deadline > frequency.QuadPart * kMaxLagSeconds) {
            deadline = now.QuadPart; // fell far behind (a debugger, a loaded machine)
        }
        while (now.QuadPart < deadline) {
            const LONGLONG ms = (deadline - now.QuadPart) * 1000 / frequency.QuadPart;
            Sleep(ms > 0 ? static_cast<DWORD>(ms) : 1);
            QueryPerformanceCounter(&now);
        }
    }
}

} // namespace

// Returns once the thread runs, as a real device's threads are up when it is open.
// Wine's 32-bit ExitProcess can also crash the process while a new thread is still
// starting, so a program that ends right after BASS_Init must not meet one.
void StartMixer() {
    std::thread(MixerLoop).detach();
    while (!g_mixerRunning) {
        Sleep(1);
    }
}
