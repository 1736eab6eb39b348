// Random numbers and test series over the standard generator.
#include "general/random_numbers.h"

#include "general/statistics.h"
#include "general/strings_text.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr SInt32 kRejectedDrawsPerRow = 1000;  // a series gives up after 1000 x numTests rejected draws
constexpr SInt32 kTableEntries = 10000;        // value table of series 4, per position
constexpr SInt32 kMinTableEntries = 100;       // fewest entries series 4 wants for any value
constexpr float kFrequencyFloor = 0.0001f;

// Number of distinct rows the bounds allow, saturated just above `cap`; 0 when a range is empty.
SInt64 DistinctRows(SInt32 testSize, const SInt32 *testMin, const SInt32 *testMax, SInt64 cap) {
  SInt64 rows = 1;
  for (SInt32 p = 0; p < testSize; ++p) {
    SInt64 values = SInt64(testMax[p]) - testMin[p];
    if (values <= 0) return 0;
    rows = std::min(rows * values, cap + 1);
  }
  return rows;
}

// Fills numTests rows with drawRow(row), keeping a row only when the validator (when given) accepts it and
// it differs from every earlier one. paramErr when no more distinct rows can exist or too many draws were
// rejected; the accepted rows stay.
template <typename DrawRow>
OSStatus DrawDistinctRows(SInt32 numTests, SInt32 testSize, const SInt32 *testMin, const SInt32 *testMax,
                          GL_TestValidator testValidator, SInt32 *tests, DrawRow drawRow) {
  if (numTests < 0 || testSize < 1 || testMin == nullptr || testMax == nullptr || tests == nullptr) return paramErr;
  SInt64 possible = DistinctRows(testSize, testMin, testMax, numTests);
  SInt64 rejectsLeft = SInt64(kRejectedDrawsPerRow) * numTests;
  for (SInt32 t = 0; t < numTests; ++t) {
    if (t >= possible) return paramErr;  // every distinct row is taken already
    SInt32 *row = tests + SInt64(t) * testSize;
    for (;;) {
      drawRow(row);
      bool accepted = testValidator == nullptr || testValidator(testSize, row);
      for (SInt32 earlier = 0; accepted && earlier < t; ++earlier)
        accepted = !GL_EqualArrayS32(testSize, tests + SInt64(earlier) * testSize, row);
      if (accepted) break;
      if (--rejectsLeft < 0) return paramErr;
    }
  }
  return noErr;
}

// Every range lies within the frequency table's 0 .. freqArraySize.
bool RangesFitTable(SInt32 testSize, const SInt32 *testMin, const SInt32 *testMax, SInt32 freqArraySize) {
  for (SInt32 p = 0; p < testSize; ++p)
    if (testMin[p] < 0 || testMax[p] > freqArraySize || testMin[p] >= testMax[p]) return false;
  return true;
}

// Entries per value of one position's table: shares inverse to the corrected frequencies c, normalised to
// the table's size (trunc(10000 x S / c[v]) with S = 1 / the sum of 1 / c).
std::vector<SInt32> TableEntries(const std::vector<float> &c) {
  float inverseSum = 0.0f;
  for (float f : c) inverseSum += 1.0f / f;
  float s = 1.0f / inverseSum;
  std::vector<SInt32> entries(c.size());
  for (size_t v = 0; v < c.size(); ++v) entries[v] = SInt32(float(kTableEntries) * s / c[v]);
  return entries;
}

