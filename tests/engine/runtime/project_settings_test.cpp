#include "engine/runtime/project_settings.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_types.h"
#include "general/cf_encodings.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/memory.h"
#include "support/cf_check.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using bz_test::RectText;

// Preferences in a folder of the test, forgotten before and after, and a current project.
class EngineProjectSettings : public ::testing::Test {
 protected:
  EngineProjectSettings() : home_(dir_.path()) { PL_CFPreferencesForgetAll(); }
  ~EngineProjectSettings() override { PL_CFPreferencesForgetAll(); }

  bz_test::TempDir dir_;
  bz_test::FakeHome home_;
  bz_test::CurrentProject project_;
};

TEST_F(EngineProjectSettings, FirstStartWithoutMovieGivesTheDefaults) {
  BZ_ProjSett sett{};
  BZ_GetProjSett(nullptr, &sett);
  EXPECT_TRUE(sett.input.interlaced);
  EXPECT_FALSE(sett.input.topFieldFirst);
  EXPECT_FALSE(sett.input.whiteLinePiece);
  EXPECT_FALSE(sett.input.cropping);
  EXPECT_TRUE(sett.input.autoDetectBlackBars);
  EXPECT_EQ(RectText(sett.input.cropRect), "0,0,0,0");
  EXPECT_EQ(sett.output.cType, OSType('dvc '));
  EXPECT_FALSE(sett.output.makeNoiseMovie);
  EXPECT_EQ(sett.output.videoExportSett, nullptr);
  EXPECT_TRUE(sett.cleaning.noiseRed.apply);
  EXPECT_FALSE(sett.cleaning.average.apply);
  EXPECT_TRUE(BZ_InputSettEqualDefault(nullptr, &sett.input));
  EXPECT_TRUE(BZ_OutputSettEqualDefault(&sett.output));
  EXPECT_TRUE(BZ_DiffParamsEqualDefault(&sett.diffParams));
  EXPECT_EQ(sett.diffParams.scaleMode, 2u);
}

TEST_F(EngineProjectSettings, InputDefaultsFollowTheAnalysedMovie) {
  BZ_StatMovInfo *movie = project_.statMovInfo();
  bz_test::DescribeSource(movie, 0, 576, 720, 100);
  movie[0].interlaced = true;
  movie[0].topFieldFirst = true;
  movie[0].whiteLinePiece = true;
  movie[0].blackEdges = Rect{4, 8, 6, 10};
  BZ_InputSett in{};
  BZ_MakeDefaultInputSett(movie, &in);
  EXPECT_FALSE(in.topFieldFirst) << "no field extension and no white-line search yet";
  EXPECT_FALSE(in.whiteLinePiece);
  EXPECT_EQ(RectText(in.cropRect), "0,0,0,0");
  gBZ.dlgTaskData.searchedWhiteLinePiece[0] = true;
  gBZ.dlgTaskData.detectedBlackBars = true;
  BZ_MakeDefaultInputSett(movie, &in);
  EXPECT_TRUE(in.topFieldFirst);
  EXPECT_TRUE(in.whiteLinePiece);
  EXPECT_EQ(RectText(in.cropRect), "4,8,6,10");
  EXPECT_TRUE(BZ_InputSettEqualDefault(movie, &in));
}

SInt32 gLastCropEdgeMove = 0;
SInt32 LastCropEdgeMove(void *) { return gLastCropEdgeMove; }

