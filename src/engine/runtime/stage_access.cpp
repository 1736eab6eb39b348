// Frame-buffer geometry, the number of workers, and the lookups of the stage table.
#include "engine/runtime/stage_access.h"

#include "engine/runtime/engine_host.h"
#include "platform/core/multiprocessing.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace {

// Entries a lookup may look at: the table ends at the first entry of type 0, and the last entry always is.
constexpr SInt32 kMaxSearched = kBZ_NumBuffInfos - 1;

SInt64 RoundUp(SInt64 value, SInt64 multiple) { return (value + multiple - 1) / multiple * multiple; }

SInt32 IndexOf(const BZ_BuffInfo *stageTable, const BZ_BuffInfo *stage) {
  if (stageTable == nullptr || stage == nullptr || stage < stageTable || stage >= stageTable + kBZ_NumBuffInfos)
    return -1;
  return SInt32(stage - stageTable);
}

BZ_BuffInfo *Entry(BZ_BuffInfo *stageTable, SInt32 index) {
  if (index < 0 || index >= kMaxSearched || stageTable[index].type == kBZ_NoTaskType) return nullptr;
  return &stageTable[index];
}

}  // namespace

SInt32 BZ_GetNumSubTasks() {
  ItemCount n = gBZ.numProcessors != 0 ? gBZ.numProcessors : MPProcessorsScheduled();
  return SInt32(std::clamp<ItemCount>(n, 1, kBZ_MaxNumSubTasks));
}

OSStatus BZ_GetBufferSize(SInt32 inHeight, SInt32 inWidth, Boolean interlaced, SInt32 *bufferHeight,
                          SInt32 *bufferWidth, SInt64 *bufferSize) {
  if (bufferHeight != nullptr) *bufferHeight = 0;
  if (bufferWidth != nullptr) *bufferWidth = 0;
  if (bufferSize != nullptr) *bufferSize = 0;
  if (inHeight <= 0 || inWidth <= 0) return paramErr;
  const SInt64 width = RoundUp(SInt64(inWidth) + 16, 8);
  const SInt64 interlacedHeight = RoundUp(SInt64(inHeight) + 32, 16);
  const SInt64 height = interlaced ? interlacedHeight : RoundUp(SInt64(inHeight) + 16, 8);
  // Row bytes are 32-bit throughout the frame code; with them in range the product stays below 2^63.
  if (width * 2 > INT32_MAX || interlacedHeight > INT32_MAX) return memFullErr;
  // Every buffer is sized for the interlaced height, so that one block serves both kinds.
  const SInt64 size = width * interlacedHeight * 2;
  if (size > kBZ_MaxFrameBufferSize) return memFullErr;
  if (bufferHeight != nullptr) *bufferHeight = SInt32(height);
  if (bufferWidth != nullptr) *bufferWidth = SInt32(width);
  if (bufferSize != nullptr) *bufferSize = size;
  return noErr;
}

BZ_BuffInfo *BZ_StageOfTask(BZ_BuffInfo *stageTable, const MP_TaskData *task) {
  if (stageTable == nullptr || task == nullptr) return nullptr;
  for (SInt32 i = 0; i < kMaxSearched && stageTable[i].type != kBZ_NoTaskType; ++i)
    if (stageTable[i].taskData[0] == task) return &stageTable[i];
  return nullptr;
}

BZ_BuffInfo *BZ_GetBufferInfoByStageType(BZ_BuffInfo *stageTable, BZ_TaskType stageType, SInt32 fileNum) {
  if (stageTable == nullptr) return nullptr;
  for (SInt32 i = 0; i < kMaxSearched && stageTable[i].type != kBZ_NoTaskType; ++i)
    if (stageTable[i].type == stageType && stageTable[i].fileNum == fileNum) return &stageTable[i];
  return nullptr;
}

