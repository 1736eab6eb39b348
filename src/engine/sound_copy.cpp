// Sound copy into the cleaned movie (main thread).
#include "engine/sound_copy.h"

#include "engine/runtime/engine_host.h"
#include "general/file_layer.h"
#include "general/memory_lists.h"
#include "general/unicode_strings.h"
#include "movie/aiff_export_import.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "movie/track_copying.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/event_loop.h"
#include "platform/core/fixed_math.h"
#include "platform/core/formatter.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/components.h"
#include "platform/movie/exporters.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

OSType FirstDataFormat(Track track) {
  Handle desc = NewHandle(0);
  if (desc == nullptr) return 0;
  GetMediaSampleDescription(GetTrackMedia(track), 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  OSType format = 0;
  if (GetMoviesError() == noErr && GetHandleSize(desc) >= Size(sizeof(SampleDescription)))
    format = reinterpret_cast<SampleDescription *>(*desc)->dataFormat;
  DisposeHandle(desc);
  return format;
}

// Copies one track of the list that is not a picture track; its error is shown by the caller.
OSStatus CopyOneTrack(BZ_ProjPtr project, QT_TrackLE *first, QT_TrackLE *le, Track srcImageTrack, Track trgtImageTrack,
                      Movie trgtMovie) {
  const FSRef *targetFile = &project->info.targetFileData[0].fileRef;
  const Boolean exported = project->info.settings.output.export_;
  OSStatus err = noErr;
  if (le->mediaType == TextMediaType || le->mediaType == TimeCodeMediaType) {
    err = QT_CopyTrack(le->track, trgtMovie, targetFile, true, &le->copy);
    if (err != noErr) {
      std::printf("BZ_CopySound: error from QT_CopyTrack = %ld\n", long(err));
      return err;
    }
    if (le->isRefTrack && trgtImageTrack != nullptr) {
      QT_TrackLE *referencing = QT_FindReferencingTrack(first, le);
      if (referencing != nullptr && referencing->track == srcImageTrack)
        err = AddTrackReference(trgtImageTrack, le->copy, le->refType, nullptr);
    }
    return err;
  }
  if (FirstDataFormat(le->track) == 'vdva') {
    project->state.exec = kBZ_ProjStateExportingSound;
    err = BZ_CopyDV_Audio(project, le->track, trgtMovie);
    if (err != noErr) std::printf("BZ_CopySound: error from BZ_CopyDV_Audio = %ld\n", long(err));
    return err;
  }
  if (le->isRefTrack) return noErr;  // comes along with the track that refers to it
  if (exported) {
    err = QT_CopyTrackTotally(le->track, trgtMovie, false, targetFile, &le->copy);
    if (err != noErr) std::printf("BZ_CopySound: error from QT_CopyTrackTotally = %ld\n", long(err));
    return err;
  }
  Media media = GetTrackMedia(le->track);
  TimeValue64 start = 0, duration = 0;
  start = GetMediaDisplayStartTime(media);
  duration = GetMediaDisplayDuration(media);
  SInt64 size = 0;
  err = GetMediaDataSizeTime64(media, start, duration, &size);
  if (err != noErr) {
    std::printf("BZ_CopySound: error from GetMediaDataSizeTime64 = %ld\n", long(err));
    return err;
  }
  project->dynIO_Info.projSize = size;
  err = QT_CopyTrackTotallyWithProgress(le->track, trgtMovie, targetFile, &le->copy, BZ_SoundExportProgressProc, project);
  if (err != noErr) std::printf("BZ_CopySound: error from QT_CopyTrackTotallyWithProgress = %ld\n", long(err));
  return err;
}

}  // namespace

