// The player's extension commands: capabilities, status, pause and resume, volume and
// fades, length, the position heard, seeking and the controller's loop region. Run on
// the user-interface thread, inside the gate (`EnterGate`). Each gives its answer: 0 or more on
// success, a QB_FAIL_ code of the protocol otherwise.
#pragma once

#include <cstdint>

#include "player/player_state.h"

// QB_CAN_ flags for the functions the libraries beside the host have.
int32_t Capabilities();
int32_t PlayerStatus(PlayerState* state);

int32_t Pause(PlayerState* state);
// Goes on where Pause stopped (also after the device paused the output).
int32_t Resume(PlayerState* state);

// Sets the volume (0 to 1) at once, or over `ms` milliseconds as a fade, after which
// `end` pauses or stops the song. The volume holds for every stream made afterwards.
// `*checkAfterMs` is set to when FinishFade should be called (0: never).
int32_t SetVolume(PlayerState* state, double volume, double ms, FadeEnd end,
                  uint32_t* checkAfterMs);
// Runs the fade's end once the volume has stopped sliding; false while it still slides
// (call again a little later).
bool FinishFade(PlayerState* state);
// The volume now, in thousandths.
int32_t VolumeNow(PlayerState* state);

// The song's length: the position of its last event, in milliseconds.
int32_t SongLengthMs(PlayerState* state);
// The position the listener hears now, in milliseconds from the start of the song.
int32_t PositionMs(PlayerState* state);
// Where the listener is: the song position heard and the loop region's passes done
// by then (a turn still in the playback buffer is not counted).
struct HeardPoint {
    QWORD bytes;
    DWORD passesDone;
};
// The point heard now; the rendered position while not playing or without the
// library's position.
HeardPoint HeardNow(PlayerState* state);
// Moves to `ms` (at most the song's length) while playing, paused or loaded; gives the
// position reached.
int32_t Seek(PlayerState* state, double ms);
// Moves to the exact point, as Seek does, and takes up its passes of the loop region.
int32_t SeekToPoint(PlayerState* state, const HeardPoint& point);
// Sets the loop region from `startMs` to `endMs` (negative: the song's end) with
// `passes` passes (0: endless); `set` false takes the region away.
int32_t SetLoopRegion(PlayerState* state, bool set, double startMs, double endMs, uint32_t passes);
// The same in bytes of the song; an end of kSongEnd is the song's end.
constexpr QWORD kSongEnd = ~QWORD{0};
int32_t SetLoopRegionBytes(PlayerState* state, bool set, QWORD startBytes, QWORD endBytes,
                           uint32_t passes);

// The song position heard, from the render cursor, the output bytes between rendering
// and hearing (`lag`), the output bytes rendered since the cursor last turned back, the
// song position it turned back from, and the speed (thousandths) the song plays at.
QWORD HeardSongBytes(QWORD cursor, DWORD lag, DWORD sinceTurn, QWORD turnFrom, uint32_t speed);
