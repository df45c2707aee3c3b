// A file-operation table that fails chosen calls, for the program with
// faults (fsutil_faults) that the fault-injection suites run on every
// platform.  It wraps the platform's own operations; the environment
// chooses what fails:
//
//   XH_FAULT=OP:N[:E][,OP:N[:E]...]  fail the Nth counted call of OP, once
//   XH_FAULT_ERRNO=E                 errno of a failure without its own E
//                                    (a name such as EIO, or a number;
//                                    EIO by default)
//   XH_FAULT_DIR=DIR                 count only files whose name begins
//                                    with DIR (case and separator kind
//                                    aside), their mappings and views
//   XH_FAULT_LOG=FILE                append "OP N" for every counted call
//
// OP is an entry of plat_file_ops: open, close, lseek, read, write, copy,
// size, pread, pwrite, grow, map, view, unview, flush, unmap.
#ifndef XHISTORY_TESTS_FAULT_FAULT_OPS_H_
#define XHISTORY_TESTS_FAULT_FAULT_OPS_H_

// Reads the environment and installs the failing table over plat_ops.
void fault_ops_install();

#endif  // XHISTORY_TESTS_FAULT_FAULT_OPS_H_
