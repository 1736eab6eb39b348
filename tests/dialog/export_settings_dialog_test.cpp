// The exporters' settings dialogs: what each shows, that OK writes the user's choice into the exporter's
// settings and Cancel leaves them as they were, and the Qt form behind them.
#include "dialog/export_settings_dialog.h"

#include "movie/export_settings.h"
#include "platform/core/memory.h"
#include "platform/movie/components.h"
#include "platform/movie/exporters.h"
#include "platform/ui/settings_form.h"
#include "support/gui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace {

// The form's answer in these tests: the labels it was shown, then the values given or a cancel.
std::vector<std::string> gLabels;
std::vector<SInt32> gAnswer;
bool gCancel = false;
OSStatus AnswerForm(const std::string &, std::vector<PL_FormField> *fields, Boolean *canceled) {
  gLabels.clear();
  for (const PL_FormField &f : *fields) gLabels.push_back(f.label);
  if (gCancel) {
    *canceled = true;
    return noErr;
  }
  for (size_t i = 0; i < fields->size() && i < gAnswer.size(); ++i) (*fields)[i].value = gAnswer[i];
  return noErr;
}

// A fresh exporter's settings (owned: QTDisposeAtomContainer).
QTAtomContainer DefaultSettings(OSType subType) {
  MovieExportComponent exporter = nullptr;
  EXPECT_EQ(OpenADefaultComponent(MovieExportType, subType, &exporter), noErr);
  QTAtomContainer settings = nullptr;
  EXPECT_EQ(MovieExportGetSettingsAsAtomContainer(exporter, &settings), noErr);
  CloseComponent(exporter);
  return settings;
}

std::vector<char> Bytes(Handle h) { return std::vector<char>(*h, *h + GetHandleSize(h)); }

class ExportSettingsDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    PL_SetSettingsFormProc(AnswerForm);
    gCancel = false;
  }
  void TearDown() override { PL_SetSettingsFormProc(nullptr); }
};

TEST_F(ExportSettingsDialog, OkWritesTheChoiceAndCancelKeepsTheSettings) {
  struct Case {
    OSType subType;
    std::vector<std::string> labels;
    std::vector<SInt32> answer;
    std::function<void(QTAtomContainer)> check;
  } cases[] = {
      {'MooV', {"Video codec:"}, {2},
       [](QTAtomContainer s) {
         SCSpatialSettings spatial{};
         Boolean video = false, found = false;
         ASSERT_EQ(QT_GetSpatialSettingsFromExportSettContainer(s, &spatial, &video, &found), noErr);
         EXPECT_EQ(spatial.codecType, CodecType('mjpa'));
       }},
      {kQTFileTypeDVC,
       {"Television system:", "Picture shape:", "Progressive frames", "Sound locked to the frames"},
       {2, 2, 1, 0},
       [](QTAtomContainer s) {
         Boolean pal = true, wide = false, progressive = false, locked = true, found = false;
         QT_GetExportToPAL_FromExportSettContainer(s, &pal, &found);
         QT_Get16x9_FromExportSettContainer(s, &wide, &found);
         QT_GetProgressiveFromExportSettContainer(s, &progressive, &found);
         QT_GetLockedAudioFromExportSettContainer(s, &locked, &found);
         EXPECT_FALSE(pal);
         EXPECT_TRUE(wide);
         EXPECT_TRUE(progressive);
         EXPECT_FALSE(locked);
       }},
      {kQTFileTypeMP4, {"Video codec:", "Bit rate (kbit/s, 0: by quality):"}, {2, 2000},
       [](QTAtomContainer s) {
         SCSpatialSettings spatial{};
         Boolean video = false, found = false;
         ASSERT_EQ(QT_GetSpatialSettingsFromExportSettContainer(s, &spatial, &video, &found), noErr);
         EXPECT_EQ(spatial.codecType, CodecType('mp4v'));
         SInt32 rate = 0;
         ASSERT_EQ(QT_GetDataRateFromExportSettContainer(s, &rate, &found), noErr);
         EXPECT_EQ(rate, 250000);
       }},
  };
  for (const Case &c : cases) {
    QTAtomContainer settings = DefaultSettings(c.subType);
    ASSERT_NE(settings, nullptr);
    const std::vector<char> before = Bytes(settings);
    gCancel = true;
    Boolean canceled = false;
    ASSERT_EQ(BZ_ExportSettingsDialog(c.subType, "Exporter", nullptr, settings, &canceled), noErr);
    EXPECT_TRUE(canceled);
    EXPECT_EQ(Bytes(settings), before);
    // The DV type is offered as well when the settings hold one.
    const size_t shown = std::min(gLabels.size(), c.labels.size());
    EXPECT_EQ(std::vector<std::string>(gLabels.begin(), gLabels.begin() + ptrdiff_t(shown)), c.labels);

    gCancel = false;
    gAnswer = c.answer;
    ASSERT_EQ(BZ_ExportSettingsDialog(c.subType, "Exporter", nullptr, settings, &canceled), noErr);
    EXPECT_FALSE(canceled);
    c.check(settings);
    QTDisposeAtomContainer(settings);
  }
  // An exporter without a dialog counts as cancelled.
  Boolean canceled = false;
  QTAtomContainer any = DefaultSettings('MooV');
  EXPECT_EQ(BZ_ExportSettingsDialog('AIFF', "Sound", nullptr, any, &canceled), noErr);
  EXPECT_TRUE(canceled);
  QTDisposeAtomContainer(any);
}

// The Qt form: the user picks an item and presses OK.
TEST_F(ExportSettingsDialog, TheQtFormReturnsWhatTheUserPicked) {
  TD_App();
  PL_SetSettingsFormProc(nullptr);
  std::vector<PL_FormField> fields{{"System:", kPL_FormChoice, {"PAL", "NTSC"}, 1, 0, 0},
                                   {"Progressive", kPL_FormCheck, {}, 0, 0, 1},
                                   {"Rate:", kPL_FormNumber, {}, 5, 0, 10}};
  QTimer::singleShot(50, [] {
    auto *form = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (form == nullptr || form->objectName() != "PL_SettingsForm") return;
    if (auto *combo = form->findChild<QComboBox *>("PL_FormField1")) combo->setCurrentIndex(1);
    form->accept();
  });
  Boolean canceled = true;
  ASSERT_EQ(PL_RunSettingsForm("Exporter", &fields, &canceled), noErr);
  EXPECT_FALSE(canceled);
  EXPECT_EQ(fields[0].value, 2);
  EXPECT_EQ(fields[1].value, 0);
  EXPECT_EQ(fields[2].value, 5);
}

}  // namespace
