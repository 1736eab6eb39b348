// Exact integer helpers: divisors, 32-bit rational numbers, the split of an overflowing product into
// scale factors, fixed-point quotients rounded to an exact sum, subset sums, decimal digit arrays and
// integer partitions. No state: every routine works only on its arguments, on any thread.
#pragma once

#include "platform/core/mac_types.h"

// A rational number. A ratio of value 0 has d = 1.
struct GL_LongRatio {
  SInt32 n;  // numerator, carries the sign
  UInt32 d;  // denominator
};

// ---- Divisors ----

// Euclid on unsigned 64-bit values; gcd(m, 0) = m, so 0 only when both are 0.
UInt64 GL_GetGCD(UInt64 m, UInt64 n);
// Least common multiple; n when m is 0, m when n is 0; 0 when it would exceed 2^63 - 1.
UInt64 GL_GetLCM(UInt64 m, UInt64 n);

// ---- Ratios ----
// Routines returning Boolean return true when the result is exact; otherwise the result is the best
// approximation found by GL_GetBestN_OverD. None of them fails.

// Reduced numerator / denominator; exact while both parts stay below 2147483647. A zero denominator gives
// {2147483647, 1}, {-2147483648, 1} or {1, 1} by the numerator's sign, and false.
Boolean GL_CreateLongRatio(SInt64 numerator, SInt64 denominator, GL_LongRatio *newLR);
// As GL_CreateLongRatio, but the denominator may use the whole unsigned range (below 4294967295).
Boolean GL_SetLongRatioFromSInt64(SInt64 numerator, SInt64 denominator, GL_LongRatio *newLR);
// The best approximation of a double.
void GL_SetLongRatioFromDouble(double number, GL_LongRatio *newLR);
// Each side of the rectangle over 1.
void GL_RectToLongRatio(const Rect *rect, GL_LongRatio *lrLeft, GL_LongRatio *lrRight, GL_LongRatio *lrTop,
                        GL_LongRatio *lrBottom);

Boolean GL_LongRatioAdd2(const GL_LongRatio *x, const GL_LongRatio *y, GL_LongRatio *z);
Boolean GL_LongRatioAddLong(const GL_LongRatio *x, SInt32 y, GL_LongRatio *z);
Boolean GL_LongRatioSubtract2(const GL_LongRatio *x, const GL_LongRatio *y, GL_LongRatio *z);
Boolean GL_LongRatioSubtractLong(const GL_LongRatio *x, SInt32 y, GL_LongRatio *z);
// z = x - y.
Boolean GL_LongSubtractLongRatio(SInt32 x, const GL_LongRatio *y, GL_LongRatio *z);
Boolean GL_LongRatioMul2(const GL_LongRatio *x, const GL_LongRatio *y, GL_LongRatio *z);
Boolean GL_LongRatioMulLong(const GL_LongRatio *x, SInt32 y, GL_LongRatio *z);
Boolean GL_LongRatioDiv2(const GL_LongRatio *x, const GL_LongRatio *y, GL_LongRatio *z);
// 1 / y; the sign moves to the numerator.
Boolean GL_LongRatioInvert(const GL_LongRatio *y, GL_LongRatio *yInv);
Boolean GL_LongRatioDivByLong(const GL_LongRatio *x, SInt32 y, GL_LongRatio *z);
Boolean GL_LongDivByLongRatio(SInt32 x, const GL_LongRatio *y, GL_LongRatio *z);
// q = x / y; *z = the integer part of q, truncated toward zero; *r (when given) = q - *z, a ratio with the
// sign of q and the denominator of q. Returns the exactness of the division.
Boolean GL_LongRatioDiv2ToLong(const GL_LongRatio *x, const GL_LongRatio *y, SInt32 *z, GL_LongRatio *r);

void GL_ReduceLongRatio(GL_LongRatio *x);
Boolean GL_EqualLongRatio(const GL_LongRatio *x, const GL_LongRatio *y);
Boolean GL_GreaterLongRatio(const GL_LongRatio *x, const GL_LongRatio *y);
void GL_AbsLongRatio(const GL_LongRatio *x, GL_LongRatio *xAbs);
float GL_LongRatioToFloat(const GL_LongRatio *x);

