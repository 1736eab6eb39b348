// Compression sequences: uncompressed formats pack the source exactly; DV, JPEG and Motion-JPEG frames
// written into a movie by our writer play in ffmpeg at the codec's size and decode back within the codec's
// loss; completions arrive once per frame, in order; bad arguments give the toolbox's numbers.
#include "platform/movie/compression.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/decompression.h"
#include "platform/movie/image_descriptions.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// A smooth moving picture in '2vuy' (video range), the kind of content lossy codecs are made for.
std::vector<uint8_t> SmoothFrame(int frame, int width, int height) {
  std::vector<uint8_t> bytes(size_t(width + 1) / 2 * 4 * size_t(height));
  const size_t rowBytes = size_t(width + 1) / 2 * 4;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; x += 2) {
      uint8_t *p = bytes.data() + size_t(y) * rowBytes + size_t(x) * 2;
      auto luma = [&](int px) {
        double v = 0.5 + 0.25 * std::sin((px + 9 * frame) / 23.0) * std::cos(y / 17.0) + 0.1 * std::sin((px + y) / 61.0) +
                   0.08 * std::sin(y * 1.1 + frame);  // lines differ, so fields swapped show
        return uint8_t(std::lround(16 + 219 * v));
      };
      p[0] = uint8_t(std::lround(128 + 70 * std::sin(x / 57.0 + frame * 0.3)));
      p[1] = luma(x);
      p[2] = uint8_t(std::lround(128 + 70 * std::cos(y / 49.0 - frame * 0.2)));
      p[3] = luma(x + 1);
    }
  }
  return bytes;
}

// A '2vuy' world of the frame's size whose pixels are the frame (borrowed).
struct FrameWorld {
  GWorldPtr world = nullptr;
  std::vector<uint8_t> pixels;
  FrameWorld(std::vector<uint8_t> frame, int width, int height) : pixels(std::move(frame)) {
    Rect bounds{0, 0, SInt16(height), SInt16(width)};
    EXPECT_EQ(noErr, QTNewGWorldFromPtr(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, pixels.data(),
                                        SInt32((width + 1) / 2 * 4)));
  }
  ~FrameWorld() { DisposeGWorld(world); }
  PixMapHandle map() const { return GetGWorldPixMap(world); }
};

struct OwnedDesc {
  ImageDescriptionHandle h = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(4));
  ~OwnedDesc() { DisposeHandle(reinterpret_cast<Handle>(h)); }
};

// Compresses frames 0..n-1 of the smooth picture with one sequence.
std::vector<std::vector<uint8_t>> CompressFrames(CodecType cType, int width, int height, int frames, CodecQ quality,
                                                 ImageDescriptionHandle desc) {
  std::vector<std::vector<uint8_t>> samples;
  FrameWorld first(SmoothFrame(0, width, height), width, height);
  ImageSequence seq = 0;
  EXPECT_EQ(noErr, CompressSequenceBegin(&seq, first.map(), nullptr, nullptr, nullptr, 0, cType, bestFidelityCodec,
                                         quality, 0, 0, nullptr, 0, desc));
  SInt32 maxSize = 0;
  EXPECT_EQ(noErr, GetMaxCompressionSize(first.map(), nullptr, 0, quality, cType, bestFidelityCodec, &maxSize));
  for (int f = 0; f < frames && seq != 0; ++f) {
    FrameWorld w(SmoothFrame(f, width, height), width, height);
    std::vector<uint8_t> out(static_cast<size_t>(maxSize));
    SInt32 size = -1;
    EXPECT_EQ(noErr, CompressSequenceFrame(seq, w.map(), nullptr, codecFlagUpdatePrevious,
                                           reinterpret_cast<Ptr>(out.data()), &size, nullptr, nullptr));
    EXPECT_GT(size, 0);
    EXPECT_LE(size, maxSize);
    out.resize(size_t(std::max<SInt32>(size, 0)));
    samples.push_back(std::move(out));
  }
  EXPECT_TRUE(PL_EndCompressionSequence(seq));
  return samples;
}

struct LossyCase {
  const char *name;
  CodecType cType;
  int width, height;
  CodecQ quality;
  const char *codecName;  // as ffprobe names it
  double minPsnr;         // dB over all bytes of the '2vuy' frame
};

// The bounds sit some dB below what the codecs reach on this picture (DV at its fixed rate about 53 dB,
// DVCPRO50 about 54.5, JPEG at the highest quality about 51.5) and far above what a picture with its fields
// swapped, its chroma misplaced or its range not restored reaches (under 30 dB).
const LossyCase kLossyCases[] = {
    {"dv_pal", 'dvcp', 720, 576, codecNormalQuality, "dvvideo", 45.0},
    {"dv_ntsc", 'dvc ', 720, 480, codecNormalQuality, "dvvideo", 45.0},
    {"dvcpro_pal", 'dvpp', 720, 576, codecNormalQuality, "dvvideo", 45.0},
    {"dvcpro50_pal", 'dv5p', 720, 576, codecNormalQuality, "dvvideo", 48.0},
    {"dvcpro50_ntsc", 'dv5n', 720, 480, codecNormalQuality, "dvvideo", 48.0},
    {"dvcprohd_1080i50", 'dvh5', 1440, 1080, codecNormalQuality, "dvvideo", 48.0},
    {"dvcprohd_720p60", 'dvhp', 960, 720, codecNormalQuality, "dvvideo", 48.0},
    {"jpeg", 'jpeg', 176, 120, codecMaxQuality, "mjpeg", 45.0},
    {"mjpa", 'mjpa', 176, 120, codecMaxQuality, "mjpeg", 45.0},
};

