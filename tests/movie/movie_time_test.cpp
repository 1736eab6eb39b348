#include "movie/movie_time.h"

#include "general/memory_lists.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using bz_test::BuiltMovie;
using bz_test::Frames;

// One video track whose whole media is shown from `at`.
Track VideoAt(Movie movie, TimeScale mediaScale, const std::vector<TimeValue> &durations, TimeValue at = 0) {
  Track t = bz_test::AddBuiltTrack(movie, VideoMediaType, mediaScale, Frames(durations));
  bz_test::InsertWholeMedia(t, at);
  return t;
}

TEST(MovieTime, FrameNumbersAndTimesOfAConstantMovie) {
  BuiltMovie m(30000);
  VideoAt(m.movie, 30000, std::vector<TimeValue>(5, 1001));
  TimeValue start = -2, duration = -2;
  EXPECT_EQ(0, QT_MovieTimeToFrameNumber(m.movie, 1000, &start, &duration));
  EXPECT_EQ(0, start);
  EXPECT_EQ(1001, duration);
  EXPECT_EQ(1, QT_MovieTimeToFrameNumber(m.movie, 1001, &start, &duration));
  EXPECT_EQ(1001, start);
  EXPECT_EQ(4, QT_MovieTimeToFrameNumber(m.movie, 5004, &start, &duration));
  EXPECT_EQ(-1, QT_MovieTimeToFrameNumber(m.movie, 5005, &start, &duration));
  EXPECT_EQ(-1, start);
  EXPECT_EQ(2002, QT_MovieFrameNumberToTime(m.movie, 2));
  EXPECT_EQ(5005, QT_MovieFrameNumberToTime(m.movie, 5));  // the count gives the movie duration
  EXPECT_EQ(-1, QT_MovieFrameNumberToTime(m.movie, 6));
  EXPECT_EQ(-1, QT_MovieFrameNumberToTime(m.movie, -1));
  SInt32 count = 0;
  EXPECT_EQ(noErr, QT_CountMovieFrames(m.movie, &count, nullptr));
  EXPECT_EQ(5, count);
  EXPECT_EQ(1001, QT_GetLastMovieDuration(m.movie));
  EXPECT_NEAR(5005.0 / 30000.0, QT_GetMovieDurationInSec(m.movie), 1e-6);
}

// The next interesting time with the duration up to the one after it; the last frame's duration runs to the
// video end, and a search that finds nothing gives -1 with duration 0.
TEST(MovieTime, NextInterestingTimeAndItsDuration) {
  BuiltMovie m(600);
  VideoAt(m.movie, 600, {20, 40, 10, 30}, 60);  // frames at 60, 80, 120, 130; the video ends at 160
  const OSType visual = VisualMediaCharacteristic;
  struct Case {
    SInt16 flags;
    TimeValue from;
    Fixed rate;
    TimeValue next;
    TimeValue duration;
  };
  const Case cases[] = {
      {nextTimeStep | nextTimeEdgeOK, 0, fixed1, 60, 20},    // the first frame from before the video
      {nextTimeStep | nextTimeEdgeOK, 80, fixed1, 80, 40},   // edge OK finds the frame starting there
      {nextTimeStep, 80, fixed1, 120, 10},                   // without it, the next one
      {nextTimeStep, 120, fixed1, 130, 30},                  // the last frame: up to the video end
      {nextTimeStep, 130, fixed1, -1, 0},                    // nothing after the last frame
      {nextTimeStep, 130, -fixed1, 120, -40},                // backwards: the frame before, measured to 80
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "flags " << c.flags << " from " << c.from << " rate " << c.rate);
    TimeValue next = -2, duration = -2;
    QT_GetMovieNextInterestingTime(m.movie, c.flags, 1, &visual, c.from, c.rate, &next, &duration);
    EXPECT_EQ(c.next, next);
    EXPECT_EQ(c.duration, duration);
  }
  // Null outputs are not written.
  QT_GetMovieNextInterestingTime(m.movie, nextTimeStep, 1, &visual, 0, fixed1, nullptr, nullptr);
}

