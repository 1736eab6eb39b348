// Records and file regions in atom containers, the container walk, spread sample numbers, process rates,
// the progress procedure, and the controller calls that have no meaning here.
#include "movie/atom_containers.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/controls.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_controller.h"
#include "platform/movie/movie_properties.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Container {
  QTAtomContainer c = nullptr;
  Container() { EXPECT_EQ(noErr, QTNewAtomContainer(&c)); }
  ~Container() { QTDisposeAtomContainer(c); }
};

std::vector<UInt8> DataOf(QTAtomContainer c, QTAtom atom) {
  SInt32 size = 0;
  Ptr data = nullptr;
  EXPECT_EQ(noErr, QTGetAtomDataPtr(c, atom, &size, &data));
  return std::vector<UInt8>(data, data + size);
}

std::vector<UInt8> BE32(UInt32 v) { return {UInt8(v >> 24), UInt8(v >> 16), UInt8(v >> 8), UInt8(v)}; }

TEST(MovieAtomContainers, UniqueIdentityAndStructAtoms) {
  Container k;
  QTAtomID id = 0;
  ASSERT_EQ(noErr, QTA_GetUniqueAtomIdentity(k.c, 0, 'rec ', &id));
  EXPECT_EQ(1, id);
  for (QTAtomID each : {1, 5, 3}) ASSERT_EQ(noErr, QTInsertChild(k.c, 0, 'rec ', each, 0, 0, nullptr, nullptr));
  ASSERT_EQ(noErr, QTA_GetUniqueAtomIdentity(k.c, 0, 'rec ', &id));
  EXPECT_EQ(6, id);
  ASSERT_EQ(noErr, QTA_GetUniqueAtomIdentity(k.c, 0, 'othr', &id));
  EXPECT_EQ(1, id);

  // With 0 the fresh identifier is taken; a given one is kept; either way it is handed back.
  const char bytes[] = "record";
  QTAtom atom = 0;
  id = 0;
  ASSERT_EQ(noErr, QTA_QTInsertStructAtom(k.c, 0, 'rec ', sizeof(bytes), bytes, &atom, &id));
  EXPECT_EQ(6, id);
  EXPECT_EQ(atom, QTFindChildByID(k.c, 0, 'rec ', 6, nullptr));
  QTAtomID dataID = 0;
  QTAtom data = QTFindChildByIndex(k.c, atom, 'SCFL', 1, &dataID);
  EXPECT_EQ(1, dataID);
  EXPECT_EQ(std::vector<UInt8>(bytes, bytes + sizeof(bytes)), DataOf(k.c, data));
  id = 40;
  ASSERT_EQ(noErr, QTA_QTInsertStructAtom(k.c, 0, 'rec ', 0, nullptr, &atom, &id));
  EXPECT_EQ(40, id);
  EXPECT_EQ(0, QTCountChildrenOfType(k.c, atom, 0));  // no bytes, no 'SCFL'
  EXPECT_EQ(duplicateAtomTypeAndIDErr, QTA_QTInsertStructAtom(k.c, 0, 'rec ', 0, nullptr, &atom, &id));
}

// A record of 24 bytes with two pointer fields (at 0 and 16) and an int in between.
QTA_StructPtr NewRecord(SInt32 value, QTA_StructPtr first, QTA_StructPtr second) {
  QTA_StructPtr r = nullptr;
  EXPECT_EQ(noErr, QTA_NewStruct(28, 2, &r));
  r->pointerOffsets[0] = 0;
  r->pointerOffsets[1] = 16;
  std::memcpy(r->bytes, &first, sizeof(first));
  std::memcpy(r->bytes + 8, &value, sizeof(value));
  std::memcpy(r->bytes + 16, &second, sizeof(second));
  std::memcpy(r->bytes + 24, "tail", 4);
  return r;
}

QTA_StructPtr Field(const QTA_Struct *r, SInt32 i) {
  QTA_StructPtr p = nullptr;
  std::memcpy(&p, r->bytes + r->pointerOffsets[i], sizeof(p));
  return p;
}
SInt32 Value(const QTA_Struct *r) {
  SInt32 v = 0;
  std::memcpy(&v, r->bytes + 8, sizeof(v));
  return v;
}

