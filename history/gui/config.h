// The configuration bridge: configuration file <-> protocol lines.
#ifndef XHISTORY_HISTORY_GUI_CONFIG_H_
#define XHISTORY_HISTORY_GUI_CONFIG_H_

#include <stdio.h>

// Reports the file on stream as cfg_* lines.  0, or -1 for a null stream.
int read_config(FILE* stream);
// Writes a file to stream from the commands on standard input.  0, or -1
// for a null stream.
int write_config(FILE* stream);

#endif  // XHISTORY_HISTORY_GUI_CONFIG_H_
