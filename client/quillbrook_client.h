/* Quillbrook client: start a Quillbrook host and drive it from a controller.

   Plain C for any Windows C or C++ compiler. Link the library and user32. Every call
   that takes a host runs on the thread that started it (that thread owns the report
   windows); from another thread it is refused with QB_ERROR_WRONG_THREAD, except
   qb_host_close. Each returns a QbResult; when `error` is not null it also receives a
   message a person can act on. While a call waits for the host, only messages sent to
   this thread are handled (so reports arrive); posted messages, WM_QUIT among them,
   stay in the queue for the program's own message loop. Every wait has a time limit. */
#ifndef QUILLBROOK_CLIENT_H
#define QUILLBROOK_CLIENT_H

#include <stddef.h>
#include <windows.h>

#include "quillbrook_protocol.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum QbResult {
    QB_OK = 0,
    QB_ERROR_ARGUMENT,     /* a required argument is missing */
    QB_ERROR_FILE,         /* a file could not be read */
    QB_ERROR_NOT_A_PLUGIN, /* not an x86 or x64 DLL: the message says what it is */
    QB_ERROR_NO_HOST,      /* the host program could not be started */
    QB_ERROR_NO_WINDOW,    /* the host showed no main window in time */
    QB_ERROR_HOST_ENDED,   /* the host has ended: see qb_host_exit_status */
    QB_ERROR_TIMEOUT,      /* the host did not answer in time: it may be hung */
    QB_ERROR_SYSTEM,       /* Windows refused something (windows, memory) */
    QB_ERROR_WRONG_WIDTH,  /* the plug-in is of the other width than the host */
    QB_ERROR_WRONG_THREAD, /* called from a thread other than the one that started the host */
    QB_ERROR_REFUSED,      /* the host refused an extension command: the message says why,
                              `host_answer` of the error holds its QB_FAIL_ code */
    QB_ERROR_CANCELLED     /* the render was cancelled (by the progress callback): no file */
} QbResult;

typedef struct QbError {
    QbResult result;
    wchar_t message[600];
    long host_answer; /* with QB_ERROR_REFUSED: the host's QB_FAIL_ code, else 0 */
} QbError;

/* The width (32 or 64) of the plug-in library at `path`, read from its PE header;
   0 with QB_ERROR_FILE or QB_ERROR_NOT_A_PLUGIN otherwise. */
QbResult qb_plugin_width(const wchar_t* path, int* width, QbError* error);

/* The host program of `width` in `folder`: "<folder>\QuillbrookNN.exe". A null
   folder is the folder of the running program. */
QbResult qb_host_path(const wchar_t* folder, int width, wchar_t* path, size_t path_chars,
                      QbError* error);

typedef struct QbHost QbHost;

/* Called for each report as it arrives: the song report (the path of the song loaded)
   or the editor report (QB_REPORT_HAS_EDITOR or QB_REPORT_NO_EDITOR). */
typedef void (*QbReportCallback)(void* user, QbReportKind kind, const wchar_t* text);

typedef struct QbStartOptions {
    const wchar_t* host_path;   /* Quillbrook64.exe or Quillbrook32.exe */
    const wchar_t* arguments;   /* null: "v=<QB_INTERFACE_VERSION> pid={pid} hwndpf={song}
                                   hwndee={editor}"; {pid}, {song} and {editor} are
                                   replaced */
    unsigned long parent_pid;   /* 0: this process, so the host ends when it does */
    unsigned long window_ms;    /* how long to wait for the main window; 0: 30000 */
    unsigned long command_ms;   /* how long a command may take; 0: 60000 */
    int hidden;                 /* nonzero: start the main window hidden */
    QbReportCallback on_report; /* may be null */
    void* report_user;
} QbStartOptions;

/* Starts a host and waits for its main window. On QB_ERROR_NO_WINDOW or
   QB_ERROR_HOST_ENDED the host is still given back (when `host` was made), so its
   exit status can be read; close it with qb_host_close. */
QbResult qb_host_start(const QbStartOptions* options, QbHost** host, QbError* error);

/* Starts the host of the width the plug-in at `plugin_path` needs, from `folder`
   (null: the running program's folder); other options as qb_host_start. */
QbResult qb_host_start_for_plugin(const QbStartOptions* options, const wchar_t* folder,
                                  const wchar_t* plugin_path, QbHost** host, QbError* error);

/* The commands. Each is sent with the time limit of the start options. */

