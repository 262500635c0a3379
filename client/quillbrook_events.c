/* The client's settings for the song's events: speed, key, and per channel mute, solo
   and volume. Each is an extension command answered through the copy-data result. */
#include <stdio.h>
#include <wchar.h>

#include "client_error.h"

#define TEXT_CHARS 64
#define CONTROLS_CHARS 256

/* A number with up to three decimals and its sign, without the C locale's separator. */
static void write_signed(double value, wchar_t* out) {
    const int negative = value < 0;
    const unsigned long long thousandths =
        (unsigned long long)((negative ? -value : value) * 1000.0 + 0.5);
    _snwprintf(out, TEXT_CHARS - 1, L"%ls%llu.%03llu", negative ? L"-" : L"", thousandths / 1000,
               thousandths % 1000);
    out[TEXT_CHARS - 1] = L'\0';
}

static int is_speed(double speed) {
    return speed >= 0.25 && speed <= 4;
}

QbResult qb_set_speed(QbHost* host, double speed, double step, double limit, long* thousandths,
                      QbError* error) {
    wchar_t number[3][TEXT_CHARS];
    wchar_t text[TEXT_CHARS * 3];
    if (!is_speed(speed) || !(step >= -4 && step <= 4) || (step != 0 && !is_speed(limit))) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0,
                          L"a speed (and a ladder's limit) is from 0.25 to 4, a step from -4 "
                          L"to 4");
    }
    write_signed(speed, number[0]);
    write_signed(step, number[1]);
    write_signed(step != 0 ? limit : speed, number[2]);
    _snwprintf(text, TEXT_CHARS * 3 - 1, step != 0 ? L"%ls %ls %ls" : L"%ls", number[0], number[1],
               number[2]);
    text[TEXT_CHARS * 3 - 1] = L'\0';
    return qb_ask_(host, QB_CODE_SET_SPEED, text, thousandths, L"speed", NULL, 0, error);
}

QbResult qb_set_transpose(QbHost* host, int semitones, unsigned channels, QbError* error) {
    wchar_t text[TEXT_CHARS];
    if (semitones < -24 || semitones > 24 || channels > 0xFFFF) {
        return qb_refuse_(
            error, QB_ERROR_ARGUMENT, 0,
            L"a transposition is -24 to 24 semitones, its channels a mask of 16 bits");
    }
    _snwprintf(text, TEXT_CHARS - 1, channels != 0 ? L"%d %u" : L"%d", semitones, channels);
    text[TEXT_CHARS - 1] = L'\0';
    return qb_ask_(host, QB_CODE_SET_TRANSPOSE, text, NULL, L"transpose", NULL, 0, error);
}

QbResult qb_set_channel_mutes(QbHost* host, unsigned muted, unsigned soloed, QbError* error) {
    wchar_t text[TEXT_CHARS];
    if (muted > 0xFFFF || soloed > 0xFFFF) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"channel masks have 16 bits");
    }
    _snwprintf(text, TEXT_CHARS - 1, L"%u %u", muted, soloed);
    text[TEXT_CHARS - 1] = L'\0';
    return qb_ask_(host, QB_CODE_SET_CHANNEL_MUTES, text, NULL, L"mute", NULL, 0, error);
}

QbResult qb_set_channel_volume(QbHost* host, int channel, double volume, QbError* error) {
    wchar_t number[TEXT_CHARS];
    wchar_t text[TEXT_CHARS * 2];
    if (channel < 0 || channel > 16 || !(volume >= 0 && volume <= 1)) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0,
                          L"a channel is 1 to 16 (0: all), its volume from 0 to 1");
    }
    write_signed(volume, number);
    _snwprintf(text, TEXT_CHARS * 2 - 1, L"%d %ls", channel, number);
    text[TEXT_CHARS * 2 - 1] = L'\0';
    return qb_ask_(host, QB_CODE_SET_CHANNEL_VOLUME, text, NULL, L"channel volume", NULL, 0, error);
}

QbResult qb_clear_controls(QbHost* host, unsigned groups, QbError* error) {
    wchar_t text[TEXT_CHARS] = L"";
    if ((groups & QB_CONTROLS_SPEED) != 0) {
        wcscat(text, L" speed");
    }
    if ((groups & QB_CONTROLS_KEY) != 0) {
        wcscat(text, L" key");
    }
    if ((groups & QB_CONTROLS_CHANNELS) != 0) {
        wcscat(text, L" channels");
    }
    if ((groups & QB_CONTROLS_VOLUMES) != 0) {
        wcscat(text, L" volumes");
    }
    return qb_ask_(host, QB_CODE_CLEAR_CONTROLS, text, NULL, L"clear controls", NULL, 0, error);
}

