// File Manager stand-in: FSRef objects over Linux paths, catalog information, forks, folder iterators,
// volumes and special folders, with the toolbox's names, flag values and error numbers.
//
// An FSRef holds an id into a process-wide table of absolute paths (made with realpath) plus the object's
// device and inode; all zeros is invalid. A reference stays valid while an object with that device and inode
// lives at the recorded path; renames and moves made through this layer update the table, so references to
// the moved object (and to everything inside a moved folder) keep working, as they did on the Mac.
//
// Labels that Linux files lack (creator, type, Finder flags and the rest of the Finder information, the
// creation and backup dates, the text-encoding hint) live in the user extended attribute
// "user.brizel.catinfo"; a file system without extended attributes silently keeps none.
//
// Linux files have no resource fork: every file answers as if its resource fork were empty.
//
// Every call may run on any thread. Forks use pread/pwrite with a per-fork mark under a lock, so several
// tasks can read one open fork (or one file through several forks) at the same time.
#pragma once

#include "platform/core/mac_types.h"

#include <string>

// ---- References and names ----------------------------------------------------------------------------

struct FSRef {
  UInt8 hidden[80];
};
typedef FSRef *FSRefPtr;

// A file or folder name: at most 255 UTF-16 units.
struct HFSUniStr255 {
  UInt16 length;
  UniChar unicode[255];
};
typedef const HFSUniStr255 *ConstHFSUniStr255Param;

typedef SInt16 FSVolumeRefNum;
typedef SInt16 FSIORefNum;
typedef UInt32 FSCatalogInfoBitmap;
typedef UInt32 FSVolumeInfoBitmap;
typedef UInt32 FSIteratorFlags;
typedef struct OpaqueFSIterator *FSIterator;

// The classic FSSpec record. Linux cannot find a folder by its directory identifier, so no call here
// accepts one; a non-null FSSpec output gives paramErr.
struct FSSpec {
  FSVolumeRefNum vRefNum;
  SInt32 parID;
  Str63 name;
};

enum : FSVolumeRefNum { kFSInvalidVolumeRefNum = 0 };
// Node identifiers of a volume's root folder and of the root's (notional) parent.
enum : UInt32 { fsRtParID = 1, fsRtDirID = 2 };

// Text-encoding hints; names are always UTF-16 here, so hints are accepted and ignored.
enum : TextEncoding { kTextEncodingMacRoman = 0, kTextEncodingUnknown = 0xFFFF };

// ---- Catalog information --------------------------------------------------------------------------------

enum : FSCatalogInfoBitmap {
  kFSCatInfoNone = 0x00000000,
  kFSCatInfoTextEncoding = 0x00000001,
  kFSCatInfoNodeFlags = 0x00000002,
  kFSCatInfoVolume = 0x00000004,
  kFSCatInfoParentDirID = 0x00000008,
  kFSCatInfoNodeID = 0x00000010,
  kFSCatInfoCreateDate = 0x00000020,
  kFSCatInfoContentMod = 0x00000040,
  kFSCatInfoAttrMod = 0x00000080,
  kFSCatInfoAccessDate = 0x00000100,
  kFSCatInfoBackupDate = 0x00000200,
  kFSCatInfoPermissions = 0x00000400,
  kFSCatInfoFinderInfo = 0x00000800,
  kFSCatInfoFinderXInfo = 0x00001000,
  kFSCatInfoValence = 0x00002000,
  kFSCatInfoDataSizes = 0x00004000,
  kFSCatInfoRsrcSizes = 0x00008000,
  kFSCatInfoSharingFlags = 0x00010000,
  kFSCatInfoUserPrivs = 0x00020000,
  kFSCatInfoUserAccess = 0x00080000,
  kFSCatInfoAllDates = 0x000003E0,
  kFSCatInfoGettableInfo = 0x0003FFFF,
  kFSCatInfoSettableInfo = 0x00001FE3,
};

// Node flags.
enum : UInt16 {
  kFSNodeLockedBit = 0,
  kFSNodeLockedMask = 0x0001,
  kFSNodeResOpenBit = 2,
  kFSNodeResOpenMask = 0x0004,
  kFSNodeDataOpenBit = 3,
  kFSNodeDataOpenMask = 0x0008,
  kFSNodeIsDirectoryBit = 4,
  kFSNodeIsDirectoryMask = 0x0010,
  kFSNodeForkOpenBit = 7,
  kFSNodeForkOpenMask = 0x0080,
};

