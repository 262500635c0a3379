// How the host ends. Every way out (Quit, the main window closed, the controller gone,
// a crash) ends the process at once, without running any plug-in's shutdown code.
#pragma once

#include <windows.h>

// Ends the process now with `status`. TerminateProcess rather than ExitProcess: the
// user-interface thread may be stuck inside a plug-in, perhaps holding the loader lock
// that ExitProcess waits for, and a plug-in's detach code may hang or crash.
[[noreturn]] void EndHost(UINT status);

// Makes an unhandled exception on any thread end the process at once with the
// exception's code as its status, before a debugger or the system's error reporting
// can attach and hold it, and without a crash dialog. Call again after plug-in code
// has run: a plug-in may have put a handler of its own in place.
void EndHostOnCrash();

// Runs `run(context)` so that an exception it leaves unhandled ends the host too where
// the system would swallow it: 64-bit Windows, and Wine in both widths, catch exceptions
// in window procedures called for sent messages, and the host would go on after a
// plug-in had crashed half-way through a command. Exceptions the code handles itself
// are not seen.
void RunEndingOnCrash(void (*run)(void* context), void* context);