BZ_BuffInfo *BZ_GetBufferInfoByValidTaskType(BZ_BuffInfo *stageTable, BZ_TaskType taskType, SInt32 *taskNum) {
  if (stageTable == nullptr) return nullptr;
  BZ_BuffInfo *found = nullptr;
  for (SInt32 i = 0; i < kMaxSearched && stageTable[i].type != kBZ_NoTaskType; ++i) {
    BZ_BuffInfo &stage = stageTable[i];
    if (stage.type != taskType) continue;
    const SInt32 numTasks = std::clamp<SInt32>(stage.numTasks, 0, kBZ_MaxStageTasks);
    for (SInt32 j = 0; j < numTasks; ++j) {
      MP_TaskData *task = stage.taskData[j];
      if (task != nullptr && task->ID != nullptr) {
        found = &stage;
        if (taskNum != nullptr) *taskNum = j;
        break;
      }
    }
  }
  return found;
}

BZ_BuffInfo *BZ_GetWriteBuffInfo(BZ_BuffInfo *stageTable, SInt32 fileNum) {
  return BZ_GetBufferInfoByStageType(stageTable, kBZ_WriteTaskType, fileNum);
}

BZ_BuffInfo *BZ_GetComprBuffInfo(BZ_BuffInfo *stageTable) {
  return BZ_GetBufferInfoByStageType(stageTable, kBZ_ComprTaskType, 0);
}

BZ_BuffInfo *BZ_GetFirstProcessBuffer(BZ_BuffInfo *stageTable) {
  if (stageTable == nullptr) return nullptr;
  for (SInt32 i = 0; i < kMaxSearched && stageTable[i].type != kBZ_NoTaskType; ++i)
    if (stageTable[i].type != kBZ_ReadTaskType && stageTable[i].type != kBZ_CopyTaskType) return &stageTable[i];
  return nullptr;
}

BZ_BuffInfo *BZ_GetOutputBufferInfoForStage(BZ_BuffInfo *stageTable, BZ_BuffInfo *stage, SInt32 fileNum) {
  const SInt32 index = IndexOf(stageTable, stage);
  if (index < 0) return nullptr;
  switch (stage->type) {
    case kBZ_ReadTaskType: return BZ_GetBufferInfoByStageType(stageTable, kBZ_CopyTaskType, stage->fileNum);
    case kBZ_CopyTaskType: return BZ_GetFirstProcessBuffer(stageTable);
    case kBZ_ComprTaskType:
      return fileNum == 0 || fileNum == 1 ? BZ_GetWriteBuffInfo(stageTable, fileNum) : nullptr;
    case kBZ_WriteTaskType: return fileNum == 1 ? BZ_GetWriteBuffInfo(stageTable, 1) : nullptr;
    default: return Entry(stageTable, index + 1);
  }
}

BZ_BuffInfo *BZ_GetInputBufferInfoForStage(BZ_BuffInfo *stageTable, BZ_BuffInfo *stage, SInt32 fileNum) {
  const SInt32 index = IndexOf(stageTable, stage);
  if (index < 0) return nullptr;
  switch (stage->type) {
    case kBZ_ReadTaskType: return nullptr;
    case kBZ_CopyTaskType: return BZ_GetBufferInfoByStageType(stageTable, kBZ_ReadTaskType, stage->fileNum);
    case kBZ_WriteTaskType:
      if (stage->fileNum == 0) return Entry(stageTable, index - 1);
      if (stage->fileNum == 1)
        return Entry(stageTable, BZ_GetComprBuffInfo(stageTable) != nullptr ? index - 2 : index - 1);
      return nullptr;
    default: {
      BZ_BuffInfo *previous = Entry(stageTable, index - 1);
      if (previous != nullptr && previous->type == kBZ_CopyTaskType)
        return BZ_GetBufferInfoByStageType(stageTable, kBZ_ReadTaskType, fileNum);
      return previous;
    }
  }
}

Boolean BZ_IsProcessTaskType(BZ_TaskType taskType) {
  return taskType >= kBZ_AverageTaskType && taskType <= kBZ_CrossLumaTaskType;
}

