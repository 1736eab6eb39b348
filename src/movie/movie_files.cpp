// Movie files and the 'mdat' header.
#include "movie/movie_files.h"

#include "general/folders_volumes.h"
#include "general/memory_lists.h"
#include "general/unicode_strings.h"
#include "movie/atom_containers.h"
#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/formatter.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/toolbox_time.h"
#include "platform/movie/track_editing.h"

#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr SInt64 kLargeMdatSize = 0x7FFFFFFF;
constexpr SInt32 kCreateAttempts = 11;
constexpr UInt32 kBusyDelayTicks = 10;
constexpr size_t kMaxUnlinkPath = 2048;

OSStatus WriteBE32(SInt16 fork, UInt16 mode, SInt64 offset, UInt32 value) {
  UInt8 bytes[4];
  PL_PutBE32(bytes, value);
  return FSWriteFork(fork, mode, offset, 4, bytes, nullptr);
}

// The header patch for a header at `mark` of a fork of `forkSize` bytes.
OSStatus PatchHeader(SInt16 fork, SInt64 mark, SInt64 forkSize) {
  SInt64 size = forkSize - mark;
  // A fork that does not hold the whole header would get a size field pointing before its own atom.
  if (size < 16) return kQT_MdatHeaderErr;
  if (size < kLargeMdatSize) return WriteBE32(fork, fsFromStart, mark + 8, UInt32(size - 8));
  OSStatus err = WriteBE32(fork, fsFromStart, mark, 1);
  if (err == noErr) err = WriteBE32(fork, fsFromStart, mark + 4, 'mdat');
  if (err == noErr) err = WriteBE32(fork, fsFromStart, mark + 8, UInt32(UInt64(size) >> 32));
  if (err == noErr) err = WriteBE32(fork, fsFromStart, mark + 12, UInt32(UInt64(size)));
  return err;
}

OSStatus OpenDataFork(const FSRef *file, SInt8 permission, SInt16 *fork) {
  return FSOpenFork(file, 0, nullptr, permission, fork);
}

// The FSRef of the file a data reference names (the file must exist).
OSStatus DataRefToFSRef(Handle dataRef, OSType dataRefType, FSRef *file) {
  std::string path;
  OSStatus err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  if (err != noErr) return err;
  return FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), file, nullptr);
}

// One try of CreateMovieStorage on a data reference, resolving the file on success.
OSStatus CreateAt(Handle dataRef, OSType dataRefType, OSType creator, SInt32 createFlags, FSRef *file, Movie *movie) {
  OSStatus err = CreateMovieStorage(dataRef, dataRefType, creator, -1, createFlags, nullptr, movie);
  if (err == noErr && file != nullptr) {
    err = DataRefToFSRef(dataRef, dataRefType, file);
    if (err != noErr && movie != nullptr) QT_DisposeMovie(movie);
  }
  return err;
}

// A file name for the File Manager (through UTF-8: the CF name conversion's header clashes with the File
// Manager's in one file).
OSStatus NameToHFSUniStr255(CFStringRef name, HFSUniStr255 *uniName) {
  CFIndex capacity = CFStringGetMaximumSizeForEncoding(CFStringGetLength(name), kCFStringEncodingUTF8) + 1;
  std::string utf8(size_t(capacity), '\0');
  if (!CFStringGetCString(name, utf8.data(), capacity, kCFStringEncodingUTF8)) return paramErr;
  return PL_HFSUniStr255FromUTF8(utf8.c_str(), uniName);
}

}  // namespace

// ---- The 'mdat' header ----

OSStatus QT_WriteInitialMdatHeader(SInt16 forkRefNum) {
  OSStatus err = WriteBE32(forkRefNum, fsAtMark, 0, 8);
  if (err == noErr) err = WriteBE32(forkRefNum, fsAtMark, 0, 'wide');
  if (err == noErr) err = WriteBE32(forkRefNum, fsAtMark, 0, 8);
  if (err == noErr) err = WriteBE32(forkRefNum, fsAtMark, 0, 'mdat');
  return err;
}

OSStatus QT_SetFileSizeInMdatHeader(SInt16 forkRefNum) {
  SInt64 forkSize = 0;
  OSStatus err = FSGetForkSize(forkRefNum, &forkSize);
  if (err != noErr) return err;
  return PatchHeader(forkRefNum, 0, forkSize);
}

OSStatus QT_SetFileSizeInMdatHeaderAtMark(SInt16 forkRefNum, SInt64 mark) {
  OSStatus err = FSSetForkPosition(forkRefNum, fsFromStart, mark);
  if (err != noErr) return err;
  SInt64 forkSize = 0;
  err = FSGetForkSize(forkRefNum, &forkSize);
  if (err != noErr) return err;
  return PatchHeader(forkRefNum, mark, forkSize);
}

