// Text objects without a display: data and privileges, selection, attribute runs, find, files and Munger.
#include "platform/core/multilingual_text.h"

#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/file_urls.h"
#include "platform/core/files.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct TextObject {
  TXNObject object = nullptr;
  explicit TextObject(TXNFrameOptions options = 0) { EXPECT_EQ(TXNCreateObject(nullptr, options, &object), noErr); }
  ~TextObject() { TXNDeleteObject(object); }
  OSStatus Set(const std::string &bytes, TXNOffset start = kTXNStartOffset, TXNOffset end = kTXNEndOffset) {
    return TXNSetData(object, kTXNTextData, bytes.data(), bytes.size(), start, end);
  }
  std::u16string Text() const {
    TXNOffset count = 0;
    const UniChar *chars = PL_TXNGetCharacters(object, &count);
    return std::u16string(reinterpret_cast<const char16_t *>(chars), count);
  }
  OSStatus Privilege(UInt32 value) {
    TXNControlTag tag = kTXNIOPrivilegesTag;
    TXNControlData data{};
    data.uValue = value;
    return TXNSetTXNObjectControls(object, false, 1, &tag, &data);
  }
};

std::pair<TXNOffset, TXNOffset> Selection(TXNObject o) {
  TXNOffset s = 0, e = 0;
  TXNGetSelection(o, &s, &e);
  return {s, e};
}

CFURLRef URLFor(const std::string &path) {
  return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(path.c_str()),
                                                 CFIndex(path.size()), false);
}

TEST(PlatformMultilingualText, DataKeepsLineEndsAndReadOnlyRefusesChanges) {
  TextObject t;
  ASSERT_EQ(t.Set("one\rtwo\nthree\r\n"), noErr);
  EXPECT_EQ(t.Text(), u"one\rtwo\nthree\r\n");
  EXPECT_EQ(Selection(t.object), std::make_pair(TXNOffset(15), TXNOffset(15)));
  EXPECT_EQ(TXNDataSize(t.object), ByteCount(30));

  // UTF-8 bytes become their characters; bytes that are no UTF-8 are read as Mac Roman.
  ASSERT_EQ(t.Set("Preparing\xE2\x80\xA6 caf\x8E"), noErr);
  EXPECT_EQ(t.Text(), u"Preparing\u2026 caf\u00E9");

  ASSERT_EQ(t.Privilege(kTXNReadOnly), noErr);
  EXPECT_EQ(t.Set("lost", kTXNEndOffset, kTXNEndOffset), wrPermErr);
  EXPECT_EQ(TXNClear(t.object), wrPermErr);
  EXPECT_EQ(TXNPaste(t.object), wrPermErr);
  EXPECT_EQ(t.Text(), u"Preparing\u2026 caf\u00E9");

  TextObject readOnlyFromFrame(kTXNReadOnlyMask | kTXNAlwaysWrapAtViewEdgeMask | kTXNDontDrawCaretWhenInactiveMask);
  EXPECT_EQ(PL_TXNGetFrameOptions(readOnlyFromFrame.object), TXNFrameOptions(6176));
  EXPECT_EQ(readOnlyFromFrame.Set("x"), wrPermErr);
}

TEST(PlatformMultilingualText, BadDataIsRefusedAndChangesNothing) {
  TextObject t;
  ASSERT_EQ(t.Set("kept"), noErr);
  const char16_t odd[] = u"ab";
  struct Case {
    TXNDataType type;
    const void *data;
    ByteCount size;
    OSStatus expected;
  } cases[] = {
      {kTXNTextData, nullptr, 3, paramErr},
      {kTXNTextData, "x", ByteCount(-1), paramErr},  // a negative size come through a long
      {kTXNUnicodeTextData, odd, 3, paramErr},
      {'RTF ', "x", 1, kTXNDataTypeNotAllowedErr},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(TXNSetData(t.object, c.type, c.data, c.size, kTXNEndOffset, kTXNEndOffset), c.expected);
    EXPECT_EQ(t.Text(), u"kept");
  }
  EXPECT_EQ(TXNSetData(nullptr, kTXNTextData, "x", 1, 0, 0), paramErr);
}

