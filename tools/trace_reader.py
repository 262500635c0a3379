"""Reads the stand-in libraries' trace of a host run (see standin/README.md): what the
instrument was handed while the song played, pass by pass."""
import re

EVENT = re.compile(r"BASS_VST_ProcessEvent handle=\d+ chan=(\d+) event=(\d+) param=(\d+) "
                   r"rendered=(\d+)")
PULL = re.compile(r"BASS_ChannelGetData handle=\d+ length=\d+ -> (-?\d+)")
STREAMPROC = re.compile(r"STREAMPROC handle=(\d+) ")


def played_passes(lines):
    """Splits what followed the first BASS_ChannelPlay at each sync, and where the mixing
    thread turns to another output stream (a restart). Gives the passes, each a list of
    (event, param, chan, bytes of instrument audio since the pass began), and the bytes
    pulled from the instrument before each pass."""
    start = next(i for i, line in enumerate(lines) if line.startswith("BASS_ChannelPlay"))
    pulled, passes, starts, stream = 0, [[]], [0], None
    for line in lines[start:]:
        event, pull, call = EVENT.match(line), PULL.match(line), STREAMPROC.match(line)
        if call:
            if stream is not None and call.group(1) != stream:
                passes.append([])
                starts.append(pulled)
            stream = call.group(1)
        if pull and int(pull.group(1)) > 0:
            pulled += int(pull.group(1))
        elif event:
            rendered = int(event.group(4))
            if rendered != pulled:  # the instrument renders only what is pulled
                raise ValueError("instrument rendered %d bytes, %d pulled: %s" % (rendered, pulled, line))
            chan, kind, param = (int(event.group(i)) for i in (1, 2, 3))
            passes[-1].append((kind, param, chan, rendered - starts[-1]))
        elif line.startswith("SYNC "):
            passes.append([])
            starts.append(pulled)
    return passes, starts