TEST(MovieAtomContainers, NestedRecordsRoundTrip) {
  Container k;
  QTA_StructPtr leaf = NewRecord(3, nullptr, nullptr);
  QTA_StructPtr middle = NewRecord(2, nullptr, leaf);
  QTA_StructPtr top = NewRecord(1, middle, nullptr);
  ASSERT_EQ(noErr, QTA_StructToAtom(k.c, 0, 'rec ', &top, true));
  EXPECT_EQ(nullptr, top);  // freed, with everything it pointed to

  QTAtom atom = QTFindChildByID(k.c, 0, 'rec ', 1, nullptr);
  ASSERT_NE(0, atom);
  // The layout is stored big-endian, the bytes with their pointer fields zeroed.
  std::vector<UInt8> header = DataOf(k.c, QTFindChildByIndex(k.c, atom, 'SHDR', 1, nullptr));
  std::vector<UInt8> expected = BE32(28);
  for (UInt32 w : {2u, 0u, 16u}) {
    auto b = BE32(w);
    expected.insert(expected.end(), b.begin(), b.end());
  }
  EXPECT_EQ(expected, header);
  std::vector<UInt8> stored = DataOf(k.c, QTFindChildByIndex(k.c, atom, 'SCFL', 1, nullptr));
  ASSERT_EQ(28u, stored.size());
  EXPECT_EQ(std::vector<UInt8>(8, 0), std::vector<UInt8>(stored.begin(), stored.begin() + 8));
  EXPECT_EQ(1, QTCountChildrenOfType(k.c, atom, 'rec '));  // only the non-null field

  QTA_StructPtr back = nullptr;
  ASSERT_EQ(noErr, QTA_AtomToStruct(k.c, atom, 'rec ', &back));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(1, Value(back));
  EXPECT_EQ(nullptr, Field(back, 1));
  QTA_StructPtr m = Field(back, 0);
  ASSERT_NE(nullptr, m);
  EXPECT_EQ(2, Value(m));
  EXPECT_EQ(nullptr, Field(m, 0));
  ASSERT_NE(nullptr, Field(m, 1));
  EXPECT_EQ(3, Value(Field(m, 1)));
  EXPECT_EQ(0, std::memcmp(Field(m, 1)->bytes + 24, "tail", 4));
  QTA_DisposeStruct(back);

  // Without the disposing flag the caller keeps the record.
  QTA_StructPtr kept = NewRecord(7, nullptr, nullptr);
  ASSERT_EQ(noErr, QTA_StructToAtom(k.c, 0, 'rec ', &kept, false));
  ASSERT_NE(nullptr, kept);
  QTA_DisposeStruct(kept);
  EXPECT_NE(0, QTFindChildByID(k.c, 0, 'rec ', 2, nullptr));

  // A plain leaf is read as plain data.
  QTAtom plain = 0;
  ASSERT_EQ(noErr, QTInsertChild(k.c, 0, 'rec ', 9, 0, 5, "plain", &plain));
  ASSERT_EQ(noErr, QTA_AtomToStruct(k.c, plain, 'rec ', &back));
  EXPECT_EQ(5, back->numBytes);
  EXPECT_EQ(0, back->numPointers);
  EXPECT_EQ(0, std::memcmp(back->bytes, "plain", 5));
  QTA_DisposeStruct(back);
}

