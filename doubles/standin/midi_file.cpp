#include "doubles/standin/midi_file.h"

#include <algorithm>

namespace {

constexpr uint32_t kMicrosPerSecond = 1000000;
constexpr uint32_t kDefaultTempo = 500000; // microseconds per quarter note: 120 bpm
constexpr uint32_t kMaxVariableLengthBytes = 4;
constexpr uint32_t kMaxSampleRate = 384000;

class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return offset_ >= size_; }
    size_t Left() const { return size_ - offset_; }

    bool Byte(uint8_t* value) {
        if (offset_ >= size_) {
            return false;
        }
        *value = data_[offset_++];
        return true;
    }
    bool Peek(uint8_t* value) const {
        if (offset_ >= size_) {
            return false;
        }
        *value = data_[offset_];
        return true;
    }
    bool BigEndian(size_t bytes, uint32_t* value) {
        if (Left() < bytes) {
            return false;
        }
        uint32_t result = 0;
        for (size_t i = 0; i < bytes; ++i) {
            result = (result << 8) | data_[offset_++];
        }
        *value = result;
        return true;
    }
    bool VariableLength(uint32_t* value) {
        uint32_t result = 0;
        for (uint32_t i = 0; i < kMaxVariableLengthBytes; ++i) {
            uint8_t byte = 0;
            if (!Byte(&byte)) {
                return false;
            }
            result = (result << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) {
                *value = result;
                return true;
            }
        }
        return false;
    }
    bool Skip(size_t bytes) {
        if (Left() < bytes) {
            return false;
        }
        offset_ += bytes;
        return true;
    }
    bool Tag(const char* tag) {
        if (Left() < 4 || std::equal(tag, tag + 4, data_ + offset_) == false) {
            return false;
        }
        offset_ += 4;
        return true;
    }
    const uint8_t* Here() const { return data_ + offset_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

constexpr uint32_t kMidiPorts = 8; // 128 channels at most; higher ports wrap

struct TimedEvent {
    MidiFileEvent record;
    uint64_t tick;
};

// A mark travels with the events, placed and ordered as they are: its record's event is
// kMarkRecord plus its kind, its param the index of its text.
constexpr uint32_t kMarkRecord = 0x10000;

// The mark kind of a meta event's type, or -1 for none.
int MarkKind(uint8_t type) {
    switch (type) {
    case 0x01:
        return 3; // text
    case 0x02:
        return 6; // copyright
    case 0x03:
        return 7; // track name
    case 0x04:
        return 8; // instrument
    case 0x05:
        return 2; // lyric
    case 0x06:
        return 0; // marker
    case 0x07:
        return 1; // cue
    case 0x58:
        return 4; // time signature
    case 0x59:
        return 5; // key signature
    default:
        return -1;
    }
}

// The mark's text: as the file has it, or a signature written out.
std::string MarkText(uint8_t type, const uint8_t* body, uint32_t length) {
    if (type == 0x58 && length >= 4) {
        return std::to_string(body[0]) + "/" + std::to_string(1u << (body[1] & 15)) + "/" +
               std::to_string(body[2]) + "/" + std::to_string(body[3]);
    }
    if (type == 0x59 && length >= 2) {
        return std::to_string(static_cast<int8_t>(body[0])) + " " + std::to_string(body[1] & 1);
    }
    return std::string(reinterpret_cast<const char*>(body), length);
}

// A channel message as an event record, or false for messages without a number in
// the host's table (polyphonic pressure, unnamed controllers).
bool ChannelEvent(uint8_t status, uint8_t data1, uint8_t data2, MidiFileEvent* out) {
    out->chan = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80:
        out->event = kEventNote;
        out->param = data1;
        return true;
    case 0x90:
        out->event = kEventNote;
        out->param = data1 | (static_cast<uint32_t>(data2) << 8);
        return true;
    case 0xB0:
        out->param = data2;
        switch (data1) {
        case 0:
            out->event = kEventBankSelect;
            return true;
        case 1:
            out->event = kEventModulation;
            return true;
        case 7:
            out->event = kEventVolume;
            return true;
        case 10:
            out->event = kEventPan;
            return true;
        case 11:
            out->event = kEventExpression;
            return true;
        case 64:
            out->event = kEventSustain;
            return true;
        case 120:
            out->event = kEventSoundOff;
            out->param = 0;
            return true;
        case 121:
            out->event = kEventResetControllers;
            out->param = 0;
            return true;
        case 123:
            out->event = kEventAllNotesOff;
            out->param = 0;
            return true;
        default:
            return false;
        }
    case 0xC0:
        out->event = kEventProgram;
        out->param = data1;
        return true;
    case 0xD0:
        out->event = kEventChannelPressure;
        out->param = data1;
        return true;
    case 0xE0:
        out->event = kEventPitchBend;
        out->param = data1 | (static_cast<uint32_t>(data2) << 7);
        return true;
    default:
        return false;
    }
}

