// The song's texts and musical time as commands: its marks one by one, its ticks per
// quarter note and length in bars, the position heard in bars and beats, and song
// positions given as bars and beats.
#pragma once

#include "host/command_table.h"

// "[INDEX]": answers the number of marks; with INDEX, the mark's text answer is its
// kind, tick, position in ms and text, tab-separated.
LRESULT MarkCommand(CommandCall* call);
// Answers the ticks per quarter note; the text is the song's length in ticks and as
// BAR:BEAT:TICK.
LRESULT MusicTimeCommand(CommandCall* call);
// Answers the position heard in ticks; the text is BAR:BEAT:TICK.
LRESULT BarPositionCommand(CommandCall* call);
// Word `index` as a song position in ms: a number of ms, or BAR:BEAT[:TICK] by the
// song's time signatures and tempo map (bars and beats from 1). False when it is
// neither, or names bars in a song without musical time.
bool PayloadSongMs(const PayloadWords& words, size_t index, double* ms);
// "markers [PASSES]": a loop region from the song's own loopStart marker (or cue point)
// to its loopEnd, or to the song's end without one; names compared case-blind.
LRESULT LoopOnMarkersCommand(CommandCall* call);
