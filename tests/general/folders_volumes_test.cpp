// Folder scans, volume questions, aliases, the classic preferences file and resource maps.
#include "general/folders_volumes.h"

#include "general/error_keys.h"
#include "general/memory_lists.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

using bz_test::Name;
using bz_test::PathOf;
using bz_test::RefFor;
using bz_test::WriteText;

FSVolumeRefNum VolumeOfPath(const std::string &path) {
  FSRef ref = RefFor(path);
  FSCatalogInfo info;
  EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoVolume, &info, nullptr, nullptr, nullptr), noErr);
  return info.volume;
}

TEST(GeneralFolderScan, IsFileInFolderIgnoresCase) {
  bz_test::TempDir dir;
  mkdir(dir.File("empty").c_str(), 0700);
  mkdir(dir.File("full").c_str(), 0700);
  for (int i = 0; i < 25; ++i) WriteText(dir.File("full/f" + std::to_string(i)), "x");  // several bulk requests
  WriteText(dir.File("full/clip.MOV"), "x");
  FSRef full = RefFor(dir.File("full")), empty = RefFor(dir.File("empty"));
  const HFSUniStr255 wanted = Name("Clip.mov");

  FSRef file{};
  Boolean found = false;
  ASSERT_EQ(GL_IsFileInFolder(&full, &wanted, &file, &found), noErr);
  EXPECT_TRUE(found);
  EXPECT_EQ(PathOf(file), dir.File("full/clip.MOV"));
  EXPECT_FALSE(GL_IsFileNameInFolder(&full, &wanted)) << "an exact name is needed here";
  const HFSUniStr255 exact = Name("clip.MOV");
  EXPECT_TRUE(GL_IsFileNameInFolder(&full, &exact));

  found = true;
  ASSERT_EQ(GL_IsFileInFolder(&empty, &wanted, nullptr, &found), noErr);
  EXPECT_FALSE(found);
  FSRef fileRef = RefFor(dir.File("full/f1"));
  found = true;
  EXPECT_NE(GL_IsFileInFolder(&fileRef, &wanted, nullptr, &found), noErr);
  EXPECT_FALSE(found);
}

TEST(GeneralFolderScan, ExtensionsAreCountedCaseSensitivelyAndListedWithinCapacity) {
  bz_test::TempDir dir;
  WriteText(dir.File("a.kbzoel"), "x");
  WriteText(dir.File("b.kbzoel"), "x");
  WriteText(dir.File("c.kbzoel"), "x");
  mkdir(dir.File("x.kbzoel").c_str(), 0700);
  WriteText(dir.File("a.KBZOEL"), "x");
  WriteText(dir.File("movie.mov"), "x");
  FSRef folder = RefFor(dir.path());

  UInt32 count = 0;
  ASSERT_EQ(GL_CountFilesWithExtension(&folder, CFSTR("kbzoel"), &count), noErr);
  EXPECT_EQ(count, 4u);

  FSRef all[5];
  ASSERT_EQ(GL_ListFilesWithExtension(&folder, CFSTR("kbzoel"), all, 5, &count), noErr);
  ASSERT_EQ(count, 4u);
  EXPECT_EQ(PathOf(all[0]), dir.File("a.kbzoel"));
  EXPECT_EQ(PathOf(all[3]), dir.File("x.kbzoel"));

  // A folder that gained files after counting: the list stops at the capacity it was given.
  FSRef two[3];
  std::memset(two, 0xAB, sizeof two);
  ASSERT_EQ(GL_ListFilesWithExtension(&folder, CFSTR("kbzoel"), two, 2, &count), noErr);
  EXPECT_EQ(count, 2u);
  UInt8 guard[sizeof(FSRef)];
  std::memset(guard, 0xAB, sizeof guard);
  EXPECT_EQ(std::memcmp(&two[2], guard, sizeof guard), 0) << "nothing written past the capacity";
  ASSERT_EQ(GL_ListFilesWithExtension(&folder, CFSTR("kbzoel"), nullptr, 0, &count), noErr);
  EXPECT_EQ(count, 0u);

  GL_FSRefLE *list = nullptr;
  ASSERT_EQ(GL_MakeFolderFileList(&folder, &list), noErr);
  EXPECT_EQ(LL_PtrListCount(list), 6);
  LL_DisposeLinkedList(&list);
}