bool OneDataByte(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0;
}

bool ReadTrack(ByteReader track, uint32_t trackIndex, std::vector<TimedEvent>* out,
               std::vector<std::string>* texts) {
    uint64_t tick = 0;
    uint8_t runningStatus = 0;
    uint32_t port = 0; // from the port meta event; each port adds 16 channels
    while (!track.AtEnd()) {
        uint32_t delta = 0;
        uint8_t status = 0;
        if (!track.VariableLength(&delta) || !track.Peek(&status)) {
            return false;
        }
        tick += delta;
        if (status < 0x80) {
            if (runningStatus == 0) {
                return false; // a data byte with no status to run on
            }
            status = runningStatus;
        } else {
            track.Skip(1);
        }

        if (status == 0xFF) {
            runningStatus = 0;
            uint8_t type = 0;
            uint32_t length = 0;
            if (!track.Byte(&type) || !track.VariableLength(&length) || track.Left() < length) {
                return false;
            }
            const uint8_t* body = track.Here();
            track.Skip(length);
            if (type == 0x2F) {
                return true; // end of track: whatever follows is not part of it
            }
            if (type == 0x21 && length == 1) {
                port = body[0] % kMidiPorts;
            }
            const int kind = MarkKind(type);
            if (kind >= 0 && texts != nullptr) {
                TimedEvent mark{};
                mark.tick = tick;
                mark.record.event = kMarkRecord + static_cast<uint32_t>(kind);
                mark.record.param = static_cast<uint32_t>(texts->size());
                mark.record.track = trackIndex;
                texts->push_back(MarkText(type, body, length));
                out->push_back(mark);
            }
            if (type == 0x51 && length == 3) {
                TimedEvent tempo{};
                tempo.tick = tick;
                tempo.record.event = kEventTempo;
                tempo.record.param = (static_cast<uint32_t>(body[0]) << 16) |
                                     (static_cast<uint32_t>(body[1]) << 8) | body[2];
                tempo.record.track = trackIndex;
                out->push_back(tempo);
            }
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            runningStatus = 0;
            uint32_t length = 0;
            if (!track.VariableLength(&length) || !track.Skip(length)) {
                return false;
            }
            continue;
        }
        if (status >= 0xF0) {
            return false; // system common and real-time messages have no place in a file
        }

        runningStatus = status;
        uint8_t data1 = 0;
        uint8_t data2 = 0;
        if (!track.Byte(&data1) || data1 >= 0x80) {
            return false;
        }
        if (!OneDataByte(status) && (!track.Byte(&data2) || data2 >= 0x80)) {
            return false;
        }
        TimedEvent event{};
        event.tick = tick;
        event.record.track = trackIndex;
        if (ChannelEvent(status, data1, data2, &event.record)) {
            event.record.chan += port * kMidiChannels;
            out->push_back(event);
        }
    }
    return true; // a track without its end marker is taken as it stands
}

// Time of a tick in seconds as the exact fraction numerator / denominator, turned into a
// byte position by rounding once, so positions never drift however long the song.
struct Timebase {
    uint64_t denominator;
    uint32_t sampleRate;

    uint32_t Position(uint64_t numerator) const {
        const uint64_t seconds = numerator / denominator;
        const uint64_t rest = numerator % denominator;
        const uint64_t frames =
            seconds * sampleRate + (rest * sampleRate + denominator / 2) / denominator;
        return static_cast<uint32_t>(frames * kBytesPerFrame);
    }
};

