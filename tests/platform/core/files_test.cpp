#include "platform/core/files.h"
#include "platform/core/mac_errors.h"

#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

using bz_test::Name;
using bz_test::PathOf;
using bz_test::ReadText;
using bz_test::RefFor;
using bz_test::Utf8;
using bz_test::WriteText;

OSErr CreateFile(const FSRef &folder, const char *name, FSRef *out = nullptr) {
  HFSUniStr255 n = Name(name);
  return FSCreateFileUnicode(&folder, n.length, n.unicode, kFSCatInfoNone, nullptr, out, nullptr);
}

OSErr MakeRef(const FSRef &folder, const char *name, FSRef *out) {
  HFSUniStr255 n = Name(name);
  return FSMakeFSRefUnicode(&folder, n.length, n.unicode, kTextEncodingUnknown, out);
}

FSIORefNum OpenData(const FSRef &file, SInt8 permission) {
  FSIORefNum fork = 0;
  EXPECT_EQ(FSOpenFork(&file, 0, nullptr, permission, &fork), noErr);
  return fork;
}

bool IsZero(const FSRef &ref) { return bz_test::IsZeroRef(ref); }

TEST(PlatformFiles, PathsMakeReferencesAndBack) {
  bz_test::TempDir dir;
  WriteText(dir.File("a.mov"), "abc");
  symlink(dir.File("a.mov").c_str(), dir.File("link").c_str());

  FSRef file{};
  Boolean isDir = 2;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(dir.File("a.mov").c_str()), &file, &isDir), noErr);
  EXPECT_FALSE(isDir);
  EXPECT_EQ(PathOf(file), dir.File("a.mov"));
  EXPECT_FALSE(IsZero(file));

  // A link resolves to its target, so both references name one object.
  FSRef viaLink = RefFor(dir.File("link"));
  EXPECT_EQ(FSCompareFSRefs(&file, &viaLink), noErr);
  FSRef folder = RefFor(dir.path());
  EXPECT_EQ(FSCompareFSRefs(&file, &folder), errFSRefsDifferent);

  UInt8 small[8];
  EXPECT_EQ(FSRefMakePath(&file, small, sizeof small), pathTooLongErr);
  std::vector<UInt8> big(4096);
  ASSERT_EQ(FSRefMakePath(&file, big.data(), UInt32(big.size())), noErr);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(big.data())), dir.File("a.mov"));

  FSRef missing{};
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(dir.File("nope").c_str()), &missing, nullptr), fnfErr);
  EXPECT_TRUE(IsZero(missing));

  // The all-zero reference and stale references fail every query.
  FSRef zero{};
  EXPECT_EQ(FSGetCatalogInfo(&zero, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), errFSBadFSRef);
  unlink(dir.File("a.mov").c_str());
  EXPECT_EQ(FSGetCatalogInfo(&file, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), fnfErr);
}

TEST(PlatformFiles, NamesAreCheckedBeforeTheyReachThePath) {
  bz_test::TempDir dir;
  FSRef folder = RefFor(dir.path());
  WriteText(dir.File("plain"), "x");
  FSRef plain = RefFor(dir.File("plain"));

  const std::u16string tooManyUnits(256, u'a');
  const std::u16string tooManyBytes(200, u'\u00e9');  // 200 units but 400 bytes of UTF-8
  struct Case {
    const char *label;
    std::u16string name;
    OSErr expected;
  } cases[] = {
      {"empty", u"", errFSMissingName},
      {"dot", u".", bdNamErr},
      {"dot dot", u"..", bdNamErr},
      {"slash", u"a/b", bdNamErr},
      {"nul", std::u16string(u"a\0b", 3), bdNamErr},
      {"lone surrogate", u"a\xd800", bdNamErr},
      {"256 units", tooManyUnits, errFSNameTooLong},
      {"400 bytes", tooManyBytes, errFSNameTooLong},
      {"missing", u"absent", fnfErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    FSRef out{};
    const UniChar *chars = reinterpret_cast<const UniChar *>(c.name.data());
    EXPECT_EQ(FSMakeFSRefUnicode(&folder, c.name.size(), chars, kTextEncodingUnknown, &out), c.expected);
    EXPECT_TRUE(IsZero(out));
    if (c.expected != fnfErr) {
      EXPECT_EQ(FSCreateFileUnicode(&folder, c.name.size(), chars, 0, nullptr, &out, nullptr), c.expected);
    }
  }
  FSRef out{};
  EXPECT_EQ(MakeRef(plain, "x", &out), errFSNotAFolder);

  // Names outside Latin-1, including a surrogate pair, survive the trip to the disk and back.
  const char *unicodeName = "Clip \xc3\xa9\xe6\x97\xa5 \xf0\x9f\x8e\xac.mov";
  FSRef made{};
  ASSERT_EQ(CreateFile(folder, unicodeName, &made), noErr);
  EXPECT_EQ(PathOf(made), dir.File(unicodeName));
  HFSUniStr255 back{};
  ASSERT_EQ(FSGetCatalogInfo(&made, kFSCatInfoNone, nullptr, &back, nullptr, nullptr), noErr);
  EXPECT_EQ(Utf8(back), unicodeName);
  // Identity is exact: another case is another name.
  EXPECT_EQ(MakeRef(folder, "CLIP \xc3\xa9\xe6\x97\xa5 \xf0\x9f\x8e\xac.mov", &out), fnfErr);
}

// A name on the disk that is no UTF-8 (written by another system) is shown with U+FFFD for each bad byte and
// still reaches its file; such a text is refused as a name to make.
TEST(PlatformFiles, NamesThatAreNoUTF8) {
  bz_test::TempDir dir;
  const std::string foreign = "clip \xe9t\xe9.mov";  // Latin-1
  WriteText(dir.File(foreign), "x");
  FSRef file = RefFor(dir.File(foreign));
  HFSUniStr255 name{};
  ASSERT_EQ(FSGetCatalogInfo(&file, kFSCatInfoNone, nullptr, &name, nullptr, nullptr), noErr);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(name.unicode), name.length), u"clip \uFFFDt\uFFFD.mov");
  EXPECT_EQ(PathOf(file), dir.File(foreign));
  HFSUniStr255 made{};
  EXPECT_EQ(PL_HFSUniStr255FromUTF8(foreign.c_str(), &made), bdNamErr);
}

