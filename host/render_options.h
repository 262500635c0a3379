// Reading the render command's payload: the file's path, then optionally '|' (which no
// Windows path holds) and option words separated by spaces: "passes=N", "tail=MS" or
// "tail=silence", "pcm16" or "float", "realtime" or "fast". Portable, so it is
// unit-tested and fuzzed natively.
#pragma once

#include "player/song_render.h"
#include "player/wav_encoder.h"
#include "protocol/quillbrook_protocol.h"

constexpr uint32_t kRenderLongestTailMs = 600000;

struct RenderRequest {
    wchar_t path[QB_PAYLOAD_CHARS];
    RenderSettings settings;
    WavFormat format;
};

// Fills `request` from `payload`; false when the path is empty or too long, or an
// option is unknown or out of its range.
bool ParseRenderPayload(const wchar_t* payload, RenderRequest* request);
