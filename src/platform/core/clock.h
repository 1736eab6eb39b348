// Time: ticks (1/60 s) and microseconds since the machine started, delays, calendar times in the toolbox's
// two epochs (UTCDateTime and classic seconds count from 1904-01-01, CFAbsoluteTime from 2001-01-01 UTC).
#pragma once

#include "platform/core/mac_types.h"

constexpr CFTimeInterval kCFAbsoluteTimeIntervalSince1904 = 3061152000.0;
constexpr CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;

// Ticks since the machine started (monotonic).
UInt32 TickCount();
void Microseconds(UnsignedWide *microTickCount);
// Sleeps for `numTicks` sixtieths of a second; *finalTicks receives TickCount() afterwards.
void Delay(UInt32 numTicks, UInt32 *finalTicks);

CFAbsoluteTime CFAbsoluteTimeGetCurrent();
// Now as UTCDateTime (48-bit seconds since 1904 UTC and a 1/65536 fraction).
OSStatus GetUTCDateTime(UTCDateTime *utcDateTime, OptionBits options);
// Seconds since 1904 in local time, as the classic clock kept them.
void GetDateTime(UInt32 *secs);
OSStatus UCConvertUTCDateTimeToCFAbsoluteTime(const UTCDateTime *iUTCDate, CFAbsoluteTime *oCFTime);
OSStatus UCConvertCFAbsoluteTimeToUTCDateTime(CFAbsoluteTime iCFTime, UTCDateTime *oUTCDate);
OSStatus UCConvertSecondsToCFAbsoluteTime(UInt32 iSeconds, CFAbsoluteTime *oCFTime);
OSStatus UCConvertCFAbsoluteTimeToSeconds(CFAbsoluteTime iCFTime, UInt32 *oSeconds);

// When the machine started, as CFAbsoluteTime (from the kernel's boot time).
CFAbsoluteTime PL_SystemStartupTime();