TEST(PlatformFiles, CreateDeleteAndTheirErrors) {
  bz_test::TempDir dir;
  FSRef folder = RefFor(dir.path());
  FSRef file{}, sub{};
  ASSERT_EQ(CreateFile(folder, "movie.mov", &file), noErr);
  EXPECT_EQ(PathOf(file), dir.File("movie.mov"));
  WriteText(dir.File("movie.mov"), "keep me");
  EXPECT_EQ(CreateFile(folder, "movie.mov"), dupFNErr);
  EXPECT_EQ(ReadText(dir.File("movie.mov")), "keep me");  // never replaced

  HFSUniStr255 subName = Name("sub");
  UInt32 dirID = 0;
  ASSERT_EQ(FSCreateDirectoryUnicode(&folder, subName.length, subName.unicode, 0, nullptr, &sub, nullptr, &dirID), noErr);
  EXPECT_GT(dirID, fsRtDirID);
  EXPECT_EQ(FSCreateDirectoryUnicode(&folder, subName.length, subName.unicode, 0, nullptr, nullptr, nullptr, nullptr),
            dupFNErr);
  FSRef inner{};
  ASSERT_EQ(CreateFile(sub, "inner", &inner), noErr);
  EXPECT_EQ(FSDeleteObject(&sub), fBsyErr);  // not empty

  // An open file is busy, as it was on the Mac, so a retrying delete waits for its reader.
  FSIORefNum fork = OpenData(file, fsRdPerm);
  EXPECT_EQ(FSDeleteObject(&file), fBsyErr);
  EXPECT_EQ(FSCloseFork(fork), noErr);
  EXPECT_EQ(FSDeleteObject(&file), noErr);
  EXPECT_EQ(FSDeleteObject(&file), fnfErr);
  EXPECT_EQ(FSDeleteObject(&inner), noErr);
  EXPECT_EQ(FSDeleteObject(&sub), noErr);

  // Catalog information given at creation is applied.
  FSCatalogInfo info{};
  FileInfo finder{'MooV', 'TVOD', kIsStationery, {0, 0}, 0};
  std::memcpy(info.finderInfo, &finder, sizeof finder);
  HFSUniStr255 typed = Name("typed");
  FSRef typedRef{};
  ASSERT_EQ(FSCreateFileUnicode(&folder, typed.length, typed.unicode, kFSCatInfoFinderInfo, &info, &typedRef, nullptr),
            noErr);
  FSCatalogInfo back{};
  ASSERT_EQ(FSGetCatalogInfo(&typedRef, kFSCatInfoFinderInfo, &back, nullptr, nullptr, nullptr), noErr);
  FileInfo got;
  std::memcpy(&got, back.finderInfo, sizeof got);
  EXPECT_EQ(got.fileType, OSType('MooV'));
  EXPECT_EQ(got.fileCreator, OSType('TVOD'));
  EXPECT_EQ(got.finderFlags, kIsStationery);
}

TEST(PlatformFiles, ErrnoMapsOntoFileManagerNumbers) {
  bz_test::TempDir dir;
  FSRef folder = RefFor(dir.path());
  FSRef out{};
  EXPECT_EQ(MakeRef(folder, "missing", &out), fnfErr);
  ASSERT_EQ(CreateFile(folder, "there"), noErr);
  EXPECT_EQ(CreateFile(folder, "there"), dupFNErr);
  std::string longName(256, 'n');
  HFSUniStr255 n{};
  EXPECT_EQ(PL_HFSUniStr255FromUTF8(longName.c_str(), &n), errFSNameTooLong);
  // The table itself, for the numbers a test cannot provoke portably.
  EXPECT_EQ(PL_OSStatusFromErrno(EACCES), permErr);
  EXPECT_EQ(PL_OSStatusFromErrno(EROFS), wPrErr);
  EXPECT_EQ(PL_OSStatusFromErrno(ENOSPC), dskFulErr);
  EXPECT_EQ(PL_OSStatusFromErrno(EXDEV), diffVolErr);
}