TEST(MovieAtomContainers, DamagedRecordsGiveErrors) {
  struct Case {
    const char *name;
    std::vector<UInt8> header;
    SInt32 dataSize;
    bool nestedLeaf;
    QTAtomType askedType;
    OSStatus expected;
  };
  auto header = [](std::initializer_list<UInt32> words) {
    std::vector<UInt8> h;
    for (UInt32 w : words) {
      auto b = BE32(w);
      h.insert(h.end(), b.begin(), b.end());
    }
    return h;
  };
  const Case cases[] = {
      {"HeaderTooShort", {0, 0, 0, 8}, 8, false, 'rec ', kQT_AtomCountErr},
      {"MorePointersThanOffsets", header({16, 3, 0}), 16, false, 'rec ', kQT_AtomCountErr},
      {"NegativeSize", header({0x80000000u, 0}), 16, false, 'rec ', kQT_AtomCountErr},
      {"PointerPastTheBytes", header({16, 1, 12}), 16, false, 'rec ', kQT_AtomTableErr},
      {"BytesOfAnotherSize", header({16, 0}), 12, false, 'rec ', kQT_AtomTableErr},
      {"NestedLeaf", header({16, 1, 0}), 16, true, 'rec ', notLeafAtomErr},
      {"OtherType", header({16, 0}), 16, false, 'othr', atomsNotOfSameTypeErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Container k;
    QTAtom atom = 0;
    ASSERT_EQ(noErr, QTInsertChild(k.c, 0, 'rec ', 1, 0, 0, nullptr, &atom));
    ASSERT_EQ(noErr, QTInsertChild(k.c, atom, 'SHDR', 1, 0, SInt32(c.header.size()), c.header.data(), nullptr));
    std::vector<UInt8> bytes(size_t(c.dataSize), 0);
    ASSERT_EQ(noErr, QTInsertChild(k.c, atom, 'SCFL', 1, 0, c.dataSize, bytes.data(), nullptr));
    if (c.nestedLeaf) {
      ASSERT_EQ(noErr, QTInsertChild(k.c, atom, 'rec ', 1, 0, 4, "leaf", nullptr));
    }
    QTA_StructPtr record = reinterpret_cast<QTA_StructPtr>(1);
    EXPECT_EQ(c.expected, QTA_AtomToStruct(k.c, atom, c.askedType, &record));
    EXPECT_EQ(nullptr, record);
  }
}

TEST(MovieAtomContainers, IndexedAtomsOfAType) {
  Container k;
  ASSERT_EQ(noErr, QTInsertChild(k.c, 0, 'item', 4, 0, 3, "one", nullptr));
  ASSERT_EQ(noErr, QTInsertChild(k.c, 0, 'item', 2, 0, 3, "two", nullptr));
  QTAtom atom = 0;
  QTAtomID id = 0;
  ASSERT_EQ(noErr, QTA_GetTIAtomFields(k.c, 0, 'item', 2, &atom, &id));
  EXPECT_EQ(2, id);
  SInt32 size = 0;
  Ptr data = nullptr;
  ASSERT_EQ(noErr, QTA_GetTIAtomDataPtr(k.c, 0, 'item', 1, &size, &data));
  EXPECT_EQ(0, std::memcmp(data, "one", 3));
  ASSERT_EQ(noErr, QTA_SetTIAtomData(k.c, 0, 'item', 2, 5, "three"));
  ASSERT_EQ(noErr, QTA_GetTIAtomDataPtr(k.c, 0, 'item', 2, &size, &data));
  EXPECT_EQ(5, size);
  EXPECT_EQ(cannotFindAtomErr, QTA_GetTIAtomFields(k.c, 0, 'item', 3, &atom, &id));
  EXPECT_EQ(cannotFindAtomErr, QTA_GetTIAtomDataPtr(k.c, 0, 'none', 1, &size, &data));
  EXPECT_EQ(cannotFindAtomErr, QTA_SetTIAtomData(k.c, 0, 'item', 0, 1, "x"));
}

// ---- File regions ----

struct RegionFile {
  bz_test::TempDir dir;
  std::string path = dir.File("data.bin");
  FSRef ref{};
  std::vector<UInt8> bytes;
  RegionFile() {
    for (int i = 0; i < 64; ++i) bytes.push_back(UInt8(i));
    EXPECT_TRUE(bz_test::WriteWholeFile(path, bytes));
    EXPECT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr));
  }
};

QTAtom Region(QTAtomContainer c, UInt32 offset, UInt32 length) {
  std::vector<UInt8> data = BE32(offset);
  auto b = BE32(length);
  data.insert(data.end(), b.begin(), b.end());
  QTAtom atom = 0;
  EXPECT_EQ(noErr, QTInsertChild(c, 0, 'DARF', 0, 0, 8, data.data(), &atom));
  return atom;
}

TEST(MovieAtomContainers, FileRegionAtoms) {
  Container k;
  QTAtom region = Region(k.c, 10, 20);
  UInt32 offset = 0, length = 0;
  ASSERT_EQ(noErr, QTA_GetOffsetAndNumBytes(k.c, region, &offset, &length));
  EXPECT_EQ(10u, offset);
  EXPECT_EQ(20u, length);
  QTAtom other = 0;
  ASSERT_EQ(noErr, QTInsertChild(k.c, 0, 'othr', 1, 0, 8, "12345678", &other));
  EXPECT_EQ(paramErr, QTA_GetOffsetAndNumBytes(k.c, other, &offset, &length));
  QTAtom shortRegion = 0;
  ASSERT_EQ(noErr, QTInsertChild(k.c, 0, 'DARF', 0, 0, 4, "1234", &shortRegion));
  EXPECT_EQ(kQT_AtomErr, QTA_GetOffsetAndNumBytes(k.c, shortRegion, &offset, &length));
}

