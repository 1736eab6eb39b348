// Frame numbers, times and sample references of movies written by ffmpeg, checked against the packets
// that ffprobe reports (presentation times, positions, sizes, key flags).
#include "movie/movie_queries.h"
#include "movie/movie_time.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Packet {
  double pts;
  double duration;
  SInt64 pos;
  UInt32 size;
  bool key;
};

// The packets of the first video stream in presentation order. A program stream leaves the time stamps of
// many pictures to the decoder: its decoded frames stand in for them (times, durations and key flags only).
std::vector<Packet> ProbePackets(const std::string &path, bool decoded) {
  std::string out;
  bz_test::RunCommand(std::string("ffprobe -v error -select_streams v:0 ") +
                          (decoded ? "-show_frames -show_entries frame=best_effort_timestamp_time,pkt_duration_time,"
                                     "key_frame "
                                   : "-show_entries packet=pts_time,duration_time,pos,size,flags ") +
                          "-of compact=p=0 " + bz_test::ShellQuote(path),
                      &out);
  std::vector<Packet> packets;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (decoded && line.find("key_frame=") == std::string::npos) continue;  // side data of the frame before
    Packet p{0, 0, 0, 0, false};
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '|')) {
      size_t eq = field.find('=');
      std::string key = field.substr(0, eq), value = field.substr(eq + 1);
      if (value == "N/A") continue;
      if (key == "pts_time" || key == "best_effort_timestamp_time") p.pts = std::stod(value);
      if (key == "duration_time" || key == "pkt_duration_time") p.duration = std::stod(value);
      if (key == "key_frame") p.key = value == "1";
      if (key == "pos") p.pos = std::stoll(value);
      if (key == "size") p.size = UInt32(std::stoul(value));
      if (key == "flags") p.key = value.find('K') != std::string::npos;
    }
    packets.push_back(p);
  }
  std::sort(packets.begin(), packets.end(), [](const Packet &a, const Packet &b) { return a.pts < b.pts; });
  return packets;
}

struct FfmpegCase {
  const char *name;
  const char *args;
  OSType codec;
  bool simple;       // one simple video track
  bool references;   // sample references follow presentation order (no reordered frames) and lie in the file
  const char *file = "mov";  // the file's kind: QuickTime, or one that opens through libavformat
};

const FfmpegCase kCases[] = {
    {"constant_with_sound",
     "-f lavfi -i testsrc=s=48x32:r=25:d=0.4 -f lavfi -i sine=r=48000:d=0.4 -c:v rawvideo -pix_fmt uyvy422 "
     "-tag:v 2vuy -c:a pcm_s16be",
     '2vuy', true, true},
    {"variable_durations",
     "-f lavfi -i testsrc=s=48x32:r=25:d=0.4 -vf select='not(eq(n\\,2))*not(eq(n\\,5))*not(eq(n\\,6))' "
     "-fps_mode vfr -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy",
     '2vuy', true, true},
    {"empty_edit_and_longer_sound",
     "-itsoffset 0.2 -f lavfi -i testsrc=s=48x32:r=25:d=0.2 -f lavfi -i sine=r=48000:d=0.6 -fps_mode passthrough "
     "-c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy -c:a pcm_s16be",
     '2vuy', true, true},
    {"disabled_second_video",
     "-f lavfi -i testsrc=s=48x32:r=25:d=0.32 -f lavfi -i testsrc=s=32x24:r=10:d=0.4 -map 0 -map 1 -c:v rawvideo "
     "-pix_fmt uyvy422 -tag:v 2vuy",
     '2vuy', true, true},
    {"dv_pal", "-f lavfi -i testsrc=s=720x576:r=25:d=0.12 -c:v dvvideo -pix_fmt yuv420p", 'dvcp', true, true},
    {"reordered_frames", "-f lavfi -i testsrc=s=64x48:r=25:d=0.4 -c:v mpeg4 -bf 2 -g 6", 'mp4v', false, false},
    // Files of other kinds answer the same questions.
    {"dv_stream", "-f lavfi -i testsrc=s=720x576:r=25:d=0.12 -c:v dvvideo -pix_fmt yuv420p -f dv", 'dvcp', true, true,
     "dv"},
    {"mpeg2_program_stream", "-f lavfi -i testsrc=s=352x288:r=25:d=0.6 -c:v mpeg2video -bf 2 -g 6 -f vob", 'm2v ',
     false, false, "mpg"},
    {"avi_motion_jpeg", "-f lavfi -i testsrc=s=64x48:r=25:d=0.4 -c:v mjpeg -f avi", 'jpeg', true, true, "avi"},
};

