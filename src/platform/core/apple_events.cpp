// Apple Event Manager stand-in.
#include "platform/core/apple_events.h"

#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// One item of a list or parameter of an event as it lies in the handle.
struct Item {
  AEKeyword keyword;
  DescType type;
  UInt32 read;  // a parameter: 0 until a handler got it, then 1; an attribute: kAttribute
  UInt32 size;
  // followed by size bytes
};

// An event's handle starts with this header; its parameters follow as items.
struct EventHeader {
  UInt32 tag;  // 'PLae'
  AEEventClass eventClass;
  AEEventID eventID;
};

constexpr UInt32 kEventTag = 'PLae';
constexpr UInt32 kAttribute = 2;
constexpr DescType kQDRectType = 'qdrt';  // a QuickDraw rectangle
constexpr OSType kUnknownSignature = 0x3F3F3F3F;  // '????'

size_t FirstItemOffset(const AEDesc *desc) { return desc->descriptorType == typeAppleEvent ? sizeof(EventHeader) : 0; }

bool IsContainer(const AEDesc *desc) {
  if (desc == nullptr || desc->dataHandle == nullptr) return false;
  if (desc->descriptorType == typeAEList || desc->descriptorType == typeAERecord ||
      desc->descriptorType == typeObjectSpecifier)
    return true;
  return desc->descriptorType == typeAppleEvent && size_t(GetHandleSize(desc->dataHandle)) >= sizeof(EventHeader) &&
         reinterpret_cast<const EventHeader *>(*desc->dataHandle)->tag == kEventTag;
}

// The offsets of the container's items (an event's parameters, or with attributes its attributes), in order.
std::vector<size_t> ItemOffsets(const AEDesc *desc, bool attributes = false) {
  std::vector<size_t> offsets;
  const size_t total = size_t(GetHandleSize(desc->dataHandle));
  size_t at = FirstItemOffset(desc);
  while (at + sizeof(Item) <= total) {
    Item item;
    std::memcpy(&item, *desc->dataHandle + at, sizeof item);
    if (at + sizeof(Item) + item.size > total) break;
    if ((item.read == kAttribute) == attributes) offsets.push_back(at);
    at += sizeof(Item) + item.size;
  }
  return offsets;
}

Item ItemAt(const AEDesc *desc, size_t offset) {
  Item item;
  std::memcpy(&item, *desc->dataHandle + offset, sizeof item);
  return item;
}

// Replaces the bytes [offset, offset + oldLength) of the handle with the new item.
OSErr Splice(AEDesc *desc, size_t offset, size_t oldLength, AEKeyword keyword, const AEDesc *value,
             UInt32 read = 0) {
  const Size valueSize = AEGetDescDataSize(value);
  std::vector<char> bytes(*desc->dataHandle, *desc->dataHandle + GetHandleSize(desc->dataHandle));
  Item item{keyword, value->descriptorType, read, UInt32(valueSize)};
  std::vector<char> entry(sizeof item + size_t(valueSize));
  std::memcpy(entry.data(), &item, sizeof item);
  if (valueSize > 0) std::memcpy(entry.data() + sizeof item, *value->dataHandle, size_t(valueSize));
  bytes.erase(bytes.begin() + ptrdiff_t(offset), bytes.begin() + ptrdiff_t(offset + oldLength));
  bytes.insert(bytes.begin() + ptrdiff_t(offset), entry.begin(), entry.end());
  SetHandleSize(desc->dataHandle, Size(bytes.size()));
  if (MemError() != noErr) return memFullErr;
  std::memcpy(*desc->dataHandle, bytes.data(), bytes.size());
  return noErr;
}

// A new descriptor of the item, coerced to desiredType.
OSErr CopyItem(const AEDesc *desc, size_t offset, DescType desiredType, AEDesc *result) {
  const Item item = ItemAt(desc, offset);
  AEDesc plain{};
  OSErr err = AECreateDesc(item.type, *desc->dataHandle + offset + sizeof(Item), Size(item.size), &plain);
  if (err != noErr) return err;
  if (desiredType == typeWildCard || desiredType == item.type) {
    *result = plain;
    return noErr;
  }
  err = AECoerceDesc(&plain, desiredType, result);
  AEDisposeDesc(&plain);
  return err;
}

OSErr CopyOut(const AEDesc *desc, DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize) {
  const Size size = AEGetDescDataSize(desc);
  if (typeCode != nullptr) *typeCode = desc->descriptorType;
  if (actualSize != nullptr) *actualSize = size;
  return AEGetDescData(desc, dataPtr, std::min(size, maximumSize));
}

std::map<std::pair<AEEventClass, AEEventID>, std::pair<AEEventHandlerUPP, SRefCon>> &Handlers() {
  static std::map<std::pair<AEEventClass, AEEventID>, std::pair<AEEventHandlerUPP, SRefCon>> handlers;
  return handlers;
}

}  // namespace

OSErr AECreateList(const void *factoringPtr, Size factoredSize, Boolean isRecord, AEDescList *resultList) {
  if (resultList == nullptr) return paramErr;
  *resultList = AEDesc{typeNull, nullptr};
  if (factoringPtr != nullptr || factoredSize != 0) return paramErr;
  Handle h = NewHandle(0);
  if (h == nullptr) return memFullErr;
  *resultList = AEDesc{isRecord ? DescType(typeAERecord) : DescType(typeAEList), h};
  return noErr;
}

OSErr AEPutDesc(AEDescList *theAEDescList, long index, const AEDesc *theAEDesc) {
  if (theAEDescList == nullptr || theAEDesc == nullptr) return paramErr;
  if (theAEDescList->descriptorType != typeAEList || !IsContainer(theAEDescList)) return errAEWrongDataType;
  const std::vector<size_t> offsets = ItemOffsets(theAEDescList);
  const long count = long(offsets.size());
  if (index == 0 || index == count + 1)
    return Splice(theAEDescList, size_t(GetHandleSize(theAEDescList->dataHandle)), 0, 0, theAEDesc);
  if (index < 1 || index > count) return errAEBadListItem;
  const size_t at = offsets[size_t(index - 1)];
  return Splice(theAEDescList, at, sizeof(Item) + ItemAt(theAEDescList, at).size, 0, theAEDesc);
}

