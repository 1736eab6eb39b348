// Navigation dialogs, and their error keys.
#include "toolkit/navigation_dialogs.h"

#include "general/file_layer.h"
#include "general/unicode_strings.h"
#include "platform/core/cf_string.h"
#include "general/file_layer.h"
#include "general/formatted_strings.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/standard_alerts.h"

#include <cstring>
#include <vector>

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
  PL_ChooseFileRequest request{appName, message, fileFilter, userData, kPL_ChooseFile};
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

namespace {

// Runs a choose dialog of that kind; the chosen items, or the failure (no dialog here: kNS_NoNavServicesErr).
OSStatus Choose(SInt16 kind, NavObjectFilterUPP filter, NavCallBackUserData userData, CFStringRef appName,
                CFStringRef message, std::vector<FSRef> *chosen) {
  PL_ChooseFileRequest request{appName, message, filter, userData, kind};
  const OSStatus err = PL_RunChooseDialog(&request, chosen);
  return err == unimpErr ? OSStatus(kNS_NoNavServicesErr) : err;
}

OSStatus ChooseOne(SInt16 kind, CFStringRef message, FSRef *result) {
  if (result == nullptr) return paramErr;
  std::memset(result, 0, sizeof(*result));
  std::vector<FSRef> chosen;
  const OSStatus err = Choose(kind, nullptr, nullptr, nullptr, message, &chosen);
  if (err == noErr) *result = chosen.front();
  return err;
}

// Whether the descriptor is a file-system object, and then its reference.
bool FileObject(AEDesc *item, FSRef *ref) {
  if (item == nullptr) return false;
  const DescType type = item->descriptorType;
  if (type != typeFSS && type != typeFSRef && type != typeFileURL) return false;
  return NS_GetFileObjectFromAEDesc(item, ref) == noErr;
}

bool IsFolder(const FSRef *ref) {
  FSCatalogInfo info{};
  return FSGetCatalogInfo(ref, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr) == noErr &&
         (info.nodeFlags & kFSNodeIsDirectoryMask) != 0;
}

// The question of the ask dialogs, with the window's title in it.
CFStringRef CopyQuestion(WindowRef window, CFStringRef format) {
  CFStringRef title = nullptr;
  if (window == nullptr || CopyWindowTitleAsCFString(window, &title) != noErr) title = nullptr;
  CFStringRef question = CF_StringCreateWithFormat(format, title != nullptr ? title : CFSTR(""));
  if (title != nullptr) CFRelease(title);
  return question;
}

PL_CFScoped<CFStringRef> Localized(CFStringRef key) {
  return PL_CFScoped<CFStringRef>(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr));
}

}  // namespace

OSStatus NS_GetSingleFolderFromUser(NavEventUPP eventProc, CFStringRef message, FSRef *fileRef) {
  if (fileRef == nullptr) return paramErr;
  if (eventProc == nullptr) {
    std::memset(fileRef, 0, sizeof(*fileRef));
    return kNS_NoEventProcErr;
  }
  return ChooseOne(kPL_ChooseFolder, message, fileRef);
}

OSStatus NS_GetSingleVolumeFromUser(NavEventUPP, CFStringRef message, FSRef *volumeRef) {
  return ChooseOne(kPL_ChooseVolume, message, volumeRef);
}

OSStatus NS_GetFilesFromUser(NavEventUPP eventProc, NavObjectFilterUPP fileFilter, NavCallBackUserData userData,
                             CFStringRef appName, CFStringRef message, NavReplyRecord *reply) {
  if (reply == nullptr) return paramErr;
  *reply = NavReplyRecord{};
  if (eventProc == nullptr) return kNS_NoEventProcErr;
  std::vector<FSRef> chosen;
  OSStatus err = Choose(kPL_ChooseFiles, fileFilter != nullptr ? fileFilter : NS_FileListFilter, userData, appName,
                        message, &chosen);
  if (err != noErr) return err;
  if ((err = AECreateList(nullptr, 0, false, &reply->selection)) != noErr) return err;
  for (const FSRef &file : chosen) {
    AEDesc item{};
    err = AECreateDesc(typeFSRef, &file, sizeof file, &item);
    if (err == noErr) err = AEPutDesc(&reply->selection, 0, &item);
    AEDisposeDesc(&item);
    if (err != noErr) {
      NavDisposeReply(reply);
      return err;
    }
  }
  reply->validRecord = true;
  return noErr;
}

OSStatus NS_GetSingleFileDataRefFromUser(NavEventUPP eventProc, NavObjectFilterUPP fileFilter,
                                         NavCallBackUserData userData, CFStringRef appName, CFStringRef message,
                                         AliasHandle *alias) {
  if (alias == nullptr) return paramErr;
  *alias = nullptr;
  FSRef file{};
  OSStatus err = NS_GetSingleFileFromUser(eventProc, fileFilter, userData, appName, message, &file);
  if (err == noErr) err = FSNewAliasMinimal(&file, alias);
  return err;
}

OSStatus NS_GetFileObjectDataRefFromAEDesc(const AEDesc *aeDesc, AliasHandle *alias) {
  if (alias == nullptr) return paramErr;
  *alias = nullptr;
  FSRef file{};
  OSStatus err = NS_GetFileObjectFromAEDesc(aeDesc, &file);
  if (err == noErr) err = FSNewAliasMinimal(&file, alias);
  return err;
}

