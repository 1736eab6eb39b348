// Decompression of single images and sequences: the own 4:2:2 reorders are exact both ways, targets of
// every offered format are filled, source rectangles and matrices place (and clip) the picture, completion
// procedures and sequence ends behave, two-field Motion-JPEG samples become one interlaced frame, and bad
// input gives error numbers.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/decompression.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kW = 48, kH = 32;

struct DescDeleter {
  void operator()(ImageDescriptionHandle h) const { DisposeHandle(reinterpret_cast<Handle>(h)); }
};
using Desc = std::unique_ptr<ImageDescription *, DescDeleter>;
struct WorldDeleter {
  void operator()(GWorldPtr w) const { DisposeGWorld(w); }
};
using World = std::unique_ptr<std::remove_pointer_t<GWorldPtr>, WorldDeleter>;

Desc MakeDesc(OSType cType, int width, int height, SInt32 dataSize) {
  Desc d(bz_test::NewFixtureImageDescription(width, height));
  (*d)->cType = cType;
  (*d)->dataSize = dataSize;
  return d;
}

World MakeWorld(OSType format, int width, int height) {
  Rect bounds{0, 0, SInt16(height), SInt16(width)};
  GWorldPtr w = nullptr;
  EXPECT_EQ(noErr, QTNewGWorld(&w, format, &bounds, nullptr, nullptr, 0));
  return World(w);
}

// '2vuy' (Cb Y0 Cr Y1) to 'yuvs' (Y0 Cb Y1 Cr), and 'yuv2' (the same with signed chroma).
std::vector<UInt8> ToYuvs(const std::vector<UInt8> &uyvy, bool signedChroma) {
  std::vector<UInt8> out(uyvy.size());
  for (size_t i = 0; i + 3 < uyvy.size(); i += 4) {
    UInt8 flip = signedChroma ? 0x80 : 0;
    out[i] = uyvy[i + 1];
    out[i + 1] = uyvy[i] ^ flip;
    out[i + 2] = uyvy[i + 3];
    out[i + 3] = uyvy[i + 2] ^ flip;
  }
  return out;
}

std::vector<UInt8> WorldBytes(GWorldPtr w, int rowBytesUsed, int height) {
  PixMapHandle pm = GetGWorldPixMap(w);
  const UInt8 *base = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pm));
  std::vector<UInt8> out;
  for (int y = 0; y < height; ++y)
    out.insert(out.end(), base + size_t(y) * size_t(GetPixRowBytes(pm)),
               base + size_t(y) * size_t(GetPixRowBytes(pm)) + size_t(rowBytesUsed));
  return out;
}

struct ReorderCase {
  OSType cType;
  bool isSigned;
};

TEST(Decompression, OwnYCbCr422FormatsConvertExactlyBothWays) {
  const std::vector<UInt8> pattern = bz_test::FixtureFramePattern(3, kW, kH);
  const ReorderCase cases[] = {{'2vuy', false}, {'yuvs', false}, {'yuv2', true}, {'yuvu', true}};
  for (ReorderCase c : cases) {
    SCOPED_TRACE(testing::Message() << "codec " << std::hex << c.cType);
    std::vector<UInt8> source = c.cType == '2vuy' ? pattern : ToYuvs(pattern, c.isSigned);
    Desc desc = MakeDesc(c.cType, kW, kH, SInt32(source.size()));
    // Into '2vuy': back to the pattern.
    World uyvy = MakeWorld(k2vuyPixelFormat, kW, kH);
    ASSERT_EQ(noErr, DecompressImage(reinterpret_cast<Ptr>(source.data()), desc.get(), GetGWorldPixMap(uyvy.get()),
                                     nullptr, nullptr, srcCopy, nullptr));
    EXPECT_EQ(pattern, WorldBytes(uyvy.get(), kW * 2, kH));
    // From '2vuy' into this format: the source bytes.
    Desc patternDesc = MakeDesc('2vuy', kW, kH, SInt32(pattern.size()));
    World target = MakeWorld(c.cType, kW, kH);
    ASSERT_EQ(noErr, DecompressImage(reinterpret_cast<Ptr>(const_cast<UInt8 *>(pattern.data())), patternDesc.get(),
                                     GetGWorldPixMap(target.get()), nullptr, nullptr, srcCopy, nullptr));
    EXPECT_EQ(source, WorldBytes(target.get(), kW * 2, kH));
  }
}

