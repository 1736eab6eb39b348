// The main thread's side of the tasks' custom events, on a real project dialog offscreen: events without
// effect, the crop rectangle of the black edges, the end of a run, the second source's white line, and the
// waiting senders that are released also when their event fails (the error kept as the project's first).
#include "app/custom_events.h"

#include "app/app_engine_host.h"
#include "app/window_lookup.h"
#include "dialog/project_dialog.h"
#include "engine/compress_stage.h"
#include "engine/runtime/project_settings.h"
#include "engine/write_stage.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/multiprocessing.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/window_manager_qt.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"
#include "toolkit/dialog_items.h"

#include <gtest/gtest.h>

#include <QTest>

#include <cstring>
#include <vector>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

struct Param {
  UInt32 name;
  ByteCount size;
  const void *data;
};

// Handles one event of that kind with those parameters as the application handler does.
void Handle(UInt32 kind, std::vector<Param> params = {}) {
  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kBZ_ProjEventClass, kind, 0, kEventAttributeNone, &event), noErr);
  for (const Param &p : params) ASSERT_EQ(SetEventParameter(event, p.name, p.name, p.size, p.data), noErr);
  EXPECT_EQ(BZ_HandleCustomApplicationEvent(event, kind), noErr) << "every event counts as handled";
  ReleaseEvent(event);
}

bool Signalled(MPSemaphoreID semaphore) { return MPWaitOnSemaphore(semaphore, kDurationImmediate) == noErr; }

int gCompletions = 0;
void CountingCompletion(OSErr, SInt16, long) { ++gCompletions; }

class CustomEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    TD_App();
    PL_CFPreferencesForgetAll();
    ASSERT_EQ(CreateNibReference(CFSTR("BZ main"), &gBZ.nibRef), noErr);
    bz_test::DescribeSource(project_.statMovInfo(), 0, 480, 720, 50, '2vuy');
    ASSERT_EQ(BZ_OpenProjectDialog(), noErr);
    window_ = BZ_GetProjDlgWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(PL_GetWindowWidget(window_)));
    BZ_InstallAppEngineHost();
  }
  void TearDown() override {
    BZ_DisposeDialog();
    DisposeNibReference(gBZ.nibRef);
    gBZ.nibRef = nullptr;
    PL_CFPreferencesForgetAll();
  }
  std::string ItemText(SInt32 n) {
    CFStringRef text = nullptr;
    EXPECT_EQ(GL_CopyDialogItemTextByID(window_, Item(n), &text), noErr);
    char buffer[128] = {};
    if (text != nullptr) {
      CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8);
      CFRelease(text);
    }
    return buffer;
  }
  // One stage of the table with its own semaphore and event, as a waiting stage has them.
  BZ_BuffInfo &Stage(BZ_TaskType type) {
    BZ_BuffInfo &stage = project_->dynIO_Info.buffInfo[0];
    stage.type = type;
    EXPECT_EQ(MPCreateSemaphore(1, 0, &stage.semaphore), noErr);
    EXPECT_EQ(MPCreateEvent(&stage.event), noErr);
    return stage;
  }
  void DisposeStage() {
    BZ_BuffInfo &stage = project_->dynIO_Info.buffInfo[0];
    MP_DeleteSemaphore(&stage.semaphore);
    if (stage.event != nullptr) MPDeleteEvent(stage.event);
    stage.event = nullptr;
    stage.type = kBZ_NoTaskType;
  }

  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
  bz_test::CurrentProject project_;
  WindowRef window_ = nullptr;
};

TEST_F(CustomEvents, KindsWithoutACaseChangeNothing) {
  const BZ_ProjSett before = project_->info.settings;
  const std::string shift = ItemText(2104);
  for (UInt32 kind : {UInt32(kBZ_InitKillLogoEvent), UInt32(kBZ_FrameViewEvent)}) Handle(kind);
  EXPECT_EQ(project_->state.error.load(), noErr);
  EXPECT_EQ(std::memcmp(&before.cleaning, &project_->info.settings.cleaning, sizeof before.cleaning), 0);
  EXPECT_EQ(ItemText(2104), shift);
}

