// The preview's per-frame path: an ARGB picture made into an image through the bottom-first provider
// (GL_CreateCGImage) and drawn into a bitmap context of its size, against a plain memcpy of the same bytes
// (the floor any drawing path stands on). SD and HD frames.
#include "general/quartz_pictures.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// An opaque picture whose bytes are not all alike.
std::vector<UInt8> Picture(size_t width, size_t height) {
  std::vector<UInt8> argb(width * height * 4);
  for (size_t i = 0; i < width * height; ++i) {
    argb[4 * i] = 255;
    argb[4 * i + 1] = UInt8(i);
    argb[4 * i + 2] = UInt8(i >> 8);
    argb[4 * i + 3] = UInt8(i >> 16);
  }
  return argb;
}

void SetFrameCounters(benchmark::State &state, size_t bytes) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_GL_CreateCGImageAndDraw(benchmark::State &state) {
  const size_t width = size_t(state.range(0)), height = size_t(state.range(1));
  std::vector<UInt8> argb = Picture(width, height);
  GL_ProviderInfo info{};
  info.ptr = argb.data();
  info.width = SInt32(width);
  info.height = SInt32(height);
  void *pixels = nullptr;
  CGContextRef context = GL_CreateStdCGContext(CGRectMake(0, 0, CGFloat(width), CGFloat(height)), &pixels);
  if (context == nullptr) {
    state.SkipWithError("no context");
    return;
  }
  for (auto _ : state) {
    CGImageRef image = nullptr;
    GL_CreateCGImage(&info, &image);
    CGContextDrawImage(context, CGRectMake(0, 0, CGFloat(width), CGFloat(height)), image);
    CGImageRelease(image);
    benchmark::ClobberMemory();
  }
  // The image shows the buffer's last row on top, so the context's first row is the buffer's last.
  if (std::memcmp(pixels, argb.data() + (height - 1) * width * 4, width * 4) != 0)
    state.SkipWithError("the drawn picture differs from its source");
  CGContextRelease(context);
  std::free(pixels);
  SetFrameCounters(state, width * height * 4);
}

// The two halves of that path apart.
void BM_GL_CreateCGImage(benchmark::State &state) {
  const size_t width = size_t(state.range(0)), height = size_t(state.range(1));
  std::vector<UInt8> argb = Picture(width, height);
  GL_ProviderInfo info{};
  info.ptr = argb.data();
  info.width = SInt32(width);
  info.height = SInt32(height);
  for (auto _ : state) {
    CGImageRef image = nullptr;
    GL_CreateCGImage(&info, &image);
    benchmark::DoNotOptimize(image);
    CGImageRelease(image);
  }
  SetFrameCounters(state, width * height * 4);
}

void BM_CGContextDrawImage(benchmark::State &state) {
  const size_t width = size_t(state.range(0)), height = size_t(state.range(1));
  std::vector<UInt8> argb = Picture(width, height);
  CGImageRef image = PL_CGImageCreateARGB(width, height, argb.data(), width * 4);
  void *pixels = nullptr;
  CGContextRef context = GL_CreateStdCGContext(CGRectMake(0, 0, CGFloat(width), CGFloat(height)), &pixels);
  for (auto _ : state) {
    CGContextDrawImage(context, CGRectMake(0, 0, CGFloat(width), CGFloat(height)), image);
    benchmark::ClobberMemory();
  }
  if (std::memcmp(pixels, argb.data(), argb.size()) != 0) state.SkipWithError("the drawn picture differs");
  CGContextRelease(context);
  std::free(pixels);
  CGImageRelease(image);
  SetFrameCounters(state, width * height * 4);
}

void BM_Memcpy(benchmark::State &state) {
  const size_t width = size_t(state.range(0)), height = size_t(state.range(1));
  std::vector<UInt8> argb = Picture(width, height), copy(argb.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), argb.data(), argb.size());
    benchmark::ClobberMemory();
  }
  if (copy != argb) state.SkipWithError("the copy differs");
  SetFrameCounters(state, argb.size());
}

BENCHMARK(BM_GL_CreateCGImageAndDraw)->Args({720, 576})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GL_CreateCGImage)->Args({720, 576})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CGContextDrawImage)->Args({720, 576})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy)->Args({720, 576})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

}  // namespace
