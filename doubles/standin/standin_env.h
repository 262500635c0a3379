// Settings of the stand-in libraries, read from environment variables (see README.md
// in this folder).
#pragma once

#include <windows.h>

#include <string>

// The variable's value as UTF-16, or empty when it is not set.
std::wstring EnvText(const wchar_t* name);

// The variable's value as a decimal number, or `fallback` when it is not set or not
// a number.
unsigned long long EnvNumber(const wchar_t* name, unsigned long long fallback);

// When QB_PID_FILE names a file, writes the Linux process id of this process into it,
// so a test under Wine can watch the process without searching for it.
void WriteUnixProcessId();
