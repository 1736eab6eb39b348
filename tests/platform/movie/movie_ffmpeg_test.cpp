// Movies written by ffmpeg open with the right tracks, time scales, sample counts and sample references.
// The references are checked against the packet positions and sizes that ffprobe reports.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace {

struct Range {
  SInt64 offset;
  UInt64 size;
  bool sync;
  bool operator==(const Range &o) const { return offset == o.offset && size == o.size && sync == o.sync; }
};

std::ostream &operator<<(std::ostream &os, const Range &r) {
  return os << "{" << r.offset << ", " << r.size << (r.sync ? ", sync}" : "}");
}

// Our sample references from time 0 on, one range per sample (or merged where they touch).
std::vector<Range> OurRanges(Media media, bool merge) {
  std::vector<Range> ranges;
  TimeValue t = 0;
  while (t < GetMediaDuration(media)) {
    SampleReference64Record refs[16];
    SInt32 count = 0;
    TimeValue sampleTime = 0;
    if (GetMediaSampleReferences64(media, t, &sampleTime, nullptr, nullptr, 16, &count, refs) != noErr || count == 0) break;
    TimeValue advance = 0;
    for (SInt32 i = 0; i < count; ++i) {
      const SampleReference64Record &r = refs[i];
      bool sync = (r.sampleFlags & mediaSampleNotSync) == 0;
      if (merge) {
        if (!ranges.empty() && ranges.back().offset + SInt64(ranges.back().size) == r.dataOffset)
          ranges.back().size += r.dataSize;
        else
          ranges.push_back(Range{r.dataOffset, r.dataSize, true});
      } else {
        for (UInt32 s = 0; s < r.numberOfSamples; ++s)
          ranges.push_back(Range{r.dataOffset + SInt64(s * (r.dataSize / r.numberOfSamples)),
                                 r.dataSize / r.numberOfSamples, sync});
      }
      advance += r.durationPerSample * TimeValue(r.numberOfSamples);
    }
    if (advance == 0) break;
    t = sampleTime + advance;
  }
  return ranges;
}

// ffprobe's packets of a stream, in file order.
std::vector<Range> ProbeRanges(const std::string &path, const std::string &stream, bool merge) {
  std::string out;
  bz_test::RunCommand("ffprobe -v error -select_streams " + stream +
                          " -show_entries packet=pos,size,flags -of compact=p=0 " + bz_test::ShellQuote(path),
                      &out);
  std::vector<Range> ranges;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    Range r{0, 0, false};
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '|')) {
      size_t eq = field.find('=');
      std::string key = field.substr(0, eq), value = field.substr(eq + 1);
      if (key == "pos") r.offset = std::stoll(value);
      if (key == "size") r.size = std::stoull(value);
      if (key == "flags") r.sync = value.find('K') != std::string::npos;
    }
    if (merge && !ranges.empty() && ranges.back().offset + SInt64(ranges.back().size) == r.offset)
      ranges.back().size += r.size;
    else
      ranges.push_back(merge ? Range{r.offset, r.size, true} : r);
  }
  std::sort(ranges.begin(), ranges.end(), [](const Range &a, const Range &b) { return a.offset < b.offset; });
  return ranges;
}

struct ExpectedTrack {
  OSType mediaType;
  TimeScale timeScale;
  SInt32 sampleCount;
  OSType format;
};

struct FfmpegCase {
  const char *name;
  const char *args;
  std::vector<ExpectedTrack> tracks;
};

const FfmpegCase kCases[] = {
    {"uyvy_with_sound",
     "-f lavfi -i testsrc=s=48x32:r=25:d=0.24 -f lavfi -i sine=r=48000:d=0.24 -c:v rawvideo -pix_fmt uyvy422 "
     "-tag:v 2vuy -c:a pcm_s16be -ac 2",
     {{'vide', 12800, 6, '2vuy'}, {'soun', 48000, 11520, 'twos'}}},
    {"dv_pal",
     "-f lavfi -i testsrc=s=720x576:r=25:d=0.12 -f lavfi -i sine=r=48000:d=0.12 -c:v dvvideo -pix_fmt yuv420p "
     "-c:a pcm_s16le -ac 2",
     {{'vide', 12800, 3, 'dvcp'}, {'soun', 48000, 5760, 'sowt'}}},
    {"motion_jpeg", "-f lavfi -i testsrc=s=64x48:r=25:d=0.2 -c:v mjpeg -q:v 4", {{'vide', 12800, 5, 'jpeg'}}},
    {"reordered_frames", "-f lavfi -i testsrc=s=64x48:r=25:d=0.4 -c:v mpeg4 -bf 2 -g 6", {{'vide', 12800, 10, 'mp4v'}}},
    {"leading_empty_edit",
     "-itsoffset 0.2 -f lavfi -i testsrc=s=64x48:r=25:d=0.2 -f lavfi -i sine=r=48000:d=0.4 -fps_mode passthrough "
     "-c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy -c:a pcm_s16be",
     {{'vide', 12800, 5, '2vuy'}, {'soun', 48000, 19200, 'twos'}}},
};

