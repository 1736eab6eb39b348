// The parts of a project's start that depend on the output codec: the caution about converting a source's
// gamma for DV and 'icod', the codec settings of 'mjpa' and 'icod' by field order, and the compression
// sequences made with them (an 'icod' output, which this platform cannot write, ends the set-up with
// noCodecErr instead of writing something else).
#include "engine/project_start.h"

#include "engine/runtime/engine_host.h"
#include "engine/stage_table.h"
#include "engine/write_stage.h"
#include "general/error_keys.h"
#include "movie/movie_files.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/memory.h"
#include "platform/movie/compression.h"
#include "platform/movie/movie_toolbox.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- The gamma caution -------------------------------------------------------------------------------------

struct AlertHost {
  BZ_AppPrefs prefs{};
  std::vector<SInt16> types;
  std::vector<std::string> messages;
  OSStatus answer = noErr;

  void Install() {
    BZ_EngineHost h{};
    h.refCon = this;
    h.getAppPrefs = [](void *r, BZ_AppPrefs *p) { *p = static_cast<AlertHost *>(r)->prefs; };
    h.standardAlertOneButton = [](void *r, SInt16 type, CFStringRef, CFStringRef message, CFStringRef, SInt32) {
      auto *self = static_cast<AlertHost *>(r);
      char text[512] = {};
      CFStringGetCString(message, text, sizeof text, kCFStringEncodingUTF8);
      self->types.push_back(type);
      self->messages.push_back(text);
      return self->answer;
    };
    BZ_SetEngineHost(&h);
  }
};

struct GammaCase {
  const char *name;
  float gamma;
  CodecType output;
  Boolean alwaysGamma22;
  bool warns;
};
void PrintTo(const GammaCase &c, std::ostream *os) { *os << c.name; }

const GammaCase kGammaCases[] = {
    {"MacGammaIntoDv", 1.8f, 'dvc ', false, true},
    {"MacGammaIntoPalDv", 1.8f, 'dvcp', false, true},
    {"MacGammaIntoIcod", 1.8f, 'icod', false, true},
    {"SlightlyOffVideoGammaIntoDv", 2.21f, 'dvc ', false, true},
    {"VideoGamma22", 2.2f, 'dvc ', false, false},
    {"VideoGamma22222", 2.2222f, 'dvc ', false, false},
    {"VideoGammaExact", 2.2222223f, 'icod', false, false},
    {"PreferenceConvertsAnyway", 1.8f, 'dvc ', true, false},
    {"OtherCodecsKeepTheSourceGamma", 1.8f, 'jpeg', false, false},
    {"UncompressedKeepsTheSourceGamma", 1.8f, '2vuy', false, false},
};

class GammaCaution : public ::testing::TestWithParam<GammaCase> {};

