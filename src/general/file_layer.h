// File layer: creating, naming, opening, reading, writing, moving data inside, copying, deleting and
// classifying files and folders over FSRef, and their names and paths. Every operation returns the File
// Manager's number (widened with its sign) or its own, and passes results through out-parameters; outputs
// keep what they held on failure unless said otherwise. A fork or buffer that an operation opens or
// allocates itself is closed or freed before it returns, on every path.
#pragma once

#include "general/memory_lists.h"
#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/core/mac_types.h"

// ---- Records -----------------------------------------------------------------------------------------------

struct GL_FSRefLE {
  GL_FSRefLE *next;
  FSRef fileRef;
};

struct GL_VolumeLE {
  GL_VolumeLE *next;
  SInt16 vRefNum;
  HFSUniStr255 name;
};

struct GL_AliasNames {
  HFSUniStr255 volumeName;
  HFSUniStr255 name;
  HFSUniStr255 parentName;
};

typedef SInt32 GL_VolKind;
enum : GL_VolKind {
  kGL_VolKindUnknown = 0,
  kGL_VolKindRemoteAppleShare = 1,
  kGL_VolKindRemoteSamba = 2,
  kGL_VolKindLocalApple = 3,
  kGL_VolKindLocalOther = 4,
};

// Kinds of GL_GetFileObjectType.
enum : SInt16 { kGL_FileObjectVolume = 0, kGL_FileObjectFolder = 1, kGL_FileObjectFile = 2, kGL_FileObjectAlias = 3 };

// Given the fraction done (0 to 1); a non-zero result stops the operation, which returns it.
typedef OSStatus (*GL_ProgressCallback)(float fractionDone, void *refCon);

struct GL_UserHasWritePrivilegeToSomeFolderIterateFilterData {
  UInt32 startTime;       // ticks
  UInt32 maxIterateTime;  // ticks
  Boolean userHasWritePrivilege;
};

// The fields of a classic catalog parameter block that GL_GetFileObjectTypeFromPB reads.
struct CInfoPBRec {
  SInt8 ioFlAttrib;  // 0x10: a folder
  SInt32 ioDirID;    // 1: the volume itself
  FileInfo ioFlFndrInfo;
};

// ---- Creating, naming and deleting --------------------------------------------------------------------------

// Creates `name` in `folder` with the given creator and type. An existing name gives dupFNErr unless
// deleteCurFile, which deletes it and creates anew. Bumps the folder's date after a creation.
OSStatus GL_CreateFile(const FSRef *folder, const HFSUniStr255 *name, OSType creator, OSType fileType,
                       Boolean deleteCurFile, FSRef *file);
// Like GL_CreateFile, but removes an existing file through its path and retries a creation that reports
// fBsyErr (at most 11 tries, 10 ticks apart). Blocks the calling thread while it waits.
OSStatus GL_CreateFileNew(const FSRef *folder, const HFSUniStr255 *name, OSType creator, OSType fileType,
                          Boolean deleteCurFile, FSRef *file);
// The folder `name` in `parent`; an existing object of that name (of any kind) is returned as it is.
OSStatus GL_CreateFolder(const FSRef *parent, const HFSUniStr255 *name, FSRef *folder);
// Creates a file with a resource map (type and creator set), then bumps the folder's date and returns that
// result. Linux files keep no resource maps, so the Resource Manager refuses (paramErr) and nothing is made.
OSStatus GL_CreateResFile(const FSRef *folder, const HFSUniStr255 *name, OSType creator, OSType fileType,
                          FSRef *file);
// An empty file with a unique 8-digit name in the user's temporary-items folder.
OSStatus GL_CreateTempFileRef(FSRef *file);
// Renames to the first free name of the series "%@", "%@ %ld" from 2 in the file's folder. *file is updated.
OSStatus GL_RenameIndexed(FSRef *file, CFStringRef newName);
// *outName = the first name of the series "%@", "%@ %ld" with 2, 3, ... that is free in the folder (owned;
// NULL on failure): Clip, Clip 2, Clip 3 ... errFSNameTooLong for a name beyond 255 UTF-16 units.
OSStatus GL_CreateIndexedNameInFolder(const FSRef *folder, CFStringRef name, CFStringRef *outName);
// The same with the series "%@%@", "%@ %ld%@", the number between name and extension (Clip.mov, Clip 2.mov).
OSStatus GL_CreateIndexedNameWithExtInFolder(const FSRef *folder, CFStringRef name, CFStringRef extension,
                                             CFStringRef *outName);
