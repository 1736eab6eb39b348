// Read-only text objects written by the program: appending, queries that keep the selection, empty ranges,
// long log messages, the Munger find procedure and the size menu.
#include "toolkit/text_objects.h"

#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/menus.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct ToolkitTextObjects : ::testing::Test {
  TXNObject object = nullptr;
  void SetUp() override { ASSERT_EQ(TXNCreateObject(nullptr, kTXNReadOnlyMask, &object), noErr); }
  void TearDown() override { TXNDeleteObject(object); }
  bool ReadOnly() {
    TXNControlTag tag = kTXNIOPrivilegesTag;
    TXNControlData data{};
    EXPECT_EQ(TXNGetTXNObjectControls(object, 1, &tag, &data), noErr);
    return data.uValue == kTXNReadOnly;
  }
  std::string Text() {
    CFStringRef s = nullptr;
    EXPECT_EQ(TXN_GetDataAsCFStr(object, 0, kTXNEndOffset, &s), noErr);
    std::string text = PL_CFStringToUTF8(s);
    CFRelease(s);
    return text;
  }
  OSStatus Add(std::string text) { return TXN_AddReadOnlyText(object, text.data(), long(text.size())); }
};

TEST_F(ToolkitTextObjects, AppendingKeepsTheTextReadOnlyAndAFailedAppendLeavesItWritable) {
  ASSERT_EQ(Add("first\r"), noErr);
  ASSERT_EQ(Add("second\r"), noErr);
  EXPECT_EQ(Text(), "first\rsecond\r");
  EXPECT_TRUE(ReadOnly());
  // What the user cannot do, the program cannot do without switching either.
  char more[] = "x";
  EXPECT_EQ(TXN_AddText(object, more, 1), wrPermErr);

  EXPECT_EQ(TXN_AddReadOnlyText(object, more, -1), paramErr);
  EXPECT_FALSE(ReadOnly());
  EXPECT_EQ(Text(), "first\rsecond\r");

  char whole[] = "replaced";
  ASSERT_EQ(TXN_SetReadOnlyText(object, whole, 8), noErr);
  EXPECT_EQ(Text(), "replaced");
  EXPECT_TRUE(ReadOnly());
  ASSERT_EQ(TXNSetSelection(object, 0, 2), noErr);
  ASSERT_EQ(TXN_ClearReadOnlySelection(object), noErr);
  EXPECT_EQ(Text(), "placed");
  EXPECT_FALSE(ReadOnly());
}

TEST_F(ToolkitTextObjects, LengthOfEmptyTextAndEmptyRangeBytes) {
  TXNOffset length = 99;
  ASSERT_EQ(TXN_GetLength(object, &length), noErr);
  EXPECT_EQ(length, 0u);
  ASSERT_EQ(Add("hello world"), noErr);
  ASSERT_EQ(TXNSetSelection(object, 3, 3), noErr);
  ASSERT_EQ(TXN_GetLength(object, &length), noErr);
  EXPECT_EQ(length, 11u);
  TXNOffset s = 0, e = 0;
  TXNGetSelection(object, &s, &e);
  EXPECT_EQ(s, 3u);
  EXPECT_EQ(e, 3u);

  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  ASSERT_EQ(TXN_GetDataAsCStr(object, 4, 4, buffer), noErr);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 'x');
  ASSERT_EQ(TXN_GetDataAsCStr(object, 6, 11, buffer), noErr);
  EXPECT_STREQ(buffer, "world");
  EXPECT_EQ(buffer[6], 'x');
}

TEST_F(ToolkitTextObjects, LogMessageOfAnyLengthIsAppendedWhole) {
  const std::string message(40000, 'm');  // beyond the 32768 bytes a fixed buffer once held
  ASSERT_EQ(TXN_SetLogMessageWithTime(object, message.c_str()), noErr);
  const std::string text = Text();
  ASSERT_GT(text.size(), message.size() + 8);
  EXPECT_EQ(text.compare(0, message.size() + 6, message + "Time: "), 0);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
  EXPECT_TRUE(ReadOnly());
}

