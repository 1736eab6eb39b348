// The records and numbers that the frame pipeline's tasks share: task types, task message codes, stage
// event flags, the custom events of class 'Proj', the stage record with its frame-buffer descriptors and the
// ordered output pool of a cleaning stage, plus the lookups from a buffer pointer to its descriptor.
//
// A task message is three pointer-sized words on a queue: (sender's BZ_TaskType, project or 0, a code or a
// frame-buffer pointer). A frame buffer belongs to the receiver from the post on.
#pragma once

#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

struct MP_TaskData;  // engine/tasks/task_runtime.h

// The project record; completed by the project module.
struct BZ_Project;
typedef BZ_Project *BZ_ProjPtr;

// Movie-layer objects tied to a frame buffer; opaque here, completed by the movie layer.
struct OpaqueGrafPtr;
typedef OpaqueGrafPtr *GWorldPtr;
struct PixMap;
typedef PixMap **PixMapHandle;
typedef SInt32 ImageSequence;
typedef SInt32 TimeValue;

// The type of every task and stage; the first word of every task message.
enum BZ_TaskType : UInt32 {
  kBZ_NoTaskType = 0,
  kBZ_MainThreadTaskType = 1,
  kBZ_CustomAppEventHandlerTaskType = 2,
  kBZ_MainTaskType = 3,
  kBZ_ProjDlgTaskType = 4,
  kBZ_WhiteLineTaskType = 5,
  kBZ_NoiseLevelTaskType = 6,
  kBZ_AvSettTaskType = 7,
  kBZ_ReadTaskType = 8,
  kBZ_CopyTaskType = 9,
  kBZ_ComprTaskType = 10,
  kBZ_WriteTaskType = 11,
  kBZ_NoiseFrameTaskType = 12,
  kBZ_AverageTaskType = 13,
  kBZ_VarBrTaskType = 14,
  kBZ_NoiseRedTaskType = 15,
  kBZ_RlTaskType = 16,
  kBZ_CrossLumaTaskType = 17,
  kBZ_OutlierTaskType = 18,
  kBZ_ProcSubTaskType = 19,  // a worker: its frame-done messages and its end
};

// A number as a word of a task message (a sender's type, a code, a status), and back.
inline void *BZ_Word(intptr_t value) { return reinterpret_cast<void *>(value); }
inline intptr_t BZ_FromWord(void *word) { return reinterpret_cast<intptr_t>(word); }

// Codes in the third word of a task message.
enum : SInt32 {
  kBZ_RunProjectMessage = 5027,
  kBZ_CancelProjectMessage = 5028,
  kBZ_CancelPreviewCalcMessage = 5029,
  kBZ_CancelMovieAnalysisMessage = 5030,
  kBZ_AppQuitMessage = 5031,
  kBZ_ErrorStopMessage = 5032,
  kBZ_EndOfStreamMessage = 5033,
  kBZ_AnalyseFrameMessage = 5035,
};

// Flags on a stage's event.
enum : MPEventFlags {
  kBZ_WhiteLineDoneFlag = 1,
  kBZ_BlackBarsDoneFlag = 2,
  kBZ_NoiseLevelDoneFlag = 4,
  kBZ_PixelDiffDoneFlag = 8,
  kBZ_DisplayDecompressDoneFlag = 0x800,
  kBZ_NoiseFrameReleasedFlag = 0x1000,
  kBZ_CompressionDoneFlag = 0x10000,
  kBZ_StopTaskFlag = 0x80000000u,  // set on every stage when a run is stopped
};

// The project's execute state.
enum BZ_ExecuteState : SInt32 {
  kBZ_ProjStateReady = 0,
  kBZ_ProjStateAnalyzingMovie = 1,
  kBZ_ProjStatePreviewing = 2,
  kBZ_ProjStateBeingOpened = 3,
  kBZ_ProjStateExecuting = 4,
  kBZ_ProjStateExportingSound = 5,
  kBZ_ProjStateCopyingSound = 6,
  kBZ_ProjStateAppQuitting = 7,
  kBZ_ProjStateCanceled = 8,
  kBZ_ProjStateDeleted = 9,
  kBZ_ProjStateFinished = 10,
};

