#include "movie/movie_queries.h"

#include "general/memory_lists.h"
#include "movie/movie_time.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_properties.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using bz_test::BuiltMovie;
using bz_test::BuiltSample;
using bz_test::Frames;

Track Shown(Movie movie, OSType type, TimeScale scale, const std::vector<BuiltSample> &samples, TimeValue at = 0) {
  Track t = bz_test::AddBuiltTrack(movie, type, scale, samples);
  bz_test::InsertWholeMedia(t, at);
  return t;
}

// Adds samples of a second description (a copy of the first with `change` applied) to a video track.
void AddSamplesWithOtherDescription(Track track, void (*change)(ImageDescription &), UInt32 count) {
  Media media = GetTrackMedia(track);
  Handle desc = NewHandle(0);
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  change(**reinterpret_cast<ImageDescriptionHandle>(desc));
  SampleReference64Record r{900000, 1000 * count, 20, count, 0};
  ASSERT_EQ(noErr, AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &r, nullptr));
  DisposeHandle(desc);
}

// A movie of: 1 video (enabled), 2 text (enabled), 3 time code (disabled), 4 sound (enabled),
// 5 sound (disabled), 6 video (disabled).
struct MixedMovie {
  BuiltMovie m{600};
  Track video, text, timeCode, sound, mutedSound, hiddenVideo;
  MixedMovie() {
    video = Shown(m.movie, VideoMediaType, 600, Frames({20, 20}));
    text = Shown(m.movie, TextMediaType, 600, Frames({40}));
    timeCode = Shown(m.movie, TimeCodeMediaType, 600, Frames({40}));
    sound = Shown(m.movie, SoundMediaType, 600, Frames({40}));
    mutedSound = Shown(m.movie, SoundMediaType, 600, Frames({40}));
    hiddenVideo = Shown(m.movie, VideoMediaType, 600, Frames({40}));
    SetTrackEnabled(timeCode, false);
    SetTrackEnabled(mutedSound, false);
    SetTrackEnabled(hiddenVideo, false);
  }
};

TEST(MovieQueries, FindersAndCounts) {
  MixedMovie mm;
  Movie m = mm.m.movie;
  EXPECT_EQ(mm.video, QT_GetFirstVideoTrack(m));
  EXPECT_EQ(mm.video, QT_GetFirstVisualTrack(m));
  EXPECT_EQ(mm.video, QT_GetFirstEnabledVisualTrack(m));
  EXPECT_EQ(mm.video, QT_GetFirstEnabledImageTrack(m));
  EXPECT_EQ(mm.video, QT_GetFirstEnabledVideoTrack(m));
  EXPECT_EQ(mm.video, QT_GetLastEnabledVideoTrack(m));
  EXPECT_EQ(mm.sound, QT_GetFirstSoundTrack(m));
  EXPECT_EQ(mm.sound, QT_GetFirstEnabledSoundTrack(m));
  EXPECT_EQ(mm.sound, QT_GetEnabledSoundTrackByIndex(m, 1));
  EXPECT_EQ(nullptr, QT_GetEnabledSoundTrackByIndex(m, 2));
  EXPECT_EQ(mm.text, QT_GetTrackByID(m, GetTrackID(mm.text)));
  EXPECT_EQ(nullptr, QT_GetTrackByID(m, 99));
  const struct {
    SInt32 (*count)(Movie);
    SInt32 expected;
    const char *name;
  } counts[] = {
      {QT_CountTracks, 6, "all"},
      {QT_CountVisualTracks, 4, "visual"},
      {QT_CountEnabledVisualTracks, 2, "enabled visual"},
      {QT_CountVideoTracks, 2, "video"},
      {QT_CountEnabledVideoTracks, 1, "enabled video"},
      {QT_CountAuralTracks, 2, "aural"},
      {QT_CountEnabledAuralTracks, 1, "enabled aural"},
      {QT_CountSoundTracks, 2, "sound"},
      {QT_CountEnabledSoundTracks, 1, "enabled sound"},
      {QT_CountTextTracks, 1, "text"},
      {QT_CountEnabledTextTracks, 1, "enabled text"},
      {QT_CountEnabledTimeCodeTracks, 0, "enabled time code"},
  };
  for (const auto &c : counts) EXPECT_EQ(c.expected, c.count(m)) << c.name;

  // Text first: the first enabled image track skips it.
  BuiltMovie textFirst(600);
  Shown(textFirst.movie, TextMediaType, 600, Frames({40}));
  Track v = Shown(textFirst.movie, VideoMediaType, 600, Frames({40}));
  EXPECT_EQ(v, QT_GetFirstEnabledImageTrack(textFirst.movie));
  EXPECT_NE(v, QT_GetFirstEnabledVisualTrack(textFirst.movie));
}

