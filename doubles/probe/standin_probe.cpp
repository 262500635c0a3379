// Exercises the stand-in audio libraries through their public interface, one scenario
// per run (the mixer's settings are read once per process). Prints one line per check
// and ends with status 0 when all passed. Driven by tests/e2e/test_standins.py.
#include "doubles/standin/library_constants.h"
#include "audio/bass_api.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    g_failures += ok ? 0 : 1;
}

// Waits up to `ms` for `done` to hold.
template <typename Condition> bool WaitFor(Condition done, DWORD ms = 5000) {
    for (DWORD waited = 0; !done(); waited += 5) {
        if (waited >= ms) {
            return false;
        }
        Sleep(5);
    }
    return true;
}

constexpr DWORD kPlayFlags = kFloatLoopStream;
constexpr DWORD kDecodeFlags = kFlagDecode | kFlagFloat;

// A stream that delivers what is asked and counts it; it can end after `endAfter`
// bytes since its last rewind.
struct CountingStream {
    std::atomic<QWORD> delivered{0};
    std::atomic<QWORD> sinceRewind{0};
    std::atomic<DWORD> calls{0};
    std::atomic<bool> inProc{false};
    QWORD endAfter = 0;
    DWORD spinMs = 0;
};

DWORD CALLBACK CountingProc(HSTREAM, void* buffer, DWORD length, void* user) {
    auto* stream = static_cast<CountingStream*>(user);
    stream->inProc = true;
    stream->calls++;
    if (stream->spinMs != 0) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < stream->spinMs) {
        }
    }
    DWORD result = length;
    if (stream->endAfter != 0 && stream->sinceRewind + length >= stream->endAfter) {
        result = static_cast<DWORD>(stream->endAfter - stream->sinceRewind) | kStreamEndBit;
    }
    std::memset(buffer, 0, length);
    stream->delivered += result & ~kStreamEndBit;
    stream->sinceRewind += result & ~kStreamEndBit;
    stream->inProc = false;
    return result;
}

struct SyncRecord {
    CountingStream* stream;
    HSTREAM handle;
    std::vector<QWORD> firedAt;
    QWORD rewindTo = 0;
    bool rewind = false;
};

void CALLBACK RecordSync(HSYNC, DWORD, DWORD, void* user) {
    auto* record = static_cast<SyncRecord*>(user);
    record->firedAt.push_back(record->stream->delivered);
    if (record->rewind) {
        record->stream->sinceRewind = 0;
        BASS_ChannelSetPosition(record->handle, record->rewindTo, 0);
    }
}

void PositionSyncs() {
    CountingStream counting;
    const HSTREAM stream = BASS_StreamCreate(48000, 2, kPlayFlags, CountingProc, &counting);
    const QWORD positions[] = {10000, 10008, 96008};
    std::vector<SyncRecord> records(3);
    for (int i = 0; i < 3; ++i) {
        records[i].stream = &counting;
        Check(BASS_ChannelSetSync(stream, kSyncPosMixtime, positions[i], RecordSync, &records[i]) !=
                  0,
              "position sync set");
    }
    Check(BASS_ChannelPlay(stream, 1) != 0, "stream plays");
    Check(WaitFor([&] { return counting.delivered > 200000; }), "mixing thread pulls the stream");
    BASS_ChannelStop(stream);
    for (int i = 0; i < 3; ++i) {
        Check(records[i].firedAt == std::vector<QWORD>{positions[i]},
              ("sync fires once, exactly at " + std::to_string(positions[i])).c_str());
    }
    BASS_StreamFree(stream);
}

