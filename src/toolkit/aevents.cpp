// Apple-event helpers of the user-interface toolkit.
#include "toolkit/aevents.h"

#include "general/error_keys.h"
#include "general/file_layer.h"
#include "movie/movie_errors.h"
#include "platform/core/aliases.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/file_urls.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr OSType kFinderSignature = 'MACS';
constexpr OSType kFinderType = 'FNDR';
constexpr DescType kMissingValue = 'msng';
constexpr DescType kBarType = 'bar!';
constexpr DescType kQDRectType = 'qdrt';  // a QuickDraw rectangle
const SRefCon kBarRefcon = reinterpret_cast<SRefCon>(static_cast<intptr_t>(1234));
// Send modes: wait for the reply or not, always interact, may switch layer.
constexpr AESendMode kWithReplyMode = kAEWaitReply | kAEAlwaysInteract | kAECanSwitchLayer;        // 0x73
constexpr AESendMode kWithoutReplyMode = kAEAlwaysInteract | kAECanSwitchLayer;                    // 0x70

bool IsAppleEventRecord(const AEDesc *desc) {
  return desc != nullptr && desc->descriptorType == typeAppleEvent && AECheckIsRecord(desc);
}

// The string's UTF-8 bytes (without a zero); false when it cannot be converted.
bool UTF8Of(CFStringRef string, std::string *out) {
  const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
  std::vector<char> buffer(static_cast<size_t>(max));
  if (!CFStringGetCString(string, buffer.data(), max, kCFStringEncodingUTF8)) return false;
  out->assign(buffer.data());
  return true;
}

std::vector<UniChar> UnitsOf(CFStringRef string) {
  std::vector<UniChar> units(static_cast<size_t>(CFStringGetLength(string)));
  CFStringGetCharacters(string, CFRangeMake(0, CFIndex(units.size())), units.data());
  return units;
}

// A specifier of the class in the container by the form; the key is disposed with its making.
OSStatus Specifier(DescType objClass, AEDesc *container, DescType form, AEDesc *key, AEDesc *obj) {
  AEDesc nullContainer{typeNull, nullptr};
  const OSStatus err = CreateObjSpecifier(objClass, container != nullptr ? container : &nullContainer, form, key,
                                          false, obj);
  AEDisposeDesc(key);
  return err;
}

OSStatus KeyedSpecifier(DescType objClass, AEDesc *container, DescType form, DescType keyType, const void *data,
                        Size size, AEDesc *obj) {
  if (obj == nullptr) return paramErr;
  AEDesc key{};
  const OSStatus err = AECreateDesc(keyType, data, size, &key);
  if (err != noErr) return err;
  return Specifier(objClass, container, form, &key, obj);
}

// The five required-event handlers do nothing: the toolkit offers them for programs that need a start.
OSErr MyHandleOAppAE(const AppleEvent *, AppleEvent *, SRefCon) { return noErr; }
OSErr MyHandleQuitAE(const AppleEvent *, AppleEvent *, SRefCon) { return noErr; }
OSErr MyHandleODocAE(const AppleEvent *, AppleEvent *, SRefCon) { return noErr; }
OSErr MyHandlePDocAE(const AppleEvent *, AppleEvent *, SRefCon) { return noErr; }
OSErr MyHandleReopenAppAE(const AppleEvent *, AppleEvent *, SRefCon) { return noErr; }

// The error report of AE_ProcessAppleEvent: programs that want one replace it.
void MyShowError(OSStatus) {}

}  // namespace

// ---- Descriptors -----------------------------------------------------------------------------------------

OSStatus AE_DisposeDesc(AEDesc *desc) {
  if (desc == nullptr) return paramErr;
  return AEDisposeDesc(desc);
}

OSStatus AE_NullDesc(AEDesc *desc) {
  if (desc == nullptr) return paramErr;
  *desc = AEDesc{typeNull, nullptr};
  return noErr;
}

OSStatus AE_CopyDesc(const AEDesc *inDesc, AEDesc *outDesc) {
  if (inDesc == nullptr || outDesc == nullptr) return paramErr;
  const Size size = AEGetDescDataSize(inDesc);
  return AECreateDesc(inDesc->descriptorType, size > 0 ? *inDesc->dataHandle : nullptr, size, outDesc);
}

