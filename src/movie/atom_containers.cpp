// Atom containers of the movie library, and its error keys.
#include "movie/atom_containers.h"

#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "general/memory_lists.h"
#include "movie/track_copying.h"
#include "platform/core/controls.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_controller.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

void QT_GetLibErrorKey(OSStatus error, CFStringRef *errorKey) {
  if (errorKey == nullptr) return;
  CFStringRef key = CFSTR("GL UnknownErr");
  switch (error) {
    case kQT_LowVersionErr: key = CFSTR("QT LowVersionErr"); break;
    case kQT_NoControllerOpenedErr: key = CFSTR("QT NoControllerOpenedErr"); break;
    case kQT_ComponentDidntHandleRequestErr: key = CFSTR("QT ComponentDidntHandleRequestErr"); break;
    case kQT_NoComponentFoundErr: key = CFSTR("QT NoComponentFoundErr"); break;
    case kQT_DataRefIndexNotInMediaErr: key = CFSTR("QT DataRefIndexNotInMediaErr"); break;
    case kQT_CouldNotOpenMovieFileErr: key = CFSTR("QT CouldNotOpenMovieFileErr"); break;
    case kQT_CouldNotGetAllMovieFileReferencesErr: key = CFSTR("QT CouldNotGetAllMovieFileReferencesErr"); break;
    case kQT_CouldNotDeleteMovieFileErr:
    case kQT_CouldNotListMovieFileReferencesErr: key = CFSTR("QT CouldNotDeleteMovieFileErr"); break;
    case kQT_DataRefNotFileErr: key = CFSTR("QT DataRefNotFileErr"); break;
    case kQT_NoVideoTrackErr: key = CFSTR("QT NoVideoTrackErr"); break;
    case kQT_UnknownTimeScaleErr: key = CFSTR("QT UnknownTimeScaleErr"); break;
    case kQT_MdatHeaderErr: key = CFSTR("QT MdatHeaderErr"); break;
    case 11016:
    case 11017:
    case 11018: key = CFSTR("QT AtomErr"); break;
    case 11020:
    case 11021:
    case 11022: key = CFSTR("QT LibErr"); break;
    default: break;  // 11012, 11014, 11019 and everything outside the range
  }
  *errorKey = key;
}

// ---- Records in atom containers ----

