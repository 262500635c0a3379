// The stand-in bass.dll's mixing thread.
#pragma once

// Starts the thread that plays the model's user streams, calling `eachStep` before each
// of its steps; called once, by BASS_Init. Returns once the thread runs.
void StartMixer(void (*eachStep)());
