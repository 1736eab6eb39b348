// Metadata items of movies, tracks and media: added, read, changed and removed through metadata references,
// kept through the file (read back by our reader and by ffprobe), items of files written by ffmpeg, and
// damaged or foreign 'meta' atoms.
#include "platform/movie/movie_metadata.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using bz_test::ShellQuote;

struct MetaItem {
  std::string key;
  std::string value;
  UInt32 dataType;
  UInt32 locale;
};

// Every item of the reference (wildcard search) with its properties.
std::vector<MetaItem> ItemsOf(QTMetaDataRef ref) {
  std::vector<MetaItem> items;
  QTMetaDataItem item = kQTMetaDataItemUninitialized;
  OSStatus err;
  while ((err = QTMetaDataGetNextItem(ref, kQTMetaDataStorageFormatWildcard, item, kQTMetaDataKeyFormatWildcard,
                                      nullptr, 0, &item)) == noErr) {
    MetaItem m{};
    char buffer[256];
    ByteCount size = 0;
    EXPECT_EQ(noErr, QTMetaDataGetItemProperty(ref, item, kPropertyClass_MetaDataItem, kQTMetaDataItemPropertyID_Key,
                                               sizeof(buffer), buffer, &size));
    m.key.assign(buffer, size);
    EXPECT_EQ(noErr, QTMetaDataGetItemValue(ref, item, reinterpret_cast<UInt8 *>(buffer), sizeof(buffer), &size));
    m.value.assign(buffer, size);
    EXPECT_EQ(noErr, QTMetaDataGetItemProperty(ref, item, kPropertyClass_MetaDataItem,
                                               kQTMetaDataItemPropertyID_DataType, 4, &m.dataType, nullptr));
    EXPECT_EQ(noErr, QTMetaDataGetItemProperty(ref, item, kPropertyClass_MetaDataItem,
                                               kQTMetaDataItemPropertyID_Locale, 4, &m.locale, nullptr));
    items.push_back(m);
  }
  EXPECT_EQ(kQTMetaDataNoMoreItemsErr, err);
  return items;
}

QTMetaDataItem Add(QTMetaDataRef ref, const std::string &key, const std::string &value, UInt32 type) {
  QTMetaDataItem item = 0;
  EXPECT_EQ(noErr, QTMetaDataAddItem(ref, kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatQuickTime,
                                     reinterpret_cast<const UInt8 *>(key.data()), key.size(),
                                     reinterpret_cast<const UInt8 *>(value.data()), value.size(), type, &item));
  return item;
}

void UpdateStoredMovie(Movie movie, const std::string &path) {
  Handle dataRef = nullptr;
  OSType type = 0;
  ASSERT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type));
  DataHandler dh = nullptr;
  ASSERT_EQ(noErr, OpenMovieStorage(dataRef, type, kDataHCanWrite, &dh));
  EXPECT_EQ(noErr, UpdateMovieInStorage(movie, dh));
  EXPECT_EQ(noErr, CloseMovieStorage(dh));
  DisposeHandle(dataRef);
}

bool SameItems(const std::vector<MetaItem> &a, const std::vector<MetaItem> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].key != b[i].key || a[i].value != b[i].value || a[i].dataType != b[i].dataType ||
        a[i].locale != b[i].locale)
      return false;
  return true;
}

