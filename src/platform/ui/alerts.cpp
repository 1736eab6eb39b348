// Standard alerts through QMessageBox.
#include "platform/ui/alerts.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/application.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <vector>

namespace {

QString TextOf(CFStringRef string) {
  if (string == nullptr) return QString();
  CFIndex length = CFStringGetLength(string);
  std::vector<UniChar> chars(static_cast<size_t>(length));
  CFStringGetCharacters(string, CFRangeMake(0, length), chars.data());
  return QString::fromUtf16(reinterpret_cast<const char16_t *>(chars.data()), length);
}

QMessageBox::Icon IconOf(AlertType type) {
  switch (type) {
    case kAlertStopAlert: return QMessageBox::Critical;
    case kAlertNoteAlert: return QMessageBox::Information;
    case kAlertCautionAlert: return QMessageBox::Warning;
    default: return QMessageBox::NoIcon;
  }
}

// Roles keep the platform's button order: the default (OK) button accepts, cancel rejects, other is
// destructive.
QMessageBox::ButtonRole RoleOf(int item) {
  switch (item) {
    case kAlertStdAlertOKButton: return QMessageBox::AcceptRole;
    case kAlertStdAlertCancelButton: return QMessageBox::RejectRole;
    default: return QMessageBox::DestructiveRole;
  }
}

OSStatus RunWithQt(DialogRef alert, DialogItemIndex *itemHit) {
  if (QApplication::instance() == nullptr) return unimpErr;
  PL_AlertDescription d{};
  OSStatus err = PL_GetAlertDescription(alert, &d);
  if (err != noErr) return err;

  QMessageBox box(IconOf(d.type), QString(), TextOf(d.message));
  if (d.explanation != nullptr) box.setInformativeText(TextOf(d.explanation));
  QPushButton *buttons[3] = {};
  for (int item = 1; item <= 3; ++item) {
    if (d.buttonText[item - 1] == nullptr) continue;
    buttons[item - 1] = box.addButton(TextOf(d.buttonText[item - 1]), RoleOf(item));
    buttons[item - 1]->setObjectName(QStringLiteral("alertButton%1").arg(item));
  }
  if (d.defaultButton >= 1 && d.defaultButton <= 3 && buttons[d.defaultButton - 1] != nullptr)
    box.setDefaultButton(buttons[d.defaultButton - 1]);
  if (d.cancelButton >= 1 && d.cancelButton <= 3 && buttons[d.cancelButton - 1] != nullptr)
    box.setEscapeButton(buttons[d.cancelButton - 1]);

  // The modal loop is Qt's; the event-loop driver keeps the platform's events and timers going in it. Here
  // only the time-out's button is pressed when it is due.
  QTimer timeOut;
  QObject::connect(&timeOut, &QTimer::timeout, &box, [&] {
    DialogItemIndex button = 0;
    if (PL_AlertTimeoutDue(alert, &button) && button >= 1 && button <= 3 && buttons[button - 1] != nullptr)
      buttons[button - 1]->click();
  });
  timeOut.start(100);
  box.exec();
  timeOut.stop();

  QAbstractButton *clicked = box.clickedButton();
  DialogItemIndex item = 0;
  for (int i = 0; i < 3; ++i)
    if (buttons[i] != nullptr && clicked == buttons[i]) item = DialogItemIndex(i + 1);
  // Closing the box otherwise (window manager) counts as its escape button, else its default one.
  if (item == 0) item = d.cancelButton != 0 ? d.cancelButton : DialogItemIndex(kAlertStdAlertOKButton);
  *itemHit = item;
  return noErr;
}

void Beep() { QApplication::beep(); }

}  // namespace

void PL_InstallQtAlerts() {
  PL_InstallQtEventLoopDriver();
  PL_SetAlertRunProc(RunWithQt);
  PL_SetAlertSoundProc(Beep);
}
