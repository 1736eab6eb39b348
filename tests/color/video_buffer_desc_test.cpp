// Video buffer descriptions: the tables' values, the descriptions and extension bytes we build (and that
// ffprobe reads them), the line maps against the signal's line numbers, and buffers trimmed, split into
// fields and joined back.
#include "color/video_buffer_desc.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/image_descriptions.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<UInt8> Bytes(Handle h) {
  if (h == nullptr) return {};
  return std::vector<UInt8>(reinterpret_cast<UInt8 *>(*h), reinterpret_cast<UInt8 *>(*h) + GetHandleSize(h));
}

std::vector<UInt8> Extension(ImageDescriptionHandle desc, OSType type) {
  Handle h = nullptr;
  if (GetImageDescriptionExtension(desc, &h, type, 1) != noErr) return {};
  std::vector<UInt8> bytes = Bytes(h);
  DisposeHandle(h);
  return bytes;
}

// ---- Descriptions ----

struct BaseCase {
  OSType cType;
  CO_StandardVideoSource source;
  CO_ConformanceLevel level;
  OSStatus err;
  SInt16 width, height;
};

TEST(ColorVideoBufferDesc, BaseDescriptionsBySourceAndLevel) {
  const BaseCase cases[] = {
      {'2vuy', kCO_525_Digital, kCO_CleanConformanceLevel, noErr, 704, 480},
      {'2vuy', kCO_625_Digital, kCO_CleanConformanceLevel, 14005, 0, 0},  // 41472/59 is not whole
      {'v210', kCO_525_Analog, kCO_ProductionConformanceLevel, 14003, 0, 0},  // 640 is no multiple of 6
      {'v210', kCO_525_Digital, kCO_ProductionConformanceLevel, noErr, 720, 486},
      {'v210', kCO_525_Digital, kCO_CleanConformanceLevel, 14003, 0, 0},      // 704 is no multiple of 6
      {'2vuy', kCO_HD_1920x1035_30, kCO_ProductionConformanceLevel, noErr, 1920, 1035},
      {'v216', kCO_HD_1280x720_60, kCO_CleanConformanceLevel, noErr, 1248, 702},
      {'v308', kCO_625_Analog, kCO_NoConformanceLevel, noErr, 100, 50},       // the arguments
      {'abcd', kCO_525_Digital, kCO_ProductionConformanceLevel, 14001, 0, 0},
  };
  for (const BaseCase &c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(reinterpret_cast<const char *>(&c.cType), 4) << " source "
                                    << c.source << " level " << c.level);
    ImageDescriptionHandle desc = reinterpret_cast<ImageDescriptionHandle>(1);
    EXPECT_EQ(CO_CreateBaseYCbCrImageDescription(&desc, c.cType, 'appl', c.source, c.level, kCO_Field1Dominant, 100, 50),
              c.err);
    if (c.err != noErr) {
      EXPECT_EQ(desc, nullptr);
      continue;
    }
    ASSERT_NE(desc, nullptr);
    const ImageDescription &id = **desc;
    EXPECT_EQ(GetHandleSize(reinterpret_cast<Handle>(desc)), 86);
    EXPECT_EQ(id.idSize, 86);
    EXPECT_EQ(id.cType, c.cType);
    EXPECT_EQ(id.version, 1);
    EXPECT_EQ(id.vendor, OSType('appl'));
    EXPECT_EQ(id.spatialQuality, 1024u);
    EXPECT_EQ(id.temporalQuality, 0u);
    EXPECT_EQ(id.width, c.width);
    EXPECT_EQ(id.height, c.height);
    EXPECT_EQ(id.hRes, 0x00480000);
    EXPECT_EQ(id.vRes, 0x00480000);
    EXPECT_EQ(id.dataSize, 0);
    EXPECT_EQ(id.frameCount, 1);
    EXPECT_EQ(id.depth, 0);
    EXPECT_EQ(id.clutID, -1);
    CO_YCbCrTypeInfo info{};
    CO_GetYCbCrTypeInfo(c.cType, &info);
    const std::string name(reinterpret_cast<const char *>(id.name + 1), id.name[0]);
    EXPECT_EQ(name, std::string(info.name).substr(0, 31));
    DisposeHandle(reinterpret_cast<Handle>(desc));
  }
}

TEST(ColorVideoBufferDesc, TypeTableAndUnknownTypes) {
  CO_YCbCrTypeInfo info{};
  CO_GetYCbCrTypeInfo('v210', &info);
  EXPECT_EQ(info.cType, CodecType('v210'));
  EXPECT_EQ(info.bytesPerPixel.n, 8);
  EXPECT_EQ(info.bytesPerPixel.d, 3u);
  EXPECT_EQ(info.horizAlignPixels, 6);
  EXPECT_STREQ(info.name, "10-bit 4:2:2 Component Y'CbCr");
  EXPECT_EQ(info.range, kCO_VideoRange);
  CO_GetYCbCrTypeInfo('yuvu', &info);
  EXPECT_STREQ(info.name, "Component Video");
  EXPECT_EQ(info.range, kCO_WideRange);
  // An unknown type keeps the other fields and says so by its name.
  CO_GetYCbCrTypeInfo('raw ', &info);
  EXPECT_EQ(info.cType, CodecType('raw '));
  EXPECT_STREQ(info.name, kCO_UnknownYCbCrTypeName);
  EXPECT_EQ(info.horizAlignPixels, 2);
  EXPECT_EQ(info.range, kCO_WideRange);
}