class LossyCodecs : public ::testing::TestWithParam<LossyCase> {};

TEST_P(LossyCodecs, FramesPlayInFfmpegAndDecodeWithinTheCodecsLoss) {
  if (!bz_test::RequireFfmpeg()) return;
  const LossyCase &c = GetParam();
  bz_test::TempDir dir;
  const int frames = 3;
  OwnedDesc desc;
  auto samples = CompressFrames(c.cType, c.width, c.height, frames, c.quality, desc.h);
  ASSERT_EQ(size_t(frames), samples.size());
  EXPECT_EQ(c.cType, (*desc.h)->cType);
  EXPECT_EQ(c.width, (*desc.h)->width);
  EXPECT_EQ(c.height, (*desc.h)->height);
  std::string path = dir.File(std::string(c.name) + ".mov");
  ASSERT_EQ(noErr, bz_test::WriteCompressedMovie(path, desc.h, samples));

  auto probe = bz_test::ProbeStream(path, "v:0");
  EXPECT_EQ(c.codecName, probe["codec_name"]);
  EXPECT_EQ(std::to_string(c.width), probe["width"]);
  EXPECT_EQ(std::to_string(c.height), probe["height"]);
  EXPECT_EQ(std::to_string(frames), probe["nb_read_frames"]);

  auto decoded = bz_test::DecodeVideoWithFfmpeg(path, c.width, c.height);
  ASSERT_EQ(size_t(frames), decoded.size());
  for (int f = 0; f < frames; ++f) {
    double psnr = bz_test::PeakSignalToNoise(SmoothFrame(f, c.width, c.height), decoded[size_t(f)]);
    EXPECT_GE(psnr, c.minPsnr) << "frame " << f;
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, LossyCodecs, ::testing::ValuesIn(kLossyCases),
                         [](const ::testing::TestParamInfo<LossyCase> &info) { return std::string(info.param.name); });

// What our compressors write, our decompressors read back within the same loss, for every encoder.
TEST(CompressionSequences, OwnDecompressorsReadEveryEncodersFrames) {
  struct Case {
    CodecType cType;
    int width, height;
    double minPsnr;  // 99: exact
  };
  const Case cases[] = {
      {'2vuy', 64, 48, 99},   {'yuv2', 64, 48, 99},   {'y420', 64, 48, 40},   {'jpeg', 176, 120, 45},
      {'mjpa', 176, 120, 45}, {'dvcp', 720, 576, 45}, {'dvc ', 720, 480, 45}, {'dv5p', 720, 576, 48},
      {'dvhq', 960, 720, 48},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(reinterpret_cast<const char *>(&c.cType), 4));
    // The codec list offers a decompressor exactly where one exists.
    CompressorComponent comp = nullptr;
    DecompressorComponent decomp = nullptr;
    ASSERT_EQ(noErr, FindCodec(c.cType, anyCodec, &comp, &decomp));
    EXPECT_NE(nullptr, comp);
    EXPECT_EQ(bool(PL_CanDecompressCodecType(c.cType)), decomp != nullptr);
    if (decomp == nullptr) continue;
    OwnedDesc desc;
    auto samples = CompressFrames(c.cType, c.width, c.height, 1, codecMaxQuality, desc.h);
    ASSERT_EQ(1u, samples.size());
    // A single image's description says its size; a sequence's leaves it 0.
    (*desc.h)->dataSize = SInt32(samples[0].size());
    std::vector<uint8_t> decoded(size_t(c.width) * size_t(c.height) * 2);
    GWorldPtr world = nullptr;
    Rect bounds{0, 0, SInt16(c.height), SInt16(c.width)};
    ASSERT_EQ(noErr, QTNewGWorldFromPtr(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, decoded.data(),
                                        c.width * 2));
    EXPECT_EQ(noErr, DecompressImage(reinterpret_cast<Ptr>(samples[0].data()), desc.h, GetGWorldPixMap(world), nullptr,
                                     &bounds, 0, nullptr));
    DisposeGWorld(world);
    double psnr = bz_test::PeakSignalToNoise(SmoothFrame(0, c.width, c.height), decoded);
    EXPECT_GE(psnr, c.minPsnr);
  }
}

