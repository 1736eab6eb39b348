// Components and movie exporters: finding and opening exporters the way the movie library does, their
// settings containers and properties, the settings dialog seam, and the QuickTime movie export (samples,
// stretches, progress, cancel, requests it cannot honour).
#include "platform/movie/components.h"
#include "platform/movie/exporters.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_export_jobs.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <vector>

namespace {

struct Exporter {
  MovieExportComponent ci = nullptr;
  explicit Exporter(OSType subType) { EXPECT_EQ(noErr, OpenADefaultComponent(MovieExportType, subType, &ci)); }
  ~Exporter() { CloseComponent(ci); }
};

bool FileExists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::vector<UInt8> Bytes(Handle h) { return std::vector<UInt8>(*h, *h + GetHandleSize(h)); }

TEST(PlatformComponents, ExportersAreFoundLikeTheMenuFindsThem) {
  // Exporters that can export files and from procedures (flags and mask 0x8010).
  ComponentDescription looking{MovieExportType, 0, 0, canMovieExportFiles | canMovieExportFromProcedures,
                               canMovieExportFiles | canMovieExportFromProcedures};
  std::vector<OSType> found;
  for (Component c = FindNextComponent(nullptr, &looking); c != nullptr; c = FindNextComponent(c, &looking)) {
    ComponentDescription cd{};
    Handle name = NewHandle(0);
    ASSERT_EQ(noErr, GetComponentInfo(c, &cd, name, nullptr, nullptr));
    EXPECT_EQ(MovieExportType, cd.componentType);
    EXPECT_EQ(cd.componentSubType == kQTFileTypeAIFF ? kSoundManufacturer : kAppleManufacturer,
              cd.componentManufacturer);
    if (cd.componentSubType == 'MooV') {
      EXPECT_EQ("QuickTime Movie", std::string(*name + 1, size_t(**name)));
    }
    DisposeHandle(name);
    found.push_back(cd.componentSubType);
  }
  EXPECT_NE(found.end(), std::find(found.begin(), found.end(), OSType('MooV')));
  EXPECT_EQ(SInt32(found.size()), CountComponents(&looking));

  // No such exporter.
  MovieExportComponent ci = nullptr;
  EXPECT_EQ(badComponentType, OpenADefaultComponent(MovieExportType, 'none', &ci));
  EXPECT_EQ(nullptr, ci);
  ComponentDescription wrongFlags{MovieExportType, 'MooV', 0, 1u << 30, 1u << 30};
  EXPECT_EQ(nullptr, FindNextComponent(nullptr, &wrongFlags));
}

TEST(PlatformComponents, InstancesSelectorsAndResources) {
  Exporter movie('MooV');
  ASSERT_NE(nullptr, movie.ci);
  EXPECT_TRUE(ComponentFunctionImplemented(movie.ci, kMovieExportSetSettingsFromAtomContainerSelect));
  EXPECT_TRUE(ComponentFunctionImplemented(movie.ci, kMovieExportGetFileNameExtensionSelect));
  EXPECT_FALSE(ComponentFunctionImplemented(movie.ci, 21));
  OSType extension = 0;
  EXPECT_EQ(noErr, MovieExportGetFileNameExtension(movie.ci, &extension));
  EXPECT_EQ(OSType('mov '), extension);

  // The source list: 'comp' atoms holding the description and the 'src#' resource.
  ComponentDescription looking{MovieExportType, 'MooV', 0, 0, 0};
  QTAtomContainer list = nullptr;
  ASSERT_EQ(noErr, GetComponentPublicResourceList('src#', 1, 0, &looking, nullptr, nullptr, &list));
  QTAtom comp = QTFindChildByIndex(list, kParentAtomIsContainer, 'comp', 1, nullptr);
  ASSERT_NE(0, comp);
  SInt32 size = 0;
  Ptr data = nullptr;
  ASSERT_EQ(noErr, QTGetAtomDataPtr(list, QTFindChildByIndex(list, comp, 'cmpd', 1, nullptr), &size, &data));
  ASSERT_EQ(20, size);
  EXPECT_EQ(OSType('MooV'), PL_GetBE32(reinterpret_cast<UInt8 *>(data) + 4));
  ASSERT_EQ(noErr, QTGetAtomDataPtr(list, QTFindChildByIndex(list, comp, 'src#', 1, nullptr), &size, &data));
  const UInt8 *src = reinterpret_cast<UInt8 *>(data);
  ASSERT_GE(size, 8);
  UInt32 count = PL_GetBE32(src);
  ASSERT_EQ(SInt32(8 + 12 * count), size);
  bool video = false, sound = false;
  for (UInt32 i = 0; i < count; ++i) {
    OSType type = PL_GetBE32(src + 8 + 12 * i);
    UInt32 flags = PL_GetBE32(src + 8 + 12 * i + 8);
    video |= type == 'vide' && (flags & 4);
    sound |= type == 'soun' && (flags & 4);
  }
  EXPECT_TRUE(video && sound);
  QTDisposeAtomContainer(list);

  Handle resource = nullptr;
  Component component = PL_GetComponentOfInstance(movie.ci);
  EXPECT_EQ(noErr, GetComponentPublicResource(component, 'src#', 1, &resource));
  DisposeHandle(resource);
  EXPECT_EQ(resNotFound, GetComponentPublicResource(component, 'cpix', 1, &resource));

  // A closed instance is refused everywhere.
  MovieExportComponent closed = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent(MovieExportType, 'MooV', &closed));
  ASSERT_EQ(noErr, CloseComponent(closed));
  EXPECT_EQ(badComponentInstance, CloseComponent(closed));
  EXPECT_EQ(badComponentInstance, MovieExportGetFileNameExtension(closed, &extension));
  Boolean on = true;
  EXPECT_EQ(badComponentInstance, QTSetComponentProperty(closed, 'spit', 'hrau', 1, &on));
  EXPECT_FALSE(ComponentFunctionImplemented(closed, kMovieExportGetFileNameExtensionSelect));
}

