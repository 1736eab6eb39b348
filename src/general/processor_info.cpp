// Processor and system information.
#include "general/processor_info.h"

#include "general/formatted_strings.h"
#include "general/geometry.h"
#include "general/standard_helpers.h"
#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <cstdio>
#include <cstring>

namespace {

int FeatureTest(const char *name) {
  int value = 0;
  size_t size = sizeof value;
  if (sysctlbyname(name, &value, &size, nullptr, 0) != 0) return 0;
  return value;
}

UInt16 Swap16(UInt16 v) { return UInt16((v >> 8) | (v << 8)); }
UInt32 Swap32(UInt32 v) { return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24); }

void SwapUTCDateTime(UTCDateTime *d) {
  if (d == nullptr) return;
  d->highSeconds = Swap16(d->highSeconds);
  d->lowSeconds = Swap32(d->lowSeconds);
  d->fraction = Swap16(d->fraction);
}

// The number of significant bits of v (0 for 0).
int BitCount(UInt32 v) {
  int n = 0;
  for (; v != 0; v >>= 1) ++n;
  return n;
}

}  // namespace

int GL_IsSSE3Present() { return FeatureTest("hw.optional.sse3"); }
int GL_IsSSSE3Present() { return FeatureTest("hw.optional.supplementalsse3"); }
int GL_IsSSSE4_1Present() { return FeatureTest("hw.optional.sse4_1"); }
int GL_HasAltivec() { return FeatureTest("hw.optional.altivec"); }
int GL_Has64bitops() { return FeatureTest("hw.optional.64bitops"); }

void GL_MakeProcessorInfo(cpu_type_t cpuType, cpu_subtype_t cpuSubtype, Boolean hasSSE3, Boolean hasSSSE3,
                          Boolean hasAltivec, GL_ProcessorInfo *procInfo) {
  if (procInfo == nullptr) return;
  GL_ProcessorInfo info{};
  const SInt32 family = cpuType & 0xFFFFFF;
  info.isPPC = family == 18;
  info.isIntel = family == 7;
  info.is64bit = (cpuType & CPU_ARCH_ABI64) != 0;
  info.hasSSE3 = hasSSE3 != 0;
  info.hasSSSE3 = hasSSSE3 != 0;
  info.hasAltivec = hasAltivec != 0;
  info.isG3 = info.isPPC && cpuSubtype == 9;
  info.isG4 = info.isPPC && (cpuSubtype == 10 || cpuSubtype == 11);
  info.isG5 = info.isPPC && cpuSubtype == 100;
  info.isCore1 = info.isIntel && !info.hasSSSE3;
  info.isCore2 = info.isIntel && info.hasSSSE3;
  *procInfo = info;
}

void GL_GetProcessorInfo(GL_ProcessorInfo *procInfo) {
  const NXArchInfo *arch = NXGetLocalArchInfo();
  GL_MakeProcessorInfo(arch->cputype, arch->cpusubtype, GL_IsSSE3Present() != 0, GL_IsSSSE3Present() != 0,
                       GL_HasAltivec() != 0, procInfo);
}

CFStringRef GL_CopyProcInfoString(const GL_ProcessorInfo *procInfo) {
  if (procInfo == nullptr) return nullptr;
  CFStringRef architecture = CFSTR("Unknown");
  if (procInfo->isPPC) architecture = procInfo->is64bit ? CFSTR("64-bit PPC") : CFSTR("32-bit PPC");
  else if (procInfo->isIntel) architecture = procInfo->is64bit ? CFSTR("64-bit Intel") : CFSTR("32-bit Intel");
  CFStringRef type = CFSTR("Unknown processor type");
  if (procInfo->isG3) type = CFSTR("G3");
  else if (procInfo->isG4) type = CFSTR("G4");
  else if (procInfo->isG5) type = CFSTR("G5");
  else if (procInfo->isCore1) type = CFSTR("Core 1");
  else if (procInfo->isCore2) type = CFSTR("Core 2");
  return CF_StringCreateWithFormat(CFSTR("Processor architecture: %@\nProcessor type: %@"), architecture, type);
}

