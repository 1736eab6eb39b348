// The application preferences and their dictionary.
#include "app/app_preferences.h"

#include "engine/runtime/engine_host.h"
#include "general/cf_encodings.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/memory.h"

namespace {

#define kCopySoundKey CFSTR("Copy sound")
#define kSuccessSoundKey CFSTR("Success sound")
#define kAnamorphic1080Key CFSTR("Anamorphic 1080")
#define kYuv2IsVideoRangeKey CFSTR("yuv2 is video range")
#define kYuvSanityCheckKey CFSTR("YUV Sanity Check")
#define kNtscSafeColorsKey CFSTR("NTSC safe colors")
#define kMaxIREKey CFSTR("Max IRE")
#define kAlwaysGamma22Key CFSTR("Always convert to gamma 2.2")
#define kPreserveHighlightsKey CFSTR("Preserve highlites")
#define kOutputFolderOptionKey CFSTR("Way to Choose Output Folder")
#define kPrevOutputFolderKey CFSTR("Previous Output Folder")

#define kDefaultSuccessSound CFSTR("Hero")

bool SameBool(Boolean a, Boolean b) { return (a != 0) == (b != 0); }

bool SameSound(CFStringRef sound) {
  return sound != nullptr && CFStringCompare(sound, kDefaultSuccessSound, 0) == kCFCompareEqualTo;
}

}  // namespace

void BZ_MakeDefaultAppPrefs(BZ_AppPrefs *prefs) {
  if (prefs == nullptr) return;
  // The defaults live with the engine's plain host, which has to answer them in a run without the shell.
  BZ_GetPlainEngineHost()->getAppPrefs(nullptr, prefs);
}

void BZ_GetAppPrefs(BZ_AppPrefs *prefs) {
  if (prefs == nullptr) return;
  PL_CFScoped<CFPropertyListRef> stored(CFPreferencesCopyAppValue(kBZ_AppPrefsKey, kCFPreferencesCurrentApplication));
  if (stored.get() != nullptr && CFGetTypeID(stored.get()) == CFDictionaryGetTypeID())
    BZ_GetAppPrefsFromDict(static_cast<CFDictionaryRef>(stored.get()), prefs);
  else
    BZ_MakeDefaultAppPrefs(prefs);
}

void BZ_SaveAppPrefs(const BZ_AppPrefs *prefs) {
  PL_CFScoped<CFDictionaryRef> dict(BZ_CreateAppPrefsDict(prefs));
  if (dict.get() == nullptr) return;
  CFPreferencesSetAppValue(kBZ_AppPrefsKey, dict.get(), kCFPreferencesCurrentApplication);
}

CFDictionaryRef BZ_CreateAppPrefsDict(const BZ_AppPrefs *prefs) {
  if (prefs == nullptr) return nullptr;
  PL_CFScoped<CFMutableDictionaryRef> dict(CF_DictCreateMut());
  if (dict.get() == nullptr) return nullptr;
  CF_AddBooleanToDict(dict, kCopySoundKey, prefs->copySound);
  CFDictionarySetValue(dict, kSuccessSoundKey,
                       prefs->successSound != nullptr ? prefs->successSound : kDefaultSuccessSound);
  CF_AddBooleanToDict(dict, kAnamorphic1080Key, prefs->anamorphic1080);
  CF_AddBooleanToDict(dict, kYuv2IsVideoRangeKey, prefs->yuv2IsVideoRange);
  CF_AddBooleanToDict(dict, kYuvSanityCheckKey, prefs->yuvSanityCheck);
  CF_AddBooleanToDict(dict, kNtscSafeColorsKey, prefs->ntscSafeColors);
  CF_AddSInt32ToDict(dict, kMaxIREKey, prefs->maxIRE);
  CF_AddBooleanToDict(dict, kAlwaysGamma22Key, prefs->alwaysGamma22);
  CF_AddBooleanToDict(dict, kPreserveHighlightsKey, prefs->preserveHighlights);
  CF_AddSInt32ToDict(dict, kOutputFolderOptionKey, prefs->outputFolderOption);
  CFDataRef alias = nullptr;
  if (CF_FileToAliasDataRef(&prefs->prevOutputFolder, &alias) == noErr && alias != nullptr) {
    CFDictionarySetValue(dict, kPrevOutputFolderKey, alias);
    CFRelease(alias);
  }
  return dict.release();
}

