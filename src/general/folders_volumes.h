// The second half of the file layer: scanning folders for names and extensions, searches of a whole
// volume, questions about volumes (names, free space, network, locks, kinds, lists), aliases and their
// comparison, the classic preferences file, and classic resource maps.
//
// Every operation returns the File Manager's number (or its own) and stops at the first failure; -1417 at
// the end of a folder scan and -1417/-35 at the end of a volume walk are not failures. An iterator, map or
// buffer that an operation opens itself is closed before it returns, on every path.
//
// Linux files have no resource fork: every resource-map operation answers as for a file whose resource fork
// is empty (opening the map gives eofErr), and no map can be made or written.
#pragma once

#include "general/file_layer.h"
#include "platform/core/aliases.h"
#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/core/resources.h"

// An element of a list of aliases; the alias handle is the element's (GL_DisposeAliasLE disposes both).
struct GL_AliasLE {
  GL_AliasLE *next;
  AliasHandle alias;
};

// Searches of a whole volume give up after this time (the object may then exist but was not reached).
enum : UInt32 { kGL_CatalogSearchMilliseconds = 5000 };

// ---- Searching folders and volumes ----------------------------------------------------------------------------

// Looks for the name in the folder ignoring case; *file (optional) gets the object when found. found is
// false on any error.
OSStatus GL_IsFileInFolder(const FSRef *folder, const HFSUniStr255 *name, FSRef *file, Boolean *found);
// True when the exact name can be made into a reference in the folder.
Boolean GL_IsFileNameInFolder(const FSRef *folder, const HFSUniStr255 *name);
// The number of objects (files and folders) whose names end with the extension (case counts).
OSStatus GL_CountFilesWithExtension(const FSRef *folder, CFStringRef extension, UInt32 *count);
// Writes the references of those objects, in scan order, into files (capacity elements) and stops when it is
// full; *count is the number written.
OSStatus GL_ListFilesWithExtension(const FSRef *folder, CFStringRef extension, FSRef *files, UInt32 capacity,
                                   UInt32 *count);
// Appends one GL_FSRefLE per object of the folder to the list.
OSStatus GL_MakeFolderFileList(const FSRef *folder, GL_FSRefLE **list);
// The other objects of the file's folder whose names equal the file's once an extension of at most 8
// characters is removed from both (case counts); at most maximum of them, *count says how many.
OSStatus GL_FindFilesWithSameNameInSameFolder(const FSRef *file, FSRef *files, UInt32 maximum, UInt32 *count);
// The folder `name` in parent: fnfErr for an object of that name that is not a folder, and for a missing one
// unless create is set (then it is made).
OSStatus GL_FindFolderInFolderUni(const FSRef *parent, const HFSUniStr255 *name, FSRef *folder, Boolean create);
OSStatus GL_FindFolderInFolder(const FSRef *parent, CFStringRef name, FSRef *folder, Boolean create);
// Searches of the whole volume (depth first, staying on the volume), first match only, giving up after
// kGL_CatalogSearchMilliseconds. *ref is cleared first; fnfErr when nothing was found.
OSStatus GL_FindObjectByName(FSVolumeRefNum volume, const HFSUniStr255 *name, FSRef *ref);
OSStatus GL_FindObjectByNodeID(FSVolumeRefNum volume, UInt32 nodeID, FSRef *ref);
// A file of that full name whose creator and type match (0 matches any) and whose creation and
// modification dates equal the given ones (NULL: any date).
OSStatus GL_FindFile(FSVolumeRefNum volume, const HFSUniStr255 *name, OSType creator, OSType fileType,
                     const UTCDateTime *createDate, const UTCDateTime *modDate, FSRef *ref);

// ---- Volumes ------------------------------------------------------------------------------------------------------

