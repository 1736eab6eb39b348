// A small modal form of settings: labelled pop-ups, check boxes and whole numbers with OK and Cancel, for
// settings that have no dialog of their own (the movie exporters'). Shown with Qt widgets, or answered by a
// test through PL_SetSettingsFormProc. Main thread.
#pragma once

#include "platform/core/cf_base.h"

#include <string>
#include <vector>

enum : SInt16 { kPL_FormChoice = 1, kPL_FormCheck = 2, kPL_FormNumber = 3 };

struct PL_FormField {
  std::string label;
  SInt16 kind;
  std::vector<std::string> choices;  // kPL_FormChoice: the pop-up's items
  SInt32 value;                      // the item (from 1), 0 or 1, or the number
  SInt32 minimum, maximum;           // kPL_FormNumber
};

// Who answers a form: changes the values in place when the user accepts, else sets *canceled.
typedef OSStatus (*PL_SettingsFormProc)(const std::string &title, std::vector<PL_FormField> *fields,
                                        Boolean *canceled);
// Installs who answers (null: the Qt form).
void PL_SetSettingsFormProc(PL_SettingsFormProc proc);
// Runs the form titled `title`: its widgets are named "PL_FormField<n>" (n from 1) inside a dialog named
// "PL_SettingsForm". paramErr for missing arguments.
OSStatus PL_RunSettingsForm(const std::string &title, std::vector<PL_FormField> *fields, Boolean *canceled);
