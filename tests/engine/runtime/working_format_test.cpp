#include "engine/runtime/working_format.h"

#include "color/gamma_tables.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_settings.h"
#include "general/memory_lists.h"
#include "movie/codecs.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/hfs_names.h"
#include "platform/core/memory.h"
#include "platform/movie/atom_container.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- Geometry --------------------------------------------------------------------------------------------------

struct GeometryCase {
  const char *name;
  SInt32 inHeight, inWidth;
  Boolean interlaced;
  SInt32 height, width;
  SInt64 size;
};

const GeometryCase kGeometryCases[] = {
    {"NTSC progressive", 480, 720, false, 496, 736, 736LL * 512 * 2},
    {"NTSC interlaced", 480, 720, true, 512, 736, 736LL * 512 * 2},
    {"PAL progressive", 576, 720, false, 592, 736, 736LL * 608 * 2},
    {"PAL interlaced", 576, 720, true, 608, 736, 736LL * 608 * 2},
    {"HD progressive", 1080, 1920, false, 1096, 1936, 1936LL * 1120 * 2},
    {"HD interlaced", 1080, 1920, true, 1120, 1936, 1936LL * 1120 * 2},
    {"1916 wide: right margin 12", 1080, 1916, false, 1096, 1936, 1936LL * 1120 * 2},
    {"odd progressive", 481, 721, false, 504, 744, 744LL * 528 * 2},
    {"odd interlaced", 481, 721, true, 528, 744, 744LL * 528 * 2},
    {"one pixel", 1, 1, false, 24, 24, 24LL * 48 * 2},
    {"one pixel interlaced", 1, 1, true, 48, 24, 24LL * 48 * 2},
    // The largest picture an image description holds: above 2^31 bytes, which a 32-bit size would wrap.
    {"32767 square", 32767, 32767, true, 32800, 32784, 32784LL * 32800 * 2},
};

TEST(EngineWorkingFormat, BufferSizesOfSdHdOddAndInterlacedPictures) {
  for (const GeometryCase &c : kGeometryCases) {
    SCOPED_TRACE(c.name);
    SInt32 height = -1, width = -1;
    SInt64 size = -1;
    ASSERT_EQ(noErr, BZ_GetBufferSize(c.inHeight, c.inWidth, c.interlaced, &height, &width, &size));
    EXPECT_EQ(height, c.height);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(size, c.size);
    // Rows start 16-byte aligned and every margin is at least 8 pixels or 8 lines per field.
    EXPECT_EQ((width * 2) % 16, 0);
    EXPECT_GE(width - c.inWidth - kBZ_PadLeftPixels, 8);
    EXPECT_GE(height - c.inHeight - kBZ_PadFieldLines * (c.interlaced ? 2 : 1), 8 * (c.interlaced ? 2 : 1));
    // Outputs may be left out.
    EXPECT_EQ(noErr, BZ_GetBufferSize(c.inHeight, c.inWidth, c.interlaced, nullptr, nullptr, nullptr));
  }
}

TEST(EngineWorkingFormat, BufferSizesThatCannotExistAreErrorsNotWraps) {
  struct Case {
    SInt32 inHeight, inWidth;
    OSStatus err;
  } cases[] = {
      {0, 720, paramErr},
      {576, 0, paramErr},
      {-576, 720, paramErr},
      {576, INT32_MAX, memFullErr},         // the padded width overflows 32 bits
      {INT32_MAX, 720, memFullErr},         // so does the padded height
      {1 << 30, 1 << 29, memFullErr},       // 2^61 bytes
      {1 << 20, 1 << 20, noErr},            // 2^41 bytes: large, but a size a process may ask for
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.inHeight << " x " << c.inWidth);
    for (Boolean interlaced : {Boolean(false), Boolean(true)}) {
      SInt32 height = -1, width = -1;
      SInt64 size = -1;
      EXPECT_EQ(c.err, BZ_GetBufferSize(c.inHeight, c.inWidth, interlaced, &height, &width, &size));
      if (c.err != noErr) {
        EXPECT_EQ(height, 0);
        EXPECT_EQ(width, 0);
        EXPECT_EQ(size, 0);
      } else {
        EXPECT_GT(size, SInt64(1) << 41);
        EXPECT_LE(size, kBZ_MaxFrameBufferSize);
      }
    }
  }
}

TEST(EngineWorkingFormat, PicturePositionsInsideTheBuffer) {
  Rect r{};
  BZ_GetRealFrameBounds(false, 720, 480, &r);
  EXPECT_EQ(bz_test::RectText(r), "8,8,488,728");
  BZ_GetRealFrameBounds(true, 720, 480, &r);
  EXPECT_EQ(bz_test::RectText(r), "16,8,496,728");
  const Rect sel{100, 40, 220, 200};
  BZ_PadSelectionRect(false, &sel, &r);
  EXPECT_EQ(bz_test::RectText(r), "108,48,228,208");
  BZ_PadSelectionRect(true, &sel, &r);
  EXPECT_EQ(bz_test::RectText(r), "116,48,236,208");
  Point p{};
  BZ_PadPoint(true, Point{10, 20}, &p);  // v, h
  EXPECT_EQ(p.v, 26);
  EXPECT_EQ(p.h, 28);
  BZ_PadPoint(false, Point{10, 20}, &p);
  EXPECT_EQ(p.v, 18);
}

// ---- Padding ---------------------------------------------------------------------------------------------------

constexpr UInt8 kUnwritten = 0xEE;

// A working frame in a guarded block: picture bytes that tell every pixel apart (luma from the position,
// chroma 20..59 for Cb and 160..199 for Cr), margins unwritten.
struct PaddedFrame {
  BZ_PadParams params{};
  bz_test::GuardedBuffer buffer;
  SInt32 top;

