// The noise model of the spectral filters and the random-noise tables it rests on. The tables are the mean
// power spectra of uniform random noise of amplitude 39 around 128, per bin, for 8- and 16-sample vectors
// and 8 x 8 and 16 x 16 blocks (with the blocks' first coefficient row and column bins besides), built once
// per program by a background task. The model scales them to the user's level, (L / 39)^2, or scales the
// measured spectra (automatic settings).
//
// Threads: the table task alone writes the tables, then sets the dialog state's noiseTablesReady[1] (8 and
// 16) and noiseTablesReady[2] (the blocks) with release order; readers test the flag with acquire order
// before reading a table. The model is written by the stage's task 1 before its workers start.
#pragma once

#include "methods/noise_params.h"
#include "platform/core/mac_types.h"

// Random samples of the tables: 128 + (random() mod 79) - 39.
constexpr SInt32 kBZ_RnRandomAmplitude = 39;
// Vectors or blocks averaged per table.
constexpr SInt32 kBZ_RnRandomTableCount = 4096;

// Test hook: with useSeed the table task draws from its own generator seeded with seed, so tables repeat;
// otherwise from the process's random(). Set it before starting the task.
void BZ_RnSetNoiseTablesSeed(Boolean useSeed, UInt32 seed);

// count random samples 128 + (r mod 79) - 39 (89 .. 167), r from the table build's generator on this thread
// (the seeded one inside the table task, else random()).
void BZ_RnMakeRandomSamples(UInt8 *samples, SInt32 count);

// Carves the analysis float storage of gBZ.dlgTaskData.rnDlgTaskData when not done yet (the record must
// exist) and starts the task that builds the tables into it; the first failure (storage, MPCreateQueue or
// MPCreateTask). Once per program.
OSStatus BZ_CreateNoiseTablesTask();
// The table task's body: windows and bases, the 8- and 16-sample tables, flag 1, the block tables, flag 2.
// paramErr (and no flag) when the dialog data or its storage is missing, memFullErr without memory.
OSStatus BZ_CreateNoiseTables(void *parameter);

// Fill the table that rnParams points at (M8 or M16 built) from 4096 random vectors or blocks. The block
// tables also fill randomPowerTable64add / randomPowerTable256add when those pointers are set.
void BZ_RnCreate1DRandomPowerTable8(BZ_RnParams *rnParams);
void BZ_RnCreate1DRandomPowerTable16(BZ_RnParams *rnParams);
void BZ_RnCreate2DRandomPowerTable64(BZ_RnParams *rnParams);
void BZ_RnCreate2DRandomPowerTable256(BZ_RnParams *rnParams);

// Power bins (4 or 8) of a vector of 8 or 16 bytes, its constant coefficient set to 0; *av receives the mean.
void BZ_RnCalcNoisePower8(const float *M8, const UInt8 *noise, float *nn8, float *av);
void BZ_RnCalcNoisePower16(const float *M16, const UInt8 *noise, float *nn16, float *av);
// Power bins (16 or 64, one per 2 x 2 coefficient group, row 0 and column 0 zeroed first) of an 8 x 8 or
// 16 x 16 block of bytes; addNoise, when not NULL, receives the 8 or 16 bins of the first coefficient row
// and then column, taken before the zeroing.
void BZ_RnCalcNoisePower64(const float *M8, const UInt8 *noise, float *nn64, float *av, float *addNoise);
void BZ_RnCalcNoisePower256(const float *M16, const UInt8 *noise, float *nn256, float *av, float *addNoise);

// The noise model for the filter the settings select: both directions the two-dimensional model, one
// direction its one-dimensional model, neither nothing.
void BZ_RnCalcNoiseModel(BZ_RnParams *rnParams);
void BZ_RnCreateNoiseTablesH(BZ_RnParams *rnParams);
void BZ_RnCreateNoiseTablesV(BZ_RnParams *rnParams);
// nn2D, and nn2Dadd in both modes (manual: the first-row and first-column random bins scaled like nn2D).
void BZ_RnCreateNoiseTables2D(BZ_RnParams *rnParams);