// Renames; when the name is taken, deletes what has it and renames again. *file is updated.
OSStatus GL_RenameDelete(FSRef *file, const HFSUniStr255 *newName);
// Deletes, retrying while the object is busy: every try comes after a 10-tick wait; at least one try.
// Blocks the calling thread while it waits.
OSStatus GL_DeletePotentiallyBusyFileObject(const FSRef *object, SInt32 numTries);
// Sets the resource fork's size to 0 (it is always empty here).
OSStatus GL_DeleteResourceFork(const FSRef *file);
// Deletes the file when its resource map (given open, or opened read/write for 0) has no resource types, and
// clears the reference; noErr without action for an invalid reference. The map is closed again. A Linux
// file's map cannot be opened (eofErr, as for an empty resource fork), so no file is deleted for it.
OSStatus GL_DeleteEmptyResourceFile(SInt16 resFileRefNum, FSRef *file);
// Every file has its (empty) resource fork already: noErr.
OSStatus GL_CreateResourceFork(const FSRef *file);

// ---- Forks, reading and writing ---------------------------------------------------------------------------

// permission: fsRdPerm (1) or fsRdWrPerm (3).
OSStatus GL_OpenDataFork(const FSRef *file, SInt8 permission, FSIORefNum *fork);
OSStatus GL_OpenResourceFork(const FSRef *file, SInt8 permission, FSIORefNum *fork);
// Reads *count bytes (0: everything to the end) at the position into *buffer + dataOffset. With fork 0 the
// named fork of `file` (empty name: the data fork) is opened read-only and closed again. A count beyond the
// end is cut to what is there; *count returns what was read. With *buffer null, a block of dataOffset + count
// bytes is allocated and returned through it (owned: GL_DisposePtr); a caller's buffer must hold dataOffset
// + count bytes.
OSStatus GL_ReadDataFromFork(FSIORefNum fork, const FSRef *file, UniCharCount forkNameLength,
                             const UniChar *forkName, void **buffer, size_t dataOffset, UInt16 positionMode,
                             SInt64 offset, ByteCount *count);
// The whole data fork into a new block (*buffer null) or the caller's; size (optional) says how much.
OSStatus GL_ReadAllDataFromDataFork(FSIORefNum fork, const FSRef *file, void **buffer, ByteCount *size);
// Writes *count bytes from buffer + dataOffset at the position; *count returns what was written. With fork 0
// the named fork of `file` is opened read/write and closed again.
OSStatus GL_WriteDataToFork(FSIORefNum fork, const FSRef *file, UniCharCount forkNameLength, const UniChar *forkName,
                            const void *buffer, size_t dataOffset, UInt16 positionMode, SInt64 offset,
                            ByteCount *count);
// Makes `data` (size bytes) the whole content of the data fork. With fork below 1 the file is never torn:
// the data goes into a new file beside it, which is flushed to the disk and then put in its place in one step
// (the file keeps its catalog information and the caller's references); on any failure the file is as it was.
// With an open fork (1 or more) the data is written over the fork in place and the size set.
OSStatus GL_ReplaceDataInFile(FSIORefNum fork, const FSRef *file, SInt64 size, const void *data);
// Removes size bytes at the position: the tail behind them moves up and the fork shrinks.
OSStatus GL_RemoveDataFromFile(const FSRef *file, UInt16 positionMode, SInt64 offset, SInt64 size);
OSStatus GL_RemoveAllDataFromFile(const FSRef *file);
// Writes zeros over size bytes from start, in pieces of at most bufferSize bytes.
OSStatus GL_ClearFile(FSIORefNum fork, SInt64 start, SInt64 size, ByteCount bufferSize);
// Sets the size of the fork (fork 0: the data fork of `file`, opened read/write for it).
OSStatus GL_SetEOF(FSIORefNum fork, const FSRef *file, SInt64 size);
// Logical and physical sizes of the data fork, then of the resource fork (each optional).
OSStatus GL_GetEOF(const FSRef *file, SInt64 *dataLogicalSize, SInt64 *dataPhysicalSize, SInt64 *rsrcLogicalSize,
                   SInt64 *rsrcPhysicalSize);
