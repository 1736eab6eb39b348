// Outlier edit lists: the flat form and its damage checks, file names and indexes, the writer and the
// readers of ".kbzoel" files beside the source, the merge of the preview frame's edits and closing the lists.
#include "outliers/outlier_edit_lists.h"

#include "general/file_layer.h"
#include "outlier_test_support.h"
#include "platform/core/cf_string.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace {

using bz_test::Drawn;
using bz_test::FrameEdits;
using bz_test::Toggle;

std::string Utf8(CFStringRef s) {
  if (s == nullptr) return "<null>";
  char buffer[2048];
  return CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "<unconvertible>";
}

// A CF string of a UTF-8 text (owned by the caller).
CFStringRef Str(const char *text) { return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8); }

std::vector<UInt8> Flatten(const BZ_OuOelList &list) {
  std::vector<UInt8> flat(size_t(BZ_OuGetOelFlatDataSize(&list) - kBZ_OuOelSettSize), 0xEE);
  BZ_OuFlattenOutlierEditList(&list, flat.data());
  return flat;
}

std::vector<UInt8> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<UInt8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string &path, const std::vector<UInt8> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// A whole file: the settings record and the list.
std::vector<UInt8> FileBytes(const BZ_OuSett &sett, const std::vector<FrameEdits> &frames) {
  BZ_OuOelList list{};
  bz_test::FillList(&list, frames);
  std::vector<UInt8> bytes(kBZ_OuOelSettSize);
  BZ_OuSettToFileBytes(&sett, bytes.data());
  const std::vector<UInt8> flat = Flatten(list);
  bytes.insert(bytes.end(), flat.begin(), flat.end());
  BZ_OuDisposeOutlierEditlist(&list.firstFrameOel);
  return bytes;
}

BZ_OuSett OtherSett(SInt32 minDiff) {
  BZ_OuSett s{};
  BZ_MakeDefaultOuSett(&s);
  s.minDiff = minDiff;
  return s;
}

// ---- Flat form ----

TEST(OutliersEditListFlat, RoundTripKeepsFramesEditsAndOrder) {
  const std::vector<std::vector<FrameEdits>> cases = {
      {},
      {{12, {Toggle(3), Drawn(kBZ_OuNewSpeck, 10, 20, 30, 40)}}},
      {{0, {}}, {5, {Toggle(1, kBZ_OuToggleInterpolation)}}, {7, {Drawn(kBZ_OuScratchSW, -2, -3, 300, 32000)}}},
  };
  for (const auto &frames : cases) {
    BZ_OuOelList list{};
    bz_test::FillList(&list, frames);
    const std::vector<UInt8> flat = Flatten(list);
    BZ_OuOelList back{};
    ASSERT_EQ(BZ_OuUnflattenOutlierEditList(flat.data(), SInt64(flat.size()), &back), noErr);
    EXPECT_EQ(bz_test::FramesOf(back), frames);
    // Edits read back are numbered within their frame.
    for (const BZ_OuFrameOelLE *f = back.firstFrameOel; f != nullptr; f = f->next) {
      SInt32 n = 0;
      for (const BZ_OuOeLE *e = f->frameOel.firstOe; e != nullptr; e = e->next) EXPECT_EQ(e->number, n++);
      EXPECT_FALSE(f->frameOel.changed);
    }
    BZ_OuDisposeOutlierEditlist(&list.firstFrameOel);
    BZ_OuDisposeOutlierEditlist(&back.firstFrameOel);
  }
}

TEST(OutliersEditListFlat, LayoutIsLittleEndianWithFixedSizes) {
  BZ_OuOelList list{};
  bz_test::FillList(&list, {{12, {Toggle(3), Drawn(kBZ_OuScratchNW, 1, -2, 0x0102, 4)}}});
  EXPECT_EQ(BZ_OuGetOelFlatDataSize(&list), 24 + 8 + 32);
  const std::vector<UInt8> flat = Flatten(list);
  const std::vector<UInt8> expected = {1, 0, 0, 0,  12, 0, 0, 0, 2, 0, 0, 0,  // numFrames, frameNum, numEdits
                                       3, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0,
                                       0, 0, 0, 0,  3, 0, 0, 0,  1, 0, 0xFE, 0xFF, 2, 1, 4, 0};
  EXPECT_EQ(flat, expected);
  BZ_OuDisposeOutlierEditlist(&list.firstFrameOel);

  BZ_OuSett sett{3, 30, 40, 2.5f, true};
  UInt8 bytes[kBZ_OuOelSettSize];
  BZ_OuSettToFileBytes(&sett, bytes);
  const UInt8 expectedSett[kBZ_OuOelSettSize] = {3, 0, 0, 0, 30, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0x20, 0x40, 1, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(bytes, expectedSett, sizeof bytes));
  BZ_OuSett back{};
  BZ_OuSettFromFileBytes(bytes, &back);
  EXPECT_TRUE(BZ_EqualOuSett(&back, &sett));
  EXPECT_TRUE(back.apply);
}

