// The static information of source movies made by ffmpeg and by our own writer: what is counted, the
// gamma and range rules, the MPEG time-scale repair, that a filled record is left alone, the failures for
// movies without pictures, and the information text.
#include "dialog/static_movie_info.h"

#include "app/app_preferences.h"
#include "general/unicode_strings.h"
#include "movie/movie_errors.h"
#include "platform/core/cf_string.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using bz_test::ShellQuote;

std::string Text(CFStringRef s) {
  char buffer[2048] = {};
  if (s != nullptr) CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8);
  return buffer;
}

class StaticMovieInfo : public ::testing::Test {
 protected:
  void SetUp() override { BZ_MakeDefaultAppPrefs(&prefs_); }
  void TearDown() override {
    if (movie_ != nullptr) DisposeMovie(movie_);
    BZ_DisposeStaticMovieInfo(nullptr, 0);
  }
  // Makes the file with ffmpeg (inputs: a moving test card, and a tone when `sound`); its path.
  std::string Make(const std::string &name, const std::string &args, bool sound = false, double seconds = 0.48) {
    const std::string path = dir_.File(name);
    std::string inputs = "-f lavfi -i testsrc=s=64x48:r=25:d=" + std::to_string(seconds);
    if (sound) inputs += " -f lavfi -i sine=f=440:r=48000:d=" + std::to_string(seconds);
    EXPECT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y " + inputs + " " + args + " " + ShellQuote(path))) << name;
    return path;
  }
  // Opens the movie at path as source 0 and gathers its information.
  OSStatus Gather(const std::string &path) {
    BZ_SaveAppPrefs(&prefs_);
    if (OSStatus err = bz_test::OpenMovieAtPath(path, &movie_); err != noErr) return err;
    return BZ_GetStaticMovieInfo(movie_, &Info());
  }
  BZ_StatMovInfo &Info() { return project_->info.statMovInfo[0]; }

  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
  bz_test::CurrentProject project_;
  BZ_AppPrefs prefs_{};
  Movie movie_ = nullptr;
};

TEST_F(StaticMovieInfo, AnUncompressedMovieIsDescribedAndItsTextSaysSo) {
  if (!bz_test::RequireFfmpeg()) return;
  const std::string path = Make("card.mov", "-c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy -c:a pcm_s16be", true);
  ASSERT_EQ(Gather(path), noErr);
  const BZ_StatMovInfo &info = Info();
  EXPECT_EQ(info.cType, CodecType('2vuy'));
  EXPECT_EQ(info.numFrames, 12);
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 48);
  EXPECT_EQ(info.numVisualTracks, 1);
  EXPECT_TRUE(info.hasSound);
  EXPECT_TRUE(info.hasOneSimpleVideoTrack);
  EXPECT_TRUE(info.isVideoRange);
  ASSERT_NE(info.timeList, nullptr);
  EXPECT_EQ(info.timeList[1] - info.timeList[0], info.frameDuration);
  EXPECT_FLOAT_EQ(info.avFrameDuration, 0.04f);
  EXPECT_EQ(info.mediaDataSize, SInt64(64 * 48 * 2 * 12) + SInt64(48000 * 0.48) * 2);
  // The movie is ready for the pipeline: its box at the origin.
  Rect box{};
  GetMovieBox(movie_, &box);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.left, 0);

  CFMutableStringRef text = nullptr;
  ASSERT_EQ(BZ_CreateMovieInfoText(&info, &text), noErr);
  PL_CFScoped<CFStringRef> size{GL_GetByteSizeString(info.mediaDataSize)};
  EXPECT_EQ(Text(text), "Movie size: 64 x 48, Frames: 12\nDuration: 0h 0m 0s\nTime scale: " +
                            std::to_string(info.movieTimeScale) + ", Compressor: 2vuy\nData size: " + Text(size.get()));
  CFRelease(text);
}

TEST_F(StaticMovieInfo, InformationTextTellsSizesDurationAndMixedCodecs) {
  BZ_StatMovInfo info{};
  info.width = info.naturalWidth = 720;
  info.height = info.naturalHeight = 576;
  info.numFrames = 93784;
  info.movieTimeScale = 25;
  info.videoDuration = 25 * (3600 + 2 * 60 + 3);
  info.cType = 0xFFFFFFFF;
  info.mediaDataSize = 512;
  SetIdentityMatrix(&info.movieMatrix);
  struct Case {
    const char *what;
    SInt32 naturalWidth;
    Fixed scale;  // the movie matrix's horizontal scale
    const char *start;
  } cases[] = {
      {"plain", 720, 0x10000, "Movie size: 720 x 576"},
      {"scaled by its matrix", 720, 0x20000, "Unscaled movie size: 720 x 576"},
      {"box differs from the frames", 1024, 0x10000, "Media size: 720 x 576"},
  };
  for (const Case &c : cases) {
    info.naturalWidth = c.naturalWidth;
    info.movieMatrix.matrix[0][0] = c.scale;
    CFMutableStringRef text = nullptr;
    ASSERT_EQ(BZ_CreateMovieInfoText(&info, &text), noErr);
    EXPECT_EQ(Text(text), std::string(c.start) +
                              ", Frames: 93784\nDuration: 1h 2m 3s\nTime scale: 25\nData size: 512 bytes")
        << c.what;
    CFRelease(text);
  }
}

