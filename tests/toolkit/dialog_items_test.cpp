// Dialog items by view identifier on a window built in the test: each operation's main path, the
// look-up's error for a missing view, and the consecutive-item groups.
#include "toolkit/dialog_items.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "support/cf_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using bz_test::CFText;

constexpr OSType kSig = 'Orl1';
HIViewID Id(SInt32 n) { return HIViewID{kSig, n}; }

// A window whose controls are the items 2100..2110 and the pop-up 2200, without a display.
class ToolkitDialogItemsByID : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = reinterpret_cast<WindowRef>(&windowStorage_);
    for (SInt32 n = 2100; n <= 2110; ++n) Add(n);
    ControlRef popup = Add(2200);
    MenuRef menu = nullptr;
    ASSERT_EQ(CreateNewMenu(1, 0, &menu), noErr);
    for (const char *text : {"10", "20", "30.5"}) {
      CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
      AppendMenuItemTextWithCFString(menu, s, 0, 0, nullptr);
      CFRelease(s);
    }
    SetControlPopupMenuHandle(popup, menu);
    SetControl32BitMaximum(popup, 3);
    SetControl32BitMinimum(popup, 1);
  }
  void TearDown() override { PL_DisposeWindowControls(window_); }

  ControlRef Add(SInt32 n) {
    HIViewID id = Id(n);
    ControlRef c = nullptr;
    EXPECT_EQ(PL_NewControl(window_, &id, &c), noErr);
    return c;
  }
  ControlRef View(SInt32 n) {
    HIViewRef v = nullptr;
    EXPECT_EQ(HIViewFindByID(HIViewGetRoot(window_), Id(n), &v), noErr);
    return v;
  }
  void SetText(SInt32 n, const char *text) {
    CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
    EXPECT_EQ(GL_SetDialogItemTextByID(window_, Id(n), s), noErr);
    CFRelease(s);
  }
  std::string Text(SInt32 n) {
    CFStringRef s = nullptr;
    EXPECT_EQ(GL_CopyDialogItemTextByID(window_, Id(n), &s), noErr);
    std::string text = CFText(s);
    if (s != nullptr) CFRelease(s);
    return text;
  }

  WindowRef window_ = nullptr;
  int windowStorage_ = 0;
};

