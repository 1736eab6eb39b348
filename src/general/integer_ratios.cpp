// Integer arithmetic and ratios.
//
// Ratio arithmetic is exact in 64-bit integers; when a result does not fit the 32-bit parts it falls back to
// the best approximation of the value computed in double, and reports that with false.
#include "general/integer_ratios.h"

#include "general/memory_lists.h"
#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr UInt32 kMaxNumerator = 2147483647;
constexpr UInt32 kApproxSteps = 1000000;
constexpr OSStatus kZeroDivisorResult = 4;

UInt64 Abs64(SInt64 v) { return v < 0 ? UInt64(-(v + 1)) + 1 : UInt64(v); }

// Rounded quotient, halves away from zero, as the toolbox's fixed-point division rounds; den != 0.
SInt64 RoundDiv64(SInt64 num, SInt64 den) {
  bool negative = (num < 0) != (den < 0);
  UInt64 n = Abs64(num);
  UInt64 d = Abs64(den);
  UInt64 q = (n + d / 2) / d;
  return negative ? -SInt64(q) : SInt64(q);
}

Fixed SaturateToFixed(SInt64 v) {
  if (v > 0x7FFFFFFFLL) return 0x7FFFFFFF;
  if (v < -0x80000000LL) return (Fixed)0x80000000;
  return Fixed(v);
}

// num / den in 16.16, rounded and saturated like FixDiv but with 64-bit operands; den != 0.
Fixed FixedQuotient(SInt64 num, SInt64 den) { return SaturateToFixed(RoundDiv64(num * 65536, den)); }

// The rounding error of FixedQuotient(num, den) in sixteenths of its last unit.
SInt64 FixedResidue(Fixed rounded, SInt64 num, SInt64 den) { return SInt64(rounded) * 16 - RoundDiv64(num * 16 * 65536, den); }

void Approximate(double value, GL_LongRatio *z) { GL_GetBestN_OverD(value, kMaxNumerator, kApproxSteps, &z->n, &z->d); }

Boolean MakeRatio(SInt64 numerator, SInt64 denominator, UInt64 denominatorLimit, GL_LongRatio *newLR) {
  if (newLR == nullptr) return false;
  if (denominator == 0) {
    newLR->d = 1;
    newLR->n = numerator > 0 ? SInt32(kMaxNumerator) : numerator < 0 ? SInt32(-2147483647 - 1) : 1;
    return false;
  }
  bool negative = (numerator < 0) != (denominator < 0);
  UInt64 a = Abs64(numerator);
  UInt64 b = Abs64(denominator);
  UInt64 g = GL_GetGCD(a, b);
  a /= g;
  b /= g;
  if (a < kMaxNumerator && b < denominatorLimit) {
    newLR->n = negative ? -SInt32(a) : SInt32(a);
    newLR->d = a == 0 ? 1 : UInt32(b);
    return true;
  }
  Approximate(double(numerator) / double(denominator), newLR);
  return false;
}

// The ratio as a double; a zero denominator gives an infinity (or NaN for 0/0), which the approximation
// turns into the largest value (or 0).
double RatioValue(const GL_LongRatio *x) { return double(x->n) / double(x->d); }

}  // namespace

// ---- Divisors ----

UInt64 GL_GetGCD(UInt64 m, UInt64 n) {
  while (n != 0) {
    UInt64 r = m % n;
    m = n;
    n = r;
  }
  return m;
}

UInt64 GL_GetLCM(UInt64 m, UInt64 n) {
  if (m == 0) return n;
  if (n == 0) return m;
  UInt64 q = m / GL_GetGCD(m, n);
  if (q > UInt64(std::numeric_limits<SInt64>::max()) / n) return 0;
  return q * n;
}

// ---- Ratios ----

Boolean GL_CreateLongRatio(SInt64 numerator, SInt64 denominator, GL_LongRatio *newLR) {
  return MakeRatio(numerator, denominator, 2147483647, newLR);
}

Boolean GL_SetLongRatioFromSInt64(SInt64 numerator, SInt64 denominator, GL_LongRatio *newLR) {
  return MakeRatio(numerator, denominator, 4294967295u, newLR);
}

