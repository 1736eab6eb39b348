// The main task driving whole runs of the test stages over a real stage table: runs to the end, cancel,
// quit, stage errors, stops with the stop semaphore, analysis and preview runs with their custom events,
// and failures while the stage tasks are made. The test thread plays the main thread: it dispatches the
// custom events (the run-finished handler signals prfSemaphore as the application does) and reads the main
// task's output queue.
#include "engine/main_task.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "platform/core/event_loop.h"
#include "support/engine_fixtures.h"
#include "support/task_check.h"
#include "support/test_stages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

using bz_test::FromWord;
using bz_test::TestStages;
using bz_test::Word;

constexpr EventTimeout kLimit = 60.0;  // seconds; reaching it means a hang
constexpr SInt32 kFrames = 12;
constexpr SInt32 kEndless = 1 << 30;

// What the dialog and the shell answer in these tests.
struct TestHost {
  BZ_ProjDlgState dialogState;
  std::atomic<UInt32> autoSettCalc{0};
  std::atomic<UInt32> autoSettCalculated{0};
  std::atomic<Boolean> previewWindow{false};
  std::atomic<Boolean> previewCalcDeferred{false};
  std::atomic<SInt32> freezeCalls{0};
  MPCriticalRegionID previewCritRgn = nullptr;
  std::mutex mutex;
  std::vector<OSStatus> shownErrors;
};
TestHost *gHost = nullptr;

UInt32 Pending() { return gHost->autoSettCalc & ~gHost->autoSettCalculated; }
BZ_ProjDlgState *DialogState(void *) { return &gHost->dialogState; }
UInt32 AutoSettStage(void *) { return Pending() & (0u - Pending()); }
void SetAutoSettCalculated(void *) { gHost->autoSettCalculated |= AutoSettStage(nullptr); }
OSStatus FreezePreview(void *, Boolean freeze) {
  if (!freeze) ++gHost->freezeCalls;
  return noErr;
}
Boolean PreviewWindowExists(void *) { return gHost->previewWindow; }
MPCriticalRegionID PreviewCritRgn(void *) { return gHost->previewCritRgn; }
Boolean PreviewCalcDeferred(void *) { return gHost->previewCalcDeferred; }
void ShowError(void *, OSStatus err) {
  std::lock_guard<std::mutex> lock(gHost->mutex);
  gHost->shownErrors.push_back(err);
}

// A custom event as the main thread saw it.
struct SeenEvent {
  UInt32 kind;
  Boolean flag;  // the Boolean parameter of 2014 and 2015
};
std::vector<SeenEvent> gEvents;  // main thread only

OSStatus HandleProjEvent(EventHandlerCallRef, EventRef event, void *) {
  SeenEvent seen{GetEventKind(event), false};
  if (seen.kind == kBZ_StartMovieAnalysisEvent)
    GetEventParameter(event, kBZ_NewAnalysisEventParam, kBZ_NewAnalysisEventParam, nullptr, 1, nullptr, &seen.flag);
  if (seen.kind == kBZ_ForcePreviewUpdateEvent)
    GetEventParameter(event, kBZ_RecreateImagesEventParam, kBZ_RecreateImagesEventParam, nullptr, 1, nullptr,
                      &seen.flag);
  gEvents.push_back(seen);
  // As the application does: the main task waits for this after every run.
  if (seen.kind == kBZ_ProjectRunFinishedEvent) MPSignalSemaphore(gBZ.dlgTaskData.prfSemaphore);
  return noErr;
}

class EngineMainTask : public ::testing::Test {
 protected:
  void SetUp() override {
    baseTasks_ = PL_MPLiveTaskCount();
    gHost = &host_;
    gEvents.clear();
    gBZ.numProcessors = 3;
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, 16, 32, 500);
    BZ_MakeDefaultProjSett(movies, &project_->info.settings);  // noise reduction applies: one identity stage

    BZ_EngineHost host{};
    host.getDialogStatePtr = DialogState;
    host.getAutoSettStage = AutoSettStage;
    host.setAutoSettCalculated = SetAutoSettCalculated;
    host.freezePreview = FreezePreview;
    host.previewWindowExists = PreviewWindowExists;
    host.getPreviewCritRgn = PreviewCritRgn;
    host.previewCalcDeferred = PreviewCalcDeferred;
    host.showError = ShowError;
    BZ_SetEngineHost(&host);
    ASSERT_EQ(MPCreateCriticalRegion(&host_.previewCritRgn), noErr);

