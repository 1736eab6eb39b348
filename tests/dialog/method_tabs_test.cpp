// The method panes of the project dialog offscreen: the noise pane's frame range, typed and measured noise
// levels (with levels not yet measured), the selection box; the logo pane's mask picture imported through its
// button and dropped by the mode and boxes, the activation of the rectangle and position items, the logo
// position at each anchor, the corrected rectangle; the second movie of averaging with real movies made by
// ffmpeg.
#include "dialog/method_tabs.h"

#include "dialog/open_dialog_fixture.h"

#include "dialog/settings_transfer.h"
#include "general/file_layer.h"
#include "methods/logo_params.h"
#include "methods/logo_stage.h"
#include "outliers/outlier_test_support.h"
#include "platform/core/cf_string.h"
#include "platform/core/standard_alerts.h"
#include "toolkit/dialog_items.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

bool SameRect(const Rect &a, const Rect &b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}
std::string Show(const Rect &r) {
  return "(" + std::to_string(r.top) + ", " + std::to_string(r.left) + ", " + std::to_string(r.bottom) + ", " +
         std::to_string(r.right) + ")";
}

class MethodTabs : public OpenDialogTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(gBZ.dlgTaskData.rlDlgTaskData, nullptr);
    ASSERT_EQ(BZ_RlInitDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData), noErr);
    gBZ.dlgTaskData.rnDlgTaskData = &noise_;
    OpenDialogTest::SetUp();
  }
  void TearDown() override {
    Info().statMovInfo[0] = BZ_StatMovInfo{};  // what a test described without opening a movie
    OpenDialogTest::TearDown();
    BZ_RlDisposeDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData);
  }

  BZ_CleaninSett &Cleaning() { return Info().settings.cleaning; }
  BZ_RlDlgTaskData &Logo() { return *gBZ.dlgTaskData.rlDlgTaskData; }
  void RedrawAll() {
    gBZ.dlgData->state.neededUpdates = 0xFF;
    ASSERT_EQ(BZ_ProjDlgUpdateSettingsInDlg(window_), noErr);
  }
  // A hit on the control after its value was set, as the dialog's event handler passes it on.
  void Hit(SInt32 item) {
    HIViewID id = Item(item);
    ASSERT_EQ(BZ_HandleProjDlgControlHit(window_, &id), noErr) << item;
  }
  void ShowMethod(SInt32 tab) {
    TD_ClickTab(W(kBZ_MainTabItem), 2);
    TD_ClickTab(W(kBZ_MethodTabItem), tab);
  }
  bool Active(SInt32 item) { return IsControlActive(C(item)); }
  void FillTables(float value) {
    for (int c = 0; c < 3; ++c)
      noise_.eqNoiseLevel16H[c] = noise_.eqNoiseLevel16V[c] = noise_.eqNoiseLevel2D[c] = value;
  }
  bool TablesZero() {
    for (int c = 0; c < 3; ++c)
      if (noise_.eqNoiseLevel16H[c] != 0 || noise_.eqNoiseLevel16V[c] != 0 || noise_.eqNoiseLevel2D[c] != 0)
        return false;
    return true;
  }
  std::string EditText(SInt32 item) {
    auto *edit = qobject_cast<QLineEdit *>(W(item));
    return edit != nullptr ? edit->text().toStdString() : std::string("(no edit text)");
  }
  Rect RectItems() {
    Rect r{};
    EXPECT_EQ(GL_GetRectValuesFromDialog(window_, kBZ_DialogItemSignature, 2300, &r), noErr);
    return r;
  }
  PicHandle WellPicture() {
    ControlButtonContentInfo info{};
    EXPECT_EQ(GetImageWellContentInfo(C(kBZ_RlMaskWellItem), &info), noErr);
    return info.u.picture;
  }

  // A mask image of 200 x 100 pixels, white with a black logo over rows 10-39 and columns 20-79; the logo
  // pane in mode 3 imports it through its button.
  std::string MakeMaskImage() {
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 10; y < 40; ++y)
      for (int x = 20; x < 80; ++x) image.setPixel(x, y, qRgb(0, 0, 0));
    const std::string path = dir_.File("logo mask.png");
    EXPECT_TRUE(image.save(QString::fromStdString(path)));
    return path;
  }
  void ImportMask(const std::string &path) {
    Cleaning().removeLogo.mode = kBZ_LogoModeUseMask;
    Cleaning().removeLogo.findMask = true;
    RedrawAll();
    ASSERT_EQ(BZ_HandleRlHit(window_, 2308), noErr);
    ShowMethod(3);
    ASSERT_TRUE(Active(2314));
    TD_AnswerNextFileChooser(path);
    TD_Click(W(2314));
    ASSERT_TRUE(BZ_ProjDlgHasLogoMaskPic());
  }

  BZ_RnDlgTaskData noise_{};
};