// The value table of one position and the largest corrected / observed frequency ratio of its values.
std::vector<SInt32> BuildValueTable(SInt32 minValue, SInt32 maxValue, const float *observed, float *maxRatio) {
  std::vector<float> c;
  for (SInt32 v = minValue; v < maxValue; ++v) c.push_back(std::max(observed[v], kFrequencyFloor));
  std::vector<SInt32> entries = TableEntries(c);
  // Flatten toward the least frequent value while some value would get too few entries; stop once that can
  // no longer change anything (a range of more than 100 values never gets 100 entries each).
  while (*std::min_element(entries.begin(), entries.end()) < kMinTableEntries) {
    float least = *std::min_element(c.begin(), c.end());
    bool changed = false;
    for (float &f : c) {
      float moved = 0.9f * (f - least) + least;
      changed = changed || moved != f;
      f = moved;
    }
    if (!changed) break;
    entries = TableEntries(c);
  }
  for (size_t v = 0; v < c.size(); ++v)
    if (observed[minValue + SInt32(v)] > 0.0f)
      *maxRatio = std::max(*maxRatio, c[v] / observed[minValue + SInt32(v)]);

  std::vector<SInt32> table;
  table.reserve(kTableEntries);
  for (size_t v = 0; v < c.size() && SInt32(table.size()) < kTableEntries; ++v) {
    SInt32 n = std::min(entries[v], kTableEntries - SInt32(table.size()));
    table.insert(table.end(), size_t(n), minValue + SInt32(v));
  }
  table.resize(kTableEntries, maxValue - 1);  // slots left over take the range's last value
  return table;
}

}  // namespace

SInt32 GL_RandomMod(SInt32 modulus) { return SInt32(random() % modulus); }

int GL_RandModRange(int n1, int n2) { return n1 + GL_RandomMod(n2 - n1); }

int GL_RandModIndex(int maxIndex) { return GL_RandomMod(maxIndex) + 1; }

float GL_RandomFloat() { return float(double(random() % 32767) / 32767.0); }

float GL_RandomFloatRange(float a, float b) { return (b - a) * GL_RandomFloat() + a; }

void GL_RandomDistribution(SInt32 *array, SInt32 arraySize, SInt32 total) {
  if (array == nullptr || arraySize < 1) return;
  SInt64 sum = 0;
  for (SInt32 i = 0; i < arraySize; ++i) {
    array[i] = SInt32(std::labs(random()));
    sum += array[i];
  }
  SInt64 scaled = 0;
  for (SInt32 i = 0; i < arraySize; ++i) {
    array[i] = sum > 0 ? SInt32(double(array[i]) * double(total) / double(sum)) : 0;
    if (array[i] < 1) array[i] = 1;
    scaled += array[i];
  }
  // Spread the excess evenly, then move the remainder one by one.
  SInt64 excess = scaled - total;
  SInt64 remainder = excess % arraySize;
  for (SInt32 i = 0; i < arraySize; ++i) {
    SInt64 part = array[i] - excess / arraySize;
    if (part < 1) {
      remainder += 1 - part;
      part = 1;
    }
    array[i] = SInt32(part);
  }
  SInt32 unchangedInARow = 0;  // a whole pass without a change: every part is 1 and the total is too small
  for (SInt32 i = 0; remainder != 0 && unchangedInARow < arraySize; i = (i + 1) % arraySize) {
    if (remainder < 0) {
      ++array[i];
      ++remainder;
      unchangedInARow = 0;
    } else if (array[i] > 1) {
      --array[i];
      --remainder;
      unchangedInARow = 0;
    } else {
      ++unchangedInARow;
    }
  }
}

void GL_RandomOrder(SInt32 *array, SInt32 arraySize) {
  if (array == nullptr || arraySize < 1) return;
  std::fill(array, array + arraySize, 0);
  for (SInt32 k = 0; k < arraySize; ++k) {
    SInt32 r = GL_RandomMod(arraySize - k);
    SInt32 i = 0;
    for (;; ++i) {  // the r-th slot that is still empty
      if (array[i] != 0) continue;
      if (r-- == 0) break;
    }
    array[i] = k + 1;
  }
}

void GL_GenerateRandomTestSeries1(SInt32 numTests, SInt32 testSize, const SInt32 *testMin, const SInt32 *testMax,
                                  SInt32 *tests) {
  for (SInt32 t = 0; t < numTests; ++t)
    for (SInt32 p = 0; p < testSize; ++p) tests[SInt64(t) * testSize + p] = GL_RandModRange(testMin[p], testMax[p]);
}

