// Swapping the instrument the render callback plays, on the user-interface thread.
#pragma once

#include "player/player_state.h"

// Takes the current instrument away from the mixing thread and returns its handle once
// no render call can be pulling from it or sending it an event, so it may be closed and
// freed without waiting for the mixing thread.
DWORD UnpublishInstrument(PlayerState* state);

// Loads the plug-in at `path` as the instrument (none for a null path) and publishes
// it. From the first call on, song events are sent to the instrument. Its information
// record is kept in the state. Returns the new instrument's handle, 0 when it could not
// be loaded. Call once the old one is freed.
DWORD LoadInstrument(PlayerState* state, const wchar_t* path);

// Unloads the current instrument and loads the plug-in at `path` in its place.
DWORD ReplaceInstrument(PlayerState* state, const wchar_t* path);

// Fills `info` with the instrument's information record; false (the record zeroed) when
// there is no instrument or the library cannot describe it.
bool DescribeInstrument(DWORD instrument, BASS_VST_INFO* info);

// Releases every channel's notes and pedal and resets its controllers: queued for the
// instrument's next processing call.
void ResetInstrumentChannels(DWORD instrument);