TEST(PlatformMultilingualText, RangesResolveSelectionEndAndOutOfRangeOffsets) {
  TextObject t;
  ASSERT_EQ(t.Set("abcdef"), noErr);
  ASSERT_EQ(TXNSetSelection(t.object, 4, 2), noErr);  // put in order
  EXPECT_EQ(Selection(t.object), std::make_pair(TXNOffset(2), TXNOffset(4)));
  ASSERT_EQ(t.Set("XYZ", kTXNUseCurrentSelection, kTXNUseCurrentSelection), noErr);
  EXPECT_EQ(t.Text(), u"abXYZef");
  EXPECT_EQ(Selection(t.object), std::make_pair(TXNOffset(5), TXNOffset(5)));
  ASSERT_EQ(t.Set("!", 100, 200), noErr);  // beyond the end: appended
  EXPECT_EQ(t.Text(), u"abXYZef!");

  Handle h = nullptr;
  ASSERT_EQ(TXNGetDataEncoded(t.object, 2, 5, &h, kTXNTextData), noErr);
  EXPECT_EQ(std::string(*h, size_t(GetHandleSize(h))), "XYZ");
  DisposeHandle(h);
  ASSERT_EQ(TXNGetData(t.object, 7, kTXNEndOffset, &h), noErr);
  ASSERT_EQ(GetHandleSize(h), 2);
  EXPECT_EQ(reinterpret_cast<const char16_t *>(*h)[0], u'!');
  DisposeHandle(h);

  // Read out as bytes, a character Mac Roman lacks becomes one '?', so n characters give n bytes.
  ASSERT_EQ(t.Set("\xE2\x82\xAC\xE2\x80\xA6", kTXNStartOffset, kTXNEndOffset), noErr);  // euro sign, ellipsis
  ASSERT_EQ(TXNGetDataEncoded(t.object, 0, kTXNEndOffset, &h, kTXNTextData), noErr);
  EXPECT_EQ(std::string(*h, size_t(GetHandleSize(h))), std::string("\xDB\xC9"));
  DisposeHandle(h);
  ASSERT_EQ(t.Set("\xE4\xB8\xAD", kTXNStartOffset, kTXNEndOffset), noErr);  // CJK
  ASSERT_EQ(TXNGetDataEncoded(t.object, 0, kTXNEndOffset, &h, kTXNTextData), noErr);
  EXPECT_EQ(std::string(*h, size_t(GetHandleSize(h))), "?");
  DisposeHandle(h);
}

