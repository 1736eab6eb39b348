// Movie files and the 'mdat' header: the header and its size patch, the output movie written the engine's
// way, creating with free names and retries, saving, deleting, the top-level atom walk and data references.
#include "movie/movie_files.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FSRef RefOf(const std::string &path) {
  FSRef ref;
  EXPECT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr)) << path;
  return ref;
}

bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

std::vector<UInt8> FirstBytes(const std::string &path, size_t n) {
  std::vector<UInt8> bytes(n);
  int fd = open(path.c_str(), O_RDONLY);
  EXPECT_EQ(noErr, PL_ReadFully(fd, 0, bytes.data(), n));
  close(fd);
  return bytes;
}

// A fresh file opened for writing through the File Manager.
struct ForkFile {
  bz_test::TempDir dir;
  std::string path = dir.File("out.mov");
  SInt16 fork = 0;
  ForkFile() {
    bz_test::WriteWholeFile(path, {});
    FSRef ref = RefOf(path);
    EXPECT_EQ(noErr, FSOpenFork(&ref, 0, nullptr, fsRdWrPerm, &fork));
  }
  ~ForkFile() {
    if (fork != 0) FSCloseFork(fork);
  }
};

TEST(MovieFilesMdatHeader, InitialHeaderIsWideThenMdatPlaceholder) {
  ForkFile f;
  ASSERT_EQ(noErr, QT_WriteInitialMdatHeader(f.fork));
  SInt64 mark = 0;
  ASSERT_EQ(noErr, FSGetForkPosition(f.fork, &mark));
  EXPECT_EQ(16, mark);
  EXPECT_EQ(std::vector<UInt8>({0, 0, 0, 8, 'w', 'i', 'd', 'e', 0, 0, 0, 8, 'm', 'd', 'a', 't'}), FirstBytes(f.path, 16));
}

TEST(MovieFilesMdatHeader, SizePatchChoosesItsFormAtTheLimit) {
  // Fork sizes around the switch to the 64-bit form, and one past 4 GiB; the files are sparse.
  struct Case {
    SInt64 forkSize;
    std::vector<UInt8> header;
  } cases[] = {
      {16, {0, 0, 0, 8, 'w', 'i', 'd', 'e', 0, 0, 0, 8, 'm', 'd', 'a', 't'}},
      {1000016, {0, 0, 0, 8, 'w', 'i', 'd', 'e', 0x00, 0x0F, 0x42, 0x48, 'm', 'd', 'a', 't'}},
      {0x7FFFFFFE, {0, 0, 0, 8, 'w', 'i', 'd', 'e', 0x7F, 0xFF, 0xFF, 0xF6, 'm', 'd', 'a', 't'}},
      {0x7FFFFFFF, {0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF}},
      {5000000000ll, {0, 0, 0, 1, 'm', 'd', 'a', 't', 0x00, 0x00, 0x00, 0x01, 0x2A, 0x05, 0xF2, 0x00}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "fork size " << c.forkSize);
    ForkFile f;
    ASSERT_EQ(noErr, QT_WriteInitialMdatHeader(f.fork));
    ASSERT_EQ(noErr, FSSetForkSize(f.fork, fsFromStart, c.forkSize));
    ASSERT_EQ(noErr, QT_SetFileSizeInMdatHeader(f.fork));
    EXPECT_EQ(c.header, FirstBytes(f.path, 16));
    SInt64 size = 0;
    ASSERT_EQ(noErr, FSGetForkSize(f.fork, &size));
    EXPECT_EQ(c.forkSize, size);
    // The patch is idempotent while nothing is appended.
    ASSERT_EQ(noErr, QT_SetFileSizeInMdatHeader(f.fork));
    EXPECT_EQ(c.header, FirstBytes(f.path, 16));
  }
}