// Every operation on a view identifier the window lacks returns the look-up's error and writes nothing.
TEST_F(ToolkitDialogItemsByID, MissingViewGivesTheLookUpErrorAndLeavesOutputsAlone) {
  WindowRef w = window_;
  const HIViewID missing = Id(9999);
  SInt32 i32 = 77;
  SInt16 i16 = 77;
  double d = 77;
  float f = 77;
  Boolean b = 77;
  long l = 77;
  Rect r{7, 7, 7, 7};
  HIRect hr = CGRectMake(7, 7, 7, 7);
  MenuRef menu = reinterpret_cast<MenuRef>(7);
  CFStringRef text = reinterpret_cast<CFStringRef>(7);
  SInt32 h = 7, wd = 7;
  struct Case {
    const char *name;
    std::function<OSStatus()> call;
  };
  const std::vector<Case> cases = {
      {"GL_SetDialogItemValueByID", [&] { return GL_SetDialogItemValueByID(w, missing, 1); }},
      {"GL_GetDialogItemValueByID", [&] { return GL_GetDialogItemValueByID(w, missing, &i32); }},
      {"GL_SetDialogItemMaxByID", [&] { return GL_SetDialogItemMaxByID(w, missing, 1); }},
      {"GL_GetDialogItemMaxByID", [&] { return GL_GetDialogItemMaxByID(w, missing, &i32); }},
      {"GL_SetDialogItemMinByID", [&] { return GL_SetDialogItemMinByID(w, missing, 1); }},
      {"GL_GetDialogItemMinByID", [&] { return GL_GetDialogItemMinByID(w, missing, &i32); }},
      {"GL_SetDialogItemValueByPercByID", [&] { return GL_SetDialogItemValueByPercByID(w, missing, 0.5); }},
      {"GL_GetDialogItemValueByPercByID", [&] { return GL_GetDialogItemValueByPercByID(w, missing, &d); }},
      {"GL_GetDialogItemValueB_ByID", [&] { return GL_GetDialogItemValueB_ByID(w, missing, &b); }},
      {"GL_GetDialogItemValueS_ByID", [&] { return GL_GetDialogItemValueS_ByID(w, missing, &i16); }},
      {"GL_SetDialogItemComboValueByID", [&] { return GL_SetDialogItemComboValueByID(w, missing, 5); }},
      {"GL_SetDialogItemTextByID", [&] { return GL_SetDialogItemTextByID(w, missing, CFSTR("x")); }},
      {"GL_CopyDialogItemTextByID", [&] { return GL_CopyDialogItemTextByID(w, missing, &text); }},
      {"GL_SetDialogItemTextIntByID", [&] { return GL_SetDialogItemTextIntByID(w, missing, 3); }},
      {"GL_SetDialogItemTextFloatByID", [&] { return GL_SetDialogItemTextFloatByID(w, missing, 3.0); }},
      {"GL_SetDialogItemTextFloatPreciseByID", [&] { return GL_SetDialogItemTextFloatPreciseByID(w, missing, 3, 2); }},
      {"GL_SetDialogItemTextFloatRelevantDigitsByID",
       [&] { return GL_SetDialogItemTextFloatRelevantDigitsByID(w, missing, 3, 3); }},
      {"GL_GetDialogItemTextIntByID", [&] { return GL_GetDialogItemTextIntByID(w, missing, &i32); }},
      {"GL_GetDialogItemTextSInt16ByID", [&] { return GL_GetDialogItemTextSInt16ByID(w, missing, &i16); }},
      {"GL_GetDialogItemTextFloat64ByID", [&] { return GL_GetDialogItemTextFloat64ByID(w, missing, &d); }},
      {"GL_GetDialogItemTextFloat32ByID", [&] { return GL_GetDialogItemTextFloat32ByID(w, missing, &f); }},
      {"GL_CheckDialogItemTextIntByID", [&] { return GL_CheckDialogItemTextIntByID(w, missing); }},
      {"GL_GetDialogItemAllTextSelectedByID", [&] { return GL_GetDialogItemAllTextSelectedByID(w, missing, &b); }},
      {"GL_SetDialogItemAllTextSelectedByID", [&] { return GL_SetDialogItemAllTextSelectedByID(w, missing); }},
      {"GL_SetDialogItemTextPreservingAllSelectedByID",
       [&] { return GL_SetDialogItemTextPreservingAllSelectedByID(w, missing, CFSTR("x")); }},
      {"GL_SetDialogItemTitleByID", [&] { return GL_SetDialogItemTitleByID(w, missing, CFSTR("x")); }},
      {"GL_CopyDialogItemTitleByID", [&] { return GL_CopyDialogItemTitleByID(w, missing, &text); }},
      {"GL_ActivateDialogItemByID", [&] { return GL_ActivateDialogItemByID(w, missing, true); }},
      {"GL_IsDialogItemActiveByID", [&] { return GL_IsDialogItemActiveByID(w, missing, &b); }},
      {"GL_ShowDialogItemByID", [&] { return GL_ShowDialogItemByID(w, missing, true); }},
      {"GL_IsDialogItemVisibleByID", [&] { return GL_IsDialogItemVisibleByID(w, missing, &b); }},
      {"GL_SetNeedsDisplayByID", [&] { return GL_SetNeedsDisplayByID(w, missing, true); }},
      {"GL_RenderDialogItemByID", [&] { return GL_RenderDialogItemByID(w, missing); }},
      {"GL_Draw1ControlByID", [&] { return GL_Draw1ControlByID(w, missing); }},
      {"GL_ImageViewSetImageByID", [&] { return GL_ImageViewSetImageByID(w, missing, nullptr); }},
      {"GL_SetPictureInImageWell", [&] { return GL_SetPictureInImageWell(w, missing, nullptr); }},
      {"GL_SetBevelButtonPictureHandleByID", [&] { return GL_SetBevelButtonPictureHandleByID(w, missing, nullptr); }},
      {"GL_GetPopupMenuByID", [&] { return GL_GetPopupMenuByID(w, missing, &menu); }},
      {"GL_SetPopupMenuByID", [&] { return GL_SetPopupMenuByID(w, missing, nullptr); }},
      {"GL_GetSelectedPopupMenuItemByID", [&] { return GL_GetSelectedPopupMenuItemByID(w, missing, &i16); }},
      {"GL_CopySelectedPopupTextByID", [&] { return GL_CopySelectedPopupTextByID(w, missing, &text); }},
      {"GL_GetSelectedPopupTextValueByID", [&] { return GL_GetSelectedPopupTextValueByID(w, missing, &l); }},
      {"GL_GetSelectedPopupTextValueFloatByID", [&] { return GL_GetSelectedPopupTextValueFloatByID(w, missing, &f); }},
      {"GL_SetSelectedPopupTextByID", [&] { return GL_SetSelectedPopupTextByID(w, missing, CFSTR("10")); }},
      {"GL_SetSelectedPopupTextValueByID", [&] { return GL_SetSelectedPopupTextValueByID(w, missing, 10); }},
      {"GL_SetChasingArrowsAnimatingByID", [&] { return GL_SetChasingArrowsAnimatingByID(w, missing, true); }},
      {"GL_ActivateChasingArrowsByID", [&] { return GL_ActivateChasingArrowsByID(w, missing, true); }},
      {"GL_SetProgressIndicatorStateByID", [&] { return GL_SetProgressIndicatorStateByID(w, missing, true); }},
      {"GL_GetProgressIndicatorStateByID", [&] { return GL_GetProgressIndicatorStateByID(w, missing, &b); }},
      {"GL_GetDialogItemBoundsByID", [&] { return GL_GetDialogItemBoundsByID(w, missing, &r); }},
      {"GL_SetDialogItemBoundsByID", [&] { return GL_SetDialogItemBoundsByID(w, missing, &r); }},
      {"GL_HIViewGetFrameByID", [&] { return GL_HIViewGetFrameByID(w, missing, &hr); }},
      {"GL_HIViewSetFrameByID", [&] { return GL_HIViewSetFrameByID(w, missing, &hr); }},
      {"GL_HIViewMoveByID", [&] { return GL_HIViewMoveByID(w, missing, 1, 1); }},
      {"GL_HIViewGetSizeByID", [&] { return GL_HIViewGetSizeByID(w, missing, &hr); }},
      {"GL_GetDialogItemQDSizeByID", [&] { return GL_GetDialogItemQDSizeByID(w, missing, &h, &wd); }},
      {"GL_ActivateAssEmbedderByID", [&] { return GL_ActivateAssEmbedderByID(w, missing); }},
      {"GL_ShowAssEmbeddersByID", [&] { return GL_ShowAssEmbeddersByID(w, missing, 2); }},
  };
  for (const Case &c : cases) EXPECT_EQ(c.call(), errUnknownControl) << c.name;
  EXPECT_EQ(i32, 77);
  EXPECT_EQ(i16, 77);
  EXPECT_EQ(d, 77);
  EXPECT_EQ(f, 77);
  EXPECT_EQ(b, 77);
  EXPECT_EQ(l, 77);
  EXPECT_EQ(r.top, 7);
  EXPECT_EQ(hr.origin.x, 7);
  EXPECT_EQ(menu, reinterpret_cast<MenuRef>(7));
  EXPECT_EQ(text, reinterpret_cast<CFStringRef>(7));
  EXPECT_EQ(h, 7);
  // A null window has no views either.
  EXPECT_EQ(GL_SetDialogItemValueByID(nullptr, Id(2100), 1), errUnknownControl);
}