OSErr AEPutPtr(AEDescList *theAEDescList, long index, DescType typeCode, const void *dataPtr, Size dataSize) {
  AEDesc value{};
  OSErr err = AECreateDesc(typeCode, dataPtr, dataSize, &value);
  if (err != noErr) return err;
  err = AEPutDesc(theAEDescList, index, &value);
  AEDisposeDesc(&value);
  return err;
}

OSErr AECountItems(const AEDescList *theAEDescList, long *theCount) {
  if (theAEDescList == nullptr || theCount == nullptr) return paramErr;
  *theCount = 0;
  if (!IsContainer(theAEDescList)) return errAEWrongDataType;
  *theCount = long(ItemOffsets(theAEDescList).size());
  return noErr;
}

OSErr AEGetNthDesc(const AEDescList *theAEDescList, long index, DescType desiredType, AEKeyword *theAEKeyword,
                   AEDesc *result) {
  if (theAEDescList == nullptr || result == nullptr) return paramErr;
  *result = AEDesc{typeNull, nullptr};
  if (!IsContainer(theAEDescList)) return errAEWrongDataType;
  const std::vector<size_t> offsets = ItemOffsets(theAEDescList);
  if (index < 1 || index > long(offsets.size())) return errAEBadListItem;
  const size_t at = offsets[size_t(index - 1)];
  if (theAEKeyword != nullptr) *theAEKeyword = ItemAt(theAEDescList, at).keyword;
  return CopyItem(theAEDescList, at, desiredType, result);
}

OSErr AEGetNthPtr(const AEDescList *theAEDescList, long index, DescType desiredType, AEKeyword *theAEKeyword,
                  DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize) {
  AEDesc item{};
  OSErr err = AEGetNthDesc(theAEDescList, index, desiredType, theAEKeyword, &item);
  if (err != noErr) return err;
  err = CopyOut(&item, typeCode, dataPtr, maximumSize, actualSize);
  AEDisposeDesc(&item);
  return err;
}

OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc *target,
                         SInt16 returnID, SInt32 transactionID, AppleEvent *result) {
  if (result == nullptr) return paramErr;
  const EventHeader header{kEventTag, theAEEventClass, theAEEventID};
  OSErr err = AECreateDesc(typeAppleEvent, &header, sizeof header, result);
  AEDesc value{};
  if (err == noErr && target != nullptr && target->descriptorType != typeNull)
    err = AEPutAttributeDesc(result, keyAddressAttr, target);
  if (err == noErr && (err = AECreateDesc(typeSInt16, &returnID, sizeof returnID, &value)) == noErr) {
    err = AEPutAttributeDesc(result, keyReturnIDAttr, &value);
    AEDisposeDesc(&value);
  }
  if (err == noErr && (err = AECreateDesc(typeSInt32, &transactionID, sizeof transactionID, &value)) == noErr) {
    err = AEPutAttributeDesc(result, keyTransactionIDAttr, &value);
    AEDisposeDesc(&value);
  }
  if (err != noErr) AEDisposeDesc(result);
  return err;
}

OSErr AEPutParamDesc(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, const AEDesc *theAEDesc) {
  if (theAppleEvent == nullptr || theAEDesc == nullptr) return paramErr;
  if (!AECheckIsRecord(theAppleEvent)) return errAEWrongDataType;
  for (size_t at : ItemOffsets(theAppleEvent))
    if (ItemAt(theAppleEvent, at).keyword == theAEKeyword)
      return Splice(theAppleEvent, at, sizeof(Item) + ItemAt(theAppleEvent, at).size, theAEKeyword, theAEDesc);
  return Splice(theAppleEvent, size_t(GetHandleSize(theAppleEvent->dataHandle)), 0, theAEKeyword, theAEDesc);
}

OSErr AEPutParamPtr(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType typeCode, const void *dataPtr,
                    Size dataSize) {
  AEDesc value{};
  OSErr err = AECreateDesc(typeCode, dataPtr, dataSize, &value);
  if (err != noErr) return err;
  err = AEPutParamDesc(theAppleEvent, theAEKeyword, &value);
  AEDisposeDesc(&value);
  return err;
}

OSErr AEGetParamDesc(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType, AEDesc *result) {
  if (theAppleEvent == nullptr || result == nullptr) return paramErr;
  *result = AEDesc{typeNull, nullptr};
  if (!AECheckIsRecord(theAppleEvent)) return errAENotAEDesc;
  for (size_t at : ItemOffsets(theAppleEvent)) {
    if (ItemAt(theAppleEvent, at).keyword != theAEKeyword) continue;
    const UInt32 read = 1;
    std::memcpy(*theAppleEvent->dataHandle + at + offsetof(Item, read), &read, sizeof read);
    return CopyItem(theAppleEvent, at, desiredType, result);
  }
  return errAEDescNotFound;
}

