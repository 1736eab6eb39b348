// The preview window's layout, pictures and frame times, without a window.
#include "dialog/preview_window.h"

#include "dialog/project_dialog.h"
#include "engine/runtime/project_types.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A preview of a window content of width x height (anywhere on the screen) and a movie of that size.
struct Preview : BZ_PreviewData {
  Preview(SInt16 width, SInt16 height, SInt16 movieWidth, SInt16 movieHeight, Point topLeft = {0, 0})
      : BZ_PreviewData{} {
    Set(*this, width, height, movieWidth, movieHeight, topLeft);
  }
  static void Set(BZ_PreviewData &p, SInt16 width, SInt16 height, SInt16 movieWidth, SInt16 movieHeight,
                  Point topLeft) {
  p.currentBounds = Rect{40, 30, SInt16(40 + height), SInt16(30 + width)};
  p.movieSize = Point{movieHeight, movieWidth};
  p.previewTopLeft = topLeft;
  }
};

::testing::AssertionResult RectIs(const Rect &got, SInt16 top, SInt16 left, SInt16 bottom, SInt16 right) {
  if (got.top == top && got.left == left && got.bottom == bottom && got.right == right)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << got.top << ", " << got.left << ")-(" << got.bottom << ", "
                                       << got.right << "), expected (" << top << ", " << left << ")-(" << bottom
                                       << ", " << right << ")";
}

TEST(DialogPreviewWindow, LayoutPlacesControlAndViewsInQuadrants) {
  struct Case {
    const char *name;
    SInt16 w, h, mw, mh;
    Rect control, before, after, diff;
  };
  const Case cases[] = {
      // Wide box: the picture height is the box's, its width follows the aspect.
      {"PAL in the smallest window", 600, 304, 720, 576,
       {64, 20, 164, 125}, {184, 20, 284, 290}, {184, 310, 284, 580}, {64, 310, 164, 580}},
      // Tall box: the width is the box's.
      {"wide movie in a tall window", 600, 904, 1920, 200,
       {64, 20, 108, 290}, {484, 20, 684, 290}, {484, 310, 684, 580}, {64, 310, 264, 580}},
      // The views are no larger than the movie.
      {"tiny movie", 800, 600, 100, 80,
       {64, 20, 312, 310}, {332, 20, 412, 120}, {332, 410, 412, 510}, {64, 410, 144, 510}},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    const Preview p(k.w, k.h, k.mw, k.mh);
    Rect r{};
    BZ_GetNewMovieControlBounds(&p, &r);
    EXPECT_TRUE(RectIs(r, k.control.top, k.control.left, k.control.bottom, k.control.right));
    const Rect *views[] = {&k.before, &k.after, &k.diff};
    for (SInt32 i = 0; i < 3; ++i) {
      BZ_GetPreviewDestRect(&p, i, &r);
      EXPECT_TRUE(RectIs(r, views[i]->top, views[i]->left, views[i]->bottom, views[i]->right)) << "view " << i;
    }
  }
}

TEST(DialogPreviewWindow, RegionShownStaysInsideTheMovie) {
  struct Case {
    const char *name;
    SInt16 mw, mh;
    Point topLeft, corrected;
    Rect dashed;  // in the movie control, rounded
  };
  const Case cases[] = {
      {"at the origin", 720, 576, {0, 0}, {0, 0}, {0, 0, 15, 39}},
      {"inside, rounding to nearest", 720, 576, {50, 100}, {50, 100}, {7, 15, 22, 54}},
      {"past the end is pulled back", 720, 576, {500, 500}, {476, 450}, {69, 66, 84, 105}},
      {"negative is pulled to 0", 720, 576, {-5, -9}, {0, 0}, {0, 0, 15, 39}},
      {"a movie smaller than the views", 100, 80, {10, 10}, {0, 0}, {0, 0, 105, 284}},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    Preview p(600, 304, k.mw, k.mh, k.topLeft);
    BZ_CorrectPreviewTopLeft(&p);
    EXPECT_EQ(k.corrected.v, p.previewTopLeft.v);
    EXPECT_EQ(k.corrected.h, p.previewTopLeft.h);
    Rect r{};
    BZ_GetSmallPreviewFrame(&p, &r);
    EXPECT_TRUE(RectIs(r, k.dashed.top, k.dashed.left, k.dashed.bottom, k.dashed.right));
  }
}

