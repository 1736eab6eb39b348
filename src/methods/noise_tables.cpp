// Random-noise tables and the noise model.
#include "methods/noise_tables.h"

#include "engine/runtime/engine_host.h"
#include "methods/spectral_windows.h"
#include "platform/core/multiprocessing.h"
#include "platform/core/vector_matrix.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex gSeedLock;
bool gUseSeed = false;
UInt32 gSeed = 0;

// The generator of one table build: the process's random(), or a private seeded state for tests.
struct RandomSource {
  bool own = false;
  random_data state{};
  char stateBytes[64]{};

  RandomSource() {
    std::lock_guard<std::mutex> lock(gSeedLock);
    if (gUseSeed) {
      own = true;
      initstate_r(gSeed, stateBytes, sizeof stateBytes, &state);
    }
  }
  long Next() {
    if (!own) return random();
    int32_t value = 0;
    random_r(&state, &value);
    return value;
  }
};

thread_local RandomSource *gSource = nullptr;  // this thread's table generator while it builds

void FillRandom(UInt8 *samples, int n) { BZ_RnMakeRandomSamples(samples, n); }

template <int N>
void CalcNoisePower1D(const float *M, const UInt8 *noise, float *bins, float *av) {
  SInt32 sum = 0;
  for (int s = 0; s < N; ++s) sum += noise[s];
  const float mean = float(sum) / float(N);
  float c[N];
  c[0] = 0.0f;
  for (int j = 1; j < N; ++j) {
    float acc = 0.0f;
    for (int s = 0; s < N; ++s) acc += (float(noise[s]) - mean) * M[j * N + s];
    c[j] = acc;
  }
  for (int i = 0; i < N / 2; ++i) bins[i] = c[2 * i] * c[2 * i] + c[2 * i + 1] * c[2 * i + 1];
  if (av != nullptr) *av = mean;
}

template <int N>
void CalcNoisePower2D(const float *M, const UInt8 *noise, float *bins, float *av, float *addNoise,
                      void (*matVec)(const float *, const float *, float *),
                      void (*matMat)(const float *, const float *, float *)) {
  SInt32 sum = 0;
  for (int s = 0; s < N * N; ++s) sum += noise[s];
  const float mean = float(sum) / float(N * N);
  float block[N * N], rows[N * N], S[N * N];
  for (int s = 0; s < N * N; ++s) block[s] = float(noise[s]) - mean;
  for (int i = 0; i < N; ++i) matVec(M, block + i * N, rows + i * N);
  matMat(M, rows, S);
  if (addNoise != nullptr)
    for (int i = 0; i < N / 2; ++i) {
      addNoise[i] = S[2 * i] * S[2 * i] + S[2 * i + 1] * S[2 * i + 1];
      addNoise[N / 2 + i] = S[2 * i * N] * S[2 * i * N] + S[(2 * i + 1) * N] * S[(2 * i + 1) * N];
    }
  for (int i = 0; i < N; ++i) S[i] = S[i * N] = 0.0f;
  for (int r = 0; r < N / 2; ++r)
    for (int c = 0; c < N / 2; ++c) {
      const float *g = S + 2 * r * N + 2 * c;
      bins[r * (N / 2) + c] = g[0] * g[0] + g[1] * g[1] + g[N] * g[N] + g[N + 1] * g[N + 1];
    }
  if (av != nullptr) *av = mean;
}

// Accumulates the bins (and additional bins) of `count` random vectors or blocks and stores their means.
template <int Samples, int Bins, int AddBins, typename Power>
void CreateRandomTable(float *table, float *addTable, Power power) {
  if (table == nullptr) return;
  float acc[Bins] = {}, addAcc[AddBins > 0 ? AddBins : 1] = {};
  UInt8 samples[Samples];
  float bins[Bins], addBins[AddBins > 0 ? AddBins : 1];
  for (SInt32 n = 0; n < kBZ_RnRandomTableCount; ++n) {
    FillRandom(samples, Samples);
    power(samples, bins, addTable != nullptr ? addBins : nullptr);
    for (int i = 0; i < Bins; ++i) acc[i] += bins[i];
    if (addTable != nullptr)
      for (int i = 0; i < AddBins; ++i) addAcc[i] += addBins[i];
  }
  for (int i = 0; i < Bins; ++i) table[i] = acc[i] / float(kBZ_RnRandomTableCount);
  if (addTable != nullptr)
    for (int i = 0; i < AddBins; ++i) addTable[i] = addAcc[i] / float(kBZ_RnRandomTableCount);
}

// One channel's model: the source bins scaled by f.
void Scale(float *model, const float *source, int bins, float f) {
  if (model == nullptr) return;
  if (source == nullptr) {
    std::memset(model, 0, sizeof(float) * size_t(bins));
    return;
  }
  for (int i = 0; i < bins; ++i) model[i] = source[i] * f;
}

