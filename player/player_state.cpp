#include "player_state.h"

#ifndef _WIN32
#include <sched.h>
#endif

void InitPlayerState(PlayerState* state, HWND mainWindow) {
    state->outputStream.store(0);
    state->mainWindow = mainWindow;
    state->loopStart.store(0);
    state->loopEnd = 0;
    state->instrument.store(0);
    state->nextEvent.store(0);
    state->renderedBytes.store(0);
    state->events.store(nullptr);
    state->pluginLoaded.store(0);
    state->editorWindow = nullptr;
    state->renderCalls.store(0);
    state->playing = false;
}

void WaitForRenderCalls(const PlayerState* state) {
    while (state->renderCalls.load() != 0) {
#ifdef _WIN32
        SwitchToThread();
#else
        sched_yield();
#endif
    }
}
