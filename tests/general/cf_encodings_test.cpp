// Dictionary encodings: their stored forms, round trips through a dictionary and through the preferences
// file on disk, damaged and mistyped values, aliases in dictionaries, property-list files and printing.
#include "general/cf_encodings.h"

#include "general/error_keys.h"
#include "general/geometry.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/core_foundation.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/image_descriptions.h"
#include "support/cf_check.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

namespace {

using bz_test::CFText;

CFNumberType TypeOf(CFTypeRef number) { return CFNumberGetType(static_cast<CFNumberRef>(number)); }

SInt64 ValueOf(CFTypeRef number) {
  SInt64 v = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberSInt64Type, &v);
  return v;
}

// A non-rectangular region: an L of two rectangles.
RgnHandle MakeLRegion() {
  RgnHandle a = NewRgn(), b = NewRgn();
  const Rect r1{10, 10, 20, 40}, r2{20, 10, 35, 18};
  RectRgn(a, &r1);
  RectRgn(b, &r2);
  UnionRgn(a, b, a);
  DisposeRgn(b);
  return a;
}

// Every encoding under its own key.
CFDictionaryRef MakeAllEncodings(RgnHandle lRegion) {
  CFMutableDictionaryRef d = CF_DictCreateMut();
  const Rect rect{10, 20, 110, 220}, negative{-5, -300, 7, 32767};
  const Point point{5, 7};  // v 5, h 7
  PL_CFScoped<CFArrayRef> rectArray(CF_CopyRectToCFArray(&rect));
  PL_CFScoped<CFArrayRef> negativeArray(CF_CopyRectToCFArray(&negative));
  PL_CFScoped<CFArrayRef> pointArray(CF_CopyPointToCFArray(&point));
  CFDictionarySetValue(d, CFSTR("Rect"), rectArray);
  CFDictionarySetValue(d, CFSTR("Negative Rect"), negativeArray);
  CFDictionarySetValue(d, CFSTR("Point"), pointArray);
  PL_CFScoped<CFDictionaryRef> rgn(CF_CreateRgnDict(lRegion));
  CFDictionarySetValue(d, CFSTR("Region"), rgn);
  CF_AddEnumToDict(d, CFSTR("Mode"), -3);
  CF_AddUnsignedToDict(d, CFSTR("U8"), 255, 8);
  CF_AddUnsignedToDict(d, CFSTR("U16"), 65535, 16);
  CF_AddUnsignedToDict(d, CFSTR("U32"), 0x80000001u, 32);
  CF_AddSInt8ToDict(d, CFSTR("S8"), -128);
  CF_AddSInt16ToDict(d, CFSTR("S16"), -32768);
  CF_AddSInt32ToDict(d, CFSTR("S32"), INT32_MIN);
  CF_AddSInt64ToDict(d, CFSTR("S64"), INT64_MIN);
  CF_AddFloat32ToDict(d, CFSTR("F32"), 0.1f);
  CF_AddFloat64ToDict(d, CFSTR("F64"), -1e300);
  const SInt32 s32[] = {-1, 0, 2147483647};
  PL_CFScoped<CFArrayRef> s32Array(CF_CreateSInt32Array(s32, 3));
  CFDictionarySetValue(d, CFSTR("S32 Array"), s32Array);
  const UInt16 u16[] = {0, 65535};
  PL_CFScoped<CFArrayRef> u16Array(CF_CreateUnsignedArray(16, u16, 2));
  CFDictionarySetValue(d, CFSTR("U16 Array"), u16Array);
  const Boolean flags[] = {true, false, 2};
  PL_CFScoped<CFArrayRef> boolArray(CF_CreateBooleanArray(flags, 3));
  CFDictionarySetValue(d, CFSTR("Bool Array"), boolArray);
  CF_AddBooleanToDict(d, CFSTR("Bool"), true);
  HFSUniStr255 name{};
  const char16_t text[] = u"Clip \u00e9t\u00e9.mov";
  name.length = UInt16(std::char_traits<char16_t>::length(text));
  std::memcpy(name.unicode, text, name.length * 2);
  CF_AddHFSNameToDict(d, CFSTR("Name"), &name);
  CF_AddCStringToDict(d, CFSTR("CString"), "abc");
  CF_AddMacRomanCStringToDict(d, CFSTR("MacRoman"), "caf\x8e");  // café in Mac Roman
  CF_AddOSTypeToDict(d, CFSTR("Type"), 'TVOD');
  CF_AddOSTypeToDict(d, CFSTR("Short Type"), 'ab\0\0');
  const UInt8 bytes[] = {0, 1, 2, 254, 255};
  CF_AddDataToDict(d, CFSTR("Data"), bytes, sizeof bytes);
  MatrixRecord matrix;
  for (int i = 0; i < 9; ++i) matrix.matrix[i / 3][i % 3] = Fixed(i == 8 ? INT32_MIN : (i - 4) * 65536 + i);
  PL_CFScoped<CFArrayRef> matrixArray(CF_CreateMatrixArray(&matrix));
  CFDictionarySetValue(d, CFSTR("Matrix"), matrixArray);
  const PixelAspectRatioImageDescriptionExtension pasp{40, 0xFFFFFFFFu};
  PL_CFScoped<CFDictionaryRef> paspDict(CF_CreatePaspIdeExtDict(&pasp));
  CFDictionarySetValue(d, CFSTR("pasp"), paspDict);
  const CleanApertureImageDescriptionExtension clap{704, 1, 576, 1, -8, 2, 0x7FFFFFFF, 0x80000000u};
  PL_CFScoped<CFDictionaryRef> clapDict(CF_CreateClapIdeExtDict(&clap));
  CFDictionarySetValue(d, CFSTR("clap"), clapDict);
  const RGBColor color{65535, 1, 32768};
  PL_CFScoped<CFDictionaryRef> rgb(CF_CreateRGBDict(&color));
  CFDictionarySetValue(d, CFSTR("Colour"), rgb);
  CF_AddDurationToDict(d, CFSTR("Duration"), 3725);
  return d;
}