// Video starting after an empty edit, a sound track that lasts longer, and variable frame durations.
TEST(MovieTime, LateVideoLongerSoundAndVariableDurations) {
  BuiltMovie m(600);
  Track video = VideoAt(m.movie, 600, {20, 40, 10, 30}, 60);
  Track sound = bz_test::AddBuiltTrack(m.movie, SoundMediaType, 600, Frames({300}));
  bz_test::InsertWholeMedia(sound, 0);
  TimeValue start = 0, end = 0;
  EXPECT_EQ(100, QT_GetMovieVideoDuration(m.movie, &start, &end));
  EXPECT_EQ(60, start);
  EXPECT_EQ(160, end);
  EXPECT_EQ(300, QT_GetMovieSoundDuration(m.movie, &start, &end));
  EXPECT_EQ(0, start);

  const struct {
    TimeValue time;
    SInt32 frame;
    TimeValue start, duration;
  } cases[] = {{0, 0, 60, 20}, {59, 0, 60, 20}, {79, 0, 60, 20}, {80, 1, 80, 40},
               {125, 2, 120, 10}, {130, 3, 130, 30}, {159, 3, 130, 30}, {160, -1, -1, 0}};
  for (const auto &c : cases) {
    TimeValue s = -2, d = -2;
    EXPECT_EQ(c.frame, QT_MovieTimeToFrameNumber(m.movie, c.time, &s, &d)) << c.time;
    EXPECT_EQ(c.start, s) << c.time;
    EXPECT_EQ(c.duration, d) << c.time;
  }
  // Frame n = 4 (the count) gives the movie duration, which the sound makes longer than the video.
  EXPECT_EQ(130, QT_MovieFrameNumberToTime(m.movie, 3));
  EXPECT_EQ(300, QT_MovieFrameNumberToTime(m.movie, 4));
  EXPECT_EQ(30, QT_GetLastMovieDuration(m.movie));

  // Stepping forward and back, the last frame ending at the video end.
  TimeValue t = 0, d = 0;
  QT_GetMovieVideoNextTime(m.movie, 130, 0, &t, &d);
  EXPECT_EQ(-1, t);
  EXPECT_EQ(0, d);
  QT_GetMovieVideoNextTime(m.movie, 129, 0, &t, &d);
  EXPECT_EQ(130, t);
  EXPECT_EQ(30, d);
  QT_GetMovieVideoNextTime(m.movie, 0, nextTimeEdgeOK, &t, &d);
  EXPECT_EQ(60, t);
  QT_GetMovieVideoPrevTime(m.movie, -1, 130, 0, &t, &d);
  EXPECT_EQ(120, t);
  EXPECT_EQ(10, d);
  QT_GetMovieVideoPrevTime(m.movie, -1, 200, 0, &t, &d);
  EXPECT_EQ(130, t);
  EXPECT_EQ(30, d);
  // On the track: frames count from 1, the last ends at the track duration.
  EXPECT_EQ(80, QT_TrackFrameNumberToTrackTime(video, 2));
  EXPECT_EQ(160, QT_TrackFrameNumberToTrackTime(video, 5));
  EXPECT_EQ(-1, QT_TrackFrameNumberToTrackTime(video, 6));
  EXPECT_EQ(-1, QT_TrackFrameNumberToTrackTime(video, 0));
  EXPECT_EQ(2, QT_TrackTimeToTrackFrameNumber(video, 80));
  EXPECT_EQ(-1, QT_TrackTimeToTrackFrameNumber(video, 160));
  QT_GetTrackNextTime(video, 130, 0, &t, &d);
  EXPECT_EQ(-1, t);
  QT_GetTrackNextTime(video, 120, 0, &t, &d);
  EXPECT_EQ(130, t);
  EXPECT_EQ(30, d);
  QT_GetTrackPrevTime(video, 125, 0, &t, &d);
  EXPECT_EQ(120, t);
  EXPECT_EQ(10, d);
  EXPECT_EQ(4, QT_CountFramesInTrack(video));
  EXPECT_EQ(2, QT_CountFramesInTrackSelection(video, 80, 130));
  EXPECT_NEAR(4.0 / (160.0 / 600.0), QT_NumberSamplesPerSecondInTrack(video), 1e-4);

  SInt32 count = 0;
  EXPECT_EQ(noErr, QT_GetNumVisualMovieSamples(m.movie, 80, 50, &count));
  EXPECT_EQ(2, count);  // 80 and 120 begin inside; 130 does not
  Boolean odd = false;
  EXPECT_EQ(noErr, QT_MovieHasOddDurations(m.movie, &odd));
  EXPECT_FALSE(odd);
  TimeValue common = -1;
  float deviation = -1;
  EXPECT_EQ(noErr, QT_AllFrameDurationsEqual(m.movie, &common, &deviation));
  EXPECT_EQ(0, common);
  EXPECT_NEAR(std::sqrt(125.0), deviation, 1e-4);  // 20, 40, 10, 30 around 25
}

