// Error display.
#include "app/error_display.h"

#include "engine/runtime/project_types.h"
#include "general/error_keys.h"
#include "general/formatted_strings.h"
#include "general/standard_helpers.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "toolkit/edit_text_alerts.h"

#include <cstdio>

namespace {

bool IsKey(CFStringRef key, CFStringRef name) {
  return key != nullptr && CFStringCompare(key, name, 0) == kCFCompareEqualTo;
}

CFStringRef AppKey(OSStatus error) {
  switch (error) {
    case 5001: return CFSTR("BZ SrcFileNotFoundErr");
    case 5002: return CFSTR("BZ UnknownProjectTypeErr");
    case 5003: case 5004: return CFSTR("BZ TargetFileNotFoundErr");
    case 5005: return CFSTR("BZ AuxFileNotFoundErr");
    case 5006: return CFSTR("BZ TempFileNotDeletedErr");
    case 5007: return CFSTR("BZ ProjectInfoNotFoundErr");
    case 5008: return CFSTR("BZ ProjectNotFoundErr");
    case 5009: return CFSTR("BZ DiskNotInListErr");
    case 5010: return CFSTR("BZ TaskError");
    case 5011: case 5012: return CFSTR("BZ OpeningProjectErr");
    case 5013: return CFSTR("BZ NoFreeSpaceForTargetFileErr");
    case 5014: return CFSTR("BZ MovieTooShortErr");
    case 5015: return CFSTR("BZ CouldNotMeasureTrLogoErr");
    case 5016: return CFSTR("BZ DiffDimensionsErr");
    case 5017: return CFSTR("BZ IdenticalInputMoviesErr");
    case 5018: return CFSTR("BZ DiffNumFramesErr");
    case 5019: return CFSTR("BZ DiffFrameRateErr");
    case 5020: return CFSTR("BZ LogoTooLargeErr");
    case 5021: return CFSTR("BZ LogoEmptyErr");
    case 5022: return CFSTR("BZ ExcLimNumChromaIntervOnLineErr");
    case 5023: return CFSTR("BZ VbPeriodNotFndErr");
    case 5024: return CFSTR("BZ OuTooManyOutliersErr");
    default: break;
  }
  // 4000 to 4008 are the framework's numbers, whose keys the general library keeps.
  CFStringRef key = CFSTR("GL UnknownErr");
  if (error >= 4000 && error <= 4008) GL_GetFrameWorkErrorStringRef(error, &key, nullptr);
  return key;
}

}  // namespace

void BZ_GetAppErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef) {
  CFStringRef key = AppKey(error);
  if (errorKey != nullptr) *errorKey = key;
  if (errorStringRef != nullptr && !IsKey(key, CFSTR("GL NoErr")))
    *errorStringRef = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
}

CFStringRef BZ_CopyErrorMessage(OSStatus error, CFStringRef *errorKey) {
  CFStringRef key = nullptr, string = nullptr;
  auto lookUp = [&](void (*lookup)(OSStatus, CFStringRef *, CFStringRef *)) {
    if (string != nullptr) CFRelease(string);
    string = nullptr;
    lookup(error, &key, &string);
  };
  lookUp(GL_GetSysErrorStringRef);
  if (IsKey(key, CFSTR("GL UnknownErr"))) lookUp(GL_GetQT_ErrorStringRef);
  if (IsKey(key, CFSTR("GL UnknownErr"))) lookUp(GL_GetLibraryLumpedErrorStringRef);
  if (IsKey(key, CFSTR("GL UnknownErr"))) lookUp(BZ_GetAppErrorStringRef);
  if (errorKey != nullptr) *errorKey = key;
  if (IsKey(key, CFSTR("GL NoErr"))) {
    if (string != nullptr) CFRelease(string);
    return nullptr;
  }
  if (string == nullptr) string = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
  return string;
}

void BZ_ShowError(OSStatus error) {
  CFStringRef string = BZ_CopyErrorMessage(error, nullptr);
  if (string == nullptr) return;
  // In the background the number waits for the front; a number with nothing to show (0, a user's cancel)
  // must not replace one that waits.
  if (!gBZ.switchedIn) {
    gBZ.error = error;
    CFRelease(string);
    return;
  }
  // The alert shows the number as the classic 16-bit one; the trace keeps it whole.
  CFStringRef message = CF_StringCreateWithFormat(CFSTR("%@\nError #%hd"), string, SInt16(error));
  DI_StandardAlertOneButton(kAlertStopAlert, nullptr, message != nullptr ? message : string, nullptr, 0);
  char text[256] = {};
  CFStringGetCString(string, text, sizeof text, kCFStringEncodingUTF8);
  std::printf("KBZ: %s, error # %ld\n", text, long(error));
  std::fflush(stdout);
  if (message != nullptr) CFRelease(message);
  CFRelease(string);
}
