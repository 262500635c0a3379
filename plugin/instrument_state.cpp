#include "plugin/instrument_state.h"

#include <cstdlib>
#include <cstring>

#include "audio/further_functions.h"
#include "player/instrument.h"
#include "plugin/instrument_controls.h"
#include "plugin/state_file.h"
#include "plugin/state_file_io.h"
#include "protocol/quillbrook_protocol.h"

namespace {

constexpr size_t kMaxStateFileBytes = kStateHeaderBytes + kMaxStateChunkBytes + kStateChecksumBytes;
// The library's answer when it refuses a chunk.
constexpr DWORD kChunkRefused = 0xFFFFFFFF;

// What was read off the plug-in, in a buffer of its own (the library's chunk buffer is
// reused by its next call).
struct TakenState {
    StateHeader header;
    void* body;
};

bool Identify(DWORD instrument, StateHeader* header) {
    BASS_VST_INFO info;
    if (!DescribeInstrument(instrument, &info)) {
        return false;
    }
    header->uniqueId = info.uniqueID;
    header->version = info.effectVersion;
    return true;
}

int32_t CurrentProgram(DWORD instrument) {
    const FurtherFunctions& further = Further();
    if (further.vstGetProgramCount == nullptr || further.vstGetProgram == nullptr ||
        further.vstGetProgramCount(instrument) <= 0) {
        return -1;
    }
    return further.vstGetProgram(instrument);
}

// The whole bank as the plug-in's own chunk; false when it keeps none.
bool TakeChunk(DWORD instrument, TakenState* taken) {
    const FurtherFunctions& further = Further();
    DWORD length = 0;
    const char* chunk =
        further.vstGetChunk != nullptr ? further.vstGetChunk(instrument, 0, &length) : nullptr;
    if (chunk == nullptr || length == 0 || length > kMaxStateChunkBytes) {
        return false;
    }
    taken->body = std::malloc(length);
    if (taken->body == nullptr) {
        return false;
    }
    std::memcpy(taken->body, chunk, length);
    taken->header.kind = QB_STATE_CHUNK;
    taken->header.count = length;
    return true;
}

bool TakeParams(DWORD instrument, TakenState* taken) {
    const FurtherFunctions& further = Further();
    if (further.vstGetParamCount == nullptr || further.vstGetParam == nullptr) {
        return false;
    }
    const int count = further.vstGetParamCount(instrument);
    if (count < 0 || static_cast<uint32_t>(count) > kMaxStateParams) {
        return false;
    }
    auto* values = static_cast<float*>(std::malloc(sizeof(float) * (count > 0 ? count : 1)));
    if (values == nullptr) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        values[i] = UnitParamValue(further.vstGetParam(instrument, i));
    }
    taken->body = values;
    taken->header.kind = QB_STATE_PARAMS;
    taken->header.count = static_cast<uint32_t>(count);
    return true;
}

int32_t TakeState(DWORD instrument, TakenState* taken) {
    const bool identified = Identify(instrument, &taken->header);
    taken->header.program = CurrentProgram(instrument);
    const bool took = identified && (TakeChunk(instrument, taken) || TakeParams(instrument, taken));
    if (took) {
        return 0;
    }
    if (!identified) {
        return QB_FAIL_LIBRARY;
    }
    const FurtherFunctions& further = Further();
    return further.vstGetChunk == nullptr && further.vstGetParam == nullptr ? QB_FAIL_NOT_AVAILABLE
                                                                            : QB_FAIL_LIBRARY;
}

int32_t CheckFile(const uint8_t* file, size_t bytes, StateHeader* header, const uint8_t** body) {
    switch (DecodeStateFile(file, bytes, header, body)) {
    case StateCheck::Good:
        return 0;
    case StateCheck::UnknownVersion:
        return QB_FAIL_STATE_VERSION;
    default:
        return QB_FAIL_BAD_STATE;
    }
}

