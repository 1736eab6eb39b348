// The stage table and the one block of frame buffers of a run.
#include "engine/stage_table.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/compression.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

// The block is anonymous memory: zeroed, page aligned and taken from the system only as it is touched. A
// 64-byte header in front keeps the mapping's size and leaves the buffers 64-byte aligned.
constexpr size_t kBlockHeader = 64;

UInt8 *NewBufferBlock(SInt64 size) {
  if (size < 0 || UInt64(size) > std::numeric_limits<size_t>::max() - kBlockHeader || PL_AllocationShouldFail())
    return nullptr;
  const size_t mapped = size_t(size) + kBlockHeader;
  void *p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  *static_cast<size_t *>(p) = mapped;
  return static_cast<UInt8 *>(p) + kBlockHeader;
}

void DisposeBufferBlock(UInt8 *block) {
  if (block == nullptr) return;
  UInt8 *start = block - kBlockHeader;
  munmap(start, *reinterpret_cast<size_t *>(start));
}

bool IsCleaningType(BZ_TaskType type) { return type >= kBZ_AverageTaskType && type <= kBZ_OutlierTaskType; }

// Gives the pool at most kBZ_MaxFrameBuffers buffers, reporting a cut.
SInt32 LimitPool(SInt32 needed) {
  if (needed <= kBZ_MaxFrameBuffers) return std::max<SInt32>(needed, 0);
  std::printf("KBZ: cannot allocate enough frame buffers, needed = %ld, max = %d\n", long(needed),
              int(kBZ_MaxFrameBuffers));
  return kBZ_MaxFrameBuffers;
}

UInt8 *CarvePool(BZ_FrameBuffInfo *pool, SInt32 count, UInt8 *cursor, size_t size) {
  for (SInt32 i = 0; i < count; ++i) {
    pool[i] = BZ_FrameBuffInfo{};
    pool[i].number = i;
    pool[i].ptr = cursor;
    cursor += size;
  }
  return cursor;
}

void ClearEntry(BZ_BuffInfo *entry) {
  entry->~BZ_BuffInfo();
  new (entry) BZ_BuffInfo{};
}

}  // namespace

OSStatus BZ_CreateBuffers() {
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return paramErr;
  BZ_DynIO_Info &io = project->dynIO_Info;
  const BZ_StatMovInfo *movies = project->info.statMovInfo;
  const BZ_ProjSett &sett = project->info.settings;

  SInt64 bufferSize = 0;
  OSStatus err = BZ_GetBufferSize(movies[0].height, movies[0].width, sett.input.interlaced, nullptr, nullptr,
                                  &bufferSize);
  if (err != noErr) return err;
  for (SInt32 i = 0; i < kBZ_MaxNumFiles; ++i) {
    const CodecType c = movies[i].cType;
    io.inputInfo[i].directRead = (c == '2vuy' || c == 'yuv2' || c == 'yuvu') && movies[i].hasOneSimpleVideoTrack &&
                                 movies[i].numDataRefIndexes < 9;
  }
  const BZ_EngineHost *host = BZ_GetEngineHost();
  UInt32 types = 0;
  err = host->getValidSelectedProcessTypes(host->refCon, &sett.cleaning, &types);
  if (err != noErr) return err;
  host->setSavedValidSelectedTypes(host->refCon, types);
  // A table still standing would lose its block and queues when overwritten.
  if (io.buffInfo[0].type != kBZ_NoTaskType || BZ_GetProjectBuffer(project) != nullptr) BZ_DisposeBuffInfo(io.buffInfo);

  Boolean compressing = false;
  BZ_GetCompressedSize(project, &compressing);
  if (io.maxComprSize == 0) io.maxComprSize = SInt32(std::min<SInt64>(bufferSize, std::numeric_limits<SInt32>::max()));

  BZ_TaskType taskTypes[kBZ_MaxNumStageTypes];
  SInt32 numTasks = 0;
  BZ_CreateTaskList(types, compressing, true, taskTypes, &numTasks);
  SInt32 counts[kBZ_MaxNumStageTypes];
  BZ_CalcNumInputBuffers(project, taskTypes, counts);
  const SInt64 total = BZ_GetTotalBufferSize(taskTypes, counts, bufferSize);
  if (total < 0) return memFullErr;

  SInt32 readNum = 0, copyNum = 0, writeNum = 0;
  for (SInt32 i = 0; i < numTasks; ++i) {
    BZ_BuffInfo &stage = io.buffInfo[i];
    stage.type = taskTypes[i];
    stage.number = i;
    stage.numFrameBuffers = counts[i];
    // Averaging runs through the frames both sources have: a shorter second movie ends it early.
    stage.totalNumFrames = (types & kBZ_AverageTypeFlag) != 0 ? BZ_GetNumFramesInMovie(movies) : movies[0].numFrames;
    stage.size = size_t(stage.type == kBZ_CopyTaskType ? 2 * bufferSize : bufferSize);
    const bool firstCopy = stage.type == kBZ_CopyTaskType && copyNum == 0;
    stage.fileNum = BZ_SetBufferFileNum(stage.type, &readNum, &copyNum, &writeNum);
    if (firstCopy) {
      stage.ptr = NewBufferBlock(total);
      if (stage.ptr == nullptr) {
        std::printf("KBZ: cannot allocate the frame buffers, %lld bytes\n", static_cast<long long>(total));
        BZ_DisposeBuffInfo(io.buffInfo);
        io.numStages = 0;
        return memFullErr;
      }
    }
  }
  io.numStages = numTasks;
  BZ_InitFrameBuffers(io.buffInfo);
  BZ_PrintAllocatedSize(total, io.buffInfo);
  return noErr;
}

