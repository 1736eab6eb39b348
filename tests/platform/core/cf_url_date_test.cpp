// File URLs (paths, components, extensions, URL text) with whole-file reads and atomic writes, and dates:
// Gregorian arithmetic, time zones and locale formatting.
#include "platform/core/cf_data.h"
#include "platform/core/cf_date.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "support/cf_check.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

TEST(PlatformCFURL, PathsAndComponents) {
  CFURLRef u = CFURLCreateWithFileSystemPath(nullptr, CFSTR("//tmp//My Movie.v2.mov/"), kCFURLPOSIXPathStyle, false);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(PL_CFURLGetPath(u), "/tmp/My Movie.v2.mov");
  EXPECT_EQ(bz_test::CFText(CFURLGetString(u)), "file:///tmp/My%20Movie.v2.mov");
  struct Case {
    CFStringRef got;
    const char *expected;
  };
  CFURLRef parent = CFURLCreateCopyDeletingLastPathComponent(nullptr, u);
  CFURLRef noExt = CFURLCreateCopyDeletingPathExtension(nullptr, u);
  CFURLRef withExt = CFURLCreateCopyAppendingPathExtension(nullptr, noExt, CFSTR("kbzoel"));
  CFURLRef child = CFURLCreateCopyAppendingPathComponent(nullptr, parent, CFSTR("caf\xC3\xA9"), true);
  const Case cases[] = {
      {CFURLCopyLastPathComponent(u), "My Movie.v2.mov"},
      {CFURLCopyPathExtension(u), "mov"},
      {CFURLCopyFileSystemPath(parent, kCFURLPOSIXPathStyle), "/tmp"},
      {CFURLCopyFileSystemPath(withExt, kCFURLPOSIXPathStyle), "/tmp/My Movie.v2.kbzoel"},
      {CFStringCreateCopy(nullptr, CFURLGetString(child)), "file:///tmp/caf%C3%A9/"},
      {CFURLCopyPathExtension(parent), "(null)"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(bz_test::CFText(c.got), c.expected);
    CFRelease(c.got);
  }
  EXPECT_TRUE(CFURLHasDirectoryPath(child));
  UInt8 buf[8];
  EXPECT_FALSE(CFURLGetFileSystemRepresentation(u, true, buf, sizeof buf));
  for (CFURLRef r : {u, parent, noExt, withExt, child}) CFRelease(r);
  // Hidden files have no extension; the root is its own parent.
  CFURLRef hidden = PL_CFURLCreateWithPath("/home/.config", true);
  EXPECT_EQ(CFURLCopyPathExtension(hidden), nullptr);
  CFRelease(hidden);
  CFURLRef root = PL_CFURLCreateWithPath("/", true);
  CFURLRef rootParent = CFURLCreateCopyDeletingLastPathComponent(nullptr, root);
  EXPECT_EQ(PL_CFURLGetPath(rootParent), "/");
  CFRelease(rootParent);
  CFRelease(root);
  EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR(""), kCFURLPOSIXPathStyle, false), nullptr);
  EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR("a:b"), kCFURLHFSPathStyle, false), nullptr);
}

TEST(PlatformCFURL, URLStrings) {
  struct Case {
    const char *text;
    const char *path;  // nullptr: no URL
  };
  const Case cases[] = {
      {"file:///tmp/My%20Movie.mov", "/tmp/My Movie.mov"},
      {"file://localhost/tmp/a", "/tmp/a"},
      {"file:///tmp/%E2%80%A6", "/tmp/\xE2\x80\xA6"},
      {"file://otherhost/tmp/a", nullptr},
      {"file:///tmp/%zz", nullptr},
      {"file:///tmp/%00", nullptr},
      {"/abs/path", "/abs/path"},
  };
  for (const Case &c : cases) {
    CFStringRef s = CFStringCreateWithCString(nullptr, c.text, kCFStringEncodingUTF8);
    CFURLRef u = CFURLCreateWithString(nullptr, s, nullptr);
    if (c.path == nullptr) {
      EXPECT_EQ(u, nullptr) << c.text;
    } else {
      ASSERT_NE(u, nullptr) << c.text;
      EXPECT_EQ(PL_CFURLGetPath(u), c.path);
    }
    CFRelease(u);
    CFRelease(s);
  }
  CFURLRef web = CFURLCreateWithString(nullptr, CFSTR("https://example.org/help"), nullptr);
  ASSERT_NE(web, nullptr);
  EXPECT_EQ(PL_CFURLGetPath(web), "");
  EXPECT_EQ(bz_test::CFText(CFURLGetString(web)), "https://example.org/help");
  CFRelease(web);
}

