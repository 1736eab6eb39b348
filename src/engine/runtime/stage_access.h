// What every stage needs of the stage table: the geometry of a frame buffer, the number of workers a stage
// runs, and the lookups that find a stage's neighbours and its frame descriptors. The table itself is built
// and disposed by the engine (engine/stage_table.h); the lookups live here, below the cleaning methods, so
// that the methods' stages can use them.
//
// None of the lookups allocates; "none" is NULL. The table has kBZ_NumBuffInfos entries and an entry of type
// 0 ends it. Lookups run on any task while a run is going on: counts are read afresh each time.
//
// A stage's other shared pieces: the words of task messages (BZ_Word, BZ_FromWord) in pipeline_types.h, and
// the host's shorthands (BZ_PostEngineEvent, BZ_GetEngineAppPrefs ...) in engine_host.h.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "platform/core/mac_types.h"

#include <mutex>

enum : SInt32 {
  // Per-worker arrays of the stages (scratch lines, work slots) have this many entries.
  kBZ_MaxNumSubTasks = 8,
};

// The workers of a cleaning stage: the processors (gBZ.numProcessors, else the scheduled ones), at least 1
// and at most kBZ_MaxNumSubTasks. Buffer counts and stages use this same number.
SInt32 BZ_GetNumSubTasks();

// The largest size of one frame buffer. No x86-64 process can address more than 2^47 bytes, and the copy
// stage's buffers are twice this size; keeping below it also leaves every sum of buffer sizes in 64 bits.
constexpr SInt64 kBZ_MaxFrameBufferSize = SInt64(1) << 46;

// The padded working-frame size of a source of inHeight x inWidth pixels: bufferWidth = inWidth + 16 rounded
// up to a multiple of 8; bufferHeight = inHeight + 32 rounded up to a multiple of 16 when interlaced, else
// inHeight + 16 rounded up to a multiple of 8; bufferSize = bufferWidth x (inHeight + 32 rounded up to a
// multiple of 16) x 2 bytes in both cases, so that one block serves both kinds. Computed in 64 bits. paramErr
// for a size of 0 or less; memFullErr when the rows do not fit 32-bit row bytes or the buffer is larger than
// kBZ_MaxFrameBufferSize. On failure every output is 0. Each output may be NULL.
OSStatus BZ_GetBufferSize(SInt32 inHeight, SInt32 inWidth, Boolean interlaced, SInt32 *bufferHeight,
                          SInt32 *bufferWidth, SInt64 *bufferSize);

// The entry whose first task record is `task` (a stage task finds its own stage), or NULL.
BZ_BuffInfo *BZ_StageOfTask(BZ_BuffInfo *stageTable, const MP_TaskData *task);
// The first of at most 16 entries with that type and file number.
BZ_BuffInfo *BZ_GetBufferInfoByStageType(BZ_BuffInfo *stageTable, BZ_TaskType stageType, SInt32 fileNum);
// Of the entries of that type, the last one in table order with a live task record; *taskNum (optional) gets
// the record's index.
BZ_BuffInfo *BZ_GetBufferInfoByValidTaskType(BZ_BuffInfo *stageTable, BZ_TaskType taskType, SInt32 *taskNum);
BZ_BuffInfo *BZ_GetWriteBuffInfo(BZ_BuffInfo *stageTable, SInt32 fileNum);
BZ_BuffInfo *BZ_GetComprBuffInfo(BZ_BuffInfo *stageTable);
// The first entry that is neither Read nor Copy.
BZ_BuffInfo *BZ_GetFirstProcessBuffer(BZ_BuffInfo *stageTable);
// Where the stage's output goes: Read: the Copy stage of its file; Copy: the first process stage; Compr: the
// Write stage of fileNum (0 or 1); Write: the Write stage of file 1 when fileNum is 1; any other: the next
// entry.
BZ_BuffInfo *BZ_GetOutputBufferInfoForStage(BZ_BuffInfo *stageTable, BZ_BuffInfo *stage, SInt32 fileNum);
// Where the stage's input comes from (see the table of the stage protocol); Read has none.
BZ_BuffInfo *BZ_GetInputBufferInfoForStage(BZ_BuffInfo *stageTable, BZ_BuffInfo *stage, SInt32 fileNum);
// True for the stage types 13 to 17 (not for outliers).
Boolean BZ_IsProcessTaskType(BZ_TaskType taskType);
// The stage whose output the progress view shows, by the automatic-settings stage being calculated.
BZ_BuffInfo *BZ_GetDisplayBuffer(BZ_ProjPtr project);
// The first descriptor of the stage's first pool with that frame number, and its buffer.
BZ_FrameBuffInfo *BZ_FrameNumToFrameBuffInfo(SInt32 frameNum, BZ_BuffInfo *stage);
UInt8 *BZ_FrameNumToPtr(BZ_BuffInfo *stage, SInt32 frameNum);
// The block that holds every buffer of the project (the first buffer of the Copy stage of file 0).
UInt8 *BZ_GetProjectBuffer(BZ_ProjPtr project);
// Entries before the first of type 0.
SInt32 BZ_CountStages(const BZ_BuffInfo *stageTable);
// The type flags of the cleaning stages in the current project's table.
UInt32 BZ_GetSelectedProcessTypesFromBuffInfo();
// Type flag to stage type: 2 -> 13, 4 -> 15, 8 -> 16, 16 -> 17, 32 -> 14, 64 -> 18, any other 0.
BZ_TaskType BZ_TaskFlagToType(UInt32 taskFlag);

// Held while the main task removes the stage tasks' records, and by the main thread while it reads a record
// to post to the task: the main thread must never reach a record that is being freed. Never held across a
// wait.
std::unique_lock<std::mutex> BZ_LockStageTaskRecords();
