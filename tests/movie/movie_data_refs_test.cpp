// Alias data references of movies: media in another file found again after a move within its folder, a
// missing referenced file, references of a media compared, copied and counted, and deleting a movie with the
// files it refers to.
#include "movie/movie_files.h"

#include "general/folders_volumes.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/toolbox_time.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

FSRef RefOf(const std::string &path) {
  FSRef ref;
  EXPECT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr)) << path;
  return ref;
}

std::string PathOf(const FSRef &ref) {
  std::string path;
  EXPECT_EQ(noErr, PL_FSRefMakePathString(&ref, &path));
  return path;
}

bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

bool IsZero(const FSRef &ref) {
  static const FSRef kZero{};
  return std::memcmp(&ref, &kZero, sizeof ref) == 0;
}

Handle AliasDataRef(const std::string &path) {
  FSRef ref = RefOf(path);
  Handle dataRef = nullptr;
  OSType type = 0;
  EXPECT_EQ(noErr, QTNewDataReferenceFromFSRef(&ref, 0, &dataRef, &type));
  EXPECT_EQ(rAliasType, type);
  return dataRef;
}

// A movie file `refPath` whose one video track shows the frames of the fixture movie at `mediaPath` by
// reference: its media's only data reference is an alias of that file.
void WriteReferenceMovie(const std::string &mediaPath, const std::string &refPath) {
  Movie source = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(mediaPath, &source));
  Media sourceMedia = GetTrackMedia(GetMovieIndTrackType(source, 1, VideoMediaType, movieTrackMediaType));
  ASSERT_NE(nullptr, sourceMedia);

  bz_test::WriteWholeFile(refPath, {});
  FSRef file = RefOf(refPath);
  Movie movie = NewMovie(0);
  Track track = NewMovieTrack(movie, 48 << 16, 32 << 16, 0);
  Handle dataRef = AliasDataRef(mediaPath);
  Media media = NewTrackMedia(track, VideoMediaType, GetMediaTimeScale(sourceMedia), dataRef, rAliasType);
  ASSERT_NE(nullptr, media);
  DisposeHandle(dataRef);
  Handle desc = NewHandle(0);
  SampleReference64Record refs[16];
  SInt32 count = 0;
  ASSERT_EQ(noErr, GetMediaSampleReferences64(sourceMedia, 0, nullptr, reinterpret_cast<SampleDescriptionHandle>(desc),
                                              nullptr, 16, &count, refs));
  ASSERT_EQ(noErr, AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), count, refs, nullptr));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1));
  Boolean saved = false;
  ASSERT_EQ(noErr, QT_SaveMovie(movie, &file, &saved));
  DisposeHandle(desc);
  DisposeMovie(movie);
  DisposeMovie(source);
}

struct ReferenceMovies {
  bz_test::TempDir dir;
  std::string mediaPath = dir.File("media.mov");
  std::string refPath = dir.File("ref.mov");
  bz_test::FixtureMovieInfo info;
  ReferenceMovies() {
    bz_test::FixtureMovieSpec spec;
    spec.withSound = false;
    EXPECT_EQ(noErr, bz_test::WriteFixtureMovie(mediaPath, spec, &info));
    WriteReferenceMovie(mediaPath, refPath);
  }
};

