// Files that are not QuickTime movies open through libavformat as read-only movies: raw DV, MPEG-1 and MPEG-2
// program and elementary streams and AVI files report what ffprobe reports (frames, rate, size, field order,
// sound), their samples are the bytes ffmpeg demultiplexes, damaged files give errors and no crash, and the
// files are never written.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/av_import.h"
#include "platform/movie/dv_audio.h"
#include "platform/movie/image_descriptions.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using bz_test::ShellQuote;

struct ImportCase {
  const char *name;
  const char *file;       // the file's name, its extension chooses nothing here
  const char *make;       // ffmpeg arguments after the test inputs
  bool sound;             // a sine tone goes in too
  OSType cType;
  OSType soundFormat;     // 0: no sound track
};

// 0.4 s of a moving test card (and a tone): 10 PAL or 12 NTSC frames.
const ImportCase kCases[] = {
    {"dv_pal", "pal.dv", "-vf setfield=bff -pix_fmt yuv420p -flags +ildct+ilme -c:v dvvideo -c:a pcm_s16le -ac 2 -f dv",
     true, 'dvcp', 'vdva'},
    {"dv_ntsc", "ntsc.dv", "-r 30000/1001 -s 720x480 -pix_fmt yuv411p -c:v dvvideo -c:a pcm_s16le -ac 2 -f dv", true,
     'dvc ', 'vdva'},
    {"dv50", "dv50.dv", "-pix_fmt yuv422p -c:v dvvideo -f dv", false, 'dv5p', 0},
    {"mpeg2_ps", "ps.mpg",
     "-c:v mpeg2video -g 6 -bf 2 -b:v 6M -flags +ildct+ilme -top 0 -c:a mp2 -b:a 192k -ac 2 -f vob", true, 'm2v ',
     '.mp2'},
    {"mpeg2_ps_ac3", "ps_ac3.vob", "-c:v mpeg2video -g 6 -bf 2 -b:v 6M -c:a ac3 -ac 2 -f vob", true, 'm2v ', 'ac-3'},
    {"mpeg1_ps", "mpeg1.mpg", "-s 352x288 -c:v mpeg1video -g 6 -bf 2 -c:a mp2 -ac 2 -f mpeg", true, 'm1v ', '.mp2'},
    {"mpeg2_es", "es.m2v", "-c:v mpeg2video -g 6 -bf 2 -b:v 6M -f mpeg2video", false, 'm2v ', 0},
    {"avi_mjpeg", "mjpeg.avi", "-s 320x240 -c:v mjpeg -q:v 3 -c:a pcm_s16le -ac 2 -f avi", true, 'jpeg', 'sowt'},
    {"avi_dv", "dv.avi", "-pix_fmt yuv420p -c:v dvvideo -c:a pcm_s16le -ac 2 -f avi", true, 'dvcp', 'sowt'},
    {"avi_uyvy", "uyvy.avi", "-s 160x120 -c:v rawvideo -pix_fmt uyvy422 -f avi", false, '2vuy', 0},
};

std::ostream &operator<<(std::ostream &os, const ImportCase &c) { return os << c.name; }

// Makes the case's file in dir; its path.
std::string MakeFile(const bz_test::TempDir &dir, const ImportCase &c) {
  const std::string path = dir.File(c.file);
  const bool ntsc = std::string(c.make).find("30000/1001") != std::string::npos;
  std::string inputs = std::string("-f lavfi -i testsrc2=s=720x576:r=") + (ntsc ? "30000/1001" : "25") + ":d=0.4";
  if (c.sound) inputs += " -f lavfi -i sine=f=440:r=48000:d=0.4";
  EXPECT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y " + inputs + " " + c.make + " " + ShellQuote(path))) << c.name;
  return path;
}

// What ffmpeg's demultiplexer hands out for a stream, its packets one after another.
std::string DemuxedBytes(const std::string &path, const char *stream) {
  std::string out;
  EXPECT_EQ(0, bz_test::RunCommand("ffmpeg -v error -i " + ShellQuote(path) + " -map 0:" + stream +
                                       " -c copy -f data -",
                                   &out));
  return out;
}

// The first frame's field order as ffprobe's decoder sees it: 1 progressive, 2 interlaced; top first.
void FfprobeFields(const std::string &path, int *fields, bool *topFirst) {
  std::string out;
  bz_test::RunCommand("ffprobe -v error -select_streams v:0 -read_intervals %+#1 -show_frames -show_entries "
                      "frame=interlaced_frame,top_field_first -of default=nw=1 " + ShellQuote(path),
                      &out);
  *fields = out.find("interlaced_frame=1") != std::string::npos ? 2 : 1;
  *topFirst = out.find("top_field_first=1") != std::string::npos;
}

