// The Output pane offscreen: the codec pop-up's vocabulary, the DV rule, the size estimate, a codec chosen
// from the pop-up, the DV exporter chosen from its submenu with its settings dialog, and the result and
// noise choosers' names, replacement and cancel.
#include "dialog/output_tab.h"

#include "dialog/open_dialog_fixture.h"

#include "app/window_lookup.h"
#include "dialog/project_dialog.h"
#include "engine/closing_saving.h"
#include "engine/runtime/working_format.h"
#include "general/file_layer.h"
#include "general/unicode_strings.h"
#include "movie/export_settings.h"
#include "platform/core/cf_string.h"
#include "platform/movie/exporters.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/window_manager_qt.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"
#include "toolkit/dialog_items.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include <string>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

std::string Text(CFStringRef s) {
  char buffer[2048] = {};
  if (s != nullptr) CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8);
  return buffer;
}

TEST(OutputCodecs, PopUpItemsAndCodecTypesBothWays) {
  const struct {
    CodecType cType;
    SInt32 item;
  } toItem[] = {{'dvc ', 1}, {'dvcp', 1}, {'mjpa', 2}, {'2vuy', 3}, {'icod', 4}, {'y420', 5}, {'jpeg', 0}, {0, 0}};
  for (const auto &c : toItem) EXPECT_EQ(BZ_ProjDialogCodecTypeToPopupMenuItem(c.cType), c.item) << c.item;
  const CodecType toCodec[] = {0, 'dvc ', 'mjpa', '2vuy', 'icod', 'y420', 0, 0, 0};
  for (SInt32 item = 0; item <= 8; ++item) EXPECT_EQ(BZ_ProjDialogPopupMenuItemToCodecType(item), toCodec[item]) << item;
}

TEST(OutputCodecs, CroppedSourceRectangleOfAnInterlacedFrame) {
  BZ_InputSett input{};
  input.interlaced = true;
  Rect r{};
  BZ_GetCroppedSourceRect(&input, 576, 720, 0, &r);
  EXPECT_EQ(r.left, 8);
  EXPECT_EQ(r.top, 16);
  EXPECT_EQ(r.right, 728);
  EXPECT_EQ(r.bottom, 592);
}

// The exporter dialog the tests answer: it records what it was shown and accepts NTSC (or cancels).
struct ExportDialogLog {
  int calls = 0;
  OSType subType = 0;
  bool shownPAL = false;
  bool cancel = false;
};
ExportDialogLog gExportDialog;
OSErr AnswerExportDialog(OSType subType, const char *, Movie, QTAtomContainer settings, Boolean *canceled) {
  ++gExportDialog.calls;
  gExportDialog.subType = subType;
  Boolean pal = false, found = false;
  QT_GetExportToPAL_FromExportSettContainer(settings, &pal, &found);
  gExportDialog.shownPAL = pal;
  QT_SetExportToPAL_InExportSettContainer(settings, false, &found);
  *canceled = gExportDialog.cancel;
  return noErr;
}

// The user's save dialog: records the name offered and answers a path ("" cancels).
std::string gSaveAnswer, gOfferedName;
OSStatus AnswerSave(const PL_PutFileRequest *request, PL_PutFileAnswer *answer) {
  gOfferedName = Text(request->fileName);
  if (gSaveAnswer.empty()) return userCanceledErr;
  const size_t slash = gSaveAnswer.find_last_of('/');
  answer->folderPath = gSaveAnswer.substr(0, slash);
  answer->name = gSaveAnswer.substr(slash + 1);
  answer->replacing = bz_test::Exists(gSaveAnswer);  // the dialog asked the user
  return noErr;
}

class OutputTab : public OpenDialogTest {
 protected:
  void SetUp() override {
    OpenDialogTest::SetUp();
    if (HasFatalFailure()) return;
    TD_ClickTab(W(kBZ_MainTabItem), 3);
    PL_SetPutFileProc(AnswerSave);
    PL_SetMovieExportDialogProc(AnswerExportDialog);
    gExportDialog = ExportDialogLog{};
  }
  void TearDown() override {
    PL_SetPutFileProc(nullptr);
    PL_SetMovieExportDialogProc(nullptr);
    OpenDialogTest::TearDown();
  }
  MenuRef CodecMenu() {
    MenuRef menu = nullptr;
    EXPECT_EQ(GL_GetPopupMenuByID(window_, Item(2078), &menu), noErr);
    return menu;
  }
  // A source movie of that size and length (an existing file; its information as described).
  void SetSource(SInt32 height, SInt32 width, SInt32 frames, CodecType cType = '2vuy') {
    const std::string path = dir_.File("source.mov");
    bz_test::WriteText(path, "movie");
    Info().srcFileData[0].fileRef = bz_test::RefFor(path);
    bz_test::DescribeSource(Info().statMovInfo, 0, height, width, frames, cType);
  }
};

