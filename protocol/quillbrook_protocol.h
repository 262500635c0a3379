/* What a Quillbrook host and its controllers agree on: the interface version, the
   command codes, the window classes and the reports. Plain C without Windows headers,
   used by the host, the client library, quillctl and the tests (the end-to-end tests
   read it with tests/e2e/protocol.py). A new command gets its code here. */
#ifndef QUILLBROOK_PROTOCOL_H
#define QUILLBROOK_PROTOCOL_H

/* The interface version a controller passes as v=; the host refuses higher ones. */
#define QB_INTERFACE_VERSION 3

/* Command codes, in the copy-data record's dwData. Every other code does nothing. */
#define QB_CODE_LOAD_SONG 1   /* payload: path of a Standard MIDI File */
#define QB_CODE_PLAY 2        /* payload: none */
#define QB_CODE_STOP 3        /* payload: none */
#define QB_CODE_FREE_STREAM 4 /* payload: none */
#define QB_CODE_LOAD_PLUGIN 5 /* payload: path of a VST instrument plug-in library */
#define QB_CODE_SHOW_EDITOR 6 /* payload: none */
#define QB_CODE_QUIT 7        /* payload: none */

/* Extension commands. Each answers through the copy-data message's result: 0 or more
   on success (the value asked for, where there is one), a QB_FAIL_ code on failure.
   A host without extensions answers 0 to every one of them, so a controller asks for
   the capabilities first. Numbers in payloads are decimal text; milliseconds and
   volumes may have a fraction ("1500.5", "0.25"). */
/* Payloads: SET_VOLUME "VOLUME [MS [pause|stop]]" (VOLUME 0 to 1; a fade over MS,
   then a pause or a stop); SEEK "MS"; LOOP "START END [PASSES]" in ms, END a number or
   "end" (the song's end), PASSES 0 for endless, an empty payload for no region. */
#define QB_CODE_CAPABILITIES 100 /* answer: QB_CAN_ flags, never 0 */
#define QB_CODE_STATUS 101       /* answer: a QB_STATUS_ value */
#define QB_CODE_PAUSE 102        /* pauses the playing song */
#define QB_CODE_RESUME 103       /* goes on exactly where the pause stopped */
#define QB_CODE_SET_VOLUME 104   /* sets the volume, at once or as a fade */
#define QB_CODE_GET_VOLUME 105   /* answer: the volume now, in thousandths */
#define QB_CODE_LENGTH 106       /* answer: the song's length (its last event) in ms */
#define QB_CODE_POSITION 107     /* answer: the position heard now, in ms */
#define QB_CODE_SEEK 108         /* answer: the position reached, in ms */
#define QB_CODE_LOOP 109         /* sets or clears the loop region */

/* The instrument's state, programs and parameters, and MIDI sent live. A command
   marked "text" also sends its text answer back before it returns: a copy-data
   message to the window given as the command's word parameter, its dwData the
   command's code, its data the UTF-16 text with its ending zero. Payloads: a path for
   SAVE_STATE and LOAD_STATE; "N" (an index from 0) for PROGRAM_NAME, SET_PROGRAM and
   PARAM; "N VALUE" (VALUE 0 to 1) for SET_PARAM; for MIDI, hexadecimal bytes of
   complete messages ("90 3C 64", "F0 7E 7F 09 01 F7"), more than one message allowed. */
