// Decompressing single images into buffers, and the checks whether a movie renders into a pixel format or
// a given world.
#include "movie/codecs.h"
#include "movie/movie_errors.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kW = 48, kH = 32;

TEST(MovieCodecsDecompress, ImageToBufferLaysOutRowsByFormat) {
  std::vector<UInt8> frame = bz_test::FixtureFramePattern(2, kW, kH);
  ImageDescriptionHandle desc = bz_test::NewFixtureImageDescription(kW, kH);
  ASSERT_NE(nullptr, desc);
  // '2vuy' into '2vuy': rows of width x 2 bytes, the same bytes.
  std::vector<UInt8> out(size_t(kW) * kH * 2, 0);
  EXPECT_EQ(noErr, QT_DecompressImageToBuffer(reinterpret_cast<Ptr>(frame.data()), desc,
                                              reinterpret_cast<Ptr>(out.data()), '2vuy'));
  EXPECT_EQ(frame, out);
  // 'yuvs': the same picture, luma first.
  EXPECT_EQ(noErr, QT_DecompressImageToBuffer(reinterpret_cast<Ptr>(frame.data()), desc,
                                              reinterpret_cast<Ptr>(out.data()), 'yuvs'));
  for (size_t i = 0; i < out.size(); i += 4) {
    ASSERT_EQ(frame[i + 1], out[i]);
    ASSERT_EQ(frame[i], out[i + 1]);
  }
  // 32-bit ARGB: rows of width x 4 bytes, opaque, nothing written past the buffer's end.
  std::vector<UInt8> argb(size_t(kW) * kH * 4 + 16, 0x77);
  EXPECT_EQ(noErr, QT_DecompressImageToBuffer(reinterpret_cast<Ptr>(frame.data()), desc,
                                              reinterpret_cast<Ptr>(argb.data()), 32));
  for (size_t i = 0; i < size_t(kW) * kH * 4; i += 4) ASSERT_EQ(255, argb[i]);
  for (size_t i = size_t(kW) * kH * 4; i < argb.size(); ++i) ASSERT_EQ(0x77, argb[i]);
  // Formats the buffers are not laid out for.
  for (OSType format : {OSType('BGRA'), OSType('y420'), OSType(1), OSType('RGBA')})
    EXPECT_EQ(kQT_DecompressImageErr, QT_DecompressImageToBuffer(reinterpret_cast<Ptr>(frame.data()), desc,
                                                                 reinterpret_cast<Ptr>(out.data()), format))
        << std::hex << format;
  // Laid out, but no world of it exists here.
  EXPECT_EQ(cDepthErr, QT_DecompressImageToBuffer(reinterpret_cast<Ptr>(frame.data()), desc,
                                                  reinterpret_cast<Ptr>(out.data()), 'UYVY'));
  DisposeHandle(reinterpret_cast<Handle>(desc));
}

class MovieRendering : public ::testing::Test {
 protected:
  void SetUp() override {
    bz_test::FixtureMovieSpec spec;
    spec.withSound = false;
    path_ = dir_.File("movie.mov");
    ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path_, spec, &info_));
    ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path_, &movie_));
  }
  void TearDown() override { DisposeMovie(movie_); }

  bz_test::TempDir dir_;
  std::string path_;
  bz_test::FixtureMovieInfo info_;
  Movie movie_ = nullptr;
};

TEST_F(MovieRendering, CanRenderAnswersByDepthMatrixTracksAndDecoder) {
  EXPECT_TRUE(QT_CanRenderMovieToPixelFormat(movie_, 32, true));
  EXPECT_TRUE(QT_CanRenderMovieToPixelFormat(movie_, '2vuy', true));
  EXPECT_TRUE(QT_CanRenderMovieToPixelFormat(movie_, 'y420', true));
  EXPECT_FALSE(QT_CanRenderMovieToPixelFormat(movie_, 'UYVY', true));
  // A second visual track counts only when one video track is asked for.
  Track second = NewMovieTrack(movie_, kW << 16, kH << 16, 0);
  NewTrackMedia(second, VideoMediaType, 600, nullptr, 0);
  EXPECT_FALSE(QT_CanRenderMovieToPixelFormat(movie_, '2vuy', true));
  EXPECT_TRUE(QT_CanRenderMovieToPixelFormat(movie_, '2vuy', false));
  // A rotating matrix.
  MatrixRecord rotate{};
  rotate.matrix[0][1] = fixed1;
  rotate.matrix[1][0] = -fixed1;
  rotate.matrix[2][2] = 1 << 30;
  SetMovieMatrix(movie_, &rotate);
  EXPECT_FALSE(QT_CanRenderMovieToPixelFormat(movie_, '2vuy', false));
  EXPECT_TRUE(QT_CanRenderMovieToPixelFormat(movie_, 24, false));
  // No video at all.
  Movie empty = NewMovie(0);
  EXPECT_FALSE(QT_CanRenderMovieToPixelFormat(empty, '2vuy', false));
  EXPECT_TRUE(QT_CanRenderMovieToPixelFormat(empty, 32, false));
  DisposeMovie(empty);
}

