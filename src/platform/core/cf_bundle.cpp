// CoreFoundation stand-in: the main bundle over the resources folder, its Info.plist and string tables.
#include "platform/core/cf_bundle.h"

#include "platform/core/cf_data.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_plist.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

const CFStringRef kCFBundleInfoDictionaryVersionKey = PL_CFStringMakeConstant("CFBundleInfoDictionaryVersion");
const CFStringRef kCFBundleExecutableKey = PL_CFStringMakeConstant("CFBundleExecutable");
const CFStringRef kCFBundleIdentifierKey = PL_CFStringMakeConstant("CFBundleIdentifier");
const CFStringRef kCFBundleVersionKey = PL_CFStringMakeConstant("CFBundleVersion");
const CFStringRef kCFBundleNameKey = PL_CFStringMakeConstant("CFBundleName");

struct PL_CFBundle : PL_CFObject {
  PL_CFBundle() : PL_CFObject(kPL_CFTypeIDBundle) {}
  ~PL_CFBundle() override { Forget(); }
  std::u16string Describe() const override { return u"CFBundle " + PL_DecodeUTF8Lenient(directory); }

  // Drops what was read; with `keep`, the values stay alive (borrowed references may still point at them).
  void Forget(bool keep = false) {
    std::vector<CFTypeRef> old;
    if (info != nullptr) old.push_back(info);
    for (auto &[name, table] : tables) old.push_back(table);
    info = nullptr;
    tables.clear();
    if (keep) {
      retired.insert(retired.end(), old.begin(), old.end());
    } else {
      for (CFTypeRef v : old) CFRelease(v);
      for (CFTypeRef v : retired) CFRelease(v);
      retired.clear();
    }
  }

  std::string directory;
  std::mutex mutex;
  CFDictionaryRef info = nullptr;
  std::map<std::u16string, CFDictionaryRef> tables;
  std::vector<CFTypeRef> retired;
};

namespace {

bool IsDirectory(const std::string &path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ExecutableDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  std::string path(buf, size_t(n));
  return path.substr(0, path.rfind('/'));
}

std::string FindResources() {
  const char *env = std::getenv("BZ_RESOURCES_DIR");
  if (env != nullptr && *env != 0) return env;
  const std::string exeDir = ExecutableDirectory();
  if (!exeDir.empty()) {
    if (IsDirectory(exeDir + "/resources")) return exeDir + "/resources";
    const std::string up = exeDir.substr(0, exeDir.rfind('/'));
    if (IsDirectory(up + "/resources")) return up + "/resources";
    // Installed: <prefix>/bin/brizel with <prefix>/share/brizel/resources.
    if (IsDirectory(up + "/share/brizel/resources")) return up + "/share/brizel/resources";
  }
#ifdef BZ_SOURCE_DIR
  // Programs of the build tree use the sources' bundle; an installed program never reads a source tree.
  bool inBuildTree = exeDir.empty();
#ifdef BZ_BINARY_DIR
  inBuildTree = inBuildTree || exeDir.rfind(BZ_BINARY_DIR, 0) == 0;
#endif
  if (inBuildTree && IsDirectory(std::string(BZ_SOURCE_DIR) + "/resources"))
    return std::string(BZ_SOURCE_DIR) + "/resources";
#endif
  return std::string();
}

PL_CFBundle &MainBundle() {
  static PL_CFBundle *bundle = [] {
    auto *b = new PL_CFBundle();
    b->constant = true;
    b->directory = FindResources();
    return b;
  }();
  return *bundle;
}

PL_CFBundle *Bundle(CFBundleRef b) { return PL_CFIsType(b, kPL_CFTypeIDBundle) ? b : nullptr; }

CFDictionaryRef EmptyDictionary() {
  return CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                            &kCFTypeDictionaryValueCallBacks);
}

CFDataRef ReadFile(const std::string &path) {
  PL_CFScoped<CFURLRef> url(PL_CFURLCreateWithPath(path, false));
  CFDataRef data = nullptr;
  SInt32 err = 0;
  if (url == nullptr || !CFURLCreateDataAndPropertiesFromResource(nullptr, url, &data, nullptr, nullptr, &err)) {
    return nullptr;
  }
  return data;
}

// ---- .strings parsing ----

class StringsParser {
 public:
  explicit StringsParser(std::u16string text) : t_(std::move(text)) {}

