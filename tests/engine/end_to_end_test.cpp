// Whole executions headless, the engine assembled by its installers alone (engine_wiring.h) as the
// application assembles it: start, read, copy, noise frames, write and save with sound, checked by our own
// reader and from outside with ffprobe/ffmpeg; and runs stopped by a cancel or a write error leave no target
// files.
#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/stage_table.h"
#include "engine/runtime/frame_selection.h"
#include "general/processor_info.h"
#include "movie/image_descriptions.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/movie/movie_drawing.h"
#include "target_builder.h"
#include "support/method_harness.h"
#include "support/task_check.h"

#include "platform/core/files.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>
#include <sys/stat.h>

namespace {
using namespace bz_test;
constexpr EventTimeout kLimit = 60;

enum class Stop { None, Cancel, WriteError };

struct RunResult {
  intptr_t code = -1;
  BZ_ExecuteState exec = kBZ_ProjStateReady;
  OSStatus save = noErr;
  OSStatus error = noErr;
};

// What a run is asked to do beyond the fixture.
struct RunOptions {
  std::string source = "src.mov";  // in the test's folder
  CodecType out = '2vuy';
  Rect crop{0, 0, 0, 0};           // margins top, left, bottom, right; cropping is on when one is set
};

// One execution of the whole engine over the source in dir into dir/out.mov, no method applied (the method
// harness drives it); a stopped run has its target files deleted as the main thread does.
RunResult RunProject(const TempDir &dir, const FixtureMovieSpec &, int workers, Stop stop, const RunOptions &options) {
  MethodRunOptions run;
  run.source = options.source;
  run.workers = workers;
  run.out = options.out;
  run.crop = options.crop;
  run.stop = stop == Stop::Cancel ? RunStop::kCancel : stop == Stop::WriteError ? RunStop::kWriteError : RunStop::kNone;
  const MethodRunResult m = RunMethodProject(dir, run);
  EXPECT_EQ(m.sourceHashBefore, m.sourceHashAfter) << "the source movie was written";
  RunResult r;
  r.code = m.code;
  r.exec = m.exec;
  r.save = m.save;
  r.error = m.error;
  return r;
}

RunResult RunProject(const TempDir &dir, const FixtureMovieSpec &spec, int workers, Stop stop, CodecType out = '2vuy') {
  RunOptions options;
  options.out = out;
  return RunProject(dir, spec, workers, stop, options);
}

class EndToEndWorkers : public ::testing::TestWithParam<int> {};

// The cleaned movie's sound as ffprobe sees it: the source's format, rate, channels and duration.
void ExpectSameSoundFormat(const std::string &src, const std::string &out) {
  auto a = ProbeStream(src, "a:0"), b = ProbeStream(out, "a:0");
  EXPECT_EQ(a["codec_name"], b["codec_name"]);
  EXPECT_EQ(a["sample_rate"], b["sample_rate"]);
  EXPECT_EQ(a["channels"], b["channels"]);
  EXPECT_EQ("2", b["channels"]);
  EXPECT_NEAR(std::stod(a["duration"]), std::stod(b["duration"]), 0.001);
}

TEST_P(EndToEndWorkers, TwoVuyWithSoundToTwoVuy) {
  TempDir dir;
  FixtureMovieSpec spec;
  spec.width = 320; spec.height = 240; spec.frames = 12;
  FixtureMovieInfo info;
  ASSERT_EQ(noErr, WriteFixtureMovie(dir.File("src.mov"), spec, &info));
  const auto srcBytes = ReadWholeFile(dir.File("src.mov"));
  RunResult r = RunProject(dir, spec, GetParam(), Stop::None);
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.save);
  EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov"))) << "the source movie was written";
  {
    // Our own reader first: the cleaned movie's samples are the source's pictures byte for byte.
    Movie cleaned = nullptr;
    ASSERT_EQ(noErr, OpenMovieAtPath(dir.File("out.mov"), &cleaned));
    Track track = QT_GetFirstEnabledVisualTrack(cleaned);
    EXPECT_TRUE(track != nullptr && MediaSamples(GetTrackMedia(track)) == info.frames);
    DisposeMovie(cleaned);
  }
  if (!RequireFfmpeg()) return;

  auto v = ProbeStream(dir.File("out.mov"), "v:0");
  EXPECT_EQ("rawvideo", v["codec_name"]);
  EXPECT_EQ(std::to_string(spec.width), v["width"]);
  EXPECT_EQ(std::to_string(spec.height), v["height"]);
  EXPECT_EQ(std::to_string(spec.frames), v["nb_frames"]);
  EXPECT_EQ("25/1", v["r_frame_rate"]);
  std::string all;
  for (const auto &f : info.frames) all.append(reinterpret_cast<const char *>(f.data()), f.size());
  EXPECT_TRUE(all == Decode(dir.File("out.mov"), "-map 0:v -f rawvideo -pix_fmt uyvy422"));
  ExpectSameSoundFormat(dir.File("src.mov"), dir.File("out.mov"));
  const std::string srcSound = Decode(dir.File("src.mov"), "-map 0:a -f s16le");
  EXPECT_FALSE(srcSound.empty());
  EXPECT_TRUE(srcSound == Decode(dir.File("out.mov"), "-map 0:a -f s16le"));
}

