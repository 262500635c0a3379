/* What the client library's files share: filling a QbError, asking the host an
   extension command. Not for controllers. */
#ifndef QB_CLIENT_ERROR_H
#define QB_CLIENT_ERROR_H

#include <stdarg.h>

#include "quillbrook_client.h"

/* Fills `error` (when not null) with `result`, the host's `answer` and the message. */
void qb_write_error_(QbError* error, QbResult result, long answer, const wchar_t* format,
                     va_list args);

/* Fills `error` (when not null) with `result` and the message; gives `result`. */
QbResult qb_refuse_(QbError* error, QbResult result, long answer, const wchar_t* format, ...);

/* Sends an extension command with its payload text; a failure answer becomes
   QB_ERROR_REFUSED with `what` in the message. `answer` (may be null) receives the
   answer, `reply` (may be null, room for `reply_chars`) the text answer, "" if none. */
QbResult qb_ask_(QbHost* host, ULONG_PTR code, const wchar_t* text, long* answer,
                 const wchar_t* what, wchar_t* reply, size_t reply_chars, QbError* error);

/* qb_send, keeping the text answer the host sends back meanwhile in `reply`. */
QbResult qb_send_for_text_(QbHost* host, ULONG_PTR code, const wchar_t* text, LRESULT* answer,
                           wchar_t* reply, size_t reply_chars, QbError* error);

#endif