// Runs where permissions count; returns the number of failed expectations.
int PermissionChecks(const std::string &folder) {
  int failed = 0;
  FSRef closed{}, secret{};
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>((folder + "/closed").c_str()), &closed, nullptr) != noErr) return 100;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>((folder + "/secret").c_str()), &secret, nullptr) != noErr) return 101;
  HFSUniStr255 name{};
  PL_HFSUniStr255FromUTF8("new", &name);
  failed += FSCreateFileUnicode(&closed, name.length, name.unicode, 0, nullptr, nullptr, nullptr) != permErr;
  FSIORefNum fork = 0;
  failed += FSOpenFork(&secret, 0, nullptr, fsRdPerm, &fork) != permErr;
  failed += FSDeleteObject(&secret) != noErr;  // the folder is writable, so this one may go
  return failed;
}

TEST(PlatformFiles, NoPermissionGivesPermErr) {
  bz_test::TempDir dir;
  chmod(dir.path().c_str(), 0777);  // the unprivileged user must reach into it
  mkdir(dir.File("closed").c_str(), 0555);
  WriteText(dir.File("secret"), "x");
  chmod(dir.File("secret").c_str(), 0);
  const int failed = bz_test::RunWithoutPrivilege(PermissionChecks, dir.path());
  chmod(dir.File("closed").c_str(), 0755);
  if (failed < 0) GTEST_SKIP() << "no unprivileged user to run as";
  EXPECT_EQ(failed, 0);
}

TEST(PlatformFiles, RenamesAndMovesKeepReferencesAlive) {
  bz_test::TempDir dir;
  FSRef folder = RefFor(dir.path());
  mkdir(dir.File("a").c_str(), 0755);
  mkdir(dir.File("b").c_str(), 0755);
  WriteText(dir.File("a/clip"), "1");
  WriteText(dir.File("b/taken"), "2");
  FSRef a = RefFor(dir.File("a")), b = RefFor(dir.File("b"));
  FSRef clip = RefFor(dir.File("a/clip"));

  HFSUniStr255 taken = Name("taken"), renamed = Name("renamed");
  FSRef newRef{};
  ASSERT_EQ(FSRenameUnicode(&clip, renamed.length, renamed.unicode, kTextEncodingUnknown, &newRef), noErr);
  EXPECT_EQ(PathOf(newRef), dir.File("a/renamed"));
  EXPECT_EQ(PathOf(clip), dir.File("a/renamed"));  // the old reference follows the object

  ASSERT_EQ(FSMoveObject(&clip, &b, &newRef), noErr);
  EXPECT_EQ(PathOf(clip), dir.File("b/renamed"));
  ASSERT_EQ(FSRenameUnicode(&clip, taken.length, taken.unicode, kTextEncodingUnknown, nullptr), dupFNErr);
  EXPECT_EQ(ReadText(dir.File("b/taken")), "2");
  EXPECT_EQ(ReadText(dir.File("b/renamed")), "1");

  // Moving a folder carries the references of everything inside it.
  ASSERT_EQ(FSMoveObject(&b, &a, nullptr), noErr);
  EXPECT_EQ(PathOf(clip), dir.File("a/b/renamed"));
  EXPECT_EQ(FSMoveObject(&a, &b, nullptr), badMovErr);  // into itself
  FSRef file = RefFor(dir.File("a/b/taken"));
  EXPECT_EQ(FSMoveObject(&clip, &file, nullptr), errFSNotAFolder);
  WriteText(dir.File("renamed"), "3");
  EXPECT_EQ(FSMoveObject(&clip, &folder, nullptr), dupFNErr);
  EXPECT_EQ(ReadText(dir.File("renamed")), "3");

  // Across file systems a move cannot be a rename.
  struct stat here, shm;
  if (stat("/dev/shm", &shm) == 0 && stat(dir.path().c_str(), &here) == 0 && shm.st_dev != here.st_dev &&
      access("/dev/shm", W_OK) == 0) {
    FSRef other = RefFor("/dev/shm");
    EXPECT_EQ(FSMoveObject(&clip, &other, nullptr), diffVolErr);
    EXPECT_EQ(ReadText(dir.File("a/b/renamed")), "1");
  }
}

