// The progress display: the provider callbacks and images of the frame view and the Dock tile, the one-second
// update of bar, title and rate, the frame view's drawing, and the cancel request.
#include "dialog/progress_display.h"

#include "open_dialog_fixture.h"

#include "engine/compress_stage.h"
#include "engine/runtime/stage_access.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/clock.h"
#include "platform/core/memory.h"
#include "platform/core/multiprocessing.h"
#include "platform/ui/application.h"
#include "platform/ui/images_quartz.h"
#include "platform/ui/view_draw_events.h"
#include "toolkit/dialog_items.h"
#include "toolkit/progress_record.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProgressBar>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

// ---- Provider callbacks ----

// Three rows of eight bytes; each byte names its row (high nibble) and column (low nibble).
std::vector<UInt8> RowBytes() {
  std::vector<UInt8> bytes(24);
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 8; ++col) bytes[size_t(row * 8 + col)] = UInt8(row << 4 | col);
  return bytes;
}

struct GetBytesCase {
  SInt32 mark;
  size_t count;
  std::vector<UInt8> expected;  // also says how many bytes come back
};

TEST(ProgressProviders, GetBytesServesRowsBottomFirstAcrossRowBoundaries) {
  const GetBytesCase cases[] = {
      {0, 8, {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27}},          // the bottom row first
      {4, 8, {0x24, 0x25, 0x26, 0x27, 0x10, 0x11, 0x12, 0x13}},          // rest of a row, then the row above
      {6, 12, {0x26, 0x27, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x00, 0x01}},  // a whole row between
      {20, 10, {0x04, 0x05, 0x06, 0x07}},                                // cut to what is left
      {24, 4, {}},                                                       // nothing left
  };
  std::vector<UInt8> pixels = RowBytes();
  for (const GetBytesCase &c : cases) {
    GL_ProviderInfo info{pixels.data(), 3, 2, 8, 4, 0, 0, c.mark, nullptr};
    std::vector<UInt8> out(c.count, 0xEE);
    const size_t given = BZ_GetBytes(&info, out.data(), c.count);
    SCOPED_TRACE(testing::Message() << "BZ_GetBytes from mark " << c.mark << ", " << c.count << " bytes");
    ASSERT_EQ(given, c.expected.size());
    EXPECT_EQ(std::vector<UInt8>(out.begin(), out.begin() + long(given)), c.expected);
    EXPECT_EQ(info.mark, c.mark + SInt32(given));
  }
}

TEST(ProgressProviders, PlainBytesSkipAndRewind) {
  std::vector<UInt8> pixels = RowBytes();
  GL_ProviderInfo info{pixels.data(), 3, 2, 8, 4, 1, 2, 0, nullptr};
  BZ_Rewind(&info);
  EXPECT_EQ(info.mark, 2 * 8 + 1 * 4) << "BZ_Rewind: offsetV x rowBytes + offsetH x 4";
  BZ_SkipBytes(&info, 2);
  EXPECT_EQ(info.mark, 22);
  UInt8 out[8] = {};
  EXPECT_EQ(BZ_GetCGBytes(&info, out, 8), 2u) << "BZ_GetCGBytes stops at the buffer's end";
  EXPECT_EQ(out[0], 0x26);
  EXPECT_EQ(out[1], 0x27);
  EXPECT_EQ(BZ_GetCGBytes(&info, out, 8), 0u);
}

TEST(ProgressImages, AlphaIsWrittenIntoTheFirstByteOfEachPixelOnly) {
  for (SInt32 value : {255, 128}) {
    std::vector<UInt8> pixels(2 * 3 * 4, 7);
    BZ_SetProgressImageAlpha(pixels.data(), 2, 3, value);
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_EQ(pixels[i], i % 4 == 0 ? value : 7) << i;
  }
}

// ---- The Dock tile's grey overlay ----

class DockTileOverlay : public ::testing::Test {
 protected:
  void SetUp() override {
    // The mask: black on the left half, white on the right half.
    std::vector<UInt8> argb(128 * 128 * 4, 255);
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 64; ++x) std::fill_n(&argb[size_t(y * 128 + x) * 4 + 1], 3, 0);
    record_.iconOverlayMask = PL_CGImageCreateARGB(128, 128, argb.data(), 128 * 4);
    ASSERT_NE(record_.iconOverlayMask, nullptr);
  }
  void TearDown() override {
    CGImageRelease(record_.iconOverlayMask);
    record_.iconOverlayMask = nullptr;
    GL_DisposeProgressData(&record_, true);
  }
  GL_ProgrData record_{};
};