TEST(MovieFilesMdatHeader, PatchAtAMarkCountsFromThere) {
  ForkFile f;
  std::vector<UInt8> front(100, 0xEE);
  ASSERT_EQ(noErr, FSWriteFork(f.fork, fsFromStart, 0, ByteCount(front.size()), front.data(), nullptr));
  ASSERT_EQ(noErr, QT_WriteInitialMdatHeader(f.fork));
  ASSERT_EQ(noErr, FSSetForkSize(f.fork, fsFromStart, 100 + 1000));
  ASSERT_EQ(noErr, QT_SetFileSizeInMdatHeaderAtMark(f.fork, 100));
  std::vector<UInt8> bytes = FirstBytes(f.path, 116);
  EXPECT_EQ(std::vector<UInt8>(front), std::vector<UInt8>(bytes.begin(), bytes.begin() + 100));
  EXPECT_EQ(std::vector<UInt8>({0, 0, 0, 8, 'w', 'i', 'd', 'e', 0, 0, 0x03, 0xE0, 'm', 'd', 'a', 't'}),
            std::vector<UInt8>(bytes.begin() + 100, bytes.end()));
  // A large one from the mark: 64-bit form, the sign bit of the offset untouched.
  ASSERT_EQ(noErr, FSSetForkSize(f.fork, fsFromStart, 100 + 0x80000000ll));
  ASSERT_EQ(noErr, QT_SetFileSizeInMdatHeaderAtMark(f.fork, 100));
  bytes = FirstBytes(f.path, 116);
  EXPECT_EQ(std::vector<UInt8>({0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 0, 0x80, 0, 0, 0}),
            std::vector<UInt8>(bytes.begin() + 100, bytes.end()));
}

TEST(MovieFilesMdatHeader, ForkShorterThanTheHeaderIsNotPatched) {
  ForkFile f;
  const UInt8 partial[10] = {0, 0, 0, 8, 'w', 'i', 'd', 'e', 0, 0};
  ASSERT_EQ(noErr, FSWriteFork(f.fork, fsFromStart, 0, 10, partial, nullptr));
  EXPECT_EQ(kQT_MdatHeaderErr, QT_SetFileSizeInMdatHeader(f.fork));
  EXPECT_EQ(std::vector<uint8_t>(partial, partial + 10), bz_test::ReadWholeFile(f.path));
  EXPECT_EQ(kQT_MdatHeaderErr, QT_SetFileSizeInMdatHeaderAtMark(f.fork, 4));
  EXPECT_EQ(eofErr, QT_SetFileSizeInMdatHeaderAtMark(f.fork, 20));
  EXPECT_EQ(std::vector<uint8_t>(partial, partial + 10), bz_test::ReadWholeFile(f.path));
}

// The output movie as the engine writes it: create the file, write the header through the fork, append
// frames, add their references, insert the media, patch, append the movie atom, save.
struct OutputMovie {
  bz_test::TempDir dir;
  FSRef folder = RefOf(dir.path());
  FSRef file{};
  Movie movie = nullptr;
  Media media = nullptr;
  std::vector<std::vector<uint8_t>> frames;
  SInt64 dataEnd = 0;

  OSStatus Write(int count, bool passFork) {
    OSStatus err = QT_CreateMovieFile(&folder, CFSTR("Cleaned.mov"), 'TVOD', SInt32(createMovieFileDeleteCurFile),
                                      &file, &movie);
    if (err != noErr) return err;
    SetMovieTimeScale(movie, 2500);
    Track track = NewMovieTrack(movie, 48 << 16, 32 << 16, 0);
    Handle dataRef = nullptr;
    OSType type = 0;
    QTNewDataReferenceFromFSRef(&file, 0, &dataRef, &type);
    media = NewTrackMedia(track, VideoMediaType, 2500, dataRef, type);
    DisposeHandle(dataRef);
    SInt16 fork = 0;
    err = FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &fork);
    if (err == noErr) err = QT_WriteInitialMdatHeader(fork);
    SampleReference64Record ref{16, 0, 100, 0, 0};
    for (int i = 0; i < count && err == noErr; ++i) {
      frames.push_back(bz_test::FixtureFramePattern(i, 48, 32));
      err = FSWriteFork(fork, fsAtMark, 0, ByteCount(frames.back().size()), frames.back().data(), nullptr);
      ref.dataSize += UInt32(frames.back().size());
      ref.numberOfSamples += 1;
    }
    ImageDescriptionHandle desc = bz_test::NewFixtureImageDescription(48, 32);
    if (err == noErr)
      err = AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &ref, nullptr);
    DisposeHandle(reinterpret_cast<Handle>(desc));
    if (err == noErr) err = InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
    if (err == noErr) err = FSGetForkSize(fork, &dataEnd);
    if (err == noErr && passFork) err = QT_SetFileSizeInMdatHeader(fork);
    if (!passFork) FSCloseFork(fork);
    if (err == noErr) err = QT_SaveMovieOverNetwork(movie, passFork ? fork : 0, &file);
    if (passFork) FSCloseFork(fork);
    return err;
  }
  ~OutputMovie() { QT_DisposeMovie(&movie); }
  std::string Path() const {
    std::string p;
    PL_FSRefMakePathString(&file, &p);
    return p;
  }
};

