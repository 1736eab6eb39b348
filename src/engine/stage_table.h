// The stage table of a run and its frame buffers: which stages a run has, how many buffers each stage's pool
// holds, the one zeroed block that holds every buffer, the free queues filled from the pools, and the
// disposal of it all. The lookups that stages use are in engine/runtime/stage_access.h.
//
// A stage's pool holds the buffers its input arrives in: a feeding stage takes a free buffer from the fed
// stage's free queue, fills it and posts it to the fed stage's input queue; the fed stage returns it to its
// own free queue. So a stage's count is what it keeps for itself plus what each feeding stage may hold.
//
// Main thread, while no run is active: the table is built when a movie is set up for analysis and rebuilt
// when a project starts with a compressed output; runs only read it.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/runtime/stage_access.h"
#include "engine/tasks/pipeline_types.h"
#include "platform/core/mac_types.h"

enum : SInt32 {
  kBZ_MaxNumStageTypes = 16,  // entries of a task list
};

// Builds the current project's table and one block of buffers for it, from source 0's size, the input
// settings, the valid selected methods (recorded in the dialog data) and the output settings. A failure to
// find the methods leaves the table as it was; a block that cannot be had gives memFullErr and no block.
// Dispose an existing table first (BZ_DisposeBuffInfo).
OSStatus BZ_CreateBuffers();
// The stage types in pipeline order: Read (twice with averaging), Copy (twice and Average with averaging),
// the other selected methods in the order of their type numbers, Compr when compressing, Write, and with
// makeNoiseMovie NoiseFrame and a second Write. taskTypes has kBZ_MaxNumStageTypes entries; the rest are 0.
void BZ_CreateTaskList(UInt32 validSelectedTypes, Boolean compressing, Boolean makeNoiseMovie,
                       BZ_TaskType taskTypes[kBZ_MaxNumStageTypes], SInt32 *numTasks);
// The buffer count of every stage of the list, from the number of workers (BZ_GetNumSubTasks), the project
// state and the settings.
void BZ_CalcNumInputBuffers(BZ_ProjPtr project, const BZ_TaskType taskTypes[kBZ_MaxNumStageTypes],
                            SInt32 numInputBuffers[kBZ_MaxNumStageTypes]);
// Bytes of the whole block: the sum of count x bufferSize, doubled for Copy stages; -1 when it does not fit.
SInt64 BZ_GetTotalBufferSize(const BZ_TaskType taskTypes[kBZ_MaxNumStageTypes],
                             const SInt32 numInputBuffers[kBZ_MaxNumStageTypes], SInt64 bufferSize);
// For Read, Copy and Write the current value of that type's counter, which then advances; 0 for the others.
SInt32 BZ_SetBufferFileNum(BZ_TaskType taskType, SInt32 *readStageNum, SInt32 *copyStageNum, SInt32 *writeStageNum);
// Carves the block (the Copy stage's ptr) into the stages' pools, at most kBZ_MaxFrameBuffers each (the
// Average stage halves its count into two pools); a larger count is reported and cut.
void BZ_InitFrameBuffers(BZ_BuffInfo *stageTable);
// Console report of where each pool lies in the block.
void BZ_PrintAllocatedSize(SInt64 totalBufferSize, BZ_BuffInfo *stageTable);
// *compressing: the output codec is not '2vuy' and the project is being opened.
void BZ_GetCompressedSize(BZ_ProjPtr project, Boolean *compressing);
// Frees the block and every stage's own objects (queues, semaphore, event, storage, offscreens) and zeroes
// the entries. No run may be active.
void BZ_DisposeBuffInfo(BZ_BuffInfo *stageTable);
// Posts every buffer of every stage to its free queue (first pool: the stage task's inFreeQueue, second pool:
// freeQueue2) as (stage type, project, buffer). Always noErr.
OSStatus BZ_InitBufferQueues(BZ_ProjPtr project);
