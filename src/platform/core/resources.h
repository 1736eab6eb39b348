// Resource Manager stand-in. Linux files have no resource fork, so every file answers as one whose resource
// fork is empty: opening its resource map fails with eofErr (ResError), as it did for such a file, and no map
// can be created or written. The only map that is ever "open" is the empty application map, number 0, which
// is current; lookups in it find nothing (resNotFound), counts are 0, and adding or removing fails.
//
// The Resource Manager keeps a process-wide current file and error, so it is for the main thread only; the
// error is kept per thread all the same.
#pragma once

#include "platform/core/files.h"
#include "platform/core/mac_types.h"

typedef SInt16 ResFileRefNum;
typedef OSType ResType;
typedef SInt16 ResID;
typedef SInt16 ResAttributes;

// The application's own (empty) map.
enum : ResFileRefNum { kPL_AppResFile = 0 };

// The result of the last Resource Manager call on this thread.
OSErr ResError();
ResFileRefNum CurResFile();
// resFNotFound for any map but the application's.
void UseResFile(ResFileRefNum refNum);
// -1 always: eofErr for a file (its resource fork is empty), the catalog error for a reference that names
// nothing, notAFileErr for a folder.
ResFileRefNum FSOpenResFile(const FSRef *ref, SInt8 permission);
void CloseResFile(ResFileRefNum refNum);
void UpdateResFile(ResFileRefNum refNum);
// No map can be written: the file is not created, and the result is paramErr (ResError too).
void FSCreateResFile(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name,
                     FSCatalogInfoBitmap whichInfo, const FSCatalogInfo *catalogInfo, FSRef *newRef, FSSpec *newSpec);

void SetResLoad(Boolean load);
Boolean GetResLoad();
// Lookups in the current map: NULL and resNotFound.
Handle Get1Resource(ResType theType, ResID theID);
Handle Get1IndResource(ResType theType, SInt16 index);
SInt16 Count1Resources(ResType theType);
SInt16 Count1Types();
void Get1IndType(ResType *theType, SInt16 index);
// Any ID is free in an empty map: 128, the first ID for the application's own resources.
ResID Unique1ID(ResType theType);

// A handle is never a resource here: these answer resNotFound (HomeResFile -1) and change nothing.
void GetResInfo(Handle theResource, ResID *theID, ResType *theType, Str255 name);
ResFileRefNum HomeResFile(Handle theResource);
void ReleaseResource(Handle theResource);
void DetachResource(Handle theResource);
void RemoveResource(Handle theResource);
// The current map cannot be written: addResFailed, and the handle stays the caller's.
void AddResource(Handle theData, ResType theType, ResID theID, ConstStr255Param name);
