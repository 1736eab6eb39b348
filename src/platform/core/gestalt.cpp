// Gestalt over uname and sysconf; processor features from cpuid.
#include "platform/core/gestalt.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include <sys/utsname.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

std::mutex gRegisteredLock;
std::map<OSType, SInt32> &Registered() {
  static auto *values = new std::map<OSType, SInt32>;
  return *values;
}

// The kernel release "6.1.0-18-amd64" as its three leading numbers.
void KernelRelease(SInt32 parts[3]) {
  parts[0] = parts[1] = parts[2] = 0;
  utsname u;
  if (uname(&u) != 0) return;
  int a = 0, b = 0, c = 0;
  std::sscanf(u.release, "%d.%d.%d", &a, &b, &c);
  parts[0] = a, parts[1] = b, parts[2] = c;
}

UInt64 PhysicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? UInt64(pages) * UInt64(pageSize) : 0;
}

// cpuid leaf 1, register ECX; 0 where there is no cpuid.
UInt32 CpuidLeaf1Ecx() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return ecx;
#endif
  return 0;
}

}  // namespace

OSErr Gestalt(OSType selector, SInt32 *response) {
  if (response == nullptr) return paramErr;
  SInt32 release[3];
  switch (selector) {
    case gestaltSystemVersion:
      *response = kPL_ToolboxSystemVersion;
      return noErr;
    case gestaltSystemVersionMajor:
    case gestaltSystemVersionMinor:
    case gestaltSystemVersionBugFix:
      KernelRelease(release);
      *response = release[selector == gestaltSystemVersionMajor ? 0 : selector == gestaltSystemVersionMinor ? 1 : 2];
      return noErr;
    case gestaltPhysicalRAMSizeInMegabytes:
      *response = SInt32(std::min<UInt64>(PhysicalMemoryBytes() >> 20, 0x7FFFFFFF));
      return noErr;
    default:
      break;
  }
  std::lock_guard<std::mutex> hold(gRegisteredLock);
  auto found = Registered().find(selector);
  if (found == Registered().end()) return gestaltUndefSelectorErr;
  *response = found->second;
  return noErr;
}

OSErr NewGestaltValue(OSType selector, SInt32 newValue) {
  std::lock_guard<std::mutex> hold(gRegisteredLock);
  if (Registered().count(selector)) return gestaltDupSelectorErr;
  if (selector == gestaltSystemVersion || selector == gestaltSystemVersionMajor ||
      selector == gestaltSystemVersionMinor || selector == gestaltSystemVersionBugFix ||
      selector == gestaltPhysicalRAMSizeInMegabytes)
    return gestaltDupSelectorErr;
  Registered()[selector] = newValue;
  return noErr;
}

OSErr ReplaceGestaltValue(OSType selector, SInt32 replacementValue) {
  std::lock_guard<std::mutex> hold(gRegisteredLock);
  auto found = Registered().find(selector);
  if (found == Registered().end()) return gestaltUndefSelectorErr;
  found->second = replacementValue;
  return noErr;
}

int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, void *newp, size_t newlen) {
  if (name == nullptr) {
    errno = EINVAL;
    return -1;
  }
  int intValue = 0;
  UInt64 wideValue = 0;
  bool isWide = false;
  const UInt32 ecx = CpuidLeaf1Ecx();
  if (std::strcmp(name, "hw.optional.sse3") == 0) {
    intValue = (ecx >> 0) & 1;
  } else if (std::strcmp(name, "hw.optional.supplementalsse3") == 0) {
    intValue = (ecx >> 9) & 1;
  } else if (std::strcmp(name, "hw.optional.sse4_1") == 0) {
    intValue = (ecx >> 19) & 1;
  } else if (std::strcmp(name, "hw.optional.64bitops") == 0) {
    intValue = sizeof(void *) == 8 ? 1 : 0;
  } else if (std::strcmp(name, "hw.ncpu") == 0) {
    intValue = int(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
  } else if (std::strcmp(name, "hw.physmem") == 0 || std::strcmp(name, "hw.memsize") == 0) {
    wideValue = PhysicalMemoryBytes();
    isWide = true;
  } else {
    errno = ENOENT;
    return -1;
  }
  if (newp != nullptr || newlen != 0) {
    errno = EPERM;
    return -1;
  }
  const size_t size = isWide ? sizeof wideValue : sizeof intValue;
  if (oldlenp == nullptr) {
    errno = EINVAL;
    return -1;
  }
  if (oldp == nullptr) {
    *oldlenp = size;
    return 0;
  }
  if (*oldlenp < size) {
    errno = EINVAL;
    return -1;
  }
  std::memcpy(oldp, isWide ? static_cast<const void *>(&wideValue) : static_cast<const void *>(&intValue), size);
  *oldlenp = size;
  return 0;
}

const NXArchInfo *NXGetLocalArchInfo() {
#if defined(__x86_64__)
  static const NXArchInfo info{"x86_64", CPU_TYPE_X86_64, CPU_SUBTYPE_X86_64_ALL, NX_LittleEndian, "Intel x86-64"};
#elif defined(__i386__)
  static const NXArchInfo info{"i386", CPU_TYPE_X86, CPU_SUBTYPE_X86_ALL, NX_LittleEndian, "Intel 80x86"};
#elif defined(__aarch64__)
  static const NXArchInfo info{"arm64", CPU_TYPE_ARM64, 0, NX_LittleEndian, "ARM64"};
#else
  static const NXArchInfo info{"unknown", CPU_TYPE_ANY, 0, NX_UnknownByteOrder, "unknown"};
#endif
  return &info;
}

namespace {
OSType gProcessSignature = 0x3F3F3F3F;  // '????': none
bool IsThisProcess(const ProcessSerialNumber *psn) {
  return psn->highLongOfPSN == 0 && (psn->lowLongOfPSN == kCurrentProcess || psn->lowLongOfPSN == UInt32(getpid()));
}
}  // namespace

OSErr GetCurrentProcess(ProcessSerialNumber *PSN) {
  if (PSN == nullptr) return paramErr;
  *PSN = ProcessSerialNumber{0, UInt32(getpid())};
  return noErr;
}

OSErr SameProcess(const ProcessSerialNumber *PSN1, const ProcessSerialNumber *PSN2, Boolean *result) {
  if (PSN1 == nullptr || PSN2 == nullptr || result == nullptr) return paramErr;
  *result = (IsThisProcess(PSN1) && IsThisProcess(PSN2)) ||
            (PSN1->highLongOfPSN == PSN2->highLongOfPSN && PSN1->lowLongOfPSN == PSN2->lowLongOfPSN);
  return noErr;
}

OSErr GetProcessInformation(const ProcessSerialNumber *PSN, ProcessInfoRec *info) {
  if (PSN == nullptr || info == nullptr) return paramErr;
  if (!IsThisProcess(PSN)) return procNotFound;
  GetCurrentProcess(&info->processNumber);
  info->processType = 'APPL';
  info->processSignature = gProcessSignature;
  return noErr;
}

void PL_SetProcessSignature(OSType signature) { gProcessSignature = signature; }
OSType PL_GetProcessSignature() { return gProcessSignature; }
