#include "engine/runtime/method_settings.h"

#include "engine/runtime/project_types.h"
#include "engine/runtime/settings_fields.h"
#include "general/cf_encodings.h"
#include "platform/core/cf_array.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_number.h"
#include "support/engine_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstddef>
#include <string>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool RectIs(const Rect &r, SInt16 top, SInt16 left, SInt16 bottom, SInt16 right) {
  return r.top == top && r.left == left && r.bottom == bottom && r.right == right;
}

using bz_test::RectText;

// Each method's dictionary written and read back into a record that started at other values.
BZ_CleaninSett ThroughDictionaries(const BZ_CleaninSett &in, const BZ_StatMovInfo *statMovInfo) {
  BZ_CleaninSett out{};
  out.noiseRed.noiseLevel[0] = out.noiseRed.noiseLevel[1] = out.noiseRed.noiseLevel[2] = 1.0f;
  PL_CFScoped<CFDictionaryRef> av(BZ_CreateAvSettDict(&in.average));
  PL_CFScoped<CFDictionaryRef> nr(BZ_CreateNrSettDict(&in.noiseRed));
  PL_CFScoped<CFDictionaryRef> rl(BZ_CreateRlSettDict(&in.removeLogo));
  PL_CFScoped<CFDictionaryRef> cl(BZ_CreateClSettDict(&in.crossLuma));
  PL_CFScoped<CFDictionaryRef> vb(BZ_CreateVarBrSettDict(&in.varBr));
  PL_CFScoped<CFDictionaryRef> ou(BZ_CreateOuSettDict(&in.ou));
  BZ_GetAvPrefsFromDict(av, &out.average);
  BZ_GetNrPrefsFromDict(statMovInfo, nr, &out.noiseRed);
  BZ_GetRlPrefsFromDict(rl, &out.removeLogo);
  BZ_GetClPrefsFromDict(cl, &out.crossLuma);
  BZ_GetVarBrPrefsFromDict(vb, &out.varBr);
  BZ_GetOuPrefsFromDict(ou, &out.ou);
  return out;
}

TEST(EngineMethodSettings, EveryMethodRoundTripsThroughItsDictionary) {
  bz_test::CurrentProject project;
  bz_test::DescribeSource(project.statMovInfo(), 0, 480, 720, 500);
  const BZ_CleaninSett in = bz_test::NonDefaultCleaning();
  bz_test::ExpectSameCleaning(in, ThroughDictionaries(in, project.statMovInfo()));
}