TEST(PlatformFiles, CatalogInformation) {
  bz_test::TempDir dir;
  mkdir(dir.File("sub").c_str(), 0750);
  WriteText(dir.File("sub/data"), std::string(5000, 'x'));
  WriteText(dir.File("sub/other"), "");
  FSRef sub = RefFor(dir.File("sub")), data = RefFor(dir.File("sub/data"));

  FSCatalogInfo info{}, subInfo{};
  FSRef parent{};
  HFSUniStr255 name{};
  ASSERT_EQ(FSGetCatalogInfo(&data, kFSCatInfoGettableInfo, &info, &name, nullptr, &parent), noErr);
  ASSERT_EQ(FSGetCatalogInfo(&sub, kFSCatInfoGettableInfo, &subInfo, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(Utf8(name), "data");
  EXPECT_EQ(FSCompareFSRefs(&parent, &sub), noErr);
  EXPECT_EQ(info.parentDirID, subInfo.nodeID);
  EXPECT_EQ(info.volume, subInfo.volume);
  EXPECT_LE(info.volume, -100);
  EXPECT_EQ(info.dataLogicalSize, 5000u);
  EXPECT_GE(info.dataPhysicalSize, 4096u);
  EXPECT_EQ(info.rsrcLogicalSize, 0u);
  EXPECT_EQ(info.nodeFlags & kFSNodeIsDirectoryMask, 0);
  EXPECT_EQ(subInfo.nodeFlags & kFSNodeIsDirectoryMask, kFSNodeIsDirectoryMask);
  EXPECT_EQ(subInfo.valence, 2u);
  FSPermissionInfo perm;
  std::memcpy(&perm, subInfo.permissions, sizeof perm);
  EXPECT_EQ(perm.mode & 0777, 0750);
  EXPECT_EQ(perm.userID, geteuid());

  // An open fork shows in the node flags.
  FSIORefNum fork = OpenData(data, fsRdPerm);
  ASSERT_EQ(FSGetCatalogInfo(&data, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(info.nodeFlags & (kFSNodeDataOpenMask | kFSNodeForkOpenMask), kFSNodeDataOpenMask | kFSNodeForkOpenMask);
  FSCloseFork(fork);

  // Settable information round-trips: dates, mode, Finder information of files and folders.
  FSCatalogInfo set{};
  set.contentModDate = {0, 3600000000u, 1};  // the smallest fraction survives the trip through nanoseconds
  set.accessDate = {0, 3500000000u, 0};
  set.createDate = {0, 3400000000u, 0};
  set.backupDate = {0, 3450000000u, 0};
  FSPermissionInfo newPerm = perm;
  newPerm.mode = 0700;
  std::memcpy(set.permissions, &newPerm, sizeof newPerm);
  FolderInfo folderInfo{{1, 2, 3, 4}, kIsInvisible, {5, 6}, 0};
  std::memcpy(set.finderInfo, &folderInfo, sizeof folderInfo);
  ExtendedFolderInfo ext{{7, 8}, 0, 0x1234, 0, 99};
  std::memcpy(set.extFinderInfo, &ext, sizeof ext);
  const FSCatalogInfoBitmap bits = kFSCatInfoContentMod | kFSCatInfoAccessDate | kFSCatInfoCreateDate |
                                   kFSCatInfoBackupDate | kFSCatInfoPermissions | kFSCatInfoFinderInfo |
                                   kFSCatInfoFinderXInfo;
  ASSERT_EQ(FSSetCatalogInfo(&sub, bits, &set), noErr);
  FSCatalogInfo got{};
  ASSERT_EQ(FSGetCatalogInfo(&sub, bits, &got, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(got.contentModDate.lowSeconds, 3600000000u);
  EXPECT_EQ(got.contentModDate.fraction, 1);
  EXPECT_EQ(got.accessDate.lowSeconds, 3500000000u);
  EXPECT_EQ(got.createDate.lowSeconds, 3400000000u);
  EXPECT_EQ(got.backupDate.lowSeconds, 3450000000u);
  std::memcpy(&perm, got.permissions, sizeof perm);
  EXPECT_EQ(perm.mode & 0777, 0700);
  EXPECT_EQ(std::memcmp(got.finderInfo, &folderInfo, 16), 0);
  EXPECT_EQ(std::memcmp(got.extFinderInfo, &ext, 16), 0);

  // A damaged label attribute reads as no labels.
  setxattr(dir.File("sub/data").c_str(), "user.brizel.catinfo", "junk", 4, 0);
  ASSERT_EQ(FSGetCatalogInfo(&data, kFSCatInfoFinderInfo, &got, nullptr, nullptr, nullptr), noErr);
  FileInfo blank{};
  EXPECT_EQ(std::memcmp(got.finderInfo, &blank, 16), 0);

  EXPECT_EQ(FSGetCatalogInfo(&data, kFSCatInfoNodeFlags, nullptr, nullptr, nullptr, nullptr), paramErr);
  FSSpec spec;
  EXPECT_EQ(FSGetCatalogInfo(&data, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), paramErr);
}

TEST(PlatformFiles, VolumeRootHasNoParent) {
  FSRef root = RefFor("/");
  FSCatalogInfo info{};
  FSRef parent{};
  parent.hidden[0] = 1;
  ASSERT_EQ(FSGetCatalogInfo(&root, kFSCatInfoNodeID | kFSCatInfoParentDirID | kFSCatInfoVolume, &info, nullptr,
                             nullptr, &parent),
            noErr);
  EXPECT_EQ(info.nodeID, fsRtDirID);
  EXPECT_EQ(info.parentDirID, fsRtParID);
  EXPECT_TRUE(IsZero(parent));
  EXPECT_NE(FSGetCatalogInfo(&parent, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), noErr);
}

TEST(PlatformFiles, LockedObjectsRefuseChanges) {
  bz_test::TempDir dir;
  WriteText(dir.File("locked"), "x");
  FSRef file = RefFor(dir.File("locked"));
  FSCatalogInfo info{};
  info.nodeFlags = kFSNodeLockedMask;
  OSErr err = FSSetCatalogInfo(&file, kFSCatInfoNodeFlags, &info);
  if (err == permErr || err == paramErr) GTEST_SKIP() << "no privilege or no immutable attribute here";
  ASSERT_EQ(err, noErr);
  ASSERT_EQ(FSGetCatalogInfo(&file, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(info.nodeFlags & kFSNodeLockedMask, kFSNodeLockedMask);
  FSIORefNum fork = 0;
  EXPECT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &fork), fLckdErr);
  EXPECT_EQ(FSDeleteObject(&file), fLckdErr);
  HFSUniStr255 other = Name("other");
  EXPECT_EQ(FSRenameUnicode(&file, other.length, other.unicode, 0, nullptr), fLckdErr);
  info.nodeFlags = 0;
  ASSERT_EQ(FSSetCatalogInfo(&file, kFSCatInfoNodeFlags, &info), noErr);
  EXPECT_EQ(FSDeleteObject(&file), noErr);
}

TEST(PlatformFiles, ReplaceObjectKeepsTheTargetsReferences) {
  bz_test::TempDir dir;
  WriteText(dir.File("list.kbzoel"), "old");
  WriteText(dir.File("other"), "x");  // made first, so that its inode is none of the others'
  FSRef folder = RefFor(dir.path());
  FSRef target = RefFor(dir.File("list.kbzoel"));
  for (const char *content : {"new", "newer"}) {
    SCOPED_TRACE(content);
    WriteText(dir.File("tmp"), content);
    FSRef replacement = RefFor(dir.File("tmp"));
    ASSERT_EQ(PL_FSReplaceObject(&target, &replacement), noErr);
    EXPECT_EQ(ReadText(dir.File("list.kbzoel")), content);
    EXPECT_FALSE(bz_test::Exists(dir.File("tmp")));
    // The caller's reference still names the file, through every replacement.
    EXPECT_EQ(PathOf(target), dir.File("list.kbzoel"));
    FSRef fresh = RefFor(dir.File("list.kbzoel"));
    EXPECT_EQ(FSCompareFSRefs(&target, &fresh), noErr);
    EXPECT_EQ(FSGetCatalogInfo(&replacement, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), fnfErr);
  }
  // A file put there by someone else is another object.
  rename(dir.File("other").c_str(), dir.File("list.kbzoel").c_str());
  EXPECT_EQ(FSGetCatalogInfo(&target, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), fnfErr);

  FSRef list = RefFor(dir.File("list.kbzoel"));
  WriteText(dir.File("tmp"), "y");
  FSRef replacement = RefFor(dir.File("tmp"));
  EXPECT_EQ(PL_FSReplaceObject(&list, &folder), notAFileErr);
  FSIORefNum fork = OpenData(list, fsRdPerm);
  EXPECT_EQ(PL_FSReplaceObject(&list, &replacement), fBsyErr);
  FSCloseFork(fork);
  EXPECT_EQ(ReadText(dir.File("list.kbzoel")), "x");
}

TEST(PlatformFiles, ForkReadWritePositions) {
  bz_test::TempDir dir;
  WriteText(dir.File("f"), "0123456789");
  FSRef file = RefFor(dir.File("f"));
  FSIORefNum fork = OpenData(file, fsRdWrPerm);
  ASSERT_GT(fork, 0);

  char buf[32] = {};
  ByteCount got = 0;
  EXPECT_EQ(FSReadFork(fork, fsFromStart, 2, 3, buf, &got), noErr);
  EXPECT_EQ(std::string(buf, got), "234");
  EXPECT_EQ(FSReadFork(fork, fsAtMark, 99, 2, buf, &got), noErr);  // the offset is ignored at the mark
  EXPECT_EQ(std::string(buf, got), "56");
  EXPECT_EQ(FSReadFork(fork, fsFromMark | noCacheMask, 1, 2, buf, &got), noErr);
  EXPECT_EQ(std::string(buf, got), "89");
  EXPECT_EQ(FSReadFork(fork, fsFromLEOF, -4, 10, buf, &got), eofErr);  // short read reports what it got
  EXPECT_EQ(std::string(buf, got), "6789");
  SInt64 mark = 0;
  EXPECT_EQ(FSGetForkPosition(fork, &mark), noErr);
  EXPECT_EQ(mark, 10);
  EXPECT_EQ(FSReadFork(fork, fsFromStart, -1, 1, buf, &got), posErr);
  EXPECT_EQ(FSSetForkPosition(fork, fsFromStart, 11), eofErr);
  EXPECT_EQ(FSSetForkPosition(fork, fsFromStart, 4), noErr);

  EXPECT_EQ(FSWriteFork(fork, fsAtMark, 0, 2, "ab", &got), noErr);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(FSWriteFork(fork, fsFromLEOF, 2, 1, "Z", &got), noErr);  // past the end extends
  SInt64 size = 0;
  EXPECT_EQ(FSGetForkSize(fork, &size), noErr);
  EXPECT_EQ(size, 13);
  EXPECT_EQ(ReadText(dir.File("f")), std::string("0123ab6789\0\0Z", 13));

  // Truncating pulls a mark beyond the new end back to it.
  EXPECT_EQ(FSSetForkSize(fork, fsFromStart, 5), noErr);
  EXPECT_EQ(FSGetForkPosition(fork, &mark), noErr);
  EXPECT_EQ(mark, 5);
  EXPECT_EQ(ReadText(dir.File("f")), "0123a");
  EXPECT_EQ(FSFlushFork(fork), noErr);
  EXPECT_EQ(FSCloseFork(fork), noErr);
  EXPECT_EQ(FSCloseFork(fork), rfNumErr);
  EXPECT_EQ(FSReadFork(fork, fsFromStart, 0, 1, buf, &got), rfNumErr);

  // The parameter-block form carries the position back.
  FSForkIOParam pb{};
  pb.ref = &file;
  pb.permissions = fsRdPerm;
  ASSERT_EQ(PBOpenForkSync(&pb), noErr);
  pb.buffer = buf;
  pb.requestCount = 2;
  pb.positionMode = fsFromStart;
  pb.positionOffset = 1;
  EXPECT_EQ(PBReadForkSync(&pb), noErr);
  EXPECT_EQ(std::string(buf, pb.actualCount), "12");
  EXPECT_EQ(pb.positionOffset, 3);
  EXPECT_EQ(PBCloseForkSync(&pb), noErr);
}

TEST(PlatformFiles, ForkPermissionsAndSharing) {
  bz_test::TempDir dir;
  WriteText(dir.File("f"), "data");
  FSRef file = RefFor(dir.File("f"));
  FSRef folder = RefFor(dir.path());
  FSIORefNum reader = OpenData(file, fsRdPerm), writer = 0, second = 0;
  ByteCount n = 0;
  EXPECT_EQ(FSWriteFork(reader, fsFromStart, 0, 1, "x", &n), wrPermErr);
  EXPECT_EQ(FSSetForkSize(reader, fsFromStart, 0), wrPermErr);

  ASSERT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &writer), noErr);
  EXPECT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &second), opWrErr);
  EXPECT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrShPerm, &second), opWrErr);
  FSIORefNum another = OpenData(file, fsRdPerm);  // readers are always welcome
  FSCloseFork(another);
  FSIORefNum current = OpenData(file, fsCurPerm);  // whatever is allowed: reading, beside a writer
  EXPECT_EQ(FSWriteFork(current, fsFromStart, 0, 1, "x", &n), wrPermErr);
  FSCloseFork(current);
  FSCloseFork(writer);
  FSIORefNum shared1 = OpenData(file, fsRdWrShPerm), shared2 = OpenData(file, fsRdWrShPerm);
  EXPECT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &second), opWrErr);
  FSCloseFork(shared1);
  FSCloseFork(shared2);
  FSCloseFork(reader);
  current = OpenData(file, fsCurPerm);  // alone, it may write
  EXPECT_EQ(FSWriteFork(current, fsFromStart, 0, 1, "D", &n), noErr);
  FSCloseFork(current);
  EXPECT_EQ(ReadText(dir.File("f")), "Data");

  FSIORefNum fork = 0;
  EXPECT_EQ(FSOpenFork(&folder, 0, nullptr, fsRdPerm, &fork), notAFileErr);
  HFSUniStr255 named = Name("com.example.fork");
  EXPECT_EQ(FSOpenFork(&file, named.length, named.unicode, fsRdPerm, &fork), errFSForkNotFound);
  EXPECT_EQ(FSOpenFork(&file, 0, nullptr, 9, &fork), paramErr);
}

