// Aperture-mode properties, clip regions, the movie box and mattes of the movie stand-in.
#include "platform/movie/movie_properties.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using bz_test::BuiltMovie;

// A video track of two frames shown from time 0.
Track VideoTrack(Movie movie, Fixed width, Fixed height) {
  Track t = bz_test::AddBuiltTrack(movie, VideoMediaType, 600, bz_test::Frames({20, 20}), 16, width, height);
  bz_test::InsertWholeMedia(t);
  return t;
}

// Stores the movie in a file and opens it again, so that what is kept is what the file holds.
Movie ThroughFile(Movie movie, const std::string &path) {
  std::vector<UInt8> atom;
  EXPECT_EQ(noErr, PL_BuildMovieAtom(movie, path, &atom));
  std::vector<UInt8> file(8 + atom.size());
  PL_PutBE32(file.data(), 8);
  PL_PutBE32(file.data() + 4, 'mdat');
  std::copy(atom.begin(), atom.end(), file.begin() + 8);
  EXPECT_TRUE(bz_test::WriteWholeFile(path, file));
  Movie back = nullptr;
  EXPECT_EQ(noErr, bz_test::OpenMovieAtPath(path, &back));
  return back;
}

TEST(PlatformMovieProperties, ApertureDimensionsAndModes) {
  BuiltMovie m;
  Track t = VideoTrack(m.movie, 720 << 16, 576 << 16);
  Boolean has = true;
  ASSERT_EQ(noErr, QTGetTrackProperty(t, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions, 1,
                                      &has, nullptr));
  EXPECT_FALSE(has);
  FixedPoint dims{};
  EXPECT_EQ(kQTPropertyNotSupportedErr,
            QTGetTrackProperty(t, kQTPropertyClass_Visual, kQTVisualPropertyID_CleanApertureDimensions, 8, &dims, nullptr));
  const FixedPoint clean{704 << 16, 576 << 16}, prod{720 << 16, 576 << 16}, enc{720 << 16, 576 << 16};
  ASSERT_EQ(noErr, QTSetTrackProperty(t, kQTPropertyClass_Visual, kQTVisualPropertyID_CleanApertureDimensions, 8, &clean));
  ASSERT_EQ(noErr, QTSetTrackProperty(t, kQTPropertyClass_Visual, kQTVisualPropertyID_ProductionApertureDimensions, 8, &prod));
  ASSERT_EQ(noErr, QTSetTrackProperty(t, kQTPropertyClass_Visual, kQTVisualPropertyID_EncodedPixelsDimensions, 8, &enc));
  EXPECT_EQ(kQTPropertyBadValueSizeErr,
            QTSetTrackProperty(t, kQTPropertyClass_Visual, kQTVisualPropertyID_CleanApertureDimensions, 4, &clean));
  EXPECT_EQ(kQTPropertyReadOnlyErr,
            QTSetTrackProperty(t, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions, 1, &has));
  ByteCount used = 0;
  ASSERT_EQ(noErr, QTGetMovieProperty(m.movie, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions,
                                      1, &has, &used));
  EXPECT_TRUE(has);
  EXPECT_EQ(1u, used);

  OSType mode = 0;
  ASSERT_EQ(noErr, QTGetMovieProperty(m.movie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, 4, &mode, nullptr));
  EXPECT_EQ(OSType(kQTApertureMode_Classic), mode);
  mode = kQTApertureMode_CleanAperture;
  ASSERT_EQ(noErr, QTSetMovieProperty(m.movie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, 4, &mode));
  Fixed w = 0, h = 0;
  GetTrackDimensions(t, &w, &h);
  EXPECT_EQ(704 << 16, w);
  mode = 'what';
  EXPECT_EQ(paramErr, QTSetMovieProperty(m.movie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, 4, &mode));

  // The dimensions are kept by the file.
  bz_test::TempDir dir;
  Movie back = ThroughFile(m.movie, dir.File("tapt.mov"));
  ASSERT_EQ(noErr, QTGetTrackProperty(GetMovieIndTrack(back, 1), kQTPropertyClass_Visual,
                                      kQTVisualPropertyID_CleanApertureDimensions, 8, &dims, nullptr));
  EXPECT_EQ(clean.x, dims.x);
  DisposeMovie(back);
}