// Counts that run past the data, negative counts, and bytes left over are refused; the list is untouched.
TEST(OutliersEditListFlat, DamagedDataIsRefusedAndTheListKept) {
  BZ_OuOelList source{};
  bz_test::FillList(&source, {{4, {Toggle(1)}}, {9, {Toggle(2), Toggle(3)}}});
  const std::vector<UInt8> good = Flatten(source);
  BZ_OuDisposeOutlierEditlist(&source.firstFrameOel);

  std::vector<std::pair<std::string, std::vector<UInt8>>> cases;
  for (size_t cut = 0; cut < good.size(); ++cut)
    cases.emplace_back("cut at " + std::to_string(cut), std::vector<UInt8>(good.begin(), good.begin() + cut));
  auto patched = [&](size_t offset, UInt32 value) {
    std::vector<UInt8> bytes = good;
    for (int i = 0; i < 4; ++i) bytes[offset + size_t(i)] = UInt8(value >> (8 * i));
    return bytes;
  };
  cases.emplace_back("negative numFrames", patched(0, 0xFFFFFFFF));
  cases.emplace_back("numFrames too large", patched(0, 3));
  cases.emplace_back("huge numFrames", patched(0, 0x7FFFFFFF));
  cases.emplace_back("negative numEdits", patched(8, 0x80000000));
  cases.emplace_back("numEdits past the end", patched(8, 0x10000000));
  std::vector<UInt8> longer = good;
  longer.push_back(0);
  cases.emplace_back("a byte left over", longer);

  for (const auto &[name, bytes] : cases) {
    SCOPED_TRACE(name);
    BZ_OuOelList list{};
    bz_test::FillList(&list, {{1, {Toggle(7)}}});
    EXPECT_EQ(BZ_OuUnflattenOutlierEditList(bytes.empty() ? nullptr : bytes.data(), SInt64(bytes.size()), &list),
              eofErr);
    EXPECT_EQ(bz_test::FramesOf(list), (std::vector<FrameEdits>{{1, {Toggle(7)}}}));
    BZ_OuDisposeOutlierEditlist(&list.firstFrameOel);
  }
}

// ---- Names ----

TEST(OutliersEditListNames, NameFromSourceAndIndex) {
  const struct {
    const char *source;
    SInt32 index;
    const char *expected;
  } cases[] = {
      {"Clip.mov", 0, "Clip oel.kbzoel"},      {"Clip.mov", 4, "Clip oel 4.kbzoel"},
      {"Clip.mov", -3, "Clip oel.kbzoel"},     {"Clip.backup", 0, "Clip.backup oel.kbzoel"},
      {"Clip.movie", 2, "Clip oel 2.kbzoel"},  {"Clip", 1, "Clip oel 1.kbzoel"},
      {"a.b.c.mov", 0, "a.b.c oel.kbzoel"},    {"x.", 0, "x oel.kbzoel"},
  };
  for (const auto &c : cases) {
    CFStringRef source = Str(c.source);
    CFMutableStringRef name = BZ_OuMakeOelFileNameWithIndex(source, c.index);
    EXPECT_EQ(Utf8(name), c.expected) << c.source << " index " << c.index;
    if (name != nullptr) CFRelease(name);
    CFRelease(source);
  }
  // A long name is cut in the middle to 255 characters and keeps its end.
  const std::string longSource(300, 'n');
  CFStringRef source = CFStringCreateWithCString(nullptr, (longSource + ".mov").c_str(), kCFStringEncodingUTF8);
  CFMutableStringRef name = BZ_OuMakeOelFileNameWithIndex(source, 12);
  ASSERT_NE(name, nullptr);
  EXPECT_LE(CFStringGetLength(name), 255);
  EXPECT_EQ(Utf8(name).substr(Utf8(name).size() - 14), " oel 12.kbzoel");
  CFRelease(name);
  CFRelease(source);
}