TEST(PlatformFiles, ResourceForkIsAlwaysEmpty) {
  bz_test::TempDir dir;
  WriteText(dir.File("f"), "data");
  FSRef file = RefFor(dir.File("f"));
  HFSUniStr255 dataName{}, rsrcName{};
  ASSERT_EQ(FSGetDataForkName(&dataName), noErr);
  ASSERT_EQ(FSGetResourceForkName(&rsrcName), noErr);
  EXPECT_EQ(dataName.length, 0);
  EXPECT_EQ(Utf8(rsrcName), "RESOURCE_FORK");

  FSIORefNum fork = 0;
  ASSERT_EQ(FSOpenFork(&file, rsrcName.length, rsrcName.unicode, fsRdWrPerm, &fork), noErr);
  SInt64 size = -1;
  EXPECT_EQ(FSGetForkSize(fork, &size), noErr);
  EXPECT_EQ(size, 0);
  char buf[4];
  ByteCount got = 9;
  EXPECT_EQ(FSReadFork(fork, fsFromStart, 0, 4, buf, &got), eofErr);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(FSWriteFork(fork, fsFromStart, 0, 0, buf, &got), noErr);
  EXPECT_EQ(FSSetForkSize(fork, fsFromStart, 0), noErr);
  // Linux has nowhere to keep resource data; that is said, not hidden.
  EXPECT_EQ(FSWriteFork(fork, fsFromStart, 0, 4, "rsrc", &got), paramErr);
  EXPECT_EQ(FSSetForkSize(fork, fsFromStart, 10), paramErr);
  EXPECT_EQ(FSCloseFork(fork), noErr);
  EXPECT_EQ(ReadText(dir.File("f")), "data");
  EXPECT_EQ(FSCreateFork(&file, rsrcName.length, rsrcName.unicode), errFSForkExists);

  // Only the data fork is listed.
  CatPositionRec it{};
  SInt64 forkSize = 0;
  HFSUniStr255 forkName{};
  EXPECT_EQ(FSIterateForks(&file, &it, &forkName, &forkSize, nullptr), noErr);
  EXPECT_EQ(forkName.length, 0);
  EXPECT_EQ(forkSize, 4);
  EXPECT_EQ(FSIterateForks(&file, &it, &forkName, &forkSize, nullptr), errFSNoMoreItems);
}

