// The noise-spectrum picture: its layout for the three filter kinds, and the picture drawn into view 2181 of
// a test window (its size, one dot per bin, no dot wider than 6 pixels).
#include "methods/noise_spectrum_ui.h"

#include "engine/runtime/engine_host.h"
#include "methods/noise_reduction_stage.h"
#include "methods/spectral_windows.h"
#include "platform/core/controls.h"
#include "platform/core/quartz_images.h"
#include "support/gui_driver.h"
#include "support/method_harness.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

BZ_RnParams ParamsOfKind(BZ_Rn_Sett *sett, bool horizontal, bool vertical) {
  sett->horizontal = horizontal;
  sett->vertical = vertical;
  BZ_RnParams p{};
  p.sett = sett;
  return p;
}

TEST(RnNoiseSpectrumPicture, LayoutOfTheThreeKinds) {
  // A view of 320 x 260: two-dimensional a = 114, b = 65; horizontal e = 170 / 3; vertical g = 290 / 3.
  struct Case {
    const char *name;
    bool horizontal, vertical;
    SInt32 numHoriz, numVert;
    CGPoint start[3], title[3];
  };
  const float e = 170.0f / 3, g = 290.0f / 3;
  const Case cases[] = {
      {"two-dimensional", true, true, 8, 8, {{57, 20}, {233, 72.5f}, {233, 187.5f}}, {{10, 10}, {233, 67.5f}, {233, 182.5f}}},
      {"horizontal", true, false, 8, 1, {{129, e / 2 + 10}, {145, 1.5f * e + 30}, {145, 60 + 2.5f * e}},
       {{10, e / 2 + 4}, {145, 1.5f * e + 24}, {145, 54 + 2.5f * e}}},
      {"vertical", false, true, 1, 8, {{g / 2, 178}, {10 + 1.5f * g, 178}, {20 + 2.5f * g, 178}},
       {{10, 10}, {1.5f * g, 168}, {10 + 2.5f * g, 168}}},
  };
  for (const Case &c : cases) {
    BZ_Rn_Sett sett{};
    const BZ_RnParams p = ParamsOfKind(&sett, c.horizontal, c.vertical);
    CGPoint start[3], title[3];
    SInt32 numHoriz = 0, numVert = 0;
    // The size is rounded down after adding 0.01.
    BZ_LayoutNoiseSpectrPic(&p, CGRect{{0, 0}, {319.995f, 260.4f}}, start, title, &numHoriz, &numVert);
    EXPECT_EQ(numHoriz, c.numHoriz) << c.name;
    EXPECT_EQ(numVert, c.numVert) << c.name;
    for (int ch = 0; ch < 3; ++ch) {
      EXPECT_NEAR(start[ch].x, c.start[ch].x, 1e-3) << c.name << " start " << ch;
      EXPECT_NEAR(start[ch].y, c.start[ch].y, 1e-3) << c.name << " start " << ch;
      EXPECT_NEAR(title[ch].x, c.title[ch].x, 1e-3) << c.name << " title " << ch;
      EXPECT_NEAR(title[ch].y, c.title[ch].y, 1e-3) << c.name << " title " << ch;
    }
  }
}

// The dots (8-connected blobs of pixels more than half opaque) inside a rectangle of user space (y up from
// the bitmap's last row), with the widest one's width.
struct Dots {
  int count = 0, widest = 0;
};
Dots CountDots(const UInt8 *argb, SInt32 width, SInt32 height, float x0, float y0, float x1, float y1) {
  auto inside = [&](int x, int row) {
    const float y = float(height - 1 - row);
    return x >= x0 && x <= x1 && y >= y0 && y <= y1 && argb[(size_t(row) * width + x) * 4] > 128;
  };
  std::vector<char> seen(size_t(width) * height, 0);
  Dots d;
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) {
      if (seen[size_t(row) * width + x] || !inside(x, row)) continue;
      ++d.count;
      int lo = x, hi = x;
      std::vector<std::pair<int, int>> stack{{x, row}};
      seen[size_t(row) * width + x] = 1;
      while (!stack.empty()) {
        auto [px, pr] = stack.back();
        stack.pop_back();
        lo = std::min(lo, px);
        hi = std::max(hi, px);
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = px + dx, nr = pr + dy;
            if (nx < 0 || nr < 0 || nx >= width || nr >= height || seen[size_t(nr) * width + nx] || !inside(nx, nr))
              continue;
            seen[size_t(nr) * width + nx] = 1;
            stack.push_back({nx, nr});
          }
      }
      d.widest = std::max(d.widest, hi - lo + 1);
    }
  return d;
}

