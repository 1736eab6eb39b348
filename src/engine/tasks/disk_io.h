// The disk I/O task library: file copies ("projects") through a pipeline of tasks with one read task and one
// write task per disk, so that several projects share each disk without competing seeks. A disk is a
// device, named by its volume's name.
//
// Tasks and their messages (three words: sender's DIO_TaskType, second word, third word):
//   main thread   DIO_Main's event loop. 'DIOP' kind 0 (project in the direct object) posts (0, 0, project)
//                 to the handler; command 'quit' posts (0, 0, 0); 'DIOP' kind 1 (the handler has ended)
//                 disposes the handler's task data and quits the loop.
//   handler       owns the two chunk pools, the disk list and up to 16 project tasks; a 17th project waits
//                 for a free slot. Its input: projects and quit from the main thread, project ends
//                 (2, project, result).
//   project       creates its read, process and write tasks and ends when they have (unless the project is
//                 suspended or stopped by a full disk, which keeps it for a resume). Its input: (1, 1, 0) stop
//                 from the handler; (0, 3, 0) suspend / resume from the main thread; the sub-tasks' ends.
//   read          sends requests of up to 16 read chunks to the source disk's read task, starting at
//                 dataRead, then an end marker; (2, 1 or 3, 0) stops it after the current request, (2, 2, 0)
//                 also takes its requests out of the disk's queue.
//   disk read     reads each chunk under the disk's critical region and announces it to the process task
//                 as (6, project, chunk); the end marker as (6, project, 0).
//   process       copies each read chunk into a free write chunk, returns the read chunk to the read pool
//                 and passes the write chunk on as (5, project, chunk); then the end marker (5, project, 0).
//   write         gathers up to 16 write chunks into a request for the target disk's write task, which
//                 writes them at their place in the target, returns each to the write pool and announces it
//                 as (7, project, chunk); it counts the bytes written and ends after the end marker's
//                 announcement (7, project, 0).
// Chunks are the pools' 1 MB blocks; the last chunk of a file carries the file's remaining bytes. Once
// posted, a chunk belongs to the receiver. Stages work in file order, so each knows a chunk's length from
// how much of the file went before it. Each stage lends itself chunks from its pool (the read stage its read
// chunks, the process stage the write chunks the write stage gets back), one more only when none of its own
// comes back within a millisecond, and at most a request's worth (16): 16 projects never run a pool dry, and
// a copy touches no more of the pools than its disks keep busy. The lent chunks go back to the pools when
// the stages end.
//
// A read or write that moves another byte count than asked sets the project's error to 10019; the first
// error of a project is kept. A full disk (-34) stops the project but keeps it: a later resume truncates the
// target to what was written and goes on from there.
#pragma once

#include "engine/tasks/task_runtime.h"
#include "platform/core/event_loop.h"
#include "platform/core/files.h"
#include "platform/core/menus.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

#include <atomic>

enum DIO_TaskType : SInt32 {
  kDIO_MainThreadTaskType = 0,
  kDIO_ProjectsHandlerTaskType = 1,
  kDIO_ProjectTaskType = 2,
  kDIO_ReadTaskType = 3,
  kDIO_WriteTaskType = 4,
  kDIO_ProcessTaskType = 5,
  kDIO_DiskReadTaskType = 6,
  kDIO_DiskWriteTaskType = 7,
};

enum DIO_MessageType : SInt32 {
  kDIO_StopMessageType = 1,
  kDIO_StopImmediateMessageType = 2,
  kDIO_SuspendResumeMessageType = 3,
};

// Events of the library's own class.
enum : UInt32 {
  kDIO_EventClass = 'DIOP',
  kDIO_NewProjectEventKind = 0,    // direct object: the project (type 'PROJ', a pointer)
  kDIO_HandlerEndedEventKind = 1,
};
enum : EventParamType { kDIO_ProjectParamType = 'PROJ' };

constexpr ByteCount kDIO_ChunkSize = 0x100000;           // 1 MB
constexpr SInt32 kDIO_PoolChunks = 256;                  // per pool: 256 MB
constexpr SInt32 kDIO_MaxProjects = 16;
constexpr SInt32 kDIO_MaxChunksPerRequest = 16;

enum : OSStatus { kDIO_DiskNotFoundErr = 30000 };

struct DIO_DiskInfo;

// One file copy. The caller fills srcFile and targetFile (an existing file, usually empty) and keeps the
// record until `done`; the library fills the rest.
struct DIO_Project {
  FSRef srcFile;
  FSRef targetFile;
  SInt32 numData;                     // 1 MB chunks of the source, the last one partial
  DIO_DiskInfo *sourceDiskInfo;
  DIO_DiskInfo *targetDiskInfo;
  FSIORefNum readForkID;
  FSIORefNum writeForkID;
  std::atomic<Boolean> suspended;
  std::atomic<OSStatus> error;        // the first error
  void *writeBuffer;                  // the handler's pools
  void *readBuffer;
  MPQueueID readFreeQueue;
  MPQueueID writeFreeQueue;
  std::atomic<SInt64> dataRead, dataProcessed, dataWritten;  // bytes
  std::atomic<MP_TaskData *> taskData;  // the project task while it runs
  SInt64 dataSize;                    // bytes of the source
  std::atomic<Boolean> done;          // the project task has ended and its resources are released
};