// ---- Item ranges ----

TEST(MethodTabRanges, BoundsAreIncluded) {
  const struct {
    Boolean (*test)(SInt32);
    SInt32 first, last;
  } ranges[] = {{BZ_IsAverageHit, 2100, 2149},   {BZ_IsRedNoiseHit, 2150, 2199}, {BZ_IsRnSelRectHit, 2170, 2173},
                {BZ_IsRlHit, 2300, 2349},        {BZ_IsFadeItem, 2329, 2333},    {BZ_IsLogoRectItem, 2300, 2303},
                {BZ_IsCrossLumaHit, 2350, 2399}, {BZ_IsVarBrHit, 2400, 2409},    {BZ_IsOutlierHit, 2500, 2517}};
  for (const auto &r : ranges) {
    SCOPED_TRACE(r.first);
    EXPECT_FALSE(r.test(r.first - 1));
    EXPECT_TRUE(r.test(r.first));
    EXPECT_TRUE(r.test(r.last));
    EXPECT_FALSE(r.test(r.last + 1));
  }
}

// ---- Noise reduction ----

TEST_F(MethodTabs, FrameRangeKeepsTheFirstFrameAtOrBeforeTheLast) {
  ShowMethod(2);
  for (SInt32 item : {2159, 2162}) ASSERT_EQ(GL_SetDialogItemMaxByID(window_, Item(item), 1000), noErr);
  const struct {
    SInt32 start, end, item, wantStart, wantEnd;
  } cases[] = {
      {50, 20, 2159, 50, 50},  // the first frame set above the last pulls the last up
      {50, 20, 2162, 20, 20},  // the last frame set below the first pulls the first down
      {10, 20, 2159, 10, 20},
      {10, 20, 2162, 10, 20},
      {30, 30, 2162, 30, 30},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + ".." + std::to_string(c.end) + " hit " + std::to_string(c.item));
    FillTables(3.0f);
    SetControl32BitValue(C(2159), c.start);
    SetControl32BitValue(C(2162), c.end);
    Hit(c.item);
    EXPECT_EQ(Cleaning().noiseRed.startFrame, c.wantStart);
    EXPECT_EQ(Cleaning().noiseRed.endFrame, c.wantEnd);
    EXPECT_EQ(GetControl32BitValue(C(2159)), c.wantStart) << "the dialog shows the settings";
    EXPECT_EQ(GetControl32BitValue(C(2162)), c.wantEnd);
    EXPECT_TRUE(TablesZero()) << "a new range must be measured again";
  }
}

