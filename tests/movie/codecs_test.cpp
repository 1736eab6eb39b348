#include "movie/codecs.h"

#include "platform/movie/atoms.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(MovieCodecs, Y420HeaderAndFrameSize) {
  struct Case {
    SInt32 height, width;
    SInt32 size;
    UInt32 header[6];
  };
  const Case cases[] = {
      {576, 720, 635936, {32, 736, 423968, 368, 529952, 368}},
      {575, 720, 635936, {32, 736, 423968, 368, 529952, 368}},  // the height is rounded up to 4
      {4, 1, 32 * 4 * 3 / 2 + 32, {32, 32, 32 + 128, 16, 32 + 128 + 32, 16}},
      {1080, 1920, 1920 * 1080 * 3 / 2 + 32, {32, 1920, 32 + 1920 * 1080, 960, 32 + 1920 * 1080 * 5 / 4, 960}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
    EXPECT_EQ(c.size, QT_GetY420_FrameSize(c.height, c.width));
    std::vector<UInt8> buffer(40, 0xEE);
    QT_SetY420_Header(buffer.data(), c.height, c.width);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(c.header[i], PL_GetBE32(buffer.data() + 4 * i)) << "word " << i;
    for (size_t i = 24; i < buffer.size(); ++i) EXPECT_EQ(0xEE, buffer[i]);  // the rest is left alone
    // The swaps are each other's inverse.
    QT_FlipPlanarPixmapInfoYUV420_BtoN(buffer.data());
    UInt32 first;
    std::memcpy(&first, buffer.data(), 4);
    EXPECT_EQ(32u, first);
    QT_FlipPlanarPixmapInfoYUV420_NtoB(buffer.data());
    EXPECT_EQ(c.header[2], PL_GetBE32(buffer.data() + 8));
  }
  EXPECT_EQ(32, QT_GetY420_FrameSize(0, 720));
  EXPECT_EQ(32, QT_GetY420_FrameSize(-5, -5));
}

TEST(MovieCodecs, Families) {
  const struct {
    OSType t;
    bool yc, fixed, dv, dvhd, enforced, jpeg, rgb;
  } cases[] = {
      {'2vuy', true, true, false, false, false, false, false},
      {'v210', true, true, false, false, false, false, false},
      {'raw ', false, true, false, false, false, false, true},
      {'dvcp', false, true, true, false, false, false, false},
      {'dvc ', false, true, true, false, true, false, false},
      {'dv5p', false, true, true, false, true, false, false},
      {'dvhp', false, false, false, true, true, false, false},
      {'dvhq', false, false, false, true, false, false, false},
      {'mjpb', false, false, false, false, false, true, false},
      {'rle ', false, false, false, false, false, false, true},
      {'avc1', false, false, false, false, false, false, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(reinterpret_cast<const char *>(&c.t), 4));
    EXPECT_EQ(c.yc, bool(QT_IsYC_CodecType(c.t)));
    EXPECT_EQ(c.fixed, bool(QT_IsFixedSizeCompressor(c.t)));
    EXPECT_EQ(c.dv, bool(QT_IsDV_CodecType(c.t)));
    EXPECT_EQ(c.dvhd, bool(QT_IsDVCProHD_CodecType(c.t)));
    EXPECT_EQ(c.enforced, bool(QT_CTypeHasEnforcedDims(c.t)));
    EXPECT_EQ(c.jpeg, bool(QT_IsJPEG_CodecType(c.t)));
    EXPECT_EQ(c.rgb, bool(QT_IsRGB_CodecType(c.t)));
  }
  EXPECT_TRUE(QT_Is_iDeviceSubType('M4VP'));
  EXPECT_FALSE(QT_Is_iDeviceSubType('MooV'));
}

TEST(MovieCodecs, DvTypesBothWays) {
  const struct {
    OSType dvType;
    bool pal;
    OSType codec;
  } table[] = {{'dv  ', true, 'dvcp'}, {'dv  ', false, 'dvc '}, {'dvp ', true, 'dvpp'},
               {'dvp ', false, 'dvc '}, {'dvp5', true, 'dv5p'}, {'dvp5', false, 'dv5n'}};
  for (const auto &r : table) EXPECT_EQ(r.codec, QT_GetDV_CodecType(r.dvType, r.pal));
  EXPECT_EQ(0u, QT_GetDV_CodecType('mjpa', true));

  const struct {
    OSType codec, dvType;
    Boolean pal;
  } back[] = {{'dvc ', 'dv  ', 0}, {'dvcp', 'dv  ', 1}, {'dvpp', 'dvp ', 1}, {'dv5n', 'dvp5', 0}, {'dv5p', 'dvp5', 1},
              {'2vuy', 0, 255}};
  for (const auto &r : back) {
    OSType dvType = 1;
    Boolean pal = 7;
    QT_GetDV_Type(r.codec, &dvType, &pal);
    EXPECT_EQ(r.dvType, dvType);
    EXPECT_EQ(r.pal, pal);
  }
}

