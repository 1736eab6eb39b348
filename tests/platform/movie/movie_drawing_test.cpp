// Drawing movies of compressed codecs into '2vuy' worlds gives, frame by frame, in order and after seeks,
// what ffmpeg's own decoder converted to UYVY gives; the drawing-complete procedure follows every drawing;
// damaged and truncated sample data give errors, never crashes.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

// Largest difference allowed between our bytes and ffmpeg's: the same decoder and converter run on both
// sides (they agree exactly today), so anything beyond rounding is a fault.
constexpr int kTolerance = 2;

struct CodecCase {
  const char *name;
  const char *encoder;  // ffmpeg encoder that must exist
  int width, height, frames;
  const char *args;     // encoding arguments after the input
  const char *file = "mov";  // the file's kind: QuickTime, or one that libavformat imports
};

// Every frame, not only the first, must be the reference decoder's: codecs whose decoders look at the key
// flag of their samples (PNG, Animation) take a sample without it as a change to the previous picture.
const CodecCase kCases[] = {
    {"dv_pal", "dvvideo", 720, 576, 8, "-c:v dvvideo -s 720x576 -pix_fmt yuv420p"},
    {"dv_ntsc", "dvvideo", 720, 480, 6, "-c:v dvvideo -s 720x480 -r 30000/1001 -pix_fmt yuv411p"},
    {"dvcpro50", "dvvideo", 720, 576, 4, "-c:v dvvideo -s 720x576 -pix_fmt yuv422p"},
    {"dvcprohd", "dvvideo", 1280, 1080, 3, "-c:v dvvideo -r 30000/1001 -pix_fmt yuv422p"},
    {"mjpeg", "mjpeg", 320, 240, 8, "-c:v mjpeg -q:v 4 -pix_fmt yuvj422p"},
    {"h264", "libx264", 320, 240, 12, "-c:v libx264 -preset veryfast -bf 2 -g 5 -pix_fmt yuv420p"},
    {"mpeg4", "mpeg4", 320, 240, 12, "-c:v mpeg4 -bf 2 -g 5 -q:v 5"},
    {"png", "png", 160, 120, 8, "-c:v png -pix_fmt rgb24"},
    {"animation", "qtrle", 160, 120, 8, "-c:v qtrle -pix_fmt rgb24 -g 4"},
    {"prores", "prores_ks", 320, 240, 6, "-c:v prores_ks -profile:v 2"},
    {"raw_rgb", "rawvideo", 160, 120, 6, "-c:v rawvideo -pix_fmt rgb24"},
    {"v210", "v210", 320, 240, 6, "-c:v v210"},
    {"dv_stream", "dvvideo", 720, 576, 8, "-c:v dvvideo -pix_fmt yuv420p -f dv", "dv"},
    {"mpeg2_program_stream", "mpeg2video", 720, 576, 14, "-c:v mpeg2video -g 6 -bf 2 -f vob", "mpg"},
    {"mpeg2_elementary_stream", "mpeg2video", 352, 288, 14, "-c:v mpeg2video -g 6 -bf 2 -f mpeg2video", "m2v"},
    {"avi_mjpeg", "mjpeg", 320, 240, 8, "-c:v mjpeg -q:v 4 -f avi", "avi"},
};

std::ostream &operator<<(std::ostream &os, const CodecCase &c) { return os << c.name; }

bool EncoderExists(const char *encoder) {
  std::string out;
  bz_test::RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null", &out);
  return out.find(std::string(" ") + encoder + " ") != std::string::npos;
}

struct DrawCount {
  int calls = 0;
  Movie movie = nullptr;
};

OSErr CountDrawing(Movie movie, long refCon) {
  auto *count = reinterpret_cast<DrawCount *>(refCon);
  ++count->calls;
  count->movie = movie;
  return noErr;
}

// Start times of the movie's frames, from the interesting-time walk.
std::vector<TimeValue> FrameTimes(Movie movie) {
  std::vector<TimeValue> times;
  OSType eyes = VisualMediaCharacteristic;
  TimeValue t = 0;
  GetMovieNextInterestingTime(movie, nextTimeMediaSample | nextTimeEdgeOK, 1, &eyes, 0, fixed1, &t, nullptr);
  while (t >= 0) {
    times.push_back(t);
    GetMovieNextInterestingTime(movie, nextTimeMediaSample, 1, &eyes, t, fixed1, &t, nullptr);
  }
  return times;
}

