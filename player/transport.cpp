#include "player/transport.h"

#include <cmath>
#include <cstdlib>

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "player/jump.h"
#include "player/output_stream.h"
#include "player/song_commands.h"
#include "protocol/quillbrook_protocol.h"

namespace {

int32_t RoundedMs(QWORD bytes) {
    return static_cast<int32_t>(std::lround(MsFromBytes(bytes)));
}

const EventTable* Song(const PlayerState* state) {
    const EventTable* table = state->playback.events.load(std::memory_order_acquire);
    return state->outputStream.load() != 0 ? table : nullptr;
}

DWORD ActiveState(HSTREAM stream) {
    const FurtherFunctions& further = Further();
    return further.channelIsActive != nullptr ? further.channelIsActive(stream) : kActivePlaying;
}

} // namespace

int32_t Capabilities() {
    const FurtherFunctions& further = Further();
    int32_t flags = QB_CAN_STATUS | QB_CAN_SEEK;
    if (further.channelPause != nullptr) {
        flags |= QB_CAN_PAUSE;
    }
    if (further.channelSetAttribute != nullptr && further.channelGetAttribute != nullptr) {
        flags |= QB_CAN_VOLUME;
        if (further.channelSlideAttribute != nullptr && further.channelIsSliding != nullptr) {
            flags |= QB_CAN_FADE;
        }
    }
    if (further.channelGetPosition != nullptr) {
        flags |= QB_CAN_POSITION;
    }
    return flags;
}

int32_t PlayerStatus(PlayerState* state) {
    if (Song(state) == nullptr) {
        return QB_STATUS_NO_SONG;
    }
    if (!state->playing) {
        return QB_STATUS_LOADED;
    }
    if (state->paused) {
        return QB_STATUS_PAUSED;
    }
    switch (ActiveState(state->outputStream.load())) {
    case kActiveStopped:
        return QB_STATUS_LOADED; // played to a loop region's end
    case kActivePaused:
        return QB_STATUS_PAUSED;
    case kActivePausedDevice:
        return QB_STATUS_DEVICE_PAUSED;
    default:
        return QB_STATUS_PLAYING;
    }
}

int32_t Pause(PlayerState* state) {
    const FurtherFunctions& further = Further();
    if (further.channelPause == nullptr) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    const HSTREAM stream = state->outputStream.load();
    if (Song(state) == nullptr || !state->playing || state->paused ||
        PlayerStatus(state) != QB_STATUS_PLAYING) {
        return QB_FAIL_NOT_PLAYING;
    }
    if (further.channelPause(stream) == 0) {
        return QB_FAIL_LIBRARY;
    }
    state->paused = true;
    return 0;
}

int32_t Resume(PlayerState* state) {
    const int32_t status = PlayerStatus(state);
    if (status != QB_STATUS_PAUSED && status != QB_STATUS_DEVICE_PAUSED) {
        return QB_FAIL_NOT_PLAYING;
    }
    if (BASS_ChannelPlay(state->outputStream.load(), 0) == 0) {
        return QB_FAIL_LIBRARY;
    }
    state->paused = false;
    return 0;
}

