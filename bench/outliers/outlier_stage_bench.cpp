// The outlier stage on its real tasks, frames with no specks fed from memory and drained at once, beside an
// identity stage of the standard cleaning-stage shape (distributor, workers that copy the frame, collector
// handing frames on in order) over the same stage table, feeder and drain. The stage works as it normally
// does: each frame's motion vectors against the frame before it, then the detector along them; ownMB and
// buffersMB give its own memory beside that of its frame pools. Each iteration is one run of kFrames frames, from the
// start of the stage's tasks to the drain's last frame; frames per second are reported (real time, since the
// work is on other threads). The outputs are checked: every frame in order, equal to its input.
//
// The same harness measures how the stage scales where it has work: BM_OutliersDetecting feeds textured
// frames with grain and a dozen dust spots each (16 different frames, so that a spot never recurs within
// a window), and BM_OutliersSkeletonPicture the same frames with the skeleton picture chosen (the gradient
// objects and skeletons of every frame). Their outputs are checked for order and against the outputs of
// the same case on one worker, when that case ran before in the same process.
//
//   bz_outliers_bench --benchmark_filter=Stage --benchmark_repetitions=5 (the trace goes to standard output;
//   use --benchmark_out=FILE for the figures)
#include "engine/runtime/project_settings.h"
#include "engine/runtime/stage_access.h"
#include "engine/tasks/task_runtime.h"
#include "general/processor_info.h"
#include "outliers/outlier_stage.h"
#include "outliers/outlier_worker.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <random>
#include <tuple>
#include <vector>