OSStatus AE_GetDescData(const AEDesc *desc, void **data, Size *size) {
  if (desc == nullptr || data == nullptr || (*data != nullptr && size == nullptr)) return paramErr;
  const Size needed = AEGetDescDataSize(desc);
  if (*data == nullptr || *size < needed) {
    std::free(*data);
    *data = std::malloc(needed > 0 ? size_t(needed) : 1);
    if (*data == nullptr) return memFullErr;
  }
  if (size != nullptr) *size = needed;
  return AEGetDescData(desc, *data, needed);
}

DescType AE_LabelToType(const char *label) {
  char bytes[4] = {' ', ' ', ' ', ' '};
  for (int k = 0; k < 4 && label != nullptr && label[k] != '\0'; ++k) bytes[k] = label[k];
  DescType type;
  std::memcpy(&type, bytes, sizeof type);
  return type;
}

OSStatus AE_PutFileAsAlias(const FSRef *file, AEDescList *aliasList) {
  if (file == nullptr || aliasList == nullptr) return paramErr;
  AliasHandle alias = nullptr;
  OSStatus err = FSNewAliasMinimal(file, &alias);
  if (err != noErr) return err;
  AEDesc item{};
  err = AECreateDesc(typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)), &item);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  if (err != noErr) return err;
  err = AEPutDesc(aliasList, 0, &item);
  AEDisposeDesc(&item);
  return err;
}

OSStatus AE_AddFileToAliasList(const FSRef *file, AEDescList *aliasList) { return AE_PutFileAsAlias(file, aliasList); }

OSStatus AE_CFStringToDescAsUTF16(CFStringRef string, AEDesc *desc) {
  if (string == nullptr || desc == nullptr) return paramErr;
  const std::vector<UniChar> units = UnitsOf(string);
  return AECreateDesc(typeUnicodeText, units.data(), Size(units.size() * sizeof(UniChar)), desc);
}

OSStatus AE_PutPropertyObjectParam(AppleEvent *event, DescType propType, AEKeyword keyword, const AEDesc *container) {
  if (event == nullptr || container == nullptr) return paramErr;
  AEDesc copy{}, obj{};
  OSStatus err = AE_CopyDesc(container, &copy);
  if (err == noErr) err = AE_CreatePropertyObject(propType, &copy, &obj);
  if (err == noErr) err = AEPutParamDesc(event, keyword, &obj);
  AEDisposeDesc(&copy);
  AEDisposeDesc(&obj);
  return err;
}

OSStatus AE_PutStringParamAsUTF8(AppleEvent *event, AEKeyword keyword, CFStringRef string) {
  if (!IsAppleEventRecord(event) || string == nullptr) return paramErr;
  std::string utf8;
  if (!UTF8Of(string, &utf8)) return paramErr;
  return AEPutParamPtr(event, keyword, typeUTF8Text, utf8.data(), Size(utf8.size()));
}

OSStatus AE_CFStringFromDesc(const AEDesc *desc, CFStringRef *string) {
  if (desc == nullptr || string == nullptr) return paramErr;
  *string = nullptr;
  AEDesc text{};
  OSStatus err = AECoerceDesc(desc, typeUnicodeText, &text);
  if (err != noErr) return err;
  const Size size = AEGetDescDataSize(&text);
  std::vector<UniChar> units(static_cast<size_t>(size / 2));
  err = AEGetDescData(&text, units.data(), Size(units.size() * sizeof(UniChar)));
  AEDisposeDesc(&text);
  if (err != noErr) return err;
  *string = CFStringCreateWithCharacters(nullptr, units.data(), CFIndex(units.size()));
  return *string != nullptr ? noErr : memFullErr;
}

OSStatus AE_CStringFromDesc(const AEDesc *desc, char **cString, Size maxSize) {
  if (desc == nullptr || cString == nullptr || (*cString != nullptr && maxSize <= 0)) return paramErr;
  AEDesc text{};
  OSStatus err = AECoerceDesc(desc, typeChar, &text);
  if (err != noErr) return err;
  Size size = AEGetDescDataSize(&text);
  if (*cString == nullptr) {
    *cString = static_cast<char *>(std::malloc(size_t(size) + 1));
    if (*cString == nullptr) {
      AEDisposeDesc(&text);
      return memFullErr;
    }
  } else if (size > maxSize) {
    size = maxSize;  // the caller's buffer holds maxSize bytes and the zero
  }
  err = AEGetDescData(&text, *cString, size);
  AEDisposeDesc(&text);
  (*cString)[size] = '\0';
  return err;
}