TEST(OutliersEditListNames, IndexAndBelonging) {
  const struct {
    const char *file;
    SInt32 index;
    bool belongsToM;
  } cases[] = {
      {"M oel.kbzoel", 0, true},        {"M oel 3.kbzoel", 3, true},      {"M oel 1234.kbzoel", 1234, true},
      {"M oel 03.kbzoel", 3, false},    {"M oel 12345.kbzoel", 0, false}, {"N oel 2.kbzoel", 2, false},
      {"M oel  7.kbzoel", 7, false},    {"M oelx.kbzoel", 0, false},      {".kbzoel", 0, false},
  };
  for (const auto &c : cases) {
    CFStringRef file = Str(c.file);
    EXPECT_EQ(BZ_OuGetOelFileIndex(file), c.index) << c.file;
    CFMutableStringRef own = BZ_OuMakeOelFileNameWithIndex(CFSTR("M.mov"), BZ_OuGetOelFileIndex(file));
    EXPECT_EQ(Utf8(own) == c.file, c.belongsToM) << c.file;
    CFRelease(own);
    CFRelease(file);
  }
}

// ---- Lists ----

TEST(OutliersEditLists, RemoveTakesTheFirstMatchOnly) {
  const struct {
    std::vector<BZ_OuOutlierEdit> before;
    SInt32 speckNum;
    BZ_OuOeType type;
    std::vector<BZ_OuOutlierEdit> after;
  } cases[] = {
      {{Toggle(1), Toggle(2), Toggle(1)}, 1, kBZ_OuToggleRemove, {Toggle(2), Toggle(1)}},
      {{Toggle(1), Toggle(1, kBZ_OuToggleInterpolation)}, 1, kBZ_OuToggleInterpolation, {Toggle(1)}},
      {{Toggle(1)}, 2, kBZ_OuToggleRemove, {Toggle(1)}},
      {{}, 0, kBZ_OuToggleRemove, {}},
  };
  for (const auto &c : cases) {
    BZ_OuOeLE *first = nullptr;
    bz_test::AppendEdits(&first, c.before);
    BZ_OuRemoveOutlierEdit(&first, c.speckNum, c.type);
    EXPECT_EQ(bz_test::EditsOf(first), c.after);
    LL_DisposeLinkedList(&first);
  }
}

class OutliersEditListFiles : public ::testing::Test {
 protected:
  bz_test::OutlierProject p_;

  BZ_OuOelList &list() { return p_.ou()->outlierEditList; }
  void PutFile(const std::string &name, const BZ_OuSett &sett, const std::vector<FrameEdits> &frames = {}) {
    WriteBytes(p_.File(name), FileBytes(sett, frames));
  }
};

TEST_F(OutliersEditListFiles, WriterTakesTheMatchingFileOrTheFirstFreeIndex) {
  const struct {
    const char *name;
    std::vector<std::string> present;  // all with settings other than the project's
    const char *written;
  } cases[] = {
      {"no file yet", {}, "M oel.kbzoel"},
      {"two others", {"M oel.kbzoel", "M oel 1.kbzoel"}, "M oel 2.kbzoel"},
      {"a gap at 1", {"M oel.kbzoel", "M oel 2.kbzoel"}, "M oel 1.kbzoel"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string &f : c.present) PutFile(f, OtherSett(77));
    bz_test::FillList(&list(), {{12, {Toggle(3), Toggle(4)}}});
    list().saved = false;
    ASSERT_EQ(BZ_OuSaveOutlierEditList(&list(), nullptr), noErr);
    EXPECT_TRUE(list().saved);
    EXPECT_EQ(ReadBytes(p_.File(c.written)), FileBytes(p_.sett(), {{12, {Toggle(3), Toggle(4)}}}));
    for (const std::string &f : c.present) EXPECT_EQ(ReadBytes(p_.File(f)), FileBytes(OtherSett(77), {})) << f;
    for (const std::string &f : c.present) std::remove(p_.File(f).c_str());
    std::remove(p_.File(c.written).c_str());
    BZ_OuDisposeOutlierEditlist(&list().firstFrameOel);
  }
}

TEST_F(OutliersEditListFiles, MatchingSettingsIgnoreApplyAndTinyWidthDifferences) {
  BZ_OuSett stored = p_.sett();
  stored.scratchWidth = p_.sett().scratchWidth + 0.00005f;
  stored.apply = !p_.sett().apply;
  PutFile("M oel.kbzoel", OtherSett(77));
  PutFile("M oel 1.kbzoel", stored, {{1, {Toggle(1)}}});
  bz_test::FillList(&list(), {{2, {Toggle(5)}}});
  ASSERT_EQ(BZ_OuSaveOutlierEditList(&list(), nullptr), noErr);
  EXPECT_EQ(ReadBytes(p_.File("M oel 1.kbzoel")), FileBytes(p_.sett(), {{2, {Toggle(5)}}}));
  EXPECT_FALSE(bz_test::Exists(p_.File("M oel 2.kbzoel")));
}

