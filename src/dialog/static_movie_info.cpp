// Static information of a source movie.
#include "dialog/static_movie_info.h"

#include "app/app_preferences.h"
#include "engine/runtime/dialog_items.h"
#include "engine/runtime/frame_selection.h"
#include "general/formatted_strings.h"
#include "general/memory_lists.h"
#include "general/unicode_strings.h"
#include "movie/image_descriptions.h"
#include "movie/movie_errors.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "movie/track_copying.h"
#include "movie/track_geometry.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/matrix_math.h"
#include "platform/core/memory.h"
#include "platform/core/quickdraw_pictures.h"
#include "platform/movie/movie_pictures.h"
#include "platform/movie/movie_properties.h"
#include "toolkit/dialog_items.h"

#include <cstdio>

namespace {

bool IsMpegKind(CodecType c) { return c == 'm2v ' || c == 'm1v ' || c == 'm2s ' || c == 'MPEG'; }

void Trace(const char *step) { std::printf("KBZ: %s\n", step); }

// Text and time-code tracks play no part in cleaning.
void DisableTextAndTimeCodeTracks(Movie movie) {
  const SInt32 count = GetMovieTrackCount(movie);
  for (SInt32 i = 1; i <= count; ++i) {
    Track track = GetMovieIndTrack(movie, i);
    OSType type = 0;
    if (track == nullptr || !GetTrackEnabled(track) || QT_GetTrackType(track, &type) != noErr) continue;
    if (type == 'text' || type == 'tmcd') SetTrackEnabled(track, false);
  }
}

OSStatus GetEncodedSize(Media media, SInt32 *height, SInt32 *width) {
  Handle desc = NewHandle(0);
  if (desc == nullptr) return memFullErr;
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  OSStatus err = GetMoviesError();
  auto image = reinterpret_cast<ImageDescriptionHandle>(desc);
  SInt32 w = 0, h = 0;
  if (err == noErr) {
    Trace("ICMImageDescriptionGetProperty 1");
    err = ICMImageDescriptionGetProperty(image, kQTPropertyClass_ImageDescription,
                                         kICMImageDescriptionPropertyID_EncodedWidth, sizeof w, &w, nullptr);
  }
  if (err == noErr) {
    Trace("ICMImageDescriptionGetProperty 2");
    err = ICMImageDescriptionGetProperty(image, kQTPropertyClass_ImageDescription,
                                         kICMImageDescriptionPropertyID_EncodedHeight, sizeof h, &h, nullptr);
  }
  DisposeHandle(desc);
  if (err == noErr) {
    *width = w;
    *height = h;
  }
  return err;
}

void SetBox(Movie movie, SInt32 height, SInt32 width) {
  const Rect box{0, 0, SInt16(height), SInt16(width)};
  SetMovieBox(movie, &box);
}

PL_CFScoped<CFStringRef> Localized(CFStringRef key) {
  return PL_CFScoped<CFStringRef>(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr));
}

}  // namespace

