// Rectangle queries about windows on real (offscreen) windows. The offscreen platform draws no frame, so a
// window's structure and content rectangles are the same there.
#include "toolkit/windows.h"

#include "platform/core/graphics_devices.h"
#include "platform/core/cf_string.h"
#include "platform/core/controls.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool Same(const Rect &a, const Rect &b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

struct WindowGeometry : ::testing::Test {
  std::vector<WindowRef> windows;
  void TearDown() override {
    for (WindowRef w : windows) DisposeWindow(w);
  }
  WindowRef Make(Rect bounds) {
    WindowRef window = nullptr;
    EXPECT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowCloseBoxAttribute, &bounds, &window), noErr);
    windows.push_back(window);
    return window;
  }
};

TEST_F(WindowGeometry, ContentFrameAndTitleBar) {
  const Rect cases[] = {{100, 100, 200, 300}, {0, 0, 1, 1}, {40, 500, 640, 1300}};
  for (const Rect &bounds : cases) {
    WindowRef window = Make(bounds);
    Rect content{}, frame{1, 1, 1, 1}, titleBar{};
    ASSERT_EQ(GL_GetWindowContentRect(window, &content), noErr);
    EXPECT_TRUE(Same(content, bounds)) << bounds.top << "," << bounds.left;
    ASSERT_EQ(GL_GetWindowFrame(window, &frame), noErr);
    EXPECT_TRUE(Same(frame, Rect{0, 0, 0, 0}));
    ASSERT_EQ(GL_GetWindowTitleBar(window, &titleBar), noErr);
    EXPECT_TRUE(Same(titleBar, Rect{bounds.top, bounds.left, bounds.top, bounds.right}));
  }
}

TEST_F(WindowGeometry, UnknownWindowsAndMissingResultsAreReported) {
  int storage = 0;
  WindowRef unknown = reinterpret_cast<WindowRef>(&storage);
  Rect r{};
  EXPECT_EQ(GL_GetWindowContentRect(unknown, &r), errInvalidWindowRef);
  EXPECT_EQ(GL_GetWindowFrame(unknown, &r), errInvalidWindowRef);
  EXPECT_EQ(GL_GetWindowTitleBar(unknown, &r), errInvalidWindowRef);
  WindowRef window = Make(Rect{10, 10, 20, 20});
  EXPECT_EQ(GL_GetWindowContentRect(window, nullptr), paramErr);
  EXPECT_EQ(GL_GetWindowFrame(window, nullptr), paramErr);
  EXPECT_EQ(GL_GetWindowTitleBar(window, nullptr), paramErr);
  EXPECT_EQ(GL_GetWindowMaxScreen(unknown), nullptr);
  EXPECT_FALSE(GL_SectRectWindowStrucRgn(&r, unknown, nullptr));
}

TEST_F(WindowGeometry, MaxScreenIsTheMainScreenForAWindowOnIt) {
  WindowRef on = Make(Rect{50, 50, 150, 150});
  EXPECT_EQ(GL_GetWindowMaxScreen(on), GetMainDevice());
  WindowRef off = Make(Rect{-3000, -3000, -2900, -2900});
  EXPECT_EQ(GL_GetWindowMaxScreen(off), nullptr);
}

TEST_F(WindowGeometry, RectAgainstOneWindowAndAgainstAList) {
  WindowRef a = Make(Rect{100, 100, 200, 200});
  WindowRef b = Make(Rect{300, 300, 400, 400});
  GL_WindowLE second{nullptr, b}, first{&second, a};
  struct Case {
    Rect rect;
    bool meetsA;
    Rect withA;
    bool meetsList;
    Rect listBounds;
  } cases[] = {
      {{150, 150, 250, 250}, true, {150, 150, 200, 200}, true, {150, 150, 200, 200}},
      {{350, 350, 360, 360}, false, {0, 0, 0, 0}, true, {350, 350, 360, 360}},
      {{210, 210, 290, 290}, false, {0, 0, 0, 0}, false, {0, 0, 0, 0}},
      {{200, 100, 300, 200}, false, {0, 0, 0, 0}, false, {0, 0, 0, 0}},  // touching edges only
      {{0, 0, 1000, 1000}, true, {100, 100, 200, 200}, true, {100, 100, 400, 400}},
  };
  for (const Case &c : cases) {
    Rect common{1, 1, 1, 1};
    EXPECT_EQ(GL_SectRectWindowStrucRgn(&c.rect, a, &common), c.meetsA) << c.rect.top;
    if (c.meetsA) {
      EXPECT_TRUE(Same(common, c.withA)) << c.rect.top;
    }
    EXPECT_EQ(GL_SectRectWindowStrucRgn(&c.rect, a, nullptr), c.meetsA);
    RgnHandle region = NewRgn();
    EXPECT_EQ(GL_SectRectWindowsStrucRgn(&c.rect, &first, region), c.meetsList) << c.rect.top;
    Rect bounds{};
    GetRegionBounds(region, &bounds);
    if (c.meetsList) {
      EXPECT_TRUE(Same(bounds, c.listBounds)) << c.rect.top;
    }
    DisposeRgn(region);
    EXPECT_EQ(GL_SectRectWindowsStrucRgn(&c.rect, &first, nullptr), c.meetsList);
  }
  const Rect any{0, 0, 1000, 1000};
  EXPECT_FALSE(GL_SectRectWindowsStrucRgn(&any, nullptr, nullptr)) << "an empty list";
}

}  // namespace

