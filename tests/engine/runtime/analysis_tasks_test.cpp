// The frame-analysis tasks run as real tasks on synthetic working frames whose truth is known (a white line
// piece in a given line, black bars of given sizes, Gaussian noise of a given sigma, known changes between a
// stage's input and output). Requests go in as the stages send them, the done flags come back on the stages'
// events, and the results reach the test thread, which plays the main thread, as custom events through the
// event loop.
#include "engine/runtime/analysis_tasks.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_analysis.h"
#include "engine/runtime/stage_access.h"
#include "platform/core/event_loop.h"
#include "support/engine_fixtures.h"
#include "support/kernel_check.h"
#include "support/padded_frames.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using bz_test::PaddedFrame;
using bz_test::Word;

constexpr EventTimeout kLimit = 60.0;  // seconds; reaching it means a hang

// A custom event as the main thread saw it.
struct SeenEvent {
  UInt32 kind;
  float value;
  SInt16 item;
  UInt32 taskType;
  SInt32 fileNum;
};
std::vector<SeenEvent> gEvents;  // main thread only

OSStatus HandleProjEvent(EventHandlerCallRef, EventRef event, void *) {
  SeenEvent seen{GetEventKind(event), -1.0f, -1, 0, -1};
  GetEventParameter(event, kBZ_ValueEventParam, kBZ_ValueEventParam, nullptr, sizeof seen.value, nullptr,
                    &seen.value);
  GetEventParameter(event, kBZ_ItemEventParam, kBZ_ItemEventParam, nullptr, sizeof seen.item, nullptr, &seen.item);
  GetEventParameter(event, kBZ_TaskTypeEventParam, kBZ_TaskTypeEventParam, nullptr, sizeof seen.taskType, nullptr,
                    &seen.taskType);
  GetEventParameter(event, kBZ_FileNumEventParam, kBZ_FileNumEventParam, nullptr, sizeof seen.fileNum, nullptr,
                    &seen.fileNum);
  gEvents.push_back(seen);
  return noErr;
}

UInt32 gAutoSettStage = 0;
UInt32 AutoSettStage(void *) { return gAutoSettStage; }

// Twice the mean |k| of a normal distribution of that sigma rounded to integers: the noise measure and the
// frame difference of equal Gaussian noise on chroma and luma.
double TwiceMeanAbsRounded(double sigma) {
  auto cdf = [sigma](double x) { return 0.5 * std::erfc(-x / (sigma * std::sqrt(2.0))); };
  double meanAbs = 0;
  for (int k = 1; k < 100; ++k) meanAbs += 2.0 * k * (cdf(k + 0.5) - cdf(k - 0.5));
  return 2.0 * meanAbs;
}

class EngineAnalysisTasks : public ::testing::Test {
 protected:
  void SetUp() override {
    baseTasks_ = PL_MPLiveTaskCount();
    savedSSE3_ = gBZ.procInfo.hasSSE3;
    gEvents.clear();
    gAutoSettStage = 0;
    BZ_EngineHost host{};
    host.getAutoSettStage = AutoSettStage;
    BZ_SetEngineHost(&host);
    static const EventTypeSpec kinds[] = {{kBZ_ProjEventClass, kBZ_SetValueInDialogEvent},
                                          {kBZ_ProjEventClass, kBZ_StageDefaultsButtonActivateEvent},
                                          {kBZ_ProjEventClass, kBZ_WhiteLineEvent}};
    ASSERT_EQ(InstallApplicationEventHandler(HandleProjEvent, 3, kinds, nullptr, &handler_), noErr);
    project_->state.exec = kBZ_ProjStateAnalyzingMovie;
    Describe(576, 720, false);
    project_->info.settings.input.autoDetectBlackBars = true;
    copy0_ = AddStage(kBZ_CopyTaskType, 0);
    copy1_ = AddStage(kBZ_CopyTaskType, 1);
    noiseRed_ = AddStage(kBZ_NoiseRedTaskType, 0);
    logo_ = AddStage(kBZ_RlTaskType, 0);
    write0_ = AddStage(kBZ_WriteTaskType, 0);
  }

  void TearDown() override {
    BZ_DlgTaskData &d = gBZ.dlgTaskData;
    for (MP_TaskData *t : {&d.whiteLineTaskData, &d.blackBarsTaskData, &d.noiseLevelTaskData, &d.frameDiffTaskData})
      MP_TerminateTask(t, true, noErr);
    EXPECT_TRUE(bz_test::WaitUntil([&] { return PL_MPLiveTaskCount() == baseTasks_; })) << "every task has ended";
    for (BZ_BuffInfo &stage : project_->dynIO_Info.buffInfo) MP_DeleteEvent(&stage.event);
    RemoveEventHandler(handler_);
    FlushEventQueue(GetMainEventQueue());
    gBZ.procInfo.hasSSE3 = savedSSE3_;
    gAutoSettStage = 0;
  }