class FfmpegMovies : public ::testing::TestWithParam<FfmpegCase> {
 protected:
  void SetUp() override {
    if (!bz_test::RequireFfmpeg()) return;
    path_ = dir_.File(std::string(GetParam().name) + ".mov");
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y " + std::string(GetParam().args) +
                                     " -fflags +bitexact -flags +bitexact " + bz_test::ShellQuote(path_)));
    ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path_, &movie_));
  }
  void TearDown() override { DisposeMovie(movie_); }

  bz_test::TempDir dir_;
  std::string path_;
  Movie movie_ = nullptr;
};

TEST_P(FfmpegMovies, TracksTimeScalesCountsAndReferencesMatchTheFile) {
  const FfmpegCase &c = GetParam();
  ASSERT_EQ(SInt32(c.tracks.size()), GetMovieTrackCount(movie_));
  for (size_t i = 0; i < c.tracks.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "track " << i + 1);
    const ExpectedTrack &e = c.tracks[i];
    Media media = GetTrackMedia(GetMovieIndTrack(movie_, SInt32(i) + 1));
    OSType type = 0;
    GetMediaHandlerDescription(media, &type, nullptr, nullptr);
    EXPECT_EQ(e.mediaType, type);
    EXPECT_EQ(e.timeScale, GetMediaTimeScale(media));
    EXPECT_EQ(e.sampleCount, GetMediaSampleCount(media));
    Handle desc = NewHandle(0);
    GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
    ASSERT_EQ(noErr, GetMoviesError());
    EXPECT_EQ(e.format, reinterpret_cast<SampleDescription *>(*desc)->dataFormat);
    DisposeHandle(desc);
    bool sound = type == SoundMediaType;
    std::string stream = std::string(sound ? "a" : "v") + ":0";
    EXPECT_EQ(ProbeRanges(path_, stream, sound), OurRanges(media, sound));
  }
}

TEST_P(FfmpegMovies, OurMovieAtomOfTheFileIsStable) {
  std::vector<UInt8> first, second;
  ASSERT_EQ(noErr, PL_BuildMovieAtom(movie_, path_, &first));
  std::unique_ptr<PL_MovieRecord> again;
  ASSERT_EQ(noErr, PL_ParseMovieAtom(first.data() + 8, first.size() - 8, path_, &again));
  ASSERT_EQ(noErr, PL_BuildMovieAtom(again.get(), path_, &second));
  EXPECT_EQ(first, second);
}

INSTANTIATE_TEST_SUITE_P(Files, FfmpegMovies, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Edit lists: the empty edit before the video and the media offset of reordered frames.
TEST(FfmpegMovieEdits, EmptyEditAndMediaOffsetsMapTrackTime) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  std::string shifted = dir.File("shifted.mov"), reordered = dir.File("reordered.mov");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -itsoffset 0.2 -f lavfi -i testsrc=s=64x48:r=25:d=0.2 "
                                   "-fps_mode passthrough -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " +
                                   bz_test::ShellQuote(shifted)));
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=64x48:r=25:d=0.4 -c:v mpeg4 -bf 2 -g 6 " +
                                   bz_test::ShellQuote(reordered)));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(shifted, &movie));
  Track track = GetMovieIndTrack(movie, 1);
  EXPECT_EQ(1000, GetMovieTimeScale(movie));
  EXPECT_EQ(200, GetTrackOffset(track));
  EXPECT_EQ(400, GetTrackDuration(track));
  EXPECT_EQ(-1, TrackTimeToMediaTime(199, track));
  EXPECT_EQ(0, TrackTimeToMediaTime(200, track));
  EXPECT_EQ(640, TrackTimeToMediaTime(250, track));  // 50 ms at 12800
  EXPECT_EQ(-1, TrackTimeToMediaTime(400, track));
  DisposeMovie(movie);

  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(reordered, &movie));
  track = GetMovieIndTrack(movie, 1);
  EXPECT_EQ(0, GetTrackOffset(track));
  EXPECT_EQ(512, TrackTimeToMediaTime(0, track));  // the decode delay of one frame
  EXPECT_TRUE(GetTrackMedia(track)->hasCompositionOffsets);
  DisposeMovie(movie);
}