INSTANTIATE_TEST_SUITE_P(Workers, EndToEndWorkers, ::testing::Values(1, 2, 8));

// A run stopped half-way (cancel, or the disk filling under the writer) ends, leaves no target file and
// keeps the source as it was.
TEST(EndToEnd, StoppedRunsLeaveNoTarget) {
  for (Stop stop : {Stop::Cancel, Stop::WriteError}) {
    SCOPED_TRACE(stop == Stop::Cancel ? "cancel" : "write error");
    TempDir dir;
    FixtureMovieSpec spec;
    spec.width = 320; spec.height = 240; spec.frames = 120;
    FixtureMovieInfo info;
    ASSERT_EQ(noErr, WriteFixtureMovie(dir.File("src.mov"), spec, &info));
    const auto srcBytes = ReadWholeFile(dir.File("src.mov"));
    RunResult r = RunProject(dir, spec, 4, stop);
    if (stop == Stop::Cancel) {
      EXPECT_EQ(kBZ_ProjStateCanceled, r.exec);
    } else {
      EXPECT_EQ(dskFulErr, r.error);
      EXPECT_NE(kBZ_ProjStateFinished, r.exec);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mov")));
    EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov")));
  }
}
// The same for a source drawn on the main thread, whose frames are pending in the main thread's events when
// the stop comes.
TEST(EndToEnd, StoppedDrawnRunsLeaveNoTarget) {
  if (!RequireFfmpeg()) return;
  TempDir source;
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=720x576:r=25:d=4 -pix_fmt yuv420p -c:v dvvideo " +
                          ShellQuote(source.File("src.mov"))));
  const auto srcBytes = ReadWholeFile(source.File("src.mov"));
  for (Stop stop : {Stop::Cancel, Stop::WriteError}) {
    SCOPED_TRACE(stop == Stop::Cancel ? "cancel" : "write error");
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("src.mov"), srcBytes));
    FixtureMovieSpec spec;
    spec.width = 720; spec.height = 576; spec.frames = 100;
    RunResult r = RunProject(dir, spec, 4, stop);
    if (stop == Stop::Cancel) {
      EXPECT_EQ(kBZ_ProjStateCanceled, r.exec);
    } else {
      EXPECT_EQ(dskFulErr, r.error);
      EXPECT_NE(kBZ_ProjStateFinished, r.exec);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mov")));
    EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov")));
  }
}

// The compress stage in a whole run: PAL-sized pictures into DV, read back by ffmpeg close to the source.
TEST(EndToEnd, TwoVuyToDv) {
  if (!RequireFfmpeg()) return;
  TempDir dir;
  FixtureMovieSpec spec;
  spec.width = 720; spec.height = 576; spec.frames = 8;
  // A camera-like picture (ffmpeg's test card) rather than the line pattern, which no DV coder keeps close.
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=720x576:r=25:d=0.32 -f lavfi -i sine=r=48000:d=0.32 "
                          "-pix_fmt uyvy422 -c:v rawvideo -c:a pcm_s16be -ac 2 " + ShellQuote(dir.File("src.mov"))));
  RunResult r = RunProject(dir, spec, 4, Stop::None, 'dvc ');
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.save);
  auto v = ProbeStream(dir.File("out.mov"), "v:0");
  EXPECT_EQ("dvvideo", v["codec_name"]);
  EXPECT_EQ("720", v["width"]);
  EXPECT_EQ("576", v["height"]);
  EXPECT_EQ(std::to_string(spec.frames), v["nb_frames"]);
  std::string log;
  RunCommand("ffmpeg -v info -nostats -i " + ShellQuote(dir.File("out.mov")) + " -i " + ShellQuote(dir.File("src.mov")) +
                 " -map 0:v -map 1:v -lavfi \"[0:v]format=yuv422p[a];[1:v]format=yuv422p[b];[a][b]psnr\" -f null - 2>&1",
             &log);
  const auto at = log.find("average:");
  ASSERT_NE(std::string::npos, at) << log;
  const double psnr = std::atof(log.c_str() + at + 8);
  EXPECT_GE(psnr, 40.0) << log.substr(at, 80);
}

