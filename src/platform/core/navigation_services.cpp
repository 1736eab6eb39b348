// Navigation Services stand-in.
#include "platform/core/navigation_services.h"

#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/file_urls.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace {
PL_ChooseFileProc gChooseFile = nullptr;
PL_PutFileProc gPutFile = nullptr;
}

OSErr AECreateDesc(DescType typeCode, const void *dataPtr, Size dataSize, AEDesc *result) {
  if (result == nullptr) return paramErr;
  result->descriptorType = typeNull;
  result->dataHandle = nullptr;
  if (dataSize < 0 || (dataPtr == nullptr && dataSize > 0)) return paramErr;
  if (typeCode == typeNull && dataSize == 0) return noErr;
  Handle h = nullptr;
  OSErr err = PtrToHand(dataPtr, &h, dataSize);
  if (err != noErr) return err;
  result->descriptorType = typeCode;
  result->dataHandle = h;
  return noErr;
}

OSErr AEDisposeDesc(AEDesc *theAEDesc) {
  if (theAEDesc == nullptr) return paramErr;
  if (theAEDesc->dataHandle != nullptr) DisposeHandle(theAEDesc->dataHandle);
  theAEDesc->dataHandle = nullptr;
  theAEDesc->descriptorType = typeNull;
  return noErr;
}

Size AEGetDescDataSize(const AEDesc *theAEDesc) {
  if (theAEDesc == nullptr || theAEDesc->dataHandle == nullptr) return 0;
  return GetHandleSize(theAEDesc->dataHandle);
}

OSErr AEGetDescData(const AEDesc *theAEDesc, void *dataPtr, Size maximumSize) {
  if (theAEDesc == nullptr || (dataPtr == nullptr && maximumSize > 0) || maximumSize < 0) return paramErr;
  Size size = std::min(AEGetDescDataSize(theAEDesc), maximumSize);
  if (size > 0) std::memcpy(dataPtr, *theAEDesc->dataHandle, size_t(size));
  return noErr;
}

OSErr PL_CoerceFileDesc(const AEDesc *theAEDesc, DescType toType, AEDesc *result) {
  if (theAEDesc == nullptr || result == nullptr) return paramErr;
  result->descriptorType = typeNull;
  result->dataHandle = nullptr;
  const Size size = AEGetDescDataSize(theAEDesc);
  if (theAEDesc->descriptorType == toType)
    return AECreateDesc(toType, size > 0 ? *theAEDesc->dataHandle : nullptr, size, result);
  if (theAEDesc->descriptorType == typeFSRef && toType == typeFileURL) {
    if (size != Size(sizeof(FSRef))) return errAECoercionFail;
    FSRef ref;
    std::memcpy(&ref, *theAEDesc->dataHandle, sizeof(ref));
    CFURLRef url = CFURLCreateFromFSRef(nullptr, &ref);
    if (url == nullptr) return errAECoercionFail;
    char text[4096];
    Boolean ok = CFStringGetCString(CFURLGetString(url), text, sizeof(text), kCFStringEncodingUTF8);
    CFRelease(url);
    if (!ok) return errAECoercionFail;
    return AECreateDesc(typeFileURL, text, Size(std::strlen(text)), result);
  }
  if (theAEDesc->descriptorType == typeFileURL && toType == typeFSRef) {
    std::string text(size_t(size), '\0');
    if (size > 0) std::memcpy(text.data(), *theAEDesc->dataHandle, size_t(size));
    CFStringRef string = CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
    CFURLRef url = string != nullptr ? CFURLCreateWithString(nullptr, string, nullptr) : nullptr;
    if (string != nullptr) CFRelease(string);
    if (url == nullptr) return errAECoercionFail;
    FSRef ref;
    Boolean ok = CFURLGetFSRef(url, &ref);
    CFRelease(url);
    if (!ok) return fnfErr;
    return AECreateDesc(typeFSRef, &ref, sizeof(ref), result);
  }
  return errAECoercionFail;
}

