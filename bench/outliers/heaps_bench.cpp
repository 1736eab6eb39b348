// Building and sorting a heap of random keys with the heap library, beside the standard library's
// make_heap and sort_heap on the same keys (what one would use instead). Every round starts from the same
// unordered copy; the copy is part of both sides.
#include "outliers/heaps.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

std::vector<HE_HeapElement> RandomElements(size_t n) {
  std::mt19937 rng(20261210);
  std::uniform_int_distribution<SInt32> key(-1000000, 1000000);
  std::vector<HE_HeapElement> elements(n + 1);  // position 0 unused
  for (size_t i = 1; i <= n; ++i) elements[i] = HE_HeapElement{SInt32(i), key(rng)};
  return elements;
}

bool Ascending(const std::vector<HE_HeapElement> &heap) {
  return std::is_sorted(heap.begin() + 1, heap.end(),
                        [](const HE_HeapElement &a, const HE_HeapElement &b) { return a.key < b.key; });
}

enum Op { kBuild, kSort };

void BM_HE_Heap(benchmark::State &state, Op op) {
  const size_t n = size_t(state.range(0));
  const std::vector<HE_HeapElement> source = RandomElements(n);
  std::vector<HE_HeapElement> heap = source;
  for (auto _ : state) {
    std::copy(source.begin(), source.end(), heap.begin());
    if (op == kBuild)
      HE_BuildHeap(heap.data(), SInt32(n));
    else
      HE_HeapSort(heap.data(), SInt32(n));
    benchmark::ClobberMemory();
  }
  if (op == kBuild ? !HE_CheckHeapCondition(heap.data(), SInt32(n)) : !Ascending(heap)) state.SkipWithError("wrong order");
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_StdHeap(benchmark::State &state, Op op) {
  const size_t n = size_t(state.range(0));
  const std::vector<HE_HeapElement> source = RandomElements(n);
  std::vector<HE_HeapElement> heap = source;
  const auto byKey = [](const HE_HeapElement &a, const HE_HeapElement &b) { return a.key < b.key; };
  for (auto _ : state) {
    std::copy(source.begin(), source.end(), heap.begin());
    std::make_heap(heap.begin() + 1, heap.end(), byKey);
    if (op == kSort) std::sort_heap(heap.begin() + 1, heap.end(), byKey);
    benchmark::ClobberMemory();
  }
  if (op == kBuild ? !std::is_heap(heap.begin() + 1, heap.end(), byKey) : !Ascending(heap))
    state.SkipWithError("wrong order");
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}

BENCHMARK_CAPTURE(BM_HE_Heap, build, kBuild)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_StdHeap, make_heap, kBuild)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_HE_Heap, sort, kSort)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_StdHeap, make_and_sort_heap, kSort)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