void GL_GenerateRandomTestSeries2(const char *testName, SInt32 numTests, SInt32 testSize, const OSType *testValueType,
                                  const char *const *testValueNames, const SInt32 *testMin, const SInt32 *testMax,
                                  Boolean printTests, Boolean verbose, SInt32 *tests) {
  if (verbose) {
    std::printf("Generating random values for test \"%s\"\n", testName != nullptr ? testName : "");
    std::printf("numTests = %ld, testSize = %ld\n", long(numTests), long(testSize));
    if (testValueType != nullptr) {
      std::printf("Test value types: ");
      for (SInt32 p = 0; p < testSize; ++p) {
        char quoted[8];
        GL_OSTypeToCStringWithQuo(testValueType[p], quoted);
        std::printf(p == 0 ? "%s" : ", %s", quoted);
      }
      std::printf("\n");
    }
    if (testValueNames != nullptr) {
      std::printf("Test value names: ");
      for (SInt32 p = 0; p < testSize; ++p) std::printf(p == 0 ? "%s" : ", %s", testValueNames[p]);
      std::printf("\n");
    }
  }
  GL_GenerateRandomTestSeries1(numTests, testSize, testMin, testMax, tests);
  if (printTests) {
    for (SInt32 t = 0; t < numTests; ++t) {
      std::printf("Test %ld: ", long(t));
      for (SInt32 p = 0; p < testSize; ++p)
        std::printf(p == 0 ? "%ld" : ", %ld", long(tests[SInt64(t) * testSize + p]));
      std::printf("\n");
    }
    std::printf("\n");
  }
}

OSStatus GL_GenerateRandomTestSeries3(SInt32 numTests, SInt32 testSize, const SInt32 *testMin,
                                      const SInt32 *testMax, GL_TestValidator testValidator, SInt32 *tests) {
  return DrawDistinctRows(numTests, testSize, testMin, testMax, testValidator, tests, [&](SInt32 *row) {
    for (SInt32 p = 0; p < testSize; ++p) row[p] = GL_RandModRange(testMin[p], testMax[p]);
  });
}

OSStatus GL_CalcTestValueFrequencies(SInt32 numTests, SInt32 testSize, const SInt32 *testMin, const SInt32 *testMax,
                                     GL_TestValidator testValidator, SInt32 freqArraySize, float *freq) {
  if (numTests < 1 || testSize < 1 || testMin == nullptr || testMax == nullptr || freq == nullptr) return paramErr;
  if (!RangesFitTable(testSize, testMin, testMax, freqArraySize)) return paramErr;
  std::vector<SInt32> counts(size_t(testSize) * size_t(freqArraySize), 0);
  std::vector<SInt32> row(static_cast<size_t>(testSize));
  for (SInt32 t = 0; t < numTests; ++t) {
    OSStatus err = GL_GenerateRandomTestSeries3(1, testSize, testMin, testMax, testValidator, row.data());
    if (err != noErr) return err;
    for (SInt32 p = 0; p < testSize; ++p) ++counts[size_t(p) * freqArraySize + row[p]];
  }
  for (SInt32 p = 0; p < testSize; ++p)
    for (SInt32 v = testMin[p]; v < testMax[p]; ++v)
      freq[size_t(p) * freqArraySize + v] = float(counts[size_t(p) * freqArraySize + v]) / float(numTests);
  return noErr;
}

OSStatus GL_GenerateRandomTestSeries4(SInt32 numTests, SInt32 testSize, const SInt32 *testValueMin,
                                      const SInt32 *testValueMax, GL_TestValidator testValidator, const float *freq,
                                      SInt32 freqArraySize, SInt32 *tests, float *maxCorrFactor) {
  if (testSize < 1 || testValueMin == nullptr || testValueMax == nullptr || freq == nullptr) return paramErr;
  if (!RangesFitTable(testSize, testValueMin, testValueMax, freqArraySize)) return paramErr;
  float maxRatio = 1.0f;
  std::vector<std::vector<SInt32>> tables;
  for (SInt32 p = 0; p < testSize; ++p)
    tables.push_back(BuildValueTable(testValueMin[p], testValueMax[p], freq + size_t(p) * freqArraySize, &maxRatio));
  if (maxCorrFactor != nullptr) *maxCorrFactor = maxRatio;
  return DrawDistinctRows(numTests, testSize, testValueMin, testValueMax, testValidator, tests, [&](SInt32 *row) {
    for (SInt32 p = 0; p < testSize; ++p) row[p] = tables[p][size_t(GL_RandomMod(kTableEntries))];
  });
}