OSErr AEGetAttributePtr(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                        DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize) {
  if (theAppleEvent == nullptr) return paramErr;
  if (theAppleEvent->descriptorType != typeAppleEvent || !IsContainer(theAppleEvent)) return errAENotAEDesc;
  const auto *header = reinterpret_cast<const EventHeader *>(*theAppleEvent->dataHandle);
  OSType value = 0;
  DescType type = typeType;
  switch (theAEKeyword) {
    case keyEventClassAttr: value = header->eventClass; break;
    case keyEventIDAttr: value = header->eventID; break;
    case keyMissedKeywordAttr: {
      type = typeKeyword;
      bool found = false;
      for (size_t at : ItemOffsets(theAppleEvent))
        if (ItemAt(theAppleEvent, at).read == 0) {
          value = ItemAt(theAppleEvent, at).keyword;
          found = true;
          break;
        }
      if (!found) return errAEDescNotFound;
      break;
    }
    default: {
      AEDesc stored{};
      OSErr err = AEGetAttributeDesc(theAppleEvent, theAEKeyword, desiredType, &stored);
      if (err == noErr) err = CopyOut(&stored, typeCode, dataPtr, maximumSize, actualSize);
      AEDisposeDesc(&stored);
      return err;
    }
  }
  if (desiredType != typeWildCard && desiredType != type && desiredType != typeKeyword && desiredType != typeType)
    return errAECoercionFail;
  AEDesc desc{};
  OSErr err = AECreateDesc(type, &value, sizeof value, &desc);
  if (err == noErr) err = CopyOut(&desc, typeCode, dataPtr, maximumSize, actualSize);
  AEDisposeDesc(&desc);
  return err;
}

OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefcon, Boolean) {
  if (handler == nullptr) return paramErr;
  Handlers()[{theAEEventClass, theAEEventID}] = {handler, handlerRefcon};
  return noErr;
}

OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler, Boolean) {
  auto it = Handlers().find({theAEEventClass, theAEEventID});
  if (it == Handlers().end() || (handler != nullptr && it->second.first != handler)) return errAEEventNotHandled;
  Handlers().erase(it);
  return noErr;
}

OSErr PL_ProcessAppleEvent(const AppleEvent *theAppleEvent) {
  if (theAppleEvent == nullptr || !IsContainer(theAppleEvent) || theAppleEvent->descriptorType != typeAppleEvent)
    return errAENotAEDesc;
  const auto *header = reinterpret_cast<const EventHeader *>(*theAppleEvent->dataHandle);
  auto it = Handlers().find({header->eventClass, header->eventID});
  if (it == Handlers().end()) return errAEEventNotHandled;
  AppleEvent reply{};
  OSErr err = AECreateAppleEvent('aevt', 'ansr', nullptr, 0, 0, &reply);
  if (err != noErr) return err;
  const auto [handler, refcon] = it->second;
  err = handler(theAppleEvent, &reply, refcon);
  AEDisposeDesc(&reply);
  return err;
}

OSErr PL_CreateOpenDocumentsEvent(const char *const *paths, int count, AppleEvent *result) {
  if (result == nullptr || (paths == nullptr && count > 0)) return paramErr;
  AEDescList list{};
  OSErr err = AECreateList(nullptr, 0, false, &list);
  for (int i = 0; i < count && err == noErr; ++i) {
    std::string path = paths[i] != nullptr ? paths[i] : "";
    if (!path.empty() && path[0] != '/') {
      char cwd[PATH_MAX];
      if (getcwd(cwd, sizeof cwd) != nullptr) path = std::string(cwd) + "/" + path;
    }
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(path.c_str()),
                                                           CFIndex(path.size()), false);
    if (url == nullptr) {
      err = paramErr;
      break;
    }
    char text[PATH_MAX * 3 + 16];
    const Boolean ok = CFStringGetCString(CFURLGetString(url), text, sizeof text, kCFStringEncodingUTF8);
    CFRelease(url);
    if (!ok) {
      err = paramErr;
      break;
    }
    AEDesc item{};
    err = AECreateDesc(typeFileURL, text, Size(std::strlen(text)), &item);
    if (err == noErr) err = AEPutDesc(&list, 0, &item);
    AEDisposeDesc(&item);
  }
  if (err == noErr) err = AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, nullptr, 0, 0, result);
  if (err == noErr) err = AEPutParamDesc(result, keyDirectObject, &list);
  AEDisposeDesc(&list);
  return err;
}

// ---- Records --------------------------------------------------------------------------------------------

Boolean AECheckIsRecord(const AEDesc *theDesc) {
  if (theDesc == nullptr || !IsContainer(theDesc)) return false;
  return theDesc->descriptorType == typeAERecord || theDesc->descriptorType == typeAppleEvent ||
         theDesc->descriptorType == typeObjectSpecifier;
}

OSErr AEPutKeyDesc(AERecord *theAERecord, AEKeyword theAEKeyword, const AEDesc *theAEDesc) {
  return AEPutParamDesc(theAERecord, theAEKeyword, theAEDesc);
}

OSErr AEPutKeyPtr(AERecord *theAERecord, AEKeyword theAEKeyword, DescType typeCode, const void *dataPtr,
                  Size dataSize) {
  return AEPutParamPtr(theAERecord, theAEKeyword, typeCode, dataPtr, dataSize);
}

OSErr AEGetKeyDesc(const AERecord *theAERecord, AEKeyword theAEKeyword, DescType desiredType, AEDesc *result) {
  return AEGetParamDesc(theAERecord, theAEKeyword, desiredType, result);
}