TEST(MovieMetaData, ItemsOfMovieTrackAndMediaSurviveTheFile) {
  bz_test::TempDir dir;
  std::string path = dir.File("meta.mov");
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path, bz_test::FixtureMovieSpec{}, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  Track video = GetMovieIndTrack(movie, 1);
  QTMetaDataRef refs[3] = {};
  ASSERT_EQ(noErr, QTCopyMovieMetaData(movie, &refs[0]));
  ASSERT_EQ(noErr, QTCopyTrackMetaData(video, &refs[1]));
  ASSERT_EQ(noErr, QTCopyMediaMetaData(GetTrackMedia(video), &refs[2]));
  for (QTMetaDataRef ref : refs) EXPECT_TRUE(ItemsOf(ref).empty());

  // Movie: two values of one key (one with a locale), a second key, binary data with a zero byte.
  QTMetaDataItem a = Add(refs[0], "com.apple.quicktime.title", "Cleaned", kQTMetaDataTypeUTF8);
  QTMetaDataItem b = Add(refs[0], "com.apple.quicktime.title", "Gereinigt", kQTMetaDataTypeUTF8);
  Add(refs[0], "com.example.raw", std::string("\x01\x00\x02", 3), kQTMetaDataTypeBinary);
  EXPECT_EQ(1u, a);
  EXPECT_EQ(2u, b);
  UInt32 german = ('D' << 24) | ('E' << 16) | 0x0002;
  ASSERT_EQ(noErr, QTMetaDataSetItemProperty(refs[0], b, kPropertyClass_MetaDataItem,
                                             kQTMetaDataItemPropertyID_Locale, 4, &german));
  Add(refs[1], "com.example.track", "video", kQTMetaDataTypeUTF8);
  Add(refs[2], "com.example.media", std::string("\x00\x00\x01\x2C", 4), kQTMetaDataTypeSignedIntegerBE);

  // Searching by key finds the key's items only.
  const std::string title = "com.apple.quicktime.title";
  QTMetaDataItem found = 0;
  ASSERT_EQ(noErr, QTMetaDataGetNextItem(refs[0], kQTMetaDataStorageFormatQuickTime, 0, kQTMetaDataKeyFormatQuickTime,
                                         reinterpret_cast<const UInt8 *>(title.data()), title.size(), &found));
  EXPECT_EQ(a, found);
  ASSERT_EQ(noErr, QTMetaDataGetNextItem(refs[0], kQTMetaDataStorageFormatQuickTime, found,
                                         kQTMetaDataKeyFormatQuickTime, reinterpret_cast<const UInt8 *>(title.data()),
                                         title.size(), &found));
  EXPECT_EQ(b, found);
  EXPECT_EQ(kQTMetaDataNoMoreItemsErr,
            QTMetaDataGetNextItem(refs[0], kQTMetaDataStorageFormatQuickTime, found, kQTMetaDataKeyFormatQuickTime,
                                  reinterpret_cast<const UInt8 *>(title.data()), title.size(), &found));

  std::vector<std::vector<MetaItem>> before;
  for (QTMetaDataRef ref : refs) before.push_back(ItemsOf(ref));
  ASSERT_EQ(3u, before[0].size());
  EXPECT_EQ(german, before[0][1].locale);
  for (QTMetaDataRef ref : refs) QTMetaDataRelease(ref);
  UpdateStoredMovie(movie, path);
  DisposeMovie(movie);

  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  video = GetMovieIndTrack(movie, 1);
  ASSERT_EQ(noErr, QTCopyMovieMetaData(movie, &refs[0]));
  ASSERT_EQ(noErr, QTCopyTrackMetaData(video, &refs[1]));
  ASSERT_EQ(noErr, QTCopyMediaMetaData(GetTrackMedia(video), &refs[2]));
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(SameItems(before[size_t(i)], ItemsOf(refs[i])));
  }
  // Removing renumbers the later items.
  ASSERT_EQ(noErr, QTMetaDataRemoveItem(refs[0], 1));
  std::vector<MetaItem> left = ItemsOf(refs[0]);
  ASSERT_EQ(2u, left.size());
  EXPECT_EQ("Gereinigt", left[0].value);
  for (QTMetaDataRef ref : refs) QTMetaDataRelease(ref);
  DisposeMovie(movie);

  if (!bz_test::RequireFfmpeg()) return;
  std::string out;
  ASSERT_EQ(0, bz_test::RunCommand("ffprobe -v error -show_entries format_tags -of default=nw=1 " + ShellQuote(path),
                                   &out));
  EXPECT_NE(std::string::npos, out.find("title=Cleaned")) << out;
}

