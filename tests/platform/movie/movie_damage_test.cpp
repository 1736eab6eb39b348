// Damaged movie files give error numbers, never crashes, overruns or absurd allocations: files cut at
// every structural offset, every byte of the movie atom flipped, and targeted corruptions of sizes,
// counts and indices. The flip replay doubles as the atom reader's fuzz corpus; run it under
// AddressSanitizer (BZ_SANITIZE=address) to catch stray reads.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace {

const OSStatus kAtomErr = kPL_MovieAtomErr;
const OSStatus kCountErr = kPL_MovieAtomCountErr;
const OSStatus kTableErr = kPL_MovieSampleTableErr;
const OSStatus kMdatErr = kPL_MovieMdatHeaderErr;

// A written fixture, its bytes and where its atoms are.
struct Damaged {
  bz_test::TempDir dir;
  std::string original = dir.File("original.mov");
  std::string path = dir.File("damaged.mov");
  bz_test::FixtureMovieInfo info;
  std::vector<uint8_t> bytes;
  size_t moovAt = 0;

  Damaged() {
    EXPECT_EQ(noErr, bz_test::WriteFixtureMovie(original, bz_test::FixtureMovieSpec{}, &info));
    bytes = bz_test::ReadWholeFile(original);
    moovAt = size_t(info.mediaDataEnd);
  }
  // Offset of the n-th (from 0) atom header of a type inside the movie atom.
  size_t Find(const char *type, int nth = 0) const {
    for (size_t i = moovAt + 4; i + 4 <= bytes.size(); ++i) {
      if (std::memcmp(bytes.data() + i, type, 4) == 0 && nth-- == 0) return i - 4;
    }
    ADD_FAILURE() << "no atom " << type;
    return 0;
  }
};

// Opens a file and, when that works, exercises what a caller would: every track's references, the
// first samples' data and a write of the movie atom. Returns the open's result.
OSStatus OpenAndExercise(const std::string &path) {
  Movie movie = nullptr;
  OSStatus err = bz_test::OpenMovieAtPath(path, &movie);
  if (err != noErr) {
    EXPECT_EQ(nullptr, movie);
    return err;
  }
  Handle data = NewHandle(0);
  for (SInt32 t = 1; t <= GetMovieTrackCount(movie); ++t) {
    Track track = GetMovieIndTrack(movie, t);
    Media media = GetTrackMedia(track);
    SInt32 samples = std::min<SInt32>(GetMediaSampleCount(media), 64);
    for (SInt32 s = 1; s <= samples; ++s) {
      TimeValue time = -1, duration = 0;
      SampleNumToMediaTime(media, s, &time, &duration);
      if (time < 0) continue;
      SampleReference64Record refs[4];
      SInt32 count = 0;
      GetMediaSampleReferences64(media, time, nullptr, nullptr, nullptr, 4, &count, refs);
      GetMediaSample(media, data, 0, nullptr, time, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr);
    }
    TrackTimeToMediaTime(GetTrackDuration(track) / 2, track);
  }
  std::vector<UInt8> atom;
  PL_BuildMovieAtom(movie, path, &atom);
  DisposeHandle(data);
  DisposeMovie(movie);
  return noErr;
}

TEST(MovieReaderDamage, TruncatedFilesGiveTheErrorOfWhereTheyWereCut) {
  Damaged f;
  const size_t mdatEnd = f.moovAt, size = f.bytes.size();
  struct Cut {
    size_t at;
    OSStatus expected;
  };
  std::vector<Cut> cuts = {
      {0, noMovieFound},            // empty file
      {4, noMovieFound},            // a header cut before its type
      {8, noMovieFound},            // only the 'wide' atom
      {12, kAtomErr},               // 'wide', then half a header
      {16, kMdatErr},               // the media data's header, no data
      {1000, kMdatErr},             // inside the media data
      {mdatEnd - 1, kMdatErr},      // one byte of data missing
      {mdatEnd, noMovieFound},      // the movie atom is lost entirely
      {mdatEnd + 4, kAtomErr},      // the movie atom's size only
      {mdatEnd + 8, kAtomErr},      // its header only
      {size - 1, kAtomErr},         // the last byte missing
      {size, noErr},
  };
  // Every nested atom header inside the movie atom, cut before, inside and right after it.
  for (size_t i = f.moovAt + 8; i + 8 <= size; ++i) {
    if (i % 7 == 0) cuts.push_back({i, kAtomErr});
  }
  for (const Cut &c : cuts) {
    SCOPED_TRACE(::testing::Message() << "cut at " << c.at);
    ASSERT_TRUE(bz_test::WriteWholeFile(f.path, std::vector<uint8_t>(f.bytes.begin(), f.bytes.begin() + SInt64(c.at))));
    EXPECT_EQ(c.expected, OpenAndExercise(f.path));
  }
}

