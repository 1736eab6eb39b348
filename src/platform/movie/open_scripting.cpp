// Open Scripting Architecture stand-in.
#include "platform/movie/open_scripting.h"

#include "platform/core/mac_errors.h"

OSAError OSALoad(ComponentInstance, const AEDesc *, SInt32, OSAID *resultingScriptID) {
  if (resultingScriptID != nullptr) *resultingScriptID = kOSANullScript;
  return badComponentInstance;
}

OSAError OSADispose(ComponentInstance, OSAID) { return badComponentInstance; }

OSAError OSAExecuteEvent(ComponentInstance, const AppleEvent *, OSAID, SInt32, OSAID *resultingScriptValueID) {
  if (resultingScriptValueID != nullptr) *resultingScriptValueID = kOSANullScript;
  return badComponentInstance;
}

OSAError OSAScriptError(ComponentInstance, OSType, DescType, AEDesc *resultingErrorDescription) {
  if (resultingErrorDescription != nullptr) *resultingErrorDescription = AEDesc{typeNull, nullptr};
  return badComponentInstance;
}

OSAError OSACoerceToDesc(ComponentInstance, OSAID, DescType, SInt32, AEDesc *result) {
  if (result != nullptr) *result = AEDesc{typeNull, nullptr};
  return badComponentInstance;
}