  PaddedFrame(SInt32 inHeight, SInt32 inWidth, Boolean interlaced)
      : buffer(Size(inHeight, inWidth, interlaced, &params)), top(kBZ_PadFieldLines * (interlaced ? 2 : 1)) {
    std::memset(buffer.data(), kUnwritten, buffer.size());
    for (SInt32 y = 0; y < inHeight; ++y)
      for (SInt32 x = 0; x < inWidth; ++x) {
        Chroma(x, y) = UInt8((x & 1) == 0 ? 20 + (x * 7 + y * 3) % 40 : 160 + (x * 5 + y * 11) % 40);
        Luma(x, y) = UInt8((x * 13 + y * 29) % 251);
      }
  }
  static size_t Size(SInt32 inHeight, SInt32 inWidth, Boolean interlaced, BZ_PadParams *p) {
    SInt64 size = 0;
    EXPECT_EQ(noErr, BZ_GetBufferSize(inHeight, inWidth, interlaced, &p->height, &p->width, &size));
    p->inHeight = inHeight;
    p->inWidth = inWidth;
    p->interlaced = interlaced;
    // Only the rows of the buffer's own height belong to it: the guard follows them directly.
    return size_t(p->width) * size_t(p->height) * 2;
  }
  // Picture coordinates; margins are negative or beyond the picture.
  UInt8 *Pixel(SInt32 x, SInt32 y) {
    return buffer.data() + (ptrdiff_t(top + y) * params.width + kBZ_PadLeftPixels + x) * 2;
  }
  UInt8 &Chroma(SInt32 x, SInt32 y) { return Pixel(x, y)[0]; }
  UInt8 &Luma(SInt32 x, SInt32 y) { return Pixel(x, y)[1]; }
};

// Where a margin pixel's luma, chroma and line come from, as the rules of the working format put it: columns
// first (i = 0..7 to the left, j to the right), then whole rows round by round.
struct Mirror {
  std::vector<SInt32> lumaX, chromaX, line;  // indexed by x + 8 and y + top
};

Mirror ReferenceMirror(const BZ_PadParams &p) {
  const SInt32 f = p.interlaced ? 2 : 1, top = 8 * f;
  Mirror m;
  m.lumaX.resize(size_t(p.width));
  m.chromaX.resize(size_t(p.width));
  for (SInt32 x = 0; x < p.inWidth; ++x) m.lumaX[size_t(x + 8)] = m.chromaX[size_t(x + 8)] = x;
  for (SInt32 i = 0; i < 8; ++i) {
    m.lumaX[size_t(-1 - i + 8)] = i;
    m.chromaX[size_t(-1 - i + 8)] = i + 1;
  }
  for (SInt32 j = 0; j < p.width - p.inWidth - 8; ++j) {
    m.lumaX[size_t(p.inWidth + j + 8)] = p.inWidth - 1 - j;
    m.chromaX[size_t(p.inWidth + j + 8)] = p.inWidth - 2 - j;
  }
  m.line.assign(size_t(p.height), -100);
  for (SInt32 y = 0; y < p.inHeight; ++y) m.line[size_t(y + top)] = y;
  for (SInt32 i = 0; i < 8; ++i) {
    if (f == 1) {
      m.line[size_t(-1 - i + top)] = i;
    } else {
      m.line[size_t(-2 - 2 * i + top)] = 2 * i;
      m.line[size_t(-1 - 2 * i + top)] = 2 * i + 1;
    }
  }
  const SInt32 b = p.height - p.inHeight - top;
  for (SInt32 k = 0; k < b / f; ++k) {
    if (f == 1) {
      m.line[size_t(p.inHeight + k + top)] = p.inHeight - 1 - k;
    } else {
      m.line[size_t(p.inHeight + 1 + 2 * k + top)] = p.inHeight - 1 - 2 * k;
      m.line[size_t(p.inHeight + 2 * k + top)] = p.inHeight - 2 - 2 * k;
    }
  }
  return m;
}

struct PadCase {
  const char *name;
  SInt32 inHeight, inWidth;
  Boolean interlaced;
};

const PadCase kPadCases[] = {
    {"NTSC progressive", 480, 720, false}, {"NTSC interlaced", 480, 720, true},
    {"PAL interlaced", 576, 720, true},    {"HD progressive", 1080, 1920, false},
    {"1916 wide", 64, 1916, false},        {"odd progressive", 481, 721, false},
    {"odd interlaced", 481, 721, true},    {"small", 40, 32, true},
};

TEST(EngineWorkingFormat, PadFrameMirrorsEveryMarginAsTheRulesSay) {
  for (const PadCase &c : kPadCases) {
    SCOPED_TRACE(c.name);
    PaddedFrame frame(c.inHeight, c.inWidth, c.interlaced);
    std::vector<UInt8> picture(frame.buffer.data(), frame.buffer.data() + frame.buffer.size());
    ASSERT_EQ(noErr, BZ_PadFrame(&frame.params, frame.buffer.data()));
    ASSERT_TRUE(frame.buffer.CheckGuards());

    const BZ_PadParams &p = frame.params;
    const Mirror m = ReferenceMirror(p);
    const SInt32 lastPairedLine = frame.top + c.inHeight + (p.height - c.inHeight - frame.top) / (c.interlaced ? 2 : 1) * (c.interlaced ? 2 : 1);
    int mismatches = 0;
    for (SInt32 by = 0; by < p.height && mismatches < 5; ++by) {
      SInt32 srcLine = m.line[size_t(by)];
      if (srcLine == -100) {
        // The one line the paired rounds leave: a picture line of its own field.
        ASSERT_TRUE(c.interlaced);
        ASSERT_EQ(by, lastPairedLine);
        srcLine = -1;
        for (SInt32 y = 0; y < c.inHeight; ++y)
          if (std::memcmp(frame.buffer.data() + size_t(by) * p.width * 2,
                          frame.buffer.data() + size_t(y + frame.top) * p.width * 2, size_t(p.width) * 2) == 0 &&
              ((y + frame.top) & 1) == (by & 1))
            srcLine = y;
        EXPECT_GE(srcLine, 0) << "line " << by << " copies no picture line of its field";
        continue;
      }
      for (SInt32 bx = 0; bx < p.width; ++bx) {
        const UInt8 *got = frame.buffer.data() + (size_t(by) * p.width + bx) * 2;
        const size_t srcRow = size_t(srcLine + frame.top) * p.width;
        const UInt8 expChroma = picture[(srcRow + size_t(m.chromaX[size_t(bx)] + 8)) * 2];
        const UInt8 expLuma = picture[(srcRow + size_t(m.lumaX[size_t(bx)] + 8)) * 2 + 1];
        if (got[0] != expChroma || got[1] != expLuma) {
          ADD_FAILURE() << "buffer pixel (" << bx << ", " << by << "): got " << int(got[0]) << "/" << int(got[1])
                        << ", expected " << int(expChroma) << "/" << int(expLuma);
          ++mismatches;
        }
      }
    }
  }
}

