// CoreFoundation stand-in: dates, time zones (the C library's local zone or a fixed offset), Gregorian
// calendar arithmetic, and locales and date formatters over ICU.
#include "platform/core/cf_date.h"

#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/clock.h"

#include <unicode/ucal.h>
#include <unicode/udat.h>
#include <unicode/uloc.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

struct PL_CFDate : PL_CFObject {
  explicit PL_CFDate(CFAbsoluteTime t) : PL_CFObject(kPL_CFTypeIDDate), at(t) {}
  bool Equal(const PL_CFObject &other) const override { return at == static_cast<const PL_CFDate &>(other).at; }
  CFHashCode Hash() const override { return CFHashCode(SInt64(at)); }
  std::u16string Describe() const override {
    CFGregorianDate g = CFAbsoluteTimeGetGregorianDate(at, nullptr);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d +0000", int(g.year), int(g.month), int(g.day),
                  int(g.hour), int(g.minute), int(std::floor(g.second)));
    return PL_ASCIIToUTF16(buf);
  }
  const CFAbsoluteTime at;
};

struct PL_CFTimeZone : PL_CFObject {
  PL_CFTimeZone(bool sys, double off) : PL_CFObject(kPL_CFTypeIDTimeZone), isSystem(sys), offset(off) {}
  ~PL_CFTimeZone() override { CFRelease(name); }
  bool Equal(const PL_CFObject &other) const override {
    const auto &o = static_cast<const PL_CFTimeZone &>(other);
    return isSystem == o.isSystem && (isSystem || offset == o.offset);
  }
  CFHashCode Hash() const override { return isSystem ? 1 : CFHashCode(SInt64(offset)); }
  std::u16string Describe() const override { return PL_CFStringText(name); }
  const bool isSystem;
  const double offset;  // seconds east of UTC, for fixed zones
  CFStringRef name = nullptr;
};

struct PL_CFLocale : PL_CFObject {
  PL_CFLocale() : PL_CFObject(kPL_CFTypeIDLocale) {}
  ~PL_CFLocale() override { CFRelease(identifier); }
  bool Equal(const PL_CFObject &other) const override {
    return CFEqual(identifier, static_cast<const PL_CFLocale &>(other).identifier);
  }
  CFHashCode Hash() const override { return CFHash(identifier); }
  std::u16string Describe() const override { return PL_CFStringText(identifier); }
  std::string icuID;
  CFStringRef identifier = nullptr;
};

struct PL_CFDateFormatter : PL_CFObject {
  PL_CFDateFormatter() : PL_CFObject(kPL_CFTypeIDDateFormatter) {}
  ~PL_CFDateFormatter() override {
    if (format != nullptr) udat_close(format);
    CFRelease(pattern);
  }
  UDateFormat *format = nullptr;
  CFStringRef pattern = nullptr;
};

namespace {

constexpr double kUnixToAbsolute = 978307200.0;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
SInt64 DaysFromCivil(SInt64 y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const SInt64 era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + SInt64(doe) - 719468;
}

void CivilFromDays(SInt64 z, SInt64 *y, unsigned *m, unsigned *d) {
  z += 719468;
  const SInt64 era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = SInt64(yoe) + era * 400 + (*m <= 2 ? 1 : 0);
}

double SystemOffset(CFAbsoluteTime at) {
  const auto t = time_t(std::floor(at + kUnixToAbsolute));
  struct tm local {};
  if (localtime_r(&t, &local) == nullptr) return 0.0;
  return double(local.tm_gmtoff);
}

const PL_CFTimeZone *Zone(CFTimeZoneRef tz) {
  return PL_CFIsType(tz, kPL_CFTypeIDTimeZone) ? static_cast<const PL_CFTimeZone *>(tz) : nullptr;
}

std::u16string ICUDefaultZoneName() {
  UChar buf[128];
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucal_getDefaultTimeZone(buf, 128, &status);
  if (U_FAILURE(status) || n <= 0 || n > 128) return u"GMT";
  return std::u16string(reinterpret_cast<const char16_t *>(buf), size_t(n));
}

UDateFormatStyle ICUStyle(CFDateFormatterStyle s) {
  switch (s) {
    case kCFDateFormatterShortStyle: return UDAT_SHORT;
    case kCFDateFormatterMediumStyle: return UDAT_MEDIUM;
    case kCFDateFormatterLongStyle: return UDAT_LONG;
    case kCFDateFormatterFullStyle: return UDAT_FULL;
    default: return UDAT_NONE;
  }
}

CFStringRef ReadPattern(UDateFormat *format) {
  UChar buf[256];
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = udat_toPattern(format, false, buf, 256, &status);
  if (U_FAILURE(status) || n < 0 || n > 256) return PL_CFStringCreate(std::u16string());
  return PL_CFStringCreate(std::u16string(reinterpret_cast<const char16_t *>(buf), size_t(n)));
}

}  // namespace