// A 'y420' frame read back gives its luma byte for byte, odd sizes too (whose planes have padding to their
// right and below). A damaged header (planes past the
// sample's end, rows narrower than the picture, a truncated sample) is refused with codecBadDataErr, never
// read past the data.
TEST(CompressionSequences, Y420FramesReadBackAndDamagedHeadersAreRefused) {
  for (const auto &[w, h] : {std::pair{64, 48}, std::pair{37, 11}}) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h);
    OwnedDesc desc;
    auto samples = CompressFrames('y420', w, h, 1, codecNormalQuality, desc.h);
    ASSERT_EQ(1u, samples.size());
    const std::vector<uint8_t> &sample = samples[0];
    auto be = [&](size_t i) { return UInt32(sample[i] << 24 | sample[i + 1] << 16 | sample[i + 2] << 8 | sample[i + 3]); };
    auto decode = [&](const std::vector<uint8_t> &data, std::vector<uint8_t> *out) {
      out->assign(size_t(w + 1) / 2 * 4 * size_t(h), 0);
      GWorldPtr world = nullptr;
      Rect bounds{0, 0, SInt16(h), SInt16(w)};
      EXPECT_EQ(noErr, QTNewGWorldFromPtr(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, out->data(),
                                          (w + 1) / 2 * 4));
      (*desc.h)->dataSize = SInt32(data.size());
      const OSErr err = DecompressImage(reinterpret_cast<Ptr>(const_cast<uint8_t *>(data.data())), desc.h,
                                        GetGWorldPixMap(world), nullptr, &bounds, 0, nullptr);
      DisposeGWorld(world);
      return err;
    };
    std::vector<uint8_t> out;
    ASSERT_EQ(noErr, decode(sample, &out));
    const size_t rowBytes = size_t(w + 1) / 2 * 4;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(sample[be(0) + size_t(y) * be(4) + size_t(x)], out[size_t(y) * rowBytes + 2 * size_t(x) + 1])
            << "luma at " << x << "," << y;

    struct Damage {
      const char *what;
      size_t at;     // header field to overwrite, or the new size when `truncate`
      UInt32 value;
      bool truncate;
    } damages[] = {
        {"luma plane past the end", 0, UInt32(sample.size()), false},
        {"Cr plane past the end", 16, UInt32(sample.size() - 8), false},
        {"offset inside the header", 8, 4, false},
        {"luma rows narrower than the picture", 4, UInt32(w - 1), false},
        {"chroma rows of absurd length", 12, 0x7FFFFFFF, false},
        {"sample cut inside the planes", sample.size() - 40, 0, true},
        {"sample cut inside the header", 20, 0, true},
    };
    for (const Damage &d : damages) {
      SCOPED_TRACE(d.what);
      std::vector<uint8_t> damaged = sample;
      if (d.truncate) {
        damaged.resize(d.at);
      } else {
        for (int i = 0; i < 4; ++i) damaged[d.at + size_t(i)] = uint8_t(d.value >> (24 - 8 * i));
      }
      std::vector<uint8_t> ignored;
      EXPECT_EQ(codecBadDataErr, decode(damaged, &ignored));
    }
  }
}

// DV frames have one size: a source of another size is scaled to it, and the description says so.
TEST(CompressionSequences, DVScalesOtherSourceSizesToTheStandardsSize) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  OwnedDesc desc;
  auto samples = CompressFrames('dvcp', 704, 560, 2, codecNormalQuality, desc.h);
  ASSERT_EQ(2u, samples.size());
  EXPECT_EQ(720, (*desc.h)->width);
  EXPECT_EQ(576, (*desc.h)->height);
  for (const auto &s : samples) EXPECT_EQ(144000u, s.size());
  std::string path = dir.File("scaled.mov");
  ASSERT_EQ(noErr, bz_test::WriteCompressedMovie(path, desc.h, samples));
  auto probe = bz_test::ProbeStream(path, "v:0");
  EXPECT_EQ("dvvideo", probe["codec_name"]);
  EXPECT_EQ("720", probe["width"]);
  EXPECT_EQ("2", probe["nb_read_frames"]);
}

// The 'mjpa' compressor's settings choose which lines form the first field; with the matching field
// information in the description, ffmpeg puts the fields back where they belong.
TEST(CompressionSequences, MotionJpegAFieldOrderFollowsTheCompressorSettings) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  const int w = 176, h = 120;
  struct Case {
    OSType first;
    UInt8 fielDetail;  // 1: top field first, 6: bottom field first
  };
  for (const Case &c : {Case{kPL_MotionJpegAEvenFieldFirst, 1}, Case{kPL_MotionJpegAOddFieldFirst, 6}}) {
    SCOPED_TRACE(c.fielDetail);
    ComponentInstance ci = nullptr;
    ASSERT_EQ(noErr, OpenADefaultComponent('imco', 'mjpa', &ci));
    Handle settings = NewHandle(8);
    const UInt8 bytes[8] = {'m', 'j', 'p', 'a', UInt8(c.first >> 24), UInt8(c.first >> 16), UInt8(c.first >> 8),
                            UInt8(c.first)};
    std::memcpy(*settings, bytes, 8);
    ASSERT_EQ(noErr, ImageCodecSetSettings(ci, settings));
    DisposeHandle(settings);

    FrameWorld frame(SmoothFrame(0, w, h), w, h);
    OwnedDesc desc;
    ImageSequence seq = 0;
    ASSERT_EQ(noErr, CompressSequenceBegin(&seq, frame.map(), nullptr, nullptr, nullptr, 0, 'mjpa',
                                           reinterpret_cast<CompressorComponent>(ci), codecMaxQuality, 0, 0, nullptr, 0,
                                           desc.h));
    SInt32 maxSize = 0;
    ASSERT_EQ(noErr, GetMaxCompressionSize(frame.map(), nullptr, 0, codecMaxQuality, 'mjpa', anyCodec, &maxSize));
    std::vector<uint8_t> out(static_cast<size_t>(maxSize));
    SInt32 size = 0;
    ASSERT_EQ(noErr, CompressSequenceFrame(seq, frame.map(), nullptr, 0, reinterpret_cast<Ptr>(out.data()), &size,
                                           nullptr, nullptr));
    out.resize(size_t(size));
    PL_EndCompressionSequence(seq);
    CloseComponent(ci);

    Handle fiel = NewHandle(2);
    (*fiel)[0] = 2;
    (*fiel)[1] = char(c.fielDetail);
    ASSERT_EQ(noErr, AddImageDescriptionExtension(desc.h, fiel, 'fiel'));
    DisposeHandle(fiel);
    std::string path = dir.File("fields.mov");
    ASSERT_EQ(noErr, bz_test::WriteCompressedMovie(path, desc.h, {out}));
    auto decoded = bz_test::DecodeVideoWithFfmpeg(path, w, h);
    ASSERT_EQ(1u, decoded.size());
    EXPECT_GE(bz_test::PeakSignalToNoise(SmoothFrame(0, w, h), decoded[0]), 45.0);
  }
}

