// Stand-in bassmidi.dll: reads a Standard MIDI File into its events. The MIDI stream
// itself is a decoding stream of bass.dll that gives no audio; the host only reads its
// events and frees it.
#define QB_AUDIO_API __declspec(dllexport)
#include "doubles/standin/library_constants.h"
#include "audio/bass_api.h"
#include "doubles/standin/midi_file.h"
#include "doubles/standin/trace.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace {

constexpr QWORD kMaxFileBytes = QWORD{16} * 1024 * 1024;
// The host frees a MIDI stream through bass.dll, which cannot tell this library, so
// the events of the most recent streams are kept and older ones are dropped.
constexpr size_t kKeptSongs = 16;

struct Song {
    HSTREAM handle = 0;
    std::vector<MidiFileEvent> events;
};

std::mutex g_songLock;
std::vector<Song> g_songs(kKeptSongs);
size_t g_nextSong = 0;

DWORD CALLBACK NoAudio(HSTREAM /*handle*/, void* /*buffer*/, DWORD /*length*/, void* /*user*/) {
    return kStreamEndBit;
}

bool ReadFileBytes(const void* name, bool unicode, QWORD offset, QWORD length,
                   std::vector<uint8_t>* bytes) {
    const HANDLE file =
        unicode ? CreateFileW(static_cast<const wchar_t*>(name), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                : CreateFileA(static_cast<const char*>(name), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) != 0 && static_cast<QWORD>(size.QuadPart) >= offset;
    QWORD wanted = ok ? static_cast<QWORD>(size.QuadPart) - offset : 0;
    if (length != 0 && length < wanted) {
        wanted = length;
    }
    ok = ok && wanted <= kMaxFileBytes;
    if (ok) {
        LARGE_INTEGER start;
        start.QuadPart = static_cast<LONGLONG>(offset);
        bytes->resize(static_cast<size_t>(wanted));
        DWORD read = 0;
        ok = SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0 &&
             (wanted == 0 ||
              ReadFile(file, bytes->data(), static_cast<DWORD>(wanted), &read, nullptr) != 0) &&
             read == wanted;
    }
    CloseHandle(file);
    return ok;
}

} // namespace

extern "C" {

HSTREAM WINAPI BASS_MIDI_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                                          DWORD flags, DWORD freq) {
    std::vector<uint8_t> bytes;
    bool ok = file != nullptr;
    if (ok && mem) {
        ok = length <= kMaxFileBytes;
        if (ok) {
            const auto* start = static_cast<const uint8_t*>(file) + offset;
            bytes.assign(start, start + length);
        }
    } else if (ok) {
        ok = ReadFileBytes(file, (flags & kFlagUnicode) != 0, offset, length, &bytes);
    }
    std::vector<MidiFileEvent> events;
    ok = ok && ReadMidiFile(bytes.data(), bytes.size(), freq, &events);
    const HSTREAM handle =
        ok ? BASS_StreamCreate(freq, 2, kFlagDecode | kFlagFloat, NoAudio, nullptr) : 0;
    if (handle != 0) {
        std::lock_guard<std::mutex> lock(g_songLock);
        Song& song = g_songs[g_nextSong];
        g_nextSong = (g_nextSong + 1) % kKeptSongs;
        song.handle = handle;
        song.events.swap(events);
    }
    const bool named = file != nullptr && !mem && (flags & kFlagUnicode) != 0;
    TRACE_HOST_CALL("BASS_MIDI_StreamCreateFile mem=%d file=%s offset=%llu length=%llu "
                    "flags=0x%lx freq=%lu -> %lu",
                    static_cast<int>(mem),
                    TraceText(named ? static_cast<const wchar_t*>(file) : nullptr).c_str(),
                    static_cast<unsigned long long>(offset),
                    static_cast<unsigned long long>(length), static_cast<unsigned long>(flags),
                    static_cast<unsigned long>(freq), static_cast<unsigned long>(handle));
    return handle;
}

// With a null table, counts the events of `track` (-1 for all) of type `filter` (0 for
// all); with a table, fills it with them.
DWORD WINAPI BASS_MIDI_StreamGetEvents(HSTREAM handle, int track, DWORD filter,
                                       BASS_MIDI_EVENT* events) {
    DWORD count = static_cast<DWORD>(-1);
    {
        std::lock_guard<std::mutex> lock(g_songLock);
        for (const Song& song : g_songs) {
            if (handle == 0 || song.handle != handle) {
                continue;
            }
            count = 0;
            for (const MidiFileEvent& event : song.events) {
                if ((track >= 0 && event.track != static_cast<uint32_t>(track)) ||
                    (filter != 0 && event.event != filter)) {
                    continue;
                }
                if (events != nullptr) {
                    events[count] = {event.event, event.param, event.chan, event.tick, event.pos};
                }
                ++count;
            }
        }
    }
    TRACE_HOST_CALL("BASS_MIDI_StreamGetEvents handle=%lu track=%d filter=%lu table=%s -> %ld",
                    static_cast<unsigned long>(handle), track, static_cast<unsigned long>(filter),
                    events == nullptr ? "null" : "set",
                    static_cast<long>(static_cast<int32_t>(count)));
    return count;
}

} // extern "C"