TEST_F(DockTileOverlay, NoiseOutsideTheMaskIsTheSameOnEveryCallAndLeavesTheProcessGeneratorAlone) {
  ASSERT_EQ(BZ_CreateRandomGrayCGImage(&record_), noErr);
  ASSERT_NE(record_.iconOverlayBuffer, nullptr);
  const std::vector<UInt8> first(record_.iconOverlayBuffer, record_.iconOverlayBuffer + 16384);
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      const UInt8 v = first[size_t(y * 128 + x)];
      if (x >= 64) {
        ASSERT_EQ(v, 59) << "under the mask at " << x << "," << y;
      } else {
        ASSERT_GE(v, 60) << x << "," << y;
        ASSERT_LE(v, 100) << x << "," << y;
      }
    }
  // Others draw from the process-wide generator: writing the overlay must not reseed it.
  srandom(77);
  const long expected = random();
  srandom(77);
  ASSERT_EQ(BZ_WriteMaskedRandomGrayCGImage(&record_), noErr);
  EXPECT_EQ(random(), expected);
  EXPECT_EQ(std::vector<UInt8>(record_.iconOverlayBuffer, record_.iconOverlayBuffer + 16384), first);
}

TEST_F(DockTileOverlay, NoiseDissolvesAsTheWorkAdvances) {
  ASSERT_EQ(BZ_CreateRandomGrayCGImage(&record_), noErr);
  const UInt8 *grey = record_.iconOverlayBuffer;
  struct Case {
    float percWorkDone;
    int noiseLeftOpaqueAtMost;  // of the pixels outside the mask
  };
  int sixties = 0;
  for (int i = 0; i < 16384; ++i) sixties += (i % 128) < 64 && grey[i] == 60;
  ASSERT_GT(sixties, 0);
  for (const Case &c : {Case{0.0f, 8192 - sixties}, Case{1.0f, 0}}) {
    const CGFloat range[2] = {58, CGFloat(60 + 40 * c.percWorkDone)};
    CGImageRef masked = CGImageCreateWithMaskingColors(record_.iconOverlay, range);
    ASSERT_NE(masked, nullptr);
    const UInt8 *argb = PL_CGImageGetARGBPixels(masked);
    int opaqueNoise = 0, opaqueMasked = 0;
    for (int i = 0; i < 16384; ++i) {
      const bool opaque = argb[size_t(i) * 4] != 0;
      ((i % 128) < 64 ? opaqueNoise : opaqueMasked) += opaque;
      if (grey[i] == 60) {
        EXPECT_FALSE(opaque) << "a noise pixel of 60 at " << c.percWorkDone;
      }
    }
    EXPECT_EQ(opaqueMasked, 0) << "the masked area is always transparent";
    EXPECT_EQ(opaqueNoise, c.noiseLeftOpaqueAtMost) << "at " << c.percWorkDone;
    CGImageRelease(masked);
  }
}

TEST(ProgressImages, IconFamilyHasItsTileSizeAndMissingFilesAreReported) {
  PL_CFScoped<CFURLRef> url{
      CFBundleCopyResourceURL(CFBundleGetMainBundle(), CFSTR("KBZ Icon family 3.icns"), nullptr, nullptr)};
  ASSERT_NE(url.get(), nullptr);
  CGImageSourceRef source = CGImageSourceCreateWithURL(url.get(), nullptr);
  ASSERT_NE(source, nullptr);
  const size_t index = BZ_GetIndexForPixelSize(source, 128, 128);
  ASSERT_NE(index, size_t(-1));
  size_t w = 0, h = 0;
  EXPECT_EQ(PL_CGImageSourceGetPixelSizeAtIndex(source, index, &w, &h), noErr);
  EXPECT_EQ(w, 128u);
  EXPECT_EQ(BZ_GetIndexForPixelSize(source, 7, 7), size_t(-1));
  CFRelease(source);

  // A bundle without the icon file.
  const std::string saved = PL_MainBundleDirectory();
  bz_test::TempDir empty;
  PL_SetMainBundleDirectory(empty.path().c_str());
  GL_ProgrData record{};
  record.genericRGB = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
  EXPECT_EQ(BZ_CreateDockTileCGImage(&record), fnfErr);
  PL_SetMainBundleDirectory(saved.c_str());
  GL_DisposeProgressData(&record, true);
}

