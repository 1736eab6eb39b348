// The AIFF exporter: the sound of a movie written as AIFF-C with big-endian samples equal to the source's
// ('twos' as it is, 'sowt' swapped), a movie without sound refused without leaving a file, the exporter kept
// out of the video export menu, and its export from procedures.
#include "platform/core/files.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/components.h"
#include "platform/movie/exporters.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/sound_files.h"
#include "platform/movie/toolbox_time.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using bz_test::TempDir;

// Exports the movie through the AIFF exporter into path.
OSErr ExportAIFF(Movie movie, const std::string &path) {
  MovieExportComponent ci = nullptr;
  OSErr err = OpenADefaultComponent(MovieExportType, kQTFileTypeAIFF, &ci);
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  if (err == noErr) err = PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &dataRefType);
  if (err == noErr) err = MovieExportToDataRef(ci, dataRef, dataRefType, movie, nullptr, 0, GetMovieDuration(movie));
  if (dataRef != nullptr) DisposeHandle(dataRef);
  CloseComponent(ci);
  return err;
}

// The header and the sample bytes of an AIFF file.
std::vector<UInt8> ReadAIFF(const std::string &path, PL_AIFFInfo *info) {
  FSRef ref{};
  EXPECT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr));
  FSIORefNum fork = 0;
  EXPECT_EQ(noErr, FSOpenFork(&ref, 0, nullptr, fsRdPerm, &fork));
  EXPECT_EQ(noErr, PL_ReadAIFFHeader(fork, info));
  std::vector<UInt8> bytes(size_t(info->dataSize));
  ByteCount read = 0;
  EXPECT_EQ(noErr, FSReadFork(fork, fsFromStart, info->dataOffset, bytes.size(), bytes.data(), &read));
  FSCloseFork(fork);
  return bytes;
}

TEST(PlatformAIFFExporter, SoundArrivesAsBigEndianSamples) {
  TempDir dir;
  bz_test::FixtureMovieSpec spec;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("src.mov"), spec, &info));
  for (OSType format : {OSType('twos'), OSType('sowt')}) {
    SCOPED_TRACE(format == 'twos' ? "twos" : "sowt");
    Movie movie = nullptr;
    ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(dir.File("src.mov"), &movie));
    Track sound = GetMovieIndTrackType(movie, 1, SoundMediaType, movieTrackMediaType);
    ASSERT_NE(nullptr, sound);
    std::vector<UInt8> expected = info.sound;
    if (format == 'sowt') {
      // The same bytes read as little-endian: the file must hold them swapped.
      Handle desc = NewHandle(0);
      Media media = GetTrackMedia(sound);
      GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
      reinterpret_cast<SoundDescription *>(*desc)->dataFormat = 'sowt';
      ASSERT_EQ(noErr, SetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc)));
      DisposeHandle(desc);
      for (size_t i = 0; i + 1 < expected.size(); i += 2) std::swap(expected[i], expected[i + 1]);
    }
    const std::string out = dir.File(format == 'twos' ? "twos.aiff" : "sowt.aiff");
    ASSERT_EQ(noErr, ExportAIFF(movie, out));
    PL_AIFFInfo aiff{};
    std::vector<UInt8> bytes = ReadAIFF(out, &aiff);
    EXPECT_EQ(2, aiff.numChannels);
    EXPECT_EQ(16, aiff.sampleSize);
    EXPECT_DOUBLE_EQ(48000.0, aiff.sampleRate);
    EXPECT_EQ(expected.size() / 4, aiff.numFrames);
    EXPECT_TRUE(expected == bytes);
    DisposeMovie(movie);
  }
}

TEST(PlatformAIFFExporter, MovieWithoutSoundLeavesNoFile) {
  TempDir dir;
  bz_test::FixtureMovieSpec spec;
  spec.withSound = false;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("src.mov"), spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(dir.File("src.mov"), &movie));
  EXPECT_EQ(noSoundTrackInMovieErr, ExportAIFF(movie, dir.File("none.aiff")));
  struct stat st;
  EXPECT_NE(0, stat(dir.File("none.aiff").c_str(), &st));
  DisposeMovie(movie);
}

TEST(PlatformAIFFExporter, ASoundExporterKeptOutOfVideoMenus) {
  // Found by both of its flags under the sound manufacturer; its source list names sound only, which is
  // what keeps it out of the video export menu.
  ComponentDescription both{MovieExportType, kQTFileTypeAIFF, kSoundManufacturer,
                            canMovieExportFiles | canMovieExportFromProcedures,
                            canMovieExportFiles | canMovieExportFromProcedures};
  Component c = FindNextComponent(nullptr, &both);
  ASSERT_NE(nullptr, c);
  ComponentDescription any{MovieExportType, kQTFileTypeAIFF, 0, 0, cmpIsMissing};
  EXPECT_EQ(1, CountComponents(&any));
  Handle sources = nullptr;
  ASSERT_EQ(noErr, GetComponentPublicResource(c, 'src#', 1, &sources));
  ASSERT_EQ(Size(8 + 12), GetHandleSize(sources));
  const UInt8 *p = reinterpret_cast<const UInt8 *>(*sources);
  EXPECT_EQ(1u, PL_GetBE32(p));
  EXPECT_EQ(OSType('soun'), PL_GetBE32(p + 8));
  DisposeHandle(sources);
}

OSErr NoData(void *, MovieExportGetDataParams *) { return eofErr; }

TEST(PlatformAIFFExporter, ExportsFromProceduresOnlyWhereImplemented) {
  TempDir dir;
  Handle dataRef = nullptr;
  OSType type = 0;
  ASSERT_EQ(noErr, PL_NewDataReferenceFromPath(dir.File("p.aif").c_str(), &dataRef, &type));
  MovieExportComponent movie = nullptr, aiff = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent(MovieExportType, 'MooV', &movie));
  ASSERT_EQ(noErr, OpenADefaultComponent(MovieExportType, kQTFileTypeAIFF, &aiff));
  EXPECT_EQ(badComponentSelector, MovieExportFromProceduresToDataRef(movie, dataRef, type));
  // Without a sound source there is nothing to write.
  EXPECT_EQ(noSoundTrackInMovieErr, MovieExportFromProceduresToDataRef(aiff, dataRef, type));
  SInt32 trackID = 0;
  EXPECT_EQ(paramErr, MovieExportAddDataSource(aiff, 'soun', 48000, &trackID, nullptr, nullptr, nullptr));
  EXPECT_EQ(paramErr, MovieExportAddDataSource(aiff, 'soun', 0, &trackID, nullptr, NoData, nullptr));
  ASSERT_EQ(noErr, MovieExportAddDataSource(aiff, 'vide', 600, &trackID, nullptr, NoData, nullptr));
  EXPECT_EQ(1, trackID);
  ASSERT_EQ(noErr, MovieExportAddDataSource(aiff, 'soun', 48000, &trackID, nullptr, NoData, nullptr));
  EXPECT_EQ(2, trackID);
  // The toolbox's default progress is accepted and shows nothing; a source without samples and without
  // properties to say its format cannot be written.
  EXPECT_EQ(noErr, MovieExportSetProgressProc(aiff, reinterpret_cast<MovieProgressUPP>(kPL_DefaultMovieProgressProc),
                                              nullptr));
  EXPECT_EQ(paramErr, MovieExportFromProceduresToDataRef(aiff, dataRef, type));
  struct stat st;
  EXPECT_NE(0, stat(dir.File("p.aif").c_str(), &st));
  CloseComponent(movie);
  CloseComponent(aiff);
  DisposeHandle(dataRef);
}

}  // namespace
