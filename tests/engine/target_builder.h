// A project left as project start and the write stage leave it, made without the stages: the source movie
// opened and described, the target movie file created with its video track, media and description, the
// 16-byte 'mdat' header and the frames written into the file, and the sample references added to the media.
// Saving, export, deletion and the sound copy run on it.
#pragma once

#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_types.h"
#include "general/file_layer.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "movie/track_copying.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace bz_test {

// What the progress display and the log were told.
struct RecordedHost {
  std::vector<std::string> logLines;
  std::vector<OSStatus> shownErrors;
  std::vector<std::pair<SInt32, std::string>> texts;
  std::vector<SInt32> barValues;
  BZ_AppPrefs prefs{};
  BZ_ProjDlgState dlgState{};

  static std::string Text(CFStringRef s) {
    char buf[1024] = {};
    if (s != nullptr) CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8);
    return buf;
  }
  void Install() {
    prefs.copySound = true;
    prefs.maxIRE = 120;
    BZ_EngineHost h{};
    h.refCon = this;
    h.getAppPrefs = [](void *r, BZ_AppPrefs *p) { *p = static_cast<RecordedHost *>(r)->prefs; };
    h.getDialogStatePtr = [](void *r) { return &static_cast<RecordedHost *>(r)->dlgState; };
    h.setProjectMessageInLog = [](void *r, CFStringRef t) {
      static_cast<RecordedHost *>(r)->logLines.push_back(Text(t));
      return OSStatus(noErr);
    };
    h.showError = [](void *r, OSStatus e) { static_cast<RecordedHost *>(r)->shownErrors.push_back(e); };
    h.getProgressBar = [](void *r, SInt32 *v, SInt32 *m) {
      auto *self = static_cast<RecordedHost *>(r);
      *v = self->barValues.empty() ? 0 : self->barValues.back();
      *m = 1000;
      return OSStatus(noErr);
    };
    h.setProgressBarValue = [](void *r, SInt32 v) { static_cast<RecordedHost *>(r)->barValues.push_back(v); };
    h.setProgressText = [](void *r, SInt32 item, CFStringRef t) {
      static_cast<RecordedHost *>(r)->texts.emplace_back(item, Text(t));
    };
    BZ_SetEngineHost(&h);
  }
  bool Logged(const std::string &line) const {
    for (const std::string &l : logLines)
      if (l == line) return true;
    return false;
  }
  bool Shown(SInt32 item, const std::string &text) const {
    for (const auto &t : texts)
      if (t.first == item && t.second == text) return true;
    return false;
  }
};

// The bytes of each sample of a media, in order.
inline std::vector<std::vector<UInt8>> MediaSamples(Media media) {
  std::vector<std::vector<UInt8>> samples;
  Handle h = NewHandle(0);
  for (SInt32 n = 1; n <= GetMediaSampleCount(media); ++n) {
    TimeValue t = 0, d = 0;
    SampleNumToMediaTime(media, n, &t, &d);
    SInt32 size = 0;
    EXPECT_EQ(noErr, GetMediaSample(media, h, 0, &size, t, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr));
    samples.emplace_back(*h, *h + size);
  }
  DisposeHandle(h);
  return samples;
}

// The samples of a movie's first enabled video track, by our own reader (none for a movie that cannot be
// opened).
inline std::vector<std::vector<UInt8>> MovieFrames(const std::string &path) {
  Movie movie = nullptr;
  if (OpenMovieAtPath(path, &movie) != noErr) return {};
  Track track = QT_GetFirstEnabledVisualTrack(movie);
  std::vector<std::vector<UInt8>> frames = track != nullptr ? MediaSamples(GetTrackMedia(track)) : decltype(frames){};
  DisposeMovie(movie);
  return frames;
}