void GL_SetLongRatioFromDouble(double number, GL_LongRatio *newLR) {
  if (newLR != nullptr) Approximate(number, newLR);
}

void GL_RectToLongRatio(const Rect *rect, GL_LongRatio *lrLeft, GL_LongRatio *lrRight, GL_LongRatio *lrTop,
                        GL_LongRatio *lrBottom) {
  if (rect == nullptr) return;
  if (lrLeft) *lrLeft = {rect->left, 1};
  if (lrRight) *lrRight = {rect->right, 1};
  if (lrTop) *lrTop = {rect->top, 1};
  if (lrBottom) *lrBottom = {rect->bottom, 1};
}

Boolean GL_LongRatioAdd2(const GL_LongRatio *x, const GL_LongRatio *y, GL_LongRatio *z) {
  // An LCM of 0 means it overflowed (or a denominator was 0): no exact sum, so approximate.
  UInt64 lcm = (x->d == 0 || y->d == 0) ? 0 : GL_GetLCM(x->d, y->d);
  if (lcm != 0) {
    SInt64 term1, term2, sum;
    bool overflow = __builtin_mul_overflow(SInt64(x->n), SInt64(lcm / x->d), &term1) ||
                    __builtin_mul_overflow(SInt64(y->n), SInt64(lcm / y->d), &term2) ||
                    __builtin_add_overflow(term1, term2, &sum);
    if (!overflow) {
      UInt64 a = Abs64(sum);
      UInt64 d = 1;
      if (a != 0) {
        UInt64 g = GL_GetGCD(a, lcm);
        a /= g;
        d = lcm / g;
      }
      if (a < kMaxNumerator && d < 4294967295u) {
        z->n = sum < 0 ? -SInt32(a) : SInt32(a);
        z->d = UInt32(d);
        return true;
      }
    }
  }
  Approximate(RatioValue(x) + RatioValue(y), z);
  return false;
}

Boolean GL_LongRatioAddLong(const GL_LongRatio *x, SInt32 y, GL_LongRatio *z) {
  GL_LongRatio other = {y, 1};
  return GL_LongRatioAdd2(x, &other, z);
}

namespace {

// -n for the 32-bit numerator; the one value without a negative saturates.
SInt32 NegateNumerator(SInt32 n) { return n == SInt32(-2147483647 - 1) ? SInt32(kMaxNumerator) : -n; }

}  // namespace

Boolean GL_LongRatioSubtract2(const GL_LongRatio *x, const GL_LongRatio *y, GL_LongRatio *z) {
  GL_LongRatio negated = {NegateNumerator(y->n), y->d};
  return GL_LongRatioAdd2(x, &negated, z);
}

Boolean GL_LongRatioSubtractLong(const GL_LongRatio *x, SInt32 y, GL_LongRatio *z) {
  GL_LongRatio negated = {NegateNumerator(y), 1};
  return GL_LongRatioAdd2(x, &negated, z);
}

Boolean GL_LongSubtractLongRatio(SInt32 x, const GL_LongRatio *y, GL_LongRatio *z) {
  GL_LongRatio first = {x, 1};
  GL_LongRatio negated = {NegateNumerator(y->n), y->d};
  return GL_LongRatioAdd2(&first, &negated, z);
}

Boolean GL_LongRatioMul2(const GL_LongRatio *x, const GL_LongRatio *y, GL_LongRatio *z) {
  SInt64 p = SInt64(x->n) * SInt64(y->n);
  UInt64 q = UInt64(x->d) * UInt64(y->d);
  if (q != 0) {
    UInt64 a = Abs64(p);
    UInt64 g = GL_GetGCD(a, q);
    a /= g;
    UInt64 d = q / g;
    if (a < kMaxNumerator && d < 4294967295u) {
      z->n = p < 0 ? -SInt32(a) : SInt32(a);
      z->d = UInt32(d);
      return true;
    }
  }
  Approximate(double(p) / double(q), z);
  return false;
}

Boolean GL_LongRatioMulLong(const GL_LongRatio *x, SInt32 y, GL_LongRatio *z) {
  GL_LongRatio other = {y, 1};
  return GL_LongRatioMul2(x, &other, z);
}

