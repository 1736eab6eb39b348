// The preview window offscreen over a small movie made by ffmpeg: opening from the Preview button, the frame
// texts and the frame-number field, playing, the difference controls and closing.
#include "dialog/preview_window.h"

#include "dialog/open_dialog_fixture.h"
#include "dialog/run_control.h"
#include "movie/atom_containers.h"
#include "support/movie_fixtures.h"
#include "toolkit/dialog_items.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QTest>

#include <string>

namespace {

using bz_test::ShellQuote;

struct PreviewMovies {
  bz_test::TempDir dir;
  std::string card;
};
PreviewMovies *gPreviewMovies = nullptr;

class PreviewWindow : public OpenDialogTest {
 protected:
  static void SetUpTestSuite() {
    if (!bz_test::RequireFfmpeg()) return;
    gPreviewMovies = new PreviewMovies;
    gPreviewMovies->card = gPreviewMovies->dir.File("card.mov");
    bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=64x48:r=25:d=0.48 -c:v rawvideo -pix_fmt uyvy422 "
                        "-tag:v 2vuy " +
                        ShellQuote(gPreviewMovies->card));
  }
  static void TearDownTestSuite() {
    delete gPreviewMovies;
    gPreviewMovies = nullptr;
  }
  void SetUp() override {
    if (gPreviewMovies == nullptr) GTEST_SKIP() << "ffmpeg is missing";
    OpenDialogTest::SetUp();
    TD_AnswerNextFileChooser(gPreviewMovies->card);
    TD_Click(W(2022));
    ASSERT_EQ(Info().statMovInfo[0].numFrames, 12);
  }
  void TearDown() override {
    if (WindowRef preview = BZ_GetPreviewWindow()) BZ_ClosePreview(preview);
    OpenDialogTest::TearDown();
  }
  WindowRef Open() {
    // Without the stage table of an analysed project the calculation cannot start here; the window opens.
    BZ_ShowPreview(window_);
    WindowRef preview = BZ_GetPreviewWindow();
    EXPECT_NE(preview, nullptr);
    if (preview != nullptr) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(PL_GetWindowWidget(preview)));
    }
    return preview;
  }
  std::string Text(WindowRef w, SInt32 n) {
    auto *label = qobject_cast<QLabel *>(TD_FindControl(w, n));
    return label != nullptr ? label->text().toStdString() : std::string();
  }
};

TEST_F(PreviewWindow, OpensWithItsControlsAndTheFrameTexts) {
  gBZ.previewSize = Point{400, 700};
  WindowRef preview = Open();
  ASSERT_NE(preview, nullptr);
  BZ_PreviewData *data = &gBZ.dlgData->previewData;
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->movieSize.v, 48);
  EXPECT_EQ(data->movieSize.h, 64);
  // 64 x 48 allows at most (2 x 64 + 60) x (2 x 48 + 104): less than the minimum, so the minimum.
  EXPECT_EQ(data->currentBounds.bottom - data->currentBounds.top, 304);
  EXPECT_EQ(data->currentBounds.right - data->currentBounds.left, 600);
  ASSERT_NE(data->mc, nullptr);
  EXPECT_EQ(GL_GetMovieControllerByID(preview, HIViewID{'Orl1', 2014}), data->mc);
  EXPECT_NE(data->buffersRGB, nullptr);
  EXPECT_EQ(Text(preview, 2016), "Frame #1");
  EXPECT_EQ(Text(preview, 2015).rfind("Movie time:\n0h 0m 0s #0", 0), 0u) << Text(preview, 2015);
  EXPECT_FALSE(IsControlActive(C(2002))) << "the Preview button is inactive while the window is open";

  // A go-to-time through the controller (as a scrub does) moves the preview frame.
  const BZ_StatMovInfo &info = Info().statMovInfo[0];
  ASSERT_EQ(noErr, QT_SetMCTimeValue(data->mc, info.timeList[6]));
  EXPECT_EQ(data->frameNum, 6);
  EXPECT_EQ(Text(preview, 2016), "Frame #7");
  EXPECT_EQ(Text(preview, 2015).rfind("Movie time:\n0h 0m 0s #6", 0), 0u) << Text(preview, 2015);

  // The frame-number field: 0, past the end and the current frame change nothing; 3 goes there.
  QWidget *field = TD_FindControl(preview, 2019);
  ASSERT_NE(field, nullptr);
  auto enter = [&](const char *entry) {
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);  // the entry replaces what the field holds
    TD_Type(field, entry);
    TD_Accept(field);
  };
  for (const char *entry : {"0", "13", "7"}) {
    enter(entry);
    EXPECT_EQ(data->frameNum, 6) << entry;
  }
  enter("3");
  EXPECT_EQ(data->frameNum, 2);
  EXPECT_EQ(Text(preview, 2016), "Frame #3");

  const QString artifacts = QString::fromStdString(BZ_ARTIFACTS_DIR);
  QDir().mkpath(artifacts);
  PL_GetWindowWidget(preview)->grab().save(artifacts + "/preview.png");

  BZ_ClosePreview(preview);
  EXPECT_EQ(BZ_GetPreviewWindow(), nullptr);
  EXPECT_EQ(data->buffersRGB, nullptr);
  EXPECT_EQ(data->mc, nullptr);
  EXPECT_EQ(data->movieSize.h, 64) << "the movie size outlives the window";
  EXPECT_EQ(gBZ.previewSize.v, 304);
  EXPECT_EQ(gBZ.previewSize.h, 600);
}

