#include "player/output_stream.h"

#include <cstdlib>
#ifndef _WIN32
#include <time.h>
#endif

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "player/instrument.h"
#include "player/jump.h"
#include "player/render_stream.h"
#include "player/song_commands.h"

void ReleaseOutputStream(PlayerState* state) {
    const HSTREAM stream = state->outputStream.exchange(0);
    WaitForRenderCalls(state);
    if (stream != 0) {
        BASS_StreamFree(stream);
    }
}

HSTREAM StartOutputStream(PlayerState* state, DWORD nextEvent, QWORD bytes, const Jump* jump) {
    state->playback.nextEvent.store(nextEvent, std::memory_order_relaxed);
    state->playback.renderedBytes.store(bytes, std::memory_order_relaxed);
    state->playback.replaySent.store(0, std::memory_order_relaxed);
    state->playback.replay.store(jump, std::memory_order_relaxed);
    ForgetSoundingNotes(&state->playback.track); // the new stream starts with a release
    state->playback.streamGeneration.fetch_add(1, std::memory_order_relaxed);
    ResendScaledVolumes(&state->playback.controls);
    state->playback.passesDone.store(0, std::memory_order_relaxed);
    state->playback.regionDone.store(false);
    const LoopRegion* region = state->playback.region.load();
    state->playback.pastRegion.store(region != nullptr && bytes >= region->endBytes);
    state->playback.streamBytes.store(0, std::memory_order_relaxed);
    state->playback.turnStreamBytes.store(0, std::memory_order_relaxed);
    state->playback.turnFromBytes.store(0, std::memory_order_relaxed);
    state->playing = false;
    state->paused = false;
    const HSTREAM stream =
        BASS_StreamCreate(kSampleRate, kChannels, kFloatLoopStream, RenderProc, state);
    state->outputStream.store(stream);
    if (stream != 0 && state->deviceFailProc != nullptr) {
        BASS_ChannelSetSync(stream, kSyncDevFail, 0, state->deviceFailProc, state);
    }
    if (jump == nullptr) {
        ResetInstrumentChannels(state->playback.instrument.load(std::memory_order_relaxed));
    }
    if (stream != 0 && state->volumeSet && Further().channelSetAttribute != nullptr) {
        Further().channelSetAttribute(stream, kAttribVolume, state->volume);
    }
    return stream;
}

void ArmOutputStream(PlayerState* state, HSTREAM stream) {
    state->playing = true;
    state->paused = false;
    DWORD loopStart = 0;
    state->loopEnd = ReadLoopTags(BASS_ChannelGetTags(stream, kTagsOgg), &loopStart);
    state->loopStart.store(loopStart);
    if (state->loopEnd != 0) {
        BASS_ChannelSetSync(stream, kSyncPosMixtime, state->loopEnd, LoopSyncProc, state);
    } else {
        BASS_ChannelSetSync(stream, kSyncEndMixtime, 0, LoopSyncProc, state);
    }
}

void ReleaseLoopRegion(PlayerState* state) {
    LoopRegion* old = const_cast<LoopRegion*>(state->playback.region.exchange(nullptr));
    if (old == nullptr) {
        return;
    }
    // A render call that read the region may still start a pass; once none is in
    // progress no call can store the pass's jump again, and once the jump is taken
    // back none can be sending it.
    WaitForRenderCalls(state);
    const Jump* start = old->start;
    state->playback.replay.compare_exchange_strong(start, nullptr);
    WaitForRenderCalls(state);
    FreeLoopRegion(old);
}

void ReleaseSeekJump(PlayerState* state) {
    const Jump* jump = state->seekJump;
    state->playback.replay.compare_exchange_strong(jump, nullptr);
    std::free(state->seekJump);
    state->seekJump = nullptr;
}

uint64_t MonotonicMs() {
#ifdef _WIN32
    return GetTickCount64(); // the C++ clocks would bring in much of the runtime
#else
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
#endif
}

void ForgetFade(PlayerState* state) {
    state->fadeEnd = FadeEnd::None;
    state->fadeUntilMs = 0;
}

bool FadeRunning(const PlayerState* state) {
    return state->fadeUntilMs > MonotonicMs();
}

float StreamVolumeNow(PlayerState* state, HSTREAM stream) {
    const float set = state->volumeSet ? state->volume : 1.0f;
    float volume = set;
    const FurtherFunctions& further = Further();
    if (stream != 0 && further.channelGetAttribute != nullptr &&
        further.channelGetAttribute(stream, kAttribVolume, &volume) == 0) {
        volume = set;
    }
    return volume;
}

void GoOnWithFade(const PlayerState* state, HSTREAM stream, float from) {
    const FurtherFunctions& further = Further();
    const uint64_t now = MonotonicMs();
    if (stream == 0 || state->fadeUntilMs <= now || further.channelSetAttribute == nullptr ||
        further.channelSlideAttribute == nullptr) {
        return;
    }
    further.channelSetAttribute(stream, kAttribVolume, from);
    further.channelSlideAttribute(stream, kAttribVolume, state->fadeTarget,
                                  static_cast<DWORD>(state->fadeUntilMs - now));
}
