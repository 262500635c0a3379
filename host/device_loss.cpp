#include "host/device_loss.h"

#include <cwchar>

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "host/device_commands.h"
#include "host/host_globals.h"
#include "host/watch.h"
#include "player/transport.h"
#include "protocol/quillbrook_protocol.h"

namespace {

enum class DevicePolicy { Wait, MoveToDefault };

// Main thread only.
DevicePolicy policy = DevicePolicy::Wait;
bool deviceLost = false; // told, and not yet back

// Moves the song's stream to the system's default device when that is another one that
// works; true when it did.
bool MoveToDefault(HSTREAM stream, DWORD* device) {
    DWORD target = 0;
    if (Further().getDeviceInfo == nullptr || Further().channelSetDevice == nullptr ||
        !FindDevice(L"default", &target) || target == *device || !UseDevice(target) ||
        Further().channelSetDevice(stream, target) == 0) {
        return false;
    }
    *device = target;
    return true;
}

} // namespace

void CALLBACK DeviceFailSyncProc(HSYNC /*sync*/, DWORD /*channel*/, DWORD /*data*/, void* user) {
    PostMessageW(static_cast<PlayerState*>(user)->mainWindow, kDeviceFailedMessage, 0, 0);
}

bool RecoverDevice() {
    const HSTREAM stream = player.outputStream.load();
    const int32_t status = PlayerStatus(&player);
    if (stream == 0 || status != QB_STATUS_DEVICE_PAUSED) {
        // Back by itself, or the song was stopped or paused meanwhile.
        if (deviceLost && status == QB_STATUS_PLAYING) {
            TellDevice(QB_DEVICE_EVENT_BACK, CurrentDevice());
        }
        deviceLost = deviceLost && status == QB_STATUS_PAUSED; // the controller's own pause
        return !deviceLost;
    }
    DWORD device = CurrentDevice();
    if (!deviceLost) {
        deviceLost = true;
        TellDevice(QB_DEVICE_EVENT_LOST, device);
    }
    const bool moved = policy == DevicePolicy::MoveToDefault && MoveToDefault(stream, &device);
    if (BASS_ChannelPlay(stream, 0) == 0) {
        return false; // the device is still gone: looked at again soon
    }
    deviceLost = false;
    TellDevice(moved ? QB_DEVICE_EVENT_MOVED : QB_DEVICE_EVENT_BACK, device);
    return true;
}

LRESULT DevicePolicyCommand(CommandCall* call) {
    if (call->words.count != 1) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    if (PayloadWordIs(call->words, 0, L"wait")) {
        policy = DevicePolicy::Wait;
    } else if (PayloadWordIs(call->words, 0, L"default")) {
        policy = DevicePolicy::MoveToDefault;
    } else {
        return QB_FAIL_BAD_PAYLOAD;
    }
    // A song that waits for its device now may go on on the default at once.
    PostMessageW(player.mainWindow, kDeviceFailedMessage, 0, 0);
    return 0;
}
