// The noise-reduction stage in whole executions, headless through the method harness: read, copy, noise
// reduction (and cross-luma after it), write, on 1 and 8 workers, over testsrc2 clips with ffmpeg's temporal
// noise, measured against the clean truth.
#include "methods/noise_reduction_stage.h"

#include "engine/runtime/shell_senders.h"
#include "support/method_harness.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

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

// ---- The two-dimensional filter and the automatic settings -------------------------------------------------------

// The defaults users meet first: both directions (the two-dimensional filter), the noise measured.
BZ_CleaninSett Defaults() {
  BZ_CleaninSett cleaning = NoCleaning();
  cleaning.noiseRed.apply = true;
  cleaning.noiseRed.selRect = Rect{16, 16, kHeight - 16, kWidth - 16};
  return cleaning;
}

// An analysis run at the noise automatic-settings stage; the event 2016 routine counts its calls and keeps
// the analysis data it sees (the process's, which a run's end takes out of gBZ again).
MethodRunResult Analyse(const TempDir &dir, const std::string &source, const BZ_CleaninSett &cleaning, int *drawn,
                        BZ_RnDlgTaskData **rn) {
  MethodRunOptions o;
  o.source = source;
  o.kind = MethodRunKind::kAnalysis;
  o.autoSettCalc = kBZ_RnAutoSettStage;
  o.statisticsStep = false;
  o.cleaning = cleaning;
  o.recordShownFrames = true;
  MethodRoutines().drawNoiseSpectr = [drawn, rn](EventRef) {
    ++*drawn;
    *rn = gBZ.dlgTaskData.rnDlgTaskData;
    return OSStatus(noErr);
  };
  MethodRunResult r = RunMethodProject(dir, o);
  MethodRoutines().drawNoiseSpectr = nullptr;
  return r;
}

// Y PSNR of ffmpeg's filter over the noisy clip against the truth.
double FfmpegPsnr(const std::string &src, const std::string &filter, const std::string &truth) {
  std::string out;
  EXPECT_EQ(0, RunCommand("ffmpeg -v error -i " + ShellQuote(src) + " -vf " + filter +
                              " -f rawvideo -pix_fmt uyvy422 -",
                          &out));
  return MeanLumaPsnr(truth, out);
}

class NoiseReduction2D : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RequireFfmpeg()) GTEST_SKIP();
    savedSse_ = gBZ.procInfo.hasSSE3;
  }
  void TearDown() override { gBZ.procInfo.hasSSE3 = savedSse_; }
  Boolean savedSse_ = false;
};

TEST_F(NoiseReduction2D, MeasuredDefaultsAndManualLevelBeatTheNoisyInputAndFfmpegsDenoisers) {
  TempDir dir;
  const std::string src = MakeClip(dir, "src.mov", 12, "noise=alls=12:allf=t");
  const std::string truth = CleanTruth(12), noisy = Frames(src);
  const double before = MeanLumaPsnr(truth, noisy);

  // The analysis: no frame filtered or handed on, the three levels posted and stored, the spectrum drawn.
  int drawn = 0;
  BZ_RnDlgTaskData *rn = nullptr;
  const MethodRunResult a = Analyse(dir, "src.mov", Defaults(), &drawn, &rn);
  ASSERT_EQ(noErr, a.error);
  EXPECT_FALSE(a.targetExists);
  // The measured samples are shown by the noise stage once each; a frame handed on would show again at the
  // write stage.
  std::vector<SInt32> shown = a.shownFrames;
  std::sort(shown.begin(), shown.end());
  EXPECT_FALSE(shown.empty());
  EXPECT_LE(shown.size(), 10u);
  EXPECT_TRUE(std::adjacent_find(shown.begin(), shown.end()) == shown.end()) << "a frame went on to the write stage";
  EXPECT_EQ(a.sourceHashBefore, a.sourceHashAfter);
  EXPECT_EQ(1, drawn) << "event 2016";
  float posted[3] = {-1, -1, -1};
  for (const auto &[item, value] : a.dialogValues)
    if (item >= 2153 && item <= 2155) posted[item - 2153] = value;
  ASSERT_NE(rn, nullptr);
  for (int c = 0; c < 3; ++c) {
    EXPECT_TRUE(std::isfinite(posted[c]) && posted[c] >= 0) << "item " << 2153 + c;
    EXPECT_EQ(posted[c], a.cleaning.noiseRed.noiseLevel[c]) << "stored in the settings";
    EXPECT_EQ(posted[c], rn->eqNoiseLevel2D[c]) << "the equalisation level";
    float power = 0;
    for (int i = 0; i < (c == 0 ? 64 : 16); ++i) power += rn->noiseSpectr2D[c][i];
    EXPECT_GT(power, 0) << "the averaged spectrum of channel " << c;
  }
  std::printf("measured levels: Y %.2f, Cb %.2f, Cr %.2f\n", posted[0], posted[1], posted[2]);
  EXPECT_GT(posted[0], 4.0f);

  // Executions at the measured defaults on 1 and 8 workers (SSE), the scalar path forced, and at level 18.
  auto execute = [&](const BZ_CleaninSett &cleaning, int workers, bool sse, const std::string &target) {
    gBZ.procInfo.hasSSE3 = sse;
    MethodRunOptions o;
    o.workers = workers;
    o.cleaning = cleaning;
    o.target = target;
    const MethodRunResult r = RunMethodProject(dir, o);
    ExpectFinished(r);
    return Frames(dir.File(target));
  };
  const std::string one = execute(a.cleaning, 1, true, "one.mov");
  const std::string eight = execute(a.cleaning, 8, true, "eight.mov");
  const std::string scalar = execute(a.cleaning, 8, false, "scalar.mov");
  ASSERT_EQ(one.size(), noisy.size());
  EXPECT_TRUE(one == eight) << "1 and 8 workers give the same bytes";
  ASSERT_EQ(scalar.size(), eight.size());
  size_t differing = 0;
  int largest = 0;
  for (size_t i = 0; i < scalar.size(); ++i) {
    const int d = std::abs(int(UInt8(scalar[i])) - int(UInt8(eight[i])));
    differing += d != 0;
    largest = std::max(largest, d);
  }
  EXPECT_LE(largest, 1) << "scalar against SSE";
  EXPECT_LE(differing, scalar.size() / 50);

  BZ_CleaninSett manual = Manual(true, true, 18, 5);
  const std::string at18 = execute(manual, 8, true, "manual.mov");
  const double automatic = MeanLumaPsnr(truth, eight), level18 = MeanLumaPsnr(truth, at18);
  const double fft = FfmpegPsnr(src, "fftdnoiz=sigma=8", truth), dct = FfmpegPsnr(src, "dctdnoiz=sigma=8", truth);
  std::printf("Y PSNR: noisy %.2f, automatic %.2f, level 18 %.2f, fftdnoiz %.2f, dctdnoiz %.2f dB\n", before,
              automatic, level18, fft, dct);
  EXPECT_GT(automatic, before + 4.0);
  EXPECT_GT(level18, before + 7.0);
  EXPECT_GT(level18, fft + 0.5);
  EXPECT_GT(level18, dct + 0.5);
}

