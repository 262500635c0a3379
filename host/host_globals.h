// Process-wide values, each set once during start-up and read afterwards.
#pragma once

#include <windows.h>

#include <cstdint>

#include "player/player_state.h"

extern HANDLE parentProcess; // opened once at start-up; null when it could not be opened
extern HWND songReportWindow;
extern HWND editorReportWindow;
extern PlayerState player;