  void Describe(SInt32 height, SInt32 width, Boolean interlaced) {
    bz_test::DescribeSource(project_.statMovInfo(), 0, height, width, 500);
    project_->info.settings.input.interlaced = interlaced;
  }

  BZ_BuffInfo *AddStage(BZ_TaskType type, SInt32 fileNum) {
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    const SInt32 n = BZ_CountStages(table);
    BZ_BuffInfo &stage = table[n];
    stage.number = n;
    stage.type = type;
    stage.fileNum = fileNum;
    stage.taskData[0] = &stageTask_;  // the stage runs
    EXPECT_EQ(MPCreateEvent(&stage.event), noErr);
    return &stage;
  }

  // A request as a stage sends it; waits for the answer on the stage's event and returns the flags.
  MPEventFlags Ask(MP_TaskData &task, BZ_BuffInfo *stage, BZ_DlgTaskInput *input) {
    EXPECT_EQ(MPNotifyQueue(task.inputQueue, Word(stage->type), input, Word(kBZ_AnalyseFrameMessage)), noErr);
    MPEventFlags flags = 0;
    EXPECT_EQ(MPWaitForEvent(stage->event, &flags, bz_test::kHangLimit), noErr) << "no answer";
    return flags;
  }

  void StartInputTasks() { ASSERT_EQ(BZ_CreateInputAnalysisTasks(&gBZ.dlgTaskData, 0), noErr); }
  void StartGeneralTasks() { ASSERT_EQ(BZ_CreateGeneralAnalysisTasks(&gBZ.dlgTaskData), noErr); }

  // Measures `count` frames through the white-line task as the copy stage of file 0 does, then condenses them.
  void FindWhiteLine(const std::vector<std::unique_ptr<PaddedFrame>> &frames) {
    for (size_t t = 0; t < frames.size(); ++t) {
      BZ_DlgTaskInput input{};
      input.outBuffer = frames[t]->data();
      input.testNum = SInt32(t);
      input.stageNum = copy0_->number;
      EXPECT_EQ(Ask(gBZ.dlgTaskData.whiteLineTaskData, copy0_, &input), MPEventFlags(kBZ_WhiteLineDoneFlag));
    }
    gEvents.clear();
    ASSERT_EQ(BZ_WhiteLineCalcResult(0, SInt32(frames.size())), noErr);
    ASSERT_EQ(PL_RunEventLoopUntil([] { return !gEvents.empty(); }, kLimit), noErr);
    EXPECT_EQ(gEvents[0].kind, kBZ_WhiteLineEvent);
    EXPECT_EQ(gEvents[0].fileNum, 0);
  }

  // Frames of the described source, grey with a white piece (padded columns 140 to 249) in picture line
  // whiteLine (none when negative).
  std::vector<std::unique_ptr<PaddedFrame>> WhiteLineFrames(SInt32 count, SInt32 whiteLine) {
    const BZ_StatMovInfo &m = project_.statMovInfo()[0];
    std::vector<std::unique_ptr<PaddedFrame>> frames;
    for (SInt32 i = 0; i < count; ++i) {
      frames.push_back(std::make_unique<PaddedFrame>(m.width, m.height, project_->info.settings.input.interlaced));
      frames.back()->Fill(128, 100);
      if (whiteLine >= 0) frames.back()->FillRect(132, whiteLine, std::min<SInt32>(242, m.width), whiteLine + 1, 128, 235);
    }
    return frames;
  }

  // Waits until n events have arrived.
  void AwaitEvents(size_t n) {
    ASSERT_EQ(PL_RunEventLoopUntil([n] { return gEvents.size() >= n; }, kLimit), noErr)
        << gEvents.size() << " of " << n << " events";
  }

  bz_test::CurrentProject project_;
  MP_TaskData stageTask_{};
  BZ_BuffInfo *copy0_ = nullptr, *copy1_ = nullptr, *noiseRed_ = nullptr, *logo_ = nullptr, *write0_ = nullptr;
  ItemCount baseTasks_ = 0;
  Boolean savedSSE3_ = false;
  EventHandlerRef handler_ = nullptr;
};

// ---- White line ---------------------------------------------------------------------------------------------

struct WhiteLineCase {
  const char *name;
  SInt32 height;
  Boolean interlaced;
  SInt32 whiteLine;  // picture line, -1 none
  SInt32 frames;
  Boolean piece, bottomLine;
};

const WhiteLineCase kWhiteLineCases[] = {
    {"bottom line", 576, false, 575, 10, true, true},
    {"second-last line", 576, false, 574, 10, true, false},
    {"bottom line, interlaced", 576, true, 575, 10, true, true},
    {"no white line", 576, false, -1, 10, false, false},
    {"a line above", 576, false, 573, 10, false, false},
    {"nine test frames cannot reach ten", 576, false, 575, 9, false, true},
    {"480 lines never have one", 480, false, 479, 10, false, false},
};