TEST(MovieFilesOutput, SavedOverNetworkTheMovieAtomFollowsTheMediaData) {
  for (bool passFork : {true, false}) {
    SCOPED_TRACE(passFork ? "fork passed" : "fork opened here");
    OutputMovie out;
    ASSERT_EQ(noErr, out.Write(6, passFork));
    std::vector<uint8_t> bytes = bz_test::ReadWholeFile(out.Path());
    // 8 'wide', then the 'mdat' atom up to the old fork size, then the movie atom.
    EXPECT_EQ(8u, PL_GetBE32(bytes.data()));
    EXPECT_EQ(UInt32(out.dataEnd - 8), PL_GetBE32(bytes.data() + 8));
    EXPECT_EQ(OSType('moov'), PL_GetBE32(bytes.data() + out.dataEnd + 4));
    EXPECT_EQ(bytes.size(), size_t(out.dataEnd) + PL_GetBE32(bytes.data() + out.dataEnd));
    Movie back = nullptr;
    FSRef file = out.file;
    ASSERT_EQ(noErr, QT_OpenMovieFile(&file, 0, &back));
    Media media = GetTrackMedia(GetMovieIndTrack(back, 1));
    EXPECT_EQ(6, GetMediaSampleCount(media));
    Handle data = NewHandle(0);
    for (int i = 0; i < 6; ++i) {
      ASSERT_EQ(noErr, GetMediaSample(media, data, 0, nullptr, i * 100, nullptr, nullptr, nullptr, nullptr, 1, nullptr,
                                      nullptr));
      EXPECT_EQ(0, std::memcmp(*data, out.frames[size_t(i)].data(), out.frames[size_t(i)].size())) << "frame " << i;
    }
    DisposeHandle(data);
    QT_DisposeMovie(&back);
    EXPECT_EQ(nullptr, back);
  }
}

TEST(MovieFilesOutput, MovieAtomCutShortByAFullDiskIsTakenOffAgain) {
  OutputMovie out;
  PL_FailWritesAfterBytes(6 * 48 * 32 * 2 + 16 + 100);  // the frames and the patch fit, the movie atom not
  EXPECT_EQ(dskFulErr, out.Write(6, true));
  PL_FailWritesAfterBytes(-1);
  std::vector<uint8_t> bytes = bz_test::ReadWholeFile(out.Path());
  ASSERT_EQ(size_t(out.dataEnd), bytes.size());
  EXPECT_EQ(UInt32(out.dataEnd - 8), PL_GetBE32(bytes.data() + 8));
}

