#include "host/copy_data.h"

#include <cstdlib>

#include "player/song_commands.h"
#include "plugin/plugin_commands.h"
#include "host/command_queue.h"
#include "host/host_end.h"
#include "host/host_globals.h"
#include "host/payload.h"
#include "host/reports.h"

namespace {

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
    if (record->dwData == QB_CODE_QUIT) {
        EndHost(0);
    }
    RunEndingOnCrash(SubmitCopyData, const_cast<COPYDATASTRUCT*>(record));
}
