// The application preferences: one dictionary under "App Prefs" in the application's preferences, read
// whenever a run is set up or the log or the preferences dialog needs them and falling back to fixed
// defaults key by key; the one-time migration of the stored project preferences at start-up; the
// "Log Alias" accessors. Main thread, except BZ_GetAppPrefs, which tasks call too (it only reads).
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/aliases.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/mac_types.h"

// The preference keys of the application.
#define kBZ_AppPrefsKey CFSTR("App Prefs")
#define kBZ_VersionKey CFSTR("Version")
#define kBZ_LogAliasKey CFSTR("Log Alias")
#define kBZ_ProjectPrefsKey CFSTR("Project Prefs")

// The limits of the maximum IRE level (the preferences dialog's range).
enum : SInt32 { kBZ_MinMaxIRE = 100, kBZ_DefaultMaxIRE = 120 };
// outputFolderOption.
enum : SInt32 { kBZ_OutputToSourceFolder = 1, kBZ_OutputToPrevFolder = 2, kBZ_OutputToMoviesFolder = 3 };

// Every field but prevOutputFolder to its default (copy sound on, "Hero", maximum IRE 120, the Movies
// folder, everything else off). successSound is owned by the record: the caller releases it.
void BZ_MakeDefaultAppPrefs(BZ_AppPrefs *prefs);
// The stored preferences, or the defaults when none are stored; prevOutputFolder keeps what the caller had
// in it when nothing is stored. successSound is a new reference the caller releases.
void BZ_GetAppPrefs(BZ_AppPrefs *prefs);
// Stores the record as "App Prefs" of the current application (not synchronised here).
void BZ_SaveAppPrefs(const BZ_AppPrefs *prefs);
// Owned (CFRelease): the eleven keys; without prevOutputFolder's alias when it cannot be made. NULL for a
// NULL record or when memory is out.
CFDictionaryRef BZ_CreateAppPrefsDict(const BZ_AppPrefs *prefs);
// The defaults, overridden by every key present with a value of the right kind; a value out of its range
// (maximum IRE outside 100 to 120, an output folder option outside 1 to 3, an empty sound name) is
// replaced by the default. successSound is a new reference the caller releases. The result is the status
// of resolving prevOutputFolder's alias (fnfErr when there is none; prevOutputFolder is then cleared).
OSStatus BZ_GetAppPrefsFromDict(CFDictionaryRef dict, BZ_AppPrefs *prefs);
// Whether the preferences equal the defaults in the group of a tab of the preferences dialog (1 sound and
// movie, 2 colours, 3 output folder), or in all groups for tab 0. The maximum IRE is not compared.
Boolean BZ_AppPrefsEqualDefault(const BZ_AppPrefs *prefs, SInt32 tab);
// On the first start of this version over older preferences ("App Prefs" stored, "Version" not): the
// logo's Boolean "Mask at top left" inside "Project Prefs" becomes the mask anchor number (true 0, false 3).
// Otherwise, or when any part is missing, nothing changes.
void BZ_FixPreferences();
// *alias = a new handle (owned: DisposeHandle) with the bytes stored as "Log Alias"; NULL when none.
void BZ_GetLogAlias(AliasHandle *alias);
// Stores the handle's bytes as "Log Alias"; NULL removes it.
void BZ_SaveLogAlias(AliasHandle alias);
