// The application's spine: start-up, event handler, timers, end of a run and shut-down.
#include "app/app_startup.h"

#include "app/about_box.h"
#include "app/app_engine_host.h"
#include "app/app_menus.h"
#include "app/app_preferences.h"
#include "app/apple_events.h"
#include "app/custom_events.h"
#include "app/error_display.h"
#include "app/log_contents.h"
#include "methods/logo_stage.h"
#include "methods/average_stage.h"
#include "app/prefs_dialog.h"
#include "app/status_window.h"
#include "app/window_lookup.h"
#include "dialog/busy_indicators.h"
#include "dialog/progress_display.h"
#include "dialog/project_dialog.h"
#include "dialog/shortcuts_window.h"
#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "methods/noise_reduction_stage.h"
#include "methods/noise_tables.h"
#include "general/error_keys.h"
#include "general/file_layer.h"
#include "general/processor_info.h"
#include "general/unicode_strings.h"
#include "methods/varbr_measuring_stage.h"
#include "movie/movie_queries.h"
#include "outliers/outlier_stage.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/formatter.h"
#include "platform/core/clock.h"
#include "platform/core/gestalt.h"
#include "platform/core/multiprocessing.h"
#include "platform/core/navigation_services.h"
#include "platform/core/theme_cursors.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/ui/application.h"
#include "platform/ui/help_book.h"
#include "platform/ui/nib_controls.h"
#include "toolkit/edit_text_alerts.h"
#include "toolkit/events_clicks_sounds.h"
#include "toolkit/menus.h"
#include "toolkit/windows.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

EventHandlerRef gAppHandler = nullptr;
bool gMainTaskEnded = true;

void Trace(const char *line) {
  std::fputs(line, stdout);
  std::fflush(stdout);
}

CFStringRef CopyLocalized(CFStringRef key) {
  return CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
}

OSStatus PostToMainTask(OSStatus code) {
  return MPNotifyQueue(gBZ.mainTaskData.inputQueue, reinterpret_cast<void *>(intptr_t(kBZ_MainThreadTaskType)),
                       gBZ.project, reinterpret_cast<void *>(intptr_t(code)));
}

// Asks before a running project is given up; a time-out keeps it running.
void ConfirmQuit() {
  DialogItemIndex answer = kAlertStdAlertOKButton;
  const bool executing = gBZ.project != nullptr && gBZ.project->state.exec == kBZ_ProjStateExecuting;
  if (executing) {
    CFStringRef yes = CopyLocalized(CFSTR("BZ Yes Quit")), no = CopyLocalized(CFSTR("BZ Dont Quit"));
    CFStringRef message = CopyLocalized(CFSTR("BZ Are You Sure"));
    CFStringRef explanation = CopyLocalized(CFSTR("BZ Running Project Lost"));
    OSStatus err = DI_StandardAlertTwoButtonsCancelOnTimeOut(yes, no, message, explanation, 10, &answer);
    for (CFStringRef s : {yes, no, message, explanation}) CFRelease(s);
    if (err != noErr) {
      BZ_ShowError(err);
      return;
    }
  }
  if (answer != kAlertStdAlertOKButton) return;
  if (executing) {
    OSStatus err = PostToMainTask(kBZ_AppQuitMessage);
    if (err != noErr) BZ_ShowError(err);
  }
  gBZ.startQuitting = true;
}

OSStatus HandleCommand(const HICommand &command) {
  if (BZ_IsFileCommandID(command.commandID)) {
    BZ_HandleFileMenu(command.commandID);
    return noErr;
  }
  if (GL_IsEditCommandID(command.commandID)) {
    BZ_HandleEditMenu(command.commandID);
    return noErr;
  }
  switch (command.commandID) {
    case 'SLog':
      if (OSStatus err = BZ_ShowHideLog(); err != noErr) BZ_ShowError(err);
      return noErr;
    case 'MDtF':
      SelectWindow(BZ_GetProjDlgWindow());
      return eventNotHandledErr;
    case 'PKSc':
      if (WindowRef shortcuts = BZ_GetShortcutsWindow()) {
        GL_SendWindowCloseEvent(shortcuts);
        return noErr;
      }
      return BZ_CreateShortcutsWindow(gBZ.savedWindowLoc[kBZ_ShortcutsWindowID]);
    case kHICommandPreferences:
      if (OSStatus err = BZ_PrefsDialog(); err != noErr) BZ_ShowError(err);
      return noErr;
    case kHICommandQuit:
      ConfirmQuit();
      return noErr;
    case kHICommandAbout:
      return BZ_ShowAboutBox();
    default:
      return eventNotHandledErr;
  }
}

