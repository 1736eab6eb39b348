// The copy stage: one task per source file that turns each frame the read stage delivered (compact 4:2:2 of
// the source's size, 'yuv2' bytes of a directly read file, 32-bit ARGB or 4:2:0 of a drawn movie) into the
// padded '2vuy' working frame (engine/runtime/working_format.h), in video range and in the internal gamma,
// and hands it to the first processing stage. In analysis and preview runs it also fills and serves the
// source frame cache of file 0, and in preview runs keeps the preview frame's source picture.
//
// Messages: input frames arrive as (kBZ_ReadTaskType or kBZ_CustomAppEventHandlerTaskType, project, buffer)
// on the stage's inputQueue and go back to its inFreeQueue once converted; output buffers are taken from
// the first processing stage's inFreeQueue (file 0) or freeQueue2 (file 1) and posted to its inputQueue or
// inputQueue2 as (kBZ_CopyTaskType, project, buffer), the receiver's from the post on. The stage never ends
// the stream; an error ends the task and reaches the main task as its result.
#pragma once

#include "engine/runtime/frame_bands.h"

#include "engine/runtime/project_types.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/mac_types.h"

#include <cstddef>

struct BZ_CopyParams {
  Boolean interlaced;   // the picture starts 16 lines down instead of 8
  SInt32 inWidth;       // source picture size (of source 0)
  SInt32 inHeight;
  SInt32 width;         // padded working-frame size
  SInt32 height;
  Boolean rgbPlayback;  // the read stage delivers 32-bit ARGB
  Boolean y420Playback; // the read stage delivers 4:2:0
  float inGamma;        // of the source file
  float outGamma;       // the internal gamma
  Boolean needToChangeGamma;  // unused: the gamma decision is made per frame
  UInt16 *newRGB;       // source to internal gamma table, or NULL (owned: GL_DisposePtr)
  Boolean directRead;   // frames are read from the file directly
  Boolean isYuv2;       // the source codec is 'yuv2' or 'yuvu'
  Boolean isVideoRange; // the source is in video range
  Boolean yuvSanityCheck;      // legalise frames
  Boolean preserveHighlights;
  // Float line of the padded width (8 bytes per pixel, 16-byte aligned): the legalising runs over whole
  // padded lines. Owned: MPFree.
  float *linePtrYUV255;
  UInt8 *tempLine;      // ((width + 31) / 32) x 128 bytes for the 4:2:0 conversion (owned: MPFree)
  BZ_FrameBandWorkers *legaliseWorkers;  // with yuvSanityCheck: legalising on every core (owned)
};

// The stage task (parameter: its MP_TaskData, termMessage2 the project). Returns the task's result.
OSStatus BZ_CopyTask(void *parameter);

// Fills copyParams (allocating its line buffers and gamma table; BZ_DisposeCopyParams frees them) and finds
// the queues: the stage's own input and free queues, the output stage's free and input queues (second pool
// for file 1), the stage record, the output buffer size and the picture bytes of an output frame, the output
// stage, and for analysis and preview runs the frames the stage passes on and the test frames among them
// (testNumArray: kBZ_NumTestFrames + 1 entries, ended by 0x7FFFFFFF). paramErr when a stage or queue is
// missing, memFullErr when the buffers cannot be had.
OSStatus BZ_SetupCopyTask(MP_TaskData *taskData, SInt32 *height, SInt32 *width, BZ_CopyParams *copyParams,
                          MPQueueID *inInputQueue, MPQueueID *inFreeQueue, MPQueueID *outFreeQueue,
                          MPQueueID *outInputQueue, BZ_BuffInfo **stageBuffInfo, size_t *outBufferSize,
                          size_t *actualOutSize, BZ_BuffInfo **outBuffInfo, SInt32 *numFrames,
                          SInt32 *testNumArray, Boolean *calcStats);
// Frees what BZ_SetupCopyTask allocated; accepts a partly filled record.
void BZ_DisposeCopyParams(BZ_CopyParams *copyParams);

// Converts one source frame into the padded working frame in outBuffer (which must hold width x height x 2
// bytes): byte swap and range change of directly read 'yuv2', conversion from ARGB or 4:2:0, gamma change
// when the gammas differ by 0.05 or more, the picture moved to its padded place, the margins filled, and
// legalising when asked (on the stage's band workers when it has them). A directly read 'yuv2' frame is
// changed in place in inBuffer. Returns 0, or the error of handing bands to the workers.
OSStatus BZ_Copy(BZ_CopyParams *copyParams, void *inBuffer, void *outBuffer);

void BZ_CopyParamsToPadParams(const BZ_CopyParams *copyParams, BZ_PadParams *padParams);
