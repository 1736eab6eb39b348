// Atom containers: the classic byte layout (against a hand-made container), the insertion, look-up and
// data rules the movie library relies on, locking, and damaged containers from outside.
#include "platform/movie/atom_container.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A container holding 'dvcv' (ID 1, one byte 0) and 'vide' (ID 1) with one child 'sptl' (ID 1, 14 bytes:
// 'dvc ', codec 0, depth 24, quality 0x200), written out byte by byte in the classic layout.
const std::vector<UInt8> kFixture = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // reserved
    0, 0,                          // lock count
    0, 0, 0, 95, 's', 'e', 'a', 'n', 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0,        // root, 2 children
    0, 0, 0, 21, 'd', 'v', 'c', 'v', 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,     // leaf, 1 byte
    0, 0, 0, 54, 'v', 'i', 'd', 'e', 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0,        // 1 child
    0, 0, 0, 34, 's', 'p', 't', 'l', 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0,        // leaf, 14 bytes
    'd', 'v', 'c', ' ', 0, 0, 0, 0, 0, 24, 0, 0, 2, 0,
};

const UInt8 kSpatial[14] = {'d', 'v', 'c', ' ', 0, 0, 0, 0, 0, 24, 0, 0, 2, 0};

std::vector<UInt8> BytesOf(QTAtomContainer c) { return std::vector<UInt8>(*c, *c + GetHandleSize(c)); }

QTAtomContainer FromBytes(const std::vector<UInt8> &bytes) {
  Handle h = nullptr;
  EXPECT_EQ(noErr, PtrToHand(bytes.data(), &h, Size(bytes.size())));
  return h;
}

struct Container {
  QTAtomContainer c = nullptr;
  Container() { EXPECT_EQ(noErr, QTNewAtomContainer(&c)); }
  explicit Container(const std::vector<UInt8> &bytes) : c(FromBytes(bytes)) {}
  ~Container() { QTDisposeAtomContainer(c); }
};

std::vector<QTAtomID> IDsOfType(QTAtomContainer c, QTAtom parent, QTAtomType type) {
  std::vector<QTAtomID> ids;
  for (SInt16 i = 1; i <= QTCountChildrenOfType(c, parent, type); ++i) {
    QTAtomID id = -1;
    EXPECT_NE(0, QTFindChildByIndex(c, parent, type, i, &id));
    ids.push_back(id);
  }
  return ids;
}

TEST(PlatformAtomContainer, NewContainerIsHeaderAndEmptyRoot) {
  Container c;
  const std::vector<UInt8> expected = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0, 0, 0, 20, 's', 'e', 'a', 'n', 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(expected, BytesOf(c.c));
  EXPECT_EQ(0, QTCountChildrenOfType(c.c, kParentAtomIsContainer, 0));
  EXPECT_EQ(0u, QTGetNextChildType(c.c, kParentAtomIsContainer, 0));
}

TEST(PlatformAtomContainer, BuiltContainerMatchesClassicLayout) {
  Container c;
  UInt8 ntsc = 0;
  QTAtom video = 0;
  ASSERT_EQ(noErr, QTInsertChild(c.c, kParentAtomIsContainer, 'dvcv', 1, 1, 1, &ntsc, nullptr));
  ASSERT_EQ(noErr, QTInsertChild(c.c, kParentAtomIsContainer, 'vide', 1, 1, 0, nullptr, &video));
  ASSERT_EQ(noErr, QTInsertChild(c.c, video, 'sptl', 1, 1, sizeof(kSpatial), kSpatial, nullptr));
  EXPECT_EQ(kFixture, BytesOf(c.c));
}

