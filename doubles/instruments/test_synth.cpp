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
// the search path, and crashes when it finds one). Every one has the programs and
// parameters of synth_programs.h; QB_CHUNKS gives it the bank as a chunk too, and
// QB_RESIZE_AFTER_MS has its editor grow that long after opening, and QB_INITIAL_DELAY
// delays its sound by that many frames (and says so), and QB_SLOW_THREAD_END=MS makes
// every thread of the process that ends take that long over it.
#include <atomic>
#include <cstdio>
#include <cwchar>

#include "doubles/standin/library_constants.h"
#include "doubles/standin/plugin_interface.h"
#include "doubles/instruments/synth_editor.h"
#include "doubles/instruments/synth_engine.h"
#include "doubles/instruments/synth_programs.h"

#ifndef QB_INITIAL_DELAY
#define QB_INITIAL_DELAY 0
#endif

namespace {

struct Synth {
    SynthEngine engine;
    SynthEditor editor;
    std::atomic<HWND> openEditor{nullptr}; // read by the mixing thread
    // Changed only under the library's processing lock, as the engine is.
    SynthBank bank;
    QbSizeEditorProc sizeEditor;
    void* hostData;
    float delayLine[2 * QB_INITIAL_DELAY + 2]; // the last frames made, not yet given
    uint32_t delayAt;
};

// Gives the frames made QB_INITIAL_DELAY frames ago in place of those just made.
void Delay(Synth* synth, float* frames, DWORD frameCount) {
    for (DWORD i = 0; QB_INITIAL_DELAY > 0 && i < 2 * frameCount; ++i) {
        const float made = frames[i];
        frames[i] = synth->delayLine[synth->delayAt];
        synth->delayLine[synth->delayAt] = made;
        if (++synth->delayAt == 2 * QB_INITIAL_DELAY) {
            synth->delayAt = 0;
        }
    }
}

void UseProgram(Synth* synth) {
    synth->engine.SetTone(SynthLevel(synth->bank), SynthTranspose(synth->bank));
}

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
    auto* synth =
        new Synth{SynthEngine(sampleRate), SynthEditor(), {nullptr}, {}, nullptr, nullptr, {}, 0};
    InitSynthBank(&synth->bank);
    UseProgram(synth);
    return synth;
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
    Delay(synth, frames, frameCount);
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

#ifdef QB_RESIZE_AFTER_MS
constexpr UINT_PTR kResizeTimer = 0x5151;
constexpr int kGrowWidth = 160;
constexpr int kGrowHeight = 90;
Synth* g_resizing = nullptr; // the one whose editor is to grow

// Grows the editor and asks the library to tell the host, as an editor does when the
// user opens a panel of it.
void CALLBACK GrowEditor(HWND editor, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
    KillTimer(editor, timer);
    Synth* synth = g_resizing;
    if (synth == nullptr || synth->openEditor.load() != editor) {
        return;
    }
    const int width = QB_EDITOR_WIDTH + kGrowWidth;
    const int height = QB_EDITOR_HEIGHT + kGrowHeight;
    SetWindowPos(editor, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
    if (synth->sizeEditor != nullptr) {
        synth->sizeEditor(synth->hostData, width, height);
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
#ifdef QB_RESIZE_AFTER_MS
    g_resizing = synth;
    SetTimer(editor, kResizeTimer, QB_RESIZE_AFTER_MS, GrowEditor);
#endif
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

float WINAPI GetParam(void* instance, DWORD index) {
    const SynthBank& bank = static_cast<Synth*>(instance)->bank;
    return index < kSynthParams ? bank.programs[bank.current].values[index] : 0.0f;
}

void WINAPI SetParam(void* instance, DWORD index, float value) {
    Synth* synth = static_cast<Synth*>(instance);
    if (index < kSynthParams && value >= 0.0f && value <= 1.0f) {
        synth->bank.programs[synth->bank.current].values[index] = value;
        UseProgram(synth);
    }
}

void WINAPI DescribeParam(void* instance, DWORD index, char* name, char* unit, char* display) {
    DescribeSynthParam(static_cast<Synth*>(instance)->bank, index, name, unit, display);
}

DWORD WINAPI GetProgram(void* instance) {
    return static_cast<Synth*>(instance)->bank.current;
}

void WINAPI SetProgram(void* instance, DWORD index) {
    Synth* synth = static_cast<Synth*>(instance);
    if (index < kSynthPrograms) {
        synth->bank.current = index;
        UseProgram(synth);
    }
}

void WINAPI ProgramName(void* instance, DWORD index, char* name) {
    const SynthBank& bank = static_cast<Synth*>(instance)->bank;
    std::snprintf(name, QB_PLUGIN_NAME_CHARS, "%s",
                  index < kSynthPrograms ? bank.programs[index].name : "");
}

#ifdef QB_CHUNKS
// QB_SYNTH_CHUNK_PAD bytes after the bank make the chunk as large as a sampler's.
DWORD ChunkPadding() {
    wchar_t text[16] = L"";
    const DWORD length = GetEnvironmentVariableW(L"QB_SYNTH_CHUNK_PAD", text, 16);
    return length > 0 && length < 16 ? static_cast<DWORD>(_wtoi(text)) : 0;
}

DWORD WINAPI GetChunk(void* instance, void* buffer, DWORD capacity) {
    const DWORD size = kSynthChunkBytes + ChunkPadding();
    if (buffer != nullptr && capacity >= size) {
        auto* bytes = static_cast<uint8_t*>(buffer);
        WriteSynthChunk(static_cast<Synth*>(instance)->bank, bytes);
        for (DWORD i = kSynthChunkBytes; i < size; ++i) {
            bytes[i] = static_cast<uint8_t>(i * 7);
        }
    }
    return size;
}

BOOL WINAPI SetChunk(void* instance, const void* chunk, DWORD length) {
    Synth* synth = static_cast<Synth*>(instance);
    if (length < kSynthChunkBytes ||
        !ReadSynthChunk(&synth->bank, static_cast<const uint8_t*>(chunk), kSynthChunkBytes)) {
        return FALSE;
    }
    UseProgram(synth);
    return TRUE;
}
#endif

void WINAPI AttachHost(void* instance, QbSizeEditorProc sizeEditor, void* hostData) {
    Synth* synth = static_cast<Synth*>(instance);
    synth->sizeEditor = sizeEditor;
    synth->hostData = hostData;
}

#ifndef QB_SYNTH_VERSION
#define QB_SYNTH_VERSION 1
#endif
#ifndef QB_SYNTH_ID
#define QB_SYNTH_ID 0x51424B31 // "QBK1"
#endif

const QbPluginTable kTable = {
    QB_PLUGIN_INTERFACE_VERSION,
    QB_SYNTH_NAME,
    QB_SYNTH_ID,
    QB_EDITOR_WIDTH,
    QB_EDITOR_HEIGHT,
    Create,
    ProcessEvent,
    Render,
    QB_EDITOR_WIDTH != 0 ? OpenEditor : nullptr,
    Destroy,
    QB_EDITOR_WIDTH != 0 ? CloseEditor : nullptr,
    kFlags,
    kSynthParams,
    GetParam,
    SetParam,
    DescribeParam,
    kSynthPrograms,
    GetProgram,
    SetProgram,
    ProgramName,
#ifdef QB_CHUNKS
    GetChunk,
    SetChunk,
#else
    nullptr,
    nullptr,
#endif
    AttachHost,
    QB_SYNTH_VERSION,
    QB_INITIAL_DELAY,
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
#ifdef QB_SLOW_THREAD_END
    if (reason == DLL_THREAD_DETACH) {
        Sleep(QB_SLOW_THREAD_END); // every thread of the process takes this long to end
    }
#endif
    static_cast<void>(reserved);
    return TRUE;
}