TEST(MovieQueries, ActiveTrackByLayerThenIndex) {
  BuiltMovie m(600);
  Track a = Shown(m.movie, VideoMediaType, 600, Frames({100}));
  Track b = Shown(m.movie, VideoMediaType, 600, Frames({100}));
  Track late = Shown(m.movie, VideoMediaType, 600, Frames({100}), 200);
  EXPECT_EQ(a, QT_GetActiveVideoTrack(m.movie, 50));
  SetTrackLayer(b, -1);
  EXPECT_EQ(b, QT_GetActiveVideoTrack(m.movie, 50));
  SetTrackLayer(late, -5);
  EXPECT_EQ(b, QT_GetActiveVideoTrack(m.movie, 50));  // not showing at 50
  EXPECT_EQ(late, QT_GetActiveVideoTrack(m.movie, 250));
  EXPECT_EQ(nullptr, QT_GetActiveVideoTrack(m.movie, 150));
  SetTrackEnabled(b, false);
  EXPECT_EQ(a, QT_GetActiveVisualTrack(m.movie, 50));
}

TEST(MovieQueries, MovieCodecType) {
  BuiltMovie m(600);
  Track v = Shown(m.movie, VideoMediaType, 600, Frames({20}));
  CodecType c = 0;
  ASSERT_EQ(noErr, QT_GetMovieCType(m.movie, &c, false));
  EXPECT_EQ(OSType('2vuy'), c);
  Shown(m.movie, TextMediaType, 600, Frames({20}));
  ASSERT_EQ(noErr, QT_GetMovieCType(m.movie, &c, false));
  EXPECT_EQ(OSType('2vuy'), c);
  ASSERT_EQ(noErr, QT_GetMovieCType(m.movie, &c, true));
  EXPECT_EQ(0xFFFFFFFFu, c);
  // Two descriptions of the same codec give that codec; of different codecs -1.
  AddSamplesWithOtherDescription(v, [](ImageDescription &d) { d.dataSize = 1; }, 1);
  EXPECT_EQ(2, GetMediaSampleDescriptionCount(GetTrackMedia(v)));
  ASSERT_EQ(noErr, QT_GetMovieCType(m.movie, &c, false));
  EXPECT_EQ(OSType('2vuy'), c);
  CodecType one = 0;
  ASSERT_EQ(noErr, QT_DoEnabledVideoTracksUseOneCompressorType(m.movie, &one));
  EXPECT_EQ(0u, one);  // the text track is visual but not video
  AddSamplesWithOtherDescription(v, [](ImageDescription &d) { d.cType = 'dvcp'; }, 1);
  ASSERT_EQ(noErr, QT_GetMovieCType(m.movie, &c, false));
  EXPECT_EQ(0xFFFFFFFFu, c);
  Boolean fixedSize = false;
  ASSERT_EQ(noErr, QT_DoEnabledVideoTracksUseFixedSizeCompressorTypesOnly(m.movie, &fixedSize));
  EXPECT_TRUE(fixedSize);  // '2vuy' and 'dvcp'
  AddSamplesWithOtherDescription(v, [](ImageDescription &d) { d.cType = 'jpeg'; }, 1);
  ASSERT_EQ(noErr, QT_DoEnabledVideoTracksUseFixedSizeCompressorTypesOnly(m.movie, &fixedSize));
  EXPECT_FALSE(fixedSize);

  BuiltMovie soundOnly(600);
  Shown(soundOnly.movie, SoundMediaType, 600, Frames({20}));
  ASSERT_EQ(noErr, QT_GetMovieCType(soundOnly.movie, &c, true));
  EXPECT_EQ(0u, c);
  Boolean hasVideo = true;
  ASSERT_EQ(noErr, QT_MovieHasVideo(soundOnly.movie, &hasVideo));
  EXPECT_FALSE(hasVideo);
  ASSERT_EQ(noErr, QT_MovieHasVideo(m.movie, &hasVideo));
  EXPECT_TRUE(hasVideo);
}

