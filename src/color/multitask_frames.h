// Multi-task frame operations: the sanity check, the IRE limit and the '2vuy' gamma change of a whole frame,
// cut into bands of whole lines and dealt to worker tasks that the caller owns.
//
// The caller creates the workers (each running the operation's ...UniTask entry) on one shared input queue,
// provides one parameter record per worker with hasAltivec and hasSSE3 set, a float line of width x 2 floats
// per possible band (band k uses the k-th) and an event. The distributing routine (...UniMP) fills the
// records, posts one message per band, (event, record, 0), and returns when every posted band is done.
// A worker takes a message, runs the single-task dispatcher on its band, marks the record done and sets bit
// (number mod 32) of the event; a message without a record ends it with the wait's result (0).
//
// Bands: pixels = height x width; with fewer than 2 processors or 200000 pixels the calling task does the
// whole frame alone. Otherwise n = min(pixels / 100000, numProcessors) bands of height / n lines each, the
// last also taking the remaining lines. Bands never overlap and each has its own float line.
//
// Completion is counted per band through the records' bandDone flags, so a worker that finishes several
// bands between two waits, and any number of workers, are counted exactly; the event only wakes the
// distributor. When a post fails, the distributor still waits for the bands already posted (they use the
// caller's buffers) and then returns the post's error.
//
// Threads: a distributing routine runs on one caller's task (not the main thread while workers may need
// it); the records and float lines belong to that call until it returns.
#pragma once

#include "engine/tasks/task_runtime.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

#include <atomic>

struct CO_MP_LimitIRE_Params {
  Boolean hasAltivec;
  Boolean hasSSE3;
  SInt32 height;        // lines of the band
  SInt32 width;
  void *buffer;         // the band's first line (packed rows of width x 2 bytes)
  float *linePtrF;      // the band's float line
  Boolean inputIsFullRange;
  float ireLimit;
  std::atomic<Boolean> bandDone;  // set by the worker when the band is finished; the last thing it touches
};

// The same fields; ireLimit is not used.
struct CO_MP_SanityCheckParams {
  Boolean hasAltivec;
  Boolean hasSSE3;
  SInt32 height;
  SInt32 width;
  void *buffer;
  float *linePtrF;
  Boolean inputIsFullRange;
  float ireLimit;
  std::atomic<Boolean> bandDone;
};

struct CO_MP_Change2vuyGammaParams {
  Boolean hasAltivec;
  Boolean hasSSE3;
  SInt32 height;
  SInt32 width;
  const void *inBuffer;   // the band's first input line
  void *outBuffer;        // the band's first output line
  float *linePtrF;
  SInt32 inRowBytes;
  SInt32 outRowBytes;
  const UInt16 *newRGB;   // gamma table (gamma_tables.h), borrowed
  float inGamma;
  float outGamma;
  std::atomic<Boolean> bandDone;
};

// Distributing routines. limitIreParams (and the others) hold numProcessors records; linePtrF holds
// numProcessors float lines of width x 2 floats. Returns 0, the first failing post's error, or a failing
// wait's error.
OSStatus CO_FrameLimitIRE_UniMP(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer,
                                float *linePtrF, Boolean inputIsFullRange, float ireLimit, SInt32 numProcessors,
                                CO_MP_LimitIRE_Params *limitIreParams, MPQueueID inputQueue, MPEventID event);
OSStatus CO_FrameSanityCheckUniMP(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer,
                                  float *linePtrF, Boolean inputIsFullRange, SInt32 numProcessors,
                                  CO_MP_SanityCheckParams *sanityCheckParams, MPQueueID inputQueue, MPEventID event);
OSStatus CO_2vuyFrameChangeGammaUniMP(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width,
                                      const void *inBuffer, void *outBuffer, float *fpLine, SInt32 inRowBytes,
                                      SInt32 outRowBytes, const UInt16 *newRGB, float inGamma, float outGamma,
                                      SInt32 numProcessors, CO_MP_Change2vuyGammaParams *change2vuyGammaParams,
                                      MPQueueID inputQueue, MPEventID event);

// Task entries (parameter: the worker's MP_TaskData); they wait on the task's inputQueue.
OSStatus CO_FrameLimitIRE_UniTask(void *taskData);
OSStatus CO_FrameSanityCheckUniTask(void *taskData);
OSStatus CO_2vuyFrameChangeGammaUniTask(void *taskData);