TEST(ColorVideoBufferDesc, ExtensionsAreWrittenBigEndianAndReadBack) {
  struct Case {
    CO_StandardVideoSource source;
    CO_FieldDominance dominance;
    std::vector<UInt8> colr, pasp, clap, fiel;
  };
  const Case cases[] = {
      {kCO_525_Analog, kCO_Field1Dominant,
       {'n', 'c', 'l', 'c', 0, 6, 0, 1, 0, 6},
       {},  // 1:1 has no 'pasp'
       {0, 0, 2, 128, 0, 0, 0, 1, 0, 0, 1, 224, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1},
       {2, 6}},  // field 1 first: the top line (field 2) is late
      {kCO_525_Digital, kCO_Field2Dominant,
       {'n', 'c', 'l', 'c', 0, 6, 0, 1, 0, 6},
       {0, 0, 0, 10, 0, 0, 0, 11},
       {0, 0, 0x1B, 0x80, 0, 0, 0, 10, 0, 0, 1, 224, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1},
       {2, 1}},
      {kCO_HD_1280x720_60, kCO_Field1Dominant,
       {'n', 'c', 'l', 'c', 0, 1, 0, 1, 0, 1},
       {},
       {0, 0, 4, 0xE0, 0, 0, 0, 1, 0, 0, 2, 0xBE, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1},
       {1, 0}},  // progressive
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "source " << c.source);
    ImageDescriptionHandle desc = nullptr;
    ASSERT_EQ(CO_CreateYCbCrImageDescription(&desc, '2vuy', 0, c.source, kCO_ProductionConformanceLevel, c.dominance),
              noErr);
    EXPECT_EQ(Extension(desc, 'colr'), c.colr);
    EXPECT_EQ(Extension(desc, 'pasp'), c.pasp);
    EXPECT_EQ(Extension(desc, 'clap'), c.clap);
    EXPECT_EQ(Extension(desc, 'fiel'), c.fiel);
    // Adding again leaves one of each.
    ASSERT_EQ(CO_AddYCbCrImageDesciptionExtension(c.source, desc, c.dominance), noErr);
    SInt32 count = 0;
    CountImageDescriptionExtensionType(desc, 'clap', &count);
    EXPECT_EQ(count, 1);

    Handle nclc = nullptr, pasp = nullptr, clap = nullptr, fiel = nullptr;
    ASSERT_EQ(CO_GetImageDescriptionExtensions(desc, &nclc, &pasp, &clap, &fiel), noErr);
    EXPECT_EQ(Bytes(nclc), c.colr);
    EXPECT_EQ(pasp == nullptr, c.pasp.empty());
    EXPECT_EQ(Bytes(pasp), c.pasp);
    EXPECT_EQ(Bytes(clap), c.clap);
    EXPECT_EQ(Bytes(fiel), c.fiel);
    for (Handle h : {nclc, pasp, clap, fiel})
      if (h) DisposeHandle(h);
    DisposeHandle(reinterpret_cast<Handle>(desc));
  }

  // A 'colr' of another kind is no colour description here.
  ImageDescriptionHandle desc = nullptr;
  ASSERT_EQ(CO_CreateBaseYCbCrImageDescription(&desc, '2vuy', 0, kCO_525_Digital, kCO_NoConformanceLevel,
                                               kCO_Field1Dominant, 8, 8),
            noErr);
  Handle prof = nullptr;
  const UInt8 profBytes[8] = {'p', 'r', 'o', 'f', 1, 2, 3, 4};
  ASSERT_EQ(PtrToHand(profBytes, &prof, 8), noErr);
  ASSERT_EQ(AddImageDescriptionExtension(desc, prof, 'colr'), noErr);
  Handle nclc = reinterpret_cast<Handle>(1), fiel = reinterpret_cast<Handle>(1);
  EXPECT_EQ(CO_GetImageDescriptionExtensions(desc, &nclc, nullptr, nullptr, &fiel), noErr);
  EXPECT_EQ(nclc, nullptr);
  EXPECT_EQ(fiel, nullptr);
  DisposeHandle(prof);
  DisposeHandle(reinterpret_cast<Handle>(desc));
}

