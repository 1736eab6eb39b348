// Logo removal through the whole engine, headless, on clips made by ffmpeg at 352 x 288: an opaque box
// removed by interpolation and diminished, a box found by an analysis run and removed through its mask, a
// transparent box whose mask and transparency are found and un-blended, the fade leaving the first second
// alone, and bad masks and rectangles that end the run before any frame without touching the source.
#include "methods/logo_stage.h"

#include "support/file_fixtures.h"
#include "support/method_harness.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

using namespace bz_test;

constexpr int kWidth = 352, kHeight = 288;

std::string MakeClip(const TempDir &dir, const std::string &name, const std::string &source, const std::string &filters) {
  const std::string path = dir.File(name);
  const std::string chain = filters.empty() ? "format=uyvy422" : filters + ",format=uyvy422";
  const std::string cmd = "ffmpeg -v error -y -f lavfi -i " + ShellQuote(source) + " -vf " + ShellQuote(chain) +
                          " -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " + ShellQuote(path);
  EXPECT_EQ(0, RunCommand(cmd)) << cmd;
  return path;
}

std::string Frames(const std::string &path) {
  std::string out;
  EXPECT_EQ(0, RunCommand("ffmpeg -v error -i " + ShellQuote(path) + " -map 0:v -f rawvideo -pix_fmt uyvy422 -", &out))
      << path;
  return out;
}

int Luma(const std::string &frames, size_t f, int x, int y) {
  return UInt8(frames[((f * kHeight + size_t(y)) * kWidth + size_t(x)) * 2 + 1]);
}

// Mean absolute luma difference inside the rectangle over every frame.
double InsideError(const std::string &a, const std::string &b, const Rect &r) {
  const size_t frames = a.size() / (size_t(kWidth) * kHeight * 2);
  double sum = 0;
  size_t n = 0;
  for (size_t f = 0; f < frames; ++f)
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x, ++n) sum += std::abs(Luma(a, f, x, y) - Luma(b, f, x, y));
  const double error = n > 0 ? sum / double(n) : 0;
  std::printf("mean absolute luma error inside the rectangle: %.3f\n", error);
  return error;
}

// Whether two frame sets are equal outside the rectangle, and inside it for the given frames only.
bool EqualOutside(const std::string &a, const std::string &b, const Rect &r) {
  if (a.size() != b.size()) return false;
  const size_t frames = a.size() / (size_t(kWidth) * kHeight * 2);
  for (size_t f = 0; f < frames; ++f)
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        if (y >= r.top && y < r.bottom && x >= r.left && x < r.right) continue;
        const size_t at = ((f * kHeight + size_t(y)) * kWidth + size_t(x)) * 2;
        if (a[at] != b[at] || a[at + 1] != b[at + 1]) return false;
      }
  return true;
}

// Intersection over union of the logo method's mask (in frame coordinates) with a box.
double MaskOverlap(const Rect &box) {
  const BZ_RlDlgTaskData *data = gBZ.dlgTaskData.rlDlgTaskData;
  if (data == nullptr || data->isMaskPixel == nullptr) return 0;
  const Rect &m = data->maskRect;
  const int w = m.right - m.left;
  size_t both = 0, maskOnly = 0, boxOnly = 0;
  for (int y = std::min(m.top, box.top); y < std::max(m.bottom, box.bottom); ++y)
    for (int x = std::min(m.left, box.left); x < std::max(m.right, box.right); ++x) {
      const bool inMask = y >= m.top && y < m.bottom && x >= m.left && x < m.right &&
                          data->isMaskPixel[(y - m.top) * w + (x - m.left)] != 0;
      const bool inBox = y >= box.top && y < box.bottom && x >= box.left && x < box.right;
      both += inMask && inBox, maskOnly += inMask && !inBox, boxOnly += inBox && !inMask;
    }
  const double iou = double(both) / double(both + maskOnly + boxOnly);
  std::printf("logo mask: %zu pixels in the box, %zu outside, %zu of the box missed, IoU %.3f\n", both, maskOnly,
              boxOnly, iou);
  return iou;
}

BZ_CleaninSett Logo(BZ_RlMode mode, Rect rect) {
  BZ_CleaninSett c = NoCleaning();
  c.removeLogo.apply = true;
  c.removeLogo.mode = mode;
  c.removeLogo.logoRect = rect;
  return c;
}

// An analysis run that finds the mask on the rectangle (mode 3, findMask).
MethodRunResult FindLogo(const TempDir &dir, int workers, Rect rect, bool transparent) {
  MethodRunOptions analysis;
  analysis.workers = workers;
  analysis.kind = MethodRunKind::kAnalysis;
  analysis.autoSettCalc = kBZ_RlAutoSettStage;
  analysis.statisticsStep = false;
  analysis.cleaning = Logo(kBZ_LogoModeUseMask, rect);
  analysis.cleaning->removeLogo.findMask = true;
  analysis.cleaning->removeLogo.transparent = transparent;
  analysis.cleaning->removeLogo.transparency = 0.5;
  return RunMethodProject(dir, analysis);
}