// Whether the file fits this plug-in and the library can apply it.
int32_t CheckFits(DWORD instrument, const StateHeader& file) {
    const FurtherFunctions& further = Further();
    StateHeader own = StateHeader();
    if (!Identify(instrument, &own)) {
        return QB_FAIL_LIBRARY;
    }
    if (own.uniqueId != file.uniqueId) {
        return QB_FAIL_OTHER_PLUGIN;
    }
    // A program this plug-in lacks is another version's: refused before anything is set.
    if (file.program >= 0 && further.vstSetProgram != nullptr &&
        (further.vstGetProgramCount == nullptr ||
         file.program >= further.vstGetProgramCount(instrument))) {
        return QB_FAIL_OTHER_PLUGIN;
    }
    if (file.kind == QB_STATE_CHUNK) {
        return further.vstSetChunk != nullptr ? 0 : QB_FAIL_NOT_AVAILABLE;
    }
    if (further.vstSetParam == nullptr || further.vstGetParamCount == nullptr) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    // The same plug-in with other parameters is another version whose values would
    // land on the wrong knobs.
    return static_cast<uint32_t>(further.vstGetParamCount(instrument)) == file.count
               ? 0
               : QB_FAIL_OTHER_PLUGIN;
}

bool ApplyState(DWORD instrument, const StateHeader& header, const uint8_t* body) {
    const FurtherFunctions& further = Further();
    const bool programs = header.program >= 0 && further.vstSetProgram != nullptr;
    if (header.kind == QB_STATE_CHUNK) {
        if (further.vstSetChunk(instrument, 0, reinterpret_cast<const char*>(body), header.count) ==
            kChunkRefused) {
            return false;
        }
        return !programs || further.vstSetProgram(instrument, header.program) != 0;
    }
    // The program first: the values are those of the program then current.
    if (programs && further.vstSetProgram(instrument, header.program) == 0) {
        return false;
    }
    bool applied = true;
    for (uint32_t i = 0; i < header.count; ++i) {
        applied =
            further.vstSetParam(instrument, static_cast<int>(i), StateParamValue(body, i)) != 0 &&
            applied;
    }
    return applied;
}

// The instrument, or 0 with the failure in `answer`.
DWORD InstrumentFor(const PlayerState* state, const wchar_t* path, int32_t* answer) {
    const DWORD instrument = state->playback.instrument.load();
    *answer = instrument == 0                       ? QB_FAIL_NO_PLUGIN
              : path == nullptr || path[0] == L'\0' ? QB_FAIL_BAD_PAYLOAD
                                                    : 0;
    return *answer == 0 ? instrument : 0;
}

} // namespace

int32_t SaveInstrumentState(PlayerState* state, const wchar_t* path) {
    int32_t answer = 0;
    const DWORD instrument = InstrumentFor(state, path, &answer);
    if (instrument == 0) {
        return answer;
    }
    TakenState taken = {StateHeader(), nullptr};
    answer = TakeState(instrument, &taken);
    if (answer == 0) {
        const size_t bytes = StateFileBytes(taken.header);
        auto* file = static_cast<uint8_t*>(std::malloc(bytes));
        if (file != nullptr) {
            EncodeStateFile(taken.header, taken.body, file);
        }
        answer = file != nullptr && WriteWholeFile(path, file, bytes)
                     ? static_cast<int32_t>(taken.header.kind)
                     : QB_FAIL_FILE;
        std::free(file);
    }
    std::free(taken.body);
    return answer;
}

int32_t LoadInstrumentState(PlayerState* state, const wchar_t* path) {
    int32_t answer = 0;
    const DWORD instrument = InstrumentFor(state, path, &answer);
    if (instrument == 0) {
        return answer;
    }
    uint8_t* file = nullptr;
    size_t bytes = 0;
    const FileRead read = ReadWholeFile(path, kMaxStateFileBytes, &file, &bytes);
    if (read != FileRead::Read) {
        return read == FileRead::TooLarge ? QB_FAIL_BAD_STATE : QB_FAIL_FILE;
    }
    StateHeader header = StateHeader();
    const uint8_t* body = nullptr;
    answer = CheckFile(file, bytes, &header, &body);
    if (answer == 0) {
        answer = CheckFits(instrument, header);
    }
    if (answer == 0) {
        answer = ApplyState(instrument, header, body) ? static_cast<int32_t>(header.kind)
                                                      : QB_FAIL_LIBRARY;
    }
    std::free(file);
    return answer;
}