TEST(MovieAtomContainers, CopyReferencedDataNeverExceedsTheBuffer) {
  RegionFile file;
  Container k;
  struct Case {
    const char *name;
    UInt32 offset, length;
    SInt32 size;
    bool lessOK;
    OSStatus expected;
    SInt32 read;
  };
  const Case cases[] = {
      {"Exact", 10, 20, 20, false, noErr, 20},
      {"RegionLongerThanBuffer", 10, 20, 8, false, noErr, 8},
      {"RegionLongerThanBufferLessOK", 10, 20, 8, true, noErr, 8},
      {"RegionShorterNotOK", 10, 20, 30, false, kQT_AtomErr, 0},
      {"RegionShorterLessOK", 10, 20, 30, true, noErr, 20},
      {"ZeroSize", 10, 20, 0, false, noErr, 0},
      {"RegionPastTheFile", 60, 20, 20, false, eofErr, 4},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    QTAtom region = Region(k.c, c.offset, c.length);
    bz_test::GuardedBuffer buffer(size_t(std::max<SInt32>(c.size, 1)));
    std::memset(buffer.data(), 0xEE, buffer.size());
    SInt32 numBytes = -1, available = -1;
    EXPECT_EQ(c.expected,
              QTA_CopyReferencedAtomDataToPtr(k.c, region, c.lessOK, c.size, buffer.data(), &numBytes, &available, &file.ref));
    EXPECT_TRUE(buffer.CheckGuards());
    EXPECT_EQ(c.read, numBytes);
    EXPECT_EQ(SInt32(c.length), available);
    EXPECT_EQ(0, std::memcmp(buffer.data(), file.bytes.data() + c.offset, size_t(std::max<SInt32>(c.read, 0))));
  }
  QTAtom region = Region(k.c, 0, 4);
  UInt8 target[4];
  EXPECT_EQ(paramErr, QTA_CopyReferencedAtomDataToPtr(k.c, region, false, 4, nullptr, nullptr, nullptr, &file.ref));
  EXPECT_EQ(paramErr, QTA_CopyReferencedAtomDataToPtr(k.c, region, false, 4, target, nullptr, nullptr, nullptr));
  EXPECT_EQ(paramErr, QTA_CopyReferencedAtomDataToPtr(k.c, region, false, -1, target, nullptr, nullptr, &file.ref));
}

TEST(MovieAtomContainers, WalkPrintsTheTree) {
  Container k;
  QTAtom video = 0;
  ASSERT_EQ(noErr, QTInsertChild(k.c, 0, 'vide', 1, 0, 0, nullptr, &video));
  ASSERT_EQ(noErr, QTInsertChild(k.c, video, 'sptl', 3, 0, 5, "ab\ncd", nullptr));
  std::vector<UInt8> big(1000, 'x');
  ASSERT_EQ(noErr, QTInsertChild(k.c, 0, 'big ', 1, 0, SInt32(big.size()), big.data(), nullptr));
  testing::internal::CaptureStdout();
  ASSERT_EQ(noErr, QTA_WalkAllAtomsInContainer(k.c, 0, 0, true));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("Printing contents of atom container"));
  EXPECT_NE(std::string::npos, out.find("level = 0, nextChild: type = 'vide', id = 1\n"));
  EXPECT_NE(std::string::npos, out.find("  Atom of type 'sptl', id 3 at level 1 is a leaf\n  data: ab.cd\n"));
  EXPECT_NE(std::string::npos, out.find("data: " + std::string(256, 'x') + "\n"));
  EXPECT_EQ(std::string::npos, out.find(std::string(257, 'x')));
  Handle bad = nullptr;
  ASSERT_EQ(noErr, PtrToHand("garbage", &bad, 7));
  EXPECT_EQ(invalidAtomContainerErr, QTA_WalkAllAtomsInContainer(bad, 0, 0, true));
  DisposeHandle(bad);
}

// ---- Movies that play ----

