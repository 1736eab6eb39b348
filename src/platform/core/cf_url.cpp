// CoreFoundation stand-in: file URLs over POSIX paths, and whole-file reads and atomic writes.
#include "platform/core/cf_url.h"

#include "platform/core/cf_data.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/files.h"
#include "platform/core/hfs_names.h"
#include "platform/core/mac_errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

struct PL_CFURL : PL_CFObject {
  PL_CFURL() : PL_CFObject(kPL_CFTypeIDURL) {}
  ~PL_CFURL() override { CFRelease(string); }
  bool Equal(const PL_CFObject &other) const override {
    const auto &o = static_cast<const PL_CFURL &>(other);
    return CFEqual(string, o.string);
  }
  CFHashCode Hash() const override { return CFHash(string); }
  std::u16string Describe() const override { return PL_CFStringText(string); }

  bool isFile = false;
  std::string path;  // absolute, normalised, no trailing slash except for the root
  bool isDirectory = false;
  CFStringRef string = nullptr;
};

namespace {

const PL_CFURL *Url(CFURLRef u) { return PL_CFIsType(u, kPL_CFTypeIDURL) ? static_cast<const PL_CFURL *>(u) : nullptr; }

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::strchr("-._~/!$&'()*+,;=:@", c) != nullptr;
}

std::string PercentEncode(const std::string &path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (c != 0 && Unreserved(c)) {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// False for a malformed escape or an encoded zero byte.
bool PercentDecode(const std::string &s, std::string *out) {
  out->clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      *out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return false;
    const int hi = HexValue(s[i + 1]);
    const int lo = HexValue(s[i + 2]);
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
    *out += char(hi * 16 + lo);
    i += 2;
  }
  return true;
}

// Makes `path` absolute and drops empty and "." components and a trailing slash.
std::string NormalisePath(const std::string &path) {
  std::string full = path;
  if (full.empty() || full[0] != '/') {
    char cwd[PATH_MAX];
    std::string base = getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) : std::string("/");
    full = base + "/" + full;
  }
  std::string out;
  size_t i = 0;
  while (i < full.size()) {
    while (i < full.size() && full[i] == '/') ++i;
    size_t j = i;
    while (j < full.size() && full[j] != '/') ++j;
    std::string part = full.substr(i, j - i);
    if (!part.empty() && part != ".") out += "/" + part;
    i = j;
  }
  return out.empty() ? "/" : out;
}

CFURLRef MakeFileURL(const std::string &rawPath, bool isDirectory) {
  if (rawPath.empty() || rawPath.find('\0') != std::string::npos) return nullptr;
  auto *u = new PL_CFURL();
  u->isFile = true;
  u->path = NormalisePath(rawPath);
  u->isDirectory = isDirectory || u->path == "/";
  std::string text = "file://" + PercentEncode(u->path);
  if (u->isDirectory && u->path != "/") text += '/';
  u->string = PL_CFStringCreate(PL_ASCIIToUTF16(text));
  return u;
}

std::string PathOf(CFStringRef str) {
  const CFIndex max = CFStringGetMaximumSizeOfFileSystemRepresentation(str);
  std::vector<char> buf(size_t(max) + 1);
  if (!CFStringGetFileSystemRepresentation(str, buf.data(), CFIndex(buf.size()))) return std::string();
  return std::string(buf.data());
}

CFStringRef StringOfPath(const std::string &path) {
  return CFStringCreateWithFileSystemRepresentation(nullptr, path.c_str());
}

std::string LastComponent(const std::string &path) {
  if (path == "/") return "/";
  return path.substr(path.rfind('/') + 1);
}

std::string ParentOf(const std::string &path) {
  if (path == "/") return "/";
  const size_t slash = path.rfind('/');
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Position of the extension's dot in the last component, or npos.
size_t ExtensionDot(const std::string &path) {
  const size_t start = path.rfind('/') + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= start || dot + 1 >= path.size()) return std::string::npos;
  return dot;
}

SInt32 URLErrorFromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR: return SInt32(kCFURLResourceNotFoundError);
    case EACCES:
    case EPERM:
    case EROFS: return SInt32(kCFURLResourceAccessViolationError);
    default: return SInt32(kCFURLUnknownError);
  }
}

}  // namespace