TEST_F(MethodTabs, ATypedYLevelSetsCbAndCrFromTheMeasuredLevelsOrAsByHand) {
  struct Case {
    const char *what;
    bool automatic, horizontal, vertical;
    float h[3], v[3], d2[3];  // measured levels of 16H, 16V and 2D
    const char *typed;
    const char *cb, *cr;
  } cases[] = {
      {"2D filter in proportion", true, true, true, {9, 9, 9}, {9, 9, 9}, {2, 1, 1}, "4", "2.00", "2.00"},
      {"2D not measured yet", true, true, true, {2, 1, 1}, {2, 1, 1}, {0, 0, 0}, "4", "4.00", "4.00"},
      {"horizontal alone: 16H", true, true, false, {2, 1, 0.5f}, {9, 9, 9}, {9, 9, 9}, "4", "2.00", "1.00"},
      {"vertical alone: 16V", true, false, true, {9, 9, 9}, {4, 3, 2}, {9, 9, 9}, "2", "1.50", "1.00"},
      {"far above the range", true, true, true, {0, 0, 0}, {0, 0, 0}, {0.1f, 40, 40}, "40", "40.00", "40.00"},
      {"no measured chroma", true, true, true, {0, 0, 0}, {0, 0, 0}, {4, 0, 0}, "4", "0.10", "0.10"},
      {"by hand: copied", false, true, true, {9, 9, 9}, {9, 9, 9}, {2, 1, 1}, "4", "4.00", "4.00"},
  };
  ShowMethod(2);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    BZ_Rn_Sett &nr = Cleaning().noiseRed;
    nr.automatic = c.automatic;
    nr.horizontal = c.horizontal;
    nr.vertical = c.vertical;
    for (int i = 0; i < 3; ++i) nr.noiseLevel[i] = 7.0f;
    RedrawAll();
    std::copy(c.h, c.h + 3, noise_.eqNoiseLevel16H);
    std::copy(c.v, c.v + 3, noise_.eqNoiseLevel16V);
    std::copy(c.d2, c.d2 + 3, noise_.eqNoiseLevel2D);
    auto *edit = qobject_cast<QLineEdit *>(W(2153));
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(edit->isEnabled());
    edit->selectAll();
    TD_Type(edit, c.typed);
    TD_Accept(edit);  // Return checks at once
    ASSERT_TRUE(TD_RunUntil([&] { return EditText(2154) == c.cb && EditText(2155) == c.cr; }, 2))
        << EditText(2154) << " " << EditText(2155);
    for (float level : nr.noiseLevel) EXPECT_TRUE(std::isfinite(level) && level >= 0.1f && level <= 40.0f) << level;
    EXPECT_EQ(noise_.eqNoiseLevel2D[0], c.d2[0]) << "a typed level measures nothing anew";
  }
}

TEST_F(MethodTabs, ADirectionChangeWithAutomaticLevelsTakesTheFiltersMeasuredLevels) {
  const float h[3] = {1, 2, 3}, v[3] = {4, 5, 6}, d2[3] = {7, 8, 9};
  std::copy(h, h + 3, noise_.eqNoiseLevel16H);
  std::copy(v, v + 3, noise_.eqNoiseLevel16V);
  std::copy(d2, d2 + 3, noise_.eqNoiseLevel2D);
  BZ_Rn_Sett &nr = Cleaning().noiseRed;
  nr.horizontal = true;
  nr.vertical = false;
  const struct {
    bool automatic;
    SInt32 item;  // the box changed, and its new value
    SInt32 value;
    const float *want;
  } steps[] = {
      {true, 2152, 1, d2},       // vertical on: both directions
      {true, 2151, 0, v},        // horizontal off: vertical alone
      {true, 2151, 1, d2},       // horizontal on again
      {true, 2152, 0, h},        // vertical off: horizontal alone
      {false, 2152, 1, nullptr},  // by hand the levels stay
  };
  ShowMethod(2);
  for (const auto &s : steps) {
    SCOPED_TRACE(s.item);
    nr.automatic = s.automatic;
    for (int i = 0; i < 3; ++i) nr.noiseLevel[i] = 20.0f;
    RedrawAll();
    SetControl32BitValue(C(s.item), s.value);
    Hit(s.item);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(nr.noiseLevel[i], s.want != nullptr ? s.want[i] : 20.0f) << i;
    char shown[16];
    std::snprintf(shown, sizeof shown, "%.2f", s.want != nullptr ? s.want[0] : 20.0f);
    EXPECT_EQ(EditText(2153), shown) << "the dialog shows them";
  }
}

TEST_F(MethodTabs, RangeAndSelectionChangesMakeTheMeasuredLevelsStale) {
  const struct {
    SInt32 item;
    bool stale;
  } cases[] = {{2159, true}, {2162, true}, {2164, true}, {2170, true}, {2173, true},
               {2151, false}, {2152, false}, {2153, false}, {2174, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.item);
    FillTables(2.5f);
    ASSERT_EQ(BZ_HandleNoiseRedHit(window_, c.item), noErr);
    EXPECT_EQ(TablesZero(), c.stale);
  }
}