void EndAndRewind() {
    CountingStream looping;
    looping.endAfter = 20000;
    const HSTREAM stream = BASS_StreamCreate(48000, 2, kPlayFlags, CountingProc, &looping);
    SyncRecord record{&looping, stream, {}, 0, true};
    Check(BASS_ChannelSetSync(stream, kSyncEndMixtime, 0, RecordSync, &record) != 0,
          "end sync set");

    CountingStream once;
    once.endAfter = 20000;
    const HSTREAM ending = BASS_StreamCreate(48000, 2, kPlayFlags, CountingProc, &once);

    BASS_ChannelPlay(stream, 1);
    BASS_ChannelPlay(ending, 1);
    Check(WaitFor([&] { return record.firedAt.size() >= 3; }), "end sync fires at every end");
    BASS_ChannelStop(stream);
    Check(record.firedAt.size() >= 3 && record.firedAt[0] == 20000 && record.firedAt[1] == 40000 &&
              record.firedAt[2] == 60000,
          "a rewind in the end sync lets the stream play on");
    Sleep(200);
    Check(once.delivered == 20000, "without a rewind an ended stream stops");
    const DWORD calls = once.calls;
    Sleep(100);
    Check(once.calls == calls, "an ended stream is not asked again");
    Check(BASS_ChannelSetPosition(stream, 4, 0) != 0, "a position inside the first frame is 0");
    Check(BASS_ChannelSetPosition(stream, 8, 0) == 0, "a stream with a procedure cannot seek");
    Check(BASS_ChannelPlay(ending, 0) == 0, "an ended stream does not play on without a restart");
    once.sinceRewind = 0;
    Check(BASS_ChannelPlay(ending, 1) != 0, "a restart plays it again from the start");
    Check(WaitFor([&] { return once.delivered == 40000; }),
          "the restarted stream plays to its end");
    BASS_StreamFree(stream);
    BASS_StreamFree(ending);
}

void StopWhileMixing() {
    CountingStream counting;
    counting.spinMs = 2; // the procedure is running most of the time
    const HSTREAM stream = BASS_StreamCreate(48000, 2, kPlayFlags, CountingProc, &counting);
    bool neverRunning = true;
    bool neverAgain = true;
    for (int round = 0; round < 40; ++round) {
        BASS_ChannelPlay(stream, 1);
        Sleep(static_cast<DWORD>(round % 7));
        BASS_ChannelStop(stream);
        neverRunning = neverRunning && !counting.inProc;
        const DWORD calls = counting.calls;
        Sleep(15);
        neverAgain = neverAgain && counting.calls == calls;
    }
    Check(counting.calls > 0, "the stream was pulled");
    Check(neverRunning, "when Stop returns the procedure is not running");
    Check(neverAgain, "after Stop the procedure is not called again");
    Check(BASS_StreamFree(stream) != 0 && BASS_StreamFree(stream) == 0, "a stream is freed once");
    Check(BASS_ChannelStop(stream) == 0 && BASS_ChannelPlay(stream, 1) == 0,
          "a freed stream cannot be stopped or played");
}

// QB_SEEKABLE=1 lets streams with a procedure take any position, rounded down to a
// whole frame.
void Seekable() {
    CountingStream counting;
    counting.endAfter = 20000;
    const HSTREAM stream = BASS_StreamCreate(48000, 2, kPlayFlags, CountingProc, &counting);
    SyncRecord record{&counting, stream, {}, 12, true};
    BASS_ChannelSetSync(stream, kSyncEndMixtime, 0, RecordSync, &record);
    BASS_ChannelPlay(stream, 1);
    Check(WaitFor([&] { return record.firedAt.size() >= 2; }), "end sync fires twice");
    BASS_ChannelStop(stream);
    Check(record.firedAt.size() >= 2 && record.firedAt[0] == 20000 && record.firedAt[1] == 40000,
          "a rewind to a non-zero position lets the stream play on");
    Check(BASS_ChannelSetPosition(stream, 4000, 0) != 0, "any whole frame is taken");
    BASS_StreamFree(stream);
}

// QB_NO_WAIT=1: Stop returns while a procedure call is still under way; the next Play
// waits for it, so the procedure never runs twice at once.
std::atomic<int> g_inside{0};
std::atomic<int> g_mostInside{0};

