// Gestalt, the kernel's processor queries (sysctlbyname names) and the local architecture, answered from
// uname, sysconf and cpuid.
#pragma once

#include "platform/core/mac_types.h"

#include <cstddef>

enum : OSType {
  gestaltSystemVersion = 'sysv',
  gestaltSystemVersionMajor = 'sys1',
  gestaltSystemVersionMinor = 'sys2',
  gestaltSystemVersionBugFix = 'sys3',
  gestaltPhysicalRAMSizeInMegabytes = 'ramm',
  gestaltQuickTimeVersion = 'qtim',
};

// The toolbox level that this platform layer offers, in packed decimal (10.4.9): what 'sysv' answers, so that
// checks for the least system version compare with what the layer provides. The running kernel's own release
// is what 'sys1', 'sys2' and 'sys3' answer (from uname).
constexpr SInt32 kPL_ToolboxSystemVersion = 0x1049;

// Answers 'sysv', 'sys1', 'sys2', 'sys3', 'ramm' (physical memory in megabytes, at most 0x7FFFFFFF) and any
// selector registered with NewGestaltValue; gestaltUndefSelectorErr for others, paramErr for a null response.
OSErr Gestalt(OSType selector, SInt32 *response);
// Registers a selector with a fixed value (used by layers above, e.g. the movie layer for 'qtim');
// gestaltDupSelectorErr when it is already answered.
OSErr NewGestaltValue(OSType selector, SInt32 newValue);
// Changes a registered selector's value; gestaltUndefSelectorErr when it is not registered.
OSErr ReplaceGestaltValue(OSType selector, SInt32 replacementValue);

enum : OSErr { gestaltDupSelectorErr = -5552 };

// The kernel query of processor facts. Known names: "hw.optional.sse3", "hw.optional.supplementalsse3",
// "hw.optional.sse4_1", "hw.optional.64bitops" (int, 0 or 1, from cpuid and the build's architecture),
// "hw.physmem" and "hw.memsize" (UInt64 bytes), "hw.ncpu" (int). Returns 0, or -1 with errno ENOENT for an
// unknown name (so "hw.optional.altivec" is unknown here), EINVAL for a wrong size, EPERM when asked to set.
int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, void *newp, size_t newlen);

typedef SInt32 cpu_type_t;
typedef SInt32 cpu_subtype_t;
enum : cpu_type_t { CPU_ARCH_ABI64 = 0x01000000, CPU_TYPE_X86 = 7, CPU_TYPE_X86_64 = 7 | 0x01000000,
                    CPU_TYPE_ARM64 = 12 | 0x01000000, CPU_TYPE_POWERPC = 18, CPU_TYPE_ANY = -1 };
enum : cpu_subtype_t { CPU_SUBTYPE_X86_ALL = 3, CPU_SUBTYPE_X86_64_ALL = 3 };
enum NXByteOrder { NX_UnknownByteOrder = 0, NX_LittleEndian = 1, NX_BigEndian = 2 };

struct NXArchInfo {
  const char *name;
  cpu_type_t cputype;
  cpu_subtype_t cpusubtype;
  NXByteOrder byteorder;
  const char *description;
};

// The architecture this program was built for (borrowed, static).
const NXArchInfo *NXGetLocalArchInfo();

// A Process Manager process number. Linux processes carry no creator or type signature, so nothing here
// looks processes up by them.
struct ProcessSerialNumber {
  UInt32 highLongOfPSN;
  UInt32 lowLongOfPSN;
};
enum : UInt32 { kNoProcess = 0, kSystemProcess = 1, kCurrentProcess = 2 };

// Only this process is known: its number is {0, the process ID}; {0, kCurrentProcess} names it too.
OSErr GetCurrentProcess(ProcessSerialNumber *PSN);
OSErr SameProcess(const ProcessSerialNumber *PSN1, const ProcessSerialNumber *PSN2, Boolean *result);
struct ProcessInfoRec {
  UInt32 processInfoLength;
  StringPtr processName;
  ProcessSerialNumber processNumber;
  UInt32 processType;
  OSType processSignature;
};
// This process's type 'APPL' and the signature PL_SetProcessSignature gave ('????' until then);
// procNotFound for any other process.
OSErr GetProcessInformation(const ProcessSerialNumber *PSN, ProcessInfoRec *info);
void PL_SetProcessSignature(OSType signature);
OSType PL_GetProcessSignature();