TEST_F(PreviewWindow, PlayingVisitsEveryFrameAndStopsAtTheLast) {
  WindowRef preview = Open();
  ASSERT_NE(preview, nullptr);
  BZ_PreviewData *data = &gBZ.dlgData->previewData;
  ASSERT_NE(data->mc, nullptr);
  ASSERT_EQ(noErr, QT_SetMCPlayRate(data->mc, fixed1));
  ASSERT_NE(data->cb, nullptr) << "playing makes the frame callback";
  std::vector<SInt32> frames;
  const TimeValue step = Info().statMovInfo[0].timeList[1] - Info().statMovInfo[0].timeList[0];
  while (PL_MCAdvanceTime(data->mc, step)) frames.push_back(data->frameNum);
  EXPECT_EQ(frames, (std::vector<SInt32>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 11}));
  EXPECT_FALSE(PL_CallBackIsArmed(static_cast<QTCallBack>(data->cb), nullptr)) << "none after the last frame";
  Fixed rate = -1;
  QT_GetMCPlayRate(data->mc, &rate);
  EXPECT_EQ(rate, 0);
  ASSERT_EQ(noErr, QT_SetMCPlayRate(data->mc, 0));
  EXPECT_EQ(data->cb, nullptr) << "stopping disposes of the callback";
}

TEST_F(PreviewWindow, LumaAndChromaAreNeverBothOff) {
  WindowRef preview = Open();
  ASSERT_NE(preview, nullptr);
  BZ_DiffParams &diff = Info().settings.diffParams;
  auto *luma = qobject_cast<QCheckBox *>(TD_FindControl(preview, 2004));
  auto *chroma = qobject_cast<QCheckBox *>(TD_FindControl(preview, 2005));
  ASSERT_NE(luma, nullptr);
  ASSERT_NE(chroma, nullptr);
  if (!luma->isChecked()) TD_Click(luma);
  if (chroma->isChecked()) TD_Click(chroma);
  ASSERT_TRUE(diff.showLuma);
  TD_Click(luma);
  EXPECT_FALSE(diff.showLuma);
  EXPECT_TRUE(diff.showChroma);
  EXPECT_TRUE(chroma->isChecked());
  TD_Click(chroma);
  EXPECT_FALSE(diff.showChroma);
  EXPECT_TRUE(diff.showLuma);
  EXPECT_TRUE(luma->isChecked());

  // Unity and optimal scale set the text and the slider; manual leaves them to the user.
  diff.optScaleY = 3.25f;
  TD_Click(TD_FindControl(preview, 2008));
  EXPECT_EQ(diff.scaleMode, 0u);
  EXPECT_EQ(Text(preview, 2010), "1.0");
  TD_Click(TD_FindControl(preview, 2007));
  EXPECT_EQ(diff.scaleMode, 2u);
  EXPECT_FLOAT_EQ(diff.scale, 3.25f);
  EXPECT_EQ(Text(preview, 2010), "3.2");
  SInt32 slider = 0;
  GL_GetDialogItemValueByID(preview, HIViewID{'Orl1', 2009}, &slider);
  EXPECT_EQ(slider, 32);
  EXPECT_FALSE(IsControlActive(C(2002)));
  TD_Click(TD_FindControl(preview, 2006));
  EXPECT_EQ(diff.scaleMode, 1u);
}

}  // namespace