DWORD CALLBACK SlowProc(HSTREAM, void* buffer, DWORD length, void*) {
    const int inside = ++g_inside;
    if (inside > g_mostInside) {
        g_mostInside = inside;
    }
    Sleep(3);
    std::memset(buffer, 0, length);
    --g_inside;
    return length;
}

void NoWait() {
    const HSTREAM stream = BASS_StreamCreate(48000, 2, kPlayFlags, SlowProc, nullptr);
    int stoppedInside = 0;
    for (int round = 0; round < 40; ++round) {
        BASS_ChannelPlay(stream, 1);
        Sleep(static_cast<DWORD>(round % 5));
        BASS_ChannelStop(stream);
        stoppedInside += g_inside.load();
    }
    Check(stoppedInside > 0, "Stop returned while the procedure was running");
    Check(g_mostInside == 1, "the procedure never ran twice at once");
    BASS_StreamFree(stream);
}

// QB_NO_DEVICE=1: the default device fails; the "no sound" device opens, for decoding
// streams only.
void NoDevice() {
    CountingStream counting;
    Check(BASS_StreamCreate(48000, 2, kDecodeFlags, CountingProc, &counting) == 0,
          "no stream before a device is open");
    Check(BASS_Init(-1, 48000, 0, nullptr, nullptr) == 0, "the default device fails");
    Check(BASS_Init(0, 48000, 0, nullptr, nullptr) != 0, "the no-sound device opens");
    Check(BASS_StreamCreate(48000, 2, kPlayFlags, CountingProc, &counting) == 0,
          "nothing can be played");
    Check(BASS_StreamCreate(48000, 2, kDecodeFlags, CountingProc, &counting) != 0,
          "decoding streams can be made");
}

void DecodeStreams() {
    CountingStream counting;
    counting.endAfter = 250;
    const HSTREAM stream = BASS_StreamCreate(48000, 2, kDecodeFlags, CountingProc, &counting);
    char buffer[200];
    Check(stream != 0, "decoding stream made");
    Check(BASS_ChannelPlay(stream, 1) == 0, "a decoding stream is not played");
    Check(BASS_ChannelGetData(stream, buffer, 200) == 200, "read through its procedure");
    Check(BASS_ChannelGetData(stream, buffer, 200) == 50, "the end gives the last bytes");
    Check(BASS_ChannelGetData(stream, buffer, 200) == static_cast<DWORD>(-1),
          "an ended stream gives -1");
    Check(counting.calls == 2, "the procedure is called once per read");
    CountingStream played;
    const HSTREAM output = BASS_StreamCreate(48000, 2, kPlayFlags, CountingProc, &played);
    Check(BASS_ChannelGetData(output, buffer, 200) == static_cast<DWORD>(-1),
          "a played stream is not read with GetData");
    Check(BASS_StreamCreate(44100, 2, kPlayFlags, CountingProc, &played) == 0,
          "a played stream must be 48000 Hz");
    BASS_StreamFree(stream);
    BASS_StreamFree(output);
}

void Tags() {
    CountingStream counting;
    const HSTREAM stream = BASS_StreamCreate(48000, 2, kPlayFlags, CountingProc, &counting);
    const char* tags = BASS_ChannelGetTags(stream, 2);
    const char expected[] = "LOOPSTART=100\0loopLength=50\0";
    Check(tags != nullptr && std::memcmp(tags, expected, sizeof(expected)) == 0,
          "tags of kind 2 come from QB_LOOP_TAGS");
    Check(BASS_ChannelGetTags(stream, 0) == nullptr, "no tags of other kinds");
    const HSTREAM decode = BASS_StreamCreate(48000, 2, kDecodeFlags, CountingProc, &counting);
    Check(BASS_ChannelGetTags(decode, 2) == nullptr, "decoding streams have no tags");
}

std::wstring Widen(const char* text) {
    std::wstring out;
    for (; *text != '\0'; ++text) {
        out += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    }
    return out;
}

DWORD Load(const std::string& path) {
    const std::wstring wide = Widen(path.c_str());
    return BASS_VST_ChannelCreate(48000, 2, wide.c_str(), 0x80200100);
}

