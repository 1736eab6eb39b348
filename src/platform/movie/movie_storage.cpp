// Movie storage: movie files created, opened, written, read and deleted through data references.
//
// A movie file holds its movie atom at the top level beside the media data. Opening reads the first
// movie atom; storing appends the new movie atom and then turns the earlier ones into 'free' atoms, so a
// file always holds one movie, and a store that fails leaves the previous one intact. Files are opened for writing only through storages
// created or opened for writing: opening a movie never writes its file.
#include "platform/core/aliases.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/av_import.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/image_formats.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

struct PL_StorageRecord {
  std::string path;
  int fd = -1;
  bool writable = false;
};

namespace {

std::atomic<SInt32> gFailCreates{0};
std::atomic<OSErr> gFailCreatesErr{noErr};

// Movie atoms larger than this are taken for damage and refused before anything is allocated.
constexpr UInt64 kMaxMovieAtomSize = UInt64(1) << 30;

// Top-level atom types of QuickTime files; a walk that breaks after one of these is a damaged movie file.
bool IsKnownTopLevelType(OSType type) {
  switch (type) {
    case 'ftyp':
    case 'wide':
    case 'free':
    case 'skip':
    case 'mdat':
    case 'moov':
    case 'pnot':
    case 'PICT':
    case 'pict':
    case 'junk':
    case 'uuid':
      return true;
    default:
      return false;
  }
}

// The absolute form of a path whose file may not exist yet (its folder must).
std::string AbsolutePath(const std::string &path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf) != nullptr) return buf;
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (realpath(dir.c_str(), buf) == nullptr) return path;
  std::string abs = buf;
  if (abs != "/") abs += '/';
  return abs + name;
}

OSStatus FileSize(int fd, UInt64 *size) {
  struct stat st;
  if (fstat(fd, &st) != 0) return PL_OSStatusFromErrno(errno);
  *size = UInt64(st.st_size);
  return noErr;
}

// Samples said to lie in the movie's own file (or in another local file that is there) may run past its end,
// as in a file cut short, whose lost frames then read as eofErr. But a damaged sample table can claim tens of
// millions of samples in a few bytes, which would cost gigabytes and minutes once they are indexed for
// decoding or display. So the samples past the end of each file may number at most one per byte the file
// holds (and a floor for tiny files); beyond that the table is refused.
constexpr UInt64 kMinSamplesPastEnd = 1 << 16;