TEST(MovieDataRefs, MediaInAnotherFileIsFoundAfterAMoveWithinItsFolder) {
  ReferenceMovies m;
  std::string moved = m.dir.File("renamed.mov");
  ASSERT_EQ(0, std::rename(m.mediaPath.c_str(), moved.c_str()));

  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(m.refPath, &movie));
  Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  SInt32 attributes = -1;
  OSType type = 0;
  ASSERT_EQ(noErr, GetMediaDataRef(media, 1, nullptr, &type, &attributes));
  EXPECT_EQ(rAliasType, type);
  EXPECT_EQ(0, attributes);
  FSRef file;
  ASSERT_EQ(noErr, QT_ResolveMediaDataRef(media, 1, &file));
  EXPECT_EQ(moved, PathOf(file));
  ASSERT_EQ(noErr, QT_GetHighestDataRef(media, &file));
  EXPECT_EQ(moved, PathOf(file));
  EXPECT_EQ(noErr, QT_ResolveMediaDataRef(media, 1, nullptr));

  // The samples are read from the moved file.
  Handle data = NewHandle(0);
  SInt32 size = 0;
  ASSERT_EQ(noErr, GetMediaSample(media, data, 0, &size, GetMediaDuration(media) - 1, nullptr, nullptr, nullptr, nullptr,
                                  1, nullptr, nullptr));
  const std::vector<uint8_t> &last = m.info.frames.back();
  ASSERT_EQ(SInt32(last.size()), size);
  EXPECT_EQ(0, std::memcmp(*data, last.data(), last.size()));
  DisposeHandle(data);

  // Stored again, the movie names the file where it is now.
  GL_FSRefLE *files = nullptr;
  ASSERT_EQ(noErr, QT_GetMovieReferencedFiles(movie, &files));
  ASSERT_NE(nullptr, files);
  EXPECT_EQ(moved, PathOf(files->fileRef));
  EXPECT_EQ(nullptr, files->next);
  LL_DisposeLinkedList(&files);
  std::string copy = m.dir.File("copy.mov");
  bz_test::WriteWholeFile(copy, {});
  FSRef copyRef = RefOf(copy);
  Boolean saved = false;
  ASSERT_EQ(noErr, QT_SaveMovie(movie, &copyRef, &saved));
  DisposeMovie(movie);
  std::vector<uint8_t> bytes = bz_test::ReadWholeFile(copy);
  std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(std::string::npos, text.find("renamed.mov"));
  EXPECT_EQ(std::string::npos, text.find("media.mov"));
}

TEST(MovieDataRefs, MissingReferencedFileOpensButDoesNotResolve) {
  ReferenceMovies m;
  ASSERT_EQ(0, unlink(m.mediaPath.c_str()));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(m.refPath, &movie));
  Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  SInt32 attributes = 0;
  Handle dataRef = nullptr;
  OSType type = 0;
  ASSERT_EQ(noErr, GetMediaDataRef(media, 1, &dataRef, &type, &attributes));
  EXPECT_EQ(rAliasType, type);
  EXPECT_EQ(dataRefWasNotResolved, attributes);
  // The record still names the file it was made for.
  std::string path;
  ASSERT_EQ(noErr, PL_DataReferenceToPath(dataRef, type, &path));
  EXPECT_EQ(m.mediaPath, path);
  DisposeHandle(dataRef);

  FSRef file = RefOf(m.refPath);
  EXPECT_EQ(fnfErr, QT_ResolveMediaDataRef(media, 1, &file));
  EXPECT_TRUE(IsZero(file));
  EXPECT_EQ(fnfErr, GetMediaSample(media, NewHandle(0), 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 1, nullptr,
                                   nullptr));
  GL_FSRefLE *files = nullptr;
  ASSERT_EQ(noErr, QT_GetMovieReferencedFiles(movie, &files));
  EXPECT_EQ(nullptr, files);

  // Deleting the movie totally deletes what is there.
  FSRef refFile = RefOf(m.refPath);
  EXPECT_EQ(noErr, QT_TotallyDeleteMovieFile(&refFile, movie, 0));
  EXPECT_FALSE(Exists(m.refPath));
  DisposeMovie(movie);
}