TEST_P(GammaCaution, AlertOnlyWhenTheCodecWantsVideoGammaAndThePreferenceIsOff) {
  const GammaCase &c = GetParam();
  bz_test::CurrentProject project;
  AlertHost host;
  host.prefs.alwaysGamma22 = c.alwaysGamma22;
  host.Install();
  project.statMovInfo()[1].gamma = c.gamma;
  project->info.settings.output.cType = c.output;

  EXPECT_EQ(BZ_NeedsAutoGammaWarning(c.gamma, c.output, c.alwaysGamma22), Boolean(c.warns));
  ASSERT_EQ(BZ_WarnAboutAutoGammaConversion(project.get(), 1), noErr);
  ASSERT_EQ(host.messages.size(), c.warns ? 1u : 0u);
  if (c.warns) {
    EXPECT_EQ(host.types[0], 2) << "a caution alert";
    char gamma[16];
    std::snprintf(gamma, sizeof gamma, "%.2f", double(c.gamma));
    EXPECT_EQ(host.messages[0], std::string("The source movie has gamma ") + gamma +
                                    ", the chosen output codec expects video gamma 2.2; the frames will be "
                                    "converted to it.");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GammaCaution, ::testing::ValuesIn(kGammaCases),
                         [](const ::testing::TestParamInfo<GammaCase> &info) {
                           return std::string(info.param.name);
                         });

TEST(GammaCautionAlert, FailureOfTheAlertIsReturned) {
  bz_test::CurrentProject project;
  AlertHost host;
  host.answer = userCanceledErr;
  host.Install();
  project.statMovInfo()[0].gamma = 1.8f;
  project->info.settings.output.cType = 'dvc ';
  EXPECT_EQ(BZ_WarnAboutAutoGammaConversion(project.get(), 0), userCanceledErr);
  EXPECT_EQ(BZ_WarnAboutAutoGammaConversion(project.get(), 8), paramErr);
  EXPECT_EQ(BZ_WarnAboutAutoGammaConversion(nullptr, 0), paramErr);
}

TEST(GammaCautionAlert, PlainHostPrintsAndGoesOn) {
  bz_test::CurrentProject project;
  project.statMovInfo()[0].gamma = 1.8f;
  project->info.settings.output.cType = 'dvc ';
  EXPECT_EQ(BZ_WarnAboutAutoGammaConversion(project.get(), 0), noErr);
}

// ---- Codec settings ----------------------------------------------------------------------------------------

std::vector<UInt8> Bytes(Handle h) {
  if (h == nullptr) return {};
  return std::vector<UInt8>(reinterpret_cast<UInt8 *>(*h), reinterpret_cast<UInt8 *>(*h) + GetHandleSize(h));
}

struct SettingsCase {
  const char *name;
  bool aic;
  Boolean interlaced, topFieldFirst, isIntel;
  const char *prefix;  // the bytes the settings begin with
  const char *kind;    // AIC: the frame kind at bytes 8 to 11
  UInt8 fields, detail;
};
void PrintTo(const SettingsCase &c, std::ostream *os) { *os << c.name; }

const SettingsCase kSettingsCases[] = {
    {"MotionJpegTopFieldFirst", false, true, true, true, "mjpaeven", nullptr, 0, 0},
    {"MotionJpegBottomFieldFirst", false, true, false, true, "mjpaodd ", nullptr, 0, 0},
    {"AicProgressive", true, false, true, true, "icod", "720p", 1, 0},
    {"AicTopFieldFirst", true, true, true, true, "icod", "108i", 2, 9},
    {"AicBottomFieldFirst", true, true, false, true, "icod", "108i", 2, 14},
    {"AicOfAnotherProcessor", true, true, false, false, "icod", "108i", 2, 14},
};

class CodecSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(CodecSettings, ResourceDataForTheFieldOrder) {
  const SettingsCase &c = GetParam();
  bz_test::CurrentProject project;
  const Boolean savedIntel = gBZ.procInfo.isIntel;
  gBZ.procInfo.isIntel = c.isIntel;
  BZ_InputSett &input = project->info.settings.input;
  input.interlaced = c.interlaced;
  input.topFieldFirst = c.topFieldFirst;
  Handle settings = nullptr;
  const OSStatus err = c.aic ? BZ_GetAicSett(project.get(), &settings) : BZ_GetM_JPEG_Sett(project.get(), &settings);
  gBZ.procInfo.isIntel = savedIntel;
  ASSERT_EQ(err, noErr);
  const std::vector<UInt8> bytes = Bytes(settings);
  DisposeHandle(settings);
  const size_t prefix = std::strlen(c.prefix);
  ASSERT_GE(bytes.size(), prefix);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + ptrdiff_t(prefix)), c.prefix);
  if (c.kind != nullptr) {
    ASSERT_EQ(bytes.size(), 24u) << "the frame kind at 8 and the field information at 22";
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), c.kind);
    EXPECT_EQ(bytes[22], c.fields);
    EXPECT_EQ(bytes[23], c.detail);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CodecSettings, ::testing::ValuesIn(kSettingsCases),
                         [](const ::testing::TestParamInfo<SettingsCase> &info) {
                           return std::string(info.param.name);
                         });

TEST(CodecSettingsResources, MissingResourceIsFileNotFound) {
  bz_test::CurrentProject project;
  bz_test::TempDir empty;
  const std::string saved = PL_MainBundleDirectory();
  PL_SetMainBundleDirectory(empty.path().c_str());
  Handle settings = nullptr;
  EXPECT_EQ(BZ_GetM_JPEG_Sett(project.get(), &settings), fnfErr);
  EXPECT_EQ(settings, nullptr);
  EXPECT_EQ(BZ_GetAicSett(project.get(), &settings), fnfErr);
  PL_SetMainBundleDirectory(saved.c_str());
}

// ---- Compression sequences made with the settings ---------------------------------------------------------

