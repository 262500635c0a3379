#include "host/extension_commands.h"

#include <cwchar>

#include "host/host_globals.h"
#include "host/host_names.h"
#include "host/midi_payload.h"
#include "host/payload_words.h"
#include "host/render_command.h"
#include "host/reports.h"
#include "player/transport.h"
#include "plugin/instrument_controls.h"
#include "plugin/instrument_state.h"

#include "version_info.h"

namespace {

bool NoWords(const PayloadWords& words) {
    return words.count == 0;
}

// "VOLUME [MS [pause|stop]]"
LRESULT SetVolumeCommand(const PayloadWords& words) {
    double volume = 0;
    double ms = 0;
    FadeEnd end = FadeEnd::None;
    if (words.count < 1 || words.count > 3 || !PayloadNumber(words, 0, &volume) ||
        (words.count >= 2 && !PayloadNumber(words, 1, &ms))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    if (words.count == 3) {
        if (PayloadWordIs(words, 2, L"pause")) {
            end = FadeEnd::Pause;
        } else if (PayloadWordIs(words, 2, L"stop")) {
            end = FadeEnd::Stop;
        } else {
            return QB_FAIL_BAD_PAYLOAD;
        }
    }
    uint32_t checkAfterMs = 0;
    const int32_t answer = SetVolume(&player, volume, ms, end, &checkAfterMs);
    if (checkAfterMs != 0) {
        SetTimer(player.mainWindow, kFadeTimerId, checkAfterMs, nullptr);
    } else {
        KillTimer(player.mainWindow, kFadeTimerId);
    }
    return answer;
}

// "START END [PASSES]", END a number or "end"; no words: no region.
LRESULT LoopCommand(const PayloadWords& words) {
    if (NoWords(words)) {
        return SetLoopRegion(&player, false, 0, 0, 0);
    }
    double start = 0;
    double end = -1;
    double passes = 0;
    if (words.count < 2 || words.count > 3 || !PayloadNumber(words, 0, &start) ||
        (!PayloadWordIs(words, 1, L"end") && !PayloadNumber(words, 1, &end)) ||
        (words.count == 3 && (!PayloadNumber(words, 2, &passes) || passes > 0xFFFFFFFF ||
                              passes != static_cast<double>(static_cast<uint32_t>(passes))))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SetLoopRegion(&player, true, start, end, static_cast<uint32_t>(passes));
}

// The one number of a payload "N", or false.
bool OneNumber(const PayloadWords& words, double* number) {
    return words.count == 1 && PayloadNumber(words, 0, number);
}

LRESULT MidiCommand(const wchar_t* payload) {
    static LiveMessage messages[kMidiPayloadMessages]; // user-interface thread only
    uint32_t count = 0;
    if (!ParseMidiPayload(payload, messages, &count)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SendLiveMidi(&player, messages, count);
}

// Commands whose payload is one path or a list of bytes rather than words.
bool RunWholePayloadCommand(uint64_t code, const wchar_t* payload, LRESULT* answer) {
    switch (code) {
    case QB_CODE_SAVE_STATE:
        *answer = SaveInstrumentState(&player, payload);
        return true;
    case QB_CODE_LOAD_STATE:
        *answer = LoadInstrumentState(&player, payload);
        return true;
    case QB_CODE_MIDI:
        *answer = MidiCommand(payload);
        return true;
    case QB_CODE_RENDER:
        *answer = StartRenderCommand(payload);
        return true;
    default:
        return false;
    }
}

// The commands with a text answer; it is sent before the command returns.
bool RunTextCommand(uint64_t code, const PayloadWords& words, HWND sender, LRESULT* answer) {
    wchar_t text[QB_PAYLOAD_CHARS] = L"";
    double index = 0;
    switch (code) {
    case QB_CODE_PROGRAM_NAME:
        *answer = OneNumber(words, &index) ? ProgramName(&player, index, text, QB_PAYLOAD_CHARS)
                                           : QB_FAIL_BAD_PAYLOAD;
        break;
    case QB_CODE_PARAM:
        *answer = OneNumber(words, &index) ? ParamValue(&player, index, text, QB_PAYLOAD_CHARS)
                                           : QB_FAIL_BAD_PAYLOAD;
        break;
    case QB_CODE_PLUGIN_INFO:
        *answer = PluginInfo(&player, text, QB_PAYLOAD_CHARS);
        break;
    case QB_CODE_HOST_VERSION:
        *answer = QB_INTERFACE_VERSION;
        std::swprintf(text, QB_PAYLOAD_CHARS, L"%hs %hs", QB_PROGRAM_NAME, QB_VERSION_TEXT);
        break;
    default:
        return false;
    }
    if (*answer >= 0) {
        SendTextAnswer(sender, static_cast<ULONG_PTR>(code), text);
    }
    return true;
}

// "N VALUE"
LRESULT SetParamCommand(const PayloadWords& words) {
    double index = 0;
    double value = 0;
    if (words.count != 2 || !PayloadNumber(words, 0, &index) || !PayloadNumber(words, 1, &value)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SetParamValue(&player, index, value);
}

} // namespace

LRESULT RunExtensionCommand(uint64_t code, const wchar_t* payload, HWND sender) {
    LRESULT answer = 0;
    if (payload == nullptr) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    if (RunWholePayloadCommand(code, payload, &answer)) {
        return answer;
    }
    PayloadWords words;
    if (!SplitPayloadWords(payload, &words)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    if (RunTextCommand(code, words, sender, &answer)) {
        return answer;
    }
    double ms = 0;
    double index = 0;
    switch (code) {
    case QB_CODE_CAPABILITIES:
        return Capabilities() | InstrumentCapabilities() | QB_CAN_RENDER;
    case QB_CODE_STATUS:
        return PlayerStatus(&player);
    case QB_CODE_PAUSE:
        return Pause(&player);
    case QB_CODE_RESUME:
        return Resume(&player);
    case QB_CODE_SET_VOLUME:
        return SetVolumeCommand(words);
    case QB_CODE_GET_VOLUME:
        return VolumeNow(&player);
    case QB_CODE_LENGTH:
        return SongLengthMs(&player);
    case QB_CODE_POSITION:
        return PositionMs(&player);
    case QB_CODE_SEEK:
        if (words.count != 1 || !PayloadNumber(words, 0, &ms)) {
            return QB_FAIL_BAD_PAYLOAD;
        }
        return Seek(&player, ms);
    case QB_CODE_LOOP:
        return LoopCommand(words);
    case QB_CODE_PROGRAM_COUNT:
        return ProgramCount(&player);
    case QB_CODE_PROGRAM:
        return CurrentProgramIndex(&player);
    case QB_CODE_SET_PROGRAM:
        return OneNumber(words, &index) ? SelectProgram(&player, index) : QB_FAIL_BAD_PAYLOAD;
    case QB_CODE_PARAM_COUNT:
        return ParamCount(&player);
    case QB_CODE_SET_PARAM:
        return SetParamCommand(words);
    case QB_CODE_RENDER_STATUS:
        return RenderStatusCommand();
    case QB_CODE_RENDER_PROGRESS:
        return RenderProgressCommand();
    case QB_CODE_CANCEL_RENDER:
        return CancelRenderCommand();
    default:
        return 0;
    }
}

bool AllowedWhileRendering(uint64_t code) {
    switch (code) {
    case QB_CODE_CAPABILITIES:
    case QB_CODE_STATUS:
    case QB_CODE_GET_VOLUME:
    case QB_CODE_LENGTH:
    case QB_CODE_POSITION:
    case QB_CODE_HOST_VERSION:
    case QB_CODE_RENDER:
    case QB_CODE_RENDER_STATUS:
    case QB_CODE_RENDER_PROGRESS:
    case QB_CODE_CANCEL_RENDER:
        return true;
    default:
        return false;
    }
}

bool FinishFadeCommand() {
    return FinishFade(&player);
}
