/* The client's instrument calls: state files, programs, parameters, live MIDI. */
#include <stdio.h>
#include <wchar.h>

#include "client_error.h"

#define INDEX_CHARS 48
/* Three characters a byte ("90 "), within the host's payload. */
#define MIDI_MAX_BYTES ((QB_PAYLOAD_CHARS - 1) / 3)

static void write_index(long index, wchar_t* text) {
    _snwprintf(text, INDEX_CHARS - 1, L"%ld", index);
    text[INDEX_CHARS - 1] = L'\0';
}

static QbResult ask_path(QbHost* host, ULONG_PTR code, const wchar_t* path, long* kind,
                         const wchar_t* what, QbError* error) {
    if (path == NULL || path[0] == L'\0' || wcslen(path) >= QB_PAYLOAD_CHARS) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0,
                          L"%ls wants a path of fewer than %d characters", what, QB_PAYLOAD_CHARS);
    }
    return qb_ask_(host, code, path, kind, what, NULL, 0, error);
}

QbResult qb_save_state(QbHost* host, const wchar_t* path, long* kind, QbError* error) {
    return ask_path(host, QB_CODE_SAVE_STATE, path, kind, L"save state", error);
}

QbResult qb_load_state(QbHost* host, const wchar_t* path, long* kind, QbError* error) {
    return ask_path(host, QB_CODE_LOAD_STATE, path, kind, L"load state", error);
}

QbResult qb_load_plugin_with_state(QbHost* host, const wchar_t* plugin, const wchar_t* state,
                                   int* has_editor, QbError* error) {
    const QbResult loaded = qb_load_plugin(host, plugin, has_editor, error);
    if (loaded != QB_OK) {
        return loaded;
    }
    return ask_path(host, QB_CODE_LOAD_STATE, state, NULL,
                    L"the plug-in is loaded, but its state was not", error);
}

QbResult qb_programs(QbHost* host, long* count, long* current, QbError* error) {
    long number = 0;
    QbResult result =
        qb_ask_(host, QB_CODE_PROGRAM_COUNT, L"", &number, L"programs", NULL, 0, error);
    if (result == QB_OK && count != NULL) {
        *count = number;
    }
    if (result == QB_OK && current != NULL) {
        *current = -1;
        if (number > 0) {
            result = qb_ask_(host, QB_CODE_PROGRAM, L"", current, L"program", NULL, 0, error);
        }
    }
    return result;
}

/* A refusal of an index says what the plug-in has, as the host answers only that the
   payload was not one it takes. */
static QbResult say_range(QbHost* host, QbResult result, long index, ULONG_PTR count_code,
                          const wchar_t* what, QbError* error) {
    LRESULT count = 0;
    if (result != QB_ERROR_REFUSED || error == NULL || error->host_answer != QB_FAIL_BAD_PAYLOAD ||
        qb_send(host, count_code, L"", sizeof(wchar_t), &count, NULL) != QB_OK || count < 0) {
        return result;
    }
    return qb_refuse_(error, QB_ERROR_REFUSED, QB_FAIL_BAD_PAYLOAD,
                      L"%ls %ld is out of range: the plug-in has %ld (from 0)", what, index,
                      (long)count);
}

QbResult qb_set_program(QbHost* host, long index, QbError* error) {
    wchar_t text[INDEX_CHARS];
    write_index(index, text);
    return say_range(host,
                     qb_ask_(host, QB_CODE_SET_PROGRAM, text, NULL, L"program", NULL, 0, error),
                     index, QB_CODE_PROGRAM_COUNT, L"program", error);
}

QbResult qb_program_name(QbHost* host, long index, wchar_t* name, size_t name_chars,
                         QbError* error) {
    wchar_t text[INDEX_CHARS];
    write_index(index, text);
    return say_range(
        host,
        qb_ask_(host, QB_CODE_PROGRAM_NAME, text, NULL, L"program name", name, name_chars, error),
        index, QB_CODE_PROGRAM_COUNT, L"program", error);
}

