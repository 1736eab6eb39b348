// The vocabulary of the project dialog's tabs and methods: process tabs and method flags, the item ranges of
// each pane, the six apply check boxes, the 27 numeric edit texts with the logo slider's mapping, and the
// read-only text (item 2004) that names the applied methods. Main thread only.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_types.h"
#include "platform/core/controls.h"
#include "platform/core/multilingual_text.h"

// Process tabs: 0 Input, 1 average ... 6 outliers, 7 Output; a method's flag is 1 << its tab.
enum : SInt32 {
  kBZ_InputProcessTab = 0,
  kBZ_AverageProcessTab = 1,
  kBZ_NoiseRedProcessTab = 2,
  kBZ_RlProcessTab = 3,
  kBZ_CrossLumaProcessTab = 4,
  kBZ_VarBrProcessTab = 5,
  kBZ_OutlierProcessTab = 6,
  kBZ_OutputProcessTab = 7,
  kBZ_NumMethods = 6,
  kBZ_NumEtiItems = 27,
  kBZ_AppliedMethodsItem = 2004,
  kBZ_LogoSliderItem = 2320,
};

// The dialog's calculation state (inside the dialog data of gBZ); null while no dialog is open.
BZ_ProjDlgState *BZ_GetDialogStatePtr();
// Reads item 2005: 1 gives tab 0, 3 gives 7, 2 the value of item 2050 (1 to 6); another value leaves
// *processTab alone. The item reads' status.
OSStatus BZ_GetProcessTab(WindowRef window, long *processTab);
// The flags of the applied methods (2 average ... 64 outliers).
UInt32 BZ_GetSelectedProcessTypes(const BZ_CleaninSett *cleaning);
Boolean BZ_AtLeastOneProcessApplied(const BZ_CleaninSett *cleaning);
// The flag of the method whose pane holds the item, 0 for input, output and other items.
UInt32 BZ_ItemHitToProcessType(SInt32 itemHit);
Boolean BZ_IsApplyButton(SInt32 item);
UInt32 BZ_ApplyButtonToProcessType(SInt32 item);
// The bit number n with 1 << n == flag exactly; 0 when there is none (also for 0 and several bits).
SInt32 BZ_TypeFlagToProcessTab(UInt32 flag);
// The lowest set bit as a flag; 0 for 0.
UInt32 BZ_GetFirstSelectedType(UInt32 types);

// The edit-text table: index 1 to 27 <-> item; 0 for anything else.
SInt32 BZ_ProjDlgEtiIndexToItem(SInt32 etiIndex);
SInt32 BZ_ProjDlgItemToEtiIndex(SInt32 item);
Boolean BZ_ItemIsNumericFloat(SInt32 item);
Boolean BZ_ItemIsNumericInt(SInt32 item);
// 2320 for index 14, else 0.
SInt32 BZ_EtiIndexToSliderItem(SInt32 etiIndex);
// For index 14 the slider position 250 × (value − 0.6), truncated toward zero and kept within 0 and
// 4294967295; computed in double so that 1.0 gives 100. Any other index: 4294967295.
UInt32 BZ_GetSliderValue(SInt32 etiIndex, float value);
// True for the indexes of the logo rectangle's items (10 to 13).
Boolean BZ_IsLogoCoordinateETI(SInt32 etiIndex);

// Rebuilds the applied-methods text of item 2004: the applied methods' names joined by " + " in tab order,
// the names of applied methods that cannot run (and their " + ") grey, the others black; "BZ Applied
// cleaning methods" when none is applied. After a hit on an apply box whose method is no longer applied,
// switches to the first method still applied. The first failure (the text may stay writable then).
OSStatus BZ_HandleApplyBoxHit(WindowRef window);
// When a method is applied and the method tab shown is not, shows the first applied method's pane (as a hit
// on item 2050).
OSStatus BZ_SelectFirstAppliedProcessType(WindowRef window);
// The grey range [startOffsets[k], endOffsets[k]) of each method k in tab order; an empty range for methods
// not selected or valid. The text of item 2004 is used to measure and hidden meanwhile.
OSStatus BZ_FindAppliedTypesOffsets(WindowRef window, TXNObject txnObj, UInt32 selectedTypes,
                                    UInt32 validSelectedTypes, TXNOffset startOffsets[kBZ_NumMethods],
                                    TXNOffset endOffsets[kBZ_NumMethods]);
// Appends the text and colours it black when validSelectedType is not 0, grey otherwise.
OSStatus BZ_AddAppliedProcessText(TXNObject txnObj, const char *text, UInt32 validSelectedType);
// Closes the preview when it is open and deactivates the Preview button (2002).
OSStatus BZ_DisablePreview(WindowRef window);
// Activates the item; one that has the keyboard focus gives it on before it is deactivated.
OSStatus BZ_ActivateDialogItemByID(WindowRef window, const HIViewID *controlID, Boolean activate);
