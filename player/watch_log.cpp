#include "player/watch_log.h"

void ResetWatchLog(WatchLog* log) {
    log->written.store(0);
    log->taken.store(0);
    log->dropped.store(0);
}

void PushWatch(WatchLog* log, const WatchRecord& record) {
    const uint32_t written = log->written.load(std::memory_order_relaxed);
    if (written - log->taken.load(std::memory_order_acquire) >= kWatchLogRecords) {
        log->dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    log->records[written % kWatchLogRecords] = record;
    log->written.store(written + 1, std::memory_order_release);
}

const WatchRecord* PeekWatch(WatchLog* log) {
    const uint32_t taken = log->taken.load(std::memory_order_relaxed);
    if (taken == log->written.load(std::memory_order_acquire)) {
        return nullptr;
    }
    return &log->records[taken % kWatchLogRecords];
}

void TakeWatch(WatchLog* log) {
    log->taken.store(log->taken.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}