WindowRef gWindow = nullptr;

TEST(RnNoiseSpectrumPicture, DrawnIntoView2181WithOneDotPerBin) {
  TD_App();
  int windowStorage = 0;
  gWindow = reinterpret_cast<WindowRef>(&windowStorage);
  const HIViewID id{'Orl1', kBZ_NoiseSpectrViewID};
  ControlRef view = nullptr;
  ASSERT_EQ(PL_NewControl(gWindow, &id, &view), noErr);
  const HIRect frame{{20, 30}, {320, 260}};
  ASSERT_EQ(HIViewSetFrame(view, &frame), noErr);
  BZ_EngineHost host = *BZ_GetEngineHost();
  host.getProjDlgWindow = [](void *) { return gWindow; };
  BZ_SetEngineHost(&host);
  BZ_RnDlgTaskData *saved = gBZ.dlgTaskData.rnDlgTaskData;
  gBZ.dlgTaskData.rnDlgTaskData = nullptr;
  ASSERT_EQ(BZ_RnInitDlgTaskData(&gBZ.dlgTaskData.rnDlgTaskData), noErr);
  ASSERT_EQ(BZ_InitVectorFloatStorage(&gBZ.dlgTaskData), noErr);
  BZ_RnDlgTaskData *rn = gBZ.dlgTaskData.rnDlgTaskData;

  struct Case {
    const char *name;
    bool horizontal, vertical;
    float *const *spectr;
    SInt32 rows[3], columns[3];
  };
  const Case cases[] = {
      {"two-dimensional", true, true, rn->noiseSpectr2D, {8, 4, 4}, {8, 4, 4}},
      {"horizontal", true, false, rn->noiseSpectr16H, {1, 1, 1}, {8, 4, 4}},
      {"vertical", false, true, rn->noiseSpectr16V, {8, 8, 8}, {1, 1, 1}},
  };
  for (const Case &c : cases) {
    // Equal bins (dots of 3 pixels) except one far above the mean, whose dot stops at 6.
    for (int ch = 0; ch < 3; ++ch) {
      std::fill_n(c.spectr[ch], c.rows[ch] * c.columns[ch], 100.0f);
      c.spectr[ch][1] = 300.0f;
    }
    BZ_Rn_Sett sett{};
    const BZ_RnParams p = ParamsOfKind(&sett, c.horizontal, c.vertical);
    ASSERT_EQ(BZ_DrawNoiseSpectr(&p), noErr) << c.name;
    CGImageRef shown = HIImageViewCopyImage(view);
    ASSERT_NE(shown, nullptr) << c.name;
    EXPECT_EQ(CGImageGetWidth(shown), 320u);
    EXPECT_EQ(CGImageGetHeight(shown), 260u);
    CGImageRelease(shown);
    SInt32 width = 0, height = 0;
    const UInt8 *bitmap = BZ_GetNoiseSpectrBitmap(&width, &height);
    ASSERT_NE(bitmap, nullptr);
    CGPoint start[3], title[3];
    SInt32 numHoriz = 0, numVert = 0;
    BZ_LayoutNoiseSpectrPic(&p, frame, start, title, &numHoriz, &numVert);
    // The titles are drawn upright in the picture: above their baselines there, below them in user space.
    int ink = 0;
    for (int row = height - 1 - SInt32(title[0].y); row < height - 1 - SInt32(title[0].y) + 9; ++row)
      for (int x = SInt32(title[0].x); x < SInt32(title[0].x) + 40; ++x) ink += bitmap[(size_t(row) * width + x) * 4] > 128;
    EXPECT_GT(ink, 20) << c.name << ": the Y title";
    for (int ch = 0; ch < 3; ++ch) {
      const Dots d = CountDots(bitmap, width, height, start[ch].x - 4, start[ch].y - 4,
                               start[ch].x + 8 * float(c.columns[ch] - 1) + 4, start[ch].y + 8 * float(c.rows[ch] - 1) + 4);
      EXPECT_EQ(d.count, c.rows[ch] * c.columns[ch]) << c.name << ", channel " << ch;
      EXPECT_LE(d.widest, 6) << c.name << ", channel " << ch;
      EXPECT_GE(d.widest, 5) << c.name << ": the largest bin's dot";
    }
  }
  // Without parameters the picture is cleared.
  ASSERT_EQ(BZ_DrawNoiseSpectr(nullptr), noErr);
  SInt32 width = 0, height = 0;
  const UInt8 *bitmap = BZ_GetNoiseSpectrBitmap(&width, &height);
  EXPECT_EQ(CountDots(bitmap, width, height, 0, 0, float(width), float(height)).count, 0);

  gBZ.dlgTaskData.rnDlgTaskData = saved;
  BZ_SetEngineHost(nullptr);
  PL_DisposeWindowControls(gWindow);
}

