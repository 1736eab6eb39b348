// Specks: dust spots and scratches held as pixel regions, with their states and measured properties.
#pragma once

#include "general/geometry.h"
#include "outliers/regions.h"
#include "platform/core/mac_types.h"

struct BZ_OuSpeck {
  SInt32 number;  // its position in the frame's speck list when it was added
  RG_Region rgn;
  SInt32 max, min;  // the luminance band around the speck
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
};

struct BZ_OuSpeckLE {
  BZ_OuSpeckLE *next;
  BZ_OuSpeck speck;
};

// Frees every speck's region and the list; *first ends NULL.
void BZ_OuDisposeSpeckList(BZ_OuSpeckLE **first);