TEST(MovieTime, GapsBetweenFramesAndEdits) {
  BuiltMovie m(600);
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 600, Frames({20, 20, 21}));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(t, 0, 0, 40, fixed1));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(t, 100, 40, 21, fixed1));  // an empty edit from 40 to 100
  QT_IndTimeIntvl *gaps = nullptr;
  SInt32 count = 0;
  ASSERT_EQ(noErr, QT_CountMovieFrames(m.movie, &count, &gaps));
  EXPECT_EQ(3, count);
  ASSERT_NE(nullptr, gaps);
  EXPECT_EQ(1, gaps->index);
  EXPECT_EQ(40, gaps->begin);
  EXPECT_EQ(60, gaps->duration);
  EXPECT_EQ(nullptr, gaps->next);
  LL_DisposeLinkedList(&gaps);
  EXPECT_EQ(2, QT_CountNonEmptyTrackEdits(t, 0, 200));
  EXPECT_EQ(1, QT_CountNonEmptyTrackEdits(t, 50, 200));
  EXPECT_EQ(1, QT_CountNonEmptyTrackEdits(t, 0, 100));
  // A time in the gap belongs to the frame before it (its duration reaches the next frame).
  TimeValue start = 0, duration = 0;
  EXPECT_EQ(1, QT_MovieTimeToFrameNumber(m.movie, 70, &start, &duration));
  EXPECT_EQ(20, start);
  EXPECT_EQ(80, duration);
  Boolean odd = false;
  EXPECT_EQ(noErr, QT_MovieHasOddDurations(m.movie, &odd));
  EXPECT_TRUE(odd);
  // An allocation failure of the gap list is reported.
  PL_FailAllocationAfter(1);
  OSStatus err = QT_CountMovieFrames(m.movie, &count, &gaps);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(memFullErr, err);
  LL_DisposeLinkedList(&gaps);
}

