// The stand-in bass.dll's streams and the lock that guards them. Every exported
// function and every step of the mixing thread runs under the lock; the mixing thread
// calls stream procedures and syncs with it held, so once a call that changes a stream
// returns, the mixing thread sees the change before it calls that stream again.
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