// Uncompressed formats: the bytes follow from the source alone. The source is a rectangle inside a larger
// world with padded rows, so that offsets and row bytes are exercised.
TEST(CompressionSequences, UncompressedFormatsPackTheSourceRectangleExactly) {
  const int worldW = 40, worldH = 20, w = 22, h = 10, left = 6, top = 3;
  const SInt32 rowBytes = 96;
  std::vector<uint8_t> pixels(size_t(rowBytes) * worldH);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t((i * 37 + i / 7) % 251);
  GWorldPtr world = nullptr;
  Rect bounds{0, 0, worldH, worldW};
  ASSERT_EQ(noErr, QTNewGWorldFromPtr(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, pixels.data(), rowBytes));
  Rect src{top, left, top + h, left + w};
  auto at = [&](int x, int y, int byte) { return pixels[size_t(top + y) * rowBytes + size_t(left + x) * 2 + size_t(byte)]; };

  for (CodecType cType : {CodecType('2vuy'), CodecType('yuv2'), CodecType('y420')}) {
    SCOPED_TRACE(std::string(reinterpret_cast<const char *>(&cType), 4));
    OwnedDesc desc;
    ImageSequence seq = 0;
    ASSERT_EQ(noErr, CompressSequenceBegin(&seq, GetGWorldPixMap(world), nullptr, &src, nullptr, 0, cType, anyCodec,
                                           codecNormalQuality, 0, 0, nullptr, 0, desc.h));
    EXPECT_EQ(w, (*desc.h)->width);
    EXPECT_EQ(h, (*desc.h)->height);
    SInt32 maxSize = 0;
    ASSERT_EQ(noErr, GetMaxCompressionSize(nullptr, &src, 0, codecNormalQuality, cType, anyCodec, &maxSize));
    std::vector<uint8_t> out(size_t(maxSize) + 16, 0xEE);
    SInt32 size = 0;
    ASSERT_EQ(noErr, CompressSequenceFrame(seq, GetGWorldPixMap(world), nullptr, 0, reinterpret_cast<Ptr>(out.data()),
                                           &size, nullptr, nullptr));
    EXPECT_EQ(maxSize, size);
    EXPECT_EQ(0xEE, out[size_t(size)]) << "written past the reported size";
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; x += 2) {
        const uint8_t *o = out.data() + size_t(y) * size_t(w) * 2 + size_t(x) * 2;
        if (cType == '2vuy') {
          for (int b = 0; b < 4; ++b) ASSERT_EQ(at(x, y, b), o[b]) << x << "," << y;
        } else if (cType == 'yuv2') {
          ASSERT_EQ(at(x, y, 1), o[0]);
          ASSERT_EQ(at(x, y, 0) ^ 0x80, o[1]);
          ASSERT_EQ(at(x, y, 3), o[2]);
          ASSERT_EQ(at(x, y, 2) ^ 0x80, o[3]);
        }
      }
    }
    if (cType == 'y420') {
      // Header: Y at 32 with rows of 32 bytes; 12 lines (10 rounded to 4); Cb and Cr behind it.
      auto be = [&](size_t i) { return UInt32(out[i] << 24 | out[i + 1] << 16 | out[i + 2] << 8 | out[i + 3]); };
      EXPECT_EQ(32u, be(0));
      EXPECT_EQ(32u, be(4));
      EXPECT_EQ(32u + 32 * 12, be(8));
      EXPECT_EQ(16u, be(12));
      EXPECT_EQ(32u + 32 * 12 + 32 * 12 / 4, be(16));
      EXPECT_EQ(16u, be(20));
      EXPECT_EQ(32 + 32 * 12 * 3 / 2, size);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(at(x, y, 1), out[32 + size_t(y) * 32 + size_t(x)]) << x << "," << y;
      // Chroma of a pair of lines: (3 x (pair) - (line above + line below)) / 4 rounded down, the picture's
      // edge lines standing in for the lines beyond it (the inverse of the decoders' interpolation).
      auto thinned = [&](int k, int cy, int byte) {
        auto line = [&](int j) { return int(at(2 * k, std::clamp(j, 0, h - 1), byte)); };
        const int v = 3 * (line(2 * cy) + line(2 * cy + 1)) - (line(2 * cy - 1) + line(2 * cy + 2));
        return std::clamp(v >> 2, 0, 255);
      };
      for (int cy = 0; cy < h / 2; ++cy)
        for (int k = 0; k < w / 2; ++k) {
          int cb = thinned(k, cy, 0);
          int cr = thinned(k, cy, 2);
          ASSERT_EQ(cb, out[be(8) + size_t(cy) * 16 + size_t(k)]);
          ASSERT_EQ(cr, out[be(16) + size_t(cy) * 16 + size_t(k)]);
        }
    }
    EXPECT_TRUE(PL_EndCompressionSequence(seq));
  }
  DisposeGWorld(world);
}