namespace {

// Layout stored in 'SHDR': number of bytes, number of pointer fields, then their offsets.
constexpr SInt32 kHeaderFixed = 8;

OSStatus AllocatePtr(Size size, Ptr *p) {
  *p = NewPtrClear(size > 0 ? size : 1);
  return *p != nullptr ? OSStatus(noErr) : OSStatus(MemError());
}

QTA_StructPtr PointerField(const QTA_Struct *record, SInt32 i) {
  QTA_StructPtr nested = nullptr;
  std::memcpy(&nested, record->bytes + record->pointerOffsets[i], sizeof(nested));
  return nested;
}

// A layout whose pointer fields each fit inside the bytes.
bool LayoutHolds(const QTA_Struct *record) {
  if (record->numBytes < 0 || record->numPointers < 0) return false;
  if (record->numBytes > 0 && record->bytes == nullptr) return false;
  if (record->numPointers > 0 && record->pointerOffsets == nullptr) return false;
  for (SInt32 i = 0; i < record->numPointers; ++i) {
    SInt32 offset = record->pointerOffsets[i];
    if (offset < 0 || SInt64(offset) + SInt64(sizeof(QTA_StructPtr)) > record->numBytes) return false;
  }
  return true;
}

OSStatus StoreStruct(QTAtomContainer container, QTAtom parent, QTAtomType type, QTAtomID id,
                     const QTA_Struct *record, SInt32 depth) {
  if (depth > kQTA_MaxStructDepth) return kQT_AtomTableErr;
  if (record == nullptr || !LayoutHolds(record)) return paramErr;
  std::vector<UInt8> header(size_t(kHeaderFixed + 4 * record->numPointers));
  PL_PutBE32(header.data(), UInt32(record->numBytes));
  PL_PutBE32(header.data() + 4, UInt32(record->numPointers));
  for (SInt32 i = 0; i < record->numPointers; ++i)
    PL_PutBE32(header.data() + kHeaderFixed + 4 * i, UInt32(record->pointerOffsets[i]));
  // Pointer values mean nothing in storage: the stored bytes hold zeros there.
  std::vector<UInt8> bytes(record->bytes, record->bytes + record->numBytes);
  for (SInt32 i = 0; i < record->numPointers; ++i)
    std::memset(bytes.data() + record->pointerOffsets[i], 0, sizeof(QTA_StructPtr));

  QTAtom atom = 0;
  QTAtomID atomID = id;
  OSStatus err = QTA_QTInsertStructAtom(container, parent, type, record->numBytes, bytes.data(), &atom, &atomID);
  if (err != noErr) return err;
  err = QTInsertChild(container, atom, kQTA_StructHeaderAtom, 1, 0, SInt32(header.size()), header.data(), nullptr);
  for (SInt32 i = 0; err == noErr && i < record->numPointers; ++i) {
    QTA_StructPtr nested = PointerField(record, i);
    if (nested == nullptr) continue;
    // The record's atom stays where it is while children go into it, but look it up by identifier anyway:
    // that does not depend on where insertions happen.
    atom = QTFindChildByID(container, parent, type, atomID, nullptr);
    err = StoreStruct(container, atom, type, i + 1, nested, depth + 1);
  }
  return err;
}

OSStatus RebuildStruct(QTAtomContainer container, QTAtom atom, QTAtomType type, SInt32 depth, QTA_StructPtr *out) {
  *out = nullptr;
  if (depth > kQTA_MaxStructDepth) return kQT_AtomTableErr;
  QTAtomType atomType = 0;
  OSStatus err = QTGetAtomTypeAndID(container, atom, &atomType, nullptr);
  if (err != noErr) return err;
  if (atomType != type) return atomsNotOfSameTypeErr;

  if (QTCountChildrenOfType(container, atom, 0) == 0) {
    // Plain data (a nested record must have its layout, though).
    if (depth > 0) return notLeafAtomErr;
    SInt32 size = 0;
    Ptr data = nullptr;
    err = QTGetAtomDataPtr(container, atom, &size, &data);
    if (err != noErr) return err;
    QTA_StructPtr record = nullptr;
    err = QTA_NewStruct(size, 0, &record);
    if (err != noErr) return err;
    // The handle cannot move between the look-up and the copy: nothing here changes the container.
    std::memcpy(record->bytes, data, size_t(size));
    *out = record;
    return noErr;
  }

  SInt32 headerSize = 0;
  Ptr header = nullptr;
  err = QTA_GetTIAtomDataPtr(container, atom, kQTA_StructHeaderAtom, 1, &headerSize, &header);
  if (err != noErr) return err;
  if (headerSize < kHeaderFixed) return kQT_AtomCountErr;
  const UInt8 *h = reinterpret_cast<const UInt8 *>(header);
  SInt32 numBytes = SInt32(PL_GetBE32(h));
  SInt32 numPointers = SInt32(PL_GetBE32(h + 4));
  if (numBytes < 0 || numPointers < 0 || numPointers > (headerSize - kHeaderFixed) / 4) return kQT_AtomCountErr;
  std::vector<SInt32> offsets(static_cast<size_t>(numPointers));
  for (SInt32 i = 0; i < numPointers; ++i) {
    offsets[size_t(i)] = SInt32(PL_GetBE32(h + kHeaderFixed + 4 * i));
    if (offsets[size_t(i)] < 0 || SInt64(offsets[size_t(i)]) + SInt64(sizeof(QTA_StructPtr)) > numBytes)
      return kQT_AtomTableErr;
  }
  SInt32 dataSize = 0;
  Ptr data = nullptr;
  err = QTA_GetTIAtomDataPtr(container, atom, kQTA_StructDataAtom, 1, &dataSize, &data);
  if (err == cannotFindAtomErr && numBytes == 0) err = noErr;  // an empty record has no 'SCFL'
  if (err != noErr) return err;
  if (dataSize != numBytes) return kQT_AtomTableErr;

  QTA_StructPtr record = nullptr;
  err = QTA_NewStruct(numBytes, numPointers, &record);
  if (err != noErr) return err;
  if (numBytes > 0) std::memcpy(record->bytes, data, size_t(numBytes));
  for (SInt32 i = 0; i < numPointers; ++i) {
    record->pointerOffsets[i] = offsets[size_t(i)];
    std::memset(record->bytes + offsets[size_t(i)], 0, sizeof(QTA_StructPtr));
  }
  for (SInt32 i = 0; err == noErr && i < numPointers; ++i) {
    QTAtom child = QTFindChildByID(container, atom, type, i + 1, nullptr);
    if (child == 0) continue;
    QTA_StructPtr nested = nullptr;
    err = RebuildStruct(container, child, type, depth + 1, &nested);
    if (err == noErr) std::memcpy(record->bytes + offsets[size_t(i)], &nested, sizeof(nested));
  }
  if (err != noErr) {
    QTA_DisposeStruct(record);
    return err;
  }
  *out = record;
  return noErr;
}

}  // namespace

