// Stand-in bass.dll: the exports of the stream model (stream_core.h) with a trace of
// the host's calls, settings from the environment, and a null output device whose
// mixing thread (mixer.cpp) plays user streams.
#define QB_AUDIO_API __declspec(dllexport)
#include "audio/bass_api.h"
#include "audio/bass_further_api.h"
#include "doubles/standin/mixer.h"
#include "doubles/standin/standin_env.h"
#include "doubles/standin/stream_core.h"
#include "doubles/standin/trace.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr DWORD kFirstHandle = 0x10001;

bool g_initialised = false;
bool g_unicodeNames = false;
std::vector<bool> g_opened(64, false); // the devices BASS_Init opened, by number
DWORD g_current = 0;                   // the device later calls and new streams use
std::vector<DWORD> g_initFlags(64, 0); // each device's, as BASS_Init opened it
bool g_followConfig = false;           // BASS_CONFIG_DEV_DEFAULT as set now
bool g_followDefault = false;          // as it was when the default device was opened
size_t g_deviceEventsDone = 0;
// The device list changes on the mixing thread (QB_DEVICE_EVENTS) as the host reads it.
std::recursive_mutex g_devicesLock;

struct Device {
    std::wstring wide;
    std::string name; // as the host asks for it: UTF-8, or the system's code page
    std::string driver;
    DWORD flags;
};

// The output devices, from QB_DEVICES: names separated by '|', "!" before a disabled
// one, "*" before the system's default (else the first enabled one). Device 0 is "No
// sound". Kept for the process's life, as the library keeps its names.
std::vector<Device>& Devices() {
    static std::vector<Device> devices;
    if (!devices.empty()) {
        return devices;
    }
    devices.push_back({L"No sound", "", "", kDeviceEnabled});
    std::wstring list = EnvText(L"QB_DEVICES");
    if (list.empty()) {
        list = L"*Speakers";
    }
    bool defaultGiven = list.find(L'*') != std::wstring::npos;
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(L'|', start);
        end = end == std::wstring::npos ? list.size() : end;
        std::wstring name = list.substr(start, end - start);
        DWORD flags = kDeviceEnabled;
        for (; !name.empty() && (name[0] == L'!' || name[0] == L'*'); name.erase(0, 1)) {
            flags = name[0] == L'!' ? flags & ~kDeviceEnabled : flags | kDeviceDefault;
        }
        if (!defaultGiven && (flags & kDeviceEnabled) != 0) {
            flags |= kDeviceDefault;
            defaultGiven = true;
        }
        devices.push_back({name, "", "standin" + std::to_string(devices.size()) + ".drv", flags});
        start = end + 1;
    }
    return devices;
}

// The number of the system's default device (device 0 when none is enabled).
DWORD DefaultDevice() {
    std::lock_guard<std::recursive_mutex> lock(g_devicesLock);
    const std::vector<Device>& devices = Devices();
    for (DWORD i = 1; i < devices.size(); ++i) {
        if ((devices[i].flags & kDeviceDefault) != 0) {
            return i;
        }
    }
    return 0;
}

bool Opened(DWORD device) {
    return device < g_opened.size() && g_opened[device];
}

// The system's default becomes `device`. With the default device followed, the streams
// of the old default go on there, as the library promises.
void MakeDefault(DWORD device) {
    const DWORD old = DefaultDevice();
    std::vector<Device>& devices = Devices();
    for (Device& each : devices) {
        each.flags &= ~kDeviceDefault;
    }
    if (device == 0 || device >= devices.size() || (devices[device].flags & kDeviceEnabled) == 0) {
        return; // no device left to be the default
    }
    devices[device].flags |= kDeviceDefault;
    if (g_followDefault && old != device && Opened(old)) {
        g_opened[device] = true;
        ModelMoveStreams(old, device);
        if (g_current == old) {
            g_current = device;
            ModelSetDevice(device);
        }
    }
}

// The first enabled device, for the system's default once its default is unplugged.
DWORD FirstEnabled() {
    const std::vector<Device>& devices = Devices();
    for (DWORD i = 1; i < devices.size(); ++i) {
        if ((devices[i].flags & kDeviceEnabled) != 0) {
            return i;
        }
    }
    return 0;
}

