// The instrument's programs and parameters, its description and MIDI sent live. Each
// call gives an answer of the extension commands (a QB_FAIL_ code on failure); the
// ones with a text answer write it to `text` (room for `chars`, ending zero included).
// Run inside the gate (`EnterGate`), as the library makes calls into the plug-in wait
// for its processing.
#pragma once

#include <cstddef>

#include "player/player_state.h"

// The QB_CAN_ flags of these commands that the libraries beside the host allow.
int32_t InstrumentCapabilities();

int32_t ProgramCount(PlayerState* state);
int32_t CurrentProgramIndex(PlayerState* state);
int32_t SelectProgram(PlayerState* state, double index);
int32_t ProgramName(PlayerState* state, double index, wchar_t* text, size_t chars);

int32_t ParamCount(PlayerState* state);
// A value the library gave for a parameter, within 0 to 1 (a non-number as 0).
float UnitParamValue(float value);
// Answers the value in millionths; the text is the name, a tab and the display text
// (with its unit after a space, where it has one).
int32_t ParamValue(PlayerState* state, double index, wchar_t* text, size_t chars);
int32_t SetParamValue(PlayerState* state, double index, double value);

// Answers the plug-in's version; the text is its name, vendor and unique id in hex,
// separated by tabs.
int32_t PluginInfo(PlayerState* state, wchar_t* text, size_t chars);

// Queues the messages for the instrument's next pull; a full queue takes none.
int32_t SendLiveMidi(PlayerState* state, const LiveMessage* messages, uint32_t count);

// Has the library tell the host when the plug-in resizes its editor: the editor window
// is then fitted on the user-interface thread (see FitEditorToSize).
void WatchEditorSize(PlayerState* state, DWORD instrument);
