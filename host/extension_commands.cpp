#include "host/extension_commands.h"

#include "host/host_globals.h"
#include "host/host_names.h"
#include "host/payload_words.h"
#include "player/transport.h"

namespace {

bool NoWords(const PayloadWords& words) {
    return words.count == 0;
}

// "VOLUME [MS [pause|stop]]"
LRESULT SetVolumeCommand(const PayloadWords& words) {
    double volume = 0;
    double ms = 0;
    FadeEnd end = FadeEnd::None;
    if (words.count < 1 || words.count > 3 || !PayloadNumber(words, 0, &volume) ||
        (words.count >= 2 && !PayloadNumber(words, 1, &ms))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    if (words.count == 3) {
        if (PayloadWordIs(words, 2, L"pause")) {
            end = FadeEnd::Pause;
        } else if (PayloadWordIs(words, 2, L"stop")) {
            end = FadeEnd::Stop;
        } else {
            return QB_FAIL_BAD_PAYLOAD;
        }
    }
    uint32_t checkAfterMs = 0;
    const int32_t answer = SetVolume(&player, volume, ms, end, &checkAfterMs);
    if (checkAfterMs != 0) {
        SetTimer(player.mainWindow, kFadeTimerId, checkAfterMs, nullptr);
    } else {
        KillTimer(player.mainWindow, kFadeTimerId);
    }
    return answer;
}

// "START END [PASSES]", END a number or "end"; no words: no region.
LRESULT LoopCommand(const PayloadWords& words) {
    if (NoWords(words)) {
        return SetLoopRegion(&player, false, 0, 0, 0);
    }
    double start = 0;
    double end = -1;
    double passes = 0;
    if (words.count < 2 || words.count > 3 || !PayloadNumber(words, 0, &start) ||
        (!PayloadWordIs(words, 1, L"end") && !PayloadNumber(words, 1, &end)) ||
        (words.count == 3 && (!PayloadNumber(words, 2, &passes) || passes > 0xFFFFFFFF ||
                              passes != static_cast<double>(static_cast<uint32_t>(passes))))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    return SetLoopRegion(&player, true, start, end, static_cast<uint32_t>(passes));
}

} // namespace

LRESULT RunExtensionCommand(uint64_t code, const wchar_t* payload) {
    PayloadWords words;
    if (payload == nullptr || !SplitPayloadWords(payload, &words)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    double ms = 0;
    switch (code) {
    case QB_CODE_CAPABILITIES:
        return Capabilities();
    case QB_CODE_STATUS:
        return PlayerStatus(&player);
    case QB_CODE_PAUSE:
        return Pause(&player);
    case QB_CODE_RESUME:
        return Resume(&player);
    case QB_CODE_SET_VOLUME:
        return SetVolumeCommand(words);
    case QB_CODE_GET_VOLUME:
        return VolumeNow(&player);
    case QB_CODE_LENGTH:
        return SongLengthMs(&player);
    case QB_CODE_POSITION:
        return PositionMs(&player);
    case QB_CODE_SEEK:
        if (words.count != 1 || !PayloadNumber(words, 0, &ms)) {
            return QB_FAIL_BAD_PAYLOAD;
        }
        return Seek(&player, ms);
    case QB_CODE_LOOP:
        return LoopCommand(words);
    default:
        return 0;
    }
}

bool FinishFadeCommand() {
    return FinishFade(&player);
}
