#include "quillbrook_client.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "client_error.h"
#include "pe_width.h"

#define DEFAULT_WINDOW_MS 30000UL
#define DEFAULT_COMMAND_MS 60000UL
#define POLL_MS 10UL
#define ENDING_MS 5000UL /* how long a host whose window went away may take to end */
#define TERMINATE_MS 5000UL
#define WIDEN_TEXT(text) L##text
#define NUMBER_TEXT(number) WIDEN_TEXT(#number)
#define VERSION_TEXT(number) NUMBER_TEXT(number)
/* The command line the host is started with unless the options give another. */
#define DEFAULT_ARGUMENTS                                                                          \
    L"v=" VERSION_TEXT(QB_INTERFACE_VERSION) L" pid={pid} hwndpf={song} hwndee={editor}"

static const wchar_t kReportClass[] = L"QuillbrookClientReport";
/* Posted to a report window by a close from another thread: lparam is the host. */
#define WM_RELEASE_HOST (WM_APP + 1)

struct QbHost {
    PROCESS_INFORMATION process;
    DWORD thread; /* the thread that started the host and owns the report windows */
    HWND window;
    int width;
    HWND song_window;
    HWND editor_window;
    unsigned long command_ms;
    unsigned long song_reports;
    unsigned long editor_reports;
    QbReportCallback on_report;
    void* report_user;
    /* The text answer of the command in progress (text_code, 0 when none is awaited). */
    ULONG_PTR text_code;
    wchar_t text[QB_PAYLOAD_CHARS];
    /* A watch of the music: the window the host posts to, its ring, the callback. */
    HWND watch_window;
    HANDLE watch_mapping;
    const QbNotifyRing* watch_ring;
    QbNotifyCallback on_notify;
    void* notify_user;
    unsigned long notify_lost;
};

void qb_write_error_(QbError* error, QbResult result, long answer, const wchar_t* format,
                     va_list args) {
    if (error != NULL) {
        _vsnwprintf(error->message, sizeof(error->message) / sizeof(wchar_t) - 1, format, args);
        error->message[sizeof(error->message) / sizeof(wchar_t) - 1] = L'\0';
        error->result = result;
        error->host_answer = answer;
    }
}

static QbResult fail(QbError* error, QbResult result, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    qb_write_error_(error, result, 0, format, args);
    va_end(args);
    return result;
}

static QbResult succeed(QbError* error) {
    if (error != NULL) {
        error->result = QB_OK;
        error->message[0] = L'\0';
        error->host_answer = 0;
    }
    return QB_OK;
}

/* The report windows belong to the starting thread, and only its waits handle them. */
static int on_own_thread(const QbHost* host) {
    return host->thread == GetCurrentThreadId();
}

static QbResult wrong_thread(QbError* error) {
    return fail(error, QB_ERROR_WRONG_THREAD,
                L"called from another thread than the one that started the host: only that "
                L"thread receives the host's reports");
}

/* ---- widths ----------------------------------------------------------------------- */

/* The first bytes of the file, up to QB_PE_HEAD_BYTES, in a block to free; null when
   it cannot be read. */
static unsigned char* read_head(const wchar_t* path, DWORD* got) {
    unsigned char* head;
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
    *got = 0;
    if (file == INVALID_HANDLE_VALUE) {
        return NULL;
    }
    head = (unsigned char*)malloc(QB_PE_HEAD_BYTES);
    if (head != NULL && !ReadFile(file, head, QB_PE_HEAD_BYTES, got, NULL)) {
        *got = 0;
    }
    CloseHandle(file);
    return head;
}

QbResult qb_plugin_width(const wchar_t* path, int* width, QbError* error) {
    unsigned char* head;
    DWORD got = 0;
    char what[200];
    wchar_t wide_what[200];
    *width = 0;
    if (path == NULL || path[0] == L'\0') {
        return fail(error, QB_ERROR_ARGUMENT, L"no plug-in path given");
    }
    head = read_head(path, &got);
    if (head == NULL) {
        return fail(error, QB_ERROR_FILE,
                    L"cannot open the plug-in %ls (Windows error %lu): check the path", path,
                    GetLastError());
    }
    *width = qb_pe_width(head, got, what, sizeof(what));
    free(head);
    if (*width == 0) {
        MultiByteToWideChar(CP_UTF8, 0, what, -1, wide_what, 200);
        return fail(error, QB_ERROR_NOT_A_PLUGIN,
                    L"%ls is %ls; a plug-in must be a 32-bit (x86) or 64-bit (x64) DLL", path,
                    wide_what);
    }
    return succeed(error);
}

