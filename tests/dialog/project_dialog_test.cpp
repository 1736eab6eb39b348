// The project dialog offscreen, driven through its widgets by objectName: tabs and panes, the Start button's
// activation, the logo slider, help buttons, application activation, the applied-methods text, the panes
// made of the window's containers, the dialog's look at its minimum size; and the method vocabulary.
#include "dialog/project_dialog.h"

#include "app/window_lookup.h"
#include "dialog/method_types.h"
#include "dialog/run_control.h"
#include "engine/runtime/engine_host.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/ui/help_book.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/text_views.h"
#include "platform/ui/window_manager_qt.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"
#include "platform/core/window_refcons.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"
#include "toolkit/text_objects.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

std::string Localized(const char *key) {
  PL_CFScoped<CFStringRef> k{CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8)};
  PL_CFScoped<CFStringRef> s{CFBundleCopyLocalizedString(CFBundleGetMainBundle(), k.get(), k.get(), nullptr)};
  char buffer[512] = {};
  CFStringGetCString(s.get(), buffer, sizeof buffer, kCFStringEncodingUTF8);
  return buffer;
}

std::string Text(CFStringRef s) {
  char buffer[2048] = {};
  if (s != nullptr) CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8);
  return buffer;
}

class ProjectDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    TD_App();
    PL_RecordHelpPages(true);
    ASSERT_EQ(CreateNibReference(CFSTR("BZ main"), &gBZ.nibRef), noErr);
    ASSERT_EQ(BZ_OpenProjectDialog(), noErr);
    window_ = BZ_GetProjDlgWindow();
    ASSERT_NE(window_, nullptr);
    widget_ = PL_GetWindowWidget(window_);
    ASSERT_NE(widget_, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget_));
    // The dialog loaded the stored settings; these tests begin with no method applied.
    project_->info.settings.cleaning = BZ_CleaninSett{};
    hits_ = 0;
  }
  void TearDown() override {
    BZ_DisposeDialog();
    DisposeNibReference(gBZ.nibRef);
    gBZ.nibRef = nullptr;
    PL_RecordHelpPages(false);
  }

  QWidget *W(SInt32 n) { return TD_FindControl(window_, n); }
  bool Visible(SInt32 n) { return W(n) != nullptr && W(n)->isVisible(); }
  ControlRef C(SInt32 n) {
    ControlRef c = nullptr;
    const HIViewID id = Item(n);
    EXPECT_EQ(GetControlByID(window_, &id, &c), noErr) << n;
    return c;
  }
  // A source movie that exists (its contents do not matter here) and a result in the same folder.
  void SetSource() {
    const std::string path = dir_.File("source.mov");
    bz_test::WriteText(path, "movie");
    project_->info.srcFileData[0].fileRef = bz_test::RefFor(path);
  }
  void SetResult(const char *name) {
    project_->info.targetFileData[0].parentRef = bz_test::RefFor(dir_.path());
    project_->info.targetFileData[0].fileName = bz_test::Name(name);
  }
  TXNObject AppliedText() { return HITextViewGetTXNObject(C(kBZ_AppliedMethodsItem)); }
  std::string AppliedString() {
    CFStringRef s = nullptr;
    EXPECT_EQ(TXN_GetDataAsCFStr(AppliedText(), kTXNStartOffset, kTXNEndOffset, &s), noErr);
    const std::string text = Text(s);
    if (s != nullptr) CFRelease(s);
    return text;
  }
  // The colour of the text between start and end (continuous there).
  RGBColor ColourOf(TXNOffset start, TXNOffset end) {
    TXNObject txn = AppliedText();
    TXNSetSelection(txn, start, end);
    RGBColor colour{1, 1, 1};
    TXNTypeAttributes attribute{kTXNQDFontColorAttribute, sizeof(RGBColor), {&colour}};
    TXNContinuousFlags flags = 0;
    EXPECT_EQ(TXNGetContinuousTypeAttributes(txn, &flags, 1, &attribute), noErr);
    EXPECT_TRUE(flags & kTXNColorContinuousMask) << start << ".." << end;
    return colour;
  }

  bz_test::TempDir dir_;
  bz_test::CurrentProject project_;
  WindowRef window_ = nullptr;
  QWidget *widget_ = nullptr;
  int hits_ = 0;
};

