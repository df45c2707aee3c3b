#include "shared/gen_file.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/plat.h"
#include "shared/gen_remove.h"
#include "tests/harness.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

TEST(GenIsRoot, DrivesAndShares) {
  auto root = [](const char* p) { return gen_is_root(p, strlen(p)); };
  EXPECT_TRUE(root("C:"));
  EXPECT_TRUE(root("C:\\"));
  EXPECT_TRUE(root("c:/"));
  EXPECT_FALSE(root("C:\\x"));
  EXPECT_TRUE(root("\\\\server\\share"));
  EXPECT_TRUE(root("\\\\server\\share\\"));
  EXPECT_TRUE(root("//server/share/"));
  EXPECT_FALSE(root("\\\\server"));
  EXPECT_FALSE(root("\\\\server\\"));
  EXPECT_FALSE(root("\\\\server\\share\\dir"));
  EXPECT_FALSE(root("/"));
  EXPECT_FALSE(root(""));
}

TEST(GenBasename, LastComponent) {
  EXPECT_EQ(nullptr, gen_basename(nullptr));
  EXPECT_STREQ("x.txt", gen_basename("C:\\a/b\\x.txt"));
  EXPECT_STREQ("x.txt", gen_basename("C:x.txt"));
  EXPECT_STREQ("plain", gen_basename("plain"));
  EXPECT_STREQ("", gen_basename("dir/"));
}

TEST(GenSameFile, NamesNotIdentities) {
  EXPECT_FALSE(gen_same_file("C:\\a\\x.txt", "C:\\a\\y.txt"));
  EXPECT_TRUE(gen_same_file("a/./b/f.txt", "a/b/./f.txt"));
  EXPECT_TRUE(gen_same_file("dir/f", "dir/sub/../f"));
  EXPECT_TRUE(gen_same_fullpath(nullptr, nullptr));
  EXPECT_FALSE(gen_same_fullpath("a", nullptr));
#ifdef _WIN32
  EXPECT_TRUE(gen_same_file("C:\\a\\x.txt", "c:/A/X.TXT"));
#else
  // POSIX names are case-sensitive.
  EXPECT_FALSE(gen_same_file("/a/x.txt", "/A/X.TXT"));
  EXPECT_FALSE(gen_same_file("/a/x.txt", "/a/X.txt"));
#endif
}

TEST(GenFiles, OpenNullsAndSizes) {
  temp_dir dir;
  std::string f = dir.file("f.bin");
  EXPECT_EQ(nullptr, gen_fopen(f.c_str(), nullptr));
  EXPECT_EQ(nullptr, gen_fopen(nullptr, "rb"));
  EXPECT_FALSE(file_exists(f));
  EXPECT_EQ(-1, gen_open(nullptr, GEN_O_RDONLY, 0));
  EXPECT_EQ(-1, gen_creat(nullptr, 0666));
  EXPECT_EQ(0, gen_fclose(nullptr));

  EXPECT_EQ(-1, gen_filesize(f.c_str()));
  EXPECT_EQ(-1, gen_filesize(dir.path.c_str()));
  ASSERT_TRUE(write_file(f, ""));
  EXPECT_EQ(0, gen_filesize(f.c_str()));
  ASSERT_TRUE(write_file(f, std::string(12345, 'q')));
  EXPECT_EQ(12345, gen_filesize(f.c_str()));

  // Binary is the default: no line-end translation on a stream without a
  // mode letter.
  FILE* s = gen_fopen(f.c_str(), "w");
  ASSERT_NE(nullptr, s);
  fputs("a\nb\n", s);
  EXPECT_EQ(0, gen_fclose(s));
}

TEST(GenFiles, StreamsAreNotInherited) {
  temp_dir dir;
  std::string f = dir.file("n.txt");
  FILE* s = gen_fopen(f.c_str(), "wb");
  ASSERT_NE(nullptr, s);
#ifdef _WIN32
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation((HANDLE)_get_osfhandle(_fileno(s)), &flags));
  EXPECT_EQ(0u, flags & HANDLE_FLAG_INHERIT);
#else
  EXPECT_TRUE(fcntl(fileno(s), F_GETFD) & FD_CLOEXEC);
#endif
  gen_fclose(s);
}