QbResult qb_host_path(const wchar_t* folder, int width, wchar_t* path, size_t path_chars,
                      QbError* error) {
    wchar_t own[MAX_PATH * 4];
    size_t length;
    if (path == NULL || path_chars == 0 || (width != 32 && width != 64)) {
        return fail(error, QB_ERROR_ARGUMENT,
                    L"a host path wants a buffer and a width of 32 or 64");
    }
    if (folder == NULL) {
        wchar_t* slash;
        DWORD got = GetModuleFileNameW(NULL, own, MAX_PATH * 4);
        if (got == 0 || got >= MAX_PATH * 4) {
            return fail(error, QB_ERROR_SYSTEM, L"cannot tell this program's own folder");
        }
        slash = wcsrchr(own, L'\\');
        if (slash != NULL) {
            *slash = L'\0';
        }
        folder = own;
    }
    length = wcslen(folder);
    if (length + 20 >= path_chars) {
        return fail(error, QB_ERROR_ARGUMENT, L"the host's folder path is too long: %ls", folder);
    }
    _snwprintf(path, path_chars, L"%ls%lsQuillbrook%d.exe", folder,
               length > 0 && (folder[length - 1] == L'\\' || folder[length - 1] == L'/') ? L""
                                                                                         : L"\\",
               width);
    path[path_chars - 1] = L'\0';
    return succeed(error);
}

/* ---- report windows --------------------------------------------------------------- */

static void release_host(QbHost* host);

static LRESULT CALLBACK report_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_RELEASE_HOST) {
        release_host((QbHost*)lparam);
        return 0;
    }
    if (message == WM_COPYDATA && lparam != 0) {
        QbHost* host = (QbHost*)GetWindowLongPtrW(window, GWLP_USERDATA);
        const COPYDATASTRUCT* record = (const COPYDATASTRUCT*)lparam;
        if (host != NULL && host->text_code != 0 && record->dwData == host->text_code &&
            record->lpData != NULL) {
            size_t chars = record->cbData / sizeof(wchar_t);
            if (chars > QB_PAYLOAD_CHARS - 1) {
                chars = QB_PAYLOAD_CHARS - 1;
            }
            memcpy(host->text, record->lpData, chars * sizeof(wchar_t));
            host->text[chars] = L'\0';
            return TRUE;
        }
        return FALSE;
    }
    if (message == WM_SETTEXT && lparam != 0) {
        QbHost* host = (QbHost*)GetWindowLongPtrW(window, GWLP_USERDATA);
        if (host != NULL) {
            const QbReportKind kind =
                window == host->song_window ? QB_REPORT_SONG : QB_REPORT_EDITOR;
            if (kind == QB_REPORT_SONG) {
                ++host->song_reports;
            } else {
                ++host->editor_reports;
            }
            if (host->on_report != NULL) {
                host->on_report(host->report_user, kind, (const wchar_t*)lparam);
            }
        }
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

/* Message-only windows: they take the host's reports and show nowhere. */
static HWND make_report_window(QbHost* host) {
    HWND window = CreateWindowExW(0, kReportClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                  GetModuleHandleW(NULL), NULL);
    if (window != NULL) {
        SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)host);
    }
    return window;
}

static int make_report_windows(QbHost* host) {
    WNDCLASSEXW report_class;
    memset(&report_class, 0, sizeof(report_class));
    report_class.cbSize = sizeof(report_class);
    report_class.lpfnWndProc = report_procedure;
    report_class.hInstance = GetModuleHandleW(NULL);
    report_class.lpszClassName = kReportClass;
    RegisterClassExW(&report_class); /* fails harmlessly when already registered */
    host->song_window = make_report_window(host);
    host->editor_window = make_report_window(host);
    return host->song_window != NULL && host->editor_window != NULL;
}

/* ---- waiting ---------------------------------------------------------------------- */