// Per frame of two equally long runs of 'uyvy' pictures: luma PSNR and the mean absolute differences of luma
// and chroma.
struct FrameDiff {
  double psnr = 0, meanLuma = 0, meanChroma = 0;
};
std::vector<FrameDiff> CompareFrames(const std::string &a, const std::string &b, size_t frameBytes) {
  std::vector<FrameDiff> diffs;
  if (a.size() != b.size() || frameBytes == 0) return diffs;
  for (size_t start = 0; start + frameBytes <= a.size(); start += frameBytes) {
    double sq = 0, sum[2] = {0, 0};
    for (size_t k = start; k < start + frameBytes; ++k) {
      const int d = int(UInt8(a[k])) - int(UInt8(b[k]));
      sum[k % 2] += std::abs(d);  // byte 0 of a pair is chroma, byte 1 luma
      if (k % 2 == 1) sq += double(d) * d;
    }
    const double pixels = double(frameBytes / 2);
    FrameDiff f;
    f.psnr = sq == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * pixels / sq);
    f.meanLuma = sum[1] / pixels;
    f.meanChroma = sum[0] / pixels;
    diffs.push_back(f);
  }
  return diffs;
}

// A DV source with sound, which is drawn frame by frame on the main thread, into DV: ffprobe sees the output as
// the source (codec, size, frame count and rate, field order, pixel aspect), ffmpeg's pictures of every output
// frame lie within one DV generation of the source's own, and the sound is the source's.
class EndToEndDvWorkers : public ::testing::TestWithParam<int> {};

TEST_P(EndToEndDvWorkers, DvWithSoundToDv) {
  if (!RequireFfmpeg()) return;
  TempDir dir;
  FixtureMovieSpec spec;
  spec.width = 720; spec.height = 576; spec.frames = 10;
  const std::string src = dir.File("src.mov"), out = dir.File("out.mov");
  // Interlaced bottom field first, 4:3 pixels: PAL DV as a camera records it.
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=720x576:r=25:d=0.4 -f lavfi -i sine=r=48000:d=0.4 "
                          "-vf setfield=bff,setsar=16/15 -pix_fmt yuv420p -flags +ildct+ilme -c:v dvvideo "
                          "-c:a pcm_s16be -ac 2 " + ShellQuote(src)));
  auto s = ProbeStream(src, "v:0");
  ASSERT_EQ("dvvideo", s["codec_name"]);
  ASSERT_EQ("10", s["nb_frames"]);
  const auto srcBytes = ReadWholeFile(src);

  RunResult r = RunProject(dir, spec, GetParam(), Stop::None, 'dvc ');
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(noErr, r.save);
  EXPECT_TRUE(srcBytes == ReadWholeFile(src)) << "the source movie was written";

  auto v = ProbeStream(out, "v:0");
  EXPECT_EQ("dvvideo", v["codec_name"]);
  EXPECT_EQ("720", v["width"]);
  EXPECT_EQ("576", v["height"]);
  EXPECT_EQ("10", v["nb_frames"]);
  EXPECT_EQ("10", v["nb_read_frames"]);
  EXPECT_EQ("25/1", v["r_frame_rate"]);
  EXPECT_EQ(s["field_order"], v["field_order"]);
  EXPECT_EQ("bt", v["field_order"]) << "bottom field first";
  EXPECT_EQ("16:15", v["sample_aspect_ratio"]);

  const std::string before = Decode(src, "-map 0:v -f rawvideo -pix_fmt uyvy422");
  const std::string after = Decode(out, "-map 0:v -f rawvideo -pix_fmt uyvy422");
  const size_t frameBytes = size_t(spec.width) * spec.height * 2;
  ASSERT_EQ(before.size(), frameBytes * 10);
  ASSERT_EQ(after.size(), before.size());
  const std::vector<FrameDiff> diffs = CompareFrames(before, after, frameBytes);
  ASSERT_EQ(diffs.size(), 10u);
  for (size_t i = 0; i < diffs.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    // One more DV generation (and the chroma taken to 4:2:2 and back): far closer than the neighbouring frame,
    // which lies at 26 dB and a mean luma difference near 3.
    EXPECT_GE(diffs[i].psnr, 45.0);
    EXPECT_LE(diffs[i].meanLuma, 0.5);
    EXPECT_LE(diffs[i].meanChroma, 1.0);
  }

  ExpectSameSoundFormat(src, out);
  const std::string srcSound = Decode(src, "-map 0:a -f s16le");
  EXPECT_FALSE(srcSound.empty());
  EXPECT_TRUE(srcSound == Decode(out, "-map 0:a -f s16le"));
}

INSTANTIATE_TEST_SUITE_P(Workers, EndToEndDvWorkers, ::testing::Values(1, 2, 8));

// ---- Sources that are no QuickTime movies ----

bool EncoderExists(const char *encoder) {
  std::string out;
  RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null", &out);
  return out.find(std::string(" ") + encoder + " ") != std::string::npos;
}

