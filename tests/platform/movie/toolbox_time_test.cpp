// Interesting-time searches, time bases, edit rates, sample reads into buffers and media data sizes.
#include "platform/movie/toolbox_time.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using bz_test::BuiltMovie;
using bz_test::Frames;

constexpr OSType kEyes = VisualMediaCharacteristic;

struct Hit {
  TimeValue time, duration;
};

Hit MovieSearch(Movie movie, SInt16 flags, TimeValue time, Fixed rate = fixed1) {
  Hit h{-2, -2};
  GetMovieNextInterestingTime(movie, flags, 1, &kEyes, time, rate, &h.time, &h.duration);
  EXPECT_EQ(noErr, GetMoviesError());
  return h;
}

// Frames at movie scale 600 from media at 2500: 100 media units are 24 movie units.
TEST(PlatformToolboxTime, StepsOverFramesBothWays) {
  BuiltMovie m(600);
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 2500, Frames({100, 300, 50, 100}));
  bz_test::InsertWholeMedia(t);
  const struct {
    SInt16 flags;
    TimeValue time;
    Fixed rate;
    TimeValue expectTime, expectDuration;
  } cases[] = {
      {nextTimeStep | nextTimeEdgeOK, 0, fixed1, 0, 24},
      {nextTimeStep, 0, fixed1, 24, 72},
      {nextTimeMediaSample, 23, fixed1, 24, 72},
      {nextTimeStep, 96, fixed1, 108, 24},
      {nextTimeStep | nextTimeEdgeOK, 96, fixed1, 96, 12},
      {nextTimeStep, 108, fixed1, -1, 0},   // the last frame has no next one
      {nextTimeStep, 100, -fixed1, 96, 12},
      {nextTimeStep, 96, -fixed1, 24, 72},
      {nextTimeStep | nextTimeEdgeOK, 96, -fixed1, 96, 12},
      {nextTimeStep, 0, -fixed1, -1, 0},
      {nextTimeStep, 500, -fixed1, 108, 24},  // from beyond the end, the last frame
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << "flags " << c.flags << " from " << c.time << " rate " << c.rate);
    Hit h = MovieSearch(m.movie, c.flags, c.time, c.rate);
    EXPECT_EQ(c.expectTime, h.time);
    EXPECT_EQ(c.expectDuration, h.duration);
  }
  EXPECT_EQ(132, GetTrackDuration(t));
}

TEST(PlatformToolboxTime, EmptyEditsEditFlagsAndDisabledTracks) {
  BuiltMovie m(600);
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 600, Frames({20, 20, 20}));
  bz_test::InsertWholeMedia(t, 100);  // an empty edit of 100 before the media
  EXPECT_EQ(100, GetTrackOffset(t));
  Hit h = MovieSearch(m.movie, nextTimeStep | nextTimeEdgeOK, 0);
  EXPECT_EQ(100, h.time);
  EXPECT_EQ(20, h.duration);
  h = MovieSearch(m.movie, nextTimeStep, 50, -fixed1);
  EXPECT_EQ(-1, h.time);
  // Track edits: the empty one counts, at its start.
  TimeValue time = 0, duration = 0;
  GetTrackNextInterestingTime(t, nextTimeTrackEdit | nextTimeEdgeOK, 0, fixed1, &time, &duration);
  EXPECT_EQ(0, time);
  EXPECT_EQ(100, duration);
  GetTrackNextInterestingTime(t, nextTimeMediaEdit | nextTimeEdgeOK, 0, fixed1, &time, &duration);
  EXPECT_EQ(100, time);
  EXPECT_EQ(60, duration);
  GetTrackNextInterestingTime(t, nextTimeTrackEdit, 0, fixed1, &time, &duration);
  EXPECT_EQ(100, time);

  // A disabled track is not searched in the movie, but can be searched on its own.
  SetTrackEnabled(t, false);
  h = MovieSearch(m.movie, nextTimeStep | nextTimeEdgeOK, 0);
  EXPECT_EQ(-1, h.time);
  GetTrackNextInterestingTime(t, nextTimeStep | nextTimeEdgeOK, 0, fixed1, &time, &duration);
  EXPECT_EQ(100, time);

  // Sound tracks are not visual; all enabled tracks are searched when no type is given.
  Track sound = bz_test::AddBuiltTrack(m.movie, SoundMediaType, 600, Frames({7, 7}));
  bz_test::InsertWholeMedia(sound, 0);
  h = MovieSearch(m.movie, nextTimeStep | nextTimeEdgeOK, 0);
  EXPECT_EQ(-1, h.time);
  GetMovieNextInterestingTime(m.movie, nextTimeStep, 0, nullptr, 0, fixed1, &time, &duration);
  EXPECT_EQ(7, time);
  // Sync-sample searches are not offered.
  GetMovieNextInterestingTime(m.movie, nextTimeSyncSample, 0, nullptr, 0, fixed1, &time, &duration);
  EXPECT_EQ(paramErr, GetMoviesError());
  EXPECT_EQ(-1, time);
}

