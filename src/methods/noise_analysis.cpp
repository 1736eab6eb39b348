// The automatic noise settings: frame measurements and the result.
#include "methods/noise_analysis.h"

#include "engine/runtime/frame_selection.h"
#include "engine/runtime/shell_senders.h"
#include "engine/runtime/working_format.h"
#include "general/sort_search.h"
#include "general/statistics.h"
#include "methods/noise_tables.h"
#include "methods/spectral_windows.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kMinUsableMean = 48.0f, kMaxUsableMean = 208.0f;
constexpr float kMaxSettingsLevel = 40.0f;
const char *const kChannelNames[3] = {"Y", "Cb", "Cr"};

// The geometry of the measuring grid of one frame.
struct Grid {
  Rect rect;
  SInt32 across, down, strideX, strideY, rowBytes;
  SInt32 count() const { return across * down; }
  // The block's top-left pixel pair (its first byte, a Cb).
  const UInt8 *Block(const UInt8 *buffer, SInt32 index) const {
    const SInt32 row = index / across, col = index % across;
    const SInt32 line = rect.top + row * strideY, pixel = rect.left + col * strideX;
    return buffer + ptrdiff_t(line) * rowBytes + 4 * (pixel / 2);
  }
};

Grid GridOf(const BZ_RnParams *p) {
  Grid g{};
  BZ_RnGetSelRect(p, &g.rect);
  BZ_GetNum16x16Blocks(p->interlaced ? 2 : 1, &g.rect, &g.across, &g.down, &g.strideX, &g.strideY);
  g.across = std::max<SInt32>(g.across, 0);
  g.down = std::max<SInt32>(g.down, 0);
  if (SInt64(g.across) * g.down > kBZ_RnMaxMeasuredBlocks) g.down = kBZ_RnMaxMeasuredBlocks / std::max<SInt32>(g.across, 1);
  g.rowBytes = 2 * p->width;
  return g;
}

// The samples each kind takes from a block, as consecutive bytes.
void Gather2DY(const UInt8 *block, SInt32 rowBytes, UInt8 *bytes) {
  for (int l = 0; l < 16; ++l)
    for (int s = 0; s < 16; ++s) bytes[16 * l + s] = block[ptrdiff_t(l) * rowBytes + 2 * s + 1];
}
void Gather2DC(const UInt8 *block, SInt32 rowBytes, SInt32 channelOffset, UInt8 *bytes) {
  for (int l = 0; l < 8; ++l)
    for (int s = 0; s < 8; ++s) bytes[8 * l + s] = block[ptrdiff_t(l) * rowBytes + 4 * s + channelOffset];
}
void GatherHorizY(const UInt8 *block, UInt8 *bytes) {
  for (int s = 0; s < 16; ++s) bytes[s] = block[2 * s + 1];
}
void GatherHorizC(const UInt8 *block, SInt32 channelOffset, UInt8 *bytes) {
  for (int s = 0; s < 8; ++s) bytes[s] = block[4 * s + channelOffset];
}
void GatherVert(const UInt8 *block, SInt32 rowBytes, SInt32 byte, UInt8 *bytes) {
  for (int l = 0; l < 16; ++l) bytes[l] = block[ptrdiff_t(l) * rowBytes + byte];
}

void Screen(const float *bins, int numBins, float mean, BZ_IndexedNoiseLevel *entry, SInt32 blockIndex,
            SInt32 *numUsable) {
  entry->index = blockIndex;
  entry->noiseLevel = 0;
  if (mean > kMinUsableMean && mean < kMaxUsableMean) {
    float sum = 0.0f;
    for (int i = 0; i < numBins; ++i) sum += bins[i];
    entry->noiseLevelF = sum;
    ++*numUsable;
  } else {
    entry->noiseLevelF = kInfinity;
  }
}

