#include "color/planar420.h"

#include "support/color_frames.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using bz_test::GuardedBuffer;
using bz_test::GuardedFrame;

// A 'y420' buffer laid out as the movie library does: Y rows of the width rounded up to 32, planes of the
// height rounded up to 4, Cb and Cr rows of half that. Planes start filled with 0xEE so that unwritten rows
// show.
struct Y420Buffer {
  SInt32 height, width, rowBytesY, rows4;
  std::unique_ptr<GuardedBuffer> buffer;

  Y420Buffer(SInt32 h, SInt32 w, size_t offset = 0) : height(h), width(w) {
    rowBytesY = (w + 31) / 32 * 32;
    rows4 = (h + 3) / 4 * 4;
    const size_t size = size_t(rowBytesY) * rows4 * 3 / 2 + 32;
    buffer = std::make_unique<GuardedBuffer>(size, offset);
    std::memset(buffer->data() + 32, 0xEE, size - 32);
    PlanarPixmapInfoYUV420 header;
    header.componentInfoY = {32, UInt32(rowBytesY)};
    header.componentInfoCb = {32 + rowBytesY * rows4, UInt32(rowBytesY / 2)};
    header.componentInfoCr = {header.componentInfoCb.offset + rowBytesY * rows4 / 4, UInt32(rowBytesY / 2)};
    CO_SetY420Header(buffer->data(), &header);
  }
  UInt8 *data() { return buffer->data(); }
  CO_Y420Planes Planes() {
    CO_Y420Planes p;
    EXPECT_TRUE(CO_GetY420Planes(data(), width, &p));
    return p;
  }
  UInt8 &Y(SInt32 x, SInt32 row) { return Planes().y[ptrdiff_t(row) * rowBytesY + x]; }
  UInt8 &Cb(SInt32 k, SInt32 row) { return Planes().cb[ptrdiff_t(row) * (rowBytesY / 2) + k]; }
  UInt8 &Cr(SInt32 k, SInt32 row) { return Planes().cr[ptrdiff_t(row) * (rowBytesY / 2) + k]; }
};

// The same-field lines that an output line's chroma may come from: within 3 lines (progressive) or 6 lines
// of the same parity (interlaced).
bool InWindow(SInt32 y, SInt32 other, bool interlaced) {
  if (interlaced) return ((y ^ other) & 1) == 0 && other >= y - 6 && other <= y + 6;
  return other >= y - 3 && other <= y + 3;
}

enum class Path { kScalar, kAcc };

void ToY420(Path path, const GuardedFrame &in, Y420Buffer &out, bool interlaced, SInt32 paddedHeight = 0) {
  std::vector<UInt8> temp(size_t((in.width() + 31) / 32 * 32) * 6 + 64);
  UInt8 *aligned = reinterpret_cast<UInt8 *>((reinterpret_cast<uintptr_t>(temp.data()) + 15) & ~uintptr_t(15));
  if (path == Path::kScalar)
    CO_2vuyFrameToY420(in.height(), in.width(), in.rowBytes(), in.data(), out.data(), interlaced);
  else
    CO_2vuyFrameToY420_Acc(in.height(), in.width(), paddedHeight ? paddedHeight : in.height(), in.rowBytes(),
                           in.data(), out.data(), aligned, interlaced);
}

void From420(Path path, Y420Buffer &in, GuardedFrame &out, bool interlaced) {
  std::vector<UInt8> temp(size_t((out.width() + 31) / 32) * 128 + 64);
  UInt8 *aligned = reinterpret_cast<UInt8 *>((reinterpret_cast<uintptr_t>(temp.data()) + 15) & ~uintptr_t(15));
  if (path == Path::kScalar)
    CO_Y420_FrameTo2vuy(out.height(), out.width(), in.data(), out.data(), interlaced);
  else
    CO_Y420_FrameTo2vuyAcc(out.height(), out.width(), in.data(), out.data(), aligned, interlaced);
}

// --- Header ------------------------------------------------------------------------------------------------