// Finder flags (in FileInfo/FolderInfo.finderFlags).
enum : UInt16 {
  kIsOnDesk = 0x0001,
  kColor = 0x000E,
  kIsShared = 0x0040,
  kHasNoINITs = 0x0080,
  kHasBeenInited = 0x0100,
  kHasCustomIcon = 0x0400,
  kIsStationery = 0x0800,
  kNameLocked = 0x1000,
  kHasBundle = 0x2000,
  kIsInvisible = 0x4000,
  kIsAlias = 0x8000,
};

// User-privilege bits of FSCatalogInfo.userPrivileges (a set bit denies).
enum : UInt8 {
  kioACUserNoSeeFolderMask = 0x01,
  kioACUserNoSeeFilesMask = 0x02,
  kioACUserNoMakeChangesMask = 0x04,
  kioACUserNotOwnerMask = 0x80,
};

// The 16-byte Finder information blocks, in native byte order in memory.
struct FileInfo {
  OSType fileType;
  OSType fileCreator;
  UInt16 finderFlags;
  Point location;
  UInt16 reservedField;
};
struct FolderInfo {
  Rect windowBounds;
  UInt16 finderFlags;
  Point location;
  UInt16 reservedField;
};
struct ExtendedFileInfo {
  SInt16 reserved1[4];
  UInt16 extendedFinderFlags;
  SInt16 reserved2;
  SInt32 putAwayFolderID;
};
struct ExtendedFolderInfo {
  Point scrollPosition;
  SInt32 reserved1;
  UInt16 extendedFinderFlags;
  SInt16 reserved2;
  SInt32 putAwayFolderID;
};
static_assert(sizeof(FileInfo) == 16 && sizeof(FolderInfo) == 16, "Finder information is 16 bytes");
static_assert(sizeof(ExtendedFileInfo) == 16 && sizeof(ExtendedFolderInfo) == 16, "extended Finder information is 16 bytes");

// The 16 bytes of FSCatalogInfo.permissions.
struct FSPermissionInfo {
  UInt32 userID;
  UInt32 groupID;
  UInt8 reserved1;
  UInt8 userAccess;
  UInt16 mode;  // st_mode: file type and permission bits
  UInt32 reserved2;
};
static_assert(sizeof(FSPermissionInfo) == 16, "permissions are 16 bytes");

struct FSCatalogInfo {
  UInt16 nodeFlags;
  FSVolumeRefNum volume;
  UInt32 parentDirID;
  UInt32 nodeID;
  UInt8 sharingFlags;
  UInt8 userPrivileges;
  UInt8 reserved1;
  UInt8 reserved2;
  UTCDateTime createDate;
  UTCDateTime contentModDate;
  UTCDateTime attributeModDate;
  UTCDateTime accessDate;
  UTCDateTime backupDate;
  UInt32 permissions[4];  // an FSPermissionInfo
  UInt8 finderInfo[16];   // a FileInfo or FolderInfo
  UInt8 extFinderInfo[16];
  UInt64 dataLogicalSize;
  UInt64 dataPhysicalSize;
  UInt64 rsrcLogicalSize;
  UInt64 rsrcPhysicalSize;
  UInt32 valence;
  TextEncoding textEncodingHint;
};
typedef FSCatalogInfo *FSCatalogInfoPtr;

// Makes a reference from a POSIX path (relative paths from the working folder); symbolic links are resolved.
// isDirectory is optional. fnfErr when nothing is there.
OSStatus FSPathMakeRef(const UInt8 *path, FSRef *ref, Boolean *isDirectory);
// Writes the object's absolute path, zero-terminated; pathTooLongErr when maxPathSize cannot hold it.
OSStatus FSRefMakePath(const FSRef *ref, UInt8 *path, UInt32 maxPathSize);
// Reference to the object `name` inside `parentRef`. Names are exact and case-sensitive; a symbolic link is
// resolved to its target. fnfErr when missing, bdNamErr for "", ".", "..", names holding '/' or NUL or
// malformed UTF-16, errFSNameTooLong beyond 255 bytes of UTF-8, errFSNotAFolder when the parent is a file.
OSErr FSMakeFSRefUnicode(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name,
                         TextEncoding textEncodingHint, FSRef *newRef);
// noErr when both name the same object, errFSRefsDifferent when not; the error of an invalid reference.
OSErr FSCompareFSRefs(const FSRef *ref1, const FSRef *ref2);

