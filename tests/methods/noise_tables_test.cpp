// Random-noise tables and the noise model.
#include "methods/noise_tables.h"

#include "engine/runtime/engine_host.h"
#include "rn_test_params.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

using bz_test::RnTestParams;

// The four tables and the first-row/column bins, built on this thread from a fixed seed.
struct Tables {
  float t8[4], t16[8], t64[16], t256[64], add64[8], add256[16];
};

void BuildTables(RnTestParams &t, Tables *tables) {
  BZ_RnParams &p = t.params;
  p.randomPowerTable8 = tables->t8;
  p.randomPowerTable16 = tables->t16;
  p.randomPowerTable64 = tables->t64;
  p.randomPowerTable256 = tables->t256;
  p.randomPowerTable64add = tables->add64;
  p.randomPowerTable256add = tables->add256;
  srandom(12345);
  BZ_RnCreate1DRandomPowerTable8(&p);
  BZ_RnCreate1DRandomPowerTable16(&p);
  BZ_RnCreate2DRandomPowerTable64(&p);
  BZ_RnCreate2DRandomPowerTable256(&p);
}

float Mean(const float *v, int n) { return std::accumulate(v, v + n, 0.0f) / float(n); }

TEST(RnRandomTables, SamplesStayWithinTheAmplitude) {
  std::vector<UInt8> samples(100000);
  srandom(7);
  BZ_RnMakeRandomSamples(samples.data(), SInt32(samples.size()));
  const auto [lo, hi] = std::minmax_element(samples.begin(), samples.end());
  EXPECT_EQ(*lo, 89);
  EXPECT_EQ(*hi, 167);
}

TEST(RnRandomTables, MeansMatchUniformNoiseOfAmplitude39) {
  RnTestParams t;
  Tables tables{};
  BuildTables(t, &tables);
  // Every bin holds about the noise power through the window; bin 1 (the lowest frequency) loses what the
  // removed mean took away.
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(tables.t8[i], i == 1 ? 1405 : 1686, 0.05 * 1686) << "bin " << i;
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(tables.t16[i], i == 1 ? 2651 : 3181, 0.05 * 3181) << "bin " << i;
  EXPECT_NEAR(Mean(tables.t64, 16), 5466, 0.05 * 5466);
  EXPECT_NEAR(Mean(tables.t256, 64), 19457, 0.05 * 19457);
  for (float v : tables.t64) EXPECT_NEAR(v, 5466, 0.05 * 5466);
  for (float v : tables.t256) EXPECT_NEAR(v, 19457, 0.05 * 19457);
  EXPECT_EQ(*std::min_element(tables.t64, tables.t64 + 16), tables.t64[1 * 4 + 1]) << "bin (1, 1) is the lowest";
  EXPECT_EQ(*std::min_element(tables.t256, tables.t256 + 64), tables.t256[1 * 8 + 1]);
  // The noise is the same in both directions, so the first row's bins match the first column's.
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(tables.add64[i], tables.add64[4 + i], 0.08 * tables.add64[i]) << i;
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(tables.add256[i], tables.add256[8 + i], 0.08 * tables.add256[i]) << i;
  for (int i = 2; i < 4; ++i) EXPECT_NEAR(tables.add64[i], 5466, 0.05 * 5466) << "a cosine-sine bin of row 0";
}

TEST(RnNoisePower, EqualSamplesGiveZeroBins) {
  RnTestParams t;
  for (UInt8 value : {UInt8(0), UInt8(128), UInt8(255)}) {
    UInt8 block[256];
    std::memset(block, value, sizeof block);
    float bins[64], add[16], av = -1;
    std::fill_n(bins, 64, -1.0f);
    BZ_RnCalcNoisePower8(t.params.M8, block, bins, &av);
    EXPECT_EQ(av, float(value));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(bins[i], 0.0f);
    BZ_RnCalcNoisePower16(t.params.M16, block, bins, &av);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(bins[i], 0.0f);
    BZ_RnCalcNoisePower64(t.params.M8, block, bins, &av, add);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bins[i], 0.0f);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(add[i], 0.0f);
    BZ_RnCalcNoisePower256(t.params.M16, block, bins, &av, add);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(bins[i], 0.0f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(add[i], 0.0f);
  }
}

