// Movie importers.
#include "platform/movie/importers.h"

#include "platform/core/files.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/sound_files.h"

#include <cmath>
#include <string>

namespace {

struct ImporterInstance {
  MovieProgressUPP progress;
  SRefCon progressRefCon;
};

OSErr Open(const void *, void **storage) {
  *storage = new ImporterInstance{nullptr, nullptr};
  return noErr;
}

void Close(void *storage) { delete static_cast<ImporterInstance *>(storage); }

const PL_ComponentFuncs kFuncs = {Open, Close, nullptr, 0, nullptr, nullptr, nullptr};
const int kAIFFImporter = 0;  // its address is the refCon that marks our instances

ImporterInstance *InstanceOf(MovieImportComponent ci) {
  if (PL_GetComponentRefCon(PL_GetComponentOfInstance(ci)) != &kAIFFImporter) return nullptr;
  return static_cast<ImporterInstance *>(PL_GetComponentInstanceStorage(ci, MovieImportType));
}

// The header of the AIFF file at the path.
OSErr ReadHeader(const std::string &path, PL_AIFFInfo *info) {
  FSRef ref{};
  OSErr err = OSErr(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr));
  FSIORefNum fork = 0;
  if (err == noErr) err = FSOpenFork(&ref, 0, nullptr, fsRdPerm, &fork);
  if (err != noErr) return err;
  err = OSErr(PL_ReadAIFFHeader(fork, info));
  FSCloseFork(fork);
  return err;
}

// A new sound track from atTime whose media refers to the file's samples; nothing is left behind on failure.
OSErr ImportAIFF(Handle dataRef, OSType dataRefType, const PL_AIFFInfo &info, Movie movie, TimeValue atTime,
                 Track *newTrack) {
  // Plain AIFF is big-endian two's complement; AIFF-C names its format.
  OSType format = info.compression == 'NONE' ? 'twos' : info.compression;
  if (info.sampleSize > 16 && format == 'twos') format = info.sampleSize == 24 ? 'in24' : 'in32';
  if (!(info.sampleRate >= 1 && info.sampleRate <= 65535)) return kPL_AIFFFormatErr;
  const size_t frameBytes = size_t(info.numChannels) * size_t((info.sampleSize + 7) / 8);
  const UInt64 frames = frameBytes > 0 ? info.dataSize / frameBytes : 0;
  if (frames == 0 || frames > 0x7FFFFFFF || frames * frameBytes > 0xFFFFFFFFu) return kPL_AIFFFormatErr;
  const TimeScale scale = TimeScale(std::lround(info.sampleRate));
  Track track = NewMovieTrack(movie, 0, 0, 0x100);
  Media media = track != nullptr ? NewTrackMedia(track, SoundMediaType, scale, dataRef, dataRefType) : nullptr;
  OSErr err = GetMoviesError();
  if (err == noErr && media == nullptr) err = invalidMedia;
  Handle desc = err == noErr ? NewHandleClear(sizeof(SoundDescription)) : nullptr;
  if (err == noErr && desc == nullptr) err = memFullErr;
  if (err == noErr) {
    SoundDescription &d = *reinterpret_cast<SoundDescription *>(*desc);
    d.descSize = sizeof(SoundDescription);
    d.dataFormat = format;
    d.dataRefIndex = 1;
    d.numChannels = info.numChannels;
    d.sampleSize = info.sampleSize;
    d.sampleRate = UInt32(std::lround(info.sampleRate * 65536.0));
    SampleReference64Record record{info.dataOffset, UInt32(frames * frameBytes), 1, UInt32(frames), 0};
    err = AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &record, nullptr);
  }
  if (err == noErr) err = InsertMediaIntoTrack(track, atTime, 0, GetMediaDuration(media), fixed1);
  if (desc != nullptr) DisposeHandle(desc);
  if (err != noErr) {
    if (track != nullptr) DisposeMovieTrack(track);
    return err;
  }
  *newTrack = track;
  return noErr;
}

}  // namespace

void PL_RegisterMovieImporters() {
  PL_ComponentDefinition definition{
      {MovieImportType, 'AIFF', 'soun', canMovieImportFiles, 0}, "AIFF", "AIFF", &kFuncs, &kAIFFImporter};
  PL_RegisterComponent(&definition, nullptr);
}

ComponentResult MovieImportSetProgressProc(MovieImportComponent ci, MovieProgressUPP proc, SRefCon refcon) {
  ImporterInstance *importer = InstanceOf(ci);
  if (importer == nullptr) return badComponentInstance;
  importer->progress = proc;
  importer->progressRefCon = refcon;
  return noErr;
}

ComponentResult MovieImportDataRef(MovieImportComponent ci, Handle dataRef, OSType dataRefType, Movie theMovie,
                                   Track targetTrack, Track *usedTrack, TimeValue atTime, TimeValue *addedDuration,
                                   SInt32 inFlags, SInt32 *outFlags) {
  (void)targetTrack;
  if (usedTrack != nullptr) *usedTrack = nullptr;
  if (addedDuration != nullptr) *addedDuration = 0;
  if (outFlags != nullptr) *outFlags = 0;
  ImporterInstance *importer = InstanceOf(ci);
  if (importer == nullptr) return badComponentInstance;
  if (theMovie == nullptr) return invalidMovie;
  // Adding to an existing track is not offered: only new tracks are made.
  if ((inFlags & movieImportCreateTrack) == 0 || atTime < 0) return paramErr;
  std::string path;
  OSErr err = PL_DataReferenceToPath(dataRef, dataRefType, &path);
  MovieProgressUPP progress = importer->progress;
  const SRefCon refCon = importer->progressRefCon;
  if (err == noErr && progress != nullptr)
    err = progress(theMovie, movieProgressOpen, progressOpImportMovie, 0, refCon);
  PL_AIFFInfo info{};
  if (err == noErr) err = ReadHeader(path, &info);
  Track track = nullptr;
  if (err == noErr) err = ImportAIFF(dataRef, dataRefType, info, theMovie, atTime, &track);
  if (err == noErr && progress != nullptr) {
    err = progress(theMovie, movieProgressUpdatePercent, progressOpImportMovie, fixed1, refCon);
    if (err != noErr) {
      DisposeMovieTrack(track);
      track = nullptr;
    }
  }
  if (progress != nullptr) progress(theMovie, movieProgressClose, progressOpImportMovie, fixed1, refCon);
  if (err != noErr) return err;
  if (usedTrack != nullptr) *usedTrack = track;
  if (addedDuration != nullptr) *addedDuration = GetTrackDuration(track) - atTime;
  return noErr;
}