TEST(PlatformAtomContainer, HandMadeContainerReadsBack) {
  Container c(kFixture);
  ASSERT_EQ(noErr, PL_CheckAtomContainer(c.c));
  EXPECT_EQ(2, QTCountChildrenOfType(c.c, kParentAtomIsContainer, 0));
  EXPECT_EQ(OSType('dvcv'), QTGetNextChildType(c.c, kParentAtomIsContainer, 0));
  EXPECT_EQ(OSType('vide'), QTGetNextChildType(c.c, kParentAtomIsContainer, 'dvcv'));
  EXPECT_EQ(0u, QTGetNextChildType(c.c, kParentAtomIsContainer, 'vide'));

  SInt16 index = 0;
  QTAtom video = QTFindChildByID(c.c, kParentAtomIsContainer, 'vide', 1, &index);
  ASSERT_EQ(12 + 20 + 21, video);  // atoms are byte offsets in the handle
  EXPECT_EQ(1, index);
  QTAtom spatial = QTFindChildByIndex(c.c, video, 'sptl', 1, nullptr);
  ASSERT_NE(0, spatial);
  QTAtomType type = 0;
  QTAtomID id = 0;
  EXPECT_EQ(noErr, QTGetAtomTypeAndID(c.c, spatial, &type, &id));
  EXPECT_EQ(OSType('sptl'), type);
  EXPECT_EQ(1, id);
  SInt32 size = 0;
  Ptr data = nullptr;
  ASSERT_EQ(noErr, QTGetAtomDataPtr(c.c, spatial, &size, &data));
  ASSERT_EQ(14, size);
  EXPECT_EQ(0, std::memcmp(data, kSpatial, 14));
  EXPECT_EQ(notLeafAtomErr, QTGetAtomDataPtr(c.c, video, &size, &data));
  EXPECT_EQ(notLeafAtomErr, QTSetAtomData(c.c, video, 1, "x"));
  EXPECT_EQ(0, QTFindChildByIndex(c.c, kParentAtomIsContainer, 'sptl', 1, nullptr));  // children only
  EXPECT_EQ(0, QTFindChildByIndex(c.c, video, 'sptl', 2, nullptr));
  EXPECT_EQ(0, QTFindChildByID(c.c, video, 'sptl', 2, nullptr));
}

TEST(PlatformAtomContainer, IdentifiersAndIndexPlacement) {
  Container c;
  for (QTAtomID id : {1, 5, 3}) ASSERT_EQ(noErr, QTInsertChild(c.c, 0, 'SPTR', id, 0, 0, nullptr, nullptr));
  QTAtom chosen = 0;
  ASSERT_EQ(noErr, QTInsertChild(c.c, 0, 'SPTR', 0, 0, 0, nullptr, &chosen));
  QTAtomID id = 0;
  ASSERT_EQ(noErr, QTGetAtomTypeAndID(c.c, chosen, nullptr, &id));
  EXPECT_EQ(6, id);  // one more than the largest
  EXPECT_EQ(duplicateAtomTypeAndIDErr, QTInsertChild(c.c, 0, 'SPTR', 5, 0, 0, nullptr, nullptr));
  // Identifiers are per type.
  EXPECT_EQ(noErr, QTInsertChild(c.c, 0, 'othr', 5, 0, 0, nullptr, nullptr));
  // Index 1 puts the child first among its type; one past the count appends; further is refused.
  ASSERT_EQ(noErr, QTInsertChild(c.c, 0, 'SPTR', 9, 1, 0, nullptr, nullptr));
  ASSERT_EQ(noErr, QTInsertChild(c.c, 0, 'SPTR', 7, 3, 0, nullptr, nullptr));
  ASSERT_EQ(noErr, QTInsertChild(c.c, 0, 'SPTR', 8, 7, 0, nullptr, nullptr));
  EXPECT_EQ(atomIndexInvalidErr, QTInsertChild(c.c, 0, 'SPTR', 10, 9, 0, nullptr, nullptr));
  EXPECT_EQ((std::vector<QTAtomID>{9, 1, 7, 5, 3, 6, 8}), IDsOfType(c.c, 0, 'SPTR'));
  EXPECT_EQ(8, QTCountChildrenOfType(c.c, 0, 0));
  SInt16 index = 0;
  EXPECT_NE(0, QTFindChildByID(c.c, 0, 'SPTR', 3, &index));
  EXPECT_EQ(5, index);
  EXPECT_EQ(noErr, PL_CheckAtomContainer(c.c));
}

