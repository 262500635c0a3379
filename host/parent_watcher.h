// Ends the host the moment the controller's process ends, from a thread of its own, so
// a plug-in that hangs the user-interface thread (and with it the watchdog timer)
// cannot keep the host alive.
#pragma once

#include <windows.h>

// Starts the watching thread on the controller's process handle, opened at start-up
// with SYNCHRONIZE access. Does nothing for a null handle.
void StartParentWatcher(HANDLE parentProcess);
