/* A test controller on the client library, for what quillctl, a single-threaded
   controller that services its windows, never does: a controller whose report windows
   are not serviced, a quit message posted before a wait, calls and a close from
   another thread, a crash with the default error mode, and a watch of the music whose
   window never reads its queue. Never shipped.

   client_driver crash HOSTS PLUGIN SONG
   client_driver stalled-reports HOST SYNTH SONG
   client_driver quit-message HOST
   client_driver other-thread HOST SONG
   client_driver odd-numbers HOST
   client_driver unread-watch HOST SYNTH SONG

   Prints what it saw, a line each; exits 0 when it could run the case. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "client/quillbrook_client.h"

#define STALL_MS 20000UL

static unsigned long g_reports = 0;

static void count_report(void* user, QbReportKind kind, const wchar_t* text) {
    (void)user;
    (void)kind;
    (void)text;
    ++g_reports;
}

static void print_result(const char* what, QbResult result, const QbError* error) {
    printf("%s: result %d %ls\n", what, (int)result, result == QB_OK ? L"" : error->message);
    fflush(stdout);
}

static int start(const wchar_t* host_path, const wchar_t* arguments, unsigned long command_ms,
                 QbHost** host) {
    QbStartOptions options;
    QbError error;
    QbResult result;
    memset(&options, 0, sizeof(options));
    options.host_path = host_path;
    options.arguments = arguments;
    options.command_ms = command_ms;
    options.on_report = count_report;
    result = qb_host_start(&options, host, &error);
    if (result != QB_OK) {
        print_result("start", result, &error);
        return 0;
    }
    return 1;
}

static void print_end(QbHost* host, unsigned long ms, DWORD since) {
    unsigned long status = 0;
    wchar_t meaning[400];
    if (qb_host_wait_end(host, ms, &status, NULL) != QB_OK) {
        printf("host still running %lu ms later\n", ms);
        qb_host_terminate(host, 124);
        return;
    }
    qb_describe_exit(status, qb_host_width(host), meaning, 400);
    printf("host ended %lu ms later with status 0x%08lX: it %ls\n",
           (unsigned long)(GetTickCount() - since), status, meaning);
}

/* The controller keeps the error mode a new process gets by default, so the host
   inherits no setting that would keep a debugger or crash dialog away. */
static int crash(const wchar_t* hosts, const wchar_t* plugin, const wchar_t* song) {
    QbStartOptions options;
    QbHost* host = NULL;
    QbError error;
    DWORD played;
    SetErrorMode(0);
    memset(&options, 0, sizeof(options));
    if (qb_host_start_for_plugin(&options, hosts, plugin, &host, &error) != QB_OK) {
        print_result("start", error.result, &error);
        return 1;
    }
    print_result("plugin", qb_load_plugin(host, plugin, NULL, &error), &error);
    print_result("song", qb_load_song(host, song, NULL, 0, &error), &error);
    print_result("play", qb_play(host, &error), &error);
    played = GetTickCount();
    print_end(host, 10000, played);
    qb_host_close(host);
    return 0;
}

static HWND g_stalled = NULL;

/* Makes a window and then handles no message for STALL_MS, as a controller thread busy
   elsewhere would. */
static DWORD WINAPI stall(void* ready) {
    g_stalled = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    SetEvent((HANDLE)ready);
    Sleep(STALL_MS);
    return 0;
}

static int stalled_reports(const wchar_t* host_path, const wchar_t* synth, const wchar_t* song) {
    HANDLE ready = CreateEventW(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, stall, ready, 0, NULL);
    wchar_t arguments[200];
    QbHost* host = NULL;
    QbError error;
    DWORD sent;
    WaitForSingleObject(ready, INFINITE);
    _snwprintf(arguments, 200, L"v=%d pid={pid} hwndpf=%lld hwndee=%lld", QB_INTERFACE_VERSION,
               (long long)(INT_PTR)g_stalled, (long long)(INT_PTR)g_stalled);
    arguments[199] = L'\0';
    if (!start(host_path, arguments, 15000, &host)) {
        return 1;
    }
    sent = GetTickCount();
    print_result("song", qb_load_song(host, song, NULL, 0, &error), &error);
    printf("song answered in %lu ms\n", (unsigned long)(GetTickCount() - sent));
    sent = GetTickCount();
    print_result("plugin", qb_load_plugin(host, synth, NULL, &error), &error);
    printf("plugin answered in %lu ms\n", (unsigned long)(GetTickCount() - sent));
    print_result("play", qb_play(host, &error), &error);
    print_result("quit", qb_quit(host, &error), &error);
    WaitForSingleObject(thread, INFINITE);
    qb_host_close(host);
    return 0;
}

