// XML property lists: round trips that keep number kinds and signs, mutability options, and damaged or
// foreign input that must give NULL and an error.
#include "platform/core/cf_plist.h"

#include "platform/core/cf_array.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_date.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_error.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_string.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

CFDataRef DataOf(const std::string &text) {
  return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(text.data()), CFIndex(text.size()));
}

std::string TextOf(CFDataRef data) {
  return std::string(reinterpret_cast<const char *>(CFDataGetBytePtr(data)), size_t(CFDataGetLength(data)));
}

// A settings-like dictionary with every kind of value.
CFDictionaryRef MakeSample() {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks);
  const SInt16 rect[4] = {-10, 20, 110, 220};
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  for (SInt16 v : rect) {
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt16Type, &v);
    CFArrayAppendValue(a, n);
    CFRelease(n);
  }
  CFDictionarySetValue(d, CFSTR("Crop Rect"), a);
  CFRelease(a);
  const SInt64 big = -9223372036854775807LL - 1;
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt64Type, &big);
  CFDictionarySetValue(d, CFSTR("Most negative"), n);
  CFRelease(n);
  const Float32 gamma = 2.2222223f;
  n = CFNumberCreate(nullptr, kCFNumberFloat32Type, &gamma);
  CFDictionarySetValue(d, CFSTR("Gamma"), n);
  CFRelease(n);
  const Float64 whole = 3.0;  // a real with an integral value stays a real
  n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &whole);
  CFDictionarySetValue(d, CFSTR("Whole real"), n);
  CFRelease(n);
  CFDictionarySetValue(d, CFSTR("Copy sound"), kCFBooleanTrue);
  CFDictionarySetValue(d, CFSTR("Text & <markup> \"quoted\"  "), CFSTR("  two spaces, caf\xC3\xA9, \xF0\x9F\x8E\xAC\n"));
  CFDictionarySetValue(d, CFSTR("Empty"), CFSTR(""));
  const UInt8 bytes[] = {0, 1, 2, 253, 254, 255, 'a'};
  CFDataRef data = CFDataCreate(nullptr, bytes, sizeof bytes);
  CFDictionarySetValue(d, CFSTR("Bytes"), data);
  CFRelease(data);
  CFDateRef date = CFDateCreate(nullptr, 123456789.0);
  CFDictionarySetValue(d, CFSTR("When"), date);
  CFRelease(date);
  CFMutableDictionaryRef inner = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                           &kCFTypeDictionaryValueCallBacks);
  CFDictionarySetValue(d, CFSTR("Inner"), inner);
  CFRelease(inner);
  return d;
}

TEST(PlatformCFPlist, RoundTripKeepsValuesKindsAndSigns) {
  CFDictionaryRef sample = MakeSample();
  CFErrorRef error = nullptr;
  CFDataRef xml = CFPropertyListCreateData(nullptr, sample, kCFPropertyListXMLFormat_v1_0, 0, &error);
  ASSERT_NE(xml, nullptr);
  EXPECT_EQ(error, nullptr);
  const std::string text = TextOf(xml);
  EXPECT_NE(text.find("<integer>-9223372036854775808</integer>"), std::string::npos) << text;
  EXPECT_NE(text.find("<integer>-10</integer>"), std::string::npos);
  EXPECT_NE(text.find("<real>3</real>"), std::string::npos);
  EXPECT_NE(text.find("<date>2004-11-29T21:33:09Z</date>"), std::string::npos);

  CFPropertyListFormat format = 0;
  CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, xml, kCFPropertyListImmutable, &format, &error);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(format, kCFPropertyListXMLFormat_v1_0);
  EXPECT_TRUE(CFEqual(back, sample));
  auto dict = static_cast<CFDictionaryRef>(back);
  auto whole = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("Whole real")));
  EXPECT_TRUE(CFNumberIsFloatType(whole));
  auto rect = static_cast<CFArrayRef>(CFDictionaryGetValue(dict, CFSTR("Crop Rect")));
  EXPECT_FALSE(CFNumberIsFloatType(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(rect, 0))));
  // A Float32 reads back exactly as Float32.
  Float32 gamma = 0;
  EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("Gamma"))),
                               kCFNumberFloat32Type, &gamma));
  EXPECT_EQ(gamma, 2.2222223f);
  // Immutable unless asked otherwise.
  CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(dict), CFSTR("New"), kCFBooleanFalse);
  EXPECT_FALSE(CFDictionaryContainsKey(dict, CFSTR("New")));
  // Writing again gives the same bytes (keys are sorted).
  CFDataRef again = CFPropertyListCreateXMLData(nullptr, back);
  EXPECT_TRUE(CFEqual(again, xml));
  CFRelease(again);
  CFRelease(back);
  CFRelease(xml);
  CFRelease(sample);
}

TEST(PlatformCFPlist, MutabilityOptions) {
  CFDataRef xml = DataOf(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>a</key><array>"
      "<string>s</string></array></dict></plist>");
  CFPropertyListRef plist = CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListMutableContainersAndLeaves,
                                                            nullptr);
  ASSERT_NE(plist, nullptr);
  auto dict = static_cast<CFMutableDictionaryRef>(const_cast<void *>(plist));
  CFDictionarySetValue(dict, CFSTR("b"), kCFBooleanTrue);
  EXPECT_EQ(CFDictionaryGetCount(dict), 2);
  auto array = static_cast<CFMutableArrayRef>(const_cast<void *>(CFDictionaryGetValue(dict, CFSTR("a"))));
  auto leaf = static_cast<CFMutableStringRef>(const_cast<void *>(CFArrayGetValueAtIndex(array, 0)));
  CFStringAppend(leaf, CFSTR("!"));
  EXPECT_TRUE(CFEqual(leaf, CFSTR("s!")));
  CFArrayAppendValue(array, kCFBooleanFalse);
  EXPECT_EQ(CFArrayGetCount(array), 2);
  CFPropertyListRef copy = CFPropertyListCreateDeepCopy(nullptr, plist, kCFPropertyListImmutable);
  EXPECT_TRUE(CFEqual(copy, plist));
  CFRelease(copy);
  CFRelease(plist);
  CFRelease(xml);
}