TEST_F(MethodTabs, TurningTheSelectionBoxOffCancelsTheNoiseSelectionOnly) {
  BZ_Rn_Sett &nr = Cleaning().noiseRed;
  nr.automatic = true;
  nr.useSelRect = true;
  RedrawAll();
  ShowMethod(2);
  BZ_PreviewData &preview = gBZ.dlgData->previewData;
  preview.hasSelectionRect[2] = preview.hasSelectionRect[3] = true;
  SetControl32BitValue(C(2164), 1);
  Hit(2164);
  EXPECT_TRUE(preview.hasSelectionRect[2]) << "the box still on keeps it";
  SetControl32BitValue(C(2164), 0);
  Hit(2164);
  EXPECT_FALSE(nr.useSelRect);
  EXPECT_FALSE(preview.hasSelectionRect[2]);
  EXPECT_TRUE(preview.hasSelectionRect[3]) << "the logo pane's selection is another";
}

// ---- Logo removal ----

TEST_F(MethodTabs, TheLogoRectangleFollowsTheMaskPicturesAnchor) {
  Logo().logoRectInPic = Rect{10, 20, 40, 80};
  Logo().logoPicBounds = Rect{0, 0, 100, 200};
  const struct {
    bool movie;
    SInt32 anchor;
    Rect want;
  } cases[] = {
      {true, 0, {10, 20, 40, 80}},
      {true, 1, {486, 20, 516, 80}},    // 576 - 100 = 476 down
      {true, 2, {486, 540, 516, 600}},  // and 720 - 200 = 520 right
      {true, 3, {10, 540, 40, 600}},
      {false, 2, {10, 20, 40, 80}},     // no movie: where the picture has it
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.anchor) + (c.movie ? " with a 720 x 576 movie" : " without a movie"));
    Info().statMovInfo[0] = BZ_StatMovInfo{};
    if (c.movie) bz_test::DescribeSource(Info().statMovInfo, 0, 576, 720, 100, '2vuy');
    ASSERT_EQ(BZ_SetLogoPosition(window_, c.anchor), noErr);
    EXPECT_TRUE(SameRect(Cleaning().removeLogo.logoRect, c.want)) << Show(Cleaning().removeLogo.logoRect);
    EXPECT_TRUE(SameRect(RectItems(), c.want)) << Show(RectItems());
  }
  EXPECT_EQ(BZ_SetLogoPosition(window_, 4), paramErr);
  EXPECT_EQ(BZ_SetLogoPosition(window_, -1), paramErr);
}

TEST_F(MethodTabs, WithoutAMaskPictureANewAnchorKeepsTheLogoRectangle) {
  // The defaults replay the anchor when it changed: there is no picture whose rectangle could be placed.
  Cleaning().removeLogo.maskAnchor = 2;
  Cleaning().removeLogo.logoRect = Rect{50, 60, 100, 160};
  RedrawAll();
  BZ_RlSett defaults{};
  BZ_MakeDefaultRlSett(&defaults);
  ASSERT_NE(defaults.maskAnchor, 2);
  ASSERT_EQ(BZ_ProjDlgMakeDefaultRlSett(window_), noErr);
  EXPECT_TRUE(SameRect(Cleaning().removeLogo.logoRect, defaults.logoRect)) << Show(Cleaning().removeLogo.logoRect);
  Cleaning().removeLogo.logoRect = Rect{50, 60, 100, 160};
  ASSERT_EQ(BZ_SetLogoPosition(window_, 1), noErr);
  EXPECT_TRUE(SameRect(Cleaning().removeLogo.logoRect, Rect{50, 60, 100, 160}));
}

