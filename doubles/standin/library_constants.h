// Constants of the audio libraries that only the stand-ins and the test instruments
// need, beside the ones the host passes (audio/audio_constants.h).
#pragma once

#include "audio/audio_constants.h"

// Flag bits of which the host's flag values are made.
constexpr DWORD kFlagFloat = 0x100;
constexpr DWORD kFlagDecode = 0x200000;
constexpr DWORD kFlagUnicode = 0x80000000;

// The sync kinds, without the mix-time flag.
constexpr DWORD kSyncMixtime = 0x40000000;
constexpr DWORD kSyncPos = 0;
constexpr DWORD kSyncEnd = 2;

// Configuration options and error codes.
constexpr DWORD kDefaultBufferMs = 500;
constexpr DWORD kDefaultUpdatePeriodMs = 100; // also the longest
constexpr DWORD kShortestUpdatePeriodMs = 5;
constexpr int kErrorOk = 0;
constexpr int kErrorMemory = 1;
constexpr int kErrorHandle = 5;
constexpr int kErrorInit = 8;
constexpr int kErrorStart = 9;
constexpr int kErrorAlready = 14;
constexpr int kErrorIllegalType = 19;
constexpr int kErrorIllegalParam = 20;
constexpr int kErrorDevice = 23;
constexpr int kErrorNotPlaying = 24;
constexpr int kErrorNotAvailable = 37;
constexpr int kErrorDecode = 38;
