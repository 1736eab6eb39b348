// Every kind of control in a test window: values set by code show on the widget and raise no hit; one user
// action raises exactly one hit (or its text event) with Carbon's value.
#include "platform/ui/nib_controls_qt.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/menus.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <vector>

namespace {

struct Recorded {
  UInt32 eventClass, kind;
  SInt32 item;
};

std::vector<Recorded> gEvents;

OSStatus Record(EventHandlerCallRef, EventRef event, void *) {
  ControlRef control = nullptr;
  GetEventParameter(event, kEventParamDirectObject, 'ctrl', nullptr, sizeof control, nullptr, &control);
  HIViewID id{0, 0};
  GetControlID(control, &id);
  gEvents.push_back({GetEventClass(event), GetEventKind(event), id.id});
  return eventNotHandledErr;
}

std::vector<SInt16> gActionParts;
void RecordAction(ControlRef, ControlPartCode part) { gActionParts.push_back(part); }

struct ControlKindsTest : ::testing::Test {
  IBNibRef nib = nullptr;
  std::unique_ptr<QWidget> widget;
  int storage = 0;
  WindowRef window = reinterpret_cast<WindowRef>(&storage);
  EventTargetRef hits = nullptr;
  std::vector<EventHandlerRef> handlers;

  void SetUp() override {
    TD_App();
    PL_SetMainBundleDirectory((bz_test::SourceDir() + "/tests/platform/ui/fixtures").c_str());
    ASSERT_EQ(CreateNibReference(CFSTR("Control Kinds"), &nib), noErr);
    QWidget *w = nullptr;
    ASSERT_EQ(PL_LoadNibWindowWidget(nib, CFSTR("Controls"), &w), noErr);
    widget.reset(w);
    ASSERT_EQ(PL_CreateEventTarget(nullptr, &hits), noErr);
    ASSERT_EQ(PL_AttachNibControls(window, widget.get(), hits), noErr);
    static const EventTypeSpec hit{kEventClassControl, kEventControlHit};
    EventHandlerRef h = nullptr;
    InstallEventHandler(hits, Record, 1, &hit, nullptr, &h);
    handlers.push_back(h);
    static const EventTypeSpec text[] = {{kEventClassTextField, kEventTextAccepted},
                                         {kEventClassTextField, kEventTextShouldChangeInRange},
                                         {kEventClassTextField, kEventTextDidChange},
                                         {kEventClassHIComboBox, kEventComboBoxListItemSelected}};
    for (SInt32 item : {7, 8}) {
      InstallEventHandler(GetControlEventTarget(Item(item)), Record, 4, text, nullptr, &h);
      handlers.push_back(h);
    }
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
    gEvents.clear();
    gActionParts.clear();
  }
  void TearDown() override {
    for (EventHandlerRef h : handlers) RemoveEventHandler(h);
    PL_DetachNibControls(window);
    PL_DisposeEventTarget(hits);
    DisposeNibReference(nib);
    PL_SetMainBundleDirectory(nullptr);
  }
  ControlRef Item(SInt32 n) {
    ControlRef c = nullptr;
    const HIViewID id{'Orl1', n};
    EXPECT_EQ(GetControlByID(window, &id, &c), noErr) << n;
    return c;
  }
  QWidget *W(SInt32 n) { return TD_FindControl(window, n); }
  std::vector<Recorded> Hits() {
    std::vector<Recorded> out;
    for (auto &e : gEvents)
      if (e.eventClass == kEventClassControl) out.push_back(e);
    return out;
  }
};

TEST_F(ControlKindsTest, ValuesSetByCodeShowAndRaiseNoHit) {
  SetControl32BitValue(Item(3), 2);
  EXPECT_EQ(qobject_cast<QCheckBox *>(W(3))->checkState(), Qt::PartiallyChecked);
  SetControl32BitValue(Item(4), 3);
  auto radios = W(4)->findChildren<QRadioButton *>();
  ASSERT_EQ(radios.size(), 3);
  EXPECT_TRUE(W(4)->findChild<QRadioButton *>("radioC")->isChecked());
  SetControl32BitValue(Item(5), 2);
  EXPECT_EQ(qobject_cast<QTabBar *>(W(5))->currentIndex(), 1);
  SetControl32BitValue(Item(10), 40);
  EXPECT_EQ(qobject_cast<QSlider *>(W(10))->value(), 40);
  SetControlTitleWithCFString(Item(7), CFSTR("12.5"));
  EXPECT_EQ(qobject_cast<QLineEdit *>(W(7))->text(), "12.5");
  const Boolean animating = true;
  SetControlData(Item(14), 0, kControlChasingArrowsAnimatingTag, sizeof animating, &animating);
  EXPECT_EQ(qobject_cast<QProgressBar *>(W(14))->maximum(), 0);
  EXPECT_TRUE(gEvents.empty());
}

TEST_F(ControlKindsTest, EachUserActionIsOneHitWithCarbonsValue) {
  struct Case {
    const char *what;
    SInt32 item;
    std::function<void()> act;
    SInt32 value;
  };
  const std::vector<Case> cases = {
      {"push button", 1, [&] { TD_Click(W(1)); }, 0},
      {"check box on", 3, [&] { TD_Click(W(3)); }, 1},
      {"check box off", 3, [&] { TD_Click(W(3)); }, 0},
      {"radio button 2", 4, [&] { TD_Click(W(4)->findChild<QRadioButton *>("radioB")); }, 2},
      {"radio button 3", 4, [&] { TD_Click(W(4)->findChild<QRadioButton *>("radioC")); }, 3},
      {"tab 3", 5, [&] { TD_ClickTab(W(5), 3); }, 3},
      {"tab 1", 5, [&] { TD_ClickTab(W(5), 1); }, 1},
  };
  for (const Case &c : cases) {
    gEvents.clear();
    c.act();
    const auto hits = Hits();
    ASSERT_EQ(hits.size(), 1u) << c.what;
    EXPECT_EQ(hits[0].item, c.item) << c.what;
    if (c.item != 1) {
      EXPECT_EQ(GetControl32BitValue(Item(c.item)), c.value) << c.what;
    }
  }
}

TEST_F(ControlKindsTest, MixedCheckBoxTurnsOnWithOneClick) {
  SetControl32BitValue(Item(3), 2);
  TD_Click(W(3));
  EXPECT_EQ(GetControl32BitValue(Item(3)), 1);
  EXPECT_EQ(qobject_cast<QCheckBox *>(W(3))->checkState(), Qt::Checked);
  EXPECT_EQ(Hits().size(), 1u);
}

TEST_F(ControlKindsTest, PopupItemsAndSubmenuItemsAreChosenByIndex) {
  MenuRef menu = nullptr, sub = nullptr;
  ASSERT_EQ(CreateNewMenu(300, 0, &menu), noErr);
  ASSERT_EQ(CreateNewMenu(301, 0, &sub), noErr);
  AppendMenuItemTextWithCFString(menu, CFSTR("None"), 0, 0, nullptr);
  AppendMenuItemTextWithCFString(menu, CFSTR("-"), kMenuItemAttrSeparator, 0, nullptr);
  AppendMenuItemTextWithCFString(menu, CFSTR("Fast"), 0, 0, nullptr);
  AppendMenuItemTextWithCFString(menu, CFSTR("Export"), 0, 0, nullptr);
  AppendMenuItemTextWithCFString(sub, CFSTR("AIFF"), 0, 'aiff', nullptr);
  AppendMenuItemTextWithCFString(sub, CFSTR("DV"), 0, 'dv  ', nullptr);
  SetMenuItemHierarchicalMenu(menu, 4, sub);
  SetControlPopupMenuHandle(Item(6), menu);
  SetControl32BitMaximum(Item(6), 4);
  SetControl32BitValue(Item(6), 1);
  EXPECT_EQ(qobject_cast<QPushButton *>(W(6))->text(), "None");
  EXPECT_TRUE(Hits().empty());

  ASSERT_TRUE(TD_ChoosePopupItem(W(6), 3));  // the separator counts
  ASSERT_EQ(Hits().size(), 1u);
  EXPECT_EQ(GetControl32BitValue(Item(6)), 3);
  EXPECT_EQ(qobject_cast<QPushButton *>(W(6))->text(), "Fast");

  static MenuCommand command = 0;
  command = 0;
  auto commandHandler = [](EventHandlerCallRef, EventRef event, void *) -> OSStatus {
    HICommand c{};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof c, nullptr, &c);
    command = c.commandID;
    return noErr;
  };
  static const EventTypeSpec process{kEventClassCommand, kEventCommandProcess};
  EventHandlerRef h = nullptr;
  InstallEventHandler(GetMenuEventTarget(sub), commandHandler, 1, &process, nullptr, &h);
  gEvents.clear();
  ASSERT_TRUE(TD_ChoosePopupItem(W(6), 4, 2));
  EXPECT_EQ(command, MenuCommand('dv  '));
  EXPECT_EQ(Hits().size(), 1u);
  EXPECT_EQ(GetControl32BitValue(Item(6)), 4);
  RemoveEventHandler(h);
}