TEST(MovieTime, SampleReferencesOfGroupedRecords) {
  BuiltMovie m(600);
  Track t = NewMovieTrack(m.movie, 48 << 16, 32 << 16, 0);
  Media media = NewTrackMedia(t, VideoMediaType, 600, nullptr, 0);
  ImageDescriptionHandle desc = bz_test::NewFixtureImageDescription(48, 32);
  SampleReference64Record r{5000000000LL, 40000, 20, 10, mediaSampleNotSync};
  ASSERT_EQ(noErr, AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &r, nullptr));
  DisposeHandle(reinterpret_cast<Handle>(desc));
  const struct {
    SInt32 maxSamples;
    TimeValue time;
    UInt32 size;
    SInt32 samples;
    SInt64 offset;
    TimeValue sampleTime;
  } cases[] = {{1, 0, 4000, 1, 5000000000LL, 0}, {0, 0, 40000, 10, 5000000000LL, 0},
               {3, 45, 12000, 3, 5000008000LL, 40}, {0, 45, 32000, 8, 5000008000LL, 40}};
  for (const auto &c : cases) {
    SInt64 offset = 0;
    UInt32 size = 0;
    TimeValue sampleTime = -1, duration = 0;
    SInt32 index = 0, n = 0;
    SInt16 flags = 0;
    Handle d = NewHandle(0);
    ASSERT_EQ(noErr, QT_GetMediaSampleReference64(media, &offset, &size, c.time, &sampleTime, &duration,
                                                  reinterpret_cast<SampleDescriptionHandle>(d), &index, c.maxSamples,
                                                  &n, &flags));
    EXPECT_EQ(c.size, size);
    EXPECT_EQ(c.samples, n);
    EXPECT_EQ(c.offset, offset);
    EXPECT_EQ(c.sampleTime, sampleTime);
    EXPECT_EQ(20, duration);
    EXPECT_EQ(1, index);
    EXPECT_EQ(mediaSampleNotSync, flags);
    EXPECT_EQ(OSType('2vuy'), reinterpret_cast<SampleDescription *>(*d)->dataFormat);
    DisposeHandle(d);
  }
  // No record at the time: no samples, no size, no error.
  UInt32 size = 7;
  SInt32 n = 7;
  EXPECT_EQ(noErr, QT_GetMediaSampleReference64(media, nullptr, &size, 200, nullptr, nullptr, nullptr, nullptr, 1, &n,
                                                nullptr));
  EXPECT_EQ(0, n);
  EXPECT_EQ(0u, size);
  EXPECT_EQ(invalidMedia, QT_GetMediaSampleReference64(nullptr, nullptr, &size, 0, nullptr, nullptr, nullptr, nullptr,
                                                       1, &n, nullptr));
}

TEST(MovieTime, MpegFrameRates) {
  const struct {
    TimeScale scale;
    TimeValue step;
    bool pal;
    TimeValue frameDuration;
    double frameDurationD;
    SInt32 frames;
  } cases[] = {
      {90000, 3003, false, 3003, 3003.0, 9},   // 29.97; 10 frames of 3003 are 9.99 frames' worth... truncated
      {90000, 3600, true, 3600, 3600.0, 10},
      {90000, 1501, false, 1501, 1501.5, 9},    // 59.94
      {90000, 3753, false, 3753, 3753.75, 9},   // 23.976
      {1200, 49, false, 50, 50.0, 9},           // half way between 24 and 25: the lower index, 24
      {600, 12, true, 12, 12.0, 10},            // 50
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.step << " at " << c.scale);
    BuiltMovie m(c.scale);
    VideoAt(m.movie, c.scale, std::vector<TimeValue>(10, c.step));
    Boolean pal = 7;
    SInt32 frames = 0;
    TimeValue frameDuration = 0;
    double frameDurationD = 0;
    ASSERT_EQ(noErr, QT_GetMpegInfo(m.movie, &pal, &frames, &frameDuration, &frameDurationD));
    EXPECT_EQ(c.pal, bool(pal));
    EXPECT_EQ(c.frameDuration, frameDuration);
    EXPECT_DOUBLE_EQ(c.frameDurationD, frameDurationD);
    EXPECT_EQ(c.frames, frames);
    EXPECT_TRUE(GetMovieActive(m.movie));
    TimeValue *durations = nullptr;
    SInt32 count = 0;
    ASSERT_EQ(noErr, QT_MakeMpegMovieDurationList(m.movie, &durations, &count));
    EXPECT_EQ(c.frames, count);  // no more than estimated
    for (SInt32 i = 0; i < count; ++i) EXPECT_EQ(c.step, durations[i]);
    GL_DisposePtr(&durations);
  }
  // Without a visual track, or with a single frame, nothing is handed back.
  BuiltMovie empty(600);
  Boolean pal = 7;
  EXPECT_EQ(kQT_NoVideoTrackErr, QT_GetMpegInfo(empty.movie, &pal, nullptr, nullptr, nullptr));
  EXPECT_EQ(7, pal);
  VideoAt(empty.movie, 600, {20});
  EXPECT_EQ(kQT_UnknownTimeScaleErr, QT_GetMpegInfo(empty.movie, &pal, nullptr, nullptr, nullptr));
  EXPECT_EQ(7, pal);
}

