#include "fake_audio.h"

#include "../../audio/audio_constants.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr DWORD kFirstMidiStream = 500;
constexpr DWORD kMaxInstruments = 4096;

struct Sync {
    DWORD type;
    QWORD param;
    SYNCPROC* proc;
    void* user;
};

struct Stream {
    STREAMPROC* proc = nullptr;
    void* user = nullptr;
    bool playing = false;
    bool ended = false;
    bool busy = false; // its procedure is being called with the lock let go
    uint64_t position = 0;
    std::vector<Sync> syncs;
};

// Test bookkeeping, guarded by its own lock; left alone in quiet mode.
std::mutex recordLock;
std::vector<std::string> calls;
std::deque<int32_t> pullScript;
std::vector<uint32_t> pullSizes;
std::map<DWORD, uint64_t> pulledBytes;

// Settings, made by the test before any thread runs.
std::vector<BASS_MIDI_EVENT> midiEvents;
uint32_t midiFillLimit = UINT32_MAX;
bool midiCountOverridden = false;
uint32_t midiCountOverride = 0;
bool midiOpenFails = false;
bool midiFillFails = false;
bool streamCreateFails = false;
bool positionRefused = false;
void (*positionHook)(void*) = nullptr;
void* positionHookContext = nullptr;
std::string tags;
std::atomic<bool> quiet{false};
std::atomic<bool> noWait{false};

// The library's own state. The mixing thread holds mixerLock while it runs a stream's
// callback and syncs, so stopping or freeing a stream waits for that to finish.
std::recursive_mutex mixerLock;
std::map<DWORD, Stream> streams;
DWORD nextStream = 1;
std::atomic<DWORD> nextInstrument{fake::kFirstInstrument};
// An instrument's own state, touched by its pulls and events as a plug-in's would be:
// freeing it while a pull is under way is a use after free.
struct Voice {
    float level = 0.0f;
    uint32_t events = 0;
};
std::atomic<Voice*> voices[kMaxInstruments];
std::atomic<bool> mixerRunning{false};
std::atomic<uint64_t> mixedBytes{0};
std::thread mixerThread;

void Record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Record(const char* format, ...) {
    if (quiet.load()) {
        return;
    }
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(recordLock);
    calls.emplace_back(line);
}

Voice* FindVoice(DWORD handle) {
    if (handle < fake::kFirstInstrument || handle >= fake::kFirstInstrument + kMaxInstruments) {
        return nullptr;
    }
    return voices[handle - fake::kFirstInstrument].load();
}

bool IsLiveInstrument(DWORD handle) {
    return FindVoice(handle) != nullptr;
}

// Calls the stream's procedure for `length` bytes. In no-wait mode the lock is let go
// for the call, as a library whose Stop and StreamFree do not wait for a call in
// progress; ChannelPlay waits for it instead, so one stream never runs twice at once.
DWORD CallStreamProc(std::unique_lock<std::recursive_mutex>& lock, DWORD handle, Stream& stream,
                     uint32_t length, std::vector<char>& buffer) {
    if (!noWait.load()) {
        return stream.proc(handle, buffer.data(), length, stream.user);
    }
    STREAMPROC* proc = stream.proc;
    void* user = stream.user;
    stream.busy = true;
    lock.unlock();
    const DWORD result = proc(handle, buffer.data(), length, user);
    lock.lock();
    return result;
}

// Runs `length` bytes of one stream through its callback, its position syncs and, at
// its end, its end syncs. Called with mixerLock held; the stream may be stopped or
// freed meanwhile in no-wait mode.
void MixStream(std::unique_lock<std::recursive_mutex>& lock, DWORD handle, uint32_t length,
               std::vector<char>& buffer) {
    Stream* stream = &streams[handle];
    for (const Sync& sync : stream->syncs) {
        if (sync.type == kSyncPosMixtime && sync.param > stream->position &&
            sync.param < stream->position + length) {
            length = static_cast<uint32_t>(sync.param - stream->position);
        }
    }
    const DWORD result = CallStreamProc(lock, handle, *stream, length, buffer);
    auto found = streams.find(handle);
    if (found == streams.end()) {
        return;
    }
    stream = &found->second;
    stream->busy = false;
    const DWORD bytes = result & ~kStreamEndBit;
    mixedBytes.fetch_add(bytes);
    const uint64_t before = stream->position;
    stream->position += bytes;
    const std::vector<Sync> syncs = stream->syncs;
    for (const Sync& sync : syncs) {
        if (sync.type == kSyncPosMixtime && sync.param > before && sync.param <= before + bytes) {
            sync.proc(0, handle, 0, sync.user);
        }
    }
    found = streams.find(handle);
    if ((result & kStreamEndBit) != 0 && found != streams.end()) {
        found->second.ended = true;
        for (const Sync& sync : syncs) {
            if (sync.type == kSyncEndMixtime) {
                sync.proc(0, handle, 0, sync.user);
            }
        }
        found = streams.find(handle);
        if (found != streams.end() && found->second.ended) {
            found->second.playing = false;
        }
    }
}

