// Every command code the host knows, in one table: what runs it, what its payload is,
// whether it calls the audio libraries or the plug-in (and so runs inside the gate,
// `EnterGate`), and how it meets a render to a file. A new command is one handler and
// one row.
#pragma once

#include <windows.h>

#include <cstdint>

#include "host/payload_words.h"

// What a handler is given.
struct CommandCall {
    const wchar_t* payload; // the whole payload text; null when too long to act on
    PayloadWords words;     // its words, for a command that takes words
    const void* data;       // the payload as sent, for a report that repeats it
    uint32_t byteCount;
    size_t length; // of the whole payload text, also when too long to act on
    HWND sender;   // where a text answer goes
    wchar_t* text; // the text answer (QB_PAYLOAD_CHARS), sent when the answer is 0 or more
};

enum class PayloadKind : uint8_t {
    Words, // up to four words: numbers and keywords; other payloads are refused
    Whole, // a path or a list of bytes, taken whole
};

enum CommandFlag : uint8_t {
    kGated = 1,        // calls the libraries or the plug-in: runs inside the gate
    kDuringRender = 2, // an extension command that may run while a render is under way
    kEndsRender = 4,   // ends a render under way first
    kTextAnswer = 8,   // answers with a text as well
};

struct CommandEntry {
    uint32_t code;
    PayloadKind payload;
    uint8_t flags;
    LRESULT (*run)(CommandCall* call); // 0 or more on success, or a QB_FAIL_ code
};

// Appends `text`, in the code page `codePage`, to the call's text answer, cut to what fits.
void AppendAnswerText(CommandCall* call, UINT codePage, const char* text);

// The entry for `code`, or null for a code the host does not know.
const CommandEntry* FindCommand(uint64_t code);

// Ends a fade with its pause or stop once the volume has stopped sliding; false while
// it still slides. Run inside the gate.
bool FinishFadeCommand();
