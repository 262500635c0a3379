#include "host/device_commands.h"

#include <cwchar>

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "protocol/quillbrook_protocol.h"

namespace {

constexpr DWORD kMostDevices = 64;

// Writes UTF-8 `text` after what `out` holds, cut to what fits.
void AppendUtf8(const char* text, wchar_t* out) {
    const size_t used = std::wcslen(out);
    const int room = static_cast<int>(QB_PAYLOAD_CHARS - used - 1);
    const int written = MultiByteToWideChar(CP_UTF8, 0, text, -1, out + used, room);
    if (written == 0) {
        out[QB_PAYLOAD_CHARS - 1] = L'\0';
        MultiByteToWideChar(CP_UTF8, 0, text, room, out + used, room);
        out[QB_PAYLOAD_CHARS - 1] = L'\0';
    }
}

} // namespace

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
        AppendUtf8(info.name != nullptr ? info.name : "", call->text);
        AppendUtf8("\t", call->text);
        AppendUtf8(info.driver != nullptr ? info.driver : "", call->text);
        const size_t used = std::wcslen(call->text);
        std::swprintf(call->text + used, QB_PAYLOAD_CHARS - used, L"\t%lu",
                      static_cast<unsigned long>(info.flags & 7));
    }
    return static_cast<LRESULT>(count);
}