// One disk request: up to 16 chunks that lie one after another in the file from `position`. A null chunk
// marks the end of the project's stream. Made by the read and write tasks; the disk task (or the removal
// from its queue) disposes it.
struct DIO_Data {
  void *buffer[kDIO_MaxChunksPerRequest];
  ByteCount requestCount;             // bytes of a whole chunk
  MPQueueID inFreeQueue;              // where a chunk goes when it is done with (the pool's free queue)
  MPQueueID outputQueue;              // where a done chunk is announced
  SInt32 numChunks;
  DIO_Project *project;
  ByteCount chunkBytes[kDIO_MaxChunksPerRequest];  // bytes of each chunk (the last one of a file is short)
  SInt64 position;                    // file offset of the first chunk
};

// One disk: its read and write tasks (each present while a project reads from or writes to the disk), the
// critical region under which either serves a request, and the region under which requests are taken out
// of their queues. requestEvent of each task tells it that requests were posted.
struct DIO_DiskInfo {
  char name[256];
  MP_TaskData readTaskData;
  MP_TaskData writeTaskData;
  MPCriticalRegionID criticalRgn;
  MPCriticalRegionID inputCriticalRgn;
  MPEventID readRequestEvent;
  MPEventID writeRequestEvent;
};
struct DIO_DiskInfoLE {
  DIO_DiskInfoLE *next;
  DIO_DiskInfo diskInfo;
};

struct DIO_ProjectsHandlerData {
  void *writeBuffer;
  void *readBuffer;
  MPQueueID readFreeQueue;
  MPQueueID writeFreeQueue;
  DIO_DiskInfoLE *diskInfoList;
  MPQueueID waitingQueue;             // projects waiting for a slot
  Boolean quitting;
};

// ---- Main thread ----

// Main thread: creates the handler task, installs DIO_AppEventHandler and runs the application event loop
// until the handler has ended; returns the handler's result (or the first set-up failure).
OSStatus DIO_Main();
// The main thread's handler of 'DIOP' kinds 0 and 1 and of the quit command (userData: the handler's
// MP_TaskData); other events give eventNotHandledErr.
OSStatus DIO_AppEventHandler(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void *inUserData);
// Any thread: posts 'DIOP' kind 1 to the main event queue.
OSStatus DIO_SendPHQuitEvent();

// ---- Handler and projects ----

// The handler task (parameter: its MP_TaskData).
OSStatus DIO_ProjectsHandler(void *taskData);
// Handler only: starts a project task in slot `slot` (its disks added, pools and sizes filled in).
OSStatus DIO_CreateProject(MP_TaskData *handler, SInt32 slot, DIO_Project *project);
// The project task (parameter: its MP_TaskData, whose data is the project).
OSStatus DIO_ProjectTask(void *taskData);
// Project task only: creates and starts the read, process and write tasks.
OSStatus DIO_CreateProjectSubTasks(MP_TaskData *projectTask);
OSStatus DIO_Read(void *taskData);
OSStatus DIO_Process(void *taskData);
OSStatus DIO_Write(void *taskData);
OSStatus DIO_DiskReadTask(void *taskData);
OSStatus DIO_DiskWriteTask(void *taskData);
// Takes the project's requests out of a disk task's queue (returning their chunks to their free queues), up
// to the moment the queue is empty; the other requests keep their order.
OSStatus DIO_RemoveMessagesFromDiskIOQueue(DIO_DiskInfo *diskInfo, MP_TaskData *diskTaskData, DIO_Project *project);
// Called for the handler: posts (1, message, 0) to each project task. Called for a project task: posts
// (2, message, 0) to its read task.
OSStatus DIO_CloseSubTasks(MP_TaskData *taskData, DIO_MessageType message);
// True only for a full disk (-34).
Boolean DIO_ErrorIsRecoverable(OSStatus err);

// ---- Disks (handler only) ----

// Finds or adds the project's source disk (with its read task) and target disk (with its write task).
OSStatus DIO_AddProjectDisks(MP_TaskData *handler, DIO_Project *project);
// Deletes the project's disk tasks that no other running project uses.
OSStatus DIO_DeleteProjectDisks(MP_TaskData *handler, DIO_Project *project);
// Finds the disk by name or adds it; creates its read (kDIO_DiskReadTaskType) or write task when missing.
OSStatus DIO_AddDisk(MP_TaskData *handler, const char *name, DIO_TaskType diskTaskType, DIO_DiskInfo **diskInfo);
// Ends the disk's read or write task; deletes the disk when neither is left.
OSStatus DIO_DeleteDisk(MP_TaskData *handler, DIO_DiskInfo *diskInfo, DIO_TaskType diskTaskType);
// The disk of that name (compared over at most 256 characters), else NULL.
DIO_DiskInfo *DIO_GetDiskInfo(DIO_DiskInfoLE *list, const char *name);
// The disk of a volume; kDIO_DiskNotFoundErr when it is not in the list.
OSStatus DIO_VolumeToDiskInfo(DIO_DiskInfoLE *list, FSVolumeRefNum volume, DIO_DiskInfo **diskInfo);