OSStatus CheckSamplesAgainstTheirFiles(const PL_MovieRecord &movie, UInt64 movieFileSize) {
  std::map<std::string, UInt64> otherFileSizes;
  for (const auto &track : movie.tracks) {
    const PL_MediaRecord *media = track->media.get();
    if (media == nullptr) continue;
    std::map<std::string, UInt64> pastEnd;  // per file
    for (const PL_SampleRun &run : media->runs) {
      SInt32 index = 0;
      if (run.dataSize == 0 || PL_MediaDescriptionDataRef(media, run.descIndex, &index) != noErr) continue;
      const PL_DataRef &ref = media->dataRefs[size_t(index) - 1];
      UInt64 fileSize = movieFileSize;
      if (ref.kind == kPL_DataRefFile) {
        auto known = otherFileSizes.find(ref.path);
        if (known == otherFileSizes.end()) {
          struct stat st;
          // A file that is missing now may come back; its samples fail when they are read.
          if (stat(ref.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
          known = otherFileSizes.emplace(ref.path, UInt64(st.st_size)).first;
        }
        fileSize = known->second;
      } else if (ref.kind != kPL_DataRefSelf) {
        continue;
      }
      const UInt64 begin = UInt64(run.dataOffset), end = begin + run.dataSize;
      if (end <= fileSize) continue;
      // The share of the run's samples that lies past the end (sound samples need not be whole bytes).
      const UInt64 past = UInt64((unsigned __int128)run.numberOfSamples * (end - std::max(begin, fileSize)) /
                                 run.dataSize);
      UInt64 &count = pastEnd[ref.kind == kPL_DataRefFile ? ref.path : std::string()];
      count += past;
      if (count > std::max(fileSize, kMinSamplesPastEnd)) return kPL_MovieSampleTableErr;
    }
  }
  return noErr;
}

struct TopLevelWalk {
  std::vector<PL_AtomHeader> atoms;
  bool damaged = false;      // the walk stopped at an atom that does not fit the file
  OSType damagedType = 0;    // that atom's type, when its header could be read
};

OSStatus WalkTopLevel(int fd, UInt64 fileSize, TopLevelWalk *walk, bool stopAtMovie) {
  UInt64 offset = 0;
  for (;;) {
    PL_AtomHeader h;
    OSStatus err = PL_ReadFileAtomHeader(fd, fileSize, offset, &h, kPL_MovieAtomErr);
    if (err == kPL_AtomListEnd) return noErr;
    if (err == kPL_MovieAtomErr) {
      walk->damaged = true;
      UInt8 head[8];
      if (fileSize - offset >= 8 && PL_ReadFully(fd, offset, head, 8) == noErr) walk->damagedType = PL_GetBE32(head + 4);
      return noErr;
    }
    if (err != noErr) return err;
    walk->atoms.push_back(h);
    if (stopAtMovie && h.type == 'moov') return noErr;
    offset += h.size;
  }
}

OSStatus StoreMovie(Movie theMovie, DataHandler dh) {
  if (theMovie == nullptr) return invalidMovie;
  if (dh == nullptr || dh->fd < 0) return paramErr;
  if (!dh->writable) return dataNotOpenForWrite;
  // An imported movie's file is the user's source, of another format: it is never written.
  if (!theMovie->importedFrom.empty() && PL_SameFile(theMovie->importedFrom, dh->path)) return wrPermErr;
  // Samples added since the last store sit in an open 'mdat' at the end of their file: close it first, so
  // that the movie atom lands behind it.
  OSStatus err = PL_FinishMediaData(theMovie);
  if (err != noErr) return err;
  std::vector<UInt8> atom;
  err = PL_BuildMovieAtom(theMovie, dh->path, &atom);
  if (err != noErr) return err;
  UInt64 fileSize = 0;
  err = FileSize(dh->fd, &fileSize);
  if (err != noErr) return err;
  TopLevelWalk walk;
  err = WalkTopLevel(dh->fd, fileSize, &walk, false);
  if (err != noErr) return err;
  // The new movie atom goes behind everything; only once it is complete do the old ones become 'free'.
  // A write that fails (a full disk) is cut off again, so the file keeps its previous movie.
  err = PL_WriteFully(dh->fd, fileSize, atom.data(), atom.size());
  if (err != noErr) {
    if (ftruncate(dh->fd, off_t(fileSize)) != 0) return PL_OSStatusFromErrno(errno);
    return err;
  }
  if (!walk.damaged) {
    for (const PL_AtomHeader &h : walk.atoms) {
      if (h.type != 'moov') continue;
      UInt8 type[4];
      PL_PutBE32(type, 'free');
      err = PL_WriteFully(dh->fd, h.offset + 4, type, 4);
      if (err != noErr) return err;
    }
  }
  if (theMovie->defaultPath.empty()) theMovie->defaultPath = dh->path;
  return noErr;
}

// Labels a new movie file with its creator and the movie file type. Only a label: a file system without
// extended attributes keeps none, and a failure here does not fail the creation.
void LabelMovieFile(const std::string &path, OSType creator) {
  FSRef ref;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr) != noErr) return;
  FSCatalogInfo info;
  if (FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr) != noErr) return;
  FileInfo finder;
  std::memcpy(&finder, info.finderInfo, sizeof(finder));
  finder.fileType = kQTFileTypeMovie;
  finder.fileCreator = creator;
  std::memcpy(info.finderInfo, &finder, sizeof(finder));
  FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info);
}