TEST_F(OutliersEditListFiles, EmptyListDeletesTheMatchingFileOrWritesNoFrames) {
  PutFile("M oel.kbzoel", p_.sett(), {{3, {Toggle(1)}}});
  ASSERT_EQ(BZ_OuSaveOutlierEditList(&list(), nullptr), noErr);
  EXPECT_FALSE(bz_test::Exists(p_.File("M oel.kbzoel")));
  // Without a matching file an empty list still makes one, with no frames.
  ASSERT_EQ(BZ_OuSaveOutlierEditList(&list(), nullptr), noErr);
  EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")).size(), 24u);
}

TEST_F(OutliersEditListFiles, ShortFilesGiveErrors) {
  WriteBytes(p_.File("M oel.kbzoel"), std::vector<UInt8>(19, 0));
  BZ_OuSett sett{};
  const FSRef file = bz_test::RefFor(p_.File("M oel.kbzoel"));
  EXPECT_EQ(BZ_OuGetSettingsFromOelfile(&file, &sett), eofErr);
  bz_test::FillList(&list(), {{2, {Toggle(5)}}});
  EXPECT_EQ(BZ_OuSaveOutlierEditList(&list(), nullptr), eofErr) << "the writer cannot tell whose file it is";
}

// A file cut anywhere after its settings, or with counts past its end, is refused and the lists in memory
// stay as they were.
TEST_F(OutliersEditListFiles, DamagedFileLeavesTheListsInMemory) {
  const std::vector<UInt8> good = FileBytes(p_.sett(), {{4, {Toggle(1)}}, {9, {Toggle(2), Toggle(3)}}});
  bz_test::FillList(&list(), {{1, {Toggle(7)}}});
  bz_test::FillList(&p_.ou()->savedOutlierEditList, {{1, {}}});
  for (size_t cut : {size_t(1), size_t(20), size_t(23), size_t(27), size_t(40), good.size() - 1}) {
    SCOPED_TRACE(cut);
    WriteBytes(p_.File("M oel.kbzoel"), std::vector<UInt8>(good.begin(), good.begin() + cut));
    const FSRef file = bz_test::RefFor(p_.File("M oel.kbzoel"));
    EXPECT_EQ(BZ_OuReadOelListIntoMemory(&file), eofErr);
    EXPECT_EQ(bz_test::FramesOf(list()), (std::vector<FrameEdits>{{1, {Toggle(7)}}}));
    EXPECT_EQ(bz_test::FramesOf(p_.ou()->savedOutlierEditList), (std::vector<FrameEdits>{{1, {}}}));
  }
  WriteBytes(p_.File("M oel.kbzoel"), good);
  const FSRef file = bz_test::RefFor(p_.File("M oel.kbzoel"));
  ASSERT_EQ(BZ_OuReadOelListIntoMemory(&file), noErr);
  const std::vector<FrameEdits> expected = {{4, {Toggle(1)}}, {9, {Toggle(2), Toggle(3)}}};
  EXPECT_EQ(bz_test::FramesOf(list()), expected);
  EXPECT_EQ(bz_test::FramesOf(p_.ou()->savedOutlierEditList), expected);
  EXPECT_FALSE(list().changed);
  EXPECT_TRUE(list().saved);
}

TEST_F(OutliersEditListFiles, OpeningWithCurrentSettingsOnlyReadsTheMatchingFile) {
  PutFile("M oel.kbzoel", OtherSett(77), {{1, {Toggle(1)}}});
  PutFile("M oel 1.kbzoel", p_.sett(), {{2, {Toggle(2)}}});
  PutFile("N oel.kbzoel", p_.sett(), {{3, {Toggle(3)}}});
  ASSERT_EQ(BZ_OuOpenOutlierEditListFile(true), noErr);
  EXPECT_EQ(bz_test::FramesOf(list()), (std::vector<FrameEdits>{{2, {Toggle(2)}}}));
  EXPECT_TRUE(BZ_EqualOuSett(&p_.ou()->ouSett, &p_.sett()));
}

TEST_F(OutliersEditListFiles, OpeningWithoutAMatchReadsNothingOrAdoptsTheLowestIndex) {
  PutFile("M oel 2.kbzoel", OtherSett(60), {{2, {Toggle(2)}}});
  PutFile("M oel 1.kbzoel", OtherSett(50), {{1, {Toggle(1)}}});
  p_.project()->info.settings.cleaning.noiseRed.apply = true;

  bz_test::FillList(&list(), {{8, {Toggle(8)}}});
  ASSERT_EQ(BZ_OuOpenOutlierEditListFile(true), noErr);
  EXPECT_EQ(list().firstFrameOel, nullptr) << "the lists are closed even when nothing is read";
  EXPECT_TRUE(BZ_EqualOuSett(&p_.ou()->ouSett, &p_.sett()));

  ASSERT_EQ(BZ_OuOpenOutlierEditListFile(false), noErr);
  EXPECT_EQ(bz_test::FramesOf(list()), (std::vector<FrameEdits>{{1, {Toggle(1)}}}));
  EXPECT_EQ(p_.sett().minDiff, 50);
  EXPECT_TRUE(BZ_EqualOuSett(&p_.ou()->ouSett, &p_.sett()));
  EXPECT_TRUE(p_.sett().apply);
  EXPECT_FALSE(p_.project()->info.settings.cleaning.noiseRed.apply) << "outlier removal alone";
}

