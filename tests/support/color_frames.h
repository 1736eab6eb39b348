// Test harness of the colour library: guarded '2vuy' frames, random and edge-value frame generators, a
// runner that takes a scalar and an SSE path over copies of the same frame, and comparators that name the
// pixel, the channel and the largest difference. Builds on kernel_check.h (seed, guarded buffers).
#pragma once

#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace bz_test {

// A frame of `height` rows `rowBytes` apart inside a GuardedBuffer. The first row starts 64-byte aligned
// (plus `offset`); the bytes between a row's picture (pictureBytes) and its stride carry the sentinel, so
// CheckGuards() catches writes past a row as well as before or after the buffer.
class GuardedFrame {
 public:
  // pictureBytes 0 means width x 2 ('2vuy'); rowBytes 0 means pictureBytes. `extraRows` rows of padding
  // below the frame are part of the buffer (sentinel-filled) for routines that may read them.
  GuardedFrame(int32_t width, int32_t height, int32_t rowBytes = 0, size_t offset = 0, int32_t pictureBytes = 0,
               int32_t extraRows = 0);
  GuardedFrame(const GuardedFrame &other);
  GuardedFrame &operator=(const GuardedFrame &other);

  uint8_t *data() { return buffer_.data(); }
  const uint8_t *data() const { return buffer_.data(); }
  uint8_t *Row(int32_t y) { return data() + ptrdiff_t(y) * rowBytes_; }
  const uint8_t *Row(int32_t y) const { return data() + ptrdiff_t(y) * rowBytes_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t rowBytes() const { return rowBytes_; }
  int32_t pictureBytes() const { return pictureBytes_; }

  // '2vuy' accessors: pixel x's chroma (Cb for even x, Cr for odd x) and luma.
  uint8_t &Chroma(int32_t x, int32_t y) { return Row(y)[2 * x]; }
  uint8_t &Luma(int32_t x, int32_t y) { return Row(y)[2 * x + 1]; }
  uint8_t Chroma(int32_t x, int32_t y) const { return Row(y)[2 * x]; }
  uint8_t Luma(int32_t x, int32_t y) const { return Row(y)[2 * x + 1]; }

  // Nothing outside the picture bytes of the rows was written.
  ::testing::AssertionResult CheckGuards() const;

 private:
  void MarkPadding();
  int32_t width_, height_, rowBytes_, pictureBytes_, extraRows_;
  size_t offset_;
  GuardedBuffer buffer_;
};

// Random bytes everywhere in the picture.
void Fill2vuyRandom(GuardedFrame &frame, std::mt19937 &rng);
// Random luma in lumaLo..lumaHi and chroma in chromaLo..chromaHi.
void Fill2vuyRandom(GuardedFrame &frame, uint8_t lumaLo, uint8_t lumaHi, uint8_t chromaLo, uint8_t chromaHi,
                    std::mt19937 &rng);
// Cycles through the edge values of both ranges (0, 1, 15, 16, 17, 127, 128, 129, 234, 235, 236, 239, 240,
// 241, 254, 255) for luma and chroma so that every luma meets every chroma within 256 pixels.
void Fill2vuyEdgeValues(GuardedFrame &frame);
// Every pixel pair Cb, Y, Cr, Y.
void Fill2vuyConstant(GuardedFrame &frame, uint8_t cb, uint8_t y, uint8_t cr);
// The edge values used above, for tests that loop over them.
const std::vector<uint8_t> &EdgeByteValues();

// A float line of `count` floats inside a GuardedBuffer (64-byte aligned).
class GuardedFloats {
 public:
  explicit GuardedFloats(size_t count);
  float *data() { return buffer_.as<float>(); }
  const float *data() const { return reinterpret_cast<const float *>(buffer_.data()); }
  size_t size() const { return count_; }
  ::testing::AssertionResult CheckGuards() const { return buffer_.CheckGuards(); }

 private:
  size_t count_;
  GuardedBuffer buffer_;
};

// Which byte of a '2vuy' pixel a comparator is looking at.
enum class Channel { kCb = 1, kCr, kLuma };

// Decides whether a scalar/SSE difference at one byte is allowed.
using ByteAllowance = std::function<bool(Channel channel, int expected, int actual)>;

// Allowances: exact; within n; within n on chroma only.
ByteAllowance ExactBytes();
ByteAllowance WithinBytes(int n);
ByteAllowance WithinBytes(int lumaTolerance, int chromaTolerance);

// Compares the first `width` pixels of `rows` rows of two '2vuy' frames; reports the count of bad bytes,
// the first one (pixel x, row y, channel, expected, got) and the largest difference.
::testing::AssertionResult Frames2vuyAgree(const GuardedFrame &expected, const GuardedFrame &actual,
                                           const ByteAllowance &allowed, int32_t rows = -1, int32_t width = -1);

// The same for two raw '2vuy' lines.
::testing::AssertionResult Lines2vuyAgree(const uint8_t *expected, const uint8_t *actual, int32_t width,
                                          const ByteAllowance &allowed);

// Runs a scalar and an SSE path of an in-place frame operation on two copies of `input`; returns both
// results for comparison. Each path is any callable taking GuardedFrame&.
struct PathResults {
  GuardedFrame scalar;
  GuardedFrame acc;
};
template <typename ScalarPath, typename AccPath>
PathResults RunScalarAndAcc(const GuardedFrame &input, ScalarPath scalarPath, AccPath accPath) {
  PathResults results{input, input};
  scalarPath(results.scalar);
  accPath(results.acc);
  return results;
}

// Runs both paths and checks their agreement and that neither wrote outside the picture.
template <typename ScalarPath, typename AccPath>
::testing::AssertionResult ScalarAndAccAgree(const GuardedFrame &input, ScalarPath scalarPath, AccPath accPath,
                                             const ByteAllowance &allowed) {
  PathResults r = RunScalarAndAcc(input, scalarPath, accPath);
  if (auto guards = r.scalar.CheckGuards(); !guards) return ::testing::AssertionFailure() << "scalar: " << guards.message();
  if (auto guards = r.acc.CheckGuards(); !guards) return ::testing::AssertionFailure() << "SSE: " << guards.message();
  return Frames2vuyAgree(r.scalar, r.acc, allowed);
}

}  // namespace bz_test
