#include "general/processor_info.h"

#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include "support/cf_check.h"
#include "support/fake_text_port.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <utility>

namespace {

TEST(GeneralProcessorInfo, FamiliesFromTypeSubtypeAndFeatures) {
  struct Case {
    const char *label;
    cpu_type_t type;
    cpu_subtype_t subtype;
    bool ssse3, altivec;
    GL_ProcessorInfo expected;  // hasSSE3 is passed as true throughout
  } cases[] = {
      //                                                    sse3 ssse3 alti 64 ppc g3 g4 g5 intel c1 c2
      {"32-bit Intel with SSSE3", 7, 3, true, false, {1, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1}},
      {"64-bit Intel without SSSE3", 7 | CPU_ARCH_ABI64, 3, false, false, {1, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0}},
      {"G3", 18, 9, false, false, {1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0}},
      {"G4 7400", 18, 10, false, true, {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0}},
      {"G4 7450", 18, 11, false, true, {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0}},
      {"64-bit G5", 18 | CPU_ARCH_ABI64, 100, false, true, {1, 0, 1, 1, 1, 0, 0, 1, 0, 0, 0}},
      {"ARM", 12 | CPU_ARCH_ABI64, 0, true, false, {1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    GL_ProcessorInfo info;
    std::memset(&info, 0xEE, sizeof info);
    GL_MakeProcessorInfo(c.type, c.subtype, true, c.ssse3, c.altivec, &info);
    EXPECT_EQ(std::memcmp(&info, &c.expected, sizeof info), 0);
  }
}

// The text of an owned string, which it releases.
std::string Text(CFStringRef s) {
  std::string out = bz_test::CFText(s);
  if (s != nullptr) CFRelease(s);
  return out;
}

TEST(GeneralProcessorInfo, InfoStringNamesArchitectureAndType) {
  struct Case {
    cpu_type_t type;
    cpu_subtype_t subtype;
    bool ssse3;
    const char *expected;
  } cases[] = {
      {7, 3, true, "Processor architecture: 32-bit Intel\nProcessor type: Core 2"},
      {7 | CPU_ARCH_ABI64, 3, false, "Processor architecture: 64-bit Intel\nProcessor type: Core 1"},
      {18, 10, false, "Processor architecture: 32-bit PPC\nProcessor type: G4"},
      {18 | CPU_ARCH_ABI64, 100, false, "Processor architecture: 64-bit PPC\nProcessor type: G5"},
      {18, 1, false, "Processor architecture: 32-bit PPC\nProcessor type: Unknown processor type"},
      {12 | CPU_ARCH_ABI64, 0, true, "Processor architecture: Unknown\nProcessor type: Unknown processor type"},
  };
  for (const Case &c : cases) {
    GL_ProcessorInfo info;
    GL_MakeProcessorInfo(c.type, c.subtype, true, c.ssse3, false, &info);
    EXPECT_EQ(Text(GL_CopyProcInfoString(&info)), c.expected);
  }
  EXPECT_EQ(GL_CopyProcInfoString(nullptr), nullptr);
}

TEST(GeneralProcessorInfo, DateTextsRoundTrip) {
  // 2007-03-04 05:06:07 UTC, a whole second.
  const CFAbsoluteTime at = 194677567.0;
  for (auto [dateStyle, timeStyle] : {std::pair<CFDateFormatterStyle, CFDateFormatterStyle>{4, 1}, {3, 2}, {4, 4}}) {
    SCOPED_TRACE(dateStyle * 10 + timeStyle);
    CFStringRef text = GL_CreateDateTimeCFStr(at, dateStyle, timeStyle);
    ASSERT_NE(text, nullptr);
    EXPECT_GT(CFStringGetLength(text), 8);
    const CFAbsoluteTime back = GL_GetAbsoluteTimeFromStr(text, dateStyle, timeStyle);
    // Short times drop the seconds.
    EXPECT_NEAR(back, at, timeStyle == 1 ? 60.0 : 0.5);
    CFRelease(text);
  }
  CFStringRef now = GL_CreateCurrentFullDateTimeCFStr();
  ASSERT_NE(now, nullptr);
  EXPECT_NEAR(GL_GetAbsoluteTimeFromStr(now, 4, 4), CFAbsoluteTimeGetCurrent(), 5.0);
  CFRelease(now);
  CFStringRef timeOnly = GL_CreateCurrentDateTimeCFStr(0, 2);
  ASSERT_NE(timeOnly, nullptr);
  CFRelease(timeOnly);
  EXPECT_EQ(GL_GetAbsoluteTimeFromStr(nullptr, 3, 2), 0.0);
  EXPECT_EQ(GL_GetAbsoluteTimeFromStr(CFSTR("no date at all"), 3, 2), 0.0);
}

TEST(GeneralProcessorInfo, ThisMachine) {
  GL_ProcessorInfo info;
  GL_GetProcessorInfo(&info);
  EXPECT_FALSE(info.hasAltivec);
  EXPECT_FALSE(info.isPPC);
  EXPECT_EQ(GL_HasAltivec(), 0);  // a name the kernel does not know
#if defined(__x86_64__)
  EXPECT_TRUE(info.isIntel);
  EXPECT_TRUE(info.is64bit);
  EXPECT_EQ(GL_Has64bitops(), 1);
  EXPECT_NE(info.isCore1, info.isCore2);
  // cpuid leaf 1: SSE3 is ECX bit 0 ("pni" in cpuinfo), SSSE3 bit 9.
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    line += " ";
    EXPECT_EQ(bool(info.hasSSE3), line.find(" pni ") != std::string::npos);
    EXPECT_EQ(bool(info.hasSSSE3), line.find(" ssse3 ") != std::string::npos);
    break;
  }
#endif
}

TEST(GeneralProcessorInfo, SecondsSinceStartupTruncate) {
  UnsignedWide us{0, 2999999};
  EXPECT_EQ(GL_MicrosecondsToSeconds(&us), 2u);
  us = {1, 0};  // 2^32 microseconds
  EXPECT_EQ(GL_MicrosecondsToSeconds(&us), 4294u);
  UInt32 a = GL_GetTimeSinceStartupAsSec();
  UnsignedWide now;
  Microseconds(&now);
  EXPECT_LE(a, GL_MicrosecondsToSeconds(&now));
}

TEST(GeneralProcessorInfo, UTCDateTimeByteOrder) {
  UTCDateTime d{0x0102, 0x03040506, 0x0708};
  GL_UTCDateTime_NtoB(&d);
  EXPECT_EQ(d.highSeconds, 0x0201);
  EXPECT_EQ(d.lowSeconds, 0x06050403u);
  EXPECT_EQ(d.fraction, 0x0807);
  GL_UTCDateTime_BtoN(&d);
  UTCDateTime e{0x0102, 0x03040506, 0x0708};
  EXPECT_TRUE(GL_EqualUTCDateTime(&d, &e));
  e.fraction = 0;
  EXPECT_FALSE(GL_EqualUTCDateTime(&d, &e));
}

TEST(GeneralProcessorInfo, WeakLinkAsksGestalt) {
  ASSERT_EQ(NewGestaltValue('wkl1', 0x5), noErr);  // bits 0 and 2
  Boolean have = 7;
  SInt32 version = 9;
  ProcPtr symbol = +[]() -> long { return 0; };
  EXPECT_EQ(GL_WeakLink(0, 0, nullptr, nullptr, 0, nullptr), noErr);
  EXPECT_EQ(GL_WeakLink('wkl1', 2, symbol, &have, 0, nullptr), noErr);
  EXPECT_TRUE(have);
  EXPECT_EQ(GL_WeakLink('wkl1', 1, symbol, &have, 'wkl1', &version), noErr);
  EXPECT_FALSE(have);
  EXPECT_EQ(version, 5);
  EXPECT_EQ(GL_WeakLink('wkl1', 1, nullptr, &have, 0, nullptr), paramErr);
  EXPECT_EQ(GL_WeakLink('wkl1', 1, symbol, nullptr, 0, nullptr), paramErr);
  EXPECT_EQ(GL_WeakLink(0, 0, nullptr, nullptr, 'wkl1', nullptr), paramErr);
  EXPECT_EQ(GL_WeakLink(0, 0, nullptr, nullptr, 'none', &version), gestaltUndefSelectorErr);
  EXPECT_EQ(version, 0);
  // A failing presence question skips the version question.
  version = 9;
  EXPECT_EQ(GL_WeakLink('none', 0, symbol, &have, 'wkl1', &version), gestaltUndefSelectorErr);
  EXPECT_EQ(version, 9);
}

TEST(GeneralProcessorInfo, MachoGlueWords) {
  Ptr glue = GL_GetMachoFunctionPointer(reinterpret_cast<void *>(uintptr_t(0x12345678)));
  ASSERT_NE(glue, nullptr);
  const UInt8 expected[24] = {0x3D, 0x80, 0x12, 0x34, 0x61, 0x8C, 0x56, 0x78, 0x80, 0x0C, 0x00, 0x00,
                              0x80, 0x4C, 0x00, 0x04, 0x7C, 0x09, 0x03, 0xA6, 0x4E, 0x80, 0x04, 0x20};
  EXPECT_EQ(std::memcmp(glue, expected, 24), 0);
  EXPECT_EQ(GetPtrSize(glue), 24);
  DisposePtr(glue);
}

TEST(GeneralProcessorInfo, CacheOverlapRatio) {
  // A 32 KiB cache with 64-byte lines folds addresses to their low 21 bits.
  GL_CacheBlockLE b2{nullptr, 0x200000}, b1{&b2, 0};
  LL_IntervalLE r2{nullptr, 0, 1000}, r1{&r2, 0, 1000};
  Fixed ratio = -1;
  ASSERT_EQ(GL_GetCacheOverlapRatio(&b1, &r1, 32768, 64, &ratio), noErr);
  EXPECT_EQ(ratio, 0x8000);  // both ranges land on the same cache lines
  b2.base = 4096;
  ASSERT_EQ(GL_GetCacheOverlapRatio(&b1, &r1, 32768, 64, &ratio), noErr);
  EXPECT_EQ(ratio, 0x10000);
  b2.base = 500;  // [500, 1500] overlaps [0, 1000] by half
  ASSERT_EQ(GL_GetCacheOverlapRatio(&b1, &r1, 32768, 64, &ratio), noErr);
  EXPECT_EQ(ratio, FixRatio(1500, 2000));
  // The caller's ranges are untouched.
  EXPECT_EQ(r2.start, 0);
  EXPECT_EQ(r2.end, 1000);

  PL_FailAllocationAfter(1);
  OSStatus err = GL_GetCacheOverlapRatio(&b1, &r1, 32768, 64, &ratio);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(err, memFullErr);
  EXPECT_EQ(ratio, 0);
}

TEST(GeneralProcessorInfo, ProcessesHaveNoSignatures) {
  ProcessSerialNumber psn{7, 7};
  EXPECT_EQ(GL_FindProcessByTypeAndCreator('MACS', 'FNDR', &psn), procNotFound);
  EXPECT_EQ(psn.highLongOfPSN, 0u);
  EXPECT_EQ(psn.lowLongOfPSN, 0u);
  Boolean visible = 3;
  EXPECT_EQ(GL_IsProcessVisibleByTypeAndCreator('Orl1', 'APPL', &visible), procNotFound);
  EXPECT_EQ(visible, 3);
  EXPECT_EQ(GL_BringFinderToFront(), procNotFound);
  SInt32 result = 5;
  GL_StartStopTrace(&result);
  EXPECT_EQ(result, 0);
}

// ---- Screens, from screens described as the user-interface layer would ----

TEST(GeneralProcessorInfo, ScreensThatHoldARectangle) {
  // A 1920 x 1080 main screen and a 1280 x 1024 one to its right.
  const PL_ScreenInfo screens[] = {
      {Rect{0, 0, 1080, 1920}, Rect{0, 0, 1050, 1920}, Long2Fix(96), Long2Fix(96), 32},
      {Rect{0, 1920, 1024, 3200}, Rect{0, 1920, 1024, 3200}, Long2Fix(72), Long2Fix(80), 24},
  };
  ASSERT_EQ(PL_SetScreens(screens, 2), noErr);
  EXPECT_EQ(GL_CountActiveScreens(), 2);
  GDHandle mainScreen = GetMainDevice();
  GDHandle second = GetNextDevice(mainScreen);
  EXPECT_TRUE(GL_IsActiveScreen(mainScreen));
  EXPECT_FALSE(GL_IsActiveScreen(nullptr));

  struct Case {
    Rect rect;
    GDHandle expected;
    SInt32 area;
  } const cases[] = {
      {Rect{100, 100, 200, 300}, mainScreen, 100 * 200},
      {Rect{0, 1800, 100, 2000}, mainScreen, 100 * 120},  // more of it on the main screen
      {Rect{0, 1850, 100, 2100}, second, 100 * 180},
      {Rect{0, 1820, 100, 2020}, mainScreen, 100 * 100},  // equal parts: the first screen wins
      {Rect{2000, 0, 2100, 100}, nullptr, 0},             // below every screen
      {Rect{10, 10, 10, 50}, nullptr, 0},                 // empty
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.rect.top << "," << c.rect.left << "," << c.rect.bottom << ","
                                    << c.rect.right);
    SInt32 area = -1;
    EXPECT_EQ(GL_FindRectMaxScreen(&c.rect, &area), c.expected);
    EXPECT_EQ(area, c.area);
    EXPECT_EQ(GL_FindRectMaxScreen(&c.rect, nullptr), c.expected);
  }

  Fixed h = 0;
  Fixed v = 0;
  UInt16 depth = 0;
  EXPECT_EQ(GL_GetScreenMode(second, &h, &v, &depth), noErr);
  EXPECT_EQ(h, Long2Fix(72));
  EXPECT_EQ(v, Long2Fix(80));
  EXPECT_EQ(depth, 24);
  EXPECT_EQ(GL_GetScreenMode(mainScreen, nullptr, nullptr, &depth), noErr);
  EXPECT_EQ(depth, 32);
  EXPECT_EQ(GL_GetScreenMode(nullptr, &h, &v, &depth), paramErr);

  // The second screen is unplugged: it no longer counts and no longer holds rectangles.
  ASSERT_EQ(PL_SetScreens(screens, 1), noErr);
  EXPECT_EQ(GL_CountActiveScreens(), 1);
  const Rect right{0, 2000, 100, 2100};
  EXPECT_EQ(GL_FindRectMaxScreen(&right, nullptr), nullptr);
  ASSERT_EQ(PL_SetScreens(nullptr, 0), noErr);
  EXPECT_EQ(GL_CountActiveScreens(), 0);
}

// ---- Text-edit metrics: measured by a port whose back end derives them from the size (ascent = size,
// descent = size / 4, leading = the font number) ----

TEST(GeneralProcessorInfo, EditRecordMetricsRestoreThePorts) {
  FakeTextPort *editPort = NewFakeTextPort();
  FakeTextPort *current = NewFakeTextPort();
  GrafPtr saved = nullptr;
  GetPort(&saved);
  SetPort(editPort->port);
  TextFont(21);
  TextSize(9);
  TextFace(italic);
  SetPort(current->port);

  TERec record{};
  record.inPort = editPort->port;
  record.txFont = 3;
  record.txSize = 20;
  record.txFace = bold;
  TEPtr recordPtr = &record;
  TEHandle te = &recordPtr;

  FontInfo info{};
  GL_SmartGetFontInfo(&info, te);
  EXPECT_EQ(info.ascent, 20);
  EXPECT_EQ(info.descent, 5);
  EXPECT_EQ(info.leading, 3);
  GrafPtr now = nullptr;
  GetPort(&now);
  EXPECT_EQ(now, current->port);
  EXPECT_EQ(GetPortTextFont(editPort->port), 21);
  EXPECT_EQ(GetPortTextSize(editPort->port), 9);
  EXPECT_EQ(GetPortTextFace(editPort->port), italic);

  GL_SetAscentAndLineHeight(te);
  EXPECT_EQ(record.fontAscent, 20);
  EXPECT_EQ(record.lineHeight, 28);

  // A record whose port cannot measure keeps its values; the metrics come back zeroed.
  Rect bounds{0, 0, 10, 10};
  GrafPtr bare = PL_NewPort(&bounds, Point{0, 0}, nullptr, nullptr);
  record.inPort = bare;
  GL_SmartGetFontInfo(&info, te);
  EXPECT_EQ(QDError(), unimpErr);
  EXPECT_EQ(info.ascent, 0);
  GL_SetAscentAndLineHeight(te);
  EXPECT_EQ(record.lineHeight, 28);
  GL_SmartGetFontInfo(&info, nullptr);
  EXPECT_EQ(QDError(), paramErr);
  GetPort(&now);
  EXPECT_EQ(now, current->port);

  PL_DisposePort(bare);
  DisposeFakeTextPort(current);
  DisposeFakeTextPort(editPort);
  SetPort(saved);
}

}  // namespace
