#include "host/midi_payload.h"

#include "host/payload_words.h"
#include "protocol/quillbrook_protocol.h"

namespace {

constexpr uint8_t kSysExEnd = 0xF7;
// Two hexadecimal digits a byte.
constexpr uint32_t kMaxPayloadBytes = QB_PAYLOAD_CHARS / 2;

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

// MIDI bytes may also stand on lines of their own.
bool IsSpace(wchar_t c) {
    return IsWordSpace(c) || c == L'\r' || c == L'\n';
}

// The bytes of the text, or false when it is not pairs of hexadecimal digits.
bool ReadBytes(const wchar_t* text, uint8_t* bytes, uint32_t* count) {
    *count = 0;
    for (const wchar_t* at = text; *at != L'\0';) {
        if (IsSpace(*at)) {
            ++at;
            continue;
        }
        const int high = HexDigit(at[0]);
        const int low = high >= 0 ? HexDigit(at[1]) : -1;
        if (low < 0 || *count == kMaxPayloadBytes) {
            return false;
        }
        bytes[(*count)++] = static_cast<uint8_t>(high << 4 | low);
        at += 2;
    }
    return true;
}

// Data bytes after a channel message's status byte; -1 for a system message.
int DataBytes(uint8_t status) {
    if (status >= 0xF0) {
        return -1;
    }
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

// The length of the message at `at`, 0 when none is there.
uint32_t MessageLength(const uint8_t* at, uint32_t left) {
    if (at[0] == kSysExStart) {
        for (uint32_t i = 1; i < left && i < kLiveMessageBytes; ++i) {
            if (at[i] == kSysExEnd) {
                return i + 1;
            }
            if (at[i] >= 0x80) {
                return 0;
            }
        }
        return 0;
    }
    const int data = at[0] >= 0x80 ? DataBytes(at[0]) : -1;
    if (data < 0 || left < static_cast<uint32_t>(data) + 1) {
        return 0;
    }
    for (int i = 1; i <= data; ++i) {
        if (at[i] >= 0x80) {
            return 0;
        }
    }
    return static_cast<uint32_t>(data) + 1;
}

} // namespace

bool ParseMidiPayload(const wchar_t* text, LiveMessage* messages, uint32_t* count) {
    uint8_t bytes[kMaxPayloadBytes] = {};
    uint32_t byteCount = 0;
    *count = 0;
    if (!ReadBytes(text, bytes, &byteCount) || byteCount == 0) {
        return false;
    }
    for (uint32_t at = 0; at < byteCount;) {
        const uint32_t length = MessageLength(bytes + at, byteCount - at);
        if (length == 0 || *count == kMidiPayloadMessages) {
            return false;
        }
        LiveMessage& message = messages[(*count)++];
        message.length = length;
        for (uint32_t i = 0; i < length; ++i) {
            message.bytes[i] = bytes[at + i];
        }
        at += length;
    }
    return true;
}
