// Project start and run set-up on the main thread.
#include "engine/project_start.h"

#include "engine/closing_saving.h"
#include "engine/read_stage.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "engine/stage_table.h"
#include "engine/write_stage.h"
#include "general/cf_encodings.h"
#include "general/error_keys.h"
#include "general/file_layer.h"
#include "general/folders_volumes.h"
#include "movie/codecs.h"
#include "movie/image_descriptions.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_string.h"
#include "platform/core/files.h"
#include "platform/core/fixed_math.h"
#include "platform/core/formatter.h"
#include "platform/core/hfs_names.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/components.h"
#include "platform/movie/decompression.h"
#include "platform/movie/compression.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kCompressedBytesPerPixel = 0.3472222222222222;
// The toolbox's caution alert kind (AlertType).
constexpr SInt16 kCautionAlertType = 2;

OSStatus VolumeOf(const FSRef *object, FSVolumeRefNum *volume) {
  FSCatalogInfo info{};
  OSStatus err = FSGetCatalogInfo(object, kFSCatInfoVolume, &info, nullptr, nullptr, nullptr);
  if (err == noErr) *volume = info.volume;
  return err;
}

// Free bytes and whether the volume is a network volume.
OSStatus VolumeSpace(FSVolumeRefNum volume, SInt64 *freeBytes, Boolean *isNetwork) {
  UInt64 free = 0;
  OSStatus err = GL_GetFreeSpace(volume, &free);
  if (err != noErr) return err;
  *freeBytes = SInt64(std::min<UInt64>(free, UInt64(INT64_MAX)));
  *isNetwork = false;
  return GL_IsNetworkVolume(nullptr, volume, isNetwork);
}

OSStatus CheckFreeSpaceOnce(BZ_ProjPtr project) {
  BZ_ProjInfo &info = project->info;
  BZ_TargetFileData *targets = info.targetFileData;
  const BZ_StatMovInfo &src = info.statMovInfo[0];
  const BZ_OutputSett &output = info.settings.output;
  FSVolumeRefNum startup = 0, targetVolume = 0;
  OSStatus err = GL_GetStartupVolumeRefNum(&startup);
  if (err != noErr) return err;
  if ((err = VolumeOf(&targets[0].parentRef, &targetVolume)) != noErr) return err;
  const FSVolumeRefNum volume = targets[0].tempFileInMoviesFolder ? startup : targetVolume;
  SInt64 freeBytes = 0;
  Boolean isNetwork = false;
  if ((err = VolumeSpace(volume, &freeBytes, &isNetwork)) != noErr) return err;

  const SInt64 frames = std::max<SInt32>(src.numFrames, 0);
  const SInt64 frameSize = output.cType != '2vuy'
                               ? SInt64(double(src.height) * kCompressedBytesPerPixel * double(src.width))
                               : SInt64(src.height) * src.width * 2;
  targets[0].estimatedSize = frames * frameSize;
  SInt64 total = targets[0].estimatedSize;
  SInt64 exportSize = 0, noiseSize = 0;
  if (output.makeNoiseMovie) {
    targets[1].estimatedSize = noiseSize = SInt64(BZ_GetNoiseFrameSize(&info)) * frames;
    total += noiseSize;
  }
  if (output.export_) {
    SInt32 exportFrameSize = 0;
    if ((err = BZ_GetExportFrameDataSize(&info, &exportFrameSize)) != noErr) return err;
    exportSize = SInt64(exportFrameSize) * frames;
    total += exportSize;
  }
  OSStatus result = total > freeBytes ? OSStatus(kBZ_NoFreeSpaceForTargetFileErr) : OSStatus(noErr);
  if ((result != noErr || isNetwork) && output.export_) {
    SInt64 startupFree = 0, targetFree = 0;
    Boolean net = false;
    if ((err = VolumeSpace(startup, &startupFree, &net)) != noErr) return err;
    if ((err = VolumeSpace(targetVolume, &targetFree, &net)) != noErr) return err;
    if (startup == targetVolume) {
      result = total > startupFree ? OSStatus(kBZ_NoFreeSpaceForTargetFileErr) : OSStatus(noErr);
    } else if (targets[0].estimatedSize <= startupFree) {
      // The movie is written on the start-up volume and exported to the target's.
      targets[0].tempFileInMoviesFolder = true;
      result = noiseSize + exportSize > targetFree ? OSStatus(kBZ_NoFreeSpaceForTargetFileErr) : OSStatus(noErr);
    } else {
      result = total > targetFree ? OSStatus(kBZ_NoFreeSpaceForTargetFileErr) : OSStatus(noErr);
    }
  }
  return result;
}

CFStringRef NameOf(const HFSUniStr255 &name) { return FSCreateStringFromHFSUniStr(nullptr, &name); }

OSStatus CreateTargetMovie(BZ_TargetFileData &target, const FSRef &folder, Movie *movie) {
  CFStringRef name = NameOf(target.fileName);
  if (name == nullptr) return paramErr;
  FSRef file{};
  OSStatus err = QT_CreateMovieFile(&folder, name, kBZ_TargetFileCreator, SInt32(createMovieFileDeleteCurFile), &file,
                                    movie);
  CFRelease(name);
  if (err == noErr) target.fileRef = file;
  return err;
}