// The end of an executed project that the main task posted.
void FinishRun(BZ_ProjPtr project) {
  const BZ_ExecuteState exec = project->state.exec;
  if (exec == kBZ_ProjStateFinished) {
    Trace("KBZ: calling BZ_SaveTargetMovies\n");
    const OSStatus saveErr = BZ_SaveTargetMovies(project);
    if (saveErr != noErr) BZ_ShowError(saveErr);
    project->state.suspendState = kBZ_SuspendedSilently;
    if (OSStatus err = project->state.error; err != noErr) {
      BZ_ShowError(err);
      project->state.error = noErr;
    } else if (gBZ.error == noErr && saveErr == noErr) {
      // A run whose movie could not be saved whole (a full disk during the sound copy) is no success.
      BZ_AppPrefs prefs{};
      BZ_GetAppPrefs(&prefs);
      Trace("KBZ: calling GL_PlaySystemSoundByName\n");
      MP_DelayMillisec(10);
      OSStatus err = GL_PlaySystemSoundByName(prefs.successSound);
      std::printf("KBZ: error from GL_PlaySystemSoundByName = %ld\n", long(err));
      if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
      if (err != noErr) BZ_ShowError(err);
    }
    if (project->info.settings.output.export_) {
      Trace("KBZ: calling BZ_MovieExportToDataRef\n");
      if (OSStatus err = BZ_MovieExportToDataRef(project); err != noErr) BZ_ShowError(err);
    }
    BZ_SetProjectMessageInLog(CFSTR(" project finished."));
  } else {
    BZ_DeleteProjectFiles(project);
    if (exec == kBZ_ProjStateCanceled) BZ_SetProjectMessageInLog(CFSTR("Project canceled by user.\r"));
    else if (exec == kBZ_ProjStateAppQuitting) BZ_SetProjectMessageInLog(CFSTR("Project canceled because app quit.\r"));
  }
  BZ_DisposeProject(BZ_GetProjDlgWindow());
  if (OSStatus err = RestoreApplicationDockTileImage(); err != noErr) BZ_ShowError(err);
  BZ_UpdateStatus(true);
  if (exec != kBZ_ProjStateAppQuitting) BZ_ReinitDialog(BZ_GetProjDlgWindow());
}

// SIGINT, SIGTERM and the end of the desktop session arrive as the quit Apple event.
void QuitRequestedFromOutside() {
  AppleEvent quit{};
  if (AECreateAppleEvent(kCoreEventClass, kAEQuitApplication, nullptr, 0, 0, &quit) == noErr) PL_ProcessAppleEvent(&quit);
  AEDisposeDesc(&quit);
}

// The program's file arguments (the command line, the desktop's open requests), handed to the
// open-documents handler once the event loop runs. Its result would go back to the sender of an Apple
// event; here nobody else would tell the user that a file could not be opened, so the error is shown as
// well as traced.
AppleEvent gOpenDocuments{};
void OpenDocumentsOnceRunning(EventLoopTimerRef timer, void *) {
  RemoveEventLoopTimer(timer);
  const OSErr err = PL_ProcessAppleEvent(&gOpenDocuments);
  AEDisposeDesc(&gOpenDocuments);
  if (err != noErr) {
    std::printf("KBZ: opening the documents of the command line, error # %d\n", int(err));
    BZ_ShowError(err);
  }
}

