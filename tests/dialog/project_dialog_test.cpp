// The project dialog's controls: activating the settings together (the Start, Cancel and Preview buttons the
// other way round) and the re-initialised tabs and progress bar.
#include "dialog/project_dialog.h"

#include "engine/runtime/engine_host.h"
#include "platform/core/controls.h"
#include "support/engine_fixtures.h"

#include <gtest/gtest.h>

namespace {

constexpr SInt32 kSettings[] = {kBZ_ProcessPaneItem, 2071, 2072, 2073, 2077, 2078, 2088,
                                2051, 2052, 2053, 2054, 2055, 2056};
constexpr SInt32 kButtons[] = {2000, 2001, 2002, 2003};

class ProjectDialogControls : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = reinterpret_cast<WindowRef>(&windowStorage_);
    for (SInt32 n : kSettings) Add(n);
    for (SInt32 n : kButtons) Add(n);
    for (SInt32 n : {SInt32(kBZ_MainTabItem), SInt32(kBZ_MethodTabItem), SInt32(kBZ_ProgressBarItem)}) {
      ControlRef c = Add(n);
      SetControl32BitMaximum(c, 1000);
      SetControl32BitValue(c, 7);
    }
  }
  void TearDown() override { PL_DisposeWindowControls(window_); }

  ControlRef Add(SInt32 n) {
    HIViewID id{kBZ_DialogItemSignature, n};
    ControlRef c = nullptr;
    EXPECT_EQ(PL_NewControl(window_, &id, &c), noErr);
    return c;
  }
  ControlRef Item(SInt32 n) {
    HIViewID id{kBZ_DialogItemSignature, n};
    ControlRef c = nullptr;
    EXPECT_EQ(GetControlByID(window_, &id, &c), noErr);
    return c;
  }

  int windowStorage_ = 0;
  WindowRef window_ = nullptr;
};

TEST_F(ProjectDialogControls, SettingsAndButtonsActivateOppositeWays) {
  for (Boolean activate : {Boolean(false), Boolean(true)}) {
    SCOPED_TRACE(activate ? "activate" : "deactivate");
    ASSERT_EQ(BZ_ReactivateControls(window_, activate), noErr);
    for (SInt32 n : kSettings) EXPECT_EQ(bool(IsControlActive(Item(n))), bool(activate)) << n;
    for (SInt32 n : kButtons) EXPECT_EQ(bool(IsControlActive(Item(n))), !activate) << n;
  }
  EXPECT_EQ(BZ_ReactivateControls(nullptr, true), noErr);
}

TEST_F(ProjectDialogControls, ReinitShowsTheFirstTabsAnEmptyBarAndActiveSettings) {
  bz_test::CurrentProject project;
  project->info.settings.cleaning.average.apply = true;
  BZ_ReactivateControls(window_, false);
  ASSERT_EQ(BZ_ReinitDialog(window_), noErr);
  EXPECT_EQ(GetControl32BitValue(Item(kBZ_MainTabItem)), 1);
  EXPECT_EQ(GetControl32BitValue(Item(kBZ_MethodTabItem)), 1);  // averaging applied, no noise reduction
  EXPECT_EQ(GetControl32BitValue(Item(kBZ_ProgressBarItem)), 0);
  EXPECT_TRUE(IsControlActive(Item(2071)));
  EXPECT_FALSE(IsControlActive(Item(2000)));
}

TEST_F(ProjectDialogControls, AMissingItemIsReported) {
  PL_DisposeWindowControls(window_);
  Add(kBZ_ProcessPaneItem);
  EXPECT_NE(BZ_ReactivateControls(window_, true), noErr);
}

}  // namespace
