// The project dialog's items that the engine reaches by number: view identifiers of signature
// kBZ_DialogItemSignature. The items that show the stages' measured values are one table of their own
// (BZ_GetDialogItemForCalcValue, analysis_tasks.h).
#pragma once

#include "platform/core/mac_types.h"

// The signature of the view identifiers of the application's dialog items.
constexpr OSType kBZ_DialogItemSignature = 'Orl1';

enum : SInt16 {
  kBZ_PreviewButtonItem = 2002,
  kBZ_BlackBarsItem = 2038,  // the first of the crop rectangle's four items (top, left, bottom, right)
  kBZ_ProgressImageItem = 2081,
  kBZ_ProgressBarItem = 2082,
  kBZ_ProgressStateTextItem = 2083,
  kBZ_ProgressRateTextItem = 2084,
};
