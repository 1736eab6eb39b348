// CoreFoundation stand-in: the application's preferences, one XML property list per domain.
#include "platform/core/cf_preferences.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_plist.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/files.h"
#include "platform/core/mac_errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

const CFStringRef kCFPreferencesCurrentApplication = PL_CFStringMakeConstant("kCFPreferencesCurrentApplication");

namespace {

// Preferences are small; anything bigger is not ours and is treated as damage rather than read into memory.
constexpr off_t kMaxPreferencesFileSize = 64 * 1024 * 1024;

// The identifier used when the bundle names none.
constexpr const char *kFallbackApplicationID = "org.brizel.Brizel";

struct Domain {
  CFMutableDictionaryRef values = nullptr;
  bool dirty = false;
};

std::mutex gLock;
// Keyed by the file's path, so that a change of the Preferences folder (tests) gives new domains.
std::map<std::string, Domain> gDomains;

std::string DomainName(CFStringRef applicationID) {
  std::string name;
  if (applicationID == nullptr || CFEqual(applicationID, kCFPreferencesCurrentApplication)) {
    CFStringRef identifier = CFBundleGetIdentifier(CFBundleGetMainBundle());
    name = identifier != nullptr ? PL_CFStringToUTF8(identifier) : std::string();
    if (name.empty()) name = kFallbackApplicationID;
  } else {
    name = PL_CFStringToUTF8(applicationID);
  }
  // The name becomes a file name: no folder separators, no hidden or special names.
  for (char &c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name[0] == '.') name.insert(0, "_");
  return name;
}

void Report(const std::string &text) { std::fprintf(stderr, "Brizel: %s\n", text.c_str()); }

// Reads the whole file; false with errno set on failure. A file above the limit fails with EFBIG.
bool ReadWholeFile(const std::string &path, std::vector<UInt8> *bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    const int e = errno;
    close(fd);
    errno = e;
    return false;
  }
  if (!S_ISREG(st.st_mode) || st.st_size > kMaxPreferencesFileSize) {
    close(fd);
    errno = S_ISREG(st.st_mode) ? EFBIG : EISDIR;
    return false;
  }
  bytes->clear();
  UInt8 buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int e = errno;
      close(fd);
      errno = e;
      return false;
    }
    if (n == 0) break;
    bytes->insert(bytes->end(), buffer, buffer + n);
    if (off_t(bytes->size()) > kMaxPreferencesFileSize) {
      close(fd);
      errno = EFBIG;
      return false;
    }
  }
  close(fd);
  return true;
}

// Files found damaged since start, by path: where each was kept ("" when it could not be kept aside).
// Caller holds gLock.
std::map<std::string, std::string> &Damaged() {
  static auto *damaged = new std::map<std::string, std::string>;
  return *damaged;
}

// Keeps a file that cannot be used aside for the user, so that writing the defaults never destroys it.
void KeepAside(const std::string &path, const std::string &why) {
  const std::string aside = path + ".damaged";
  const bool kept = rename(path.c_str(), aside.c_str()) == 0;
  Damaged()[path] = kept ? aside : std::string();
  if (kept) {
    Report("the preferences file " + path + " cannot be used (" + why + "); it was kept as " + aside +
           " and the defaults are used.");
  } else {
    Report("the preferences file " + path + " cannot be used (" + why + ") nor kept aside (" +
           std::strerror(errno) + "); the defaults are used.");
  }
}

// The domain's values as the file holds them: empty when there is no file; a file that cannot be used is
// kept aside and gives an empty domain.
CFMutableDictionaryRef LoadValues(const std::string &path) {
  CFMutableDictionaryRef empty =
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  if (path.empty()) return empty;
  std::vector<UInt8> bytes;
  if (!ReadWholeFile(path, &bytes)) {
    if (errno != ENOENT && errno != ENOTDIR) KeepAside(path, std::strerror(errno));
    return empty;
  }
  PL_CFScoped<CFDataRef> data(CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size())));
  CFStringRef errorText = nullptr;
  PL_CFScoped<CFPropertyListRef> plist(
      CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, &errorText));
  PL_CFScoped<CFStringRef> errorHolder(errorText);
  if (plist.get() == nullptr || CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
    KeepAside(path, plist.get() == nullptr ? "damaged property list: " + PL_CFStringToUTF8(errorText)
                                           : std::string("not a dictionary"));
    return empty;
  }
  CFRelease(empty);
  return CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(plist.get()));
}