OSErr AEGetKeyPtr(const AERecord *theAERecord, AEKeyword theAEKeyword, DescType desiredType, DescType *typeCode,
                  void *dataPtr, Size maximumSize, Size *actualSize) {
  return AEGetParamPtr(theAERecord, theAEKeyword, desiredType, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetParamPtr(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                    DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize) {
  AEDesc value{};
  OSErr err = AEGetParamDesc(theAppleEvent, theAEKeyword, desiredType, &value);
  if (err != noErr) return err;
  err = CopyOut(&value, typeCode, dataPtr, maximumSize, actualSize);
  AEDisposeDesc(&value);
  return err;
}

OSErr AEGetAttributeDesc(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                         AEDesc *result) {
  if (theAppleEvent == nullptr || result == nullptr) return paramErr;
  *result = AEDesc{typeNull, nullptr};
  if (theAppleEvent->descriptorType != typeAppleEvent || !IsContainer(theAppleEvent)) return errAENotAEDesc;
  if (theAEKeyword == keyEventClassAttr || theAEKeyword == keyEventIDAttr || theAEKeyword == keyMissedKeywordAttr) {
    OSType value = 0;
    DescType type = typeType;
    Size size = 0;
    OSErr err = AEGetAttributePtr(theAppleEvent, theAEKeyword, typeWildCard, &type, &value, sizeof value, &size);
    if (err != noErr) return err;
    AEDesc plain{};
    if ((err = AECreateDesc(type, &value, sizeof value, &plain)) != noErr) return err;
    err = AECoerceDesc(&plain, desiredType, result);
    AEDisposeDesc(&plain);
    return err;
  }
  for (size_t at : ItemOffsets(theAppleEvent, true))
    if (ItemAt(theAppleEvent, at).keyword == theAEKeyword) return CopyItem(theAppleEvent, at, desiredType, result);
  return errAEDescNotFound;
}

OSErr AEPutAttributeDesc(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, const AEDesc *theAEDesc) {
  if (theAppleEvent == nullptr || theAEDesc == nullptr) return paramErr;
  if (theAppleEvent->descriptorType != typeAppleEvent || !IsContainer(theAppleEvent)) return errAEWrongDataType;
  if (theAEKeyword == keyEventClassAttr || theAEKeyword == keyEventIDAttr) {
    if (AEGetDescDataSize(theAEDesc) != 4) return errAEWrongDataType;
    auto *header = reinterpret_cast<EventHeader *>(*theAppleEvent->dataHandle);
    std::memcpy(theAEKeyword == keyEventClassAttr ? &header->eventClass : &header->eventID, *theAEDesc->dataHandle, 4);
    return noErr;
  }
  for (size_t at : ItemOffsets(theAppleEvent, true))
    if (ItemAt(theAppleEvent, at).keyword == theAEKeyword)
      return Splice(theAppleEvent, at, sizeof(Item) + ItemAt(theAppleEvent, at).size, theAEKeyword, theAEDesc,
                    kAttribute);
  return Splice(theAppleEvent, size_t(GetHandleSize(theAppleEvent->dataHandle)), 0, theAEKeyword, theAEDesc,
                kAttribute);
}

// ---- Coercion -------------------------------------------------------------------------------------------

namespace {

struct Coercion {
  AECoercionHandlerUPP handler;
  SRefCon refcon;
};

std::map<std::pair<DescType, DescType>, Coercion> &Coercions() {
  static std::map<std::pair<DescType, DescType>, Coercion> coercions;
  return coercions;
}

std::vector<char> DataOf(const AEDesc *desc) {
  const Size size = AEGetDescDataSize(desc);
  std::vector<char> bytes(size_t(std::max<Size>(size, 0)));
  if (size > 0) std::memcpy(bytes.data(), *desc->dataHandle, size_t(size));
  return bytes;
}

bool IsText(DescType t) { return t == typeChar || t == typeUTF8Text || t == typeUnicodeText; }
bool IsNumber(DescType t) {
  return t == typeSInt16 || t == typeSInt32 || t == typeIEEE32BitFloatingPoint || t == typeIEEE64BitFloatingPoint;
}
bool IsCode(DescType t) { return t == typeType || t == typeEnumerated || t == typeKeyword || t == typeProperty; }

// The text as UTF-8 ('TEXT' is in the system encoding, which is UTF-8 here).
bool TextAsUTF8(DescType type, const std::vector<char> &bytes, std::string *out) {
  if (type != typeUnicodeText) {
    out->assign(bytes.begin(), bytes.end());
    return true;
  }
  CFStringRef s = CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar *>(bytes.data()),
                                               CFIndex(bytes.size() / 2));
  if (s == nullptr) return false;
  const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
  std::vector<char> buffer(static_cast<size_t>(max));
  const bool ok = CFStringGetCString(s, buffer.data(), max, kCFStringEncodingUTF8);
  CFRelease(s);
  if (ok) out->assign(buffer.data());
  return ok;
}

OSErr TextDesc(DescType toType, const std::string &utf8, AEDesc *result) {
  if (toType != typeUnicodeText) return AECreateDesc(toType, utf8.data(), Size(utf8.size()), result);
  CFStringRef s = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(utf8.data()), CFIndex(utf8.size()),
                                          kCFStringEncodingUTF8, false);
  if (s == nullptr) return errAECoercionFail;
  std::vector<UniChar> chars(size_t(CFStringGetLength(s)));
  CFStringGetCharacters(s, CFRangeMake(0, CFIndex(chars.size())), chars.data());
  CFRelease(s);
  return AECreateDesc(typeUnicodeText, chars.data(), Size(chars.size() * sizeof(UniChar)), result);
}

bool NumberOf(DescType type, const std::vector<char> &bytes, double *value) {
  auto get = [&](auto v) {
    if (bytes.size() != sizeof v) return false;
    std::memcpy(&v, bytes.data(), sizeof v);
    *value = double(v);
    return true;
  };
  switch (type) {
    case typeSInt16: return get(SInt16{});
    case typeSInt32: return get(SInt32{});
    case typeIEEE32BitFloatingPoint: return get(float{});
    case typeIEEE64BitFloatingPoint: return get(double{});
    default: break;
  }
  if (!IsText(type)) return false;
  std::string text;
  if (!TextAsUTF8(type, bytes, &text)) return false;
  char *end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return false;
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  *value = v;
  return true;
}

OSErr NumberDesc(DescType toType, double v, AEDesc *result) {
  switch (toType) {
    case typeSInt16: {
      if (v != std::trunc(v) || v < -32768 || v > 32767) return errAECoercionFail;
      const SInt16 n = SInt16(v);
      return AECreateDesc(toType, &n, sizeof n, result);
    }
    case typeSInt32: {
      if (v != std::trunc(v) || v < double(INT32_MIN) || v > double(INT32_MAX)) return errAECoercionFail;
      const SInt32 n = SInt32(v);
      return AECreateDesc(toType, &n, sizeof n, result);
    }
    case typeIEEE32BitFloatingPoint: {
      const float f = float(v);
      return AECreateDesc(toType, &f, sizeof f, result);
    }
    default: {
      return AECreateDesc(typeIEEE64BitFloatingPoint, &v, sizeof v, result);
    }
  }
}

OSErr BuiltInCoercion(const AEDesc *from, DescType toType, AEDesc *result) {
  const DescType type = from->descriptorType;
  const std::vector<char> bytes = DataOf(from);
  if (IsText(type) && IsText(toType)) {
    std::string text;
    if (!TextAsUTF8(type, bytes, &text)) return errAECoercionFail;
    return TextDesc(toType, text, result);
  }
  if (IsNumber(toType) && (IsNumber(type) || IsText(type))) {
    double v = 0;
    if (!NumberOf(type, bytes, &v)) return errAECoercionFail;
    return NumberDesc(toType, v, result);
  }
  if (IsNumber(type) && IsText(toType)) {
    double v = 0;
    if (!NumberOf(type, bytes, &v)) return errAECoercionFail;
    char text[64];
    if (v == std::trunc(v) && std::fabs(v) < 1e15) std::snprintf(text, sizeof text, "%.0f", v);
    else std::snprintf(text, sizeof text, "%.17g", v);
    return TextDesc(toType, text, result);
  }
  if (IsCode(type) && IsCode(toType) && bytes.size() == 4) return AECreateDesc(toType, bytes.data(), 4, result);
  if (type == typeAEList && toType == kQDRectType) {
    long count = 0;
    if (AECountItems(from, &count) != noErr || count != 4) return errAECoercionFail;
    SInt16 r[4];
    for (long i = 1; i <= 4; ++i) {
      SInt16 v = 0;
      Size got = 0;
      if (AEGetNthPtr(from, i, typeSInt16, nullptr, nullptr, &v, sizeof v, &got) != noErr) return errAECoercionFail;
      r[i - 1] = v;
    }
    return AECreateDesc(kQDRectType, r, sizeof r, result);
  }
  if ((type == typeAppleEvent || type == typeObjectSpecifier) && toType == typeAERecord && IsContainer(from)) {
    OSErr err = AECreateList(nullptr, 0, true, result);
    for (size_t at : ItemOffsets(from)) {
      if (err != noErr) break;
      AEDesc item{};
      err = CopyItem(from, at, typeWildCard, &item);
      if (err == noErr) err = AEPutKeyDesc(result, ItemAt(from, at).keyword, &item);
      AEDisposeDesc(&item);
    }
    if (err != noErr) AEDisposeDesc(result);
    return err;
  }
  if (type == typeAERecord && toType == typeObjectSpecifier) return AECreateDesc(toType, bytes.data(), Size(bytes.size()), result);
  return PL_CoerceFileDesc(from, toType, result);
}

}  // namespace

