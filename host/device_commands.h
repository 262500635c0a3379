// The output devices as commands: the library's list of them, with their names in UTF-8
// turned into the protocol's text, and the playback latency.
#pragma once

#include "host/command_table.h"

// "[INDEX]": answers the number of devices (0 is "no sound"); with INDEX, the device's
// text answer is its name, driver and QB_DEVICE_ flags, tab-separated.
LRESULT DeviceCommand(CommandCall* call);
// "N", "default" or a device's name: opens the device if the host has not, makes it the
// one new streams play on, and moves the playing song to it, where it goes on from the
// same position. Answers the device's number.
LRESULT SetDeviceCommand(CommandCall* call);
// "BUFFER_MS [PERIOD_MS]": the playback buffer for the next output stream, raised to
// what the device can play without breaks, and the update period from now on. Answers
// the buffer in ms.
LRESULT SetLatencyCommand(CommandCall* call);
// Answers the playback buffer in ms; its text answer: buffer, update period, the
// device's smallest buffer and its own latency in ms, and the current device's number.
LRESULT LatencyCommand(CommandCall* call);
// The device later calls and new streams use; 0 when the library cannot tell.
DWORD CurrentDevice();
// Opens `device` unless the host has, and makes it the one later calls use. False when
// it is disabled or cannot be opened.
bool UseDevice(DWORD device);
// The device `text` names: its number, "default" (the system's default now) or its
// name as listed. False when none is.
bool FindDevice(const wchar_t* text, DWORD* found);