// The best num/denom with |num| below max, found by scanning at most maxNumSteps numerators; reduced.
// Always ends, and always gives a denominator of at least 1.
void GL_GetBestN_OverD(double number, UInt32 max, UInt32 maxNumSteps, SInt32 *num, UInt32 *denom);

// ---- Products and fixed point ----

// Factors that bring num1 x num2 below the SInt32 range (see the module's notes); a factor whose reduce
// flag is false is not written.
void GL_Reduce32bitFactors(SInt32 num1, SInt32 num2, Boolean *reduce1, Boolean *reduce2, double *factor1,
                           double *factor2);
// factor1 x factor2 / divisor through a 64-bit product; the remainder is stored when asked for.
// A zero divisor or an overflowing quotient gives 0x80000000, as WideDivide does.
SInt32 GL_MultiplyDivide(SInt32 factor1, SInt32 factor2, SInt32 divisor, SInt32 *remainder);
// result[i] = numerator[i] / denominator[i] in Fixed, then each changed by at most a few units so that the
// results add up to exactSum, entries with the largest rounding error first. 4 at a zero denominator.
OSStatus GL_RoundFixedNumberListToExactSum(const SInt32 *numerator, const SInt32 *denominator, SInt16 arraySize,
                                           Fixed exactSum, Fixed *result);
// factor = numerator / denominator and inverse = denominator / numerator in Fixed, one of them nudged by a
// unit when that brings their product closer to exactly 1.0. 4 when either argument is 0.
OSStatus GL_GetBestBinaryInverse(SInt32 numerator, SInt32 denominator, Fixed *factor, Fixed *inverse);
// The largest sum strictly below maxSum that *currentSum plus a subset of the entries reaches. The subset
// is written to closestEntries (numEntries entries, unused ones 0); *currentSum gets the sum.
void GL_GetClosestSum(const SInt32 *entries, int numEntries, SInt32 maxSum, SInt32 *currentSum,
                      SInt32 *closestEntries);

// ---- Digit arrays ----
// maxNumDigits decimal digits 0..9, most significant first; carries and borrows past the first digit drop.

void GL_AddDigitArrays(UInt8 *digitArray1, const UInt8 *digitArray2, SInt16 maxNumDigits);
void GL_SubtractDigitArrays(UInt8 *digitArray1, const UInt8 *digitArray2, SInt16 maxNumDigits);
void GL_MultiplyDigitArray(UInt8 *digitArray, SInt16 maxNumDigits, int multiplyer);
// 1, 0 or -1 as the first array is greater than, equal to or less than the second.
SInt32 GL_CompareDigitArrays(const UInt8 *digitArray1, const UInt8 *digitArray2, SInt16 maxNumDigits);
// Divides in place by a positive divider; a divider of 0 or less changes nothing.
void GL_DivideDigitArray(UInt8 *digitArray, SInt16 maxNumDigits, SInt8 divider, UInt8 *remainder);

// ---- Partitions ----

// Called for each signed partition; may set *finished to stop the enumeration.
typedef void (*GL_PartitionProcPtr)(int *partition, int partitionWidth, void *data, Boolean *finished);

// All entries 0 but the last, which holds the sum; the cursor is width - 1.
void GL_InitializePartition(int *partition, int partitionSum, int partitionWidth, int *curLastNonZeroIndex);
// Steps to the next way of writing the sum as partitionWidth ordered non-negative parts; the cursor
// becomes -1 when there is none left.
void GL_GetNextPartition(int *partition, int partitionSum, int partitionWidth, int *curLastNonZeroIndex);
// Calls Proc with every sign combination of the positive entries (the partition itself stays unsigned;
// Proc gets a signed copy). signList holds at least nonZeroCount entries.
void GL_SignedPartitionRecursion(int *partition, int partitionWidth, SInt32 nonZeroCount, SInt32 level,
                                 int *signList, GL_PartitionProcPtr Proc, void *data, Boolean *finished);
// Multiplies the positive entries, in order, by the successive entries of signList.
void GL_AddSignsToPartition(int *partition, int partitionWidth, const int *signList);