// An execution with what an analysis found.
MethodRunResult ExecuteFound(const TempDir &dir, int workers, const BZ_CleaninSett &found) {
  MethodRunOptions run;
  run.workers = workers;
  run.cleaning = found;
  run.cleaning->removeLogo.findMask = false;
  return RunMethodProject(dir, run);
}

// A fresh logo state for each test: no mask from an earlier one.
struct LogoState {
  LogoState() {
    BZ_RlDisposeDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData);
    EXPECT_EQ(noErr, BZ_RlInitDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData));
  }
  ~LogoState() {
    BZ_RlDisposeDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData);
    MethodRoutines() = MethodEventRoutines{};
  }
};

const char *kTestSrc = "testsrc2=s=352x288:r=25:d=0.48";
const Rect kBox{40, 40, 100, 140};  // drawbox x=40:y=40:w=100:h=60

class LogoEndToEnd : public ::testing::TestWithParam<int> {};

TEST_P(LogoEndToEnd, OpaqueBoxIsInterpolatedAwayOrDiminished) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  LogoState state;
  TempDir dir;
  MakeClip(dir, "src.mov", kTestSrc, "drawbox=x=40:y=40:w=100:h=60:color=white:t=fill");
  MakeClip(dir, "clean.mov", kTestSrc, "");
  MethodRunOptions plain;
  plain.workers = GetParam();
  plain.target = "plain.mov";
  const MethodRunResult p = RunMethodProject(dir, plain);
  ASSERT_EQ(noErr, p.save);

  MethodRunOptions run;
  run.workers = GetParam();
  run.cleaning = Logo(kBZ_LogoModeInterp, kBox);
  MethodRunResult r = RunMethodProject(dir, run);
  ASSERT_EQ(noErr, r.error);
  ASSERT_EQ(noErr, r.save);
  EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter);
  const std::string logo = Frames(dir.File("src.mov")), clean = Frames(dir.File("clean.mov"));
  const std::string out = Frames(dir.File("out.mov")), plainOut = Frames(dir.File("plain.mov"));
  ASSERT_EQ(logo.size(), out.size());
  const double before = InsideError(logo, clean, kBox), after = InsideError(out, clean, kBox);
  EXPECT_GT(before, 3 * after) << "logo clip " << before << ", cleaned " << after;
  EXPECT_TRUE(EqualOutside(out, plainOut, kBox));

  run.cleaning = Logo(kBZ_LogoModeDiminish, kBox);
  run.target = "dim.mov";
  r = RunMethodProject(dir, run);
  ASSERT_EQ(noErr, r.error);
  ASSERT_EQ(noErr, r.save);
  const std::string dim = Frames(dir.File("dim.mov"));
  EXPECT_TRUE(EqualOutside(dim, plainOut, kBox)) << "the rest of the frame is byte-identical";
  EXPECT_LT(InsideError(dim, clean, kBox), before);
}

TEST_P(LogoEndToEnd, FoundOpaqueMaskRemovesTheBox) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  LogoState state;
  TempDir dir;
  const std::string moving = "testsrc2=s=352x288:r=25:d=2";
  const std::string scroll = "scroll=h=0.013:v=0.021";
  MakeClip(dir, "src.mov", moving, scroll + ",drawbox=x=60:y=50:w=40:h=30:color=white:t=fill");
  MakeClip(dir, "clean.mov", moving, scroll);
  const Rect box{50, 60, 80, 100}, rect{40, 50, 90, 110};
  SInt32 shown = 0;
  MethodRoutines().setLogoMaskPic = [&](BZ_RlParams *) {
    ++shown;
    return OSStatus(noErr);
  };
  const MethodRunResult a = FindLogo(dir, GetParam(), rect, false);
  ASSERT_EQ(noErr, a.error);
  EXPECT_EQ(1, shown) << "the found mask goes to the main thread once";
  EXPECT_GE(MaskOverlap(box), 0.9);

  const MethodRunResult r = ExecuteFound(dir, GetParam(), a.cleaning);
  ASSERT_EQ(noErr, r.error);
  ASSERT_EQ(noErr, r.save);
  const std::string logo = Frames(dir.File("src.mov")), clean = Frames(dir.File("clean.mov"));
  const std::string out = Frames(dir.File("out.mov"));
  EXPECT_GT(InsideError(logo, clean, box), 3 * InsideError(out, clean, box));
}

