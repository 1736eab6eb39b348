// Toolbox date and time routines: calendar records through the CF Gregorian calendar, texts through ICU.
#include "platform/core/toolbox_dates.h"

#include "platform/core/cf_date.h"
#include "platform/core/clock.h"

#include <unicode/udat.h>
#include <unicode/uloc.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

// Days since 1904-01-01 (a Friday) of a classic seconds count.
SInt64 DayNumber(LongDateTime secs) { return SInt64(std::floor(double(secs) / 86400.0)); }

// Formats classic local seconds; the clock is already local, so the formatter works in UTC.
void FormatClassic(UInt32 dateTime, UDateFormatStyle timeStyle, UDateFormatStyle dateStyle, Str255 result) {
  if (result == nullptr) return;
  result[0] = 0;
  UErrorCode status = U_ZERO_ERROR;
  UDateFormat *format = udat_open(timeStyle, dateStyle, uloc_getDefault(), u"UTC", -1, nullptr, -1, &status);
  if (U_FAILURE(status)) return;
  const UDate ms = (double(dateTime) - kCFAbsoluteTimeIntervalSince1904 + kCFAbsoluteTimeIntervalSince1970) * 1000.0;
  UChar buf[128];
  const int32_t n = udat_format(format, ms, buf, 128, nullptr, &status);
  udat_close(format);
  if (U_FAILURE(status) || n <= 0) return;
  // UTF-16 to UTF-8, whole characters only, at most 255 bytes.
  std::string out;
  for (int32_t i = 0; i < n && i < 128; ++i) {
    UInt32 c = buf[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && buf[i + 1] >= 0xDC00 && buf[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (UInt32(buf[++i]) - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    std::string piece;
    if (c < 0x80) {
      piece += char(c);
    } else if (c < 0x800) {
      piece += char(0xC0 | (c >> 6));
      piece += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      piece += char(0xE0 | (c >> 12));
      piece += char(0x80 | ((c >> 6) & 0x3F));
      piece += char(0x80 | (c & 0x3F));
    } else {
      piece += char(0xF0 | (c >> 18));
      piece += char(0x80 | ((c >> 12) & 0x3F));
      piece += char(0x80 | ((c >> 6) & 0x3F));
      piece += char(0x80 | (c & 0x3F));
    }
    if (out.size() + piece.size() > 255) break;
    out += piece;
  }
  result[0] = UInt8(out.size());
  std::memcpy(result + 1, out.data(), out.size());
}

}  // namespace

void LongSecondsToDate(const LongDateTime *lSecs, LongDateRec *lDate) {
  if (lSecs == nullptr || lDate == nullptr) return;
  const CFGregorianDate g = CFAbsoluteTimeGetGregorianDate(double(*lSecs) - kCFAbsoluteTimeIntervalSince1904, nullptr);
  std::memset(lDate, 0, sizeof *lDate);
  lDate->ld.year = SInt16(g.year);
  lDate->ld.month = g.month;
  lDate->ld.day = g.day;
  lDate->ld.hour = g.hour;
  lDate->ld.minute = g.minute;
  lDate->ld.second = SInt16(std::floor(g.second));
  const SInt64 days = DayNumber(*lSecs);
  lDate->ld.dayOfWeek = SInt16(((days + 5) % 7 + 7) % 7 + 1);  // 1904-01-01 was a Friday (6)
  CFGregorianDate jan1{g.year, 1, 1, 0, 0, 0};
  const SInt64 jan1Days =
      DayNumber(LongDateTime(CFGregorianDateGetAbsoluteTime(jan1, nullptr) + kCFAbsoluteTimeIntervalSince1904));
  lDate->ld.dayOfYear = SInt16(days - jan1Days + 1);
  const SInt64 jan1Weekday = ((jan1Days + 5) % 7 + 7) % 7;  // 0 = Sunday
  lDate->ld.weekOfYear = SInt16((days - jan1Days + jan1Weekday) / 7 + 1);
  lDate->ld.pm = g.hour >= 12 ? 1 : 0;
}

void LongDateToSeconds(const LongDateRec *lDate, LongDateTime *lSecs) {
  if (lDate == nullptr || lSecs == nullptr) return;
  SInt64 year = lDate->ld.year;
  SInt64 month0 = SInt64(lDate->ld.month) - 1;
  year += month0 >= 0 ? month0 / 12 : -((11 - month0) / 12);
  month0 = ((month0 % 12) + 12) % 12;
  CFGregorianDate first{SInt32(year), SInt8(month0 + 1), 1, 0, 0, 0};
  const double monthStart = CFGregorianDateGetAbsoluteTime(first, nullptr) + kCFAbsoluteTimeIntervalSince1904;
  *lSecs = LongDateTime(monthStart) + (SInt64(lDate->ld.day) - 1) * 86400 + SInt64(lDate->ld.hour) * 3600 +
           SInt64(lDate->ld.minute) * 60 + lDate->ld.second;
}

void DateString(UInt32 dateTime, DateForm longFlag, Str255 result, Handle) {
  const UDateFormatStyle style = longFlag == longDate ? UDAT_FULL : longFlag == abbrevDate ? UDAT_MEDIUM : UDAT_SHORT;
  FormatClassic(dateTime, UDAT_NONE, style, result);
}

void TimeString(UInt32 dateTime, Boolean wantSeconds, Str255 result, Handle) {
  FormatClassic(dateTime, wantSeconds ? UDAT_MEDIUM : UDAT_SHORT, UDAT_NONE, result);
}