TEST_F(EngineProjectSettings, InputValidationKeepsMarginsInRangeAndEvenWhenInterlaced) {
  bz_test::DescribeSource(project_.statMovInfo(), 0, 480, 720, 100);
  BZ_EngineHost host{};
  host.getLastCropEdgeMove = LastCropEdgeMove;
  BZ_SetEngineHost(&host);
  struct Case {
    Rect crop;
    Boolean interlaced;
    SInt32 lastMove;
    Boolean valid;
    Rect corrected;
  };
  const Case cases[] = {
      {{3, 0, 0, 0}, true, 0, false, {4, 0, 0, 0}},
      {{3, 0, 0, 0}, true, 1, false, {2, 0, 0, 0}},
      {{0, 0, 5, 0}, true, 0, false, {0, 0, 4, 0}},
      {{0, 0, 5, 0}, true, 6, false, {0, 0, 6, 0}},
      {{3, 0, 5, 0}, false, 0, true, {3, 0, 5, 0}},
      {{0, 200, 0, 0}, false, 0, false, {0, 180, 0, 0}},
      {{130, 0, 0, -4}, false, 0, false, {120, 0, 0, 0}},
      {{121, 0, 0, 0}, true, 0, false, {120, 0, 0, 0}},  // back to the limit, which is even
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(RectText(c.crop) + " interlaced " + std::to_string(c.interlaced) + " last move " +
                 std::to_string(c.lastMove));
    gLastCropEdgeMove = c.lastMove;
    BZ_InputSett in{};
    in.interlaced = c.interlaced;
    in.cropRect = c.crop;
    EXPECT_EQ(BZ_ValidateInputSett(&in, false), c.valid);
    EXPECT_EQ(RectText(in.cropRect), RectText(c.crop)) << "without correcting nothing changes";
    EXPECT_EQ(BZ_ValidateInputSett(&in, true), c.valid);
    EXPECT_EQ(RectText(in.cropRect), RectText(c.corrected));
  }
  // An odd limit: making the margin even must not take it past the limit.
  bz_test::DescribeSource(project_.statMovInfo(), 0, 484, 720, 100);
  gLastCropEdgeMove = 0;
  BZ_InputSett odd{};
  odd.interlaced = true;
  odd.cropRect = Rect{121, 0, 0, 0};
  EXPECT_FALSE(BZ_ValidateInputSett(&odd, true));
  EXPECT_EQ(RectText(odd.cropRect), "120,0,0,0");
  gBZ.project->info.statMovInfo[0].cType = 0;  // without a source the limit is 200
  BZ_InputSett in{};
  in.cropRect = Rect{199, 201, 3, 0};
  EXPECT_FALSE(BZ_ValidateInputSett(&in, true));
  EXPECT_EQ(RectText(in.cropRect), "199,200,3,0");
}

BZ_ProjSett NonDefaultProjSett() {
  BZ_ProjSett s{};
  BZ_MakeDefaultProjSett(nullptr, &s);
  s.input = {false, true, true, true, Rect{8, 6, 4, 2}, false, true};
  s.output.cType = '2vuy';
  s.output.makeNoiseMovie = true;
  s.output.export_ = false;
  s.output.exportType = 'MPG4';
  s.diffParams = {true, false, 3.5f, 0.25f, 0.75f, 1};
  s.cleaning = bz_test::NonDefaultCleaning();
  return s;
}

TEST_F(EngineProjectSettings, SettingsRoundTripThroughThePreferencesFile) {
  const BZ_ProjSett in = NonDefaultProjSett();
  BZ_SaveProjSett(&in);
  ASSERT_TRUE(CF_SavePreferencesToDisk());
  PL_CFPreferencesForgetAll();  // as after a new start

  BZ_ProjSett out{};
  BZ_GetProjSett(nullptr, &out);
  EXPECT_EQ(out.input.interlaced, in.input.interlaced);
  EXPECT_EQ(out.input.topFieldFirst, in.input.topFieldFirst);
  EXPECT_EQ(out.input.whiteLinePiece, in.input.whiteLinePiece);
  EXPECT_EQ(out.input.cropping, in.input.cropping);
  EXPECT_EQ(RectText(out.input.cropRect), RectText(in.input.cropRect));
  EXPECT_EQ(out.input.autoDetectBlackBars, in.input.autoDetectBlackBars);
  EXPECT_EQ(out.input.maskBlackBars, in.input.maskBlackBars);
  EXPECT_EQ(out.output.cType, in.output.cType);
  EXPECT_EQ(out.output.makeNoiseMovie, in.output.makeNoiseMovie);
  EXPECT_EQ(out.output.export_, in.output.export_);
  EXPECT_EQ(out.output.exportType, in.output.exportType);
  EXPECT_EQ(out.diffParams.showChroma, in.diffParams.showChroma);
  EXPECT_EQ(out.diffParams.showLuma, in.diffParams.showLuma);
  EXPECT_FLOAT_EQ(out.diffParams.scale, in.diffParams.scale);
  EXPECT_FLOAT_EQ(out.diffParams.optScaleC, in.diffParams.optScaleC);
  EXPECT_FLOAT_EQ(out.diffParams.optScaleY, in.diffParams.optScaleY);
  EXPECT_EQ(out.diffParams.scaleMode, in.diffParams.scaleMode);
  bz_test::ExpectSameCleaning(out.cleaning, in.cleaning);
}

