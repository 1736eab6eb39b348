// Dialog items of the user-interface toolkit addressed by view identifier: each call finds the view under
// the window's root (HIViewFindByID) and returns that error unchanged when it is missing, else does its
// one action. Out-parameters are written only on success. Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/quickdraw_geometry.h"

// The menu of the pop-up button (borrowed: the control owns it).
OSStatus GL_GetPopupMenuByID(WindowRef window, HIViewID viewID, MenuRef *menuRef);
// The 32-bit maximum of the control.
OSStatus GL_SetDialogItemMaxByID(WindowRef window, HIViewID viewID, SInt32 value);
OSStatus GL_GetDialogItemMaxByID(WindowRef window, HIViewID viewID, SInt32 *value);

// ---- Values and ranges (32-bit control values) ----
OSStatus GL_SetDialogItemValueByID(WindowRef window, HIViewID viewID, SInt32 value);
OSStatus GL_GetDialogItemValueByID(WindowRef window, HIViewID viewID, SInt32 *value);
OSStatus GL_SetDialogItemMinByID(WindowRef window, HIViewID viewID, SInt32 value);
OSStatus GL_GetDialogItemMinByID(WindowRef window, HIViewID viewID, SInt32 *value);
// value = (max - min) x percentage + min, in double, truncated toward zero.
OSStatus GL_SetDialogItemValueByPercByID(WindowRef window, HIViewID viewID, double percentage);
// (value - min) / (max - min) in double (infinite or not a number when max equals min).
OSStatus GL_GetDialogItemValueByPercByID(WindowRef window, HIViewID viewID, double *percentage);
// The value's low byte / low 16 bits.
OSStatus GL_GetDialogItemValueB_ByID(WindowRef window, HIViewID viewID, Boolean *value);
OSStatus GL_GetDialogItemValueS_ByID(WindowRef window, HIViewID viewID, SInt16 *value);
// Sets the item's value, then writes it as text ("%ld") into item id + 1; stops at the first failure.
OSStatus GL_SetDialogItemComboValueByID(WindowRef window, HIViewID viewID, SInt32 value);

// ---- Text (control data 'cfst'); copies are owned (CFRelease) ----
OSStatus GL_SetControlText(HIViewRef view, CFStringRef text);
OSStatus GL_CopyControlText(HIViewRef view, CFStringRef *text);
OSStatus GL_SetDialogItemTextByID(WindowRef window, HIViewID viewID, CFStringRef text);
OSStatus GL_CopyDialogItemTextByID(WindowRef window, HIViewID viewID, CFStringRef *text);
// "%ld"
OSStatus GL_SetDialogItemTextIntByID(WindowRef window, HIViewID viewID, SInt32 value);
// "%.2f"
OSStatus GL_SetDialogItemTextFloatByID(WindowRef window, HIViewID viewID, double value);
// The value with `precision` decimals (0 to 99; paramErr otherwise, so no malformed format is built).
OSStatus GL_SetDialogItemTextFloatPreciseByID(WindowRef window, HIViewID viewID, float value, long precision);
// Decimals by relevant digits: precision - 2, one more for each power of ten that |value| stays below,
// from 10 down, up to 8 (at least 1); the sign is kept. Precision 3 writes 12.5 with 1 decimal, 3.25 with
// 2, 0.5 with 3 and 0 with 8.
OSStatus GL_SetDialogItemTextFloatRelevantDigitsByID(WindowRef window, HIViewID viewID, float value,
                                                     SInt32 precision);
// CFStringGetIntValue / CFStringGetDoubleValue of the text (SInt16: its low 16 bits).
OSStatus GL_GetDialogItemTextIntByID(WindowRef window, HIViewID viewID, SInt32 *value);
OSStatus GL_GetDialogItemTextSInt16ByID(WindowRef window, HIViewID viewID, SInt16 *value);
OSStatus GL_GetDialogItemTextFloat64ByID(WindowRef window, HIViewID viewID, double *value);
OSStatus GL_GetDialogItemTextFloat32ByID(WindowRef window, HIViewID viewID, float *value);
// The text becomes its leading integer ("%ld"); a text without one becomes "0".
OSStatus GL_CheckDialogItemTextIntByID(WindowRef window, HIViewID viewID);
// Whether the selection covers the whole text (an empty text with an empty selection does).
OSStatus GL_GetDialogItemAllTextSelectedByID(WindowRef window, HIViewID viewID, Boolean *allSelected);
OSStatus GL_SetDialogItemAllTextSelectedByID(WindowRef window, HIViewID viewID);
// Sets the text and selects all of it again when all was selected before.
OSStatus GL_SetDialogItemTextPreservingAllSelectedByID(WindowRef window, HIViewID viewID, CFStringRef text);
OSStatus GL_SetDialogItemTitleByID(WindowRef window, HIViewID viewID, CFStringRef title);
OSStatus GL_CopyDialogItemTitleByID(WindowRef window, HIViewID viewID, CFStringRef *title);

// ---- State, drawing ----
OSStatus GL_ActivateDialogItemByID(WindowRef window, HIViewID viewID, Boolean activate);
OSStatus GL_IsDialogItemActiveByID(WindowRef window, HIViewID viewID, Boolean *active);
OSStatus GL_ShowDialogItemByID(WindowRef window, HIViewID viewID, Boolean show);
OSStatus GL_IsDialogItemVisibleByID(WindowRef window, HIViewID viewID, Boolean *visible);
OSStatus GL_SetNeedsDisplayByID(WindowRef window, HIViewID viewID, Boolean needsDisplay);
// Draws the item at once.
OSStatus GL_RenderDialogItemByID(WindowRef window, HIViewID viewID);
OSStatus GL_Draw1ControlByID(WindowRef window, HIViewID viewID);

