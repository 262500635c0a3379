// Constants of the audio libraries that only the stand-ins and the test instruments
// need, beside the ones the host passes (audio/audio_constants.h).
#pragma once

#include "audio/audio_constants.h"

// Flag bits of which the host's flag values are made.
constexpr DWORD kFlagFloat = 0x100;
constexpr DWORD kFlagDecode = 0x200000;
constexpr DWORD kFlagUnicode = 0x80000000;
constexpr DWORD kBytesPerFrame = 8; // two channels of 32-bit float

// The sync kinds, without the mix-time flag.
constexpr DWORD kSyncMixtime = 0x40000000;
constexpr DWORD kSyncPos = 0;
constexpr DWORD kSyncEnd = 2;

// The rest of the event numbers of the event records.
constexpr DWORD kEventNote = 1;
constexpr DWORD kEventProgram = 2;
constexpr DWORD kEventChannelPressure = 3;
constexpr DWORD kEventPitchBend = 4;
constexpr DWORD kEventModulation = 11;
constexpr DWORD kEventVolume = 12;
constexpr DWORD kEventPan = 13;
constexpr DWORD kEventExpression = 14;
constexpr DWORD kEventSoundOff = 16;
constexpr DWORD kEventTempo = 62;
