// The noise-reduction stage in whole executions, headless through the method harness: read, copy, noise
// reduction (and cross-luma after it), write, on 1 and 8 workers, over testsrc2 clips with ffmpeg's temporal
// noise, measured against the clean truth.
#include "methods/noise_reduction_stage.h"

#include "engine/runtime/shell_senders.h"
#include "support/method_harness.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {
using namespace bz_test;
constexpr int kWidth = 352, kHeight = 288;
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight * 2;

// testsrc2 through an ffmpeg filter as '2vuy' (extra: more output options, such as the field order).
std::string MakeClip(const TempDir &dir, const std::string &name, int frames, const std::string &filter,
                     const std::string &extra = "") {
  const std::string path = dir.File(name);
  EXPECT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=352x288:r=25 -frames:v " + std::to_string(frames) +
                          " -vf " + filter + " -pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy " + extra + " -f mov " +
                          ShellQuote(path)));
  return path;
}

std::string Frames(const std::string &path) {
  std::string out;
  EXPECT_EQ(0, RunCommand("ffmpeg -v error -i " + ShellQuote(path) + " -map 0:v -f rawvideo -pix_fmt uyvy422 -", &out));
  return out;
}

std::string CleanTruth(int frames) {
  std::string out;
  EXPECT_EQ(0, RunCommand("ffmpeg -v error -f lavfi -i testsrc2=s=352x288:r=25 -frames:v " + std::to_string(frames) +
                              " -pix_fmt uyvy422 -f rawvideo -",
                          &out));
  return out;
}

double LumaPsnr(const std::string &a, const std::string &b, size_t frame) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = frame * kFrameBytes + 1; i < (frame + 1) * kFrameBytes; i += 2, ++n) {
    const double d = double(UInt8(a[i])) - double(UInt8(b[i]));
    sum += d * d;
  }
  return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

double MeanLumaPsnr(const std::string &a, const std::string &b) {
  const size_t frames = std::min(a.size(), b.size()) / kFrameBytes;
  double total = 0;
  for (size_t f = 0; f < frames; ++f) total += LumaPsnr(a, b, f);
  return frames == 0 ? 0 : total / double(frames);
}

double MeanAbsDiff(const std::string &a, const std::string &b, size_t frame) {
  double sum = 0;
  for (size_t i = frame * kFrameBytes; i < (frame + 1) * kFrameBytes; ++i)
    sum += std::abs(int(UInt8(a[i])) - int(UInt8(b[i])));
  return sum / double(kFrameBytes);
}

BZ_CleaninSett Manual(bool horizontal, bool vertical, float y, float c) {
  BZ_CleaninSett cleaning = NoCleaning();
  BZ_Rn_Sett &s = cleaning.noiseRed;
  s.apply = true;
  s.automatic = false;
  s.horizontal = horizontal;
  s.vertical = vertical;
  s.noiseLevel[0] = y;
  s.noiseLevel[1] = s.noiseLevel[2] = c;
  s.selRect = Rect{16, 16, kHeight - 16, kWidth - 16};  // the measuring rectangle the dialog gives this picture
  return cleaning;
}

void ExpectFinished(const MethodRunResult &r) {
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(noErr, r.save);
  EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter) << "the source was written";
}

// Runs on the scalar path with one worker and on the SSE path with eight.
class NoiseReductionRun : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!RequireFfmpeg()) GTEST_SKIP();
    savedSse_ = gBZ.procInfo.hasSSE3;
    gBZ.procInfo.hasSSE3 = GetParam() > 1;
  }
  void TearDown() override { gBZ.procInfo.hasSSE3 = savedSse_; }
  MethodRunResult Run(const TempDir &dir, const std::string &source, const BZ_CleaninSett &cleaning) {
    MethodRunOptions o;
    o.source = source;
    o.workers = GetParam();
    o.cleaning = cleaning;
    return RunMethodProject(dir, o);
  }
  Boolean savedSse_ = false;
};

