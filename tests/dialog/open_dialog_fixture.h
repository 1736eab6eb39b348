// A project dialog opened offscreen for a test, over a project of its own and a home folder of its own:
// errors are shown at once (the application counts as in front); widgets are found by item number.
#pragma once

#include "app/window_lookup.h"
#include "dialog/project_dialog.h"
#include "engine/closing_saving.h"
#include "platform/core/cf_string.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/window_manager_qt.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include <string>

class OpenDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TD_App();
    savedSwitchedIn_ = gBZ.switchedIn;
    gBZ.switchedIn = true;
    ASSERT_EQ(CreateNibReference(CFSTR("BZ main"), &gBZ.nibRef), noErr);
    ASSERT_EQ(BZ_OpenProjectDialog(), noErr);
    window_ = BZ_GetProjDlgWindow();
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(PL_GetWindowWidget(window_)));
  }
  void TearDown() override {
    if (window_ == nullptr) return;
    BZ_DisposeProject(window_);
    BZ_DisposeDialog();
    DisposeNibReference(gBZ.nibRef);
    gBZ.nibRef = nullptr;
    gBZ.switchedIn = savedSwitchedIn_;
  }

  QWidget *W(SInt32 n) { return TD_FindControl(window_, n); }
  ControlRef C(SInt32 n) {
    ControlRef c = nullptr;
    const HIViewID id{kBZ_DialogItemSignature, n};
    EXPECT_EQ(GetControlByID(window_, &id, &c), noErr) << n;
    return c;
  }
  std::string ItemText(SInt32 n) {
    auto *label = qobject_cast<QLabel *>(W(n));
    return label != nullptr ? label->text().toStdString() : std::string();
  }
  BZ_ProjInfo &Info() { return project_->info; }

  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
  bz_test::CurrentProject project_;
  WindowRef window_ = nullptr;
  Boolean savedSwitchedIn_ = false;
};
