// Icons of the user-interface toolkit.
#include "toolkit/icons.h"

#include "platform/core/mac_errors.h"

OSStatus IC_PicToIcon(PicHandle picture, IconRef *iconRef) {
  if (iconRef == nullptr) return paramErr;
  return PL_NewIconRefFromPicture(picture, iconRef);
}
