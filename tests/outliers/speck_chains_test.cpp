// Speck chains: the property distance and equality, the prediction and choice of a match, the links between
// slots, the chain rule over the window, the moving-edge test by block matching, the candidate list and the
// usable slot range.
#include "outliers/speck_chains.h"

#include "general/memory_lists.h"
#include "outliers/outlier_stage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr float kUnitWeights[kBZ_OuNumSpeckDiffWeights] = {1, 1, 1, 1, 1};

// A speck described by its measured properties only (no pixels): centre (cmX, cmY), size, luminance, a
// bounds square of side `side` around the centre, and an edge fully in band.
BZ_OuSpeck MakeSpeck(float cmX, float cmY, float size = 9, float luma = 200, SInt16 side = 3) {
  BZ_OuSpeck s{};
  s.rgn.cmX = cmX;
  s.rgn.cmY = cmY;
  s.rgn.size = size;
  s.rgn.avColor = YCbCrF32{luma, 128, 128};
  const SInt16 left = SInt16(std::floor(cmX)) - side / 2, top = SInt16(std::floor(cmY)) - side / 2;
  s.rgn.bounds = Rect{top, left, SInt16(top + side), SInt16(left + side)};
  s.rgn.edgeSize2 = 10;
  s.numEdgeInBand = 10;
  s.orientationWeight = 0.001f;
  return s;
}

// Speck lists of a window, one per slot, built from speck records and freed at the end.
struct Window {
  std::vector<BZ_OuSpeckLE *> lists;
  explicit Window(SInt32 numSlots) : lists(size_t(numSlots), nullptr) {}
  ~Window() {
    for (BZ_OuSpeckLE *&l : lists) LL_DisposeLinkedList(&l);
  }
  Window(const Window &) = delete;
  Window &operator=(const Window &) = delete;
  BZ_OuSpeck *Add(SInt32 slot, const BZ_OuSpeck &speck) {
    BZ_OuSpeckLE *e = nullptr;
    EXPECT_EQ(LL_AddNewPtr(sizeof(BZ_OuSpeckLE), static_cast<BZ_OuSpeckLE *>(LL_GetLastPtr(lists[size_t(slot)])),
                           &lists[size_t(slot)], &e),
              noErr);
    e->speck = speck;
    return &e->speck;
  }
};

BZ_OuParams WindowParams(SInt32 k, SInt32 width = 64, SInt32 height = 32) {
  BZ_OuParams p{};
  p.numInBuffers = 4 * k + 1;
  p.width = width;
  p.height = height;
  return p;
}

