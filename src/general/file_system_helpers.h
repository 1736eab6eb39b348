// File-system helpers (MF_): a thin layer over the File Manager's FSRef, catalog, fork and volume calls,
// on which the file layer builds. Every routine returns the File Manager's number widened with its sign
// (0 for success) and paramErr when a required output is null; outputs are written only on success unless a
// routine says otherwise.
//
// Classic calls that have no meaning on Linux (FSSpec records, file identifiers, AppleShare
// directory access, mount information) answer paramErr (-50), the one number
// agreed for them, without touching their outputs.
#pragma once

#include "platform/core/files.h"
#include "platform/core/mac_types.h"

// The 16-byte Finder information of a file or a folder, and its extended companion.
union FinderInfo {
  FileInfo file;
  FolderInfo folder;
};
union ExtendedFinderInfo {
  ExtendedFileInfo file;
  ExtendedFolderInfo folder;
};

// Classic user and group name mapping kinds.
enum : SInt16 { kOwnerID2Name = 1, kGroupID2Name = 2, kOwnerName2ID = 3, kGroupName2ID = 4 };

// ---- Volumes ----------------------------------------------------------------------------------------------

// The volume's parameters into the caller's buffer (at most bufferSize bytes); actualInfoSize says how many.
OSErr MF_FSGetVolParms(FSVolumeRefNum volRefNum, UInt32 bufferSize, GetVolParmsInfoBuffer *volParmsInfo,
                       UInt32 *actualInfoSize);
OSErr MF_FSGetVRefNum(const FSRef *ref, FSVolumeRefNum *vRefNum);
// Name and sizes (each optional; the sizes are asked for only when one of them is wanted).
OSErr MF_FSGetVInfo(FSVolumeRefNum volume, HFSUniStr255 *volumeName, UInt64 *freeBytes, UInt64 *totalBytes);
OSErr MF_FSGetVolFileSystemID(FSVolumeRefNum volume, UInt16 *fileSystemID, UInt16 *signature);
// The root folder of every mounted volume. *volumeRefsHandle becomes an owned handle of FSRefs (the caller
// disposes it with DisposeHandle); on failure it is null and *numVolumes 0. memFullErr when it cannot be made.
OSErr MF_FSGetMountedVolumes(FSRef ***volumeRefsHandle, ItemCount *numVolumes);
// Mount information is a classic AppleShare notion: paramErr.
OSErr MF_FSGetVolMountInfoSize(FSVolumeRefNum volRefNum, UInt16 *size);
OSErr MF_FSGetVolMountInfo(FSVolumeRefNum volRefNum, void *volMountInfo);
OSErr MF_FSVolumeMount(const void *volMountInfo, FSVolumeRefNum *volRefNum);

// ---- Objects, names and catalog information -----------------------------------------------------------------

// True when the reference still names an object (a catalog query without information succeeds).
Boolean MF_FSRefValid(const FSRef *ref);
// The parent folder; the all-zero FSRef (with noErr) for a volume's root folder.
OSErr MF_FSGetParentRef(const FSRef *ref, FSRef *parentRef);
OSErr MF_FSGetFileDirName(const FSRef *ref, HFSUniStr255 *outName);
OSErr MF_FSGetNodeID(const FSRef *ref, SInt32 *nodeID, Boolean *isDirectory);
// permissions: 16 bytes (an FSPermissionInfo). Each output optional.
OSErr MF_FSGetUserPrivilegesPermissions(const FSRef *ref, UInt8 *userPrivileges, UInt32 permissions[4]);
// fLckdErr for a locked object, else wPrErr for a hardware-locked (read-only) volume, else vLckdErr for a
// software-locked one, else noErr.
OSErr MF_FSCheckLock(const FSRef *ref);
// Logical sizes of the data and resource forks (each optional); notAFileErr for a folder.
OSErr MF_FSGetForkSizes(const FSRef *ref, UInt64 *dataLogicalSize, UInt64 *rsrcLogicalSize);
// Sums over all forks (each output optional and zeroed first).
OSErr MF_FSGetTotalForkSizes(const FSRef *ref, UInt64 *totalLogicalSize, UInt64 *totalPhysicalSize,
                             ItemCount *forkCount);
