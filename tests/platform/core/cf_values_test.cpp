// CF values: ownership, numbers and their type tags, Booleans, arrays, dictionaries and data blocks.
#include "platform/core/cf_array.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_string.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

namespace {

CFNumberRef MakeSInt32(SInt32 v) { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v); }
CFNumberRef MakeSInt64(SInt64 v) { return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v); }
CFNumberRef MakeFloat64(double v) { return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v); }

TEST(PlatformCFValues, CreateGivesOneReferenceAndContainersRetain) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "abc", kCFStringEncodingUTF8);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFArrayAppendValue(a, s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  // Get is borrowed: no count change.
  EXPECT_EQ(CFArrayGetValueAtIndex(a, 0), s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks);
  CFDictionarySetValue(d, s, s);
  EXPECT_EQ(CFGetRetainCount(s), 4);
  CFRelease(d);
  CFRelease(a);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  // An immutable copy of an immutable string is the same value, retained.
  CFStringRef copy = CFStringCreateCopy(nullptr, s);
  EXPECT_EQ(copy, s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFRelease(copy);
  CFRelease(s);
}

TEST(PlatformCFValues, NullCallbacksKeepPlainPointers) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8);
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, nullptr);
  CFArrayAppendValue(a, s);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFStringRef same = CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8);
  // Without callbacks, equality is identity.
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(a, CFRangeMake(0, 1), same), kCFNotFound);
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(a, CFRangeMake(0, 1), s), 0);
  CFRelease(a);
  CFRelease(same);
  CFRelease(s);
}

TEST(PlatformCFValues, ConstantsAreNeverFreed) {
  CFStringRef k = CFSTR("GL NoErr");
  for (int i = 0; i < 10; ++i) CFRelease(k);
  EXPECT_EQ(CFStringGetLength(k), 8);
  EXPECT_EQ(CFSTR("GL NoErr"), k);  // equal literals share one value
  CFRelease(kCFBooleanTrue);
  EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
  EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
  // NULL is tolerated by retain and release.
  EXPECT_EQ(CFRetain(nullptr), nullptr);
  CFRelease(nullptr);
}

TEST(PlatformCFValues, CountsAreAtomicAcrossThreads) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "shared", kCFStringEncodingUTF8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([s] {
      for (int i = 0; i < 20000; ++i) {
        CFRetain(s);
        CFRelease(s);
      }
    });
  }
  for (auto &t : threads) t.join();
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);
}

TEST(PlatformCFValues, NumbersKeepTheirTypeTag) {
  struct Case {
    CFNumberType made;
    CFNumberType reported;
    bool isFloat;
  };
  const Case cases[] = {
      {kCFNumberSInt8Type, kCFNumberSInt8Type, false},     {kCFNumberShortType, kCFNumberSInt16Type, false},
      {kCFNumberSInt16Type, kCFNumberSInt16Type, false},   {kCFNumberIntType, kCFNumberSInt32Type, false},
      {kCFNumberLongType, kCFNumberSInt64Type, false},     {kCFNumberFloat32Type, kCFNumberFloat32Type, true},
      {kCFNumberDoubleType, kCFNumberFloat64Type, true},   {kCFNumberCFIndexType, kCFNumberSInt64Type, false},
  };
  for (const Case &c : cases) {
    alignas(8) unsigned char zero[8] = {};
    CFNumberRef n = CFNumberCreate(nullptr, c.made, zero);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(CFNumberGetType(n), c.reported) << "made as " << c.made;
    EXPECT_EQ(bool(CFNumberIsFloatType(n)), c.isFloat);
    CFRelease(n);
  }
  EXPECT_EQ(CFNumberCreate(nullptr, 99, nullptr), nullptr);
}

