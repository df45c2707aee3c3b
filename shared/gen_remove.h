// Removal of single files.
#ifndef XHISTORY_SHARED_GEN_REMOVE_H_
#define XHISTORY_SHARED_GEN_REMOVE_H_

#include <stdint.h>

// Deletes one file, lifting its write protection for the attempt and
// putting it back when the attempt still fails.  Never removes a
// directory.  0 when deleted, -1 otherwise.
int gen_remove(const char* path);
int gen_unlink(const char* path);
// The file's mode, or 0 when its status cannot be read.  A mode_out that
// holds 0 receives the mode (0664 when unreadable).
uint32_t gen_file_mode(const char* path, uint32_t* mode_out);
// Adds 0660 to the file's mode (start_mode when given); returns what
// gen_file_mode returned.
uint32_t gen_make_writable(const char* path, uint32_t start_mode);
int gen_chmod(const char* path, uint32_t mode);

#endif  // XHISTORY_SHARED_GEN_REMOVE_H_
