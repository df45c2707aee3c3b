// File copy with progress lines.
#ifndef XHISTORY_HISTORY_GUI_COPY_H_
#define XHISTORY_HISTORY_GUI_COPY_H_

// Copies source to destination (both full paths) with copy_pct lines, and
// ends with copy_done (0) or copy_err (-1).
int copy_file(const char* source, const char* destination);

#endif  // XHISTORY_HISTORY_GUI_COPY_H_