TEST(MovieTime, TimeRecordsSelectionAndTimeBases) {
  BuiltMovie m(2997);
  VideoAt(m.movie, 2997, {100, 100, 100});
  TimeRecord tr{};
  QT_TimeValueToTimeRecord(m.movie, 250, &tr);
  EXPECT_EQ(2997, tr.scale);
  EXPECT_EQ(250, QT_TimeRecordToTimeValue(tr));
  QT_TimeValueToTimeRecord(m.movie, -5, &tr);
  EXPECT_EQ(-1, tr.value.hi);
  EXPECT_EQ(-1, QT_TimeRecordToTimeValue(tr));
  EXPECT_EQ(2997, QT_GetTimeBasePreferredTimeScale(GetMovieTimeBase(m.movie)));
  SetMovieTimeValue(m.movie, 120);
  EXPECT_EQ(120, QT_GetMovieTimeValue(m.movie));
  TimeValue start = -1, duration = -1;
  QT_GetPlaybackMovieSelection(m.movie, &start, &duration);
  EXPECT_EQ(0, start);
  EXPECT_EQ(300, duration);
  SetMovieSelection(m.movie, 100, 50);
  QT_GetPlaybackMovieSelection(m.movie, &start, &duration);
  EXPECT_EQ(100, start);
  EXPECT_EQ(50, duration);

  // The description at the current time.
  Track t = GetMovieIndTrack(m.movie, 1);
  SampleDescriptionHandle desc = nullptr;
  SInt32 index = 0;
  TimeValue mediaTime = 0;
  ASSERT_EQ(noErr, QT_GetCurrentMediaSampleDescription(t, &desc, &index, &mediaTime));
  EXPECT_EQ(120, mediaTime);
  ASSERT_NE(nullptr, desc);
  EXPECT_EQ(1, index);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  SetTrackEnabled(t, false);  // still shown at that time as far as the track goes
  ASSERT_EQ(noErr, QT_GetCurrentMediaSampleDescription(t, &desc, &index, &mediaTime));
  DisposeHandle(reinterpret_cast<Handle>(desc));
}

TEST(MovieTime, TrackAndMediaTimeMaps) {
  BuiltMovie m(600);
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 2500, Frames({100, 100, 100, 100}));
  // Media 0..200 twice: at track 0 and at track 100 (after an empty stretch of 52).
  ASSERT_EQ(noErr, InsertMediaIntoTrack(t, 0, 0, 200, fixed1));   // 48 movie units
  ASSERT_EQ(noErr, InsertMediaIntoTrack(t, 100, 0, 200, fixed1));
  SInt32 count = 0;
  EXPECT_EQ(24, QT_MediaTimeToTrackTime(t, 100, 1, &count));
  EXPECT_EQ(2, count);
  EXPECT_EQ(124, QT_MediaTimeToTrackTime(t, 100, 2, &count));
  EXPECT_EQ(-1, QT_MediaTimeToTrackTime(t, 100, 3, &count));
  EXPECT_EQ(-1, QT_MediaTimeToTrackTime(t, 300, 1, &count));
  EXPECT_EQ(0, count);

  TimeValue start = 0, duration = 0;
  // One movie unit covers 2500 / 600 + 0.1 = 4 media units.
  ASSERT_EQ(noErr, QT_TrackEditToMediaInterval(t, 0, 1, &start, &duration));
  EXPECT_EQ(0, start);
  EXPECT_EQ(4, duration);
  ASSERT_EQ(noErr, QT_TrackEditToMediaInterval(t, 0, 48, &start, &duration));
  EXPECT_EQ(0, start);
  EXPECT_EQ(TrackTimeToMediaTime(47, t) + 4, duration);  // 195 + 4
  ASSERT_EQ(noErr, QT_TrackEditToMediaInterval(t, 50, 10, &start, &duration));
  EXPECT_EQ(-1, start);  // an empty edit
  EXPECT_EQ(0, duration);
  // The media time after the last shown unit: 195 + 4, at most the media duration.
  EXPECT_EQ(199, QT_GetTrackEndMediaTime(t));

  // An edit played backwards gives the stretch the other way round.
  BuiltMovie back(600);
  Track r = bz_test::AddBuiltTrack(back.movie, VideoMediaType, 600, Frames({100}));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(r, 0, 90, 10, -fixed1));
  ASSERT_EQ(noErr, QT_TrackEditToMediaInterval(r, 0, 10, &start, &duration));
  EXPECT_EQ(81, start);
  EXPECT_EQ(10, duration);
}

