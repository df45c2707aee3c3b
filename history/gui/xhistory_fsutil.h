// The command driver: request identifier, dispatch and protocol lines.
#ifndef XHISTORY_HISTORY_GUI_XHISTORY_FSUTIL_H_
#define XHISTORY_HISTORY_GUI_XHISTORY_FSUTIL_H_

#include <stdint.h>

#include "shared/genout.h"

// The module that the driver's checks, and those of the handlers that live
// with it, name in their assertion lines.
#define XHISTORY_FSUTIL_MODULE "history/gui/xhistory_fsutil"

// 0 until --uid sets it; 0 means that lines carry no identifier.
extern uint64_t request_uid;

// Writes "tag [uid ]text\n" to standard output and flushes it.
void emit_line(const char* tag, const char* format, ...) GEN_PRINTF(2, 3);

// The whole run after the runtime start-up: library start-up, --uid scan,
// one dispatch.  Returns the exit status.
int xhistory_fsutil_main(int argc, char** argv);

#endif  // XHISTORY_HISTORY_GUI_XHISTORY_FSUTIL_H_
