// What quillctl keeps while it drives one host.
#pragma once

#include <windows.h>

#include "host_process.h"
#include "report_windows.h"

struct Session {
    HostProcess host;
    ReportWindows reports;
    PROCESS_INFORMATION decoy = {};
    DWORD sendTimeoutMs = 60000; // how long a command may take before the host counts as hung
};
