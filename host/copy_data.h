#pragma once

#include <windows.h>

// Runs one command sent by the controller as a copy-data message. One that arrives
// while another is in progress (plug-in code handling messages inside it) runs after
// that one, in order; Quit ends the host at once.
void HandleCopyData(const COPYDATASTRUCT* record);