TEST(PlatformExporters, SettingsArePrivateCopies) {
  Exporter movie('MooV');
  QTAtomContainer settings = nullptr;
  ASSERT_EQ(noErr, MovieExportGetSettingsAsAtomContainer(movie.ci, &settings));
  ASSERT_EQ(noErr, PL_CheckAtomContainer(settings));
  std::vector<UInt8> defaults = Bytes(settings);
  // Video is copied unless asked otherwise.
  QTAtom envi = QTFindChildByIndex(settings, 0, 'envi', 1, nullptr);
  ASSERT_NE(0, envi);
  Ptr data = nullptr;
  ASSERT_EQ(noErr, QTGetAtomDataPtr(settings, envi, nullptr, &data));
  EXPECT_EQ(0, data[0]);

  // Changing the copy does not change the exporter; handing it back does.
  UInt8 on = 1;
  ASSERT_EQ(noErr, QTSetAtomData(settings, envi, 1, &on));
  QTAtomContainer again = nullptr;
  ASSERT_EQ(noErr, MovieExportGetSettingsAsAtomContainer(movie.ci, &again));
  EXPECT_EQ(defaults, Bytes(again));
  QTDisposeAtomContainer(again);
  ASSERT_EQ(noErr, MovieExportSetSettingsFromAtomContainer(movie.ci, settings));
  ASSERT_EQ(noErr, MovieExportGetSettingsAsAtomContainer(movie.ci, &again));
  EXPECT_EQ(Bytes(settings), Bytes(again));
  QTDisposeAtomContainer(again);

  // Damaged settings are refused and change nothing.
  std::vector<UInt8> damaged = Bytes(settings);
  damaged[15] ^= 0x40;
  Handle bad = nullptr;
  ASSERT_EQ(noErr, PtrToHand(damaged.data(), &bad, Size(damaged.size())));
  EXPECT_EQ(invalidAtomContainerErr, MovieExportSetSettingsFromAtomContainer(movie.ci, bad));
  ASSERT_EQ(noErr, MovieExportGetSettingsAsAtomContainer(movie.ci, &again));
  EXPECT_EQ(Bytes(settings), Bytes(again));
  QTDisposeAtomContainer(again);
  DisposeHandle(bad);
  QTDisposeAtomContainer(settings);
}

