#include "movie/track_geometry.h"

#include "platform/core/mac_errors.h"
#include "support/movie_builders.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using bz_test::BuiltMovie;

FixedPoint Map(const MatrixRecord &m, double x, double y) {
  FixedPoint p{X2Fix(x), X2Fix(y)};
  EXPECT_EQ(noErr, TransformFixedPoints(&m, &p, 1));
  return p;
}

Track VideoTrack(Movie movie, SInt32 width, SInt32 height) {
  Track t = bz_test::AddBuiltTrack(movie, VideoMediaType, 600, bz_test::Frames({20}), 16, width << 16, height << 16);
  bz_test::InsertWholeMedia(t);
  return t;
}

TEST(MovieTrackGeometry, MediaToTrackMatrices) {
  BuiltMovie m;
  Track t = VideoTrack(m.movie, 720, 576);
  ASSERT_EQ(noErr, QT_SetTrackCleanApertureDimensions(t, FixedPoint{704 << 16, 576 << 16}));
  ASSERT_EQ(noErr, QT_SetTrackProductionApertureDimensions(t, FixedPoint{720 << 16, 576 << 16}));
  MatrixRecord mx;
  // The production aperture centred on the clean one: the media lands on (-8, 0) to (712, 576).
  ASSERT_EQ(noErr, QT_GetMediaToTrackMatrix(t, true, false, nullptr, 576, 720, &mx));
  EXPECT_EQ(translateMatrixType, GetMatrixType(&mx));
  FixedPoint p = Map(mx, 0, 0);
  EXPECT_EQ(Long2Fix(-8), p.x);
  p = Map(mx, 720, 576);
  EXPECT_EQ(Long2Fix(712), p.x);
  EXPECT_EQ(Long2Fix(576), p.y);

  // With the clean aperture of the description: its rectangle lands on the clean dimensions.
  const QT_ClapExt clap{704, 1, 576, 1, 0, 1, 0, 1};
  ASSERT_EQ(noErr, QT_GetMediaToTrackMatrix(t, true, true, &clap, 576, 720, &mx));
  p = Map(mx, 8, 0);
  EXPECT_EQ(0, p.x);
  p = Map(mx, 712, 576);
  EXPECT_EQ(Long2Fix(704), p.x);

  // Without aperture dimensions: the media onto the track's dimensions.
  BuiltMovie n;
  Track s = VideoTrack(n.movie, 640, 480);
  ASSERT_EQ(noErr, QT_GetMediaToTrackMatrix(s, false, false, nullptr, 480, 720, &mx));
  EXPECT_EQ(scaleMatrixType, GetMatrixType(&mx));
  EXPECT_EQ(X2Fix(640.0 / 720.0), mx.matrix[0][0]);
  EXPECT_EQ(fixed1, mx.matrix[1][1]);

  // Asked for aperture dimensions the track does not have: the error of the clean-dimension read.
  EXPECT_EQ(kQTPropertyNotSupportedErr, QT_GetMediaToTrackMatrix(s, true, true, &clap, 480, 720, &mx));
  EXPECT_EQ(kQTPropertyNotSupportedErr, QT_GetMediaToTrackMatrix(s, true, false, nullptr, 480, 720, &mx));

  QT_RectMatrix(720, 480, 360, 240, &mx);
  EXPECT_EQ(X2Fix(0.5), mx.matrix[0][0]);
  EXPECT_EQ(X2Fix(0.5), mx.matrix[1][1]);
}

TEST(MovieTrackGeometry, ShiftingMatrixAndClip) {
  BuiltMovie m;
  Track t = VideoTrack(m.movie, 720, 576);
  RgnHandle clip = NewRgn();
  SetRectRgn(clip, 0, 0, 704, 576);
  SetTrackClipRgn(t, clip);
  ASSERT_EQ(noErr, QT_ShiftTrackMatrixAndClipF(t, Long2Fix(8), 0));
  MatrixRecord mx;
  GetTrackMatrix(t, &mx);
  EXPECT_EQ(translateMatrixType, GetMatrixType(&mx));
  EXPECT_EQ(Long2Fix(-8), mx.matrix[2][0]);
  EXPECT_EQ(0, mx.matrix[2][1]);
  RgnHandle moved = GetTrackClipRgn(t);
  ASSERT_NE(nullptr, moved);
  Rect bounds;
  GetRegionBounds(moved, &bounds);
  EXPECT_EQ(8, bounds.left);
  EXPECT_EQ(712, bounds.right);
  DisposeRgn(moved);
  DisposeRgn(clip);

  // Through a scaling matrix the shift is in the media's own pixels; fractions move the clip by whole ones.
  BuiltMovie n;
  Track s = VideoTrack(n.movie, 720, 576);
  SetIdentityMatrix(&mx);
  ScaleMatrix(&mx, 2 * fixed1, fixed1, 0, 0);
  SetTrackMatrix(s, &mx);
  ASSERT_EQ(noErr, QT_ShiftTrackMatrixAndClipF(s, X2Fix(8.5), X2Fix(-3.5)));
  GetTrackMatrix(s, &mx);
  FixedPoint p = Map(mx, 8.5, 0);
  EXPECT_EQ(0, p.x);
  p = Map(mx, 0, -3.5);
  EXPECT_EQ(0, p.y);
  EXPECT_EQ(nullptr, GetTrackClipRgn(s));
}