void BZ_CreateTaskList(UInt32 validSelectedTypes, Boolean compressing, Boolean makeNoiseMovie,
                       BZ_TaskType taskTypes[kBZ_MaxNumStageTypes], SInt32 *numTasks) {
  SInt32 n = 0;
  auto add = [&](BZ_TaskType type) {
    if (n < kBZ_MaxNumStageTypes) taskTypes[n++] = type;
  };
  for (SInt32 i = 0; i < kBZ_MaxNumStageTypes; ++i) taskTypes[i] = kBZ_NoTaskType;
  const bool averaging = (validSelectedTypes & kBZ_AverageTypeFlag) != 0;
  add(kBZ_ReadTaskType);
  if (averaging) add(kBZ_ReadTaskType);
  add(kBZ_CopyTaskType);
  if (averaging) {
    add(kBZ_CopyTaskType);
    add(kBZ_AverageTaskType);
  }
  // In the order of the type numbers, not of the flags.
  if (validSelectedTypes & kBZ_VarBrTypeFlag) add(kBZ_VarBrTaskType);
  if (validSelectedTypes & kBZ_NoiseRedTypeFlag) add(kBZ_NoiseRedTaskType);
  if (validSelectedTypes & kBZ_RlTypeFlag) add(kBZ_RlTaskType);
  if (validSelectedTypes & kBZ_CrossLumaTypeFlag) add(kBZ_CrossLumaTaskType);
  if (validSelectedTypes & kBZ_OutlierTypeFlag) add(kBZ_OutlierTaskType);
  if (compressing) add(kBZ_ComprTaskType);
  add(kBZ_WriteTaskType);
  if (makeNoiseMovie) {
    add(kBZ_NoiseFrameTaskType);
    add(kBZ_WriteTaskType);
  }
  if (numTasks != nullptr) *numTasks = n;
}

