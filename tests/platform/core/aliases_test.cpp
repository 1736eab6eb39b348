// The alias stand-in: resolution by path, then by inode inside the recorded folder; damaged records.
#include "platform/core/aliases.h"

#include "platform/core/core_foundation.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "support/cf_check.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using bz_test::PathOf;
using bz_test::RefFor;
using bz_test::WriteText;

struct AliasHolder {
  AliasHandle h = nullptr;
  ~AliasHolder() { DisposeHandle(reinterpret_cast<Handle>(h)); }
};

TEST(PlatformAliases, ResolvesAfterRenameInItsFolderAndReportsTheChange) {
  bz_test::TempDir dir;
  WriteText(dir.File("clip.mov"), "movie");
  FSRef file = RefFor(dir.File("clip.mov"));
  AliasHolder alias;
  ASSERT_EQ(FSNewAlias(nullptr, &file, &alias.h), noErr);

  FSRef found;
  Boolean changed = true;
  ASSERT_EQ(FSResolveAlias(nullptr, alias.h, &found, &changed), noErr);
  EXPECT_EQ(PathOf(found), dir.File("clip.mov"));
  EXPECT_FALSE(changed);

  ASSERT_EQ(std::rename(dir.File("clip.mov").c_str(), dir.File("renamed.mov").c_str()), 0);
  ASSERT_EQ(FSResolveAliasWithMountFlags(nullptr, alias.h, &found, &changed, kResolveAliasFileNoUI), noErr);
  EXPECT_EQ(PathOf(found), dir.File("renamed.mov"));
  EXPECT_TRUE(changed);

  ASSERT_EQ(FSUpdateAlias(nullptr, &found, alias.h, &changed), noErr);
  EXPECT_TRUE(changed);
  ASSERT_EQ(FSUpdateAlias(nullptr, &found, alias.h, &changed), noErr);
  EXPECT_FALSE(changed) << "a second update of the same file changes nothing";
  ASSERT_EQ(FSResolveAlias(nullptr, alias.h, &found, &changed), noErr);
  EXPECT_EQ(PathOf(found), dir.File("renamed.mov"));
  EXPECT_FALSE(changed);

  HFSUniStr255 name;
  CFStringRef path = nullptr;
  FSAliasInfoBitmap which = 0;
  FSAliasInfo info;
  ASSERT_EQ(FSCopyAliasInfo(alias.h, &name, nullptr, &path, &which, &info), noErr);
  EXPECT_EQ(bz_test::Utf8(name), "renamed.mov");
  EXPECT_EQ(bz_test::CFText(path), dir.File("renamed.mov"));
  EXPECT_FALSE(info.isDirectory);
  EXPECT_NE(which & kFSAliasInfoIDs, 0u);
  CFRelease(path);
}

TEST(PlatformAliases, PathWinsAndAReplacedFileCountsAsChanged) {
  bz_test::TempDir dir;
  WriteText(dir.File("a"), "old");
  FSRef file = RefFor(dir.File("a"));
  AliasHolder alias;
  ASSERT_EQ(FSNewAlias(nullptr, &file, &alias.h), noErr);
  // A safe save puts a new file (new inode) in the old one's place.
  WriteText(dir.File("a.new"), "new");
  ASSERT_EQ(std::rename(dir.File("a.new").c_str(), dir.File("a").c_str()), 0);
  FSRef found;
  Boolean changed = false;
  ASSERT_EQ(FSResolveAlias(nullptr, alias.h, &found, &changed), noErr);
  EXPECT_EQ(PathOf(found), dir.File("a"));
  EXPECT_TRUE(changed);
}

TEST(PlatformAliases, NotFoundOutsideTheRecordedFolder) {
  bz_test::TempDir dir;
  mkdir(dir.File("sub").c_str(), 0700);
  WriteText(dir.File("a"), "x");
  FSRef file = RefFor(dir.File("a"));
  AliasHolder alias;
  ASSERT_EQ(FSNewAlias(nullptr, &file, &alias.h), noErr);
  ASSERT_EQ(std::rename(dir.File("a").c_str(), dir.File("sub/a").c_str()), 0);
  FSRef found;
  Boolean changed = false;
  EXPECT_EQ(FSResolveAlias(nullptr, alias.h, &found, &changed), fnfErr);
  std::remove(dir.File("sub/a").c_str());
  EXPECT_EQ(FSResolveAlias(nullptr, alias.h, &found, &changed), fnfErr);
}

TEST(PlatformAliases, FolderAliasAndBadArguments) {
  bz_test::TempDir dir;
  mkdir(dir.File("folder").c_str(), 0700);
  FSRef folder = RefFor(dir.File("folder"));
  AliasHolder alias;
  ASSERT_EQ(FSNewAliasMinimal(&folder, &alias.h), noErr);
  FSAliasInfo info;
  ASSERT_EQ(FSCopyAliasInfo(alias.h, nullptr, nullptr, nullptr, nullptr, &info), noErr);
  EXPECT_TRUE(info.isDirectory);

  FSRef zero{};
  AliasHandle none = reinterpret_cast<AliasHandle>(1);
  EXPECT_NE(FSNewAlias(nullptr, &zero, &none), noErr);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(FSNewAlias(nullptr, &folder, nullptr), paramErr);
}

// Records are stored in preferences that a user can edit: every damaged record is refused, nothing crashes.
TEST(PlatformAliases, DamagedRecordsGiveParamErr) {
  bz_test::TempDir dir;
  WriteText(dir.File("a"), "x");
  FSRef file = RefFor(dir.File("a"));
  AliasHolder good;
  ASSERT_EQ(FSNewAlias(nullptr, &file, &good.h), noErr);
  Handle g = reinterpret_cast<Handle>(good.h);
  const std::string record(*g, size_t(GetHandleSize(g)));

  std::string wrongType = record;
  const size_t inode = wrongType.find("<key>Inode</key>");
  ASSERT_NE(inode, std::string::npos);
  const size_t open = wrongType.find("<integer>", inode), close = wrongType.find("</integer>", inode);
  wrongType.replace(open, close + 10 - open, "<string>7</string>");
  std::string relativePath = record;
  const size_t pathAt = relativePath.find("<string>/");
  ASSERT_NE(pathAt, std::string::npos);
  relativePath.erase(pathAt + 8, 1);
  const std::string cases[] = {record.substr(0, record.size() / 2), "", "garbage", wrongType, relativePath};
  for (const std::string &bytes : cases) {
    SCOPED_TRACE(bytes);
    Handle h = nullptr;
    ASSERT_EQ(PtrToHand(bytes.data(), &h, Size(bytes.size())), noErr);
    AliasHolder bad;
    bad.h = reinterpret_cast<AliasHandle>(h);
    FSRef found;
    Boolean changed = false;
    EXPECT_EQ(FSResolveAlias(nullptr, bad.h, &found, &changed), paramErr);
    EXPECT_EQ(FSCopyAliasInfo(bad.h, nullptr, nullptr, nullptr, nullptr, nullptr), paramErr);
  }
  FSRef found;
  Boolean changed = false;
  EXPECT_EQ(FSResolveAlias(nullptr, nullptr, &found, &changed), paramErr);
}

}  // namespace
