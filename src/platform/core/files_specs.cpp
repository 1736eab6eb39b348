// File Manager stand-in, FSSpec records: the table of paths behind the FSSpec records made here.
#include "platform/core/files.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include <sys/stat.h>

namespace {

std::mutex gSpecsLock;
std::unordered_map<std::string, SInt32> gKeys;
std::unordered_map<SInt32, std::string> gPaths;

}  // namespace

OSStatus PL_FSSpecFromPath(const char *path, FSSpec *spec) {
  if (path == nullptr || spec == nullptr || path[0] != '/') return paramErr;
  SInt32 key = 0;
  {
    std::lock_guard<std::mutex> lock(gSpecsLock);
    auto found = gKeys.find(path);
    if (found != gKeys.end()) {
      key = found->second;
    } else {
      key = SInt32(gPaths.size()) + 1;
      gKeys.emplace(path, key);
      gPaths.emplace(key, path);
    }
  }
  std::memset(spec, 0, sizeof *spec);
  spec->vRefNum = kPL_PathSpecVolume;
  spec->parID = key;
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  name = name.substr(name.find_last_of('/') + 1);
  const size_t length = std::min<size_t>(name.size(), 63);
  spec->name[0] = UInt8(length);
  std::memcpy(spec->name + 1, name.data(), length);
  return noErr;
}

OSErr FSpMakeFSRef(const FSSpec *source, FSRef *newRef) {
  if (source == nullptr || newRef == nullptr) return paramErr;
  if (source->vRefNum != kPL_PathSpecVolume) return nsvErr;
  std::string path;
  {
    std::lock_guard<std::mutex> lock(gSpecsLock);
    auto found = gPaths.find(source->parID);
    if (found == gPaths.end()) return nsvErr;
    path = found->second;
  }
  return OSErr(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), newRef, nullptr));
}

OSErr FSResolveAliasFile(FSRef *theRef, Boolean, Boolean *targetIsFolder, Boolean *wasAliased) {
  if (theRef == nullptr) return paramErr;
  std::string path;
  OSStatus err = PL_FSRefMakePathString(theRef, &path);
  if (err != noErr) return OSErr(err);
  struct stat info{};
  if (stat(path.c_str(), &info) != 0) return fnfErr;
  if (targetIsFolder != nullptr) *targetIsFolder = S_ISDIR(info.st_mode);
  if (wasAliased != nullptr) *wasAliased = false;
  return noErr;
}