#define QB_CODE_SAVE_STATE 110    /* answer: the QB_STATE_ kind saved */
#define QB_CODE_LOAD_STATE 111    /* answer: the QB_STATE_ kind loaded */
#define QB_CODE_PROGRAM_COUNT 112 /* answer: the plug-in's number of programs */
#define QB_CODE_PROGRAM 113       /* answer: the current program's index */
#define QB_CODE_SET_PROGRAM 114   /* selects a program */
#define QB_CODE_PROGRAM_NAME 115  /* text: the program's name */
#define QB_CODE_PARAM_COUNT 116   /* answer: the plug-in's number of parameters */
#define QB_CODE_PARAM 117         /* answer: the value in millionths; text: name TAB display */
#define QB_CODE_SET_PARAM 118     /* sets a parameter's value */
#define QB_CODE_MIDI 119          /* queues the messages for the instrument's next pull */
#define QB_CODE_PLUGIN_INFO 120   /* answer: its version; text: name TAB vendor TAB id (hex) */
#define QB_CODE_HOST_VERSION 121  /* answer: QB_INTERFACE_VERSION; text: the host's version */

/* Rendering the loaded song through the instrument into a WAV file (48000 Hz stereo),
   on a thread of the host's own, faster than real time unless asked otherwise. The
   file appears under its name only once it is whole. Live playback is paused for the
   render and goes on afterwards where the listener was. While a render runs, the
   commands that would change the song or the instrument cancel it first (the base
   commands) or are refused with QB_FAIL_BUSY (the extension commands, but for
   capabilities, status, volume, length, position, host version and the render's own).
   RENDER's payload: the file's path, then optionally '|' and option words:
   "passes=N" (1 to 1000, default 1), "tail=MS" (the instrument rings on for MS after
   the song's last event, default 2000) or "tail=silence" (until 100 ms in a row are
   silent, at most 60 s), "pcm16" (16-bit PCM with dither; default 32-bit float) and
   "realtime" (no faster than real time, for instruments that stream from disk). */
#define QB_CODE_RENDER 122          /* answer: the file's length in ms (but a silence tail) */
#define QB_CODE_RENDER_STATUS 123   /* answer: a QB_RENDER_ value, or the last one's QB_FAIL_ */
#define QB_CODE_RENDER_PROGRESS 124 /* answer: thousandths of the render done */
#define QB_CODE_CANCEL_RENDER 125   /* stops the render and removes its unfinished file */

/* The song loaded now: a load that failed (a damaged file) leaves the song before it,
   or none, so a controller can tell by the path. */
#define QB_CODE_SONG 126 /* answer: its number of events; text: its path TAB its length in ms */

/* Speed, key and channels: settings for the song's events, heard from the next render
   call on, without a seek or a gap, and followed by a render to a file. Positions,
   seeks, lengths and loop regions stay in the song's own time. Speed and key are kept
   across stop, play, seek, loop turns, a new song and a render; a new song clears the
   mutes, solos and channel volumes. Channels are numbered 1 to 16; a MASK is a decimal
   number whose bit 0 is channel 1. Live MIDI from the controller is never changed.
   SET_SPEED's payload: "SPEED [STEP LIMIT]", SPEED 0.25 to 4 times the song's tempo,
   STEP (-4 to 4) added at each turn of a loop region until LIMIT (0.25 to 4).
   SET_TRANSPOSE's: "SEMITONES [MASK]", -24 to 24, for every channel but 10 unless MASK
   says which. SET_CHANNEL_MUTES's: "MUTED SOLOED", two masks; a soloed channel mutes
   every channel not soloed. SET_CHANNEL_VOLUME's: "CHANNEL VOLUME", CHANNEL 0 for
   all, VOLUME 0 to 1 of the song's own channel volume. CLEAR_CONTROLS's: none for all,
   or words of "speed", "key", "channels" (mutes and solos), "volumes".
   AT_SPEED's: "position" or "length". */
#define QB_CODE_SET_SPEED 127          /* answer: the speed in thousandths */
#define QB_CODE_SET_TRANSPOSE 128      /* answer: 0 */
#define QB_CODE_SET_CHANNEL_MUTES 129  /* answer: 0 */
#define QB_CODE_SET_CHANNEL_VOLUME 130 /* answer: the volume in thousandths */
#define QB_CODE_CLEAR_CONTROLS 131     /* answer: 0 */
/* answer: the speed in thousandths; text: speed, step and limit (thousandths), semitones,
   transposed, muted and soloed channels (4 hex digits each), then the 16 channel volumes
   (thousandths, comma-separated), tab-separated */