TEST_F(ToolkitDialogItemsByID, ValuesRangesAndPercentages) {
  ASSERT_EQ(GL_SetDialogItemMaxByID(window_, Id(2100), 3), noErr);
  ASSERT_EQ(GL_SetDialogItemMinByID(window_, Id(2100), 0), noErr);
  ASSERT_EQ(GL_SetDialogItemValueByPercByID(window_, Id(2100), 0.5), noErr);
  SInt32 value = 0;
  ASSERT_EQ(GL_GetDialogItemValueByID(window_, Id(2100), &value), noErr);
  EXPECT_EQ(value, 1) << "1.5 is truncated toward zero";
  double perc = 0;
  ASSERT_EQ(GL_GetDialogItemValueByPercByID(window_, Id(2100), &perc), noErr);
  EXPECT_DOUBLE_EQ(perc, 1.0 / 3.0);

  // Maximum equal to minimum: the double division's result, not a crash.
  ASSERT_EQ(GL_SetDialogItemMaxByID(window_, Id(2101), 0), noErr);
  ASSERT_EQ(GL_GetDialogItemValueByPercByID(window_, Id(2101), &perc), noErr);
  EXPECT_TRUE(std::isnan(perc));

  ASSERT_EQ(GL_SetDialogItemMaxByID(window_, Id(2102), 0x10203), noErr);
  ASSERT_EQ(GL_SetDialogItemValueByID(window_, Id(2102), 0x10203), noErr);
  Boolean low = 0;
  SInt16 low16 = 0;
  ASSERT_EQ(GL_GetDialogItemValueB_ByID(window_, Id(2102), &low), noErr);
  ASSERT_EQ(GL_GetDialogItemValueS_ByID(window_, Id(2102), &low16), noErr);
  EXPECT_EQ(low, 0x03);
  EXPECT_EQ(low16, 0x0203);
}

TEST_F(ToolkitDialogItemsByID, ComboValueSetsTheValueAndTheNextItemsText) {
  ASSERT_EQ(GL_SetDialogItemMaxByID(window_, Id(2100), 10), noErr);
  ASSERT_EQ(GL_SetDialogItemComboValueByID(window_, Id(2100), 5), noErr);
  SInt32 value = 0;
  ASSERT_EQ(GL_GetDialogItemValueByID(window_, Id(2100), &value), noErr);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(Text(2101), "5");
  // The text item is missing: the error comes back and the value stays set.
  ASSERT_EQ(GL_SetDialogItemMaxByID(window_, Id(2110), 10), noErr);
  EXPECT_EQ(GL_SetDialogItemComboValueByID(window_, Id(2110), 7), errUnknownControl);
  ASSERT_EQ(GL_GetDialogItemValueByID(window_, Id(2110), &value), noErr);
  EXPECT_EQ(value, 7);
}

TEST_F(ToolkitDialogItemsByID, NumbersAsText) {
  ASSERT_EQ(GL_SetDialogItemTextIntByID(window_, Id(2100), -42), noErr);
  EXPECT_EQ(Text(2100), "-42");
  ASSERT_EQ(GL_SetDialogItemTextFloatByID(window_, Id(2100), 3.14159), noErr);
  EXPECT_EQ(Text(2100), "3.14");
  ASSERT_EQ(GL_SetDialogItemTextFloatPreciseByID(window_, Id(2100), 2.5f, 0), noErr);
  EXPECT_EQ(Text(2100), "2");
  EXPECT_EQ(GL_SetDialogItemTextFloatPreciseByID(window_, Id(2100), 2.5f, -1), paramErr);

  struct Case {
    float value;
    SInt32 precision;
    const char *text;
  };
  const Case cases[] = {
      {12.5f, 3, "12.5"},   {3.25f, 3, "3.25"},         {0.5f, 3, "0.500"},  {-0.5f, 3, "-0.500"},
      {0.0f, 3, "0.00000000"}, {-12.5f, 3, "-12.5"},    {1234.5f, 1, "1234.5"},  // decimals <= 0 become 1
      {0.0f, 12, "0.0000000000"},  // a large precision keeps its decimals and ends
  };
  for (const Case &c : cases) {
    ASSERT_EQ(GL_SetDialogItemTextFloatRelevantDigitsByID(window_, Id(2101), c.value, c.precision), noErr);
    EXPECT_EQ(Text(2101), c.text) << "GL_SetDialogItemTextFloatRelevantDigitsByID " << c.value << " p " << c.precision;
  }

  SetText(2102, "  17.75 ");
  SInt32 i = 0;
  SInt16 s = 0;
  double d = 0;
  float f = 0;
  ASSERT_EQ(GL_GetDialogItemTextIntByID(window_, Id(2102), &i), noErr);
  ASSERT_EQ(GL_GetDialogItemTextFloat64ByID(window_, Id(2102), &d), noErr);
  ASSERT_EQ(GL_GetDialogItemTextFloat32ByID(window_, Id(2102), &f), noErr);
  EXPECT_EQ(i, 17);
  EXPECT_DOUBLE_EQ(d, 17.75);
  EXPECT_FLOAT_EQ(f, 17.75f);
  SetText(2102, "70000");
  ASSERT_EQ(GL_GetDialogItemTextSInt16ByID(window_, Id(2102), &s), noErr);
  EXPECT_EQ(s, SInt16(70000 & 0xFFFF)) << "the low 16 bits";
}

// The check that numeric items rely on: the text becomes its leading integer, or 0.
TEST_F(ToolkitDialogItemsByID, CheckTextIntKeepsTheLeadingInteger) {
  struct Case {
    const char *typed, *kept;
  };
  const Case cases[] = {{"123abc", "123"}, {"", "0"}, {"abc", "0"}, {"-8", "-8"}, {"4.9", "4"}};
  for (const Case &c : cases) {
    SetText(2103, c.typed);
    ASSERT_EQ(GL_CheckDialogItemTextIntByID(window_, Id(2103)), noErr);
    EXPECT_EQ(Text(2103), c.kept) << c.typed;
  }
}