void MixerLoop(uint32_t requestBytes) {
    std::vector<char> buffer(requestBytes);
    while (mixerRunning.load()) {
        {
            std::unique_lock<std::recursive_mutex> lock(mixerLock);
            std::vector<DWORD> playing;
            for (const auto& entry : streams) {
                if (entry.second.playing) {
                    playing.push_back(entry.first);
                }
            }
            for (DWORD handle : playing) {
                auto found = streams.find(handle);
                if (found != streams.end() && found->second.playing) {
                    MixStream(lock, handle, requestBytes, buffer);
                }
            }
        }
        std::this_thread::yield();
    }
}

} // namespace

namespace fake {

void Reset() {
    StopMixer();
    std::lock_guard<std::recursive_mutex> mixer(mixerLock);
    std::lock_guard<std::mutex> guard(recordLock);
    calls.clear();
    pullScript.clear();
    pullSizes.clear();
    pulledBytes.clear();
    midiEvents.clear();
    midiFillLimit = UINT32_MAX;
    midiCountOverridden = false;
    midiOpenFails = false;
    midiFillFails = false;
    streamCreateFails = false;
    positionRefused = false;
    positionHook = nullptr;
    tags.clear();
    quiet.store(false);
    noWait.store(false);
    streams.clear();
    nextStream = 1;
    nextInstrument.store(kFirstInstrument);
    for (auto& voice : voices) {
        delete voice.exchange(nullptr);
    }
    mixedBytes.store(0);
}

std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> guard(recordLock);
    return calls;
}

void ClearCalls() {
    std::lock_guard<std::mutex> guard(recordLock);
    calls.clear();
    pullSizes.clear();
}

std::vector<std::string> CallsStartingWith(const std::string& prefix) {
    std::vector<std::string> matching;
    for (const std::string& call : Calls()) {
        if (call.compare(0, prefix.size(), prefix) == 0) {
            matching.push_back(call);
        }
    }
    return matching;
}

void ScriptPulls(const std::vector<int32_t>& results) {
    std::lock_guard<std::mutex> guard(recordLock);
    pullScript.assign(results.begin(), results.end());
}

std::vector<uint32_t> PullSizes() {
    std::lock_guard<std::mutex> guard(recordLock);
    return pullSizes;
}

void SetMidiFile(const std::vector<BASS_MIDI_EVENT>& events, uint32_t fillLimit) {
    midiEvents = events;
    midiFillLimit = fillLimit;
}

void SetMidiCountOverride(uint32_t count) {
    midiCountOverridden = true;
    midiCountOverride = count;
}

void SetMidiOpenFails(bool fails) {
    midiOpenFails = fails;
}
void SetMidiFillFails(bool fails) {
    midiFillFails = fails;
}
void SetStreamCreateFails(bool fails) {
    streamCreateFails = fails;
}
void SetPositionHook(void (*hook)(void* context), void* context) {
    positionHook = hook;
    positionHookContext = context;
}

void SetPositionRefused(bool refused) {
    positionRefused = refused;
}
void SetTags(const std::string& text) {
    tags = text;
}
void SetQuiet(bool on) {
    quiet.store(on);
}
void SetNoWait(bool on) {
    noWait.store(on);
}

void StartMixer(uint32_t requestBytes) {
    mixerRunning.store(true);
    mixerThread = std::thread(MixerLoop, requestBytes);
}

void StopMixer() {
    mixerRunning.store(false);
    if (mixerThread.joinable()) {
        mixerThread.join();
    }
}