OSStatus QTA_NewStruct(SInt32 numBytes, SInt32 numPointers, QTA_StructPtr *record) {
  if (record == nullptr) return paramErr;
  *record = nullptr;
  if (numBytes < 0 || numPointers < 0 || numPointers > 0x00FFFFFF) return paramErr;
  auto *r = reinterpret_cast<QTA_StructPtr>(NewPtrClear(sizeof(QTA_Struct)));
  if (r == nullptr) return MemError();
  r->numBytes = numBytes;
  r->numPointers = numPointers;
  Ptr offsets = nullptr;
  OSStatus err = AllocatePtr(Size(numBytes), &r->bytes);
  if (err == noErr) err = AllocatePtr(Size(sizeof(SInt32)) * numPointers, &offsets);
  r->pointerOffsets = reinterpret_cast<SInt32 *>(offsets);
  if (err != noErr) {
    QTA_DisposeStruct(r);
    return err;
  }
  *record = r;
  return noErr;
}

void QTA_DisposeStruct(QTA_StructPtr record) {
  if (record == nullptr) return;
  // Nested records first, iteratively over the depth a well-formed record can have.
  if (record->bytes != nullptr && record->pointerOffsets != nullptr && LayoutHolds(record)) {
    for (SInt32 i = 0; i < record->numPointers; ++i) QTA_DisposeStruct(PointerField(record, i));
  }
  if (record->bytes != nullptr) DisposePtr(record->bytes);
  if (record->pointerOffsets != nullptr) DisposePtr(reinterpret_cast<Ptr>(record->pointerOffsets));
  DisposePtr(reinterpret_cast<Ptr>(record));
}

OSStatus QTA_GetUniqueAtomIdentity(QTAtomContainer container, QTAtom parent, QTAtomType type, QTAtomID *atomID) {
  if (atomID == nullptr) return paramErr;
  OSStatus err = PL_CheckAtomContainer(container);
  if (err != noErr) return err;
  QTAtomID largest = 0;
  SInt16 count = QTCountChildrenOfType(container, parent, type);
  for (SInt16 i = 1; i <= count; ++i) {
    QTAtomID id = 0;
    if (QTFindChildByIndex(container, parent, type, i, &id) != 0 && id > largest) largest = id;
  }
  if (largest == 0x7FFFFFFF) return duplicateAtomTypeAndIDErr;
  *atomID = largest + 1;
  return noErr;
}

OSStatus QTA_QTInsertStructAtom(QTAtomContainer container, QTAtom parent, QTAtomType type, SInt32 size,
                                const void *record, QTAtom *childAtom, QTAtomID *atomID) {
  if (atomID == nullptr || size < 0 || (size > 0 && record == nullptr)) return paramErr;
  if (childAtom != nullptr) *childAtom = 0;
  QTAtomID fresh = 0;
  OSStatus err = QTA_GetUniqueAtomIdentity(container, parent, type, &fresh);
  if (err != noErr) return err;
  QTAtomID id = *atomID != 0 ? *atomID : fresh;
  QTAtom atom = 0;
  err = QTInsertChild(container, parent, type, id, 0, 0, nullptr, &atom);
  if (err == noErr && size > 0) err = QTInsertChild(container, atom, kQTA_StructDataAtom, 1, 1, size, record, nullptr);
  if (err != noErr) return err;
  // The identifier the child has, so the caller can find it again.
  *atomID = id;
  if (childAtom != nullptr) *childAtom = atom;
  return noErr;
}

