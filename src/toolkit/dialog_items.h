// Dialog items of the user-interface toolkit addressed by view identifier: each call finds the view under
// the window's root (HIViewFindByID) and returns that error unchanged when it is missing, else does its
// one action. Out-parameters are written only on success. Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/core/toolbox_dates.h"

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

// ---- Combo boxes ----
// Walks the list from index 0 and writes the first matching item's own text into the combo box's text
// (integers: CFStringGetIntValue equal; floats: within 0.0001; texts: equal ignoring case); without a
// match the value is written as "%ld", "%.2f" or the text itself. A failure to copy an item ends it.
OSStatus GL_SetIntValueInComboBoxByID(WindowRef window, HIViewID viewID, SInt32 value);
OSStatus GL_SetFloatValueInComboBoxByID(WindowRef window, HIViewID viewID, float value);
OSStatus GL_SetTextInComboBoxByID(WindowRef window, HIViewID viewID, CFStringRef text);
// Whether the object's class is "com.apple.HIComboBox".
Boolean GL_IsComboBox(HIObjectRef object);
OSStatus GL_IsComboBoxByID(WindowRef window, HIViewID viewID, Boolean *isComboBox);

// The window with the user focus, its focused control and, for edit texts ('etxt', 'hitx'), the
// selection; no focus window, no focused control or another kind gives the selection {0, 0} and noErr.
OSStatus GL_GetEditTextControlSelection(WindowRef *selWindow, ControlRef *selControl,
                                        ControlEditTextSelectionRec *selection);

// ---- More state, focus and fonts ----
OSStatus GL_DisposeDialogItemByID(WindowRef window, HIViewID viewID);
OSStatus GL_SetDialogItemActionByID(WindowRef window, HIViewID viewID, ControlActionUPP actionProc);
OSStatus GL_SetWindowDefaultButtonByID(WindowRef window, HIViewID viewID);
OSStatus GL_SetWindowCancelButtonByID(WindowRef window, HIViewID viewID);
// The control takes the focus afresh (cleared first, then given).
OSStatus GL_SetKeyboardFocusByID(WindowRef window, HIViewID viewID);
OSStatus GL_ClearKeyboardFocusByID(WindowRef window, HIViewID viewID);
// The identifier of the focused control; errUnknownControl when no control has the focus.
OSStatus GL_GetKeyboardFocusByID(WindowRef window, HIViewID *viewID);
// A font style with only the justification in use (flags kControlUseJustMask).
OSStatus GL_SetDialogItemFontJustificationByID(WindowRef window, HIViewID viewID, SInt16 just);
OSStatus GL_GetControlFontStyle(HIViewRef view, ControlFontStyleRec *style);
OSStatus GL_SetControlFontStyle(HIViewRef view, const ControlFontStyleRec *style);
OSStatus GL_GetDialogItemFontStyleByID(WindowRef window, HIViewID viewID, ControlFontStyleRec *style);
OSStatus GL_SetDialogItemFontStyleByID(WindowRef window, HIViewID viewID, const ControlFontStyleRec *style);
OSStatus GL_ImageViewSetAlphaByID(WindowRef window, HIViewID viewID, float alpha);
OSStatus GL_SetBevelButtonTextPlacementByID(WindowRef window, HIViewID viewID, SInt16 where);
// Control data 'size' (kControlSizeSmall...).
OSStatus GL_SetControlSpecialSize(HIViewRef view, SInt16 size);
OSStatus GL_SetControlSpecialSizeByID(WindowRef window, HIViewID viewID, SInt16 size);

// ---- Clocks ----
OSStatus GL_GetClockDataByID(WindowRef window, HIViewID viewID, LongDateRec *clockData);
// The next occurrence of the clock's time of day: today when its hour and minute are later than now,
// else tomorrow; seconds 0. Either output may be null.
OSStatus GL_GetClockTimeByID(WindowRef window, HIViewID viewID, LongDateRec *clockTime, UInt32 *seconds);

// ---- Little arrows ----
// Control data 'incr' of the arrows.
OSStatus GL_GetLA_Increment(ControlHandle control, SInt32 *increment);
// Stores the number of the arrows' text item in the arrows (property 'LAAT' of the view-ID signature).
OSStatus GL_SetLA_AssTextItemByID(WindowRef window, HIViewID viewID, SInt16 assTextItem);
// The action procedure of little arrows: up (20) and down (21) step the value by the increment within the
// 16-bit range (the alert sound at either end) and write the value into the associated text item.
void GL_LA_ProcTemplate(ControlHandle control, SInt16 part);

// ---- Hierarchy ----
// A view reports allows-subviews (bit 1 of its features) as an embedder.
OSStatus GL_HIViewIsEmbedderByID(WindowRef window, HIViewID viewID, Boolean *isEmbedder);
OSStatus GL_HIViewCountSubviewsByID(WindowRef window, HIViewID viewID, CFIndex *count);
// The identifier of the superview (kHIViewWindowContentID for a top-level item).
OSStatus GL_GetSuperViewByID(WindowRef window, HIViewID viewID, HIViewID *superViewID);
// The index-th (1-based) subview; a missing one gives the look-up's error.
OSStatus GL_GetSubViewByID(WindowRef window, HIViewID viewID, CFIndex index, HIViewRef *subView);
OSStatus GL_ActivateSubViewByID(WindowRef window, HIViewID viewID, CFIndex index, Boolean activate);
// The identifier of the index-th (1-based) subview of the class; {0, 0} with noErr when there is none.
OSStatus GL_FindSubviewByClassID(WindowRef window, HIViewID parentViewID, CFStringRef classID, SInt32 index,
                                 HIViewID *subViewID);
