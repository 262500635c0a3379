#include "controller/device_commands.h"

#include <cstdio>
#include <string>

#include "controller/control_commands.h"
#include "controller/text.h"

bool ReadLatency(Arguments* args) {
    unsigned long long buffer = 0;
    unsigned long long period = 0;
    if (!ParseNumber(args->words[0], &buffer) || buffer == 0 || buffer > 5000) {
        return Fail("a playback buffer is 1 to 5000 ms, not ", args->words[0]);
    }
    if (args->words.size() > 1 &&
        (!ParseNumber(args->words[1], &period) || period < 5 || period > 100)) {
        return Fail("an update period is 5 to 100 ms, not ", args->words[1]);
    }
    args->index = static_cast<long>(buffer);
    args->milliseconds = static_cast<DWORD>(period);
    return true;
}

bool ReadDevicePolicy(Arguments* args) {
    return args->words[0] == L"wait" || args->words[0] == L"default" ||
           Fail("when the device stops the song can wait or go to the default, not ",
                args->words[0]);
}

bool Devices(Session* session, const Arguments&) {
    QbError error = {};
    long count = 0;
    QbResult result = qb_device_count(session->host, &count, &error);
    for (long index = 0; result == QB_OK && index < count; ++index) {
        QbDevice device = {};
        result = qb_device(session->host, index, &device, &error);
        if (result == QB_OK) {
            std::printf("device %ld: %s (%s)%s%s%s\n", index, Narrow(device.name).c_str(),
                        Narrow(device.driver).c_str(),
                        (device.flags & QB_DEVICE_ENABLED) != 0 ? "" : ", disabled",
                        (device.flags & QB_DEVICE_DEFAULT) != 0 ? ", the default" : "",
                        (device.flags & QB_DEVICE_IN_USE) != 0 ? ", in use" : "");
        }
    }
    std::fflush(stdout);
    return Report(result, error);
}

bool Device(Session* session, const Arguments& args) {
    QbError error = {};
    long number = 0;
    const QbResult result = qb_set_device(session->host, args.words[0].c_str(), &number, &error);
    if (result == QB_OK) {
        std::printf("device: %ld\n", number);
        std::fflush(stdout);
    }
    return Report(result, error);
}

bool DevicePolicy(Session* session, const Arguments& args) {
    QbError error = {};
    return Report(qb_set_device_policy(session->host, args.words[0].c_str(), &error), error);
}

bool Latency(Session* session, const Arguments& args) {
    QbError error = {};
    long used = 0;
    const QbResult result = qb_set_latency(session->host, args.index,
                                           static_cast<long>(args.milliseconds), &used, &error);
    if (result == QB_OK) {
        std::printf("latency: buffer %ld ms from the next stream\n", used);
        std::fflush(stdout);
    }
    return Report(result, error);
}

void PrintLatency(Session* session) {
    QbError error = {};
    QbLatency latency = {};
    if (qb_latency(session->host, &latency, &error) == QB_OK) {
        std::printf(
            "device: %ld, buffer %ld ms, update period %ld ms, smallest buffer %ld ms, device "
            "latency %ld ms\n",
            latency.device, latency.buffer_ms, latency.period_ms, latency.min_buffer_ms,
            latency.device_latency_ms);
        std::fflush(stdout);
    }
}
