// Executions with a noise movie through a cleaning stage: the source frames the cleaning stage keeps for the
// noise picture must come back to it (from the write stage for '2vuy' output, from the compress stage for a
// compressed one), or the run stalls once the stage's buffers are all taken. A stalled run fails within the
// harness's time limit instead of hanging.
#include "support/method_harness.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace bz_test;

constexpr int kWidth = 352, kHeight = 288, kFrames = 20;

// Moving testsrc2 (every frame differs) with a luma checkerboard of amplitude 10 next to vertical colour
// edges, which the cross-luma stage takes out: the noise picture is not flat.
bool MakeDirtyClip(const std::string &path) {
  const std::string pattern =
      "geq=lum='lum(X,Y)+if(gt(abs(cb(X+7,Y)-cb(X-7,Y))+abs(cr(X+7,Y)-cr(X-7,Y)),24),if(mod(X+floor(Y/2),2),10,-10),0)'"
      ":cb='cb(X,Y)':cr='cr(X,Y)'";
  return RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=352x288:r=25:d=0.8,format=yuv444p -vf \"" + pattern +
                    ",format=uyvy422\" -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " + ShellQuote(path)) == 0;
}

// The presentation times of a movie's video frames as ffprobe reads them, in file order.
std::vector<double> FrameTimes(const std::string &path) {
  std::string out;
  EXPECT_EQ(0, RunCommand("ffprobe -v error -select_streams v:0 -show_entries frame=pts_time -of csv=p=0 " +
                              ShellQuote(path),
                          &out))
      << path;
  std::vector<double> times;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) times.push_back(std::atof(line.c_str()));
  return times;
}

// Luma samples of a frame away from the frame's most common luma (the noise picture's mid grey) by more
// than 2.
int LumaAwayFromGrey(const std::vector<uint8_t> &frame) {
  int histogram[256] = {};
  for (size_t i = 1; i < frame.size(); i += 2) ++histogram[frame[i]];
  int grey = 0;
  for (int v = 1; v < 256; ++v)
    if (histogram[v] > histogram[grey]) grey = v;
  int away = 0;
  for (size_t i = 1; i < frame.size(); i += 2) away += std::abs(int(frame[i]) - grey) > 2;
  return away;
}

struct NoiseRunCase {
  const char *name;
  CodecType out;
  int workers;
};

class CleaningWithNoiseMovie : public ::testing::TestWithParam<NoiseRunCase> {};

TEST_P(CleaningWithNoiseMovie, FinishesAndWritesEveryFrameOfBothMovies) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  ASSERT_TRUE(MakeDirtyClip(dir.File("src.mov")));
  MethodRunOptions options;
  options.workers = GetParam().workers;
  options.out = GetParam().out;
  options.noiseMovie = true;
  BZ_CleaninSett cleaning = NoCleaning();
  cleaning.crossLuma.apply = true;
  options.cleaning = cleaning;
  const MethodRunResult r = RunMethodProject(dir, options);
  ASSERT_EQ(kBZ_ProjStateFinished, r.exec) << "error " << r.error;
  ASSERT_EQ(noErr, r.error);
  ASSERT_EQ(noErr, r.save);
  EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter);
  ASSERT_FALSE(r.noisePath.empty());

  const std::vector<std::vector<uint8_t>> source = DecodeVideoWithFfmpeg(dir.File("src.mov"), kWidth, kHeight);
  const std::vector<std::vector<uint8_t>> cleaned = DecodeVideoWithFfmpeg(dir.File("out.mov"), kWidth, kHeight);
  const std::vector<std::vector<uint8_t>> noise = DecodeVideoWithFfmpeg(r.noisePath, kWidth, kHeight);
  ASSERT_EQ(size_t(kFrames), source.size());
  ASSERT_EQ(size_t(kFrames), cleaned.size());
  ASSERT_EQ(size_t(kFrames), noise.size());
  for (const std::string &path : {dir.File("out.mov"), r.noisePath}) {
    const std::vector<double> times = FrameTimes(path);
    ASSERT_EQ(size_t(kFrames), times.size()) << path;
    for (size_t i = 1; i < times.size(); ++i) EXPECT_LT(times[i - 1], times[i]) << path << " frame " << i;
  }
  // Every cleaned frame is closest to its own source frame: none lost, doubled or swapped.
  for (int f = 0; f < kFrames; ++f) {
    const double own = PeakSignalToNoise(cleaned[size_t(f)], source[size_t(f)]);
    for (int g : {f - 1, f + 1}) {
      if (g < 0 || g >= kFrames) continue;
      EXPECT_GT(own, PeakSignalToNoise(cleaned[size_t(f)], source[size_t(g)])) << "frame " << f << " vs " << g;
    }
    EXPECT_GT(LumaAwayFromGrey(noise[size_t(f)]), 100) << "noise frame " << f << " shows no difference";
  }
}

INSTANTIATE_TEST_SUITE_P(
    OutputsAndWorkers, CleaningWithNoiseMovie,
    ::testing::Values(NoiseRunCase{"UncompressedOneWorker", '2vuy', 1}, NoiseRunCase{"UncompressedEightWorkers", '2vuy', 8},
                      NoiseRunCase{"CompressedOneWorker", 'mjpa', 1}, NoiseRunCase{"CompressedEightWorkers", 'mjpa', 8}),
    [](const ::testing::TestParamInfo<NoiseRunCase> &info) { return std::string(info.param.name); });

}  // namespace