OSStatus QT_SaveMovieOverNetwork(Movie movie, SInt16 forkRefNum, const FSRef *movieFile) {
  SInt16 fork = forkRefNum;
  OSStatus err = noErr;
  if (fork == 0) {
    err = OpenDataFork(movieFile, fsRdWrPerm, &fork);
    if (err != noErr) return err;
  }
  Handle atom = nullptr;
  SInt64 dataEnd = 0;
  err = QT_SetFileSizeInMdatHeader(fork);
  if (err == noErr) err = QT_PutMovieForFileIntoHandle(movie, movieFile, &atom);
  if (err == noErr) err = FSGetForkSize(fork, &dataEnd);
  if (err == noErr) {
    err = FSWriteFork(fork, fsFromLEOF, 0, ByteCount(GetHandleSize(atom)), *atom, nullptr);
    // A movie atom cut short (a full disk) would leave a file no reader accepts: take it off again.
    if (err != noErr) FSSetForkSize(fork, fsFromStart, dataEnd);
  }
  if (atom != nullptr) DisposeHandle(atom);
  if (forkRefNum == 0) {
    OSStatus closeErr = FSCloseFork(fork);
    if (err == noErr) err = closeErr;
  }
  return err;
}

OSStatus QT_PutMovieForFileIntoHandle(Movie movie, const FSRef *movieFile, Handle *movieAtom) {
  if (movieAtom == nullptr) return paramErr;
  *movieAtom = nullptr;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = QTNewDataReferenceFromFSRef(movieFile, 0, &dataRef, &dataRefType);
  if (err != noErr) return err;
  Handle atom = NewHandle(0);
  if (atom == nullptr) err = MemError();
  if (err == noErr) err = PutMovieForDataRefIntoHandle(movie, dataRef, dataRefType, atom);
  DisposeHandle(dataRef);
  if (err != noErr) {
    if (atom != nullptr) DisposeHandle(atom);
    return err;
  }
  *movieAtom = atom;
  return noErr;
}

// ---- Creating, opening, saving, deleting ----

OSStatus QT_CreateMovieFile(const FSRef *parent, CFStringRef name, OSType creator, SInt32 createFlags, FSRef *file,
                            Movie *movie) {
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = QTNewDataReferenceFromFSRefCFString(parent, name, 0, &dataRef, &dataRefType);
  if (err != noErr) return err;
  err = CreateAt(dataRef, dataRefType, creator, createFlags, file, movie);
  DisposeHandle(dataRef);
  return err;
}

OSStatus QT_CreateMovieFileNew(const FSRef *parent, CFStringRef name, OSType creator, SInt32 createFlags, FSRef *file,
                               Movie *movie) {
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = QTNewDataReferenceFromFSRefCFString(parent, name, 0, &dataRef, &dataRefType);
  if (err != noErr) return err;
  bool replacing = (UInt32(createFlags) & createMovieFileDeleteCurFile) != 0;
  err = CreateAt(dataRef, dataRefType, creator, createFlags, file, movie);
  for (SInt32 attempt = 1; err == fBsyErr && replacing && attempt < kCreateAttempts; ++attempt) {
    if (attempt == 1) {
      // A busy file may still be removed by its path; the next attempt then creates it anew.
      std::string path;
      if (PL_DataReferenceToPath(dataRef, dataRefType, &path) == noErr && path.size() < kMaxUnlinkPath)
        unlink(path.c_str());
    }
    UInt32 finalTicks = 0;
    Delay(kBusyDelayTicks, &finalTicks);
    err = CreateAt(dataRef, dataRefType, creator, createFlags, file, movie);
  }
  DisposeHandle(dataRef);
  return err;
}

OSStatus QT_CreateMovieFileWithIndex(const FSRef *parent, CFStringRef name, OSType creator, SInt32 createFlags,
                                     FSRef *file, Movie *movie) {
  if (parent == nullptr || name == nullptr) return paramErr;
  bool replacing = (UInt32(createFlags) & createMovieFileDeleteCurFile) != 0;
  for (SInt32 n = 1; n < 0x7FFFFFFF; ++n) {
    CFStringRef candidate = n == 1 ? CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@"), name)
                                   : CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@ %ld"), name, n);
    if (candidate == nullptr) return memFullErr;
    HFSUniStr255 uniName;
    OSStatus err = NameToHFSUniStr255(candidate, &uniName);
    FSRef existing;
    if (err == noErr) err = FSMakeFSRefUnicode(parent, uniName.length, uniName.unicode, kTextEncodingUnknown, &existing);
    if (err == fnfErr || (err == noErr && replacing)) {
      err = QT_CreateMovieFile(parent, candidate, creator, createFlags, file, movie);
      CFRelease(candidate);
      return err;
    }
    CFRelease(candidate);
    if (err != noErr) return err;
  }
  return dupFNErr;
}

