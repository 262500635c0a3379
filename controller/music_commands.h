// quillctl's settings for the song's events (speed, transpose, mute and solo, channel
// volumes, clearing and showing them) and its musical time (the song's marks, the bar
// and beat heard, a seek to a bar), each a call of the client library.
#pragma once

#include "controller/arguments.h"
#include "controller/session.h"

// Read before the host starts; each says what is wrong.
bool ReadSpeed(Arguments* args);
bool ReadTranspose(Arguments* args);
bool ReadChannel(Arguments* args);
bool ReadChannelVolume(Arguments* args);
bool ReadControlGroups(Arguments* args);
bool ReadBarBeat(Arguments* args);
bool ReadWatch(Arguments* args);

bool Speed(Session* session, const Arguments& args);
bool Transpose(Session* session, const Arguments& args);
bool Mute(Session* session, const Arguments& args);
bool Unmute(Session* session, const Arguments& args);
bool Solo(Session* session, const Arguments& args);
bool Unsolo(Session* session, const Arguments& args);
bool ChannelVolume(Session* session, const Arguments& args);
bool ClearControls(Session* session, const Arguments& args);
bool Controls(Session* session, const Arguments& args);
bool AtSpeed(Session* session, const Arguments& args);
bool Marks(Session* session, const Arguments& args);
bool BarPosition(Session* session, const Arguments& args);
bool SeekBar(Session* session, const Arguments& args);
bool LoopOnMarkers(Session* session, const Arguments& args);
bool Watch(Session* session, const Arguments& args);