TEST_F(CustomEvents, TheCropItemTakesTheCorrectedBlackEdgesAndNoValue) {
  project_.statMovInfo()[0].blackEdges = Rect{7, 5, 9, 3};
  BZ_InputSett expected = project_->info.settings.input;
  expected.cropRect = Rect{7, 5, 9, 3};
  BZ_ValidateInputSett(&expected, true);
  const float value = 99;
  const SInt16 item = kBZ_CropRectItem;
  Handle(kBZ_SetValueInDialogEvent, {{kBZ_ValueEventParam, sizeof value, &value}, {kBZ_ItemEventParam, sizeof item, &item}});
  EXPECT_EQ(bz_test::RectText(project_->info.settings.input.cropRect), bz_test::RectText(expected.cropRect));
  const Rect &r = expected.cropRect;
  const SInt32 shown[] = {r.top, r.left, r.bottom, r.right};
  for (SInt32 i = 0; i < 4; ++i) EXPECT_EQ(ItemText(2038 + i), std::to_string(shown[i])) << i;
  // Any other item shows the value.
  const SInt16 noise = 2029;
  const float level = 3.5f;
  Handle(kBZ_SetValueInDialogEvent, {{kBZ_ValueEventParam, sizeof level, &level}, {kBZ_ItemEventParam, sizeof noise, &noise}});
  EXPECT_EQ(ItemText(2029), "3.50");
}