UInt32 BE32(const std::vector<uint8_t> &b, size_t at) {
  return UInt32(b[at]) << 24 | UInt32(b[at + 1]) << 16 | UInt32(b[at + 2]) << 8 | UInt32(b[at + 3]);
}

// Each 'mjpa' field opens with SOI and the APP1 'mjpg' segment; its fields give the field's size, the next
// field's offset (0 for the last) and where the tables, frame header, scan header and scan data begin.
TEST(CompressionSequences, MotionJpegAFieldsCarryTheirMarkers) {
  OwnedDesc desc;
  auto samples = CompressFrames('mjpa', 96, 63, 1, codecHighQuality, desc.h);  // odd height: fields of 32 lines
  ASSERT_EQ(1u, samples.size());
  const std::vector<uint8_t> &s = samples[0];
  size_t field = 0;
  for (int f = 0; f < 2; ++f) {
    SCOPED_TRACE(f == 0 ? "first field" : "second field");
    ASSERT_LT(field + 46, s.size());
    EXPECT_EQ(0xFF, s[field]);
    EXPECT_EQ(0xD8, s[field + 1]);
    EXPECT_EQ(0xFF, s[field + 2]);
    EXPECT_EQ(0xE1, s[field + 3]);
    EXPECT_EQ(42u, UInt32(s[field + 4] << 8 | s[field + 5]));
    EXPECT_EQ(0, std::memcmp(s.data() + field + 10, "mjpg", 4));
    UInt32 fieldSize = BE32(s, field + 14), padded = BE32(s, field + 18), next = BE32(s, field + 22);
    EXPECT_EQ(fieldSize, padded);
    EXPECT_EQ(f == 0 ? fieldSize : 0u, next);
    ASSERT_LE(field + fieldSize, s.size());
    EXPECT_EQ(0xFF, s[field + fieldSize - 2]);
    EXPECT_EQ(0xD9, s[field + fieldSize - 1]);
    const uint8_t markers[] = {0xDB, 0xC4, 0xC0, 0xDA};  // quantisation, Huffman, frame, scan
    for (int m = 0; m < 4; ++m) {
      UInt32 offset = BE32(s, field + 26 + size_t(m) * 4);
      ASSERT_LT(offset + 1, fieldSize);
      EXPECT_EQ(0xFF, s[field + offset]) << "marker " << m;
      EXPECT_EQ(markers[m], s[field + offset + 1]) << "marker " << m;
    }
    // The frame header gives the field's size: 96 x 32.
    UInt32 sof = BE32(s, field + 34);
    EXPECT_EQ(32u, UInt32(s[field + sof + 5] << 8 | s[field + sof + 6]));
    EXPECT_EQ(96u, UInt32(s[field + sof + 7] << 8 | s[field + sof + 8]));
    UInt32 sos = BE32(s, field + 38), data = BE32(s, field + 42);
    EXPECT_EQ(sos + 2 + UInt32(s[field + sos + 2] << 8 | s[field + sos + 3]), data);
    field += fieldSize;
  }
  EXPECT_EQ(s.size(), field);
}

// ARGB sources become video-range Rec. 601 Y'CbCr.
TEST(CompressionSequences, ArgbSourcesConvertToVideoRange) {
  struct Colour {
    UInt8 r, g, b;
    UInt8 y, cb, cr;
  };
  const Colour colours[] = {
      {255, 255, 255, 235, 128, 128}, {0, 0, 0, 16, 128, 128},   {255, 0, 0, 82, 90, 240},
      {0, 255, 0, 145, 54, 34},       {0, 0, 255, 41, 240, 110}, {128, 128, 128, 126, 128, 128},
  };
  const int w = 12, h = 2;
  GWorldPtr world = nullptr;
  Rect bounds{0, 0, h, w};
  ASSERT_EQ(noErr, NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0));
  PixMapHandle pm = GetGWorldPixMap(world);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Colour &c = colours[size_t(x / 2)];
      UInt8 *p = reinterpret_cast<UInt8 *>((*pm)->baseAddr) + y * (*pm)->rowBytes + x * 4;
      p[0] = 255, p[1] = c.r, p[2] = c.g, p[3] = c.b;
    }
  OwnedDesc desc;
  std::vector<uint8_t> out(size_t(w) * h * 2);
  ASSERT_EQ(noErr, CompressImage(pm, nullptr, codecNormalQuality, '2vuy', desc.h, reinterpret_cast<Ptr>(out.data())));
  EXPECT_EQ(SInt32(out.size()), (*desc.h)->dataSize);
  for (int y = 0; y < h; ++y)
    for (int k = 0; k < w / 2; ++k) {
      const Colour &c = colours[size_t(k)];
      const uint8_t *p = out.data() + size_t(y) * w * 2 + size_t(k) * 4;
      EXPECT_NEAR(c.cb, p[0], 1) << "colour " << k;
      EXPECT_NEAR(c.y, p[1], 1) << "colour " << k;
      EXPECT_NEAR(c.cr, p[2], 1) << "colour " << k;
      EXPECT_NEAR(c.y, p[3], 1) << "colour " << k;
    }
  DisposeGWorld(world);
}