OSStatus QT_OpenMovieFile(const FSRef *file, SInt16 flags, Movie *movie) {
  if (movie == nullptr) return paramErr;
  *movie = nullptr;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = QTNewDataReferenceFromFSRef(file, 0, &dataRef, &dataRefType);
  if (err != noErr) return err;
  err = NewMovieFromDataRef(movie, flags, nullptr, dataRef, dataRefType);
  DisposeHandle(dataRef);
  return err;
}

OSStatus QT_OpenMovieFileFP(const FSRef *file, UInt32 flags, QTVisualContextRef visualContext, Movie *movie) {
  if (movie == nullptr) return paramErr;
  *movie = nullptr;
  DataReferenceRecord location{0, nullptr};
  OSStatus err = QTNewDataReferenceFromFSRef(file, 0, &location.dataRef, &location.dataRefType);
  if (err != noErr) return err;
  Boolean yes = true;
  std::vector<QTNewMoviePropertyElement> props;
  props.push_back({kQTPropertyClass_DataLocation, kQTDataLocationPropertyID_DataReference, sizeof(location), &location, 0});
  if (visualContext != nullptr)
    props.push_back({kQTPropertyClass_Context, kQTContextPropertyID_VisualContext, sizeof(visualContext), &visualContext, 0});
  if (flags & (1u << 0)) props.push_back({kQTPropertyClass_NewMovieProperty, kQTNewMoviePropertyID_Active, 1, &yes, 0});
  if (flags & (1u << 1))
    props.push_back({kQTPropertyClass_MovieInstantiation, kQTMovieInstantiationPropertyID_DontResolveDataRefs, 1, &yes, 0});
  if (flags & (1u << 2))
    props.push_back({kQTPropertyClass_MovieInstantiation, kQTMovieInstantiationPropertyID_DontAskUnresolvedDataRefs, 1, &yes, 0});
  if (flags & (1u << 8))
    props.push_back({kQTPropertyClass_MovieInstantiation, kQTMovieInstantiationPropertyID_DontAskUnresolvedDataRefs, 1, &yes, 0});
  if (flags & (1u << 20))
    props.push_back({kQTPropertyClass_Audio, kQTAudioPropertyID_RateChangesPreservePitch, 1, &yes, 0});
  err = NewMovieFromProperties(props.size(), props.data(), 0, nullptr, movie);
  DisposeHandle(location.dataRef);
  return err;
}

OSStatus QT_SaveMovie(Movie movie, const FSRef *file, Boolean *saved) {
  if (saved == nullptr) return paramErr;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = QTNewDataReferenceFromFSRef(file, 0, &dataRef, &dataRefType);
  if (err != noErr) return err;
  DataHandler storage = nullptr;
  err = OpenMovieStorage(dataRef, dataRefType, kDataHCanRead | kDataHCanWrite, &storage);
  DisposeHandle(dataRef);
  if (err != noErr) return err;
  if (!*saved) {
    err = AddMovieToStorage(movie, storage);
    *saved = true;
  } else {
    err = UpdateMovieInStorage(movie, storage);
  }
  CloseMovieStorage(storage);
  return err;
}

void QT_DisposeMovie(Movie *movie) {
  if (movie == nullptr || *movie == nullptr) return;
  DisposeMovie(*movie);
  *movie = nullptr;
}

OSStatus QT_CloseMovieFile(SInt16 *resRefNum) {
  if (resRefNum == nullptr || *resRefNum == 0) return noErr;
  OSStatus err = CloseMovieFile(*resRefNum);
  *resRefNum = 0;
  return err;
}

void QT_DisposeMovieData(QT_MovieDataHandle movieData) {
  if (movieData == nullptr) return;
  if (*movieData != nullptr) {
    QT_MovieData &data = **movieData;
    data.controller = nullptr;  // no controller is ever made here (see QT_MovieData)
    QT_DisposeMovie(&data.movie);
    QT_CloseMovieFile(&data.resFileID);
  }
  DisposeHandle(reinterpret_cast<Handle>(movieData));
}

OSStatus QT_DisposeMovieExt(QT_MovieIoData *ioData, QT_MoviePlaybackData *playbackData, QT_MediaData *mediaData) {
  OSStatus result = noErr;
  if (ioData != nullptr) {
    QT_DisposeMovie(&ioData->movie);
    for (SInt16 &fork : ioData->fileID) {
      if (fork == 0) continue;
      OSStatus err = FSCloseFork(fork);
      if (result == noErr) result = err;
      fork = 0;
    }
    OSStatus err = QT_CloseMovieFile(&ioData->resFileID);
    if (result == noErr) result = err;
    GL_ClearBytes(ioData, sizeof(*ioData));
  }
  // The playback record's controller (and its clip region) cannot exist here; the record only borrows its movie.
  if (playbackData != nullptr) GL_ClearBytes(playbackData, sizeof(*playbackData));
  if (mediaData != nullptr) {
    if (mediaData->imageDesc != nullptr) DisposeHandle(reinterpret_cast<Handle>(mediaData->imageDesc));
    GL_ClearBytes(mediaData, sizeof(*mediaData));
  }
  return result;
}

