// The fonts command.
#ifndef XHISTORY_HISTORY_GUI_FONTS_COMMAND_H_
#define XHISTORY_HISTORY_GUI_FONTS_COMMAND_H_

// Writes the fonts line for the arguments after --fonts.  Returns the exit
// status.
int fonts_command(char** args, int count);

#endif  // XHISTORY_HISTORY_GUI_FONTS_COMMAND_H_