TEST(PlatformMultilingualText, AttributesSplitRunsAndContinuityIsReported) {
  TextObject t;
  ASSERT_EQ(t.Set("red and black"), noErr);
  const RGBColor red{0xFFFF, 0, 0};
  TXNTypeAttributes colour{kTXNQDFontColorAttribute, sizeof(RGBColor), {}};
  colour.data.dataPtr = const_cast<RGBColor *>(&red);
  ASSERT_EQ(TXNSetTypeAttributes(t.object, 1, &colour, 0, 3), noErr);
  TXNTypeAttributes size{kTXNQDFontSizeAttribute, sizeof(Fixed), {}};
  size.data.dataValue = UInt32(18 << 16);
  ASSERT_EQ(TXNSetTypeAttributes(t.object, 1, &size, 2, 5), noErr);

  ItemCount count = 0;
  const PL_TXNRun *runs = PL_TXNGetRuns(t.object, &count);
  ASSERT_EQ(count, ItemCount(4));  // red 12, red 18, black 18, black 12
  EXPECT_EQ(runs[0].start, 0u);
  EXPECT_EQ(runs[0].end, 2u);
  EXPECT_EQ(runs[0].color.red, 0xFFFF);
  EXPECT_EQ(runs[1].end, 3u);
  EXPECT_EQ(runs[1].size, Fixed(18 << 16));
  EXPECT_EQ(runs[2].color.red, 0);
  EXPECT_EQ(runs[2].end, 5u);
  EXPECT_EQ(runs[3].size, Fixed(12 << 16));
  EXPECT_EQ(runs[3].end, 13u);

  RGBColor got{};
  TXNTypeAttributes ask[2] = {{kTXNQDFontColorAttribute, sizeof(RGBColor), {}}, {kTXNQDFontSizeAttribute, sizeof(Fixed), {}}};
  ask[0].data.dataPtr = &got;
  TXNContinuousFlags flags = 0;
  ASSERT_EQ(TXNSetSelection(t.object, 0, 2), noErr);
  ASSERT_EQ(TXNGetContinuousTypeAttributes(t.object, &flags, 2, ask), noErr);
  EXPECT_EQ(flags, kTXNColorContinuousMask | kTXNSizeContinuousMask);
  EXPECT_EQ(got.red, 0xFFFF);
  EXPECT_EQ(ask[1].data.dataValue, UInt32(12 << 16));
  ASSERT_EQ(TXNSetSelection(t.object, 0, 4), noErr);  // red and black, 12 and 18 points
  ASSERT_EQ(TXNGetContinuousTypeAttributes(t.object, &flags, 2, ask), noErr);
  EXPECT_EQ(flags, 0u);

  // Appended text takes the attributes of the text before it.
  ASSERT_EQ(t.Set("!", kTXNEndOffset, kTXNEndOffset), noErr);
  runs = PL_TXNGetRuns(t.object, &count);
  EXPECT_EQ(runs[count - 1].end, 14u);

  TXNTypeAttributes wrong{kTXNQDFontSizeAttribute, 2, {}};
  EXPECT_EQ(TXNSetTypeAttributes(t.object, 1, &wrong, 0, 1), kTXNAttributeTagInvalidForRunErr);
}

TEST(PlatformMultilingualText, FindReportsMatchOrSelectionConstant) {
  TextObject t;
  ASSERT_EQ(t.Set("Log of Brizel\rbrizel started"), noErr);
  struct Case {
    const char *pattern;
    TXNMatchOptions options;
    TXNOffset from, to;
    TXNOffset start, end;
  } cases[] = {
      {"Brizel", 0, 0, kTXNEndOffset, 7, 13},
      {"brizel", 0, 0, kTXNEndOffset, 14, 20},
      {"BRIZEL", kTXNIgnoreCaseMask, 0, kTXNEndOffset, 7, 13},
      {"Brizel", 0, 8, kTXNEndOffset, kTXNUseCurrentSelection, kTXNUseCurrentSelection},
      {"start", kTXNEntireWordMask, 0, kTXNEndOffset, kTXNUseCurrentSelection, kTXNUseCurrentSelection},
      {"missing", 0, 0, kTXNEndOffset, kTXNUseCurrentSelection, kTXNUseCurrentSelection},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.pattern);
    TXNMatchTextRecord match{c.pattern, SInt32(std::strlen(c.pattern)), kTextEncodingMacRoman};
    TXNOffset s = 1, e = 1;
    ASSERT_EQ(TXNFind(t.object, &match, kTXNTextData, c.options, c.from, c.to, nullptr, 0, &s, &e), noErr);
    EXPECT_EQ(s, c.start);
    EXPECT_EQ(e, c.end);
  }
}