// Settings inside a file are values from outside: each row is a file the dialog's validator refuses. Opening
// gives eofErr and changes nothing: lists, settings, the method choice and the file stay as they were.
TEST_F(OutliersEditListFiles, FileWithAbsurdSettingsIsRefusedAndChangesNothing) {
  const struct {
    const char *name;
    void (*damage)(BZ_OuSett *);
  } cases[] = {
      {"constant-pixel count that overflows 4k + 1", [](BZ_OuSett *s) { s->numConstPix = 0x40000000; }},
      {"constant-pixel count of zero", [](BZ_OuSett *s) { s->numConstPix = 0; }},
      {"negative constant-pixel count", [](BZ_OuSett *s) { s->numConstPix = -1; }},
      {"minimum difference 1e8", [](BZ_OuSett *s) { s->minDiff = 100000000; }},
      {"minimum difference 1e5", [](BZ_OuSett *s) { s->minDiff = 100000; }},
      {"negative minimum difference", [](BZ_OuSett *s) { s->minDiff = -5; }},
      {"scene threshold past its range", [](BZ_OuSett *s) { s->maxAvPixelDiff = 0x7FFFFFFF; }},
      {"NaN scratch width", [](BZ_OuSett *s) { s->scratchWidth = std::numeric_limits<float>::quiet_NaN(); }},
      {"infinite scratch width", [](BZ_OuSett *s) { s->scratchWidth = std::numeric_limits<float>::infinity(); }},
      {"huge scratch width", [](BZ_OuSett *s) { s->scratchWidth = 1e30f; }},
  };
  for (const auto &c : cases) {
    for (Boolean currentOnly : {Boolean(false), Boolean(true)}) {
      SCOPED_TRACE(::testing::Message() << c.name << (currentOnly ? ", current settings only" : ""));
      BZ_OuSett bad = p_.sett();
      c.damage(&bad);
      const std::vector<UInt8> bytes = FileBytes(bad, {{3, {Toggle(1)}}});
      WriteBytes(p_.File("M oel.kbzoel"), bytes);
      bz_test::FillList(&list(), {{8, {Toggle(8)}}});
      const BZ_OuSett before = p_.sett();
      EXPECT_EQ(BZ_OuOpenOutlierEditListFile(currentOnly), eofErr);
      EXPECT_EQ(bz_test::FramesOf(list()), (std::vector<FrameEdits>{{8, {Toggle(8)}}}));
      EXPECT_EQ(std::memcmp(&p_.sett(), &before, sizeof before), 0);
      EXPECT_FALSE(p_.project()->info.settings.cleaning.noiseRed.apply);
      EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")), bytes);
      BZ_OuDisposeOutlierEditlist(&list().firstFrameOel);
    }
  }
}

// The file chosen for its settings is read whole before anything is closed or adopted.
TEST_F(OutliersEditListFiles, ChosenFileWithDamagedFramesChangesNothing) {
  std::vector<UInt8> bytes = FileBytes(OtherSett(50), {{1, {Toggle(1)}}});
  bytes.resize(bytes.size() - 3);
  WriteBytes(p_.File("M oel.kbzoel"), bytes);
  bz_test::FillList(&list(), {{8, {Toggle(8)}}});
  list().changed = true;
  const BZ_OuSett before = p_.sett();
  EXPECT_EQ(BZ_OuOpenOutlierEditListFile(false), eofErr);
  EXPECT_EQ(p_.answers().questions, 0) << "the lists were not closed";
  EXPECT_EQ(bz_test::FramesOf(list()), (std::vector<FrameEdits>{{8, {Toggle(8)}}}));
  EXPECT_EQ(std::memcmp(&p_.sett(), &before, sizeof before), 0);
  BZ_OuDisposeOutlierEditlist(&list().firstFrameOel);
}