// Steps 1 to 6 of a channel's level, the block's power (bins and additional bins) coming from measure.
template <typename Measure>
float LevelFromQuietest(const BZ_RnParams *p, BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                        int numBins, float *spectr, int numAdd, float *addSpectr, Measure measure) {
  SS_SelectSortArray(BZ_RnCompareNoiseLevelsF, entries, numBlocks, SInt32(sizeof(BZ_IndexedNoiseLevel)));
  std::fill_n(spectr, numBins, 0.0f);
  if (addSpectr != nullptr) std::fill_n(addSpectr, numAdd, 0.0f);
  SInt32 n = std::min(numBlocks, kBZ_RnQuietBlocks);
  if (n > 0 && !(entries[n - 1].noiseLevelF < kInfinity)) {
    SInt32 finite = 0;
    while (finite < n && entries[finite].noiseLevelF < kInfinity) ++finite;
    n = finite;
  }
  // No usable block: nothing to average (a plain mean would be 0 / 0).
  if (n == 0) return kInfinity;
  float sum = 0.0f;
  for (SInt32 k = 0; k < n; ++k) {
    float bins[64], add[16];
    measure(entries[k].index, bins, add);
    float nonRandomNess = 0.0f;
    sum += BZ_RnGetMatchingRandomNoiseLevel(p, bins, numBins, &nonRandomNess);
    for (int i = 0; i < numBins; ++i) spectr[i] += bins[i];
    if (addSpectr != nullptr)
      for (int i = 0; i < numAdd; ++i) addSpectr[i] += add[i];
  }
  if (0.1f * float(numBlocks) > float(numUsable)) sum = kInfinity;
  return sum / float(n);
}

// Row `sample` of a spectrum array of rows of `size` floats.
float *Row(float *spectr, SInt32 sample, SInt32 size) { return spectr + ptrdiff_t(sample) * size; }

bool ValidSample(SInt32 sample) { return sample >= 0 && sample < kBZ_NumTestFrames; }

bool HasEntries(const BZ_RnParams *p) {
  return p->indNoiseLevels[0] != nullptr && p->indNoiseLevels[1] != nullptr && p->indNoiseLevels[2] != nullptr;
}

// Sizes of one spectrum row (and additional row) per kind and channel.
SInt32 SpectrumSize(BZ_RnFilterKind kind, int c) {
  switch (kind) {
    case kBZ_Rn2DKind: return c == 0 ? 64 : 16;
    case kBZ_RnHorizKind: return c == 0 ? 8 : 4;
    case kBZ_RnVertKind: return 8;
    default: return 0;
  }
}
SInt32 AddSpectrumSize(BZ_RnFilterKind kind, int c) { return kind == kBZ_Rn2DKind ? (c == 0 ? 16 : 8) : 0; }

float *const *SpectraOf(const BZ_RnParams *p, BZ_RnFilterKind kind) {
  switch (kind) {
    case kBZ_Rn2DKind: return p->noiseSpectr2D;
    case kBZ_RnHorizKind: return p->noiseSpectr16H;
    case kBZ_RnVertKind: return p->noiseSpectr16V;
    default: return nullptr;
  }
}

float *EqLevelsOf(BZ_RnDlgTaskData *d, BZ_RnFilterKind kind) {
  switch (kind) {
    case kBZ_Rn2DKind: return d->eqNoiseLevel2D;
    case kBZ_RnHorizKind: return d->eqNoiseLevel16H;
    case kBZ_RnVertKind: return d->eqNoiseLevel16V;
    default: return nullptr;
  }
}

// savedSpectra: per channel the spectrum row, then the additional row, of the measured kind.
float *SavedRow(const BZ_RnParams *p, BZ_RnFilterKind kind, int c, bool additional) {
  float *at = p->savedSpectra;
  for (int k = 0; k < c; ++k) at += SpectrumSize(kind, k) + AddSpectrumSize(kind, k);
  return additional ? at + SpectrumSize(kind, c) : at;
}

}  // namespace

BZ_RnFilterKind BZ_RnGetFilterKind(const BZ_Rn_Sett *sett) {
  if (sett == nullptr) return kBZ_RnKindNone;
  if (sett->horizontal && sett->vertical) return kBZ_Rn2DKind;
  if (sett->horizontal) return kBZ_RnHorizKind;
  if (sett->vertical) return kBZ_RnVertKind;
  return kBZ_RnKindNone;
}