// Custom events through which tasks ask the main thread for work; each parameter's name and type are the
// same number.
enum : UInt32 { kBZ_ProjEventClass = 'Proj' };
enum : UInt32 {
  kBZ_DrawFrameEvent = 2000,
  kBZ_CompressEvent = 2001,
  kBZ_OutSampleRefsEvent = 2002,
  kBZ_ShowProgressFrameEvent = 2003,
  kBZ_InitKillLogoEvent = 2004,
  kBZ_FrameViewEvent = 2005,
  kBZ_DecompressEvent = 2006,
  kBZ_SetValueInDialogEvent = 2007,
  kBZ_StageDefaultsButtonActivateEvent = 2008,
  kBZ_ProjectRunFinishedEvent = 2009,
  kBZ_GetFadeFrameNumbersEvent = 2010,
  kBZ_SetLogoMaskPicEvent = 2011,
  kBZ_SetLogoTransparencyEvent = 2012,
  kBZ_StartPreviewCalcEvent = 2013,
  kBZ_StartMovieAnalysisEvent = 2014,
  kBZ_ForcePreviewUpdateEvent = 2015,
  kBZ_DrawNoiseSpectrEvent = 2016,
  kBZ_SetNeedsDisplayEvent = 2017,
  kBZ_SetValuePreciseInDialogEvent = 2018,
  kBZ_SetValueRelevantDigitsInDialogEvent = 2019,
  kBZ_TooManyOutliersEvent = 2020,
  kBZ_WhiteLineEvent = 2021,
};
enum : UInt32 {
  kBZ_FileNumEventParam = 2000,         // SInt32
  kBZ_ComprDataEventParam = 2001,       // BZ_CompressData, 56 bytes
  kBZ_OutSampleRefsEventParam = 2002,   // BZ_OutSampleRefsData, 28 bytes
  kBZ_FrameBuffInfoEventParam = 2003,   // BZ_FrameBuffInfo *
  kBZ_RlParamsEventParam = 2004,        // BZ_RlParams *
  kBZ_ValueEventParam = 2005,           // float
  kBZ_ItemEventParam = 2006,            // SInt16
  kBZ_PrecisionEventParam = 2007,       // SInt32
  kBZ_TaskTypeEventParam = 2008,        // BZ_TaskType
  kBZ_NewAnalysisEventParam = 2009,     // Boolean
  kBZ_RecreateImagesEventParam = 2010,  // Boolean
  kBZ_RnParamsEventParam = 2011,        // BZ_RnParams, 204 bytes
};

enum : SInt32 {
  kBZ_MaxFrameBuffers = 104,  // descriptors per pool of a stage
  kBZ_NumBuffInfos = 17,      // entries of the stage table; an entry of type 0 ends it
  kBZ_MaxStageTasks = 4,      // task records per stage
};

// One frame buffer of a stage's pool. Written only by the task that holds the buffer.
struct BZ_FrameBuffInfo {
  SInt32 number;  // index in its pool
  UInt8 *ptr;
  GWorldPtr offscreen;        // made over the buffer by a stage, or none
  ImageSequence comprSeqID;   // compression or decompression sequence tied to the buffer, or 0
  PixMapHandle pixMap;
  SInt32 frameNum;     // frame number in the source
  SInt32 inArrayNum;   // index in the run's list of input frames
  SInt32 outArrayNum;  // index in the list of output frames
  SInt32 statsNum;     // statistics slot of the frame
  size_t actualSize;   // bytes of compressed data
  TimeValue time;
  TimeValue duration;
  Boolean copyFromCache;  // the frame came from the frame cache
  Boolean show;           // the frame is to be displayed
};

// The ordered output pool of a cleaning stage: its workers post finished frames to outputPool in any order;
// only the collecting task takes them, in the order of outFrameNum.
struct BZ_MP_Info {
  MPQueueID outputPool;
  MPCriticalRegionID outputPoolLock;  // reserved; nothing creates or uses it
  std::atomic<SInt32> outFrameNum;    // the number of the next frame to hand on
};

// One pipeline stage of the stage table. Built on the main thread while no run is active; during a run
// the stage's tasks and the main task read it concurrently, and only the atomic fields change.
struct BZ_BuffInfo {
  SInt32 number;   // index of the stage in the table
  SInt32 fileNum;  // Read, Copy, Write: which file; 0 for the others
  UInt8 *ptr;      // first buffer; at the first Copy stage also the block that holds every buffer of the run
  size_t size;     // bytes per buffer
  SInt32 numFrameBuffers;  // buffers in the first pool, at most kBZ_MaxFrameBuffers
  BZ_FrameBuffInfo frameBuffInfo[kBZ_MaxFrameBuffers];
  UInt8 *ptr2;              // second pool (not set)
  SInt32 numFrameBuffers2;  // buffers in the second pool (Average stage)
  BZ_FrameBuffInfo frameBuffInfo2[kBZ_MaxFrameBuffers];
  MPQueueID inputQueue2;  // input of the second source (Average stage)
  MPQueueID freeQueue2;   // free buffers of the second pool
  BZ_MP_Info mpInfo;
  MPQueueID subTaskInputQueue;  // the input queue shared by the stage's workers
  std::atomic<SInt32> frameNum;  // frame counter of the stage
  SInt32 totalNumFrames;         // frames of the first source
  BZ_TaskType type;              // 8 to 18; 0 ends the table
  std::atomic<SInt32> numTasks;  // task records in use below
  // [0] the stage task (a cleaning stage's distributor), then what the stage adds (its collecting task).
  std::atomic<MP_TaskData *> taskData[kBZ_MaxStageTasks];
  MPSemaphoreID semaphore;  // maximum 1, initial 0
  MPEventID event;          // stage event flags
  void *addStorage;         // the stage's own storage, freed with the table
};

// The descriptor of the buffer that `ptr` points into: index (ptr - descriptors[0].ptr) / size when
// 0 <= index < count (count is capped at kBZ_MaxFrameBuffers), else NULL. Borrowed from the array.
BZ_FrameBuffInfo *BZ_GetFrameBuffInfoBasic(BZ_FrameBuffInfo *frameBuffInfo, const void *ptr, size_t size,
                                           SInt32 count);
// The same over the first pool of a stage.
BZ_FrameBuffInfo *BZ_GetFrameBuffInfo(BZ_BuffInfo *stage, const void *ptr);
// The same over the second pool of a stage.
BZ_FrameBuffInfo *BZ_GetFrameBuffInfo2(BZ_BuffInfo *stage, const void *ptr);
