// The main task: control messages, building and starting the stages of a run, watching their ends, and what
// follows a run.
#include "engine/main_task.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/shell_senders.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "general/memory_lists.h"

#include <cstdint>
#include <cstdio>
#include <new>

namespace {

TaskProc gStageEntryPoints[kBZ_ProcSubTaskType + 1];
TaskProc gVarBrMeasuringEntryPoint;

TaskProc EntryPointFor(BZ_TaskType type, bool measuring) {
  if (type == kBZ_VarBrTaskType && measuring) return gVarBrMeasuringEntryPoint;
  return type <= kBZ_ProcSubTaskType ? gStageEntryPoints[type] : nullptr;
}

void SignalStopSemaphore() {
  if (MPSemaphoreID stop = gBZ.dlgTaskData.stopSemaphore.load()) MPSignalSemaphore(stop);
}

bool IsControlSender(intptr_t sender) { return sender == kBZ_MainThreadTaskType || sender == kBZ_ProjDlgTaskType; }

// The run-control state of the main task between messages.
struct MainTask {
  MP_TaskData *self = nullptr;
  BZ_ProjPtr project = nullptr;
  bool end = false;
  OSStatus status = noErr;
  bool stopAsked = false;     // a 5029/5030 stop was asked during the run
  bool pendingRun = false;    // a 5027 arrived while a run was going on
  bool executionRun = false;  // the run executes the project (rather than analysing or previewing)

  BZ_BuffInfo *Table() const { return project->dynIO_Info.buffInfo; }
  bool RunActive() const { return self->subTaskList != nullptr; }

  // Ends the main task with a failure.
  void Fail(OSStatus err) {
    if (err == noErr) return;
    status = err;
    end = true;
  }

  void Close(OSStatus message) {
    OSStatus err = BZ_CloseProjectTasks(project, message);
    if (err != noErr) status = err;
  }

  // Waits until the main thread has handled the end of a run. Nothing to wait for without a semaphore, and
  // no point once the main task is ending (the main thread may be shutting down).
  OSStatus WaitForRunFinishedHandled() {
    MPSemaphoreID prf = gBZ.dlgTaskData.prfSemaphore.load();
    if (prf == nullptr || end) return noErr;
    return MPWaitOnSemaphore(prf, kDurationForever);
  }

