// The averaging stage's set-up and result step: what reaches the line kernels is checked first, and the
// combined measurement goes to the dialog and the settings only when there is one.
#include "methods/average_stage.h"

#include "engine/runtime/engine_host.h"
#include "methods/average_sources.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

namespace {

struct Posted {
  UInt32 kind;
  float value;
  SInt16 item;
};

// Records the custom events the stage posts.
struct EventHost {
  std::vector<Posted> posted;
  EventHost() {
    BZ_EngineHost h = *BZ_GetPlainEngineHost();
    h.refCon = this;
    h.postCustomEvent = [](void *r, UInt32 kind, const BZ_EventParam *params, ItemCount numParams) {
      Posted p{kind, NAN, -1};
      for (ItemCount i = 0; i < numParams; ++i) {
        if (params[i].name == kBZ_ValueEventParam) p.value = *static_cast<const float *>(params[i].data);
        if (params[i].name == kBZ_ItemEventParam) p.item = *static_cast<const SInt16 *>(params[i].data);
      }
      static_cast<EventHost *>(r)->posted.push_back(p);
      return OSStatus(noErr);
    };
    BZ_SetEngineHost(&h);
  }
  ~EventHost() { BZ_SetEngineHost(nullptr); }
};

// A project whose two sources are 352 x 288 captures in two files.
struct AveragingProject {
  bz_test::TempDir dir;
  bz_test::CurrentProject project;
  AveragingProject() {
    bz_test::WriteText(dir.File("a.mov"), "a");
    bz_test::WriteText(dir.File("b.mov"), "b");
    BZ_ProjInfo &info = project->info;
    info.srcFileData[0].fileRef = bz_test::RefFor(dir.File("a.mov"));
    info.srcFileData[1].fileRef = bz_test::RefFor(dir.File("b.mov"));
    bz_test::DescribeSource(info.statMovInfo, 0, 288, 352, 12);
    bz_test::DescribeSource(info.statMovInfo, 1, 288, 352, 9);
    BZ_MakeDefaultAvSett(info.statMovInfo, &info.settings.cleaning.average);
  }
  BZ_Av_Sett &sett() { return project->info.settings.cleaning.average; }
};

TEST(AverageStage, SetUpRefusesWhatTheKernelsCannotTake) {
  struct Case {
    const char *name;
    double shift, weight;
    SInt32 height2;
    bool sameFile;
    OSStatus expected;
  };
  const Case cases[] = {
      {"valid", 0.75, 0.3, 288, false, noErr},
      {"shift beyond 8", 9.0, 0.5, 288, false, paramErr},
      {"shift below -8", -8.5, 0.5, 288, false, paramErr},
      {"weight above 1", 0.0, 1.5, 288, false, paramErr},
      {"negative weight", 0.0, -0.1, 288, false, paramErr},
      {"shift not a number", NAN, 0.5, 288, false, paramErr},
      {"weight infinite", 0.0, INFINITY, 288, false, paramErr},
      {"other picture size", 0.0, 0.5, 240, false, kBZ_DiffDimensionsErr},
      {"the same file twice", 0.0, 0.5, 288, true, kBZ_IdenticalInputMoviesErr},
  };
  for (const Case &c : cases) {
    AveragingProject p;
    p.sett().shift = c.shift;
    p.sett().weight = c.weight;
    p.project->info.statMovInfo[1].height = c.height2;
    if (c.sameFile) p.project->info.srcFileData[1] = p.project->info.srcFileData[0];
    BZ_AvParams params{};
    EXPECT_EQ(BZ_SetupAverageTask1(p.project.get(), 3, &params), c.expected) << c.name;
    if (c.expected != noErr) {
      EXPECT_EQ(params.tempBlock, nullptr) << c.name << ": nothing is made for a refused run";
      EXPECT_DOUBLE_EQ(p.sett().weight, c.weight) << c.name << ": the settings are not corrected";
    }
    BZ_AvDisposeParams(&params);
  }
}

TEST(AverageStage, SetUpGivesEveryWorkerItsOwnLine) {
  for (SInt32 workers : {1, 8, 13}) {
    AveragingProject p;
    p.sett().shift = -0.75;
    p.sett().weight = 0.25;
    BZ_AvParams params{};
    ASSERT_EQ(BZ_SetupAverageTask1(p.project.get(), workers, &params), noErr);
    EXPECT_EQ(params.width, 368);
    EXPECT_EQ(params.intShift, -1);
    EXPECT_FLOAT_EQ(params.fracShift, 0.25f);
    EXPECT_FLOAT_EQ(params.weight, 0.25f);
    EXPECT_EQ(params.numFrames, 9) << "the frames both movies have";
    ASSERT_EQ(params.numTempLines, workers);
    std::set<uintptr_t> starts;
    const size_t lineBytes = size_t(BZ_AvTempLineFloats(params.width)) * sizeof(float);
    for (SInt32 i = 0; i <= workers; ++i) {
      float *line = i < workers ? params.tempLine[i] : params.analysisLine;
      EXPECT_EQ(reinterpret_cast<uintptr_t>(line) % 16, 0u);
      for (size_t k = 0; k < lineBytes / sizeof(float); ++k) ASSERT_EQ(line[k], 0.0f) << "lines start zeroed";
      starts.insert(reinterpret_cast<uintptr_t>(line));
    }
    ASSERT_EQ(starts.size(), size_t(workers) + 1);
    for (auto it = starts.begin(); std::next(it) != starts.end(); ++it)
      EXPECT_GE(*std::next(it) - *it, lineBytes) << "lines do not overlap";
    BZ_AvDisposeParams(&params);
    BZ_AvDisposeParams(&params);  // twice is harmless
  }
}

TEST(AverageStage, ResultStepSendsAndStoresOnlyAMeasuredShift) {
  AveragingProject p;
  BZ_AvDlgTaskData *data = nullptr;
  ASSERT_EQ(BZ_AvInitDlgTaskData(&data), noErr);
  BZ_AvDlgTaskData *saved = gBZ.dlgTaskData.avDlgTaskData;
  gBZ.dlgTaskData.avDlgTaskData = data;
  p.sett().shift = 1.25;
  p.sett().weight = 0.6;
  {
    EventHost host;
    EXPECT_EQ(BZ_BestShiftWeightCalcResult(), noErr) << "no sample found a shift";
    EXPECT_TRUE(host.posted.empty()) << "nothing is sent";
    EXPECT_DOUBLE_EQ(p.sett().shift, 1.25);
    EXPECT_DOUBLE_EQ(p.sett().weight, 0.6);
  }
  data->bestShift[0] = -2.0f, data->bestWeight[0] = 0.5f, data->weight[0] = 4.0f;
  data->bestShift[4] = -1.9f, data->bestWeight[4] = 0.45f, data->weight[4] = 1.0f;
  {
    EventHost host;
    EXPECT_EQ(BZ_BestShiftWeightCalcResult(), noErr);
    ASSERT_EQ(host.posted.size(), 2u);
    EXPECT_EQ(host.posted[0].kind, UInt32(kBZ_SetValueInDialogEvent));
    EXPECT_EQ(host.posted[0].item, kBZ_AvShiftItem);
    EXPECT_NEAR(host.posted[0].value, -1.98f, 1e-5f);
    EXPECT_EQ(host.posted[1].item, kBZ_AvWeightItem);
    EXPECT_NEAR(host.posted[1].value, 0.49f, 1e-5f);
    EXPECT_NEAR(p.sett().shift, -1.98, 1e-5);
    EXPECT_NEAR(p.sett().weight, 0.49, 1e-5);
  }
  gBZ.dlgTaskData.avDlgTaskData = saved;
  BZ_AvDisposeDlgTaskData(&data);
  EXPECT_EQ(data, nullptr);
}

}  // namespace
