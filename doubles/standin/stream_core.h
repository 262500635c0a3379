// The one model of bass.dll's streams, syncs and mixing, shared by the stand-in
// bass.dll (under Wine) and the native fake of the libraries (for the unit and stress
// tests), so both play the libraries' contract, and its documented worst case, alike.
// Portable: standard C++ threads and locks only; the Windows exports, the trace, the
// settings from the environment and the paced mixing thread are the layers' own.
//
// Every function takes the model's lock. The mixing step calls syncs with the lock
// held, and stream procedures too unless the model does not wait: then a procedure
// call in progress goes on after Stop or StreamFree has returned, as the real library
// allows, and the next Play of that stream waits for it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "audio/bass_api.h"
#include "doubles/standin/library_constants.h"

// How the model behaves: the defaults are the libraries' documented worst case where
// the documentation leaves room, and what the real library does elsewhere.
struct StreamModelSettings {
    bool noWait = false;        // Stop, StreamFree (and the instrument's free) do not wait
    bool seekable = false;      // user streams take positions other than 0
    bool decodeOnly = false;    // the "no sound" device: decoding streams only
    QWORD devicePauseAfter = 0; // the device stops a stream after this many bytes; 0: never
};

// What the mixing thread asks of each playing stream.
struct MixSettings {
    DWORD periodBytes = kSampleRate / 100 * kBytesPerFrame; // one request, whole frames
    bool deviceProfile = false; // the playback buffer at a start, then an update period
    QWORD playLimit = 0;        // bytes a stream may deliver after a restart; 0: no limit
};

// The first request of the device profile, the largest a mixing step makes.
constexpr DWORD kProfileFirstBytes = kSampleRate / 2 * kBytesPerFrame;
constexpr DWORD kProfileLaterBytes = kSampleRate / 10 * kBytesPerFrame;

// Forgets every stream and sync; handles start again at `firstHandle`.
void ResetStreamModel(const StreamModelSettings& settings, DWORD firstHandle);
StreamModelSettings StreamModel();
void SetStreamModel(const StreamModelSettings& settings);

// The model's lock, for a layer that must wait for a call in progress as the library
// does (the instrument's free).
std::recursive_mutex& StreamModelLock();

// The library's operations, with its results. `tags` are a user stream's tags of kind
// 2: zero-ended strings closed by an empty one, or empty for none.
HSTREAM ModelStreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc, void* user,
                          const std::string& tags);
BOOL ModelStreamFree(HSTREAM handle);
const char* ModelChannelGetTags(DWORD handle, DWORD kind);
HSYNC ModelChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user);
BOOL ModelChannelPlay(DWORD handle, BOOL restart);
BOOL ModelChannelStop(DWORD handle);
BOOL ModelChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
DWORD ModelChannelGetData(DWORD handle, void* buffer, DWORD length);

// The further functions, found at run time by the host. A playing stream's playing
// position trails its decoding position by its playback buffer (BASS_CONFIG_BUFFER ms
// when it was made, 500 by default), filled as the stream is pulled after a start.
// Volume attributes and slides are applied when played streams are mixed; slides run
// in real time, also while the stream is paused or stopped.
BOOL ModelChannelPause(DWORD handle);
DWORD ModelChannelIsActive(DWORD handle);
BOOL ModelChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BOOL ModelChannelGetAttribute(DWORD handle, DWORD attrib, float* value);
BOOL ModelChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD ms);
BOOL ModelChannelIsSliding(DWORD handle, DWORD attrib);
QWORD ModelChannelGetPosition(DWORD handle, DWORD mode);
BOOL ModelSetConfig(DWORD option, DWORD value);
DWORD ModelGetConfig(DWORD option);
// The output devices: the one new streams play on; a stream moved to another (not to
// an unplugged one), keeping its position; every stream of one device moved to another
// (the default device followed); a device unplugged, which stops its playing streams as
// "paused by the device" and fires their device-failure syncs, or plugged back (its
// streams wait to be played again). A stream played on an unplugged device fails.
void ModelSetDevice(DWORD device);
BOOL ModelChannelSetDevice(DWORD handle, DWORD device);
void ModelMoveStreams(DWORD from, DWORD to);
void ModelSetDeviceGone(DWORD device, bool gone);
// The error code of this thread's last call into the model.
int ModelErrorCode();
void SetModelError(int code);

// Told of each stream procedure call, sync and stop of the mixing step, for a trace:
// "STREAMPROC handle=H pos=P length=L", "SYNC sync=S handle=H type=end|pos|devfail pos=P",
// "MOVED handle=H device=D pos=P",
// "STOPPED handle=H pos=P ended|limit|device paused|device gone". Null for none.
void SetMixLog(void (*log)(const char* line));

// One step of the mixing thread: asks every playing stream for its request, cut where
// a position sync lies (so it fires exactly at its position), runs the syncs, and sums
// the streams into `mix` (at least kProfileFirstBytes, or the period, of floats).
// Returns the bytes mixed, 0 when nothing played. A stream that gives nothing but is
// rewound by its end sync is asked again at once, with the lock let go in between.
DWORD MixStep(const MixSettings& settings, std::vector<float>* mix);