OSStatus QTA_StructToAtom(QTAtomContainer container, QTAtom parent, QTAtomType type, QTA_StructPtr *record,
                          Boolean disposing) {
  if (record == nullptr || *record == nullptr) return paramErr;
  OSStatus err = StoreStruct(container, parent, type, 0, *record, 0);
  if (disposing) {
    QTA_DisposeStruct(*record);
    *record = nullptr;
  }
  return err;
}

OSStatus QTA_AtomToStruct(QTAtomContainer container, QTAtom atom, QTAtomType type, QTA_StructPtr *record) {
  if (record == nullptr) return paramErr;
  return RebuildStruct(container, atom, type, 0, record);
}

OSStatus QTA_GetTIAtomFields(QTAtomContainer container, QTAtom parent, QTAtomType type, SInt16 index, QTAtom *atom,
                             QTAtomID *atomID) {
  OSStatus err = PL_CheckAtomContainer(container);
  if (err != noErr) return err;
  QTAtomID id = 0;
  QTAtom found = QTFindChildByIndex(container, parent, type, index, &id);
  if (found == 0) return cannotFindAtomErr;
  if (atom != nullptr) *atom = found;
  if (atomID != nullptr) *atomID = id;
  return noErr;
}

OSStatus QTA_GetTIAtomDataPtr(QTAtomContainer container, QTAtom parent, QTAtomType type, SInt16 index,
                              SInt32 *dataSize, Ptr *atomData) {
  QTAtom atom = 0;
  OSStatus err = QTA_GetTIAtomFields(container, parent, type, index, &atom, nullptr);
  if (err != noErr) return err;
  return QTGetAtomDataPtr(container, atom, dataSize, atomData);
}

OSStatus QTA_SetTIAtomData(QTAtomContainer container, QTAtom parent, QTAtomType type, SInt16 index, SInt32 dataSize,
                           const void *atomData) {
  QTAtom atom = 0;
  OSStatus err = QTA_GetTIAtomFields(container, parent, type, index, &atom, nullptr);
  if (err != noErr) return err;
  return QTSetAtomData(container, atom, dataSize, atomData);
}

// ---- File regions ----

OSStatus QTA_GetOffsetAndNumBytes(QTAtomContainer container, QTAtom atom, UInt32 *offset, UInt32 *numBytes) {
  QTAtomType type = 0;
  OSStatus err = QTGetAtomTypeAndID(container, atom, &type, nullptr);
  if (err != noErr) return err;
  if (type != kQTA_FileRegionAtom) return paramErr;
  SInt32 size = 0;
  Ptr data = nullptr;
  err = QTGetAtomDataPtr(container, atom, &size, &data);
  if (err != noErr) return err;
  if (size < 8) return kQT_AtomErr;
  const UInt8 *bytes = reinterpret_cast<const UInt8 *>(data);
  if (offset != nullptr) *offset = PL_GetBE32(bytes);
  if (numBytes != nullptr) *numBytes = PL_GetBE32(bytes + 4);
  return noErr;
}

