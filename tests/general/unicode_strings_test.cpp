// Unicode strings: case-insensitive equality, UTF-16 lengths, byte sizes and durations, name ends and
// extensions, truncation in the middle, HFS names and their limits.
#include "general/unicode_strings.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/text_encodings.h"
#include "support/cf_check.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Take(CFStringRef s) {
  std::string out = bz_test::CFText(s);
  CFRelease(s);
  return out;
}

HFSUniStr255 HFS(const char *utf8) {
  HFSUniStr255 name{};
  EXPECT_EQ(GL_CStrToHFSUniStr255(utf8, &name), noErr);
  return name;
}

TEST(GeneralUnicodeStrings, EqualityIgnoresCase) {
  struct Case {
    CFStringRef a;
    CFStringRef b;
    bool equal;
  };
  const Case cases[] = {
      {CFSTR("GL NoErr"), CFSTR("gl noerr"), true},
      {CFSTR("GL NoErr"), CFSTR("GL NOERR"), true},
      {CFSTR("GL NoErr"), CFSTR("GL NoErr "), false},
      {CFSTR("GL UnknownErr"), CFSTR("GL NoErr"), false},
      {CFSTR("\xC3\x89t\xC3\xA9"), CFSTR("\xC3\xA9T\xC3\x89"), true},
      {nullptr, nullptr, true},
      {nullptr, CFSTR(""), false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(bool(GL_EqualCFStr(c.a, c.b)), c.equal) << bz_test::CFText(c.a) << " / " << bz_test::CFText(c.b);
  }
  HFSUniStr255 a = HFS("Movie.MOV");
  HFSUniStr255 b = HFS("movie.mov");
  EXPECT_TRUE(GL_EqualHFSUniStr255(&a, &b));
  EXPECT_TRUE(GL_EqualHFSUniStr255CFStr(&a, CFSTR("MOVIE.mov")));
  EXPECT_FALSE(GL_EqualHFSStringMP(&a, &b));  // the task version is exact
  HFSUniStr255 c = a;
  EXPECT_TRUE(GL_EqualHFSStringMP(&a, &c));
}

TEST(GeneralUnicodeStrings, UTF16UnitsAndTheirBlocks) {
  CFStringRef s = CFSTR("a\xF0\x9F\x8E\xAC\xC3\xA9");  // a, a surrogate pair, é
  UniChar *units = nullptr;
  UInt16 n = 0;
  ASSERT_EQ(GL_CFStrToUnicodePtr(s, &units, &n), noErr);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(units[1], 0xD83C);
  CFStringRef back = GL_UnicodePtrToCFStr(units, n);
  EXPECT_TRUE(CFEqual(back, s));
  CFRelease(back);
  std::free(units);
  ASSERT_EQ(GL_CFStrToUnicodeStr(s, &units), noErr);
  EXPECT_EQ(units[4], 0);
  std::free(units);
  ASSERT_EQ(GL_CStrToUnicodePtr("caf\xC3\xA9", &units, &n), noErr);
  EXPECT_EQ(n, 4);
  std::free(units);
  ASSERT_EQ(GL_MacRomanCStrToUnicodePtr("caf\x8E", &units, &n), noErr);
  EXPECT_EQ(units[3], 0xE9);
  std::free(units);
  EXPECT_EQ(GL_CStrToUnicodePtr("bad \xC3", &units, &n), paramErr);
  EXPECT_EQ(units, nullptr);
  EXPECT_EQ(n, 0);
  // More units than the UInt16 length can count.
  CFMutableStringRef huge = CFStringCreateMutable(nullptr, 0);
  const std::u16string block(70000, u'x');
  CFStringAppendCharacters(huge, reinterpret_cast<const UniChar *>(block.data()), CFIndex(block.size()));
  EXPECT_EQ(GL_CFStrToUnicodePtr(huge, &units, &n), paramErr);
  CFRelease(huge);
}

TEST(GeneralUnicodeStrings, ByteStringConversions) {
  char buf[8];
  EXPECT_TRUE(GL_CFStrToCStr(CFSTR("caf\xC3\xA9"), buf, sizeof buf));
  EXPECT_STREQ(buf, "caf\xC3\xA9");
  EXPECT_FALSE(GL_CFStrToCStr(CFSTR("too long for it"), buf, sizeof buf));
  EXPECT_STREQ(buf, "");
  EXPECT_TRUE(GL_CFStrToMacRomanCStr(CFSTR("caf\xC3\xA9"), buf, sizeof buf));
  EXPECT_STREQ(buf, "caf\x8E");
  EXPECT_FALSE(GL_CFStrToMacRomanCStr(CFSTR("\xE2\x98\x83"), buf, sizeof buf));  // no Mac Roman snowman
  char str255[256];
  EXPECT_TRUE(GL_CFStrToStr255(CFSTR("x"), str255));
  char *made = nullptr;
  SInt32 size = 0;
  ASSERT_TRUE(GL_CFStrToCStrNew(CFSTR("\xE2\x80\xA6"), kCFStringEncodingUTF8, &made, &size));
  EXPECT_STREQ(made, "\xE2\x80\xA6");
  EXPECT_EQ(size, 4);
  std::free(made);
  EXPECT_FALSE(GL_CFStrToCStrNew(CFSTR("\xE2\x98\x83"), kCFStringEncodingASCII, &made, &size));
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(Take(GL_TextPtrToCFStr("ab\xC9zz", 3)), "ab\xE2\x80\xA6");
  EXPECT_EQ(GL_CStrToCFStr("\xFF"), nullptr);
  CFMutableStringRef m = GL_MacRomanCStrToCFMutStr("\xC9");
  GL_AppendCStrToCFStr(m, " caf\xC3\xA9");
  GL_AppendMacRomanCStrToCFStr(m, " \x8E");
  GL_CFAppendSpaceNumber(m, -12);
  GL_AppendEllipsisToCFStr(m);
  EXPECT_EQ(Take(m), "\xE2\x80\xA6 caf\xC3\xA9 \xC3\xA9 -12\xE2\x80\xA6");
  // UTF-16 units taken as they are, a surrogate pair kept whole; the copy is mutable.
  const UniChar units[] = {u'A', 0xD83C, 0xDFAC, u'z'};
  CFMutableStringRef u = GL_UnicodePtrToCFMutStr(units, 4);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(CFStringGetLength(u), 4);
  GL_AppendCStrToCFStr(u, "!");
  EXPECT_EQ(Take(u), "A\xF0\x9F\x8E\xAC" "z!");
  u = GL_UnicodePtrToCFMutStr(nullptr, 0);
  EXPECT_EQ(Take(u), "");
  EXPECT_EQ(GL_UnicodePtrToCFMutStr(nullptr, 3), nullptr);
}

TEST(GeneralUnicodeStrings, NumbersSizesAndDurations) {
  struct Case {
    CFStringRef made;
    const char *expected;
  };
  const Case cases[] = {
      {GL_GetByteSizeString(0), "0 bytes"},
      {GL_GetByteSizeString(1023), "1023 bytes"},
      {GL_GetByteSizeString(-5), "-5 bytes"},
      {GL_GetByteSizeString(1024), "1.00 kB"},
      {GL_GetByteSizeString(1536), "1.50 kB"},
      {GL_GetByteSizeString(1048575), "1024.00 kB"},
      {GL_GetByteSizeString(1048576), "1.00 MB"},
      {GL_GetByteSizeString(SInt64(1) << 30), "1.00 GB"},
      {GL_GetByteSizeString(SInt64(5) << 40), "5120.00 GB"},
      {GL_DurationToCFStr(90061), "1days, 1h"},
      {GL_DurationToCFStr(59), "59s"},
      {GL_DurationToCFStr(0), "0s"},
      {GL_DurationToCFStr(61), "1m, 1s"},
      {GL_DurationToCFStr(3600), "1h, 0m"},
      {GL_NumToCFStr(-2147483648LL), "-2147483648"},
      {GL_DoubleToCFStr(2.005), "2.00"},
      {GL_DoubleToCFStrPrecise(3.14159, 3), "3.142"},
      {GL_DoubleToCFStrPrecise(3.14159, -1), "3"},
      {GL_OSTypeToCFStr('TVOD'), "TVOD"},
      {GL_OSTypeToCFStr('ab\0\0'), "ab"},
      {GL_MakeEllipsisCFStr(), "\xE2\x80\xA6"},
      {GL_MakeUnicodeEllipsisCFStr(), "\xE2\x80\xA6"},
      {GL_CreateCFMutStrWithFormat(CFSTR("%@ %ld"), CFSTR("Movie"), SInt32(2)), "Movie 2"},
  };
  for (const Case &c : cases) EXPECT_EQ(Take(c.made), c.expected);
  CFMutableStringRef info = GL_CStrToCFMutStr("Size: ");
  GL_AddByteSizeString(2048, info);
  EXPECT_EQ(Take(info), "Size: 2.00 kB");
  EXPECT_EQ(GL_CFStrToOSType(CFSTR("TVOD")), OSType('TVOD'));
  EXPECT_EQ(GL_CFStrToOSType(CFSTR("ab")), OSType('ab\0\0'));
  EXPECT_EQ(GL_CFStrToOSType(CFSTR("a string far too long")), OSType(0));
  TextEncoding enc = 99;
  EXPECT_EQ(GL_GetSystemTextEncoding(&enc), noErr);
  EXPECT_EQ(enc, kTextEncodingUTF8);
}

TEST(GeneralUnicodeStrings, NameEnds) {
  struct Case {
    const char *name;
    UInt32 flags;
    CFIndex max;
    const char *end;
    CFIndex length;
  };
  const Case cases[] = {
      {"movie", kGL_NameEndAtPeriod, 31, "", 0},
      {"a.mov", kGL_NameEndAtPeriod, 5, ".mov", 4},
      {"name.abcdefghijkl", kGL_NameEndAtPeriod, 5, "", 0},  // a 12-character extension is too long
      {"Movie 12", kGL_NameEndAtSpace, 15, " 12", 3},
      {"Movie 12", kGL_NameEndAtPeriod, 15, "", 0},
      {"a b.c", kGL_NameEndAtPeriod | kGL_NameEndAtSpace, 15, ".c", 2},
      {"a.b c", kGL_NameEndAtPeriod | kGL_NameEndAtSpace, 15, " c", 2},
      {"trailing.", kGL_NameEndAtPeriod, 15, ".", 1},
      {"", kGL_NameEndAtPeriod, 15, "", 0},
  };
  for (const Case &c : cases) {
    CFStringRef name = GL_CStrToCFStr(c.name);
    CFIndex len = -1;
    CFStringRef end = GL_CopyCFNameEndString(name, &len, c.max, c.flags);
    EXPECT_EQ(bz_test::CFText(end), c.end) << c.name;
    EXPECT_EQ(len, c.length) << c.name;
    if (c.length == 0) {
      EXPECT_EQ(end, CFSTR(""));  // the constant empty string
    }
    CFRelease(end);
    CFMutableStringRef m = GL_CFStrToCFMutStr(name);
    GL_RemoveCFEndString(m, c.max, c.flags);
    EXPECT_EQ(CFStringGetLength(m), CFStringGetLength(name) - c.length);
    CFRelease(m);
    CFRelease(name);
  }
  HFSUniStr255 h = HFS("Clip 3.mov");
  GL_RemoveHFSUniStr255EndString(&h, 5, kGL_NameEndAtPeriod);
  GL_RemoveHFSUniStr255EndString(&h, 5, kGL_NameEndAtSpace);
  EXPECT_TRUE(GL_EqualHFSUniStr255CFStr(&h, CFSTR("Clip")));
}

TEST(GeneralUnicodeStrings, ExtensionsOfFileNames) {
  struct Case {
    const char *name;
    const char *extension;
  };
  const Case cases[] = {{"movie.mov", ".mov"}, {"capture", ""},     {".profile", ""},
                        {"notes.", ""},        {"v1. draft", ""},   {"a.b.kbzoel", ".kbzoel"}};
  for (const Case &c : cases) {
    HFSUniStr255 name = HFS(c.name);
    CFStringRef ext = nullptr;
    EXPECT_EQ(GL_GetExtensionFromFileName(&name, &ext), noErr);
    EXPECT_EQ(bz_test::CFText(ext), c.extension) << c.name;
    CFRelease(ext);
  }
}

TEST(GeneralUnicodeStrings, TruncationInTheMiddle) {
  const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
  CFMutableStringRef s = GL_CStrToCFMutStr(forty.c_str());
  GL_CFStrTruncMiddle(s, 31);
  EXPECT_EQ(bz_test::CFText(s), forty.substr(0, 15) + "\xE2\x80\xA6" + forty.substr(25));
  EXPECT_EQ(CFStringGetLength(s), 31);
  GL_CFStrTruncMiddle(s, 31);  // fits now: unchanged
  EXPECT_EQ(CFStringGetLength(s), 31);
  CFRelease(s);
  // Composed characters (e + combining acute) are never split: the cut widens, the result may be shorter.
  std::string accented;
  for (int i = 0; i < 10; ++i) accented += "e\xCC\x81";
  s = GL_CStrToCFMutStr(accented.c_str());
  GL_CFStrTruncMiddle(s, 9);
  const CFIndex n = CFStringGetLength(s);
  EXPECT_LE(n, 9);
  for (CFIndex i = 0; i < n; ++i) {
    const UniChar c = CFStringGetCharacterAtIndex(s, i);
    if (c == 0x301) {
      EXPECT_EQ(CFStringGetCharacterAtIndex(s, i - 1), u'e');  // every mark keeps its letter
    }
  }
  CFRelease(s);
  // A maximum at or below the ellipsis' length leaves just the ellipsis.
  s = GL_CStrToCFMutStr("abcdef");
  GL_CFStrTruncMiddle(s, 0);
  EXPECT_EQ(bz_test::CFText(s), "\xE2\x80\xA6");
  CFRelease(s);
  HFSUniStr255 h = HFS(forty.c_str());
  GL_HFSUniStr255TruncMiddle(&h, 31);
  EXPECT_EQ(h.length, 31);
  EXPECT_EQ(h.unicode[15], 0x2026);
}

TEST(GeneralUnicodeStrings, HFSNamesStayWithin255Units) {
  const std::string longName(300, 'n');
  HFSUniStr255 h{};
  EXPECT_EQ(GL_CStrToHFSUniStr255(longName.c_str(), &h), noErr);
  EXPECT_EQ(h.length, 255);
  h.length = 7;
  EXPECT_EQ(GL_AppendCStrToHFSUniStr255(&h, longName.c_str()), noErr);
  EXPECT_EQ(h.length, 255);
  EXPECT_EQ(GL_MacRomanCStrToHFSUniStr255("caf\x8E", &h), noErr);
  EXPECT_EQ(h.unicode[3], 0xE9);
  EXPECT_EQ(GL_CStrToHFSUniStr255("bad \xC3", &h), paramErr);
  EXPECT_EQ(h.length, 0);
  HFSUniStr255 a = HFS("Clip");
  HFSUniStr255 b = HFS(" 2");
  EXPECT_EQ(GL_AppendHFSUniStr255(&a, &b), noErr);
  EXPECT_EQ(GL_AppendCFStrToHFSUniStr255(&a, CFSTR(".mov")), noErr);
  char c[64];
  EXPECT_TRUE(GL_HFSUniStr255ToCStr(&a, c, sizeof c));
  EXPECT_STREQ(c, "Clip 2.mov");
  EXPECT_FALSE(GL_HFSUniStr255ToCStr(&a, c, 4));
  EXPECT_STREQ(c, "");
  CFMutableStringRef m = GL_HFSUniStr255ToCFMutStr(&a);
  GL_AppendHFSUniStr255ToCFStr(m, &b);
  EXPECT_EQ(Take(m), "Clip 2.mov 2");
  // A damaged stored length never reaches past the record.
  HFSUniStr255 damaged = a;
  damaged.length = 0xFFFF;
  HFSUniStr255 copy{};
  GL_CopyHFSUniStr255(&copy, &damaged);
  EXPECT_EQ(copy.length, 255);
  GL_FlipHFSUniStr255_BtoN(&damaged);  // 0xFFFF swapped stays 0xFFFF: only 255 units are touched
  // Byte-order flips are each other's inverse.
  HFSUniStr255 flipped = a;
  GL_FlipHFSUniStr255_NtoB(&flipped);
  EXPECT_EQ(flipped.length, UInt16((a.length << 8) | (a.length >> 8)));
  EXPECT_EQ(flipped.unicode[0], UInt16('C' << 8));
  GL_FlipHFSUniStr255_BtoN(&flipped);
  EXPECT_TRUE(GL_EqualHFSStringMP(&flipped, &a));
}

}  // namespace