struct CompletionLog {
  std::vector<int> order;
  std::vector<SInt16> flags;
  std::vector<OSErr> results;
  std::vector<SInt32> sizesSeen;
  SInt32 *dataSize = nullptr;
};

struct CompletionRef {
  CompletionLog *log;
  int frame;
};

void RecordCompletion(OSErr result, SInt16 flags, long refcon) {
  auto *ref = reinterpret_cast<CompletionRef *>(refcon);
  ref->log->order.push_back(ref->frame);
  ref->log->flags.push_back(flags);
  ref->log->results.push_back(result);
  ref->log->sizesSeen.push_back(*ref->log->dataSize);
}

TEST(CompressionSequences, CompletionIsCalledOncePerFrameInOrderWithTheSizeSet) {
  const int w = 64, h = 48, frames = 5;
  for (CodecType cType : {CodecType('2vuy'), CodecType('jpeg')}) {
    FrameWorld first(SmoothFrame(0, w, h), w, h);
    OwnedDesc desc;
    ImageSequence seq = 0;
    ASSERT_EQ(noErr, CompressSequenceBegin(&seq, first.map(), nullptr, nullptr, nullptr, 0, cType, bestFidelityCodec,
                                           codecHighQuality, 0, 0, nullptr, 0, desc.h));
    SInt32 maxSize = 0;
    ASSERT_EQ(noErr, GetMaxCompressionSize(first.map(), nullptr, 0, codecHighQuality, cType, bestFidelityCodec, &maxSize));
    CompletionLog log;
    SInt32 size = 0;
    log.dataSize = &size;
    std::vector<uint8_t> out(static_cast<size_t>(maxSize));
    std::vector<CompletionRef> refs(frames);
    for (int f = 0; f < frames; ++f) {
      refs[size_t(f)] = CompletionRef{&log, f};
      ICMCompletionProcRecord completion{NewICMCompletionUPP(RecordCompletion), long(&refs[size_t(f)])};
      FrameWorld world(SmoothFrame(f, w, h), w, h);
      size = 0;
      ASSERT_EQ(noErr, CompressSequenceFrame(seq, world.map(), nullptr, codecFlagUpdatePrevious,
                                             reinterpret_cast<Ptr>(out.data()), &size, nullptr, &completion));
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), log.order);
    for (int f = 0; f < frames; ++f) {
      EXPECT_EQ(codecCompletionSource | codecCompletionDest, log.flags[size_t(f)]);
      EXPECT_EQ(noErr, log.results[size_t(f)]);
      EXPECT_GT(log.sizesSeen[size_t(f)], 0);
    }
    PL_EndCompressionSequence(seq);
  }
}

// The quality of a JPEG sequence can change between frames: lower quality, fewer bytes.
TEST(CompressionSequences, JpegQualityChangesTakeEffectOnTheNextFrame) {
  const int w = 128, h = 96;
  FrameWorld frame(SmoothFrame(0, w, h), w, h);
  for (CodecType cType : {CodecType('jpeg'), CodecType('mjpa')}) {
    OwnedDesc desc;
    ImageSequence seq = 0;
    ASSERT_EQ(noErr, CompressSequenceBegin(&seq, frame.map(), nullptr, nullptr, nullptr, 0, cType, anyCodec,
                                           codecMaxQuality, 0, 0, nullptr, 0, desc.h));
    SInt32 maxSize = 0;
    ASSERT_EQ(noErr, GetMaxCompressionSize(frame.map(), nullptr, 0, codecMaxQuality, cType, anyCodec, &maxSize));
    std::vector<uint8_t> out(static_cast<size_t>(maxSize));
    auto compress = [&] {
      SInt32 size = 0;
      EXPECT_EQ(noErr, CompressSequenceFrame(seq, frame.map(), nullptr, 0, reinterpret_cast<Ptr>(out.data()), &size,
                                             nullptr, nullptr));
      return size;
    };
    SInt32 best = compress();
    ASSERT_EQ(noErr, SetCSequenceQuality(seq, codecLowQuality, 0));
    SInt32 low = compress();
    EXPECT_LT(low, best * 2 / 3);
    ASSERT_EQ(noErr, SetCSequenceQuality(seq, codecMaxQuality, 0));
    EXPECT_EQ(best, compress());
    PL_EndCompressionSequence(seq);
  }
}