OSStatus GL_GetVolumeName(FSVolumeRefNum volume, HFSUniStr255 *name);
OSStatus GL_GetVolumeNameFromFSRef(const FSRef *object, HFSUniStr255 *name);
// *name owned (CFRelease).
OSStatus GL_GetVolumeNameFromFSRefAsCFStr(const FSRef *object, CFStringRef *name);
// The volume's root folder.
OSStatus GL_GetVolumeRef(FSVolumeRefNum volume, FSRef *root);
OSStatus GL_CreateFileInRootDirOfVolume(FSVolumeRefNum volume, const HFSUniStr255 *name, FSRef *file);
// The first volume whose name equals name ignoring case; 0 (with noErr) when none does.
OSStatus GL_GetVolumeByName(const HFSUniStr255 *name, FSVolumeRefNum *volume);
OSStatus GL_GetVolumeByCreateDate(const UTCDateTime *createDate, FSVolumeRefNum *volume);
// The root and name of the volume that holds the system folder.
OSStatus GL_GetStartupVolume(FSRef *root, HFSUniStr255 *name);
OSStatus GL_GetStartupVolumeRefNum(FSVolumeRefNum *volume);
OSStatus GL_FlushVol(const FSRef *object);
OSStatus GL_FileObjectsOnSameVolume(const FSRef *object1, const FSRef *object2, Boolean *sameVolume);
OSStatus GL_GetDriveNumber(FSVolumeRefNum volume, UInt16 *driveNumber);
// The volume's device name into a 256-byte buffer; kGL_NoBSDNodeNameErr (and "") when it has none within
// 256 bytes, kGL_BadSystemErr for old volume parameters.
OSStatus GL_VolumeToBSDNodeName(FSVolumeRefNum volume, char name[256]);
OSStatus GL_GetDiskName(FSVolumeRefNum volume, char name[256]);
OSStatus GL_VolumesOnSameDisk(FSVolumeRefNum volume1, FSVolumeRefNum volume2, Boolean *sameDisk);
// The first mounted volume with that drive number; nsvErr when none.
OSStatus GL_GetDriveVolume(UInt16 driveNumber, FSVolumeRefNum *volume);
OSStatus GL_XGetVInfoByName(const HFSUniStr255 *name, FSVolumeRefNum *volume, UInt64 *freeBytes, UInt64 *totalBytes);
OSStatus GL_GetFreeSpace(FSVolumeRefNum volume, UInt64 *freeBytes);
// extendedAttributes optional. No volume is HFS Plus here.
OSStatus GL_IsHFSPlusVolume(FSVolumeRefNum volume, Boolean *isHFSPlus, SInt32 *extendedAttributes);
// With volume 0 the volume is found by name (paramErr when name is NULL too).
OSStatus GL_IsNetworkVolume(const HFSUniStr255 *name, FSVolumeRefNum volume, Boolean *isNetwork);
// wPrErr for a hardware-locked (read-only) volume, vLckdErr for a software-locked one, else noErr.
OSStatus GL_IsVolumeLocked(FSVolumeRefNum volume);
// Remote SMB/CIFS volumes are kGL_VolKindRemoteSamba, other network volumes kGL_VolKindUnknown, local ones
// kGL_VolKindLocalOther; any failure gives kGL_VolKindUnknown.
GL_VolKind GL_GetVolumeKind(const FSRef *object);
// Disposes the list, then appends one element per mounted volume.
OSStatus GL_MakeVolumeList(GL_VolumeLE **list);
// With a non-empty name, elements match by name ignoring case; otherwise by volume number.
Boolean GL_IsInVolumeList(FSVolumeRefNum volume, const HFSUniStr255 *name, GL_VolumeLE *first);
GL_VolumeLE *GL_FindInVolumeList(FSVolumeRefNum volume, const HFSUniStr255 *name, GL_VolumeLE *first);
// Deletes locked volumes, volumes with less than minFreeBytes free and, unless useNetworkVolumes, network
// volumes.
OSStatus GL_ReduceToSaveableVolumesList(GL_VolumeLE **list, UInt64 minFreeBytes, Boolean useNetworkVolumes);
// Descending by free space; equal amounts keep their order.
OSStatus GL_SortVolumeListByFreeSize(GL_VolumeLE **list);
// Whether some folder within folderLevels levels of container may be changed by the user, searching at most
// maxSeconds seconds.
OSStatus GL_UserHasWritePrivilegeToSomeFolder(const FSRef *container, ItemCount folderLevels, UInt32 maxSeconds,
                                              Boolean *hasPrivilege);
Boolean GL_UserHasWritePrivilegeToSomeFolderIterateFilter(Boolean containerChanged, ItemCount currentLevel,
                                                         const FSCatalogInfo *catalogInfo, const FSRef *ref,
                                                         const FSSpec *spec, const HFSUniStr255 *name,
                                                         void *yourDataPtr);
// The user-privileges byte of the folder's catalog information.
OSStatus GL_GetDirAccess(const FSRef *folder, UInt8 *accessRights);

// ---- Aliases ----------------------------------------------------------------------------------------------------------

