// Small text helpers of quillctl.
#pragma once

#include <windows.h>

#include <string>

// Prints "quillctl: MESSAGE DETAIL" to standard error; returns false.
bool Fail(const char* message, const std::wstring& detail = std::wstring());

// Prints "quillctl: warning: MESSAGE" to standard error.
void Warn(const std::wstring& message);

// Reads a number of seconds (fractions allowed, at most a day) as milliseconds.
bool ParseSeconds(const std::wstring& text, DWORD* milliseconds);

// Reads a time as [[h:]m:]s, the seconds with an optional fraction, as milliseconds.
bool ParseClock(const std::wstring& text, double* milliseconds);

// Reads a whole unsigned decimal number.
bool ParseNumber(const std::wstring& text, unsigned long long* value);

// A window handle as the decimal number the host's command line takes.
std::wstring HandleText(HWND window);

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
