// The sound of the test instruments: each note a sine tone at its key's pitch that
// fades while held and is released on note-off, honouring the sustain pedal, all notes
// off, all sound off and reset controllers. Deterministic, so tests can predict it.
// Portable, so it is unit-tested natively.
#pragma once

#include <atomic>
#include <cstdint>

class SynthEngine {
  public:
    explicit SynthEngine(uint32_t sampleRate);

    // One event in the numbering of the event records.
    void Event(uint32_t channel, uint32_t event, uint32_t param);
    // Writes `frameCount` interleaved stereo frames.
    void Render(float* frames, uint32_t frameCount);

    // The sound of the notes that start from now on: their level (1 as made) and a
    // shift of their pitch in semitones.
    void SetTone(float level, int transpose);

    // Whether any voice sounds `key` (0-127). Safe to call from any thread.
    bool KeySounds(uint32_t key) const;
    // Counts changes of the sounding keys, so an editor knows when to redraw.
    uint32_t KeyChanges() const { return keyChanges_.load(std::memory_order_relaxed); }

    static constexpr uint32_t kMaxVoices = 64;

  private:
    enum class VoiceState : uint8_t { Free, Held, Sustained, Releasing };
    struct Voice {
        VoiceState state;
        uint8_t channel;
        uint8_t key;
        double phase;     // in cycles
        double increment; // cycles per frame
        float level;
        float releaseStep;
    };

    void NoteOn(uint32_t channel, uint32_t key, uint32_t velocity);
    void NoteOff(uint32_t channel, uint32_t key);
    void Release(Voice* voice);
    void PedalUp(uint32_t channel);
    void PublishKeys();

    uint32_t sampleRate_;
    float decayPerFrame_;
    float level_ = 1.0f;
    int transpose_ = 0;
    Voice voices_[kMaxVoices];
    bool pedalDown_[16];
    float channelVolume_[16];
    std::atomic<uint32_t> soundingKeys_[4];
    std::atomic<uint32_t> keyChanges_;
};