TEST(MovieAtomContainers, NullControllersChangeNothing) {
  Fixed rate = 77;
  TimeValue time = 77;
  EXPECT_EQ(paramErr, QT_GetMCPlayRate(nullptr, &rate));
  EXPECT_EQ(77, rate);
  EXPECT_EQ(paramErr, QT_SetMCPlayRate(nullptr, fixed1));
  EXPECT_EQ(paramErr, QT_GetMCTimeValue(nullptr, mcActionGetSelectionBegin, &time));
  EXPECT_EQ(77, time);
  EXPECT_EQ(paramErr, QT_SetMCTimeValue(nullptr, 10));
  EXPECT_EQ(paramErr, QT_SetMCSelection(nullptr, 10, 20));
  QT_MovieDataLE *list = nullptr;
  EXPECT_EQ(paramErr, QT_ActivateMovies(nullptr, &list));
  QT_PlayMovieSett sett{};
  EXPECT_EQ(paramErr, QT_ActivateMovie(&sett, &list, nullptr));
  EXPECT_EQ(paramErr, QT_AttachMovieToDialogItem(nullptr, nullptr, nullptr, 1, Point{0, 0}));

  auto *controller = reinterpret_cast<MovieController>(0x1000);
  QT_MC_LE third{nullptr, reinterpret_cast<MovieController>(0x3000)};
  QT_MC_LE second{&third, reinterpret_cast<MovieController>(0x2000)};
  QT_MC_LE first{&second, controller};
  EXPECT_EQ(&third, QT_FindMC_LE(&first, third.controller));
  EXPECT_EQ(nullptr, QT_FindMC_LE(&first, reinterpret_cast<MovieController>(0x4000)));
}

// A 48 x 32 movie of 10 frames of 100 units (scale 2500), optionally with a sound track, and its controller.
struct PlayingMovie {
  bz_test::BuiltMovie built{2500};
  MovieController mc = nullptr;
  explicit PlayingMovie(bool sound = false) {
    Track track = bz_test::AddBuiltTrack(built.movie, VideoMediaType, 2500,
                                         bz_test::Frames(std::vector<TimeValue>(10, 100)));
    bz_test::InsertWholeMedia(track);
    if (sound)
      bz_test::InsertWholeMedia(bz_test::AddBuiltTrack(built.movie, SoundMediaType, 2500, bz_test::Frames({1000})));
    const Rect r{0, 0, 48, 48};
    mc = NewMovieController(built.movie, &r, mcScaleMovieToFit);
  }
  ~PlayingMovie() { DisposeMovieController(mc); }
  Track Sound() const { return GetMovieIndTrackType(built.movie, 1, SoundMediaType, movieTrackMediaType); }
};

// The go-to-times a filter saw; it moves each to the frame start before it.
Boolean SnapToFrame(MovieController, SInt16 action, void *params, long refCon) {
  if (action == mcActionGoToTime) {
    auto *record = static_cast<TimeRecord *>(params);
    reinterpret_cast<std::vector<TimeValue> *>(refCon)->push_back(TimeValue(record->value.lo));
    record->value.lo = record->value.lo / 100 * 100;
  }
  return false;
}

TEST(MovieAtomContainers, ControllerCallsGoThroughTheController) {
  PlayingMovie m;
  std::vector<TimeValue> seen;
  ASSERT_EQ(noErr, MCSetActionFilterWithRefCon(m.mc, SnapToFrame, reinterpret_cast<long>(&seen)));
  struct Case {
    const char *name;
    Fixed rate;
    TimeValue goTo, expectedTime, selBegin, selDuration;
  };
  const Case cases[] = {
      {"plays at normal rate, go to a frame start", fixed1, 300, 300, 100, 200},
      {"half rate, the filter snaps the time", fixed1 / 2, 470, 400, 0, 1000},
      {"stopped, past the end limits to the duration", 0, 1200, 1000, 900, 100},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    ASSERT_EQ(noErr, QT_SetMCPlayRate(m.mc, k.rate));
    Fixed rate = -1;
    ASSERT_EQ(noErr, QT_GetMCPlayRate(m.mc, &rate));
    EXPECT_EQ(k.rate, rate);
    ASSERT_EQ(noErr, QT_SetMCTimeValue(m.mc, k.goTo));
    EXPECT_EQ(k.goTo, seen.back());
    EXPECT_EQ(k.expectedTime, GetMovieTime(m.built.movie, nullptr));
    ASSERT_EQ(noErr, QT_SetMCSelection(m.mc, k.selBegin, k.selDuration));
    TimeValue begin = -1, duration = -1;
    ASSERT_EQ(noErr, QT_GetMCTimeValue(m.mc, mcActionGetSelectionBegin, &begin));
    ASSERT_EQ(noErr, QT_GetMCTimeValue(m.mc, mcActionGetSelectionDuration, &duration));
    EXPECT_EQ(k.selBegin, begin);
    EXPECT_EQ(k.selDuration, duration);
    QT_MC_LE only{nullptr, m.mc};
    EXPECT_EQ(k.rate != 0 ? m.mc : nullptr, QT_GetFirstPlayingMovie(&only));
  }
  TimeValue unchanged = 5;
  EXPECT_EQ(badControllerAction, QT_GetMCTimeValue(m.mc, mcActionGoToTime + 100, &unchanged));
  EXPECT_EQ(5, unchanged);
}