// The movie's samples of a media in decode order, one after another.
std::string SampleBytes(Media media) {
  std::string all;
  Handle h = NewHandle(0);
  for (SInt32 n = 1; n <= GetMediaSampleCount(media); ++n) {
    TimeValue t = 0, d = 0;
    SampleNumToMediaTime(media, n, &t, &d);
    SInt32 size = 0;
    EXPECT_EQ(noErr, GetMediaSample(media, h, 0, &size, t, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr))
        << "sample " << n;
    all.append(*h, size_t(size));
  }
  DisposeHandle(h);
  return all;
}

Handle DataRefFor(const std::string &path) {
  Handle ref = nullptr;
  OSType type = 0;
  EXPECT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &ref, &type));
  return ref;
}

class AvImport : public ::testing::TestWithParam<ImportCase> {
 protected:
  void SetUp() override {
    if (!bz_test::RequireFfmpeg()) GTEST_SKIP();
    path_ = MakeFile(dir_, GetParam());
    bytes_ = bz_test::ReadWholeFile(path_);
    ASSERT_FALSE(bytes_.empty());
  }
  bz_test::TempDir dir_;
  std::string path_;
  std::vector<uint8_t> bytes_;
};

TEST_P(AvImport, OpensAsFfprobeReportsIt) {
  const ImportCase &c = GetParam();
  Handle ref = DataRefFor(path_);
  Boolean graphics = true, asMovie = false;
  ASSERT_EQ(noErr, CanQuickTimeOpenDataRef(ref, URLDataHandlerSubType, &graphics, &asMovie, nullptr, 0));
  EXPECT_TRUE(asMovie);
  EXPECT_FALSE(graphics);
  Movie movie = nullptr;
  ASSERT_EQ(noErr, NewMovieFromDataRef(&movie, newMovieActive, nullptr, ref, URLDataHandlerSubType));
  DisposeHandle(ref);

  auto v = bz_test::ProbeStream(path_, "v:0");
  Track video = GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType);
  ASSERT_NE(nullptr, video);
  EXPECT_EQ(nullptr, GetMovieIndTrackType(movie, 2, VideoMediaType, movieTrackMediaType));
  Media media = GetTrackMedia(video);
  Handle desc = NewHandle(0);
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  ASSERT_EQ(noErr, GetMoviesError());
  const ImageDescription id = **reinterpret_cast<ImageDescriptionHandle>(desc);
  EXPECT_EQ(c.cType, id.cType);
  EXPECT_EQ(v["width"], std::to_string(id.width));
  EXPECT_EQ(v["height"], std::to_string(id.height));
  EXPECT_EQ(v["nb_read_frames"], std::to_string(GetMediaSampleCount(media)));
  // Frames evenly spaced at ffprobe's rate, from movie time 0.
  TimeValue firstTime = -1, firstDuration = 0;
  SampleNumToMediaTime(media, 1, &firstTime, &firstDuration);
  const std::string rate = v["r_frame_rate"];
  const long num = std::atol(rate.c_str()), den = std::atol(rate.c_str() + rate.find('/') + 1);
  EXPECT_EQ(long(GetMediaTimeScale(media)) * den, long(firstDuration) * num) << rate;
  EXPECT_EQ(0, GetTrackOffset(video));
  EXPECT_NEAR(double(GetMediaSampleCount(media)) * den / num,
              double(GetTrackDuration(video)) / GetMovieTimeScale(movie), 1e-3);
  int fields = 0;
  bool topFirst = false;
  FfprobeFields(path_, &fields, &topFirst);
  Handle fiel = nullptr;
  if (GetImageDescriptionExtension(reinterpret_cast<ImageDescriptionHandle>(desc), &fiel, 'fiel', 1) == noErr) {
    const UInt8 *f = reinterpret_cast<const UInt8 *>(*fiel);
    EXPECT_EQ(fields, f[0]);
    if (fields == 2) {
      EXPECT_EQ(topFirst ? 9 : 14, f[1]);
    }
    DisposeHandle(fiel);
  } else {
    EXPECT_EQ(1, fields) << "an interlaced source without field information";
  }
  DisposeHandle(desc);
  // The samples are the stream's bytes as ffmpeg demultiplexes them.
  EXPECT_TRUE(DemuxedBytes(path_, "v:0") == SampleBytes(media));

  Track sound = GetMovieIndTrackType(movie, 1, SoundMediaType, movieTrackMediaType);
  if (c.soundFormat == 0) {
    EXPECT_EQ(nullptr, sound);
  } else {
    ASSERT_NE(nullptr, sound);
    auto a = bz_test::ProbeStream(path_, "a:0");
    Media soundMedia = GetTrackMedia(sound);
    Handle sdesc = NewHandle(0);
    GetMediaSampleDescription(soundMedia, 1, reinterpret_cast<SampleDescriptionHandle>(sdesc));
    const SoundDescription sd = **reinterpret_cast<SoundDescriptionHandle>(sdesc);
    DisposeHandle(sdesc);
    EXPECT_EQ(c.soundFormat, sd.dataFormat);
    EXPECT_EQ(a["sample_rate"], std::to_string(sd.sampleRate >> 16));
    EXPECT_EQ(a["channels"], std::to_string(sd.numChannels));
    if (c.soundFormat == 'vdva') {
      // DV sound lies inside the video frames: the 'vdva' samples are those frames, and the sound extracted from
      // them is ffmpeg's reading of the stream's sound.
      EXPECT_EQ(GetMediaSampleCount(media), GetMediaSampleCount(soundMedia));
      std::string expected;
      ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -i " + ShellQuote(path_) + " -map 0:a:0 -f s16be -", &expected));
      Handle pcm = NewHandle(0);
      ASSERT_EQ(noErr, PL_ExtractDVAudio(soundMedia, 0, -1, pcm, nullptr, nullptr, nullptr));
      EXPECT_TRUE(expected == std::string(*pcm, size_t(GetHandleSize(pcm))));
      DisposeHandle(pcm);
    } else {
      EXPECT_TRUE(DemuxedBytes(path_, "a:0") == SampleBytes(soundMedia));
    }
  }
  DisposeMovie(movie);
  EXPECT_TRUE(bytes_ == bz_test::ReadWholeFile(path_)) << "the file was written";
}