// One event of QB_DEVICE_EVENTS: "default N", "unplug N" or "plug N".
void ApplyDeviceEvent(const std::string& what, DWORD device) {
    if (device == 0 || device >= Devices().size()) {
        return;
    }
    TraceCall("DEVICE %s %lu", what.c_str(), static_cast<unsigned long>(device));
    Device& changed = Devices()[device];
    if (what == "default") {
        MakeDefault(device);
    } else if (what == "unplug") {
        changed.flags &= ~kDeviceEnabled;
        if ((changed.flags & kDeviceDefault) != 0) {
            MakeDefault(FirstEnabled());
        }
        ModelSetDeviceGone(device, true);
    } else if (what == "plug") {
        changed.flags |= kDeviceEnabled;
        ModelSetDeviceGone(device, false);
    }
}

struct DeviceEvent {
    unsigned long ms; // after the mixing thread started
    std::string what;
    DWORD device;
};

// QB_DEVICE_EVENTS: what happens to the devices and when, "MS WHAT N" separated by '|',
// in the order they come: "1000 unplug 2|2500 plug 2|3000 default 1".
std::vector<DeviceEvent> DeviceEventsFromEnvironment() {
    std::vector<DeviceEvent> events;
    const std::wstring text = EnvText(L"QB_DEVICE_EVENTS");
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'|', start);
        end = end == std::wstring::npos ? text.size() : end;
        const std::string item(text.begin() + static_cast<std::ptrdiff_t>(start),
                               text.begin() + static_cast<std::ptrdiff_t>(end));
        char what[16] = {};
        unsigned long ms = 0;
        unsigned long device = 0;
        if (std::sscanf(item.c_str(), "%lu %15s %lu", &ms, what, &device) == 3) {
            events.push_back({ms, what, static_cast<DWORD>(device)});
        }
        start = end + 1;
    }
    return events;
}

// Called by the mixing thread before each step: applies the events whose time has come.
void ApplyDeviceEvents() {
    static const std::vector<DeviceEvent> events = DeviceEventsFromEnvironment();
    static const ULONGLONG started = GetTickCount64();
    const ULONGLONG elapsed = GetTickCount64() - started;
    std::lock_guard<std::recursive_mutex> lock(g_devicesLock);
    for (; g_deviceEventsDone < events.size() && events[g_deviceEventsDone].ms <= elapsed;
         ++g_deviceEventsDone) {
        ApplyDeviceEvent(events[g_deviceEventsDone].what, events[g_deviceEventsDone].device);
    }
}

// Loop tags for every user stream, from QB_LOOP_TAGS: strings separated by '|'.
std::string LoopTagsFromEnvironment() {
    const std::wstring text = EnvText(L"QB_LOOP_TAGS");
    if (text.empty()) {
        return std::string();
    }
    std::string tags;
    for (wchar_t c : text) {
        tags += c == L'|' ? '\0' : static_cast<char>(c);
    }
    tags += '\0';
    tags += '\0';
    return tags;
}

} // namespace

extern "C" {

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void* clsid) {
    std::lock_guard<std::recursive_mutex> lock(g_devicesLock);
    BOOL result = 0;
    if (EnvNumber(L"QB_HANG_INIT", 0) == 1) {
        WriteUnixProcessId();
        Sleep(INFINITE); // as opening a device whose driver hangs
    }
    // Device 0 is "no sound": it always opens, for decoding streams only.
    const bool deviceWorks = device == 0 || (device >= -1 && EnvNumber(L"QB_NO_DEVICE", 0) != 1);
    const DWORD number = device == -1 ? DefaultDevice() : static_cast<DWORD>(device);
    if (g_initialised && deviceWorks && device > 0 && number < Devices().size() &&
        (Devices()[number].flags & kDeviceEnabled) != 0 && !Opened(number)) {
        // A further device: the one mixing thread plays the streams of every device.
        g_opened[number] = true;
        g_initFlags[number] = flags;
        g_current = number;
        ModelSetDevice(number);
        result = 1;
    }
    if (!g_initialised && deviceWorks) {
        g_initialised = true;
        g_opened[number < g_opened.size() ? number : 0] = true;
        g_current = number;
        g_initFlags[number < g_initFlags.size() ? number : 0] = flags;
        g_followDefault = device == -1 && g_followConfig;
        StreamModelSettings settings;
        settings.noWait = EnvNumber(L"QB_NO_WAIT", 0) == 1;
        settings.seekable = EnvNumber(L"QB_SEEKABLE", 0) == 1;
        settings.decodeOnly = device == 0;
        settings.devicePauseAfter = EnvNumber(L"QB_DEVICE_PAUSE_AFTER", 0);
        ResetStreamModel(settings, kFirstHandle);
        ModelSetDevice(number);
        result = 1;
        if (!settings.decodeOnly) {
            StartMixer(ApplyDeviceEvents);
        }
        WriteUnixProcessId();
    }
    TRACE_HOST_CALL("BASS_Init device=%d freq=%lu flags=0x%lx win=%llu clsid=%s -> %d", device,
                    static_cast<unsigned long>(freq), static_cast<unsigned long>(flags),
                    static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(win)),
                    clsid == nullptr ? "null" : "set", result);
    return result;
}

