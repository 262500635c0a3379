// What quillctl keeps while it drives one host.
#pragma once

#include <windows.h>

#include "../client/quillbrook_client.h"

struct Session {
    QbHost* host = nullptr;
    PROCESS_INFORMATION decoy = {};
};