// Caller holds gLock.
Domain &GetDomain(const std::string &path) {
  Domain &d = gDomains[path];
  if (d.values == nullptr) d.values = LoadValues(path);
  return d;
}

// Writes through to the disk: the file's data is synced before the rename, the folder's entry after it.
bool WriteValues(const std::string &path, CFDictionaryRef values) {
  if (path.empty()) return false;
  PL_CFScoped<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, values));
  if (xml.get() == nullptr) return false;
  PL_CFScoped<CFURLRef> url(PL_CFURLCreateWithPath(path, false));
  SInt32 error = 0;
  if (url.get() == nullptr || !CFURLWriteDataAndPropertiesToResource(url, xml, nullptr, &error)) return false;
  const std::string folder = path.substr(0, path.rfind('/'));
  const int fd = open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return true;
}

}  // namespace

std::string PL_CFPreferencesFilePath(CFStringRef applicationID) {
  FSRef folder;
  if (FSFindFolder(kUserDomain, kPreferencesFolderType, kCreateFolder, &folder) != noErr) return std::string();
  FSCatalogInfo info;
  if (FSGetCatalogInfo(&folder, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr) != noErr ||
      (info.nodeFlags & kFSNodeIsDirectoryMask) == 0) {
    return std::string();
  }
  std::string path;
  if (PL_FSRefMakePathString(&folder, &path) != noErr) return std::string();
  return path + "/" + DomainName(applicationID) + ".plist";
}

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID) {
  if (key == nullptr) return nullptr;
  const std::string path = PL_CFPreferencesFilePath(applicationID);
  std::lock_guard<std::mutex> guard(gLock);
  Domain &d = GetDomain(path);
  return CFRetain(CFDictionaryGetValue(d.values, key));
}

void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID) {
  if (key == nullptr) return;
  PL_CFScoped<CFPropertyListRef> copy;
  if (value != nullptr) {
    if (CFPropertyListIsValid(value, kCFPropertyListXMLFormat_v1_0)) {
      copy.reset(CFPropertyListCreateDeepCopy(nullptr, value, kCFPropertyListImmutable));
    }
    if (copy.get() == nullptr) {
      Report("the preference \"" + PL_CFStringToUTF8(key) + "\" was not stored: its value is not a property list.");
      return;
    }
  }
  const std::string path = PL_CFPreferencesFilePath(applicationID);
  std::lock_guard<std::mutex> guard(gLock);
  Domain &d = GetDomain(path);
  if (copy.get() != nullptr) {
    CFDictionarySetValue(d.values, key, copy);
  } else {
    CFDictionaryRemoveValue(d.values, key);
  }
  d.dirty = true;
}

Boolean CFPreferencesAppSynchronize(CFStringRef applicationID) {
  const std::string path = PL_CFPreferencesFilePath(applicationID);
  std::lock_guard<std::mutex> guard(gLock);
  Domain &d = GetDomain(path);
  if (!d.dirty) return true;
  if (!WriteValues(path, d.values)) return false;
  d.dirty = false;
  return true;
}

Boolean PL_CFPreferencesWasDamaged(CFStringRef applicationID, std::string *keptAs) {
  const std::string path = PL_CFPreferencesFilePath(applicationID);
  std::lock_guard<std::mutex> guard(gLock);
  GetDomain(path);
  auto it = Damaged().find(path);
  if (it == Damaged().end()) return false;
  if (keptAs != nullptr) *keptAs = it->second;
  return true;
}

void PL_CFPreferencesForgetAll() {
  std::lock_guard<std::mutex> guard(gLock);
  Damaged().clear();
  for (auto &entry : gDomains) {
    if (entry.second.values != nullptr) CFRelease(entry.second.values);
  }
  gDomains.clear();
}