// Undoes what a failed start made: the open forks, the movies and the new files.
// The target's sample-reference semaphore, its data fork opened for writing with the 16-byte header, and
// the sample-reference state: the first record begins right after the header, none is being filled.
OSStatus OpenTargetFork(BZ_ProjPtr project, SInt32 fileNum) {
  BZ_DynOutputInfo &out = project->dynIO_Info.outputInfo[fileNum];
  OSStatus err = MP_RecreateSemaphore(1, 0, &out.sampleRefsSemaphore);
  if (err != noErr) return err;
  HFSUniStr255 dataFork{};
  FSGetDataForkName(&dataFork);
  if ((err = FSOpenFork(&project->info.targetFileData[fileNum].fileRef, dataFork.length, dataFork.unicode,
                        fsRdWrPerm, &out.ioParam.forkRefNum)) != noErr)
    return err;
  if ((err = QT_WriteInitialMdatHeader(out.ioParam.forkRefNum)) != noErr) return err;
  out.sampleRefs[0].dataOffset = 16;
  out.recordNum = -1;
  out.ioParam.positionMode = fsAtMark;
  return noErr;
}

// ---- Sources that are drawn ----

// The movie draws into no world afterwards (a null world would mean the current one).
void DetachMovie(Movie movie) {
  CGrafPtr current = nullptr;
  GetGWorld(&current, nullptr);
  SetGWorld(nullptr, nullptr);
  SetMovieGWorld(movie, nullptr, nullptr);
  SetGWorld(current, nullptr);
}

// The first buffer of the file's copy stage, which a drawn source's movie draws into; NULL without one.
BZ_FrameBuffInfo *PlaybackBuffer(BZ_ProjPtr project, SInt32 fileNum, size_t *size) {
  BZ_BuffInfo *copy = BZ_GetBufferInfoByStageType(project->dynIO_Info.buffInfo, kBZ_CopyTaskType, fileNum);
  if (copy == nullptr || copy->numFrameBuffers < 1 || copy->frameBuffInfo[0].ptr == nullptr) return nullptr;
  *size = copy->size;
  return &copy->frameBuffInfo[0];
}

// A world of source 0's size in that format over the buffer, its pixel map noted in the buffer's record.
// The world must fit the buffer: the movie writes all of it.
OSStatus NewPlaybackWorld(BZ_ProjPtr project, BZ_FrameBuffInfo *buffer, size_t bufferSize, OSType format) {
  const SInt32 w = project->info.statMovInfo[0].width, h = project->info.statMovInfo[0].height;
  if (w <= 0 || h <= 0 || w > 0x7FFF || h > 0x7FFF) return paramErr;
  const SInt32 rowBytes = format == kYUV420PixelFormat ? w * 3 / 2 : format == k32ARGBPixelFormat ? w * 4 : w * 2;
  if (PL_PixelFormatBufferSize(format, rowBytes, w, h) > bufferSize) return paramErr;
  if (format == kYUV420PixelFormat) QT_SetY420_Header(buffer->ptr, h, w);
  const Rect bounds{0, 0, SInt16(h), SInt16(w)};
  GWorldPtr world = nullptr;
  OSStatus err = QTNewGWorldFromPtr(&world, format, &bounds, nullptr, nullptr, 0, buffer->ptr, rowBytes);
  if (err != noErr) return err;
  buffer->offscreen = world;
  buffer->pixMap = GetGWorldPixMap(world);
  return noErr;
}

void DisposePlaybackWorld(BZ_FrameBuffInfo *buffer) {
  DisposeGWorld(buffer->offscreen);
  buffer->offscreen = nullptr;
  buffer->pixMap = nullptr;
}

// Pictures are taken in the source's own gamma; the copy stage converts them to the internal one.
OSStatus RequestSourceGamma(const BZ_FrameBuffInfo *buffer) {
  return QTSetPixMapHandleRequestedGammaLevel(buffer->pixMap, -1);
}

// The picture of the source that the targets receive: the crop margins cut off, unless the run masks them.
Rect TargetPictureRect(const BZ_ProjInfo &info) {
  BZ_InputSett input = info.settings.input;
  input.maskBlackBars = BZ_MasksCropMargins(&info.settings);
  Rect r{};
  BZ_GetCroppedSourceRect(&input, info.statMovInfo[0].height, info.statMovInfo[0].width, true, &r);
  return r;
}

bool IsMpegFrameTimed(CodecType cType) {
  return cType == 'm2v ' || cType == 'm1v ' || cType == 'm2s ' || cType == 'MPEG';
}

CFStringRef CopyLocalized(CFStringRef key) {
  return CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
}

OSStatus LogProjectStarted() {
  CFStringRef text = CFSTR(" project started.");
  const BZ_EngineHost *host = BZ_GetEngineHost();
  return host->setProjectMessageInLog(host->refCon, text);
}

}  // namespace

Boolean BZ_IsPALSource(const BZ_StatMovInfo *source) {
  if (source == nullptr) return false;
  double frameSeconds = source->avFrameDuration;
  if (!(frameSeconds > 0) && source->frameDuration > 0 && source->movieTimeScale > 0)
    frameSeconds = double(source->frameDuration) / source->movieTimeScale;
  if (!(frameSeconds > 0)) return source->height == 576;
  const double fps = 1.0 / frameSeconds;
  return std::fabs(fps - 25.0) < 0.5 || std::fabs(fps - 50.0) < 1.0;
}