// What a new method's table must get right: one key per field, defaults that pass their own validation and
// equal themselves, and a dictionary that reads back into the same record.
TEST(EngineMethodSettings, EveryTableIsConsistent) {
  bz_test::CurrentProject project;
  const BZ_SettRecordDescr *tables[] = {&kBZ_AvSettDescr, &kBZ_NrSettDescr, &kBZ_RlSettDescr,
                                        &kBZ_ClSettDescr, &kBZ_VarBrSettDescr, &kBZ_OuSettDescr};
  for (const BZ_SettRecordDescr *t : tables) {
    SCOPED_TRACE(t->logHeading != nullptr ? t->logHeading : "varying brightness");
    std::vector<std::max_align_t> record((t->recordSize + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
    BZ_MakeDefaultSettRecord(*t, nullptr, record.data());
    EXPECT_TRUE(BZ_ValidateSettRecord(*t, nullptr, record.data(), false));
    EXPECT_TRUE(BZ_SettRecordEqualDefault(*t, nullptr, record.data()));
    PL_CFScoped<CFDictionaryRef> dict(BZ_CreateSettRecordDict(*t, record.data()));
    EXPECT_EQ(size_t(CFDictionaryGetCount(dict)), t->numFields) << "a key is used twice";
    for (size_t i = 0; i < t->numFields; ++i) {
      const BZ_SettField &f = t->fields[i];
      if (f.checked && !std::isnan(f.def)) {
        EXPECT_TRUE(f.def >= f.lo && f.def <= f.hi) << f.key;
      }
    }
    std::vector<std::max_align_t> back(record.size());
    BZ_GetSettRecordFromDict(*t, nullptr, dict, back.data());
    EXPECT_TRUE(BZ_EqualSettRecords(*t, record.data(), back.data()));
  }
}

TEST(EngineMethodSettings, DefaultsAndEqualityWithDefaults) {
  bz_test::CurrentProject project;
  BZ_StatMovInfo *movies = project.statMovInfo();
  BZ_CleaninSett c{};

  BZ_MakeDefaultAvSett(movies, &c.average);
  EXPECT_FALSE(c.average.apply) << "apply stays without a second movie";
  bz_test::DescribeSource(movies, 0, 576, 720, 250);
  bz_test::DescribeSource(movies, 1, 576, 720, 250);
  BZ_MakeDefaultAvSett(movies, &c.average);
  EXPECT_TRUE(c.average.apply) << "a second movie makes averaging apply";
  EXPECT_TRUE(BZ_AvSettEqualDefault(movies, &c.average));
  c.average.apply = false;
  EXPECT_FALSE(BZ_AvSettEqualDefault(movies, &c.average)) << "apply counts for averaging";
  c.average.apply = true;
  c.average.weight = 0.50005;
  EXPECT_TRUE(BZ_AvSettEqualDefault(movies, &c.average)) << "reals equal within 0.0001";
  c.average.weight = 0.5002;
  EXPECT_FALSE(BZ_AvSettEqualDefault(movies, &c.average));

  BZ_MakeDefaultNrSett(movies, &c.noiseRed);
  EXPECT_FLOAT_EQ(c.noiseRed.noiseLevel[0], 5.0f);
  EXPECT_EQ(c.noiseRed.endFrame, 250);
  EXPECT_TRUE(RectIs(c.noiseRed.selRect, 16, 16, 560, 704)) << RectText(c.noiseRed.selRect);
  c.noiseRed.selRect = Rect{0, 0, 8, 8};
  c.noiseRed.apply = !c.noiseRed.apply;
  EXPECT_TRUE(BZ_NrSettEqualDefault(movies, &c.noiseRed)) << "neither selRect nor apply is compared";
  BZ_RnDlgTaskData rn{};
  rn.eqNoiseLevel2D[0] = 3.5f;
  rn.eqNoiseLevel2D[1] = 0.05f;  // not measured
  rn.eqNoiseLevel2D[2] = 9.0f;
  gBZ.dlgTaskData.rnDlgTaskData = &rn;
  EXPECT_FALSE(BZ_NrSettEqualDefault(movies, &c.noiseRed)) << "measured levels become the defaults";
  BZ_MakeDefaultNrSett(movies, &c.noiseRed);
  EXPECT_FLOAT_EQ(c.noiseRed.noiseLevel[0], 3.5f);
  EXPECT_FLOAT_EQ(c.noiseRed.noiseLevel[1], 5.0f);
  EXPECT_FLOAT_EQ(c.noiseRed.noiseLevel[2], 9.0f);

  BZ_MakeDefaultNrSett(nullptr, &c.noiseRed);
  EXPECT_EQ(c.noiseRed.endFrame, 1000);
  EXPECT_TRUE(RectIs(c.noiseRed.selRect, 16, 16, 464, 704)) << "720 x 480 without a source";

  BZ_MakeDefaultRlSett(&c.removeLogo);
  EXPECT_TRUE(BZ_RlSettEqualDefault(&c.removeLogo));
  c.removeLogo.logoRect.left = 41;
  EXPECT_FALSE(BZ_RlSettEqualDefault(&c.removeLogo));

  BZ_MakeDefaultClSett(&c.crossLuma);
  EXPECT_TRUE(BZ_ClSettEqualDefault(&c.crossLuma));
  c.crossLuma.maxStddev = 26;
  EXPECT_FALSE(BZ_ClSettEqualDefault(&c.crossLuma));

  BZ_MakeDefaultOuSett(&c.ou);
  EXPECT_TRUE(BZ_OuSettEqualDefault(&c.ou));
  BZ_OuSett other = c.ou;
  other.apply = !other.apply;
  other.scratchWidth += 0.00005f;
  EXPECT_TRUE(BZ_EqualOuSett(&c.ou, &other));
  other.minDiff = 31;
  EXPECT_FALSE(BZ_EqualOuSett(&c.ou, &other));
}

TEST(EngineMethodSettings, ValidatorsCorrectToTheNearerBound) {
  bz_test::CurrentProject project;
  bz_test::DescribeSource(project.statMovInfo(), 0, 480, 720, 300);

  BZ_Av_Sett av{false, 9.5, -0.2, true, false};
  BZ_Av_Sett untouched = av;
  EXPECT_FALSE(BZ_AvValidateSett(&untouched, false));
  EXPECT_DOUBLE_EQ(untouched.shift, 9.5) << "without correcting the record stays";
  EXPECT_FALSE(BZ_AvValidateSett(&av, true));
  EXPECT_DOUBLE_EQ(av.shift, 8.0);
  EXPECT_DOUBLE_EQ(av.weight, 0.0);
  EXPECT_TRUE(BZ_AvValidateSett(&av, false));

  BZ_Rn_Sett nr{};
  BZ_MakeDefaultNrSett(project.statMovInfo(), &nr);
  nr.noiseLevel[0] = 45;
  nr.noiseLevel[1] = 3;
  nr.noiseLevel[2] = -1;
  nr.temporal = true;
  nr.horizontal = nr.vertical = false;
  nr.startFrame = 400;
  nr.endFrame = 900;
  EXPECT_FALSE(BZ_NrValidateSett(project.statMovInfo(), &nr, true));
  EXPECT_FLOAT_EQ(nr.noiseLevel[0], 40);
  EXPECT_FLOAT_EQ(nr.noiseLevel[1], 3);
  EXPECT_FLOAT_EQ(nr.noiseLevel[2], 0);
  EXPECT_FALSE(nr.temporal);
  EXPECT_TRUE(nr.horizontal && nr.vertical);
  EXPECT_EQ(nr.startFrame, 300);
  EXPECT_EQ(nr.endFrame, 300);
  EXPECT_TRUE(BZ_NrValidateSett(project.statMovInfo(), &nr, false));
  nr.endFrame = 5000;  // a longer movie's range: shortened, but not a fault
  EXPECT_TRUE(BZ_NrValidateSett(project.statMovInfo(), &nr, true));
  EXPECT_EQ(nr.endFrame, 300);

  BZ_RlSett rl{};
  BZ_MakeDefaultRlSett(&rl);
  rl.logoRect = Rect{1, 1, 5, 5};
  rl.numBackGrFrames = 5;
  rl.timeBeforeFade = 61;
  rl.transparency = 1.5;
  rl.maskAnchor = 4;
  EXPECT_FALSE(BZ_RlValidateSett(&rl, true));
  EXPECT_TRUE(RectIs(rl.logoRect, 2, 2, 10, 10)) << RectText(rl.logoRect);
  EXPECT_EQ(rl.numBackGrFrames, 10);
  EXPECT_EQ(rl.timeBeforeFade, 60);
  EXPECT_DOUBLE_EQ(rl.transparency, 1.0);
  EXPECT_EQ(rl.maskAnchor, 3);
  Rect wide{100, 700, 150, 730};
  EXPECT_FALSE(BZ_RlValidateLogoRect(480, 720, true, &wide));
  EXPECT_TRUE(RectIs(wide, 100, 700, 150, 718)) << RectText(wide);

  BZ_Cl_Sett cl{};
  BZ_MakeDefaultClSett(&cl);
  cl.constChromaTestLen = 25;
  cl.minConstChromaLen = 10;
  EXPECT_FALSE(BZ_ClValidateSett(&cl, true));
  EXPECT_EQ(cl.constChromaTestLen, 20);
  EXPECT_EQ(cl.minConstChromaLen, 22);
  BZ_MakeDefaultClSett(&cl);
  cl.minStddev = 30;
  cl.maxStddev = 3;  // raised to 5 first, then above minStddev
  EXPECT_FALSE(BZ_ClValidateSett(&cl, true));
  EXPECT_EQ(cl.maxStddev, 31);
  cl.maxStddev = 140;
  EXPECT_FALSE(BZ_ClValidateSett(&cl, true));
  EXPECT_EQ(cl.maxStddev, 100);

  BZ_OuSett ou{};
  BZ_MakeDefaultOuSett(&ou);
  ou.maxAvPixelDiff = 5;
  EXPECT_FALSE(BZ_OuValidateSett(&ou, true));
  EXPECT_EQ(ou.maxAvPixelDiff, 10);
  EXPECT_EQ(ou.minDiff, 30) << "the outlier distance is not touched";
  ou.maxAvPixelDiff = 150;
  EXPECT_FALSE(BZ_OuValidateSett(&ou, true));
  EXPECT_EQ(ou.maxAvPixelDiff, 100);
  for (SInt32 bad : {0, 4, -2}) {
    ou.numConstPix = bad;
    EXPECT_FALSE(BZ_OuValidateSett(&ou, true)) << bad;
    EXPECT_GE(ou.numConstPix, 1);
    EXPECT_LE(ou.numConstPix, 3);
  }
}

TEST(EngineMethodSettings, ValidatorsRejectNaNAndInfinities) {
  struct Case {
    const char *what;
    double value;
    double corrected;
  };
  for (const Case &c : {Case{"NaN", kNaN, 0.0}, Case{"+inf", kInf, 8.0}, Case{"-inf", -kInf, -8.0}}) {
    SCOPED_TRACE(c.what);
    BZ_Av_Sett av{false, c.value, 0.5, true, false};
    EXPECT_FALSE(BZ_AvValidateSett(&av, true));
    EXPECT_DOUBLE_EQ(av.shift, c.corrected);

    BZ_Rn_Sett nr{};
    BZ_MakeDefaultNrSett(nullptr, &nr);
    nr.noiseLevel[1] = float(c.value);
    EXPECT_FALSE(BZ_NrValidateSett(nullptr, &nr, true));
    EXPECT_TRUE(std::isfinite(nr.noiseLevel[1]));

    BZ_RlSett rl{};
    BZ_MakeDefaultRlSett(&rl);
    rl.transparency = c.value;
    rl.minBackGrUnif = c.value;
    EXPECT_FALSE(BZ_RlValidateSett(&rl, true));
    EXPECT_TRUE(rl.transparency >= 0.0 && rl.transparency <= 1.0);
    EXPECT_DOUBLE_EQ(rl.minBackGrUnif, 0.9);

    BZ_Cl_Sett cl{};
    BZ_MakeDefaultClSett(&cl);
    cl.percentage = c.value;
    EXPECT_FALSE(BZ_ClValidateSett(&cl, true));
    EXPECT_TRUE(cl.percentage >= 0.0 && cl.percentage <= 1.0);

    BZ_OuSett ou{};
    BZ_MakeDefaultOuSett(&ou);
    ou.scratchWidth = float(c.value);
    EXPECT_FALSE(BZ_OuValidateSett(&ou, true));
    EXPECT_TRUE(ou.scratchWidth >= 1.0f && ou.scratchWidth <= 10.0f);
  }
}

TEST(EngineMethodSettings, NoiseSelectionRectangleIsMovedAndRoundedIntoShape) {
  bz_test::CurrentProject project;
  bz_test::DescribeSource(project.statMovInfo(), 0, 480, 720, 100);
  struct Case {
    Rect in;
    Boolean correcting;
    Boolean valid;
    Rect out;
  };
  const Case cases[] = {
      {{20, 21, 100, 29}, true, false, {20, 16, 100, 32}},    // rounded to 24..32, 8 wide: left moves 8
      {{100, 24, 108, 64}, true, false, {92, 24, 108, 64}},   // 8 high: its top moves 8 up
      {{20, 24, 28, 64}, true, false, {20, 24, 36, 64}},      // the same on the top limit: moved back inside
      {{32, 40, 96, 80}, false, true, {32, 40, 96, 80}},      // a good one stays
      {{16, 8, 100, 80}, false, false, {16, 16, 100, 88}},    // over the left limit: moved inwards anyway
      {{0, 600, 500, 800}, true, false, {16, 600, 464, 704}},  // cut to the limit
      {{100, 200, 40, 104}, true, false, {40, 104, 100, 200}},  // inverted: edges swapped
      {{100, 200, 40, 104}, false, false, {100, 200, 40, 104}},
  };
  for (const Case &c : cases) {
    Rect r = c.in;
    SCOPED_TRACE(RectText(c.in) + (c.correcting ? " correcting" : ""));
    EXPECT_EQ(BZ_NrValidateSelRect(project.statMovInfo(), &r, c.correcting), c.valid);
    EXPECT_EQ(RectText(r), RectText(c.out));
  }
}

TEST(EngineMethodSettings, DamagedDictionariesGiveDefaults) {
  bz_test::CurrentProject project;
  // An empty dictionary stands for a foreign or old file without any of the keys.
  PL_CFScoped<CFMutableDictionaryRef> empty(CF_DictCreateMut());
  BZ_CleaninSett c = bz_test::NonDefaultCleaning();
  BZ_GetAvPrefsFromDict(empty, &c.average);
  BZ_GetNrPrefsFromDict(nullptr, empty, &c.noiseRed);
  BZ_GetRlPrefsFromDict(empty, &c.removeLogo);
  BZ_GetClPrefsFromDict(empty, &c.crossLuma);
  BZ_GetVarBrPrefsFromDict(empty, &c.varBr);
  BZ_GetOuPrefsFromDict(empty, &c.ou);
  EXPECT_TRUE(BZ_AvSettEqualDefault(nullptr, &c.average));
  EXPECT_TRUE(c.average.apply) << "a missing apply stays";
  EXPECT_FLOAT_EQ(c.noiseRed.noiseLevel[0], 7.5f) << "a missing noise level stays";
  EXPECT_FALSE(c.noiseRed.temporal);
  EXPECT_EQ(c.noiseRed.endFrame, 1000);
  EXPECT_TRUE(BZ_RlSettEqualDefault(&c.removeLogo));
  EXPECT_TRUE(BZ_ClSettEqualDefault(&c.crossLuma));
  EXPECT_TRUE(c.varBr.apply);
  EXPECT_TRUE(BZ_OuSettEqualDefault(&c.ou));
  EXPECT_FALSE(c.ou.apply) << "a missing Apply turns outliers off";

  // Wrong types and numbers out of range, key by key.
  PL_CFScoped<CFMutableDictionaryRef> bad(CF_DictCreateMut());
  CFDictionarySetValue(bad, CFSTR("Shift"), CFSTR("3"));
  CF_AddFloat64ToDict(bad, CFSTR("Weight"), kNaN);
  CF_AddSInt32ToDict(bad, CFSTR("Number of constant pixels"), 9);
  CF_AddFloat32ToDict(bad, CFSTR("Scratch width"), float(kInf));
  CF_AddSInt32ToDict(bad, CFSTR("Scene change threshold"), 1000);
  CF_AddSInt32ToDict(bad, CFSTR("Diminish Logo"), 7);
  CF_AddSInt32ToDict(bad, CFSTR("Max num frames to examine"), -3);
  CF_AddFloat64ToDict(bad, CFSTR("Transparency"), 2.5);
  CF_AddSInt32ToDict(bad, CFSTR("Constant Chroma Test Length"), 18);
  CF_AddSInt32ToDict(bad, CFSTR("Min Length of Constant Chroma Interval"), 4);
  CF_AddFloat32ToDict(bad, CFSTR("Noise Level Y"), 80.0f);
  CF_AddSInt32ToDict(bad, CFSTR("Start frame"), 0);
  CFDictionarySetValue(bad, CFSTR("Selection rect"), CFSTR("not a rectangle"));
  BZ_Av_Sett av{};
  BZ_GetAvPrefsFromDict(bad, &av);
  EXPECT_DOUBLE_EQ(av.shift, 0.0);
  EXPECT_DOUBLE_EQ(av.weight, 0.5);
  BZ_OuSett ou{};
  BZ_GetOuPrefsFromDict(bad, &ou);
  EXPECT_TRUE(BZ_OuSettEqualDefault(&ou));
  BZ_RlSett rl{};
  BZ_GetRlPrefsFromDict(bad, &rl);
  EXPECT_TRUE(BZ_RlSettEqualDefault(&rl));
  BZ_Cl_Sett cl{};
  BZ_GetClPrefsFromDict(bad, &cl);
  EXPECT_EQ(cl.constChromaTestLen, 18);
  EXPECT_EQ(cl.minConstChromaLen, 20) << "the default must still lie above the test length";
  EXPECT_TRUE(BZ_ClValidateSett(&cl, false));
  BZ_Rn_Sett nr{};
  nr.noiseLevel[0] = 6.0f;
  BZ_GetNrPrefsFromDict(nullptr, bad, &nr);
  EXPECT_FLOAT_EQ(nr.noiseLevel[0], 6.0f);
  EXPECT_EQ(nr.startFrame, 1);
  EXPECT_TRUE(RectIs(nr.selRect, 16, 16, 464, 704));

  // NULL dictionaries read like empty ones.
  BZ_OuSett fromNull{};
  BZ_GetOuPrefsFromDict(nullptr, &fromNull);
  EXPECT_TRUE(BZ_OuSettEqualDefault(&fromNull));
}

TEST(EngineMethodSettings, OldBooleanMaskAnchorIsRead) {
  for (Boolean topLeft : {Boolean(true), Boolean(false)}) {
    PL_CFScoped<CFMutableDictionaryRef> d(CF_DictCreateMut());
    CF_AddBooleanToDict(d, CFSTR("Mask at top left"), topLeft);
    BZ_RlSett rl{};
    BZ_GetRlPrefsFromDict(d, &rl);
    EXPECT_EQ(rl.maskAnchor, topLeft ? 0 : 3);
  }
}

TEST(EngineMethodSettings, LogTextHasTheTitlesAndFormat) {
  BZ_CleaninSett c = bz_test::NonDefaultCleaning();
  {
    bz_test::TextBuffer text;
    BZ_AddAvSettToTextPtr(&c.average, text.ptr(), text.size());
    EXPECT_EQ(text.text(),
              "    Average settings:\r"
              "      movie 2 has white line piece in bottom line: yes\n"
              "      shift movie 2: -3.25\n"
              "      weight movie 1: 0.30\n"
              "      automatic noise level detection: no\n");
  }
  {
    bz_test::TextBuffer text;
    BZ_AddNrSettToTextPtr(&c.noiseRed, text.ptr(), text.size());
    EXPECT_EQ(text.text(),
              "    Noise reduction settings:\r"
              "      temporal noise reduction: no\n"
              "      horizontal noise reduction: yes\n"
              "      vertical noise reduction: no\n"
              "      noise level Y: 7.50\n"
              "      noise level Cb: 2.25\n"
              "      noise level Cr: 3.00\n"
              "      automatic noise spectrum detection: no\n"
              "      start frame number: 12\n"
              "      end frame number: 345\n"
              "      use selection rect: yes\n"
              "      selection rect: top 40, left 48, bottom 200, right 312\n");
  }
  {
    bz_test::TextBuffer text;
    BZ_AddRlSettToTextPtr(&c.removeLogo, text.ptr(), text.size());
    EXPECT_EQ(text.text(),
              "    Remove Logo settings:\r"
              "      mode: use mask\r"
              "      logo rect: top 20, left 30, bottom 120, right 230\n"
              "      fade: yes\n"
              "      time before fade: 12\n"
              "      number of frames for logo detection: 250\n"
              "      all white: no\n"
              "      find mask: yes\n"
              "      transparent: yes\n"
              "      transparency: 0.35\n"
              "      minimum background uniformity: -1.50\n"
              "      mask located at top left: no\n");
    BZ_RlSett diminish = c.removeLogo;
    diminish.mode = kBZ_LogoModeDiminish;
    diminish.fade = false;
    bz_test::TextBuffer short_;
    BZ_AddRlSettToTextPtr(&diminish, short_.ptr(), short_.size());
    EXPECT_EQ(short_.text(),
              "    Remove Logo settings:\r"
              "      mode: diminish\r"
              "      logo rect: top 20, left 30, bottom 120, right 230\n"
              "      fade: no\n");
  }
  {
    bz_test::TextBuffer text;
    BZ_AddClSettToTextPtr(&c.crossLuma, text.ptr(), text.size());
    EXPECT_EQ(text.text(),
              "    Cross-luma settings:\r"
              "      constant chroma test length: 8\n"
              "      minimum length of constant chroma line piece: 12\n"
              "      maximum chroma standard deviation: 20\n"
              "      horizontal extent of cross-luma into constant chroma area: 30\n"
              "      minimum standard deviation in 3x3 box: 7\n"
              "      maximum standard deviation in 3x3 box: 60\n"
              "      percentage: 0.75\n");
  }
  {
    bz_test::TextBuffer text;
    BZ_AddOuSettToTextPtr(&c.ou, text.ptr(), text.size());
    EXPECT_EQ(text.text(),
              "    Outlier settings:\r"
              "      number of constant pixels: 3\n"
              "      scene change threshold: 40\n"
              "      scratch width: 4.5\n"
              "      outlier distance: 55\n");
  }
}

}  // namespace
