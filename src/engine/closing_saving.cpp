// Closing, saving and export of a project (main thread).
#include "engine/closing_saving.h"

#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/working_format.h"
#include "engine/sound_copy.h"
#include "engine/stage_table.h"
#include "engine/tasks/task_runtime.h"
#include "general/file_layer.h"
#include "general/memory_lists.h"
#include "methods/varbr_measuring_stage.h"
#include "movie/codecs.h"
#include "movie/image_descriptions.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "movie/track_geometry.h"
#include "outliers/outlier_stage.h"
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
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <new>

namespace {

void Log(CFStringRef text) {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  host->setProjectMessageInLog(host->refCon, text);
}

CFStringRef CopyLocalized(CFStringRef key) { return CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr); }

// The track's aperture-mode dimensions as the description implies them: encoded pixels its size, production
// aperture its size at the pixel aspect, clean aperture the clean aperture at the pixel aspect.
OSStatus SetApertureDimensionsFromDescription(Track track, Media media, ImageDescriptionHandle desc) {
  if (track == nullptr || desc == nullptr || *desc == nullptr) return paramErr;
  const Rect rect{0, 0, (**desc).height, (**desc).width};
  QT_PaspExt pasp{};
  QT_ClapExt clap{};
  Boolean hasPasp = false, hasClap = false;
  QT_GetPaspData(media, &hasPasp, &pasp);
  QT_GetClapData(media, &hasClap, &clap);
  FixedRect clean{}, prod{};
  QT_CalcFixedApertureRects(&rect, hasPasp ? &pasp : nullptr, hasClap ? &clap : nullptr, &clean, &prod, nullptr);
  OSStatus err = QT_SetTrackEncodedPixelDimensions(track, FixedPoint{Long2Fix(rect.right), Long2Fix(rect.bottom)});
  if (err == noErr) err = QT_SetTrackProductionApertureDimensions(track, FixedPoint{prod.right - prod.left, prod.bottom - prod.top});
  if (err == noErr) err = QT_SetTrackCleanApertureDimensions(track, FixedPoint{clean.right - clean.left, clean.bottom - clean.top});
  return err;
}

// The field information of an interlacing for the target's codec. Motion-JPEG states the field order by
// the fields' order in time (1, 6), every other codec by the first field's lines (9, 14): readers of 'mjpa'
// and 'mjpb' read the other values as the opposite order and put the fields on the wrong lines.
QT_FielExt FieldInfo(const BZ_InputSett &input, CodecType cType) {
  QT_FielExt fiel{};
  fiel.fields = input.interlaced ? 2 : 1;
  fiel.detail = 0;
  if (input.interlaced) QT_SetFieldDetail(cType, input.topFieldFirst, &fiel);
  return fiel;
}