// ffprobe's start time of a stream in seconds.
double StartTime(const std::string &path, const std::string &stream) {
  return std::atof(ProbeStream(path, stream)["start_time"].c_str());
}

struct ImportedSource {
  const char *name;
  const char *file;
  const char *make;       // ffmpeg arguments: inputs, then the encoding
  bool sound;
  double minPsnr;         // luma, every frame, against ffmpeg's decode of the source
  double maxMeanChroma;
};

std::ostream &operator<<(std::ostream &os, const ImportedSource &c) { return os << c.name; }

// Frames drawn through libavcodec are ffmpeg's own (conversion rounding aside); 4:2:0 pictures (DV PAL, MPEG-2,
// Motion-JPEG 4:2:0) come through the 4:2:0 buffer and the copy stage's chroma interpolation, and DV NTSC's
// 4:1:1 chroma is interpolated from the pixel it stands on; both differ from ffmpeg's scaler in the chroma only.
const ImportedSource kImported[] = {
    {"DvPalWithSound", "src.dv",
     "-f lavfi -i testsrc2=s=720x576:r=25:d=0.4 -f lavfi -i sine=r=48000:d=0.4 -vf setfield=bff -flags +ildct+ilme "
     "-pix_fmt yuv420p -c:v dvvideo -c:a pcm_s16le -ac 2 -f dv", true, 45.0, 2.0},
    {"DvNtscWithSound", "src.dv",
     "-f lavfi -i testsrc2=s=720x480:r=30000/1001:d=0.4 -f lavfi -i sine=r=48000:d=0.4 -pix_fmt yuv411p -c:v dvvideo "
     "-c:a pcm_s16le -ac 2 -f dv", true, 45.0, 2.0},
    {"Mpeg2ProgramStreamWithSound", "src.mpg",
     "-f lavfi -i testsrc2=s=720x576:r=25:d=0.6 -f lavfi -i sine=r=48000:d=0.6 -c:v mpeg2video -g 6 -bf 2 -b:v 8M "
     "-flags +ildct+ilme -top 0 -c:a mp2 -b:a 192k -ac 2 -f vob", true, 45.0, 2.0},
    {"AviMotionJpegWithSound", "src.avi",
     "-f lavfi -i testsrc2=s=320x240:r=25:d=0.4 -f lavfi -i sine=r=48000:d=0.4 -c:v mjpeg -q:v 3 -c:a pcm_s16le "
     "-ac 2 -f avi", true, 45.0, 1.0},
    {"PngInQuickTime", "src.mov", "-f lavfi -i testsrc2=s=160x120:r=25:d=0.4 -c:v png -pix_fmt rgb24", false, 45.0, 1.0},
    // Uncompressed 4:2:2 is read straight from the file's chunks: the same bytes.
    {"AviUncompressedWithSound", "src.avi",
     "-f lavfi -i testsrc2=s=320x240:r=25:d=0.4 -f lavfi -i sine=r=48000:d=0.4 -c:v rawvideo -pix_fmt uyvy422 "
     "-c:a pcm_s16le -ac 2 -f avi", true, 99.0, 0.0},
};

class EndToEndImported : public ::testing::TestWithParam<ImportedSource> {};