Boolean GL_LongRatioInvert(const GL_LongRatio *y, GL_LongRatio *yInv) {
  return GL_CreateLongRatio(SInt64(y->d), SInt64(y->n), yInv);
}

Boolean GL_LongRatioDiv2(const GL_LongRatio *x, const GL_LongRatio *y, GL_LongRatio *z) {
  GL_LongRatio inverse;
  Boolean exactInverse = GL_LongRatioInvert(y, &inverse);
  Boolean exactProduct = GL_LongRatioMul2(x, &inverse, z);
  return exactInverse && exactProduct;
}

Boolean GL_LongRatioDivByLong(const GL_LongRatio *x, SInt32 y, GL_LongRatio *z) {
  GL_LongRatio other = {y, 1};
  return GL_LongRatioDiv2(x, &other, z);
}

Boolean GL_LongDivByLongRatio(SInt32 x, const GL_LongRatio *y, GL_LongRatio *z) {
  GL_LongRatio first = {x, 1};
  return GL_LongRatioDiv2(&first, y, z);
}

Boolean GL_LongRatioDiv2ToLong(const GL_LongRatio *x, const GL_LongRatio *y, SInt32 *z, GL_LongRatio *r) {
  GL_LongRatio q;
  Boolean exact = GL_LongRatioDiv2(x, y, &q);
  // Truncation toward zero, so the remainder keeps the sign of the quotient and q = z + r.
  SInt64 whole = SInt64(q.n) / SInt64(q.d);
  if (z != nullptr) *z = SInt32(whole);
  if (r != nullptr) *r = {SInt32(SInt64(q.n) - SInt64(q.d) * whole), q.d};
  return exact;
}

void GL_ReduceLongRatio(GL_LongRatio *x) {
  UInt64 g = GL_GetGCD(Abs64(x->n), x->d);
  if (g <= 1) return;
  x->n = SInt32(SInt64(x->n) / SInt64(g));
  x->d = UInt32(x->d / g);
}

Boolean GL_EqualLongRatio(const GL_LongRatio *x, const GL_LongRatio *y) {
  GL_LongRatio a = *x;
  GL_LongRatio b = *y;
  GL_ReduceLongRatio(&a);
  GL_ReduceLongRatio(&b);
  return a.n == b.n && a.d == b.d;
}

Boolean GL_GreaterLongRatio(const GL_LongRatio *x, const GL_LongRatio *y) {
  return SInt64(x->n) * SInt64(y->d) > SInt64(x->d) * SInt64(y->n);
}

void GL_AbsLongRatio(const GL_LongRatio *x, GL_LongRatio *xAbs) {
  xAbs->n = x->n < 0 ? NegateNumerator(x->n) : x->n;
  xAbs->d = x->d;
}

float GL_LongRatioToFloat(const GL_LongRatio *x) { return float(x->n) / float(x->d); }

void GL_GetBestN_OverD(double number, UInt32 max, UInt32 maxNumSteps, SInt32 *num, UInt32 *denom) {
  if (max > kMaxNumerator) max = kMaxNumerator;
  double x = std::fabs(number);
  UInt64 bestN = 0;
  UInt64 bestD = 1;
  if (std::isnan(x) || max == 0 || 1.0 / double(max) > x) {
    // 0/1
  } else if (x > double(max)) {
    bestN = max;
  } else {
    // Numerators are scanned in rounds over multiples of a step that shrinks by one per round; the budget
    // counts numerators tried. The step never drops below 1, and once every numerator has been tried there
    // is nothing left to gain, so the search always ends.
    UInt32 stepDivisor = maxNumSteps / 10 == 0 ? 1 : maxNumSteps / 10;
    UInt32 step = max / stepDivisor;
    double bestError = std::numeric_limits<double>::infinity();
    bestD = 0;
    UInt32 count = 0;
    bool triedAll = false;
    while (count < maxNumSteps && !triedAll && bestError > 0) {
      step = step > 1 ? step - 1 : 1;
      triedAll = step == 1;
      for (UInt64 k = 0; k < max && count < maxNumSteps && bestError > 0; k += step) {
        double q = std::floor(double(k) / x);
        UInt64 d = q <= 0 ? 0 : q >= 4294967295.0 ? 4294967295u : UInt64(q);
        if (d != 0) {
          double error = std::fabs(x - double(k) / double(d));
          if (error < bestError) {
            bestError = error;
            bestN = k;
            bestD = d;
          }
        }
        if (d < 4294967295u) {
          double error = std::fabs(x - double(k) / double(d + 1));
          if (error < bestError) {
            bestError = error;
            bestN = k;
            bestD = d + 1;
          }
        }
        ++count;
      }
    }
    if (bestD == 0) {
      bestN = 0;
      bestD = 1;
    }
  }
  GL_LongRatio best = {SInt32(bestN), UInt32(bestD)};
  if (best.n == 0) best.d = 1;
  GL_ReduceLongRatio(&best);
  if (number < 0) best.n = -best.n;
  if (num != nullptr) *num = best.n;
  if (denom != nullptr) *denom = best.d;
}