void BZ_GetCompressionCodec(CodecType cType, Boolean palSource, Boolean interlaced, CodecType *codecType,
                            CodecQ *spatialQuality) {
  *codecType = cType;
  *spatialQuality = codecMaxQuality;
  if (cType == 'mjpa') {
    *spatialQuality = codecHighQuality;
    if (!interlaced) *codecType = 'jpeg';
  } else if (cType == 'icod') {
    *spatialQuality = codecHighQuality;
  } else if (QT_IsDV_CodecType(cType)) {
    // DV's television system belongs to the frame rate and line count the movie keeps: the kind of DV the
    // user chose (DV25, DVCPRO, DVCPRO50) in the source's system. DVCPRO has no NTSC variant but DV25's.
    OSType dvType = 0;
    Boolean pal = false;
    QT_GetDV_Type(cType, &dvType, &pal);
    if (const OSType variant = QT_GetDV_CodecType(dvType, palSource); variant != 0) *codecType = variant;
  }
}

OSStatus BZ_StartProject() {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  WindowRef dialog = host->getProjDlgWindow(host->refCon);
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return paramErr;
  BZ_ProjInfo &info = project->info;
  BZ_OutputSett &output = info.settings.output;
  BZ_TargetFileData *targets = info.targetFileData;
  if (output.export_) output.cType = '2vuy';

  // Steps that make the files, before any run is stopped.
  auto makeFiles = [&]() -> OSStatus {
    OSStatus err = BZ_CheckFreeSpace();
    if (err != noErr) return err;
    if ((err = host->projDlgSaveProjSett(host->refCon, dialog)) != noErr) return err;
    BZ_AppPrefs appPrefs{};
    host->getAppPrefs(host->refCon, &appPrefs);
    appPrefs.prevOutputFolder = targets[0].parentRef;
    host->saveAppPrefs(host->refCon, &appPrefs);
    if (appPrefs.successSound != nullptr) CFRelease(appPrefs.successSound);
    const Boolean exporting = output.export_;
    output.export_ = false;
    err = BZ_CheckTargetFileName(&info);
    output.export_ = exporting;
    if (err != noErr) return err;
    if ((err = CreateTargetMovie(targets[0], targets[0].parentRef, &info.dynMovieInfo.targetMovie[0])) != noErr)
      return err;
    if (output.makeNoiseMovie) {
      // The noise movie is named after the target, with the first free number, in the same folder.
      targets[1].parentRef = targets[0].parentRef;
      targets[1].fileName = targets[0].fileName;
      if ((err = BZ_CreateIndexedNameInFolder(targets, 1)) != noErr) return err;
      if ((err = CreateTargetMovie(targets[1], targets[1].parentRef, &info.dynMovieInfo.targetMovie[1])) != noErr)
        return err;
    }
    return noErr;
  };
  // Steps that open the files for the run, once no analysis runs any more.
  auto openFiles = [&]() -> OSStatus {
    OSStatus err = host->reactivateControls(host->refCon, dialog, false);
    if (err != noErr) return err;
    if (targets[0].tempFileInMoviesFolder) {
      // Written on the start-up volume first; the export puts the result where the user asked.
      GL_DeletePotentiallyBusyFileObject(&targets[0].fileRef, 10);
      QT_DisposeMovie(&info.dynMovieInfo.targetMovie[0]);
      FSRef movies{};
      if ((err = QT_GetMoviesFolder(true, &movies)) != noErr) return err;
      if ((err = CreateTargetMovie(targets[0], movies, &info.dynMovieInfo.targetMovie[0])) != noErr) return err;
    }
    // The stage table is built again for the methods applied now and the output's compression: the one
    // standing was made by the last analysis, before any change made since (a Start pressed before the
    // analysis timer fired would otherwise run the methods applied earlier).
    BZ_DisposeBuffInfo(project->dynIO_Info.buffInfo);
    if ((err = BZ_CreateBuffers()) != noErr) return err;
    if ((err = BZ_OpenTargetFiles()) != noErr) return err;
    return BZ_ReinitProject(project);
  };
  // A start that fails after the files were made takes them away again and leaves the project ready with
  // its settings; a full disk keeps them, so that the user sees what filled it.
  auto cleanUp = [&](OSStatus err) {
    std::printf("KBZ: BZ_StartProject: error = %ld\n", long(err));
    if (err == dskFulErr) return err;
    BZ_DeleteProjectFiles(project);
    BZ_DisposeProject(dialog);
    host->reinitDialog(host->refCon, dialog);
    return err;
  };

  OSStatus err = makeFiles();
  if (err != noErr) return cleanUp(err);
  // A stop that failed may leave an analysis running over the frame buffers: nothing may be disposed then.
  Boolean actuallyStopping = false;
  if ((err = host->stopMovieAnalysis(host->refCon, &actuallyStopping, true)) != noErr) return err;
  if (WindowRef preview = host->getPreviewWindow(host->refCon); preview != nullptr) {
    // The preview only shows; a failure to close it does not stop the project.
    const OSStatus closeErr = host->closePreview(host->refCon, preview);
    if (closeErr != noErr) std::printf("KBZ: BZ_ClosePreview: error = %ld\n", long(closeErr));
  }
  project->state.exec = kBZ_ProjStateBeingOpened;
  // From here on no run is active: a failure also takes the new files away, since a project left being
  // opened (or executing without a run) would keep the dialog and the quit confirmation waiting for ever.
  if (WindowRef example = host->getExampleWindow(host->refCon); example != nullptr)
    if ((err = host->sendWindowCloseEvent(host->refCon, example)) != noErr) return cleanUp(err);
  if ((err = openFiles()) != noErr) return cleanUp(err);
  if ((err = host->saveOutlierEditListFinalDontAsk(host->refCon, gBZ.dlgTaskData.ouDlgTaskData)) != noErr)
    return cleanUp(err);
  project->state.exec = kBZ_ProjStateExecuting;
  if ((err = MPNotifyQueue(gBZ.mainTaskData.inputQueue, BZ_Word(kBZ_MainThreadTaskType), project,
                           BZ_Word(kBZ_RunProjectMessage))) != noErr)
    return cleanUp(err);
  LogProjectStarted();
  host->setProjectInfoInLog(host->refCon, project);
  return noErr;
}

