// The controller's two report windows, whose text the host sets: the path of each
// loaded song, and "TRUE" or "FALSE" after each plug-in load. Each report is printed
// the moment it arrives.
#pragma once

#include <windows.h>

struct ReportWindows {
    HWND song = nullptr;
    HWND editor = nullptr;
};

bool CreateReportWindows(HINSTANCE instance, ReportWindows* windows);
