// The progress record of one long job (GL_ProgrData, general/progress_types.h) turned into the texts and
// value of a progress display: the bar, the title line (start time, counter, expected end time) and the
// rate line. The items are either those of the stand-alone progress window (signature 'PRGR', numbers
// below) or the three view identifiers the record names. Main thread only.
#pragma once

#include "general/progress_types.h"
#include "platform/core/cf_base.h"
#include "platform/core/controls.h"
#include "platform/core/event_loop.h"
#include "platform/ui/nib_controls.h"

// Items of the stand-alone progress window.
enum : OSType { kGL_ProgrDlgSignature = 'PRGR' };
enum : SInt32 {
  kGL_ProgrDlgCloseButton = 3000,
  kGL_ProgrDlgSuspendButton = 3001,
  kGL_ProgrDlgHeaderText = 3002,
  kGL_ProgrDlgProgressBar = 3003,
  kGL_ProgrDlgMessageText = 3004,
  kGL_ProgrDlgExplanationText = 3005,  // also the rate text
  kGL_ProgrDlgTitleLine = 3006,
};
// The window events of the stand-alone window that its handler takes.
enum : UInt32 { kGL_EventClassWindow = 'wind', kGL_EventWindowClose = 72, kGL_TypeWindowRef = 'wind' };
enum : UInt32 { kGL_EventClassControl = 'cntl', kGL_EventControlHit = 1, kGL_TypeControlRef = 'ctrl' };

// The end time of a job whose end cannot be estimated yet.
constexpr CFAbsoluteTime kGL_UnknownEndTime = 4294967295.0;

// ---- Updating the display ----

// One full update: whether the bar is determinate, its value, the title line (with now and the expected end
// time), the window's controls, then the record's reference point. Stops at the first failure.
OSStatus GL_UpdateProgressBar(GL_ProgrData *progrData, CFStringRef counterTitle);
// The same after forgetting what was shown last, so that everything is drawn again.
OSStatus GL_ForceUpdateProgressBar(GL_ProgrData *progrData, CFStringRef counterTitle);
// The bar's value = its maximum x percWorkDone (float product truncated, clamped to 0..maximum), set only
// when the fraction changed since the last update and the bar is determinate.
OSStatus GL_UpdateProgressBarValue(GL_ProgrData *progrData);
// *currentTime = now; *endTime = the estimated end (kGL_UnknownEndTime while the bar is indeterminate or
// less than 1% was done since switchTime). The line is drawn again only when the end time or the count
// changed since the last update.
OSStatus GL_UpdateProgressBarTitle(GL_ProgrData *progrData, CFStringRef counterTitle, Boolean isDeterminate,
                                   CFAbsoluteTime *currentTime, CFAbsoluteTime *endTime);
// Remembers what was shown; moves the rate's reference point when at least 10 more parts are done and
// curSpeedInterval seconds have passed since the last one.
void GL_UpdateProgressData(GL_ProgrData *progrData, CFAbsoluteTime currentTime, CFAbsoluteTime endTime);
// The current and average rate in frames per second, in one line or two; written only when a reference
// point exists and the same condition as the reference point's holds.
OSStatus GL_UpdateProgressRate(GL_ProgrData *progrData, CFAbsoluteTime currentTime, SInt32 curNumFrames,
                               SInt32 totalNumFrames, Boolean twoLines);

// Releases the record's pictures and decompression sequence, each only when present, and NULLs them
// (the buffers are blocks of NewPtr, the Quartz objects reference-counted values). The Dock tile's bitmap
// context goes with the buffer it draws into. deletingShowSemaphore ends the record: the show semaphore, the
// grey overlay and its buffer go too; otherwise those are kept for the next display (showCritRgn is never
// touched). The failure of deleting the semaphore is returned.
OSStatus GL_DisposeProgressData(GL_ProgrData *progrData, Boolean deletingShowSemaphore);

// The sound that follows the progress: while the application is in front and the preference allows it,
// the part of sndMovie at the fraction done plays for two seconds of movie time, starting a new part at
// most every other call and never going back. Without a movie (or those flags) nothing happens.
void GL_PlayProgrSound(GL_ProgrData *progrData);

// ---- The stand-alone progress window ----

// *window = a new, hidden window "Progress" of the nib with that title and header (3002); message, explanation
// and title line emptied; 3001 offers to resume (bar indeterminate) when suspended, else to suspend (bar
// determinate). Failures of creating the window or setting its title are returned; one from the header on
// disposes the window again. *window is NULL on failure.
OSStatus GL_OpenProgressDialog(IBNibRef nibRef, CFStringRef title, CFStringRef header, Boolean suspended,
                               WindowRef *window);
// Closes the record's sheet and disposes its window (NULLing both), then releases the record's data and its
// show semaphore.
OSStatus GL_CloseProgressDialog(GL_ProgrData *progrData);

// ---- The stand-alone progress window's items ----

// The state of bar 3003.
OSStatus GL_SetDialogProgressBarState(WindowRef window, Boolean isDeterminate);
OSStatus GL_GetDialogProgressBarState(WindowRef window, Boolean *isDeterminate);
// The text of 3004 (message) or 3005 (explanation); a NULL window does nothing and answers noErr.
OSStatus GL_SetProgressMessage(WindowRef window, CFStringRef message);
OSStatus GL_SetProgressExplanation(WindowRef window, CFStringRef explanation);
// True while button 3001 offers to resume the job (its text is the resume title, or "Suspended"),
// ignoring case.
OSStatus GL_IsJobSuspended(WindowRef window, Boolean *isSuspended);

// ---- A complete use of the stand-alone window (offered; the application does not call it) ----

// Fills the record (1000 parts, now as start and switch time), opens and shows the window with the record as
// its reference constant and GL_ProgrDlgEventHandlerTempl on its target, and draws it once. The record must
// outlive the window; the window closes by its close button or GL_CloseProgressDialog.
OSStatus GL_UseProgressDialogTempl(IBNibRef nibRef, GL_ProgrData *progrData);

// A hit of the close button (3000) sends the window its close event; one of the suspend button (3001)
// suspends the job when the button says "Suspend", else resumes it.
OSStatus GL_HandleProgrDlgControlHit(WindowRef window, HIViewID controlID, GL_ProgrData *progrData);
// Suspend: 3001 says "Resume", the bar turns indeterminate, the active time so far is added up.
OSStatus GL_SuspendTempl(GL_ProgrData *progrData);
// Resume: the job switches in now at its current fraction, the rate waits for a new reference point, 3001
// says "Suspend" and the bar is determinate again.
OSStatus GL_ResumeTempl(GL_ProgrData *progrData);
// 3005 = "0% finished".
OSStatus GL_SetPercFinishedInDialogTempl(WindowRef window);
// The stand-alone window's event handler; userData is the record. It answers eventNotHandledErr always,
// so the window's standard handling goes on: a control hit ('cntl' 1, the control as direct object) goes
// to GL_HandleProgrDlgControlHit, the window's close ('wind' 72) releases the record's data and semaphore.
OSStatus GL_ProgrDlgEventHandlerTempl(EventHandlerCallRef nextHandler, EventRef event, void *userData);
