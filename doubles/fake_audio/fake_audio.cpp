#include "doubles/fake_audio/fake_audio.h"

#include "audio/audio_constants.h"
#include "audio/bass_further_api.h"
#include "audio/further_functions.h"
#include "doubles/standin/stream_core.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <mutex>
#include <thread>

namespace {

constexpr DWORD kFirstMidiStream = 500;
constexpr DWORD kMaxInstruments = 4096;

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
void (*positionHook)(void*) = nullptr;
void* positionHookContext = nullptr;
void (*pullHook)(void*) = nullptr;
void* pullHookContext = nullptr;
std::string tags;
std::atomic<bool> quiet{false};
std::atomic<bool> noWait{false};

// Streams, syncs and the mixing thread are the stream model's, the one the stand-in
// bass.dll plays too; instruments and MIDI files are this fake's own.
std::atomic<DWORD> nextInstrument{fake::kFirstInstrument};
// An instrument's own state, touched by its pulls and events as a plug-in's would be:
// freeing it while a pull is under way is a use after free.
struct Voice {
    float level = 0.0f;
    uint32_t events = 0;
    std::atomic<uint32_t> queued{0}; // events for the next processing call (pull)
};
// Events the instrument library queues for one processing call at the most.
constexpr uint32_t kMaxQueuedEvents = 2048;
std::set<std::string> absentFunctions;
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

void MixerLoop(uint32_t requestBytes) {
    MixSettings settings;
    settings.periodBytes = requestBytes;
    std::vector<float> mix((requestBytes + sizeof(float) - 1) / sizeof(float));
    while (mixerRunning.load()) {
        mixedBytes.fetch_add(MixStep(settings, &mix));
        std::this_thread::yield();
    }
}

} // namespace

namespace fake {

void Reset() {
    StopMixer();
    ResetStreamModel(StreamModelSettings(), 1);
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
    positionHook = nullptr;
    pullHook = nullptr;
    tags.clear();
    quiet.store(false);
    noWait.store(false);
    nextInstrument.store(kFirstInstrument);
    for (auto& voice : voices) {
        delete voice.exchange(nullptr);
    }
    mixedBytes.store(0);
    absentFunctions.clear();
    ForgetFurtherFunctions();
}

void SetAbsent(const std::string& name) {
    absentFunctions.insert(name);
    ForgetFurtherFunctions();
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

void SetPullHook(void (*hook)(void* context), void* context) {
    pullHook = hook;
    pullHookContext = context;
}

void SetSeekable(bool seekable) {
    StreamModelSettings settings = StreamModel();
    settings.seekable = seekable;
    SetStreamModel(settings);
}
void SetTags(const std::string& text) {
    tags = text;
}
void SetQuiet(bool on) {
    quiet.store(on);
}
void SetNoWait(bool on) {
    noWait.store(on);
    StreamModelSettings settings = StreamModel();
    settings.noWait = on;
    SetStreamModel(settings);
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
    const HSTREAM handle =
        streamCreateFails ? 0 : ModelStreamCreate(freq, chans, flags, proc, user, std::string());
    Record("StreamCreate freq=%u chans=%u flags=0x%x -> %u", freq, chans, flags, handle);
    return handle;
}

BOOL WINAPI BASS_StreamFree(HSTREAM handle) {
    Record("StreamFree handle=%u", handle);
    return ModelStreamFree(handle) != 0 || handle >= kFirstMidiStream;
}

// The tags are scripted (SetTags) for every stream.
const char* WINAPI BASS_ChannelGetTags(DWORD handle, DWORD kind) {
    Record("ChannelGetTags handle=%u kind=%u", handle, kind);
    return tags.empty() ? nullptr : tags.c_str();
}

HSYNC WINAPI BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc,
                                 void* user) {
    Record("ChannelSetSync handle=%u type=0x%x param=%llu", handle, type,
           static_cast<unsigned long long>(param));
    return ModelChannelSetSync(handle, type, param, proc, user);
}

BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart) {
    Record("ChannelPlay handle=%u restart=%d", handle, restart);
    return ModelChannelPlay(handle, restart);
}