// A source of another format through the whole pipeline into '2vuy': ffprobe sees the source's frame count,
// rate and size, every frame is ffmpeg's decode of the source's, the sound is the source's, and the source
// file is never written.
TEST_P(EndToEndImported, WholeRunMatchesFfmpegsDecodeOfTheSource) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  const ImportedSource &c = GetParam();
  TempDir dir;
  const std::string src = dir.File(c.file), out = dir.File("out.mov");
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y " + std::string(c.make) + " " + ShellQuote(src)));
  const auto srcBytes = ReadWholeFile(src);
  auto s = ProbeStream(src, "v:0");
  const int width = std::atoi(s["width"].c_str()), height = std::atoi(s["height"].c_str());
  FixtureMovieSpec spec;
  spec.width = width;
  spec.height = height;
  RunOptions options;
  options.source = c.file;
  RunResult r = RunProject(dir, spec, 4, Stop::None, options);
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(noErr, r.save);
  EXPECT_TRUE(srcBytes == ReadWholeFile(src)) << "the source was written";

  auto v = ProbeStream(out, "v:0");
  EXPECT_EQ("rawvideo", v["codec_name"]);
  EXPECT_EQ(s["width"], v["width"]);
  EXPECT_EQ(s["height"], v["height"]);
  EXPECT_EQ(s["nb_read_frames"], v["nb_frames"]);
  EXPECT_EQ(s["r_frame_rate"], v["r_frame_rate"]);
  const std::string before = Decode(src, "-map 0:v -f rawvideo -pix_fmt uyvy422");
  const std::string after = Decode(out, "-map 0:v -f rawvideo -pix_fmt uyvy422");
  const size_t frameBytes = size_t(width) * size_t(height) * 2;
  ASSERT_EQ(before.size(), after.size());
  const std::vector<FrameDiff> diffs = CompareFrames(before, after, frameBytes);
  ASSERT_EQ(diffs.size(), size_t(std::atoi(s["nb_read_frames"].c_str())));
  for (size_t i = 0; i < diffs.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    EXPECT_GE(diffs[i].psnr, c.minPsnr);
    EXPECT_LE(diffs[i].meanChroma, c.maxMeanChroma);
  }

  if (!c.sound) {
    EXPECT_TRUE(ProbeStream(out, "a:0").empty());
    return;
  }
  auto a = ProbeStream(src, "a:0"), b = ProbeStream(out, "a:0");
  EXPECT_EQ(a["sample_rate"], b["sample_rate"]);
  EXPECT_EQ(a["channels"], b["channels"]);
  const std::string srcSound = Decode(src, "-map 0:a -f s16le");
  const std::string outSound = Decode(out, "-map 0:a -f s16le");
  ASSERT_FALSE(srcSound.empty());
  ASSERT_FALSE(outSound.empty());
  // The movie begins with its first picture: sound that the file starts earlier is cut to it.
  const double lead = StartTime(src, "v:0") - StartTime(src, "a:0");
  const size_t skip = lead > 0 ? size_t(std::lround(lead * 48000)) * 4 : 0;
  ASSERT_LT(skip, srcSound.size());
  EXPECT_TRUE(outSound == srcSound.substr(skip)) << "source " << srcSound.size() << " bytes, skipped " << skip
                                                  << ", cleaned movie " << outSound.size();
}

INSTANTIATE_TEST_SUITE_P(Sources, EndToEndImported, ::testing::ValuesIn(kImported),
                         [](const testing::TestParamInfo<ImportedSource> &info) { return std::string(info.param.name); });

// Whole-frame luma PSNR of two decodes of equal size, over all their frames.
double WholePsnr(const std::string &a, const std::string &b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sq = 0;
  size_t n = 0;
  for (size_t k = 1; k < a.size(); k += 2, ++n) {
    const double d = double(UInt8(a[k])) - double(UInt8(b[k]));
    sq += d * d;
  }
  return sq == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(n) / sq);
}

// A bottom-field-first source written as Motion-JPEG A: other players put its fields on the right lines.
TEST(EndToEnd, BottomFieldFirstIntoMotionJpegKeepsItsFields) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string src = dir.File("src.mov"), out = dir.File("out.mov");
  // Fields that differ: each line of the moving card belongs to its own moment.
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=352x576:r=50:d=0.4 -vf tinterlace=interleave_bottom,"
                          "setfield=bff -field_order bb -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " + ShellQuote(src)));
  FixtureMovieSpec spec;
  spec.width = 352;
  spec.height = 576;
  RunOptions options;
  options.out = 'mjpa';
  RunResult r = RunProject(dir, spec, 4, Stop::None, options);
  ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
  ASSERT_EQ(noErr, r.save);
  auto v = ProbeStream(out, "v:0");
  EXPECT_EQ("mjpeg", v["codec_name"]);
  EXPECT_EQ("bb", v["field_order"]);
  const std::string before = Decode(src, "-map 0:v -f rawvideo -pix_fmt uyvy422");
  const std::string after = Decode(out, "-map 0:v -f rawvideo -pix_fmt uyvy422");
  // At the bound of the Motion-JPEG compressor tests; with the fields on swapped lines these frames lie below
  // 30 dB from the source.
  EXPECT_GE(WholePsnr(before, after), 45.0);
}

// An H.264 source's configuration ('avcC') describes a codec the cleaned movie is not written with.
TEST(EndToEnd, CodecConfigurationOfTheSourceStaysBehind) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  if (!EncoderExists("libx264")) GTEST_SKIP() << "ffmpeg has no H.264 encoder";
  TempDir dir;
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=320x240:r=25:d=0.4 -vf setsar=1/1 -c:v libx264 "
                          "-preset veryfast -pix_fmt yuv420p " + ShellQuote(dir.File("src.mov"))));
  FixtureMovieSpec spec;
  spec.width = 320;
  spec.height = 240;
  RunResult r = RunProject(dir, spec, 4, Stop::None, '2vuy');
  ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
  ASSERT_EQ(noErr, r.save);
  Movie movie = nullptr;
  ASSERT_EQ(noErr, OpenMovieAtPath(dir.File("out.mov"), &movie));
  Handle desc = NewHandle(0);
  GetMediaSampleDescription(GetTrackMedia(GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType)), 1,
                            reinterpret_cast<SampleDescriptionHandle>(desc));
  auto id = reinterpret_cast<ImageDescriptionHandle>(desc);
  EXPECT_EQ(CodecType('2vuy'), (**id).cType);
  SInt32 count = -1;
  EXPECT_EQ(noErr, CountImageDescriptionExtensionType(id, 'avcC', &count));
  EXPECT_EQ(0, count);
  EXPECT_EQ(noErr, CountImageDescriptionExtensionType(id, 'pasp', &count));
  EXPECT_EQ(1, count) << "what describes the picture comes along";
  DisposeHandle(desc);
  DisposeMovie(movie);
  EXPECT_EQ("rawvideo", ProbeStream(dir.File("out.mov"), "v:0")["codec_name"]);
}