QbResult qb_controls(QbHost* host, QbControls* controls, QbError* error) {
    wchar_t text[CONTROLS_CHARS];
    unsigned long speed = 0;
    long step = 0;
    unsigned long limit = 0;
    unsigned long volumes[16];
    int channel = 0;
    const wchar_t* at = NULL;
    int used = 0;
    const QbResult result =
        qb_ask_(host, QB_CODE_CONTROLS, L"", NULL, L"controls", text, CONTROLS_CHARS, error);
    if (result != QB_OK || controls == NULL) {
        return result;
    }
    if (swscanf(text, L"%lu\t%ld\t%lu\t%d\t%x\t%x\t%x\t%n", &speed, &step, &limit,
                &controls->transpose, &controls->transposed, &controls->muted, &controls->soloed,
                &used) != 7) {
        return qb_refuse_(error, QB_ERROR_REFUSED, 0, L"controls: the host's answer is unreadable");
    }
    for (at = text + used; channel < 16; ++channel) {
        int length = 0;
        if (swscanf(at, channel == 0 ? L"%lu%n" : L",%lu%n", &volumes[channel], &length) != 1) {
            return qb_refuse_(error, QB_ERROR_REFUSED, 0,
                              L"controls: the host's answer is unreadable");
        }
        at += length;
        controls->volume[channel] = volumes[channel] / 1000.0;
    }
    controls->speed = speed / 1000.0;
    controls->speed_step = step / 1000.0;
    controls->speed_limit = limit / 1000.0;
    return QB_OK;
}

QbResult qb_at_speed(QbHost* host, int length, long* ms, QbError* error) {
    return qb_ask_(host, QB_CODE_AT_SPEED, length ? L"length" : L"position", ms,
                   length ? L"length at speed" : L"position at speed", NULL, 0, error);
}

QbResult qb_mark_count(QbHost* host, long* count, QbError* error) {
    return qb_ask_(host, QB_CODE_MARK, L"", count, L"marks", NULL, 0, error);
}

/* Asks the entry `index` of a listing the host answers one entry at a time (the marks,
   the devices) into `reply` (QB_PAYLOAD_CHARS). */
static QbResult ask_entry(QbHost* host, ULONG_PTR code, long index, const void* into,
                          const wchar_t* what, wchar_t* reply, QbError* error) {
    wchar_t text[TEXT_CHARS];
    if (index < 0 || into == NULL) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"%ls: an index is 0 or more", what);
    }
    _snwprintf(text, TEXT_CHARS - 1, L"%ld", index);
    text[TEXT_CHARS - 1] = L'\0';
    return qb_ask_(host, code, text, NULL, what, reply, QB_PAYLOAD_CHARS, error);
}

QbResult qb_mark(QbHost* host, long index, QbMark* mark, QbError* error) {
    wchar_t reply[QB_PAYLOAD_CHARS];
    int used = 0;
    const QbResult result = ask_entry(host, QB_CODE_MARK, index, mark, L"mark", reply, error);
    if (result != QB_OK) {
        return result;
    }
    if (swscanf(reply, L"%d\t%lu\t%ld\t%n", &mark->kind, &mark->tick, &mark->ms, &used) != 3) {
        return qb_refuse_(error, QB_ERROR_REFUSED, 0, L"mark: the host's answer is unreadable");
    }
    wcscpy(mark->text, reply + used);
    return QB_OK;
}

/* "BAR:BEAT:TICK" into its numbers. */
static int read_bar_beat(const wchar_t* text, QbBarBeat* at) {
    return swscanf(text, L"%lu:%lu:%lu", &at->bar, &at->beat, &at->tick) == 3;
}

QbResult qb_music_time(QbHost* host, long* ppqn, unsigned long* length_ticks, QbBarBeat* length,
                       QbError* error) {
    wchar_t reply[QB_PAYLOAD_CHARS];
    int used = 0;
    const QbResult result = qb_ask_(host, QB_CODE_MUSIC_TIME, L"", ppqn, L"musical time", reply,
                                    QB_PAYLOAD_CHARS, error);
    if (result != QB_OK) {
        return result;
    }
    if (swscanf(reply, L"%lu\t%n", length_ticks, &used) != 1 ||
        !read_bar_beat(reply + used, length)) {
        return qb_refuse_(error, QB_ERROR_REFUSED, 0,
                          L"musical time: the host's answer is unreadable");
    }
    return QB_OK;
}