// Preferences that could not be read were kept aside and the defaults are in use: the user is told once
// the main window is up, and the log keeps the same line. Start-up goes on whatever the answer.
void TellOfDamagedPreferences() {
  std::string keptAs;
  if (!PL_CFPreferencesWasDamaged(kCFPreferencesCurrentApplication, &keptAs)) return;
  CFStringRef format = CopyLocalized(CFSTR("BZ Prefs damaged"));
  CFStringRef place = CFStringCreateWithCString(nullptr, keptAs.empty() ? "-" : keptAs.c_str(), kCFStringEncodingUTF8);
  CFStringRef message = CFStringCreateWithFormat(nullptr, nullptr, format, place);
  const std::string line = PL_CFStringToUTF8(message) + "\r\r";
  BZ_AddLineToLog(line.c_str());
  DI_StandardAlertOneButton(kAlertCautionAlert, nullptr, message, nullptr, 60);
  for (CFStringRef s : {format, place, message})
    if (s != nullptr) CFRelease(s);
}

// The window manager's close button of the project dialog asks to quit, confirmation included; the window
// itself stays until shut-down disposes of it.
OSStatus ProjDlgCloseQuits(EventHandlerCallRef, EventRef, void *) {
  BZ_SendQuitEvent();
  return noErr;
}

}  // namespace

int BZ_Main(int argc, char **argv) {
  static int sArgc;
  sArgc = argc;
  PL_CreateApplication(&sArgc, argv);
  PL_SetQuitRequestProc(QuitRequestedFromOutside);
  // A new start in the same process (tests) begins with clear flags and no stale quit request.
  gBZ.startQuitting = false;
  gBZ.done = false;
  gBZ.error = noErr;
  gBZ.taskError = noErr;
  RunCurrentEventLoop(kEventDurationNoWait);

  gBZ.switchedIn = true;
  gBZ.project = new BZ_Project();
  Trace("\n\nKBZ: starting up, basic logging on, checking environment\n");
  std::printf("Size of project = %ld, size of BZ global = %ld\n", long(sizeof(BZ_Project)), long(sizeof(BZ_Global)));
  OSStatus err = BZ_CheckEnvironment();
  if (err != noErr) {
    BZ_ShowError(err);
    return 0;
  }
  Trace("KBZ: initializing application\n");
  err = BZ_InitApp();
  if (err != noErr) {
    BZ_ShowError(err);
    return 0;
  }
  if (argc > 1 && PL_CreateOpenDocumentsEvent(argv + 1, argc - 1, &gOpenDocuments) == noErr)
    InstallEventLoopTimer(GetCurrentEventLoop(), 0, 0, OpenDocumentsOnceRunning, nullptr, nullptr);
  Trace("KBZ: starting event loop\n\n");
  RunApplicationEventLoop();
  err = BZ_Shutdown();
  if (err != noErr) BZ_ShowError(err);
  // The shut-down wrote the preferences; the copies held in memory go with the program.
  PL_CFPreferencesForgetAll();
  if (!gMainTaskEnded) {
    // The main task may still post to what shut-down left alive; ending here keeps it from meeting
    // destroyed objects, and a thread still running could not be joined at exit.
    std::fflush(nullptr);
    _Exit(0);
  }
  return 0;
}

OSStatus BZ_CheckEnvironment() {
  SInt32 value = 0;
  OSStatus err = Gestalt(gestaltSystemVersion, &value);
  if (err != noErr) return err;
  gBZ.systemVersion = value;
  if (value < 0x1040) return kGL_BadSystemErr;
  if ((err = Gestalt(gestaltSystemVersionMajor, &gBZ.systemVersionMajor)) != noErr) return err;
  if ((err = Gestalt(gestaltSystemVersionMinor, &gBZ.systemVersionMinor)) != noErr) return err;
  if ((err = Gestalt(gestaltSystemVersionBugFix, &gBZ.systemVersionBugFix)) != noErr) return err;
  if ((err = Gestalt(gestaltPhysicalRAMSizeInMegabytes, &value)) != noErr) return err;
  gBZ.physRamSize = SInt64(value) << 20;
  // Tasks are always available here.
  gBZ.numProcessors = MPProcessorsScheduled();
  GL_GetProcessorInfo(&gBZ.procInfo);
  if ((err = GL_GetSystemTextEncoding(&gBZ.sysTextEnc)) != noErr) return err;
  if ((err = NavLoad()) != noErr) return err;
  gBZ.qtVersion = QT_GetQTVersion();
  if (gBZ.qtVersion < 0x0700) return kGL_BadSystemErr;
  return EnterMovies();
}