    MPSemaphoreID prf = nullptr;
    ASSERT_EQ(MPCreateSemaphore(1, 0, &prf), noErr);
    gBZ.dlgTaskData.prfSemaphore = prf;
    static const EventTypeSpec kinds[] = {{kBZ_ProjEventClass, kBZ_ProjectRunFinishedEvent},
                                          {kBZ_ProjEventClass, kBZ_StartPreviewCalcEvent},
                                          {kBZ_ProjEventClass, kBZ_StartMovieAnalysisEvent},
                                          {kBZ_ProjEventClass, kBZ_ForcePreviewUpdateEvent}};
    ASSERT_EQ(InstallApplicationEventHandler(HandleProjEvent, 4, kinds, nullptr, &handler_), noErr);

    bz_test::InstallTestStages(kFrames, 2);
    ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.termQueue), noErr);
    ASSERT_EQ(BZ_CreateMainTask(project_.get()), noErr);
  }

  void TearDown() override {
    if (gBZ.mainTaskData.ID != nullptr) {
      Post(kBZ_MainThreadTaskType, kBZ_AppQuitMessage);
      OSStatus err = eventLoopTimedOutErr;
      PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; },
                           kLimit);
      EXPECT_EQ(err, noErr) << "the main task ends on quit";
    }
    EXPECT_EQ(gBZ.mainTaskData.ID, nullptr);
    EXPECT_EQ(gBZ.mainTaskData.inputQueue, nullptr);
    EXPECT_EQ(gBZ.mainTaskData.outputQueue, nullptr);
    // A thread counts as live for a moment after posting its termination message.
    EXPECT_EQ(PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks_; }, kLimit), noErr)
        << "every task has ended";
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
    gBZ.mainTaskData.~MP_TaskData();
    new (&gBZ.mainTaskData) MP_TaskData{};
    MPSemaphoreID prf = gBZ.dlgTaskData.prfSemaphore.exchange(nullptr);
    MP_DeleteSemaphore(&prf);
    MPSemaphoreID stop = gBZ.dlgTaskData.stopSemaphore.exchange(nullptr);
    MP_DeleteSemaphore(&stop);
    RemoveEventHandler(handler_);
    FlushEventQueue(GetMainEventQueue());
    MP_DeleteCriticalRegion(&host_.previewCritRgn);
    BZ_SetEngineHost(nullptr);
    gHost = nullptr;
    gBZ.numProcessors = 0;
    gBZ.done = false;
    gBZ.error = noErr;
  }

  void Post(BZ_TaskType sender, OSStatus code) {
    ASSERT_EQ(MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(sender), project_.get(), Word(code)), noErr);
  }

  // Builds the table for the current settings; without the noise movie's stages when oneWriteStage.
  void BuildTable(bool oneWriteStage) {
    ASSERT_EQ(BZ_CreateBuffers(), noErr);
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    if (oneWriteStage) {
      BZ_BuffInfo *noise = BZ_GetBufferInfoByStageType(table, kBZ_NoiseFrameTaskType, 0);
      ASSERT_NE(noise, nullptr);
      noise[0].type = noise[1].type = kBZ_NoTaskType;
    }
    numStages_ = BZ_CountStages(table);
    TestStages().openWriteStages = oneWriteStage ? 1 : 2;
  }

  void Run(BZ_ExecuteState exec, BZ_ExecuteSubState subExec = kBZ_ProjSubStateMain) {
    project_->state.exec = exec;
    project_->state.subExec = subExec;
    Post(kBZ_MainThreadTaskType, kBZ_RunProjectMessage);
  }

  // Dispatches events until the main task posts to its output queue; the message's code.
  OSStatus WaitForOutput() {
    void *project = nullptr, *code = nullptr, *sender = nullptr;
    const OSStatus err = PL_RunEventLoopUntil(
        [&] {
          return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, &sender, &project, &code, kDurationImmediate) == noErr;
        },
        kLimit);
    EXPECT_EQ(err, noErr) << "no project was posted";
    EXPECT_EQ(FromWord(sender), kBZ_MainTaskType);
    EXPECT_EQ(project, project_.get());
    return OSStatus(FromWord(code));
  }

  bool OutputEmpty() {
    return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, nullptr, kDurationImmediate) == kMPTimeoutErr;
  }

  // Dispatches events until `count` events of that kind have been seen.
  void WaitForEvents(UInt32 kind, size_t count) {
    auto seen = [&] {
      size_t n = 0;
      for (const SeenEvent &e : gEvents) n += e.kind == kind;
      return n >= count;
    };
    EXPECT_EQ(PL_RunEventLoopUntil(seen, kLimit), noErr) << "event " << kind << " x " << count;
  }

  // Dispatches until the main task has handled every message and waits for the next one with no stage left.
  void WaitUntilIdle() {
    EXPECT_EQ(PL_RunEventLoopUntil(
                  [&] {
                    return PL_MPWaiterCount(gBZ.mainTaskData.inputQueue) == 1 &&
                           PL_MPLiveTaskCount() == baseTasks_ + 1 && GetNumEventsInQueue(GetMainEventQueue()) == 0;
                  },
                  kLimit),
              noErr);
  }

  std::vector<UInt32> EventKinds() const {
    std::vector<UInt32> kinds;
    for (const SeenEvent &e : gEvents) kinds.push_back(e.kind);
    return kinds;
  }

  std::vector<SInt32> Written(int file) {
    std::lock_guard<std::mutex> lock(TestStages().mutex);
    return TestStages().written[file];
  }

  static std::vector<SInt32> Sequence(SInt32 n) {
    std::vector<SInt32> v;
    for (SInt32 i = 0; i < n; ++i) v.push_back(i);
    return v;
  }

  ItemCount baseTasks_ = 0;
  TestHost host_;
  bz_test::CurrentProject project_;
  EventHandlerRef handler_ = nullptr;
  SInt32 numStages_ = 0;
};