TEST(MovieAtomContainers, FirstPlayingMovieSkipsStoppedOnes) {
  PlayingMovie a, b, c;
  QT_MC_LE third{nullptr, c.mc}, second{&third, b.mc}, first{&second, a.mc};
  EXPECT_EQ(nullptr, QT_GetFirstPlayingMovie(&first));
  ASSERT_EQ(noErr, QT_SetMCPlayRate(c.mc, fixed1));
  EXPECT_EQ(c.mc, QT_GetFirstPlayingMovie(&first));
  ASSERT_EQ(noErr, QT_SetMCPlayRate(b.mc, -fixed1));
  EXPECT_EQ(b.mc, QT_GetFirstPlayingMovie(&first));
}

// Switching out and in: which movies keep playing and sounding, and that all comes back.
TEST(MovieAtomContainers, ActivationFollowsThePlaySettings) {
  struct Case {
    const char *name;
    Boolean playAll, onlyFrontSound, oneInBackground;
    Fixed frontRate, backRate;       // while behind
    Boolean frontSound, backSound;   // while behind
  };
  const Case cases[] = {
      {"nothing plays behind", false, false, false, 0, 0, false, false},
      {"the front movie plays behind", false, false, true, fixed1, 0, true, false},
      {"all play behind", true, false, false, fixed1, 2 * fixed1, true, true},
      {"all play, only the front one sounds", true, true, false, fixed1, 2 * fixed1, true, false},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    PlayingMovie front(true), back(true);
    QT_MovieDataLE backEntry{nullptr, {}}, frontEntry{&backEntry, {}};
    frontEntry.data.movie = front.built.movie;
    frontEntry.data.controller = front.mc;
    backEntry.data.movie = back.built.movie;
    backEntry.data.controller = back.mc;
    QT_MovieDataLE *list = &frontEntry;
    ASSERT_EQ(noErr, QT_SetMCPlayRate(front.mc, fixed1));
    ASSERT_EQ(noErr, QT_SetMCPlayRate(back.mc, 2 * fixed1));

    QT_PlayMovieSett sett{};
    sett.playAllMovies = k.playAll;
    sett.playOnlyFrontMovieSound = k.onlyFrontSound;
    sett.playOneMovieInBackground = k.oneInBackground;
    ASSERT_EQ(noErr, QT_ActivateMovies(&sett, &list));
    Fixed rate = -1;
    QT_GetMCPlayRate(front.mc, &rate);
    EXPECT_EQ(k.frontRate, rate);
    QT_GetMCPlayRate(back.mc, &rate);
    EXPECT_EQ(k.backRate, rate);
    EXPECT_EQ(k.frontSound, GetTrackEnabled(front.Sound()));
    EXPECT_EQ(k.backSound, GetTrackEnabled(back.Sound()));

    sett.appSwitchedIn = true;
    ASSERT_EQ(noErr, QT_ActivateMovies(&sett, &list));
    QT_GetMCPlayRate(front.mc, &rate);
    EXPECT_EQ(fixed1, rate);
    QT_GetMCPlayRate(back.mc, &rate);
    EXPECT_EQ(2 * fixed1, rate);
    EXPECT_TRUE(GetTrackEnabled(front.Sound()));
    EXPECT_TRUE(GetTrackEnabled(back.Sound()));
    EXPECT_EQ(nullptr, frontEntry.data.savedState.firstEnabledState) << "the saved states are freed";
  }
}