// Description, extensions and geometry of target 0 from the source (its first enabled visual track).
OSStatus CopySourceDescriptionAndGeometry(BZ_ProjPtr project, ImageDescriptionHandle srcDesc) {
  BZ_ProjInfo &info = project->info;
  BZ_DynMovieInfo &dyn = info.dynMovieInfo;
  const BZ_StatMovInfo &src = info.statMovInfo[0];
  Movie sourceMovie = dyn.sourceMovie[0];
  Track srcTrack = QT_GetFirstEnabledVisualTrack(sourceMovie);
  if (srcTrack == nullptr) return invalidTrack;
  ImageDescriptionHandle trgtDesc = dyn.targetDesc[0];
  if (trgtDesc == nullptr) return paramErr;
  GetMediaSampleDescription(GetTrackMedia(srcTrack), 1, reinterpret_cast<SampleDescriptionHandle>(srcDesc));
  OSStatus err = GetMoviesError();
  if (err != noErr) return err;

  QT_FielExt targetFiel{};
  SInt32 fielCount = 0;
  const Boolean targetHadFiel = CountImageDescriptionExtensionType(trgtDesc, kFieldInfoImageDescriptionExtension, &fielCount) == noErr &&
                                fielCount > 0 && QT_GetFieldInfo(trgtDesc, &targetFiel) == noErr;
  if (src.cType != 'mp4v') {
    err = BZ_CopyAllImageDescExts(srcDesc, trgtDesc, true);
    if (err != noErr) return err;
  }
  const BZ_EngineHost *host = BZ_GetEngineHost();
  const BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
  const Boolean interlaceSetByUser = dlgState != nullptr && dlgState->interlaceSetByUser;
  if (src.hasFielExt || interlaceSetByUser || targetHadFiel) {
    const CodecType targetType = (**trgtDesc).cType;
    QT_FielExt fiel = targetHadFiel ? targetFiel : FieldInfo(info.settings.input, targetType);
    if (!targetHadFiel && !interlaceSetByUser) {
      BZ_InputSett fromSource{};
      fromSource.interlaced = src.interlaced;
      fromSource.topFieldFirst = src.topFieldFirst;
      fiel = FieldInfo(fromSource, targetType);
    }
    err = QT_AddFielExtension(trgtDesc, &fiel);
    if (err != noErr) return err;
  }
  err = SetMediaSampleDescription(dyn.targetMedia[0], 1, reinterpret_cast<SampleDescriptionHandle>(trgtDesc));
  if (err != noErr) return err;

  Track trgtTrack = dyn.targetTrack[0];
  MatrixRecord matrix{};
  GetTrackMatrix(srcTrack, &matrix);
  SetTrackMatrix(trgtTrack, &matrix);
  if (RgnHandle clip = GetTrackClipRgn(srcTrack); clip != nullptr) {
    SetTrackClipRgn(trgtTrack, clip);
    DisposeRgn(clip);
  }
  Boolean hasApertureModes = false;
  QT_MovieHasApertureModes(sourceMovie, &hasApertureModes);
  if (hasApertureModes) {
    FixedPoint dims{};
    if (QT_GetTrackProductionApertureDimensions(srcTrack, &dims) == noErr) QT_SetTrackProductionApertureDimensions(trgtTrack, dims);
    if (QT_GetTrackCleanApertureDimensions(srcTrack, &dims) == noErr) QT_SetTrackCleanApertureDimensions(trgtTrack, dims);
    if (QT_GetTrackEncodedPixelDimensions(srcTrack, &dims) == noErr) QT_SetTrackEncodedPixelDimensions(trgtTrack, dims);
  } else {
    Fixed width = 0, height = 0;
    GetTrackDimensions(srcTrack, &width, &height);
    SetTrackDimensions(trgtTrack, width, height);
  }
  return GetMoviesError();
}

// Finishes one target: media into the track, header patched, movie appended, (target 0) description and
// geometry, gamma, saved again.
OSStatus SaveTarget(BZ_ProjPtr project, SInt32 i, ImageDescriptionHandle srcDesc, Boolean cropInMetadata) {
  BZ_ProjInfo &info = project->info;
  BZ_DynMovieInfo &dyn = info.dynMovieInfo;
  Movie movie = dyn.targetMovie[i];
  Media media = dyn.targetMedia[i];
  const FSRef *file = &info.targetFileData[i].fileRef;
  OSStatus err = InsertMediaIntoTrack(dyn.targetTrack[i], 0, 0, GetMediaDuration(media), fixed1);
  if (err != noErr) return err;

  FSIORefNum fork = 0;
  err = GL_OpenDataFork(file, fsRdWrPerm, &fork);
  if (err != noErr) return err;
  err = QT_SetFileSizeInMdatHeader(fork);
  if (err == noErr) err = QT_SaveMovieOverNetwork(movie, fork, file);
  const OSStatus closeErr = FSCloseFork(fork);
  if (err == noErr) err = closeErr;
  if (err != noErr) return err;
  if (i == 0) Log(CFSTR(" saved movie first time."));

  if (i == 0) {
    if (info.statMovInfo[0].numVisualTracks == 1 && dyn.sourceMovie[0] != nullptr) {
      err = CopySourceDescriptionAndGeometry(project, srcDesc);
      if (err != noErr) return err;
    }
    if (dyn.sourceMovie[0] != nullptr) {
      MatrixRecord matrix{};
      GetMovieMatrix(dyn.sourceMovie[0], &matrix);
      SetMovieMatrix(movie, &matrix);
    }
    // A crop that cannot be expressed leaves the pictures as written; the movie is still saved.
    if (cropInMetadata) BZ_ImplementCroppingInMetadata(project, BZ_MasksCropMargins(&info.settings));
  }
  err = BZ_SetTargetGamma(project, media, i);
  if (err != noErr) return err;
  Boolean saved = true;
  err = QT_SaveMovie(movie, file, &saved);
  if (err == noErr && i == 0) Log(CFSTR(" saved movie again."));
  return err;
}

