#include "general/file_layer.h"

#include "general/error_keys.h"
#include "general/file_system_helpers.h"
#include "general/processor_info.h"
#include "platform/core/memory.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include "support/cf_check.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const OSType kUnknownType = PL_FourCC("????");

using bz_test::Exists;
using bz_test::Name;
using bz_test::PathOf;
using bz_test::ReadText;
using bz_test::RefFor;
using bz_test::Utf8;
using bz_test::WriteText;

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 31 + i / 251) & 0xFF);
  return s;
}

bool IsOpen(const FSRef &file) {
  Boolean open = 2;
  EXPECT_EQ(GL_IsFileOpen(&file, &open), noErr);
  return open;
}

std::vector<std::string> FolderNames(const std::string &path) {
  FSRef folder = RefFor(path), **items = nullptr;
  ItemCount count = 0;
  EXPECT_EQ(MF_FSGetDirectoryItems(&folder, &items, &count, nullptr), noErr);
  std::vector<std::string> names;
  for (ItemCount i = 0; i < count; ++i) {
    HFSUniStr255 n;
    MF_FSGetFileDirName(&(*items)[i], &n);
    names.push_back(Utf8(n));
  }
  DisposeHandle(reinterpret_cast<Handle>(items));
  return names;
}

TEST(GeneralFileLayer, CreateFileNeverReplacesUnlessAsked) {
  bz_test::TempDir dir;
  FSRef folder = RefFor(dir.path());
  HFSUniStr255 name = Name("edits.kbzoel");
  FSRef file{};
  ASSERT_EQ(GL_CreateFile(&folder, &name, 'Orl1', kUnknownType, false, &file), noErr);
  OSType creator = 0, type = 0;
  ASSERT_EQ(GL_GetCreatorAndFileType(&file, &creator, &type), noErr);
  EXPECT_EQ(creator, OSType('Orl1'));
  EXPECT_EQ(type, OSType(kUnknownType));

  WriteText(dir.File("edits.kbzoel"), "precious");
  bz_test::AgeFile(dir.path(), 1000);
  const double aged = bz_test::ModificationTime(dir.path());
  FSRef other{};
  EXPECT_EQ(GL_CreateFile(&folder, &name, 'Orl1', 'AIFF', false, &other), dupFNErr);
  EXPECT_EQ(ReadText(dir.File("edits.kbzoel")), "precious");
  EXPECT_EQ(bz_test::ModificationTime(dir.path()), aged);  // the folder's date untouched

  ASSERT_EQ(GL_CreateFile(&folder, &name, 'Orl1', 'txtn', true, &other), noErr);
  EXPECT_EQ(ReadText(dir.File("edits.kbzoel")), "");
  EXPECT_GT(bz_test::ModificationTime(dir.path()), aged + 500);
  ASSERT_EQ(GL_GetCreatorAndFileType(&other, nullptr, &type), noErr);
  EXPECT_EQ(type, OSType('txtn'));

  // The variant removes through the path, with the same answers.
  WriteText(dir.File("edits.kbzoel"), "again");
  EXPECT_EQ(GL_CreateFileNew(&folder, &name, 0, 0, false, &other), dupFNErr);
  EXPECT_EQ(ReadText(dir.File("edits.kbzoel")), "again");
  ASSERT_EQ(GL_CreateFileNew(&folder, &name, 'Orl1', 'AIFF', true, &other), noErr);
  EXPECT_EQ(ReadText(dir.File("edits.kbzoel")), "");
  HFSUniStr255 fresh = Name("Temp AIFF file");
  ASSERT_EQ(GL_CreateFileNew(&folder, &fresh, 'Orl1', 'AIFF', false, &other), noErr);
  EXPECT_EQ(PathOf(other), dir.File("Temp AIFF file"));

  // Folders: an existing name is returned as it is.
  HFSUniStr255 sub = Name("sub");
  FSRef made{}, again{};
  ASSERT_EQ(GL_CreateFolder(&folder, &sub, &made), noErr);
  ASSERT_EQ(GL_CreateFolder(&folder, &sub, &again), noErr);
  EXPECT_TRUE(GL_EqualFileObjects(&made, &again));
  EXPECT_EQ(GL_CreateFolder(&folder, &name, &again), noErr);  // any kind of object
  EXPECT_EQ(PathOf(again), dir.File("edits.kbzoel"));
}

TEST(GeneralFileLayer, TempFilesRenamesAndResourceForks) {
  bz_test::TempDir dir;
  bz_test::FakeHome home(dir.path());
  FSRef temp{};
  ASSERT_EQ(GL_CreateTempFileRef(&temp), noErr);
  const std::string path = PathOf(temp);
  EXPECT_EQ(path.substr(0, dir.File("tmp/").size()), dir.File("tmp/"));
  EXPECT_EQ(path.size() - dir.File("tmp/").size(), 8u);
  FSRef second{};
  ASSERT_EQ(GL_CreateTempFileRef(&second), noErr);
  EXPECT_FALSE(GL_EqualFileObjects(&temp, &second));

  WriteText(dir.File("tmp/Temp Movie File"), "old");
  HFSUniStr255 name = Name("Temp Movie File");
  ASSERT_EQ(GL_RenameDelete(&temp, &name), noErr);
  EXPECT_EQ(PathOf(temp), dir.File("tmp/Temp Movie File"));
  EXPECT_EQ(ReadText(dir.File("tmp/Temp Movie File")), "");

  EXPECT_EQ(GL_CreateResourceFork(&temp), noErr);
  EXPECT_EQ(GL_DeleteResourceFork(&temp), noErr);
  EXPECT_FALSE(IsOpen(temp));
  FSRef made{}, tmp = RefFor(dir.File("tmp"));
  HFSUniStr255 prefs = Name("Prefs");
  EXPECT_EQ(GL_CreateResFile(&tmp, &prefs, 'Orl1', 'pref', &made), paramErr);  // no map can be written
  EXPECT_FALSE(Exists(dir.File("tmp/Prefs")));
  FSRef invalid{};
  EXPECT_EQ(GL_DeleteEmptyResourceFile(0, &invalid), noErr);
  // A file whose map cannot be opened is never taken for an empty resource file.
  EXPECT_EQ(GL_DeleteEmptyResourceFile(0, &temp), eofErr);
  EXPECT_EQ(GL_DeleteEmptyResourceFile(77, &temp), resFNotFound);
  EXPECT_TRUE(Exists(dir.File("tmp/Temp Movie File")));
  EXPECT_FALSE(bz_test::IsZeroRef(temp));
}

