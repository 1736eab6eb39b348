// Toolbox fixed-point and wide arithmetic on 64-bit integers.
#include "platform/core/fixed_math.h"

#include <cmath>
#include <cstdlib>

namespace {

SInt32 Saturate(SInt64 v) {
  if (v > 0x7FFFFFFFLL) return 0x7FFFFFFF;
  if (v < -0x80000000LL) return (SInt32)0x80000000;
  return SInt32(v);
}

// Rounded quotient, halves away from zero; den != 0.
SInt64 RoundDiv(SInt64 num, SInt64 den) {
  bool negative = (num < 0) != (den < 0);
  UInt64 n = num < 0 ? UInt64(-(num + 1)) + 1 : UInt64(num);
  UInt64 d = den < 0 ? UInt64(-(den + 1)) + 1 : UInt64(den);
  UInt64 q = (n + d / 2) / d;
  return negative ? -SInt64(q) : SInt64(q);
}

// Saturating shift-with-rounding of a 64-bit product by `bits`.
SInt32 RoundShift(SInt64 product, int bits) {
  SInt64 half = SInt64(1) << (bits - 1);
  return Saturate((product + half) >> bits);
}

SInt32 SaturatingDiv(SInt64 num, SInt64 den) {
  if (den == 0) return num < 0 ? (SInt32)0x80000000 : 0x7FFFFFFF;
  // Both fit in 64 bits here; the quotient may not fit in 32.
  return Saturate(RoundDiv(num, den));
}

SInt32 SaturateDouble(double x) {
  if (std::isnan(x)) return 0;
  double r = std::round(x);
  if (r >= 2147483647.0) return 0x7FFFFFFF;
  if (r <= -2147483648.0) return (SInt32)0x80000000;
  return SInt32(r);
}

}  // namespace

Fixed FixMul(Fixed a, Fixed b) { return RoundShift(SInt64(a) * SInt64(b), 16); }

Fixed FixDiv(Fixed dividend, Fixed divisor) { return SaturatingDiv(SInt64(dividend) * 65536, divisor); }

Fixed FixRatio(SInt16 numer, SInt16 denom) { return SaturatingDiv(SInt64(numer) * 65536, denom); }

SInt32 Fix2Long(Fixed x) { return SInt32(RoundDiv(x, 65536)); }

Fixed Long2Fix(SInt32 x) { return Saturate(SInt64(x) * 65536); }

SInt16 FixRound(Fixed x) { return SInt16(Fix2Long(x)); }

Fixed X2Fix(double x) { return SaturateDouble(x * 65536.0); }

double Fix2X(Fixed x) { return double(x) / 65536.0; }

Fract X2Frac(double x) { return SaturateDouble(x * 1073741824.0); }

double Frac2X(Fract x) { return double(x) / 1073741824.0; }

Fract Fix2Frac(Fixed x) { return Saturate(SInt64(x) * 16384); }

Fixed Frac2Fix(Fract x) { return SInt32(RoundDiv(x, 16384)); }

Fract FracMul(Fract a, Fract b) { return RoundShift(SInt64(a) * SInt64(b), 30); }

Fract FracDiv(Fract dividend, Fract divisor) { return SaturatingDiv(SInt64(dividend) * 1073741824LL, divisor); }

Fract FracSqrt(Fract x) {
  // The toolbox reads the argument as unsigned.
  return SaturateDouble(std::sqrt(double(UInt32(x)) / 1073741824.0) * 1073741824.0);
}

Fixed FixATan2(SInt32 x, SInt32 y) { return X2Fix(std::atan2(double(y), double(x))); }

Fract FracCos(Fixed x) { return X2Frac(std::cos(Fix2X(x))); }

Fract FracSin(Fixed x) { return X2Frac(std::sin(Fix2X(x))); }

SInt64 PL_WideToSInt64(const wide &w) { return SInt64((UInt64(UInt32(w.hi)) << 32) | w.lo); }