TEST(EngineWorkingFormat, PadFrameKeepsCbAndCrInTheirPlaces) {
  PaddedFrame frame(480, 720, true);
  ASSERT_EQ(noErr, BZ_PadFrame(&frame.params, frame.buffer.data()));
  const BZ_PadParams &p = frame.params;
  for (SInt32 by = 0; by < p.height; ++by)
    for (SInt32 bx = 0; bx < p.width; ++bx) {
      const UInt8 chroma = frame.buffer.data()[(size_t(by) * p.width + bx) * 2];
      // Buffer and picture columns have the same parity: even columns hold Cb (20..59), odd ones Cr.
      if ((bx & 1) == 0)
        ASSERT_TRUE(chroma >= 20 && chroma < 60) << bx << ", " << by;
      else
        ASSERT_TRUE(chroma >= 160 && chroma < 200) << bx << ", " << by;
    }
}

TEST(EngineWorkingFormat, PadFrameExamplesOfSdPictures) {
  auto sameLine = [](PaddedFrame &f, SInt32 padLine, SInt32 pictureLine) {
    return std::memcmp(f.Pixel(-8, padLine), f.Pixel(-8, pictureLine), size_t(f.params.width) * 2) == 0;
  };
  PaddedFrame progressive(480, 720, false);
  ASSERT_EQ(noErr, BZ_PadFrame(&progressive.params, progressive.buffer.data()));
  for (SInt32 k = 0; k < 8; ++k) EXPECT_TRUE(sameLine(progressive, 480 + k, 479 - k)) << k;
  EXPECT_TRUE(sameLine(progressive, -1, 0));
  // Left edge: luma repeats the edge pixel, chroma comes from one pixel further (Cr of pixel 1).
  EXPECT_EQ(progressive.Luma(-1, 5), progressive.Luma(0, 5));
  EXPECT_EQ(progressive.Chroma(-1, 5), progressive.Chroma(1, 5));
  EXPECT_EQ(progressive.Luma(720, 5), progressive.Luma(719, 5));
  EXPECT_EQ(progressive.Chroma(720, 5), progressive.Chroma(718, 5));

  PaddedFrame interlaced(480, 720, true);
  ASSERT_EQ(noErr, BZ_PadFrame(&interlaced.params, interlaced.buffer.data()));
  EXPECT_TRUE(sameLine(interlaced, -2, 0));
  EXPECT_TRUE(sameLine(interlaced, -1, 1));
  EXPECT_TRUE(sameLine(interlaced, 480, 478));
  EXPECT_TRUE(sameLine(interlaced, 481, 479));
}

TEST(EngineWorkingFormat, PadFrameOfPicturesSmallerThanTheirMarginsStaysInsideAndInField) {
  for (const PadCase &c : {PadCase{"1 x 1", 1, 1, false}, PadCase{"1 x 1 fields", 1, 1, true},
                           PadCase{"3 x 5", 3, 5, false}, PadCase{"5 x 3 fields", 5, 3, true},
                           PadCase{"2 x 2 fields", 2, 2, true}}) {
    SCOPED_TRACE(c.name);
    PaddedFrame frame(c.inHeight, c.inWidth, c.interlaced);
    ASSERT_EQ(noErr, BZ_PadFrame(&frame.params, frame.buffer.data()));
    ASSERT_TRUE(frame.buffer.CheckGuards());
    const BZ_PadParams &p = frame.params;
    for (SInt32 by = 0; by < p.height; ++by) {
      // Every row is a copy of a picture row of the same field, and no byte stays unwritten.
      bool found = false;
      for (SInt32 y = 0; y < c.inHeight && !found; ++y) {
        const SInt32 row = y + frame.top;
        found = (!c.interlaced || (row & 1) == (by & 1) || c.inHeight == 1) &&
                std::memcmp(frame.buffer.data() + size_t(by) * p.width * 2,
                            frame.buffer.data() + size_t(row) * p.width * 2, size_t(p.width) * 2) == 0;
      }
      EXPECT_TRUE(found) << "row " << by;
      for (SInt32 bx = 0; bx < p.width * 2; ++bx)
        ASSERT_NE(frame.buffer.data()[size_t(by) * p.width * 2 + bx], kUnwritten) << bx << ", " << by;
    }
  }
}

