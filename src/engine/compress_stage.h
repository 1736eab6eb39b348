// The compress stage: present when the output codec is not '2vuy'. It takes each finished working frame of
// file 0, applies the output corrections (white line, legalising, NTSC-safe limit, chroma shift for an odd
// crop), compresses it with the output codec into a free buffer of the write stage, and lets the completion
// procedure hand the compressed frame to the write stage. When a codec refuses to run on the task
// (componentNotThreadSafeErr), the main thread compresses the frame (custom event 2001,
// BZ_HandleCompressEvent). 'y420' output is converted without a codec.
//
// Messages: (sender, project, working frame) on the stage task's input queue; the frame goes back to the
// stage's own free queue. The completion procedure posts (kBZ_ComprTaskType, project, compressed buffer) to
// the write stage's input queue; the buffer is the write stage's from then on.
//
// Every compression that was started completes through the completion procedure, also a failing one: it
// keeps the failure as the project's first error and still sets kBZ_CompressionDoneFlag, so that the stage
// waiting for it ends with the error instead of waiting for ever. A codec whose largest frame is more than a
// write-stage buffer holds compresses into a scratch buffer of the stage; a frame larger than the write
// stage's buffer is then codecErr, never an overrun.
//
// Several frames in flight: for codecs whose sequences may run on any task (DV, DVCPRO HD, JPEG) the stage
// hands each compression to one of its compress workers (one job queue, as many workers as write-stage
// buffers and processors allow) and takes the next frame at once; each buffer's sequence has its own
// encoder, so the frames compress side by side. The completion of a pooled frame waits for its turn (the
// order the frames were started in), hands the frame to the write stage and returns the working frame to
// the stage's free queue, so frames leave in order whatever finishes first. A frame the noise movie or the
// progress view needs is compressed on the stage task and waited for, as with every other codec.
//
// Threads: the compress task owns its parameters, which live in the stage's addStorage as long as the stage
// table (a completion may come on the main thread or a worker). The completion procedure touches only its
// record, the two frame descriptors, the stage event, the hand-over turn and the two stages' queues.
#pragma once

#include "engine/runtime/frame_bands.h"
#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_types.h"
#include "platform/movie/codec_info.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

// One compression of a frame: the completion procedure's reference constant, and the parameter of custom
// event 2001 (copied by value).
struct BZ_CompressParams;

struct BZ_CompressData {
  BZ_ProjPtr project;
  ImageSequence seqID;
  GWorldPtr offscreen;
  PixMapHandle pixMap;
  UInt8 *outBuffer;  // compressed data: a write-stage buffer
  UInt8 *inBuffer;   // the working frame
  // Where the codec writes: outBuffer, or the stage's scratch buffer when the codec may need more than a
  // write-stage buffer holds (the data are then copied to outBuffer when they fit).
  UInt8 *comprBuffer;
  ICMCompletionProcRecord completionProcRecord;
  MPQueueID freeQueue;      // the write stage's free queue (a failed compression's buffer goes back there)
  MPQueueID outInputQueue;  // the write stage's input queue
  SInt32 dataSize;
  SInt32 fileNum;
  Boolean notifiedFreeQueue;   // the source side is done
  Boolean notifiedInputQueue;  // the destination side is done
  std::atomic<SInt32> *numComprFinished;  // handed to the write stage
  std::atomic<SInt32> *numComprCompleted;  // completions of either outcome
  Boolean heapCopy;  // a copy made for the main thread: the completion procedure frees it
  // Pooled frames: the completion waits for turn == order before the hand-over, and then returns inBuffer
  // to inFreeQueue (the compress stage's) itself. Not pooled: order is not used.
  Boolean pooled;
  SInt32 order;
  MPQueueID inFreeQueue;
  BZ_CompressParams *params;
  Boolean completed;  // the completion has run (either outcome); read and written through std::atomic_ref
};

