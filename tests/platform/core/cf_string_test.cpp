// CFString: UTF-16 lengths, encodings (Mac Roman by our table), comparison and search options, composed
// characters, mutation, numbers in text and file-system names.
#include "platform/core/cf_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Owned {
  explicit Owned(CFStringRef s) : ref(s) {}
  ~Owned() { CFRelease(ref); }
  CFStringRef ref;
};

CFStringRef FromUTF8(const char *s) { return CFStringCreateWithCString(nullptr, s, kCFStringEncodingUTF8); }

TEST(PlatformCFString, LengthsCountUTF16Units) {
  struct Case {
    const char *utf8;
    CFIndex units;
    CFIndex utf8Bytes;
  };
  const Case cases[] = {
      {"", 0, 0},
      {"abc", 3, 3},
      {"caf\xC3\xA9", 4, 5},                  // é: one unit, two bytes
      {"\xE2\x80\xA6", 1, 3},                 // …: one unit, three bytes
      {"a\xF0\x9F\x8E\xAC" "b", 4, 6},        // 🎬 is a surrogate pair
  };
  for (const Case &c : cases) {
    Owned s(FromUTF8(c.utf8));
    ASSERT_NE(s.ref, nullptr) << c.utf8;
    EXPECT_EQ(CFStringGetLength(s.ref), c.units) << c.utf8;
    char buf[64];
    ASSERT_TRUE(CFStringGetCString(s.ref, buf, sizeof buf, kCFStringEncodingUTF8));
    EXPECT_EQ(CFIndex(std::strlen(buf)), c.utf8Bytes);
    EXPECT_STREQ(buf, c.utf8);
    EXPECT_GE(CFStringGetMaximumSizeForEncoding(CFStringGetLength(s.ref), kCFStringEncodingUTF8), c.utf8Bytes);
  }
  Owned pair(FromUTF8("\xF0\x9F\x8E\xAC"));
  EXPECT_EQ(CFStringGetCharacterAtIndex(pair.ref, 0), 0xD83C);
  EXPECT_EQ(CFStringGetCharacterAtIndex(pair.ref, 1), 0xDFAC);
}

TEST(PlatformCFString, MacRomanRoundTripsEveryByte) {
  char all[256];
  for (int b = 1; b < 256; ++b) all[b - 1] = char(b);
  all[255] = 0;
  Owned s(CFStringCreateWithCString(nullptr, all, kCFStringEncodingMacRoman));
  ASSERT_NE(s.ref, nullptr);
  EXPECT_EQ(CFStringGetLength(s.ref), 255);
  EXPECT_EQ(CFStringGetCharacterAtIndex(s.ref, 201 - 1), 0x2026);  // ellipsis
  EXPECT_EQ(CFStringGetCharacterAtIndex(s.ref, 0xDB - 1), 0x20AC);  // euro
  EXPECT_EQ(CFStringGetCharacterAtIndex(s.ref, 0xF0 - 1), 0xF8FF);
  char back[256];
  ASSERT_TRUE(CFStringGetCString(s.ref, back, sizeof back, kCFStringEncodingMacRoman));
  EXPECT_EQ(std::memcmp(back, all, 256), 0);
}

TEST(PlatformCFString, ConversionsFailCleanly) {
  // Malformed UTF-8 makes no string.
  for (const char *bad : {"\xC3", "\xE2\x80", "\xFF", "\xC0\xAF", "\xED\xA0\x80"}) {
    EXPECT_EQ(FromUTF8(bad), nullptr) << "bytes " << bad;
  }
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC9", kCFStringEncodingASCII), nullptr);
  // A character without a Mac Roman byte, or a buffer too small, gives false and an empty buffer.
  Owned snow(FromUTF8("a\xE2\x98\x83"));
  char buf[8] = "xxxxxxx";
  EXPECT_FALSE(CFStringGetCString(snow.ref, buf, sizeof buf, kCFStringEncodingMacRoman));
  EXPECT_STREQ(buf, "");
  Owned abc(FromUTF8("abc"));
  EXPECT_FALSE(CFStringGetCString(abc.ref, buf, 3, kCFStringEncodingUTF8));
  EXPECT_TRUE(CFStringGetCString(abc.ref, buf, 4, kCFStringEncodingUTF8));
  // GetBytes with a loss byte replaces what does not convert.
  UInt8 out[8];
  CFIndex used = 0;
  EXPECT_EQ(CFStringGetBytes(snow.ref, CFRangeMake(0, 2), kCFStringEncodingMacRoman, '?', false, out, 8, &used), 2);
  EXPECT_EQ(used, 2);
  EXPECT_EQ(out[1], '?');
  EXPECT_EQ(CFStringGetBytes(snow.ref, CFRangeMake(0, 2), kCFStringEncodingMacRoman, 0, false, out, 8, &used), 1);
  // The pointer shortcut may be NULL, and is for strings made at run time.
  EXPECT_EQ(CFStringGetCStringPtr(abc.ref, kCFStringEncodingUTF8), nullptr);
  EXPECT_STREQ(CFStringGetCStringPtr(CFSTR("GL IOErr"), kCFStringEncodingUTF8), "GL IOErr");
}

