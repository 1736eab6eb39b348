// Specks: dust spots and scratches held as pixel regions, with their states and measured properties.
#pragma once

#include "general/geometry.h"
#include "outliers/regions.h"
#include "platform/core/mac_types.h"

struct BZ_OuParams;

struct BZ_OuSpeck {
  SInt32 number;  // the user's specks count from 0 in the order made; the detector's from 1,000,000
  RG_Region rgn;
  SInt32 max, min;  // the luminance band around the speck
  // The detector's edge judgement over the second and third rings (with numEdgeInBand below): quiet pixels
  // outside the band, and pixels within 19 levels of the speck's luminance.
  SInt32 numEdgeConstNotInBand, numEdgeSameColor;
  Boolean edgeRejected;         // found by the detector, kept because its edge looks like the picture's
  Boolean partiallySandwiched;  // some pixel lacks neighbouring frames on one side of the window
  float cmX, cmY;
  float circleDiff, rectDiff, elongRectDiff;
  GL_FloatPt minBounds[4];
  float orientation, orientationWeight, minBoundsArea;
  GL_FloatPt minBounds1[4];
  float orientation1, orientationWeight1;
  GL_FloatPt minBounds2[4];
  float orientation2, orientationWeight2;
  Boolean createdByUser;
  Boolean initiallyRemoved;      // the remove state it was made with; toggles are recorded against it
  Boolean remove;                // replaced in the cleaned frame
  Boolean interpolateSpatially;  // filled from its ring rather than from the neighbouring frames
  Boolean scratch;
  Boolean scratchNW;
  // Links across frames: the speck matched in the previous and the next frame (borrowed: elements of those
  // frames' lists), and whether the speck belongs to a chain through the whole usable window.
  BZ_OuSpeck *prevSpeck, *nextSpeck;
  Boolean inChain;
  float numEdgeInBand;  // second- and third-ring pixels within the speck's band (partial scores included)
};

struct BZ_OuSpeckLE {
  BZ_OuSpeckLE *next;
  BZ_OuSpeck speck;
};

// Frees every speck's region and the list; *first ends NULL.
void BZ_OuDisposeSpeckList(BZ_OuSpeckLE **first);

// Size, average colour and centre of mass of the speck's region (frame: padded '2vuy'; data: the flag plane),
// then its box, orientation and weight (BZ_OuCalcSpeckShapeSimple).
void BZ_CalcSpeckProperties(const BZ_OuParams *ouParams, const UInt8 *frame, const UInt16 *data, BZ_OuSpeck *speck);
// minBounds, minBoundsArea, orientation and orientationWeight (at least 0.001). A speck filling more than 80 %
// of its bounds takes the bounds as its box.
void BZ_OuCalcSpeckShapeSimple(const BZ_OuParams *ouParams, const UInt16 *data, BZ_OuSpeck *speck);
// The box along one diagonal of the region's bounds (bottom-left to top-right when orientationBlTr) that just
// encloses the region's pixels, each as far as its coverage reaches; corners top-left, top-right,
// bottom-right, bottom-left.
void BZ_GetBestDiagonalBox(const BZ_OuParams *ouParams, const UInt16 *data, const BZ_OuSpeck *speck,
                           GL_FloatPt box[4], Boolean orientationBlTr);
// The part of the bounds that the box covers.
float BZ_GetMinBoundsArea(const Rect *bounds, const GL_FloatPt box[4]);
// The corner triangle cut off by a box edge; 0 when a box corner lies on the bounds' corner.
float BZ_GetTriangleArea(float a1, float b1, float a2, float b2);
// The angle of the box's longer side in radians (0 to pi).
float BZ_OuGetOrientation(const GL_FloatPt box[4]);
// How elongated and how well filled the box is, 0 to 1.
float BZ_OuGetOrientationWeight(const BZ_OuSpeck *speck);
// The speck's cmX, cmY weighted by coverage.
void BZ_CalcSpeckCM(const BZ_OuParams *ouParams, const UInt16 *data, BZ_OuSpeck *speck);
