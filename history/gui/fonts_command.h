// The fonts command.
#ifndef XHISTORY_HISTORY_GUI_FONTS_COMMAND_H_
#define XHISTORY_HISTORY_GUI_FONTS_COMMAND_H_

struct gfont;

// Appends one blank and the Base64 of font's byte form to *text (null for
// no text yet), replacing *text.
void append_font_text(const gfont* font, char** text);

// Writes the fonts line for the arguments after --fonts.  Returns the exit
// status.
int fonts_command(char** args, int count);

#endif  // XHISTORY_HISTORY_GUI_FONTS_COMMAND_H_