OSStatus QTA_CopyReferencedAtomDataToPtr(QTAtomContainer container, QTAtom atom, Boolean sizeOrLessOK, SInt32 size,
                                         void *targetPtr, SInt32 *numBytes, SInt32 *bytesAvailable,
                                         const FSRef *file) {
  if (numBytes != nullptr) *numBytes = 0;
  if (size < 0) return paramErr;
  UInt32 offset = 0, length = 0;
  OSStatus err = QTA_GetOffsetAndNumBytes(container, atom, &offset, &length);
  if (err != noErr) return err;
  if (bytesAvailable != nullptr) *bytesAvailable = SInt32(std::min<UInt32>(length, 0x7FFFFFFF));
  if (size == 0) return noErr;
  if (targetPtr == nullptr || file == nullptr) return paramErr;
  if (length < UInt32(size) && !sizeOrLessOK) return kQT_AtomErr;
  // Never more than the caller's buffer holds, whatever the region says.
  ByteCount wanted = std::min<UInt32>(length, UInt32(size));
  if (wanted == 0) return noErr;
  FSIORefNum fork = 0;
  err = FSOpenFork(file, 0, nullptr, fsRdPerm, &fork);
  if (err != noErr) return err;
  ByteCount got = 0;
  err = FSReadFork(fork, fsFromStart | noCacheMask, SInt64(offset), wanted, targetPtr, &got);
  OSStatus closeErr = FSCloseFork(fork);
  if (numBytes != nullptr) *numBytes = SInt32(got);
  return err != noErr ? err : closeErr;
}

namespace {

std::string TypeText(OSType type) {
  char text[5];
  for (int i = 0; i < 4; ++i) {
    char c = char((type >> (24 - 8 * i)) & 0xFF);
    text[i] = std::isprint(static_cast<unsigned char>(c)) ? c : '.';
  }
  text[4] = 0;
  return text;
}

void Walk(QTAtomContainer container, QTAtom parent, SInt32 level, Boolean printData) {
  if (level > kQTA_MaxStructDepth) return;
  std::string indent(size_t(2 * std::max<SInt32>(level, 0)), ' ');
  for (QTAtomType type = QTGetNextChildType(container, parent, 0); type != 0;
       type = QTGetNextChildType(container, parent, type)) {
    SInt16 count = QTCountChildrenOfType(container, parent, type);
    for (SInt16 i = 1; i <= count; ++i) {
      QTAtomID id = 0;
      QTAtom child = QTFindChildByIndex(container, parent, type, i, &id);
      if (child == 0) continue;
      std::string typeText = TypeText(type);
      if (QTCountChildrenOfType(container, child, 0) > 0) {
        std::printf("%slevel = %ld, nextChild: type = '%s', id = %ld\n", indent.c_str(), long(level), typeText.c_str(),
                    long(id));
        Walk(container, child, level + 1, printData);
        continue;
      }
      std::printf("%sAtom of type '%s', id %lu at level %ld is a leaf\n", indent.c_str(), typeText.c_str(),
                  (unsigned long)UInt32(id), long(level));
      SInt32 size = 0;
      Ptr data = nullptr;
      if (printData && QTGetAtomDataPtr(container, child, &size, &data) == noErr) {
        std::string text(data, data + std::min<SInt32>(size, 256));
        for (char &c : text)
          if (!std::isprint(static_cast<unsigned char>(c))) c = '.';
        std::printf("%sdata: %s\n", indent.c_str(), text.c_str());
      }
    }
  }
}

}  // namespace

OSStatus QTA_WalkAllAtomsInContainer(QTAtomContainer container, QTAtom parent, SInt32 level, Boolean printData) {
  OSStatus err = PL_CheckAtomContainer(container);
  if (err != noErr) return err;
  if (level == 0) std::printf("\n\nPrinting contents of atom container %p\n\n", static_cast<void *>(container));
  Walk(container, parent, level, printData);
  std::fflush(stdout);
  return noErr;
}

// ---- Movies that play ----

OSStatus QT_GetMCPlayRate(MovieController controller, Fixed *rate) {
  if (controller == nullptr || rate == nullptr) return paramErr;
  return MCDoAction(controller, mcActionGetPlayRate, rate);
}

OSStatus QT_SetMCPlayRate(MovieController controller, Fixed rate) {
  if (controller == nullptr) return paramErr;
  return MCDoAction(controller, mcActionPlay, reinterpret_cast<void *>(intptr_t(rate)));
}