// The text of an owned string, which it releases.
std::string Take(CFStringRef s) {
  std::string out = bz_test::CFText(s);
  if (s != nullptr) CFRelease(s);
  return out;
}

CFStringRef Str(const char *utf8) { return CFStringCreateWithCString(kCFAllocatorDefault, utf8, kCFStringEncodingUTF8); }

TEST(GeneralFileLayer, IndexedNames) {
  bz_test::TempDir dir;
  FSRef folder = RefFor(dir.path());
  CFStringRef clip = Str("Clip"), mov = Str(".mov");
  CFStringRef out = nullptr;
  struct Case {
    std::vector<const char *> present;
    const char *expected, *expectedWithExt;
  } cases[] = {
      {{}, "Clip", "Clip.mov"},
      {{"Clip", "Clip 2"}, "Clip 3", "Clip.mov"},
      {{"Clip 2"}, "Clip", "Clip.mov"},
      {{"Clip.mov", "Clip 2.mov", "clip 3.mov"}, "Clip", "Clip 3.mov"},  // case counts
  };
  for (const Case &c : cases) {
    bz_test::TempDir here;
    FSRef f = RefFor(here.path());
    for (const char *name : c.present) WriteText(here.File(name), "");
    ASSERT_EQ(GL_CreateIndexedNameInFolder(&f, clip, &out), noErr);
    EXPECT_EQ(Take(out), c.expected);
    ASSERT_EQ(GL_CreateIndexedNameWithExtInFolder(&f, clip, mov, &out), noErr);
    EXPECT_EQ(Take(out), c.expectedWithExt);
  }
  // Names the file system cannot hold end the search with an error and no name.
  const std::string tooLong(300, 'x'), tooManyBytes = [] {
    std::string s;
    for (int i = 0; i < 200; ++i) s += "\xc3\xa9";
    return s;
  }();
  for (const std::string &name : {tooLong, tooManyBytes}) {
    CFStringRef n = Str(name.c_str());
    out = CFSTR("untouched");
    EXPECT_EQ(GL_CreateIndexedNameInFolder(&folder, n, &out), errFSNameTooLong);
    EXPECT_EQ(out, nullptr);
    CFRelease(n);
  }
  FSRef file = RefFor(dir.path());
  EXPECT_EQ(GL_CreateIndexedNameInFolder(&file, nullptr, &out), paramErr);

  // Renaming to the first free name, the reference following the file.
  WriteText(dir.File("Temp Movie File"), "other");
  WriteText(dir.File("export"), "mine");
  FSRef exported = RefFor(dir.File("export"));
  CFStringRef temp = Str("Temp Movie File");
  ASSERT_EQ(GL_RenameIndexed(&exported, temp), noErr);
  EXPECT_EQ(PathOf(exported), dir.File("Temp Movie File 2"));
  EXPECT_EQ(ReadText(dir.File("Temp Movie File")), "other");
  EXPECT_EQ(ReadText(dir.File("Temp Movie File 2")), "mine");
  CFRelease(temp);
  CFRelease(clip);
  CFRelease(mov);
}

TEST(GeneralFileLayer, NamesAsStringsAndHtml) {
  bz_test::TempDir dir;
  const char *name = "Caf\xc3\xa9 \xe6\x97\xa5.mov";
  WriteText(dir.File(name), "");
  FSRef file = RefFor(dir.File(name));
  CFStringRef plain = nullptr;
  ASSERT_EQ(GL_CopyFileDirNameAsCFString(&file, &plain), noErr);
  EXPECT_EQ(Take(plain), name);
  CFMutableStringRef mut = nullptr;
  ASSERT_EQ(GL_CopyFileDirNameAsCFMutStr(&file, &mut), noErr);
  CFStringAppend(mut, CFSTR("!"));
  EXPECT_EQ(Take(mut), std::string(name) + "!");
  FSRef zero{};
  plain = nullptr;
  EXPECT_EQ(GL_CopyFileDirNameAsCFString(&zero, &plain), errFSBadFSRef);
  EXPECT_EQ(plain, nullptr);

  EXPECT_EQ(Take(GL_FSRefToPosixStr(&file)), dir.File(name));
  EXPECT_EQ(GL_FSRefToPosixStr(&zero), nullptr);

  struct Html {
    const char *name;
    bool html;
  } names[] = {{"General.html", true}, {"Input.htm", true},   {"a.HTML", false}, {"page.shtml", false},
               {"html", false},        {"a.htm.txt", false}, {"notes.txt", false}};
  for (const Html &h : names) {
    CFStringRef n = Str(h.name);
    EXPECT_EQ(bool(GL_IsHTML_File(n)), h.html) << h.name;
    CFRelease(n);
  }
  EXPECT_FALSE(GL_IsHTML_File(nullptr));
}

