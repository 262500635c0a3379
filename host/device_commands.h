// The output devices as commands: the library's list of them, with their names in UTF-8
// turned into the protocol's text.
#pragma once

#include "host/command_table.h"

// "[INDEX]": answers the number of devices (0 is "no sound"); with INDEX, the device's
// text answer is its name, driver and QB_DEVICE_ flags, tab-separated.
LRESULT DeviceCommand(CommandCall* call);
// "N", "default" or a device's name: opens the device if the host has not, makes it the
// one new streams play on, and moves the playing song to it, where it goes on from the
// same position. Answers the device's number.
LRESULT SetDeviceCommand(CommandCall* call);
