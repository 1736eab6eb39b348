// Stopping a running analysis or preview calculation: which stop code the main task gets, which run is
// deferred, the wait for the main task's stop signal, and a waiting stop that ends any active run.
#include "dialog/run_control.h"

#include "app/window_lookup.h"
#include "dialog/project_dialog.h"

#include "engine/tasks/pipeline_types.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/windows.h"
#include "platform/ui/application.h"
#include "platform/ui/window_manager.h"
#include "support/engine_fixtures.h"
#include "support/gui_driver.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <cstdint>
#include <thread>

namespace {

class StopMovieAnalysis : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.inputQueue), noErr);
    BZ_BuffInfo &copy = project_->dynIO_Info.buffInfo[0];
    copy.type = kBZ_CopyTaskType;
    copy.ptr = buffer_;  // the project has frame buffers: a run can be going on
    gBZ.dlgData = &dlgData_;
  }
  void TearDown() override {
    project_->dynIO_Info.buffInfo[0].type = BZ_TaskType(0);
    project_->dynIO_Info.buffInfo[0].ptr = nullptr;
    MP_DeleteQueue(&gBZ.mainTaskData.inputQueue);
    gBZ.dlgData = nullptr;
  }
  bool PreviewDeferred() const { return dlgData_.previewData.previewCalcDeferred; }
  // The code posted to the main task, or -1.
  intptr_t Posted() {
    void *sender = nullptr, *project = nullptr, *code = nullptr;
    if (MPWaitOnQueue(gBZ.mainTaskData.inputQueue, &sender, &project, &code, kDurationImmediate) != noErr) return -1;
    EXPECT_EQ(reinterpret_cast<intptr_t>(sender), kBZ_ProjDlgTaskType);
    return reinterpret_cast<intptr_t>(code);
  }
  void SetRun(BZ_ExecuteState exec, BZ_ExecuteSubState subExec) {
    project_->state.exec = exec;
    project_->state.subExec = subExec;
  }

  bz_test::CurrentProject project_;
  BZ_ProjDlgData dlgData_;
  BZ_ProjDlgState &state_ = dlgData_.state;
  UInt8 buffer_[16] = {};
};