/* Handles the messages sent to this thread (the reports among them); posted ones stay
   queued for the program's own loop. */
static void handle_sent_messages(void) {
    MSG message;
    PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

/* Passes each notification posted to the watch window to the callback; one the ring
   no longer holds (the queue was read too late) is counted lost. */
static void handle_notifications(QbHost* host) {
    MSG message;
    while (host->watch_window != NULL &&
           PeekMessageW(&message, host->watch_window, QB_NOTIFY_MESSAGE, QB_NOTIFY_MESSAGE,
                        PM_REMOVE)) {
        const QbNotification* note =
            &host->watch_ring->records[(unsigned)message.wParam % QB_NOTIFY_RING];
        QbNotification copy = *note;
        if (copy.sequence != (unsigned)message.wParam) {
            ++host->notify_lost;
        } else if (host->on_notify != NULL) {
            host->on_notify(host->notify_user, &copy);
        }
    }
}

/* Waits for the host's end or a message sent to this thread (or a notification), up to
   `ms`; 1 once it ended. */
static int wait_process_or_message(QbHost* host, unsigned long ms) {
    const DWORD result = MsgWaitForMultipleObjects(
        1, &host->process.hProcess, FALSE, ms,
        host->watch_window != NULL ? QS_SENDMESSAGE | QS_POSTMESSAGE : QS_SENDMESSAGE);
    handle_sent_messages();
    handle_notifications(host);
    return result == WAIT_OBJECT_0;
}

typedef struct WindowSearch {
    DWORD process_id;
    const wchar_t* class_name;
    HWND* found;
    size_t max;
    size_t count;
} WindowSearch;

static BOOL CALLBACK collect_window(HWND window, LPARAM context) {
    WindowSearch* search = (WindowSearch*)context;
    DWORD process_id = 0;
    wchar_t class_name[64];
    GetWindowThreadProcessId(window, &process_id);
    if (process_id != search->process_id || GetClassNameW(window, class_name, 64) == 0 ||
        wcscmp(class_name, search->class_name) != 0) {
        return TRUE;
    }
    if (search->count < search->max) {
        search->found[search->count] = window;
    }
    ++search->count;
    return TRUE;
}

size_t qb_host_windows(const QbHost* host, const wchar_t* class_name, HWND* windows, size_t max) {
    WindowSearch search;
    search.process_id = host->process.dwProcessId;
    search.class_name = class_name;
    search.found = windows;
    search.max = windows != NULL ? max : 0;
    search.count = 0;
    EnumWindows(collect_window, (LPARAM)&search);
    return search.count;
}

static void ended_message(const QbHost* host, QbError* error, const wchar_t* when) {
    unsigned long status = 0;
    wchar_t meaning[400];
    GetExitCodeProcess(host->process.hProcess, &status);
    qb_describe_exit(status, host->width, meaning, 400);
    fail(error, QB_ERROR_HOST_ENDED, L"the host ended %ls, with status %lu (0x%08lX): it %ls", when,
         status, status, meaning);
}

/* ---- starting --------------------------------------------------------------------- */

/* `text` with every {key} replaced by `value`, into `out`; 0 when it does not fit. */
static int replace_all(const wchar_t* text, const wchar_t* key, const wchar_t* value, wchar_t* out,
                       size_t out_chars) {
    const size_t key_length = wcslen(key);
    const size_t value_length = wcslen(value);
    size_t used = 0;
    while (*text != L'\0') {
        const int match = wcsncmp(text, key, key_length) == 0;
        const wchar_t* piece = match ? value : text;
        const size_t piece_length = match ? value_length : 1;
        if (used + piece_length + 1 > out_chars) {
            return 0;
        }
        memcpy(out + used, piece, piece_length * sizeof(wchar_t));
        used += piece_length;
        text += match ? key_length : 1;
    }
    out[used] = L'\0';
    return 1;
}

static int host_arguments(const QbStartOptions* options, const QbHost* host, wchar_t* out,
                          size_t out_chars) {
    wchar_t number[32];
    wchar_t first[2048];
    wchar_t second[2048];
    const wchar_t* text = options->arguments != NULL ? options->arguments : DEFAULT_ARGUMENTS;
    _snwprintf(number, 32, L"%lu",
               options->parent_pid != 0 ? options->parent_pid : GetCurrentProcessId());
    number[31] = L'\0';
    if (!replace_all(text, L"{pid}", number, first, 2048)) {
        return 0;
    }
    _snwprintf(number, 32, L"%lld", (long long)(INT_PTR)host->song_window);
    if (!replace_all(first, L"{song}", number, second, 2048)) {
        return 0;
    }
    _snwprintf(number, 32, L"%lld", (long long)(INT_PTR)host->editor_window);
    return replace_all(second, L"{editor}", number, out, out_chars);
}

static QbResult wait_for_window(QbHost* host, unsigned long ms, QbError* error) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND found = NULL;
        if (qb_host_windows(host, QB_MAIN_CLASS_64, &found, 1) == 0) {
            qb_host_windows(host, QB_MAIN_CLASS_32, &found, 1);
        }
        if (found != NULL) {
            host->window = found;
            return succeed(error);
        }
        if (wait_process_or_message(host, POLL_MS)) {
            ended_message(host, error, L"without showing its window");
            return QB_ERROR_HOST_ENDED;
        }
        if (GetTickCount() - start >= ms) {
            return fail(error, QB_ERROR_NO_WINDOW,
                        L"the host showed no main window within %lu ms; under Wine, check that "
                        L"DISPLAY names a running X server",
                        ms);
        }
    }
}