Boolean RectIsZero(const Rect &r) { return r.top == 0 && r.left == 0 && r.bottom == 0 && r.right == 0; }

FixedRect ToFixed(const Rect &r) { return FixedRect{Long2Fix(r.left), Long2Fix(r.top), Long2Fix(r.right), Long2Fix(r.bottom)}; }

Rect ToRect(const FixedRect &r) {
  return Rect{SInt16(Fix2Long(r.top)), SInt16(Fix2Long(r.left)), SInt16(Fix2Long(r.bottom)), SInt16(Fix2Long(r.right))};
}

// Sets the clip of the track to the rectangle, intersected with `with` when given; no clip when empty.
void SetClipRect(Track track, const Rect &rect, RgnHandle with) {
  RgnHandle clip = NewRgn();
  if (clip == nullptr) return;
  RectRgn(clip, &rect);
  if (with != nullptr) SectRgn(clip, with, clip);
  SetTrackClipRgn(track, EmptyRgn(clip) ? nullptr : clip);
  DisposeRgn(clip);
}

// Writes the clean aperture that crops the description's frame to clipF into a fresh copy of target 0's
// description, gives the media and the track's aperture modes that description and keeps it as targetDesc[0].
OSStatus WriteCleanAperture(BZ_ProjPtr project, const FixedRect &rawF, const FixedRect &clipF) {
  BZ_DynMovieInfo &dyn = project->info.dynMovieInfo;
  QT_ClapExt clap{};
  QT_FixedClipToClap(&rawF, &clipF, &clap);
  Handle copy = reinterpret_cast<Handle>(dyn.targetDesc[0]);
  OSStatus err = HandToHand(&copy);
  if (err != noErr) return err;
  auto newDesc = reinterpret_cast<ImageDescriptionHandle>(copy);
  err = QT_SetClapInImageDesc(newDesc, &clap);
  if (err == noErr) err = QT_CheckPaspAndClapForOverflow(newDesc);
  if (err == noErr) err = SetMediaSampleDescription(dyn.targetMedia[0], 1, reinterpret_cast<SampleDescriptionHandle>(newDesc));
  if (err == noErr) err = SetApertureDimensionsFromDescription(dyn.targetTrack[0], dyn.targetMedia[0], newDesc);
  if (err != noErr) {
    DisposeHandle(copy);
    return err;
  }
  DisposeHandle(reinterpret_cast<Handle>(dyn.targetDesc[0]));
  dyn.targetDesc[0] = newDesc;
  return noErr;
}

}  // namespace

// ---- Saving ----

OSStatus BZ_SaveTargetMovies(BZ_ProjPtr project) {
  if (project == nullptr) return paramErr;
  Handle srcDesc = NewHandle(0);
  if (srcDesc == nullptr) return memFullErr;
  const BZ_AppPrefs prefs = BZ_GetEngineAppPrefs();
  const BZ_InputSett &input = project->info.settings.input;
  const Boolean cropInMetadata = input.cropping && !RectIsZero(input.cropRect);
  OSStatus err = noErr;
  for (SInt32 i = 0; i < kBZ_MaxNumFiles && err == noErr; ++i) {
    if (project->info.dynMovieInfo.targetMovie[i] == nullptr) continue;
    err = SaveTarget(project, i, reinterpret_cast<ImageDescriptionHandle>(srcDesc), cropInMetadata);
  }
  if (err == noErr) {
    std::printf("KBZ: saved video\n");
    if (prefs.copySound) {
      std::printf("KBZ: calling BZ_CopySound\n");
      err = BZ_CopySound(project);
    }
  }
  DisposeHandle(srcDesc);
  return err;
}

