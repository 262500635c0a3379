// A test instrument for the stand-in bass_vst.dll. Built several times with different
// settings: QB_EDITOR_WIDTH and QB_EDITOR_HEIGHT (0 for no editor), QB_CRASH_KEY (a key
// whose note-on ends the process with an access violation, 128 for none), QB_SYNTH_NAME,
// and optionally QB_RENDER_MS (each render call takes that long), QB_HANG_ON_LOAD or
// QB_HANG_IN_EDITOR (that call never returns) and QB_SIZE_WHEN_OPEN (the editor's size
// is known only once it is open).
#include "../audio/audio_constants.h"
#include "../standin/plugin_interface.h"
#include "synth_editor.h"
#include "synth_engine.h"

namespace {

struct Synth {
    SynthEngine engine;
    SynthEditor editor;
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
    return new Synth{SynthEngine(sampleRate), SynthEditor()};
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
    static_cast<Synth*>(instance)->engine.Render(frames, frameCount);
}

HWND WINAPI OpenEditor(void* instance, HWND parent) {
#ifdef QB_HANG_IN_EDITOR
    Sleep(INFINITE);
#endif
    Synth* synth = static_cast<Synth*>(instance);
    return synth->editor.Open(g_module, parent, QB_EDITOR_WIDTH, QB_EDITOR_HEIGHT, &synth->engine);
}

void WINAPI CloseEditor(void* instance) {
    static_cast<Synth*>(instance)->editor.Close();
}

void WINAPI Destroy(void* instance) {
    Synth* synth = static_cast<Synth*>(instance);
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

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void* /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
    } else if (reason == DLL_PROCESS_DETACH) {
        SynthEditor::ForgetClass(module);
    }
    return TRUE;
}
