// The work of one window position of the outlier stage (BZ_OuRemoveOutliers): its trace lines, the copy of
// the centre frame into the output, the replay of the centre frame's speck edits, the picture written into
// the output (the cleaned frame unless a developer chose a debug picture), and, for the frame the preview
// shows, the copies the preview keeps for its speck editing.
//
// Threads: runs on the stage's workers, several windows at once, each with its own scratch planes. The
// preview record is written only by the worker of the previewed frame, while the stage task holds the edit
// region (oeCritRgn), so the main thread's edits wait for it.
#pragma once

#include "outliers/outlier_edit_lists.h"
#include "outliers/outlier_stage.h"
#include "outliers/speck_properties.h"
#include "platform/core/mac_types.h"

// Which picture a window position writes into its output buffer: the first switch that is on. With all of
// them off the output is the plain copy of the centre frame.
struct BZ_OuPictureSwitches {
  Boolean replacing;                  // the centre frame with every speck marked remove replaced
  Boolean printingGradSq;             // the gradient picture of the centre frame
  Boolean printingGradObj;            // the gradient objects
  Boolean printingSkeletons;          // the skeleton picture
  Boolean printingSkeletonThickness;  // the skeleton thickness
  Boolean printingMv;                 // motion-vector quality (writes nothing)
  Boolean printingMedianFilter;       // the median-filtered centre frame
};

// The switches of later window positions; NULL restores the cleaned frame (replacing alone). For tests and
// debugging only: no preference reaches it. Any thread, while no run is going on.
void BZ_OuSetPictureSwitches(const BZ_OuPictureSwitches *switches);
void BZ_OuGetPictureSwitches(BZ_OuPictureSwitches *switches);

// What the preview keeps of its frame's window position (NULL: the position is not the previewed frame).
struct BZ_OuPreviewTarget {
  BZ_OuPreviewData *ouPreviewData;   // the preview's record; its owned copies are made beforehand
  BZ_OuDlgTaskData *ouDlgTaskData;   // its ouData[2k] receives the flag plane; ouScratch must be made
  size_t bufferSize;                 // bytes of each frame copy
};

// The gradient objects of one frame, which the object pictures (gradient objects, skeletons, thickness) draw.
// Made only when such a picture is chosen, by the frame's own job when it arrives, and kept with the frame
// until the window job of which it is the centre has drawn its picture.
struct BZ_OuFrameObjects {
  UInt16 *data;            // the gradient flags of the padded frame (owned, one per pixel)
  BZ_MvObjectLE *objects;  // largest first; the first numLarge have skeletons (owned)
  SInt32 numLarge;
};

// Whether the picture the switches choose draws a frame's gradient objects.
Boolean BZ_OuSwitchesShowObjects(const BZ_OuPictureSwitches *switches);
// Bytes of the scratch BZ_OuFindFrameObjects takes (the gradient and object-number planes and three masks).
size_t BZ_OuFrameObjectsScratchSize(const BZ_OuParams *ouParams);
// Makes *objects of the padded frame: its gradient, the gradient objects sorted by size and the skeletons of
// the largest, with scratch (BZ_OuFrameObjectsScratchSize bytes, zeroed when first used) and pixelList as work
// space. A skeleton that cannot be completed (errors 33000 to 33006) is traced and ends the skeletons of that
// frame only; other errors (memFullErr, paramErr) are returned.
OSStatus BZ_OuFindFrameObjects(const BZ_OuParams *ouParams, const UInt8 *frame, UInt8 *scratch, SInt32 *pixelList,
                               BZ_OuFrameObjects *objects);
void BZ_OuDisposeFrameObjects(BZ_OuFrameObjects *objects);

// One window position: trace lines (counters, scene changes, buffers); then, when the centre slot holds a
// frame and outBuffer is given, the centre frame copied into outBuffer, its specks found by the detector
// (BZ_OuCalcSpeckList) over the flag plane data with pixelList as scratch, the edits (may be NULL) replayed
// on them, and the chosen picture written. mv (may be NULL): the window's motion vectors, mv[b] those of the
// pair (slot b, slot b + 1) or NULL; the detector and the replacement follow moving pixels along them. With a
// preview target the window frames k to 3k, the output, the scene values, the flag plane, the vectors the
// edits can reach and the speck list go to the preview as its own copies; otherwise the specks are disposed.
// The arrays hold numInBuffers (4 x numConstPix + 1) slots. The object pictures draw centreObjects (NULL:
// none); the median picture filters the centre frame over its copy in outBuffer. paramErr for missing
// arguments or k outside 1..3; the replay's failure.
OSStatus BZ_OuRemoveOutliers(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff, const SInt32 *frameNums,
                             UInt8 *const *inBuffers, UInt8 *outBuffer, SInt32 *pixelList, UInt16 *data,
                             void *const *mv, const BZ_OuOeLE *edits, const BZ_OuPreviewTarget *preview,
                             const BZ_OuFrameObjects *centreObjects);

// "Scene changes: " and one "0," or "1," per slot but the last (1 for a value above maxAvPixelDiff), as one
// line of standard output.
void BZ_OuPrintSceneChanges(SInt32 numInBuffers, SInt32 maxAvPixelDiff, const SInt32 *avPixelDiff);
// "In buffers: ", "%p," per slot and "    Out buffer: %p", as one line of standard output.
void BZ_OuPrintfInBuffers(SInt32 numConstPix, UInt8 *const *inBuffers, const UInt8 *outBuffer);
