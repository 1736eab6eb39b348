// Nib windows from Designer files, and their controls kept in step with the widgets (offscreen).
#include "platform/ui/nib_controls_qt.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <memory>

namespace {

QApplication &App() {
  static int argc = 1;
  static char name[] = "nib_controls_test";
  static char *argv[] = {name, nullptr};
  static QApplication *app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
  (void)app;
  return *static_cast<QApplication *>(QApplication::instance());
}

constexpr HIViewID kBar{'PRGR', 3003}, kMessage{'PRGR', 3004}, kSuspend{'PRGR', 3001};

OSStatus RecordHit(EventHandlerCallRef, EventRef event, void *userData) {
  ControlRef control = nullptr;
  GetEventParameter(event, kEventParamDirectObject, 'ctrl', nullptr, sizeof control, nullptr, &control);
  HIViewID id{0, 0};
  GetControlID(control, &id);
  *static_cast<HIViewID *>(userData) = id;
  return noErr;
}

struct NibWindowTest : ::testing::Test {
  IBNibRef nib = nullptr;
  std::unique_ptr<QWidget> widget;
  int storage = 0;
  WindowRef window = reinterpret_cast<WindowRef>(&storage);

  void SetUp() override {
    App();
    ASSERT_EQ(CreateNibReference(CFSTR("Progress"), &nib), noErr);
    QWidget *w = nullptr;
    ASSERT_EQ(PL_LoadNibWindowWidget(nib, CFSTR("Progress"), &w), noErr);
    widget.reset(w);
  }
  void TearDown() override {
    PL_DetachNibControls(window);
    DisposeNibReference(nib);
  }
  ControlRef Item(HIViewID id) {
    ControlRef c = nullptr;
    EXPECT_EQ(GetControlByID(window, &id, &c), noErr);
    return c;
  }
};

TEST_F(NibWindowTest, MissingNibsAndWindowsAreReported) {
  IBNibRef none = nullptr;
  EXPECT_EQ(CreateNibReference(CFSTR("No such nib"), &none), fnfErr);
  EXPECT_EQ(none, nullptr);
  QWidget *w = reinterpret_cast<QWidget *>(1);
  EXPECT_EQ(PL_LoadNibWindowWidget(nib, CFSTR("No such window"), &w), fnfErr);
  EXPECT_EQ(w, nullptr);
}

TEST_F(NibWindowTest, ControlsTakeTheWidgetsStateAndShowTheirOwn) {
  ASSERT_EQ(PL_AttachNibControls(window, widget.get(), nullptr), noErr);
  // Every view identifier became a control, with the widget's state.
  for (SInt32 n = 3000; n <= 3006; ++n) {
    const HIViewID id{'PRGR', n};
    EXPECT_NE(PL_GetControlWidget(window, id), nullptr) << n;
  }
  EXPECT_EQ(GetControl32BitMaximum(Item(kBar)), 1000);
  CFStringRef title = nullptr;
  ASSERT_EQ(CopyControlTitleAsCFString(Item(kSuspend), &title), noErr);
  EXPECT_EQ(CFStringCompare(title, CFSTR("Suspend"), 0), kCFCompareEqualTo);
  CFRelease(title);
  Rect bounds;
  GetControlBounds(Item(kBar), &bounds);
  EXPECT_EQ(bounds.left, 20);
  EXPECT_EQ(bounds.top, 60);
  EXPECT_EQ(bounds.right, 420);

  // The program's changes show on the widgets.
  auto *bar = qobject_cast<QProgressBar *>(PL_GetControlWidget(window, kBar));
  ASSERT_NE(bar, nullptr);
  SetControl32BitValue(Item(kBar), 250);
  EXPECT_EQ(bar->value(), 250);
  Boolean indeterminate = true;
  SetControlData(Item(kBar), kControlEntireControl, kControlProgressBarIndeterminateTag, sizeof indeterminate,
                 &indeterminate);
  EXPECT_EQ(bar->maximum(), 0);
  ASSERT_EQ(HIViewSetText(Item(kMessage), CFSTR("Copying…")), noErr);
  EXPECT_EQ(qobject_cast<QLabel *>(PL_GetControlWidget(window, kMessage))->text(), QString::fromUtf8("Copying…"));
  HideControl(Item(kSuspend));
  EXPECT_TRUE(PL_GetControlWidget(window, kSuspend)->isHidden());
}

TEST_F(NibWindowTest, UserClicksAreHitsAndProgramChangesAreNot) {
  EventTargetRef target = nullptr;
  ASSERT_EQ(PL_CreateEventTarget(nullptr, &target), noErr);
  HIViewID hit{0, 0};
  const EventTypeSpec type{'cntl', 1};
  EventHandlerRef handler = nullptr;
  ASSERT_EQ(InstallEventHandler(target, RecordHit, 1, &type, &hit, &handler), noErr);
  ASSERT_EQ(PL_AttachNibControls(window, widget.get(), target), noErr);

  ASSERT_EQ(HIViewSetText(Item(kSuspend), CFSTR("Resume")), noErr);
  EXPECT_EQ(hit.id, 0);
  qobject_cast<QPushButton *>(PL_GetControlWidget(window, kSuspend))->click();
  EXPECT_EQ(hit.signature, OSType('PRGR'));
  EXPECT_EQ(hit.id, 3001);
  PL_DisposeEventTarget(target);
}

}  // namespace