TEST(MovieFilesOutput, SaveAddsOnceThenUpdatesAndOtherProgramsReadTheResult) {
  OutputMovie out;
  ASSERT_EQ(noErr, out.Write(6, true));
  Boolean saved = false;
  ASSERT_EQ(noErr, QT_SaveMovie(out.movie, &out.file, &saved));
  EXPECT_TRUE(saved);
  // The movie atom written over the network became 'free'; the saved one follows it.
  std::vector<uint8_t> bytes = bz_test::ReadWholeFile(out.Path());
  EXPECT_EQ(OSType('free'), PL_GetBE32(bytes.data() + out.dataEnd + 4));
  SetTrackLayer(GetMovieIndTrack(out.movie, 1), 2);
  ASSERT_EQ(noErr, QT_SaveMovie(out.movie, &out.file, &saved));
  EXPECT_TRUE(saved);
  Movie back = nullptr;
  ASSERT_EQ(noErr, QT_OpenMovieFile(&out.file, 0, &back));
  EXPECT_EQ(2, GetTrackLayer(GetMovieIndTrack(back, 1)));
  QT_DisposeMovie(&back);
  // A failing add still marks the movie as saved, and leaves the stored movie as it was.
  std::string path = out.Path();
  std::vector<uint8_t> stored = bz_test::ReadWholeFile(path);
  std::vector<UInt8> &desc = out.media->descriptions[0];
  std::vector<UInt8> kept = desc;
  desc.resize(20);  // no longer a whole image description: the movie cannot be written
  Boolean firstTime = false;
  EXPECT_EQ(paramErr, QT_SaveMovie(out.movie, &out.file, &firstTime));
  EXPECT_TRUE(firstTime);
  EXPECT_EQ(stored, bz_test::ReadWholeFile(path));
  desc = kept;
  if (!bz_test::RequireFfmpeg()) return;
  auto v = bz_test::ProbeStream(path, "v:0");
  EXPECT_EQ("2vuy", v["codec_tag_string"]);
  EXPECT_EQ("6", v["nb_read_frames"]);
  EXPECT_EQ("25/1", v["r_frame_rate"]);
}

TEST(MovieFilesCreate, FreeNamesAreFoundByIndex) {
  bz_test::TempDir dir;
  FSRef folder = RefOf(dir.path());
  bz_test::WriteWholeFile(dir.File("Clip"), {1});
  bz_test::WriteWholeFile(dir.File("Clip 2"), {2});
  FSRef file;
  Movie movie = nullptr;
  ASSERT_EQ(noErr, QT_CreateMovieFileWithIndex(&folder, CFSTR("Clip"), 'TVOD', 0, &file, &movie));
  std::string path;
  ASSERT_EQ(noErr, PL_FSRefMakePathString(&file, &path));
  EXPECT_EQ(dir.File("Clip 3"), path);
  EXPECT_NE(nullptr, movie);
  QT_DisposeMovie(&movie);
  EXPECT_EQ(std::vector<uint8_t>({1}), bz_test::ReadWholeFile(dir.File("Clip")));
  // With the delete-current-file flag the name itself is used, replacing the file.
  ASSERT_EQ(noErr, QT_CreateMovieFileWithIndex(&folder, CFSTR("Clip"), 'TVOD', SInt32(createMovieFileDeleteCurFile),
                                               &file, &movie));
  ASSERT_EQ(noErr, PL_FSRefMakePathString(&file, &path));
  EXPECT_EQ(dir.File("Clip"), path);
  EXPECT_TRUE(bz_test::ReadWholeFile(path).empty());
  QT_DisposeMovie(&movie);
  // Without it an existing name is refused by the plain creation.
  EXPECT_EQ(dupFNErr, QT_CreateMovieFile(&folder, CFSTR("Clip 2"), 'TVOD', 0, &file, &movie));
  EXPECT_EQ(nullptr, movie);
}

TEST(MovieFilesCreate, NewMovieFilesCarryCreatorAndType) {
  bz_test::TempDir dir;
  FSRef folder = RefOf(dir.path());
  // Labels need extended attributes; a file system without them keeps none.
  bz_test::WriteWholeFile(dir.File("probe"), {});
  FSRef probe = RefOf(dir.File("probe"));
  FSCatalogInfo info{};
  reinterpret_cast<FileInfo *>(info.finderInfo)->fileType = 'TEST';
  if (FSSetCatalogInfo(&probe, kFSCatInfoFinderInfo, &info) != noErr) GTEST_SKIP() << "no labels here";
  FSGetCatalogInfo(&probe, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr);
  if (reinterpret_cast<FileInfo *>(info.finderInfo)->fileType != 'TEST') GTEST_SKIP() << "no labels here";

  FSRef file;
  Movie movie = nullptr;
  ASSERT_EQ(noErr, QT_CreateMovieFile(&folder, CFSTR("Labelled.mov"), 'TVOD', 0, &file, &movie));
  QT_DisposeMovie(&movie);
  ASSERT_EQ(noErr, FSGetCatalogInfo(&file, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr));
  EXPECT_EQ(OSType('MooV'), reinterpret_cast<FileInfo *>(info.finderInfo)->fileType);
  EXPECT_EQ(OSType('TVOD'), reinterpret_cast<FileInfo *>(info.finderInfo)->fileCreator);
}