BOOL WINAPI BASS_ChannelStop(DWORD handle) {
    Record("ChannelStop handle=%u", handle);
    return ModelChannelStop(handle);
}

BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    if (positionHook != nullptr) {
        positionHook(positionHookContext);
    }
    const BOOL result = ModelChannelSetPosition(handle, pos, mode);
    Record("ChannelSetPosition handle=%u pos=%llu mode=%u -> %d", handle,
           static_cast<unsigned long long>(pos), mode, result);
    return result;
}

DWORD WINAPI BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    Voice* voice = FindVoice(handle);
    if (voice == nullptr) {
        return ModelChannelGetData(handle, buffer, length);
    }
    voice->queued.store(0, std::memory_order_relaxed);
    if (pullHook != nullptr) {
        pullHook(pullHookContext);
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
    std::unique_lock<std::recursive_mutex> guard(StreamModelLock(), std::defer_lock);
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
    if (voice == nullptr) {
        SetModelError(kErrorHandle);
        return 0;
    }
    if (voice->queued.load(std::memory_order_relaxed) >= kMaxQueuedEvents) {
        SetModelError(kErrorMemory);
        return 0;
    }
    voice->queued.fetch_add(1, std::memory_order_relaxed);
    if (quiet.load()) {
        ++voice->events;
    }
    return 1;
}

BOOL WINAPI BASS_ChannelPause(DWORD handle) {
    const BOOL result = ModelChannelPause(handle);
    Record("ChannelPause handle=%u -> %d", handle, result);
    return result;
}

DWORD WINAPI BASS_ChannelIsActive(DWORD handle) {
    return ModelChannelIsActive(handle);
}

BOOL WINAPI BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
    const BOOL result = ModelChannelSetAttribute(handle, attrib, value);
    Record("ChannelSetAttribute handle=%u attrib=%u value=%.3f -> %d", handle, attrib,
           static_cast<double>(value), result);
    return result;
}

BOOL WINAPI BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
    return ModelChannelGetAttribute(handle, attrib, value);
}

BOOL WINAPI BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD time) {
    const BOOL result = ModelChannelSlideAttribute(handle, attrib, value, time);
    Record("ChannelSlideAttribute handle=%u attrib=%u value=%.3f time=%u -> %d", handle, attrib,
           static_cast<double>(value), time, result);
    return result;
}

BOOL WINAPI BASS_ChannelIsSliding(DWORD handle, DWORD attrib) {
    return ModelChannelIsSliding(handle, attrib);
}

QWORD WINAPI BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    return ModelChannelGetPosition(handle, mode);
}

BOOL WINAPI BASS_VST_Resume(DWORD vstHandle) {
    Record("VST_Resume handle=%u", vstHandle);
    return IsLiveInstrument(vstHandle) ? 1 : 0;
}

} // extern "C"

// The further functions the fake has, by name, unless a test took one away.
void* FindLibraryFunction(const char* /*library*/, const char* name) {
    struct Entry {
        const char* name;
        void* function;
    };
    static const Entry kFunctions[] = {
        {"BASS_ChannelPause", reinterpret_cast<void*>(BASS_ChannelPause)},
        {"BASS_ChannelIsActive", reinterpret_cast<void*>(BASS_ChannelIsActive)},
        {"BASS_ChannelSetAttribute", reinterpret_cast<void*>(BASS_ChannelSetAttribute)},
        {"BASS_ChannelGetAttribute", reinterpret_cast<void*>(BASS_ChannelGetAttribute)},
        {"BASS_ChannelSlideAttribute", reinterpret_cast<void*>(BASS_ChannelSlideAttribute)},
        {"BASS_ChannelIsSliding", reinterpret_cast<void*>(BASS_ChannelIsSliding)},
        {"BASS_ChannelGetPosition", reinterpret_cast<void*>(BASS_ChannelGetPosition)},
        {"BASS_VST_Resume", reinterpret_cast<void*>(BASS_VST_Resume)},
    };
    if (absentFunctions.count(name) != 0) {
        return nullptr;
    }
    for (const Entry& entry : kFunctions) {
        if (std::strcmp(entry.name, name) == 0) {
            return entry.function;
        }
    }
    return nullptr;
}