// Moves the second view into the first.
OSStatus GL_HIViewAddSubviewByID(WindowRef window, HIViewID viewID, HIViewID subViewID);
OSStatus GL_HIViewAddSubviewToContentView(WindowRef window, HIViewRef view);
// Moves a view of another window into the parent.
OSStatus GL_HIViewAddSubviewFromOtherWindowByID(WindowRef window, HIViewID viewID, WindowRef otherWindow,
                                                HIViewID subViewID);
OSStatus GL_HIViewRemoveFromSuperviewByID(WindowRef window, HIViewID viewID);
// A reference id of 0 means no reference view; a missing reference view gives the look-up's error.
OSStatus GL_HIViewSetZOrderByID(WindowRef window, HIViewID viewID, HIViewZOrderOp op, HIViewID refViewID);
OSStatus GL_HIViewChangeFeaturesByID(WindowRef window, HIViewID viewID, UInt64 setFeatures, UInt64 clearFeatures);
OSStatus GL_ChangeHIViewID_ByID(WindowRef window, HIViewID viewID, HIViewID newViewID);
// The content view (the window's root here) and its bounds.
OSStatus GL_HIGetWindowContentView(WindowRef window, HIViewRef *contentView);
// The view's bounds converted into the window content view's / the window's coordinates.
OSStatus GL_GetHIViewBoundsInWindowContentByID(WindowRef window, HIViewID viewID, HIRect *rect);
OSStatus GL_GetHIViewBoundsInWindowByID(WindowRef window, HIViewID viewID, HIRect *rect);
// Control data 'size' on every direct subview (not on the view itself); stops at the first failure.
OSStatus GL_SetCompoundControlSpecialSize(HIViewRef view, SInt16 size);
// Activates or deactivates the control and, recursively, its sub-controls; stops at the first failure.
OSStatus GL_ActivateControlAndChildren(HIViewRef control, Boolean activate);

// ---- Panes, shapes, tracking areas, simulated clicks and radio groups ----
// A new embedder pane (allows subviews) in the window's content view with that frame, visible.
OSStatus GL_HICreateEmbedderPane(WindowRef window, HIRect bounds, HIViewRef *pane);
// Puts the listed items of the parent (found under it) into a new pane userPaneID whose frame is their union;
// the nib's container that holds exactly those items becomes the pane when there is one (its layout stays).
// Stops at the first failure.
OSStatus GL_EmbedSubgroupArray(WindowRef window, OSType signature, HIViewID parentViewID, SInt32 numItems,
                               const SInt32 items[], SInt32 userPaneID);
// The same for the items firstItem..lastItem.
OSStatus GL_EmbedSubgroup(WindowRef window, OSType signature, HIViewID parentViewID, SInt32 firstItem,
                          SInt32 lastItem, SInt32 userPaneID);
OSStatus GL_GetDialogItemRegionByID(WindowRef window, HIViewID viewID, ControlPartCode part, RgnHandle region);
// The content view's bounds (origin 0, 0).
OSStatus GL_GetWindowContentBounds(WindowRef window, HIRect *bounds);
OSStatus GL_HIViewCopyShapeByID(WindowRef window, HIViewID viewID, HIViewPartCode part, HIShapeRef *shape);
// An areaID of 0 is replaced by the view reference itself, sign-extended to 64 bits.
OSStatus GL_HIViewNewTrackingAreaByID(WindowRef window, HIViewID viewID, HIShapeRef shape, UInt64 areaID,
                                      HIViewTrackingAreaRef *trackingArea);
// Clicks as the user would; the radio forms click the group's button of that 1-based index with part 0, or
// the button of the group's value.
OSStatus GL_HIViewSimulateClickByID(WindowRef window, HIViewID viewID, HIViewPartCode part, UInt32 modifiers,
                                    HIViewPartCode *partClicked);
OSStatus GL_HIViewSimulateClickOnRadioButtonByID(WindowRef window, HIViewID viewID, CFIndex button, UInt32 modifiers,
                                                 HIViewPartCode *partClicked);
OSStatus GL_HIViewSimulateClickOnActiveRadioButtonByID(WindowRef window, HIViewID viewID, UInt32 modifiers,
                                                       HIViewPartCode *partClicked);
// Replaces the nib's radio group by a new one of small buttons with the same texts, frames and value: the old
// group is renamed (signature, newID) and hidden, the new one takes its identifier and place.
OSStatus GL_ReplaceRadioGroupByCopy(WindowRef window, HIViewID viewID, SInt32 newID);
// Help tags of the group's buttons: helpText[k] = {minimum text, maximum text or NULL} for button k (1-based;
// pair 0 is not read). The group's subview count bounds the walk, not numItems.
OSStatus GL_SetRadioGroupHelp(WindowRef window, HIViewID viewID, SInt32 numItems, CFStringRef helpText[][2]);
