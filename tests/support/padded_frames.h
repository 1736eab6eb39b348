// Padded working frames for tests of the engine's frame analysis: a '2vuy' picture of inWidth x inHeight
// inside a buffer whose rows are the picture width plus 16 rounded up to 8 pixels, the picture starting 8
// pixels in and 8 rows down (16 when interlaced), the buffer 64-byte aligned with guard bytes around it.
// Header only, standard library and kernel_check.h only.
#pragma once

#include "support/kernel_check.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>

namespace bz_test {

class PaddedFrame {
 public:
  PaddedFrame(int32_t inWidth, int32_t inHeight, bool interlaced = false)
      : inWidth_(inWidth),
        inHeight_(inHeight),
        interlaced_(interlaced),
        width_((inWidth + 16 + 7) / 8 * 8),
        // Sized for the interlaced height in either case, as the stage table's buffers are.
        height_((inHeight + 32 + 15) / 16 * 16),
        buffer_(size_t(width_) * 2 * size_t(height_)) {
    Fill(128, 128);
  }
  PaddedFrame(const PaddedFrame &) = delete;
  PaddedFrame &operator=(const PaddedFrame &) = delete;

  // Takes every byte of a frame of the same geometry.
  void CopyFrom(const PaddedFrame &other) { std::memcpy(data(), other.data(), size()); }

  uint8_t *data() { return buffer_.data(); }
  const uint8_t *data() const { return buffer_.data(); }
  int32_t inWidth() const { return inWidth_; }
  int32_t inHeight() const { return inHeight_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t rowBytes() const { return width_ * 2; }
  bool interlaced() const { return interlaced_; }
  int32_t top() const { return interlaced_ ? 16 : 8; }
  size_t size() const { return buffer_.size(); }

  // Buffer row y (padded column 0).
  uint8_t *Row(int32_t y) { return data() + ptrdiff_t(y) * rowBytes(); }
  // Picture pixel (x, y): x from the picture's first column, y from its first row.
  uint8_t *Pixel(int32_t x, int32_t y) { return Row(top() + y) + 2 * (8 + x); }
  uint8_t &Luma(int32_t x, int32_t y) { return Pixel(x, y)[1]; }
  uint8_t &Chroma(int32_t x, int32_t y) { return Pixel(x, y)[0]; }

  // Every byte of the buffer, margins included.
  void Fill(uint8_t chroma, uint8_t luma) {
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x) {
        Row(y)[2 * x] = chroma;
        Row(y)[2 * x + 1] = luma;
      }
  }
  // Picture pixels in a rectangle of picture coordinates (right and bottom exclusive).
  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint8_t chroma, uint8_t luma) {
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = left; x < right; ++x) {
        Chroma(x, y) = chroma;
        Luma(x, y) = luma;
      }
  }
  // Every byte of the buffer random within the ranges.
  void FillRandom(uint8_t chromaLo, uint8_t chromaHi, uint8_t lumaLo, uint8_t lumaHi, std::mt19937 &rng) {
    std::uniform_int_distribution<int> chroma(chromaLo, chromaHi), luma(lumaLo, lumaHi);
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x) {
        Row(y)[2 * x] = uint8_t(chroma(rng));
        Row(y)[2 * x + 1] = uint8_t(luma(rng));
      }
  }
  // Adds rounded Gaussian noise of that standard deviation to every byte of the buffer, clamped to 0..255.
  void AddGaussianNoise(double sigmaChroma, double sigmaLuma, std::mt19937 &rng) {
    std::normal_distribution<double> chroma(0.0, sigmaChroma), luma(0.0, sigmaLuma);
    auto add = [](uint8_t v, double n) {
      const long r = std::lround(double(v) + n);
      return uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
    };
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x) {
        Row(y)[2 * x] = add(Row(y)[2 * x], chroma(rng));
        Row(y)[2 * x + 1] = add(Row(y)[2 * x + 1], luma(rng));
      }
  }

  ::testing::AssertionResult CheckGuards() const { return buffer_.CheckGuards(); }

 private:
  int32_t inWidth_, inHeight_;
  bool interlaced_;
  int32_t width_, height_;
  GuardedBuffer buffer_;
};

}  // namespace bz_test
