#include "copy_data.h"

#include <cstdlib>

#include "../player/song_commands.h"
#include "../plugin/plugin_commands.h"
#include "host_globals.h"
#include "payload.h"

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

// The song report repeats the payload as sent, also one too long to act on.
void ReportSong(const COPYDATASTRUCT* record, const wchar_t* text, size_t length) {
    if (length < kPayloadChars) {
        SetWindowTextW(songReportWindow, text);
        return;
    }
    auto* whole = static_cast<wchar_t*>(std::malloc((length + 1) * sizeof(wchar_t)));
    if (whole == nullptr) {
        return;
    }
    DecodePayload(record->lpData, record->cbData, whole, length + 1);
    SetWindowTextW(songReportWindow, whole);
    std::free(whole);
}

} // namespace

void HandleCopyData(const COPYDATASTRUCT* record) {
    if (record == nullptr) {
        return;
    }
    wchar_t text[kPayloadChars];
    const size_t length = DecodePayload(record->lpData, record->cbData, text, kPayloadChars);
    // A path that does not fit is never used cut short: it could name another file.
    const wchar_t* path = length < kPayloadChars ? text : nullptr;

    switch (record->dwData) {
    case kLoadSong:
        LoadSong(&player, path);
        ReportSong(record, text, length);
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
        SetWindowTextW(editorReportWindow, LoadPlugin(&player, path) ? L"TRUE" : L"FALSE");
        break;
    case kShowEditor:
        ShowEditor(&player);
        break;
    case kQuit:
        ExitProcess(0);
    default:
        break;
    }
}
