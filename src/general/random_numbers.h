// Random numbers and test series drawn from the standard generator (random(); seeding with srandom is the
// caller's): integers and floats in ranges, random permutations and random partitions of a total, and
// series of random test rows with per-position bounds, optionally checked by a validator, made distinct, or
// drawn so that rarely observed values come up more often. Nothing in the application calls them; they
// serve tests and tools.
//
// Every routine here shares the one sequence of the standard generator, so callers on several threads
// share (and interleave) it. A modulus of 0 is the caller's to avoid.
//
// Test series: numTests rows of testSize values stored one after another; value position p lies in
// testMin[p] (inclusive) .. testMax[p] (exclusive). Frequency tables hold freqArraySize counters per
// position, indexed by the value itself: freq[p * freqArraySize + v].
#pragma once

#include "platform/core/mac_types.h"

// Called with (testSize, row): true when the random row is acceptable.
typedef Boolean (*GL_TestValidator)(SInt32 testSize, const SInt32 *row);

// random() mod modulus.
SInt32 GL_RandomMod(SInt32 modulus);
// In [n1, n2).
int GL_RandModRange(int n1, int n2);
// In [1, maxIndex].
int GL_RandModIndex(int maxIndex);
// (random() mod 32767) / 32767, in [0, 1).
float GL_RandomFloat();
// (b - a) x GL_RandomFloat() + a.
float GL_RandomFloatRange(float a, float b);
// arraySize random parts, each at least 1, that add up to total (total >= arraySize; a smaller total leaves
// every part at 1).
void GL_RandomDistribution(SInt32 *array, SInt32 arraySize, SInt32 total);
// A random permutation of 1 .. arraySize.
void GL_RandomOrder(SInt32 *array, SInt32 arraySize);

// Fills the rows with GL_RandModRange draws.
void GL_GenerateRandomTestSeries1(SInt32 numTests, SInt32 testSize, const SInt32 *testMin, const SInt32 *testMax,
                                  SInt32 *tests);
// The same draws. verbose prints the test's name, its sizes, and the value types and names (each line only
// when its array is given); printTests prints every row as "Test <row>: v, v, ..." (rows counted from 0)
// and an empty line after the last. Standard output.
void GL_GenerateRandomTestSeries2(const char *testName, SInt32 numTests, SInt32 testSize, const OSType *testValueType,
                                  const char *const *testValueNames, const SInt32 *testMin, const SInt32 *testMax,
                                  Boolean printTests, Boolean verbose, SInt32 *tests);
// Rows that the validator (when given) accepts and that differ from every earlier row. paramErr when the
// bounds are empty, when more distinct rows are asked for than the bounds allow, or after
// 1000 x numTests rejected draws; the rows drawn until then are kept.
OSStatus GL_GenerateRandomTestSeries3(SInt32 numTests, SInt32 testSize, const SInt32 *testMin,
                                      const SInt32 *testMax, GL_TestValidator testValidator, SInt32 *tests);
// Draws numTests single rows with series 3 and stores, for each position p and value v of p's range, the
// share of the rows in which v came up at p in freq[p * freqArraySize + v] (the rest of freq is left alone).
// paramErr when a range does not lie within 0 .. freqArraySize, or when series 3 fails.
OSStatus GL_CalcTestValueFrequencies(SInt32 numTests, SInt32 testSize, const SInt32 *testMin, const SInt32 *testMax,
                                     GL_TestValidator testValidator, SInt32 freqArraySize, float *freq);
// Rows as series 3, each value drawn from a table of 10,000 entries per position in which a value has
// entries in inverse proportion to its observed frequency freq (floored at 0.0001), flattened toward the
// least frequent value until every value holds at least 100 entries (or as flat as the range allows).
// *maxCorrFactor = the largest ratio of corrected to observed frequency (at least 1). Errors as series 3,
// and paramErr when a range does not lie within 0 .. freqArraySize.
OSStatus GL_GenerateRandomTestSeries4(SInt32 numTests, SInt32 testSize, const SInt32 *testValueMin,
                                      const SInt32 *testValueMax, GL_TestValidator testValidator, const float *freq,
                                      SInt32 freqArraySize, SInt32 *tests, float *maxCorrFactor);