TEST(MovieAtomContainers, ActivatingAMovieBringsItToTheFrontWithItsSound) {
  PlayingMovie a(true), b(true);
  QT_MovieDataLE second{nullptr, {}}, first{&second, {}};
  first.data.movie = a.built.movie;
  first.data.controller = a.mc;
  second.data.movie = b.built.movie;
  second.data.controller = b.mc;
  QT_MovieDataLE *list = &first;
  QT_PlayMovieSett sett{};
  sett.playOnlyFrontMovieSound = true;
  ASSERT_EQ(noErr, QT_ActivateMovie(&sett, &list, b.built.movie));
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(b.built.movie, list->data.movie);
  EXPECT_TRUE(GetTrackEnabled(b.Sound()));
  EXPECT_FALSE(GetTrackEnabled(a.Sound()));
  ASSERT_EQ(noErr, QT_ActivateMovie(&sett, &list, a.built.movie));
  EXPECT_EQ(a.built.movie, list->data.movie);
  EXPECT_TRUE(GetTrackEnabled(a.Sound())) << "its saved state comes back";
  EXPECT_FALSE(GetTrackEnabled(b.Sound()));
  sett.appSwitchedIn = true;
  ASSERT_EQ(noErr, QT_ActivateMovies(&sett, &list));
  EXPECT_TRUE(GetTrackEnabled(b.Sound()));
  bz_test::BuiltMovie stranger;
  EXPECT_EQ(paramErr, QT_ActivateMovie(&sett, &list, stranger.movie));
}

TEST(MovieAtomContainers, AttachPlacesTheControllerOverTheItem) {
  int storage = 0;
  auto window = reinterpret_cast<WindowRef>(&storage);
  const Rect itemBounds[] = {{0, 0, 20, 20}, {30, 40, 130, 200}};
  for (SInt32 i = 0; i < 2; ++i) {
    const HIViewID id{'Orl1', 100 + i};
    ControlRef c = nullptr;
    ASSERT_EQ(noErr, PL_NewControl(window, &id, &c));
    SetControlBounds(c, &itemBounds[i]);
  }
  PlayingMovie m;
  ASSERT_EQ(noErr, MCSetControllerAttached(m.mc, false));
  ASSERT_EQ(noErr, MCSetVisible(m.mc, false));
  ASSERT_EQ(noErr, QT_AttachMovieToDialogItem(m.built.movie, m.mc, window, 2, Point{50, 60}));
  Rect bounds{}, box{};
  MCGetControllerBoundsRect(m.mc, &bounds);
  EXPECT_EQ((Rect{50, 60, 150, 220}).bottom, bounds.bottom);
  EXPECT_EQ(50, bounds.top);
  EXPECT_EQ(60, bounds.left);
  EXPECT_EQ(220, bounds.right);
  EXPECT_EQ(1, MCIsControllerAttached(m.mc));
  EXPECT_EQ(1, MCGetVisible(m.mc));
  GetMovieBox(m.built.movie, &box);
  EXPECT_EQ(150 - kPL_ControllerBarHeight, box.bottom) << "the movie sits above the bar";
  RgnHandle clip = nullptr;
  ASSERT_EQ(noErr, MCGetClip(m.mc, &clip, nullptr));
  ASSERT_NE(nullptr, clip);
  Rect clipBounds{};
  GetRegionBounds(clip, &clipBounds);
  EXPECT_TRUE(EqualRect(&bounds, &clipBounds));
  DisposeRgn(clip);
  EXPECT_NE(noErr, QT_AttachMovieToDialogItem(m.built.movie, m.mc, window, 3, Point{0, 0}));
  bz_test::BuiltMovie other;
  EXPECT_EQ(paramErr, QT_AttachMovieToDialogItem(other.movie, m.mc, window, 2, Point{0, 0}));
  PL_DisposeWindowControls(window);
}

// A movie whose video track has `frames` samples of 100 units.
struct VideoMovie {
  bz_test::BuiltMovie movie;
  explicit VideoMovie(int frames, bool enabled = true) {
    Track track = bz_test::AddBuiltTrack(movie.movie, VideoMediaType, 2500,
                                         bz_test::Frames(std::vector<TimeValue>(size_t(frames), 100)));
    bz_test::InsertWholeMedia(track);
    SetTrackEnabled(track, enabled);
  }
};

