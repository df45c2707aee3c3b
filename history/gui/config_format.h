// What the configuration reader and writer agree on about the text.
#ifndef XHISTORY_HISTORY_GUI_CONFIG_FORMAT_H_
#define XHISTORY_HISTORY_GUI_CONFIG_FORMAT_H_

// The characters that end a bare token.
extern const char kConfigDelimiters[];

// True when text must be written in its quoted form to read back as it
// is: empty, a blank at either end, a double quote at the start, or a
// delimiter inside.
bool config_needs_quotes(const char* text);

#endif  // XHISTORY_HISTORY_GUI_CONFIG_FORMAT_H_