// Sum of the logical sizes of all forks.
OSStatus GL_GetLargeFileSize(const FSRef *file, SInt64 *size);
// Fork I/O with the no-cache flag (and, for writing with readVerify, the read-verify flag) added.
OSStatus GL_WriteFileNoCache(FSIORefNum fork, UInt16 positionMode, SInt64 offset, SInt64 count, const void *buffer,
                             Boolean readVerify);
OSStatus GL_ReadFileNoCache(FSIORefNum fork, UInt16 positionMode, SInt64 offset, SInt64 count, void *buffer);

// The running state of GL_BlockMoveDataWithinFile: the buffer holds dataLength bytes at dataStart, kept at
// the buffer's right end when moving towards the end of the fork and at its left end when moving towards
// the start; writePosition is where their end (towards the end) or their start (towards the start) goes.
struct GL_BlockMoveState {
  FSIORefNum fork;
  UInt16 positionMode;
  char *buffer;
  size_t bufferSize;
  size_t dataStart;
  size_t dataLength;
  SInt64 writePosition;
  SInt64 leftToWrite;
};
// Moves size bytes inside one fork from oldOffset to newOffset (the ranges may overlap), through one buffer
// of 4096 to 0x40000000 bytes (size, or maxBufferSize, in 2048-byte units), in whole 2048-byte units aligned
// at the destination. The progress procedure (optional) hears 0 before anything moves and, when moving
// towards the end, the fraction written after each large write. posErr for a negative newOffset, paramErr
// for a negative size.
OSStatus GL_BlockMoveDataWithinFile(FSIORefNum fork, SInt64 oldOffset, SInt64 newOffset, SInt64 size,
                                    SInt64 maxBufferSize, Boolean readVerify, GL_ProgressCallback progress,
                                    void *refCon);
// Writes the last `count` buffered bytes so that they end at writePosition, and keeps the rest at the
// buffer's right end.
OSStatus GL_WritePartOfBufferFromRight(GL_BlockMoveState *state, size_t count);
// Writes the first `count` buffered bytes at writePosition, and moves the rest to the buffer's start.
OSStatus GL_WritePartOfBufferFromLeft(GL_BlockMoveState *state, size_t count);

// Copies both forks of `source` over those of the existing `target`, each target fork ending at the
// source's size, then the source's settable catalog information (the Finder's initialised flag cleared).
// kGL_CopySmallFileErr, before anything is written, when a fork is larger than 32 bits can count.
OSStatus GL_CopySmallFile(const FSRef *source, const FSRef *target);

// ---- Names, catalog information and classification -----------------------------------------------------------

// *name = the object's name as a new string (owned), immutable or mutable.
OSStatus GL_CopyFileDirNameAsCFString(const FSRef *object, CFStringRef *name);
OSStatus GL_CopyFileDirNameAsCFMutStr(const FSRef *object, CFMutableStringRef *name);
OSStatus GL_GetParentFolderName(const FSRef *object, HFSUniStr255 *name);
// One catalog query; each output optional; the volume is written only on success.
OSStatus GL_GetObjectDefaultCatInfo(const FSRef *object, HFSUniStr255 *name, FSVolumeRefNum *volume, FSRef *parent);
// notAFileErr for a folder; each output optional.
OSStatus GL_GetCreatorAndFileType(const FSRef *file, OSType *creator, OSType *fileType);
// kGL_FileObjectVolume for a volume's root folder, kGL_FileObjectFolder, kGL_FileObjectAlias for a file
// with the alias Finder flag, kGL_FileObjectFile for any other file.
OSStatus GL_GetFileObjectType(const FSRef *object, SInt16 *kind);
SInt16 GL_GetFileObjectTypeFromPB(const CInfoPBRec *pb);
// True for a volume's root folder.
OSStatus GL_IsVolume(const FSRef *object, Boolean *isVolume);
// Creation, content modification, attribute modification, access and backup dates (each optional).
OSStatus GL_GetFileObjectTimes(const FSRef *object, UTCDateTime *createDate, UTCDateTime *contentModDate,
                               UTCDateTime *attributeModDate, UTCDateTime *accessDate, UTCDateTime *backupDate);