OSStatus QT_DeleteMovieFile(FSRef *file) {
  if (file == nullptr) return paramErr;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = QTNewDataReferenceFromFSRef(file, 0, &dataRef, &dataRefType);
  if (err == noErr) {
    err = DeleteMovieStorage(dataRef, dataRefType);
    DisposeHandle(dataRef);
  }
  GL_ClearBytes(file, sizeof(FSRef));
  return err;
}

OSStatus QT_DeletePotentiallyBusyMovieFile(FSRef *file, SInt32 numTries) {
  if (file == nullptr) return paramErr;
  const FSRef target = *file;
  OSStatus err = noErr;
  SInt32 tries = 0;
  do {
    UInt32 finalTicks = 0;
    Delay(kBusyDelayTicks, &finalTicks);
    FSRef each = target;
    err = QT_DeleteMovieFile(&each);
    ++tries;
  } while (err == fBsyErr && tries < numTries);
  GL_ClearBytes(file, sizeof(FSRef));
  return err;
}

OSStatus QT_CanQuickTimeOpenFile(const FSRef *file, Boolean *canOpenWithGraphicsImporter, Boolean *canOpenAsMovie,
                                 Boolean *preferGraphicsImporter, UInt32 flags) {
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = QTNewDataReferenceFromFSRef(file, 0, &dataRef, &dataRefType);
  if (err != noErr) return err;
  err = CanQuickTimeOpenDataRef(dataRef, dataRefType, canOpenWithGraphicsImporter, canOpenAsMovie,
                                preferGraphicsImporter, flags);
  DisposeHandle(dataRef);
  return err;
}

OSStatus QT_CanQuickTimeOpenFileFast(const FSRef *file, Boolean *canOpenWithGraphicsImporter, Boolean *canOpenAsMovie,
                                     Boolean *preferGraphicsImporter) {
  return QT_CanQuickTimeOpenFile(file, canOpenWithGraphicsImporter, canOpenAsMovie, preferGraphicsImporter, 1);
}

namespace {

// Whether two paths name one file: the same device and inode when both exist, else the same path.
bool SameFile(const std::string &a, const std::string &b) {
  struct stat sa {}, sb {};
  if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  return a == b;
}

// Whether the file at `path` is the movie's own file or holds media data of one of its tracks.
bool MovieUsesFile(Movie movie, const std::string &path) {
  std::string used;
  Handle ref = nullptr;
  OSType refType = 0;
  if (GetMovieDefaultDataRef(movie, &ref, &refType) == noErr) {
    bool same = PL_DataReferenceToPath(ref, refType, &used) == noErr && SameFile(used, path);
    DisposeHandle(ref);
    if (same) return true;
  }
  for (SInt32 t = 1; t <= GetMovieTrackCount(movie); ++t) {
    Media media = GetTrackMedia(GetMovieIndTrack(movie, t));
    SInt16 count = 0;
    if (media == nullptr || GetMediaDataRefCount(media, &count) != noErr) continue;
    for (SInt16 i = 1; i <= count; ++i) {
      if (GetMediaDataRef(media, i, &ref, &refType, nullptr) != noErr) continue;
      bool same = PL_DataReferenceToPath(ref, refType, &used) == noErr && SameFile(used, path);
      DisposeHandle(ref);
      if (same) return true;
    }
  }
  return false;
}

}  // namespace

OSStatus QT_CreateReferenceMovie(Movie movie, Handle dataRef, OSType dataRefType, OSType creator) {
  if (movie == nullptr || dataRef == nullptr) return paramErr;
  std::string target;
  OSStatus err = PL_DataReferenceToPath(dataRef, dataRefType, &target);
  if (err != noErr) return err;
  // Replacing a file the movie is read from would destroy the source.
  if (MovieUsesFile(movie, target)) return paramErr;
  DataHandler storage = nullptr;
  Movie refMovie = nullptr;
  err = CreateMovieStorage(dataRef, dataRefType, creator, -1, SInt32(createMovieFileDeleteCurFile), &storage,
                           &refMovie);
  if (err != noErr) return err;
  err = InsertMovieSegment(movie, refMovie, 0, GetMovieDuration(movie), 0);
  if (err == noErr) err = AddMovieToStorage(refMovie, storage);
  OSStatus closeErr = CloseMovieStorage(storage);
  if (err == noErr) err = closeErr;
  QT_DisposeMovie(&refMovie);
  if (err != noErr) DeleteMovieStorage(dataRef, dataRefType);
  return err;
}

OSStatus QT_GetMoviesFolder(Boolean createFolder, FSRef *folder) {
  return FSFindFolder(kUserDomain, kMovieDocumentsFolderType, createFolder, folder);
}

