"""Writes Standard MIDI Files, and computes where their events fall in the audio, for
the demo song and the tests. Standard library only.

A track is a list of (tick, message bytes) pairs in any order of insertion; they are
sorted stably by tick when written.
"""
import struct


def variable_length(value):
    """The file's variable-length quantity: 7 bits a byte, high bit on all but the last."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def note_on(channel, key, velocity):
    return bytes([0x90 | channel, key, velocity])


def note_off(channel, key):
    return bytes([0x80 | channel, key, 0])


def control(channel, number, value):
    return bytes([0xB0 | channel, number, value])


def program(channel, number):
    return bytes([0xC0 | channel, number])


def tempo(microseconds_per_quarter):
    return b"\xff\x51\x03" + microseconds_per_quarter.to_bytes(3, "big")


def port(number):
    """The port meta event: the track's later channel messages go to port `number`."""
    return b"\xff\x21\x01" + bytes([number])


def text(value):
    data = value.encode("ascii")
    return b"\xff\x01" + variable_length(len(data)) + data


def track_chunk(events, running_status=False):
    body = bytearray()
    last_tick = 0
    status = None
    for tick, message in sorted(events, key=lambda item: item[0]):
        body += variable_length(tick - last_tick)
        last_tick = tick
        if running_status and message[0] < 0xF0 and message[0] == status:
            body += message[1:]
        else:
            body += message
        status = message[0] if message[0] < 0xF0 else None
    body += variable_length(0) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


def midi_file(tracks, division=480, running_status=False):
    fmt = 0 if len(tracks) == 1 else 1
    header = b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division)
    return header + b"".join(track_chunk(t, running_status) for t in tracks)


# Event numbers of the records the host reads, for channel messages.
CONTROLLER_EVENTS = {0: 10, 1: 11, 7: 12, 10: 13, 11: 14, 64: 15, 120: 16, 121: 17, 123: 18}


def expected_events(tracks, division=480, rate=48000):
    """The records (event, param, chan, pos) the reader gives for `tracks`, in order:
    positions from the exact tempo map, merged stably by tick then track; a port meta
    event puts its track's later channels on that port (16 channels a port)."""
    tempos = sorted(((tick, int.from_bytes(m[3:6], "big")) for track in tracks
                     for tick, m in track if m[:2] == b"\xff\x51"), key=lambda item: item[0])

    def position(tick):
        from fractions import Fraction
        seconds, last_tick, current = Fraction(0), 0, 500000
        for change_tick, value in tempos:
            if change_tick > tick:
                break
            seconds += Fraction((change_tick - last_tick) * current, division * 1000000)
            last_tick, current = change_tick, value
        seconds += Fraction((tick - last_tick) * current, division * 1000000)
        frames = seconds * rate
        return (int(frames + Fraction(1, 2))) * 8 % 2**32

    records = []
    for index, track in enumerate(tracks):
        current_port = 0
        for order, (tick, m) in enumerate(sorted(track, key=lambda item: item[0])):
            record = None
            kind, channel = m[0] & 0xF0, (m[0] & 0x0F) + 16 * current_port
            if m[:3] == b"\xff\x21\x01":
                current_port = m[3] % 8
            elif m[:2] == b"\xff\x51":
                record = (62, int.from_bytes(m[3:6], "big"), 0)
            elif kind == 0x90:
                record = (1, m[1] | m[2] << 8, channel)
            elif kind == 0x80:
                record = (1, m[1], channel)
            elif kind == 0xB0 and m[1] in CONTROLLER_EVENTS:
                value = 0 if m[1] in (120, 121, 123) else m[2]
                record = (CONTROLLER_EVENTS[m[1]], value, channel)
            elif kind == 0xC0:
                record = (2, m[1], channel)
            elif kind == 0xD0:
                record = (3, m[1], channel)
            elif kind == 0xE0:
                record = (4, m[1] | m[2] << 7, channel)
            if record:
                records.append(((tick, index, order), record + (position(tick),)))
    records.sort(key=lambda item: item[0])
    return [record for _, record in records]
