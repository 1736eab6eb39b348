// The disk I/O task library (see the header for the tasks, their messages and who owns what).
#include "engine/tasks/disk_io.h"

#include "general/error_keys.h"
#include "general/memory_lists.h"
#include "platform/core/files.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

inline void *Word(intptr_t value) { return reinterpret_cast<void *>(value); }
inline intptr_t FromWord(void *word) { return reinterpret_cast<intptr_t>(word); }

// While the read pool is empty the read task waits for a chunk in slices of this many milliseconds, so that
// a stop or suspend still reaches it.
constexpr Duration kChunkWaitSlice = 10;
// A stage takes one more chunk from its pool only when none of its own has come back within this time (in
// milliseconds): the chunks in flight grow with the disks' latency up to a request's worth, and a fast copy
// keeps reusing a few chunks, which stay in the processor's caches and leave the rest of the pool untouched.
constexpr Duration kBorrowAfter = 1;

// The handler's result, for DIO_Main (one DIO_Main runs at a time, on the main thread).
std::atomic<OSStatus> gHandlerResult{noErr};

DIO_Project *ProjectOf(MP_TaskData *task) { return static_cast<DIO_Project *>(task->data); }

void KeepFirstError(DIO_Project *project, OSStatus err) {
  if (err == noErr) return;
  OSStatus expected = noErr;
  project->error.compare_exchange_strong(expected, err);
}

// Bytes of the chunk that starts at `offset` of the project's file.
ByteCount ChunkBytesAt(const DIO_Project *project, SInt64 offset) {
  return ByteCount(std::clamp<SInt64>(project->dataSize - offset, 0, SInt64(kDIO_ChunkSize)));
}

// Stages and disk tasks drop a project's chunks once it failed or was stopped at once.
bool Dropping(DIO_Project *project) {
  MP_TaskData *task = project->taskData.load();
  return project->error.load() != noErr || (task != nullptr && task->stopped.load());
}

MPEventID RequestEventOf(DIO_DiskInfo *disk, MP_TaskData *diskTask) {
  return diskTask == &disk->readTaskData ? disk->readRequestEvent : disk->writeRequestEvent;
}

// Requests enter a disk queue under the disk's input region, so that a removal (which empties the queue and
// puts the other projects' requests back) never interleaves with a post and every project keeps its order.
OSStatus PostDiskRequest(DIO_DiskInfo *disk, MP_TaskData *diskTask, DIO_TaskType sender, DIO_Project *project,
                         DIO_Data *data) {
  OSStatus err = MPEnterCriticalRegion(disk->inputCriticalRgn, kDurationForever);
  if (err != noErr) return err;
  err = MPNotifyQueue(diskTask->inputQueue, Word(sender), project, data);
  MPExitCriticalRegion(disk->inputCriticalRgn);
  if (err == noErr) MPSetEvent(RequestEventOf(disk, diskTask), 1);
  return err;
}

// The next message of a disk task: taken under the input region without waiting; when there is none, the
// task waits for the request event that every post sets.
OSStatus TakeDiskRequest(DIO_DiskInfo *disk, MP_TaskData *diskTask, void **sender, void **project, void **data) {
  for (;;) {
    OSStatus err = MPEnterCriticalRegion(disk->inputCriticalRgn, kDurationForever);
    if (err != noErr) return err;
    err = MPWaitOnQueue(diskTask->inputQueue, sender, project, data, kDurationImmediate);
    MPExitCriticalRegion(disk->inputCriticalRgn);
    if (err != kMPTimeoutErr) return err;
    if ((err = MPWaitForEvent(RequestEventOf(disk, diskTask), nullptr, kDurationForever)) != noErr) return err;
  }
}

void ReturnChunks(DIO_Data *data, DIO_TaskType sender) {
  for (SInt32 i = 0; i < data->numChunks; ++i)
    if (data->buffer[i] != nullptr) MPNotifyQueue(data->inFreeQueue, Word(sender), data->project, data->buffer[i]);
}

DIO_Data *NewEndMarker(DIO_Project *project, MPQueueID inFreeQueue, MPQueueID outputQueue) {
  DIO_Data *data = new (std::nothrow) DIO_Data{};
  if (data == nullptr) return nullptr;
  data->numChunks = 1;  // buffer[0] stays null: the end of the stream
  data->requestCount = kDIO_ChunkSize;
  data->inFreeQueue = inFreeQueue;
  data->outputQueue = outputQueue;
  data->project = project;
  return data;
}

// Sends the end of a stage's stream through the disk task, behind its requests; when that cannot be done the
// end goes straight to the next stage, which must never wait for ever.
OSStatus PostEndMarker(DIO_DiskInfo *disk, MP_TaskData *diskTask, DIO_TaskType sender, DIO_TaskType diskType,
                       DIO_Project *project, MPQueueID inFreeQueue, MPQueueID outputQueue) {
  DIO_Data *marker = NewEndMarker(project, inFreeQueue, outputQueue);
  OSStatus err = marker != nullptr ? PostDiskRequest(disk, diskTask, sender, project, marker) : OSStatus(memFullErr);
  if (err != noErr) {
    delete marker;
    KeepFirstError(project, err);
    MPNotifyQueue(outputQueue, Word(diskType), project, nullptr);
  }
  return err;
}

// What a disk task does with one request: the transfers under the disk's region, the posts after it.
void ServeRequest(DIO_DiskInfo *disk, DIO_Data *data, bool reading) {
  DIO_Project *project = data->project;
  const DIO_TaskType me = reading ? kDIO_DiskReadTaskType : kDIO_DiskWriteTaskType;
  bool done[kDIO_MaxChunksPerRequest] = {};
  bool endOfStream = false;
  if (MPEnterCriticalRegion(disk->criticalRgn, kDurationForever) == noErr) {
    for (SInt32 i = 0; i < data->numChunks; ++i) {
      if (data->buffer[i] == nullptr) {
        endOfStream = true;
        break;
      }
      if (Dropping(project)) continue;
      const ByteCount bytes = data->chunkBytes[i];
      const SInt64 position = data->position + SInt64(i) * SInt64(data->requestCount);
      ByteCount actual = 0;
      OSErr err = reading ? FSReadFork(project->readForkID, fsFromStart, position, bytes, data->buffer[i], &actual)
                          : FSWriteFork(project->writeForkID, fsFromStart, position, bytes, data->buffer[i], &actual);
      // A short transfer is a count error unless the system named a failure of its own.
      if ((err == noErr || err == eofErr) && actual != bytes) err = OSErr(kGL_ReadWriteCountErr);
      if (err != noErr) {
        KeepFirstError(project, err);
        continue;
      }
      if (reading) project->dataRead += SInt64(bytes);
      done[i] = true;
    }
    MPExitCriticalRegion(disk->criticalRgn);
  } else {
    endOfStream = data->numChunks > 0 && data->buffer[0] == nullptr;
  }
  for (SInt32 i = 0; i < data->numChunks; ++i) {
    void *chunk = data->buffer[i];
    if (chunk == nullptr) continue;
    if (reading && done[i]) {
      MPNotifyQueue(data->outputQueue, Word(me), project, chunk);
    } else {
      MPNotifyQueue(data->inFreeQueue, Word(me), project, chunk);
      if (done[i]) MPNotifyQueue(data->outputQueue, Word(me), project, chunk);
    }
  }
  if (endOfStream) MPNotifyQueue(data->outputQueue, Word(me), project, nullptr);
}