TEST_F(ProjectDialog, TabsShowTheirPanes) {
  for (int tab = 1; tab <= 3; ++tab) {
    TD_ClickTab(W(kBZ_MainTabItem), tab);
    for (int pane = 1; pane <= 3; ++pane) EXPECT_EQ(Visible(2005 + pane), pane == tab) << tab << " " << pane;
  }
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  for (int tab = 1; tab <= 6; ++tab) {
    TD_ClickTab(W(kBZ_MethodTabItem), tab);
    EXPECT_EQ(GetControl32BitValue(C(kBZ_MethodTabItem)), tab);
    for (int pane = 1; pane <= 6; ++pane) EXPECT_EQ(Visible(2050 + pane), pane == tab) << tab << " " << pane;
  }
}

TEST_F(ProjectDialog, StartNeedsSourceResultAndAMethodThatCanRun) {
  struct Case {
    const char *what;
    bool source;
    const char *result;
    bool average, outliers, noiseMovie, noiseChosen;
    bool active;
  };
  const Case cases[] = {
      {"nothing set", false, nullptr, false, true, false, false, false},
      {"no source", false, "out.mov", false, true, false, false, false},
      {"no result", true, nullptr, false, true, false, false, false},
      {"result name of two characters", true, "ab", false, true, false, false, false},
      {"result name of three characters", true, "abc", false, true, false, false, true},
      {"no method", true, "out.mov", false, false, false, false, false},
      {"averaging without a second movie", true, "out.mov", true, false, false, false, false},
      {"averaging and outliers", true, "out.mov", true, true, false, false, true},
      {"noise movie wanted, not chosen", true, "out.mov", false, true, true, false, false},
      {"noise movie wanted and chosen", true, "out.mov", false, true, true, true, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    BZ_ProjInfo &info = project_->info;
    info = BZ_ProjInfo{};
    if (c.source) SetSource();
    if (c.result) SetResult(c.result);
    info.settings.cleaning.average.apply = c.average;
    info.settings.cleaning.ou.apply = c.outliers;
    info.settings.output.makeNoiseMovie = c.noiseMovie;
    if (c.noiseChosen) {
      info.targetFileData[1].parentRef = bz_test::RefFor(dir_.path());
      info.targetFileData[1].fileName = bz_test::Name("noise.mov");
    }
    ASSERT_EQ(BZ_ProjDlgActivateOKButton(window_), noErr);
    EXPECT_EQ(bool(IsControlActive(C(kBZ_StartButtonItem))), c.active);
    EXPECT_EQ(W(kBZ_StartButtonItem)->isEnabled(), c.active);
  }
}

TEST_F(ProjectDialog, ProcessingTurnsTheBottomButtonsAndSettingsAround) {
  ASSERT_EQ(BZ_ReactivateControls(window_, false), noErr);
  for (SInt32 n : {2006, 2071, 2072, 2073, 2077, 2078, 2088, 2051, 2056}) EXPECT_FALSE(IsControlActive(C(n))) << n;
  EXPECT_TRUE(IsControlActive(C(kBZ_CancelButtonItem)));
  EXPECT_FALSE(IsControlActive(C(kBZ_StartButtonItem)));
  EXPECT_FALSE(IsControlActive(C(kBZ_AppliedMethodsItem)));
  ASSERT_EQ(BZ_ReactivateControls(window_, true), noErr);
  for (SInt32 n : {2006, 2071, 2072, 2078, 2088, 2051, 2056}) EXPECT_TRUE(IsControlActive(C(n))) << n;
  // The noise movie's controls follow their check box, not the processing.
  EXPECT_FALSE(IsControlActive(C(2073)));
  EXPECT_FALSE(IsControlActive(C(kBZ_CancelButtonItem)));
  EXPECT_TRUE(IsControlActive(C(kBZ_AppliedMethodsItem)));
}

TEST_F(ProjectDialog, SliderWritesTheUniformityWhileDragged) {
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  TD_ClickTab(W(kBZ_MethodTabItem), 3);
  auto *slider = qobject_cast<QSlider *>(W(kBZ_LogoSliderItem));
  ASSERT_NE(slider, nullptr);
  const struct {
    int position;
    const char *text;
  } cases[] = {{0, "0.60"}, {100, "1.00"}, {25, "0.70"}};
  for (const auto &c : cases) {
    slider->setSliderDown(true);
    slider->triggerAction(QAbstractSlider::SliderMove);
    slider->setSliderPosition(c.position);
    slider->setSliderDown(false);
    EXPECT_EQ(qobject_cast<QLineEdit *>(W(kBZ_LogoUniformityItem))->text().toStdString(), c.text) << c.position;
  }
  auto *refCon = reinterpret_cast<DI_DlgRefCon *>(GetWRefCon(window_));
  if (refCon->etiHit != nullptr) {
    EXPECT_FALSE(refCon->etiHit[BZ_ProjDlgItemToEtiIndex(kBZ_LogoUniformityItem)].hit);
  }
  EXPECT_EQ(BZ_GetSliderValue(14, 1.0f), 100u);
}

TEST_F(ProjectDialog, HelpButtonsOpenTheirPages) {
  const struct {
    SInt32 item;
    const char *page;
  } pages[] = {{2032, "html/Input.html"},          {2090, "html/Output.html"},
               {2113, "html/Average.html"},        {2177, "html/Reduce Noise.html"},
               {2337, "html/Remove Logo.html"},    {2362, "html/Cross-Luma.html"},
               {2408, "html/Varying brightness.html"}, {2515, "html/Outliers.html"}};
  for (const auto &p : pages) {
    EXPECT_TRUE(BZ_IsDlgHelpButton(p.item));
    ASSERT_EQ(BZ_HandleDlgHelpButtonHit(p.item), noErr) << p.page;
    PL_CFScoped<CFStringRef> last{PL_CopyLastHelpPage()};
    EXPECT_EQ(Text(last.get()), p.page);
    // The page exists in the help book.
    EXPECT_TRUE(QFile::exists(QString::fromStdString(bz_test::SourceDir() + "/resources/help/" + p.page))) << p.page;
  }
  // Another item asks for no page of its own: the book opens at its first page.
  EXPECT_FALSE(BZ_IsDlgHelpButton(2000));
  BZ_HandleDlgHelpButtonHit(2000);
  PL_CFScoped<CFStringRef> last{PL_CopyLastHelpPage()};
  EXPECT_EQ(Text(last.get()), "html/General.html");
  // The user's click on the Input pane's help button takes the same road.
  TD_ClickTab(W(kBZ_MainTabItem), 1);
  TD_Click(W(2032));
  PL_CFScoped<CFStringRef> clicked{PL_CopyLastHelpPage()};
  EXPECT_EQ(Text(clicked.get()), "html/Input.html");
}

TEST_F(ProjectDialog, NoiseSpectrumFadesWhenTheApplicationGoesBack) {
  const Boolean saved = gBZ.switchedIn;
  gBZ.switchedIn = true;
  ASSERT_EQ(BZ_ProjDlgHandleAppActivate(window_), noErr);
  EXPECT_FLOAT_EQ(float(HIImageViewGetAlpha(C(kBZ_NoiseSpectrumItem))), 1.0f);
  gBZ.switchedIn = false;
  ASSERT_EQ(BZ_ProjDlgHandleAppActivate(window_), noErr);
  EXPECT_FLOAT_EQ(float(HIImageViewGetAlpha(C(kBZ_NoiseSpectrumItem))), 0.5f);
  gBZ.switchedIn = saved;
}

TEST_F(ProjectDialog, AppliedMethodsNameWhatRunsInBlackAndWhatCannotInGrey) {
  // Nothing applied: the hint, in black.
  ASSERT_EQ(BZ_HandleApplyBoxHit(window_), noErr);
  EXPECT_EQ(AppliedString(), Localized("BZ Applied cleaning methods"));
  const RGBColor black = ColourOf(kTXNStartOffset, kTXNEndOffset);
  EXPECT_EQ(black.red | black.green | black.blue, 0);

  SetSource();
  project_->info.settings.cleaning.average.apply = true;  // without a second movie: cannot run
  project_->info.settings.cleaning.ou.apply = true;
  ASSERT_EQ(BZ_HandleApplyBoxHit(window_), noErr);
  const std::string average = Localized("BZ Average") + " + ";
  EXPECT_EQ(AppliedString(), average + Localized("BZ Outliers"));
  const RGBColor grey = ColourOf(0, TXNOffset(average.size()));
  EXPECT_EQ(grey.red, 32767);
  EXPECT_EQ(grey.green, 32767);
  EXPECT_EQ(grey.blue, 32767);
  const RGBColor rest = ColourOf(TXNOffset(average.size()), kTXNEndOffset);
  EXPECT_EQ(rest.red | rest.green | rest.blue, 0);
  // The text stays read-only for the user.
  EXPECT_NE(TXNSetData(AppliedText(), kTXNTextData, "x", 1, 0, 0), noErr);
}

TEST_F(ProjectDialog, UncheckingTheShownMethodSwitchesToTheFirstStillApplied) {
  SetSource();
  BZ_CleaninSett &cleaning = project_->info.settings.cleaning;
  cleaning.removeLogo.apply = true;
  cleaning.ou.apply = true;
  ASSERT_EQ(GL_SetDialogItemValueByID(window_, Item(kBZ_MethodTabItem), 6), noErr);
  cleaning.ou.apply = false;  // the user unchecked the outliers' apply box
  gBZ.dlgData->itemHit = 2514;
  ASSERT_EQ(BZ_HandleApplyBoxHit(window_), noErr);
  EXPECT_EQ(GetControl32BitValue(C(kBZ_MethodTabItem)), 3);
  EXPECT_TRUE(Visible(2053) || !Visible(2007));  // the logo pane is the one shown in the Process pane
  cleaning.removeLogo.apply = false;  // and the last one
  gBZ.dlgData->itemHit = 2334;
  ASSERT_EQ(BZ_HandleApplyBoxHit(window_), noErr);
  EXPECT_EQ(GetControl32BitValue(C(kBZ_MethodTabItem)), 3);
}

TEST_F(ProjectDialog, PanesMadeOfTheWindowsContainersKeepTheirLayout) {
  // The crop margins' pane is the container of the window's file, with its grid.
  QWidget *margins = W(2037);
  ASSERT_NE(margins, nullptr);
  EXPECT_NE(margins->layout(), nullptr);
  for (SInt32 n = 2038; n <= 2041; ++n) EXPECT_TRUE(margins->isAncestorOf(W(n))) << n;
  ControlRef pane = C(2037);
  for (SInt32 n = 2038; n <= 2041; ++n) EXPECT_EQ(HIViewGetSuperview(C(n)), pane) << n;
  EXPECT_EQ(HIViewGetSuperview(pane), C(2034));
  // Deactivating the pane takes its four margins with it (with cropping on and its pane active).
  ASSERT_EQ(GL_SetDialogItemValueByID(window_, Item(2033), 1), noErr);
  ASSERT_EQ(GL_ActivateDialogItemByID(window_, Item(2034), true), noErr);
  ASSERT_EQ(GL_ActivateDialogItemByID(window_, Item(2037), false), noErr);
  for (SInt32 n = 2038; n <= 2041; ++n) EXPECT_FALSE(W(n)->isEnabled()) << n;
  ASSERT_EQ(GL_ActivateDialogItemByID(window_, Item(2037), true), noErr);
  for (SInt32 n = 2038; n <= 2041; ++n) EXPECT_TRUE(W(n)->isEnabled()) << n;
  // The noise and logo panes exist as well.
  for (SInt32 n : {2157, 2165, 2309, 2317, 2324, 2330}) EXPECT_NE(W(n), nullptr) << n;
}

// The crop box (2033) turns its whole group on and off, with the project's cropping; inside it the automatic
// detection (2035) leaves the typed margins' pane (2037) to the user only when it is off.
TEST_F(ProjectDialog, TheCropBoxAndTheDetectionBoxActivateTheirPanes) {
  TD_ClickTab(W(kBZ_MainTabItem), 1);
  const BZ_InputSett &input = project_->info.settings.input;
  // The user ticks a group's box in its title, not in its middle.
  auto clickCropBox = [&] {
    auto *box = qobject_cast<QGroupBox *>(W(2033));
    ASSERT_NE(box, nullptr);
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.subControls = QStyle::SC_GroupBoxCheckBox | QStyle::SC_GroupBoxLabel;
    option.text = box->title();
    option.features = QStyleOptionFrame::None;
    const QRect tick = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxCheckBox, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, tick.center());
  };
  auto margins = [&] {
    int enabled = 0;
    for (SInt32 n = 2038; n <= 2041; ++n) enabled += W(n)->isEnabled();
    return enabled;
  };
  if (input.cropping) clickCropBox();
  ASSERT_FALSE(input.cropping);
  EXPECT_FALSE(IsControlActive(C(2034))) << "cropping off";
  EXPECT_EQ(margins(), 0);

  clickCropBox();
  ASSERT_TRUE(input.cropping) << "the click reached the settings";
  EXPECT_TRUE(IsControlActive(C(2034)));
  EXPECT_TRUE(W(2035)->isEnabled());
  for (int click = 0; click < 2; ++click) {
    TD_Click(W(2035));
    SCOPED_TRACE(input.autoDetectBlackBars ? "detected margins" : "typed margins");
    EXPECT_EQ(bool(IsControlActive(C(2037))), !input.autoDetectBlackBars);
    EXPECT_EQ(margins(), input.autoDetectBlackBars ? 0 : 4);
  }

  clickCropBox();
  EXPECT_FALSE(input.cropping);
  EXPECT_FALSE(IsControlActive(C(2034)));
  EXPECT_FALSE(W(2035)->isEnabled());
  EXPECT_EQ(margins(), 0) << "the margins go with their group";
}

