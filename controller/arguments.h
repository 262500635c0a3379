// One quillctl command's arguments: the words as given, and what its check read from
// them, so nothing is parsed twice.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "client/quillbrook_client.h"

struct Arguments {
    std::vector<std::wstring> words;
    ULONG_PTR code = 0;           // send, send-text, send-bytes, send-null
    DWORD milliseconds = 0;       // wait, the fade of volume
    unsigned long long bytes = 0; // send-bytes
    double volume = 0;            // volume
    double startMs = 0;           // seek, loop
    double endMs = -1;            // loop: negative for the song's end
    unsigned long passes = 0;     // loop
    QbFadeEnd fadeEnd = QB_FADE_END_NONE;
    long index = 0;                  // program, param
    double value = 0;                // param
    std::vector<unsigned char> midi; // midi
    QbRenderOptions render = {};     // render
    double speed = 1;                // speed
    double speedStep = 0;            // speed
    double speedLimit = 0;           // speed
    int semitones = 0;               // transpose
    unsigned channels = 0;           // transpose (0: the default), mute, solo: a mask
    int channel = 0;                 // channel-volume
    unsigned groups = 0;             // clear-controls
    QbBarBeat bar = {1, 1, 0};       // seek-bar
    unsigned kinds = 0;              // watch
    int offsetMs = 0;                // watch
};