// End to end: an analysis run at the noise automatic-settings stage posts event 2016, whose copy of the run's
// parameters draws the measured spectra (one dot per bin) into the dialog's view.
TEST(RnNoiseSpectrumPicture, AnalysisRunDrawsTheMeasuredSpectrum) {
  if (!bz_test::RequireFfmpeg()) GTEST_SKIP();
  TD_App();
  bz_test::TempDir dir;
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=352x288:r=25 -frames:v 12 -vf "
                                   "noise=alls=12:allf=t -pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy -f mov " +
                                   bz_test::ShellQuote(dir.File("src.mov"))));
  int windowStorage = 0;
  gWindow = reinterpret_cast<WindowRef>(&windowStorage);
  const HIViewID id{'Orl1', kBZ_NoiseSpectrViewID};
  ControlRef view = nullptr;
  ASSERT_EQ(PL_NewControl(gWindow, &id, &view), noErr);
  const HIRect frame{{0, 0}, {300, 240}};
  ASSERT_EQ(HIViewSetFrame(view, &frame), noErr);
  int drawn = 0;
  bz_test::MethodRoutines().drawNoiseSpectr = [&drawn](EventRef event) {
    // The harness plays the dialog without a window: lend it the test's for the drawing.
    const BZ_EngineHost *running = BZ_GetEngineHost();
    BZ_EngineHost host = *running, saved = *running;
    host.getProjDlgWindow = [](void *) { return gWindow; };
    BZ_SetEngineHost(&host);
    const OSStatus err = BZ_HandleDrawNoiseSpectrEvent(event);
    BZ_SetEngineHost(&saved);
    ++drawn;
    return err;
  };
  bz_test::MethodRunOptions o;
  o.kind = bz_test::MethodRunKind::kAnalysis;
  o.autoSettCalc = kBZ_RnAutoSettStage;
  o.statisticsStep = false;
  BZ_CleaninSett cleaning = bz_test::NoCleaning();
  cleaning.noiseRed.apply = true;
  cleaning.noiseRed.selRect = Rect{16, 16, 272, 336};
  o.cleaning = cleaning;
  const bz_test::MethodRunResult r = bz_test::RunMethodProject(dir, o);
  bz_test::MethodRoutines().drawNoiseSpectr = nullptr;
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(1, drawn);
  CGImageRef shown = HIImageViewCopyImage(view);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(CGImageGetWidth(shown), 300u);
  CGImageRelease(shown);
  SInt32 width = 0, height = 0;
  const UInt8 *bitmap = BZ_GetNoiseSpectrBitmap(&width, &height);
  ASSERT_NE(bitmap, nullptr);
  BZ_Rn_Sett sett{};
  const BZ_RnParams p = ParamsOfKind(&sett, true, true);
  CGPoint start[3], title[3];
  SInt32 numHoriz = 0, numVert = 0;
  BZ_LayoutNoiseSpectrPic(&p, frame, start, title, &numHoriz, &numVert);
  const Dots y = CountDots(bitmap, width, height, start[0].x - 4, start[0].y - 4, start[0].x + 60, start[0].y + 60);
  EXPECT_GE(y.count, 32) << "most luma bins carry noise power";
  EXPECT_LE(y.count, 64);
  EXPECT_LE(y.widest, 6);
  PL_DisposeWindowControls(gWindow);
}

}  // namespace
