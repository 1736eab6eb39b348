// Navigation dialogs, and their error keys.
#include "toolkit/navigation_dialogs.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <cstring>

void NS_GetLibErrorKey(OSStatus error, CFStringRef *errorKey) {
  if (errorKey == nullptr) return;
  switch (error) {
    case kNS_NoNavServicesErr: *errorKey = CFSTR("NS NoNavServicesErr"); break;
    case kNS_NoEventProcErr: *errorKey = CFSTR("NS NoEventProcErr"); break;
    default: *errorKey = CFSTR("GL UnknownErr"); break;
  }
}

void NS_DummyEventHandler(NavEventCallbackMessage, NavCBRecPtr, NavCallBackUserData) {}

OSStatus NS_GetSingleFileFromUser(NavEventUPP eventProc, NavObjectFilterUPP fileFilter, NavCallBackUserData userData,
                                  CFStringRef appName, CFStringRef message, FSRef *fileRef) {
  if (fileRef == nullptr) return paramErr;
  std::memset(fileRef, 0, sizeof(*fileRef));
  if (eventProc == nullptr) return kNS_NoEventProcErr;
  PL_ChooseFileRequest request{appName, message, fileFilter, userData};
  OSStatus err = PL_RunChooseFileDialog(&request, fileRef);
  return err == unimpErr ? kNS_NoNavServicesErr : err;
}

OSStatus NS_GetFileObjectFromAEDesc(const AEDesc *aeDesc, FSRef *fileRef) {
  if (aeDesc == nullptr || fileRef == nullptr) return paramErr;
  AEDesc coerced{};
  OSStatus err = AECoerceDesc(aeDesc, typeFSRef, &coerced);
  if (err != noErr) return err;
  if (AEGetDescDataSize(&coerced) != Size(sizeof(FSRef))) err = errAECoercionFail;
  if (err == noErr) err = AEGetDescData(&coerced, fileRef, sizeof(FSRef));
  AEDisposeDesc(&coerced);
  return err;
}
