#include "plugin/instrument_controls.h"

#include <cmath>

#include "audio/further_functions.h"
#include "player/instrument.h"
#include "plugin/editor_window.h"
#include "protocol/quillbrook_protocol.h"

namespace {

constexpr DWORD kActionEditorResized = 2;
constexpr double kMillionths = 1000000.0;

// The instrument's handle when a plug-in is loaded and the functions are there;
// 0 with the failure in `answer` otherwise.
DWORD Instrument(const PlayerState* state, bool available, int32_t* answer) {
    const DWORD instrument = state->playback.instrument.load();
    *answer = !available ? QB_FAIL_NOT_AVAILABLE : instrument == 0 ? QB_FAIL_NO_PLUGIN : 0;
    return *answer == 0 ? instrument : 0;
}

// Whether `index` is a whole number below `count`.
bool IsIndex(double index, int count) {
    return index >= 0 && index < count && index == std::floor(index);
}

// Instrument() for a call about the program or parameter `index` of the `count` there are.
DWORD IndexedInstrument(const PlayerState* state, bool available, int(WINAPI* count)(DWORD),
                        double index, int32_t* answer) {
    const DWORD instrument = Instrument(state, available && count != nullptr, answer);
    if (instrument != 0 && !IsIndex(index, count(instrument))) {
        *answer = QB_FAIL_BAD_PAYLOAD;
        return 0;
    }
    return instrument;
}

int32_t CountOf(PlayerState* state, int(WINAPI* count)(DWORD)) {
    int32_t answer = 0;
    if (const DWORD instrument = Instrument(state, count != nullptr, &answer)) {
        const int counted = count(instrument);
        answer = counted > 0 ? counted : 0;
    }
    return answer;
}

// The library's text (in the system's code page), as the text answer.
void WriteText(const char* from, size_t fromChars, wchar_t* text, size_t chars) {
    size_t length = 0;
    while (length < fromChars && from[length] != '\0') {
        ++length;
    }
    const int written = MultiByteToWideChar(CP_ACP, 0, from, static_cast<int>(length), text,
                                            static_cast<int>(chars - 1));
    text[written > 0 ? written : 0] = L'\0';
}

// A text answer put together from the library's fixed-size fields (each ended by a
// zero or by its size), without the C runtime's formatting.
struct Joined {
    char text[256];
    size_t length;
};

void Join(Joined* joined, const char* from, size_t fromChars) {
    for (size_t i = 0;
         i < fromChars && from[i] != '\0' && joined->length + 1 < sizeof(joined->text); ++i) {
        joined->text[joined->length++] = from[i];
    }
    joined->text[joined->length] = '\0';
}

DWORD CALLBACK OnLibraryCall(DWORD vstHandle, DWORD action, DWORD width, DWORD height, void* user) {
    // Posted: the call may come from any thread, and the window is the user-interface
    // thread's.
    const auto* state = static_cast<const PlayerState*>(user);
    if (action == kActionEditorResized && vstHandle == state->playback.instrument.load()) {
        PostMessageW(state->mainWindow, kEditorResizedMessage, width, height);
    }
    return 0;
}

} // namespace

int32_t InstrumentCapabilities() {
    const FurtherFunctions& further = Further();
    int32_t flags = 0;
    if (further.vstGetParamCount != nullptr && further.vstGetParam != nullptr &&
        further.vstSetParam != nullptr && further.vstGetParamInfo != nullptr) {
        flags |= QB_CAN_PARAMS;
    }
    if (further.vstGetProgramCount != nullptr && further.vstGetProgram != nullptr &&
        further.vstSetProgram != nullptr && further.vstGetProgramName != nullptr) {
        flags |= QB_CAN_PROGRAMS;
    }
    if (further.vstGetChunk != nullptr && further.vstSetChunk != nullptr) {
        flags |= QB_CAN_CHUNKS;
    }
    if (further.vstProcessEventRaw != nullptr) {
        flags |= QB_CAN_MIDI;
    }
    if (further.vstSetCallback != nullptr) {
        flags |= QB_CAN_RESIZE;
    }
    return flags;
}

int32_t ProgramCount(PlayerState* state) {
    return CountOf(state, Further().vstGetProgramCount);
}

int32_t CurrentProgramIndex(PlayerState* state) {
    int32_t answer = 0;
    if (const DWORD instrument = Instrument(state, Further().vstGetProgram != nullptr, &answer)) {
        const int program = Further().vstGetProgram(instrument);
        answer = program >= 0 ? program : QB_FAIL_LIBRARY;
    }
    return answer;
}

int32_t SelectProgram(PlayerState* state, double index) {
    const FurtherFunctions& further = Further();
    int32_t answer = 0;
    if (const DWORD instrument = IndexedInstrument(state, further.vstSetProgram != nullptr,
                                                   further.vstGetProgramCount, index, &answer)) {
        if (further.vstSetProgram(instrument, static_cast<int>(index)) == 0) {
            answer = QB_FAIL_LIBRARY;
        }
    }
    return answer;
}