OSStatus BZ_CopySound(BZ_ProjPtr project) {
  if (project == nullptr) return paramErr;
  BZ_ProjInfo &info = project->info;
  BZ_DynMovieInfo &dyn = info.dynMovieInfo;
  Movie sourceMovie = dyn.sourceMovie[0];
  if (sourceMovie == nullptr) return paramErr;
  Track srcImageTrack = QT_GetFirstEnabledImageTrack(sourceMovie);
  // The movie the stages wrote through is done with; the copy works on the saved file's movie.
  QT_DisposeMovie(&dyn.targetMovie[0]);
  dyn.targetTrack[0] = nullptr;
  dyn.targetMedia[0] = nullptr;
  Movie trgtMovie = nullptr;
  OSStatus err = QT_OpenMovieFile(&info.targetFileData[0].fileRef, 0, &trgtMovie);
  if (err != noErr) {
    std::printf("BZ_CopySound: error from QT_OpenMovieFile = %ld\n", long(err));
    return err;
  }
  Track trgtImageTrack = QT_GetFirstEnabledImageTrack(trgtMovie);
  project->state.exec = kBZ_ProjStateCopyingSound;

  // The dialog keeps the source's track list; without one (no dialog) it is made here.
  QT_TrackLE *ownList = nullptr;
  QT_TrackLE *list = info.statMovInfo[0].trackList;
  if (list == nullptr) {
    err = QT_GetTrackList(sourceMovie, &ownList);
    if (err != noErr) {
      QT_DisposeMovie(&trgtMovie);
      return err;
    }
    list = ownList;
  }
  OSStatus firstTrackErr = noErr;
  for (QT_TrackLE *le = list; le != nullptr; le = le->next) {
    Boolean isImage = false;
    OSStatus trackErr = QT_IsImageTrack(le->track, &isImage);
    if (trackErr != noErr) {
      std::printf("BZ_CopySound: error from QT_IsImageTrack = %ld\n", long(trackErr));
      continue;
    }
    if (isImage) continue;
    trackErr = CopyOneTrack(project, list, le, srcImageTrack, trgtImageTrack, trgtMovie);
    if (project->state.exec == kBZ_ProjStateExportingSound) project->state.exec = kBZ_ProjStateCopyingSound;
    // The other tracks are still copied, but a track that failed (a full disk) must not let the run pass for
    // a success: the first such error is the result, shown by the caller; later ones are shown here. A
    // cancel only ends its own track, as before.
    if (trackErr != noErr && trackErr != userCanceledErr && firstTrackErr == noErr)
      firstTrackErr = trackErr;
    else if (trackErr != noErr)
      BZ_ShowEngineError(trackErr);
  }
  if (ownList != nullptr) LL_DisposeLinkedList(&ownList);

  std::printf("BZ_CopySound: calling QT_SaveMovie\n");
  Boolean saved = true;
  err = QT_SaveMovie(trgtMovie, &info.targetFileData[0].fileRef, &saved);
  // The movie goes whatever the save's outcome: nothing else refers to it.
  QT_DisposeMovie(&trgtMovie);
  if (err == noErr) return firstTrackErr;
  if (firstTrackErr != noErr && firstTrackErr != err) BZ_ShowEngineError(firstTrackErr);
  return err;
}