HSTREAM WINAPI BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc,
                                 void* user) {
    const HSTREAM handle =
        g_initialised ? ModelStreamCreate(freq, chans, flags, proc, user, LoopTagsFromEnvironment())
                      : 0;
    TRACE_HOST_CALL("BASS_StreamCreate freq=%lu chans=%lu flags=0x%lx -> %lu",
                    static_cast<unsigned long>(freq), static_cast<unsigned long>(chans),
                    static_cast<unsigned long>(flags), static_cast<unsigned long>(handle));
    return handle;
}

BOOL WINAPI BASS_StreamFree(HSTREAM handle) {
    const BOOL result = ModelStreamFree(handle);
    TRACE_HOST_CALL("BASS_StreamFree handle=%lu -> %d", static_cast<unsigned long>(handle), result);
    return result;
}

const char* WINAPI BASS_ChannelGetTags(DWORD handle, DWORD tags) {
    const char* result = ModelChannelGetTags(handle, tags);
    std::string shown;
    for (const char* tag = result; tag != nullptr && *tag != '\0'; tag += strlen(tag) + 1) {
        shown += shown.empty() ? "" : "|";
        shown += tag;
    }
    TRACE_HOST_CALL("BASS_ChannelGetTags handle=%lu tags=%lu -> %s",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(tags),
                    result == nullptr ? "null" : shown.c_str());
    return result;
}

HSYNC WINAPI BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc,
                                 void* user) {
    const HSYNC sync = ModelChannelSetSync(handle, type, param, proc, user);
    TRACE_HOST_CALL("BASS_ChannelSetSync handle=%lu type=0x%lx param=%llu -> %lu",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(type),
                    static_cast<unsigned long long>(param), static_cast<unsigned long>(sync));
    return sync;
}

BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart) {
    const BOOL result = ModelChannelPlay(handle, restart);
    TRACE_HOST_CALL("BASS_ChannelPlay handle=%lu restart=%d -> %d",
                    static_cast<unsigned long>(handle), static_cast<int>(restart), result);
    return result;
}

BOOL WINAPI BASS_ChannelStop(DWORD handle) {
    const BOOL result = ModelChannelStop(handle);
    TRACE_HOST_CALL("BASS_ChannelStop handle=%lu -> %d", static_cast<unsigned long>(handle),
                    result);
    return result;
}

BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    const BOOL result = ModelChannelSetPosition(handle, pos, mode);
    TRACE_HOST_CALL("BASS_ChannelSetPosition handle=%lu pos=%llu mode=%lu -> %d",
                    static_cast<unsigned long>(handle), static_cast<unsigned long long>(pos),
                    static_cast<unsigned long>(mode), result);
    return result;
}

DWORD WINAPI BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    const DWORD result = ModelChannelGetData(handle, buffer, length);
    TRACE_HOST_CALL("BASS_ChannelGetData handle=%lu length=%lu -> %ld",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(length),
                    static_cast<long>(static_cast<int32_t>(result)));
    return result;
}

BOOL WINAPI BASS_ChannelPause(DWORD handle) {
    const BOOL result = ModelChannelPause(handle);
    TRACE_HOST_CALL("BASS_ChannelPause handle=%lu -> %d", static_cast<unsigned long>(handle),
                    result);
    return result;
}

DWORD WINAPI BASS_ChannelIsActive(DWORD handle) {
    return ModelChannelIsActive(handle);
}

BOOL WINAPI BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
    const BOOL result = ModelChannelSetAttribute(handle, attrib, value);
    if (attrib == kAttribMidiPpqn) {
        return result; // the MIDI library's own setting as it makes a stream: not the host's
    }
    TRACE_HOST_CALL("BASS_ChannelSetAttribute handle=%lu attrib=%lu value=%.3f -> %d",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(attrib),
                    static_cast<double>(value), result);
    return result;
}

BOOL WINAPI BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
    return ModelChannelGetAttribute(handle, attrib, value);
}

BOOL WINAPI BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD time) {
    const BOOL result = ModelChannelSlideAttribute(handle, attrib, value, time);
    TRACE_HOST_CALL("BASS_ChannelSlideAttribute handle=%lu attrib=0x%lx value=%.3f time=%lu -> %d",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(attrib),
                    static_cast<double>(value), static_cast<unsigned long>(time), result);
    return result;
}