TEST(MovieTrackGeometry, ApertureModesOfMoviesAndTracks) {
  BuiltMovie m;
  Boolean all = false, has = true;
  ASSERT_EQ(noErr, QT_AllVisualTracksHaveApertureModeDimensions(m.movie, &all));
  EXPECT_TRUE(all);  // no visual track
  Track a = VideoTrack(m.movie, 720, 576);
  Track b = VideoTrack(m.movie, 720, 576);
  ASSERT_EQ(noErr, QT_MovieHasApertureModes(m.movie, &has));
  EXPECT_FALSE(has);
  ASSERT_EQ(noErr, QT_SetTrackEncodedPixelDimensions(a, FixedPoint{720 << 16, 576 << 16}));
  ASSERT_EQ(noErr, QT_TrackHasApertureModes(a, &has));
  EXPECT_TRUE(has);
  ASSERT_EQ(noErr, QT_TrackHasApertureModes(b, &has));
  EXPECT_FALSE(has);
  ASSERT_EQ(noErr, QT_AllVisualTracksHaveApertureModeDimensions(m.movie, &all));
  EXPECT_FALSE(all);
  SetTrackEnabled(b, false);
  ASSERT_EQ(noErr, QT_AllVisualTracksHaveApertureModeDimensions(m.movie, &all));
  EXPECT_TRUE(all);
  FixedPoint dims{};
  ASSERT_EQ(noErr, QT_GetTrackEncodedPixelDimensions(a, &dims));
  EXPECT_EQ(576 << 16, dims.y);

  OSType mode = 0;
  ASSERT_EQ(noErr, QT_GetMovieApertureMode(m.movie, &mode));
  EXPECT_EQ(OSType(kQTApertureMode_Classic), mode);
  ASSERT_EQ(noErr, QT_SetMovieApertureMode(m.movie, kQTApertureMode_CleanAperture));
  ASSERT_EQ(noErr, QT_GetMovieApertureMode(m.movie, &mode));
  EXPECT_EQ(OSType(kQTApertureMode_CleanAperture), mode);
}

TEST(MovieTrackGeometry, MatrixUtilities) {
  MatrixRecord a, b;
  SetIdentityMatrix(&a);
  EXPECT_TRUE(QT_IsIdentityMatrix(&a));
  TranslateMatrix(&a, Long2Fix(10), 0);
  EXPECT_FALSE(QT_IsIdentityMatrix(&a));
  SetIdentityMatrix(&b);
  ScaleMatrix(&b, 2 * fixed1, 2 * fixed1, 0, 0);
  MatrixRecord left = b;
  QT_MatrixLeftMultiply(&a, &left);  // translate, then scale
  EXPECT_EQ(Long2Fix(22), Map(left, 1, 0).x);
  MatrixRecord right = a;
  QT_MatrixRightMultiply(&right, &b);  // scale, then translate
  EXPECT_EQ(Long2Fix(12), Map(right, 1, 0).x);

  QT_PaspExt pasp{};
  QT_GetMatrixPasp(&b, &pasp);
  EXPECT_EQ(1u, pasp.hSpacing);
  EXPECT_EQ(1u, pasp.vSpacing);
  SetIdentityMatrix(&b);
  ScaleMatrix(&b, X2Fix(1.5), fixed1, 0, 0);
  QT_GetMatrixPasp(&b, &pasp);
  EXPECT_EQ(3u, pasp.hSpacing);
  EXPECT_EQ(2u, pasp.vSpacing);

  const struct {
    SInt16 type;
    const char *text;
  } texts[] = {{0, "Identity matrix (= do nothing)"}, {1, "Translation matrix"}, {3, "Scaling + translation matrix"},
               {5, "Linear and translation matrix"}, {6, "Perspective matrix"},  {7, "Unknown matrix type"},
               {-1, "Unknown matrix type"}};
  for (const auto &t : texts) {
    char text[32];
    QT_MatrixTypeGetDescrStr(t.type, text);
    EXPECT_STREQ(t.text, text);
  }

  ::testing::internal::CaptureStdout();
  QT_PrintMatrixWithName(&a, "shift");
  QT_PrintMatrix(&b);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ("shift: Matrix: row 1 1.0000,0.0000,0.0000, row 2 0.0000,1.0000,0.0000, row 3 10.0000,0.0000,1.0000\n"
            "Matrix: row 1 1.5000,0.0000,0.0000, row 2 0.0000,1.0000,0.0000, row 3 0.0000,0.0000,1.0000\n",
            out);
}

}  // namespace
