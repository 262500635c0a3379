#include "player/event_controls.h"

#include <cstring>

#include "audio/bass_api.h"

namespace {

constexpr DWORD kKeys = 128;
constexpr uint32_t kSongVolumeDefault = 100;
// A channel's release: its pedal up, then every key.
constexpr uint32_t kReleaseEvents = 1 + kKeys;

void ForgetKeys(EventTrack* track, DWORD chan) {
    for (int8_t& sent : track->sentKey[chan]) {
        if (sent != kOwnKey) {
            sent = kOwnKey;
            --track->remapped;
        }
    }
}

} // namespace

void InitEventControls(EventControls* controls) {
    controls->speed.store(kSpeedScale);
    controls->speedStep.store(0);
    controls->speedLimit.store(kSpeedScale);
    controls->transpose.store(0);
    controls->transposed.store(kTunedChannels);
    controls->muted.store(0);
    controls->soloed.store(0);
    for (std::atomic<uint32_t>& volume : controls->volume) {
        volume.store(kSpeedScale);
    }
    controls->volumeToSend.store(0);
    controls->active.store(false);
}

void CopyEventControls(EventControls* to, const EventControls* from) {
    to->speed.store(from->speed.load());
    to->speedStep.store(from->speedStep.load());
    to->speedLimit.store(from->speedLimit.load());
    to->transpose.store(from->transpose.load());
    to->transposed.store(from->transposed.load());
    to->muted.store(from->muted.load());
    to->soloed.store(from->soloed.load());
    for (DWORD chan = 0; chan < kMidiChannels; ++chan) {
        to->volume[chan].store(from->volume[chan].load());
    }
    to->volumeToSend.store(0);
    to->active.store(from->active.load());
}

void ResetEventTrack(EventTrack* track) {
    ForgetSoundingNotes(track);
    track->released = 0;
    std::memset(track->songVolume, kSongVolumeDefault, sizeof(track->songVolume));
}

void ForgetSoundingNotes(EventTrack* track) {
    std::memset(track->sentKey, kOwnKey, sizeof(track->sentKey));
    track->remapped = 0;
    track->frameShare = 0;
}

void ResendScaledVolumes(EventControls* controls) {
    uint32_t scaled = 0;
    for (DWORD chan = 0; chan < kMidiChannels; ++chan) {
        scaled |=
            controls->volume[chan].load(std::memory_order_relaxed) != kSpeedScale ? 1u << chan : 0;
    }
    if (scaled != 0) {
        controls->volumeToSend.fetch_or(scaled);
    }
}

uint32_t MutedChannels(const EventControls* controls) {
    const uint32_t soloed = controls->soloed.load(std::memory_order_relaxed);
    const uint32_t others = soloed != 0 ? kAllChannels & ~soloed : 0;
    return controls->muted.load(std::memory_order_relaxed) | others;
}

uint32_t ScaledVolume(uint32_t songVolume, uint32_t thousandths) {
    const uint32_t scaled = (songVolume * thousandths + kSpeedScale / 2) / kSpeedScale;
    return scaled < kKeys ? scaled : kKeys - 1;
}

BOOL SendControlledEvent(EventTrack* track, const EventControls* controls, DWORD instrument,
                         DWORD chan, DWORD event, DWORD param) {
    if (event == kEventNote) {
        const uint32_t bit = 1u << chan;
        if ((MutedChannels(controls) & bit) != 0) {
            return 1; // its notes were released when it was muted
        }
        const DWORD key = param & 0x7F;
        const DWORD velocity = param >> 8 & 0xFF;
        int8_t& sent = track->sentKey[chan][key];
        if (velocity == 0) {
            if (sent != kOwnKey) {
                const int8_t with = sent;
                sent = kOwnKey;
                --track->remapped;
                if (with == kDropped) {
                    return 1;
                }
                param = static_cast<uint8_t>(with);
            }
        } else {
            if (sent != kOwnKey) {
                // The key's earlier note, sounding under another, ends before this one.
                if (sent != kDropped) {
                    BASS_VST_ProcessEvent(instrument, chan, kEventNote, static_cast<uint8_t>(sent));
                }
                sent = kOwnKey;
                --track->remapped;
            }
            const int32_t shift = (controls->transposed.load(std::memory_order_relaxed) & bit) != 0
                                      ? controls->transpose.load(std::memory_order_relaxed)
                                      : 0;
            const int32_t to = static_cast<int32_t>(key) + shift;
            if (to < 0 || to >= static_cast<int32_t>(kKeys)) {
                sent = kDropped;
                ++track->remapped;
                return 1;
            }
            if (shift != 0) {
                sent = static_cast<int8_t>(to);
                ++track->remapped;
                param = static_cast<DWORD>(to) | velocity << 8;
            }
        }
    } else if (event == kEventVolume) {
        track->songVolume[chan] = static_cast<uint8_t>(param < kKeys ? param : kKeys - 1);
        param = ScaledVolume(track->songVolume[chan],
                             controls->volume[chan].load(std::memory_order_relaxed));
    }
    return BASS_VST_ProcessEvent(instrument, chan, event, param);
}

bool SendControlChanges(EventTrack* track, EventControls* controls, DWORD instrument,
                        uint32_t budget) {
    const uint32_t muted = MutedChannels(controls);
    track->released &= muted; // unmuted channels play their next notes
    for (uint32_t newly = muted & ~track->released; newly != 0; newly &= newly - 1) {
        if (budget < kReleaseEvents + kMidiChannels) {
            return false;
        }
        const auto chan = static_cast<DWORD>(__builtin_ctz(newly));
        BASS_VST_ProcessEvent(instrument, chan, kEventSustain, 0);
        for (DWORD key = 0; key < kKeys; ++key) {
            BASS_VST_ProcessEvent(instrument, chan, kEventNote, key);
        }
        ForgetKeys(track, chan);
        track->released |= 1u << chan;
        budget -= kReleaseEvents;
    }
    for (uint32_t changed = controls->volumeToSend.exchange(0); changed != 0;
         changed &= changed - 1) {
        const auto chan = static_cast<DWORD>(__builtin_ctz(changed));
        BASS_VST_ProcessEvent(instrument, chan, kEventVolume,
                              ScaledVolume(track->songVolume[chan], controls->volume[chan].load()));
    }
    return true;
}

uint64_t OutputFramesFor(uint64_t songFrames, uint32_t share, uint32_t speed) {
    const uint64_t wanted = songFrames * kSpeedScale;
    return wanted > share ? (wanted - share + speed - 1) / speed : 0;
}

uint64_t SongFramesFor(uint64_t outputFrames, uint32_t* share, uint32_t speed) {
    const uint64_t total = *share + outputFrames * speed;
    *share = static_cast<uint32_t>(total % kSpeedScale);
    return total / kSpeedScale;
}
