// Column directions of the call-browser list, shared with the viewer.
#ifndef XHISTORY_HISTORY_GUI_CALLBROWSER_SHARED_H_
#define XHISTORY_HISTORY_GUI_CALLBROWSER_SHARED_H_

#include <stdint.h>

// 1 while --sort orders ascending, 0 descending.
extern unsigned char callbrowser_ascending;

// 1 for an ascending column (1, 2), 0 for a descending one (0, 3); any
// other column fails an assertion.
int callbrowser_column_ascending(uint32_t column);

#endif  // XHISTORY_HISTORY_GUI_CALLBROWSER_SHARED_H_
