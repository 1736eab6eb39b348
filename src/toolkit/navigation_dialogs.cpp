// Navigation dialogs, and their error keys.
#include "toolkit/navigation_dialogs.h"

#include "general/file_layer.h"
#include "general/unicode_strings.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <cstring>

namespace {

constexpr OSType kUnknownCode = 0x3F3F3F3F;  // '????': creator and type are the caller's to set

}  // namespace

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

OSStatus NS_PutFile(WindowRef window, CFStringRef docName, NavEventUPP, CFStringRef message, CFStringRef appName,
                    Boolean create, Boolean *mayDelete, FSRef *parentRef, HFSUniStr255 *name, FSRef *newFile,
                    Boolean *saveFileExtensionHidden) {
  if ((create && newFile == nullptr) || (!create && (name == nullptr || parentRef == nullptr))) return paramErr;
  if (newFile != nullptr) std::memset(newFile, 0, sizeof(*newFile));
  CFStringRef title = nullptr;
  if (docName == nullptr && window != nullptr) CopyWindowTitleAsCFString(window, &title);
  CFStringRef fileName = docName != nullptr ? CFStringRef(CFRetain(docName))
                         : title != nullptr ? title
                         : name != nullptr  ? CFStringRef(GL_HFSUniStr255ToCFMutStr(name))
                                            : nullptr;
  const FSRef *start = parentRef != nullptr && GL_FSRefValid(parentRef) ? parentRef : nullptr;
  PL_PutFileRequest request{appName, message, fileName, start};
  PL_PutFileAnswer answer;
  OSStatus err = PL_RunPutFileDialog(&request, &answer);
  if (fileName != nullptr) CFRelease(fileName);
  if (err == unimpErr) return kNS_NoNavServicesErr;
  if (err != noErr) return err;
  FSRef folder;
  HFSUniStr255 chosenName;
  if ((err = FSPathMakeRef(reinterpret_cast<const UInt8 *>(answer.folderPath.c_str()), &folder, nullptr)) != noErr)
    return err;
  if ((err = GL_CStrToHFSUniStr255(answer.name.c_str(), &chosenName)) != noErr) return err;
  if (mayDelete != nullptr) *mayDelete = answer.replacing;
  if (saveFileExtensionHidden != nullptr) *saveFileExtensionHidden = answer.extensionHidden;
  if (create) {
    // A file being replaced goes first (only when the user confirmed it).
    FSRef existing;
    if (FSMakeFSRefUnicode(&folder, chosenName.length, chosenName.unicode, kTextEncodingUnknown, &existing) == noErr) {
      if (!answer.replacing) return dupFNErr;
      if ((err = FSDeleteObject(&existing)) != noErr) return err;
    }
    if ((err = GL_CreateFile(&folder, &chosenName, kUnknownCode, kUnknownCode, false, newFile)) != noErr) return err;
  }
  if (parentRef != nullptr) *parentRef = folder;
  if (name != nullptr) *name = chosenName;
  return noErr;
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