// The writer never takes a damaged file for its own: it matches no settings, so the edits go to the next index
// and the damaged file is left alone.
TEST_F(OutliersEditListFiles, WriterPassesOverAFileWithAbsurdSettings) {
  BZ_OuSett bad = p_.sett();
  bad.scratchWidth = std::numeric_limits<float>::quiet_NaN();
  const std::vector<UInt8> damaged = FileBytes(bad, {});
  WriteBytes(p_.File("M oel.kbzoel"), damaged);
  bz_test::FillList(&list(), {{2, {Toggle(5)}}});
  ASSERT_EQ(BZ_OuSaveOutlierEditList(&list(), nullptr), noErr);
  EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")), damaged);
  EXPECT_EQ(ReadBytes(p_.File("M oel 1.kbzoel")), FileBytes(p_.sett(), {{2, {Toggle(5)}}}));
}

// A file whose settings the stage could not run with is damaged: reading or opening it is refused with
// eofErr, and the lists in memory, the project's settings and the file stay as they were.
TEST_F(OutliersEditListFiles, SettingsOutOfRangeAreRefused) {
  const struct {
    const char *name;
    void (*spoil)(BZ_OuSett *);
  } cases[] = {
      {"numConstPix 0", [](BZ_OuSett *s) { s->numConstPix = 0; }},
      {"numConstPix 4", [](BZ_OuSett *s) { s->numConstPix = 4; }},
      {"numConstPix 100", [](BZ_OuSett *s) { s->numConstPix = 100; }},
      {"minDiff -1", [](BZ_OuSett *s) { s->minDiff = -1; }},
      {"minDiff 1000", [](BZ_OuSett *s) { s->minDiff = 1000; }},
      {"NaN scratch width", [](BZ_OuSett *s) { s->scratchWidth = std::numeric_limits<float>::quiet_NaN(); }},
  };
  const std::vector<FrameEdits> inMemory = {{1, {Toggle(7)}}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    BZ_OuSett bad = OtherSett(40);
    c.spoil(&bad);
    const std::vector<UInt8> bytes = FileBytes(bad, {{4, {Toggle(1)}}});
    WriteBytes(p_.File("M oel.kbzoel"), bytes);
    bz_test::FillList(&list(), inMemory);
    const BZ_OuSett before = p_.sett();
    const FSRef file = bz_test::RefFor(p_.File("M oel.kbzoel"));
    EXPECT_EQ(BZ_OuReadOelListIntoMemory(&file), eofErr);
    EXPECT_EQ(BZ_OuOpenOutlierEditListFile(false), eofErr);
    EXPECT_EQ(bz_test::FramesOf(list()), inMemory);
    EXPECT_EQ(0, std::memcmp(&before, &p_.sett(), sizeof before)) << "the project's settings changed";
    EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")), bytes) << "the file changed";
    BZ_OuDisposeOutlierEditlist(&list().firstFrameOel);
  }
}

// After the user changed the settings, the lists still go into the file of the settings they belong to.
TEST_F(OutliersEditListFiles, WriterUsesTheListsOwnSettings) {
  PutFile("M oel.kbzoel", p_.sett(), {{1, {Toggle(1)}}});
  ASSERT_EQ(BZ_OuOpenOutlierEditListFile(true), noErr);
  const BZ_OuSett own = p_.sett();
  p_.sett().minDiff = own.minDiff + 5;  // changed in the dialog
  bz_test::FillList(&list(), {{3, {Toggle(3)}}});
  list().saved = false;
  ASSERT_EQ(BZ_OuSaveOutlierEditList(&list(), nullptr), noErr);
  EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")), FileBytes(own, bz_test::FramesOf(list())));
  EXPECT_FALSE(bz_test::Exists(p_.File("M oel 1.kbzoel"))) << "no file for the new settings";
}

// A list whose write fails stays unsaved; the autosave reports the failure once and tries again at each
// firing until a write succeeds.
TEST_F(OutliersEditListFiles, FailedAutosaveIsReportedOnceAndRetried) {
  static std::vector<OSStatus> shown;
  shown.clear();
  BZ_EngineHost host = *BZ_GetEngineHost();
  host.showError = [](void *, OSStatus err) { shown.push_back(err); };
  BZ_SetEngineHost(&host);
  bz_test::FillList(&list(), {{2, {Toggle(2)}}});
  list().saved = false;
  const FSRef source = p_.project()->info.srcFileData[0].fileRef;
  p_.project()->info.srcFileData[0].fileRef = FSRef{};  // the source's folder cannot be found
  EXPECT_NE(BZ_OuSaveOutlierEditList(&list(), nullptr), noErr);
  EXPECT_FALSE(list().saved);
  BZ_OutlierEditListSaver(nullptr, nullptr);
  BZ_OutlierEditListSaver(nullptr, nullptr);
  EXPECT_EQ(1u, shown.size());
  EXPECT_FALSE(list().saved);
  p_.project()->info.srcFileData[0].fileRef = source;
  BZ_OutlierEditListSaver(nullptr, nullptr);
  EXPECT_TRUE(list().saved);
  EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")), FileBytes(p_.sett(), {{2, {Toggle(2)}}}));
  // A later failure is reported again.
  list().saved = false;
  p_.project()->info.srcFileData[0].fileRef = FSRef{};
  BZ_OutlierEditListSaver(nullptr, nullptr);
  EXPECT_EQ(2u, shown.size());
  p_.project()->info.srcFileData[0].fileRef = source;
}