// ---- In the project dialog ----

class ProgressDisplay : public OpenDialogTest {
 protected:
  void SetUp() override {
    OpenDialogTest::SetUp();
    if (HasFatalFailure()) return;
    bz_test::DescribeSource(project_.statMovInfo(), 0, 48, 64, 200, '2vuy');
    project_->dynIO_Info.numStages = 0;
  }
  void TearDown() override {
    project_->state.exec = kBZ_ProjStateReady;
    project_->progress.ptr = nullptr;
    OpenDialogTest::TearDown();
  }
  void ShowTab(SInt32 tab) {
    ASSERT_EQ(GL_SetDialogItemValueByID(window_, Item(kBZ_MainTabItem), tab), noErr);
    ASSERT_EQ(GL_ShowAssEmbeddersByID(window_, Item(kBZ_MainTabItem), 3), noErr);
    QApplication::processEvents();
  }
  static HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }
  // What BZ_ReinitProgress sets up in the application, whose engine host knows the dialog.
  void ReinitProgress() {
    GL_ProgrData &p = project_->progress;
    p.window = window_;
    p.progrBarID = Item(kBZ_ProgressBarItem);
    p.progrBarTitleID = Item(kBZ_ProgressStateTextItem);
    p.rateID = Item(kBZ_ProgressRateTextItem);
    p.count = 0, p.savedCount = 0, p.savedCountForRate = 0, p.prevTime = 0, p.savedEndTime = 0;
    p.shown = true;
  }
};

TEST_F(ProgressDisplay, TimerUpdateShowsCountEndTimeAndRenewsTheRateEveryTenFrames) {
  ASSERT_EQ(BZ_InitProgressDisplay(false), noErr);
  ReinitProgress();
  GL_ProgrData &p = project_->progress;
  p.numParts = 200;
  const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
  p.startTime = now - 20;
  p.switchTime = now - 20;
  p.percWorkDoneAtSwitch = 0;
  std::atomic<SInt32> &written = project_->dynIO_Info.outputInfo[0].numFrames;

  written = 1;  // 0.5 %: too little for an end time
  ASSERT_EQ(BZ_UpdateProgressBar(), noErr);
  EXPECT_NE(ItemText(2083).find("Frames finished 1 of 200"), std::string::npos) << ItemText(2083);
  EXPECT_EQ(ItemText(2083).back(), '?');
  const std::string firstRate = ItemText(2084);

  written = 10;  // 5 %: an end time; the rate's first reference point
  ASSERT_EQ(BZ_UpdateProgressBar(), noErr);
  EXPECT_NE(ItemText(2083).find("10 of 200"), std::string::npos);
  EXPECT_NE(ItemText(2083).back(), '?') << ItemText(2083);
  auto *bar = qobject_cast<QProgressBar *>(W(2082));
  ASSERT_NE(bar, nullptr);
  EXPECT_GT(bar->value(), bar->minimum());

  written = 15;  // fewer than 10 more than the reference point: the rate stays
  ASSERT_EQ(BZ_UpdateProgressBar(), noErr);
  EXPECT_EQ(ItemText(2084), firstRate);
  written = 20;
  ASSERT_EQ(BZ_UpdateProgressBar(), noErr);
  EXPECT_NE(ItemText(2084), firstRate);
  EXPECT_NE(ItemText(2084).find("fr/sec"), std::string::npos);
}

TEST_F(ProgressDisplay, TimerArmsTheNextFrameOnlyAfterTheLastWasDrawn) {
  ReinitProgress();
  GL_ProgrData &p = project_->progress;
  p.show = false;
  p.shown = false;  // a frame is on its way
  ASSERT_EQ(BZ_UpdateProgressBar(), noErr);
  EXPECT_FALSE(p.show);
  p.shown = true;
  ASSERT_EQ(BZ_UpdateProgressBar(), noErr);
  EXPECT_TRUE(p.show);
  EXPECT_FALSE(p.shown);
}