CFTypeID CFURLGetTypeID() { return kPL_CFTypeIDURL; }

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle pathStyle,
                                       Boolean isDirectory) {
  if (filePath == nullptr || pathStyle != kCFURLPOSIXPathStyle) return nullptr;
  return MakeFileURL(PathOf(filePath), isDirectory);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8 *buffer, CFIndex bufLen,
                                                 Boolean isDirectory) {
  if (buffer == nullptr || bufLen <= 0) return nullptr;
  std::string path(reinterpret_cast<const char *>(buffer), size_t(bufLen));
  // A terminator inside the length ends the path, as C callers often pass strlen + 1.
  path = path.substr(0, path.find('\0'));
  return MakeFileURL(path, isDirectory);
}

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef URLString, CFURLRef baseURL) {
  if (URLString == nullptr) return nullptr;
  const std::string text = PL_CFStringToUTF8(URLString);
  if (text.empty()) return nullptr;
  const size_t colon = text.find(':');
  const bool hasScheme = colon != std::string::npos && colon > 0 && text.find('/') > colon;
  if (hasScheme) {
    std::string scheme = text.substr(0, colon);
    for (char &c : scheme) c = char(std::tolower(UInt8(c)));
    if (scheme == "file") {
      std::string rest = text.substr(colon + 1);
      if (rest.rfind("//", 0) == 0) {
        const size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (!host.empty() && host != "localhost") return nullptr;
        rest = slash == std::string::npos ? std::string("/") : rest.substr(slash);
      }
      std::string path;
      if (!PercentDecode(rest, &path) || path.empty() || path[0] != '/') return nullptr;
      return MakeFileURL(path, path.back() == '/');
    }
    auto *u = new PL_CFURL();
    u->string = CFStringCreateCopy(nullptr, URLString);
    return u;
  }
  std::string rel;
  if (!PercentDecode(text, &rel)) return nullptr;
  const PL_CFURL *base = Url(baseURL);
  std::string dir;
  if (base != nullptr && base->isFile) dir = base->isDirectory ? base->path : ParentOf(base->path);
  const std::string joined = rel[0] == '/' || dir.empty() ? rel : dir + "/" + rel;
  return MakeFileURL(joined, rel.back() == '/');
}

CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL) {
  return Url(relativeURL) != nullptr ? static_cast<CFURLRef>(CFRetain(relativeURL)) : nullptr;
}

CFStringRef CFURLGetString(CFURLRef anURL) {
  const PL_CFURL *u = Url(anURL);
  return u != nullptr ? u->string : nullptr;
}

CFStringRef CFURLCopyScheme(CFURLRef anURL) {
  const PL_CFURL *u = Url(anURL);
  if (u == nullptr) return nullptr;
  if (u->isFile) return PL_CFStringCreate(u"file");
  const std::u16string &t = PL_CFStringText(u->string);
  return PL_CFStringCreate(t.substr(0, t.find(u':')));
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8 *buffer, CFIndex maxBufLen) {
  const PL_CFURL *u = Url(url);
  if (u == nullptr || !u->isFile || buffer == nullptr || CFIndex(u->path.size()) + 1 > maxBufLen) return false;
  std::memcpy(buffer, u->path.c_str(), u->path.size() + 1);
  return true;
}

// The name of the volume that holds the root folder, as the File Manager gives it ("" when unknown).
std::string StartupVolumeName() {
  FSRef root;
  FSCatalogInfo info;
  HFSUniStr255 name;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>("/"), &root, nullptr) != noErr ||
      FSGetCatalogInfo(&root, kFSCatInfoVolume, &info, nullptr, nullptr, nullptr) != noErr ||
      FSGetVolumeInfo(info.volume, 0, nullptr, 0, nullptr, &name, nullptr) != noErr)
    return "";
  CFStringRef s = FSCreateStringFromHFSUniStr(nullptr, &name);
  if (s == nullptr) return "";
  char text[1024];
  const bool ok = CFStringGetCString(s, text, sizeof text, kCFStringEncodingUTF8);
  CFRelease(s);
  return ok ? text : "";
}

// "Volume:folder:name": the startup volume's name, then the components with ':' in names shown as '/'.
std::string HFSPathOf(const std::string &posix) {
  std::string out = StartupVolumeName();
  size_t at = 0;
  while (at < posix.size()) {
    while (at < posix.size() && posix[at] == '/') ++at;
    const size_t end = std::min(posix.find('/', at), posix.size());
    if (end > at) {
      std::string component = posix.substr(at, end - at);
      for (char &c : component)
        if (c == ':') c = '/';
      out += ":" + component;
    }
    at = end;
  }
  return out;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle) {
  const PL_CFURL *u = Url(anURL);
  if (u == nullptr || !u->isFile) return nullptr;
  if (pathStyle == kCFURLHFSPathStyle) return StringOfPath(HFSPathOf(u->path));
  if (pathStyle != kCFURLPOSIXPathStyle) return nullptr;
  return StringOfPath(u->path);
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL) {
  const PL_CFURL *u = Url(anURL);
  return u != nullptr && u->isDirectory;
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url) {
  const PL_CFURL *u = Url(url);
  if (u == nullptr || !u->isFile) return nullptr;
  return StringOfPath(LastComponent(u->path));
}