OSStatus BZ_GetStaticMovieInfo(Movie movie, BZ_StatMovInfo *info) {
  if (movie == nullptr || info == nullptr) return paramErr;
  if (info->cType != 0) return noErr;
  BZ_AppPrefs prefs{};
  BZ_GetAppPrefs(&prefs);

  // 1. Codec and tracks.
  Trace("getting static movie info");
  OSStatus err = QT_GetMovieCType(movie, &info->cType, false);
  if (err != noErr) return err;
  Trace("getting track list");
  if ((err = QT_GetTrackList(movie, &info->trackList)) != noErr) return err;

  // 2. Visual tracks other than text.
  const SInt32 textTracks = QT_CountEnabledTextTracks(movie);
  Trace("CountEnabledVisualTracks");
  info->numVisualTracks = QT_CountEnabledVisualTracks(movie) - textTracks;
  if (info->numVisualTracks <= 0) {
    info->numVisualTracks = 0;
    return kQT_NoVideoTrackErr;
  }
  info->numVideoTracks = QT_CountEnabledVideoTracks(movie);
  DisableTextAndTimeCodeTracks(movie);
  const bool oneTrack = info->numVisualTracks == 1;

  // 3.
  info->hasOneSimpleVideoTrack = false;
  if (oneTrack) {
    Trace("QT_MovieHasOneSimpleVideoTrack");
    if ((err = QT_MovieHasOneSimpleVideoTrack(movie, &info->hasOneSimpleVideoTrack)) != noErr) return err;
  }

  // 4. Poster and matrix; the box before and after the identity matrix, then at the origin. The stand-in's
  // movies carry no movie clip region, so there is none to keep.
  info->posterPict = GetMoviePosterPict(movie);
  GetMovieMatrix(movie, &info->movieMatrix);
  Rect box{};
  GetMovieBox(movie, &box);
  info->displayHeight = box.bottom - box.top;
  info->displayWidth = box.right - box.left;
  MatrixRecord identity{};
  SetIdentityMatrix(&identity);
  SetMovieMatrix(movie, &identity);
  info->movieClip = nullptr;
  GetMovieBox(movie, &box);
  info->height = info->naturalHeight = box.bottom - box.top;
  info->width = info->naturalWidth = box.right - box.left;
  SetBox(movie, info->height, info->width);

  // 5. Geometry.
  Track track = QT_GetFirstEnabledImageTrack(movie);
  Media media = track != nullptr ? GetTrackMedia(track) : nullptr;
  if (!oneTrack) {
    Trace("QT_MovieHasApertureModes");
    if ((err = QT_MovieHasApertureModes(movie, &info->movieHasApertureModeDimensions)) != noErr) return err;
    if (!info->movieHasApertureModeDimensions) {
      Trace("QT_AllVisualTracksHaveApertureModeDimensions");
      err = QT_AllVisualTracksHaveApertureModeDimensions(movie, &info->movieHasApertureModeDimensions);
      if (err != noErr) return err;
    }
    if (info->movieHasApertureModeDimensions) {
      Trace("QT_SetMovieApertureMode");
      if ((err = QT_SetMovieApertureMode(movie, 'clea')) != noErr) return err;
    }
  } else {
    if (track == nullptr || media == nullptr) return kQT_NoVideoTrackErr;
    info->trackClip = GetTrackClipRgn(track);
    SetTrackClipRgn(track, nullptr);
    GetTrackMatrix(track, &info->trackMatrix);
    SetTrackMatrix(track, &identity);
    if (!IsMpegKind(info->cType)) {
      if ((err = GetEncodedSize(media, &info->height, &info->width)) != noErr) return err;
      SetBox(movie, info->height, info->width);
    }
  }

  // 6. Time scales: a movie scale that does not divide into frames of the media takes the media's.
  info->movieTimeScale = GetMovieTimeScale(movie);
  if (oneTrack) {
    info->mediaTimeScale = GetMediaTimeScale(media);
    if (info->mediaTimeScale >= 600 && info->movieTimeScale % info->mediaTimeScale != 0 &&
        QT_CountNonEmptyTrackEdits(track, 0, GetMovieDuration(movie)) == 1) {
      SetMovieTimeScale(movie, info->mediaTimeScale);
      info->movieTimeScale = info->mediaTimeScale;
    }
  }

  // 7.
  info->videoDuration = QT_GetMovieVideoDuration(movie, nullptr, nullptr);
  Trace("QT_GetMovieGamma2");
  if ((err = QT_GetMovieGamma2(movie, nullptr, &info->gamma)) != noErr) return err;
  if (info->gamma == -1.0f) info->gamma = kBZ_Gamma20by9;

  // 8. Field, clean-aperture and pixel-aspect information.
  if (oneTrack) {
    Trace("QT_GetFielData");
    if ((err = QT_GetFielData(media, &info->hasFielExt, &info->interlaced, &info->topFieldFirst)) != noErr) return err;
    Trace("QT_GetClapData");
    if ((err = QT_GetClapData(media, &info->hasClapExt, &info->clapExt)) != noErr) return err;
    Trace("QT_GetPaspData");
    if ((err = QT_GetPaspData(media, &info->hasPaspExt, &info->paspExt)) != noErr) return err;
  }

  // 9. Frames and their duration.
  if (IsMpegKind(info->cType) && oneTrack) {
    Trace("QT_GetMpegInfo");
    err = QT_GetMpegInfo(movie, &info->isPAL, &info->numFrames, &info->frameDuration, &info->frameDurationF);
    if (err != noErr) return err;
    // 23.976 frames per second at 90 kHz: 2997 / 125 counts the same frames in whole units.
    if (info->movieTimeScale == 90000 && info->frameDuration == 3753) {
      SetMovieTimeScale(movie, 2997);
      info->movieTimeScale = 2997;
      info->frameDuration = 125;
      info->frameDurationF = 125.0;
      info->videoDuration = GetMovieDuration(movie);
    }
    if (info->cType == 'm2v ' || info->cType == 'm2s ') {
      SInt32 realHeight = info->height, realWidth = info->width;
      QT_GuessRealMpegMediaDimensions(info->cType, info->isPAL, info->height, info->width, prefs.anamorphic1080,
                                      &realHeight, &realWidth);
      info->height = realHeight;
      info->width = realWidth;
      SetBox(movie, info->height, info->width);
    }
  } else {
    Trace("QT_GetNumVisualMovieSamples");
    if ((err = QT_GetNumVisualMovieSamples(movie, 0, GetMovieDuration(movie), &info->numFrames)) != noErr) return err;
    if (info->numFrames > 0) {
      info->frameDuration = info->videoDuration / info->numFrames;
      info->frameDurationF = double(info->videoDuration) / info->numFrames;
    }
  }

  // 10.
  if ((err = BZ_MakeMovieTimeList(movie, info)) != noErr) return err;
  if (info->hasOneSimpleVideoTrack) {
    Trace("GetMediaDataRefCount");
    if ((err = GetMediaDataRefCount(media, &info->numDataRefIndexes)) != noErr) return err;
  }
  info->hasSound = QT_GetFirstEnabledSoundTrack(movie) != nullptr;

  // 11.
  if (info->numFrames <= 0) return kQT_NoVideoTrackErr;
  info->avFrameDuration =
      float(GetMovieDuration(movie)) / float(info->movieTimeScale) / float(info->numFrames);

  // 12. 'yuv2' is full range unless the user says otherwise; as video range it takes video's gamma.
  if (info->cType == 'yuv2' || info->cType == 'yuvu') {
    info->isVideoRange = prefs.yuv2IsVideoRange;
    if (info->isVideoRange) info->gamma = kBZ_Gamma20by9;
  } else {
    info->isVideoRange = true;
  }

  // 13.
  Trace("QT_GetMovieTotalMediaSize64");
  UInt64 size = 0;
  if ((err = QT_GetMovieTotalMediaSize64(movie, &size)) != noErr) return err;
  info->mediaDataSize = SInt64(size);
  Trace("BZ_GetStaticMovieInfo exiting");
  return noErr;
}