namespace {

constexpr SInt32 kFrames = 60;

void *Word(intptr_t v) { return reinterpret_cast<void *>(v); }

// ---- The identity stage: one frame in, one frame out, copied by a worker ----

struct IdItem {
  UInt8 *in, *out;
};
struct IdStage {
  MP_TaskData task2;
  BZ_ProjPtr project;
  BZ_BuffInfo *stage, *receiver;
  size_t bytes;
  IdItem items[kBZ_MaxFrameBuffers];
};

OSStatus IdWorker(void *parameter) {
  auto *w = static_cast<MP_TaskData *>(parameter);
  auto *s = static_cast<IdStage *>(w->creator->data);
  for (;;) {
    void *word = nullptr;
    if (OSStatus err = MPWaitOnQueue(w->inputQueue, nullptr, nullptr, &word, kDurationForever); err != noErr) return err;
    if (word == nullptr) return noErr;
    auto *item = static_cast<IdItem *>(word);
    std::memcpy(item->out, item->in, s->bytes);
    MPNotifyQueue(s->task2.inputQueue, Word(kBZ_ProcSubTaskType), s->project, item);
  }
}

OSStatus IdTask2(void *parameter) {
  auto *t2 = static_cast<MP_TaskData *>(parameter);
  auto *s = static_cast<IdStage *>(t2->data);
  IdItem byOut[kBZ_MaxFrameBuffers] = {};
  Boolean finished = false;
  OSStatus err = noErr;
  while (!finished && err == noErr) {
    void *word = nullptr;
    if ((err = BZ_WaitForBuffer(t2, t2->inputQueue, &word, nullptr, &finished)) != noErr || finished) break;
    const IdItem item = *static_cast<IdItem *>(word);
    byOut[BZ_GetFrameBuffInfo(s->receiver, item.out)->number] = item;
    MPNotifyQueue(s->stage->mpInfo.outputPool, Word(kBZ_OutlierTaskType), nullptr, item.out);
    for (;;) {
      UInt8 *frame = nullptr;
      err = BZ_GetFrameFromOutputPool(kBZ_ProjStateExecuting, s->receiver, kBZ_OutlierTaskType, &s->stage->mpInfo, &frame);
      if (err != noErr || frame == nullptr) break;
      const IdItem &done = byOut[BZ_GetFrameBuffInfo(s->receiver, frame)->number];
      err = BZ_NotifyFrame(s->project, kBZ_OutlierTaskType, s->stage->taskData[0].load()->inFreeQueue,
                           s->receiver->taskData[0].load()->inputQueue, done.in, frame);
    }
  }
  return err;
}

OSStatus IdTask1(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  auto *project = static_cast<BZ_ProjPtr>(task->termMessage2);
  IdStage s{};
  s.project = project;
  s.stage = &project->dynIO_Info.buffInfo[1];
  s.receiver = &project->dynIO_Info.buffInfo[2];
  s.bytes = s.stage->size;
  task->data = &s;
  s.task2.type = kBZ_OutlierTaskType;
  s.task2.termMessage1 = Word(kBZ_OutlierTaskType);
  s.task2.creator = task;
  s.task2.queuesAllocated = kMP_InputQueueAlloc | kMP_TermQueueAlloc;
  s.task2.entryPoint = IdTask2;
  s.task2.data = &s;
  OSStatus err = MP_CreateTask(&s.task2);
  task->numSubTasks = BZ_GetNumSubTasks();
  if (err == noErr) err = BZ_CreateSubTasks(task, IdWorker, s.stage->subTaskInputQueue);
  MPQueueID outFree = s.receiver->taskData[0].load()->inFreeQueue;
  Boolean finished = false;
  while (err == noErr && !finished) {
    void *in = nullptr, *out = nullptr;
    if ((err = BZ_WaitForBuffer(task, task->inputQueue, &in, nullptr, &finished)) != noErr || finished) break;
    if ((err = BZ_WaitForBuffer(task, outFree, &out, nullptr, &finished)) != noErr || finished) break;
    BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(s.stage, in), *outInfo = BZ_GetFrameBuffInfo(s.receiver, out);
    BZ_CopyFrameInfo(inInfo, outInfo);
    IdItem &item = s.items[inInfo->number];
    item = {static_cast<UInt8 *>(in), static_cast<UInt8 *>(out)};
    err = MPNotifyQueue(s.stage->subTaskInputQueue, Word(kBZ_OutlierTaskType), project, &item);
  }
  BZ_CloseProcSubTasks(task, project);
  MPNotifyQueue(s.task2.inputQueue, Word(kBZ_OutlierTaskType), project, Word(kBZ_EndOfStreamMessage));
  void *result = nullptr;
  MPWaitOnQueue(s.task2.termQueue, nullptr, nullptr, &result, kDurationForever);
  s.task2.ID = nullptr;
  MP_DisposeTask(&s.task2);
  return err;
}

// ---- The harness: a table of feeder (copy), the stage and a draining write stage ----

enum class Material { kNoSpecks, kDust, kDustSkeletons };

// A hash of whole words (the buffers are whole words long), cheap enough not to slow the drain.
UInt64 Hash(const UInt8 *p, size_t n) {
  UInt64 h = 1469598103934665603ull;
  for (size_t i = 0; i + 8 <= n; i += 8) {
    UInt64 w;
    std::memcpy(&w, p + i, 8);
    h = (h ^ w) * 1099511628211ull;
  }
  return h;
}

struct Drain {
  std::atomic<SInt32> frames{0};
  std::atomic<SInt32> outOfOrder{0};
  std::atomic<SInt32> damaged{0};
  MPSemaphoreID done = nullptr;
  BZ_BuffInfo *stage = nullptr;
  const std::vector<std::vector<UInt8>> *sources = nullptr;
  size_t bytes = 0;
  // Material with specks: the outputs' hashes, checked against expected when it holds kFrames of them.
  bool compareWithSource = true;
  std::vector<UInt64> hashes, expected;
};

OSStatus DrainTask(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  auto *d = static_cast<Drain *>(task->data);
  for (;;) {
    void *word = nullptr;
    if (OSStatus err = MPWaitOnQueue(task->inputQueue, nullptr, nullptr, &word, kDurationForever); err != noErr) return err;
    if (word == nullptr) return noErr;
    BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(d->stage, word);
    const SInt32 n = d->frames.load();
    if (info == nullptr || info->frameNum != n) {
      ++d->outOfOrder;
    } else if (d->compareWithSource) {
      if (std::memcmp(word, (*d->sources)[size_t(n) % d->sources->size()].data(), d->bytes) != 0) ++d->damaged;
    } else {
      d->hashes[size_t(n)] = Hash(static_cast<const UInt8 *>(word), d->bytes);
      if (d->expected.size() == size_t(kFrames) && d->hashes[size_t(n)] != d->expected[size_t(n)]) ++d->damaged;
    }
    MPNotifyQueue(task->inFreeQueue, Word(kBZ_WriteTaskType), nullptr, word);
    if (++d->frames == kFrames) MPSignalSemaphore(d->done);
  }
}

void InitPool(BZ_BuffInfo *stage, SInt32 count, size_t size, std::vector<UInt8> *block) {
  block->assign(size_t(count) * size, 0);
  stage->size = size;
  stage->numFrameBuffers = count;
  stage->ptr = block->data();
  for (SInt32 i = 0; i < count; ++i) {
    stage->frameBuffInfo[i] = BZ_FrameBuffInfo{};
    stage->frameBuffInfo[i].number = i;
    stage->frameBuffInfo[i].ptr = block->data() + size_t(i) * size;
    stage->frameBuffInfo[i].frameNum = -1;
  }
}

// Textured frames with light grain, each with a dozen dark and bright spots of radius 2 at its own places.
std::vector<std::vector<UInt8>> DustyFrames(SInt32 width, SInt32 height, SInt32 bufWidth, size_t size) {
  std::mt19937 random(7);
  std::normal_distribution<double> grain(0, 4);
  std::vector<std::vector<UInt8>> frames(16, std::vector<UInt8>(size, 128));
  for (std::vector<UInt8> &f : frames) {
    auto luma = [&](SInt32 x, SInt32 y) -> UInt8 & { return f[2 * size_t((y + 8) * bufWidth + x + 8) + 1]; };
    for (SInt32 y = 0; y < height; ++y)
      for (SInt32 x = 0; x < width; ++x)
        luma(x, y) = UInt8(std::clamp(120 + 40 * std::sin(x * 0.21) * std::cos(y * 0.17) + grain(random), 16.0, 235.0));
    for (int i = 0; i < 12; ++i) {
      const SInt32 cx = 20 + SInt32(random() % UInt32(width - 40)), cy = 20 + SInt32(random() % UInt32(height - 40));
      for (SInt32 y = cy - 2; y <= cy + 2; ++y)
        for (SInt32 x = cx - 2; x <= cx + 2; ++x)
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 5)
            luma(x, y) = UInt8(i % 2 != 0 ? std::min(255, luma(x, y) + 90) : std::max(0, luma(x, y) - 90));
    }
  }
  return frames;
}