// ---- Runs to the end --------------------------------------------------------------------------------------------

class EngineMainTaskRunToEnd : public EngineMainTask,
                               public ::testing::WithParamInterface<std::tuple<ItemCount, bool>> {};

TEST_P(EngineMainTaskRunToEnd, ExecutionEndsWhenTheLastWriteStageHasFinished) {
  const auto [processors, oneWriteStage] = GetParam();
  gBZ.numProcessors = processors;
  BuildTable(oneWriteStage);
  Run(kBZ_ProjStateExecuting);
  EXPECT_EQ(WaitForOutput(), noErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateFinished);
  EXPECT_EQ(project_->state.error, noErr);
  EXPECT_EQ(Written(0), Sequence(kFrames)) << "every frame, in order";
  if (!oneWriteStage) {
    EXPECT_EQ(Written(1), Sequence(kFrames));
  }
  EXPECT_EQ(TestStages().damagedFrames, 0);
  WaitForEvents(kBZ_ProjectRunFinishedEvent, 1);
  WaitUntilIdle();
  EXPECT_EQ(EventKinds(), std::vector<UInt32>{kBZ_ProjectRunFinishedEvent});
  EXPECT_TRUE(BZ_AllSubTasksClosed(project_->dynIO_Info.buffInfo));
  // The queues of the stage task records, made for this run, are gone with it.
  std::lock_guard<std::mutex> lock(TestStages().mutex);
  EXPECT_EQ(TestStages().stagesStarted, numStages_);
  ASSERT_EQ(TestStages().stageQueues.size(), size_t(2 * numStages_));
  for (MPQueueID q : TestStages().stageQueues) EXPECT_EQ(MPNotifyQueue(q, nullptr, nullptr, nullptr), kMPInvalidIDErr);
}

INSTANTIATE_TEST_SUITE_P(WorkersAndWriteStages, EngineMainTaskRunToEnd,
                         ::testing::Combine(::testing::Values(ItemCount(1), ItemCount(2), ItemCount(3), ItemCount(64)),
                                            ::testing::Bool()));