TEST(PlatformFiles, FullDiskHookStopsWritesPartway) {
  bz_test::TempDir dir;
  WriteText(dir.File("f"), "");
  FSRef file = RefFor(dir.File("f"));
  FSIORefNum fork = OpenData(file, fsRdWrPerm);
  PL_FailWritesAfterBytes(6);
  ByteCount got = 0;
  EXPECT_EQ(FSWriteFork(fork, fsAtMark, 0, 4, "abcd", &got), noErr);
  EXPECT_EQ(FSWriteFork(fork, fsAtMark, 0, 4, "efgh", &got), dskFulErr);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(FSWriteFork(fork, fsAtMark, 0, 1, "i", &got), dskFulErr);
  PL_FailWritesAfterBytes(-1);
  EXPECT_EQ(FSWriteFork(fork, fsAtMark, 0, 1, "i", &got), noErr);
  FSCloseFork(fork);
  EXPECT_EQ(ReadText(dir.File("f")), "abcdefi");
}

TEST(PlatformFiles, ConcurrentReadersSeeTheirOwnBytes) {
  bz_test::TempDir dir;
  const size_t kBlock = 4096, kBlocks = 64;
  std::string content(kBlock * kBlocks, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = char((i * 7 + i / kBlock) & 0xFF);
  WriteText(dir.File("movie"), content);
  FSRef file = RefFor(dir.File("movie"));
  FSIORefNum sharedFork = OpenData(file, fsRdPerm);

  const int kThreads = 8;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Half the threads share one fork, the rest open their own.
      FSIORefNum fork = (t % 2 == 0) ? sharedFork : 0;
      if (fork == 0 && FSOpenFork(&file, 0, nullptr, fsRdPerm, &fork) != noErr) {
        ++failures;
        return;
      }
      std::vector<char> buf(kBlock);
      for (int round = 0; round < 200; ++round) {
        size_t block = size_t(t * 31 + round * 17) % kBlocks;
        ByteCount got = 0;
        if (FSReadFork(fork, fsFromStart, SInt64(block * kBlock), ByteCount(kBlock), buf.data(), &got) != noErr ||
            got != kBlock || std::memcmp(buf.data(), content.data() + block * kBlock, kBlock) != 0)
          ++failures;
      }
      if (fork != sharedFork) FSCloseFork(fork);
    });
  }
  for (auto &th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(FSCloseFork(sharedFork), noErr);
}