TEST(CompressionSequences, BadArgumentsGiveToolboxNumbersAndNoCompletion) {
  const int w = 32, h = 16;
  FrameWorld frame(SmoothFrame(0, w, h), w, h);
  OwnedDesc desc;
  ImageSequence seq = 0;
  Rect outside{0, 0, SInt16(h + 1), SInt16(w)};
  Rect empty{0, 0, 0, 0};
  Rect smaller{0, 0, SInt16(h / 2), SInt16(w)};
  auto begin = [&](PixMapHandle src, const Rect *r, CodecType t, CompressorComponent codec, ImageDescriptionHandle d) {
    return CompressSequenceBegin(&seq, src, nullptr, r, nullptr, 0, t, codec, codecNormalQuality, 0, 0, nullptr, 0, d);
  };
  EXPECT_EQ(paramErr, CompressSequenceBegin(nullptr, frame.map(), nullptr, nullptr, nullptr, 0, '2vuy', anyCodec,
                                            codecNormalQuality, 0, 0, nullptr, 0, desc.h));
  EXPECT_EQ(paramErr, begin(nullptr, nullptr, '2vuy', anyCodec, desc.h));
  EXPECT_EQ(paramErr, begin(frame.map(), nullptr, '2vuy', anyCodec, nullptr));
  EXPECT_EQ(paramErr, begin(frame.map(), &outside, '2vuy', anyCodec, desc.h));
  EXPECT_EQ(paramErr, begin(frame.map(), &empty, '2vuy', anyCodec, desc.h));
  EXPECT_EQ(noCodecErr, begin(frame.map(), nullptr, 'icod', anyCodec, desc.h));
  EXPECT_EQ(noCodecErr, begin(frame.map(), nullptr, 'dvcp', reinterpret_cast<CompressorComponent>(&seq), desc.h));
  EXPECT_EQ(0, seq);

  // A source format the sequences do not read.
  std::vector<uint8_t> yuvs(size_t(w) * h * 2, 0x80);
  GWorldPtr yuvsWorld = nullptr;
  Rect bounds{0, 0, h, w};
  ASSERT_EQ(noErr, QTNewGWorldFromPtr(&yuvsWorld, kYUVSPixelFormat, &bounds, nullptr, nullptr, 0, yuvs.data(), w * 2));
  EXPECT_EQ(cDepthErr, begin(GetGWorldPixMap(yuvsWorld), nullptr, 'dvcp', anyCodec, desc.h));

  ASSERT_EQ(noErr, begin(frame.map(), nullptr, 'jpeg', anyCodec, desc.h));
  SInt32 maxSize = 0;
  ASSERT_EQ(noErr, GetMaxCompressionSize(frame.map(), nullptr, 0, codecNormalQuality, 'jpeg', anyCodec, &maxSize));
  std::vector<uint8_t> out(static_cast<size_t>(maxSize));
  Ptr data = reinterpret_cast<Ptr>(out.data());
  SInt32 size = 0;
  CompletionLog log;
  log.dataSize = &size;
  CompletionRef ref{&log, 0};
  ICMCompletionProcRecord completion{RecordCompletion, long(&ref)};
  EXPECT_EQ(paramErr, CompressSequenceFrame(seq, nullptr, nullptr, 0, data, &size, nullptr, &completion));
  EXPECT_EQ(paramErr, CompressSequenceFrame(seq, frame.map(), nullptr, 0, nullptr, &size, nullptr, &completion));
  EXPECT_EQ(paramErr, CompressSequenceFrame(seq, frame.map(), nullptr, 0, data, nullptr, nullptr, &completion));
  EXPECT_EQ(paramErr, CompressSequenceFrame(seq, frame.map(), &smaller, 0, data, &size, nullptr, &completion));
  EXPECT_EQ(paramErr, CompressSequenceFrame(seq, frame.map(), &outside, 0, data, &size, nullptr, &completion));
  EXPECT_EQ(cDepthErr, CompressSequenceFrame(seq, GetGWorldPixMap(yuvsWorld), nullptr, 0, data, &size, nullptr, &completion));
  EXPECT_EQ(paramErr, CompressSequenceFrame(seq + 1000, frame.map(), nullptr, 0, data, &size, nullptr, &completion));
  EXPECT_TRUE(log.order.empty()) << "a refused call must not complete";
  EXPECT_TRUE(PL_EndCompressionSequence(seq));
  EXPECT_FALSE(PL_EndCompressionSequence(seq));
  EXPECT_EQ(paramErr, CompressSequenceFrame(seq, frame.map(), nullptr, 0, data, &size, nullptr, nullptr));
  EXPECT_EQ(paramErr, SetCSequenceQuality(seq, codecMaxQuality, 0));
  EXPECT_FALSE(PL_EndCompressionSequence(0));
  DisposeGWorld(yuvsWorld);

  SInt32 max = 0;
  EXPECT_EQ(noCodecErr, GetMaxCompressionSize(nullptr, &bounds, 0, codecNormalQuality, 'icod', anyCodec, &max));
  EXPECT_EQ(paramErr, GetMaxCompressionSize(nullptr, nullptr, 0, codecNormalQuality, 'dvcp', anyCodec, &max));
  EXPECT_EQ(paramErr, GetMaxCompressionSize(nullptr, &empty, 0, codecNormalQuality, 'dvcp', anyCodec, &max));
  EXPECT_EQ(paramErr, GetMaxCompressionSize(nullptr, &bounds, 0, codecNormalQuality, 'dvcp', anyCodec, nullptr));
}