OSStatus ServeDisk(MP_TaskData *diskTask, bool reading) {
  DIO_DiskInfo *disk = static_cast<DIO_DiskInfo *>(diskTask->data);
  for (;;) {
    void *sender = nullptr, *project = nullptr, *word = nullptr;
    OSStatus err = TakeDiskRequest(disk, diskTask, &sender, &project, &word);
    if (err != noErr) return err;
    if (FromWord(sender) == kDIO_ProjectTaskType) return noErr;
    DIO_Data *data = static_cast<DIO_Data *>(word);
    if (data == nullptr) continue;
    ServeRequest(disk, data, reading);
    delete data;
  }
}

// The volume name of the disk holding a file.
OSStatus DiskNameOf(const FSRef *file, std::string *name) {
  FSCatalogInfo info{};
  OSErr err = FSGetCatalogInfo(file, kFSCatInfoVolume, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  HFSUniStr255 volumeName{};
  err = FSGetVolumeInfo(info.volume, 0, nullptr, kFSVolInfoNone, nullptr, &volumeName, nullptr);
  if (err != noErr) return err;
  return PL_UTF8FromUniChars(volumeName.unicode, volumeName.length, name);
}

MP_TaskData *DiskTaskOf(DIO_DiskInfo *disk, DIO_TaskType type) {
  return type == kDIO_DiskReadTaskType ? &disk->readTaskData : &disk->writeTaskData;
}

// True when a project task of the handler other than `except` reads from (source) or writes to the disk.
bool DiskUsedByOthers(MP_TaskData *handler, DIO_Project *except, DIO_DiskInfo *disk, bool asSource) {
  for (auto *le = static_cast<MP_TaskDataLE *>(handler->subTaskList); le != nullptr; le = le->next) {
    DIO_Project *other = ProjectOf(&le->taskData);
    if (other == nullptr || other == except) continue;
    if ((asSource ? other->sourceDiskInfo : other->targetDiskInfo) == disk) return true;
  }
  return false;
}

// Starts the next waiting project when a slot is free.
void StartWaitingProjects(MP_TaskData *handler) {
  DIO_ProjectsHandlerData *hd = static_cast<DIO_ProjectsHandlerData *>(handler->data);
  for (;;) {
    void *slot = nullptr;
    if (MPWaitOnQueue(handler->inFreeQueue, nullptr, nullptr, &slot, kDurationImmediate) != noErr) return;
    void *project = nullptr;
    if (MPWaitOnQueue(hd->waitingQueue, nullptr, nullptr, &project, kDurationImmediate) != noErr) {
      MPNotifyQueue(handler->inFreeQueue, Word(kDIO_ProjectsHandlerTaskType), nullptr, slot);
      return;
    }
    DIO_Project *p = static_cast<DIO_Project *>(project);
    OSStatus err = DIO_CreateProject(handler, SInt32(FromWord(slot)), p);
    if (err != noErr) {
      KeepFirstError(p, err);
      p->done = true;
      MPNotifyQueue(handler->inFreeQueue, Word(kDIO_ProjectsHandlerTaskType), nullptr, slot);
    }
  }
}

// A project that will not run: it ends with `err` as its error.
void RefuseProject(DIO_Project *project, OSStatus err) {
  KeepFirstError(project, err);
  project->done = true;
}

MP_TaskData *SubTask(MP_TaskData *projectTask, DIO_TaskType type) {
  return MP_GetSubTaskByTypeAndIndex(projectTask, OSType(type), 0, 0);
}

MP_TaskData *LiveSubTask(MP_TaskData *projectTask, DIO_TaskType type) {
  MP_TaskData *task = SubTask(projectTask, type);
  return task != nullptr && task->ID != nullptr ? task : nullptr;
}

// A new (re)start of a project's copy: everything not safely written is done again, from where the target
// ends after being cut back to what was written.
OSStatus PrepareRun(DIO_Project *project) {
  const SInt64 written = project->dataWritten.load();
  project->dataRead = written;
  project->dataProcessed = written;
  return FSSetForkSize(project->writeForkID, fsFromStart, written);
}

}  // namespace

// ---- Main thread ----

OSStatus DIO_SendPHQuitEvent() {
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kDIO_EventClass, kDIO_HandlerEndedEventKind, 0, kEventAttributeNone, &event);
  if (err != noErr) return err;
  err = PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  ReleaseEvent(event);
  return err;
}

OSStatus DIO_AppEventHandler(EventHandlerCallRef, EventRef inEvent, void *inUserData) {
  MP_TaskData *handler = static_cast<MP_TaskData *>(inUserData);
  const UInt32 eventClass = GetEventClass(inEvent), kind = GetEventKind(inEvent);
  if (eventClass == kDIO_EventClass && kind == kDIO_NewProjectEventKind) {
    DIO_Project *project = nullptr;
    OSStatus err = GetEventParameter(inEvent, kEventParamDirectObject, kDIO_ProjectParamType, nullptr, sizeof project,
                                     nullptr, &project);
    if (err != noErr) return err;
    if (project == nullptr) return paramErr;
    return MPNotifyQueue(handler->inputQueue, Word(kDIO_MainThreadTaskType), nullptr, project);
  }
  if (eventClass == kDIO_EventClass && kind == kDIO_HandlerEndedEventKind) {
    // The handler has ended: take its termination message, so that its thread is done, then let it go.
    void *result = nullptr;
    OSStatus err = PL_WaitOnQueueDispatching(handler->termQueue, nullptr, nullptr, &result, kDurationForever);
    gHandlerResult = err != noErr ? err : OSStatus(FromWord(result));
    handler->ID = nullptr;
    MP_DisposeTask(handler);
    QuitApplicationEventLoop();
    return noErr;
  }
  if (eventClass == kEventClassCommand && kind == kEventCommandProcess) {
    HICommand command{};
    OSStatus err = GetEventParameter(inEvent, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr,
                                     &command);
    if (err != noErr || command.commandID != kHICommandQuit) return eventNotHandledErr;
    return MPNotifyQueue(handler->inputQueue, Word(kDIO_MainThreadTaskType), nullptr, nullptr);
  }
  return eventNotHandledErr;
}

