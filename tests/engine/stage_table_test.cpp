#include "engine/stage_table.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/stage_access.h"
#include "platform/core/memory.h"
#include "support/engine_fixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<BZ_TaskType> TaskList(UInt32 types, Boolean compressing, Boolean noiseMovie) {
  BZ_TaskType list[kBZ_MaxNumStageTypes];
  SInt32 n = -1;
  BZ_CreateTaskList(types, compressing, noiseMovie, list, &n);
  EXPECT_GE(n, 0);
  for (SInt32 i = n; i < kBZ_MaxNumStageTypes; ++i) EXPECT_EQ(list[i], kBZ_NoTaskType);
  return std::vector<BZ_TaskType>(list, list + n);
}

std::vector<SInt32> Counts(BZ_ProjPtr project, const std::vector<BZ_TaskType> &types) {
  BZ_TaskType list[kBZ_MaxNumStageTypes] = {};
  for (size_t i = 0; i < types.size(); ++i) list[i] = types[i];
  SInt32 counts[kBZ_MaxNumStageTypes];
  BZ_CalcNumInputBuffers(project, list, counts);
  return std::vector<SInt32>(counts, counts + types.size());
}

// The number of workers is the processors', within the per-worker arrays.
class StageTableTest : public ::testing::Test {
 protected:
  StageTableTest() { gBZ.numProcessors = 2; }
  ~StageTableTest() override {
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    gBZ.numProcessors = 0;
  }
  bz_test::CurrentProject project_;
};

TEST_F(StageTableTest, TaskListFollowsTheMethodsAndOutput) {
  using V = std::vector<BZ_TaskType>;
  EXPECT_EQ(TaskList(0, false, true),
            (V{kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_WriteTaskType, kBZ_NoiseFrameTaskType, kBZ_WriteTaskType}));
  EXPECT_EQ(TaskList(kBZ_AverageTypeFlag | kBZ_OutlierTypeFlag | kBZ_VarBrTypeFlag | kBZ_NoiseRedTypeFlag, true, false),
            (V{kBZ_ReadTaskType, kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_CopyTaskType, kBZ_AverageTaskType,
               kBZ_VarBrTaskType, kBZ_NoiseRedTaskType, kBZ_OutlierTaskType, kBZ_ComprTaskType, kBZ_WriteTaskType}));
  // Every method, compression and the noise movie: 14 stages, the most a table holds.
  EXPECT_EQ(TaskList(0x7E, true, true).size(), 14u);
}

TEST_F(StageTableTest, BufferCountsPerStage) {
  BZ_Project &p = *project_.get();
  using V = std::vector<SInt32>;
  p.state.exec = kBZ_ProjStateReady;
  EXPECT_EQ(Counts(&p, TaskList(0, false, true)), (V{0, 1, 2, 0, 1}));
  p.dynIO_Info.inputInfo[0].directRead = true;
  EXPECT_EQ(Counts(&p, TaskList(0, false, true))[1], 2) << "a directly read source adds one to Copy";
  p.dynIO_Info.inputInfo[0].directRead = false;

  p.state.exec = kBZ_ProjStateExecuting;
  EXPECT_EQ(Counts(&p, TaskList(kBZ_NoiseRedTypeFlag, false, true)), (V{0, 1, 7, 5, 0, 1}));
  p.info.settings.output.makeNoiseMovie = true;  // the noise calculation keeps one more set of inputs
  EXPECT_EQ(Counts(&p, TaskList(kBZ_NoiseRedTypeFlag, false, true)), (V{0, 1, 9, 5, 0, 1}));
  p.info.settings.output.makeNoiseMovie = false;

  p.state.exec = kBZ_ProjStateReady;
  EXPECT_EQ(Counts(&p, TaskList(kBZ_AverageTypeFlag, false, false)), (V{0, 0, 1, 1, 10, 5}));
  EXPECT_EQ(Counts(&p, TaskList(kBZ_NoiseRedTypeFlag | kBZ_CrossLumaTypeFlag, true, false)), (V{0, 1, 7, 8, 5, 2}));

  p.state.exec = kBZ_ProjStatePreviewing;
  EXPECT_EQ(Counts(&p, TaskList(kBZ_RlTypeFlag, false, false)), (V{0, 1, 7, 5})) << "previewing keeps inputs";

  // Outliers: a window of 4k + 1 frames.
  p.state.exec = kBZ_ProjStateExecuting;
  p.info.settings.cleaning.ou.numConstPix = 3;
  EXPECT_EQ(Counts(&p, TaskList(kBZ_OutlierTypeFlag, false, false))[2], 13 + 1 + 1);
  p.info.settings.cleaning.ou.numConstPix = 1000;  // a damaged value cannot ask for thousands of buffers
  EXPECT_EQ(Counts(&p, TaskList(kBZ_OutlierTypeFlag, false, false))[2], 13 + 1 + 1);

  // More processors than the per-worker arrays allow: the stages run eight workers and count for eight.
  gBZ.numProcessors = 64;
  EXPECT_EQ(BZ_GetNumSubTasks(), kBZ_MaxNumSubTasks);
  p.state.exec = kBZ_ProjStateReady;
  EXPECT_EQ(Counts(&p, TaskList(kBZ_RlTypeFlag, false, false))[2], 2 * 8 + 1);
}