TEST_F(OutputTab, ThePopUpListsTheCodecsAndTheExporters) {
  MenuRef menu = CodecMenu();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(CountMenuItems(menu), 7);
  MenuItemAttributes attributes = 0;
  GetMenuItemAttributes(menu, 6, &attributes);
  EXPECT_TRUE(attributes & kMenuItemAttrSeparator);
  EXPECT_FALSE(IsMenuItemEnabled(menu, 4));  // no encoder for it here
  MenuRef exporters = nullptr;
  ASSERT_EQ(BZ_GetVideoExportMenu(window_, &exporters), noErr);
  MenuItemIndex dv = 0;
  EXPECT_EQ(GetIndMenuItemWithCommandID(exporters, kQTFileTypeDVC, 1, nullptr, &dv), noErr);
  EXPECT_GT(dv, 0);
}

TEST_F(OutputTab, DvOnlyForAFullPalOrNtscPicture) {
  struct Case {
    const char *what;
    bool source;
    SInt32 height;
    Boolean cropping, mask;
    bool dvEnabled;
  } cases[] = {
      {"no source counts as PAL", false, 0, false, false, true},
      {"PAL", true, 576, false, false, true},
      {"NTSC", true, 480, false, false, true},
      {"PAL cut by 10 lines top and bottom", true, 576, true, false, false},
      {"PAL with masked margins", true, 576, true, true, true},
      {"another height", true, 540, false, false, false},
  };
  for (const Case &c : cases) {
    Info().srcFileData[0] = BZ_SrcFileData{};
    Info().statMovInfo[0] = BZ_StatMovInfo{};
    if (c.source) SetSource(c.height, 720, 100);
    BZ_InputSett &input = Info().settings.input;
    input.cropping = c.cropping;
    input.maskBlackBars = c.mask;
    input.cropRect = Rect{10, 0, 10, 0};
    Info().settings.output.cType = 'dvc ';
    ASSERT_EQ(BZ_ActivateDV_Compression(window_), noErr) << c.what;
    EXPECT_EQ(bool(IsMenuItemEnabled(CodecMenu(), 1)), c.dvEnabled) << c.what;
    EXPECT_EQ(Info().settings.output.cType, c.dvEnabled ? CodecType('dvc ') : CodecType('mjpa')) << c.what;
  }
}

TEST_F(OutputTab, TheSizeEstimateFollowsTheCodec) {
  EXPECT_EQ(ItemText(2079), "Estimated size: ?");
  struct Case {
    CodecType cType;
    SInt32 height;
    SInt64 bytes;
  } cases[] = {
      {'2vuy', 480, 691200000},
      {'dvc ', 480, SInt64(120000) * 1000},
      {'dvc ', 576, SInt64(144000) * 1000},
      {'y420', 480, SInt64(720) * 480 * 3 / 2 * 1000},
      {'mjpa', 480, SInt64(720) * 480 * 120000 / 345600 * 1000},
  };
  for (const Case &c : cases) {
    SetSource(c.height, 720, 1000);
    Info().settings.output.cType = c.cType;
    ASSERT_EQ(BZ_SetOutputSize(window_), noErr);
    PL_CFScoped<CFStringRef> size{GL_GetByteSizeString(c.bytes)};
    EXPECT_EQ(ItemText(2079), "Estimated size: " + Text(size.get())) << c.bytes;
  }
}

TEST_F(OutputTab, ChoosingACodecEndsTheExport) {
  SetSource(480, 720, 1000);
  Info().settings.output.export_ = true;
  Info().settings.output.cType = '2vuy';
  ASSERT_TRUE(TD_ChoosePopupItem(W(2078), 5));
  EXPECT_FALSE(Info().settings.output.export_);
  EXPECT_EQ(Info().settings.output.cType, CodecType('y420'));
  PL_CFScoped<CFStringRef> size{GL_GetByteSizeString(SInt64(720) * 480 * 3 / 2 * 1000)};
  EXPECT_EQ(ItemText(2079), "Estimated size: " + Text(size.get()));
}

