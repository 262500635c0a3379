// A fake of the three audio libraries for native tests of the player: a recording and
// scripting layer over the stream model that the stand-in bass.dll plays too
// (doubles/standin/stream_core.h), so both hold the libraries' contract alike, its
// worst case by default (user streams take only position 0). It records the calls the
// player makes, lets a test script the MIDI file and what the instrument's pulls
// return, and can run the model's mixing for stress tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/bass_api.h"

namespace fake {

// Forgets all calls and scripts; handles start again from their first values.
void Reset();

// The calls since the last Reset, one string each, e.g.
//   "ProcessEvent inst=7 ch=0 ev=1 param=15420 at=1600"
// where `at` is the number of bytes pulled from that instrument so far.
std::vector<std::string> Calls();
void ClearCalls();
std::vector<std::string> CallsStartingWith(const std::string& prefix);

// Results of the next instrument pulls, in order; a result larger than the request is
// the full request. Once the script is used up every pull is served in full.
void ScriptPulls(const std::vector<int32_t>& results);
// Each pull's requested byte count, in order.
std::vector<uint32_t> PullSizes();

// What the next opened MIDI file holds. `fillLimit` caps what the filling call writes.
void SetMidiFile(const std::vector<BASS_MIDI_EVENT>& events, uint32_t fillLimit = UINT32_MAX);
// Makes the counting call report `count` events whatever the file holds.
void SetMidiCountOverride(uint32_t count);
void SetMidiOpenFails(bool fails);
// Makes the filling call give the library's error value, -1.
void SetMidiFillFails(bool fails);

void SetStreamCreateFails(bool fails);
// User streams take any position (as they do not by default, like the real ones).
void SetSeekable(bool seekable);
// Called inside every BASS_ChannelSetPosition, with `context`; null for none.
void SetPositionHook(void (*hook)(void* context), void* context);
// Called inside every pull of an instrument (BASS_ChannelGetData), with `context`, as
// another thread could act in the middle of a render call; null for none.
void SetPullHook(void (*hook)(void* context), void* context);
// A run of zero-ended strings closed by an empty one (pass it with its ending zeros).
void SetTags(const std::string& tags);

// Leaves the further function `name` out, as an older library would (until Reset).
void SetAbsent(const std::string& name);

// Handles the fake hands out. Instruments count from 100, streams from 1.
constexpr DWORD kFirstInstrument = 100;

// Quiet mode: no recording and no shared bookkeeping, so a stress test's threads
// synchronise only where the real library would.
void SetQuiet(bool quiet);

// No-wait mode: StreamFree, ChannelStop and VST_ChannelFree return without waiting for
// a stream procedure call in progress, as the real library may.
void SetNoWait(bool noWait);

// The mixing thread: while running, it pulls every playing stream in requests of
// `requestBytes`, honouring the end bit and the syncs as the real library does.
void StartMixer(uint32_t requestBytes);
void StopMixer();
uint64_t MixedBytes();

} // namespace fake
