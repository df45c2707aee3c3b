// What every command shares with the driver: the request identifier, the
// writer of the tagged protocol lines, and the module that their checks
// name.  It depends on nothing above the general library, so a command can
// be built and tested without the dispatcher.
#ifndef XHISTORY_HISTORY_GUI_PROTOCOL_H_
#define XHISTORY_HISTORY_GUI_PROTOCOL_H_

#include <stdint.h>

#include "shared/genout.h"

// The module that the driver's checks, and those of the handlers that live
// with it, name in their assertion lines.
#define XHISTORY_FSUTIL_MODULE "history/gui/xhistory_fsutil"

// 0 until --uid sets it; 0 means that lines carry no identifier.
extern uint64_t request_uid;

// Writes "tag [uid ]text\n" to standard output and flushes it.
void emit_line(const char* tag, const char* format, ...) GEN_PRINTF(2, 3);

#endif  // XHISTORY_HISTORY_GUI_PROTOCOL_H_