// ---- Products and fixed point ----

void GL_Reduce32bitFactors(SInt32 num1, SInt32 num2, Boolean *reduce1, Boolean *reduce2, double *factor1,
                           double *factor2) {
  SInt64 product = SInt64(num1) * SInt64(num2);
  if (product == 0) {
    // Nothing to reduce (and no limit to divide by).
    if (reduce1) *reduce1 = false;
    if (reduce2) *reduce2 = false;
    return;
  }
  double limit = 2147483647.0 / double(product);
  double target = 0.9 * limit;
  bool firstIsLarger = num1 > num2;
  double r = firstIsLarger ? double(num2) / double(num1) : double(num1) / double(num2);
  if (target > r) {
    if (reduce1) *reduce1 = firstIsLarger;
    if (reduce2) *reduce2 = !firstIsLarger;
    if (firstIsLarger) {
      if (factor1) *factor1 = target;
    } else {
      if (factor2) *factor2 = target;
    }
    return;
  }
  double s = std::sqrt(target / r);
  if (reduce1) *reduce1 = true;
  if (reduce2) *reduce2 = true;
  if (factor1) *factor1 = s * limit;
  if (factor2) *factor2 = s;
}

SInt32 GL_MultiplyDivide(SInt32 factor1, SInt32 factor2, SInt32 divisor, SInt32 *remainder) {
  wide product;
  WideMultiply(factor1, factor2, &product);
  return WideDivide(&product, divisor, remainder);
}

OSStatus GL_RoundFixedNumberListToExactSum(const SInt32 *numerator, const SInt32 *denominator, SInt16 arraySize,
                                           Fixed exactSum, Fixed *result) {
  if (arraySize <= 0) return noErr;
  if (numerator == nullptr || denominator == nullptr || result == nullptr) return paramErr;
  SInt64 sum = 0;
  for (SInt16 i = 0; i < arraySize; ++i) {
    if (denominator[i] == 0) return kZeroDivisorResult;
    result[i] = FixDiv(numerator[i], denominator[i]);
    sum += result[i];
  }
  SInt64 difference = SInt64(exactSum) - sum;
  if (difference == 0) return noErr;

  SInt64 *residue = nullptr;
  SInt16 *order = nullptr;
  if (GL_NewPtrClear(sizeof(SInt64) * size_t(arraySize), &residue) != noErr ||
      GL_NewPtrClear(sizeof(SInt16) * size_t(arraySize), &order) != noErr) {
    GL_DisposePtr(&residue);
    return memFullErr;
  }
  for (SInt16 i = 0; i < arraySize; ++i) {
    residue[i] = FixedResidue(result[i], numerator[i], denominator[i]);
    order[i] = i;
  }
  // Raising: the entries rounded down the most come first (most negative residue); lowering: those rounded
  // up the most (largest residue). Ties keep the list order.
  bool raise = difference > 0;
  std::stable_sort(order, order + arraySize, [residue, raise](SInt16 a, SInt16 b) {
    return raise ? residue[a] < residue[b] : residue[a] > residue[b];
  });
  UInt64 units = Abs64(difference);
  UInt64 each = units / UInt64(arraySize);
  UInt64 extra = units % UInt64(arraySize);
  for (SInt16 rank = 0; rank < arraySize; ++rank) {
    SInt64 change = SInt64(each + (UInt64(rank) < extra ? 1 : 0));
    Fixed &entry = result[order[rank]];
    entry = SaturateToFixed(SInt64(entry) + (raise ? change : -change));
  }
  GL_DisposePtr(&residue);
  GL_DisposePtr(&order);
  return noErr;
}

