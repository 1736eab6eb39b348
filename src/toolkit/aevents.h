// Apple-event helpers of the user-interface toolkit: checked operations for building, sending and reading
// Apple events, descriptors and object specifiers, for reporting errors in replies, for installing handlers
// and coercions, and for compiled scripts. The application's own Apple-event handling does not go through
// them. Every operation answers paramErr (-50) for a missing or malformed argument and returns the first
// failing step's error unchanged. Main thread only.
#pragma once

#include "platform/core/apple_events.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/files.h"
#include "platform/movie/open_scripting.h"

// The library's own errors.
enum : OSStatus {
  kAE_ReplyHasErrorNumberErr = 12001,  // the reply already holds an error number
  kAE_HandlerErrorStringErr = 12002,   // the handler reported its error as a string
  kAE_NoSuchLabelErr = 12003,          // a record has no field with the asked label
};

// ---- Descriptors ----
OSStatus AE_DisposeDesc(AEDesc *desc);
// Makes the descriptor a null one (nothing is disposed).
OSStatus AE_NullDesc(AEDesc *desc);
// *outDesc: a new descriptor of the same type with a copy of the data (owned: AE_DisposeDesc).
OSStatus AE_CopyDesc(const AEDesc *inDesc, AEDesc *outDesc);
// The data into *data: a caller's block (*data set, *size its size) that holds it is reused, otherwise it is
// freed and a new one of the data's size is made (owned: free()); *size gets the data's size.
OSStatus AE_GetDescData(const AEDesc *desc, void **data, Size *size);
// The label's first four characters in memory order, blanks after a shorter label.
DescType AE_LabelToType(const char *label);
// An alias of the file appended to the list as an 'alis' descriptor.
OSStatus AE_PutFileAsAlias(const FSRef *file, AEDescList *aliasList);
OSStatus AE_AddFileToAliasList(const FSRef *file, AEDescList *aliasList);
// *desc: an 'utxt' descriptor of the string's UTF-16 units (owned).
OSStatus AE_CFStringToDescAsUTF16(CFStringRef string, AEDesc *desc);
// Puts a property specifier of propType in the container under keyword.
OSStatus AE_PutPropertyObjectParam(AppleEvent *event, DescType propType, AEKeyword keyword, const AEDesc *container);
// Puts the string as 'utf8'; paramErr unless the event is an Apple event and the string is given.
OSStatus AE_PutStringParamAsUTF8(AppleEvent *event, AEKeyword keyword, CFStringRef string);
// *string: NULL first, then the text as a new string (owned: CFRelease).
OSStatus AE_CFStringFromDesc(const AEDesc *desc, CFStringRef *string);
// The text as 'TEXT' with a zero after it. With *cString NULL a block of its size + 1 is made (owned: free());
// a caller's buffer gets at most maxSize bytes and the zero, so it must hold maxSize + 1 bytes.
OSStatus AE_CStringFromDesc(const AEDesc *desc, char **cString, Size maxSize);
// *result: 0 first, then the value as 'long'.
OSStatus AE_SInt32FromDesc(const AEDesc *desc, SInt32 *result);
// The value stored under a text label of a user record (a list alternating labels and values);
// kAE_NoSuchLabelErr when absent. *dataDesc is owned.
OSStatus AE_LabeledDataFromRecord(const AERecord *record, const char *label, AEDesc *dataDesc);
OSStatus AE_LabeledSInt32FromRecord(const AERecord *record, const char *label, SInt32 *value);
OSStatus AE_LabeledFloatFromRecord(const AERecord *record, const char *label, float *value);
// Parameters of a reply: as a new string (owned), as a QuickDraw rectangle, or as text through
// AE_GetDescData.
OSStatus AE_GetStringParam(const AppleEvent *reply, AEKeyword keyword, CFStringRef *string);
OSStatus AE_GetQDRectParam(const AppleEvent *reply, AEKeyword keyword, Rect *rect);
OSStatus AE_QDRectFromDesc(const AEDesc *desc, Rect *rect);
OSStatus AE_GetTextParam(const AppleEvent *reply, AEKeyword keyword, void **text, Size *size);

// ---- Events and sending ----
// A 'psn ' address of the process (NULL: the current process, {0, kCurrentProcess}).
OSStatus AE_CreateProcessTarget(const ProcessSerialNumber *psn, AEAddressDesc *target);
OSStatus AE_CreateAppleEventForPsn(const ProcessSerialNumber *psn, AEEventClass eventClass, AEEventID eventID,
                                   AppleEvent *event);
// An open-documents event for the file to the process, or without one to the application of the signature.
OSStatus AE_CreateOpenDocEvent(const FSRef *file, OSType signature, const ProcessSerialNumber *psn,
                               AppleEvent *event);