TEST(EngineWorkingFormat, PadFrameRefusesParametersThatDoNotFitTheBuffer) {
  std::vector<UInt8> buffer(64 * 64 * 2, kUnwritten);
  struct Case {
    BZ_PadParams p;
  } cases[] = {
      {{0, 16, 64, 64, false}},   // no picture
      {{16, -1, 64, 64, false}},  // nor here
      {{57, 16, 64, 64, false}},  // no room for the left margin
      {{16, 57, 64, 64, false}},  // nor for the top margin
      {{16, 49, 64, 64, true}},   // nor for the top margin of two fields
  };
  for (const Case &c : cases) {
    EXPECT_EQ(paramErr, BZ_PadFrame(&c.p, buffer.data()));
  }
  EXPECT_EQ(paramErr, BZ_PadFrame(nullptr, buffer.data()));
  const BZ_PadParams fine = {16, 16, 64, 64, false};
  EXPECT_EQ(paramErr, BZ_PadFrame(&fine, nullptr));
  for (UInt8 b : buffer) ASSERT_EQ(b, kUnwritten);
}

// ---- Blocks and 16:9 ---------------------------------------------------------------------------------------------

TEST(EngineWorkingFormat, MeasuringBlockGrids) {
  struct Case {
    SInt32 f;
    Rect sel;
    SInt32 h, v, sh, sv;
  } cases[] = {
      {1, {0, 0, 120, 160}, 19, 14, 8, 8},
      {2, {0, 0, 120, 160}, 19, 6, 8, 20},
      {1, {0, 0, 16, 16}, 1, 1, 16, 16},
      {1, {0, 0, 1000, 2000}, 44, 22, 44, 45},  // 249 x 124 thinned by 5.557
      {1, {10, 10, 26, 16000}, 1000, 1, 14, 16},  // thinning must not leave a direction without blocks
      {1, {0, 0, 15, 160}, 0, 0, 0, 0},          // too small: no blocks, no division by zero
      {2, {0, 0, 31, 160}, 0, 0, 0, 0},
      {1, {100, 100, 0, 0}, 0, 0, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(bz_test::RectText(c.sel));
    SInt32 h = -1, v = -1, sh = -1, sv = -1;
    BZ_GetNum16x16Blocks(c.f, &c.sel, &h, &v, &sh, &sv);
    EXPECT_EQ(h, c.h);
    EXPECT_EQ(v, c.v);
    EXPECT_EQ(sh, c.sh);
    EXPECT_EQ(sv, c.sv);
  }
}

TEST(EngineWorkingFormat, WidescreenTest) {
  EXPECT_FALSE(BZ_Get16x9(480, 640));
  EXPECT_TRUE(BZ_Get16x9(1080, 1920));
  EXPECT_FALSE(BZ_Get16x9(576, 720));   // 5:4 is nearer to 4:3
  EXPECT_TRUE(BZ_Get16x9(720, 1280));
  EXPECT_FALSE(BZ_Get16x9(0, 720));
  EXPECT_FALSE(BZ_Get16x9(576, 0));
}

// ---- The white line ------------------------------------------------------------------------------------------

TEST(EngineWorkingFormat, WhiteLineComesFromTheSourceThatHasIt) {
  struct Case {
    const char *name;
    Boolean inputPiece, averaging, averagePiece;
    Boolean remove, bottomLine;  // expected; source 0's flag is false, source 1's true
  } const cases[] = {
      {"none", false, false, false, false, false},
      {"first source", true, true, true, true, false},  // the input setting wins over averaging's
      {"second source when averaging", false, true, true, true, true},
      {"second source's flag without averaging", false, false, true, false, false},
  };
  BZ_StatMovInfo movies[2]{};
  movies[0].whiteLineIsBottomLine = false;
  movies[1].whiteLineIsBottomLine = true;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BZ_ProjSett sett{};
    sett.input.whiteLinePiece = c.inputPiece;
    sett.cleaning.average.apply = c.averaging;
    sett.cleaning.average.hasWhiteLinePiece = c.averagePiece;
    Boolean remove = !c.remove, bottom = !c.bottomLine;
    BZ_CopyWhiteLineSett(movies, &sett, &remove, &bottom);
    EXPECT_EQ(remove, c.remove);
    EXPECT_EQ(bottom, c.bottomLine);
  }
}

TEST(EngineWorkingFormat, RemoveWhiteLinePaintsOnlyItsRowBlack) {
  SInt32 height = 0, width = 0;
  for (Boolean interlaced : {false, true}) {
    ASSERT_EQ(BZ_GetBufferSize(576, 720, interlaced, &height, &width, nullptr), noErr);
    for (Boolean bottomLine : {false, true}) {
      SCOPED_TRACE(std::string(interlaced ? "interlaced" : "progressive") + (bottomLine ? ", bottom line" : ""));
      const SInt32 row = BZ_GetWhiteLineRow(interlaced, bottomLine);
      // The last two lines of the 576-line picture, which starts at buffer line 8 per field.
      EXPECT_EQ(row, (interlaced ? 16 : 8) + 574 + (bottomLine ? 1 : 0));
      const size_t rowBytes = size_t(width) * 2;
      std::vector<UInt8> frame(rowBytes * size_t(height), 0xEB);
      BZ_RemoveWhiteLine(frame.data(), width, interlaced, bottomLine);
      for (SInt32 y = 0; y < height; ++y)
        for (size_t x = 0; x < rowBytes; ++x) {
          const UInt8 expected = y != row ? 0xEB : x % 2 == 0 ? 128 : 0;
          ASSERT_EQ(frame[size_t(y) * rowBytes + x], expected) << "row " << y << " byte " << x;
        }
    }
  }
}

// ---- Stage questions -------------------------------------------------------------------------------------------

void FillTable(BZ_BuffInfo *table, std::initializer_list<BZ_TaskType> types) {
  SInt32 i = 0;
  for (BZ_TaskType t : types) {
    table[i].number = i;
    table[i].type = t;
    ++i;
  }
}