TEST(PlatformExporters, HighResolutionAudioProperty) {
  Exporter movie('MooV');
  Boolean value = true;
  ByteCount used = 0;
  ASSERT_EQ(noErr, QTGetComponentProperty(movie.ci, 'spit', 'hrau', 1, &value, &used));
  EXPECT_FALSE(value);
  Boolean on = 1;
  ASSERT_EQ(noErr, QTSetComponentProperty(movie.ci, 'spit', 'hrau', 1, &on));
  ASSERT_EQ(noErr, QTGetComponentProperty(movie.ci, 'spit', 'hrau', 1, &value, &used));
  EXPECT_TRUE(value);
  EXPECT_EQ(1u, used);
  UInt32 wide = 1;
  EXPECT_EQ(kQTPropertyBadValueSizeErr, QTSetComponentProperty(movie.ci, 'spit', 'hrau', 4, &wide));
  EXPECT_EQ(kQTPropertyNotSupportedErr, QTSetComponentProperty(movie.ci, 'spit', 'nope', 1, &on));
  EXPECT_EQ(kQTPropertyNotSupportedErr, QTSetComponentProperty(movie.ci, 'imco', 'hrau', 1, &on));
}

OSErr AcceptingDialog(OSType subType, const char *, Movie, QTAtomContainer settings, Boolean *canceled) {
  EXPECT_EQ(OSType('MooV'), subType);
  UInt8 on = 1;
  *canceled = false;
  return QTSetAtomData(settings, QTFindChildByIndex(settings, 0, 'enso', 1, nullptr), 1, &on);
}

OSErr CancelingDialog(OSType, const char *, Movie, QTAtomContainer settings, Boolean *canceled) {
  UInt8 on = 1;
  QTSetAtomData(settings, QTFindChildByIndex(settings, 0, 'envi', 1, nullptr), 1, &on);
  *canceled = true;
  return noErr;
}

TEST(PlatformExporters, SettingsDialogGoesThroughTheInstalledProcedure) {
  Exporter movie('MooV');
  Boolean canceled = false;
  EXPECT_EQ(badComponentSelector, MovieExportDoUserDialog(movie.ci, nullptr, nullptr, 0, 0, &canceled));

  QTAtomContainer before = nullptr;
  ASSERT_EQ(noErr, MovieExportGetSettingsAsAtomContainer(movie.ci, &before));
  PL_SetMovieExportDialogProc(CancelingDialog);
  EXPECT_EQ(noErr, MovieExportDoUserDialog(movie.ci, nullptr, nullptr, 0, 0, &canceled));
  EXPECT_TRUE(canceled);
  QTAtomContainer after = nullptr;
  ASSERT_EQ(noErr, MovieExportGetSettingsAsAtomContainer(movie.ci, &after));
  EXPECT_EQ(Bytes(before), Bytes(after));
  QTDisposeAtomContainer(after);

  PL_SetMovieExportDialogProc(AcceptingDialog);
  EXPECT_EQ(noErr, MovieExportDoUserDialog(movie.ci, nullptr, nullptr, 0, 0, &canceled));
  EXPECT_FALSE(canceled);
  ASSERT_EQ(noErr, MovieExportGetSettingsAsAtomContainer(movie.ci, &after));
  Ptr data = nullptr;
  ASSERT_EQ(noErr, QTGetAtomDataPtr(after, QTFindChildByIndex(after, 0, 'enso', 1, nullptr), nullptr, &data));
  EXPECT_EQ(1, data[0]);
  QTDisposeAtomContainer(after);
  QTDisposeAtomContainer(before);
  PL_SetMovieExportDialogProc(nullptr);
}

// ---- The QuickTime movie export ----

struct SourceMovie {
  bz_test::TempDir dir;
  bz_test::FixtureMovieInfo info;
  Movie movie = nullptr;
  SourceMovie() {
    bz_test::FixtureMovieSpec spec;
    spec.frames = 10;
    EXPECT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("source.mov"), spec, &info));
    EXPECT_EQ(noErr, bz_test::OpenMovieAtPath(dir.File("source.mov"), &movie));
  }
  ~SourceMovie() { DisposeMovie(movie); }
};

