// The outlier state kept across runs (BZ_OuDlgTaskData), the outlier part of the preview (BZ_OuPreviewData),
// the per-run parameters (BZ_OuParams) and the window helpers the speck routines share with the stage.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "outliers/outlier_edit_lists.h"
#include "outliers/speck_properties.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

struct BZ_MvObjectLE;

enum : SInt32 {
  kBZ_OuNumWindowSlots = 13,      // window arrays: 4 x numConstPix + 1 with numConstPix at most 3
  kBZ_OuNumPreviewInBuffers = 7,  // 2 x numConstPix + 1 frames around the previewed one
  kBZ_OuMaxNumCached = 104,       // kBZ_MaxNumFrameBuffers; only the first 13 entries are used
};

struct BZ_OuParams {
  BZ_OuSett *sett;
  UInt32 calcAutoSett;
  Boolean calcStats;
  UInt32 padding;
  Boolean executing;
  Boolean freeInputBuffer;
  MPEventID event;
  SInt32 numInBuffers;
  SInt32 *inSampleArray;
  SInt32 numInSamples;
  SInt32 *outSampleArray;
  SInt32 numOutSamples;
  SInt32 *testNumArray;
  SInt32 numTestFrames;
  SInt32 inWidth, inHeight;
  SInt32 width, height;  // padded buffer size in pixels
  Boolean interlaced, topFieldFirst;
};

// Lives for the program (BZ_OuInitDlgTaskData at start-up); reached through gBZ.dlgTaskData.ouDlgTaskData.
struct BZ_OuDlgTaskData {
  BZ_OuOelList outlierEditList;       // the current list
  BZ_OuOelList savedOutlierEditList;  // the list as last read from its file
  BZ_OuOelList runEditList;           // the list as the last execution started with it (what it replays)
  UInt16 *ouData[kBZ_OuMaxNumCached];
  SInt32 *ouScratch;  // the pixel list: one SInt32 per padded pixel
  BZ_OuSett ouSett;   // the settings the lists belong to
  void *mv[kBZ_OuMaxNumCached];
  void *scratchMv;
  float baseCoeffs[25][6];
  MPCriticalRegionID oeCritRgn;  // the speck list, the preview frame's edits and the preview buffers
  Boolean bcCalculated;
  UInt16 *objData[kBZ_OuMaxNumCached];
  UInt16 *gradSq[kBZ_OuMaxNumCached];
  UInt8 *masks[3];
  UInt16 *tempIn[kBZ_OuMaxNumCached];
  // What the caches were made for (BZ_OuMakeCaches): a run of another geometry, window or worker count makes
  // them again, so no run reads past a block made for a smaller one.
  SInt32 cacheWidth, cacheHeight, cacheNumInBuffers, cacheNumWorkers;
  // One flag plane (UInt16) and one pixel list (SInt32) of the padded frame per worker, in one block.
  UInt8 *workerScratch;
  // What the vector arrays in mv (one per input buffer) and the workers' scratchMv were made for
  // (BZ_OuMakeMvCaches).
  size_t mvArraySize, mvScratchSize;
  SInt32 mvNumArrays, mvNumWorkers;
};

