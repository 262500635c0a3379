// Flag values, event numbers and results the host passes to and reads from the audio
// libraries. (The stand-ins' further constants are in doubles/standin/library_constants.h.)
#pragma once

#include "audio/bass_types.h"

constexpr DWORD kSampleRate = 48000;
constexpr DWORD kChannels = 2;
constexpr DWORD kBytesPerFrame = kChannels * sizeof(float); // the streams' float samples
constexpr DWORD kMidiChannels = 16;                         // of a VST instrument
constexpr int kDefaultDevice = -1;
constexpr int kNoSoundDevice = 0;

constexpr DWORD kDecodeFloatUnicode = 0x80200100; // UTF-16 name, decode only, float samples
constexpr DWORD kFloatLoopStream = 0x104;         // float samples, loop flag
constexpr DWORD kSyncPosMixtime = 0x40000000;
constexpr DWORD kSyncEndMixtime = 0x40000002;
constexpr DWORD kStreamEndBit = 0x80000000;
constexpr DWORD kTagsOgg = 2;              // the tag kind that carries the loop tags
constexpr DWORD kPosByte = 0;              // positions in bytes
constexpr DWORD kResultError = 0xFFFFFFFF; // the error value of calls that give a count

// Event numbers of the event records that the host itself sends, passes over or
// replays after a jump.
constexpr DWORD kEventNote = 1;
constexpr DWORD kEventProgram = 2;
constexpr DWORD kEventChannelPressure = 3;
constexpr DWORD kEventPitchBend = 4;
constexpr DWORD kEventBankSelect = 10;
constexpr DWORD kEventModulation = 11;
constexpr DWORD kEventVolume = 12;
constexpr DWORD kEventPan = 13;
constexpr DWORD kEventExpression = 14;
constexpr DWORD kEventSustain = 15;
constexpr DWORD kEventSoundOff = 16;
constexpr DWORD kEventResetControllers = 17;
constexpr DWORD kEventAllNotesOff = 18;
constexpr DWORD kEventTempo = 62; // microseconds per quarter note

// Functions found at run time, their attributes, states and position modes.
constexpr DWORD kDeviceEnabled = 1; // an output device's flags
constexpr DWORD kDeviceDefault = 2;
constexpr DWORD kDeviceInit = 4;
constexpr DWORD kConfigUnicode = 42; // device names in UTF-8
constexpr DWORD kConfigBuffer = 0;   // the playback buffer in ms, for streams made after
constexpr DWORD kConfigUpdatePeriod = 1;
constexpr DWORD kConfigDevDefault = 36; // the default device follows the system's default
constexpr DWORD kDeviceLatency = 0x100; // BASS_Init measures the device's latency
constexpr DWORD kSyncDevFail = 14;      // the stream's device stopped (unplugged)
constexpr DWORD kAttribVolume = 2;
constexpr DWORD kAttribMidiPpqn = 0x12000; // a MIDI stream's pulses per quarter note
constexpr DWORD kMarkTick = 0x10000;       // mark positions in ticks instead of bytes
constexpr DWORD kSlideLog = 0x1000000;
constexpr DWORD kActiveStopped = 0;
constexpr DWORD kActivePlaying = 1;
constexpr DWORD kActiveStalled = 2;
constexpr DWORD kActivePaused = 3;
constexpr DWORD kActivePausedDevice = 4;
constexpr DWORD kPosDecode = 0x10000000;
constexpr QWORD kPositionError = ~QWORD{0}; // the error value of a position
