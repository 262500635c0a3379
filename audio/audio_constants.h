// Flag values and event numbers the host passes to the audio libraries.
#pragma once

#include "bass_types.h"

constexpr DWORD kSampleRate = 48000;
constexpr DWORD kChannels = 2;

constexpr DWORD kDecodeFloatUnicode = 0x80200100; // UTF-16 name, decode only, float samples
constexpr DWORD kFloatLoopStream = 0x104;         // float samples, loop flag
constexpr DWORD kSyncPosMixtime = 0x40000000;
constexpr DWORD kSyncEndMixtime = 0x40000002;
constexpr DWORD kStreamEndBit = 0x80000000;
constexpr DWORD kTagsLoop = 2;
constexpr DWORD kPosByte = 0;

constexpr DWORD kEventBankSelect = 10;
constexpr DWORD kEventSustain = 15;
constexpr DWORD kEventResetControllers = 17;
constexpr DWORD kEventAllNotesOff = 18;