TEST(GenFiles, CreatKeepsOnlyOwnerReadWrite) {
  temp_dir dir;
  std::string ro = dir.file("ro"), rw = dir.file("rw");
  int fd = gen_creat(ro.c_str(), 0444);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(3, plat_write(fd, "abc", 3));  // the descriptor itself may write
  gen_close(fd);
  fd = gen_creat(rw.c_str(), 0666);
  ASSERT_GE(fd, 0);
  gen_close(fd);
  gen_statbuf st;
  ASSERT_EQ(0, gen_stat(ro.c_str(), &st));
  EXPECT_EQ(0u, st.mode & 0200);
  EXPECT_EQ(3u, st.size);
  ASSERT_EQ(0, gen_stat(rw.c_str(), &st));
  EXPECT_NE(0u, st.mode & 0200);
  // gen_creat empties an existing file.
  fd = gen_creat(rw.c_str(), 0600);
  ASSERT_GE(fd, 0);
  gen_close(fd);
  EXPECT_EQ(0, gen_filesize(rw.c_str()));
}

// Where files have permission bits, an ordinary file is 0666 and a
// write-protected one 0444, each less the umask, as any program's new file
// is: others can read a copy wherever they could read its source.
TEST(GenFiles, CreatMakesOrdinaryFilesLessTheUmask) {
  if (on_win32()) GTEST_SKIP() << "no permission bits";
#ifndef _WIN32
  temp_dir dir;
  struct umask_case {
    mode_t mask;
    int perm;
    mode_t want;
  } cases[] = {{022, 0666, 0644}, {022, 0600, 0644}, {022, 0200, 0644},
               {022, 0444, 0444}, {022, 0400, 0444}, {027, 0666, 0640},
               {027, 0444, 0440}, {0, 0600, 0666},   {077, 0666, 0600}};
  int i = 0;
  for (const umask_case& c : cases) {
    std::string f = dir.file("f" + std::to_string(i++));
    mode_t saved = umask(c.mask);
    int fd = gen_creat(f.c_str(), c.perm);
    umask(saved);
    ASSERT_GE(fd, 0);
    gen_close(fd);
    struct stat st;
    ASSERT_EQ(0, stat(f.c_str(), &st));
    EXPECT_EQ(c.want, st.st_mode & 0777)
        << std::oct << "umask " << c.mask << " perm " << c.perm;
  }
#endif
}

TEST(GenFiles, AccessTurnsExecuteIntoRead) {
  temp_dir dir;
  std::string f = dir.file("a.txt");
  ASSERT_TRUE(write_file(f, "x"));
  EXPECT_EQ(0, gen_access(f.c_str(), 1));
  EXPECT_EQ(0, gen_access(f.c_str(), 0));
  EXPECT_EQ(0, gen_access(f.c_str(), 6));
  EXPECT_EQ(-1, gen_access(dir.file("none").c_str(), 0));
  EXPECT_EQ(-1, gen_access(nullptr, 0));
}