TEST(MovieReaderDamage, EveryFlippedByteOfTheMovieAtomGivesAnErrorOrAUsableMovie) {
  Damaged f;
  ASSERT_TRUE(bz_test::WriteWholeFile(f.path, f.bytes));
  int fd = open(f.path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  const std::set<OSStatus> allowed = {noErr, kAtomErr, kCountErr, kTableErr, noMovieFound, memFullErr};
  size_t opened = 0, refused = 0;
  for (size_t i = f.moovAt; i < f.bytes.size(); ++i) {
    for (UInt8 mask : {UInt8(0xFF), UInt8(0x80), UInt8(0x01)}) {
      UInt8 flipped = UInt8(f.bytes[i] ^ mask);
      ASSERT_EQ(noErr, PL_WriteFully(fd, i, &flipped, 1));
      OSStatus err = OpenAndExercise(f.path);
      EXPECT_TRUE(allowed.count(err)) << "byte " << i << " ^ " << int(mask) << " gave " << err;
      (err == noErr ? opened : refused) += 1;
    }
    ASSERT_EQ(noErr, PL_WriteFully(fd, i, &f.bytes[i], 1));
  }
  close(fd);
  // Both outcomes occur: many fields (times, names, matrices) do not affect the structure.
  EXPECT_GT(opened, 0u);
  EXPECT_GT(refused, 0u);
}

// Targeted corruptions: (atom type, which one, offset from its header, new 32-bit value, expected error).
struct Corruption {
  const char *name;
  const char *atom;
  int nth;
  size_t offset;
  UInt32 value;
  OSStatus expected;
};

const Corruption kCorruptions[] = {
    {"chunk count past its table", "stco", 0, 12, 0x10000000, kCountErr},
    {"time entries past their table", "stts", 0, 12, 0x00100000, kCountErr},
    {"chunk map entries past their table", "stsc", 0, 12, 0x00100000, kCountErr},
    {"data references past their list", "dref", 0, 12, 5, kCountErr},
    {"descriptions past their list", "stsd", 0, 12, 3, kCountErr},
    {"edit count past its list", "elst", 0, 12, 0x01000000, kCountErr},
    {"description index beyond the descriptions", "stsc", 0, 24, 2, kTableErr},
    {"first chunk not 1", "stsc", 0, 16, 2, kTableErr},
    {"sizes for more samples than the chunks hold", "stsz", 0, 16, 7, kTableErr},
    {"durations for fewer samples", "stts", 0, 16, 5, kTableErr},
    {"media time scale 0", "mdhd", 0, 20, 0, kTableErr},
    {"movie time scale 0", "mvhd", 0, 20, 0, kTableErr},
    {"track identifier 0", "tkhd", 0, 20, 0, kTableErr},
    {"two tracks with one identifier", "tkhd", 1, 20, 1, kTableErr},
    {"data reference index beyond the references", "stsd", 0, 16 + 14, 0x00020000, kTableErr},
    {"track runs past the movie atom", "trak", 0, 0, 0x00100000, kAtomErr},
    {"atom smaller than its header", "tkhd", 0, 0, 3, kAtomErr},
    {"zero size with atoms behind it", "edts", 0, 0, 0, kAtomErr},
    {"64-bit size past its parent", "mdia", 0, 0, 1, kAtomErr},
    {"movie header too short for its fields", "mvhd", 0, 0, 20, kAtomErr},
};

class MovieReaderCorruption : public ::testing::TestWithParam<Corruption> {};

TEST_P(MovieReaderCorruption, GivesItsErrorNumber) {
  const Corruption &c = GetParam();
  Damaged f;
  std::vector<uint8_t> bytes = f.bytes;
  size_t at = f.Find(c.atom, c.nth) + c.offset;
  PL_PutBE32(bytes.data() + at, c.value);
  if (std::string(c.name) == "movie header too short for its fields") {
    // Keep the walk aligned: the rest of the old header becomes a 'free' atom.
    PL_PutBE32(bytes.data() + at + 20, 108 - 20);
    PL_PutBE32(bytes.data() + at + 24, 'free');
  }
  ASSERT_TRUE(bz_test::WriteWholeFile(f.path, bytes));
  EXPECT_EQ(c.expected, OpenAndExercise(f.path));
}

INSTANTIATE_TEST_SUITE_P(Table, MovieReaderCorruption, ::testing::ValuesIn(kCorruptions), [](const auto &info) {
  std::string name;
  for (const char *p = info.param.name; *p; ++p) name += std::isalnum(UInt8(*p)) ? *p : '_';
  return name;
});

TEST(MovieReaderDamage, TopLevelDamageAndFilesThatAreNoMovies) {
  Damaged f;
  struct Case {
    const char *name;
    std::vector<uint8_t> bytes;
    OSStatus expected;
  };
  std::vector<Case> cases;
  std::vector<uint8_t> b = f.bytes;
  PL_PutBE32(b.data() + 8, 0x7FFFFF00);  // media data size past the end of the file
  cases.push_back({"media data past the end", b, kMdatErr});
  b = f.bytes;
  PL_PutBE32(b.data() + 8, 1);  // 64-bit size of 8, smaller than its 16-byte header
  PL_PutBE64(b.data() + 16, 8);
  cases.push_back({"64-bit media data size below its header", b, kMdatErr});
  b = f.bytes;
  PL_PutBE32(b.data() + 8, 3);
  cases.push_back({"media data size below its header", b, kMdatErr});
  b = f.bytes;
  PL_PutBE32(b.data() + f.moovAt + 4, 'moox');
  cases.push_back({"no movie atom", b, noMovieFound});
  const char text[] = "This is a text file and no movie at all.\n";
  cases.push_back({"text file", std::vector<uint8_t>(text, text + sizeof(text) - 1), noMovieFound});
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1};
  cases.push_back({"picture file", jpeg, noMovieFound});
  // A movie atom larger than any sane movie is refused before it is read into memory.
  b.assign(16, 0);
  PL_PutBE32(b.data(), 1);
  PL_PutBE32(b.data() + 4, 'moov');
  PL_PutBE64(b.data() + 8, (UInt64(1) << 31) + 16);
  cases.push_back({"huge movie atom", b, kAtomErr});
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(bz_test::WriteWholeFile(f.path, c.bytes));
    if (std::string(c.name) == "huge movie atom") {
      ASSERT_EQ(0, truncate(f.path.c_str(), (off_t(1) << 31) + 16));
    }
    EXPECT_EQ(c.expected, OpenAndExercise(f.path));
  }
}

