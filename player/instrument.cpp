#include "player/instrument.h"

#include "audio/audio_constants.h"

DWORD UnpublishInstrument(PlayerState* state) {
    const DWORD old = state->instrument.exchange(0);
    WaitForRenderCalls(state);
    return old;
}

DWORD LoadInstrument(PlayerState* state, const wchar_t* path) {
    state->pluginLoaded.store(1);
    if (path == nullptr) {
        return 0;
    }
    const DWORD instrument =
        BASS_VST_ChannelCreate(kSampleRate, kChannels, path, kDecodeFloatUnicode);
    state->instrument.store(instrument);
    return instrument;
}

DWORD ReplaceInstrument(PlayerState* state, const wchar_t* path) {
    BASS_VST_ChannelFree(UnpublishInstrument(state));
    return LoadInstrument(state, path);
}
