/* The client's render calls: a song rendered to a WAV file by the host, with progress. */
#include <stdio.h>
#include <wchar.h>

#include "client_error.h"

#define POLL_MS 100

QbResult qb_render_start(QbHost* host, const wchar_t* path, const QbRenderOptions* options,
                         long* length_ms, QbError* error) {
    wchar_t text[QB_PAYLOAD_CHARS];
    wchar_t tail[16] = L"silence";
    int written = 0;
    if (path == NULL || path[0] == L'\0' || wcschr(path, L'|') != NULL) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"render: a file name is needed");
    }
    if (options == NULL) {
        written = _snwprintf(text, QB_PAYLOAD_CHARS - 1, L"%ls", path);
    } else {
        if (!options->tail_until_silent) {
            _snwprintf(tail, 15, L"%lu", options->tail_ms);
        }
        written = _snwprintf(text, QB_PAYLOAD_CHARS - 1, L"%ls|passes=%lu tail=%ls%ls%ls", path,
                             options->passes, tail, options->pcm16 ? L" pcm16" : L"",
                             options->real_time ? L" realtime" : L"");
    }
    if (written < 0 || written >= QB_PAYLOAD_CHARS - 1) {
        return qb_refuse_(error, QB_ERROR_ARGUMENT, 0, L"render: the file name is too long");
    }
    text[written] = L'\0';
    return qb_ask_(host, QB_CODE_RENDER, text, length_ms, L"render", NULL, 0, error);
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