class MovieDrawing : public ::testing::TestWithParam<CodecCase> {
 protected:
  void SetUp() override {
    const CodecCase &c = GetParam();
    if (!bz_test::RequireFfmpeg()) return;
    if (!EncoderExists(c.encoder)) GTEST_SKIP() << "ffmpeg has no encoder " << c.encoder;
    const bool quickTime = std::string(c.file) == "mov";
    path_ = dir_.File(std::string(c.name) + "." + c.file);
    std::string raw = dir_.File(std::string(c.name) + ".uyvy");
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=" + std::to_string(c.width) + "x" +
                                     std::to_string(c.height) + ":r=25 -frames:v " + std::to_string(c.frames) + " " +
                                     c.args + (quickTime ? " -movflags +faststart " : " ") +
                                     bz_test::ShellQuote(path_)));
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + bz_test::ShellQuote(path_) +
                                     " -f rawvideo -pix_fmt uyvy422 " + bz_test::ShellQuote(raw)));
    reference_ = bz_test::ReadWholeFile(raw);
    frameBytes_ = size_t(c.width) * 2 * size_t(c.height);
    if (std::string(c.args).find("yuv411p") != std::string::npos) {
      // 4:1:1 chroma stands on the first pixel of its four (DV's siting, which ffmpeg's scaler does not
      // follow): the reference is ffmpeg's planes, the odd pairs taking the rounded mean of the samples around.
      const std::string planar = dir_.File(std::string(c.name) + ".411");
      ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + bz_test::ShellQuote(path_) +
                                       " -f rawvideo -pix_fmt yuv411p " + bz_test::ShellQuote(planar)));
      const std::vector<UInt8> p = bz_test::ReadWholeFile(planar);
      const size_t w = size_t(c.width), h = size_t(c.height), cw = w / 4, planeBytes = w * h + 2 * cw * h;
      ASSERT_EQ(p.size(), planeBytes * size_t(c.frames));
      for (size_t f = 0; f < size_t(c.frames); ++f)
        for (size_t y = 0; y < h; ++y)
          for (size_t i = 0; i < w / 2; ++i) {
            const UInt8 *frame = p.data() + f * planeBytes;
            const size_t k = i / 2, next = std::min(k + 1, cw - 1);
            auto chroma = [&](size_t plane) {
              const UInt8 *row = frame + w * h + plane * cw * h + y * cw;
              return i % 2 == 0 ? row[k] : UInt8((row[k] + row[next] + 1) / 2);
            };
            UInt8 *out = reference_.data() + f * frameBytes_ + y * w * 2 + 4 * i;
            out[0] = chroma(0);
            out[2] = chroma(1);
          }
    }
    ASSERT_EQ(reference_.size(), frameBytes_ * size_t(c.frames));
    ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path_, &movie_));
    Rect bounds{0, 0, SInt16(c.height), SInt16(c.width)};
    ASSERT_EQ(noErr, QTNewGWorld(&world_, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0));
    SetMovieGWorld(movie_, world_, nullptr);
    ASSERT_EQ(noErr, GetMoviesError());
    SetMovieActive(movie_, true);
    SetMovieDrawingCompleteProc(movie_, movieDrawingCallAlways, CountDrawing, reinterpret_cast<long>(&drawn_));
    times_ = FrameTimes(movie_);
    ASSERT_EQ(size_t(c.frames), times_.size());
  }
  void TearDown() override {
    DisposeMovie(movie_);
    DisposeGWorld(world_);
  }

  // Draws frame n and compares it with ffmpeg's.
  void ExpectFrame(int n) {
    SCOPED_TRACE(testing::Message() << "frame " << n);
    int before = drawn_.calls;
    SetMovieTimeValue(movie_, times_[size_t(n)]);
    MoviesTask(movie_, 0);
    EXPECT_EQ(noErr, GetMoviesError());
    EXPECT_EQ(noErr, GetMovieStatus(movie_, nullptr));
    EXPECT_EQ(before + 1, drawn_.calls);
    EXPECT_EQ(movie_, drawn_.movie);
    PixMapHandle pm = GetGWorldPixMap(world_);
    const CodecCase &c = GetParam();
    const UInt8 *ours = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pm));
    const UInt8 *theirs = reference_.data() + frameBytes_ * size_t(n);
    int worst = 0, worstX = 0, worstY = 0;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width * 2; ++x) {
        int d = std::abs(int(ours[size_t(y) * size_t(GetPixRowBytes(pm)) + size_t(x)]) -
                         int(theirs[size_t(y) * size_t(c.width) * 2 + size_t(x)]));
        if (d > worst) worst = d, worstX = x, worstY = y;
      }
    EXPECT_LE(worst, kTolerance) << "largest difference at byte " << worstX << " of line " << worstY;
  }

  bz_test::TempDir dir_;
  std::string path_;
  std::vector<UInt8> reference_;
  size_t frameBytes_ = 0;
  Movie movie_ = nullptr;
  GWorldPtr world_ = nullptr;
  DrawCount drawn_;
  std::vector<TimeValue> times_;
};