float ManualFactor(float level) {
  const float r = level / float(kBZ_RnRandomAmplitude);
  return r * r;
}

float AutomaticFactor(float level, float eqLevel) { return eqLevel < 0.01f ? 1.0f : level / eqLevel; }

const BZ_RnDlgTaskData *RnDlgTaskData() { return gBZ.dlgTaskData.rnDlgTaskData; }

// The equalisation levels of one filter kind, or zeros when there is no analysis data.
const float *EqLevels(float (BZ_RnDlgTaskData::*field)[3]) {
  static const float kNone[3] = {0, 0, 0};
  const BZ_RnDlgTaskData *d = RnDlgTaskData();
  return d != nullptr ? d->*field : kNone;
}

}  // namespace

void BZ_RnMakeRandomSamples(UInt8 *samples, SInt32 count) {
  for (SInt32 i = 0; i < count; ++i) {
    const long r = gSource != nullptr ? gSource->Next() : random();
    samples[i] = UInt8(128 + (r % (2 * kBZ_RnRandomAmplitude + 1)) - kBZ_RnRandomAmplitude);
  }
}

void BZ_RnSetNoiseTablesSeed(Boolean useSeed, UInt32 seed) {
  std::lock_guard<std::mutex> lock(gSeedLock);
  gUseSeed = useSeed;
  gSeed = seed;
}

OSStatus BZ_CreateNoiseTablesTask() {
  // The tables live in the analysis float storage: carve it first (once; it stays for the program's life).
  OSStatus err = BZ_InitVectorFloatStorage(&gBZ.dlgTaskData);
  if (err != noErr) return err;
  MPQueueID queue = nullptr;
  err = MPCreateQueue(&queue);
  if (err != noErr) return err;
  MPTaskID task = nullptr;
  err = MPCreateTask(BZ_CreateNoiseTables, nullptr, 524288, queue, nullptr, nullptr, 0, &task);
  if (err != noErr) MPDeleteQueue(queue);
  return err;
}

OSStatus BZ_CreateNoiseTables(void *) {
  BZ_RnDlgTaskData *d = gBZ.dlgTaskData.rnDlgTaskData;
  if (d == nullptr || d->randomPowerTable8 == nullptr) return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);

  // Windows (1376 bytes) and room for a model (960), as a run's storage has them.
  float *storage = static_cast<float *>(
      MPAllocateAligned(kBZ_RnWindowBytes + 960, kMPAllocate16ByteAligned, kMPAllocateClearMask));
  if (storage == nullptr) return memFullErr;
  BZ_RnParams params{};
  params.window8 = storage;
  params.window16 = params.window8 + 8;
  params.window64 = params.window16 + 16;
  params.window256 = params.window64 + 64;
  BZ_RnFillInWindows(&params);
  OSStatus err = BZ_RnInitM16(&params);
  if (err == noErr) err = BZ_RnInitM8(&params);
  if (err != noErr) {
    BZ_RnDisposeBases(&params);
    MPFree(storage);
    return err;
  }
  RandomSource source;
  gSource = &source;

  params.randomPowerTable8 = d->randomPowerTable8;
  params.randomPowerTable16 = d->randomPowerTable16;
  BZ_RnCreate1DRandomPowerTable8(&params);
  BZ_RnCreate1DRandomPowerTable16(&params);
  dlgState->noiseTablesReady[1].store(true, std::memory_order_release);

  params.randomPowerTable64 = d->randomPowerTable64;
  params.randomPowerTable256 = d->randomPowerTable256;
  params.randomPowerTable64add = d->randomPowerTable64add;
  params.randomPowerTable256add = d->randomPowerTable256add;
  BZ_RnCreate2DRandomPowerTable64(&params);
  BZ_RnCreate2DRandomPowerTable256(&params);
  dlgState->noiseTablesReady[2].store(true, std::memory_order_release);

  gSource = nullptr;
  BZ_RnDisposeBases(&params);
  MPFree(storage);
  return noErr;
}

void BZ_RnCreate1DRandomPowerTable8(BZ_RnParams *rnParams) {
  const float *M = rnParams->M8;
  CreateRandomTable<8, 4, 0>(rnParams->randomPowerTable8, nullptr,
                             [M](const UInt8 *s, float *b, float *) { BZ_RnCalcNoisePower8(M, s, b, nullptr); });
}

void BZ_RnCreate1DRandomPowerTable16(BZ_RnParams *rnParams) {
  const float *M = rnParams->M16;
  CreateRandomTable<16, 8, 0>(rnParams->randomPowerTable16, nullptr,
                              [M](const UInt8 *s, float *b, float *) { BZ_RnCalcNoisePower16(M, s, b, nullptr); });
}