TEST_F(StopMovieAnalysis, StopCodeAndDeferredRunFollowTheRunAndTheWish) {
  struct Case {
    const char *name;
    BZ_ExecuteState exec;
    BZ_ExecuteSubState subExec;
    bool needAnalysis, needPreview;
    intptr_t code;  // -1: nothing posted
    bool analysisDeferred, previewDeferred, needPreviewAfter;
  };
  const Case cases[] = {
      {"analysis wanted while analysing", kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateCalcAutoSett, true, false,
       kBZ_CancelMovieAnalysisMessage, true, false, false},
      {"analysis wanted while previewing", kBZ_ProjStatePreviewing, kBZ_ProjSubStateCalcPreview, true, false,
       kBZ_CancelPreviewCalcMessage, true, false, false},
      {"preview wanted while previewing", kBZ_ProjStatePreviewing, kBZ_ProjSubStateCalcPreview, false, true,
       kBZ_CancelPreviewCalcMessage, false, true, true},
      {"preview wanted while analysing: the analysis goes on", kBZ_ProjStateAnalyzingMovie,
       kBZ_ProjSubStateCalcAutoSett, false, true, -1, false, false, false},
      {"preview wanted after the preview ended", kBZ_ProjStatePreviewing, kBZ_ProjSubStateMain, false, true, -1,
       false, false, true},
      {"nothing wanted", kBZ_ProjStatePreviewing, kBZ_ProjSubStateCalcPreview, false, false, -1, false, false,
       false},
      {"analysis wanted while ready", kBZ_ProjStateReady, kBZ_ProjSubStateMain, true, false, -1, false, false,
       false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetRun(c.exec, c.subExec);
    state_.needMovieAnalysis = c.needAnalysis;
    state_.needPreviewCalc = c.needPreview;
    state_.movieAnalysisDeferred = true;  // cleared by every stop
    Boolean stopping = 2;
    ASSERT_EQ(BZ_StopMovieAnalysis(&state_, &stopping, false), noErr);
    EXPECT_EQ(Posted(), c.code);
    EXPECT_EQ(stopping, c.code != -1 ? 1 : 0);
    EXPECT_EQ(bool(state_.movieAnalysisDeferred), c.analysisDeferred);
    EXPECT_EQ(PreviewDeferred(), c.previewDeferred);
    EXPECT_EQ(bool(state_.needPreviewCalc), c.needPreviewAfter);
  }
}

TEST_F(StopMovieAnalysis, WithoutFrameBuffersNothingCanRun) {
  project_->dynIO_Info.buffInfo[0].ptr = nullptr;
  SetRun(kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateCalcAutoSett);
  state_.needMovieAnalysis = true;
  state_.movieAnalysisDeferred = true;
  Boolean stopping = 7;
  EXPECT_EQ(BZ_StopMovieAnalysis(&state_, &stopping, true), noErr);
  EXPECT_EQ(stopping, 7) << "left as the caller set it";
  EXPECT_FALSE(state_.movieAnalysisDeferred);
  EXPECT_EQ(Posted(), -1);
}

TEST_F(StopMovieAnalysis, WaitingReturnsOnceTheMainTaskSignalsTheStopAndTheWindowsStayLive) {
  TD_App();
  PL_InstallQtEventLoopDriver();  // as the application's start does
  SetRun(kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateCalcAutoSett);
  state_.needMovieAnalysis = true;
  // The main task's part: take the stop code, close the run (a while), signal.
  std::thread mainTask([] {
    void *sender = nullptr, *project = nullptr, *code = nullptr;
    if (MPWaitOnQueue(gBZ.mainTaskData.inputQueue, &sender, &project, &code, 5000) != noErr) return;
    MP_DelayMillisec(300);
    if (MPSemaphoreID stop = gBZ.dlgTaskData.stopSemaphore.load()) MPSignalSemaphore(stop);
  });
  // A window's timer meanwhile: the main thread keeps serving Qt while it waits.
  bool ticked = false;
  QTimer::singleShot(50, [&] { ticked = true; });
  Boolean stopping = false;
  EXPECT_EQ(BZ_StopMovieAnalysis(&state_, &stopping, true), noErr);
  mainTask.join();
  EXPECT_TRUE(ticked) << "the window's timer fired during the wait";
  EXPECT_TRUE(stopping);
  EXPECT_FALSE(state_.movieAnalysisDeferred) << "a waiting stop defers nothing";
  EXPECT_EQ(gBZ.dlgTaskData.stopSemaphore.load(), nullptr) << "the semaphore is deleted after the wait";
}

TEST_F(StopMovieAnalysis, AWaitingStopEndsAnyActiveRunWhateverIsWished) {
  // Project start, a new source movie and the closing preview free what a run uses: a run still going on
  // must end first even though no new run is wished (the wish flags are cleared at every start).
  struct Case {
    const char *name;
    BZ_ExecuteState exec;
    BZ_ExecuteSubState subExec;
    intptr_t code;  // -1: nothing posted
  };
  const Case cases[] = {
      {"analysing", kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateMain, kBZ_CancelMovieAnalysisMessage},
      {"analysing a stage", kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateCalcAutoSett, kBZ_CancelMovieAnalysisMessage},
      {"calculating the preview", kBZ_ProjStatePreviewing, kBZ_ProjSubStateCalcPreview, kBZ_CancelPreviewCalcMessage},
      {"idle after a preview", kBZ_ProjStatePreviewing, kBZ_ProjSubStateMain, -1},
      {"ready", kBZ_ProjStateReady, kBZ_ProjSubStateMain, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetRun(c.exec, c.subExec);
    state_.needMovieAnalysis = state_.needPreviewCalc = false;
    std::thread mainTask([&] {
      if (c.code == -1) return;
      void *sender = nullptr, *project = nullptr, *code = nullptr;
      if (MPWaitOnQueue(gBZ.mainTaskData.inputQueue, &sender, &project, &code, 5000) != noErr) return;
      EXPECT_EQ(reinterpret_cast<intptr_t>(code), c.code);
      if (MPSemaphoreID stop = gBZ.dlgTaskData.stopSemaphore.load()) MPSignalSemaphore(stop);
    });
    Boolean stopping = 2;
    EXPECT_EQ(BZ_StopMovieAnalysis(&state_, &stopping, true), noErr);
    mainTask.join();
    EXPECT_EQ(stopping, c.code != -1 ? 1 : 0);
    EXPECT_EQ(Posted(), -1) << "one stop code at most";
    EXPECT_EQ(gBZ.dlgTaskData.stopSemaphore.load(), nullptr) << "the semaphore made for the wait is deleted";
  }
}

// A preview calculation asked for while any run is going on (an analysis, with or without a stage measuring,
// or another preview calculation) waits for that run's end instead of starting a second pipeline over the
// project the run uses; without a preview window nothing is calculated and nothing waits.
TEST_F(StopMovieAnalysis, APreviewStartDuringAnyRunIsDeferred) {
  TD_App();
  const struct {
    const char *name;
    bool previewWindow;
    BZ_ExecuteState exec;
    BZ_ExecuteSubState subExec;
    bool deferred;
  } cases[] = {
      {"analysing", true, kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateMain, true},
      {"analysing a stage", true, kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateCalcAutoSett, true},
      {"calculating the preview", true, kBZ_ProjStatePreviewing, kBZ_ProjSubStateCalcPreview, true},
      {"no preview window", false, kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateCalcAutoSett, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    WindowRef preview = nullptr;
    if (c.previewWindow) {
      const Rect bounds{40, 40, 200, 300};
      ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardDocumentAttributes, &bounds, &preview), noErr);
      PL_CFScoped<CFStringRef> title(
          CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("BZ Preview window name"), nullptr, nullptr));
      ASSERT_EQ(SetWindowTitleWithCFString(preview, title.get()), noErr);
      ASSERT_EQ(BZ_GetPreviewWindow(), preview);
    }
    SetRun(c.exec, c.subExec);
    dlgData_.previewData.previewCalcDeferred = false;
    state_.needPreviewCalc = true;
    EXPECT_EQ(BZ_StartPreviewCalc(), noErr);
    EXPECT_EQ(PreviewDeferred(), c.deferred);
    EXPECT_EQ(Posted(), -1) << "no second run is posted to the main task";
    EXPECT_EQ(project_->state.exec.load(), c.exec) << "the live run's state is left alone";
    EXPECT_EQ(project_->state.subExec.load(), c.subExec);
    if (!c.previewWindow) {
      EXPECT_FALSE(state_.needPreviewCalc);
    }
    if (preview != nullptr) DisposeWindow(preview);
  }
}

}  // namespace
