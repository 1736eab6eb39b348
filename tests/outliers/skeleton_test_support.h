// Helpers of the skeleton tests: byte masks drawn as text ('#' set, anything else clear) inside a margin, and
// skeleton records put together by hand (owned by the record: SK_DisposeSkeleton frees them).
#pragma once

#include "general/memory_lists.h"
#include "outliers/skeletons.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace bz_test {

// A mask plane holding the drawing with `margin` clear pixels on every side; the bounds are the whole plane.
struct MaskPicture {
  MaskPicture(const std::vector<std::string> &art, SInt32 margin = 3)
      : margin(margin),
        width(SInt32(art.empty() ? 0 : art[0].size()) + 2 * margin),
        height(SInt32(art.size()) + 2 * margin),
        mask(size_t(width) * size_t(height), 0),
        work(size_t(width) * size_t(height), 0),
        pixelList(size_t(width) * size_t(height), 0) {
    for (size_t r = 0; r < art.size(); ++r)
      for (size_t c = 0; c < art[r].size(); ++c)
        if (art[r][c] == '#') mask[Index(SInt32(r), SInt32(c))] = 1;
  }
  // The plane index of drawing row r, column c.
  SInt32 Index(SInt32 r, SInt32 c) const { return (r + margin) * width + c + margin; }
  Rect Bounds() const { return Rect{0, 0, SInt16(height), SInt16(width)}; }
  // The drawing area as text again.
  std::vector<std::string> Art() const {
    std::vector<std::string> art;
    for (SInt32 r = 0; r < height - 2 * margin; ++r) {
      std::string row;
      for (SInt32 c = 0; c < width - 2 * margin; ++c) row += mask[Index(r, c)] ? '#' : '.';
      art.push_back(row);
    }
    return art;
  }

  SInt32 margin, width, height;
  std::vector<UInt8> mask, work;
  std::vector<SInt32> pixelList;
};

struct BranchSpec {
  std::vector<std::pair<int, int>> pixels;  // (row, column) from head to tail
  SInt32 headNode = -1, tailNode = -1;
};

// A skeleton record over a plane of the given width, its arrays made like those of the skeleton routines.
inline SK_Skeleton MakeSkeleton(SInt32 width, const std::vector<std::pair<int, int>> &nodes,
                                const std::vector<BranchSpec> &branches) {
  SK_Skeleton sk{};
  EXPECT_EQ(GL_NewPtrClear(sizeof(SInt32) * nodes.size(), &sk.nodes), noErr);
  sk.numNodes = SInt32(nodes.size());
  for (size_t k = 0; k < nodes.size(); ++k) sk.nodes[k] = nodes[k].first * width + nodes[k].second;
  EXPECT_EQ(GL_NewPtrClear(sizeof(SK_SkeletonBranch) * branches.size(), &sk.branches), noErr);
  sk.branchesSize = sk.numBranches = SInt32(branches.size());
  sk.numPixels = sk.numNodes;
  for (size_t b = 0; b < branches.size(); ++b) {
    SK_SkeletonBranch &br = sk.branches[b];
    br.numPixels = SInt32(branches[b].pixels.size());
    EXPECT_EQ(GL_NewPtrClear(sizeof(SInt32) * branches[b].pixels.size(), &br.pixels), noErr);
    for (size_t k = 0; k < branches[b].pixels.size(); ++k)
      br.pixels[k] = branches[b].pixels[k].first * width + branches[b].pixels[k].second;
    br.nodes[0] = branches[b].headNode;
    br.nodes[1] = branches[b].tailNode;
    br.nodeRgns[0] = br.nodeRgns[1] = -1;
    sk.numPixels += br.numPixels;
  }
  return sk;
}

// (row, column) of a straight run of n pixels from (row, col) in steps of (dr, dc).
inline std::vector<std::pair<int, int>> PixelRun(int row, int col, int dr, int dc, int n) {
  std::vector<std::pair<int, int>> pixels;
  for (int k = 0; k < n; ++k) pixels.emplace_back(row + k * dr, col + k * dc);
  return pixels;
}

}  // namespace bz_test