TEST_F(MethodTabs, AnImportedMaskTakesOverTheRectangleAndThePositionControlsFollowItsSize) {
  EXPECT_TRUE(Active(2300));
  EXPECT_FALSE(Active(2341)) << "no picture to place";
  ImportMask(MakeMaskImage());
  EXPECT_FALSE(Cleaning().removeLogo.findMask) << "an imported mask is not to be found";
  EXPECT_TRUE(SameRect(Cleaning().removeLogo.logoRect, Rect{10, 20, 40, 80})) << Show(Cleaning().removeLogo.logoRect);
  EXPECT_NE(WellPicture(), nullptr);
  for (SInt32 item = 2300; item <= 2307; ++item) EXPECT_FALSE(Active(item)) << item;
  EXPECT_TRUE(Active(2341));
  EXPECT_TRUE(Active(2340));

  const struct {
    SInt32 height, width;  // 0: no movie
    bool positionActive;
  } cases[] = {{100, 200, false}, {576, 720, true}, {200, 100, true}, {0, 0, true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    Info().statMovInfo[0] = BZ_StatMovInfo{};
    if (c.height != 0) bz_test::DescribeSource(Info().statMovInfo, 0, c.height, c.width, 100, '2vuy');
    ASSERT_EQ(BZ_ActivateLogoDimensions(window_), noErr);
    EXPECT_EQ(bool(Active(2341)), c.positionActive);
    EXPECT_EQ(bool(Active(2340)), c.positionActive);
    EXPECT_FALSE(Active(2300));
  }
}

TEST_F(MethodTabs, ModeTransparencyAndFindMaskChangesDropTheMaskPicture) {
  const std::string mask = MakeMaskImage();
  const struct {
    const char *what;
    SInt32 item;
    SInt32 value;  // the control's new value
    SInt32 pane;   // the pane that follows the change, and whether it is then active
    bool paneActive;
  } cases[] = {
      {"find mask on", 2325, 1, 2309, true},
      {"transparent on", 2316, 1, 2317, true},
      {"transparent off", 2316, 0, 2317, false},
      {"mode 2", 2308, 2, 2309, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Cleaning().removeLogo.transparent = c.value == 0;
    ImportMask(mask);
    ASSERT_NE(WellPicture(), nullptr);
    SetControl32BitValue(C(c.item), c.value);
    Hit(c.item);
    EXPECT_FALSE(BZ_ProjDlgHasLogoMaskPic());
    EXPECT_EQ(WellPicture(), nullptr);
    EXPECT_EQ(Logo().isMaskPixel, nullptr);
    EXPECT_FALSE(GL_FSRefValid(&Logo().maskFile));
    EXPECT_TRUE(SameRect(Logo().logoRectInPic, Rect{}));
    EXPECT_TRUE(SameRect(Logo().logoPicBounds, Rect{}));
    EXPECT_EQ(ItemText(kBZ_RlMaskFileTextItem), "Mask name & location");
    EXPECT_FALSE(Active(kBZ_RlExportMaskItem));
    EXPECT_TRUE(Active(2300)) << "the rectangle is typed again";
    EXPECT_FALSE(Active(2341));
    EXPECT_EQ(bool(Active(c.pane)), c.paneActive);
  }
}

TEST_F(MethodTabs, ReinitialisingTheDialogKeepsTheImportedMask) {
  // After each project the dialog is set up again, passing over the mode and boxes unchanged.
  Cleaning().removeLogo.transparent = true;
  ImportMask(MakeMaskImage());
  const PicHandle picture = Logo().logoMaskPic;
  ASSERT_EQ(BZ_ReinitDialog(window_), noErr);
  EXPECT_EQ(Logo().logoMaskPic, picture);
  EXPECT_NE(WellPicture(), nullptr);
  EXPECT_NE(Logo().isMaskPixel, nullptr);
  EXPECT_TRUE(GL_FSRefValid(&Logo().maskFile));
  EXPECT_FALSE(Active(2300));
  EXPECT_TRUE(Active(2309));
  EXPECT_TRUE(Active(2317));
  // Then a real change still drops it.
  SetControl32BitValue(C(2316), 0);
  Hit(2316);
  EXPECT_FALSE(BZ_ProjDlgHasLogoMaskPic());
}

TEST_F(MethodTabs, TheTypedLogoRectangleIsCorrectedAgainstTheMovie) {
  const struct {
    Rect typed;
    SInt32 height, width;  // 0: no movie
    bool valid;
    Rect want;
  } cases[] = {
      {{10, 20, 40, 80}, 0, 0, true, {10, 20, 40, 80}},
      {{0, 20, 40, 80}, 0, 0, false, {2, 20, 40, 80}},
      {{10, 20, 40, 80}, 48, 64, false, {10, 20, 40, 62}},
      {{10, 20, 14, 30}, 576, 720, false, {10, 20, 18, 30}},  // at least 8 high
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Show(c.typed));
    ASSERT_EQ(GL_SetRectValuesInDialog(window_, kBZ_DialogItemSignature, 2300, &c.typed), noErr);
    BZ_StatMovInfo movie{};
    if (c.height != 0) bz_test::DescribeSource(&movie, 0, c.height, c.width, 100, '2vuy');
    Rect r{};
    EXPECT_EQ(bool(BZ_GetCorrectLogoPosEtiText(window_, &movie, &r)), c.valid);
    EXPECT_TRUE(SameRect(r, c.want)) << Show(r);
  }
}

TEST_F(MethodTabs, AnOutlierItemMarksTheOutlierSettingsOnly) {
  gBZ.dlgData->state.neededUpdates = 0;
  EXPECT_EQ(BZ_HandleOuHit(window_, 2511), noErr);
  EXPECT_EQ(gBZ.dlgData->state.neededUpdates, UInt32(kBZ_OutlierTypeFlag));
}

// ---- Real movies: the second movie of averaging, the speck list of a closed movie ----

struct SecondMovies {
  bz_test::TempDir dir;
  std::string first, second, otherSize, truncated;
};
SecondMovies *gSecond = nullptr;

class WithMovies : public MethodTabs {
 protected:
  static void SetUpTestSuite() {
    if (!bz_test::RequireFfmpeg()) return;
    gSecond = new SecondMovies;
    SecondMovies &m = *gSecond;
    auto make = [](const std::string &size, const std::string &path) {
      bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=" + size +
                          ":r=25:d=0.4 -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " + bz_test::ShellQuote(path));
    };
    m.first = m.dir.File("take one.mov");
    m.second = m.dir.File("take two.mov");
    m.otherSize = m.dir.File("small.mov");
    make("64x48", m.first);
    make("64x48", m.second);
    make("32x32", m.otherSize);
    m.truncated = m.dir.File("cut.mov");
    auto bytes = bz_test::ReadWholeFile(m.second);
    bytes.resize(bytes.size() / 3);
    bz_test::WriteWholeFile(m.truncated, bytes);
  }
  static void TearDownTestSuite() {
    delete gSecond;
    gSecond = nullptr;
  }
  void SetUp() override {
    if (gSecond == nullptr) GTEST_SKIP() << "ffmpeg is missing";
    MethodTabs::SetUp();
  }
  void Choose(const std::string &path, SInt32 item) {
    TD_AnswerNextFileChooser(path);
    TD_Click(W(item));
  }
  static std::string LastAlertText() {
    const PL_AlertDescription *alert = PL_GetLastRunAlert();
    char text[1024] = {};
    if (alert != nullptr && alert->message != nullptr)
      CFStringGetCString(alert->message, text, sizeof text, kCFStringEncodingUTF8);
    return text;
  }
  void ExpectNoSecondMovie() {
    EXPECT_FALSE(GL_FSRefValid(&Info().srcFileData[1].fileRef));
    EXPECT_EQ(Info().statMovInfo[1].cType, 0u);
    EXPECT_EQ(Info().dynMovieInfo.sourceMovie[1], nullptr);
    EXPECT_EQ(ItemText(2100), "Movie name & location");
  }
};

