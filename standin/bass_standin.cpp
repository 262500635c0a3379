// Stand-in bass.dll: a null output device whose mixing thread plays user streams
// (paced in real time, or as fast as possible), decoding streams read with
// BASS_ChannelGetData, mix-time syncs and position changes.
#include "bass_streams.h"
#include "standin_env.h"
#include "trace.h"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kMaxStreams = 64;
constexpr DWORD kTagsOgg = 2;
constexpr DWORD kPosBytes = 0;

bool g_initialised = false;
bool g_decodeOnly = false; // the "no sound" device: decoding streams only
DWORD g_nextHandle = 0x10000;

DWORD NewHandle() {
    if (++g_nextHandle == 0) {
        g_nextHandle = 0x10000;
    }
    return g_nextHandle;
}

// Loop tags for every user stream, from QB_LOOP_TAGS: strings separated by '|'.
std::string LoopTagsFromEnvironment() {
    const std::wstring text = EnvText(L"QB_LOOP_TAGS");
    if (text.empty()) {
        return std::string();
    }
    std::string tags;
    for (wchar_t c : text) {
        tags += c == L'|' ? '\0' : static_cast<char>(c);
    }
    tags += '\0';
    tags += '\0';
    return tags;
}

} // namespace

std::recursive_mutex g_streamLock;

const LibrarySettings& Settings() {
    static const LibrarySettings settings = {
        EnvNumber(L"QB_NO_WAIT", 0) == 1, EnvNumber(L"QB_SEEKABLE", 0) == 1,
        EnvNumber(L"QB_NO_DEVICE", 0) == 1, EnvNumber(L"QB_HANG_INIT", 0) == 1};
    return settings;
}

DWORD CallStreamProc(std::unique_lock<std::recursive_mutex>& lock, Stream* stream, void* buffer,
                     DWORD length) {
    const DWORD handle = stream->handle;
    if (!Settings().noWait) {
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

std::vector<Stream>& AllStreams() {
    static std::vector<Stream> streams(kMaxStreams);
    return streams;
}

Stream* FindStream(DWORD handle) {
    if (handle == 0) {
        return nullptr;
    }
    for (Stream& stream : AllStreams()) {
        if (stream.handle == handle) {
            return &stream;
        }
    }
    return nullptr;
}

extern "C" {

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void* clsid) {
    BOOL result = 0;
    if (Settings().hangInit) {
        WriteUnixProcessId();
        Sleep(INFINITE);
    }
    {
        std::lock_guard<std::recursive_mutex> lock(g_streamLock);
        // Device 0 is "no sound": it always opens, for decoding streams only.
        const bool deviceWorks = device == 0 || (device >= -1 && !Settings().noDevice);
        if (!g_initialised && deviceWorks) {
            g_initialised = true;
            g_decodeOnly = device == 0;
            result = 1;
        }
    }
    if (result) {
        if (!g_decodeOnly) {
            StartMixer();
        }
        WriteUnixProcessId();
    }
    TRACE_HOST_CALL("BASS_Init device=%d freq=%lu flags=0x%lx win=%llu clsid=%s -> %d", device,
                    static_cast<unsigned long>(freq), static_cast<unsigned long>(flags),
                    static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(win)),
                    clsid == nullptr ? "null" : "set", result);
    return result;
}

HSTREAM WINAPI BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc,
                                 void* user) {
    HSTREAM handle = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(g_streamLock);
        const bool decode = (flags & kFlagDecode) != 0;
        const bool playable = freq == kSampleRate && chans == kChannels && !g_decodeOnly;
        if (g_initialised && proc != nullptr && (flags & kFlagFloat) != 0 && (decode || playable) &&
            freq != 0 && chans != 0) {
            for (Stream& stream : AllStreams()) {
                if (stream.handle == 0) {
                    stream = Stream();
                    stream.handle = NewHandle();
                    stream.proc = proc;
                    stream.user = user;
                    stream.decode = decode;
                    if (!decode) {
                        stream.tags = LoopTagsFromEnvironment();
                    }
                    handle = stream.handle;
                    break;
                }
            }
        }
    }
    TRACE_HOST_CALL("BASS_StreamCreate freq=%lu chans=%lu flags=0x%lx -> %lu",
                    static_cast<unsigned long>(freq), static_cast<unsigned long>(chans),
                    static_cast<unsigned long>(flags), static_cast<unsigned long>(handle));
    return handle;
}

BOOL WINAPI BASS_StreamFree(HSTREAM handle) {
    BOOL result = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(g_streamLock);
        if (Stream* stream = FindStream(handle)) {
            *stream = Stream();
            result = 1;
        }
    }
    TRACE_HOST_CALL("BASS_StreamFree handle=%lu -> %d", static_cast<unsigned long>(handle), result);
    return result;
}