TEST(PlatformFiles, IteratorsListByNameInBatches) {
  bz_test::TempDir dir;
  for (const char *n : {"c", "a", "B", "b.mov", "a 2"}) WriteText(dir.File(n), n);
  mkdir(dir.File("dir").c_str(), 0755);
  FSRef folder = RefFor(dir.path());
  FSIterator it = nullptr;
  ASSERT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &it), noErr);

  std::vector<std::string> seen;
  const ItemCount kBatch = 4;
  FSRef refs[kBatch];
  HFSUniStr255 names[kBatch];
  FSCatalogInfo infos[kBatch];
  ItemCount count = 0;
  Boolean changed = 1;
  OSErr err;
  int calls = 0;
  while ((err = FSGetCatalogInfoBulk(it, kBatch, &count, &changed, kFSCatInfoNodeFlags | kFSCatInfoDataSizes, infos,
                                     refs, nullptr, names)) == noErr) {
    ++calls;
    EXPECT_FALSE(changed);
    for (ItemCount i = 0; i < count; ++i) {
      seen.push_back(Utf8(names[i]));
      EXPECT_EQ(PathOf(refs[i]), dir.File(seen.back()));
      bool isDir = seen.back() == "dir";
      EXPECT_EQ((infos[i].nodeFlags & kFSNodeIsDirectoryMask) != 0, isDir);
      if (!isDir) {
        EXPECT_EQ(infos[i].dataLogicalSize, seen.back().size());
      }
    }
  }
  EXPECT_EQ(err, errFSNoMoreItems);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(seen, (std::vector<std::string>{"B", "a", "a 2", "b.mov", "c", "dir"}));
  EXPECT_EQ(FSCloseIterator(it), noErr);

  // Objects that vanish after the snapshot are skipped; a changed folder is reported.
  ASSERT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &it), noErr);
  unlink(dir.File("B").c_str());
  ASSERT_EQ(FSGetCatalogInfoBulk(it, 1, &count, &changed, 0, nullptr, nullptr, nullptr, names), noErr);
  EXPECT_EQ(Utf8(names[0]), "a");
  EXPECT_TRUE(changed);
  EXPECT_EQ(FSGetCatalogInfoBulk(it, 0, &count, nullptr, 0, nullptr, nullptr, nullptr, names), errFSBadItemCount);
  FSCloseIterator(it);

  FSRef file = RefFor(dir.File("c"));
  EXPECT_EQ(FSOpenIterator(&file, kFSIterateFlat, &it), errFSNotAFolder);
  EXPECT_EQ(FSOpenIterator(&folder, kFSIterateSubtree, &it), errFSIteratorNotSupported);
}