TEST_F(ToolkitDialogItemsByID, AllTextSelectedSurvivesANewText) {
  Boolean all = false;
  ASSERT_EQ(GL_GetDialogItemAllTextSelectedByID(window_, Id(2104), &all), noErr);
  EXPECT_TRUE(all) << "an empty text with an empty selection";
  SetText(2104, "12");
  ASSERT_EQ(GL_GetDialogItemAllTextSelectedByID(window_, Id(2104), &all), noErr);
  EXPECT_FALSE(all);
  ASSERT_EQ(GL_SetDialogItemAllTextSelectedByID(window_, Id(2104)), noErr);
  ASSERT_EQ(GL_SetDialogItemTextPreservingAllSelectedByID(window_, Id(2104), CFSTR("12345")), noErr);
  ASSERT_EQ(GL_GetDialogItemAllTextSelectedByID(window_, Id(2104), &all), noErr);
  EXPECT_TRUE(all);
  ControlEditTextSelectionRec sel{};
  ASSERT_EQ(GetControlData(View(2104), 0, kControlEditTextSelectionTag, sizeof sel, &sel, nullptr), noErr);
  EXPECT_EQ(sel.selStart, 0);
  EXPECT_EQ(sel.selEnd, 5);

  // Not all selected before: the selection is left as it was.
  ControlEditTextSelectionRec part{1, 2};
  ASSERT_EQ(SetControlData(View(2104), 0, kControlEditTextSelectionTag, sizeof part, &part), noErr);
  ASSERT_EQ(GL_SetDialogItemTextPreservingAllSelectedByID(window_, Id(2104), CFSTR("987")), noErr);
  ASSERT_EQ(GL_GetDialogItemAllTextSelectedByID(window_, Id(2104), &all), noErr);
  EXPECT_FALSE(all);
}

TEST_F(ToolkitDialogItemsByID, StateAndDrawing) {
  Boolean flag = false;
  ASSERT_EQ(GL_IsDialogItemActiveByID(window_, Id(2105), &flag), noErr);
  EXPECT_TRUE(flag);
  ASSERT_EQ(GL_ActivateDialogItemByID(window_, Id(2105), false), noErr);
  ASSERT_EQ(GL_IsDialogItemActiveByID(window_, Id(2105), &flag), noErr);
  EXPECT_FALSE(flag);
  ASSERT_EQ(GL_ShowDialogItemByID(window_, Id(2105), false), noErr);
  ASSERT_EQ(GL_IsDialogItemVisibleByID(window_, Id(2105), &flag), noErr);
  EXPECT_FALSE(flag);

  ASSERT_EQ(GL_SetNeedsDisplayByID(window_, Id(2105), true), noErr);
  EXPECT_TRUE(HIViewGetNeedsDisplay(View(2105)));
  ASSERT_EQ(GL_RenderDialogItemByID(window_, Id(2105)), noErr);
  EXPECT_FALSE(HIViewGetNeedsDisplay(View(2105))) << "drawn at once";
  ASSERT_EQ(GL_Draw1ControlByID(window_, Id(2105)), noErr);
  EXPECT_EQ(PL_GetControlRenderCount(View(2105)), 2u);

  ASSERT_EQ(GL_GetProgressIndicatorStateByID(window_, Id(2106), &flag), noErr);
  EXPECT_TRUE(flag) << "a new indicator is determinate";
  ASSERT_EQ(GL_SetProgressIndicatorStateByID(window_, Id(2106), false), noErr);
  Boolean indeterminate = false;
  ASSERT_EQ(GetControlData(View(2106), 0, kControlProgressBarIndeterminateTag, 1, &indeterminate, nullptr), noErr);
  EXPECT_TRUE(indeterminate);
  ASSERT_EQ(GL_GetProgressIndicatorStateByID(window_, Id(2106), &flag), noErr);
  EXPECT_FALSE(flag);
  EXPECT_EQ(GL_SetProgressIndicatorState(nullptr, true), paramErr);
  EXPECT_EQ(GL_GetProgressIndicatorState(nullptr, &flag), paramErr);

  ASSERT_EQ(GL_ActivateChasingArrowsByID(window_, Id(2107), true), noErr);
  Boolean animating = false;
  ASSERT_EQ(GetControlData(View(2107), 0, kControlChasingArrowsAnimatingTag, 1, &animating, nullptr), noErr);
  EXPECT_TRUE(animating);
  EXPECT_TRUE(HIViewGetNeedsDisplay(View(2107)));
}

TEST_F(ToolkitDialogItemsByID, GeometryAndContent) {
  const Rect bounds{20, 10, 80, 110};
  ASSERT_EQ(GL_SetDialogItemBoundsByID(window_, Id(2108), &bounds), noErr);
  Rect got{};
  ASSERT_EQ(GL_GetDialogItemBoundsByID(window_, Id(2108), &got), noErr);
  EXPECT_EQ(got.top, 20);
  EXPECT_EQ(got.right, 110);
  HIRect size{};
  ASSERT_EQ(GL_HIViewGetSizeByID(window_, Id(2108), &size), noErr);
  EXPECT_EQ(size.origin.x, 0);
  EXPECT_EQ(size.origin.y, 0);
  EXPECT_EQ(size.size.width, 100);
  EXPECT_EQ(size.size.height, 60);
  SInt32 h = 0, w = 0;
  ASSERT_EQ(GL_GetDialogItemQDSizeByID(window_, Id(2108), &h, &w), noErr);
  EXPECT_EQ(h, 60);
  EXPECT_EQ(w, 100);
  ASSERT_EQ(GL_HIViewMoveByID(window_, Id(2108), 5, -5), noErr);
  HIRect frame{};
  ASSERT_EQ(GL_HIViewGetFrameByID(window_, Id(2108), &frame), noErr);
  EXPECT_EQ(frame.origin.x, 15);
  EXPECT_EQ(frame.origin.y, 15);
  EXPECT_EQ(frame.size.width, 100);

  const UInt8 argb[8] = {255, 1, 2, 3, 255, 4, 5, 6};
  CGImageRef image = PL_CGImageCreateARGB(2, 1, argb, 8);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(GL_ImageViewSetImageByID(window_, Id(2109), image), noErr);
  CGImageRelease(image);  // the view keeps its own reference
  CGImageRef shown = HIImageViewCopyImage(View(2109));
  ASSERT_EQ(shown, image);
  EXPECT_EQ(CGImageGetWidth(shown), 2u);
  CGImageRelease(shown);

  PicHandle picture = reinterpret_cast<PicHandle>(&windowStorage_);  // only stored, never read
  ASSERT_EQ(GL_SetPictureInImageWell(window_, Id(2109), picture), noErr);
  ControlButtonContentInfo info{};
  ASSERT_EQ(GetImageWellContentInfo(View(2109), &info), noErr);
  EXPECT_EQ(info.contentType, kControlContentPictHandle);
  EXPECT_EQ(info.u.picture, picture);
}