TEST(MovieDataRefs, ResolvingSelfUrlAndBadReferences) {
  bz_test::TempDir dir;
  std::string path = dir.File("self.mov");
  bz_test::FixtureMovieSpec spec;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path, spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));

  // The movie's own file.
  FSRef file;
  SInt32 attributes = 0;
  ASSERT_EQ(noErr, GetMediaDataRef(media, 1, nullptr, nullptr, &attributes));
  EXPECT_EQ(dataRefSelfReference, attributes);
  ASSERT_EQ(noErr, QT_ResolveMediaDataRef(media, 1, &file));
  EXPECT_EQ(path, PathOf(file));

  // A URL reference is no file reference; a bad index is the toolbox's error. Both clear the FSRef.
  const char *url = "http://example.invalid/clip.mov";
  Handle urlRef = NewHandle(Size(std::strlen(url) + 1));
  std::memcpy(*urlRef, url, std::strlen(url) + 1);
  SInt16 index = 0;
  ASSERT_EQ(noErr, AddMediaDataRef(media, &index, urlRef, URLDataHandlerSubType));
  DisposeHandle(urlRef);
  EXPECT_EQ(kQT_DataRefNotFileErr, QT_ResolveMediaDataRef(media, index, &file));
  EXPECT_TRUE(IsZero(file));
  EXPECT_EQ(kQT_DataRefNotFileErr, QT_GetHighestDataRef(media, &file));
  file = RefOf(path);
  EXPECT_EQ(badDataRefIndex, QT_ResolveMediaDataRef(media, 9, &file));
  EXPECT_TRUE(IsZero(file));
  // An alias record that is not ours (another system's) is kept as it is and names no file.
  const char foreign[] = "\x00\x00\x01\x2a not an alias of ours";
  Handle foreignRef = NewHandle(Size(sizeof foreign));
  std::memcpy(*foreignRef, foreign, sizeof foreign);
  SInt16 foreignIndex = 0;
  ASSERT_EQ(noErr, AddMediaDataRef(media, &foreignIndex, foreignRef, rAliasType));
  DisposeHandle(foreignRef);
  file = RefOf(path);
  EXPECT_EQ(fnfErr, QT_ResolveMediaDataRef(media, foreignIndex, &file));
  EXPECT_TRUE(IsZero(file));

  // Stored into its own file again, the self reference stays a self reference (no record in the file).
  Boolean saved = true;
  FSRef own = RefOf(path);
  ASSERT_EQ(noErr, QT_SaveMovie(movie, &own, &saved));
  DisposeMovie(movie);
  std::vector<uint8_t> bytes = bz_test::ReadWholeFile(path);
  std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(std::string::npos, text.find("<plist"));
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  ASSERT_EQ(noErr, GetMediaDataRef(media, 1, nullptr, nullptr, &attributes));
  EXPECT_EQ(dataRefSelfReference, attributes);
  Handle kept = nullptr;
  OSType type = 0;
  ASSERT_EQ(noErr, GetMediaDataRef(media, foreignIndex, &kept, &type, &attributes));
  EXPECT_EQ(rAliasType, type);
  EXPECT_EQ(dataRefWasNotResolved, attributes);
  ASSERT_EQ(Size(sizeof foreign), GetHandleSize(kept));
  EXPECT_EQ(0, std::memcmp(*kept, foreign, sizeof foreign));
  DisposeHandle(kept);
  DisposeMovie(movie);
}

