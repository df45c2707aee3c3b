// xhistory_fsutil with the failing file-operation table of fault_ops.h.
#include "history/gui/xhistory_fsutil.h"
#include "tests/fault/fault_ops.h"

int main(int argc, char** argv) {
  fault_ops_install();
  return xhistory_fsutil_main(argc, argv);
}