TEST(PlatformMultilingualText, FileRoundTripKeepsBytesAndAFailedWriteKeepsTheOldFile) {
  bz_test::TempDir dir;
  const std::string path = dir.File("Brizel Log");
  const std::string bytes = "\nBrizel header\n\nOpened. Time: now\r\r\xE2\x80\xA6\r";
  bz_test::WriteText(path, bytes);
  FSRef ref = bz_test::RefFor(path);
  FSCatalogInfo info{};
  reinterpret_cast<FileInfo *>(info.finderInfo)->fileType = 'txtn';
  reinterpret_cast<FileInfo *>(info.finderInfo)->fileCreator = 'Orl1';
  const bool labelled = FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info) == noErr;

  TextObject t;
  CFURLRef url = URLFor(path);
  ASSERT_EQ(TXNReadFromCFURL(t.object, 0, kTXNEndOffset, nullptr, url, nullptr), noErr);
  EXPECT_EQ(t.Text().size(), bytes.size() - 2);  // the ellipsis is one character
  ASSERT_EQ(t.Set("more\r", kTXNEndOffset, kTXNEndOffset), noErr);
  ASSERT_EQ(TXNWriteRangeToCFURL(t.object, 0, kTXNEndOffset, nullptr, nullptr, url), noErr);
  EXPECT_EQ(bz_test::ReadText(path), bytes + "more\r");
  if (labelled) {
    FSCatalogInfo after{};
    ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &after, nullptr, nullptr, nullptr), noErr);
    EXPECT_EQ(reinterpret_cast<FileInfo *>(after.finderInfo)->fileType, OSType('txtn'));
    EXPECT_EQ(reinterpret_cast<FileInfo *>(after.finderInfo)->fileCreator, OSType('Orl1'));
  }

  ASSERT_EQ(t.Set(std::string(4000, 'x'), kTXNEndOffset, kTXNEndOffset), noErr);
  PL_FailWritesAfterBytes(100);
  EXPECT_EQ(TXNWriteRangeToCFURL(t.object, 0, kTXNEndOffset, nullptr, nullptr, url), dskFulErr);
  PL_FailWritesAfterBytes(-1);
  EXPECT_EQ(bz_test::ReadText(path), bytes + "more\r");

  // A missing file is made; reading one that is not there fails and changes nothing.
  CFURLRef fresh = URLFor(dir.File("new.txt"));
  EXPECT_EQ(TXNWriteRangeToCFURL(t.object, 0, 3, nullptr, nullptr, fresh), noErr);
  EXPECT_EQ(bz_test::ReadText(dir.File("new.txt")), "\nBr");
  CFURLRef missing = URLFor(dir.File("missing.txt"));
  const std::u16string before = t.Text();
  EXPECT_EQ(TXNReadFromCFURL(t.object, 0, kTXNEndOffset, nullptr, missing, nullptr), fnfErr);
  EXPECT_EQ(t.Text(), before);
  CFRelease(url);
  CFRelease(fresh);
  CFRelease(missing);
}

TEST(PlatformMultilingualText, CopyAndPasteThroughTheProcessClipboard) {
  TextObject from, to;
  ASSERT_EQ(from.Set("copy me"), noErr);
  ASSERT_EQ(TXNSetSelection(from.object, 5, 7), noErr);
  ASSERT_EQ(TXNCopy(from.object), noErr);
  ASSERT_EQ(TXNPaste(to.object), noErr);
  EXPECT_EQ(to.Text(), u"me");
  TXNSelectAll(to.object);
  ASSERT_EQ(TXNClear(to.object), noErr);
  EXPECT_EQ(to.Text(), u"");
}

TEST(PlatformMemory, MungerFindsAndReplaces) {
  Handle h = nullptr;
  ASSERT_EQ(PtrToHand("abcabc", &h, 6), noErr);
  struct Case {
    long offset;
    const char *find;
    long expected;
  } finds[] = {{0, "abc", 0}, {1, "abc", 3}, {4, "abc", -1}, {0, "cab", 2}, {0, "x", -1}, {6, "", 6}};
  for (const Case &c : finds)
    EXPECT_EQ(Munger(h, c.offset, c.find, long(std::strlen(c.find)), nullptr, 0), c.expected) << c.find;
  EXPECT_EQ(Munger(h, 1, "bc", 2, "XYZ", 3), 4);
  EXPECT_EQ(std::string(*h, size_t(GetHandleSize(h))), "aXYZabc");
  EXPECT_EQ(Munger(h, 0, "XYZ", 3, "", 0), 1);
  EXPECT_EQ(std::string(*h, size_t(GetHandleSize(h))), "aabc");
  EXPECT_LT(Munger(nullptr, 0, "a", 1, nullptr, 0), 0);
  EXPECT_LT(Munger(h, 99, "a", 1, nullptr, 0), 0);
  DisposeHandle(h);
}

}  // namespace
