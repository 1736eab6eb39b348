// The required Apple events.
#include "app/apple_events.h"

#include "app/app_startup.h"
#include "app/file_kinds.h"
#include "app/log_contents.h"
#include "general/error_keys.h"
#include "general/file_layer.h"
#include "platform/core/mac_errors.h"
#include "toolkit/navigation_dialogs.h"

OSErr BZ_HandleOAppAE(const AppleEvent *, AppleEvent *, SRefCon) { return noErr; }
OSErr BZ_HandleReopenAppAE(const AppleEvent *, AppleEvent *, SRefCon) { return noErr; }
OSErr BZ_HandlePDocAE(const AppleEvent *, AppleEvent *, SRefCon) { return noErr; }

OSErr BZ_HandleQuitAE(const AppleEvent *, AppleEvent *, SRefCon) { return OSErr(BZ_SendQuitEvent()); }

OSErr BZ_HasUnusedParameters(const AppleEvent *event) {
  DescType type = 0;
  AEKeyword missed = 0;
  Size size = 0;
  const OSErr err = AEGetAttributePtr(event, keyMissedKeywordAttr, typeKeyword, &type, &missed, sizeof missed, &size);
  return err == errAEDescNotFound ? OSErr(noErr) : OSErr(errAEEventNotHandled);
}

OSErr BZ_HandleODocAE(const AppleEvent *event, AppleEvent *, SRefCon) {
  AEDescList documents{};
  OSErr err = AEGetParamDesc(event, keyDirectObject, typeAEList, &documents);
  if (err != noErr) return err;
  if ((err = BZ_HasUnusedParameters(event)) != noErr) {
    AEDisposeDesc(&documents);
    return err;
  }
  long count = 0;
  OSStatus status = AECountItems(&documents, &count);
  OSStatus firstFailure = noErr;
  long failures = 0;
  for (long i = 1; i <= count; ++i) {
    FSRef file{};
    SInt16 kind = 0;
    Boolean inputMovie = false, isLog = false;
    status = NS_GetNthFileObjectFromAEDescList(&documents, i, &file);
    if (status == noErr) status = GL_GetFileObjectType(&file, &kind);
    if (status == noErr && (kind == kGL_FileObjectFolder || kind == kGL_FileObjectVolume)) continue;
    if (status == noErr) status = BZ_IsOurFile(&file, &inputMovie, &isLog);
    if (status == noErr && isLog) status = BZ_ShowHideLog();
    if (status != noErr) {
      if (failures++ == 0) firstFailure = status;
    }
  }
  AEDisposeDesc(&documents);
  if (failures >= 2) return OSErr(kGL_MultipleOpenErr);
  if (failures == 1) return OSErr(firstFailure);
  return OSErr(status);
}

OSStatus BZ_InstallRequiredAEHandlers() {
  const struct {
    AEEventID id;
    AEEventHandlerUPP handler;
  } handlers[] = {{kAEOpenApplication, BZ_HandleOAppAE}, {kAEReopenApplication, BZ_HandleReopenAppAE},
                  {kAEOpenDocuments, BZ_HandleODocAE}, {kAEPrintDocuments, BZ_HandlePDocAE},
                  {kAEQuitApplication, BZ_HandleQuitAE}};
  for (const auto &h : handlers)
    if (OSErr err = AEInstallEventHandler(kCoreEventClass, h.id, h.handler, nullptr, false); err != noErr) return err;
  return noErr;
}