// The stored format: every key, its value and its number type, as written for a record away from defaults.
TEST_F(EngineProjectSettings, ProjectPrefsKeepTheirKeysAndNumberTypes) {
  const BZ_ProjSett in = NonDefaultProjSett();
  BZ_SaveProjSett(&in);
  PL_CFScoped<CFPropertyListRef> stored(CF_CopyValueFromPrefs(CFSTR("Project Prefs")));
  EXPECT_EQ(bz_test::CFDescribe(stored), R"({
  Cleaning Prefs = {
    Average = {
      Apply = true
      Automatic = false
      Second Movie Has White Line Piece = true
      Shift = Float64 -3.25
      Weight = Float64 0.29999999999999999
    }
    Cross-Luma = {
      Apply = true
      Constant Chroma Test Length = SInt32 8
      Cross-luma Extent in Constant Chroma = SInt32 30
      Max Chroma Standard Deviation = SInt32 20
      Max Standard Deviation in 3x3 Square = SInt32 60
      Min Length of Constant Chroma Interval = SInt32 12
      Min Standard Deviation in 3x3 Square = SInt32 7
      Percentage = Float64 0.75
    }
    Noise Reduction = {
      Apply = true
      Automatic noise detection = false
      End frame = SInt32 345
      Noise Level Cb = Float32 2.25
      Noise Level Cr = Float32 3
      Noise Level Y = Float32 7.5
      Selection rect = (SInt16 40, SInt16 48, SInt16 200, SInt16 312)
      Start frame = SInt32 12
      Use Horizontal = true
      Use Temporal = false
      Use Vertical = false
      Use selection rect = true
    }
    Outliers = {
      Apply = true
      Number of constant pixels = SInt32 3
      Outlier distance = SInt32 55
      Scene change threshold = SInt32 40
      Scratch width = Float32 4.5
    }
    Remove Logo = {
      All White = false
      Apply = true
      Diminish Logo = SInt32 3
      Fade = true
      Find mask = true
      Logo Transparent = true
      Logo bounds = (SInt16 20, SInt16 30, SInt16 120, SInt16 230)
      Mask at top left = SInt32 2
      Max num frames to examine = SInt32 250
      Min BackGround Uniformity = Float64 -1.5
      Time Before Fade = SInt32 12
      Transparency = Float64 0.34999999999999998
    }
    Varying Brightness = {
      Apply = true
    }
  }
  Diff Prefs = {
    Optimal chroma scale = Float32 0.25
    Optimal luma scale = Float32 0.75
    Scale = Float32 3.5
    Scale Mode = SInt32 1
    Show Chroma = true
    Show Luma = false
  }
  Input Prefs = {
    Crop automatic = false
    Crop values = (SInt16 8, SInt16 6, SInt16 4, SInt16 2)
    Cropping = true
    Interlaced = false
    Mask out black bars = true
    TopFieldFirst = true
    WhiteLinePiece = true
  }
  Output Prefs = {
    CodecType = SInt32 846624121
    Export = false
    Export Type = "MPG4"
    Make Noise Movie = true
  }
})");
}

