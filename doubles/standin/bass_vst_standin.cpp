// Stand-in bass_vst.dll: loads a test instrument (a DLL with our own small plug-in
// interface) and makes it a decoding stream of bass.dll, read by the host through
// BASS_ChannelGetData as with a real instrument.
#define QB_AUDIO_API __declspec(dllexport)
#include "doubles/standin/library_constants.h"
#include "audio/bass_api.h"
#include "audio/bass_further_api.h"
#include "doubles/standin/plugin_interface.h"
#include "doubles/standin/standin_env.h"
#include "doubles/standin/trace.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr DWORD kHostVstVersion = 2400;
constexpr size_t kMaxInstruments = 32;

// The library queues events for the instrument's next processing call, at most this
// many; more are refused.
constexpr size_t kMaxQueuedEvents = 2048;

struct QueuedEvent {
    DWORD channel;
    DWORD event;
    DWORD param;
};

struct Instrument {
    HMODULE module;
    const QbPluginTable* table;
    void* instance;
    HSTREAM stream; // also the instrument's handle
    QWORD renderedBytes;
    HWND editor;          // the open editor's window; user-interface thread only
    std::mutex queueLock; // the queue's own, not the processing lock
    std::vector<QueuedEvent> queue;
    std::vector<char> chunk; // the buffer GetChunk gives, reused by its next call
    // The host's callback, and the editor's size once the instrument has resized it;
    // user-interface thread only.
    VSTPROC* callback;
    void* callbackUser;
    DWORD resizedWidth;
    DWORD resizedHeight;
};

// Guards the list and every call into an instance. The mixing thread takes it inside
// bass.dll's lock (rendering, events from the render callback); no code here calls
// bass.dll while holding it, so the two locks are always taken in that order. In
// no-wait mode (QB_NO_WAIT=1) calls into an instance are made without it, so freeing
// an instrument does not wait for a render or an event in progress.
std::mutex g_instrumentLock;

bool NoWait() {
    static const bool noWait = EnvNumber(L"QB_NO_WAIT", 0) == 1;
    return noWait;
}

// Holds the lock for a call into an instance, unless in no-wait mode.
std::unique_lock<std::mutex> InstanceLock() {
    return NoWait() ? std::unique_lock<std::mutex>(g_instrumentLock, std::defer_lock)
                    : std::unique_lock<std::mutex>(g_instrumentLock);
}
std::vector<Instrument*> g_instruments(kMaxInstruments, nullptr);

// The list entry of the instrument with this handle, or null. Call with the lock held.
Instrument** FindSlot(DWORD handle) {
    for (Instrument*& slot : g_instruments) {
        if (handle != 0 && slot != nullptr && slot->stream == handle) {
            return &slot;
        }
    }
    return nullptr;
}

Instrument* FindInstrument(DWORD handle) {
    Instrument** slot = FindSlot(handle);
    return slot != nullptr ? *slot : nullptr;
}

constexpr DWORD kRefusedChunk = 0xFFFFFFFF;
constexpr unsigned long long kUnixEpochTicks = 116444736000000000ull; // 100 ns since 1601
constexpr double kTicksPerMs = 10000.0;

// The event a short MIDI message (status << 16 | data1 << 8 | data2) stands for; event 0
// for one without an event of its own.
QueuedEvent EventOfShortMessage(DWORD packed) {
    const DWORD status = packed >> 16 & 0xFF;
    const DWORD data1 = packed >> 8 & 0x7F;
    const DWORD data2 = packed & 0x7F;
    const DWORD channel = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80:
        return {channel, kEventNote, data1};
    case 0x90:
        return {channel, kEventNote, data1 | data2 << 8};
    case 0xC0:
        return {channel, kEventProgram, data1};
    case 0xD0:
        return {channel, kEventChannelPressure, data1};
    case 0xE0:
        return {channel, kEventPitchBend, data1 | data2 << 7};
    case 0xB0:
        switch (data1) {
        case 7:
            return {channel, kEventVolume, data2};
        case 64:
            return {channel, kEventSustain, data2};
        case 120:
            return {channel, kEventSoundOff, 0};
        case 121:
            return {channel, kEventResetControllers, 0};
        case 123:
            return {channel, kEventAllNotesOff, 0};
        default:
            return {channel, 0, 0};
        }
    default:
        return {channel, 0, 0};
    }
}