// Each output is optional. The name of a volume's root folder is the volume's name; its parentRef is the
// all-zero FSRef. Dates: content modification = mtime, attribute modification = ctime, access = atime,
// creation = birth time (or the stored label), backup = the stored label (0 when none).
OSErr FSGetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo *catalogInfo,
                       HFSUniStr255 *outName, FSSpec *fsSpec, FSRef *parentRef);
// Sets the settable fields named in whichInfo. The attribute modification date is the kernel's ctime and is
// left as it is; the locked node flag is the file's immutable attribute (setting it needs the privilege);
// permissions change the mode, and owner and group only when they differ (which needs the privilege).
OSErr FSSetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo *catalogInfo);

// Creation never replaces: dupFNErr when the name exists. Settable catalog information is applied when given;
// a failure there removes the new object again and is returned.
OSErr FSCreateFileUnicode(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name,
                          FSCatalogInfoBitmap whichInfo, const FSCatalogInfo *catalogInfo, FSRef *newRef,
                          FSSpec *newSpec);
OSErr FSCreateDirectoryUnicode(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name,
                               FSCatalogInfoBitmap whichInfo, const FSCatalogInfo *catalogInfo, FSRef *newRef,
                               FSSpec *newSpec, UInt32 *newDirID);
// fBsyErr for a folder that is not empty and for a file with a fork open in this process (as the Mac
// refused), fLckdErr for a locked object.
OSErr FSDeleteObject(const FSRef *ref);
// Renames in place; dupFNErr when the new name is taken (never replaces). newRef optional.
OSErr FSRenameUnicode(const FSRef *ref, UniCharCount nameLength, const UniChar *name, TextEncoding textEncodingHint,
                      FSRef *newRef);
// Moves into destDirectory keeping the name; dupFNErr when taken, diffVolErr across volumes, badMovErr into
// itself. newRef optional.
OSErr FSMoveObject(const FSRef *ref, const FSRef *destDirectory, FSRef *newRef);

// Puts the file `replacement` in the place of the file `target` in one step (a rename over it), so that the
// place never holds a partly written file. References to `target` keep naming its place, now holding what
// `replacement` held; references to `replacement` go stale. diffVolErr across volumes, notAFileErr for a
// folder, fBsyErr while either has a fork open, fLckdErr for a locked target.
OSErr PL_FSReplaceObject(const FSRef *target, const FSRef *replacement);

// ---- Forks -----------------------------------------------------------------------------------------------

enum : SInt8 { fsCurPerm = 0x00, fsRdPerm = 0x01, fsWrPerm = 0x02, fsRdWrPerm = 0x03, fsRdWrShPerm = 0x04 };
enum : UInt16 {
  fsAtMark = 0,
  fsFromStart = 1,
  fsFromLEOF = 2,
  fsFromMark = 3,
  pleaseCacheMask = 0x0010,
  noCacheMask = 0x0020,
  rdVerifyMask = 0x0040,
};

struct CatPositionRec {
  SInt32 initialize;  // 0 starts an iteration
  SInt16 priv[6];
};

// The data fork's name is empty; the resource fork's is "RESOURCE_FORK".
OSErr FSGetDataForkName(HFSUniStr255 *dataForkName);
OSErr FSGetResourceForkName(HFSUniStr255 *resourceForkName);
// Every file already has its (empty) data and resource forks: errFSForkExists; other named forks: paramErr.
OSErr FSCreateFork(const FSRef *ref, UniCharCount forkNameLength, const UniChar *forkName);
// Lists the forks that hold a place in the file: the data fork of a file; nothing for a folder.
OSErr FSIterateForks(const FSRef *ref, CatPositionRec *forkIterator, HFSUniStr255 *forkName, SInt64 *forkSize,
                     UInt64 *forkPhysicalSize);
// Opens a fork and returns its reference number (1..32767). Write permission is exclusive per fork
// (fsRdWrShPerm shares it): a second exclusive writer, or any writer beside an exclusive one, gets opWrErr.
// notAFileErr for a folder, errFSForkNotFound for other named forks, fLckdErr for a locked file.
OSErr FSOpenFork(const FSRef *ref, UniCharCount forkNameLength, const UniChar *forkName, SInt8 permissions,
                 FSIORefNum *forkRefNum);
// Reads at the position (mode and offset) and advances the fork's mark. eofErr when fewer bytes than asked
// were there (actualCount says how many), posErr for a position before the start.
OSErr FSReadFork(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset, ByteCount requestCount,
                 void *buffer, ByteCount *actualCount);