TEST(DialogPreviewWindow, WindowSizeLimitsFollowTheMovie) {
  struct Case {
    const char *name;
    SInt16 mw, mh;
    Point saved, expected;
  };
  const Case cases[] = {
      {"small movie: only the minimum", 100, 80, {1000, 1000}, {304, 600}},
      {"small movie: nothing saved", 100, 80, {0, 0}, {304, 600}},
      {"one part unsaved gives the minimum", 720, 576, {0, 800}, {304, 600}},
      {"saved size kept", 720, 576, {700, 900}, {700, 900}},
      {"saved size above the maximum", 720, 576, {2000, 2000}, {1256, 1500}},
      {"saved size below the minimum", 720, 576, {100, 100}, {304, 600}},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    const Preview p(600, 304, k.mw, k.mh);
    const Point size = BZ_GetInitialPreviewSize(&p, k.saved);
    EXPECT_EQ(k.expected.v, size.v);
    EXPECT_EQ(k.expected.h, size.h);
  }
}

TEST(DialogPreviewWindow, DoubleMovieSizeDoublesTheRegionShown) {
  Preview p(600, 304, 1440, 1152, {37, 101});
  BZ_InitDashedFrame(&p, Point{576, 720});
  EXPECT_EQ(74, p.previewTopLeft.v);
  EXPECT_EQ(202, p.previewTopLeft.h);
  BZ_InitDashedFrame(&p, Point{0, 720});
  EXPECT_EQ(74, p.previewTopLeft.v) << "an unknown old size scales nothing";
  Preview half(600, 304, 360, 288, {37, 101});
  BZ_InitDashedFrame(&half, Point{576, 720});
  EXPECT_EQ(19, half.previewTopLeft.v) << "18.5 rounds up";
  EXPECT_EQ(51, half.previewTopLeft.h);
}

TEST(DialogPreviewWindow, PicturesSitInOneBlockThatGrowsWithTheFrame) {
  struct Case {
    const char *name;
    SInt32 height, width;
    Boolean interlaced;
    SInt64 size;  // S, one padded '2vuy' frame
    SInt32 rowBytes, mark, bufferHeight;
  };
  const Case cases[] = {
      {"NTSC progressive", 480, 720, false, 753664, 2944, 23584, 496},
      {"PAL progressive", 576, 720, false, 894976, 2944, 23584, 592},
      {"PAL interlaced", 576, 720, true, 894976, 2944, 47136, 608},
      {"HD interlaced (grows)", 1080, 1920, true, 1936 * 1120 * 2, 7744, 16 * 7744 + 32, 1120},
      {"back to small (kept)", 480, 720, false, 753664, 2944, 23584, 496},
  };
  BZ_PreviewData p{};
  SInt64 largest = 0;
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    ASSERT_EQ(noErr, BZ_SetPreviewPictures(&p, k.height, k.width, k.interlaced));
    largest = std::max(largest, 6 * k.size);
    EXPECT_EQ(largest, p.buffersRGBSize);
    for (SInt32 i = 0; i < 3; ++i) {
      const GL_ProviderInfo &info = p.providerInfo[i];
      EXPECT_EQ(p.buffersRGB + i * 2 * k.size, info.ptr);
      EXPECT_EQ(k.rowBytes, info.rowBytes);
      EXPECT_EQ(k.mark, info.mark);
      EXPECT_EQ(k.bufferHeight, info.height);
      EXPECT_EQ(8, info.offsetH);
      EXPECT_EQ(4, info.bytesPerPixel);
      EXPECT_LE(SInt64(info.height) * info.rowBytes, 2 * k.size);
    }
    // The difference picture's last row ends inside the block (ASan catches a block that did not grow).
    UInt8 *last = p.providerInfo[2].ptr + SInt64(p.providerInfo[2].height) * p.providerInfo[2].rowBytes - 1;
    *last = 0xAB;
    EXPECT_LE(last, p.buffersRGB + p.buffersRGBSize - 1);
  }
  EXPECT_EQ(paramErr, BZ_SetPreviewPictures(&p, 0, 720, false));
  EXPECT_EQ(paramErr, BZ_SetPreviewPictures(nullptr, 576, 720, false));
  BZ_DisposePreviewPictures(&p);
  EXPECT_EQ(nullptr, p.buffersRGB);
  EXPECT_EQ(0, p.buffersRGBSize);
}

