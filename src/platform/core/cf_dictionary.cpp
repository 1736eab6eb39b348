// CoreFoundation stand-in: CFDictionary, a hash map whose hashing and equality come from the key callbacks.
#include "platform/core/cf_dictionary.h"

#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"

#include <unordered_map>
#include <vector>

namespace {

const void *TypeRetain(CFAllocatorRef, const void *value) { return CFRetain(value); }
void TypeRelease(CFAllocatorRef, const void *value) { CFRelease(value); }
CFStringRef TypeCopyDescription(const void *value) { return CFCopyDescription(value); }
Boolean TypeEqual(const void *a, const void *b) { return CFEqual(a, b); }
CFHashCode TypeHash(const void *value) { return CFHash(value); }
const void *CopyStringRetain(CFAllocatorRef, const void *value) {
  if (CFGetTypeID(value) == CFStringGetTypeID()) return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
  return CFRetain(value);
}

}  // namespace

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, TypeRetain, TypeRelease, TypeCopyDescription,
                                                                TypeEqual, TypeHash};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {0, CopyStringRetain, TypeRelease,
                                                                      TypeCopyDescription, TypeEqual, TypeHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, TypeRetain, TypeRelease, TypeCopyDescription,
                                                                    TypeEqual};

struct PL_CFDictionary : PL_CFObject {
  struct KeyHash {
    const CFDictionaryKeyCallBacks *cb;
    size_t operator()(const void *k) const {
      return cb->hash != nullptr ? size_t(cb->hash(k)) : std::hash<const void *>()(k);
    }
  };
  struct KeyEqual {
    const CFDictionaryKeyCallBacks *cb;
    bool operator()(const void *a, const void *b) const { return a == b || (cb->equal != nullptr && cb->equal(a, b)); }
  };
  using Map = std::unordered_map<const void *, const void *, KeyHash, KeyEqual>;

  PL_CFDictionary(bool mut, const CFDictionaryKeyCallBacks *kcb, const CFDictionaryValueCallBacks *vcb)
      : PL_CFObject(kPL_CFTypeIDDictionary),
        keyCallBacks(kcb != nullptr ? *kcb : CFDictionaryKeyCallBacks{0, nullptr, nullptr, nullptr, nullptr, nullptr}),
        valueCallBacks(vcb != nullptr ? *vcb : CFDictionaryValueCallBacks{0, nullptr, nullptr, nullptr, nullptr}),
        map(8, KeyHash{&keyCallBacks}, KeyEqual{&keyCallBacks}),
        isMutable(mut) {}
  ~PL_CFDictionary() override { Clear(); }

  bool Equal(const PL_CFObject &other) const override {
    const auto &o = static_cast<const PL_CFDictionary &>(other);
    if (map.size() != o.map.size()) return false;
    for (const auto &[k, v] : map) {
      auto it = o.map.find(k);
      if (it == o.map.end() || !SameValue(v, it->second)) return false;
    }
    return true;
  }
  CFHashCode Hash() const override { return CFHashCode(map.size()); }
  std::u16string Describe() const override {
    std::u16string out = u"{\n";
    for (const auto &[k, v] : map) {
      out += u"    " + DescribeWith(keyCallBacks.copyDescription, k) + u" = " +
             DescribeWith(valueCallBacks.copyDescription, v) + u";\n";
    }
    return out + u"}";
  }

  static std::u16string DescribeWith(CFDictionaryCopyDescriptionCallBack describe, const void *v) {
    if (describe == nullptr) return u"<pointer>";
    PL_CFScoped<CFStringRef> d(describe(v));
    return PL_CFStringText(d);
  }
  bool SameValue(const void *a, const void *b) const {
    return a == b || (valueCallBacks.equal != nullptr && valueCallBacks.equal(a, b));
  }
  const void *RetainKey(const void *k) const { return keyCallBacks.retain != nullptr ? keyCallBacks.retain(nullptr, k) : k; }
  const void *RetainValue(const void *v) const {
    return valueCallBacks.retain != nullptr ? valueCallBacks.retain(nullptr, v) : v;
  }
  void ReleaseKey(const void *k) const {
    if (keyCallBacks.release != nullptr) keyCallBacks.release(nullptr, k);
  }
  void ReleaseValue(const void *v) const {
    if (valueCallBacks.release != nullptr) valueCallBacks.release(nullptr, v);
  }
  void Clear() {
    Map old(8, KeyHash{&keyCallBacks}, KeyEqual{&keyCallBacks});
    old.swap(map);
    for (const auto &[k, v] : old) {
      ReleaseKey(k);
      ReleaseValue(v);
    }
  }
  void Put(const void *key, const void *value) {
    auto it = map.find(key);
    if (it == map.end()) {
      map.emplace(RetainKey(key), RetainValue(value));
      return;
    }
    const void *old = it->second;
    it->second = RetainValue(value);
    ReleaseValue(old);
  }