TEST_F(EngineMainTask, TwoRunsAskedTogetherRunOneAfterTheOther) {
  BuildTable(true);
  project_->state.exec = kBZ_ProjStatePreviewing;
  project_->state.subExec = kBZ_ProjSubStateCalcPreview;
  Post(kBZ_MainThreadTaskType, kBZ_RunProjectMessage);
  Post(kBZ_MainThreadTaskType, kBZ_RunProjectMessage);  // arrives while the first run is going on
  // The second run starts once the first has been reported; each write stage counts its own run.
  WaitForEvents(kBZ_ProjectRunFinishedEvent, 2);
  WaitUntilIdle();
  std::vector<SInt32> twice = Sequence(kFrames);
  twice.insert(twice.end(), twice.begin(), twice.end());
  EXPECT_EQ(Written(0), twice);
}

// ---- Cancel and quit -----------------------------------------------------------------------------------------

class EngineMainTaskCancel : public EngineMainTask, public ::testing::WithParamInterface<ItemCount> {};

// The cleaning stage's distributor, workers and collector all stop, whatever the number of workers; what was
// written up to the stop came in order.
TEST_P(EngineMainTaskCancel, CancelStopsAnExecution) {
  gBZ.numProcessors = GetParam();
  TestStages().numFrames = kEndless;
  BuildTable(false);
  Run(kBZ_ProjStateExecuting);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return Written(0).size() >= 3; }, kLimit), noErr);
  Post(kBZ_MainThreadTaskType, kBZ_CancelProjectMessage);
  EXPECT_EQ(WaitForOutput(), noErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateCanceled);
  const std::vector<SInt32> written = Written(0);
  EXPECT_EQ(written, Sequence(SInt32(written.size())));
  WaitUntilIdle();
}

INSTANTIATE_TEST_SUITE_P(Workers, EngineMainTaskCancel,
                         ::testing::Values(ItemCount(1), ItemCount(2), ItemCount(3), ItemCount(8)));

TEST_F(EngineMainTask, IdleControlMessagesChangeNothingButReleaseAWaitingStop) {
  project_->state.exec = kBZ_ProjStatePreviewing;
  Post(kBZ_MainThreadTaskType, kBZ_CancelProjectMessage);
  Post(kBZ_ProjDlgTaskType, 12345);  // not a control code
  MPSemaphoreID stop = nullptr;
  ASSERT_EQ(MPCreateSemaphore(1, 0, &stop), noErr);
  gBZ.dlgTaskData.stopSemaphore = stop;
  host_.previewCalcDeferred = true;
  Post(kBZ_ProjDlgTaskType, kBZ_CancelPreviewCalcMessage);
  EXPECT_EQ(PL_WaitOnSemaphoreDispatching(stop, bz_test::kHangLimit), noErr);
  WaitForEvents(kBZ_StartPreviewCalcEvent, 1);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStatePreviewing);
  EXPECT_TRUE(OutputEmpty());
}

TEST_F(EngineMainTask, QuitWhileIdleEndsTheMainTask) {
  Post(kBZ_MainThreadTaskType, kBZ_AppQuitMessage);
  OSStatus err = kMPTimeoutErr;
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks_; }, kLimit), noErr);
  EXPECT_TRUE(OutputEmpty()) << "nothing is posted";
  err = BZ_WaitForMainTaskTermMessage(kDurationImmediate);
  EXPECT_EQ(err, noErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateAppQuitting);
}

TEST_F(EngineMainTask, QuitDuringAnExecutionPostsTheProjectAndEnds) {
  TestStages().numFrames = kEndless;
  BuildTable(false);
  Run(kBZ_ProjStateExecuting);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return !Written(0).empty(); }, kLimit), noErr);
  gBZ.done = true;
  Post(kBZ_MainThreadTaskType, kBZ_AppQuitMessage);
  EXPECT_EQ(WaitForOutput(), noErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateAppQuitting);
  OSStatus err = kMPTimeoutErr;
  PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; },
                       kLimit);
  EXPECT_EQ(err, noErr) << "the main task ends once the application is done";
}

// ---- Errors --------------------------------------------------------------------------------------------------------