// A project being opened with a compressed output of an interlaced 48 x 32 picture: its stage table with the
// compress stage and target 0 created in a temporary folder.
class CompressionSetUp : public ::testing::Test {
 protected:
  OSStatus Open(CodecType cType, Boolean topFieldFirst) {
    gBZ.numProcessors = 1;
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, 32, 48, 3, '2vuy');
    movies[0].movieTimeScale = 600;
    BZ_MakeDefaultProjSett(movies, &project_->info.settings);
    BZ_ProjSett &sett = project_->info.settings;
    sett.output.cType = cType;
    sett.input.interlaced = true;
    sett.input.topFieldFirst = topFieldFirst;
    sett.input.cropping = false;
    project_->state.exec = kBZ_ProjStateBeingOpened;
    EXPECT_EQ(BZ_CreateBuffers(), noErr);
    FSRef folder = bz_test::RefFor(dir_.path());
    EXPECT_EQ(QT_CreateMovieFile(&folder, CFSTR("cleaned.mov"), kBZ_TargetFileCreator,
                                 SInt32(createMovieFileDeleteCurFile), &project_->info.targetFileData[0].fileRef,
                                 &project_->info.dynMovieInfo.targetMovie[0]),
              noErr);
    return BZ_OpenTargetFile(project_.get(), 0);
  }

  // Compresses a picture whose top field is black and bottom field white with the first buffer's sequence.
  std::vector<UInt8> CompressFields() {
    BZ_BuffInfo *compr = BZ_GetComprBuffInfo(project_->dynIO_Info.buffInfo);
    BZ_FrameBuffInfo &fb = compr->frameBuffInfo[0];
    PixMap &pm = **fb.pixMap;
    for (SInt32 y = 0; y < 32; ++y) {
      UInt8 *row = reinterpret_cast<UInt8 *>(pm.baseAddr) + ptrdiff_t(y) * pm.rowBytes;
      for (SInt32 x = 0; x < 48; ++x) {
        row[2 * x] = 128;
        row[2 * x + 1] = (y % 2) == 0 ? 16 : 235;
      }
    }
    std::vector<UInt8> out(size_t(project_->dynIO_Info.maxComprSize));
    SInt32 size = 0;
    EXPECT_EQ(CompressSequenceFrame(fb.comprSeqID, fb.pixMap, nullptr, 0, reinterpret_cast<Ptr>(out.data()), &size,
                                    nullptr, nullptr),
              noErr);
    out.resize(size_t(size));
    return out;
  }

  void TearDown() override {
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    BZ_CloseTargetFile(project_.get(), 0);
    BZ_DynMovieInfo &dyn = project_->info.dynMovieInfo;
    if (dyn.targetDesc[0] != nullptr) DisposeHandle(reinterpret_cast<Handle>(dyn.targetDesc[0]));
    dyn.targetDesc[0] = nullptr;
    QT_DisposeMovie(&dyn.targetMovie[0]);
    MP_DeleteSemaphore(&project_->dynIO_Info.outputInfo[0].sampleRefsSemaphore);
    gBZ.numProcessors = 0;
  }

  bz_test::TempDir dir_;
  bz_test::CurrentProject project_;
};

TEST_F(CompressionSetUp, IcodWithoutACompressorIsNoCodec) {
  EXPECT_EQ(Open('icod', true), noCodecErr);
  EXPECT_EQ(project_->dynIO_Info.outputInfo[0].ioParam.forkRefNum, 0) << "no fork is opened for it";
}

// The field that comes first in time is compressed first: the two field orders give different data for a
// picture whose fields differ, the same order the same data.
TEST_F(CompressionSetUp, MotionJpegFollowsTheFieldOrder) {
  ASSERT_EQ(Open('mjpa', true), noErr);
  EXPECT_EQ((*project_->info.dynMovieInfo.targetDesc[0])->cType, CodecType('mjpa'));
  const std::vector<UInt8> topFirst = CompressFields();
  TearDown();
  ASSERT_EQ(Open('mjpa', false), noErr);
  const std::vector<UInt8> bottomFirst = CompressFields();
  ASSERT_FALSE(topFirst.empty());
  ASSERT_FALSE(bottomFirst.empty());
  EXPECT_NE(topFirst, bottomFirst);
  // Each field: SOI, the 44-byte APP1 'mjpg' segment (the next field's offset at its bytes 20 to 23), then
  // the field's JPEG; the second field of one order is the first of the other.
  const auto nextField = [](const std::vector<UInt8> &d) {
    return size_t(d[22]) << 24 | size_t(d[23]) << 16 | size_t(d[24]) << 8 | size_t(d[25]);
  };
  const size_t topSecond = nextField(topFirst), bottomSecond = nextField(bottomFirst);
  ASSERT_GT(topSecond, 46u);
  ASSERT_LE(topSecond, topFirst.size());
  ASSERT_LE(bottomSecond, bottomFirst.size());
  EXPECT_EQ(std::vector<UInt8>(topFirst.begin() + ptrdiff_t(topSecond + 46), topFirst.end()),
            std::vector<UInt8>(bottomFirst.begin() + 46, bottomFirst.begin() + ptrdiff_t(bottomSecond)))
      << "the fields are swapped";
}

}  // namespace