// ---- The preview frame's edits ----

TEST_F(OutliersEditListFiles, MergingThePreviewFrameKeepsFrameOrder) {
  const struct {
    const char *name;
    SInt32 frameNum;
    std::vector<BZ_OuOutlierEdit> edits;
    std::vector<FrameEdits> after;
  } cases[] = {
      {"before all", 1, {Toggle(9)}, {{1, {Toggle(9)}}, {3, {Toggle(3)}}, {7, {Toggle(7)}}}},
      {"between", 5, {Toggle(9)}, {{3, {Toggle(3)}}, {5, {Toggle(9)}}, {7, {Toggle(7)}}}},
      {"after all", 9, {Toggle(9)}, {{3, {Toggle(3)}}, {7, {Toggle(7)}}, {9, {Toggle(9)}}}},
      {"replacing", 7, {Toggle(1), Toggle(2)}, {{3, {Toggle(3)}}, {7, {Toggle(1), Toggle(2)}}}},
      {"all undone", 3, {}, {{3, {}}, {7, {Toggle(7)}}}},
  };
  p_.answers().previewOpen = true;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    BZ_OuDisposeOutlierEditlist(&list().firstFrameOel);
    bz_test::FillList(&list(), {{3, {Toggle(3)}}, {7, {Toggle(7)}}});
    list().saved = true;
    BZ_OuFrameOeList &frame = p_.ouPreview()->frameOutlierEditList;
    LL_DisposeLinkedList(&frame.firstOe);
    frame.frameNum = c.frameNum;
    bz_test::AppendEdits(&frame.firstOe, c.edits);
    frame.changed = true;
    ASSERT_EQ(BZ_UpdateOutlierEditList(), noErr);
    EXPECT_EQ(bz_test::FramesOf(list()), c.after);
    EXPECT_FALSE(frame.changed);
    EXPECT_TRUE(list().changed);
    EXPECT_FALSE(list().saved);
  }
  // The file then holds a frame whose edits were all undone, with numEdits 0.
  ASSERT_EQ(BZ_OuSaveOutlierEditList(&list(), nullptr), noErr);
  EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")), FileBytes(p_.sett(), {{3, {}}, {7, {Toggle(7)}}}));
}

TEST_F(OutliersEditListFiles, MergingNeedsAnOpenPreviewAndAChange) {
  bz_test::FillList(&list(), {{3, {Toggle(3)}}});
  BZ_OuFrameOeList &frame = p_.ouPreview()->frameOutlierEditList;
  frame.frameNum = 3;
  frame.changed = true;
  ASSERT_EQ(BZ_UpdateOutlierEditList(), noErr);  // preview closed
  p_.answers().previewOpen = true;
  frame.changed = false;
  ASSERT_EQ(BZ_UpdateOutlierEditList(), noErr);  // nothing changed
  EXPECT_EQ(bz_test::FramesOf(list()), (std::vector<FrameEdits>{{3, {Toggle(3)}}}));
  EXPECT_FALSE(list().changed);
}

TEST_F(OutliersEditListFiles, CopyToThePreviewTakesThePreviewFrame) {
  bz_test::FillList(&list(), {{3, {Toggle(3)}}, {7, {Toggle(7), Toggle(8)}}});
  BZ_OuFrameOeList &frame = p_.ouPreview()->frameOutlierEditList;
  bz_test::AppendEdits(&frame.firstOe, {Toggle(1)});
  frame.changed = true;
  frame.frameNum = 99;
  p_.answers().preview.frameNum = 7;
  ASSERT_EQ(BZ_OuCopyFrameOutlierEditListToPreviewData(), noErr);
  EXPECT_EQ(bz_test::EditsOf(frame.firstOe), (std::vector<BZ_OuOutlierEdit>{Toggle(7), Toggle(8)}));
  EXPECT_FALSE(frame.changed);
  EXPECT_EQ(frame.frameNum, 99) << "the callers set the frame number";
  EXPECT_NE(frame.firstOe, BZ_OuFindFrameOutlierEditList(7)) << "a copy";
  p_.answers().preview.frameNum = 5;
  ASSERT_EQ(BZ_OuCopyFrameOutlierEditListToPreviewData(), noErr);
  EXPECT_EQ(frame.firstOe, nullptr);
}