// The outputs of a case on one worker, by material and size, for the runs on more workers to match.
std::map<std::tuple<Material, SInt32, SInt32>, std::vector<UInt64>> &OneWorkerOutputs() {
  static std::map<std::tuple<Material, SInt32, SInt32>, std::vector<UInt64>> outputs;
  return outputs;
}

void RunStage(benchmark::State &state, TaskProc entry, Material material = Material::kNoSpecks) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1)), workers = SInt32(state.range(2));
  gBZ.numProcessors = ItemCount(workers);
  GL_GetProcessorInfo(&gBZ.procInfo);  // the vector paths, as the application has them
  BZ_Project *project = new BZ_Project();
  gBZ.project = project;
  BZ_StatMovInfo &movie = project->info.statMovInfo[0];
  movie.width = width;
  movie.height = height;
  movie.numFrames = kFrames;
  BZ_MakeDefaultOuSett(&project->info.settings.cleaning.ou);
  project->state.exec = kBZ_ProjStateExecuting;
  BZ_OuDlgTaskData *ou = nullptr;
  BZ_OuInitDlgTaskData(&ou);
  gBZ.dlgTaskData.ouDlgTaskData = ou;
  SInt32 bufH = 0, bufW = 0;
  SInt64 size = 0;
  BZ_GetBufferSize(height, width, false, &bufH, &bufW, &size);
  const size_t bytes = size_t(bufW) * size_t(bufH) * 2;
  const SInt32 k = project->info.settings.cleaning.ou.numConstPix;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  table[0].type = kBZ_CopyTaskType;
  table[1].type = kBZ_OutlierTaskType;
  table[1].number = 1;
  table[2].type = kBZ_WriteTaskType;
  table[2].number = 2;
  std::vector<UInt8> inBlock, outBlock;
  InitPool(&table[1], 4 * k + workers + 1, size_t(size), &inBlock);
  InitPool(&table[2], 1 + workers, size_t(size), &outBlock);
  // Without specks: four different pictures, a gradient a level brighter each frame, so that every pixel
  // stays within a few levels of its neighbours in time and the detector finds nothing to replace.
  std::vector<std::vector<UInt8>> sources;
  if (material == Material::kNoSpecks) {
    sources.assign(4, std::vector<UInt8>(size_t(size), 128));
    for (size_t f = 0; f < 4; ++f)
      for (size_t p = 0; p < bytes / 2; ++p) sources[f][2 * p + 1] = UInt8(16 + p % 200 + f);
  } else {
    sources = DustyFrames(width, height, bufW, size_t(size));
  }
  BZ_OuPictureSwitches skeletons{};
  skeletons.printingSkeletons = true;
  BZ_OuSetPictureSwitches(material == Material::kDustSkeletons ? &skeletons : nullptr);

  MP_TaskData mainTask{};
  mainTask.type = kBZ_MainTaskType;
  MPCreateQueue(&mainTask.inputQueue);
  MP_TaskData stageTask{}, drainTask{};
  Drain drain;
  drain.stage = &table[2];
  drain.sources = &sources;
  drain.bytes = bytes;
  drain.compareWithSource = material == Material::kNoSpecks;
  drain.hashes.assign(size_t(kFrames), 0);
  const auto key = std::make_tuple(material, width, height);
  const auto reference = OneWorkerOutputs().find(key);
  if (reference != OneWorkerOutputs().end()) drain.expected = reference->second;
  MPCreateSemaphore(1, 0, &drain.done);
  SInt64 framesDone = 0;
  bool ok = true;
  // One untimed run first, so that both stages meet the same warm caches and touched pages.
  bool warm = false;
  auto oneRun = [&](bool timed) {
    auto pause = [&] { if (timed) state.PauseTiming(); };
    auto resume = [&] { if (timed) state.ResumeTiming(); };
    pause();
    MP_DeleteQueue(&stageTask.inFreeQueue);
    MP_DeleteQueue(&stageTask.inputQueue);
    stageTask.~MP_TaskData();
    new (&stageTask) MP_TaskData{};
    stageTask.type = kBZ_OutlierTaskType;
    stageTask.termMessage1 = Word(kBZ_OutlierTaskType);
    stageTask.termMessage2 = project;
    stageTask.termQueue = mainTask.inputQueue;
    stageTask.creator = &mainTask;
    stageTask.entryPoint = entry;
    MP_RecreateQueue(&stageTask.inFreeQueue);
    MP_RecreateQueue(&stageTask.inputQueue);
    MP_RecreateQueue(&table[1].subTaskInputQueue);
    MP_RecreateQueue(&table[1].mpInfo.outputPool);
    MP_RecreateEvent(&table[1].event);
    table[1].mpInfo.outFrameNum = 0;
    table[1].taskData[0] = &stageTask;
    table[1].numTasks = 1;
    drainTask.~MP_TaskData();
    new (&drainTask) MP_TaskData{};
    drainTask.type = kBZ_WriteTaskType;
    drainTask.entryPoint = DrainTask;
    drainTask.data = &drain;
    drainTask.queuesAllocated = kMP_TermQueueAlloc;
    MP_RecreateQueue(&drainTask.inFreeQueue);
    MP_RecreateQueue(&drainTask.inputQueue);
    table[2].taskData[0] = &drainTask;
    drain.frames = 0;
    for (SInt32 b = 0; b < table[1].numFrameBuffers; ++b)
      MPNotifyQueue(stageTask.inFreeQueue, Word(kBZ_OutlierTaskType), project, table[1].frameBuffInfo[b].ptr);
    for (SInt32 b = 0; b < table[2].numFrameBuffers; ++b)
      MPNotifyQueue(drainTask.inFreeQueue, Word(kBZ_WriteTaskType), project, table[2].frameBuffInfo[b].ptr);
    MP_CreateTask(&drainTask);
    resume();

    MP_CreateTask(&stageTask);
    for (SInt32 f = 0; f < kFrames; ++f) {
      // The feeder copies the frame in from memory, as a copy stage fills its output.
      void *buffer = nullptr;
      MPWaitOnQueue(stageTask.inFreeQueue, nullptr, nullptr, &buffer, kDurationForever);
      BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(&table[1], buffer);
      std::memcpy(buffer, sources[size_t(f) % sources.size()].data(), bytes);
      info->frameNum = f;
      info->inArrayNum = f;
      MPNotifyQueue(stageTask.inputQueue, Word(kBZ_CopyTaskType), project, buffer);
    }
    MPWaitOnSemaphore(drain.done, kDurationForever);

    pause();
    MPNotifyQueue(stageTask.inputQueue, Word(kBZ_MainTaskType), project, Word(kBZ_CancelProjectMessage));
    void *result = nullptr;
    MPWaitOnQueue(mainTask.inputQueue, nullptr, nullptr, &result, kDurationForever);
    MPNotifyQueue(drainTask.inputQueue, nullptr, nullptr, nullptr);
    MPWaitOnQueue(drainTask.termQueue, nullptr, nullptr, &result, kDurationForever);
    drainTask.ID = nullptr;
    MP_DisposeTask(&drainTask);
    MP_DeleteQueue(&drainTask.inFreeQueue);
    MP_DeleteQueue(&drainTask.inputQueue);
    ok = ok && drain.outOfOrder == 0 && drain.damaged == 0;
    if (timed) framesDone += kFrames;
    resume();
  };
  for (auto _ : state) {
    if (!warm) {
      state.PauseTiming();
      oneRun(false);
      warm = true;
      state.ResumeTiming();
    }
    oneRun(true);
  }
  if (!ok) state.SkipWithError("frames out of order or changed");
  if (ok && !drain.compareWithSource && workers == 1) OneWorkerOutputs()[key] = drain.hashes;
  BZ_OuSetPictureSwitches(nullptr);
  state.counters["fps"] = benchmark::Counter(double(framesDone), benchmark::Counter::kIsRate);
  // The stage's own memory (flag planes, pixel lists, motion-vector arrays and scratch) beside the frame
  // buffers of its input and output pools, in MB.
  if (ou->cacheWidth > 0) {
    const double pixels = double(ou->cacheWidth) * ou->cacheHeight;
    const double own = pixels * (2.0 * ou->cacheNumInBuffers + 4.0 + 6.0 * ou->cacheNumWorkers) +
                       double(ou->mvArraySize) * ou->mvNumArrays + double(ou->mvScratchSize) * ou->mvNumWorkers;
    state.counters["ownMB"] = own / 1e6;
    state.counters["buffersMB"] = double(inBlock.size() + outBlock.size()) / 1e6;
  }
  MP_DeleteQueue(&stageTask.inFreeQueue);
  MP_DeleteQueue(&stageTask.inputQueue);
  MP_DeleteQueue(&table[1].subTaskInputQueue);
  MP_DeleteQueue(&table[1].mpInfo.outputPool);
  MP_DeleteEvent(&table[1].event);
  MP_DeleteQueue(&mainTask.inputQueue);
  MP_DeleteSemaphore(&drain.done);
  std::free(table[1].addStorage);
  gBZ.dlgTaskData.ouDlgTaskData = nullptr;
  BZ_OuDisposeDlgTaskDataRecord(&ou);
  gBZ.project = nullptr;
  delete project;
  gBZ.numProcessors = 0;
}