OSStatus BZ_RnAllocMeasuring(BZ_RnParams *rnParams, const BZ_RnDlgTaskData *rnDlgTaskData) {
  for (auto &levels : rnParams->indNoiseLevels) {
    if (levels == nullptr)
      levels = static_cast<BZ_IndexedNoiseLevel *>(std::calloc(kBZ_RnMaxMeasuredBlocks, sizeof(BZ_IndexedNoiseLevel)));
    if (levels == nullptr) return memFullErr;
  }
  const BZ_RnFilterKind kind = BZ_RnGetFilterKind(rnParams->sett);
  SInt32 total = 0;
  for (int c = 0; c < 3; ++c) total += SpectrumSize(kind, c) + AddSpectrumSize(kind, c);
  if (total == 0 || rnDlgTaskData == nullptr) return noErr;
  if (rnParams->savedSpectra == nullptr)
    rnParams->savedSpectra = static_cast<float *>(std::calloc(size_t(total), sizeof(float)));
  if (rnParams->savedSpectra == nullptr) return memFullErr;
  float *const *spectra = SpectraOf(rnParams, kind);
  for (int c = 0; c < 3; ++c) {
    if (spectra[c] != nullptr) std::memcpy(SavedRow(rnParams, kind, c, false), spectra[c], sizeof(float) * size_t(SpectrumSize(kind, c)));
    if (kind == kBZ_Rn2DKind && rnParams->noiseSpectr2Dadd[c] != nullptr)
      std::memcpy(SavedRow(rnParams, kind, c, true), rnParams->noiseSpectr2Dadd[c],
                  sizeof(float) * size_t(AddSpectrumSize(kind, c)));
  }
  return noErr;
}

// ---- Screening -----------------------------------------------------------------------------------------------

void BZ_RnCalcBlockNoisePower256Y(const BZ_RnParams *rnParams, const UInt8 *blockPtr, BZ_IndexedNoiseLevel *entry,
                                  SInt32 blockIndex, SInt32 *numUsable) {
  UInt8 bytes[256];
  float bins[64], mean = 0.0f;
  Gather2DY(blockPtr, 2 * rnParams->width, bytes);
  BZ_RnCalcNoisePower256(rnParams->M16, bytes, bins, &mean, nullptr);
  Screen(bins, 64, mean, entry, blockIndex, numUsable);
}

void BZ_RnCalcBlockNoisePower64C(const BZ_RnParams *rnParams, const UInt8 *blockPtr, SInt32 channelOffset,
                                 BZ_IndexedNoiseLevel *entry, SInt32 blockIndex, SInt32 *numUsable) {
  UInt8 bytes[64];
  float bins[16], mean = 0.0f;
  Gather2DC(blockPtr, 2 * rnParams->width, channelOffset, bytes);
  BZ_RnCalcNoisePower64(rnParams->M8, bytes, bins, &mean, nullptr);
  Screen(bins, 16, mean, entry, blockIndex, numUsable);
}

void BZ_RnCalcBlockNoisePower16H(const BZ_RnParams *rnParams, const UInt8 *blockPtr, BZ_IndexedNoiseLevel *entry,
                                 SInt32 blockIndex, SInt32 *numUsable) {
  UInt8 bytes[16];
  float bins[8], mean = 0.0f;
  GatherHorizY(blockPtr, bytes);
  BZ_RnCalcNoisePower16(rnParams->M16, bytes, bins, &mean);
  Screen(bins, 8, mean, entry, blockIndex, numUsable);
}

void BZ_RnCalcBlockNoisePower8C(const BZ_RnParams *rnParams, const UInt8 *blockPtr, SInt32 channelOffset,
                                BZ_IndexedNoiseLevel *entry, SInt32 blockIndex, SInt32 *numUsable) {
  UInt8 bytes[8];
  float bins[4], mean = 0.0f;
  GatherHorizC(blockPtr, channelOffset, bytes);
  BZ_RnCalcNoisePower8(rnParams->M8, bytes, bins, &mean);
  Screen(bins, 4, mean, entry, blockIndex, numUsable);
}

void BZ_RnCalcBlockNoisePower16V(const BZ_RnParams *rnParams, const UInt8 *blockPtr, SInt32 channelOffset,
                                 BZ_IndexedNoiseLevel *entry, SInt32 blockIndex, SInt32 *numUsable) {
  UInt8 bytes[16];
  float bins[8], mean = 0.0f;
  GatherVert(blockPtr, 2 * rnParams->width, channelOffset, bytes);
  BZ_RnCalcNoisePower16(rnParams->M16, bytes, bins, &mean);
  Screen(bins, 8, mean, entry, blockIndex, numUsable);
}

// ---- Levels from the quietest blocks ---------------------------------------------------------------------------

void BZ_RnGetFrame2DNoiseLevelY_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer,
                                             BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                                             float *spectr, float *addSpectr, float *level) {
  const Grid g = GridOf(rnParams);
  *level = LevelFromQuietest(rnParams, entries, numBlocks, numUsable, 64, spectr, 16, addSpectr,
                             [&](SInt32 index, float *bins, float *add) {
                               UInt8 bytes[256];
                               float mean;
                               Gather2DY(g.Block(buffer, index), g.rowBytes, bytes);
                               BZ_RnCalcNoisePower256(rnParams->M16, bytes, bins, &mean, add);
                             });
}