BOOL WINAPI BASS_ChannelIsSliding(DWORD handle, DWORD attrib) {
    return ModelChannelIsSliding(handle, attrib);
}

// Traced with the stream's own count of bytes delivered and heard, for the tests of
// the host's position.
QWORD WINAPI BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    const QWORD result = ModelChannelGetPosition(handle, mode);
    TRACE_HOST_CALL("BASS_ChannelGetPosition handle=%lu mode=0x%lx -> %lld",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(mode),
                    static_cast<long long>(result));
    return result;
}

int WINAPI BASS_ErrorGetCode(void) {
    return ModelErrorCode();
}

BOOL WINAPI BASS_SetConfig(DWORD option, DWORD value) {
    BOOL result = 1;
    if (option == kConfigUnicode) {
        g_unicodeNames = value != 0; // for the devices listed from now on
    } else if (option == kConfigDevDefault) {
        g_followConfig = value != 0; // for the default device when it is opened
    } else {
        result = ModelSetConfig(option, value);
    }
    // Settings for later calls are not traced: the host makes them before BASS_Init.
    if (option != kConfigUnicode && option != kConfigDevDefault) {
        TRACE_HOST_CALL("BASS_SetConfig option=%lu value=%lu -> %d",
                        static_cast<unsigned long>(option), static_cast<unsigned long>(value),
                        result);
    }
    return result;
}

// The current device: its smallest buffer from QB_MINBUF (30 ms by default), and its own
// latency (QB_DEVICE_LATENCY, 20 ms by default) only when BASS_Init was asked to
// measure it.
BOOL WINAPI BASS_GetInfo(BASS_INFO* info) {
    if (!g_initialised || info == nullptr) {
        SetModelError(kErrorInit);
        return 0;
    }
    *info = BASS_INFO();
    info->minbuf = static_cast<DWORD>(EnvNumber(L"QB_MINBUF", 30));
    const DWORD initFlags = g_initFlags[g_current];
    info->latency = (initFlags & kDeviceLatency) != 0
                        ? static_cast<DWORD>(EnvNumber(L"QB_DEVICE_LATENCY", 20))
                        : 0;
    info->initflags = initFlags;
    info->freq = kSampleRate;
    info->minrate = kSampleRate;
    info->maxrate = kSampleRate;
    info->speakers = kChannels;
    SetModelError(kErrorOk);
    return 1;
}

BOOL WINAPI BASS_GetDeviceInfo(DWORD device, BASS_DEVICEINFO* info) {
    std::lock_guard<std::recursive_mutex> lock(g_devicesLock);
    const std::vector<Device>& devices = Devices();
    if (device >= devices.size() || info == nullptr) {
        return 0; // past the last device: the end of a listing
    }
    Device& found = Devices()[device];
    char bytes[256] = {};
    WideCharToMultiByte(g_unicodeNames ? CP_UTF8 : CP_ACP, 0, found.wide.c_str(), -1, bytes,
                        sizeof(bytes) - 1, nullptr, nullptr);
    found.name = bytes;
    info->name = found.name.c_str();
    info->driver = found.driver.c_str();
    info->flags = Opened(device) ? found.flags | kDeviceInit : found.flags;
    return 1;
}

BOOL WINAPI BASS_SetDevice(DWORD device) {
    std::lock_guard<std::recursive_mutex> lock(g_devicesLock);
    const BOOL result = Opened(device) ? 1 : 0;
    if (result != 0) {
        g_current = device;
        ModelSetDevice(device);
    }
    TRACE_HOST_CALL("BASS_SetDevice device=%lu -> %d", static_cast<unsigned long>(device), result);
    return result;
}

DWORD WINAPI BASS_GetDevice(void) {
    std::lock_guard<std::recursive_mutex> lock(g_devicesLock);
    return g_current;
}

// The stream plays on the other device from where it was: one mixing thread plays them
// all, so only the trace tells.
BOOL WINAPI BASS_ChannelSetDevice(DWORD handle, DWORD device) {
    std::lock_guard<std::recursive_mutex> lock(g_devicesLock);
    const BOOL result = Opened(device) ? ModelChannelSetDevice(handle, device) : 0;
    TRACE_HOST_CALL("BASS_ChannelSetDevice handle=%lu device=%lu -> %d",
                    static_cast<unsigned long>(handle), static_cast<unsigned long>(device), result);
    return result;
}

DWORD WINAPI BASS_GetConfig(DWORD option) {
    if (option == kConfigDevDefault) {
        return g_followConfig ? 1 : 0;
    }
    return ModelGetConfig(option);
}

} // extern "C"