OSStatus BZ_CopyDV_Audio(BZ_ProjPtr project, Track dvaTrack, Movie trgtMovie) {
  if (project == nullptr || dvaTrack == nullptr || trgtMovie == nullptr) return paramErr;
  BZ_ProjInfo &info = project->info;
  Movie srcMovie = GetTrackMovie(dvaTrack);
  // Only the DV sound goes to the exporter, with what it refers to.
  QT_TrackLE *ownList = nullptr;
  QT_TrackLE *list = info.statMovInfo[0].trackList;
  if (list == nullptr) {
    OSStatus err = QT_GetTrackList(srcMovie, &ownList);
    if (err != noErr) return err;
    list = ownList;
  }
  auto restoreTracks = [&]() {
    for (QT_TrackLE *le = list; le != nullptr; le = le->next) SetTrackEnabled(le->track, le->enabled);
  };
  for (QT_TrackLE *le = list; le != nullptr; le = le->next) {
    if (le->track == dvaTrack) {
      SetTrackEnabled(le->track, true);
      continue;
    }
    QT_TrackLE *referencing = le->isRefTrack ? QT_FindReferencingTrack(list, le) : nullptr;
    if (referencing == nullptr || referencing->track != dvaTrack) SetTrackEnabled(le->track, false);
  }

  SInt32 slot = 0;
  while (slot < kBZ_MaxNumFiles && GL_FSRefValid(&info.auxFiles[slot])) ++slot;
  OSStatus err = slot < kBZ_MaxNumFiles ? noErr : OSStatus(tmfoErr);
  if (err == noErr) err = BZ_CreateTempAIFFfile(project, &info.auxFiles[slot]);

  if (err == noErr) {
    MovieExportComponent exporter = nullptr;
    err = OpenADefaultComponent(MovieExportType, kQTFileTypeAIFF, &exporter);
    Handle alias = nullptr;
    OSType aliasType = 0;
    if (err == noErr) err = QTNewDataReferenceFromFSRef(&info.auxFiles[slot], 0, &alias, &aliasType);
    if (err == noErr) {
      project->state.exec = kBZ_ProjStateExportingSound;
      const Boolean wasActive = GetMovieActive(srcMovie);
      if (!wasActive) SetMovieActive(srcMovie, true);
      MovieExportSetProgressProc(exporter, BZ_SoundExportProgressProc, project);
      err = MovieExportToDataRef(exporter, alias, aliasType, srcMovie, nullptr, 0, GetMovieDuration(srcMovie));
      // The exporter replaced the file: find it again by its name.
      std::string path;
      FSRef again{};
      if (PL_DataReferenceToPath(alias, aliasType, &path) == noErr &&
          FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &again, nullptr) == noErr)
        info.auxFiles[slot] = again;
      if (!wasActive) SetMovieActive(srcMovie, false);
      MovieExportSetProgressProc(exporter, nullptr, nullptr);
    }
    if (alias != nullptr) DisposeHandle(alias);
    CloseComponent(exporter);
  }
  if (err == noErr) {
    project->state.exec = kBZ_ProjStateCopyingSound;
    err = BZ_CopyTempAIFFtoOutputMovie(project, &info.auxFiles[slot], trgtMovie);
  }
  // The copied track refers to the temporary file only when the output is exported; else it goes, also after
  // a failure, so that no stray file stays beside the output.
  if (slot < kBZ_MaxNumFiles && !info.settings.output.export_ && GL_FSRefValid(&info.auxFiles[slot])) {
    QT_DeletePotentiallyBusyMovieFile(&info.auxFiles[slot], 10);
    info.auxFiles[slot] = FSRef{};
  }
  restoreTracks();
  if (ownList != nullptr) LL_DisposeLinkedList(&ownList);
  return err;
}

OSStatus BZ_CreateTempAIFFfile(BZ_ProjPtr project, FSRef *auxFile) {
  if (project == nullptr || auxFile == nullptr) return paramErr;
  const FSRef *folder = &project->info.targetFileData[0].parentRef;
  OSStatus err = dupFNErr;
  for (SInt32 counter = 1; err == dupFNErr; ++counter) {
    char name[64];
    if (counter == 1) std::snprintf(name, sizeof name, "Temp AIFF file");
    else std::snprintf(name, sizeof name, "Temp AIFF file %ld", long(counter));
    HFSUniStr255 uniName{};
    err = PL_HFSUniStr255FromUTF8(name, &uniName);
    if (err == noErr) err = GL_CreateFile(folder, &uniName, 'Orl1', 'AIFF', false, auxFile);
    if (counter > 10000 && err == dupFNErr) err = tmfoErr;  // a folder full of them: give up
  }
  if (err != noErr) *auxFile = FSRef{};
  return err;
}

OSStatus BZ_CopyTempAIFFtoOutputMovie(BZ_ProjPtr project, FSRef *tempAiffFile, Movie targetMovie) {
  if (project == nullptr || tempAiffFile == nullptr || targetMovie == nullptr) return paramErr;
  IA_SoundRef soundRef{};
  soundRef.movie = NewMovie(0);
  if (soundRef.movie == nullptr) return GetMoviesError() != noErr ? GetMoviesError() : OSStatus(memFullErr);
  // The imported track's edit is kept in the movie's time: in the target's scale it is copied as it is, where a
  // new movie's 600 units would cut the sound's end short (DV at 29.97 frames a second has no whole number).
  SetMovieTimeScale(soundRef.movie, GetMovieTimeScale(targetMovie));
  OSStatus err = IA_ImportAIFF(tempAiffFile, &soundRef);
  Track soundTrack = err == noErr ? QT_GetFirstEnabledSoundTrack(soundRef.movie) : nullptr;
  if (err == noErr && soundTrack == nullptr) err = noSoundTrackInMovieErr;
  Track copy = nullptr;
  if (err == noErr)
    err = QT_CopyTrack(soundTrack, targetMovie, &project->info.targetFileData[0].fileRef,
                       !project->info.settings.output.export_, &copy);
  DisposeMovie(soundRef.movie);
  return err;
}