TEST(ColorPlanar420, HeaderIsSixBigEndianWords) {
  GuardedBuffer buffer(32);
  std::memset(buffer.data(), 0x77, 32);
  PlanarPixmapInfoYUV420 header;
  header.componentInfoY = {32, 736};
  header.componentInfoCb = {32 + 736 * 576, 368};
  header.componentInfoCr = {32 + 736 * 576 + 736 * 576 / 4, 368};
  CO_SetY420Header(buffer.data(), &header);
  const UInt8 expected[24] = {0, 0, 0, 0x20, 0, 0, 0x02, 0xE0, 0, 0x06, 0x78, 0x20,
                              0, 0, 0x01, 0x70, 0, 0x08, 0x16, 0x20, 0, 0, 0x01, 0x70};
  EXPECT_EQ(0, std::memcmp(buffer.data(), expected, 24));
  for (int i = 24; i < 32; ++i) EXPECT_EQ(buffer.data()[i], 0x77) << "byte " << i << " is not the header's";
  PlanarPixmapInfoYUV420 back;
  CO_GetY420Header(buffer.data(), &back);
  EXPECT_EQ(back.componentInfoY.offset, 32);
  EXPECT_EQ(back.componentInfoCb.offset, 32 + 736 * 576);
  EXPECT_EQ(back.componentInfoCr.rowBytes, 368u);
  EXPECT_TRUE(buffer.CheckGuards());
}

TEST(ColorPlanar420, PlanesFromHeaderAndLayoutsThatCannotHoldTheFrame) {
  struct Case {
    const char *what;
    SInt32 offY, rowY, offCb, rowCb, offCr, rowCr;
    bool valid;
    SInt32 chromaRows;
  } const cases[] = {
      {"movie layout", 32, 64, 32 + 64 * 8, 32, 32 + 64 * 8 + 32 * 4, 32, true, 4},
      {"Cb row bytes 0", 32, 64, 544, 0, 672, 32, false, 0},
      {"Y rows narrower than the width", 32, 32, 544, 32, 672, 32, false, 0},
      {"chroma rows narrower than half the width", 32, 64, 544, 16, 672, 32, false, 0},
      {"Cr before Cb", 32, 64, 672, 32, 544, 32, false, 0},
      {"plane inside the header", 8, 64, 544, 32, 672, 32, false, 0},
      {"less than one chroma row", 32, 64, 544, 32, 560, 32, false, 0},
  };
  GuardedBuffer buffer(4096);
  for (const Case &c : cases) {
    PlanarPixmapInfoYUV420 h;
    h.componentInfoY = {c.offY, UInt32(c.rowY)};
    h.componentInfoCb = {c.offCb, UInt32(c.rowCb)};
    h.componentInfoCr = {c.offCr, UInt32(c.rowCr)};
    CO_SetY420Header(buffer.data(), &h);
    CO_Y420Planes planes;
    EXPECT_EQ(bool(CO_GetY420Planes(buffer.data(), 40, &planes)), c.valid) << c.what;
    if (c.valid) {
      EXPECT_EQ(planes.chromaRows, c.chromaRows);
      EXPECT_EQ(planes.cb, buffer.data() + c.offCb);
    }
  }
  // A frame conversion given such a header does nothing.
  PlanarPixmapInfoYUV420 h;
  h.componentInfoY = {32, 64};
  h.componentInfoCb = {544, 0};
  h.componentInfoCr = {672, 32};
  CO_SetY420Header(buffer.data(), &h);
  std::memset(buffer.data() + 32, 0x11, 4096 - 32);
  GuardedFrame frame(40, 4);
  bz_test::Fill2vuyConstant(frame, 1, 2, 3);
  for (Path path : {Path::kScalar, Path::kAcc}) {
    std::vector<UInt8> temp(512);
    if (path == Path::kScalar)
      CO_2vuyFrameToY420(4, 40, 80, frame.data(), buffer.data(), false);
    else
      CO_2vuyFrameToY420_Acc(4, 40, 4, 80, frame.data(), buffer.data(), temp.data(), false);
    for (size_t i = 32; i < 4096; ++i) ASSERT_EQ(buffer.data()[i], 0x11);
  }
  // A header with too few chroma rows for the height is refused as well (writes would leave the plane).
  Y420Buffer small(4, 32);
  GuardedFrame tall(32, 12);
  bz_test::Fill2vuyConstant(tall, 1, 2, 3);
  CO_2vuyFrameToY420(12, 32, 64, tall.data(), small.data(), false);
  EXPECT_EQ(small.Y(0, 0), 0xEE);
  EXPECT_TRUE(small.buffer->CheckGuards());
}

