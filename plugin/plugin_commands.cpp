#include "plugin/plugin_commands.h"

#include "player/instrument.h"
#include "plugin/instrument_controls.h"
#include "protocol/quillbrook_protocol.h"

namespace {

constexpr DWORD kEditorWindowStyle = WS_CAPTION | WS_SYSMENU;
constexpr int kEditorLeft = 100;
constexpr int kEditorTop = 100;

// The editor window's frame for a client area of the editor's size whose top-left
// corner lies at (100, 100).
RECT EditorFrame(const BASS_VST_INFO& info) {
    RECT frame = {kEditorLeft, kEditorTop, kEditorLeft + static_cast<LONG>(info.editorWidth),
                  kEditorTop + static_cast<LONG>(info.editorHeight)};
    AdjustWindowRect(&frame, kEditorWindowStyle, FALSE);
    return frame;
}

// The frame for a client area of `width` x `height`, without moving the window.
void ResizeEditorWindow(HWND window, DWORD width, DWORD height) {
    RECT frame = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    AdjustWindowRect(&frame, kEditorWindowStyle, FALSE);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

} // namespace

bool LoadPlugin(PlayerState* state, const wchar_t* path) {
    // The mixing thread lets go of the plug-in first, so nothing below waits for a
    // render call. Many editors crash when the window they live in dies first, so the
    // editor is closed before its window goes, and the plug-in is freed last.
    const DWORD old = UnpublishInstrument(state);
    if (state->editorWindow != nullptr && IsWindow(state->editorWindow)) {
        BASS_VST_EmbedEditor(old, nullptr);
        DestroyWindow(state->editorWindow);
    }
    state->editorWindow = nullptr;
    BASS_VST_ChannelFree(old);
    DropLiveMessages(&state->live);

    const DWORD instrument = LoadInstrument(state, path);
    WatchEditorSize(state, instrument);
    return state->instrumentInfo.hasEditor != 0;
}

void ShowEditor(PlayerState* state) {
    const DWORD instrument = state->playback.instrument.load();
    BASS_VST_INFO& info = state->instrumentInfo;
    if (instrument == 0 || info.hasEditor == 0) {
        return;
    }
    if (state->editorWindow == nullptr || !IsWindow(state->editorWindow)) {
        const RECT frame = EditorFrame(info);
        state->editorWindow = CreateWindowExW(
            0, QB_EDITOR_CLASS, L"", kEditorWindowStyle, frame.left, frame.top,
            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, nullptr, nullptr);
        BASS_VST_EmbedEditor(instrument, state->editorWindow);
        // A few plug-ins know their editor's size only once it is open.
        BASS_VST_INFO opened;
        if ((info.editorWidth == 0 || info.editorHeight == 0) &&
            DescribeInstrument(instrument, &opened)) {
            info.editorWidth = opened.editorWidth;
            info.editorHeight = opened.editorHeight;
            ResizeEditorWindow(state->editorWindow, info.editorWidth, info.editorHeight);
        }
    }
    ShowWindow(state->editorWindow, SW_SHOW);
}

void FitEditorToSize(PlayerState* state, DWORD width, DWORD height) {
    if (width != 0 && height != 0) {
        state->instrumentInfo.editorWidth = width;
        state->instrumentInfo.editorHeight = height;
    }
    if (state->editorWindow != nullptr && IsWindow(state->editorWindow) && width != 0 &&
        height != 0) {
        ResizeEditorWindow(state->editorWindow, width, height);
    }
}
