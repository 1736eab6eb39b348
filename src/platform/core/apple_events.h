// Apple Event Manager stand-in: descriptor lists and records, Apple events with parameters and attributes,
// coercions (built-in ones and installed handlers), the build syntax, object specifiers, and the table of
// installed handlers through which the main thread processes them. Here Apple events never cross a
// process: the command line and the desktop's requests are made into events of our own process, and an
// event sent to any other process answers procNotFound.
//
// A list or an event is a descriptor whose handle holds its items one after the other (keyword, type, a
// read mark, size, bytes); AEDisposeDesc frees it like any descriptor. The read mark of a parameter is set
// when a handler gets it, so that the missed-keyword attribute ('miss') names the first parameter no handler
// asked for, as the toolbox's did. Main thread only.
#pragma once

#include "platform/core/event_loop.h"  // typeWildCard
#include "platform/core/navigation_services.h"
#include "platform/core/window_refcons.h"
#include "platform/core/classic_events.h"
#include "platform/core/gestalt.h"

typedef AEDesc AppleEvent;
typedef AEDesc AEAddressDesc;
typedef FourCharCode AEKeyword;
typedef FourCharCode AEEventClass;
typedef FourCharCode AEEventID;

typedef AEDesc AERecord;

enum : DescType {
  typeAppleEvent = 'aevt',
  typeKeyword = 'keyw',
  typeType = 'type',
  typeSInt32 = 'long',
  typeSInt16 = 'shor',
  typeIEEE32BitFloatingPoint = 'sing',
  typeIEEE64BitFloatingPoint = 'doub',
  typeAERecord = 'reco',
  typeUTF8Text = 'utf8',
  typeUnicodeText = 'utxt',
  typeProcessSerialNumber = 'psn ',
  typeApplSignature = 'sign',
  typeAlias = 'alis',
  typeEnumerated = 'enum',
  typeObjectSpecifier = 'obj ',
  typeAbsoluteOrdinal = 'abso',
  typeProperty = 'prop',
  typeBoolean = 'bool',
  typeTrue = 'true',
  typeFalse = 'fals',
};
enum : AEKeyword {
  keyDirectObject = '----',
  keyMissedKeywordAttr = 'miss',
  keyEventClassAttr = 'evcl',
  keyEventIDAttr = 'evid',
  keyAddressAttr = 'addr',
  keyReturnIDAttr = 'rtid',
  keyTransactionIDAttr = 'tran',
  keyErrorNumber = 'errn',
  keyErrorString = 'errs',
  keyAEDesiredClass = 'want',
  keyAEContainer = 'from',
  keyAEKeyForm = 'form',
  keyAEKeyData = 'seld',
  keyAEUserRecordFields = 'usrf',
};
// 'qdrt' (typeQDRectangle) is named by the window layer's event parameters; the coercion here uses the code.
enum : DescType { formAbsolutePosition = 'indx', formUniqueID = 'ID  ', formName = 'name', formPropertyID = 'prop' };
enum : SInt16 { kAutoGenerateReturnID = -1 };
enum : SInt32 { kAnyTransactionID = 0 };
typedef SInt32 AESendMode;
enum : AESendMode {
  kAENoReply = 0x00000001,
  kAEQueueReply = 0x00000002,
  kAEWaitReply = 0x00000003,
  kAENeverInteract = 0x00000010,
  kAECanInteract = 0x00000020,
  kAEAlwaysInteract = 0x00000030,
  kAECanSwitchLayer = 0x00000040,
};
typedef SInt16 AESendPriority;
enum : AESendPriority { kAENormalPriority = 0 };
enum : SInt32 { kAEDefaultTimeout = -1, kNoTimeOut = -2 };
enum : OSErr {
  errAEParamMissed = -1715,
  errAEHandlerNotFound = -1717,
  errAEBuildSyntaxError = -1740,
};
enum : AEEventClass { kCoreEventClass = 'aevt' };
enum : AEEventID {
  kAEOpenApplication = 'oapp',
  kAEReopenApplication = 'rapp',
  kAEOpenDocuments = 'odoc',
  kAEPrintDocuments = 'pdoc',
  kAEQuitApplication = 'quit',
};
enum : OSErr { errAENotAEDesc = -1704, errAEBadListItem = -1705 };

// ---- Lists and records ----
// A new empty list, or with isRecord a record ('reco', items with keywords). Factoring is not supported
// (paramErr).
OSErr AECreateList(const void *factoringPtr, Size factoredSize, Boolean isRecord, AEDescList *resultList);
// True for a record or an Apple event.
Boolean AECheckIsRecord(const AEDesc *theDesc);
// Fields of a record (or parameters of an event): put adds or replaces; get copies (coerced to desiredType).
OSErr AEPutKeyDesc(AERecord *theAERecord, AEKeyword theAEKeyword, const AEDesc *theAEDesc);
OSErr AEPutKeyPtr(AERecord *theAERecord, AEKeyword theAEKeyword, DescType typeCode, const void *dataPtr,
                  Size dataSize);
