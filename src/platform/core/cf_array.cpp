// CoreFoundation stand-in: CFArray, a vector of pointers with the element callbacks of its creation.
#include "platform/core/cf_array.h"

#include "platform/core/cf_object.h"

#include <algorithm>
#include <vector>

namespace {

const void *TypeRetain(CFAllocatorRef, const void *value) { return CFRetain(value); }
void TypeRelease(CFAllocatorRef, const void *value) { CFRelease(value); }
CFStringRef TypeCopyDescription(const void *value) { return CFCopyDescription(value); }
Boolean TypeEqual(const void *a, const void *b) { return CFEqual(a, b); }

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, TypeRetain, TypeRelease, TypeCopyDescription, TypeEqual};

struct PL_CFArray : PL_CFObject {
  PL_CFArray(bool mut, const CFArrayCallBacks *cb) : PL_CFObject(kPL_CFTypeIDArray), isMutable(mut) {
    if (cb != nullptr) callBacks = *cb;
  }
  ~PL_CFArray() override {
    for (const void *v : values) Release(v);
  }
  bool Equal(const PL_CFObject &other) const override {
    const auto &o = static_cast<const PL_CFArray &>(other);
    if (values.size() != o.values.size()) return false;
    for (size_t k = 0; k < values.size(); ++k) {
      if (!Same(values[k], o.values[k])) return false;
    }
    return true;
  }
  CFHashCode Hash() const override { return CFHashCode(values.size()); }
  std::u16string Describe() const override {
    std::u16string out = u"(\n";
    for (size_t k = 0; k < values.size(); ++k) {
      out += u"    ";
      out += DescribeValue(values[k]);
      out += k + 1 < values.size() ? u",\n" : u"\n";
    }
    return out + u")";
  }

  const void *Retain(const void *v) const { return callBacks.retain != nullptr ? callBacks.retain(nullptr, v) : v; }
  void Release(const void *v) const {
    if (callBacks.release != nullptr) callBacks.release(nullptr, v);
  }
  bool Same(const void *a, const void *b) const {
    return a == b || (callBacks.equal != nullptr && callBacks.equal(a, b));
  }
  std::u16string DescribeValue(const void *v) const {
    if (callBacks.copyDescription == nullptr) return PL_ASCIIToUTF16("<pointer>");
    PL_CFScoped<CFStringRef> d(callBacks.copyDescription(v));
    return PL_CFStringText(d);
  }

  std::vector<const void *> values;
  CFArrayCallBacks callBacks{0, nullptr, nullptr, nullptr, nullptr};
  const bool isMutable;
};

namespace {

const PL_CFArray *Arr(CFArrayRef a) {
  return PL_CFIsType(a, kPL_CFTypeIDArray) ? static_cast<const PL_CFArray *>(a) : nullptr;
}
PL_CFArray *MutArr(CFMutableArrayRef a) { return PL_CFIsType(a, kPL_CFTypeIDArray) && a->isMutable ? a : nullptr; }

bool Clamp(CFRange range, size_t n, size_t *start, size_t *end) {
  if (range.location < 0 || range.length < 0 || size_t(range.location) > n) return false;
  *start = size_t(range.location);
  *end = std::min(n, *start + size_t(range.length));
  return true;
}

PL_CFArray *CopyOf(const PL_CFArray &src, bool mut) {
  auto *a = new PL_CFArray(mut, &src.callBacks);
  a->values.reserve(src.values.size());
  for (const void *v : src.values) a->values.push_back(a->Retain(v));
  return a;
}

}  // namespace

CFTypeID CFArrayGetTypeID() { return kPL_CFTypeIDArray; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void **values, CFIndex numValues, const CFArrayCallBacks *callBacks) {
  if (numValues < 0 || (numValues > 0 && values == nullptr)) return nullptr;
  auto *a = new PL_CFArray(false, callBacks);
  a->values.reserve(size_t(numValues));
  for (CFIndex k = 0; k < numValues; ++k) a->values.push_back(a->Retain(values[k]));
  return a;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef theArray) {
  const PL_CFArray *src = Arr(theArray);
  return src != nullptr ? CopyOf(*src, false) : nullptr;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks *callBacks) {
  return new PL_CFArray(true, callBacks);
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef theArray) {
  const PL_CFArray *src = Arr(theArray);
  return src != nullptr ? CopyOf(*src, true) : nullptr;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  const PL_CFArray *a = Arr(theArray);
  return a != nullptr ? CFIndex(a->values.size()) : 0;
}

const void *CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  const PL_CFArray *a = Arr(theArray);
  if (a == nullptr || idx < 0 || size_t(idx) >= a->values.size()) return nullptr;
  return a->values[size_t(idx)];
}

void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void **values) {
  const PL_CFArray *a = Arr(theArray);
  size_t s;
  size_t e;
  if (a == nullptr || values == nullptr || !Clamp(range, a->values.size(), &s, &e)) return;
  std::copy(a->values.begin() + SInt64(s), a->values.begin() + SInt64(e), values);
}

