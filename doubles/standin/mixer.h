// The stand-in bass.dll's mixing thread.
#pragma once

// Starts the thread that plays the model's user streams; called once, by BASS_Init.
// Returns once the thread runs.
void StartMixer();