void Instruments(const std::string& dir, const std::string& notAPlugin) {
    const DWORD synth = Load(dir + "\\qb_synth.dll");
    Check(synth != 0, "instrument loaded");
    BASS_VST_INFO info;
    std::memset(&info, 0xAB, sizeof(info));
    Check(BASS_VST_GetInfo(synth, &info) != 0, "information given");
    Check(info.hasEditor == 1 && info.editorWidth == 400 && info.editorHeight == 300,
          "editor 400 x 300");
    Check(info.channelHandle == synth && std::strcmp(info.effectName, "qb_synth") == 0 &&
              info.chansOut == 2 && info.isInstrument == 1 && info.dspHandle == 0 &&
              info.chansIn == 0 && info.aeffect != nullptr,
          "the whole record is filled");

    float audio[2 * 480];
    Check(BASS_ChannelGetData(synth, audio, sizeof(audio)) == sizeof(audio), "renders on demand");
    bool silent = true;
    for (float sample : audio) {
        silent = silent && sample == 0.0f;
    }
    Check(silent, "silent before a note");
    Check(BASS_VST_ProcessEvent(synth, 0, 1, 69 | 100 << 8) != 0, "event handed over");
    BASS_ChannelGetData(synth, audio, sizeof(audio));
    Check(audio[0] == 0.0f && audio[2] != 0.0f, "the note sounds from the next frame on");

    const DWORD delayed = Load(dir + "\\qb_synth_delayed.dll");
    Check(delayed != 0 && BASS_VST_GetInfo(delayed, &info) != 0 && info.initialDelay == 480 &&
              BASS_VST_GetInfo(synth, &info) != 0 && info.initialDelay == 0,
          "an instrument with an initial delay says how long it is");
    float late[2 * 960];
    BASS_VST_ProcessEvent(delayed, 0, 1, 69 | 100 << 8);
    BASS_ChannelGetData(delayed, late, sizeof(late));
    constexpr size_t kDelayed = size_t{2} * 480; // the first sample of frame 480
    Check(late[kDelayed] == 0.0f && late[kDelayed + 2] != 0.0f && late[kDelayed - 2] == 0.0f,
          "its sound comes that many frames later");
    BASS_VST_ChannelFree(delayed);

    const DWORD plain = Load(dir + "\\qb_synth_plain.dll");
    Check(plain != 0 && BASS_VST_GetInfo(plain, &info) != 0 && info.hasEditor == 0 &&
              info.editorWidth == 0,
          "an instrument without an editor says so");
    Check(BASS_VST_EmbedEditor(plain, GetDesktopWindow()) == 0, "no editor to embed");
    const DWORD wide = Load(dir + "\\qb_synth_wide.dll");
    Check(wide != 0 && BASS_VST_GetInfo(wide, &info) != 0 && info.editorWidth == 640 &&
              info.editorHeight == 480,
          "the wide editor is 640 x 480");

    Check(BASS_VST_ChannelFree(synth) != 0, "instrument freed");
    Check(BASS_ChannelGetData(synth, audio, sizeof(audio)) == static_cast<DWORD>(-1),
          "a freed instrument gives no data");
    Check(BASS_VST_ProcessEvent(synth, 0, 1, 60 | 100 << 8) == 0, "nor takes events");
    Check(BASS_VST_GetInfo(synth, &info) == 0, "nor information");
    Check(BASS_VST_ChannelFree(0) != 0, "freeing handle 0 is accepted");
    Check(BASS_VST_ChannelFree(plain) != 0 && BASS_VST_ChannelFree(wide) != 0, "others freed");
    Check(Load(dir + "\\qb_synth.dll") != 0, "loaded again after being freed");

    Check(Load(dir + "\\no such instrument.dll") == 0, "a missing file gives 0");
    Check(Load(notAPlugin) == 0, "a library that is no instrument gives 0");
    Check(Load(dir + "\\..\\CMakeCache.txt") == 0, "a file that is no library gives 0");
}

