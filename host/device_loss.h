// An output device that stops under a playing song (a headset unplugged): the library's
// failure sync wakes the main thread, which tells a watching controller and applies the
// controller's policy: wait for the device to return, or go on on the system's default.
#pragma once

#include "audio/bass_api.h"
#include "host/command_table.h"

// Posted by the failure sync to the main window.
constexpr UINT kDeviceFailedMessage = WM_APP + 3;

// The sync procedure the host sets on every output stream.
void CALLBACK DeviceFailSyncProc(HSYNC sync, DWORD channel, DWORD data, void* user);

// Looks at the song's device and acts by the policy: tells the loss once, moves the
// song to the default device when asked to, and plays it on where it was. True once
// the song plays again, or nothing waits for a device. Inside the gate.
bool RecoverDevice();

// "wait" or "default": what the host does when the device stops. Answers 0.
LRESULT DevicePolicyCommand(CommandCall* call);