TEST_F(ToolkitTextObjects, AppearanceOverTheWholeTextKeepsTheSelection) {
  ASSERT_EQ(Add("styled text"), noErr);
  ASSERT_EQ(TXNSetSelection(object, 2, 5), noErr);
  ASSERT_EQ(TXN_SetFont(object, 22), noErr);
  ASSERT_EQ(TXN_SetStyle(object, 1), noErr);
  ASSERT_EQ(TXN_SetSize(object, 14), noErr);
  TXNOffset s = 0, e = 0;
  TXNGetSelection(object, &s, &e);
  EXPECT_EQ(s, 2u);
  EXPECT_EQ(e, 5u);
  SInt16 font = 0;
  long size = 0;
  Style style = 0;
  ASSERT_EQ(TXN_GetFont(object, &font), noErr);
  ASSERT_EQ(TXN_GetSize(object, &size), noErr);
  ASSERT_EQ(TXN_GetStyle(object, &style), noErr);
  EXPECT_EQ(font, 22);
  EXPECT_EQ(size, 14);
  EXPECT_EQ(style, 1);

  ASSERT_EQ(TXN_SetSizeInSelection(object, 24), noErr);
  MenuRef menu = nullptr;
  ASSERT_EQ(CreateNewMenu(300, 0, &menu), noErr);
  for (const char *item : {"9", "12", "14", "24", "Other"}) {
    CFStringRef text = CFStringCreateWithCString(nullptr, item, kCFStringEncodingUTF8);
    AppendMenuItemTextWithCFString(menu, text, 0, 0, nullptr);
    CFRelease(text);
  }
  const long sizes[] = {9, 12, 14, 24};
  ASSERT_EQ(TXNSetSelection(object, 3, 4), noErr);
  ASSERT_EQ(TXN_PrepareSizeMenu(menu, object, sizes, 5), noErr);
  for (MenuItemIndex i = 1; i <= 4; ++i) {
    CharParameter mark = 0;
    GetItemMark(menu, i, &mark);
    EXPECT_EQ(mark != 0, i == 4) << "item " << i;
  }
  DisposeMenu(menu);
}

TEST_F(ToolkitTextObjects, FindAndTheMungerFindProcedureAgree) {
  ASSERT_EQ(Add("Averaging + Outliers + Outliers"), noErr);
  TXNOffset s = 0, e = 0;
  ASSERT_EQ(TXN_Find(object, "Outliers", 13, kTXNEndOffset, &s, &e), noErr);
  EXPECT_EQ(s, 23u);
  EXPECT_EQ(e, 31u);
  ASSERT_EQ(TXN_Find(object, "Noise", 0, kTXNEndOffset, &s, &e), noErr);
  EXPECT_EQ(s, kTXNUseCurrentSelection);

  // The Munger procedure through the engine, on bytes and on Unicode text: same offsets.
  const char pattern[] = "Outliers";
  TXNMatchTextRecord bytes{pattern, 8, kTextEncodingMacRoman};
  ASSERT_EQ(TXNFind(object, &bytes, kTXNTextData, 0, 13, kTXNEndOffset, TXN_Munger, 0, &s, &e), noErr);
  EXPECT_EQ(s, 23u);
  EXPECT_EQ(e, 31u);
  const char16_t wide[] = u"Outliers";
  TXNMatchTextRecord unicode{wide, 16, kTextEncodingUnicodeDefault};
  ASSERT_EQ(TXNFind(object, &unicode, kTXNUnicodeTextData, 0, 0, kTXNEndOffset, TXN_Munger, 0, &s, &e), noErr);
  EXPECT_EQ(s, 12u);
  EXPECT_EQ(e, 20u);
  TXNMatchTextRecord none{"zzz", 3, kTextEncodingMacRoman};
  ASSERT_EQ(TXNFind(object, &none, kTXNTextData, 0, 0, kTXNEndOffset, TXN_Munger, 0, &s, &e), noErr);
  EXPECT_EQ(s, kTXNUseCurrentSelection);
}

}  // namespace