void CheckAllEncodings(CFDictionaryRef d, RgnHandle lRegion) {
  Rect rect{};
  ASSERT_TRUE(CF_GetRectFromDict(d, CFSTR("Rect"), &rect));
  EXPECT_EQ(rect.top, 10);
  EXPECT_EQ(rect.left, 20);
  EXPECT_EQ(rect.bottom, 110);
  EXPECT_EQ(rect.right, 220);
  ASSERT_TRUE(CF_GetRectFromDict(d, CFSTR("Negative Rect"), &rect));
  EXPECT_EQ(rect.left, -300);
  EXPECT_EQ(rect.right, 32767);
  Point point{};
  ASSERT_TRUE(CF_GetPointFromDict(d, CFSTR("Point"), &point));
  EXPECT_EQ(point.v, 5);
  EXPECT_EQ(point.h, 7);

  RgnHandle rgn = CF_GetRgnFromDict(static_cast<CFDictionaryRef>(CFDictionaryGetValue(d, CFSTR("Region"))));
  ASSERT_NE(rgn, nullptr);
  EXPECT_TRUE(EqualRgn(rgn, lRegion)) << "the region comes back as it was, not as its bounds";
  DisposeRgn(rgn);

  EXPECT_EQ(CF_GetEnumFromDict(d, CFSTR("Mode")), -3);
  UInt32 u = 0;
  ASSERT_TRUE(CF_GetUnsignedFromDict(d, CFSTR("U8"), &u, 8));
  EXPECT_EQ(u, 255u);
  ASSERT_TRUE(CF_GetUnsignedFromDict(d, CFSTR("U16"), &u, 16));
  EXPECT_EQ(u, 65535u);
  ASSERT_TRUE(CF_GetUnsignedFromDict(d, CFSTR("U32"), &u, 32));
  EXPECT_EQ(u, 0x80000001u);
  SInt8 s8 = 0;
  SInt16 s16 = 0;
  SInt32 s32 = 0;
  SInt64 s64 = 0;
  Float32 f32 = 0;
  Float64 f64 = 0;
  ASSERT_TRUE(CF_GetSInt8FromDict(d, CFSTR("S8"), &s8));
  ASSERT_TRUE(CF_GetSInt16FromDict(d, CFSTR("S16"), &s16));
  ASSERT_TRUE(CF_GetSInt32FromDict(d, CFSTR("S32"), &s32));
  ASSERT_TRUE(CF_GetSInt64FromDict(d, CFSTR("S64"), &s64));
  ASSERT_TRUE(CF_GetFloat32FromDict(d, CFSTR("F32"), &f32));
  ASSERT_TRUE(CF_GetFloat64FromDict(d, CFSTR("F64"), &f64));
  EXPECT_EQ(s8, -128);
  EXPECT_EQ(s16, -32768);
  EXPECT_EQ(s32, INT32_MIN);
  EXPECT_EQ(s64, INT64_MIN);
  EXPECT_EQ(f32, 0.1f);
  EXPECT_EQ(f64, -1e300);

  SInt32 values[3] = {};
  CFIndex count = 0;
  ASSERT_TRUE(CF_GetSInt32ValuesFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("S32 Array"))),
                                          values, 3, &count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(values[0], -1);
  EXPECT_EQ(values[2], 2147483647);
  UInt16 u16[2] = {};
  ASSERT_TRUE(CF_GetUnsignedValuesFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("U16 Array"))), 16,
                                            u16, 2, &count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(u16[1], 65535);
  Boolean flags[3] = {};
  ASSERT_TRUE(CF_GetBooleanValuesFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("Bool Array"))),
                                           flags, 3, &count));
  EXPECT_TRUE(flags[0] && !flags[1] && flags[2]);
  Boolean b = false;
  ASSERT_TRUE(CF_GetBooleanFromDict(d, CFSTR("Bool"), &b));
  EXPECT_TRUE(b);

  HFSUniStr255 name;
  ASSERT_TRUE(CF_GetHFSNameFromDict(d, CFSTR("Name"), &name));
  EXPECT_EQ(bz_test::Utf8(name), "Clip \u00e9t\u00e9.mov");
  char buffer[256];
  ASSERT_TRUE(CF_GetCStringFromDict(d, CFSTR("CString"), buffer, 4));
  EXPECT_STREQ(buffer, "abc");
  ASSERT_TRUE(CF_GetMacRomanCStringFromDict(d, CFSTR("MacRoman"), buffer));
  EXPECT_STREQ(buffer, "caf\x8e");
  EXPECT_EQ(CF_GetOSTypeFromDict(d, CFSTR("Type")), OSType('TVOD'));
  EXPECT_EQ(CF_GetOSTypeFromDict(d, CFSTR("Short Type")), OSType('ab\0\0'));

  void *block = nullptr;
  size_t size = 0;
  ASSERT_TRUE(CF_GetDataFromDict(d, CFSTR("Data"), &block, &size));
  ASSERT_EQ(size, 5u);
  EXPECT_EQ(static_cast<UInt8 *>(block)[3], 254);
  std::free(block);
  Handle h = nullptr;
  ASSERT_TRUE(CF_GetDataFromDictAsHandle(d, CFSTR("Data"), &h));
  EXPECT_EQ(GetHandleSize(h), 5);
  DisposeHandle(h);

  MatrixRecord matrix{};
  ASSERT_TRUE(CF_GetMatrixFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("Matrix"))), &matrix));
  EXPECT_EQ(matrix.matrix[0][0], -4 * 65536);
  EXPECT_EQ(matrix.matrix[1][2], 1 * 65536 + 5) << "row by row";
  EXPECT_EQ(matrix.matrix[2][2], INT32_MIN);
  PixelAspectRatioImageDescriptionExtension pasp{};
  ASSERT_TRUE(CF_GetPaspIdeExtFromDict(static_cast<CFDictionaryRef>(CFDictionaryGetValue(d, CFSTR("pasp"))), &pasp));
  EXPECT_EQ(pasp.hSpacing, 40u);
  EXPECT_EQ(pasp.vSpacing, 0xFFFFFFFFu);
  CleanApertureImageDescriptionExtension clap{};
  ASSERT_TRUE(CF_GetClapIdeExtFromDict(static_cast<CFDictionaryRef>(CFDictionaryGetValue(d, CFSTR("clap"))), &clap));
  EXPECT_EQ(clap.cleanApertureWidthN, 704u);
  EXPECT_EQ(clap.cleanApertureHeightN, 576u);
  EXPECT_EQ(clap.horizOffN, -8);
  EXPECT_EQ(clap.horizOffD, 2u);
  EXPECT_EQ(clap.vertOffN, 0x7FFFFFFF);
  EXPECT_EQ(clap.vertOffD, 0x80000000u);

  RGBColor color{};
  ASSERT_TRUE(CF_GetRGBFromDict(d, CFSTR("Colour"), &color));
  EXPECT_EQ(color.red, 65535);
  EXPECT_EQ(color.green, 1);
  EXPECT_EQ(color.blue, 32768);
  EXPECT_EQ(CF_GetDurationFromDict(d, CFSTR("Duration")), 3725);
}