void BZ_RnGetFrame2DNoiseLevelC_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer, SInt32 channelOffset,
                                             BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                                             float *spectr, float *addSpectr, float *level) {
  const Grid g = GridOf(rnParams);
  *level = LevelFromQuietest(rnParams, entries, numBlocks, numUsable, 16, spectr, 8, addSpectr,
                             [&](SInt32 index, float *bins, float *add) {
                               UInt8 bytes[64];
                               float mean;
                               Gather2DC(g.Block(buffer, index), g.rowBytes, channelOffset, bytes);
                               BZ_RnCalcNoisePower64(rnParams->M8, bytes, bins, &mean, add);
                             });
}

void BZ_RnGetFrameNoiseLevel16H_Y_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer,
                                               BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                                               float *spectr, float *level) {
  const Grid g = GridOf(rnParams);
  *level = LevelFromQuietest(rnParams, entries, numBlocks, numUsable, 8, spectr, 0, nullptr,
                             [&](SInt32 index, float *bins, float *) {
                               UInt8 bytes[16];
                               float mean;
                               GatherHorizY(g.Block(buffer, index), bytes);
                               BZ_RnCalcNoisePower16(rnParams->M16, bytes, bins, &mean);
                             });
}

void BZ_RnGetFrameNoiseLevel8C_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer, SInt32 channelOffset,
                                            BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                                            float *spectr, float *level) {
  const Grid g = GridOf(rnParams);
  *level = LevelFromQuietest(rnParams, entries, numBlocks, numUsable, 4, spectr, 0, nullptr,
                             [&](SInt32 index, float *bins, float *) {
                               UInt8 bytes[8];
                               float mean;
                               GatherHorizC(g.Block(buffer, index), channelOffset, bytes);
                               BZ_RnCalcNoisePower8(rnParams->M8, bytes, bins, &mean);
                             });
}

void BZ_RnGetFrameNoiseLevel16V_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer, SInt32 channelOffset,
                                             BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                                             float *spectr, float *level) {
  const Grid g = GridOf(rnParams);
  *level = LevelFromQuietest(rnParams, entries, numBlocks, numUsable, 8, spectr, 0, nullptr,
                             [&](SInt32 index, float *bins, float *) {
                               UInt8 bytes[16];
                               float mean;
                               GatherVert(g.Block(buffer, index), g.rowBytes, channelOffset, bytes);
                               BZ_RnCalcNoisePower16(rnParams->M16, bytes, bins, &mean);
                             });
}

// ---- One frame --------------------------------------------------------------------------------------------------

void BZ_RnGetFrame2DNoiseLevel(const BZ_RnParams *rnParams, const UInt8 *inBuffer, SInt32 realArrayNum,
                               float *const *noiseLevel) {
  const Grid g = GridOf(rnParams);
  const SInt32 n = g.count();
  SInt32 usable[3] = {0, 0, 0};
  for (SInt32 b = 0; b < n; ++b) {
    const UInt8 *block = g.Block(inBuffer, b);
    BZ_RnCalcBlockNoisePower256Y(rnParams, block, &rnParams->indNoiseLevels[0][b], b, &usable[0]);
    BZ_RnCalcBlockNoisePower64C(rnParams, block, 0, &rnParams->indNoiseLevels[1][b], b, &usable[1]);
    BZ_RnCalcBlockNoisePower64C(rnParams, block, 2, &rnParams->indNoiseLevels[2][b], b, &usable[2]);
  }
  BZ_RnGetFrame2DNoiseLevelY_FromLowest10(rnParams, inBuffer, rnParams->indNoiseLevels[0], n, usable[0],
                                          Row(rnParams->noiseSpectr2D[0], realArrayNum, 64),
                                          Row(rnParams->noiseSpectr2Dadd[0], realArrayNum, 16), noiseLevel[0]);
  for (int c = 1; c < 3; ++c)
    BZ_RnGetFrame2DNoiseLevelC_FromLowest10(rnParams, inBuffer, 2 * (c - 1), rnParams->indNoiseLevels[c], n, usable[c],
                                            Row(rnParams->noiseSpectr2D[c], realArrayNum, 16),
                                            Row(rnParams->noiseSpectr2Dadd[c], realArrayNum, 8), noiseLevel[c]);
}