QbResult qb_host_start(const QbStartOptions* options, QbHost** result, QbError* error) {
    QbHost* host;
    wchar_t arguments[2048];
    wchar_t* command_line;
    size_t path_length;
    STARTUPINFOW startup;
    *result = NULL;
    if (options == NULL || options->host_path == NULL || options->host_path[0] == L'\0') {
        return fail(error, QB_ERROR_ARGUMENT, L"no host program given");
    }
    host = (QbHost*)calloc(1, sizeof(QbHost));
    if (host == NULL) {
        return fail(error, QB_ERROR_SYSTEM, L"out of memory");
    }
    host->thread = GetCurrentThreadId();
    host->command_ms = options->command_ms != 0 ? options->command_ms : DEFAULT_COMMAND_MS;
    host->on_report = options->on_report;
    host->report_user = options->report_user;
    if (!make_report_windows(host)) {
        release_host(host); /* made on this thread, not yet given out */
        return fail(error, QB_ERROR_SYSTEM, L"cannot create the report windows (Windows error %lu)",
                    GetLastError());
    }
    if (!host_arguments(options, host, arguments, 2048)) {
        release_host(host); /* made on this thread, not yet given out */
        return fail(error, QB_ERROR_ARGUMENT, L"the host's command line is too long");
    }
    path_length = wcslen(options->host_path);
    command_line = (wchar_t*)malloc((path_length + wcslen(arguments) + 4) * sizeof(wchar_t));
    if (command_line == NULL) {
        release_host(host); /* made on this thread, not yet given out */
        return fail(error, QB_ERROR_SYSTEM, L"out of memory");
    }
    _snwprintf(command_line, path_length + wcslen(arguments) + 4, L"\"%ls\" %ls",
               options->host_path, arguments);
    command_line[path_length + wcslen(arguments) + 3] = L'\0';
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    if (options->hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    if (!CreateProcessW(options->host_path, command_line, NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, &host->process)) {
        const DWORD code = GetLastError();
        free(command_line);
        release_host(host); /* made on this thread, not yet given out */
        return fail(error, QB_ERROR_NO_HOST,
                    L"cannot start the host %ls (Windows error %lu): check the path, and that "
                    L"it is Quillbrook64.exe or Quillbrook32.exe",
                    options->host_path, code);
    }
    free(command_line);
    {
        DWORD got = 0;
        unsigned char* head = read_head(options->host_path, &got);
        host->width = head != NULL ? qb_pe_program_width(head, got) : 0;
        free(head);
    }
    *result = host;
    return wait_for_window(host, options->window_ms != 0 ? options->window_ms : DEFAULT_WINDOW_MS,
                           error);
}

QbResult qb_host_start_for_plugin(const QbStartOptions* options, const wchar_t* folder,
                                  const wchar_t* plugin_path, QbHost** host, QbError* error) {
    int width = 0;
    wchar_t path[MAX_PATH * 4] = {0};
    QbStartOptions chosen;
    QbResult result;
    *host = NULL;
    if (options == NULL) {
        return fail(error, QB_ERROR_ARGUMENT, L"no start options given");
    }
    result = qb_plugin_width(plugin_path, &width, error);
    if (result != QB_OK) {
        return result;
    }
    result = qb_host_path(folder, width, path, MAX_PATH * 4, error);
    if (result != QB_OK) {
        return result;
    }
    chosen = *options;
    chosen.host_path = path;
    return qb_host_start(&chosen, host, error);
}

/* ---- commands --------------------------------------------------------------------- */

QbResult qb_send(QbHost* host, ULONG_PTR code, const void* data, unsigned long bytes,
                 LRESULT* answer, QbError* error) {
    COPYDATASTRUCT record;
    DWORD_PTR reply = 0;
    DWORD start;
    if (host == NULL || host->window == NULL) {
        return fail(error, QB_ERROR_ARGUMENT, L"no host to send to");
    }
    if (!on_own_thread(host)) {
        return wrong_thread(error);
    }
    if (!qb_host_running(host)) {
        ended_message(host, error, L"before the command was sent");
        return QB_ERROR_HOST_ENDED;
    }
    record.dwData = code;
    record.cbData = bytes;
    record.lpData = (void*)data;
    /* Reports the host sends back meanwhile are handled while this waits. A send that
       fails before its time is up found the window gone: the host is ending. */
    start = GetTickCount();
    if (SendMessageTimeoutW(host->window, WM_COPYDATA, (WPARAM)host->song_window, (LPARAM)&record,
                            SMTO_NORMAL, host->command_ms, &reply) == 0) {
        const DWORD waited = GetTickCount() - start;
        if (wait_process_or_message(host, waited < host->command_ms ? ENDING_MS : 0)) {
            ended_message(host, error, L"while it handled the command");
            return QB_ERROR_HOST_ENDED;
        }
        return fail(error, QB_ERROR_TIMEOUT,
                    L"the host did not answer command %lu within %lu ms: it is not responding, "
                    L"perhaps hung by its plug-in",
                    (unsigned long)code, host->command_ms);
    }
    if (answer != NULL) {
        *answer = (LRESULT)reply;
    }
    return succeed(error);
}

QbResult qb_send_for_text_(QbHost* host, ULONG_PTR code, const wchar_t* text, LRESULT* answer,
                           wchar_t* reply, size_t reply_chars, QbError* error) {
    QbResult result;
    const unsigned long bytes = (unsigned long)((wcslen(text) + 1) * sizeof(wchar_t));
    if (reply == NULL || reply_chars == 0 || host == NULL) {
        return qb_send(host, code, text, bytes, answer, error);
    }
    host->text[0] = L'\0';
    host->text_code = code;
    result = qb_send(host, code, text, bytes, answer, error);
    host->text_code = 0;
    wcsncpy(reply, host->text, reply_chars - 1);
    reply[reply_chars - 1] = L'\0';
    return result;
}

static QbResult send_text(QbHost* host, ULONG_PTR code, const wchar_t* text, QbError* error) {
    if (text == NULL) {
        text = L"";
    }
    return qb_send(host, code, text, (unsigned long)((wcslen(text) + 1) * sizeof(wchar_t)), NULL,
                   error);
}

/* What the host's reports cannot tell: that a song file will not load. */
static QbResult check_song_file(const wchar_t* path, QbError* error) {
    char head[4] = {0};
    DWORD got = 0;
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return fail(error, QB_ERROR_FILE,
                    L"the song %ls cannot be opened (Windows error %lu): check the path; the "
                    L"host did not load it",
                    path, GetLastError());
    }
    if (!ReadFile(file, head, sizeof(head), &got, NULL)) {
        got = 0;
    }
    CloseHandle(file);
    if (got < 4 || memcmp(head, "MThd", 4) != 0) {
        return fail(error, QB_ERROR_FILE,
                    L"the song %ls does not start like a Standard MIDI File (MThd): the host "
                    L"did not load it",
                    path);
    }
    return succeed(error);
}