QbResult qb_param_count(QbHost* host, long* count, QbError* error) {
    return qb_ask_(host, QB_CODE_PARAM_COUNT, L"", count, L"parameters", NULL, 0, error);
}

/* Copies the part of `from` up to `stop` (or its end) into `to`. */
static const wchar_t* copy_field(const wchar_t* from, wchar_t stop, wchar_t* to, size_t chars) {
    size_t length = 0;
    while (from[length] != L'\0' && from[length] != stop) {
        ++length;
    }
    if (to != NULL && chars > 0) {
        const size_t kept = length < chars - 1 ? length : chars - 1;
        wmemcpy(to, from, kept);
        to[kept] = L'\0';
    }
    return from[length] == stop ? from + length + 1 : from + length;
}

QbResult qb_param(QbHost* host, long index, double* value, wchar_t* name, size_t name_chars,
                  wchar_t* display, size_t display_chars, QbError* error) {
    wchar_t text[INDEX_CHARS];
    wchar_t reply[QB_PAYLOAD_CHARS];
    long millionths = 0;
    QbResult result;
    write_index(index, text);
    result = say_range(host,
                       qb_ask_(host, QB_CODE_PARAM, text, &millionths, L"parameter", reply,
                               QB_PAYLOAD_CHARS, error),
                       index, QB_CODE_PARAM_COUNT, L"parameter", error);
    if (result == QB_OK) {
        copy_field(copy_field(reply, L'\t', name, name_chars), L'\0', display, display_chars);
        if (value != NULL) {
            *value = millionths / 1000000.0;
        }
    }
    return result;
}

QbResult qb_set_param(QbHost* host, long index, double value, QbError* error) {
    wchar_t text[INDEX_CHARS * 2];
    long millionths;
    if (!(value >= 0 && value <= 1)) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0,
                          L"a parameter's value is from 0 to 1, not %g", value);
    }
    millionths = (long)(value * 1000000.0 + 0.5);
    _snwprintf(text, INDEX_CHARS * 2 - 1, L"%ld %ld.%06ld", index, millionths / 1000000,
               millionths % 1000000);
    text[INDEX_CHARS * 2 - 1] = L'\0';
    return say_range(host,
                     qb_ask_(host, QB_CODE_SET_PARAM, text, NULL, L"parameter", NULL, 0, error),
                     index, QB_CODE_PARAM_COUNT, L"parameter", error);
}

QbResult qb_send_midi(QbHost* host, const unsigned char* bytes, size_t count, QbError* error) {
    wchar_t text[QB_PAYLOAD_CHARS];
    size_t i;
    QbResult result;
    if (bytes == NULL || count == 0 || count > MIDI_MAX_BYTES) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"send MIDI wants 1 to %d bytes",
                          MIDI_MAX_BYTES);
    }
    for (i = 0; i < count; ++i) {
        _snwprintf(text + i * 3, 4, L"%02X ", bytes[i]);
    }
    text[count * 3 - 1] = L'\0';
    result = qb_ask_(host, QB_CODE_MIDI, text, NULL, L"MIDI", NULL, 0, error);
    if (result == QB_ERROR_REFUSED && error != NULL && error->host_answer == QB_FAIL_BAD_PAYLOAD) {
        return qb_refuse_(error, QB_ERROR_REFUSED, QB_FAIL_BAD_PAYLOAD,
                          L"MIDI: the bytes are not complete messages (each a status byte and "
                          L"its data bytes, or F0 ... F7; running status and other system "
                          L"messages are refused; at most 64 messages)");
    }
    return result;
}

QbResult qb_plugin_info(QbHost* host, long* version, wchar_t* text, size_t text_chars,
                        QbError* error) {
    return qb_ask_(host, QB_CODE_PLUGIN_INFO, L"", version, L"plug-in", text, text_chars, error);
}

QbResult qb_host_version(QbHost* host, wchar_t* text, size_t text_chars, QbError* error) {
    return qb_ask_(host, QB_CODE_HOST_VERSION, L"", NULL, L"host version", text, text_chars, error);
}