TEST(MovieAtomContainers, SelectMovieSamplesSpreadsOverTheMovie) {
  VideoMovie m250(250), m50(50), m180(180), disabled(10, false);
  SInt32 numbers[100];
  SInt32 count = 0;
  ASSERT_EQ(noErr, QT_SelectMovieSamples(m250.movie.movie, nullptr, 1000, numbers, 100, &count));
  EXPECT_EQ(100, count);
  EXPECT_EQ(1, numbers[0]);
  EXPECT_EQ(3, numbers[1]);
  EXPECT_EQ(6, numbers[2]);
  EXPECT_EQ(8, numbers[3]);
  EXPECT_EQ(248, numbers[99]);

  // Fewer than 100: the count stays, the numbers are 1 to 100.
  ASSERT_EQ(noErr, QT_SelectMovieSamples(m50.movie.movie, nullptr, 1000, numbers, 100, &count));
  EXPECT_EQ(50, count);
  EXPECT_EQ(100, numbers[99]);
  // The greatest count and the second movie limit n.
  ASSERT_EQ(noErr, QT_SelectMovieSamples(m250.movie.movie, nullptr, 60, numbers, 100, &count));
  EXPECT_EQ(60, count);
  ASSERT_EQ(noErr, QT_SelectMovieSamples(m250.movie.movie, m180.movie.movie, 1000, numbers, 100, &count));
  EXPECT_EQ(100, count);
  EXPECT_EQ(180 * 99 / 100 + 1, numbers[99]);

  EXPECT_EQ(kQT_NoVideoTrackErr, QT_SelectMovieSamples(disabled.movie.movie, nullptr, 1000, numbers, 100, &count));
  EXPECT_EQ(kQT_NoVideoTrackErr, QT_SelectMovieSamples(m250.movie.movie, disabled.movie.movie, 1000, numbers, 100, &count));
  EXPECT_EQ(paramErr, QT_SelectMovieSamples(m250.movie.movie, nullptr, 1000, numbers, 0, &count));
}

TEST(MovieAtomContainers, MovieProcessRate) {
  QT_MovieProcessDurationInfo a{600, 10, 2}, b{1800, 40, 6};
  QT_MovieProcessRate rate{-1, -1};
  ASSERT_EQ(noErr, QT_GetMovieProcessRate(&a, &b, &rate));
  EXPECT_EQ(Fixed(40 << 16), rate.timePerSample);
  EXPECT_EQ(Fixed(300 << 16), rate.timePerMB);
  QT_MovieProcessRate kept{5, 6};
  ASSERT_EQ(noErr, QT_GetMovieProcessRate(&a, &a, &kept));
  EXPECT_EQ(5, kept.timePerSample);
  EXPECT_EQ(6, kept.timePerMB);
  QT_MovieProcessDurationInfo backwards{300, 40, 6};
  EXPECT_EQ(paramErr, QT_GetMovieProcessRate(&a, &backwards, &kept));
  EXPECT_EQ(5, kept.timePerSample);
}

TEST(MovieAtomContainers, ProgressProcedureReportsOnStandardOutput) {
  QT_ProgressInfo info{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(noErr, QT_MovieProgressProcPtr_1(nullptr, movieProgressOpen, progressOpExportMovie, 0, &info));
  EXPECT_EQ(noErr, QT_MovieProgressProcPtr_1(nullptr, movieProgressUpdatePercent, progressOpExportMovie, fixed1 / 2, &info));
  EXPECT_EQ(noErr, QT_MovieProgressProcPtr_1(nullptr, movieProgressUpdatePercent, progressOpExportMovie, fixed1 / 2, &info));
  EXPECT_EQ(noErr, QT_MovieProgressProcPtr_1(nullptr, movieProgressUpdatePercent, progressOpExportMovie, fixed1, &info));
  EXPECT_EQ(noErr, QT_MovieProgressProcPtr_1(nullptr, movieProgressClose, progressOpExportMovie, fixed1, nullptr));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(0u, out.find("Started (possibly long) movie operation\n"));
  // The estimate is printed once, when it has settled.
  size_t first = out.find("Expected duration ");
  EXPECT_NE(std::string::npos, first);
  EXPECT_EQ(std::string::npos, out.find("Expected duration ", first + 1));
  EXPECT_TRUE(info.printed);
  EXPECT_NE(std::string::npos, out.find("Finished movie operation.\n"));
}

}  // namespace
