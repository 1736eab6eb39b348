// Window lookup by class and localised title, and the saved window locations in the preferences.
#include "app/window_lookup.h"

#include "engine/runtime/project_types.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/windows.h"
#include "platform/ui/window_manager.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class WindowLookup : public ::testing::Test {
 protected:
  void SetUp() override { PL_CFPreferencesForgetAll(); }
  void TearDown() override {
    for (WindowRef w : windows_) DisposeWindow(w);
    for (Point &p : gBZ.savedWindowLoc) p = Point{0, 0};
    gBZ.previewSize = Point{0, 0};
    PL_CFPreferencesForgetAll();
  }
  // A window titled with the localised text of the key.
  WindowRef Make(WindowClass windowClass, CFStringRef titleKey, Rect bounds = Rect{60, 40, 160, 240}) {
    WindowRef window = nullptr;
    EXPECT_EQ(CreateNewWindow(windowClass, kWindowCloseBoxAttribute, &bounds, &window), noErr);
    PL_CFScoped<CFStringRef> title(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), titleKey, nullptr, nullptr));
    EXPECT_EQ(SetWindowTitleWithCFString(window, title.get()), noErr);
    ShowWindow(window);
    windows_.push_back(window);
    return window;
  }
  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
  std::vector<WindowRef> windows_;
};

TEST_F(WindowLookup, EachWindowIsFoundByItsClassAndLocalisedTitle) {
  EXPECT_EQ(BZ_GetProjDlgWindow(), nullptr);
  WindowRef dialog = Make(kDocumentWindowClass, CFSTR("BZ Main window name"));
  WindowRef preview = Make(kDocumentWindowClass, CFSTR("BZ Preview window name"));
  WindowRef status = Make(kFloatingWindowClass, CFSTR("BZ Status window name"));
  WindowRef log = Make(kDocumentWindowClass, CFSTR("BZ Log window name"));
  EXPECT_EQ(BZ_GetProjDlgWindow(), dialog);
  EXPECT_EQ(BZ_GetPreviewWindow(), preview);
  EXPECT_EQ(BZ_GetStatusWindow(), status);
  EXPECT_EQ(BZ_GetLogWindow(), log);
  EXPECT_EQ(BZ_GetExampleWindow(), nullptr);
  EXPECT_EQ(BZ_GetShortcutsWindow(), nullptr);
  // The right title in the wrong class is not the window.
  Make(kDocumentWindowClass, CFSTR("BZ Preview shortcuts window name"));
  EXPECT_EQ(BZ_GetShortcutsWindow(), nullptr);
}

TEST_F(WindowLookup, LocationsComeBackAfterARestartAndTheShortcutsSlotIsNeverStored) {
  for (SInt32 id = 0; id < kBZ_NumSavedWindowLocs; ++id) gBZ.savedWindowLoc[id] = Point{SInt16(10 + id), SInt16(20 + id)};
  gBZ.previewSize = Point{480, 640};
  BZ_SaveWindowLocations();
  ASSERT_TRUE(CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication));
  PL_CFPreferencesForgetAll();
  for (Point &p : gBZ.savedWindowLoc) p = Point{1, 1};
  gBZ.previewSize = Point{0, 0};

  BZ_GetWindowLocations();
  for (SInt32 id = 0; id <= kBZ_ExampleWindowID; ++id) {
    EXPECT_EQ(gBZ.savedWindowLoc[id].v, 10 + id) << id;
    EXPECT_EQ(gBZ.savedWindowLoc[id].h, 20 + id) << id;
  }
  for (SInt32 id = kBZ_ShortcutsWindowID; id < kBZ_NumSavedWindowLocs; ++id) {
    EXPECT_EQ(gBZ.savedWindowLoc[id].v, 0) << id;
    EXPECT_EQ(BZ_WindowIDToLocKey(id), nullptr);
  }
  EXPECT_EQ(gBZ.previewSize.v, 480);
  EXPECT_EQ(gBZ.previewSize.h, 640);
}

TEST_F(WindowLookup, FirstStartHasNoLocations) {
  for (Point &p : gBZ.savedWindowLoc) p = Point{5, 5};
  BZ_GetWindowLocations();
  for (const Point &p : gBZ.savedWindowLoc) {
    EXPECT_EQ(p.v, 0);
    EXPECT_EQ(p.h, 0);
  }
}

TEST_F(WindowLookup, OpenWindowsAreMeasuredAtQuit) {
  Make(kDocumentWindowClass, CFSTR("BZ Main window name"), Rect{70, 30, 170, 230});
  Make(kFloatingWindowClass, CFSTR("BZ Status window name"), Rect{90, 50, 120, 150});
  gBZ.savedWindowLoc[kBZ_LogWindowID] = Point{7, 8};  // the log is closed: its last location stays
  EXPECT_EQ(BZ_GetOpenWindowLocations(), noErr);
  EXPECT_EQ(gBZ.savedWindowLoc[kBZ_ProjDlgWindowID].v, 70);
  EXPECT_EQ(gBZ.savedWindowLoc[kBZ_ProjDlgWindowID].h, 30);
  EXPECT_EQ(gBZ.savedWindowLoc[kBZ_StatusWindowID].v, 90);
  EXPECT_EQ(gBZ.savedWindowLoc[kBZ_LogWindowID].v, 7);
  EXPECT_EQ(gBZ.savedWindowLoc[kBZ_LogWindowID].h, 8);
}

}  // namespace