#define QB_CODE_CONTROLS 132
#define QB_CODE_AT_SPEED 133 /* answer: the position heard or the length, in ms at the speed */

/* The song's texts and musical time, read when it was loaded: its marks (markers, cue
   points, lyrics, a karaoke file's syllables among them, texts, time and key
   signatures, tempo changes) in order of position, each with its index; its ticks per
   quarter note and length; the position heard in bars and beats. SEEK and LOOP also
   take positions as BAR:BEAT or BAR:BEAT:TICK (bars and beats from 1). MARK's payload:
   none (the count only) or "INDEX". */
#define QB_CODE_MARK 134 /* answer: the number of marks; text: KIND TAB TICK TAB MS TAB TEXT */
#define QB_CODE_MUSIC_TIME                                                                         \
    135 /* answer: ticks per quarter; text: LENGTH_TICKS TAB BAR:BEAT:TICK                         \
         */
#define QB_CODE_BAR_POSITION 136 /* answer: the position heard in ticks; text: BAR:BEAT:TICK */
/* Mark kinds. */
#define QB_MARK_MARKER 0
#define QB_MARK_CUE 1
#define QB_MARK_LYRIC 2 /* also a karaoke file's syllables, given as text events */
#define QB_MARK_TEXT 3
#define QB_MARK_TIME_SIGNATURE 4 /* "4/4/24/8": numerator, denominator, clocks, 32nds */
#define QB_MARK_KEY_SIGNATURE 5  /* "-3 1": sharps (flats negative), 0 major or 1 minor */
#define QB_MARK_TEMPO 9          /* microseconds per quarter note */

/* Watching the music: the host posts a notification to the controller's window for each
   thing of the kinds asked, once the listener hears it (by the library's playing
   position), never before and about 10 ms after at most; OFFSET_MS (-1000 to 1000)
   moves them later, or earlier when negative, to meet a display's own latency. Posted,
   never sent: a controller that does not read its queue cannot hold the host up. The
   message is QB_NOTIFY_MESSAGE with the notification's sequence number in wParam and
   its kind in lParam; the record itself is in a ring of QB_NOTIFY_RING records in the
   named shared memory QB_NOTIFY_MAPPING with the host's process id, at the sequence
   number modulo QB_NOTIFY_RING (a record whose own sequence differs was overwritten:
   read the queue sooner). WATCH's payload: "HWND KINDS [OFFSET_MS]", the window handle
   and a mask of QB_WATCH_ kinds as decimal numbers; KINDS 0 stops the watch. */
#define QB_CODE_WATCH 137        /* answer: 0 */
#define QB_WATCH_NOTES 0x1       /* data: channel (0-15), key << 8, velocity << 16 (0: release) */
#define QB_WATCH_TURNS 0x2       /* the loop region turned back: pass is the pass that starts */
#define QB_WATCH_END 0x4         /* the song ended: its last event, or the region's last pass */
#define QB_WATCH_SEEKS 0x8       /* a seek's target is heard */
#define QB_WATCH_MARKS 0x10      /* data: the mark's index (see MARK), its QB_MARK_ kind << 24 */
#define QB_WATCH_BEATS 0x20      /* data: the beat in its bar, the bar << 8, both from 1 */
#define QB_WATCH_BARS 0x40       /* a bar's first beat; data as a beat's */
#define QB_WATCH_DEVICE 0x80     /* data: the device's number, its QB_DEVICE_EVENT_ << 8 */
#define QB_NOTIFY_MESSAGE 0x8051 /* WM_APP + 0x51 */
#define QB_NOTIFY_RING 1024
#define QB_NOTIFY_MAPPING L"Local\\QuillbrookWatch-%lu"