// Writes at the position and advances the mark; a write past the end extends the fork. wrPermErr on a fork
// opened read-only; dskFulErr when the disk fills (actualCount says how much was written). A resource fork
// cannot hold data here: writing bytes to one gives paramErr.
OSErr FSWriteFork(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset, ByteCount requestCount,
                  const void *buffer, ByteCount *actualCount);
OSErr FSGetForkPosition(FSIORefNum forkRefNum, SInt64 *position);
// posErr before the start, eofErr beyond the end.
OSErr FSSetForkPosition(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset);
OSErr FSGetForkSize(FSIORefNum forkRefNum, SInt64 *forkSize);
// Sets the logical end; a mark beyond it moves to it. wrPermErr on a read-only fork.
OSErr FSSetForkSize(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset);
// Writes the fork's data through to the disk (fsync).
OSErr FSFlushFork(FSIORefNum forkRefNum);
OSErr FSCloseFork(FSIORefNum forkRefNum);

struct FSForkInfo {
  SInt8 flags;
  SInt8 permissions;
  UInt32 nodeID;
  UInt32 forkID;  // 0 data fork, 1 resource fork
  UInt64 currentPosition;
  UInt64 logicalEOF;
  UInt64 physicalEOF;
};
// Facts about the open fork desiredRefNum (volume and iterator are not supported: pass 0 and null). Each
// output optional.
OSErr FSGetForkCBInfo(FSIORefNum desiredRefNum, FSVolumeRefNum volume, SInt16 *iterator, FSIORefNum *actualRefNum,
                      FSForkInfo *forkInfo, FSRef *ref, HFSUniStr255 *outForkName);

// Parameter block of the fork calls, with the fields that this layer reads and writes. Synchronous only.
struct FSForkIOParam {
  OSErr ioResult;
  FSIORefNum forkRefNum;
  SInt8 permissions;
  const FSRef *ref;
  Ptr buffer;
  ByteCount requestCount;
  ByteCount actualCount;
  UInt16 positionMode;
  SInt64 positionOffset;
  UniCharCount forkNameLength;
  const UniChar *forkName;
};
typedef FSForkIOParam *FSForkIOParamPtr;
OSErr PBReadForkSync(FSForkIOParam *paramBlock);
OSErr PBWriteForkSync(FSForkIOParam *paramBlock);
OSErr PBOpenForkSync(FSForkIOParam *paramBlock);
OSErr PBCloseForkSync(FSForkIOParam *paramBlock);

// ---- Folder iterators ----------------------------------------------------------------------------------

enum : FSIteratorFlags { kFSIterateFlat = 0, kFSIterateSubtree = 1, kFSIterateDelete = 2, kFSIterateReserved = 0xFFFFFFFC };

// Takes a snapshot of the folder's names sorted by their bytes, so results never depend on the file system's
// order. Subtree iteration is not offered (errFSIteratorNotSupported). errFSNotAFolder for a file,
// afpAccessDenied when the folder may not be read.
OSErr FSOpenIterator(const FSRef *container, FSIteratorFlags iteratorFlags, FSIterator *iterator);
OSErr FSCloseIterator(FSIterator iterator);
// Up to maximumObjects further objects (objects that vanished since the snapshot are skipped); every array
// given must hold maximumObjects elements. noErr while objects come back, errFSNoMoreItems (with 0 objects)
// at the end. containerChanged (optional) tells whether the folder changed since the iterator was opened.
OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount *actualObjects,
                           Boolean *containerChanged, FSCatalogInfoBitmap whichInfo, FSCatalogInfo *catalogInfos,
                           FSRef *refs, FSSpec *specs, HFSUniStr255 *names);

// ---- Volumes ---------------------------------------------------------------------------------------------

enum : FSVolumeInfoBitmap {
  kFSVolInfoNone = 0x0000,
  kFSVolInfoCreateDate = 0x0001,
  kFSVolInfoModDate = 0x0002,
  kFSVolInfoBackupDate = 0x0004,
  kFSVolInfoCheckedDate = 0x0008,
  kFSVolInfoFileCount = 0x0010,
  kFSVolInfoDirCount = 0x0020,
  kFSVolInfoSizes = 0x0040,
  kFSVolInfoBlocks = 0x0080,
  kFSVolInfoNextAlloc = 0x0100,
  kFSVolInfoRsrcClump = 0x0200,
  kFSVolInfoDataClump = 0x0400,
  kFSVolInfoNextID = 0x0800,
  kFSVolInfoFinderInfo = 0x1000,
  kFSVolInfoFlags = 0x2000,
  kFSVolInfoFSInfo = 0x4000,
  kFSVolInfoDriveInfo = 0x8000,
  kFSVolInfoGettableInfo = 0xFFFF,
};
enum : UInt16 { kFSVolFlagHardwareLockedMask = 0x0080, kFSVolFlagSoftwareLockedMask = 0x8000 };

