// The GUI tests' driver.
#include "support/gui_driver.h"

#include "platform/core/event_loop.h"
#include "platform/core/navigation_services.h"
#include "platform/core/standard_alerts.h"
#include "platform/ui/nib_controls_qt.h"

#include <QAction>
#include <QCheckBox>
#include <QRadioButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <algorithm>

QApplication &TD_App() {
  static int argc = 1;
  static char name[] = "gui_test";
  static char *argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  return *static_cast<QApplication *>(QApplication::instance());
}

QWidget *TD_FindControl(WindowRef window, SInt32 item, OSType signature) {
  return PL_GetControlWidget(window, HIViewID{signature, item});
}

void TD_Click(QWidget *widget) {
  if (widget == nullptr) return;
  QApplication::processEvents();  // pending layouts place the widget first
  // Check boxes and radio buttons take clicks on their box and text only, at the left of a stretched widget.
  const bool boxed = qobject_cast<QCheckBox *>(widget) != nullptr || qobject_cast<QRadioButton *>(widget) != nullptr;
  const QPoint at = boxed ? QPoint(std::min(8, widget->width() / 2), widget->height() / 2) : widget->rect().center();
  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
}

void TD_ClickTab(QWidget *tabBar, int tab) {
  auto *bar = qobject_cast<QTabBar *>(tabBar);
  if (bar != nullptr) QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(tab - 1).center());
}

void TD_Type(QWidget *widget, const std::string &text) {
  if (widget == nullptr) return;
  widget->setFocus(Qt::MouseFocusReason);
  QTest::keyClicks(widget, QString::fromStdString(text));
}

void TD_Accept(QWidget *widget) {
  if (widget != nullptr) QTest::keyClick(widget, Qt::Key_Return);
}

bool TD_ChoosePopupItem(QWidget *popup, int item, int subItem) {
  auto *button = qobject_cast<QPushButton *>(popup);
  QMenu *menu = button != nullptr ? button->menu() : nullptr;
  if (menu == nullptr) return false;
  emit menu->aboutToShow();  // the menu is built as it opens
  const QList<QAction *> actions = menu->actions();
  if (item < 1 || item > actions.size()) return false;
  QAction *action = actions[item - 1];
  if (subItem > 0) {
    QMenu *sub = action->menu();
    if (sub == nullptr || subItem > sub->actions().size()) return false;
    action = sub->actions()[subItem - 1];
  }
  if (!action->isEnabled() || action->isSeparator()) return false;
  action->trigger();
  return true;
}

void TD_AnswerNextAlert(SInt16 item) { PL_SetNextAlertAnswer(item); }

namespace {
std::string gNextPath;
OSStatus AnswerOnce(const PL_ChooseFileRequest *, std::string *chosenPath) {
  PL_SetChooseFileProc(nullptr);
  if (gNextPath.empty()) return userCanceledErr;
  *chosenPath = gNextPath;
  return noErr;
}
}  // namespace

void TD_AnswerNextFileChooser(const std::string &path) {
  gNextPath = path;
  PL_SetChooseFileProc(AnswerOnce);
}

bool TD_RunUntil(const std::function<bool()> &done, double timeoutSeconds) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > qint64(timeoutSeconds * 1000)) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    PL_DispatchPendingEvents(nullptr);
    QTest::qWait(5);
  }
  return true;
}
