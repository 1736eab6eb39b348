// How a real method stage scales with its workers: the stage runs in a real stage table under the real main
// task, between a feeding stage that hands out pre-made padded frames (the test stages' read and copy stages,
// which touch no pixel) and a draining stage that returns them (the test stages' write stage). One iteration
// is one execution of kFrames frames; the rate is frames per second of real time. Args: workers.
//
//   bz_methods_bench --benchmark_filter=StageScaling
#include "methods/cross_luma_stage.h"
#include "methods/noise_reduction_stage.h"
#include "methods/noise_tables.h"
#include "methods/spectral_windows.h"
#include "methods/varbr_measuring_stage.h"

#include "bench_frames.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_settings.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "general/memory_lists.h"
#include "general/processor_info.h"
#include "platform/core/event_loop.h"
#include "support/engine_fixtures.h"
#include "support/test_stages.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

constexpr SInt32 kFrames = 200;
constexpr EventTimeout kLimit = 120;

// The random-noise tables, made once per process as start-up makes them (a project record clears gBZ's
// pointer when it goes, so each bench puts it back).
bool UseNoiseTables() {
  static BZ_RnDlgTaskData *tables = nullptr;
  if (tables == nullptr) {
    gBZ.dlgTaskData.rnDlgTaskData = nullptr;
    if (BZ_RnInitDlgTaskData(&gBZ.dlgTaskData.rnDlgTaskData) != noErr ||
        BZ_InitVectorFloatStorage(&gBZ.dlgTaskData) != noErr)
      return false;
    // Seeded, so every run filters alike.
    BZ_RnSetNoiseTablesSeed(true, 2024);
    const bool made = BZ_CreateNoiseTables(nullptr) == noErr;
    BZ_RnSetNoiseTablesSeed(false, 0);
    if (!made) return false;
    tables = gBZ.dlgTaskData.rnDlgTaskData;
  }
  gBZ.dlgTaskData.rnDlgTaskData = tables;
  return true;
}

