// The song commands of the control protocol, run on the user-interface thread, and
// the loop callback that the mixing thread runs at the loop point.
#pragma once

#include "player/player_state.h"

// Reads a Standard MIDI File into the event table and makes the output stream. A null
// path stands for one that cannot be opened: the player is left as it was.
void LoadSong(PlayerState* state, const wchar_t* path);
void Play(PlayerState* state);
void Stop(PlayerState* state);
void FreeStream(PlayerState* state);

void CALLBACK LoopSyncProc(HSYNC sync, DWORD channel, DWORD data, void* user);

// Reads the loop points from a run of zero-ended tag strings closed by an empty one:
// "LOOPSTART=" gives loopStart and "LOOPLENGTH=" the loop's length, each number times
// 4, keys matched at the start of a string with letter case ignored. Returns the end
// position of the loop, or 0 when no length was given.
DWORD ReadLoopTags(const char* tags, DWORD* loopStart);