void BZ_RnCreate2DRandomPowerTable64(BZ_RnParams *rnParams) {
  const float *M = rnParams->M8;
  CreateRandomTable<64, 16, 8>(rnParams->randomPowerTable64, rnParams->randomPowerTable64add,
                               [M](const UInt8 *s, float *b, float *a) { BZ_RnCalcNoisePower64(M, s, b, nullptr, a); });
}

void BZ_RnCreate2DRandomPowerTable256(BZ_RnParams *rnParams) {
  const float *M = rnParams->M16;
  CreateRandomTable<256, 64, 16>(
      rnParams->randomPowerTable256, rnParams->randomPowerTable256add,
      [M](const UInt8 *s, float *b, float *a) { BZ_RnCalcNoisePower256(M, s, b, nullptr, a); });
}

void BZ_RnCalcNoisePower8(const float *M8, const UInt8 *noise, float *nn8, float *av) {
  CalcNoisePower1D<8>(M8, noise, nn8, av);
}

void BZ_RnCalcNoisePower16(const float *M16, const UInt8 *noise, float *nn16, float *av) {
  CalcNoisePower1D<16>(M16, noise, nn16, av);
}

void BZ_RnCalcNoisePower64(const float *M8, const UInt8 *noise, float *nn64, float *av, float *addNoise) {
  CalcNoisePower2D<8>(M8, noise, nn64, av, addNoise, sMultMatVec_8x8, sMultMatMat_8x8);
}

void BZ_RnCalcNoisePower256(const float *M16, const UInt8 *noise, float *nn256, float *av, float *addNoise) {
  CalcNoisePower2D<16>(M16, noise, nn256, av, addNoise, sMultMatVec_16x16, sMultMatMat_16x16);
}

void BZ_RnCalcNoiseModel(BZ_RnParams *rnParams) {
  const BZ_Rn_Sett *sett = rnParams->sett;
  if (sett == nullptr) return;
  if (sett->horizontal && sett->vertical)
    BZ_RnCreateNoiseTables2D(rnParams);
  else if (sett->horizontal)
    BZ_RnCreateNoiseTablesH(rnParams);
  else if (sett->vertical)
    BZ_RnCreateNoiseTablesV(rnParams);
}

void BZ_RnCreateNoiseTablesH(BZ_RnParams *rnParams) {
  const BZ_Rn_Sett *sett = rnParams->sett;
  const float *eq = EqLevels(&BZ_RnDlgTaskData::eqNoiseLevel16H);
  for (int c = 0; c < 3; ++c) {
    const int bins = c == 0 ? 8 : 4;
    if (sett->automatic)
      Scale(rnParams->nn16H[c], rnParams->noiseSpectr16H[c], bins, AutomaticFactor(sett->noiseLevel[c], eq[c]));
    else
      Scale(rnParams->nn16H[c], c == 0 ? rnParams->randomPowerTable16 : rnParams->randomPowerTable8, bins,
            ManualFactor(sett->noiseLevel[c]));
  }
}

void BZ_RnCreateNoiseTablesV(BZ_RnParams *rnParams) {
  const BZ_Rn_Sett *sett = rnParams->sett;
  const float *eq = EqLevels(&BZ_RnDlgTaskData::eqNoiseLevel16V);
  for (int c = 0; c < 3; ++c) {
    if (sett->automatic)
      Scale(rnParams->nn16V[c], rnParams->noiseSpectr16V[c], 8, AutomaticFactor(sett->noiseLevel[c], eq[c]));
    else
      Scale(rnParams->nn16V[c], rnParams->randomPowerTable16, 8, ManualFactor(sett->noiseLevel[c]));
  }
}

void BZ_RnCreateNoiseTables2D(BZ_RnParams *rnParams) {
  const BZ_Rn_Sett *sett = rnParams->sett;
  const float *eq = EqLevels(&BZ_RnDlgTaskData::eqNoiseLevel2D);
  for (int c = 0; c < 3; ++c) {
    const int bins = c == 0 ? 64 : 16, addBins = c == 0 ? 16 : 8;
    if (sett->automatic) {
      const float f = AutomaticFactor(sett->noiseLevel[c], eq[c]);
      Scale(rnParams->nn2D[c], rnParams->noiseSpectr2D[c], bins, f);
      Scale(rnParams->nn2Dadd[c], rnParams->noiseSpectr2Dadd[c], addBins, f);
    } else {
      // The first row and column get their random bins too: left unwritten they would keep zeros or an
      // earlier automatic run's values, and the preview would not match the run.
      const float f = ManualFactor(sett->noiseLevel[c]);
      Scale(rnParams->nn2D[c], c == 0 ? rnParams->randomPowerTable256 : rnParams->randomPowerTable64, bins, f);
      Scale(rnParams->nn2Dadd[c], c == 0 ? rnParams->randomPowerTable256add : rnParams->randomPowerTable64add,
            addBins, f);
    }
  }
}