OSErr NewDataReferenceForPath(const std::string &path, Handle *outDataRef, OSType *outDataRefType) {
  std::string url = PL_PathToFileURL(path);
  Handle h = NewHandle(Size(url.size() + 1));
  if (h == nullptr) return MemError();
  std::memcpy(*h, url.c_str(), url.size() + 1);
  *outDataRef = h;
  if (outDataRefType) *outDataRefType = URLDataHandlerSubType;
  return noErr;
}

}  // namespace

void PL_FailMovieStorageCreates(SInt32 count, OSErr err) {
  gFailCreatesErr.store(err);
  gFailCreates.store(count < 0 ? 0 : count);
}

OSErr QTNewDataReferenceFromFSRef(const FSRef *fileRef, UInt32 flags, Handle *outDataRef, OSType *outDataRefType) {
  (void)flags;
  if (fileRef == nullptr || outDataRef == nullptr) return PL_SetMoviesError(paramErr);
  *outDataRef = nullptr;
  AliasHandle alias = nullptr;
  OSStatus err = FSNewAlias(nullptr, fileRef, &alias);
  if (err != noErr) return PL_SetMoviesError(err);
  *outDataRef = reinterpret_cast<Handle>(alias);
  if (outDataRefType) *outDataRefType = rAliasType;
  return PL_SetMoviesError(noErr);
}

OSErr QTNewDataReferenceFromFSRefCFString(const FSRef *directoryRef, CFStringRef fileName, UInt32 flags,
                                          Handle *outDataRef, OSType *outDataRefType) {
  (void)flags;
  if (directoryRef == nullptr || fileName == nullptr || outDataRef == nullptr) return PL_SetMoviesError(paramErr);
  *outDataRef = nullptr;
  std::string folder;
  OSStatus err = PL_FSRefMakePathString(directoryRef, &folder);
  if (err != noErr) return PL_SetMoviesError(err);
  CFIndex capacity = CFStringGetMaximumSizeForEncoding(CFStringGetLength(fileName), kCFStringEncodingUTF8) + 1;
  std::string name(size_t(capacity), '\0');
  if (!CFStringGetCString(fileName, name.data(), capacity, kCFStringEncodingUTF8)) return PL_SetMoviesError(paramErr);
  name.resize(std::strlen(name.c_str()));
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
    return PL_SetMoviesError(bdNamErr);
  if (name.size() > 255) return PL_SetMoviesError(errFSNameTooLong);
  return PL_SetMoviesError(NewDataReferenceForPath(folder == "/" ? "/" + name : folder + "/" + name, outDataRef,
                                                   outDataRefType));
}

OSErr PL_NewDataReferenceFromPath(const char *path, Handle *outDataRef, OSType *outDataRefType) {
  if (path == nullptr || outDataRef == nullptr || path[0] == '\0') return paramErr;
  return NewDataReferenceForPath(AbsolutePath(path), outDataRef, outDataRefType);
}

OSErr PL_DataReferenceToPath(Handle dataRef, OSType dataRefType, std::string *path) {
  if (dataRef == nullptr || *dataRef == nullptr || path == nullptr) return paramErr;
  if (dataRefType == rAliasType) {
    bool resolved = false;
    OSStatus err = PL_AliasBytesToPath(reinterpret_cast<const UInt8 *>(*dataRef), size_t(GetHandleSize(dataRef)), path,
                                       &resolved);
    return err == noErr ? noErr : paramErr;
  }
  if (dataRefType == URLDataHandlerSubType) {
    Size n = GetHandleSize(dataRef);
    std::string url(*dataRef, size_t(n));
    url = url.substr(0, url.find('\0'));
    if (!PL_FileURLToPath(url, path)) return paramErr;
    *path = AbsolutePath(*path);
    return noErr;
  }
  return paramErr;
}

OSErr GetMovieDefaultDataRef(Movie theMovie, Handle *outDataRef, OSType *outDataRefType) {
  if (outDataRef) *outDataRef = nullptr;
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie);
  if (outDataRef == nullptr) return PL_SetMoviesError(paramErr);
  if (theMovie->defaultPath.empty()) return PL_SetMoviesError(noDefaultDataRef);
  return PL_SetMoviesError(PL_NewDataReferenceFromPath(theMovie->defaultPath.c_str(), outDataRef, outDataRefType));
}