uint64_t MixedBytes() {
    return mixedBytes.load();
}

} // namespace fake

extern "C" {

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND /*win*/, const void* /*clsid*/) {
    Record("Init device=%d freq=%u flags=%u", device, freq, flags);
    return 1;
}

HSTREAM WINAPI BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc,
                                 void* user) {
    std::lock_guard<std::recursive_mutex> guard(mixerLock);
    const HSTREAM handle = streamCreateFails ? 0 : nextStream++;
    if (handle != 0) {
        streams[handle].proc = proc;
        streams[handle].user = user;
    }
    Record("StreamCreate freq=%u chans=%u flags=0x%x -> %u", freq, chans, flags, handle);
    return handle;
}

BOOL WINAPI BASS_StreamFree(HSTREAM handle) {
    std::lock_guard<std::recursive_mutex> guard(mixerLock);
    Record("StreamFree handle=%u", handle);
    return streams.erase(handle) != 0 || handle >= kFirstMidiStream;
}

const char* WINAPI BASS_ChannelGetTags(DWORD handle, DWORD kind) {
    Record("ChannelGetTags handle=%u kind=%u", handle, kind);
    return tags.empty() ? nullptr : tags.c_str();
}

HSYNC WINAPI BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc,
                                 void* user) {
    std::lock_guard<std::recursive_mutex> guard(mixerLock);
    Record("ChannelSetSync handle=%u type=0x%x param=%llu", handle, type,
           static_cast<unsigned long long>(param));
    auto found = streams.find(handle);
    if (found == streams.end()) {
        return 0;
    }
    found->second.syncs.push_back(Sync{type, param, proc, user});
    return static_cast<HSYNC>(found->second.syncs.size());
}

BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart) {
    std::unique_lock<std::recursive_mutex> guard(mixerLock);
    Record("ChannelPlay handle=%u restart=%d", handle, restart);
    auto found = streams.find(handle);
    while (found != streams.end() && found->second.busy) {
        guard.unlock();
        std::this_thread::yield();
        guard.lock();
        found = streams.find(handle);
    }
    if (found == streams.end()) {
        return 0;
    }
    if (restart != 0) {
        found->second.position = 0;
    }
    found->second.playing = true;
    found->second.ended = false;
    return 1;
}

BOOL WINAPI BASS_ChannelStop(DWORD handle) {
    std::lock_guard<std::recursive_mutex> guard(mixerLock);
    Record("ChannelStop handle=%u", handle);
    auto found = streams.find(handle);
    if (found == streams.end()) {
        return 0;
    }
    found->second.playing = false;
    return 1;
}

BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    std::lock_guard<std::recursive_mutex> guard(mixerLock);
    const bool refused = positionRefused && pos != 0;
    if (positionHook != nullptr) {
        positionHook(positionHookContext);
    }
    Record("ChannelSetPosition handle=%u pos=%llu mode=%u -> %d", handle,
           static_cast<unsigned long long>(pos), mode, refused ? 0 : 1);
    auto found = streams.find(handle);
    if (refused || found == streams.end()) {
        return 0;
    }
    found->second.position = pos;
    found->second.ended = false;
    return 1;
}

DWORD WINAPI BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    Voice* voice = FindVoice(handle);
    if (voice == nullptr) {
        return static_cast<DWORD>(-1);
    }
    int32_t result = static_cast<int32_t>(length);
    if (!quiet.load()) {
        std::lock_guard<std::mutex> guard(recordLock);
        pullSizes.push_back(length);
        if (!pullScript.empty()) {
            result = pullScript.front() > static_cast<int32_t>(length)
                         ? static_cast<int32_t>(length)
                         : pullScript.front();
            pullScript.pop_front();
        }
        if (result > 0) {
            pulledBytes[handle] += static_cast<uint64_t>(result);
        }
    }
    if (result > 0 && quiet.load()) {
        // Renders sample by sample, like the simplest real instrument would.
        // Odd request sizes leave the buffer unaligned for floats, hence the copies.
        char* samples = static_cast<char*>(buffer);
        float level = voice->level;
        for (int32_t i = 0; i < result / 4; ++i) {
            std::memcpy(samples + static_cast<ptrdiff_t>(i) * 4, &level, sizeof(level));
            level = level > 0.5f ? -0.5f : level + 0.001f;
        }
        voice->level = level;
    } else if (result > 0) {
        std::memset(buffer, 0x11, static_cast<size_t>(result));
    }
    return static_cast<DWORD>(result);
}

