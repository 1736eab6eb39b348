// Settings transfer between the project dialog and the project: each settings group written into the dialog
// ("Make", which clears the group's update bit), read back ("Get"), restored to its defaults with the dependent
// handling of the items that changed replayed, the marked groups redrawn with their defaults buttons, and the
// settings loaded when the dialog opens. The project's settings (gBZ.project) are the one truth.
//
// Every function answers the first failing item's error and leaves the later items of the group alone; a
// Make that fails keeps its update bit. Without a project there is nothing to transfer: noErr. Main thread
// only.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_settings.h"
#include "platform/core/quickdraw_ports.h"

// ---- Make: settings into the dialog ----
OSStatus BZ_ProjDlgMakeInputSett(WindowRef window);
// Item 2073 (the noise movie). The codec belongs to the Output tab.
OSStatus BZ_ProjDlgMakeOutputSett(WindowRef window);
OSStatus BZ_ProjDlgMakeAvSett(WindowRef window, const BZ_Av_Sett *average);
OSStatus BZ_ProjDlgMakeNrSett(WindowRef window, const BZ_Rn_Sett *noiseRed);
// Also sets the slider 2320 to (minBackGrUnif - 0.6) / 0.4 of its range.
OSStatus BZ_ProjDlgMakeRlSett(WindowRef window, const BZ_RlSett *removeLogo);
OSStatus BZ_ProjDlgMakeClSett(WindowRef window, const BZ_Cl_Sett *crossLuma);
OSStatus BZ_ProjDlgMakeOuSett(WindowRef window, const BZ_OuSett *ouSett);
// Averaging, noise, logo, cross-luma, item 2407 (varying brightness) and outliers.
OSStatus BZ_ProjDlgMakeCleaningSett(WindowRef window);

// ---- Get: the dialog into the settings ----
OSStatus BZ_ProjDlgGetInputSett(WindowRef window);
OSStatus BZ_ProjDlgGetOutputSett(WindowRef window);
// The shift and weight text "?" (not measured) reads as -1.0.
OSStatus BZ_ProjDlgGetAvSett(WindowRef window, BZ_Av_Sett *average);
OSStatus BZ_ProjDlgGetNrSett(WindowRef window, BZ_Rn_Sett *noiseRed);
// The slider 2320 is not read: its text 2321 holds the value.
OSStatus BZ_ProjDlgGetRlSett(WindowRef window, BZ_RlSett *removeLogo);
OSStatus BZ_ProjDlgGetClSett(WindowRef window, BZ_Cl_Sett *crossLuma);
OSStatus BZ_ProjDlgGetOuSett(WindowRef window, BZ_OuSett *ouSett);
// Averaging, item 2407, noise, logo, cross-luma and outliers.
OSStatus BZ_ProjDlgGetCleaningSett(WindowRef window);
// Input, output, cleaning: the reading of every dependent-items pass.
OSStatus BZ_ProjDlgGetSett(WindowRef window);
// Input, cleaning, output.
OSStatus BZ_ProjDlgGetProjSett(WindowRef window);
// Reads the dialog (BZ_ProjDlgGetProjSett, when there is a window) and then stores the project settings as the
// "Project Prefs" even when reading failed; the reading's result.
OSStatus BZ_ProjDlgSaveProjSett(WindowRef window);

// ---- Defaults by group (the defaults buttons) ----
OSStatus BZ_ProjDlgMakeDefaultInputSett(WindowRef window);
OSStatus BZ_ProjDlgMakeDefaultOutputSett(WindowRef window);
OSStatus BZ_ProjDlgMakeDefaultAvSett(WindowRef window);
OSStatus BZ_ProjDlgMakeDefaultNrSett(WindowRef window);
OSStatus BZ_ProjDlgMakeDefaultRlSett(WindowRef window);
OSStatus BZ_ProjDlgMakeDefaultClSett(WindowRef window);
OSStatus BZ_ProjDlgMakeDefaultOuSett(WindowRef window);

// Writes the groups whose bit is set in the dialog state's neededUpdates, in the order input, output,
// averaging, noise, logo, cross-luma, varying brightness, outliers, each followed by its defaults button
// (active exactly while the group differs from its defaults).
OSStatus BZ_ProjDlgUpdateSettingsInDlg(WindowRef window);
// When the dialog opens: the stored project settings for the first movie, the cleaning settings validated
// with correction (the caution alert "BZ invalid setting" when they were not valid), every group redrawn.
OSStatus BZ_ProjDlgInitSettingsInDlg(WindowRef window);
