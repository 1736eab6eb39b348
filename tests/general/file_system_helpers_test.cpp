#include "general/file_system_helpers.h"

#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/text_encodings.h"

#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using bz_test::Exists;
using bz_test::Name;
using bz_test::PathOf;
using bz_test::ReadText;
using bz_test::RefFor;
using bz_test::Utf8;
using bz_test::WriteText;

FileInfo FileInfoOf(const FSRef &ref) {
  FinderInfo info{};
  EXPECT_EQ(MF_FSGetFinderInfo(&ref, &info, nullptr, nullptr), noErr);
  return info.file;
}

void SetFileInfo(const FSRef &ref, OSType type, OSType creator, UInt16 flags) {
  FinderInfo info{};
  info.file.fileType = type;
  info.file.fileCreator = creator;
  info.file.finderFlags = flags;
  ASSERT_EQ(MF_FSSetFinderInfo(&ref, &info, nullptr), noErr);
}

bool TryLock(const FSRef &ref, bool locked) {
  FSCatalogInfo info{};
  info.nodeFlags = locked ? kFSNodeLockedMask : 0;
  return FSSetCatalogInfo(&ref, kFSCatInfoNodeFlags, &info) == noErr;
}

TEST(GeneralFileSystemHelpers, ReferencesParentsAndNames) {
  bz_test::TempDir dir;
  mkdir(dir.File("sub").c_str(), 0755);
  WriteText(dir.File("sub/clip.mov"), "12345");
  FSRef file = RefFor(dir.File("sub/clip.mov")), sub = RefFor(dir.File("sub"));

  EXPECT_TRUE(MF_FSRefValid(&file));
  FSRef parent{};
  ASSERT_EQ(MF_FSGetParentRef(&file, &parent), noErr);
  EXPECT_EQ(FSCompareFSRefs(&parent, &sub), noErr);
  HFSUniStr255 name{};
  ASSERT_EQ(MF_FSGetFileDirName(&file, &name), noErr);
  EXPECT_EQ(Utf8(name), "clip.mov");

  // A volume's root folder has the all-zero parent, which names nothing.
  FSRef root = RefFor("/");
  parent.hidden[3] = 7;
  ASSERT_EQ(MF_FSGetParentRef(&root, &parent), noErr);
  EXPECT_TRUE(bz_test::IsZeroRef(parent));
  EXPECT_FALSE(MF_FSRefValid(&parent));

  SInt32 nodeID = 0;
  Boolean isDir = 2;
  ASSERT_EQ(MF_FSGetNodeID(&sub, &nodeID, &isDir), noErr);
  EXPECT_TRUE(isDir);
  EXPECT_NE(nodeID, 0);
  UInt64 dataSize = 9, rsrcSize = 9;
  ASSERT_EQ(MF_FSGetForkSizes(&file, &dataSize, &rsrcSize), noErr);
  EXPECT_EQ(dataSize, 5u);
  EXPECT_EQ(rsrcSize, 0u);
  EXPECT_EQ(MF_FSGetForkSizes(&sub, &dataSize, nullptr), notAFileErr);
  UInt64 logical = 9, physical = 0;
  ItemCount forks = 9;
  ASSERT_EQ(MF_FSGetTotalForkSizes(&file, &logical, &physical, &forks), noErr);
  EXPECT_EQ(logical, 5u);
  EXPECT_EQ(forks, 1u);
  ASSERT_EQ(MF_FSGetTotalForkSizes(&sub, &logical, &physical, &forks), noErr);
  EXPECT_EQ(logical, 0u);
  EXPECT_EQ(forks, 0u);

  UInt8 privs = 0xFF;
  UInt32 perms[4] = {};
  ASSERT_EQ(MF_FSGetUserPrivilegesPermissions(&file, &privs, perms), noErr);
  FSPermissionInfo perm;
  std::memcpy(&perm, perms, sizeof perm);
  EXPECT_EQ(perm.userID, geteuid());
  EXPECT_EQ(privs & kioACUserNotOwnerMask, 0);

  unlink(dir.File("sub/clip.mov").c_str());
  EXPECT_FALSE(MF_FSRefValid(&file));
  EXPECT_EQ(MF_FSGetFileDirName(&file, &name), fnfErr);
  EXPECT_EQ(MF_FSGetFileDirName(&sub, nullptr), paramErr);
}

