#include "color/vector_sums.h"

void GL_add16_to_histogram16(const SInt8 *vec, UInt32 *histogram) {
  for (int i = 0; i < 16; ++i) {
    int x = vec[i] + 32;
    if (x < 0) x = 0;
    if (x > 63) x = 63;
    histogram[x >> 2] += 1;
  }
}