TEST_F(CustomEvents, TheEndOfARunSetsTheBarAndAlwaysReleasesTheMainTask) {
  MPSemaphoreID prf = nullptr;
  ASSERT_EQ(MPCreateSemaphore(1, 0, &prf), noErr);
  gBZ.dlgTaskData.prfSemaphore = prf;
  const struct {
    const char *name;
    BZ_ExecuteState exec;
    OSStatus errorBefore;
    bool determinate;
  } cases[] = {
      {"cancelled", kBZ_ProjStateCanceled, noErr, true},
      {"finished", kBZ_ProjStateFinished, noErr, true},
      {"analysing", kBZ_ProjStateAnalyzingMovie, noErr, false},
      {"analysing with an error", kBZ_ProjStateAnalyzingMovie, ioErr, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    project_->state.exec = c.exec;
    project_->state.error = c.errorBefore;
    ASSERT_EQ(GL_SetProgressIndicatorStateByID(window_, Item(kBZ_ProgressBarItem), !c.determinate), noErr);
    gBZ.dlgData->state.needMovieAnalysis = true;
    gBZ.dlgData->state.neededUpdates = kBZ_AverageTypeFlag;
    Handle(kBZ_ProjectRunFinishedEvent);
    EXPECT_TRUE(Signalled(prf));
    EXPECT_FALSE(gBZ.dlgData->state.needMovieAnalysis);
    EXPECT_EQ(gBZ.dlgData->state.neededUpdates, UInt32(kBZ_AverageTypeFlag)) << "kept";
    if (c.errorBefore != noErr) continue;  // later steps wait for a project without error
    Boolean determinate = !c.determinate;
    ASSERT_EQ(GL_GetProgressIndicatorStateByID(window_, Item(kBZ_ProgressBarItem), &determinate), noErr);
    EXPECT_EQ(bool(determinate), c.determinate);
  }
  project_->state.error = noErr;
  gBZ.dlgTaskData.prfSemaphore = nullptr;
  MP_DeleteSemaphore(&prf);
}

TEST_F(CustomEvents, TheSecondSourcesWhiteLineTouchesOnlyAveraging) {
  project_.statMovInfo()[1].whiteLinePiece = true;
  const BZ_InputSett input = project_->info.settings.input;
  const SInt32 file = 1;
  Handle(kBZ_WhiteLineEvent, {{kBZ_FileNumEventParam, sizeof file, &file}});
  EXPECT_TRUE(project_->info.settings.cleaning.average.hasWhiteLinePiece);
  EXPECT_EQ(std::memcmp(&input, &project_->info.settings.input, sizeof input), 0);
  SInt32 shown = 0;
  ASSERT_EQ(GL_GetDialogItemValueByID(window_, Item(2102), &shown), noErr);
  EXPECT_EQ(shown, 1) << "the averaging pane is redrawn";
}

TEST_F(CustomEvents, FailingEventsStillReleaseTheirWaitersAndKeepTheFirstError) {
  // The writer's sample references: a batch that cannot be added.
  {
    MPSemaphoreID semaphore = nullptr;
    ASSERT_EQ(MPCreateSemaphore(1, 0, &semaphore), noErr);
    BZ_OutSampleRefsData data{};
    data.outRecordNum = -1;
    data.semaphore = semaphore;
    Handle(kBZ_OutSampleRefsEvent, {{kBZ_OutSampleRefsEventParam, sizeof data, &data}});
    EXPECT_TRUE(Signalled(semaphore));
    EXPECT_EQ(project_->state.error.load(), paramErr);
    MP_DeleteSemaphore(&semaphore);
    project_->state.error = noErr;
  }
  // The logo stage's fade frames and mask picture: an event without its parameter.
  for (UInt32 kind : {UInt32(kBZ_GetFadeFrameNumbersEvent), UInt32(kBZ_SetLogoMaskPicEvent)}) {
    SCOPED_TRACE(kind);
    BZ_BuffInfo &logo = Stage(kBZ_RlTaskType);
    Handle(kind);
    EXPECT_TRUE(Signalled(logo.semaphore));
    EXPECT_NE(project_->state.error.load(), noErr);
    // A later failure does not replace the first.
    const OSStatus first = project_->state.error;
    Handle(kind);
    EXPECT_EQ(project_->state.error.load(), first);
    EXPECT_TRUE(Signalled(logo.semaphore)) << "released also when the project had an error";
    DisposeStage();
    project_->state.error = noErr;
  }
}

TEST_F(CustomEvents, ADecompressionThatFailsAtOnceReleasesTheDisplayStage) {
  BZ_BuffInfo &write = Stage(kBZ_WriteTaskType);
  gCompletions = 0;
  UInt8 frame[16] = {};
  BZ_CompressData request{};
  request.project = project_.get();
  request.seqID = 0x7FFF;  // no such sequence
  request.inBuffer = frame;
  request.dataSize = sizeof frame;
  request.completionProcRecord.completionProc = CountingCompletion;
  Handle(kBZ_DecompressEvent, {{kBZ_ComprDataEventParam, sizeof request, &request}});
  EXPECT_EQ(gCompletions, 0) << "the completion never ran";
  MPEventFlags flags = 0;
  EXPECT_EQ(MPWaitForEvent(write.event, &flags, kDurationImmediate), noErr);
  EXPECT_EQ(flags & kBZ_DisplayDecompressDoneFlag, kBZ_DisplayDecompressDoneFlag);
  EXPECT_EQ(project_->state.error.load(), paramErr);
  // A progress frame while the dialog draws none is answered at once.
  project_->state.error = noErr;
  project_->progress.show = false;
  project_->progress.shown = false;
  BZ_FrameBuffInfo info{};
  BZ_FrameBuffInfo *pointer = &info;
  Handle(kBZ_ShowProgressFrameEvent, {{kBZ_FrameBuffInfoEventParam, sizeof pointer, &pointer}});
  flags = 0;
  EXPECT_EQ(MPWaitForEvent(write.event, &flags, kDurationImmediate), noErr);
  EXPECT_EQ(flags & kBZ_DisplayDecompressDoneFlag, kBZ_DisplayDecompressDoneFlag);
  // The frame counts as drawn: the next one-second tick lets another one in.
  EXPECT_TRUE(project_->progress.shown);
  DisposeStage();
}

}  // namespace