TEST_P(MovieDrawing, FramesInOrderMatchTheReferenceDecoder) {
  for (int n = 0; n < GetParam().frames; ++n) ExpectFrame(n);
  // A sequential run keeps one decoder going: it starts once and decodes each sample once.
  SInt64 decoded = 0, restarts = 0;
  PL_MovieDrawingCounts(movie_, &decoded, &restarts);
  EXPECT_EQ(1, restarts);
  EXPECT_EQ(GetParam().frames, decoded);
}

TEST_P(MovieDrawing, FramesAfterSeeksBackwardsAndForwardsMatchTheReferenceDecoder) {
  const int last = GetParam().frames - 1;
  for (int n : {last, 2, last - 1, 0, 6, 6, 7, 1, 3}) ExpectFrame(std::min(n, last));
}

TEST_P(MovieDrawing, TaskDrawsOnlyWhenSomethingChanged) {
  SetMovieDrawingCompleteProc(movie_, movieDrawingCallWhenChanged, CountDrawing, reinterpret_cast<long>(&drawn_));
  SetMovieTimeValue(movie_, times_[1]);
  MoviesTask(movie_, 0);
  MoviesTask(movie_, 0);
  EXPECT_EQ(1, drawn_.calls);
  EXPECT_EQ(noErr, UpdateMovie(movie_));
  MoviesTask(movie_, 0);
  EXPECT_EQ(2, drawn_.calls);
  // An inactive movie or one without a world does not draw.
  SetMovieActive(movie_, false);
  SetMovieTimeValue(movie_, times_[2]);
  MoviesTask(movie_, 0);
  EXPECT_EQ(2, drawn_.calls);
  SetMovieActive(movie_, true);
  SetMovieGWorld(movie_, nullptr, nullptr);
  CGrafPtr port = reinterpret_cast<CGrafPtr>(1);
  GetMovieGWorld(movie_, &port, nullptr);
  EXPECT_EQ(nullptr, port);
  MoviesTask(movie_, 0);
  EXPECT_EQ(2, drawn_.calls);
  SetMovieGWorld(movie_, world_, nullptr);
  GetMovieGWorld(movie_, &port, nullptr);
  EXPECT_EQ(world_, port);
  MoviesTask(movie_, 0);
  EXPECT_EQ(3, drawn_.calls);
}

INSTANTIATE_TEST_SUITE_P(Codecs, MovieDrawing, ::testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<CodecCase> &info) { return std::string(info.param.name); });

// ---- Damage ----

class MovieDrawingDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bz_test::RequireFfmpeg()) return;
    path_ = dir_.File("dv.mov");
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=720x576:r=25 -frames:v 6 -c:v dvvideo "
                                     "-pix_fmt yuv420p -movflags +faststart " +
                                     bz_test::ShellQuote(path_)));
    Movie movie = nullptr;
    ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path_, &movie));
    Media media = GetTrackMedia(GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType));
    TimeValue t = 0;
    while (t < GetMediaDuration(media)) {
      SampleReference64Record ref;
      SInt32 count = 0;
      TimeValue sampleTime = 0;
      ASSERT_EQ(noErr, GetMediaSampleReferences64(media, t, &sampleTime, nullptr, nullptr, 1, &count, &ref));
      ASSERT_EQ(1, count);
      for (UInt32 i = 0; i < ref.numberOfSamples; ++i)
        offsets_.push_back(ref.dataOffset + SInt64(i) * (ref.dataSize / ref.numberOfSamples));
      sampleSize_ = ref.dataSize / ref.numberOfSamples;
      t = sampleTime + ref.durationPerSample * TimeValue(ref.numberOfSamples);
    }
    DisposeMovie(movie);
    ASSERT_EQ(6u, offsets_.size());
  }

  // Opens the (changed) file and draws every frame; returns the status of each.
  std::vector<OSErr> DrawAll(int *calls) {
    std::vector<OSErr> statuses;
    Movie movie = nullptr;
    EXPECT_EQ(noErr, bz_test::OpenMovieAtPath(path_, &movie));
    if (movie == nullptr) return statuses;
    Rect bounds{0, 0, 576, 720};
    GWorldPtr world = nullptr;
    EXPECT_EQ(noErr, QTNewGWorld(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0));
    DrawCount count;
    SetMovieGWorld(movie, world, nullptr);
    SetMovieActive(movie, true);
    SetMovieDrawingCompleteProc(movie, movieDrawingCallAlways, CountDrawing, reinterpret_cast<long>(&count));
    for (TimeValue t : FrameTimes(movie)) {
      SetMovieTimeValue(movie, t);
      MoviesTask(movie, 0);
      OSErr err = GetMoviesError();
      EXPECT_EQ(err, GetMovieStatus(movie, nullptr));
      statuses.push_back(err);
    }
    *calls = count.calls;
    DisposeMovie(movie);
    DisposeGWorld(world);
    return statuses;
  }

  bz_test::TempDir dir_;
  std::string path_;
  std::vector<SInt64> offsets_;
  UInt32 sampleSize_ = 0;
};

