#pragma once

#include <windows.h>

// Runs one command sent by the controller as a copy-data message.
void HandleCopyData(const COPYDATASTRUCT* record);