// Reads or writes only the blocks that are given.
OSErr MF_FSGetFinderInfo(const FSRef *ref, FinderInfo *info, ExtendedFinderInfo *extendedInfo, Boolean *isDirectory);
OSErr MF_FSSetFinderInfo(const FSRef *ref, const FinderInfo *info, const ExtendedFinderInfo *extendedInfo);
// A non-zero code replaces the present one; notAFileErr for a folder. Bumps the parent folder's date.
OSErr MF_FSChangeCreatorType(const FSRef *ref, OSType fileCreator, OSType fileType);
// Sets (setBits true) or clears flagBits in the Finder flags, then bumps the parent folder's date.
OSErr MF_FSChangeFinderFlags(const FSRef *ref, Boolean setBits, UInt16 flagBits);
OSErr MF_FSSetInvisible(const FSRef *ref);
OSErr MF_FSClearInvisible(const FSRef *ref);
OSErr MF_FSSetNameLocked(const FSRef *ref);
OSErr MF_FSClearNameLocked(const FSRef *ref);
OSErr MF_FSSetIsStationery(const FSRef *ref);
OSErr MF_FSClearIsStationery(const FSRef *ref);
OSErr MF_FSSetHasCustomIcon(const FSRef *ref);
OSErr MF_FSClearHasCustomIcon(const FSRef *ref);
OSErr MF_FSClearHasBeenInited(const FSRef *ref);
// Copies the settable catalog information, the Finder's initialised flag cleared and the locked flag kept
// only when copyLockBit is set.
OSErr MF_FSCopyFileMgrAttributes(const FSRef *source, const FSRef *destination, Boolean copyLockBit);
// Sets the content modification date to now, one second later when now equals the old date.
OSErr MF_FSBumpDate(const FSRef *ref);

// Conversions. FSSpec records and directory identifiers cannot be resolved here: paramErr.
OSErr MF_FSRefMakeFSSpec(const FSRef *ref, FSSpec *spec);
OSErr MF_FSMakeFSRef(FSVolumeRefNum volRefNum, SInt32 dirID, ConstStr255Param name, FSRef *ref);
OSErr MF_FSMakePath(FSVolumeRefNum volRefNum, SInt32 dirID, ConstStr255Param name, UInt8 *path, UInt32 maxPathSize);
OSErr MF_FSPathMakeFSSpec(const UInt8 *path, FSSpec *spec, Boolean *isDirectory);
// The file of an open fork.
OSErr MF_FileRefNumGetFSRef(FSIORefNum refNum, FSRef *ref);
// Classic names of at most 31 bytes (27 for a volume) in the hint's encoding, or for kTextEncodingUnknown
// in the system script's (UTF-8 here). A name that does not fit gives kTECOutputBufferFullStatus and one that
// the encoding cannot hold kTECUnmappableElementErr; an empty name converts to an empty one.
OSErr MF_UnicodeNameGetHFSName(UniCharCount nameLength, const UniChar *name, TextEncoding textEncodingHint,
                               Boolean isVolumeName, Str31 hfsName);
OSErr MF_HFSNameGetUnicodeName(ConstStr31Param hfsName, TextEncoding textEncodingHint, HFSUniStr255 *unicodeName);

// AppleShare directory access: paramErr.
OSErr MF_FSGetDirAccess(const FSRef *ref, SInt32 *ownerID, SInt32 *groupID, SInt32 *accessRights);
OSErr MF_FSSetDirAccess(const FSRef *ref, SInt32 ownerID, SInt32 groupID, SInt32 accessRights);
// User and group names and identifiers of this system (kOwnerID2Name/kGroupID2Name, kOwnerName2ID/
// kGroupName2ID). Identifier 0 maps to the empty name, as it did; fnfErr for an unknown one; paramErr for a
// wrong kind. Names longer than 31 bytes are cut.
OSErr MF_FSMapID(FSVolumeRefNum volRefNum, SInt32 ugID, SInt16 objType, Str31 name);
OSErr MF_FSMapName(FSVolumeRefNum volRefNum, ConstStr255Param name, SInt16 objType, SInt32 *ugID);
// File identifiers cannot be resolved on Linux: paramErr.
OSErr MF_FSCreateFileIDRef(const FSRef *ref, SInt32 *fileID);
OSErr MF_FSResolveFileIDRef(FSVolumeRefNum volRefNum, SInt32 fileID, FSRef *ref);
// Main thread only: the process's working folder. dirNFErr when newDefault is not a folder.
OSErr MF_FSSetDefault(const FSRef *newDefault, FSRef *oldDefault);
OSErr MF_FSRestoreDefault(const FSRef *oldDefault);

