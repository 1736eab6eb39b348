// Toolbox date and time routines over the classic local clock: seconds since 1904-01-01 00:00 local time
// (GetDateTime in clock.h), their calendar records, and dates and times as text in the user's locale.
#pragma once

#include "platform/core/mac_types.h"

typedef SInt64 LongDateTime;

// Calendar fields of a LongDateTime. dayOfWeek counts from 1 = Sunday, dayOfYear from 1, weekOfYear from 1
// (the week, starting on Sunday, that holds 1 January); pm is 1 from noon. era is always 0.
union LongDateRec {
  struct {
    SInt16 era;
    SInt16 year;
    SInt16 month;
    SInt16 day;
    SInt16 hour;
    SInt16 minute;
    SInt16 second;
    SInt16 dayOfWeek;
    SInt16 dayOfYear;
    SInt16 weekOfYear;
    SInt16 pm;
    SInt16 res1;
    SInt16 res2;
    SInt16 res3;
  } ld;
  SInt16 list[14];
};

typedef UInt8 DateForm;
enum : DateForm { shortDate = 0, longDate = 1, abbrevDate = 2 };

void LongSecondsToDate(const LongDateTime *lSecs, LongDateRec *lDate);
// Fields beyond their range carry over (month 13 is January of the next year, day 0 the last of the month
// before); dayOfWeek, dayOfYear, weekOfYear and pm are not read.
void LongDateToSeconds(const LongDateRec *lDate, LongDateTime *lSecs);
// The date (short: "1/2/24", long: "Tuesday, January 2, 2024", abbreviated: "Jan 2, 2024" in English) and the
// time ("3:04 PM", with seconds "3:04:05 PM") in the user's locale, as a Pascal string in UTF-8 cut at a
// whole character within 255 bytes. `intlHandle` is not used.
void DateString(UInt32 dateTime, DateForm longFlag, Str255 result, Handle intlHandle);
void TimeString(UInt32 dateTime, Boolean wantSeconds, Str255 result, Handle intlHandle);

// ---- Reading dates and times from text ----
// StringToDate and StringToTime read the texts DateString and TimeString write (UTF-8, the user's locale):
// the date sets year, month and day of `dateTime`, the time hour, minute and second; other fields are left
// alone. `lengthUsed` is the number of bytes read. The status is 0 for a text read entirely, longDateFound for
// a long date, leftOverChars added when text remains, dateTimeNotFound when nothing could be read.
struct DateCacheRecord {
  SInt16 hidden[256];
};
typedef DateCacheRecord *DateCachePtr;
typedef SInt16 StringToDateStatus;
enum : StringToDateStatus {
  fatalDateTime = (SInt16)0x8000,
  longDateFound = 1,
  leftOverChars = 2,
  sepNotIntlSep = 4,
  fieldOrderNotIntl = 8,
  extraneousStrings = 16,
  tooManySeps = 32,
  sepNotConsistent = 64,
  tokenErr = (SInt16)0x8100,
  cantReadUtilities = (SInt16)0x8200,
  dateTimeNotFound = (SInt16)0x8400,
  dateTimeInvalid = (SInt16)0x8800,
};

OSErr InitDateCache(DateCachePtr theCache);
StringToDateStatus StringToDate(Ptr textPtr, SInt32 textLen, DateCachePtr theCache, SInt32 *lengthUsed,
                                LongDateRec *dateTime);
StringToDateStatus StringToTime(Ptr textPtr, SInt32 textLen, DateCachePtr theCache, SInt32 *lengthUsed,
                                LongDateRec *dateTime);