OSStatus BZ_CheckFreeSpace() {
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return paramErr;
  BZ_OutputSett &output = project->info.settings.output;
  OSStatus err = CheckFreeSpaceOnce(project);
  if (err == kBZ_NoFreeSpaceForTargetFileErr && output.export_ && output.cType == '2vuy') {
    // An export may go through the far smaller M-JPEG movie.
    output.cType = 'mjpa';
    err = CheckFreeSpaceOnce(project);
  }
  if (err != noErr) project->info.targetFileData[0].tempFileInMoviesFolder = false;
  return err;
}

OSStatus BZ_ReinitProject(BZ_ProjPtr project) {
  if (project == nullptr) return paramErr;
  BZ_DynIO_Info &io = project->dynIO_Info;
  for (SInt32 i = 0; i < kBZ_MaxNumFiles; ++i) {
    BZ_DynInputInfo &in = io.inputInfo[i];
    in.movieTime = 0;
    in.movieTimeF = 0;
    Movie movie = project->info.dynMovieInfo.sourceMovie[i];
    if (movie == nullptr) continue;
    const CodecType cType = project->info.statMovInfo[i].cType;
    if (cType == 'm2v ' || cType == 'm2s ') {
      in.duration = project->info.statMovInfo[i].frameDuration;
      in.frameNum = 0;
    } else {
      TimeValue start = 0;
      in.frameNum = QT_MovieTimeToFrameNumber(movie, 0, &start, &in.duration);
    }
  }
  for (BZ_DynOutputInfo &out : io.outputInfo) {
    out.time = 0;
    out.numFrames = 0;
  }
  const BZ_EngineHost *host = BZ_GetEngineHost();
  WindowRef dialog = host->getProjDlgWindow(host->refCon);
  OSStatus err = host->reinitProgress(host->refCon, project);
  if (err != noErr) return err;
  if ((err = BZ_OpenSourceFiles()) != noErr) return err;
  const HIViewID progressBar{kBZ_DialogItemSignature, kBZ_ProgressBarItem};
  if ((err = host->setProgressIndicatorStateByID(host->refCon, dialog, progressBar, true)) != noErr) return err;
  // The Preview button rests while the project runs.
  const HIViewID previewButton{kBZ_DialogItemSignature, kBZ_PreviewButtonItem};
  if ((err = host->activateDialogItemByID(host->refCon, dialog, previewButton, false)) != noErr) return err;
  BZ_DlgTaskData &dlg = gBZ.dlgTaskData;
  if (dlg.inputSettChanged) {
    for (BZ_FrameCacheInfo &slot : dlg.frameCacheInfo) slot.frameNum = -1;
    dlg.inputSettChanged = false;
  }
  return noErr;
}

OSStatus BZ_OpenSourceFiles() {
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return paramErr;
  for (SInt32 i = 0; i < kBZ_MaxNumFiles; ++i) {
    if (!GL_FSRefValid(&project->info.srcFileData[i].fileRef)) continue;
    BZ_DynInputInfo &in = project->dynIO_Info.inputInfo[i];
    OSStatus err = noErr;
    if (!in.directRead) {
      if (in.openedMovieForPlayback) {
        err = BZ_ReinitPlaybackOffscreen(project, i);
      } else {
        err = BZ_OpenMovieForPlaybackInput(project, i);
        if (err == noErr) err = BZ_WarnAboutAutoGammaConversion(project, i);
      }
      if (err != noErr) return err;
      continue;
    }
    if (in.fileRefNum[0] != 0) continue;
    Track track = QT_GetFirstEnabledVideoTrack(project->info.dynMovieInfo.sourceMovie[i]);
    Media media = track != nullptr ? GetTrackMedia(track) : nullptr;
    if (media == nullptr) return invalidMedia;
    SInt16 count = 0;
    if ((err = GetMediaDataRefCount(media, &count)) != noErr) return err;
    for (SInt16 d = 1; d <= count && d <= kBZ_MaxNumFiles; ++d) {
      FSRef file{};
      if ((err = QT_ResolveMediaDataRef(media, d, &file)) != noErr) return err;
      if ((err = GL_OpenDataFork(&file, fsRdPerm, &in.fileRefNum[d - 1])) != noErr) return err;
    }
    if ((err = BZ_WarnAboutAutoGammaConversion(project, i)) != noErr) return err;
  }
  return noErr;
}

Boolean BZ_NeedsAutoGammaWarning(float sourceGamma, CodecType outputCodec, Boolean alwaysGamma22) {
  const double g = double(sourceGamma);
  const bool videoGamma = std::fabs(g - 2.2222222222222223) < 0.0001 || std::fabs(g - 2.2) < 0.0001;
  return !videoGamma && (QT_IsDV_CodecType(outputCodec) || outputCodec == 'icod') && !alwaysGamma22;
}