TEST_F(EngineAnalysisTasks, WhiteLinePieceIsFoundInTheLineOfEveryTestFrame) {
  for (const WhiteLineCase &c : kWhiteLineCases) {
    SCOPED_TRACE(c.name);
    Describe(c.height, 720, c.interlaced);
    BZ_StatMovInfo &movie = project_.statMovInfo()[0];
    movie.interlaced = false;
    movie.topFieldFirst = true;
    StartInputTasks();
    FindWhiteLine(WhiteLineFrames(c.frames, c.whiteLine));
    EXPECT_EQ(movie.whiteLinePiece, c.piece);
    EXPECT_EQ(movie.whiteLineIsBottomLine, c.bottomLine);
    // A piece tells the field order: bottom field first when it sits in the bottom line.
    EXPECT_EQ(movie.interlaced, c.piece);
    EXPECT_EQ(movie.topFieldFirst, c.piece ? !c.bottomLine : true);
  }
}

TEST_F(EngineAnalysisTasks, WhiteLineOfAnEarlierMovieDoesNotCountForTheNextOne) {
  StartInputTasks();
  BZ_StatMovInfo &movie = project_.statMovInfo()[0];
  {
    SCOPED_TRACE("576 lines, white bottom line");
    FindWhiteLine(WhiteLineFrames(10, 575));
    EXPECT_TRUE(movie.whiteLinePiece);
    EXPECT_TRUE(movie.whiteLineIsBottomLine);
  }
  {
    SCOPED_TRACE("480 lines after it");
    Describe(480, 720, false);
    FindWhiteLine(WhiteLineFrames(10, 479));
    EXPECT_FALSE(movie.whiteLinePiece);
    for (int t = 0; t < kBZ_NumTestFrames; ++t) EXPECT_FALSE(gBZ.dlgTaskData.hasWhiteLineInBottomLine[0][t]) << t;
  }
  {
    SCOPED_TRACE("576 lines, white second-last line");
    Describe(576, 720, false);
    FindWhiteLine(WhiteLineFrames(10, 575));  // the bottom-line cells become true again ...
    FindWhiteLine(WhiteLineFrames(10, 574));  // ... and must not stay when the second-last line is found
    EXPECT_TRUE(movie.whiteLinePiece);
    EXPECT_FALSE(movie.whiteLineIsBottomLine);
  }
}

TEST_F(EngineAnalysisTasks, WhiteLineTaskTakesOnlyTheCopyStagesRequests) {
  StartInputTasks();
  auto frames = WhiteLineFrames(1, 575);
  BZ_DlgTaskData &d = gBZ.dlgTaskData;
  d.hasWhiteLineInSecLastLine[0][3] = true;  // a value no measurement of this frame gives
  BZ_DlgTaskInput foreign{};
  foreign.outBuffer = frames[0]->data();
  foreign.testNum = 3;
  foreign.stageNum = write0_->number;
  // From the write stage, and from the copy stage with another code: both dropped, in queue order before the
  // request that is answered.
  ASSERT_EQ(MPNotifyQueue(d.whiteLineTaskData.inputQueue, Word(kBZ_WriteTaskType), &foreign,
                          Word(kBZ_AnalyseFrameMessage)),
            noErr);
  ASSERT_EQ(MPNotifyQueue(d.whiteLineTaskData.inputQueue, Word(kBZ_CopyTaskType), &foreign,
                          Word(kBZ_EndOfStreamMessage)),
            noErr);
  BZ_DlgTaskInput input{};
  input.outBuffer = frames[0]->data();
  input.testNum = 4;
  input.stageNum = copy0_->number;
  EXPECT_EQ(Ask(d.whiteLineTaskData, copy0_, &input), MPEventFlags(kBZ_WhiteLineDoneFlag));
  EXPECT_TRUE(d.hasWhiteLineInBottomLine[0][4]);
  EXPECT_TRUE(d.hasWhiteLineInSecLastLine[0][3]) << "a dropped request measured nothing";
  MPEventFlags writeFlags = 0;
  EXPECT_EQ(MPWaitForEvent(write0_->event, &writeFlags, kDurationImmediate), kMPTimeoutErr);
}

TEST_F(EngineAnalysisTasks, WhiteLineOfTheSecondFileIsAnsweredOnItsCopyStage) {
  ASSERT_EQ(BZ_CreateInputAnalysisTasks(&gBZ.dlgTaskData, 1), noErr);
  EXPECT_EQ(gBZ.dlgTaskData.blackBarsTaskData.ID.load(), nullptr) << "black bars are measured on file 0 only";
  auto frames = WhiteLineFrames(1, 574);
  BZ_DlgTaskInput input{};
  input.outBuffer = frames[0]->data();
  input.testNum = 0;
  input.fileNum = 1;
  input.stageNum = copy1_->number;
  EXPECT_EQ(Ask(gBZ.dlgTaskData.whiteLineTaskData, copy1_, &input), MPEventFlags(kBZ_WhiteLineDoneFlag));
  EXPECT_TRUE(gBZ.dlgTaskData.hasWhiteLineInSecLastLine[1][0]);
}

