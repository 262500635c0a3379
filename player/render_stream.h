// The output stream's data callback: hands each song event to the instrument at its
// exact byte position, pulling the instrument's audio between events.
#pragma once

#include "player/player_state.h"

DWORD CALLBACK RenderProc(HSTREAM handle, void* buffer, DWORD length, void* user);