TEST(EngineWorkingFormat, OnlyAStageFeedingNoiseReductionPads) {
  bz_test::CurrentProject project;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  FillTable(table, {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_AverageTaskType, kBZ_VarBrTaskType, kBZ_NoiseRedTaskType,
                    kBZ_OutlierTaskType, kBZ_ComprTaskType, kBZ_WriteTaskType, kBZ_NoiseFrameTaskType,
                    kBZ_WriteTaskType});
  table[9].fileNum = 1;
  EXPECT_FALSE(BZ_GetPadding(project.get(), kBZ_AverageTaskType));  // VarBr follows it
  EXPECT_TRUE(BZ_GetPadding(project.get(), kBZ_VarBrTaskType));
  EXPECT_FALSE(BZ_GetPadding(project.get(), kBZ_CopyTaskType));      // Average is the next processing stage
  EXPECT_FALSE(BZ_GetPadding(project.get(), kBZ_NoiseRedTaskType));  // no processing stage after it
  EXPECT_FALSE(BZ_GetPadding(project.get(), kBZ_RlTaskType));        // not in the table
  EXPECT_FALSE(BZ_GetPadding(nullptr, kBZ_CopyTaskType));

  FillTable(table, {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_ComprTaskType});
  table[4].type = kBZ_NoTaskType;
  EXPECT_TRUE(BZ_GetPadding(project.get(), kBZ_CopyTaskType));
}

TEST(EngineWorkingFormat, OnlyTheFirstProcessingStageKeepsItsInputForNoise) {
  BZ_BuffInfo table[kBZ_NumBuffInfos] = {};
  FillTable(table, {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_RlTaskType, kBZ_WriteTaskType});
  const BZ_BuffInfo *first = &table[2];
  EXPECT_TRUE(BZ_NeedInBufferForNoiseCalc(table, first, kBZ_ProjStatePreviewing, false, false));
  EXPECT_TRUE(BZ_NeedInBufferForNoiseCalc(table, first, kBZ_ProjStateExecuting, true, false));
  EXPECT_FALSE(BZ_NeedInBufferForNoiseCalc(table, first, kBZ_ProjStateExecuting, false, true));
  EXPECT_TRUE(BZ_NeedInBufferForNoiseCalc(table, first, kBZ_ProjStateAnalyzingMovie, false, true));
  EXPECT_FALSE(BZ_NeedInBufferForNoiseCalc(table, first, kBZ_ProjStateAnalyzingMovie, true, false));
  EXPECT_FALSE(BZ_NeedInBufferForNoiseCalc(table, &table[3], kBZ_ProjStatePreviewing, true, true));
  EXPECT_FALSE(BZ_NeedInBufferForNoiseCalc(table, &table[1], kBZ_ProjStatePreviewing, true, true));
}

// ---- Gamma ------------------------------------------------------------------------------------------------------

