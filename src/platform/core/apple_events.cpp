// Apple Event Manager stand-in.
#include "platform/core/apple_events.h"

#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <climits>
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
  UInt32 read;
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

size_t FirstItemOffset(const AEDesc *desc) { return desc->descriptorType == typeAppleEvent ? sizeof(EventHeader) : 0; }

bool IsContainer(const AEDesc *desc) {
  if (desc == nullptr || desc->dataHandle == nullptr) return false;
  if (desc->descriptorType == typeAEList) return true;
  return desc->descriptorType == typeAppleEvent && size_t(GetHandleSize(desc->dataHandle)) >= sizeof(EventHeader) &&
         reinterpret_cast<const EventHeader *>(*desc->dataHandle)->tag == kEventTag;
}

// The offsets of the container's items, in order.
std::vector<size_t> ItemOffsets(const AEDesc *desc) {
  std::vector<size_t> offsets;
  const size_t total = size_t(GetHandleSize(desc->dataHandle));
  size_t at = FirstItemOffset(desc);
  while (at + sizeof(Item) <= total) {
    Item item;
    std::memcpy(&item, *desc->dataHandle + at, sizeof item);
    if (at + sizeof(Item) + item.size > total) break;
    offsets.push_back(at);
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
OSErr Splice(AEDesc *desc, size_t offset, size_t oldLength, AEKeyword keyword, const AEDesc *value) {
  const Size valueSize = AEGetDescDataSize(value);
  std::vector<char> bytes(*desc->dataHandle, *desc->dataHandle + GetHandleSize(desc->dataHandle));
  Item item{keyword, value->descriptorType, 0, UInt32(valueSize)};
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
  if (isRecord || factoringPtr != nullptr || factoredSize != 0) return paramErr;
  Handle h = NewHandle(0);
  if (h == nullptr) return memFullErr;
  *resultList = AEDesc{typeAEList, h};
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

OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc *, SInt16,
                         SInt32, AppleEvent *result) {
  if (result == nullptr) return paramErr;
  const EventHeader header{kEventTag, theAEEventClass, theAEEventID};
  return AECreateDesc(typeAppleEvent, &header, sizeof header, result);
}

OSErr AEPutParamDesc(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, const AEDesc *theAEDesc) {
  if (theAppleEvent == nullptr || theAEDesc == nullptr) return paramErr;
  if (theAppleEvent->descriptorType != typeAppleEvent || !IsContainer(theAppleEvent)) return errAEWrongDataType;
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
  if (theAppleEvent->descriptorType != typeAppleEvent || !IsContainer(theAppleEvent)) return errAENotAEDesc;
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
    default:
      return errAEDescNotFound;
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