TEST(MovieDataRefs, ReferencesAreComparedCopiedCountedAndFoundByName) {
  bz_test::TempDir dir;
  std::string a = dir.File("a.mov"), b = dir.File("b.mov"), c = dir.File("c.mov");
  for (const std::string &p : {a, b, c}) bz_test::WriteWholeFile(p, {1, 2, 3});
  Movie movie = NewMovie(0);
  Track first = NewMovieTrack(movie, 0, 0, 0x100);
  Track second = NewMovieTrack(movie, 0, 0, 0x100);
  Handle refA = AliasDataRef(a), refB = AliasDataRef(b), refC = AliasDataRef(c);
  Media target = NewTrackMedia(first, SoundMediaType, 48000, refA, rAliasType);
  SInt16 index = 0;
  ASSERT_EQ(noErr, AddMediaDataRef(target, &index, refB, rAliasType));
  Media source = NewTrackMedia(second, SoundMediaType, 48000, refB, rAliasType);
  ASSERT_EQ(noErr, AddMediaDataRef(source, &index, refC, rAliasType));
  ASSERT_EQ(noErr, AddMediaDataRef(source, &index, refA, rAliasType));

  // Looking up and adding aliases.
  EXPECT_EQ(noErr, QT_CheckForAliasDataRef(target, reinterpret_cast<AliasHandle>(refB), false, &index));
  EXPECT_EQ(2, index);
  EXPECT_EQ(noErr, QT_CheckForAliasDataRef(target, reinterpret_cast<AliasHandle>(refC), false, &index));
  EXPECT_EQ(0, index);

  // Two tracks refer to three files.
  UInt16 count = 0;
  ASSERT_EQ(noErr, QT_GetMovieDataRefCount(movie, 0, 0, false, &count));
  EXPECT_EQ(3, count);
  ASSERT_EQ(noErr, QT_GetMovieDataRefCount(movie, SoundMediaType, movieTrackMediaType, false, &count));
  EXPECT_EQ(3, count);
  SetTrackEnabled(second, false);
  ASSERT_EQ(noErr, QT_GetMovieDataRefCount(movie, SoundMediaType, movieTrackMediaType, true, &count));
  EXPECT_EQ(2, count);
  ASSERT_EQ(noErr, QT_GetMovieDataRefCount(movie, VideoMediaType, movieTrackMediaType, false, &count));
  EXPECT_EQ(0, count);

  // The source's references [b, c, a] in a target holding [a, b]: c is added as the third.
  SInt16 *table = nullptr;
  ASSERT_EQ(noErr, QT_CopyDataReferencesIfNeeded(source, target, &table));
  ASSERT_NE(nullptr, table);
  EXPECT_EQ(2, table[0]);
  EXPECT_EQ(3, table[1]);
  EXPECT_EQ(1, table[2]);
  DisposePtr(reinterpret_cast<Ptr>(table));
  SInt16 refCount = 0;
  ASSERT_EQ(noErr, GetMediaDataRefCount(target, &refCount));
  EXPECT_EQ(3, refCount);
  FSRef file;
  ASSERT_EQ(noErr, QT_ResolveMediaDataRef(target, 3, &file));
  EXPECT_EQ(c, PathOf(file));

  // Copying them all appends them in order.
  ASSERT_EQ(noErr, QT_CopyDataReferences(source, target));
  ASSERT_EQ(noErr, GetMediaDataRefCount(target, &refCount));
  EXPECT_EQ(6, refCount);
  ASSERT_EQ(noErr, QT_GetHighestDataRef(target, &file));
  EXPECT_EQ(a, PathOf(file));

  // By name: the first track with a reference to "c.mov" (names compare ignoring case).
  Track found = nullptr;
  AliasHandle alias = nullptr;
  ASSERT_EQ(noErr, QT_FindDataRefByName(movie, CFSTR("c.mov"), &found, &index, &alias));
  EXPECT_EQ(first, found);
  EXPECT_EQ(3, index);
  ASSERT_NE(nullptr, alias);
  EXPECT_TRUE(GL_EqualAlias(alias, reinterpret_cast<AliasHandle>(refC), nullptr));
  DisposeHandle(reinterpret_cast<Handle>(alias));
  ASSERT_EQ(noErr, QT_FindDataRefByName(movie, CFSTR("C.MOV"), &found, &index, nullptr));
  EXPECT_EQ(3, index);
  EXPECT_EQ(fnfErr, QT_FindDataRefByName(movie, CFSTR("d.mov"), &found, &index, &alias));
  EXPECT_EQ(nullptr, found);

  GL_FSRefLE *files = nullptr;
  ASSERT_EQ(noErr, QT_GetMovieReferencedFiles(movie, &files));
  EXPECT_EQ(3, LL_PtrListCount(files));
  LL_DisposeLinkedList(&files);
  for (Handle h : {refA, refB, refC}) DisposeHandle(h);
  DisposeMovie(movie);
}

TEST(MovieDataRefs, TotallyDeletingRemovesTheMovieAndItsMediaFiles) {
  ReferenceMovies m;
  std::string bystander = m.dir.File("other.mov");
  bz_test::WriteWholeFile(bystander, {1});
  FSRef file = RefOf(m.refPath);
  ASSERT_EQ(noErr, QT_TotallyDeleteMovieFile(&file, nullptr, 0));
  EXPECT_FALSE(Exists(m.refPath));
  EXPECT_FALSE(Exists(m.mediaPath));
  EXPECT_TRUE(Exists(bystander));

  // A file that holds no movie goes as a plain file; a missing one cannot be deleted.
  FSRef plain = RefOf(bystander);
  ASSERT_EQ(noErr, QT_TotallyDeleteMovieFile(&plain, nullptr, 0));
  EXPECT_FALSE(Exists(bystander));
  EXPECT_EQ(kQT_CouldNotDeleteMovieFileErr, QT_TotallyDeleteMovieFile(&plain, nullptr, 0));
}

}  // namespace
