// The outlier stage's sliding window of 4k + 1 frames (k = numConstPix): the record of each frame the stage
// holds, the shifts that move the window on, the scene values a window job reads, the dropping of an
// earlier chunk's frames in analysis runs, and the release rendezvous that returns an input frame to its
// free queue once the stage and, for a frame kept for the noise measurement, the later stage are done with
// it. Plain records and functions: the window and the lists belong to the stage's distributing task; only
// the counts and the scene values of a frame record are touched by the workers and the collector too.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "outliers/outlier_stage.h"
#include "outliers/outlier_worker.h"
#include "platform/core/mac_types.h"

#include <atomic>

// One input frame the stage holds, from its arrival until it goes back to its free queue.
struct BZ_OuFrameRec {
  UInt8 *buffer;  // the input buffer (the stage's own pool)
  SInt32 frameNum, inArrayNum, outArrayNum;
  UInt8 *prevBuffer;  // the frame before it in the window when it arrived, or NULL
  SInt32 sceneValue;  // BZ_OuGetAvPixelDiff of the frame and prevBuffer; 0 without one
  void *pairMv;       // the motion vectors of (prevBuffer, buffer): the array of the frame's input buffer
  std::atomic<Boolean> sceneDone;  // sceneValue and pairMv are written (set once by the frame's job)
  // Made only when the chosen picture draws them (owned), by the frame's job after the scene value: only the
  // window of which the frame is the centre waits for them (objectsDone).
  BZ_OuFrameObjects objects;
  std::atomic<Boolean> objectsDone;
  // 1 while the frame is in the window, plus 1 for each window job posted that reads it; the frame is done
  // with when this falls to 0.
  std::atomic<SInt32> refs;
};

// The window: slot 0 the oldest frame, slot numInBuffers - 1 the newest, the centre at numInBuffers / 2.
struct BZ_OuWindow {
  SInt32 numInBuffers;
  BZ_OuFrameRec *slots[kBZ_OuNumWindowSlots];
};

enum : SInt32 {
  kBZ_OuNumReleaseEntries = 104,  // entries of diffCalcList and notifyList (kBZ_MaxFrameBuffers)
};

// An empty window of 4 x numConstPix + 1 slots; paramErr (and an empty window of no slots) for numConstPix
// outside 1..3, which the 13-slot arrays cannot hold.
OSStatus BZ_OuInitWindow(BZ_OuWindow *window, SInt32 numConstPix);
// Moves every slot one towards slot 0 (the oldest frame drops out) and puts newest into the last slot; a
// flush shift passes NULL. Returns the frame that dropped out, or NULL.
BZ_OuFrameRec *BZ_OuShiftWindow(BZ_OuWindow *window, BZ_OuFrameRec *newest);
// The window's buffers, frame numbers (-1 for an empty slot) and scene values: avPixelDiff[i] is the scene
// value between slots i and i + 1, taken from the frame in slot i + 1 (0 when a slot is empty). The scene
// values are read only from frames whose sceneDone is set; the caller waits for that first.
void BZ_OuGetWindowArrays(const BZ_OuFrameRec *const *slots, SInt32 numInBuffers, UInt8 **inBuffers,
                          SInt32 *frameNums, SInt32 *avPixelDiff);

// Analysis runs, whose sample chunks need not be consecutive: walking from slot 1 upwards, at the first pair
// of neighbouring slots that both hold frames whose numbers are not consecutive, every slot below the pair's
// second slot is emptied. The frame numbers come from the stage's pool (stageBuffInfo); a buffer outside it
// counts as an empty slot.
void BZ_OuRemovePreviousInBuffers(const BZ_OuParams *ouParams, BZ_BuffInfo *stageBuffInfo, UInt8 **inBuffers);
// The same over frame numbers (-1 for an empty slot): returns the first slot kept (0 when none is emptied).
SInt32 BZ_OuFirstSlotOfChunk(const SInt32 *frameNums, SInt32 numInBuffers);

// Whether an input frame must wait for the later stage's release message before it goes back: only when the
// stage may not free its inputs (freeInputBuffer false) and, when executing, every frame; otherwise the test
// frames of a preview. Analysis runs keep none: no later stage reads or releases source frames in them.
Boolean BZ_OuKeepsInBuffer(const BZ_OuParams *ouParams, SInt32 frameNum);

// The release rendezvous. BZ_OuFreeInBuffer0 runs once the stage is done with a frame: a frame that is not
// kept goes to inFreeQueue at once (sender kBZ_OutlierTaskType); a kept one goes when its release is already
// in diffCalcList (the entry is cleared), else it waits in the first empty entry of notifyList.
// BZ_OuHandleFreeInBuffer0Message handles the release message of a later stage: the buffer goes when it
// waits in notifyList (the entry is cleared), else the release waits in diffCalcList. A full list records
// nothing and returns 0. The failure of the post.
OSStatus BZ_OuFreeInBuffer0(const BZ_OuParams *ouParams, BZ_ProjPtr project, BZ_BuffInfo *inBuffInfo,
                            MPQueueID inFreeQueue, UInt8 **diffCalcList, UInt8 **notifyList, UInt8 *inBuffers0);
OSStatus BZ_OuHandleFreeInBuffer0Message(BZ_ProjPtr project, MPQueueID inFreeQueue, UInt8 **diffCalcList,
                                         UInt8 **notifyList, UInt8 *inBuffers0);