TEST_F(OutputTab, TheDvExporterAsksForItsSettingsAndFitsThemToTheMovieOnce) {
  // A PAL movie is open: the settings the dialog first shows are PAL; the user makes them NTSC.
  const std::string path = dir_.File("pal.mov");
  bz_test::FixtureMovieSpec spec;
  spec.width = 720;
  spec.height = 576;
  spec.frames = 2;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(bz_test::WriteFixtureMovie(path, spec, &written), noErr);
  ASSERT_EQ(bz_test::OpenMovieAtPath(path, &Info().dynMovieInfo.sourceMovie[0]), noErr);
  Info().srcFileData[0].fileRef = bz_test::RefFor(path);
  bz_test::DescribeSource(Info().statMovInfo, 0, 576, 720, 2);
  MenuRef exporters = nullptr;
  ASSERT_EQ(BZ_GetVideoExportMenu(window_, &exporters), noErr);
  MenuItemIndex dv = 0;
  ASSERT_EQ(GetIndMenuItemWithCommandID(exporters, kQTFileTypeDVC, 1, nullptr, &dv), noErr);

  ASSERT_TRUE(TD_ChoosePopupItem(W(2078), kBZ_ExportMenuItem, dv));
  EXPECT_EQ(gExportDialog.calls, 1);
  EXPECT_EQ(gExportDialog.subType, OSType(kQTFileTypeDVC));
  EXPECT_TRUE(gExportDialog.shownPAL);
  const BZ_OutputSett &output = Info().settings.output;
  EXPECT_TRUE(output.export_);
  EXPECT_EQ(output.exportType, OSType(kQTFileTypeDVC));
  EXPECT_EQ(output.cType, CodecType('2vuy'));
  EXPECT_EQ(ItemText(2080), "DV Stream");
  SInt32 item = 0;
  EXPECT_EQ(GL_GetDialogItemValueByID(window_, Item(2078), &item), noErr);
  EXPECT_EQ(item, kBZ_ExportMenuItem);

  // Chosen again for the same movie, the user's NTSC stays.
  ASSERT_TRUE(TD_ChoosePopupItem(W(2078), kBZ_ExportMenuItem, dv));
  EXPECT_EQ(gExportDialog.calls, 2);
  EXPECT_FALSE(gExportDialog.shownPAL);

  // A cancelled dialog keeps what was chosen before and shows no error.
  gExportDialog.cancel = true;
  ASSERT_TRUE(TD_ChoosePopupItem(W(2078), kBZ_ExportMenuItem, dv));
  EXPECT_EQ(gExportDialog.calls, 3);
  EXPECT_TRUE(output.export_);
  EXPECT_EQ(BZ_HandleVideoExportChoice(window_, kQTFileTypeDVC), userCanceledErr);
}

TEST_F(OutputTab, TheResultChooserSuggestsANameAndReplacesOnlyWithConsent) {
  // Without a source the name is the new project's; with one it follows the source.
  gSaveAnswer = "";
  TD_Click(W(2072));
  EXPECT_EQ(gOfferedName, "New project.mov");
  const BZ_TargetFileData &result = Info().targetFileData[0];
  EXPECT_FALSE(GL_FSRefValid(&result.parentRef));
  EXPECT_EQ(result.fileName.length, 0);

  SetSource(480, 720, 10);
  TD_Click(W(2072));
  EXPECT_EQ(gOfferedName, "source proj.mov");
  ASSERT_EQ(BZ_PutNoiseFile(window_), noErr);
  EXPECT_EQ(gOfferedName, "source nm.mov");

  // An existing file the user agreed to replace in the chooser goes at once.
  const std::string taken = dir_.File("taken.mov");
  bz_test::WriteText(taken, "somebody's movie");
  gSaveAnswer = taken;
  TD_Click(W(2072));
  EXPECT_FALSE(bz_test::Exists(taken));
  EXPECT_EQ(bz_test::Utf8(result.fileName), "taken.mov");
  EXPECT_EQ(ItemText(2071).rfind("Result movie: \"taken.mov\" in folder \"", 0), 0u) << ItemText(2071);

  // Choosing the source itself as the result never touches the source: the result gets another name.
  gSaveAnswer = dir_.File("source.mov");
  TD_Click(W(2072));
  EXPECT_TRUE(bz_test::Exists(dir_.File("source.mov")));
  EXPECT_NE(bz_test::Utf8(result.fileName), "source.mov");
}

}  // namespace