struct FSVolumeInfo {
  UTCDateTime createDate;
  UTCDateTime modifyDate;
  UTCDateTime backupDate;
  UTCDateTime checkedDate;
  UInt32 fileCount;
  UInt32 folderCount;
  UInt64 totalBytes;
  UInt64 freeBytes;  // available to this user
  UInt32 blockSize;
  UInt32 totalBlocks;
  UInt32 freeBlocks;
  UInt32 nextAllocation;
  UInt32 rsrcClumpSize;
  UInt32 dataClumpSize;
  UInt32 nextCatalogID;
  UInt8 finderInfo[32];
  UInt16 flags;         // read-only mounts are hardware-locked
  UInt16 filesystemID;  // low 16 bits of the statfs type (never 0 here: no volume is HFS)
  UInt16 signature;     // high 16 bits of the statfs type
  UInt16 driveNumber;
  SInt16 driverRefNum;
};

// Classic volume parameters (version 4 layout).
struct GetVolParmsInfoBuffer {
  SInt16 vMVersion;
  SInt32 vMAttrib;      // no classic move-rename (0x2000) or server copy (0x4000) here
  Handle vMLocalHand;
  SInt32 vMServerAdr;   // non-zero on network volumes (NFS, SMB/CIFS, 9p, Ceph, AFS, Coda, sshfs)
  SInt32 vMVolumeGrade;
  SInt16 vMForeignPrivID;
  SInt32 vMExtendedAttributes;  // no object exchange (0x8) here
  void *vMDeviceID;             // zero-terminated device name (mount source's last component)
};

// Volume information by reference number, or (volume kFSInvalidVolumeRefNum) by index 1, 2, ... over the
// mounted file systems that hold files (pseudo file systems and mounts under /proc, /sys, /dev and /run are
// left out); nsvErr past the last. Volume reference numbers are -100, -101, ... in order of discovery and
// stay fixed for the process. The root file system's name is "/", other volumes are named after the last
// component of their mount point. Each output optional.
OSErr FSGetVolumeInfo(FSVolumeRefNum volume, ItemCount volumeIndex, FSVolumeRefNum *actualVolume,
                      FSVolumeInfoBitmap whichInfo, FSVolumeInfo *info, HFSUniStr255 *volumeName,
                      FSRef *rootDirectory);
// Copies min(bufferSize, sizeof(GetVolParmsInfoBuffer)) bytes of the parameters; paramErr for a null buffer.
OSStatus FSGetVolumeParms(FSVolumeRefNum volume, GetVolParmsInfoBuffer *buffer, ByteCount bufferSize);
// Writes the volume's data through to its disk (syncfs).
OSErr FSFlushVolume(FSVolumeRefNum vRefNum);

// ---- Special folders --------------------------------------------------------------------------------------

enum : FSVolumeRefNum {
  kOnSystemDisk = -32768,
  kOnAppropriateDisk = -32767,
  kSystemDomain = -32766,
  kLocalDomain = -32765,
  kNetworkDomain = -32764,
  kUserDomain = -32763,
  kClassicDomain = -32762,
};
enum : OSType {
  kSystemFolderType = 'macs',
  kPreferencesFolderType = 'pref',
  kTrashFolderType = 'trsh',
  kTemporaryFolderType = 'temp',
  kUserTemporaryItemsFolderType = 'utmp',
  kMovieDocumentsFolderType = 'mdoc',
  kLogsFolderType = 'logs',
  kSystemSoundsFolderType = 'ssnd',
  kFrameworksFolderType = 'fram',
};
enum : Boolean { kDontCreateFolder = 0, kCreateFolder = 1 };

// Movies = the XDG videos folder (user-dirs.dirs, else ~/Videos); Logs = $XDG_STATE_HOME/brizel/logs;
// temporary items = $TMPDIR or /tmp; Preferences = $XDG_CONFIG_HOME/brizel; Trash = the XDG trash of the
// home volume ($XDG_DATA_HOME/Trash), or $top/.Trash-$uid on another volume; System = "/"; system sounds =
// /usr/share/sounds. fnfErr for a missing folder not asked to be created, for the Classic domain and for
// folder types without a place here.
OSErr FSFindFolder(FSVolumeRefNum vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef);