OSStatus DIO_Main() {
  MP_TaskData handler{};
  handler.entryPoint = DIO_ProjectsHandler;
  handler.type = kDIO_ProjectsHandlerTaskType;
  handler.termMessage1 = Word(kDIO_ProjectsHandlerTaskType);
  handler.queuesAllocated = kMP_InFreeQueueAlloc | kMP_InputQueueAlloc | kMP_TermQueueAlloc;
  gHandlerResult = noErr;
  OSStatus err = MP_CreateTask(&handler);
  if (err != noErr) {
    MP_DisposeTask(&handler);
    return err;
  }
  const EventTypeSpec kinds[] = {{kDIO_EventClass, kDIO_NewProjectEventKind},
                                 {kDIO_EventClass, kDIO_HandlerEndedEventKind},
                                 {kEventClassCommand, kEventCommandProcess}};
  EventHandlerRef ref = nullptr;
  err = InstallApplicationEventHandler(DIO_AppEventHandler, 3, kinds, &handler, &ref);
  if (err != noErr) {
    // Without the handler nobody would take the handler's end: stop it and wait here.
    MPNotifyQueue(handler.inputQueue, Word(kDIO_MainThreadTaskType), nullptr, nullptr);
    PL_WaitOnQueueDispatching(handler.termQueue, nullptr, nullptr, nullptr, kDurationForever);
    MP_DisposeTask(&handler);
    return err;
  }
  RunApplicationEventLoop();
  RemoveEventHandler(ref);
  return gHandlerResult.load();
}

// ---- Handler ----

OSStatus DIO_ProjectsHandler(void *taskData) {
  MP_TaskData *handler = static_cast<MP_TaskData *>(taskData);
  DIO_ProjectsHandlerData hd{};
  OSStatus err = noErr;
  // Zeroed by the system: pages no chunk has touched cost nothing.
  hd.readBuffer = std::calloc(kDIO_PoolChunks, kDIO_ChunkSize);
  hd.writeBuffer = std::calloc(kDIO_PoolChunks, kDIO_ChunkSize);
  if (hd.readBuffer == nullptr || hd.writeBuffer == nullptr) err = memFullErr;
  if (err == noErr) err = MPCreateQueue(&hd.readFreeQueue);
  if (err == noErr) err = MPCreateQueue(&hd.writeFreeQueue);
  if (err == noErr) err = MPCreateQueue(&hd.waitingQueue);
  for (SInt32 i = 0; i < kDIO_PoolChunks && err == noErr; ++i) {
    err = MPNotifyQueue(hd.readFreeQueue, Word(kDIO_ProjectsHandlerTaskType), nullptr,
                        static_cast<UInt8 *>(hd.readBuffer) + size_t(i) * kDIO_ChunkSize);
    if (err == noErr)
      err = MPNotifyQueue(hd.writeFreeQueue, Word(kDIO_ProjectsHandlerTaskType), nullptr,
                          static_cast<UInt8 *>(hd.writeBuffer) + size_t(i) * kDIO_ChunkSize);
  }
  for (SInt32 slot = 0; slot < kDIO_MaxProjects && err == noErr; ++slot)
    err = MPNotifyQueue(handler->inFreeQueue, Word(kDIO_ProjectsHandlerTaskType), nullptr, Word(slot));
  handler->data = &hd;

  while (err == noErr) {
    void *sender = nullptr, *second = nullptr, *third = nullptr;
    err = MPWaitOnQueue(handler->inputQueue, &sender, &second, &third, kDurationForever);
    if (err != noErr) break;
    const intptr_t from = FromWord(sender);
    if (from == kDIO_MainThreadTaskType && third != nullptr) {
      DIO_Project *project = static_cast<DIO_Project *>(third);
      if (hd.quitting) {
        RefuseProject(project, userCanceledErr);
      } else if (MPNotifyQueue(hd.waitingQueue, Word(kDIO_MainThreadTaskType), nullptr, project) != noErr) {
        RefuseProject(project, memFullErr);
      } else {
        StartWaitingProjects(handler);
      }
    } else if (from == kDIO_MainThreadTaskType) {
      hd.quitting = true;
      void *waiting = nullptr;
      while (MPWaitOnQueue(hd.waitingQueue, nullptr, nullptr, &waiting, kDurationImmediate) == noErr)
        RefuseProject(static_cast<DIO_Project *>(waiting), userCanceledErr);
      DIO_CloseSubTasks(handler, kDIO_StopMessageType);
      if (MP_CountValidSubTasks(handler) == 0) break;
    } else if (from == kDIO_ProjectTaskType) {
      DIO_Project *project = static_cast<DIO_Project *>(second);
      MP_TaskData *task = project->taskData.load();
      if (task == nullptr) continue;
      const SInt32 slot = task->number;
      DIO_DeleteProjectDisks(handler, project);
      task->ID = nullptr;
      MP_DisposeTask(task);
      MP_RemoveSubTaskFromList(handler, task);
      project->taskData = nullptr;
      project->done = true;
      MPNotifyQueue(handler->inFreeQueue, Word(kDIO_ProjectsHandlerTaskType), nullptr, Word(slot));
      if (hd.quitting && MP_CountValidSubTasks(handler) == 0) break;
      if (!hd.quitting) StartWaitingProjects(handler);
    }
  }

  // What is left: disks of no project, the queues and the pools.
  while (hd.diskInfoList != nullptr) {
    DIO_DiskInfo *disk = &hd.diskInfoList->diskInfo;
    DIO_DeleteDisk(handler, disk, kDIO_DiskReadTaskType);
    if (hd.diskInfoList != nullptr && &hd.diskInfoList->diskInfo == disk)
      DIO_DeleteDisk(handler, disk, kDIO_DiskWriteTaskType);
  }
  MP_DeleteQueue(&hd.waitingQueue);
  MP_DeleteQueue(&hd.readFreeQueue);
  MP_DeleteQueue(&hd.writeFreeQueue);
  std::free(hd.readBuffer);
  std::free(hd.writeBuffer);
  handler->data = nullptr;
  DIO_SendPHQuitEvent();
  return err;
}