// ---- Black bars ------------------------------------------------------------------------------------------------

TEST_F(EngineAnalysisTasks, BlackBarsAreTheSmallestOfTheTestFramesOnEachSide) {
  struct Bars {
    SInt32 top, left, bottom, right;
  };
  const Bars kFrames[] = {{20, 12, 30, 8}, {22, 12, 31, 9}, {20, 15, 30, 8}, {25, 13, 33, 11}};
  StartInputTasks();
  for (size_t t = 0; t < std::size(kFrames); ++t) {
    const Bars &b = kFrames[t];
    PaddedFrame frame(720, 576);
    frame.Fill(128, 16);
    frame.FillRect(b.left, b.top, 720 - b.right, 576 - b.bottom, 128, 120);
    BZ_DlgTaskInput input{};
    input.outBuffer = frame.data();
    input.testNum = SInt32(t);
    input.stageNum = copy0_->number;
    EXPECT_EQ(Ask(gBZ.dlgTaskData.blackBarsTaskData, copy0_, &input), MPEventFlags(kBZ_BlackBarsDoneFlag));
    const SInt32 *size = gBZ.dlgTaskData.blackBarSize[t];
    EXPECT_EQ(bz_test::RectText(Rect{SInt16(size[0]), SInt16(size[1]), SInt16(size[2]), SInt16(size[3])}),
              bz_test::RectText(Rect{SInt16(b.top), SInt16(b.left), SInt16(b.bottom), SInt16(b.right)}))
        << "frame " << t;
  }
  ASSERT_EQ(BZ_BlackBarsCalcResult(SInt32(std::size(kFrames))), noErr);
  EXPECT_EQ(bz_test::RectText(project_.statMovInfo()[0].blackEdges), "20,12,30,8");
  AwaitEvents(2);
  EXPECT_EQ(gEvents[0].kind, kBZ_SetValueInDialogEvent);
  EXPECT_EQ(gEvents[0].item, kBZ_BlackBarsItem);
  EXPECT_EQ(gEvents[0].value, 0.0f);
  EXPECT_EQ(gEvents[1].kind, kBZ_StageDefaultsButtonActivateEvent);
  EXPECT_EQ(gEvents[1].taskType, UInt32(kBZ_CopyTaskType));
}

TEST_F(EngineAnalysisTasks, BlackFrameGivesAQuarterOfEachSideAndNoFramesNoBars) {
  StartInputTasks();
  PaddedFrame frame(720, 576);
  frame.Fill(128, 16);
  BZ_DlgTaskInput input{};
  input.outBuffer = frame.data();
  input.stageNum = copy0_->number;
  Ask(gBZ.dlgTaskData.blackBarsTaskData, copy0_, &input);
  project_->info.settings.input.autoDetectBlackBars = false;  // then only the defaults button is told
  ASSERT_EQ(BZ_BlackBarsCalcResult(1), noErr);
  EXPECT_EQ(bz_test::RectText(project_.statMovInfo()[0].blackEdges), "144,180,144,180");
  ASSERT_EQ(BZ_BlackBarsCalcResult(0), noErr);
  EXPECT_EQ(bz_test::RectText(project_.statMovInfo()[0].blackEdges), "0,0,0,0");
  AwaitEvents(2);
  for (const SeenEvent &e : gEvents) EXPECT_EQ(e.kind, kBZ_StageDefaultsButtonActivateEvent);
}

// ---- Noise level and frame difference ---------------------------------------------------------------------------