OSStatus BZ_InitMainMenus() {
  OSStatus err = GL_SetMenuBarFromNibByName(CFSTR("BZ main"), CFSTR("MenuBar"));
  if (err != noErr) return err;
  EnableMenuCommand(nullptr, kHICommandPreferences);
  return BZ_InitPreviewMenu();
}

OSStatus BZ_InstallAEHandlers() { return BZ_InstallRequiredAEHandlers(); }

OSStatus BZ_InstallAppTimers() {
  OSStatus err = InstallEventLoopTimer(GetCurrentEventLoop(), 1.0, 1.0, BZ_OneSecondTimer, nullptr,
                                       &gBZ.oneSecondTimerRef);
  if (err != noErr) return err;
  return InstallEventLoopTimer(GetCurrentEventLoop(), 5.0, 5.0, BZ_FiveSecondTimer, nullptr, &gBZ.fiveSecondTimerRef);
}

void BZ_DisposeAppTimers() {
  if (gBZ.oneSecondTimerRef != nullptr) RemoveEventLoopTimer(gBZ.oneSecondTimerRef);
  gBZ.oneSecondTimerRef = nullptr;
}

void BZ_InitDlgTaskData() {
  BZ_DlgTaskData &d = gBZ.dlgTaskData;
  BZ_AvInitDlgTaskData(&d.avDlgTaskData);
  BZ_RnInitDlgTaskData(&d.rnDlgTaskData);
  BZ_VbInitDlgTaskData(&d.vbDlgTaskData);
  BZ_OuInitDlgTaskData(&d.ouDlgTaskData);
  BZ_RlInitDlgTaskData(&d.rlDlgTaskData);
}

OSStatus BZ_InitApp() {
  OSStatus err = CreateNibReference(CFSTR("BZ main"), &gBZ.nibRef);
  if (err != noErr) return err;
  if ((err = BZ_InitMainMenus()) != noErr) return err;
  if ((err = GL_GetAppRef(&gBZ.appRef)) != noErr) return err;
  BZ_GetWindowLocations();
  if ((err = AHRegisterHelpBook(&gBZ.appRef)) != noErr) return err;
  gBZ.compStartupDate = CFAbsoluteTimeGetCurrent() - double(GL_GetTimeSinceStartupAsSec());
  gBZ.appVersion = CFBundleGetVersionNumber(CFBundleGetMainBundle());
  BZ_FixPreferences();
  if ((err = BZ_CreateStatusWindow(gBZ.savedWindowLoc[kBZ_StatusWindowID])) != noErr) return err;
  if ((err = BZ_CreateLogWindow()) != noErr) return err;
  if ((err = BZ_InstallAEHandlers()) != noErr) return err;
  if ((err = BZ_InstallAppTimers()) != noErr) return err;
  gBZ.appTargetRef = GetApplicationEventTarget();
  static const EventTypeSpec kinds[] = {
      {kEventClassCommand, kEventCommandProcess}, {kEventClassMenu, kEventMenuEnableItems},
      {kEventClassApplication, kEventAppActivated}, {kEventClassApplication, kEventAppDeactivated},
      {kBZ_ProjEventClass, 2000}, {kBZ_ProjEventClass, 2001}, {kBZ_ProjEventClass, 2006},
      {kBZ_ProjEventClass, 2002}, {kBZ_ProjEventClass, 2003}, {kBZ_ProjEventClass, 2004},
      {kBZ_ProjEventClass, 2005}, {kBZ_ProjEventClass, 2007}, {kBZ_ProjEventClass, 2018},
      {kBZ_ProjEventClass, 2019}, {kBZ_ProjEventClass, 2008}, {kBZ_ProjEventClass, 2009},
      {kBZ_ProjEventClass, 2010}, {kBZ_ProjEventClass, 2011}, {kBZ_ProjEventClass, 2012},
      {kBZ_ProjEventClass, 2013}, {kBZ_ProjEventClass, 2014}, {kBZ_ProjEventClass, 2016},
      {kBZ_ProjEventClass, 2017}, {kBZ_ProjEventClass, 2015}, {kBZ_ProjEventClass, 2020},
      {kBZ_ProjEventClass, 2021}};
  // One handler per process, also when start-up runs again in it.
  if (gAppHandler != nullptr) RemoveEventHandler(gAppHandler);
  if ((err = InstallEventHandler(gBZ.appTargetRef, BZ_AppEventHandler, sizeof kinds / sizeof kinds[0], kinds, nullptr,
                                 &gAppHandler)) != noErr)
    return err;
  // The application's handler serves every custom event of the engine itself (BZ_HandleCustomApplicationEvent),
  // so the engine's own handler of the headless runs stays out.
  BZ_InstallStageEntryPoints();
  if ((err = MPCreateQueue(&gBZ.mainTaskData.termQueue)) != noErr) return err;
  Trace("KBZ: opening project dialog\n");
  BZ_InitDlgTaskData();
  BZ_InstallAppEngineHost();
  if ((err = BZ_OpenProjectDialog()) != noErr) return err;
  static const EventTypeSpec kClose{kEventClassWindow, kEventWindowClose};
  if ((err = InstallEventHandler(GetWindowEventTarget(BZ_GetProjDlgWindow()), ProjDlgCloseQuits, 1, &kClose, nullptr,
                                 nullptr)) != noErr)
    return err;
  if ((err = BZ_CreateMainTask(gBZ.project)) != noErr) return err;
  gMainTaskEnded = false;
  srandom(GL_GetTimeSinceStartupAsSec());
  if ((err = BZ_CreateNoiseTablesTask()) != noErr) return err;
  TellOfDamagedPreferences();
  return noErr;
}