void BZ_CalcNumInputBuffers(BZ_ProjPtr project, const BZ_TaskType taskTypes[kBZ_MaxNumStageTypes],
                            SInt32 numInputBuffers[kBZ_MaxNumStageTypes]) {
  for (SInt32 i = 0; i < kBZ_MaxNumStageTypes; ++i) numInputBuffers[i] = 0;
  if (project == nullptr) return;
  const SInt32 n = BZ_GetNumSubTasks();
  const BZ_ExecuteState exec = project->state.exec;
  const bool executing = exec == kBZ_ProjStateExecuting;
  const SInt32 k = std::clamp<SInt32>(project->info.settings.cleaning.ou.numConstPix, kBZ_OuMinNumConstPix,
                                      kBZ_OuMaxNumConstPix);

  SInt32 own[kBZ_MaxNumStageTypes] = {};
  SInt32 contribution[kBZ_MaxNumStageTypes] = {};
  SInt32 reads[2] = {-1, -1}, copies[2] = {-1, -1};
  SInt32 numReads = 0, numCopies = 0, numStages = 0;
  for (SInt32 i = 0; i < kBZ_MaxNumStageTypes && taskTypes[i] != kBZ_NoTaskType; ++i, ++numStages) {
    switch (taskTypes[i]) {
      case kBZ_ReadTaskType:
        own[i] = 0;
        contribution[i] = project->dynIO_Info.inputInfo[0].directRead ? 1 : 0;
        if (numReads < 2) reads[numReads++] = i;
        break;
      case kBZ_CopyTaskType:
        own[i] = 1;
        contribution[i] = 1;
        if (numCopies < 2) copies[numCopies++] = i;
        break;
      case kBZ_ComprTaskType: own[i] = 1; contribution[i] = 1; break;
      case kBZ_WriteTaskType: own[i] = 1; contribution[i] = 0; break;
      case kBZ_NoiseFrameTaskType: break;
      // A method stage hands its frames on in order while its workers finish them in any order: a frame in
      // each worker's hands and one more waiting for each, on both sides, keep every worker busy.
      case kBZ_AverageTaskType: own[i] = 4 * n; contribution[i] = 2 * n; break;
      case kBZ_VarBrTaskType: own[i] = 2 * n + 1; contribution[i] = 2 * n; break;
      case kBZ_NoiseRedTaskType: own[i] = executing ? 3 + 2 * n - 1 : 3 * n; contribution[i] = 2 * n; break;
      case kBZ_RlTaskType:
      case kBZ_CrossLumaTaskType: own[i] = 2 * n; contribution[i] = 2 * n; break;
      case kBZ_OutlierTaskType: {
        // The window of previous and next frames, 2k each, and the centre.
        const SInt32 window = 4 * k + 1;
        own[i] = executing ? window + n - 1 : window * n;
        contribution[i] = n;
        break;
      }
      default: break;
    }
  }
  SInt32 copySeen = 0;
  for (SInt32 i = 0; i < numStages; ++i) {
    SInt32 count = own[i];
    switch (taskTypes[i]) {
      case kBZ_ReadTaskType:
      case kBZ_NoiseFrameTaskType: break;
      case kBZ_CopyTaskType: {
        const SInt32 feeder = reads[std::min<SInt32>(copySeen++, 1)];
        if (feeder >= 0) count += contribution[feeder];
        break;
      }
      case kBZ_AverageTaskType:
        for (SInt32 c : copies)
          if (c >= 0) count += contribution[c];
        break;
      default:
        if (i > 0) count += contribution[i - 1];
        break;
    }
    numInputBuffers[i] = count;
  }
  // The first processing stage keeps its input frames for a later noise measurement: one further set.
  SInt32 first = 0;
  while (first < numStages && (taskTypes[first] == kBZ_ReadTaskType || taskTypes[first] == kBZ_CopyTaskType)) ++first;
  if (first < numStages && IsCleaningType(taskTypes[first])) {
    const BZ_EngineHost *host = BZ_GetEngineHost();
    bool keep;
    if (exec == kBZ_ProjStatePreviewing)
      keep = true;
    else if (executing)
      keep = project->info.settings.output.makeNoiseMovie;
    else
      keep = exec == kBZ_ProjStateAnalyzingMovie && host->getAutoSettStage(host->refCon) == 0;
    if (keep) numInputBuffers[first] += n;
  }
}

