#include "host/watch.h"

#include <atomic>
#include <cmath>
#include <cwchar>

#include "audio/audio_constants.h"
#include "audio/further_functions.h"
#include "host/host_globals.h"
#include "player/jump.h"
#include "player/transport.h"
#include "protocol/quillbrook_protocol.h"

namespace {

// How often the watch thread looks at the playing position: well within the lateness
// the notifications promise.
constexpr DWORD kPollMs = 2;
constexpr double kLongestOffsetMs = 1000;
constexpr uint32_t kAllWatchKinds = QB_WATCH_NOTES | QB_WATCH_TURNS | QB_WATCH_END |
                                    QB_WATCH_SEEKS | QB_WATCH_MARKS | QB_WATCH_BEATS |
                                    QB_WATCH_BARS | QB_WATCH_DEVICE;

struct Watch {
    WatchLog log; // what the render call tells, in static storage
    std::atomic<HWND> window;
    std::atomic<uint32_t> kinds;
    std::atomic<int32_t> offsetBytes;
    HANDLE mapping;
    QbNotifyRing* ring;
    HANDLE thread;
    DWORD lastLag; // the watch thread's own
};

Watch watch;
// The ring is written by the watch thread and, for the device's news, the main thread.
SRWLOCK ringLock = SRWLOCK_INIT;

uint32_t KindOf(uint32_t record) {
    switch (record) {
    case kWatchNote:
        return QB_WATCH_NOTES;
    case kWatchTurn:
        return QB_WATCH_TURNS;
    case kWatchEnd:
        return QB_WATCH_END;
    case kWatchMark:
        return QB_WATCH_MARKS;
    case kWatchBeat:
        return QB_WATCH_BEATS;
    default:
        return QB_WATCH_SEEKS;
    }
}

// The output stream's byte the listener hears now: what the render calls delivered
// less what the library holds in its buffer. False without a stream.
bool HeardStreamBytes(int64_t* heard) {
    const HSTREAM stream = player.outputStream.load();
    if (stream == 0) {
        return false;
    }
    const auto getPosition = Further().channelGetPosition;
    const auto isActive = Further().channelIsActive;
    const DWORD delivered = player.playback.streamBytes.load(std::memory_order_relaxed);
    // A stream that ended stops once the device has played all it was given.
    if (isActive != nullptr && isActive(stream) == kActiveStopped) {
        *heard = delivered;
        return true;
    }
    DWORD lag = watch.lastLag;
    if (getPosition != nullptr) {
        const QWORD played = getPosition(stream, kPosByte);
        const QWORD decoded = getPosition(stream, kPosByte | kPosDecode);
        if (played != kPositionError && decoded != kPositionError && decoded >= played) {
            lag = static_cast<DWORD>(decoded - played);
            watch.lastLag = lag;
        }
    }
    *heard = int64_t{delivered} - lag;
    return true;
}

void Post(const WatchRecord& record, uint32_t kind, int64_t lateBytes) {
    AcquireSRWLockExclusive(&ringLock);
    QbNotifyRing* ring = watch.ring;
    const unsigned sequence = ring->written + 1;
    QbNotification& note = ring->records[sequence % QB_NOTIFY_RING];
    note.sequence = sequence;
    note.kind = kind;
    note.data = record.data;
    note.pass = record.pass;
    note.ms = static_cast<int>(std::lround(MsFromBytes(record.songBytes)));
    note.tick = record.tick;
    note.late_ms = static_cast<int>(lateBytes * 1000 / (int64_t{kSampleRate} * kBytesPerFrame));
    note.reserved = 0;
    ring->written = sequence;
    if (PostMessageW(watch.window.load(), QB_NOTIFY_MESSAGE, sequence, kind) == 0) {
        ++ring->lost; // the controller's queue is full, or its window gone
    }
    ReleaseSRWLockExclusive(&ringLock);
}

// Posts every record the listener has heard; drops those of streams no longer played.
void Deliver() {
    int64_t heard = 0;
    const bool playing = HeardStreamBytes(&heard);
    const uint32_t generation = player.playback.streamGeneration.load(std::memory_order_relaxed);
    const uint32_t kinds = watch.kinds.load();
    for (const WatchRecord* record = PeekWatch(&watch.log); record != nullptr;
         record = PeekWatch(&watch.log)) {
        if (record->generation == generation) {
            if (!playing) {
                return;
            }
            const int64_t due = int64_t{record->streamBytes} + watch.offsetBytes.load();
            if (heard < due) {
                return;
            }
            const uint32_t kind = KindOf(record->kind);
            if ((kinds & kind) != 0) {
                Post(*record, kind, heard - due);
            }
            if (kind == QB_WATCH_BEATS && (record->data & 0xFF) == 1 &&
                (kinds & QB_WATCH_BARS) != 0) {
                Post(*record, QB_WATCH_BARS, heard - due);
            }
        }
        TakeWatch(&watch.log); // heard, or cut short by a new stream
    }
}

// Without a watch, what the render call told last is let go.
void Drop() {
    while (PeekWatch(&watch.log) != nullptr) {
        TakeWatch(&watch.log);
    }
}

DWORD WINAPI WatchThread(void* /*unused*/) {
    for (;;) {
        Sleep(kPollMs);
        if (watch.kinds.load() != 0) {
            Deliver();
        } else {
            Drop();
        }
    }
}

bool Start() {
    if (watch.ring == nullptr) {
        wchar_t name[64];
        std::swprintf(name, 64, QB_NOTIFY_MAPPING, GetCurrentProcessId());
        watch.mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           sizeof(QbNotifyRing), name);
        void* view = watch.mapping != nullptr
                         ? MapViewOfFile(watch.mapping, FILE_MAP_WRITE, 0, 0, sizeof(QbNotifyRing))
                         : nullptr;
        if (view == nullptr) {
            return false;
        }
        watch.ring = static_cast<QbNotifyRing*>(view);
    }
    if (watch.thread == nullptr) {
        watch.thread = CreateThread(nullptr, 0, WatchThread, nullptr, 0, nullptr);
    }
    return watch.thread != nullptr;
}

} // namespace