// Each test frame: out = grey + Gaussian noise of sigmaOut; in = out + Gaussian noise of sigmaDiff. So the
// noise level of out and the difference in - out are known.
TEST_F(EngineAnalysisTasks, NoiseLevelAndDifferenceOfKnownGaussianNoiseReachTheDialog) {
  BZ_KERNEL_SEED_TRACE();
  constexpr double kSigmaOut = 3.0, kSigmaDiff = 2.0;
  constexpr SInt32 kTests = 3;
  StartGeneralTasks();
  std::vector<std::unique_ptr<PaddedFrame>> ins, outs;
  for (SInt32 t = 0; t < kTests; ++t) {
    outs.push_back(std::make_unique<PaddedFrame>(720, 576));
    outs.back()->Fill(128, 120);
    outs.back()->AddGaussianNoise(kSigmaOut, kSigmaOut, bz_test::Rng());
    ins.push_back(std::make_unique<PaddedFrame>(720, 576));
    ins.back()->CopyFrom(*outs.back());
    ins.back()->AddGaussianNoise(kSigmaDiff, kSigmaDiff, bz_test::Rng());
  }
  float cells[2][kTests][3];  // per path: noise level, difference, changed share
  for (int sse = 0; sse < 2; ++sse) {
    SCOPED_TRACE(sse ? "SSE3" : "scalar");
    gBZ.procInfo.hasSSE3 = sse != 0;
    for (SInt32 t = 0; t < kTests; ++t) {
      BZ_DlgTaskInput input{};
      input.inBuffer = ins[t]->data();
      input.outBuffer = outs[t]->data();
      input.testNum = t;
      input.stageNum = -1;  // the analysis sets it
      MPEventFlags expected = 0;
      ASSERT_EQ(BZ_GeneralFrameAnalysis(noiseRed_, &gBZ.dlgTaskData, true, &input, &expected), noErr);
      EXPECT_EQ(expected, 0u);
      EXPECT_EQ(input.stageNum, noiseRed_->number);
      cells[sse][t][0] = gBZ.dlgTaskData.noiseLevel[noiseRed_->number][t];
      cells[sse][t][1] = gBZ.dlgTaskData.pixelDiff[noiseRed_->number][t];
      cells[sse][t][2] = gBZ.dlgTaskData.percChanged[noiseRed_->number][t];
    }
  }
  for (SInt32 t = 0; t < kTests; ++t)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(cells[0][t][k], cells[1][t][k]) << "test " << t << " value " << k;

  gEvents.clear();
  ASSERT_EQ(BZ_FinishGeneralFrameAnalysis(noiseRed_, true, kTests), noErr);
  AwaitEvents(3);
  // The three quietest blocks lie below the mean measure: 0.84 to 0.95 of it.
  const double noiseTruth = TwiceMeanAbsRounded(kSigmaOut);
  EXPECT_EQ(gEvents[0].item, 2180);
  EXPECT_GT(gEvents[0].value, 0.84 * noiseTruth);
  EXPECT_LT(gEvents[0].value, 0.95 * noiseTruth);
  const double diffTruth = TwiceMeanAbsRounded(kSigmaDiff);
  EXPECT_EQ(gEvents[1].item, 2179);
  EXPECT_NEAR(gEvents[1].value, diffTruth, 0.01 * diffTruth);
  const double pZero = 0.5 * (std::erfc(-0.5 / (kSigmaDiff * std::sqrt(2.0))) -
                              std::erfc(0.5 / (kSigmaDiff * std::sqrt(2.0))));
  EXPECT_EQ(gEvents[2].item, 2178);
  EXPECT_NEAR(gEvents[2].value, 100.0 * (1.0 - pZero * pZero), 1.0);
  for (const SeenEvent &e : gEvents) EXPECT_EQ(e.kind, kBZ_SetValueInDialogEvent);
}

TEST_F(EngineAnalysisTasks, DifferencePerChangedPixelWithoutEntireFrameNoiseReduction) {
  StartGeneralTasks();
  // 40 x 5 pixels changed by +10 luma inside the tested area (picture column 16 on, rows 16 on).
  PaddedFrame in(720, 576), out(720, 576);
  in.Fill(128, 120);
  out.CopyFrom(in);
  out.FillRect(100, 100, 140, 105, 128, 130);
  const double tested = 688.0 * 26 * 20;
  struct Case {
    const char *name;
    const PaddedFrame *out;
    float diff, changedPercent;
  };
  const Case kCases[] = {
      {"forty by five pixels changed by 10", &out, 10.0f, float(100.0 * 200 / tested)},
      {"nothing changed: 0, not a division by 0", &in, 0.0f, 0.0f},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.name);
    BZ_DlgTaskInput input{};
    input.inBuffer = in.data();
    input.outBuffer = const_cast<UInt8 *>(c.out->data());
    ASSERT_EQ(BZ_GeneralFrameAnalysis(logo_, &gBZ.dlgTaskData, false, &input, nullptr), noErr);
    gEvents.clear();
    ASSERT_EQ(BZ_FinishGeneralFrameAnalysis(logo_, false, 1), noErr);
    AwaitEvents(2);
    EXPECT_EQ(gEvents[0].item, 2339);
    EXPECT_NEAR(gEvents[0].value, c.diff, 1e-4);
    EXPECT_EQ(gEvents[1].item, 2338);
    EXPECT_NEAR(gEvents[1].value, c.changedPercent, 1e-5);
  }
}

