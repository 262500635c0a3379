// quillctl's commands: given on its command line or read from standard input.
#pragma once

#include <string>
#include <vector>

#include "session.h"

// Runs the words of the command line as commands with their arguments.
bool RunCommandLineCommands(Session* session, const std::vector<std::wstring>& words);

// Runs commands read line by line: the command, then its arguments separated by
// spaces, the last taking the rest of the line (so paths may hold spaces).
bool RunStandardInputCommands(Session* session);