// Queues an event for the next processing call, unless the queue is full.
bool QueueEvent(Instrument* instrument, const QueuedEvent& event) {
    std::lock_guard<std::mutex> queueLock(instrument->queueLock);
    if (instrument->queue.size() >= kMaxQueuedEvents) {
        return false;
    }
    instrument->queue.push_back(event);
    return true;
}

// Hands the queued events to the instance; they all take effect at the first sample.
void DeliverQueuedEvents(Instrument* instrument) {
    std::vector<QueuedEvent> events;
    {
        std::lock_guard<std::mutex> lock(instrument->queueLock);
        events.swap(instrument->queue);
    }
    for (const QueuedEvent& event : events) {
        instrument->table->processEvent(instrument->instance, event.channel, event.event,
                                        event.param);
    }
}

DWORD CALLBACK RenderInstrument(HSTREAM /*handle*/, void* buffer, DWORD length, void* user) {
    auto* instrument = static_cast<Instrument*>(user);
    const std::unique_lock<std::mutex> lock = InstanceLock();
    DeliverQueuedEvents(instrument);
    const DWORD frames = length / kBytesPerFrame;
    instrument->table->render(instrument->instance, static_cast<float*>(buffer), frames);
    const size_t whole = size_t{frames} * kBytesPerFrame;
    std::memset(static_cast<char*>(buffer) + whole, 0, length - whole);
    instrument->renderedBytes += length;
    return length;
}

HMODULE LoadInstrumentModule(const void* file, DWORD flags) {
    if (file == nullptr) {
        return nullptr;
    }
    // No error boxes for a file that is not a library.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = (flags & kFlagUnicode) != 0
                               ? LoadLibraryW(static_cast<const wchar_t*>(file))
                               : LoadLibraryA(static_cast<const char*>(file));
    SetErrorMode(oldMode);
    return module;
}

const QbPluginTable* PluginTable(HMODULE module) {
    const auto entry = reinterpret_cast<QbPluginEntryProc>(
        reinterpret_cast<void*>(GetProcAddress(module, QB_PLUGIN_ENTRY_NAME)));
    const QbPluginTable* table = entry != nullptr ? entry() : nullptr;
    if (table == nullptr || table->interfaceVersion != QB_PLUGIN_INTERFACE_VERSION ||
        table->create == nullptr || table->processEvent == nullptr || table->render == nullptr ||
        table->destroy == nullptr ||
        (table->openEditor != nullptr) != (table->closeEditor != nullptr)) {
        return nullptr;
    }
    return table;
}

constexpr DWORD kActionEditorResized = 2;

// The instrument asks for its editor to be resized: the host hears of it at once, on
// the instrument's thread, and GetInfo gives the new size from then on.
void WINAPI SizeEditor(void* hostData, DWORD width, DWORD height) {
    auto* instrument = static_cast<Instrument*>(hostData);
    instrument->resizedWidth = width;
    instrument->resizedHeight = height;
    TraceCall("EDITOR handle=%lu resized to %lux%lu",
              static_cast<unsigned long>(instrument->stream), static_cast<unsigned long>(width),
              static_cast<unsigned long>(height));
    if (instrument->callback != nullptr) {
        instrument->callback(instrument->stream, kActionEditorResized, width, height,
                             instrument->callbackUser);
    }
}