TEST(MovieQueries, OneSimpleVideoTrack) {
  struct Case {
    const char *what;
    void (*build)(Movie);
    bool simple;
  };
  const Case cases[] = {
      {"video and enabled text", [](Movie m) {
         Shown(m, VideoMediaType, 600, Frames({20, 20}));
         Shown(m, TextMediaType, 600, Frames({40}));
       }, true},
      {"a frame that is not a sync sample", [](Movie m) {
         Shown(m, VideoMediaType, 600, {{20, 1000, true}, {20, 1000, false}});
       }, false},
      {"an enabled time-code track", [](Movie m) {
         Shown(m, VideoMediaType, 600, Frames({20}));
         Shown(m, TimeCodeMediaType, 600, Frames({20}));
       }, false},
      {"two enabled video tracks", [](Movie m) {
         Shown(m, VideoMediaType, 600, Frames({20}));
         Shown(m, VideoMediaType, 600, Frames({20}));
       }, false},
      {"a disabled second video track", [](Movie m) {
         Shown(m, VideoMediaType, 600, Frames({20}));
         SetTrackEnabled(Shown(m, VideoMediaType, 600, Frames({20})), false);
       }, true},
      {"equivalent descriptions", [](Movie m) {
         Track v = Shown(m, VideoMediaType, 600, Frames({20}));
         AddSamplesWithOtherDescription(v, [](ImageDescription &d) { d.dataSize = 7; }, 1);
       }, true},
      // Frames of another size in the same track cannot be read as one stream.
      {"descriptions of another size", [](Movie m) {
         Track v = Shown(m, VideoMediaType, 600, Frames({20}));
         AddSamplesWithOtherDescription(v, [](ImageDescription &d) { d.width = 32; }, 1);
       }, false},
      {"no video", [](Movie m) { Shown(m, SoundMediaType, 600, Frames({20})); }, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    BuiltMovie m(600);
    c.build(m.movie);
    Boolean simple = !c.simple;
    ASSERT_EQ(noErr, QT_MovieHasOneSimpleVideoTrack(m.movie, &simple));
    EXPECT_EQ(c.simple, bool(simple));
  }
  // The sample-reference buffer cannot be had: the memory error is reported.
  BuiltMovie m(600);
  Shown(m.movie, VideoMediaType, 600, Frames({20}));
  Boolean compressed = false;
  PL_FailAllocationAfter(1);
  OSStatus err = QT_IsMediaTemporallyCompressed(GetTrackMedia(GetMovieIndTrack(m.movie, 1)), &compressed);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(memFullErr, err);
}

TEST(MovieQueries, GuessRealMpegDimensions) {
  const struct {
    OSType cType;
    bool pal;
    SInt32 height, width;
    bool anamorphic;
    SInt32 realHeight, realWidth;
  } cases[] = {
      {'m2v ', true, 540, 720, false, 576, 720},   {'m2v ', true, 404, 720, false, 576, 720},
      {'m2s ', true, 576, 704, false, 576, 720},   {'m2v ', false, 480, 640, false, 480, 720},
      {'mp4v', true, 540, 720, false, 480, 720},   {'m2v ', false, 1080, 1920, true, 1080, 1440},
      {'m2v ', false, 1080, 1920, false, 1080, 1920}, {'m2v ', true, 1080, 1440, true, 1080, 1440},
      {'m2v ', false, 720, 1280, false, 720, 1280},
  };
  for (const auto &c : cases) {
    SInt32 h = 0, w = 0;
    QT_GuessRealMpegMediaDimensions(c.cType, c.pal, c.height, c.width, c.anamorphic, &h, &w);
    EXPECT_EQ(c.realHeight, h) << c.width << " x " << c.height;
    EXPECT_EQ(c.realWidth, w) << c.width << " x " << c.height;
  }
}

TEST(MovieQueries, ToolboxVersionAndStickyError) {
  EXPECT_EQ(0x0730, QT_GetQTVersion());
  EXPECT_TRUE(QT_IsQuickTimeInstalled());
  EXPECT_FALSE(QT_IsQuickTimeCFMInstalled());
  ClearMoviesStickyError();
  GetTrackDuration(nullptr);
  EXPECT_EQ(invalidTrack, QT_GetMoviesStickyError());
  EXPECT_EQ(noErr, QT_GetMoviesStickyError());
}

TEST(MovieQueries, TrackFacts) {
  MixedMovie mm;
  Movie m = mm.m.movie;
  OSType type = 0, characteristic = 0;
  ASSERT_EQ(noErr, QT_GetTrackType(mm.sound, &type));
  EXPECT_EQ(SoundMediaType, type);
  ASSERT_EQ(noErr, QT_GetMediaCharacteristic(mm.sound, &characteristic));
  EXPECT_EQ(AudioMediaCharacteristic, characteristic);
  ASSERT_EQ(noErr, QT_GetMediaCharacteristic(mm.text, &characteristic));
  EXPECT_EQ(VisualMediaCharacteristic, characteristic);
  Boolean image = true;
  ASSERT_EQ(noErr, QT_IsImageTrack(mm.text, &image));
  EXPECT_FALSE(image);
  ASSERT_EQ(noErr, QT_IsImageTrack(mm.hiddenVideo, &image));
  EXPECT_TRUE(image);
  EXPECT_EQ(4, QT_GetTrackIndex(mm.sound));

  Str255 name;
  ASSERT_EQ(noErr, QT_GetTrackName(mm.video, name));
  EXPECT_EQ(0, name[0]);
  Handle text = NewHandle(5);
  std::memcpy(*text, "Video", 5);
  ASSERT_EQ(noErr, AddUserData(GetTrackUserData(mm.video), text, 'name'));
  DisposeHandle(text);
  ASSERT_EQ(noErr, QT_GetTrackName(mm.video, name));
  EXPECT_EQ(std::string("Video"), std::string(reinterpret_cast<char *>(name + 1), name[0]));

  SInt32 w = 0, h = 0;
  QT_GetTrackSize(mm.video, &w, &h);
  EXPECT_EQ(48, w);
  EXPECT_EQ(32, h);
  MatrixRecord mx;
  SetIdentityMatrix(&mx);
  ScaleMatrix(&mx, 2 * fixed1, fixed1, 0, 0);
  TranslateMatrix(&mx, 10 << 16, 0);
  SetTrackMatrix(mm.video, &mx);
  Rect box;
  QT_GetTrackBox(mm.video, &box);
  EXPECT_EQ(10, box.left);
  EXPECT_EQ(106, box.right);
  EXPECT_EQ(32, box.bottom);
  QT_GetMovieFrameSize(m, &w, &h);  // the enabled visual tracks: the video and the text box
  EXPECT_EQ(106, w);
  EXPECT_EQ(32, h);

  Fixed rate = 0;
  ASSERT_EQ(noErr, QT_GetSoundTrackSampleRate(mm.sound, &rate));
  EXPECT_EQ(600 << 16, rate);
  EXPECT_FALSE(QT_IsAnySoundTrackDV(m));
  Handle dv = NewHandle(0);
  Media soundMedia = GetTrackMedia(mm.sound);
  GetMediaSampleDescription(soundMedia, 1, reinterpret_cast<SampleDescriptionHandle>(dv));
  reinterpret_cast<SampleDescription *>(*dv)->dataFormat = 'vdva';
  ASSERT_EQ(noErr, SetMediaSampleDescription(soundMedia, 1, reinterpret_cast<SampleDescriptionHandle>(dv)));
  DisposeHandle(dv);
  EXPECT_TRUE(QT_IsAnySoundTrackDV(m));

  // Track references: the video track refers to the time-code track.
  ASSERT_EQ(noErr, AddTrackReference(mm.video, mm.timeCode, 'tmcd', nullptr));
  ASSERT_EQ(noErr, AddTrackReference(mm.video, mm.text, 'chap', nullptr));
  ASSERT_EQ(noErr, AddTrackReference(mm.hiddenVideo, mm.text, 'sync', nullptr));
  EXPECT_EQ(2, QT_CountEnabledVideTracksTrackRefs(m));
  OSType *types = nullptr;
  SInt32 count = 0;
  ASSERT_EQ(noErr, QT_GetMovieRefTrackTypes(m, &types, &count));
  ASSERT_EQ(2, count);
  EXPECT_EQ(OSType('chap'), types[0]);  // the text track comes first
  EXPECT_EQ(OSType('tmcd'), types[1]);
  GL_DisposePtr(&types);
  ASSERT_EQ(noErr, QT_GetMovieMediaTypes(m, &types, &count));
  ASSERT_EQ(4, count);
  EXPECT_EQ(VideoMediaType, types[0]);
  EXPECT_EQ(TextMediaType, types[1]);
  EXPECT_EQ(TimeCodeMediaType, types[2]);
  EXPECT_EQ(SoundMediaType, types[3]);
  GL_DisposePtr(&types);
}

TEST(MovieQueries, SpatialCharacteristicsCompositingAndOverlap) {
  BuiltMovie m(600);
  Track a = Shown(m.movie, VideoMediaType, 600, Frames({20, 20}));
  Track b = Shown(m.movie, VideoMediaType, 600, Frames({20, 20}), 100);
  Boolean equal = false;
  RgnHandle clip = nullptr;
  MatrixRecord mx;
  Fixed h = 0, w = 0;
  ASSERT_EQ(noErr, QT_EnabledVideoTracksHaveEqualSpatialCharacteristics(m.movie, &equal, &clip, &mx, &h, &w));
  EXPECT_TRUE(equal);
  EXPECT_EQ(nullptr, clip);
  EXPECT_EQ(48 << 16, w);
  RgnHandle r = NewRgn();
  SetRectRgn(r, 0, 0, 40, 32);
  SetTrackClipRgn(a, r);
  ASSERT_EQ(noErr, QT_EnabledVideoTracksHaveEqualSpatialCharacteristics(m.movie, &equal, &clip, &mx, &h, &w));
  EXPECT_FALSE(equal);
  ASSERT_NE(nullptr, clip);
  EXPECT_TRUE(EqualRgn(r, clip));
  DisposeRgn(clip);
  SetTrackClipRgn(b, r);
  ASSERT_EQ(noErr, QT_EnabledVideoTracksHaveEqualSpatialCharacteristics(m.movie, &equal, nullptr, nullptr, nullptr, nullptr));
  EXPECT_TRUE(equal);
  DisposeRgn(r);

  Boolean composited = true;
  ASSERT_EQ(noErr, QT_AnyEnabledVideoTrackIsComposited(m.movie, &composited));
  EXPECT_FALSE(composited);  // dither copy
  GetTrackMedia(b)->mediaHeader[5] = 0x24;  // transparent
  ASSERT_EQ(noErr, QT_AnyEnabledVideoTrackIsComposited(m.movie, &composited));
  EXPECT_TRUE(composited);
  GetTrackMedia(b)->mediaHeader[5] = 0;  // copy
  ASSERT_EQ(noErr, QT_AnyEnabledVideoTrackIsComposited(m.movie, &composited));
  EXPECT_FALSE(composited);
  a->extras.push_back(PL_RawAtom{'matt', {}});
  ASSERT_EQ(noErr, QT_AnyEnabledVideoTrackIsComposited(m.movie, &composited));
  EXPECT_TRUE(composited);

  EXPECT_TRUE(QT_EnabledVideoTracksHaveSameMediaTimeScale(m.movie));
  EXPECT_FALSE(QT_AnyTracksOverlapTemporally(m.movie, VideoMediaType, movieTrackMediaType, true));
  Track c = Shown(m.movie, VideoMediaType, 2500, Frames({100}), 110);
  EXPECT_FALSE(QT_EnabledVideoTracksHaveSameMediaTimeScale(m.movie));
  EXPECT_TRUE(QT_TrackPairOverlapTemporally(b, c));
  EXPECT_FALSE(QT_TrackPairOverlapTemporally(a, c));
  EXPECT_TRUE(QT_AnyTracksOverlapTemporally(m.movie, VisualMediaCharacteristic, movieTrackCharacteristic, true));
  SetTrackEnabled(c, false);
  EXPECT_FALSE(QT_AnyTracksOverlapTemporally(m.movie, VideoMediaType, movieTrackMediaType, true));
  EXPECT_TRUE(QT_AnyTracksOverlapTemporally(m.movie, VideoMediaType, movieTrackMediaType, false));
}

TEST(MovieQueries, Gammas) {
  struct Case {
    const char *what;
    std::vector<std::pair<OSType, double>> tracks;  // codec and stated gamma (0: none) of each video track
    float gamma1, gamma2;
  };
  const Case cases[] = {
      {"no video", {}, 1.8f, 2.2f},
      {"2vuy stating none", {{'2vuy', 0.0}}, 0.0f, 2.2f},
      {"DV", {{'dvcp', 0.0}}, 2.2222223f, 2.2222223f},
      {"DV stating 2.2", {{'dvcp', 2.2}}, 2.2222223f, 2.2f},
      {"stated 1.0", {{'2vuy', 1.0}}, 1.0f, 1.0f},
      {"RGB", {{'raw ', 0.0}}, 0.0f, 1.8f},
      {"differing", {{'2vuy', 2.2}, {'2vuy', 1.8}}, -1.0f, 2.2f},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    BuiltMovie m(600);
    for (const auto &[codec, stated] : c.tracks) {
      Track t = Shown(m.movie, VideoMediaType, 600, Frames({20}));
      Media media = GetTrackMedia(t);
      Handle desc = NewHandle(0);
      GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
      auto id = reinterpret_cast<ImageDescriptionHandle>(desc);
      (**id).cType = codec;
      if (stated != 0.0) {
        ASSERT_EQ(noErr, QT_SetImageDescGammaLevel(id, X2Fix(stated)));
      }
      ASSERT_EQ(noErr, SetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc)));
      DisposeHandle(desc);
    }
    float g1 = -5, g2 = -5;
    ASSERT_EQ(noErr, QT_GetMovieGamma1(m.movie, &g1));
    ASSERT_EQ(noErr, QT_GetMovieGamma2(m.movie, nullptr, &g2));
    EXPECT_NEAR(c.gamma1, g1, 1e-4);
    EXPECT_NEAR(c.gamma2, g2, 1e-4);
  }
}