CFStringRef CFURLCopyPathExtension(CFURLRef url) {
  const PL_CFURL *u = Url(url);
  if (u == nullptr || !u->isFile) return nullptr;
  const size_t dot = ExtensionDot(u->path);
  if (dot == std::string::npos) return nullptr;
  return StringOfPath(u->path.substr(dot + 1));
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url, CFStringRef pathComponent,
                                               Boolean isDirectory) {
  const PL_CFURL *u = Url(url);
  if (u == nullptr || !u->isFile || pathComponent == nullptr) return nullptr;
  const std::string component = PathOf(pathComponent);
  if (component.empty()) return nullptr;
  return MakeFileURL(u->path + "/" + component, isDirectory);
}

CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef, CFURLRef url) {
  const PL_CFURL *u = Url(url);
  if (u == nullptr || !u->isFile) return nullptr;
  return MakeFileURL(ParentOf(u->path), true);
}

CFURLRef CFURLCreateCopyAppendingPathExtension(CFAllocatorRef, CFURLRef url, CFStringRef extension) {
  const PL_CFURL *u = Url(url);
  if (u == nullptr || !u->isFile || extension == nullptr || u->path == "/") return nullptr;
  const std::string ext = PathOf(extension);
  if (ext.empty() || ext.find('/') != std::string::npos) return nullptr;
  return MakeFileURL(u->path + "." + ext, u->isDirectory);
}

CFURLRef CFURLCreateCopyDeletingPathExtension(CFAllocatorRef, CFURLRef url) {
  const PL_CFURL *u = Url(url);
  if (u == nullptr || !u->isFile) return nullptr;
  const size_t dot = ExtensionDot(u->path);
  return MakeFileURL(dot == std::string::npos ? u->path : u->path.substr(0, dot), u->isDirectory);
}

Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef, CFURLRef url, CFDataRef *resourceData,
                                                 CFDictionaryRef *properties, CFArrayRef, SInt32 *errorCode) {
  if (resourceData != nullptr) *resourceData = nullptr;
  if (properties != nullptr) *properties = nullptr;
  SInt32 ignored;
  SInt32 &err = errorCode != nullptr ? *errorCode : ignored;
  err = 0;
  const PL_CFURL *u = Url(url);
  if (u == nullptr) {
    err = SInt32(kCFURLImproperArgumentsError);
    return false;
  }
  if (!u->isFile) {
    err = SInt32(kCFURLUnknownSchemeError);
    return false;
  }
  if (resourceData == nullptr) return true;
  const int fd = open(u->path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    err = URLErrorFromErrno(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    err = SInt32(kCFURLImproperArgumentsError);
    close(fd);
    return false;
  }
  std::vector<UInt8> bytes;
  bytes.reserve(st.st_size > 0 ? size_t(st.st_size) : 0);
  UInt8 chunk[65536];
  while (true) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = URLErrorFromErrno(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  close(fd);
  *resourceData = CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size()));
  return true;
}

Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef url, CFDataRef dataToWrite, CFDictionaryRef,
                                              SInt32 *errorCode) {
  SInt32 ignored;
  SInt32 &err = errorCode != nullptr ? *errorCode : ignored;
  err = 0;
  const PL_CFURL *u = Url(url);
  if (u == nullptr || dataToWrite == nullptr || u->isDirectory) {
    err = SInt32(kCFURLImproperArgumentsError);
    return false;
  }
  if (!u->isFile) {
    err = SInt32(kCFURLUnknownSchemeError);
    return false;
  }
  // The temporary file lies beside the target so that the rename stays on one file system.
  std::string temp = u->path + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    err = URLErrorFromErrno(errno);
    return false;
  }
  const UInt8 *p = CFDataGetBytePtr(dataToWrite);
  size_t left = size_t(CFDataGetLength(dataToWrite));
  bool ok = true;
  errno = 0;
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= size_t(n);
  }
  const int savedErrno = errno;
  // Files written here are documents and settings: readable by the user's group like any new file.
  const mode_t mask = umask(0);
  umask(mask);
  ok = ok && fchmod(fd, 0666 & ~mask) == 0 && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok && rename(name.data(), u->path.c_str()) == 0) return true;
  err = URLErrorFromErrno(savedErrno != 0 ? savedErrno : errno);
  unlink(name.data());
  return false;
}

Boolean CFURLDestroyResource(CFURLRef url, SInt32 *errorCode) {
  SInt32 ignored;
  SInt32 &err = errorCode != nullptr ? *errorCode : ignored;
  err = 0;
  const PL_CFURL *u = Url(url);
  if (u == nullptr || !u->isFile) {
    err = SInt32(kCFURLImproperArgumentsError);
    return false;
  }
  if (remove(u->path.c_str()) != 0) {
    err = URLErrorFromErrno(errno);
    return false;
  }
  return true;
}

std::string PL_CFURLGetPath(CFURLRef url) {
  const PL_CFURL *u = Url(url);
  return u != nullptr && u->isFile ? u->path : std::string();
}

CFURLRef PL_CFURLCreateWithPath(const std::string &path, bool isDirectory) { return MakeFileURL(path, isDirectory); }
