// Clocks over clock_gettime; the boot time comes from /proc/stat ("btime").
#include "platform/core/clock.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

UInt64 MonotonicMicros() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return UInt64(ts.tv_sec) * 1000000u + UInt64(ts.tv_nsec) / 1000u;
}

double RealTimeSince1970() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

}  // namespace

UInt32 TickCount() { return UInt32(MonotonicMicros() * 60u / 1000000u); }

void Microseconds(UnsignedWide *microTickCount) {
  if (microTickCount == nullptr) return;
  UInt64 us = MonotonicMicros();
  microTickCount->hi = UInt32(us >> 32);
  microTickCount->lo = UInt32(us);
}

void Delay(UInt32 numTicks, UInt32 *finalTicks) {
  std::this_thread::sleep_for(std::chrono::microseconds(UInt64(numTicks) * 1000000u / 60u));
  if (finalTicks) *finalTicks = TickCount();
}

CFAbsoluteTime CFAbsoluteTimeGetCurrent() { return RealTimeSince1970() - kCFAbsoluteTimeIntervalSince1970; }

OSStatus UCConvertCFAbsoluteTimeToUTCDateTime(CFAbsoluteTime iCFTime, UTCDateTime *oUTCDate) {
  if (oUTCDate == nullptr || !std::isfinite(iCFTime)) return paramErr;
  double since1904 = iCFTime + kCFAbsoluteTimeIntervalSince1904;
  if (since1904 < 0 || since1904 >= 281474976710656.0) return paramErr;
  double whole = std::floor(since1904);
  UInt64 secs = UInt64(whole);
  oUTCDate->highSeconds = UInt16(secs >> 32);
  oUTCDate->lowSeconds = UInt32(secs);
  oUTCDate->fraction = UInt16(std::min(65535.0, std::floor((since1904 - whole) * 65536.0)));
  return noErr;
}

OSStatus UCConvertUTCDateTimeToCFAbsoluteTime(const UTCDateTime *iUTCDate, CFAbsoluteTime *oCFTime) {
  if (iUTCDate == nullptr || oCFTime == nullptr) return paramErr;
  UInt64 secs = (UInt64(iUTCDate->highSeconds) << 32) | iUTCDate->lowSeconds;
  *oCFTime = double(secs) + double(iUTCDate->fraction) / 65536.0 - kCFAbsoluteTimeIntervalSince1904;
  return noErr;
}

OSStatus UCConvertSecondsToCFAbsoluteTime(UInt32 iSeconds, CFAbsoluteTime *oCFTime) {
  if (oCFTime == nullptr) return paramErr;
  *oCFTime = double(iSeconds) - kCFAbsoluteTimeIntervalSince1904;
  return noErr;
}

OSStatus UCConvertCFAbsoluteTimeToSeconds(CFAbsoluteTime iCFTime, UInt32 *oSeconds) {
  if (oSeconds == nullptr || !std::isfinite(iCFTime)) return paramErr;
  double since1904 = std::floor(iCFTime + kCFAbsoluteTimeIntervalSince1904);
  if (since1904 < 0 || since1904 > 4294967295.0) return paramErr;
  *oSeconds = UInt32(since1904);
  return noErr;
}

OSStatus GetUTCDateTime(UTCDateTime *utcDateTime, OptionBits) {
  if (utcDateTime == nullptr) return paramErr;
  return UCConvertCFAbsoluteTimeToUTCDateTime(CFAbsoluteTimeGetCurrent(), utcDateTime);
}

void GetDateTime(UInt32 *secs) {
  if (secs == nullptr) return;
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  double localSince1970 = double(now) + double(local.tm_gmtoff);
  *secs = UInt32(UInt64(localSince1970 - kCFAbsoluteTimeIntervalSince1970 + kCFAbsoluteTimeIntervalSince1904));
}

CFAbsoluteTime PL_SystemStartupTime() {
  FILE *f = std::fopen("/proc/stat", "r");
  if (f != nullptr) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      unsigned long long bootSecs = 0;
      if (std::sscanf(line, "btime %llu", &bootSecs) == 1) {
        std::fclose(f);
        return double(bootSecs) - kCFAbsoluteTimeIntervalSince1970;
      }
    }
    std::fclose(f);
  }
  // Without /proc, derive it from the monotonic clock.
  return CFAbsoluteTimeGetCurrent() - double(MonotonicMicros()) * 1e-6;
}
