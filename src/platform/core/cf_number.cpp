// CoreFoundation stand-in: CFNumber (a type tag and an integer or double) and the two CFBoolean constants.
#include "platform/core/cf_number.h"

#include "platform/core/cf_object.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

struct PL_CFNumber : PL_CFObject {
  PL_CFNumber() : PL_CFObject(kPL_CFTypeIDNumber) {}
  bool Equal(const PL_CFObject &other) const override;
  CFHashCode Hash() const override;
  std::u16string Describe() const override;

  CFNumberType type = kCFNumberSInt64Type;  // one of SInt8 ... Float64
  bool isFloat = false;
  SInt64 i = 0;
  double d = 0.0;
};

struct PL_CFBoolean : PL_CFObject {
  explicit PL_CFBoolean(bool v) : PL_CFObject(kPL_CFTypeIDBoolean), value(v) { constant = true; }
  CFHashCode Hash() const override { return value ? 1 : 0; }
  std::u16string Describe() const override { return value ? u"true" : u"false"; }
  const bool value;
};

namespace {

// The fixed-width type behind any number type; 0 when unknown.
CFNumberType Canonical(CFNumberType t) {
  switch (t) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType: return kCFNumberSInt8Type;
    case kCFNumberSInt16Type:
    case kCFNumberShortType: return kCFNumberSInt16Type;
    case kCFNumberSInt32Type:
    case kCFNumberIntType: return kCFNumberSInt32Type;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType: return kCFNumberSInt64Type;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: return kCFNumberFloat32Type;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: return kCFNumberFloat64Type;
    default: return 0;
  }
}

const PL_CFNumber *Num(CFNumberRef n) {
  return PL_CFIsType(n, kPL_CFTypeIDNumber) ? static_cast<const PL_CFNumber *>(n) : nullptr;
}

constexpr double kTwo63 = 9223372036854775808.0;

// Exact comparison of an integer with a double; NaN sorts below every integer.
int CompareIntDouble(SInt64 i, double d) {
  if (std::isnan(d)) return 1;
  if (d >= kTwo63) return -1;
  if (d < -kTwo63) return 1;
  const double t = std::trunc(d);
  const auto ti = SInt64(t);
  if (i != ti) return i < ti ? -1 : 1;
  const double frac = d - t;
  return frac > 0 ? -1 : frac < 0 ? 1 : 0;
}

int CompareNumbers(const PL_CFNumber &a, const PL_CFNumber &b) {
  if (!a.isFloat && !b.isFloat) return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
  if (!a.isFloat) return CompareIntDouble(a.i, b.d);
  if (!b.isFloat) return -CompareIntDouble(b.i, a.d);
  if (std::isnan(a.d) || std::isnan(b.d)) return std::isnan(a.d) ? (std::isnan(b.d) ? 0 : -1) : 1;
  return a.d < b.d ? -1 : a.d > b.d ? 1 : 0;
}

CFHashCode MixHash(UInt64 v) {
  v ^= v >> 33;
  v *= 0xff51afd7ed558ccdULL;
  v ^= v >> 33;
  return v;
}

template <class T>
bool StoreInt(const PL_CFNumber &n, void *out) {
  constexpr SInt64 lo = SInt64(std::numeric_limits<T>::min());
  constexpr SInt64 hi = SInt64(std::numeric_limits<T>::max());
  SInt64 v;
  bool exact = true;
  if (!n.isFloat) {
    v = n.i;
  } else if (std::isnan(n.d)) {
    v = 0;
    exact = false;
  } else if (n.d >= kTwo63) {
    v = std::numeric_limits<SInt64>::max();
    exact = false;
  } else if (n.d < -kTwo63) {
    v = std::numeric_limits<SInt64>::min();
    exact = false;
  } else {
    const double t = std::trunc(n.d);
    v = SInt64(t);
    exact = t == n.d;
  }
  if (v < lo) {
    v = lo;
    exact = false;
  } else if (v > hi) {
    v = hi;
    exact = false;
  }
  const T r = T(v);
  std::memcpy(out, &r, sizeof r);
  return exact;
}

}  // namespace

bool PL_CFNumber::Equal(const PL_CFObject &other) const {
  return CompareNumbers(*this, static_cast<const PL_CFNumber &>(other)) == 0;
}

CFHashCode PL_CFNumber::Hash() const {
  if (!isFloat) return MixHash(UInt64(i));
  // Equal values hash alike: an integral double hashes as the integer.
  if (std::isfinite(d) && d == std::trunc(d) && d >= -kTwo63 && d < kTwo63) return MixHash(UInt64(SInt64(d)));
  UInt64 bits;
  std::memcpy(&bits, &d, sizeof bits);
  return MixHash(bits);
}