// ---- dates ----

CFTypeID CFDateGetTypeID() { return kPL_CFTypeIDDate; }

CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at) { return new PL_CFDate(at); }

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate) {
  return PL_CFIsType(theDate, kPL_CFTypeIDDate) ? static_cast<const PL_CFDate *>(theDate)->at : 0.0;
}

CFTimeInterval CFDateGetTimeIntervalSinceDate(CFDateRef theDate, CFDateRef otherDate) {
  return CFDateGetAbsoluteTime(theDate) - CFDateGetAbsoluteTime(otherDate);
}

CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void *) {
  const double a = CFDateGetAbsoluteTime(theDate);
  const double b = CFDateGetAbsoluteTime(otherDate);
  return a < b ? kCFCompareLessThan : a > b ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

// ---- time zones ----

CFTypeID CFTimeZoneGetTypeID() { return kPL_CFTypeIDTimeZone; }

CFTimeZoneRef CFTimeZoneCopySystem() {
  auto *tz = new PL_CFTimeZone(true, 0.0);
  tz->name = PL_CFStringCreate(ICUDefaultZoneName());
  return tz;
}

CFTimeZoneRef CFTimeZoneCopyDefault() { return CFTimeZoneCopySystem(); }

CFTimeZoneRef CFTimeZoneCreateWithTimeIntervalFromGMT(CFAllocatorRef, CFTimeInterval interval) {
  if (!std::isfinite(interval) || std::fabs(interval) > 18 * 3600.0) return nullptr;
  auto *tz = new PL_CFTimeZone(false, interval);
  const auto minutes = SInt64(std::lround(std::fabs(interval) / 60.0));
  char buf[32];
  std::snprintf(buf, sizeof buf, "GMT%c%02lld%02lld", interval < 0 ? '-' : '+', (long long)(minutes / 60),
                (long long)(minutes % 60));
  tz->name = PL_CFStringCreate(PL_ASCIIToUTF16(buf));
  return tz;
}

CFTimeInterval CFTimeZoneGetSecondsFromGMT(CFTimeZoneRef tz, CFAbsoluteTime at) {
  const PL_CFTimeZone *z = Zone(tz);
  if (z == nullptr) return 0.0;
  return z->isSystem ? SystemOffset(at) : z->offset;
}

CFStringRef CFTimeZoneGetName(CFTimeZoneRef tz) {
  const PL_CFTimeZone *z = Zone(tz);
  return z != nullptr ? z->name : nullptr;
}

CFGregorianDate CFAbsoluteTimeGetGregorianDate(CFAbsoluteTime at, CFTimeZoneRef tz) {
  const double local = at + CFTimeZoneGetSecondsFromGMT(tz, at) + kUnixToAbsolute;
  const double dayStart = std::floor(local / 86400.0);
  double secOfDay = local - dayStart * 86400.0;
  SInt64 y;
  unsigned m;
  unsigned d;
  CivilFromDays(SInt64(dayStart), &y, &m, &d);
  CFGregorianDate g{};
  g.year = SInt32(y);
  g.month = SInt8(m);
  g.day = SInt8(d);
  const auto whole = SInt64(std::floor(secOfDay));
  g.hour = SInt8(whole / 3600);
  g.minute = SInt8((whole % 3600) / 60);
  g.second = secOfDay - double(whole / 60 * 60);
  return g;
}

CFAbsoluteTime CFGregorianDateGetAbsoluteTime(CFGregorianDate gdate, CFTimeZoneRef tz) {
  const double local = double(DaysFromCivil(gdate.year, unsigned(gdate.month), unsigned(gdate.day))) * 86400.0 +
                       gdate.hour * 3600.0 + gdate.minute * 60.0 + gdate.second - kUnixToAbsolute;
  // The zone's offset at the instant itself: guess with the offset at the local reading, then correct once.
  const double guess = local - CFTimeZoneGetSecondsFromGMT(tz, local);
  return local - CFTimeZoneGetSecondsFromGMT(tz, guess);
}

// ---- locales ----

CFTypeID CFLocaleGetTypeID() { return kPL_CFTypeIDLocale; }

CFLocaleRef CFLocaleCopyCurrent() {
  auto *l = new PL_CFLocale();
  l->icuID = uloc_getDefault();
  l->identifier = PL_CFStringCreate(PL_ASCIIToUTF16(l->icuID));
  return l;
}

CFLocaleRef CFLocaleCreate(CFAllocatorRef, CFStringRef localeIdentifier) {
  if (localeIdentifier == nullptr) return nullptr;
  auto *l = new PL_CFLocale();
  l->icuID = PL_CFStringToUTF8(localeIdentifier);
  l->identifier = CFStringCreateCopy(nullptr, localeIdentifier);
  return l;
}

CFStringRef CFLocaleGetIdentifier(CFLocaleRef locale) {
  return PL_CFIsType(locale, kPL_CFTypeIDLocale) ? static_cast<const PL_CFLocale *>(locale)->identifier : nullptr;
}

// ---- date formatters ----

CFTypeID CFDateFormatterGetTypeID() { return kPL_CFTypeIDDateFormatter; }

CFDateFormatterRef CFDateFormatterCreate(CFAllocatorRef, CFLocaleRef locale, CFDateFormatterStyle dateStyle,
                                         CFDateFormatterStyle timeStyle) {
  std::string id = PL_CFIsType(locale, kPL_CFTypeIDLocale) ? static_cast<const PL_CFLocale *>(locale)->icuID
                                                           : std::string(uloc_getDefault());
  auto *f = new PL_CFDateFormatter();
  UErrorCode status = U_ZERO_ERROR;
  const UDateFormatStyle ds = ICUStyle(dateStyle);
  const UDateFormatStyle ts = ICUStyle(timeStyle);
  if (ds == UDAT_NONE && ts == UDAT_NONE) {
    // No styles: an empty pattern, as the toolbox gives.
    f->format = udat_open(UDAT_PATTERN, UDAT_PATTERN, id.c_str(), nullptr, -1, u"", 0, &status);
  } else {
    f->format = udat_open(ts, ds, id.c_str(), nullptr, -1, nullptr, -1, &status);
  }
  if (U_FAILURE(status)) {
    if (f->format != nullptr) udat_close(f->format);
    f->format = nullptr;
    delete f;
    return nullptr;
  }
  f->pattern = ReadPattern(f->format);
  return f;
}

void CFDateFormatterSetFormat(CFDateFormatterRef formatter, CFStringRef formatString) {
  if (!PL_CFIsType(formatter, kPL_CFTypeIDDateFormatter) || formatString == nullptr) return;
  const std::u16string &p = PL_CFStringText(formatString);
  udat_applyPattern(formatter->format, false, reinterpret_cast<const UChar *>(p.data()), int32_t(p.size()));
  CFRelease(formatter->pattern);
  formatter->pattern = ReadPattern(formatter->format);
}

CFStringRef CFDateFormatterGetFormat(CFDateFormatterRef formatter) {
  return PL_CFIsType(formatter, kPL_CFTypeIDDateFormatter) ? formatter->pattern : nullptr;
}

CFStringRef CFDateFormatterCreateStringWithAbsoluteTime(CFAllocatorRef, CFDateFormatterRef formatter,
                                                        CFAbsoluteTime at) {
  if (!PL_CFIsType(formatter, kPL_CFTypeIDDateFormatter)) return nullptr;
  const UDate ms = (at + kUnixToAbsolute) * 1000.0;
  UErrorCode status = U_ZERO_ERROR;
  std::u16string out(256, u'\0');
  int32_t n = udat_format(formatter->format, ms, reinterpret_cast<UChar *>(out.data()), int32_t(out.size()), nullptr,
                          &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    out.assign(size_t(n), u'\0');
    n = udat_format(formatter->format, ms, reinterpret_cast<UChar *>(out.data()), int32_t(out.size()), nullptr,
                    &status);
  }
  if (U_FAILURE(status)) return nullptr;
  out.resize(size_t(n));
  return PL_CFStringCreate(std::move(out));
}

CFStringRef CFDateFormatterCreateStringWithDate(CFAllocatorRef allocator, CFDateFormatterRef formatter,
                                                CFDateRef date) {
  if (date == nullptr) return nullptr;
  return CFDateFormatterCreateStringWithAbsoluteTime(allocator, formatter, CFDateGetAbsoluteTime(date));
}

Boolean CFDateFormatterGetAbsoluteTimeFromString(CFDateFormatterRef formatter, CFStringRef string, CFRange *rangep,
                                                 CFAbsoluteTime *atp) {
  if (!PL_CFIsType(formatter, kPL_CFTypeIDDateFormatter) || string == nullptr) return false;
  const std::u16string &text = PL_CFStringText(string);
  CFIndex start = 0, length = CFIndex(text.size());
  if (rangep != nullptr) {
    if (rangep->location < 0 || rangep->length < 0 || rangep->location + rangep->length > length) return false;
    start = rangep->location;
    length = rangep->length;
  }
  int32_t position = 0;
  UErrorCode status = U_ZERO_ERROR;
  const UDate ms = udat_parse(formatter->format, reinterpret_cast<const UChar *>(text.data() + start), int32_t(length),
                              &position, &status);
  // Without a range the whole string must be a date; trailing text is not ignored.
  if (U_FAILURE(status) || position <= 0 || (rangep == nullptr && position != length)) return false;
  if (rangep != nullptr) rangep->length = position;
  if (atp != nullptr) *atp = ms / 1000.0 - kUnixToAbsolute;
  return true;
}
