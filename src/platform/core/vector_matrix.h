// Small square matrix products on single-precision floats, as the vector library offered them: y = A x,
// Z = A B and y = x A for 8 x 8 and 16 x 16 row-major matrices. Each sum runs over its index from 0 upward
// in one accumulator, so results are the same on every machine (the noise filters compare paths that rely
// on that order). Pure arithmetic; any thread; outputs must not overlap inputs.
#pragma once

#include "platform/core/mac_types.h"

// y[i] = sum over j of A[i][j] x[j].
void sMultMatVec_8x8(const float *A, const float *x, float *y);
void sMultMatVec_16x16(const float *A, const float *x, float *y);
// Z[i][j] = sum over k of A[i][k] B[k][j].
void sMultMatMat_8x8(const float *A, const float *B, float *Z);
void sMultMatMat_16x16(const float *A, const float *B, float *Z);
// y[j] = sum over i of x[i] A[i][j].
void sMultVecMat_8x8(const float *x, const float *A, float *y);
void sMultVecMat_16x16(const float *x, const float *A, float *y);
