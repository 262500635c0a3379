// What quillctl keeps while it drives one host.
#pragma once

#include <windows.h>

#include "client/quillbrook_client.h"

struct Session {
    QbHost* host = nullptr;
    PROCESS_INFORMATION decoy = {};
    DWORD commandMs = 60000; // how long a command may take (--send-timeout)
};