/* The output devices, as the library lists them: 0 is "no sound", the real ones
   follow. DEVICE's payload: none (the count only) or "INDEX". */
#define QB_CODE_DEVICE 138 /* answer: the number of devices; text: NAME TAB DRIVER TAB FLAGS */
/* SET_DEVICE's payload, taken whole: the device's number, "default" (the system's default
   now) or its name as DEVICE gives it. The host opens it, new streams play on it, and a
   playing song goes on there from the same position. */
#define QB_CODE_SET_DEVICE 139 /* answer: the device's number */
#define QB_DEVICE_ENABLED 0x1  /* can be used */
#define QB_DEVICE_DEFAULT 0x2  /* the system's default now */
#define QB_DEVICE_IN_USE 0x4   /* opened by the host */

/* The playback latency. SET_LATENCY's payload: "BUFFER_MS [PERIOD_MS]". The update period
   (5 to 100 ms, how much the library renders at a time) applies at once; the buffer (up
   to 5000 ms, raised to the device's smallest buffer plus the update period) applies
   to the next output stream: the next song loaded, play after a stop, or seek. */
#define QB_CODE_SET_LATENCY 140 /* answer: the buffer that will be used, in ms */
/* LATENCY: answer the buffer in ms; text: BUFFER PERIOD MINBUF DEVICE_LATENCY DEVICE, in
   ms but the device's number; DEVICE_LATENCY 0 when the library could not measure it. */
#define QB_CODE_LATENCY 141
/* What the host does when the output device stops (unplugged): payload "wait" (the song
   stays at its position, "device paused", and goes on when the device returns; the
   start-up choice) or "default" (it goes on from the same position on the system's
   default device; while there is none it waits). Watch kind QB_WATCH_DEVICE tells it. */
#define QB_CODE_DEVICE_POLICY 142 /* answer: 0 */
#define QB_DEVICE_EVENT_LOST 1    /* the device stopped: the song is paused by it */
#define QB_DEVICE_EVENT_BACK 2    /* the device returned: the song goes on */
#define QB_DEVICE_EVENT_MOVED 3   /* the song goes on on the device given */

/* One notification, as the ring holds it: 32 bytes, in both widths. */
typedef struct QbNotification {
    unsigned int sequence; /* from 1 */
    unsigned int kind;     /* one QB_WATCH_ kind */
    unsigned int data;
    unsigned int pass; /* the loop region's pass it belongs to, from 1 */
    int ms;            /* its position in the song */
    unsigned int tick;
    int late_ms; /* how long after it was due the host saw it heard and posted it */
    unsigned int reserved;
} QbNotification;

typedef struct QbNotifyRing {
    unsigned int written; /* the last sequence number posted */
    unsigned int lost;    /* notifications the controller's queue did not take */
    QbNotification records[QB_NOTIFY_RING];
} QbNotifyRing;

/* Capability flags: what this host can do with the libraries beside it. */
#define QB_CAN_STATUS 0x1       /* status and length: always */
#define QB_CAN_SEEK 0x2         /* seek and loop regions: always */
#define QB_CAN_PAUSE 0x4        /* pause and resume */
#define QB_CAN_VOLUME 0x8       /* set and read the volume */
#define QB_CAN_FADE 0x10        /* volume fades */
#define QB_CAN_POSITION 0x20    /* the position heard */
#define QB_CAN_PARAMS 0x40      /* parameters, and state files of parameters */
#define QB_CAN_PROGRAMS 0x80    /* programs and their names */
#define QB_CAN_CHUNKS 0x100     /* state files of the plug-in's own chunk, where it keeps one */
#define QB_CAN_MIDI 0x200       /* MIDI sent live */
#define QB_CAN_RESIZE 0x400     /* the editor window follows the plug-in's resizes */
#define QB_CAN_RENDER 0x800     /* songs rendered to WAV files */
#define QB_CAN_SONG 0x1000      /* the loaded song's path and length */
#define QB_CAN_SPEED 0x2000     /* the speed, and times at the speed */
#define QB_CAN_TRANSPOSE 0x4000 /* the key */
#define QB_CAN_MUTE 0x8000      /* mute and solo per channel */
#define QB_CAN_CHANNEL_VOLUME 0x10000 /* volume per channel */
#define QB_CAN_MARKS 0x20000          /* the song's marks and musical time */
#define QB_CAN_WATCH 0x40000          /* notifications as the music is heard */
#define QB_CAN_DEVICES 0x80000        /* the list of output devices, the choice of one */
#define QB_CAN_LATENCY 0x100000       /* the playback latency, set and reported */