// The outlier part of the preview; allocated zeroed with the project dialog and never freed.
struct BZ_OuPreviewData {
  // The window around the previewed frame: slot numConstPix holds it (NULL slots are empty).
  UInt8 *inBuffers[kBZ_OuNumPreviewInBuffers];
  // avPixelDiff below holds the scene values of the whole window (4 x numConstPix + 1 slots), as the stage
  // keeps them; inBuffers[i] is window slot numConstPix + i.
  UInt8 *outBuffer2vuy;   // the cleaned frame (a copy in windowCopies)
  UInt8 *diffBuffer2vuy;  // the difference frame (owned, frame-sized, made once)
  UInt8 *savedOutBuffer;  // a copy of the cleaned frame (owned, made on first use)
  UInt8 *savedInBuffer;   // the noise stage's copy of the cleaned frame while outliers are edited (owned)
  size_t bufferSize;      // the size the owned frames were made with (BZ_OuEnsurePreviewFrames)
  BZ_MvObjectLE *gradObjList[kBZ_OuMaxNumCached];
  SInt32 avPixelDiff[kBZ_OuMaxNumCached];
  BZ_OuFrameOeList frameOutlierEditList;  // the edits of the frame the preview shows
  BZ_OuSpeckLE *speckList;                // the previewed frame's specks
  EventLoopTimerRef outlierEditListSaver;  // the autosave timer
  // The copies a preview run leaves (BZ_OuEnsurePreviewWindowCopies): kBZ_OuNumPreviewInBuffers window frames
  // and the cleaned frame, windowCopySize bytes each, which inBuffers and outBuffer2vuy point into; owned, so
  // that the speck editing never reads a pipeline buffer a later run reuses.
  UInt8 *windowCopies;
  size_t windowCopySize;
  // The motion vectors of the previewed window as the edits read them: mv[b] the pair (slot b, slot b + 1),
  // pointing into mvCopies (owned: mvNumCopies arrays of mvCopySize bytes; BZ_OuCopyPreviewMv).
  void *mv[kBZ_OuNumWindowSlots];
  UInt8 *mvCopies;
  size_t mvCopySize;
  SInt32 mvNumCopies;
};

// ---- Records ----

// *ouDlgTaskData = a new zeroed record with its edit region (owned; BZ_OuDisposeDlgTaskDataRecord).
OSStatus BZ_OuInitDlgTaskData(BZ_OuDlgTaskData **ouDlgTaskData);
// *ouPreviewData = a new zeroed record (owned; BZ_OuDisposePreviewData).
OSStatus BZ_InitOuPreviewData(BZ_OuPreviewData **ouPreviewData);
// Marks the current list unchanged and saved.
void BZ_OuReinitDlgTaskData(BZ_OuDlgTaskData *ouDlgTaskData);
// Frees the cached slot blocks (not the pixel list ouScratch).
void BZ_OuDisposeDlgTaskData(BZ_OuDlgTaskData *ouDlgTaskData);
// Frees everything of the record, the record itself, and sets *ouDlgTaskData NULL (shut-down and tests).
void BZ_OuDisposeDlgTaskDataRecord(BZ_OuDlgTaskData **ouDlgTaskData);
// Makes the preview record's owned frames (difference, saved cleaned frame, saved input) hold at least size
// bytes each: smaller ones are made again, missing ones made zeroed. memFullErr leaves the missing NULL.
OSStatus BZ_OuEnsurePreviewFrames(BZ_OuPreviewData *ouPreviewData, size_t size);
// Points inBuffers and outBuffer2vuy at owned copies of size bytes each (made again when the size changes).
// memFullErr leaves them NULL.
OSStatus BZ_OuEnsurePreviewWindowCopies(BZ_OuPreviewData *ouPreviewData, size_t size);
// Makes the caches a run needs for a padded frame of width x height, a window of numInBuffers slots and
// numWorkers workers: ouData (numInBuffers zeroed planes), ouScratch and the workers' scratch. Caches made for
// another geometry or worker count are freed first (BZ_OuDisposeDlgTaskData and the pixel list). memFullErr.
OSStatus BZ_OuMakeCaches(BZ_OuDlgTaskData *ouDlgTaskData, SInt32 width, SInt32 height, SInt32 numInBuffers,
                         SInt32 numWorkers);
// Worker i's flag plane and pixel list (NULL before BZ_OuMakeCaches or for i out of range).
UInt16 *BZ_OuWorkerData(BZ_OuDlgTaskData *ouDlgTaskData, SInt32 i);
SInt32 *BZ_OuWorkerPixelList(BZ_OuDlgTaskData *ouDlgTaskData, SInt32 i);
// Frees the preview record's owned frames, edits and specks, and the record; *ouPreviewData ends NULL.
void BZ_OuDisposePreviewData(BZ_OuPreviewData **ouPreviewData);