OSStatus GL_GetBestBinaryInverse(SInt32 numerator, SInt32 denominator, Fixed *factor, Fixed *inverse) {
  if (numerator == 0 || denominator == 0) return kZeroDivisorResult;
  if (factor == nullptr || inverse == nullptr) return paramErr;
  SInt64 a = SInt64(Abs64(numerator));
  SInt64 b = SInt64(Abs64(denominator));
  Fixed f = FixedQuotient(a, b);
  Fixed inv = FixedQuotient(b, a);
  Fixed product = FixMul(f, inv);
  if (product != fixed1) {
    SInt64 rf = FixedResidue(f, a, b);
    SInt64 ri = FixedResidue(inv, b, a);
    Fixed newF = f;
    Fixed newInv = inv;
    if (product > fixed1) {
      if (rf > 0 && f > 0 && FixDiv(SaturateToFixed(rf), f) >= FixDiv(SaturateToFixed(ri), inv)) --newF;
      else if (ri > 0 && inv > 0) --newInv;
    } else {
      if (rf < 0 && rf <= ri && f < 0x7FFFFFFF) ++newF;
      else if (ri < 0 && inv < 0x7FFFFFFF) ++newInv;
    }
    // Keep the correction only when it brings the product strictly closer to 1.0.
    SInt64 before = Abs64(SInt64(product) - fixed1);
    SInt64 after = Abs64(SInt64(FixMul(newF, newInv)) - fixed1);
    if (after < before) {
      f = newF;
      inv = newInv;
    }
  }
  if ((numerator < 0) != (denominator < 0)) {
    f = -f;
    inv = -inv;
  }
  *factor = f;
  *inverse = inv;
  return noErr;
}

namespace {

void ClosestSum(const SInt32 *entries, int numEntries, SInt64 maxSum, SInt64 *currentSum, SInt32 *closestEntries) {
  SInt64 best = *currentSum;
  for (int k = 0; k < numEntries; ++k) {
    SInt64 c = *currentSum + entries[k];
    if (c >= maxSum) continue;
    int rest = numEntries - k - 1;
    std::vector<SInt32> sub(size_t(rest), 0);
    if (rest > 0) ClosestSum(entries + k + 1, rest, maxSum, &c, sub.data());
    if (c > best) {
      best = c;
      closestEntries[0] = entries[k];
      std::copy(sub.begin(), sub.end(), closestEntries + 1);
      std::fill(closestEntries + 1 + rest, closestEntries + numEntries, 0);
    }
  }
  *currentSum = best;
}

}  // namespace

void GL_GetClosestSum(const SInt32 *entries, int numEntries, SInt32 maxSum, SInt32 *currentSum,
                      SInt32 *closestEntries) {
  if (entries == nullptr || numEntries <= 0 || currentSum == nullptr || closestEntries == nullptr) return;
  SInt64 sum = *currentSum;
  ClosestSum(entries, numEntries, maxSum, &sum, closestEntries);
  *currentSum = SInt32(sum);
}

// ---- Digit arrays ----

void GL_AddDigitArrays(UInt8 *digitArray1, const UInt8 *digitArray2, SInt16 maxNumDigits) {
  int carry = 0;
  for (int i = maxNumDigits - 1; i >= 0; --i) {
    int v = digitArray1[i] + digitArray2[i] + carry;
    carry = v > 9 ? 1 : 0;
    digitArray1[i] = UInt8(v - 10 * carry);
  }
}

void GL_SubtractDigitArrays(UInt8 *digitArray1, const UInt8 *digitArray2, SInt16 maxNumDigits) {
  int borrow = 0;
  for (int i = maxNumDigits - 1; i >= 0; --i) {
    int v = digitArray1[i] - digitArray2[i] - borrow;
    borrow = v < 0 ? 1 : 0;
    digitArray1[i] = UInt8(v + 10 * borrow);
  }
}