OSStatus AE_SInt32FromDesc(const AEDesc *desc, SInt32 *result) {
  if (desc == nullptr || result == nullptr) return paramErr;
  *result = 0;
  AEDesc number{};
  OSStatus err = AECoerceDesc(desc, typeSInt32, &number);
  if (err != noErr) return err;
  err = AEGetDescData(&number, result, sizeof *result);
  AEDisposeDesc(&number);
  return err;
}

OSStatus AE_LabeledDataFromRecord(const AERecord *record, const char *label, AEDesc *dataDesc) {
  if (record == nullptr || label == nullptr || dataDesc == nullptr) return paramErr;
  AERecord coerced{};
  const AERecord *reco = record;
  OSStatus err = noErr;
  if (record->descriptorType != typeAERecord) {
    if ((err = AECoerceDesc(record, typeAERecord, &coerced)) != noErr) return err;
    reco = &coerced;
  }
  AEDescList fields{};
  err = AEGetNthDesc(reco, 1, typeWildCard, nullptr, &fields);
  long count = 0;
  if (err == noErr) err = AECountItems(&fields, &count);
  bool found = false;
  for (long i = 0; err == noErr && i < count / 2 && !found; ++i) {
    AEDesc name{};
    if ((err = AEGetNthDesc(&fields, 2 * i + 1, typeChar, nullptr, &name)) != noErr) break;
    const Size size = AEGetDescDataSize(&name);
    std::string text(static_cast<size_t>(size), '\0');
    err = AEGetDescData(&name, text.data(), size);
    AEDisposeDesc(&name);
    if (err == noErr && text == label) {
      found = true;
      err = AEGetNthDesc(&fields, 2 * i + 2, typeWildCard, nullptr, dataDesc);
    }
  }
  AEDisposeDesc(&fields);
  AEDisposeDesc(&coerced);
  if (err != noErr) return err;
  return found ? OSStatus(noErr) : OSStatus(kAE_NoSuchLabelErr);
}

OSStatus AE_LabeledSInt32FromRecord(const AERecord *record, const char *label, SInt32 *value) {
  if (value == nullptr) return paramErr;
  AEDesc data{};
  OSStatus err = AE_LabeledDataFromRecord(record, label, &data);
  if (err != noErr) return err;
  err = AEGetDescData(&data, value, sizeof *value);
  AEDisposeDesc(&data);
  return err;
}

OSStatus AE_LabeledFloatFromRecord(const AERecord *record, const char *label, float *value) {
  if (value == nullptr) return paramErr;
  AEDesc data{}, single{};
  OSStatus err = AE_LabeledDataFromRecord(record, label, &data);
  if (err == noErr) err = AECoerceDesc(&data, typeIEEE32BitFloatingPoint, &single);
  if (err == noErr) err = AEGetDescData(&single, value, sizeof *value);
  AEDisposeDesc(&data);
  AEDisposeDesc(&single);
  return err;
}

OSStatus AE_GetStringParam(const AppleEvent *reply, AEKeyword keyword, CFStringRef *string) {
  if (reply == nullptr || string == nullptr) return paramErr;
  *string = nullptr;
  AEDesc text{};
  OSStatus err = AEGetParamDesc(reply, keyword, typeUnicodeText, &text);
  if (err != noErr) return err;
  err = AE_CFStringFromDesc(&text, string);
  AEDisposeDesc(&text);
  return err;
}

OSStatus AE_GetQDRectParam(const AppleEvent *reply, AEKeyword keyword, Rect *rect) {
  if (reply == nullptr || rect == nullptr) return paramErr;
  DescType type = 0;
  Size size = 0;
  return AEGetParamPtr(reply, keyword, kQDRectType, &type, rect, sizeof *rect, &size);
}

OSStatus AE_QDRectFromDesc(const AEDesc *desc, Rect *rect) {
  if (desc == nullptr || rect == nullptr) return paramErr;
  if (desc->descriptorType == kQDRectType) return AEGetDescData(desc, rect, sizeof *rect);
  AEDesc coerced{};
  OSStatus err = AECoerceDesc(desc, kQDRectType, &coerced);
  if (err == noErr) err = AEGetDescData(&coerced, rect, sizeof *rect);
  AEDisposeDesc(&coerced);
  return err;
}

OSStatus AE_GetTextParam(const AppleEvent *reply, AEKeyword keyword, void **text, Size *size) {
  if (reply == nullptr || text == nullptr) return paramErr;
  AEDesc value{};
  OSStatus err = AEGetParamDesc(reply, keyword, typeChar, &value);
  if (err != noErr) return err;
  err = AE_GetDescData(&value, text, size);
  AEDisposeDesc(&value);
  return err;
}

// ---- Events and sending ----------------------------------------------------------------------------------