Boolean PL_NavFilterShowsPath(NavObjectFilterUPP filter, NavCallBackUserData userData, const char *path) {
  if (path == nullptr) return false;
  if (filter == nullptr) return true;
  FSRef ref;
  Boolean isDirectory = false;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(path), &ref, &isDirectory) != noErr) return false;
  AEDesc item{};
  if (AECreateDesc(typeFSRef, &ref, sizeof(ref), &item) != noErr) return false;
  NavFileOrFolderInfo info{0, isDirectory, true};
  Boolean shown = filter(&item, &info, userData, kNavFilteringBrowserList);
  AEDisposeDesc(&item);
  return shown;
}

void PL_SetChooseFileProc(PL_ChooseFileProc proc) { gChooseFile = proc; }

OSStatus PL_RunChooseFileDialog(const PL_ChooseFileRequest *request, FSRef *file) {
  if (file == nullptr || request == nullptr) return paramErr;
  std::memset(file, 0, sizeof(*file));
  std::vector<FSRef> chosen;
  const OSStatus err = PL_RunChooseDialog(request, &chosen);
  if (err == noErr) *file = chosen.front();
  return err;
}

OSStatus PL_RunChooseDialog(const PL_ChooseFileRequest *request, std::vector<FSRef> *chosen) {
  if (request == nullptr || chosen == nullptr) return paramErr;
  chosen->clear();
  if (gChooseFile == nullptr) return unimpErr;
  std::string answer;
  OSStatus err = gChooseFile(request, &answer);
  if (err != noErr) return err;
  std::vector<FSRef> items;
  size_t start = 0;
  while (start < answer.size()) {
    size_t end = answer.find('\n', start);
    if (end == std::string::npos) end = answer.size();
    const std::string path = answer.substr(start, end - start);
    start = end + 1;
    if (path.empty()) continue;
    FSRef ref;
    Boolean isDirectory = false;
    if ((err = FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, &isDirectory)) != noErr) return err;
    const bool wantsFolder = request->kind == kPL_ChooseFolder || request->kind == kPL_ChooseVolume;
    if (wantsFolder && !isDirectory) return dirNFErr;
    if (!wantsFolder && isDirectory) return notAFileErr;
    if (request->kind == kPL_ChooseVolume) {
      // The top of a mounted volume: "/" or a folder on another device than its parent.
      struct stat self, parent;
      const std::string up = path + "/..";
      if (::stat(path.c_str(), &self) != 0 || ::stat(up.c_str(), &parent) != 0) return nsvErr;
      if (path != "/" && self.st_dev == parent.st_dev && self.st_ino != parent.st_ino) return nsvErr;
    }
    items.push_back(ref);
  }
  if (items.empty()) return userCanceledErr;
  if (request->kind != kPL_ChooseFiles) items.resize(1);
  *chosen = std::move(items);
  return noErr;
}

OSErr NavDisposeReply(NavReplyRecord *reply) {
  if (reply == nullptr) return paramErr;
  AEDisposeDesc(&reply->selection);
  if (reply->fileTranslation != nullptr) DisposeHandle(reply->fileTranslation);
  if (reply->saveFileName != nullptr) CFRelease(reply->saveFileName);
  *reply = NavReplyRecord{};
  return noErr;
}

void PL_SetPutFileProc(PL_PutFileProc proc) { gPutFile = proc; }

OSStatus PL_RunPutFileDialog(const PL_PutFileRequest *request, PL_PutFileAnswer *answer) {
  if (request == nullptr || answer == nullptr) return paramErr;
  *answer = PL_PutFileAnswer{};
  if (gPutFile == nullptr) return unimpErr;
  OSStatus err = gPutFile(request, answer);
  if (err != noErr) return err;
  if (answer->name.empty() || answer->name.find('/') != std::string::npos) return paramErr;
  Boolean isDirectory = false;
  FSRef folder;
  err = FSPathMakeRef(reinterpret_cast<const UInt8 *>(answer->folderPath.c_str()), &folder, &isDirectory);
  if (err != noErr) return err;
  return isDirectory ? noErr : dirNFErr;
}

OSStatus NavLoad() { return noErr; }
OSStatus NavUnload() { return noErr; }