struct BZ_CompressParams {
  BZ_CompressData compressData[kBZ_MaxFrameBuffers];  // by write-stage buffer number
  std::atomic<SInt32> numComprStarted;
  std::atomic<SInt32> numComprFinished;
  std::atomic<SInt32> numComprCompleted;
  Boolean makeNoiseMovie;
  float *linePtrYUV255;  // width x 8 bytes
  BZ_FrameBandWorkers *legaliseWorkers;  // with yuvSanityCheck: legalising on every core (owned)
  UInt8 *linePairBuffer;  // 'y420' only
  UInt8 *scratchBuffer;   // maxComprSize bytes, when that is more than a write-stage buffer holds
  Boolean yuvSanityCheck, preserveHighlights, ntscSafeColors;
  float maxIRE;
  Boolean interlaced;
  Boolean removeWhiteLine, whiteLineIsBottomLine;
  Boolean oddCropping;  // cropping with an odd left margin that is cut, not masked
  Boolean maskingCrop;  // cropping whose margins are kept and painted black here (BZ_MasksCropMargins)
  Rect cropRect;        // the margins: top lines, left pixels, bottom lines, right pixels
  SInt32 inHeight, inWidth;  // source picture
  SInt32 height, width;      // padded frame
  SInt32 numFrames;
  CodecType cType;  // the output codec
  MPEventFlags pendingFlags;  // stage event flags taken but not yet used
  // Compress workers (pooled codecs only; numWorkers 0 otherwise): their ends arrive on workerOwner's
  // inputQueue, their jobs (record in the third word) on workerJobs.
  MP_TaskData workerOwner;
  MPQueueID workerJobs;
  SInt32 numWorkers;
  // Hand-over turn of pooled frames: the order of the next frame to go to the write stage.
  std::mutex turnLock;
  std::condition_variable turnChanged;
  SInt32 turn;
};

// Task entry point (parameter: its MP_TaskData). Returns the task's result.
OSStatus BZ_CompressTask(void *parameter);

// Fills the parameters (kept in the compress stage's addStorage, made here when missing).
OSStatus BZ_SetupCompressTask(MP_TaskData *taskData, BZ_CompressParams **compressParams);

// Starts the compression of one working frame into outBuffer (a write-stage buffer). The completion
// procedure finishes it, at once or later.
OSStatus BZ_Compress(MP_TaskData *taskData, BZ_FrameBuffInfo *inFrameBuffInfo, UInt8 *outBuffer,
                     BZ_CompressParams *compressParams);

// The compressor's completion procedure; refcon is a BZ_CompressData.
void BZ_CompressCompletionProc(OSErr result, SInt16 flags, long refcon);

// The completion procedure of the decompression that shows a frame in the progress view; refcon is a heap
// copy of a BZ_CompressData (made with malloc or calloc by the main thread; only `project` and the two
// notified marks are used). A failure becomes the project's first error and ends the decompression at once;
// the source side done (or a failure) sets kBZ_DisplayDecompressDoneFlag on the display stage's event
// (BZ_GetDisplayBuffer), so that the stage waiting for it goes on; the destination side done posts custom
// event 2017 for the progress image (item 2081). The record is freed once both sides are done. A NULL
// record is paramErr, printed.
void BZ_DecompressCompletionProc(OSErr result, SInt16 flags, long refcon);

// Posts custom event 2001 with a copy of the record.
OSStatus BZ_SendCompressEvent(const BZ_CompressData *compressData);

// Posts custom event 2006 with a copy of the decompression request (a record of the same shape).
OSStatus BZ_SendDecompressEvent(const BZ_CompressData *decompressData);
// Main thread: the handling of event 2006. Copies the request to the heap and decompresses the frame at once
// with the copy as the completion's reference constant (the completion frees it). A failure before the
// decompression started frees the copy, becomes the project's first error and sets
// kBZ_DisplayDecompressDoneFlag on the display stage's event, so that the stage waiting there goes on.
OSStatus BZ_HandleDecompressEvent(EventRef event);

// Main thread: the handling of event 2001. Copies the record to the heap and compresses the frame with it
// as the completion's reference constant; a failure still completes the record (so the stage is released)
// and becomes the project's first error. Returns the failure.
OSStatus BZ_HandleCompressEvent(EventRef event);
