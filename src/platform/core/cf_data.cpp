// CoreFoundation stand-in: CFData over a std::vector of bytes.
#include "platform/core/cf_data.h"

#include "platform/core/cf_object.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

struct PL_CFData : PL_CFObject {
  explicit PL_CFData(bool mut) : PL_CFObject(kPL_CFTypeIDData), isMutable(mut) {}
  bool Equal(const PL_CFObject &other) const override { return bytes == static_cast<const PL_CFData &>(other).bytes; }
  CFHashCode Hash() const override {
    UInt64 h = 1469598103934665603ull;
    for (size_t k = 0; k < std::min<size_t>(bytes.size(), 80); ++k) {
      h ^= bytes[k];
      h *= 1099511628211ull;
    }
    return h ^ bytes.size();
  }
  std::u16string Describe() const override {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "<";
    for (size_t k = 0; k < bytes.size(); ++k) {
      if (k > 0 && k % 4 == 0) out += ' ';
      out += kHex[bytes[k] >> 4];
      out += kHex[bytes[k] & 15];
    }
    out += '>';
    return PL_ASCIIToUTF16(out);
  }

  std::vector<UInt8> bytes;
  const bool isMutable;
};

namespace {

const PL_CFData *Data(CFDataRef d) { return PL_CFIsType(d, kPL_CFTypeIDData) ? static_cast<const PL_CFData *>(d) : nullptr; }
PL_CFData *MutData(CFMutableDataRef d) { return PL_CFIsType(d, kPL_CFTypeIDData) && d->isMutable ? d : nullptr; }

bool Clamp(CFRange range, size_t n, size_t *start, size_t *count) {
  if (range.location < 0 || range.length < 0 || size_t(range.location) > n) return false;
  *start = size_t(range.location);
  *count = std::min(size_t(range.length), n - *start);
  return true;
}

// Storage for empty blocks, so that CFDataGetBytePtr never answers NULL for a valid block.
const UInt8 kNoBytes[1] = {0};

}  // namespace

CFTypeID CFDataGetTypeID() { return kPL_CFTypeIDData; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8 *bytes, CFIndex length) {
  if (length < 0 || (length > 0 && bytes == nullptr)) return nullptr;
  auto *d = new PL_CFData(false);
  d->bytes.assign(bytes, bytes + length);
  return d;
}

CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef allocator, const UInt8 *bytes, CFIndex length,
                                      CFAllocatorRef bytesDeallocator) {
  CFDataRef d = CFDataCreate(allocator, bytes, length);
  if (d != nullptr && bytesDeallocator != kCFAllocatorNull) std::free(const_cast<UInt8 *>(bytes));
  return d;
}

CFDataRef CFDataCreateCopy(CFAllocatorRef, CFDataRef theData) {
  const PL_CFData *src = Data(theData);
  if (src == nullptr) return nullptr;
  if (!src->isMutable) return static_cast<CFDataRef>(CFRetain(src));
  auto *d = new PL_CFData(false);
  d->bytes = src->bytes;
  return d;
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex) { return new PL_CFData(true); }

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex, CFDataRef theData) {
  const PL_CFData *src = Data(theData);
  if (src == nullptr) return nullptr;
  auto *d = new PL_CFData(true);
  d->bytes = src->bytes;
  return d;
}

CFIndex CFDataGetLength(CFDataRef theData) {
  const PL_CFData *d = Data(theData);
  return d != nullptr ? CFIndex(d->bytes.size()) : 0;
}

const UInt8 *CFDataGetBytePtr(CFDataRef theData) {
  const PL_CFData *d = Data(theData);
  if (d == nullptr) return nullptr;
  return d->bytes.empty() ? kNoBytes : d->bytes.data();
}

UInt8 *CFDataGetMutableBytePtr(CFMutableDataRef theData) {
  PL_CFData *d = MutData(theData);
  if (d == nullptr) return nullptr;
  return d->bytes.empty() ? const_cast<UInt8 *>(kNoBytes) : d->bytes.data();
}

void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8 *buffer) {
  const PL_CFData *d = Data(theData);
  size_t start;
  size_t count;
  if (d == nullptr || buffer == nullptr || !Clamp(range, d->bytes.size(), &start, &count)) return;
  if (count > 0) std::memcpy(buffer, d->bytes.data() + start, count);
}

void CFDataSetLength(CFMutableDataRef theData, CFIndex length) {
  PL_CFData *d = MutData(theData);
  if (d != nullptr && length >= 0) d->bytes.resize(size_t(length), 0);
}

void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength) {
  PL_CFData *d = MutData(theData);
  if (d != nullptr && extraLength > 0) d->bytes.resize(d->bytes.size() + size_t(extraLength), 0);
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8 *bytes, CFIndex length) {
  PL_CFData *d = MutData(theData);
  if (d == nullptr || bytes == nullptr || length <= 0) return;
  // Copy first: `bytes` may point into this block.
  std::vector<UInt8> added(bytes, bytes + length);
  d->bytes.insert(d->bytes.end(), added.begin(), added.end());
}

void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8 *newBytes, CFIndex newLength) {
  PL_CFData *d = MutData(theData);
  size_t start;
  size_t count;
  if (d == nullptr || newLength < 0 || (newLength > 0 && newBytes == nullptr) ||
      !Clamp(range, d->bytes.size(), &start, &count)) {
    return;
  }
  std::vector<UInt8> added(newBytes, newBytes + newLength);
  d->bytes.erase(d->bytes.begin() + SInt64(start), d->bytes.begin() + SInt64(start + count));
  d->bytes.insert(d->bytes.begin() + SInt64(start), added.begin(), added.end());
}

void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range) { CFDataReplaceBytes(theData, range, nullptr, 0); }