SInt64 BZ_GetTotalBufferSize(const BZ_TaskType taskTypes[kBZ_MaxNumStageTypes],
                             const SInt32 numInputBuffers[kBZ_MaxNumStageTypes], SInt64 bufferSize) {
  if (bufferSize < 0) return -1;
  SInt64 total = 0;
  for (SInt32 i = 0; i < kBZ_MaxNumStageTypes && taskTypes[i] != kBZ_NoTaskType; ++i) {
    const SInt64 count = std::max<SInt32>(numInputBuffers[i], 0);
    const SInt64 perBuffer = taskTypes[i] == kBZ_CopyTaskType ? 2 * bufferSize : bufferSize;
    if (perBuffer != 0 && count > (std::numeric_limits<SInt64>::max() - total) / perBuffer) return -1;
    total += count * perBuffer;
  }
  return total;
}

SInt32 BZ_SetBufferFileNum(BZ_TaskType taskType, SInt32 *readStageNum, SInt32 *copyStageNum, SInt32 *writeStageNum) {
  SInt32 *counter = nullptr;
  if (taskType == kBZ_ReadTaskType) counter = readStageNum;
  if (taskType == kBZ_CopyTaskType) counter = copyStageNum;
  if (taskType == kBZ_WriteTaskType) counter = writeStageNum;
  if (counter == nullptr) return 0;
  return (*counter)++;
}

void BZ_InitFrameBuffers(BZ_BuffInfo *stageTable) {
  if (stageTable == nullptr) return;
  BZ_BuffInfo *copy = BZ_GetBufferInfoByStageType(stageTable, kBZ_CopyTaskType, 0);
  UInt8 *cursor = copy != nullptr ? copy->ptr : nullptr;
  if (cursor == nullptr) return;
  for (SInt32 i = 0; i < kBZ_NumBuffInfos - 1 && stageTable[i].type != kBZ_NoTaskType; ++i) {
    BZ_BuffInfo &stage = stageTable[i];
    UInt8 *first = cursor;
    if (stage.type == kBZ_AverageTaskType) {
      const SInt32 count = LimitPool(stage.numFrameBuffers / 2);
      stage.numFrameBuffers = stage.numFrameBuffers2 = count;
      cursor = CarvePool(stage.frameBuffInfo, count, cursor, stage.size);
      cursor = CarvePool(stage.frameBuffInfo2, count, cursor, stage.size);
    } else {
      const SInt32 count = LimitPool(stage.numFrameBuffers);
      stage.numFrameBuffers = count;
      cursor = CarvePool(stage.frameBuffInfo, count, cursor, stage.size);
    }
    if (stage.numFrameBuffers > 0) stage.ptr = first;
  }
}

void BZ_PrintAllocatedSize(SInt64 totalBufferSize, BZ_BuffInfo *stageTable) {
  if (stageTable == nullptr) return;
  UInt8 *block = nullptr;
  if (BZ_BuffInfo *copy = BZ_GetBufferInfoByStageType(stageTable, kBZ_CopyTaskType, 0)) block = copy->ptr;
  SInt64 used = 0;
  for (SInt32 i = 0; i < kBZ_NumBuffInfos - 1 && stageTable[i].type != kBZ_NoTaskType; ++i) {
    BZ_BuffInfo &stage = stageTable[i];
    if (stage.numFrameBuffers <= 0 || block == nullptr) continue;
    const BZ_FrameBuffInfo &last = stage.numFrameBuffers2 > 0 ? stage.frameBuffInfo2[stage.numFrameBuffers2 - 1]
                                                               : stage.frameBuffInfo[stage.numFrameBuffers - 1];
    used = SInt64(last.ptr + stage.size - block);
    std::printf("BZ_PrintAllocatedSize: buffer type = %u, numFrameBuffers = %ld, firstBuffer = %p\n",
                unsigned(stage.type), long(stage.numFrameBuffers), static_cast<void *>(stage.frameBuffInfo[0].ptr));
    if (stage.numFrameBuffers2 > 0)
      std::printf("BZ_PrintAllocatedSize: buffer type = %u, numFrameBuffers2 = %ld, firstBuffer = %p\n",
                  unsigned(stage.type), long(stage.numFrameBuffers2), static_cast<void *>(stage.frameBuffInfo2[0].ptr));
  }
  std::printf("totalBufferSize = %lld, used size = %lld, overflow = %u\n", static_cast<long long>(totalBufferSize),
              static_cast<long long>(used), unsigned(used > totalBufferSize));
}