// ---- Special controls ----
// The image view shows the image (retained by the view; null clears it).
OSStatus GL_ImageViewSetImageByID(WindowRef window, HIViewID viewID, CGImageRef image);
// The picture (borrowed: the caller keeps it alive while shown) as the content of an image well / a bevel
// button.
OSStatus GL_SetPictureInImageWell(WindowRef window, HIViewID viewID, PicHandle picture);
OSStatus GL_SetBevelButtonPictureHandleByID(WindowRef window, HIViewID viewID, PicHandle picture);
// Gives the pop-up button a menu (the control takes it).
OSStatus GL_SetPopupMenuByID(WindowRef window, HIViewID viewID, MenuRef menu);
// Looks up the menu (its failure is returned), then gives the value as SInt16.
OSStatus GL_GetSelectedPopupMenuItemByID(WindowRef window, HIViewID viewID, SInt16 *item);
// The text of the menu item at the pop-up's value (owned), and that text as integer or float.
OSStatus GL_CopySelectedPopupTextByID(WindowRef window, HIViewID viewID, CFStringRef *text);
OSStatus GL_GetSelectedPopupTextValueByID(WindowRef window, HIViewID viewID, long *value);
OSStatus GL_GetSelectedPopupTextValueFloatByID(WindowRef window, HIViewID viewID, float *value);
// Selects the item with that text, or item 1 when none has it.
OSStatus GL_SetSelectedPopupTextByID(WindowRef window, HIViewID viewID, CFStringRef itemText);
OSStatus GL_SetSelectedPopupTextValueByID(WindowRef window, HIViewID viewID, long value);
OSStatus GL_SetChasingArrowsAnimatingByID(WindowRef window, HIViewID viewID, Boolean animating);
// The same, then needs display.
OSStatus GL_ActivateChasingArrowsByID(WindowRef window, HIViewID viewID, Boolean animating);
// Control data 'inde' = not isDeterminate; the view forms answer paramErr for a null view.
OSStatus GL_SetProgressIndicatorStateByID(WindowRef window, HIViewID viewID, Boolean isDeterminate);
OSStatus GL_SetProgressIndicatorState(HIViewRef view, Boolean isDeterminate);
OSStatus GL_GetProgressIndicatorStateByID(WindowRef window, HIViewID viewID, Boolean *isDeterminate);
OSStatus GL_GetProgressIndicatorState(HIViewRef view, Boolean *isDeterminate);

// ---- Groups of consecutive items (signature and first item number) ----
// Point: first item = h, next = v, as integer texts.
OSStatus GL_SetPointValuesInDialog(WindowRef window, OSType signature, SInt16 firstItem, Point point);
OSStatus GL_GetPointValuesFromDialog(WindowRef window, OSType signature, SInt16 firstItem, Point *point);
// Rect: four items = top, left, bottom, right, as integer texts; stops at the first failure.
OSStatus GL_SetRectValuesInDialog(WindowRef window, OSType signature, SInt16 firstItem, const Rect *rect);
OSStatus GL_GetRectValuesFromDialog(WindowRef window, OSType signature, SInt16 firstItem, Rect *rect);
// Sets the four values and selects all text again in those items that had it all selected; reports no
// failure.
OSStatus GL_SetRectValuesInDialogPreservingAllSelected(WindowRef window, OSType signature, SInt16 firstItem,
                                                       const Rect *rect);
// Item id + numItems + i is active only for i = itemHit (i = 0 .. numItems - 1); stops at the first failure.
OSStatus GL_ActivateAssEmbeddersByID(WindowRef window, HIViewID viewID, SInt32 numItems, SInt32 itemHit);
// Item id + 1 is active when the check box id is on (the value's low byte non-zero).
OSStatus GL_ActivateAssEmbedderByID(WindowRef window, HIViewID viewID);
// Of the items id + 1 .. id + numPanes only id + v is shown, v being the value of item id.
OSStatus GL_ShowAssEmbeddersByID(WindowRef window, HIViewID viewID, SInt32 numPanes);

// ---- Geometry ----
OSStatus GL_GetDialogItemBoundsByID(WindowRef window, HIViewID viewID, Rect *bounds);
OSStatus GL_SetDialogItemBoundsByID(WindowRef window, HIViewID viewID, const Rect *bounds);
// The frame in the superview.
OSStatus GL_HIViewGetFrameByID(WindowRef window, HIViewID viewID, HIRect *frame);
OSStatus GL_HIViewSetFrameByID(WindowRef window, HIViewID viewID, const HIRect *frame);
OSStatus GL_HIViewMoveByID(WindowRef window, HIViewID viewID, float dx, float dy);
// The view's bounds: its size, from the origin.
OSStatus GL_HIViewGetSizeByID(WindowRef window, HIViewID viewID, HIRect *rect);
// The bounds as a QuickDraw Rect: height = bottom, width = right.
OSStatus GL_GetDialogItemQDSizeByID(WindowRef window, HIViewID viewID, SInt32 *height, SInt32 *width);