TEST(PlatformCFPlist, ForeignButValidSpellingsAreRead) {
  const char *text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//x//DTD PLIST 1.0//EN\" \"plist.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n\t<!-- a comment -->\n\t<key>hex</key><integer> 0x1F </integer>\n"
      "\t<key>plus</key><integer>+5</integer>\n\t<key>inf</key><real>-infinity</real>\n"
      "\t<key>spaces</key><string>   </string>\n\t<key>empty</key><string/>\n"
      "\t<key>wrapped</key><data>\n\tAAEC\n\t/f7/\n\t</data>\n\t<key>list</key><array>\n\t</array>\n"
      "\t<key>entity</key><string>a&amp;b&#x2026;</string>\n</dict>\n</plist>\n";
  CFDataRef xml = DataOf(text);
  CFStringRef error = nullptr;
  auto dict = static_cast<CFDictionaryRef>(CFPropertyListCreateFromXMLData(nullptr, xml, 0, &error));
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(error, nullptr);
  SInt32 v = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("hex"))), kCFNumberSInt32Type, &v);
  EXPECT_EQ(v, 31);
  CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("plus"))), kCFNumberSInt32Type, &v);
  EXPECT_EQ(v, 5);
  double inf = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("inf"))), kCFNumberFloat64Type, &inf);
  EXPECT_TRUE(std::isinf(inf) && inf < 0);
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict, CFSTR("spaces")), CFSTR("   ")));
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict, CFSTR("empty")), CFSTR("")));
  EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("wrapped")))), 6);
  EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(CFDictionaryGetValue(dict, CFSTR("list")))), 0);
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict, CFSTR("entity")), CFSTR("a&b\xE2\x80\xA6")));
  CFRelease(dict);
  CFRelease(xml);
}

TEST(PlatformCFPlist, DamagedInputGivesNullAndAnError) {
  const std::string head = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
  const std::string tail = "</plist>";
  std::string nested;
  for (int i = 0; i < 600; ++i) nested += "<array>";
  for (int i = 0; i < 600; ++i) nested += "</array>";
  const std::string cases[] = {
      "",
      "not xml at all",
      head + "<dict><key>a</key>" + tail,                                      // truncated
      head + "<dict><key>a</key></dict>" + tail,                               // key without value
      head + "<dict><string>a</string><true/></dict>" + tail,                  // value without key
      head + "<dict><key>a</key><key>b</key><true/></dict>" + tail,            // two keys
      head + "<integer>12x</integer>" + tail,
      head + "<integer></integer>" + tail,
      head + "<integer>9223372036854775808</integer>" + tail,                   // out of range
      head + "<real>1.5.2</real>" + tail,
      head + "<data>AB$C</data>" + tail,
      head + "<date>yesterday</date>" + tail,
      head + "<date>2004-13-01T00:00:00Z</date>" + tail,
      head + "<color>red</color>" + tail,                                      // unknown element
      head + "<true>yes</true>" + tail,
      head + "<array><string>a<b/></string></array>" + tail,
      head + "<true/><false/>" + tail,                                          // two roots
      head + tail,                                                              // empty
      head + nested + tail,                                                     // too deep
      "bplist00\x01\x02",
      head + "<string>\xC3</string>" + tail,                                    // not UTF-8
  };
  for (const std::string &text : cases) {
    CFDataRef data = DataOf(text);
    CFErrorRef error = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, &error);
    EXPECT_EQ(plist, nullptr) << text.substr(0, 120);
    ASSERT_NE(error, nullptr) << text.substr(0, 120);
    EXPECT_EQ(CFErrorGetCode(error), kCFPropertyListReadCorruptError);
    CFStringRef description = CFErrorCopyDescription(error);
    EXPECT_GT(CFStringGetLength(description), 0);
    CFRelease(description);
    CFRelease(error);
    CFStringRef errorString = nullptr;
    EXPECT_EQ(CFPropertyListCreateFromXMLData(nullptr, data, 0, &errorString), nullptr);
    EXPECT_NE(errorString, nullptr);
    CFRelease(errorString);
    CFRelease(data);
  }
}

TEST(PlatformCFPlist, ValuesThatAreNoPropertyListAreRefused) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks);
  const SInt32 one = 1;
  CFNumberRef key = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
  CFDictionarySetValue(d, key, CFSTR("number key"));
  EXPECT_FALSE(CFPropertyListIsValid(d, kCFPropertyListXMLFormat_v1_0));
  EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, d), nullptr);
  CFErrorRef error = nullptr;
  EXPECT_EQ(CFPropertyListCreateData(nullptr, d, kCFPropertyListXMLFormat_v1_0, 0, &error), nullptr);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(CFErrorGetCode(error), kCFPropertyListWriteInvalidError);
  CFRelease(error);
  EXPECT_EQ(CFPropertyListCreateData(nullptr, CFSTR("x"), kCFPropertyListBinaryFormat_v1_0, 0, &error), nullptr);
  CFRelease(error);
  // An array that holds itself is cut off by the depth limit, not by the stack.
  CFMutableArrayRef loop = CFArrayCreateMutable(nullptr, 0, nullptr);
  CFArrayAppendValue(loop, loop);
  EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, loop), nullptr);
  CFRelease(loop);
  CFRelease(key);
  CFRelease(d);
}

}  // namespace