void BZ_GetCompressedSize(BZ_ProjPtr project, Boolean *compressing) {
  if (compressing == nullptr) return;
  *compressing = project != nullptr && project->info.settings.output.cType != '2vuy' &&
                 project->state.exec == kBZ_ProjStateBeingOpened;
}

void BZ_DisposeBuffInfo(BZ_BuffInfo *stageTable) {
  if (stageTable == nullptr) return;
  for (SInt32 i = 0; i < kBZ_NumBuffInfos - 1; ++i) {
    BZ_BuffInfo &stage = stageTable[i];
    if (stage.type == kBZ_CopyTaskType && stage.fileNum == 0) DisposeBufferBlock(stage.ptr);
    MP_DeleteQueue(&stage.inputQueue2);
    MP_DeleteQueue(&stage.freeQueue2);
    // The run's worker queue and output pool would be lost with the entry.
    MP_DeleteQueue(&stage.subTaskInputQueue);
    MP_DeleteQueue(&stage.mpInfo.outputPool);
    MP_DeleteSemaphore(&stage.semaphore);
    MP_DeleteEvent(&stage.event);
    std::free(stage.addStorage);
    const SInt32 count = std::clamp<SInt32>(stage.numFrameBuffers, 0, kBZ_MaxFrameBuffers);
    for (SInt32 b = 0; b < count; ++b) {
      // A compression sequence made over the buffer ends with it (other sequence numbers are left alone).
      if (stage.frameBuffInfo[b].comprSeqID != 0) PL_EndCompressionSequence(stage.frameBuffInfo[b].comprSeqID);
      if (stage.frameBuffInfo[b].offscreen != nullptr) DisposeGWorld(stage.frameBuffInfo[b].offscreen);
    }
    ClearEntry(&stage);
  }
}

OSStatus BZ_InitBufferQueues(BZ_ProjPtr project) {
  if (project == nullptr) return noErr;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  for (SInt32 i = 0; i < kBZ_NumBuffInfos - 1 && table[i].type != kBZ_NoTaskType; ++i) {
    BZ_BuffInfo &stage = table[i];
    void *sender = BZ_Word(stage.type);
    MP_TaskData *task = stage.taskData[0];
    // A buffer holds no frame until a stage fills it: a descriptor left at frame 0 (or at a frame of the last
    // run) would answer a look-up by frame number (BZ_FrameNumToPtr) with the wrong picture.
    for (BZ_FrameBuffInfo &info : stage.frameBuffInfo) info.frameNum = -1;
    for (BZ_FrameBuffInfo &info : stage.frameBuffInfo2) info.frameNum = -1;
    if (task != nullptr && task->inFreeQueue != nullptr) {
      for (SInt32 b = 0; b < std::clamp<SInt32>(stage.numFrameBuffers, 0, kBZ_MaxFrameBuffers); ++b)
        MPNotifyQueue(task->inFreeQueue, sender, project, stage.frameBuffInfo[b].ptr);
    }
    if (stage.freeQueue2 != nullptr) {
      for (SInt32 b = 0; b < std::clamp<SInt32>(stage.numFrameBuffers2, 0, kBZ_MaxFrameBuffers); ++b)
        MPNotifyQueue(stage.freeQueue2, sender, project, stage.frameBuffInfo2[b].ptr);
    }
  }
  return noErr;
}
