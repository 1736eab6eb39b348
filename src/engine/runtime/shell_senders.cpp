// The shell's senders over the engine host.
#include "engine/runtime/shell_senders.h"

#include "engine/runtime/engine_host.h"

#include <atomic>

namespace {

std::atomic<bool> gMakingRandomNoiseTables{false};

}  // namespace

OSStatus BZ_SendSetValueInDialogEvent(float value, SInt16 item) {
  const BZ_EventParam params[] = {{kBZ_ValueEventParam, sizeof value, &value},
                                  {kBZ_ItemEventParam, sizeof item, &item}};
  return BZ_PostEngineEvent(kBZ_SetValueInDialogEvent, params, 2);
}

OSStatus BZ_SendSetValueRelevantDigitsInDialogEvent(float value, SInt32 precision, SInt16 item) {
  const BZ_EventParam params[] = {{kBZ_ValueEventParam, sizeof value, &value},
                                  {kBZ_PrecisionEventParam, sizeof precision, &precision},
                                  {kBZ_ItemEventParam, sizeof item, &item}};
  return BZ_PostEngineEvent(kBZ_SetValueRelevantDigitsInDialogEvent, params, 3);
}

OSStatus BZ_SendStageDefaultsButtonActivateEvent(BZ_TaskType taskType) {
  const BZ_EventParam param = {kBZ_TaskTypeEventParam, sizeof taskType, &taskType};
  return BZ_PostEngineEvent(kBZ_StageDefaultsButtonActivateEvent, &param, 1);
}

OSStatus BZ_SendGetFadeFrameNumbersEvent(BZ_RlParams *rlParams) {
  return BZ_SendRecordEvent(kBZ_GetFadeFrameNumbersEvent, kBZ_RlParamsEventParam, &rlParams, sizeof rlParams);
}

OSStatus BZ_SendSetLogoMaskPicEvent(BZ_RlParams *rlParams) {
  return BZ_SendRecordEvent(kBZ_SetLogoMaskPicEvent, kBZ_RlParamsEventParam, &rlParams, sizeof rlParams);
}

OSStatus BZ_SendSetLogoTransparencyEvent() { return BZ_PostEngineEvent(kBZ_SetLogoTransparencyEvent, nullptr, 0); }

OSStatus BZ_SendShowProgressFrameEvent(BZ_FrameBuffInfo *frameBuffInfo) {
  return BZ_SendRecordEvent(kBZ_ShowProgressFrameEvent, kBZ_FrameBuffInfoEventParam, &frameBuffInfo,
                            sizeof frameBuffInfo);
}

OSStatus BZ_SendInitKillLogoEvent(BZ_RlParams *rlParams) {
  return BZ_SendRecordEvent(kBZ_InitKillLogoEvent, kBZ_RlParamsEventParam, &rlParams, sizeof rlParams);
}

OSStatus BZ_SendFrameViewEvent() { return BZ_PostEngineEvent(kBZ_FrameViewEvent, nullptr, 0); }

OSStatus BZ_SendProjectRunFinishedEvent() { return BZ_PostEngineEvent(kBZ_ProjectRunFinishedEvent, nullptr, 0); }

OSStatus BZ_SendSetNeedsDisplayEvent(SInt16 item) {
  return BZ_SendRecordEvent(kBZ_SetNeedsDisplayEvent, kBZ_ItemEventParam, &item, sizeof item);
}

OSStatus BZ_SendSetValuePreciseInDialogEvent(float value, SInt32 precision, SInt16 item) {
  const BZ_EventParam params[] = {{kBZ_ValueEventParam, sizeof value, &value},
                                  {kBZ_PrecisionEventParam, sizeof precision, &precision},
                                  {kBZ_ItemEventParam, sizeof item, &item}};
  return BZ_PostEngineEvent(kBZ_SetValuePreciseInDialogEvent, params, 3);
}

OSStatus BZ_OuSendTooManyOutliersEvent() { return BZ_PostEngineEvent(kBZ_TooManyOutliersEvent, nullptr, 0); }

OSStatus BZ_OuSendWhiteLineEvent(SInt32 fileNum) {
  return BZ_SendRecordEvent(kBZ_WhiteLineEvent, kBZ_FileNumEventParam, &fileNum, sizeof fileNum);
}

OSStatus BZ_SendRecordEvent(UInt32 kind, UInt32 paramName, const void *record, ByteCount size) {
  if (record == nullptr || size == 0) return paramErr;
  const BZ_EventParam param = {paramName, size, record};
  return BZ_PostEngineEvent(kind, &param, 1);
}

void BZ_SetMakingRandomNoiseTables(Boolean flag) { gMakingRandomNoiseTables = flag != 0; }

Boolean BZ_GetMakingRandomNoiseTables() { return gMakingRandomNoiseTables.load(); }