TEST(MovieMetaData, ItemsThatFfmpegWroteAreRead) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  std::string path = dir.File("ffmpeg.mov");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=32x24:r=25:d=0.2 -c:v rawvideo "
                                   "-pix_fmt uyvy422 -metadata title=Hello -metadata com.example.key=Wert "
                                   "-movflags use_metadata_tags " + ShellQuote(path)));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  QTMetaDataRef ref = nullptr;
  ASSERT_EQ(noErr, QTCopyMovieMetaData(movie, &ref));
  std::vector<MetaItem> items = ItemsOf(ref);
  bool title = false, key = false;
  for (const MetaItem &m : items) {
    title = title || (m.key == "title" && m.value == "Hello" && m.dataType == kQTMetaDataTypeUTF8);
    key = key || (m.key == "com.example.key" && m.value == "Wert");
  }
  EXPECT_TRUE(title);
  EXPECT_TRUE(key);
  // An item added goes into the same atom, which ffprobe still reads.
  Add(ref, "com.example.added", "neu", kQTMetaDataTypeUTF8);
  QTMetaDataRelease(ref);
  UpdateStoredMovie(movie, path);
  DisposeMovie(movie);
  std::string out;
  ASSERT_EQ(0, bz_test::RunCommand("ffprobe -v error -show_entries format_tags -of default=nw=1 " + ShellQuote(path),
                                   &out));
  EXPECT_NE(std::string::npos, out.find("title=Hello")) << out;
  EXPECT_NE(std::string::npos, out.find("com.example.added=neu")) << out;
}

TEST(MovieMetaData, BadCallsGiveTheirErrors) {
  Movie movie = NewMovie(0);
  QTMetaDataRef ref = reinterpret_cast<QTMetaDataRef>(1);
  EXPECT_EQ(invalidMovie, QTCopyMovieMetaData(nullptr, &ref));
  EXPECT_EQ(nullptr, ref);
  EXPECT_EQ(invalidTrack, QTCopyTrackMetaData(nullptr, &ref));
  QTMetaDataItem item = 7;
  EXPECT_EQ(kQTMetaDataInvalidMetaDataErr,
            QTMetaDataGetNextItem(nullptr, kQTMetaDataStorageFormatWildcard, 0, 0, nullptr, 0, &item));
  ASSERT_EQ(noErr, QTCopyMovieMetaData(movie, &ref));
  QTMetaDataItem added = Add(ref, "k", "value", kQTMetaDataTypeUTF8);
  const UInt8 key[] = {'k'}, value[] = {'v'};
  struct AddCase {
    OSType storage, keyFormat;
    const UInt8 *key;
    ByteCount keySize;
    OSStatus expected;
  } adds[] = {
      {kQTMetaDataStorageFormatiTunes, kQTMetaDataKeyFormatiTunesShortForm, key, 1, kQTMetaDataInvalidStorageFormatErr},
      {kQTMetaDataStorageFormatUserData, kQTMetaDataKeyFormatUserData, key, 1, kQTMetaDataInvalidStorageFormatErr},
      {kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatiTunesLongForm, key, 1, kQTMetaDataInvalidKeyFormatErr},
      {kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatQuickTime, key, 0, paramErr},
      {kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatQuickTime, nullptr, 1, paramErr},
  };
  for (const AddCase &c : adds)
    EXPECT_EQ(c.expected, QTMetaDataAddItem(ref, c.storage, c.keyFormat, c.key, c.keySize, value, 1, 1, &item))
        << c.storage << " " << c.keyFormat;
  EXPECT_EQ(1u, ItemsOf(ref).size());

  char small[3];
  ByteCount needed = 0;
  EXPECT_EQ(kQTPropertyBadValueSizeErr, QTMetaDataGetItemValue(ref, added, reinterpret_cast<UInt8 *>(small),
                                                               sizeof(small), &needed));
  EXPECT_EQ(5u, needed);
  EXPECT_EQ(kQTMetaDataInvalidItemErr, QTMetaDataGetItemValue(ref, 0, nullptr, 0, &needed));
  EXPECT_EQ(kQTMetaDataInvalidItemErr, QTMetaDataGetItemValue(ref, added + 1, nullptr, 0, &needed));
  EXPECT_EQ(kQTPropertyNotSupportedErr,
            QTMetaDataGetItemPropertyInfo(ref, added, 'idsc', kQTMetaDataItemPropertyID_Value, nullptr, nullptr, nullptr));
  EXPECT_EQ(kQTPropertyReadOnlyErr, QTMetaDataSetItemProperty(ref, added, kPropertyClass_MetaDataItem,
                                                              kQTMetaDataItemPropertyID_Key, 1, key));
  UInt16 shortLocale = 1;
  EXPECT_EQ(kQTPropertyBadValueSizeErr, QTMetaDataSetItemProperty(ref, added, kPropertyClass_MetaDataItem,
                                                                  kQTMetaDataItemPropertyID_Locale, 2, &shortLocale));
  UInt32 flags = 0;
  ASSERT_EQ(noErr, QTMetaDataGetItemPropertyInfo(ref, added, kPropertyClass_MetaDataItem,
                                                 kQTMetaDataItemPropertyID_StorageFormat, nullptr, nullptr, &flags));
  EXPECT_EQ(UInt32(kComponentPropertyFlagCanGetNow), flags);
  QTMetaDataRelease(ref);
  DisposeMovie(movie);
}

