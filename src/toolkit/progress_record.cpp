// The progress record's display: bar value, title line, rate line, and the release of its pictures.
#include "toolkit/progress_record.h"

#include "engine/tasks/task_runtime.h"
#include "general/formatted_strings.h"
#include "general/processor_info.h"
#include "general/strings_text.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_date.h"
#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/core/quartz_images.h"
#include "platform/movie/decompression.h"
#include "platform/movie/movie_playback.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "platform/core/window_refcons.h"
#include "platform/core/windows.h"
#include "platform/ui/window_manager.h"
#include "toolkit/windows.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

HIViewID ItemOrOwn(const GL_ProgrData *p, SInt32 standAloneItem, HIViewID own) {
  return p->standAloneWindow ? HIViewID{kGL_ProgrDlgSignature, standAloneItem} : own;
}

OSStatus FindItem(WindowRef window, HIViewID id, HIViewRef *view) {
  return HIViewFindByID(HIViewGetRoot(window), id, view);
}

OSStatus IsItemDeterminate(WindowRef window, HIViewID id, Boolean *isDeterminate) {
  HIViewRef view = nullptr;
  OSStatus err = FindItem(window, id, &view);
  if (err != noErr) return err;
  Boolean indeterminate = false;
  err = GetControlData(view, kControlEntireControl, kControlProgressBarIndeterminateTag, sizeof indeterminate,
                       &indeterminate, nullptr);
  if (err == noErr) *isDeterminate = !indeterminate;
  return err;
}

OSStatus SetItemText(WindowRef window, HIViewID id, CFStringRef text) {
  HIViewRef view = nullptr;
  OSStatus err = FindItem(window, id, &view);
  if (err != noErr) return err;
  return HIViewSetText(view, text);
}

CFStringRef CopyLocalized(CFStringRef key) {
  return CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
}

// (SInt32)(x) truncated toward zero, without the undefined cast of a NaN or of a value out of range.
SInt32 TruncToSInt32(float x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0f) return std::numeric_limits<SInt32>::max();
  if (x <= -2147483648.0f) return std::numeric_limits<SInt32>::min();
  return SInt32(x);
}

void Release(CFTypeRef value) {
  if (value != nullptr) CFRelease(value);
}

}  // namespace

OSStatus GL_UpdateProgressBarValue(GL_ProgrData *progrData) {
  if (progrData == nullptr) return paramErr;
  const HIViewID barID = ItemOrOwn(progrData, kGL_ProgrDlgProgressBar, progrData->progrBarID);
  Boolean isDeterminate = false;
  OSStatus err = IsItemDeterminate(progrData->window, barID, &isDeterminate);
  if (err != noErr) return err;

  const float perc = progrData->percWorkDone.load();
  const float saved = progrData->savedPercWorkDone;
  const bool changed = std::isnan(perc) || std::isnan(saved) || perc != saved;
  if (!changed || !isDeterminate) return noErr;

  HIViewRef bar = nullptr;
  err = FindItem(progrData->window, barID, &bar);
  if (err != noErr) return err;
  const SInt32 max = GetControl32BitMaximum(bar);
  const SInt32 oldValue = TruncToSInt32(float(max) * saved);
  SInt32 newValue = TruncToSInt32(float(max) * perc);
  if (newValue < 0) newValue = 0;
  if (newValue > max) newValue = max;
  if (newValue != oldValue) SetControl32BitValue(bar, newValue);
  return noErr;
}