TEST_F(NoiseReduction2D, BlackClipKeepsThePreviousLevelsAndEndsWithoutError) {
  // A noisy clip measured first, then a black one: Y has no usable block in any sample (+infinity), so its
  // level, equalisation level and spectrum stay; no NaN or infinity reaches the settings or the model.
  TempDir dir;
  MakeClip(dir, "src.mov", 6, "noise=alls=12:allf=t");
  MakeClip(dir, "black.mov", 6, "geq=lum=16:cb=128:cr=128");
  int drawn = 0;
  BZ_RnDlgTaskData *rn = nullptr;
  const MethodRunResult first = Analyse(dir, "src.mov", Defaults(), &drawn, &rn);
  ASSERT_EQ(noErr, first.error);
  ASSERT_NE(rn, nullptr);
  const float eqY = rn->eqNoiseLevel2D[0];
  std::vector<float> spectrumY(rn->noiseSpectr2D[0], rn->noiseSpectr2D[0] + 64),
      addY(rn->noiseSpectr2Dadd[0], rn->noiseSpectr2Dadd[0] + 16);
  BZ_CleaninSett cleaning = first.cleaning;
  cleaning.noiseRed.noiseLevel[0] = 7.5f;
  const MethodRunResult r = Analyse(dir, "black.mov", cleaning, &drawn, &rn);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(2, drawn);
  EXPECT_EQ(7.5f, r.cleaning.noiseRed.noiseLevel[0]) << "Y keeps its level";
  EXPECT_EQ(eqY, rn->eqNoiseLevel2D[0]);
  EXPECT_TRUE(std::equal(spectrumY.begin(), spectrumY.end(), rn->noiseSpectr2D[0])) << "Y keeps its spectrum";
  EXPECT_TRUE(std::equal(addY.begin(), addY.end(), rn->noiseSpectr2Dadd[0]));
  for (const auto &[item, value] : r.dialogValues) {
    EXPECT_NE(item, 2153) << "no Y value posted";
    EXPECT_TRUE(std::isfinite(value)) << "item " << item;
  }
  for (int c = 0; c < 3; ++c) {
    EXPECT_TRUE(std::isfinite(r.cleaning.noiseRed.noiseLevel[c]));
    EXPECT_TRUE(std::isfinite(rn->eqNoiseLevel2D[c]));
    for (int i = 0; i < (c == 0 ? 64 : 16); ++i) ASSERT_TRUE(std::isfinite(rn->noiseSpectr2D[c][i]));
  }
  // An execution with what the black clip left runs and ends.
  MethodRunOptions o;
  o.source = "black.mov";
  o.cleaning = r.cleaning;
  ExpectFinished(RunMethodProject(dir, o));
}

}  // namespace