  void StartRun();
  void HandleControl(intptr_t code);
  void HandleStageMessage(BZ_TaskType sender, intptr_t code, BZ_ExecuteState exec);
  void EndOfRun(BZ_ExecuteState exec);
};

void MainTask::StartRun() {
  if (RunActive()) {
    // Building a second set of stage tasks over running ones would wreck the table: start it afterwards.
    std::printf("KBZ: BZ_MainTask received \"run project\" message during a run, starting it afterwards\n");
    pendingRun = true;
    return;
  }
  // The previous run's first error has been reported by now (or is reported here); left in place it would
  // make this run end as failed, and a finished project would never be saved.
  if (OSStatus old = project->state.error; old != noErr) {
    if (!project->state.errorShown.exchange(true)) BZ_ShowEngineError(old);
    project->state.error = noErr;
    project->state.errorShown = false;
  }
  const BZ_ExecuteState exec = project->state.exec;
  executionRun = exec == kBZ_ProjStateExecuting || exec == kBZ_ProjStateBeingOpened;
  stopAsked = false;
  OSStatus err = BZ_CreateProjectTasks(project, self);
  if (err == noErr) return;
  // Stop what was started and end the run with that failure.
  std::printf("KBZ: BZ_MainTask: creating project tasks failed, error = %ld\n", long(err));
  status = err;
  BZ_KeepFirstError(project, err);
  if (BZ_AllSubTasksClosed(Table()))
    EndOfRun(project->state.exec);
  else
    Close(kBZ_ErrorStopMessage);
}

void MainTask::HandleControl(intptr_t code) {
  switch (code) {
    case kBZ_RunProjectMessage:
      StartRun();
      break;
    case kBZ_CancelProjectMessage:
      std::printf("KBZ: BZ_MainTask received \"cancel project\" message\n");
      if (RunActive()) {
        project->state.exec = kBZ_ProjStateCanceled;
        Close(kBZ_CancelProjectMessage);
      }
      break;
    case kBZ_CancelPreviewCalcMessage:
    case kBZ_CancelMovieAnalysisMessage:
      std::printf("KBZ: BZ_MainTask received \"cancel movie analysis\" message or \"cancel preview run\" message\n");
      if (RunActive()) {
        Close(OSStatus(code));
        stopAsked = true;
      } else {
        SignalStopSemaphore();
        std::printf("KBZ: BZ_MainTask calling BZ_StartDeferredTask\n");
        if (BZ_StartDeferredTask() != noErr) end = true;
      }
      break;
    case kBZ_AppQuitMessage:
      std::printf("KBZ: BZ_MainTask received \"app quit\" message\n");
      project->state.exec = kBZ_ProjStateAppQuitting;
      pendingRun = false;
      if (RunActive())
        Close(kBZ_AppQuitMessage);
      else
        end = true;
      break;
    case kBZ_ErrorStopMessage:
      project->state.exec = kBZ_ProjStateDeleted;
      Close(kBZ_ErrorStopMessage);
      break;
    default:
      break;
  }
}

void MainTask::HandleStageMessage(BZ_TaskType sender, intptr_t code, BZ_ExecuteState exec) {
  if (code != 0) {
    Close(code == kBZ_EndOfStreamMessage ? kBZ_EndOfStreamMessage : kBZ_ErrorStopMessage);
    if (code != kBZ_EndOfStreamMessage) BZ_KeepFirstError(project, OSStatus(code));
  }
  SInt32 taskNum = 0;
  BZ_BuffInfo *stage = BZ_GetBufferInfoByValidTaskType(Table(), sender, &taskNum);
  // 5033 is a message of a stage that still runs; every other message from a stage is its termination.
  if (stage == nullptr || code == kBZ_EndOfStreamMessage) return;
  if (MP_TaskData *task = stage->taskData[taskNum]) task->ID = nullptr;
  if (BZ_AllSubTasksClosed(Table())) EndOfRun(exec);
}

void MainTask::EndOfRun(BZ_ExecuteState exec) {
  std::printf("KBZ: all subtasks closed\n");
  BZ_RemoveSubTasks(self, Table());
  BZ_ProjectState &state = project->state;
  const bool stopWasAsked = stopAsked;
  stopAsked = false;
  bool reported = false;  // the end of the run has been reported to the main thread already
  const BZ_EngineHost *host = BZ_GetEngineHost();

  if (OSStatus error = state.error; error != noErr) {
    if (executionRun) {
      // An execution stopped by an error ends like a cancelled one: the main thread deletes its target files
      // and disposes the project (its settings kept) and shows the error, which travels with the message
      // unless it has been shown already.
      if (exec != kBZ_ProjStateCanceled && exec != kBZ_ProjStateAppQuitting) state.exec = kBZ_ProjStateDeleted;
      const OSStatus toShow = state.errorShown.exchange(true) ? noErr : error;
      if (MPNotifyQueue(self->outputQueue, BZ_Word(kBZ_MainTaskType), project, BZ_Word(toShow)) != noErr || gBZ.done)
        end = true;
    } else {
      state.exec = kBZ_ProjStateReady;
    }
    state.subExec = kBZ_ProjSubStateMain;
    if (stopWasAsked) SignalStopSemaphore();
  } else if (exec == kBZ_ProjStateFinished || exec == kBZ_ProjStateAppQuitting || exec == kBZ_ProjStateCanceled) {
    if (MPNotifyQueue(self->outputQueue, BZ_Word(kBZ_MainTaskType), project, BZ_Word(0)) != noErr || gBZ.done)
      end = true;
    state.subExec = kBZ_ProjSubStateMain;
    // A waiting main thread must be released whichever way the run ended.
    if (stopWasAsked) SignalStopSemaphore();
  } else if (stopWasAsked) {
    SignalStopSemaphore();
    state.exec = kBZ_ProjStateReady;
    state.subExec = kBZ_ProjSubStateMain;
    std::printf("KBZ: sent stopped message, calling BZ_StartDeferredTask\n");
    if (BZ_StartDeferredTask() != noErr) end = true;
  } else if (exec == kBZ_ProjStateAnalyzingMovie) {
    const bool remaining = host->getAutoSettStage(host->refCon) != 0;
    host->setAutoSettCalculated(host->refCon);
    reported = true;
    if (remaining) {
      if (BZ_SendProjectRunFinishedEvent() != noErr) end = true;
      if (OSStatus err = WaitForRunFinishedHandled(); err != noErr) return Fail(err);
      std::printf("KBZ: savedRemainingAutoSettCalc true: start movie analysis from thread\n");
      if (BZ_StartMovieAnalysisFromThread(false) != noErr) end = true;
    } else {
      state.exec = kBZ_ProjStatePreviewing;
      state.subExec = kBZ_ProjSubStateMain;
      if (OSStatus err = BZ_SendProjectRunFinishedEvent(); err != noErr) return Fail(err);
      if (OSStatus err = WaitForRunFinishedHandled(); err != noErr) return Fail(err);
      MPCriticalRegionID region = host->getPreviewCritRgn(host->refCon);
      if (region != nullptr) {
        if (OSStatus err = MPEnterCriticalRegion(region, kDurationForever); err != noErr) return Fail(err);
      }
      OSStatus err = noErr;
      if (host->previewWindowExists(host->refCon)) {
        std::printf("KBZ: starting preview calculation from thread\n");
        host->getDialogStatePtr(host->refCon)->needPreviewCalc = true;
        err = BZ_StartPreviewCalcFromThread();
      }
      if (region != nullptr) {
        OSStatus exitErr = MPExitCriticalRegion(region);
        if (err == noErr) err = exitErr;
      }
      if (err != noErr) return Fail(err);
    }
  } else if (exec == kBZ_ProjStatePreviewing) {
    if (host->freezePreview(host->refCon, false) != noErr) end = true;
    if (BZ_SendForcePreviewUpdateEvent(true) != noErr) end = true;
    MPCriticalRegionID region = host->getPreviewCritRgn(host->refCon);
    if (region != nullptr) {
      if (OSStatus err = MPEnterCriticalRegion(region, kDurationForever); err != noErr) return Fail(err);
    }
    state.subExec = kBZ_ProjSubStateMain;
    std::printf("KBZ: preview calc finished, calling BZ_StartDeferredTask\n");
    if (BZ_StartDeferredTask() != noErr) end = true;
    if (region != nullptr) {
      if (OSStatus err = MPExitCriticalRegion(region); err != noErr) return Fail(err);
    }
  }

  if (!reported) {
    if (BZ_SendProjectRunFinishedEvent() != noErr) end = true;
    if (OSStatus err = WaitForRunFinishedHandled(); err != noErr) return Fail(err);
  }
  if (pendingRun && !end) {
    pendingRun = false;
    StartRun();
  }
}

}  // namespace