TEST(PlatformCFValues, NumberConversionsReportLoss) {
  struct Case {
    double stored;  // stored as Float64, or SInt64 when integral and `asInt`
    bool asInt;
    CFNumberType to;
    double expected;
    bool exact;
  };
  const Case cases[] = {
      {300, true, kCFNumberSInt8Type, 127, false},    // clamped
      {-300, true, kCFNumberSInt8Type, -128, false},
      {-5, true, kCFNumberSInt16Type, -5, true},      // negative values survive
      {65535, true, kCFNumberSInt16Type, 32767, false},
      {65535, true, kCFNumberSInt32Type, 65535, true},
      {3.7, false, kCFNumberSInt32Type, 3, false},    // truncated toward zero
      {-3.7, false, kCFNumberSInt32Type, -3, false},
      {4.0, false, kCFNumberSInt32Type, 4, true},
      {0.5, false, kCFNumberFloat32Type, 0.5, true},
      {0.1, false, kCFNumberFloat32Type, double(0.1f), false},
      {16777217, true, kCFNumberFloat32Type, 16777216, false},
      {16777216, true, kCFNumberFloat32Type, 16777216, true},
      {1e300, false, kCFNumberSInt64Type, double(std::numeric_limits<SInt64>::max()), false},
  };
  for (const Case &c : cases) {
    CFNumberRef n = c.asInt ? MakeSInt64(SInt64(c.stored)) : MakeFloat64(c.stored);
    double got = 0;
    bool exact = false;
    switch (c.to) {
      case kCFNumberSInt8Type: {
        SInt8 v;
        exact = CFNumberGetValue(n, c.to, &v);
        got = v;
        break;
      }
      case kCFNumberSInt16Type: {
        SInt16 v;
        exact = CFNumberGetValue(n, c.to, &v);
        got = v;
        break;
      }
      case kCFNumberSInt32Type: {
        SInt32 v;
        exact = CFNumberGetValue(n, c.to, &v);
        got = v;
        break;
      }
      case kCFNumberSInt64Type: {
        SInt64 v;
        exact = CFNumberGetValue(n, c.to, &v);
        got = double(v);
        break;
      }
      default: {
        Float32 v;
        exact = CFNumberGetValue(n, c.to, &v);
        got = v;
        break;
      }
    }
    EXPECT_EQ(got, c.expected) << c.stored << " to type " << c.to;
    EXPECT_EQ(exact, c.exact) << c.stored << " to type " << c.to;
    CFRelease(n);
  }
  double nan = std::nan("");
  CFNumberRef n = MakeFloat64(nan);
  SInt32 v = 7;
  EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &v));
  EXPECT_EQ(v, 0);
  CFRelease(n);
}

TEST(PlatformCFValues, DictionaryKeysFollowCFEqualAcrossTypes) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks);
  CFNumberRef one32 = MakeSInt32(1);
  CFNumberRef one64 = MakeSInt64(1);
  CFNumberRef oneReal = MakeFloat64(1.0);
  CFNumberRef half = MakeFloat64(0.5);
  CFStringRef oneText = CFSTR("1");
  CFDictionarySetValue(d, one32, CFSTR("number"));
  CFDictionarySetValue(d, oneText, CFSTR("text"));
  // Equal numbers of other types are the same key; a string "1" is another key.
  EXPECT_EQ(CFDictionaryGetCount(d), 2);
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(d, one64), CFSTR("number")));
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(d, oneReal), CFSTR("number")));
  EXPECT_EQ(CFDictionaryGetValue(d, half), nullptr);
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(d, oneText), CFSTR("text")));
  // A key made at run time finds the constant's entry.
  CFStringRef runtimeKey = CFStringCreateWithCString(nullptr, "1", kCFStringEncodingUTF8);
  EXPECT_TRUE(CFDictionaryContainsKey(d, runtimeKey));
  // Add keeps, Replace needs the key, Set does both.
  CFDictionaryAddValue(d, one64, CFSTR("other"));
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(d, one32), CFSTR("number")));
  CFDictionaryReplaceValue(d, half, CFSTR("absent"));
  EXPECT_FALSE(CFDictionaryContainsKey(d, half));
  CFDictionaryReplaceValue(d, oneReal, CFSTR("replaced"));
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(d, one32), CFSTR("replaced")));
  CFDictionaryRemoveValue(d, runtimeKey);
  EXPECT_EQ(CFDictionaryGetCount(d), 1);

  CFDictionaryRef copy = CFDictionaryCreateCopy(nullptr, d);
  EXPECT_TRUE(CFEqual(copy, d));
  CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(copy), half, half);
  EXPECT_EQ(CFDictionaryGetCount(copy), 1);  // immutable: ignored
  CFRelease(copy);
  for (CFTypeRef r : {static_cast<CFTypeRef>(d), CFTypeRef(one32), CFTypeRef(one64), CFTypeRef(oneReal),
                      CFTypeRef(half), CFTypeRef(runtimeKey)}) {
    CFRelease(r);
  }
}

