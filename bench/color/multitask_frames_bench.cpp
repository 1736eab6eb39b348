// The banded frame operations on 1920x1080 over 8 worker tasks against their single-task dispatchers in the
// same run. Each case first checks that the banded result equals the single-task one byte for byte, so a
// fast wrong answer cannot pass as a result. Real time, since the work happens on the workers.
//
//   build/bench/bz_color_bench --benchmark_filter=Multitask --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true
#include "color/gamma_tables.h"
#include "color/legalising.h"
#include "color/multitask_frames.h"
#include "engine/tasks/task_runtime.h"
#include "support/color_frames.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

enum class Op { kSanityCheck, kLimitIRE, kGamma };
constexpr SInt32 kWidth = 1920, kHeight = 1080;

// Workers on one shared queue, closed at the end of the case.
struct Pool {
  MP_TaskData stage{};
  MPQueueID shared = nullptr;
  MPEventID event = nullptr;
  Pool(SInt32 workers, TaskProc entry) {
    MPCreateQueue(&stage.inputQueue);
    MPCreateQueue(&shared);
    MPCreateEvent(&event);
    stage.numSubTasks = workers;
    BZ_CreateSubTasks(&stage, entry, shared);
  }
  ~Pool() {
    BZ_CloseProcSubTasks(&stage, nullptr);
    MPDeleteQueue(shared);
    MPDeleteQueue(stage.inputQueue);
    MPDeleteEvent(event);
  }
};

struct Frames {
  bz_test::GuardedFrame input{kWidth, kHeight};
  bz_test::GuardedFrame work{kWidth, kHeight};
  std::vector<UInt16> table = std::vector<UInt16>(kCO_RGBTableEntries);
  Frames() {
    bz_test::Fill2vuyRandom(input, bz_test::Rng());
    CO_MakeRGBTable(2.2f, 1.8f, table.data());
  }
};

// One pass of the operation: banded over `workers` processors when pool is given, else single-task.
OSStatus RunOnce(Op op, Frames &f, float *lines, SInt32 processors, Pool *pool, CO_MP_SanityCheckParams *sanity,
                 CO_MP_LimitIRE_Params *ire, CO_MP_Change2vuyGammaParams *gamma) {
  if (pool == nullptr) {
    switch (op) {
      case Op::kSanityCheck: CO_FrameSanityCheckUni(false, true, kHeight, kWidth, f.work.data(), lines, false); break;
      case Op::kLimitIRE: CO_FrameLimitIRE_Uni(false, true, kHeight, kWidth, f.work.data(), lines, false, 1.1f); break;
      case Op::kGamma:
        CO_2vuyFrameChangeGammaUni(false, true, kHeight, kWidth, f.input.data(), f.work.data(), lines, kWidth * 2,
                                   kWidth * 2, 2.2f, 1.8f, f.table.data());
        break;
    }
    return noErr;
  }
  switch (op) {
    case Op::kSanityCheck:
      return CO_FrameSanityCheckUniMP(false, true, kHeight, kWidth, f.work.data(), lines, false, processors, sanity,
                                      pool->shared, pool->event);
    case Op::kLimitIRE:
      return CO_FrameLimitIRE_UniMP(false, true, kHeight, kWidth, f.work.data(), lines, false, 1.1f, processors, ire,
                                    pool->shared, pool->event);
    case Op::kGamma:
      return CO_2vuyFrameChangeGammaUniMP(false, true, kHeight, kWidth, f.input.data(), f.work.data(), lines,
                                          kWidth * 2, kWidth * 2, f.table.data(), 2.2f, 1.8f, processors, gamma,
                                          pool->shared, pool->event);
  }
  return paramErr;
}

TaskProc EntryOf(Op op) {
  return op == Op::kSanityCheck ? CO_FrameSanityCheckUniTask
         : op == Op::kLimitIRE  ? CO_FrameLimitIRE_UniTask
                                : CO_2vuyFrameChangeGammaUniTask;
}

void BM_Multitask(benchmark::State &state, Op op) {
  const SInt32 workers = SInt32(state.range(0));  // 0: the single-task dispatcher
  const SInt32 processors = workers == 0 ? 1 : workers;
  Frames f;
  std::vector<float> lines(size_t(processors) * kWidth * 2);
  std::unique_ptr<CO_MP_SanityCheckParams[]> sanity(new CO_MP_SanityCheckParams[size_t(processors)]());
  std::unique_ptr<CO_MP_LimitIRE_Params[]> ire(new CO_MP_LimitIRE_Params[size_t(processors)]());
  std::unique_ptr<CO_MP_Change2vuyGammaParams[]> gamma(new CO_MP_Change2vuyGammaParams[size_t(processors)]());
  for (SInt32 k = 0; k < processors; ++k) sanity[k].hasSSE3 = ire[k].hasSSE3 = gamma[k].hasSSE3 = true;
  std::unique_ptr<Pool> pool(workers > 0 ? new Pool(workers, EntryOf(op)) : nullptr);

  // The result must be the single-task one. (Later passes of the legalising operations work in place on
  // what the previous pass left; the work per pass stays the same.)
  Frames reference;
  reference.input = f.input;
  std::vector<float> line(size_t(kWidth) * 2);
  std::memcpy(reference.work.data(), f.input.data(), size_t(kWidth) * kHeight * 2);
  std::memcpy(f.work.data(), f.input.data(), size_t(kWidth) * kHeight * 2);
  RunOnce(op, reference, line.data(), 1, nullptr, nullptr, nullptr, nullptr);
  if (RunOnce(op, f, lines.data(), processors, pool.get(), sanity.get(), ire.get(), gamma.get()) != noErr ||
      std::memcmp(f.work.data(), reference.work.data(), size_t(kWidth) * kHeight * 2) != 0) {
    state.SkipWithError("banded result differs from the single-task one");
    return;
  }
  for (auto _ : state) {
    RunOnce(op, f, lines.data(), processors, pool.get(), sanity.get(), ire.get(), gamma.get());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 2);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_Multitask, CO_FrameSanityCheckUniMP, Op::kSanityCheck)->Arg(0)->Arg(8)->UseRealTime();
BENCHMARK_CAPTURE(BM_Multitask, CO_FrameLimitIRE_UniMP, Op::kLimitIRE)->Arg(0)->Arg(8)->UseRealTime();
BENCHMARK_CAPTURE(BM_Multitask, CO_2vuyFrameChangeGammaUniMP, Op::kGamma)->Arg(0)->Arg(8)->UseRealTime();

}  // namespace