void BZ_RnGetFrameHorizNoiseLevel(const BZ_RnParams *rnParams, const UInt8 *inBuffer, SInt32 realArrayNum,
                                  float *const *noiseLevel) {
  const Grid g = GridOf(rnParams);
  const SInt32 n = g.count();
  SInt32 usable[3] = {0, 0, 0};
  for (SInt32 b = 0; b < n; ++b) {
    const UInt8 *block = g.Block(inBuffer, b);
    BZ_RnCalcBlockNoisePower16H(rnParams, block, &rnParams->indNoiseLevels[0][b], b, &usable[0]);
    BZ_RnCalcBlockNoisePower8C(rnParams, block, 0, &rnParams->indNoiseLevels[1][b], b, &usable[1]);
    BZ_RnCalcBlockNoisePower8C(rnParams, block, 2, &rnParams->indNoiseLevels[2][b], b, &usable[2]);
  }
  BZ_RnGetFrameNoiseLevel16H_Y_FromLowest10(rnParams, inBuffer, rnParams->indNoiseLevels[0], n, usable[0],
                                            Row(rnParams->noiseSpectr16H[0], realArrayNum, 8), noiseLevel[0]);
  for (int c = 1; c < 3; ++c)
    BZ_RnGetFrameNoiseLevel8C_FromLowest10(rnParams, inBuffer, 2 * (c - 1), rnParams->indNoiseLevels[c], n, usable[c],
                                           Row(rnParams->noiseSpectr16H[c], realArrayNum, 4), noiseLevel[c]);
}

void BZ_RnGetFrameVertNoiseLevel(const BZ_RnParams *rnParams, const UInt8 *inBuffer, SInt32 realArrayNum,
                                 float *const *noiseLevel) {
  static const SInt32 kByte[3] = {1, 0, 2};
  const Grid g = GridOf(rnParams);
  const SInt32 n = g.count();
  SInt32 usable[3] = {0, 0, 0};
  for (SInt32 b = 0; b < n; ++b)
    for (int c = 0; c < 3; ++c)
      BZ_RnCalcBlockNoisePower16V(rnParams, g.Block(inBuffer, b), kByte[c], &rnParams->indNoiseLevels[c][b], b,
                                  &usable[c]);
  for (int c = 0; c < 3; ++c)
    BZ_RnGetFrameNoiseLevel16V_FromLowest10(rnParams, inBuffer, kByte[c], rnParams->indNoiseLevels[c], n, usable[c],
                                            Row(rnParams->noiseSpectr16V[c], realArrayNum, 8), noiseLevel[c]);
}

OSStatus BZ_RnFindFrameBestSett(const BZ_RnParams *rnParams, const BZ_DlgTaskInput *dlgTaskInput) {
  if (rnParams == nullptr || dlgTaskInput == nullptr || dlgTaskInput->inBuffer == nullptr) return paramErr;
  if (rnParams->calcAutoSett != kBZ_RnAutoSettStage) return noErr;
  const SInt32 s = dlgTaskInput->realArrayNum;
  if (!ValidSample(s) || !HasEntries(rnParams)) return paramErr;
  float *levels[3] = {&gBZ.dlgTaskData.noiseLevel[0][s], &gBZ.dlgTaskData.noiseLevel[1][s],
                      &gBZ.dlgTaskData.noiseLevel[2][s]};
  switch (BZ_RnGetFilterKind(rnParams->sett)) {
    case kBZ_Rn2DKind: BZ_RnGetFrame2DNoiseLevel(rnParams, dlgTaskInput->inBuffer, s, levels); break;
    case kBZ_RnHorizKind: BZ_RnGetFrameHorizNoiseLevel(rnParams, dlgTaskInput->inBuffer, s, levels); break;
    case kBZ_RnVertKind: BZ_RnGetFrameVertNoiseLevel(rnParams, dlgTaskInput->inBuffer, s, levels); break;
    case kBZ_RnKindNone: break;
  }
  return noErr;
}

// ---- Levels and the result -------------------------------------------------------------------------------------

float BZ_RnGetMatchingRandomNoiseLevel(const BZ_RnParams *rnParams, const float *mm, SInt32 numNoiseValues,
                                       float *nonRandomNess) {
  const float *table = numNoiseValues == 4    ? rnParams->randomPowerTable8
                       : numNoiseValues == 8  ? rnParams->randomPowerTable16
                       : numNoiseValues == 16 ? rnParams->randomPowerTable64
                                              : rnParams->randomPowerTable256;
  float T = 0.0f, P = 0.0f;
  for (SInt32 i = 0; i < numNoiseValues; ++i) {
    T += table[i];
    P += mm[i];
  }
  *nonRandomNess = 0.0f;
  if (!(T > 0.0f)) return kInfinity;
  const float r = P / T;
  if (P > 0.0f) {
    float spread = 0.0f;
    for (SInt32 i = 0; i < numNoiseValues; ++i) spread += std::fabs(table[i] * r - mm[i]);
    *nonRandomNess = spread / P;
  }
  return float(kBZ_RnRandomAmplitude) * std::sqrt(r);
}

