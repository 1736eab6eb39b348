// Movies built in memory for tests of time and track questions: tracks of chosen sample durations, sizes
// and sync flags, inserted with chosen edits. Nothing is written to a file; sample data offsets are numbers
// the tests compare with.
#pragma once

#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <vector>

namespace bz_test {

struct BuiltSample {
  TimeValue duration;
  UInt32 size = 1000;
  bool sync = true;
};

// A movie that disposes itself.
struct BuiltMovie {
  Movie movie = NewMovie(0);
  BuiltMovie() = default;
  explicit BuiltMovie(TimeScale scale) { SetMovieTimeScale(movie, scale); }
  BuiltMovie(const BuiltMovie &) = delete;
  BuiltMovie &operator=(const BuiltMovie &) = delete;
  ~BuiltMovie() { DisposeMovie(movie); }
};

// Adds a track of `mediaType` whose samples lie one after another from `firstOffset` (each its own record,
// so runs merge only where the toolbox merges them). Sound samples get a sound description. The media is not
// inserted into the track: the caller does that with InsertMediaIntoTrack.
inline Track AddBuiltTrack(Movie movie, OSType mediaType, TimeScale mediaScale, const std::vector<BuiltSample> &samples,
                           SInt64 firstOffset = 16, Fixed width = 48 << 16, Fixed height = 32 << 16) {
  bool sound = mediaType == SoundMediaType;
  Track track = NewMovieTrack(movie, sound ? 0 : width, sound ? 0 : height, sound ? 0x100 : 0);
  Media media = NewTrackMedia(track, mediaType, mediaScale, nullptr, 0);
  EXPECT_EQ(noErr, GetMoviesError());
  Handle desc = sound ? reinterpret_cast<Handle>(NewFixtureSoundDescription(2, mediaScale))
                      : reinterpret_cast<Handle>(NewFixtureImageDescription(Fix2Long(width), Fix2Long(height)));
  if (!sound) {
    // Any other media type keeps the plain head of a description.
    reinterpret_cast<SampleDescription *>(*desc)->dataFormat = mediaType == VideoMediaType ? '2vuy' : 'text';
  }
  SInt64 offset = firstOffset;
  for (const BuiltSample &s : samples) {
    SampleReference64Record r{offset, s.size, s.duration, 1, SInt16(s.sync ? 0 : mediaSampleNotSync)};
    EXPECT_EQ(noErr, AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &r, nullptr));
    offset += s.size;
  }
  DisposeHandle(desc);
  return track;
}

// Frames of equal size and the given durations.
inline std::vector<BuiltSample> Frames(const std::vector<TimeValue> &durations, UInt32 size = 1000) {
  std::vector<BuiltSample> samples;
  for (TimeValue d : durations) samples.push_back(BuiltSample{d, size, true});
  return samples;
}

// The whole media at track time `at` (-1: at the end), rate 1.
inline void InsertWholeMedia(Track track, TimeValue at = 0) {
  Media media = GetTrackMedia(track);
  EXPECT_EQ(noErr, InsertMediaIntoTrack(track, at, 0, GetMediaDuration(media), fixed1));
}

}  // namespace bz_test
