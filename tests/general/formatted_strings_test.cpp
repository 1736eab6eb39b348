// CF_StringCreateWithFormat: CF formats with "%@", integers of any width, ownership and NULL.
#include "general/formatted_strings.h"

#include "platform/core/cf_string.h"
#include "support/cf_check.h"

#include <gtest/gtest.h>

namespace {

TEST(GeneralFormattedStrings, BuildsTextsFromFormats) {
  struct Case {
    CFStringRef made;
    const char *expected;
  };
  const SInt32 index32 = 2;
  const SInt64 index64 = 3;
  const Case cases[] = {
      {CF_StringCreateWithFormat(CFSTR("%@ %ld"), CFSTR("Movie"), index32), "Movie 2"},
      {CF_StringCreateWithFormat(CFSTR("%@ %ld"), CFSTR("Movie"), index64), "Movie 3"},
      {CF_StringCreateWithFormat(CFSTR("%@\nError #%hd"), CFSTR("Disk full"), SInt32(-34)), "Disk full\nError #-34"},
      {CF_StringCreateWithFormat(CFSTR("%.2f kB"), 1.5f), "1.50 kB"},
      {CF_StringCreateWithFormat(CFSTR("%lldm, %llds"), SInt64(1), SInt64(30)), "1m, 30s"},
      {CF_StringCreateWithFormat(CFSTR("%C"), UniChar(8230)), "\xE2\x80\xA6"},
      {CF_StringCreateWithFormat(CFSTR("no arguments")), "no arguments"},
      {CF_StringCreateWithFormat(CFSTR("%d"), "oops"), "%!d(string)"},
  };
  for (const Case &c : cases) {
    ASSERT_NE(c.made, nullptr);
    EXPECT_EQ(bz_test::CFText(c.made), c.expected);
    EXPECT_EQ(CFGetRetainCount(c.made), 1);  // owned by the caller
    CFRelease(c.made);
  }
  EXPECT_EQ(CF_StringCreateWithFormat(nullptr, 1), nullptr);
}

}  // namespace
