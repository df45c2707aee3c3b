#include "history/gui/xhistory_fsutil.h"

int main(int argc, char** argv) { return xhistory_fsutil_main(argc, argv); }