class EncodingsTest : public ::testing::Test {
 protected:
  EncodingsTest() : home_(dir_.path()) { PL_CFPreferencesForgetAll(); }
  ~EncodingsTest() override { PL_CFPreferencesForgetAll(); }
  bz_test::TempDir dir_;
  bz_test::FakeHome home_;
};

TEST_F(EncodingsTest, EveryEncodingRoundTripsThroughADictionaryAndThePreferencesFile) {
  RgnHandle lRegion = MakeLRegion();
  PL_CFScoped<CFDictionaryRef> all(MakeAllEncodings(lRegion));
  {
    SCOPED_TRACE("in memory");
    CheckAllEncodings(all, lRegion);
  }
  CF_SaveValueInPrefs(CFSTR("Project Prefs"), all);
  ASSERT_TRUE(CF_SavePreferencesToDisk());
  PL_CFPreferencesForgetAll();  // as after a new start
  PL_CFScoped<CFMutableDictionaryRef> back(CF_CopyMutDictFromPrefs(CFSTR("Project Prefs")));
  ASSERT_NE(back.get(), nullptr);
  {
    SCOPED_TRACE("from the file");
    CheckAllEncodings(back, lRegion);
  }
  DisposeRgn(lRegion);
}

// The stored forms are a file format: element types, order and keys.
TEST_F(EncodingsTest, StoredFormsAreFixed) {
  const Rect rect{10, 20, 110, 220};
  PL_CFScoped<CFArrayRef> r(CF_CopyRectToCFArray(&rect));
  ASSERT_EQ(CFArrayGetCount(r), 4);
  const SInt64 expected[] = {10, 20, 110, 220};
  for (CFIndex i = 0; i < 4; ++i) {
    EXPECT_EQ(TypeOf(CFArrayGetValueAtIndex(r, i)), kCFNumberSInt16Type);
    EXPECT_EQ(ValueOf(CFArrayGetValueAtIndex(r, i)), expected[i]);
  }
  const Point point{5, 7};
  PL_CFScoped<CFArrayRef> p(CF_CopyPointToCFArray(&point));
  EXPECT_EQ(ValueOf(CFArrayGetValueAtIndex(p, 0)), 7);
  EXPECT_EQ(ValueOf(CFArrayGetValueAtIndex(p, 1)), 5);

  struct UnsignedCase {
    UInt32 bits, value;
    CFNumberType type;
  };
  for (const UnsignedCase &c : {UnsignedCase{8, 200, kCFNumberSInt16Type}, UnsignedCase{16, 65535, kCFNumberSInt32Type},
                                UnsignedCase{32, 0xF0000000u, kCFNumberSInt64Type}}) {
    PL_CFScoped<CFNumberRef> n(CF_CreateUnsignedNumber(c.bits, c.value));
    EXPECT_EQ(CFNumberGetType(n), c.type) << c.bits;
    EXPECT_EQ(ValueOf(n), SInt64(c.value)) << c.bits;
  }

  PL_CFScoped<CFMutableDictionaryRef> d(CF_DictCreateMut());
  CF_AddCStringToDict(d, CFSTR("c"), "abc");
  auto data = static_cast<CFDataRef>(CFDictionaryGetValue(d, CFSTR("c")));
  ASSERT_EQ(CFGetTypeID(data), CFDataGetTypeID());
  EXPECT_EQ(CFDataGetLength(data), 3);
  CF_AddOSTypeToDict(d, CFSTR("t"), 'TVOD');
  EXPECT_EQ(CFText(static_cast<CFStringRef>(CFDictionaryGetValue(d, CFSTR("t")))), "TVOD");
  CF_AddEnumToDict(d, CFSTR("e"), 2);
  EXPECT_EQ(TypeOf(CFDictionaryGetValue(d, CFSTR("e"))), kCFNumberSInt32Type);

  // A rectangular region is stored by its bounds alone.
  RgnHandle rect1 = NewRgn();
  RectRgn(rect1, &rect);
  PL_CFScoped<CFDictionaryRef> rd(CF_CreateRgnDict(rect1));
  EXPECT_EQ(CFDictionaryGetCount(rd), 1);
  EXPECT_TRUE(CFDictionaryContainsKey(rd, CFSTR("Bounds")));
  RgnHandle back = CF_GetRgnFromDict(rd);
  EXPECT_TRUE(EqualRgn(back, rect1));
  DisposeRgn(back);
  DisposeRgn(rect1);

  const CleanApertureImageDescriptionExtension clap{1, 2, 3, 4, -5, 6, -7, 8};
  PL_CFScoped<CFDictionaryRef> clapDict(CF_CreateClapIdeExtDict(&clap));
  EXPECT_EQ(CFDictionaryGetCount(clapDict), 8);
  EXPECT_EQ(TypeOf(CFDictionaryGetValue(clapDict, CFSTR("Horizontal Offset numerator"))), kCFNumberSInt32Type);
  EXPECT_EQ(TypeOf(CFDictionaryGetValue(clapDict, CFSTR("Vertical Offset denominator"))), kCFNumberSInt64Type);
  MatrixRecord identity;
  SetIdentityMatrix(&identity);
  PL_CFScoped<CFArrayRef> m(CF_CreateMatrixArray(&identity));
  ASSERT_EQ(CFArrayGetCount(m), 9);
  EXPECT_EQ(TypeOf(CFArrayGetValueAtIndex(m, 0)), kCFNumberSInt32Type);
  EXPECT_EQ(ValueOf(CFArrayGetValueAtIndex(m, 8)), 1 << 30);

  const RGBColor color{1, 2, 3};
  PL_CFScoped<CFDictionaryRef> rgb(CF_CreateRGBDict(&color));
  EXPECT_EQ(TypeOf(CFDictionaryGetValue(rgb, CFSTR("Red"))), kCFNumberSInt32Type);
  CF_AddDurationToDict(d, CFSTR("dur"), 61);
  auto dur = static_cast<CFDictionaryRef>(CFDictionaryGetValue(d, CFSTR("dur")));
  EXPECT_EQ(CFText(static_cast<CFStringRef>(CFDictionaryGetValue(dur, CFSTR("Descr")))), "1m, 1s");
  EXPECT_EQ(TypeOf(CFDictionaryGetValue(dur, CFSTR("Value"))), kCFNumberSInt64Type);
}