TEST(EngineWorkingFormat, InternalGammaAndItsTables) {
  struct Case {
    const char *name;
    float sourceGamma;
    CodecType sourceCodec, outputCodec;
    Boolean exporting, alwaysGamma22;
    float internal;
    bool inTable, outTable;
  } cases[] = {
      {"source gamma kept", 2.2f, '2vuy', '2vuy', false, false, 2.2f, false, true},
      {"display gamma needs no table", 1.8f, 'raw ', '2vuy', false, false, 1.8f, false, false},
      {"DV output", 2.2f, '2vuy', 'dvc ', false, false, kBZ_VideoGamma, true, true},
      {"icod output", 1.8f, 'raw ', 'icod', false, false, kBZ_VideoGamma, true, true},
      {"export", 2.2f, '2vuy', '2vuy', true, false, kBZ_VideoGamma, true, true},
      {"preference", 2.2f, '2vuy', '2vuy', false, true, kBZ_VideoGamma, true, true},
      {"DV source to DV", kBZ_VideoGamma, 'dvc ', 'dvpp', false, false, kBZ_VideoGamma, false, true},
      // A gamma never found counts as the codec's usual one instead of making constant tables.
      {"unknown DV gamma", 0.0f, 'dvc ', 'dvc ', false, false, kBZ_VideoGamma, false, true},
      {"unknown RGB gamma", 0.0f, 'raw ', '2vuy', false, false, 1.8f, false, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    bz_test::CurrentProject project;
    project->info.statMovInfo[0].gamma = c.sourceGamma;
    project->info.statMovInfo[0].cType = c.sourceCodec;
    project->info.settings.output.cType = c.outputCodec;
    project->info.settings.output.export_ = c.exporting;
    BZ_AppPrefs prefs{};
    prefs.alwaysGamma22 = c.alwaysGamma22;
    float gamma = 0;
    UInt16 *in = nullptr, *out = nullptr;
    ASSERT_EQ(noErr, BZ_GetInternalGamma(project.get(), &prefs, &gamma, &in, &out));
    EXPECT_NEAR(gamma, c.internal, 1e-4);
    EXPECT_EQ(in != nullptr, c.inTable);
    EXPECT_EQ(out != nullptr, c.outTable);
    UInt16 expected[1024];
    if (out != nullptr) {
      CO_MakeRGBTable(gamma, kBZ_DisplayGamma, expected);
      EXPECT_EQ(0, std::memcmp(out, expected, sizeof expected));
    }
    if (in != nullptr) {
      CO_MakeRGBTable(c.sourceGamma, gamma, expected);
      EXPECT_EQ(0, std::memcmp(in, expected, sizeof expected));
    }
    GL_DisposePtr(&in);
    GL_DisposePtr(&out);
    // Without tables asked for, only the gamma.
    EXPECT_EQ(noErr, BZ_GetInternalGamma(project.get(), &prefs, &gamma, nullptr, nullptr));
  }
}

TEST(EngineWorkingFormat, InternalGammaFailsCleanlyWithoutMemory) {
  bz_test::CurrentProject project;
  project->info.statMovInfo[0].gamma = 2.2f;
  project->info.settings.output.cType = 'dvc ';
  BZ_AppPrefs prefs{};
  float gamma = 0;
  UInt16 *in = nullptr, *out = nullptr;
  PL_FailAllocationAfter(2);
  const OSStatus err = BZ_GetInternalGamma(project.get(), &prefs, &gamma, &in, &out);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(err, memFullErr);
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(paramErr, BZ_GetInternalGamma(nullptr, &prefs, &gamma, &in, &out));
}

// ---- Data rates and sizes ----------------------------------------------------------------------------------------

// An exporter's settings container with the video data-rate atoms written by hand (big-endian).
Handle RateSettings(SInt32 dratRate, SInt32 tdrtRate) {
  QTAtomContainer c = nullptr;
  EXPECT_EQ(noErr, QTNewAtomContainer(&c));
  QTAtom vide = 0;
  EXPECT_EQ(noErr, QTInsertChild(c, kParentAtomIsContainer, 'vide', 0, 0, 0, nullptr, &vide));
  auto be = [](SInt32 v) {
    return std::vector<UInt8>{UInt8(UInt32(v) >> 24), UInt8(UInt32(v) >> 16), UInt8(UInt32(v) >> 8), UInt8(v)};
  };
  if (dratRate >= 0) {
    std::vector<UInt8> drat = be(dratRate);
    for (SInt32 w : {40, 0x100, 0x80}) {
      const auto b = be(w);
      drat.insert(drat.end(), b.begin(), b.end());
    }
    EXPECT_EQ(noErr, QTInsertChild(c, vide, 'drat', 0, 0, SInt32(drat.size()), drat.data(), nullptr));
  }
  if (tdrtRate >= 0) {
    const auto tdrt = be(tdrtRate);
    EXPECT_EQ(noErr, QTInsertChild(c, vide, 'tdrt', 0, 0, 4, const_cast<UInt8 *>(tdrt.data()), nullptr));
  }
  return c;
}

class EngineWorkingFormatPrefs : public ::testing::Test {
 protected:
  EngineWorkingFormatPrefs() : home_(dir_.path()) { PL_CFPreferencesForgetAll(); }
  ~EngineWorkingFormatPrefs() override { PL_CFPreferencesForgetAll(); }
  bz_test::TempDir dir_;
  bz_test::FakeHome home_;
  bz_test::CurrentProject project_;
};

TEST_F(EngineWorkingFormatPrefs, DataRateFromTheSettingsOrTheirPreferences) {
  BZ_OutputSett out{};
  out.exportType = 'mpg4';
  SInt32 rate = -1;

  out.videoExportSett = RateSettings(500000, 700000);  // the 'drat' record wins
  EXPECT_EQ(noErr, BZ_GetDataRate(&out, &rate));
  EXPECT_EQ(rate, 500000);
  DisposeHandle(out.videoExportSett);
  out.videoExportSett = RateSettings(-1, 700000);  // else the total data rate
  EXPECT_EQ(noErr, BZ_GetDataRate(&out, &rate));
  EXPECT_EQ(rate, 700000);
  DisposeHandle(out.videoExportSett);
  out.videoExportSett = RateSettings(-1, -1);
  EXPECT_EQ(noErr, BZ_GetDataRate(&out, &rate));
  EXPECT_EQ(rate, 0);

  // Saved for the export type, then read from the preferences into a record without settings; the
  // record stays without them.
  out.export_ = true;
  DisposeHandle(out.videoExportSett);
  out.videoExportSett = RateSettings(250000, -1);
  BZ_SaveVideoExportSett(&out);
  DisposeHandle(out.videoExportSett);
  out.videoExportSett = nullptr;
  EXPECT_EQ(noErr, BZ_GetDataRate(&out, &rate));
  EXPECT_EQ(rate, 250000);
  EXPECT_EQ(out.videoExportSett, nullptr);
  out.exportType = 'dvc!';  // nothing stored for this one
  EXPECT_EQ(noErr, BZ_GetDataRate(&out, &rate));
  EXPECT_EQ(rate, 0);
  EXPECT_EQ(paramErr, BZ_GetDataRate(nullptr, &rate));
}

TEST_F(EngineWorkingFormatPrefs, ExportAndNoiseFrameSizes) {
  BZ_ProjInfo &info = project_->info;
  bz_test::DescribeSource(info.statMovInfo, 0, 576, 720, 250);
  info.statMovInfo[0].movieTimeScale = 2500;
  info.statMovInfo[0].videoDuration = 25000;  // 10 s, 25 frames a second
  info.settings.output.exportType = 'mpg4';
  info.settings.output.videoExportSett = RateSettings(-1, 1000000);
  SInt32 size = -1;
  EXPECT_EQ(noErr, BZ_GetExportFrameDataSize(&info, &size));
  EXPECT_EQ(size, 40000);
  // A source without frames has no per-frame size (and no division by zero).
  info.statMovInfo[0].numFrames = 0;
  EXPECT_EQ(noErr, BZ_GetExportFrameDataSize(&info, &size));
  EXPECT_EQ(size, 0);
  DisposeHandle(info.settings.output.videoExportSett);
  info.settings.output.videoExportSett = nullptr;

  info.settings.output.exportType = 'dvc!';
  EXPECT_EQ(noErr, BZ_GetExportFrameDataSize(&info, &size));
  EXPECT_EQ(size, 144000);
  info.statMovInfo[0].height = 480;
  EXPECT_EQ(noErr, BZ_GetExportFrameDataSize(&info, &size));
  EXPECT_EQ(size, 120000);

  info.statMovInfo[0].height = 576;
  info.settings.cleaning = BZ_CleaninSett{};
  EXPECT_EQ(BZ_GetNoiseFrameSize(&info), 82944);  // a tenth without a method that changes every pixel
  info.settings.cleaning.noiseRed.apply = true;
  info.settings.cleaning.noiseRed.horizontal = true;
  EXPECT_EQ(BZ_GetNoiseFrameSize(&info), 829440);
  info.statMovInfo[0].width = 65535;
  info.statMovInfo[0].height = 65535;
  EXPECT_EQ(BZ_GetNoiseFrameSize(&info), 0x7FFFFFFF);
}

// ---- Image description extensions ---------------------------------------------------------------------------------

ImageDescriptionHandle NewDescription() {
  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  (**desc).idSize = sizeof(ImageDescription);
  (**desc).cType = '2vuy';
  return desc;
}

void AddExt(ImageDescriptionHandle desc, OSType type, const std::string &bytes) {
  Handle h = NewHandle(Size(bytes.size()));
  std::memcpy(*h, bytes.data(), bytes.size());
  EXPECT_EQ(noErr, AddImageDescriptionExtension(desc, h, type));
  DisposeHandle(h);
}

// The description's extensions as "type:bytes" in order of type, then index.
std::string Exts(ImageDescriptionHandle desc) {
  std::string all;
  OSType type = 0;
  while (GetNextImageDescriptionExtensionType(desc, &type) == noErr && type != 0) {
    SInt32 n = 0;
    CountImageDescriptionExtensionType(desc, type, &n);
    for (SInt32 i = 1; i <= n; ++i) {
      Handle h = nullptr;
      EXPECT_EQ(noErr, GetImageDescriptionExtension(desc, &h, type, i));
      all += std::string{char(type >> 24), char(type >> 16), char(type >> 8), char(type)} + ":" +
             std::string(*h, size_t(GetHandleSize(h))) + " ";
      DisposeHandle(h);
    }
  }
  return all;
}

TEST(EngineWorkingFormat, CopyingImageDescriptionExtensions) {
  ImageDescriptionHandle src = NewDescription();
  AddExt(src, 'gama', "G1");
  AddExt(src, 'pasp', "P1");
  AddExt(src, 'pasp', "P2");
  // Codec configuration describes the source's codec, which the cleaned movie does not use: never copied.
  for (OSType config : {OSType('esds'), OSType('avcC'), OSType('hvcC'), OSType('glbl'), OSType('SMI ')})
    AddExt(src, config, "K1");

  ImageDescriptionHandle keep = NewDescription();
  AddExt(keep, 'pasp', "T1");
  EXPECT_EQ(noErr, BZ_CopyAllImageDescExts(src, keep, false));
  EXPECT_EQ(Exts(keep), "pasp:T1 pasp:P2 gama:G1 ");

  ImageDescriptionHandle replace = NewDescription();
  AddExt(replace, 'pasp', "T1");
  AddExt(replace, 'colr', "C1");
  EXPECT_EQ(noErr, BZ_CopyAllImageDescExts(src, replace, true));
  // The replaced extensions move behind the target's others.
  EXPECT_EQ(Exts(replace), "colr:C1 gama:G1 pasp:P1 pasp:P2 ");

  // Every extension that describes the picture comes along.
  ImageDescriptionHandle picture = NewDescription();
  AddExt(src, 'fiel', "F1");
  AddExt(src, 'clap', "A1");
  AddExt(src, 'colr', "C2");
  EXPECT_EQ(noErr, BZ_CopyAllImageDescExts(src, picture, true));
  EXPECT_EQ(Exts(picture), "gama:G1 pasp:P1 pasp:P2 fiel:F1 clap:A1 colr:C2 ");
  DisposeHandle(reinterpret_cast<Handle>(picture));

  // Onto itself nothing changes.
  const std::string before = Exts(src);
  EXPECT_EQ(noErr, BZ_CopyAllImageDescExts(src, src, true));
  EXPECT_EQ(Exts(src), before);
  EXPECT_EQ(paramErr, BZ_CopyAllImageDescExts(nullptr, keep, true));
  DisposeHandle(reinterpret_cast<Handle>(src));
  DisposeHandle(reinterpret_cast<Handle>(keep));
  DisposeHandle(reinterpret_cast<Handle>(replace));
}

// ---- File names -------------------------------------------------------------------------------------------------

std::string Text(CFStringRef s) {
  if (s == nullptr) return "(null)";
  char buffer[1024];
  EXPECT_TRUE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8));
  return buffer;
}

