// The AIFF importer: a track made at the asked-for time over the file's samples, the flags it refuses, its
// progress and its stop, and files that are no AIFF leaving the movie as it was.
#include "platform/movie/importers.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/sound_files.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// An AIFF-C file of 16-bit mono samples 0, 1, 2, ... at 8000 Hz.
void WriteAIFF(const std::string &path, UInt32 frames) {
  bz_test::WriteWholeFile(path, {});
  FSRef ref{};
  ASSERT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr));
  FSIORefNum fork = 0;
  ASSERT_EQ(noErr, FSOpenFork(&ref, 0, nullptr, fsRdWrPerm, &fork));
  ASSERT_EQ(noErr, SetupAIFFHeader(fork, 1, 8000u << 16, 16, 'twos', frames * 2, frames));
  std::vector<UInt8> bytes;
  for (UInt32 i = 0; i < frames; ++i) {
    bytes.push_back(UInt8(i >> 8));
    bytes.push_back(UInt8(i));
  }
  ASSERT_EQ(noErr, FSWriteFork(fork, fsAtMark, 0, bytes.size(), bytes.data(), nullptr));
  FSCloseFork(fork);
}

struct Calls {
  int open = 0, update = 0, close = 0;
  OSErr answer = noErr;
};

OSErr Count(Movie, SInt16 message, SInt16 operation, Fixed, SRefCon refcon) {
  auto *calls = static_cast<Calls *>(refcon);
  EXPECT_EQ(progressOpImportMovie, operation);
  if (message == movieProgressOpen) ++calls->open;
  if (message == movieProgressUpdatePercent) ++calls->update;
  if (message == movieProgressClose) ++calls->close;
  return message == movieProgressUpdatePercent ? calls->answer : OSErr(noErr);
}

TEST(PlatformAIFFImporter, ImportsAtTheTimeAskedForAndRefusesWhatItCannotDo) {
  bz_test::TempDir dir;
  std::string path = dir.File("in.aif");
  WriteAIFF(path, 4000);
  Handle dataRef = nullptr;
  OSType type = 0;
  ASSERT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type));
  MovieImportComponent ci = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent(MovieImportType, 'AIFF', &ci));
  Calls calls;
  ASSERT_EQ(noErr, MovieImportSetProgressProc(ci, Count, &calls));
  Movie movie = NewMovie(0);  // time scale 600

  Track track = nullptr;
  TimeValue added = -1;
  SInt32 outFlags = -1;
  // Only new tracks are made.
  EXPECT_EQ(paramErr, MovieImportDataRef(ci, dataRef, type, movie, nullptr, &track, 0, &added, 0, &outFlags));
  EXPECT_EQ(nullptr, track);
  ASSERT_EQ(noErr, MovieImportDataRef(ci, dataRef, type, movie, nullptr, &track, 300, &added, movieImportCreateTrack,
                                      &outFlags));
  ASSERT_NE(nullptr, track);
  EXPECT_EQ(300, added);  // half a second in movie time
  EXPECT_EQ(0, outFlags);
  EXPECT_EQ(600, GetTrackDuration(track));
  EXPECT_EQ(TimeValue(-1), TrackTimeToMediaTime(100, track));
  EXPECT_EQ(0, TrackTimeToMediaTime(300, track));
  Media media = GetTrackMedia(track);
  Handle data = NewHandle(0);
  SInt32 size = 0;
  ASSERT_EQ(noErr, GetMediaSample(media, data, 0, &size, 1000, nullptr, nullptr, nullptr, nullptr, 2, nullptr, nullptr));
  ASSERT_EQ(4, size);
  EXPECT_EQ(0, std::memcmp(*data, "\x03\xE8\x03\xE9", 4));
  DisposeHandle(data);
  EXPECT_EQ(1, calls.open);  // the refused call did not get that far
  EXPECT_EQ(1, calls.update);

  // A stop asked for by the progress procedure leaves no track behind.
  calls.answer = userCanceledErr;
  EXPECT_EQ(userCanceledErr, MovieImportDataRef(ci, dataRef, type, movie, nullptr, &track, 0, nullptr,
                                                movieImportCreateTrack, nullptr));
  EXPECT_EQ(1, GetMovieTrackCount(movie));
  calls.answer = noErr;

  // Files that are no AIFF, or whose sound has no frames.
  for (std::vector<uint8_t> bytes : {std::vector<uint8_t>(64, 7), std::vector<uint8_t>{}}) {
    bz_test::WriteWholeFile(path, bytes);
    EXPECT_NE(noErr, MovieImportDataRef(ci, dataRef, type, movie, nullptr, &track, 0, nullptr, movieImportCreateTrack,
                                        nullptr));
    EXPECT_EQ(nullptr, track);
  }
  WriteAIFF(path, 0);
  EXPECT_EQ(kPL_AIFFFormatErr, MovieImportDataRef(ci, dataRef, type, movie, nullptr, &track, 0, nullptr,
                                                  movieImportCreateTrack, nullptr));
  EXPECT_EQ(1, GetMovieTrackCount(movie));
  EXPECT_EQ(calls.open, calls.close);

  DisposeMovie(movie);
  CloseComponent(ci);
  DisposeHandle(dataRef);
}

}  // namespace
