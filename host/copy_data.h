#pragma once

#include <windows.h>

// Runs one command sent by the controller as a copy-data message. One that arrives
// while another is in progress (plug-in code handling messages inside it) runs after
// that one, in order; Quit ends the host at once. Gives the message's result: 0 for
// the base commands, an extension command's answer.
// An extension command's text answer goes to `sender` (the message's word parameter).
LRESULT HandleCopyData(HWND sender, const COPYDATASTRUCT* record);

// The main window's timer that ends a fade with a pause or a stop, run as a command.
void OnFadeTimer(HWND window);

// The render thread has ended (or its timer came round): puts live playback back, as
// a command, once no other command is in progress.
void OnRenderEnded(HWND window);

// The plug-in resized its editor: the editor window follows, as work of the host's own,
// once no command is in progress (the resize's timer comes round until then).
void OnEditorResized(HWND window, DWORD width, DWORD height);
void OnResizeTimer(HWND window);

// The output device failed (or its timer came round): the song is recovered by the
// controller's policy as work of the host's own, and looked at again until it plays.
void OnDeviceTimer(HWND window);