OSStatus QT_TotallyDeleteMovieFile(const FSRef *file, Movie movie, SInt16 movieResID) {
  (void)movieResID;  // movies are not stored in resources here
  if (file == nullptr) return paramErr;
  Movie opened = nullptr;
  if (movie == nullptr) {
    OSStatus err = QT_OpenMovieFile(file, 0, &opened);
    if (err != noErr) {
      // A file that holds no movie goes as a plain file.
      if (err == noMovieFound && FSDeleteObject(file) == noErr) return noErr;
      return kQT_CouldNotDeleteMovieFileErr;
    }
    movie = opened;
  }
  GL_FSRefLE *files = nullptr;
  OSStatus err = QT_GetMovieReferencedFiles(movie, &files) == noErr ? OSStatus(noErr)
                                                                  : OSStatus(kQT_CouldNotListMovieFileReferencesErr);
  if (err == noErr) {
    FSRef movieFile = *file;
    if (QT_DeleteMovieFile(&movieFile) != noErr) err = kQT_CouldNotDeleteMovieFileErr;
  }
  // The movie's own file is gone by now; every other file its media lies in goes too.
  for (GL_FSRefLE *f = files; err == noErr && f != nullptr; f = f->next) {
    if (FSCompareFSRefs(&f->fileRef, file) == noErr) continue;
    OSStatus deleteErr = FSDeleteObject(&f->fileRef);
    if (deleteErr != noErr && deleteErr != fnfErr) err = deleteErr;
  }
  LL_DisposeLinkedList(&files);
  QT_DisposeMovie(&opened);
  return err;
}

// ---- Data references and the file's atoms ----

OSStatus QT_ResolveMediaDataRef(Media media, SInt16 index, FSRef *file) {
  if (file == nullptr) return noErr;
  Handle dataRef = nullptr;
  OSType type = 0;
  SInt32 attributes = 0;
  OSStatus err = GetMediaDataRef(media, index, &dataRef, &type, &attributes);
  if (err == noErr && type != rAliasType) err = kQT_DataRefNotFileErr;
  if (err == noErr && (attributes & dataRefWasNotResolved) != 0) err = fnfErr;
  if (err == noErr) {
    Boolean changed = false;
    err = FSResolveAlias(nullptr, reinterpret_cast<AliasHandle>(dataRef), file, &changed);
  }
  if (dataRef != nullptr) DisposeHandle(dataRef);
  if (err != noErr) GL_ClearBytes(file, sizeof(FSRef));
  return err;
}

OSStatus QT_GetHighestDataRef(Media media, FSRef *file) {
  SInt16 count = 0;
  OSStatus err = GetMediaDataRefCount(media, &count);
  if (err != noErr) {
    if (file != nullptr) GL_ClearBytes(file, sizeof(FSRef));
    return err;
  }
  return QT_ResolveMediaDataRef(media, count, file);
}

namespace {

// The index of the media's data reference equal to the given one (aliases naming the same file, other
// references byte for byte), or 0.
OSStatus FindDataRef(Media media, Handle dataRef, OSType dataRefType, SInt16 *index) {
  *index = 0;
  SInt16 count = 0;
  OSStatus err = GetMediaDataRefCount(media, &count);
  for (SInt16 i = 1; err == noErr && i <= count && *index == 0; ++i) {
    Handle each = nullptr;
    OSType type = 0;
    err = GetMediaDataRef(media, i, &each, &type, nullptr);
    if (err != noErr) break;
    if (type == dataRefType) {
      if (type == rAliasType) {
        if (GL_EqualAlias(reinterpret_cast<AliasHandle>(each), reinterpret_cast<AliasHandle>(dataRef), nullptr))
          *index = i;
      } else if (GetHandleSize(each) == GetHandleSize(dataRef) &&
                 std::equal(*each, *each + GetHandleSize(each), *dataRef)) {
        *index = i;
      }
    }
    DisposeHandle(each);
  }
  return err;
}

}  // namespace

OSStatus QT_CheckForAliasDataRef(Media media, AliasHandle alias, Boolean add, SInt16 *index) {
  if (index == nullptr || alias == nullptr) return paramErr;
  Handle dataRef = reinterpret_cast<Handle>(alias);
  OSStatus err = FindDataRef(media, dataRef, rAliasType, index);
  if (err == noErr && *index == 0 && add) err = AddMediaDataRef(media, index, dataRef, rAliasType);
  if (err != noErr) *index = 0;
  return err;
}

OSStatus QT_CopyDataReferences(Media srcMedia, Media dstMedia) {
  SInt16 count = 0;
  OSStatus err = GetMediaDataRefCount(srcMedia, &count);
  for (SInt16 i = 1; err == noErr && i <= count; ++i) {
    Handle dataRef = nullptr;
    OSType type = 0;
    err = GetMediaDataRef(srcMedia, i, &dataRef, &type, nullptr);
    // Files come as aliases; a reference that names no file keeps its own type rather than posing as one.
    if (err == noErr) err = AddMediaDataRef(dstMedia, nullptr, dataRef, type);
    if (dataRef != nullptr) DisposeHandle(dataRef);
  }
  return err;
}