TEST(Decompression, PlanarAndRgbTargetsGetLumaAndLevels) {
  // Left half white (Y 235), right half black (Y 16), neutral chroma.
  std::vector<UInt8> frame(size_t(kW) * kH * 2);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; x += 2) {
      UInt8 *p = frame.data() + (size_t(y) * kW + size_t(x)) * 2;
      UInt8 luma = x < kW / 2 ? 235 : 16;
      p[0] = 128, p[1] = luma, p[2] = 128, p[3] = luma;
    }
  Desc desc = MakeDesc('2vuy', kW, kH, SInt32(frame.size()));

  World planar = MakeWorld(kYUV420PixelFormat, kW, kH);
  ASSERT_EQ(noErr, DecompressImage(reinterpret_cast<Ptr>(frame.data()), desc.get(), GetGWorldPixMap(planar.get()),
                                   nullptr, nullptr, srcCopy, nullptr));
  const UInt8 *base = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(GetGWorldPixMap(planar.get())));
  UInt32 offY = UInt32(base[0]) << 24 | UInt32(base[1]) << 16 | UInt32(base[2]) << 8 | base[3];
  UInt32 rowY = UInt32(base[4]) << 24 | UInt32(base[5]) << 16 | UInt32(base[6]) << 8 | base[7];
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) ASSERT_EQ(x < kW / 2 ? 235 : 16, base[offY + size_t(y) * rowY + size_t(x)]);

  World argb = MakeWorld(k32ARGBPixelFormat, kW, kH);
  ASSERT_EQ(noErr, DecompressImage(reinterpret_cast<Ptr>(frame.data()), desc.get(), GetGWorldPixMap(argb.get()),
                                   nullptr, nullptr, srcCopy, nullptr));
  std::vector<UInt8> pixels = WorldBytes(argb.get(), kW * 4, kH);
  // A, R, G, B in memory: opaque white on the left, opaque black on the right (away from the edge).
  for (int x : {0, 10, 20}) {
    const UInt8 *p = pixels.data() + size_t(5 * kW + x) * 4;
    EXPECT_EQ(255, p[0]);
    for (int i = 1; i < 4; ++i) EXPECT_GE(p[i], 253) << "x " << x;
  }
  for (int x : {28, 40, 47}) {
    const UInt8 *p = pixels.data() + size_t(5 * kW + x) * 4;
    EXPECT_EQ(255, p[0]);
    for (int i = 1; i < 4; ++i) EXPECT_LE(p[i], 2) << "x " << x;
  }
}

// A sequence from the white left half through a matrix that halves it, into an ARGB world prefilled with a
// sentinel: only the mapped rectangle (clipped to the world) changes, and it is white.
struct PlacementCase {
  const char *name;
  SInt16 left, top;  // where the half-size picture's corner lands
};

class SequencePlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(SequencePlacement, SourceRectangleAndMatrixPlaceAndClipThePicture) {
  const PlacementCase &c = GetParam();
  constexpr int kWorld = 40;
  std::vector<UInt8> frame(size_t(kW) * kH * 2);
  for (size_t i = 0; i < frame.size(); i += 4) {
    bool left = (i / 2) % kW < kW / 2;
    frame[i] = 128, frame[i + 1] = left ? 235 : 16, frame[i + 2] = 128, frame[i + 3] = left ? 235 : 16;
  }
  Desc desc = MakeDesc('2vuy', kW, kH, SInt32(frame.size()));
  World world = MakeWorld(k32ARGBPixelFormat, kWorld, kWorld);
  PixMapHandle pm = GetGWorldPixMap(world.get());
  UInt8 *base = reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm));
  std::memset(base, 0x5A, size_t(GetPixRowBytes(pm)) * kWorld);

  Rect srcRect{0, 0, SInt16(kH), SInt16(kW / 2)};  // 24 x 32, the white half
  Rect dstRect{c.top, c.left, SInt16(c.top + kH / 2), SInt16(c.left + kW / 4)};
  MatrixRecord matrix;
  RectMatrix(&matrix, &srcRect, &dstRect);
  ImageSequence seq = 0;
  ASSERT_EQ(noErr, DecompressSequenceBeginS(&seq, desc.get(), nullptr, 0, world.get(), nullptr, &srcRect, &matrix,
                                            srcCopy, nullptr, 0, codecNormalQuality, anyCodec));
  EXPECT_GT(seq, 0);
  EXPECT_LT(seq, kPL_FirstCompressionSequenceID);
  ASSERT_EQ(noErr, DecompressSequenceFrameS(seq, reinterpret_cast<Ptr>(frame.data()), SInt32(frame.size()), 0,
                                            nullptr, nullptr));
  for (int y = 0; y < kWorld; ++y)
    for (int x = 0; x < kWorld; ++x) {
      const UInt8 *p = base + size_t(y) * size_t(GetPixRowBytes(pm)) + size_t(x) * 4;
      bool inside = x >= dstRect.left && x < dstRect.right && y >= dstRect.top && y < dstRect.bottom;
      if (inside) {
        ASSERT_EQ(255, p[0]) << x << "," << y;
        ASSERT_GE(p[2], 250) << x << "," << y;
      } else {
        ASSERT_EQ(0x5A, p[0]) << x << "," << y;
        ASSERT_EQ(0x5A, p[2]) << x << "," << y;
      }
    }
  EXPECT_EQ(noErr, CDSequenceEnd(seq));
}

const PlacementCase kPlacements[] = {
    {"inside", 4, 6},
    {"overLeftAndTopEdges", -6, -4},
    {"overRightAndBottomEdges", 30, 32},
    {"outside", 50, 50},
};

INSTANTIATE_TEST_SUITE_P(Places, SequencePlacement, ::testing::ValuesIn(kPlacements),
                         [](const testing::TestParamInfo<PlacementCase> &info) {
                           return std::string(info.param.name);
                         });

struct Completion {
  int calls = 0;
  OSErr result = 1;
  SInt16 flags = 0;
};

void RecordCompletion(OSErr result, SInt16 flags, long refcon) {
  auto *c = reinterpret_cast<Completion *>(refcon);
  ++c->calls;
  c->result = result;
  c->flags = flags;
}

TEST(DecompressionSequence, CompletionProcedureGetsTheResultAndTheCallReturnsNoErr) {
  std::vector<UInt8> frame = bz_test::FixtureFramePattern(1, kW, kH);
  Desc desc = MakeDesc('2vuy', kW, kH, SInt32(frame.size()));
  World world = MakeWorld(k2vuyPixelFormat, kW, kH);
  ImageSequence seq = 0;
  ASSERT_EQ(noErr, DecompressSequenceBeginS(&seq, desc.get(), nullptr, 0, world.get(), nullptr, nullptr, nullptr,
                                            srcCopy, nullptr, 0, codecLosslessQuality, bestFidelityCodec));
  Completion done;
  ICMCompletionProcRecord record{RecordCompletion, reinterpret_cast<long>(&done)};
  CodecFlags outFlags = 7;
  EXPECT_EQ(noErr, DecompressSequenceFrameWhen(seq, reinterpret_cast<Ptr>(frame.data()), SInt32(frame.size()), 0,
                                               &outFlags, &record, nullptr));
  EXPECT_EQ(1, done.calls);
  EXPECT_EQ(noErr, done.result);
  EXPECT_EQ(codecCompletionSource | codecCompletionDest, done.flags);
  EXPECT_EQ(0, outFlags);
  EXPECT_EQ(frame, WorldBytes(world.get(), kW * 2, kH));

  // A frame shorter than the picture: the completion gets the error; without one the call returns it.
  EXPECT_EQ(noErr, DecompressSequenceFrameS(seq, reinterpret_cast<Ptr>(frame.data()), 100, 0, nullptr, &record));
  EXPECT_EQ(2, done.calls);
  EXPECT_EQ(codecBadDataErr, done.result);
  EXPECT_EQ(codecBadDataErr,
            DecompressSequenceFrameS(seq, reinterpret_cast<Ptr>(frame.data()), 100, 0, nullptr, nullptr));
  // Scheduled display is not offered.
  ICMFrameTimePtr someTime = reinterpret_cast<ICMFrameTimePtr>(&done);
  EXPECT_EQ(paramErr, DecompressSequenceFrameWhen(seq, reinterpret_cast<Ptr>(frame.data()), SInt32(frame.size()), 0,
                                                  nullptr, nullptr, someTime));
  EXPECT_EQ(noErr, CDSequenceEnd(seq));
  // An ended sequence is unknown.
  EXPECT_EQ(paramErr, DecompressSequenceFrameS(seq, reinterpret_cast<Ptr>(frame.data()), SInt32(frame.size()), 0,
                                               nullptr, nullptr));
  EXPECT_EQ(paramErr, CDSequenceEnd(seq));
}

