// Stepping a movie frame by frame into an offscreen world: each drawing sets the completion flag and leaves
// the frame's picture in the world's buffer.
#include "movie/movie_time.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_properties.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(MovieStepping, EveryStepDrawsItsFrameIntoTheBuffer) {
  bz_test::TempDir dir;
  std::string path = dir.File("steps.mov");
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path, bz_test::FixtureMovieSpec{}, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  // A box away from the origin is moved there, so the world holds exactly the picture.
  Rect box{10, 20, 42, 68};
  SetMovieBox(movie, &box);

  Boolean complete = true;
  GWorldPtr world = nullptr;
  Ptr buffer = nullptr;
  ASSERT_EQ(noErr, QT_PrepareMpegMovieForStepping(movie, &complete, &world, &buffer));
  ASSERT_NE(nullptr, world);
  ASSERT_NE(nullptr, buffer);
  EXPECT_FALSE(complete);
  GetMovieBox(movie, &box);
  EXPECT_EQ(0, box.left);
  EXPECT_EQ(0, box.top);
  EXPECT_EQ(48, box.right);
  EXPECT_EQ(32, box.bottom);
  EXPECT_TRUE(GetMovieActive(movie));
  EXPECT_EQ(0, GetMovieTime(movie, nullptr));
  const SInt32 rowBytes = QTGetPixMapHandleRowBytes(GetGWorldPixMap(world));
  ASSERT_GE(rowBytes, 48 * 2);

  // Frames in order, then one again out of order: each is the written frame, byte for byte.
  for (int frame : {0, 1, 2, 3, 4, 5, 2}) {
    SCOPED_TRACE(::testing::Message() << "frame " << frame);
    complete = false;
    SetMovieTimeValue(movie, frame * 24);  // 1/25 s at the movie's 600
    MoviesTask(movie, 0);
    ASSERT_TRUE(complete);
    EXPECT_EQ(noErr, GetMovieStatus(movie, nullptr));
    const std::vector<uint8_t> &expected = info.frames[size_t(frame)];
    for (int line = 0; line < 32; ++line) {
      ASSERT_EQ(0, std::memcmp(buffer + line * rowBytes, expected.data() + line * 48 * 2, 48 * 2)) << "line " << line;
    }
  }
  SetMovieDrawingCompleteProc(movie, 0, nullptr, 0);
  SetMovieGWorld(movie, nullptr, nullptr);
  DisposeGWorld(world);
  DisposeMovie(movie);
}

TEST(MovieStepping, MoviesWithoutVideoAreRefused) {
  bz_test::BuiltMovie m(600);
  Track sound = bz_test::AddBuiltTrack(m.movie, SoundMediaType, 600, bz_test::Frames({300}));
  bz_test::InsertWholeMedia(sound, 0);
  Boolean complete = false;
  GWorldPtr world = reinterpret_cast<GWorldPtr>(1);
  Ptr buffer = reinterpret_cast<Ptr>(1);
  EXPECT_EQ(kQT_NoVideoTrackErr, QT_PrepareMpegMovieForStepping(m.movie, &complete, &world, &buffer));
  EXPECT_EQ(nullptr, world);
  EXPECT_EQ(nullptr, buffer);
  EXPECT_EQ(paramErr, QT_PrepareMpegMovieForStepping(m.movie, nullptr, &world, &buffer));
  EXPECT_EQ(paramErr, QT_PrepareMpegMovieForStepping(nullptr, &complete, &world, &buffer));
}

}  // namespace
