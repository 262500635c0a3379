// quillctl's render command: a song rendered through the loaded plug-in into a WAV
// file, with a progress bar on a terminal and a plain line a second otherwise.
#pragma once

#include "controller/arguments.h"
#include "controller/session.h"

// Option words after the two paths, at most this many.
constexpr size_t kRenderOptionWords = 4;

// Read before the host starts: "passes=N", "tail=MS", "tail=silence", "pcm16",
// "realtime"; says what is wrong.
bool ReadRender(Arguments* args);
bool Render(Session* session, const Arguments& args);
