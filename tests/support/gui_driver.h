// A small driver for tests of real windows (offscreen): controls found by window and item number (their
// objectName), the user's clicks, typing and menu choices through QTest, the next alert and file chooser
// answered through the layer's hooks, and the event loop run until a condition holds.
#pragma once

#include "platform/core/controls.h"

#include <functional>
#include <string>

class QWidget;
class QApplication;

// The application of GUI tests (made at the first call when the test's main has not made one).
QApplication &TD_App();
// The widget of the window's control (signature 'Orl1' unless given); null when there is none.
QWidget *TD_FindControl(WindowRef window, SInt32 item, OSType signature = 'Orl1');
// A left click in the middle of the widget (a tab bar: in the middle of tab index, 1-based).
void TD_Click(QWidget *widget);
void TD_ClickTab(QWidget *tabBar, int tab);
// Keys typed into the widget (it takes the focus first); TD_Accept presses Return there.
void TD_Type(QWidget *widget, const std::string &text);
void TD_Accept(QWidget *widget);
// Chooses item (1-based, separators counted) of the pop-up's menu, or subItem of that item's submenu, as the
// user does: false when there is no such enabled item.
bool TD_ChoosePopupItem(QWidget *popup, int item, int subItem = 0);
// The next standard alert answers with item (1 default, 2 cancel, 3 other).
void TD_AnswerNextAlert(SInt16 item);
// The next file chooser answers with path ("" cancels).
void TD_AnswerNextFileChooser(const std::string &path);
// Runs Qt's and the toolbox's event loops until done() or the timeout (seconds); whether done() held.
bool TD_RunUntil(const std::function<bool()> &done, double timeoutSeconds = 5);
