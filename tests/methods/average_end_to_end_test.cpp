// Averaging two captures through the whole engine, headless: ffmpeg makes two noisy captures of one test
// clip, the second displaced; an analysis run measures the shift and the weight, an execution averages the
// captures into a cleaner movie; sources that cannot be averaged end the run before any frame, leave no
// target and never change a source.
#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/runtime/frame_selection.h"
#include "engine/stage_table.h"
#include "methods/average_sources.h"
#include "methods/average_stage.h"
#include "movie/image_descriptions.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/movie/movie_drawing.h"
#include "platform/core/files.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "support/cf_check.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"
#include "support/method_harness.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {
using namespace bz_test;
constexpr int kWidth = 352, kHeight = 288, kFrames = 12;

// ---- Fixtures -----------------------------------------------------------------------------------------------

// ffmpeg's test clip at 352 x 288, 12 frames, as uncompressed '2vuy'; `filters` come before the noise.
std::string MakeClip(const TempDir &dir, const std::string &name, const std::string &filters, int noiseSeed,
                     int frames = kFrames, const std::string &size = "352x288") {
  std::string chain = filters;
  if (noiseSeed >= 0) {
    if (!chain.empty()) chain += ",";
    chain += "noise=alls=12:allf=t:all_seed=" + std::to_string(noiseSeed);
  }
  const std::string path = dir.File(name);
  const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=s=" + size + ":r=25 -frames:v " +
                          std::to_string(frames) + (chain.empty() ? "" : " -vf " + ShellQuote(chain)) +
                          " -pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy " + ShellQuote(path);
  EXPECT_EQ(RunCommand(cmd), 0) << cmd;
  return path;
}

// Mean Y PSNR of a movie against the clean clip, 10 pixels at each side left out.
double LumaPsnr(const std::string &movie, const std::string &clean) {
  const auto a = DecodeVideoWithFfmpeg(movie, kWidth, kHeight), b = DecodeVideoWithFfmpeg(clean, kWidth, kHeight);
  EXPECT_EQ(a.size(), b.size());
  if (a.empty() || a.size() != b.size()) return 0.0;
  double sum = 0.0;
  for (size_t f = 0; f < a.size(); ++f) {
    double se = 0.0;
    long n = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 10; x < kWidth - 10; ++x) {
        const double d = double(a[f][(size_t(y) * kWidth + x) * 2 + 1]) - b[f][(size_t(y) * kWidth + x) * 2 + 1];
        se += d * d;
        ++n;
      }
    sum += 10.0 * std::log10(255.0 * 255.0 / std::max(se / double(n), 1e-9));
  }
  return sum / double(a.size());
}

// ---- Runs --------------------------------------------------------------------------------------------------

struct AveragingRun {
  MethodRunResult result;
  float posted(SInt16 item) const {
    for (const auto &v : result.dialogValues)
      if (v.first == item) return v.second;
    return NAN;
  }
};

// One run of movie 1 (dir/cap1.mov unless told) and movie 2 with averaging applied at that shift and weight;
// the averaging analysis record lives for the run, as the application keeps it.
AveragingRun RunAveraging(const TempDir &dir, const std::string &movie2, MethodRunKind kind, int workers,
                          double shift, double weight, const std::string &movie1 = "cap1.mov") {
  BZ_AvDlgTaskData *avData = nullptr;
  EXPECT_EQ(BZ_AvInitDlgTaskData(&avData), noErr);
  gBZ.dlgTaskData.avDlgTaskData = avData;
  MethodRunOptions options;
  options.source = movie1;
  options.source2 = movie2;
  options.kind = kind;
  options.workers = workers;
  BZ_CleaninSett cleaning = NoCleaning();
  cleaning.average.apply = true;
  cleaning.average.shift = shift;
  cleaning.average.weight = weight;
  options.cleaning = cleaning;
  // The measurement is the averaging stage's own run; the statistics step follows it.
  if (kind == MethodRunKind::kAnalysis) options.autoSettCalc = kBZ_AvAutoSettStage;
  AveragingRun run{RunMethodProject(dir, options)};
  gBZ.dlgTaskData.avDlgTaskData = nullptr;
  BZ_AvDisposeDlgTaskData(&avData);
  EXPECT_EQ(run.result.sourceHashBefore, run.result.sourceHashAfter) << "movie 1 is never written";
  EXPECT_EQ(run.result.source2HashBefore, run.result.source2HashAfter) << "movie 2 is never written";
  return run;
}

// ---- Tests ----------------------------------------------------------------------------------------------------