// PSNR of every plane of `out` against `src` over all frames, as ffmpeg's psnr filter gives them ("y", "u",
// "v"); empty when the filter gave no summary.
// srcOptions go before the source (the format of a raw file).
std::map<std::string, double> PlanePsnr(const std::string &src, const std::string &out,
                                        const std::string &srcOptions = "") {
  std::string log;
  RunCommand("ffmpeg -nostdin -hide_banner " + srcOptions + " -i " + ShellQuote(src) + " -i " + ShellQuote(out) +
                 " -lavfi \"[0:v][1:v]psnr\" -f null - 2>&1",
             &log);
  std::map<std::string, double> planes;
  const size_t at = log.find("PSNR y:");
  if (at == std::string::npos) return planes;
  std::istringstream line(log.substr(at + 5, log.find('\n', at) - at - 5));
  std::string item;
  while (line >> item) {
    const size_t colon = item.find(':');
    if (colon != std::string::npos) planes[item.substr(0, colon)] = std::atof(item.c_str() + colon + 1);
  }
  return planes;
}

// A DV movie through the pipeline with no method, into its own kind of DV: each plane comes back as one more
// DV generation of the source, not softened on the way through 4:2:2 (4:2:0 and 4:1:1 chroma go up and down
// by matched pairs of filters; 4:2:2 is copied). ffmpeg's own re-encode of these sources gives luma, Cb, Cr
// 68, 66, 71 dB (PAL interlaced), 76, 66, 59 (NTSC) and 78, 66, 71 (DVCPRO50); a mean of each line pair on
// the way down gave PAL chroma 56.
TEST(EndToEnd, DvGenerationKeepsEveryPlane) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  struct Case {
    const char *name;
    const char *make;  // the video filter and encoding after testsrc2 of the size and rate
    CodecType out;
    double minLuma, minChroma;
  };
  const Case cases[] = {
      {"DV PAL, interlaced bottom field first", "720x576:r=25:d=0.4 -vf setfield=bff -flags +ildct+ilme "
       "-pix_fmt yuv420p", 'dvcp', 60.0, 60.0},
      {"DV PAL, progressive", "720x576:r=25:d=0.4 -pix_fmt yuv420p", 'dvcp', 60.0, 60.0},
      {"DV NTSC", "720x480:r=30000/1001:d=0.4 -vf setfield=bff -pix_fmt yuv411p", 'dvc ', 65.0, 55.0},
      {"DVCPRO50 PAL", "720x576:r=25:d=0.4 -vf setfield=bff -pix_fmt yuv422p", 'dv5p', 65.0, 60.0},
  };
  // The vector kernels, as the application has them: the 4:2:0 chroma is thinned to invert their rounding.
  const GL_ProcessorInfo saved = gBZ.procInfo;
  GL_GetProcessorInfo(&gBZ.procInfo);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string src = dir.File("src.mov");
    ASSERT_EQ(0, RunCommand(std::string("ffmpeg -v error -y -f lavfi -i testsrc2=s=") + c.make +
                            " -c:v dvvideo " + ShellQuote(src)));
    const auto srcBytes = ReadWholeFile(src);
    auto s = ProbeStream(src, "v:0");
    FixtureMovieSpec spec;
    spec.width = std::atoi(s["width"].c_str());
    spec.height = std::atoi(s["height"].c_str());
    RunOptions options;
    options.out = c.out;
    RunResult r = RunProject(dir, spec, 4, Stop::None, options);
    ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
    ASSERT_EQ(noErr, r.save);
    EXPECT_TRUE(srcBytes == ReadWholeFile(src)) << "the source was written";
    auto v = ProbeStream(dir.File("out.mov"), "v:0");
    EXPECT_EQ(s["pix_fmt"], v["pix_fmt"]);
    EXPECT_EQ(s["nb_read_frames"], v["nb_read_frames"]);
    std::map<std::string, double> psnr = PlanePsnr(src, dir.File("out.mov"));
    ASSERT_EQ(psnr.count("y") + psnr.count("u") + psnr.count("v"), 3u) << "no PSNR from ffmpeg";
    EXPECT_GE(psnr["y"], c.minLuma);
    EXPECT_GE(psnr["u"], c.minChroma);
    EXPECT_GE(psnr["v"], c.minChroma);
  }
  gBZ.procInfo = saved;
}