OSStatus BZ_AppEventHandler(EventHandlerCallRef, EventRef event, void *) {
  OSStatus result = eventNotHandledErr;
  const UInt32 eventClass = GetEventClass(event), kind = GetEventKind(event);
  if (eventClass == kEventClassCommand && kind == kEventCommandProcess) {
    HICommand command{};
    if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command) ==
        noErr)
      result = HandleCommand(command);
  } else if (eventClass == kEventClassMenu && kind == kEventMenuEnableItems) {
    BZ_UpdateMenus();
  } else if (eventClass == kEventClassApplication && kind == kEventAppActivated) {
    BZ_ActivateApp();
  } else if (eventClass == kEventClassApplication && kind == kEventAppDeactivated) {
    BZ_DeactivateApp();
  } else if (eventClass == kBZ_ProjEventClass) {
    BZ_HandleCustomApplicationEvent(event, kind);
    result = noErr;
  }
  return result;
}

OSStatus BZ_ActivateApp() {
  gBZ.switchedIn = true;
  SetThemeCursor(kThemeArrowCursor);
  return BZ_ProjDlgHandleAppActivate(BZ_GetProjDlgWindow());
}

OSStatus BZ_DeactivateApp() {
  gBZ.switchedIn = false;
  return BZ_ProjDlgHandleAppActivate(BZ_GetProjDlgWindow());
}

void BZ_OneSecondTimer(EventLoopTimerRef, void *) {
  if (gBZ.startQuitting) {
    OSStatus err = BZ_CloseAllWindows();
    OSStatus none = noErr;
    if (err != noErr) gBZ.error.compare_exchange_strong(none, err);
  }
  if (gBZ.done && (gBZ.project == nullptr || gBZ.project->state.exec <= kBZ_ProjStateBeingOpened))
    QuitApplicationEventLoop();
  if (gBZ.switchedIn) BZ_ShowErrorInEventLoop();
  BZ_WaitOnResultQueue();
  if (!gBZ.done && !gBZ.startQuitting) {
    BZ_ShowProjectProgressAndError();
    BZ_ActivateChasingArrows();
    BZ_UpdateStatus(false);
  }
}

void BZ_FiveSecondTimer(EventLoopTimerRef, void *) {}

