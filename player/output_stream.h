// The output stream's life, shared by the song commands and the transport commands.
// User-interface thread only.
#pragma once

#include "player/player_state.h"

// Unpublishes the output stream, waits until no render call is in progress, then frees
// it: a library that waits for the call in progress inside the free then finds none
// that could be blocked on this thread, and a late call touches nothing.
void ReleaseOutputStream(PlayerState* state);

// A new output stream for the current table, its cursor at `bytes` of the song (the
// first event there or after it) with `jump`'s replay to be sent first when not null,
// otherwise the instrument's channels reset at once; it gets the controller's volume.
// Call once no render call is in progress. Returns the stream, 0 when none was made.
HSTREAM StartOutputStream(PlayerState* state, DWORD nextEvent, QWORD bytes, const Jump* jump);

// Milliseconds on a clock that never goes back, for the time left of a fade.
uint64_t MonotonicMs();

// Whether a fade has not yet reached its target.
bool FadeRunning(const PlayerState* state);

// The volume `stream` has now (during a fade, where the fade is); the player's volume
// when the library cannot tell.
float StreamVolumeNow(PlayerState* state, HSTREAM stream);

// On a stream that replaces one (a seek, a restart) while a fade runs: the fade goes on
// from `from`, where the replaced stream was, to its target in the time it had left,
// instead of jumping to its target.
void GoOnWithFade(const PlayerState* state, HSTREAM stream, float from);

// Ends what is left of a fade: its pause or stop, and its slide, which a later seek or
// restart would otherwise carry on.
void ForgetFade(PlayerState* state);

// Sets the stream's loop syncs (from its loop tags, or at its end) and marks the song
// as played; the caller then plays the stream (or leaves it paused).
void ArmOutputStream(PlayerState* state, HSTREAM stream);

// Takes away the loop region and frees it once no render call can read it, its start's
// replay included.
void ReleaseLoopRegion(PlayerState* state);
// Frees the last seek's jump. Call once render calls touch nothing (the stream
// released, or the song stopped).
void ReleaseSeekJump(PlayerState* state);