TEST(GeneralFolderScan, SameNameWithOtherExtensions) {
  bz_test::TempDir dir;
  for (const char *n : {"movie.mov", "movie.kbzoel", "movie", "movie.longextension", "Movie.txt", "other.mov"}) {
    WriteText(dir.File(n), "x");
  }
  FSRef file = RefFor(dir.File("movie.mov"));
  FSRef found[4];
  UInt32 count = 0;
  ASSERT_EQ(GL_FindFilesWithSameNameInSameFolder(&file, found, 4, &count), noErr);
  std::set<std::string> names;
  for (UInt32 i = 0; i < count; ++i) names.insert(PathOf(found[i]));
  EXPECT_EQ(names, (std::set<std::string>{dir.File("movie"), dir.File("movie.kbzoel")}));
  ASSERT_EQ(GL_FindFilesWithSameNameInSameFolder(&file, found, 1, &count), noErr);
  EXPECT_EQ(count, 1u);
}

TEST(GeneralFolderScan, FindFolderInFolder) {
  bz_test::TempDir dir;
  WriteText(dir.File("file"), "x");
  FSRef parent = RefFor(dir.path());
  FSRef folder;
  EXPECT_EQ(GL_FindFolderInFolder(&parent, CFSTR("file"), &folder, true), fnfErr) << "a file is not a folder";
  EXPECT_EQ(GL_FindFolderInFolder(&parent, CFSTR("Edits"), &folder, false), fnfErr);
  ASSERT_EQ(GL_FindFolderInFolder(&parent, CFSTR("Edits"), &folder, true), noErr);
  EXPECT_EQ(PathOf(folder), dir.File("Edits"));
  FSRef again;
  ASSERT_EQ(GL_FindFolderInFolder(&parent, CFSTR("Edits"), &again, false), noErr);
  EXPECT_EQ(FSCompareFSRefs(&folder, &again), noErr);
}

TEST(GeneralVolumes, NamesAndLookups) {
  bz_test::TempDir dir;
  const FSVolumeRefNum volume = VolumeOfPath(dir.path());
  FSRef object = RefFor(dir.path());
  HFSUniStr255 name;
  ASSERT_EQ(GL_GetVolumeNameFromFSRef(&object, &name), noErr);
  EXPECT_GT(name.length, 0);
  CFStringRef cfName = nullptr;
  ASSERT_EQ(GL_GetVolumeNameFromFSRefAsCFStr(&object, &cfName), noErr);
  EXPECT_EQ(CFStringGetLength(cfName), name.length);
  CFRelease(cfName);

  FSVolumeRefNum byName = 0;
  ASSERT_EQ(GL_GetVolumeByName(&name, &byName), noErr);
  EXPECT_NE(byName, 0);
  const HFSUniStr255 unknown = Name("no such volume \u2603");
  byName = 5;
  EXPECT_EQ(GL_GetVolumeByName(&unknown, &byName), noErr);
  EXPECT_EQ(byName, 0);

  Boolean network = true;
  EXPECT_EQ(GL_IsNetworkVolume(nullptr, 0, &network), paramErr);
  ASSERT_EQ(GL_IsNetworkVolume(nullptr, volume, &network), noErr);

  UInt64 freeBytes = 0;
  ASSERT_EQ(GL_GetFreeSpace(volume, &freeBytes), noErr);
  EXPECT_GT(freeBytes, 0u);
  FSRef root;
  ASSERT_EQ(GL_GetVolumeRef(volume, &root), noErr);
  Boolean isVolume = false;
  ASSERT_EQ(GL_IsVolume(&root, &isVolume), noErr);
  EXPECT_TRUE(isVolume);
  Boolean same = false;
  FSRef other = RefFor(dir.path());
  ASSERT_EQ(GL_FileObjectsOnSameVolume(&root, &other, &same), noErr);
  EXPECT_TRUE(same);

  char device[256];
  ASSERT_EQ(GL_VolumeToBSDNodeName(volume, device), noErr);
  EXPECT_GT(std::strlen(device), 0u);
  ASSERT_EQ(GL_VolumesOnSameDisk(volume, volume, &same), noErr);
  EXPECT_TRUE(same);
  Boolean hfsPlus = true;
  ASSERT_EQ(GL_IsHFSPlusVolume(volume, &hfsPlus, nullptr), noErr);
  EXPECT_FALSE(hfsPlus);

  FSVolumeRefNum startup = 0;
  ASSERT_EQ(GL_GetStartupVolumeRefNum(&startup), noErr);
  EXPECT_EQ(startup, VolumeOfPath("/"));
  EXPECT_EQ(GL_GetVolumeName(FSVolumeRefNum(-1), &name), nsvErr);
  EXPECT_NE(GL_GetVolumeKind(&object), kGL_VolKindLocalApple);
}

