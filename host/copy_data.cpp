#include "copy_data.h"

#include <cstdlib>

#include "../player/song_commands.h"
#include "../plugin/plugin_commands.h"
#include "command_queue.h"
#include "host_end.h"
#include "host_globals.h"
#include "payload.h"
#include "reports.h"

namespace {

enum CommandCode : ULONG_PTR {
    kLoadSong = 1,
    kPlay = 2,
    kStop = 3,
    kFreeStream = 4,
    kLoadPlugin = 5,
    kShowEditor = 6,
    kQuit = 7,
};

CommandQueue commands;

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

void RunCommand(uint64_t code, const void* data, uint32_t byteCount, void* /*context*/) {
    wchar_t text[kPayloadChars];
    const size_t length = DecodePayload(data, byteCount, text, kPayloadChars);
    // A path that does not fit is never used cut short: it could name another file.
    const wchar_t* path = length < kPayloadChars ? text : nullptr;

    switch (code) {
    case kLoadSong:
        LoadSong(&player, path);
        ReportSong(data, byteCount, text, length);
        break;
    case kPlay:
        Play(&player);
        break;
    case kStop:
        Stop(&player);
        break;
    case kFreeStream:
        FreeStream(&player);
        break;
    case kLoadPlugin:
        SendReport(editorReportWindow, LoadPlugin(&player, path) ? L"TRUE" : L"FALSE");
        break;
    case kShowEditor:
        ShowEditor(&player);
        break;
    default:
        break;
    }
    // The plug-in's code may have put a crash handler of its own in place.
    EndHostOnCrash();
}

void SubmitCopyData(void* record) {
    const auto* copied = static_cast<const COPYDATASTRUCT*>(record);
    SubmitCommand(&commands, copied->dwData, copied->lpData, copied->cbData, RunCommand, nullptr);
}

} // namespace

void HandleCopyData(const COPYDATASTRUCT* record) {
    if (record == nullptr) {
        return;
    }
    // Quit acts at once, also while another command is in progress.
    if (record->dwData == kQuit) {
        EndHost(0);
    }
    RunEndingOnCrash(SubmitCopyData, const_cast<COPYDATASTRUCT*>(record));
}