/* Loads a song. The command is sent whatever the file, as the protocol has it (the
   host then reports the path and leaves the player as it was), but a file that cannot
   be opened or does not start like a Standard MIDI File gives QB_ERROR_FILE, since the
   host cannot have loaded it; so does one the host could not read (damaged or cut
   short), as the host then says another song, or none, is loaded. `report` (may be
   null) receives the song report. */
QbResult qb_load_song(QbHost* host, const wchar_t* path, wchar_t* report, size_t report_chars,
                      QbError* error);
QbResult qb_play(QbHost* host, QbError* error);
QbResult qb_stop(QbHost* host, QbError* error);
QbResult qb_free_stream(QbHost* host, QbError* error);
/* `has_editor` (may be null) receives the editor report: 1 for "TRUE", else 0. A
   plug-in that did not load also reports "FALSE". The command is sent whatever the
   file, but one that cannot be opened gives QB_ERROR_FILE, one that is no plug-in
   library QB_ERROR_NOT_A_PLUGIN, and one of the other width than the host
   QB_ERROR_WRONG_WIDTH: the host cannot have loaded it. */
QbResult qb_load_plugin(QbHost* host, const wchar_t* path, int* has_editor, QbError* error);
QbResult qb_show_editor(QbHost* host, QbError* error);
/* Tells the host to end and waits up to the command time limit for it. QB_OK once this
   call has ended it; QB_ERROR_HOST_ENDED when it had ended already, as every other
   call then gives. */
QbResult qb_quit(QbHost* host, QbError* error);

/* The player controls (extension commands). Each waits for the host's answer; a
   failure answer gives QB_ERROR_REFUSED with a message saying why (no song, not
   playing, not available with the libraries beside the host, ...). A host without
   extensions answers 0 to each: ask qb_capabilities first. */

/* The QB_CAN_ flags of what the host can do with its libraries; 0 from a host
   without extensions. */
QbResult qb_capabilities(QbHost* host, long* flags, QbError* error);
/* One of QB_STATUS_NO_SONG, _LOADED, _PLAYING, _PAUSED, _DEVICE_PAUSED. */
QbResult qb_status(QbHost* host, long* status, QbError* error);
/* Pauses the playing song; qb_resume goes on exactly where it stopped. qb_play while
   paused starts from the first event. */
QbResult qb_pause(QbHost* host, QbError* error);
QbResult qb_resume(QbHost* host, QbError* error);

typedef enum QbFadeEnd { QB_FADE_END_NONE, QB_FADE_END_PAUSE, QB_FADE_END_STOP } QbFadeEnd;
/* Sets the output volume (0 to 1) at once (fade_ms 0) or as a fade over fade_ms
   milliseconds, after which `end` pauses or stops the song. The volume holds for the
   songs and streams that follow until it is set again. */
QbResult qb_set_volume(QbHost* host, double volume, unsigned long fade_ms, QbFadeEnd end,
                       QbError* error);
/* The volume now (during a fade, where the fade is). */
QbResult qb_volume(QbHost* host, double* volume, QbError* error);
/* The song's length (its last event) and the position heard now, in milliseconds. */
QbResult qb_length(QbHost* host, long* ms, QbError* error);
QbResult qb_position(QbHost* host, long* ms, QbError* error);
/* The song loaded now: its number of events (may be null) and, in `text` (room for
   `text_chars`), its path as it was sent, a tab, and its length in milliseconds. */
QbResult qb_song(QbHost* host, long* events, wchar_t* text, size_t text_chars, QbError* error);
/* Moves to `ms` (at most the song's length) while playing, paused or loaded, with
   every channel in the state the song had there; `reached` (may be null) receives
   the position reached. */
QbResult qb_seek(QbHost* host, double ms, long* reached, QbError* error);
/* Loops from start_ms to end_ms (negative: the song's end) for `passes` passes (0:
   endless; 1: play once and stop), each pass starting with the start's state. */
QbResult qb_set_loop(QbHost* host, double start_ms, double end_ms, unsigned long passes,
                     QbError* error);
/* Takes the loop region away: the whole song loops again. */
QbResult qb_clear_loop(QbHost* host, QbError* error);

/* Speed, key and channels: settings for the song's events, heard from the next render
   call on without a seek or a gap, and followed by a render to a file. Positions,
   seeks, lengths and loop regions stay in the song's own time. A new song clears the
   mutes, solos and channel volumes and keeps the speed and the key. Channel masks
   have bit 0 for channel 1. Live MIDI (qb_send_midi) is never changed. */

/* The speed, 0.25 to 4 times the song's own tempo; with a nonzero `step` (-4 to 4), the
   step is added at each turn of a loop region until `limit` (0.25 to 4). `thousandths`
   (may be null) receives the speed set. */
