// Window operations of the toolkit on real (offscreen) windows: finding a window by class and title,
// closing it through its own close handler, placing it at a saved location and on screen.
#include "toolkit/windows.h"

#include "platform/core/cf_string.h"
#include "platform/core/windows.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class ToolkitWindows : public ::testing::Test {
 protected:
  void TearDown() override {
    for (WindowRef w : windows_) DisposeWindow(w);
  }
  WindowRef Make(WindowClass windowClass, CFStringRef title, bool visible = true, Rect bounds = Rect{100, 100, 200, 300}) {
    WindowRef window = nullptr;
    EXPECT_EQ(CreateNewWindow(windowClass, kWindowCloseBoxAttribute, &bounds, &window), noErr);
    EXPECT_EQ(SetWindowTitleWithCFString(window, title), noErr);
    if (visible) ShowWindow(window);
    windows_.push_back(window);
    return window;
  }
  std::vector<WindowRef> windows_;
};

TEST_F(ToolkitWindows, FindsTheFrontmostWindowOfTheClassWithThatTitle) {
  WindowRef back = Make(kDocumentWindowClass, CFSTR("Preview"));
  WindowRef floating = Make(kFloatingWindowClass, CFSTR("Preview"));
  WindowRef front = Make(kDocumentWindowClass, CFSTR("Preview"));
  Make(kDocumentWindowClass, CFSTR("Log"));
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Preview"), false), front);
  EXPECT_EQ(GL_FindWindowByClassAndName(kFloatingWindowClass, CFSTR("Preview"), false), floating);
  SelectWindow(back);
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Preview"), false), back);
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Status"), false), nullptr);
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, nullptr, false), nullptr);
}

TEST_F(ToolkitWindows, HiddenWindowsAreFoundOnlyWhenVisibilityIsNotRequired) {
  WindowRef hidden = Make(kDocumentWindowClass, CFSTR("Log"), false);
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Log"), false), hidden);
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Log"), true), nullptr);
}

struct CloseRecord {
  int calls = 0;
  bool windowStillThere = false;
  OSStatus answer = eventNotHandledErr;
};

OSStatus CloseHandler(EventHandlerCallRef, EventRef event, void *userData) {
  auto *record = static_cast<CloseRecord *>(userData);
  ++record->calls;
  WindowRef window = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeWindowRef, nullptr, sizeof window, nullptr, &window);
  record->windowStillThere = GetWindowEventTarget(window) != nullptr;
  return record->answer;
}

TEST_F(ToolkitWindows, CloseEventRunsTheWindowsHandlerThenClosesTheWindow) {
  WindowRef window = Make(kDocumentWindowClass, CFSTR("Example"));
  CloseRecord record;
  const EventTypeSpec close{kEventClassWindow, kEventWindowClose};
  ASSERT_EQ(InstallEventHandler(GetWindowEventTarget(window), CloseHandler, 1, &close, &record, nullptr), noErr);
  EXPECT_EQ(GL_SendWindowCloseEvent(window), noErr);
  EXPECT_EQ(record.calls, 1);
  EXPECT_TRUE(record.windowStillThere) << "the handler runs before the window goes";
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Example"), false), nullptr);
  windows_.clear();
}

TEST_F(ToolkitWindows, HandlerThatTakesTheCloseEventKeepsTheWindow) {
  WindowRef window = Make(kDocumentWindowClass, CFSTR("Example"));
  CloseRecord record;
  record.answer = noErr;
  const EventTypeSpec close{kEventClassWindow, kEventWindowClose};
  ASSERT_EQ(InstallEventHandler(GetWindowEventTarget(window), CloseHandler, 1, &close, &record, nullptr), noErr);
  EXPECT_EQ(GL_SendWindowCloseEvent(window), noErr);
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Example"), false), window);
  EXPECT_EQ(GL_SendWindowCloseEvent(nullptr), paramErr);
}

TEST_F(ToolkitWindows, PostedCloseEventClosesTheWindowWhenTheLoopRuns) {
  WindowRef window = Make(kDocumentWindowClass, CFSTR("Shortcuts"));
  ASSERT_EQ(GL_PostWindowCloseEventMain(window), noErr);
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Shortcuts"), false), window)
      << "posting does not close at once";
  PL_RunEventLoopUntil([] { return GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Shortcuts"), false) ==
                                   nullptr; },
                       2.0);
  EXPECT_EQ(GL_FindWindowByClassAndName(kDocumentWindowClass, CFSTR("Shortcuts"), false), nullptr);
  windows_.clear();
}

TEST_F(ToolkitWindows, SavedLocationPlacesTheWindowAndZeroKeepsItWhereItWas) {
  WindowRef window = Make(kDocumentWindowClass, CFSTR("Project"));
  GL_PositionWindow(window, Point{150, 120});
  Point location{};
  ASSERT_EQ(GL_SaveWindowPosition(window, &location), noErr);
  EXPECT_EQ(location.v, 150);
  EXPECT_EQ(location.h, 120);
  GL_PositionWindow(window, Point{0, 0});
  ASSERT_EQ(GL_SaveWindowPosition(window, &location), noErr);
  EXPECT_EQ(location.v, 150);
  EXPECT_EQ(location.h, 120);
  Point size{};
  ASSERT_EQ(GL_GetWindowPortSize(window, &size), noErr);
  EXPECT_EQ(size.h, 200);
  EXPECT_EQ(size.v, 100);
}

TEST_F(ToolkitWindows, WindowOffTheScreenIsMovedOntoIt) {
  Rect screen{};
  ASSERT_EQ(PL_GetMainScreenBounds(&screen), noErr);
  WindowRef window = Make(kDocumentWindowClass, CFSTR("Project"), true,
                          Rect{SInt16(screen.bottom + 500), SInt16(screen.right + 500), SInt16(screen.bottom + 600),
                               SInt16(screen.right + 700)});
  EXPECT_FALSE(GL_IsWindowVisible(window));
  GL_PositionWindow(window, Point{0, 0});
  Rect bounds{};
  ASSERT_EQ(GL_GetGlobalWindowRect(window, &bounds), noErr);
  EXPECT_LE(bounds.right, screen.right);
  EXPECT_LE(bounds.bottom, screen.bottom);
  EXPECT_EQ(bounds.right - bounds.left, 200) << "only moved";
  EXPECT_TRUE(GL_IsWindowVisible(window));
}

TEST_F(ToolkitWindows, ClosableFollowsTheCloseBox) {
  Rect bounds{10, 10, 50, 50};
  WindowRef plain = nullptr;
  ASSERT_EQ(CreateNewWindow(kFloatingWindowClass, kWindowNoAttributes, &bounds, &plain), noErr);
  windows_.push_back(plain);
  Boolean closable = true;
  ASSERT_EQ(GL_IsWindowClosable(plain, &closable), noErr);
  EXPECT_FALSE(closable);
  ASSERT_EQ(GL_IsWindowClosable(Make(kDocumentWindowClass, CFSTR("x")), &closable), noErr);
  EXPECT_TRUE(closable);
}

}  // namespace