TEST(RnNoisePower, TransposedBlockSwapsRowAndColumnBins) {
  // Rows and columns are transformed alike, so transposing the block transposes its groups and swaps the
  // first row's bins with the first column's.
  RnTestParams t;
  srandom(3);
  UInt8 block[256], transposed[256];
  BZ_RnMakeRandomSamples(block, 256);
  for (int n : {8, 16}) {
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c) transposed[c * n + r] = block[r * n + c];
    float bins[64], binsT[64], add[16], addT[16], av = 0;
    if (n == 8) {
      BZ_RnCalcNoisePower64(t.params.M8, block, bins, &av, add);
      BZ_RnCalcNoisePower64(t.params.M8, transposed, binsT, &av, addT);
    } else {
      BZ_RnCalcNoisePower256(t.params.M16, block, bins, &av, add);
      BZ_RnCalcNoisePower256(t.params.M16, transposed, binsT, &av, addT);
    }
    const int h = n / 2;
    for (int i = 0; i < h; ++i) {
      EXPECT_NEAR(add[i], addT[h + i], 1e-3 * (add[i] + 1)) << n << ": first-row bin " << i;
      EXPECT_NEAR(add[h + i], addT[i], 1e-3 * (add[h + i] + 1)) << n << ": first-column bin " << i;
    }
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < h; ++c)
        EXPECT_NEAR(bins[r * h + c], binsT[c * h + r], 1e-3 * (bins[r * h + c] + 1)) << n << ": group " << r << c;
  }
}

// The model of each filter kind, manual and automatic, against the tables it scales.
class RnNoiseModel : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildTables(t_, &tables_);
    previous_ = gBZ.dlgTaskData.rnDlgTaskData;
    gBZ.dlgTaskData.rnDlgTaskData = &rn_;
    for (int c = 0; c < 3; ++c) {
      t_.params.noiseSpectr16H[c] = spectrum_[c];
      t_.params.noiseSpectr16V[c] = spectrum_[c];
      t_.params.noiseSpectr2D[c] = spectrum_[c];
      t_.params.noiseSpectr2Dadd[c] = spectrum_[c];
      for (int i = 0; i < 64; ++i) spectrum_[c][i] = float(100 * c + i + 1);
    }
    t_.params.sett = &sett_;
    sett_.horizontal = sett_.vertical = true;
    Poison();
  }
  void TearDown() override { gBZ.dlgTaskData.rnDlgTaskData = previous_; }
  void Poison() {
    for (float **model : {t_.params.nn16H, t_.params.nn16V, t_.params.nn2D, t_.params.nn2Dadd})
      for (int c = 0; c < 3; ++c) std::fill_n(model[c], c == 0 && model == t_.params.nn2D ? 64 : 8, -7.0f);
  }
  void ExpectScaled(const float *model, const float *source, int n, float f, const char *what) {
    for (int i = 0; i < n; ++i) EXPECT_FLOAT_EQ(model[i], source[i] * f) << what << " bin " << i;
  }

  RnTestParams t_;
  Tables tables_{};
  BZ_RnDlgTaskData rn_{};
  BZ_RnDlgTaskData *previous_ = nullptr;
  BZ_Rn_Sett sett_{};
  float spectrum_[3][64];
};

TEST_F(RnNoiseModel, ManualLevelScalesTheRandomTablesSquared) {
  for (float level : {39.0f, 18.0f, 0.0f}) {
    sett_.noiseLevel[0] = level;
    sett_.noiseLevel[1] = sett_.noiseLevel[2] = level / 2;
    const float fy = (level / 39) * (level / 39), fc = (level / 78) * (level / 78);
    BZ_RnCreateNoiseTablesH(&t_.params);
    BZ_RnCreateNoiseTablesV(&t_.params);
    BZ_RnCreateNoiseTables2D(&t_.params);
    ExpectScaled(t_.params.nn16H[0], tables_.t16, 8, fy, "16H Y");
    ExpectScaled(t_.params.nn16H[1], tables_.t8, 4, fc, "16H Cb");
    ExpectScaled(t_.params.nn16V[2], tables_.t16, 8, fc, "16V Cr");
    ExpectScaled(t_.params.nn2D[0], tables_.t256, 64, fy, "2D Y");
    ExpectScaled(t_.params.nn2D[1], tables_.t64, 16, fc, "2D Cb");
    // The first row and column are written in manual mode too.
    ExpectScaled(t_.params.nn2Dadd[0], tables_.add256, 16, fy, "2Dadd Y");
    ExpectScaled(t_.params.nn2Dadd[2], tables_.add64, 8, fc, "2Dadd Cr");
  }
  EXPECT_EQ(t_.params.nn2D[0][5], 0.0f) << "level 0 subtracts nothing";
}