/* The music watched by a window whose thread reads no message while a dense song plays:
   prints the slowest answer to a status meanwhile, and what the host posted and lost. */
static int unread_watch(const wchar_t* host_path, const wchar_t* synth, const wchar_t* song) {
    HANDLE ready = CreateEventW(NULL, TRUE, FALSE, NULL);
    wchar_t text[64];
    wchar_t name[64];
    QbHost* host = NULL;
    QbError error;
    LRESULT answer = 0;
    DWORD slowest = 0;
    int i = 0;
    HANDLE mapping = NULL;
    const QbNotifyRing* ring = NULL;
    CloseHandle(CreateThread(NULL, 0, stall, ready, 0, NULL));
    WaitForSingleObject(ready, INFINITE);
    if (!start(host_path, NULL, 0, &host)) {
        return 1;
    }
    print_result("plugin", qb_load_plugin(host, synth, NULL, &error), &error);
    print_result("song", qb_load_song(host, song, NULL, 0, &error), &error);
    _snwprintf(text, 63, L"%lld %d", (long long)(INT_PTR)g_stalled, QB_WATCH_NOTES);
    text[63] = L'\0';
    print_result("watch",
                 qb_send(host, QB_CODE_WATCH, text, (DWORD)((wcslen(text) + 1) * sizeof(wchar_t)),
                         &answer, &error),
                 &error);
    print_result("play", qb_play(host, &error), &error);
    for (i = 0; i < 30; ++i) {
        long status = 0;
        const DWORD sent = GetTickCount();
        qb_status(host, &status, &error);
        if (GetTickCount() - sent > slowest) {
            slowest = GetTickCount() - sent;
        }
        qb_wait(host, 100);
    }
    printf("slowest status: %lu ms\n", (unsigned long)slowest);
    _snwprintf(name, 63, QB_NOTIFY_MAPPING, qb_host_process_id(host));
    name[63] = L'\0';
    mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, name);
    ring = mapping != NULL ? (const QbNotifyRing*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0,
                                                                sizeof(QbNotifyRing))
                           : NULL;
    if (ring != NULL) {
        printf("posted %u, lost %u\n", ring->written, ring->lost);
    }
    print_result("quit", qb_quit(host, &error), &error);
    qb_host_close(host);
    return 0;
}

