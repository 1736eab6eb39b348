// Varying brightness's frame kernels: the brightness of one picture (a frame, or a field when interlaced)
// relative to another from block luma sums, and the correction that multiplies a picture's luma by its
// factor. Buffers are padded working frames ('2vuy' order, Cb Y Cr Y; luma at the odd bytes), W pixels of
// 2 bytes a line and H lines. Scalar only: both stages are light and take their speed from their workers.
#pragma once

#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

// The parameters of one run of either varying-brightness stage (one per stage, owned by its distributor).
struct BZ_VbParams {
  SInt32 inWidth;   // picture size of the source
  SInt32 inHeight;
  SInt32 width;     // padded buffer size in pixels and lines (BZ_GetBufferSize)
  SInt32 height;
  SInt32 numFrames;  // frames of the movie
  Boolean interlaced;
  Boolean topFieldFirst;
  MPEventID event;   // the stage's event
  Boolean calcAutoSett;  // the measuring run
  // Measuring: 2 x numFrames ratios (owned by the distributor), each written by the measurement of one
  // frame only. Correction: unused.
  float *relBr;
  // Correction: the factor table of the field order (borrowed from the analysis record, read-only during the
  // run) with its number of entries.
  const float *factors;
  SInt32 numFactors;
  float frameDuration;  // seconds, of source 0 (for the period shown)
};

// One frame's work item, kept in the slot of its input buffer.
struct BZ_VbProcParams {
  BZ_VbParams *vbParams;
  Boolean calcStats;
  Boolean padding;
  UInt8 *prevBuffer;  // measuring: the frame before (NULL for frame 0)
  UInt8 *inBuffer;
  UInt8 *outBuffer;   // correction only
  SInt32 subTaskNum;
};

// The measuring block grid of a padded W x H frame, from pixel 32 and line 16 on: 32-pixel blocks when more
// than 63 of them fit, else 16-pixel blocks. A frame too small for one block gets a grid of no blocks (a
// count of 0 or less).
void BZ_VbGetBlockGrid(SInt32 width, SInt32 height, SInt32 *numBlocksH, SInt32 *numBlocksV, SInt32 *blockSize);

// Brightness of field2 relative to field1: the most frequent ratio of block luma sums, histogrammed in
// steps of 1/8 (rescaled once so that the largest ratio lands in bin 254 when bin 255 overflows). The
// pictures start at their first line; lineSize is the byte distance between frame lines and interlaced
// reads every second frame line. A block whose sum is 0 in field1 counts as sum 1.
float BZ_FindFramesRelBr(const UInt8 *field1, const UInt8 *field2, SInt32 numBlocksH, SInt32 numBlocksV,
                         SInt32 blockSize, SInt32 lineSize, Boolean interlaced);
// The measurement of frame frameNum against its previous frame into vbParams->relBr: progressive frames
// after the first write relBr[frameNum - 1]; interlaced frames write relBr[2 frameNum] (the second field of
// the frame against its first) and, after the first frame, relBr[2 frameNum - 1] (the first field against
// the previous frame's second). prevBuffer may be NULL for frame 0.
void BZ_FindRelBr(BZ_VbParams *vbParams, const UInt8 *prevBuffer, const UInt8 *inBuffer, SInt32 frameNum);
void BZ_FindRelBrInt(BZ_VbParams *vbParams, const UInt8 *prevBuffer, const UInt8 *inBuffer, SInt32 frameNum);
void BZ_FindRelBrProgr(BZ_VbParams *vbParams, const UInt8 *prevBuffer, const UInt8 *inBuffer, SInt32 frameNum);

// The factor of frame frameNum (or of its top or bottom field when interlaced); 1 when the table does not
// reach that far.
float BZ_VbGetFactor(const BZ_VbParams *vbParams, SInt32 frameNum, Boolean topfield);
// Copies inBuffer to outBuffer with the luma of the frame (or of its top or bottom field when interlaced)
// multiplied by its factor, truncated and at most 255; chroma is copied unchanged, padding included.
void BZ_CorrRelBr(const BZ_VbParams *vbParams, const UInt8 *inBuffer, UInt8 *outBuffer, SInt32 frameNum,
                  Boolean topfield);