OSStatus BZ_ImplementCroppingInMetadata(BZ_ProjPtr project, Boolean maskBlackBars) {
  if (project == nullptr) return paramErr;
  BZ_ProjInfo &info = project->info;
  BZ_DynMovieInfo &dyn = info.dynMovieInfo;
  const BZ_StatMovInfo &src = info.statMovInfo[0];
  Track trgtTrack = dyn.targetTrack[0];
  if (trgtTrack == nullptr || dyn.targetDesc[0] == nullptr) return paramErr;
  const Rect margins = info.settings.input.cropRect;  // top, left, bottom and right margins
  Rect crop{SInt16(margins.top), SInt16(margins.left), SInt16(src.height - margins.bottom), SInt16(src.width - margins.right)};
  if (crop.bottom <= crop.top || crop.right <= crop.left) return paramErr;
  const FixedRect cropF = ToFixed(crop);

  if (src.numVisualTracks != 1) {
    if (maskBlackBars) {
      SetClipRect(trgtTrack, crop, nullptr);
    } else {
      MatrixRecord matrix{};
      SetIdentityMatrix(&matrix);
      TranslateMatrix(&matrix, -Long2Fix(crop.left), -Long2Fix(crop.top));
      SetTrackMatrix(trgtTrack, &matrix);
    }
    return GetMoviesError();
  }

  Track srcTrack = QT_GetFirstEnabledVisualTrack(dyn.sourceMovie[0]);
  if (srcTrack == nullptr) return invalidTrack;
  Boolean hasApertureModes = false;
  OSStatus err = QT_TrackHasApertureModes(srcTrack, &hasApertureModes);
  if (err != noErr) return err;
  MatrixRecord mediaToTrack{};
  QT_GetMediaToTrackMatrix(srcTrack, hasApertureModes, src.hasClapExt, &src.clapExt, src.height, src.width, &mediaToTrack);
  RgnHandle srcClip = GetTrackClipRgn(srcTrack);
  const Boolean clapOrModes = src.hasClapExt || hasApertureModes;
  const ImageDescription &desc = **dyn.targetDesc[0];

  if (!maskBlackBars) {
    if (src.hasOneSimpleVideoTrack && clapOrModes) {
      FixedRect clipF = cropF;
      if (src.hasClapExt) {
        FixedRect scaledF{};
        QT_GetScaledClip(Long2Fix(src.width), Long2Fix(src.height), src.hasPaspExt ? &src.paspExt : nullptr, &src.clapExt,
                         nullptr, &scaledF, true);
        clipF = FixedRect{std::max(scaledF.left, cropF.left), std::max(scaledF.top, cropF.top),
                          std::min(scaledF.right, cropF.right), std::min(scaledF.bottom, cropF.bottom)};
      }
      const Fixed dh = -crop.left * fixed1, dv = -crop.top * fixed1;
      FixedRect movedF{clipF.left + dh, clipF.top + dv, clipF.right + dh, clipF.bottom + dv};
      const FixedRect rawF{0, 0, Long2Fix(desc.width), Long2Fix(desc.height)};
      err = WriteCleanAperture(project, rawF, movedF);
      if (err == noErr) {
        FixedRect transformed = movedF;
        TransformFixedRect(&mediaToTrack, &transformed, nullptr);
        err = QT_ShiftTrackMatrixAndClipF(trgtTrack, -transformed.left, -transformed.top);
      }
    } else {
      FixedRect transformedF = cropF;
      TransformFixedRect(&mediaToTrack, &transformedF, nullptr);
      const Rect transformed = ToRect(transformedF);
      if (srcClip != nullptr) SetClipRect(trgtTrack, transformed, srcClip);
      SetTrackDimensions(trgtTrack, transformedF.right - transformedF.left, transformedF.bottom - transformedF.top);
      err = QT_ShiftTrackMatrixAndClipF(trgtTrack, -transformedF.left, -transformedF.top);
    }
  } else {
    if (!src.hasOneSimpleVideoTrack) {
      FixedRect transformedF = cropF;
      TransformFixedRect(&mediaToTrack, &transformedF, nullptr);
      SetClipRect(trgtTrack, ToRect(transformedF), srcClip);
    } else if (clapOrModes) {
      const FixedRect rawF{0, 0, Long2Fix(src.width), Long2Fix(src.height)};
      err = WriteCleanAperture(project, rawF, cropF);
      if (err == noErr) {
        FixedRect transformed = cropF;
        TransformFixedRect(&mediaToTrack, &transformed, nullptr);
        MatrixRecord matrix{};
        GetTrackMatrix(trgtTrack, &matrix);
        TranslateMatrix(&matrix, -transformed.left, -transformed.top);
        SetTrackMatrix(trgtTrack, &matrix);
      }
    }
  }
  if (srcClip != nullptr) DisposeRgn(srcClip);
  if (err == noErr) err = GetMoviesError();
  return err;
}