TEST(MovieFilesCreate, BusyFilesAreRetriedElevenTimesAtMost) {
  bz_test::TempDir dir;
  FSRef folder = RefOf(dir.path());
  FSRef file;
  Movie movie = nullptr;
  const SInt32 replace = SInt32(createMovieFileDeleteCurFile);
  // Without the delete flag a busy file is not retried.
  PL_FailMovieStorageCreates(2, fBsyErr);
  EXPECT_EQ(fBsyErr, QT_CreateMovieFileNew(&folder, CFSTR("Busy.mov"), 'TVOD', 0, &file, &movie));
  EXPECT_EQ(fBsyErr, QT_CreateMovieFileNew(&folder, CFSTR("Busy.mov"), 'TVOD', 0, &file, &movie));
  EXPECT_EQ(noErr, QT_CreateMovieFileNew(&folder, CFSTR("Busy.mov"), 'TVOD', 0, &file, &movie));
  QT_DisposeMovie(&movie);
  // Busy for ten attempts: the eleventh succeeds, after the old file was removed by its path.
  bz_test::WriteWholeFile(dir.File("Busy.mov"), {9, 9, 9});
  PL_FailMovieStorageCreates(10, fBsyErr);
  ASSERT_EQ(noErr, QT_CreateMovieFileNew(&folder, CFSTR("Busy.mov"), 'TVOD', replace, &file, &movie));
  EXPECT_TRUE(bz_test::ReadWholeFile(dir.File("Busy.mov")).empty());
  QT_DisposeMovie(&movie);
  // Busy for eleven: given up with the busy error.
  PL_FailMovieStorageCreates(11, fBsyErr);
  EXPECT_EQ(fBsyErr, QT_CreateMovieFileNew(&folder, CFSTR("Busy.mov"), 'TVOD', replace, &file, &movie));
  EXPECT_EQ(nullptr, movie);
  PL_FailMovieStorageCreates(0, noErr);
}

TEST(MovieFilesDelete, DeletingClearsTheReference) {
  OutputMovie out;
  ASSERT_EQ(noErr, out.Write(2, true));
  std::string path = out.Path();
  FSRef file = out.file;
  ASSERT_EQ(noErr, QT_DeleteMovieFile(&file));
  EXPECT_FALSE(Exists(path));
  const FSRef zero{};
  EXPECT_EQ(0, std::memcmp(&zero, &file, sizeof(FSRef)));
  // A reference to a file that is gone fails and is cleared all the same.
  FSRef stale = out.file;
  EXPECT_NE(noErr, QT_DeleteMovieFile(&stale));
  EXPECT_EQ(0, std::memcmp(&zero, &stale, sizeof(FSRef)));
  bz_test::WriteWholeFile(path, {1});
  FSRef again = RefOf(path);
  EXPECT_EQ(noErr, QT_DeletePotentiallyBusyMovieFile(&again, 10));
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(0, std::memcmp(&zero, &again, sizeof(FSRef)));
}