// Sources of every kind a restorer brings, through the pipeline with no method into '2vuy': each plane of the
// output against ffmpeg's own decode of the source (its psnr filter, which takes our 4:2:2 down to a 4:2:0 or
// 4:1:1 source's sampling with its scaler; 99 dB stands for identical). Luma is the decoder's; chroma differs
// only as our interpolation of 4:2:0 and 4:1:1 differs from ffmpeg's scaler (measured 32 to 42 dB on these
// sharp-edged pictures; swapped or misplaced chroma falls far below). ffmpeg cannot make or read 'y420'
// movies: the next test checks them against the planes they were made of.
TEST(EndToEnd, SourcesOfEveryKindMatchFfmpegsDecodePerPlane) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  struct Case {
    const char *name;
    const char *make;  // after testsrc2 of the size and rate
    double minLuma, minChroma;
  };
  const Case cases[] = {
      {"DV PAL", "720x576:r=25:d=0.2 -vf setfield=bff -pix_fmt yuv420p -c:v dvvideo", 99, 30},
      {"DV NTSC", "720x480:r=30000/1001:d=0.2 -vf setfield=bff -pix_fmt yuv411p -c:v dvvideo", 99, 30},
      {"DVCPRO50", "720x576:r=25:d=0.2 -vf setfield=bff -pix_fmt yuv422p -c:v dvvideo", 99, 99},
      // Full range: luma and chroma are scaled into video range on the way.
      {"Motion-JPEG 4:2:0", "320x240:r=25:d=0.2 -pix_fmt yuvj420p -c:v mjpeg -q:v 2", 60, 33},
      {"H.264 4:2:0", "320x240:r=25:d=0.2 -pix_fmt yuv420p -c:v libx264 -preset veryfast -crf 10", 99, 35},
      {"'2vuy'", "320x240:r=25:d=0.2 -pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy", 99, 99},
      {"'yuv2'", "320x240:r=25:d=0.2 -pix_fmt yuyv422 -c:v rawvideo -tag:v yuv2", 99, 99},
  };
  const GL_ProcessorInfo saved = gBZ.procInfo;
  GL_GetProcessorInfo(&gBZ.procInfo);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.make).find("libx264") != std::string::npos && !EncoderExists("libx264")) continue;
    TempDir dir;
    const std::string src = dir.File("src.mov");
    ASSERT_EQ(0, RunCommand(std::string("ffmpeg -v error -y -f lavfi -i testsrc2=s=") + c.make + " " + ShellQuote(src)));
    const auto srcBytes = ReadWholeFile(src);
    auto s = ProbeStream(src, "v:0");
    FixtureMovieSpec spec;
    spec.width = std::atoi(s["width"].c_str());
    spec.height = std::atoi(s["height"].c_str());
    RunResult r = RunProject(dir, spec, 4, Stop::None, RunOptions{});
    ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
    ASSERT_EQ(noErr, r.save);
    EXPECT_TRUE(srcBytes == ReadWholeFile(src)) << "the source was written";
    auto v = ProbeStream(dir.File("out.mov"), "v:0");
    EXPECT_EQ(s["nb_read_frames"], v["nb_read_frames"]);
    std::map<std::string, double> psnr = PlanePsnr(src, dir.File("out.mov"));
    ASSERT_EQ(psnr.count("y") + psnr.count("u") + psnr.count("v"), 3u) << "no PSNR from ffmpeg";
    EXPECT_GE(psnr["y"], c.minLuma);
    EXPECT_GE(std::min(psnr["u"], psnr["v"]), c.minChroma);
  }
  gBZ.procInfo = saved;
}