OSErr ExportTo(MovieExportComponent ci, const std::string &path, Movie movie, TimeValue start, TimeValue duration) {
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSErr err = PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &dataRefType);
  if (err != noErr) return err;
  err = MovieExportToDataRef(ci, dataRef, dataRefType, movie, nullptr, start, duration);
  DisposeHandle(dataRef);
  return err;
}

Track FirstTrackOf(Movie movie, OSType type) { return GetMovieIndTrackType(movie, 1, type, 1); }

std::vector<UInt8> FrameAt(Movie movie, TimeValue movieTime) {
  Track track = FirstTrackOf(movie, VideoMediaType);
  Media media = GetTrackMedia(track);
  Handle data = NewHandle(0);
  SInt32 size = 0;
  EXPECT_EQ(noErr, GetMediaSample(media, data, 0, &size, TrackTimeToMediaTime(movieTime, track), nullptr, nullptr,
                                  nullptr, nullptr, 1, nullptr, nullptr));
  std::vector<UInt8> bytes(*data, *data + size);
  DisposeHandle(data);
  return bytes;
}

TEST(PlatformExporters, QuickTimeMovieExportCopiesTheWholeMovie) {
  SourceMovie source;
  Exporter movie('MooV');
  const std::string out = source.dir.File("export.mov");
  TimeValue duration = GetMovieDuration(source.movie);
  ASSERT_EQ(noErr, ExportTo(movie.ci, out, source.movie, 0, duration));

  Movie exported = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(out, &exported));
  EXPECT_EQ(GetMovieTimeScale(source.movie), GetMovieTimeScale(exported));
  EXPECT_EQ(duration, GetMovieDuration(exported));
  EXPECT_EQ(2, GetMovieTrackCount(exported));
  for (size_t f = 0; f < source.info.frames.size(); ++f)
    EXPECT_EQ(source.info.frames[f], FrameAt(exported, TimeValue(f * 24))) << f;  // 600 / 25 per frame
  // The sound's samples come across as they are.
  Media sound = GetTrackMedia(FirstTrackOf(exported, SoundMediaType));
  EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(FirstTrackOf(source.movie, SoundMediaType))), GetMediaSampleCount(sound));
  Handle data = NewHandle(0);
  SInt32 size = 0;
  ASSERT_EQ(noErr, GetMediaSample(sound, data, 0, &size, 0, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr));
  ASSERT_LE(size_t(size), source.info.sound.size());
  EXPECT_EQ(0, std::memcmp(*data, source.info.sound.data(), size_t(size)));
  DisposeHandle(data);
  DisposeMovie(exported);

  // Another program reads the export.
  if (bz_test::RequireFfmpeg()) {
    auto video = bz_test::ProbeStream(out, "v:0");
    EXPECT_EQ("48", video["width"]);
    EXPECT_EQ("10", video["nb_frames"]);
  }
}

TEST(PlatformExporters, QuickTimeMovieExportOfAStretch) {
  SourceMovie source;
  Exporter movie('MooV');
  const std::string out = source.dir.File("stretch.mov");
  // Frames 3 to 6 (movie time 72 to 168), starting in the middle of frame 3's display.
  ASSERT_EQ(noErr, ExportTo(movie.ci, out, source.movie, 80, 88));
  Movie exported = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(out, &exported));
  EXPECT_EQ(88, GetMovieDuration(exported));
  EXPECT_EQ(source.info.frames[3], FrameAt(exported, 0));
  // Media times are whole units, so a frame boundary may move by one of them: look just past it.
  EXPECT_EQ(source.info.frames[4], FrameAt(exported, 17));
  EXPECT_EQ(source.info.frames[6], FrameAt(exported, 87));
  // Only the frames shown were copied.
  EXPECT_EQ(4, GetMediaSampleCount(GetTrackMedia(FirstTrackOf(exported, VideoMediaType))));
  DisposeMovie(exported);
}