TEST(GeneralVolumes, ListsAreReducedAndSortedStably) {
  bz_test::TempDir dir;
  const FSVolumeRefNum volume = VolumeOfPath(dir.path());
  GL_VolumeLE *list = nullptr;
  ASSERT_EQ(GL_MakeVolumeList(&list), noErr);
  EXPECT_TRUE(GL_IsInVolumeList(volume, nullptr, list));
  GL_VolumeLE *element = GL_FindInVolumeList(volume, nullptr, list);
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(GL_FindInVolumeList(0, &element->name, list)->vRefNum, element->vRefNum);
  ASSERT_EQ(GL_ReduceToSaveableVolumesList(&list, ~UInt64(0), true), noErr);
  EXPECT_EQ(list, nullptr) << "no volume has that much free space";

  // Three entries of one volume: equal free space keeps their order.
  for (const char *n : {"first", "second", "third"}) {
    GL_VolumeLE *e = nullptr;
    ASSERT_EQ(LL_AddNewPtr(sizeof(GL_VolumeLE), nullptr, &list, &e), noErr);
    e->vRefNum = volume;
    e->name = Name(n);
  }
  ASSERT_EQ(GL_SortVolumeListByFreeSize(&list), noErr);
  EXPECT_EQ(bz_test::Utf8(list->name), "first");
  EXPECT_EQ(bz_test::Utf8(list->next->next->name), "third");
  list->next->vRefNum = FSVolumeRefNum(-1);
  EXPECT_EQ(GL_SortVolumeListByFreeSize(&list), nsvErr);
  LL_DisposeLinkedList(&list);
}

TEST(GeneralVolumes, SearchesAndPrivileges) {
  bz_test::TempDir dir;
  mkdir(dir.File("sub").c_str(), 0700);
  FSRef container = RefFor(dir.path());
  Boolean writable = false;
  ASSERT_EQ(GL_UserHasWritePrivilegeToSomeFolder(&container, 2, 5, &writable), noErr);
  EXPECT_TRUE(writable);
  UInt8 access = 0xFF;
  ASSERT_EQ(GL_GetDirAccess(&container, &access), noErr);
  EXPECT_EQ(access & kioACUserNoMakeChangesMask, 0);

  // A search of the whole volume looks at the root's own objects first.
  const FSVolumeRefNum volume = VolumeOfPath(dir.path());
  FSRef root;
  ASSERT_EQ(GL_GetVolumeRef(volume, &root), noErr);
  FSIterator it;
  ASSERT_EQ(FSOpenIterator(&root, kFSIterateFlat, &it), noErr);
  ItemCount n = 0;
  FSRef firstRef;
  HFSUniStr255 firstName;
  FSCatalogInfo info;
  ASSERT_EQ(FSGetCatalogInfoBulk(it, 1, &n, nullptr, kFSCatInfoNodeID, &info, &firstRef, nullptr, &firstName), noErr);
  FSCloseIterator(it);
  FSRef found;
  ASSERT_EQ(GL_FindObjectByName(volume, &firstName, &found), noErr);
  EXPECT_EQ(FSCompareFSRefs(&found, &firstRef), noErr);
  ASSERT_EQ(GL_FindObjectByNodeID(volume, info.nodeID, &found), noErr);
  EXPECT_EQ(FSCompareFSRefs(&found, &firstRef), noErr);
  EXPECT_EQ(GL_FindObjectByName(FSVolumeRefNum(-1), &firstName, &found), nsvErr);
  EXPECT_TRUE(bz_test::IsZeroRef(found));
}