// Sets the dates that are given. The attribute modification date is the kernel's and follows every change.
OSStatus GL_SetFileObjectTimes(const FSRef *object, const UTCDateTime *createDate, const UTCDateTime *contentModDate,
                               const UTCDateTime *attributeModDate, const UTCDateTime *accessDate,
                               const UTCDateTime *backupDate);
// errFSNotAFolder for a file.
OSStatus GL_GetFolderValence(const FSRef *folder, UInt32 *count);
// False (with noErr) when the data fork cannot be opened for writing because of a lock or permissions;
// true when it is merely open for writing elsewhere.
OSStatus GL_IsFileWritable(const FSRef *file, Boolean *writable);
// Whether each asked fork is open for writing (in this process).
OSStatus GL_IsFileOpenForWriting(const FSRef *file, Boolean *resourceForkOpen, Boolean *dataForkOpen);
// Whether any fork of the file is open (in this process).
OSStatus GL_IsFileOpen(const FSRef *file, Boolean *isOpen);
OSStatus GL_FileHasNamedForks(const FSRef *file, Boolean *hasNamedForks);
OSStatus GL_CountForks(const FSRef *file, ItemCount *count);
// Whether Launch Services hides the item's extension (never, on Linux); its error when the item is invalid.
OSStatus GL_GetExtensionHiddenForRef(const FSRef *object, Boolean *isHidden);
// The nearest enclosing folder that is a package, walking up the valid parents; *package stays all zeros
// (with noErr) when there is none, which on Linux is always, as folders are never packages here.
OSStatus GL_GetEnvelopingPackage(const FSRef *file, FSRef *package);
// Whether the object lies inside its volume's Trash (the Trash itself does not); false with noErr when the
// volume has no Trash.
OSStatus GL_FileInTrash(const FSRef *object, Boolean *inTrash);
// There is no Classic Trash here: false with noErr.
OSStatus GL_FileInClassicTrash(const FSRef *object, Boolean *inTrash);
// True when the reference names an object that is not in the Trash.
Boolean GL_FSRefValid(const FSRef *object);
Boolean GL_EqualFileObjects(const FSRef *a, const FSRef *b);
// List comparator for GL_FSRefLE elements: both valid and the same object.
Boolean GL_EqualFileRefLEPtrs(const void *a, const void *b);
// True when the name ends in ".htm" or ".html" (case counts).
Boolean GL_IsHTML_File(CFStringRef name);
// Converts a catalog information record between big-endian and native order in place.
void GL_FlipFSCatalogInfo_BtoN(FSCatalogInfo *info);
void GL_FlipFSCatalogInfo_NtoB(FSCatalogInfo *info);

// ---- Paths and processes ---------------------------------------------------------------------------------------

// A colon-separated path whose first component is a volume name, as a POSIX path in a new zero-terminated
// UTF-8 string (owned: GL_DisposePtr); null when the volume is not mounted or memory is out.
char *GL_HFS_StrToPosixStr(const char *hfsPath);
// Owned: the object's POSIX path as a string; NULL when the reference names nothing.
CFStringRef GL_FSRefToPosixStr(const FSRef *object);
// The object's POSIX path in a new zero-terminated UTF-8 string (owned: GL_DisposePtr); null when the
// reference names nothing.
char *GL_FSRefToPosixPath(const FSRef *object);
// The object at folderPath joined with fileName (zero-terminated UTF-8). kGL_CreateURLErr when no URL can be
// made of the path, kGL_URLToFSRefErr when nothing is there.
OSStatus GL_FolderPathFileNameToFSRef(const char *folderPath, const char *fileName, FSRef *ref);
// The last component of a POSIX path and the folder that holds it (the object itself need not exist).
// kGL_CreateURLErr, kGL_NoLastPathComponentErr, or kGL_URLToFSRefErr when the folder is not there.
OSStatus GL_FullPathToFileNameAndParentRef(const char *path, HFSUniStr255 *name, FSRef *parent);
// The main bundle's folder (the resources); kLSApplicationNotFoundErr when there is none.
OSStatus GL_GetAppRef(FSRef *appRef);
// The running program's file, and its folder.
OSStatus GL_CurrentProcessRef(FSRef *processRef);
OSStatus GL_GetAppParentDirectory(FSRef *folder);