class FfmpegFrames : public ::testing::TestWithParam<FfmpegCase> {
 protected:
  void SetUp() override {
    if (!bz_test::RequireFfmpeg()) GTEST_SKIP();
    path_ = dir_.File(std::string(GetParam().name) + "." + GetParam().file);
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y " + std::string(GetParam().args) +
                                     " -fflags +bitexact -flags +bitexact " + bz_test::ShellQuote(path_)));
    ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path_, &movie_));
    packets_ = ProbePackets(path_, std::string(GetParam().file) == "mpg");
    ASSERT_FALSE(packets_.empty());
  }
  void TearDown() override { DisposeMovie(movie_); }

  bz_test::TempDir dir_;
  std::string path_;
  Movie movie_ = nullptr;
  std::vector<Packet> packets_;
};

TEST_P(FfmpegFrames, FrameNumbersTimesAndReferencesMatchThePackets) {
  const FfmpegCase &c = GetParam();
  TimeScale scale = GetMovieTimeScale(movie_);
  double unit = 1.0 / scale;
  // A program stream's clock does not start at 0: the movie begins with its first picture.
  const double origin = std::string(c.file) == "mpg" ? packets_.front().pts : 0.0;
  SInt32 count = 0;
  ASSERT_EQ(noErr, QT_CountMovieFrames(movie_, &count, nullptr));
  ASSERT_EQ(SInt32(packets_.size()), count);
  Track video = QT_GetFirstEnabledVideoTrack(movie_);
  Media media = GetTrackMedia(video);
  for (SInt32 n = 0; n < count; ++n) {
    SCOPED_TRACE(::testing::Message() << "frame " << n);
    const Packet &p = packets_[size_t(n)];
    TimeValue t = QT_MovieFrameNumberToTime(movie_, n);
    EXPECT_NEAR(p.pts - origin, double(t) / scale, unit);
    TimeValue start = -1, duration = -1;
    EXPECT_EQ(n, QT_MovieTimeToFrameNumber(movie_, t, &start, &duration));
    EXPECT_EQ(t, start);
    EXPECT_NEAR(p.duration, double(duration) / scale, unit);
    if (duration > 1) {
      EXPECT_EQ(n, QT_MovieTimeToFrameNumber(movie_, t + duration - 1, nullptr, nullptr));
    }
    if (!c.references) continue;
    SInt64 offset = -1;
    UInt32 size = 0;
    SInt32 samples = 0;
    ASSERT_EQ(noErr, QT_GetMediaSampleReference64(media, &offset, &size, TrackTimeToMediaTime(t, video), nullptr,
                                                  nullptr, nullptr, nullptr, 1, &samples, nullptr));
    EXPECT_EQ(1, samples);
    EXPECT_EQ(p.pos, offset);
    EXPECT_EQ(p.size, size);
  }
  EXPECT_EQ(GetMovieDuration(movie_), QT_MovieFrameNumberToTime(movie_, count));
  EXPECT_EQ(-1, QT_MovieFrameNumberToTime(movie_, count + 1));
  // Past the last frame's end there is no frame.
  TimeValue lastStart = QT_MovieFrameNumberToTime(movie_, count - 1), lastDuration = 0;
  QT_MovieTimeToFrameNumber(movie_, lastStart, nullptr, &lastDuration);
  EXPECT_EQ(-1, QT_MovieTimeToFrameNumber(movie_, lastStart + lastDuration, nullptr, nullptr));
  SInt32 visual = 0;
  ASSERT_EQ(noErr, QT_GetNumVisualMovieSamples(movie_, 0, GetMovieDuration(movie_), &visual));
  EXPECT_EQ(count, visual);
  EXPECT_NEAR(packets_.front().pts - origin, double(QT_MovieFrameNumberToTime(movie_, 0)) / scale, unit);
}