void BZ_ShowErrorInEventLoop() {
  // Taken before it is shown, so that nothing that runs while the alert is up shows it again.
  if (OSStatus error = gBZ.error.exchange(noErr); error != noErr) {
    BZ_ShowError(error);
    gBZ.notified = false;
  }
  OSStatus none = noErr;
  if (gBZ.error == noErr) gBZ.error.compare_exchange_strong(none, gBZ.taskError.exchange(noErr));
}

void BZ_ShowProjectProgressAndError() {
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return;
  if (gBZ.error == noErr && project->state.error != noErr && !project->state.errorShown) {
    std::printf("KBZ: BZ_ShowProjectProgressAndError: error = %ld\n", long(project->state.error));
    gBZ.error = OSStatus(project->state.error);
    project->state.errorShown = true;
  }
  const BZ_ExecuteState exec = project->state.exec;
  if (gBZ.error == noErr && exec >= kBZ_ProjStateAnalyzingMovie && exec <= kBZ_ProjStateExecuting)
    gBZ.error = BZ_UpdateProgressBar();
}

void BZ_WaitOnResultQueue() {
  if (gBZ.mainTaskData.outputQueue == 0) return;
  void *projectWord = nullptr, *codeWord = nullptr;
  if (MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, &projectWord, &codeWord, kDurationImmediate) != noErr)
    return;
  // The whole number: 0x10000 is a failure too, and numbers beyond 16 bits keep their own key.
  if (const auto code = OSStatus(intptr_t(codeWord)); code != noErr) gBZ.error = code;
  auto *project = static_cast<BZ_ProjPtr>(projectWord);
  if (project != nullptr) FinishRun(project);
}

OSStatus BZ_CloseAllWindows() {
  if (gBZ.startQuitting) {
    gBZ.startQuitting = false;
    gBZ.done = true;
  }
  return noErr;
}

OSStatus BZ_SendQuitEvent() {
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeNone, &event);
  if (err != noErr) return err;
  HICommand command{};
  command.commandID = kHICommandQuit;
  err = SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
  if (err == noErr) err = PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  ReleaseEvent(event);
  return err;
}

OSStatus BZ_Shutdown() {
  Trace("KBZ: shutting down\n");
  OSStatus err = PostToMainTask(kBZ_AppQuitMessage);
  if (err != noErr) return err;
  for (int attempt = 0; attempt < 12 && gBZ.mainTaskData.ID != nullptr; ++attempt) {
    // Ten ticks, with the windows still answering.
    PL_RunEventLoopUntil([] { return false; }, 10.0 / 60.0);
    const OSStatus wait = BZ_WaitForMainTaskTermMessage(kDurationImmediate);
    if (wait != noErr && wait != kMPTimeoutErr) break;
  }
  // Only a task whose end has arrived lets its queues go; otherwise they stay for it to post to.
  gMainTaskEnded = gBZ.mainTaskData.ID == nullptr;
  if (gMainTaskEnded) MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
  // An open preferences dialog closes through its close handler, which saves what is pending.
  if (WindowRef prefs = BZ_GetPrefsWindow()) GL_SendWindowCloseEvent(prefs);
  DisposeNibReference(gBZ.nibRef);
  gBZ.nibRef = nullptr;
  OSStatus result = BZ_GetOpenWindowLocations();
  BZ_SetAppQuitMessageInLog();
  BZ_DisposeStatusWindow();
  BZ_DisposeLogWindow();
  if (gBZ.progrEvHandler != nullptr) {
    OSStatus removed = RemoveEventHandler(gBZ.progrEvHandler);
    gBZ.progrEvHandler = nullptr;
    if (result == noErr) result = removed;
  }
  BZ_DisposeDialog();
  BZ_SaveWindowLocations();
  Trace("KBZ: saved window locations\n");
  BZ_DisposeAppTimers();
  const SInt32 version = SInt32(gBZ.appVersion);
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &version);
  CFPreferencesSetAppValue(CFSTR("Version"), number, kCFPreferencesCurrentApplication);
  if (number != nullptr) CFRelease(number);
  CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication);
  NavUnload();
  return result;
}

Boolean BZ_MainTaskEnded() { return gMainTaskEnded; }
