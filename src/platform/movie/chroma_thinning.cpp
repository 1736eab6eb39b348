// Chroma thinning for the 4:2:0 encoders: the scalar kernel and the dispatcher (the SSE kernel is in
// chroma_thinning_sse.cpp).
#include "platform/movie/chroma_thinning.h"

#include "platform/core/gestalt.h"

#include <algorithm>
#include <cassert>

void PL_ThinChroma420Row(const UInt8 *above, const UInt8 *a, const UInt8 *b, const UInt8 *below, SInt32 pairs,
                         UInt8 *cb, UInt8 *cr) {
  assert(above != nullptr && a != nullptr && b != nullptr && below != nullptr && cb != nullptr && cr != nullptr);
  auto filter = [](int up, int x, int y, int down) {
    return UInt8(std::clamp((3 * (x + y) - (up + down)) >> 2, 0, 255));
  };
  for (SInt32 k = 0; k < pairs; ++k) {
    const size_t i = 4 * size_t(k);
    cb[k] = filter(above[i], a[i], b[i], below[i]);
    cr[k] = filter(above[i + 2], a[i + 2], b[i + 2], below[i + 2]);
  }
}

void PL_ThinChroma420RowUni(bool hasSSE3, const UInt8 *above, const UInt8 *a, const UInt8 *b, const UInt8 *below,
                            SInt32 pairs, UInt8 *cb, UInt8 *cr) {
  if (hasSSE3 && pairs >= 8)
    PL_ThinChroma420RowAcc(above, a, b, below, pairs, cb, cr);
  else
    PL_ThinChroma420Row(above, a, b, below, pairs, cb, cr);
}

void PL_ThinChroma411Row(const UInt8 *line, SInt32 pairs, SInt32 samples, UInt8 *cb, UInt8 *cr) {
  assert(line != nullptr && cb != nullptr && cr != nullptr && pairs > 0 && samples <= (pairs + 1) / 2);
  auto pair = [&](SInt32 i, int byte) { return int(line[4 * size_t(std::clamp(i, SInt32(0), pairs - 1)) + byte]); };
  auto thin = [&](SInt32 k, int byte) {
    const SInt32 c = 2 * k;
    const int v = 6 * pair(c, byte) + 2 * (pair(c - 1, byte) + pair(c + 1, byte)) -
                  (pair(c - 2, byte) + pair(c + 2, byte)) + 4;
    return UInt8(std::clamp(v >> 3, 0, 255));
  };
  for (SInt32 k = 0; k < samples; ++k) {
    cb[k] = thin(k, 0);
    cr[k] = thin(k, 2);
  }
}

void PL_ThinChroma411RowUni(bool hasSSE3, const UInt8 *line, SInt32 pairs, SInt32 samples, UInt8 *cb, UInt8 *cr) {
  if (hasSSE3)
    PL_ThinChroma411RowAcc(line, pairs, samples, cb, cr);
  else
    PL_ThinChroma411Row(line, pairs, samples, cb, cr);
}

bool PL_ChromaThinningHasSSE3() {
  static const bool present = [] {
    int value = 0;
    size_t size = sizeof value;
    return sysctlbyname("hw.optional.sse3", &value, &size, nullptr, 0) == 0 && value != 0;
  }();
  return present;
}