TEST(GeneralFileLayer, DeletePotentiallyBusyFileObject) {
  bz_test::TempDir dir;
  WriteText(dir.File("target.mov"), "x");
  FSRef file = RefFor(dir.File("target.mov"));
  EXPECT_EQ(GL_DeletePotentiallyBusyFileObject(&file, 0), noErr);  // one try even for 0
  EXPECT_EQ(GL_DeletePotentiallyBusyFileObject(&file, 10), fnfErr);

  WriteText(dir.File("busy.mov"), "x");
  FSRef busy = RefFor(dir.File("busy.mov"));
  FSIORefNum fork = 0;
  ASSERT_EQ(GL_OpenDataFork(&busy, fsRdPerm, &fork), noErr);
  EXPECT_EQ(GL_DeletePotentiallyBusyFileObject(&busy, 2), fBsyErr);
  EXPECT_TRUE(Exists(dir.File("busy.mov")));
  // A reader that lets go while the tries go on.
  std::thread reader([fork] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    FSCloseFork(fork);
  });
  EXPECT_EQ(GL_DeletePotentiallyBusyFileObject(&busy, 100), noErr);
  reader.join();
  EXPECT_FALSE(Exists(dir.File("busy.mov")));
}

TEST(GeneralFileLayer, ReadDataFromForkClipsAndAllocates) {
  bz_test::TempDir dir;
  const std::string content = Pattern(100);
  WriteText(dir.File("f"), content);
  FSRef file = RefFor(dir.File("f"));

  struct Case {
    const char *label;
    UInt16 mode;
    SInt64 offset;
    ByteCount count, expectedCount;
    size_t expectedStart;
  } cases[] = {
      {"count 0 reads to the end", fsFromStart, 40, 0, 60, 40},
      {"a count beyond the end is cut", fsFromStart, 40, 1000, 60, 40},
      {"an exact count", fsFromStart, 40, 10, 10, 40},
      {"from the end", fsFromLEOF, -10, 0, 10, 90},
      {"at the end", fsFromLEOF, 0, 0, 0, 100},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    for (size_t dataOffset : {size_t(0), size_t(16)}) {
      // Allocated by the routine: the block holds dataOffset + count bytes.
      void *buffer = nullptr;
      ByteCount count = c.count;
      ASSERT_EQ(GL_ReadDataFromFork(0, &file, 0, nullptr, &buffer, dataOffset, c.mode, c.offset, &count), noErr);
      ASSERT_NE(buffer, nullptr);
      EXPECT_EQ(count, c.expectedCount);
      EXPECT_GE(malloc_usable_size(buffer), dataOffset + count);
      EXPECT_EQ(std::memcmp(static_cast<char *>(buffer) + dataOffset, content.data() + c.expectedStart, count), 0);
      GL_DisposePtr(&buffer);
      EXPECT_FALSE(IsOpen(file));  // the fork it opened is closed
    }
  }
  // A caller's buffer is written at buffer + dataOffset and nowhere else.
  std::vector<char> mine(40, '#');
  void *buffer = mine.data();
  ByteCount count = 20;
  ASSERT_EQ(GL_ReadDataFromFork(0, &file, 0, nullptr, &buffer, 8, fsFromStart, 5, &count), noErr);
  EXPECT_EQ(buffer, mine.data());
  EXPECT_EQ(std::string(mine.data(), 8), std::string(8, '#'));
  EXPECT_EQ(std::string(mine.data() + 8, 20), content.substr(5, 20));
  EXPECT_EQ(std::string(mine.data() + 28, 12), std::string(12, '#'));

  // Errors: no file, a position beyond the end or before the start; an allocation that fails.
  buffer = nullptr;
  count = 0;
  EXPECT_EQ(GL_ReadDataFromFork(0, nullptr, 0, nullptr, &buffer, 0, fsFromStart, 0, &count), paramErr);
  EXPECT_EQ(GL_ReadDataFromFork(0, &file, 0, nullptr, &buffer, 0, fsFromStart, 101, &count), eofErr);
  EXPECT_EQ(GL_ReadDataFromFork(0, &file, 0, nullptr, &buffer, 0, fsFromStart, -1, &count), posErr);
  PL_FailAllocationAfter(1);
  OSStatus err = GL_ReadDataFromFork(0, &file, 0, nullptr, &buffer, 0, fsFromStart, 0, &count);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(err, memFullErr);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_FALSE(IsOpen(file));

  // The whole data fork, and the mark of a given fork.
  ByteCount size = 0;
  ASSERT_EQ(GL_ReadAllDataFromDataFork(0, &file, &buffer, &size), noErr);
  EXPECT_EQ(std::string(static_cast<char *>(buffer), size), content);
  GL_DisposePtr(&buffer);
  FSIORefNum fork = 0;
  ASSERT_EQ(GL_OpenDataFork(&file, fsRdPerm, &fork), noErr);
  FSSetForkPosition(fork, fsFromStart, 90);
  count = 0;
  ASSERT_EQ(GL_ReadDataFromFork(fork, nullptr, 0, nullptr, &buffer, 0, fsAtMark, 0, &count), noErr);
  EXPECT_EQ(count, 10u);
  GL_DisposePtr(&buffer);
  EXPECT_TRUE(IsOpen(file));  // a caller's fork stays open
  FSCloseFork(fork);
}

TEST(GeneralFileLayer, ConcurrentReadsOfOneFork) {
  bz_test::TempDir dir;
  const size_t kFrame = 8192, kFrames = 48;
  const std::string content = Pattern(kFrame * kFrames);
  WriteText(dir.File("source.mov"), content);
  FSRef file = RefFor(dir.File("source.mov"));
  FSIORefNum fork = 0;
  ASSERT_EQ(GL_OpenDataFork(&file, fsRdPerm, &fork), noErr);
  std::atomic<int> wrong{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 8; ++t) {
    workers.emplace_back([&, t] {
      std::vector<char> frame(kFrame);
      for (int round = 0; round < 150; ++round) {
        const size_t index = size_t(t * 7 + round * 5) % kFrames;
        void *buffer = frame.data();
        ByteCount count = ByteCount(kFrame);
        if (GL_ReadDataFromFork(fork, nullptr, 0, nullptr, &buffer, 0, fsFromStart, SInt64(index * kFrame), &count) !=
                noErr ||
            count != kFrame || std::memcmp(frame.data(), content.data() + index * kFrame, kFrame) != 0)
          ++wrong;
      }
    });
  }
  for (auto &w : workers) w.join();
  EXPECT_EQ(wrong.load(), 0);
  FSCloseFork(fork);
}

