// Flag values and event numbers the host passes to the audio libraries.
#pragma once

#include "bass_types.h"

constexpr DWORD kSampleRate = 48000;
constexpr DWORD kChannels = 2;
constexpr DWORD kMidiChannels = 16; // of a VST instrument
constexpr int kDefaultDevice = -1;
constexpr int kNoSoundDevice = 0;

constexpr DWORD kDecodeFloatUnicode = 0x80200100; // UTF-16 name, decode only, float samples
constexpr DWORD kFloatLoopStream = 0x104;         // float samples, loop flag
constexpr DWORD kSyncPosMixtime = 0x40000000;
constexpr DWORD kSyncEndMixtime = 0x40000002;
constexpr DWORD kStreamEndBit = 0x80000000;
constexpr DWORD kTagsLoop = 2;
constexpr DWORD kPosByte = 0;

// Flag bits of which the values above are made, for the stand-in libraries.
constexpr DWORD kFlagFloat = 0x100;
constexpr DWORD kFlagDecode = 0x200000;
constexpr DWORD kFlagUnicode = 0x80000000;
constexpr DWORD kBytesPerFrame = 8; // two channels of 32-bit float

// Event numbers of the event records.
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
constexpr DWORD kEventTempo = 62;
