// The checks of the project dialog's 27 numeric edit texts. Typing only marks an item as edited and arms the
// check timer (at once on Return, 5/3 s after the last key otherwise); the check then brings every edited value
// into its range, rewrites its text in canonical form ("%.2f" or "%ld"), keeps the logo slider in step, beeps
// when a value had to change and runs the dialog's dependent-items pass. Start runs the same check first.
// Main thread only.
#pragma once

#include "engine/runtime/project_settings.h"
#include "platform/core/controls.h"
#include "platform/core/event_loop.h"

// The delay from the last key to the check.
constexpr EventTime kBZ_ProjDlgTextCheckDelay = 5.0 / 3.0;

// The edit-text records (27, zeroed), the item mappings, and on each item's view the edit-text handler and a
// tracking area. A view that cannot be found stops the installation with its error.
OSStatus BZ_InstallProjDlgEtiFilters(WindowRef window);
// Removes the handlers and frees the records.
void BZ_RemoveProjDlgEtiFilters(WindowRef window);
// The check timer's procedure (the dialog window as data); also called with no timer by Start. Sets the
// reference record's anyEtiItemCorrected and itemHit (the most recently edited item, 2000 when none was).
void BZ_ProjDlgCheckETI(EventLoopTimerRef timer, void *window);
// The corrected text of one item (*correctEntry is new: the caller releases it); a text that is no number
// reads as 0. Rectangle items correct the settings' rectangle in place (the dialog's four values read into it
// first by the caller), and their text is the corrected coordinate.
OSStatus BZ_GetCorrectEtiText(WindowRef window, const HIViewID *controlID, CFStringRef falseEntry,
                              CFStringRef *correctEntry);
// The current setting of an edit-text item (item number, not edit-text index): float and double settings go
// to *floatValue, integer ones to *intValue; an item outside the table changes neither.
void BZ_GetEtiValue(const BZ_ProjSett *settings, SInt32 item, SInt32 *intValue, float *floatValue);
// Gives the keyboard focus to an edit text of the pane shown when no visible, active control has it;
// errCouldntSetFocus when that pane has none.
OSStatus BZ_SetFocus(WindowRef window);