HSTREAM WINAPI BASS_MIDI_StreamCreateFile(BOOL mem, const void* /*file*/, QWORD offset,
                                          QWORD length, DWORD flags, DWORD freq) {
    const HSTREAM handle = midiOpenFails ? 0 : kFirstMidiStream;
    Record("MIDI_StreamCreateFile mem=%d offset=%llu length=%llu flags=0x%x freq=%u -> %u", mem,
           static_cast<unsigned long long>(offset), static_cast<unsigned long long>(length), flags,
           freq, handle);
    return handle;
}

DWORD WINAPI BASS_MIDI_StreamGetEvents(HSTREAM handle, int track, DWORD filter,
                                       BASS_MIDI_EVENT* events) {
    DWORD result = 0;
    if (events == nullptr) {
        result = midiCountOverridden ? midiCountOverride : static_cast<DWORD>(midiEvents.size());
    } else if (midiFillFails) {
        result = static_cast<DWORD>(-1);
    } else {
        result = static_cast<DWORD>(midiEvents.size()) < midiFillLimit
                     ? static_cast<DWORD>(midiEvents.size())
                     : midiFillLimit;
        if (result > 0) {
            std::memcpy(events, midiEvents.data(), result * sizeof(BASS_MIDI_EVENT));
        }
    }
    Record("MIDI_StreamGetEvents handle=%u track=%d filter=%u table=%s -> %u", handle, track,
           filter, events == nullptr ? "null" : "set", result);
    return result;
}

HSTREAM WINAPI BASS_VST_ChannelCreate(DWORD freq, DWORD chans, const void* /*dllFile*/,
                                      DWORD flags) {
    // Handles come round again after kMaxInstruments loads, as slots are reused.
    const DWORD handle = fake::kFirstInstrument +
                         (nextInstrument.fetch_add(1) - fake::kFirstInstrument) % kMaxInstruments;
    delete voices[handle - fake::kFirstInstrument].exchange(new Voice());
    Record("VST_ChannelCreate freq=%u chans=%u flags=0x%x -> %u", freq, chans, flags, handle);
    return handle;
}

BOOL WINAPI BASS_VST_ChannelFree(DWORD vstHandle) {
    Record("VST_ChannelFree handle=%u", vstHandle);
    if (!IsLiveInstrument(vstHandle)) {
        return 0;
    }
    // Waits for a pull in progress, which runs under the mixer's lock, unless the
    // library is in no-wait mode.
    std::unique_lock<std::recursive_mutex> guard(mixerLock, std::defer_lock);
    if (!noWait.load()) {
        guard.lock();
    }
    delete voices[vstHandle - fake::kFirstInstrument].exchange(nullptr);
    return 1;
}

BOOL WINAPI BASS_VST_GetInfo(DWORD vstHandle, BASS_VST_INFO* info) {
    Record("VST_GetInfo handle=%u", vstHandle);
    if (!IsLiveInstrument(vstHandle)) {
        return 0;
    }
    std::memset(info, 0, sizeof(*info));
    info->hasEditor = 1;
    info->editorWidth = 400;
    info->editorHeight = 300;
    return 1;
}

BOOL WINAPI BASS_VST_EmbedEditor(DWORD vstHandle, HWND /*parentWindow*/) {
    Record("VST_EmbedEditor handle=%u", vstHandle);
    return IsLiveInstrument(vstHandle) ? 1 : 0;
}

BOOL WINAPI BASS_VST_ProcessEvent(DWORD vstHandle, DWORD midiCh, DWORD event, DWORD param) {
    if (!quiet.load()) {
        uint64_t at = 0;
        {
            std::lock_guard<std::mutex> guard(recordLock);
            at = pulledBytes[vstHandle];
        }
        Record("ProcessEvent inst=%u ch=%u ev=%u param=%u at=%llu", vstHandle, midiCh, event, param,
               static_cast<unsigned long long>(at));
    }
    Voice* voice = FindVoice(vstHandle);
    if (voice != nullptr && quiet.load()) {
        ++voice->events;
    }
    return voice != nullptr ? 1 : 0;
}

} // extern "C"
