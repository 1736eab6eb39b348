// The about box.
#include "app/about_box.h"

#include "app/app_menus.h"
#include "engine/runtime/project_types.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_string.h"
#include "platform/core/standard_alerts.h"
#include "platform/ui/standard_about_box.h"
#include "platform/ui/window_manager.h"
#include "toolkit/windows.h"

OSStatus BZ_ShowAboutBox() {
  PL_CFScoped<CFStringRef> description{CFBundleCopyLocalizedString(
      CFBundleGetMainBundle(), CFSTR("BZ App description"), CFSTR("BZ App description"), nullptr)};
  const void *keys[] = {kHIAboutBoxDescriptionKey};
  const void *values[] = {description.get()};
  PL_CFScoped<CFDictionaryRef> options{
      CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks)};
  OSStatus err = HIAboutBox(options.get());
  if (err != noErr) return err;
  WindowRef window = FrontNonFloatingWindow();
  if (window == nullptr) {
    SysBeep(10);
    return noErr;
  }
  PL_CFScoped<CFStringRef> title{CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("BZ About window name"),
                                                             CFSTR("BZ About window name"), nullptr)};
  if ((err = SetWindowTitleWithCFString(window, title.get())) != noErr) return err;
  static const EventTypeSpec kinds[] = {{kEventClassWindow, kEventWindowActivated},
                                        {kEventClassWindow, kEventWindowDeactivated},
                                        {kEventClassWindow, kEventWindowClose}};
  if ((err = InstallEventHandler(GetWindowEventTarget(window), BZ_AboutBoxEventHandler, 3, kinds, window, nullptr)) !=
      noErr)
    return err;
  GL_PositionWindow(window, gBZ.savedWindowLoc[0]);
  BZ_UpdateMenus();
  return noErr;
}

OSStatus BZ_AboutBoxEventHandler(EventHandlerCallRef, EventRef event, void *userData) {
  if (GetEventClass(event) != kEventClassWindow) return eventNotHandledErr;
  switch (GetEventKind(event)) {
    case kEventWindowActivated:
    case kEventWindowDeactivated:
      BZ_UpdateMenus();
      break;
    case kEventWindowClose: {
      Point location{};
      if (GL_SaveWindowPosition(static_cast<WindowRef>(userData), &location) == noErr)
        gBZ.savedWindowLoc[0] = location;
      break;
    }
    default:
      break;
  }
  return eventNotHandledErr;
}
