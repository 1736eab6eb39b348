#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(PlatformClock, EpochConversionsRoundTrip) {
  // 2001-01-01 00:00:00 UTC is CFAbsoluteTime 0 and 3061152000 seconds after 1904.
  UTCDateTime utc{};
  ASSERT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(0.0, &utc), noErr);
  EXPECT_EQ(utc.highSeconds, 0);
  EXPECT_EQ(utc.lowSeconds, 3061152000u);
  EXPECT_EQ(utc.fraction, 0);

  ASSERT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(1.5, &utc), noErr);
  EXPECT_EQ(utc.fraction, 32768);
  CFAbsoluteTime back = 0;
  ASSERT_EQ(UCConvertUTCDateTimeToCFAbsoluteTime(&utc, &back), noErr);
  EXPECT_DOUBLE_EQ(back, 1.5);

  // Beyond 2040 the seconds need the high word.
  ASSERT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(1.3e9, &utc), noErr);
  EXPECT_EQ(utc.highSeconds, 1);
  ASSERT_EQ(UCConvertUTCDateTimeToCFAbsoluteTime(&utc, &back), noErr);
  EXPECT_DOUBLE_EQ(back, 1.3e9);

  EXPECT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(NAN, &utc), paramErr);
  EXPECT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(-4e9, &utc), paramErr);
}

TEST(PlatformClock, ClocksMoveForwardAndStartupIsInThePast) {
  UInt32 t0 = TickCount();
  UInt32 after = 0;
  Delay(2, &after);
  EXPECT_GE(after - t0, 1u);
  UnsignedWide a{}, b{};
  Microseconds(&a);
  Microseconds(&b);
  EXPECT_LE((UInt64(a.hi) << 32 | a.lo), (UInt64(b.hi) << 32 | b.lo));
  EXPECT_LT(PL_SystemStartupTime(), CFAbsoluteTimeGetCurrent());
  EXPECT_GT(CFAbsoluteTimeGetCurrent(), 8e8);  // after 2026
}

}  // namespace