OSErr CreateMovieStorage(Handle dataRef, OSType dataRefType, OSType creator, ScriptCode scriptTag,
                         SInt32 createMovieFileFlags, DataHandler *outDataHandler, Movie *newmovie) {
  (void)scriptTag;
  if (outDataHandler) *outDataHandler = nullptr;
  if (newmovie) *newmovie = nullptr;
  std::string path;
  OSErr err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  if (err != noErr) return PL_SetMoviesError(err);
  SInt32 failing = gFailCreates.load();
  while (failing > 0 && !gFailCreates.compare_exchange_weak(failing, failing - 1)) {
  }
  if (failing > 0) return PL_SetMoviesError(gFailCreatesErr.load());
  UInt32 flags = UInt32(createMovieFileFlags);
  if (flags & createMovieFileDeleteCurFile) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT) return PL_SetMoviesError(PL_OSStatusFromErrno(errno));
  }
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return PL_SetMoviesError(PL_OSStatusFromErrno(errno));
  path = AbsolutePath(path);
  LabelMovieFile(path, creator);
  Movie movie = nullptr;
  if ((flags & createMovieFileDontCreateMovie) == 0) {
    movie = NewMovie(0);
    if (movie == nullptr) {
      close(fd);
      return PL_SetMoviesError(memFullErr);
    }
    movie->defaultPath = path;
  }
  if (outDataHandler) {
    auto *dh = new (std::nothrow) PL_StorageRecord{path, fd, true};
    if (dh == nullptr) {
      close(fd);
      DisposeMovie(movie);
      return PL_SetMoviesError(memFullErr);
    }
    *outDataHandler = dh;
  } else {
    close(fd);
  }
  if (newmovie)
    *newmovie = movie;
  else
    DisposeMovie(movie);
  return PL_SetMoviesError(noErr);
}

OSErr OpenMovieStorage(Handle dataRef, OSType dataRefType, SInt32 flags, DataHandler *outDataHandler) {
  if (outDataHandler == nullptr) return PL_SetMoviesError(paramErr);
  *outDataHandler = nullptr;
  std::string path;
  OSErr err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  if (err != noErr) return PL_SetMoviesError(err);
  bool writable = (UInt32(flags) & kDataHCanWrite) != 0;
  int fd = open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return PL_SetMoviesError(PL_OSStatusFromErrno(errno));
  auto *dh = new (std::nothrow) PL_StorageRecord{path, fd, writable};
  if (dh == nullptr) {
    close(fd);
    return PL_SetMoviesError(memFullErr);
  }
  *outDataHandler = dh;
  return PL_SetMoviesError(noErr);
}

OSErr CloseMovieStorage(DataHandler dh) {
  if (dh == nullptr) return PL_SetMoviesError(paramErr);
  OSStatus err = noErr;
  if (dh->fd >= 0 && close(dh->fd) != 0) err = PL_OSStatusFromErrno(errno);
  delete dh;
  return PL_SetMoviesError(err);
}

OSErr DeleteMovieStorage(Handle dataRef, OSType dataRefType) {
  std::string path;
  OSErr err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  if (err != noErr) return PL_SetMoviesError(err);
  if (unlink(path.c_str()) != 0) return PL_SetMoviesError(PL_OSStatusFromErrno(errno));
  return PL_SetMoviesError(noErr);
}

OSErr AddMovieToStorage(Movie theMovie, DataHandler dh) { return PL_SetMoviesError(StoreMovie(theMovie, dh)); }

OSErr UpdateMovieInStorage(Movie theMovie, DataHandler dh) { return PL_SetMoviesError(StoreMovie(theMovie, dh)); }