TEST_F(ProjectDialog, EditTextHitsAreLeftToTheirChecks) {
  const SInt32 savedItem = gBZ.dlgData->itemHit;
  HIViewID id = Item(2104);
  EXPECT_EQ(BZ_HandleProjDlgControlHit(window_, &id), noErr);
  EXPECT_EQ(gBZ.dlgData->itemHit, 2104);
  EXPECT_NE(gBZ.dlgData->state.neededUpdates & kBZ_AverageTypeFlag, 0u);
  (void)savedItem;
}

// Looks like an application's dialog at its minimum size: no visible control overlaps a visible sibling and
// no label's text is cut; pictures of each pane are kept for people to look at.
TEST_F(ProjectDialog, EveryPaneFitsAtTheMinimumSize) {
  widget_->resize(widget_->minimumSize());
  QApplication::processEvents();
  const QString artifacts = QString::fromStdString(BZ_ARTIFACTS_DIR);
  QDir().mkpath(artifacts);
  auto check = [&](const QString &name) {
    QApplication::processEvents();
    for (QWidget *parent : widget_->findChildren<QWidget *>()) {
      if (!parent->isVisible()) continue;
      QList<QWidget *> kids = parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
      for (int i = 0; i < kids.size(); ++i)
        for (int j = i + 1; j < kids.size(); ++j) {
          QWidget *a = kids[i], *b = kids[j];
          if (!a->isVisible() || !b->isVisible() || a->isWindow() || b->isWindow()) continue;
          if (qobject_cast<QMenu *>(a) || qobject_cast<QMenu *>(b)) continue;
          if (qobject_cast<QTabBar *>(parent)) continue;  // the tab bar's own scroll buttons
          EXPECT_FALSE(a->geometry().intersects(b->geometry()))
              << name.toStdString() << ": " << a->objectName().toStdString() << " overlaps "
              << b->objectName().toStdString();
        }
      auto *label = qobject_cast<QLabel *>(parent);
      if (label != nullptr && !label->wordWrap() && !label->text().isEmpty()) {
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text().remove('&')), label->contentsRect().width() + 1)
            << name.toStdString() << ": " << label->objectName().toStdString() << " is cut";
      }
    }
    widget_->grab().save(artifacts + "/project-dialog-" + name + ".png");
  };
  const char *mainNames[] = {"input", "process", "output"};
  for (int tab = 1; tab <= 3; ++tab) {
    TD_ClickTab(W(kBZ_MainTabItem), tab);
    if (tab != 2) {
      check(mainNames[tab - 1]);
      continue;
    }
    const char *methodNames[] = {"average", "noise", "logo", "crossluma", "varbr", "outliers"};
    for (int method = 1; method <= 6; ++method) {
      TD_ClickTab(W(kBZ_MethodTabItem), method);
      check(QString("method-") + methodNames[method - 1]);
    }
  }
}