TEST_F(EncodingsTest, MissingKeysGiveTheDefaults) {
  PL_CFScoped<CFDictionaryRef> empty(CF_DictCreate(nullptr, nullptr, 0));
  Rect rect{1, 2, 3, 4};
  EXPECT_FALSE(CF_GetRectFromDict(empty, CFSTR("x"), &rect));
  EXPECT_EQ(rect.right, 4);
  EXPECT_EQ(CF_GetEnumFromDict(empty, CFSTR("x")), 0);
  EXPECT_EQ(CF_GetOSTypeFromDict(empty, CFSTR("x")), 0u);
  RGBColor color{9, 9, 9};
  EXPECT_FALSE(CF_GetRGBFromDict(empty, CFSTR("x"), &color));
  EXPECT_EQ(color.red + color.green + color.blue, 0);
  HFSUniStr255 name;
  name.length = 4;
  EXPECT_FALSE(CF_GetHFSNameFromDict(empty, CFSTR("x"), &name));
  EXPECT_EQ(name.length, 0);
  char text[8] = "old";
  EXPECT_FALSE(CF_GetCStringFromDict(empty, CFSTR("x"), text, sizeof text));
  EXPECT_STREQ(text, "");
  void *block = reinterpret_cast<void *>(1);
  size_t size = 9;
  EXPECT_FALSE(CF_GetDataFromDict(empty, CFSTR("x"), &block, &size));
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(CF_GetDurationFromDict(empty, CFSTR("x")), 0);
  FSRef file;
  std::memset(&file, 0xAB, sizeof file);
  EXPECT_EQ(CF_ResolveAliasInDict(empty, CFSTR("x"), &file, nullptr), fnfErr);
  EXPECT_TRUE(bz_test::IsZeroRef(file));
  EXPECT_EQ(CF_GetRgnFromDict(empty), nullptr);
  EXPECT_EQ(CF_CopyMutDictFromDict(empty, CFSTR("x")), nullptr);
  // A NULL dictionary (a preference that was never stored) behaves the same.
  EXPECT_FALSE(CF_GetRectFromDict(nullptr, CFSTR("x"), &rect));
  EXPECT_EQ(CF_GetEnumFromDict(nullptr, CFSTR("x")), 0);
}

