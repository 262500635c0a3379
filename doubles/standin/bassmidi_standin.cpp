// Stand-in bassmidi.dll: reads a Standard MIDI File into its events. The MIDI stream
// itself is a decoding stream of bass.dll that gives no audio; the host only reads its
// events and frees it.
#define QB_AUDIO_API __declspec(dllexport)
#include "doubles/standin/library_constants.h"
#include "audio/bass_api.h"
#include "audio/bass_further_api.h"
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
    MidiFileExtras extras;
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

// The stream's pulses per quarter note, an attribute of bass.dll's streams that only
// this library sets (through bass.dll's export, which the import library lacks).
void SetPpqn(HSTREAM handle, uint32_t ppqn) {
    typedef BOOL(WINAPI * SetAttributeProc)(DWORD, DWORD, float);
    const auto set = reinterpret_cast<SetAttributeProc>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"bass.dll"), "BASS_ChannelSetAttribute")));
    if (ppqn != 0 && set != nullptr) {
        set(handle, kAttribMidiPpqn, static_cast<float>(ppqn));
    }
}

// The items of the song of `handle` that `keep` keeps, counted, and written by `write`
// (to the caller's table, when there is one); -1 for a handle of no song.
template <typename Item, typename Keep, typename Write>
DWORD ListOfSong(HSTREAM handle, const std::vector<Item>& (*items)(const Song&), Keep keep,
                 Write write) {
    DWORD count = static_cast<DWORD>(-1);
    std::lock_guard<std::mutex> lock(g_songLock);
    for (const Song& song : g_songs) {
        if (handle == 0 || song.handle != handle) {
            continue;
        }
        count = 0;
        for (const Item& item : items(song)) {
            if (keep(item)) {
                write(count++, item);
            }
        }
    }
    return count;
}

const std::vector<MidiFileEvent>& EventsOf(const Song& song) {
    return song.events;
}

const std::vector<MidiFileMark>& MarksOf(const Song& song) {
    return song.extras.marks;
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
    MidiFileExtras extras;
    ok = ok && ReadMidiFile(bytes.data(), bytes.size(), freq, &events, &extras);
    const HSTREAM handle =
        ok ? BASS_StreamCreate(freq, 2, kFlagDecode | kFlagFloat, NoAudio, nullptr) : 0;
    if (handle != 0) {
        SetPpqn(handle, extras.ppqn);
        std::lock_guard<std::mutex> lock(g_songLock);
        Song& song = g_songs[g_nextSong];
        g_nextSong = (g_nextSong + 1) % kKeptSongs;
        song.handle = handle;
        song.events.swap(events);
        song.extras = std::move(extras);
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
    const DWORD count = ListOfSong<MidiFileEvent>(
        handle, EventsOf,
        [&](const MidiFileEvent& event) {
            return (track < 0 || event.track == static_cast<uint32_t>(track)) &&
                   (filter == 0 || event.event == filter);
        },
        [&](DWORD at, const MidiFileEvent& event) {
            if (events != nullptr) {
                events[at] = {event.event, event.param, event.chan, event.tick, event.pos};
            }
        });
    TRACE_HOST_CALL("BASS_MIDI_StreamGetEvents handle=%lu track=%d filter=%lu table=%s -> %ld",
                    static_cast<unsigned long>(handle), track, static_cast<unsigned long>(filter),
                    events == nullptr ? "null" : "set",
                    static_cast<long>(static_cast<int32_t>(count)));
    return count;
}

// With a null table, counts the marks of `track` (-1 for all) of the kind in `type`
// (with kMarkTick, positions in ticks); with a table, fills it with them. The texts stay
// valid until the song is dropped, 16 songs later.
DWORD WINAPI BASS_MIDI_StreamGetMarks(HSTREAM handle, int track, DWORD type,
                                      BASS_MIDI_MARK* marks) {
    const DWORD kind = type & ~kMarkTick;
    const DWORD count = ListOfSong<MidiFileMark>(
        handle, MarksOf,
        [&](const MidiFileMark& mark) {
            return (track < 0 || mark.track == static_cast<uint32_t>(track)) && mark.kind == kind;
        },
        [&](DWORD at, const MidiFileMark& mark) {
            if (marks != nullptr) {
                marks[at] = {mark.track, (type & kMarkTick) != 0 ? mark.tick : mark.pos,
                             mark.text.c_str()};
            }
        });
    TRACE_HOST_CALL("BASS_MIDI_StreamGetMarks handle=%lu track=%d type=0x%lx table=%s -> %ld",
                    static_cast<unsigned long>(handle), track, static_cast<unsigned long>(type),
                    marks == nullptr ? "null" : "set",
                    static_cast<long>(static_cast<int32_t>(count)));
    return kind > 8 ? static_cast<DWORD>(-1) : count;
}

} // extern "C"