TEST_F(WithMovies, IsOpenedCheckedAgainstTheFirstAndDroppedWhenItCannotBeAveraged) {
  Choose(gSecond->first, 2022);
  ASSERT_NE(Info().statMovInfo[0].cType, 0u);
  ShowMethod(1);
  Choose(gSecond->second, 2101);
  EXPECT_NE(Info().dynMovieInfo.sourceMovie[1], nullptr);
  EXPECT_EQ(Info().statMovInfo[1].numFrames, 10);
  EXPECT_NE(ItemText(2100).find("take two.mov"), std::string::npos) << ItemText(2100);

  const struct {
    const char *what;
    std::string path;
  } refused[] = {
      {"another picture size", gSecond->otherSize},
      {"the first movie itself", gSecond->first},
      {"a damaged movie", gSecond->truncated},
  };
  for (const auto &c : refused) {
    SCOPED_TRACE(c.what);
    Choose(gSecond->second, 2101);
    ASSERT_NE(Info().statMovInfo[1].cType, 0u);
    const std::string before = LastAlertText();
    TD_AnswerNextAlert(1);
    Choose(c.path, 2101);
    EXPECT_NE(LastAlertText(), before) << "told";
    EXPECT_FALSE(LastAlertText().empty());
    ExpectNoSecondMovie();
    EXPECT_EQ(Info().statMovInfo[0].numFrames, 10) << "the first movie stays";
  }
  // A cancelled choice closes the second movie.
  Choose(gSecond->second, 2101);
  ASSERT_NE(Info().dynMovieInfo.sourceMovie[1], nullptr);
  Choose("", 2101);
  ExpectNoSecondMovie();
}

