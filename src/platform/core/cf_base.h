// CoreFoundation stand-in: the object base shared by every CF value (reference counts, type ids, equality,
// hashing, descriptions) and the basic CF types.
//
// Ownership follows the CF rule: a function with Create or Copy in its name returns an owned reference that
// the caller gives back with CFRelease; Get returns a borrowed one, valid while its owner lives. Counts are
// atomic, so values may be shared between tasks; mutating one value from two tasks at once is not allowed.
// Constant values (CFSTR strings, kCFBooleanTrue/False, the main bundle) are never freed; retaining and
// releasing them does nothing.
#pragma once

#include "platform/core/mac_types.h"

#include <type_traits>

typedef const void *CFTypeRef;
typedef SInt64 CFIndex;
typedef UInt64 CFTypeID;
typedef UInt64 CFHashCode;
typedef UInt64 CFOptionFlags;
typedef CFIndex CFComparisonResult;
typedef CFTypeRef CFPropertyListRef;
typedef UInt32 CFStringEncoding;

struct CFRange {
  CFIndex location;
  CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) { return CFRange{location, length}; }

enum : CFIndex { kCFNotFound = -1 };
enum : CFComparisonResult { kCFCompareLessThan = -1, kCFCompareEqualTo = 0, kCFCompareGreaterThan = 1 };
typedef CFComparisonResult (*CFComparatorFunction)(const void *val1, const void *val2, void *context);

// Allocators are accepted and ignored, except kCFAllocatorNull where a NoCopy call takes a buffer:
// it says that the buffer is not ours to free.
typedef const struct PL_CFAllocator *CFAllocatorRef;
extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFAllocatorRef kCFAllocatorSystemDefault;
extern const CFAllocatorRef kCFAllocatorMalloc;
extern const CFAllocatorRef kCFAllocatorNull;

// The opaque value types. Every one of them is a CF object.
typedef const struct PL_CFString *CFStringRef;
typedef struct PL_CFString *CFMutableStringRef;
typedef const struct PL_CFNumber *CFNumberRef;
typedef const struct PL_CFBoolean *CFBooleanRef;
typedef const struct PL_CFArray *CFArrayRef;
typedef struct PL_CFArray *CFMutableArrayRef;
typedef const struct PL_CFDictionary *CFDictionaryRef;
typedef struct PL_CFDictionary *CFMutableDictionaryRef;
typedef const struct PL_CFData *CFDataRef;
typedef struct PL_CFData *CFMutableDataRef;
typedef const struct PL_CFDate *CFDateRef;
typedef const struct PL_CFURL *CFURLRef;
typedef struct PL_CFError *CFErrorRef;
typedef struct PL_CFBundle *CFBundleRef;
typedef const struct PL_CFTimeZone *CFTimeZoneRef;
typedef const struct PL_CFLocale *CFLocaleRef;
typedef struct PL_CFDateFormatter *CFDateFormatterRef;
typedef const struct PL_CFNull *CFNullRef;

// Tells the formatter which pointer types are CF objects (so that "%@" and "%s" can take them).
template <class T>
struct PL_IsCFObjectType : std::false_type {};
template <> struct PL_IsCFObjectType<PL_CFString> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFNumber> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFBoolean> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFArray> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFDictionary> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFData> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFDate> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFURL> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFError> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFBundle> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFTimeZone> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFLocale> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFDateFormatter> : std::true_type {};
template <> struct PL_IsCFObjectType<PL_CFNull> : std::true_type {};

// Retained: the count goes up by one; returns `cf`. NULL is passed through.
CFTypeRef CFRetain(CFTypeRef cf);
// Gives back one reference; the value is freed with the last. NULL is ignored.
void CFRelease(CFTypeRef cf);
// The current count; constants answer a very large number, NULL answers 0.
CFIndex CFGetRetainCount(CFTypeRef cf);
CFTypeID CFGetTypeID(CFTypeRef cf);
// Same type and same contents (numbers compare by value across their types); NULL equals only NULL.
Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
// Equal values hash alike.
CFHashCode CFHash(CFTypeRef cf);
// Owned: a readable text of the value (a string's own text, a number's digits, a collection's elements).
CFStringRef CFCopyDescription(CFTypeRef cf);
// Owned: the name of a type id ("CFString", ...).
CFStringRef CFCopyTypeIDDescription(CFTypeID typeID);
// Writes the description to standard error, for debugging.
void CFShow(CFTypeRef obj);

// The null object of property lists and collections.
CFTypeID CFNullGetTypeID();
extern const CFNullRef kCFNull;

// A scoped holder for bodies of functions: releases what it holds on every return path. Never part of a
// record or a signature.
template <class T>
class PL_CFScoped {
 public:
  PL_CFScoped() = default;
  explicit PL_CFScoped(T ref) : ref_(ref) {}
  ~PL_CFScoped() {
    if (ref_ != nullptr) CFRelease(ref_);
  }
  PL_CFScoped(const PL_CFScoped &) = delete;
  PL_CFScoped &operator=(const PL_CFScoped &) = delete;
  T get() const { return ref_; }
  operator T() const { return ref_; }
  // Takes over `ref`, releasing what was held.
  void reset(T ref = nullptr) {
    if (ref_ != nullptr) CFRelease(ref_);
    ref_ = ref;
  }
  // Hands the reference to the caller without releasing it.
  T release() {
    T r = ref_;
    ref_ = nullptr;
    return r;
  }

 private:
  T ref_ = nullptr;
};