// What a user's editor or a damaged file can leave under a key: each counts as missing.
TEST_F(EncodingsTest, MistypedAndOutOfRangeValuesCountAsMissing) {
  const char *const kPlist =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
      "<key>RectString</key><string>10 20 30 40</string>"
      "<key>RectShort</key><array><integer>1</integer><integer>2</integer><integer>3</integer></array>"
      "<key>RectHuge</key><array><integer>1</integer><integer>2</integer><integer>40000</integer>"
      "<integer>4</integer></array>"
      "<key>RectText</key><array><integer>1</integer><string>2</string><integer>3</integer><integer>4</integer></array>"
      "<key>RectFraction</key><array><real>1.5</real><integer>2</integer><integer>3</integer><integer>4</integer></array>"
      "<key>PointShort</key><array><integer>1</integer></array>"
      "<key>S8Big</key><integer>300</integer>"
      "<key>S16Real</key><real>2.5</real>"
      "<key>U16Negative</key><integer>-1</integer>"
      "<key>U8Big</key><integer>256</integer>"
      "<key>EnumText</key><string>2</string>"
      "<key>EnumBig</key><integer>4294967296</integer>"
      "<key>F32Huge</key><real>1e300</real>"
      "<key>CStringLong</key><data>YWJjZGVmZ2hpams=</data>"
      "<key>CStringText</key><string>abc</string>"
      "<key>TypeNumber</key><integer>1414938436</integer>"
      "<key>BoolNumber</key><integer>1</integer>"
      "<key>ColourText</key><string>red</string>"
      "<key>ColourBadGreen</key><dict><key>Red</key><integer>5</integer><key>Green</key><integer>70000</integer></dict>"
      "<key>DurationText</key><dict><key>Value</key><string>5</string></dict>"
      "<key>ArrayMixed</key><array><integer>1</integer><string>2</string></array>"
      "<key>ArrayLong</key><array><integer>1</integer><integer>2</integer><integer>3</integer></array>"
      "<key>RegionNoBounds</key><dict><key>Bits</key><data>AAAA</data></dict>"
      "<key>RegionBadBits</key><dict><key>Bounds</key><array><integer>0</integer><integer>0</integer>"
      "<integer>2</integer><integer>2</integer></array><key>Bits</key><data>BQAAAAEAAAA=</data></dict>"
      "<key>MatrixShort</key><array><integer>1</integer><integer>2</integer><integer>3</integer><integer>4</integer>"
      "<integer>5</integer><integer>6</integer><integer>7</integer><integer>8</integer></array>"
      "<key>PaspHalf</key><dict><key>Horizontal Spacing</key><integer>4</integer>"
      "<key>Vertical Spacing</key><integer>-4</integer></dict>"
      "<key>AliasGarbage</key><data>Z2FyYmFnZQ==</data>"
      "</dict></plist>";
  PL_CFScoped<CFDataRef> xml(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(kPlist), CFIndex(std::strlen(kPlist))));
  PL_CFScoped<CFDictionaryRef> d(
      static_cast<CFDictionaryRef>(CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListImmutable, nullptr)));
  ASSERT_NE(d.get(), nullptr);

  for (const char *key : {"RectString", "RectShort", "RectHuge", "RectText", "RectFraction"}) {
    PL_CFScoped<CFStringRef> k(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
    Rect rect{7, 7, 7, 7};
    EXPECT_FALSE(CF_GetRectFromDict(d, k, &rect)) << key;
    EXPECT_TRUE(rect.top == 7 && rect.left == 7 && rect.bottom == 7 && rect.right == 7) << key;
  }
  Point point{3, 3};
  EXPECT_FALSE(CF_GetPointFromDict(d, CFSTR("PointShort"), &point));
  EXPECT_EQ(point.h, 3);
  SInt8 s8 = 9;
  EXPECT_FALSE(CF_GetSInt8FromDict(d, CFSTR("S8Big"), &s8));
  EXPECT_EQ(s8, 9);
  SInt16 s16 = 9;
  EXPECT_FALSE(CF_GetSInt16FromDict(d, CFSTR("S16Real"), &s16));
  EXPECT_EQ(s16, 9);
  UInt32 u = 9;
  EXPECT_FALSE(CF_GetUnsignedFromDict(d, CFSTR("U16Negative"), &u, 16));
  EXPECT_FALSE(CF_GetUnsignedFromDict(d, CFSTR("U8Big"), &u, 8));
  EXPECT_EQ(u, 9u);
  EXPECT_EQ(CF_GetEnumFromDict(d, CFSTR("EnumText")), 0);
  EXPECT_EQ(CF_GetEnumFromDict(d, CFSTR("EnumBig")), 0);
  Float32 f32 = 1.0f;
  EXPECT_FALSE(CF_GetFloat32FromDict(d, CFSTR("F32Huge"), &f32));
  EXPECT_EQ(f32, 1.0f);

  // Text longer than the caller's buffer is never copied past it.
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(CF_GetCStringFromDict(d, CFSTR("CStringLong"), buffer, 4));
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[4], 'x');
  EXPECT_FALSE(CF_GetCStringFromDict(d, CFSTR("CStringText"), buffer, sizeof buffer));
  EXPECT_EQ(CF_GetOSTypeFromDict(d, CFSTR("TypeNumber")), 0u);
  Boolean b = 2;
  EXPECT_FALSE(CF_GetBooleanFromDict(d, CFSTR("BoolNumber"), &b));
  EXPECT_EQ(b, 2);
  RGBColor color{9, 9, 9};
  EXPECT_FALSE(CF_GetRGBFromDict(d, CFSTR("ColourText"), &color));
  EXPECT_EQ(color.red, 0);
  color = RGBColor{9, 9, 9};
  EXPECT_TRUE(CF_GetRGBFromDict(d, CFSTR("ColourBadGreen"), &color));
  EXPECT_EQ(color.red, 5);
  EXPECT_EQ(color.green, 9);
  EXPECT_EQ(color.blue, 9);
  EXPECT_EQ(CF_GetDurationFromDict(d, CFSTR("DurationText")), 0);

  // Arrays: a bad element or more elements than the buffer holds copy nothing.
  SInt32 values[2] = {-7, -7};
  CFIndex count = 5;
  EXPECT_FALSE(CF_GetSInt32ValuesFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("ArrayMixed"))),
                                           values, 2, &count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(values[0], -7);
  EXPECT_FALSE(CF_GetSInt32ValuesFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("ArrayLong"))),
                                           values, 2, &count));
  EXPECT_EQ(values[0], -7);
  EXPECT_EQ(values[1], -7);
  EXPECT_TRUE(CF_GetSInt32ValuesFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("ArrayLong"))),
                                          nullptr, 0, &count));
  EXPECT_EQ(count, 3) << "a NULL buffer only counts";
  UInt8 u8[2] = {7, 7};
  EXPECT_FALSE(CF_GetUnsignedValuesFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("ArrayLong"))), 8,
                                             u8, 2, &count));
  EXPECT_EQ(u8[0], 7);
  Boolean flags[3] = {7, 7, 7};
  EXPECT_FALSE(CF_GetBooleanValuesFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("ArrayLong"))),
                                            flags, 3, &count));
  EXPECT_EQ(flags[0], 7);
  EXPECT_FALSE(CF_GetSInt32ValuesFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("RectString"))),
                                           values, 2, &count));

  // Regions: no bounds, no region; bits that do not fit the bounds (a run of 5 pixels over 4) are ignored.
  EXPECT_EQ(CF_GetRgnFromDict(static_cast<CFDictionaryRef>(CFDictionaryGetValue(d, CFSTR("RegionNoBounds")))),
            nullptr);
  RgnHandle rgn = CF_GetRgnFromDict(static_cast<CFDictionaryRef>(CFDictionaryGetValue(d, CFSTR("RegionBadBits"))));
  ASSERT_NE(rgn, nullptr);
  Rect bounds;
  GetRegionBounds(rgn, &bounds);
  EXPECT_TRUE(bounds.right == 2 && bounds.bottom == 2 && IsRegionRectangular(rgn));
  DisposeRgn(rgn);

  MatrixRecord matrix;
  SetIdentityMatrix(&matrix);
  EXPECT_FALSE(CF_GetMatrixFromArray(static_cast<CFArrayRef>(CFDictionaryGetValue(d, CFSTR("MatrixShort"))), &matrix));
  EXPECT_EQ(matrix.matrix[0][0], 0x10000) << "a short matrix is not read";
  PixelAspectRatioImageDescriptionExtension pasp{1, 1};
  EXPECT_FALSE(CF_GetPaspIdeExtFromDict(static_cast<CFDictionaryRef>(CFDictionaryGetValue(d, CFSTR("PaspHalf"))), &pasp));
  EXPECT_EQ(pasp.hSpacing, 4u);
  EXPECT_EQ(pasp.vSpacing, 1u) << "a negative spacing is no unsigned value";

  FSRef file;
  EXPECT_EQ(CF_ResolveAliasInDict(d, CFSTR("AliasGarbage"), &file, nullptr), paramErr);
  EXPECT_TRUE(bz_test::IsZeroRef(file));
}

