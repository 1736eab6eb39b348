// Square matrix products in a fixed summation order.
#include "platform/core/vector_matrix.h"

namespace {

template <int N>
void MatVec(const float *A, const float *x, float *y) {
  for (int i = 0; i < N; ++i) {
    float sum = 0.0f;
    for (int j = 0; j < N; ++j) sum += A[i * N + j] * x[j];
    y[i] = sum;
  }
}

template <int N>
void MatMat(const float *A, const float *B, float *Z) {
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) {
      float sum = 0.0f;
      for (int k = 0; k < N; ++k) sum += A[i * N + k] * B[k * N + j];
      Z[i * N + j] = sum;
    }
}

template <int N>
void VecMat(const float *x, const float *A, float *y) {
  for (int j = 0; j < N; ++j) {
    float sum = 0.0f;
    for (int i = 0; i < N; ++i) sum += x[i] * A[i * N + j];
    y[j] = sum;
  }
}

}  // namespace

void sMultMatVec_8x8(const float *A, const float *x, float *y) { MatVec<8>(A, x, y); }
void sMultMatVec_16x16(const float *A, const float *x, float *y) { MatVec<16>(A, x, y); }
void sMultMatMat_8x8(const float *A, const float *B, float *Z) { MatMat<8>(A, B, Z); }
void sMultMatMat_16x16(const float *A, const float *B, float *Z) { MatMat<16>(A, B, Z); }
void sMultVecMat_8x8(const float *x, const float *A, float *y) { VecMat<8>(x, A, y); }
void sMultVecMat_16x16(const float *x, const float *A, float *y) { VecMat<16>(x, A, y); }