  CFDictionaryRef Parse() {
    PL_CFScoped<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                       &kCFTypeDictionaryValueCallBacks));
    while (true) {
      SkipBlank();
      if (i_ >= t_.size()) break;
      std::u16string key;
      std::u16string value;
      const size_t start = i_;
      if (Entry(&key, &value)) {
        PL_CFScoped<CFStringRef> k(PL_CFStringCreate(key));
        PL_CFScoped<CFStringRef> v(PL_CFStringCreate(value));
        CFDictionarySetValue(dict, k, v);
      } else {
        Resync(start);
      }
    }
    return CFDictionaryCreateCopy(nullptr, dict);
  }

 private:
  bool Entry(std::u16string *key, std::u16string *value) {
    if (!Quoted(key)) return false;
    SkipBlank();
    if (i_ < t_.size() && t_[i_] == u';') {  // "key"; stands for "key" = "key";
      ++i_;
      *value = *key;
      return true;
    }
    if (i_ >= t_.size() || t_[i_] != u'=') return false;
    ++i_;
    SkipBlank();
    if (!Quoted(value)) return false;
    SkipBlank();
    if (i_ >= t_.size() || t_[i_] != u';') return false;
    ++i_;
    return true;
  }

  // After a damaged entry: continue on the line after the one where it began.
  void Resync(size_t start) {
    i_ = start;
    while (i_ < t_.size() && t_[i_] != u'\n') ++i_;
    if (i_ < t_.size()) ++i_;
  }

  void SkipBlank() {
    while (i_ < t_.size()) {
      const char16_t c = t_[i_];
      if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == 0xFEFF) {
        ++i_;
      } else if (c == u'/' && i_ + 1 < t_.size() && t_[i_ + 1] == u'*') {
        const size_t end = t_.find(u"*/", i_ + 2);
        i_ = end == std::u16string::npos ? t_.size() : end + 2;
      } else if (c == u'/' && i_ + 1 < t_.size() && t_[i_ + 1] == u'/') {
        while (i_ < t_.size() && t_[i_] != u'\n') ++i_;
      } else {
        return;
      }
    }
  }

  static int Hex(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  }

  bool Quoted(std::u16string *out) {
    out->clear();
    if (i_ >= t_.size() || t_[i_] != u'"') return false;
    ++i_;
    while (i_ < t_.size()) {
      char16_t c = t_[i_++];
      if (c == u'"') return true;
      if (c == u'\n') return false;  // an unterminated string ends at the line
      if (c != u'\\') {
        *out += c;
        continue;
      }
      if (i_ >= t_.size()) return false;
      c = t_[i_++];
      switch (c) {
        case u'n': *out += u'\n'; break;
        case u't': *out += u'\t'; break;
        case u'r': *out += u'\r'; break;
        case u'U':
        case u'u': {
          int v = 0;
          int k = 0;
          for (; k < 4 && i_ < t_.size() && Hex(t_[i_]) >= 0; ++k) v = v * 16 + Hex(t_[i_++]);
          if (k == 0) return false;
          *out += char16_t(v);
          break;
        }
        default: *out += c; break;  // \" \\ \' and anything else stand for themselves
      }
    }
    return false;
  }

  std::u16string t_;
  size_t i_ = 0;
};

CFDictionaryRef LoadTable(const std::string &path) {
  PL_CFScoped<CFDataRef> data(ReadFile(path));
  if (data == nullptr) return EmptyDictionary();
  const UInt8 *b = CFDataGetBytePtr(data);
  const CFIndex n = CFDataGetLength(data);
  PL_CFScoped<CFStringRef> text;
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    text.reset(CFStringCreateWithBytes(nullptr, b, n, kCFStringEncodingUTF16, true));
  } else {
    text.reset(PL_CFStringCreateFromUTF8Lenient(std::string_view(reinterpret_cast<const char *>(b), size_t(n))));
  }
  if (text == nullptr) return EmptyDictionary();
  return StringsParser(PL_CFStringText(text)).Parse();
}

// Both called with the bundle's mutex held.
CFDictionaryRef InfoOf(PL_CFBundle &b) {
  if (b.info == nullptr) {
    PL_CFScoped<CFDataRef> data(b.directory.empty() ? nullptr : ReadFile(b.directory + "/Info.plist"));
    CFPropertyListRef plist = data != nullptr ? CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr) : nullptr;
    if (CFGetTypeID(plist) == CFDictionaryGetTypeID()) {
      b.info = static_cast<CFDictionaryRef>(plist);
    } else {
      CFRelease(plist);
      b.info = EmptyDictionary();
    }
  }
  return b.info;
}

CFDictionaryRef TableOf(PL_CFBundle &b, const std::u16string &name) {
  auto it = b.tables.find(name);
  if (it != b.tables.end()) return it->second;
  CFDictionaryRef table = b.directory.empty()
                              ? EmptyDictionary()
                              : LoadTable(b.directory + "/en.lproj/" + PL_EncodeUTF8Lenient(name) + ".strings");
  b.tables.emplace(name, table);
  return table;
}

}  // namespace

CFTypeID CFBundleGetTypeID() { return kPL_CFTypeIDBundle; }