OSStatus GL_UpdateProgressBarTitle(GL_ProgrData *progrData, CFStringRef counterTitle, Boolean isDeterminate,
                                   CFAbsoluteTime *currentTime, CFAbsoluteTime *endTime) {
  if (progrData == nullptr || currentTime == nullptr || endTime == nullptr) return paramErr;
  const HIViewID lineID = ItemOrOwn(progrData, kGL_ProgrDlgTitleLine, progrData->progrBarTitleID);

  const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
  *currentTime = now;
  const float perc = progrData->percWorkDone.load();
  const float atSwitch = progrData->percWorkDoneAtSwitch;
  if (isDeterminate && double(perc) > double(atSwitch) + 0.01) {
    const float doneSinceSwitch = perc - atSwitch;
    *endTime = now + (now - progrData->switchTime.load()) * (1.0 - double(perc)) / double(doneSinceSwitch);
  } else {
    *endTime = kGL_UnknownEndTime;
  }
  const SInt32 count = progrData->count.load();
  if (*endTime == progrData->savedEndTime && count == progrData->savedCount) return noErr;

  HIViewRef line = nullptr;
  OSStatus err = FindItem(progrData->window, lineID, &line);
  if (err != noErr) return err;

  CFStringRef startStr = GL_CreateDateTimeCFStr(progrData->startTime.load(), kCFDateFormatterNoStyle,
                                                kCFDateFormatterMediumStyle);
  CFStringRef ofStr = CopyLocalized(CFSTR("GL of"));
  CFStringRef counterStr = CF_StringCreateWithFormat(CFSTR("%@ %ld %@ %ld"), counterTitle ? counterTitle : CFSTR(""),
                                                     count, ofStr, progrData->numParts);
  CFStringRef endStr = *endTime == kGL_UnknownEndTime
                           ? CFStringCreateCopy(nullptr, CFSTR("?"))
                           : GL_CreateDateTimeCFStr(*endTime, kCFDateFormatterNoStyle, kCFDateFormatterMediumStyle);
  if (startStr == nullptr || counterStr == nullptr || endStr == nullptr) err = memFullErr;

  CFMutableStringRef joined = nullptr;
  if (err == noErr) {
    GL_CFStringLE endLE{nullptr, endStr};
    GL_CFStringLE counterLE{&endLE, counterStr};
    GL_CFStringLE startLE{&counterLE, startStr};
    Rect box;
    GetControlBounds(line, &box);
    box.left = SInt16(box.left + 1);
    box.right = SInt16(box.right - 1);
    // The texts are measured in the window's port.
    GrafPtr savedPort = nullptr;
    GetPort(&savedPort);
    CGrafPtr windowPort = GetWindowPort(progrData->window);
    if (windowPort != nullptr) SetPort(windowPort);
    err = GL_FitCFStringsInLineBox(kThemeSmallSystemFont, &startLE, &box, 3, false, &joined);
    SetPort(savedPort);
    // Texts too wide even at the least spacing are shown all the same.
    if (err == kGL_StringsDoNotFitErr) err = noErr;
  }
  if (err == noErr) err = HIViewSetText(line, joined);

  Release(joined);
  Release(startStr);
  Release(ofStr);
  Release(counterStr);
  Release(endStr);
  return err;
}

void GL_UpdateProgressData(GL_ProgrData *progrData, CFAbsoluteTime currentTime, CFAbsoluteTime endTime) {
  if (progrData == nullptr) return;
  const float perc = progrData->percWorkDone.load();
  const SInt32 count = progrData->count.load();
  progrData->savedPercWorkDone = perc;
  progrData->savedEndTime = endTime;
  progrData->savedCount = count;
  if (SInt64(count) >= SInt64(progrData->savedCountForRate) + 10 &&
      currentTime >= progrData->prevTime + progrData->curSpeedInterval) {
    progrData->savedCountForRate = count;
    progrData->prevTime = currentTime;
    progrData->percWorkDoneAtPrevTime = perc;
  }
}

