// Varying brightness's frame kernels: block-sum brightness ratios and the luma correction.
#include "methods/varbr.h"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <memory>

namespace {

constexpr SInt32 kNumBins = 256;
constexpr SInt32 kTopMargin = 16;   // frame lines above the first block
constexpr SInt32 kLeftMargin = 32;  // pixels left of the first block

// The ratio of one block's luma sums, field2 over field1.
float BlockRatio(const UInt8 *field1, const UInt8 *field2, SInt32 offset, SInt32 numLines, SInt32 lineStep,
                 SInt32 blockSize) {
  UInt32 s1 = 0, s2 = 0;
  for (SInt32 l = 0; l < numLines; ++l) {
    const UInt8 *p1 = field1 + offset + size_t(l) * size_t(lineStep);
    const UInt8 *p2 = field2 + offset + size_t(l) * size_t(lineStep);
    for (SInt32 x = 0; x < blockSize; ++x) {
      s1 += p1[2 * x + 1];
      s2 += p2[2 * x + 1];
    }
  }
  // A black block would divide by nothing.
  if (s1 == 0) s1 = 1;
  return float(s2) / float(s1);
}

}  // namespace

void BZ_VbGetBlockGrid(SInt32 width, SInt32 height, SInt32 *numBlocksH, SInt32 *numBlocksV, SInt32 *blockSize) {
  SInt32 h = width / 32 - 2, v = height / 32 - 1, size = 32;
  if (h <= 0 || v <= 0 || h * v <= 63) {
    h = width / 16 - 4;
    v = height / 16 - 2;
    size = 16;
  }
  if (numBlocksH != nullptr) *numBlocksH = h;
  if (numBlocksV != nullptr) *numBlocksV = v;
  if (blockSize != nullptr) *blockSize = size;
}

float BZ_FindFramesRelBr(const UInt8 *field1, const UInt8 *field2, SInt32 numBlocksH, SInt32 numBlocksV,
                         SInt32 blockSize, SInt32 lineSize, Boolean interlaced) {
  assert(field1 != nullptr && field2 != nullptr && numBlocksH > 0 && numBlocksV > 0 && blockSize > 0);
  const SInt32 vStep = interlaced ? 2 : 1;
  const SInt32 numBlocks = numBlocksH * numBlocksV;
  const SInt32 numLines = blockSize / vStep;
  // The ratios are taken once; only their binning depends on the pass.
  float ratios[4096];
  std::unique_ptr<float[]> heap;
  if (numBlocks > SInt32(std::size(ratios))) heap = std::make_unique<float[]>(size_t(numBlocks));
  float *ratio = heap != nullptr ? heap.get() : ratios;
  float maxRatio = 0.0f;
  for (SInt32 bv = 0; bv < numBlocksV; ++bv)
    for (SInt32 bh = 0; bh < numBlocksH; ++bh) {
      const SInt32 offset = (kTopMargin + bv * blockSize) * lineSize + (kLeftMargin + bh * blockSize) * 2;
      const float r = BlockRatio(field1, field2, offset, numLines, vStep * lineSize, blockSize);
      ratio[bv * numBlocksH + bh] = r;
      maxRatio = std::max(maxRatio, r);
    }

  float scale = 1.0f;
  SInt32 histogram[kNumBins];
  for (SInt32 pass = 0;; ++pass) {
    std::fill(std::begin(histogram), std::end(histogram), 0);
    for (SInt32 b = 0; b < numBlocks; ++b) {
      const float bin = 0.5f + 8.0f * scale * ratio[b];
      ++histogram[bin >= float(kNumBins - 1) ? kNumBins - 1 : SInt32(bin)];
    }
    const SInt32 top = histogram[kNumBins - 1];
    const bool stands = top >= 1 && float(top) < float(numBlocks) * 0.01f;
    // All blocks black in field2 leave nothing to rescale by.
    if (stands || pass == 1 || maxRatio <= 0.0f) break;
    scale = 254.0f / (8.0f * maxRatio);
  }
  const SInt32 mode = SInt32(std::max_element(histogram, histogram + kNumBins - 1) - histogram);
  return (float(mode) + 0.5f) / (8.0f * scale);
}

