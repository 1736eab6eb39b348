// Data references from file URLs.
#include "platform/core/cf_url.h"
#include "platform/core/mac_errors.h"
#include "platform/movie/movie_toolbox.h"

#include <vector>

OSErr QTNewDataReferenceFromCFURL(CFURLRef url, UInt32 flags, Handle *outDataRef, OSType *outDataRefType) {
  (void)flags;
  if (outDataRef == nullptr || outDataRefType == nullptr) return paramErr;
  *outDataRef = nullptr;
  *outDataRefType = 0;
  if (url == nullptr) return paramErr;
  std::vector<UInt8> path(4096);
  if (!CFURLGetFileSystemRepresentation(url, true, path.data(), CFIndex(path.size()))) return paramErr;
  return PL_NewDataReferenceFromPath(reinterpret_cast<const char *>(path.data()), outDataRef, outDataRefType);
}