TEST(GeneralFileLayer, WriteDataToFork) {
  bz_test::TempDir dir;
  WriteText(dir.File("f"), "0123456789");
  FSRef file = RefFor(dir.File("f"));
  const char data[] = "..abc";
  ByteCount count = 3;
  ASSERT_EQ(GL_WriteDataToFork(0, &file, 0, nullptr, data, 2, fsFromStart, 4, &count), noErr);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(ReadText(dir.File("f")), "0123abc789");
  EXPECT_FALSE(IsOpen(file));
  EXPECT_EQ(GL_WriteDataToFork(0, &file, 0, nullptr, nullptr, 0, fsFromStart, 0, &count), paramErr);
  EXPECT_EQ(GL_WriteDataToFork(0, nullptr, 0, nullptr, data, 0, fsFromStart, 0, &count), paramErr);
}

TEST(GeneralFileLayer, ReplaceDataInFileIsNeverTorn) {
  bz_test::TempDir dir;
  WriteText(dir.File("clip.kbzoel"), "a long old content that must not survive in part");
  chmod(dir.File("clip.kbzoel").c_str(), 0640);
  FSRef file = RefFor(dir.File("clip.kbzoel"));
  ASSERT_EQ(MF_FSChangeCreatorType(&file, 'Orl1', kUnknownType), noErr);
  UTCDateTime created{0, 3400000000u, 0};
  ASSERT_EQ(GL_SetFileObjectTimes(&file, &created, nullptr, nullptr, nullptr, nullptr), noErr);

  const std::string shorter = "short";
  ASSERT_EQ(GL_ReplaceDataInFile(0, &file, SInt64(shorter.size()), shorter.data()), noErr);
  EXPECT_EQ(ReadText(dir.File("clip.kbzoel")), shorter);  // truncated to exactly the new size
  EXPECT_EQ(PathOf(file), dir.File("clip.kbzoel"));        // the caller's reference still works
  OSType creator = 0, type = 0;
  ASSERT_EQ(GL_GetCreatorAndFileType(&file, &creator, &type), noErr);
  EXPECT_EQ(creator, OSType('Orl1'));
  EXPECT_EQ(type, OSType(kUnknownType));
  UTCDateTime createdNow{};
  ASSERT_EQ(GL_GetFileObjectTimes(&file, &createdNow, nullptr, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(createdNow.lowSeconds, created.lowSeconds);
  struct stat st;
  ASSERT_EQ(stat(dir.File("clip.kbzoel").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"clip.kbzoel"});

  // A full disk halfway leaves the old content whole and no temporary file.
  const std::string longer = Pattern(10000);
  PL_FailWritesAfterBytes(4000);
  OSStatus err = GL_ReplaceDataInFile(0, &file, SInt64(longer.size()), longer.data());
  PL_FailWritesAfterBytes(-1);
  EXPECT_EQ(err, dskFulErr);
  EXPECT_EQ(ReadText(dir.File("clip.kbzoel")), shorter);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"clip.kbzoel"});

  ASSERT_EQ(GL_ReplaceDataInFile(0, &file, SInt64(longer.size()), longer.data()), noErr);
  EXPECT_EQ(ReadText(dir.File("clip.kbzoel")), longer);
  ASSERT_EQ(GL_ReplaceDataInFile(-1, &file, 0, nullptr), noErr);
  EXPECT_EQ(ReadText(dir.File("clip.kbzoel")), "");

  // Through an open fork the data is written in place.
  FSIORefNum fork = 0;
  ASSERT_EQ(GL_OpenDataFork(&file, fsRdWrPerm, &fork), noErr);
  ASSERT_EQ(GL_ReplaceDataInFile(fork, &file, SInt64(longer.size()), longer.data()), noErr);
  ASSERT_EQ(GL_ReplaceDataInFile(fork, nullptr, 3, "abc"), noErr);
  FSCloseFork(fork);
  EXPECT_EQ(ReadText(dir.File("clip.kbzoel")), "abc");

  EXPECT_EQ(GL_ReplaceDataInFile(0, nullptr, 3, "abc"), paramErr);
  EXPECT_EQ(GL_ReplaceDataInFile(0, &file, -1, "abc"), paramErr);
  // A file open for writing elsewhere is not replaced under its writer.
  ASSERT_EQ(GL_OpenDataFork(&file, fsRdWrPerm, &fork), noErr);
  EXPECT_EQ(GL_ReplaceDataInFile(0, &file, 3, "xyz"), opWrErr);
  FSCloseFork(fork);
  EXPECT_EQ(ReadText(dir.File("clip.kbzoel")), "abc");
}

// Runs where permissions count; returns the number of failed expectations.
int ReadOnlyChecks(const std::string &folder) {
  int failed = 0;
  FSRef file{};
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>((folder + "/readonly").c_str()), &file, nullptr) != noErr) return 100;
  Boolean writable = 2;
  failed += GL_IsFileWritable(&file, &writable) != noErr;
  failed += writable != false;
  // The folder would allow a rename over the file, but the file itself refuses to be written.
  failed += GL_ReplaceDataInFile(0, &file, 3, "new") != permErr;
  return failed;
}