OSStatus BZ_GetAppPrefsFromDict(CFDictionaryRef dict, BZ_AppPrefs *prefs) {
  if (prefs == nullptr) return paramErr;
  BZ_MakeDefaultAppPrefs(prefs);
  if (dict == nullptr) return paramErr;
  CF_GetBooleanFromDict(dict, kCopySoundKey, &prefs->copySound);
  const void *sound = CFDictionaryGetValue(dict, kSuccessSoundKey);
  if (sound != nullptr && CFGetTypeID(sound) == CFStringGetTypeID() &&
      CFStringGetLength(static_cast<CFStringRef>(sound)) > 0) {
    CFStringRef copy = CFStringCreateCopy(nullptr, static_cast<CFStringRef>(sound));
    if (copy != nullptr) {
      if (prefs->successSound != nullptr) CFRelease(prefs->successSound);
      prefs->successSound = copy;
    }
  }
  CF_GetBooleanFromDict(dict, kAnamorphic1080Key, &prefs->anamorphic1080);
  CF_GetBooleanFromDict(dict, kYuv2IsVideoRangeKey, &prefs->yuv2IsVideoRange);
  CF_GetBooleanFromDict(dict, kYuvSanityCheckKey, &prefs->yuvSanityCheck);
  CF_GetBooleanFromDict(dict, kNtscSafeColorsKey, &prefs->ntscSafeColors);
  // The legaliser builds its limit from this number: a damaged one must not reach it.
  SInt32 maxIRE = 0;
  if (CF_GetSInt32FromDict(dict, kMaxIREKey, &maxIRE) && maxIRE >= kBZ_MinMaxIRE && maxIRE <= kBZ_DefaultMaxIRE)
    prefs->maxIRE = maxIRE;
  CF_GetBooleanFromDict(dict, kAlwaysGamma22Key, &prefs->alwaysGamma22);
  CF_GetBooleanFromDict(dict, kPreserveHighlightsKey, &prefs->preserveHighlights);
  SInt32 option = 0;
  if (CF_GetSInt32FromDict(dict, kOutputFolderOptionKey, &option) && option >= kBZ_OutputToSourceFolder &&
      option <= kBZ_OutputToMoviesFolder)
    prefs->outputFolderOption = option;
  return CF_ResolveAliasInDict(dict, kPrevOutputFolderKey, &prefs->prevOutputFolder, nullptr);
}

Boolean BZ_AppPrefsEqualDefault(const BZ_AppPrefs *prefs, SInt32 tab) {
  if (prefs == nullptr) return false;
  BZ_AppPrefs defaults{};
  BZ_MakeDefaultAppPrefs(&defaults);
  if (defaults.successSound != nullptr) CFRelease(defaults.successSound);
  if (tab == 0 || tab == 1) {
    if (!SameBool(prefs->copySound, defaults.copySound) || !SameBool(prefs->anamorphic1080, defaults.anamorphic1080) ||
        !SameSound(prefs->successSound))
      return false;
  }
  if (tab == 0 || tab == 2) {
    if (!SameBool(prefs->yuv2IsVideoRange, defaults.yuv2IsVideoRange) ||
        !SameBool(prefs->yuvSanityCheck, defaults.yuvSanityCheck) ||
        !SameBool(prefs->ntscSafeColors, defaults.ntscSafeColors) ||
        !SameBool(prefs->alwaysGamma22, defaults.alwaysGamma22) ||
        !SameBool(prefs->preserveHighlights, defaults.preserveHighlights))
      return false;
  }
  if (tab == 0 || tab == 3) {
    if (prefs->outputFolderOption != defaults.outputFolderOption) return false;
  }
  return true;
}