TEST(PlatformCFValues, ArrayEditsAndBounds) {
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  for (const char *t : {"b", "d", "a", "c"}) {
    CFStringRef s = CFStringCreateWithCString(nullptr, t, kCFStringEncodingUTF8);
    CFArrayAppendValue(a, s);
    CFRelease(s);
  }
  CFArraySortValues(
      a, CFRangeMake(0, CFArrayGetCount(a)),
      [](const void *x, const void *y, void *) {
        return CFStringCompare(static_cast<CFStringRef>(x), static_cast<CFStringRef>(y), 0);
      },
      nullptr);
  CFStringRef joined = CFStringCreateByCombiningStrings(nullptr, a, CFSTR(","));
  EXPECT_TRUE(CFEqual(joined, CFSTR("a,b,c,d")));
  CFRelease(joined);
  CFArrayRemoveValueAtIndex(a, 0);
  CFArrayInsertValueAtIndex(a, 3, CFSTR("e"));
  CFArraySetValueAtIndex(a, 4, CFSTR("f"));  // the count itself appends
  CFArrayExchangeValuesAtIndices(a, 0, 4);
  joined = CFStringCreateByCombiningStrings(nullptr, a, CFSTR(""));
  EXPECT_TRUE(CFEqual(joined, CFSTR("fcdeb")));
  CFRelease(joined);
  // Out of range: reads give NULL, writes are ignored.
  EXPECT_EQ(CFArrayGetValueAtIndex(a, 5), nullptr);
  EXPECT_EQ(CFArrayGetValueAtIndex(a, -1), nullptr);
  CFArrayInsertValueAtIndex(a, 9, CFSTR("x"));
  CFArrayRemoveValueAtIndex(a, 9);
  EXPECT_EQ(CFArrayGetCount(a), 5);
  CFArrayRef parts = CFStringCreateArrayBySeparatingStrings(nullptr, CFSTR("a::b::"), CFSTR("::"));
  EXPECT_EQ(CFArrayGetCount(parts), 3);
  EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(parts, 2), CFSTR("")));
  CFRelease(parts);
  CFRelease(a);
}

TEST(PlatformCFValues, DataBlocksCopyAndGrow) {
  const UInt8 bytes[] = {1, 2, 3, 4};
  CFDataRef d = CFDataCreate(nullptr, bytes, 4);
  CFMutableDataRef m = CFDataCreateMutableCopy(nullptr, 0, d);
  CFDataAppendBytes(m, CFDataGetBytePtr(m), CFDataGetLength(m));  // appending from itself is safe
  EXPECT_EQ(CFDataGetLength(m), 8);
  CFDataIncreaseLength(m, 2);
  EXPECT_EQ(CFDataGetBytePtr(m)[9], 0);
  CFDataDeleteBytes(m, CFRangeMake(1, 100));
  EXPECT_EQ(CFDataGetLength(m), 1);
  const UInt8 repl[] = {9, 9};
  CFDataReplaceBytes(m, CFRangeMake(0, 1), repl, 2);
  UInt8 out[2] = {};
  CFDataGetBytes(m, CFRangeMake(0, 2), out);
  EXPECT_EQ(out[1], 9);
  EXPECT_FALSE(CFEqual(d, m));
  EXPECT_EQ(CFDataCreate(nullptr, nullptr, 3), nullptr);
  CFDataRef empty = CFDataCreate(nullptr, nullptr, 0);
  EXPECT_NE(CFDataGetBytePtr(empty), nullptr);
  CFRelease(empty);
  CFRelease(m);
  CFRelease(d);
}

TEST(PlatformCFValues, DescriptionsNameTheirValues) {
  CFNumberRef n = MakeSInt32(-42);
  CFNumberRef f = MakeFloat64(0.25);
  const void *values[] = {n, f, kCFBooleanTrue};
  CFArrayRef a = CFArrayCreate(nullptr, values, 3, &kCFTypeArrayCallBacks);
  CFStringRef desc = CFCopyDescription(a);
  EXPECT_TRUE(CFEqual(desc, CFSTR("(\n    -42,\n    0.25,\n    true\n)")));
  CFRelease(desc);
  CFRelease(a);
  CFRelease(f);
  CFRelease(n);
}

}  // namespace