OSStatus BZ_WarnAboutAutoGammaConversion(BZ_ProjPtr project, SInt32 fileNum) {
  if (project == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return paramErr;
  const BZ_AppPrefs prefs = BZ_GetEngineAppPrefs();
  const float gamma = project->info.statMovInfo[fileNum].gamma;
  if (!BZ_NeedsAutoGammaWarning(gamma, project->info.settings.output.cType, prefs.alwaysGamma22)) return noErr;
  CFStringRef inputGamma = CopyLocalized(CFSTR("BZ Input Gamma"));
  CFStringRef dvExpects = CopyLocalized(CFSTR("BZ DV expects"));
  CFStringRef willConvert = CopyLocalized(CFSTR("BZ Will Convert"));
  CFStringRef format =
      CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@%%.2f, %@; %@"), inputGamma, dvExpects, willConvert);
  CFStringRef text = format != nullptr ? CFStringCreateWithFormat(nullptr, nullptr, format, double(gamma)) : nullptr;
  for (CFStringRef s : {inputGamma, dvExpects, willConvert, format})
    if (s != nullptr) CFRelease(s);
  if (text == nullptr) return memFullErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  const OSStatus err = host->standardAlertOneButton(host->refCon, kCautionAlertType, nullptr, text, nullptr, 0);
  CFRelease(text);
  return err;
}

namespace {

// A source whose codec gives planar 4:2:0 is drawn as such: the copy stage's conversion to 4:2:2 is the one
// the compress stage's 4:2:0 output inverts, and the copy task does it instead of the main thread.
bool DecodesTo420(Movie movie) {
  Track track = QT_GetFirstEnabledVideoTrack(movie);
  Media media = track != nullptr ? GetTrackMedia(track) : nullptr;
  OSType format = 0;
  return media != nullptr && PL_GetMediaDecodedPixelFormat(media, &format) == noErr && format == kYUV420PixelFormat;
}

}  // namespace

OSStatus BZ_OpenMovieForPlaybackInput(BZ_ProjPtr project, SInt32 fileNum) {
  if (project == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return paramErr;
  Movie movie = project->info.dynMovieInfo.sourceMovie[fileNum];
  size_t bufferSize = 0;
  BZ_FrameBuffInfo *buffer = PlaybackBuffer(project, fileNum, &bufferSize);
  if (movie == nullptr || buffer == nullptr) return paramErr;
  BZ_DynInputInfo &in = project->dynIO_Info.inputInfo[fileNum];
  OSStatus err = noErr;
  if (buffer->offscreen == nullptr) {
    // A procedure left from an earlier project would hand the trial drawings below to the copy stage.
    SetMovieDrawingCompleteProc(movie, movieDrawingCallAlways, nullptr, 0);
    // Half opened is not opened: the next set-up starts again from no world.
    auto fail = [&](OSStatus failure) {
      SetMovieActive(movie, false);
      DetachMovie(movie);
      DisposePlaybackWorld(buffer);
      in.y420Playback = in.rgbPlayback = false;
      return failure;
    };
    in.y420Playback = false;
    in.rgbPlayback = false;
    const CodecType cType0 = project->info.statMovInfo[0].cType;
    if (cType0 == 'm2v ' || cType0 == 'm2s ' || DecodesTo420(movie)) {
      if ((err = NewPlaybackWorld(project, buffer, bufferSize, kYUV420PixelFormat)) != noErr) return fail(err);
      if (QT_TryToRenderMovieToGWorld(movie, buffer->offscreen) == noErr)
        in.y420Playback = true;
      else
        fail(noErr);
    }
    if (!in.y420Playback) {
      if ((err = NewPlaybackWorld(project, buffer, bufferSize, k2vuyPixelFormat)) != noErr) return fail(err);
      if (QT_TryToRenderMovieToGWorld(movie, buffer->offscreen) != noErr) {
        fail(noErr);
        if ((err = NewPlaybackWorld(project, buffer, bufferSize, k32ARGBPixelFormat)) != noErr) return fail(err);
        in.rgbPlayback = true;
        SetMovieGWorld(movie, buffer->offscreen, nullptr);
        SetMovieActive(movie, true);
      }
    }
    if ((err = RequestSourceGamma(buffer)) != noErr) return fail(err);
    SetMoviePlayHints(movie, hintsHighQuality | hintsAllowInterlace, SInt32(0xFFFFFFFF));
    SetMovieDrawingCompleteProc(movie, movieDrawingCallAlways, BZ_DrawingCompleteProc, long(project));
    in.openedMovieForPlayback = true;
  }
  SetMovieTimeValue(movie, 0);
  if (IsMpegFrameTimed(project->info.statMovInfo[fileNum].cType)) {
    in.movieTime = 0;
    in.movieTimeF = 0;
    in.duration = project->info.statMovInfo[fileNum].frameDuration;
  } else {
    QT_GetMovieVideoNextTime(movie, 0, nextTimeEdgeOK, &in.movieTime, &in.duration);
  }
  return noErr;
}

OSStatus BZ_ReinitPlaybackOffscreen(BZ_ProjPtr project, SInt32 fileNum) {
  if (project == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return paramErr;
  Movie movie = project->info.dynMovieInfo.sourceMovie[fileNum];
  size_t bufferSize = 0;
  BZ_FrameBuffInfo *buffer = PlaybackBuffer(project, fileNum, &bufferSize);
  if (movie == nullptr || buffer == nullptr) return paramErr;
  if (buffer->offscreen != nullptr) return noErr;
  const BZ_DynInputInfo &in = project->dynIO_Info.inputInfo[fileNum];
  const OSType format = in.y420Playback ? kYUV420PixelFormat : in.rgbPlayback ? k32ARGBPixelFormat : k2vuyPixelFormat;
  OSStatus err = NewPlaybackWorld(project, buffer, bufferSize, format);
  if (err == noErr) err = RequestSourceGamma(buffer);
  if (err != noErr) return err;
  SetMovieGWorld(movie, buffer->offscreen, nullptr);
  return GetMoviesError();
}

void BZ_ClosePlaybackInputs(BZ_ProjPtr project) {
  if (project == nullptr) return;
  for (SInt32 i = 0; i < kBZ_MaxNumFiles; ++i) {
    BZ_DynInputInfo &in = project->dynIO_Info.inputInfo[i];
    Movie movie = project->info.dynMovieInfo.sourceMovie[i];
    if (!in.openedMovieForPlayback || movie == nullptr) continue;
    SetMovieDrawingCompleteProc(movie, movieDrawingCallAlways, nullptr, 0);
    DetachMovie(movie);
    in.openedMovieForPlayback = false;
  }
}

OSStatus BZ_OpenTargetFiles() {
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return paramErr;
  for (SInt32 i = 0; i < kBZ_MaxNumFiles; ++i) {
    if (!GL_FSRefValid(&project->info.targetFileData[i].fileRef)) continue;
    if (OSStatus err = BZ_OpenTargetFile(project, i); err != noErr) return err;
  }
  return noErr;
}

OSStatus BZ_OpenTargetFile(BZ_ProjPtr project, SInt32 fileNum) {
  if (project == nullptr || fileNum < 0 || fileNum > 1) return paramErr;
  BZ_ProjInfo &info = project->info;
  BZ_DynMovieInfo &movies = info.dynMovieInfo;
  const BZ_StatMovInfo &src = info.statMovInfo[0];
  const BZ_InputSett &input = info.settings.input;
  Movie movie = movies.targetMovie[fileNum];
  if (movie == nullptr) return paramErr;
  // Both targets get the picture their write stage writes: the margins are cut unless the run masks them
  // (then the frame keeps its size), for the noise movie as for the cleaned one.
  const Rect r = TargetPictureRect(info);
  const SInt32 w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || src.movieTimeScale <= 0) return paramErr;

  Track track = NewMovieTrack(movie, Long2Fix(w), Long2Fix(h), 0);
  OSStatus err = GetMoviesError();
  if (track == nullptr) return err != noErr ? err : invalidTrack;
  movies.targetTrack[fileNum] = track;
  Media media = NewTrackMedia(track, VideoMediaType, src.movieTimeScale, nullptr, 0);
  err = GetMoviesError();
  if (media == nullptr) return err != noErr ? err : invalidMedia;
  movies.targetMedia[fileNum] = media;
  SetMovieTimeScale(movie, src.movieTimeScale);
  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  if (desc == nullptr) return memFullErr;
  movies.targetDesc[fileNum] = desc;
  (*desc)->idSize = sizeof(ImageDescription);
  (*desc)->width = SInt16(w);
  (*desc)->height = SInt16(h);

  const CodecType cType = info.settings.output.cType;
  BZ_DynIO_Info &io = project->dynIO_Info;
  const bool compressed = fileNum == 0 ? cType != '2vuy' && cType != 'y420' : BZ_CompressesNoiseMovie(project);
  if (compressed) {
    err = fileNum == 0 ? BZ_SetUpCompressionSequence(project, 0) : BZ_SetUpNoiseCompressionSequence(project);
    if (err != noErr) return err;
    return OpenTargetFork(project, fileNum);
  }
  SCSpatialSettings spatial{};
  spatial.codecType = fileNum == 1 ? CodecType('2vuy') : cType;
  spatial.spatialQuality = codecMaxQuality;
  SInt64 bufferSize = 0;
  if ((err = BZ_GetBufferSize(src.height, src.width, input.interlaced, nullptr, nullptr, &bufferSize)) != noErr)
    return err;
  const SInt64 frameSize = spatial.codecType == 'y420' ? SInt64(QT_GetY420_FrameSize(h, w)) : bufferSize;
  io.maxComprSize = SInt32(std::min<SInt64>(frameSize, 0x7FFFFFFF));
  const SInt32 dataSize = spatial.codecType == '2vuy' ? w * h * 2 : SInt32(frameSize);
  if ((err = QT_MakeImageDescription(SInt16(w), SInt16(h), &spatial, dataSize, desc)) != noErr) return err;
  return OpenTargetFork(project, fileNum);
}

namespace {

// The data under key in the property list of the bundle resource `name`, as a new handle.
OSStatus GetSettingsResource(CFStringRef name, CFStringRef key, Handle *settings) {
  if (settings == nullptr) return paramErr;
  *settings = nullptr;
  CFURLRef url = CFBundleCopyResourceURL(CFBundleGetMainBundle(), name, CFSTR("plist"), nullptr);
  if (url == nullptr) return fnfErr;
  CFPropertyListRef plist = nullptr;
  OSStatus err = CF_ReadPropertyListFromXMLFile(url, &plist);
  CFRelease(url);
  if (err != noErr) return err;
  CFTypeRef value = CFGetTypeID(plist) == CFDictionaryGetTypeID()
                        ? CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist), key)
                        : nullptr;
  if (value == nullptr || CFGetTypeID(value) != CFDataGetTypeID()) {
    err = kGL_PropertyListErr;
  } else {
    auto data = static_cast<CFDataRef>(value);
    *settings = NewHandle(Size(CFDataGetLength(data)));
    if (*settings == nullptr) {
      err = memFullErr;
    } else {
      CFDataGetBytes(data, CFRangeMake(0, CFDataGetLength(data)), reinterpret_cast<UInt8 *>(**settings));
    }
  }
  CFRelease(plist);
  return err;
}

// A sequence per buffer of the compress stage over its picture at `start`; maxComprSize from the first.
OSStatus BeginCompressionSequences(BZ_BuffInfo *compr, ptrdiff_t start, SInt32 rowBytes, const Rect &bounds,
                                   CodecType codecType, CompressorComponent codec, CodecQ quality,
                                   ImageDescriptionHandle desc, SInt32 *maxComprSize);

// The compressor a sequence of cType uses: the default one with the project's settings for interlaced
// 'mjpa' and for 'icod' (owned: CloseComponent), else none (the selector codec chooses).
OSStatus OpenConfiguredCompressor(BZ_ProjPtr project, CodecType cType, ComponentInstance *compressor) {
  *compressor = nullptr;
  const Boolean interlaced = project->info.settings.input.interlaced;
  if (QT_IsDV_CodecType(cType) || QT_IsDVCProHD_CodecType(cType)) {
    // The DV compressor learns whether the frames are interlaced: its DCT and its 4:2:0 chroma then work
    // field by field, as the copy stage's conversion from 4:2:0 did.
    if (OpenADefaultComponent(compressorComponentType, cType, compressor) != noErr) return noCodecErr;
    Handle settings = NewHandleClear(8);
    if (settings == nullptr) return memFullErr;
    const UInt8 dvco[8] = {'d', 'v', 'c', 'o', UInt8(interlaced ? 0 : 1), 0, 0, 0};
    std::memcpy(*settings, dvco, sizeof dvco);
    OSStatus err = ImageCodecSetSettings(*compressor, settings);
    DisposeHandle(settings);
    if (err != noErr) {
      CloseComponent(*compressor);
      *compressor = nullptr;
    }
    return err;
  }
  if (!(cType == 'mjpa' && interlaced) && cType != 'icod') return noErr;
  Handle settings = nullptr;
  OSStatus err = cType == 'mjpa' ? BZ_GetM_JPEG_Sett(project, &settings) : BZ_GetAicSett(project, &settings);
  if (err != noErr) return err;
  // A missing compressor is a missing codec, not a missing component type.
  err = OpenADefaultComponent(compressorComponentType, cType, compressor);
  if (err != noErr) err = noCodecErr;
  if (err == noErr) err = ImageCodecSetSettings(*compressor, settings);
  DisposeHandle(settings);
  if (err != noErr) {
    CloseComponent(*compressor);
    *compressor = nullptr;
  }
  return err;
}

}  // namespace