OSStatus BZ_SetTargetGamma(BZ_ProjPtr project, Media media, SInt32 fileNum) {
  if (project == nullptr || media == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return paramErr;
  ImageDescriptionHandle desc = project->info.dynMovieInfo.targetDesc[fileNum];
  if (desc == nullptr) return paramErr;
  const BZ_AppPrefs prefs = BZ_GetEngineAppPrefs();
  const BZ_OutputSett &output = project->info.settings.output;
  float gamma = project->info.statMovInfo[0].gamma;
  if (prefs.alwaysGamma22 || output.export_ || (fileNum == 0 && (QT_IsDV_CodecType(output.cType) || output.cType == 'icod')))
    gamma = 2.2f;
  if (std::fabs(gamma - 2.21f) <= 0.02f) {
    Boolean has22 = false;
    if (QT_HasGamm22inNclc(desc, &has22) == noErr && has22) return noErr;
  }
  OSStatus err = QT_SetImageDescGammaLevel(desc, X2Fix(gamma));
  if (err == noErr) err = SetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  return err;
}

// ---- Deleting and disposing ----

void BZ_DeleteProjectFiles(BZ_ProjPtr project) {
  if (project == nullptr) return;
  for (SInt32 i = 0; i < kBZ_MaxNumFiles; ++i) {
    BZ_TargetFileData &target = project->info.targetFileData[i];
    if (!GL_FSRefValid(&target.fileRef)) continue;
    FSForkIOParam &io = project->dynIO_Info.outputInfo[i].ioParam;
    if (io.forkRefNum != 0) {
      FSCloseFork(io.forkRefNum);
      io.forkRefNum = 0;
    }
    FSDeleteObject(&target.fileRef);
  }
}

void BZ_DisposeProject(WindowRef window) {
  (void)window;
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_ProjInfo &info = project->info;
  if (info.settings.cleaning.removeLogo.numBackGrFrames == info.statMovInfo[0].numFrames)
    info.settings.cleaning.removeLogo.numBackGrFrames = 1000;
  host->disposePersistentPreviewData(host->refCon);
  for (SInt32 fileNum = 0; fileNum < 2; ++fileNum)
    if (info.statMovInfo[fileNum].cType != 0) host->disposeStaticMovieInfo(host->refCon, info.statMovInfo, fileNum);

  BZ_DynIO_Info &io = project->dynIO_Info;
  for (BZ_DynInputInfo &input : io.inputInfo)
    for (FSIORefNum &fork : input.fileRefNum)
      if (fork != 0) {
        FSCloseFork(fork);
        fork = 0;
      }
  for (BZ_DynOutputInfo &output : io.outputInfo) {
    if (output.ioParam.forkRefNum != 0) {
      FSCloseFork(output.ioParam.forkRefNum);
      output.ioParam.forkRefNum = 0;
    }
    MP_DeleteSemaphore(&output.sampleRefsSemaphore);
  }
  BZ_ClosePlaybackInputs(project);  // their worlds lie over the table's buffers
  BZ_DisposeBuffInfo(io.buffInfo);

  BZ_DynMovieInfo &dyn = info.dynMovieInfo;
  for (SInt32 i = 0; i < kBZ_MaxNumFiles; ++i) {
    QT_DisposeMovie(&dyn.targetMovie[i]);
    if (dyn.targetDesc[i] != nullptr) DisposeHandle(reinterpret_cast<Handle>(dyn.targetDesc[i]));
    if (dyn.targetSoundDesc[i] != nullptr) DisposeHandle(reinterpret_cast<Handle>(dyn.targetSoundDesc[i]));
    dyn.targetDesc[i] = nullptr;
    dyn.targetSoundDesc[i] = nullptr;
  }
  // The progress record holds only references to the dialog's items here; the display frees its pictures.

  // Everything but the settings goes; the settings record owns its export settings handle, which moves along.
  BZ_ProjSett settings = info.settings;
  project->~BZ_Project();
  new (project) BZ_Project();
  project->info.settings = settings;
  for (float &level : project->info.settings.cleaning.noiseRed.noiseLevel) level = 0.0f;
  BZ_DisposeDlgTaskData(&gBZ.dlgTaskData);
}

void BZ_DisposeDlgTaskData(BZ_DlgTaskData *dlgTaskData) {
  if (dlgTaskData == nullptr) return;
  MP_TerminateTask(&dlgTaskData->whiteLineTaskData, true, 0);
  MP_TerminateTask(&dlgTaskData->noiseLevelTaskData, true, 0);
  MP_TerminateTask(&dlgTaskData->frameDiffTaskData, true, 0);
  if (dlgTaskData->frameCache != nullptr) GL_DisposePtr(&dlgTaskData->frameCache);
  if (dlgTaskData->previewCache != nullptr) GL_DisposePtr(&dlgTaskData->previewCache);
  BZ_OuDisposeDlgTaskData(dlgTaskData->ouDlgTaskData);
  for (auto &searched : dlgTaskData->searchedWhiteLinePiece) searched = false;
  dlgTaskData->detectedBlackBars = false;
  for (BZ_FrameCacheInfo &slot : dlgTaskData->frameCacheInfo) {
    slot.frameNum = -1;
    slot.needed = 0;
  }
  if (dlgTaskData->vbDlgTaskData != nullptr) BZ_VbDisposeDlgTaskData(dlgTaskData->vbDlgTaskData);
}

// ---- Export ----

OSStatus BZ_MovieExportToDataRef(BZ_ProjPtr project) {
  if (project == nullptr) return paramErr;
  BZ_ProjInfo &info = project->info;
  BZ_OutputSett &output = info.settings.output;
  BZ_TargetFileData &target = info.targetFileData[0];
  BZ_DynIO_Info &io = project->dynIO_Info;
  const BZ_EngineHost *host = BZ_GetEngineHost();

  MovieExportComponent exporter = nullptr;
  OSStatus err = OpenADefaultComponent(MovieExportType, output.exportType, &exporter);
  if (err != noErr) return err;
  if (output.videoExportSett == nullptr) BZ_GetVideoExportSettFromPrefs(&output);
  if (output.videoExportSett != nullptr && !QT_Is_iDeviceSubType(output.exportType)) {
    const BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
    if (output.exportType == kQTFileTypeDVC && (dlgState == nullptr || !dlgState->dvSettingsMade))
      host->adjustDVSettingsToInputMovie(host->refCon, &info, output.videoExportSett);
    err = MovieExportSetSettingsFromAtomContainer(exporter, output.videoExportSett);
  }

  // The cleaned movie steps aside under a temporary name; the export takes the target's own name.
  CFMutableStringRef ownName = nullptr;
  CFMutableStringRef exportName = nullptr;
  if (err == noErr) err = GL_CopyFileDirNameAsCFMutStr(&target.fileRef, &ownName);
  if (err == noErr) {
    exportName = CFStringCreateMutableCopy(nullptr, 0, ownName);
    if (exportName == nullptr) err = memFullErr;
  }
  FSRef tempFile = target.fileRef;
  Boolean renamed = false;
  if (err == noErr) {
    err = GL_RenameIndexed(&tempFile, CFSTR("Temp Movie File"));
    renamed = err == noErr;
  }
  if (err == noErr) {
    BZ_RemoveFileNameExtension(exportName);
    const CFIndex length = CFStringGetLength(exportName);
    BZ_AddFileNameExtension(output.exportType, exportName);
    // Without the dialog's list of exporters the exporter names its own extension.
    OSType code = 0;
    if (CFStringGetLength(exportName) == length && MovieExportGetFileNameExtension(exporter, &code) == noErr && code != 0) {
      char ext[6] = {'.', char(code >> 24), char(code >> 16), char(code >> 8), char(code), 0};
      for (int k = 4; k > 0 && ext[k] == ' '; --k) ext[k] = 0;
      for (char *c = ext + 1; *c != 0; ++c) *c = char(std::tolower(static_cast<unsigned char>(*c)));
      CFStringRef suffix = CFStringCreateWithCString(nullptr, ext, kCFStringEncodingUTF8);
      if (suffix != nullptr) {
        CFStringAppend(exportName, suffix);
        CFRelease(suffix);
      }
    }
  }
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  if (err == noErr) err = QTNewDataReferenceFromFSRefCFString(&target.parentRef, exportName, 0, &dataRef, &dataRefType);
  QT_DisposeMovie(&info.dynMovieInfo.targetMovie[0]);
  Movie movie = nullptr;
  if (err == noErr) err = QT_OpenMovieFile(&tempFile, 0, &movie);
  if (err == noErr) err = MovieExportSetProgressProc(exporter, BZ_ExportProgressProc, project);

  Boolean canceled = false;
  if (err == noErr) {
    io.exportingVideo = true;
    io.projSize = info.statMovInfo[0].numFrames;
    err = MovieExportToDataRef(exporter, dataRef, dataRefType, movie, nullptr, 0, GetMovieDuration(movie));
    io.exportingVideo = false;
    if (err == userCanceledErr) {
      Log(CFSTR("Export canceled"));
      canceled = true;
      err = noErr;
    }
  }
  CloseComponent(exporter);
  QT_DisposeMovie(&movie);

  if (err == noErr && !canceled) {
    if (QT_DeletePotentiallyBusyMovieFile(&tempFile, 10) != noErr) host->showError(host->refCon, kBZ_TempFileNotDeletedErr);
    renamed = false;
    // The exported file's extension is never hidden here, so hideExtension needs no action.
    if (GL_FSRefValid(&info.auxFiles[0])) {
      GL_DeletePotentiallyBusyFileObject(&info.auxFiles[0], 10);
      info.auxFiles[0] = FSRef{};
    }
  }
  // Without an export file the cleaned movie is the result: it takes its own name back.
  if (renamed && ownName != nullptr) {
    FSRef back = tempFile;
    if (GL_RenameIndexed(&back, ownName) == noErr) target.fileRef = back;
  }
  if (dataRef != nullptr) DisposeHandle(dataRef);
  if (exportName != nullptr) CFRelease(exportName);
  if (ownName != nullptr) CFRelease(ownName);
  return err;
}

OSErr BZ_ExportProgressProc(Movie movie, SInt16 message, SInt16 whatOperation, Fixed percentDone, SRefCon refcon) {
  (void)movie;
  (void)whatOperation;
  auto *project = static_cast<BZ_ProjPtr>(refcon);
  if (project == nullptr) return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_DynIO_Info &io = project->dynIO_Info;
  if (message == movieProgressOpen) {
    BZ_SetLocalizedProgressText(kBZ_ProgressStateTextItem, CFSTR("BZ Exporting movie from temporary file"));
    host->setProgressText(host->refCon, kBZ_ProgressRateTextItem, CFSTR(""));
    host->setProgressBarValue(host->refCon, 0);
    io.startProgrTime = io.prevProgrTime = CFAbsoluteTimeGetCurrent();
    io.savedPercentDone = 0;
  } else if (message == movieProgressUpdatePercent) {
    if (PL_IsMainThread()) PL_DispatchPendingEvents(nullptr);
    if (project->state.error == userCanceledErr) return userCanceledErr;
    SInt32 value = 0, maximum = 0;
    host->getProgressBar(host->refCon, &value, &maximum);
    const SInt32 newValue = SInt32(std::clamp<double>(std::trunc(double(maximum) * Fix2X(percentDone)), 0.0, double(maximum)));
    if (newValue != value) host->setProgressBarValue(host->refCon, newValue);
    const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    if (now - io.prevProgrTime > 5.0) {
      const double current = Fix2X(percentDone - io.savedPercentDone) * double(io.projSize) / (now - io.prevProgrTime);
      const double average = double(io.projSize) * Fix2X(percentDone) / std::max(1e-9, now - io.startProgrTime);
      CFStringRef currentKey = CopyLocalized(CFSTR("GL current rate"));
      CFStringRef averageKey = CopyLocalized(CFSTR("GL average rate"));
      CFStringRef frames = CopyLocalized(CFSTR("GL frames"));
      CFStringRef text = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@ = %.1f %@/sec, %@ = %.1f %@/sec"), currentKey,
                                                  current, frames, averageKey, average, frames);
      if (text != nullptr) {
        host->setProgressText(host->refCon, kBZ_ProgressRateTextItem, text);
        CFRelease(text);
      }
      for (CFStringRef s : {currentKey, averageKey, frames})
        if (s != nullptr) CFRelease(s);
      io.prevProgrTime = now;
      io.savedPercentDone = percentDone;
    }
  }
  return noErr;
}