OSStatus GL_UpdateProgressRate(GL_ProgrData *progrData, CFAbsoluteTime currentTime, SInt32 curNumFrames,
                               SInt32 totalNumFrames, Boolean twoLines) {
  if (progrData == nullptr) return paramErr;
  if (progrData->prevTime == 0.0) return noErr;
  const SInt32 count = progrData->count.load();
  if (SInt64(count) < SInt64(progrData->savedCountForRate) + 10 ||
      currentTime - progrData->prevTime < progrData->curSpeedInterval)
    return noErr;

  const float perc = progrData->percWorkDone.load();
  const float doneSincePrev = perc - progrData->percWorkDoneAtPrevTime;
  const float current = float(double(doneSincePrev) / (currentTime - progrData->prevTime)) * float(totalNumFrames);
  double active = progrData->totalActiveTime + currentTime - progrData->switchTime.load();
  if (!(active >= 0.0)) active = 0.0;
  if (active > 4294967295.0) active = 4294967295.0;
  // Less than a whole second of work divides by zero, as the float division gives it.
  const float average = float(curNumFrames) / float(UInt32(active));

  const HIViewID rateID = ItemOrOwn(progrData, kGL_ProgrDlgExplanationText, progrData->rateID);
  HIViewRef view = nullptr;
  OSStatus err = FindItem(progrData->window, rateID, &view);
  if (err != noErr) return err;
  CFStringRef currentStr = CopyLocalized(CFSTR("GL current rate"));
  CFStringRef averageStr = CopyLocalized(CFSTR("GL average rate"));
  // The localised names go in as values, never as part of the format.
  CFStringRef text = CF_StringCreateWithFormat(twoLines ? CFSTR("%@ = %.2f fr/sec\n%@ = %.2f fr/sec")
                                                        : CFSTR("%@ = %.2f fr/sec, %@ = %.2f fr/sec"),
                                               currentStr, current, averageStr, average);
  err = text != nullptr ? HIViewSetText(view, text) : OSStatus(memFullErr);
  Release(text);
  Release(currentStr);
  Release(averageStr);
  return err;
}

OSStatus GL_UpdateProgressBar(GL_ProgrData *progrData, CFStringRef counterTitle) {
  if (progrData == nullptr) return paramErr;
  const HIViewID barID = ItemOrOwn(progrData, kGL_ProgrDlgProgressBar, progrData->progrBarID);
  Boolean isDeterminate = false;
  OSStatus err = IsItemDeterminate(progrData->window, barID, &isDeterminate);
  if (err != noErr) return err;
  err = GL_UpdateProgressBarValue(progrData);
  if (err != noErr) return err;
  CFAbsoluteTime now = 0.0, endTime = 0.0;
  err = GL_UpdateProgressBarTitle(progrData, counterTitle, isDeterminate, &now, &endTime);
  if (err != noErr) return err;
  UpdateControls(progrData->window, nullptr);
  GL_UpdateProgressData(progrData, now, endTime);
  return noErr;
}

OSStatus GL_ForceUpdateProgressBar(GL_ProgrData *progrData, CFStringRef counterTitle) {
  if (progrData == nullptr) return paramErr;
  progrData->savedPercWorkDone = -1.0f;
  progrData->savedEndTime = 0.0;
  progrData->savedCount = -1;
  return GL_UpdateProgressBar(progrData, counterTitle);
}

OSStatus GL_DisposeProgressData(GL_ProgrData *progrData, Boolean deletingShowSemaphore) {
  if (progrData == nullptr) return paramErr;
  GL_ProgrData &p = *progrData;
  if (p.smallImage != nullptr) {
    DisposeGWorld(p.smallImage);
    p.smallImage = nullptr;
  }
  if (p.cgImageRef != nullptr) {
    CGImageRelease(p.cgImageRef);
    p.cgImageRef = nullptr;
  }
  // The buffer goes after the world and the image over it.
  if (p.smallImageBuffer != nullptr) {
    DisposePtr(reinterpret_cast<Ptr>(p.smallImageBuffer));
    p.smallImageBuffer = nullptr;
  }
  if (p.seqID != 0) {
    CDSequenceEnd(p.seqID);
    p.seqID = 0;
  }
  if (p.dockTileImage != nullptr) {
    CGImageRelease(p.dockTileImage);
    p.dockTileImage = nullptr;
  }
  if (p.iconOverlayMask != nullptr) {
    CGImageRelease(p.iconOverlayMask);
    p.iconOverlayMask = nullptr;
  }
  if (p.dockTileImageBuffer != nullptr) {
    // The bitmap draws into this buffer: it must not outlive it.
    if (p.dockTileImageBitMap != nullptr) {
      CFRelease(p.dockTileImageBitMap);
      p.dockTileImageBitMap = nullptr;
    }
    DisposePtr(reinterpret_cast<Ptr>(p.dockTileImageBuffer));
    p.dockTileImageBuffer = nullptr;
  }
  if (p.dataProvider != nullptr) {
    CFRelease(p.dataProvider);
    p.dataProvider = nullptr;
  }
  if (p.dockTileImageDataProvider != nullptr) {
    CFRelease(p.dockTileImageDataProvider);
    p.dockTileImageDataProvider = nullptr;
  }
  if (p.genericRGB != nullptr) {
    CFRelease(p.genericRGB);
    p.genericRGB = nullptr;
  }
  if (!deletingShowSemaphore) return noErr;
  // The record ends: what a rebuild of the display would have re-used goes too.
  if (p.iconOverlay != nullptr) {
    CFRelease(p.iconOverlay);
    p.iconOverlay = nullptr;
  }
  if (p.iconOverlayBuffer != nullptr) {
    DisposePtr(reinterpret_cast<Ptr>(p.iconOverlayBuffer));
    p.iconOverlayBuffer = nullptr;
  }
  if (p.dockTileImageBitMap != nullptr) {
    CFRelease(p.dockTileImageBitMap);
    p.dockTileImageBitMap = nullptr;
  }
  return MP_DeleteSemaphore(&p.showSemaphore);
}

