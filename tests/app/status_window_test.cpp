// The status window offscreen: what it says for each state of the project and the flags, redrawing only on
// change from the timer, always on a draw event, and a close box that does not close it.
#include "app/status_window.h"

#include "app/window_lookup.h"
#include "engine/runtime/project_types.h"
#include "engine/runtime/shell_senders.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/ui/text_views_qt.h"

#include "support/engine_fixtures.h"

#include "support/gui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTextEdit>

#include <string>

namespace {

struct StatusWindow : ::testing::Test {
  bz_test::CurrentProject project;
  void SetUp() override {
    TD_App();
    ASSERT_EQ(BZ_CreateStatusWindow(Point{0, 0}), noErr);
  }
  void TearDown() override {
    BZ_DisposeStatusWindow();
    BZ_SetMakingRandomNoiseTables(false);
    BZ_SetOpeningMovie(false);
    BZ_SetConnectingToServer(false);
    gBZ.startQuitting = false;
    gBZ.done = false;
  }
  HIViewRef View() {
    HIViewRef view = nullptr;
    EXPECT_EQ(HIViewFindByID(HIViewGetRoot(BZ_GetStatusWindow()), HIViewID{'Orl1', 2000}, &view), noErr);
    return view;
  }
  std::string Shown() { return PL_GetTextViewWidget(View())->toPlainText().toStdString(); }
};

TEST_F(StatusWindow, SaysWhatRunsWithTheFlagsFirst) {
  EXPECT_TRUE(IsWindowVisible(BZ_GetStatusWindow()));
  EXPECT_EQ(Shown(), "Ready");
  struct Case {
    BZ_ExecuteState exec;
    BZ_ExecuteSubState sub;
    bool noiseTables, opening, connecting, quitting;
    BZ_Status status;
    const char *text;
  } cases[] = {
      {kBZ_ProjStateReady, kBZ_ProjSubStateMain, false, false, false, false, kBZ_StatusReady, "Ready"},
      {kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateMain, false, false, false, false, kBZ_StatusAnalyzing,
       "Analysing the movie\nFinding the noise levels"},
      {kBZ_ProjStatePreviewing, kBZ_ProjSubStateCalcPreview, false, false, false, false, kBZ_StatusPreviewing,
       "Previewing\nCalculating the preview"},
      {kBZ_ProjStateExecuting, kBZ_ProjSubStateMain, false, false, false, false, kBZ_Processing, "Processing"},
      {kBZ_ProjStateBeingOpened, kBZ_ProjSubStateMain, false, false, false, false, kBZ_Processing, "Processing"},
      {kBZ_ProjStateExecuting, kBZ_ProjSubStateMain, true, true, true, true, kBZ_StatusMakingRandomNoiseTables,
       "Preparing noise tables…"},
      {kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateCalcAutoSett, true, false, false, false,
       kBZ_StatusMakingRandomNoiseTables, "Preparing noise tables…"},
      {kBZ_ProjStateReady, kBZ_ProjSubStateMain, false, true, true, true, kBZ_OpeningMovie, "Opening the movie…"},
      {kBZ_ProjStateReady, kBZ_ProjSubStateMain, false, false, true, true, kBZ_ConnectingToServer,
       "Connecting to the server…"},
      {kBZ_ProjStateExecuting, kBZ_ProjSubStateMain, false, false, false, true, kBZ_Quitting, "Quitting"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    project->state.exec = c.exec;
    project->state.subExec = c.sub;
    BZ_SetMakingRandomNoiseTables(c.noiseTables);
    BZ_SetOpeningMovie(c.opening);
    BZ_SetConnectingToServer(c.connecting);
    gBZ.startQuitting = c.quitting;
    BZ_SubStatus sub = kBZ_SubStatusMain;
    EXPECT_EQ(BZ_GetStatus(nullptr, &sub), c.status);
    ASSERT_EQ(BZ_UpdateStatus(false), noErr);
    EXPECT_EQ(Shown(), c.text);
  }
}

TEST_F(StatusWindow, TheTimerRedrawsOnlyAChangeADrawEventAlways) {
  const UInt32 start = PL_GetControlRenderCount(View());
  ASSERT_EQ(BZ_UpdateStatus(false), noErr);
  EXPECT_EQ(PL_GetControlRenderCount(View()), start);
  project->state.exec = kBZ_ProjStateExecuting;
  ASSERT_EQ(BZ_UpdateStatus(false), noErr);
  EXPECT_EQ(PL_GetControlRenderCount(View()), start + 1);
  ASSERT_EQ(BZ_UpdateStatus(false), noErr);
  EXPECT_EQ(PL_GetControlRenderCount(View()), start + 1);

  WindowRef window = BZ_GetStatusWindow();
  EventRef draw = nullptr;
  CreateEvent(nullptr, kEventClassWindow, kEventWindowDrawContent, 0, kEventAttributeNone, &draw);
  SetEventParameter(draw, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
  EXPECT_EQ(SendEventToEventTarget(draw, GetWindowEventTarget(window)), noErr);
  ReleaseEvent(draw);
  EXPECT_GE(PL_GetControlRenderCount(View()), start + 2);

  BZ_ForceStatusUpdate();
  const UInt32 before = PL_GetControlRenderCount(View());
  ASSERT_EQ(BZ_UpdateStatus(false), noErr);
  EXPECT_EQ(PL_GetControlRenderCount(View()), before + 1);
}

TEST_F(StatusWindow, TheCloseBoxDoesNotCloseIt) {
  WindowRef window = BZ_GetStatusWindow();
  EventRef close = nullptr;
  CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, 0, kEventAttributeNone, &close);
  SetEventParameter(close, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
  EXPECT_EQ(SendEventToEventTarget(close, GetWindowEventTarget(window)), noErr);
  ReleaseEvent(close);
  EXPECT_EQ(BZ_GetStatusWindow(), window);
  EXPECT_TRUE(IsWindowVisible(window));
  MoveWindow(window, 333, 77, false);
  ASSERT_EQ(BZ_DisposeStatusWindow(), noErr);
  EXPECT_EQ(BZ_GetStatusWindow(), nullptr);
  EXPECT_EQ(gBZ.savedWindowLoc[kBZ_StatusWindowID].h, 333);
  EXPECT_EQ(gBZ.savedWindowLoc[kBZ_StatusWindowID].v, 77);
  ASSERT_EQ(BZ_CreateStatusWindow(gBZ.savedWindowLoc[kBZ_StatusWindowID]), noErr);
  Rect bounds{};
  GetWindowBounds(BZ_GetStatusWindow(), kWindowContentRgn, &bounds);
  EXPECT_EQ(bounds.left, 333);
  EXPECT_EQ(bounds.top, 77);
}

}  // namespace
