// Toolbox date and time routines: calendar records through the CF Gregorian calendar, texts through ICU.
#include "platform/core/toolbox_dates.h"

#include "platform/core/cf_date.h"
#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"

#include <unicode/udat.h>
#include <unicode/uloc.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

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

namespace {

// UTF-8 to UTF-16, with the UTF-8 byte offset of each UTF-16 unit (and one past the end).
void ToUTF16(const char *text, SInt32 length, std::u16string *out, std::vector<SInt32> *byteAt) {
  SInt32 i = 0;
  while (i < length) {
    const UInt8 b = UInt8(text[i]);
    SInt32 n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
    if (i + n > length) n = 1;
    UInt32 c = n == 1 ? (b < 0x80 ? b : 0xFFFD) : UInt32(b & (0x7F >> n));
    for (SInt32 k = 1; k < n; ++k) c = (c << 6) | (UInt8(text[i + k]) & 0x3F);
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(char16_t(0xD800 + (c >> 10)));
      byteAt->push_back(i);
      out->push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      out->push_back(char16_t(c));
    }
    byteAt->push_back(i);
    i += n;
  }
  byteAt->push_back(length);
}

StringToDateStatus ParseClassic(Ptr textPtr, SInt32 textLen, SInt32 *lengthUsed, LongDateRec *dateTime, bool date) {
  if (lengthUsed != nullptr) *lengthUsed = 0;
  if (textPtr == nullptr || textLen <= 0 || dateTime == nullptr) return dateTimeNotFound;
  std::u16string text;
  std::vector<SInt32> byteAt;
  ToUTF16(textPtr, textLen, &text, &byteAt);
  // The style that reads the most text wins; on a tie the shorter style, so "Jan 2, 2024" is no long date.
  const UDateFormatStyle styles[] = {UDAT_SHORT, UDAT_MEDIUM, UDAT_LONG, UDAT_FULL};
  int32_t bestPos = 0;
  UDate bestMs = 0;
  UDateFormatStyle bestStyle = UDAT_SHORT;
  for (UDateFormatStyle style : styles) {
    UErrorCode status = U_ZERO_ERROR;
    UDateFormat *format = date ? udat_open(UDAT_NONE, style, uloc_getDefault(), u"UTC", -1, nullptr, -1, &status)
                               : udat_open(style, UDAT_NONE, uloc_getDefault(), u"UTC", -1, nullptr, -1, &status);
    if (U_FAILURE(status)) continue;
    udat_setLenient(format, false);
    int32_t pos = 0;
    const UDate ms = udat_parse(format, reinterpret_cast<const UChar *>(text.data()), int32_t(text.size()), &pos,
                                &status);
    udat_close(format);
    if (U_FAILURE(status) || pos <= bestPos) continue;
    bestPos = pos;
    bestMs = ms;
    bestStyle = style;
  }
  if (bestPos <= 0) return dateTimeNotFound;
  const LongDateTime secs = LongDateTime(std::floor(bestMs / 1000.0 - kCFAbsoluteTimeIntervalSince1970 +
                                                    kCFAbsoluteTimeIntervalSince1904));
  LongDateRec parsed;
  LongSecondsToDate(&secs, &parsed);
  if (date) {
    dateTime->ld.year = parsed.ld.year;
    dateTime->ld.month = parsed.ld.month;
    dateTime->ld.day = parsed.ld.day;
  } else {
    dateTime->ld.hour = parsed.ld.hour;
    dateTime->ld.minute = parsed.ld.minute;
    dateTime->ld.second = parsed.ld.second;
  }
  const SInt32 used = byteAt[size_t(bestPos)];
  if (lengthUsed != nullptr) *lengthUsed = used;
  StringToDateStatus result = 0;
  if (date && (bestStyle == UDAT_FULL || bestStyle == UDAT_LONG)) result |= longDateFound;
  if (used < textLen) result |= leftOverChars;
  return result;
}

}  // namespace

OSErr InitDateCache(DateCachePtr theCache) { return theCache == nullptr ? paramErr : noErr; }

StringToDateStatus StringToDate(Ptr textPtr, SInt32 textLen, DateCachePtr, SInt32 *lengthUsed, LongDateRec *dateTime) {
  return ParseClassic(textPtr, textLen, lengthUsed, dateTime, true);
}

StringToDateStatus StringToTime(Ptr textPtr, SInt32 textLen, DateCachePtr, SInt32 *lengthUsed, LongDateRec *dateTime) {
  return ParseClassic(textPtr, textLen, lengthUsed, dateTime, false);
}
