// Open Scripting Architecture stand-in. No scripting component is registered with the Component Manager
// on this platform, so opening the default 'osa ' component fails and no script is ever loaded or run; the
// calls below answer badComponentInstance for any instance. Main thread only.
#pragma once

#include "platform/core/apple_events.h"
#include "platform/movie/components.h"

typedef OSStatus OSAError;
typedef UInt32 OSAID;

enum : OSType { kOSAComponentType = 'osa ', kAppleScriptSubtype = 'ascr' };
enum : OSAID { kOSANullScript = 0 };
enum : SInt32 { kOSAModeNull = 0 };
enum : DescType { typeOSAGenericStorage = 'scpt' };
enum : OSType { kOSAErrorMessage = 'errs' };
enum : OSErr { errOSAScriptError = -1753 };

OSAError OSALoad(ComponentInstance scriptingComponent, const AEDesc *scriptData, SInt32 modeFlags,
                 OSAID *resultingScriptID);
OSAError OSADispose(ComponentInstance scriptingComponent, OSAID scriptID);
OSAError OSAExecuteEvent(ComponentInstance scriptingComponent, const AppleEvent *theAppleEvent, OSAID contextID,
                         SInt32 modeFlags, OSAID *resultingScriptValueID);
OSAError OSAScriptError(ComponentInstance scriptingComponent, OSType selector, DescType desiredType,
                        AEDesc *resultingErrorDescription);
OSAError OSACoerceToDesc(ComponentInstance scriptingComponent, OSAID scriptID, DescType desiredType,
                         SInt32 modeFlags, AEDesc *result);