TEST_F(ControlKindsTest, TypingAcceptingAndComboListSendTextEventsToTheItem) {
  TD_Type(W(7), "3");
  ASSERT_EQ(gEvents.size(), 2u);
  EXPECT_EQ(gEvents[0].kind, UInt32(kEventTextShouldChangeInRange));
  EXPECT_EQ(gEvents[1].kind, UInt32(kEventTextDidChange));
  EXPECT_EQ(gEvents[1].item, 7);
  CFStringRef text = nullptr;
  ASSERT_EQ(CopyControlTitleAsCFString(Item(7), &text), noErr);
  EXPECT_EQ(CFStringGetIntValue(text), 3);
  CFRelease(text);
  gEvents.clear();
  TD_Accept(W(7));
  ASSERT_EQ(gEvents.size(), 1u);
  EXPECT_EQ(gEvents[0].eventClass, UInt32(kEventClassTextField));
  EXPECT_EQ(gEvents[0].kind, UInt32(kEventTextAccepted));

  gEvents.clear();
  auto *combo = qobject_cast<QComboBox *>(W(8));
  ASSERT_NE(combo, nullptr);
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);  // opens the list
  QTest::qWait(50);
  emit combo->activated(1);  // the user's choice of the list's second item
  ASSERT_EQ(gEvents.size(), 1u);
  EXPECT_EQ(gEvents[0].eventClass, UInt32(kEventClassHIComboBox));
  EXPECT_EQ(gEvents[0].kind, UInt32(kEventComboBoxListItemSelected));
  ASSERT_EQ(CopyControlTitleAsCFString(Item(8), &text), noErr);
  EXPECT_TRUE(CFStringCompare(text, CFSTR("1.00"), 0) == kCFCompareEqualTo);
  CFRelease(text);
}