HSTREAM CreateInstrument(DWORD freq, DWORD chans, const void* file, DWORD flags) {
    if (chans != 2) {
        return 0;
    }
    const HMODULE module = LoadInstrumentModule(file, flags);
    if (module == nullptr) {
        return 0;
    }
    const QbPluginTable* table = PluginTable(module);
    void* instance = table != nullptr ? table->create(freq) : nullptr;
    if (instance == nullptr) {
        FreeLibrary(module);
        return 0;
    }
    auto* instrument =
        new Instrument{module, table, instance, 0, 0, nullptr, {}, {}, {}, nullptr, nullptr, 0, 0};
    if (table->attachHost != nullptr) {
        table->attachHost(instance, SizeEditor, instrument);
    }
    instrument->stream =
        BASS_StreamCreate(freq, chans, kFlagDecode | kFlagFloat, RenderInstrument, instrument);
    std::unique_lock<std::mutex> lock(g_instrumentLock);
    for (Instrument*& slot : g_instruments) {
        if (slot == nullptr && instrument->stream != 0) {
            slot = instrument;
            return instrument->stream;
        }
    }
    lock.unlock();
    BASS_StreamFree(instrument->stream);
    table->destroy(instance);
    FreeLibrary(module);
    delete instrument;
    return 0;
}

} // namespace

extern "C" {

HSTREAM WINAPI BASS_VST_ChannelCreate(DWORD freq, DWORD chans, const void* dllFile, DWORD flags) {
    const HSTREAM handle = CreateInstrument(freq, chans, dllFile, flags);
    TRACE_HOST_CALL(
        "BASS_VST_ChannelCreate freq=%lu chans=%lu file=%s flags=0x%lx -> %lu",
        static_cast<unsigned long>(freq), static_cast<unsigned long>(chans),
        TraceText((flags & kFlagUnicode) != 0 ? static_cast<const wchar_t*>(dllFile) : nullptr)
            .c_str(),
        static_cast<unsigned long>(flags), static_cast<unsigned long>(handle));
    return handle;
}

// Safe while the mixing thread reads the instrument: it is taken off the list first
// (so events no longer reach it), then its stream is freed (which waits for a pull in
// progress), and only then is it destroyed. In no-wait mode nothing waits: a pull or
// event still under way meets a destroyed instrument, as with the real library.
BOOL WINAPI BASS_VST_ChannelFree(DWORD vstHandle) {
    Instrument* instrument = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_instrumentLock);
        if (Instrument** slot = FindSlot(vstHandle)) {
            instrument = *slot;
            *slot = nullptr;
        }
    }
    if (instrument != nullptr && instrument->editor != nullptr && !IsWindow(instrument->editor)) {
        TraceCall("EDITOR handle=%lu window destroyed while the editor was open",
                  static_cast<unsigned long>(vstHandle));
    }
    if (instrument != nullptr) {
        BASS_StreamFree(instrument->stream);
        instrument->table->destroy(instrument->instance);
        FreeLibrary(instrument->module);
        delete instrument;
    }
    const BOOL result = instrument != nullptr || vstHandle == 0 ? 1 : 0;
    TRACE_HOST_CALL("BASS_VST_ChannelFree handle=%lu -> %d", static_cast<unsigned long>(vstHandle),
                    result);
    return result;
}

BOOL WINAPI BASS_VST_GetInfo(DWORD vstHandle, BASS_VST_INFO* info) {
    BOOL result = 0;
    {
        std::lock_guard<std::mutex> lock(g_instrumentLock);
        const Instrument* instrument = FindInstrument(vstHandle);
        if (instrument != nullptr && info != nullptr) {
            const QbPluginTable* table = instrument->table;
            std::memset(info, 0, sizeof(*info));
            info->channelHandle = instrument->stream;
            info->uniqueID = table->uniqueId;
            std::strncpy(info->effectName, table->name, sizeof(info->effectName) - 1);
            info->effectVstVersion = kHostVstVersion;
            info->hostVstVersion = kHostVstVersion;
            std::strncpy(info->productName, table->name, sizeof(info->productName) - 1);
            std::strncpy(info->vendorName, "Quillbrook tests", sizeof(info->vendorName) - 1);
            info->vendorVersion = 1;
            info->chansOut = 2;
            info->hasEditor = table->editorWidth != 0 && table->openEditor != nullptr ? 1 : 0;
            const bool sizeKnown =
                (table->flags & QB_PLUGIN_SIZE_WHEN_OPEN) == 0 || instrument->editor != nullptr;
            const bool resized = instrument->resizedWidth != 0;
            info->editorWidth = !info->hasEditor || !sizeKnown ? 0
                                : resized                      ? instrument->resizedWidth
                                                               : table->editorWidth;
            info->editorHeight = !info->hasEditor || !sizeKnown ? 0
                                 : resized                      ? instrument->resizedHeight
                                                                : table->editorHeight;
            info->effectVersion = table->version;
            info->initialDelay = table->initialDelay;
            info->aeffect = instrument->instance;
            info->isInstrument = 1;
            result = 1;
        }
    }
    TRACE_HOST_CALL("BASS_VST_GetInfo handle=%lu -> %d editor=%lu %lux%lu",
                    static_cast<unsigned long>(vstHandle), result,
                    result ? static_cast<unsigned long>(info->hasEditor) : 0ul,
                    result ? static_cast<unsigned long>(info->editorWidth) : 0ul,
                    result ? static_cast<unsigned long>(info->editorHeight) : 0ul);
    return result;
}