OSStatus QT_GetMCTimeValue(MovieController controller, SInt16 action, TimeValue *time) {
  if (controller == nullptr || time == nullptr) return paramErr;
  TimeRecord record{};
  OSStatus err = MCDoAction(controller, action, &record);
  if (err == noErr) *time = TimeValue((SInt64(record.value.hi) << 32) | record.value.lo);
  return err;
}

namespace {

// A time record of the controller's movie.
TimeRecord MovieTimeRecord(MovieController controller, TimeValue time) {
  Movie movie = MCGetMovie(controller);
  TimeRecord record{};
  record.value.hi = time < 0 ? -1 : 0;
  record.value.lo = UInt32(time);
  record.scale = GetMovieTimeScale(movie);
  record.base = GetMovieTimeBase(movie);
  return record;
}

}  // namespace

OSStatus QT_SetMCTimeValue(MovieController controller, TimeValue time) {
  if (controller == nullptr) return paramErr;
  TimeRecord record = MovieTimeRecord(controller, time);
  return MCDoAction(controller, mcActionGoToTime, &record);
}

OSStatus QT_SetMCSelection(MovieController controller, TimeValue time, TimeValue duration) {
  if (controller == nullptr) return paramErr;
  TimeRecord begin = MovieTimeRecord(controller, time);
  OSStatus err = MCDoAction(controller, mcActionSetSelectionBegin, &begin);
  if (err != noErr) return err;
  TimeRecord length = MovieTimeRecord(controller, duration);
  return MCDoAction(controller, mcActionSetSelectionDuration, &length);
}

namespace {

// Saves the enabled states of the movie's sound tracks once (a later save keeps the first, which is the
// state the user left) and the controller's rate.
OSStatus SaveSoundState(QT_MoviePlaybackData *data) {
  QT_MovieSavedState &saved = data->savedState;
  saved.movie = data->movie;
  if (data->controller != nullptr) QT_GetMCPlayRate(data->controller, &saved.rate);
  if (saved.firstEnabledState != nullptr) return noErr;
  for (SInt32 i = 1;; ++i) {
    Track track = GetMovieIndTrackType(data->movie, i, SoundMediaType, movieTrackMediaType);
    if (track == nullptr) break;
    QT_TrackEnabledStateLE *state = nullptr;
    OSStatus err = LL_AddNewPtr(sizeof(QT_TrackEnabledStateLE), nullptr, &saved.firstEnabledState, &state);
    if (err != noErr) return err;
    state->track = track;
    state->enabled = GetTrackEnabled(track);
  }
  return noErr;
}

// Restores the saved sound tracks and frees the saved list.
OSStatus RestoreSoundState(QT_MoviePlaybackData *data) {
  QT_MovieSavedState &saved = data->savedState;
  OSStatus err = noErr;
  if (saved.firstEnabledState != nullptr) {
    err = QT_RestoreAllTracksEnabledState(data->movie, saved.firstEnabledState, SoundMediaType, movieTrackMediaType);
    LL_DisposeLinkedList(&saved.firstEnabledState);
  }
  return err;
}

void SetSoundEnabled(Movie movie, Boolean enabled) {
  for (SInt32 i = 1;; ++i) {
    Track track = GetMovieIndTrackType(movie, i, SoundMediaType, movieTrackMediaType);
    if (track == nullptr) break;
    SetTrackEnabled(track, enabled);
  }
}

}  // namespace

// Going behind (appSwitchedIn false): each movie's sound states and rate are saved; the front movie (the
// head of the list) keeps playing with playOneMovieInBackground or playAllMovies, any other only with
// playAllMovies; a movie that stops gets rate 0 and silent sound tracks, and so does every movie but the
// front one under playOnlyFrontMovieSound. Coming to the front: the saved sound states and rates return.
OSStatus QT_ActivateMovies(QT_PlayMovieSett *playSett, QT_MovieDataLE **movieList) {
  if (playSett == nullptr || movieList == nullptr) return paramErr;
  OSStatus first = noErr;
  auto keep = [&first](OSStatus err) {
    if (first == noErr) first = err;
  };
  bool front = true;
  for (QT_MovieDataLE *e = *movieList; e != nullptr; e = e->next, front = false) {
    QT_MoviePlaybackData &data = e->data;
    if (data.movie == nullptr) continue;
    if (playSett->appSwitchedIn) {
      keep(RestoreSoundState(&data));
      if (data.controller != nullptr && data.savedState.rate != 0)
        keep(QT_SetMCPlayRate(data.controller, data.savedState.rate));
      data.savedState.rate = 0;
      continue;
    }
    keep(SaveSoundState(&data));
    const bool plays = playSett->playAllMovies || (front && playSett->playOneMovieInBackground);
    if (!plays) {
      if (data.controller != nullptr) keep(QT_SetMCPlayRate(data.controller, 0));
      SetSoundEnabled(data.movie, false);
    } else if (playSett->playOnlyFrontMovieSound && !front) {
      SetSoundEnabled(data.movie, false);
    }
  }
  return first;
}