struct ProgressLog {
  std::vector<SInt16> messages;
  std::vector<Fixed> percents;
  SInt32 cancelAfter = -1;
};

OSErr LogProgress(Movie, SInt16 message, SInt16 operation, Fixed percent, SRefCon refcon) {
  auto *log = static_cast<ProgressLog *>(refcon);
  EXPECT_EQ(progressOpExportMovie, operation);
  log->messages.push_back(message);
  if (message == movieProgressUpdatePercent) log->percents.push_back(percent);
  if (log->cancelAfter >= 0 && SInt32(log->percents.size()) > log->cancelAfter) return userCanceledErr;
  return noErr;
}

TEST(PlatformExporters, ExportProgressAndCancel) {
  SourceMovie source;
  Exporter movie('MooV');
  ProgressLog log;
  ASSERT_EQ(noErr, MovieExportSetProgressProc(movie.ci, LogProgress, &log));
  const std::string out = source.dir.File("progress.mov");
  ASSERT_EQ(noErr, ExportTo(movie.ci, out, source.movie, 0, GetMovieDuration(source.movie)));
  ASSERT_GE(log.messages.size(), 3u);
  EXPECT_EQ(movieProgressOpen, log.messages.front());
  EXPECT_EQ(movieProgressClose, log.messages.back());
  EXPECT_TRUE(std::is_sorted(log.percents.begin(), log.percents.end()));
  EXPECT_EQ(fixed1, log.percents.back());

  // A cancel stops the export, which returns it and leaves no file behind.
  ProgressLog cancel;
  cancel.cancelAfter = 2;
  ASSERT_EQ(noErr, MovieExportSetProgressProc(movie.ci, LogProgress, &cancel));
  const std::string canceled = source.dir.File("canceled.mov");
  EXPECT_EQ(userCanceledErr, ExportTo(movie.ci, canceled, source.movie, 0, GetMovieDuration(source.movie)));
  EXPECT_FALSE(FileExists(canceled));
  EXPECT_EQ(movieProgressClose, cancel.messages.back());
}

TEST(PlatformExporters, QuickTimeMovieExportRefusesRecompression) {
  SourceMovie source;
  Exporter movie('MooV');
  QTAtomContainer settings = nullptr;
  ASSERT_EQ(noErr, MovieExportGetSettingsAsAtomContainer(movie.ci, &settings));
  UInt8 on = 1;
  ASSERT_EQ(noErr, QTSetAtomData(settings, QTFindChildByIndex(settings, 0, 'envi', 1, nullptr), 1, &on));
  QTAtom video = QTFindChildByIndex(settings, 0, 'vide', 1, nullptr);
  UInt8 spatial[14] = {'j', 'p', 'e', 'g', 0, 0, 0, 0, 0, 24, 0, 0, 2, 0};
  ASSERT_EQ(noErr, QTSetAtomData(settings, QTFindChildByIndex(settings, video, 'sptl', 1, nullptr), 14, spatial));
  ASSERT_EQ(noErr, MovieExportSetSettingsFromAtomContainer(movie.ci, settings));
  const std::string out = source.dir.File("jpeg.mov");
  EXPECT_EQ(noCodecErr, ExportTo(movie.ci, out, source.movie, 0, GetMovieDuration(source.movie)));
  EXPECT_FALSE(FileExists(out));
  // Compression to the codec the samples have already is a copy.
  spatial[0] = '2', spatial[1] = 'v', spatial[2] = 'u', spatial[3] = 'y';
  ASSERT_EQ(noErr, QTSetAtomData(settings, QTFindChildByIndex(settings, video, 'sptl', 1, nullptr), 14, spatial));
  ASSERT_EQ(noErr, MovieExportSetSettingsFromAtomContainer(movie.ci, settings));
  EXPECT_EQ(noErr, ExportTo(movie.ci, out, source.movie, 0, GetMovieDuration(source.movie)));
  QTDisposeAtomContainer(settings);
  EXPECT_EQ(paramErr, ExportTo(movie.ci, out, source.movie, -1, 10));
}

// ---- DV stream and MPEG-4 ----