// --- Values the conversions must give ----------------------------------------------------------------------

TEST(ColorPlanar420, ProgressiveChromaRowsInterpolateOneToThree) {
  // Chroma rows 100 and 200 give 100, 125, 175, 200 on the four lines (both paths: exact multiples).
  for (Path path : {Path::kScalar, Path::kAcc}) {
    Y420Buffer y420(4, 32);
    for (SInt32 k = 0; k < 16; ++k) {
      y420.Cb(k, 0) = y420.Cr(k, 0) = 100;
      y420.Cb(k, 1) = y420.Cr(k, 1) = 200;
    }
    for (SInt32 r = 0; r < 4; ++r)
      for (SInt32 x = 0; x < 32; ++x) y420.Y(x, r) = UInt8(10 + r);
    GuardedFrame out(32, 4);
    From420(path, y420, out, false);
    const int expected[4] = {100, 125, 175, 200};
    for (SInt32 r = 0; r < 4; ++r)
      for (SInt32 x = 0; x < 32; ++x) {
        ASSERT_EQ(out.Chroma(x, r), expected[r]) << "line " << r << " pixel " << x;
        ASSERT_EQ(out.Luma(x, r), 10 + r);
      }
    EXPECT_TRUE(out.CheckGuards());
  }
}

TEST(ColorPlanar420, ChromaMeanRoundsDownScalarAndUpSse) {
  GuardedFrame frame(32, 2);
  bz_test::Fill2vuyConstant(frame, 101, 50, 101);
  for (SInt32 x = 0; x < 32; ++x) frame.Chroma(x, 1) = 102;
  for (Path path : {Path::kScalar, Path::kAcc}) {
    Y420Buffer y420(2, 32);
    ToY420(path, frame, y420, false);
    EXPECT_EQ(y420.Cb(0, 0), path == Path::kScalar ? 101 : 102);
    EXPECT_EQ(y420.Cr(15, 0), path == Path::kScalar ? 101 : 102);
  }
}

TEST(ColorPlanar420, OddWidthRepeatsTheLastChromaBothWays) {
  BZ_KERNEL_SEED_TRACE();
  GuardedFrame frame(719, 2);
  bz_test::Fill2vuyRandom(frame, bz_test::Rng());
  Y420Buffer y420(2, 719);
  CO_2vuyFrameToY420(2, 719, frame.rowBytes(), frame.data(), y420.data(), false);
  EXPECT_EQ(y420.Cb(359, 0), y420.Cb(358, 0));
  EXPECT_EQ(y420.Cr(359, 0), y420.Cr(358, 0));
  EXPECT_EQ(y420.Y(718, 1), frame.Luma(718, 1));
  GuardedFrame back(719, 2);
  CO_Y420_FrameTo2vuy(2, 719, y420.data(), back.data(), false);
  for (SInt32 r = 0; r < 2; ++r) {
    EXPECT_EQ(back.Chroma(718, r), back.Chroma(716, r));  // the Cb of the last whole pair
    EXPECT_EQ(back.Luma(718, r), frame.Luma(718, r));
  }
  EXPECT_TRUE(back.CheckGuards());
  EXPECT_TRUE(y420.buffer->CheckGuards());
}

// --- Choosing chroma rows ----------------------------------------------------------------------------------