Boolean BZ_CompressesNoiseMovie(BZ_ProjPtr project) {
  if (project == nullptr) return false;
  UInt32 types = 0;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  if (host->getValidSelectedProcessTypes(host->refCon, &project->info.settings.cleaning, &types) != noErr)
    return false;
  return (types & (kBZ_AverageTypeFlag | kBZ_NoiseRedTypeFlag | kBZ_VarBrTypeFlag)) == 0;
}

OSStatus BZ_SetUpNoiseCompressionSequence(BZ_ProjPtr project) {
  if (project == nullptr) return paramErr;
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(project->dynIO_Info.buffInfo, 1);
  ImageDescriptionHandle desc = project->info.dynMovieInfo.targetDesc[1];
  if (write == nullptr || desc == nullptr) return paramErr;
  const BZ_InputSett &input = project->info.settings.input;
  const BZ_StatMovInfo &src = project->info.statMovInfo[0];
  const Rect r = TargetPictureRect(project->info);
  const SInt32 w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return paramErr;
  SInt32 bufferWidth = 0;
  OSStatus err = BZ_GetBufferSize(src.height, src.width, input.interlaced, nullptr, &bufferWidth, nullptr);
  if (err != noErr) return err;
  const SInt32 rowBytes = bufferWidth * 2;
  const ptrdiff_t start = ptrdiff_t(r.top) * rowBytes + ptrdiff_t(r.left) * 2;
  const Rect bounds{0, 0, SInt16(h), SInt16(w)};
  SInt32 maxSize = 0;
  if ((err = GetMaxCompressionSize(nullptr, &bounds, 0, codecLosslessQuality, kBZ_NoiseMovieCodec, bestFidelityCodec,
                                   &maxSize)) != noErr)
    return err;
  // The main thread compresses into a buffer of the write stage's frame size: more would overrun it.
  if (size_t(maxSize) > BZ_GetNoiseCompressBufferSize(project)) return codecErr;
  for (SInt32 i = 0; i < write->numFrameBuffers && i < kBZ_MaxFrameBuffers; ++i) {
    BZ_FrameBuffInfo &fb = write->frameBuffInfo[i];
    if (fb.comprSeqID != 0) {
      PL_EndCompressionSequence(fb.comprSeqID);
      fb.comprSeqID = 0;
    }
    // A table kept from an earlier project may hold a world over another crop: always a new one.
    if (fb.offscreen != nullptr) DisposeGWorld(fb.offscreen);
    fb.offscreen = nullptr;
    fb.pixMap = nullptr;
    if ((err = QTNewGWorldFromPtr(&fb.offscreen, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, fb.ptr + start,
                                  rowBytes)) != noErr)
      return err;
    fb.pixMap = GetGWorldPixMap(fb.offscreen);
    if ((err = CompressSequenceBegin(&fb.comprSeqID, fb.pixMap, nullptr, &bounds, nullptr, 0, kBZ_NoiseMovieCodec,
                                     bestFidelityCodec, codecLosslessQuality, 0, 0, nullptr, 0, desc)) != noErr)
      return err;
  }
  return noErr;
}

