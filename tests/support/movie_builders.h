// Movies built in memory for tests of time and track questions: tracks of chosen sample durations, sizes
// and sync flags, inserted with chosen edits. Nothing is written to a file; sample data offsets are numbers
// the tests compare with. Also a 'vdva' sound track over a movie's DV frames.
#pragma once

#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "platform/movie/track_editing.h"
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

// A DV source as a camera file holds it: the video track of DV frames and a 'vdva' sound track whose samples
// are the same frames.
inline void AddDVSoundTrack(Movie movie, int rate) {
  Track video = GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType);
  Media videoMedia = GetTrackMedia(video);
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  ASSERT_EQ(noErr, GetMediaDataRef(videoMedia, 1, &dataRef, &dataRefType, nullptr));
  Track sound = NewMovieTrack(movie, 0, 0, 0x100);
  Media soundMedia = NewTrackMedia(sound, SoundMediaType, rate, dataRef, dataRefType);
  ASSERT_EQ(noErr, GetMoviesError());
  DisposeHandle(dataRef);
  auto desc = reinterpret_cast<SoundDescriptionHandle>(NewHandleClear(sizeof(SoundDescription)));
  (**desc).descSize = sizeof(SoundDescription);
  (**desc).dataFormat = 'vdva';
  (**desc).dataRefIndex = 1;
  (**desc).numChannels = 2;
  (**desc).sampleSize = 16;
  (**desc).sampleRate = UInt32(rate) << 16;
  const TimeScale videoScale = GetMediaTimeScale(videoMedia);
  // Every run of frames as the video media keeps them, split into one sound sample per frame.
  for (TimeValue t = 0; t < GetMediaDuration(videoMedia);) {
    SampleReference64Record run{};
    TimeValue runTime = 0;
    SInt32 count = 0;
    ASSERT_EQ(noErr, GetMediaSampleReferences64(videoMedia, t, &runTime, nullptr, nullptr, 1, &count, &run));
    ASSERT_EQ(1, count);
    ASSERT_GT(run.numberOfSamples, 0u);
    const UInt32 frameSize = UInt32(run.dataSize / run.numberOfSamples);
    for (UInt32 i = 0; i < run.numberOfSamples; ++i) {
      SampleReference64Record r{run.dataOffset + SInt64(i) * frameSize, frameSize,
                                TimeValue(SInt64(run.durationPerSample) * rate / videoScale), 1, 0};
      ASSERT_EQ(noErr, AddMediaSampleReferences64(soundMedia, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &r, nullptr));
    }
    t = runTime + TimeValue(run.numberOfSamples) * run.durationPerSample;
  }
  DisposeHandle(reinterpret_cast<Handle>(desc));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(sound, 0, 0, GetMediaDuration(soundMedia), fixed1));
  SetTrackEnabled(sound, true);
}

}  // namespace bz_test