TEST_F(StaticMovieInfo, Yuv2FollowsTheVideoRangePreference) {
  if (!bz_test::RequireFfmpeg()) return;
  const std::string path = Make("yuv2.mov", "-c:v rawvideo -pix_fmt yuyv422 -tag:v yuv2");
  struct Case {
    bool videoRange;
  } cases[] = {{false}, {true}};
  float fullRangeGamma = 0;
  for (const Case &c : cases) {
    prefs_.yuv2IsVideoRange = c.videoRange;
    BZ_DisposeStaticMovieInfo(nullptr, 0);
    if (movie_ != nullptr) DisposeMovie(movie_);
    movie_ = nullptr;
    ASSERT_EQ(Gather(path), noErr) << c.videoRange;
    EXPECT_EQ(Info().cType, CodecType('yuv2'));
    EXPECT_EQ(Info().isVideoRange, c.videoRange);
    if (c.videoRange) {
      EXPECT_EQ(Info().gamma, kBZ_Gamma20by9);
    } else {
      fullRangeGamma = Info().gamma;
    }
  }
  // Full range keeps the movie's own gamma (ffmpeg states 2.2 in 16.16 fixed point).
  EXPECT_NEAR(fullRangeGamma, 2.2f, 1e-4);
}

TEST_F(StaticMovieInfo, OnlyVisualTracksThatAreNotTextCount) {
  if (!bz_test::RequireFfmpeg()) return;
  const std::string subtitles = dir_.File("words.srt");
  bz_test::WriteText(subtitles, "1\n00:00:00,000 --> 00:00:00,400\nHello\n");
  const std::string path = dir_.File("with text.mov");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=64x48:r=25:d=0.48 -i " +
                                   ShellQuote(subtitles) +
                                   " -map 0 -map 1 -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy -c:s mov_text " +
                                   ShellQuote(path)));
  ASSERT_EQ(Gather(path), noErr);
  EXPECT_EQ(Info().numVisualTracks, 1);
  EXPECT_EQ(Info().cType, CodecType('2vuy'));
  EXPECT_EQ(Info().numFrames, 12);
}

TEST_F(StaticMovieInfo, MpegAt90kHzWith3753TicksGetsTimeScale2997) {
  if (!bz_test::RequireFfmpeg()) return;
  const std::string path =
      Make("film.m2v", "-r 24000/1001 -s 720x480 -c:v mpeg2video -g 6 -b:v 4M -f mpeg2video", false, 1.0);
  ASSERT_EQ(Gather(path), noErr);
  const BZ_StatMovInfo &info = Info();
  EXPECT_EQ(info.cType, CodecType('m2v '));
  EXPECT_EQ(info.movieTimeScale, 2997);
  EXPECT_EQ(GetMovieTimeScale(movie_), 2997);
  EXPECT_EQ(info.frameDuration, 125);
  EXPECT_EQ(info.frameDurationF, 125.0);
  EXPECT_EQ(info.videoDuration, GetMovieDuration(movie_));
  EXPECT_GT(info.numFrames, 20);
}

TEST_F(StaticMovieInfo, AFilledRecordIsLeftAlone) {
  if (!bz_test::RequireFfmpeg()) return;
  const std::string path = Make("card.mov", "-c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy");
  ASSERT_EQ(Gather(path), noErr);
  const BZ_StatMovInfo before = Info();
  ASSERT_EQ(BZ_GetStaticMovieInfo(movie_, &Info()), noErr);
  EXPECT_EQ(std::memcmp(&before, &Info(), sizeof before), 0);
}

TEST_F(StaticMovieInfo, MoviesWithoutPicturesFail) {
  if (!bz_test::RequireFfmpeg()) return;
  // Sound alone.
  const std::string sound = dir_.File("tone.mov");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i sine=f=440:r=48000:d=0.5 -c:a pcm_s16be " +
                                   ShellQuote(sound)));
  EXPECT_EQ(Gather(sound), kQT_NoVideoTrackErr);
  BZ_DisposeStaticMovieInfo(nullptr, 0);
  DisposeMovie(movie_);
  movie_ = nullptr;
  // A video track without a single frame, written by our writer.
  bz_test::FixtureMovieSpec empty;
  empty.frames = 0;
  empty.withSound = false;
  const std::string path = dir_.File("empty.mov");
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(bz_test::WriteFixtureMovie(path, empty, &written), noErr);
  // (The track's missing sample description is what the gathering trips over first.)
  EXPECT_NE(Gather(path), noErr);
}

TEST_F(StaticMovieInfo, DisposingEmptiesTheRecordAndClosesTheMovie) {
  if (!bz_test::RequireFfmpeg()) return;
  const std::string path = Make("card.mov", "-c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy");
  ASSERT_EQ(Gather(path), noErr);
  project_->info.dynMovieInfo.sourceMovie[0] = movie_;
  movie_ = nullptr;  // the record's now
  BZ_DisposeStaticMovieInfo(nullptr, 0);
  EXPECT_EQ(Info().cType, 0u);
  EXPECT_EQ(Info().numFrames, 0);
  EXPECT_EQ(Info().timeList, nullptr);
  EXPECT_EQ(Info().posterPict, nullptr);
  EXPECT_EQ(project_->info.dynMovieInfo.sourceMovie[0], nullptr);
}

}  // namespace