TEST_F(EncodingsTest, DamagedPreferencesFileGivesEmptyDefaults) {
  // A sound file first, then cut in half.
  CF_SaveValueInPrefs(CFSTR("Project Prefs"), CFSTR("placeholder"));
  ASSERT_TRUE(CF_SavePreferencesToDisk());
  const std::string path = PL_CFPreferencesFilePath(kCFPreferencesCurrentApplication);
  const std::string text = bz_test::ReadText(path);
  bz_test::WriteText(path, text.substr(0, text.size() / 2));
  PL_CFPreferencesForgetAll();
  testing::internal::CaptureStderr();
  PL_CFScoped<CFMutableDictionaryRef> d(CF_CopyOrCreateMutDictFromPrefs(CFSTR("Project Prefs")));
  testing::internal::GetCapturedStderr();
  ASSERT_NE(d.get(), nullptr);
  EXPECT_EQ(CFDictionaryGetCount(d), 0);
  Rect rect{1, 1, 1, 1};
  EXPECT_FALSE(CF_GetRectFromDict(d, CFSTR("Crop"), &rect));
  EXPECT_EQ(rect.top, 1);
}

TEST_F(EncodingsTest, PreferencesHelpers) {
  const UInt8 bytes[] = {1, 2, 3};
  CF_SaveDataInPrefs(CFSTR("Log Alias"), bytes, sizeof bytes);
  PL_CFScoped<CFPropertyListRef> v(CF_CopyValueFromPrefs(CFSTR("Log Alias")));
  ASSERT_NE(v.get(), nullptr);
  EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(v.get())), 3);
  // Not a dictionary: the dictionary readers answer as if nothing were stored.
  EXPECT_EQ(CF_CopyMutDictFromPrefs(CFSTR("Log Alias")), nullptr);
  PL_CFScoped<CFMutableDictionaryRef> fresh(CF_CopyOrCreateMutDictFromPrefs(CFSTR("Log Alias")));
  EXPECT_EQ(CFDictionaryGetCount(fresh), 0);
  CF_RemoveValueFromPrefs(CFSTR("Log Alias"));
  EXPECT_EQ(CF_CopyValueFromPrefs(CFSTR("Log Alias")), nullptr);
}