TEST(PlatformCFString, ComparisonOptions) {
  struct Case {
    const char *a;
    const char *b;
    CFStringCompareFlags flags;
    CFComparisonResult expected;
  };
  const Case cases[] = {
      {"GL NoErr", "gl noerr", kCFCompareCaseInsensitive, kCFCompareEqualTo},
      {"GL NoErr", "gl noerr", 0, kCFCompareLessThan},
      {"Stra\xC3\x9F" "e", "STRASSE", kCFCompareCaseInsensitive, kCFCompareEqualTo},
      {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", kCFCompareCaseInsensitive, kCFCompareEqualTo},  // Été / éTÉ
      {"cafe", "caf\xC3\xA9", kCFCompareDiacriticInsensitive, kCFCompareEqualTo},
      {"e\xCC\x81", "\xC3\xA9", kCFCompareNonliteral, kCFCompareEqualTo},  // decomposed vs composed é
      {"e\xCC\x81", "\xC3\xA9", 0, kCFCompareLessThan},
      {"file9", "file10", kCFCompareNumerically, kCFCompareLessThan},
      {"file9", "file10", 0, kCFCompareGreaterThan},
      {"a", "ab", kCFCompareCaseInsensitive, kCFCompareLessThan},
      {"", "", 0, kCFCompareEqualTo},
  };
  for (const Case &c : cases) {
    Owned a(FromUTF8(c.a));
    Owned b(FromUTF8(c.b));
    EXPECT_EQ(CFStringCompare(a.ref, b.ref, c.flags), c.expected) << c.a << " vs " << c.b << " flags " << c.flags;
  }
}

TEST(PlatformCFString, FindHonoursOptions) {
  Owned s(FromUTF8("Movie.MOV.mov"));
  struct Case {
    const char *find;
    CFStringCompareFlags flags;
    CFIndex location;
  };
  const Case cases[] = {
      {".mov", 0, 9},
      {".mov", kCFCompareCaseInsensitive, 5},
      {".mov", kCFCompareCaseInsensitive | kCFCompareBackwards, 9},
      {"movie", kCFCompareCaseInsensitive | kCFCompareAnchored, 0},
      {"Movie", kCFCompareAnchored | kCFCompareBackwards, kCFNotFound},
      {"xyz", 0, kCFNotFound},
      {"", 0, kCFNotFound},
  };
  for (const Case &c : cases) {
    Owned f(FromUTF8(c.find));
    EXPECT_EQ(CFStringFind(s.ref, f.ref, c.flags).location, c.location) << c.find << " flags " << c.flags;
  }
  EXPECT_TRUE(CFStringHasSuffix(s.ref, CFSTR(".mov")));
  EXPECT_FALSE(CFStringHasPrefix(s.ref, CFSTR("movie")));
}

TEST(PlatformCFString, ComposedCharacterRanges) {
  // "e" + combining acute, a surrogate pair, and a plain letter.
  Owned s(FromUTF8("e\xCC\x81\xF0\x9F\x8E\xAC" "x"));
  ASSERT_EQ(CFStringGetLength(s.ref), 5);
  struct Case {
    CFIndex index;
    CFIndex location;
    CFIndex length;
  };
  const Case cases[] = {{0, 0, 2}, {1, 0, 2}, {2, 2, 2}, {3, 2, 2}, {4, 4, 1}};
  for (const Case &c : cases) {
    CFRange r = CFStringGetRangeOfComposedCharactersAtIndex(s.ref, c.index);
    EXPECT_EQ(r.location, c.location) << c.index;
    EXPECT_EQ(r.length, c.length) << c.index;
  }
  EXPECT_EQ(CFStringGetRangeOfComposedCharactersAtIndex(s.ref, 5).location, kCFNotFound);
}

TEST(PlatformCFString, MutationAndImmutability) {
  CFMutableStringRef m = CFStringCreateMutableCopy(nullptr, 0, CFSTR("clip"));
  CFStringAppend(m, m);  // appending itself
  CFStringInsert(m, 4, CFSTR(" "));
  EXPECT_TRUE(CFEqual(m, CFSTR("clip clip")));
  CFStringReplace(m, CFRangeMake(0, 4), CFSTR("movie"));
  CFStringDelete(m, CFRangeMake(5, 100));  // clamped to the end
  EXPECT_TRUE(CFEqual(m, CFSTR("movie")));
  EXPECT_EQ(CFStringFindAndReplace(m, CFSTR("O"), CFSTR("0"), CFRangeMake(0, 5), kCFCompareCaseInsensitive), 1);
  CFStringUppercase(m, nullptr);
  EXPECT_TRUE(CFEqual(m, CFSTR("M0VIE")));
  CFStringAppendCString(m, "  \t", kCFStringEncodingUTF8);
  CFStringTrimWhitespace(m);
  EXPECT_TRUE(CFEqual(m, CFSTR("M0VIE")));
  CFMutableStringRef decomposed = CFStringCreateMutableCopy(nullptr, 0, CFSTR("\xC3\xA9"));
  CFStringNormalize(decomposed, kCFStringNormalizationFormD);
  EXPECT_EQ(CFStringGetLength(decomposed), 2);
  CFRelease(decomposed);
  // A mutable string's copy is a snapshot.
  CFStringRef snap = CFStringCreateCopy(nullptr, m);
  CFStringAppend(m, CFSTR("!"));
  EXPECT_TRUE(CFEqual(snap, CFSTR("M0VIE")));
  // Mutating an immutable string is ignored.
  CFStringAppend(const_cast<CFMutableStringRef>(snap), CFSTR("x"));
  EXPECT_EQ(CFStringGetLength(snap), 5);
  CFRelease(snap);
  CFRelease(m);
  Owned sub(CFStringCreateWithSubstring(nullptr, CFSTR("abcdef"), CFRangeMake(2, 3)));
  EXPECT_TRUE(CFEqual(sub.ref, CFSTR("cde")));
  EXPECT_EQ(CFStringCreateWithSubstring(nullptr, CFSTR("abc"), CFRangeMake(4, 1)), nullptr);
}

TEST(PlatformCFString, NumbersInText) {
  struct Case {
    const char *text;
    SInt32 intValue;
    double doubleValue;
  };
  const Case cases[] = {
      {"42", 42, 42.0},      {"  -17 frames", -17, -17.0}, {"+3.75", 3, 3.75}, {"abc", 0, 0.0},
      {"", 0, 0.0},          {"99999999999", 2147483647, 99999999999.0},       {"-99999999999", -2147483647 - 1, -99999999999.0},
      {"1e3", 1, 1000.0},
  };
  for (const Case &c : cases) {
    Owned s(FromUTF8(c.text));
    EXPECT_EQ(CFStringGetIntValue(s.ref), c.intValue) << c.text;
    EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(s.ref), c.doubleValue) << c.text;
  }
}