int32_t SetVolume(PlayerState* state, double volume, double ms, FadeEnd end,
                  uint32_t* checkAfterMs) {
    *checkAfterMs = 0;
    const FurtherFunctions& further = Further();
    const bool fade = ms >= 1;
    if (further.channelSetAttribute == nullptr ||
        (fade &&
         (further.channelSlideAttribute == nullptr || further.channelIsSliding == nullptr))) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    if (!(volume >= 0 && volume <= 1) || !(ms >= 0 && ms <= 0x7FFFFFFF)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    // A fade that ends in a pause or a stop is a transition of this stream, not a
    // setting: this stream once it has paused or stopped, and every later one, have the
    // volume from before the fade.
    const auto target = static_cast<float>(volume);
    if (end == FadeEnd::None) {
        state->volume = target;
        state->volumeSet = true;
    }
    state->fadeEnd = FadeEnd::None;
    state->fadeTarget = target;
    state->fadeUntilMs = fade ? MonotonicMs() + static_cast<uint64_t>(ms) : 0;
    const HSTREAM stream = state->outputStream.load();
    if (stream != 0) {
        const BOOL set = fade ? further.channelSlideAttribute(stream, kAttribVolume, target,
                                                              static_cast<DWORD>(ms))
                              : further.channelSetAttribute(stream, kAttribVolume, target);
        if (set == 0) {
            return QB_FAIL_LIBRARY;
        }
    }
    state->fadeEnd = end;
    if (fade && end != FadeEnd::None) {
        *checkAfterMs = static_cast<uint32_t>(ms);
    } else {
        FinishFade(state);
    }
    return 0;
}

bool FinishFade(PlayerState* state) {
    const FurtherFunctions& further = Further();
    const HSTREAM stream = state->outputStream.load();
    if (stream != 0 && further.channelIsSliding != nullptr &&
        further.channelIsSliding(stream, kAttribVolume) != 0) {
        return false;
    }
    const FadeEnd end = state->fadeEnd;
    state->fadeEnd = FadeEnd::None;
    if (end == FadeEnd::Pause && PlayerStatus(state) == QB_STATUS_PLAYING) {
        Pause(state);
    } else if (end == FadeEnd::Stop) {
        Stop(state);
    }
    if (end != FadeEnd::None && stream != 0) {
        further.channelSetAttribute(stream, kAttribVolume, state->volumeSet ? state->volume : 1.0f);
    }
    return true;
}

int32_t VolumeNow(PlayerState* state) {
    const FurtherFunctions& further = Further();
    if (further.channelGetAttribute == nullptr) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    float volume = state->volume;
    const HSTREAM stream = state->outputStream.load();
    if (stream != 0 && further.channelGetAttribute(stream, kAttribVolume, &volume) == 0) {
        volume = state->volume;
    }
    return static_cast<int32_t>(std::lround(volume * 1000.0));
}

int32_t SongLengthMs(PlayerState* state) {
    const EventTable* table = Song(state);
    return table != nullptr ? RoundedMs(SongEndBytes(table)) : QB_FAIL_NO_SONG;
}

QWORD HeardSongBytes(QWORD cursor, DWORD lag, DWORD sinceTurn, QWORD turnFrom, uint32_t speed) {
    const auto songTime = [speed](QWORD outputBytes) {
        return outputBytes / kBytesPerFrame * speed / kSpeedScale * kBytesPerFrame;
    };
    if (lag <= sinceTurn) {
        const QWORD behind = songTime(lag);
        return cursor > behind ? cursor - behind : 0;
    }
    // The listener still hears the pass before the turn.
    const QWORD before = songTime(lag - sinceTurn);
    return turnFrom > before ? turnFrom - before : 0;
}

// The library's playing position trails its decoding position by what is buffered. A
// position reset at a loop turn may leave the library's playing position at 0 (or
// ahead of the decoding one) until the turn is heard; the lag measured before the turn
// holds meanwhile. Without the library's position (or while not playing) the rendered
// position is the answer.
HeardPoint HeardNow(PlayerState* state) {
    const QWORD cursor = state->playback.renderedBytes.load(std::memory_order_relaxed);
    const DWORD passes = state->playback.passesDone.load(std::memory_order_relaxed);
    HeardPoint point{cursor, passes};
    const FurtherFunctions& further = Further();
    if (further.channelGetPosition == nullptr || !state->playing) {
        return point;
    }
    const HSTREAM stream = state->outputStream.load();
    const QWORD played = further.channelGetPosition(stream, kPosByte);
    const QWORD decoded = further.channelGetPosition(stream, kPosByte | kPosDecode);
    if (played == kPositionError || decoded == kPositionError) {
        return point;
    }
    const bool turned = state->playback.turnStreamBytes.load(std::memory_order_relaxed) != 0;
    DWORD lag = decoded >= played ? static_cast<DWORD>(decoded - played) : 0;
    if (turned && (played == 0 || decoded < played) && state->lastLag != 0) {
        lag = state->lastLag;
    } else if (played != 0) {
        state->lastLag = lag;
    }
    const DWORD sinceTurn = state->playback.streamBytes.load(std::memory_order_relaxed) -
                            state->playback.turnStreamBytes.load(std::memory_order_relaxed);
    point.bytes = HeardSongBytes(cursor, lag, sinceTurn,
                                 state->playback.turnFromBytes.load(std::memory_order_relaxed),
                                 state->playback.controls.speed.load(std::memory_order_relaxed));
    if (turned && lag > sinceTurn && point.passesDone != 0) {
        --point.passesDone; // the turn is not heard yet
    }
    return point;
}

int32_t PositionMs(PlayerState* state) {
    if (Further().channelGetPosition == nullptr) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    if (Song(state) == nullptr) {
        return QB_FAIL_NO_SONG;
    }
    return RoundedMs(HeardNow(state).bytes);
}

// A seek plays on a new stream, so nothing buffered from before it is heard after it,
// and the new stream's first render call sends the jump's replay before any event. A
// song that was playing plays on from the target, a paused or loaded one stays so.
namespace {

int32_t SeekBytes(PlayerState* state, QWORD asked) {
    const EventTable* table = Song(state);
    if (table == nullptr) {
        return QB_FAIL_NO_SONG;
    }
    const QWORD end = SongEndBytes(table);
    const QWORD bytes = asked < end ? asked : end;
    Jump* jump = BuildJump(table, bytes);
    if (jump == nullptr) {
        return QB_FAIL_LIBRARY;
    }
    // A song that has ended at its region's last pass is loaded, and stays so.
    const bool going = state->playing && !state->playback.regionDone.load();
    const bool playing = going && !state->paused;
    const bool paused = going && state->paused;
    const FadeEnd fadeEnd = state->fadeEnd;
    const bool fading = FadeRunning(state);
    const float heard = fading ? StreamVolumeNow(state, state->outputStream.load()) : 0.0f;
    ReleaseOutputStream(state);
    ReleaseSeekJump(state);
    const FurtherFunctions& further = Further();
    const DWORD instrument = state->playback.instrument.load();
    if (further.vstResume != nullptr && instrument != 0) {
        further.vstResume(instrument); // the plug-in clears its voices and delay lines
    }
    state->seekJump = jump;
    // Told only to a watch running now, not to one that starts later.
    state->playback.seekToTell.store(state->playback.watch.load() != nullptr,
                                     std::memory_order_relaxed);
    const HSTREAM stream = StartOutputStream(state, jump->event, jump->bytes, jump);
    if (stream == 0) {
        return QB_FAIL_LIBRARY;
    }
    if (fading) {
        GoOnWithFade(state, stream, heard);
    }
    if (playing || paused) {
        ArmOutputStream(state, stream);
        state->paused = paused;
        state->fadeEnd = fadeEnd;
        // A device that is gone leaves the stream paused by it, where it goes on
        // once the device returns.
        if (playing && BASS_ChannelPlay(stream, 1) == 0 &&
            ActiveState(stream) != kActivePausedDevice) {
            return QB_FAIL_LIBRARY;
        }
    }
    return RoundedMs(jump->bytes);
}

} // namespace

int32_t Seek(PlayerState* state, double ms) {
    if (Song(state) == nullptr) {
        return QB_FAIL_NO_SONG;
    }
    if (!(ms >= 0)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SeekBytes(state, BytesFromMs(ms));
}

int32_t SeekToPoint(PlayerState* state, const HeardPoint& point) {
    const int32_t reached = SeekBytes(state, point.bytes);
    if (reached >= 0 && !state->playback.pastRegion.load()) {
        state->playback.passesDone.store(point.passesDone, std::memory_order_relaxed);
    }
    return reached;
}

// The region is built before the old one goes, so a render call never meets a region
// half made; the old one is freed once no render call can read it.
int32_t SetLoopRegion(PlayerState* state, bool set, double startMs, double endMs, uint32_t passes) {
    if (set && !(startMs >= 0)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SetLoopRegionBytes(state, set, BytesFromMs(startMs),
                              endMs < 0 ? kSongEnd : BytesFromMs(endMs), passes);
}

int32_t SetLoopRegionBytes(PlayerState* state, bool set, QWORD startBytes, QWORD endBytes,
                           uint32_t passes) {
    const EventTable* table = Song(state);
    if (table == nullptr) {
        return QB_FAIL_NO_SONG;
    }
    LoopRegion* region = nullptr;
    if (set) {
        endBytes = endBytes == kSongEnd ? SongEndBytes(table) + kBytesPerFrame : endBytes;
        if (startBytes >= endBytes) {
            return QB_FAIL_BAD_PAYLOAD;
        }
        region = BuildLoopRegion(table, startBytes, endBytes, passes);
        if (region == nullptr) {
            return QB_FAIL_LIBRARY;
        }
    }
    ReleaseLoopRegion(state);
    state->playback.passesDone.store(0, std::memory_order_relaxed);
    state->playback.regionDone.store(false);
    state->playback.pastRegion.store(
        region != nullptr &&
        state->playback.renderedBytes.load(std::memory_order_relaxed) >= region->endBytes);
    state->playback.region.store(region, std::memory_order_release);
    return 0;
}