wide PL_SInt64ToWide(SInt64 v) { return wide{SInt32(UInt64(v) >> 32), UInt32(UInt64(v))}; }

UInt64 PL_UnsignedWideToUInt64(const UnsignedWide &w) { return (UInt64(w.hi) << 32) | w.lo; }

UnsignedWide PL_UInt64ToUnsignedWide(UInt64 v) { return UnsignedWide{UInt32(v >> 32), UInt32(v)}; }

wide *WideAdd(wide *target, const wide *source) {
  *target = PL_SInt64ToWide(SInt64(UInt64(PL_WideToSInt64(*target)) + UInt64(PL_WideToSInt64(*source))));
  return target;
}

wide *WideSubtract(wide *target, const wide *source) {
  *target = PL_SInt64ToWide(SInt64(UInt64(PL_WideToSInt64(*target)) - UInt64(PL_WideToSInt64(*source))));
  return target;
}

wide *WideNegate(wide *target) {
  *target = PL_SInt64ToWide(SInt64(0 - UInt64(PL_WideToSInt64(*target))));
  return target;
}

wide *WideShift(wide *target, SInt32 shift) {
  SInt64 v = PL_WideToSInt64(*target);
  if (shift > 0) {
    if (shift >= 64) {
      v = 0;
    } else {
      v = (v >> shift) + ((v >> (shift - 1)) & 1);
    }
  } else if (shift < 0) {
    v = shift <= -64 ? 0 : SInt64(UInt64(v) << -shift);
  }
  *target = PL_SInt64ToWide(v);
  return target;
}

wide *WideBitShift(wide *target, SInt32 shift) {
  SInt64 v = PL_WideToSInt64(*target);
  if (shift > 0) {
    v = shift >= 64 ? (v < 0 ? -1 : 0) : v >> shift;
  } else if (shift < 0) {
    v = shift <= -64 ? 0 : SInt64(UInt64(v) << -shift);
  }
  *target = PL_SInt64ToWide(v);
  return target;
}

short WideCompare(const wide *target, const wide *source) {
  SInt64 a = PL_WideToSInt64(*target);
  SInt64 b = PL_WideToSInt64(*source);
  return a < b ? -1 : (a > b ? 1 : 0);
}

wide *WideMultiply(SInt32 multiplicand, SInt32 multiplier, wide *target) {
  *target = PL_SInt64ToWide(SInt64(multiplicand) * SInt64(multiplier));
  return target;
}

SInt32 WideDivide(const wide *dividend, SInt32 divisor, SInt32 *remainder) {
  SInt64 n = PL_WideToSInt64(*dividend);
  if (divisor == 0 || (n == INT64_MIN && divisor == -1)) {
    if (remainder) *remainder = (SInt32)0x80000000;
    return (SInt32)0x80000000;
  }
  SInt64 q = n / divisor;
  if (q > 0x7FFFFFFFLL || q < -0x80000000LL) {
    if (remainder) *remainder = (SInt32)0x80000000;
    return (SInt32)0x80000000;
  }
  if (remainder) *remainder = SInt32(n % divisor);
  return SInt32(q);
}

wide *WideWideDivide(wide *dividend, SInt32 divisor, SInt32 *remainder) {
  SInt64 n = PL_WideToSInt64(*dividend);
  if (divisor == 0 || (n == INT64_MIN && divisor == -1)) {
    if (remainder) *remainder = (SInt32)0x80000000;
    *dividend = wide{(SInt32)0x80000000, 0};
    return dividend;
  }
  if (remainder) *remainder = SInt32(n % divisor);
  *dividend = PL_SInt64ToWide(n / divisor);
  return dividend;
}

UInt32 WideSquareRoot(const wide *source) {
  SInt64 v = PL_WideToSInt64(*source);
  if (v <= 0) return 0;
  UInt64 r = UInt64(std::sqrt(double(v)));
  while (r * r > UInt64(v)) --r;
  while ((r + 1) * (r + 1) <= UInt64(v)) ++r;
  return UInt32(r);
}
