// Shared set-up for the player's unit tests: a fresh fake audio library, a player
// state, an instrument and a song whose events the test chooses.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "player/render_stream.h"
#include "player/song_commands.h"
#include "player/song_marks.h"
#include "doubles/fake_audio/fake_audio.h"

inline BASS_MIDI_EVENT Ev(DWORD type, DWORD param, DWORD chan, DWORD pos) {
    return BASS_MIDI_EVENT{type, param, chan, 0, pos};
}

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        InitPlayerState(&state, nullptr);
    }

    void TearDown() override {
        Stop(&state);
        FreeStream(&state);
        // A table whose stream could not be made waits for the next load; none comes.
        std::free(state.playback.events.exchange(nullptr));
        FreeSongMarks(state.songMarks);
        fake::Reset();
    }

    DWORD LoadInstrument() {
        const DWORD instrument = BASS_VST_ChannelCreate(48000, 2, L"synth.dll", 0x80200100);
        state.playback.instrument.store(instrument);
        state.playback.pluginLoaded.store(1);
        return instrument;
    }

    // Loads a song holding `events` and forgets the calls made so far.
    void LoadEvents(const std::vector<BASS_MIDI_EVENT>& events) {
        fake::SetMidiFile(events);
        LoadSong(&state, L"song.mid");
        fake::ClearCalls();
    }

    DWORD Render(DWORD length) {
        buffer.assign(length + 16, 0x7F);
        return RenderProc(state.outputStream.load(), buffer.data(), length, &state);
    }

    std::vector<std::string> Sent() { return fake::CallsStartingWith("ProcessEvent"); }

    PlayerState state;
    std::vector<char> buffer;
};