TEST_F(ToolkitDialogItemsByID, PopupByText) {
  MenuRef menu = nullptr;
  ASSERT_EQ(GL_GetPopupMenuByID(window_, Id(2200), &menu), noErr);
  EXPECT_EQ(CountMenuItems(menu), 3);
  ASSERT_EQ(GL_SetSelectedPopupTextByID(window_, Id(2200), CFSTR("30.5")), noErr);
  SInt16 item = 0;
  ASSERT_EQ(GL_GetSelectedPopupMenuItemByID(window_, Id(2200), &item), noErr);
  EXPECT_EQ(item, 3);
  float f = 0;
  ASSERT_EQ(GL_GetSelectedPopupTextValueFloatByID(window_, Id(2200), &f), noErr);
  EXPECT_FLOAT_EQ(f, 30.5f);
  ASSERT_EQ(GL_SetSelectedPopupTextValueByID(window_, Id(2200), 20), noErr);
  long value = 0;
  ASSERT_EQ(GL_GetSelectedPopupTextValueByID(window_, Id(2200), &value), noErr);
  EXPECT_EQ(value, 20);
  ASSERT_EQ(GL_SetSelectedPopupTextByID(window_, Id(2200), CFSTR("no such item")), noErr);
  ASSERT_EQ(GL_GetSelectedPopupMenuItemByID(window_, Id(2200), &item), noErr);
  EXPECT_EQ(item, 1) << "a name no item has selects item 1";
  CFStringRef text = nullptr;
  ASSERT_EQ(GL_CopySelectedPopupTextByID(window_, Id(2200), &text), noErr);
  EXPECT_EQ(CFText(text), "10");
  CFRelease(text);
  // An item without a menu: the menu look-up's answer (no menu) is not an item text.
  EXPECT_NE(GL_CopySelectedPopupTextByID(window_, Id(2100), &text), noErr);
}

TEST_F(ToolkitDialogItemsByID, PointsAndRectanglesAsConsecutiveItems) {
  const Rect r{1, -2, 300, 400};
  ASSERT_EQ(GL_SetRectValuesInDialog(window_, kSig, 2100, &r), noErr);
  EXPECT_EQ(Text(2100), "1");
  EXPECT_EQ(Text(2101), "-2");
  EXPECT_EQ(Text(2102), "300");
  EXPECT_EQ(Text(2103), "400");
  Rect back{};
  ASSERT_EQ(GL_GetRectValuesFromDialog(window_, kSig, 2100, &back), noErr);
  EXPECT_EQ(back.top, 1);
  EXPECT_EQ(back.left, -2);
  EXPECT_EQ(back.bottom, 300);
  EXPECT_EQ(back.right, 400);
  // Items 2108..2111: the last is missing, so setting stops there with the look-up's error.
  EXPECT_EQ(GL_SetRectValuesInDialog(window_, kSig, 2108, &r), errUnknownControl);
  EXPECT_EQ(Text(2110), "300") << "steps already done stay done";

  ASSERT_EQ(GL_SetPointValuesInDialog(window_, kSig, 2105, Point{7, 9}), noErr);  // v = 7, h = 9
  EXPECT_EQ(Text(2105), "9");
  EXPECT_EQ(Text(2106), "7");
  Point p{};
  ASSERT_EQ(GL_GetPointValuesFromDialog(window_, kSig, 2105, &p), noErr);
  EXPECT_EQ(p.h, 9);
  EXPECT_EQ(p.v, 7);

  // Preserving: item 2100 has all its text selected, 2101 does not.
  ASSERT_EQ(GL_SetDialogItemAllTextSelectedByID(window_, Id(2100)), noErr);
  const Rect wide{1000, 2000, 3000, 4000};
  EXPECT_EQ(GL_SetRectValuesInDialogPreservingAllSelected(window_, kSig, 2100, &wide), noErr);
  Boolean all = false;
  ASSERT_EQ(GL_GetDialogItemAllTextSelectedByID(window_, Id(2100), &all), noErr);
  EXPECT_TRUE(all);
  ASSERT_EQ(GL_GetDialogItemAllTextSelectedByID(window_, Id(2101), &all), noErr);
  EXPECT_FALSE(all);
  EXPECT_EQ(GL_SetRectValuesInDialogPreservingAllSelected(window_, kSig, 2108, &wide), noErr)
      << "reports no failure";
}

TEST_F(ToolkitDialogItemsByID, AssociatedEmbedders) {
  // Chooser 2100 with three panes 2103..2105 (id + numItems + i).
  ASSERT_EQ(GL_ActivateAssEmbeddersByID(window_, Id(2100), 3, 1), noErr);
  EXPECT_FALSE(HIViewIsActive(View(2103), nullptr));
  EXPECT_TRUE(HIViewIsActive(View(2104), nullptr));
  EXPECT_FALSE(HIViewIsActive(View(2105), nullptr));

  // Check box 2106 (value 0x100: low byte 0) and its pane 2107.
  ASSERT_EQ(GL_SetDialogItemMaxByID(window_, Id(2106), 0x101), noErr);
  ASSERT_EQ(GL_SetDialogItemValueByID(window_, Id(2106), 0x100), noErr);
  ASSERT_EQ(GL_ActivateAssEmbedderByID(window_, Id(2106)), noErr);
  EXPECT_FALSE(HIViewIsActive(View(2107), nullptr));
  ASSERT_EQ(GL_SetDialogItemValueByID(window_, Id(2106), 1), noErr);
  ASSERT_EQ(GL_ActivateAssEmbedderByID(window_, Id(2106)), noErr);
  EXPECT_TRUE(HIViewIsActive(View(2107), nullptr));

  // Pop-up 2200 at item 2... its panes would be 2201.. which do not exist: the first failure returns.
  EXPECT_EQ(GL_ShowAssEmbeddersByID(window_, Id(2200), 2), errUnknownControl);
  ASSERT_EQ(GL_SetDialogItemMaxByID(window_, Id(2100), 3), noErr);
  ASSERT_EQ(GL_SetDialogItemValueByID(window_, Id(2100), 2), noErr);
  ASSERT_EQ(GL_ShowAssEmbeddersByID(window_, Id(2100), 3), noErr);
  EXPECT_FALSE(HIViewIsVisible(View(2101)));
  EXPECT_TRUE(HIViewIsVisible(View(2102)));
  EXPECT_FALSE(HIViewIsVisible(View(2103)));
}

}  // namespace