TEST_P(FfmpegFrames, CodecSimplicityAndCompression) {
  const FfmpegCase &c = GetParam();
  CodecType codec = 0;
  ASSERT_EQ(noErr, QT_GetMovieCType(movie_, &codec, false));
  EXPECT_EQ(c.codec, codec);
  Boolean simple = !c.simple;
  ASSERT_EQ(noErr, QT_MovieHasOneSimpleVideoTrack(movie_, &simple));
  EXPECT_EQ(c.simple, bool(simple));
  bool anyNotKey = std::any_of(packets_.begin(), packets_.end(), [](const Packet &p) { return !p.key; });
  Boolean compressed = !anyNotKey;
  ASSERT_EQ(noErr, QT_IsMediaTemporallyCompressed(GetTrackMedia(QT_GetFirstEnabledVideoTrack(movie_)), &compressed));
  EXPECT_EQ(anyNotKey, bool(compressed));
  float gamma = 0;
  ASSERT_EQ(noErr, QT_GetMovieGamma2(movie_, nullptr, &gamma));
  EXPECT_NEAR(codec == 'dvcp' ? 2.2222223 : 2.2, gamma, 1e-4);  // a Fixed inside the description
  if (codec == 'm2v ') {
    // MPEG frames are evenly spaced: 25 a second at 90000 units.
    Boolean pal = false;
    SInt32 frames = 0;
    TimeValue frameDuration = 0;
    double exact = 0;
    ASSERT_EQ(noErr, QT_GetMpegInfo(movie_, &pal, &frames, &frameDuration, &exact));
    EXPECT_TRUE(pal);
    EXPECT_EQ(SInt32(packets_.size()), frames);
    EXPECT_EQ(3600, frameDuration);
    EXPECT_EQ(3600.0, exact);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, FfmpegFrames, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// An MPEG file's sound is a track of its own: sound that runs on past the pictures adds no frames.
TEST(FfmpegMpegInfo, SoundLongerThanThePicturesAddsNoFrames) {
  if (!bz_test::RequireFfmpeg()) GTEST_SKIP();
  bz_test::TempDir dir;
  const std::string path = dir.File("long_sound.mpg");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=64x48:r=25:d=0.4 -f lavfi -i "
                                   "sine=r=48000:d=1.2 -c:v mpeg2video -c:a mp2 -f vob " + bz_test::ShellQuote(path)));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  EXPECT_GT(double(GetMovieDuration(movie)) / GetMovieTimeScale(movie), 1.0);
  SInt32 frames = 0;
  ASSERT_EQ(noErr, QT_GetMpegInfo(movie, nullptr, &frames, nullptr, nullptr));
  EXPECT_EQ(10, frames);
  DisposeMovie(movie);
}

// The second video track of two is disabled: only the first one's frames count, and its duration sets
// the video's end.
TEST(FfmpegFramesDisabledTrack, OnlyEnabledTracksCount) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  std::string path = dir.File("two.mov");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=48x32:r=25:d=0.32 -f lavfi -i "
                                   "testsrc=s=32x24:r=10:d=0.6 -map 0 -map 1 -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " +
                                   bz_test::ShellQuote(path)));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  EXPECT_EQ(2, QT_CountVideoTracks(movie));
  EXPECT_EQ(1, QT_CountEnabledVideoTracks(movie));
  TimeScale scale = GetMovieTimeScale(movie);
  TimeValue start = 0, end = 0;
  QT_GetMovieVideoDuration(movie, &start, &end);
  EXPECT_NEAR(0.32, double(end) / scale, 1.0 / scale);
  SInt32 count = 0;
  ASSERT_EQ(noErr, QT_CountMovieFrames(movie, &count, nullptr));
  EXPECT_EQ(8, count);
  // The longer disabled track still makes the movie longer.
  EXPECT_NEAR(0.6, double(GetMovieDuration(movie)) / scale, 1.0 / scale);
  DisposeMovie(movie);
}

}  // namespace