void GL_MultiplyDigitArray(UInt8 *digitArray, SInt16 maxNumDigits, int multiplyer) {
  // Worked in int, so any non-negative multiplier is fine (not only those keeping a byte below 128).
  SInt64 carry = 0;
  for (int i = maxNumDigits - 1; i >= 0; --i) {
    SInt64 v = SInt64(digitArray[i]) * multiplyer + carry;
    carry = v / 10;
    digitArray[i] = UInt8(v % 10);
  }
}

SInt32 GL_CompareDigitArrays(const UInt8 *digitArray1, const UInt8 *digitArray2, SInt16 maxNumDigits) {
  for (int i = 0; i < maxNumDigits; ++i) {
    if (digitArray1[i] > digitArray2[i]) return 1;
    if (digitArray1[i] < digitArray2[i]) return -1;
  }
  return 0;
}

void GL_DivideDigitArray(UInt8 *digitArray, SInt16 maxNumDigits, SInt8 divider, UInt8 *remainder) {
  if (divider <= 0) return;
  int rest = 0;
  for (int i = 0; i < maxNumDigits; ++i) {
    int v = rest * 10 + digitArray[i];
    digitArray[i] = UInt8(v / divider);
    rest = v % divider;
  }
  if (remainder != nullptr) *remainder = UInt8(rest);
}

// ---- Partitions ----

void GL_InitializePartition(int *partition, int partitionSum, int partitionWidth, int *curLastNonZeroIndex) {
  if (partition == nullptr || curLastNonZeroIndex == nullptr) return;
  if (partitionWidth < 1) {
    *curLastNonZeroIndex = -1;
    return;
  }
  std::fill(partition, partition + partitionWidth, 0);
  partition[partitionWidth - 1] = partitionSum;
  *curLastNonZeroIndex = partitionWidth - 1;
}

void GL_GetNextPartition(int *partition, int partitionSum, int partitionWidth, int *curLastNonZeroIndex) {
  if (partition == nullptr || curLastNonZeroIndex == nullptr) return;
  int &cursor = *curLastNonZeroIndex;
  if (cursor <= 0 || cursor >= partitionWidth || partitionSum <= 0 || partitionWidth < 2) {
    cursor = -1;
    return;
  }
  int last = partitionWidth - 1;
  if (cursor == last) {
    partition[last] -= 1;
    partition[last - 1] += 1;
    if (partition[last] == 0) cursor = last - 1;
    return;
  }
  partition[last] = partition[cursor] - 1;
  partition[cursor] = 0;
  partition[cursor - 1] += 1;
  cursor = partition[last] == 0 ? cursor - 1 : last;
}

void GL_AddSignsToPartition(int *partition, int partitionWidth, const int *signList) {
  int s = 0;
  for (int i = 0; i < partitionWidth; ++i)
    if (partition[i] > 0) partition[i] *= signList[s++];
}

void GL_SignedPartitionRecursion(int *partition, int partitionWidth, SInt32 nonZeroCount, SInt32 level,
                                 int *signList, GL_PartitionProcPtr Proc, void *data, Boolean *finished) {
  if (partition == nullptr || Proc == nullptr || finished == nullptr || partitionWidth <= 0) return;
  if (nonZeroCount <= 0) {
    Proc(partition, partitionWidth, data, finished);
    return;
  }
  if (signList == nullptr || level < 0 || level >= nonZeroCount) return;
  for (int sign : {1, -1}) {
    if (sign < 0 && *finished) return;
    signList[level] = sign;
    if (level >= nonZeroCount - 1) {
      // Signs go onto a copy: the partition itself must stay unsigned for the other combinations.
      std::vector<int> signedPartition(partition, partition + partitionWidth);
      GL_AddSignsToPartition(signedPartition.data(), partitionWidth, signList);
      Proc(signedPartition.data(), partitionWidth, data, finished);
    } else {
      GL_SignedPartitionRecursion(partition, partitionWidth, nonZeroCount, level + 1, signList, Proc, data,
                                  finished);
    }
  }
}
