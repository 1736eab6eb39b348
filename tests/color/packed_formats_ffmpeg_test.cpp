// What we pack in 'v210', 'v410' and 'v308' must read back the same in other programs: ffmpeg decodes our
// pixels (a raw 'v210' file, 'v410' and 'v308' movies of ours), and our 4:2:2 to 'v308' copy is compared
// with ffmpeg's own 'v308' encoding of the same frame.
#include "color/color_values.h"
#include "color/pixel_visitors.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using bz_test::ShellQuote;

constexpr int kWidth = 48;  // one 'v210' row is then exactly 128 bytes, ffmpeg's stride for this width
constexpr int kHeight = 4;

// Random legal 16-bit video-range codes.
UInt16 RandomLuma16() {
  std::uniform_int_distribution<int> d(16 * 256, 235 * 256);
  return UInt16(d(bz_test::Rng()));
}
UInt16 RandomChroma16() {
  std::uniform_int_distribution<int> d(16 * 256, 240 * 256);
  return UInt16(d(bz_test::Rng()));
}

// Decodes the first video frame of a file with ffmpeg into planar little-endian samples of pixFmt.
std::string Decode(const std::string &input, const std::string &pixFmt) {
  std::string raw;
  bz_test::RunCommand("ffmpeg -v error " + input + " -frames:v 1 -f rawvideo -pix_fmt " + pixFmt + " -", &raw);
  return raw;
}

UInt16 Sample16(const std::string &planes, size_t index) {
  return UInt16(UInt8(planes[2 * index]) | UInt8(planes[2 * index + 1]) << 8);
}

ImageDescriptionHandle NewDescription(OSType cType, SInt32 dataSize) {
  ImageDescriptionHandle desc = bz_test::NewFixtureImageDescription(kWidth, kHeight);
  (*desc)->cType = cType;
  (*desc)->dataSize = dataSize;
  return desc;
}

class PackedFormatsFfmpeg : public ::testing::Test {
 protected:
  void SetUp() override {
    // A missing ffmpeg is a failure (RequireFfmpeg says so); the body is not run then.
    if (!bz_test::RequireFfmpeg()) GTEST_SKIP();
  }
  bz_test::TempDir dir_;
};

TEST_F(PackedFormatsFfmpeg, V210DecodesToTheCodesWePacked) {
  BZ_KERNEL_SEED_TRACE();
  // Per pixel: Y at 16 bits; per pair: Cb, Cr.
  std::vector<UInt16> y(kWidth * kHeight), cb(kWidth / 2 * kHeight), cr(kWidth / 2 * kHeight);
  for (UInt16 &v : y) v = RandomLuma16();
  for (UInt16 &v : cb) v = RandomChroma16();
  for (UInt16 &v : cr) v = RandomChroma16();
  std::vector<UInt8> file;
  for (int row = 0; row < kHeight; ++row) {
    for (int group = 0; group < kWidth / 6; ++group) {
      YCbCrU16_422 pairs[3];
      for (int p = 0; p < 3; ++p) {
        int pair = row * kWidth / 2 + group * 3 + p, pixel = row * kWidth + group * 6 + 2 * p;
        pairs[p] = {cb[size_t(pair)], y[size_t(pixel)], cr[size_t(pair)], y[size_t(pixel) + 1]};
      }
      UInt8 words[16];
      CO_Pack_v210(words, pairs);
      file.insert(file.end(), words, words + 16);
    }
  }
  const std::string path = dir_.File("frame.v210");
  ASSERT_TRUE(bz_test::WriteWholeFile(path, file));
  std::string planes = Decode("-f v210 -video_size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                  " -i " + ShellQuote(path),
                              "yuv422p10le");
  const size_t lumaCount = y.size(), chromaCount = cb.size();
  ASSERT_EQ(planes.size(), 2 * (lumaCount + 2 * chromaCount)) << "ffmpeg decoded the frame";
  for (size_t i = 0; i < lumaCount; ++i) ASSERT_NEAR(Sample16(planes, i), y[i] / 64.0, 1.0) << "luma " << i;
  for (size_t i = 0; i < chromaCount; ++i) {
    ASSERT_NEAR(Sample16(planes, lumaCount + i), cb[i] / 64.0, 1.0) << "Cb " << i;
    ASSERT_NEAR(Sample16(planes, lumaCount + chromaCount + i), cr[i] / 64.0, 1.0) << "Cr " << i;
  }
}

TEST_F(PackedFormatsFfmpeg, V410MovieDecodesToTheCodesWePacked) {
  BZ_KERNEL_SEED_TRACE();
  const size_t count = kWidth * kHeight;
  std::vector<YCbCrU16> pixels(count);
  for (YCbCrU16 &p : pixels) p = {RandomLuma16(), RandomChroma16(), RandomChroma16()};
  pixels[0] = {4096, 32768, 32768};  // video black
  std::vector<uint8_t> sample(count * 4);
  for (size_t i = 0; i < count; ++i) CO_Pack_v410(&pixels[i], sample.data() + 4 * i);
  ImageDescriptionHandle desc = NewDescription('v410', SInt32(sample.size()));
  const std::string path = dir_.File("v410.mov");
  ASSERT_EQ(bz_test::WriteCompressedMovie(path, desc, {sample}), noErr);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  EXPECT_EQ(bz_test::ProbeStream(path, "v:0")["codec_name"], "v410");
  std::string planes = Decode("-i " + ShellQuote(path), "yuv444p10le");
  ASSERT_EQ(planes.size(), 2 * 3 * count);
  for (size_t i = 0; i < count; ++i) {
    ASSERT_NEAR(Sample16(planes, i), pixels[i].y / 64.0, 1.0) << "Y " << i;
    ASSERT_NEAR(Sample16(planes, count + i), pixels[i].cb / 64.0, 1.0) << "Cb " << i;
    ASSERT_NEAR(Sample16(planes, 2 * count + i), pixels[i].cr / 64.0, 1.0) << "Cr " << i;
  }
  EXPECT_EQ(Sample16(planes, 0), 64);
  EXPECT_EQ(Sample16(planes, count), 512);
}