// ---- Combo boxes, focus, fonts, clocks and little arrows ----

#include "platform/core/clock.h"
#include "platform/core/standard_alerts.h"

namespace {

TEST_F(ToolkitDialogItemsByID, ComboBoxesShowTheMatchingItemsOwnText) {
  HIViewRef combo = View(2100);
  ASSERT_EQ(PL_SetControlClassID(combo, CFSTR("com.apple.HIComboBox")), noErr);
  for (CFStringRef item : {CFSTR("0.50"), CFSTR("25 fps"), CFSTR("Fast")})
    ASSERT_EQ(HIComboBoxAppendTextItem(combo, item, nullptr), noErr);
  Boolean isCombo = false;
  ASSERT_EQ(GL_IsComboBoxByID(window_, Id(2100), &isCombo), noErr);
  EXPECT_TRUE(isCombo);
  ASSERT_EQ(GL_IsComboBoxByID(window_, Id(2101), &isCombo), noErr);
  EXPECT_FALSE(isCombo);

  struct Case {
    const char *what;
    std::function<OSStatus()> set;
    const char *shown;
  };
  WindowRef w = window_;
  const std::vector<Case> cases = {
      {"float within 0.0001", [&] { return GL_SetFloatValueInComboBoxByID(w, Id(2100), 0.5f); }, "0.50"},
      {"float without a match", [&] { return GL_SetFloatValueInComboBoxByID(w, Id(2100), 0.7f); }, "0.70"},
      {"integer of an item's leading number", [&] { return GL_SetIntValueInComboBoxByID(w, Id(2100), 25); }, "25 fps"},
      {"integer without a match", [&] { return GL_SetIntValueInComboBoxByID(w, Id(2100), 7); }, "7"},
      {"text ignoring case", [&] { return GL_SetTextInComboBoxByID(w, Id(2100), CFSTR("fAST")); }, "Fast"},
      {"text without a match", [&] { return GL_SetTextInComboBoxByID(w, Id(2100), CFSTR("Slow")); }, "Slow"},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(c.set(), noErr) << c.what;
    EXPECT_EQ(Text(2100), c.shown) << c.what;
  }
}

TEST_F(ToolkitDialogItemsByID, FocusSelectionAndWindowButtons) {
  ControlEditTextSelectionRec sel{9, 9};
  WindowRef focusWindow = reinterpret_cast<WindowRef>(1);
  ControlRef focusControl = reinterpret_cast<ControlRef>(1);
  ASSERT_EQ(SetUserFocusWindow(nullptr), noErr);
  ASSERT_EQ(GL_GetEditTextControlSelection(&focusWindow, &focusControl, &sel), noErr);
  EXPECT_EQ(focusWindow, nullptr);
  EXPECT_EQ(sel.selEnd, 0);

  ASSERT_EQ(SetUserFocusWindow(window_), noErr);
  HIViewID focused{};
  EXPECT_EQ(GL_GetKeyboardFocusByID(window_, &focused), errUnknownControl) << "nothing has the focus";
  ASSERT_EQ(GL_SetKeyboardFocusByID(window_, Id(2102)), noErr);
  ASSERT_EQ(GL_SetKeyboardFocusByID(window_, Id(2103)), noErr);
  ASSERT_EQ(GL_GetKeyboardFocusByID(window_, &focused), noErr);
  EXPECT_EQ(focused.id, 2103) << "one focus per window";

  SetText(2103, "hello");
  const ControlEditTextSelectionRec part{1, 3};
  ASSERT_EQ(SetControlData(View(2103), 0, kControlEditTextSelectionTag, sizeof part, &part), noErr);
  ASSERT_EQ(GL_GetEditTextControlSelection(&focusWindow, &focusControl, &sel), noErr);
  EXPECT_EQ(focusControl, View(2103));
  EXPECT_EQ(sel.selEnd, 0) << "a user pane is no edit text";
  const ControlKind editText{kControlKindSignatureApple, kControlKindEditText};
  ASSERT_EQ(PL_SetControlKind(View(2103), &editText), noErr);
  ASSERT_EQ(GL_GetEditTextControlSelection(&focusWindow, &focusControl, &sel), noErr);
  EXPECT_EQ(focusWindow, window_);
  EXPECT_EQ(sel.selStart, 1);
  EXPECT_EQ(sel.selEnd, 3);

  ASSERT_EQ(GL_ClearKeyboardFocusByID(window_, Id(2103)), noErr);
  EXPECT_EQ(GL_GetKeyboardFocusByID(window_, &focused), errUnknownControl);
  SetUserFocusWindow(nullptr);

  ASSERT_EQ(GL_SetWindowDefaultButtonByID(window_, Id(2104)), noErr);
  ASSERT_EQ(GL_SetWindowCancelButtonByID(window_, Id(2105)), noErr);
  ASSERT_EQ(GL_SetWindowDefaultButtonByID(window_, Id(2106)), noErr);
  ControlRef button = nullptr;
  ASSERT_EQ(GetWindowDefaultButton(window_, &button), noErr);
  EXPECT_EQ(button, View(2106));
  ASSERT_EQ(GetWindowCancelButton(window_, &button), noErr);
  EXPECT_EQ(button, View(2105));

  ASSERT_EQ(GL_DisposeDialogItemByID(window_, Id(2106)), noErr);
  EXPECT_EQ(GL_ShowDialogItemByID(window_, Id(2106), true), errUnknownControl);
  ASSERT_EQ(GetWindowDefaultButton(window_, &button), noErr);
  EXPECT_EQ(button, nullptr) << "the disposed button is no longer the default";
}

TEST_F(ToolkitDialogItemsByID, FontsSizesAndImageAlpha) {
  ASSERT_EQ(GL_SetDialogItemFontJustificationByID(window_, Id(2100), 1), noErr);
  ControlFontStyleRec style{};
  ASSERT_EQ(GL_GetDialogItemFontStyleByID(window_, Id(2100), &style), noErr);
  EXPECT_EQ(style.flags, kControlUseJustMask);
  EXPECT_EQ(style.just, 1);
  EXPECT_EQ(GL_GetDialogItemFontStyleByID(window_, Id(2101), &style), errDataNotSupported)
      << "no font style was given";

  ASSERT_EQ(GL_SetControlSpecialSizeByID(window_, Id(2100), kControlSizeSmall), noErr);
  SInt16 size = 0;
  ASSERT_EQ(GetControlData(View(2100), 0, kControlSizeTag, sizeof size, &size, nullptr), noErr);
  EXPECT_EQ(size, kControlSizeSmall);

  ASSERT_EQ(GL_ImageViewSetAlphaByID(window_, Id(2109), 0.25f), noErr);
  EXPECT_FLOAT_EQ(HIImageViewGetAlpha(View(2109)), 0.25f);
}

TEST_F(ToolkitDialogItemsByID, ClockTimeIsItsNextOccurrence) {
  LongDateRec clock{};
  clock.ld.hour = 0;
  clock.ld.minute = 0;  // never later than now: the next one is tomorrow
  clock.ld.second = 42;
  ASSERT_EQ(SetControlData(View(2100), 0, kControlClockLongDateTag, sizeof clock, &clock), noErr);
  LongDateRec got{};
  ASSERT_EQ(GL_GetClockDataByID(window_, Id(2100), &got), noErr);
  EXPECT_EQ(got.ld.second, 42);

  UInt32 now = 0;
  GetDateTime(&now);
  LongDateTime tomorrowSeconds = LongDateTime(now) + 86400;
  LongDateRec tomorrow{};
  LongSecondsToDate(&tomorrowSeconds, &tomorrow);
  UInt32 seconds = 0;
  ASSERT_EQ(GL_GetClockTimeByID(window_, Id(2100), &got, &seconds), noErr);
  EXPECT_EQ(got.ld.day, tomorrow.ld.day);
  EXPECT_EQ(got.ld.month, tomorrow.ld.month);
  EXPECT_EQ(got.ld.hour, 0);
  EXPECT_EQ(got.ld.second, 0);
  EXPECT_GT(seconds, now);
  EXPECT_LE(seconds, now + 86400);
  EXPECT_EQ(GL_GetClockTimeByID(window_, Id(2100), nullptr, nullptr), noErr);
  EXPECT_EQ(GL_GetClockTimeByID(window_, Id(2101), &got, &seconds), errDataNotSupported) << "no clock value";
}

TEST_F(ToolkitDialogItemsByID, LittleArrowsStepWithinTheRangeAndShowTheValue) {
  // Arrows 2100 with text item 2101, range 0..10, step 4.
  ControlRef arrows = View(2100);
  SetControl32BitMaximum(arrows, 10);
  const SInt32 step = 4;
  ASSERT_EQ(SetControlData(arrows, 0, kControlLittleArrowsIncrementValueTag, sizeof step, &step), noErr);
  ASSERT_EQ(GL_SetLA_AssTextItemByID(window_, Id(2100), 2101), noErr);
  ASSERT_EQ(GL_SetDialogItemActionByID(window_, Id(2100), GL_LA_ProcTemplate), noErr);
  ASSERT_EQ(GetControlAction(arrows), &GL_LA_ProcTemplate);

  struct Case {
    SInt32 start;
    SInt16 part;
    SInt32 value;
    const char *text;
    bool sound;
  };
  const Case cases[] = {
      {0, kControlUpButtonPart, 4, "4", false},    {8, kControlUpButtonPart, 10, "10", false},  // capped
      {10, kControlUpButtonPart, 10, "10", true},  // at the maximum: the sound, the unchanged value
      {5, kControlDownButtonPart, 1, "1", false},  {3, kControlDownButtonPart, 0, "0", false},  // floored
      {0, kControlDownButtonPart, 0, "0", true},   {6, 0, 6, "-1", false},  // another part writes -1
  };
  for (const Case &c : cases) {
    SetControl32BitValue(arrows, c.start);
    const UInt32 sounds = PL_GetAlertSoundCount();
    GL_LA_ProcTemplate(arrows, c.part);
    EXPECT_EQ(GetControl32BitValue(arrows), c.value) << c.start << " part " << c.part;
    EXPECT_EQ(Text(2101), c.text) << c.start << " part " << c.part;
    EXPECT_EQ(PL_GetAlertSoundCount() - sounds, c.sound ? 1u : 0u) << c.start << " part " << c.part;
  }

  // Without an associated text item nothing is written.
  SetText(2103, "keep");
  ControlRef bare = View(2102);
  SetControl32BitMaximum(bare, 3);
  GL_LA_ProcTemplate(bare, kControlUpButtonPart);
  EXPECT_EQ(GetControl32BitValue(bare), 1) << "a step of 1 when the arrows have none";
  EXPECT_EQ(Text(2103), "keep");
}

}  // namespace