TEST(ColorVideoBufferDesc, StandardSourceTables) {
  SInt32 h = 0, w = 0, lines = 0;
  float rate = 0;
  TimeScale scale = 0;
  TimeValue duration = 0;
  CO_StandardVideoSourceToAddInfo(kCO_525_Digital, &h, &w, &lines, &rate, &scale, &duration);
  EXPECT_EQ(h, 486);
  EXPECT_EQ(w, 720);
  EXPECT_EQ(lines, 525);
  EXPECT_FLOAT_EQ(rate, 29.97f);
  EXPECT_EQ(scale, 2997);
  EXPECT_EQ(duration, 100);
  CO_StandardVideoSourceToAddInfo(kCO_HD_1280x720_60, nullptr, nullptr, &lines, &rate, &scale, &duration);
  EXPECT_EQ(lines, 750);
  EXPECT_FLOAT_EQ(rate, 59.94f);
  EXPECT_EQ(duration, 50);
  CO_StandardVideoSourceToAddInfo(kCO_625_Analog_Wide, &h, nullptr, nullptr, &rate, &scale, &duration);
  EXPECT_EQ(h, 576);
  EXPECT_EQ(scale, 600);
  EXPECT_EQ(duration, 24);
  CO_StandardVideoSourceToAddInfo(kCO_HD_1920x1035_30, &h, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(h, 1035);

  CO_CleanApertureCenterPositionInVideoSignal centre{};
  CO_StandardVideoSourceToCleanApertureCenter(kCO_HD_1920x1080_30, &centre);
  EXPECT_EQ(centre.videoLineJustAbove, 291);
  EXPECT_EQ(centre.videoLineJustBelow, 853);

  // Unknown sources.
  CO_ColorDescription colour{};
  CO_FieldData fields{9, 9};
  CO_PixelAspectRatio pasp{};
  CO_CleanApertureData clap{};
  CO_StandardVideoSourceToImageDescData(CO_StandardVideoSource(13), kCO_Field1Dominant, &colour, &fields, &pasp, &clap);
  EXPECT_EQ(colour.primaries, 2);
  EXPECT_EQ(colour.matrix, 2);
  EXPECT_EQ(fields.fields, 0);
  EXPECT_EQ(fields.detail, 0);
  EXPECT_EQ(pasp.hExtent, 0);
  EXPECT_EQ(pasp.vExtent, 1);
  EXPECT_EQ(clap.widthD, 100);
  EXPECT_EQ(clap.vertOffD, 1);
  CO_StandardVideoSourceToAddInfo(CO_StandardVideoSource(-1), &h, &w, &lines, &rate, &scale, &duration);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(scale, 0);
  CO_StandardVideoSourceToImageDescData(kCO_625_Digital_Wide, kCO_Field1Dominant, &colour, &fields, &pasp, &clap);
  EXPECT_EQ(colour.primaries, 5);
  EXPECT_EQ(pasp.hExtent, 118);
  EXPECT_EQ(pasp.vExtent, 81);
  EXPECT_EQ(clap.widthN, 41472);
  EXPECT_EQ(clap.widthD, 59);
  // 625 lines, field 1 first: the top line (field 1) is early.
  EXPECT_EQ(fields.detail, 1);
}

// An image description of 'v210' for source 2 in a movie of ours reads in ffprobe as 720x486 'v210' with the
// field order and colour description we wrote.
TEST(ColorVideoBufferDesc, DescriptionInAMovieReadsInFfprobe) {
  bz_test::TempDir dir;
  for (CO_FieldDominance dominance : {kCO_Field1Dominant, kCO_Field2Dominant}) {
    ImageDescriptionHandle desc = nullptr;
    ASSERT_EQ(CO_CreateYCbCrImageDescription(&desc, 'v210', 0, kCO_525_Digital, kCO_ProductionConformanceLevel,
                                             dominance),
              noErr);
    // One black frame: six pixels in 16 bytes, Cb Y Cr of 512, 64, 512.
    std::vector<uint8_t> frame(size_t(720) * 8 / 3 * 486);
    const double black[4] = {0.0, 0.0, 0.0, 1.0};
    for (size_t i = 0; i < frame.size(); i += 16) ASSERT_EQ(NormalizedYCbCrToTyped('v210', black, 1.0, &frame[i]), noErr);
    const std::string path = dir.File(dominance == kCO_Field1Dominant ? "f1.mov" : "f2.mov");
    ASSERT_EQ(bz_test::WriteCompressedMovie(path, desc, {frame}, 2997, 100), noErr);
    DisposeHandle(reinterpret_cast<Handle>(desc));

    auto probe = bz_test::ProbeStream(path, "v:0");
    EXPECT_EQ(probe["codec_name"], "v210");
    EXPECT_EQ(probe["width"], "720");
    EXPECT_EQ(probe["height"], "486");
    // Field 1 first in a 486-line frame whose top line is in field 2: bottom field first.
    EXPECT_EQ(probe["field_order"], dominance == kCO_Field1Dominant ? "bb" : "tt");
    EXPECT_EQ(probe["color_primaries"], "smpte170m");
    EXPECT_EQ(probe["color_transfer"], "bt709");
    EXPECT_EQ(probe["color_space"], "smpte170m");
    EXPECT_EQ(probe["sample_aspect_ratio"], "10:11");
  }
}

// ---- Colour descriptions ----

Handle NclcHandle(UInt16 primaries, UInt16 transfer, UInt16 matrix, OSType kind = 'nclc') {
  UInt8 bytes[10] = {UInt8(kind >> 24), UInt8(kind >> 16), UInt8(kind >> 8), UInt8(kind), UInt8(primaries >> 8),
                     UInt8(primaries), UInt8(transfer >> 8), UInt8(transfer), UInt8(matrix >> 8), UInt8(matrix)};
  Handle h = nullptr;
  PtrToHand(bytes, &h, sizeof bytes);
  return h;
}

TEST(ColorVideoBufferDesc, NclcReaders) {
  float g = 0, s = 0, e = 0, ss = 0;
  Handle bt709 = NclcHandle(1, 1, 1), hd1035 = NclcHandle(6, 7, 7), other = NclcHandle(2, 2, 2);
  Handle wrongKind = NclcHandle(1, 1, 1, 'prof');
  ASSERT_EQ(CO_NclcToGamma(bt709, &g, &s, &e, &ss), noErr);
  EXPECT_FLOAT_EQ(g, 0.45f);
  EXPECT_FLOAT_EQ(s, 1.099f);
  EXPECT_FLOAT_EQ(e, 0.018f);
  EXPECT_FLOAT_EQ(ss, 4.5f);
  ASSERT_EQ(CO_NclcToGamma(hd1035, &g, &s, &e, &ss), noErr);
  EXPECT_FLOAT_EQ(s, 1.1115f);
  EXPECT_FLOAT_EQ(e, 0.0228f);
  EXPECT_FLOAT_EQ(ss, 4.0f);
  EXPECT_EQ(CO_NclcToGamma(other, &g, &s, &e, &ss), paramErr);
  EXPECT_EQ(CO_NclcToGamma(nullptr, &g, &s, &e, &ss), paramErr);
  EXPECT_EQ(CO_NclcToGamma(wrongKind, &g, &s, &e, &ss), paramErr);

  float gw = 0, rw = 0, bw = 0;
  ASSERT_EQ(CO_NclcToMatrix(bt709, &gw, &rw, &bw), noErr);
  EXPECT_FLOAT_EQ(gw, 0.7152f);
  EXPECT_FLOAT_EQ(rw, 0.2126f);
  EXPECT_FLOAT_EQ(bw, 0.0722f);
  ASSERT_EQ(CO_NclcToMatrix(hd1035, &gw, &rw, &bw), noErr);
  EXPECT_FLOAT_EQ(gw, 0.701f);
  EXPECT_EQ(CO_NclcToMatrix(other, &gw, &rw, &bw), paramErr);

  GL_FloatPt white{}, red{}, green{}, blue{};
  ASSERT_EQ(CO_NclcToChromaticities(bt709, &white, &red, &green, &blue), noErr);
  EXPECT_FLOAT_EQ(white.h, 0.3127f);
  EXPECT_FLOAT_EQ(white.v, 0.3290f);
  EXPECT_FLOAT_EQ(red.h, 0.64f);
  EXPECT_FLOAT_EQ(green.v, 0.6f);
  ASSERT_EQ(CO_NclcToChromaticities(hd1035, &white, &red, &green, &blue), noErr);
  EXPECT_FLOAT_EQ(red.h, 0.63f);
  EXPECT_EQ(CO_NclcToChromaticities(other, &white, &red, &green, &blue), paramErr);
  for (Handle h : {bt709, hd1035, other, wrongKind}) DisposeHandle(h);
}

TEST(ColorVideoBufferDesc, GammaTransformEndsAndInverse) {
  for (UInt16 end : {UInt16(0), UInt16(65535)}) {
    UInt16 c = end;
    CO_GammaTransform(0.45f, 1.099f, 0.018f, 4.5f, &c);
    EXPECT_EQ(c, end);
    CO_InverseGammaTransform(1.0f / 0.45f, 1.099f, 0.018f, 4.5f, &c);
    EXPECT_EQ(c, end);
  }
  // The straight part: 4.5 x below 0.018.
  UInt16 c = 655;  // x = 0.00999
  CO_GammaTransform(0.45f, 1.099f, 0.018f, 4.5f, &c);
  EXPECT_EQ(c, UInt16(655.0 / 65535.0 * 4.5 * 65535.0));
  // The curve and its inverse meet again within the truncations.
  for (UInt16 v : {UInt16(2000), UInt16(20000), UInt16(40000), UInt16(60000)}) {
    UInt16 x = v;
    CO_GammaTransform(0.45f, 1.099f, 0.018f, 4.5f, &x);
    EXPECT_GT(x, v);
    CO_InverseGammaTransform(1.0f / 0.45f, 1.099f, 0.018f, 4.5f, &x);
    EXPECT_NEAR(x, v, 3) << v;
  }
}

// ---- Fields and lines ----

TEST(ColorVideoBufferDesc, FieldBoundariesOfTheStandards) {
  struct Case {
    SInt32 h;
    int above, below;
    SInt32 min1, max1, min2, max2;
  };
  const Case cases[] = {{486, 404, 142, 21, 263, 283, 525}, {576, 479, 167, 23, 310, 336, 623}};
  for (const Case &c : cases) {
    SInt32 a = 0, b = 0, d = 0, e = 0;
    CO_GetFieldBoundaries(c.h, {c.above, c.below}, &a, &b, &d, &e);
    EXPECT_EQ(a, c.min1);
    EXPECT_EQ(b, c.max1);
    EXPECT_EQ(d, c.min2);
    EXPECT_EQ(e, c.max2);
  }
}

TEST(ColorVideoBufferDesc, CleanCentrePositions) {
  struct Case {
    SInt32 w, h;
    SInt32 hN, hD, vN, vD;
    OSStatus err;
  };
  const Case cases[] = {
      {720, 486, 0, 1, 0, 1, noErr},
      {720, 486, 1, 2, 0, 1, 14005},   // half a pixel off an even width
      {721, 486, 1, 2, 0, 1, noErr},   // an odd width needs the half
      {721, 486, 0, 1, 0, 1, 14005},
      {721, 486, 3, 2, 0, 1, noErr},
      {720, 487, 0, 1, 0, 1, 14006},
      {720, 487, -1, 1, 1, 2, noErr},
      {720, 486, 0, 1, 1, 2, 14006},
      {720, 487, 1, 2, 0, 1, 14005},   // both fail: the width wins
      {0, 0, 1, 3, 1, 3, noErr},       // nothing to check
      {720, 486, 4, 2, 2, 1, noErr},
  };
  for (const Case &c : cases) {
    CO_CleanApertureData clap{704, 1, 480, 1, c.hN, c.hD, c.vN, c.vD};
    EXPECT_EQ(CO_CheckCleanCenterPosition(c.w, c.h, &clap), c.err)
        << c.w << "x" << c.h << " offsets " << c.hN << "/" << c.hD << ", " << c.vN << "/" << c.vD;
  }
}

TEST(ColorVideoBufferDesc, ImageAndVideoLinesOf525And720) {
  const CO_CleanApertureCenterPositionInVideoSignal ntsc{404, 142};
  // Image line 242 (just above the centre) is video line 404; the top line 283 (field 2), then 21 (field 1).
  EXPECT_EQ(CO_ImageLineToVideoLine(486, ntsc, 0), 404);
  EXPECT_EQ(CO_ImageLineToVideoLine(486, ntsc, 1), 142);
  EXPECT_EQ(CO_ImageLineToVideoLine(486, ntsc, -242), 283);
  EXPECT_EQ(CO_ImageLineToVideoLine(486, ntsc, -241), 21);
  EXPECT_EQ(CO_ImageLineToVideoLine(486, ntsc, 243), 263);
  EXPECT_EQ(CO_ImageLineToVideoLine(486, ntsc, 244), 0);   // past field 2's last line
  EXPECT_EQ(CO_ImageLineToVideoLine(486, ntsc, -243), 0);
  for (SInt32 d = -242; d <= 243; ++d) EXPECT_EQ(CO_VideoLineToImageLine(486, ntsc, CO_ImageLineToVideoLine(486, ntsc, d)), d);
  EXPECT_EQ(CO_VideoLineToImageLine(486, ntsc, 20), INT_MIN);
  EXPECT_EQ(CO_VideoLineToImageLine(486, ntsc, 270), INT_MIN);  // blanking before field 2
  EXPECT_EQ(CO_VideoLineToImageLine(486, ntsc, 526), INT_MAX);

  // Progressive 720 lines: consecutive signal lines 26 to 745.
  const CO_CleanApertureCenterPositionInVideoSignal hd{385, 386};
  EXPECT_EQ(CO_ImageLineToVideoLine(720, hd, 0), 385);
  EXPECT_EQ(CO_ImageLineToVideoLine(720, hd, -359), 26);
  EXPECT_EQ(CO_ImageLineToVideoLine(720, hd, 360), 745);
  EXPECT_EQ(CO_ImageLineToVideoLine(720, hd, 361), 0);
  EXPECT_EQ(CO_VideoLineToImageLine(720, hd, 25), INT_MIN);
  EXPECT_EQ(CO_VideoLineToImageLine(720, hd, 746), INT_MAX);
  EXPECT_EQ(CO_VideoLineToImageLine(720, hd, 400), 15);

  // Production and clean lines: the clean 480 lines sit 3 below the production top.
  SInt32 clean = 0, production = 0;
  CO_VideoLineToStandardLine(kCO_525_Digital, 283, &clean, &production);
  EXPECT_EQ(production, 0);
  EXPECT_EQ(clean, -1);
  CO_VideoLineToStandardLine(kCO_525_Digital, 22, &clean, &production);
  EXPECT_EQ(production, 3);
  EXPECT_EQ(clean, 0);
  CO_VideoLineToStandardLine(kCO_525_Digital, 10, &clean, &production);
  EXPECT_EQ(production, -1);
  SInt32 cleanVideo = 0, productionVideo = 0;
  CO_StandardLineToVideoLine(kCO_525_Digital, 0, 3, &cleanVideo, &productionVideo);
  EXPECT_EQ(cleanVideo, 22);
  EXPECT_EQ(productionVideo, 22);
  CO_StandardLineToVideoLine(kCO_525_Digital, 480, 486, &cleanVideo, &productionVideo);
  EXPECT_EQ(cleanVideo, 0);
  EXPECT_EQ(productionVideo, 0);
}

TEST(ColorVideoBufferDesc, BufferLinesOfSeparatedFields) {
  // Detail 14 stores the even image lines first, 9 the odd ones; 1 and 6 interleave (identity).
  const CO_FieldData even{2, 14}, odd{2, 9}, interleaved{2, 6}, progressive{1, 14};
  EXPECT_EQ(CO_BufferLineToImageLine(&even, 5, 0), 0);
  EXPECT_EQ(CO_BufferLineToImageLine(&even, 5, 2), 4);
  EXPECT_EQ(CO_BufferLineToImageLine(&even, 5, 3), 1);
  EXPECT_EQ(CO_BufferLineToImageLine(&odd, 5, 0), 1);
  EXPECT_EQ(CO_BufferLineToImageLine(&odd, 5, 2), 0);
  EXPECT_EQ(CO_BufferLineToImageLine(&odd, 5, 4), 4);
  EXPECT_EQ(CO_BufferLineToImageLine(&interleaved, 5, 3), 3);
  EXPECT_EQ(CO_BufferLineToImageLine(&progressive, 5, 3), 3);
  for (const CO_FieldData *f : {&even, &odd, &interleaved})
    for (SInt32 h : {485, 486})
      for (SInt32 b = 0; b < h; ++b) ASSERT_EQ(CO_ImageLineToBufferLine(f, h, CO_BufferLineToImageLine(f, h, b)), b);

  const CO_CleanApertureData clap{704, 1, 480, 1, 0, 1, 0, 1};
  for (const CO_FieldData *f : {&even, &odd, &interleaved})
    for (SInt32 b = 0; b < 486; ++b) {
      const SInt32 v = CO_BufferLineToVideoLine(kCO_525_Digital, &clap, f, 486, b);
      ASSERT_NE(v, 0);
      ASSERT_EQ(CO_VideoLineToBufferLine(kCO_525_Digital, &clap, f, 486, v), b);
    }
}

TEST(ColorVideoBufferDesc, FieldDetailAndDominanceAgree) {
  const CO_CleanApertureData clap{704, 1, 480, 1, 0, 1, 0, 1};
  for (SInt32 height : {486, 487, 576})
    for (Boolean interleaved : {true, false})
      for (Boolean f1Dominant : {true, false})
        for (Boolean aboveInF1 : {true, false}) {
          const UInt8 detail = CO_GetFieldDetail(height, interleaved, f1Dominant, aboveInF1, &clap);
          EXPECT_EQ((detail & 8) == 0, bool(interleaved));
          EXPECT_EQ(CO_GetFieldDominance(height, aboveInF1, &clap, detail),
                    f1Dominant ? kCO_Field1Dominant : kCO_Field2Dominant);
        }
}

// ---- Buffers ----

TEST(ColorVideoBufferDesc, CleanWidthsRoundUpToWholeGroups) {
  struct Case {
    SInt32 n, d;
    int align;
    SInt32 width;
  };
  const Case cases[] = {{7040, 10, 2, 704}, {7040, 10, 6, 708}, {703, 1, 6, 708}, {704, 1, 6, 708}, {702, 1, 6, 702},
                        {41472, 59, 2, 704}, {41472, 59, 6, 708}, {1881, 1, 2, 1882}, {28160, 30, 2, 940}};
  for (const Case &c : cases) {
    CO_CleanApertureData clap{c.n, c.d, 480, 1, 0, 1, 0, 1};
    EXPECT_EQ(CO_GetCleanWidth(&clap, c.align), c.width) << c.n << "/" << c.d << " in groups of " << c.align;
  }
}

// A production frame whose every byte tells its line and column.
std::vector<UInt8> NumberedFrame(SInt32 lineBytes, SInt32 lines) {
  std::vector<UInt8> frame(size_t(lineBytes) * lines);
  for (SInt32 y = 0; y < lines; ++y)
    for (SInt32 x = 0; x < lineBytes; ++x) frame[size_t(y) * lineBytes + x] = UInt8(y * 7 + x * 3);
  return frame;
}

TEST(ColorVideoBufferDesc, TrimKeepsTheCentredCleanAperture) {
  struct Case {
    CO_StandardVideoSource source;
    SInt32 lineBytes, lines;          // production
    SInt32 cleanBytes, cleanLines, left, top;
  };
  const Case cases[] = {
      {kCO_525_Digital, 1440, 486, 1408, 480, 16, 3},    // '2vuy'
      {kCO_525_Digital, 1920, 486, 1888, 480, 16, 3},    // 'v210': 708 pixels
      {kCO_HD_1920x1080_30, 3840, 1080, 3776, 1062, 32, 9},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "source " << c.source << ", " << c.lineBytes << " bytes a line");
    std::vector<UInt8> frame = NumberedFrame(c.lineBytes, c.lines);
    Ptr clean = nullptr;
    ASSERT_EQ(CO_TrimProductionBuffer(c.source, reinterpret_cast<Ptr>(frame.data()), SInt32(frame.size()), &clean), noErr);
    ASSERT_NE(clean, nullptr);
    for (SInt32 y = 0; y < c.cleanLines; ++y)
      ASSERT_EQ(std::memcmp(clean + size_t(y) * c.cleanBytes, &frame[size_t(y + c.top) * c.lineBytes + c.left],
                            size_t(c.cleanBytes)),
                0)
          << "clean line " << y;
    std::free(clean);
  }
  Ptr clean = reinterpret_cast<Ptr>(1);
  std::vector<UInt8> frame(100);
  EXPECT_EQ(CO_TrimProductionBuffer(CO_StandardVideoSource(20), reinterpret_cast<Ptr>(frame.data()), 100, &clean), paramErr);
  EXPECT_EQ(clean, nullptr);
}