namespace {

TEST(GeneralUnicodeStrings, ExtensionsOfFiles) {
  bz_test::TempDir dir;
  struct Case {
    const char *file;
    const char *extension;
    const char *nameAfterRemoval;
  };
  const Case cases[] = {
      {"clip.mov", "mov", "clip"},
      {"capture", "", "capture"},  // nothing to remove: the name keeps its last character
      {"edits.kbzoel", "kbzoel", "edits"},
      {".hidden", "", ".hidden"},
  };
  for (const Case &c : cases) {
    bz_test::WriteText(dir.File(c.file), "x");
    FSRef ref = bz_test::RefFor(dir.File(c.file));
    CFStringRef ext = nullptr;
    ASSERT_EQ(GL_GetFileNameExtension(&ref, &ext), noErr) << c.file;
    EXPECT_EQ(bz_test::CFText(ext), c.extension);
    CFRelease(ext);
    CFMutableStringRef name = GL_CStrToCFMutStr(c.file);
    EXPECT_EQ(GL_RemoveFileNameExtension(&ref, name), noErr);
    EXPECT_EQ(bz_test::CFText(name), c.nameAfterRemoval);
    CFRelease(name);
  }
  // A name that is not the file's keeps its end.
  FSRef ref = bz_test::RefFor(dir.File("clip.mov"));
  CFMutableStringRef other = GL_CStrToCFMutStr("Clip copy");
  EXPECT_EQ(GL_RemoveFileNameExtension(&ref, other), noErr);
  EXPECT_EQ(bz_test::CFText(other), "Clip copy");
  CFRelease(other);
  FSRef zero{};
  CFStringRef ext = nullptr;
  EXPECT_NE(GL_GetFileNameExtension(&zero, &ext), noErr);
  EXPECT_EQ(ext, nullptr);
}

}  // namespace