/* What the editor report cannot tell: that a plug-in will not load in this host. */
static QbResult check_plugin_file(const QbHost* host, const wchar_t* path, QbError* error) {
    int width = 0;
    const QbResult result = qb_plugin_width(path, &width, error);
    if (result != QB_OK) {
        return result;
    }
    if (host->width != 0 && width != host->width) {
        return fail(error, QB_ERROR_WRONG_WIDTH,
                    L"the plug-in %ls is %d-bit, the host %d-bit: use Quillbrook%d.exe (or "
                    L"start the host by the plug-in's width); this host did not load it",
                    path, width, host->width, width);
    }
    return succeed(error);
}

/* The outcome of a load whose file was checked first: the send's own failure, else the
   check's. */
static QbResult load_outcome(QbResult sent, QbResult checked, const QbError* check,
                             QbError* error) {
    if (sent != QB_OK || checked == QB_OK) {
        return sent;
    }
    if (error != NULL) {
        *error = *check;
    }
    return checked;
}

/* After a load the host says which song it has: a file it could not read leaves the
   one before, or none. A host that cannot say (an older one, or one busy with another
   command, which runs the load later) is taken at its word. */
static QbResult check_song_loaded(QbHost* host, const wchar_t* path, QbError* error) {
    wchar_t loaded[QB_PAYLOAD_CHARS];
    const wchar_t* tab;
    QbError asked;
    const QbResult result = qb_song(host, NULL, loaded, QB_PAYLOAD_CHARS, &asked);
    if (result == QB_ERROR_REFUSED && asked.host_answer == QB_FAIL_NO_SONG) {
        return fail(error, QB_ERROR_FILE,
                    L"the host could not read the song %ls (damaged, cut short or not a "
                    L"Standard MIDI File): no song is loaded",
                    path);
    }
    tab = wcschr(loaded, L'\t');
    if (result != QB_OK || tab == NULL ||
        ((size_t)(tab - loaded) == wcslen(path) && wcsncmp(loaded, path, wcslen(path)) == 0)) {
        return succeed(error);
    }
    return fail(error, QB_ERROR_FILE,
                L"the host could not read the song %ls (damaged, cut short or not a Standard "
                L"MIDI File): the song before, %.*ls, stays loaded",
                path, (int)(tab - loaded), loaded);
}