TEST(MovieFilesOpen, OpeningAndAskingWhatOpens) {
  OutputMovie out;
  ASSERT_EQ(noErr, out.Write(3, true));
  Boolean graphics = true, asMovie = false, prefer = true;
  ASSERT_EQ(noErr, QT_CanQuickTimeOpenFile(&out.file, &graphics, &asMovie, &prefer, 0));
  EXPECT_TRUE(asMovie);
  EXPECT_FALSE(graphics);
  EXPECT_FALSE(prefer);
  bz_test::WriteWholeFile(out.dir.File("notes.txt"), {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'});
  FSRef text = RefOf(out.dir.File("notes.txt"));
  ASSERT_EQ(noErr, QT_CanQuickTimeOpenFileFast(&text, nullptr, &asMovie, nullptr));
  EXPECT_FALSE(asMovie);
  Movie movie = nullptr;
  EXPECT_EQ(noMovieFound, QT_OpenMovieFile(&text, 0, &movie));
  EXPECT_EQ(nullptr, movie);

  // Through properties: active with flag bit 0; a visual context cannot be honoured but the movie opens.
  ASSERT_EQ(noErr, QT_OpenMovieFileFP(&out.file, 1 | 2 | 4 | 0x100 | 0x100000, nullptr, &movie));
  EXPECT_TRUE(GetMovieActive(movie));
  EXPECT_EQ(3, GetMediaSampleCount(GetTrackMedia(GetMovieIndTrack(movie, 1))));
  QT_DisposeMovie(&movie);
  QTVisualContextRef context = reinterpret_cast<QTVisualContextRef>(&out);
  ASSERT_EQ(noErr, QT_OpenMovieFileFP(&out.file, 0, context, &movie));
  EXPECT_FALSE(GetMovieActive(movie));
  QT_DisposeMovie(&movie);
  SInt16 resFile = 0;
  EXPECT_EQ(noErr, QT_CloseMovieFile(&resFile));
  resFile = 7;
  EXPECT_EQ(rfNumErr, QT_CloseMovieFile(&resFile));
  EXPECT_EQ(0, resFile);
}

TEST(MovieFilesAtoms, MainAtomsOfAFileAndWalksThatStop) {
  OutputMovie out;
  ASSERT_EQ(noErr, out.Write(2, true));
  std::vector<uint8_t> good = bz_test::ReadWholeFile(out.Path());
  UInt32 moovSize = PL_GetBE32(good.data() + out.dataEnd);
  struct Case {
    const char *name;
    std::vector<uint8_t> tail;  // appended to the good file
    OSStatus expected;
    std::vector<SInt64> sizes;
    std::vector<OSType> types;
  };
  const SInt64 mdat = out.dataEnd - 8;
  std::vector<Case> cases = {
      {"good", {}, noErr, {8, mdat, moovSize}, {'wide', 'mdat', 'moov'}},
      {"size 0 runs to the end", {0, 0, 0, 0, 'f', 'r', 'e', 'e', 1, 2, 3}, noErr, {8, mdat, moovSize, 11},
       {'wide', 'mdat', 'moov', 'free'}},
      {"size below its header", {0, 0, 0, 4, 'f', 'r', 'e', 'e'}, kQT_MdatHeaderErr, {8, mdat, moovSize},
       {'wide', 'mdat', 'moov'}},
      {"past the end of the fork", {0, 0, 1, 0, 'f', 'r', 'e', 'e'}, kQT_MdatHeaderErr, {8, mdat, moovSize},
       {'wide', 'mdat', 'moov'}},
      {"64-bit size below its header", {0, 0, 0, 1, 'f', 'r', 'e', 'e', 0, 0, 0, 0, 0, 0, 0, 8}, kQT_MdatHeaderErr,
       {8, mdat, moovSize}, {'wide', 'mdat', 'moov'}},
      {"header cut", {0, 0, 0}, kQT_MdatHeaderErr, {8, mdat, moovSize}, {'wide', 'mdat', 'moov'}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = good;
    bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
    ASSERT_TRUE(bz_test::WriteWholeFile(out.Path(), bytes));
    FSRef file = RefOf(out.Path());
    SInt16 fork = 0;
    ASSERT_EQ(noErr, FSOpenFork(&file, 0, nullptr, fsRdPerm, &fork));
    SInt32 count = -1;
    SInt64 *sizes = nullptr;
    OSType *types = nullptr;
    EXPECT_EQ(c.expected, QT_GetMainAtoms(fork, &count, &sizes, &types));
    FSCloseFork(fork);
    ASSERT_EQ(SInt32(c.sizes.size()), count);
    EXPECT_EQ(c.sizes, std::vector<SInt64>(sizes, sizes + count));
    EXPECT_EQ(c.types, std::vector<OSType>(types, types + count));
    DisposePtr(reinterpret_cast<Ptr>(sizes));
    DisposePtr(reinterpret_cast<Ptr>(types));
  }
  // An empty fork has no atoms and no arrays.
  ASSERT_TRUE(bz_test::WriteWholeFile(out.Path(), {}));
  FSRef file = RefOf(out.Path());
  SInt16 fork = 0;
  ASSERT_EQ(noErr, FSOpenFork(&file, 0, nullptr, fsRdPerm, &fork));
  SInt32 count = -1;
  SInt64 *sizes = reinterpret_cast<SInt64 *>(&count);
  OSType *types = reinterpret_cast<OSType *>(&count);
  EXPECT_EQ(noErr, QT_GetMainAtoms(fork, &count, &sizes, &types));
  EXPECT_EQ(0, count);
  EXPECT_EQ(nullptr, sizes);
  EXPECT_EQ(nullptr, types);
  FSCloseFork(fork);
}

TEST(MovieFilesDataRefs, StartTimeOfTheFirstSampleOfADataReference) {
  Movie movie = NewMovie(0);
  Track track = NewMovieTrack(movie, 48 << 16, 32 << 16, 0);
  Media media = NewTrackMedia(track, VideoMediaType, 2500, nullptr, 0);
  bz_test::TempDir dir;
  Handle other = nullptr;
  OSType type = 0;
  ASSERT_EQ(noErr, PL_NewDataReferenceFromPath(dir.File("second.mov").c_str(), &other, &type));
  SInt16 index = 0;
  ASSERT_EQ(noErr, AddMediaDataRef(media, &index, other, type));
  EXPECT_EQ(2, index);
  ImageDescriptionHandle desc = bz_test::NewFixtureImageDescription(48, 32);
  SampleReference64Record first{16, 300, 100, 3, 0};
  ASSERT_EQ(noErr, AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &first, nullptr));
  (**desc).dataRefIndex = 2;
  SampleReference64Record second{16, 200, 100, 2, 0};
  ASSERT_EQ(noErr, AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &second, nullptr));
  TimeValue time = 0;
  ASSERT_EQ(noErr, QT_DataRefIndexToStartTime(2, media, &time));
  EXPECT_EQ(300, time);
  ASSERT_EQ(noErr, QT_DataRefIndexToStartTime(1, media, &time));
  EXPECT_EQ(0, time);
  ASSERT_EQ(noErr, QT_DataRefIndexToStartTime(3, media, &time));
  EXPECT_EQ(-1, time);
  // The media's references: its own (the movie has no file yet) and the second file, which is missing.
  SInt32 attributes = 0;
  Handle got = nullptr;
  ASSERT_EQ(noErr, GetMediaDataRef(media, 2, &got, &type, &attributes));
  EXPECT_EQ(dataRefWasNotResolved, attributes);
  std::string path;
  ASSERT_EQ(noErr, PL_DataReferenceToPath(got, type, &path));
  EXPECT_EQ(dir.File("second.mov"), path);
  DisposeHandle(got);
  ASSERT_EQ(noErr, GetMediaDataRef(media, 1, nullptr, nullptr, &attributes));
  EXPECT_EQ(dataRefSelfReference | dataRefWasNotResolved, attributes);
  DisposeHandle(other);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  DisposeMovie(movie);
}

TEST(MovieFilesEnd, MovingTheEndBackCutsBehindTheTrack) {
  struct Case {
    TimeValue trackEnd;
    int framesKept;  // -1: the file stays as it is
  } cases[] = {{400, 4}, {350, 4}, {0, 0}, {600, -1}, {10000, -1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "track end " << c.trackEnd);
    OutputMovie out;
    ASSERT_EQ(noErr, out.Write(6, true));
    std::string path = out.Path();
    size_t before = bz_test::ReadWholeFile(path).size();
    Track track = GetMovieIndTrack(out.movie, 1);
    ASSERT_EQ(noErr, QT_MoveBackMovieEOF(&out.file, track, c.trackEnd));
    size_t expected = c.framesKept < 0 ? before : size_t(16 + c.framesKept * 48 * 32 * 2);
    EXPECT_EQ(expected, bz_test::ReadWholeFile(path).size());
  }
}

TEST(MovieFilesFolders, MoviesFolderIsFound) {
  FSRef folder;
  ASSERT_EQ(noErr, QT_GetMoviesFolder(true, &folder));
  std::string path;
  ASSERT_EQ(noErr, PL_FSRefMakePathString(&folder, &path));
  struct stat st;
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

}  // namespace