TEST(ColorVideoBufferDesc, StandardBufferSplitsIntoFieldsAndJoinsBack) {
  for (CO_StandardVideoSource source : {kCO_525_Digital, kCO_625_Digital}) {
    SCOPED_TRACE(testing::Message() << "source " << source);
    SInt32 h = 0;
    TimeValue duration = 0;
    CO_StandardVideoSourceToAddInfo(source, &h, nullptr, nullptr, nullptr, nullptr, &duration);
    const SInt32 lineBytes = 1440;
    std::vector<UInt8> frame = NumberedFrame(lineBytes, h);
    std::vector<UInt8> f1(size_t(lineBytes) * ((h + 1) / 2)), f2(f1.size());
    TimeValue t1 = 0, t2 = 0;
    CO_StandardBufferToF1F2(source, reinterpret_cast<Ptr>(frame.data()), SInt32(frame.size()), 1000,
                            reinterpret_cast<Ptr>(f1.data()), reinterpret_cast<Ptr>(f2.data()), &t1, &t2);
    EXPECT_EQ(t1, 1000);
    EXPECT_EQ(t2, 1000 + duration / 2);
    // 486 lines start with field 2 (its line 283 is on top), 576 lines with field 1.
    const std::vector<UInt8> &topField = source == kCO_525_Digital ? f2 : f1;
    EXPECT_EQ(std::memcmp(topField.data(), frame.data(), lineBytes), 0);

    std::vector<UInt8> joined(frame.size());
    TimeValue t = 0, d = 0;
    ASSERT_EQ(CO_F1F2ToStandardBuffer(source, reinterpret_cast<Ptr>(f1.data()), reinterpret_cast<Ptr>(f2.data()), t1,
                                      t2, reinterpret_cast<Ptr>(joined.data()), SInt32(joined.size()), &t, &d),
              noErr);
    EXPECT_EQ(joined, frame);
    EXPECT_EQ(t, 1000);
    EXPECT_EQ(d, duration);
    std::vector<UInt8> untouched(frame.size(), 0xEE);
    EXPECT_EQ(CO_F1F2ToStandardBuffer(source, reinterpret_cast<Ptr>(f1.data()), reinterpret_cast<Ptr>(f2.data()), t1,
                                      t1 + 1, reinterpret_cast<Ptr>(untouched.data()), SInt32(untouched.size()), &t, &d),
              14016);
    EXPECT_EQ(untouched, std::vector<UInt8>(frame.size(), 0xEE));
  }
}