// ---- The vocabulary ----

TEST(MethodTypes, TabsFlagsAndTheEditTextTable) {
  EXPECT_EQ(BZ_TypeFlagToProcessTab(0), 0);
  EXPECT_EQ(BZ_TypeFlagToProcessTab(6), 0);  // two bits
  EXPECT_EQ(BZ_TypeFlagToProcessTab(64), 6);
  EXPECT_EQ(BZ_TypeFlagToProcessTab(0x80000000u), 31);
  EXPECT_EQ(BZ_GetFirstSelectedType(0), 0u);
  EXPECT_EQ(BZ_GetFirstSelectedType(2 | 64), 2u);
  EXPECT_EQ(BZ_GetSliderValue(14, 0.5f), 0u);
  EXPECT_EQ(BZ_GetSliderValue(14, 0.6f), 0u);
  EXPECT_EQ(BZ_GetSliderValue(14, 0.8f), 50u);
  EXPECT_EQ(BZ_GetSliderValue(14, 1.0f), 100u);
  EXPECT_EQ(BZ_GetSliderValue(13, 0.8f), 4294967295u);
  EXPECT_EQ(BZ_ProjDlgItemToEtiIndex(2104), 1);
  EXPECT_EQ(BZ_ProjDlgItemToEtiIndex(2511), 27);
  EXPECT_EQ(BZ_ProjDlgItemToEtiIndex(2357), 0);
  EXPECT_EQ(BZ_ProjDlgEtiIndexToItem(0), 0);
  EXPECT_EQ(BZ_ProjDlgEtiIndexToItem(28), 0);
  for (SInt32 i = 1; i <= 27; ++i) EXPECT_EQ(BZ_ProjDlgItemToEtiIndex(BZ_ProjDlgEtiIndexToItem(i)), i);
  EXPECT_FALSE(BZ_ItemIsNumericInt(2356));
  EXPECT_TRUE(BZ_ItemIsNumericFloat(2356));
  EXPECT_TRUE(BZ_ItemIsNumericInt(2038));
  EXPECT_FALSE(BZ_ItemIsNumericFloat(2099));
  EXPECT_EQ(BZ_EtiIndexToSliderItem(14), 2320);
  EXPECT_EQ(BZ_EtiIndexToSliderItem(15), 0);
  const struct {
    SInt32 item;
    UInt32 flag;
  } ranges[] = {{2100, 2}, {2149, 2}, {2150, 4}, {2349, 8}, {2350, 16}, {2409, 32}, {2410, 0},
                {2517, 64}, {2518, 0}, {2030, 0}, {2080, 0}};
  for (const auto &r : ranges) EXPECT_EQ(BZ_ItemHitToProcessType(r.item), r.flag) << r.item;
  for (SInt32 box : {2110, 2174, 2334, 2359, 2407, 2514}) EXPECT_TRUE(BZ_IsApplyButton(box)) << box;
  EXPECT_EQ(BZ_ApplyButtonToProcessType(2407), UInt32(kBZ_VarBrTypeFlag));
  EXPECT_FALSE(BZ_IsApplyButton(2111));
}