TEST_P(LogoEndToEnd, TransparentBoxIsFoundAndUnblended) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  LogoState state;
  TempDir dir;
  // A uniform grey stepping through eleven levels, a 30 % white box over it.
  const std::string grey = "color=c=gray:s=352x288:r=25:d=1.76";
  const std::string steps = "format=yuv444p,geq=lum='30+17*mod(N,11)':cb=128:cr=128";
  MakeClip(dir, "src.mov", grey, steps + ",drawbox=x=100:y=80:w=60:h=40:color=white@0.3:t=fill");
  MakeClip(dir, "clean.mov", grey, steps);
  const Rect box{80, 100, 120, 160}, rect{70, 90, 130, 170};
  SInt32 transparencyEvents = 0;
  MethodRoutines().setLogoTransparency = [&] {
    ++transparencyEvents;
    return OSStatus(noErr);
  };
  const MethodRunResult a = FindLogo(dir, GetParam(), rect, true);
  ASSERT_EQ(noErr, a.error);
  EXPECT_EQ(1, transparencyEvents);
  EXPECT_NEAR(0.7, a.cleaning.removeLogo.transparency, 0.05);
  EXPECT_GE(MaskOverlap(box), 0.9);

  const MethodRunResult r = ExecuteFound(dir, GetParam(), a.cleaning);
  ASSERT_EQ(noErr, r.error);
  ASSERT_EQ(noErr, r.save);
  EXPECT_LE(InsideError(Frames(dir.File("out.mov")), Frames(dir.File("clean.mov")), box), 3.0);
}

INSTANTIATE_TEST_SUITE_P(Workers, LogoEndToEnd, ::testing::Values(1, 8));

// An interlaced clip (top field first): the modes work field by field and leave the rest of the frame alone.
TEST(LogoEndToEndInterlaced, ModesWorkOnFields) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  LogoState state;
  TempDir dir;
  auto makeInterlaced = [&](const std::string &name, const std::string &filters) {
    const std::string chain = (filters.empty() ? "" : filters + ",") + "setfield=tff,format=uyvy422";
    ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i " + ShellQuote(kTestSrc) + " -vf " + ShellQuote(chain) +
                            " -c:v rawvideo -tag:v 2vuy -field_order tt " + ShellQuote(dir.File(name))));
  };
  makeInterlaced("src.mov", "drawbox=x=40:y=40:w=100:h=60:color=white:t=fill");
  makeInterlaced("clean.mov", "");
  MethodRunOptions plain;
  plain.target = "plain.mov";
  ASSERT_EQ(noErr, RunMethodProject(dir, plain).save);
  const std::string logo = Frames(dir.File("src.mov")), clean = Frames(dir.File("clean.mov"));
  const std::string plainOut = Frames(dir.File("plain.mov"));
  for (BZ_RlMode mode : {kBZ_LogoModeDiminish, kBZ_LogoModeInterp}) {
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    MethodRunOptions run;
    run.workers = 8;
    run.cleaning = Logo(mode, kBox);
    const MethodRunResult r = RunMethodProject(dir, run);
    ASSERT_EQ(noErr, r.error);
    ASSERT_EQ(noErr, r.save);
    const std::string out = Frames(dir.File("out.mov"));
    EXPECT_TRUE(EqualOutside(out, plainOut, kBox));
    if (mode == kBZ_LogoModeInterp) {
      EXPECT_GT(InsideError(logo, clean, kBox), 3 * InsideError(out, clean, kBox));
    }
  }
}

// A preview and an analysis that measures the frame statistics pass through the stage like an execution's
// frames; a mask still to be found removes nothing yet.
TEST(LogoEndToEndRuns, PreviewAndStatisticsRunsPassThrough) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  LogoState state;
  TempDir dir;
  MakeClip(dir, "src.mov", kTestSrc, "drawbox=x=40:y=40:w=100:h=60:color=white:t=fill");
  for (BZ_RlMode mode : {kBZ_LogoModeDiminish, kBZ_LogoModeInterp, kBZ_LogoModeUseMask}) {
    for (MethodRunKind kind : {MethodRunKind::kPreview, MethodRunKind::kAnalysis}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << (kind == MethodRunKind::kPreview ? " preview" : " analysis"));
      MethodRunOptions run;
      run.kind = kind;
      run.previewFrame = 5;
      run.cleaning = Logo(mode, kBox);
      run.cleaning->removeLogo.findMask = true;
      const MethodRunResult r = RunMethodProject(dir, run);
      EXPECT_EQ(noErr, r.error);
      EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter);
    }
  }
  EXPECT_EQ(0, gBZ.dlgTaskData.rlDlgTaskData->numMaskPix) << "no mask was found by these runs";
}

