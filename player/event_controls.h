// The controller's settings for the song's events: the speed, the key, and per channel
// mute, solo and volume. The user-interface thread sets them; the render call applies
// them to each event it sends and keeps what it needs to end every note right.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/audio_constants.h"
#include "audio/bass_types.h"

constexpr uint32_t kSpeedScale = 1000; // speeds and volumes are kept in thousandths
constexpr uint32_t kSlowestSpeed = 250;
constexpr uint32_t kFastestSpeed = 4000;
constexpr int32_t kWidestTranspose = 24;
constexpr uint32_t kDrumChannel = 9;
constexpr uint32_t kAllChannels = 0xFFFF;
// Transposed unless the controller chooses otherwise: every channel but the drums.
constexpr uint32_t kTunedChannels = kAllChannels & ~(1u << kDrumChannel);

struct EventControls {
    std::atomic<uint32_t> speed;      // thousandths of the song's own tempo
    std::atomic<int32_t> speedStep;   // added at each turn of a loop region
    std::atomic<uint32_t> speedLimit; // where the steps stop
    std::atomic<int32_t> transpose;   // semitones
    std::atomic<uint32_t> transposed; // the channels transposed, a bit each
    std::atomic<uint32_t> muted;      // the controller's mutes
    std::atomic<uint32_t> soloed;     // the controller's solos: every other channel is muted
    std::atomic<uint32_t> volume[kMidiChannels]; // thousandths of the song's own volume
    std::atomic<uint32_t> volumeToSend;          // channels whose volume changed since
    std::atomic<bool> active;                    // any setting differs from its default
};

// What the render call keeps about the events it sent under the controls. Only the
// thread that renders touches it, and the user-interface thread while no render call
// can run (a new stream, a render's start).
struct EventTrack {
    int8_t sentKey[kMidiChannels][128]; // the key each sounding note went with; kOwnKey
    uint32_t remapped;                  // sounding notes not on their own key (or dropped)
    uint32_t released;                  // the channels muted, as last released
    uint8_t songVolume[kMidiChannels];  // the song's own volume controller
    uint32_t frameShare;                // thousandths of a song frame past the cursor
};

constexpr int8_t kOwnKey = -1;  // the note went (or goes) with its own key
constexpr int8_t kDropped = -2; // shifted out of range: neither it nor its release goes

void InitEventControls(EventControls* controls);
// Copies the settings (a render to a file takes playback's).
void CopyEventControls(EventControls* to, const EventControls* from);
// Nothing sounding, nothing muted yet, the song's volumes at their default.
void ResetEventTrack(EventTrack* track);
// At a jump, which releases every note: none is remapped any longer, and the song's
// clock starts on a whole frame.
void ForgetSoundingNotes(EventTrack* track);
// After a jump, whose replay resets every channel: the scaled volumes are sent again,
// also on channels whose volume the song never sets.
void ResendScaledVolumes(EventControls* controls);
// The channels whose notes are not to sound.
uint32_t MutedChannels(const EventControls* controls);

// Whether the render call must go through the controls: a setting differs from its
// default, or something it changed still waits to be undone (a note's shifted release,
// a channel's release or volume).
inline bool ControlsInEffect(const EventControls* controls, const EventTrack* track) {
    return controls->active.load(std::memory_order_relaxed) || track->remapped != 0 ||
           track->released != 0 || controls->volumeToSend.load(std::memory_order_relaxed) != 0;
}

// The song's own volume scaled by the controller's, rounded.
uint32_t ScaledVolume(uint32_t songVolume, uint32_t thousandths);

// The render side: sends one song event to the instrument through the controls, or
// drops it. FALSE when the library refused it.
BOOL SendControlledEvent(EventTrack* track, const EventControls* controls, DWORD instrument,
                         DWORD chan, DWORD event, DWORD param);
// The events the settings' changes call for: a newly muted channel's notes released
// (pedal up, then every key), a changed volume sent. At most `budget` events; false
// when some must wait for the next processing call.
bool SendControlChanges(EventTrack* track, EventControls* controls, DWORD instrument,
                        uint32_t budget);

// Song time: the output frames it takes to advance the song by `songFrames` from a
// cursor `share` thousandths of a frame past its frame, at `speed`; and the song frames
// `outputFrames` advance it by, keeping the new share.
uint64_t OutputFramesFor(uint64_t songFrames, uint32_t share, uint32_t speed);
uint64_t SongFramesFor(uint64_t outputFrames, uint32_t* share, uint32_t speed);