// ---- FSSpec records that name a known object ---------------------------------------------------------------
// An FSSpec made here (PL_FSSpecFromPath: the drag and drop layer's file items) carries a key of a
// process-wide table in parID, with vRefNum kPL_PathSpecVolume; FSpMakeFSRef turns it back into the object's
// reference: fnfErr when the object is gone, nsvErr for any other FSSpec (Linux cannot find a folder by its
// directory identifier).
enum : FSVolumeRefNum { kPL_PathSpecVolume = -32000 };
OSErr FSpMakeFSRef(const FSSpec *source, FSRef *newRef);
// Resolves an alias file in place. Symbolic links are resolved when references are made, so nothing here is
// an alias: *wasAliased false, *targetIsFolder whether the object is a folder; fnfErr when it is gone.
OSErr FSResolveAliasFile(FSRef *theRef, Boolean resolveAliasChains, Boolean *targetIsFolder, Boolean *wasAliased);

// ---- Our own helpers (PL_) ---------------------------------------------------------------------------------

// The object's absolute path; fails like any catalog query on a stale or invalid reference.
OSStatus PL_FSRefMakePathString(const FSRef *ref, std::string *path);
// *spec = an FSSpec naming the object at the absolute path (see FSpMakeFSRef); paramErr for a relative
// or empty path. The name field holds the last component, cut to 63 bytes.
OSStatus PL_FSSpecFromPath(const char *path, FSSpec *spec);
// UTF-8 to a name and back. PL_HFSUniStr255FromUTF8 gives errFSNameTooLong beyond 255 UTF-16 units and
// bdNamErr for malformed UTF-8. PL_UTF8FromUniChars gives bdNamErr for malformed UTF-16.
OSStatus PL_HFSUniStr255FromUTF8(const char *utf8, HFSUniStr255 *name);
OSStatus PL_UTF8FromUniChars(const UniChar *chars, UniCharCount count, std::string *utf8);
// Test hook: after `byteCount` further bytes written through the fork calls (all threads), writes fail
// with dskFulErr as if the disk were full; a negative count switches it off.
void PL_FailWritesAfterBytes(SInt64 byteCount);
// Test hook: every write asking for its budget first waits this long (0, the default, switches it off), so
// that a test can watch a run that an idle machine would finish at once.
void PL_SlowWritesBy(UInt32 microseconds);
// The hook's share of a write of `wanted` bytes: how many of them may still be written (all of them while the
// hook is off). Writers outside the fork calls (the movie files' own writes) ask it too.
ByteCount PL_TakeWriteBudget(ByteCount wanted);

// ---- Default directory and the classic move-and-rename ---------------------------------------------------
// The default directory starts as the process's working directory. A directory ID names a folder by its
// node ID: 0 is the default directory (or the root of another volume given by number), fsRtDirID a volume's
// root, any other ID a folder on that volume that this process has a reference to (or its working
// directory); dirNFErr otherwise.
// Names are Pascal strings in UTF-8 naming one object inside the folder (no '/'); bdNamErr otherwise.
OSErr HGetVol(StringPtr volName, FSVolumeRefNum *vRefNum, SInt32 *dirID);
// volName is not read: the volume is given by number (0: the default directory's volume).
OSErr HSetVol(ConstStr63Param volName, FSVolumeRefNum vRefNum, SInt32 dirID);

struct CMovePBRec_Copy {  // the fields of HParamBlockRec.copyParam that the move-and-rename reads
  OSErr ioResult;
  StringPtr ioNamePtr;     // the object to move, inside ioDirID
  FSVolumeRefNum ioVRefNum;
  FSVolumeRefNum ioDstVRefNum;
  StringPtr ioNewName;     // the destination folder inside ioNewDirID; nullptr or empty: ioNewDirID itself
  StringPtr ioCopyName;    // the object's new name; nullptr or empty keeps its name
  SInt32 ioNewDirID;
  SInt32 ioDirID;
};
union HParamBlockRec {
  CMovePBRec_Copy copyParam;
};
typedef HParamBlockRec *HParmBlkPtr;

// Moves an object to another folder of the same volume, giving it a new name on the way, in one step:
// dupFNErr when the destination already holds the name (nothing moves), diffVolErr across volumes,
// badMovErr into itself. The result is also left in ioResult.
OSErr PBHMoveRenameSync(HParmBlkPtr paramBlock);