// Samples shorter than a movie time unit are never shown: the search steps over them and never stalls.
TEST(PlatformToolboxTime, SamplesShorterThanAMovieUnitAreSkipped) {
  BuiltMovie m(10);
  // At media scale 1000, one movie unit is 100 media units.
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 1000, Frames({150, 20, 20, 210, 0, 100}));
  bz_test::InsertWholeMedia(t);
  std::vector<Hit> hits;
  TimeValue time = 0, duration = 0;
  SInt16 flags = nextTimeStep | nextTimeEdgeOK;
  for (TimeValue from = 0; hits.size() < 10; flags = nextTimeStep) {
    GetTrackNextInterestingTime(t, flags, from, fixed1, &time, &duration);
    if (time < 0) break;
    ASSERT_GT(duration, 0);
    hits.push_back(Hit{time, duration});
    from = time;
  }
  // Media [0,150) [150,170) [170,190) [190,400) [400,400) [400,500); movie unit t shows media 100 t, so
  // units 0-1 show the first sample, 2-3 the fourth and 4 the last; the short ones are never shown.
  ASSERT_EQ(3u, hits.size());
  EXPECT_EQ(0, hits[0].time);
  EXPECT_EQ(2, hits[0].duration);
  EXPECT_EQ(2, hits[1].time);
  EXPECT_EQ(2, hits[1].duration);
  EXPECT_EQ(4, hits[2].time);
  EXPECT_EQ(1, hits[2].duration);
}

TEST(PlatformToolboxTime, EditRatesAndScaledEdits) {
  BuiltMovie m(600);
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 600, Frames({30, 30, 30, 30}));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(t, 0, 0, 60, fixed1));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(t, -1, 60, 60, 2 * fixed1));  // played twice as fast: 30 movie units
  EXPECT_EQ(90, GetTrackDuration(t));
  EXPECT_EQ(fixed1, GetTrackEditRate64(t, 59));
  EXPECT_EQ(2 * fixed1, GetTrackEditRate(t, 60));
  EXPECT_EQ(0, GetTrackEditRate64(t, 90));
  EXPECT_EQ(timeNotInTrack, GetMoviesError());
  TimeValue time = 0, duration = 0;
  GetTrackNextInterestingTime(t, nextTimeStep, 60, fixed1, &time, &duration);
  EXPECT_EQ(75, time);
  EXPECT_EQ(15, duration);
  // Each new edit starts a new stretch even inside one sample.
  GetTrackNextInterestingTime(t, nextTimeStep, 30, fixed1, &time, &duration);
  EXPECT_EQ(60, time);
}

TEST(PlatformToolboxTime, TimeBasesCurrentTimeAndSelection) {
  BuiltMovie m(2997);
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 2997, Frames({100, 100}));
  bz_test::InsertWholeMedia(t);
  TimeRecord tr{};
  EXPECT_EQ(0, GetTimeBaseStartTime(GetMovieTimeBase(m.movie), 0, &tr));
  EXPECT_EQ(2997, tr.scale);
  GetTimeBaseStartTime(GetMovieTimeBase(m.movie), 600, &tr);
  EXPECT_EQ(600, tr.scale);
  SetMovieTimeValue(m.movie, 150);
  EXPECT_EQ(150, GetMovieTime(m.movie, &tr));
  EXPECT_EQ(150, PL_WideToSInt64(tr.value));
  EXPECT_EQ(GetMovieTimeBase(m.movie), tr.base);
  SetMovieTimeValue(m.movie, 5000);
  EXPECT_EQ(200, GetMovieTime(m.movie, nullptr));
  SetMovieSelection(m.movie, 10, 20);
  TimeValue start = 0, duration = 0;
  GetMovieSelection(m.movie, &start, &duration);
  EXPECT_EQ(10, start);
  EXPECT_EQ(20, duration);
}