// Rewrites a movie so that its media data lies beyond 4 GiB: a sparse 'free' atom before it and 'co64'
// chunk offsets in the movie atom. Only generic atom code is used, so the file still is ffmpeg's movie.
std::vector<UInt8> ShiftChunkOffsets(const UInt8 *p, size_t n, UInt64 shift) {
  PL_AtomWriter w;
  UInt64 offset = 0;
  PL_AtomHeader h;
  while (PL_NextAtom(p, n, &offset, &h, paramErr) == noErr) {
    const UInt8 *body = p + h.offset + h.headerSize;
    size_t size = size_t(h.size - h.headerSize);
    switch (h.type) {
      case 'moov':
      case 'trak':
      case 'mdia':
      case 'minf':
      case 'stbl': {
        std::vector<UInt8> inner = ShiftChunkOffsets(body, size, shift);
        w.Begin(h.type);
        w.PutBytes(inner.data(), inner.size());
        w.End();
        break;
      }
      case 'stco': {
        UInt32 count = PL_GetBE32(body + 4);
        w.BeginFull('co64', 0, 0);
        w.Put32(count);
        for (UInt32 i = 0; i < count; ++i) w.Put64(PL_GetBE32(body + 8 + 4 * i) + shift);
        w.End();
        break;
      }
      default:
        w.Begin(h.type);
        w.PutBytes(body, size);
        w.End();
    }
  }
  return w.bytes;
}

TEST(FfmpegMovieWideOffsets, ChunkOffsetsBeyondFourGigabytesOpen) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  std::string small = dir.File("small.mov"), large = dir.File("large.mov");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=48x32:r=25:d=0.24 -f lavfi -i "
                                   "sine=r=48000:d=0.24 -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy -c:a pcm_s16be " +
                                   bz_test::ShellQuote(small)));
  std::vector<uint8_t> bytes = bz_test::ReadWholeFile(small);
  // Top level of ffmpeg's file: ftyp, wide, mdat, moov.
  UInt64 offset = 0, mdatAt = 0, mdatEnd = 0, moovAt = 0, moovSize = 0;
  PL_AtomHeader h;
  while (PL_NextAtom(bytes.data(), bytes.size(), &offset, &h, paramErr) == noErr) {
    if (h.type == 'mdat') mdatAt = h.offset, mdatEnd = h.offset + h.size;
    if (h.type == 'moov') moovAt = h.offset, moovSize = h.size;
  }
  ASSERT_GT(mdatEnd, 0u);
  ASSERT_GT(moovSize, 0u);
  const UInt64 hole = 5000000000ull;
  std::vector<UInt8> moov = ShiftChunkOffsets(bytes.data() + moovAt, size_t(moovSize), hole);
  int fd = open(large.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  UInt8 freeHeader[16];
  PL_PutBE32(freeHeader, 1);
  PL_PutBE32(freeHeader + 4, 'free');
  PL_PutBE64(freeHeader + 8, hole);
  ASSERT_EQ(noErr, PL_WriteFully(fd, mdatAt, freeHeader, 16));
  ASSERT_EQ(noErr, PL_WriteFully(fd, 0, bytes.data(), size_t(mdatAt)));
  ASSERT_EQ(noErr, PL_WriteFully(fd, mdatAt + hole, bytes.data() + mdatAt, size_t(mdatEnd - mdatAt)));
  ASSERT_EQ(noErr, PL_WriteFully(fd, mdatEnd + hole, moov.data(), moov.size()));
  close(fd);

  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(large, &movie));
  for (SInt32 t = 1; t <= 2; ++t) {
    Media media = GetTrackMedia(GetMovieIndTrack(movie, t));
    bool sound = t == 2;
    std::vector<Range> expected = ProbeRanges(small, sound ? "a:0" : "v:0", sound);
    for (Range &r : expected) r.offset += SInt64(hole);
    EXPECT_EQ(expected, OurRanges(media, sound)) << "track " << t;
  }
  // The data reads back from beyond 4 GiB.
  Media video = GetTrackMedia(GetMovieIndTrack(movie, 1));
  Handle data = NewHandle(0);
  SInt32 size = 0;
  ASSERT_EQ(noErr, GetMediaSample(video, data, 0, &size, 0, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr));
  std::vector<Range> first = ProbeRanges(small, "v:0", false);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(0, std::memcmp(*data, bytes.data() + first[0].offset, first[0].size));
  DisposeHandle(data);
  // Written back, the offsets need 'co64' again.
  std::vector<UInt8> atom;
  ASSERT_EQ(noErr, PL_BuildMovieAtom(movie, large, &atom));
  EXPECT_NE(std::search(atom.begin(), atom.end(), std::begin("co64"), std::begin("co64") + 4), atom.end());
  DisposeMovie(movie);
}

}  // namespace
