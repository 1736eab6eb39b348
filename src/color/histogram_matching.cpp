// Histogram matching, colour distance and the nearest-colour search.
#include "color/histogram_matching.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr double kMidpointSlack = 0.0001;  // a step's midpoint counts as reached this close below it
constexpr int kColorWindow = 32;           // levels around the best match that the search looks at

int Red(UInt32 color) { return int((color >> 16) & 0xFF); }
int Green(UInt32 color) { return int((color >> 8) & 0xFF); }
int Blue(UInt32 color) { return int(color & 0xFF); }

}  // namespace

void CO_MatchHistograms(const UInt32 count1[256], const UInt32 count2[256], UInt8 table[256]) {
  double total = 0;
  for (int i = 0; i < 256; ++i) total += count1[i];
  int j = 0;
  while (j < 256 && count2[j] == 0) ++j;
  if (total == 0 || j == 256) {  // nothing to match
    for (int i = 0; i < 256; ++i) table[i] = UInt8(i);
    return;
  }
  double cum2 = count2[j++];
  double f2 = cum2 / total;

  int p = -1;    // the previous non-empty level of count1
  int last = 0;  // the level it was given
  // Empty levels p + 1 .. i - 1 between the neighbours' levels last and cur.
  auto fillGap = [&](int i, int cur) {
    for (int k = p + 1; k < i; ++k) {
      if (cur == last) table[k] = UInt8(last);
      else if (cur == last + 1) table[k] = UInt8(k <= (p + i) / 2 ? last : cur);
      else table[k] = UInt8((cur - last - 1) * (k - p - 1) / (i - p - 1) + last + 1);
    }
  };

  double cum1 = 0, previousF1 = 0;
  for (int i = 0; i < 256; ++i) {
    if (count1[i] == 0) continue;
    cum1 += count1[i];
    double f1 = cum1 / total;
    double mid = (previousF1 + f1) / 2;
    // With unequal totals count2 may never catch up: its walk ends at the last level.
    while (mid - kMidpointSlack > f2 && j < 256) {
      cum2 += count2[j++];
      f2 = cum2 / total;
    }
    int cur = j - 1;
    table[i] = UInt8(cur);
    fillGap(i, cur);
    p = i;
    last = cur;
    previousF1 = f1;
  }
  fillGap(256, 255);
}

SInt32 CO_ColorDiff(UInt32 color1, UInt32 color2) {
  return std::abs(Red(color1) - Red(color2)) + std::abs(Green(color1) - Green(color2)) +
         std::abs(Blue(color1) - Blue(color2));
}

SInt32 CO_FindMatchForPixel(UInt32 key, const UInt32 *list, SInt32 numListPixels, SInt32 curNumMatched) {
  if (list == nullptr) return -1;
  const SInt32 first = std::max(curNumMatched + 1, 0);
  SInt32 best = first;
  while (best < numListPixels && list[best] > key) ++best;
  if (best >= numListPixels) return -1;
  SInt32 bestDiff = CO_ColorDiff(key, list[best]);
  // Look for a nearer entry among those near the best match in red (the list's sort key) and near the key
  // in green and blue, the windows widening with the red (and green) distance; move there, until none is.
  for (bool moved = true; moved && bestDiff > 0;) {
    moved = false;
    const int bestRed = Red(list[best]);
    SInt32 nearest = best, nearestDiff = bestDiff;
    for (SInt32 c = first; c < numListPixels; ++c) {
      int dR = std::abs(Red(list[c]) - bestRed);
      if (dR > kColorWindow) continue;
      int dG = std::abs(Green(list[c]) - Green(key));
      if (dG > kColorWindow + dR) continue;
      if (std::abs(Blue(list[c]) - Blue(key)) > kColorWindow + dR + dG) continue;
      SInt32 d = CO_ColorDiff(key, list[c]);
      if (d < nearestDiff) {
        nearest = c;
        nearestDiff = d;
      }
    }
    if (nearest != best) {
      best = nearest;
      bestDiff = nearestDiff;
      moved = true;
    }
  }
  return best;
}

void CO_GetCameraAccuracy(double *X, const double *Y, const double *Z, const double *r, const double *g,
                          const double *b, const double *wp, const double *avDiff, const double *maxDiff,
                          const double *minDiff, UInt32 *, UInt32 *) {
  *X = *Y + *Z + *r + *g + *b + *wp + *avDiff + *maxDiff + *minDiff;
}

void CO_ColorTempToWhitePoint(float, float *, float *) {}