void BZ_FixPreferences() {
  PL_CFScoped<CFPropertyListRef> appPrefs(CFPreferencesCopyAppValue(kBZ_AppPrefsKey, kCFPreferencesCurrentApplication));
  PL_CFScoped<CFPropertyListRef> version(CFPreferencesCopyAppValue(kBZ_VersionKey, kCFPreferencesCurrentApplication));
  if (appPrefs.get() == nullptr || version.get() != nullptr) return;

  PL_CFScoped<CFPropertyListRef> project(
      CFPreferencesCopyAppValue(kBZ_ProjectPrefsKey, kCFPreferencesCurrentApplication));
  if (project.get() == nullptr || CFGetTypeID(project.get()) != CFDictionaryGetTypeID()) return;
  auto projectDict = static_cast<CFDictionaryRef>(project.get());
  const void *cleaning = CFDictionaryGetValue(projectDict, CFSTR("Cleaning Prefs"));
  if (cleaning == nullptr || CFGetTypeID(cleaning) != CFDictionaryGetTypeID()) return;
  const void *logo = CFDictionaryGetValue(static_cast<CFDictionaryRef>(cleaning), CFSTR("Remove Logo"));
  if (logo == nullptr || CFGetTypeID(logo) != CFDictionaryGetTypeID()) return;
  Boolean topLeft = false;
  if (!CF_GetBooleanFromDict(static_cast<CFDictionaryRef>(logo), CFSTR("Mask at top left"), &topLeft)) return;

  PL_CFScoped<CFMutableDictionaryRef> newLogo(CF_DictCreateMutCopy(static_cast<CFDictionaryRef>(logo)));
  PL_CFScoped<CFMutableDictionaryRef> newCleaning(CF_DictCreateMutCopy(static_cast<CFDictionaryRef>(cleaning)));
  PL_CFScoped<CFMutableDictionaryRef> newProject(CF_DictCreateMutCopy(projectDict));
  if (newLogo.get() == nullptr || newCleaning.get() == nullptr || newProject.get() == nullptr) return;
  // The mask anchor: 0 top left, 3 bottom right.
  CF_AddSInt32ToDict(newLogo, CFSTR("Mask at top left"), topLeft ? 0 : 3);
  CFDictionarySetValue(newCleaning, CFSTR("Remove Logo"), newLogo.get());
  CFDictionarySetValue(newProject, CFSTR("Cleaning Prefs"), newCleaning.get());
  CFPreferencesSetAppValue(kBZ_ProjectPrefsKey, newProject.get(), kCFPreferencesCurrentApplication);
}

void BZ_GetLogAlias(AliasHandle *alias) {
  if (alias == nullptr) return;
  *alias = nullptr;
  PL_CFScoped<CFPropertyListRef> stored(CFPreferencesCopyAppValue(kBZ_LogAliasKey, kCFPreferencesCurrentApplication));
  if (stored.get() == nullptr || CFGetTypeID(stored.get()) != CFDataGetTypeID()) return;
  *alias = reinterpret_cast<AliasHandle>(CF_DataRefToHandle(static_cast<CFDataRef>(stored.get())));
}

void BZ_SaveLogAlias(AliasHandle alias) {
  if (alias == nullptr) {
    CFPreferencesSetAppValue(kBZ_LogAliasKey, nullptr, kCFPreferencesCurrentApplication);
    return;
  }
  PL_CFScoped<CFDataRef> data(CF_HandleToDataRef(reinterpret_cast<Handle>(alias)));
  if (data.get() != nullptr) CFPreferencesSetAppValue(kBZ_LogAliasKey, data.get(), kCFPreferencesCurrentApplication);
}