// Sets a settings leaf found by parent type (0: root) and type.
void SetLeaf(QTAtomContainer settings, OSType parentType, OSType type, std::vector<UInt8> bytes) {
  QTAtom parent = parentType != 0 ? QTFindChildByIndex(settings, 0, parentType, 1, nullptr) : 0;
  QTAtom atom = QTFindChildByIndex(settings, parent, type, 1, nullptr);
  ASSERT_NE(0, atom) << type;
  ASSERT_EQ(noErr, QTSetAtomData(settings, atom, SInt32(bytes.size()), bytes.data()));
}

std::vector<UInt8> Word(UInt32 v) { return {UInt8(v >> 24), UInt8(v >> 16), UInt8(v >> 8), UInt8(v)}; }

OSErr ExportWith(OSType subType, const std::function<void(QTAtomContainer)> &change, const std::string &path,
                 Movie movie, MovieProgressUPP progress = nullptr, SRefCon refcon = nullptr) {
  Exporter exporter(subType);
  QTAtomContainer settings = nullptr;
  OSErr err = MovieExportGetSettingsAsAtomContainer(exporter.ci, &settings);
  if (err != noErr) return err;
  change(settings);
  err = MovieExportSetSettingsFromAtomContainer(exporter.ci, settings);
  QTDisposeAtomContainer(settings);
  if (err == noErr) err = MovieExportSetProgressProc(exporter.ci, progress, refcon);
  if (err == noErr) err = ExportTo(exporter.ci, path, movie, 0, GetMovieDuration(movie));
  return err;
}

// The luma of each frame of a file, decoded by ffmpeg at the given size.
std::vector<std::vector<UInt8>> DecodedLuma(const std::string &path, int width, int height) {
  bz_test::TempDir dir;
  const std::string raw = dir.File("frames.yuv");
  bz_test::RunCommand("ffmpeg -v error -i " + bz_test::ShellQuote(path) + " -vf scale=" + std::to_string(width) + ":" +
                      std::to_string(height) + ":flags=area -f rawvideo -pix_fmt yuv444p " + bz_test::ShellQuote(raw));
  // The Y plane of each frame, in video range as it was coded.
  std::vector<UInt8> bytes = bz_test::ReadWholeFile(raw);
  std::vector<std::vector<UInt8>> frames;
  size_t size = size_t(width) * size_t(height);
  for (size_t at = 0; at + 3 * size <= bytes.size(); at += 3 * size)
    frames.emplace_back(bytes.begin() + at, bytes.begin() + at + size);
  return frames;
}

double LumaDistance(const std::vector<UInt8> &frame2vuy, const std::vector<UInt8> &luma) {
  double sum = 0;
  for (size_t i = 0; i < luma.size(); ++i) sum += std::abs(double(frame2vuy[2 * i + 1]) - double(luma[i]));
  return sum / double(luma.size());
}

// Each decoded frame is nearer to its own source frame than to its neighbour.
void ExpectFramesInOrder(const SourceMovie &source, const std::vector<std::vector<UInt8>> &decoded, double limit) {
  ASSERT_EQ(source.info.frames.size(), decoded.size());
  for (size_t f = 0; f < decoded.size(); ++f) {
    double own = LumaDistance(source.info.frames[f], decoded[f]);
    double other = LumaDistance(source.info.frames[(f + 1) % decoded.size()], decoded[f]);
    EXPECT_LT(own, limit) << f;
    EXPECT_LT(own * 2, other) << f;
  }
}

