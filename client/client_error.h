/* Filling a QbError, shared by the client library's files; not for controllers. */
#ifndef QB_CLIENT_ERROR_H
#define QB_CLIENT_ERROR_H

#include <stdarg.h>

#include "quillbrook_client.h"

/* Fills `error` (when not null) with `result`, the host's `answer` and the message. */
void qb_write_error_(QbError* error, QbResult result, long answer, const wchar_t* format,
                     va_list args);

#endif