OSErr BZ_SoundExportProgressProc(Movie movie, SInt16 message, SInt16 whatOperation, Fixed percentDone, SRefCon refcon) {
  (void)movie;
  (void)whatOperation;
  auto *project = static_cast<BZ_ProjPtr>(refcon);
  if (project == nullptr) return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_DynIO_Info &io = project->dynIO_Info;
  if (PL_IsMainThread()) PL_DispatchPendingEvents(nullptr);
  const BZ_ExecuteState exec = project->state.exec;
  const bool copying = exec == kBZ_ProjStateCopyingSound;
  const bool exporting = exec == kBZ_ProjStateExportingSound;
  switch (message) {
    case movieProgressOpen:
      if (copying) {
        BZ_SetLocalizedProgressText(kBZ_ProgressStateTextItem, CFSTR("BZ Copying sound"));
        io.startProgrTime = io.prevProgrTime = CFAbsoluteTimeGetCurrent();
        io.savedPercentDone = 0;
      } else if (exporting) {
        BZ_SetLocalizedProgressText(kBZ_ProgressStateTextItem, CFSTR("BZ Exporting DV sound"));
      }
      host->setProgressText(host->refCon, kBZ_ProgressRateTextItem, CFSTR(""));
      host->setProgressBarValue(host->refCon, 0);
      break;
    case movieProgressUpdatePercent: {
      if (exec == kBZ_ProjStateCanceled) return userCanceledErr;
      SInt32 value = 0, maximum = 0;
      host->getProgressBar(host->refCon, &value, &maximum);
      const SInt32 newValue =
          SInt32(std::clamp<double>(std::trunc(double(maximum) * Fix2X(percentDone)), 0.0, double(maximum)));
      if (newValue != value) host->setProgressBarValue(host->refCon, newValue);
      const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
      if (copying && now - io.prevProgrTime > 5.0) {
        const SInt64 current = SInt64(Fix2X(percentDone - io.savedPercentDone) * double(io.projSize) / (now - io.prevProgrTime));
        const SInt64 average = SInt64(double(io.projSize) * Fix2X(percentDone) / std::max(1e-9, now - io.startProgrTime));
        CFStringRef currentKey = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("GL current rate"),
                                                             CFSTR("GL current rate"), nullptr);
        CFStringRef averageKey = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("GL average rate"),
                                                             CFSTR("GL average rate"), nullptr);
        CFStringRef currentSize = GL_GetByteSizeString(current);
        CFStringRef averageSize = GL_GetByteSizeString(average);
        CFStringRef text = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@ = %@/sec, %@ = %@/sec"), currentKey,
                                                    currentSize, averageKey, averageSize);
        if (text != nullptr) {
          host->setProgressText(host->refCon, kBZ_ProgressRateTextItem, text);
          CFRelease(text);
        }
        for (CFStringRef s : {currentKey, averageKey, currentSize, averageSize})
          if (s != nullptr) CFRelease(s);
        io.prevProgrTime = now;
        io.savedPercentDone = percentDone;
      }
      break;
    }
    case movieProgressClose:
      if (copying) BZ_SetLocalizedProgressText(kBZ_ProgressStateTextItem, CFSTR("BZ Sound copy finished"));
      else if (exporting) BZ_SetLocalizedProgressText(kBZ_ProgressStateTextItem, CFSTR("BZ Sound export finished"));
      else host->setProgressText(host->refCon, kBZ_ProgressStateTextItem, CFSTR(""));
      break;
    default:
      break;
  }
  return noErr;
}
