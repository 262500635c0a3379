// quillctl's commands: given on its command line or read from standard input.
#pragma once

#include <string>
#include <vector>

#include "session.h"

// Checks the words of the command line as commands with their arguments, saying what
// is wrong, so a typo is found before the host starts.
bool CheckCommandWords(const std::vector<std::wstring>& words);

// The path of the first "plugin" command among the words, or empty.
std::wstring FirstPluginPath(const std::vector<std::wstring>& words);

// Whether the words end the host themselves (quit, close, kill-parent).
bool NamesQuit(const std::vector<std::wstring>& words);

// Runs the words of the command line as commands with their arguments; stops early
// when the host ends. False when the words are wrong.
bool RunCommandLineCommands(Session* session, const std::vector<std::wstring>& words);

// Runs commands read line by line: the command, then its arguments separated by
// spaces, the last taking the rest of the line (so paths may hold spaces). A wrong
// line is said and passed over.
void RunStandardInputCommands(Session* session);