QbResult qb_set_speed(QbHost* host, double speed, double step, double limit, long* thousandths,
                      QbError* error);
/* Transposes by -24 to 24 semitones the channels of the mask `channels` (0: every
   channel but 10). Every note ends with the key it was sent with; notes shifted out of
   the keyboard are left out, with their releases. */
QbResult qb_set_transpose(QbHost* host, int semitones, unsigned channels, QbError* error);
/* Mutes the channels of `muted`, and every channel not in `soloed` when that is not 0.
   A newly muted channel's notes are released at once, sustain included; its other
   events still reach the instrument. */
QbResult qb_set_channel_mutes(QbHost* host, unsigned muted, unsigned soloed, QbError* error);
/* Scales channel `channel`'s own volume (1 to 16; 0: every channel) by `volume`, 0 to 1. */
QbResult qb_set_channel_volume(QbHost* host, int channel, double volume, QbError* error);

#define QB_CONTROLS_SPEED 1    /* the speed and its ladder */
#define QB_CONTROLS_KEY 2      /* the transposition */
#define QB_CONTROLS_CHANNELS 4 /* mutes and solos */
#define QB_CONTROLS_VOLUMES 8  /* channel volumes */
/* Puts the groups of `groups` back to their defaults (0: all of them). */
QbResult qb_clear_controls(QbHost* host, unsigned groups, QbError* error);

typedef struct QbControls {
    double speed;        /* times the song's own tempo */
    double speed_step;   /* added at each turn of a loop region */
    double speed_limit;  /* where the steps stop */
    int transpose;       /* semitones */
    unsigned transposed; /* the channels transposed (bit 0: channel 1) */
    unsigned muted;
    unsigned soloed;
    double volume[16]; /* of each channel's own volume, 0 to 1 */
} QbControls;
/* What is set now. */
QbResult qb_controls(QbHost* host, QbControls* controls, QbError* error);
/* The position heard (`length` 0) or the song's length, in ms of time heard at the
   current speed. */
QbResult qb_at_speed(QbHost* host, int length, long* ms, QbError* error);

/* The song's texts and musical time, read when it was loaded (QB_CAN_MARKS). */
typedef struct QbMark {
    int kind;           /* a QB_MARK_ value */
    unsigned long tick; /* its position in ticks */
    long ms;            /* and in milliseconds */
    wchar_t text[QB_PAYLOAD_CHARS];
} QbMark;
typedef struct QbBarBeat {
    unsigned long bar;  /* from 1 */
    unsigned long beat; /* from 1 */
    unsigned long tick; /* into the beat, from 0 */
} QbBarBeat;
/* The number of the song's marks: markers, cue points, lyrics (a karaoke file's
   syllables too), texts, time and key signatures and tempo changes. */
QbResult qb_mark_count(QbHost* host, long* count, QbError* error);
/* Mark `index` (0 to the count less 1), in order of position. */
QbResult qb_mark(QbHost* host, long index, QbMark* mark, QbError* error);
/* The song's ticks per quarter note and its length in ticks and in bars and beats. */
QbResult qb_music_time(QbHost* host, long* ppqn, unsigned long* length_ticks, QbBarBeat* length,
                       QbError* error);
/* The position heard, in ticks and in bars and beats. */
QbResult qb_bar_position(QbHost* host, long* ticks, QbBarBeat* at, QbError* error);
/* Seeks to a bar and beat (qb_seek's rules); `reached` receives the ms reached. */
QbResult qb_seek_bar(QbHost* host, QbBarBeat at, long* reached, QbError* error);
/* The output devices (QB_CAN_DEVICES), as the library lists them: 0 is "no sound". */
#define QB_DEVICE_NAME_CHARS 256
typedef struct QbDevice {
    wchar_t name[QB_DEVICE_NAME_CHARS];
    wchar_t driver[QB_DEVICE_NAME_CHARS];
    unsigned flags; /* QB_DEVICE_ENABLED, QB_DEVICE_DEFAULT, QB_DEVICE_IN_USE */
} QbDevice;
QbResult qb_device_count(QbHost* host, long* count, QbError* error);
QbResult qb_device(QbHost* host, long index, QbDevice* device, QbError* error);
/* Plays on the device `which` names: its number, its name as qb_device gives it, or
   "default" (the system's default now). A playing song goes on there from the same
   position; `number` (may be null) receives the device's number. */
QbResult qb_set_device(QbHost* host, const wchar_t* which, long* number, QbError* error);
/* What the host does when the output device stops (a headset unplugged): L"wait" (the
   song waits at its position, "device paused", until the device returns; the start-up
   choice) or L"default" (it goes on on the system's default device). */
