// The records of the noise-reduction method: the working parameters of one run (BZ_RnParams), one work item
// of the stage (BZ_RnProcParams) and one measured block of the noise analysis (BZ_IndexedNoiseLevel).
//
// A BZ_RnParams lives in the stage's task 1 for one run. Task 1 fills it before any worker starts; from then
// on the workers and the filters only read it. Its window and model pointers point into the stage's
// additional storage (kept with the stage record); the bases and the analysis arrays are the run's own and
// BZ_RnFree releases them; the table and spectrum pointers are borrowed from BZ_RnDlgTaskData.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

// calcAutoSett: the automatic-settings stage of an analysis run.
enum : UInt32 {
  kBZ_RnAutoSettStage = 4,   // measure the noise
  kBZ_RnAutoSettStage2 = 8,  // passed through; nothing asks for it
  kBZ_RnAutoSettMask = 12,
};

// Sizes of the stage's additional storage after its three frames: the noise models, then the windows.
enum : SInt32 {
  kBZ_RnModelBytes = 1152,
  kBZ_RnWindowBytes = 1376,
};

// One measured block of the noise analysis; +infinity in noiseLevelF marks a block not to use.
struct BZ_IndexedNoiseLevel {
  SInt32 index;  // the block's number in the measuring grid
  SInt32 noiseLevel;
  float noiseLevelF;
};

struct BZ_RnData2D {
  UInt8 *inBuffer;
  UInt8 *outBuffer;
};

struct BZ_RnParams {
  BZ_Rn_Sett *sett;  // borrowed: the project's settings
  SInt32 inWidth;    // picture size
  SInt32 inHeight;
  SInt32 width;   // padded buffer size in pixels and lines
  SInt32 height;
  Boolean interlaced;
  Boolean topFieldFirst;
  UInt8 *tempBuffer;  // borrowed: the stage's additional storage
  BZ_RnData2D data2D;
  UInt32 calcAutoSett;  // 0, or the analysis run's automatic-settings stage masked with 12
  float *randomPowerTable8;  // borrowed from BZ_RnDlgTaskData: 4, 8, 16 and 64 bins
  float *randomPowerTable16;
  float *randomPowerTable64;
  float *randomPowerTable256;
  BZ_IndexedNoiseLevel *indNoiseLevels[3];  // owned (BZ_RnFree): 1000 each while measuring
  float *noiseSpectr16H[3];                 // borrowed: measured spectra, Y Cb Cr
  float *noiseSpectr16V[3];
  float *noiseSpectr2D[3];
  float *noiseSpectr2Dadd[3];
  float *nn16H[3];  // the noise model (in the additional storage): Y 8, Cb 4, Cr 4
  float *nn16V[3];  // 8 each
  float *nn2D[3];   // Y 64, Cb 16, Cr 16
  float *nn2Dadd[3];  // Y 16, Cb 8, Cr 8
  MPEventID event;
  MPEventFlags expectedEvents;
  float *window8;  // in the additional storage: 8, 16, 64 and 256 floats
  float *window16;
  float *window64;
  float *window256;
  float *M8;  // owned (BZ_RnFree), 16-byte aligned: 8 x 8, 2 x 8, 16 x 16, 2 x 16
  float *M8inv;
  float *M16;
  float *M16inv;
  // Borrowed from BZ_RnDlgTaskData: the random noise's first coefficient row and column bins of the 8 x 8
  // (8 floats) and 16 x 16 (16 floats) blocks, which the two-dimensional model scales in manual mode.
  float *randomPowerTable64add;
  float *randomPowerTable256add;
  // Owned (BZ_RnFree) while measuring: row 0 of the measured kind's spectra as they were before the run,
  // put back for a channel that could not be measured.
  float *savedSpectra;
};

// One work item: the three-frame window around the frame to filter and its output buffer.
struct BZ_RnProcParams {
  BZ_RnParams *rnParams;
  Boolean calcStats;
  Boolean padding;
  BZ_FrameBuffInfo *prevBuffer;
  BZ_FrameBuffInfo *inBuffer;
  BZ_FrameBuffInfo *nextBuffer;
  BZ_FrameBuffInfo *outBuffer;
  SInt32 subTaskNum;
};