TEST_F(MovieDrawingDamage, GarbledSamplesGiveAFrameOrAnErrorAndTheProcedureStillRuns) {
  std::vector<UInt8> bytes = bz_test::ReadWholeFile(path_);
  std::srand(7);
  // Sample 1: random bytes; sample 3: its header zeroed; sample 4: all 0xFF.
  for (UInt32 i = 0; i < sampleSize_; ++i) bytes[size_t(offsets_[1]) + i] = UInt8(std::rand());
  std::fill_n(bytes.begin() + offsets_[3], 480, 0);
  std::fill_n(bytes.begin() + offsets_[4], sampleSize_, 0xFF);
  ASSERT_TRUE(bz_test::WriteWholeFile(path_, bytes));
  int calls = 0;
  std::vector<OSErr> statuses = DrawAll(&calls);
  ASSERT_EQ(6u, statuses.size());
  EXPECT_EQ(6, calls);
  EXPECT_EQ(noErr, statuses[0]);
  EXPECT_EQ(noErr, statuses[5]);
  for (OSErr err : statuses) EXPECT_TRUE(err == noErr || err == codecBadDataErr) << err;
}

TEST_F(MovieDrawingDamage, TruncatedDataGivesEndOfFileForTheLostFrames) {
  ASSERT_EQ(0, truncate(path_.c_str(), off_t(offsets_[3] + 1000)));
  int calls = 0;
  std::vector<OSErr> statuses = DrawAll(&calls);
  ASSERT_EQ(6u, statuses.size());
  EXPECT_EQ(6, calls);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(i < 3 ? noErr : eofErr, statuses[i]) << "frame " << i;
}

}  // namespace

namespace {

// A media whose samples change description: each picture decodes with its own description's codec.
TEST(MovieDrawingDescriptions, SamplesOfAnotherDescriptionReopenTheDecoder) {
  bz_test::TempDir dir;
  bz_test::FixtureMovieSpec spec;
  spec.withSound = false;
  bz_test::FixtureMovieInfo info;
  const std::string path = dir.File("two_descriptions.mov");
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path, spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  Track track = GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType);
  Media media = GetTrackMedia(track);
  // Frame 0's bytes once more, described as 'yuvs': luma and chroma bytes trade places.
  ImageDescriptionHandle yuvs = bz_test::NewFixtureImageDescription(spec.width, spec.height);
  (*yuvs)->cType = 'yuvs';
  SampleReference64Record ref{info.frameOffsets[0], UInt32(info.frames[0].size()), spec.frameDuration, 1, 0};
  TimeValue added = 0;
  ASSERT_EQ(noErr, BeginMediaEdits(media));
  ASSERT_EQ(noErr, AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(yuvs), 1, &ref, &added));
  ASSERT_EQ(noErr, EndMediaEdits(media));
  DisposeHandle(reinterpret_cast<Handle>(yuvs));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(track, -1, added, spec.frameDuration, fixed1));

  Rect bounds{0, 0, SInt16(spec.height), SInt16(spec.width)};
  GWorldPtr world = nullptr;
  ASSERT_EQ(noErr, QTNewGWorld(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0));
  SetMovieGWorld(movie, world, nullptr);
  SetMovieActive(movie, true);
  std::vector<TimeValue> times = FrameTimes(movie);
  ASSERT_EQ(size_t(spec.frames + 1), times.size());
  PixMapHandle pm = GetGWorldPixMap(world);
  auto shown = [&](size_t n) {
    SetMovieTimeValue(movie, times[n]);
    MoviesTask(movie, 0);
    EXPECT_EQ(noErr, GetMovieStatus(movie, nullptr));
    std::vector<UInt8> bytes;
    const UInt8 *base = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pm));
    for (int y = 0; y < spec.height; ++y)
      bytes.insert(bytes.end(), base + size_t(y) * size_t(GetPixRowBytes(pm)),
                   base + size_t(y) * size_t(GetPixRowBytes(pm)) + size_t(spec.width) * 2);
    return bytes;
  };
  std::vector<UInt8> swapped = info.frames[0];
  for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  EXPECT_EQ(info.frames[5], shown(5));
  EXPECT_EQ(swapped, shown(6));
  EXPECT_EQ(info.frames[0], shown(0));
  EXPECT_EQ(swapped, shown(6));
  DisposeMovie(movie);
  DisposeGWorld(world);
}

}  // namespace