OSStatus BZ_GetM_JPEG_Sett(BZ_ProjPtr project, Handle *settings) {
  if (project == nullptr || settings == nullptr) return paramErr;
  const Boolean topFirst = project->info.settings.input.topFieldFirst;
  return GetSettingsResource(CFSTR("M-JPEG Settings"), topFirst ? CFSTR("mjpa even") : CFSTR("mjpa odd"), settings);
}

OSStatus BZ_GetAicSett(BZ_ProjPtr project, Handle *settings) {
  if (project == nullptr || settings == nullptr) return paramErr;
  const BZ_InputSett &input = project->info.settings.input;
  CFStringRef key = !input.interlaced      ? CFSTR("AIC progressive")
                    : input.topFieldFirst ? CFSTR("AIC top")
                                          : CFSTR("AIC bottom");
  return GetSettingsResource(gBZ.procInfo.isIntel ? CFSTR("AIC Settings") : CFSTR("AIC Settings PPC"), key, settings);
}

OSStatus BZ_SetUpCompressionSequence(BZ_ProjPtr project, SInt32 fileNum) {
  if (project == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return paramErr;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *compr = BZ_GetComprBuffInfo(table);
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(table, fileNum);
  ImageDescriptionHandle desc = project->info.dynMovieInfo.targetDesc[fileNum];
  if (compr == nullptr || write == nullptr || desc == nullptr) return paramErr;
  const BZ_InputSett &input = project->info.settings.input;
  const BZ_StatMovInfo &src = project->info.statMovInfo[0];
  const Rect r = TargetPictureRect(project->info);
  const SInt32 w = r.right - r.left, h = r.bottom - r.top;
  CodecType codecType = 0;
  CodecQ quality = 0;
  BZ_GetCompressionCodec(project->info.settings.output.cType, BZ_IsPALSource(&src), input.interlaced, &codecType,
                         &quality);
  SInt32 bufferWidth = 0;
  OSStatus err = BZ_GetBufferSize(src.height, src.width, input.interlaced, nullptr, &bufferWidth, nullptr);
  if (err != noErr) return err;
  const SInt32 rowBytes = bufferWidth * 2;
  const ptrdiff_t start = ptrdiff_t(r.top) * rowBytes + ptrdiff_t(r.left) * 2;
  const Rect bounds{0, 0, SInt16(h), SInt16(w)};
  ComponentInstance compressor = nullptr;
  if ((err = OpenConfiguredCompressor(project, codecType, &compressor)) != noErr) return err;
  const CompressorComponent codec =
      compressor != nullptr ? reinterpret_cast<CompressorComponent>(compressor) : bestFidelityCodec;
  err = BeginCompressionSequences(compr, start, rowBytes, bounds, codecType, codec, quality, desc,
                                  &project->dynIO_Info.maxComprSize);
  // The sequences took the compressor's settings when they began.
  CloseComponent(compressor);
  return err;
}

namespace {

OSStatus BeginCompressionSequences(BZ_BuffInfo *compr, ptrdiff_t start, SInt32 rowBytes, const Rect &bounds,
                                   CodecType codecType, CompressorComponent codec, CodecQ quality,
                                   ImageDescriptionHandle desc, SInt32 *maxComprSize) {
  OSStatus err = noErr;
  for (SInt32 i = 0; i < compr->numFrameBuffers && i < kBZ_MaxFrameBuffers; ++i) {
    BZ_FrameBuffInfo &fb = compr->frameBuffInfo[i];
    if (fb.comprSeqID != 0) {
      PL_EndCompressionSequence(fb.comprSeqID);
      fb.comprSeqID = 0;
    }
    if (fb.offscreen == nullptr &&
        (err = QTNewGWorldFromPtr(&fb.offscreen, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, fb.ptr + start,
                                  rowBytes)) != noErr)
      return err;
    fb.pixMap = GetGWorldPixMap(fb.offscreen);
    if ((err = CompressSequenceBegin(&fb.comprSeqID, fb.pixMap, nullptr, nullptr, nullptr, 0, codecType, codec,
                                     quality, 0, 0, nullptr, 0, desc)) != noErr)
      return err;
    if (i == 0) {
      SInt32 maxSize = 0;
      if ((err = GetMaxCompressionSize(fb.pixMap, nullptr, 0, quality, codecType, codec, &maxSize)) != noErr)
        return err;
      if (maxSize <= 0) return codecErr;
      *maxComprSize = maxSize;
    }
  }
  return noErr;
}

}  // namespace

SInt32 BZ_GetNumProjects() {
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return 0;
  const BZ_ExecuteState exec = project->state.exec;
  return exec == kBZ_ProjStateBeingOpened || exec == kBZ_ProjStateExecuting ? 1 : 0;
}