// The movie moves to the front of the list; under playOnlyFrontMovieSound it alone has its sound (its
// saved states come back), the others are silenced with their states saved.
OSStatus QT_ActivateMovie(QT_PlayMovieSett *playSett, QT_MovieDataLE **movieList, Movie movie) {
  if (playSett == nullptr || movieList == nullptr || movie == nullptr) return paramErr;
  QT_MovieDataLE *found = nullptr;
  for (QT_MovieDataLE *e = *movieList; e != nullptr && found == nullptr; e = e->next)
    if (e->data.movie == movie) found = e;
  if (found == nullptr) return paramErr;
  LL_MovePtrToFront(movieList, found);
  if (!playSett->playOnlyFrontMovieSound) return noErr;
  OSStatus first = RestoreSoundState(&found->data);
  for (QT_MovieDataLE *e = *movieList; e != nullptr; e = e->next) {
    if (e == found || e->data.movie == nullptr) continue;
    if (OSStatus err = SaveSoundState(&e->data); err != noErr && first == noErr) first = err;
    SetSoundEnabled(e->data.movie, false);
  }
  return first;
}

OSStatus QT_AttachMovieToDialogItem(Movie movie, MovieController controller, void *dialog, SInt16 itemIndex,
                                    Point topLeft) {
  if (movie == nullptr || controller == nullptr || dialog == nullptr || itemIndex < 1) return paramErr;
  if (MCGetMovie(controller) != movie) return paramErr;
  ControlRef item = nullptr;
  OSStatus err = GetIndexedSubControl(HIViewGetRoot(static_cast<WindowRef>(dialog)), UInt16(itemIndex), &item);
  if (err != noErr) return err;
  Rect bounds{};
  GetControlBounds(item, &bounds);
  OffsetRect(&bounds, SInt16(topLeft.h - bounds.left), SInt16(topLeft.v - bounds.top));
  if ((err = MCSetControllerAttached(controller, true)) != noErr) return err;
  if ((err = MCSetVisible(controller, true)) != noErr) return err;
  if ((err = MCSetControllerBoundsRect(controller, &bounds)) != noErr) return err;
  RgnHandle clip = NewRgn();
  if (clip == nullptr) return memFullErr;
  RectRgn(clip, &bounds);
  err = MCSetClip(controller, clip, nullptr);
  DisposeRgn(clip);
  return err;
}

MovieController QT_GetFirstPlayingMovie(QT_MC_LE *firstController) {
  for (QT_MC_LE *e = firstController; e != nullptr; e = e->next) {
    Fixed rate = 0;
    if (QT_GetMCPlayRate(e->controller, &rate) == noErr && rate != 0) return e->controller;
  }
  return nullptr;
}

QT_MC_LE *QT_FindMC_LE(QT_MC_LE *firstController, MovieController controller) {
  for (QT_MC_LE *e = firstController; e != nullptr; e = e->next)
    if (e->controller == controller) return e;
  return nullptr;
}

namespace {

// Samples of the first enabled video track: its media duration over the duration per sample.
OSStatus VideoSampleCount(Movie movie, TimeValue durationPerSample, SInt64 *count) {
  Track track = GetMovieIndTrackType(movie, 1, VideoMediaType, 1 | 4);
  Media media = track != nullptr ? GetTrackMedia(track) : nullptr;
  if (media == nullptr) return kQT_NoVideoTrackErr;
  *count = SInt64(GetMediaDuration(media)) / durationPerSample;
  return noErr;
}

}  // namespace

