// File URLs from FSRefs and back, through the objects' paths.
#include "platform/core/file_urls.h"

#include "platform/core/cf_url.h"
#include "platform/core/mac_errors.h"

#include <string>

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef, const FSRef *fsRef) {
  std::string path;
  if (PL_FSRefMakePathString(fsRef, &path) != noErr) return nullptr;
  FSCatalogInfo info;
  if (FSGetCatalogInfo(fsRef, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr) != noErr) return nullptr;
  return PL_CFURLCreateWithPath(path, (info.nodeFlags & kFSNodeIsDirectoryMask) != 0);
}

Boolean CFURLGetFSRef(CFURLRef url, FSRef *fsRef) {
  if (url == nullptr || fsRef == nullptr) return false;
  const std::string path = PL_CFURLGetPath(url);
  if (path.empty()) return false;
  return FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), fsRef, nullptr) == noErr;
}
