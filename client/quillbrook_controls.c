/* The client's player controls: the extension commands, each answered through the
   copy-data result. */
#include <stdio.h>
#include <wchar.h>

#include "client_error.h"

#define NUMBER_CHARS 32

QbResult qb_refuse_(QbError* error, QbResult result, long answer, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    qb_write_error_(error, result, answer, format, args);
    va_end(args);
    return result;
}

const wchar_t* qb_failure_text(long answer) {
    switch (answer) {
    case QB_FAIL_BUSY:
        return L"the host was busy with another command";
    case QB_FAIL_BAD_PAYLOAD:
        return L"the host did not take the command's arguments";
    case QB_FAIL_NO_SONG:
        return L"no song is loaded";
    case QB_FAIL_NO_PLUGIN:
        return L"no plug-in is loaded";
    case QB_FAIL_NOT_PLAYING:
        return L"the song is not playing (or not paused)";
    case QB_FAIL_NOT_AVAILABLE:
        return L"the audio libraries beside the host lack a function this needs";
    case QB_FAIL_FILE:
        return L"a file could not be read or written";
    case QB_FAIL_LIBRARY:
        return L"the audio library refused";
    case QB_FAIL_OTHER_PLUGIN:
        return L"the state file is another plug-in's";
    case QB_FAIL_BAD_STATE:
        return L"the state file is damaged or not a state file";
    case QB_FAIL_STATE_VERSION:
        return L"the state file has a format version this host does not know";
    case QB_FAIL_QUEUE_FULL:
        return L"the live MIDI queue is full: send again after the next pull";
    case QB_FAIL_NOT_RENDERING:
        return L"no render is under way";
    case QB_FAIL_TOO_LONG:
        return L"the render would be longer than a WAV file holds";
    default:
        return L"the host refused";
    }
}

/* The largest position the calls send, far beyond any song (about 31 years): what
   write_decimal can write. */
#define LONGEST_MS 1e12

/* Whether `ms` is a position the calls send: not negative, not too large, not NaN. */
static int is_position(double ms) {
    return ms >= 0 && ms <= LONGEST_MS;
}

/* A number with up to three decimals, written without the C locale's separator. */
static void write_decimal(double value, wchar_t* out) {
    const unsigned long long thousandths = (unsigned long long)(value * 1000.0 + 0.5);
    _snwprintf(out, NUMBER_CHARS - 1, L"%llu.%03llu", thousandths / 1000, thousandths % 1000);
    out[NUMBER_CHARS - 1] = L'\0';
}

QbResult qb_ask_(QbHost* host, ULONG_PTR code, const wchar_t* text, long* answer,
                 const wchar_t* what, wchar_t* reply, size_t reply_chars, QbError* error) {
    LRESULT value = 0;
    LRESULT status = 0;
    const QbResult result = qb_send_for_text_(host, code, text, &value, reply, reply_chars, error);
    if (result != QB_OK) {
        return result;
    }
    if (value == QB_FAIL_BUSY && code != QB_CODE_RENDER_STATUS &&
        qb_send(host, QB_CODE_RENDER_STATUS, L"", sizeof(wchar_t), &status, NULL) == QB_OK &&
        status == QB_RENDER_RUNNING) {
        return qb_refuse_(error, QB_ERROR_REFUSED, (long)value,
                          L"%ls: a render to a file is under way, and the host does not do this "
                          L"until it has ended or is cancelled",
                          what);
    }
    if (value < 0) {
        return qb_refuse_(error, QB_ERROR_REFUSED, (long)value, L"%ls: %ls", what,
                          qb_failure_text((long)value));
    }
    if (answer != NULL) {
        *answer = (long)value;
    }
    return QB_OK;
}

/* An extension command without a text answer. */
static QbResult ask(QbHost* host, ULONG_PTR code, const wchar_t* text, long* answer,
                    const wchar_t* what, QbError* error) {
    return qb_ask_(host, code, text, answer, what, NULL, 0, error);
}

