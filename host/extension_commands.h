// The extension commands (codes from 100): each answers through the copy-data result.
#pragma once

#include <windows.h>

#include <cstdint>

// Runs extension command `code` with its payload text and gives its answer: 0 or
// more on success, a QB_FAIL_ code otherwise, 0 for a code it does not know.
// A text answer goes to `sender`.
LRESULT RunExtensionCommand(uint64_t code, const wchar_t* payload, HWND sender);

// Ends a fade with its pause or stop once the volume has stopped sliding; false while
// it still slides.
bool FinishFadeCommand();

// Whether an extension command may run while a render is under way: those that only
// ask, and the render's own. The others would change the song, the instrument or the
// playback. (The base commands that would cancel the render first.)
bool AllowedWhileRendering(uint64_t code);
