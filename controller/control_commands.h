// quillctl's player controls: pause, resume, volume, seek, position, length, loop,
// status and capabilities, each a call of the client library.
#pragma once

#include "controller/arguments.h"
#include "controller/session.h"

// Says what went wrong with a command; false when the host has ended, which ends the
// session.
bool Report(QbResult result, const QbError& error);

template <QbResult (*Call)(QbHost*, QbError*)> bool Simple(Session* session, const Arguments&) {
    QbError error = {};
    return Report(Call(session->host, &error), error);
}

// Read before the host starts; each says what is wrong.
bool ReadVolume(Arguments* args);
bool ReadTime(Arguments* args);
bool ReadLoop(Arguments* args);
// "[PASSES]"; and one word of passes.
bool ReadPasses(Arguments* args);
bool ReadPassesWord(const std::wstring& word, Arguments* args);

bool Volume(Session* session, const Arguments& args);
bool Seek(Session* session, const Arguments& args);
bool Position(Session* session, const Arguments& args);
bool Length(Session* session, const Arguments& args);
bool Loop(Session* session, const Arguments& args);
bool Status(Session* session, const Arguments& args);
bool Capabilities(Session* session, const Arguments& args);