TEST_F(ControlKindsTest, SliderRunsItsActionWhileDraggedAndHitsOnRelease) {
  SetControlAction(Item(10), RecordAction);
  auto *slider = qobject_cast<QSlider *>(W(10));
  slider->setSliderDown(true);
  slider->triggerAction(QAbstractSlider::SliderMove);
  slider->setSliderPosition(30);
  slider->setSliderPosition(60);
  EXPECT_GE(gActionParts.size(), 2u);
  EXPECT_TRUE(Hits().empty());
  EXPECT_EQ(GetControl32BitValue(Item(10)), 60);
  slider->setSliderDown(false);  // released
  ASSERT_EQ(Hits().size(), 1u);
  EXPECT_EQ(Hits()[0].item, 10);
}

TEST_F(ControlKindsTest, LittleArrowsHeldRepeatTheirPart) {
  SetControlAction(Item(11), RecordAction);
  auto *up = W(11)->findChild<QToolButton *>("up");
  ASSERT_NE(up, nullptr);
  QTest::mousePress(up, Qt::LeftButton, Qt::NoModifier, up->rect().center());
  QTest::qWait(600);
  QTest::mouseRelease(up, Qt::LeftButton, Qt::NoModifier, up->rect().center());
  ASSERT_GE(gActionParts.size(), 3u);
  for (SInt16 part : gActionParts) EXPECT_EQ(part, kControlUpButtonPart);
  EXPECT_EQ(Hits().size(), 1u);
}

