#include "support/file_fixtures.h"

#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <fcntl.h>
#include <time.h>

namespace bz_test {

HFSUniStr255 Name(const char *utf8) {
  HFSUniStr255 name{};
  EXPECT_EQ(PL_HFSUniStr255FromUTF8(utf8, &name), noErr) << utf8;
  return name;
}

std::string Utf8(const HFSUniStr255 &name) {
  std::string out;
  EXPECT_EQ(PL_UTF8FromUniChars(name.unicode, name.length, &out), noErr);
  return out;
}

FSRef RefFor(const std::string &path) {
  FSRef ref{};
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr), noErr) << path;
  return ref;
}

std::string PathOf(const FSRef &ref) {
  std::string path;
  if (PL_FSRefMakePathString(&ref, &path) != noErr) return std::string();
  return path;
}

bool IsZeroRef(const FSRef &ref) {
  static const FSRef zero{};
  return std::memcmp(&ref, &zero, sizeof ref) == 0;
}

void WriteText(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

void AgeFile(const std::string &path, int secondsAgo) {
  timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= secondsAgo;
  times[1] = times[0];
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

double ModificationTime(const std::string &path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return double(st.st_mtim.tv_sec) + double(st.st_mtim.tv_nsec) * 1e-9;
}

int RunWithoutPrivilege(int (*check)(const std::string &folder), const std::string &folder) {
  if (geteuid() != 0) return check(folder);
  std::fflush(nullptr);
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(255);
    int result = check(folder) & 0xFF;
#if defined(__SANITIZE_THREAD__)
    // The thread sanitizer's _exit reports the parent's tasks, copied into this child but never joined
    // here, and replaces the status; the child ends without it.
    syscall(SYS_exit_group, result);
#endif
    _exit(result);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

FakeHome::FakeHome(const std::string &home) {
  for (const char *v : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "TMPDIR"}) {
    const char *old = std::getenv(v);
    saved_.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
  }
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_STATE_HOME");
  unsetenv("XDG_DATA_HOME");
  const std::string tmp = home + "/tmp";
  mkdir(tmp.c_str(), 0700);
  setenv("TMPDIR", tmp.c_str(), 1);
}

FakeHome::~FakeHome() {
  for (auto &[name, value] : saved_) {
    if (value) setenv(name.c_str(), value->c_str(), 1);
    else unsetenv(name.c_str());
  }
}

}  // namespace bz_test