CFStringRef GL_CreateDateTimeCFStr(CFAbsoluteTime at, CFDateFormatterStyle dateStyle, CFDateFormatterStyle timeStyle) {
  CFLocaleRef locale = CFLocaleCopyCurrent();
  CFDateFormatterRef formatter = CFDateFormatterCreate(kCFAllocatorDefault, locale, dateStyle, timeStyle);
  CFStringRef text = formatter ? CFDateFormatterCreateStringWithAbsoluteTime(kCFAllocatorDefault, formatter, at)
                               : nullptr;
  if (formatter) CFRelease(formatter);
  if (locale) CFRelease(locale);
  return text;
}

CFStringRef GL_CreateCurrentDateTimeCFStr(CFDateFormatterStyle dateStyle, CFDateFormatterStyle timeStyle) {
  return GL_CreateDateTimeCFStr(CFAbsoluteTimeGetCurrent(), dateStyle, timeStyle);
}

CFStringRef GL_CreateCurrentFullDateTimeCFStr() {
  return GL_CreateCurrentDateTimeCFStr(kCFDateFormatterFullStyle, kCFDateFormatterFullStyle);
}

CFAbsoluteTime GL_GetAbsoluteTimeFromStr(CFStringRef string, CFDateFormatterStyle dateStyle,
                                         CFDateFormatterStyle timeStyle) {
  if (string == nullptr) return 0.0;
  CFLocaleRef locale = CFLocaleCopyCurrent();
  CFDateFormatterRef formatter = CFDateFormatterCreate(kCFAllocatorDefault, locale, dateStyle, timeStyle);
  CFAbsoluteTime at = 0.0;
  if (formatter == nullptr || !CFDateFormatterGetAbsoluteTimeFromString(formatter, string, nullptr, &at)) at = 0.0;
  if (formatter) CFRelease(formatter);
  if (locale) CFRelease(locale);
  return at;
}

UInt32 GL_MicrosecondsToSeconds(const UnsignedWide *microseconds) {
  if (microseconds == nullptr) return 0;
  const UInt64 us = (UInt64(microseconds->hi) << 32) | microseconds->lo;
  return UInt32(us / 1000000u);
}

UInt32 GL_GetTimeSinceStartupAsSec() {
  UnsignedWide now;
  Microseconds(&now);
  return GL_MicrosecondsToSeconds(&now);
}

void GL_UTCDateTime_NtoB(UTCDateTime *dateTime) { SwapUTCDateTime(dateTime); }
void GL_UTCDateTime_BtoN(UTCDateTime *dateTime) { SwapUTCDateTime(dateTime); }

Boolean GL_EqualUTCDateTime(const UTCDateTime *a, const UTCDateTime *b) {
  return a->highSeconds == b->highSeconds && a->lowSeconds == b->lowSeconds && a->fraction == b->fraction;
}

OSStatus GL_FindProcessByTypeAndCreator(OSType, OSType, ProcessSerialNumber *psn) {
  if (psn != nullptr) *psn = ProcessSerialNumber{0, kNoProcess};
  return procNotFound;
}

OSStatus GL_IsProcessVisibleByTypeAndCreator(OSType creator, OSType type, Boolean *isVisible) {
  ProcessSerialNumber psn;
  OSStatus err = GL_FindProcessByTypeAndCreator(creator, type, &psn);
  if (err == noErr && isVisible != nullptr) *isVisible = true;
  return err;
}

OSStatus GL_BringFinderToFront() {
  ProcessSerialNumber psn;
  return GL_FindProcessByTypeAndCreator('MACS', 'FNDR', &psn);
}

OSStatus GL_MakeCurrentNonUI_ProcessFrontProcess() { return noErr; }

void GL_PrintLaunchArgs(int argc, char **argv) {
  std::printf("#args = %hd\n", short(argc));
  for (int i = 0; i < argc; ++i) std::printf("%s\n", argv[i] ? argv[i] : "");
}