TEST(DialogPreviewWindow, StartTimeStaysInsideShortMovies) {
  struct Case {
    const char *name;
    SInt32 frames;
    Boolean noise;
    TimeValue time, expected;
  };
  const Case cases[] = {
      {"first frame with noise reduction moves to frame 1", 10, true, 0, 100},
      {"last frame (-1) with noise reduction moves to n - 2", 10, true, -1, 800},
      {"the duration with noise reduction moves to n - 2", 10, true, 1000, 800},
      {"a middle frame stays", 10, true, 450, 450},
      {"-1 without noise reduction is the last frame", 10, false, -1, 900},
      {"the duration without noise reduction is the last frame", 10, false, 1000, 900},
      {"one frame with noise reduction", 1, true, -1, 0},
      {"one frame at its duration", 1, true, 100, 0},
      {"two frames with noise reduction keep both", 2, true, 0, 0},
      {"two frames, the last", 2, true, -1, 100},
      {"three frames with noise reduction: the middle", 3, true, -1, 100},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<TimeValue> times;
    for (SInt32 i = 0; i < k.frames; ++i) times.push_back(100 * i);
    BZ_StatMovInfo info{};
    info.numFrames = k.frames;
    info.timeList = times.data();
    EXPECT_EQ(k.expected, BZ_PreviewStartTime(&info, k.frames, k.noise, k.time, 100 * k.frames));
  }
}

// Dragging the dashed frame moves the region shown by the movie pixels under the mouse's move, and redraws
// the views at most every 50 ms (times given, so no clock is involved).
TEST(DialogPreviewWindow, DraggingMovesTheRegionAndRedrawsAtMostEvery50ms) {
  auto *dlgData = new BZ_ProjDlgData{};
  BZ_ProjDlgData *saved = gBZ.dlgData;
  gBZ.dlgData = dlgData;
  BZ_PreviewData &p = dlgData->previewData;
  Preview::Set(p, 600, 304, 720, 576, Point{0, 0});  // the movie control's picture: 105 x 84
  struct Step {
    SInt32 dx, dy;
    UInt64 now;
    bool redraw;
    Point topLeft;
  };
  const Step steps[] = {
      {7, 7, 1000000, true, {48, 48}},      // 7 x 576 / 84 = 48, 7 x 720 / 105 = 48
      {1, 1, 1020000, false, {54, 54}},     // 20 ms later: moved, not redrawn
      {1, 0, 1050000, false, {54, 60}},     // exactly 50 ms: still not
      {0, 1, 1050001, true, {60, 60}},      // past 50 ms
      {1000, 1000, 1200000, true, {476, 450}},  // held at the movie's end
      {-2000, -2000, 1200001, false, {0, 0}},   // and at its start
  };
  for (const Step &s : steps) {
    SCOPED_TRACE(testing::Message() << "move (" << s.dx << ", " << s.dy << ") at " << s.now);
    EXPECT_EQ(s.redraw, bool(BZ_PreviewHandleMouseDragged(nullptr, s.dx, s.dy, s.now)));
    EXPECT_EQ(s.topLeft.v, p.previewTopLeft.v);
    EXPECT_EQ(s.topLeft.h, p.previewTopLeft.h);
    EXPECT_TRUE(p.dragging);
  }
  BZ_PreviewHandleMouseUp(nullptr);
  EXPECT_FALSE(p.dragging);
  gBZ.dlgData = saved;
  delete dlgData;
}

}  // namespace