TEST(GeneralFileSystemHelpers, VolumesOfObjects) {
  bz_test::TempDir dir;
  FSRef folder = RefFor(dir.path());
  FSVolumeRefNum volume = 0;
  ASSERT_EQ(MF_FSGetVRefNum(&folder, &volume), noErr);
  HFSUniStr255 name{};
  UInt64 freeBytes = 0, totalBytes = 0;
  ASSERT_EQ(MF_FSGetVInfo(volume, &name, &freeBytes, &totalBytes), noErr);
  EXPECT_GT(name.length, 0);
  EXPECT_GT(totalBytes, 0u);
  EXPECT_LE(freeBytes, totalBytes);
  UInt16 fsID = 0, signature = 0;
  ASSERT_EQ(MF_FSGetVolFileSystemID(volume, &fsID, &signature), noErr);
  EXPECT_NE(fsID, 0);  // never an HFS volume here

  GetVolParmsInfoBuffer parms{};
  UInt32 actual = 0;
  ASSERT_EQ(MF_FSGetVolParms(volume, 32, &parms, &actual), noErr);
  EXPECT_EQ(actual, 32u);
  EXPECT_EQ(parms.vMVersion, 4);
  EXPECT_EQ(parms.vMServerAdr, 0);  // a local disk
  EXPECT_EQ(MF_FSGetVolParms(volume, 32, nullptr, &actual), paramErr);
  EXPECT_EQ(MF_FSGetVolParms(volume, 32, &parms, nullptr), paramErr);
  EXPECT_EQ(MF_FSCheckLock(&folder), noErr);

  // Every mounted volume, as many as the File Manager lists by index.
  ItemCount listed = 0;
  while (FSGetVolumeInfo(kFSInvalidVolumeRefNum, listed + 1, nullptr, 0, nullptr, nullptr, nullptr) == noErr) ++listed;
  FSRef **refs = nullptr;
  ItemCount count = 0;
  ASSERT_EQ(MF_FSGetMountedVolumes(&refs, &count), noErr);
  ASSERT_NE(refs, nullptr);
  EXPECT_EQ(count, listed);
  EXPECT_EQ(size_t(GetHandleSize(reinterpret_cast<Handle>(refs))), count * sizeof(FSRef));
  bool foundOurs = false;
  for (ItemCount i = 0; i < count; ++i) {
    FSVolumeRefNum v = 0;
    ASSERT_EQ(MF_FSGetVRefNum(&(*refs)[i], &v), noErr);
    foundOurs |= v == volume;
  }
  EXPECT_TRUE(foundOurs);
  DisposeHandle(reinterpret_cast<Handle>(refs));

  // An allocation failure while listing leaves nothing behind.
  PL_FailAllocationAfter(2);
  OSErr err = MF_FSGetMountedVolumes(&refs, &count);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(err, memFullErr);
  EXPECT_EQ(refs, nullptr);
  EXPECT_EQ(count, 0u);
}

TEST(GeneralFileSystemHelpers, FinderFlagsCreatorAndType) {
  bz_test::TempDir dir;
  WriteText(dir.File("mask.pict"), "x");
  mkdir(dir.File("folder").c_str(), 0755);
  FSRef file = RefFor(dir.File("mask.pict")), folder = RefFor(dir.File("folder"));
  SetFileInfo(file, 'PICT', 'ogle', 0);

  // A zero code keeps the present one; the folder learns of the change.
  bz_test::AgeFile(dir.path(), 100);
  const double before = bz_test::ModificationTime(dir.path());
  ASSERT_EQ(MF_FSChangeCreatorType(&file, 0, 'qtif'), noErr);
  FileInfo info = FileInfoOf(file);
  EXPECT_EQ(info.fileType, OSType('qtif'));
  EXPECT_EQ(info.fileCreator, OSType('ogle'));
  EXPECT_GT(bz_test::ModificationTime(dir.path()), before + 50);
  ASSERT_EQ(MF_FSChangeCreatorType(&file, 'Orl1', 0), noErr);
  EXPECT_EQ(FileInfoOf(file).fileType, OSType('qtif'));
  EXPECT_EQ(FileInfoOf(file).fileCreator, OSType('Orl1'));
  EXPECT_EQ(MF_FSChangeCreatorType(&folder, 'Orl1', 'fold'), notAFileErr);

  struct Case {
    const char *label;
    OSErr (*fn)(const FSRef *);
    UInt16 bit;
    bool set;
  } cases[] = {
      {"SetInvisible", MF_FSSetInvisible, kIsInvisible, true},
      {"ClearInvisible", MF_FSClearInvisible, kIsInvisible, false},
      {"SetNameLocked", MF_FSSetNameLocked, kNameLocked, true},
      {"ClearNameLocked", MF_FSClearNameLocked, kNameLocked, false},
      {"SetIsStationery", MF_FSSetIsStationery, kIsStationery, true},
      {"ClearIsStationery", MF_FSClearIsStationery, kIsStationery, false},
      {"SetHasCustomIcon", MF_FSSetHasCustomIcon, kHasCustomIcon, true},
      {"ClearHasCustomIcon", MF_FSClearHasCustomIcon, kHasCustomIcon, false},
  };
  const UInt16 others = kHasBeenInited | kIsShared;
  for (const FSRef *ref : {&file, &folder}) {
    ASSERT_EQ(MF_FSChangeFinderFlags(ref, true, others), noErr);
    for (const Case &c : cases) {
      SCOPED_TRACE(c.label);
      ASSERT_EQ(c.fn(ref), noErr);
      FinderInfo fi{};
      ASSERT_EQ(MF_FSGetFinderInfo(ref, &fi, nullptr, nullptr), noErr);
      EXPECT_EQ((fi.file.finderFlags & c.bit) != 0, c.set);
      EXPECT_EQ(fi.file.finderFlags & others, others);  // the other bits stay
    }
    ASSERT_EQ(MF_FSClearHasBeenInited(ref), noErr);
    FinderInfo fi{};
    Boolean isDir = 2;
    ExtendedFinderInfo ext{};
    ASSERT_EQ(MF_FSGetFinderInfo(ref, &fi, &ext, &isDir), noErr);
    EXPECT_EQ(fi.file.finderFlags, kIsShared);
    EXPECT_EQ(bool(isDir), ref == &folder);
  }
  // Folder information keeps its own layout.
  EXPECT_EQ(FileInfoOf(file).fileType, OSType('qtif'));
}

