// Loading the instrument plug-in and showing its editor; user-interface thread only.
#pragma once

#include <windows.h>

#include "player/player_state.h"

// Loads the plug-in at `path` as the instrument and tells whether it has an editor.
// A null path stands for one that cannot be opened: the old instrument is still
// unloaded, and the answer is false.
bool LoadPlugin(PlayerState* state, const wchar_t* path);

// Shows the plug-in's editor in a window of its own, made on first use after a load.
void ShowEditor(PlayerState* state);

// Fits the editor window to an editor of the new size, its top-left corner staying
// where it is.
void FitEditorToSize(PlayerState* state, DWORD width, DWORD height);