QbResult qb_capabilities(QbHost* host, long* flags, QbError* error) {
    return ask(host, QB_CODE_CAPABILITIES, L"", flags, L"capabilities", error);
}

QbResult qb_status(QbHost* host, long* status, QbError* error) {
    return ask(host, QB_CODE_STATUS, L"", status, L"status", error);
}

QbResult qb_song(QbHost* host, long* events, wchar_t* text, size_t text_chars, QbError* error) {
    return qb_ask_(host, QB_CODE_SONG, L"", events, L"song", text, text_chars, error);
}

QbResult qb_pause(QbHost* host, QbError* error) {
    return ask(host, QB_CODE_PAUSE, L"", NULL, L"pause", error);
}

QbResult qb_resume(QbHost* host, QbError* error) {
    return ask(host, QB_CODE_RESUME, L"", NULL, L"resume", error);
}

QbResult qb_set_volume(QbHost* host, double volume, unsigned long fade_ms, QbFadeEnd end,
                       QbError* error) {
    wchar_t number[NUMBER_CHARS];
    wchar_t text[NUMBER_CHARS * 2];
    if (!(volume >= 0 && volume <= 1)) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"a volume is from 0 to 1, not %g", volume);
    }
    write_decimal(volume, number);
    _snwprintf(text, NUMBER_CHARS * 2 - 1, L"%ls %lu%ls", number, fade_ms,
               end == QB_FADE_END_PAUSE  ? L" pause"
               : end == QB_FADE_END_STOP ? L" stop"
                                         : L"");
    text[NUMBER_CHARS * 2 - 1] = L'\0';
    return ask(host, QB_CODE_SET_VOLUME, text, NULL, L"volume", error);
}

QbResult qb_volume(QbHost* host, double* volume, QbError* error) {
    long thousandths = 0;
    const QbResult result = ask(host, QB_CODE_GET_VOLUME, L"", &thousandths, L"volume", error);
    if (result == QB_OK && volume != NULL) {
        *volume = thousandths / 1000.0;
    }
    return result;
}

QbResult qb_length(QbHost* host, long* ms, QbError* error) {
    return ask(host, QB_CODE_LENGTH, L"", ms, L"length", error);
}

QbResult qb_position(QbHost* host, long* ms, QbError* error) {
    return ask(host, QB_CODE_POSITION, L"", ms, L"position", error);
}

QbResult qb_seek(QbHost* host, double ms, long* reached, QbError* error) {
    wchar_t text[NUMBER_CHARS];
    if (!is_position(ms)) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"a position is 0 ms or more, not %g", ms);
    }
    write_decimal(ms, text);
    return ask(host, QB_CODE_SEEK, text, reached, L"seek", error);
}

QbResult qb_set_loop(QbHost* host, double start_ms, double end_ms, unsigned long passes,
                     QbError* error) {
    wchar_t start[NUMBER_CHARS];
    wchar_t end[NUMBER_CHARS];
    wchar_t text[NUMBER_CHARS * 3];
    if (!is_position(start_ms) || !(end_ms < 0 || (is_position(end_ms) && end_ms > start_ms))) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0,
                          L"a loop region starts at 0 ms or later and ends after its start");
    }
    write_decimal(start_ms, start);
    if (end_ms < 0) {
        wcscpy(end, L"end");
    } else {
        write_decimal(end_ms, end);
    }
    _snwprintf(text, NUMBER_CHARS * 3 - 1, L"%ls %ls %lu", start, end, passes);
    text[NUMBER_CHARS * 3 - 1] = L'\0';
    return ask(host, QB_CODE_LOOP, text, NULL, L"loop", error);
}

QbResult qb_clear_loop(QbHost* host, QbError* error) {
    return ask(host, QB_CODE_LOOP, L"", NULL, L"loop", error);
}