OSErr AECoerceDesc(const AEDesc *theAEDesc, DescType toType, AEDesc *result) {
  if (theAEDesc == nullptr || result == nullptr) return paramErr;
  *result = AEDesc{typeNull, nullptr};
  const DescType type = theAEDesc->descriptorType;
  if (toType == typeWildCard || toType == type) {
    const Size size = AEGetDescDataSize(theAEDesc);
    return AECreateDesc(type, size > 0 ? *theAEDesc->dataHandle : nullptr, size, result);
  }
  for (const DescType from : {type, DescType(typeWildCard)}) {
    auto it = Coercions().find({from, toType});
    if (it == Coercions().end()) continue;
    const OSErr err = it->second.handler(theAEDesc, toType, it->second.refcon, result);
    if (err != noErr) {
      AEDisposeDesc(result);
      return err;
    }
    return noErr;
  }
  return BuiltInCoercion(theAEDesc, toType, result);
}

OSErr AECoercePtr(DescType typeCode, const void *dataPtr, Size dataSize, DescType toType, AEDesc *result) {
  AEDesc plain{};
  OSErr err = AECreateDesc(typeCode, dataPtr, dataSize, &plain);
  if (err != noErr) return err;
  err = AECoerceDesc(&plain, toType, result);
  AEDisposeDesc(&plain);
  return err;
}

OSErr AEInstallCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                               SRefCon handlerRefcon, Boolean fromTypeIsDesc, Boolean) {
  // Handlers that take pointers are not kept: every caller here works with descriptors.
  if (handler == nullptr || !fromTypeIsDesc) return paramErr;
  Coercions()[{fromType, toType}] = Coercion{handler, handlerRefcon};
  return noErr;
}

OSErr AERemoveCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler, Boolean) {
  auto it = Coercions().find({fromType, toType});
  if (it == Coercions().end() || (handler != nullptr && it->second.handler != handler)) return errAEHandlerNotFound;
  Coercions().erase(it);
  return noErr;
}

// ---- Build syntax ---------------------------------------------------------------------------------------

namespace {

// A recursive-descent reader of the build format; each value becomes a new descriptor.
class Builder {
 public:
  Builder(const char *format, va_list *args) : text_(format), args_(args) {}

  UInt32 error = aeBuildSyntaxNoErr;
  UInt32 position = 0;

  // keyword ':' value (',' keyword ':' value)* up to the end (or, inside a record, up to '}').
  bool Fields(AEDesc *record, bool braces) {
    Skip();
    if (braces && Peek() == '}') return true;
    if (!braces && AtEnd()) return true;
    for (;;) {
      Skip();
      OSType key = 0;
      if (!Code(&key)) return Fail(AtEnd() ? aeBuildSyntaxBadEOF : aeBuildSyntaxNoKey);
      Skip();
      if (Peek() != ':') return Fail(AtEnd() ? aeBuildSyntaxBadEOF : aeBuildSyntaxNoColon);
      ++at_;
      AEDesc value{};
      if (!Value(&value)) return false;
      const OSErr err = AEPutKeyDesc(record, key, &value);
      AEDisposeDesc(&value);
      if (err != noErr) return Fail(aeBuildSyntaxBadDesc, err);
      Skip();
      if (Peek() == ',') {
        ++at_;
        continue;
      }
      if (braces) {
        if (Peek() == '}') return true;
        return Fail(AtEnd() ? aeBuildSyntaxBadEOF : aeBuildSyntaxNoCloseBrace);
      }
      if (AtEnd()) return true;
      return Fail(aeBuildSyntaxNoEOF);
    }
  }

