// The type-safe formatter: printf directives at every argument width, "%@" for CF values, positional
// arguments, markers for wrong or missing arguments, and the CF and trace entry points.
#include "platform/core/formatter.h"

#include "platform/core/cf_array.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_string.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

namespace {

TEST(PlatformFormatter, IntegersAtAnyWidth) {
  const SInt32 neg32 = -5;
  const SInt64 big64 = 5000000000LL;
  const UInt32 max32 = 0xFFFFFFFFu;
  const SInt16 s16 = -2;
  const UInt8 u8 = 200;
  const char ch = 'A';
  struct Case {
    std::string got;
    const char *expected;
  };
  const Case cases[] = {
      // "%ld" accepts 32- and 64-bit arguments alike.
      {PL_Format("%ld", neg32), "-5"},
      {PL_Format("%ld", big64), "5000000000"},
      {PL_Format("%d", big64), "5000000000"},
      {PL_Format("%lld", neg32), "-5"},
      // "h" cuts to 16 bits as printf does: 22000 fits, 70000 wraps, -128 stays.
      {PL_Format("%hd", SInt32(22000)), "22000"},
      {PL_Format("%hd", SInt32(70000)), "4464"},
      {PL_Format("%hd", SInt32(-128)), "-128"},
      {PL_Format("%hu", SInt32(-1)), "65535"},
      {PL_Format("%hhd", SInt32(300)), "44"},
      // Unsigned views of negative values at the argument's width (at least int).
      {PL_Format("%u", neg32), "4294967291"},
      {PL_Format("%lu", SInt64(-1)), "18446744073709551615"},
      {PL_Format("%x", s16), "fffffffe"},
      {PL_Format("%d", max32), "-1"},
      {PL_Format("%u", max32), "4294967295"},
      {PL_Format("%d", u8), "200"},
      {PL_Format("%d", ch), "65"},
      {PL_Format("%d", true), "1"},
      // Flags, width and precision.
      {PL_Format("[%5d|%-5d|%05d|%+d|% d]", 42, 42, 42, 42, 42), "[   42|42   |00042|+42| 42]"},
      {PL_Format("%.3d|%#x|%#o|%X", 7, 255, 8, 0xABCDu), "007|0xff|010|ABCD"},
      {PL_Format("%*d|%-*d|%.*d", 4, 1, 3, 2, 3, 3), "   1|2  |003"},
      {PL_Format("%*d", -4, 1), "1   "},
      {PL_Format("%02d:%02d:%02d", 3, 4, 5), "03:04:05"},
  };
  for (const Case &c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(PlatformFormatter, FloatsCharactersAndText) {
  struct Case {
    std::string got;
    const char *expected;
  };
  const char *nullText = nullptr;
  const Case cases[] = {
      {PL_Format("%.2f", 1.005f), "1.00"},
      {PL_Format("%.2f kB", 1.5), "1.50 kB"},
      {PL_Format("%8.3f|%-8.1f|", 3.14159, 2.0), "   3.142|2.0     |"},
      {PL_Format("%e", 12345.678), "1.234568e+04"},
      {PL_Format("%g %g", 0.0001, 1e20), "0.0001 1e+20"},
      {PL_Format("%f", 3), "3.000000"},  // integers are accepted where a float is asked for
      {PL_Format("%.1f", -0.05), "-0.1"},
      {PL_Format("%c%c", 'o', 'k'), "ok"},
      {PL_Format("%C", UniChar(0x2318)), "\xE2\x8C\x98"},
      {PL_Format("%c", 0xC9), "\xE2\x80\xA6"},  // a high byte is read as Mac Roman
      {PL_Format("%s|%5s|%-5s|%.2s", "abc", "ab", "ab", "abc"), "abc|   ab|ab   |ab"},
      {PL_Format("%s", nullText), "(null)"},
      {PL_Format("%s", "caf\xC3\xA9"), "caf\xC3\xA9"},
      {PL_Format("%s", "Mac \xC9"), "Mac \xE2\x80\xA6"},
      {PL_Format("%s", std::string("std")), "std"},
      {PL_Format("100%%"), "100%"},
      {PL_Format("%p", nullText), "0x0"},
  };
  for (const Case &c : cases) EXPECT_EQ(c.got, c.expected);
  char buf[8];
  char name[] = "array";
  EXPECT_EQ(PL_Format("%s", name), "array");
  EXPECT_EQ(PL_Format("%p", static_cast<void *>(buf)).substr(0, 2), "0x");
}

TEST(PlatformFormatter, CFValuesAndPositions) {
  const SInt32 one = 1;
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
  const void *values[] = {n};
  CFArrayRef a = CFArrayCreate(nullptr, values, 1, &kCFTypeArrayCallBacks);
  CFStringRef nullString = nullptr;
  struct Case {
    std::string got;
    const char *expected;
  };
  const Case cases[] = {
      {PL_Format("%@ %ld", CFSTR("Movie"), SInt32(2)), "Movie 2"},
      {PL_Format("%@", n), "1"},
      {PL_Format("%@", a), "(\n    1\n)"},
      {PL_Format("%@", nullString), "(null)"},
      {PL_Format("%s", CFSTR("text")), "text"},
      {PL_Format("%10@|", CFSTR("abc")), "       abc|"},
      {PL_Format("%@", static_cast<CFTypeRef>(CFSTR("as CFTypeRef"))), "as CFTypeRef"},
      {PL_Format("%2$@ %1$@", CFSTR("world"), CFSTR("hello")), "hello world"},
      {PL_Format("%1$d %1$d", 7), "7 7"},
      {PL_Format("%2$*1$d|", 4, 9), "   9|"},
  };
  for (const Case &c : cases) EXPECT_EQ(c.got, c.expected);
  CFRelease(a);
  CFRelease(n);
}

TEST(PlatformFormatter, WrongOrMissingArgumentsShowMarkers) {
  struct Case {
    std::string got;
    const char *expected;
  };
  const Case cases[] = {
      {PL_Format("%d", "text"), "%!d(string)"},
      {PL_Format("%s", 12), "%!s(int)"},
      {PL_Format("%d", 1.5), "%!d(double)"},
      {PL_Format("%@", 3), "%!@(int)"},
      {PL_Format("%d and %d", 1), "1 and %!d(missing)"},
      {PL_Format("%d", CFSTR("x")), "%!d(object)"},
      {PL_Format("%s", kCFBooleanTrue), "%!s(object)"},
      {PL_Format("count%n", 1), "count%!n(unsupported)"},
      {PL_Format("%y stays"), "%y stays"},
      {PL_Format("end %"), "end %"},
      {PL_Format("%5"), "%5"},
  };
  for (const Case &c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(PlatformFormatter, CoreFoundationEntryPoints) {
  CFStringRef s = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@\nError #%hd"), CFSTR("Disk full"), SInt32(-34));
  EXPECT_TRUE(CFEqual(s, CFSTR("Disk full\nError #-34")));
  CFRelease(s);
  CFMutableStringRef m = CFStringCreateMutableCopy(nullptr, 0, CFSTR("Name"));
  CFStringAppendFormat(m, nullptr, CFSTR(" %ld"), SInt64(2));
  CFStringAppendFormat(m, nullptr, CFSTR(" %C"), UniChar(0x2026));
  EXPECT_TRUE(CFEqual(m, CFSTR("Name 2 \xE2\x80\xA6")));
  CFRelease(m);
  EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, nullptr, 1), nullptr);
  // A surrogate pair survives a CF format untouched.
  CFStringRef clap = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@!"), CFSTR("\xF0\x9F\x8E\xAC"));
  EXPECT_EQ(CFStringGetLength(clap), 3);
  CFRelease(clap);
}

TEST(PlatformFormatter, BoundedBuffersCutWholeCharacters) {
  char buf[6];
  EXPECT_EQ(PL_SNPrintf(buf, sizeof buf, "%ld bytes", SInt64(1023)), 10);
  EXPECT_STREQ(buf, "1023 ");
  // "é" takes two bytes: it is dropped rather than split.
  EXPECT_EQ(PL_SNPrintf(buf, sizeof buf, "abcd%s", "\xC3\xA9"), 6);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(PL_SNPrintf(nullptr, 0, "%d", 12345), 5);
}

TEST(PlatformFormatter, TraceLinesGoToStandardOutput) {
  testing::internal::CaptureStdout();
  const int n = PL_Printf("KBZ: exiting read task, error = %ld\n", SInt32(-43));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "KBZ: exiting read task, error = -43\n");
  EXPECT_EQ(n, int(out.size()));
}

}  // namespace
