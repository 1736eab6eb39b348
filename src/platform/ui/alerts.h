// Standard alerts through QMessageBox: answers the alert record of the Dialog Manager stand-in
// (standard_alerts.h) with a modal message box, and the alert sound with the desktop's beep. Main thread;
// needs a QApplication.
#pragma once

#include "platform/core/standard_alerts.h"

// Makes QMessageBox the answer to RunStandardAlert and QApplication::beep the alert sound; installs the Qt
// event-loop driver, which keeps posted events and timers going while an alert is up.
void PL_InstallQtAlerts();