// Metrical time: ticks per quarter note, with the tempo map of all tracks.
void PlaceMetrical(std::vector<TimedEvent>* events, Timebase timebase) {
    std::vector<const TimedEvent*> tempos;
    for (const TimedEvent& event : *events) {
        if (event.record.event == kEventTempo) {
            tempos.push_back(&event);
        }
    }
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TimedEvent* a, const TimedEvent* b) { return a->tick < b->tick; });

    // For each tempo change, the tick where it starts and the time there in units of
    // 1 / (ticksPerQuarter * 1e6) seconds.
    struct Segment {
        uint64_t tick;
        uint64_t numerator;
        uint32_t tempo;
    };
    std::vector<Segment> segments{{0, 0, kDefaultTempo}};
    for (const TimedEvent* tempo : tempos) {
        const Segment& last = segments.back();
        const uint64_t numerator = last.numerator + (tempo->tick - last.tick) * last.tempo;
        if (tempo->tick == last.tick) {
            segments.back().tempo = tempo->record.param;
        } else {
            segments.push_back({tempo->tick, numerator, tempo->record.param});
        }
    }
    for (TimedEvent& event : *events) {
        auto after = std::upper_bound(
            segments.begin(), segments.end(), event.tick,
            [](uint64_t tick, const Segment& segment) { return tick < segment.tick; });
        const Segment& segment = *(after - 1);
        const uint64_t numerator = segment.numerator + (event.tick - segment.tick) * segment.tempo;
        event.record.pos = timebase.Position(numerator);
    }
}

} // namespace

bool ReadMidiFile(const uint8_t* data, size_t size, uint32_t sampleRate,
                  std::vector<MidiFileEvent>* events, MidiFileExtras* extras) {
    events->clear();
    std::vector<std::string> texts;
    std::vector<std::string>* keep = extras != nullptr ? &texts : nullptr;
    if (data == nullptr || sampleRate == 0 || sampleRate > kMaxSampleRate) {
        return false;
    }
    ByteReader file(data, size);
    uint32_t headerLength = 0;
    uint32_t format = 0;
    uint32_t trackCount = 0;
    uint32_t division = 0;
    if (!file.Tag("MThd") || !file.BigEndian(4, &headerLength) || headerLength < 6 ||
        !file.BigEndian(2, &format) || !file.BigEndian(2, &trackCount) ||
        !file.BigEndian(2, &division) || !file.Skip(headerLength - 6)) {
        return false;
    }
    if (format > 1 || trackCount == 0 || (format == 0 && trackCount != 1) || division == 0) {
        return false;
    }

    std::vector<TimedEvent> timed;
    for (uint32_t track = 0; track < trackCount;) {
        uint32_t length = 0;
        const bool isTrack = file.Tag("MTrk");
        if (!isTrack && !file.Skip(4)) {
            return false;
        }
        if (!file.BigEndian(4, &length) || file.Left() < length) {
            return false;
        }
        if (isTrack) {
            if (!ReadTrack(ByteReader(file.Here(), length), track, &timed, keep)) {
                return false;
            }
            ++track;
        }
        file.Skip(length); // chunks of unknown kinds are passed over
    }

    if ((division & 0x8000) == 0) {
        // Ticks per quarter note: numerator counts microsecond-ticks.
        PlaceMetrical(&timed, {static_cast<uint64_t>(division) * kMicrosPerSecond, sampleRate});
    } else {
        // Time code: frames per second (29 means 29.97) times ticks per frame.
        const int framesPerSecond = -static_cast<int8_t>(division >> 8);
        const uint32_t ticksPerFrame = division & 0xFF;
        if ((framesPerSecond != 24 && framesPerSecond != 25 && framesPerSecond != 29 &&
             framesPerSecond != 30) ||
            ticksPerFrame == 0) {
            return false;
        }
        const uint64_t hundredthsFps = framesPerSecond == 29 ? 2997 : framesPerSecond * 100;
        const Timebase timebase{hundredthsFps * ticksPerFrame, sampleRate};
        for (TimedEvent& event : timed) {
            event.record.pos = timebase.Position(event.tick * 100);
        }
    }

    // Positions grow with ticks, so ordering by tick orders by position without being
    // misled by the 32-bit wrap of positions in very long songs.
    std::stable_sort(timed.begin(), timed.end(), [](const TimedEvent& a, const TimedEvent& b) {
        if (a.tick != b.tick) {
            return a.tick < b.tick;
        }
        return a.record.track < b.record.track;
    });
    events->reserve(timed.size());
    for (TimedEvent& event : timed) {
        event.record.tick = static_cast<uint32_t>(event.tick);
        if (event.record.event >= kMarkRecord) {
            const MidiFileEvent& mark = event.record;
            extras->marks.push_back({mark.event - kMarkRecord, mark.track, mark.tick, mark.pos,
                                     std::move(texts[mark.param])});
        } else {
            events->push_back(event.record);
        }
    }
    if (extras != nullptr) {
        extras->ppqn = (division & 0x8000) == 0 ? division : 0;
    }
    return true;
}