const char* WINAPI BASS_ChannelGetTags(DWORD handle, DWORD tags) {
    const char* result = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(g_streamLock);
        const Stream* stream = FindStream(handle);
        if (stream != nullptr && tags == kTagsOgg && !stream->tags.empty()) {
            result = stream->tags.data();
        }
    }
    std::string shown;
    for (const char* tag = result; tag != nullptr && *tag != '\0'; tag += strlen(tag) + 1) {
        shown += shown.empty() ? "" : "|";
        shown += tag;
    }
    TRACE_HOST_CALL("BASS_ChannelGetTags handle=%lu tags=%lu -> %s",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(tags),
                    result == nullptr ? "null" : shown.c_str());
    return result;
}

HSYNC WINAPI BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc,
                                 void* user) {
    HSYNC sync = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(g_streamLock);
        Stream* stream = FindStream(handle);
        const DWORD kind = type & ~kSyncMixtime;
        if (stream != nullptr && proc != nullptr && (kind == kSyncPos || kind == kSyncEnd)) {
            sync = NewHandle();
            stream->syncs.push_back({sync, kind, param, proc, user});
        }
    }
    TRACE_HOST_CALL("BASS_ChannelSetSync handle=%lu type=0x%lx param=%llu -> %lu",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(type),
                    static_cast<unsigned long long>(param), static_cast<unsigned long>(sync));
    return sync;
}

// In no-wait mode a procedure call still under way after Stop is waited for here, so
// one stream never runs on two threads.
BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart) {
    BOOL result = 0;
    {
        std::unique_lock<std::recursive_mutex> lock(g_streamLock);
        Stream* stream = FindStream(handle);
        while (stream != nullptr && stream->busy) {
            lock.unlock();
            SwitchToThread();
            lock.lock();
            stream = FindStream(handle);
        }
        if (stream != nullptr && !stream->decode) {
            if (restart) {
                stream->pos = 0;
                stream->playedBytes = 0;
                stream->requests = 0;
                stream->ended = false;
            }
            stream->playing = !stream->ended;
            result = stream->playing ? 1 : 0;
        }
    }
    TRACE_HOST_CALL("BASS_ChannelPlay handle=%lu restart=%d -> %d",
                    static_cast<unsigned long>(handle), static_cast<int>(restart), result);
    return result;
}

// Once this returns the stream's procedure will not be called again until the stream
// is played; a call in progress has ended too, unless in no-wait mode.
BOOL WINAPI BASS_ChannelStop(DWORD handle) {
    BOOL result = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(g_streamLock);
        Stream* stream = FindStream(handle);
        if (stream != nullptr && !stream->decode) {
            stream->playing = false;
            result = 1;
        }
    }
    TRACE_HOST_CALL("BASS_ChannelStop handle=%lu -> %d", static_cast<unsigned long>(handle),
                    result);
    return result;
}

// Positions are rounded down to a whole frame. Streams made with a procedure cannot
// seek: only position 0 is taken, unless QB_SEEKABLE is 1. An ended stream goes on
// from the new position.
BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    BOOL result = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(g_streamLock);
        Stream* stream = FindStream(handle);
        const QWORD frame = pos - pos % kBytesPerFrame;
        if (stream != nullptr && mode == kPosBytes && (frame == 0 || Settings().seekable)) {
            stream->pos = frame;
            stream->ended = false;
            stream->moved = true;
            result = 1;
        }
    }
    TRACE_HOST_CALL("BASS_ChannelSetPosition handle=%lu pos=%llu mode=%lu -> %d",
                    static_cast<unsigned long>(handle), static_cast<unsigned long long>(pos),
                    static_cast<unsigned long>(mode), result);
    return result;
}

// Reads a decoding stream by calling its procedure; (DWORD)-1 for a stream that is
// not a decoding one, does not exist or has ended.
DWORD WINAPI BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    DWORD result = kResultError;
    {
        std::unique_lock<std::recursive_mutex> lock(g_streamLock);
        Stream* stream = FindStream(handle);
        if (stream != nullptr && stream->decode && !stream->ended && buffer != nullptr) {
            const DWORD got = length == 0 ? 0 : CallStreamProc(lock, stream, buffer, length);
            stream = FindStream(handle);
            if (stream != nullptr && got != kResultError) {
                DWORD bytes = got & ~kStreamEndBit;
                bytes = bytes > length ? length : bytes;
                stream->pos += bytes;
                stream->ended = (got & kStreamEndBit) != 0;
                result = (bytes == 0 && stream->ended) ? kResultError : bytes;
            }
        }
    }
    TRACE_HOST_CALL("BASS_ChannelGetData handle=%lu length=%lu -> %ld",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(length),
                    static_cast<long>(static_cast<int32_t>(result)));
    return result;
}

} // extern "C"
