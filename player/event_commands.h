// The controller's settings for the song's events, on the user-interface thread inside
// the gate: the speed (with a ladder of steps at a loop region's turns), the key, and
// per channel mute, solo and volume. Each takes effect at the next render call, with
// no seek or gap. Each gives its answer: 0 or more, or a QB_FAIL_ code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "player/player_state.h"

// What ClearEventControls puts back to its default.
enum ControlGroup : uint32_t {
    kControlSpeed = 1,
    kControlKey = 2,
    kControlChannels = 4, // mute and solo
    kControlVolumes = 8,
    kControlAll = 15,
};

// The speed, 0.25 to 4 times the song's own tempo; `step` (-4 to 4) added at each turn
// of a loop region until `limit` (0.25 to 4; ignored without a step). Answers the speed
// in thousandths.
int32_t SetSpeed(PlayerState* state, double speed, double step, double limit);
// -24 to 24 semitones for the channels of the mask `channels` (bit 0: channel 1; 1 to
// 0xFFFF). Answers 0.
int32_t SetTranspose(PlayerState* state, double semitones, double channels);
// The masks of muted and of soloed channels (bit 0: channel 1). Answers 0.
int32_t SetChannelMutes(PlayerState* state, double muted, double soloed);
// Channel 1 to 16 (0: all) at `volume`, 0 to 1, of the song's own volume. Answers the
// volume in thousandths.
int32_t SetChannelVolume(PlayerState* state, double channel, double volume);
// The groups of `which` back to their defaults. Answers 0.
int32_t ClearEventControls(PlayerState* state, uint32_t which);
// What is set, as text: speed, step, limit (thousandths), semitones, transposed,
// muted and soloed channels (hex masks), the 16 channel volumes (thousandths), tab-
// separated. Answers the speed in thousandths.
int32_t DescribeEventControls(const PlayerState* state, wchar_t* text, size_t chars);
// The position heard, or the song's length, in ms of time heard at the current speed.
int32_t MsAtSpeed(PlayerState* state, bool length);
// A new song: its channels start unmuted at full volume; speed and key stay.
void EventControlsForNewSong(PlayerState* state);