QbResult qb_load_song(QbHost* host, const wchar_t* path, wchar_t* report, size_t report_chars,
                      QbError* error) {
    unsigned long before;
    QbResult result;
    QbError check;
    QbResult checked;
    if (report != NULL && report_chars > 0) {
        report[0] = L'\0';
    }
    if (host == NULL || path == NULL) {
        return fail(error, QB_ERROR_ARGUMENT, L"load song wants a host and a path");
    }
    checked = check_song_file(path, &check);
    before = host->song_reports;
    result = send_text(host, QB_CODE_LOAD_SONG, path, error);
    if (result == QB_OK && host->song_reports != before && report != NULL && report_chars > 0) {
        GetWindowTextW(host->song_window, report, (int)report_chars);
    }
    if (result == QB_OK && checked == QB_OK) {
        checked = check_song_loaded(host, path, &check);
    }
    return load_outcome(result, checked, &check, error);
}

QbResult qb_load_plugin(QbHost* host, const wchar_t* path, int* has_editor, QbError* error) {
    unsigned long before;
    QbResult result;
    QbError check;
    QbResult checked;
    wchar_t report[8];
    if (has_editor != NULL) {
        *has_editor = 0;
    }
    if (host == NULL || path == NULL) {
        return fail(error, QB_ERROR_ARGUMENT, L"load plug-in wants a host and a path");
    }
    checked = check_plugin_file(host, path, &check);
    before = host->editor_reports;
    result = send_text(host, QB_CODE_LOAD_PLUGIN, path, error);
    if (result == QB_OK && host->editor_reports != before && has_editor != NULL) {
        GetWindowTextW(host->editor_window, report, 8);
        *has_editor = wcscmp(report, QB_REPORT_HAS_EDITOR) == 0;
    }
    return load_outcome(result, checked, &check, error);
}

QbResult qb_play(QbHost* host, QbError* error) {
    return send_text(host, QB_CODE_PLAY, NULL, error);
}

QbResult qb_stop(QbHost* host, QbError* error) {
    return send_text(host, QB_CODE_STOP, NULL, error);
}