void TestStageConfigureFailures(BZ_TaskType failing, SInt32 afterFrames, OSStatus error, BZ_TaskType failingWhenStopped,
                                OSStatus stopError) {
  TestStages().failingStage = failing;
  TestStages().failAfterFrames = afterFrames;
  TestStages().failError = error;
  TestStages().stopFailingStage = failingWhenStopped;
  TestStages().stopError = stopError;
}

TEST_F(EngineMainTask, AStageErrorEndsTheRunAndTheFirstErrorIsKept) {
  BuildTable(false);
  TestStageConfigureFailures(kBZ_NoiseRedTaskType, 2, -36, kBZ_WriteTaskType, -37);
  Run(kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateMain);
  WaitForEvents(kBZ_ProjectRunFinishedEvent, 1);
  WaitUntilIdle();
  EXPECT_EQ(project_->state.error, -36) << "the second error does not replace the first";
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateReady);
  EXPECT_EQ(project_->state.subExec, kBZ_ProjSubStateMain);
  EXPECT_TRUE(OutputEmpty()) << "an analysis with an error is not posted";
  EXPECT_EQ(EventKinds(), std::vector<UInt32>{kBZ_ProjectRunFinishedEvent}) << "no next analysis step";
}

TEST_F(EngineMainTask, AnExecutionStoppedByAnErrorIsPostedForDeletionWithItsError) {
  TestStages().numFrames = kEndless;
  BuildTable(false);
  TestStageConfigureFailures(kBZ_CopyTaskType, 5, -39, kBZ_NoTaskType, noErr);
  Run(kBZ_ProjStateExecuting);
  EXPECT_EQ(WaitForOutput(), -39) << "the error travels with the project";
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateDeleted);
  EXPECT_TRUE(project_->state.errorShown);
  WaitUntilIdle();
}

TEST_F(EngineMainTask, TheFirstErrorDoesNotOutliveItsRun) {
  BuildTable(false);
  // A stage type without an entry point cannot be started: the stages started before it must be stopped.
  BZ_SetStageEntryPoint(kBZ_NoiseFrameTaskType, false, nullptr);
  Run(kBZ_ProjStateAnalyzingMovie);
  WaitForEvents(kBZ_ProjectRunFinishedEvent, 1);
  WaitUntilIdle();
  EXPECT_EQ(project_->state.error, paramErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateReady);
  {
    std::lock_guard<std::mutex> lock(TestStages().mutex);
    EXPECT_EQ(TestStages().stagesStarted, 4) << "Read, Copy, NoiseRed and Write were started and stopped";
  }

  // The next run, an execution, finishes and is posted to be saved: the old error is shown and dropped.
  bz_test::InstallTestStages(kFrames, 2);
  Run(kBZ_ProjStateExecuting);
  EXPECT_EQ(WaitForOutput(), noErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateFinished);
  EXPECT_EQ(project_->state.error, noErr);
  std::lock_guard<std::mutex> lock(host_.mutex);
  EXPECT_EQ(host_.shownErrors, std::vector<OSStatus>{paramErr});
}

TEST_F(EngineMainTask, StoppingAnAnalysisAlwaysReleasesTheWaitingMainThread) {
  for (bool withError : {false, true}) {
    SCOPED_TRACE(withError ? "the stop ends with an error" : "a clean stop");
    gEvents.clear();
    project_->state.error = noErr;
    bz_test::InstallTestStages(kEndless, 2);
    if (withError) TestStageConfigureFailures(kBZ_NoTaskType, 0, noErr, kBZ_NoiseRedTaskType, -41);
    BuildTable(false);
    host_.dialogState.movieAnalysisDeferred = !withError;
    Run(kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateCalcAutoSett);
    ASSERT_EQ(PL_RunEventLoopUntil([&] { return !Written(0).empty(); }, kLimit), noErr);
    // As the dialog does when it must wait: a fresh stop semaphore, the stop message, the wait.
    MPSemaphoreID stop = nullptr;
    ASSERT_EQ(MPCreateSemaphore(1, 0, &stop), noErr);
    gBZ.dlgTaskData.stopSemaphore = stop;
    Post(kBZ_ProjDlgTaskType, kBZ_CancelMovieAnalysisMessage);
    EXPECT_EQ(PL_WaitOnSemaphoreDispatching(stop, bz_test::kHangLimit), noErr);
    WaitForEvents(kBZ_ProjectRunFinishedEvent, 1);
    WaitUntilIdle();
    EXPECT_EQ(project_->state.exec, kBZ_ProjStateReady);
    EXPECT_EQ(project_->state.error, withError ? -41 : noErr);
    if (!withError) {
      // The deferred analysis starts through the main thread.
      WaitForEvents(kBZ_StartMovieAnalysisEvent, 1);
      EXPECT_TRUE(gEvents.front().kind == kBZ_StartMovieAnalysisEvent && gEvents.front().flag);
    }
    gBZ.dlgTaskData.stopSemaphore = nullptr;
    MP_DeleteSemaphore(&stop);
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
  }
}