OSStatus AE_CreateProcessTarget(const ProcessSerialNumber *psn, AEAddressDesc *target) {
  if (target == nullptr) return paramErr;
  const ProcessSerialNumber current{0, kCurrentProcess};
  return AECreateDesc(typeProcessSerialNumber, psn != nullptr ? psn : &current, sizeof(ProcessSerialNumber), target);
}

OSStatus AE_CreateAppleEventForPsn(const ProcessSerialNumber *psn, AEEventClass eventClass, AEEventID eventID,
                                   AppleEvent *event) {
  if (event == nullptr) return paramErr;
  AEAddressDesc target{};
  OSStatus err = AE_CreateProcessTarget(psn, &target);
  if (err != noErr) return err;
  err = AECreateAppleEvent(eventClass, eventID, &target, kAutoGenerateReturnID, kAnyTransactionID, event);
  AEDisposeDesc(&target);
  return err;
}

OSStatus AE_CreateOpenDocEvent(const FSRef *file, OSType signature, const ProcessSerialNumber *psn,
                               AppleEvent *event) {
  if (event == nullptr || file == nullptr) return paramErr;
  AEAddressDesc target{};
  OSStatus err = psn != nullptr ? AECreateDesc(typeProcessSerialNumber, psn, sizeof *psn, &target)
                                : AECreateDesc(typeApplSignature, &signature, sizeof signature, &target);
  if (err != noErr) return err;
  AppleEvent made{};
  err = AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, &target, kAutoGenerateReturnID, kAnyTransactionID, &made);
  AEDisposeDesc(&target);
  if (err == noErr) err = AEPutParamPtr(&made, keyDirectObject, typeFSRef, file, sizeof *file);
  if (err != noErr) {
    AEDisposeDesc(&made);
    return err;
  }
  *event = made;
  return noErr;
}