TEST_P(NoiseReductionRun, LineFiltersRaiseThePsnrAndAHigherLevelChangesMore) {
  TempDir dir;
  const std::string src = MakeClip(dir, "src.mov", 12, "noise=alls=12:allf=t");
  const std::string truth = CleanTruth(12), noisy = Frames(src);
  ASSERT_EQ(truth.size(), 12 * kFrameBytes);
  const double before = MeanLumaPsnr(truth, noisy);
  struct Case {
    const char *name;
    bool horizontal, vertical;
  };
  for (const Case &c : {Case{"horizontal", true, false}, Case{"vertical", false, true}}) {
    SCOPED_TRACE(c.name);
    ExpectFinished(Run(dir, "src.mov", Manual(c.horizontal, c.vertical, 18, 5)));
    const std::string at18 = Frames(dir.File("out.mov"));
    ASSERT_EQ(at18.size(), noisy.size());
    const double after = MeanLumaPsnr(truth, at18);
    std::printf("%s, level 18: Y PSNR %.2f dB -> %.2f dB\n", c.name, before, after);
    EXPECT_GT(after, before + 3.0);
    // The last frame is filtered too, though no frame comes after it.
    EXPECT_GT(LumaPsnr(truth, at18, 11), LumaPsnr(truth, noisy, 11) + 3.0);

    ExpectFinished(Run(dir, "src.mov", Manual(c.horizontal, c.vertical, 36, 5)));
    EXPECT_GT(MeanAbsDiff(noisy, Frames(dir.File("out.mov")), 5), MeanAbsDiff(noisy, at18, 5))
        << "a higher level removes more";
  }
}

TEST_P(NoiseReductionRun, BothDirectionsOffGiveTheRunWithoutTheMethod) {
  TempDir dir;
  MakeClip(dir, "src.mov", 6, "noise=alls=12:allf=t");
  MethodRunOptions o;
  o.workers = GetParam();
  o.target = "plain.mov";
  ExpectFinished(RunMethodProject(dir, o));
  ExpectFinished(Run(dir, "src.mov", Manual(false, false, 18, 5)));
  // Every frame byte for byte (the files' movie atoms carry their creation times).
  const std::string plain = Frames(dir.File("plain.mov"));
  EXPECT_EQ(plain.size(), 6 * kFrameBytes);
  EXPECT_TRUE(plain == Frames(dir.File("out.mov")));
}

TEST_P(NoiseReductionRun, OneFrameMovieIsFilteredAndTheRunEnds) {
  TempDir dir;
  const std::string src = MakeClip(dir, "one.mov", 1, "noise=alls=12:allf=t");
  const std::string truth = CleanTruth(1), noisy = Frames(src);
  ExpectFinished(Run(dir, "one.mov", Manual(true, false, 18, 5)));
  const std::string out = Frames(dir.File("out.mov"));
  ASSERT_EQ(out.size(), kFrameBytes);
  EXPECT_GT(LumaPsnr(truth, out, 0), LumaPsnr(truth, noisy, 0) + 3.0);
}

TEST_P(NoiseReductionRun, InterlacedClipIsFilteredWithinItsFields) {
  TempDir dir;
  // The top field is flat, the bottom field noisy: filtered within its field, every top-field line keeps its
  // value exactly (a flat vector passes unchanged); vectors across both fields carry the noise over.
  const std::string fields = "geq=lum='if(mod(Y\\,2)\\,100+40*random(0)-20\\,100)':cb=128:cr=128";
  MakeClip(dir, "interlaced.mov", 3, fields, "-field_order tt");
  MakeClip(dir, "progressive.mov", 3, fields);
  for (bool interlaced : {true, false}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "progressive");
    ExpectFinished(Run(dir, interlaced ? "interlaced.mov" : "progressive.mov", Manual(false, true, 18, 5)));
    const std::string out = Frames(dir.File("out.mov"));
    ASSERT_EQ(out.size(), 3 * kFrameBytes);
    SInt32 changed = 0;
    for (size_t f = 0; f < 3; ++f)
      for (int y = 0; y < kHeight; y += 2)
        for (int x = 0; x < kWidth; ++x)
          changed += UInt8(out[f * kFrameBytes + size_t(y) * kWidth * 2 + 2 * x + 1]) != 100;
    if (interlaced)
      EXPECT_EQ(changed, 0) << "top-field luma samples changed";
    else
      EXPECT_GT(changed, 1000) << "the fixture must tell the two apart";
  }
}

