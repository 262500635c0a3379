#include "player/render_stream.h"

#include <cstring>

#include "audio/audio_constants.h"

namespace {

// The cursor is kept in locals for the call and stored once at the end; the loop
// callback, which also resets it, runs on the same thread between calls. The table,
// the instrument and the plug-in flag are read with sequentially consistent loads: the
// commands unpublish them and then read the count of calls in progress, so each side
// sees the other's first step.
DWORD RenderEvents(PlayerState* state, const EventTable* table, void* buffer, DWORD length) {
    const DWORD eventCount = table->eventCount;
    const SongEvent* events = table->records;
    DWORD nextEvent = state->nextEvent.load(std::memory_order_relaxed);
    DWORD renderedBytes = state->renderedBytes.load(std::memory_order_relaxed);
    char* out = static_cast<char*>(buffer);

    DWORD filled = 0;
    while (filled < length) {
        while (nextEvent < eventCount && events[nextEvent].pos <= renderedBytes) {
            const SongEvent& event = events[nextEvent];
            // A VST instrument has 16 MIDI channels; the channels of further ports
            // are consumed but not sent.
            if (state->pluginLoaded.load() != 0 && event.event != kEventBankSelect &&
                event.chan < kMidiChannels) {
                BASS_VST_ProcessEvent(state->instrument.load(), event.chan, event.event,
                                      event.param);
            }
            ++nextEvent;
        }
        DWORD chunk = length - filled;
        if (nextEvent < eventCount) {
            const DWORD gap = events[nextEvent].pos - renderedBytes;
            if (chunk > gap) {
                chunk = gap;
            }
        }
        const auto pulled = static_cast<int32_t>(
            BASS_ChannelGetData(state->instrument.load(), out + filled, chunk));
        DWORD delivered = chunk;
        if (pulled <= 0) {
            // No instrument, or one that has nothing to give: deliver silence on the
            // song's clock instead of ending the stream, so the mixer keeps its pace
            // rather than rewinding and asking again at once, and an instrument loaded
            // later plays from the song's current position on.
            std::memset(out + filled, 0, chunk);
        } else if (static_cast<DWORD>(pulled) < chunk) {
            delivered = static_cast<DWORD>(pulled);
        }
        renderedBytes += delivered;
        filled += delivered;
    }

    state->nextEvent.store(nextEvent, std::memory_order_relaxed);
    state->renderedBytes.store(renderedBytes, std::memory_order_relaxed);
    return nextEvent == eventCount ? (filled | kStreamEndBit) : filled;
}

} // namespace

// Runs on the mixing thread: no allocation, no lock, no waiting. The count of calls in
// progress is raised before anything shared is read and lowered after the last use,
// so a command that has unpublished something and seen the count at zero can release
// it. A call for a stream that is no longer the current one (freed or replaced while
// the library was about to call it), or for a stopped song whose table is gone,
// touches nothing, the instrument included, and gets silence.
DWORD CALLBACK RenderProc(HSTREAM handle, void* buffer, DWORD length, void* user) {
    PlayerState* state = static_cast<PlayerState*>(user);
    state->renderCalls.fetch_add(1);
    DWORD result = 0;
    const EventTable* table = state->events.load();
    if (handle != 0 && handle == state->outputStream.load() && table != nullptr) {
        result = RenderEvents(state, table, buffer, length);
    } else {
        std::memset(buffer, 0, length);
        result = length | kStreamEndBit;
    }
    state->renderCalls.fetch_sub(1, std::memory_order_release);
    return result;
}