OSErr NewMovieFromDataRef(Movie *theMovie, SInt16 flags, SInt16 *resId, Handle dataRef, OSType dataRefType) {
  if (theMovie == nullptr) return PL_SetMoviesError(paramErr);
  *theMovie = nullptr;
  if (resId) *resId = -1;
  std::string path;
  OSErr err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  if (err != noErr) return PL_SetMoviesError(err);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return PL_SetMoviesError(PL_OSStatusFromErrno(errno));
  UInt64 fileSize = 0;
  OSStatus status = FileSize(fd, &fileSize);
  TopLevelWalk walk;
  if (status == noErr) status = WalkTopLevel(fd, fileSize, &walk, true);
  if (status != noErr) {
    close(fd);
    return PL_SetMoviesError(status);
  }
  const PL_AtomHeader *movieAtom = nullptr;
  bool knownFile = false;
  for (const PL_AtomHeader &h : walk.atoms) {
    knownFile = knownFile || IsKnownTopLevelType(h.type);
    if (h.type == 'moov') movieAtom = &h;
  }
  if (movieAtom == nullptr) {
    close(fd);
    if (walk.damaged && walk.damagedType == 'mdat') return PL_SetMoviesError(kPL_MovieMdatHeaderErr);
    if (walk.damaged && (knownFile || IsKnownTopLevelType(walk.damagedType))) return PL_SetMoviesError(kPL_MovieAtomErr);
    // Not a QuickTime movie: files of the kinds libavformat reads for us become read-only movies.
    const std::string absolute = AbsolutePath(path);
    if (!PL_CanImportMovieFile(absolute)) return PL_SetMoviesError(noMovieFound);
    Movie imported = nullptr;
    status = PL_ImportMovieFile(absolute, &imported);
    if (status != noErr) return PL_SetMoviesError(status);
    imported->active = (flags & newMovieActive) != 0;
    *theMovie = imported;
    return PL_SetMoviesError(noErr);
  }
  UInt64 payloadSize = movieAtom->size - movieAtom->headerSize;
  if (payloadSize > kMaxMovieAtomSize) {
    close(fd);
    return PL_SetMoviesError(kPL_MovieAtomErr);
  }
  std::vector<UInt8> payload;
  try {
    payload.resize(size_t(payloadSize));
  } catch (const std::bad_alloc &) {
    close(fd);
    return PL_SetMoviesError(memFullErr);
  }
  status = PL_ReadFully(fd, movieAtom->offset + movieAtom->headerSize, payload.data(), payload.size());
  close(fd);
  if (status != noErr) return PL_SetMoviesError(status);
  std::unique_ptr<PL_MovieRecord> movie;
  status = PL_ParseMovieAtom(payload.data(), payload.size(), AbsolutePath(path), &movie);
  if (status == noErr) status = CheckSamplesAgainstTheirFiles(*movie, fileSize);
  if (status != noErr) return PL_SetMoviesError(status);
  movie->active = (flags & newMovieActive) != 0;
  *theMovie = movie.release();
  return PL_SetMoviesError(noErr);
}

OSErr PutMovieForDataRefIntoHandle(Movie theMovie, Handle dataRef, OSType dataRefType, Handle publicMovie) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie);
  if (publicMovie == nullptr) return PL_SetMoviesError(paramErr);
  std::string path;
  OSErr err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  if (err != noErr) return PL_SetMoviesError(err);
  OSStatus status = PL_FinishMediaData(theMovie);
  if (status != noErr) return PL_SetMoviesError(status);
  std::vector<UInt8> atom;
  status = PL_BuildMovieAtom(theMovie, path, &atom);
  if (status != noErr) return PL_SetMoviesError(status);
  SetHandleSize(publicMovie, Size(atom.size()));
  if (MemError() != noErr) return PL_SetMoviesError(MemError());
  std::memcpy(*publicMovie, atom.data(), atom.size());
  return PL_SetMoviesError(noErr);
}