TEST_F(RnNoiseModel, AutomaticScalesTheMeasuredSpectrumLinearly) {
  sett_.automatic = true;
  sett_.noiseLevel[0] = 6;
  sett_.noiseLevel[1] = 3;
  sett_.noiseLevel[2] = 2;
  rn_.eqNoiseLevel16H[0] = 3;      // f = 2
  rn_.eqNoiseLevel16H[1] = 0.005f;  // below 0.01: unscaled
  rn_.eqNoiseLevel16H[2] = 4;      // f = 0.5
  rn_.eqNoiseLevel2D[0] = 12;      // f = 0.5
  BZ_RnCreateNoiseTablesH(&t_.params);
  BZ_RnCreateNoiseTables2D(&t_.params);
  ExpectScaled(t_.params.nn16H[0], spectrum_[0], 8, 2.0f, "16H Y");
  ExpectScaled(t_.params.nn16H[1], spectrum_[1], 4, 1.0f, "16H Cb");
  ExpectScaled(t_.params.nn16H[2], spectrum_[2], 4, 0.5f, "16H Cr");
  ExpectScaled(t_.params.nn2D[0], spectrum_[0], 64, 0.5f, "2D Y");
  ExpectScaled(t_.params.nn2Dadd[0], spectrum_[0], 16, 0.5f, "2Dadd Y");
}

TEST_F(RnNoiseModel, CalcNoiseModelFillsOnlyTheSelectedFiltersModel) {
  struct Case {
    bool horizontal, vertical;
    bool h, v, twoD;
  };
  const Case cases[] = {{true, true, false, false, true},
                        {true, false, true, false, false},
                        {false, true, false, true, false},
                        {false, false, false, false, false}};
  sett_.noiseLevel[0] = sett_.noiseLevel[1] = sett_.noiseLevel[2] = 39;
  for (const Case &c : cases) {
    Poison();
    sett_.horizontal = c.horizontal;
    sett_.vertical = c.vertical;
    BZ_RnCalcNoiseModel(&t_.params);
    EXPECT_EQ(t_.params.nn16H[0][0] != -7.0f, c.h) << c.horizontal << c.vertical;
    EXPECT_EQ(t_.params.nn16V[0][0] != -7.0f, c.v) << c.horizontal << c.vertical;
    EXPECT_EQ(t_.params.nn2D[0][0] != -7.0f, c.twoD) << c.horizontal << c.vertical;
    EXPECT_EQ(t_.params.nn2Dadd[0][0] != -7.0f, c.twoD) << c.horizontal << c.vertical;
  }
}

TEST(RnNoiseTablesTask, BuildsEveryTableThenRaisesTheReadyFlags) {
  BZ_RnDlgTaskData *previous = gBZ.dlgTaskData.rnDlgTaskData;
  BZ_RnDlgTaskData rn{};
  gBZ.dlgTaskData.rnDlgTaskData = &rn;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_ProjDlgState *state = host->getDialogStatePtr(host->refCon);
  state->noiseTablesReady[1] = state->noiseTablesReady[2] = false;
  EXPECT_EQ(BZ_CreateNoiseTables(nullptr), paramErr) << "no storage carved";
  EXPECT_FALSE(state->noiseTablesReady[1]);

  ASSERT_EQ(BZ_InitVectorFloatStorage(&gBZ.dlgTaskData), noErr);
  BZ_RnSetNoiseTablesSeed(true, 99);
  ASSERT_EQ(BZ_CreateNoiseTables(nullptr), noErr);
  EXPECT_TRUE(state->noiseTablesReady[1]);
  EXPECT_TRUE(state->noiseTablesReady[2]);
  std::vector<float> first(rn.randomPowerTable8, rn.randomPowerTable8 + 92);
  for (float v : first) EXPECT_GT(v, 1000.0f);
  for (float v : rn.randomPowerTable256add) EXPECT_GT(v, 1000.0f);
  ASSERT_EQ(BZ_CreateNoiseTables(nullptr), noErr);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), rn.randomPowerTable8)) << "a seeded build repeats";
  BZ_RnSetNoiseTablesSeed(false, 0);

  MPFree(rn.randomPowerTable8);
  gBZ.dlgTaskData.rnDlgTaskData = previous;
}

}  // namespace