// The mixing thread pulls and sends events to whichever instrument is current while
// this thread keeps replacing it.
std::atomic<DWORD> g_current{0};
std::atomic<DWORD> g_pulls{0};

DWORD CALLBACK PullCurrent(HSTREAM, void* buffer, DWORD length, void*) {
    const DWORD instrument = g_current.load();
    BASS_VST_ProcessEvent(instrument, 0, 1, (60 + g_pulls % 12) | 100 << 8);
    const DWORD got = BASS_ChannelGetData(instrument, buffer, length);
    if (got == static_cast<DWORD>(-1) || got < length) {
        std::memset(buffer, 0, length);
    }
    g_pulls++;
    return length;
}

void SwapWhileMixing(const std::string& dir) {
    g_current = Load(dir + "\\qb_synth.dll");
    const HSTREAM stream = BASS_StreamCreate(48000, 2, kPlayFlags, PullCurrent, nullptr);
    BASS_ChannelPlay(stream, 1);
    bool allLoaded = true;
    for (int round = 0; round < 100; ++round) {
        const DWORD next = Load(dir + (round % 2 ? "\\qb_synth.dll" : "\\qb_synth_wide.dll"));
        allLoaded = allLoaded && next != 0;
        BASS_VST_ChannelFree(g_current.exchange(next));
        const DWORD pulls = g_pulls;
        WaitFor([&] { return g_pulls > pulls; }, 1000);
    }
    BASS_ChannelStop(stream);
    Check(allLoaded, "instruments replaced 100 times while the mixing thread reads them");
    Check(g_pulls >= 100, "the mixing thread kept going");
}

void Midi(const char* path) {
    const std::wstring wide = Widen(path);
    const HSTREAM midi = BASS_MIDI_StreamCreateFile(0, wide.c_str(), 0, 0, 0x80200100, 48000);
    if (midi == 0) {
        std::printf("no stream\n");
        std::fflush(stdout);
        ExitProcess(3);
    }
    const DWORD count = BASS_MIDI_StreamGetEvents(midi, -1, 0, nullptr);
    std::vector<BASS_MIDI_EVENT> events(count + 1);
    const DWORD filled = BASS_MIDI_StreamGetEvents(midi, -1, 0, events.data());
    Check(filled == count, "counted and filled alike");
    for (DWORD i = 0; i < filled; ++i) {
        std::printf("event %lu %lu %lu %lu\n", static_cast<unsigned long>(events[i].event),
                    static_cast<unsigned long>(events[i].param),
                    static_cast<unsigned long>(events[i].chan),
                    static_cast<unsigned long>(events[i].pos));
    }
    BASS_StreamFree(midi);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: standin_probe syncs|rewind|stop|seekable|nowait|nodevice|decode|tags|"
                    "instruments DIR NOT_A_PLUGIN|swap DIR|midi FILE\n");
        return 2;
    }
    const std::string scenario = argv[1];
    if (scenario == "nodevice") {
        NoDevice();
        std::fflush(stdout);
        ExitProcess(g_failures == 0 ? 0 : 1);
    }
    BASS_Init(-1, 48000, 0, nullptr, nullptr);
    if (scenario == "syncs") {
        PositionSyncs();
    } else if (scenario == "rewind") {
        EndAndRewind();
    } else if (scenario == "stop") {
        StopWhileMixing();
    } else if (scenario == "seekable") {
        Seekable();
    } else if (scenario == "nowait") {
        NoWait();
    } else if (scenario == "decode") {
        DecodeStreams();
    } else if (scenario == "tags") {
        Tags();
    } else if (scenario == "instruments" && argc == 4) {
        Instruments(argv[2], argv[3]);
    } else if (scenario == "swap" && argc == 3) {
        SwapWhileMixing(argv[2]);
    } else if (scenario == "midi" && argc == 3) {
        Midi(argv[2]);
    } else {
        std::printf("unknown scenario\n");
        return 2;
    }
    std::fflush(stdout);
    ExitProcess(g_failures == 0 ? 0 : 1);
}