// ---- Analysis and preview runs ---------------------------------------------------------------------------------

TEST_F(EngineMainTask, AnalysisStepsLeadToAPreviewCalculation) {
  BuildTable(false);
  host_.autoSettCalc = kBZ_NoiseRedTypeFlag;  // one automatic-settings stage wanted
  host_.previewWindow = true;

  // The stage's own run: reported, then the next analysis step is asked for.
  Run(kBZ_ProjStateAnalyzingMovie, kBZ_ProjSubStateCalcAutoSett);
  WaitForEvents(kBZ_StartMovieAnalysisEvent, 1);
  WaitUntilIdle();
  EXPECT_EQ(EventKinds(), (std::vector<UInt32>{kBZ_ProjectRunFinishedEvent, kBZ_StartMovieAnalysisEvent}));
  EXPECT_FALSE(gEvents[1].flag) << "a next step, not a new analysis";
  EXPECT_EQ(host_.autoSettCalculated, UInt32(kBZ_NoiseRedTypeFlag));
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateAnalyzingMovie);

  // The final run without a stage: the project switches to previewing and a calculation is asked for.
  gEvents.clear();
  bz_test::InstallTestStages(kFrames, 2);
  Run(kBZ_ProjStateAnalyzingMovie);
  WaitForEvents(kBZ_StartPreviewCalcEvent, 1);
  WaitUntilIdle();
  EXPECT_EQ(EventKinds(), (std::vector<UInt32>{kBZ_ProjectRunFinishedEvent, kBZ_StartPreviewCalcEvent}));
  EXPECT_EQ(project_->state.exec, kBZ_ProjStatePreviewing);
  EXPECT_EQ(project_->state.subExec, kBZ_ProjSubStateMain);
  EXPECT_TRUE(host_.dialogState.needPreviewCalc);

  // The preview calculation: the preview is refreshed and the deferred calculation starts.
  gEvents.clear();
  host_.previewCalcDeferred = true;
  bz_test::InstallTestStages(kFrames, 2);
  Run(kBZ_ProjStatePreviewing, kBZ_ProjSubStateCalcPreview);
  WaitForEvents(kBZ_ProjectRunFinishedEvent, 1);
  WaitUntilIdle();
  EXPECT_EQ(EventKinds(), (std::vector<UInt32>{kBZ_ForcePreviewUpdateEvent, kBZ_StartPreviewCalcEvent,
                                               kBZ_ProjectRunFinishedEvent}));
  EXPECT_TRUE(gEvents[0].flag) << "the images are recreated";
  EXPECT_EQ(host_.freezeCalls, 1);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStatePreviewing);
  EXPECT_EQ(project_->state.subExec, kBZ_ProjSubStateMain);
  EXPECT_TRUE(OutputEmpty());
}

TEST_F(EngineMainTask, WithoutAPreviewWindowTheAnalysisEndsWithoutACalculation) {
  BuildTable(false);
  Run(kBZ_ProjStateAnalyzingMovie);
  WaitForEvents(kBZ_ProjectRunFinishedEvent, 1);
  WaitUntilIdle();
  EXPECT_EQ(EventKinds(), std::vector<UInt32>{kBZ_ProjectRunFinishedEvent});
  EXPECT_EQ(project_->state.exec, kBZ_ProjStatePreviewing);
  EXPECT_FALSE(host_.dialogState.needPreviewCalc);
}

}  // namespace