TEST(OutliersSpeckChains, SpeckDiffTerms) {
  using Change = std::function<void(BZ_OuSpeck &)>;
  const Change same = [](BZ_OuSpeck &) {};
  const struct {
    const char *name;
    Change first, second;  // applied to two copies of a one-pixel speck
    float weights[kBZ_OuNumSpeckDiffWeights];
    float expected;
  } cases[] = {
      {"identical", same, same, {1, 1, 1, 1, 1}, 0.0f},
      {"moved by (3, 4)", same, [](BZ_OuSpeck &s) { s.rgn.cmX += 3, s.rgn.cmY += 4; }, {2, 0, 0, 0, 0}, 2 * 7 / 100.0f},
      // s = 2.5 < 4: factor 0.25; |1 - 4| x 5 / 4
      {"small sizes", same, [](BZ_OuSpeck &s) { s.rgn.size = 4; }, {0, 1, 0, 0, 0}, 0.25f * 3 * 5 / 4},
      // s = 10: factor 0.25 + 6 / 12 x 0.75
      {"middle sizes", same, [](BZ_OuSpeck &s) { s.rgn.size = 19; }, {0, 1, 0, 0, 0}, 0.625f * 18 * 20 / 19},
      // s = 20: factor 1
      {"large sizes", same, [](BZ_OuSpeck &s) { s.rgn.size = 39; }, {0, 1, 0, 0, 0}, 38.0f * 40 / 39},
      // a speck whose coverage sums to 0 counts as a tenth of a pixel: the distance stays finite
      {"no coverage", same, [](BZ_OuSpeck &s) { s.rgn.size = 0; }, {0, 1, 0, 0, 0}, 0.25f * 0.9f * 1.1f / 0.1f},
      // differences are truncated before their absolute value: 0.9 counts 0, -1.5 counts 1
      {"colour truncation", same, [](BZ_OuSpeck &s) { s.rgn.avColor.Y += 0.9f, s.rgn.avColor.Cb -= 1.5f; },
       {0, 0, 1, 0, 0}, 1 / 60.0f},
      {"colour", same, [](BZ_OuSpeck &s) { s.rgn.avColor.Y -= 30, s.rgn.avColor.Cr += 6; }, {0, 0, 1, 0, 0},
       36 / 60.0f},
      // holes count only for specks larger than 16 on average
      {"holes of small specks", same, [](BZ_OuSpeck &s) { s.rgn.numHoles = 2; }, {0, 0, 0, 1, 0}, 0.0f},
      {"holes of large specks", [](BZ_OuSpeck &s) { s.rgn.size = 25; },
       [](BZ_OuSpeck &s) { s.rgn.numHoles = 2, s.rgn.size = 25; }, {0, 0, 0, 1, 0}, 2.0f},
      // orientations 0.1 and pi - 0.1 are 0.2 apart as directions; shape weight 0.5 x 0.5
      {"shape", [](BZ_OuSpeck &s) { s.orientation = 0.1f, s.orientationWeight = 0.5f; },
       [](BZ_OuSpeck &s) { s.orientation = float(M_PI) - 0.1f, s.orientationWeight = 0.5f; }, {0, 0, 0, 0, 1},
       0.25f * 0.2f / float(M_PI)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    BZ_OuSpeck a = MakeSpeck(10, 10, 1), b = a;
    c.first(a);
    c.second(b);
    const float tolerance = 1e-4f * std::max(1.0f, c.expected);
    EXPECT_NEAR(BZ_OuCalcSpeckDiff(&a, &b, c.weights), c.expected, tolerance);
    EXPECT_NEAR(BZ_OuCalcSpeckDiff(&b, &a, c.weights), c.expected, tolerance);
  }
}

TEST(OutliersSpeckChains, EqualSpecksIgnorePositionWithinEachOthersBounds) {
  const BZ_OuSpeck a = MakeSpeck(10.5f, 10.5f);
  const struct {
    const char *name;
    BZ_OuSpeck other;
    bool equal;
  } cases[] = {
      {"same speck", a, true},
      // one pixel off: each centre still lies in the other's 3 x 3 bounds, and position does not count
      {"moved within the bounds", MakeSpeck(11.5f, 9.5f), true},
      {"centre outside the other's bounds", MakeSpeck(12.5f, 10.5f), false},
      {"another size", MakeSpeck(10.5f, 10.5f, 20), false},
      {"another luminance", MakeSpeck(10.5f, 10.5f, 9, 140), false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(bool(BZ_OuEqualSpeck(&a, &c.other)), c.equal);
    EXPECT_EQ(bool(BZ_OuEqualSpeck(&c.other, &a)), c.equal);
  }

  Window w(1);
  w.Add(0, MakeSpeck(30.5f, 10.5f));
  BZ_OuSpeck *second = w.Add(0, MakeSpeck(11.5f, 10.5f));
  w.Add(0, MakeSpeck(10.5f, 10.5f));  // equal too, but later in the list
  EXPECT_EQ(&BZ_OuFindSpeckInList(w.lists[0], &a)->speck, second);
  const BZ_OuSpeck far = MakeSpeck(50.5f, 20.5f);
  EXPECT_EQ(BZ_OuFindSpeckInList(w.lists[0], &far), nullptr);
}

TEST(OutliersSpeckChains, ExpectedSpeckMovesOnFromItsPredecessor) {
  BZ_OuSpeck prev = MakeSpeck(10, 20, 8, 180), cur = MakeSpeck(13, 18, 10, 190);
  prev.circleDiff = 0.5f, prev.rectDiff = 0.3f, prev.elongRectDiff = 0.2f;
  cur.circleDiff = 0.4f, cur.rectDiff = 0.35f, cur.elongRectDiff = 0.25f;
  cur.rgn.numHoles = 1;
  cur.remove = true;

  BZ_OuSpeck exp;
  BZ_OuFillOutExpectedSpeck(&cur, &exp);  // no predecessor: a copy of the properties
  EXPECT_FLOAT_EQ(exp.rgn.cmX, 13);
  EXPECT_FLOAT_EQ(exp.rgn.size, 10);
  EXPECT_EQ(exp.rgn.numHoles, 1);
  EXPECT_FALSE(exp.remove);
  EXPECT_EQ(exp.rgn.pixels, nullptr);

  cur.prevSpeck = &prev;
  BZ_OuFillOutExpectedSpeck(&cur, &exp);
  EXPECT_FLOAT_EQ(exp.rgn.cmX, 16);
  EXPECT_FLOAT_EQ(exp.rgn.cmY, 16);
  EXPECT_FLOAT_EQ(exp.rgn.size, 12);
  EXPECT_FLOAT_EQ(exp.rgn.avColor.Y, 200);
  EXPECT_FLOAT_EQ(exp.circleDiff, 0.3f);
  EXPECT_FLOAT_EQ(exp.elongRectDiff, 0.3f);

  prev.circleDiff = 0.005f;  // a shape fit that small is not moved on
  BZ_OuFillOutExpectedSpeck(&cur, &exp);
  EXPECT_FLOAT_EQ(exp.circleDiff, 0.4f);
  EXPECT_FLOAT_EQ(exp.rectDiff, 0.35f);
}

TEST(OutliersSpeckChains, BestMatchInTheNextList) {
  const BZ_OuSpeck speck = MakeSpeck(20, 10);
  BZ_OuSpeck lowEdge = MakeSpeck(20, 10);
  lowEdge.numEdgeInBand = 9;  // score exactly 0.9 is not enough
  BZ_OuSpeck noRings = MakeSpeck(20, 10);
  noRings.rgn.edgeSize2 = 0;
  noRings.numEdgeInBand = 0;
  const struct {
    const char *name;
    std::vector<BZ_OuSpeck> next;
    int expected;  // index into next, -1 for none
  } cases[] = {
      {"empty list", {}, -1},
      {"nearest wins", {MakeSpeck(26, 10), MakeSpeck(21, 11), MakeSpeck(40, 10)}, 1},
      {"edge score not above 0.9", {lowEdge, noRings, MakeSpeck(22, 10)}, 2},
      {"too far (distance 0.3 and more)", {MakeSpeck(20, 10, 9, 100)}, -1},
      {"tie keeps the earlier", {MakeSpeck(22, 10), MakeSpeck(18, 10)}, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Window w(1);
    std::vector<BZ_OuSpeck *> added;
    for (const BZ_OuSpeck &s : c.next) added.push_back(w.Add(0, s));
    BZ_OuSpeckLE *found = BZ_OuFindSpeckInListByProps(w.lists[0], &speck);
    EXPECT_EQ(found == nullptr ? nullptr : &found->speck, c.expected < 0 ? nullptr : added[size_t(c.expected)]);
  }
}

TEST(OutliersSpeckChains, LinkingKeepsTheBetterPredecessor) {
  const BZ_OuParams params = WindowParams(1);
  Window w(5);
  BZ_OuSpeck *far = w.Add(1, MakeSpeck(25, 10));    // first in the list: links first
  BZ_OuSpeck *near = w.Add(1, MakeSpeck(21, 10));   // predicts the match better and takes it over
  BZ_OuSpeck *weak = w.Add(1, MakeSpeck(20, 20));
  weak->numEdgeInBand = 5;                           // not linked at all
  BZ_OuSpeck *match = w.Add(2, MakeSpeck(20, 10));
  w.Add(2, MakeSpeck(20, 20));  // weak's twin in the next slot

  ASSERT_EQ(BZ_OuFindSpecksInNextFrame(&params, w.lists.data(), 1), noErr);
  EXPECT_EQ(match->prevSpeck, near);
  EXPECT_EQ(near->nextSpeck, match);
  EXPECT_EQ(far->nextSpeck, nullptr);
  EXPECT_EQ(weak->nextSpeck, nullptr);
  EXPECT_FALSE(BZ_OuInvalidPrevSpeckBoundsInList(w.lists[2]));

  // Linking again changes nothing.
  ASSERT_EQ(BZ_OuFindSpecksInNextFrame(&params, w.lists.data(), 1), noErr);
  EXPECT_EQ(match->prevSpeck, near);
  EXPECT_EQ(near->nextSpeck, match);

  near->rgn.bounds = Rect{5, 5, 5, 9};
  EXPECT_TRUE(BZ_OuInvalidPrevSpeckBoundsInList(w.lists[2]));

  // Only slots inside the window link, and only to the slot after them.
  for (SInt32 slot : {-1, 4, 5})
    EXPECT_EQ(BZ_OuFindSpecksInNextFrame(&params, w.lists.data(), slot), paramErr) << slot;
  BZ_OuParams notAWindow = WindowParams(1);
  notAWindow.numInBuffers = 6;
  EXPECT_EQ(BZ_OuFindSpecksInNextFrame(&notAWindow, w.lists.data(), 1), paramErr);
}

// The chain rule over a window of 9 slots (k = 2, centre 4, usable 2 to 6): a speck at (x, 10) moving one
// pixel a frame in the slots listed, linked slot by slot; frames missing where listed.
TEST(OutliersSpeckChains, ChainThroughTheUsableWindowIsKept) {
  const struct {
    const char *name;
    std::vector<SInt32> slots;       // slots holding the speck
    std::vector<SInt32> noFrame;     // empty frame slots
    bool kept;
  } cases[] = {
      {"every usable slot", {2, 3, 4, 5, 6}, {}, true},
      {"the whole window", {0, 1, 2, 3, 4, 5, 6, 7, 8}, {}, true},
      {"missing before the centre", {2, 4, 5, 6}, {}, false},
      {"missing after the centre", {2, 3, 4, 5}, {}, false},
      {"only in the centre (dust)", {4}, {}, false},
      // an empty frame at slot 6 ends the usable range there; one at slot 3 starts it at slot 4
      {"shorter window at the end", {2, 3, 4, 5}, {6}, true},
      {"shorter window at the start", {4, 5, 6}, {3}, true},
      // with no usable neighbour every speck of the centre is its own whole chain
      {"both ends empty", {4}, {3, 5}, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const BZ_OuParams params = WindowParams(2);
    Window w(9);
    std::vector<UInt8> frame(size_t(params.width) * params.height * 2, 100);
    std::vector<UInt8 *> buffers(9, frame.data());
    for (SInt32 s : c.noFrame) buffers[size_t(s)] = nullptr;
    std::vector<BZ_OuSpeck *> specks(9, nullptr);
    for (SInt32 s : c.slots) {
      specks[size_t(s)] = w.Add(s, MakeSpeck(20.5f + float(s), 10.5f));
      specks[size_t(s)]->remove = specks[size_t(s)]->initiallyRemoved = true;
    }
    // Another speck in the centre, of another colour, stays marked.
    BZ_OuSpeck *other = w.Add(4, MakeSpeck(50.5f, 25.5f, 9, 60));
    other->remove = true;
    for (SInt32 s = 0; s + 1 < 9; ++s) ASSERT_EQ(BZ_OuFindSpecksInNextFrame(&params, w.lists.data(), s), noErr);

    ASSERT_EQ(BZ_OuFindFalseSpecks(&params, buffers.data(), w.lists.data()), noErr);
    EXPECT_EQ(bool(specks[4]->remove), !c.kept);
    EXPECT_EQ(bool(specks[4]->inChain), c.kept);
    EXPECT_TRUE(specks[4]->initiallyRemoved);  // the centre keeps its initial state: its toggle is recorded
    EXPECT_EQ(bool(other->remove), c.noFrame.size() < 2);
    for (SInt32 s : c.slots)
      if (s != 4) {
        const bool inRange = c.kept && s >= 2 && s <= 6;
        EXPECT_EQ(bool(specks[size_t(s)]->inChain), inRange) << "slot " << s;
        EXPECT_EQ(bool(specks[size_t(s)]->initiallyRemoved), !inRange) << "slot " << s;
      }
  }
  EXPECT_EQ(BZ_OuFindFalseSpecks(nullptr, nullptr, nullptr), paramErr);
}

// Frames of 64 x 32 whose luma bytes (byte 2p + 1) hold a vertical step at column `step`: 200 left of it, 50
// from it on.
std::vector<UInt8> StepFrame(SInt32 step, SInt32 width = 64, SInt32 height = 32) {
  std::vector<UInt8> f(size_t(width) * height * 2, 100);
  for (SInt32 r = 0; r < height; ++r)
    for (SInt32 c = 0; c < width; ++c) f[2 * (size_t(r) * width + c) + 1] = c < step ? 200 : 50;
  return f;
}

TEST(OutliersSpeckChains, BlockDifferenceRunsRowsOverTheHeight) {
  // A block 3 wide and 8 high reaching the frame's bottom-right corner: with rows and columns swapped it
  // would run 8 columns into the next rows and give another sum.
  const SInt32 width = 10, height = 8;
  std::vector<UInt8> a(size_t(width) * height * 2), b(a.size()), m(a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    a[i] = UInt8(i * 7 % 251);
    b[i] = UInt8(i * 13 % 241);
    m[i] = UInt8(i * 3 % 239);
  }
  const Rect ref{0, 0, 8, 3}, cur{0, 7, 8, 10};
  SInt64 single = 0, both = 0;
  for (SInt32 r = 0; r < 8; ++r)
    for (SInt32 c = 0; c < 3; ++c) {
      const size_t pr = 2 * (size_t(r) * width + c) + 1, pc = 2 * (size_t(r) * width + 7 + c) + 1;
      single += std::abs(SInt32(m[pr]) - m[pc]);
      both += std::abs((SInt32(a[pr]) + b[pr]) / 2 - m[pc]);
    }
  EXPECT_EQ(BZ_OuCalcBlockDiff(width, &ref, &cur, nullptr, nullptr, m.data(), false), single);
  EXPECT_EQ(BZ_OuCalcBlockDiff(width, &ref, &cur, a.data(), b.data(), m.data(), true), both);
  const Rect other{0, 0, 7, 3};
  EXPECT_EQ(BZ_OuCalcBlockDiff(width, &ref, &other, nullptr, nullptr, m.data(), false), kBZ_OuBlockDiffNone);
  EXPECT_EQ(BZ_OuCalcBlockDiff(width, &ref, &cur, nullptr, b.data(), m.data(), true), kBZ_OuBlockDiffNone);
}

TEST(OutliersSpeckChains, MovingEdgeTestByBlockMatching) {
  const BZ_OuParams params = WindowParams(1);  // centre 2, neighbours 1 and 3
  const std::vector<UInt8> still = StepFrame(30), before = StepFrame(20), after = StepFrame(40);
  auto buffers = [](const std::vector<UInt8> &prev, const std::vector<UInt8> &next) {
    return std::vector<UInt8 *>{nullptr, const_cast<UInt8 *>(prev.data()), nullptr, const_cast<UInt8 *>(next.data()),
                                nullptr};
  };
  const struct {
    const char *name;
    std::vector<UInt8 *> frames;
    BZ_OuSpeck speck;
    SInt32 min, max;
    bool edge;
  } cases[] = {
      {"still neighbours", buffers(still, still), MakeSpeck(30, 16, 9, 200, 4), 0, 5, false},
      {"edge moving through", buffers(before, after), MakeSpeck(30, 16, 9, 200, 4), 0, 5, true},
      {"no neighbour usable", buffers(before, after), MakeSpeck(30, 16, 9, 200, 4), 2, 3, true},
      // the block reaches past the frame's corner: it is moved inside and nothing outside is read
      {"speck at the corner", buffers(still, still), MakeSpeck(1, 1, 9, 200, 4), 0, 5, false},
      // one neighbour only: the block is found again in that frame
      {"one neighbour", buffers(before, after), MakeSpeck(30, 16, 9, 200, 4), 1, 3, false},
      {"speck wider than the frame", buffers(still, still), MakeSpeck(30, 16, 9, 200, 60), 0, 5, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(bool(BZ_OuIsSpeckPartOfEdge(&params, &c.speck, c.frames.data(), c.min, c.max)), c.edge);
  }

  // The logarithmic search finds a block 5 columns off: on horizontal ramps 2x and 2x + 20, their average
  // is each ramp shifted by 5 columns.
  const SInt32 width = params.width, height = params.height;
  std::vector<UInt8> ramp(size_t(width) * height * 2, 100), rampOn(ramp.size(), 100);
  for (SInt32 r = 0; r < height; ++r)
    for (SInt32 c = 0; c < width; ++c) {
      ramp[2 * (size_t(r) * width + c) + 1] = UInt8(2 * c);
      rampOn[2 * (size_t(r) * width + c) + 1] = UInt8(2 * c + 20);
    }
  const BZ_OuSpeck speck = MakeSpeck(30, 16, 9, 200, 4);
  std::vector<UInt8 *> frames{nullptr, ramp.data(), nullptr, rampOn.data(), nullptr};
  EXPECT_EQ(BZ_OuFindBestBlockMatch(&params, &speck, frames.data(), true, true), 0);
  EXPECT_EQ(BZ_OuFindBestBlockMatch(&params, &speck, frames.data(), false, true), 0);
  frames[3] = nullptr;
  EXPECT_EQ(BZ_OuFindBestBlockMatch(&params, &speck, frames.data(), true, false), kBZ_OuBlockDiffNone);
  EXPECT_EQ(BZ_OuFindBestBlockMatch(&params, &speck, frames.data(), false, true), kBZ_OuBlockDiffNone);
}

TEST(OutliersSpeckChains, CandidateListKeepsTheEightBest) {
  float diffs[kBZ_OuNumMatchCandidates];
  BZ_OuSpeck *candidates[kBZ_OuNumMatchCandidates] = {};
  std::fill(diffs, diffs + kBZ_OuNumMatchCandidates, std::numeric_limits<float>::max());
  BZ_OuSpeck specks[12];
  const struct {
    float diff;
    SInt32 position;
  } adds[] = {{5, 0}, {3, 0}, {4, 1}, {5, 3}, {1, 0}, {9, 5}, {7, 5}, {8, 6}, {2, 1},
              // the list is full (1 2 3 4 5 5 7 8): 8 is not better than the eighth, 6 is
              {8, -1}, {6, 6}, {0.5f, 0}};
  for (size_t i = 0; i < std::size(adds); ++i)
    EXPECT_EQ(BZ_OuAddSpeckMatchCandidate(adds[i].diff, &specks[i], diffs, candidates), adds[i].position)
        << "add " << i;
  const float expected[] = {0.5f, 1, 2, 3, 4, 5, 5, 6};
  const SInt32 owners[] = {11, 4, 8, 1, 2, 0, 3, 10};  // equal diffs keep their order of arrival
  for (SInt32 i = 0; i < kBZ_OuNumMatchCandidates; ++i) {
    EXPECT_FLOAT_EQ(diffs[i], expected[i]) << i;
    EXPECT_EQ(candidates[i], &specks[owners[i]]) << i;
  }
}

TEST(OutliersSpeckChains, UsableRangeOfSpeckLists) {
  BZ_OuSpeckLE present{};
  BZ_OuSpeckLE *const p = &present;
  const struct {
    const char *name;
    std::vector<BZ_OuSpeckLE *> lists;
    SInt32 min, max;
  } cases[] = {
      {"all lists", {p, p, p, p, p}, 0, 5},
      {"first missing", {nullptr, p, p, p, p}, 1, 5},
      {"last two missing", {p, p, p, nullptr, nullptr}, 0, 3},
      {"gap nearest the centre counts", {nullptr, p, nullptr, p, p, nullptr, p, nullptr, p}, 3, 5},
      {"only the centre", {nullptr, nullptr, p, nullptr, nullptr}, 2, 3},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    SInt32 lo = -1, hi = -1;
    BZ_OuGetSpeckListIndexBounds(c.lists.data(), SInt32(c.lists.size()), &lo, &hi);
    EXPECT_EQ(lo, c.min);
    EXPECT_EQ(hi, c.max);
  }
}

}  // namespace
