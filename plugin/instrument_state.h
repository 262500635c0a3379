// Saving and loading the instrument's state (see plugin/state_file.h). Each call gives
// an answer of the extension commands: the QB_STATE_ kind, or a QB_FAIL_ code.
#pragma once

#include "player/player_state.h"

int32_t SaveInstrumentState(PlayerState* state, const wchar_t* path);

// Refuses a file of another plug-in, a damaged one or one of another format version
// before anything is changed. Run inside the gate, so the state is applied between two
// render calls and the song plays on.
int32_t LoadInstrumentState(PlayerState* state, const wchar_t* path);