TEST(DecompressionSequence, SequenceEndKnowsOnlyLiveSequences) {
  EXPECT_EQ(noErr, CDSequenceEnd(0));
  EXPECT_EQ(paramErr, CDSequenceEnd(0x1234567));
  EXPECT_EQ(paramErr, CDSequenceEnd(kPL_FirstCompressionSequenceID + 17));  // no such compression sequence
}

TEST(DecompressionSequence, EquivalentDescriptionsShareTheCodecAndSize) {
  Desc desc = MakeDesc('2vuy', kW, kH, kW * kH * 2);
  World world = MakeWorld(k2vuyPixelFormat, kW, kH);
  ImageSequence seq = 0;
  ASSERT_EQ(noErr, DecompressSequenceBeginS(&seq, desc.get(), nullptr, 0, world.get(), nullptr, nullptr, nullptr,
                                            srcCopy, nullptr, 0, 1023, bestFidelityCodec));
  Boolean equivalent = false;
  Desc same = MakeDesc('2vuy', kW, kH, kW * kH * 2);
  EXPECT_EQ(noErr, CDSequenceEquivalentImageDescription(seq, same.get(), &equivalent));
  EXPECT_TRUE(equivalent);
  Desc wider = MakeDesc('2vuy', kW + 2, kH, (kW + 2) * kH * 2);
  EXPECT_EQ(noErr, CDSequenceEquivalentImageDescription(seq, wider.get(), &equivalent));
  EXPECT_FALSE(equivalent);
  Desc other = MakeDesc('yuvs', kW, kH, kW * kH * 2);
  EXPECT_EQ(noErr, CDSequenceEquivalentImageDescription(seq, other.get(), &equivalent));
  EXPECT_FALSE(equivalent);
  EXPECT_EQ(noErr, CDSequenceEnd(seq));
  EXPECT_EQ(paramErr, CDSequenceEquivalentImageDescription(seq, same.get(), &equivalent));
}

