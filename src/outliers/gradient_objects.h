// Gradient objects of a frame: the squared luminance gradient, the first- and second-degree flags it gives,
// the objects grown from them with their holes, and the skeletons (with closures and node regions) of the
// largest. Plain functions over a frame and the caller's planes, masks and pixel list; no state, any thread.
#pragma once

#include "outliers/motion_vectors.h"
#include "platform/core/mac_types.h"

struct BZ_OuParams;

enum : SInt32 {
  kBZ_OuGradFirstDegree = 300,  // a squared gradient from here on gives a full first-degree pixel
};

// gradSq (one UInt16 per buffer pixel) of the picture rectangle less one pixel on each side, from the
// luminance of inBuffer (padded '2vuy'): ((gx + gy) x 21) >> 8 of the squared Sobel-like differences. Other
// pixels keep their values; tempIn and pixelList are not needed.
void BZ_OuCalcGradSq(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *tempIn, UInt16 *gradSq,
                     SInt32 *pixelList);
void BZ_OuCalcGradSqAcc(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *tempIn, UInt16 *gradSq,
                        SInt32 *pixelList);
// The SSE version when gBZ.procInfo.hasSSE3, else the scalar one.
void BZ_OuCalcGradSqUni(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *tempIn, UInt16 *gradSq,
                        SInt32 *pixelList);

// Frees the slot's previous objects, writes the flags of the picture rectangle into data (26 from 300 on,
// 0x20 plus a weight of 0 to 9 from 150 on, else 0), grows the objects (*gradObjList, owned:
// BZ_MvDisposeMvObjList), finds their holes and writes each object's number into objData at its pixels.
// memFullErr (the objects made so far are kept).
OSStatus BZ_OuFindGradObjects(const BZ_OuParams *ouParams, const UInt16 *gradSq, UInt16 *data, SInt32 *pixelList,
                              BZ_MvObjectLE **gradObjList, UInt16 *objData);
// Grows an object from every first-degree pixel of bounds not yet in one, appending them to *mvObjList and
// numbering the list from 0. The number of objects, or memFullErr (negative) when one could not be made.
SInt32 BZ_FindObjRgns(SInt32 width, const Rect *bounds, UInt16 *data, SInt32 *pixelList, BZ_MvObjectLE **mvObjList);
// Skeletons of the first numObjects objects, in list order: each region is written into masks[0] (the object)
// and masks[1] (thinned to the skeleton), masks[2] being work space (three byte planes of the buffer's size);
// objects that are not loops get closures and node regions. The first failure ends the loop and is returned;
// what was made so far stays with the objects.
OSStatus BZ_OuCalcMoreObjProperties(SInt32 frameWidth, const UInt8 *inBuffer, UInt16 *data, UInt8 *masks[3],
                                    BZ_MvObjectLE *mvObjList, SInt32 numObjects, SInt32 *pixelList);