namespace {

TEST(WindowFromNibByName, CreatesTheNamedWindowOrReportsWhatIsMissing) {
  WindowRef window = nullptr;
  ASSERT_EQ(GL_CreateWindowFromNibByName(CFSTR("Progress"), CFSTR("Progress"), &window), noErr);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  const HIViewID bar{'PRGR', 3003};
  ControlRef control = nullptr;
  EXPECT_EQ(GetControlByID(window, &bar, &control), noErr);
  DisposeWindow(window);
  EXPECT_NE(GetControlByID(window, &bar, &control), noErr) << "the controls go with the window";

  struct Case {
    CFStringRef nib, name;
    OSStatus err;
  } cases[] = {{CFSTR("No such nib"), CFSTR("Progress"), fnfErr},
               {CFSTR("Progress"), CFSTR("No such window"), fnfErr},
               {CFSTR("Progress"), nullptr, paramErr}};
  for (const Case &c : cases) {
    window = reinterpret_cast<WindowRef>(1);
    EXPECT_EQ(GL_CreateWindowFromNibByName(c.nib, c.name, &window), c.err);
    EXPECT_EQ(window, nullptr);
  }
  EXPECT_EQ(GL_CreateWindowFromNibByName(CFSTR("Progress"), CFSTR("Progress"), nullptr), paramErr);
}

}  // namespace

namespace {

const unsigned char kInfo[] = {4, 'I', 'n', 'f', 'o'};

TEST_F(WindowGeometry, AFloaterGoesBesideItsOwnerOnScreenAndARemadeOneKeepsItsPlace) {
  Rect screen{};
  ASSERT_EQ(PL_GetMainScreenBounds(&screen), noErr);
  const SInt16 t = screen.top, l = screen.left, b = screen.bottom, r = screen.right;
  ASSERT_GE(r - l, 600);
  ASSERT_GE(b - t, 400);
  struct Case {
    const char *where;
    Rect owner;
    Rect floater;
  } cases[] = {
      {"left of the top left", {SInt16(t + 100), SInt16(l + 300), SInt16(t + 300), SInt16(l + 500)},
       {SInt16(t + 100), SInt16(l + 80), SInt16(t + 224), SInt16(l + 300)}},
      {"at the top right", {SInt16(t + 100), SInt16(l + 100), SInt16(t + 300), SInt16(l + 300)},
       {SInt16(t + 100), SInt16(l + 300), SInt16(t + 224), SInt16(l + 520)}},
      {"left of the bottom left", {SInt16(t - 50), SInt16(l + 300), SInt16(t + 250), SInt16(r - 100)},
       {SInt16(t + 126), SInt16(l + 80), SInt16(t + 250), SInt16(l + 300)}},
      {"inside the bottom right", {t, l, b, r}, {SInt16(b - 124), SInt16(r - 220), b, r}},
  };
  for (const Case &c : cases) {
    WindowRef owner = Make(c.owner);
    WindowRef floater = nullptr;
    TEHandle text = nullptr;
    ASSERT_EQ(GL_CreateFloatingWindow(&floater, owner, &text, kInfo), noErr) << c.where;
    ASSERT_NE(floater, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(IsWindowVisible(floater));
    WindowClass windowClass = 0;
    EXPECT_EQ(GetWindowClass(floater, &windowClass), noErr);
    EXPECT_EQ(windowClass, kFloatingWindowClass);
    Rect place{};
    ASSERT_EQ(GL_GetWindowContentRect(floater, &place), noErr);
    EXPECT_TRUE(Same(place, c.floater)) << c.where << ": " << place.top << "," << place.left;

    // Made again: the old one goes, the new one takes its place.
    WindowRef old = floater;
    MoveWindow(floater, SInt16(l + 5), SInt16(t + 7), false);
    ASSERT_EQ(GL_CreateFloatingWindow(&floater, owner, &text, kInfo), noErr);
    if (floater != old) {
      EXPECT_EQ(GetWindowEventTarget(old), nullptr);
    }
    ASSERT_EQ(GL_GetWindowContentRect(floater, &place), noErr);
    EXPECT_TRUE(Same(place, Rect{SInt16(t + 7), SInt16(l + 5), SInt16(t + 131), SInt16(l + 225)})) << c.where;
    EXPECT_EQ(GetNextWindowOfClass(floater, kFloatingWindowClass, false), nullptr) << "only one floater";

    GL_DisposeFloater(&floater, &text);
    EXPECT_EQ(floater, nullptr);
    EXPECT_EQ(text, nullptr);
    GL_DisposeFloater(&floater, &text);  // nothing left to dispose of
  }
}

TEST_F(WindowGeometry, AFloaterNeedsAnOwnerAndResults) {
  int storage = 0;
  WindowRef floater = nullptr;
  TEHandle text = nullptr;
  EXPECT_EQ(GL_CreateFloatingWindow(&floater, reinterpret_cast<WindowRef>(&storage), &text, kInfo),
            errInvalidWindowRef);
  EXPECT_EQ(floater, nullptr);
  EXPECT_EQ(GL_CreateFloatingWindow(nullptr, nullptr, &text, kInfo), paramErr);
}

}  // namespace