// The general split of a 720x486 buffer gives the same fields as the standard one, and the join gives the
// buffer back; a wider buffer keeps only the production aperture; an off-centre 'v210' buffer is refused by
// the split and adapted by the join.
TEST(ColorVideoBufferDesc, GeneralSplitAndJoin) {
  const SInt32 lineBytes = 1440, h = 486;
  std::vector<UInt8> frame = NumberedFrame(lineBytes, h);
  std::vector<UInt8> f1(size_t(lineBytes) * 243), f2(f1.size()), s1(f1.size()), s2(f1.size());
  CO_FieldData fiel{2, 6};
  CO_CleanApertureData clap{7040, 10, 480, 1, 0, 1, 0, 1};
  TimeValue t1 = 0, t2 = 0;
  ASSERT_EQ(CO_BufferToF1F2(reinterpret_cast<Ptr>(frame.data()), SInt32(frame.size()), kCO_525_Digital, '2vuy', h, 720,
                            300, &fiel, &clap, reinterpret_cast<Ptr>(f1.data()), reinterpret_cast<Ptr>(f2.data()), &t1, &t2),
            noErr);
  // Detail 6 with field 2 on top: field 1 comes first.
  EXPECT_EQ(t1, 300);
  EXPECT_EQ(t2, 350);
  CO_StandardBufferToF1F2(kCO_525_Digital, reinterpret_cast<Ptr>(frame.data()), SInt32(frame.size()), 300,
                          reinterpret_cast<Ptr>(s1.data()), reinterpret_cast<Ptr>(s2.data()), nullptr, nullptr);
  EXPECT_EQ(f1, s1);
  EXPECT_EQ(f2, s2);

  std::vector<UInt8> joined(frame.size(), 0xEE);
  TimeValue t = 0;
  CO_FieldData joinedFiel{2, 1};
  ASSERT_EQ(CO_F1F2ToBuffer(reinterpret_cast<Ptr>(f1.data()), reinterpret_cast<Ptr>(f2.data()), t1, t2,
                            reinterpret_cast<Ptr>(joined.data()), SInt32(joined.size()), kCO_525_Digital, '2vuy', h, 720,
                            &t, &joinedFiel, &clap),
            noErr);
  EXPECT_EQ(joined, frame);
  EXPECT_EQ(t, 300);
  EXPECT_EQ(joinedFiel.detail, 6);  // made again from the field times
  EXPECT_EQ(CO_F1F2ToBuffer(reinterpret_cast<Ptr>(f1.data()), reinterpret_cast<Ptr>(f2.data()), t1, t1 + 49,
                            reinterpret_cast<Ptr>(joined.data()), SInt32(joined.size()), kCO_525_Digital, '2vuy', h, 720,
                            &t, &joinedFiel, &clap),
            14016);

  // 736 pixels wide: 8 pixels either side fall outside the production aperture.
  const SInt32 wideBytes = 736 * 2;
  std::vector<UInt8> wide = NumberedFrame(wideBytes, h);
  ASSERT_EQ(CO_BufferToF1F2(reinterpret_cast<Ptr>(wide.data()), SInt32(wide.size()), kCO_525_Digital, '2vuy', h, 736, 0,
                            &fiel, &clap, reinterpret_cast<Ptr>(f1.data()), reinterpret_cast<Ptr>(f2.data()), &t1, &t2),
            noErr);
  EXPECT_EQ(std::memcmp(f2.data(), wide.data() + 16, lineBytes), 0);  // top line, from column 8
  EXPECT_EQ(std::memcmp(f1.data(), wide.data() + wideBytes + 16, lineBytes), 0);

  // 'v210' with the centre one pixel right: not on a half group (3 pixels).
  const SInt32 v210Bytes = 1920;
  std::vector<UInt8> v210 = NumberedFrame(v210Bytes, h);
  std::vector<UInt8> g1(size_t(v210Bytes) * 243), g2(g1.size());
  CO_CleanApertureData offCentre{7040, 10, 480, 1, 1, 1, 0, 1};
  EXPECT_EQ(CO_BufferToF1F2(reinterpret_cast<Ptr>(v210.data()), SInt32(v210.size()), kCO_525_Digital, 'v210', h, 720, 0,
                            &fiel, &offCentre, reinterpret_cast<Ptr>(g1.data()), reinterpret_cast<Ptr>(g2.data()), &t1,
                            &t2),
            14007);
  CO_CleanApertureData halfGroup{7040, 10, 480, 1, 3, 1, 0, 1};  // on a half group, but not a whole one
  EXPECT_EQ(CO_BufferToF1F2(reinterpret_cast<Ptr>(v210.data()), SInt32(v210.size()), kCO_525_Digital, 'v210', h, 720, 0,
                            &fiel, &halfGroup, reinterpret_cast<Ptr>(g1.data()), reinterpret_cast<Ptr>(g2.data()), &t1,
                            &t2),
            14008);
  std::vector<UInt8> out(v210.size());
  CO_FieldData outFiel{2, 6};
  ASSERT_EQ(CO_F1F2ToBuffer(reinterpret_cast<Ptr>(g1.data()), reinterpret_cast<Ptr>(g2.data()), 50, 0,
                            reinterpret_cast<Ptr>(out.data()), SInt32(out.size()), kCO_525_Digital, 'v210', h, 720, &t,
                            &outFiel, &halfGroup),
            noErr);
  EXPECT_EQ(halfGroup.horizOffN, 0);  // moved left by 3 pixels onto the group
  EXPECT_EQ(t, 0);
  EXPECT_EQ(outFiel.detail, 1);       // field 2 first now: the top line is early
  EXPECT_EQ(CO_BufferToF1F2(reinterpret_cast<Ptr>(v210.data()), SInt32(v210.size()), kCO_525_Digital, 'v210', h, 720, 0,
                            &fiel, &clap, reinterpret_cast<Ptr>(g1.data()), reinterpret_cast<Ptr>(g2.data()), &t1, &t2),
            noErr);
  EXPECT_EQ(CO_BufferToF1F2(reinterpret_cast<Ptr>(v210.data()), SInt32(v210.size()), kCO_HD_1280x720_60, 'v210', h, 720,
                            0, &fiel, &clap, reinterpret_cast<Ptr>(g1.data()), reinterpret_cast<Ptr>(g2.data()), &t1, &t2),
            paramErr);  // one field only
}