TEST(PlatformMovieProperties, ClipRegionsSurviveTheFile) {
  BuiltMovie m;
  Track t = VideoTrack(m.movie, 720 << 16, 576 << 16);
  EXPECT_EQ(nullptr, GetTrackClipRgn(t));
  EXPECT_EQ(noErr, GetMoviesError());
  // A rectangle with a notch and a separate block: not rectangular.
  RgnHandle clip = NewRgn(), part = NewRgn();
  SetRectRgn(clip, 8, 0, 712, 576);
  SetRectRgn(part, 100, 100, 200, 150);
  DiffRgn(clip, part, clip);
  SetRectRgn(part, 800, 10, 810, 20);
  UnionRgn(clip, part, clip);
  SetTrackClipRgn(t, clip);
  ASSERT_EQ(noErr, GetMoviesError());
  RgnHandle got = GetTrackClipRgn(t);
  ASSERT_NE(nullptr, got);
  EXPECT_TRUE(EqualRgn(clip, got));
  DisposeRgn(got);

  bz_test::TempDir dir;
  Movie back = ThroughFile(m.movie, dir.File("clip.mov"));
  got = GetTrackClipRgn(GetMovieIndTrack(back, 1));
  ASSERT_NE(nullptr, got);
  EXPECT_TRUE(EqualRgn(clip, got));
  DisposeRgn(got);

  // A rectangle, then none.
  SetRectRgn(clip, 0, 0, 16, 16);
  SetTrackClipRgn(GetMovieIndTrack(back, 1), clip);
  got = GetTrackClipRgn(GetMovieIndTrack(back, 1));
  EXPECT_TRUE(EqualRgn(clip, got));
  DisposeRgn(got);
  SetTrackClipRgn(GetMovieIndTrack(back, 1), nullptr);
  EXPECT_EQ(nullptr, GetTrackClipRgn(GetMovieIndTrack(back, 1)));
  DisposeMovie(back);
  DisposeRgn(clip);
  DisposeRgn(part);
}

TEST(PlatformMovieProperties, DamagedClipRegionsGiveAnError) {
  const std::vector<std::vector<UInt8>> damaged = {
      {0, 9, 0, 0, 0, 0, 0, 10, 0, 10},                                    // size below 10
      {0, 40, 0, 0, 0, 0, 0, 10, 0, 10},                                   // size past the data
      {0, 18, 0, 0, 0, 0, 0, 10, 0, 10, 0, 0, 0, 2, 0x7F, 0xFF, 0x7F, 0xFF},  // an inversion left open
      {0, 14, 0, 0, 0, 0, 0, 10, 0, 10, 0, 5, 0, 2},                       // cut inside a line
  };
  for (const auto &bytes : damaged) {
    BuiltMovie m;
    Track t = NewMovieTrack(m.movie, 16 << 16, 16 << 16, 0);
    PL_AtomWriter w;
    w.Begin('crgn');
    w.PutBytes(bytes.data(), bytes.size());
    w.End();
    t->extras.push_back(PL_RawAtom{'clip', w.bytes});
    EXPECT_EQ(nullptr, GetTrackClipRgn(t));
    EXPECT_EQ(kPL_MovieAtomErr, GetMoviesError());
  }
}

TEST(PlatformMovieProperties, MovieBoxFollowsTrackAndMovieMatrices) {
  BuiltMovie m;
  Rect box{1, 1, 1, 1};
  GetMovieBox(m.movie, &box);
  EXPECT_EQ(0, box.right);
  Track a = NewMovieTrack(m.movie, 720 << 16, 576 << 16, 0);
  Track b = NewMovieTrack(m.movie, 100 << 16, 50 << 16, 0);
  MatrixRecord mx;
  SetIdentityMatrix(&mx);
  TranslateMatrix(&mx, 700 << 16, 600 << 16);
  SetTrackMatrix(b, &mx);
  GetMovieBox(m.movie, &box);
  EXPECT_EQ(0, box.left);
  EXPECT_EQ(800, box.right);
  EXPECT_EQ(650, box.bottom);
  SetTrackEnabled(b, false);
  GetMovieBox(m.movie, &box);
  EXPECT_EQ(720, box.right);
  const Rect target{10, 20, 298, 380};  // half size, moved
  SetMovieBox(m.movie, &target);
  GetMovieBox(m.movie, &box);
  EXPECT_EQ(10, box.top);
  EXPECT_EQ(20, box.left);
  EXPECT_EQ(298, box.bottom);
  EXPECT_EQ(380, box.right);
  (void)a;
  EXPECT_FALSE(PL_TrackHasMatte(a));
  a->extras.push_back(PL_RawAtom{'matt', {}});
  EXPECT_TRUE(PL_TrackHasMatte(a));
}

}  // namespace
