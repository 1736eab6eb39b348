// Cross-luma removal's kernel: composite video leaves a fine luma pattern along colour edges. Line by line the
// stretches of nearly constant chroma are found; in the zones between two stretches (widened by `extent`) a
// pixel whose 3x3 same-field neighbourhood varies regularly and moderately takes the neighbourhood's mean,
// and a change is undone where three neighbouring pixels moved the same way (a real edge, not a pattern).
// Chroma never changes. Frames are padded '2vuy' working frames (engine/runtime/working_format.h).
//
// The live path is integer throughout and scalar: the stage's speed comes from its workers. The float and
// earlier integer members of the family are kept beside it for comparison and tests.
//
// Threads: BZ_CrossLuma runs on a worker, on its own output buffer and its own scratch areas (by worker
// number); the parameters are read-only during a run.
#pragma once

#include "engine/runtime/method_settings.h"
#include "platform/core/mac_types.h"

#include <atomic>
#include <cstddef>

// One constant-chroma stretch of a line: buffer pixels start .. end. The live search fills only start and
// end; the float search also the means and mean absolute deviations.
struct BZ_Cl_ConstChromaInterval {
  BZ_Cl_ConstChromaInterval *next;
  BZ_Cl_ConstChromaInterval *prev;
  float avCb;       // window means when the stretch ended
  float avCr;
  float avCbStart;  // window means when it began
  float avCrStart;
  float cbStdDev;   // mean absolute deviations when it ended
  float crStdDev;
  SInt32 start;
  SInt32 end;
};

// One run's parameters. The per-worker areas lie in one block (areas) made by BZ_ClNewAreas for
// numSubTasks workers: worker w has intervals[w] (height x BZ_ClMaxIntervals records, a row of them per
// buffer line), numIntervals[w] (one count per buffer line) and diffSigns[w] (one sign per pixel of a line).
struct BZ_ClParams {
  SInt32 inHeight;  // picture size, height first
  SInt32 inWidth;
  SInt32 height;    // frame buffer size in lines and pixels
  SInt32 width;
  Boolean interlaced;
  const BZ_Cl_Sett *sett;  // borrowed: the project's settings, valid for the run
  SInt32 numSubTasks;
  BZ_Cl_ConstChromaInterval **intervals;
  SInt32 **numIntervals;
  SInt8 **diffSigns;
  void *areas;  // owned: BZ_ClDisposeAreas
  std::atomic<SInt32> numUnfilteredFrames;  // frames passed on unfiltered (too many stretches)
};

// The work item of one frame.
struct BZ_ClProcParams {
  BZ_ClParams *clParams;
  Boolean calcStats;
  Boolean padding;  // pad the output frame afterwards
  UInt8 *inBuffer;
  UInt8 *outBuffer;
  SInt32 subTaskNum;
};

// Stretches a line can hold: width / 10 (at least 1).
SInt32 BZ_ClMaxIntervals(SInt32 width);
// Makes the areas of numSubTasks workers in one block for clParams->height and width. paramErr for sizes or
// counts out of range, memFullErr when the block cannot be had (the record is left without areas).
OSStatus BZ_ClNewAreas(BZ_ClParams *clParams, SInt32 numSubTasks);
// Frees the block and clears the pointers; accepts a record without areas.
void BZ_ClDisposeAreas(BZ_ClParams *clParams);

// One frame: copies inBuffer (width x height x 2 bytes) to outBuffer, makes the stretch list of every buffer
// line with the worker's areas and filters, in one pass down the frame. 5022 (too many stretches) at the
// first line with too many stretches, the output then being the unfiltered copy; paramErr for a worker
// without areas.
OSStatus BZ_CrossLuma(BZ_ClParams *clParams, SInt32 subTaskNum, const UInt8 *inBuffer, UInt8 *outBuffer);

// The stretches of one buffer line (integer running sums over constChromaTestLen pixels): at most
// BZ_ClMaxIntervals(width) records; 5022 when the count reaches it. A stretch
// still open at the line's end is not recorded.
OSStatus BZ_Cl_MakeConstChromaIntervalListOpt(const UInt8 *linePtr, const BZ_ClParams *clParams,
                                              BZ_Cl_ConstChromaInterval *intervals,
                                              SInt32 *numConstChromaIntervals);
// (5022 is kBZ_ExcLimNumChromaIntervOnLineErr of the application's error numbers, app/error_display.h.)
// The same search in float means and mean absolute deviations, with the means and deviations recorded; after
// a stretch too short to count the next one starts where the deviation was found.
OSStatus BZ_Cl_MakeConstChromaIntervalList(SInt32 width, const UInt8 *linePtr, const BZ_ClParams *clParams,
                                           BZ_Cl_ConstChromaInterval *intervals, SInt32 *count);

// The block test on a 3x3 block whose rows lie two buffer lines apart: blockPtr is the luma byte of the
// block's top-left pixel in the input, targetPixelPtr the centre's luma byte in the output, lineSize the bytes
// of one buffer line. When the deviations D (sum of the rows' and columns' |3 Y - sum|) lie above the minimum
// and below the maximum and their spread S is small enough, the centre takes the block's mean.
// Float: D > 54 minStddev, 6 percentage D > S, D < 54 maxStddev, centre = trunc(total / 9).
Boolean BZ_Cl_Filter3x3Block(float minStddev, float maxStddev, float percentage, const UInt8 *blockPtr,
                             UInt8 *targetPixelPtr, SInt32 lineSize);
// Integer, with minStddevInt = 54 minStddev, maxStddevInt = 54 maxStddev and percentageInt = 24576
// percentage (rounded): D > min, (percentageInt D) >> 12 > S, D < max, centre = (total 7282 + 3641) >> 16.
// True when the centre was written.
Boolean BZ_Cl_Filter3x3BlockOpt(SInt32 minStddevInt, SInt32 maxStddevInt, SInt32 percentageInt,
                                const UInt8 *blockPtr, UInt8 *targetPixelPtr, SInt32 lineSize);
// The integer test answering the direction of the change: +1 when the centre rose, -1 when it fell, 0 when it
// was left (or kept its value).
SInt32 BZ_Cl_Filter3x3BlockNew(SInt32 minStddevInt, SInt32 maxStddevInt, SInt32 percentageInt,
                               const UInt8 *blockPtr, UInt8 *targetPixelPtr, SInt32 lineSize);

// The zone walk over the frame with the stretch lists of every buffer line (intervals: a row of
// BZ_ClMaxIntervals(width) records per line; numChromaIntervals: one count per line). Zones are clipped to the
// line. OptNew (the live one) undoes changes where three neighbouring centres moved the same way; Opt and the
// float Blocks keep every change.
void BZ_Cl_Filter3x3BlocksOptNew(const BZ_ClParams *clParams, SInt32 subTaskNum, const UInt8 *inBuffer,
                                 UInt8 *outBuffer, const BZ_Cl_ConstChromaInterval *intervals,
                                 const SInt32 *numChromaIntervals);
void BZ_Cl_Filter3x3BlocksOpt(const BZ_ClParams *clParams, SInt32 subTaskNum, const UInt8 *inBuffer, UInt8 *outBuffer,
                              const BZ_Cl_ConstChromaInterval *intervals, const SInt32 *numChromaIntervals);
void BZ_Cl_Filter3x3Blocks(const BZ_ClParams *clParams, SInt32 subTaskNum, const UInt8 *inBuffer, UInt8 *outBuffer,
                           const BZ_Cl_ConstChromaInterval *intervals, const SInt32 *numChromaIntervals);