// One project with its table, main task and handlers for the benchmark's lifetime.
class StageBench {
 public:
  StageBench(BZ_TaskType type, SInt32 workers, SInt32 inWidth, SInt32 inHeight, BZ_RlMode logoMode,
             bool noiseHorizOnly) {
    gBZ.numProcessors = ItemCount(workers);
    GL_GetProcessorInfo(&gBZ.procInfo);
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, inHeight, inWidth, kFrames, '2vuy');
    // Averaging reads a second capture of the same size.
    if (type == kBZ_AverageTaskType) bz_test::DescribeSource(movies, 1, inHeight, inWidth, kFrames, '2vuy');
    BZ_MakeDefaultProjSett(movies, &project_->info.settings);
    BZ_CleaninSett &c = project_->info.settings.cleaning;
    c.average.apply = c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = false;
    if (type == kBZ_CrossLumaTaskType) c.crossLuma.apply = true;
    if (type == kBZ_AverageTaskType) {
      c.average.apply = true;
      c.average.shift = 1.25;  // a sub-pixel shift: the stage's full per-pixel cost
    }
    if (type == kBZ_VarBrTaskType) {
      c.varBr.apply = true;
      // The tables an analysis of the movie leaves, for either field order: one factor per frame or field.
      if (BZ_VbInitDlgTaskData(&vb_) == noErr) {
        const std::pair<float **, SInt32 *> tables[] = {{&vb_->vbFactors, &vb_->numVbFactors},
                                                        {&vb_->vbFactorsTop, &vb_->numVbFactorsTop},
                                                        {&vb_->vbFactorsBottom, &vb_->numVbFactorsBottom}};
        for (const auto &[table, count] : tables) {
          const SInt32 n = table == &vb_->vbFactors ? kFrames : 2 * kFrames;
          if (GL_NewPtrClear(size_t(n) * sizeof(float), table) != noErr) continue;
          for (SInt32 i = 0; i < n; ++i) (*table)[i] = 1.0f + 0.05f * float(i % 8) / 8.0f;
          *count = n;
        }
      }
      gBZ.dlgTaskData.vbDlgTaskData = vb_;
    }
    if (type == kBZ_NoiseRedTaskType) {
      // At its defaults: both directions (the two-dimensional filter) with the measured model; or horizontal
      // filtering alone at manual levels.
      c.noiseRed.apply = true;
      if (noiseHorizOnly) {
        c.noiseRed.automatic = false;
        c.noiseRed.horizontal = true;
        c.noiseRed.vertical = false;
        c.noiseRed.noiseLevel[0] = 18;
        c.noiseRed.noiseLevel[1] = c.noiseRed.noiseLevel[2] = 5;
      }
    }
    if (type == kBZ_RlTaskType) {
      c.removeLogo.apply = true;
      c.removeLogo.mode = logoMode;
      c.removeLogo.logoRect = Rect{100, 100, 200, 400};  // 300 x 100
    }
    project_->info.settings.output.cType = '2vuy';
    MPCreateSemaphore(1, 0, &prf_);
    gBZ.dlgTaskData.prfSemaphore = prf_;
    ok_ = BZ_InstallEngineEventHandlers(&handler_) == noErr;
    ok_ = ok_ && (type != kBZ_NoiseRedTaskType || UseNoiseTables());
    bz_test::InstallTestStages(kFrames, 1, {type});
    bz_test::TestStages().premadeFrames = true;
    ok_ = ok_ && MPCreateQueue(&gBZ.mainTaskData.termQueue) == noErr;
    ok_ = ok_ && BZ_CreateMainTask(project_.get()) == noErr;
    ok_ = ok_ && BZ_CreateBuffers() == noErr;
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    // One write stage: the noise movie's stages go.
    if (BZ_BuffInfo *noise = BZ_GetBufferInfoByStageType(table, kBZ_NoiseFrameTaskType, 0)) {
      noise[0].type = kBZ_NoTaskType;
      noise[1].type = kBZ_NoTaskType;
    }
    stage_ = BZ_GetBufferInfoByStageType(table, type, 0);
    ok_ = ok_ && stage_ != nullptr;
    if (!ok_) return;
    // Every input buffer holds the frame once and for all; the stage only reads them.
    SInt32 height = 0, width = 0;
    BZ_GetBufferSize(inHeight, inWidth, false, &height, &width, nullptr);
    for (SInt32 b = 0; b < stage_->numFrameBuffers; ++b)
      bz_bench::MakeColourBandFrame(width, height, stage_->frameBuffInfo[b].ptr);
    for (SInt32 b = 0; b < stage_->numFrameBuffers2; ++b)
      bz_bench::MakeColourBandFrame(width, height, stage_->frameBuffInfo2[b].ptr);
  }

  ~StageBench() {
    if (gBZ.mainTaskData.ID != nullptr) {
      MPNotifyQueue(gBZ.mainTaskData.inputQueue, BZ_Word(kBZ_MainThreadTaskType), project_.get(),
                    BZ_Word(kBZ_AppQuitMessage));
      PL_RunEventLoopUntil([&] { return BZ_WaitForMainTaskTermMessage(kDurationImmediate) != kMPTimeoutErr; },
                           kLimit);
    }
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
    gBZ.mainTaskData.~MP_TaskData();
    new (&gBZ.mainTaskData) MP_TaskData{};
    gBZ.dlgTaskData.prfSemaphore = nullptr;
    MP_DeleteSemaphore(&prf_);
    if (handler_ != nullptr) RemoveEventHandler(handler_);
    FlushEventQueue(GetMainEventQueue());
    gBZ.numProcessors = 0;
    if (vb_ != nullptr) {
      gBZ.dlgTaskData.vbDlgTaskData = nullptr;
      BZ_VbDisposeDlgTaskDataRecord(&vb_);
    }
  }

  bool ok() const { return ok_; }

  // One execution of every frame; false when it did not finish.
  bool Run() {
    bz_test::TestStageConfig &c = bz_test::TestStages();
    c.openWriteStages = 1;
    {
      std::lock_guard<std::mutex> lock(c.mutex);
      c.written[0].clear();
    }
    project_->state.exec = kBZ_ProjStateExecuting;
    if (MPNotifyQueue(gBZ.mainTaskData.inputQueue, BZ_Word(kBZ_MainThreadTaskType), project_.get(),
                      BZ_Word(kBZ_RunProjectMessage)) != noErr)
      return false;
    void *code = nullptr;
    if (PL_RunEventLoopUntil([&] {
          return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) == noErr;
        }, kLimit) != noErr)
      return false;
    std::lock_guard<std::mutex> lock(c.mutex);
    return code == nullptr && project_->state.exec == kBZ_ProjStateFinished && SInt32(c.written[0].size()) == kFrames;
  }

 private:
  bz_test::CurrentProject project_;
  MPSemaphoreID prf_ = nullptr;
  EventHandlerRef handler_ = nullptr;
  BZ_BuffInfo *stage_ = nullptr;
  BZ_VbDlgTaskData *vb_ = nullptr;
  bool ok_ = false;
};