OSErr AEGetKeyDesc(const AERecord *theAERecord, AEKeyword theAEKeyword, DescType desiredType, AEDesc *result);
OSErr AEGetKeyPtr(const AERecord *theAERecord, AEKeyword theAEKeyword, DescType desiredType, DescType *typeCode,
                  void *dataPtr, Size maximumSize, Size *actualSize);
// Puts a copy of the descriptor at index (1-based; 0 or count + 1 appends; 1..count replaces).
// errAEBadListItem for another index, errAEWrongDataType when the list is no list.
OSErr AEPutDesc(AEDescList *theAEDescList, long index, const AEDesc *theAEDesc);
OSErr AEPutPtr(AEDescList *theAEDescList, long index, DescType typeCode, const void *dataPtr, Size dataSize);
OSErr AECountItems(const AEDescList *theAEDescList, long *theCount);
// A new descriptor of item index coerced to desiredType (typeWildCard: as it is); the item's keyword (0 for
// a list) when theAEKeyword is given. errAEBadListItem for an index outside 1..count.
OSErr AEGetNthDesc(const AEDescList *theAEDescList, long index, DescType desiredType, AEKeyword *theAEKeyword,
                   AEDesc *result);
// The same into a buffer: at most maximumSize bytes; *actualSize the whole size.
OSErr AEGetNthPtr(const AEDescList *theAEDescList, long index, DescType desiredType, AEKeyword *theAEKeyword,
                  DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize);

// ---- Apple events ----
// A new event of that class and ID with no parameters; the target ('addr', when given), return ID ('rtid')
// and transaction ID ('tran') are kept as attributes.
OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc *target,
                         SInt16 returnID, SInt32 transactionID, AppleEvent *result);
// Adds (or replaces) the parameter.
OSErr AEPutParamDesc(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, const AEDesc *theAEDesc);
OSErr AEPutParamPtr(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType typeCode, const void *dataPtr,
                    Size dataSize);
// A new descriptor of the parameter coerced to desiredType; marks the parameter read. errAEDescNotFound
// without it, errAECoercionFail when it does not coerce.
OSErr AEGetParamDesc(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType, AEDesc *result);
OSErr AEGetParamPtr(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                    DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize);
// Attributes: 'evcl' and 'evid' (typeType), and 'miss' (typeKeyword): the first parameter not read yet, or
// errAEDescNotFound when every parameter was read; others as put.
OSErr AEGetAttributePtr(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                        DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize);
OSErr AEGetAttributeDesc(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                         AEDesc *result);
OSErr AEPutAttributeDesc(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, const AEDesc *theAEDesc);

// ---- Coercion ----
// Built in: any type to itself and to typeWildCard; text among 'TEXT' (the system encoding, UTF-8),
// 'utf8' and 'utxt' (UTF-16 in host order); numbers among 'shor', 'long', 'sing', 'doub' and from text;
// 'long' and 'doub' to text; 'type', 'enum', 'keyw' and 'prop' among each other; a list of four integers
// to 'qdrt'; an Apple event to 'reco'; the file coercions of navigation_services.h. An installed handler for
// the pair (or from typeWildCard) is asked first.
typedef OSErr (*AECoerceDescProcPtr)(const AEDesc *fromDesc, DescType toType, SRefCon handlerRefcon, AEDesc *toDesc);
typedef AECoerceDescProcPtr AECoercionHandlerUPP;
OSErr AEInstallCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                               SRefCon handlerRefcon, Boolean fromTypeIsDesc, Boolean isSysHandler);
OSErr AERemoveCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                              Boolean isSysHandler);
OSErr AECoercePtr(DescType typeCode, const void *dataPtr, Size dataSize, DescType toType, AEDesc *result);