  OSErr osErr = noErr;  // a Manager error met while building (memory), besides the syntax

 private:
  const char *text_;
  size_t at_ = 0;
  va_list *args_;

  bool AtEnd() const { return text_[at_] == '\0'; }
  unsigned char Peek() const { return static_cast<unsigned char>(text_[at_]); }
  void Skip() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r') ++at_;
  }
  bool Fail(UInt32 code, OSErr err = noErr) {
    if (error == aeBuildSyntaxNoErr) {
      error = code;
      position = UInt32(at_);
      osErr = err;
    }
    return false;
  }
  // Looks at a UTF-8 or Mac OS Roman spelling of a typographic character.
  bool Match(const char *utf8, unsigned char roman) {
    const size_t n = std::strlen(utf8);
    if (std::strncmp(text_ + at_, utf8, n) == 0) {
      at_ += n;
      return true;
    }
    if (Peek() == roman) {
      ++at_;
      return true;
    }
    return false;
  }

  static bool IdentChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == ' '; }

  // 'abcd' (any four characters) or an identifier of one to four letters padded with blanks.
  bool Code(OSType *code) {
    if (Peek() == '\'') {
      ++at_;
      char c[4];
      for (int i = 0; i < 4; ++i) {
        if (AtEnd()) return Fail(aeBuildSyntaxMissingQuote);
        c[i] = text_[at_++];
      }
      if (Peek() != '\'') return Fail(aeBuildSyntaxMissingQuote);
      ++at_;
      *code = (OSType(UInt8(c[0])) << 24) | (OSType(UInt8(c[1])) << 16) | (OSType(UInt8(c[2])) << 8) | UInt8(c[3]);
      return true;
    }
    if (!std::isalpha(Peek())) return false;
    char c[4] = {' ', ' ', ' ', ' '};
    int n = 0;
    while (std::isalnum(Peek()) || Peek() == '_') {
      if (n == 4) return false;
      c[n++] = text_[at_++];
    }
    *code = (OSType(UInt8(c[0])) << 24) | (OSType(UInt8(c[1])) << 16) | (OSType(UInt8(c[2])) << 8) | UInt8(c[3]);
    return true;
  }

  bool Make(DescType type, const void *data, Size size, AEDesc *out) {
    const OSErr err = AECreateDesc(type, data, size, out);
    return err == noErr ? true : Fail(aeBuildSyntaxBadDesc, err);
  }

  bool Value(AEDesc *out) {
    Skip();
    if (AtEnd()) return Fail(aeBuildSyntaxBadEOF);
    const unsigned char c = Peek();
    if (c == '@') {
      ++at_;
      if (Peek() == '@') return Fail(aeBuildSyntaxUncoercedDoubleAt);
      const AEDesc *given = va_arg(*args_, const AEDesc *);
      if (given == nullptr) return Fail(aeBuildSyntaxBadData);
      const Size size = AEGetDescDataSize(given);
      return Make(given->descriptorType, size > 0 ? *given->dataHandle : nullptr, size, out);
    }
    if (c == '-' || std::isdigit(c)) {
      const size_t start = at_;
      if (c == '-') {
        ++at_;
        if (!std::isdigit(Peek())) return Fail(aeBuildSyntaxBadNegative);
      }
      while (std::isdigit(Peek())) ++at_;
      const long long v = std::strtoll(std::string(text_ + start, at_ - start).c_str(), nullptr, 10);
      if (v >= -32768 && v <= 32767) {
        const SInt16 n = SInt16(v);
        return Make(typeSInt16, &n, sizeof n, out);
      }
      if (v < INT32_MIN || v > INT32_MAX) return Fail(aeBuildSyntaxBadData);
      const SInt32 n = SInt32(v);
      return Make(typeSInt32, &n, sizeof n, out);
    }
    if (c == '\'') {
      OSType code = 0;
      if (!Code(&code)) return false;
      return Typed(code, out, true);
    }
    if (c == '"' || Match("\xE2\x80\x9C", 0xD2)) {  // straight or curly opening quote
      if (c == '"') ++at_;
      std::string text;
      for (;;) {
        if (AtEnd()) return Fail(aeBuildSyntaxNoCloseString);
        if (c == '"' ? Peek() == '"' : Match("\xE2\x80\x9D", 0xD3)) {
          if (c == '"') ++at_;
          break;
        }
        text += text_[at_++];
      }
      return Make(typeChar, text.data(), Size(text.size()), out);
    }
    if (c == '[') {
      ++at_;
      OSErr err = AECreateList(nullptr, 0, false, out);
      if (err != noErr) return Fail(aeBuildSyntaxBadDesc, err);
      Skip();
      if (Peek() == ']') {
        ++at_;
        return true;
      }
      for (;;) {
        AEDesc item{};
        if (!Value(&item)) return false;
        err = AEPutDesc(out, 0, &item);
        AEDisposeDesc(&item);
        if (err != noErr) return Fail(aeBuildSyntaxBadDesc, err);
        Skip();
        if (Peek() == ',') {
          ++at_;
          continue;
        }
        if (Peek() == ']') {
          ++at_;
          return true;
        }
        return Fail(AtEnd() ? aeBuildSyntaxBadEOF : aeBuildSyntaxNoCloseBracket);
      }
    }
    if (c == '{') {
      ++at_;
      const OSErr err = AECreateList(nullptr, 0, true, out);
      if (err != noErr) return Fail(aeBuildSyntaxBadDesc, err);
      if (!Fields(out, true)) return false;
      ++at_;  // the '}'
      return true;
    }
    if (c == '$' || Match("\xC2\xAB", 0xC7)) return Fail(aeBuildSyntaxUncoercedHex);
    if (std::isalpha(c)) {
      OSType code = 0;
      if (!Code(&code)) return Fail(aeBuildSyntaxBadToken);
      return Typed(code, out, false);
    }
    return Fail(aeBuildSyntaxBadToken);
  }

  // After a type code: "(data)" makes a descriptor of that type; without one the code is an enumerated value.
  bool Typed(OSType type, AEDesc *out, bool quoted) {
    Skip();
    if (Peek() != '(') {
      (void)quoted;
      return Make(typeEnumerated, &type, sizeof type, out);
    }
    ++at_;
    Skip();
    bool ok = false;
    if (Peek() == '@' && text_[at_ + 1] == '@') {
      at_ += 2;
      Handle h = va_arg(*args_, Handle);
      if (h == nullptr) return Fail(aeBuildSyntaxBadData);
      ok = Make(type, *h, GetHandleSize(h), out);
    } else if (Peek() == '@') {
      ++at_;
      if (type == typeChar || type == typeUTF8Text) {
        const char *text = va_arg(*args_, const char *);
        if (text == nullptr) return Fail(aeBuildSyntaxBadData);
        ok = Make(type, text, Size(std::strlen(text)), out);
      } else {
        const Size size = va_arg(*args_, Size);
        const void *data = va_arg(*args_, const void *);
        if (size < 0 || (size > 0 && data == nullptr)) return Fail(aeBuildSyntaxBadData);
        ok = Make(type, data, size, out);
      }
    } else if (Peek() == '$' || Match("\xC2\xAB", 0xC7)) {
      const bool dollar = Peek() == '$';
      if (dollar) ++at_;
      std::vector<UInt8> bytes;
      int half = -1;
      for (;;) {
        if (AtEnd()) return Fail(aeBuildSyntaxNoCloseHex);
        if (dollar ? Peek() == '$' : Match("\xC2\xBB", 0xC8)) {
          if (dollar) ++at_;
          break;
        }
        const unsigned char h = Peek();
        if (h == ' ') {
          ++at_;
          continue;
        }
        if (!std::isxdigit(h)) return Fail(aeBuildSyntaxBadHex);
        const int v = std::isdigit(h) ? h - '0' : std::tolower(h) - 'a' + 10;
        ++at_;
        if (half < 0) {
          half = v;
        } else {
          bytes.push_back(UInt8(half * 16 + v));
          half = -1;
        }
      }
      if (half >= 0) return Fail(aeBuildSyntaxOddHex);
      ok = Make(type, bytes.data(), Size(bytes.size()), out);
    } else {
      if (Peek() == ')') return Fail(aeBuildSyntaxBadData);
      const bool isList = Peek() == '[';
      AEDesc inner{};
      if (!Value(&inner)) return false;
      if (isList && type != typeAEList) {
        AEDisposeDesc(&inner);
        return Fail(aeBuildSyntaxCoercedList);
      }
      const OSErr err = AECoerceDesc(&inner, type, out);
      AEDisposeDesc(&inner);
      if (err != noErr) return Fail(aeBuildSyntaxBadData, err);
      ok = true;
    }
    if (!ok) return false;
    Skip();
    if (Peek() != ')') {
      AEDisposeDesc(out);
      return Fail(AtEnd() ? aeBuildSyntaxBadEOF : aeBuildSyntaxNoCloseParen);
    }
    ++at_;
    return true;
  }
};

}  // namespace