TEST(PlatformToolboxTime, MediaStepsHandlersAndDataSizes) {
  BuiltMovie m(600);
  std::vector<bz_test::BuiltSample> samples = {{3003, 100}, {3003, 200}, {1501, 300}, {3003, 400}};
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 90000, samples);
  bz_test::InsertWholeMedia(t);
  Media media = GetTrackMedia(t);
  MediaHandler mh = GetMediaHandler(media);
  TimeValue next = 0;
  EXPECT_EQ(noErr, MediaGetNextStepTime(mh, nextTimeStep, 0, &next, fixed1));
  EXPECT_EQ(3003, next);
  EXPECT_EQ(noErr, MediaGetNextStepTime(mh, nextTimeStep, 7000, &next, -fixed1));
  EXPECT_EQ(6006, next);
  SInt32 mode = -1;
  EXPECT_EQ(noErr, MediaGetGraphicsMode(mh, &mode, nullptr));
  EXPECT_EQ(64, mode);  // dither copy, as new video media get

  SInt64 size = 0;
  ASSERT_EQ(noErr, GetMediaDataSizeTime64(media, 0, 6006, &size));
  EXPECT_EQ(300, size);
  ASSERT_EQ(noErr, GetMediaDataSizeTime64(media, 3000, 10, &size));  // touches the first two samples
  EXPECT_EQ(300, size);
  ASSERT_EQ(noErr, GetMediaDataSize64(media, 0, GetMediaDuration(media), &size));
  EXPECT_EQ(1000, size);
  EXPECT_EQ(invalidTime, GetMediaDataSizeTime64(media, -1, 10, &size));
  EXPECT_EQ(0, GetMediaDisplayStartTime(media));
  EXPECT_EQ(10510, GetMediaDisplayDuration(media));

  // A sound track has no graphics mode.
  Track sound = bz_test::AddBuiltTrack(m.movie, SoundMediaType, 48000, Frames({1, 1}));
  EXPECT_EQ(invalidHandler, MediaGetGraphicsMode(GetMediaHandler(GetTrackMedia(sound)), &mode, nullptr));
}

TEST(PlatformToolboxTime, GetMediaSample2ReportsTheSizeItNeeds) {
  bz_test::TempDir dir;
  std::string path = dir.File("fixture.mov");
  bz_test::FixtureMovieInfo info;
  bz_test::FixtureMovieSpec spec;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path, spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  Media video = GetTrackMedia(GetMovieIndTrack(movie, 1));
  std::vector<UInt8> buffer(100);
  ByteCount size = 0;
  ItemCount count = 0;
  EXPECT_EQ(maxSizeToGrowTooSmall, GetMediaSample2(video, buffer.data(), ByteCount(buffer.size()), &size, 200, nullptr,
                                                   nullptr, nullptr, nullptr, nullptr, 0, &count, nullptr));
  EXPECT_EQ(info.frames[2].size(), size);
  EXPECT_EQ(1u, count);
  buffer.resize(size);
  TimeValue64 decodeTime = -1, duration = -1, offset = -1;
  MediaSampleFlags flags = 99;
  ASSERT_EQ(noErr, GetMediaSample2(video, buffer.data(), size, &size, 250, &decodeTime, &duration, &offset, nullptr,
                                   nullptr, 1, &count, &flags));
  EXPECT_EQ(info.frames[2], buffer);
  EXPECT_EQ(200, decodeTime);
  EXPECT_EQ(100, duration);
  EXPECT_EQ(0, offset);
  EXPECT_EQ(0u, flags);
  // Sound: no limit reads the run.
  Media sound = GetTrackMedia(GetMovieIndTrack(movie, 2));
  EXPECT_EQ(maxSizeToGrowTooSmall, GetMediaSample2(sound, buffer.data(), 4, &size, 0, nullptr, nullptr, nullptr,
                                                   nullptr, nullptr, 0, &count, nullptr));
  EXPECT_EQ(info.soundChunkSamples[0] * 4, size);
  EXPECT_EQ(invalidTime, GetMediaSample2(video, buffer.data(), size, &size, 600, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, 0, &count, nullptr));
  DisposeMovie(movie);
}

}  // namespace