void TellDevice(uint32_t event, DWORD device) {
    if ((watch.kinds.load() & QB_WATCH_DEVICE) == 0 || watch.ring == nullptr) {
        return;
    }
    const HeardPoint heard = HeardNow(&player);
    WatchRecord record = {};
    record.data = (device & 0xFF) | event << 8;
    record.songBytes = heard.bytes;
    record.pass = heard.passesDone + 1;
    Post(record, QB_WATCH_DEVICE, 0);
}

LRESULT WatchCommand(CommandCall* call) {
    const PayloadWords& words = call->words;
    double window = 0;
    double kinds = 0;
    double offsetMs = 0;
    if (words.count < 2 || words.count > 3 || !PayloadNumber(words, 0, &window) ||
        !PayloadNumber(words, 1, &kinds) || kinds > kAllWatchKinds ||
        kinds != static_cast<uint32_t>(kinds) ||
        (words.count == 3 && (!PayloadSignedNumber(words, 2, &offsetMs) ||
                              offsetMs < -kLongestOffsetMs || offsetMs > kLongestOffsetMs))) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    const auto handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    if (kinds != 0 && !IsWindow(handle)) {
        return QB_FAIL_BAD_PAYLOAD;
    }
    if (kinds != 0 && !Start()) {
        return QB_FAIL_LIBRARY;
    }
    watch.window.store(handle);
    watch.offsetBytes.store(static_cast<int32_t>(offsetMs * kSampleRate / 1000) *
                            static_cast<int32_t>(kBytesPerFrame));
    watch.kinds.store(static_cast<uint32_t>(kinds));
    // The render call tells the log from its next call on; while nobody watches it goes
    // back to its plain loop.
    player.playback.watch.store(kinds != 0 ? &watch.log : nullptr, std::memory_order_release);
    return 0;
}
