#include "host/copy_data.h"

#include <cstdlib>

#include "host/command_queue.h"
#include "host/command_table.h"
#include "host/device_loss.h"
#include "host/host_end.h"
#include "host/host_globals.h"
#include "host/host_names.h"
#include "host/payload.h"
#include "host/render_command.h"
#include "host/reports.h"
#include "plugin/plugin_commands.h"

namespace {

CommandQueue commands;

// How often a fade's end is looked at again while the volume still slides.
constexpr UINT kFadeRecheckMs = 20;
// How often a song that waits for its output device looks at it again.
constexpr UINT kDeviceRecheckMs = 250;

// Work the host does of its own accord, run through the queue like a command: a
// command that arrives meanwhile (inside a wait for the render thread, say) waits
// until it is done instead of running in the middle of it.
enum class Deferred { None, FinishFade, FinishRender, ResizeEditor, RecoverDevice };

// The editor's newest size, kept until the resize can run.
DWORD resizedWidth;
DWORD resizedHeight;

// What one delivery of a copy-data message (or of deferred work) gives back.
struct Delivery {
    LRESULT answer;
    HWND sender;       // where a text answer goes
    Deferred deferred; // run first, then what queued up meanwhile
    bool finished;     // the fade's end, or the device's recovery, is done
};

// Runs a command's row of the table: ends a render first when it says so, splits the
// payload into words when the command takes words, and runs the handler inside the gate
// when it calls the libraries or the plug-in.
LRESULT RunEntry(const CommandEntry& entry, const void* data, uint32_t byteCount, HWND sender) {
    wchar_t payload[kPayloadChars];
    wchar_t text[kPayloadChars] = L"";
    const size_t length = DecodePayload(data, byteCount, payload, kPayloadChars);
    // A path that does not fit is never used cut short: it could name another file.
    CommandCall call = {
        length < kPayloadChars ? payload : nullptr, {}, data, byteCount, length, sender, text};
    const bool extension = entry.code >= QB_CODE_CAPABILITIES;
    if (extension && (call.payload == nullptr || (entry.payload == PayloadKind::Words &&
                                                  !SplitPayloadWords(call.payload, &call.words)))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    const bool gated = (entry.flags & kGated) != 0;
    if (gated) {
        EnterGate(&player);
    }
    if ((entry.flags & kEndsRender) != 0) {
        CancelRender();
    }
    const LRESULT answer = entry.run(&call);
    if (gated) {
        ExitGate(&player);
    }
    if ((entry.flags & kTextAnswer) != 0 && answer >= 0) {
        SendTextAnswer(sender, static_cast<ULONG_PTR>(entry.code), text);
    }
    return answer;
}

// Runs a command, or the commands that queued up meanwhile, in order. An extension
// command (never queued) leaves its answer in the delivery.
void RunCommand(uint64_t code, const void* data, uint32_t byteCount, void* context) {
    auto* delivery = static_cast<Delivery*>(context);
    const Deferred deferred = delivery->deferred;
    delivery->deferred = Deferred::None;
    if (deferred == Deferred::ResizeEditor) {
        FitEditorToSize(&player, resizedWidth, resizedHeight); // the window only: no gate
    } else if (deferred != Deferred::None) {
        EnterGate(&player);
        if (deferred == Deferred::FinishFade) {
            delivery->finished = FinishFadeCommand();
        } else if (deferred == Deferred::RecoverDevice) {
            delivery->finished = RecoverDevice();
        } else {
            FinishRender();
        }
        ExitGate(&player);
    } else if (const CommandEntry* entry = FindCommand(code)) {
        delivery->answer = RunEntry(*entry, data, byteCount, delivery->sender);
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
    const CommandEntry* entry = FindCommand(copied->dwData);
    if (copied->dwData >= QB_CODE_CAPABILITIES &&
        (commands.running ||
         (RenderUnderWay() && (entry == nullptr || (entry->flags & kDuringRender) == 0)))) {
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
    if (!delivery.finished) {
        SetTimer(window, kFadeTimerId, kFadeRecheckMs, nullptr);
    }
}

namespace {

// Runs work of the host's own through the queue, or, while a command is in progress,
// looks again when its timer comes round.
bool RunWhenNoCommand(HWND window, UINT_PTR timer, Deferred deferred) {
    KillTimer(window, timer);
    if (commands.running) {
        SetTimer(window, timer, kFadeRecheckMs, nullptr);
        return true;
    }
    Delivery delivery = {0, nullptr, deferred, false};
    RunEndingOnCrash(RunDeferred, &delivery);
    return delivery.finished;
}

} // namespace

void OnRenderEnded(HWND window) {
    RunWhenNoCommand(window, kRenderTimerId, Deferred::FinishRender);
}

void OnEditorResized(HWND window, DWORD width, DWORD height) {
    resizedWidth = width;
    resizedHeight = height;
    OnResizeTimer(window);
}

void OnResizeTimer(HWND window) {
    RunWhenNoCommand(window, kResizeTimerId, Deferred::ResizeEditor);
}

void OnDeviceTimer(HWND window) {
    if (!RunWhenNoCommand(window, kDeviceTimerId, Deferred::RecoverDevice)) {
        SetTimer(window, kDeviceTimerId, kDeviceRecheckMs, nullptr);
    }
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
