// The shared method-stage pieces on a hand-made stage table, without threads: where a stage's frames go,
// and the work item slots by input buffer.
#include "methods/method_stage.h"

#include "support/engine_fixtures.h"

#include <gtest/gtest.h>

namespace {

// Copy, cross-luma, compress and write entries, each with a task record of its own.
class MethodStageTable : public ::testing::Test {
 protected:
  void SetUp() override {
    const BZ_TaskType types[] = {kBZ_CopyTaskType, kBZ_CrossLumaTaskType, kBZ_ComprTaskType, kBZ_WriteTaskType};
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    for (int i = 0; i < 4; ++i) {
      table[i].number = i;
      table[i].type = types[i];
      table[i].taskData[0] = &tasks_[i];
      tasks_[i].termMessage2 = project_.get();
      tasks_[i].type = types[i];
    }
  }
  BZ_BuffInfo *Table() { return project_->dynIO_Info.buffInfo; }

  bz_test::CurrentProject project_;
  MP_TaskData tasks_[4];
};

TEST_F(MethodStageTable, FramesGoPastTheCompressStageUnlessExecuting) {
  const struct {
    BZ_ExecuteState exec;
    BZ_TaskType receiver;
  } cases[] = {{kBZ_ProjStateExecuting, kBZ_ComprTaskType},
               {kBZ_ProjStatePreviewing, kBZ_WriteTaskType},
               {kBZ_ProjStateAnalyzingMovie, kBZ_WriteTaskType}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.exec);
    project_->state.exec = c.exec;
    BZ_BuffInfo *stage = nullptr, *receiver = nullptr;
    ASSERT_EQ(noErr, BZ_MsFindStage(&tasks_[1], &stage, &receiver));
    EXPECT_EQ(&Table()[1], stage);
    ASSERT_NE(nullptr, receiver);
    EXPECT_EQ(c.receiver, receiver->type);
  }
  // A receiver without a task record, or a task that is no stage's, is refused.
  Table()[3].taskData[0] = nullptr;
  project_->state.exec = kBZ_ProjStatePreviewing;
  BZ_BuffInfo *stage = nullptr, *receiver = nullptr;
  EXPECT_EQ(paramErr, BZ_MsFindStage(&tasks_[1], &stage, &receiver));
  MP_TaskData stranger{};
  stranger.termMessage2 = project_.get();
  EXPECT_EQ(paramErr, BZ_MsFindStage(&stranger, &stage, &receiver));
  EXPECT_EQ(nullptr, stage);
}

TEST_F(MethodStageTable, WorkItemsHaveOneSlotPerInputBuffer) {
  constexpr size_t kSize = 64;
  UInt8 buffers[3 * kSize] = {};
  BZ_BuffInfo &stage = Table()[1];
  stage.ptr = buffers;
  stage.size = kSize;
  stage.numFrameBuffers = 3;
  for (int b = 0; b < 3; ++b) {
    stage.frameBuffInfo[b].number = b;
    stage.frameBuffInfo[b].ptr = buffers + b * kSize;
  }
  struct Item {
    double a;
    char b[13];
  };
  BZ_MethodStage ms{};
  std::vector<UInt8> items(kBZ_MaxFrameBuffers * 64);
  ms.stage = &stage;
  ms.items = items.data();
  ms.itemSize = 64;
  auto *first = static_cast<Item *>(BZ_MsWorkItem(&ms, buffers));
  auto *third = static_cast<Item *>(BZ_MsWorkItem(&ms, buffers + 2 * kSize));
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(reinterpret_cast<UInt8 *>(first) + 2 * 64, reinterpret_cast<UInt8 *>(third));
  EXPECT_EQ(first, BZ_MsWorkItem(&ms, buffers + 5)) << "a pointer inside the buffer finds its slot";
  EXPECT_EQ(nullptr, BZ_MsWorkItem(&ms, buffers + 3 * kSize)) << "past the pool";
}

TEST(MethodStageWorkers, RoundRobinOverTheWorkers) {
  BZ_MethodStage ms{};
  MP_TaskData task1{};
  task1.numSubTasks = 3;
  std::vector<SInt32> order;
  for (int i = 0; i < 7; ++i) order.push_back(BZ_MsTakeWorkerNum(&ms, &task1));
  EXPECT_EQ((std::vector<SInt32>{0, 1, 2, 0, 1, 2, 0}), order);
}

}  // namespace