// Two captures, the second displaced 2 pixels to the right: the analysis finds the shift that lines it up
// and equal weights; averaging with them beats either capture by close to 3 dB; 1 and 8 workers agree.
TEST(AverageEndToEnd, MeasuresThenAveragesTwoCaptures) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string clean = MakeClip(dir, "clean.mov", "", -1);
  const std::string cap1 = MakeClip(dir, "cap1.mov", "", 1);
  const std::string cap2 = MakeClip(dir, "cap2.mov", "crop=350:288:0:0,pad=352:288:2:0", 2);

  // The statistics step after the measurement: on one worker the run has more samples than buffers and ends
  // only when the write stage gives the kept frames of movie 1 back; averaging is the only change, so the
  // stage and the write stage measure the same difference.
  float shift = NAN, weight = NAN;
  for (int workers : {1, 8}) {
    SCOPED_TRACE(::testing::Message() << "analysis on " << workers << " workers");
    const AveragingRun analysis = RunAveraging(dir, "cap2.mov", MethodRunKind::kAnalysis, workers, 0.0, 0.5);
    ASSERT_EQ(analysis.result.error, noErr);
    EXPECT_EQ(analysis.result.runsFinished, 2) << "the measurement and the statistics step";
    shift = analysis.posted(kBZ_AvShiftItem);
    weight = analysis.posted(kBZ_AvWeightItem);
    EXPECT_NEAR(shift, -2.0f, 0.1f);
    EXPECT_NEAR(weight, 0.5f, 0.05f);
    EXPECT_NEAR(analysis.result.cleaning.average.shift, shift, 1e-6) << "stored in the settings";
    EXPECT_NEAR(analysis.result.cleaning.average.weight, weight, 1e-6);
    const float stageDiff = analysis.posted(2109), pipelineDiff = analysis.posted(2087);
    EXPECT_GT(stageDiff, 0.0f);
    EXPECT_NEAR(stageDiff, pipelineDiff, 1e-4f);
    EXPECT_FALSE(std::isnan(analysis.posted(2085))) << "the output's noise level";
  }

  std::vector<std::vector<std::vector<uint8_t>>> outputs;
  for (int workers : {1, 8}) {
    SCOPED_TRACE(::testing::Message() << workers << " workers");
    const AveragingRun run = RunAveraging(dir, "cap2.mov", MethodRunKind::kExecute, workers, shift, weight);
    ASSERT_EQ(run.result.error, noErr);
    ASSERT_EQ(run.result.save, noErr);
    outputs.push_back(DecodeVideoWithFfmpeg(dir.File("out.mov"), kWidth, kHeight));
    EXPECT_EQ(outputs.back().size(), size_t(kFrames));
    if (workers == 8) {
      const double averaged = LumaPsnr(dir.File("out.mov"), clean);
      const double psnr1 = LumaPsnr(cap1, clean), psnr2 = LumaPsnr(cap2, clean);
      std::printf("Y PSNR: capture 1 %.2f dB, capture 2 %.2f dB, averaged %.2f dB\n", psnr1, psnr2, averaged);
      // Two equal independent noises: 3 dB in theory.
      EXPECT_GE(averaged, psnr1 + 2.5);
      EXPECT_GE(averaged, psnr2 + 2.5);
    }
  }
  EXPECT_TRUE(outputs[0] == outputs[1]) << "1 and 8 workers give the same bytes";
}

// Half a pixel, made through a source of twice the width: crop one column, pad, scale to half.
TEST(AverageEndToEnd, MeasuresAHalfPixelShift) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  MakeClip(dir, "cap1.mov", "scale=352:288", 1, kFrames, "704x288");
  MakeClip(dir, "cap2.mov", "format=yuv444p,crop=703:288:0:0,pad=704:288:1:0,scale=352:288", 2, kFrames, "704x288");
  const AveragingRun analysis = RunAveraging(dir, "cap2.mov", MethodRunKind::kAnalysis, 4, 0.0, 0.5);
  ASSERT_EQ(analysis.result.error, noErr);
  EXPECT_NEAR(analysis.posted(kBZ_AvShiftItem), -0.5f, 0.15f);
}

// Runs that cannot average end before any frame with their error and leave no target file (and no source
// changed: RunAveraging checks that); a shorter second movie gives a shorter output without hanging.
TEST(AverageEndToEnd, RefusedRunsAndAShorterSecondMovie) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  MakeClip(dir, "cap1.mov", "", 1);
  MakeClip(dir, "cap2.mov", "", 2);
  MakeClip(dir, "small.mov", "", 3, kFrames, "320x240");
  MakeClip(dir, "short.mov", "", 4, 8);
  struct Case {
    const char *name;
    const char *movie2;
    double shift;
    OSStatus error;
  };
  const Case cases[] = {
      {"second movie of another size", "small.mov", 0.0, kBZ_DiffDimensionsErr},
      {"damaged shift setting", "cap2.mov", 11.0, paramErr},
      {"damaged shift setting, not a number", "cap2.mov", NAN, paramErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const AveragingRun run = RunAveraging(dir, c.movie2, MethodRunKind::kExecute, 4, c.shift, 0.5);
    EXPECT_EQ(run.result.error, c.error);
    EXPECT_FALSE(run.result.targetExists) << "no target file is left";
  }
  {
    SCOPED_TRACE("the same file twice");
    const AveragingRun run = RunAveraging(dir, "cap1.mov", MethodRunKind::kExecute, 4, 0.0, 0.5);
    EXPECT_EQ(run.result.error, kBZ_IdenticalInputMoviesErr);
    EXPECT_FALSE(run.result.targetExists);
  }

  const AveragingRun run = RunAveraging(dir, "short.mov", MethodRunKind::kExecute, 4, 0.0, 0.5);
  ASSERT_EQ(run.result.error, noErr);
  EXPECT_EQ(DecodeVideoWithFfmpeg(dir.File("out.mov"), kWidth, kHeight).size(), 8u);
  bool logged = false;
  for (const std::string &line : run.result.logLines) logged |= line.find("4 frames of movie 1") != std::string::npos;
  EXPECT_TRUE(logged) << "the log says how many frames were left out";
}

}  // namespace