// Opens the source at srcPath as source 0 of the project and creates target 0 ("out.mov" in dir) whose video
// samples are `frames` (each one sample of frameDuration in the source video's time scale) described by a
// copy of the source video's first description. The target file is left as the last write stage leaves it:
// header, frames, fork closed; the main thread has added the sample references.
inline void BuildWrittenTarget(BZ_Project *project, const TempDir &dir, const std::string &srcPath,
                               const std::string &targetName = "out.mov") {
  BZ_ProjInfo &info = project->info;
  BZ_DynMovieInfo &dyn = info.dynMovieInfo;
  FSRef srcRef = RefFor(srcPath);
  info.srcFileData[0].fileRef = srcRef;
  ASSERT_EQ(noErr, QT_OpenMovieFile(&srcRef, 0, &dyn.sourceMovie[0]));
  Movie src = dyn.sourceMovie[0];
  Track srcTrack = QT_GetFirstEnabledVisualTrack(src);
  ASSERT_NE(nullptr, srcTrack);
  Media srcMedia = GetTrackMedia(srcTrack);
  Handle desc = NewHandle(0);
  GetMediaSampleDescription(srcMedia, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  ASSERT_EQ(noErr, GetMoviesError());
  auto imageDesc = reinterpret_cast<ImageDescriptionHandle>(desc);
  // The pipeline writes its own description: no extensions.
  Handle plain = NewHandleClear(sizeof(ImageDescription));
  std::memcpy(*plain, *desc, sizeof(ImageDescription));
  reinterpret_cast<ImageDescription *>(*plain)->idSize = sizeof(ImageDescription);
  DisposeHandle(desc);
  imageDesc = reinterpret_cast<ImageDescriptionHandle>(plain);

  BZ_StatMovInfo &stat = info.statMovInfo[0];
  stat.cType = (**imageDesc).cType;
  stat.width = (**imageDesc).width;
  stat.height = (**imageDesc).height;
  stat.numFrames = GetMediaSampleCount(srcMedia);
  stat.numVisualTracks = QT_CountEnabledVisualTracks(src);
  stat.hasOneSimpleVideoTrack = stat.numVisualTracks == 1;
  stat.gamma = 2.2f;
  stat.hasSound = QT_CountSoundTracks(src) > 0;
  Boolean hasFiel = false, interlaced = false, tff = false;
  QT_GetFielData(srcMedia, &hasFiel, &interlaced, &tff);
  stat.hasFielExt = hasFiel;
  stat.interlaced = interlaced;
  stat.topFieldFirst = tff;
  info.settings.input.interlaced = interlaced;
  info.settings.input.topFieldFirst = tff;
  info.settings.output.cType = stat.cType;

  BZ_TargetFileData &target = info.targetFileData[0];
  target.parentRef = RefFor(dir.path());
  CFStringRef name = CFStringCreateWithCString(nullptr, targetName.c_str(), kCFStringEncodingUTF8);
  ASSERT_EQ(noErr, QT_CreateMovieFile(&target.parentRef, name, 'Orl1', createMovieFileDeleteCurFile, &target.fileRef,
                                      &dyn.targetMovie[0]));
  CFRelease(name);
  SetMovieTimeScale(dyn.targetMovie[0], GetMovieTimeScale(src));
  ASSERT_EQ(noErr, QT_NewVideoTrack(dyn.targetMovie[0], &target.fileRef, stat.height, stat.width,
                                    GetMediaTimeScale(srcMedia), &dyn.targetTrack[0], &dyn.targetMedia[0]));
  dyn.targetDesc[0] = imageDesc;

  // The write stage: header, then every frame appended.
  FSIORefNum fork = 0;
  ASSERT_EQ(noErr, GL_OpenDataFork(&target.fileRef, fsRdWrPerm, &fork));
  ASSERT_EQ(noErr, FSSetForkPosition(fork, fsFromStart, 0));
  ASSERT_EQ(noErr, QT_WriteInitialMdatHeader(fork));
  std::vector<SampleReference64Record> refs;
  Handle sample = NewHandle(0);
  for (SInt32 n = 1; n <= GetMediaSampleCount(srcMedia); ++n) {
    TimeValue t = 0, d = 0;
    SampleNumToMediaTime(srcMedia, n, &t, &d);
    SInt32 size = 0;
    ASSERT_EQ(noErr, GetMediaSample(srcMedia, sample, 0, &size, t, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr));
    SInt64 offset = 0;
    ASSERT_EQ(noErr, FSGetForkPosition(fork, &offset));
    ASSERT_EQ(noErr, FSWriteFork(fork, fsAtMark, 0, ByteCount(size), *sample, nullptr));
    refs.push_back(SampleReference64Record{offset, UInt32(size), d, 1, 0});
  }
  DisposeHandle(sample);
  ASSERT_EQ(noErr, FSCloseFork(fork));
  ASSERT_EQ(noErr, AddMediaSampleReferences64(dyn.targetMedia[0], reinterpret_cast<SampleDescriptionHandle>(imageDesc),
                                              SInt32(refs.size()), refs.data(), nullptr));
}

// Closes what the project still holds open after a test (the project record itself is the test's).
inline void ReleaseProjectMovies(BZ_Project *project) {
  BZ_DynMovieInfo &dyn = project->info.dynMovieInfo;
  for (int i = 0; i < kBZ_MaxNumFiles; ++i) {
    if (dyn.sourceMovie[i] != nullptr) DisposeMovie(dyn.sourceMovie[i]);
    if (dyn.targetMovie[i] != nullptr) DisposeMovie(dyn.targetMovie[i]);
    if (dyn.targetDesc[i] != nullptr) DisposeHandle(reinterpret_cast<Handle>(dyn.targetDesc[i]));
    dyn.sourceMovie[i] = dyn.targetMovie[i] = nullptr;
    dyn.targetDesc[i] = nullptr;
  }
}

// ffmpeg's decode of one stream of a file as raw bytes ("-map 0:v -f rawvideo -pix_fmt uyvy422", ...).
inline std::string Decode(const std::string &path, const std::string &args) {
  std::string out;
  EXPECT_EQ(0, RunCommand("ffmpeg -v error -i " + ShellQuote(path) + " " + args + " -", &out)) << path;
  return out;
}

}  // namespace bz_test