TEST(PlatformFiles, VolumesAreListedAndDescribed) {
  bz_test::TempDir dir;
  FSRef folder = RefFor(dir.path());
  FSCatalogInfo info{};
  ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoVolume, &info, nullptr, nullptr, nullptr), noErr);

  bool found = false;
  ItemCount index = 1;
  for (;; ++index) {
    FSVolumeRefNum vol = 0;
    FSVolumeInfo vinfo{};
    HFSUniStr255 name{};
    FSRef root{};
    OSErr err = FSGetVolumeInfo(kFSInvalidVolumeRefNum, index, &vol, kFSVolInfoSizes | kFSVolInfoFSInfo, &vinfo, &name,
                                &root);
    if (err == nsvErr) break;
    ASSERT_EQ(err, noErr);
    EXPECT_GT(name.length, 0);
    FSCatalogInfo rootInfo{};
    ASSERT_EQ(FSGetCatalogInfo(&root, kFSCatInfoNodeID | kFSCatInfoVolume, &rootInfo, nullptr, nullptr, nullptr),
              noErr);
    EXPECT_EQ(rootInfo.nodeID, fsRtDirID);
    EXPECT_EQ(rootInfo.volume, vol);
    if (vol == info.volume) {
      found = true;
      EXPECT_GT(vinfo.totalBytes, 0u);
      EXPECT_LE(vinfo.freeBytes, vinfo.totalBytes);
      EXPECT_NE(vinfo.filesystemID, 0);
    }
  }
  EXPECT_GT(index, 1u);
  EXPECT_TRUE(found);
  EXPECT_EQ(FSGetVolumeInfo(kFSInvalidVolumeRefNum, 0, nullptr, 0, nullptr, nullptr, nullptr), nsvErr);
  EXPECT_EQ(FSGetVolumeInfo(-30000, 0, nullptr, 0, nullptr, nullptr, nullptr), nsvErr);

  GetVolParmsInfoBuffer parms{};
  ASSERT_EQ(FSGetVolumeParms(info.volume, &parms, sizeof parms), noErr);
  EXPECT_EQ(parms.vMVersion, 4);
  EXPECT_EQ(parms.vMAttrib & 0x6000, 0);  // no classic move-rename or server copy
  ASSERT_NE(parms.vMDeviceID, nullptr);
  EXPECT_EQ(FSGetVolumeParms(info.volume, nullptr, 32), paramErr);
  EXPECT_EQ(FSFlushVolume(info.volume), noErr);
}

class SpecialFolders : public ::testing::Test {
 protected:
  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
};

TEST_F(SpecialFolders, FoundInTheXdgPlaces) {
  FSRef ref{};
  struct Case {
    OSType type;
    std::string path;
  } cases[] = {
      {kPreferencesFolderType, dir_.File(".config/brizel")},
      {kLogsFolderType, dir_.File(".local/state/brizel/logs")},
      {kMovieDocumentsFolderType, dir_.File("Videos")},
      {kTrashFolderType, dir_.File(".local/share/Trash")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FSFindFolder(kUserDomain, c.type, kDontCreateFolder, &ref), fnfErr);
    ASSERT_EQ(FSFindFolder(kUserDomain, c.type, kCreateFolder, &ref), noErr);
    EXPECT_EQ(PathOf(ref), c.path);
    EXPECT_EQ(FSFindFolder(kUserDomain, c.type, kDontCreateFolder, &ref), noErr);
  }
  ASSERT_EQ(FSFindFolder(kUserDomain, kUserTemporaryItemsFolderType, kCreateFolder, &ref), noErr);
  EXPECT_EQ(PathOf(ref), dir_.File("tmp"));

  // The videos folder named in user-dirs.dirs wins over the default.
  mkdir(dir_.File("Films").c_str(), 0755);
  WriteText(dir_.File(".config/user-dirs.dirs"), "# comment\nXDG_VIDEOS_DIR=\"$HOME/Films\"\n");
  ASSERT_EQ(FSFindFolder(kUserDomain, kMovieDocumentsFolderType, kDontCreateFolder, &ref), noErr);
  EXPECT_EQ(PathOf(ref), dir_.File("Films"));

  // The trash of the home volume, asked for by that volume's number.
  FSCatalogInfo info{};
  FSRef home = RefFor(dir_.path());
  ASSERT_EQ(FSGetCatalogInfo(&home, kFSCatInfoVolume, &info, nullptr, nullptr, nullptr), noErr);
  ASSERT_EQ(FSFindFolder(info.volume, kTrashFolderType, kDontCreateFolder, &ref), noErr);
  EXPECT_EQ(PathOf(ref), dir_.File(".local/share/Trash"));

  EXPECT_EQ(FSFindFolder(kClassicDomain, kTrashFolderType, kCreateFolder, &ref), fnfErr);
  EXPECT_EQ(FSFindFolder(kSystemDomain, kFrameworksFolderType, kCreateFolder, &ref), fnfErr);
  EXPECT_EQ(FSFindFolder(kUserDomain, 'zzzz', kCreateFolder, &ref), fnfErr);
}

}  // namespace