void BM_OutliersTask(benchmark::State &state) { RunStage(state, BZ_OutliersTask); }
void BM_IdentityStage(benchmark::State &state) { RunStage(state, IdTask1); }

// The ceiling the stage's scaling is measured against: its window job (BZ_OuRemoveOutliers) on the same
// dusty frames, run by N threads at once with no stage around them, each thread with its own scratch and
// output. Frames per second over all threads.
void BM_OutlierWindowJobsAlone(benchmark::State &state) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  BZ_OuSett sett{};
  BZ_MakeDefaultOuSett(&sett);
  BZ_OuParams params{};
  params.sett = &sett;
  params.executing = true;
  params.inWidth = width;
  params.inHeight = height;
  params.numInBuffers = 4 * sett.numConstPix + 1;
  SInt64 size = 0;
  BZ_GetBufferSize(height, width, false, &params.height, &params.width, &size);
  static std::vector<std::vector<UInt8>> frames;  // shared by the threads; made by the first
  static SInt32 madeFor = 0;
  if (state.thread_index() == 0 && madeFor != width) {
    GL_GetProcessorInfo(&gBZ.procInfo);
    frames = DustyFrames(width, height, params.width, size_t(size));
    madeFor = width;
  }
  const size_t pixels = size_t(params.width) * size_t(params.height);
  std::vector<UInt16> data(pixels);
  std::vector<SInt32> pixelList(pixels);
  std::vector<UInt8> out(static_cast<size_t>(size));
  SInt32 av[kBZ_OuNumWindowSlots] = {}, nums[kBZ_OuNumWindowSlots] = {};
  SInt32 centre = SInt32(state.thread_index());
  for (auto _ : state) {
    UInt8 *window[kBZ_OuNumWindowSlots] = {};
    for (SInt32 i = 0; i < params.numInBuffers; ++i) window[i] = frames[size_t(centre + i) % frames.size()].data();
    BZ_OuRemoveOutliers(&params, av, nums, window, out.data(), pixelList.data(), data.data(), nullptr, nullptr,
                        nullptr, nullptr);
    ++centre;
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
void BM_OutliersDetecting(benchmark::State &state) { RunStage(state, BZ_OutliersTask, Material::kDust); }
void BM_OutliersSkeletonPicture(benchmark::State &state) {
  RunStage(state, BZ_OutliersTask, Material::kDustSkeletons);
}

void Sizes(benchmark::internal::Benchmark *b) {
  for (auto [w, h] : {std::pair{720, 576}, std::pair{1920, 1080}})
    for (int workers : {1, 2, 4, 8}) b->Args({w, h, workers});
  b->UseRealTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_IdentityStage)->Apply(Sizes);
BENCHMARK(BM_OutliersTask)->Apply(Sizes);
BENCHMARK(BM_OutliersDetecting)->Apply(Sizes);
BENCHMARK(BM_OutlierWindowJobsAlone)->Args({720, 576})->Args({1920, 1080})->Threads(1)->Threads(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutliersSkeletonPicture)->Args({720, 576, 1})->Args({720, 576, 8})->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
