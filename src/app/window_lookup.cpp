// Window lookup by class and localised title; saved window locations.
#include "app/window_lookup.h"

#include "engine/runtime/project_types.h"
#include "general/cf_encodings.h"
#include "platform/core/cf_array.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "toolkit/windows.h"

namespace {

#define kWindowLocationsKey CFSTR("Window Locations")
#define kPreviewSizeKey CFSTR("Preview Size")

WindowRef FindByTitleKey(WindowClass windowClass, CFStringRef titleKey) {
  PL_CFScoped<CFStringRef> title(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), titleKey, nullptr, nullptr));
  return GL_FindWindowByClassAndName(windowClass, title.get() != nullptr ? title.get() : titleKey, false);
}

void SaveLocationOf(WindowRef window, SInt32 windowID) {
  if (window == nullptr) return;
  Point location{};
  if (GL_SaveWindowPosition(window, &location) == noErr) gBZ.savedWindowLoc[windowID] = location;
}

}  // namespace

WindowRef BZ_GetStatusWindow() { return FindByTitleKey(kFloatingWindowClass, CFSTR("BZ Status window name")); }
WindowRef BZ_GetShortcutsWindow() {
  return FindByTitleKey(kFloatingWindowClass, CFSTR("BZ Preview shortcuts window name"));
}
WindowRef BZ_GetAboutBox() { return FindByTitleKey(kDocumentWindowClass, CFSTR("BZ About window name")); }
WindowRef BZ_GetPreviewWindow() { return FindByTitleKey(kDocumentWindowClass, CFSTR("BZ Preview window name")); }
WindowRef BZ_GetLogWindow() { return FindByTitleKey(kDocumentWindowClass, CFSTR("BZ Log window name")); }
WindowRef BZ_GetProjDlgWindow() { return FindByTitleKey(kDocumentWindowClass, CFSTR("BZ Main window name")); }
WindowRef BZ_GetExampleWindow() { return FindByTitleKey(kDocumentWindowClass, CFSTR("BZ Example window name")); }
WindowRef BZ_GetPrefsWindow() { return FindByTitleKey(kDocumentWindowClass, CFSTR("BZ preferences window name")); }

CFStringRef BZ_WindowIDToLocKey(SInt32 windowID) {
  switch (windowID) {
    case kBZ_AboutBoxWindowID: return CFSTR("About Box Location");
    case kBZ_ProjDlgWindowID: return CFSTR("Project Dialog Location");
    case kBZ_PrefsWindowID: return CFSTR("Prefs Dialog");
    case kBZ_PreviewWindowID: return CFSTR("Preview Location");
    case kBZ_StatusWindowID: return CFSTR("Status Window Location");
    case kBZ_LogWindowID: return CFSTR("Log Window Location");
    case kBZ_ExampleWindowID: return CFSTR("Example Window Location");
    default: return nullptr;
  }
}

void BZ_GetWindowLocations() {
  PL_CFScoped<CFPropertyListRef> stored(
      CFPreferencesCopyAppValue(kWindowLocationsKey, kCFPreferencesCurrentApplication));
  for (Point &location : gBZ.savedWindowLoc) location = Point{0, 0};
  if (stored.get() != nullptr && CFGetTypeID(stored.get()) == CFDictionaryGetTypeID()) {
    auto dict = static_cast<CFDictionaryRef>(stored.get());
    for (SInt32 id = 0; id < kBZ_NumSavedWindowLocs; ++id) {
      CFStringRef key = BZ_WindowIDToLocKey(id);
      if (key == nullptr) continue;
      const void *value = CFDictionaryGetValue(dict, key);
      Point location{};
      if (value != nullptr && CFGetTypeID(value) == CFArrayGetTypeID() &&
          CF_GetPointFromCFArray(static_cast<CFArrayRef>(value), &location))
        gBZ.savedWindowLoc[id] = location;
    }
  }
  PL_CFScoped<CFPropertyListRef> size(CFPreferencesCopyAppValue(kPreviewSizeKey, kCFPreferencesCurrentApplication));
  if (size.get() != nullptr && CFGetTypeID(size.get()) == CFArrayGetTypeID()) {
    Point previewSize{};
    if (CF_GetPointFromCFArray(static_cast<CFArrayRef>(size.get()), &previewSize)) gBZ.previewSize = previewSize;
  }
}

OSStatus BZ_GetOpenWindowLocations() {
  if (WindowRef about = BZ_GetAboutBox(); about != nullptr && IsWindowVisible(about))
    SaveLocationOf(about, kBZ_AboutBoxWindowID);
  if (WindowRef log = BZ_GetLogWindow(); log != nullptr && IsWindowVisible(log)) SaveLocationOf(log, kBZ_LogWindowID);
  SaveLocationOf(BZ_GetStatusWindow(), kBZ_StatusWindowID);
  SaveLocationOf(BZ_GetProjDlgWindow(), kBZ_ProjDlgWindowID);
  SaveLocationOf(BZ_GetPreviewWindow(), kBZ_PreviewWindowID);
  return noErr;
}

void BZ_SaveWindowLocations() {
  PL_CFScoped<CFMutableDictionaryRef> dict(CF_DictCreateMut());
  if (dict.get() != nullptr) {
    for (SInt32 id = 0; id < kBZ_NumSavedWindowLocs; ++id) {
      CFStringRef key = BZ_WindowIDToLocKey(id);
      if (key == nullptr) continue;
      PL_CFScoped<CFArrayRef> point(CF_CopyPointToCFArray(&gBZ.savedWindowLoc[id]));
      if (point.get() != nullptr) CFDictionarySetValue(dict, key, point.get());
    }
    CFPreferencesSetAppValue(kWindowLocationsKey, dict.get(), kCFPreferencesCurrentApplication);
  }
  PL_CFScoped<CFArrayRef> size(CF_CopyPointToCFArray(&gBZ.previewSize));
  if (size.get() != nullptr) CFPreferencesSetAppValue(kPreviewSizeKey, size.get(), kCFPreferencesCurrentApplication);
}