TEST_F(EngineAnalysisTasks, WriteStageOfIdenticalFramesGivesOptimalScales18And09) {
  StartGeneralTasks();
  PaddedFrame frame(720, 576);
  frame.Fill(128, 120);
  BZ_DiffParams &diffParams = project_->info.settings.diffParams;
  diffParams.optScaleC = diffParams.optScaleY = -1.0f;
  for (SInt32 t = 0; t < 2; ++t) {
    BZ_DlgTaskInput input{};
    input.inBuffer = input.outBuffer = frame.data();
    input.testNum = t;
    ASSERT_EQ(BZ_GeneralFrameAnalysis(write0_, &gBZ.dlgTaskData, true, &input, nullptr), noErr);
  }
  ASSERT_EQ(BZ_FinishGeneralFrameAnalysis(write0_, true, 2), noErr);
  EXPECT_FLOAT_EQ(diffParams.optScaleC, 1.8f);
  EXPECT_FLOAT_EQ(diffParams.optScaleY, 0.9f);
  AwaitEvents(3);
  EXPECT_EQ(gEvents[0].item, 2085);
  EXPECT_EQ(gEvents[0].value, 0.0f) << "a flat frame has no noise";
  EXPECT_EQ(gEvents[1].item, 2087);
  EXPECT_EQ(gEvents[1].value, 0.0f);
  EXPECT_EQ(gEvents[2].item, 2086);
  EXPECT_EQ(gEvents[2].value, 0.0f);
}

TEST_F(EngineAnalysisTasks, StoppedStageGetsUserCanceledOnceTheTasksAnswered) {
  StartGeneralTasks();
  PaddedFrame in(720, 576), out(720, 576);
  in.Fill(128, 120);
  out.Fill(128, 122);
  BZ_DlgTaskInput input{};
  input.inBuffer = in.data();
  input.outBuffer = out.data();
  // The stop and one of the caller's own flags are already set when the stage starts to wait.
  ASSERT_EQ(MPSetEvent(noiseRed_->event, kBZ_StopTaskFlag | kBZ_WhiteLineDoneFlag), noErr);
  MPEventFlags expected = kBZ_WhiteLineDoneFlag;
  EXPECT_EQ(BZ_GeneralFrameAnalysis(noiseRed_, &gBZ.dlgTaskData, true, &input, &expected), userCanceledErr);
  EXPECT_EQ(expected, 0u) << "every flag received is cleared from the caller's word";
  EXPECT_FLOAT_EQ(gBZ.dlgTaskData.pixelDiff[noiseRed_->number][0], 2.0f) << "the measurement was let finish";
}

TEST_F(EngineAnalysisTasks, GeneralAnalysisRefusesWithoutARunningStageOrTask) {
  PaddedFrame frame(64, 64);
  BZ_DlgTaskInput input{};
  input.inBuffer = input.outBuffer = frame.data();
  {
    SCOPED_TRACE("tasks not running: the post fails, no wait");
    EXPECT_NE(BZ_GeneralFrameAnalysis(noiseRed_, &gBZ.dlgTaskData, true, &input, nullptr), noErr);
    EXPECT_NE(BZ_GeneralFrameAnalysis(logo_, &gBZ.dlgTaskData, false, &input, nullptr), noErr);
  }
  {
    SCOPED_TRACE("stage without task");
    StartGeneralTasks();
    BZ_BuffInfo *stage = AddStage(kBZ_CrossLumaTaskType, 0);
    stage->taskData[0] = nullptr;
    EXPECT_EQ(BZ_GeneralFrameAnalysis(stage, &gBZ.dlgTaskData, false, &input, nullptr), userCanceledErr);
  }
  EXPECT_EQ(BZ_GeneralFrameAnalysis(nullptr, &gBZ.dlgTaskData, false, &input, nullptr), paramErr);
  EXPECT_EQ(BZ_GeneralFrameAnalysis(logo_, &gBZ.dlgTaskData, false, nullptr, nullptr), paramErr);
}

TEST_F(EngineAnalysisTasks, StageGivesUpOnATaskThatLeftWithoutAnswering) {
  StartGeneralTasks();
  MP_TaskData &diffTask = gBZ.dlgTaskData.frameDiffTaskData;
  // Ended without waiting: its queues stay, so the request is posted, but nobody takes it.
  ASSERT_EQ(MP_TerminateTask(&diffTask, false, noErr), noErr);
  PaddedFrame frame(64, 64);
  BZ_DlgTaskInput input{};
  input.inBuffer = input.outBuffer = frame.data();
  EXPECT_EQ(BZ_GeneralFrameAnalysis(logo_, &gBZ.dlgTaskData, false, &input, nullptr), kMPTaskAbortedErr);
  EXPECT_TRUE(diffTask.exiting.load());
  void *result = nullptr;
  EXPECT_EQ(MPWaitOnQueue(diffTask.termQueue, nullptr, nullptr, &result, bz_test::kHangLimit), noErr);
  MP_DisposeTask(&diffTask);
}

// ---- Starting and ending --------------------------------------------------------------------------------------