void GL_PlayProgrSound(GL_ProgrData *progrData) {
  if (progrData == nullptr || progrData->sndMovie == nullptr) return;
  GL_ProgrData &p = *progrData;
  if (p.switchedIn == nullptr || p.playSndPref == nullptr || !*p.switchedIn || !*p.playSndPref) return;
  Movie movie = p.sndMovie;
  const TimeValue duration = GetMovieDuration(movie);
  const TimeValue target = TimeValue(float(duration) * p.percWorkDone.load());
  if (p.endSndPlay >= target) return;
  // A segment plays through the call after it started: the next starts one call later.
  if (p.playingSnd) {
    p.playingSnd = false;
    return;
  }
  const TimeValue length = std::min<TimeValue>(2 * GetMovieTimeScale(movie), duration - target);
  SetMovieActiveSegment(movie, target, length);
  SetMovieTimeValue(movie, target);
  PrerollMovie(movie, target, fixed1);
  StartMovie(movie);
  p.endSndPlay = target + length;
  p.playingSnd = true;
}

// ---- The stand-alone progress window's items ----

namespace {

HIViewID DlgItem(SInt32 number) { return HIViewID{kGL_ProgrDlgSignature, number}; }

OSStatus CopyItemText(WindowRef window, HIViewID id, CFStringRef *text) {
  HIViewRef view = nullptr;
  OSStatus err = FindItem(window, id, &view);
  if (err != noErr) return err;
  return CopyControlTitleAsCFString(view, text);
}

// The window's close event, sent to the window's own target so that its handlers and the standard one
// close it.
OSStatus SendWindowCloseEvent(WindowRef window) {
  OSStatus err = GL_SendWindowCloseEvent(window);
  return err == eventNotHandledErr ? OSStatus(noErr) : err;
}

bool EqualIgnoringCase(CFStringRef a, CFStringRef b) {
  return a != nullptr && b != nullptr && CFStringCompare(a, b, kCFCompareCaseInsensitive) == kCFCompareEqualTo;
}

}  // namespace

OSStatus GL_OpenProgressDialog(IBNibRef nibRef, CFStringRef title, CFStringRef header, Boolean suspended,
                               WindowRef *window) {
  if (window == nullptr) return paramErr;
  *window = nullptr;
  WindowRef w = nullptr;
  OSStatus err = CreateWindowFromNib(nibRef, CFSTR("Progress"), &w);
  if (err != noErr) return err;
  err = SetWindowTitleWithCFString(w, title != nullptr ? title : CFSTR(""));
  if (err != noErr) {
    DisposeWindow(w);
    return err;
  }
  err = SetItemText(w, DlgItem(kGL_ProgrDlgHeaderText), header != nullptr ? header : CFSTR(""));
  if (err == noErr) {
    // Empty texts are a nicety: the window works without them.
    SetItemText(w, DlgItem(kGL_ProgrDlgMessageText), CFSTR(""));
    SetItemText(w, DlgItem(kGL_ProgrDlgExplanationText), CFSTR(""));
    SetItemText(w, DlgItem(kGL_ProgrDlgTitleLine), CFSTR(""));
    CFStringRef buttonTitle = CopyLocalized(suspended ? CFSTR("GL resume") : CFSTR("GL suspend"));
    err = buttonTitle != nullptr ? SetItemText(w, DlgItem(kGL_ProgrDlgSuspendButton), buttonTitle)
                                 : OSStatus(memFullErr);
    Release(buttonTitle);
  }
  if (err == noErr) err = GL_SetDialogProgressBarState(w, !suspended);
  if (err != noErr) {
    DisposeWindow(w);
    return err;
  }
  *window = w;
  return noErr;
}