TEST(ColorPlanar420, ChromaRowChoiceStaysInsideTheRowsAndTheField) {
  struct Case {
    bool interlaced;
    SInt32 rows, index, prev, cur, next;
  } const cases[] = {
      {false, 5, 0, 0, 0, 1},  {false, 5, 3, 2, 3, 4}, {false, 5, 4, 3, 4, 4}, {false, 5, 7, 4, 4, 4},
      {false, 1, 0, 0, 0, 0},  {false, 2, 1, 0, 1, 1},  // one chroma row: row 1 does not exist
      {true, 6, 0, 0, 0, 2},   {true, 6, 1, 1, 1, 3},   {true, 6, 4, 2, 4, 4},  {true, 6, 5, 3, 5, 5},
      {true, 6, 6, 4, 4, 4},   {true, 6, 9, 5, 5, 5},   {true, 1, 0, 0, 0, 0},  {true, 1, 1, 0, 0, 0},
      {true, 2, 0, 0, 0, 0},   {true, 2, 1, 1, 1, 1},   {true, 3, 1, 1, 1, 1},  {true, 3, 2, 0, 2, 2},
  };
  UInt8 cb[16], cr[16];
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.interlaced ? "interlaced" : "progressive") << " rows " << c.rows
                                      << " index " << c.index);
    const UInt8 *r[6];
    auto choose = c.interlaced ? CO_GetChromaInLinesInterlaced : CO_GetChromaInLines;
    choose(cb, 2, cr, 2, c.rows, c.index, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5]);
    EXPECT_EQ((r[0] - cb) / 2, c.prev);
    EXPECT_EQ((r[1] - cb) / 2, c.cur);
    EXPECT_EQ((r[2] - cb) / 2, c.next);
    EXPECT_EQ((r[3] - cr) / 2, c.prev);
    EXPECT_EQ((r[4] - cr) / 2, c.cur);
    EXPECT_EQ((r[5] - cr) / 2, c.next);
  }
}

TEST(ColorPlanar420, LinePairStepsOfTheRemainders) {
  struct Case {
    SInt32 lines;
    bool interlaced;
    std::vector<CO_Y420LinePairStep> steps;
  } const cases[] = {
      {3, false, {{0, 0, 0, false}, {2, 2, 1, true}}},
      {7, true, {{0, 0, 0, false}, {1, 1, 1, false}, {4, 4, 2, false}, {5, 5, 3, true}}},
      {6, true, {{0, 0, 0, false}, {1, 1, 1, false}, {4, 4, 2, true}, {5, 5, 3, true}}},
      {5, true, {{0, 0, 0, false}, {1, 1, 1, false}, {4, 4, 2, true}, {3, 5, 3, true}}},
      {1, true, {{0, 0, 0, true}, {0, 1, 1, true}}},
      {3, true, {{0, 0, 0, false}, {1, 1, 1, true}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.lines << (c.interlaced ? " interlaced" : " progressive"));
    CO_Y420LinePairStep s;
    SInt32 i = 0;
    for (; CO_GetY420LinePairStep(c.lines, c.interlaced, i, &s); ++i) {
      ASSERT_LT(size_t(i), c.steps.size());
      EXPECT_EQ(s.firstLine, c.steps[i].firstLine) << "step " << i;
      EXPECT_EQ(s.yRow, c.steps[i].yRow) << "step " << i;
      EXPECT_EQ(s.chromaRow, c.steps[i].chromaRow) << "step " << i;
      EXPECT_EQ(bool(s.lastLine), bool(c.steps[i].lastLine)) << "step " << i;
    }
    EXPECT_EQ(size_t(i), c.steps.size());
  }
}

// --- Round trips -------------------------------------------------------------------------------------------

struct TripCase {
  SInt32 width, height;
  bool interlaced;
};

std::string TripName(const ::testing::TestParamInfo<TripCase> &info) {
  return "W" + std::to_string(info.param.width) + "H" + std::to_string(info.param.height) +
         (info.param.interlaced ? "Interlaced" : "Progressive");
}

std::vector<TripCase> TripCases() {
  std::vector<TripCase> cases;
  for (bool interlaced : {false, true}) {
    for (SInt32 h : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}) cases.push_back({32, h, interlaced});
    cases.push_back({720, 13, interlaced});
    cases.push_back({40, 7, interlaced});  // not a multiple of 32: through the line buffers
    cases.push_back({7, 6, interlaced});   // odd width (scalar only)
  }
  return cases;
}

class Y420RoundTrip : public ::testing::TestWithParam<TripCase> {};

