// Resource Manager stand-in: every resource map is empty and none can be written.
#include "platform/core/resources.h"

#include "platform/core/mac_errors.h"

namespace {

thread_local OSErr gResError = noErr;
thread_local bool gResLoad = true;

}  // namespace

OSErr ResError() { return gResError; }

ResFileRefNum CurResFile() {
  gResError = noErr;
  return kPL_AppResFile;
}

void UseResFile(ResFileRefNum refNum) { gResError = refNum == kPL_AppResFile ? noErr : resFNotFound; }

ResFileRefNum FSOpenResFile(const FSRef *ref, SInt8) {
  FSCatalogInfo info;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr);
  if (err == noErr) err = (info.nodeFlags & kFSNodeIsDirectoryMask) != 0 ? OSErr(notAFileErr) : OSErr(eofErr);
  gResError = err;
  return -1;
}

void CloseResFile(ResFileRefNum refNum) { gResError = refNum == kPL_AppResFile ? noErr : resFNotFound; }

void UpdateResFile(ResFileRefNum refNum) { gResError = refNum == kPL_AppResFile ? noErr : resFNotFound; }

void FSCreateResFile(const FSRef *, UniCharCount, const UniChar *, FSCatalogInfoBitmap, const FSCatalogInfo *,
                     FSRef *, FSSpec *) {
  gResError = paramErr;
}


void SetResLoad(Boolean load) { gResLoad = load != 0; }

Boolean GetResLoad() { return gResLoad; }

Handle Get1Resource(ResType, ResID) {
  gResError = resNotFound;
  return nullptr;
}

Handle Get1IndResource(ResType, SInt16) {
  gResError = resNotFound;
  return nullptr;
}

SInt16 Count1Resources(ResType) {
  gResError = noErr;
  return 0;
}

SInt16 Count1Types() {
  gResError = noErr;
  return 0;
}

void Get1IndType(ResType *theType, SInt16) {
  if (theType != nullptr) *theType = 0;
  gResError = noErr;
}

ResID Unique1ID(ResType) {
  gResError = noErr;
  return 128;
}

void GetResInfo(Handle, ResID *, ResType *, Str255) { gResError = resNotFound; }

ResFileRefNum HomeResFile(Handle) {
  gResError = resNotFound;
  return -1;
}

void ReleaseResource(Handle) { gResError = resNotFound; }

void DetachResource(Handle) { gResError = resNotFound; }

void RemoveResource(Handle) { gResError = rmvResFailed; }

void AddResource(Handle, ResType, ResID, ConstStr255Param) { gResError = addResFailed; }
