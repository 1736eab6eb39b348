// Alias Manager stand-in: alias records that find a file or folder again after it was renamed or moved.
//
// An alias handle is a Memory Manager handle (DisposeHandle, GetHandleSize) whose bytes are our own record:
// an XML property list {Version, Path, Name, ParentName, VolumeName, Device, Inode, ParentInode,
// FileSystemID, IsFolder}. Those bytes are what gets stored (in preferences, as CFData), so the keys and
// their types are a stored format.
//
// Resolution tries the recorded path first; when nothing is there any more, it looks inside the recorded
// parent folder for the object with the recorded device and inode (a rename in place, or a save that moved
// the file). It reports the alias as changed when that fallback found the object, or when the object at the
// path is no longer the recorded one (a file replaced by a safe save), so callers store a fresh alias.
// A record that cannot be read (damaged or foreign bytes) gives paramErr, never a crash.
//
// Every call may run on any thread.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/core/mac_types.h"

struct AliasRecord;
typedef AliasRecord *AliasPtr;
typedef AliasPtr *AliasHandle;

// Mount flags of FSResolveAliasWithMountFlags; there is no user interface to avoid here, so they change
// nothing.
enum : UInt32 { kResolveAliasFileNoUI = 0x00000001, kResolveAliasTryFileIDFirst = 0x00000002 };

typedef UInt32 FSAliasInfoBitmap;
enum : FSAliasInfoBitmap {
  kFSAliasInfoNone = 0x00000000,
  kFSAliasInfoVolumeCreateDate = 0x00000001,
  kFSAliasInfoTargetCreateDate = 0x00000002,
  kFSAliasInfoFinderInfo = 0x00000004,
  kFSAliasInfoIsDirectory = 0x00000008,
  kFSAliasInfoIDs = 0x00000010,
  kFSAliasInfoFSInfo = 0x00000020,
  kFSAliasInfoVolumeFlags = 0x00000040,
};

// What a record tells without resolving it. Here only isDirectory, the IDs (low 32 bits of the parent's
// and the target's inode) and the file-system information are recorded.
struct FSAliasInfo {
  UTCDateTime volumeCreateDate;
  UTCDateTime targetCreateDate;
  OSType fileType;
  OSType fileCreator;
  UInt32 parentDirID;
  UInt32 nodeID;
  UInt16 filesystemID;
  UInt16 signature;
  Boolean volumeIsBootVolume;
  Boolean volumeIsAutomounted;
  Boolean volumeIsEjectable;
  Boolean volumeHasPersistentFileIDs;
  Boolean isDirectory;
};

// *inAlias = an owned alias handle (DisposeHandle) of the target. fromFile (for relative aliases) may be
// NULL and is not recorded: every alias here is absolute. The target's error (fnfErr...) on failure, with
// *inAlias NULL.
OSErr FSNewAlias(const FSRef *fromFile, const FSRef *target, AliasHandle *inAlias);
// The same; the record is no smaller here.
OSErr FSNewAliasMinimal(const FSRef *target, AliasHandle *inAlias);
// Finds the alias's object (see above). fnfErr when it cannot be found, paramErr for an unreadable record.
// wasChanged is required; the alias itself is not changed (FSUpdateAlias does that).
OSErr FSResolveAliasWithMountFlags(const FSRef *fromFile, AliasHandle inAlias, FSRef *target, Boolean *wasChanged,
                                   UInt32 mountFlags);
OSErr FSResolveAlias(const FSRef *fromFile, AliasHandle alias, FSRef *target, Boolean *wasChanged);
// Rewrites the record for the target; wasChanged says whether the record's contents changed.
OSErr FSUpdateAlias(const FSRef *fromFile, const FSRef *target, AliasHandle alias, Boolean *wasChanged);
// Reads the record without resolving it. Each output optional; pathString (owned) is the recorded POSIX path;
// whichInfo says which fields of info were filled. paramErr for an unreadable record.
OSStatus FSCopyAliasInfo(AliasHandle inAlias, HFSUniStr255 *targetName, HFSUniStr255 *volumeName,
                         CFStringRef *pathString, FSAliasInfoBitmap *whichInfo, FSAliasInfo *info);
