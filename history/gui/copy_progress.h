// The arithmetic of the copy's progress lines.
#ifndef XHISTORY_HISTORY_GUI_COPY_PROGRESS_H_
#define XHISTORY_HISTORY_GUI_COPY_PROGRESS_H_

#include <stdint.h>

// The copy's chunk: what a read through the buffer asks for, and the
// unit in which the lines are counted.
enum { kCopyBufferSize = 1048576 };
// The most that one call of the copy asks for, within what a 32-bit size
// holds.
const int64_t kCopyCallLimit = (int64_t)1 << 30;

// Reads between two copy_pct lines for a source of size bytes: every
// read up to 200 full buffers, otherwise about a hundred lines in all.
int64_t copy_report_period(int64_t size);
// position * 100 / size (size > 0), truncated, and at most 100.
int copy_percent(int64_t position, int64_t size);

#endif  // XHISTORY_HISTORY_GUI_COPY_PROGRESS_H_
