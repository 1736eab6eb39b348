// Panes, radio group copies and help tags of dialog items, on a window of controls without a display.
#include "toolkit/dialog_items.h"

#include "platform/core/cf_string.h"
#include "platform/core/formatter.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

namespace {

struct DialogPanes : ::testing::Test {
  int storage = 0;
  WindowRef window = reinterpret_cast<WindowRef>(&storage);
  void TearDown() override { PL_DisposeWindowControls(window); }
  ControlRef Add(SInt32 n, Rect bounds, ControlRef parent = nullptr) {
    const HIViewID id{'Orl1', n};
    ControlRef c = nullptr;
    EXPECT_EQ(PL_NewControl(window, &id, &c), noErr);
    if (parent != nullptr) HIViewAddSubview(parent, c);
    SetControlBounds(c, &bounds);
    return c;
  }
  ControlRef Item(SInt32 n) {
    ControlRef c = nullptr;
    const HIViewID id{'Orl1', n};
    EXPECT_EQ(GetControlByID(window, &id, &c), noErr) << n;
    return c;
  }
};

TEST_F(DialogPanes, EmbeddedItemsKeepTheirPlaceInsideANewPane) {
  ControlRef group = Add(10, Rect{100, 50, 300, 400});
  Add(11, Rect{20, 10, 40, 60}, group);   // frames in the group's coordinates
  Add(12, Rect{50, 30, 70, 200}, group);
  Add(13, Rect{80, 10, 100, 60}, group);  // stays outside the pane
  ASSERT_EQ(GL_EmbedSubgroup(window, 'Orl1', HIViewID{'Orl1', 10}, 11, 12, 20), noErr);
  ControlRef pane = Item(20);
  EXPECT_EQ(HIViewGetSuperview(pane), group);
  EXPECT_EQ(HIViewGetSuperview(Item(11)), pane);
  EXPECT_EQ(HIViewGetSuperview(Item(12)), pane);
  EXPECT_EQ(HIViewGetSuperview(Item(13)), group);
  HIRect frame{};
  ASSERT_EQ(HIViewGetFrame(pane, &frame), noErr);  // the union of the two frames
  EXPECT_EQ(frame.origin.x, 10);
  EXPECT_EQ(frame.origin.y, 20);
  EXPECT_EQ(frame.size.width, 190);
  EXPECT_EQ(frame.size.height, 50);
  ASSERT_EQ(HIViewGetFrame(Item(12), &frame), noErr);  // now in the pane's coordinates
  EXPECT_EQ(frame.origin.x, 20);
  EXPECT_EQ(frame.origin.y, 30);
  // A missing item is the look-up's error.
  EXPECT_EQ(GL_EmbedSubgroup(window, 'Orl1', HIViewID{'Orl1', 10}, 13, 14, 21), errUnknownControl);
}

TEST_F(DialogPanes, ARadioGroupCopyKeepsValueFramesAndTexts) {
  ControlRef group = Add(30, Rect{10, 10, 40, 300});
  const Rect frames[] = {{0, 0, 20, 90}, {0, 100, 20, 190}, {0, 200, 20, 290}};
  for (int i = 0; i < 3; ++i) {
    ControlRef button = Add(31 + i, frames[i], group);
    PL_CFScoped<CFStringRef> title{CFStringCreateWithFormat(nullptr, nullptr, CFSTR("Choice %d"), i + 1)};
    SetControlTitleWithCFString(button, title.get());
  }
  SetControl32BitMaximum(group, 3);
  SetControl32BitValue(group, 2);
  ASSERT_EQ(GL_ReplaceRadioGroupByCopy(window, HIViewID{'Orl1', 30}, 39), noErr);
  ControlRef copy = Item(30);
  ControlRef old = Item(39);
  EXPECT_NE(copy, group);
  EXPECT_EQ(old, group);
  EXPECT_FALSE(IsControlVisible(old));
  EXPECT_EQ(GetControl32BitValue(copy), 2);
  Rect bounds{};
  GetControlBounds(copy, &bounds);
  EXPECT_EQ(bounds.left, 10);
  EXPECT_EQ(bounds.right, 300);
  EXPECT_EQ(HIViewCountSubviews(copy), 3);
  for (UInt16 i = 1; i <= 3; ++i) {
    ControlRef button = nullptr;
    ASSERT_EQ(GetIndexedSubControl(copy, i, &button), noErr);
    HIRect frame{};
    HIViewGetFrame(button, &frame);
    EXPECT_EQ(frame.origin.x, frames[i - 1].left) << i;
    CFStringRef text = nullptr;
    ASSERT_EQ(CopyControlTitleAsCFString(button, &text), noErr);
    PL_CFScoped<CFStringRef> expected{CFStringCreateWithFormat(nullptr, nullptr, CFSTR("Choice %d"), int(i))};
    EXPECT_EQ(CFStringCompare(text, expected.get(), 0), kCFCompareEqualTo);
    CFRelease(text);
    SInt16 size = 0;
    ASSERT_EQ(GetControlData(button, 0, kControlSizeTag, sizeof size, &size, nullptr), noErr);
    EXPECT_EQ(size, kControlSizeSmall);
  }
}

TEST_F(DialogPanes, RadioHelpFollowsTheButtonsNotTheCountGiven) {
  ControlRef group = Add(40, Rect{0, 0, 20, 200});
  Add(41, Rect{0, 0, 20, 90}, group);
  Add(42, Rect{0, 100, 20, 190}, group);
  CFStringRef help[3][2] = {{nullptr, nullptr}, {CFSTR("First"), nullptr}, {CFSTR("Second"), CFSTR("More")}};
  ASSERT_EQ(GL_SetRadioGroupHelp(window, HIViewID{'Orl1', 40}, 99, help), noErr);
  CFStringRef text = nullptr;
  ASSERT_EQ(PL_GetControlHelpText(Item(42), &text), noErr);
  EXPECT_EQ(CFStringCompare(text, CFSTR("Second"), 0), kCFCompareEqualTo);
}

TEST_F(DialogPanes, TrackingAreasTakeTheViewWhenNoIdentifierIsGiven) {
  ControlRef view = Add(50, Rect{0, 0, 10, 10});
  HIViewTrackingAreaRef area = nullptr;
  ASSERT_EQ(GL_HIViewNewTrackingAreaByID(window, HIViewID{'Orl1', 50}, nullptr, 0, &area), noErr);
  HIViewTrackingAreaID id = 0;
  ASSERT_EQ(HIViewGetTrackingAreaID(area, &id), noErr);
  EXPECT_EQ(id, UInt64(SInt64(reinterpret_cast<intptr_t>(view))));
  EXPECT_EQ(PL_GetViewTrackingArea(view), area);
  EXPECT_EQ(GL_HIViewNewTrackingAreaByID(window, HIViewID{'Orl1', 51}, nullptr, 7, &area), errUnknownControl);
}

}  // namespace
