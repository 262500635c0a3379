// The live MIDI command's payload: hexadecimal bytes of complete messages, spaces
// between bytes optional ("90 3C 64", "903C64 80 3C 00", "F0 7E 7F 09 01 F7").
#pragma once

#include <cstdint>

#include "player/live_midi.h"

// At most this many messages a command, so they all reach the instrument in one pull.
constexpr uint32_t kMidiPayloadMessages = kLivePerPull;

// Reads the messages into `messages` (room for kMidiPayloadMessages). False for
// anything else: no message, a stray digit, a data byte where a status byte belongs, a
// message cut short, a system message other than an exclusive one, or too many.
bool ParseMidiPayload(const wchar_t* text, LiveMessage* messages, uint32_t* count);