TEST(Decompression, BadInputGivesErrorNumbers) {
  std::vector<UInt8> frame = bz_test::FixtureFramePattern(0, kW, kH);
  World world = MakeWorld(k2vuyPixelFormat, kW, kH);
  PixMapHandle pm = GetGWorldPixMap(world.get());
  Ptr data = reinterpret_cast<Ptr>(frame.data());
  Desc unknown = MakeDesc('zzzz', kW, kH, 100);
  EXPECT_EQ(noCodecErr, DecompressImage(data, unknown.get(), pm, nullptr, nullptr, srcCopy, nullptr));
  Desc noSize = MakeDesc('2vuy', 0, kH, 0);
  EXPECT_EQ(badImageDescription, DecompressImage(data, noSize.get(), pm, nullptr, nullptr, srcCopy, nullptr));
  Desc shortDesc = MakeDesc('2vuy', kW, kH, kW * kH * 2);
  SetHandleSize(reinterpret_cast<Handle>(shortDesc.get()), 40);
  EXPECT_EQ(badImageDescription, DecompressImage(data, shortDesc.get(), pm, nullptr, nullptr, srcCopy, nullptr));
  // DV data of the wrong size or no DV at all.
  Desc dv = MakeDesc('dvcp', 720, 576, 144000);
  std::vector<UInt8> junk(144000, 0x33);
  World dvWorld = MakeWorld(k2vuyPixelFormat, 720, 576);
  EXPECT_EQ(codecBadDataErr, DecompressImage(reinterpret_cast<Ptr>(junk.data()), dv.get(),
                                             GetGWorldPixMap(dvWorld.get()), nullptr, nullptr, srcCopy, nullptr));
  // A world of a depth no decoder draws into, and a port that is no world.
  World mono = MakeWorld(k1MonochromePixelFormat, kW, kH);
  Desc good = MakeDesc('2vuy', kW, kH, kW * kH * 2);
  EXPECT_EQ(cDepthErr,
            DecompressImage(data, good.get(), GetGWorldPixMap(mono.get()), nullptr, nullptr, srcCopy, nullptr));
  ImageSequence seq = 5;
  EXPECT_EQ(cDepthErr, DecompressSequenceBeginS(&seq, good.get(), nullptr, 0, mono.get(), nullptr, nullptr, nullptr,
                                                srcCopy, nullptr, 0, 1023, anyCodec));
  EXPECT_EQ(0, seq);
  // Rotation is not offered.
  MatrixRecord rotate{};
  rotate.matrix[0][1] = fixed1;
  rotate.matrix[1][0] = -fixed1;
  rotate.matrix[2][2] = 1 << 30;
  EXPECT_EQ(codecUnimpErr, DecompressSequenceBeginS(&seq, good.get(), nullptr, 0, world.get(), nullptr, nullptr,
                                                    &rotate, srcCopy, nullptr, 0, 1023, anyCodec));
}

// A frame of our own 4:2:2 formats that ends right at a page no one may read: when the picture is scaled, the
// scaler must not read past the frame's last byte, whatever the width.
TEST(Decompression, ScaledOwn422FramesAreNotReadPastTheirEnd) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  constexpr int kRows = 6;
  int converted = 0;
  for (OSType cType : {OSType('2vuy'), OSType('yuv2')}) {
    for (int width = 2; width <= 260; width += 2) {
      SCOPED_TRACE(::testing::Message() << std::string(reinterpret_cast<const char *>(&cType), 4) << " " << width);
      const size_t bytes = size_t(width) * 2 * kRows;
      const size_t mapped = (bytes + page - 1) / page * page + page;
      void *map = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      ASSERT_NE(MAP_FAILED, map);
      UInt8 *guard = static_cast<UInt8 *>(map) + mapped - page;
      ASSERT_EQ(0, mprotect(guard, page, PROT_NONE));
      UInt8 *frame = guard - bytes;
      for (size_t i = 0; i < bytes; ++i) frame[i] = UInt8(16 + i % 200);
      Desc desc = MakeDesc(cType, width, kRows, SInt32(bytes));
      for (const auto &size : {std::pair<int, int>{width / 2 + 3, kRows + 5}, std::pair<int, int>{width * 2, 3}}) {
        World world = MakeWorld(k2vuyPixelFormat, size.first, size.second);
        EXPECT_EQ(noErr, PL_DecompressImageWithSize(frame, bytes, desc.get(), GetGWorldPixMap(world.get()), nullptr,
                                                    nullptr));
        ++converted;
      }
      munmap(map, mapped);
    }
  }
  EXPECT_EQ(2 * 130 * 2, converted);
}

