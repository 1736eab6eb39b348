// AIFF export and import, and its error keys.
#include "movie/aiff_export_import.h"

#include "platform/core/cf_string.h"

void IA_GetLibErrorKey(OSStatus error, CFStringRef *errorKey) {
  if (errorKey == nullptr) return;
  switch (error) {
    case kIA_SoundExportCompNotFoundErr: *errorKey = CFSTR("IA SoundExportCompNotFoundErr"); break;
    case kIA_SoundImportCompNotFoundErr: *errorKey = CFSTR("IA SoundImportCompNotFoundErr"); break;
    default: *errorKey = CFSTR("GL UnknownErr"); break;
  }
}
