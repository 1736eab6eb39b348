// AIFF export and import of the sound library, and the localisation keys of its error numbers.
#pragma once

#include "platform/core/cf_base.h"

enum : OSStatus {
  kIA_SoundExportCompNotFoundErr = 19001,  // no sound exporter
  kIA_SoundImportCompNotFoundErr = 19002,  // no sound importer
};

// Stores the constant key of an AIFF number (never release it): 19001 "IA SoundExportCompNotFoundErr",
// 19002 "IA SoundImportCompNotFoundErr", every other number "GL UnknownErr". Cannot fail; any thread.
void IA_GetLibErrorKey(OSStatus error, CFStringRef *errorKey);
