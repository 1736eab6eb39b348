// Reference movies (a new file whose tracks show another movie's data where it lies) and the disposal of
// movie records with their files.
#include "movie/atom_containers.h"
#include "movie/movie_files.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

struct Source {
  bz_test::TempDir dir;
  std::string path = dir.File("source.mov");
  bz_test::FixtureMovieInfo info;
  Movie movie = nullptr;
  Source() {
    EXPECT_EQ(noErr, bz_test::WriteFixtureMovie(path, bz_test::FixtureMovieSpec{}, &info));
    EXPECT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  }
  ~Source() { QT_DisposeMovie(&movie); }
};

Handle DataRefTo(const std::string &path, OSType *type) {
  Handle ref = nullptr;
  EXPECT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &ref, type));
  return ref;
}

TEST(MovieFilesReference, ReferenceMovieShowsTheSourceDataWhereItLies) {
  Source src;
  ASSERT_NE(nullptr, src.movie);
  std::string refPath = src.dir.File("reference.mov");
  bz_test::WriteWholeFile(refPath, {1, 2, 3});  // an old file there is replaced
  OSType type = 0;
  Handle ref = DataRefTo(refPath, &type);
  ASSERT_EQ(noErr, QT_CreateReferenceMovie(src.movie, ref, type, 'TVOD'));
  DisposeHandle(ref);

  std::vector<uint8_t> refBytes = bz_test::ReadWholeFile(refPath);
  std::vector<uint8_t> srcBytes = bz_test::ReadWholeFile(src.path);
  // Only a movie atom: no media data was copied.
  EXPECT_LT(refBytes.size(), srcBytes.size() / 4);

  Movie back = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(refPath, &back));
  EXPECT_EQ(GetMovieTimeScale(src.movie), GetMovieTimeScale(back));
  EXPECT_EQ(GetMovieDuration(src.movie), GetMovieDuration(back));
  ASSERT_EQ(2, GetMovieTrackCount(back));
  Handle data = NewHandle(0);
  for (SInt32 t = 1; t <= 2; ++t) {
    SCOPED_TRACE(::testing::Message() << "track " << t);
    Media a = GetTrackMedia(GetMovieIndTrack(src.movie, t));
    Media b = GetTrackMedia(GetMovieIndTrack(back, t));
    EXPECT_EQ(GetMediaSampleCount(a), GetMediaSampleCount(b));
    EXPECT_EQ(GetMediaTimeScale(a), GetMediaTimeScale(b));
    EXPECT_EQ(GetTrackDuration(GetMovieIndTrack(src.movie, t)), GetTrackDuration(GetMovieIndTrack(back, t)));
    // The reference movie's samples lie in the source file, at the source's offsets.
    SampleReference64Record ra[1], rb[1];
    SInt32 na = 0, nb = 0;
    ASSERT_EQ(noErr, GetMediaSampleReferences64(a, 0, nullptr, nullptr, nullptr, 1, &na, ra));
    ASSERT_EQ(noErr, GetMediaSampleReferences64(b, 0, nullptr, nullptr, nullptr, 1, &nb, rb));
    EXPECT_EQ(ra[0].dataOffset, rb[0].dataOffset);
    EXPECT_EQ(ra[0].dataSize, rb[0].dataSize);
  }
  Media video = GetTrackMedia(GetMovieIndTrack(back, 1));
  for (int frame = 0; frame < 6; ++frame) {
    SInt32 size = 0;
    ASSERT_EQ(noErr, GetMediaSample(video, data, 0, &size, frame * 100, nullptr, nullptr, nullptr, nullptr, 1, nullptr,
                                    nullptr));
    ASSERT_EQ(src.info.frames[size_t(frame)].size(), size_t(size));
    EXPECT_EQ(0, std::memcmp(*data, src.info.frames[size_t(frame)].data(), size_t(size))) << "frame " << frame;
  }
  DisposeHandle(data);
  QT_DisposeMovie(&back);
  EXPECT_EQ(srcBytes, bz_test::ReadWholeFile(src.path));  // the source is only read
}