void BZ_SetStageEntryPoint(BZ_TaskType stageType, Boolean measuring, TaskProc entryPoint) {
  if (stageType == kBZ_VarBrTaskType && measuring)
    gVarBrMeasuringEntryPoint = entryPoint;
  else if (stageType <= kBZ_ProcSubTaskType)
    gStageEntryPoints[stageType] = entryPoint;
}

OSStatus BZ_CreateMainTask(BZ_ProjPtr project) {
  MP_TaskData &main = gBZ.mainTaskData;
  main.entryPoint = BZ_MainTask;
  main.type = kBZ_MainTaskType;
  main.termMessage1 = nullptr;
  main.termMessage2 = project;
  main.queuesAllocated = 0;
  OSStatus err = MPCreateQueue(&main.inputQueue);
  if (err == noErr) err = MPCreateQueue(&main.outputQueue);
  if (err == noErr) err = MP_CreateTask(&main);
  return err;
}

OSStatus BZ_MainTask(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  if (self == nullptr || self->termMessage2 == nullptr) return paramErr;
  MainTask m;
  m.self = self;
  m.project = static_cast<BZ_ProjPtr>(self->termMessage2);
  while (!m.end) {
    void *sender = nullptr, *code = nullptr;
    OSStatus err = MPWaitOnQueue(self->inputQueue, &sender, nullptr, &code, kDurationForever);
    if (err == kMPTimeoutErr) continue;
    if (err != noErr) {
      m.status = err;
      break;
    }
    // The state as it was when the message came decides what follows the run.
    const BZ_ExecuteState exec = m.project->state.exec;
    if (IsControlSender(BZ_FromWord(sender)))
      m.HandleControl(BZ_FromWord(code));
    else
      m.HandleStageMessage(BZ_TaskType(BZ_FromWord(sender)), BZ_FromWord(code), exec);
  }
  return m.status;
}

