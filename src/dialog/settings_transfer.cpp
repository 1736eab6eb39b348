// Settings transfer between the project dialog and the project.
#include "dialog/settings_transfer.h"

#include "engine/runtime/project_settings.h"
#include "engine/runtime/project_types.h"

OSStatus BZ_ProjDlgSaveProjSett(WindowRef window) {
  (void)window;  // the dialog's controls hold no settings of their own yet: the project's are current
  if (gBZ.project == nullptr) return noErr;
  BZ_SaveProjSett(&gBZ.project->info.settings);
  return noErr;
}
OSStatus BZ_ProjDlgGetSett(WindowRef) { return noErr; }
OSStatus BZ_ProjDlgUpdateSettingsInDlg(WindowRef) { return noErr; }
OSStatus BZ_ProjDlgInitSettingsInDlg(WindowRef) { return noErr; }
