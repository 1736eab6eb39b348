// The example window and the Example button.
#include "dialog/example_window.h"

#include "app/window_lookup.h"
#include "dialog/input_tab.h"
#include "dialog/project_dialog.h"
#include "engine/runtime/project_types.h"
#include "movie/pictures.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/quickdraw_pictures.h"
#include "platform/ui/window_manager.h"
#include "toolkit/dialog_items.h"
#include "toolkit/windows.h"

namespace {

constexpr SInt32 kProcessPane = 2;
constexpr SInt32 kVarBrTab = 5;

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

void DisposePictures() {
  if (gBZ.dlgData == nullptr) return;
  for (PicHandle *picture : {&gBZ.dlgData->beforePic, &gBZ.dlgData->afterPic})
    if (*picture != nullptr) {
      KillPicture(*picture);
      *picture = nullptr;
    }
}

OSStatus LoadPicture(CFStringRef name, PicHandle *picture) {
  PL_CFScoped<CFURLRef> url{CFBundleCopyResourceURL(CFBundleGetMainBundle(), name, nullptr, CFSTR("Before-after"))};
  if (url.get() == nullptr) return fnfErr;
  return QT_GetPictureFromURL(url.get(), picture);
}

// Whether the dialog shows a method that has an example.
OSStatus ExampleExists(WindowRef dialog, bool *exists) {
  SInt32 mainTab = 0, methodTab = 0;
  OSStatus err = GL_GetDialogItemValueByID(dialog, Item(kBZ_MainTabItem), &mainTab);
  if (err == noErr) err = GL_GetDialogItemValueByID(dialog, Item(kBZ_MethodTabItem), &methodTab);
  *exists = err == noErr && mainTab == kProcessPane && methodTab != kVarBrTab;
  return err;
}

}  // namespace

void BZ_GetExamplePictureNames(SInt32 methodTab, CFStringRef *before, CFStringRef *after) {
  switch (methodTab) {
    case 1: *before = CFSTR("Average before.tiff"), *after = CFSTR("Average after.tiff"); break;
    case 2: *before = CFSTR("Reduce noise before.tiff"), *after = CFSTR("Reduce noise after.tiff"); break;
    case 3: *before = CFSTR("Remove Logo before.tiff"), *after = CFSTR("Remove Logo after.tiff"); break;
    case 4: *before = CFSTR("CrossLuma before.tiff"), *after = CFSTR("CrossLuma after.tiff"); break;
    default: *before = *after = CFSTR("?.tiff"); break;
  }
}

OSStatus BZ_SetExamplePictures(WindowRef exampleWindow) {
  WindowRef dialog = BZ_GetProjDlgWindow();
  if (exampleWindow == nullptr || dialog == nullptr || gBZ.dlgData == nullptr) return paramErr;
  SInt32 methodTab = 0;
  OSStatus err = GL_GetDialogItemValueByID(dialog, Item(kBZ_MethodTabItem), &methodTab);
  if (err != noErr) return err;
  // The wells show the pictures held: they leave the wells before they are disposed of.
  GL_SetPictureInImageWell(exampleWindow, Item(kBZ_ExampleBeforeWell), nullptr);
  GL_SetPictureInImageWell(exampleWindow, Item(kBZ_ExampleAfterWell), nullptr);
  DisposePictures();
  CFStringRef beforeName = nullptr, afterName = nullptr;
  BZ_GetExamplePictureNames(methodTab, &beforeName, &afterName);
  if ((err = LoadPicture(beforeName, &gBZ.dlgData->beforePic)) != noErr) return err;
  if ((err = LoadPicture(afterName, &gBZ.dlgData->afterPic)) != noErr) return err;
  if ((err = GL_SetPictureInImageWell(exampleWindow, Item(kBZ_ExampleBeforeWell), gBZ.dlgData->beforePic)) != noErr)
    return err;
  if ((err = GL_SetNeedsDisplayByID(exampleWindow, Item(kBZ_ExampleBeforeWell), true)) != noErr) return err;
  if ((err = GL_SetPictureInImageWell(exampleWindow, Item(kBZ_ExampleAfterWell), gBZ.dlgData->afterPic)) != noErr)
    return err;
  return GL_SetNeedsDisplayByID(exampleWindow, Item(kBZ_ExampleAfterWell), true);
}

