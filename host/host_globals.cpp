#include "host_globals.h"

int32_t parentPid = 0;
HANDLE parentProcess = nullptr;
HWND songReportWindow = nullptr;
HWND editorReportWindow = nullptr;
PlayerState player;