void GL_ReportUsedTime(const UnsignedWide *startTime, const char *reportStr) {
  UnsignedWide now;
  Microseconds(&now);
  const UInt64 start = startTime ? (UInt64(startTime->hi) << 32) | startTime->lo : 0;
  const UInt64 end = (UInt64(now.hi) << 32) | now.lo;
  std::printf("%s%ld", reportStr ? reportStr : "", long(end - start));
}

void GL_StartStopTrace(SInt32 *result) {
  if (result != nullptr) *result = 0;
}

OSStatus GL_WeakLink(OSType managerAttr, SInt32 presentBit, ProcPtr symbolToBeResolved, Boolean *haveWeakLink,
                     OSType versionSelector, SInt32 *version) {
  OSStatus err = noErr;
  if (managerAttr != 0) {
    if (haveWeakLink == nullptr || symbolToBeResolved == nullptr) return paramErr;
    SInt32 answer = 0;
    err = Gestalt(managerAttr, &answer);
    if (err == noErr) *haveWeakLink = (presentBit >= 0 && presentBit < 32 && ((UInt32(answer) >> presentBit) & 1));
  }
  if (err == noErr && versionSelector != 0) {
    if (version == nullptr) return paramErr;
    err = Gestalt(versionSelector, version);
    if (err != noErr) *version = 0;
  }
  return err;
}

Ptr GL_GetMachoFunctionPointer(void *cfmFp) {
  // The glue addresses the vector with 32 bits, as PowerPC code did.
  const UInt32 address = UInt32(reinterpret_cast<uintptr_t>(cfmFp));
  const UInt32 words[6] = {
      0x3D800000u | (address >> 16),     // lis r12, high half
      0x618C0000u | (address & 0xFFFF),  // ori r12, r12, low half
      0x800C0000u,                       // lwz r0, 0(r12)
      0x804C0004u,                       // lwz r2, 4(r12)
      0x7C0903A6u,                       // mtctr r0
      0x4E800420u,                       // bctr
  };
  Ptr glue = NewPtr(sizeof words);
  if (glue == nullptr) return nullptr;
  for (int i = 0; i < 6; ++i) {
    UInt8 *p = reinterpret_cast<UInt8 *>(glue) + 4 * i;
    p[0] = UInt8(words[i] >> 24), p[1] = UInt8(words[i] >> 16), p[2] = UInt8(words[i] >> 8), p[3] = UInt8(words[i]);
  }
  return glue;
}

OSStatus GL_GetCacheOverlapRatio(const GL_CacheBlockLE *first, const LL_IntervalLE *firstRange, SInt32 cacheSize,
                                 SInt32 cacheLineSize, Fixed *ratio) {
  if (ratio == nullptr) return paramErr;
  LL_IntervalLE *copy = nullptr;
  OSStatus err = LL_CopyLinkedList(const_cast<LL_IntervalLE *>(firstRange), sizeof(LL_IntervalLE), &copy);
  if (err != noErr) {
    *ratio = 0;
    return err;
  }
  const int lb = BitCount(UInt32(cacheSize - 1)), ll = BitCount(UInt32(cacheLineSize - 1));
  const int s = 32 - (lb + ll);
  // Keeps the low lb + ll bits, sign-extended from there.
  auto fold = [s](SInt32 address) {
    if (s <= 0) return address;
    if (s >= 32) return SInt32(0);
    return SInt32(UInt32(address) << s) >> s;
  };
  SInt64 total = 0;
  const GL_CacheBlockLE *block = first;
  LL_IntervalLE **slot = &copy;
  for (; *slot != nullptr && block != nullptr; slot = &(*slot)->next, block = block->next) {
    LL_IntervalLE *interval = *slot;
    total += SInt64(interval->end) - interval->start;
    interval->start = fold(SInt32(UInt32(block->base) + UInt32(interval->start)));
    interval->end = fold(SInt32(UInt32(block->base) + UInt32(interval->end)));
  }
  LL_DisposeLinkedList(slot);  // ranges without a block of their own take no part
  LL_ReduceIntervalList(copy);
  SInt64 merged = 0;
  for (LL_IntervalLE *interval = copy; interval != nullptr; interval = interval->next)
    merged += SInt64(interval->end) - interval->start;
  LL_DisposeLinkedList(&copy);
  if (total == 0) {
    *ratio = 0;
  } else if (merged <= 0x7FFFFFFF && total <= 0x7FFFFFFF) {
    *ratio = FixDiv(Fixed(merged), Fixed(total));
  } else {
    *ratio = Fixed(double(merged) / double(total) * 65536.0 + 0.5);
  }
  return noErr;
}