OSStatus QT_CopyDataReferencesIfNeeded(Media srcMedia, Media dstMedia, SInt16 **indexTable) {
  if (indexTable == nullptr) return paramErr;
  *indexTable = nullptr;
  SInt16 count = 0;
  OSStatus err = GetMediaDataRefCount(srcMedia, &count);
  if (err != noErr || count == 0) return err;
  SInt16 *table = reinterpret_cast<SInt16 *>(NewPtrClear(Size(count) * Size(sizeof(SInt16))));
  if (table == nullptr) return MemError();
  for (SInt16 i = 1; err == noErr && i <= count; ++i) {
    Handle dataRef = nullptr;
    OSType type = 0;
    err = GetMediaDataRef(srcMedia, i, &dataRef, &type, nullptr);
    SInt16 found = 0;
    if (err == noErr) err = FindDataRef(dstMedia, dataRef, type, &found);
    if (err == noErr && found == 0) err = AddMediaDataRef(dstMedia, &found, dataRef, type);
    if (dataRef != nullptr) DisposeHandle(dataRef);
    table[i - 1] = found;
  }
  if (err != noErr) {
    DisposePtr(reinterpret_cast<Ptr>(table));
    return err;
  }
  *indexTable = table;
  return noErr;
}

OSStatus QT_GetMovieDataRefCount(Movie movie, OSType trackType, SInt32 flags, Boolean enabledOnly, UInt16 *count) {
  if (count == nullptr) return paramErr;
  *count = 0;
  if (movie == nullptr) return invalidMovie;
  SInt32 searchFlags = flags | (enabledOnly ? movieTrackEnabledOnly : 0);
  GL_AliasLE *aliases = nullptr;
  UInt32 others = 0;
  OSStatus err = noErr;
  for (SInt32 t = 1; err == noErr; ++t) {
    Track track = nullptr;
    if (trackType == 0) {
      track = t <= GetMovieTrackCount(movie) ? GetMovieIndTrack(movie, t) : nullptr;
      if (track != nullptr && enabledOnly && !GetTrackEnabled(track)) continue;
    } else {
      track = GetMovieIndTrackType(movie, t, trackType, searchFlags);
    }
    if (track == nullptr) break;
    Media media = GetTrackMedia(track);
    SInt16 refs = 0;
    if (media == nullptr || GetMediaDataRefCount(media, &refs) != noErr) continue;
    for (SInt16 i = 1; err == noErr && i <= refs; ++i) {
      Handle dataRef = nullptr;
      OSType type = 0;
      err = GetMediaDataRef(media, i, &dataRef, &type, nullptr);
      if (err != noErr) break;
      if (type != rAliasType) {
        ++others;
        DisposeHandle(dataRef);
        continue;
      }
      GL_AliasLE *element = nullptr;
      err = LL_AddNewPtr(sizeof(GL_AliasLE), nullptr, &aliases, &element);
      if (err != noErr) {
        DisposeHandle(dataRef);
        break;
      }
      element->alias = reinterpret_cast<AliasHandle>(dataRef);
    }
  }
  if (err == noErr) {
    // References of several tracks to one file are one file to the user.
    for (GL_AliasLE *a = aliases; a != nullptr; a = a->next)
      for (GL_AliasLE **b = &a->next; *b != nullptr;) {
        if (GL_EqualALiasProc(a, *b)) {
          GL_AliasLE *same = *b;
          *b = same->next;
          GL_DisposeAliasLE(&same);
        } else {
          b = &(*b)->next;
        }
      }
    UInt32 total = UInt32(LL_PtrListCount(aliases)) + others;
    *count = UInt16(std::min<UInt32>(total, 0xFFFF));
  }
  while (aliases != nullptr) {
    GL_AliasLE *next = aliases->next;
    GL_DisposeAliasLE(&aliases);
    aliases = next;
  }
  return err;
}