TEST(LogoEndToEndFade, FirstSecondStaysUntouched) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  LogoState state;
  TempDir dir;
  MakeClip(dir, "src.mov", "testsrc2=s=352x288:r=10:d=5", "drawbox=x=40:y=40:w=100:h=60:color=white:t=fill");
  MethodRunOptions plain;
  plain.target = "plain.mov";
  ASSERT_EQ(noErr, RunMethodProject(dir, plain).save);
  MethodRoutines().getFadeFrameNumbers = [](BZ_RlParams *p) { return BZ_RlGetFadeFrameNumbers(gBZ.project, p); };
  MethodRunOptions run;
  run.cleaning = Logo(kBZ_LogoModeInterp, kBox);
  run.cleaning->removeLogo.fade = true;
  run.cleaning->removeLogo.timeBeforeFade = 3;
  const MethodRunResult r = RunMethodProject(dir, run);
  ASSERT_EQ(noErr, r.error);
  ASSERT_EQ(noErr, r.save);
  EXPECT_TRUE(r.cleaning.removeLogo.fade);
  const std::string out = Frames(dir.File("out.mov")), ref = Frames(dir.File("plain.mov"));
  const size_t frameBytes = size_t(kWidth) * kHeight * 2;
  ASSERT_EQ(50 * frameBytes, out.size());
  // T = 1: frames 0 .. 9 untouched, the middle second removed.
  EXPECT_EQ(ref.substr(0, 10 * frameBytes), out.substr(0, 10 * frameBytes));
  EXPECT_NE(ref.substr(25 * frameBytes, frameBytes), out.substr(25 * frameBytes, frameBytes));
  EXPECT_EQ(ref.substr(49 * frameBytes), out.substr(49 * frameBytes)) << "the last frame too";
}

// Bad masks and rectangles: each run ends with its number before any frame, leaves no target and never
// writes the source.
TEST(LogoEndToEndBadInput, EndsBeforeAnyFrame) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  MakeClip(dir, "src.mov", kTestSrc, "drawbox=x=40:y=40:w=100:h=60:color=white:t=fill");
  const std::string png = "ffmpeg -v error -y -f lavfi -i color=white:s=%s -vf drawbox=%s:color=black:t=fill "
                          "-frames:v 1 %s";
  auto makePng = [&](const char *size, const char *box, const std::string &path) {
    char cmd[512];
    std::snprintf(cmd, sizeof cmd, png.c_str(), size, box, ShellQuote(path).c_str());
    EXPECT_EQ(0, RunCommand(cmd));
  };
  makePng("400x320", "x=360:y=290:w=20:h=20", dir.File("large.png"));
  makePng("352x288", "x=40:y=40:w=100:h=60", dir.File("gone.png"));
  makePng("352x288", "x=40:y=40:w=100:h=60", dir.File("full.png"));
  std::string bytes;
  RunCommand("head -c 120 " + ShellQuote(dir.File("full.png")) + " > " + ShellQuote(dir.File("cut.png")), &bytes);

  struct Case {
    const char *name;
    std::string mask;  // empty: no mask file
    Rect rect;
    BZ_RlMode mode;
    bool deleteMask;
    OSStatus expected;  // 0: any error
  } cases[] = {
      {"mask larger than the movie", dir.File("large.png"), Rect{290, 360, 310, 380}, kBZ_LogoModeUseMask, false,
       kBZ_LogoTooLargeErr},
      {"missing mask file", dir.File("gone.png"), kBox, kBZ_LogoModeUseMask, true, kBZ_AuxFileNotFoundErr},
      {"truncated mask image", dir.File("cut.png"), kBox, kBZ_LogoModeUseMask, false, 0},
      {"rectangle outside the picture", "", Rect{250, 300, 300, 360}, kBZ_LogoModeInterp, false, kBZ_LogoTooLargeErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    LogoState state;
    if (!c.mask.empty()) gBZ.dlgTaskData.rlDlgTaskData->maskFile = RefFor(c.mask);
    if (c.deleteMask) std::remove(c.mask.c_str());
    MethodRunOptions run;
    run.cleaning = Logo(c.mode, c.rect);
    run.cleaning->removeLogo.transparent = false;
    const MethodRunResult r = RunMethodProject(dir, run);
    if (c.expected != 0)
      EXPECT_EQ(c.expected, r.error);
    else
      EXPECT_NE(noErr, r.error);
    EXPECT_FALSE(r.targetExists);
    EXPECT_EQ(r.sourceHashBefore, r.sourceHashAfter);
    EXPECT_EQ(nullptr, gBZ.dlgTaskData.rlDlgTaskData->isMaskPixel) << "no half-made mask is left";
  }
}

}  // namespace