// '2vuy' -> 4:2:0 -> '2vuy' in both paths: luma exact; chroma constant over each field (interlaced) or over
// the frame's lines (progressive) exact, whatever the height; random chroma stays within the values of the
// lines it may be drawn from. Nothing is written outside the planes or the output frame.
TEST_P(Y420RoundTrip, KeepsLumaAndLosesOnlySubsampling) {
  BZ_KERNEL_SEED_TRACE();
  const TripCase c = GetParam();
  std::vector<Path> paths = {Path::kScalar};
  if ((c.width & 7) == 0) paths.push_back(Path::kAcc);
  for (Path path : paths) {
    SCOPED_TRACE(path == Path::kScalar ? "scalar" : "SSE");
    // Field colours: even lines one colour, odd lines another, varying along the line.
    GuardedFrame fields(c.width, c.height);
    bz_test::Fill2vuyRandom(fields, bz_test::Rng());
    for (SInt32 y = 0; y < c.height; ++y)
      for (SInt32 x = 0; x < c.width; ++x) {
        const bool odd = c.interlaced && (y & 1);
        fields.Chroma(x, y) = UInt8((x / 2) * 7 + (x & 1) * 90 + (odd ? 60 : 0));
      }
    Y420Buffer y420(c.height, c.width);
    ToY420(path, fields, y420, c.interlaced);
    GuardedFrame back(c.width, c.height);
    From420(path, y420, back, c.interlaced);
    for (SInt32 y = 0; y < c.height; ++y)
      for (SInt32 x = 0; x < c.width; ++x) {
        ASSERT_EQ(back.Luma(x, y), fields.Luma(x, y)) << "pixel " << x << " line " << y;
        // An odd width's last pixel takes the Cb of the last whole pair.
        const SInt32 source = (c.width & 1) && x == c.width - 1 && x >= 2 ? x - 2 : x;
        ASSERT_EQ(back.Chroma(x, y), fields.Chroma(source, y)) << "pixel " << x << " line " << y;
      }
    EXPECT_TRUE(back.CheckGuards());
    EXPECT_TRUE(y420.buffer->CheckGuards());
    EXPECT_TRUE(fields.CheckGuards());

    // Random chroma: each output chroma lies between the smallest and largest chroma of its window.
    GuardedFrame random(c.width, c.height);
    bz_test::Fill2vuyRandom(random, bz_test::Rng());
    Y420Buffer y420r(c.height, c.width);
    ToY420(path, random, y420r, c.interlaced);
    GuardedFrame backR(c.width, c.height);
    From420(path, y420r, backR, c.interlaced);
    for (SInt32 y = 0; y < c.height; ++y)
      for (SInt32 x = 0; x + ((c.width & 1) ? 1 : 0) < c.width; ++x) {
        int lo = 255, hi = 0;
        for (SInt32 o = 0; o < c.height; ++o)
          if (InWindow(y, o, c.interlaced)) {
            lo = std::min<int>(lo, random.Chroma(x, o));
            hi = std::max<int>(hi, random.Chroma(x, o));
          }
        ASSERT_GE(backR.Chroma(x, y), lo) << "pixel " << x << " line " << y;
        ASSERT_LE(backR.Chroma(x, y), hi) << "pixel " << x << " line " << y;
        ASSERT_EQ(backR.Luma(x, y), random.Luma(x, y));
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Heights, Y420RoundTrip, ::testing::ValuesIn(TripCases()), TripName);

TEST(ColorPlanar420, TinyInterlacedFrameFillsTheOtherFieldFromItsOwnLines) {
  // One line: Y rows 1 and 3 come from line 0 (there is no line -1 to take them from).
  GuardedFrame one(32, 1);
  bz_test::Fill2vuyConstant(one, 90, 77, 160);
  for (Path path : {Path::kScalar, Path::kAcc}) {
    Y420Buffer y420(1, 32);
    ToY420(path, one, y420, true);
    for (SInt32 row = 0; row < 4; ++row) EXPECT_EQ(y420.Y(5, row), 77) << "Y row " << row;
    EXPECT_EQ(y420.Cb(3, 1), 90);
    EXPECT_EQ(y420.Cr(3, 1), 160);
  }
  // Five lines: the other field's rows 5 and 7 and chroma row 3 come from line 3.
  GuardedFrame five(32, 5);
  for (SInt32 y = 0; y < 5; ++y)
    for (SInt32 x = 0; x < 32; ++x) {
      five.Luma(x, y) = UInt8(10 * y);
      five.Chroma(x, y) = UInt8(100 + y);
    }
  Y420Buffer y420(5, 32);
  CO_2vuyFrameToY420(5, 32, 64, five.data(), y420.data(), true);
  EXPECT_EQ(y420.Y(0, 5), 30);
  EXPECT_EQ(y420.Y(0, 7), 30);
  EXPECT_EQ(y420.Y(0, 6), 40);
  EXPECT_EQ(y420.Cb(0, 3), 103);
}

// --- Scalar against SSE ------------------------------------------------------------------------------------

TEST(ColorPlanar420, SseAgreesWithScalarWithinOneOnChroma) {
  BZ_KERNEL_SEED_TRACE();
  for (bool interlaced : {false, true})
    for (SInt32 width : {720, 40, 64})
      for (SInt32 height : {12, 9}) {
        SCOPED_TRACE(::testing::Message() << width << "x" << height << (interlaced ? " interlaced" : ""));
        // Rows wider than the picture: the SSE path converts pairs in place.
        GuardedFrame frame(width, height, (width + 31) / 32 * 64);
        bz_test::Fill2vuyRandom(frame, bz_test::Rng());
        Y420Buffer scalar(height, width), acc(height, width);
        ToY420(Path::kScalar, frame, scalar, interlaced);
        ToY420(Path::kAcc, frame, acc, interlaced);
        const CO_Y420Planes s = scalar.Planes(), a = acc.Planes();
        const SInt32 lumaRows = CO_Y420LumaRowsForHeight(height, interlaced);
        for (SInt32 r = 0; r < lumaRows; ++r)
          ASSERT_EQ(0, std::memcmp(s.y + r * s.rowBytesY, a.y + r * a.rowBytesY, size_t(width))) << "Y row " << r;
        for (SInt32 r = 0; r < lumaRows / 2; ++r)
          for (SInt32 k = 0; k < width / 2; ++k) {
            ASSERT_LE(a.cb[r * a.rowBytesCb + k] - s.cb[r * s.rowBytesCb + k], 1) << "Cb row " << r << " " << k;
            ASSERT_GE(a.cb[r * a.rowBytesCb + k] - s.cb[r * s.rowBytesCb + k], 0) << "Cb row " << r << " " << k;
            ASSERT_LE(a.cr[r * a.rowBytesCr + k] - s.cr[r * s.rowBytesCr + k], 1) << "Cr row " << r << " " << k;
            ASSERT_GE(a.cr[r * a.rowBytesCr + k] - s.cr[r * s.rowBytesCr + k], 0) << "Cr row " << r << " " << k;
          }
        EXPECT_TRUE(frame.CheckGuards());
        EXPECT_TRUE(acc.buffer->CheckGuards());

        GuardedFrame backScalar(width, height), backAcc(width, height);
        From420(Path::kScalar, scalar, backScalar, interlaced);
        From420(Path::kAcc, scalar, backAcc, interlaced);
        EXPECT_TRUE(bz_test::Frames2vuyAgree(backScalar, backAcc, [](bz_test::Channel ch, int e, int g) {
          return ch == bz_test::Channel::kLuma ? e == g : (g - e == 0 || g - e == 1);
        }));
        EXPECT_TRUE(backAcc.CheckGuards());
      }
}

TEST(ColorPlanar420, SseTakesRoundedLinesFromThePadding) {
  // Five progressive lines with a sixth in the padding: the SSE version converts it instead of pairing
  // line 4 with itself.
  GuardedFrame frame(32, 6);
  for (SInt32 y = 0; y < 6; ++y)
    for (SInt32 x = 0; x < 32; ++x) {
      frame.Luma(x, y) = UInt8(20 * y);
      frame.Chroma(x, y) = UInt8(100 + 10 * y);
    }
  Y420Buffer padded(5, 32), scalar(5, 32);
  std::vector<UInt8> temp(32 * 6 + 16);
  CO_2vuyFrameToY420_Acc(5, 32, 6, 64, frame.data(), padded.data(), temp.data(), false);
  CO_2vuyFrameToY420(5, 32, 64, frame.data(), scalar.data(), false);
  EXPECT_EQ(padded.Y(0, 5), 100);
  EXPECT_EQ(scalar.Y(0, 5), 80);
  EXPECT_EQ(padded.Cb(0, 2), 145);  // mean of 140 and 150
  EXPECT_EQ(scalar.Cb(0, 2), 140);
  // Without the padding line both pair line 4 with itself.
  Y420Buffer unpadded(5, 32);
  CO_2vuyFrameToY420_Acc(5, 32, 5, 64, frame.data(), unpadded.data(), temp.data(), false);
  EXPECT_EQ(unpadded.Y(0, 5), 80);
  EXPECT_EQ(unpadded.Cb(0, 2), 140);
}

// --- Dispatch ----------------------------------------------------------------------------------------------

TEST(ColorPlanar420, DispatchersTestAlignmentSizesAndBuffers) {
  // To 4:2:0: chroma 101 over 102 gives 101 in the scalar path, 102 in the SSE path.
  GuardedBuffer temp(32 * 6 + 16);
  struct ToCase {
    const char *what;
    Boolean sse;
    SInt32 inRowBytes, paddedHeight;
    bool withTemp, tempMisaligned;
    bool expectAcc;
  } const toCases[] = {
      {"no flag", 0, 128, 4, true, false, false},
      {"rows of 128 bytes, padded height even", 1, 128, 4, false, false, true},
      {"padded height odd, no temp", 1, 128, 5, false, false, false},
      {"rows of 64 bytes, no temp", 1, 64, 4, false, false, true},
      {"rows of 96 bytes, no temp", 1, 96, 4, false, false, false},
      {"rows of 96 bytes with temp", 1, 96, 4, true, false, true},
      {"misaligned temp", 1, 96, 4, true, true, false},
  };
  for (const ToCase &c : toCases) {
    GuardedFrame frame(32, 2, c.inRowBytes, 0, 64, 2);
    bz_test::Fill2vuyConstant(frame, 101, 50, 101);
    for (SInt32 x = 0; x < 32; ++x) frame.Chroma(x, 1) = 102;
    Y420Buffer y420(2, 32);
    void *t = c.withTemp ? temp.data() + (c.tempMisaligned ? 4 : 0) : nullptr;
    CO_2vuyFrameToY420_Uni(0, c.sse, 2, 32, c.paddedHeight, c.inRowBytes, frame.data(), y420.data(), t, false);
    EXPECT_EQ(y420.Cb(0, 0), c.expectAcc ? 102 : 101) << c.what;
    EXPECT_TRUE(y420.buffer->CheckGuards()) << c.what;
  }
  {
    // A misaligned input takes the scalar path.
    GuardedFrame shifted(32, 2, 128, 8);
    bz_test::Fill2vuyConstant(shifted, 101, 50, 101);
    for (SInt32 x = 0; x < 32; ++x) shifted.Chroma(x, 1) = 102;
    Y420Buffer y420(2, 32);
    CO_2vuyFrameToY420_Uni(1, 0, 2, 32, 2, 128, shifted.data(), y420.data(), temp.data(), false);
    EXPECT_EQ(y420.Cb(0, 0), 101);
  }

  // From 4:2:0: chroma rows 0 and 3 give (3 + 0) >> 2 = 0 scalar on line 1 and 1 through the averages.
  struct FromCase {
    const char *what;
    Boolean sse;
    SInt32 width;
    bool withTemp;
    size_t outOffset;
    bool expectAcc;
  } const fromCases[] = {
      {"no flag", 0, 32, true, 0, false},       {"width 32", 1, 32, false, 0, true},
      {"width 40 without temp", 1, 40, false, 0, false}, {"width 40 with temp", 1, 40, true, 0, true},
      {"width 36", 1, 36, true, 0, false},      {"misaligned output", 1, 32, true, 4, false},
  };
  for (const FromCase &c : fromCases) {
    Y420Buffer y420(4, c.width);
    for (SInt32 k = 0; k < (c.width + 1) / 2; ++k) {
      y420.Cb(k, 0) = y420.Cr(k, 0) = 0;
      y420.Cb(k, 1) = y420.Cr(k, 1) = 3;
    }
    GuardedFrame out(c.width, 4, 0, c.outOffset);
    CO_Y420FrameTo2vuyUni(0, c.sse, 4, c.width, y420.data(), out.data(), c.withTemp ? temp.data() : nullptr, false);
    EXPECT_EQ(out.Chroma(0, 1), c.expectAcc ? 1 : 0) << c.what;
    EXPECT_TRUE(out.CheckGuards()) << c.what;
  }
}

}  // namespace