OSStatus QT_SelectMovieSamples(Movie movie, Movie movie2, SInt32 greatestCount, SInt32 sampleNums[100],
                               TimeValue durationPerSample, SInt32 *count) {
  if (movie == nullptr || sampleNums == nullptr || count == nullptr || durationPerSample <= 0) return paramErr;
  SInt64 n = 0;
  OSStatus err = VideoSampleCount(movie, durationPerSample, &n);
  if (err != noErr) return err;
  if (movie2 != nullptr) {
    SInt64 n2 = 0;
    err = VideoSampleCount(movie2, durationPerSample, &n2);
    if (err != noErr) return err;
    if (n2 != 0) n = std::min(n, n2);
  }
  n = std::min<SInt64>(n, std::max<SInt32>(greatestCount, 0));
  if (n > 100) {
    for (SInt64 i = 0; i < 100; ++i) sampleNums[i] = SInt32(n * i / 100 + 1);
    *count = 100;
  } else {
    for (SInt32 i = 0; i < 100; ++i) sampleNums[i] = i + 1;
    *count = SInt32(n);
  }
  return noErr;
}

OSStatus QT_GetMovieProcessRate(const QT_MovieProcessDurationInfo *info1, const QT_MovieProcessDurationInfo *info2,
                                QT_MovieProcessRate *rate) {
  if (info1 == nullptr || info2 == nullptr || rate == nullptr) return paramErr;
  SInt64 time = SInt64(info2->duration) - info1->duration;
  SInt64 samples = SInt64(info2->numSamples) - info1->numSamples;
  SInt64 megabytes = SInt64(info2->sizeMB) - info1->sizeMB;
  auto ratio = [](SInt64 a, SInt64 b) {
    double r = double(a) / double(b) * 65536.0;
    return Fixed(std::clamp(r, -2147483648.0, 2147483647.0));
  };
  Fixed perSample = samples != 0 ? ratio(time, samples) : rate->timePerSample;
  Fixed perMB = megabytes != 0 ? ratio(time, megabytes) : rate->timePerMB;
  if (perSample < 0 || perMB < 0) return paramErr;
  rate->timePerSample = perSample;
  rate->timePerMB = perMB;
  return noErr;
}

OSErr QT_MovieProgressProcPtr_1(Movie, SInt16 message, SInt16, Fixed percentDone, SRefCon refcon) {
  auto *info = static_cast<QT_ProgressInfo *>(refcon);
  UnsignedWide now;
  Microseconds(&now);
  UInt64 micros = (UInt64(now.hi) << 32) | now.lo;
  switch (message) {
    case movieProgressOpen:
      std::printf("Started (possibly long) movie operation\n");
      if (info != nullptr) {
        info->startTime = micros;
        info->expectedDuration = -1;  // no estimate yet
        info->printed = false;
      }
      break;
    case movieProgressUpdatePercent: {
      if (info == nullptr || info->printed || percentDone <= 0) break;
      double seconds = double(micros - info->startTime) / 1e6;
      double estimate = seconds / (double(percentDone) / 65536.0);
      SInt32 previous = info->expectedDuration;
      info->expectedDuration = SInt32(std::min(estimate, 2147483647.0));
      // Settled when two estimates in a row agree within 10 % (or in whole seconds).
      bool settled = previous >= 0 && (info->expectedDuration == previous ||
                                       (previous > 0 && estimate / previous < 1.1 && estimate / previous > 0.9));
      if (settled) {
        if (info->expectedDuration < 60)
          std::printf("Expected duration %ld sec.\n", long(info->expectedDuration));
        else
          std::printf("Expected duration %ld min.\n", long(info->expectedDuration / 60));
        info->printed = true;
      }
      break;
    }
    case movieProgressClose:
      std::printf("Finished movie operation.\n");
      break;
    default:
      break;
  }
  std::fflush(stdout);
  return noErr;
}