TEST_F(ProgressDisplay, FramesAreReleasedAtOnceWhileTheOutputTabIsNotShown) {
  ASSERT_EQ(BZ_InitProgressDisplay(true), noErr);
  MPEventID event = nullptr;
  ASSERT_EQ(MPCreateEvent(&event), noErr);
  BZ_BuffInfo &stage = project_->dynIO_Info.buffInfo[0];
  stage.type = kBZ_WriteTaskType;
  stage.fileNum = 0;
  stage.event = event;
  std::vector<UInt8> frame(size_t(1) << 16, 0x80);
  project_->progress.ptr = frame.data();
  project_->progress.shown = false;
  ShowTab(1);
  BZ_HandleShowProgressFrame(project_.get());
  MPEventFlags flags = 0;
  EXPECT_EQ(MPWaitForEvent(event, &flags, kDurationImmediate), noErr);
  EXPECT_TRUE(flags & kBZ_DisplayDecompressDoneFlag);
  EXPECT_TRUE(project_->progress.shown);
  stage.type = kBZ_NoTaskType;
  stage.event = nullptr;
  MPDeleteEvent(event);
}

// With the Output tab shown, a frame handed in is decompressed into the view's pixels: its picture lands in
// the letterbox and the stage is released once the source is read.
TEST_F(ProgressDisplay, FramesAreDecompressedIntoTheViewWhileTheOutputTabIsShown) {
  ShowTab(3);
  ASSERT_EQ(BZ_InitProgressDisplay(true), noErr);
  GL_ProgrData &p = project_->progress;
  ASSERT_NE(p.seqID, 0);
  SInt32 bh = 0, bw = 0;
  SInt64 bytes = 0;
  ASSERT_EQ(BZ_GetBufferSize(48, 64, false, &bh, &bw, &bytes), noErr);
  // A white working frame ('2vuy': Cb Y Cr Y).
  std::vector<UInt8> frame(static_cast<size_t>(bytes));
  for (size_t i = 0; i < frame.size(); i += 2) frame[i] = 0x80, frame[i + 1] = 235;
  MPEventID event = nullptr;
  ASSERT_EQ(MPCreateEvent(&event), noErr);
  BZ_BuffInfo &stage = project_->dynIO_Info.buffInfo[0];
  stage.type = kBZ_WriteTaskType;
  stage.fileNum = 0;
  stage.event = event;
  p.ptr = frame.data();
  p.size = SInt32(bytes);
  BZ_HandleShowProgressFrame(project_.get());
  static const EventTypeSpec decompress{kBZ_ProjEventClass, kBZ_DecompressEvent};
  EventRef request = nullptr;
  ASSERT_EQ(ReceiveNextEvent(1, &decompress, kEventDurationNoWait, true, &request), noErr);
  EXPECT_EQ(BZ_HandleDecompressEvent(request), noErr);
  ReleaseEvent(request);
  MPEventFlags flags = 0;
  EXPECT_EQ(MPWaitForEvent(event, &flags, kDurationImmediate), noErr);
  EXPECT_TRUE(flags & kBZ_DisplayDecompressDoneFlag);
  // The centre of the view is white now; the margins beside the letterbox are not drawn by the codec.
  const SInt32 w = p.providerInfo.width, h = p.providerInfo.height;
  const UInt8 *centre = p.smallImageBuffer + size_t((h / 2) * w + w / 2) * 4;
  EXPECT_GT(centre[1], 200);
  EXPECT_GT(centre[3], 200);
  if (p.sideBars.left > 1) {
    EXPECT_EQ(p.smallImageBuffer[size_t((h / 2) * w) * 4 + 1], 0) << "left margin";
  }
  stage.type = kBZ_NoTaskType;
  stage.event = nullptr;
  p.ptr = nullptr;
  MPDeleteEvent(event);
}

