// The program's name and path: what every diagnostic and the crash report
// call the program.  A leaf of the library: it holds two pointers and uses
// nothing else, so the messages, the allocator and the start-up can all
// read it without reaching back into one another.
#ifndef XHISTORY_SHARED_GEN_PROGNAME_H_
#define XHISTORY_SHARED_GEN_PROGNAME_H_

// The program name (last component of the program path, cut at its last
// "."), or null before start-up.
const char* gen_progname();
// The program path, or null before start-up.
const char* gen_progpath();

// Records both strings, which the caller (the start-up) owns and keeps
// alive; returns nothing and releases nothing.
void gen_set_program_names(const char* name, const char* path);

#endif  // XHISTORY_SHARED_GEN_PROGNAME_H_