OSStatus DIO_CreateProject(MP_TaskData *handler, SInt32 slot, DIO_Project *project) {
  if (handler == nullptr || project == nullptr || handler->data == nullptr) return paramErr;
  DIO_ProjectsHandlerData *hd = static_cast<DIO_ProjectsHandlerData *>(handler->data);
  FSCatalogInfo info{};
  OSStatus err = FSGetCatalogInfo(&project->srcFile, kFSCatInfoDataSizes, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  MP_TaskDataLE *le = nullptr;
  if ((err = LL_AddNewPtr(sizeof(MP_TaskDataLE), nullptr, &handler->subTaskList, &le)) != noErr) return err;
  MP_TaskData *task = new (&le->taskData) MP_TaskData{};
  task->entryPoint = DIO_ProjectTask;
  task->type = kDIO_ProjectTaskType;
  task->queuesAllocated = kMP_InputQueueAlloc;
  task->termQueue = handler->inputQueue;
  task->termMessage1 = Word(kDIO_ProjectTaskType);
  task->termMessage2 = project;
  task->number = slot;
  task->creator = handler;
  task->data = project;

  project->sourceDiskInfo = nullptr;
  project->targetDiskInfo = nullptr;
  project->readForkID = 0;
  project->writeForkID = 0;
  project->suspended = false;
  project->error = noErr;
  project->readBuffer = hd->readBuffer;
  project->writeBuffer = hd->writeBuffer;
  project->readFreeQueue = hd->readFreeQueue;
  project->writeFreeQueue = hd->writeFreeQueue;
  project->dataRead = 0;
  project->dataProcessed = 0;
  project->dataWritten = 0;
  project->dataSize = SInt64(info.dataLogicalSize);
  // Every byte counts: the last partial megabyte is a chunk of its own.
  project->numData = SInt32((project->dataSize + SInt64(kDIO_ChunkSize) - 1) / SInt64(kDIO_ChunkSize));
  project->done = false;
  if ((err = DIO_AddProjectDisks(handler, project)) != noErr) {
    DIO_DeleteProjectDisks(handler, project);
    MP_RemoveSubTaskFromList(handler, task);
    return err;
  }
  project->taskData = task;
  if ((err = MP_CreateTask(task)) != noErr) {
    project->taskData = nullptr;
    MP_DisposeTask(task);
    DIO_DeleteProjectDisks(handler, project);
    MP_RemoveSubTaskFromList(handler, task);
  }
  return err;
}

// ---- Project ----

OSStatus DIO_CreateProjectSubTasks(MP_TaskData *projectTask) {
  DIO_Project *project = ProjectOf(projectTask);
  const struct {
    DIO_TaskType type;
    TaskProc entry;
    SInt32 queues;
  } stages[3] = {{kDIO_WriteTaskType, DIO_Write, kMP_InFreeQueueAlloc | kMP_InputQueueAlloc},
                 {kDIO_ProcessTaskType, DIO_Process, kMP_InputQueueAlloc},
                 {kDIO_ReadTaskType, DIO_Read, kMP_InFreeQueueAlloc | kMP_InputQueueAlloc}};
  // The records and their queues first, so that every stage knows its neighbours' queues before any runs.
  MP_TaskData *tasks[3] = {};
  OSStatus err = noErr;
  for (int i = 0; i < 3 && err == noErr; ++i) {
    MP_TaskDataLE *le = nullptr;
    if ((err = LL_AddNewPtr(sizeof(MP_TaskDataLE), nullptr, &projectTask->subTaskList, &le)) != noErr) break;
    MP_TaskData *task = tasks[i] = new (&le->taskData) MP_TaskData{};
    task->entryPoint = stages[i].entry;
    task->type = stages[i].type;
    task->queuesAllocated = stages[i].queues;  // deleted with the task by MP_DisposeTask
    task->termQueue = projectTask->inputQueue;
    task->termMessage1 = Word(stages[i].type);
    task->termMessage2 = project;
    task->creator = projectTask;
    task->data = project;
    err = MPCreateQueue(&task->inputQueue);
    if (err == noErr && (stages[i].queues & kMP_InFreeQueueAlloc)) err = MPCreateQueue(&task->inFreeQueue);
  }
  MP_TaskData *write = tasks[0], *process = tasks[1], *read = tasks[2];
  if (err == noErr) {
    // Unflagged here: the neighbours' own queues. A stage's free queue holds the pool chunks it has lent.
    process->outputQueue = write->inputQueue;
    process->outFreeQueue = write->inFreeQueue;
    process->inFreeQueue = read->inFreeQueue;
    read->outputQueue = process->inputQueue;
  }
  // Downstream first: a stage started later always finds the ones it feeds running.
  int started = 0;
  for (; started < 3 && err == noErr; ++started) {
    MP_TaskData *task = tasks[started];
    const SInt32 flags = task->queuesAllocated;
    task->queuesAllocated = 0;  // the queues exist: start the task only
    err = MP_CreateTask(task);
    task->queuesAllocated = flags;
    if (err != noErr) break;
  }
  if (err != noErr) {
    KeepFirstError(project, err);
    // Stages that run wait for the end of their input: give it to them. The others go.
    if (started == 1) MPNotifyQueue(write->inputQueue, Word(kDIO_ProcessTaskType), project, nullptr);
    if (started == 2) MPNotifyQueue(process->inputQueue, Word(kDIO_DiskReadTaskType), project, nullptr);
    for (int i = 2; i >= started; --i) {
      if (tasks[i] == nullptr) continue;
      MP_DisposeTask(tasks[i]);
      MP_RemoveSubTaskFromList(projectTask, tasks[i]);
    }
  }
  return err;
}

OSStatus DIO_ProjectTask(void *taskData) {
  MP_TaskData *self = static_cast<MP_TaskData *>(taskData);
  DIO_Project *project = ProjectOf(self);
  OSStatus err = FSOpenFork(&project->srcFile, 0, nullptr, fsRdPerm, &project->readForkID);
  if (err == noErr) err = FSOpenFork(&project->targetFile, 0, nullptr, fsRdWrPerm, &project->writeForkID);
  if (err == noErr) err = PrepareRun(project);
  if (err == noErr) err = DIO_CreateProjectSubTasks(self);
  KeepFirstError(project, err);

  bool stopRequested = false;   // by the handler (quit) or at once: the project ends when its stages have
  bool stopSent = false;        // the stages were told to stop at once
  bool resumePending = false;   // resume once the suspended stages have ended
  while (MP_CountValidSubTasks(self) > 0 || (project->suspended && !stopRequested)) {
    void *sender = nullptr, *second = nullptr, *third = nullptr;
    if ((err = MPWaitOnQueue(self->inputQueue, &sender, &second, &third, kDurationForever)) != noErr) {
      KeepFirstError(project, err);
      break;
    }
    const intptr_t from = FromWord(sender);
    const bool running = MP_CountValidSubTasks(self) > 0;
    if (from == kDIO_ProjectsHandlerTaskType) {
      stopRequested = true;
      const DIO_MessageType message = DIO_MessageType(FromWord(second));
      if (message == kDIO_StopImmediateMessageType && running && !stopSent) {
        stopSent = true;
        self->stopped = true;
      }
      if (running) DIO_CloseSubTasks(self, message);
    } else if (from == kDIO_MainThreadTaskType && FromWord(second) == kDIO_SuspendResumeMessageType) {
      if (running && !project->suspended) {
        project->suspended = true;
        DIO_CloseSubTasks(self, kDIO_SuspendResumeMessageType);
      } else if (running) {
        resumePending = !resumePending;
      } else {
        resumePending = true;
      }
    } else if (from == kDIO_ReadTaskType || from == kDIO_ProcessTaskType || from == kDIO_WriteTaskType) {
      MP_TaskData *ended = SubTask(self, DIO_TaskType(from));
      if (ended != nullptr) {
        ended->ID = nullptr;
        MP_DisposeTask(ended);
        MP_RemoveSubTaskFromList(self, ended);
      }
      const OSStatus result = OSStatus(FromWord(third));
      if (result != kMPTaskAbortedErr) KeepFirstError(project, result);
      if (project->error != noErr && !stopSent && MP_CountValidSubTasks(self) > 0) {
        stopSent = true;
        self->stopped = true;
        DIO_CloseSubTasks(self, kDIO_StopImmediateMessageType);
      }
      if (MP_CountValidSubTasks(self) > 0) continue;
      // The stages have ended: the copy is complete, kept for a resume, or over.
      if (project->error == noErr && project->dataWritten == project->dataSize) break;
      if (stopRequested) break;
      if (DIO_ErrorIsRecoverable(project->error)) project->suspended = true;
      if (!project->suspended) break;
    }
    if (!stopRequested && resumePending && project->suspended && MP_CountValidSubTasks(self) == 0) {
      resumePending = false;
      project->suspended = false;
      project->error = noErr;
      self->stopped = false;
      stopSent = false;
      OSStatus startErr = PrepareRun(project);
      if (startErr == noErr) startErr = DIO_CreateProjectSubTasks(self);
      KeepFirstError(project, startErr);
      if (startErr != noErr && MP_CountValidSubTasks(self) == 0) break;
    }
  }
  // An incomplete copy without an error of its own was stopped.
  if (project->error == noErr && project->dataWritten != project->dataSize) KeepFirstError(project, userCanceledErr);
  if (project->writeForkID != 0) KeepFirstError(project, FSCloseFork(project->writeForkID));
  if (project->readForkID != 0) FSCloseFork(project->readForkID);
  project->writeForkID = 0;
  project->readForkID = 0;
  return project->error;
}

OSStatus DIO_Read(void *taskData) {
  MP_TaskData *self = static_cast<MP_TaskData *>(taskData);
  DIO_Project *project = ProjectOf(self);
  DIO_DiskInfo *disk = project->sourceDiskInfo;
  MP_TaskData *diskTask = &disk->readTaskData;
  const MPQueueID processQueue = self->outputQueue;
  SInt64 offset = project->dataRead.load();
  SInt32 lent = 0;  // pool chunks this stage holds; they come back to its free queue
  bool immediate = false;
  OSStatus err = noErr;

  // A free chunk: one of this stage's own, else (when none comes back soon) one more from the pool while it
  // holds fewer than a request's worth. With a time-out it waits in slices, so that a stop or suspend still
  // reaches the stage (kMPTimeoutErr after a slice); without one it takes only what is there.
  auto takeChunk = [&](Duration timeout, void **chunk) -> OSStatus {
    *chunk = nullptr;
    if (MPWaitOnQueue(self->inFreeQueue, nullptr, nullptr, chunk, kDurationImmediate) == noErr) return noErr;
    if (timeout == kDurationImmediate) return kMPTimeoutErr;
    if (lent > 0 && MPWaitOnQueue(self->inFreeQueue, nullptr, nullptr, chunk, kBorrowAfter) == noErr) return noErr;
    if (lent < kDIO_MaxChunksPerRequest) {
      const OSStatus e =
          MPWaitOnQueue(project->readFreeQueue, nullptr, nullptr, chunk, lent == 0 ? timeout : Duration(kDurationImmediate));
      if (e == noErr) ++lent;
      if (e != kMPTimeoutErr || lent == 0) return e;
    }
    return MPWaitOnQueue(self->inFreeQueue, nullptr, nullptr, chunk, timeout);
  };

  for (;;) {
    // A stop or a suspend ends the stream after the requests already sent.
    void *message = nullptr;
    bool stop = false;
    while (MPWaitOnQueue(self->inputQueue, nullptr, &message, nullptr, kDurationImmediate) == noErr) {
      stop = true;
      if (FromWord(message) == kDIO_StopImmediateMessageType) immediate = true;
    }
    if (stop || offset >= project->dataSize || Dropping(project)) break;
    void *chunk = nullptr;
    err = takeChunk(kChunkWaitSlice, &chunk);
    if (err == kMPTimeoutErr) {
      err = noErr;
      continue;
    }
    if (err != noErr) break;
    DIO_Data *data = new (std::nothrow) DIO_Data{};
    if (data == nullptr) {
      MPNotifyQueue(self->inFreeQueue, Word(kDIO_ReadTaskType), project, chunk);
      err = memFullErr;
      break;
    }
    data->requestCount = kDIO_ChunkSize;
    data->inFreeQueue = self->inFreeQueue;
    data->outputQueue = processQueue;
    data->project = project;
    data->position = offset;
    for (;;) {
      data->buffer[data->numChunks] = chunk;
      data->chunkBytes[data->numChunks] = ChunkBytesAt(project, offset);
      offset += SInt64(data->chunkBytes[data->numChunks]);
      ++data->numChunks;
      if (data->numChunks == kDIO_MaxChunksPerRequest || offset >= project->dataSize) break;
      if (takeChunk(kDurationImmediate, &chunk) != noErr) break;
    }
    if ((err = PostDiskRequest(disk, diskTask, kDIO_ReadTaskType, project, data)) != noErr) {
      ReturnChunks(data, kDIO_ReadTaskType);
      delete data;
      break;
    }
  }
  KeepFirstError(project, err);
  if (immediate) DIO_RemoveMessagesFromDiskIOQueue(disk, diskTask, project);
  PostEndMarker(disk, diskTask, kDIO_ReadTaskType, kDIO_DiskReadTaskType, project, self->inFreeQueue, processQueue);
  // Every lent chunk comes back once the stream has drained (the process stage and the disk task return
  // them here); then the pool has them again.
  for (; lent > 0; --lent) {
    void *chunk = nullptr;
    OSStatus waitErr = MPWaitOnQueue(self->inFreeQueue, nullptr, nullptr, &chunk, kDurationForever);
    if (waitErr != noErr) return waitErr;
    MPNotifyQueue(project->readFreeQueue, Word(kDIO_ReadTaskType), project, chunk);
  }
  return err;
}

OSStatus DIO_Process(void *taskData) {
  MP_TaskData *self = static_cast<MP_TaskData *>(taskData);
  DIO_Project *project = ProjectOf(self);
  const MPQueueID writeQueue = self->outputQueue;
  SInt64 offset = project->dataProcessed.load();
  SInt32 borrowed = 0;  // write chunks taken from the pool into the write stage's circulation
  OSStatus err = noErr;
  // A free write chunk: one the write stage has got back, else (when none comes soon) one more from the
  // pool while fewer than a request's worth circulate. The write stage gives them all back when it ends.
  auto takeWriteChunk = [&](void **chunk) -> OSStatus {
    if (MPWaitOnQueue(self->outFreeQueue, nullptr, nullptr, chunk,
                      borrowed > 0 ? kBorrowAfter : Duration(kDurationImmediate)) == noErr)
      return noErr;
    if (borrowed < kDIO_MaxChunksPerRequest) {
      OSStatus e = MPWaitOnQueue(project->writeFreeQueue, nullptr, nullptr, chunk,
                                 borrowed == 0 ? Duration(kDurationForever) : Duration(kDurationImmediate));
      if (e == noErr) {
        ++borrowed;
        return noErr;
      }
      if (e != kMPTimeoutErr) return e;
    }
    return MPWaitOnQueue(self->outFreeQueue, nullptr, nullptr, chunk, kDurationForever);
  };
  for (;;) {
    void *chunk = nullptr;
    if ((err = MPWaitOnQueue(self->inputQueue, nullptr, nullptr, &chunk, kDurationForever)) != noErr) break;
    if (chunk == nullptr) break;  // the end of the read stream
    const ByteCount bytes = ChunkBytesAt(project, offset);
    offset += SInt64(bytes);
    void *out = nullptr;
    if (!Dropping(project)) {
      // The processing: the data passes from a read chunk into a write chunk.
      if ((err = takeWriteChunk(&out)) == noErr) {
        std::memcpy(out, chunk, bytes);
        project->dataProcessed = offset;
      } else {
        KeepFirstError(project, err);
        out = nullptr;
      }
    }
    // The read chunk goes back to the read stage that lent it from the pool.
    MPNotifyQueue(self->inFreeQueue, Word(kDIO_ProcessTaskType), project, chunk);
    if (out != nullptr) MPNotifyQueue(writeQueue, Word(kDIO_ProcessTaskType), project, out);
  }
  KeepFirstError(project, err);
  MPNotifyQueue(writeQueue, Word(kDIO_ProcessTaskType), project, nullptr);
  return err;
}

OSStatus DIO_Write(void *taskData) {
  MP_TaskData *self = static_cast<MP_TaskData *>(taskData);
  DIO_Project *project = ProjectOf(self);
  DIO_DiskInfo *disk = project->targetDiskInfo;
  MP_TaskData *diskTask = &disk->writeTaskData;
  SInt64 position = project->dataWritten.load();  // where the next chunk from the process stage goes
  SInt64 written = position;                      // what the disk has confirmed
  DIO_Data *pending = nullptr;
  OSStatus err = noErr;

  auto flush = [&]() -> OSStatus {
    if (pending == nullptr) return noErr;
    DIO_Data *data = pending;
    pending = nullptr;
    OSStatus postErr = PostDiskRequest(disk, diskTask, kDIO_WriteTaskType, project, data);
    if (postErr != noErr) {
      ReturnChunks(data, kDIO_WriteTaskType);
      delete data;
    }
    return postErr;
  };
  auto drop = [&](void *chunk) { MPNotifyQueue(self->inFreeQueue, Word(kDIO_WriteTaskType), project, chunk); };

  for (;;) {
    void *sender = nullptr, *second = nullptr, *third = nullptr;
    // Gathered chunks go to the disk as soon as nothing more is waiting, so no chunk waits for company.
    OSStatus waitErr = MPWaitOnQueue(self->inputQueue, &sender, &second, &third, kDurationImmediate);
    if (waitErr == kMPTimeoutErr) {
      KeepFirstError(project, flush());
      waitErr = MPWaitOnQueue(self->inputQueue, &sender, &second, &third, kDurationForever);
    }
    if (waitErr != noErr) {
      err = waitErr;
      break;
    }
    const intptr_t from = FromWord(sender);
    if (from == kDIO_ProcessTaskType) {
      if (third == nullptr) {  // the end of the stream: send what is gathered, then the end behind it
        KeepFirstError(project, flush());
        PostEndMarker(disk, diskTask, kDIO_WriteTaskType, kDIO_DiskWriteTaskType, project, self->inFreeQueue,
                      self->inputQueue);
        continue;
      }
      const ByteCount bytes = ChunkBytesAt(project, position);
      position += SInt64(bytes);
      if (Dropping(project)) {
        drop(third);
        continue;
      }
      if (pending == nullptr) {
        pending = new (std::nothrow) DIO_Data{};
        if (pending == nullptr) {
          drop(third);
          KeepFirstError(project, memFullErr);
          continue;
        }
        pending->requestCount = kDIO_ChunkSize;
        pending->inFreeQueue = self->inFreeQueue;
        pending->outputQueue = self->inputQueue;
        pending->project = project;
        pending->position = position - SInt64(bytes);
      }
      pending->buffer[pending->numChunks] = third;
      pending->chunkBytes[pending->numChunks] = bytes;
      ++pending->numChunks;
      if (pending->numChunks == kDIO_MaxChunksPerRequest) KeepFirstError(project, flush());
    } else if (from == kDIO_DiskWriteTaskType) {
      if (third == nullptr) break;  // everything sent has been served
      // Counted in file order while the project is sound; after a failure the count stops, so a resume
      // never trusts a chunk whose write is not certain.
      if (project->error == noErr) {
        written += SInt64(ChunkBytesAt(project, written));
        project->dataWritten = written;
      }
    } else if (from == kDIO_ProjectTaskType && FromWord(second) == kDIO_StopImmediateMessageType) {
      if (pending != nullptr) {
        ReturnChunks(pending, kDIO_WriteTaskType);
        delete pending;
        pending = nullptr;
      }
      DIO_RemoveMessagesFromDiskIOQueue(disk, diskTask, project);
    }
  }
  if (pending != nullptr) {
    ReturnChunks(pending, kDIO_WriteTaskType);
    delete pending;
  }
  KeepFirstError(project, err);
  // Everything has been served: the write chunks the process stage took from the pool are all back in this
  // stage's free queue (the process stage has ended, the disk task returned each); the pool gets them again.
  void *chunk = nullptr;
  while (err == noErr && MPWaitOnQueue(self->inFreeQueue, nullptr, nullptr, &chunk, kDurationImmediate) == noErr)
    MPNotifyQueue(project->writeFreeQueue, Word(kDIO_WriteTaskType), project, chunk);
  return err;
}

OSStatus DIO_DiskReadTask(void *taskData) { return ServeDisk(static_cast<MP_TaskData *>(taskData), true); }

OSStatus DIO_DiskWriteTask(void *taskData) { return ServeDisk(static_cast<MP_TaskData *>(taskData), false); }

OSStatus DIO_RemoveMessagesFromDiskIOQueue(DIO_DiskInfo *diskInfo, MP_TaskData *diskTaskData, DIO_Project *project) {
  if (diskInfo == nullptr || diskTaskData == nullptr || diskTaskData->inputQueue == nullptr) return paramErr;
  OSStatus err = MPEnterCriticalRegion(diskInfo->inputCriticalRgn, kDurationForever);
  if (err != noErr) return err;
  struct Message {
    void *sender, *project, *data;
  };
  std::vector<Message> kept;
  const DIO_TaskType me = diskTaskData == &diskInfo->readTaskData ? kDIO_DiskReadTaskType : kDIO_DiskWriteTaskType;
  for (;;) {
    Message m{};
    err = MPWaitOnQueue(diskTaskData->inputQueue, &m.sender, &m.project, &m.data, kDurationImmediate);
    if (err == kMPTimeoutErr) {  // the queue is empty
      err = noErr;
      break;
    }
    if (err != noErr) break;
    DIO_Data *data = static_cast<DIO_Data *>(m.data);
    const bool endMarker = data != nullptr && data->numChunks > 0 && data->buffer[0] == nullptr;
    if (m.project == project && data != nullptr && !endMarker) {
      ReturnChunks(data, me);
      delete data;
      continue;
    }
    try {
      kept.push_back(m);
    } catch (const std::bad_alloc &) {
      MPNotifyQueue(diskTaskData->inputQueue, m.sender, m.project, m.data);
      err = memFullErr;
      break;
    }
  }
  // Put the others back in their order; anything still queued (after a failure) follows them.
  std::vector<Message> rest;
  for (Message m; MPWaitOnQueue(diskTaskData->inputQueue, &m.sender, &m.project, &m.data, kDurationImmediate) == noErr;)
    rest.push_back(m);
  for (const Message &m : kept) MPNotifyQueue(diskTaskData->inputQueue, m.sender, m.project, m.data);
  for (const Message &m : rest) MPNotifyQueue(diskTaskData->inputQueue, m.sender, m.project, m.data);
  MPExitCriticalRegion(diskInfo->inputCriticalRgn);
  if (!kept.empty() || !rest.empty()) MPSetEvent(RequestEventOf(diskInfo, diskTaskData), 1);
  return err;
}

OSStatus DIO_CloseSubTasks(MP_TaskData *taskData, DIO_MessageType message) {
  if (taskData == nullptr) return paramErr;
  if (taskData->type == OSType(kDIO_ProjectsHandlerTaskType)) {
    OSStatus first = noErr;
    for (auto *le = static_cast<MP_TaskDataLE *>(taskData->subTaskList); le != nullptr; le = le->next) {
      if (le->taskData.ID == nullptr) continue;
      OSStatus err = MPNotifyQueue(le->taskData.inputQueue, Word(kDIO_ProjectsHandlerTaskType), Word(message), nullptr);
      if (first == noErr) first = err;
    }
    return first;
  }
  MP_TaskData *read = LiveSubTask(taskData, kDIO_ReadTaskType);
  if (read != nullptr) return MPNotifyQueue(read->inputQueue, Word(kDIO_ProjectTaskType), Word(message), nullptr);
  // The read stage has ended: an immediate stop still takes the later stages' requests off the disk.
  if (message == kDIO_StopImmediateMessageType) {
    MP_TaskData *write = LiveSubTask(taskData, kDIO_WriteTaskType);
    if (write != nullptr) return MPNotifyQueue(write->inputQueue, Word(kDIO_ProjectTaskType), Word(message), nullptr);
  }
  return noErr;
}

Boolean DIO_ErrorIsRecoverable(OSStatus err) { return err == dskFulErr; }

// ---- Disks ----

OSStatus DIO_AddProjectDisks(MP_TaskData *handler, DIO_Project *project) {
  std::string sourceName, targetName;
  OSStatus err = DiskNameOf(&project->srcFile, &sourceName);
  if (err == noErr) err = DiskNameOf(&project->targetFile, &targetName);
  if (err == noErr) err = DIO_AddDisk(handler, sourceName.c_str(), kDIO_DiskReadTaskType, &project->sourceDiskInfo);
  if (err == noErr) err = DIO_AddDisk(handler, targetName.c_str(), kDIO_DiskWriteTaskType, &project->targetDiskInfo);
  return err;
}

OSStatus DIO_DeleteProjectDisks(MP_TaskData *handler, DIO_Project *project) {
  OSStatus first = noErr;
  DIO_DiskInfo *source = project->sourceDiskInfo, *target = project->targetDiskInfo;
  if (source != nullptr && !DiskUsedByOthers(handler, project, source, true))
    first = DIO_DeleteDisk(handler, source, kDIO_DiskReadTaskType);
  if (target != nullptr && !DiskUsedByOthers(handler, project, target, false)) {
    OSStatus err = DIO_DeleteDisk(handler, target, kDIO_DiskWriteTaskType);
    if (first == noErr) first = err;
  }
  project->sourceDiskInfo = nullptr;
  project->targetDiskInfo = nullptr;
  return first;
}

OSStatus DIO_AddDisk(MP_TaskData *handler, const char *name, DIO_TaskType diskTaskType, DIO_DiskInfo **diskInfo) {
  if (handler == nullptr || handler->data == nullptr || name == nullptr || diskInfo == nullptr) return paramErr;
  DIO_ProjectsHandlerData *hd = static_cast<DIO_ProjectsHandlerData *>(handler->data);
  *diskInfo = nullptr;
  DIO_DiskInfo *disk = DIO_GetDiskInfo(hd->diskInfoList, name);
  OSStatus err = noErr;
  bool added = false;
  if (disk == nullptr) {
    DIO_DiskInfoLE *le = nullptr;
    if ((err = LL_AddNewPtr(sizeof(DIO_DiskInfoLE), nullptr, &hd->diskInfoList, &le)) != noErr) return err;
    disk = new (&le->diskInfo) DIO_DiskInfo{};
    std::snprintf(disk->name, sizeof disk->name, "%s", name);
    added = true;
    // Made with the disk and deleted with it: a disk task reads its request event while the other task of
    // the disk comes and goes.
    err = MPCreateCriticalRegion(&disk->criticalRgn);
    if (err == noErr) err = MPCreateCriticalRegion(&disk->inputCriticalRgn);
    if (err == noErr) err = MPCreateEvent(&disk->readRequestEvent);
    if (err == noErr) err = MPCreateEvent(&disk->writeRequestEvent);
  }
  MP_TaskData *task = DiskTaskOf(disk, diskTaskType);
  if (err == noErr && task->ID == nullptr) {
    task->entryPoint = diskTaskType == kDIO_DiskReadTaskType ? DIO_DiskReadTask : DIO_DiskWriteTask;
    task->type = diskTaskType;
    task->termMessage1 = Word(diskTaskType);
    task->creator = handler;
    task->data = disk;
    // A termination queue of its own: DIO_DeleteDisk waits there for exactly this task's end, which the
    // handler's input queue (where projects and their ends arrive) could not promise.
    task->queuesAllocated = kMP_InputQueueAlloc | kMP_TermQueueAlloc;
    err = MP_CreateTask(task);
    if (err != noErr) MP_DisposeTask(task);
  }
  if (err != noErr) {
    if (added) DIO_DeleteDisk(handler, disk, diskTaskType);
    return err;
  }
  *diskInfo = disk;
  return noErr;
}

OSStatus DIO_DeleteDisk(MP_TaskData *handler, DIO_DiskInfo *diskInfo, DIO_TaskType diskTaskType) {
  if (handler == nullptr || handler->data == nullptr || diskInfo == nullptr) return paramErr;
  DIO_ProjectsHandlerData *hd = static_cast<DIO_ProjectsHandlerData *>(handler->data);
  MP_TaskData *task = DiskTaskOf(diskInfo, diskTaskType);
  OSStatus err = noErr;
  if (task->ID != nullptr) {
    err = MP_TerminateTask(task, true, noErr);
    if (err == kMPTaskAbortedErr) err = noErr;  // the task's own report of being stopped
  }
  if (diskInfo->readTaskData.ID == nullptr && diskInfo->writeTaskData.ID == nullptr) {
    MP_DeleteEvent(&diskInfo->readRequestEvent);
    MP_DeleteEvent(&diskInfo->writeRequestEvent);
    MP_DeleteCriticalRegion(&diskInfo->criticalRgn);
    MP_DeleteCriticalRegion(&diskInfo->inputCriticalRgn);
    for (DIO_DiskInfoLE *le = hd->diskInfoList; le != nullptr; le = le->next) {
      if (&le->diskInfo == diskInfo) {
        LL_DeletePtr(&hd->diskInfoList, &le);
        break;
      }
    }
  }
  return err;
}

DIO_DiskInfo *DIO_GetDiskInfo(DIO_DiskInfoLE *list, const char *name) {
  if (name == nullptr) return nullptr;
  for (DIO_DiskInfoLE *le = list; le != nullptr; le = le->next)
    if (std::strncmp(le->diskInfo.name, name, sizeof le->diskInfo.name) == 0) return &le->diskInfo;
  return nullptr;
}

OSStatus DIO_VolumeToDiskInfo(DIO_DiskInfoLE *list, FSVolumeRefNum volume, DIO_DiskInfo **diskInfo) {
  if (diskInfo == nullptr) return paramErr;
  *diskInfo = nullptr;
  HFSUniStr255 volumeName{};
  OSStatus err = FSGetVolumeInfo(volume, 0, nullptr, kFSVolInfoNone, nullptr, &volumeName, nullptr);
  if (err != noErr) return err;
  std::string name;
  if ((err = PL_UTF8FromUniChars(volumeName.unicode, volumeName.length, &name)) != noErr) return err;
  *diskInfo = DIO_GetDiskInfo(list, name.c_str());
  return *diskInfo != nullptr ? OSStatus(noErr) : OSStatus(kDIO_DiskNotFoundErr);
}