TEST(PlatformAtomContainer, DataChangesKeepTheTreeConsistent) {
  Container c;
  QTAtom outer = 0, inner = 0, leaf = 0, after = 0;
  ASSERT_EQ(noErr, QTInsertChild(c.c, 0, 'outr', 1, 0, 0, nullptr, &outer));
  ASSERT_EQ(noErr, QTInsertChild(c.c, outer, 'innr', 1, 0, 0, nullptr, &inner));
  ASSERT_EQ(noErr, QTInsertChild(c.c, inner, 'leaf', 1, 0, 4, "abcd", &leaf));
  ASSERT_EQ(noErr, QTInsertChild(c.c, 0, 'aftr', 1, 0, 3, "xyz", &after));
  // Growing, shrinking and emptying a nested leaf; the atom behind it moves and keeps its data.
  for (SInt32 size : {200, 2, 0}) {
    std::vector<UInt8> data(static_cast<size_t>(size), static_cast<UInt8>(size));
    leaf = QTFindChildByIndex(c.c, QTFindChildByIndex(c.c, QTFindChildByIndex(c.c, 0, 'outr', 1, nullptr), 'innr', 1,
                                                      nullptr),
                              'leaf', 1, nullptr);
    ASSERT_EQ(noErr, QTSetAtomData(c.c, leaf, size, data.data()));
    ASSERT_EQ(noErr, PL_CheckAtomContainer(c.c)) << size;
    SInt32 got = -1;
    Ptr ptr = nullptr;
    ASSERT_EQ(noErr, QTGetAtomDataPtr(c.c, leaf, &got, &ptr));
    EXPECT_EQ(size, got);
    EXPECT_EQ(0, std::memcmp(ptr, data.data(), size_t(size)));
    after = QTFindChildByIndex(c.c, 0, 'aftr', 1, nullptr);
    ASSERT_EQ(noErr, QTGetAtomDataPtr(c.c, after, &got, &ptr));
    EXPECT_EQ(0, std::memcmp(ptr, "xyz", 3));
    EXPECT_EQ(Size(12 + 20 + 20 + 20 + 20 + size + 23), GetHandleSize(c.c));
  }
  // A leaf with data takes no children; an empty one does.
  after = QTFindChildByIndex(c.c, 0, 'aftr', 1, nullptr);
  EXPECT_EQ(cannotBeLeafAtomErr, QTInsertChild(c.c, after, 'chld', 1, 0, 0, nullptr, nullptr));
  EXPECT_EQ(noErr, QTInsertChild(c.c, leaf, 'chld', 1, 0, 0, nullptr, nullptr));
  // Data may come from inside the container itself.
  SInt32 got = 0;
  Ptr ptr = nullptr;
  after = QTFindChildByIndex(c.c, 0, 'aftr', 1, nullptr);
  ASSERT_EQ(noErr, QTGetAtomDataPtr(c.c, after, &got, &ptr));
  ASSERT_EQ(noErr, QTSetAtomData(c.c, after, 2 * got, nullptr));
  ASSERT_EQ(noErr, QTSetAtomData(c.c, after, 3, *c.c + 12 + 4));  // the bytes "sea" of the root's type
  ASSERT_EQ(noErr, QTGetAtomDataPtr(c.c, after, &got, &ptr));
  EXPECT_EQ(0, std::memcmp(ptr, "sea", 3));
}

TEST(PlatformAtomContainer, RemovingAtomsUpdatesCountsAndSizes) {
  Container c(kFixture);
  QTAtom video = QTFindChildByIndex(c.c, 0, 'vide', 1, nullptr);
  EXPECT_EQ(invalidAtomErr, QTRemoveAtom(c.c, kParentAtomIsContainer));
  EXPECT_EQ(invalidAtomErr, QTRemoveAtom(c.c, video + 4));  // inside an atom, not its start
  ASSERT_EQ(noErr, QTRemoveAtom(c.c, QTFindChildByIndex(c.c, video, 'sptl', 1, nullptr)));
  EXPECT_EQ(noErr, PL_CheckAtomContainer(c.c));
  EXPECT_EQ(0, QTCountChildrenOfType(c.c, video, 0));
  ASSERT_EQ(noErr, QTRemoveAtom(c.c, QTFindChildByIndex(c.c, 0, 'dvcv', 1, nullptr)));
  ASSERT_EQ(noErr, QTRemoveAtom(c.c, QTFindChildByIndex(c.c, 0, 'vide', 1, nullptr)));
  Container empty;
  EXPECT_EQ(BytesOf(empty.c), BytesOf(c.c));
}

