// Pictures of a movie at a time: drawn through the movie's own drawing, leaving its state as it was.
#include "platform/movie/movie_pictures.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PlatformMoviePictures, PictureOfEachTimeKeepsTheMovieAsItWas) {
  bz_test::TempDir dir;
  bz_test::FixtureMovieInfo written;
  bz_test::FixtureMovieSpec spec;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("clip.mov"), spec, &written));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(dir.File("clip.mov"), &movie));
  SetMovieTimeValue(movie, 24);
  PicHandle first = GetMoviePosterPict(movie);
  ASSERT_NE(nullptr, first);
  PicHandle third = GetMoviePict(movie, 2 * 600 / 25);
  ASSERT_NE(nullptr, third);
  EXPECT_EQ(24, GetMovieTime(movie, nullptr));
  CGrafPtr world = reinterpret_cast<CGrafPtr>(1);
  GetMovieGWorld(movie, &world, nullptr);
  EXPECT_EQ(nullptr, world);
  SInt32 width = 0, height = 0;
  const UInt8 *a = nullptr, *b = nullptr;
  ASSERT_EQ(noErr, PL_GetPictureImage(first, &width, &height, &a));
  ASSERT_EQ(noErr, PL_GetPictureImage(third, nullptr, nullptr, &b));
  EXPECT_EQ(spec.width, width);
  EXPECT_EQ(spec.height, height);
  EXPECT_NE(0, std::memcmp(a, b, size_t(width) * size_t(height) * 4));  // the fixture's frames all differ
  KillPicture(first);
  KillPicture(third);
  DisposeMovie(movie);
  EXPECT_EQ(nullptr, GetMoviePict(nullptr, 0));
  EXPECT_EQ(invalidMovie, GetMoviesError());
}

}  // namespace
