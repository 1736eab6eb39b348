// What the noise filters and the noise measurement share: the raised-cosine windows, the windowed real
// Fourier bases M8 and M16 with their reduced inverses (only the two centre samples are rebuilt), the
// comparators that order measured blocks, the measuring rectangle, the float storage of the noise analysis
// and a few small block operations.
//
// Packed spectrum order of an N-sample block (N = 8 or 16): index 0 the DC, 1 the highest frequency, then
// the cosine and sine parts of each frequency k = 1 .. N/2 - 1 at 2k and 2k + 1. Consecutive pairs are the
// bins. Windows and bases are built once per run (and once for the random tables), never per frame.
#pragma once

#include "engine/runtime/project_types.h"
#include "methods/noise_params.h"
#include "platform/core/mac_types.h"

// Bytes of the noise analysis' float storage: the four random tables, then the measured spectra.
constexpr size_t kBZ_RnVectorFloatStorageBytes = 7088;

// Fills window8, window16, window64 and window256 (the caller gives storage of 8, 16, 64 and 256 floats).
// The centre values of window8 and window16 are exactly 1.
void BZ_RnFillInWindows(BZ_RnParams *rnParams);
// Allocates (16-byte aligned, owned: BZ_RnFree) and fills M8 (8 x 8, windows folded into its columns) and
// M8inv (2 x 8: rows rebuilding samples 3 and 4). window8 must be filled. memFullErr when out of memory.
OSStatus BZ_RnInitM8(BZ_RnParams *rnParams);
// The same for M16 (16 x 16) and M16inv (2 x 16: samples 7 and 8); window16 must be filled.
OSStatus BZ_RnInitM16(BZ_RnParams *rnParams);
// Releases the four bases (any of them may be NULL) and clears their pointers.
void BZ_RnDisposeBases(BZ_RnParams *rnParams);

// Comparators for SS_SelectSortArray over BZ_IndexedNoiseLevel: 1 when x is lower than y, -1 when higher,
// else 0, so the sorted array ascends (+infinity last). On noiseLevelF, resp. noiseLevel.
SInt32 BZ_RnCompareNoiseLevelsF(const void *x, const void *y);
SInt32 BZ_RnCompareNoiseLevels(const void *x, const void *y);

// The measuring rectangle in buffer coordinates: the settings' selRect when useSelRect, else the picture
// inset by 16 on every side; moved right by 8 and down by 8 (16 when interlaced).
void BZ_RnGetSelRect(const BZ_RnParams *rnParams, Rect *selRect);

// Allocates the 7,088-byte zeroed float storage of the noise analysis and carves it into the random tables and
// the spectra of dlgTaskData->rnDlgTaskData (which must exist), every array 16-byte aligned. Kept for the
// program's life. paramErr without the noise data, memFullErr when out of memory.
OSStatus BZ_InitVectorFloatStorage(BZ_DlgTaskData *dlgTaskData);

// Copies 16 bytes (8 pixels of a '2vuy' line).
void BZ_RnCopy8Pixels(const UInt8 *inPtr, UInt8 *outPtr);
// The padding geometry of the run's frames.
void BZ_RnParamsToPadParams(const BZ_RnParams *rnParams, BZ_PadParams *padParams);
// A three-tap median along a line, applied only where the three samples spread less than
// 2 x spatNoiseLevel: array[index] = that median, else temp2[index]. step is the byte distance between
// neighbouring samples of one component.
void BZ_MedianFilterHoriz(SInt32 spatNoiseLevel, const UInt8 *temp2, UInt8 *array, SInt32 index, SInt32 step);
// Print M8inv x M8 (resp. M16inv x M16) as "i = %ld, j = %ld, result = %.4f\n" lines: 1 at the two centre
// samples, 0 elsewhere.
void BZ_RnTestM8(const BZ_RnParams *rnParams);
void BZ_RnTestM16(const BZ_RnParams *rnParams);