TEST(PlatformAtomContainer, LockedContainerRefusesChanges) {
  Container c(kFixture);
  QTAtom ntsc = QTFindChildByIndex(c.c, 0, 'dvcv', 1, nullptr);
  ASSERT_EQ(noErr, QTLockContainer(c.c));
  ASSERT_EQ(noErr, QTLockContainer(c.c));
  EXPECT_EQ(2, (*c.c)[11]);  // the lock count lives in the header
  Ptr before = nullptr;
  ASSERT_EQ(noErr, QTGetAtomDataPtr(c.c, ntsc, nullptr, &before));
  EXPECT_EQ(memLockedErr, QTSetAtomData(c.c, ntsc, 100, nullptr));
  EXPECT_EQ(memLockedErr, QTInsertChild(c.c, 0, 'new ', 0, 0, 100, nullptr, nullptr));
  EXPECT_EQ(memLockedErr, QTRemoveAtom(c.c, ntsc));
  Ptr after = nullptr;
  ASSERT_EQ(noErr, QTGetAtomDataPtr(c.c, ntsc, nullptr, &after));
  EXPECT_EQ(before, after);
  EXPECT_EQ(noErr, QTUnlockContainer(c.c));
  EXPECT_EQ(memLockedErr, QTSetAtomData(c.c, ntsc, 100, nullptr));
  EXPECT_EQ(noErr, QTUnlockContainer(c.c));
  EXPECT_EQ(paramErr, QTUnlockContainer(c.c));
  EXPECT_EQ(noErr, QTSetAtomData(c.c, ntsc, 100, nullptr));
}

TEST(PlatformAtomContainer, ArgumentsThatNameNoAtom) {
  Container c(kFixture);
  QTAtomType type = 0;
  for (QTAtom bad : {QTAtom(-1), QTAtom(1), QTAtom(40), QTAtom(100000)}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(invalidAtomErr, QTGetAtomTypeAndID(c.c, bad, &type, nullptr));
    EXPECT_EQ(invalidAtomErr, QTGetAtomDataPtr(c.c, bad, nullptr, nullptr));
    EXPECT_EQ(invalidAtomErr, QTInsertChild(c.c, bad, 'x   ', 0, 0, 0, nullptr, nullptr));
    EXPECT_EQ(0, QTFindChildByIndex(c.c, bad, 'sptl', 1, nullptr));
    EXPECT_EQ(0, QTCountChildrenOfType(c.c, bad, 0));
  }
  EXPECT_EQ(paramErr, QTInsertChild(c.c, 0, 'x   ', 0, 0, -1, nullptr, nullptr));
  EXPECT_EQ(paramErr, QTNewAtomContainer(nullptr));
  EXPECT_EQ(paramErr, QTGetAtomDataPtr(nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(0, QTFindChildByIndex(nullptr, 0, 'vide', 1, nullptr));
}

// Containers from preferences or files whose bytes do not hold together: every call reports it, none
// reads outside the handle.
struct DamagedCase {
  const char *name;
  size_t offset;   // byte to change (or the new length when `truncate`)
  UInt8 value;
  bool truncate;
};

class PlatformAtomContainerDamage : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(PlatformAtomContainerDamage, GivesErrorNotCrash) {
  const DamagedCase &d = GetParam();
  std::vector<UInt8> bytes = kFixture;
  if (d.truncate)
    bytes.resize(d.offset);
  else
    bytes[d.offset] = d.value;
  Container c(bytes);
  EXPECT_EQ(invalidAtomContainerErr, PL_CheckAtomContainer(c.c));
  EXPECT_EQ(0, QTFindChildByIndex(c.c, 0, 'vide', 1, nullptr));
  EXPECT_EQ(0, QTCountChildrenOfType(c.c, 0, 0));
  EXPECT_EQ(0u, QTGetNextChildType(c.c, 0, 0));
  EXPECT_EQ(invalidAtomContainerErr, QTGetAtomDataPtr(c.c, 32, nullptr, nullptr));
  EXPECT_EQ(invalidAtomContainerErr, QTInsertChild(c.c, 0, 'x   ', 0, 0, 0, nullptr, nullptr));
  EXPECT_EQ(invalidAtomContainerErr, QTLockContainer(c.c));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlatformAtomContainerDamage,
    ::testing::Values(DamagedCase{"EmptyHandle", 0, 0, true}, DamagedCase{"HeaderOnly", 12, 0, true},
                      DamagedCase{"CutInLastAtom", 90, 0, true}, DamagedCase{"RootSizeTooBig", 15, 96, false},
                      DamagedCase{"RootNotSean", 16, 'x', false}, DamagedCase{"TooManyChildren", 27, 3, false},
                      DamagedCase{"TooFewChildren", 27, 1, false}, DamagedCase{"ChildPastParent", 35, 200, false},
                      DamagedCase{"ChildSmallerThanHeader", 35, 19, false},
                      DamagedCase{"NestedChildPastParent", 76, 35, false},
                      DamagedCase{"NestedCountWithoutChildren", 88, 1, false}),
    [](const ::testing::TestParamInfo<DamagedCase> &info) { return std::string(info.param.name); });

}  // namespace