static int quit_message(const wchar_t* host_path) {
    QbHost* host = NULL;
    QbError error;
    MSG message;
    if (!start(host_path, NULL, 0, &host)) {
        return 1;
    }
    PostQuitMessage(7);
    qb_wait(host, 200);
    print_result("play", qb_play(host, &error), &error);
    if (PeekMessageW(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        printf("quit message kept: %ld\n", (long)message.wParam);
    } else {
        printf("quit message lost\n");
    }
    print_result("quit", qb_quit(host, &error), &error);
    print_result("second quit", qb_quit(host, &error), &error);
    qb_host_close(host);
    return 0;
}

static DWORD WINAPI play_then_close(void* host) {
    QbError error;
    print_result("play from another thread", qb_play((QbHost*)host, &error), &error);
    qb_host_close((QbHost*)host);
    printf("closed from another thread\n");
    fflush(stdout);
    return 0;
}

/* After a close from another thread, a report that arrives reaches no freed host. */
static int other_thread(const wchar_t* host_path, const wchar_t* song) {
    QbHost* host = NULL;
    HWND window;
    HANDLE process;
    HANDLE thread;
    COPYDATASTRUCT record;
    DWORD_PTR answer = 0;
    MSG message;
    unsigned long before;
    if (!start(host_path, NULL, 0, &host)) {
        return 1;
    }
    window = qb_host_window(host);
    process = OpenProcess(SYNCHRONIZE, FALSE, qb_host_process_id(host));
    thread = CreateThread(NULL, 0, play_then_close, host, 0, NULL);
    WaitForSingleObject(thread, INFINITE);
    before = g_reports;
    record.dwData = QB_CODE_LOAD_SONG; /* the host reports to the windows it was given */
    record.cbData = (DWORD)((wcslen(song) + 1) * sizeof(wchar_t));
    record.lpData = (void*)song;
    SendMessageTimeoutW(window, WM_COPYDATA, 0, (LPARAM)&record, SMTO_NORMAL, 10000, &answer);
    printf("reports after the close: %lu\n", g_reports - before);
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    record.dwData = QB_CODE_QUIT;
    record.cbData = 0;
    record.lpData = NULL;
    SendMessageTimeoutW(window, WM_COPYDATA, 0, (LPARAM)&record, SMTO_NORMAL, 2000, &answer);
    printf("host %s\n", WaitForSingleObject(process, 10000) == WAIT_OBJECT_0 ? "ended" : "runs");
    CloseHandle(process);
    return 0;
}

/* Numbers no command takes are refused before anything is sent. */
static int odd_numbers(const wchar_t* host_path) {
    QbHost* host = NULL;
    QbError error;
    const double nan = strtod("nan", NULL);
    const double huge = 1e300;
    QbRenderOptions many_passes = {1001, 0, 0, 0, 0};
    QbRenderOptions long_tail = {1, 600001, 0, 0, 0};
    QbRenderOptions zeros = {0, 0, 0, 0, 0};
    if (!start(host_path, NULL, 0, &host)) {
        return 1;
    }
    print_result("loop to NaN", qb_set_loop(host, 0, nan, 0, &error), &error);
    print_result("loop from a huge start", qb_set_loop(host, huge, -1, 0, &error), &error);
    print_result("seek to a huge position", qb_seek(host, huge, NULL, &error), &error);
    print_result("parameter NaN", qb_set_param(host, 0, nan, &error), &error);
    print_result("parameter huge", qb_set_param(host, 0, huge, &error), &error);
    print_result("render of too many passes",
                 qb_render_start(host, L"out.wav", &many_passes, NULL, &error), &error);
    print_result("render of too long a tail",
                 qb_render_start(host, L"out.wav", &long_tail, NULL, &error), &error);
    /* A record of zeros is the defaults: refused for want of a song, not for its passes. */
    print_result("render of zeros", qb_render_start(host, L"out.wav", &zeros, NULL, &error),
                 &error);
    printf("render of zeros: host answer %ld\n", error.host_answer);
    print_result("quit", qb_quit(host, &error), &error);
    qb_host_close(host);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    const wchar_t* what = argc > 1 ? argv[1] : L"";
    int status = 2;
    if (wcscmp(what, L"crash") == 0 && argc == 5) {
        status = crash(argv[2], argv[3], argv[4]);
    } else if (wcscmp(what, L"stalled-reports") == 0 && argc == 5) {
        status = stalled_reports(argv[2], argv[3], argv[4]);
    } else if (wcscmp(what, L"quit-message") == 0 && argc == 3) {
        status = quit_message(argv[2]);
    } else if (wcscmp(what, L"other-thread") == 0 && argc == 4) {
        status = other_thread(argv[2], argv[3]);
    } else if (wcscmp(what, L"odd-numbers") == 0 && argc == 3) {
        status = odd_numbers(argv[2]);
    } else if (wcscmp(what, L"unread-watch") == 0 && argc == 5) {
        status = unread_watch(argv[2], argv[3], argv[4]);
    } else {
        fprintf(stderr, "usage: see the comment at the top of client_driver.c\n");
    }
    fflush(stdout);
    return status;
}