// The user's answer to "Save changes to speck list?" and how often it was asked.
Boolean gDiscard = false;
int gAsked = 0;

TEST_F(WithMovies, ClosingAMovieWithChangedSpeckEditsSavesOrDiscardsThemBesideIt) {
  BZ_OuDlgTaskData *const savedOu = gBZ.dlgTaskData.ouDlgTaskData;
  BZ_OuDlgTaskData *ou = nullptr;
  ASSERT_EQ(BZ_OuInitDlgTaskData(&ou), noErr);
  gBZ.dlgTaskData.ouDlgTaskData = ou;
  BZ_EngineHost host = *BZ_GetEngineHost();
  host.askSaveOutlierEdits = [](void *, Boolean *discard) {
    ++gAsked;
    *discard = gDiscard;
    return OSStatus(noErr);
  };
  BZ_SetEngineHost(&host);
  const std::string besideFirst = gSecond->dir.File("take one oel.kbzoel");
  const std::string besideSecond = gSecond->dir.File("take two oel.kbzoel");
  const struct {
    Boolean discard;
    SInt32 frameInFile;  // the list the file then holds: the current one (3) or the one last saved (1)
  } cases[] = {{false, 3}, {true, 1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(int(c.discard));
    Choose(gSecond->first, 2022);
    ASSERT_NE(Info().statMovInfo[0].cType, 0u);
    ou->ouSett = Cleaning().ou;
    bz_test::FillList(&ou->outlierEditList, {{3, {bz_test::Toggle(1)}}});
    bz_test::FillList(&ou->savedOutlierEditList, {{1, {bz_test::Toggle(2)}}});
    ou->outlierEditList.changed = true;
    ou->outlierEditList.saved = false;
    gDiscard = c.discard;
    const int asked = gAsked;
    Choose(gSecond->second, 2022);  // the first movie is closed
    EXPECT_EQ(gAsked, asked + 1);
    const std::vector<uint8_t> bytes = bz_test::ReadWholeFile(besideFirst);
    ASSERT_EQ(bytes.size(), 48u) << "one frame with one edit, beside the closed movie";
    EXPECT_EQ(SInt32(bytes[24] | bytes[25] << 8 | bytes[26] << 16 | bytes[27] << 24), c.frameInFile);
    EXPECT_EQ(ou->outlierEditList.firstFrameOel, nullptr);
    EXPECT_FALSE(ou->outlierEditList.changed);
    EXPECT_TRUE(bz_test::ReadWholeFile(besideSecond).empty()) << "nothing beside the new movie";
    std::remove(besideFirst.c_str());
  }
  BZ_SetEngineHost(nullptr);
  BZ_OuDisposeDlgTaskDataRecord(&ou);
  gBZ.dlgTaskData.ouDlgTaskData = savedOu;
}

}  // namespace
