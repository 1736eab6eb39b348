// Standard-library helpers (bounded formats, line input, replacement, word counts) and the toolbox wrappers.
#include "general/standard_helpers.h"

#include "platform/core/mac_errors.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

TEST(GeneralStandardHelpers, FormatBuilders) {
  struct Case {
    void (*make)(int, char *);
    int maxSize;
    const char *expected;
  };
  const Case cases[] = {
      {AC_MakeMaxFloatSizeFormatStr, 2, "%.2f"},  {AC_MakeMaxStringSizeFormatStr, 9, "%9s"},
      {AC_MakeMaxTextSizeFormatStr, 0, "%0c"},    {AC_MakeMaxStringSizeFormatStr, 12, "%12s"},
      {AC_MakeMaxFloatSizeFormatStr, -3, "%.0f"},
  };
  for (const Case &c : cases) {
    char format[16] = "junk";
    c.make(c.maxSize, format);
    EXPECT_STREQ(format, c.expected);
  }
}

TEST(GeneralStandardHelpers, CountWords) {
  struct Case {
    const char *line;
    SInt32 words;
  };
  const Case cases[] = {{"a b", 2}, {"", 0}, {"   ", 0}, {"  lead  trail  ", 2}, {"\tx\ny", 2}, {nullptr, 0},
                        {"one", 1}};
  for (const Case &c : cases) EXPECT_EQ(AC_CountWords(c.line), c.words) << (c.line ? c.line : "NULL");
}

TEST(GeneralStandardHelpers, ReplaceSubstr) {
  char text[32] = "abcabc";
  char *after = AC_ReplaceSubstr(text, "b", "XYZ");
  EXPECT_STREQ(text, "aXYZcabc");
  EXPECT_STREQ(after, "cabc");
  after = AC_ReplaceSubstr(text, "XYZ", "");  // an empty replacement deletes
  EXPECT_STREQ(text, "acabc");
  EXPECT_STREQ(after, "cabc");
  EXPECT_EQ(AC_ReplaceSubstr(text, "zz", "y"), nullptr);
  EXPECT_STREQ(text, "acabc");
  EXPECT_EQ(AC_ReplaceSubstr(nullptr, "a", "b"), nullptr);
  EXPECT_EQ(AC_ReplaceSubstr(text, nullptr, "b"), nullptr);
  EXPECT_EQ(AC_ReplaceSubstr(text, "a", nullptr), nullptr);
  AC_terminate_str(text, 2);
  EXPECT_STREQ(text, "ac");
  void *block = std::malloc(8);
  AC_free(&block);
  EXPECT_EQ(block, nullptr);
  AC_free(&block);  // a NULL pointer is fine
}

// Runs `body` with standard input reading `input`.
template <class F>
void WithInput(const std::string &input, F body) {
  bz_test::TempDir dir;
  const std::string path = dir.File("stdin.txt");
  std::ofstream(path, std::ios::binary) << input;
  ASSERT_NE(std::freopen(path.c_str(), "r", stdin), nullptr);
  body();
  std::freopen("/dev/null", "r", stdin);
}

TEST(GeneralStandardHelpers, LineInputIsBounded) {
  WithInput(std::string(300, 'x') + "\nSecond Line\nrest", [] {
    char line[kAC_MaxLineLength + 1];
    AC_ReadLine(line);
    EXPECT_EQ(std::strlen(line), size_t(kAC_MaxLineLength));  // the rest of the long line is dropped
    AC_GetsLowerCase(line);
    EXPECT_STREQ(line, "second line");
    AC_ReadLine(line);
    EXPECT_STREQ(line, "rest");  // the end of input ends the line
    AC_ReadLine(line);
    EXPECT_STREQ(line, "");
  });
  WithInput("skip this\nkept\n", [] {
    AC_Flush();
    char line[kAC_MaxLineLength + 1];
    AC_ReadLine(line);
    EXPECT_STREQ(line, "kept");
  });
  WithInput("abcdef ghi", [] {
    char word[4];
    EXPECT_EQ(AC_scanf_string(3, word), 1);
    EXPECT_STREQ(word, "abc");
    char text[2];
    EXPECT_EQ(AC_scanf_text(2, text), 1);
    EXPECT_EQ(std::string(text, 2), "de");
  });
}

TEST(GeneralStandardHelpers, CommandPromptEndsAtEndOfInput) {
  testing::internal::CaptureStdout();
  char first = 0;
  char second = 0;
  WithInput("x\nn", [&] {
    first = AC_GetCommand();
    second = AC_GetCommand();
  });
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(first, 'n');
  EXPECT_EQ(second, 'q');
  EXPECT_NE(out.find("Enter command (q=quit, n=new): "), std::string::npos);
}

TEST(GeneralStandardHelpers, HexBytesAndPrintableCharacters) {
  testing::internal::CaptureStdout();
  AC_PrintByteAsHex(0xAF);
  AC_PrintByteAsHex(0x05);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "AF05");
  srandom(7);
  for (int i = 0; i < 200; ++i) EXPECT_TRUE(std::isprint(static_cast<unsigned char>(AC_RandomPrintableChar())));
}

TEST(GeneralStandardHelpers, ToolboxWrappersPassThrough) {
  Str255 p;
  GLD_c2pstrcpy(p, "clip 2");
  EXPECT_EQ(p[0], 6);
  Str255 copy;
  GLD_PLstrcpy(copy, p);
  Str255 tail;
  GLD_c2pstrcpy(tail, "!");
  GLD_PLstrcat(copy, tail);
  char c[256];
  GLD_p2cstrcpy(c, copy);
  EXPECT_STREQ(c, "clip 2!");
  GLD_NumToString(-3000, p);
  SInt32 n = 0;
  GLD_StringToNum(p, &n);
  EXPECT_EQ(n, -3000);
  GLD_c2pstrcpy(p, "Monaco");
  SInt16 font = -1;
  GLD_GetFNum(p, &font);
  EXPECT_EQ(font, 4);
  UTCDateTime now{};
  EXPECT_EQ(GLD_GetUTCDateTime(&now, 0), noErr);
  EXPECT_GT(now.lowSeconds, 3600u * 24 * 365 * 100);  // well after 2004
  UInt32 local = 0;
  GLD_GetDateTime(&local);
  EXPECT_GT(local, 3061152000u);
  LongDateTime secs = local;
  LongDateRec rec;
  GLD_LongSecondsToDate(&secs, &rec);
  LongDateTime back = 0;
  GLD_LongDateToSeconds(&rec, &back);
  EXPECT_EQ(back, secs);
  Str255 a;
  Str255 b;
  GLD_c2pstrcpy(a, "Noise");
  GLD_c2pstrcpy(b, "NOISE");
  EXPECT_TRUE(GLD_EqualString(a, b, false, false));
  EXPECT_FALSE(GLD_EqualString(a, b, true, false));
}

}  // namespace
