// Icon Services stand-in.
#include "platform/core/icons.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <mutex>
#include <unordered_set>

struct OpaqueIconRef {
  PicHandle picture;
  SInt32 references;
};

namespace {
std::mutex gIconsLock;
std::unordered_set<IconRef> gIcons;
}  // namespace

OSStatus PL_NewIconRefFromPicture(PicHandle picture, IconRef *iconRef) {
  if (iconRef == nullptr) return paramErr;
  *iconRef = nullptr;
  if (PL_GetPictureImage(picture, nullptr, nullptr, nullptr) != noErr) return paramErr;
  Handle copy = reinterpret_cast<Handle>(picture);
  OSErr err = HandToHand(&copy);
  if (err != noErr) return err;
  IconRef icon = new OpaqueIconRef{reinterpret_cast<PicHandle>(copy), 1};
  std::lock_guard<std::mutex> lock(gIconsLock);
  gIcons.insert(icon);
  *iconRef = icon;
  return noErr;
}

OSErr AcquireIconRef(IconRef theIconRef) {
  std::lock_guard<std::mutex> lock(gIconsLock);
  if (theIconRef == nullptr || gIcons.count(theIconRef) == 0) return paramErr;
  ++theIconRef->references;
  return noErr;
}

OSErr ReleaseIconRef(IconRef theIconRef) {
  {
    std::lock_guard<std::mutex> lock(gIconsLock);
    if (theIconRef == nullptr || gIcons.count(theIconRef) == 0) return paramErr;
    if (--theIconRef->references > 0) return noErr;
    gIcons.erase(theIconRef);
  }
  KillPicture(theIconRef->picture);
  delete theIconRef;
  return noErr;
}

PicHandle PL_GetIconRefPicture(IconRef iconRef) {
  std::lock_guard<std::mutex> lock(gIconsLock);
  if (iconRef == nullptr || gIcons.count(iconRef) == 0) return nullptr;
  return iconRef->picture;
}
