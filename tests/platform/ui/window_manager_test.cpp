// Windows offscreen: the user's activation becomes window events and the front-to-back order, the
// application's activation becomes application events, and the size a handler asks for is kept.
#include "platform/ui/application.h"
#include "platform/ui/window_manager_qt.h"

#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <utility>
#include <vector>

namespace {

std::vector<std::pair<WindowRef, UInt32>> gEvents;  // (window or NULL for the application, kind)

OSStatus RecordWindowEvent(EventHandlerCallRef, EventRef event, void *userData) {
  gEvents.emplace_back(static_cast<WindowRef>(userData), GetEventKind(event));
  return eventNotHandledErr;
}

OSStatus RecordAppEvent(EventHandlerCallRef, EventRef event, void *) {
  gEvents.emplace_back(nullptr, GetEventKind(event));
  return eventNotHandledErr;
}

struct Windows : ::testing::Test {
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "window_manager_test";
    static char *argv[] = {name, nullptr};
    ASSERT_EQ(noErr, PL_CreateApplication(&argc, argv));
  }

  WindowRef a = nullptr, b = nullptr;

  void SetUp() override {
    gEvents.clear();
    const Rect boundsA{40, 40, 200, 300}, boundsB{60, 320, 220, 580};
    ASSERT_EQ(noErr, CreateNewWindow(kDocumentWindowClass, kWindowStandardDocumentAttributes, &boundsA, &a));
    ASSERT_EQ(noErr, CreateNewWindow(kDocumentWindowClass, kWindowStandardDocumentAttributes, &boundsB, &b));
    static const EventTypeSpec kinds[] = {{kEventClassWindow, kEventWindowActivated},
                                          {kEventClassWindow, kEventWindowDeactivated}};
    for (WindowRef w : {a, b})
      ASSERT_EQ(noErr, InstallEventHandler(GetWindowEventTarget(w), RecordWindowEvent, 2, kinds, w, nullptr));
  }
  void TearDown() override {
    DisposeWindow(b);
    DisposeWindow(a);
  }

  // As the user does it: a click on the window's frame makes it the active one.
  static void Activate(WindowRef window) {
    QWidget *widget = PL_GetWindowWidget(window);
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget));
  }
  static bool Saw(WindowRef window, UInt32 kind) {
    for (const auto &event : gEvents)
      if (event.first == window && event.second == kind) return true;
    return false;
  }
};

TEST_F(Windows, TheUsersActivationSendsDeactivatedAndActivatedAndReordersTheWindows) {
  ShowWindow(a);
  ShowWindow(b);
  Activate(a);
  EXPECT_TRUE(Saw(a, kEventWindowActivated));
  EXPECT_EQ(FrontNonFloatingWindow(), a);
  gEvents.clear();
  Activate(b);
  EXPECT_TRUE(Saw(a, kEventWindowDeactivated));
  EXPECT_TRUE(Saw(b, kEventWindowActivated));
  EXPECT_FALSE(Saw(a, kEventWindowActivated));
  EXPECT_EQ(FrontNonFloatingWindow(), b);
  EXPECT_EQ(GetNextWindowOfClass(b, kDocumentWindowClass, true), a);
  gEvents.clear();
  Activate(a);
  EXPECT_TRUE(Saw(b, kEventWindowDeactivated));
  EXPECT_TRUE(Saw(a, kEventWindowActivated));
  EXPECT_EQ(FrontNonFloatingWindow(), a);
}

TEST_F(Windows, TheApplicationsStateBecomesApplicationEvents) {
  static const EventTypeSpec kinds[] = {{kEventClassApplication, kEventAppActivated},
                                        {kEventClassApplication, kEventAppDeactivated}};
  EventHandlerRef handler = nullptr;
  ASSERT_EQ(noErr, InstallApplicationEventHandler(RecordAppEvent, 2, kinds, nullptr, &handler));
  // The offscreen platform never changes the state by itself; the signal is what a desktop's focus change gives.
  emit qApp->applicationStateChanged(Qt::ApplicationInactive);
  emit qApp->applicationStateChanged(Qt::ApplicationActive);
  ASSERT_EQ(gEvents.size(), 2u);
  EXPECT_EQ(gEvents[0].second, UInt32(kEventAppDeactivated));
  EXPECT_EQ(gEvents[1].second, UInt32(kEventAppActivated));
  RemoveEventHandler(handler);
}

OSStatus AtLeast300By200(EventHandlerCallRef, EventRef event, void *) {
  if (GetEventKind(event) == kEventWindowGetMinimumSize) {
    const Point size{200, 300};
    SetEventParameter(event, kEventParamDimensions, typeQDPoint, sizeof size, &size);
    return noErr;
  }
  // A size change is offered to the handler, which keeps the width at 400.
  Rect bounds{};
  GetEventParameter(event, kEventParamCurrentBounds, typeQDRectangle, nullptr, sizeof bounds, nullptr, &bounds);
  bounds.right = SInt16(bounds.left + 400);
  SetEventParameter(event, kEventParamCurrentBounds, typeQDRectangle, sizeof bounds, &bounds);
  return noErr;
}

TEST_F(Windows, HandlersGiveTheMinimumSizeAndMayChangeANewSize) {
  static const EventTypeSpec kinds[] = {{kEventClassWindow, kEventWindowGetMinimumSize},
                                        {kEventClassWindow, kEventWindowBoundsChanging}};
  ASSERT_EQ(noErr, InstallEventHandler(GetWindowEventTarget(a), AtLeast300By200, 2, kinds, nullptr, nullptr));
  ShowWindow(a);
  EXPECT_EQ(PL_GetWindowWidget(a)->minimumSize(), QSize(300, 200));
  PL_GetWindowWidget(a)->resize(500, 250);  // as a user's drag of the corner would
  Rect bounds{};
  ASSERT_EQ(noErr, GetWindowBounds(a, kWindowContentRgn, &bounds));
  EXPECT_EQ(bounds.right - bounds.left, 400);
  EXPECT_EQ(bounds.bottom - bounds.top, 250);
}

}  // namespace