OSStatus BZ_CreateProjectTasks(BZ_ProjPtr project, MP_TaskData *mainTaskData) {
  if (project == nullptr || mainTaskData == nullptr) return paramErr;
  std::printf("KBZ: creating project tasks\n");
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  OSStatus err;
  for (BZ_TaskType type : {kBZ_AverageTaskType, kBZ_VarBrTaskType, kBZ_NoiseRedTaskType, kBZ_RlTaskType,
                           kBZ_CrossLumaTaskType, kBZ_OutlierTaskType}) {
    BZ_BuffInfo *stage = BZ_GetBufferInfoByStageType(table, type, 0);
    if (stage == nullptr) continue;
    if ((err = MP_RecreateQueue(&stage->mpInfo.outputPool)) != noErr) return err;
    stage->mpInfo.outFrameNum = 0;
  }
  const BZ_EngineHost *host = BZ_GetEngineHost();
  const bool measuringVarBr = project->state.exec == kBZ_ProjStateAnalyzingMovie &&
                              host->getAutoSettStage(host->refCon) == 2;
  const SInt32 numStages = BZ_CountStages(table);
  for (SInt32 i = 0; i < numStages && i < kBZ_NumBuffInfos - 1; ++i) {
    BZ_BuffInfo &stage = table[i];
    MP_TaskDataLE *le = nullptr;
    if ((err = LL_AddNewPtr(sizeof(MP_TaskDataLE), nullptr, &mainTaskData->subTaskList, &le)) != noErr) return err;
    MP_TaskData *task = new (&le->taskData) MP_TaskData{};
    for (auto &slot : stage.taskData) slot = nullptr;
    stage.taskData[0] = task;
    stage.numTasks = 1;
    task->termMessage1 = BZ_Word(stage.type);
    task->termMessage2 = project;
    task->termQueue = mainTaskData->inputQueue;
    task->queuesAllocated = 0;
    task->creator = mainTaskData;
    task->type = stage.type;
    if ((err = MP_RecreateQueue(&task->inFreeQueue)) != noErr) return err;
    if ((err = MP_RecreateQueue(&task->inputQueue)) != noErr) return err;
    if ((err = MP_RecreateEvent(&stage.event)) != noErr) return err;
    if ((err = MP_RecreateSemaphore(1, 0, &stage.semaphore)) != noErr) return err;
    if ((err = MP_RecreateQueue(&stage.subTaskInputQueue)) != noErr) return err;
    task->entryPoint = EntryPointFor(stage.type, measuringVarBr);
    if (stage.type == kBZ_AverageTaskType) {
      if ((err = MP_RecreateQueue(&stage.freeQueue2)) != noErr) return err;
      if ((err = MP_RecreateQueue(&stage.inputQueue2)) != noErr) return err;
    }
  }
  BZ_InitBufferQueues(project);
  for (SInt32 i = 0; i < numStages && i < kBZ_NumBuffInfos - 1; ++i)
    if ((err = MP_CreateTask(table[i].taskData[0])) != noErr) return err;
  return noErr;
}

OSStatus BZ_CloseProjectTasks(BZ_ProjPtr project, OSStatus message) {
  if (project == nullptr) return paramErr;
  std::printf("KBZ: closing project tasks\n");
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  void *sender = BZ_Word(kBZ_MainTaskType);
  void *code = BZ_Word(message);
  for (SInt32 i = 0; i < kBZ_NumBuffInfos - 1 && table[i].type != kBZ_NoTaskType; ++i) {
    BZ_BuffInfo &stage = table[i];
    MP_TaskData *task = stage.taskData[0];
    OSStatus err;
    auto post = [&](MPQueueID queue) { return queue != nullptr ? MPNotifyQueue(queue, sender, project, code) : noErr; };
    if ((err = post(task != nullptr ? task->inputQueue : nullptr)) != noErr) return err;
    if ((err = post(stage.inputQueue2)) != noErr) return err;
    if ((err = post(task != nullptr ? task->inFreeQueue : nullptr)) != noErr) return err;
    if ((err = post(stage.freeQueue2)) != noErr) return err;
    if (stage.event != nullptr && (err = MPSetEvent(stage.event, kBZ_StopTaskFlag)) != noErr) return err;
  }
  return noErr;
}

