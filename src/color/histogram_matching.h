// Histogram matching and colour distance: the level mapping that makes one 256-bin histogram look like
// another (the averaging method brings the luma of its second capture onto the first with it), a city-block
// distance of 0x00RRGGBB colours, a nearest-colour search in a sorted colour list, and two placeholders.
// Stateless; any thread.
#pragma once

#include "platform/core/mac_types.h"

// table[i] = the level of count2 that level i of count1 maps to: the level at which count2's cumulative
// distribution first reaches the midpoint of count1's step at i (both divided by count1's total). Empty
// levels in between are filled by interpolation; the mapping rises monotonically. The walk through count2
// ends at level 255 when the totals differ; an empty count2 (or count1) gives the identity.
void CO_MatchHistograms(const UInt32 count1[256], const UInt32 count2[256], UInt8 table[256]);

// |R1 - R2| + |G1 - G2| + |B1 - B2| of two 0x00RRGGBB colours.
SInt32 CO_ColorDiff(UInt32 color1, UInt32 color2);

// The entry of list (sorted in falling order) after index curNumMatched that is nearest to key: the first
// entry not greater than key, then, as long as one is found, an entry with a smaller CO_ColorDiff among those
// whose red lies within 32 levels of the best match's red, whose green lies within 32 levels of the key's
// widened by that red difference, and whose blue lies within 32 levels of the key's widened by the red and
// green differences. Only the numListPixels entries are read. -1 when no entry after curNumMatched is at
// most key.
SInt32 CO_FindMatchForPixel(UInt32 key, const UInt32 *list, SInt32 numListPixels, SInt32 curNumMatched);

// Placeholder: stores in *X the sum of the nine doubles that Y to minDiff point to.
void CO_GetCameraAccuracy(double *X, const double *Y, const double *Z, const double *r, const double *g,
                          const double *b, const double *wp, const double *avDiff, const double *maxDiff,
                          const double *minDiff, UInt32 *bestRGB, UInt32 *worstRGB);
// Placeholder: has no effect.
void CO_ColorTempToWhitePoint(float colorTemp, float *x, float *y);
