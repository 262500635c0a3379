// Watching the music: a controller's window gets a posted notification for each note,
// loop turn, song end and seek once the listener hears it. The render call logs them
// with the output stream's byte at which they are heard; a thread of the host's own
// compares that with the library's playing position every few milliseconds and posts
// what has been heard, the record itself in shared memory the controller maps.
#pragma once

#include "host/command_table.h"

// "HWND KINDS [OFFSET_MS]": starts, changes or (KINDS 0) stops the watch. Answers 0.
LRESULT WatchCommand(CommandCall* call);

// Tells a watch of QB_WATCH_DEVICE that the output device `device` stopped, returned or
// took the song (a QB_DEVICE_EVENT_). Main thread.
void TellDevice(uint32_t event, DWORD device);
