#include "player/player_state.h"

#ifndef _WIN32
#include <sched.h>
#include <time.h>
#endif

void InitPlayback(Playback* playback, LiveMidiQueue* live) {
    playback->events.store(nullptr);
    playback->instrument.store(0);
    playback->pluginLoaded.store(0);
    playback->nextEvent.store(0);
    playback->renderedBytes.store(0);
    playback->replay.store(nullptr);
    playback->replaySent.store(0);
    playback->region.store(nullptr);
    playback->passesDone.store(0);
    playback->regionDone.store(false);
    playback->pastRegion.store(false);
    playback->streamBytes.store(0);
    playback->turnStreamBytes.store(0);
    playback->turnFromBytes.store(0);
    live->written.store(0);
    live->taken.store(0);
    live->send.store(nullptr);
    playback->live = live;
    InitEventControls(&playback->controls);
    ResetEventTrack(&playback->track);
    playback->watch.store(nullptr);
    playback->streamGeneration.store(0);
    playback->seekToTell.store(false);
    playback->timeline.store(nullptr);
}

void InitPlayerState(PlayerState* state, HWND mainWindow) {
    InitPlayback(&state->playback, &state->live);
    state->outputStream.store(0);
    state->mainWindow = mainWindow;
    state->deviceFailProc = nullptr;
    state->loopStart.store(0);
    state->loopEnd = 0;
    state->editorWindow = nullptr;
    state->renderCalls.store(0);
    state->playing = false;
    state->held.store(false);
    state->songMarks = nullptr;
    state->seekJump = nullptr;
    state->paused = false;
    state->volumeSet = false;
    state->volume = 1.0f;
    state->fadeEnd = FadeEnd::None;
    state->fadeTarget = 1.0f;
    state->fadeUntilMs = 0;
    state->lastLag = 0;
    state->holdDepth = 0;
    state->gateDepth = 0;
    state->fileRender = nullptr;
}

namespace {

// Rounds of yielding before the wait sleeps: a render call usually ends within them.
constexpr unsigned kYieldRounds = 64;

// One round of waiting. A render call may be blocked on this thread: a plug-in that
// sends a message to its editor from its audio processing waits until the message is
// handled here. So messages sent to this thread are handled while it waits (commands
// that arrive meanwhile are queued, not run), and after a few rounds of yielding the
// wait sleeps until such a message arrives or a millisecond has passed.
void WaitRound(unsigned round) {
#ifdef _WIN32
    if (round < kYieldRounds) {
        SwitchToThread();
    } else {
        MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_SENDMESSAGE, 0);
    }
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
#else
    if (round < kYieldRounds) {
        sched_yield();
    } else {
        const timespec pause = {0, 100000};
        nanosleep(&pause, nullptr);
    }
#endif
}

// The render thread's pause while it is held: a gate is left within milliseconds.
void Nap() {
#ifdef _WIN32
    Sleep(1);
#else
    const timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
#endif
}

void HoldFileRender(ThreadHold* hold) {
    hold->asked.store(true);
    for (unsigned round = 0; hold->inBlock.load(); ++round) {
        WaitRound(round);
    }
}

} // namespace

void WaitForRenderCalls(const PlayerState* state) {
    for (unsigned round = 0; state->renderCalls.load() != 0; ++round) {
        WaitRound(round);
    }
}

void HoldRenderCalls(PlayerState* state) {
    if (state->holdDepth++ == 0) {
        state->held.store(true);
        WaitForRenderCalls(state);
    }
}

void ReleaseRenderCalls(PlayerState* state) {
    if (state->holdDepth != 0 && --state->holdDepth == 0) {
        state->held.store(false);
    }
}

void EnterGate(PlayerState* state) {
    HoldRenderCalls(state);
    if (state->gateDepth++ == 0 && state->fileRender != nullptr) {
        HoldFileRender(state->fileRender);
    }
}

void ExitGate(PlayerState* state) {
    if (state->gateDepth != 0 && --state->gateDepth == 0 && state->fileRender != nullptr) {
        state->fileRender->asked.store(false);
    }
    ReleaseRenderCalls(state);
}

void AttachFileRender(PlayerState* state, ThreadHold* hold) {
    hold->inBlock.store(false);
    hold->asked.store(state->gateDepth != 0);
    state->fileRender = hold;
}

void DetachFileRender(PlayerState* state) {
    state->fileRender = nullptr;
}

// Marked inside before it looks whether it is held, as the gate asks before it looks
// whether the thread is inside: one of the two always sees the other.
bool EnterBlock(ThreadHold* hold, const std::atomic<bool>& cancel) {
    for (;;) {
        hold->inBlock.store(true);
        if (!hold->asked.load()) {
            return true;
        }
        hold->inBlock.store(false);
        if (cancel.load()) {
            return false;
        }
        Nap();
    }
}

void ExitBlock(ThreadHold* hold) {
    hold->inBlock.store(false);
}