// The export component list of a machine with an MPEG-4 and a DV-stream exporter, installed for the test.
class ExporterList {
 public:
  ExporterList() {
    std::strcpy(mp4_.fileNameExt, ".mp4");
    mp4_.subType = 'mpg4';
    std::strcpy(dv_.fileNameExt, ".dv");
    dv_.subType = 'dvc!';
    std::strcpy(plain_.fileNameExt, "");
    plain_.subType = 'none';
    mp4_.next = &dv_;
    dv_.next = &plain_;
    saved_ = gBZ.expCompInfoList;
    gBZ.expCompInfoList = &mp4_;
  }
  ~ExporterList() { gBZ.expCompInfoList = saved_; }

 private:
  QT_CompInfoLE mp4_{}, dv_{}, plain_{};
  QT_CompInfoLE *saved_ = nullptr;
};

TEST(EngineWorkingFormat, KnownExtensionsComeFromTheExporterList) {
  ExporterList exporters;
  CFStringRef s = nullptr;
  BZ_CopyExportFileNameExtension('mpg4', &s);
  EXPECT_EQ(Text(s), ".mp4");
  CFRelease(s);
  BZ_CopyExportFileNameExtension('none', &s);
  EXPECT_EQ(Text(s), "");
  CFRelease(s);
  BZ_CopyExportFileNameExtension('xxxx', &s);
  EXPECT_EQ(s, nullptr);

  struct Case {
    const char *name, *ending;
  } endings[] = {{"Clip.dv", ".dv"}, {"Clip.mp4", ".mp4"}, {"Clip.txt", "(null)"},
                 {"Clip", "(null)"}, {"a.mp4.dv", ".dv"},   {"Clip.MP4", "(null)"}};
  for (const Case &c : endings) {
    PL_CFScoped<CFStringRef> name(CFStringCreateWithCString(nullptr, c.name, kCFStringEncodingUTF8));
    BZ_CopyFileNameExtension(name, &s);
    EXPECT_EQ(Text(s), c.ending) << c.name;
    if (s != nullptr) CFRelease(s);
  }

  struct Removal {
    const char *in, *out;
  } removals[] = {{"Clip.mp4", "Clip"}, {"Clip.exp", "Clip"}, {"Clip.mov", "Clip"},
                  {"Clip.txt", "Clip.txt"}, {"Clip", "Clip"}, {".mov", ""}};
  for (const Removal &r : removals) {
    PL_CFScoped<CFMutableStringRef> name(CFStringCreateMutableCopy(
        nullptr, 0, PL_CFScoped<CFStringRef>(CFStringCreateWithCString(nullptr, r.in, kCFStringEncodingUTF8))));
    BZ_RemoveFileNameExtension(name);
    EXPECT_EQ(Text(name), r.out) << r.in;
    BZ_AddFileNameExtension('dvc!', name);
    EXPECT_EQ(Text(name), std::string(r.out) + ".dv") << r.in;
  }
}

