// TextEdit records, reading dates and times back from their texts, font scripts, and the classic default
// directory with its move-and-rename.
#include "platform/core/files.h"
#include "platform/core/fonts.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/text_edit.h"
#include "platform/core/toolbox_dates.h"
#include "platform/core/toolbox_strings.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

std::string Text(TEHandle te) { return std::string(*(**te).hText, size_t((**te).teLength)); }

TEST(PlatformTextEdit, InsertDeleteSelectAndCut) {
  const Rect r{0, 0, 100, 200};
  TEHandle te = TENew(&r, &r);
  ASSERT_NE(te, nullptr);
  TESetText("hello world", 11, te);
  EXPECT_EQ(Text(te), "hello world");
  EXPECT_EQ((**te).selStart, 11);
  // Insertion goes before the selection and leaves the selected text selected.
  TESetSelect(6, 11, te);
  TEInsert("big ", 4, te);
  EXPECT_EQ(Text(te), "hello big world");
  EXPECT_EQ((**te).selStart, 10);
  EXPECT_EQ((**te).selEnd, 15);
  TEDelete(te);
  EXPECT_EQ(Text(te), "hello big ");
  EXPECT_EQ((**te).selStart, 10);
  EXPECT_EQ((**te).selEnd, 10);
  // Out-of-range and reversed selections are clamped and ordered.
  TESetSelect(100, 6, te);
  EXPECT_EQ((**te).selStart, 6);
  EXPECT_EQ((**te).selEnd, 10);
  TECut(te);
  EXPECT_EQ(Text(te), "hello ");
  ASSERT_EQ(TEGetScrapLength(), 4);
  EXPECT_EQ(std::string(*TEScrapHandle(), 4), "big ");
  // Deleting an empty selection changes nothing.
  TEDelete(te);
  EXPECT_EQ(Text(te), "hello ");
  TEDeactivate(te);
  EXPECT_EQ((**te).active, 0);
  TEActivate(te);
  EXPECT_EQ((**te).active, 1);
  TEDispose(te);
}

TEST(PlatformTextEdit, LinesHeightAndStyle) {
  const Rect r{0, 0, 100, 200};
  TEHandle te = TENew(&r, &r);
  ASSERT_NE(te, nullptr);
  (**te).lineHeight = 12;
  (**te).txFont = 4;
  (**te).txSize = 9;
  TESetText("one\rtwo\rthree", 13, te);
  EXPECT_EQ((**te).nLines, 3);
  EXPECT_EQ(TEGetHeight(3, 1, te), 36);
  EXPECT_EQ(TEGetHeight(1, 2, te), 24);  // either order
  EXPECT_EQ(TEGetHeight(99, 3, te), 12);  // clamped to the last line
  SInt16 mode = doFont | doSize;
  TextStyle style{};
  style.tsFace = 77;
  EXPECT_TRUE(TEContinuousStyle(&mode, &style, te));
  EXPECT_EQ(style.tsFont, 4);
  EXPECT_EQ(style.tsSize, 9);
  EXPECT_EQ(style.tsFace, 77);  // not asked for, not touched
  EXPECT_EQ(TEGetStyleHandle(te), nullptr);
  TEDispose(te);
  TEDispose(nullptr);
}

TEST(PlatformToolboxDates, DateAndTimeTextsReadBack) {
  DateCacheRecord cache;
  ASSERT_EQ(InitDateCache(&cache), noErr);
  // 2001-01-01 13:04:05 local, classic seconds.
  const UInt32 when = 3061152000u + 13 * 3600 + 4 * 60 + 5;
  struct Case {
    DateForm form;
    bool isLong;
  } cases[] = {{shortDate, false}, {abbrevDate, false}, {longDate, true}};
  for (const Case &c : cases) {
    Str255 text;
    DateString(when, c.form, text, nullptr);
    LongDateRec rec{};
    SInt32 used = -1;
    const StringToDateStatus status = StringToDate(reinterpret_cast<Ptr>(text + 1), text[0], &cache, &used, &rec);
    SCOPED_TRACE(std::string(reinterpret_cast<char *>(text + 1), text[0]));
    EXPECT_EQ(status, c.isLong ? longDateFound : 0);
    EXPECT_EQ(used, text[0]);
    EXPECT_EQ(rec.ld.year, 2001);
    EXPECT_EQ(rec.ld.month, 1);
    EXPECT_EQ(rec.ld.day, 1);
    EXPECT_EQ(rec.ld.hour, 0);  // a date leaves the time alone
  }
  Str255 text;
  TimeString(when, true, text, nullptr);
  std::string withTail(reinterpret_cast<char *>(text + 1), text[0]);
  const SInt32 timeLength = SInt32(withTail.size());
  withTail += " tail";
  LongDateRec rec{};
  rec.ld.year = 1999;
  SInt32 used = 0;
  EXPECT_EQ(StringToTime(withTail.data(), SInt32(withTail.size()), &cache, &used, &rec), leftOverChars);
  EXPECT_EQ(used, timeLength);
  EXPECT_EQ(rec.ld.hour, 13);
  EXPECT_EQ(rec.ld.minute, 4);
  EXPECT_EQ(rec.ld.second, 5);
  EXPECT_EQ(rec.ld.year, 1999);
  char junk[] = "no date here";
  EXPECT_EQ(StringToDate(junk, SInt32(std::strlen(junk)), &cache, &used, &rec), dateTimeNotFound);
  EXPECT_EQ(used, 0);
  EXPECT_EQ(StringToTime(junk, 0, &cache, &used, &rec), dateTimeNotFound);
}

