// The outlier state kept across runs (BZ_OuDlgTaskData), the outlier part of the preview (BZ_OuPreviewData),
// the per-run parameters (BZ_OuParams) and the window helpers the speck routines share with the stage.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_types.h"
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
};

// The outlier part of the preview; allocated zeroed with the project dialog and never freed.
struct BZ_OuPreviewData {
  // The window around the previewed frame: slot numConstPix holds it (NULL slots are empty).
  UInt8 *inBuffers[kBZ_OuNumPreviewInBuffers];
  // avPixelDiff below holds the scene values of the whole window (4 x numConstPix + 1 slots), as the stage
  // keeps them; inBuffers[i] is window slot numConstPix + i.
  UInt8 *outBuffer2vuy;   // the cleaned frame (borrowed from the pipeline)
  UInt8 *diffBuffer2vuy;  // the difference frame (owned, frame-sized, made once)
  UInt8 *savedOutBuffer;  // a copy of the cleaned frame (owned, made on first use)
  UInt8 *savedInBuffer;   // the noise stage's copy of the cleaned frame while outliers are edited (owned)
  size_t bufferSize;      // the size the owned frames were made with (BZ_OuEnsurePreviewFrames)
  BZ_MvObjectLE *gradObjList[kBZ_OuMaxNumCached];
  SInt32 avPixelDiff[kBZ_OuMaxNumCached];
  BZ_OuFrameOeList frameOutlierEditList;  // the edits of the frame the preview shows
  BZ_OuSpeckLE *speckList;                // the previewed frame's specks
  EventLoopTimerRef outlierEditListSaver;  // the autosave timer
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
// Frees the preview record's owned frames, edits and specks, and the record; *ouPreviewData ends NULL.
void BZ_OuDisposePreviewData(BZ_OuPreviewData **ouPreviewData);

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