  const CFDictionaryKeyCallBacks keyCallBacks;
  const CFDictionaryValueCallBacks valueCallBacks;
  Map map;
  const bool isMutable;
};

namespace {

const PL_CFDictionary *Dict(CFDictionaryRef d) {
  return PL_CFIsType(d, kPL_CFTypeIDDictionary) ? static_cast<const PL_CFDictionary *>(d) : nullptr;
}
PL_CFDictionary *MutDict(CFMutableDictionaryRef d) {
  return PL_CFIsType(d, kPL_CFTypeIDDictionary) && d->isMutable ? d : nullptr;
}

PL_CFDictionary *CopyOf(const PL_CFDictionary &src, bool mut) {
  auto *d = new PL_CFDictionary(mut, &src.keyCallBacks, &src.valueCallBacks);
  for (const auto &[k, v] : src.map) d->map.emplace(d->RetainKey(k), d->RetainValue(v));
  return d;
}

}  // namespace

CFTypeID CFDictionaryGetTypeID() { return kPL_CFTypeIDDictionary; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void **keys, const void **values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks *keyCallBacks,
                                   const CFDictionaryValueCallBacks *valueCallBacks) {
  if (numValues < 0 || (numValues > 0 && (keys == nullptr || values == nullptr))) return nullptr;
  auto *d = new PL_CFDictionary(false, keyCallBacks, valueCallBacks);
  for (CFIndex k = 0; k < numValues; ++k) d->Put(keys[k], values[k]);
  return d;
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef theDict) {
  const PL_CFDictionary *src = Dict(theDict);
  return src != nullptr ? CopyOf(*src, false) : nullptr;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks *keyCallBacks,
                                                 const CFDictionaryValueCallBacks *valueCallBacks) {
  return new PL_CFDictionary(true, keyCallBacks, valueCallBacks);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex, CFDictionaryRef theDict) {
  const PL_CFDictionary *src = Dict(theDict);
  return src != nullptr ? CopyOf(*src, true) : nullptr;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
  const PL_CFDictionary *d = Dict(theDict);
  return d != nullptr ? CFIndex(d->map.size()) : 0;
}

CFIndex CFDictionaryGetCountOfKey(CFDictionaryRef theDict, const void *key) {
  return CFDictionaryContainsKey(theDict, key) ? 1 : 0;
}

CFIndex CFDictionaryGetCountOfValue(CFDictionaryRef theDict, const void *value) {
  const PL_CFDictionary *d = Dict(theDict);
  if (d == nullptr) return 0;
  CFIndex n = 0;
  for (const auto &[k, v] : d->map) n += d->SameValue(v, value) ? 1 : 0;
  return n;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void *key) {
  const PL_CFDictionary *d = Dict(theDict);
  return d != nullptr && d->map.find(key) != d->map.end();
}

Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void *value) {
  return CFDictionaryGetCountOfValue(theDict, value) > 0;
}

const void *CFDictionaryGetValue(CFDictionaryRef theDict, const void *key) {
  const void *value = nullptr;
  CFDictionaryGetValueIfPresent(theDict, key, &value);
  return value;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void *key, const void **value) {
  const PL_CFDictionary *d = Dict(theDict);
  if (d == nullptr) return false;
  auto it = d->map.find(key);
  if (it == d->map.end()) return false;
  if (value != nullptr) *value = it->second;
  return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void **keys, const void **values) {
  const PL_CFDictionary *d = Dict(theDict);
  if (d == nullptr) return;
  size_t k = 0;
  for (const auto &[key, value] : d->map) {
    if (keys != nullptr) keys[k] = key;
    if (values != nullptr) values[k] = value;
    ++k;
  }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier, void *context) {
  const PL_CFDictionary *d = Dict(theDict);
  if (d == nullptr || applier == nullptr) return;
  // A snapshot, so that an applier that reads the dictionary sees it unchanged.
  std::vector<std::pair<const void *, const void *>> entries(d->map.begin(), d->map.end());
  for (const auto &[k, v] : entries) applier(k, v, context);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void *key, const void *value) {
  PL_CFDictionary *d = MutDict(theDict);
  if (d == nullptr || d->map.find(key) != d->map.end()) return;
  d->Put(key, value);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void *key, const void *value) {
  PL_CFDictionary *d = MutDict(theDict);
  if (d != nullptr) d->Put(key, value);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void *key, const void *value) {
  PL_CFDictionary *d = MutDict(theDict);
  if (d == nullptr || d->map.find(key) == d->map.end()) return;
  d->Put(key, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void *key) {
  PL_CFDictionary *d = MutDict(theDict);
  if (d == nullptr) return;
  auto it = d->map.find(key);
  if (it == d->map.end()) return;
  const void *k = it->first;
  const void *v = it->second;
  d->map.erase(it);
  d->ReleaseKey(k);
  d->ReleaseValue(v);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict) {
  PL_CFDictionary *d = MutDict(theDict);
  if (d != nullptr) d->Clear();
}
