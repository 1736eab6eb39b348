#include "platform/core/gestalt.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>

#include <sys/utsname.h>

namespace {

TEST(PlatformGestalt, SystemFactsComeFromTheKernel) {
  SInt32 value = 0;
  ASSERT_EQ(Gestalt(gestaltSystemVersion, &value), noErr);
  EXPECT_GE(value, 0x1040);  // the least toolbox level the application asks for
  utsname u;
  ASSERT_EQ(uname(&u), 0);
  SInt32 major = -1, minor = -1;
  ASSERT_EQ(Gestalt(gestaltSystemVersionMajor, &major), noErr);
  ASSERT_EQ(Gestalt(gestaltSystemVersionMinor, &minor), noErr);
  EXPECT_EQ(std::to_string(major) + "." + std::to_string(minor),
            std::string(u.release).substr(0, std::to_string(major).size() + 1 + std::to_string(minor).size()));

  // Physical memory in megabytes agrees with /proc/meminfo (kB) within its rounding.
  ASSERT_EQ(Gestalt(gestaltPhysicalRAMSizeInMegabytes, &value), noErr);
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  long kb = 0;
  meminfo >> key >> kb;
  ASSERT_EQ(key, "MemTotal:");
  EXPECT_NEAR(double(value), double(kb) / 1024.0, 64.0);

  EXPECT_EQ(Gestalt('zzzz', &value), gestaltUndefSelectorErr);
  EXPECT_EQ(Gestalt(gestaltSystemVersion, nullptr), paramErr);
}

TEST(PlatformGestalt, RegisteredSelectors) {
  SInt32 value = 0;
  EXPECT_EQ(ReplaceGestaltValue('tst1', 1), gestaltUndefSelectorErr);
  ASSERT_EQ(NewGestaltValue('tst1', 0x07308000), noErr);
  EXPECT_EQ(NewGestaltValue('tst1', 2), gestaltDupSelectorErr);
  EXPECT_EQ(NewGestaltValue(gestaltSystemVersion, 2), gestaltDupSelectorErr);
  ASSERT_EQ(Gestalt('tst1', &value), noErr);
  EXPECT_EQ(value, 0x07308000);
  ASSERT_EQ(ReplaceGestaltValue('tst1', 5), noErr);
  ASSERT_EQ(Gestalt('tst1', &value), noErr);
  EXPECT_EQ(value, 5);
}

TEST(PlatformGestalt, SysctlNamesAnswerLikeTheKernel) {
  // Every x86-64 processor has SSE3 in practice; the answer must match cpuinfo's flag either way.
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line, flags;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) == 0) {
      flags = " " + line.substr(line.find(':') + 1) + " ";
      break;
    }
  }
  struct Case {
    const char *name;
    const char *cpuinfoFlag;
  } cases[] = {{"hw.optional.sse3", " pni "}, {"hw.optional.supplementalsse3", " ssse3 "}, {"hw.optional.sse4_1", " sse4_1 "}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    int value = -1;
    size_t size = sizeof value;
    ASSERT_EQ(sysctlbyname(c.name, &value, &size, nullptr, 0), 0);
    EXPECT_EQ(size, sizeof value);
    if (!flags.empty()) {
      EXPECT_EQ(value, flags.find(c.cpuinfoFlag) != std::string::npos ? 1 : 0);
    }
  }
  int value = 0;
  size_t size = sizeof value;
  ASSERT_EQ(sysctlbyname("hw.optional.64bitops", &value, &size, nullptr, 0), 0);
  EXPECT_EQ(value, sizeof(void *) == 8 ? 1 : 0);

  errno = 0;
  EXPECT_EQ(sysctlbyname("hw.optional.altivec", &value, &size, nullptr, 0), -1);
  EXPECT_EQ(errno, ENOENT);
  size = 2;
  EXPECT_EQ(sysctlbyname("hw.optional.sse3", &value, &size, nullptr, 0), -1);
  EXPECT_EQ(errno, EINVAL);
  UInt64 mem = 0;
  size = sizeof mem;
  ASSERT_EQ(sysctlbyname("hw.memsize", &mem, &size, nullptr, 0), 0);
  EXPECT_GT(mem, 0u);
}

TEST(PlatformGestalt, LocalArchitecture) {
  const NXArchInfo *arch = NXGetLocalArchInfo();
  ASSERT_NE(arch, nullptr);
#if defined(__x86_64__)
  EXPECT_EQ(arch->cputype & 0xFFFFFF, 7);
  EXPECT_NE(arch->cputype & CPU_ARCH_ABI64, 0);
  EXPECT_EQ(arch->byteorder, NX_LittleEndian);
#endif
}

}  // namespace