TEST(PlatformCFURL, ReadsAndAtomicWrites) {
  bz_test::TempDir dir;
  CFURLRef u = PL_CFURLCreateWithPath(dir.File("prefs.plist"), false);
  SInt32 err = 0;
  CFDataRef data = nullptr;
  EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, u, &data, nullptr, nullptr, &err));
  EXPECT_EQ(err, kCFURLResourceNotFoundError);
  EXPECT_EQ(data, nullptr);
  const UInt8 bytes[] = {'h', 'e', 'l', 'l', 'o'};
  CFDataRef out = CFDataCreate(nullptr, bytes, 5);
  ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(u, out, nullptr, &err));
  ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, u, &data, nullptr, nullptr, &err));
  EXPECT_TRUE(CFEqual(data, out));
  CFRelease(data);
  // No temporary file is left beside it.
  int entries = 0;
  for (const char *name : {"prefs.plist"}) entries += access(dir.File(name).c_str(), F_OK) == 0 ? 1 : 0;
  EXPECT_EQ(entries, 1);
  // A folder that cannot be written keeps the old file intact.
  CFURLRef missing = PL_CFURLCreateWithPath(dir.File("no/such/folder/x"), false);
  EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(missing, out, nullptr, &err));
  EXPECT_EQ(err, kCFURLResourceNotFoundError);
  CFRelease(missing);
  EXPECT_TRUE(CFURLDestroyResource(u, &err));
  EXPECT_FALSE(CFURLDestroyResource(u, &err));
  CFRelease(out);
  CFRelease(u);
}

TEST(PlatformCFDate, GregorianDatesAndZones) {
  struct Case {
    CFAbsoluteTime at;
    SInt32 year;
    int month, day, hour, minute;
    double second;
  };
  const Case cases[] = {
      {0, 2001, 1, 1, 0, 0, 0},
      {-1, 2000, 12, 31, 23, 59, 59},
      {123456789.5, 2004, 11, 29, 21, 33, 9.5},
      {-3061152000.0, 1904, 1, 1, 0, 0, 0},
      {(5.0 * 365 + 1 + 59) * 86400, 2006, 3, 1, 0, 0, 0},
  };
  for (const Case &c : cases) {
    CFGregorianDate g = CFAbsoluteTimeGetGregorianDate(c.at, nullptr);
    EXPECT_EQ(g.year, c.year) << c.at;
    EXPECT_EQ(g.month, c.month) << c.at;
    EXPECT_EQ(g.day, c.day) << c.at;
    EXPECT_EQ(g.hour, c.hour) << c.at;
    EXPECT_EQ(g.minute, c.minute) << c.at;
    EXPECT_DOUBLE_EQ(g.second, c.second) << c.at;
    EXPECT_DOUBLE_EQ(CFGregorianDateGetAbsoluteTime(g, nullptr), c.at);
  }
  CFTimeZoneRef plus2 = CFTimeZoneCreateWithTimeIntervalFromGMT(nullptr, 7200);
  CFGregorianDate g = CFAbsoluteTimeGetGregorianDate(-3600, plus2);
  EXPECT_EQ(g.year, 2001);
  EXPECT_EQ(g.hour, 1);
  EXPECT_DOUBLE_EQ(CFGregorianDateGetAbsoluteTime(g, plus2), -3600);
  EXPECT_EQ(bz_test::CFText(CFTimeZoneGetName(plus2)), "GMT+0200");
  CFRelease(plus2);
}

TEST(PlatformCFDate, LocaleFormattingUsesTheStyles) {
  CFLocaleRef us = CFLocaleCreate(nullptr, CFSTR("en_US"));
  CFDateFormatterRef longDate = CFDateFormatterCreate(nullptr, us, kCFDateFormatterLongStyle, kCFDateFormatterNoStyle);
  // Noon UTC on 2001-01-01 is that day in every time zone within eleven hours.
  CFStringRef text = CFDateFormatterCreateStringWithAbsoluteTime(nullptr, longDate, 12 * 3600.0);
  EXPECT_EQ(bz_test::CFText(text), "January 1, 2001");
  CFRelease(text);
  CFDateFormatterRef none = CFDateFormatterCreate(nullptr, us, kCFDateFormatterNoStyle, kCFDateFormatterNoStyle);
  text = CFDateFormatterCreateStringWithAbsoluteTime(nullptr, none, 0);
  EXPECT_EQ(bz_test::CFText(text), "");
  CFRelease(text);
  CFDateFormatterSetFormat(none, CFSTR("yyyy"));
  text = CFDateFormatterCreateStringWithAbsoluteTime(nullptr, none, 12 * 3600.0);
  EXPECT_EQ(bz_test::CFText(text), "2001");
  CFRelease(text);
  CFRelease(none);
  CFRelease(longDate);
  CFRelease(us);
  CFLocaleRef current = CFLocaleCopyCurrent();
  EXPECT_GT(CFStringGetLength(CFLocaleGetIdentifier(current)), 0);
  CFRelease(current);
}

}  // namespace
