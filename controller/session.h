// What quillctl keeps while it drives one host.
#pragma once

#include <windows.h>

#include "host_process.h"
#include "report_windows.h"

struct Session {
    HostProcess host;
    ReportWindows reports;
    PROCESS_INFORMATION decoy = {};
};