// Opens the editor in `parentWindow`, or closes it when that is null. An editor whose
// window was destroyed while it was open is reported in the trace.
BOOL WINAPI BASS_VST_EmbedEditor(DWORD vstHandle, HWND parentWindow) {
    Instrument* instrument = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_instrumentLock);
        instrument = FindInstrument(vstHandle);
    }
    // The editor runs on the user-interface thread, like this call and ChannelFree, so
    // it is opened and closed without the lock (window messages may be sent meanwhile).
    BOOL result = 0;
    const QbPluginTable* table = instrument != nullptr ? instrument->table : nullptr;
    if (table != nullptr && table->openEditor != nullptr && table->editorWidth != 0) {
        if (instrument->editor != nullptr && !IsWindow(instrument->editor)) {
            TraceCall("EDITOR handle=%lu window destroyed while the editor was open",
                      static_cast<unsigned long>(vstHandle));
        }
        if (parentWindow == nullptr) {
            table->closeEditor(instrument->instance);
            instrument->editor = nullptr;
            result = 1;
        } else {
            instrument->editor = table->openEditor(instrument->instance, parentWindow);
            result = instrument->editor != nullptr ? 1 : 0;
        }
    }
    TRACE_HOST_CALL(
        "BASS_VST_EmbedEditor handle=%lu parent=%llu -> %d", static_cast<unsigned long>(vstHandle),
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(parentWindow)), result);
    return result;
}

// Queues the event for the instrument's next processing call (the next pull); the
// trace line carries how many bytes the instrument had rendered when it arrived.
BOOL WINAPI BASS_VST_ProcessEvent(DWORD vstHandle, DWORD midiCh, DWORD event, DWORD param) {
    const bool traced = !IsOtherStandinAddress(__builtin_return_address(0));
    std::unique_lock<std::mutex> lock(g_instrumentLock);
    Instrument* instrument = FindInstrument(vstHandle);
    const BOOL result =
        instrument != nullptr && midiCh <= 15 && QueueEvent(instrument, {midiCh, event, param});
    if (traced) {
        TraceCall(
            "BASS_VST_ProcessEvent handle=%lu chan=%lu event=%lu param=%lu rendered=%llu -> %d",
            static_cast<unsigned long>(vstHandle), static_cast<unsigned long>(midiCh),
            static_cast<unsigned long>(event), static_cast<unsigned long>(param),
            instrument != nullptr ? static_cast<unsigned long long>(instrument->renderedBytes)
                                  : 0ull,
            result);
    }
    return result;
}

// Tells the instrument that playback jumped: its queued events are dropped.
BOOL WINAPI BASS_VST_Resume(DWORD vstHandle) {
    BOOL result = 0;
    {
        std::lock_guard<std::mutex> lock(g_instrumentLock);
        if (Instrument* instrument = FindInstrument(vstHandle)) {
            std::lock_guard<std::mutex> queueLock(instrument->queueLock);
            instrument->queue.clear();
            result = 1;
        }
    }
    TRACE_HOST_CALL("BASS_VST_Resume handle=%lu -> %d", static_cast<unsigned long>(vstHandle),
                    result);
    return result;
}

// The calls below take the processing lock, as the library's do: they wait for a
// render in progress.