OSStatus AE_BuildRevealStartupDiskAE(AppleEvent *event) {
  if (event == nullptr) return paramErr;
  CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/"), kCFURLPOSIXPathStyle, true);
  if (url == nullptr) return kGL_CreateURLErr;
  FSRef disk;
  const Boolean haveRef = CFURLGetFSRef(url, &disk);
  CFRelease(url);
  if (!haveRef) return kGL_URLToFSRefErr;
  AliasHandle alias = nullptr;
  OSStatus err = FSNewAliasMinimal(&disk, &alias);
  if (err != noErr) return err;
  const OSType finder = kFinderSignature;
  err = AEBuildAppleEvent('misc', 'mvis', typeApplSignature, &finder, sizeof finder, kAutoGenerateReturnID,
                          kAnyTransactionID, event, nullptr, "'----':[alis(@@)]", alias);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

OSStatus AE_SendAppleEvent(const AppleEvent *event, AppleEvent *reply) {
  if (event == nullptr || !AECheckIsRecord(event)) return paramErr;
  if (reply != nullptr) {
    *reply = AEDesc{typeNull, nullptr};
    return AESend(event, reply, kWithReplyMode, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr);
  }
  return AESend(event, nullptr, kWithoutReplyMode, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr);
}

OSStatus AE_SendEventReturnDirectObject(const AppleEvent *event, DescType requType, AEDesc *directObject) {
  if (event == nullptr || !AECheckIsRecord(event) || directObject == nullptr) return paramErr;
  AppleEvent reply{};
  OSStatus err = AE_SendAppleEvent(event, &reply);
  if (err == noErr) {
    SInt32 handlerErr = 0;
    err = AE_GetHandlerError(&reply, &handlerErr, nullptr);
    if (err == noErr && handlerErr != 0) err = handlerErr;
  }
  if (err == noErr) {
    if (reply.descriptorType == typeNull)
      *directObject = AEDesc{typeNull, nullptr};
    else
      err = AEGetParamDesc(&reply, keyDirectObject, requType, directObject);
  }
  AEDisposeDesc(&reply);
  return err;
}

OSStatus AE_TellSelfToSetCFStringRefProperty(DescType propType, CFStringRef string) {
  if (string == nullptr) return paramErr;
  AppleEvent event{};
  OSStatus err = AE_CreateAppleEventForPsn(nullptr, 'core', 'setd', &event);
  if (err != noErr) return err;
  const AEDesc nullContainer{typeNull, nullptr};
  err = AE_PutPropertyObjectParam(&event, propType, keyDirectObject, &nullContainer);
  if (err == noErr) err = AE_PutStringParamAsUTF8(&event, 'data', string);
  if (err == noErr) err = AE_SendAppleEvent(&event, nullptr);
  AEDisposeDesc(&event);
  return err;
}

OSStatus AE_GotRequiredParams(const AppleEvent *event) {
  DescType type = 0;
  Size size = 0;
  const OSStatus err = AEGetAttributePtr(event, keyMissedKeywordAttr, typeWildCard, &type, nullptr, 0, &size);
  if (err == errAEDescNotFound) return noErr;
  if (err == noErr) return errAEParamMissed;
  return err;
}

OSStatus AE_HasUnusedParameters(const AppleEvent *event) {
  DescType type = 0;
  Size size = 0;
  const OSStatus err = AEGetAttributePtr(event, keyMissedKeywordAttr, typeWildCard, &type, nullptr, 0, &size);
  return err == errAEDescNotFound ? noErr : errAEEventNotHandled;
}

OSStatus AE_GetHandlerError(const AppleEvent *reply, SInt32 *handlerErr, CFStringRef *errorString) {
  if (errorString != nullptr) *errorString = nullptr;
  if (reply == nullptr || handlerErr == nullptr) return paramErr;
  if (reply->descriptorType == typeNull) return noErr;
  if (!AECheckIsRecord(reply)) return paramErr;
  DescType type = 0;
  Size size = 0;
  SInt32 number = 0;
  OSStatus err = AEGetParamPtr(reply, keyErrorNumber, typeSInt32, &type, &number, sizeof number, &size);
  if (err == errAEDescNotFound) {
    number = 0;
    err = noErr;
  }
  if (err != noErr) return err;
  *handlerErr = number;
  if (errorString == nullptr) return noErr;
  err = AE_GetStringParam(reply, keyErrorString, errorString);
  if (err == errAEDescNotFound) return noErr;
  if (err != noErr) return err;
  *handlerErr = kAE_HandlerErrorStringErr;
  return noErr;
}

Boolean AE_IsMissingValue(const AEDesc *desc) {
  if (desc == nullptr || desc->descriptorType != typeType || AEGetDescDataSize(desc) != 4) return false;
  DescType value = 0;
  return AEGetDescData(desc, &value, sizeof value) == noErr && value == kMissingValue;
}

OSStatus AE_CreateMissingValue(AEDesc *desc) {
  if (desc == nullptr) return paramErr;
  const DescType value = kMissingValue;
  return AECreateDesc(typeType, &value, sizeof value, desc);
}

OSStatus AE_GetSenderProcessSignatureAndType(const AppleEvent *event, OSType *signature, OSType *type) {
  if (!IsAppleEventRecord(event)) return paramErr;
  DescType addressType = 0;
  Size size = 0;
  ProcessSerialNumber psn{};
  OSStatus err = AEGetAttributePtr(event, keyAddressAttr, typeWildCard, &addressType, &psn, sizeof psn, &size);
  if (err != noErr) return err;
  if (addressType != typeProcessSerialNumber || size != Size(sizeof psn)) return paramErr;
  ProcessInfoRec info{};
  info.processInfoLength = sizeof info;
  if ((err = GetProcessInformation(&psn, &info)) != noErr) return err;
  if (signature != nullptr) *signature = info.processSignature;
  if (type != nullptr) *type = info.processType;
  return noErr;
}

OSStatus AE_IsSenderFinder(const AppleEvent *event, Boolean *isFinder) {
  if (isFinder == nullptr) return paramErr;
  *isFinder = false;
  OSType signature = 0, type = 0;
  const OSStatus err = AE_GetSenderProcessSignatureAndType(event, &signature, &type);
  if (err != noErr) return err;
  *isFinder = signature == kFinderSignature && type == kFinderType;
  return noErr;
}

// ---- Object specifiers ----------------------------------------------------------------------------------

OSStatus AE_CreateSelectionObject(DescType selType, AEDesc *container, AEDesc *obj) {
  return KeyedSpecifier('cobj', container, formAbsolutePosition, typeAbsoluteOrdinal, &selType, sizeof selType, obj);
}

OSStatus AE_CreateObjectSpecifierWithIndex(DescType objClass, SInt32 index, AEDesc *container, AEDesc *obj) {
  return KeyedSpecifier(objClass, container, formAbsolutePosition, 'inde', &index, sizeof index, obj);
}

OSStatus AE_CreateObjectSpecifierWithUniqueID(DescType objClass, SInt32 uniqueID, AEDesc *container, AEDesc *obj) {
  return KeyedSpecifier(objClass, container, formUniqueID, typeSInt32, &uniqueID, sizeof uniqueID, obj);
}

OSStatus AE_CreateObjectSpecifierWithName(DescType objClass, CFStringRef name, AEDesc *container, AEDesc *obj) {
  if (name == nullptr || obj == nullptr) return paramErr;
  AEDesc key{};
  const OSStatus err = AE_CFStringToDescAsUTF16(name, &key);
  if (err != noErr) return err;
  return Specifier(objClass, container, formName, &key, obj);
}

OSStatus AE_CreateObjectSpecifierForURL(const char *path, AEDesc *container, AEDesc *obj) {
  if (path == nullptr) return paramErr;
  return KeyedSpecifier(typeFileURL, container, formName, typeChar, path, Size(std::strlen(path)), obj);
}

OSStatus AE_CreateObjSpecifierFromCFURLRef(CFURLRef url, AEDesc *obj) {
  if (url == nullptr || obj == nullptr) return paramErr;
  CFStringRef path = CFURLCopyFileSystemPath(url, kCFURLHFSPathStyle);
  if (path == nullptr) return kGL_ObjSpecifierErr;
  std::vector<UniChar> units = UnitsOf(path);
  CFRelease(path);
  const bool folder = CFURLHasDirectoryPath(url);
  if (folder) units.push_back(':');
  return KeyedSpecifier(folder ? 'cfol' : 'file', nullptr, formName, typeUnicodeText, units.data(),
                        Size(units.size() * sizeof(UniChar)), obj);
}

OSStatus AE_CreatePropertyObject(DescType propType, AEDesc *container, AEDesc *obj) {
  return KeyedSpecifier(typeProperty, container, formPropertyID, typeType, &propType, sizeof propType, obj);
}

// ---- Events, lists and errors in replies ------------------------------------------------------------------

OSStatus AE_ExtractClassAndID(const AppleEvent *event, AEEventClass *eventClass, AEEventID *eventID) {
  if (!IsAppleEventRecord(event) || eventClass == nullptr || eventID == nullptr) return paramErr;
  DescType type = 0;
  Size size = 0;
  OSStatus err = AEGetAttributePtr(event, keyEventClassAttr, typeType, &type, eventClass, sizeof *eventClass, &size);
  if (err == noErr) err = AEGetAttributePtr(event, keyEventIDAttr, typeType, &type, eventID, sizeof *eventID, &size);
  return err;
}

OSStatus AE_AppendListToList(const AEDescList *source, AEDescList *destination) {
  if (source == nullptr || destination == nullptr) return paramErr;
  long count = 0;
  OSStatus err = AECountItems(source, &count);
  for (long i = 1; err == noErr && i <= count; ++i) {
    AEDesc item{};
    if ((err = AEGetNthDesc(source, i, typeWildCard, nullptr, &item)) != noErr) break;
    err = AEPutDesc(destination, 0, &item);
    AEDisposeDesc(&item);
  }
  return err;
}

OSStatus AE_PutErrorNumberParam(OSStatus err, AppleEvent *reply) {
  if (reply == nullptr || !AECheckIsRecord(reply) || err == noErr || reply->descriptorType != typeAppleEvent)
    return paramErr;
  AEDesc existing{};
  const OSStatus found = AEGetParamDesc(reply, keyErrorNumber, typeWildCard, &existing);
  AEDisposeDesc(&existing);
  if (found == noErr) return kAE_ReplyHasErrorNumberErr;
  const SInt32 number = err;
  return AEPutParamPtr(reply, keyErrorNumber, typeSInt32, &number, sizeof number);
}

OSStatus AE_PutErrorStringParamAsUTF8(AppleEvent *event, CFStringRef string) {
  return AE_PutStringParamAsUTF8(event, keyErrorString, string);
}

void AE_BuildErrorToAEDesc(const AEBuildError *buildErr, AEDesc *errorTextDesc) {
  if (errorTextDesc == nullptr) return;
  static const char *const kMessages[] = {
      "No error",
      "Illegal character",
      "Unexpected end of format string",
      "Unexpected extra stuff past end",
      "\"-\" not followed by digits",
      "Missing close \"'\"",
      "Non-digit in hex string",
      "Odd # of hex digits",
      "Missing $ or \"\xC3\x88\"",  // È, byte 0xE9 in Mac OS Roman
      "Hex string must be coerced to a type",
      "Missing closing quote",
      "Illegal descriptor",
      "Bad data value inside (...)",
      "Missing \")\" after data value",
      "Expected \",\" or \"]\"",
      "Expected \",\" or \"}\"",
      "Missing keyword in record",
      "Missing \":\" after keyword in record",
      "Cannot coerce a list",
      "\"@@\" substitution must be coerced",
  };
  *errorTextDesc = AEDesc{typeNull, nullptr};
  if (buildErr == nullptr) return;
  const UInt32 code = buildErr->fError;
  const char *message = code < sizeof kMessages / sizeof *kMessages ? kMessages[code] : "Unknown error";
  char text[256];
  std::snprintf(text, sizeof text, "Error %d (%s) found at position %d.", int(code), message, int(buildErr->fErrorPos));
  CFStringRef string = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
  if (string == nullptr) return;
  if (AE_CFStringToDescAsUTF16(string, errorTextDesc) != noErr) *errorTextDesc = AEDesc{typeNull, nullptr};
  CFRelease(string);
}

void AE_PrintErrorString(OSStatus error, const AEDesc *errorMessages) {
  if (errorMessages == nullptr) return;
  AEDesc text{};
  if (AECoerceDesc(errorMessages, typeChar, &text) != noErr) return;
  char message[256];
  const Size size = std::min<Size>(AEGetDescDataSize(&text), 255);
  if (AEGetDescData(&text, message, size) == noErr) {
    message[size] = '\0';
    std::printf("Error = %ld, message: %s\n", long(error), message);
  }
  AEDisposeDesc(&text);
}

// ---- Handlers and coercions --------------------------------------------------------------------------------

OSStatus AE_InstallAEventHandler(EventHandlerUPP handler) {
  if (handler == nullptr) return paramErr;
  static const EventTypeSpec kind{kEventClassEPPC, kEventHighLevelEvent};
  return InstallApplicationEventHandler(handler, 1, &kind, nullptr, nullptr);
}

OSStatus AE_AEventHandler(EventHandlerCallRef, EventRef event, void *) {
  if (event == nullptr) return noErr;
  EventRef retained = nullptr;
  if (IsEventInQueue(GetMainEventQueue(), event)) {
    retained = RetainEvent(event);
    RemoveEventFromQueue(GetMainEventQueue(), event);
  }
  EventRecord record{};
  if (ConvertEventRefToEventRecord(event, &record)) AEProcessAppleEvent(&record);
  if (retained != nullptr) ReleaseEvent(retained);
  return noErr;
}

OSStatus AE_InstallDescCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                                       SRefCon refcon) {
  return AEInstallCoercionHandler(fromType, toType, handler, refcon, true, false);
}

