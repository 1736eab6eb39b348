// Shared test harness for kernels: seeded random fills, guarded buffers and comparators that report the
// first mismatch and the largest difference. The seed is printed through SCOPED_TRACE by the caller
// (use BZ_KERNEL_SEED_TRACE()) and can be fixed with the environment variable BZ_TEST_SEED.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace bz_test {

// The seed of this test run: BZ_TEST_SEED when set, else a fixed default so that runs repeat.
uint32_t TestSeed();

#define BZ_KERNEL_SEED_TRACE() SCOPED_TRACE(::testing::Message() << "BZ_TEST_SEED=" << ::bz_test::TestSeed())

std::mt19937 &Rng();
void FillRandomBytes(void *dst, size_t n, std::mt19937 &rng);
void FillRandomBytes(void *dst, size_t n, uint8_t lo, uint8_t hi, std::mt19937 &rng);
void FillRandomFloats(float *dst, size_t n, float lo, float hi, std::mt19937 &rng);

// A byte buffer whose usable area is surrounded by sentinel bytes; the usable area starts 64-byte aligned
// (or at `offset` bytes past that) and CheckGuards() tells whether anything outside it was written.
class GuardedBuffer {
 public:
  static constexpr size_t kGuard = 64;
  static constexpr uint8_t kSentinel = 0xA5;
  explicit GuardedBuffer(size_t size, size_t offset = 0);
  uint8_t *data() { return data_; }
  const uint8_t *data() const { return data_; }
  template <typename T>
  T *as() {
    return reinterpret_cast<T *>(data_);
  }
  size_t size() const { return size_; }
  // True when every guard byte is still the sentinel; otherwise adds a failure naming the first bad byte.
  ::testing::AssertionResult CheckGuards() const;

 private:
  std::vector<uint8_t> storage_;
  uint8_t *data_;
  size_t size_;
  size_t front_;
};

// Compares rows of bytes; `tolerance` is the largest allowed absolute difference per byte.
::testing::AssertionResult BytesEqual(const uint8_t *expected, const uint8_t *actual, size_t rowBytes, size_t rows,
                                      size_t stride = 0, int tolerance = 0);
// Compares floats within an absolute tolerance (NaN equals NaN).
::testing::AssertionResult FloatsNear(const float *expected, const float *actual, size_t n, float eps);
// Compares floats within `ulps` units in the last place.
::testing::AssertionResult FloatsWithinUlps(const float *expected, const float *actual, size_t n, int ulps);

// A fresh temporary folder below $TMPDIR (or /tmp), removed with everything in it when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  std::string File(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The source tree's root (for resources/ and fixtures), from BZ_SOURCE_DIR or the build's knowledge.
std::string SourceDir();

}  // namespace bz_test