TEST(GeneralFileSystemHelpers, BumpDateAlwaysMovesTheDateOn) {
  bz_test::TempDir dir;
  FSRef folder = RefFor(dir.path());
  bz_test::AgeFile(dir.path(), 3600);
  auto units = [](const UTCDateTime &d) {
    return (UInt64(d.highSeconds) << 48) | (UInt64(d.lowSeconds) << 16) | d.fraction;
  };
  FSCatalogInfo info{};
  ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoContentMod, &info, nullptr, nullptr, nullptr), noErr);
  UTCDateTime last = info.contentModDate;
  UTCDateTime start{};
  ASSERT_EQ(GetUTCDateTime(&start, 0), noErr);
  // Back to back, so that "now" sometimes is not past the stored date and the bump adds a second.
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(MF_FSBumpDate(&folder), noErr);
    ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoContentMod, &info, nullptr, nullptr, nullptr), noErr);
    EXPECT_GT(units(info.contentModDate), units(last));
    EXPECT_GE(units(info.contentModDate), units(start));
    last = info.contentModDate;
  }
  // A date ahead of now moves on by one second rather than back to now.
  UTCDateTime ahead = last;
  ahead.lowSeconds += 100;
  info.contentModDate = ahead;
  ASSERT_EQ(FSSetCatalogInfo(&folder, kFSCatInfoContentMod, &info), noErr);
  ASSERT_EQ(MF_FSBumpDate(&folder), noErr);
  ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoContentMod, &info, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(units(info.contentModDate), units(ahead) + (UInt64(1) << 16));
  FSRef zero{};
  EXPECT_EQ(MF_FSBumpDate(&zero), errFSBadFSRef);
}