void BZ_FindRelBr(BZ_VbParams *vbParams, const UInt8 *prevBuffer, const UInt8 *inBuffer, SInt32 frameNum) {
  if (vbParams == nullptr || inBuffer == nullptr) return;
  if (vbParams->interlaced)
    BZ_FindRelBrInt(vbParams, prevBuffer, inBuffer, frameNum);
  else if (frameNum > 0)
    BZ_FindRelBrProgr(vbParams, prevBuffer, inBuffer, frameNum);
}

void BZ_FindRelBrInt(BZ_VbParams *vbParams, const UInt8 *prevBuffer, const UInt8 *inBuffer, SInt32 frameNum) {
  if (vbParams == nullptr || vbParams->relBr == nullptr || inBuffer == nullptr || frameNum < 0 ||
      frameNum >= vbParams->numFrames)
    return;
  SInt32 nh = 0, nv = 0, size = 0;
  BZ_VbGetBlockGrid(vbParams->width, vbParams->height, &nh, &nv, &size);
  if (nh <= 0 || nv <= 0) return;
  const SInt32 lineSize = 2 * vbParams->width;
  // The first field in time and the second, of this frame and of the previous one.
  const SInt32 firstOffset = vbParams->topFieldFirst ? 0 : lineSize;
  const SInt32 secondOffset = vbParams->topFieldFirst ? lineSize : 0;
  if (frameNum > 0 && prevBuffer != nullptr)
    vbParams->relBr[2 * frameNum - 1] =
        BZ_FindFramesRelBr(prevBuffer + secondOffset, inBuffer + firstOffset, nh, nv, size, lineSize, true);
  vbParams->relBr[2 * frameNum] =
      BZ_FindFramesRelBr(inBuffer + firstOffset, inBuffer + secondOffset, nh, nv, size, lineSize, true);
}

void BZ_FindRelBrProgr(BZ_VbParams *vbParams, const UInt8 *prevBuffer, const UInt8 *inBuffer, SInt32 frameNum) {
  if (vbParams == nullptr || vbParams->relBr == nullptr || prevBuffer == nullptr || inBuffer == nullptr ||
      frameNum < 1 || frameNum >= vbParams->numFrames)
    return;
  SInt32 nh = 0, nv = 0, size = 0;
  BZ_VbGetBlockGrid(vbParams->width, vbParams->height, &nh, &nv, &size);
  if (nh <= 0 || nv <= 0) return;
  vbParams->relBr[frameNum - 1] =
      BZ_FindFramesRelBr(prevBuffer, inBuffer, nh, nv, size, 2 * vbParams->width, false);
}

float BZ_VbGetFactor(const BZ_VbParams *vbParams, SInt32 frameNum, Boolean topfield) {
  if (vbParams == nullptr || vbParams->factors == nullptr || frameNum < 0) return 1.0f;
  SInt32 index = frameNum;
  if (vbParams->interlaced) {
    // The field that comes second in time takes the odd entry.
    const bool second = bool(topfield) != bool(vbParams->topFieldFirst);
    index = 2 * frameNum + (second ? 1 : 0);
  }
  return index < vbParams->numFactors ? vbParams->factors[index] : 1.0f;
}

void BZ_CorrRelBr(const BZ_VbParams *vbParams, const UInt8 *inBuffer, UInt8 *outBuffer, SInt32 frameNum,
                  Boolean topfield) {
  if (vbParams == nullptr || inBuffer == nullptr || outBuffer == nullptr) return;
  const SInt32 width = vbParams->width, height = vbParams->height;
  const size_t lineSize = size_t(2) * size_t(width);
  const SInt32 vStep = vbParams->interlaced ? 2 : 1;
  const float factor = BZ_VbGetFactor(vbParams, frameNum, topfield);
  // One product per luma value, exactly as the multiplication of each byte would give it.
  UInt8 table[256];
  for (SInt32 y = 0; y < 256; ++y) {
    const float scaled = float(y) * factor;
    table[y] = scaled >= 255.0f ? 255 : scaled <= 0.0f ? 0 : UInt8(scaled);
  }
  if (vbParams->interlaced && !topfield) {
    inBuffer += lineSize;
    outBuffer += lineSize;
  }
  for (SInt32 r = 0; r < height / vStep; ++r) {
    const UInt8 *in = inBuffer + size_t(r) * size_t(vStep) * lineSize;
    UInt8 *out = outBuffer + size_t(r) * size_t(vStep) * lineSize;
    for (SInt32 x = 0; x < width; ++x) {
      out[2 * x] = in[2 * x];
      out[2 * x + 1] = table[in[2 * x + 1]];
    }
  }
}