Boolean BZ_CalcAverageNoiseSpectrum(SInt32 numRealSamples, const Boolean *outliers, float *noiseSpectr,
                                    SInt32 spectrumSize) {
  float sum[64] = {};
  SInt32 count = 0;
  for (SInt32 s = 0; s < numRealSamples; ++s) {
    if (outliers[s]) continue;
    const float *row = Row(noiseSpectr, s, spectrumSize);
    for (SInt32 i = 0; i < spectrumSize; ++i) sum[i] += row[i];
    ++count;
  }
  if (count == 0) return false;
  for (SInt32 i = 0; i < spectrumSize; ++i) noiseSpectr[i] = sum[i] / float(count);
  return true;
}

OSStatus BZ_RnBestSettingsCalcResult(const BZ_RnParams *rnParams) {
  if (rnParams == nullptr || rnParams->sett == nullptr) return paramErr;
  if (rnParams->calcAutoSett == kBZ_RnAutoSettStage2) return noErr;
  BZ_RnDlgTaskData *dlg = gBZ.dlgTaskData.rnDlgTaskData;
  if (dlg == nullptr) return paramErr;
  const BZ_RnFilterKind kind = BZ_RnGetFilterKind(rnParams->sett);
  const SInt32 n = std::clamp<SInt32>(BZ_GetNumSelectedMovieSamples(), 0, kBZ_NumTestFrames);
  float *const *spectra = SpectraOf(rnParams, kind);
  float *eqLevels = EqLevelsOf(dlg, kind);
  OSStatus result = noErr;
  for (int c = 0; c < 3; ++c) {
    const float *samples = gBZ.dlgTaskData.noiseLevel[c];
    Boolean outliers[kBZ_NumTestFrames] = {};
    SInt32 finite = 0;
    for (SInt32 s = 0; s < n; ++s) finite += std::isfinite(samples[s]) ? 1 : 0;
    float level = 0.0f, spread = 0.0f;
    if (finite > 0) level = GL_GetAverageNoOutliers(samples, n, &spread, outliers);
    // Averaging the spectra needs a kept sample; without one (or without a finite level) the channel keeps
    // what it had, and the spectrum rows the measurement wrote over are put back.
    bool measured = finite > 0 && std::isfinite(level);
    if (measured && spectra != nullptr) {
      measured = BZ_CalcAverageNoiseSpectrum(n, outliers, spectra[c], SpectrumSize(kind, c));
      if (measured && kind == kBZ_Rn2DKind)
        BZ_CalcAverageNoiseSpectrum(n, outliers, rnParams->noiseSpectr2Dadd[c], AddSpectrumSize(kind, c));
    }
    const float measuredLevel = level;
    if (!measured) {
      std::printf("KBZ: reduce noise: the noise of channel %s could not be measured; settings kept\n", kChannelNames[c]);
      if (spectra != nullptr && rnParams->savedSpectra != nullptr) {
        std::memcpy(spectra[c], SavedRow(rnParams, kind, c, false), sizeof(float) * size_t(SpectrumSize(kind, c)));
        if (kind == kBZ_Rn2DKind)
          std::memcpy(rnParams->noiseSpectr2Dadd[c], SavedRow(rnParams, kind, c, true),
                      sizeof(float) * size_t(AddSpectrumSize(kind, c)));
      }
      continue;
    }
    // The settings take levels up to 40; a noisier source is filtered at that level (its spectrum keeps
    // the measured one as equalisation level) instead of failing the next run's validation.
    level = std::min(level, kMaxSettingsLevel);
    rnParams->sett->noiseLevel[c] = level;
    if (eqLevels != nullptr) eqLevels[c] = measuredLevel;
    const OSStatus err = BZ_SendSetValueInDialogEvent(level, SInt16(kBZ_RnNoiseLevelItemY + c));
    if (result == noErr) result = err;
  }
  const OSStatus err = BZ_SendDrawNoiseSpectrEvent(rnParams);
  return result != noErr ? result : err;
}