// ---- Screens ----

Boolean GL_IsActiveScreen(GDHandle gdh) {
  return QDD_TestDeviceAttribute(gdh, screenDevice) && QDD_TestDeviceAttribute(gdh, screenActive);
}

SInt16 GL_CountActiveScreens() {
  SInt16 count = 0;
  for (GDHandle gdh = GetDeviceList(); gdh != nullptr; gdh = QDD_GetNextDevice(gdh))
    if (GL_IsActiveScreen(gdh)) ++count;
  return count;
}

GDHandle GL_FindRectMaxScreen(const Rect *rect, SInt32 *largestArea) {
  GDHandle best = nullptr;
  SInt32 bestArea = 0;
  if (rect != nullptr) {
    for (GDHandle gdh = GetDeviceList(); gdh != nullptr; gdh = QDD_GetNextDevice(gdh)) {
      if (!GL_IsActiveScreen(gdh)) continue;
      Rect common;
      if (!QDD_SectRect(rect, &(**gdh).gdRect, &common)) continue;
      const SInt32 area = SInt32(common.bottom - common.top) * SInt32(common.right - common.left);
      if (area > bestArea) {
        bestArea = area;
        best = gdh;
      }
    }
  }
  if (largestArea != nullptr) *largestArea = bestArea;
  return best;
}

OSStatus GL_GetScreenMode(GDHandle gdh, Fixed *hResolution, Fixed *vResolution, UInt16 *depth) {
  PixMapHandle pm = GetGDevPixMap(gdh);
  if (pm == nullptr || *pm == nullptr) return paramErr;
  if (hResolution != nullptr) *hResolution = (**pm).hRes;
  if (vResolution != nullptr) *vResolution = (**pm).vRes;
  if (depth != nullptr) *depth = UInt16((**pm).pixelSize);
  return noErr;
}

// ---- Text-edit metrics ----

void GL_SmartGetFontInfo(FontInfo *fontInfo, TEHandle hTE) {
  if (fontInfo == nullptr) return;
  *fontInfo = FontInfo{};
  if (hTE == nullptr || *hTE == nullptr || (**hTE).inPort == nullptr) {
    PL_SetQDError(paramErr);
    return;
  }
  GrafPtr savedPort = nullptr;
  QDD_GetPort(&savedPort);
  GrafPtr port = (**hTE).inPort;
  QDD_SetPort(port);
  const SInt16 savedFont = GetPortTextFont(port);
  const SInt16 savedSize = GetPortTextSize(port);
  const Style savedFace = GetPortTextFace(port);
  GLD_TextFont((**hTE).txFont);
  GLD_TextSize((**hTE).txSize);
  GLD_TextFace((**hTE).txFace);
  GLD_GetFontInfo(fontInfo);
  const OSErr measured = QDError();
  GLD_TextFont(savedFont);
  GLD_TextSize(savedSize);
  GLD_TextFace(savedFace);
  QDD_SetPort(savedPort);
  PL_SetQDError(measured);
}

void GL_SetAscentAndLineHeight(TEHandle hTE) {
  FontInfo info{};
  GL_SmartGetFontInfo(&info, hTE);
  // A failed measurement would give a line height of 0, which no text can be laid out with.
  if (QDError() != noErr) return;
  (**hTE).fontAscent = info.ascent;
  (**hTE).lineHeight = SInt16(info.ascent + info.descent + info.leading);
}