TEST_F(MovieRendering, TryToRenderToGWorldDrawsTheCurrentFrameAndKeepsTheWorld) {
  Rect bounds{0, 0, kH, kW};
  GWorldPtr world = nullptr;
  ASSERT_EQ(noErr, QTNewGWorld(&world, '2vuy', &bounds, nullptr, nullptr, 0));
  TimeValue frameTime = 0;
  OSType eyes = VisualMediaCharacteristic;
  GetMovieNextInterestingTime(movie_, nextTimeMediaSample | nextTimeEdgeOK, 1, &eyes, 0, fixed1, &frameTime, nullptr);
  GetMovieNextInterestingTime(movie_, nextTimeMediaSample, 1, &eyes, frameTime, fixed1, &frameTime, nullptr);
  SetMovieTimeValue(movie_, frameTime);  // frame 1
  EXPECT_EQ(noErr, QT_TryToRenderMovieToGWorld(movie_, world));
  EXPECT_TRUE(GetMovieActive(movie_));
  CGrafPtr port = nullptr;
  GetMovieGWorld(movie_, &port, nullptr);
  EXPECT_EQ(world, port);
  PixMapHandle pm = GetGWorldPixMap(world);
  const UInt8 *base = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pm));
  for (int y = 0; y < kH; ++y)
    ASSERT_EQ(0, std::memcmp(base + size_t(y) * size_t(GetPixRowBytes(pm)), info_.frames[1].data() + size_t(y) * kW * 2,
                             size_t(kW) * 2))
        << "line " << y;
  SetMovieGWorld(movie_, nullptr, nullptr);
  DisposeGWorld(world);
}

TEST_F(MovieRendering, PlanarWorldOverACallersBufferGetsThePicture) {
  // A 'y420' world over a buffer whose planar header the caller wrote, rows of width x 3 / 2.
  std::vector<UInt8> buffer(size_t(QT_GetY420_FrameSize(kH, kW)) + 64, 0xEE);
  QT_SetY420_Header(buffer.data(), kH, kW);
  Rect bounds{0, 0, kH, kW};
  GWorldPtr world = nullptr;
  ASSERT_EQ(noErr, QTNewGWorldFromPtr(&world, 'y420', &bounds, nullptr, nullptr, 0, buffer.data(), kW * 3 / 2));
  EXPECT_EQ(noErr, QT_TryToRenderMovieToGWorld(movie_, world));
  // Luma of frame 0 in the Y plane (offset 32, rows of 64 bytes); nothing written past the block's end.
  const std::vector<UInt8> &frame = info_.frames[0];
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) ASSERT_EQ(frame[size_t(y * kW + x) * 2 + 1], buffer[32 + size_t(y) * 64 + size_t(x)]);
  for (size_t i = size_t(QT_GetY420_FrameSize(kH, kW)); i < buffer.size(); ++i) ASSERT_EQ(0xEE, buffer[i]);
  SetMovieGWorld(movie_, nullptr, nullptr);
  DisposeGWorld(world);
}

TEST_F(MovieRendering, TryToRenderToPixelFormatRestoresTheMoviesWorld) {
  Rect bounds{0, 0, kH, kW};
  GWorldPtr own = nullptr;
  ASSERT_EQ(noErr, QTNewGWorld(&own, 32, &bounds, nullptr, nullptr, 0));
  SetMovieGWorld(movie_, own, nullptr);
  for (OSType format : {OSType('2vuy'), OSType('y420'), OSType(32), OSType('yuv2')}) {
    EXPECT_EQ(noErr, QT_TryToRenderMovieToPixelFormat(movie_, format)) << std::hex << format;
    CGrafPtr port = nullptr;
    GetMovieGWorld(movie_, &port, nullptr);
    EXPECT_EQ(own, port);
    EXPECT_FALSE(GetMovieActive(movie_));
  }
  EXPECT_EQ(cDepthErr, QT_TryToRenderMovieToPixelFormat(movie_, 'UYVY'));
  SetMovieGWorld(movie_, nullptr, nullptr);
  DisposeGWorld(own);
}

TEST_F(MovieRendering, UndecodableCodecShowsInTheStatus) {
  // The movie's description turned into a codec no decoder exists for.
  Media media = GetTrackMedia(GetMovieIndTrackType(movie_, 1, VideoMediaType, movieTrackMediaType));
  Handle desc = NewHandle(0);
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  reinterpret_cast<ImageDescriptionHandle>(desc)[0]->cType = 'zzzz';
  ASSERT_EQ(noErr, SetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc)));
  DisposeHandle(desc);
  EXPECT_FALSE(QT_CanRenderMovieToPixelFormat(movie_, '2vuy', true));
  EXPECT_EQ(noCodecErr, QT_TryToRenderMovieToPixelFormat(movie_, '2vuy'));
}

}  // namespace
