// The noise-spectrum picture of the automatic noise settings: after a measurement the main thread draws the
// averaged spectra of Y, Cb and Cr as grids of dots (one per bin, the diameter 3 x its power over the
// channel's mean power, at most 6) with a title each into the project dialog's image view 2181.
//
// Main thread only (the handler of event 2016, with its copy of the run's parameters). The bitmap and the
// image shown are kept here, with the noise analysis data, until the project dialog owns them.
#pragma once

#include "engine/runtime/project_types.h"
#include "methods/noise_params.h"
#include "platform/core/event_loop.h"
#include "platform/core/quartz_contexts.h"
#include "platform/core/quartz_geometry.h"

// The image view of the picture ('Orl1', 2181).
constexpr SInt32 kBZ_NoiseSpectrViewID = 2181;

// The main thread's part of event 2016: BZ_DrawNoiseSpectr with the event's copy of the run's parameters
// (parameter 2011). paramErr when the event holds no such copy.
OSStatus BZ_HandleDrawNoiseSpectrEvent(EventRef event);
// Draws the picture for the filter kind of rnParams (NULL: a cleared picture) into view 2181 of the
// project dialog's window. The view's and the image view's failures; a bitmap that cannot be made ends
// without error and without a picture.
OSStatus BZ_DrawNoiseSpectr(const BZ_RnParams *rnParams);
// Draws titles and dots into the context, whose size is viewRect's.
void BZ_MakeNoiseSpectrPic(CGContextRef context, const BZ_DlgTaskData *dlgTaskData, const BZ_RnParams *rnParams,
                           CGRect viewRect);
// The grid (numHoriz x numVert bins of the Y grid) and per channel (Y, Cb, Cr) the first dot's centre and the
// title's baseline origin, for the filter kind, in the context's coordinates (y growing down the picture).
void BZ_LayoutNoiseSpectrPic(const BZ_RnParams *rnParams, CGRect viewRect, CGPoint *spectrStart, CGPoint *titlePos,
                             SInt32 *numHoriz, SInt32 *numVert);
// Per channel the averaged spectrum row of the filter kind (noiseSpectr, borrowed) and its mean over the
// channel's grid (avValue; Cb and Cr over half the rows and columns, at least one each).
void BZ_CalcAvSpectrValues(const BZ_RnParams *rnParams, const BZ_DlgTaskData *dlgTaskData, SInt32 numHoriz,
                           SInt32 numVert, float *avValue, const float **noiseSpectr);
// The picture's rows and columns of dots for a channel: Y numVert x numHoriz, Cb and Cr numHoriz / 2 columns
// and numVert / 2 rows (numVert rows when the grid is taller than wide), at least one each.
void BZ_NoiseSpectrGrid(SInt32 channel, SInt32 numHoriz, SInt32 numVert, SInt32 *rows, SInt32 *columns);
// The kept bitmap of the last picture (borrowed; NULL before the first), and its width and height.
const UInt8 *BZ_GetNoiseSpectrBitmap(SInt32 *width, SInt32 *height);
