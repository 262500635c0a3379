/* What the client library's files share and controllers do not see. */
#ifndef QB_CLIENT_INTERNAL_H
#define QB_CLIENT_INTERNAL_H

#include "quillbrook_client.h"

/* Fills `error` (when not null) with `result` and the formatted message; gives
   `result`. */
QbResult qb_fail_(QbError* error, QbResult result, const wchar_t* format, ...);
/* Clears `error` (when not null); gives QB_OK. */
QbResult qb_succeed_(QbError* error);

#endif