Boolean BZ_AllSubTasksClosed(BZ_BuffInfo *stageTable) {
  if (stageTable == nullptr) return true;
  for (SInt32 i = 0; i < kBZ_NumBuffInfos - 1 && stageTable[i].type != kBZ_NoTaskType; ++i) {
    const SInt32 numTasks = stageTable[i].numTasks;
    for (SInt32 j = 0; j < numTasks && j < kBZ_MaxStageTasks; ++j) {
      MP_TaskData *task = stageTable[i].taskData[j];
      if (task != nullptr && task->ID != nullptr) return false;
    }
  }
  return true;
}

OSStatus BZ_RemoveSubTasks(MP_TaskData *mainTaskData, BZ_BuffInfo *stageTable) {
  if (mainTaskData == nullptr) return paramErr;
  auto recordsLock = BZ_LockStageTaskRecords();
  if (stageTable != nullptr) {
    for (SInt32 i = 0; i < kBZ_NumBuffInfos - 1; ++i) {
      for (auto &slot : stageTable[i].taskData) slot = nullptr;
      stageTable[i].numTasks = 0;
    }
  }
  OSStatus first = noErr;
  for (auto *le = static_cast<MP_TaskDataLE *>(mainTaskData->subTaskList); le != nullptr; le = le->next) {
    OSStatus err = MP_DisposeTask(&le->taskData);
    // The records own no queues by their flags, but each run made an input and a free queue for them; with
    // the record gone nothing would ever delete those.
    MP_DeleteQueue(&le->taskData.inFreeQueue);
    MP_DeleteQueue(&le->taskData.inputQueue);
    if (first == noErr) first = err;
  }
  LL_DisposeLinkedList(&mainTaskData->subTaskList);
  return first;
}

OSStatus BZ_StartDeferredTask() {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  if (host->getDialogStatePtr(host->refCon)->movieAnalysisDeferred) return BZ_StartMovieAnalysisFromThread(true);
  if (host->previewCalcDeferred(host->refCon)) return BZ_StartPreviewCalcFromThread();
  return noErr;
}

OSStatus BZ_StartMovieAnalysisFromThread(Boolean newAnalysis) {
  const BZ_EventParam param = {kBZ_NewAnalysisEventParam, sizeof(Boolean), &newAnalysis};
  return BZ_PostEngineEvent(kBZ_StartMovieAnalysisEvent, &param, 1);
}

OSStatus BZ_StartPreviewCalcFromThread() {
  return BZ_PostEngineEvent(kBZ_StartPreviewCalcEvent, nullptr, 0);
}

OSStatus BZ_SendForcePreviewUpdateEvent(Boolean recreateImages) {
  const BZ_EventParam param = {kBZ_RecreateImagesEventParam, sizeof(Boolean), &recreateImages};
  return BZ_PostEngineEvent(kBZ_ForcePreviewUpdateEvent, &param, 1);
}

OSStatus BZ_WaitForMainTaskTermMessage(Duration duration) {
  MP_TaskData &main = gBZ.mainTaskData;
  void *result = nullptr;
  OSStatus err = MPWaitOnQueue(main.termQueue, nullptr, nullptr, &result, duration);
  if (err != noErr) return err;
  const OSStatus taskStatus = OSStatus(BZ_FromWord(result));
  if (taskStatus != noErr && taskStatus != kMP_NormalTerminationStatus) gBZ.error = taskStatus;
  // The task has ended whatever its status: its queues would otherwise outlive it.
  MP_DeleteQueue(&main.inputQueue);
  MP_DeleteQueue(&main.outputQueue);
  main.ID = nullptr;
  return err;
}