TEST_F(EncodingsTest, FileReferencesFollowARenameAndAreRefreshed) {
  bz_test::WriteText(dir_.File("log.txt"), "log");
  FSRef file = bz_test::RefFor(dir_.File("log.txt"));
  PL_CFScoped<CFMutableDictionaryRef> d(CF_DictCreateMut());
  ASSERT_EQ(CF_AddFileObjectToDict(d, CFSTR("Log"), &file), noErr);
  CF_SaveValueInPrefs(CFSTR("App Prefs"), d);
  ASSERT_TRUE(CF_SavePreferencesToDisk());
  PL_CFPreferencesForgetAll();
  ASSERT_EQ(std::rename(dir_.File("log.txt").c_str(), dir_.File("old log.txt").c_str()), 0);

  PL_CFScoped<CFMutableDictionaryRef> back(CF_CopyMutDictFromPrefs(CFSTR("App Prefs")));
  ASSERT_NE(back.get(), nullptr);
  FSRef found;
  Boolean changed = false;
  ASSERT_EQ(CF_ResolveAliasInDict(back, CFSTR("Log"), &found, &changed), noErr);
  EXPECT_EQ(bz_test::PathOf(found), dir_.File("old log.txt"));
  EXPECT_TRUE(changed);
  ASSERT_EQ(CF_UpdateAliasInDict(back, CFSTR("Log"), &found, &changed), noErr);
  EXPECT_TRUE(changed);
  ASSERT_EQ(CF_ResolveAliasInDict(back, CFSTR("Log"), &found, &changed), noErr);
  EXPECT_FALSE(changed) << "the refreshed alias names the file's new place";

  std::remove(dir_.File("old log.txt").c_str());
  std::memset(&found, 0xAB, sizeof found);
  EXPECT_EQ(CF_ResolveAliasInDict(back, CFSTR("Log"), &found, nullptr), fnfErr);
  EXPECT_TRUE(bz_test::IsZeroRef(found));
  CFDataRef data = reinterpret_cast<CFDataRef>(1);
  FSRef zero{};
  EXPECT_NE(CF_FileToAliasDataRef(&zero, &data), noErr);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(CF_AliasDataRefToFile(nullptr, &found, nullptr), fnfErr);
}

