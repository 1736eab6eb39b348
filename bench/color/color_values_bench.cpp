// Per-frame cost of packing and unpacking 'v210' (1920x1080: 1080 rows of 320 six-pixel groups). Nothing in a
// run uses these routines; the figures show what a 'v210' path built on them would cost per frame.
#include "color/color_values.h"

#include "support/kernel_check.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

struct V210Frame {
  SInt32 groups;                      // six-pixel groups of the frame
  std::vector<YCbCrU16_422> codes;    // three pairs a group
  std::vector<UInt8> words;           // sixteen bytes a group
  V210Frame(SInt32 width, SInt32 height) : groups(width / 6 * height), codes(size_t(groups) * 3),
                                           words(size_t(groups) * 16) {
    std::uniform_int_distribution<int> luma(16 * 256, 235 * 256), chroma(16 * 256, 240 * 256);
    for (YCbCrU16_422 &p : codes) {
      p = {UInt16(chroma(bz_test::Rng())), UInt16(luma(bz_test::Rng())), UInt16(chroma(bz_test::Rng())),
           UInt16(luma(bz_test::Rng()))};
    }
  }
  void Pack() {
    for (SInt32 g = 0; g < groups; ++g) CO_Pack_v210(&words[size_t(g) * 16], &codes[size_t(g) * 3]);
  }
  void Unpack() {
    for (SInt32 g = 0; g < groups; ++g) CO_Unpack_v210(&words[size_t(g) * 16], &codes[size_t(g) * 3]);
  }
};

void SetFrameCounters(benchmark::State &state) {
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CO_Pack_v210(benchmark::State &state) {
  V210Frame frame(SInt32(state.range(0)), SInt32(state.range(1)));
  frame.Pack();
  std::vector<UInt8> first = frame.words;
  for (auto _ : state) {
    frame.Pack();
    benchmark::ClobberMemory();
  }
  // The output checked: packing again gives the same words, and they unpack to codes that pack to them.
  frame.Unpack();
  frame.Pack();
  if (frame.words != first) state.SkipWithError("'v210' words do not round-trip");
  SetFrameCounters(state);
}

void BM_CO_Unpack_v210(benchmark::State &state) {
  V210Frame frame(SInt32(state.range(0)), SInt32(state.range(1)));
  frame.Pack();
  std::vector<UInt8> packed = frame.words;
  for (auto _ : state) {
    frame.Unpack();
    benchmark::ClobberMemory();
  }
  frame.Pack();
  if (frame.words != packed) state.SkipWithError("unpacked codes do not pack to the same words");
  SetFrameCounters(state);
}

BENCHMARK(BM_CO_Pack_v210)->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CO_Unpack_v210)->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace
