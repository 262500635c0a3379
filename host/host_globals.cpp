#include "host/host_globals.h"

HANDLE parentProcess = nullptr;
HWND songReportWindow = nullptr;
HWND editorReportWindow = nullptr;
PlayerState player;
