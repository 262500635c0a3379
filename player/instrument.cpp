#include "instrument.h"

#include "../audio/audio_constants.h"

DWORD ReplaceInstrument(PlayerState* state, const wchar_t* path) {
    // The mixing thread sees no instrument while the old one is unloaded and the new
    // one loads, and the old one is freed only once no render call can be pulling
    // from it or sending it an event.
    const DWORD old = state->instrument.exchange(0);
    WaitForRenderCalls(state);
    BASS_VST_ChannelFree(old);
    state->pluginLoaded.store(1);
    if (path == nullptr) {
        return 0;
    }
    const DWORD instrument =
        BASS_VST_ChannelCreate(kSampleRate, kChannels, path, kDecodeFloatUnicode);
    state->instrument.store(instrument);
    return instrument;
}