char* WINAPI BASS_VST_GetChunk(DWORD vstHandle, BOOL isPreset, DWORD* length) {
    char* result = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_instrumentLock);
        Instrument* instrument = FindInstrument(vstHandle);
        const QbPluginTable* table = instrument != nullptr ? instrument->table : nullptr;
        if (table != nullptr && table->getChunk != nullptr && length != nullptr) {
            const DWORD size = table->getChunk(instrument->instance, nullptr, 0);
            instrument->chunk.assign(size, 0);
            table->getChunk(instrument->instance, instrument->chunk.data(), size);
            *length = size;
            result = instrument->chunk.data();
        }
    }
    TRACE_HOST_CALL("BASS_VST_GetChunk handle=%lu preset=%d -> %s length=%lu",
                    static_cast<unsigned long>(vstHandle), isPreset,
                    result != nullptr ? "chunk" : "null",
                    result != nullptr ? static_cast<unsigned long>(*length) : 0ul);
    return result;
}

DWORD WINAPI BASS_VST_SetChunk(DWORD vstHandle, BOOL isPreset, const char* chunk, DWORD length) {
    DWORD result = kRefusedChunk;
    {
        std::lock_guard<std::mutex> lock(g_instrumentLock);
        Instrument* instrument = FindInstrument(vstHandle);
        const QbPluginTable* table = instrument != nullptr ? instrument->table : nullptr;
        if (table != nullptr && table->setChunk != nullptr && chunk != nullptr && length != 0 &&
            table->setChunk(instrument->instance, chunk, length) != 0) {
            result = 0;
        }
    }
    TRACE_HOST_CALL("BASS_VST_SetChunk handle=%lu preset=%d length=%lu -> %ld",
                    static_cast<unsigned long>(vstHandle), isPreset,
                    static_cast<unsigned long>(length), static_cast<long>(result));
    return result;
}

int WINAPI BASS_VST_GetProgramCount(DWORD vstHandle) {
    std::lock_guard<std::mutex> lock(g_instrumentLock);
    const Instrument* instrument = FindInstrument(vstHandle);
    return instrument != nullptr ? static_cast<int>(instrument->table->programCount) : 0;
}

int WINAPI BASS_VST_GetProgram(DWORD vstHandle) {
    std::lock_guard<std::mutex> lock(g_instrumentLock);
    const Instrument* instrument = FindInstrument(vstHandle);
    return instrument != nullptr && instrument->table->getProgram != nullptr
               ? static_cast<int>(instrument->table->getProgram(instrument->instance))
               : -1;
}

BOOL WINAPI BASS_VST_SetProgram(DWORD vstHandle, int programIndex) {
    BOOL result = 0;
    {
        std::lock_guard<std::mutex> lock(g_instrumentLock);
        Instrument* instrument = FindInstrument(vstHandle);
        if (instrument != nullptr && programIndex >= 0 &&
            static_cast<DWORD>(programIndex) < instrument->table->programCount) {
            instrument->table->setProgram(instrument->instance, static_cast<DWORD>(programIndex));
            result = 1;
        }
    }
    TRACE_HOST_CALL("BASS_VST_SetProgram handle=%lu program=%d -> %d",
                    static_cast<unsigned long>(vstHandle), programIndex, result);
    return result;
}

const char* WINAPI BASS_VST_GetProgramName(DWORD vstHandle, int programIndex) {
    static char name[QB_PLUGIN_NAME_CHARS];
    std::lock_guard<std::mutex> lock(g_instrumentLock);
    Instrument* instrument = FindInstrument(vstHandle);
    if (instrument == nullptr || programIndex < 0 ||
        static_cast<DWORD>(programIndex) >= instrument->table->programCount) {
        return nullptr;
    }
    instrument->table->programName(instrument->instance, static_cast<DWORD>(programIndex), name);
    return name;
}

int WINAPI BASS_VST_GetParamCount(DWORD vstHandle) {
    std::lock_guard<std::mutex> lock(g_instrumentLock);
    const Instrument* instrument = FindInstrument(vstHandle);
    return instrument != nullptr ? static_cast<int>(instrument->table->paramCount) : 0;
}

