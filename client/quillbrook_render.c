/* The client's render calls: a song rendered to a WAV file by the host, with progress. */
#include <stdio.h>
#include <wchar.h>

#include "client_error.h"

#define POLL_MS 100
#define MOST_PASSES 1000
#define LONGEST_TAIL_MS 600000

/* A record of zeros asks for the defaults, as the start options do. */
static int is_zeroed(const QbRenderOptions* options) {
    return options->passes == 0 && options->tail_ms == 0 && !options->tail_until_silent &&
           !options->pcm16 && !options->real_time;
}

/* Whether the folder `path` names a file in exists (a bare name: the current one). */
static int folder_exists(const wchar_t* path) {
    wchar_t folder[QB_PAYLOAD_CHARS];
    const wchar_t* slash = wcsrchr(path, L'\\');
    const wchar_t* other = wcsrchr(path, L'/');
    DWORD attributes;
    size_t length;
    if (other != NULL && (slash == NULL || other > slash)) {
        slash = other;
    }
    if (slash == NULL) {
        return 1;
    }
    length = (size_t)(slash - path);
    if (length == 0 || length >= QB_PAYLOAD_CHARS || path[length - 1] == L':') {
        return 1; /* the root of a drive */
    }
    wmemcpy(folder, path, length);
    folder[length] = L'\0';
    attributes = GetFileAttributesW(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

QbResult qb_render_start(QbHost* host, const wchar_t* path, const QbRenderOptions* options,
                         long* length_ms, QbError* error) {
    wchar_t text[QB_PAYLOAD_CHARS];
    wchar_t tail[16] = L"silence";
    int written = 0;
    QbResult result;
    if (path == NULL || path[0] == L'\0' || wcschr(path, L'|') != NULL) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"render: a file name is needed");
    }
    if (options == NULL || is_zeroed(options)) {
        written = _snwprintf(text, QB_PAYLOAD_CHARS - 1, L"%ls", path);
    } else {
        const unsigned long passes = options->passes != 0 ? options->passes : 1;
        if (passes > MOST_PASSES) {
            return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"render: passes are 1 to %d, not %lu",
                              MOST_PASSES, passes);
        }
        if (!options->tail_until_silent && options->tail_ms > LONGEST_TAIL_MS) {
            return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"render: a tail is 0 to %d ms, not %lu",
                              LONGEST_TAIL_MS, options->tail_ms);
        }
        if (!options->tail_until_silent) {
            _snwprintf(tail, 15, L"%lu", options->tail_ms);
        }
        written = _snwprintf(text, QB_PAYLOAD_CHARS - 1, L"%ls|passes=%lu tail=%ls%ls%ls", path,
                             passes, tail, options->pcm16 ? L" pcm16" : L"",
                             options->real_time ? L" realtime" : L"");
    }
    if (written < 0 || written >= QB_PAYLOAD_CHARS - 1) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"render: the file name is too long");
    }
    text[written] = L'\0';
    result = qb_ask_(host, QB_CODE_RENDER, text, length_ms, L"render", NULL, 0, error);
    if (result == QB_ERROR_REFUSED && error != NULL && error->host_answer == QB_FAIL_FILE) {
        return qb_refuse_(error, QB_ERROR_REFUSED, QB_FAIL_FILE,
                          folder_exists(path) ? L"render: %ls could not be written"
                                              : L"render: the folder of %ls does not exist",
                          path);
    }
    return result;
}

QbResult qb_render_status(QbHost* host, long* status, long* thousandths, QbError* error) {
    LRESULT answer = 0;
    QbResult result = qb_send(host, QB_CODE_RENDER_STATUS, L"", sizeof(wchar_t), &answer, error);
    if (result != QB_OK) {
        return result;
    }
    if (status != NULL) {
        *status = (long)answer;
    }
    return qb_ask_(host, QB_CODE_RENDER_PROGRESS, L"", thousandths, L"render progress", NULL, 0,
                   error);
}

QbResult qb_render_cancel(QbHost* host, QbError* error) {
    return qb_ask_(host, QB_CODE_CANCEL_RENDER, L"", NULL, L"cancel render", NULL, 0, error);
}

QbResult qb_render(QbHost* host, const wchar_t* path, const QbRenderOptions* options,
                   QbRenderProgress progress, void* user, QbError* error) {
    const DWORD start = GetTickCount();
    long status = QB_RENDER_RUNNING;
    long thousandths = 0;
    QbResult result = qb_render_start(host, path, options, NULL, error);
    while (result == QB_OK) {
        result = qb_render_status(host, &status, &thousandths, error);
        if (result != QB_OK || status != QB_RENDER_RUNNING) {
            break;
        }
        if (progress != NULL && progress(user, thousandths, GetTickCount() - start) != 0) {
            result = qb_render_cancel(host, error);
            if (result == QB_OK) {
                return qb_refuse_(error, QB_ERROR_CANCELLED, 0, L"render: cancelled");
            }
            break;
        }
        qb_wait(host, POLL_MS);
    }
    if (result != QB_OK) {
        return result;
    }
    if (status == QB_RENDER_CANCELLED) {
        return qb_refuse_(error, QB_ERROR_CANCELLED, 0, L"render: cancelled");
    }
    if (status < 0) {
        return qb_refuse_(error, QB_ERROR_REFUSED, status, L"render: %ls", qb_failure_text(status));
    }
    if (progress != NULL) {
        progress(user, 1000, GetTickCount() - start);
    }
    return QB_OK;
}