TEST(GeneralAliases, ComparisonNamesAndSilentResolution) {
  bz_test::TempDir dir;
  mkdir(dir.File("Project").c_str(), 0700);
  WriteText(dir.File("Project/a.mov"), "a");
  WriteText(dir.File("Project/b.mov"), "b");
  FSRef a = RefFor(dir.File("Project/a.mov")), b = RefFor(dir.File("Project/b.mov"));
  AliasHandle aliasA = nullptr, aliasA2 = nullptr, aliasB = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &a, &aliasA), noErr);
  ASSERT_EQ(FSNewAlias(nullptr, &a, &aliasA2), noErr);
  ASSERT_EQ(FSNewAlias(nullptr, &b, &aliasB), noErr);
  OSStatus err = -1;
  EXPECT_TRUE(GL_EqualAlias(aliasA, aliasA2, &err));
  EXPECT_EQ(err, noErr);
  EXPECT_FALSE(GL_EqualAlias(aliasA, aliasB, &err));
  Boolean same = false;
  ASSERT_EQ(GL_AliasesOnSameSystem(aliasA, aliasB, &same), noErr);
  EXPECT_TRUE(same);
  ASSERT_EQ(GL_FileObjectsOnSameSystem(&a, &b, &same), noErr);
  EXPECT_TRUE(same);

  GL_AliasNames names;
  ASSERT_EQ(GL_GetAliasNames(aliasA, &names), noErr);
  EXPECT_EQ(bz_test::Utf8(names.name), "a.mov");
  EXPECT_EQ(bz_test::Utf8(names.parentName), "Project");
  EXPECT_GT(names.volumeName.length, 0);

  // Damaged records: an error, never success with the names untouched.
  Handle junk = nullptr;
  ASSERT_EQ(PtrToHand("junk", &junk, 4), noErr);
  names.name.length = 77;
  EXPECT_EQ(GL_GetAliasNames(reinterpret_cast<AliasHandle>(junk), &names), paramErr);
  EXPECT_EQ(names.name.length, 77);
  EXPECT_FALSE(GL_EqualAlias(aliasA, reinterpret_cast<AliasHandle>(junk), &err));
  EXPECT_EQ(err, paramErr);

  // A move within the recorded folder: found, and the alias is brought up to date.
  ASSERT_EQ(std::rename(dir.File("Project/a.mov").c_str(), dir.File("Project/a renamed.mov").c_str()), 0);
  FSRef target;
  ASSERT_EQ(GL_ResolveAliasSilently(aliasA, &target), noErr);
  EXPECT_EQ(PathOf(target), dir.File("Project/a renamed.mov"));
  Boolean changed = true;
  ASSERT_EQ(GL_ResolveAlias(aliasA, &target, &changed), noErr);
  EXPECT_FALSE(changed);

  GL_AliasLE *list = nullptr;
  GL_AliasLE *e = nullptr;
  ASSERT_EQ(LL_AddNewPtr(sizeof(GL_AliasLE), nullptr, &list, &e), noErr);
  e->alias = aliasA2;
  ASSERT_EQ(LL_AddNewPtr(sizeof(GL_AliasLE), nullptr, &list, &e), noErr);
  e->alias = aliasB;
  GL_FSRefLE *resolved = nullptr;
  ASSERT_EQ(GL_ResolveAliasList(list, &resolved), noErr);
  ASSERT_EQ(LL_PtrListCount(resolved), 2);
  EXPECT_EQ(PathOf(resolved->fileRef), dir.File("Project/a renamed.mov"));
  EXPECT_EQ(PathOf(resolved->next->fileRef), dir.File("Project/b.mov"));
  EXPECT_TRUE(GL_EqualALiasProc(list, list));
  LL_DisposeLinkedList(&resolved);
  while (list != nullptr) {
    GL_AliasLE *first = list;
    LL_RemovePtr(first, &list);
    GL_DisposeAliasLE(&first);
  }
  DisposeHandle(reinterpret_cast<Handle>(aliasA));
  DisposeHandle(junk);
}