TEST_F(EngineAnalysisTasks, GeneralTasksRunOnlyInAnalysisRunsWithoutPendingAutomaticSettings) {
  BZ_DlgTaskData &d = gBZ.dlgTaskData;
  StartGeneralTasks();
  const MPTaskID diffTask = d.frameDiffTaskData.ID.load(), noiseTask = d.noiseLevelTaskData.ID.load();
  ASSERT_NE(diffTask, nullptr);
  ASSERT_NE(noiseTask, nullptr);
  StartGeneralTasks();
  EXPECT_EQ(d.frameDiffTaskData.ID.load(), diffTask) << "a running task is kept";
  EXPECT_EQ(d.noiseLevelTaskData.ID.load(), noiseTask);

  gAutoSettStage = 4;  // noise reduction's automatic settings are being calculated
  StartGeneralTasks();
  EXPECT_EQ(d.frameDiffTaskData.ID.load(), nullptr);
  EXPECT_EQ(d.noiseLevelTaskData.ID.load(), nullptr);
  EXPECT_EQ(d.frameDiffTaskData.inputQueue, nullptr) << "an ended task leaves no queues";
  EXPECT_EQ(d.noiseLevelTaskData.termQueue, nullptr);

  gAutoSettStage = 0;
  StartGeneralTasks();
  EXPECT_NE(d.frameDiffTaskData.ID.load(), nullptr);
  project_->state.exec = kBZ_ProjStatePreviewing;
  StartGeneralTasks();
  EXPECT_EQ(d.frameDiffTaskData.ID.load(), nullptr);
  EXPECT_EQ(d.noiseLevelTaskData.ID.load(), nullptr);
  EXPECT_TRUE(bz_test::WaitUntil([&] { return PL_MPLiveTaskCount() == baseTasks_; }));
}

TEST_F(EngineAnalysisTasks, CopyStagesSettingUpTogetherStartOneTaskEach) {
  MPQueueID ends = nullptr;
  ASSERT_EQ(MPCreateQueue(&ends), noErr);
  constexpr int kStages = 4;
  for (int i = 0; i < kStages; ++i)
    bz_test::StartTask([i] { return BZ_CreateGeneralAnalysisTasks(&gBZ.dlgTaskData) |
                                    BZ_CreateInputAnalysisTasks(&gBZ.dlgTaskData, i % 2); },
                       ends);
  for (int i = 0; i < kStages; ++i) {
    void *result = Word(-1);
    ASSERT_EQ(MPWaitOnQueue(ends, nullptr, nullptr, &result, bz_test::kHangLimit), noErr);
    EXPECT_EQ(bz_test::StatusFromWord(result), noErr);
  }
  MPDeleteQueue(ends);
  EXPECT_TRUE(bz_test::WaitUntil([&] { return PL_MPLiveTaskCount() == baseTasks_ + 4; }))
      << PL_MPLiveTaskCount() - baseTasks_ << " analysis tasks";
}

TEST_F(EngineAnalysisTasks, InputTasksStartOnlyForWhatIsNotYetSearched) {
  BZ_DlgTaskData &d = gBZ.dlgTaskData;
  project_->state.exec = kBZ_ProjStateExecuting;
  ASSERT_EQ(BZ_CreateInputAnalysisTasks(&d, 0), noErr);
  EXPECT_EQ(d.whiteLineTaskData.ID.load(), nullptr) << "not an analysis run";
  project_->state.exec = kBZ_ProjStateAnalyzingMovie;
  d.searchedWhiteLinePiece[0] = true;
  d.detectedBlackBars = true;
  ASSERT_EQ(BZ_CreateInputAnalysisTasks(&d, 0), noErr);
  EXPECT_EQ(d.whiteLineTaskData.ID.load(), nullptr);
  EXPECT_EQ(d.blackBarsTaskData.ID.load(), nullptr);
  d.detectedBlackBars = false;
  ASSERT_EQ(BZ_CreateInputAnalysisTasks(&d, 0), noErr);
  EXPECT_EQ(d.whiteLineTaskData.ID.load(), nullptr);
  EXPECT_NE(d.blackBarsTaskData.ID.load(), nullptr);
  ASSERT_EQ(BZ_CreateInputAnalysisTasks(&d, 1), noErr);
  EXPECT_NE(d.whiteLineTaskData.ID.load(), nullptr) << "file 1 is not searched yet";
  EXPECT_EQ(BZ_CreateInputAnalysisTasks(&d, kBZ_MaxNumFiles), paramErr);
}

TEST_F(EngineAnalysisTasks, TaskThatEndedByItselfIsStartedAgain) {
  BZ_DlgTaskData &d = gBZ.dlgTaskData;
  StartInputTasks();
  const MPTaskID first = d.whiteLineTaskData.ID.load();
  // Its input queue vanishes under it: the wait fails and the task leaves its loop.
  MPQueueID queue = d.whiteLineTaskData.inputQueue;
  ASSERT_EQ(MPDeleteQueue(queue), noErr);
  ASSERT_TRUE(bz_test::WaitUntil([&] { return d.whiteLineTaskData.exiting.load(); }));
  StartInputTasks();
  EXPECT_NE(d.whiteLineTaskData.ID.load(), nullptr);
  EXPECT_NE(d.whiteLineTaskData.ID.load(), first);
  EXPECT_NE(d.whiteLineTaskData.inputQueue, queue);
  auto frames = WhiteLineFrames(1, 575);
  BZ_DlgTaskInput input{};
  input.outBuffer = frames[0]->data();
  input.stageNum = copy0_->number;
  EXPECT_EQ(Ask(d.whiteLineTaskData, copy0_, &input), MPEventFlags(kBZ_WhiteLineDoneFlag));
}