OSStatus GL_CloseProgressDialog(GL_ProgrData *progrData) {
  if (progrData == nullptr) return paramErr;
  // This platform shows no sheets; one over the window goes with it.
  if (progrData->sheet != nullptr) DisposeWindow(progrData->sheet);
  progrData->sheet = nullptr;
  if (progrData->window != nullptr) DisposeWindow(progrData->window);
  progrData->window = nullptr;
  return GL_DisposeProgressData(progrData, true);
}

OSStatus GL_SetDialogProgressBarState(WindowRef window, Boolean isDeterminate) {
  HIViewRef bar = nullptr;
  OSStatus err = FindItem(window, DlgItem(kGL_ProgrDlgProgressBar), &bar);
  if (err != noErr) return err;
  const Boolean indeterminate = !isDeterminate;
  return SetControlData(bar, kControlEntireControl, kControlProgressBarIndeterminateTag, sizeof indeterminate,
                        &indeterminate);
}

OSStatus GL_GetDialogProgressBarState(WindowRef window, Boolean *isDeterminate) {
  if (isDeterminate == nullptr) return paramErr;
  return IsItemDeterminate(window, DlgItem(kGL_ProgrDlgProgressBar), isDeterminate);
}

OSStatus GL_SetProgressMessage(WindowRef window, CFStringRef message) {
  if (window == nullptr) return noErr;
  return SetItemText(window, DlgItem(kGL_ProgrDlgMessageText), message);
}

OSStatus GL_SetProgressExplanation(WindowRef window, CFStringRef explanation) {
  if (window == nullptr) return noErr;
  return SetItemText(window, DlgItem(kGL_ProgrDlgExplanationText), explanation);
}

OSStatus GL_IsJobSuspended(WindowRef window, Boolean *isSuspended) {
  if (isSuspended == nullptr) return paramErr;
  CFStringRef text = nullptr;
  OSStatus err = CopyItemText(window, DlgItem(kGL_ProgrDlgSuspendButton), &text);
  if (err != noErr) return err;
  // The button of a suspended job offers to resume it; "Suspended" is accepted as well.
  CFStringRef resume = CopyLocalized(CFSTR("GL resume"));
  *isSuspended = EqualIgnoringCase(text, CFSTR("Suspended")) || EqualIgnoringCase(text, CFSTR("Resume")) ||
                 EqualIgnoringCase(text, resume);
  Release(resume);
  Release(text);
  return noErr;
}

OSStatus GL_SuspendTempl(GL_ProgrData *progrData) {
  if (progrData == nullptr) return paramErr;
  OSStatus err = SetItemText(progrData->window, DlgItem(kGL_ProgrDlgSuspendButton), CFSTR("Resume"));
  if (err == noErr) err = GL_SetDialogProgressBarState(progrData->window, false);
  if (err != noErr) return err;
  progrData->totalActiveTime += std::floor(CFAbsoluteTimeGetCurrent()) - progrData->switchTime.load();
  return noErr;
}

OSStatus GL_ResumeTempl(GL_ProgrData *progrData) {
  if (progrData == nullptr) return paramErr;
  progrData->switchTime = CFAbsoluteTimeGetCurrent();
  progrData->percWorkDoneAtSwitch = progrData->percWorkDone.load();
  progrData->prevTime = 0.0;
  OSStatus err = SetItemText(progrData->window, DlgItem(kGL_ProgrDlgSuspendButton), CFSTR("Suspend"));
  if (err == noErr) err = GL_SetDialogProgressBarState(progrData->window, true);
  return err;
}

