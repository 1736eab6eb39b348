// Processor and system information: architecture and vector features (which decide whether the SSE
// kernels run), seconds since start-up, UTCDateTime byte order, and a few small system helpers.
#pragma once

#include "general/memory_lists.h"
#include "platform/core/cf_base.h"
#include "platform/core/cf_date.h"
#include "platform/core/gestalt.h"
#include "platform/core/graphics_devices.h"
#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_text.h"
#include "platform/core/text_edit.h"

// Eleven one-byte flags, in this order.
struct GL_ProcessorInfo {
  Boolean hasSSE3;     // the kernel reports SSE3
  Boolean hasSSSE3;    // the kernel reports supplemental SSE3
  Boolean hasAltivec;  // the kernel reports AltiVec
  Boolean is64bit;     // the architecture has the 64-bit ABI bit
  Boolean isPPC;
  Boolean isG3;
  Boolean isG4;
  Boolean isG5;
  Boolean isIntel;
  Boolean isCore1;  // x86 without supplemental SSE3
  Boolean isCore2;  // x86 with supplemental SSE3
};
static_assert(sizeof(GL_ProcessorInfo) == 11, "eleven one-byte flags");

// Fills every flag from the local architecture and the kernel's feature queries; cannot fail. Main thread,
// once at start-up; the record is only read afterwards.
void GL_GetProcessorInfo(GL_ProcessorInfo *procInfo);
// The same from a given CPU type and subtype and feature answers (what GL_GetProcessorInfo reads).
void GL_MakeProcessorInfo(cpu_type_t cpuType, cpu_subtype_t cpuSubtype, Boolean hasSSE3, Boolean hasSSSE3,
                          Boolean hasAltivec, GL_ProcessorInfo *procInfo);

// Owned: "Processor architecture: %@\nProcessor type: %@" with the architecture ("64-bit Intel", "32-bit
// PPC", ... or "Unknown") and the type ("G3", "G4", "G5", "Core 1", "Core 2" or "Unknown processor type").
CFStringRef GL_CopyProcInfoString(const GL_ProcessorInfo *procInfo);

// Feature tests: non-zero when present, 0 when absent or when the kernel does not know the name.
int GL_IsSSE3Present();
int GL_IsSSSE3Present();
int GL_IsSSSE4_1Present();
int GL_HasAltivec();
int GL_Has64bitops();

// Whole seconds since the machine started (the microsecond clock divided by 1,000,000, truncated).
UInt32 GL_GetTimeSinceStartupAsSec();
// The same truncation from a microsecond count.
UInt32 GL_MicrosecondsToSeconds(const UnsignedWide *microseconds);

// Owned: the time formatted in the current locale with the two styles (0 none, 1 short, 2 medium, 3 long,
// 4 full); NULL when no formatter can be made.
CFStringRef GL_CreateDateTimeCFStr(CFAbsoluteTime at, CFDateFormatterStyle dateStyle, CFDateFormatterStyle timeStyle);
CFStringRef GL_CreateCurrentDateTimeCFStr(CFDateFormatterStyle dateStyle, CFDateFormatterStyle timeStyle);
// The full style for both.
CFStringRef GL_CreateCurrentFullDateTimeCFStr();
// The time a text in those styles names; 0.0 for NULL or a text that is not such a date.
CFAbsoluteTime GL_GetAbsoluteTimeFromStr(CFStringRef string, CFDateFormatterStyle dateStyle,
                                         CFDateFormatterStyle timeStyle);

// Swap the byte order of each of the three fields in place (the same operation both ways on this host).
void GL_UTCDateTime_NtoB(UTCDateTime *dateTime);
void GL_UTCDateTime_BtoN(UTCDateTime *dateTime);
Boolean GL_EqualUTCDateTime(const UTCDateTime *a, const UTCDateTime *b);

// ---- Screens (main thread) ----
// True when the device is a screen (attribute screenDevice) and active (screenActive).
Boolean GL_IsActiveScreen(GDHandle gdh);
// The number of active screens in the device list.
SInt16 GL_CountActiveScreens();
// The active screen whose rectangle shares the largest area with rect (the first of equals); NULL, and an
// area of 0, when none overlaps. *largestArea (optional) gets that area.
GDHandle GL_FindRectMaxScreen(const Rect *rect, SInt32 *largestArea);
// The resolution and pixel size of the device's pixel map; each output only when given. paramErr for a
// NULL device.
OSStatus GL_GetScreenMode(GDHandle gdh, Fixed *hResolution, Fixed *vResolution, UInt16 *depth);

// ---- Text-edit metrics (main thread) ----
// The metrics of the edit record's font, size and face, measured in its port; the current port and the
// record port's font, size and face are as before afterwards. Zeroed when the record, its port or the
// measurement fails (QDError tells why).
void GL_SmartGetFontInfo(FontInfo *fontInfo, TEHandle hTE);
// Sets the record's font ascent to the measured ascent and its line height to ascent + descent +
// leading; a record that cannot be measured stays as it was.
void GL_SetAscentAndLineHeight(TEHandle hTE);

// Processes. Linux processes carry no creator or type, so no process matches: procNotFound, with the
// serial number zeroed.
OSStatus GL_FindProcessByTypeAndCreator(OSType creator, OSType type, ProcessSerialNumber *psn);
OSStatus GL_IsProcessVisibleByTypeAndCreator(OSType creator, OSType type, Boolean *isVisible);
OSStatus GL_BringFinderToFront();
// Every Linux process may show windows, and the toolkit raises them when they appear: nothing to do.
OSStatus GL_MakeCurrentNonUI_ProcessFrontProcess();

// Prints "#args = %hd\n" and then each argument on its own line.
void GL_PrintLaunchArgs(int argc, char **argv);
// Prints the text and the microseconds elapsed since startTime ("%s%ld").
void GL_ReportUsedTime(const UnsignedWide *startTime, const char *reportStr);
// Sets the result to 0; nothing else.
void GL_StartStopTrace(SInt32 *result);

// Asks Gestalt whether a manager is present (bit presentBit of managerAttr's answer) and for its version;
// a zero selector skips that question. paramErr for a missing output that a question needs. Returns the
// last Gestalt error; *version is 0 when its question failed.
OSStatus GL_WeakLink(OSType managerAttr, SInt32 presentBit, ProcPtr symbolToBeResolved, Boolean *haveWeakLink,
                     OSType versionSelector, SInt32 *version);

// The six PowerPC instructions (big-endian words) of glue that calls through the transition vector at
// cfmFp. Owned block of 24 bytes (DisposePtr), or NULL when memory is out. It is data only: nothing on
// this machine runs PowerPC code.
Ptr GL_GetMachoFunctionPointer(void *cfmFp);

// An element of the `first` list of GL_GetCacheOverlapRatio: a block's base address.
struct GL_CacheBlockLE {
  GL_CacheBlockLE *next;
  SInt32 base;
};
// How much the address ranges (each interval of firstRange offset by the base of the element of `first`
// in the same position) overlap once mapped into a cache of cacheSize bytes with lines of cacheLineSize
// bytes: the merged length of the mapped ranges over their total length, as Fixed. A failing copy gives
// ratio 0 and the memory error.
OSStatus GL_GetCacheOverlapRatio(const GL_CacheBlockLE *first, const LL_IntervalLE *firstRange, SInt32 cacheSize,
                                 SInt32 cacheLineSize, Fixed *ratio);
