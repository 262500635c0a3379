// A test instrument for the stand-in bass_vst.dll. Built several times with different
// settings: QB_EDITOR_WIDTH and QB_EDITOR_HEIGHT (0 for no editor), QB_CRASH_KEY (a key
// whose note-on ends the process with an access violation, 128 for none), QB_SYNTH_NAME,
// and optionally QB_RENDER_MS (each render call takes that long), QB_HANG_ON_LOAD or
// QB_HANG_IN_EDITOR (that call never returns), QB_SIZE_WHEN_OPEN (the editor's size
// is known only once it is open), QB_SEND_TO_EDITOR (each render call, made on the
// mixing thread, sends a message to the open editor and waits for its answer),
// QB_LOOP_IN_EDITOR_MS (opening the editor first runs a message loop that long, like
// a licence dialog), QB_HANG_ON_EXIT (the library's detach at the process's exit
// never returns) and QB_PLANTED_LIBRARY (loading looks for a library of that name on
// the search path, and crashes when it finds one).
#include <atomic>

#include "doubles/standin/library_constants.h"
#include "doubles/standin/plugin_interface.h"
#include "doubles/instruments/synth_editor.h"
#include "doubles/instruments/synth_engine.h"

namespace {

struct Synth {
    SynthEngine engine;
    SynthEditor editor;
    std::atomic<HWND> openEditor{nullptr}; // read by the mixing thread
};

#ifndef QB_RENDER_MS
#define QB_RENDER_MS 0
#endif
#ifdef QB_SIZE_WHEN_OPEN
constexpr DWORD kFlags = QB_PLUGIN_SIZE_WHEN_OPEN;
#else
constexpr DWORD kFlags = 0;
#endif

HINSTANCE g_module = nullptr;

void* WINAPI Create(DWORD sampleRate) {
#ifdef QB_HANG_ON_LOAD
    Sleep(INFINITE);
#endif
#ifdef QB_PLANTED_LIBRARY
    // A dependency looked up by name, as plug-ins load their runtimes: one planted in
    // a folder the host must not search shows as a crash.
    if (LoadLibraryW(QB_PLANTED_LIBRARY) != nullptr) {
        *static_cast<volatile int*>(nullptr) = 0; // NOLINT(clang-analyzer-core.NullDereference)
    }
#endif
    return new Synth{SynthEngine(sampleRate), SynthEditor(), {nullptr}};
}

void WINAPI ProcessEvent(void* instance, DWORD channel, DWORD event, DWORD param) {
    if (QB_CRASH_KEY < 128 && event == kEventNote && (param & 0x7F) == QB_CRASH_KEY &&
        (param >> 8 & 0x7F) != 0) {
        // Crash-isolation tests want exactly this: an access violation on the mixing thread.
        *static_cast<volatile int*>(nullptr) = 0; // NOLINT(clang-analyzer-core.NullDereference)
    }
    static_cast<Synth*>(instance)->engine.Event(channel, event, param);
}

void WINAPI Render(void* instance, float* frames, DWORD frameCount) {
    if (QB_RENDER_MS > 0) {
        Sleep(QB_RENDER_MS);
    }
    Synth* synth = static_cast<Synth*>(instance);
#ifdef QB_SEND_TO_EDITOR
    // A preset display updated from the audio thread: blocks until the user-interface
    // thread handles the message.
    if (HWND editor = synth->openEditor.load()) {
        SendMessageW(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"preset"));
    }
#endif
    synth->engine.Render(frames, frameCount);
}

#ifdef QB_LOOP_IN_EDITOR_MS
// Handles every message of the thread for a while, as a modal dialog would.
void RunModalLoop(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
#endif

HWND WINAPI OpenEditor(void* instance, HWND parent) {
#ifdef QB_HANG_IN_EDITOR
    Sleep(INFINITE);
#endif
#ifdef QB_LOOP_IN_EDITOR_MS
    RunModalLoop(QB_LOOP_IN_EDITOR_MS);
#endif
    Synth* synth = static_cast<Synth*>(instance);
    const HWND editor =
        synth->editor.Open(g_module, parent, QB_EDITOR_WIDTH, QB_EDITOR_HEIGHT, &synth->engine);
    synth->openEditor.store(editor);
    return editor;
}

void WINAPI CloseEditor(void* instance) {
    Synth* synth = static_cast<Synth*>(instance);
    synth->openEditor.store(nullptr);
    synth->editor.Close();
}

void WINAPI Destroy(void* instance) {
    Synth* synth = static_cast<Synth*>(instance);
    synth->openEditor.store(nullptr);
    synth->editor.Close();
    delete synth;
}

const QbPluginTable kTable = {
    QB_PLUGIN_INTERFACE_VERSION,
    QB_SYNTH_NAME,
    0x51424B31, // "QBK1"
    QB_EDITOR_WIDTH,
    QB_EDITOR_HEIGHT,
    Create,
    ProcessEvent,
    Render,
    QB_EDITOR_WIDTH != 0 ? OpenEditor : nullptr,
    Destroy,
    QB_EDITOR_WIDTH != 0 ? CloseEditor : nullptr,
    kFlags,
};

} // namespace

extern "C" __declspec(dllexport) const QbPluginTable* WINAPI QbPluginEntry() {
    return &kTable;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
    } else if (reason == DLL_PROCESS_DETACH) {
#ifdef QB_HANG_ON_EXIT
        if (reserved != nullptr) { // the process is ending, not the library unloaded
            Sleep(INFINITE);
        }
#endif
        SynthEditor::ForgetClass(module);
    }
    static_cast<void>(reserved);
    return TRUE;
}