TEST(PlatformFonts, ScriptsAndFontInstances) {
  EXPECT_EQ(FontToScript(4), 0);
  CharByteTable table;
  std::memset(table, 1, sizeof table);
  EXPECT_TRUE(FillParseTable(table, 0));
  for (char b : table) ASSERT_EQ(b, 0);
  EXPECT_FALSE(FillParseTable(table, 1));
  FMFont font = 0;
  FMFontStyle intrinsic = 5;
  EXPECT_EQ(FMGetFontFromFontFamilyInstance(21, 1, &font, &intrinsic), noErr);
  EXPECT_EQ(font, 21u);
  EXPECT_EQ(intrinsic, 0);
  EXPECT_EQ(FMGetFontFromFontFamilyInstance(999, 0, &font, &intrinsic), kFMInvalidFontFamilyErr);
}

void WriteFile(const std::string &path, const char *text) { std::ofstream(path) << text; }

bool Exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

SInt32 DirIDOf(const std::string &path) {
  FSRef ref;
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr), noErr);
  FSCatalogInfo info{};
  EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNodeID, &info, nullptr, nullptr, nullptr), noErr);
  return SInt32(info.nodeID);
}

TEST(PlatformFiles, DefaultDirectoryAndMoveRename) {
  bz_test::TempDir dir;
  ASSERT_EQ(mkdir(dir.File("a").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.File("b").c_str(), 0755), 0);
  WriteFile(dir.File("a/clip.mov"), "data");
  WriteFile(dir.File("b/taken.mov"), "keep");
  FSVolumeRefNum savedVol = 0;
  SInt32 savedDir = 0;
  Str255 volName;
  ASSERT_EQ(HGetVol(volName, &savedVol, &savedDir), noErr);
  EXPECT_LT(savedVol, 0);
  EXPECT_GT(volName[0], 0);

  const SInt32 a = DirIDOf(dir.File("a")), b = DirIDOf(dir.File("b"));
  ASSERT_EQ(HSetVol(nullptr, 0, a), noErr);
  FSVolumeRefNum vol = 0;
  SInt32 cur = 0;
  ASSERT_EQ(HGetVol(nullptr, &vol, &cur), noErr);
  EXPECT_EQ(cur, a);
  EXPECT_EQ(HSetVol(nullptr, 0, 0x7ffffff0), dirNFErr);

  Str255 name, newName, taken;
  c2pstrcpy(name, "clip.mov");
  c2pstrcpy(newName, "renamed.mov");
  c2pstrcpy(taken, "taken.mov");
  HParamBlockRec pb{};
  // Onto a name the destination holds: nothing moves.
  pb.copyParam.ioNamePtr = name;
  pb.copyParam.ioDirID = 0;  // the default directory, a
  pb.copyParam.ioNewDirID = b;
  pb.copyParam.ioCopyName = taken;
  EXPECT_EQ(PBHMoveRenameSync(&pb), dupFNErr);
  EXPECT_EQ(pb.copyParam.ioResult, dupFNErr);
  EXPECT_TRUE(Exists(dir.File("a/clip.mov")));
  // Moved and renamed in one step.
  pb.copyParam.ioCopyName = newName;
  EXPECT_EQ(PBHMoveRenameSync(&pb), noErr);
  EXPECT_FALSE(Exists(dir.File("a/clip.mov")));
  EXPECT_TRUE(Exists(dir.File("b/renamed.mov")));
  // Keeping the name, into a folder named inside the destination directory.
  Str255 sub;
  c2pstrcpy(sub, "a");
  pb.copyParam.ioNamePtr = newName;
  pb.copyParam.ioDirID = b;
  pb.copyParam.ioNewDirID = DirIDOf(dir.path());
  pb.copyParam.ioNewName = sub;
  pb.copyParam.ioCopyName = nullptr;
  EXPECT_EQ(PBHMoveRenameSync(&pb), noErr);
  EXPECT_TRUE(Exists(dir.File("a/renamed.mov")));
  // Bad names and a missing source.
  Str255 bad;
  c2pstrcpy(bad, "x/y");
  pb.copyParam.ioNamePtr = bad;
  EXPECT_EQ(PBHMoveRenameSync(&pb), bdNamErr);
  pb.copyParam.ioNamePtr = name;
  EXPECT_EQ(PBHMoveRenameSync(&pb), fnfErr);
  EXPECT_EQ(PBHMoveRenameSync(nullptr), paramErr);
  // A folder cannot move into itself.
  pb.copyParam.ioNamePtr = sub;
  pb.copyParam.ioDirID = DirIDOf(dir.path());
  pb.copyParam.ioNewDirID = a;
  pb.copyParam.ioNewName = nullptr;
  EXPECT_EQ(PBHMoveRenameSync(&pb), badMovErr);

  EXPECT_EQ(HSetVol(nullptr, savedVol, savedDir), noErr);
}

}  // namespace