TEST(MovieTime, MediaDurationsPartSizesAndSampleInfo) {
  BuiltMovie m(600);
  std::vector<bz_test::BuiltSample> samples = {{20, 1000}, {20, 2000}, {20, 3000}, {20, 4000}};
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 600, samples, 100);
  bz_test::InsertWholeMedia(t);
  Media media = GetTrackMedia(t);
  TimeValue d = 0;
  EXPECT_EQ(noErr, QT_AllMediaDurationsEqual(media, &d));
  EXPECT_EQ(20, d);
  EXPECT_EQ(noErr, QT_GetFirstMediaDuration(media, true, &d));
  EXPECT_EQ(20, d);
  Boolean odd = true;
  EXPECT_EQ(noErr, QT_MediaHasOddDurations(media, &odd));
  EXPECT_FALSE(odd);
  float deviation = -1;
  EXPECT_EQ(noErr, QT_AllFrameDurationsEqual(m.movie, &d, &deviation));
  EXPECT_EQ(20, d);
  EXPECT_EQ(0.0f, deviation);

  // Part sizes: the data up to the end, from the begin time closest to the part size.
  TimeValue begin = -1;
  SInt64 actual = 0;
  ASSERT_EQ(noErr, QT_MediaPartSizeToBeginTime(media, 20000, 0x7FFFFFFF, &begin, &actual));
  EXPECT_EQ(0, begin);
  EXPECT_EQ(10000, actual);
  ASSERT_EQ(noErr, QT_MediaPartSizeToBeginTime(media, 7200, 80, &begin, &actual));
  EXPECT_EQ(7000, actual);  // the last two samples
  EXPECT_EQ(40, begin);
  ASSERT_EQ(noErr, QT_MediaPartSizeToBeginTime(media, 4100, 80, &begin, &actual));
  EXPECT_EQ(4000, actual);

  // Sample information by number and by time, and what a failure leaves.
  SInt32 num = 3, index = 0, size = 0;
  SInt16 refIndex = 0;
  TimeValue sampleTime = 0, duration = 0;
  SInt64 offset = 0;
  Handle desc = NewHandle(0);
  auto descH = reinterpret_cast<SampleDescriptionHandle>(desc);
  ASSERT_EQ(noErr, QT_GetSampleInfo(media, &num, 0, &sampleTime, &duration, descH, &index, &refIndex, &size, &offset));
  EXPECT_EQ(40, sampleTime);
  EXPECT_EQ(3000, size);
  EXPECT_EQ(100 + 3000, offset);
  EXPECT_EQ(1, refIndex);
  num = 0;
  ASSERT_EQ(noErr, QT_GetSampleInfo(media, &num, 65, &sampleTime, &duration, descH, &index, &refIndex, &size, &offset));
  EXPECT_EQ(4, num);
  EXPECT_EQ(60, sampleTime);
  num = 9;
  EXPECT_EQ(paramErr, QT_GetSampleInfo(media, &num, 81, &sampleTime, &duration, descH, &index, &refIndex, &size, &offset));
  EXPECT_EQ(-1, num);
  EXPECT_EQ(-1, sampleTime);
  EXPECT_EQ(-1, size);
  EXPECT_EQ(-1, offset);
  EXPECT_EQ(0, index);
  EXPECT_EQ(0, GetHandleSize(desc));
  num = 0;
  EXPECT_EQ(invalidTime, QT_GetSampleInfo(media, &num, 80, &sampleTime, &duration, descH, &index, &refIndex, &size, &offset));
  DisposeHandle(desc);
}