// DV output takes the source's television system and keeps the DV frame size; DVCPRO50 stays DVCPRO50.
// A 'y420' movie, its samples laid out by the test from the planes of ffmpeg's testsrc2 (32-byte big-endian
// header, then Y, Cb and Cr): through the pipeline with no method into '2vuy', each plane checked against
// ffmpeg's reading of those raw planes. Luma comes through untouched; chroma differs only as our
// interpolation of 4:2:0 differs from ffmpeg's scaler, as in the table above.
TEST(EndToEnd, Y420SourceMatchesItsPlanes) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  constexpr int w = 320, h = 240, frames = 5;
  TempDir dir;
  const std::string planesPath = dir.File("planes.yuv");
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=320x240:r=25 -frames:v 5 -pix_fmt yuv420p "
                          "-f rawvideo " + ShellQuote(planesPath)));
  const std::vector<uint8_t> planes = ReadWholeFile(planesPath);
  const size_t lumaBytes = size_t(w) * h, chromaBytes = lumaBytes / 4, frameBytes = lumaBytes + 2 * chromaBytes;
  ASSERT_EQ(frameBytes * frames, planes.size());
  std::vector<std::vector<uint8_t>> samples;
  for (int f = 0; f < frames; ++f) {
    const UInt32 cbOffset = 32 + UInt32(lumaBytes), crOffset = cbOffset + UInt32(chromaBytes);
    std::vector<uint8_t> sample(32, 0);
    auto put = [&](size_t at, UInt32 v) {
      for (int i = 0; i < 4; ++i) sample[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
    };
    put(0, 32), put(4, w), put(8, cbOffset), put(12, w / 2), put(16, crOffset), put(20, w / 2);
    const auto frame = planes.begin() + long(f * frameBytes);
    sample.insert(sample.end(), frame, frame + long(frameBytes));
    samples.push_back(std::move(sample));
  }
  ImageDescriptionHandle desc = NewFixtureImageDescription(w, h);
  (**desc).cType = 'y420';
  (**desc).dataSize = 0;
  ASSERT_EQ(noErr, WriteCompressedMovie(dir.File("src.mov"), desc, samples));
  DisposeHandle(reinterpret_cast<Handle>(desc));
  const auto srcBytes = ReadWholeFile(dir.File("src.mov"));
  FixtureMovieSpec spec;
  spec.width = w;
  spec.height = h;
  RunResult r = RunProject(dir, spec, 4, Stop::None, RunOptions{});
  ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
  ASSERT_EQ(noErr, r.save);
  EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov"))) << "the source was written";
  EXPECT_EQ(std::to_string(frames), ProbeStream(dir.File("out.mov"), "v:0")["nb_read_frames"]);
  std::map<std::string, double> psnr =
      PlanePsnr(planesPath, dir.File("out.mov"), "-f rawvideo -pix_fmt yuv420p -s 320x240 -framerate 25");
  ASSERT_EQ(psnr.count("y") + psnr.count("u") + psnr.count("v"), 3u) << "no PSNR from ffmpeg";
  EXPECT_GE(psnr["y"], 99);
  EXPECT_GE(std::min(psnr["u"], psnr["v"]), 35);
}

TEST(EndToEnd, DvOutputFollowsTheSourcesSystem) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  struct Case {
    const char *name;
    const char *source;  // testsrc2 size and rate
    CodecType out;
    Rect crop;
    const char *tag, *size, *rate;
  };
  const Case cases[] = {
      {"PAL cropped to 560 lines", "720x576:r=25", 'dvc ', Rect{8, 0, 8, 0}, "dvcp", "720x576", "25/1"},
      {"NTSC asked for PAL DV", "720x480:r=30000/1001", 'dvcp', Rect{0, 0, 0, 0}, "dvc ", "720x480", "30000/1001"},
      {"DVCPRO50 of a PAL picture", "720x576:r=25", 'dv5p', Rect{0, 0, 0, 0}, "dv5p", "720x576", "25/1"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ASSERT_EQ(0, RunCommand(std::string("ffmpeg -v error -y -f lavfi -i testsrc2=s=") + c.source +
                            ":d=0.2 -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " + ShellQuote(dir.File("src.mov"))));
    auto s = ProbeStream(dir.File("src.mov"), "v:0");
    FixtureMovieSpec spec;
    spec.width = std::atoi(s["width"].c_str());
    spec.height = std::atoi(s["height"].c_str());
    RunOptions options;
    options.out = c.out;
    options.crop = c.crop;
    RunResult r = RunProject(dir, spec, 4, Stop::None, options);
    ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
    ASSERT_EQ(noErr, r.save);
    auto v = ProbeStream(dir.File("out.mov"), "v:0");
    EXPECT_EQ("dvvideo", v["codec_name"]);
    EXPECT_EQ(c.tag, v["codec_tag_string"]);
    EXPECT_EQ(c.size, v["width"] + "x" + v["height"]);
    EXPECT_EQ(c.rate, v["r_frame_rate"]);
    EXPECT_EQ(s["nb_read_frames"], v["nb_frames"]);
    if (c.crop.top > 0) {
      // The cropped lines are black in every frame; the picture between them is the source's.
      const std::string frames = Decode(dir.File("out.mov"), "-map 0:v -f rawvideo -pix_fmt gray");
      const size_t w = 720, h = 576;
      ASSERT_EQ(0u, frames.size() % (w * h));
      for (size_t f = 0; f < frames.size() / (w * h); ++f) {
        double top = 0, middle = 0;
        for (size_t x = 0; x < w; ++x) {
          top += UInt8(frames[f * w * h + 2 * w + x]);
          middle += UInt8(frames[f * w * h + 288 * w + x]);
        }
        EXPECT_LE(top / double(w), 20.0) << "frame " << f;
        EXPECT_GE(middle / double(w), 40.0) << "frame " << f;
      }
    }
  }
}
}  // namespace
