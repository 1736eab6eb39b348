// Standard alerts shown with QMessageBox (offscreen): the user's button, the time-out's button and the
// test hook that answers without a box.
#include "platform/ui/alerts.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

QApplication *App() {
  if (QApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "bz_platform_ui_tests";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  return qobject_cast<QApplication *>(QApplication::instance());
}

class QtAlerts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(App(), nullptr);
    PL_InstallQtAlerts();
    PL_SetNextAlertAnswer(0);
  }
  void TearDown() override {
    PL_SetAlertRunProc(nullptr);
    PL_SetAlertSoundProc(nullptr);
  }

  static DialogRef TwoButtonAlert() {
    AlertStdCFStringAlertParamRec params;
    GetStandardAlertDefaultParams(&params, kStdCFStringAlertVersionOne);
    params.defaultText = CFSTR("Quit");
    params.cancelText = kAlertDefaultCancelText;
    params.cancelButton = kAlertStdAlertCancelButton;
    DialogRef alert = nullptr;
    EXPECT_EQ(CreateStandardAlert(kAlertCautionAlert, CFSTR("Quit now?"), CFSTR("The running project is lost."),
                                  &params, &alert),
              noErr);
    return alert;
  }
};

TEST_F(QtAlerts, TheClickedButtonIsTheAnswer) {
  DialogRef alert = TwoButtonAlert();
  QString shownText, shownInfo;
  QTimer::singleShot(50, [&] {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shownText = box->text();
    shownInfo = box->informativeText();
    EXPECT_EQ(box->defaultButton(), box->findChild<QPushButton *>("alertButton1"));
    auto *cancel = box->findChild<QPushButton *>("alertButton2");
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    cancel->click();
  });
  DialogItemIndex item = 0;
  ASSERT_EQ(RunStandardAlert(alert, nullptr, &item), noErr);
  EXPECT_EQ(item, kAlertStdAlertCancelButton);
  EXPECT_EQ(shownText, "Quit now?");
  EXPECT_EQ(shownInfo, "The running project is lost.");
}

TEST_F(QtAlerts, TheTimeOutPressesItsButtonWhileTheBoxRuns) {
  DialogRef alert = TwoButtonAlert();
  ASSERT_EQ(SetDialogTimeout(alert, kAlertStdAlertOKButton, 0), noErr);
  DialogItemIndex item = 0;
  ASSERT_EQ(RunStandardAlert(alert, nullptr, &item), noErr);
  EXPECT_EQ(item, kAlertStdAlertOKButton);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// A timer of the platform's event loop fires during the modal box (here: it arms the time-out).
void ArmTimeOut(EventLoopTimerRef timer, void *alert) {
  SetDialogTimeout(static_cast<DialogRef>(alert), kAlertStdAlertCancelButton, 0);
  RemoveEventLoopTimer(timer);
}

TEST_F(QtAlerts, PlatformTimersRunWhileTheBoxIsModal) {
  DialogRef alert = TwoButtonAlert();
  EventLoopTimerRef timer = nullptr;
  ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0.05, 0, ArmTimeOut, alert, &timer), noErr);
  DialogItemIndex item = 0;
  ASSERT_EQ(RunStandardAlert(alert, nullptr, &item), noErr);
  EXPECT_EQ(item, kAlertStdAlertCancelButton);
}

TEST_F(QtAlerts, TheNextAnswerHookShowsNoBox) {
  DialogRef alert = TwoButtonAlert();
  bool boxShown = false;
  QTimer::singleShot(0, [&] {
    if (QApplication::activeModalWidget() != nullptr) {
      boxShown = true;
      QApplication::activeModalWidget()->close();
    }
  });
  PL_SetNextAlertAnswer(kAlertStdAlertCancelButton);
  DialogItemIndex item = 0;
  ASSERT_EQ(RunStandardAlert(alert, nullptr, &item), noErr);
  QApplication::processEvents();
  EXPECT_EQ(item, kAlertStdAlertCancelButton);
  EXPECT_FALSE(boxShown);
}

}  // namespace