TEST_F(StageTableTest, BufferGeometry) {
  struct Case {
    SInt32 height, width;
    Boolean interlaced;
    SInt32 bufferHeight, bufferWidth;
    SInt64 bufferSize;
  };
  const Case cases[] = {
      {480, 720, true, 512, 736, 753664},
      {480, 720, false, 496, 736, 753664},
      {577, 721, false, 600, 744, 744 * 624 * 2},
      // A size whose block no longer fits 32 bits.
      {32000, 60000, true, 32032, 60016, SInt64(60016) * 32032 * 2},
  };
  for (const Case &c : cases) {
    SInt32 h = 0, w = 0;
    SInt64 size = 0;
    BZ_GetBufferSize(c.height, c.width, c.interlaced, &h, &w, &size);
    EXPECT_EQ(h, c.bufferHeight) << c.height;
    EXPECT_EQ(w, c.bufferWidth) << c.width;
    EXPECT_EQ(size, c.bufferSize);
  }
  BZ_TaskType types[kBZ_MaxNumStageTypes] = {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_WriteTaskType};
  SInt32 counts[kBZ_MaxNumStageTypes] = {0, 104, 104};
  const SInt64 big = SInt64(60016) * 32032 * 2;
  EXPECT_EQ(BZ_GetTotalBufferSize(types, counts, big), 104 * 2 * big + 104 * big) << "64-bit sizes";
  counts[1] = INT32_MAX;
  EXPECT_EQ(BZ_GetTotalBufferSize(types, counts, SInt64(1) << 40), -1) << "an overflow is reported";
}

