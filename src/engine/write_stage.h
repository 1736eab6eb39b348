// The write stage: the last stage of a run. In an execution it writes the frames of one target file (target 0
// the cleaned movie, target 1 the noise movie): it crops, removes the white line and legalises uncompressed
// frames, appends the frame data (compressed by the compress stage, or '2vuy') to the target's data fork,
// and collects sample references that the main thread adds to the target's video media in batches of up to
// kBZ_NumOutSampleRefs records (custom event 2002). The last write stage to close its file marks the project
// finished and sends (kBZ_WriteTaskType, project, kBZ_EndOfStreamMessage) to the main task.
//
// Messages: (sender, project, frame buffer) arrive on the stage task's input queue; the buffer goes back to
// the stage's own free queue (it is the stage's again from that post on).
//
// The output file: the 16-byte header (written when the target is opened), then every frame's bytes in frame
// order with no gaps. Every appended byte is counted, also those of a frame of zero duration, which gets no
// reference: the references always point at their own frames' bytes.
//
// Threads: the write task runs on its own task and owns its target's BZ_DynOutputInfo while it runs; the
// sample references are added on the main thread only (BZ_HandleOutSampleRefsEvent), while the writer waits
// on the target's semaphore (a stop wakes the writer too).
#pragma once

#include "engine/runtime/frame_bands.h"

#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_types.h"
#include "platform/movie/movie_types.h"

#include <atomic>
#include <cstddef>

struct BZ_WriteParams {
  Boolean compressing;  // target 0 with an output codec other than '2vuy' (the data arrive compressed)
  Boolean compacting;   // not compressing: the picture is moved to the buffer's start and written unpadded
  Boolean maskBlackBars;  // cropped margins are painted black and kept instead of cut
  Boolean interlaced;
  SInt32 inHeight, inWidth;  // source picture size (file 0)
  SInt32 height, width;      // padded frame size
  Rect cropRect;             // margins: top lines, left pixels, bottom lines, right pixels
  Boolean cropping;          // crop in this stage
  Boolean yuvSanityCheck, preserveHighlights, ntscSafeColors;  // all cleared when compressing
  float maxIRE;              // the preference / 100
  float *linePtrYUV255;      // owned: width x 8 bytes
  BZ_FrameBandWorkers *legaliseWorkers;  // with yuvSanityCheck: legalising on every core (owned)
  Boolean removeWhiteLine, whiteLineIsBottomLine;
  SInt32 totalNumFrames;     // frames this stage writes
  Boolean makeNoiseMovie;    // not compressing and the output setting asks for a noise movie
  // The compressed noise movie (file 1 with target 1 described as kBZ_NoiseMovieCodec): the main thread
  // compresses each frame into this buffer (borrowed from the stage's BZ_NoiseCompressState), NULL otherwise.
  UInt8 *compressedNoiseBuffer;
  size_t compressedNoiseBufferSize;
};

// The codec of a compressed noise movie: lossless for the noise picture's luma (compression.h).
constexpr CodecType kBZ_NoiseMovieCodec = 'smc ';

// The noise compressions of the write stage of file 1, kept in that stage's addStorage so that it lives as
// long as the stage table: a compression that the main thread still has to make after the task has gone
// writes into the buffer and counts here, never into freed memory.
struct BZ_NoiseCompressState {
  std::atomic<SInt32> numComprStarted;
  std::atomic<SInt32> numComprCompleted;  // completions of either outcome
  size_t bufferSize;
  UInt8 *buffer;  // compressed noise frame: bufferSize bytes in the same block
};

// Per write task: how its sample references are kept.
struct BZ_SampleRefParams {
  SInt32 maxNumOutSamples;  // 1,048,576 / the largest compressed frame, at least 1
  Media media;              // the target's video media
  ImageDescriptionHandle desc;
  // The fork offset of the next frame's first byte: every appended byte counts, referenced or not.
  SInt64 nextDataOffset;
  // Stage event flags taken while waiting for the main thread, kept for the stage's own waits.
  MPEventFlags pendingFlags;
  MPEventID event;  // the write stage's event (its stop flag wakes a wait for the main thread)
};

// The parameter of custom event 2002 (kBZ_OutSampleRefsEventParam), copied into the event by value.
struct BZ_OutSampleRefsData {
  OSErr error;  // sent as 0
  Media media;
  ImageDescriptionHandle desc;
  SInt32 outRecordNum;  // records to add
  SampleReference64Record *outSampleRefs;  // the target's record array (borrowed; the writer waits meanwhile)
  BZ_ProjPtr project;   // for the handler's error recording
  MPSemaphoreID semaphore;  // the target's sampleRefsSemaphore; always signalled by the handler
};

// ---- The task ----

// Task entry point of a write stage (parameter: its MP_TaskData). Returns the task's result; a stop
// (userCanceledErr) counts as 0.
OSStatus BZ_WriteTask(void *parameter);

