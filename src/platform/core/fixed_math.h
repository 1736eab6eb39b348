// Toolbox fixed-point (16.16 Fixed, 2.30 Fract) and 64-bit "wide" arithmetic.
// Results round to nearest and saturate to 0x7FFFFFFF / 0x80000000, as the toolbox did.
#pragma once

#include "platform/core/mac_types.h"

constexpr Fixed fixed1 = 0x00010000;
constexpr Fract fract1 = 0x40000000;
constexpr Fixed kFixedMax = 0x7FFFFFFF;
constexpr Fixed kFixedMin = (Fixed)0x80000000;

Fixed FixMul(Fixed a, Fixed b);
// b == 0 saturates by the sign of a (0 / 0 gives 0x7FFFFFFF).
Fixed FixDiv(Fixed dividend, Fixed divisor);
Fixed FixRatio(SInt16 numer, SInt16 denom);
// Rounds to the nearest integer (halves away from zero).
SInt32 Fix2Long(Fixed x);
Fixed Long2Fix(SInt32 x);
SInt16 FixRound(Fixed x);
Fixed X2Fix(double x);
double Fix2X(Fixed x);
Fract X2Frac(double x);
double Frac2X(Fract x);
Fract Fix2Frac(Fixed x);
Fixed Frac2Fix(Fract x);
Fract FracMul(Fract a, Fract b);
Fract FracDiv(Fract dividend, Fract divisor);
Fract FracSqrt(Fract x);
Fixed FixATan2(SInt32 x, SInt32 y);
Fract FracCos(Fixed x);
Fract FracSin(Fixed x);

// 64-bit helpers on the split representation.
SInt64 PL_WideToSInt64(const wide &w);
wide PL_SInt64ToWide(SInt64 v);
UInt64 PL_UnsignedWideToUInt64(const UnsignedWide &w);
UnsignedWide PL_UInt64ToUnsignedWide(UInt64 v);

wide *WideAdd(wide *target, const wide *source);
wide *WideSubtract(wide *target, const wide *source);
wide *WideNegate(wide *target);
// Arithmetic shift right by `shift` (left when negative), rounding to nearest on right shifts.
wide *WideShift(wide *target, SInt32 shift);
wide *WideBitShift(wide *target, SInt32 shift);
short WideCompare(const wide *target, const wide *source);
wide *WideMultiply(SInt32 multiplicand, SInt32 multiplier, wide *target);
// Quotient of a wide by a long. On overflow (or divisor 0) returns 0x80000000 and, when given, sets
// *remainder to 0x80000000, as the toolbox did.
SInt32 WideDivide(const wide *dividend, SInt32 divisor, SInt32 *remainder);
wide *WideWideDivide(wide *dividend, SInt32 divisor, SInt32 *remainder);
UInt32 WideSquareRoot(const wide *source);
