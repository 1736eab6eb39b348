// The cross-luma stage through the whole engine, headless: executions on 1, 2 and 8 workers over a clip with
// a cross-luma pattern next to its colour edges, settings that must not reach the kernel, an analysis run
// that measures the test frames and a preview of one frame.
#include "methods/cross_luma_stage.h"

#include "support/method_harness.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

using namespace bz_test;

constexpr int kWidth = 352, kHeight = 288, kFrames = 12;

// testsrc2 in 4:4:4; the dirty clip adds a same-field luma checkerboard of amplitude 10 next to vertical
// colour edges: where the chroma 7 pixels to the left and right differs, the same 4 lines up and down
// (a vertical edge, not a moving diagonal), but not within 2 pixels (on the edge itself the luma steps too,
// and no filter can tell a pattern there). Both end as '2vuy' with the same chroma.
const char *kSource = "testsrc2=s=352x288:r=25:d=0.48,format=yuv444p";
const char *kPattern =
    "geq=lum='lum(X,Y)+if(gt(abs(cb(X+7,Y)-cb(X-7,Y))+abs(cr(X+7,Y)-cr(X-7,Y)),24)*"
    "lte(abs(cb(X+2,Y)-cb(X-2,Y))+abs(cr(X+2,Y)-cr(X-2,Y)),2)*"
    "lte(abs(cb(X-7,Y-4)-cb(X-7,Y+4))+abs(cb(X+7,Y-4)-cb(X+7,Y+4))+abs(cr(X-7,Y-4)-cr(X-7,Y+4))+"
    "abs(cr(X+7,Y-4)-cr(X+7,Y+4)),2),if(mod(X+floor(Y/2),2),10,-10),0)'"
    ":cb='cb(X,Y)':cr='cr(X,Y)'";

bool MakeClip(const std::string &path, bool dirty) {
  const std::string filters = dirty ? std::string(kPattern) + ",format=uyvy422" : std::string("format=uyvy422");
  return RunCommand("ffmpeg -v error -y -f lavfi -i " + std::string(kSource) + " -vf \"" + filters +
                    "\" -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " + ShellQuote(path)) == 0;
}

std::string Frames(const std::string &path) {
  std::string out;
  EXPECT_EQ(0, RunCommand("ffmpeg -v error -i " + ShellQuote(path) + " -map 0:v -f rawvideo -pix_fmt uyvy422 -", &out))
      << path;
  return out;
}

BZ_CleaninSett CrossLuma() {
  BZ_CleaninSett c = NoCleaning();
  c.crossLuma.apply = true;
  return c;
}

UInt8 At(const std::string &frames, int f, int x, int y, int byte) {
  return UInt8(frames[((size_t(f) * kHeight + size_t(y)) * kWidth + size_t(x)) * 2 + size_t(byte)]);
}

// Whether the chroma around (x, y) is the same everywhere within the reach of the stage's zones: the
// stretch search's window and the extent to each side, the block's lines above and below.
bool FarFromColourEdges(const std::string &frames, int f, int x, int y) {
  const int cb = At(frames, f, x & ~1, y, 0), cr = At(frames, f, x & ~1, y, 2);
  for (int v = std::max(y - 4, 0); v <= std::min(y + 4, kHeight - 1); ++v)
    for (int u = std::max((x & ~1) - 24, 0); u <= std::min(x + 24, kWidth - 2); u += 2)
      if (At(frames, f, u, v, 0) != cb || At(frames, f, u, v, 2) != cr) return false;
  return true;
}

class CrossLumaStageWorkers : public ::testing::TestWithParam<int> {};

TEST_P(CrossLumaStageWorkers, RemovesThePatternAndLeavesTheRestAlone) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  ASSERT_TRUE(MakeClip(dir.File("src.mov"), true));
  ASSERT_TRUE(MakeClip(dir.File("clean.mov"), false));
  // The reference: the clean clip through the same pipeline with no method.
  MethodRunOptions reference;
  reference.source = "clean.mov";
  reference.target = "ref.mov";
  reference.workers = GetParam();
  const MethodRunResult ref = RunMethodProject(dir, reference);
  ASSERT_EQ(kBZ_ProjStateFinished, ref.exec);
  ASSERT_EQ(noErr, ref.save);

  MethodRunOptions run;
  run.workers = GetParam();
  run.cleaning = CrossLuma();
  const MethodRunResult r = RunMethodProject(dir, run);
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(noErr, r.save);
  EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter) << "the source movie was written";

  auto v = ProbeStream(dir.File("out.mov"), "v:0");
  EXPECT_EQ("rawvideo", v["codec_name"]);
  EXPECT_EQ(std::to_string(kFrames), v["nb_frames"]);
  const std::string in = Frames(dir.File("src.mov")), out = Frames(dir.File("out.mov"));
  const std::string clean = Frames(dir.File("clean.mov")), refOut = Frames(dir.File("ref.mov"));
  const size_t frameBytes = size_t(kWidth) * kHeight * 2;
  ASSERT_EQ(frameBytes * kFrames, in.size());
  ASSERT_EQ(in.size(), out.size());
  ASSERT_EQ(in.size(), clean.size());
  ASSERT_EQ(in.size(), refOut.size());

  double before = 0, after = 0;
  size_t patterned = 0, far = 0, farChanged = 0, chromaChanged = 0;
  for (int f = 0; f < kFrames; ++f)
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        chromaChanged += At(in, f, x, y, 0) != At(out, f, x, y, 0);
        const int lumaIn = At(in, f, x, y, 1), lumaOut = At(out, f, x, y, 1);
        if (FarFromColourEdges(in, f, x, y)) {
          ++far;
          farChanged += lumaIn != lumaOut;
        }
        if (lumaIn == At(clean, f, x, y, 1)) continue;
        ++patterned;
        const int reference = At(refOut, f, x, y, 1);
        before += std::abs(lumaIn - reference);
        after += std::abs(lumaOut - reference);
      }
  EXPECT_EQ(0u, chromaChanged) << "chroma never changes, and the frames come in order";
  EXPECT_GT(far, frameBytes / 8) << "the clip has flat areas";
  EXPECT_EQ(0u, farChanged) << "luma away from colour edges is the input's";
  ASSERT_GT(patterned, 1000u);
  before /= double(patterned);
  after /= double(patterned);
  std::printf("cross-luma, %d workers: mean |luma - clean| in the pattern %.2f before, %.2f after\n", GetParam(),
              before, after);
  RecordProperty("meanLumaDiffBefore", std::to_string(before));
  RecordProperty("meanLumaDiffAfter", std::to_string(after));
  EXPECT_LE(after, 0.5 * before);
}