int32_t ProgramName(PlayerState* state, double index, wchar_t* text, size_t chars) {
    const FurtherFunctions& further = Further();
    int32_t answer = 0;
    if (const DWORD instrument = IndexedInstrument(state, further.vstGetProgramName != nullptr,
                                                   further.vstGetProgramCount, index, &answer)) {
        if (const char* name = further.vstGetProgramName(instrument, static_cast<int>(index))) {
            WriteText(name, chars, text, chars);
        } else {
            answer = QB_FAIL_LIBRARY;
        }
    }
    return answer;
}

int32_t ParamCount(PlayerState* state) {
    return CountOf(state, Further().vstGetParamCount);
}

float UnitParamValue(float value) {
    return value >= 0.0f && value <= 1.0f ? value : (value > 1.0f ? 1.0f : 0.0f);
}

int32_t ParamValue(PlayerState* state, double index, wchar_t* text, size_t chars) {
    const FurtherFunctions& further = Further();
    int32_t answer = 0;
    BASS_VST_PARAM_INFO info = BASS_VST_PARAM_INFO();
    float value = 0;
    if (const DWORD instrument = IndexedInstrument(
            state, further.vstGetParam != nullptr && further.vstGetParamInfo != nullptr,
            further.vstGetParamCount, index, &answer)) {
        if (further.vstGetParamInfo(instrument, static_cast<int>(index), &info) == 0) {
            answer = QB_FAIL_LIBRARY;
        } else {
            value = further.vstGetParam(instrument, static_cast<int>(index));
        }
    }
    if (answer != 0) {
        return answer;
    }
    Joined joined = {};
    Join(&joined, info.name, sizeof(info.name));
    Join(&joined, "\t", 1);
    Join(&joined, info.display, sizeof(info.display));
    Join(&joined, " ", info.unit[0] != '\0' ? 1 : 0);
    Join(&joined, info.unit, sizeof(info.unit));
    WriteText(joined.text, sizeof(joined.text), text, chars);
    return static_cast<int32_t>(std::lround(UnitParamValue(value) * kMillionths));
}

int32_t SetParamValue(PlayerState* state, double index, double value) {
    const FurtherFunctions& further = Further();
    int32_t answer = 0;
    if (!(value >= 0 && value <= 1)) {
        return Instrument(state, true, &answer) != 0 ? QB_FAIL_BAD_PAYLOAD : answer;
    }
    if (const DWORD instrument = IndexedInstrument(state, further.vstSetParam != nullptr,
                                                   further.vstGetParamCount, index, &answer)) {
        if (further.vstSetParam(instrument, static_cast<int>(index), static_cast<float>(value)) ==
            0) {
            answer = QB_FAIL_LIBRARY;
        }
    }
    return answer;
}

int32_t PluginInfo(PlayerState* state, wchar_t* text, size_t chars) {
    if (state->playback.instrument.load() == 0) {
        return QB_FAIL_NO_PLUGIN;
    }
    if (!state->instrumentDescribed) {
        return QB_FAIL_LIBRARY;
    }
    const BASS_VST_INFO& info = state->instrumentInfo;
    char id[9] = {};
    for (int digit = 0; digit < 8; ++digit) {
        id[digit] = "0123456789ABCDEF"[info.uniqueID >> (28 - 4 * digit) & 0xF];
    }
    Joined joined = {};
    Join(&joined, info.effectName, sizeof(info.effectName));
    Join(&joined, "\t", 1);
    Join(&joined, info.vendorName, sizeof(info.vendorName));
    Join(&joined, "\t", 1);
    Join(&joined, id, sizeof(id));
    WriteText(joined.text, sizeof(joined.text), text, chars);
    return static_cast<int32_t>(info.effectVersion & 0x7FFFFFFF);
}

int32_t SendLiveMidi(PlayerState* state, const LiveMessage* messages, uint32_t count) {
    int32_t answer = 0;
    const auto send = Further().vstProcessEventRaw;
    if (Instrument(state, send != nullptr, &answer) == 0) {
        return answer;
    }
    // The instrument is pulled only while a song plays: a message queued now would sound
    // at the next play instead, and a full queue would have nothing to empty it.
    if (state->playback.events.load() == nullptr || !state->playing || state->paused ||
        state->playback.regionDone.load()) {
        return QB_FAIL_NOT_PLAYING;
    }
    return QueueLiveMessages(&state->live, send, messages, count) ? 0 : QB_FAIL_QUEUE_FULL;
}

void WatchEditorSize(PlayerState* state, DWORD instrument) {
    const FurtherFunctions& further = Further();
    if (instrument != 0 && further.vstSetCallback != nullptr) {
        further.vstSetCallback(instrument, OnLibraryCall, state);
    }
}