BZ_BuffInfo *BZ_GetDisplayBuffer(BZ_ProjPtr project) {
  if (project == nullptr) return nullptr;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  switch (host->getAutoSettStage(host->refCon)) {
    case 0: {
      BZ_BuffInfo *compr = BZ_GetComprBuffInfo(table);
      if (compr != nullptr && project->state.exec > kBZ_ProjStateBeingOpened) return compr;
      return BZ_GetWriteBuffInfo(table, 0);
    }
    case 1: return BZ_GetBufferInfoByStageType(table, kBZ_AverageTaskType, 0);
    case 2: return BZ_GetBufferInfoByStageType(table, kBZ_VarBrTaskType, 0);
    case 4:
    case 8: return BZ_GetBufferInfoByStageType(table, kBZ_NoiseRedTaskType, 0);
    case 16: return BZ_GetBufferInfoByStageType(table, kBZ_RlTaskType, 0);
    default: return nullptr;
  }
}

BZ_FrameBuffInfo *BZ_FrameNumToFrameBuffInfo(SInt32 frameNum, BZ_BuffInfo *stage) {
  if (stage == nullptr) return nullptr;
  const SInt32 count = std::clamp<SInt32>(stage->numFrameBuffers, 0, kBZ_MaxFrameBuffers);
  // The descriptors of buffers other tasks hold change under us; their numbers are read atomically (the
  // buffers the caller looks for are its own, whose numbers stay put).
  for (SInt32 i = 0; i < count; ++i)
    if (std::atomic_ref<SInt32>(stage->frameBuffInfo[i].frameNum).load(std::memory_order_relaxed) == frameNum)
      return &stage->frameBuffInfo[i];
  return nullptr;
}

UInt8 *BZ_FrameNumToPtr(BZ_BuffInfo *stage, SInt32 frameNum) {
  BZ_FrameBuffInfo *info = BZ_FrameNumToFrameBuffInfo(frameNum, stage);
  return info != nullptr ? info->ptr : nullptr;
}

UInt8 *BZ_GetProjectBuffer(BZ_ProjPtr project) {
  if (project == nullptr) return nullptr;
  BZ_BuffInfo *copy = BZ_GetBufferInfoByStageType(project->dynIO_Info.buffInfo, kBZ_CopyTaskType, 0);
  return copy != nullptr ? copy->ptr : nullptr;
}

SInt32 BZ_CountStages(const BZ_BuffInfo *stageTable) {
  if (stageTable == nullptr) return 0;
  SInt32 n = 0;
  while (n < kBZ_NumBuffInfos && stageTable[n].type != kBZ_NoTaskType) ++n;
  return n;
}

UInt32 BZ_GetSelectedProcessTypesFromBuffInfo() {
  if (gBZ.project == nullptr) return 0;
  const BZ_BuffInfo *table = gBZ.project->dynIO_Info.buffInfo;
  UInt32 flags = 0;
  for (SInt32 i = 0; i < kMaxSearched && table[i].type != kBZ_NoTaskType; ++i) {
    switch (table[i].type) {
      case kBZ_AverageTaskType: flags |= kBZ_AverageTypeFlag; break;
      case kBZ_NoiseRedTaskType: flags |= kBZ_NoiseRedTypeFlag; break;
      case kBZ_RlTaskType: flags |= kBZ_RlTypeFlag; break;
      case kBZ_CrossLumaTaskType: flags |= kBZ_CrossLumaTypeFlag; break;
      case kBZ_VarBrTaskType: flags |= kBZ_VarBrTypeFlag; break;
      case kBZ_OutlierTaskType: flags |= kBZ_OutlierTypeFlag; break;
      default: break;
    }
  }
  return flags;
}

BZ_TaskType BZ_TaskFlagToType(UInt32 taskFlag) {
  switch (taskFlag) {
    case kBZ_AverageTypeFlag: return kBZ_AverageTaskType;
    case kBZ_NoiseRedTypeFlag: return kBZ_NoiseRedTaskType;
    case kBZ_RlTypeFlag: return kBZ_RlTaskType;
    case kBZ_CrossLumaTypeFlag: return kBZ_CrossLumaTaskType;
    case kBZ_VarBrTypeFlag: return kBZ_VarBrTaskType;
    case kBZ_OutlierTypeFlag: return kBZ_OutlierTaskType;
    default: return kBZ_NoTaskType;
  }
}

std::unique_lock<std::mutex> BZ_LockStageTaskRecords() {
  static std::mutex records;
  return std::unique_lock<std::mutex>(records);
}