OSErr AE_TextToBarCoercionHandler(const AEDesc *fromDesc, DescType toType, SRefCon refcon, AEDesc *toDesc) {
  if (fromDesc == nullptr || toDesc == nullptr || !AECheckIsRecord(fromDesc) || !AECheckIsRecord(toDesc))
    return errAECoercionFail;
  if (fromDesc->descriptorType == kBarType && toType == kBarType)
    return AE_CopyDesc(fromDesc, toDesc) == noErr ? noErr : errAECoercionFail;
  if (fromDesc->descriptorType == typeChar && toType == kBarType && refcon == kBarRefcon) {
    const Size size = AEGetDescDataSize(fromDesc);
    std::vector<SInt8> bytes(static_cast<size_t>(size));
    if (AEGetDescData(fromDesc, bytes.data(), size) != noErr) return errAECoercionFail;
    SInt32 sum = 0;
    for (SInt8 b : bytes) sum += b;
    return AECreateDesc(kBarType, &sum, sizeof sum, toDesc) == noErr ? noErr : errAECoercionFail;
  }
  return errAECoercionFail;
}

OSStatus AE_InstallRequiredAEHandlers() {
  const std::pair<AEEventID, AEEventHandlerUPP> handlers[] = {{kAEOpenApplication, MyHandleOAppAE},
                                                             {kAEQuitApplication, MyHandleQuitAE},
                                                             {kAEOpenDocuments, MyHandleODocAE},
                                                             {kAEPrintDocuments, MyHandlePDocAE},
                                                             {kAEReopenApplication, MyHandleReopenAppAE}};
  for (const auto &[id, handler] : handlers) {
    const OSStatus err = AEInstallEventHandler(kCoreEventClass, id, handler, 0, false);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus AE_ProcessAppleEvent(const EventRecord *eventRecord) {
  const OSStatus err = AEProcessAppleEvent(eventRecord);
  if (err != noErr && AEInteractWithUser(kNoTimeOut, nullptr, nullptr) == noErr) MyShowError(err);
  return err;
}

// ---- Compiled scripts ------------------------------------------------------------------------------------

OSStatus AE_LoadCompiledScript(CFStringRef scriptName, OSAID *contextID, ComponentInstance *ci) {
  if (scriptName == nullptr || contextID == nullptr || ci == nullptr) return paramErr;
  *contextID = kOSANullScript;
  *ci = nullptr;
  CFBundleRef bundle = CFBundleGetMainBundle();
  if (bundle == nullptr) return kGL_BundleLoadErr;
  CFURLRef url = CFBundleCopyResourceURL(bundle, scriptName, CFSTR("scpt"), CFSTR("Scripts"));
  if (url == nullptr) return fnfErr;
  FSRef file;
  const Boolean haveRef = CFURLGetFSRef(url, &file);
  CFRelease(url);
  if (!haveRef) return kGL_URLToFSRefErr;
  void *data = nullptr;
  ByteCount size = 0;
  OSStatus err = GL_ReadAllDataFromDataFork(0, &file, &data, &size);
  if (err != noErr) return err;
  AEDesc script{};
  err = AECreateDesc(typeOSAGenericStorage, data, Size(size), &script);
  GL_DisposePtr(&data);
  if (err != noErr) return err;
  ComponentInstance component = nullptr;
  if (OpenADefaultComponent(kOSAComponentType, kAppleScriptSubtype, &component) != noErr || component == nullptr) {
    AEDisposeDesc(&script);
    return kQT_NoComponentFoundErr;
  }
  err = OSALoad(component, &script, kOSAModeNull, contextID);
  AEDisposeDesc(&script);
  if (err != noErr) {
    CloseComponent(component);
    return err;
  }
  *ci = component;
  return noErr;
}

void AE_UnloadCompiledScript(OSAID contextID, ComponentInstance ci) {
  if (contextID == kOSANullScript || ci == nullptr) return;
  OSADispose(ci, contextID);
  CloseComponent(ci);
}

OSStatus AE_CallScriptSubroutine(OSAID contextID, ComponentInstance ci, const char *subroutineName,
                                 const AEDescList *params, AEDesc *resultData, AEDesc *errorMessages) {
  if (contextID == kOSANullScript || ci == nullptr || subroutineName == nullptr || params == nullptr) return paramErr;
  ProcessSerialNumber self{0, kCurrentProcess};
  AppleEvent event{};
  AEBuildError buildError{};
  OSStatus err = AEBuildAppleEvent('ascr', 'psbr', typeProcessSerialNumber, &self, sizeof self, kAutoGenerateReturnID,
                                   kAnyTransactionID, &event, &buildError, "'----':@,'snam':TEXT(@)", params,
                                   subroutineName);
  if (errorMessages != nullptr) AE_BuildErrorToAEDesc(&buildError, errorMessages);
  if (err != noErr) return err;
  if (errorMessages != nullptr && buildError.fError != aeBuildSyntaxNoErr) {
    AEDisposeDesc(&event);
    return OSStatus(buildError.fError);
  }
  OSAID value = kOSANullScript;
  err = OSAExecuteEvent(ci, &event, contextID, kOSAModeNull, &value);
  AEDisposeDesc(&event);
  if (err == errOSAScriptError) {
    if (errorMessages != nullptr) {
      AEDisposeDesc(errorMessages);
      if (OSAScriptError(ci, kOSAErrorMessage, typeChar, errorMessages) != noErr)
        *errorMessages = AEDesc{typeNull, nullptr};
    }
    return errOSAScriptError;
  }
  if (err == noErr) {
    if (resultData != nullptr && OSACoerceToDesc(ci, value, typeWildCard, kOSAModeNull, resultData) != noErr &&
        errorMessages != nullptr) {
      AEDisposeDesc(errorMessages);
      *errorMessages = AEDesc{typeNull, nullptr};
    }
    OSADispose(ci, value);
    return noErr;
  }
  if (errorMessages != nullptr) {
    AEDisposeDesc(errorMessages);
    *errorMessages = AEDesc{typeNull, nullptr};
  }
  return err;
}

OSStatus AE_RunNamedSubroutineNoParams(OSAID contextID, ComponentInstance ci, const char *handlerName,
                                       AEDesc *result) {
  AEDescList none{};
  OSStatus err = AECreateList(nullptr, 0, false, &none);
  if (err != noErr) return err;
  err = AE_CallScriptSubroutine(contextID, ci, handlerName, &none, result, nullptr);
  AEDisposeDesc(&none);
  return err;
}