// The frame view draws the record's pixels upright with the window's background around them, and the
// Dock tile shows the overlay while the project executes.
TEST_F(ProgressDisplay, FrameViewDrawsTheFrameUprightAndTheDockTileWhileExecuting) {
  ShowTab(3);
  ASSERT_EQ(BZ_InitProgressDisplay(true), noErr);
  GL_ProgrData &p = project_->progress;
  const SInt32 h = p.providerInfo.height, w = p.providerInfo.width;
  ASSERT_GT(h, 4);
  // Top half red, bottom half blue, in A, R, G, B bytes.
  for (SInt32 y = 0; y < h; ++y)
    for (SInt32 x = 0; x < w; ++x) {
      UInt8 *px = p.smallImageBuffer + size_t(y * w + x) * 4;
      px[0] = 255, px[1] = y < h / 2 ? 255 : 0, px[2] = 0, px[3] = y < h / 2 ? 0 : 255;
    }
  std::vector<UInt8> frame(16, 0);
  p.ptr = frame.data();
  p.shown = false;
  p.percWorkDone = 0.5f;
  project_->state.exec = kBZ_ProjStateExecuting;
  ASSERT_EQ(RestoreApplicationDockTileImage(), noErr);
  QWidget *view = W(kBZ_ProgressImageItem);
  const SInt64 before = PL_CountViewDrawEvents();
  const QImage grab = view->grab().toImage();
  EXPECT_GT(PL_CountViewDrawEvents(), before);
  EXPECT_TRUE(p.shown) << "the draw lets the next tick arm the display";
  EXPECT_TRUE(PL_IsApplicationDockTileImageSet());
  const QRgb top = grab.pixel(grab.width() / 2, grab.height() / 2 - 2);
  const QRgb bottom = grab.pixel(grab.width() / 2, grab.height() / 2 + 2);
  EXPECT_GT(qRed(top), 100);
  EXPECT_LT(qBlue(top), 100);
  EXPECT_GT(qBlue(bottom), 100);
  EXPECT_LT(qRed(bottom), 100);

  // Not executing: the frame is drawn, the Dock tile left as it is.
  ASSERT_EQ(RestoreApplicationDockTileImage(), noErr);
  project_->state.exec = kBZ_ProjStateAnalyzingMovie;
  view->grab();
  EXPECT_FALSE(PL_IsApplicationDockTileImageSet());

  // A grab of the Output tab, a quarter done (the running project's grab is progress.png).
  project_->state.exec = kBZ_ProjStateExecuting;
  ReinitProgress();
  p.numParts = 200;
  p.startTime = p.switchTime = CFAbsoluteTimeGetCurrent() - 30;
  project_->dynIO_Info.outputInfo[0].numFrames = 50;
  ASSERT_EQ(BZ_UpdateProgressBar(), noErr);
  p.shown = false;
  QDir().mkpath(QString::fromStdString(BZ_ARTIFACTS_DIR));
  PL_GetWindowWidget(window_)->grab().save(QString::fromStdString(std::string(BZ_ARTIFACTS_DIR) + "/progress_view.png"));
}

TEST_F(ProgressDisplay, MissingDockTileMaskIsFileNotFound) {
  // A bundle of the real resources without the mask.
  bz_test::TempDir bundle;
  const std::string saved = PL_MainBundleDirectory();
  for (const auto &entry : std::filesystem::directory_iterator(saved))
    if (entry.path().filename() != "Dock tile mask.png")
      std::filesystem::create_symlink(entry.path(), std::filesystem::path(bundle.path()) / entry.path().filename());
  PL_SetMainBundleDirectory(bundle.path().c_str());
  GL_DisposeProgressData(&project_->progress, false);
  if (project_->progress.iconOverlayMask != nullptr) CGImageRelease(project_->progress.iconOverlayMask);
  project_->progress.iconOverlayMask = nullptr;
  EXPECT_EQ(BZ_InitProgressDisplay(false), fnfErr);
  PL_SetMainBundleDirectory(saved.c_str());
}

TEST_F(ProgressDisplay, CancelAsksTheMainTaskOrDuringTheExportSetsUserCanceled) {
  ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.inputQueue), noErr);
  project_->dynIO_Info.exportingVideo = true;
  EXPECT_EQ(BZ_StartCancelProject(window_), noErr);
  EXPECT_EQ(project_->state.error, userCanceledErr);
  void *p1 = nullptr, *p2 = nullptr, *p3 = nullptr;
  EXPECT_EQ(MPWaitOnQueue(gBZ.mainTaskData.inputQueue, &p1, &p2, &p3, kDurationImmediate), kMPTimeoutErr)
      << "no message during the export";

  project_->dynIO_Info.exportingVideo = false;
  project_->state.error = noErr;
  EXPECT_EQ(BZ_StartCancelProject(window_), noErr);
  ASSERT_EQ(MPWaitOnQueue(gBZ.mainTaskData.inputQueue, &p1, &p2, &p3, kDurationImmediate), noErr);
  EXPECT_EQ(intptr_t(p1), intptr_t(kBZ_MainThreadTaskType));
  EXPECT_EQ(p2, project_.get());
  EXPECT_EQ(intptr_t(p3), intptr_t(kBZ_CancelProjectMessage));
  EXPECT_EQ(project_->state.error, noErr);
  MP_DeleteQueue(&gBZ.mainTaskData.inputQueue);
}

}  // namespace
