#include "host/device_commands.h"

#include <cwchar>

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "host/host_globals.h"
#include "protocol/quillbrook_protocol.h"

namespace {

constexpr DWORD kMostDevices = 64;
constexpr uint32_t kShortestPeriodMs = 5;
constexpr uint32_t kLongestPeriodMs = 100;
constexpr uint32_t kLongestBufferMs = 5000;

bool LatencyAvailable() {
    const FurtherFunctions& further = Further();
    return further.setConfig != nullptr && further.getConfig != nullptr &&
           further.getInfo != nullptr;
}

// The current device's smallest buffer that plays without breaks, and its own latency.
BASS_INFO DeviceInfo() {
    BASS_INFO info = {};
    if (Further().getInfo(&info) == 0) {
        info = BASS_INFO();
    }
    return info;
}

} // namespace

bool FindDevice(const wchar_t* text, DWORD* found) {
    const FurtherFunctions& further = Further();
    const bool byDefault = std::wcscmp(text, L"default") == 0;
    wchar_t* end = nullptr;
    const unsigned long number = std::wcstoul(text, &end, 10);
    const bool byNumber = *text != L'\0' && *end == L'\0';
    BASS_DEVICEINFO info = {};
    for (DWORD device = 1; device < kMostDevices && further.getDeviceInfo(device, &info) != 0;
         ++device) {
        wchar_t name[QB_PAYLOAD_CHARS] = {};
        MultiByteToWideChar(CP_UTF8, 0, info.name != nullptr ? info.name : "", -1, name,
                            QB_PAYLOAD_CHARS - 1);
        if ((byNumber && number == device) || (byDefault && (info.flags & kDeviceDefault) != 0) ||
            (!byNumber && !byDefault && std::wcscmp(name, text) == 0)) {
            *found = device;
            return true;
        }
    }
    return false;
}

DWORD CurrentDevice() {
    const auto getDevice = Further().getDevice;
    return getDevice != nullptr ? getDevice() : 0;
}

bool UseDevice(DWORD device) {
    const FurtherFunctions& further = Further();
    BASS_DEVICEINFO info = {};
    if (further.getDeviceInfo(device, &info) == 0 || (info.flags & kDeviceEnabled) == 0) {
        return false;
    }
    if ((info.flags & kDeviceInit) == 0 &&
        BASS_Init(static_cast<int>(device), kSampleRate, kDeviceLatency, player.mainWindow,
                  nullptr) == 0) {
        return false;
    }
    return further.setDevice(device) != 0;
}

LRESULT SetDeviceCommand(CommandCall* call) {
    const FurtherFunctions& further = Further();
    if (further.getDeviceInfo == nullptr || further.setConfig == nullptr ||
        further.setDevice == nullptr || further.channelSetDevice == nullptr) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    further.setConfig(kConfigUnicode, 1);
    DWORD device = 0;
    BASS_DEVICEINFO info = {};
    if (call->payload == nullptr || !FindDevice(call->payload, &device) ||
        further.getDeviceInfo(device, &info) == 0 || (info.flags & kDeviceEnabled) == 0) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    if (!UseDevice(device)) {
        return QB_FAIL_LIBRARY;
    }
    const HSTREAM stream = player.outputStream.load();
    if (stream != 0 && further.channelSetDevice(stream, device) == 0) {
        return QB_FAIL_LIBRARY;
    }
    return static_cast<LRESULT>(device);
}

LRESULT DeviceCommand(CommandCall* call) {
    const FurtherFunctions& further = Further();
    if (further.getDeviceInfo == nullptr || further.setConfig == nullptr) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    further.setConfig(kConfigUnicode, 1); // names in UTF-8, whatever the system's code page
    const PayloadWords& words = call->words;
    uint32_t index = 0;
    if (words.count > 1 || (words.count == 1 && !PayloadWhole(words, 0, kMostDevices, &index))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    DWORD count = 0;
    BASS_DEVICEINFO info = {};
    while (count < kMostDevices && further.getDeviceInfo(count, &info) != 0) {
        ++count;
    }
    if (words.count == 1) {
        if (index >= count || further.getDeviceInfo(index, &info) == 0) {
            return QB_FAIL_BAD_PAYLOAD;
        }
        call->text[0] = L'\0';
        AppendAnswerText(call, CP_UTF8, info.name != nullptr ? info.name : "");
        AppendAnswerText(call, CP_UTF8, "\t");
        AppendAnswerText(call, CP_UTF8, info.driver != nullptr ? info.driver : "");
        const size_t used = std::wcslen(call->text);
        std::swprintf(call->text + used, QB_PAYLOAD_CHARS - used, L"\t%lu",
                      static_cast<unsigned long>(info.flags & 7));
    }
    return static_cast<LRESULT>(count);
}

LRESULT SetLatencyCommand(CommandCall* call) {
    if (!LatencyAvailable()) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    const PayloadWords& words = call->words;
    uint32_t bufferMs = 0;
    uint32_t periodMs = 0;
    if (words.count < 1 || words.count > 2 ||
        !PayloadWhole(words, 0, kLongestBufferMs, &bufferMs) || bufferMs == 0 ||
        (words.count == 2 &&
         (!PayloadWhole(words, 1, kLongestPeriodMs, &periodMs) || periodMs < kShortestPeriodMs))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    const FurtherFunctions& further = Further();
    if (words.count == 2 && further.setConfig(kConfigUpdatePeriod, periodMs) == 0) {
        return QB_FAIL_LIBRARY;
    }
    // A buffer the device cannot keep filled between two updates breaks up.
    const DWORD smallest = DeviceInfo().minbuf + further.getConfig(kConfigUpdatePeriod);
    const DWORD used = bufferMs < smallest ? smallest : bufferMs;
    if (further.setConfig(kConfigBuffer, used) == 0) {
        return QB_FAIL_LIBRARY;
    }
    return static_cast<LRESULT>(further.getConfig(kConfigBuffer));
}

LRESULT LatencyCommand(CommandCall* call) {
    if (!LatencyAvailable()) {
        return QB_FAIL_NOT_AVAILABLE;
    }
    if (call->words.count != 0) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    const FurtherFunctions& further = Further();
    const BASS_INFO info = DeviceInfo();
    const DWORD bufferMs = further.getConfig(kConfigBuffer);
    const DWORD device = CurrentDevice();
    std::swprintf(call->text, QB_PAYLOAD_CHARS, L"%lu %lu %lu %lu %lu",
                  static_cast<unsigned long>(bufferMs),
                  static_cast<unsigned long>(further.getConfig(kConfigUpdatePeriod)),
                  static_cast<unsigned long>(info.minbuf), static_cast<unsigned long>(info.latency),
                  static_cast<unsigned long>(device));
    return static_cast<LRESULT>(bufferMs);
}