// ---- Hierarchy ----

namespace {

TEST_F(ToolkitDialogItemsByID, PanesEmbedItemsAndConvertTheirBounds) {
  // Pane 2100 at (left 10, top 20) holds 2101 and 2102; 2102 holds 2103.
  const Rect pane{20, 10, 120, 210};
  ASSERT_EQ(GL_SetDialogItemBoundsByID(window_, Id(2100), &pane), noErr);
  ASSERT_EQ(GL_HIViewChangeFeaturesByID(window_, Id(2100), kHIViewFeatureAllowsSubviews, 0), noErr);
  Boolean embedder = false;
  ASSERT_EQ(GL_HIViewIsEmbedderByID(window_, Id(2100), &embedder), noErr);
  EXPECT_TRUE(embedder);
  ASSERT_EQ(GL_HIViewIsEmbedderByID(window_, Id(2101), &embedder), noErr);
  EXPECT_FALSE(embedder);
  for (SInt32 n : {2101, 2102}) ASSERT_EQ(GL_HIViewAddSubviewByID(window_, Id(2100), Id(n)), noErr);
  ASSERT_EQ(GL_HIViewAddSubviewByID(window_, Id(2102), Id(2103)), noErr);
  EXPECT_EQ(GL_HIViewAddSubviewByID(window_, Id(2103), Id(2100)), paramErr) << "no view inside itself";

  CFIndex count = 0;
  ASSERT_EQ(GL_HIViewCountSubviewsByID(window_, Id(2100), &count), noErr);
  EXPECT_EQ(count, 2);
  HIViewID super{};
  ASSERT_EQ(GL_GetSuperViewByID(window_, Id(2101), &super), noErr);
  EXPECT_EQ(super.id, 2100);
  ASSERT_EQ(GL_GetSuperViewByID(window_, Id(2100), &super), noErr);
  EXPECT_EQ(super.signature, kHIViewWindowContentID.signature) << "top-level items sit in the content view";
  HIViewRef sub = nullptr;
  ASSERT_EQ(GL_GetSubViewByID(window_, Id(2100), 2, &sub), noErr);
  EXPECT_EQ(sub, View(2102));
  EXPECT_EQ(GL_GetSubViewByID(window_, Id(2100), 3, &sub), errUnknownControl);
  EXPECT_EQ(GL_ActivateSubViewByID(window_, Id(2100), 0, false), errUnknownControl);

  ASSERT_EQ(PL_SetControlClassID(View(2102), CFSTR("com.apple.HIComboBox")), noErr);
  HIViewID found{};
  ASSERT_EQ(GL_FindSubviewByClassID(window_, Id(2100), CFSTR("com.apple.HIComboBox"), 1, &found), noErr);
  EXPECT_EQ(found.id, 2102);
  found = Id(1);
  ASSERT_EQ(GL_FindSubviewByClassID(window_, Id(2100), CFSTR("com.apple.HIComboBox"), 0, &found), noErr);
  EXPECT_EQ(found.signature, 0u);
  EXPECT_EQ(found.id, 0) << "index 0 finds nothing";

  const Rect inPane{5, 5, 25, 45};
  ASSERT_EQ(GL_SetDialogItemBoundsByID(window_, Id(2102), &inPane), noErr);
  HIRect r{};
  ASSERT_EQ(GL_GetHIViewBoundsInWindowContentByID(window_, Id(2102), &r), noErr);
  EXPECT_EQ(r.origin.x, 15);
  EXPECT_EQ(r.origin.y, 25);
  EXPECT_EQ(r.size.width, 40);
  ASSERT_EQ(GL_GetHIViewBoundsInWindowByID(window_, Id(2102), &r), noErr);
  EXPECT_EQ(r.origin.x, 15);

  // Deactivating the pane reaches its grandchild; sizes go to direct subviews only.
  ASSERT_EQ(GL_ActivateControlAndChildren(View(2100), false), noErr);
  for (SInt32 n : {2100, 2101, 2102, 2103}) EXPECT_FALSE(HIViewIsActive(View(n), nullptr)) << n;
  EXPECT_TRUE(HIViewIsActive(View(2104), nullptr));
  ASSERT_EQ(GL_SetCompoundControlSpecialSize(View(2100), kControlSizeSmall), noErr);
  SInt16 size = 0;
  EXPECT_EQ(GetControlData(View(2101), 0, kControlSizeTag, sizeof size, &size, nullptr), noErr);
  EXPECT_EQ(size, kControlSizeSmall);
  EXPECT_EQ(GetControlData(View(2100), 0, kControlSizeTag, sizeof size, &size, nullptr), errDataNotSupported);
  EXPECT_EQ(GetControlData(View(2103), 0, kControlSizeTag, sizeof size, &size, nullptr), errDataNotSupported);

  ASSERT_EQ(GL_HIViewRemoveFromSuperviewByID(window_, Id(2101)), noErr);
  EXPECT_EQ(GL_ShowDialogItemByID(window_, Id(2101), true), errUnknownControl) << "removed from the hierarchy";
  ASSERT_EQ(GL_HIViewCountSubviewsByID(window_, Id(2100), &count), noErr);
  EXPECT_EQ(count, 1);
}

TEST_F(ToolkitDialogItemsByID, OrderIdentifiersAndOtherWindows) {
  // Top-level order: 2100..2110 then 2200; put 2105 below 2100 (at the very back).
  ASSERT_EQ(GL_HIViewSetZOrderByID(window_, Id(2105), kHIViewZOrderBelow, Id(2100)), noErr);
  HIViewRef content = nullptr;
  ASSERT_EQ(GL_HIGetWindowContentView(window_, &content), noErr);
  ControlRef first = nullptr;
  ASSERT_EQ(GetIndexedSubControl(content, 1, &first), noErr);
  EXPECT_EQ(first, View(2105));
  EXPECT_EQ(GL_HIViewSetZOrderByID(window_, Id(2105), kHIViewZOrderAbove, Id(4444)), errUnknownControl);
  ASSERT_EQ(GL_HIViewSetZOrderByID(window_, Id(2105), kHIViewZOrderAbove, HIViewID{kSig, 0}), noErr);
  UInt16 n = 0;
  ASSERT_EQ(CountSubControls(content, &n), noErr);
  ControlRef last = nullptr;
  ASSERT_EQ(GetIndexedSubControl(content, n, &last), noErr);
  EXPECT_EQ(last, View(2105)) << "no reference view: in front of all";

  ASSERT_EQ(GL_ChangeHIViewID_ByID(window_, Id(2106), Id(3106)), noErr);
  EXPECT_EQ(GL_ShowDialogItemByID(window_, Id(2106), true), errUnknownControl);
  EXPECT_EQ(GL_ShowDialogItemByID(window_, Id(3106), true), noErr);

  // A view of another window moves into item 2107 here.
  int otherStorage = 0;
  WindowRef other = reinterpret_cast<WindowRef>(&otherStorage);
  HIViewID movedID = Id(5000);
  ControlRef moved = nullptr;
  ASSERT_EQ(PL_NewControl(other, &movedID, &moved), noErr);
  ASSERT_EQ(GL_HIViewAddSubviewFromOtherWindowByID(window_, Id(2107), other, movedID), noErr);
  EXPECT_EQ(GetControlOwner(moved), window_);
  EXPECT_EQ(View(5000), moved);
  HIViewRef gone = nullptr;
  EXPECT_EQ(HIViewFindByID(HIViewGetRoot(other), movedID, &gone), errUnknownControl);
  PL_DisposeWindowControls(other);
}

}  // namespace