TEST_F(StageTableTest, CreateBuffersCarvesOneZeroedBlock) {
  BZ_StatMovInfo *movies = project_.statMovInfo();
  bz_test::DescribeSource(movies, 0, 48, 64, 10);
  BZ_MakeDefaultProjSett(movies, &project_->info.settings);  // noise reduction applied
  project_->info.settings.input.interlaced = true;
  ASSERT_EQ(BZ_CreateBuffers(), noErr);
  BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
  ASSERT_EQ(BZ_CountStages(table), 6);
  EXPECT_EQ(project_->dynIO_Info.numStages, 6);
  const BZ_TaskType expected[] = {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType,
                                  kBZ_WriteTaskType, kBZ_NoiseFrameTaskType, kBZ_WriteTaskType};
  const SInt32 files[] = {0, 0, 0, 0, 0, 1};
  for (SInt32 i = 0; i < 6; ++i) {
    EXPECT_EQ(table[i].type, expected[i]) << i;
    EXPECT_EQ(table[i].fileNum, files[i]) << i;
    EXPECT_EQ(table[i].number, i);
    EXPECT_EQ(table[i].totalNumFrames, 10);
  }
  SInt64 bufferSize = 0;
  BZ_GetBufferSize(48, 64, true, nullptr, nullptr, &bufferSize);
  EXPECT_EQ(table[1].size, size_t(2 * bufferSize));
  EXPECT_EQ(table[2].size, size_t(bufferSize));
  EXPECT_EQ(project_->dynIO_Info.maxComprSize, bufferSize);

  // The pools follow each other in the block, each buffer its stage's size, 64-byte aligned and zeroed.
  UInt8 *block = BZ_GetProjectBuffer(project_.get());
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 64, 0u);
  UInt8 *cursor = block;
  for (SInt32 i = 0; i < 6; ++i) {
    for (SInt32 b = 0; b < table[i].numFrameBuffers; ++b) {
      EXPECT_EQ(table[i].frameBuffInfo[b].ptr, cursor);
      EXPECT_EQ(table[i].frameBuffInfo[b].number, b);
      for (size_t k = 0; k < table[i].size; k += 509) ASSERT_EQ(cursor[k], 0);
      cursor += table[i].size;
    }
  }
  // Descriptors from pointers: inside a buffer, none outside the pool or one past its end.
  BZ_BuffInfo &nr = table[2];
  ASSERT_GT(nr.numFrameBuffers, 1);
  EXPECT_EQ(BZ_GetFrameBuffInfo(&nr, nr.frameBuffInfo[1].ptr + 7), &nr.frameBuffInfo[1]);
  EXPECT_EQ(BZ_GetFrameBuffInfo(&nr, nr.frameBuffInfo[0].ptr - 1), nullptr);
  EXPECT_EQ(BZ_GetFrameBuffInfo(&nr, nr.frameBuffInfo[nr.numFrameBuffers - 1].ptr + nr.size), nullptr);
  nr.frameBuffInfo[1].frameNum = 77;
  EXPECT_EQ(BZ_FrameNumToPtr(&nr, 77), nr.frameBuffInfo[1].ptr);
  EXPECT_EQ(BZ_FrameNumToPtr(&nr, 78), nullptr);

  // Lookups between the stages.
  EXPECT_EQ(BZ_GetOutputBufferInfoForStage(table, &table[0], 0), &table[1]);
  EXPECT_EQ(BZ_GetOutputBufferInfoForStage(table, &table[1], 0), &table[2]);
  EXPECT_EQ(BZ_GetOutputBufferInfoForStage(table, &table[2], 0), &table[3]);
  EXPECT_EQ(BZ_GetOutputBufferInfoForStage(table, &table[3], 0), nullptr);
  EXPECT_EQ(BZ_GetOutputBufferInfoForStage(table, &table[3], 1), &table[5]);
  EXPECT_EQ(BZ_GetOutputBufferInfoForStage(table, &table[4], 0), &table[5]);
  EXPECT_EQ(BZ_GetInputBufferInfoForStage(table, &table[0], 0), nullptr);
  EXPECT_EQ(BZ_GetInputBufferInfoForStage(table, &table[1], 0), &table[0]);
  EXPECT_EQ(BZ_GetInputBufferInfoForStage(table, &table[2], 0), &table[0]) << "past a Copy stage: its Read";
  EXPECT_EQ(BZ_GetInputBufferInfoForStage(table, &table[3], 0), &table[2]);
  EXPECT_EQ(BZ_GetInputBufferInfoForStage(table, &table[5], 0), &table[4]);
  EXPECT_EQ(BZ_GetFirstProcessBuffer(table), &table[2]);
  EXPECT_EQ(BZ_GetWriteBuffInfo(table, 1), &table[5]);
  EXPECT_EQ(BZ_GetComprBuffInfo(table), nullptr);
  EXPECT_EQ(BZ_GetBufferInfoByStageType(table, kBZ_RlTaskType, 0), nullptr);
  EXPECT_EQ(BZ_GetSelectedProcessTypesFromBuffInfo(), UInt32(kBZ_NoiseRedTypeFlag));
  EXPECT_EQ(BZ_TaskFlagToType(kBZ_VarBrTypeFlag), kBZ_VarBrTaskType);
  EXPECT_EQ(BZ_TaskFlagToType(3), kBZ_NoTaskType);

  BZ_DisposeBuffInfo(table);
  EXPECT_EQ(BZ_CountStages(table), 0);
  EXPECT_EQ(BZ_GetProjectBuffer(project_.get()), nullptr);
}

