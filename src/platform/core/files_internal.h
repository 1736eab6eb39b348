// Private to the File Manager stand-in (platform/core/files_*.cpp): what its parts share. Paths own the table
// behind FSRef and the names; volumes the volume table; labels the extended attribute and the locked flag;
// forks the fork table; catalog the catalog information. Nothing outside those files includes this header.
#pragma once

#include "platform/core/files.h"

#include <string>

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

namespace pl_files {

// ---- Names (files_paths.cpp) ----

// The name of the resource fork (which is always empty here).
extern const char kResourceForkName[];
// A UTF-8 name as UTF-16, cut to 255 units.
void SetName(const std::string &utf8, HFSUniStr255 *out);
std::string BaseName(const std::string &path);
std::string DirName(const std::string &path);
std::string JoinPath(const std::string &folder, const std::string &name);

// ---- Path table behind FSRef (files_paths.cpp) ----

// An object of the file system found by its path, with its status (lstat).
struct Object {
  std::string path;
  struct stat st;
};

// Makes ref name the object at path (which must be absolute and real).
void FillRef(const std::string &path, const struct stat &st, FSRef *ref);
// Checks a reference and finds its object. errFSBadFSRef for a malformed one (all zeros included), fnfErr
// when the object no longer lives at its path.
OSErr Resolve(const FSRef *ref, Object *obj);
// As Resolve; errFSNotAFolder when the object is a file.
OSErr ResolveFolder(const FSRef *ref, Object *obj);
// The object named `name` in `folder`, following a symbolic link to its target.
OSErr LookUpChild(const std::string &folder, const std::string &name, Object *obj);

// ---- Volumes (files_volumes.cpp) ----

struct Volume {
  dev_t device;
  std::string mountPoint;
  std::string fsType;
  std::string deviceName;  // last component of the mount source
};

// Volume index i has the reference number -100 - i.
FSVolumeRefNum RefNumForIndex(size_t index);
// The index of the volume that holds obj, registered when it is new.
size_t VolumeIndexFor(const Object &obj);
bool GetVolume(FSVolumeRefNum refNum, Volume *out);
bool IsVolumeRoot(const Object &obj, size_t volumeIndex);
std::string VolumeName(const Volume &v);

// ---- Labels and the locked flag (files_labels.cpp) ----

constexpr UInt32 kLabelHasCreateDate = 1;

struct Labels {
  UInt32 flags = 0;
  UInt8 finderInfo[16] = {};
  UInt8 extFinderInfo[16] = {};
  UTCDateTime createDate{};
  UTCDateTime backupDate{};
  TextEncoding textEncoding = 0;
};

// A missing, foreign or damaged attribute reads as no labels.
Labels ReadLabels(const std::string &path, bool folder);
bool LabelsEqual(const Labels &a, const Labels &b);
// Where the file system keeps no extended attributes, the labels are dropped without an error.
OSErr WriteLabels(const std::string &path, bool folder, const Labels &labels);
bool IsImmutable(const Object &obj);
OSErr SetImmutable(const Object &obj, bool immutable);

// ---- Forks (files_forks.cpp) ----

// Node flags for forks of this object that are open in this process.
UInt16 OpenForkFlags(const struct stat &st);

// ---- Catalog information (files_catalog.cpp) ----

UTCDateTime UTCFromTimespec(SInt64 sec, SInt64 nsec);
UInt32 NodeIDFor(const struct stat &st, bool volumeRoot);
OSErr FillCatalogInfo(const Object &obj, FSCatalogInfoBitmap which, FSCatalogInfo *info, HFSUniStr255 *outName,
                      FSRef *parentRef);
OSErr ApplyCatalogInfo(const Object &obj, FSCatalogInfoBitmap which, const FSCatalogInfo *info);

}  // namespace pl_files