TEST_F(EncodingsTest, StringsAndDictionaries) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "text", kCFStringEncodingUTF8);
  CFRetain(s);
  PL_CFScoped<CFMutableStringRef> m(CF_StringMakeMutable(s));
  EXPECT_EQ(CFGetRetainCount(s), 1) << "the given string was released";
  CFRelease(s);
  CFStringAppend(m, CFSTR("!"));
  EXPECT_EQ(CFText(m), "text!");
  PL_CFScoped<CFMutableStringRef> f(CF_StringCreateMutableWithFormat(CFSTR("%@ %ld"), CFSTR("Clip"), 2));
  EXPECT_EQ(CFText(f), "Clip 2");

  const void *keys[] = {CFSTR("a"), CFSTR("b")};
  const void *values[] = {kCFBooleanTrue, kCFBooleanFalse};
  PL_CFScoped<CFDictionaryRef> d(CF_DictCreate(keys, values, 2));
  const void **got = nullptr;
  CFIndex count = 0;
  ASSERT_EQ(CF_DictGetKeys(d, &got, &count), noErr);
  EXPECT_EQ(count, 2);
  ASSERT_NE(got, nullptr);
  std::free(got);
  PL_CFScoped<CFDictionaryRef> empty(CF_DictCreate(nullptr, nullptr, 0));
  ASSERT_EQ(CF_DictGetKeys(empty, &got, &count), noErr);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(count, 0);
  PL_CFScoped<CFMutableDictionaryRef> parent(CF_DictCreateMutWithValues(keys, values, 2));
  CFDictionarySetValue(parent, CFSTR("child"), d);
  PL_CFScoped<CFMutableDictionaryRef> child(CF_CopyMutDictFromDict(parent, CFSTR("child")));
  ASSERT_NE(child.get(), nullptr);
  CFDictionaryRemoveValue(child, CFSTR("a"));
  EXPECT_EQ(CFDictionaryGetCount(d), 2) << "a copy, not the stored dictionary";
  EXPECT_EQ(CF_CopyMutDictFromDict(parent, CFSTR("a")), nullptr);

  Handle h = CF_DataRefToHandle(nullptr);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(CF_HandleToDataRef(nullptr), nullptr);
}

TEST_F(EncodingsTest, PropertyListFilesAndBundleFiles) {
  PL_CFScoped<CFMutableDictionaryRef> d(CF_DictCreateMut());
  const UInt8 settings[] = {'s', 'p', 't', 'l', 0, 1};
  CF_AddDataToDict(d, CFSTR("Settings"), settings, sizeof settings);
  PL_CFScoped<CFURLRef> url(PL_CFURLCreateWithPath(dir_.File("M-JPEG Settings"), false));
  ASSERT_EQ(CF_WritePropertyListToXMLFile(d, url), noErr);

  // Codec settings are read from the application bundle.
  PL_SetMainBundleDirectory(dir_.path().c_str());
  FSRef file;
  OSStatus err = CF_GetNamedFileInAppBundle(CFSTR("M-JPEG Settings"), &file);
  const OSStatus missing = CF_GetNamedFileInAppBundle(CFSTR("No Such Settings"), &file);
  PL_SetMainBundleDirectory(nullptr);
  ASSERT_EQ(err, noErr);
  EXPECT_EQ(missing, fnfErr);

  CFPropertyListRef plist = nullptr;
  ASSERT_EQ(CF_ReadPropertyListFromXMLFile(url, &plist), noErr);
  PL_CFScoped<CFPropertyListRef> holder(plist);
  void *block = nullptr;
  size_t size = 0;
  ASSERT_TRUE(CF_GetDataFromDict(static_cast<CFDictionaryRef>(plist), CFSTR("Settings"), &block, &size));
  EXPECT_EQ(size, sizeof settings);
  EXPECT_EQ(std::memcmp(block, settings, size), 0);
  std::free(block);

  bz_test::WriteText(dir_.File("broken"), "<?xml version=\"1.0\"?><plist><dict><key>a</key>");
  PL_CFScoped<CFURLRef> broken(PL_CFURLCreateWithPath(dir_.File("broken"), false));
  EXPECT_EQ(CF_ReadPropertyListFromXMLFile(broken, &plist), kGL_PropertyListErr);
  EXPECT_EQ(plist, nullptr);
  PL_CFScoped<CFURLRef> none(PL_CFURLCreateWithPath(dir_.File("none"), false));
  EXPECT_EQ(CF_ReadPropertyListFromXMLFile(none, &plist), kCFURLResourceNotFoundError);
  PL_CFScoped<CFURLRef> folder(PL_CFURLCreateWithPath(dir_.path(), true));
  EXPECT_NE(CF_WritePropertyListToXMLFile(d, folder), noErr);
  EXPECT_EQ(CF_WritePropertyListToXMLFile(url, url), kGL_PropertyListErr) << "a URL is no property list";

  CFBundleRef bundle = reinterpret_cast<CFBundleRef>(1);
  EXPECT_EQ(CF_LoadSystemFrameworkByName(CFSTR("QuickTime"), &bundle), fnfErr);
  EXPECT_EQ(bundle, nullptr);
}

TEST(CFEncodingsPrinting, LinesCarryTheTimeAndAreCut) {
  testing::internal::CaptureStdout();
  CF_CF_PrintWithTime(CFSTR("frame %ld of %@"), 5, CFSTR("clip"));
  CF_PrintDateNew();
  CF_PrintTimeNew();
  CF_CF_PrintWithTime(CFSTR("%@"), CFSTR("\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"
                                         "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"));
  std::string longText(400, 'x');
  PL_CFScoped<CFStringRef> big(CFStringCreateWithCString(nullptr, longText.c_str(), kCFStringEncodingUTF8));
  CF_CF_PrintWithTime(CFSTR("%@"), big.get());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::regex_search(out, std::regex("^\\d\\d:\\d\\d:\\d\\d frame 5 of clip\n"))) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("\nDate = \\d{4}-\\d\\d-\\d\\d\nTime = \\d\\d:\\d\\d:\\d\\d\n"))) << out;
  const size_t last = out.rfind('\n', out.size() - 2);
  EXPECT_EQ(out.size() - last - 2, 255u) << "the long line is cut to 255 bytes";
}

}  // namespace
