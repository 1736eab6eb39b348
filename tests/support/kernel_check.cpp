#include "support/kernel_check.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <stdlib.h>

namespace bz_test {

uint32_t TestSeed() {
  static const uint32_t seed = [] {
    const char *env = std::getenv("BZ_TEST_SEED");
    return env ? uint32_t(std::strtoul(env, nullptr, 0)) : 20261210u;
  }();
  return seed;
}

std::mt19937 &Rng() {
  thread_local std::mt19937 rng(TestSeed());
  return rng;
}

void FillRandomBytes(void *dst, size_t n, std::mt19937 &rng) { FillRandomBytes(dst, n, 0, 255, rng); }

void FillRandomBytes(void *dst, size_t n, uint8_t lo, uint8_t hi, std::mt19937 &rng) {
  std::uniform_int_distribution<int> dist(lo, hi);
  auto *p = static_cast<uint8_t *>(dst);
  for (size_t i = 0; i < n; ++i) p[i] = uint8_t(dist(rng));
}

void FillRandomFloats(float *dst, size_t n, float lo, float hi, std::mt19937 &rng) {
  std::uniform_real_distribution<float> dist(lo, hi);
  for (size_t i = 0; i < n; ++i) dst[i] = dist(rng);
}

GuardedBuffer::GuardedBuffer(size_t size, size_t offset) : size_(size) {
  storage_.assign(size + 2 * kGuard + 64 + offset, kSentinel);
  auto base = reinterpret_cast<uintptr_t>(storage_.data()) + kGuard;
  uintptr_t aligned = (base + 63) & ~uintptr_t(63);
  data_ = reinterpret_cast<uint8_t *>(aligned + offset);
  front_ = size_t(data_ - storage_.data());
  std::memset(data_, 0, size_);
}

::testing::AssertionResult GuardedBuffer::CheckGuards() const {
  for (size_t i = 0; i < front_; ++i) {
    if (storage_[i] != kSentinel)
      return ::testing::AssertionFailure() << "write " << (front_ - i) << " bytes before the buffer";
  }
  for (size_t i = front_ + size_; i < storage_.size(); ++i) {
    if (storage_[i] != kSentinel)
      return ::testing::AssertionFailure() << "write " << (i - front_ - size_) << " bytes past the buffer end";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult BytesEqual(const uint8_t *expected, const uint8_t *actual, size_t rowBytes, size_t rows,
                                      size_t stride, int tolerance) {
  if (stride == 0) stride = rowBytes;
  int largest = 0;
  size_t badCount = 0;
  size_t firstX = 0, firstY = 0;
  int firstExpected = 0, firstActual = 0;
  for (size_t y = 0; y < rows; ++y) {
    for (size_t x = 0; x < rowBytes; ++x) {
      int e = expected[y * stride + x];
      int a = actual[y * stride + x];
      int d = std::abs(e - a);
      if (d > largest) largest = d;
      if (d > tolerance) {
        if (badCount == 0) {
          firstX = x;
          firstY = y;
          firstExpected = e;
          firstActual = a;
        }
        ++badCount;
      }
    }
  }
  if (badCount == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << badCount << " bytes differ by more than " << tolerance << "; first at (x "
                                       << firstX << ", y " << firstY << "): expected " << firstExpected << ", got "
                                       << firstActual << "; largest difference " << largest;
}

::testing::AssertionResult FloatsNear(const float *expected, const float *actual, size_t n, float eps) {
  float largest = 0;
  for (size_t i = 0; i < n; ++i) {
    if (std::isnan(expected[i]) && std::isnan(actual[i])) continue;
    float d = std::fabs(expected[i] - actual[i]);
    if (!(d <= eps)) {
      for (size_t j = i; j < n; ++j) {
        float dj = std::fabs(expected[j] - actual[j]);
        if (dj > largest) largest = dj;
      }
      return ::testing::AssertionFailure() << "first mismatch at " << i << ": expected " << expected[i] << ", got "
                                           << actual[i] << " (eps " << eps << ", largest difference from there "
                                           << largest << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

static int64_t OrderedBits(float f) {
  int32_t i;
  std::memcpy(&i, &f, sizeof i);
  return i < 0 ? int64_t(INT32_MIN) - i : i;
}

::testing::AssertionResult FloatsWithinUlps(const float *expected, const float *actual, size_t n, int ulps) {
  for (size_t i = 0; i < n; ++i) {
    if (std::isnan(expected[i]) && std::isnan(actual[i])) continue;
    int64_t d = OrderedBits(expected[i]) - OrderedBits(actual[i]);
    if (d < 0) d = -d;
    if (d > ulps)
      return ::testing::AssertionFailure() << "first mismatch at " << i << ": expected " << expected[i] << ", got "
                                           << actual[i] << " (" << d << " ulps, allowed " << ulps << ")";
  }
  return ::testing::AssertionSuccess();
}

TempDir::TempDir() {
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/bztest-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  char *made = mkdtemp(buf.data());
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string SourceDir() {
  const char *env = std::getenv("BZ_SOURCE_DIR");
  if (env && *env) return env;
#ifdef BZ_SOURCE_DIR_DEFAULT
  return BZ_SOURCE_DIR_DEFAULT;
#else
  return ".";
#endif
}

}  // namespace bz_test
