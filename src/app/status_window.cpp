// The status window.
#include "app/status_window.h"

#include "app/window_lookup.h"
#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_types.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/window_refcons.h"
#include "platform/ui/text_views.h"
#include "toolkit/text_objects.h"
#include "toolkit/windows.h"

#include <string>

namespace {

constexpr HIViewID kStatusTextID{'Orl1', 2000};
// metal, compositing, standard handler
constexpr WindowAttributes kStatusWindowAttributes = 0x02080100;
constexpr TXNFrameOptions kStatusFrameOptions = 0x883;

// The flags live here from start-up on, so that setters called before the window exists are kept.
BZ_StatusData gStatus{{}, BZ_Status(-1), kBZ_SubStatusMain};
BZ_ActualStatus &gActual = gStatus.actualStatus;
BZ_Status &gSavedStatus = gStatus.savedStatus;
BZ_SubStatus &gSavedSubStatus = gStatus.savedSubStatus;

CFStringRef CopyLocalized(CFStringRef key) {
  return CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
}

BZ_WindowData *WindowData(WindowRef window) {
  return window != nullptr ? reinterpret_cast<BZ_WindowData *>(GetWRefCon(window)) : nullptr;
}

const char *StatusKey(BZ_Status status) {
  static const char *const keys[] = {"BZ Ready",      "BZ Analyzing",     "BZ Making random noise tables",
                                     "BZ Previewing", "BZ Processing",    "BZ Opening movie",
                                     "BZ Connecting to server", "BZ Quitting", "BZ Starting up project"};
  return status >= 0 && status <= kBZ_StartingupProject ? keys[status] : nullptr;
}

const char *StageKey(UInt32 stage) {
  switch (stage) {
    case 1: return "BZ Average";
    case 2: return "BZ Varying brightness";
    case 4:
    case 8: return "BZ Reduce noise";
    case 16: return "BZ Remove logo";
    default: return nullptr;
  }
}

UInt32 AutoSettStage() {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  return host != nullptr && host->getAutoSettStage != nullptr ? host->getAutoSettStage(host->refCon) : 0;
}

// Puts the text into the window's text view; an unchanged text is drawn again without being set anew,
// so that a draw-content event never sets off another one.
OSStatus ShowStatusText(CFStringRef text) {
  WindowRef window = BZ_GetStatusWindow();
  if (window == nullptr) return noErr;
  HIViewRef view = nullptr;
  OSStatus err = HIViewFindByID(HIViewGetRoot(window), kStatusTextID, &view);
  if (err != noErr) return err;
  CFStringRef current = nullptr;
  TXNObject object = HITextViewGetTXNObject(view);
  if (TXN_GetDataAsCFStr(object, kTXNStartOffset, kTXNEndOffset, &current) == noErr && current != nullptr &&
      CFStringCompare(current, text, 0) == kCFCompareEqualTo) {
    CFRelease(current);
  } else {
    if (current != nullptr) CFRelease(current);
    if ((err = TXN_SetHITextViewReadOnlyText(window, kStatusTextID, text)) != noErr) return err;
  }
  HIViewSetNeedsDisplay(view, true);
  return HIViewRender(view);
}

}  // namespace

OSStatus BZ_CreateStatusWindow(Point savedLoc) {
  const Rect bounds{50, 320, 130, 520};
  WindowRef window = nullptr;
  OSStatus err = CreateNewWindow(kFloatingWindowClass, kStatusWindowAttributes, &bounds, &window);
  if (err != noErr) return err;
  if ((err = BZ_InitStatusWindow(window)) != noErr) {
    delete WindowData(window);
    DisposeWindow(window);
    return err;
  }
  GL_PositionWindow(window, savedLoc);
  ShowWindow(window);
  return noErr;
}

