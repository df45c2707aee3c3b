// The command driver: library start-up, the --uid scan and the dispatch to
// one command.
#ifndef XHISTORY_HISTORY_GUI_XHISTORY_FSUTIL_H_
#define XHISTORY_HISTORY_GUI_XHISTORY_FSUTIL_H_

// The whole run after the runtime start-up: library start-up, --uid scan,
// one dispatch.  Returns the exit status.
int xhistory_fsutil_main(int argc, char** argv);

#endif  // XHISTORY_HISTORY_GUI_XHISTORY_FSUTIL_H_