// A reveal event for the Finder ('MACS') naming the startup disk.
OSStatus AE_BuildRevealStartupDiskAE(AppleEvent *event);
// Sends, waiting for the reply when one is given (*reply owned), else without one.
OSStatus AE_SendAppleEvent(const AppleEvent *event, AppleEvent *reply);
// Sends and hands out the reply's direct object coerced to requType (owned); a handler's error number is the
// result.
OSStatus AE_SendEventReturnDirectObject(const AppleEvent *event, DescType requType, AEDesc *directObject);
// Sends this process a 'core'/'setd' event setting the property to the string.
OSStatus AE_TellSelfToSetCFStringRefProperty(DescType propType, CFStringRef string);
// noErr when no required parameter was missed, errAEParamMissed when one was.
OSStatus AE_GotRequiredParams(const AppleEvent *event);
// noErr when every parameter was read, else errAEEventNotHandled.
OSStatus AE_HasUnusedParameters(const AppleEvent *event);
// The handler's error of a reply; with errorString, an 'errs' text becomes *errorString (owned) and the error
// kAE_HandlerErrorStringErr.
OSStatus AE_GetHandlerError(const AppleEvent *reply, SInt32 *handlerErr, CFStringRef *errorString);
Boolean AE_IsMissingValue(const AEDesc *desc);
OSStatus AE_CreateMissingValue(AEDesc *desc);
// The sender's signature and type, each written when asked for.
OSStatus AE_GetSenderProcessSignatureAndType(const AppleEvent *event, OSType *signature, OSType *type);
OSStatus AE_IsSenderFinder(const AppleEvent *event, Boolean *isFinder);

// ---- Object specifiers (each *obj owned) ----
OSStatus AE_CreateSelectionObject(DescType selType, AEDesc *container, AEDesc *obj);
OSStatus AE_CreateObjectSpecifierWithIndex(DescType objClass, SInt32 index, AEDesc *container, AEDesc *obj);
OSStatus AE_CreateObjectSpecifierWithUniqueID(DescType objClass, SInt32 uniqueID, AEDesc *container, AEDesc *obj);
OSStatus AE_CreateObjectSpecifierWithName(DescType objClass, CFStringRef name, AEDesc *container, AEDesc *obj);
OSStatus AE_CreateObjectSpecifierForURL(const char *path, AEDesc *container, AEDesc *obj);
// A folder ('cfol', its name ending with ':') or file specifier by the URL's HFS-style path.
OSStatus AE_CreateObjSpecifierFromCFURLRef(CFURLRef url, AEDesc *obj);
OSStatus AE_CreatePropertyObject(DescType propType, AEDesc *container, AEDesc *obj);

// ---- Events, lists and errors in replies ----
OSStatus AE_ExtractClassAndID(const AppleEvent *event, AEEventClass *eventClass, AEEventID *eventID);
OSStatus AE_AppendListToList(const AEDescList *source, AEDescList *destination);
// Puts err as 'errn'; kAE_ReplyHasErrorNumberErr when the reply has one already.
OSStatus AE_PutErrorNumberParam(OSStatus err, AppleEvent *reply);
OSStatus AE_PutErrorStringParamAsUTF8(AppleEvent *event, CFStringRef string);
// "Error <code> (<message>) found at position <pos>." as 'utxt' (a null descriptor when it cannot be made).
void AE_BuildErrorToAEDesc(const AEBuildError *buildErr, AEDesc *errorTextDesc);
// Prints "Error = <error>, message: <text>" with the text of errorMessages when it can be read.
void AE_PrintErrorString(OSStatus error, const AEDesc *errorMessages);

// ---- Handlers and coercions ----
// Installs the handler for class 'eppc', kind 1 on the application target.
OSStatus AE_InstallAEventHandler(EventHandlerUPP handler);
// Processes the Apple event of a high-level Carbon event; always noErr.
OSStatus AE_AEventHandler(EventHandlerCallRef caller, EventRef event, void *refcon);
OSStatus AE_InstallDescCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                                       SRefCon refcon);
// The sample coercion to 'bar!': a copy from 'bar!', or with refcon 1234 the signed sum of a text's bytes.
OSErr AE_TextToBarCoercionHandler(const AEDesc *fromDesc, DescType toType, SRefCon refcon, AEDesc *toDesc);
OSStatus AE_InstallRequiredAEHandlers();
// Processes the record's event; a failure is reported to the user once interaction is granted.
OSStatus AE_ProcessAppleEvent(const EventRecord *eventRecord);

// ---- Compiled scripts ----
// "Scripts/<scriptName>.scpt" of the main bundle loaded into the scripting component (fnfErr without the
// file; kQT_NoComponentFoundErr without the component, which this platform never has).
OSStatus AE_LoadCompiledScript(CFStringRef scriptName, OSAID *contextID, ComponentInstance *ci);
void AE_UnloadCompiledScript(OSAID contextID, ComponentInstance ci);
OSStatus AE_CallScriptSubroutine(OSAID contextID, ComponentInstance ci, const char *subroutineName,
                                 const AEDescList *params, AEDesc *resultData, AEDesc *errorMessages);
OSStatus AE_RunNamedSubroutineNoParams(OSAID contextID, ComponentInstance ci, const char *handlerName,
                                       AEDesc *result);