TEST_F(PackedFormatsFfmpeg, V308MovieDecodesToThePixelsWeCopied) {
  std::vector<uint8_t> uyvy = bz_test::FixtureFramePattern(0, kWidth, kHeight);
  const size_t count = kWidth * kHeight;
  std::vector<uint8_t> v308(count * 3);
  CO_Copy2vuyTov308(uyvy.data(), v308.data(), kHeight, kWidth);
  ImageDescriptionHandle desc = NewDescription('v308', SInt32(v308.size()));
  const std::string path = dir_.File("v308.mov");
  ASSERT_EQ(bz_test::WriteCompressedMovie(path, desc, {v308}), noErr);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  EXPECT_EQ(bz_test::ProbeStream(path, "v:0")["codec_name"], "v308");
  std::string planes = Decode("-i " + ShellQuote(path), "yuv444p");
  ASSERT_EQ(planes.size(), 3 * count);
  for (size_t i = 0; i < count; ++i) {
    ASSERT_EQ(UInt8(planes[i]), v308[3 * i + 1]) << "Y " << i;
    ASSERT_EQ(UInt8(planes[count + i]), v308[3 * i + 2]) << "Cb " << i;
    ASSERT_EQ(UInt8(planes[2 * count + i]), v308[3 * i]) << "Cr " << i;
  }
}

TEST_F(PackedFormatsFfmpeg, V308CopyAgreesWithFfmpegsEncodingExceptInterpolatedChroma) {
  const int width = 96, height = 16;
  const std::string source = dir_.File("source.uyvy"), encoded = dir_.File("ffmpeg.v308");
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  ASSERT_EQ(bz_test::RunCommand("ffmpeg -v error -f lavfi -i testsrc2=s=" + size +
                                ":r=1:d=1 -frames:v 1 -pix_fmt uyvy422 -f rawvideo " + ShellQuote(source)),
            0);
  // Point sampling: ffmpeg gives every pixel the chroma of its own pair.
  ASSERT_EQ(bz_test::RunCommand("ffmpeg -v error -f rawvideo -pix_fmt uyvy422 -video_size " + size + " -i " +
                                ShellQuote(source) + " -sws_flags neighbor -c:v v308 -f rawvideo " +
                                ShellQuote(encoded)),
            0);
  std::vector<uint8_t> uyvy = bz_test::ReadWholeFile(source), theirs = bz_test::ReadWholeFile(encoded);
  ASSERT_EQ(uyvy.size(), size_t(width * height * 2));
  ASSERT_EQ(theirs.size(), size_t(width * height * 3));
  std::vector<uint8_t> ours(theirs.size());
  CO_Copy2vuyTov308(uyvy.data(), ours.data(), height, width);

  // Luma and each pixel's own chroma (Cb of even pixels, Cr of odd ones) agree everywhere. The other chroma
  // is ours interpolated between neighbouring pairs, ffmpeg's its own pair's: they agree exactly where the
  // two neighbouring pairs carry the same value.
  int interpolatedDiffer = 0;
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < width; ++i) {
      const uint8_t *o = &ours[size_t((y * width + i) * 3)], *t = &theirs[size_t((y * width + i) * 3)];
      const uint8_t *row = &uyvy[size_t(y * width * 2)];
      ASSERT_EQ(o[1], t[1]) << "luma " << i << ", " << y;
      bool even = i % 2 == 0;
      int own = even ? 2 : 0, other = even ? 0 : 2;  // byte of the own and the interpolated chroma (Cr, Y, Cb)
      ASSERT_EQ(o[own], t[own]) << "own chroma " << i << ", " << y;
      // The neighbour pair that the interpolation draws on: the previous pair's Cr, the next pair's Cb.
      int neighbour = even ? (i == 0 ? row[2 * i + 2] : row[2 * i - 2]) : (i == width - 1 ? row[2 * i - 2] : row[2 * i + 2]);
      int ownPair = even ? row[2 * i + 2] : row[2 * i - 2];
      EXPECT_EQ(o[other], (neighbour + ownPair + 1) >> 1) << i << ", " << y;
      EXPECT_EQ(t[other], ownPair) << i << ", " << y;
      if (neighbour == ownPair) {
        EXPECT_EQ(o[other], t[other]) << i << ", " << y;
      } else {
        ++interpolatedDiffer;
      }
    }
  }
  EXPECT_GT(interpolatedDiffer, 0) << "the frame has chroma edges, so the interpolation shows";
}

}  // namespace