TEST_P(NoiseReductionRun, CrossLumaAfterwardsSeesPaddedMargins) {
  // The filters define only the picture; the stage pads its output for the stage after it. So cross-luma after
  // noise reduction in one run gives what cross-luma gives on the noise-reduced movie read afresh (whose
  // margins the copy stage pads), and not what stale margins of reused buffers would give.
  TempDir dir;
  MakeClip(dir, "src.mov", 8, "noise=alls=12:allf=t");
  ExpectFinished(Run(dir, "src.mov", Manual(true, false, 18, 5)));
  std::rename(dir.File("out.mov").c_str(), dir.File("reduced.mov").c_str());
  BZ_CleaninSett crossLuma = NoCleaning();
  crossLuma.crossLuma.apply = true;
  ExpectFinished(Run(dir, "reduced.mov", crossLuma));
  const std::string twoRuns = Frames(dir.File("out.mov"));
  BZ_CleaninSett both = Manual(true, false, 18, 5);
  both.crossLuma.apply = true;
  ExpectFinished(Run(dir, "src.mov", both));
  const std::string oneRun = Frames(dir.File("out.mov"));
  ASSERT_EQ(oneRun.size(), 8 * kFrameBytes);
  EXPECT_TRUE(oneRun == twoRuns);
}

TEST_P(NoiseReductionRun, PreviewAndAnalysisRunsFilterTheirSamples) {
  TempDir dir;
  MakeClip(dir, "src.mov", 12, "noise=alls=12:allf=t");
  MethodRunOptions preview;
  preview.workers = GetParam();
  preview.kind = MethodRunKind::kPreview;
  preview.previewFrame = 11;  // the last frame: its own next frame
  preview.recordShownFrames = true;
  preview.cleaning = Manual(true, false, 18, 5);
  MethodRunResult r = RunMethodProject(dir, preview);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(std::vector<SInt32>{11}, r.shownFrames);
  EXPECT_FALSE(r.targetExists);

  // The statistics of the dialog: the noise level after the stage, its difference and changed share.
  MethodRunOptions analysis = preview;
  analysis.kind = MethodRunKind::kAnalysis;
  analysis.recordShownFrames = false;
  r = RunMethodProject(dir, analysis);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(1, r.runsFinished);
  EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter);
  float level = -1, diff = -1, share = -1;
  for (const auto &[item, value] : r.dialogValues) {
    if (item == 2180) level = value;
    if (item == 2179) diff = value;
    if (item == 2178) share = value;
  }
  EXPECT_GT(diff, 0) << "pixel difference of the stage";
  EXPECT_GT(share, 0) << "percentage of changed pixels";
  EXPECT_LE(share, 100);
  EXPECT_GE(level, 0);

  // Measuring the noise comes with the automatic settings: never a silent pass.
  analysis.autoSettCalc = kBZ_RnAutoSettStage;
  r = RunMethodProject(dir, analysis);
  EXPECT_EQ(unimpErr, r.error);
}

INSTANTIATE_TEST_SUITE_P(Workers, NoiseReductionRun, ::testing::Values(1, 8));

TEST(NoiseReductionRunErrors, BadSettingsEndBeforeAnyFrame) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  MakeClip(dir, "src.mov", 4, "noise=alls=12:allf=t");
  struct Case {
    const char *name;
    BZ_CleaninSett cleaning;
    OSStatus error;
  };
  BZ_CleaninSett badRect = Manual(true, false, 18, 5);
  badRect.noiseRed.selRect = Rect{-50, 0, 900, 2000};
  const Case cases[] = {
      {"NaN level", Manual(true, false, std::numeric_limits<float>::quiet_NaN(), 5), paramErr},
      {"level 45", Manual(true, false, 45, 5), paramErr},
      {"chroma level -1", Manual(false, true, 18, -1), paramErr},
      {"rectangle outside the picture", badRect, paramErr},
      // The two-dimensional filter comes later: never a silent copy.
      {"both directions", Manual(true, true, 18, 5), unimpErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    MethodRunOptions o;
    o.cleaning = c.cleaning;
    const MethodRunResult r = RunMethodProject(dir, o);
    EXPECT_NE(kBZ_ProjStateFinished, r.exec);
    EXPECT_EQ(c.error, r.error);
    EXPECT_FALSE(r.targetExists) << "no target file stays";
    EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter);
  }
}

TEST(NoiseReductionRunErrors, CancelWhileTheRandomTablesAreMadeEndsCleanly) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  MakeClip(dir, "src.mov", 4, "noise=alls=12:allf=t");
  MethodRunOptions o;
  o.cleaning = Manual(true, false, 18, 5);
  o.noiseTablesReady = false;
  o.stop = RunStop::kCancelEarly;
  const MethodRunResult r = RunMethodProject(dir, o);
  EXPECT_EQ(kBZ_ProjStateCanceled, r.exec);
  EXPECT_EQ(noErr, r.error);
  EXPECT_FALSE(r.targetExists);
  EXPECT_FALSE(BZ_GetMakingRandomNoiseTables()) << "the making-tables status is cleared";
}

}  // namespace
