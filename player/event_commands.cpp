#include "player/event_commands.h"

#include <cmath>
#include <cwchar>

#include "player/transport.h"
#include "protocol/quillbrook_protocol.h"

namespace {

constexpr double kMaxSpeedStep = 4;
constexpr DWORD kSongVolumeDefault = 100;

bool Within(double value, double low, double high) {
    return value >= low && value <= high; // false for NaN
}

bool WholeWithin(double value, double low, double high) {
    return Within(value, low, high) && value == std::floor(value);
}

uint32_t Thousandths(double value) {
    return static_cast<uint32_t>(std::lround(value * kSpeedScale));
}

void UpdateActive(EventControls* controls) {
    bool any = controls->speed.load() != kSpeedScale || controls->speedStep.load() != 0 ||
               controls->transpose.load() != 0 || controls->muted.load() != 0 ||
               controls->soloed.load() != 0;
    for (const std::atomic<uint32_t>& volume : controls->volume) {
        any = any || volume.load() != kSpeedScale;
    }
    controls->active.store(any);
}

// The song's own volume on each channel where the cursor stands, for the render call
// to scale from now on: the last volume event before the cursor, or the default. Run
// inside the gate, so no render call is moving the cursor or reading the record.
void TrackSongVolumes(PlayerState* state) {
    Playback* playback = &state->playback;
    uint8_t* volumes = playback->track.songVolume;
    uint32_t found = 0;
    const EventTable* table = playback->events.load();
    DWORD index = table != nullptr ? playback->nextEvent.load() : 0;
    if (table != nullptr && index > table->eventCount) {
        index = table->eventCount;
    }
    for (; index > 0 && found != kAllChannels; --index) {
        const SongEvent& event = table->records[index - 1];
        const uint32_t bit = 1u << (event.chan & 31);
        if (event.event == kEventVolume && event.chan < kMidiChannels && (found & bit) == 0) {
            volumes[event.chan] = static_cast<uint8_t>(event.param < 128 ? event.param : 127);
            found |= bit;
        }
    }
    for (DWORD chan = 0; chan < kMidiChannels; ++chan) {
        if ((found & 1u << chan) == 0) {
            volumes[chan] = kSongVolumeDefault;
        }
    }
}

// Sets the channels of `mask` to `thousandths` and has the render call send the
// volumes that change.
void SetVolumes(PlayerState* state, uint32_t mask, uint32_t thousandths) {
    EventControls* controls = &state->playback.controls;
    TrackSongVolumes(state);
    uint32_t changed = 0;
    for (DWORD chan = 0; chan < kMidiChannels; ++chan) {
        if ((mask & 1u << chan) != 0 &&
            controls->volume[chan].exchange(thousandths) != thousandths) {
            changed |= 1u << chan;
        }
    }
    controls->volumeToSend.fetch_or(changed);
}

} // namespace

int32_t SetSpeed(PlayerState* state, double speed, double step, double limit) {
    constexpr double kSlowest = double{kSlowestSpeed} / kSpeedScale;
    constexpr double kFastest = double{kFastestSpeed} / kSpeedScale;
    if (!Within(speed, kSlowest, kFastest) || !Within(step, -kMaxSpeedStep, kMaxSpeedStep) ||
        (step != 0 && !Within(limit, kSlowest, kFastest))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    EventControls* controls = &state->playback.controls;
    const uint32_t thousandths = Thousandths(speed);
    controls->speedStep.store(static_cast<int32_t>(std::lround(step * kSpeedScale)));
    controls->speedLimit.store(step != 0 ? Thousandths(limit) : thousandths);
    controls->speed.store(thousandths);
    UpdateActive(controls);
    return static_cast<int32_t>(thousandths);
}

int32_t SetTranspose(PlayerState* state, double semitones, double channels) {
    if (!WholeWithin(semitones, -kWidestTranspose, kWidestTranspose) ||
        !WholeWithin(channels, 1, kAllChannels)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    EventControls* controls = &state->playback.controls;
    controls->transposed.store(static_cast<uint32_t>(channels));
    controls->transpose.store(static_cast<int32_t>(semitones));
    UpdateActive(controls);
    return 0;
}

int32_t SetChannelMutes(PlayerState* state, double muted, double soloed) {
    if (!WholeWithin(muted, 0, kAllChannels) || !WholeWithin(soloed, 0, kAllChannels)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    EventControls* controls = &state->playback.controls;
    controls->muted.store(static_cast<uint32_t>(muted));
    controls->soloed.store(static_cast<uint32_t>(soloed));
    UpdateActive(controls);
    return 0;
}

int32_t SetChannelVolume(PlayerState* state, double channel, double volume) {
    if (!WholeWithin(channel, 0, kMidiChannels) || !Within(volume, 0, 1)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    const uint32_t mask = channel == 0 ? kAllChannels : 1u << (static_cast<uint32_t>(channel) - 1);
    const uint32_t thousandths = Thousandths(volume);
    SetVolumes(state, mask, thousandths);
    UpdateActive(&state->playback.controls);
    return static_cast<int32_t>(thousandths);
}

int32_t ClearEventControls(PlayerState* state, uint32_t which) {
    EventControls* controls = &state->playback.controls;
    if ((which & kControlSpeed) != 0) {
        controls->speedStep.store(0);
        controls->speedLimit.store(kSpeedScale);
        controls->speed.store(kSpeedScale);
    }
    if ((which & kControlKey) != 0) {
        controls->transpose.store(0);
        controls->transposed.store(kTunedChannels);
    }
    if ((which & kControlChannels) != 0) {
        controls->muted.store(0);
        controls->soloed.store(0);
    }
    if ((which & kControlVolumes) != 0) {
        SetVolumes(state, kAllChannels, kSpeedScale);
    }
    UpdateActive(controls);
    return 0;
}

int32_t DescribeEventControls(const PlayerState* state, wchar_t* text, size_t chars) {
    const EventControls& controls = state->playback.controls;
    int written = std::swprintf(
        text, chars, L"%u\t%d\t%u\t%d\t%04X\t%04X\t%04X\t", controls.speed.load(),
        controls.speedStep.load(), controls.speedLimit.load(), controls.transpose.load(),
        controls.transposed.load(), controls.muted.load(), controls.soloed.load());
    for (DWORD chan = 0; chan < kMidiChannels && written > 0; ++chan) {
        const int more = std::swprintf(text + written, chars - static_cast<size_t>(written),
                                       chan == 0 ? L"%u" : L",%u", controls.volume[chan].load());
        written = more < 0 ? -1 : written + more;
    }
    if (written < 0) {
        text[0] = L'\0';
    }
    return static_cast<int32_t>(controls.speed.load());
}

int32_t MsAtSpeed(PlayerState* state, bool length) {
    const int32_t ms = length ? SongLengthMs(state) : PositionMs(state);
    if (ms < 0) {
        return ms;
    }
    const uint32_t speed = state->playback.controls.speed.load();
    return static_cast<int32_t>(std::lround(static_cast<double>(ms) * kSpeedScale / speed));
}

void EventControlsForNewSong(PlayerState* state) {
    EventControls* controls = &state->playback.controls;
    controls->muted.store(0);
    controls->soloed.store(0);
    for (std::atomic<uint32_t>& volume : controls->volume) {
        volume.store(kSpeedScale);
    }
    controls->volumeToSend.store(0);
    ResetEventTrack(&state->playback.track);
    UpdateActive(controls);
}