OSStatus QT_FindDataRefByName(Movie movie, CFStringRef name, Track *track, SInt16 *index, AliasHandle *alias) {
  if (track) *track = nullptr;
  if (index) *index = 0;
  if (alias) *alias = nullptr;
  if (movie == nullptr) return invalidMovie;
  if (name == nullptr) return paramErr;
  for (SInt32 t = 1; t <= GetMovieTrackCount(movie); ++t) {
    Track each = GetMovieIndTrack(movie, t);
    Media media = GetTrackMedia(each);
    SInt16 refs = 0;
    if (media == nullptr || GetMediaDataRefCount(media, &refs) != noErr) continue;
    for (SInt16 i = 1; i <= refs; ++i) {
      Handle dataRef = nullptr;
      OSType type = 0;
      OSStatus err = GetMediaDataRef(media, i, &dataRef, &type, nullptr);
      if (err != noErr) return err;
      HFSUniStr255 target;
      bool same = false;
      if (type == rAliasType &&
          FSCopyAliasInfo(reinterpret_cast<AliasHandle>(dataRef), &target, nullptr, nullptr, nullptr, nullptr) == noErr) {
        CFStringRef targetName = CFStringCreateWithCharacters(nullptr, target.unicode, target.length);
        same = targetName != nullptr && GL_EqualCFStr(targetName, name);
        if (targetName != nullptr) CFRelease(targetName);
      }
      if (!same) {
        DisposeHandle(dataRef);
        continue;
      }
      if (track) *track = each;
      if (index) *index = i;
      if (alias)
        *alias = reinterpret_cast<AliasHandle>(dataRef);
      else
        DisposeHandle(dataRef);
      return noErr;
    }
  }
  return fnfErr;
}

OSStatus QT_GetMovieReferencedFiles(Movie movie, GL_FSRefLE **files) {
  if (files == nullptr) return paramErr;
  if (movie == nullptr) return invalidMovie;
  OSStatus err = noErr;
  for (SInt32 t = 1; err == noErr && t <= GetMovieTrackCount(movie); ++t) {
    Media media = GetTrackMedia(GetMovieIndTrack(movie, t));
    SInt16 refs = 0;
    if (media == nullptr || GetMediaDataRefCount(media, &refs) != noErr) continue;
    for (SInt16 i = 1; err == noErr && i <= refs; ++i) {
      Handle dataRef = nullptr;
      OSType type = 0;
      SInt32 attributes = 0;
      err = GetMediaDataRef(media, i, &dataRef, &type, &attributes);
      if (err != noErr) break;
      if (type == rAliasType && (attributes & dataRefWasNotResolved) == 0) {
        GL_FSRefLE found{};
        err = GL_ResolveAliasSilently(reinterpret_cast<AliasHandle>(dataRef), &found.fileRef);
        if (err == fnfErr) {
          err = noErr;  // gone since the movie was read: nothing to list
        } else if (err == noErr && !LL_PtrInLinkedList(*files, &found, GL_EqualFileRefLEPtrs)) {
          GL_FSRefLE *element = nullptr;
          err = LL_AddNewPtr(sizeof(GL_FSRefLE), nullptr, files, &element);
          if (err == noErr) element->fileRef = found.fileRef;
        }
      }
      DisposeHandle(dataRef);
    }
  }
  return err;
}

OSStatus QT_DataRefIndexToStartTime(SInt16 dataRefIndex, Media media, TimeValue *time) {
  if (time == nullptr) return paramErr;
  *time = -1;
  Handle desc = NewHandle(0);
  if (desc == nullptr) return MemError();
  OSStatus err = noErr;
  TimeValue at = 0;
  TimeValue duration = GetMediaDuration(media);
  while (at < duration) {
    SampleReference64Record refs[100];
    SInt32 count = 0;
    TimeValue sampleTime = 0;
    err = GetMediaSampleReferences64(media, at, &sampleTime, reinterpret_cast<SampleDescriptionHandle>(desc), nullptr,
                                     100, &count, refs);
    if (err != noErr || count == 0) break;
    if (reinterpret_cast<SampleDescription *>(*desc)->dataRefIndex == dataRefIndex) {
      *time = sampleTime;
      break;
    }
    SInt64 advance = 0;
    for (SInt32 i = 0; i < count; ++i) advance += SInt64(refs[i].durationPerSample) * refs[i].numberOfSamples;
    if (advance == 0) break;  // only zero-duration samples are left: no later time to ask for
    at = TimeValue(std::min<SInt64>(SInt64(sampleTime) + advance, 0x7FFFFFFF));
  }
  DisposeHandle(desc);
  return err;
}