float WINAPI BASS_VST_GetParam(DWORD vstHandle, int paramIndex) {
    std::lock_guard<std::mutex> lock(g_instrumentLock);
    Instrument* instrument = FindInstrument(vstHandle);
    return instrument != nullptr && paramIndex >= 0 &&
                   static_cast<DWORD>(paramIndex) < instrument->table->paramCount
               ? instrument->table->getParam(instrument->instance, static_cast<DWORD>(paramIndex))
               : 0.0f;
}

BOOL WINAPI BASS_VST_SetParam(DWORD vstHandle, int paramIndex, float value) {
    BOOL result = 0;
    {
        std::lock_guard<std::mutex> lock(g_instrumentLock);
        Instrument* instrument = FindInstrument(vstHandle);
        if (instrument != nullptr && paramIndex >= 0 &&
            static_cast<DWORD>(paramIndex) < instrument->table->paramCount) {
            instrument->table->setParam(instrument->instance, static_cast<DWORD>(paramIndex),
                                        value);
            result = 1;
        }
    }
    TRACE_HOST_CALL("BASS_VST_SetParam handle=%lu param=%d value=%.6f -> %d",
                    static_cast<unsigned long>(vstHandle), paramIndex, static_cast<double>(value),
                    result);
    return result;
}

BOOL WINAPI BASS_VST_GetParamInfo(DWORD vstHandle, int paramIndex, BASS_VST_PARAM_INFO* info) {
    std::lock_guard<std::mutex> lock(g_instrumentLock);
    Instrument* instrument = FindInstrument(vstHandle);
    if (instrument == nullptr || info == nullptr || paramIndex < 0 ||
        static_cast<DWORD>(paramIndex) >= instrument->table->paramCount) {
        return 0;
    }
    std::memset(info, 0, sizeof(*info));
    instrument->table->describeParam(instrument->instance, static_cast<DWORD>(paramIndex),
                                     info->name, info->unit, info->display);
    return 1;
}

// A short message is queued as the event it stands for (one this library has no event
// for takes a place in the queue all the same); system exclusive takes a place too.
// The trace line carries the time of the call, in milliseconds of the system clock.
BOOL WINAPI BASS_VST_ProcessEventRaw(DWORD vstHandle, const void* event, DWORD length) {
    const bool traced = !IsOtherStandinAddress(__builtin_return_address(0));
    const auto packed = static_cast<DWORD>(reinterpret_cast<uintptr_t>(event));
    std::unique_lock<std::mutex> lock(g_instrumentLock);
    Instrument* instrument = FindInstrument(vstHandle);
    const BOOL result =
        instrument != nullptr && (length != 0 ? event != nullptr : true) &&
        QueueEvent(instrument, length != 0 ? QueuedEvent{0, 0, 0} : EventOfShortMessage(packed));
    if (traced) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const unsigned long long ticks =
            static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
        TraceCall(
            "BASS_VST_ProcessEventRaw handle=%lu event=0x%06lx length=%lu rendered=%llu "
            "at=%.3f -> %d",
            static_cast<unsigned long>(vstHandle),
            static_cast<unsigned long>(length != 0 ? static_cast<const BYTE*>(event)[0] : packed),
            static_cast<unsigned long>(length),
            instrument != nullptr ? static_cast<unsigned long long>(instrument->renderedBytes)
                                  : 0ull,
            static_cast<double>(ticks - kUnixEpochTicks) / kTicksPerMs, result);
    }
    return result;
}

BOOL WINAPI BASS_VST_SetCallback(DWORD vstHandle, VSTPROC* proc, void* user) {
    BOOL result = 0;
    {
        std::lock_guard<std::mutex> lock(g_instrumentLock);
        if (Instrument* instrument = FindInstrument(vstHandle)) {
            instrument->callback = proc;
            instrument->callbackUser = user;
            result = 1;
        }
    }
    TRACE_HOST_CALL("BASS_VST_SetCallback handle=%lu -> %d", static_cast<unsigned long>(vstHandle),
                    result);
    return result;
}

} // extern "C"