TEST_F(EngineProjectSettings, ExportSettingsAreKeptPerExportType) {
  BZ_ProjSett sett = NonDefaultProjSett();
  Handle bytes = NewHandle(5);
  ASSERT_NE(bytes, nullptr);
  std::memcpy(*bytes, "\x01\x02\x03\x04\x05", 5);
  sett.output.videoExportSett = bytes;

  BZ_SaveProjSett(&sett);  // export off: nothing stored
  EXPECT_EQ(CF_CopyValueFromPrefs(CFSTR("Video Export Settings")), nullptr);

  sett.output.export_ = true;
  BZ_SaveProjSett(&sett);
  sett.output.exportType = 'dvc!';
  BZ_SaveVideoExportSett(&sett.output);  // a second type keeps the first
  ASSERT_TRUE(CF_SavePreferencesToDisk());
  PL_CFPreferencesForgetAll();

  BZ_OutputSett out{};
  out.exportType = 'MPG4';
  BZ_GetVideoExportSettFromPrefs(&out);
  ASSERT_NE(out.videoExportSett, nullptr);
  ASSERT_EQ(GetHandleSize(out.videoExportSett), 5);
  EXPECT_EQ(std::memcmp(*out.videoExportSett, "\x01\x02\x03\x04\x05", 5), 0);
  DisposeHandle(out.videoExportSett);
  out.exportType = 'none';
  out.videoExportSett = bytes;
  BZ_GetVideoExportSettFromPrefs(&out);
  EXPECT_EQ(out.videoExportSett, nullptr) << "no settings stored for that type";
  DisposeHandle(bytes);
}

TEST_F(EngineProjectSettings, DamagedProjectPrefsGiveDefaults) {
  // Not a dictionary at all.
  CF_SaveValueInPrefs(CFSTR("Project Prefs"), CFSTR("garbage"));
  BZ_ProjSett sett = NonDefaultProjSett();
  BZ_GetProjSett(nullptr, &sett);
  EXPECT_TRUE(BZ_InputSettEqualDefault(nullptr, &sett.input));
  EXPECT_TRUE(BZ_OutputSettEqualDefault(&sett.output));

  // A dictionary with one group, itself with wrong types and values out of range.
  PL_CFScoped<CFMutableDictionaryRef> output(CF_DictCreateMut());
  CFDictionarySetValue(output, CFSTR("CodecType"), CFSTR("dvc "));
  CF_AddSInt32ToDict(output, CFSTR("Make Noise Movie"), 1);
  PL_CFScoped<CFMutableDictionaryRef> input(CF_DictCreateMut());
  CF_AddSInt32ToDict(input, CFSTR("Interlaced"), 0);
  CFDictionarySetValue(input, CFSTR("Crop values"), CFSTR("no"));
  PL_CFScoped<CFMutableDictionaryRef> diff(CF_DictCreateMut());
  CF_AddSInt32ToDict(diff, CFSTR("Scale Mode"), 9);
  CF_AddFloat32ToDict(diff, CFSTR("Scale"), -2.0f);
  PL_CFScoped<CFMutableDictionaryRef> all(CF_DictCreateMut());
  CFDictionarySetValue(all, CFSTR("Output Prefs"), output);
  CFDictionarySetValue(all, CFSTR("Input Prefs"), input);
  CFDictionarySetValue(all, CFSTR("Diff Prefs"), diff);
  CF_SaveValueInPrefs(CFSTR("Project Prefs"), all);
  sett = NonDefaultProjSett();
  BZ_GetProjSett(nullptr, &sett);
  EXPECT_EQ(sett.output.cType, OSType('dvc '));
  EXPECT_FALSE(sett.output.makeNoiseMovie);
  EXPECT_EQ(sett.output.exportType, OSType('MPG4')) << "a missing export type stays";
  EXPECT_TRUE(BZ_InputSettEqualDefault(nullptr, &sett.input));
  EXPECT_TRUE(BZ_DiffParamsEqualDefault(&sett.diffParams));
  EXPECT_TRUE(sett.cleaning.noiseRed.apply) << "no cleaning group: the cleaning defaults";
  EXPECT_TRUE(BZ_ClSettEqualDefault(&sett.cleaning.crossLuma));
}