TEST(ColorVideoBufferDesc, StandardBufferParameterChecks) {
  const CO_PixelAspectRatio pasp{10, 11}, doubled{20, 22}, wrongPasp{1, 1};
  const CO_CleanApertureData clap{7040, 10, 480, 1, 0, 1, 0, 1}, wrongClap{704, 1, 486, 1, 0, 1, 0, 1};
  struct Case {
    const char *what;
    CodecType type;
    SInt32 size, height, width;
    const CO_PixelAspectRatio *pasp;
    UInt8 interlaced, late;
    const CO_CleanApertureData *clap;
    SInt32 cleanWidth;
    float rate;
    TimeScale scale;
    TimeValue duration;
    OSStatus err;
  };
  const SInt32 good = 1440 * 486;
  const Case cases[] = {
      {"nothing given", 0, 0, 0, 0, nullptr, 0xFF, 0xFF, nullptr, 0, 0, 0, 0, noErr},
      {"all standard", '2vuy', good, 486, 720, &pasp, 1, 1, &clap, 704, 29.97f, 2997, 100, noErr},
      {"the same aspect written larger", '2vuy', good, 486, 720, &doubled, 0xFF, 0xFF, nullptr, 0, 0, 0, 0, noErr},
      {"unknown type", 'abcd', good, 486, 720, nullptr, 0xFF, 0xFF, nullptr, 0, 0, 0, 0, 14001},
      {"size no whole lines", '2vuy', good + 1, 486, 720, nullptr, 0xFF, 0xFF, nullptr, 0, 0, 0, 0, 14002},
      {"line no whole pixels", 'v210', 1921 * 486, 486, 0, nullptr, 0xFF, 0xFF, nullptr, 0, 0, 0, 0, 14004},
      {"height", '2vuy', 0, 480, 0, nullptr, 0xFF, 0xFF, nullptr, 0, 0, 0, 0, 14010},
      {"width", '2vuy', 0, 0, 704, nullptr, 0xFF, 0xFF, nullptr, 0, 0, 0, 0, 14009},
      {"first failure wins", '2vuy', 0, 480, 704, nullptr, 0xFF, 0xFF, nullptr, 0, 0, 0, 0, 14010},
      {"pixel aspect", 0, 0, 0, 0, &wrongPasp, 0xFF, 0xFF, nullptr, 0, 0, 0, 0, 14011},
      {"clean aperture", 0, 0, 0, 0, nullptr, 0xFF, 0xFF, &wrongClap, 0, 0, 0, 0, 14012},
      {"clean width", 'v210', 0, 0, 0, nullptr, 0xFF, 0xFF, nullptr, 704, 0, 0, 0, 14003},
      {"clean width v210", 'v210', 0, 0, 0, nullptr, 0xFF, 0xFF, nullptr, 708, 0, 0, 0, noErr},
      {"progressive buffer", 0, 0, 0, 0, nullptr, 0, 0xFF, nullptr, 0, 0, 0, 0, 14013},
      {"field order", 0, 0, 0, 0, nullptr, 0xFF, 0, nullptr, 0, 0, 0, 0, 14014},
      {"frame rate", 0, 0, 0, 0, nullptr, 0xFF, 0xFF, nullptr, 0, 25.0f, 0, 0, 14015},
      {"time scale", 0, 0, 0, 0, nullptr, 0xFF, 0xFF, nullptr, 0, 0, 600, 0, 14017},
      {"frame duration", 0, 0, 0, 0, nullptr, 0xFF, 0xFF, nullptr, 0, 0, 0, 24, 14016},
  };
  for (const Case &c : cases)
    EXPECT_EQ(CO_CheckF1DomStandProdBufferParameters(kCO_525_Digital, c.type, c.size, c.height, c.width, c.pasp,
                                                     c.interlaced, c.late, c.clap, c.cleanWidth, c.rate, c.scale,
                                                     c.duration),
              c.err)
        << c.what;
  // A progressive standard refuses an interlaced buffer and any field order.
  EXPECT_EQ(CO_CheckF1DomStandProdBufferParameters(kCO_HD_1280x720_60, 0, 0, 0, 0, nullptr, 1, 0xFF, nullptr, 0, 0, 0, 0),
            14013);
  EXPECT_EQ(CO_CheckF1DomStandProdBufferParameters(kCO_HD_1280x720_60, 0, 0, 0, 0, nullptr, 0, 0, nullptr, 0, 0, 0, 0),
            paramErr);
}