TEST(PlatformCFString, FileSystemNamesSurviveAnyBytes) {
  const char *names[] = {"plain.mov", "caf\xC3\xA9.mov", "latin1-\xE9t\xE9.mov", "\xFF\xFE"};
  for (const char *name : names) {
    Owned s(CFStringCreateWithFileSystemRepresentation(nullptr, name));
    ASSERT_NE(s.ref, nullptr);
    char back[64];
    ASSERT_TRUE(CFStringGetFileSystemRepresentation(s.ref, back, sizeof back));
    EXPECT_STREQ(back, name);
  }
  Owned s(CFStringCreateWithFileSystemRepresentation(nullptr, "abc"));
  char tiny[3];
  EXPECT_FALSE(CFStringGetFileSystemRepresentation(s.ref, tiny, sizeof tiny));
}

TEST(PlatformCFString, PascalStringsAndUTF16Bytes) {
  const unsigned char pstr[] = {3, 'a', 0xC9, 'b'};
  Owned s(CFStringCreateWithPascalString(nullptr, pstr, kCFStringEncodingMacRoman));
  EXPECT_EQ(CFStringGetCharacterAtIndex(s.ref, 1), 0x2026);
  unsigned char back[256];
  ASSERT_TRUE(CFStringGetPascalString(s.ref, back, sizeof back, kCFStringEncodingMacRoman));
  EXPECT_EQ(std::memcmp(back, pstr, 4), 0);
  const UInt8 be[] = {0xFE, 0xFF, 0x00, 'h', 0x00, 'i'};
  Owned hi(CFStringCreateWithBytes(nullptr, be, 6, kCFStringEncodingUTF16, true));
  EXPECT_TRUE(CFEqual(hi.ref, CFSTR("hi")));
  EXPECT_EQ(CFStringCreateWithBytes(nullptr, be, 5, kCFStringEncodingUTF16, false), nullptr);
}

}  // namespace