// The shared sequence end ends compression sequences too, once.
TEST(CompressionSequences, CDSequenceEndEndsACompressionSequence) {
  FrameWorld frame(SmoothFrame(0, 16, 8), 16, 8);
  OwnedDesc desc;
  ImageSequence seq = 0;
  ASSERT_EQ(noErr, CompressSequenceBegin(&seq, frame.map(), nullptr, nullptr, nullptr, 0, 'dvcp', anyCodec,
                                         codecNormalQuality, 0, 0, nullptr, 0, desc.h));
  EXPECT_GE(seq, kPL_FirstCompressionSequenceID);
  EXPECT_EQ(noErr, CDSequenceEnd(seq));
  std::vector<uint8_t> out(144000);
  SInt32 size = 0;
  EXPECT_EQ(paramErr, CompressSequenceFrame(seq, frame.map(), nullptr, 0, reinterpret_cast<Ptr>(out.data()), &size,
                                            nullptr, nullptr));
  EXPECT_EQ(paramErr, CDSequenceEnd(seq));
}

TEST(CompressionSequences, MaximumSizes) {
  struct Case {
    CodecType cType;
    SInt16 width, height;
    SInt32 size;
  };
  const Case cases[] = {
      {'2vuy', 720, 576, 829440}, {'2vuy', 721, 2, 2888},  {'yuv2', 720, 486, 699840},
      {'y420', 720, 576, 635936}, {'y420', 1, 1, 32 * 4 * 3 / 2 + 32},
      {'dvcp', 720, 576, 144000}, {'dvcp', 64, 64, 144000}, {'dvpp', 720, 576, 144000},
      {'dvc ', 720, 480, 120000}, {'dv5n', 720, 480, 240000}, {'dv5p', 720, 576, 288000},
      {'dvh6', 1920, 1080, 480000}, {'dvh5', 1440, 1080, 576000}, {'dvhp', 960, 720, 240000},
      {'dvhq', 1280, 720, 288000},
  };
  for (const Case &c : cases) {
    Rect r{0, 0, c.height, c.width};
    SInt32 size = 0;
    EXPECT_EQ(noErr, GetMaxCompressionSize(nullptr, &r, 0, codecNormalQuality, c.cType, anyCodec, &size));
    EXPECT_EQ(c.size, size) << std::string(reinterpret_cast<const char *>(&c.cType), 4) << " " << c.width << "x" << c.height;
  }
}

// Sequences share nothing: several threads compressing at once get the bytes one thread gets alone.
TEST(CompressionSequences, SequencesOnSeveralThreadsMatchOneThread) {
  const int w = 720, h = 576, frames = 2, threads = 4;
  OwnedDesc reference;
  auto expected = CompressFrames('dvcp', w, h, frames, codecNormalQuality, reference.h);
  auto expectedJpeg = CompressFrames('jpeg', 160, 96, frames, codecHighQuality, reference.h);
  std::vector<std::vector<std::vector<uint8_t>>> got(threads), gotJpeg(threads);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      OwnedDesc desc;
      got[size_t(t)] = CompressFrames('dvcp', w, h, frames, codecNormalQuality, desc.h);
      gotJpeg[size_t(t)] = CompressFrames('jpeg', 160, 96, frames, codecHighQuality, desc.h);
    });
  }
  for (auto &th : pool) th.join();
  for (int t = 0; t < threads; ++t) {
    EXPECT_TRUE(got[size_t(t)] == expected) << "thread " << t;
    EXPECT_TRUE(gotJpeg[size_t(t)] == expectedJpeg) << "thread " << t;
  }
}

}  // namespace

namespace {

// A grey 'smc ' picture carries no colour table: our own decompressor shows it with the grey ramp, so the
// luma comes back as it was coded (within the conversion of grey to video-range luma) and never black.
TEST(CompressionSequences, GraphicsGreyPicturesDecodeToTheirLuma) {
  const int width = 64, height = 48;
  OwnedDesc desc;
  auto samples = CompressFrames('smc ', width, height, 1, codecMaxQuality, desc.h);
  ASSERT_EQ(1u, samples.size());
  EXPECT_EQ(40, (*desc.h)->depth);
  (*desc.h)->dataSize = SInt32(samples[0].size());
  std::vector<uint8_t> decoded(size_t(width) * size_t(height) * 2);
  GWorldPtr world = nullptr;
  Rect bounds{0, 0, SInt16(height), SInt16(width)};
  ASSERT_EQ(noErr, QTNewGWorldFromPtr(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, decoded.data(), width * 2));
  ASSERT_EQ(noErr, DecompressImage(reinterpret_cast<Ptr>(samples[0].data()), desc.h, GetGWorldPixMap(world), nullptr,
                                   &bounds, 0, nullptr));
  DisposeGWorld(world);
  const std::vector<uint8_t> source = SmoothFrame(0, width, height);
  int worst = 0;
  for (size_t i = 1; i < decoded.size(); i += 2) {
    // The grey index holds the luma byte itself; shown as full-range grey it returns as video-range luma.
    const int expected = 16 + (int(source[i]) * 219 + 127) / 255;
    worst = std::max(worst, std::abs(int(decoded[i]) - expected));
  }
  EXPECT_LE(worst, 2);
}

}  // namespace