CFIndex CFArrayGetCountOfValue(CFArrayRef theArray, CFRange range, const void *value) {
  const PL_CFArray *a = Arr(theArray);
  size_t s;
  size_t e;
  if (a == nullptr || !Clamp(range, a->values.size(), &s, &e)) return 0;
  CFIndex n = 0;
  for (size_t k = s; k < e; ++k) n += a->Same(a->values[k], value) ? 1 : 0;
  return n;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void *value) {
  return CFArrayGetFirstIndexOfValue(theArray, range, value) != kCFNotFound;
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void *value) {
  const PL_CFArray *a = Arr(theArray);
  size_t s;
  size_t e;
  if (a == nullptr || !Clamp(range, a->values.size(), &s, &e)) return kCFNotFound;
  for (size_t k = s; k < e; ++k) {
    if (a->Same(a->values[k], value)) return CFIndex(k);
  }
  return kCFNotFound;
}

CFIndex CFArrayGetLastIndexOfValue(CFArrayRef theArray, CFRange range, const void *value) {
  const PL_CFArray *a = Arr(theArray);
  size_t s;
  size_t e;
  if (a == nullptr || !Clamp(range, a->values.size(), &s, &e)) return kCFNotFound;
  for (size_t k = e; k > s; --k) {
    if (a->Same(a->values[k - 1], value)) return CFIndex(k - 1);
  }
  return kCFNotFound;
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier, void *context) {
  const PL_CFArray *a = Arr(theArray);
  size_t s;
  size_t e;
  if (a == nullptr || applier == nullptr || !Clamp(range, a->values.size(), &s, &e)) return;
  for (size_t k = s; k < e; ++k) applier(a->values[k], context);
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void *value) {
  PL_CFArray *a = MutArr(theArray);
  if (a != nullptr) a->values.push_back(a->Retain(value));
}

void CFArrayAppendArray(CFMutableArrayRef theArray, CFArrayRef otherArray, CFRange otherRange) {
  PL_CFArray *a = MutArr(theArray);
  const PL_CFArray *o = Arr(otherArray);
  size_t s;
  size_t e;
  if (a == nullptr || o == nullptr || !Clamp(otherRange, o->values.size(), &s, &e)) return;
  const std::vector<const void *> added(o->values.begin() + SInt64(s), o->values.begin() + SInt64(e));
  for (const void *v : added) a->values.push_back(a->Retain(v));
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void *value) {
  PL_CFArray *a = MutArr(theArray);
  if (a == nullptr || idx < 0 || size_t(idx) > a->values.size()) return;
  a->values.insert(a->values.begin() + idx, a->Retain(value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void *value) {
  PL_CFArray *a = MutArr(theArray);
  if (a == nullptr || idx < 0 || size_t(idx) > a->values.size()) return;
  const void *retained = a->Retain(value);
  if (size_t(idx) == a->values.size()) {
    a->values.push_back(retained);
    return;
  }
  const void *old = a->values[size_t(idx)];
  a->values[size_t(idx)] = retained;
  a->Release(old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx) {
  PL_CFArray *a = MutArr(theArray);
  if (a == nullptr || idx < 0 || size_t(idx) >= a->values.size()) return;
  const void *old = a->values[size_t(idx)];
  a->values.erase(a->values.begin() + idx);
  a->Release(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray) {
  PL_CFArray *a = MutArr(theArray);
  if (a == nullptr) return;
  std::vector<const void *> old;
  old.swap(a->values);
  for (const void *v : old) a->Release(v);
}

void CFArrayReplaceValues(CFMutableArrayRef theArray, CFRange range, const void **newValues, CFIndex newCount) {
  PL_CFArray *a = MutArr(theArray);
  size_t s;
  size_t e;
  if (a == nullptr || newCount < 0 || (newCount > 0 && newValues == nullptr) ||
      !Clamp(range, a->values.size(), &s, &e)) {
    return;
  }
  std::vector<const void *> added;
  for (CFIndex k = 0; k < newCount; ++k) added.push_back(a->Retain(newValues[k]));
  std::vector<const void *> removed(a->values.begin() + SInt64(s), a->values.begin() + SInt64(e));
  a->values.erase(a->values.begin() + SInt64(s), a->values.begin() + SInt64(e));
  a->values.insert(a->values.begin() + SInt64(s), added.begin(), added.end());
  for (const void *v : removed) a->Release(v);
}

void CFArrayExchangeValuesAtIndices(CFMutableArrayRef theArray, CFIndex idx1, CFIndex idx2) {
  PL_CFArray *a = MutArr(theArray);
  if (a == nullptr || idx1 < 0 || idx2 < 0 || size_t(idx1) >= a->values.size() || size_t(idx2) >= a->values.size()) {
    return;
  }
  std::swap(a->values[size_t(idx1)], a->values[size_t(idx2)]);
}

void CFArraySortValues(CFMutableArrayRef theArray, CFRange range, CFComparatorFunction comparator, void *context) {
  PL_CFArray *a = MutArr(theArray);
  size_t s;
  size_t e;
  if (a == nullptr || comparator == nullptr || !Clamp(range, a->values.size(), &s, &e)) return;
  std::stable_sort(a->values.begin() + SInt64(s), a->values.begin() + SInt64(e),
                   [&](const void *x, const void *y) { return comparator(x, y, context) == kCFCompareLessThan; });
}