OSStatus BZ_SetExampleImageWellBackground(WindowRef exampleWindow) {
  if (exampleWindow == nullptr) return paramErr;
  // The wells draw like the project dialog's: picture first, the window's background around it. The
  // handlers go with the wells when the window is disposed.
  static const EventTypeSpec draw{kEventClassControl, kEventControlDraw};
  for (SInt32 item : {kBZ_ExampleBeforeWell, kBZ_ExampleAfterWell}) {
    HIViewRef well = nullptr;
    OSStatus err = HIViewFindByID(HIViewGetRoot(exampleWindow), Item(item), &well);
    if (err == noErr) err = InstallEventHandler(GetControlEventTarget(well), BZ_ImageWellEventHandler, 1, &draw, nullptr, nullptr);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus BZ_CloseExampleWindow(WindowRef exampleWindow) {
  if (exampleWindow == nullptr) return noErr;
  GL_SetPictureInImageWell(exampleWindow, Item(kBZ_ExampleBeforeWell), nullptr);
  GL_SetPictureInImageWell(exampleWindow, Item(kBZ_ExampleAfterWell), nullptr);
  DisposePictures();
  Point location{};
  if (GL_SaveWindowPosition(exampleWindow, &location) == noErr) gBZ.savedWindowLoc[kBZ_ExampleWindowID] = location;
  return noErr;
}

OSStatus BZ_ExampleWindowEventHandler(EventHandlerCallRef, EventRef event, void *userData) {
  if (GetEventClass(event) != kEventClassWindow || GetEventKind(event) != kEventWindowClose) return eventNotHandledErr;
  BZ_CloseExampleWindow(static_cast<WindowRef>(userData));
  WindowRef dialog = BZ_GetProjDlgWindow();
  if (dialog == nullptr) return eventNotHandledErr;
  SInt32 mainTab = 0;
  if (OSStatus err = GL_GetDialogItemValueByID(dialog, Item(kBZ_MainTabItem), &mainTab); err != noErr) return err;
  const bool idle = gBZ.project == nullptr || gBZ.project->state.exec < kBZ_ProjStateBeingOpened;
  if (mainTab == kProcessPane && idle) GL_ActivateDialogItemByID(dialog, Item(kBZ_ExampleButtonItem), true);
  return eventNotHandledErr;
}

OSStatus BZ_ShowExample(WindowRef dialog) {
  if (dialog == nullptr) return paramErr;
  SInt32 methodTab = 0;
  OSStatus err = GL_GetDialogItemValueByID(dialog, Item(kBZ_MethodTabItem), &methodTab);
  if (err != noErr || methodTab == kVarBrTab) return err;
  if (WindowRef open = BZ_GetExampleWindow()) {
    SelectWindow(open);
    return noErr;
  }
  WindowRef window = nullptr;
  if ((err = CreateWindowFromNib(gBZ.nibRef, CFSTR("Example"), &window)) != noErr) return err;
  EventHandlerRef handler = nullptr;
  err = BZ_SetExampleImageWellBackground(window);
  if (err == noErr) err = BZ_SetExamplePictures(window);
  if (err == noErr) {
    static const EventTypeSpec closeEvent{kEventClassWindow, kEventWindowClose};
    err = InstallEventHandler(GetWindowEventTarget(window), BZ_ExampleWindowEventHandler, 1, &closeEvent, window, &handler);
  }
  if (err != noErr) {
    DisposePictures();
    DisposeWindow(window);
    return err;
  }
  const Point saved = gBZ.savedWindowLoc[kBZ_ExampleWindowID];
  if (saved.h != 0 || saved.v != 0) GL_PositionWindow(window, saved);
  SelectWindow(window);
  ShowWindow(window);
  return GL_ActivateDialogItemByID(dialog, Item(kBZ_ExampleButtonItem), false);
}

OSStatus BZ_ActivateExampleButton(WindowRef dialog) {
  if (dialog == nullptr) return noErr;
  bool exists = false;
  OSStatus err = ExampleExists(dialog, &exists);
  if (err != noErr) return err;
  WindowRef example = BZ_GetExampleWindow();
  if (exists) return GL_ActivateDialogItemByID(dialog, Item(kBZ_ExampleButtonItem), example == nullptr);
  err = GL_ActivateDialogItemByID(dialog, Item(kBZ_ExampleButtonItem), false);
  if (err == noErr && example != nullptr) err = GL_SendWindowCloseEvent(example);
  return err;
}