TEST(GeneralFileLayer, ReadOnlyFilesStayUnwritten) {
  bz_test::TempDir dir;
  chmod(dir.path().c_str(), 0777);
  WriteText(dir.File("readonly"), "old");
  chmod(dir.File("readonly").c_str(), 0444);
  const int failed = bz_test::RunWithoutPrivilege(ReadOnlyChecks, dir.path());
  if (failed < 0) GTEST_SKIP() << "no unprivileged user to run as";
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(ReadText(dir.File("readonly")), "old");
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"readonly"});
}

TEST(GeneralFileLayer, RemoveClearAndSizes) {
  bz_test::TempDir dir;
  WriteText(dir.File("f"), "0123456789");
  FSRef file = RefFor(dir.File("f"));
  ASSERT_EQ(GL_RemoveDataFromFile(&file, fsFromStart, 2, 3), noErr);
  EXPECT_EQ(ReadText(dir.File("f")), "0156789");
  ASSERT_EQ(GL_RemoveDataFromFile(&file, fsFromLEOF, -2, 10), noErr);  // beyond the end: cut there
  EXPECT_EQ(ReadText(dir.File("f")), "01567");
  EXPECT_EQ(GL_RemoveDataFromFile(&file, fsFromStart, 0, -1), paramErr);

  FSIORefNum fork = 0;
  ASSERT_EQ(GL_OpenDataFork(&file, fsRdWrPerm, &fork), noErr);
  ASSERT_EQ(GL_ClearFile(fork, 1, 7, 3), noErr);  // pieces of 3, 3 and 1, past the old end
  EXPECT_EQ(ReadText(dir.File("f")), std::string("0\0\0\0\0\0\0\0", 8));
  EXPECT_EQ(GL_ClearFile(fork, 0, 1, 0), paramErr);
  ASSERT_EQ(GL_SetEOF(fork, nullptr, 3), noErr);
  FSCloseFork(fork);
  SInt64 logical = -1, physical = -1, rsrc = -1, rsrcPhysical = -1, total = -1;
  ASSERT_EQ(GL_GetEOF(&file, &logical, &physical, &rsrc, &rsrcPhysical), noErr);
  EXPECT_EQ(logical, 3);
  EXPECT_EQ(rsrc, 0);
  ASSERT_EQ(GL_GetLargeFileSize(&file, &total), noErr);
  EXPECT_EQ(total, 3);
  EXPECT_EQ(GL_GetLargeFileSize(nullptr, &total), paramErr);
  ASSERT_EQ(GL_RemoveAllDataFromFile(&file), noErr);
  EXPECT_EQ(ReadText(dir.File("f")), "");

  // No-cache transfers are ordinary transfers to the caller.
  ASSERT_EQ(GL_OpenDataFork(&file, fsRdWrPerm, &fork), noErr);
  ASSERT_EQ(GL_WriteFileNoCache(fork, fsFromStart, 0, 4, "wxyz", true), noErr);
  char back[4];
  ASSERT_EQ(GL_ReadFileNoCache(fork, fsFromStart, 1, 3, back), noErr);
  EXPECT_EQ(std::string(back, 3), "xyz");
  EXPECT_EQ(GL_ReadFileNoCache(fork, fsFromStart, 2, 3, back), eofErr);
  FSCloseFork(fork);
}