OSStatus AEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType, const void *addressData,
                           Size addressLength, SInt16 returnID, SInt32 transactionID, AppleEvent *result,
                           AEBuildError *error, const char *paramsFmt, ...) {
  if (error != nullptr) *error = AEBuildError{aeBuildSyntaxNoErr, 0};
  if (result == nullptr || paramsFmt == nullptr) return paramErr;
  *result = AEDesc{typeNull, nullptr};
  AEAddressDesc target{};
  OSErr err = AECreateDesc(addressType, addressData, addressLength, &target);
  if (err != noErr) return err;
  err = AECreateAppleEvent(theClass, theID, &target, returnID, transactionID, result);
  AEDisposeDesc(&target);
  if (err != noErr) return err;
  va_list args;
  va_start(args, paramsFmt);
  Builder builder(paramsFmt, &args);
  const bool ok = builder.Fields(result, false);
  va_end(args);
  if (ok) return noErr;
  if (error != nullptr) *error = AEBuildError{builder.error, builder.position};
  AEDisposeDesc(result);
  return builder.osErr != noErr ? OSStatus(builder.osErr) : OSStatus(errAEBuildSyntaxError);
}

// ---- Object specifiers ----------------------------------------------------------------------------------

OSErr CreateObjSpecifier(DescType desiredClass, AEDesc *theContainer, DescType keyForm, AEDesc *keyData,
                         Boolean disposeInputs, AEDesc *objSpecifier) {
  if (theContainer == nullptr || keyData == nullptr || objSpecifier == nullptr) return paramErr;
  *objSpecifier = AEDesc{typeNull, nullptr};
  AERecord record{};
  OSErr err = AECreateList(nullptr, 0, true, &record);
  if (err == noErr) err = AEPutKeyPtr(&record, keyAEDesiredClass, typeType, &desiredClass, sizeof desiredClass);
  if (err == noErr) err = AEPutKeyDesc(&record, keyAEContainer, theContainer);
  if (err == noErr) err = AEPutKeyPtr(&record, keyAEKeyForm, typeEnumerated, &keyForm, sizeof keyForm);
  if (err == noErr) err = AEPutKeyDesc(&record, keyAEKeyData, keyData);
  if (err == noErr) {
    record.descriptorType = typeObjectSpecifier;
    *objSpecifier = record;
  } else {
    AEDisposeDesc(&record);
  }
  if (disposeInputs) {
    AEDisposeDesc(theContainer);
    AEDisposeDesc(keyData);
  }
  return err;
}

// ---- Sending and processing -----------------------------------------------------------------------------