// A movie whose 'meta' atom is the given payload.
Movie MovieWithMetaAtom(const std::vector<UInt8> &payload) {
  Movie movie = NewMovie(0);
  movie->extras.push_back(PL_RawAtom{'meta', payload});
  return movie;
}

TEST(MovieMetaData, DamagedOrForeignAtomsAreReportedAndKept) {
  // A good atom: 'hdlr' mdta, 'keys' with one key, 'ilst' with one item of it.
  Movie good = NewMovie(0);
  QTMetaDataRef ref = nullptr;
  ASSERT_EQ(noErr, QTCopyMovieMetaData(good, &ref));
  Add(ref, "key", "value", kQTMetaDataTypeUTF8);
  QTMetaDataRelease(ref);
  ASSERT_EQ(1u, good->extras.size());
  const std::vector<UInt8> atom = good->extras[0].payload;
  DisposeMovie(good);
  // Offsets: hdlr (8 + 25) at 0, keys at 33 (count at 33 + 12, first entry's size at 33 + 16), ilst at 33 + 23.
  const size_t keys = 33, ilst = keys + 8 + 4 + 4 + 11;
  ASSERT_EQ(OSType('keys'), PL_GetBE32(atom.data() + keys + 4));
  ASSERT_EQ(OSType('ilst'), PL_GetBE32(atom.data() + ilst + 4));
  struct Damage {
    const char *name;
    size_t offset;
    UInt32 value;
    size_t cutTo;  // 0: no cut
    OSStatus expected;
  } cases[] = {
      {"key count past the atom", keys + 12, 9, 0, kPL_MovieAtomCountErr},
      {"key size past the atom", keys + 16, 4000, 0, kPL_MovieAtomErr},
      {"item of a missing key", ilst + 12, 2, 0, kPL_MovieSampleTableErr},
      {"child size past the atom", ilst, 500, 0, kPL_MovieAtomErr},
      {"cut inside the item list", 0, 0, ilst + 10, kPL_MovieAtomErr},
  };
  for (const Damage &d : cases) {
    SCOPED_TRACE(d.name);
    std::vector<UInt8> bytes = atom;
    if (d.cutTo != 0) bytes.resize(d.cutTo);
    else PL_PutBE32(bytes.data() + d.offset, d.value);
    Movie movie = MovieWithMetaAtom(bytes);
    ASSERT_EQ(noErr, QTCopyMovieMetaData(movie, &ref));
    QTMetaDataItem item = 0;
    EXPECT_EQ(d.expected, QTMetaDataGetNextItem(ref, 0, 0, 0, nullptr, 0, &item));
    const UInt8 k[] = {'x'};
    EXPECT_EQ(d.expected, QTMetaDataAddItem(ref, kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatQuickTime, k, 1,
                                            k, 1, 1, &item));
    EXPECT_TRUE(bytes == movie->extras[0].payload);  // left as it was
    QTMetaDataRelease(ref);
    DisposeMovie(movie);
  }

  // Another handler's atom offers no items and takes none.
  std::vector<UInt8> foreign = atom;
  PL_PutBE32(foreign.data() + 16, 'mdir');
  Movie movie = MovieWithMetaAtom(foreign);
  ASSERT_EQ(noErr, QTCopyMovieMetaData(movie, &ref));
  EXPECT_TRUE(ItemsOf(ref).empty());
  const UInt8 k[] = {'x'};
  QTMetaDataItem item = 0;
  EXPECT_EQ(kQTMetaDataInvalidStorageFormatErr, QTMetaDataAddItem(ref, kQTMetaDataStorageFormatQuickTime,
                                                                  kQTMetaDataKeyFormatQuickTime, k, 1, k, 1, 1, &item));
  EXPECT_TRUE(foreign == movie->extras[0].payload);
  QTMetaDataRelease(ref);
  DisposeMovie(movie);
}

}  // namespace
