// quillctl's output devices: the list, the choice of one, what happens when it is
// unplugged, and the playback latency, each a call of the client library.
#pragma once

#include "controller/arguments.h"
#include "controller/session.h"

// Read before the host starts; each says what is wrong.
bool ReadLatency(Arguments* args);
bool ReadDevicePolicy(Arguments* args);

bool Devices(Session* session, const Arguments& args);
bool Device(Session* session, const Arguments& args);
bool DevicePolicy(Session* session, const Arguments& args);
bool Latency(Session* session, const Arguments& args);
// Prints the latency in use, for status; nothing from a host that cannot tell.
void PrintLatency(Session* session);
