// Checks quillctl makes of the files it is about to send, because the host's reports
// cannot tell that a load failed: a song report repeats the path whatever happened,
// and the editor report says "FALSE" both for no editor and for no plug-in.
#pragma once

#include <string>

// A warning a person can act on, or empty when the file looks like a Standard MIDI File.
std::wstring CheckSongFile(const std::wstring& path);

// A warning, or empty when the file is a plug-in library of `hostWidth` bits (0: any).
std::wstring CheckPluginFile(const std::wstring& path, int hostWidth);
