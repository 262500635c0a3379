#include "host/device_commands.h"

#include <cwchar>

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "host/host_globals.h"
#include "protocol/quillbrook_protocol.h"

namespace {

constexpr DWORD kMostDevices = 64;

// The device `text` names: its number, "default" (the system's default now) or its
// name as listed. False when none is.
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

} // namespace

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
    if ((info.flags & kDeviceInit) == 0 &&
        BASS_Init(static_cast<int>(device), kSampleRate, 0, player.mainWindow, nullptr) == 0) {
        return QB_FAIL_LIBRARY;
    }
    if (further.setDevice(device) == 0) {
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