TEST(MethodTypes, ValidMethodsNeedTheirMovies) {
  bz_test::CurrentProject project;
  bz_test::TempDir dir;
  BZ_CleaninSett &cleaning = project->info.settings.cleaning;
  cleaning.average.apply = cleaning.noiseRed.apply = cleaning.removeLogo.apply = cleaning.ou.apply = true;
  cleaning.removeLogo.mode = kBZ_LogoModeUseMask;
  UInt32 types = 99;
  ASSERT_EQ(BZ_GetValidSelectedProcessTypes(&cleaning, &types), noErr);
  EXPECT_EQ(types, 0u);  // no source movie
  bz_test::WriteText(dir.File("a.mov"), "a");
  project->info.srcFileData[0].fileRef = bz_test::RefFor(dir.File("a.mov"));
  ASSERT_EQ(BZ_GetValidSelectedProcessTypes(&cleaning, &types), noErr);
  EXPECT_EQ(types, UInt32(kBZ_OutlierTypeFlag));  // no second movie, no filter direction, no mask
  cleaning.noiseRed.vertical = true;
  cleaning.removeLogo.findMask = true;
  project->info.srcFileData[1].fileRef = bz_test::RefFor(dir.File("a.mov"));
  ASSERT_EQ(BZ_GetValidSelectedProcessTypes(&cleaning, &types), noErr);
  EXPECT_EQ(types, UInt32(kBZ_AverageTypeFlag | kBZ_NoiseRedTypeFlag | kBZ_RlTypeFlag | kBZ_OutlierTypeFlag));
}

}  // namespace