OSStatus BZ_InitStatusWindow(WindowRef window) {
  if (window == nullptr) return paramErr;
  PL_CFScoped<CFStringRef> title(CopyLocalized(CFSTR("BZ Status window name")));
  OSStatus err = SetWindowTitleWithCFString(window, title.get());
  if (err != noErr) return err;
  Rect port{};
  if ((err = GetWindowBounds(window, kWindowContentRgn, &port)) != noErr) return err;
  const HIRect frame{{10, 0}, {CGFloat(port.right - port.left - 20), CGFloat(port.bottom - port.top)}};
  auto *record = new BZ_WindowData{};
  record->window = window;
  record->type = 'STTU';
  SetWRefCon(window, reinterpret_cast<SRefCon>(record));
  HIViewRef view = nullptr;
  if ((err = HITextViewCreate(&frame, 0, kStatusFrameOptions, &view)) != noErr) return err;
  record->textView = view;
  if ((err = HIViewAddSubview(HIViewGetRoot(window), view)) != noErr) return err;
  if ((err = HIViewSetID(view, kStatusTextID)) != noErr) return err;
  if ((err = HIViewSetFrame(view, &frame)) != noErr) return err;
  TXNObject object = HITextViewGetTXNObject(view);
  // The grey of the window's content shows through the text.
  const RGBColor grey{55000, 55000, 55000};
  if ((err = TXN_SetBackground(object, &grey)) != noErr) return err;
  if ((err = TXN_SetReadOnly(object, 0)) != noErr) return err;
  if ((err = TXN_SetSize(object, 9)) != noErr) return err;
  if ((err = TXN_SetFont(object, -5)) != noErr) return err;
  if ((err = TXN_SetReadOnly(object, 1)) != noErr) return err;
  if ((err = HIViewSetVisible(view, true)) != noErr) return err;
  record->data = &gStatus;
  gSavedStatus = BZ_GetStatus(BZ_GetActualStatus(), &gSavedSubStatus);
  if ((err = BZ_SetStatusStringNew(gSavedStatus, gSavedSubStatus)) != noErr) return err;
  static const EventTypeSpec kinds[] = {{kEventClassWindow, kEventWindowClose},
                                        {kEventClassWindow, kEventWindowActivated},
                                        {kEventClassWindow, kEventWindowDeactivated},
                                        {kEventClassWindow, kEventWindowDrawContent}};
  InstallEventHandler(GetWindowEventTarget(window), BZ_StatusWindowEventHandler, 4, kinds, window, nullptr);
  return noErr;
}

OSStatus BZ_StatusWindowEventHandler(EventHandlerCallRef, EventRef event, void *) {
  if (GetEventClass(event) != kEventClassWindow) return eventNotHandledErr;
  switch (GetEventKind(event)) {
    case kEventWindowDrawContent:
      BZ_UpdateStatus(true);
      return noErr;
    case kEventWindowClose:
      return noErr;  // the user cannot close it
    default:
      return eventNotHandledErr;
  }
}

BZ_Status BZ_GetStatus(BZ_ActualStatus *actualStatus, BZ_SubStatus *subStatus) {
  BZ_ActualStatus *actual = actualStatus != nullptr ? actualStatus : BZ_GetActualStatus();
  actual->numProjects = BZ_GetNumProjects();
  const BZ_ProjPtr project = gBZ.project;
  const BZ_ExecuteState exec = project != nullptr ? project->state.exec.load() : kBZ_ProjStateReady;
  BZ_Status status = kBZ_StatusReady;
  if (actual->numProjects >= 1)
    status = kBZ_Processing;
  else if (exec == kBZ_ProjStateAnalyzingMovie)
    status = kBZ_StatusAnalyzing;
  else if (exec == kBZ_ProjStatePreviewing)
    status = kBZ_StatusPreviewing;
  actual->quitting = gBZ.startQuitting || gBZ.done;
  if (actual->makingRandomNoiseTables)
    status = kBZ_StatusMakingRandomNoiseTables;
  else if (actual->openingMovie)
    status = kBZ_OpeningMovie;
  else if (actual->connectingToServer)
    status = kBZ_ConnectingToServer;
  else if (actual->quitting)
    status = kBZ_Quitting;
  BZ_SubStatus sub = kBZ_SubStatusMain;
  const BZ_ExecuteSubState subExec = project != nullptr ? project->state.subExec.load() : kBZ_ProjSubStateMain;
  if (status == kBZ_StatusAnalyzing && subExec == kBZ_ProjSubStateCalcAutoSett) sub = kBZ_SubStatusCalcAutosett;
  if (status == kBZ_StatusPreviewing && subExec == kBZ_ProjSubStateCalcPreview) sub = kBZ_SubStatusCalcPreview;
  if (subStatus != nullptr) *subStatus = sub;
  return status;
}

