// The scalar member of the vector sums: a 16-bin histogram of signed byte differences, filled with the
// same rule by the SSE and the scalar frame-difference analyses.
#pragma once

#include "platform/core/mac_types.h"

// Adds each of the 16 signed bytes d of vec to histogram[clamp(d + 32, 0, 63) >> 2]: bin 0 holds every
// d <= -29, bin 8 holds 0..3 and bin 15 every d >= 28. Only increments; the caller clears the 16 counters.
void GL_add16_to_histogram16(const SInt8 *vec, UInt32 *histogram);