TEST_F(StageTableTest, LookupsStopAtTheTableEnd) {
  BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
  for (SInt32 i = 0; i < kBZ_NumBuffInfos; ++i) table[i].type = kBZ_ReadTaskType;  // no end marker at all
  EXPECT_EQ(BZ_GetBufferInfoByStageType(table, kBZ_CopyTaskType, 0), nullptr);
  EXPECT_EQ(BZ_GetFirstProcessBuffer(table), nullptr);
  for (SInt32 i = 0; i < kBZ_NumBuffInfos; ++i) table[i].type = kBZ_NoTaskType;
}

TEST_F(StageTableTest, PoolsAreCutToTheirArrays) {
  BZ_StatMovInfo *movies = project_.statMovInfo();
  bz_test::DescribeSource(movies, 0, 16, 16, 10);
  BZ_MakeDefaultProjSett(movies, &project_->info.settings);
  project_->info.settings.cleaning.noiseRed.apply = false;
  project_->info.settings.cleaning.ou.apply = true;
  project_->info.settings.cleaning.ou.numConstPix = 3;
  project_->state.exec = kBZ_ProjStateAnalyzingMovie;
  gBZ.numProcessors = 8;
  ASSERT_EQ(BZ_CreateBuffers(), noErr);
  BZ_BuffInfo *outliers = BZ_GetBufferInfoByStageType(project_->dynIO_Info.buffInfo, kBZ_OutlierTaskType, 0);
  ASSERT_NE(outliers, nullptr);
  EXPECT_EQ(outliers->numFrameBuffers, kBZ_MaxFrameBuffers) << "13 x 8 + 1 + 8 buffers asked for";
}

TEST_F(StageTableTest, AveragingHasTwoPools) {
  BZ_StatMovInfo *movies = project_.statMovInfo();
  bz_test::DescribeSource(movies, 0, 16, 16, 10);
  bz_test::DescribeSource(movies, 1, 16, 16, 10);
  BZ_MakeDefaultProjSett(movies, &project_->info.settings);  // averaging applies with a second movie
  project_->info.settings.cleaning.noiseRed.apply = false;
  ASSERT_EQ(BZ_CreateBuffers(), noErr);
  BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
  BZ_BuffInfo *average = BZ_GetBufferInfoByStageType(table, kBZ_AverageTaskType, 0);
  ASSERT_NE(average, nullptr);
  EXPECT_EQ(average->numFrameBuffers, 5);
  EXPECT_EQ(average->numFrameBuffers2, 5);
  EXPECT_EQ(average->frameBuffInfo2[0].ptr, average->frameBuffInfo[4].ptr + average->size);
  EXPECT_EQ(BZ_GetFrameBuffInfo2(average, average->frameBuffInfo2[2].ptr), &average->frameBuffInfo2[2]);
  EXPECT_EQ(BZ_GetBufferInfoByStageType(table, kBZ_CopyTaskType, 1)->fileNum, 1);
  EXPECT_EQ(BZ_GetInputBufferInfoForStage(table, BZ_GetBufferInfoByStageType(table, kBZ_CopyTaskType, 1), 0),
            BZ_GetBufferInfoByStageType(table, kBZ_ReadTaskType, 1));
}

OSStatus FailingValidTypes(void *, const BZ_CleaninSett *, UInt32 *) { return -5000; }

TEST_F(StageTableTest, FailuresLeaveNoHalfTable) {
  BZ_StatMovInfo *movies = project_.statMovInfo();
  bz_test::DescribeSource(movies, 0, 16, 16, 10);
  BZ_MakeDefaultProjSett(movies, &project_->info.settings);
  ASSERT_EQ(BZ_CreateBuffers(), noErr);
  UInt8 *block = BZ_GetProjectBuffer(project_.get());

  BZ_EngineHost host{};
  host.getValidSelectedProcessTypes = FailingValidTypes;
  BZ_SetEngineHost(&host);
  EXPECT_EQ(BZ_CreateBuffers(), -5000);
  EXPECT_EQ(BZ_GetProjectBuffer(project_.get()), block) << "the table stays as it was";
  BZ_SetEngineHost(nullptr);

  PL_FailAllocationAfter(1);
  EXPECT_EQ(BZ_CreateBuffers(), memFullErr);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(BZ_GetProjectBuffer(project_.get()), nullptr);
  EXPECT_EQ(BZ_CountStages(project_->dynIO_Info.buffInfo), 0);
  ASSERT_EQ(BZ_CreateBuffers(), noErr) << "a later build works";
}

}  // namespace