TEST(GeneralFileSystemHelpers, CopyFileMgrAttributes) {
  bz_test::TempDir dir;
  WriteText(dir.File("src"), "a");
  WriteText(dir.File("dst"), "b");
  FSRef src = RefFor(dir.File("src")), dst = RefFor(dir.File("dst"));
  SetFileInfo(src, 'MooV', 'TVOD', kIsInvisible | kHasBeenInited);
  FSCatalogInfo info{};
  info.createDate = {0, 3300000000u, 0};
  info.contentModDate = {0, 3310000000u, 0};
  ASSERT_EQ(FSSetCatalogInfo(&src, kFSCatInfoCreateDate | kFSCatInfoContentMod, &info), noErr);
  chmod(dir.File("src").c_str(), 0640);

  ASSERT_EQ(MF_FSCopyFileMgrAttributes(&src, &dst, false), noErr);
  FileInfo fi = FileInfoOf(dst);
  EXPECT_EQ(fi.fileType, OSType('MooV'));
  EXPECT_EQ(fi.fileCreator, OSType('TVOD'));
  EXPECT_EQ(fi.finderFlags, kIsInvisible);  // not marked as seen by the Finder
  FSCatalogInfo got{};
  ASSERT_EQ(FSGetCatalogInfo(&dst, kFSCatInfoCreateDate | kFSCatInfoContentMod | kFSCatInfoPermissions, &got,
                             nullptr, nullptr, nullptr),
            noErr);
  EXPECT_EQ(got.createDate.lowSeconds, 3300000000u);
  EXPECT_EQ(got.contentModDate.lowSeconds, 3310000000u);
  FSPermissionInfo perm;
  std::memcpy(&perm, got.permissions, sizeof perm);
  EXPECT_EQ(perm.mode & 0777, 0640);
  EXPECT_EQ(ReadText(dir.File("dst")), "b");

  // The lock travels only when asked for.
  if (TryLock(src, true)) {
    ASSERT_EQ(MF_FSCheckLock(&src), fLckdErr);
    ASSERT_EQ(MF_FSCopyFileMgrAttributes(&src, &dst, false), noErr);
    EXPECT_EQ(MF_FSCheckLock(&dst), noErr);
    ASSERT_EQ(MF_FSCopyFileMgrAttributes(&src, &dst, true), noErr);
    EXPECT_EQ(MF_FSCheckLock(&dst), fLckdErr);
    TryLock(src, false);
    TryLock(dst, false);
  }
}

TEST(GeneralFileSystemHelpers, UniqueNamesAreHexadecimalSeeds) {
  bz_test::TempDir one, two;
  FSRef dir1 = RefFor(one.path()), dir2 = RefFor(two.path());
  HFSUniStr255 name{};
  UInt32 seed = 0;
  ASSERT_EQ(MF_GenerateUniqueHFSUniStr(&seed, &dir1, &dir2, &name), noErr);
  EXPECT_EQ(Utf8(name), "00000000");
  EXPECT_EQ(seed, 1u);
  seed = 255;
  ASSERT_EQ(MF_GenerateUniqueHFSUniStr(&seed, &dir1, &dir2, &name), noErr);
  EXPECT_EQ(Utf8(name), "000000FF");
  seed = 0xABCDEF12;
  ASSERT_EQ(MF_GenerateUniqueHFSUniStr(&seed, &dir1, &dir2, &name), noErr);
  EXPECT_EQ(Utf8(name), "ABCDEF12");

  // Names taken in either folder are passed over.
  WriteText(one.File("00000010"), "");
  WriteText(two.File("00000011"), "");
  seed = 0x10;
  ASSERT_EQ(MF_GenerateUniqueHFSUniStr(&seed, &dir1, &dir2, &name), noErr);
  EXPECT_EQ(Utf8(name), "00000012");
  EXPECT_EQ(seed, 0x13u);

  FSRef invalid{};
  seed = 7;
  EXPECT_EQ(MF_GenerateUniqueHFSUniStr(&seed, &invalid, &dir2, &name), errFSBadFSRef);
  EXPECT_EQ(seed, 7u);
}

