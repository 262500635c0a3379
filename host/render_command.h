// The render commands: a song rendered to a WAV file on a thread of the host's own
// while the user-interface thread goes on answering, its status and progress, and
// its cancel. Live playback is paused for the render (its render calls held, so the
// render thread is the only one calling the instrument) and afterwards goes on where
// the listener was, every channel's state replayed.
#pragma once

#include <windows.h>

#include <cstdint>

// Posted to the main window when the render thread has ended.
constexpr UINT kRenderEndedMessage = WM_APP + 2;

// Starts rendering the loaded song as the payload asks; answers the file's length in
// ms, or a QB_FAIL_ code.
LRESULT StartRenderCommand(const wchar_t* payload);
// A QB_RENDER_ value, or the QB_FAIL_ code the last render ended with.
LRESULT RenderStatusCommand();
// Thousandths of the current (or last) render done.
LRESULT RenderProgressCommand();
// Stops the render, removes its unfinished file and puts live playback back.
LRESULT CancelRenderCommand();

// Whether a render's thread is still to be waited for.
bool RenderUnderWay();
// Cancels a render under way and waits for its thread; nothing without one.
void CancelRender();
// Once the render thread has ended: waits for it and puts live playback back.
void FinishRender();