// What a write task works with, filled by BZ_SetupWriteTask.
struct BZ_WriteTaskLinks {
  BZ_BuffInfo *writeBuffInfo;  // this stage
  SInt32 fileNum;
  MPQueueID inInputQueue, inFreeQueue;
  size_t bufferSize;
  SInt32 numFrames;  // frames of the run
};

// Fills the parameters of the write task `taskData` of the current run: sizes, crop and legalising flags,
// white line, the target's media and description, and the links to its stage. paramErr when the task has no
// stage in the table or the source has no size; memFullErr when the line buffer cannot be had.
OSStatus BZ_SetupWriteTask(MP_TaskData *taskData, BZ_WriteParams *writeParams, BZ_SampleRefParams *sampleRefParams,
                           BZ_WriteTaskLinks *links);
// Frees what BZ_SetupWriteTask allocated (a half-filled record is fine).
void BZ_DisposeWriteParams(BZ_WriteParams *writeParams);

// ---- Frame edits ----
// The white line is removed with BZ_RemoveWhiteLine (working_format.h).

// Paints the cropped margins of the picture black: the top and bottom crop rows (whole padded rows) and the
// left and right crop columns of the picture rows. Margins beyond the picture are limited to it.
void BZ_Crop(UInt8 *buffer, SInt32 height, SInt32 width, const BZ_WriteParams *writeParams);
// Moves the picture rows one after the other to the buffer's start (rows of inWidth x 2 bytes); with
// cropping and without maskBlackBars the cropped margins are left out. Returns the bytes of the result.
size_t BZ_CompactFrame(SInt32 width, const BZ_WriteParams *writeParams, UInt8 *inBuffer);

// ---- Writing ----

// Bytes of the buffer a noise frame is compressed into: the padded frame of source 0 (height x width x 2).
size_t BZ_GetNoiseCompressBufferSize(BZ_ProjPtr project);

// Starts the compression of the noise frame (a buffer of the write stage of file 1, with the compression
// sequence of BZ_SetUpNoiseCompressionSequence) on the main thread (custom event 2001) into outBuffer; its
// completion (BZ_NoiseCompressCompletionProc) sets the frame's actualSize and kBZ_CompressionDoneFlag on
// that stage's event. The posting's failure (then nothing was started).
OSStatus BZ_CompressNoise(BZ_ProjPtr project, BZ_FrameBuffInfo *inFrameBuffInfo, UInt8 *outBuffer);
// The completion procedure of a noise compression; refcon is the BZ_CompressData (a heap copy made by the
// main thread's handler, freed here). A failure, or a compressed size beyond the buffer (codecErr), becomes
// the project's first error; every outcome sets kBZ_CompressionDoneFlag so that the writer never waits for
// ever.
void BZ_NoiseCompressCompletionProc(OSErr result, SInt16 flags, long refcon);

// Appends one frame to the target's fork: compacted first when compacting (actualSize becomes the picture's
// bytes); a noise frame of a compressed noise movie is compressed on the main thread first and its data
// written (the stage's stop while waiting for it: userCanceledErr). A frame larger than its buffer is
// codecErr and nothing is written; a short write gives the fork's error.
OSStatus BZ_WriteFrame(SInt32 width, BZ_ProjPtr project, SInt32 fileNum, BZ_BuffInfo *writeBuffInfo,
                       const BZ_WriteParams *writeParams, BZ_FrameBuffInfo *inFrameBuffInfo);

// Adds the frame just appended (size actualSize, duration `duration`) to the target's sample references:
// frames of equal size and duration whose bytes follow each other share a record (at most maxNumOutSamples
// frames); a frame of zero duration gets none but its bytes are counted. Before the 101st record the full
// batch goes to the main thread; with `finished` the records held go too. Each hand-over waits until the main
// thread has handled it (or the stage is stopped: userCanceledErr); an error of the main thread's addition
// is returned.
OSStatus BZ_ManageOutSampleRefs(BZ_ProjPtr project, SInt32 fileNum, const BZ_FrameBuffInfo *inFrameBuffInfo,
                                BZ_SampleRefParams *sampleRefParams, Boolean finished);

// Posts custom event 2002 for the target's first `count` records (the target's current records).
OSStatus BZ_SendOutSampleRefsEvent(BZ_ProjPtr project, SInt32 fileNum, Media media, ImageDescriptionHandle desc,
                                   SInt32 count);

// Main thread: the handling of event 2002. Adds the records to the media (unless the project already has an
// error) and then always signals the semaphore; a failure becomes the project's first error. Returns the
// failure (the event counts as handled whatever it is).
OSStatus BZ_HandleOutSampleRefsEvent(EventRef event);

// Closes the target's fork (when open) and zeroes its reference.
OSStatus BZ_CloseTargetFile(BZ_ProjPtr project, SInt32 fileNum);
// True when the fork references of all targets are 0.
Boolean BZ_AllTargetFilesClosed(BZ_ProjPtr project);