/* The kinds of instrument state a state file holds (see docs/protocol.md). */
#define QB_STATE_CHUNK 1  /* the plug-in's own chunk of its whole bank, and its program */
#define QB_STATE_PARAMS 2 /* every parameter's value, and the program */

/* Status answers. */
#define QB_STATUS_NO_SONG 0 /* nothing to play: none loaded, or stopped */
#define QB_STATUS_LOADED 1  /* loaded, not playing (or played to its end) */
#define QB_STATUS_PLAYING 2
#define QB_STATUS_PAUSED 3
#define QB_STATUS_DEVICE_PAUSED 4 /* the output device stopped (a headset unplugged) */

/* Render status answers. */
#define QB_RENDER_NONE 0      /* no render since the host started */
#define QB_RENDER_RUNNING 1   /* a render is under way */
#define QB_RENDER_DONE 2      /* the last render is whole under its name */
#define QB_RENDER_CANCELLED 3 /* the last render was cancelled: no file was left */

/* Failure answers of the extension commands. */
#define QB_FAIL_BUSY (-1)           /* sent while another command was in progress */
#define QB_FAIL_BAD_PAYLOAD (-2)    /* the payload is not what the command takes */
#define QB_FAIL_NO_SONG (-3)        /* no song loaded */
#define QB_FAIL_NO_PLUGIN (-4)      /* no plug-in loaded */
#define QB_FAIL_NOT_PLAYING (-5)    /* the song is not playing (or not paused, to resume) */
#define QB_FAIL_NOT_AVAILABLE (-6)  /* the audio libraries beside the host lack a function */
#define QB_FAIL_FILE (-7)           /* a file could not be read or written */
#define QB_FAIL_LIBRARY (-8)        /* the audio library refused */
#define QB_FAIL_OTHER_PLUGIN (-9)   /* the state file is another plug-in's */
#define QB_FAIL_BAD_STATE (-10)     /* the state file is damaged, truncated or not one */
#define QB_FAIL_STATE_VERSION (-11) /* the state file has a format version this host lacks */
#define QB_FAIL_QUEUE_FULL (-12)    /* the live MIDI queue is full: nothing was queued */
#define QB_FAIL_NOT_RENDERING (-13) /* no render is under way */
#define QB_FAIL_TOO_LONG (-14)      /* the render would be longer than a WAV file holds */

/* A payload string, ending zero included, must fit in this many UTF-16 characters. */
#define QB_PAYLOAD_CHARS 1024

/* Window classes; the main window's title is its class name. */
#define QB_MAIN_CLASS_64 L"Quillbrook64"
#define QB_MAIN_CLASS_32 L"Quillbrook32"
#define QB_EDITOR_CLASS L"QuillbrookEmbed"

/* The editor report's two texts. (The song report repeats the load song payload.) */
#define QB_REPORT_HAS_EDITOR L"TRUE"
#define QB_REPORT_NO_EDITOR L"FALSE"

/* The two reports. */
typedef enum QbReportKind {
    QB_REPORT_SONG = 'S',  /* to the window of hwndpf= */
    QB_REPORT_EDITOR = 'E' /* to the window of hwndee= */
} QbReportKind;

#endif