void StageScaling(benchmark::State &state, BZ_TaskType type, SInt32 inWidth, SInt32 inHeight,
                  BZ_RlMode logoMode = kBZ_LogoModeDiminish, bool noiseHorizOnly = false) {
  // The engine's trace lines would swamp the results.
  std::FILE *saved = stdout;
  stdout = std::fopen(std::getenv("BZ_BENCH_TRACE") ? "/tmp/x/trace.log" : "/dev/null", "w");
  double workers = 0;
  {
    StageBench bench(type, SInt32(state.range(0)), inWidth, inHeight, logoMode, noiseHorizOnly);
    workers = double(BZ_GetNumSubTasks());
    if (!bench.ok()) state.SkipWithError("the stage table could not be made");
    for (auto _ : state)
      if (bench.ok() && !bench.Run()) {
        state.SkipWithError("the run did not finish with every frame");
        break;
      }
  }
  std::fclose(stdout);
  stdout = saved;
  state.counters["fps"] = benchmark::Counter(double(kFrames), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["workers"] = workers;
}

void BM_StageScaling_CrossLuma_720(benchmark::State &state) { StageScaling(state, kBZ_CrossLumaTaskType, 720, 576); }
BENCHMARK(BM_StageScaling_CrossLuma_720)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
void BM_StageScaling_Average_720(benchmark::State &state) { StageScaling(state, kBZ_AverageTaskType, 720, 576); }
BENCHMARK(BM_StageScaling_Average_720)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
void BM_StageScaling_VarBr_720(benchmark::State &state) { StageScaling(state, kBZ_VarBrTaskType, 720, 576); }
BENCHMARK(BM_StageScaling_VarBr_720)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
void BM_StageScaling_NoiseReduction_720(benchmark::State &state) { StageScaling(state, kBZ_NoiseRedTaskType, 720, 576); }
BENCHMARK(BM_StageScaling_NoiseReduction_720)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
void BM_StageScaling_NoiseReductionHoriz_720(benchmark::State &state) {
  StageScaling(state, kBZ_NoiseRedTaskType, 720, 576, kBZ_LogoModeDiminish, true);
}
BENCHMARK(BM_StageScaling_NoiseReductionHoriz_720)
    ->Arg(1)
    ->Arg(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
// Logo removal on a 300 x 100 rectangle: interpolation (heavy) and diminishing (light).
void BM_StageScaling_LogoInterp_720(benchmark::State &state) {
  StageScaling(state, kBZ_RlTaskType, 720, 576, kBZ_LogoModeInterp);
}
BENCHMARK(BM_StageScaling_LogoInterp_720)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
void BM_StageScaling_LogoDiminish_720(benchmark::State &state) {
  StageScaling(state, kBZ_RlTaskType, 720, 576, kBZ_LogoModeDiminish);
}
BENCHMARK(BM_StageScaling_LogoDiminish_720)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