OSStatus NS_CopyReply(const NavReplyRecord *reply, NavReplyRecord *copy) {
  if (reply == nullptr || copy == nullptr) return paramErr;
  *copy = *reply;
  copy->selection = AEDesc{typeNull, nullptr};
  copy->fileTranslation = nullptr;
  copy->saveFileName = nullptr;
  OSStatus err = noErr;
  if (reply->selection.dataHandle != nullptr)
    err = AECoerceDesc(&reply->selection, reply->selection.descriptorType, &copy->selection);
  if (err == noErr && reply->fileTranslation != nullptr) {
    copy->fileTranslation = reply->fileTranslation;
    err = HandToHand(&copy->fileTranslation);
    if (err != noErr) copy->fileTranslation = nullptr;
  }
  if (err == noErr && reply->saveFileName != nullptr) {
    copy->saveFileName = CFStringCreateCopy(nullptr, reply->saveFileName);
    if (copy->saveFileName == nullptr) err = memFullErr;
  }
  if (err != noErr) NavDisposeReply(copy);
  return err;
}

namespace {

// A caution alert with the question (its format filled with the window's title), an OK button of that key,
// Cancel, and an other button when given; no time-out, so it never answers for the user.
OSStatus AskAboutChanges(WindowRef window, CFStringRef questionKey, CFStringRef explanationKey, CFStringRef okKey,
                         CFStringRef otherKey, DialogItemIndex *item) {
  PL_CFScoped<CFStringRef> question{CopyQuestion(window, Localized(questionKey).get())};
  PL_CFScoped<CFStringRef> ok{Localized(okKey)};
  PL_CFScoped<CFStringRef> other{otherKey != nullptr ? Localized(otherKey).release() : nullptr};
  PL_CFScoped<CFStringRef> explanation{explanationKey != nullptr ? Localized(explanationKey).release() : nullptr};
  AlertStdCFStringAlertParamRec param{};
  OSStatus err = GetStandardAlertDefaultParams(&param, kStdCFStringAlertVersionOne);
  if (err != noErr) return err;
  param.defaultText = ok.get();
  param.cancelText = kAlertDefaultCancelText;
  param.otherText = other.get();
  param.cancelButton = kAlertStdAlertCancelButton;
  DialogRef alert = nullptr;
  if ((err = CreateStandardAlert(kAlertCautionAlert, question.get(), explanation.get(), &param, &alert)) != noErr)
    return err;
  return RunStandardAlert(alert, nullptr, item);
}

}  // namespace

OSStatus NS_AskDiscardChangesDialog(WindowRef window, CFStringRef appName, Boolean *revert) {
  PL_CFScoped<CFStringRef> handedOver{appName};
  if (revert == nullptr) return paramErr;
  *revert = false;
  DialogItemIndex item = 0;
  const OSStatus err =
      AskAboutChanges(window, CFSTR("NS Discard changes"), nullptr, CFSTR("NS Revert"), nullptr, &item);
  if (err == noErr) *revert = item == kAlertStdAlertOKButton;
  return err;
}

OSStatus NS_AskSaveChangesDialog(WindowRef window, CFStringRef appName, NavUserAction *action) {
  PL_CFScoped<CFStringRef> handedOver{appName};
  if (action == nullptr) return paramErr;
  *action = kNavUserActionCancel;
  DialogItemIndex item = 0;
  const OSStatus err = AskAboutChanges(window, CFSTR("NS Save changes"), CFSTR("NS Changes lost"), CFSTR("NS Save"),
                                       CFSTR("NS Don't save"), &item);
  if (err != noErr) return err;
  *action = item == kAlertStdAlertOKButton      ? kNavUserActionSaveChanges
            : item == kAlertStdAlertOtherButton ? kNavUserActionDontSaveChanges
                                                : kNavUserActionCancel;
  return noErr;
}

Boolean NS_ApplOnlyFilter(AEDesc *theItem, void *, NavCallBackUserData, NavFilterModes) {
  FSRef ref{};
  if (theItem == nullptr) return false;
  const DescType type = theItem->descriptorType;
  if (type != typeFSS && type != typeFSRef && type != typeFileURL) return true;
  if (!FileObject(theItem, &ref)) return false;
  if (IsFolder(&ref)) return true;
  OSType fileType = 0;
  return GL_GetCreatorAndFileType(&ref, nullptr, &fileType) == noErr && fileType == 'APPL';
}

Boolean NS_FileListFilter(AEDesc *theItem, void *, NavCallBackUserData callBackUD, NavFilterModes) {
  FSRef ref{};
  if (!FileObject(theItem, &ref)) return false;
  if (IsFolder(&ref)) return true;
  // A count, then that many types (laid out as the callers' records are: {SInt16 count; OSType types[n];}).
  struct TypeList {
    SInt16 count;
    OSType types[1];
  };
  const auto *list = static_cast<const TypeList *>(callBackUD);
  if (list == nullptr) return false;
  OSType fileType = 0;
  if (GL_GetCreatorAndFileType(&ref, nullptr, &fileType) != noErr) return false;
  for (SInt16 i = 0; i < list->count; ++i) {
    OSType type = 0;
    std::memcpy(&type, reinterpret_cast<const char *>(list->types) + sizeof(OSType) * size_t(i), sizeof type);
    if (type == fileType) return true;
  }
  return false;
}
