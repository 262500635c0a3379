// Flag values, event numbers and results the host passes to and reads from the audio
// libraries. (The stand-ins' further constants are in doubles/standin/library_constants.h.)
#pragma once

#include "audio/bass_types.h"

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
constexpr DWORD kTagsOgg = 2;              // the tag kind that carries the loop tags
constexpr DWORD kPosByte = 0;              // positions in bytes
constexpr DWORD kResultError = 0xFFFFFFFF; // the error value of calls that give a count

// Event numbers of the event records that the host itself sends or passes over.
constexpr DWORD kEventBankSelect = 10;
constexpr DWORD kEventSustain = 15;
constexpr DWORD kEventResetControllers = 17;
constexpr DWORD kEventAllNotesOff = 18;
