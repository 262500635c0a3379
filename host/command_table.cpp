#include "host/command_table.h"

#include <cstdlib>
#include <cwchar>

#include "audio/further_functions.h"
#include "host/device_commands.h"
#include "host/device_loss.h"
#include "host/host_globals.h"
#include "host/host_names.h"
#include "host/midi_payload.h"
#include "host/music_commands.h"
#include "host/payload.h"
#include "host/render_command.h"
#include "host/watch.h"
#include "host/reports.h"
#include "player/event_commands.h"
#include "player/jump.h"
#include "player/song_commands.h"
#include "player/transport.h"
#include "plugin/instrument_controls.h"
#include "plugin/instrument_state.h"
#include "plugin/plugin_commands.h"

#include "version_info.h"

namespace {

// The path of the song loaded now, as the controller gave it.
wchar_t loadedSong[QB_PAYLOAD_CHARS];

// The song report repeats the payload as sent, also one too long to act on.
LRESULT LoadSongCommand(CommandCall* call) {
    const EventTable* before = player.playback.events.load();
    LoadSong(&player, call->payload);
    if (player.playback.events.load() != before && call->payload != nullptr) {
        std::wcscpy(loadedSong, call->payload);
    }
    if (call->payload != nullptr) {
        SendReport(songReportWindow, call->payload);
        return 0;
    }
    auto* whole = static_cast<wchar_t*>(std::malloc((call->length + 1) * sizeof(wchar_t)));
    if (whole != nullptr) {
        DecodePayload(call->data, call->byteCount, whole, call->length + 1);
        SendReport(songReportWindow, whole);
        std::free(whole);
    }
    return 0;
}

LRESULT LoadPluginCommand(CommandCall* call) {
    SendReport(editorReportWindow,
               LoadPlugin(&player, call->payload) ? QB_REPORT_HAS_EDITOR : QB_REPORT_NO_EDITOR);
    return 0;
}

// A command that acts on the player alone and answers nothing.
template <void (*act)(PlayerState*)> LRESULT Acting(CommandCall* /*call*/) {
    act(&player);
    return 0;
}

// A command without a payload whose answer is the player's.
template <int32_t (*ask)(PlayerState*)> LRESULT Asking(CommandCall* /*call*/) {
    return ask(&player);
}

// A render command, which keeps its own state.
template <LRESULT (*ask)()> LRESULT AskingRender(CommandCall* /*call*/) {
    return ask();
}

// "VOLUME [MS [pause|stop]]"
LRESULT SetVolumeCommand(CommandCall* call) {
    const PayloadWords& words = call->words;
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

// "START END [PASSES]", END a position or "end"; no words: no region.
LRESULT LoopCommand(CommandCall* call) {
    const PayloadWords& words = call->words;
    if (words.count == 0) {
        return SetLoopRegion(&player, false, 0, 0, 0);
    }
    if (PayloadWordIs(words, 0, L"markers")) {
        return LoopOnMarkersCommand(call);
    }
    double start = 0;
    double end = -1;
    uint32_t passes = 0;
    if (words.count < 2 || words.count > 3 || !PayloadSongMs(words, 0, &start) ||
        (!PayloadWordIs(words, 1, L"end") && !PayloadSongMs(words, 1, &end)) ||
        (words.count == 3 && !PayloadWhole(words, 2, UINT32_MAX, &passes))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SetLoopRegion(&player, true, start, end, passes);
}

// The one number of a payload "N", or false.
bool OneNumber(const PayloadWords& words, double* number) {
    return words.count == 1 && PayloadNumber(words, 0, number);
}

// The two numbers of a payload "A B", or false.
bool TwoNumbers(const PayloadWords& words, double* first, double* second) {
    return words.count == 2 && PayloadNumber(words, 0, first) && PayloadNumber(words, 1, second);
}

LRESULT MidiCommand(CommandCall* call) {
    static LiveMessage messages[kMidiPayloadMessages]; // user-interface thread only
    uint32_t count = 0;
    if (!ParseMidiPayload(call->payload, messages, &count)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SendLiveMidi(&player, messages, count);
}

LRESULT SaveStateCommand(CommandCall* call) {
    return SaveInstrumentState(&player, call->payload);
}

LRESULT LoadStateCommand(CommandCall* call) {
    return LoadInstrumentState(&player, call->payload);
}

LRESULT RenderCommand(CommandCall* call) {
    return StartRenderCommand(call->payload);
}

LRESULT ProgramNameCommand(CommandCall* call) {
    double index = 0;
    return OneNumber(call->words, &index)
               ? ProgramName(&player, index, call->text, QB_PAYLOAD_CHARS)
               : QB_FAIL_BAD_PAYLOAD;
}

LRESULT ParamCommand(CommandCall* call) {
    double index = 0;
    return OneNumber(call->words, &index) ? ParamValue(&player, index, call->text, QB_PAYLOAD_CHARS)
                                          : QB_FAIL_BAD_PAYLOAD;
}

LRESULT PluginInfoCommand(CommandCall* call) {
    return PluginInfo(&player, call->text, QB_PAYLOAD_CHARS);
}

LRESULT HostVersionCommand(CommandCall* call) {
    std::swprintf(call->text, QB_PAYLOAD_CHARS, L"%hs %hs", QB_PROGRAM_NAME, QB_VERSION_TEXT);
    return QB_INTERFACE_VERSION;
}

LRESULT SetProgramCommand(CommandCall* call) {
    double index = 0;
    return OneNumber(call->words, &index) ? SelectProgram(&player, index) : QB_FAIL_BAD_PAYLOAD;
}

LRESULT SeekCommand(CommandCall* call) {
    double ms = 0;
    return call->words.count == 1 && PayloadSongMs(call->words, 0, &ms) ? Seek(&player, ms)
                                                                        : QB_FAIL_BAD_PAYLOAD;
}

LRESULT CapabilitiesCommand(CommandCall* /*call*/) {
    return Capabilities() | InstrumentCapabilities() | QB_CAN_RENDER | QB_CAN_SONG | QB_CAN_SPEED |
           QB_CAN_TRANSPOSE | QB_CAN_MUTE | QB_CAN_CHANNEL_VOLUME | QB_CAN_WATCH |
           (Further().midiStreamGetMarks != nullptr ? QB_CAN_MARKS : 0) |
           (Further().getDeviceInfo != nullptr && Further().setConfig != nullptr ? QB_CAN_DEVICES
                                                                                 : 0) |
           (Further().getInfo != nullptr && Further().getConfig != nullptr &&
                    Further().setConfig != nullptr
                ? QB_CAN_LATENCY
                : 0);
}

LRESULT SongCommand(CommandCall* call) {
    const EventTable* table = player.playback.events.load();
    if (table == nullptr) {
        return QB_FAIL_NO_SONG;
    }
    const double ms = MsFromBytes(SongEndBytes(table));
    // A path too long to leave room for the length gives no text: the controller cannot
    // compare it, and takes the load at its word.
    if (std::swprintf(call->text, QB_PAYLOAD_CHARS, L"%ls\t%.0f", loadedSong, ms) < 0) {
        call->text[0] = L'\0';
    }
    return static_cast<LRESULT>(table->eventCount & 0x7FFFFFFF);
}

// "SPEED [STEP LIMIT]"
LRESULT SetSpeedCommand(CommandCall* call) {
    const PayloadWords& words = call->words;
    double speed = 0;
    double step = 0;
    double limit = 0;
    if ((words.count != 1 && words.count != 3) || !PayloadNumber(words, 0, &speed) ||
        (words.count == 3 &&
         (!PayloadSignedNumber(words, 1, &step) || !PayloadNumber(words, 2, &limit)))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SetSpeed(&player, speed, step, limit);
}

// "SEMITONES [MASK]"
LRESULT SetTransposeCommand(CommandCall* call) {
    const PayloadWords& words = call->words;
    double semitones = 0;
    double channels = kTunedChannels;
    if (words.count < 1 || words.count > 2 || !PayloadSignedNumber(words, 0, &semitones) ||
        (words.count == 2 && !PayloadNumber(words, 1, &channels))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SetTranspose(&player, semitones, channels);
}

// "MUTED SOLOED"
LRESULT SetChannelMutesCommand(CommandCall* call) {
    double muted = 0;
    double soloed = 0;
    return TwoNumbers(call->words, &muted, &soloed) ? SetChannelMutes(&player, muted, soloed)
                                                    : QB_FAIL_BAD_PAYLOAD;
}

// "CHANNEL VOLUME"
LRESULT SetChannelVolumeCommand(CommandCall* call) {
    double channel = 0;
    double volume = 0;
    return TwoNumbers(call->words, &channel, &volume) ? SetChannelVolume(&player, channel, volume)
                                                      : QB_FAIL_BAD_PAYLOAD;
}

// "[speed] [key] [channels] [volumes]"; none: all of them.
LRESULT ClearControlsCommand(CommandCall* call) {
    constexpr struct {
        const wchar_t* word;
        ControlGroup group;
    } kGroups[] = {{L"speed", kControlSpeed},
                   {L"key", kControlKey},
                   {L"channels", kControlChannels},
                   {L"volumes", kControlVolumes}};
    const PayloadWords& words = call->words;
    uint32_t which = words.count == 0 ? uint32_t{kControlAll} : 0;
    for (size_t index = 0; index < words.count; ++index) {
        uint32_t named = 0;
        for (const auto& group : kGroups) {
            named |= PayloadWordIs(words, index, group.word) ? uint32_t{group.group} : 0;
        }
        if (named == 0) {
            return QB_FAIL_BAD_PAYLOAD;
        }
        which |= named;
    }
    return ClearEventControls(&player, which);
}

LRESULT ControlsCommand(CommandCall* call) {
    return DescribeEventControls(&player, call->text, QB_PAYLOAD_CHARS);
}

// "position" or "length"
LRESULT AtSpeedCommand(CommandCall* call) {
    const PayloadWords& words = call->words;
    if (words.count == 1 && PayloadWordIs(words, 0, L"position")) {
        return MsAtSpeed(&player, false);
    }
    if (words.count == 1 && PayloadWordIs(words, 0, L"length")) {
        return MsAtSpeed(&player, true);
    }
    return QB_FAIL_BAD_PAYLOAD;
}

// "N VALUE"
LRESULT SetParamCommand(CommandCall* call) {
    double index = 0;
    double value = 0;
    return TwoNumbers(call->words, &index, &value) ? SetParamValue(&player, index, value)
                                                   : QB_FAIL_BAD_PAYLOAD;
}

constexpr PayloadKind kWords = PayloadKind::Words;
constexpr PayloadKind kWhole = PayloadKind::Whole;

// The base commands (below 100) answer nothing through the result: their outcome is a
// report, or what the controller sees and hears. Those that change the song or the
// instrument end a render first; the extension commands that only ask, and the
// render's own, may run during one.
constexpr CommandEntry kCommands[] = {
    {QB_CODE_LOAD_SONG, kWhole, kGated | kEndsRender, LoadSongCommand},
    {QB_CODE_PLAY, kWhole, kGated | kEndsRender, Acting<Play>},
    {QB_CODE_STOP, kWhole, kGated | kEndsRender, Acting<Stop>},
    {QB_CODE_FREE_STREAM, kWhole, kGated | kEndsRender, Acting<FreeStream>},
    {QB_CODE_LOAD_PLUGIN, kWhole, kGated | kEndsRender, LoadPluginCommand},
    {QB_CODE_SHOW_EDITOR, kWhole, kGated | kDuringRender, Acting<ShowEditor>},
    {QB_CODE_CAPABILITIES, kWords, kDuringRender, CapabilitiesCommand},
    {QB_CODE_STATUS, kWords, kGated | kDuringRender, Asking<PlayerStatus>},
    {QB_CODE_PAUSE, kWords, kGated, Asking<Pause>},
    {QB_CODE_RESUME, kWords, kGated, Asking<Resume>},
    {QB_CODE_SET_VOLUME, kWords, kGated, SetVolumeCommand},
    {QB_CODE_GET_VOLUME, kWords, kGated | kDuringRender, Asking<VolumeNow>},
    {QB_CODE_LENGTH, kWords, kDuringRender, Asking<SongLengthMs>},
    {QB_CODE_POSITION, kWords, kGated | kDuringRender, Asking<PositionMs>},
    {QB_CODE_SEEK, kWords, kGated, SeekCommand},
    {QB_CODE_LOOP, kWords, kGated, LoopCommand},
    {QB_CODE_SAVE_STATE, kWhole, kGated, SaveStateCommand},
    {QB_CODE_LOAD_STATE, kWhole, kGated, LoadStateCommand},
    {QB_CODE_PROGRAM_COUNT, kWords, kGated, Asking<ProgramCount>},
    {QB_CODE_PROGRAM, kWords, kGated, Asking<CurrentProgramIndex>},
    {QB_CODE_SET_PROGRAM, kWords, kGated, SetProgramCommand},
    {QB_CODE_PROGRAM_NAME, kWords, kGated | kTextAnswer, ProgramNameCommand},
    {QB_CODE_PARAM_COUNT, kWords, kGated, Asking<ParamCount>},
    {QB_CODE_PARAM, kWords, kGated | kTextAnswer, ParamCommand},
    {QB_CODE_SET_PARAM, kWords, kGated, SetParamCommand},
    // Queued for the render thread to hand over: no call into the plug-in here.
    {QB_CODE_MIDI, kWhole, 0, MidiCommand},
    // Answered from what was taken at load: no call into the plug-in.
    {QB_CODE_PLUGIN_INFO, kWords, kDuringRender | kTextAnswer, PluginInfoCommand},
    {QB_CODE_HOST_VERSION, kWords, kDuringRender | kTextAnswer, HostVersionCommand},
    {QB_CODE_RENDER, kWhole, kGated | kDuringRender, RenderCommand},
    {QB_CODE_RENDER_STATUS, kWords, kDuringRender, AskingRender<RenderStatusCommand>},
    {QB_CODE_RENDER_PROGRESS, kWords, kDuringRender, AskingRender<RenderProgressCommand>},
    {QB_CODE_CANCEL_RENDER, kWords, kGated | kDuringRender, AskingRender<CancelRenderCommand>},
    {QB_CODE_SONG, kWords, kDuringRender | kTextAnswer, SongCommand},
    // The settings for the song's events: a render to a file takes them at its start.
    {QB_CODE_SET_SPEED, kWords, kGated, SetSpeedCommand},
    {QB_CODE_SET_TRANSPOSE, kWords, kGated, SetTransposeCommand},
    {QB_CODE_SET_CHANNEL_MUTES, kWords, kGated, SetChannelMutesCommand},
    {QB_CODE_SET_CHANNEL_VOLUME, kWords, kGated, SetChannelVolumeCommand},
    {QB_CODE_CLEAR_CONTROLS, kWords, kGated, ClearControlsCommand},
    {QB_CODE_CONTROLS, kWords, kDuringRender | kTextAnswer, ControlsCommand},
    {QB_CODE_AT_SPEED, kWords, kGated | kDuringRender, AtSpeedCommand},
    // The song's texts and musical time, kept since it was loaded.
    {QB_CODE_MARK, kWords, kDuringRender | kTextAnswer, MarkCommand},
    {QB_CODE_MUSIC_TIME, kWords, kDuringRender | kTextAnswer, MusicTimeCommand},
    {QB_CODE_BAR_POSITION, kWords, kGated | kDuringRender | kTextAnswer, BarPositionCommand},
    // Sets what the render call and the watch thread read: no call into the libraries.
    {QB_CODE_WATCH, kWords, kDuringRender, WatchCommand},
    {QB_CODE_DEVICE, kWords, kGated | kDuringRender | kTextAnswer, DeviceCommand},
    {QB_CODE_SET_DEVICE, kWhole, kGated | kDuringRender, SetDeviceCommand},
    {QB_CODE_SET_LATENCY, kWords, kGated | kDuringRender, SetLatencyCommand},
    {QB_CODE_LATENCY, kWords, kGated | kDuringRender | kTextAnswer, LatencyCommand},
    // Sets what the main thread reads when the device fails.
    {QB_CODE_DEVICE_POLICY, kWords, kDuringRender, DevicePolicyCommand},
};

} // namespace

void AppendAnswerText(CommandCall* call, UINT codePage, const char* text) {
    const size_t used = std::wcslen(call->text);
    const int room = static_cast<int>(QB_PAYLOAD_CHARS - used - 1);
    if (MultiByteToWideChar(codePage, 0, text, -1, call->text + used, room) == 0) {
        call->text[used] = L'\0'; // too long: the first part, ended
        MultiByteToWideChar(codePage, 0, text, room, call->text + used, room);
        call->text[QB_PAYLOAD_CHARS - 1] = L'\0';
    }
}

const CommandEntry* FindCommand(uint64_t code) {
    for (const CommandEntry& entry : kCommands) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

bool FinishFadeCommand() {
    return FinishFade(&player);
}