OSStatus GL_SetPercFinishedInDialogTempl(WindowRef window) {
  CFStringRef text = CF_StringCreateWithFormat(CFSTR("%ld%% finished"), 0);
  if (text == nullptr) return memFullErr;
  OSStatus err = SetItemText(window, DlgItem(kGL_ProgrDlgExplanationText), text);
  CFRelease(text);
  return err;
}

OSStatus GL_HandleProgrDlgControlHit(WindowRef window, HIViewID controlID, GL_ProgrData *progrData) {
  if (controlID.signature != kGL_ProgrDlgSignature) return noErr;
  if (controlID.id == kGL_ProgrDlgCloseButton) return SendWindowCloseEvent(window);
  if (controlID.id != kGL_ProgrDlgSuspendButton) return noErr;
  CFStringRef text = nullptr;
  OSStatus err = CopyItemText(window, controlID, &text);
  if (err != noErr) return err;
  const bool suspend = EqualIgnoringCase(text, CFSTR("Suspend"));
  Release(text);
  return suspend ? GL_SuspendTempl(progrData) : GL_ResumeTempl(progrData);
}

OSStatus GL_ProgrDlgEventHandlerTempl(EventHandlerCallRef, EventRef event, void *userData) {
  auto *progrData = static_cast<GL_ProgrData *>(userData);
  if (event == nullptr || progrData == nullptr) return eventNotHandledErr;
  const UInt32 eventClass = GetEventClass(event), kind = GetEventKind(event);
  if (eventClass == kGL_EventClassControl && kind == kGL_EventControlHit) {
    ControlRef control = nullptr;
    HIViewID id{0, 0};
    if (GetEventParameter(event, kEventParamDirectObject, kGL_TypeControlRef, nullptr, sizeof control, nullptr,
                          &control) == noErr &&
        GetControlID(control, &id) == noErr)
      GL_HandleProgrDlgControlHit(GetControlOwner(control), id, progrData);
  } else if (eventClass == kGL_EventClassWindow && kind == kGL_EventWindowClose) {
    GL_DisposeProgressData(progrData, true);
    // The standard handler disposes the window next; the record must not keep it.
    progrData->window = nullptr;
    progrData->sheet = nullptr;
  }
  return eventNotHandledErr;
}

OSStatus GL_UseProgressDialogTempl(IBNibRef nibRef, GL_ProgrData *progrData) {
  if (progrData == nullptr) return paramErr;
  GL_ProgrData &p = *progrData;
  const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
  p.startTime = now;
  p.switchTime = now;
  p.savedEndTime = 0.0;
  p.savedCount = 0;
  p.count = 0;
  p.numParts = 1000;
  // The record's items are those of the stand-alone window; it has no others.
  p.standAloneWindow = true;
  p.sheet = nullptr;
  OSStatus err = GL_OpenProgressDialog(nibRef, CFSTR("Window title"), CFSTR("Progress header"), false, &p.window);
  if (err != noErr) return err;
  WindowRef window = p.window;
  err = GL_SetProgressMessage(window, CFSTR("Message"));
  if (err == noErr) err = GL_SetProgressExplanation(window, CFSTR("Explanation"));
  if (err == noErr) {
    HIViewRef suspendButton = nullptr;
    err = FindItem(window, DlgItem(kGL_ProgrDlgSuspendButton), &suspendButton);
    if (err == noErr) HideControl(suspendButton);
  }
  if (err == noErr) {
    const EventTypeSpec events[] = {{kGL_EventClassControl, kGL_EventControlHit},
                                    {kGL_EventClassWindow, kGL_EventWindowClose}};
    err = InstallEventHandler(GetWindowEventTarget(window), GL_ProgrDlgEventHandlerTempl, 2, events, progrData,
                              nullptr);
  }
  if (err != noErr) {
    DisposeWindow(window);
    p.window = nullptr;
    return err;
  }
  SetWRefCon(window, static_cast<SRefCon>(progrData));
  SelectWindow(window);
  ShowWindow(window);
  return GL_UpdateProgressBar(progrData, CFSTR("Frame # "));
}