// The file of an imported movie is the user's source: storing the movie into it is refused and leaves it as
// it was. Stored elsewhere, a movie whose samples lie in the pieces of a program stream cannot be named.
TEST_P(AvImport, TheSourceIsNeverWritten) {
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path_, &movie));
  Handle ref = DataRefFor(path_);
  DataHandler dh = nullptr;
  ASSERT_EQ(noErr, OpenMovieStorage(ref, URLDataHandlerSubType, kDataHCanRead | kDataHCanWrite, &dh));
  EXPECT_EQ(wrPermErr, AddMovieToStorage(movie, dh));
  EXPECT_EQ(wrPermErr, UpdateMovieInStorage(movie, dh));
  EXPECT_EQ(noErr, CloseMovieStorage(dh));
  DisposeHandle(ref);
  EXPECT_TRUE(bytes_ == bz_test::ReadWholeFile(path_));

  const std::string other = dir_.File("reference.mov");
  Handle otherRef = DataRefFor(other);
  ASSERT_EQ(noErr, CreateMovieStorage(otherRef, URLDataHandlerSubType, 'TVOD', 0, 0, &dh, nullptr));
  const std::string name = GetParam().file;
  const bool programStream = name.find(".mpg") != std::string::npos || name.find(".vob") != std::string::npos;
  EXPECT_EQ(programStream ? couldNotResolveDataRef : noErr, AddMovieToStorage(movie, dh));
  EXPECT_EQ(noErr, CloseMovieStorage(dh));
  DisposeHandle(otherRef);
  DisposeMovie(movie);
  EXPECT_TRUE(bytes_ == bz_test::ReadWholeFile(path_));
}

INSTANTIATE_TEST_SUITE_P(Files, AvImport, ::testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ImportCase> &info) { return std::string(info.param.name); });

// ---- Files that do not import ----

OSErr OpenResult(const std::string &path, Movie *movie) {
  Handle ref = DataRefFor(path);
  OSErr err = NewMovieFromDataRef(movie, 0, nullptr, ref, URLDataHandlerSubType);
  DisposeHandle(ref);
  return err;
}