// Samples of no duration and samples shorter than a movie unit never stall a walk.
TEST(MovieTime, WalksEndOverZeroDurations) {
  BuiltMovie m(10);
  std::vector<bz_test::BuiltSample> samples = {{150, 10}, {0, 10}, {20, 11}, {0, 10}, {330, 10}};
  Track t = bz_test::AddBuiltTrack(m.movie, VideoMediaType, 1000, samples);
  bz_test::InsertWholeMedia(t);
  SInt32 count = 0;
  EXPECT_EQ(noErr, QT_CountMovieFrames(m.movie, &count, nullptr));
  EXPECT_EQ(2, count);  // media 0..150 at units 0-1, 170..500 at units 2-4; the 20-unit sample is not shown
  EXPECT_EQ(-1, QT_MovieTimeToFrameNumber(m.movie, 5, nullptr, nullptr));
  EXPECT_EQ(1, QT_MovieTimeToFrameNumber(m.movie, 4, nullptr, nullptr));
  Boolean odd = false;
  EXPECT_EQ(noErr, QT_MediaHasOddDurations(GetTrackMedia(t), &odd));
  EXPECT_FALSE(odd);
  TimeValue d = -1;
  EXPECT_EQ(noErr, QT_AllMediaDurationsEqual(GetTrackMedia(t), &d));
  EXPECT_EQ(0, d);
  // A movie without video: walks find nothing.
  BuiltMovie none(600);
  EXPECT_EQ(noErr, QT_CountMovieFrames(none.movie, &count, nullptr));
  EXPECT_EQ(0, count);
  EXPECT_EQ(-1, QT_MovieFrameNumberToTime(none.movie, 1));
  EXPECT_EQ(0, QT_MovieFrameNumberToTime(none.movie, 0));
  EXPECT_EQ(0, QT_GetLastMovieDuration(none.movie));
}

// Our own writer's movie: frames located by their sample references where the writer put them.
TEST(MovieTime, WrittenMovieFramesAndReferences) {
  bz_test::TempDir dir;
  std::string path = dir.File("fixture.mov");
  bz_test::FixtureMovieInfo info;
  bz_test::FixtureMovieSpec spec;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path, spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  SInt32 count = 0;
  ASSERT_EQ(noErr, QT_CountMovieFrames(movie, &count, nullptr));
  ASSERT_EQ(spec.frames, count);
  Track video = GetMovieIndTrack(movie, 1);
  for (SInt32 n = 0; n < count; ++n) {
    TimeValue t = QT_MovieFrameNumberToTime(movie, n);
    EXPECT_EQ(n * 24, t);  // 100 at 2500 is 24 at 600
    EXPECT_EQ(n, QT_MovieTimeToFrameNumber(movie, t + 23, nullptr, nullptr));
    SInt64 offset = 0;
    UInt32 size = 0;
    SInt32 samples = 0;
    ASSERT_EQ(noErr, QT_GetMediaSampleReference64(GetTrackMedia(video), &offset, &size, TrackTimeToMediaTime(t, video),
                                                  nullptr, nullptr, nullptr, nullptr, 1, &samples, nullptr));
    EXPECT_EQ(info.frameOffsets[size_t(n)], offset);
    EXPECT_EQ(info.frames[size_t(n)].size(), size);
  }
  DisposeMovie(movie);
}

}  // namespace