// Enters the edit region (oeCritRgn) without a time limit; on the main thread in slices, handling posted
// events between them, because the outlier task that holds it may be waiting for the main thread.
OSStatus BZ_OuEnterEditRegion(MPCriticalRegionID region);

// ---- Window helpers ----

// The usable slot range [min, max) around the centre of a window of numInBuffers slots: it ends at scene
// changes (a scene value above maxAvPixelDiff) and at empty slots.
void BZ_OuGetInBufferIndexBounds(SInt32 maxAvPixelDiff, UInt8 *const *inBuffers, SInt32 numInBuffers,
                                 const SInt32 *avPixelDiff, SInt32 *minInBufferIndex, SInt32 *maxInBufferIndex);
// The picture rectangle inside the padded buffer (BZ_GetRealFrameBounds of the parameters' size and
// interlacing).
void BZ_OuParamsToRealFrameBounds(const BZ_OuParams *ouParams, Rect *frameBounds);
// The parameters of an edit in the preview, from the current project: settings, interlacing, picture and
// padded sizes; paramErr without a project.
OSStatus BZ_OuMakeParamsFromProject(BZ_ProjPtr project, BZ_OuParams *ouParams);

// ---- The stage ----

// The stage task of type kBZ_OutlierTaskType (parameter: its MP_TaskData, termMessage2 the project). Holds
// oeCritRgn for the whole run; distributes the frames over BZ_GetNumSubTasks() workers and hands the cleaned
// frames on in order through its collecting task. The loop's first error, else that of leaving the region.
OSStatus BZ_OutliersTask(void *parameter);

// The run's parameters, queues and frame lists: picture and padded sizes, interlacing, settings (paramErr for
// numConstPix outside 1..3, before any frame), padding, run state, whether the stage may free its inputs,
// the stage's and the receiving stage's queues (the stage after the compress stage when not executing), and,
// unless executing, the sample lists (owned by ouParams: BZ_OuDisposeParamsArrays) with their trace lines.
OSStatus BZ_SetupOuTask(MP_TaskData *taskData, BZ_ProjPtr project, BZ_OuParams *ouParams,
                        BZ_BuffInfo **stageBuffInfo, BZ_BuffInfo **outBuffInfo, MPQueueID *inFreeQueue,
                        MPQueueID *inInputQueue, MPQueueID *outFreeQueue, MPQueueID *outInputQueue);
// Frees the sample lists BZ_SetupOuTask made.
void BZ_OuDisposeParamsArrays(BZ_OuParams *ouParams);
// The pad parameters of the run's frames.
void BZ_OuParamsToPadParams(const BZ_OuParams *ouParams, BZ_PadParams *padParams);

// The frame analysis of a test frame (analysis runs): marks the stage measuring on the first output, fills
// the input (BZ_OuFillDlgTaskInput) and, for the test frame curTestNum, measures it (BZ_GeneralFrameAnalysis);
// the output's statsNum becomes the test number, else -1.
OSStatus BZ_OuAnalyzeFrame(BZ_ProjPtr project, BZ_DlgTaskData *dlgData, const BZ_OuParams *ouParams,
                           BZ_BuffInfo *stageBuffInfo, BZ_FrameBuffInfo *inInfo, BZ_FrameBuffInfo *outInfo,
                           SInt32 curTestNum);
// After the last output of an analysis run with calcStats: the stage's results to the dialog.
OSStatus BZ_OuEvaluateResult(BZ_ProjPtr project, BZ_BuffInfo *stageBuffInfo, Boolean calcStats,
                             SInt32 numTestFrames);
void BZ_OuFillDlgTaskInput(const BZ_BuffInfo *stageBuffInfo, const BZ_FrameBuffInfo *inInfo, UInt8 *inBuffer,
                           UInt8 *outBuffer, BZ_DlgTaskInput *dlgTaskInput);

// Tests only: from now on the window job after numWindows more jobs fails with err (noErr: never).
void BZ_OuFailWindowJobsAfter(SInt32 numWindows, OSStatus err);