CFBundleRef CFBundleGetMainBundle() { return &MainBundle(); }

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
  const std::string path = PL_CFURLGetPath(bundleURL);
  if (!IsDirectory(path)) return nullptr;
  auto *b = new PL_CFBundle();
  b->directory = path;
  return b;
}

CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value, CFStringRef tableName) {
  if (key == nullptr) return value != nullptr ? CFStringCreateCopy(nullptr, value) : nullptr;
  PL_CFBundle *b = Bundle(bundle);
  if (b != nullptr) {
    std::u16string name = PL_CFStringText(tableName);
    if (name.empty()) name = u"Localizable";
    std::lock_guard<std::mutex> lock(b->mutex);
    auto found = static_cast<CFStringRef>(CFDictionaryGetValue(TableOf(*b, name), key));
    if (found != nullptr) return static_cast<CFStringRef>(CFRetain(found));
  }
  if (value != nullptr && CFStringGetLength(value) > 0) return CFStringCreateCopy(nullptr, value);
  return CFStringCreateCopy(nullptr, key);
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) {
  PL_CFBundle *b = Bundle(bundle);
  if (b == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(b->mutex);
  return InfoOf(*b);
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
  return CFDictionaryGetValue(CFBundleGetInfoDictionary(bundle), key);
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
  CFTypeRef v = CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleIdentifierKey);
  return CFGetTypeID(v) == CFStringGetTypeID() ? static_cast<CFStringRef>(v) : nullptr;
}

UInt32 CFBundleGetVersionNumber(CFBundleRef bundle) {
  CFTypeRef v = CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleVersionKey);
  if (CFGetTypeID(v) != CFStringGetTypeID()) return 0;
  const std::string s = PL_CFStringToUTF8(static_cast<CFStringRef>(v));
  size_t i = 0;
  auto digits = [&](int maxDigits, UInt32 *out) {
    size_t start = i;
    UInt32 n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && int(i - start) < maxDigits) n = n * 10 + UInt32(s[i++] - '0');
    *out = n;
    return i > start;
  };
  UInt32 major = 0;
  UInt32 minor = 0;
  UInt32 bug = 0;
  UInt32 stage = 0x80;
  UInt32 rev = 0;
  if (!digits(2, &major)) return 0;
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (!digits(1, &minor)) return 0;
    if (i < s.size() && s[i] == '.') {
      ++i;
      if (!digits(1, &bug)) return 0;
    }
  }
  if (i < s.size()) {
    switch (s[i]) {
      case 'd': stage = 0x20; break;
      case 'a': stage = 0x40; break;
      case 'b': stage = 0x60; break;
      case 'f': stage = 0x80; break;
      default: return 0;
    }
    ++i;
    if (i < s.size() && s[i] == 'c') ++i;  // "fc": final candidate
    if (!digits(3, &rev) || rev > 255 || i != s.size()) return 0;
  }
  return ((major / 10) << 28) | ((major % 10) << 24) | (minor << 20) | (bug << 16) | (stage << 8) | rev;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
  PL_CFBundle *b = Bundle(bundle);
  if (b == nullptr || b->directory.empty()) return nullptr;
  return PL_CFURLCreateWithPath(b->directory, true);
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle) { return CFBundleCopyBundleURL(bundle); }

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType,
                                 CFStringRef subDirName) {
  PL_CFBundle *b = Bundle(bundle);
  if (b == nullptr || b->directory.empty() || resourceName == nullptr) return nullptr;
  std::string name = PL_CFStringToUTF8(resourceName);
  const std::string type = PL_CFStringToUTF8(resourceType);
  if (!type.empty()) name += (type[0] == '.' ? "" : ".") + type;
  std::string sub = PL_CFStringToUTF8(subDirName);
  if (!sub.empty()) sub += "/";
  // Names come from the program, but a ".." must still not lead out of the bundle.
  if (name.empty() || name.find("..") != std::string::npos || sub.find("..") != std::string::npos) return nullptr;
  for (const std::string &dir : {b->directory + "/", b->directory + "/en.lproj/"}) {
    const std::string path = dir + sub + name;
    if (IsFile(path) || IsDirectory(path)) return PL_CFURLCreateWithPath(path, IsDirectory(path));
  }
  return nullptr;
}

std::string PL_MainBundleDirectory() {
  PL_CFBundle &b = MainBundle();
  std::lock_guard<std::mutex> lock(b.mutex);
  return b.directory;
}

void PL_SetMainBundleDirectory(const char *path) {
  PL_CFBundle &b = MainBundle();
  std::lock_guard<std::mutex> lock(b.mutex);
  b.Forget(true);
  b.directory = path != nullptr ? std::string(path) : FindResources();
}
