#include "player/instrument.h"

#include "audio/audio_constants.h"

DWORD UnpublishInstrument(PlayerState* state) {
    const DWORD old = state->playback.instrument.exchange(0);
    WaitForRenderCalls(state);
    state->instrumentInfo = BASS_VST_INFO();
    state->instrumentDescribed = false;
    return old;
}

DWORD LoadInstrument(PlayerState* state, const wchar_t* path) {
    state->playback.pluginLoaded.store(1);
    if (path == nullptr) {
        return 0;
    }
    const DWORD instrument =
        BASS_VST_ChannelCreate(kSampleRate, kChannels, path, kDecodeFloatUnicode);
    state->playback.instrument.store(instrument);
    state->instrumentDescribed = DescribeInstrument(instrument, &state->instrumentInfo);
    return instrument;
}

DWORD ReplaceInstrument(PlayerState* state, const wchar_t* path) {
    BASS_VST_ChannelFree(UnpublishInstrument(state));
    return LoadInstrument(state, path);
}

void ResetInstrumentChannels(DWORD instrument) {
    for (DWORD channel = 0; channel < kMidiChannels; ++channel) {
        BASS_VST_ProcessEvent(instrument, channel, kEventSustain, 0);
        BASS_VST_ProcessEvent(instrument, channel, kEventAllNotesOff, 0);
        BASS_VST_ProcessEvent(instrument, channel, kEventResetControllers, 0);
    }
}

bool DescribeInstrument(DWORD instrument, BASS_VST_INFO* info) {
    // The library leaves the record untouched when it cannot answer.
    *info = BASS_VST_INFO();
    return instrument != 0 && BASS_VST_GetInfo(instrument, info) != 0;
}