TEST(GeneralFileSystemHelpers, CopyForkSizesTheTargetToTheSource) {
  bz_test::TempDir dir;
  std::string content(20000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = char(i * 13 + 5);
  for (ByteCount bufferSize : {ByteCount(10000), ByteCount(3000), ByteCount(1)}) {
    SCOPED_TRACE(bufferSize);
    WriteText(dir.File("src"), content);
    WriteText(dir.File("dst"), std::string(50000, 'z'));  // longer than the source
    FSRef src = RefFor(dir.File("src")), dst = RefFor(dir.File("dst"));
    FSIORefNum in = 0, out = 0;
    ASSERT_EQ(FSOpenFork(&src, 0, nullptr, fsRdPerm, &in), noErr);
    ASSERT_EQ(FSOpenFork(&dst, 0, nullptr, fsRdWrPerm, &out), noErr);
    FSSetForkPosition(in, fsFromStart, 777);  // positions are reset
    std::vector<char> buffer(bufferSize);
    EXPECT_EQ(MF_FSCopyFork(in, out, buffer.data(), bufferSize), noErr);
    EXPECT_EQ(MF_FSCopyFork(in, out, nullptr, bufferSize), paramErr);
    EXPECT_EQ(MF_FSCopyFork(in, out, buffer.data(), 0), paramErr);
    FSCloseFork(in);
    FSCloseFork(out);
    EXPECT_EQ(ReadText(dir.File("dst")), content);
  }
  // A failing write is reported.
  FSRef src = RefFor(dir.File("src")), dst = RefFor(dir.File("dst"));
  FSIORefNum in = 0, out = 0;
  ASSERT_EQ(FSOpenFork(&src, 0, nullptr, fsRdPerm, &in), noErr);
  ASSERT_EQ(FSOpenFork(&dst, 0, nullptr, fsRdWrPerm, &out), noErr);
  std::vector<char> buffer(8192);
  PL_FailWritesAfterBytes(9000);
  EXPECT_EQ(MF_FSCopyFork(in, out, buffer.data(), buffer.size()), dskFulErr);
  PL_FailWritesAfterBytes(-1);
  FSCloseFork(in);
  FSCloseFork(out);
}

TEST(GeneralFileSystemHelpers, DirectoryItemsInBatches) {
  bz_test::TempDir dir;
  for (int i = 0; i < 23; ++i) WriteText(dir.File("f" + std::to_string(100 + i)), "");
  FSRef folder = RefFor(dir.path());
  FSRef **refs = nullptr;
  ItemCount count = 0;
  Boolean changed = 2;
  ASSERT_EQ(MF_FSGetDirectoryItems(&folder, &refs, &count, &changed), noErr);
  ASSERT_EQ(count, 23u);
  EXPECT_FALSE(changed);
  for (ItemCount i = 0; i < count; ++i) EXPECT_EQ(PathOf((*refs)[i]), dir.File("f" + std::to_string(100 + i)));
  DisposeHandle(reinterpret_cast<Handle>(refs));

  FSRef file = RefFor(dir.File("f100"));
  refs = reinterpret_cast<FSRef **>(1);
  EXPECT_EQ(MF_FSGetDirectoryItems(&file, &refs, &count, nullptr), errFSNotAFolder);
  EXPECT_EQ(refs, nullptr);
  EXPECT_EQ(count, 0u);
}

struct Visit {
  std::vector<std::string> seen;
  std::string stopAt;
};

Boolean RecordVisit(Boolean, ItemCount level, const FSCatalogInfo *info, const FSRef *ref, const FSSpec *spec,
                    const HFSUniStr255 *name, void *data) {
  auto *visit = static_cast<Visit *>(data);
  EXPECT_EQ(spec, nullptr);
  std::string label = std::to_string(level) + ":" + (name ? Utf8(*name) : std::string("?"));
  if (info->nodeFlags & kFSNodeIsDirectoryMask) label += "/";
  EXPECT_NE(PathOf(*ref), "");
  visit->seen.push_back(label);
  return name && Utf8(*name) == visit->stopAt;
}

TEST(GeneralFileSystemHelpers, IterateContainerWalksDepthFirst) {
  bz_test::TempDir dir;
  mkdir(dir.File("a").c_str(), 0755);
  mkdir(dir.File("a/b").c_str(), 0755);
  WriteText(dir.File("a/b/deep"), "");
  WriteText(dir.File("a/x"), "");
  WriteText(dir.File("z"), "");
  FSRef folder = RefFor(dir.path());

  Visit all;
  ASSERT_EQ(MF_FSIterateContainer(&folder, 0, kFSCatInfoNone, true, true, RecordVisit, &all), noErr);
  EXPECT_EQ(all.seen, (std::vector<std::string>{"1:a/", "2:b/", "3:deep", "2:x", "1:z"}));
  Visit two;
  ASSERT_EQ(MF_FSIterateContainer(&folder, 2, kFSCatInfoNone, false, true, RecordVisit, &two), noErr);
  EXPECT_EQ(two.seen, (std::vector<std::string>{"1:a/", "2:b/", "2:x", "1:z"}));
  Visit stop;
  stop.stopAt = "b";
  ASSERT_EQ(MF_FSIterateContainer(&folder, 0, kFSCatInfoNone, false, true, RecordVisit, &stop), noErr);
  EXPECT_EQ(stop.seen, (std::vector<std::string>{"1:a/", "2:b/"}));
  Visit nameless;
  ASSERT_EQ(MF_FSIterateContainer(&folder, 1, kFSCatInfoNone, false, false, RecordVisit, &nameless), noErr);
  EXPECT_EQ(nameless.seen, (std::vector<std::string>{"1:?/", "1:?"}));
  EXPECT_EQ(MF_FSIterateContainer(&folder, 0, kFSCatInfoNone, false, false, nullptr, nullptr), paramErr);
}

TEST(GeneralFileSystemHelpers, DeleteContainerRemovesTheWholeTree) {
  bz_test::TempDir dir;
  mkdir(dir.File("t").c_str(), 0755);
  mkdir(dir.File("t/a").c_str(), 0755);
  mkdir(dir.File("t/a/b").c_str(), 0755);
  for (const char *f : {"t/one", "t/a/two", "t/a/b/three"}) WriteText(dir.File(f), f);
  FSRef tree = RefFor(dir.File("t"));
  FSRef locked = RefFor(dir.File("t/a/two"));
  TryLock(locked, true);  // unlocked on the way where the privilege allows locking at all

  FSRef file = RefFor(dir.File("t/one"));
  EXPECT_EQ(MF_FSDeleteContainer(&file), dirNFErr);
  ASSERT_EQ(MF_FSDeleteContainerContents(&tree), noErr);
  EXPECT_TRUE(Exists(dir.File("t")));
  EXPECT_FALSE(Exists(dir.File("t/a")));
  EXPECT_FALSE(Exists(dir.File("t/one")));
  mkdir(dir.File("t/again").c_str(), 0755);
  ASSERT_EQ(MF_FSDeleteContainer(&tree), noErr);
  EXPECT_FALSE(Exists(dir.File("t")));
}

TEST(GeneralFileSystemHelpers, MoveRenameObjectUnicode) {
  bz_test::TempDir dir;
  mkdir(dir.File("from").c_str(), 0755);
  mkdir(dir.File("to").c_str(), 0755);
  WriteText(dir.File("from/clip"), "1");
  WriteText(dir.File("to/taken"), "2");
  FSRef clip = RefFor(dir.File("from/clip")), to = RefFor(dir.File("to"));

  // A taken final name undoes the move and the temporary name.
  HFSUniStr255 taken = Name("taken"), fresh = Name("fresh");
  FSRef out{};
  EXPECT_EQ(MF_FSMoveRenameObjectUnicode(&clip, &to, taken.length, taken.unicode, kTextEncodingUnknown, &out), dupFNErr);
  EXPECT_EQ(ReadText(dir.File("from/clip")), "1");
  EXPECT_EQ(ReadText(dir.File("to/taken")), "2");
  EXPECT_EQ(PathOf(clip), dir.File("from/clip"));

  ASSERT_EQ(MF_FSMoveRenameObjectUnicode(&clip, &to, fresh.length, fresh.unicode, kTextEncodingUnknown, &out), noErr);
  EXPECT_EQ(PathOf(out), dir.File("to/fresh"));
  EXPECT_EQ(ReadText(dir.File("to/fresh")), "1");
  EXPECT_FALSE(Exists(dir.File("from/clip")));

  // Without a name it is a plain move.
  FSRef from = RefFor(dir.File("from"));
  ASSERT_EQ(MF_FSMoveRenameObjectUnicode(&out, &from, 0, nullptr, kTextEncodingUnknown, &out), noErr);
  EXPECT_EQ(PathOf(out), dir.File("from/fresh"));

  struct stat here, shm;
  if (stat("/dev/shm", &shm) == 0 && stat(dir.path().c_str(), &here) == 0 && shm.st_dev != here.st_dev) {
    FSRef other = RefFor("/dev/shm");
    EXPECT_EQ(MF_FSMoveRenameObjectUnicode(&out, &other, fresh.length, fresh.unicode, 0, nullptr), diffVolErr);
  }
  // The classic one-step forms are not offered by any volume here.
  EXPECT_EQ(MF_FSMoveRename(&out, &to, 0, nullptr, 0, nullptr), paramErr);
  EXPECT_EQ(MF_FSCopyFile(&out, &to, 0, nullptr, 0, nullptr), paramErr);
}

TEST(GeneralFileSystemHelpers, ExchangeObjectsSwapsContentsInPlace) {
  bz_test::TempDir dir;
  for (bool sameFolder : {true, false}) {
    SCOPED_TRACE(sameFolder ? "same folder" : "two folders");
    const std::string a = dir.File(sameFolder ? "movie.mov" : "one/movie.mov");
    const std::string b = dir.File(sameFolder ? "movie.tmp" : "two/movie.tmp");
    if (!sameFolder) {
      mkdir(dir.File("one").c_str(), 0755);
      mkdir(dir.File("two").c_str(), 0755);
    }
    WriteText(a, "old contents");
    WriteText(b, "new contents");
    FSRef src = RefFor(a), dst = RefFor(b);
    SetFileInfo(src, 'MooV', 'TVOD', kIsStationery);
    SetFileInfo(dst, 'TEMP', 'Orl1', 0);

    FSRef newSrc{}, newDst{};
    ASSERT_EQ(MF_FSExchangeObjectsCompat(&src, &dst, &newSrc, &newDst), noErr);
    EXPECT_EQ(ReadText(a), "new contents");
    EXPECT_EQ(ReadText(b), "old contents");
    EXPECT_EQ(PathOf(newSrc), a);
    EXPECT_EQ(PathOf(newDst), b);
    // Each place keeps its own catalog information.
    EXPECT_EQ(FileInfoOf(newSrc).fileType, OSType('MooV'));
    EXPECT_EQ(FileInfoOf(newSrc).finderFlags, kIsStationery);
    EXPECT_EQ(FileInfoOf(newDst).fileType, OSType('TEMP'));
    // No temporary names are left behind.
    FSRef **items = nullptr;
    ItemCount count = 0;
    FSRef parent{};
    ASSERT_EQ(MF_FSGetParentRef(&newSrc, &parent), noErr);
    ASSERT_EQ(MF_FSGetDirectoryItems(&parent, &items, &count, nullptr), noErr);
    EXPECT_EQ(count, sameFolder ? 2u : 1u);
    DisposeHandle(reinterpret_cast<Handle>(items));
    unlink(a.c_str());
    unlink(b.c_str());
  }
  WriteText(dir.File("f"), "");
  FSRef file = RefFor(dir.File("f")), folder = RefFor(dir.File("one"));
  FSRef x{}, y{};
  EXPECT_EQ(MF_FSExchangeObjectsCompat(&file, &folder, &x, &y), notAFileErr);
  EXPECT_EQ(ReadText(dir.File("f")), "");
}

TEST(GeneralFileSystemHelpers, TempBufferRoundsToPages) {
  struct Case {
    ByteCount asked, expected;
  } cases[] = {{10000, 8192}, {100, 4096}, {0, 4096}, {8192, 8192}};
  for (const Case &c : cases) {
    ByteCount actual = 1;
    Ptr p = MF_FSGetTempBuffer(c.asked, &actual);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(actual, c.expected) << c.asked;
    DisposePtr(p);
  }
  // When the first block cannot be had, a second try settles for what memory can give.
  PL_FailAllocationAfter(1);
  ByteCount actual = 0;
  Ptr p = MF_FSGetTempBuffer(1 << 20, &actual);
  PL_FailAllocationAfter(0);
  ASSERT_NE(p, nullptr);
  EXPECT_GE(actual, 4096u);
  EXPECT_LE(actual, ByteCount(1 << 20));
  EXPECT_EQ(actual % 4096, 0u);
  DisposePtr(p);
  // A single page that cannot be had is not retried.
  PL_FailAllocationAfter(1);
  p = MF_FSGetTempBuffer(4096, &actual);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(actual, 0u);
}

TEST(GeneralFileSystemHelpers, DefaultFolderAndNameMapping) {
  bz_test::TempDir dir;
  WriteText(dir.File("file"), "");
  FSRef folder = RefFor(dir.path()), file = RefFor(dir.File("file"));
  FSRef old{};
  EXPECT_EQ(MF_FSSetDefault(&file, &old), dirNFErr);
  ASSERT_EQ(MF_FSSetDefault(&folder, &old), noErr);
  EXPECT_EQ(bz_test::ReadText("file"), "");
  EXPECT_TRUE(Exists("file"));
  ASSERT_EQ(MF_FSRestoreDefault(&old), noErr);
  EXPECT_FALSE(Exists("file"));

  Str31 name{};
  ASSERT_EQ(MF_FSMapID(0, 0, kOwnerID2Name, name), noErr);
  EXPECT_EQ(name[0], 0);
  ASSERT_EQ(MF_FSMapID(0, SInt32(geteuid()), kOwnerID2Name, name), noErr);
  if (geteuid() != 0) {
    ASSERT_GT(name[0], 0);
    SInt32 id = -1;
    ASSERT_EQ(MF_FSMapName(0, name, kOwnerName2ID, &id), noErr);
    EXPECT_EQ(id, SInt32(geteuid()));
  }
  SInt32 id = -1;
  const unsigned char root[] = "\x04root";
  ASSERT_EQ(MF_FSMapName(0, root, kOwnerName2ID, &id), noErr);
  EXPECT_EQ(id, 0);
  const unsigned char nobody[] = "\x0czz-no-such-u";
  EXPECT_EQ(MF_FSMapName(0, nobody, kGroupName2ID, &id), fnfErr);
  EXPECT_EQ(MF_FSMapID(0, 0, kOwnerName2ID, name), paramErr);
}

TEST(GeneralFileSystemHelpers, ClassicNames) {
  struct Case {
    const char16_t *name;
    TextEncoding hint;
    bool volume;
    OSErr expected;
    const char *classic;  // bytes, when converted
  } cases[] = {
      {u"", kTextEncodingUnknown, false, noErr, ""},
      {u"Clip.mov", kTextEncodingUnknown, false, noErr, "Clip.mov"},
      {u"Caf\u00e9", kTextEncodingUnknown, false, noErr, "Caf\xc3\xa9"},  // the system script is UTF-8
      {u"Caf\u00e9", kTextEncodingMacRoman, false, noErr, "Caf\x8e"},
      {u"\u65e5\u672c", kTextEncodingMacRoman, false, OSErr(kTECUnmappableElementErr), nullptr},
      {u"abcdefghijklmnopqrstuvwxyz01234", kTextEncodingUnknown, false, noErr, "abcdefghijklmnopqrstuvwxyz01234"},
      {u"abcdefghijklmnopqrstuvwxyz012345", kTextEncodingUnknown, false, OSErr(kTECOutputBufferFullStatus), nullptr},
      {u"abcdefghijklmnopqrstuvwxyz0", kTextEncodingMacRoman, true, noErr, "abcdefghijklmnopqrstuvwxyz0"},
      {u"abcdefghijklmnopqrstuvwxyz01", kTextEncodingMacRoman, true, OSErr(kTECOutputBufferFullStatus), nullptr},
  };
  for (const Case &c : cases) {
    const std::u16string name(c.name);
    SCOPED_TRACE(name.size());
    Str31 classic{};
    classic[0] = 99;
    const OSErr err = MF_UnicodeNameGetHFSName(name.size(), reinterpret_cast<const UniChar *>(name.data()), c.hint,
                                               c.volume, classic);
    EXPECT_EQ(err, c.expected);
    if (c.classic == nullptr) {
      EXPECT_EQ(classic[0], 99);  // untouched
      continue;
    }
    EXPECT_EQ(std::string(reinterpret_cast<char *>(classic + 1), classic[0]), c.classic);
    HFSUniStr255 back{};
    ASSERT_EQ(MF_HFSNameGetUnicodeName(classic, c.hint, &back), noErr);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(back.unicode), back.length), name);
  }
}

