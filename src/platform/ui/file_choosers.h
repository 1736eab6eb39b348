// File choosers through QFileDialog: answers the platform's choose-a-file dialog (navigation_services.h)
// with a Qt dialog that lists only the items the chooser's filter shows. Main thread; needs a
// QApplication.
#pragma once

#include "platform/core/navigation_services.h"

// Makes QFileDialog the answer to PL_RunChooseFileDialog and PL_RunPutFileDialog.
void PL_InstallQtFileChooser();
