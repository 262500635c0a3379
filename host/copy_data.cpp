#include "host/copy_data.h"

#include <cstdlib>

#include "player/song_commands.h"
#include "plugin/plugin_commands.h"
#include "host/command_queue.h"
#include "host/extension_commands.h"
#include "host/host_end.h"
#include "host/host_globals.h"
#include "host/host_names.h"
#include "host/payload.h"
#include "host/render_command.h"
#include "host/reports.h"

namespace {

CommandQueue commands;

// How often a fade's end is looked at again while the volume still slides.
constexpr UINT kFadeRecheckMs = 20;

// The song report repeats the payload as sent, also one too long to act on.
void ReportSong(const void* data, uint32_t byteCount, const wchar_t* text, size_t length) {
    if (length < kPayloadChars) {
        SendReport(songReportWindow, text);
        return;
    }
    auto* whole = static_cast<wchar_t*>(std::malloc((length + 1) * sizeof(wchar_t)));
    if (whole == nullptr) {
        return;
    }
    DecodePayload(data, byteCount, whole, length + 1);
    SendReport(songReportWindow, whole);
    std::free(whole);
}

// Work the host does of its own accord, run through the queue like a command: a
// command that arrives meanwhile (inside a wait for the render thread, say) waits
// until it is done instead of running in the middle of it.
enum class Deferred { None, FinishFade, FinishRender };

// What one delivery of a copy-data message (or of deferred work) gives back.
struct Delivery {
    LRESULT answer;
    HWND sender;       // where a text answer goes
    Deferred deferred; // run first, then what queued up meanwhile
    bool fadeFinished;
};

// Runs a command, or the commands that queued up meanwhile, in order. An extension
// command (never queued) leaves its answer in the delivery.
void RunCommand(uint64_t code, const void* data, uint32_t byteCount, void* context) {
    auto* delivery = static_cast<Delivery*>(context);
    const Deferred deferred = delivery->deferred;
    delivery->deferred = Deferred::None;
    if (deferred == Deferred::FinishFade) {
        delivery->fadeFinished = FinishFadeCommand();
        return;
    }
    if (deferred == Deferred::FinishRender) {
        FinishRender();
        return;
    }
    wchar_t text[kPayloadChars];
    const size_t length = DecodePayload(data, byteCount, text, kPayloadChars);
    // A path that does not fit is never used cut short: it could name another file.
    const wchar_t* path = length < kPayloadChars ? text : nullptr;

    // A base command that changes the song or the instrument ends a render first.
    if (code >= QB_CODE_LOAD_SONG && code <= QB_CODE_LOAD_PLUGIN) {
        CancelRender();
    }
    switch (code) {
    case QB_CODE_LOAD_SONG:
        LoadSong(&player, path);
        ReportSong(data, byteCount, text, length);
        break;
    case QB_CODE_PLAY:
        Play(&player);
        break;
    case QB_CODE_STOP:
        Stop(&player);
        break;
    case QB_CODE_FREE_STREAM:
        FreeStream(&player);
        break;
    case QB_CODE_LOAD_PLUGIN:
        SendReport(editorReportWindow,
                   LoadPlugin(&player, path) ? QB_REPORT_HAS_EDITOR : QB_REPORT_NO_EDITOR);
        break;
    case QB_CODE_SHOW_EDITOR:
        ShowEditor(&player);
        break;
    default:
        if (code >= QB_CODE_CAPABILITIES) {
            delivery->answer = RunExtensionCommand(code, path, delivery->sender);
        }
        break;
    }
    // The plug-in's code may have put a crash handler of its own in place.
    EndHostOnCrash();
}

struct Message {
    const COPYDATASTRUCT* record;
    HWND sender;
    LRESULT answer;
};

// An extension command answers through the message's result, so it is never queued:
// sent while another command is in progress it is refused.
void Deliver(void* context) {
    auto* message = static_cast<Message*>(context);
    const COPYDATASTRUCT* copied = message->record;
    if (copied->dwData >= QB_CODE_CAPABILITIES &&
        (commands.running || (RenderUnderWay() && !AllowedWhileRendering(copied->dwData)))) {
        message->answer = QB_FAIL_BUSY;
        return;
    }
    Delivery delivery = {0, message->sender, Deferred::None, false};
    SubmitCommand(&commands, copied->dwData, copied->lpData, copied->cbData, RunCommand, &delivery);
    message->answer = delivery.answer;
}

void RunDeferred(void* context) {
    SubmitCommand(&commands, 0, nullptr, 0, RunCommand, context);
}

} // namespace

void OnFadeTimer(HWND window) {
    KillTimer(window, kFadeTimerId);
    // A fade that ends with a stop would take the song from under a render.
    if (RenderUnderWay()) {
        SetTimer(window, kFadeTimerId, kFadeRecheckMs, nullptr);
        return;
    }
    // Not inside another command: the fade's end waits until that one is done.
    Delivery delivery = {0, nullptr, Deferred::FinishFade, false};
    if (!commands.running) {
        RunEndingOnCrash(RunDeferred, &delivery);
    }
    if (!delivery.fadeFinished) {
        SetTimer(window, kFadeTimerId, kFadeRecheckMs, nullptr);
    }
}

void OnRenderEnded(HWND window) {
    KillTimer(window, kRenderTimerId);
    // Not inside another command: live playback is put back once that one is done.
    if (commands.running) {
        SetTimer(window, kRenderTimerId, kFadeRecheckMs, nullptr);
        return;
    }
    Delivery delivery = {0, nullptr, Deferred::FinishRender, false};
    RunEndingOnCrash(RunDeferred, &delivery);
}

LRESULT HandleCopyData(HWND sender, const COPYDATASTRUCT* record) {
    if (record == nullptr) {
        return 0;
    }
    // Quit acts at once, also while another command is in progress.
    if (record->dwData == QB_CODE_QUIT) {
        EndHost(0);
    }
    Message message = {record, sender, 0};
    RunEndingOnCrash(Deliver, &message);
    return message.answer;
}