// ---- Results and items ------------------------------------------------------------------------------------------

TEST_F(EngineAnalysisTasks, ResultsOfAStageOrFileThatDoesNotExistAreRefused) {
  EXPECT_EQ(BZ_NoiseLevelCalcResult(BZ_CountStages(project_->dynIO_Info.buffInfo), 3), paramErr);
  EXPECT_EQ(BZ_PixelDiffCalcResult(-1, 3, true), paramErr);
  EXPECT_EQ(BZ_PixelDiffCalcResult(kBZ_MaxNumStages, 3, true), paramErr);
  EXPECT_EQ(BZ_WhiteLineCalcResult(kBZ_MaxNumFiles, 10), paramErr);
  EXPECT_EQ(BZ_FinishGeneralFrameAnalysis(nullptr, true, 3), paramErr);
  ASSERT_EQ(PL_DispatchPendingEvents(nullptr), noErr);
  EXPECT_TRUE(gEvents.empty());
}

TEST(EngineAnalysisItems, DialogItemOfEachStageTypeAndValue) {
  struct Case {
    BZ_TaskType type;
    SInt32 fileNum;
    BZ_CalcItemType item;
    SInt16 expected;
  };
  const Case kCases[] = {
      {kBZ_CopyTaskType, 0, kBZ_CalcItemTypeNoiseLevel, 2029},
      {kBZ_CopyTaskType, 1, kBZ_CalcItemTypeNoiseLevel, 2103},
      {kBZ_CopyTaskType, 2, kBZ_CalcItemTypeNoiseLevel, -1},
      {kBZ_CopyTaskType, 0, kBZ_CalcItemTypePixelDiff, -1},
      {kBZ_WriteTaskType, 0, kBZ_CalcItemTypeNoiseLevel, 2085},
      {kBZ_WriteTaskType, 0, kBZ_CalcItemTypePixelDiff, 2087},
      {kBZ_WriteTaskType, 0, kBZ_CalcItemTypePercChanged, 2086},
      {kBZ_AverageTaskType, 0, kBZ_CalcItemTypeNoiseLevel, 2107},
      {kBZ_AverageTaskType, 0, kBZ_CalcItemTypePixelDiff, 2109},
      {kBZ_AverageTaskType, 0, kBZ_CalcItemTypePercChanged, 2108},
      {kBZ_VarBrTaskType, 0, kBZ_CalcItemTypeVarBrPeriod, 2402},
      {kBZ_VarBrTaskType, 0, kBZ_CalcItemTypeVarBrAtten, 2405},
      {kBZ_VarBrTaskType, 0, kBZ_CalcItemTypePixelDiff, -1},
      {kBZ_NoiseRedTaskType, 0, kBZ_CalcItemTypeNoiseLevel, 2180},
      {kBZ_NoiseRedTaskType, 0, kBZ_CalcItemTypePixelDiff, 2179},
      {kBZ_NoiseRedTaskType, 0, kBZ_CalcItemTypePercChanged, 2178},
      {kBZ_RlTaskType, 0, kBZ_CalcItemTypeNoiseLevel, -1},
      {kBZ_RlTaskType, 0, kBZ_CalcItemTypePixelDiff, 2339},
      {kBZ_RlTaskType, 0, kBZ_CalcItemTypePercChanged, 2338},
      {kBZ_CrossLumaTaskType, 0, kBZ_CalcItemTypePixelDiff, 2358},
      {kBZ_CrossLumaTaskType, 0, kBZ_CalcItemTypePercChanged, 2357},
      {kBZ_OutlierTaskType, 0, kBZ_CalcItemTypePixelDiff, 2513},
      {kBZ_OutlierTaskType, 0, kBZ_CalcItemTypePercChanged, 2512},
      {kBZ_OutlierTaskType, 0, kBZ_CalcItemTypeBestShift, -1},
      {kBZ_ReadTaskType, 0, kBZ_CalcItemTypeNoiseLevel, -1},
  };
  for (const Case &c : kCases)
    EXPECT_EQ(BZ_GetDialogItemForCalcValue(c.type, c.fileNum, c.item), c.expected)
        << "BZ_GetDialogItemForCalcValue(" << c.type << ", " << c.fileNum << ", " << c.item << ")";
}

}  // namespace
