// Apple Event Manager stand-in: descriptor lists, Apple events with parameters and attributes, and the
// table of installed handlers through which the main thread processes them. Here Apple events never cross
// a process: the command line and the desktop's requests are made into events of our own process.
//
// A list or an event is a descriptor whose handle holds its items one after the other (keyword, type, a
// read mark, size, bytes); AEDisposeDesc frees it like any descriptor. The read mark of a parameter is set
// when a handler gets it, so that the missed-keyword attribute ('miss') names the first parameter no handler
// asked for, as the toolbox's did. Main thread only.
#pragma once

#include "platform/core/event_loop.h"  // typeWildCard
#include "platform/core/navigation_services.h"
#include "platform/core/window_refcons.h"

typedef AEDesc AppleEvent;
typedef AEDesc AEAddressDesc;
typedef FourCharCode AEKeyword;
typedef FourCharCode AEEventClass;
typedef FourCharCode AEEventID;

enum : DescType {
  typeAppleEvent = 'aevt',
  typeKeyword = 'keyw',
  typeType = 'type',
  typeSInt32 = 'long',
};
enum : AEKeyword {
  keyDirectObject = '----',
  keyMissedKeywordAttr = 'miss',
  keyEventClassAttr = 'evcl',
  keyEventIDAttr = 'evid',
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

// ---- Lists ----
// A new empty list (isRecord and factoring are not supported: paramErr).
OSErr AECreateList(const void *factoringPtr, Size factoredSize, Boolean isRecord, AEDescList *resultList);
// Puts a copy of the descriptor at index (1-based; 0 or count + 1 appends; 1..count replaces).
// errAEBadListItem for another index, errAEWrongDataType when the list is no list.
OSErr AEPutDesc(AEDescList *theAEDescList, long index, const AEDesc *theAEDesc);
OSErr AECountItems(const AEDescList *theAEDescList, long *theCount);
// A new descriptor of item index coerced to desiredType (typeWildCard: as it is); the item's keyword (0 for
// a list) when theAEKeyword is given. errAEBadListItem for an index outside 1..count.
OSErr AEGetNthDesc(const AEDescList *theAEDescList, long index, DescType desiredType, AEKeyword *theAEKeyword,
                   AEDesc *result);
// The same into a buffer: at most maximumSize bytes; *actualSize the whole size.
OSErr AEGetNthPtr(const AEDescList *theAEDescList, long index, DescType desiredType, AEKeyword *theAEKeyword,
                  DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize);

// ---- Apple events ----
// A new event of that class and ID with no parameters; the target, return and transaction IDs are kept as
// attributes only for their readers.
OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc *target,
                         SInt16 returnID, SInt32 transactionID, AppleEvent *result);
// Adds (or replaces) the parameter.
OSErr AEPutParamDesc(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, const AEDesc *theAEDesc);
OSErr AEPutParamPtr(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType typeCode, const void *dataPtr,
                    Size dataSize);
// A new descriptor of the parameter coerced to desiredType; marks the parameter read. errAEDescNotFound
// without it, errAECoercionFail when it does not coerce.
OSErr AEGetParamDesc(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType, AEDesc *result);
// Attributes: 'evcl' and 'evid' (typeType), and 'miss' (typeKeyword): the first parameter not read yet, or
// errAEDescNotFound when every parameter was read.
OSErr AEGetAttributePtr(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                        DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize);

// ---- Handlers ----
typedef OSErr (*AEEventHandlerProcPtr)(const AppleEvent *theAppleEvent, AppleEvent *reply, SRefCon handlerRefcon);
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