std::u16string PL_CFNumber::Describe() const {
  char buf[64];
  std::to_chars_result r;
  if (!isFloat) {
    r = std::to_chars(buf, buf + sizeof buf, i);
  } else if (std::isnan(d)) {
    return u"nan";
  } else if (std::isinf(d)) {
    return d > 0 ? u"+infinity" : u"-infinity";
  } else if (type == kCFNumberFloat32Type) {
    r = std::to_chars(buf, buf + sizeof buf, float(d));
  } else {
    r = std::to_chars(buf, buf + sizeof buf, d);
  }
  return PL_ASCIIToUTF16(std::string_view(buf, size_t(r.ptr - buf)));
}

CFTypeID CFNumberGetTypeID() { return kPL_CFTypeIDNumber; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void *valuePtr) {
  const CFNumberType t = Canonical(theType);
  if (t == 0 || valuePtr == nullptr) return nullptr;
  auto *n = new PL_CFNumber();
  n->type = t;
  switch (t) {
    case kCFNumberSInt8Type: {
      SInt8 v;
      std::memcpy(&v, valuePtr, sizeof v);
      n->i = v;
      break;
    }
    case kCFNumberSInt16Type: {
      SInt16 v;
      std::memcpy(&v, valuePtr, sizeof v);
      n->i = v;
      break;
    }
    case kCFNumberSInt32Type: {
      SInt32 v;
      std::memcpy(&v, valuePtr, sizeof v);
      n->i = v;
      break;
    }
    case kCFNumberSInt64Type: std::memcpy(&n->i, valuePtr, sizeof n->i); break;
    case kCFNumberFloat32Type: {
      Float32 v;
      std::memcpy(&v, valuePtr, sizeof v);
      n->isFloat = true;
      n->d = v;
      break;
    }
    default:
      n->isFloat = true;
      std::memcpy(&n->d, valuePtr, sizeof n->d);
      break;
  }
  return n;
}

CFNumberType CFNumberGetType(CFNumberRef number) {
  const PL_CFNumber *n = Num(number);
  return n != nullptr ? n->type : 0;
}

CFIndex CFNumberGetByteSize(CFNumberRef number) {
  switch (CFNumberGetType(number)) {
    case kCFNumberSInt8Type: return 1;
    case kCFNumberSInt16Type: return 2;
    case kCFNumberSInt32Type:
    case kCFNumberFloat32Type: return 4;
    case kCFNumberSInt64Type:
    case kCFNumberFloat64Type: return 8;
    default: return 0;
  }
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
  const PL_CFNumber *n = Num(number);
  return n != nullptr && n->isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void *valuePtr) {
  const PL_CFNumber *n = Num(number);
  const CFNumberType t = Canonical(theType);
  if (n == nullptr || t == 0 || valuePtr == nullptr) return false;
  switch (t) {
    case kCFNumberSInt8Type: return StoreInt<SInt8>(*n, valuePtr);
    case kCFNumberSInt16Type: return StoreInt<SInt16>(*n, valuePtr);
    case kCFNumberSInt32Type: return StoreInt<SInt32>(*n, valuePtr);
    case kCFNumberSInt64Type: return StoreInt<SInt64>(*n, valuePtr);
    case kCFNumberFloat32Type: {
      const auto f = n->isFloat ? Float32(n->d) : Float32(n->i);
      std::memcpy(valuePtr, &f, sizeof f);
      if (n->isFloat) return double(f) == n->d || (std::isnan(f) && std::isnan(n->d));
      return CompareIntDouble(n->i, double(f)) == 0;
    }
    default: {
      const double d = n->isFloat ? n->d : double(n->i);
      std::memcpy(valuePtr, &d, sizeof d);
      return n->isFloat || CompareIntDouble(n->i, d) == 0;
    }
  }
}

CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void *) {
  const PL_CFNumber *a = Num(number);
  const PL_CFNumber *b = Num(otherNumber);
  if (a == nullptr || b == nullptr) return a == b ? kCFCompareEqualTo : a == nullptr ? kCFCompareLessThan : kCFCompareGreaterThan;
  const int c = CompareNumbers(*a, *b);
  return c < 0 ? kCFCompareLessThan : c > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

static PL_CFBoolean gTrue(true);
static PL_CFBoolean gFalse(false);
const CFBooleanRef kCFBooleanTrue = &gTrue;
const CFBooleanRef kCFBooleanFalse = &gFalse;

CFTypeID CFBooleanGetTypeID() { return kPL_CFTypeIDBoolean; }

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  return PL_CFIsType(boolean, kPL_CFTypeIDBoolean) && static_cast<const PL_CFBoolean *>(boolean)->value;
}
