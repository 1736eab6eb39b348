// The per-number library error mapper.
#include "general/library_error_strings.h"

#include "general/error_keys.h"
#include "general/unicode_strings.h"
#include "movie/aiff_export_import.h"
#include "movie/atom_containers.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "toolkit/navigation_dialogs.h"

void GL_GetLibraryErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef) {
  CFStringRef key = CFSTR("GL UnknownErr");
  if (error >= kGL_FirstLibErr && error <= kGL_LastLibErr) {
    GL_GetLibErrorKey(error, &key);
  } else if (error >= kQT_FirstLibErr && error <= kQT_LastLibErr) {
    QT_GetLibErrorKey(error, &key);
  } else if (error >= kCO_FirstLibErr && error <= kCO_LastLibErr) {
    CO_GetLibErrorKey(error, &key);
  } else if (error >= kIA_FirstLibErr && error <= kIA_LastLibErr) {
    IA_GetLibErrorKey(error, &key);
  } else if (error >= kNS_FirstLibErr && error <= kNS_LastLibErr) {
    NS_GetLibErrorKey(error, &key);
  } else if (error >= kNR_FirstLibErr && error <= kNR_LastLibErr) {
    NR_GetLibErrorKey(error, &key);
  }
  if (errorKey != nullptr) *errorKey = key;
  // No library table yields "GL NoErr", so only the unknown key goes without a message.
  if (GL_EqualCFStr(key, CFSTR("GL UnknownErr"))) return;
  if (errorStringRef != nullptr) {
    *errorStringRef = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
  }
}
