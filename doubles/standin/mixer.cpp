// The null output device's mixing thread. Each step it asks every playing stream for
// one period of audio (QB_PERIOD_BYTES, default 10 ms), splitting the request where a
// position sync lies, sums the streams and, when QB_CAPTURE names a file, appends the
// mix to it as a WAV file. Steps are paced in real time unless QB_FAST is 1.
#include "doubles/standin/mixer.h"

#include "doubles/standin/standin_env.h"
#include "doubles/standin/stream_core.h"
#include "doubles/standin/trace.h"
#include "doubles/standin/wav_writer.h"

#include <atomic>
#include <thread>

namespace {

constexpr DWORD kMaxPeriodBytes = kSampleRate * kBytesPerFrame; // one second
constexpr DWORD kIdleSleepMs = 1;
constexpr LONGLONG kMaxLagSeconds = 1;

struct MixerSettings {
    MixSettings mix;
    bool fast;
};

MixerSettings ReadSettings() {
    MixerSettings settings;
    const unsigned long long period = EnvNumber(L"QB_PERIOD_BYTES", settings.mix.periodBytes);
    // Whole frames only, as a sound card asks for them.
    settings.mix.periodBytes =
        static_cast<DWORD>(period > kMaxPeriodBytes ? kMaxPeriodBytes : period);
    settings.mix.periodBytes -= settings.mix.periodBytes % kBytesPerFrame;
    if (settings.mix.periodBytes == 0) {
        settings.mix.periodBytes = kBytesPerFrame;
    }
    // Like a real device's mixing thread: the first request after a stream starts
    // fills a 500 ms buffer, later ones ask for 100 ms each.
    settings.mix.deviceProfile = EnvText(L"QB_REQUEST_PROFILE") == L"device";
    if (settings.mix.deviceProfile) {
        settings.mix.periodBytes = kProfileLaterBytes;
    }
    settings.fast = EnvNumber(L"QB_FAST", 0) == 1;
    settings.mix.playLimit = EnvNumber(L"QB_PLAY_LIMIT", 0);
    return settings;
}

void TraceMixLine(const char* line) {
    TraceCall("%s", line);
}

std::atomic<bool> g_mixerRunning{false};
void (*g_eachStep)() = nullptr;

void MixerLoop() {
    g_mixerRunning = true;
    const MixerSettings settings = ReadSettings();
    WavWriter capture;
    const std::wstring capturePath = EnvText(L"QB_CAPTURE");
    const bool capturing =
        !capturePath.empty() && capture.Open(capturePath.c_str(), kSampleRate, kChannels);
    const DWORD largest =
        settings.mix.deviceProfile ? kProfileFirstBytes : settings.mix.periodBytes;
    std::vector<float> mix(largest / sizeof(float));
    SetMixLog(TraceMixLine);

    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    LONGLONG deadline = now.QuadPart;
    for (;;) {
        g_eachStep();
        const DWORD mixed = MixStep(settings.mix, &mix);
        if (mixed != 0 && capturing) {
            capture.Append(mix.data(), mixed / static_cast<DWORD>(sizeof(float)));
        }
        if (settings.fast) {
            if (mixed == 0) {
                Sleep(kIdleSleepMs);
            }
            continue;
        }
        // A step takes as long to play as the audio it mixed.
        const DWORD stepBytes = mixed != 0 ? mixed : settings.mix.periodBytes;
        deadline += frequency.QuadPart * (stepBytes / kBytesPerFrame) / kSampleRate;
        QueryPerformanceCounter(&now);
        if (now.QuadPart - deadline > frequency.QuadPart * kMaxLagSeconds) {
            deadline = now.QuadPart; // fell far behind (a debugger, a loaded machine)
        }
        while (now.QuadPart < deadline) {
            const LONGLONG ms = (deadline - now.QuadPart) * 1000 / frequency.QuadPart;
            Sleep(ms > 0 ? static_cast<DWORD>(ms) : 1);
            QueryPerformanceCounter(&now);
        }
    }
}

} // namespace

// Returns once the thread runs, as a real device's threads are up when it is open.
// Wine's 32-bit ExitProcess can also crash the process while a new thread is still
// starting, so a program that ends right after BASS_Init must not meet one.
void StartMixer(void (*eachStep)()) {
    g_eachStep = eachStep;
    std::thread(MixerLoop).detach();
    while (!g_mixerRunning) {
        Sleep(1);
    }
}