QbResult qb_free_stream(QbHost* host, QbError* error) {
    return send_text(host, QB_CODE_FREE_STREAM, NULL, error);
}

QbResult qb_show_editor(QbHost* host, QbError* error) {
    return send_text(host, QB_CODE_SHOW_EDITOR, NULL, error);
}

QbResult qb_quit(QbHost* host, QbError* error) {
    QbResult result;
    if (host == NULL) {
        return fail(error, QB_ERROR_ARGUMENT, L"no host to send to");
    }
    if (host->process.hProcess != NULL && !qb_host_running(host)) {
        ended_message(host, error, L"before the quit was sent");
        return QB_ERROR_HOST_ENDED;
    }
    result = send_text(host, QB_CODE_QUIT, NULL, error);
    if (result != QB_OK && result != QB_ERROR_HOST_ENDED) {
        return result;
    }
    /* The host ends before it can answer; wait for that. */
    return qb_host_wait_end(host, host->command_ms, NULL, error);
}

/* ---- the host's end ---------------------------------------------------------------- */

void qb_wait(QbHost* host, unsigned long ms) {
    const DWORD start = GetTickCount();
    if (host == NULL || !on_own_thread(host)) {
        return;
    }
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= ms || wait_process_or_message(host, ms - waited)) {
            return;
        }
    }
}

int qb_host_running(const QbHost* host) {
    return host != NULL && host->process.hProcess != NULL &&
           WaitForSingleObject(host->process.hProcess, 0) == WAIT_TIMEOUT;
}

QbResult qb_host_wait_end(QbHost* host, unsigned long ms, unsigned long* status, QbError* error) {
    const DWORD start = GetTickCount();
    if (host == NULL || host->process.hProcess == NULL) {
        return fail(error, QB_ERROR_ARGUMENT, L"no host to wait for");
    }
    if (!on_own_thread(host)) {
        return wrong_thread(error);
    }
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        DWORD slice = 100;
        if (ms != INFINITE) {
            slice = waited >= ms ? 0 : ms - waited;
            slice = slice < 100 ? slice : 100;
        }
        if (wait_process_or_message(host, slice)) {
            if (status != NULL) {
                GetExitCodeProcess(host->process.hProcess, status);
            }
            return succeed(error);
        }
        if (ms != INFINITE && waited >= ms) {
            return fail(error, QB_ERROR_TIMEOUT, L"the host was still running after %lu ms", ms);
        }
    }
}

void qb_describe_exit(unsigned long status, int width, wchar_t* text, size_t text_chars) {
    const wchar_t* bits = width == 32 ? L"32-bit " : width == 64 ? L"64-bit " : L"";
    if (text == NULL || text_chars == 0) {
        return;
    }
    switch (status) {
    case 0:
        _snwprintf(text, text_chars, L"ended normally");
        break;
    case 1:
        _snwprintf(text, text_chars,
                   L"refused its command line: it needs v= with a version of at most 3 "
                   L"and pid= with a process id other than -1");
        break;
    case STILL_ACTIVE:
        _snwprintf(text, text_chars, L"is still running");
        break;
    case 0xC0000135UL:
        _snwprintf(text, text_chars,
                   L"could not start because a library it needs was not found: the %lsbuilds "
                   L"of bass.dll, bassmidi.dll and bass_vst.dll belong beside the host program",
                   bits);
        break;
    case 0xC000007BUL:
        _snwprintf(text, text_chars,
                   L"could not start because a library has the wrong width: it needs the "
                   L"%lsbuilds of bass.dll, bassmidi.dll and bass_vst.dll",
                   bits);
        break;
    case 0xC0000005UL:
        _snwprintf(text, text_chars,
                   L"crashed with an access violation, most likely in the plug-in");
        break;
    case 0xC00000FDUL:
        _snwprintf(text, text_chars, L"crashed with a stack overflow");
        break;
    default:
        _snwprintf(text, text_chars,
                   (status & 0xC0000000UL) == 0xC0000000UL ? L"crashed"
                                                           : L"ended with an "
                                                             L"unusual status");
        break;
    }
    text[text_chars - 1] = L'\0';
}

/* ---- access ------------------------------------------------------------------------ */