TEST(GeneralFileSystemHelpers, ClassicCallsAnswerParamErr) {
  bz_test::TempDir dir;
  WriteText(dir.File("f"), "");
  FSRef file = RefFor(dir.File("f"));
  FSSpec spec{};
  SInt32 a = 0, b = 0, c = 0;
  UInt16 size = 0;
  FSVolumeRefNum vol = 0;
  FSRef out{};
  const unsigned char pname[] = "\x01x";
  UInt8 path[64];
  EXPECT_EQ(MF_FSRefMakeFSSpec(&file, &spec), paramErr);
  EXPECT_EQ(MF_FSMakeFSRef(-100, 2, pname, &out), paramErr);
  EXPECT_EQ(MF_FSMakePath(-100, 2, pname, path, sizeof path), paramErr);
  EXPECT_EQ(MF_FSPathMakeFSSpec(reinterpret_cast<const UInt8 *>("/"), &spec, nullptr), paramErr);
  EXPECT_EQ(MF_FSGetDirAccess(&file, &a, &b, &c), paramErr);
  EXPECT_EQ(MF_FSSetDirAccess(&file, a, b, c), paramErr);
  EXPECT_EQ(MF_FSCreateFileIDRef(&file, &a), paramErr);
  EXPECT_EQ(MF_FSResolveFileIDRef(-100, 5, &out), paramErr);
  EXPECT_EQ(MF_FSGetVolMountInfoSize(-100, &size), paramErr);
  EXPECT_EQ(MF_FSGetVolMountInfo(-100, path), paramErr);
  EXPECT_EQ(MF_FSVolumeMount(path, &vol), paramErr);

  // The file of an open fork.
  FSIORefNum fork = 0;
  ASSERT_EQ(FSOpenFork(&file, 0, nullptr, fsRdPerm, &fork), noErr);
  ASSERT_EQ(MF_FileRefNumGetFSRef(fork, &out), noErr);
  EXPECT_EQ(FSCompareFSRefs(&out, &file), noErr);
  FSCloseFork(fork);
  EXPECT_EQ(MF_FileRefNumGetFSRef(fork, &out), rfNumErr);
}

}  // namespace