TEST(GenFiles, StatRefusesFilesOfFourGigabytesOrMore) {
  temp_dir dir;
  std::string f = dir.file("sparse");
  gen_statbuf st;
  EXPECT_EQ(-1, gen_stat(nullptr, &st));
  EXPECT_EQ(-1, gen_stat(f.c_str(), nullptr));
  EXPECT_EQ(-1, gen_stat(f.c_str(), &st));

  auto make_sparse = [&](int64_t size) {
    int fd = gen_creat(f.c_str(), 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(size - 1, gen_lseek64(fd, size - 1, 0));
    ASSERT_EQ(1, plat_write(fd, "z", 1));
    gen_close(fd);
  };
  make_sparse(4294967295LL);
  ASSERT_EQ(0, gen_stat(f.c_str(), &st));
  EXPECT_EQ(4294967295u, st.size);
  EXPECT_EQ(4294967295LL, st.size64);
  EXPECT_EQ((uint32_t)GEN_S_IFREG, st.mode & GEN_S_IFMT);

  make_sparse(5LL << 30);
  errno = 0;
  EXPECT_EQ(-1, gen_stat(f.c_str(), &st));
  EXPECT_EQ(ERANGE, errno);
  EXPECT_EQ(5LL << 30, gen_filesize(f.c_str()));
  // A file that cannot be queried can still be removed.
  EXPECT_EQ(0, gen_remove(f.c_str()));
  EXPECT_FALSE(file_exists(f));
}

TEST(GenIsDirectory, TrailingSeparatorsAndRoots) {
  temp_dir dir;
  std::string sep(1, native_separator());
  EXPECT_EQ(-1, gen_is_directory(nullptr));
  EXPECT_EQ(-1, gen_is_directory(""));
  EXPECT_EQ(1, gen_is_directory(dir.path.c_str()));
  EXPECT_EQ(1, gen_is_directory((dir.path + sep).c_str()));
  EXPECT_EQ(0, gen_is_directory(dir.file("missing").c_str()));
  ASSERT_TRUE(write_file(dir.file("f"), "x"));
  EXPECT_EQ(0, gen_is_directory(dir.file("f").c_str()));
#ifdef _WIN32
  EXPECT_EQ(1, gen_is_directory("C:"));
  EXPECT_EQ(1, gen_is_directory("C:\\"));
  EXPECT_EQ(gen_is_directory("C:\\windows"), gen_is_directory("C:\\windows\\"));
#else
  EXPECT_EQ(1, gen_is_directory("/"));
#endif
}

TEST(GenRemove, FilesOnly) {
  temp_dir dir;
  std::string f = dir.file("f");
  ASSERT_TRUE(write_file(f, "x"));
  ASSERT_TRUE(set_read_only(f, true));
  EXPECT_EQ(0, gen_remove(f.c_str()));
  EXPECT_FALSE(file_exists(f));
  EXPECT_EQ(-1, gen_remove(f.c_str()));
  EXPECT_EQ(-1, gen_remove(dir.path.c_str()));
  EXPECT_EQ(-1, gen_remove(""));
  EXPECT_EQ(-1, gen_remove(nullptr));
  EXPECT_TRUE(is_dir(dir.path));
}

TEST(GenFileMode, FallbackForUnreadableStatus) {
  temp_dir dir;
  uint32_t out = 0;
  EXPECT_EQ(0u, gen_file_mode(dir.file("none").c_str(), &out));
  EXPECT_EQ(0664u, out);
  std::string f = dir.file("m");
  ASSERT_TRUE(write_file(f, "x"));
  out = 0;
  uint32_t mode = gen_file_mode(f.c_str(), &out);
  EXPECT_EQ(mode, out);
  EXPECT_EQ((uint32_t)GEN_S_IFREG, mode & GEN_S_IFMT);
  out = 0123;  // a value already there is kept
  gen_file_mode(f.c_str(), &out);
  EXPECT_EQ(0123u, out);
}

#ifdef _WIN32
TEST(GenRemove, RestoresWriteProtectionWhenDeletionFails) {
  // A file held open without delete sharing cannot be deleted.
  temp_dir dir;
  std::string f = dir.file("held");
  ASSERT_TRUE(write_file(f, "x"));
  ASSERT_TRUE(set_read_only(f, true));
  HANDLE h = CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(-1, gen_remove(f.c_str()));
  CloseHandle(h);
  DWORD a = GetFileAttributesA(f.c_str());
  EXPECT_TRUE(a & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(file_exists(f));
}
#else
// Root deletes from read-only directories; run as root, the case hands its
// files to an unprivileged user and removes as that user in a child.
TEST(GenRemove, RestoresWriteProtectionWhenDeletionFails) {
  uint32_t uid = 0, gid = 0;
  bool as_user = geteuid() == 0 && unprivileged_user(&uid, &gid);
  if (geteuid() == 0 && !as_user)
    GTEST_SKIP() << "root deletes from read-only directories";
  temp_dir dir;
  std::string sub = dir.file("sub"), f = sub + "/f";
  ASSERT_TRUE(make_dir(sub));
  ASSERT_TRUE(write_file(f, "x"));
  ASSERT_EQ(0, chmod(f.c_str(), 0444));
  ASSERT_EQ(0, chmod(sub.c_str(), 0555));
  if (as_user) {
    ASSERT_TRUE(give_to_user(dir.path, uid, gid));
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_NE(-1, pid);
    if (pid == 0) {
      bool ok = setgid(gid) == 0 && setuid(uid) == 0 && gen_remove(f.c_str()) == -1;
      _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  } else {
    EXPECT_EQ(-1, gen_remove(f.c_str()));
  }
  struct stat s;
  ASSERT_EQ(0, stat(f.c_str(), &s));
  EXPECT_EQ(0444u, s.st_mode & 0777);
}
#endif

}  // namespace