namespace {

// The result's name in a folder that may hold a file of that name already.
TEST(ResultFile, AnExistingFileIsReplacedOnlyWithConsentAndNeverTheSource) {
  bz_test::CurrentProject project;
  bz_test::TempDir dir;
  bz_test::WriteText(dir.File("out.mov"), "old result");
  bz_test::WriteText(dir.File("source.mov"), "the user's movie");
  project->info.srcFileData[0].fileRef = bz_test::RefFor(dir.File("source.mov"));
  struct Case {
    const char *what;
    const char *name;
    Boolean mayDelete;
    SInt16 answer;  // 0: no question expected
    bool existsAfter;
    bool renamed;
  };
  const Case cases[] = {
      {"no such file", "new.mov", false, 0, false, false},
      {"the user keeps it", "out.mov", false, 2, true, true},
      {"the user replaces it", "out.mov", false, 1, false, false},
      {"replacing agreed in the chooser", "out.mov", true, 0, false, false},
      {"the source movie itself", "source.mov", true, 0, true, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    bz_test::WriteText(dir.File("out.mov"), "old result");
    BZ_TargetFileData target{};
    target.parentRef = bz_test::RefFor(dir.path());
    target.fileName = bz_test::Name(c.name);
    target.mayDelete = c.mayDelete;
    if (c.answer != 0) TD_AnswerNextAlert(c.answer);
    ASSERT_EQ(BZ_CheckForExistingFile(&target), noErr);
    EXPECT_EQ(bz_test::Exists(dir.File(c.name)), c.existsAfter);
    EXPECT_EQ(bz_test::Utf8(target.fileName) != c.name, c.renamed) << bz_test::Utf8(target.fileName);
  }
  EXPECT_EQ(bz_test::ReadText(dir.File("source.mov")), "the user's movie");
}

TEST(ResultFile, SuggestedNamesFollowTheSource) {
  bz_test::CurrentProject project;
  bz_test::TempDir dir;
  const struct {
    const char *source;
    const char *suggested;
  } cases[] = {{"holiday.mov", "holiday proj.mov"}, {"tape.archive.dv", "tape.archive proj.mov"},
               {"film.longextension", "film.longextension proj.mov"}, {nullptr, "New project.mov"}};
  for (const auto &c : cases) {
    FSRef source{};
    if (c.source != nullptr) {
      bz_test::WriteText(dir.File(c.source), "x");
      source = bz_test::RefFor(dir.File(c.source));
    }
    HFSUniStr255 name{};
    ASSERT_EQ(BZ_SuggestOutName(c.source != nullptr ? &source : nullptr, &name), noErr);
    EXPECT_EQ(bz_test::Utf8(name), c.suggested);
  }
}

}  // namespace