// ---- Build syntax ----
// The event's parameters from a format such as "'----':@, 'snam':TEXT(@)": a keyword (quoted four
// characters or an identifier padded with blanks), ':' and a value, separated by commas. Values: @ (an
// AEDesc* argument, copied), integers ('shor' when they fit, else 'long'), 'abcd' (an enumerated value),
// "text" in straight or curly quotes ('TEXT'), [lists], {records}, type(value) coercing the value,
// type(@) (for 'TEXT' and 'utf8' a C string argument, else a Size and a pointer), type(@@) (a Handle
// argument whose bytes become the data) and type($hex$) or type(«hex») (hex bytes). A syntax error gives
// errAEBuildSyntaxError with its code (1 to 19) and position in *error.
struct AEBuildError {
  UInt32 fError;
  UInt32 fErrorPos;
};
enum : UInt32 {
  aeBuildSyntaxNoErr = 0,
  aeBuildSyntaxBadToken = 1,
  aeBuildSyntaxBadEOF = 2,
  aeBuildSyntaxNoEOF = 3,
  aeBuildSyntaxBadNegative = 4,
  aeBuildSyntaxMissingQuote = 5,
  aeBuildSyntaxBadHex = 6,
  aeBuildSyntaxOddHex = 7,
  aeBuildSyntaxNoCloseHex = 8,
  aeBuildSyntaxUncoercedHex = 9,
  aeBuildSyntaxNoCloseString = 10,
  aeBuildSyntaxBadDesc = 11,
  aeBuildSyntaxBadData = 12,
  aeBuildSyntaxNoCloseParen = 13,
  aeBuildSyntaxNoCloseBracket = 14,
  aeBuildSyntaxNoCloseBrace = 15,
  aeBuildSyntaxNoKey = 16,
  aeBuildSyntaxNoColon = 17,
  aeBuildSyntaxCoercedList = 18,
  aeBuildSyntaxUncoercedDoubleAt = 19,
};
OSStatus AEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType, const void *addressData,
                           Size addressLength, SInt16 returnID, SInt32 transactionID, AppleEvent *result,
                           AEBuildError *error, const char *paramsFmt, ...);

// ---- Object specifiers ----
// A record of type 'obj ' with 'want', 'from' (the container; a null container stays null), 'form' and
// 'seld'; with disposeInputs the container and key data are disposed.
OSErr CreateObjSpecifier(DescType desiredClass, AEDesc *theContainer, DescType keyForm, AEDesc *keyData,
                         Boolean disposeInputs, AEDesc *objSpecifier);

// ---- Sending and processing ----
// Sends to the target ('addr'): this process is a 'psn ' of {0, kCurrentProcess} or of GetCurrentProcess,
// or a 'sign' of the main bundle's signature; any other target gives procNotFound. The installed handler
// runs at once; with kAEWaitReply the reply is an 'aevt'/'ansr' event that carries the handler's error as
// 'errn' (errAEEventNotHandled without a handler), else the handler's error is returned.
typedef Boolean (*AEIdleProcPtr)(EventRecord *theEvent, SInt32 *sleepTime, RgnHandle *mouseRgn);
typedef AEIdleProcPtr AEIdleUPP;
typedef Boolean (*AEFilterProcPtr)(EventRecord *theEvent, SInt32 returnID, SInt32 transactionID,
                                   const AEAddressDesc *sender);
typedef AEFilterProcPtr AEFilterUPP;
OSErr AESend(const AppleEvent *theAppleEvent, AppleEvent *reply, AESendMode sendMode, AESendPriority sendPriority,
             SInt32 timeOutInTicks, AEIdleUPP idleProc, AEFilterUPP filterProc);
// The application is always allowed to come to the front here.
OSErr AEInteractWithUser(SInt32 timeOutInTicks, void *nmReqPtr, AEIdleUPP idleProc);
// A high-level event record ('eppc' Carbon event converted by ConvertEventRefToEventRecord) processed
// through the handler table. errAENotAEDesc for a record that carries no Apple event.
enum : EventKind { kHighLevelEvent = 23 };
enum : UInt32 { kEventClassEPPC = 'eppc', kEventHighLevelEvent = 1 };
enum : EventParamName { kEventParamAEEventRecord = 'aevt' };
OSErr AEProcessAppleEvent(const EventRecord *theEventRecord);
// An 'eppc' Carbon event carrying a copy of the Apple event (parameter 'aevt', type 'aevt').
OSStatus PL_CreateHighLevelEvent(const AppleEvent *theAppleEvent, EventRef *outEvent);
// The record of a Carbon event (a high-level one refers to its Apple event until the event is released).
Boolean ConvertEventRefToEventRecord(EventRef inEvent, EventRecord *outEvent);

// ---- Handlers ----
typedef OSErr (*AEEventHandlerProcPtr)(const AppleEvent *theAppleEvent, AppleEvent *reply, SRefCon handlerRefcon);
inline AEEventHandlerProcPtr NewAEEventHandlerUPP(AEEventHandlerProcPtr proc) { return proc; }
typedef AEEventHandlerProcPtr AEEventHandlerUPP;
// Installs (replacing one for the same class and ID) the handler; isSysHandler is not used here.
OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefcon, Boolean isSysHandler);
OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                           Boolean isSysHandler);

// ---- Our own helpers ----
// Processes the event as AEProcessAppleEvent did with a received one: calls its handler with a fresh reply
// and returns the handler's result; errAEEventNotHandled when no handler is installed for it.
OSErr PL_ProcessAppleEvent(const AppleEvent *theAppleEvent);
// A new open-documents event whose direct object is a list of file-URL descriptors ('furl') of the paths,
// relative ones taken from the current folder. A path that names no file stays in the list: the handler
// meets its error when it asks for the file.
OSErr PL_CreateOpenDocumentsEvent(const char *const *paths, int count, AppleEvent *result);
