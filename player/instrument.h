// Swapping the instrument the render callback plays, on the user-interface thread.
#pragma once

#include "player_state.h"

// Unloads the current instrument and loads the plug-in at `path` in its place (none
// for a null path). From the first call on, song events are sent to the instrument.
// Returns the new instrument's handle, 0 when it could not be loaded.
DWORD ReplaceInstrument(PlayerState* state, const wchar_t* path);