TEST(MovieFilesReference, TheSourceFileIsNeverTheTarget) {
  Source src;
  ASSERT_NE(nullptr, src.movie);
  std::vector<uint8_t> before = bz_test::ReadWholeFile(src.path);
  // By its path, and by another name of the same file.
  std::string link = src.dir.File("link.mov");
  ASSERT_EQ(0, symlink(src.path.c_str(), link.c_str()));
  for (const std::string &target : {src.path, link}) {
    SCOPED_TRACE(target);
    OSType type = 0;
    Handle ref = DataRefTo(target, &type);
    EXPECT_EQ(paramErr, QT_CreateReferenceMovie(src.movie, ref, type, 'TVOD'));
    DisposeHandle(ref);
    EXPECT_EQ(before, bz_test::ReadWholeFile(src.path));
  }
  // A reference movie made from a reference movie must not replace the file its data lies in either.
  std::string first = src.dir.File("first.mov");
  OSType type = 0;
  Handle ref = DataRefTo(first, &type);
  ASSERT_EQ(noErr, QT_CreateReferenceMovie(src.movie, ref, type, 'TVOD'));
  DisposeHandle(ref);
  Movie refMovie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(first, &refMovie));
  ref = DataRefTo(src.path, &type);
  EXPECT_EQ(paramErr, QT_CreateReferenceMovie(refMovie, ref, type, 'TVOD'));
  DisposeHandle(ref);
  QT_DisposeMovie(&refMovie);
  EXPECT_EQ(before, bz_test::ReadWholeFile(src.path));

  EXPECT_EQ(paramErr, QT_CreateReferenceMovie(nullptr, ref, type, 'TVOD'));
  EXPECT_EQ(paramErr, QT_CreateReferenceMovie(src.movie, nullptr, type, 'TVOD'));
}

TEST(MovieFilesDispose, MovieRecordsAreDisposedClosedAndCleared) {
  Source src;
  ASSERT_NE(nullptr, src.movie);
  // The handle form: the movie goes with its record.
  QT_MovieDataHandle h = reinterpret_cast<QT_MovieDataHandle>(NewHandleClear(sizeof(QT_MovieData)));
  ASSERT_NE(nullptr, h);
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(src.path, &(**h).movie));
  QT_DisposeMovieData(h);
  QT_DisposeMovieData(nullptr);

  // The three records: forks closed, description disposed, every record zeroed.
  QT_MovieIoData io{};
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(src.path, &io.movie));
  ASSERT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(src.path.c_str()), &io.fileRef, nullptr));
  ASSERT_EQ(noErr, FSOpenFork(&io.fileRef, 0, nullptr, fsRdPerm, &io.fileID[0]));
  ASSERT_EQ(noErr, FSOpenFork(&io.fileRef, 0, nullptr, fsRdPerm, &io.fileID[1]));
  SInt16 forks[2] = {io.fileID[0], io.fileID[1]};
  QT_MoviePlaybackData play{};
  play.movie = io.movie;
  play.numFrames = 6;
  QT_MediaData media{};
  media.movie = io.movie;
  media.imageDesc = bz_test::NewFixtureImageDescription(48, 32);
  media.numFrames = 6;
  EXPECT_EQ(noErr, QT_DisposeMovieExt(&io, &play, &media));
  const auto zero = [](const void *p, size_t n) {
    const auto *b = static_cast<const UInt8 *>(p);
    return std::all_of(b, b + n, [](UInt8 x) { return x == 0; });
  };
  EXPECT_TRUE(zero(&io, sizeof(io)));
  EXPECT_TRUE(zero(&play, sizeof(play)));
  EXPECT_TRUE(zero(&media, sizeof(media)));
  // The forks are closed: their numbers are no longer valid.
  for (SInt16 fork : forks) {
    SInt64 size = 0;
    EXPECT_NE(noErr, FSGetForkSize(fork, &size)) << "fork " << fork;
  }
  // Empty and missing records are fine.
  EXPECT_EQ(noErr, QT_DisposeMovieExt(&io, &play, &media));
  EXPECT_EQ(noErr, QT_DisposeMovieExt(nullptr, nullptr, nullptr));
}

}  // namespace
