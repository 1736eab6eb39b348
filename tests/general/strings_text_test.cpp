// Strings, text buffers and number texts: the "title: value" lines and the bounded buffer behind them,
// codes, hexadecimal, versions, numbers, time codes, string editing, name ends, words and digit filters.
#include "general/strings_text.h"

#include "general/memory_lists.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/text_encodings.h"
#include "support/fake_text_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

// A text buffer made by GL_NewTextBuffer, freed at the end of the test.
struct TextBuffer {
  TextBuffer() { EXPECT_EQ(GL_NewTextBuffer(&ptr), noErr); }
  ~TextBuffer() { GL_DisposeTextBuffer(&ptr); }
  std::string Text() const { return std::string(ptr, size_t(size)); }
  Ptr ptr = nullptr;
  SInt32 size = 0;
};

TEST(GeneralStringsText, TitleAndValueLines) {
  struct Case {
    void (*add)(TextBuffer &);
    const char *expected;
  };
  const Case cases[] = {
      {[](TextBuffer &b) { GL_AddBooleanFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Crop"), true); }, "Crop: yes\n"},
      {[](TextBuffer &b) { GL_AddBooleanFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Crop"), 2); }, "Crop: yes\n"},
      {[](TextBuffer &b) { GL_AddBooleanFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Crop"), false); }, "Crop: no\n"},
      {[](TextBuffer &b) { GL_AddLongFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Frames"), -25); }, "Frames: -25\n"},
      {[](TextBuffer &b) {
         GL_AddLongFieldDescrToTextPtr2(b.ptr, &b.size, CFSTR("Width"), 720, CFSTR(" pixels"));
       },
       "Width: 720 pixels\n"},
      {[](TextBuffer &b) { GL_AddFloatFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Gamma"), 2.2222223f, 3); },
       "Gamma: 2.222\n"},
      {[](TextBuffer &b) { GL_AddOSTypeFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Codec"), '2vuy'); },
       "Codec: '2vuy'\n"},
      {[](TextBuffer &b) {
         const Rect r = {10, 20, -110, 220};
         GL_AddRectFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Crop rect"), &r);
       },
       "Crop rect: top 10, left 20, bottom -110, right 220\n"},
      {[](TextBuffer &b) { GL_AddPointFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Where"), Point{5, 7}); },
       "Where: vert 5, horiz 7\n"},
      {[](TextBuffer &b) { GL_AddHexFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Flags"), 255); }, "Flags: 0x000000FF\n"},
      {[](TextBuffer &b) { GL_AddVersionFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("QuickTime"), 0x0760); },
       "QuickTime: 7.6.0\n"},
      {[](TextBuffer &b) { GL_AddVersionsFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("System"), 10, 4, 11); },
       "System: 10.4.11\n"},
      {[](TextBuffer &b) { GL_AddCFStringToTextPtr(b.ptr, &b.size, CFSTR("caf\xC3\xA9 \xE2\x80\xA6")); },
       "caf\xC3\xA9 \xE2\x80\xA6"},
      {[](TextBuffer &b) { GL_AddCStringToTextPtr(b.ptr, &b.size, "plain"); }, "plain"},
  };
  for (const Case &c : cases) {
    TextBuffer b;
    c.add(b);
    EXPECT_EQ(b.Text(), c.expected);
  }
}

TEST(GeneralStringsText, ByteSizesUsePowersOfTenAsDivisors) {
  struct Case {
    SInt64 bytes;
    const char *text;
  };
  const Case cases[] = {{0, "0 bytes"},           {1023, "1023 bytes"},        {-1, "-1 bytes"},
                        {1024, "1.02 kB"},        {1000000, "1000.00 kB"},     {1048575, "1048.57 kB"},
                        {1048576, "1.05 MB"},     {SInt64(1) << 30, "1.07 GB"}, {SInt64(3) << 40, "3298.53 GB"}};
  for (const Case &c : cases) {
    TextBuffer b;
    GL_AddByteFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Size"), c.bytes);
    EXPECT_EQ(b.Text(), std::string("Size: ") + c.text + "\n");
    char str[256];
    GL_NumBytesToStr(c.bytes, str);
    EXPECT_STREQ(str, c.text);
  }
}

TEST(GeneralStringsText, TextBufferNeverRunsPastItsBlock) {
  TextBuffer b;
  // Lines accumulate at the running size.
  GL_AddLongFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("a"), 1);
  GL_AddLongFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("b"), 2);
  EXPECT_EQ(b.Text(), "a: 1\nb: 2\n");
  // Near the end of the block the text is cut at the block's end, not written beyond it.
  b.size = kGL_TextBufferCapacity - 4;
  GL_AddCStringToTextPtr(b.ptr, &b.size, "0123456789");
  EXPECT_EQ(b.size, kGL_TextBufferCapacity);
  EXPECT_EQ(std::string(b.ptr + kGL_TextBufferCapacity - 4, 4), "0123");
  GL_AddBooleanFieldDescrToTextPtr(b.ptr, &b.size, CFSTR("Full"), true);
  EXPECT_EQ(b.size, kGL_TextBufferCapacity);
  // A damaged running size writes nothing.
  SInt32 bad = -5;
  GL_AddCStringToTextPtr(b.ptr, &bad, "x");
  EXPECT_EQ(bad, -5);
  // A caller's own block is written as the caller sized it.
  char own[32];
  SInt32 used = 0;
  GL_AddBooleanFieldDescrToTextPtr(own, &used, CFSTR("Copy sound"), false);
  EXPECT_EQ(std::string(own, size_t(used)), "Copy sound: no\n");
  Ptr none = nullptr;
  GL_DisposeTextBuffer(&none);
}

TEST(GeneralStringsText, FourCharacterCodes) {
  char code[5];
  GL_OSTypeToCString('TVOD', code);
  EXPECT_STREQ(code, "TVOD");
  char quoted[7];
  GL_OSTypeToCStringWithQuo('ab\x01\xC9', quoted);
  EXPECT_STREQ(quoted, "'ab  '");
  struct Case {
    const char *text;
    OSType code;
  };
  const Case cases[] = {{"ab", 'ab\0\0'}, {"", 0}, {"abcdef", 'abcd'}, {"2vuy", '2vuy'}, {nullptr, 0}};
  for (const Case &c : cases) EXPECT_EQ(GL_CStrToOSType(c.text), c.code) << (c.text ? c.text : "NULL");
  const OSType list[] = {'2vuy', 'yuv2', 'dvc '};
  EXPECT_TRUE(GL_IsOSTypeInList(list, 3, 'dvc '));
  EXPECT_FALSE(GL_IsOSTypeInList(list, 2, 'dvc '));
  testing::internal::CaptureStdout();
  GL_PrintOSTypeWithName('jpeg', "codec");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "codec: 'jpeg'\n");
}

TEST(GeneralStringsText, HexadecimalAndVersions) {
  char hex[11];
  GL_NumToHex(255, hex);
  EXPECT_STREQ(hex, "0x000000FF");
  GL_NumToHex(0xDEADBEEF, hex);
  EXPECT_STREQ(hex, "0xDEADBEEF");
  struct HexCase {
    const char *text;
    UInt32 value;
  };
  const HexCase hexCases[] = {{"0x1F", 31}, {"0xDEADBEEF", 0xDEADBEEF}, {"0x1f", 1}, {"0", 0}, {"", 0}, {"0x", 0}};
  for (const HexCase &c : hexCases) EXPECT_EQ(GL_HexToNum(c.text), c.value) << c.text;
  const UInt8 bytes[] = {0x00, 0xAB, 0x7F};
  char *text = GL_DataToHexCStr(bytes, 3);
  EXPECT_STREQ(text, "0X00AB7F");
  std::free(text);
  text = GL_DataToHexCStr(nullptr, 0);
  EXPECT_STREQ(text, "0X");
  std::free(text);
  EXPECT_EQ(GL_DataToHexCStr(nullptr, 4), nullptr);
  EXPECT_EQ(GL_DataToHexCStr(bytes, -1), nullptr);
  EXPECT_TRUE(GL_CStringIsPureHex("09afAF"));
  EXPECT_FALSE(GL_CStringIsPureHex("0x1"));
  EXPECT_TRUE(GL_CStringIsPureBinary("0110"));
  EXPECT_FALSE(GL_CStringIsPureBinary("012"));
  struct VersionCase {
    UInt32 number;
    const char *text;
  };
  const VersionCase versions[] = {{0x1049, "10.4.9"}, {0x0701, "7.0.1"}, {0x00010203, "2.0.3"}, {0, "0.0.0"}};
  for (const VersionCase &c : versions) {
    char v[256];
    GL_NumToVersion(c.number, v);
    EXPECT_STREQ(v, c.text);
  }
  char v[256];
  GL_NumToVersion2(10, 4, 11, v);
  EXPECT_STREQ(v, "10.4.11");
}

TEST(GeneralStringsText, NumbersAsText) {
  char s[256] = "Clip";
  GL_AppendSpaceNumber(s, 2);
  GL_AppendPeriodNumber(s, 5);
  GL_AddNumToStr(s, -1);
  EXPECT_STREQ(s, "Clip 2.5-1");
  GL_NumToCString(-9000000000LL, s);
  EXPECT_STREQ(s, "-9000000000");
  struct TruncCase {
    const char *text;
    SInt64 number;
    int maxLength;
    const char *result;
  };
  const TruncCase truncs[] = {{"Movie name long", 12, 10, "Movie n 12"},
                              {"Short", 3, 31, "Short 3"},
                              {"Anything", 123456, 3, " 123456"}};
  for (const TruncCase &c : truncs) {
    char t[256];
    std::strcpy(t, c.text);
    GL_SafeAppendSpaceNumberTruncEnd(t, c.number, c.maxLength);
    EXPECT_STREQ(t, c.result);
  }
  char f[256];
  GL_FloatToStr(1.005f, f);
  EXPECT_STREQ(f, "1.00");
  GL_FloatRoundToStr(3.14159f, f, 3);
  EXPECT_STREQ(f, "3.142");
  GL_FloatRoundToStr(2.5f, f, 0);
  EXPECT_STREQ(f, "2");
  EXPECT_FLOAT_EQ(GL_RoundFloat(2.71828f, 2), 2.72f);
  struct FixedCase {
    Fixed value;
    int digits;
    const char *text;
  };
  const FixedCase fixeds[] = {{68813, 2, "1.05"},       // 1.05: the fraction keeps its leading zero
                              {-98304, 2, "-1.50"},     // -1.5
                              {-32768, 1, "-0.5"},      // the sign stays on a zero integer part
                              {65536 * 3, 0, "3"},
                              {1, 16, "0.0000152587890625"},
                              {1, 30, "0.0000152587890625"},
                              {Fixed(0x80000000), 2, "-32768.00"}};
  for (const FixedCase &c : fixeds) {
    char t[256];
    GL_FixedToString(c.value, c.digits, t);
    EXPECT_STREQ(t, c.text) << c.value;
  }
  GL_FixedToPercentageAsText(0x8000, f);
  EXPECT_STREQ(f, "50%");
  GL_FixedToPercentageAsText(-0x18000, f);
  EXPECT_STREQ(f, "-150%");
}

TEST(GeneralStringsText, WideNumbers) {
  struct Case {
    const char *text;
    SInt64 value;
  };
  const Case cases[] = {{"  -42  ", -42},
                        {"- 7", -7},
                        {"+15x", 15},
                        {"0", 0},
                        {"", 0},
                        {"9223372036854775807", 9223372036854775807LL},
                        {"-9223372036854775808", SInt64(0x8000000000000000ULL)}};
  for (const Case &c : cases) {
    wide w{1, 1};
    GL_StringToWideNum(c.text, &w);
    const SInt64 got = SInt64((UInt64(UInt32(w.hi)) << 32) | w.lo);
    EXPECT_EQ(got, c.value) << c.text;
    char back[256];
    GL_WideNumToString(&w, back);
    EXPECT_EQ(std::string(back), std::to_string(c.value));
  }
  wide w;
  GL_TrueNumberStringToWide("18446744073709551615", &w);
  EXPECT_EQ(UInt32(w.hi), 0xFFFFFFFFu);
  EXPECT_EQ(w.lo, 0xFFFFFFFFu);
  GL_TrueNumberStringToWide("123456789012345678901234", &w);  // only 20 digits are read
  EXPECT_EQ((UInt64(UInt32(w.hi)) << 32) | w.lo, 12345678901234567890ULL);
}

TEST(GeneralStringsText, TimeCodes) {
  char s[256];
  GL_TimeInSecToTimeCodeStr1(3725.5, s, 25);
  EXPECT_STREQ(s, "1:2:5:12");
  GL_TimeInSecToTimeCodeStr1_Alt(4.0, s, 100);  // 25 frames per second
  EXPECT_STREQ(s, "0:0:4:0");
  GL_TimeInSecToTimeCodeStr1_Alt(0.0, s, 100);  // no time: no rate, and no division by zero
  EXPECT_STREQ(s, "0:0:0:0");
  GL_TimeInSecToTimeCodeStr2(3725.5, s);
  EXPECT_STREQ(s, "1h,2m,5.50s");
  double sec = 0;
  EXPECT_EQ(GL_TimeCodeStrToSec("1:2:5:12", &sec, 25), noErr);
  EXPECT_DOUBLE_EQ(sec, 3725.48);
  EXPECT_EQ(GL_TimeCodeStrToSec("1:2:5:12", &sec, 0), noErr);
  EXPECT_DOUBLE_EQ(sec, 3725.0);
  for (const char *bad : {"1:2:5", "a:b:c:d", "1:2:5:12:7", "", "1::5:12"}) {
    EXPECT_EQ(GL_TimeCodeStrToSec(bad, &sec, 25), paramErr) << bad;
  }
}

TEST(GeneralStringsText, SafeAppendNeverExceedsTheLimit) {
  struct Case {
    const char *original;
    const char *added;
    SInt32 maxSize;
    const char *result;
  };
  const Case cases[] = {
      {"movie", ".mov", 31, "movie.mov"},
      {"a long movie name", " copy", 12, "a long  copy"},   // the end of the original goes
      {"name", "0123456789", 6, "012345"},                  // an added text longer than the limit is cut too
      {"name", "0123456789", 10, "0123456789"},
      {"", "abc", 0, ""},
  };
  for (const Case &c : cases) {
    char s[64];
    std::strcpy(s, c.original);
    GL_SafeAppendString(s, c.added, c.maxSize);
    EXPECT_STREQ(s, c.result);
    EXPECT_LE(SInt32(std::strlen(s)), c.maxSize);
  }
}

TEST(GeneralStringsText, Editing) {
  char s[300] = "world";
  GL_PrependString(s, "hello ");
  EXPECT_STREQ(s, "hello world");
  std::string longText(250, 'x');
  std::strcpy(s, longText.c_str());
  GL_PrependString(s, "0123456789");
  EXPECT_EQ(std::string(s), "01234" + longText);
  char end[64];
  GL_GetStringEnd("movie.mov", 4, end);
  EXPECT_STREQ(end, ".mov");
  GL_GetStringEnd("ab", 4, end);
  EXPECT_STREQ(end, "ab");
  std::strcpy(s, "movie.mov");
  GL_RemoveStringEnd(s, 4);
  EXPECT_STREQ(s, "movie");
  GL_RemoveStringEnd(s, 40);
  EXPECT_STREQ(s, "");
  std::strcpy(s, "abc");
  GL_RemoveCharacterFromString(s, 1);
  EXPECT_STREQ(s, "bc");
  GL_RemoveCharacterFromString(s, 3);  // past the end: nothing
  GL_RemoveCharacterFromString(s, 0);
  EXPECT_STREQ(s, "bc");
  GL_PutInParentheses(s);
  EXPECT_STREQ(s, "\"bc\"");
  GL_TextToStrCopy("abcdef", 3, s);
  EXPECT_STREQ(s, "abc");
  GL_CopyStringMP("copied", s);
  EXPECT_STREQ(s, "copied");
  EXPECT_TRUE(GL_EqualCStr("a", "a"));
  EXPECT_FALSE(GL_EqualCStr("a", "b"));
  EXPECT_TRUE(GL_IsStringEmpty(""));
  EXPECT_TRUE(GL_EqualCStringMP("abcX", "abcY", 2));
  EXPECT_FALSE(GL_EqualCStringMP("abcX", "abcY", 3));
  EXPECT_TRUE(GL_EqualCStringMP("ab", "ab", 10));
  EXPECT_FALSE(GL_EqualCStringMP("ab", "abc", 10));
  const char text[] = "line1\rline2\rrest";
  const char *endOfText = text + std::strlen(text);
  const char *next = GL_FindNextLine(text, endOfText);
  EXPECT_STREQ(next, "line2\rrest");
  next = GL_FindNextLine(GL_FindNextLine(next, endOfText), endOfText);
  EXPECT_EQ(next, endOfText);
}

TEST(GeneralStringsText, PostfixesAndMiddleTruncation) {
  const std::string e(1, char(kGL_MacRomanEllipsis));
  struct Case {
    const char *text;
    const char *postfix;
    SInt32 maxLength;
    bool middle;
    std::string result;
  };
  const Case cases[] = {
      {"movie", ".mov", 31, true, "movie.mov"},
      {"abcdefghij", ".mov", 10, true, "abc" + e + "ij.mov"},  // keeps the first half of what remains
      {"abcdefghij", ".mov", 10, false, "abcde" + e + ".mov"},
      {"abcdefghij", "toolongfix", 12, true, "abcdefghij"},  // postfix longer than maxLength - 3: nothing
      {"abcdefghij", ".mov", 300, true, "abcdefghij"},       // maxLength above 255: nothing
  };
  for (const Case &c : cases) {
    char s[300];
    std::strcpy(s, c.text);
    GL_AddPostfix(s, c.postfix, c.maxLength, c.middle);
    EXPECT_EQ(std::string(s), c.result) << c.text << " + " << c.postfix;
    EXPECT_LE(std::strlen(s), size_t(c.maxLength));
  }
  char s[64];
  std::strcpy(s, std::string(31, 'n').c_str());
  GL_AppendCharacter31(s, '2');
  EXPECT_EQ(std::strlen(s), 31u);
  EXPECT_EQ(s[30], '2');
  std::strcpy(s, "0123456789");
  GL_TruncStringMiddle(s, 3, 4);
  EXPECT_EQ(std::string(s), "012" + e + "89");
  std::strcpy(s, "0123456789");
  GL_TruncStringMiddle(s, 8, 5);  // limited to length - minSize
  EXPECT_EQ(std::strlen(s), 8u);
  std::strcpy(s, "0123456789");
  GL_TruncStringMiddle(s, 2, 5);  // minSize 2 or less: nothing
  EXPECT_STREQ(s, "0123456789");
  std::strcpy(s, "abcdefg");
  GL_TruncStringMiddleByOneChar(s, '~');
  EXPECT_STREQ(s, "abc~efg");
  GL_TruncStringMiddleByOneChar(s, '~');  // the neighbour on the longer (here: equal, right) side goes
  EXPECT_STREQ(s, "abc~fg");
  GL_TruncStringMiddleByOneChar(s, '~');
  EXPECT_STREQ(s, "ab~fg");
  std::strcpy(s, "abc");
  GL_TruncStringMiddleByOneChar(s, '~');
  EXPECT_STREQ(s, "abc");
}

TEST(GeneralStringsText, NameEnds) {
  char end[16];
  GL_GetNameEndString("Movie Clip 12", end);
  EXPECT_STREQ(end, " 12");
  GL_GetNameEndString("Movie", end);
  EXPECT_STREQ(end, "");
  GL_GetNameEndString("a 0123456789abcdefgh", end);
  EXPECT_STREQ(end, "");
  struct Case {
    const char *name;
    OSStatus err;
    SInt32 number;
  };
  const Case cases[] = {{"Movie 12", noErr, 12},          {"Movie -3", noErr, -3},
                        {"Movie", kGL_NoNameEndErr, 0},   {"a 12", kGL_NoNameEndErr, 0},
                        {"ab 12", noErr, 12},             {"Movie 1a", kGL_NonNumericCharacterErr, 0},
                        {"Movie ", kGL_NoNameEndErr, 0},  {"Movie 0123456789012345", kGL_NoNameEndErr, 0}};
  for (const Case &c : cases) {
    char digits[16] = "junk";
    SInt32 number = 99;
    EXPECT_EQ(GL_GetNameEndIndex(c.name, digits, &number), c.err) << c.name;
    EXPECT_EQ(number, c.number) << c.name;
    if (c.err != noErr) {
      EXPECT_STREQ(digits, "");
    }
  }
  char name[128] = "Movie 9";
  EXPECT_EQ(GL_ChangeNameEndIndex(name, 1), noErr);
  EXPECT_STREQ(name, "Movie 10");
  std::strcpy(name, (std::string(58, 'x') + " 9999").c_str());
  EXPECT_EQ(GL_ChangeNameEndIndex(name, 1), kGL_StringTooLongErr);  // 64 characters
  EXPECT_EQ(std::strlen(name), 63u);
  std::strcpy(name, "Movie 10");
  EXPECT_EQ(GL_RemoveNameEndIndex(name), noErr);
  EXPECT_STREQ(name, "Movie");
  EXPECT_EQ(GL_RemoveNameEndIndex(name), kGL_NoNameEndErr);
}

TEST(GeneralStringsText, Words) {
  struct FindCase {
    const char *line;
    const char *word;
    OSStatus err;
    SInt32 position;
  };
  const FindCase finds[] = {{"the quick fox", "quick", noErr, 5}, {"the quick fox", "the", noErr, 1},
                            {"the quick fox", "fox", noErr, 11},  {"the quick fox", "qui", noErr, 0},
                            {"quickly quick", "quick", noErr, 9}, {"a b", "abcdefghijklmnop", kGL_WordIndexErr, 0},
                            {"ab", "abc", kGL_WordNotFoundErr, 0}};
  for (const FindCase &c : finds) {
    SInt32 pos = -1;
    EXPECT_EQ(GL_FindWord(c.line, c.word, &pos), c.err) << c.line << " / " << c.word;
    EXPECT_EQ(pos, c.position) << c.line << " / " << c.word;
  }
  char line[300] = "the fox";
  EXPECT_EQ(GL_InsertWord(line, "quick", 5), noErr);
  EXPECT_STREQ(line, "the quick fox");
  EXPECT_EQ(GL_InsertWord(line, "x", 0), kGL_WordIndexErr);
  EXPECT_EQ(GL_InsertWord(line, std::string(32, 'w').c_str(), 1), kGL_WordIndexErr);
  std::string full(250, 'a');
  char big[300];
  std::strcpy(big, full.c_str());
  EXPECT_EQ(GL_InsertWord(big, "word", 1), noErr);  // exactly 255
  EXPECT_EQ(GL_InsertWord(big, "w", 1), kGL_StringTooLongErr);
  EXPECT_EQ(std::strlen(big), 255u);
  std::strcpy(line, "the fox");
  EXPECT_EQ(GL_InsertWordBehind(line, "the", "brown"), noErr);
  EXPECT_STREQ(line, "the brown fox");
  EXPECT_EQ(GL_InsertWordBehind(line, "fox", "jumps"), noErr);
  EXPECT_STREQ(line, "the brown fox jumps");
  EXPECT_EQ(GL_InsertWordBehind(line, "cat", "x"), kGL_InsertWordBehindErr);
  GL_WordSub *subs = nullptr;
  EXPECT_EQ(GL_AddWordSubToList(&subs, "the", "lazy"), noErr);
  EXPECT_EQ(GL_AddWordSubToList(&subs, "missing", "x"), noErr);
  EXPECT_EQ(GL_AddWordSubToList(&subs, "jumps", "high"), noErr);
  EXPECT_EQ(GL_AddWordSubToList(&subs, std::string(16, 'b').c_str(), "x"), kGL_WordIndexErr);
  EXPECT_EQ(LL_PtrListCount(subs), 3);
  EXPECT_EQ(GL_WordInsertions(line, subs), kGL_InsertWordBehindErr);  // stops at the second
  EXPECT_STREQ(line, "the lazy brown fox jumps");
  LL_DisposeLinkedList(&subs);
  EXPECT_EQ(subs, nullptr);
}

TEST(GeneralStringsText, CharacterClassesAndDigitFilters) {
  EXPECT_TRUE(GL_IsNumericCharacter('-'));
  EXPECT_FALSE(GL_IsNumericCharacter('.'));
  EXPECT_TRUE(GL_IsNumericCharacterFloat('.'));
  for (char c : std::string("0123456789")) EXPECT_TRUE(GL_IsDigit(c)) << c;
  for (char c : std::string("+-./:a ")) EXPECT_FALSE(GL_IsDigit(c)) << c;
  EXPECT_TRUE(GL_IsLetter('z'));
  EXPECT_FALSE(GL_IsLetter('1'));
  EXPECT_TRUE(GL_IsWordDelimiter('_'));
  EXPECT_TRUE(GL_IsInvisibleAsciiCharacter(' '));
  EXPECT_TRUE(GL_IsInvisibleAsciiCharacter(127));
  EXPECT_FALSE(GL_IsInvisibleAsciiCharacter(char(0xC9)));  // a high byte is a character, not a control
  EXPECT_TRUE(GL_AnyNonDigitInTextString("12a"));
  EXPECT_FALSE(GL_AnyNonDigitInTextString("-12"));
  struct IntCase {
    const char *text;
    SInt32 min;
    SInt32 max;
    const char *result;
  };
  const IntCase ints[] = {{"12a3", 0, 1000, "123"}, {"5000", 0, 1000, "1000"}, {"-7", 0, 10, "0"},
                          {"x", 1, 10, "1"},        {"9-9", 0, 100, "99"},     {"99999999999999", 0, 2147483647, "2147483647"}};
  for (const IntCase &c : ints) {
    char s[32];
    std::strcpy(s, c.text);
    GL_EnforceTextValueBounds(s, c.min, c.max);
    EXPECT_STREQ(s, c.result) << c.text;
  }
  struct FloatCase {
    const char *text;
    float min;
    float max;
    const char *result;
  };
  const FloatCase floats[] = {{"2.345", 0, 10, "2.35"}, {"1.2.3", 0, 10, "1.23"}, {".5", 0, 1, "0.50"},
                              {"abc", 0.5f, 1, "0.50"},  {"99", 0, 9.5f, "9.50"}};
  for (const FloatCase &c : floats) {
    char s[64];
    std::strcpy(s, c.text);
    GL_EnforceTextFloatValueBounds(s, c.min, c.max);
    EXPECT_STREQ(s, c.result) << c.text;
  }
  char s[32] = "7";
  GL_EnforceEvenTextValue(s);
  EXPECT_STREQ(s, "6");
  std::strcpy(s, "-7");
  GL_EnforceEvenTextValue(s);
  EXPECT_STREQ(s, "-6");
  std::strcpy(s, ".");
  GL_RemoveAnyNonDigitInFloatString(s);
  EXPECT_STREQ(s, "0.0");
  char high[] = "\xC9\xE9z";
  GL_ReduceTextToLowerASCII(high, 3);
  EXPECT_EQ(UInt8(high[0]), 0x49);
  EXPECT_EQ(high[2], 'z');
  const char utf8[] = "caf\xC3\xA9 \xE2\x80\xA6";
  EXPECT_EQ(GL_CountCharParamsInText(utf8, 0, SInt32(std::strlen(utf8)), smUnicodeScript), 6);
  EXPECT_EQ(GL_CountCharParamsInText(utf8, 0, SInt32(std::strlen(utf8)), smRoman), 9);
  EXPECT_EQ(GL_CountCharParamsInText(utf8, 5, 3, smRoman), 0);
}

// ---- Measured text: a port whose back end measures every character of size s as s pixels ('i' s / 2,
// bold one more), so that widths are known exactly. ----

class GeneralStringsTextMeasured : public ::testing::Test {
 protected:
  void SetUp() override {
    GetPort(&saved_);
    fake_ = NewFakeTextPort();
    SetPort(fake_->port);
    // A style of the caller's that the routines must leave as it was.
    TextFont(21);
    TextSize(11);
    TextFace(italic);
  }
  void TearDown() override {
    DisposeFakeTextPort(fake_);
    SetPort(saved_);
  }
  void ExpectCallerStyleKept() {
    EXPECT_EQ(GetPortTextFont(fake_->port), 21);
    EXPECT_EQ(GetPortTextSize(fake_->port), 11);
    EXPECT_EQ(GetPortTextFace(fake_->port), italic);
  }
  GrafPtr saved_ = nullptr;
  FakeTextPort *fake_ = nullptr;
};

TEST_F(GeneralStringsTextMeasured, StringWidthInAGivenFontKeepsThePortsStyle) {
  EXPECT_EQ(GL_GetStringWidth("abc", 22, 12, normal), 36);
  ASSERT_FALSE(fake_->measured.empty());
  EXPECT_EQ(fake_->measured.back().font, 22);
  EXPECT_EQ(fake_->measured.back().size, 12);
  EXPECT_EQ(GL_GetStringWidth("abc", 22, 12, bold), 39);
  EXPECT_EQ(GL_GetStringWidth("", 22, 12, bold), 0);
  ExpectCallerStyleKept();
  // Only the first 255 bytes count, as in a length-prefixed string.
  EXPECT_EQ(GL_GetStringWidth(std::string(300, 'a').c_str(), 1, 1, normal), 255);
  EXPECT_EQ(GL_CStringWidth("xyz"), 33);

  // Without a port there is nothing to measure with: 0 and the reason, never a guessed width.
  SetPort(nullptr);
  EXPECT_EQ(GL_GetStringWidth("abc", 22, 12, normal), 0);
  EXPECT_EQ(QDError(), paramErr);
}

TEST_F(GeneralStringsTextMeasured, WidestWordOfALine) {
  TextSize(10);
  char widest[64];
  EXPECT_EQ(GL_GetWidestWordInLine("iiii abc\twxyz\rx", widest), 40);
  EXPECT_STREQ(widest, "wxyz");  // "iiii" has as many characters but is narrower
  EXPECT_EQ(GL_GetWidestWordInLine("ab cd", widest), 20);
  EXPECT_STREQ(widest, "ab");
  EXPECT_EQ(GL_GetWidestWordInLine(" \t ", widest), 0);
  EXPECT_STREQ(widest, "");
}

TEST_F(GeneralStringsTextMeasured, TruncWordsInLineShortensWideWordsUntilTheyFit) {
  struct Case {
    const char *line;
    SInt16 maxWidth;
    SInt16 size;
    const char *expected;
  } const cases[] = {
      // 15 characters of 10 pixels in 80: 8 are kept, the ellipsis among them.
      {"to abcdefghjklmnop end", 80, 10, "to abcd\xC9nop end"},
      {"abcdefghjklmnop abcdefghjklmnop", 90, 10, "abcd\xC9mnop abcd\xC9mnop"},
      {"fits within", 80, 10, "fits within"},
      // Below 80 pixels the line is left alone.
      {"to abcdefghjklmnop end", 79, 10, "to abcdefghjklmnop end"},
      // A word that cannot fit ends as first character, ellipsis, last character.
      {"abcd xy", 80, 100, "a\xC9" "d xy"},
      // Two-byte characters are cut whole.
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 80, 10,
       "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC9\xC3\xA9\xC3\xA9\xC3\xA9"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    char line[256];
    std::strcpy(line, c.line);
    EXPECT_EQ(GL_TruncWordsInLine(line, c.maxWidth, 3, c.size, normal), noErr);
    EXPECT_STREQ(line, c.expected);
    ExpectCallerStyleKept();
  }
}

TEST_F(GeneralStringsTextMeasured, FitStringsInLineBoxLowersTheSize) {
  GL_CStringLE cd{nullptr, "cd"};
  GL_CStringLE ab{&cd, "ab"};
  struct Case {
    SInt16 boxWidth;  // the room is 2 pixels less
    SInt16 startSize;
    OSStatus result;
    SInt16 endSize;
  } const cases[] = {
      {72, 10, noErr, 10},                 // "ab   cd": 7 characters, 70 pixels at size 10
      {72, 20, noErr, 10},                 // lowered one by one from 20
      {65, 10, noErr, 9},                  // 63 pixels at 9
      {64, 10, kGL_StringsDoNotFitErr, 9}, // not even at 9
      {20, 8, kGL_StringsDoNotFitErr, 8},  // a small size is not lowered further
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.boxWidth << " from " << c.startSize);
    Rect box{0, 10, 20, SInt16(10 + c.boxWidth)};
    TextStyle style{4, normal, c.startSize, {0, 0, 0}};
    char line[256];
    EXPECT_EQ(GL_FitStringsInLineBox(&ab, &box, 3, &style, line), c.result);
    EXPECT_STREQ(line, "ab   cd");
    EXPECT_EQ(style.tsSize, c.endSize);
    EXPECT_EQ(GetPortTextSize(fake_->port), c.endSize);
    EXPECT_EQ(GetPortTextFont(fake_->port), 4);
  }

  // A joined text of 256 bytes or more is refused instead of overrunning the line.
  const std::string longPart(200, 'x');
  GL_CStringLE second{nullptr, longPart.c_str()};
  GL_CStringLE firstLong{&second, longPart.c_str()};
  Rect box{0, 0, 20, 1000};
  TextStyle style{4, normal, 10, {0, 0, 0}};
  char line[256] = "old";
  EXPECT_EQ(GL_FitStringsInLineBox(&firstLong, &box, 1, &style, line), kGL_StringTooLongErr);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(GL_FitStringsInLineBox(&ab, nullptr, 1, &style, line), paramErr);
}

// A window layer that knows windows by number and keeps their titles.
std::map<WindowRef, std::string> gWindowTitles;

OSStatus CopyFakeTitle(WindowRef window, CFStringRef *out) {
  auto it = gWindowTitles.find(window);
  if (it == gWindowTitles.end()) return errInvalidWindowRef;
  *out = CFStringCreateWithCString(nullptr, it->second.c_str(), kCFStringEncodingUTF8);
  return noErr;
}
OSStatus SetFakeTitle(WindowRef, CFStringRef) { return unimpErr; }

TEST(GeneralStringsText, SuggestNameFromTheWindowTitle) {
  const PL_WindowProcs procs{CopyFakeTitle, SetFakeTitle};
  ASSERT_EQ(PL_SetWindowProcs(&procs), noErr);
  auto window = [](int n) { return reinterpret_cast<WindowRef>(static_cast<intptr_t>(n)); };
  std::string accents;
  for (int i = 0; i < 40; ++i) accents += "\xC3\xA9";
  gWindowTitles = {{window(1), "Clip"}, {window(2), std::string(100, 'a')}, {window(3), accents}};
  struct Case {
    int window;
    const char *postFix;
    std::string expected;
  } const cases[] = {
      {1, ".mov", "Clip.mov"},
      {1, "", "Clip"},
      // Longer titles are cut after the last whole character within 63 bytes.
      {2, ".mov", std::string(63, 'a') + ".mov"},
      {3, " log", accents.substr(0, 62) + " log"},
      // A window the layer does not know gives no name.
      {4, ".mov", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.window);
    char name[256] = "stale";
    GL_SuggestName(window(c.window), name, c.postFix);
    EXPECT_EQ(std::string(name), c.expected);
  }
  // The result stays within 255 bytes however long the postfix.
  char name[256];
  const std::string longPostFix(300, 'p');
  GL_SuggestName(window(1), name, longPostFix.c_str());
  EXPECT_EQ(std::strlen(name), 255u);
  EXPECT_EQ(std::string(name, 4), "Clip");

  PL_SetWindowProcs(nullptr);
  GL_SuggestName(window(1), name, ".mov");
  EXPECT_STREQ(name, "");
}

}  // namespace