TEST(MovieCodecs, NameToFourCC) {
  // "ab": even sum 97, odd sum 98, weighted 0 and 98.
  // 97 % 52 = 45 -> 'T', 98 % 52 = 46 -> 'U', 0 -> 'a', 98 % 52 = 46 -> 'U'.
  EXPECT_EQ(OSType('TUaU'), GL_NameToFourCC("ab"));
  // One character: odd sums are 0.
  EXPECT_EQ(OSType('naaa'), GL_NameToFourCC("A"));  // 65 % 52 = 13 -> 'n'
  EXPECT_EQ(OSType('aaaa'), GL_NameToFourCC(""));
  // Independent sums for a longer name.
  const char *name = "Apple MPEG4 Compressor";
  unsigned long e = 0, o = 0, ew = 0, ow = 0;
  for (size_t i = 0; name[i]; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    (i % 2 ? o : e) += c;
    (i % 2 ? ow : ew) += c * i;
  }
  auto letter = [](unsigned long s) { return char(s % 52 < 26 ? 'a' + s % 52 : 'A' + s % 52 - 26); };
  const char expected[4] = {letter(e), letter(o), letter(ew), letter(ow)};
  EXPECT_EQ(PL_FourCC(expected), GL_NameToFourCC(name));
}

TEST(MovieCodecs, PortableDeviceBoxesRatesAndFrameRates) {
  Rect box;
  QT_Get_iDeviceBox('M4VH', false, 23.976f, &box);
  EXPECT_EQ(720, box.bottom);
  EXPECT_EQ(1280, box.right);
  QT_Get_iDeviceBox('M4VH', false, 25.0f, &box);
  EXPECT_EQ(540, box.bottom);
  EXPECT_EQ(960, box.right);
  QT_Get_iDeviceBox('M4V ', true, 25.0f, &box);
  EXPECT_EQ(240, box.bottom);
  QT_Get_iDeviceBox('xxxx', false, 25.0f, &box);
  EXPECT_EQ(0, box.bottom);
  EXPECT_EQ(0, box.right);

  const struct {
    OSType subType;
    SInt32 height, width;
    UInt32 rate;
  } rates[] = {
      {'M4VH', 480, 848, 391000}, {'M4VH', 720, 1280, 641000}, {'M4VH', 240, 320, 112000}, {'M4VH', 100, 100, 112000},
      {'M4V ', 480, 640, 203500}, {'M4VP', 360, 480, 128500},  {'iphE', 144, 176, 10000},  {'mp4v', 480, 640, 0},
  };
  for (const auto &r : rates) EXPECT_EQ(r.rate, QT_Get_iDeviceDataRate(r.subType, r.height, r.width)) << r.width;

  EXPECT_EQ(15.0f, QT_Get_iDeviceFrameRate('iphE', 29.97f));
  EXPECT_EQ(30.0f, QT_Get_iDeviceFrameRate('M4VH', 59.94f));
  EXPECT_EQ(25.0f, QT_Get_iDeviceFrameRate('M4VH', 25.0f));

  // Larger movies are fitted, smaller ones only on request, equal ones copied.
  const Rect big{0, 0, 1080, 1920}, small{0, 0, 240, 320}, equalWidth{0, 0, 400, 960};
  Rect out{1, 2, 3, 4};
  QT_ScaleTo_iDeviceBox('M4VH', false, 25.0f, &big, false, &out);
  EXPECT_EQ(540, out.bottom - out.top);
  EXPECT_EQ(960, out.right - out.left);
  out = Rect{1, 2, 3, 4};
  QT_ScaleTo_iDeviceBox('M4VH', false, 25.0f, &small, false, &out);
  EXPECT_EQ(3, out.bottom);  // untouched
  QT_ScaleTo_iDeviceBox('M4VH', false, 25.0f, &small, true, &out);
  EXPECT_EQ(540, out.bottom - out.top);
  QT_ScaleTo_iDeviceBox('M4VH', false, 25.0f, &equalWidth, true, &out);
  EXPECT_EQ(400, out.bottom);
  EXPECT_EQ(960, out.right);
}

}  // namespace