TEST(EngineWorkingFormat, TargetNameTakesTheOutputExtension) {
  ExporterList exporters;
  bz_test::CurrentProject project;
  BZ_ProjInfo &info = project->info;
  struct Case {
    const char *in;
    Boolean exporting;
    OSType type;
    const char *out;
  } cases[] = {
      {"Clip.mov", false, 0, "Clip.mov"},  // never "Clip.mov.mov"
      {"Clip.mp4", false, 0, "Clip.mov"},
      {"Clip", false, 0, "Clip.mov"},
      {"Clip.exp", false, 0, "Clip.mov"},
      {"Clip.txt", false, 0, "Clip.txt.mov"},
      {"Clip.mov", true, 'mpg4', "Clip.mp4"},
      {"Clip.dv", true, 'mpg4', "Clip.mp4"},
      {"Clip.mov", true, 'xxxx', "Clip"},
      {"", false, 0, ""},
  };
  for (const Case &c : cases) {
    info.targetFileData[0].fileName = bz_test::Name(c.in);
    info.settings.output.export_ = c.exporting;
    info.settings.output.exportType = c.type;
    EXPECT_EQ(noErr, BZ_CheckTargetFileName(&info));
    EXPECT_EQ(bz_test::Utf8(info.targetFileData[0].fileName), c.out) << c.in;
  }
  // A name at the length limit keeps its extension; its base gives way.
  const std::string longName(255, 'x');
  info.targetFileData[0].fileName = bz_test::Name(longName.c_str());
  info.settings.output.export_ = false;
  EXPECT_EQ(noErr, BZ_CheckTargetFileName(&info));
  EXPECT_EQ(bz_test::Utf8(info.targetFileData[0].fileName), std::string(251, 'x') + ".mov");

  info.settings.output.export_ = true;
  info.settings.output.exportType = 'dvc!';
  PL_CFScoped<CFStringRef> ext(BZ_MakeOutputFileExtension());
  EXPECT_EQ(Text(ext), ".dv");
  info.settings.output.exportType = 'xxxx';
  ext.reset(BZ_MakeOutputFileExtension());
  EXPECT_EQ(Text(ext), "");
  info.settings.output.export_ = false;
  ext.reset(BZ_MakeOutputFileExtension());
  EXPECT_EQ(Text(ext), ".mov");
}

TEST(EngineWorkingFormat, IndexedNamesCountUpPastExistingFiles) {
  bz_test::TempDir dir;
  BZ_TargetFileData targets[kBZ_MaxNumFiles] = {};
  targets[0].parentRef = bz_test::RefFor(dir.path());
  auto indexed = [&](const char *name, SInt32 index = 0) {
    targets[index].fileName = bz_test::Name(name);
    EXPECT_EQ(noErr, BZ_CreateIndexedNameInFolder(targets, index));
    return bz_test::Utf8(targets[index].fileName);
  };

  EXPECT_EQ(indexed("Clip.mov"), "Clip.mov");  // free names stay
  bz_test::WriteText(dir.File("Clip.mov"), "");
  EXPECT_EQ(indexed("Clip.mov"), "Clip 2.mov");
  bz_test::WriteText(dir.File("Clip 2.mov"), "");
  EXPECT_EQ(indexed("Clip.mov"), "Clip 3.mov");
  EXPECT_EQ(indexed("Clip.mov", 1), "Clip 3.mov");  // target 1 is named in target 0's folder
  bz_test::WriteText(dir.File("Take 5.dv"), "");
  EXPECT_EQ(indexed("Take 5.dv"), "Take 5 2.mov");
  bz_test::WriteText(dir.File("Take 5 2.mov"), "");
  EXPECT_EQ(indexed("Take 5.dv"), "Take 5 3.mov");

  // Near the length limit the base gives way to the number, and the count still goes on.
  const std::string longName = std::string(251, 'y') + ".mov";
  bz_test::WriteText(dir.File(longName), "");
  const std::string second = std::string(249, 'y') + " 2.mov";
  EXPECT_EQ(indexed(longName.c_str()), second);
  bz_test::WriteText(dir.File(second), "");
  EXPECT_EQ(indexed(longName.c_str()), std::string(249, 'y') + " 3.mov");

  // Another File Manager error is passed up: a folder that is gone.
  targets[0].parentRef = FSRef{};
  targets[0].fileName = bz_test::Name("Clip.mov");
  EXPECT_NE(noErr, BZ_CreateIndexedNameInFolder(targets, 0));
  EXPECT_EQ(paramErr, BZ_CreateIndexedNameInFolder(targets, kBZ_MaxNumFiles));
}

}  // namespace