// Two JPEG fields in one sample: the first field's lines are the even lines of the frame.
TEST(Decompression, TwoFieldMotionJpegSampleBecomesOneInterlacedFrame) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  constexpr int w = 64, h = 48;
  std::string top = dir.File("top.jpg"), bottom = dir.File("bottom.jpg");
  std::string topRaw = dir.File("top.uyvy"), bottomRaw = dir.File("bottom.uyvy");
  std::string source = "-f lavfi -i testsrc2=s=64x48:r=25 -frames:v 1 ";
  const std::string encode = "ffmpeg -v error -y " + source + "-pix_fmt yuvj422p -q:v 3 -vf field=";
  ASSERT_EQ(0, bz_test::RunCommand(encode + "top " + top));
  ASSERT_EQ(0, bz_test::RunCommand(encode + "bottom " + bottom));
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + top + " -f rawvideo -pix_fmt uyvy422 " + topRaw));
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + bottom + " -f rawvideo -pix_fmt uyvy422 " + bottomRaw));
  std::vector<UInt8> sample = bz_test::ReadWholeFile(top);
  std::vector<UInt8> second = bz_test::ReadWholeFile(bottom);
  sample.insert(sample.end(), second.begin(), second.end());
  std::vector<UInt8> fieldTop = bz_test::ReadWholeFile(topRaw), fieldBottom = bz_test::ReadWholeFile(bottomRaw);
  ASSERT_EQ(size_t(w * 2 * h / 2), fieldTop.size());

  Desc desc = MakeDesc('mjpa', w, h, SInt32(sample.size()));
  World world = MakeWorld(k2vuyPixelFormat, w, h);
  ASSERT_EQ(noErr, DecompressImage(reinterpret_cast<Ptr>(sample.data()), desc.get(), GetGWorldPixMap(world.get()),
                                   nullptr, nullptr, srcCopy, nullptr));
  std::vector<UInt8> frame = WorldBytes(world.get(), w * 2, h);
  int worst = 0;
  for (int y = 0; y < h; ++y) {
    const std::vector<UInt8> &field = y % 2 == 0 ? fieldTop : fieldBottom;
    for (int x = 0; x < w * 2; ++x)
      worst = std::max(worst, std::abs(int(frame[size_t(y * w * 2 + x)]) - int(field[size_t((y / 2) * w * 2 + x)])));
  }
  EXPECT_LE(worst, 2);
}

}  // namespace

namespace {

// Sequences on several threads at once give what one thread alone gives.
TEST(DecompressionSequence, SequencesOnSeveralThreadsDecodeIndependently) {
  constexpr int kThreads = 4, kFramesEach = 20, kOut = 37;  // an odd size makes every thread scale
  std::vector<std::vector<UInt8>> frames;
  for (int f = 0; f < 4; ++f) frames.push_back(bz_test::FixtureFramePattern(f, kW, kH));
  auto run = [&](int seed, std::vector<UInt8> *last) {
    Desc desc = MakeDesc('2vuy', kW, kH, kW * kH * 2);
    World world = MakeWorld(k32ARGBPixelFormat, kOut, kOut);
    Rect src{0, 0, SInt16(kH), SInt16(kW)}, dst{0, 0, SInt16(kOut), SInt16(kOut)};
    MatrixRecord matrix;
    RectMatrix(&matrix, &src, &dst);
    ImageSequence seq = 0;
    if (DecompressSequenceBeginS(&seq, desc.get(), nullptr, 0, world.get(), nullptr, nullptr, &matrix, srcCopy,
                                 nullptr, 0, codecNormalQuality, anyCodec) != noErr)
      return;
    for (int i = 0; i < kFramesEach; ++i) {
      std::vector<UInt8> &frame = frames[size_t((seed + i) % 4)];
      if (DecompressSequenceFrameS(seq, reinterpret_cast<Ptr>(frame.data()), SInt32(frame.size()), 0, nullptr,
                                   nullptr) != noErr)
        return;
    }
    *last = WorldBytes(world.get(), kOut * 4, kOut);
    CDSequenceEnd(seq);
  };
  std::vector<std::vector<UInt8>> alone(kThreads), together(kThreads);
  for (int t = 0; t < kThreads; ++t) run(t, &alone[size_t(t)]);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(run, t, &together[size_t(t)]);
  for (std::thread &t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_FALSE(alone[size_t(t)].empty());
    EXPECT_EQ(alone[size_t(t)], together[size_t(t)]) << "thread " << t;
  }
}

}  // namespace
