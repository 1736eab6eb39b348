// CoreFoundation stand-in: CFDate, time zones, Gregorian dates, locales and date formatters.
//
// Absolute times count seconds from 2001-01-01 00:00:00 UTC (CFAbsoluteTime, see clock.h). The system time
// zone is the C library's (TZ); the current locale and the formatters' patterns come from ICU, which reads
// the user's LANG/LC_* settings.
#pragma once

#include "platform/core/cf_base.h"

CFTypeID CFDateGetTypeID();
// Owned.
CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate);
CFTimeInterval CFDateGetTimeIntervalSinceDate(CFDateRef theDate, CFDateRef otherDate);
CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void *context);

struct CFGregorianDate {
  SInt32 year;
  SInt8 month;
  SInt8 day;
  SInt8 hour;
  SInt8 minute;
  double second;
};

CFTypeID CFTimeZoneGetTypeID();
// Owned: the system's time zone (TZ or /etc/localtime); the default zone is the same here.
CFTimeZoneRef CFTimeZoneCopySystem();
CFTimeZoneRef CFTimeZoneCopyDefault();
// Owned: a zone at a fixed distance from UTC.
CFTimeZoneRef CFTimeZoneCreateWithTimeIntervalFromGMT(CFAllocatorRef allocator, CFTimeInterval interval);
CFTimeInterval CFTimeZoneGetSecondsFromGMT(CFTimeZoneRef tz, CFAbsoluteTime at);
// Borrowed.
CFStringRef CFTimeZoneGetName(CFTimeZoneRef tz);

// The calendar date and time of `at` in `tz` (UTC when `tz` is NULL).
CFGregorianDate CFAbsoluteTimeGetGregorianDate(CFAbsoluteTime at, CFTimeZoneRef tz);
CFAbsoluteTime CFGregorianDateGetAbsoluteTime(CFGregorianDate gdate, CFTimeZoneRef tz);

CFTypeID CFLocaleGetTypeID();
// Owned.
CFLocaleRef CFLocaleCopyCurrent();
CFLocaleRef CFLocaleCreate(CFAllocatorRef allocator, CFStringRef localeIdentifier);
// Borrowed ("en_US", ...).
CFStringRef CFLocaleGetIdentifier(CFLocaleRef locale);

typedef CFIndex CFDateFormatterStyle;
enum : CFDateFormatterStyle {
  kCFDateFormatterNoStyle = 0,
  kCFDateFormatterShortStyle = 1,
  kCFDateFormatterMediumStyle = 2,
  kCFDateFormatterLongStyle = 3,
  kCFDateFormatterFullStyle = 4
};

CFTypeID CFDateFormatterGetTypeID();
// Owned; formats in the system time zone. NULL locale means the current one.
CFDateFormatterRef CFDateFormatterCreate(CFAllocatorRef allocator, CFLocaleRef locale, CFDateFormatterStyle dateStyle,
                                         CFDateFormatterStyle timeStyle);
// Replaces the styles' pattern by an explicit one (ICU/Unicode pattern letters: "yyyy-MM-dd HH:mm:ss").
void CFDateFormatterSetFormat(CFDateFormatterRef formatter, CFStringRef formatString);
// Borrowed.
CFStringRef CFDateFormatterGetFormat(CFDateFormatterRef formatter);
// Owned.
CFStringRef CFDateFormatterCreateStringWithAbsoluteTime(CFAllocatorRef allocator, CFDateFormatterRef formatter,
                                                        CFAbsoluteTime at);
CFStringRef CFDateFormatterCreateStringWithDate(CFAllocatorRef allocator, CFDateFormatterRef formatter,
                                                CFDateRef date);
// Parses a date in the formatter's pattern: the whole string, or (rangep given) from rangep->location within
// rangep->length characters, rangep then telling what was used. False when nothing could be parsed.
Boolean CFDateFormatterGetAbsoluteTimeFromString(CFDateFormatterRef formatter, CFStringRef string, CFRange *rangep,
                                                 CFAbsoluteTime *atp);