TEST(AvImportRefusals, FilesOfOtherKindsAreNoMovies) {
  bz_test::TempDir dir;
  std::vector<uint8_t> text(4000);
  for (size_t i = 0; i < text.size(); ++i) text[i] = uint8_t("just some words\n"[i % 16]);
  std::vector<uint8_t> noise(70000);
  std::srand(11);
  for (auto &b : noise) b = uint8_t(std::rand());
  for (const auto &[name, bytes] : {std::pair{"notes.mpg", text}, std::pair{"noise.dv", noise},
                                    std::pair{"empty.avi", std::vector<uint8_t>{}}}) {
    SCOPED_TRACE(name);
    const std::string path = dir.File(name);
    ASSERT_TRUE(bz_test::WriteWholeFile(path, bytes));
    EXPECT_FALSE(PL_CanImportMovieFile(path));
    Movie movie = nullptr;
    EXPECT_EQ(noMovieFound, OpenResult(path, &movie));
    EXPECT_EQ(nullptr, movie);
  }
}

// Truncated and garbled streams open with what they still hold, or give an error; drawing what opened gives a
// picture or an error; nothing crashes and the file is not touched.
TEST(AvImportDamage, TruncatedAndGarbledFilesGiveWhatTheyHoldOrAnError) {
  if (!bz_test::RequireFfmpeg()) GTEST_SKIP();
  bz_test::TempDir dir;
  for (const ImportCase &c : kCases) {
    const std::string name = c.name;
    if (name != "dv_pal" && name != "mpeg2_ps" && name != "avi_mjpeg" && name != "mpeg2_es") continue;
    const std::string path = MakeFile(dir, c);
    const std::vector<uint8_t> whole = bz_test::ReadWholeFile(path);
    for (int k = 1; k <= 7; ++k) {
      SCOPED_TRACE(name + " cut or garbled, step " + std::to_string(k));
      std::vector<uint8_t> bytes(whole.begin(), whole.begin() + ptrdiff_t(whole.size() * size_t(k) / 8));
      if (k % 2 == 0) {
        // Garbled instead of cut: a stretch of random bytes in the middle.
        bytes = whole;
        std::srand(unsigned(k));
        for (size_t i = whole.size() * size_t(k) / 16; i < whole.size() * size_t(k) / 16 + 3000; ++i)
          bytes[i] = uint8_t(std::rand());
      }
      const std::string damaged = dir.File("damaged_" + std::string(c.file));
      ASSERT_TRUE(bz_test::WriteWholeFile(damaged, bytes));
      Movie movie = nullptr;
      OSErr err = OpenResult(damaged, &movie);
      if (err != noErr) {
        EXPECT_TRUE(err == noMovieFound || err == kPL_MovieSampleTableErr) << err;
        continue;
      }
      Track track = GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType);
      ASSERT_NE(nullptr, track);
      Rect box{};
      GetMovieBox(movie, &box);
      GWorldPtr world = nullptr;
      ASSERT_EQ(noErr, QTNewGWorld(&world, k2vuyPixelFormat, &box, nullptr, nullptr, 0));
      SetMovieGWorld(movie, world, nullptr);
      OSType eyes = VisualMediaCharacteristic;
      TimeValue t = 0;
      GetMovieNextInterestingTime(movie, nextTimeMediaSample | nextTimeEdgeOK, 1, &eyes, 0, fixed1, &t, nullptr);
      while (t >= 0) {
        SetMovieTimeValue(movie, t);
        MoviesTask(movie, 0);
        const OSErr drawn = GetMovieStatus(movie, nullptr);
        EXPECT_TRUE(drawn == noErr || drawn == codecBadDataErr || drawn == eofErr) << drawn;
        GetMovieNextInterestingTime(movie, nextTimeMediaSample, 1, &eyes, t, fixed1, &t, nullptr);
      }
      DisposeMovie(movie);
      DisposeGWorld(world);
      EXPECT_TRUE(bytes == bz_test::ReadWholeFile(damaged));
    }
  }
}

// A DV stream cut inside a frame keeps its whole frames; less than one frame is no movie.
TEST(AvImportDamage, DVKeepsItsWholeFrames) {
  if (!bz_test::RequireFfmpeg()) GTEST_SKIP();
  bz_test::TempDir dir;
  const std::string path = MakeFile(dir, kCases[0]);
  ASSERT_EQ(0, truncate(path.c_str(), 3 * 144000 + 5000));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, OpenResult(path, &movie));
  EXPECT_EQ(3, GetMediaSampleCount(GetTrackMedia(GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType))));
  DisposeMovie(movie);
  ASSERT_EQ(0, truncate(path.c_str(), 100000));
  EXPECT_EQ(noMovieFound, OpenResult(path, &movie));
}

}  // namespace
