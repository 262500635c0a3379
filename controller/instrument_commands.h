// quillctl's instrument commands: state files, programs, parameters, live MIDI and the
// versions, each a call of the client library.
#pragma once

#include "controller/arguments.h"
#include "controller/session.h"

// The bytes a midi command takes beyond its first.
constexpr size_t kMidiMoreBytes = 340;

// Read before the host starts; each says what is wrong.
bool ReadIndex(Arguments* args);
bool ReadParam(Arguments* args);
bool ReadMidi(Arguments* args);

bool PluginWithState(Session* session, const Arguments& args);
bool SaveState(Session* session, const Arguments& args);
bool LoadState(Session* session, const Arguments& args);
bool Programs(Session* session, const Arguments& args);
bool Program(Session* session, const Arguments& args);
bool Params(Session* session, const Arguments& args);
bool Param(Session* session, const Arguments& args);
bool Midi(Session* session, const Arguments& args);
bool Info(Session* session, const Arguments& args);