TEST_F(EngineProjectSettings, LogTextOfInputAndOutput) {
  BZ_InputSett in{};
  BZ_MakeDefaultInputSett(nullptr, &in);
  in.cropping = true;
  in.autoDetectBlackBars = false;
  in.cropRect = Rect{2, 4, 6, 8};
  bz_test::TextBuffer text;
  BZ_AddInputSettToTextPtr(&in, text.ptr(), text.size());
  EXPECT_EQ(text.text(),
            "  Input settings:\r"
            "    interlaced: yes\n"
            "    top field first: no\n"
            "    white line piece in bottom line: no\n"
            "    cropping: yes\n"
            "    crop automatic: no\n"
            "    crop rect: top 2, left 4, bottom 6, right 8\n");
  BZ_OutputSett out{};
  BZ_MakeDefaultOutputSett(&out);
  out.exportType = 'MPG4';
  bz_test::TextBuffer compressor;
  BZ_AddOutputSettToTextPtr(&out, compressor.ptr(), compressor.size());
  EXPECT_EQ(compressor.text(),
            "  Output settings:\r"
            "    make noise movie: no\n"
            "    export: no\n"
            "    compressor: 'dvc '\n");
  out.export_ = true;
  bz_test::TextBuffer exporting;
  BZ_AddOutputSettToTextPtr(&out, exporting.ptr(), exporting.size());
  EXPECT_NE(exporting.text().find("    export type: 'MPG4'\n"), std::string::npos) << exporting.text();
}

TEST_F(EngineProjectSettings, CleaningLogListsTheValidSelectedMethodsInOrder) {
  BZ_StatMovInfo *movies = project_.statMovInfo();
  bz_test::DescribeSource(movies, 0, 480, 720, 100);
  BZ_ProjSett &sett = project_->info.settings;
  BZ_MakeDefaultProjSett(movies, &sett);
  sett.cleaning.ou.apply = true;
  sett.cleaning.average.apply = true;  // no second movie: not valid
  sett.cleaning.crossLuma.apply = true;
  bz_test::TextBuffer text;
  ASSERT_EQ(BZ_AddCleaningSettToTextPtr(project_.get(), text.ptr(), text.size()), noErr);
  const std::string t = text.text();
  EXPECT_EQ(t.rfind("  Cleaning settings:\r", 0), 0u) << t;
  EXPECT_EQ(t.find("Average settings"), std::string::npos);
  const size_t nr = t.find("    Noise reduction settings:\r");
  const size_t cl = t.find("    Cross-luma settings:\r");
  const size_t ou = t.find("    Outlier settings:\r");
  ASSERT_NE(nr, std::string::npos);
  ASSERT_NE(cl, std::string::npos);
  ASSERT_NE(ou, std::string::npos);
  EXPECT_LT(nr, cl);
  EXPECT_LT(cl, ou);
}

TEST_F(EngineProjectSettings, SetOnlyProcessTypeAppliesOneMethod) {
  BZ_ProjSett &sett = project_->info.settings;
  BZ_MakeDefaultProjSett(nullptr, &sett);
  sett.cleaning.average.apply = true;
  sett.cleaning.ou.apply = true;
  BZ_SetOnlyProcessType(kBZ_VarBrTaskType);
  EXPECT_TRUE(sett.cleaning.varBr.apply);
  EXPECT_FALSE(sett.cleaning.average.apply || sett.cleaning.noiseRed.apply || sett.cleaning.removeLogo.apply ||
               sett.cleaning.crossLuma.apply || sett.cleaning.ou.apply);
  BZ_SetApplyProcessType(kBZ_WriteTaskType, true);  // not a method: nothing
  BZ_SetApplyProcessType(kBZ_OutlierTaskType, true);
  EXPECT_TRUE(sett.cleaning.ou.apply);
}

}  // namespace
