// The stand-in bass.dll's streams and the lock that guards them. Every exported
// function and every step of the mixing thread runs under the lock; the mixing thread
// calls syncs with it held, and stream procedures too unless QB_NO_WAIT is 1. So by
// default, once a call that changes a stream returns, the mixing thread sees the change
// before it calls that stream again; in no-wait mode a procedure call in progress
// goes on after Stop or StreamFree has returned, as the real library allows.
#pragma once

#define QB_AUDIO_API __declspec(dllexport)
#include "../audio/audio_constants.h"
#include "../audio/bass_api.h"

#include <mutex>
#include <string>
#include <vector>

constexpr DWORD kSyncMixtime = 0x40000000;
constexpr DWORD kSyncPos = 0;
constexpr DWORD kSyncEnd = 2;
constexpr DWORD kResultError = 0xFFFFFFFF;

struct Sync {
    HSYNC handle;
    DWORD type; // without the mix-time flag
    QWORD param;
    SYNCPROC* proc;
    void* user;
};

struct Stream {
    HSTREAM handle = 0; // 0: free slot
    STREAMPROC* proc = nullptr;
    void* user = nullptr;
    bool decode = false;
    bool playing = false;
    bool ended = false;
    bool moved = false;    // set by a position change, to tell a sync rewound it
    QWORD pos = 0;         // bytes delivered since the start or the last position change
    QWORD playedBytes = 0; // bytes delivered since the last restart, for the play limit
    DWORD requests = 0;    // requests since the last restart, for the request profile
    bool busy = false;     // its procedure is running with the lock let go (no-wait mode)
    std::vector<Sync> syncs;
    std::string tags; // loop tags: zero-ended strings closed by an empty one
};

extern std::recursive_mutex g_streamLock;

// The live stream with this handle, or null. Call with the lock held.
Stream* FindStream(DWORD handle);

// Every slot, live or free. Call with the lock held.
std::vector<Stream>& AllStreams();

// Starts the mixing thread; called once, by BASS_Init.
void StartMixer();

// Settings read once from the environment (see README.md in this folder).
struct LibrarySettings {
    bool noWait;   // QB_NO_WAIT=1
    bool seekable; // QB_SEEKABLE=1: user streams take non-zero positions
    bool noDevice; // QB_NO_DEVICE=1: the default device fails, device 0 works
    bool hangInit; // QB_HANG_INIT=1: BASS_Init never returns, as a device driver may hang
};
const LibrarySettings& Settings();

// Calls the stream's procedure; in no-wait mode with the lock let go, the stream
// marked busy meanwhile. Call with the lock held once, through `lock`. The stream may
// be gone when this returns: find it again.
DWORD CallStreamProc(std::unique_lock<std::recursive_mutex>& lock, Stream* stream, void* buffer,
                     DWORD length);