// ---- Folders, copying, moving and exchanging -------------------------------------------------------------------

// Every object of the folder. *refsHandle becomes an owned handle of FSRefs (DisposeHandle); on failure it
// is null and *numRefs 0. containerChanged optional.
OSErr MF_FSGetDirectoryItems(const FSRef *container, FSRef ***refsHandle, ItemCount *numRefs,
                             Boolean *containerChanged);

// Called for every object; returning true stops the whole iteration. name is null unless asked for; spec is
// always null.
typedef Boolean (*MF_IterateContainerFilterProcPtr)(Boolean containerChanged, ItemCount currentLevel,
                                                    const FSCatalogInfo *catalogInfo, const FSRef *ref,
                                                    const FSSpec *spec, const HFSUniStr255 *name, void *yourDataPtr);
// Walks the tree below container depth first (maxLevels 0 = no limit), one object per request.
OSErr MF_FSIterateContainer(const FSRef *container, ItemCount maxLevels, FSCatalogInfoBitmap whichInfo,
                            Boolean wantFSSpec, Boolean wantName, MF_IterateContainerFilterProcPtr iterateFilter,
                            void *yourDataPtr);
// Deletes everything inside the folder (unlocking locked objects first), and then the folder itself.
// dirNFErr for a file.
OSErr MF_FSDeleteContainerContents(const FSRef *container);
OSErr MF_FSDeleteContainer(const FSRef *container);
// Copies one open fork into another through the caller's buffer; the destination's size becomes the
// source's.
OSErr MF_FSCopyFork(FSIORefNum srcRefNum, FSIORefNum dstRefNum, void *copyBufferPtr, ByteCount copyBufferSize);
// Server-side copy and one-step move-and-rename need volume support that no volume offers here: paramErr.
OSErr MF_FSCopyFile(const FSRef *source, const FSRef *destDir, UniCharCount nameLength, const UniChar *copyName,
                    TextEncoding textEncodingHint, FSRef *newRef);
OSErr MF_FSMoveRename(const FSRef *ref, const FSRef *destDirectory, UniCharCount nameLength, const UniChar *name,
                      TextEncoding textEncodingHint, FSRef *newRef);
// Moves the object into destDirectory and gives it the new name (when one is given) through a unique
// temporary name, undoing what was done when a step fails. newRef optional.
OSErr MF_FSMoveRenameObjectUnicode(const FSRef *ref, const FSRef *destDirectory, UniCharCount nameLength,
                                   const UniChar *name, TextEncoding textEncodingHint, FSRef *newRef);
// An 8-hexadecimal-digit name from *startSeed that exists in neither folder; the seed is left one beyond.
OSErr MF_GenerateUniqueHFSUniStr(UInt32 *startSeed, const FSRef *dir1, const FSRef *dir2, HFSUniStr255 *uniqueName);
// Exchanges two files: afterwards newSourceRef names the object at the source's old place and name, which
// holds what the destination held, and newDestRef the other. Each step is undone when a later one fails.
OSErr MF_FSExchangeObjectsCompat(const FSRef *sourceRef, const FSRef *destRef, FSRef *newSourceRef,
                                 FSRef *newDestRef);
// A buffer of a multiple of 4096 bytes (at least 4096), smaller than asked for when memory is short.
// Returns an owned block (DisposePtr) or null; *buffActSize says its size (0 when null).
Ptr MF_FSGetTempBuffer(ByteCount buffReqSize, ByteCount *buffActSize);