OSStatus BZ_UpdateStatus(Boolean always) {
  BZ_SubStatus sub = kBZ_SubStatusMain;
  const BZ_Status status = BZ_GetStatus(BZ_GetActualStatus(), &sub);
  OSStatus err = noErr;
  if (always || status != gSavedStatus || sub != gSavedSubStatus) err = BZ_SetStatusStringNew(status, sub);
  gSavedStatus = status;
  gSavedSubStatus = sub;
  return err;
}

void BZ_ForceStatusUpdate() { gSavedStatus = BZ_Status(-1); }

OSStatus BZ_SetStatusStringNew(BZ_Status status, BZ_SubStatus subStatus) {
  PL_CFScoped<CFMutableStringRef> text(CFStringCreateMutable(nullptr, 0));
  if (text.get() == nullptr) return memFullErr;
  auto append = [&](const char *key) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    PL_CFScoped<CFStringRef> line(CopyLocalized(k));
    CFRelease(k);
    CFStringAppend(text.get(), line.get());
  };
  if (const char *key = StatusKey(status)) append(key);
  if (subStatus == kBZ_SubStatusCalcPreview) {
    CFStringAppend(text.get(), CFSTR("\n"));
    append("BZ Calculating preview");
  } else if (subStatus == kBZ_SubStatusMain && status == kBZ_StatusAnalyzing) {
    CFStringAppend(text.get(), CFSTR("\n"));
    append("BZ Finding noise levels");
  } else if (subStatus == kBZ_SubStatusCalcAutosett) {
    CFStringAppend(text.get(), CFSTR("\n"));
    append("BZ Calculating automatic setting");
    CFStringAppend(text.get(), CFSTR("\n"));
    if (const char *stage = StageKey(AutoSettStage())) append(stage);
  }
  return ShowStatusText(text.get());
}

OSStatus BZ_SetStatusString(BZ_Status status, BZ_SubStatus subStatus) {
  static const char *const texts[] = {"Ready",      "Analyzing",  "Making random noise tables",
                                      "Previewing", "Processing", "Opening movie",
                                      "Connecting to server", "Quitting", "Starting up project"};
  std::string line = status >= 0 && status <= kBZ_StartingupProject ? texts[status] : "";
  if (subStatus == kBZ_SubStatusCalcPreview) {
    line += "\nCalculating preview";
  } else if (subStatus == kBZ_SubStatusMain && status == kBZ_StatusAnalyzing) {
    line += "\nFinding noise levels";
  } else if (subStatus == kBZ_SubStatusCalcAutosett) {
    line += "\nCalculating automatic setting";
    const UInt32 stage = AutoSettStage();
    if (stage == 1) line += "\nAverage";
    if (stage == 4 || stage == 8) line += "\nReduce noise";
    if (stage == 16) line += "\nRemove logo";
  }
  WindowRef window = BZ_GetStatusWindow();
  BZ_WindowData *record = WindowData(window);
  if (record == nullptr) return noErr;
  TXNObject object = HITextViewGetTXNObject(record->textView);
  OSStatus err = TXN_SetReadOnlyText(object, line.data(), long(line.size()));
  if (err == noErr) err = TXN_SetReadOnly(object, 0);
  if (err == noErr) err = TXN_SetSize(object, 9);
  if (err == noErr) err = TXN_SetFont(object, -5);
  if (err == noErr) err = TXN_SetReadOnly(object, 1);
  if (err == noErr) err = HIViewRender(record->textView);
  return err;
}

void BZ_SetConnectingToServer(Boolean flag) { gActual.connectingToServer = flag != 0; }
void BZ_SetOpeningMovie(Boolean flag) { gActual.openingMovie = flag != 0; }
void BZ_StatusSetMakingRandomNoiseTables(Boolean flag) { gActual.makingRandomNoiseTables = flag != 0; }

BZ_ActualStatus *BZ_GetActualStatus() { return &gActual; }

OSStatus BZ_DisposeStatusWindow() {
  WindowRef window = BZ_GetStatusWindow();
  if (window == nullptr) return noErr;
  GL_SaveWindowPosition(window, &gBZ.savedWindowLoc[kBZ_StatusWindowID]);
  delete WindowData(window);
  SetWRefCon(window, 0);
  DisposeWindow(window);
  gSavedStatus = BZ_Status(-1);
  return noErr;
}