TEST(PlatformExporters, DVStreamExport) {
  if (!bz_test::RequireFfmpeg()) return;
  SourceMovie source;
  struct Case {
    const char *name;
    UInt8 ntsc, is16x9;
    OSType dvType;
    const char *height, *pixels, *aspect;
  };
  const Case cases[] = {
      {"Pal", 0, 0, 'dv  ', "576", "yuv420p", "4:3"},
      {"PalWide", 0, 1, 'dv  ', "576", "yuv420p", "16:9"},
      {"Ntsc", 1, 0, 'dv  ', "480", "yuv411p", "4:3"},
      {"Dvcpro50", 0, 0, 'dvp5', "576", "yuv422p", "4:3"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = source.dir.File(std::string(c.name) + ".dv");
    ASSERT_EQ(noErr, ExportWith(kQTFileTypeDVC,
                                [&](QTAtomContainer s) {
                                  SetLeaf(s, 0, 'dvcv', {c.ntsc});
                                  SetLeaf(s, 0, '16x9', {c.is16x9});
                                  SetLeaf(s, 0, 'dvcf', Word(c.dvType));
                                },
                                out, source.movie));
    auto video = bz_test::ProbeStream(out, "v:0");
    EXPECT_EQ("dvvideo", video["codec_name"]);
    EXPECT_EQ("720", video["width"]);
    EXPECT_EQ(c.height, video["height"]);
    EXPECT_EQ(c.pixels, video["pix_fmt"]);
    EXPECT_EQ(c.aspect, video["display_aspect_ratio"]);
    auto audio = bz_test::ProbeStream(out, "a:0");
    EXPECT_EQ("pcm_s16le", audio["codec_name"]);
    EXPECT_EQ("48000", audio["sample_rate"]);
    EXPECT_EQ("2", audio["channels"]);
    if (c.ntsc == 0) {
      // 10 frames of 25 per second, each the picture of its source frame.
      EXPECT_EQ("10", video["nb_read_frames"]);
      ExpectFramesInOrder(source, DecodedLuma(out, 48, 32), 20.0);  // scaled up 15 times and back
    }
  }
}

TEST(PlatformExporters, MPEG4Export) {
  if (!bz_test::RequireFfmpeg()) return;
  SourceMovie source;
  const std::string out = source.dir.File("movie.mp4");
  // A generous data rate keeps the small pictures close to the source.
  ASSERT_EQ(noErr, ExportWith(kQTFileTypeMP4, [](QTAtomContainer s) { SetLeaf(s, 'vide', 'tdrt', Word(2000000)); }, out,
                              source.movie));
  auto video = bz_test::ProbeStream(out, "v:0");
  EXPECT_EQ(PL_ExportH264Available() ? "h264" : "mpeg4", video["codec_name"]);
  EXPECT_EQ("48", video["width"]);
  EXPECT_EQ("32", video["height"]);
  EXPECT_EQ("10", video["nb_read_frames"]);
  auto audio = bz_test::ProbeStream(out, "a:0");
  EXPECT_EQ("aac", audio["codec_name"]);
  EXPECT_EQ("48000", audio["sample_rate"]);
  ExpectFramesInOrder(source, DecodedLuma(out, 48, 32), 6.0);

  // The settings' size and no sound.
  const std::string sized = source.dir.File("sized.mp4");
  ASSERT_EQ(noErr, ExportWith(kQTFileTypeMP4,
                              [](QTAtomContainer s) {
                                SetLeaf(s, 'isiz', 'iwdt', Word(96));
                                SetLeaf(s, 'isiz', 'ihgt', Word(65));
                                SetLeaf(s, 0, 'enso', {0});
                              },
                              sized, source.movie));
  video = bz_test::ProbeStream(sized, "v:0");
  EXPECT_EQ("96", video["width"]);
  EXPECT_EQ("64", video["height"]);  // 4:2:0 pictures have even sizes
  EXPECT_TRUE(bz_test::ProbeStream(sized, "a:0").empty());

  // Sound it cannot encode is refused, and so is a cancel, each leaving no file.
  const std::string refused = source.dir.File("refused.mp4");
  EXPECT_EQ(noCodecErr, ExportWith(kQTFileTypeMP4, [](QTAtomContainer s) { SetLeaf(s, 'soun', 'ssct', Word('ima4')); },
                                   refused, source.movie));
  EXPECT_FALSE(FileExists(refused));
  ProgressLog cancel;
  cancel.cancelAfter = 3;
  EXPECT_EQ(userCanceledErr, ExportWith(kQTFileTypeMP4, [](QTAtomContainer) {}, refused, source.movie, LogProgress, &cancel));
  EXPECT_FALSE(FileExists(refused));
}

}  // namespace
