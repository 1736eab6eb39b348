// Navigation dialogs, and their error keys.
#include "toolkit/navigation_dialogs.h"

#include "platform/core/cf_string.h"
#include "general/file_layer.h"
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

OSStatus NS_PutFile(WindowRef window, CFStringRef docName, NavEventUPP, CFStringRef message, CFStringRef appName,
                    Boolean create, Boolean *mayDelete, FSRef *parentRef, HFSUniStr255 *name, FSRef *newFile,
                    Boolean *saveFileExtensionHidden) {
  if (create ? newFile == nullptr : (name == nullptr || parentRef == nullptr)) return paramErr;
  // The name offered: the document's, else the window's title, else the caller's.
  PL_CFScoped<CFStringRef> offered;
  if (docName != nullptr) {
    offered.reset(CFStringCreateCopy(nullptr, docName));
  } else {
    CFStringRef title = nullptr;
    if (window != nullptr && CopyWindowTitleAsCFString(window, &title) == noErr) offered.reset(title);
    if ((offered.get() == nullptr || CFStringGetLength(offered.get()) == 0) && name != nullptr)
      offered.reset(CFStringCreateWithCharacters(nullptr, name->unicode, name->length));
  }
  const FSRef *start = parentRef != nullptr && GL_FSRefValid(parentRef) ? parentRef : nullptr;
  PL_PutFileRequest request{appName, message, offered.get(), start};
  FSRef folder{};
  HFSUniStr255 chosen{};
  Boolean replacing = false;
  OSStatus err = PL_RunPutFileDialog(&request, &folder, &chosen, &replacing);
  if (err == unimpErr) err = kNS_NoNavServicesErr;
  if (err != noErr) {
    if (newFile != nullptr) std::memset(newFile, 0, sizeof(*newFile));
    return err;
  }
  if (saveFileExtensionHidden != nullptr) *saveFileExtensionHidden = false;
  if (mayDelete != nullptr) *mayDelete = replacing;
  if (create) {
    if (replacing) {
      FSRef existing{};
      err = FSMakeFSRefUnicode(&folder, chosen.length, chosen.unicode, kTextEncodingUnknown, &existing);
      if (err == noErr) err = FSDeleteObject(&existing);
      if (err != noErr) return err;
    }
    if ((err = GL_CreateFile(&folder, &chosen, 0, 0, false, newFile)) != noErr) return err;
  }
  if (parentRef != nullptr) *parentRef = folder;
  if (name != nullptr) *name = chosen;
  return noErr;
}

OSStatus NS_GetNthFileObjectFromAEDescList(const AEDescList *aeDescList, long index, FSRef *fileRef) {
  if (aeDescList == nullptr || fileRef == nullptr) return paramErr;
  std::memset(fileRef, 0, sizeof(*fileRef));
  AEDesc item{};
  OSStatus err = AEGetNthDesc(aeDescList, index, typeWildCard, nullptr, &item);
  if (err != noErr) return err;
  err = NS_GetFileObjectFromAEDesc(&item, fileRef);
  AEDisposeDesc(&item);
  if (err != noErr) std::memset(fileRef, 0, sizeof(*fileRef));
  return err;
}

OSStatus NS_GetSingleFileObjectFromAEDescList(const AEDescList *aeDescList, FSRef *fileRef) {
  if (aeDescList == nullptr || fileRef == nullptr) return paramErr;
  std::memset(fileRef, 0, sizeof(*fileRef));
  long count = 0;
  OSStatus err = AECountItems(aeDescList, &count);
  if (err != noErr || count < 1) return err;
  return NS_GetNthFileObjectFromAEDescList(aeDescList, 1, fileRef);
}