namespace {

// Whether the address names this process.
bool AddressedToUs(const AppleEvent *event) {
  AEDesc address{};
  if (AEGetAttributeDesc(event, keyAddressAttr, typeWildCard, &address) != noErr) return false;
  bool us = false;
  const std::vector<char> bytes = DataOf(&address);
  if (address.descriptorType == typeProcessSerialNumber && bytes.size() == sizeof(ProcessSerialNumber)) {
    ProcessSerialNumber psn, current{0, kCurrentProcess};
    std::memcpy(&psn, bytes.data(), sizeof psn);
    Boolean same = false;
    us = SameProcess(&psn, &current, &same) == noErr && same;
  } else if (address.descriptorType == typeApplSignature && bytes.size() == 4) {
    OSType signature = 0;
    std::memcpy(&signature, bytes.data(), 4);
    us = signature == PL_GetProcessSignature() && signature != kUnknownSignature;
  }
  AEDisposeDesc(&address);
  return us;
}

OSErr Dispatch(const AppleEvent *event, AppleEvent *reply) {
  const auto *header = reinterpret_cast<const EventHeader *>(*event->dataHandle);
  auto it = Handlers().find({header->eventClass, header->eventID});
  if (it == Handlers().end()) return errAEEventNotHandled;
  const auto [handler, refcon] = it->second;
  return handler(event, reply, refcon);
}

// The Apple events that ConvertEventRefToEventRecord handed out as records, by the record's message.
std::map<UInt32, EventRef> &HighLevelRecords() {
  static std::map<UInt32, EventRef> records;
  return records;
}

}  // namespace

OSErr AESend(const AppleEvent *theAppleEvent, AppleEvent *reply, AESendMode sendMode, AESendPriority, SInt32,
             AEIdleUPP, AEFilterUPP) {
  if (theAppleEvent == nullptr || theAppleEvent->descriptorType != typeAppleEvent || !IsContainer(theAppleEvent))
    return errAENotAEDesc;
  const bool wait = (sendMode & 3) == kAEWaitReply;
  if (reply != nullptr) *reply = AEDesc{typeNull, nullptr};
  if (wait && reply == nullptr) return paramErr;
  if (!AddressedToUs(theAppleEvent)) return procNotFound;
  AppleEvent answer{};
  OSErr err = AECreateAppleEvent(kCoreEventClass, 'ansr', nullptr, kAutoGenerateReturnID, kAnyTransactionID, &answer);
  if (err != noErr) return err;
  const OSErr handled = Dispatch(theAppleEvent, &answer);
  if (!wait) {
    AEDisposeDesc(&answer);
    return handled;
  }
  // The handler's failure travels in the reply, as it does between processes.
  AEDesc existing{};
  if (handled != noErr && AEGetParamDesc(&answer, keyErrorNumber, typeWildCard, &existing) == errAEDescNotFound) {
    const SInt32 number = handled;
    err = AEPutParamPtr(&answer, keyErrorNumber, typeSInt32, &number, sizeof number);
  }
  AEDisposeDesc(&existing);
  if (err != noErr) {
    AEDisposeDesc(&answer);
    return err;
  }
  *reply = answer;
  return noErr;
}

OSErr AEInteractWithUser(SInt32, void *, AEIdleUPP) { return noErr; }

OSStatus PL_CreateHighLevelEvent(const AppleEvent *theAppleEvent, EventRef *outEvent) {
  if (theAppleEvent == nullptr || outEvent == nullptr || !IsContainer(theAppleEvent) ||
      theAppleEvent->descriptorType != typeAppleEvent)
    return paramErr;
  *outEvent = nullptr;
  OSStatus err = CreateEvent(nullptr, kEventClassEPPC, kEventHighLevelEvent, GetCurrentEventTime(), 0, outEvent);
  if (err != noErr) return err;
  AppleEvent copy{};
  if ((err = AECoerceDesc(theAppleEvent, typeAppleEvent, &copy)) == noErr)
    err = SetEventParameter(*outEvent, kEventParamAEEventRecord, typeAppleEvent, sizeof copy, &copy);
  // The event keeps the copy's handle; it is freed when AEProcessAppleEvent has used it.
  if (err != noErr) {
    AEDisposeDesc(&copy);
    ReleaseEvent(*outEvent);
    *outEvent = nullptr;
  }
  return err;
}

Boolean ConvertEventRefToEventRecord(EventRef inEvent, EventRecord *outEvent) {
  if (inEvent == nullptr || outEvent == nullptr) return false;
  *outEvent = EventRecord{};
  outEvent->when = UInt32(GetEventTime(inEvent) * 60);
  if (GetEventClass(inEvent) != kEventClassEPPC || GetEventKind(inEvent) != kEventHighLevelEvent) return false;
  static UInt32 serial = 0;
  outEvent->what = kHighLevelEvent;
  outEvent->message = ++serial;
  HighLevelRecords()[serial] = RetainEvent(inEvent);
  return true;
}

OSErr AEProcessAppleEvent(const EventRecord *theEventRecord) {
  if (theEventRecord == nullptr || theEventRecord->what != kHighLevelEvent) return errAENotAEDesc;
  auto it = HighLevelRecords().find(theEventRecord->message);
  if (it == HighLevelRecords().end()) return errAENotAEDesc;
  EventRef carbon = it->second;
  HighLevelRecords().erase(it);
  AppleEvent event{};
  OSErr err = GetEventParameter(carbon, kEventParamAEEventRecord, typeAppleEvent, nullptr, sizeof event, nullptr, &event);
  if (err == noErr) {
    err = PL_ProcessAppleEvent(&event);
    AEDisposeDesc(&event);
    // The copy is used once: the parameter no longer names a handle.
    AppleEvent gone{};
    SetEventParameter(carbon, kEventParamAEEventRecord, typeAppleEvent, sizeof gone, &gone);
  } else {
    err = errAENotAEDesc;
  }
  ReleaseEvent(carbon);
  return err;
}
