// The table of stages and the engine's main-thread event handler.
#include "engine/engine_wiring.h"

#include "engine/compress_stage.h"
#include "engine/copy_stage.h"
#include "engine/main_task.h"
#include "engine/noise_movie_stage.h"
#include "engine/read_stage.h"
#include "engine/write_stage.h"
#include "methods/average_stage.h"
#include "methods/cross_luma_stage.h"
#include "methods/logo_stage.h"
#include "methods/noise_reduction_stage.h"
#include "methods/varbr_correction_stage.h"
#include "methods/varbr_measuring_stage.h"
#include "outliers/outlier_stage.h"

#include <cstdio>
#include <iterator>

namespace {

struct StageEntry {
  BZ_TaskType type;
  Boolean measuring;  // the varying-brightness stage's measuring entry (analysis runs)
  TaskProc entryPoint;
};

// Every stage the engine has, one line each; a cleaning method adds its stage here.
constexpr StageEntry kStages[] = {
    {kBZ_ReadTaskType, false, BZ_ReadTask},
    {kBZ_CopyTaskType, false, BZ_CopyTask},
    {kBZ_ComprTaskType, false, BZ_CompressTask},
    {kBZ_WriteTaskType, false, BZ_WriteTask},
    {kBZ_NoiseFrameTaskType, false, BZ_NoiseFrameTask},
    {kBZ_AverageTaskType, false, BZ_AverageTask1},
    {kBZ_VarBrTaskType, false, BZ_CorrRelBrTask1},
    {kBZ_VarBrTaskType, true, BZ_FindRelBrTask1},
    {kBZ_NoiseRedTaskType, false, BZ_ReduceNoiseTask1},
    {kBZ_CrossLumaTaskType, false, BZ_CrossLumaTask1},
    {kBZ_RlTaskType, false, BZ_RlTask1},
    {kBZ_OutlierTaskType, false, BZ_OutliersTask},
};

constexpr EventTypeSpec kEngineEvents[] = {
    {kBZ_ProjEventClass, kBZ_DrawFrameEvent},
    {kBZ_ProjEventClass, kBZ_CompressEvent},
    {kBZ_ProjEventClass, kBZ_OutSampleRefsEvent},
    {kBZ_ProjEventClass, kBZ_ProjectRunFinishedEvent},
};

void DrawFrame(EventRef event) {
  SInt32 fileNum = -1;
  GetEventParameter(event, kBZ_FileNumEventParam, kBZ_FileNumEventParam, nullptr, sizeof fileNum, nullptr, &fileNum);
  if (OSStatus err = BZ_SetSrcMovieTimeValue(gBZ.project, fileNum); err != noErr)
    std::printf("KBZ: error from \"draw frame\" event = %ld\n", long(err));
}

}  // namespace

void BZ_InstallStageEntryPoints() {
  for (UInt32 type = kBZ_ReadTaskType; type <= kBZ_OutlierTaskType; ++type)
    BZ_SetStageEntryPoint(BZ_TaskType(type), false, nullptr);
  BZ_SetStageEntryPoint(kBZ_VarBrTaskType, true, nullptr);
  for (const StageEntry &stage : kStages) BZ_SetStageEntryPoint(stage.type, stage.measuring, stage.entryPoint);
}

OSStatus BZ_InstallEngineEventHandlers(EventHandlerRef *outRef) {
  return InstallApplicationEventHandler(BZ_EngineEventHandler, std::size(kEngineEvents), kEngineEvents, nullptr,
                                        outRef);
}

OSStatus BZ_EngineEventHandler(EventHandlerCallRef, EventRef event, void *) {
  if (GetEventClass(event) != kBZ_ProjEventClass) return eventNotHandledErr;
  switch (GetEventKind(event)) {
    case kBZ_DrawFrameEvent: DrawFrame(event); return noErr;
    case kBZ_CompressEvent: BZ_HandleCompressEvent(event); return noErr;
    case kBZ_OutSampleRefsEvent: BZ_HandleOutSampleRefsEvent(event); return noErr;
    case kBZ_ProjectRunFinishedEvent:
      if (MPSemaphoreID finished = gBZ.dlgTaskData.prfSemaphore) MPSignalSemaphore(finished);
      return noErr;
    default: return eventNotHandledErr;
  }
}