TEST(GeneralPrefsFile, ClassicPreferencesFileCannotBeMade) {
  bz_test::TempDir dir;
  bz_test::FakeHome home(dir.path());
  FSRef file;
  std::memset(&file, 0xAB, sizeof file);
  EXPECT_EQ(GL_GetPrefsFile(CFSTR("Brizel Prefs"), false, &file), fnfErr) << "no Preferences folder yet";
  EXPECT_TRUE(bz_test::IsZeroRef(file));
  mkdir((dir.path() + "/.config").c_str(), 0700);
  mkdir((dir.path() + "/.config/brizel").c_str(), 0700);
  EXPECT_EQ(GL_GetPrefsFile(CFSTR("Brizel Prefs"), false, &file), kGL_PrefsFileNotFoundErr);
  EXPECT_TRUE(bz_test::IsZeroRef(file));
  // A resource map cannot be given to a Linux file: an error, and no half-made file left behind.
  EXPECT_NE(GL_GetPrefsFile(CFSTR("Brizel Prefs"), true, &file), noErr);
  EXPECT_TRUE(bz_test::IsZeroRef(file));
  EXPECT_FALSE(bz_test::Exists(dir.path() + "/.config/brizel/Brizel Prefs"));

  WriteText(dir.path() + "/.config/brizel/brizel prefs", "old");
  ASSERT_EQ(GL_FindPrefsFile(CFSTR("Brizel Prefs"), &file), noErr);
  ResFileRefNum resFile = 0;
  EXPECT_EQ(GL_GetAndOpenPrefsFile(CFSTR("Brizel Prefs"), false, &file, &resFile), eofErr);
  EXPECT_EQ(resFile, -1);
}

TEST(GeneralResourceMaps, FilesAnswerAsWithAnEmptyResourceFork) {
  bz_test::TempDir dir;
  WriteText(dir.File("file"), "data");
  FSRef file = RefFor(dir.File("file"));
  Handle h = reinterpret_cast<Handle>(1);
  ResID id = 0;
  EXPECT_EQ(GL_Get1ResourceFromFile(0, &file, 'vers', 1, &id, &h), eofErr);
  EXPECT_EQ(h, nullptr);
  void *block = reinterpret_cast<void *>(1);
  size_t size = 3;
  EXPECT_EQ(GL_Get1PtrResourceFromFile(0, &file, 'alis', 0, &id, &block, &size), eofErr);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(GL_AddPtrResourceToFile(0, &file, "abc", 3, 'TEXT', &id), eofErr);
  SInt16 count = 9;
  EXPECT_EQ(GL_CountResourcesInFile(0, &file, 0, &count), eofErr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(GL_ShiftResourcesInFile(0, &file, "abc", 3, 'TEXT', 128, 5), eofErr);
  EXPECT_EQ(GL_AddAliasResource(0, &file, &file, &id), eofErr);
  UInt32 version = 0;
  EXPECT_EQ(GL_GetFileVersion(&file, 3, &version, nullptr, nullptr, nullptr), paramErr);
  EXPECT_EQ(GL_GetFileVersion(&file, 1, &version, nullptr, nullptr, nullptr), eofErr);
  EXPECT_EQ(bz_test::ReadText(dir.File("file")), "data");

  // The application's own map is empty.
  EXPECT_FALSE(GL_ResourceExists(0, 'vers', 1, &id, nullptr));
  EXPECT_EQ(GL_Get1Resource(0, 'vers', 0, nullptr, &h), resNotFound);
  EXPECT_EQ(GL_ResError(nullptr), resNotFound);
  Handle empty = NewHandle(0);
  EXPECT_EQ(GL_AddResource(0, empty, 'TEXT', &id), nilHandleErr);
  DisposeHandle(empty);
  EXPECT_EQ(GL_RemoveResourcesOfType('TEXT', 0, true), noErr) << "nothing to remove";
  EXPECT_EQ(GL_RezWack(), paramErr);
}

}  // namespace