TEST(GeneralFileLayer, CopySmallFileLeavesNoOldTail) {
  bz_test::TempDir dir;
  WriteText(dir.File("src"), "short");
  WriteText(dir.File("dst"), "a much longer old content");
  chmod(dir.File("src").c_str(), 0600);
  FSRef src = RefFor(dir.File("src")), dst = RefFor(dir.File("dst"));
  ASSERT_EQ(MF_FSChangeCreatorType(&src, 'Orl1', 'TEXT'), noErr);
  ASSERT_EQ(MF_FSChangeFinderFlags(&src, true, kHasBeenInited | kIsStationery), noErr);

  ASSERT_EQ(GL_CopySmallFile(&src, &dst), noErr);
  EXPECT_EQ(ReadText(dir.File("dst")), "short");
  FinderInfo info{};
  ASSERT_EQ(MF_FSGetFinderInfo(&dst, &info, nullptr, nullptr), noErr);
  EXPECT_EQ(info.file.fileType, OSType('TEXT'));
  EXPECT_EQ(info.file.finderFlags, kIsStationery);
  struct stat st;
  ASSERT_EQ(stat(dir.File("dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600);
  EXPECT_FALSE(IsOpen(src));
  EXPECT_FALSE(IsOpen(dst));

  // An empty source empties the target.
  WriteText(dir.File("empty"), "");
  FSRef empty = RefFor(dir.File("empty"));
  ASSERT_EQ(GL_CopySmallFile(&empty, &dst), noErr);
  EXPECT_EQ(ReadText(dir.File("dst")), "");

  // A data fork beyond 4 GB (sparse here) is refused before anything is written.
  const int fd = open(dir.File("huge").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  const bool sparse = ftruncate(fd, (off_t(5) << 30)) == 0;
  close(fd);
  if (sparse) {
    WriteText(dir.File("dst"), "kept");
    FSRef huge = RefFor(dir.File("huge"));
    EXPECT_EQ(GL_CopySmallFile(&huge, &dst), kGL_CopySmallFileErr);
    EXPECT_EQ(ReadText(dir.File("dst")), "kept");
  }
  FSRef zero{};
  EXPECT_EQ(GL_CopySmallFile(&src, &zero), fnfErr);
}

struct ProgressLog {
  std::vector<float> calls;
  int stopAt = -1;
};

OSStatus LogProgress(float fraction, void *refCon) {
  auto *log = static_cast<ProgressLog *>(refCon);
  log->calls.push_back(fraction);
  return int(log->calls.size()) == log->stopAt ? userCanceledErr : OSStatus(noErr);
}

TEST(GeneralFileLayer, BlockMoveMatchesMemmove) {
  bz_test::TempDir dir;
  const std::string original = Pattern(40000);
  struct Case {
    const char *label;
    SInt64 from, to, size, maxBuffer;
  } cases[] = {
      {"nothing moves", 500, 500, 1000, 8192},
      {"small, towards the end", 10, 20, 100, 8192},
      {"small, towards the start", 20, 10, 100, 8192},
      {"overlapping, towards the end, small buffer", 1000, 3001, 15000, 4096},
      {"overlapping, towards the start", 5000, 123, 14000, 5000},
      {"far, towards the end, unaligned", 77, 20001, 19000, 10000},
      {"beyond the end of the fork", 30000, 39000, 9000, 1 << 20},
      {"buffer below the least", 4100, 3, 30000, 100},
      {"aligned units", 4096, 8192, 16384, 8192},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    WriteText(dir.File("f"), original);
    std::string expected = original;
    if (SInt64(expected.size()) < c.to + c.size) expected.resize(size_t(c.to + c.size), '\0');
    std::memmove(&expected[size_t(c.to)], original.data() + c.from, size_t(c.size));
    FSRef file = RefFor(dir.File("f"));
    FSIORefNum fork = 0;
    ASSERT_EQ(GL_OpenDataFork(&file, fsRdWrPerm, &fork), noErr);
    ProgressLog log;
    ASSERT_EQ(GL_BlockMoveDataWithinFile(fork, c.from, c.to, c.size, c.maxBuffer, false, LogProgress, &log), noErr);
    FSCloseFork(fork);
    EXPECT_TRUE(ReadText(dir.File("f")) == expected);
    ASSERT_FALSE(log.calls.empty());
    EXPECT_EQ(log.calls.front(), 0.0f);
    for (size_t i = 1; i < log.calls.size(); ++i) {
      EXPECT_GT(log.calls[i], log.calls[i - 1]);
      EXPECT_LE(log.calls[i], 1.0f);
    }
    if (c.from >= c.to) {
      EXPECT_EQ(log.calls.size(), 1u);  // no further calls towards the start
    }
  }
  // Progress of a long move towards the end, and a stop asked for by it.
  WriteText(dir.File("f"), original);
  FSRef file = RefFor(dir.File("f"));
  FSIORefNum fork = 0;
  ASSERT_EQ(GL_OpenDataFork(&file, fsRdWrPerm, &fork), noErr);
  ProgressLog log;
  ASSERT_EQ(GL_BlockMoveDataWithinFile(fork, 0, 100, 30000, 4096, true, LogProgress, &log), noErr);
  EXPECT_GT(log.calls.size(), 3u);
  ProgressLog stop;
  stop.stopAt = 1;
  WriteText(dir.File("g"), original);
  FSRef g = RefFor(dir.File("g"));
  FSIORefNum gFork = 0;
  ASSERT_EQ(GL_OpenDataFork(&g, fsRdWrPerm, &gFork), noErr);
  EXPECT_EQ(GL_BlockMoveDataWithinFile(gFork, 0, 100, 30000, 4096, false, LogProgress, &stop), userCanceledErr);
  EXPECT_TRUE(ReadText(dir.File("g")) == original);
  EXPECT_EQ(GL_BlockMoveDataWithinFile(gFork, 0, -1, 10, 4096, false, nullptr, nullptr), posErr);
  EXPECT_EQ(GL_BlockMoveDataWithinFile(gFork, 0, 1, -10, 4096, false, nullptr, nullptr), paramErr);
  ProgressLog none;
  EXPECT_EQ(GL_BlockMoveDataWithinFile(gFork, 0, 1, 0, 4096, false, LogProgress, &none), noErr);
  EXPECT_TRUE(none.calls.empty());
  FSCloseFork(gFork);
  FSCloseFork(fork);
}

TEST(GeneralFileLayer, NamesAndClassification) {
  bz_test::TempDir dir;
  mkdir(dir.File("Project").c_str(), 0755);
  WriteText(dir.File("Project/source.mov"), "1234");
  WriteText(dir.File("Project/alias"), "");
  FSRef file = RefFor(dir.File("Project/source.mov")), folder = RefFor(dir.File("Project"));
  FSRef alias = RefFor(dir.File("Project/alias")), root = RefFor("/");
  ASSERT_EQ(MF_FSSetHasCustomIcon(&alias), noErr);
  ASSERT_EQ(MF_FSChangeFinderFlags(&alias, true, kIsAlias), noErr);

  HFSUniStr255 name{};
  ASSERT_EQ(GL_GetParentFolderName(&file, &name), noErr);
  EXPECT_EQ(Utf8(name), "Project");
  FSVolumeRefNum volume = 0;
  FSRef parent{};
  ASSERT_EQ(GL_GetObjectDefaultCatInfo(&file, &name, &volume, &parent), noErr);
  EXPECT_EQ(Utf8(name), "source.mov");
  EXPECT_LE(volume, -100);
  EXPECT_TRUE(GL_EqualFileObjects(&parent, &folder));
  EXPECT_EQ(GL_GetCreatorAndFileType(&folder, nullptr, nullptr), notAFileErr);

  struct Kind {
    const FSRef *ref;
    SInt16 kind;
    bool volume;
  } kinds[] = {{&root, kGL_FileObjectVolume, true},
               {&folder, kGL_FileObjectFolder, false},
               {&file, kGL_FileObjectFile, false},
               {&alias, kGL_FileObjectAlias, false}};
  for (const Kind &k : kinds) {
    SInt16 kind = -1;
    Boolean isVolume = 2;
    ASSERT_EQ(GL_GetFileObjectType(k.ref, &kind), noErr);
    EXPECT_EQ(kind, k.kind);
    ASSERT_EQ(GL_IsVolume(k.ref, &isVolume), noErr);
    EXPECT_EQ(bool(isVolume), k.volume);
  }
  CInfoPBRec pb{};
  pb.ioDirID = 1;
  EXPECT_EQ(GL_GetFileObjectTypeFromPB(&pb), kGL_FileObjectVolume);
  pb.ioDirID = 77;
  pb.ioFlAttrib = 0x10;
  EXPECT_EQ(GL_GetFileObjectTypeFromPB(&pb), kGL_FileObjectFolder);
  pb.ioFlAttrib = 0;
  pb.ioFlFndrInfo.finderFlags = kIsAlias;
  EXPECT_EQ(GL_GetFileObjectTypeFromPB(&pb), kGL_FileObjectAlias);

  UInt32 valence = 0;
  ASSERT_EQ(GL_GetFolderValence(&folder, &valence), noErr);
  EXPECT_EQ(valence, 2u);
  EXPECT_EQ(GL_GetFolderValence(&file, &valence), errFSNotAFolder);

  // Dates: exactly the given ones change.
  UTCDateTime created{0, 3300000000u, 0}, modified{0, 3300000500u, 0x4000}, backup{0, 3300000900u, 0};
  UTCDateTime access{}, attr{}, gotCreate{}, gotMod{}, gotBackup{};
  ASSERT_EQ(GL_GetFileObjectTimes(&file, nullptr, nullptr, nullptr, &access, nullptr), noErr);
  ASSERT_EQ(GL_SetFileObjectTimes(&file, &created, &modified, nullptr, nullptr, &backup), noErr);
  UTCDateTime accessAfter{};
  ASSERT_EQ(GL_GetFileObjectTimes(&file, &gotCreate, &gotMod, &attr, &accessAfter, &gotBackup), noErr);
  EXPECT_TRUE(GL_EqualUTCDateTime(&gotCreate, &created));
  EXPECT_TRUE(GL_EqualUTCDateTime(&gotMod, &modified));
  EXPECT_TRUE(GL_EqualUTCDateTime(&gotBackup, &backup));
  EXPECT_TRUE(GL_EqualUTCDateTime(&accessAfter, &access));

  // Forks and their state.
  Boolean yes = 2, rsrcOpen = 2, dataOpen = 2, writable = 2;
  ItemCount forks = 0;
  ASSERT_EQ(GL_FileHasNamedForks(&file, &yes), noErr);
  EXPECT_FALSE(yes);
  ASSERT_EQ(GL_CountForks(&file, &forks), noErr);
  EXPECT_EQ(forks, 1u);
  FSIORefNum writer = 0;
  ASSERT_EQ(GL_OpenDataFork(&file, fsRdWrPerm, &writer), noErr);
  EXPECT_TRUE(IsOpen(file));
  ASSERT_EQ(GL_IsFileOpenForWriting(&file, &rsrcOpen, &dataOpen), noErr);
  EXPECT_FALSE(rsrcOpen);
  EXPECT_TRUE(dataOpen);
  ASSERT_EQ(GL_IsFileWritable(&file, &writable), noErr);
  EXPECT_TRUE(writable);  // open for writing elsewhere still counts as writable
  FSCloseFork(writer);
  EXPECT_FALSE(IsOpen(file));
  ASSERT_EQ(GL_IsFileOpenForWriting(&file, nullptr, &dataOpen), noErr);
  EXPECT_FALSE(dataOpen);
  EXPECT_FALSE(IsOpen(file));  // the probe was closed again
  FSCatalogInfo lock{};
  lock.nodeFlags = kFSNodeLockedMask;
  if (FSSetCatalogInfo(&file, kFSCatInfoNodeFlags, &lock) == noErr) {
    ASSERT_EQ(GL_IsFileWritable(&file, &writable), noErr);
    EXPECT_FALSE(writable);
    lock.nodeFlags = 0;
    FSSetCatalogInfo(&file, kFSCatInfoNodeFlags, &lock);
  }
  EXPECT_EQ(GL_IsFileWritable(nullptr, &writable), paramErr);

  GL_FSRefLE a{nullptr, file}, b{nullptr, RefFor(dir.File("Project/source.mov"))}, c{nullptr, folder}, zero{};
  EXPECT_TRUE(GL_EqualFileRefLEPtrs(&a, &b));
  EXPECT_FALSE(GL_EqualFileRefLEPtrs(&a, &c));
  EXPECT_FALSE(GL_EqualFileRefLEPtrs(&zero, &zero));
}

TEST(GeneralFileLayer, ExtensionsAndPackages) {
  bz_test::TempDir dir;
  mkdir(dir.File("Movie.app").c_str(), 0755);
  WriteText(dir.File("Movie.app/clip.mov"), "");
  FSRef file = RefFor(dir.File("Movie.app/clip.mov"));
  Boolean hidden = 2;
  ASSERT_EQ(GL_GetExtensionHiddenForRef(&file, &hidden), noErr);
  EXPECT_FALSE(hidden);
  FSRef zero{}, package{};
  EXPECT_NE(GL_GetExtensionHiddenForRef(&zero, &hidden), noErr);
  package.hidden[0] = 1;
  ASSERT_EQ(GL_GetEnvelopingPackage(&file, &package), noErr);
  EXPECT_TRUE(bz_test::IsZeroRef(package));
  package.hidden[0] = 1;
  EXPECT_NE(GL_GetEnvelopingPackage(&zero, &package), noErr);
  EXPECT_TRUE(bz_test::IsZeroRef(package));  // cleared first, and stays cleared
}

TEST(GeneralFileLayer, TrashTests) {
  bz_test::TempDir dir;
  bz_test::FakeHome home(dir.path());
  WriteText(dir.File("outside"), "");
  FSRef outside = RefFor(dir.File("outside"));
  Boolean inTrash = 2;
  ASSERT_EQ(GL_FileInTrash(&outside, &inTrash), noErr);  // no Trash folder at all yet
  EXPECT_FALSE(inTrash);
  EXPECT_TRUE(GL_FSRefValid(&outside));

  FSRef trash{};
  ASSERT_EQ(FSFindFolder(kUserDomain, kTrashFolderType, kCreateFolder, &trash), noErr);
  const std::string trashPath = PathOf(trash);
  mkdir((trashPath + "/files").c_str(), 0700);
  mkdir((trashPath + "/files/old").c_str(), 0700);
  WriteText(trashPath + "/files/old/clip.mov", "");
  FSRef deep = RefFor(trashPath + "/files/old/clip.mov");
  ASSERT_EQ(GL_FileInTrash(&deep, &inTrash), noErr);
  EXPECT_TRUE(inTrash);
  EXPECT_FALSE(GL_FSRefValid(&deep));
  EXPECT_TRUE(MF_FSRefValid(&deep));
  ASSERT_EQ(GL_FileInTrash(&trash, &inTrash), noErr);
  EXPECT_FALSE(inTrash);  // the Trash itself is not in the Trash
  ASSERT_EQ(GL_FileInTrash(&outside, &inTrash), noErr);
  EXPECT_FALSE(inTrash);
  ASSERT_EQ(GL_FileInClassicTrash(&deep, &inTrash), noErr);
  EXPECT_FALSE(inTrash);
  FSRef zero{};
  EXPECT_FALSE(GL_FSRefValid(&zero));
}

TEST(GeneralFileLayer, CatalogInfoByteOrder) {
  FSCatalogInfo info{};
  info.nodeFlags = 0x0010;
  info.volume = -100;
  info.nodeID = 0x01020304;
  info.dataLogicalSize = 0x0102030405060708ull;
  info.contentModDate = {0x0102, 0x03040506, 0x0708};
  info.finderInfo[0] = 0xAB;
  info.userPrivileges = 0x7;
  FSCatalogInfo flipped = info;
  GL_FlipFSCatalogInfo_NtoB(&flipped);
  EXPECT_EQ(flipped.nodeFlags, 0x1000);
  EXPECT_EQ(flipped.nodeID, 0x04030201u);
  EXPECT_EQ(flipped.dataLogicalSize, 0x0807060504030201ull);
  EXPECT_EQ(flipped.contentModDate.lowSeconds, 0x06050403u);
  EXPECT_EQ(flipped.finderInfo[0], 0xAB);  // Finder information and privileges stay as they are
  EXPECT_EQ(flipped.userPrivileges, 0x7);
  GL_FlipFSCatalogInfo_BtoN(&flipped);
  EXPECT_EQ(std::memcmp(&flipped, &info, sizeof info), 0);
}

TEST(GeneralFileLayer, PathsAndTheProgram) {
  bz_test::TempDir dir;
  WriteText(dir.File("a b"), "");
  FSRef file = RefFor(dir.File("a b"));
  char *path = GL_FSRefToPosixPath(&file);
  ASSERT_NE(path, nullptr);
  EXPECT_STREQ(path, dir.File("a b").c_str());
  GL_DisposePtr(&path);
  FSRef zero{};
  EXPECT_EQ(GL_FSRefToPosixPath(&zero), nullptr);

  // The root file system is the volume named "/".
  const std::string hfs = "/" + dir.path() + ":";
  std::string colons = hfs;
  for (size_t i = 1; i < colons.size(); ++i)
    if (colons[i] == '/') colons[i] = ':';
  colons += "a b";
  char *posix = GL_HFS_StrToPosixStr(colons.c_str());
  ASSERT_NE(posix, nullptr);
  EXPECT_STREQ(posix, dir.File("a b").c_str());
  GL_DisposePtr(&posix);
  EXPECT_EQ(GL_HFS_StrToPosixStr("No Such Volume:x"), nullptr);

  // Paths joined and split.
  FSRef joined{};
  ASSERT_EQ(GL_FolderPathFileNameToFSRef(dir.path().c_str(), "a b", &joined), noErr);
  EXPECT_TRUE(GL_EqualFileObjects(&joined, &file));
  ASSERT_EQ(GL_FolderPathFileNameToFSRef((dir.path() + "/").c_str(), "a b", &joined), noErr);
  EXPECT_TRUE(GL_EqualFileObjects(&joined, &file));
  EXPECT_EQ(GL_FolderPathFileNameToFSRef(dir.path().c_str(), "missing", &joined), kGL_URLToFSRefErr);
  EXPECT_EQ(GL_FolderPathFileNameToFSRef("", "", &joined), kGL_CreateURLErr);
  HFSUniStr255 name{};
  FSRef parent{};
  ASSERT_EQ(GL_FullPathToFileNameAndParentRef(dir.File("new movie.mov").c_str(), &name, &parent), noErr);
  EXPECT_EQ(Utf8(name), "new movie.mov");  // need not exist yet
  EXPECT_EQ(PathOf(parent), dir.path());
  EXPECT_EQ(GL_FullPathToFileNameAndParentRef("/", &name, &parent), kGL_NoLastPathComponentErr);
  EXPECT_EQ(GL_FullPathToFileNameAndParentRef(dir.File("gone/x.mov").c_str(), &name, &parent), kGL_URLToFSRefErr);
  EXPECT_EQ(GL_FullPathToFileNameAndParentRef("", &name, &parent), kGL_CreateURLErr);

  FSRef app{};
  ASSERT_EQ(GL_GetAppRef(&app), noErr);  // the resources folder stands for the bundle
  EXPECT_EQ(PathOf(app).substr(PathOf(app).rfind('/')), "/resources");

  FSRef self{}, folder{};
  ASSERT_EQ(GL_CurrentProcessRef(&self), noErr);
  char exe[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  EXPECT_EQ(PathOf(self), exe);
  ASSERT_EQ(GL_GetAppParentDirectory(&folder), noErr);
  EXPECT_EQ(PathOf(folder) + "/" + std::string(exe).substr(std::string(exe).rfind('/') + 1), exe);
}

}  // namespace
