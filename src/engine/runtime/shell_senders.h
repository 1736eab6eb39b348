// The shell's senders that the engine's tasks and the cleaning methods call: each posts one custom event of
// class kBZ_ProjEventClass through the engine host (postCustomEvent) for the main thread to carry out. The
// parameters are typed copies of our own records (their own sizes, whatever the platform makes them) or
// pointers where the main thread is to work on the stage's record itself. The handlers belong to the shell;
// the tests' method harness plays its part until the shell is there.
//
// Threads: any. Each sender returns the first failure of making or posting the event.
#pragma once

#include "engine/tasks/pipeline_types.h"
#include "platform/core/mac_types.h"

#include <type_traits>

struct BZ_RnParams;  // noise reduction's parameters of one run (its method module)
struct BZ_RlParams;  // logo removal's parameters of one run (its method module)

// 2007: parameters 2005 (float value) and 2006 (SInt16 item); the main thread writes the value into that
// item of the project dialog.
OSStatus BZ_SendSetValueInDialogEvent(float value, SInt16 item);
// 2019: parameters 2005 (float value), 2007 (SInt32 relevant digits) and 2006 (SInt16 item).
OSStatus BZ_SendSetValueRelevantDigitsInDialogEvent(float value, SInt32 precision, SInt16 item);
// 2008: parameter 2008 (the task type); the main thread activates that method's defaults button.
OSStatus BZ_SendStageDefaultsButtonActivateEvent(BZ_TaskType taskType);
// 2010: parameter 2004 (the logo parameters, borrowed: the stage waits on its semaphore until the main
// thread has found the fade frames and signalled it).
OSStatus BZ_SendGetFadeFrameNumbersEvent(BZ_RlParams *rlParams);
// 2011: parameter 2004 as above; the main thread sets the dialog's mask picture and always signals the logo
// stage's semaphore.
OSStatus BZ_SendSetLogoMaskPicEvent(BZ_RlParams *rlParams);
// 2012: no parameter; the main thread shows the logo settings' transparency.
OSStatus BZ_SendSetLogoTransparencyEvent();
// 2020: no parameter; the main thread shows error 5024 (too many outliers in a frame).
OSStatus BZ_OuSendTooManyOutliersEvent();

// 2003: parameter 2003 (the frame's record, borrowed: the stage waits for kBZ_DisplayDecompressDoneFlag on
// its event before it reuses the frame).
OSStatus BZ_SendShowProgressFrameEvent(BZ_FrameBuffInfo *frameBuffInfo);
// 2004: parameter 2004 (borrowed). Nothing sends it; the main thread consumes it without effect.
OSStatus BZ_SendInitKillLogoEvent(BZ_RlParams *rlParams);
// 2005: no parameter. Nothing sends it; the main thread consumes it without effect.
OSStatus BZ_SendFrameViewEvent();
// 2009: no parameter; the main thread resets the dialog's calculation state and signals prfSemaphore.
OSStatus BZ_SendProjectRunFinishedEvent();
// 2017: parameter 2006 (SInt16 item); the main thread redraws that item.
OSStatus BZ_SendSetNeedsDisplayEvent(SInt16 item);
// 2018: parameters 2005 (float value), 2007 (SInt32 decimals) and 2006 (SInt16 item). Nothing sends it.
OSStatus BZ_SendSetValuePreciseInDialogEvent(float value, SInt32 precision, SInt16 item);
// 2021: parameter 2000 (SInt32 file number); the main thread takes the white line piece found in that source.
OSStatus BZ_OuSendWhiteLineEvent(SInt32 fileNum);

// Posts a custom event with one parameter holding a copy of `size` bytes at `record`.
OSStatus BZ_SendRecordEvent(UInt32 kind, UInt32 paramName, const void *record, ByteCount size);

// 2016: parameter 2011, a copy of *rnParams; the main thread draws the noise spectrum from that copy. The
// record's module lies above this one, so the copy's size is taken where the caller sees the record whole.
template <typename RnParams>
OSStatus BZ_SendDrawNoiseSpectrEvent(const RnParams *rnParams) {
  static_assert(std::is_same_v<RnParams, BZ_RnParams>, "the parameter is noise reduction's run record");
  if (rnParams == nullptr) return paramErr;
  return BZ_SendRecordEvent(kBZ_DrawNoiseSpectrEvent, kBZ_RnParamsEventParam, rnParams, sizeof *rnParams);
}

// The status window's "making random noise tables" flag: set while the noise tables are being made; read by
// the status window on the main thread. Any thread.
void BZ_SetMakingRandomNoiseTables(Boolean flag);
Boolean BZ_GetMakingRandomNoiseTables();
