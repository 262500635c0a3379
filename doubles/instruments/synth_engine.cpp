#include "doubles/instruments/synth_engine.h"

#include <cmath>

#include "doubles/standin/library_constants.h"

namespace {

constexpr uint32_t kPedalThreshold = 64;
constexpr double kHalfLifeSeconds = 0.7;
constexpr double kReleaseSeconds = 0.03;
constexpr float kVoiceGain = 0.2f;
constexpr double kTwoPi = 6.283185307179586;

} // namespace

SynthEngine::SynthEngine(uint32_t sampleRate)
    : sampleRate_(sampleRate),
      decayPerFrame_(static_cast<float>(std::pow(0.5, 1.0 / (kHalfLifeSeconds * sampleRate)))),
      voices_(), pedalDown_(), soundingKeys_(), keyChanges_(0) {
    for (float& volume : channelVolume_) {
        volume = 1.0f;
    }
}

void SynthEngine::Event(uint32_t channel, uint32_t event, uint32_t param) {
    if (channel >= 16) {
        return;
    }
    switch (event) {
    case kEventNote:
        if ((param >> 8 & 0x7F) != 0) {
            NoteOn(channel, param & 0x7F, param >> 8 & 0x7F);
        } else {
            NoteOff(channel, param & 0x7F);
        }
        break;
    case kEventVolume:
        channelVolume_[channel] = static_cast<float>(param & 0x7F) / 127.0f;
        break;
    case kEventSustain:
        if (param >= kPedalThreshold) {
            pedalDown_[channel] = true;
        } else {
            PedalUp(channel);
        }
        break;
    case kEventResetControllers:
        PedalUp(channel);
        channelVolume_[channel] = 1.0f;
        break;
    case kEventAllNotesOff:
        for (Voice& voice : voices_) {
            if (voice.state != VoiceState::Free && voice.channel == channel) {
                Release(&voice);
            }
        }
        break;
    case kEventSoundOff:
        for (Voice& voice : voices_) {
            if (voice.channel == channel) {
                voice.state = VoiceState::Free;
            }
        }
        break;
    default:
        break; // programs, bends and the rest do not change this sound
    }
    PublishKeys();
}

void SynthEngine::NoteOn(uint32_t channel, uint32_t key, uint32_t velocity) {
    // A free voice, else the quietest one.
    Voice* chosen = &voices_[0];
    for (Voice& voice : voices_) {
        if (voice.state == VoiceState::Free) {
            chosen = &voice;
            break;
        }
        if (voice.level < chosen->level) {
            chosen = &voice;
        }
    }
    const double frequency =
        440.0 * std::pow(2.0, (static_cast<double>(key) + transpose_ - 69.0) / 12.0);
    *chosen =
        Voice{VoiceState::Held,
              static_cast<uint8_t>(channel),
              static_cast<uint8_t>(key),
              0.0,
              frequency / sampleRate_,
              level_ * kVoiceGain * static_cast<float>(velocity) / 127.0f * channelVolume_[channel],
              0.0f};
}

void SynthEngine::SetTone(float level, int transpose) {
    level_ = level;
    transpose_ = transpose;
}

void SynthEngine::NoteOff(uint32_t channel, uint32_t key) {
    for (Voice& voice : voices_) {
        if (voice.state == VoiceState::Held && voice.channel == channel && voice.key == key) {
            if (pedalDown_[channel]) {
                voice.state = VoiceState::Sustained;
            } else {
                Release(&voice);
            }
        }
    }
}

void SynthEngine::Release(Voice* voice) {
    voice->state = VoiceState::Releasing;
    voice->releaseStep = voice->level / static_cast<float>(kReleaseSeconds * sampleRate_);
}

void SynthEngine::PedalUp(uint32_t channel) {
    pedalDown_[channel] = false;
    for (Voice& voice : voices_) {
        if (voice.state == VoiceState::Sustained && voice.channel == channel) {
            Release(&voice);
        }
    }
}

void SynthEngine::Render(float* frames, uint32_t frameCount) {
    for (uint32_t i = 0; i < frameCount * 2; ++i) {
        frames[i] = 0.0f;
    }
    bool ended = false;
    for (Voice& voice : voices_) {
        if (voice.state == VoiceState::Free) {
            continue;
        }
        float* out = frames;
        for (uint32_t frame = 0; frame < frameCount; ++frame, out += 2) {
            const float sample = voice.level * static_cast<float>(std::sin(kTwoPi * voice.phase));
            out[0] += sample;
            out[1] += sample;
            voice.phase += voice.increment;
            if (voice.phase >= 1.0) {
                voice.phase -= 1.0;
            }
            if (voice.state == VoiceState::Releasing) {
                voice.level -= voice.releaseStep;
                if (voice.level <= 0.0f) {
                    voice.state = VoiceState::Free;
                    ended = true;
                    break;
                }
            } else {
                voice.level *= decayPerFrame_;
            }
        }
    }
    if (ended) {
        PublishKeys();
    }
}

bool SynthEngine::KeySounds(uint32_t key) const {
    return key < 128 &&
           (soundingKeys_[key / 32].load(std::memory_order_relaxed) >> (key % 32) & 1) != 0;
}

void SynthEngine::PublishKeys() {
    uint32_t keys[4] = {};
    for (const Voice& voice : voices_) {
        if (voice.state != VoiceState::Free) {
            keys[voice.key / 32] |= 1u << (voice.key % 32);
        }
    }
    bool changed = false;
    for (int word = 0; word < 4; ++word) {
        changed =
            soundingKeys_[word].exchange(keys[word], std::memory_order_relaxed) != keys[word] ||
            changed;
    }
    if (changed) {
        keyChanges_.fetch_add(1, std::memory_order_relaxed);
    }
}