TEST_F(ControlKindsTest, InactiveControlsTakeNoInputAndHelpTagsAreToolTips) {
  DeactivateControl(Item(1));
  EXPECT_FALSE(W(1)->isEnabled());
  TD_Click(W(1));
  EXPECT_TRUE(Hits().empty());
  ActivateControl(Item(1));
  EXPECT_TRUE(W(1)->isEnabled());
  EXPECT_EQ(W(1)->toolTip(), "Accept");
  HMHelpContentRec help{};
  help.version = kMacHelpVersion;
  help.content[0].contentType = kHMCFStringContent;
  help.content[0].u.tagCFString = CFSTR("Stop cleaning");
  help.content[1].contentType = kHMNoContent;
  ASSERT_EQ(HMSetControlHelpContent(Item(2), &help), noErr);
  EXPECT_EQ(W(2)->toolTip(), "Stop cleaning");
}

TEST_F(ControlKindsTest, ReturnPressesTheDefaultButtonAndEscapeTheCancelButton) {
  ASSERT_EQ(SetWindowDefaultButton(window, Item(1)), noErr);
  ASSERT_EQ(SetWindowCancelButton(window, Item(2)), noErr);
  W(3)->setFocus();
  QTest::keyClick(W(3), Qt::Key_Return);
  ASSERT_EQ(Hits().size(), 1u);
  EXPECT_EQ(Hits()[0].item, 1);
  gEvents.clear();
  QTest::keyClick(W(3), Qt::Key_Escape);
  ASSERT_EQ(Hits().size(), 1u);
  EXPECT_EQ(Hits()[0].item, 2);
  // In an edit text Return accepts the text and presses nothing.
  gEvents.clear();
  TD_Accept(W(7));
  EXPECT_TRUE(Hits().empty());
}

TEST_F(ControlKindsTest, BoundsFollowTheWidgetAndFocusShows) {
  widget->resize(600, 500);
  QApplication::processEvents();
  Rect bounds{};
  GetControlBounds(Item(10), &bounds);
  const QWidget *slider = W(10);
  const QPoint at = slider->mapTo(widget.get(), QPoint(0, 0));
  EXPECT_EQ(bounds.left, at.x());
  EXPECT_EQ(bounds.top, at.y());
  EXPECT_EQ(bounds.right - bounds.left, slider->width());
  ASSERT_EQ(SetKeyboardFocus(window, Item(7), kControlFocusNextPart), noErr);
  EXPECT_TRUE(W(7)->hasFocus() || QApplication::focusWidget() == W(7) || W(7)->window()->focusWidget() == W(7));
}

TEST_F(ControlKindsTest, SimulatedClicksTakeTheUsersRoad) {
  ControlPartCode part = 0;
  ASSERT_EQ(HIViewSimulateClick(Item(3), 0, 0, &part), noErr);
  ASSERT_EQ(Hits().size(), 1u);
  EXPECT_EQ(GetControl32BitValue(Item(3)), 1);
  gEvents.clear();
  ControlRef second = nullptr;
  ASSERT_EQ(GetIndexedSubControl(Item(4), 2, &second), noErr);
  ASSERT_EQ(HIViewSimulateClick(second, 0, 0, &part), noErr);
  ASSERT_EQ(Hits().size(), 1u);
  EXPECT_EQ(Hits()[0].item, 4);
  EXPECT_EQ(GetControl32BitValue(Item(4)), 2);
}

}  // namespace