// ---- Pixels ----

TEST(ColorVideoBufferDesc, NormalisedPixelsRoundTripEveryType) {
  const CodecType types[] = {'2vuy', 'v210', 'v216', 'v308', 'v408', 'v410', 'yuv2', 'yuvu'};
  const double colours[][4] = {{0.0, 0.0, 0.0, 1.0}, {1.0, 0.0, 0.0, 0.5}, {0.5, -0.25, 0.3, 0.0}, {0.2, 0.45, -0.45, 1.0}};
  for (CodecType type : types) {
    CO_YCbCrTypeInfo info{};
    CO_GetYCbCrTypeInfo(type, &info);
    // One step of the type's codes.
    const double step = type == 'v216' ? 1.0 / 56064 : (type == 'v210' || type == 'v410') ? 1.0 / 876 : 1.0 / 219;
    for (const auto &colour : colours) {
      UInt8 group[16] = {};
      ASSERT_EQ(NormalizedYCbCrToTyped(type, colour, 0.75, group), noErr);
      double back[4] = {};
      ASSERT_EQ(NormalizeYCbCr(group, type, back, 0.75), noErr);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], colour[i], 1.5 * step) << info.name << " component " << i;
      EXPECT_NEAR(back[3], type == 'v408' ? colour[3] : 0.75, 1.0 / 255) << info.name;
    }
  }
  // Exact codes: video black in '2vuy' and 'v410'.
  const double black[4] = {0.0, 0.0, 0.0, 1.0};
  UInt8 pair[4];
  ASSERT_EQ(NormalizedYCbCrToTyped('2vuy', black, 1.0, pair), noErr);
  EXPECT_EQ(std::vector<UInt8>(pair, pair + 4), (std::vector<UInt8>{128, 16, 128, 16}));
  UInt8 word[8];
  ASSERT_EQ(NormalizedYCbCrToTyped('v410', black, 1.0, word), noErr);
  const UInt32 w = UInt32(word[0]) | UInt32(word[1]) << 8 | UInt32(word[2]) << 16 | UInt32(word[3]) << 24;
  EXPECT_EQ((w >> 12) & 0x3FF, 64u);
  EXPECT_EQ((w >> 2) & 0x3FF, 512u);
  EXPECT_EQ((w >> 22) & 0x3FF, 512u);
  double out[4];
  EXPECT_EQ(NormalizeYCbCr(pair, 'raw ', out, 1.0), paramErr);
}

}  // namespace