OSErr CanQuickTimeOpenDataRef(Handle dataRef, OSType dataRefType, Boolean *outCanOpenWithGraphicsImporter,
                              Boolean *outCanOpenAsMovie, Boolean *outPreferGraphicsImporter, UInt32 inFlags) {
  (void)inFlags;
  if (outCanOpenWithGraphicsImporter) *outCanOpenWithGraphicsImporter = false;
  if (outCanOpenAsMovie) *outCanOpenAsMovie = false;
  if (outPreferGraphicsImporter) *outPreferGraphicsImporter = false;
  std::string path;
  OSErr err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  if (err != noErr) return PL_SetMoviesError(err);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return PL_SetMoviesError(PL_OSStatusFromErrno(errno));
  // Still images are the graphics importers' (platform/ui images_graphics.h): they never open as movies.
  if (PL_ImageFileTypeOfFile(path.c_str()) != 0) {
    close(fd);
    if (outCanOpenWithGraphicsImporter) *outCanOpenWithGraphicsImporter = true;
    if (outPreferGraphicsImporter) *outPreferGraphicsImporter = true;
    return PL_SetMoviesError(noErr);
  }
  UInt64 fileSize = 0;
  TopLevelWalk walk;
  OSStatus status = FileSize(fd, &fileSize);
  if (status == noErr) status = WalkTopLevel(fd, fileSize, &walk, true);
  close(fd);
  if (status != noErr) return PL_SetMoviesError(status);
  bool movie = !walk.atoms.empty() && walk.atoms.back().type == 'moov';
  if (!movie) movie = PL_CanImportMovieFile(AbsolutePath(path));
  if (outCanOpenAsMovie) *outCanOpenAsMovie = movie;
  return PL_SetMoviesError(noErr);
}

OSErr NewMovieFromProperties(ItemCount inputPropertyCount, QTNewMoviePropertyElement *inputProperties,
                             ItemCount outputPropertyCount, QTNewMoviePropertyElement *outputProperties,
                             Movie *theMovie) {
  (void)outputProperties;
  if (theMovie == nullptr || (inputPropertyCount > 0 && inputProperties == nullptr)) return PL_SetMoviesError(paramErr);
  *theMovie = nullptr;
  if (outputPropertyCount > 0) return PL_SetMoviesError(paramErr);
  const DataReferenceRecord *location = nullptr;
  bool active = false;
  for (ItemCount i = 0; i < inputPropertyCount; ++i) {
    QTNewMoviePropertyElement &p = inputProperties[i];
    p.propStatus = noErr;
    auto sized = [&p](ByteCount size) {
      if (p.propValueSize == size && p.propValueAddress != nullptr) return true;
      p.propStatus = kQTPropertyBadValueSizeErr;
      return false;
    };
    if (p.propClass == kQTPropertyClass_DataLocation && p.propID == kQTDataLocationPropertyID_DataReference) {
      if (sized(sizeof(DataReferenceRecord))) location = static_cast<const DataReferenceRecord *>(p.propValueAddress);
    } else if (p.propClass == kQTPropertyClass_NewMovieProperty && p.propID == kQTNewMoviePropertyID_Active) {
      if (sized(sizeof(Boolean))) active = *static_cast<const Boolean *>(p.propValueAddress) != 0;
    } else if (p.propClass == kQTPropertyClass_Context && p.propID == kQTContextPropertyID_VisualContext) {
      if (sized(sizeof(QTVisualContextRef)) && *static_cast<QTVisualContextRef *>(p.propValueAddress) != nullptr)
        p.propStatus = kQTPropertyNotSupportedErr;
    } else if ((p.propClass == kQTPropertyClass_MovieInstantiation &&
                (p.propID == kQTMovieInstantiationPropertyID_DontResolveDataRefs ||
                 p.propID == kQTMovieInstantiationPropertyID_DontAskUnresolvedDataRefs)) ||
               (p.propClass == kQTPropertyClass_Audio && p.propID == kQTAudioPropertyID_RateChangesPreservePitch)) {
      sized(sizeof(Boolean));
    } else {
      p.propStatus = kQTPropertyNotSupportedErr;
    }
  }
  if (location == nullptr) return PL_SetMoviesError(paramErr);
  OSErr err = NewMovieFromDataRef(theMovie, active ? newMovieActive : 0, nullptr, location->dataRef,
                                  location->dataRefType);
  return PL_SetMoviesError(err);
}

OSErr CloseMovieFile(SInt16 resRefNum) {
  (void)resRefNum;
  return PL_SetMoviesError(rfNumErr);
}