OSStatus QT_GetMainAtoms(SInt16 forkRefNum, SInt32 *count, SInt64 **sizes, OSType **types) {
  if (count == nullptr || sizes == nullptr || types == nullptr) return paramErr;
  *count = 0;
  *sizes = nullptr;
  *types = nullptr;
  SInt64 forkSize = 0;
  OSStatus err = FSGetForkSize(forkRefNum, &forkSize);
  if (err != noErr) return err;
  std::vector<SInt64> atomSizes;
  std::vector<OSType> atomTypes;
  OSStatus walkEnd = noErr;
  for (SInt64 offset = 0; offset < forkSize;) {
    SInt64 left = forkSize - offset;
    UInt8 header[16];
    ByteCount got = 0;
    if (left < 8) {
      walkEnd = kQT_MdatHeaderErr;
      break;
    }
    err = FSReadFork(forkRefNum, fsFromStart, offset, left >= 16 ? 16 : 8, header, &got);
    if (err != noErr) return err;
    SInt64 size = PL_GetBE32(header);
    SInt64 headerSize = 8;
    if (size == 1) {
      if (left < 16) {
        walkEnd = kQT_MdatHeaderErr;
        break;
      }
      UInt64 wideSize = PL_GetBE64(header + 8);
      size = wideSize > UInt64(forkSize) ? forkSize + 1 : SInt64(wideSize);
      headerSize = 16;
    } else if (size == 0) {
      size = left;  // runs to the end of the fork
    }
    // An atom smaller than its header would never move the walk on; one past the end is cut off.
    if (size < headerSize || size > left) {
      walkEnd = kQT_MdatHeaderErr;
      break;
    }
    atomSizes.push_back(size);
    atomTypes.push_back(PL_GetBE32(header + 4));
    offset += size;
  }
  if (!atomSizes.empty()) {
    Size n = Size(atomSizes.size());
    *sizes = reinterpret_cast<SInt64 *>(NewPtr(n * Size(sizeof(SInt64))));
    *types = reinterpret_cast<OSType *>(NewPtr(n * Size(sizeof(OSType))));
    if (*sizes == nullptr || *types == nullptr) {
      if (*sizes) DisposePtr(reinterpret_cast<Ptr>(*sizes));
      if (*types) DisposePtr(reinterpret_cast<Ptr>(*types));
      *sizes = nullptr;
      *types = nullptr;
      return memFullErr;
    }
    std::copy(atomSizes.begin(), atomSizes.end(), *sizes);
    std::copy(atomTypes.begin(), atomTypes.end(), *types);
    *count = SInt32(n);
  }
  return walkEnd;
}

OSStatus QT_MoveBackMovieEOF(const FSRef *file, Track track, TimeValue trackEnd) {
  Media media = GetTrackMedia(track);
  if (media == nullptr) return GetMoviesError() != noErr ? OSStatus(GetMoviesError()) : OSStatus(paramErr);
  TimeValue mediaTime = TrackTimeToMediaTime(trackEnd, track);
  if (mediaTime < 0) return noErr;  // nothing of the media lies behind the track's end
  SampleReference64Record ref;
  SInt32 count = 0;
  TimeValue sampleTime = 0;
  OSStatus err = GetMediaSampleReferences64(media, mediaTime, &sampleTime, nullptr, nullptr, 1, &count, &ref);
  if (err != noErr || count == 0) return err;
  if (sampleTime < mediaTime) {
    // The sample holding the end began before it and is shown: cut behind it.
    TimeValue next = sampleTime + ref.durationPerSample;
    err = GetMediaSampleReferences64(media, next, &sampleTime, nullptr, nullptr, 1, &count, &ref);
    if (err != noErr || count == 0) return err;
  }
  SInt16 fork = 0;
  err = OpenDataFork(file, fsRdWrPerm, &fork);
  if (err != noErr) return err;
  SInt64 forkSize = 0;
  err = FSGetForkSize(fork, &forkSize);
  // Only ever cut: a sample beyond the end of the fork must not make the file grow.
  if (err == noErr && ref.dataOffset < forkSize) err = FSSetForkSize(fork, fsFromStart, ref.dataOffset);
  OSStatus closeErr = FSCloseFork(fork);
  return err != noErr ? err : closeErr;
}

// ---- Choosing movie files ----

Boolean QT_GetNavItemFile(AEDesc *item, void *info, FSRef *file, Boolean *isFolder) {
  *isFolder = false;
  if (item == nullptr) return false;
  DescType type = item->descriptorType;
  if (type != typeFSS && type != typeFSRef && type != typeFileURL) return false;
  const auto *fileInfo = static_cast<const NavFileOrFolderInfo *>(info);
  if (fileInfo != nullptr && fileInfo->isFolder) {
    *isFolder = true;
    return false;
  }
  AEDesc coerced{};
  if (AECoerceDesc(item, typeFSRef, &coerced) != noErr) return false;
  bool ok = AEGetDescDataSize(&coerced) == Size(sizeof(FSRef)) && AEGetDescData(&coerced, file, sizeof(*file)) == noErr;
  AEDisposeDesc(&coerced);
  return ok;
}

Boolean QT_MovieFilter(AEDesc *item, void *info, NavCallBackUserData callBackUD, NavFilterModes filterMode) {
  (void)callBackUD;
  (void)filterMode;
  FSRef file;
  Boolean isFolder = false;
  if (!QT_GetNavItemFile(item, info, &file, &isFolder)) return isFolder;
  Boolean canOpenWithGraphicsImporter = false, canOpenAsMovie = false;
  if (QT_CanQuickTimeOpenFile(&file, &canOpenWithGraphicsImporter, &canOpenAsMovie, nullptr, 1) != noErr) return false;
  return canOpenAsMovie && !canOpenWithGraphicsImporter;
}