TEST(MovieQueries, SizesOfMediaAndParts) {
  BuiltMovie m(600);
  std::vector<BuiltSample> samples = {{20, 1000}, {20, 3000}, {10, 500}, {30, 2000, false}};
  Track v = Shown(m.movie, VideoMediaType, 600, samples);
  Track s = Shown(m.movie, SoundMediaType, 600, {{80, 800}});
  Media media = GetTrackMedia(v);

  SInt32 count = 0, largest = 0, smallest = 0;
  float average = 0, rate = 0;
  ASSERT_EQ(noErr, QT_GetMediaPartInfo(media, 0, 80, &count, &largest, &smallest, &average, &rate));
  EXPECT_EQ(4, count);
  EXPECT_EQ(3000, largest);
  EXPECT_EQ(500, smallest);
  EXPECT_FLOAT_EQ(6500.0f / 4, average);
  EXPECT_FLOAT_EQ(6500.0f / 80, rate);
  // A stretch ending inside the last sample does not count it; beginning inside the second counts it.
  ASSERT_EQ(noErr, QT_GetMediaPartInfo(media, 30, 70, &count, &largest, &smallest, &average, &rate));
  EXPECT_EQ(2, count);
  EXPECT_EQ(paramErr, QT_GetMediaPartInfo(media, 50, 50, &count, &largest, &smallest, &average, &rate));
  // Past the media the walk ends without moving on.
  ASSERT_EQ(noErr, QT_GetMediaPartInfo(media, 60, 500, &count, &largest, &smallest, &average, &rate));
  EXPECT_EQ(1, count);
  EXPECT_EQ(2000, largest);

  SInt32 size = 0;
  ASSERT_EQ(noErr, QT_GetMediaMaxSampleSize(media, &size));
  EXPECT_EQ(3000, size);
  ASSERT_EQ(noErr, QT_GetSampleSize(v, 25, &size));
  EXPECT_EQ(3000, size);
  EXPECT_EQ(invalidTime, QT_GetSampleSize(v, 100, &size));
  Boolean compressed = false;
  ASSERT_EQ(noErr, QT_IsMediaTemporallyCompressed(media, &compressed));
  EXPECT_TRUE(compressed);

  SInt64 bytes = 0;
  ASSERT_EQ(noErr, QT_GetMovieMediaTypeSampleCountAndSize(m.movie, VideoMediaType, &count, &bytes));
  EXPECT_EQ(4, count);
  EXPECT_EQ(6500, bytes);
  UInt64 total = 0;
  ASSERT_EQ(noErr, QT_GetMovieTotalMediaSize64(m.movie, &total));
  EXPECT_EQ(6500u + 800u, total);
  // DV sound lies inside the video frames and is not counted again.
  Handle desc = NewHandle(0);
  GetMediaSampleDescription(GetTrackMedia(s), 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  reinterpret_cast<SampleDescription *>(*desc)->dataFormat = 'vdva';
  ASSERT_EQ(noErr, SetMediaSampleDescription(GetTrackMedia(s), 1, reinterpret_cast<SampleDescriptionHandle>(desc)));
  DisposeHandle(desc);
  ASSERT_EQ(noErr, QT_GetMovieTotalMediaSize64(m.movie, &total));
  EXPECT_EQ(6500u, total);

  SInt16 depth = 0;
  ASSERT_EQ(noErr, QT_GetMaxDepth(m.movie, &depth));
  EXPECT_EQ(24, depth);
  EXPECT_TRUE(QT_IsDataOffsetMonotonousWithTrackTime(v));
  // Frames stored in another order than shown.
  BuiltMovie back(600);
  Track r = bz_test::AddBuiltTrack(back.movie, VideoMediaType, 600, Frames({20}), 5000);
  Media rm = GetTrackMedia(r);
  Handle d2 = NewHandle(0);
  GetMediaSampleDescription(rm, 1, reinterpret_cast<SampleDescriptionHandle>(d2));
  SampleReference64Record earlier{100, 1000, 20, 1, 0};
  ASSERT_EQ(noErr, AddMediaSampleReferences64(rm, reinterpret_cast<SampleDescriptionHandle>(d2), 1, &earlier, nullptr));
  DisposeHandle(d2);
  bz_test::InsertWholeMedia(r);
  EXPECT_FALSE(QT_IsDataOffsetMonotonousWithTrackTime(r));
}

TEST(MovieQueries, DrawingCompleteProcSetsItsFlag) {
  Boolean done = false;
  EXPECT_EQ(noErr, QT_MinimalDrawingCompleteProc(nullptr, reinterpret_cast<intptr_t>(&done)));
  EXPECT_TRUE(done);
}

}  // namespace