void BZ_DisposeStaticMovieInfo(WindowRef window, SInt32 fileNum) {
  if (gBZ.project == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return;
  BZ_ProjInfo &projInfo = gBZ.project->info;
  BZ_StatMovInfo &info = projInfo.statMovInfo[fileNum];
  info.cType = 0;
  info.numFrames = 0;
  QT_DisposeMovie(&projInfo.dynMovieInfo.sourceMovie[fileNum]);
  if (info.timeList != nullptr) GL_DisposePtr(&info.timeList);
  if (info.trackList != nullptr) LL_DisposeLinkedList(&info.trackList);
  if (info.trackClip != nullptr) {
    DisposeRgn(info.trackClip);
    info.trackClip = nullptr;
  }
  if (info.movieClip != nullptr) {
    DisposeRgn(info.movieClip);
    info.movieClip = nullptr;
  }
  if (fileNum == 0 && info.posterPict != nullptr) {
    if (window != nullptr) GL_SetPictureInImageWell(window, HIViewID{kBZ_DialogItemSignature, 2025}, nullptr);
    KillPicture(info.posterPict);
    info.posterPict = nullptr;
  }
}

OSStatus BZ_CreateMovieInfoText(const BZ_StatMovInfo *info, CFMutableStringRef *infoText) {
  if (info == nullptr || infoText == nullptr) return paramErr;
  *infoText = nullptr;
  const SInt32 scale = info->movieTimeScale > 0 ? info->movieTimeScale : 1;
  const SInt32 total = info->videoDuration / scale;
  const SInt32 hours = total / 3600, minutes = (total % 3600) / 60, seconds = total % 60;
  const bool sameSize = info->width == info->naturalWidth && info->height == info->naturalHeight;
  CFStringRef sizeKey = !sameSize                                   ? CFSTR("BZ Media size")
                        : GetMatrixType(&info->movieMatrix) > 1 ? CFSTR("BZ Unscaled movie size")
                                                                    : CFSTR("BZ Movie size");
  PL_CFScoped<CFStringRef> first{CF_StringCreateWithFormat(
      CFSTR("%@: %ld x %ld, %@: %ld\n%@: %ldh %ldm %lds"), Localized(sizeKey).get(), info->width, info->height,
      Localized(CFSTR("BZ #frames")).get(), info->numFrames, Localized(CFSTR("BZ duration")).get(), hours, minutes,
      seconds)};
  PL_CFScoped<CFStringRef> second;
  if (info->cType == 0xFFFFFFFF) {
    second.reset(CF_StringCreateWithFormat(CFSTR("\n%@: %ld"), Localized(CFSTR("BZ Movie time scale")).get(),
                                           info->movieTimeScale));
  } else {
    const char codec[5] = {char(info->cType >> 24), char(info->cType >> 16), char(info->cType >> 8),
                           char(info->cType), 0};
    second.reset(CF_StringCreateWithFormat(CFSTR("\n%@: %ld, %@: %s"), Localized(CFSTR("BZ Movie time scale")).get(),
                                           info->movieTimeScale, Localized(CFSTR("BZ compressor")).get(), codec));
  }
  CFMutableStringRef text = CFStringCreateMutable(nullptr, 0);
  if (text == nullptr || first.get() == nullptr || second.get() == nullptr) {
    if (text != nullptr) CFRelease(text);
    return memFullErr;
  }
  CFStringAppend(text, first.get());
  CFStringAppend(text, second.get());
  CFStringAppend(text, CFSTR("\n"));
  CFStringAppend(text, Localized(CFSTR("BZ Data size")).get());
  GL_AddByteSizeString(info->mediaDataSize, text);
  *infoText = text;
  return noErr;
}