QbResult qb_bar_position(QbHost* host, long* ticks, QbBarBeat* at, QbError* error) {
    wchar_t reply[QB_PAYLOAD_CHARS];
    const QbResult result = qb_ask_(host, QB_CODE_BAR_POSITION, L"", ticks, L"bar position", reply,
                                    QB_PAYLOAD_CHARS, error);
    if (result == QB_OK && !read_bar_beat(reply, at)) {
        return qb_refuse_(error, QB_ERROR_REFUSED, 0,
                          L"bar position: the host's answer is unreadable");
    }
    return result;
}

QbResult qb_seek_bar(QbHost* host, QbBarBeat at, long* reached, QbError* error) {
    wchar_t text[TEXT_CHARS];
    if (at.bar == 0 || at.beat == 0) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"bars and beats are counted from 1");
    }
    _snwprintf(text, TEXT_CHARS - 1, L"%lu:%lu:%lu", at.bar, at.beat, at.tick);
    text[TEXT_CHARS - 1] = L'\0';
    return qb_ask_(host, QB_CODE_SEEK, text, reached, L"seek", NULL, 0, error);
}

QbResult qb_loop_on_markers(QbHost* host, unsigned long passes, QbError* error) {
    wchar_t text[TEXT_CHARS];
    _snwprintf(text, TEXT_CHARS - 1, L"markers %lu", passes);
    text[TEXT_CHARS - 1] = L'\0';
    return qb_ask_(host, QB_CODE_LOOP, text, NULL, L"loop on the song's markers", NULL, 0, error);
}

QbResult qb_device_count(QbHost* host, long* count, QbError* error) {
    return qb_ask_(host, QB_CODE_DEVICE, L"", count, L"devices", NULL, 0, error);
}

QbResult qb_device(QbHost* host, long index, QbDevice* device, QbError* error) {
    wchar_t reply[QB_PAYLOAD_CHARS];
    wchar_t* tab = NULL;
    wchar_t* flags = NULL;
    const QbResult result = ask_entry(host, QB_CODE_DEVICE, index, device, L"device", reply, error);
    if (result != QB_OK) {
        return result;
    }
    tab = wcschr(reply, L'\t');
    flags = tab != NULL ? wcschr(tab + 1, L'\t') : NULL;
    if (flags == NULL) {
        return qb_refuse_(error, QB_ERROR_REFUSED, 0, L"device: the host's answer is unreadable");
    }
    *tab = L'\0';
    *flags = L'\0';
    wcsncpy(device->name, reply, QB_DEVICE_NAME_CHARS - 1);
    device->name[QB_DEVICE_NAME_CHARS - 1] = L'\0';
    wcsncpy(device->driver, tab + 1, QB_DEVICE_NAME_CHARS - 1);
    device->driver[QB_DEVICE_NAME_CHARS - 1] = L'\0';
    device->flags = (unsigned)wcstoul(flags + 1, NULL, 10);
    return QB_OK;
}

QbResult qb_set_device(QbHost* host, const wchar_t* which, long* number, QbError* error) {
    if (which == NULL || which[0] == L'\0') {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0,
                          L"a device is named by its number, its name or \"default\"");
    }
    return qb_ask_(host, QB_CODE_SET_DEVICE, which, number, L"device", NULL, 0, error);
}

QbResult qb_set_device_policy(QbHost* host, const wchar_t* policy, QbError* error) {
    if (policy == NULL || (wcscmp(policy, L"wait") != 0 && wcscmp(policy, L"default") != 0)) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"a device policy is wait or default");
    }
    return qb_ask_(host, QB_CODE_DEVICE_POLICY, policy, NULL, L"device policy", NULL, 0, error);
}

QbResult qb_set_latency(QbHost* host, long buffer_ms, long period_ms, long* used_ms,
                        QbError* error) {
    wchar_t text[64];
    if (period_ms != 0) {
        swprintf(text, 64, L"%ld %ld", buffer_ms, period_ms);
    } else {
        swprintf(text, 64, L"%ld", buffer_ms);
    }
    return qb_ask_(host, QB_CODE_SET_LATENCY, text, used_ms, L"latency", NULL, 0, error);
}

QbResult qb_latency(QbHost* host, QbLatency* latency, QbError* error) {
    wchar_t reply[QB_PAYLOAD_CHARS];
    const QbResult result =
        qb_ask_(host, QB_CODE_LATENCY, L"", NULL, L"latency", reply, QB_PAYLOAD_CHARS, error);
    if (result != QB_OK) {
        return result;
    }
    if (swscanf(reply, L"%ld %ld %ld %ld %ld", &latency->buffer_ms, &latency->period_ms,
                &latency->min_buffer_ms, &latency->device_latency_ms, &latency->device) != 5) {
        return qb_refuse_(error, QB_ERROR_REFUSED, 0, L"latency: the host's answer is unreadable");
    }
    return QB_OK;
}