// A small file whose tables claim tens of millions of one-byte samples in one chunk: all but a few lie past
// the end of the file. Indexing them would cost gigabytes, so the table is refused; a file cut short, whose
// lost samples are few against what it holds, still opens (MovieDrawingDamage).
TEST(MovieReaderDamage, MillionsOfSamplesPastTheEndOfASmallFileAreRefused) {
  const struct {
    UInt32 samples;
    OSStatus expected;
  } cases[] = {{50000000, kTableErr}, {0x7FFFFFFF, kTableErr}, {60, noErr}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.samples);
    Damaged f;
    std::vector<uint8_t> bytes = f.bytes;
    const size_t stsz = f.Find("stsz"), stsc = f.Find("stsc"), stts = f.Find("stts"), stco = f.Find("stco");
    PL_PutBE32(bytes.data() + stsz + 12, 1);  // every sample one byte
    PL_PutBE32(bytes.data() + stsz + 16, c.samples);
    PL_PutBE32(bytes.data() + stsc + 12, 1);  // one chunk map entry: all samples in chunk 1
    PL_PutBE32(bytes.data() + stsc + 20, c.samples);
    PL_PutBE32(bytes.data() + stts + 12, 1);  // one duration entry for all of them
    PL_PutBE32(bytes.data() + stts + 16, c.samples);
    PL_PutBE32(bytes.data() + stco + 12, 1);  // one chunk
    ASSERT_TRUE(bz_test::WriteWholeFile(f.path, bytes));
    EXPECT_EQ(c.expected, OpenAndExercise(f.path));
  }
}

TEST(MovieReaderDamage, OpeningNeverWritesTheFile) {
  Damaged f;
  ASSERT_TRUE(bz_test::WriteWholeFile(f.path, f.bytes));
  ASSERT_EQ(0, chmod(f.path.c_str(), 0444));
  EXPECT_EQ(noErr, OpenAndExercise(f.path));
  EXPECT_EQ(f.bytes, bz_test::ReadWholeFile(f.path));
}

}  // namespace