INSTANTIATE_TEST_SUITE_P(Workers, CrossLumaStageWorkers, ::testing::Values(1, 2, 8));

// Settings set without the dialog's checks end the run before any frame: paramErr, no target file, the
// source untouched.
TEST(CrossLumaStage, OutOfRangeSettingsEndTheRunWithParamErr) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  struct Case {
    const char *name;
    void (*spoil)(BZ_Cl_Sett &);
  };
  const Case cases[] = {
      {"test length 0", [](BZ_Cl_Sett &s) { s.constChromaTestLen = 0; }},
      {"stretch shorter than the test length + 2", [](BZ_Cl_Sett &s) { s.minConstChromaLen = s.constChromaTestLen + 1; }},
      {"extent 1000", [](BZ_Cl_Sett &s) { s.extent = 1000; }},
  };
  TempDir dir;
  ASSERT_TRUE(MakeClip(dir.File("src.mov"), true));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    MethodRunOptions run;
    run.cleaning = CrossLuma();
    c.spoil(run.cleaning->crossLuma);
    const MethodRunResult r = RunMethodProject(dir, run);
    EXPECT_EQ(paramErr, r.error);
    EXPECT_NE(kBZ_ProjStateFinished, r.exec);
    EXPECT_FALSE(r.targetExists);
    EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter);
  }
}

// Colour stripes 8 pixels wide give every line more stretches than it may hold: each frame goes on as the
// unfiltered copy and the run finishes with all of them.
TEST(CrossLumaStage, FramesWithTooManyStretchesGoOnUnfiltered) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=352x288:r=25:d=0.16,format=yuv444p -vf \"geq="
                          "lum='lum(X,Y)+if(mod(X+floor(Y/2),2),10,-10)':cb='if(mod(floor(X/8),2),60,190)':"
                          "cr='if(mod(floor(X/8),2),190,60)',format=uyvy422\" -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " +
                          ShellQuote(dir.File("src.mov"))));
  MethodRunOptions run;
  run.cleaning = CrossLuma();
  run.cleaning->crossLuma.constChromaTestLen = 4;
  run.cleaning->crossLuma.minConstChromaLen = 6;
  const MethodRunResult r = RunMethodProject(dir, run);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ("4", ProbeStream(dir.File("out.mov"), "v:0")["nb_frames"]);
  EXPECT_TRUE(Frames(dir.File("src.mov")) == Frames(dir.File("out.mov"))) << "every frame unfiltered";
}

// An analysis with no automatic setting pending measures the stage's test frames and, at the write stage,
// what the whole pipeline changed against each source frame, which the first cleaning stage keeps until then.
// One worker leaves fewer buffers than the run has samples, so the run ends only when the write stage gives
// the source frames back. Cross-luma is the only change here: both stages measure the same difference.
TEST(CrossLumaStage, StatisticsRunMeasuresTheStageAndThePipeline) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  ASSERT_TRUE(MakeClip(dir.File("src.mov"), true));
  for (int workers : {1, 8}) {
    SCOPED_TRACE(testing::Message() << workers << " workers");
    MethodRunOptions run;
    run.kind = MethodRunKind::kAnalysis;
    run.workers = workers;
    run.cleaning = CrossLuma();
    const MethodRunResult r = RunMethodProject(dir, run);
    EXPECT_EQ(noErr, r.error);
    EXPECT_EQ(1, r.runsFinished);
    EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter);
    std::map<SInt16, float> items;
    for (const auto &[item, value] : r.dialogValues) items[item] = value;
    ASSERT_TRUE(items.count(2358) && items.count(2357)) << "the stage's difference and share of changed pixels";
    EXPECT_GT(items[2358], 0.0f);
    EXPECT_GT(items[2357], 0.0f);
    EXPECT_LT(items[2357], 100.0f);
    ASSERT_TRUE(items.count(2087) && items.count(2086) && items.count(2085)) << "the write stage's figures";
    EXPECT_NEAR(items[2358], items[2087], 1e-4f) << "measured against the kept source frames";
    EXPECT_NEAR(items[2357], items[2086], 1e-3f);
  }
}

// A preview cleans exactly the preview frame and hands on nothing else.
TEST(CrossLumaStage, PreviewHandsOnThePreviewFrame) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  ASSERT_TRUE(MakeClip(dir.File("src.mov"), true));
  MethodRunOptions run;
  run.kind = MethodRunKind::kPreview;
  run.previewFrame = 5;
  run.recordShownFrames = true;
  run.cleaning = CrossLuma();
  const MethodRunResult r = RunMethodProject(dir, run);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(std::vector<SInt32>{5}, r.shownFrames);
  EXPECT_FALSE(r.targetExists);
  EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter);
}

}  // namespace