QbResult qb_set_device_policy(QbHost* host, const wchar_t* policy, QbError* error);

/* The playback latency (QB_CAN_LATENCY), in ms. */
typedef struct QbLatency {
    long buffer_ms;         /* the playback buffer of the next output stream */
    long period_ms;         /* how much the library renders at a time */
    long min_buffer_ms;     /* the device's smallest buffer that plays without breaks */
    long device_latency_ms; /* the device's own; 0 when the library could not measure it */
    long device;            /* the current device's number */
} QbLatency;
/* Sets the buffer (1 to 5000 ms) and, unless `period_ms` is 0, the update period (5 to
   100 ms). The period applies at once, the buffer from the next song loaded, play after
   a stop or seek; a buffer below the device's smallest plus the period is raised to
   that. `used_ms` (may be null) receives the buffer that will be used. */
QbResult qb_set_latency(QbHost* host, long buffer_ms, long period_ms, long* used_ms,
                        QbError* error);
QbResult qb_latency(QbHost* host, QbLatency* latency, QbError* error);

/* Watching the music (QB_CAN_WATCH): `callback` gets each notification of the kinds in
   `kinds` (QB_WATCH_ flags) once the listener hears it, moved by `offset_ms` (-1000 to
   1000, negative for earlier), while this thread waits in this library (qb_wait, or a
   call to the host) or handles its posted messages. `kinds` 0 stops watching. */
typedef void (*QbNotifyCallback)(void* user, const QbNotification* notification);
QbResult qb_watch(QbHost* host, unsigned kinds, int offset_ms, QbNotifyCallback callback,
                  void* user, QbError* error);
/* Notifications lost because this thread read its queue too late. */
unsigned long qb_notifications_lost(const QbHost* host);
/* Loops on the song's own loopStart and loopEnd markers (names compared case-blind;
   without a loopEnd, to the song's end), `passes` times (0: endless). */
QbResult qb_loop_on_markers(QbHost* host, unsigned long passes, QbError* error);
/* The instrument (extension commands too): its state, programs and parameters, and
   MIDI sent live. The host calls into the plug-in between render calls. */

/* Saves the instrument's state to `path` (replacing a file there only once the new one
   is whole); `kind` (may be null) receives QB_STATE_CHUNK or QB_STATE_PARAMS. */
QbResult qb_save_state(QbHost* host, const wchar_t* path, long* kind, QbError* error);
/* Applies a state file saved from the same plug-in; a file of another plug-in, a
   damaged one or one of an unknown format is refused (host_answer says which) and
   changes nothing. */
QbResult qb_load_state(QbHost* host, const wchar_t* path, long* kind, QbError* error);
/* qb_load_plugin, then qb_load_state. A refused state leaves the plug-in loaded in its
   own first state; the error says so. */
QbResult qb_load_plugin_with_state(QbHost* host, const wchar_t* plugin, const wchar_t* state,
                                   int* has_editor, QbError* error);
/* The number of programs and the current one's index (either may be null). */
QbResult qb_programs(QbHost* host, long* count, long* current, QbError* error);
QbResult qb_set_program(QbHost* host, long index, QbError* error);
/* The name of program `index` in `name` (room for `name_chars`). */
QbResult qb_program_name(QbHost* host, long index, wchar_t* name, size_t name_chars,
                         QbError* error);
QbResult qb_param_count(QbHost* host, long* count, QbError* error);
/* Parameter `index`: its value (0 to 1, to a millionth), name and display text (the
   plug-in's own, with its unit); any of the three may be null. */
QbResult qb_param(QbHost* host, long index, double* value, wchar_t* name, size_t name_chars,
                  wchar_t* display, size_t display_chars, QbError* error);
QbResult qb_set_param(QbHost* host, long index, double value, QbError* error);
/* Sends complete MIDI messages (short ones and system exclusive, `count` bytes) to
   the instrument: they reach it at the start of its next pull, in order, with the
   song's events. A full queue gives QB_ERROR_REFUSED (QB_FAIL_QUEUE_FULL) and takes
   none of them. */
QbResult qb_send_midi(QbHost* host, const unsigned char* bytes, size_t count, QbError* error);
/* The plug-in's version, and its name, vendor and unique id (hex) separated by tabs. */
QbResult qb_plugin_info(QbHost* host, long* version, wchar_t* text, size_t text_chars,
                        QbError* error);
/* The host's program name and version ("Quillbrook64 1.0.0"). */
QbResult qb_host_version(QbHost* host, wchar_t* text, size_t text_chars, QbError* error);

