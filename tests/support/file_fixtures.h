// Helpers for tests that work on files through FSRef: names, references, and plain file contents.
// All paths are in the test's own bz_test::TempDir.
#pragma once

#include "platform/core/files.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bz_test {

// The name as HFSUniStr255 (the test fails on a name that cannot be converted).
HFSUniStr255 Name(const char *utf8);
std::string Utf8(const HFSUniStr255 &name);
// The reference of an existing path (the test fails when there is none).
FSRef RefFor(const std::string &path);
// The path a reference names, "" when it names nothing.
std::string PathOf(const FSRef &ref);
bool IsZeroRef(const FSRef &ref);

void WriteText(const std::string &path, const std::string &text);
std::string ReadText(const std::string &path);
bool Exists(const std::string &path);

// Sets a file's or folder's modification time to `secondsAgo` seconds before now.
void AgeFile(const std::string &path, int secondsAgo);
double ModificationTime(const std::string &path);

// Runs `check` without the privilege to ignore permissions: directly for an ordinary user; for root in a
// child process that has become the user "nobody" (65534). Returns check's result, or -1 when no such
// child could be made. The child runs nothing but `check` and leaves with _exit.
int RunWithoutPrivilege(int (*check)(const std::string &folder), const std::string &folder);

// Points HOME, the XDG folders and TMPDIR into a folder of the test for its lifetime (HOME/tmp is TMPDIR),
// and restores them afterwards, so that special folders never touch the user's own.
class FakeHome {
 public:
  explicit FakeHome(const std::string &home);
  ~FakeHome();
  FakeHome(const FakeHome &) = delete;
  FakeHome &operator=(const FakeHome &) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace bz_test