// True when both records can be read and name the same target (names and volume names equal ignoring
// case, same parent, node and file-system identifiers). *err (optional) gets the reading error.
Boolean GL_EqualAlias(AliasHandle alias1, AliasHandle alias2, OSStatus *err);
// The volume, target and parent folder names of the record; paramErr for a record that cannot be read (the
// names are then untouched).
OSStatus GL_GetAliasNames(AliasHandle alias, GL_AliasNames *names);
// Resolves without user interaction and, when the alias needed it, updates it to the object found.
OSStatus GL_ResolveAliasSilently(AliasHandle alias, FSRef *target);
Boolean GL_DummyAliasFilterProcPtr(const FSRef *candidate, void *refCon);
// Resolves; wasChanged optional.
OSStatus GL_ResolveAlias(AliasHandle alias, FSRef *target, Boolean *wasChanged);
// Resolves every alias of the list silently and appends the objects to *resolved, in order; stops at the first
// failure.
OSStatus GL_ResolveAliasList(GL_AliasLE *first, GL_FSRefLE **resolved);
// List procedures for GL_AliasLE lists: disposal (the alias handle, then the element) and comparison.
void GL_DisposeAliasLE(GL_AliasLE **element);
Boolean GL_EqualALiasProc(const void *a, const void *b);
// Stores an alias of aliasedFile as an 'alis' resource of file: resource maps cannot be written here.
OSStatus GL_AddAliasResource(ResFileRefNum resFile, const FSRef *file, const FSRef *aliasedFile, ResID *resID);
OSStatus GL_UpdateAliasResource(ResFileRefNum resFile, const FSRef *file, ResID resID, FSRef *aliasedFile);
OSStatus GL_AliasesOnSameSystem(AliasHandle alias1, AliasHandle alias2, Boolean *sameSystem);
OSStatus GL_FileObjectsOnSameSystem(const FSRef *object1, const FSRef *object2, Boolean *sameSystem);

// ---- The classic preferences file ---------------------------------------------------------------------------------

// In the user's Preferences folder (not created); kGL_PrefsFileNotFoundErr when the file is not there.
OSStatus GL_FindPrefsFile(CFStringRef name, FSRef *file);
// Creates the folder when missing and the file (creator ' ?? ', type 'pref'), then its resource map, which
// cannot be made here: the new file is removed again and the resource error returned.
OSStatus GL_CreatePrefsFile(CFStringRef name, FSRef *file);
// Finds the file, creating it when missing and create is set; *file is cleared on any failure.
OSStatus GL_GetPrefsFile(CFStringRef name, Boolean create, FSRef *file);
// Uses *file when valid, else gets the file; opens its resource map read/write.
OSStatus GL_GetAndOpenPrefsFile(CFStringRef name, Boolean create, FSRef *file, ResFileRefNum *resFile);

// ---- Resource maps (main thread) -------------------------------------------------------------------------------------
// resFile 0 means that the operation opens the file's map itself (and closes it again). The current resource
// file is restored before each returns.

OSStatus GL_ResError(Handle resource);
// Index 0 with no ID (or ID 0) means index 1; *resource is NULL on any failure.
OSStatus GL_Get1Resource(ResFileRefNum resFile, ResType type, SInt16 index, ResID *resID, Handle *resource);
Boolean GL_ResourceExists(ResFileRefNum resFile, ResType type, SInt16 index, ResID *resID, Handle *resource);
OSStatus GL_AddResource(ResFileRefNum resFile, Handle data, ResType type, ResID *resID);
// The resource, detached (owned: DisposeHandle).
OSStatus GL_Get1ResourceFromFile(ResFileRefNum resFile, const FSRef *file, ResType type, SInt16 index, ResID *resID,
                                 Handle *resource);
// The resource's bytes in a new block (owned: GL_DisposePtr) and their count.
OSStatus GL_Get1PtrResourceFromFile(ResFileRefNum resFile, const FSRef *file, ResType type, SInt16 index,
                                    ResID *resID, void **block, size_t *size);
OSStatus GL_AddResourceToFile(ResFileRefNum resFile, const FSRef *file, Handle data, ResType type, ResID *resID);
OSStatus GL_AddPtrResourceToFile(ResFileRefNum resFile, const FSRef *file, const void *bytes, size_t size,
                                 ResType type, ResID *resID);
OSStatus GL_RemoveResourceFromFile(ResFileRefNum resFile, const FSRef *file, ResType type, SInt16 index,
                                   ResID *resID);
OSStatus GL_RemoveResourcesOfType(ResType type, ResFileRefNum resFile, Boolean update);
// type 0 counts the resource types.
OSStatus GL_CountResourcesInFile(ResFileRefNum resFile, const FSRef *file, ResType type, SInt16 *count);
OSStatus GL_ShiftResourcesInFile(ResFileRefNum resFile, const FSRef *file, const void *bytes, size_t size,
                                 ResType type, ResID baseID, SInt16 maxCount);
// The 'vers' resource 1 or 2 (else paramErr); each output optional.
OSStatus GL_GetFileVersion(const FSRef *file, ResID versID, UInt32 *version, SInt16 *regionCode, Str255 shortVersion,
                           Str255 longVersion);
OSStatus GL_GetResFileVersion(ResFileRefNum resFile, ResID versID, UInt32 *version, SInt16 *regionCode,
                              Str255 shortVersion, Str255 longVersion);
// A developer tool that copied data forks into a new file's resource fork. A resource fork cannot hold data
// here, so it asks nothing and returns paramErr.
OSStatus GL_RezWack();