/* Rendering the loaded song through the loaded instrument into a WAV file, 48000 Hz
   stereo (extension commands; QB_CAN_RENDER). The file appears under its name only
   once it is whole; live playback is paused meanwhile and goes on afterwards. */
/* A record of zeros asks for the defaults (one pass, a tail of 2 s, float samples, as
   fast as possible), as a null one does; otherwise passes 0 is one pass and tail_ms 0
   no tail. The calls refuse values out of range before anything is sent. */
typedef struct QbRenderOptions {
    unsigned long passes;  /* times through the song, each turn seamless: 1 to 1000 */
    unsigned long tail_ms; /* the instrument alone after the song's last event, 0 to 600000 */
    int tail_until_silent; /* nonzero: instead, until 100 ms in a row are silent (60 s at most) */
    int pcm16;             /* nonzero: 16-bit PCM with dither; else 32-bit float */
    int real_time;         /* nonzero: no faster than real time (instruments that stream
                              from disk) */
} QbRenderOptions;

/* Called about ten times a second while qb_render waits: the thousandths done and the
   milliseconds since the render started. A nonzero return cancels the render. */
typedef int (*QbRenderProgress)(void* user, long thousandths, unsigned long elapsed_ms);

/* Renders to `path` and waits until the file is whole (however long that takes; each
   question to the host has the command time limit). `options` may be null: one pass,
   a tail of 2 s, float samples, as fast as possible. `progress` may be null.
   QB_ERROR_CANCELLED when the callback cancelled; QB_ERROR_REFUSED when the host could
   not start or finish it (host_answer says why: no song, no plug-in, a file). */
QbResult qb_render(QbHost* host, const wchar_t* path, const QbRenderOptions* options,
                   QbRenderProgress progress, void* user, QbError* error);
/* The same in steps, for a controller with a loop of its own: start (the file's length
   in ms, without a tail that lasts until silence, to `length_ms`, may be null), ask
   (a QB_RENDER_ status, or the QB_FAIL_ code it failed with, and the thousandths done;
   either may be null) and cancel. */
QbResult qb_render_start(QbHost* host, const wchar_t* path, const QbRenderOptions* options,
                         long* length_ms, QbError* error);
QbResult qb_render_status(QbHost* host, long* status, long* thousandths, QbError* error);
QbResult qb_render_cancel(QbHost* host, QbError* error);

/* What a QB_FAIL_ answer means, in a few words. */
const wchar_t* qb_failure_text(long answer);

/* Sends any command code with any payload (`bytes` bytes at `data`, which may be
   null), as the protocol's own message; `answer` (may be null) receives the reply. */
QbResult qb_send(QbHost* host, ULONG_PTR code, const void* data, unsigned long bytes,
                 LRESULT* answer, QbError* error);

/* Handles messages sent to this thread (reports among them) for `ms` milliseconds,
   or until the host ends. */
void qb_wait(QbHost* host, unsigned long ms);

/* 1 while the host runs. */
int qb_host_running(const QbHost* host);
/* Waits up to `ms` (INFINITE: for ever) for the host to end. QB_OK when it has ended,
   with its exit status in `status` (may be null); QB_ERROR_TIMEOUT otherwise. */
QbResult qb_host_wait_end(QbHost* host, unsigned long ms, unsigned long* status, QbError* error);
/* What an exit status means, in words that follow "it ": a clean end, a refused
   command line, missing libraries, a crash. `width` (32, 64, or 0 when not known)
   names the libraries' builds. */
void qb_describe_exit(unsigned long status, int width, wchar_t* text, size_t text_chars);

/* The host's process, main window, width and report windows, for controllers that
   need more than the calls above. */
HANDLE qb_host_process(const QbHost* host);
unsigned long qb_host_process_id(const QbHost* host);
HWND qb_host_window(const QbHost* host);
int qb_host_width(const QbHost* host);

/* The host's top-level windows of `class_name`, in z-order: up to `max` of them go to
   `windows`; gives how many there are. */
size_t qb_host_windows(const QbHost* host, const wchar_t* class_name, HWND* windows, size_t max);

/* Ends the host at once if it still runs (with exit status `status`), and waits up to
   5 seconds for it to be gone. */
void qb_host_terminate(QbHost* host, unsigned long status);
/* Releases what the library holds for the host; the host itself is not ended. May be
   called from any thread: from another than the starting one, the report windows are
   cut off from the host at once and destroyed when the starting thread next handles
   its messages, so a report arriving later reaches nothing. */
void qb_host_close(QbHost* host);

#ifdef __cplusplus
}
#endif

#endif