HANDLE qb_host_process(const QbHost* host) {
    return host->process.hProcess;
}

unsigned long qb_host_process_id(const QbHost* host) {
    return host->process.dwProcessId;
}

HWND qb_host_window(const QbHost* host) {
    return host->window;
}

int qb_host_width(const QbHost* host) {
    return host->width;
}

void qb_host_terminate(QbHost* host, unsigned long status) {
    if (qb_host_running(host)) {
        TerminateProcess(host->process.hProcess, status);
        WaitForSingleObject(host->process.hProcess, TERMINATE_MS);
    }
}

static void stop_watching(QbHost* host) {
    if (host->watch_window != NULL) {
        DestroyWindow(host->watch_window);
        host->watch_window = NULL;
    }
    if (host->watch_ring != NULL) {
        UnmapViewOfFile(host->watch_ring);
        host->watch_ring = NULL;
    }
    if (host->watch_mapping != NULL) {
        CloseHandle(host->watch_mapping);
        host->watch_mapping = NULL;
    }
}

QbResult qb_watch(QbHost* host, unsigned kinds, int offset_ms, QbNotifyCallback callback,
                  void* user, QbError* error) {
    wchar_t text[64];
    wchar_t name[64];
    QbResult result = QB_OK;
    if (host == NULL || (kinds != 0 && callback == NULL)) {
        return fail(error, QB_ERROR_ARGUMENT, L"a watch needs a host and a callback");
    }
    if (!on_own_thread(host)) {
        return wrong_thread(error);
    }
    if (kinds != 0 && host->watch_window == NULL) {
        host->watch_window =
            CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        if (host->watch_window == NULL) {
            return fail(error, QB_ERROR_SYSTEM, L"no window for the notifications");
        }
    }
    _snwprintf(text, 63, L"%llu %u %d",
               (unsigned long long)(ULONG_PTR)(kinds != 0 ? host->watch_window : NULL), kinds,
               offset_ms);
    text[63] = L'\0';
    result = qb_ask_(host, QB_CODE_WATCH, text, NULL, L"watch", NULL, 0, error);
    if (result != QB_OK || kinds == 0) {
        stop_watching(host);
        return result;
    }
    if (host->watch_ring == NULL) {
        _snwprintf(name, 63, QB_NOTIFY_MAPPING, (unsigned long)host->process.dwProcessId);
        name[63] = L'\0';
        host->watch_mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, name);
        host->watch_ring = host->watch_mapping != NULL
                               ? (const QbNotifyRing*)MapViewOfFile(
                                     host->watch_mapping, FILE_MAP_READ, 0, 0, sizeof(QbNotifyRing))
                               : NULL;
        if (host->watch_ring == NULL) {
            stop_watching(host);
            return fail(error, QB_ERROR_SYSTEM, L"the host's notifications cannot be read");
        }
    }
    host->on_notify = callback;
    host->notify_user = user;
    return QB_OK;
}

unsigned long qb_notifications_lost(const QbHost* host) {
    return host != NULL
               ? host->notify_lost + (host->watch_ring != NULL ? host->watch_ring->lost : 0)
               : 0;
}

static void release_host(QbHost* host) {
    stop_watching(host);
    if (host->song_window != NULL) {
        DestroyWindow(host->song_window);
    }
    if (host->editor_window != NULL) {
        DestroyWindow(host->editor_window);
    }
    if (host->process.hProcess != NULL) {
        CloseHandle(host->process.hProcess);
        CloseHandle(host->process.hThread);
    }
    free(host);
}

void qb_host_close(QbHost* host) {
    if (host == NULL) {
        return;
    }
    if (on_own_thread(host) || host->song_window == NULL) {
        release_host(host);
        return;
    }
    /* From another thread: the report windows stop passing reports on at once, and the
       starting thread, which alone can destroy them, releases everything when it next
       handles its posted messages, never inside a call of this library. */
    SetWindowLongPtrW(host->song_window, GWLP_USERDATA, 0);
    SetWindowLongPtrW(host->editor_window, GWLP_USERDATA, 0);
    if (!PostMessageW(host->song_window, WM_RELEASE_HOST, 0, (LPARAM)host)) {
        release_host(host); /* that thread has ended, and its windows with it */
    }
}
