// quillctl's commands: given on its command line or read from standard input.
#pragma once

#include <string>
#include <vector>

#include "controller/session.h"

// What quillctl needs to know of the command line's commands before it starts a host.
struct CommandWords {
    std::wstring firstPlugin; // the plug-in of the first "plugin" or "plugin-with-state", or empty
    bool endsHost = false;    // a command that ends the host is among them
};

// Checks the words of the command line as commands with their arguments, saying what
// is wrong, so a typo is found before the host starts; on success fills `read`.
bool ReadCommandWords(const std::vector<std::wstring>& words, CommandWords* read);

// Runs the words of the command line as commands with their arguments; stops early
// when the host ends. False when the words are wrong.
bool RunCommandLineCommands(Session* session, const std::vector<std::wstring>& words);

// Runs commands read line by line: the command, then its arguments separated by
// spaces, the last taking the rest of the line (so paths may hold spaces). A wrong
// line is said and passed over.
void RunStandardInputCommands(Session* session);

// Prints the commands, each with its arguments and what it does, from the one table
// that also reads and runs them: first those a controller would use, then those for
// testing a host.
void PrintCommandUsage();
