// The lines a sort run writes.  They go straight to standard output,
// flushed at once, with the kind's name at their head and no request
// identifier: the viewer reads them as they come.
#ifndef XHISTORY_HISTORY_GUI_EXTSORT_SORT_LINES_H_
#define XHISTORY_HISTORY_GUI_EXTSORT_SORT_LINES_H_

#include <stdarg.h>

// "<name>_sort_error <message>\n".  The messages end in a newline of
// their own, so an empty line follows.  Returns 0, the run's failure.
int sort_error_line(const char* name, const char* format, va_list args);
// "<name>_sort_progress <value>\n", the value at float precision.
void sort_progress_line(const char* name, double value);
// "<name>_sort_done\n".
void sort_done_line(const char* name);

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_SORT_LINES_H_
