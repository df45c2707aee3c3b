#include "history/gui/callbrowser_shared.h"

#include "shared/genout.h"

unsigned char callbrowser_ascending = 0;

int callbrowser_column_ascending(uint32_t column) {
  switch (column) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 1;
    case 3: return 0;
    default:
      ASSERT(0, "0", "history/gui/callbrowser_shared", 49, 0);
      return 0;
  }
}
