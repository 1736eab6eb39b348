// Error display: every failure that reaches the user passes through BZ_ShowError, which turns the number
// into a localised message (system numbers, QuickTime numbers, the libraries' ranges, then the
// application's own numbers), shows a stop alert with it and prints a trace line. While the application is
// in the background the number is only kept in gBZ.error for the one-second timer. Main thread only.
#pragma once

#include "methods/average_sources.h"  // 5016 to 5019
#include "methods/logo_params.h"     // 5005, 5015, 5020, 5021
#include "platform/core/cf_base.h"

// The application's own error numbers.
enum : OSStatus {
  kBZ_SrcFileNotFoundErr = 5001,
  kBZ_UnknownProjectTypeErr = 5002,
  kBZ_TargetFileNotFoundErr = 5003,
  kBZ_ProjectInfoNotFoundErr = 5007,
  kBZ_ProjectNotFoundErr = 5008,
  kBZ_DiskNotInListErr = 5009,
  kBZ_TaskError = 5010,
  kBZ_OpeningProjectErr = 5011,
  kBZ_ExcLimNumChromaIntervOnLineErr = 5022,
  kBZ_VbPeriodNotFndErr = 5023,
  kBZ_OuTooManyOutliersErr = 5024,
};

// Shows the error: nothing for 0 and numbers whose key is "GL NoErr" (user cancel -128 among them); in the
// background the number is kept in gBZ.error (replacing one not shown yet). In front a stop alert shows
// the localised text and "Error #" with the number's low 16 bits as a signed number, and the trace line
// "KBZ: <text>, error # <full number>" is printed.
void BZ_ShowError(OSStatus error);
// *errorKey = the key of the application's number (a constant; "GL UnknownErr" for numbers it does not
// know); unless the key is "GL NoErr", *errorStringRef = its localised text (owned: the caller releases it).
void BZ_GetAppErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef);
// The localised message BZ_ShowError would show for the error and its key (owned: the caller releases the
// message); NULL message when the error shows nothing.
CFStringRef BZ_CopyErrorMessage(OSStatus error, CFStringRef *errorKey);