TEST_F(OutliersEditListFiles, AutosaveMergesAndWrites) {
  p_.answers().previewOpen = true;
  BZ_OuFrameOeList &frame = p_.ouPreview()->frameOutlierEditList;
  frame.frameNum = 4;
  bz_test::AppendEdits(&frame.firstOe, {Toggle(2)});
  frame.changed = true;
  BZ_OutlierEditListSaver(nullptr, &p_.answers());
  EXPECT_TRUE(list().saved);
  EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")), FileBytes(p_.sett(), {{4, {Toggle(2)}}}));
}

// ---- Closing the lists ----

TEST_F(OutliersEditListFiles, ClosingAsksAndSavesOrDiscards) {
  PutFile("M oel.kbzoel", p_.sett(), {{1, {Toggle(1)}}});
  const FSRef file = bz_test::RefFor(p_.File("M oel.kbzoel"));
  for (Boolean discard : {Boolean(false), Boolean(true)}) {
    SCOPED_TRACE(int(discard));
    ASSERT_EQ(BZ_OuReadOelListIntoMemory(&file), noErr);
    p_.answers().previewOpen = true;
    BZ_OuFrameOeList &frame = p_.ouPreview()->frameOutlierEditList;
    frame.frameNum = 6;
    bz_test::AppendEdits(&frame.firstOe, {Toggle(6)});
    frame.changed = true;
    ASSERT_EQ(BZ_UpdateOutlierEditList(), noErr);
    p_.answers().discard = discard;
    const int asked = p_.answers().questions;
    ASSERT_EQ(BZ_SaveOutlierEditListFinal(p_.ou(), nullptr), noErr);
    EXPECT_EQ(p_.answers().questions, asked + 1);
    EXPECT_EQ(list().firstFrameOel, nullptr);
    EXPECT_EQ(p_.ou()->savedOutlierEditList.firstFrameOel, nullptr);
    EXPECT_FALSE(list().changed);
    EXPECT_TRUE(list().saved);
    const std::vector<FrameEdits> kept =
        discard ? std::vector<FrameEdits>{{1, {Toggle(1)}}} : std::vector<FrameEdits>{{1, {Toggle(1)}}, {6, {Toggle(6)}}};
    EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")), FileBytes(p_.sett(), kept));
    PutFile("M oel.kbzoel", p_.sett(), {{1, {Toggle(1)}}});
    LL_DisposeLinkedList(&frame.firstOe);
  }
  // Unchanged lists are closed without a question.
  const int asked = p_.answers().questions;
  ASSERT_EQ(BZ_SaveOutlierEditListFinal(p_.ou(), nullptr), noErr);
  EXPECT_EQ(p_.answers().questions, asked);
}

// Edits that cannot be written are not thrown away, and the failure is reported.
TEST_F(OutliersEditListFiles, ClosingKeepsEditsThatCouldNotBeWritten) {
  bz_test::FillList(&list(), {{2, {Toggle(2)}}});
  list().changed = true;
  list().saved = false;
  p_.project()->info.srcFileData[0].fileRef = FSRef{};  // the source is gone
  EXPECT_NE(BZ_SaveOutlierEditListFinal(p_.ou(), nullptr), noErr);
  EXPECT_EQ(bz_test::FramesOf(list()), (std::vector<FrameEdits>{{2, {Toggle(2)}}}));
  EXPECT_NE(BZ_SaveOutlierEditListFinalDontAsk(p_.ou()), noErr);
  EXPECT_EQ(bz_test::FramesOf(list()), (std::vector<FrameEdits>{{2, {Toggle(2)}}}));
  // A failed question decides nothing either.
  p_.answers().askStatus = userCanceledErr;
  EXPECT_EQ(BZ_SaveOutlierEditListFinal(p_.ou(), nullptr), userCanceledErr);
  EXPECT_NE(list().firstFrameOel, nullptr);
}

TEST_F(OutliersEditListFiles, ProjectStartSavesWithoutAsking) {
  bz_test::FillList(&list(), {{2, {Toggle(2)}}});
  list().changed = true;
  list().saved = false;
  ASSERT_EQ(BZ_SaveOutlierEditListFinalDontAsk(p_.ou()), noErr);
  EXPECT_EQ(p_.answers().questions, 0);
  EXPECT_EQ(list().firstFrameOel, nullptr);
  EXPECT_FALSE(list().changed);
  EXPECT_EQ(ReadBytes(p_.File("M oel.kbzoel")), FileBytes(p_.sett(), {{2, {Toggle(2)}}}));
}

}  // namespace
