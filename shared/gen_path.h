// Full form of path arguments.
#ifndef XHISTORY_SHARED_GEN_PATH_H_
#define XHISTORY_SHARED_GEN_PATH_H_

// Size of the working buffer: a full form of 1024 characters or more is
// not used.
enum { GEN_FULLPATH_MAX = 1024 };

// The full form of path as a new string: joined to the current directory,
// "." and ".." resolved, the drive letter upper-cased.  When the full form
// cannot be had or would not fit, a copy of path as given.
char* gen_fullpath(const char* path);

#endif  // XHISTORY_SHARED_GEN_PATH_H_
