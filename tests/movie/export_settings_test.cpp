// Export settings: the accessors on empty, hand-filled and damaged containers, the insert-or-not rules of
// the setters, the grouped DV and size settings, the PAL correction, and the repair of an MPEG-4 file's
// 'mdat' size.
#include "movie/export_settings.h"

#include "platform/core/files.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Settings {
  QTAtomContainer c = nullptr;
  Settings() { EXPECT_EQ(noErr, QTNewAtomContainer(&c)); }
  ~Settings() { QTDisposeAtomContainer(c); }
  std::vector<UInt8> Bytes() const { return std::vector<UInt8>(*c, *c + GetHandleSize(c)); }
  // A child holding raw bytes, written here by hand (big-endian) rather than by the setters.
  QTAtom Put(QTAtom parent, OSType type, std::vector<UInt8> data) {
    QTAtom atom = 0;
    EXPECT_EQ(noErr, QTInsertChild(c, parent, type, 0, 0, SInt32(data.size()), data.data(), &atom));
    return atom;
  }
  QTAtom Container(OSType type) {
    Put(kParentAtomIsContainer, type, {});
    return Find(type);
  }
  QTAtom Find(OSType type) const { return QTFindChildByIndex(c, kParentAtomIsContainer, type, 1, nullptr); }
};

std::vector<UInt8> BE32(UInt32 v) { return {UInt8(v >> 24), UInt8(v >> 16), UInt8(v >> 8), UInt8(v)}; }
std::vector<UInt8> Join(std::initializer_list<std::vector<UInt8>> parts) {
  std::vector<UInt8> all;
  for (const auto &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// ---- Empty containers ----

// One getter of the family: reads from the container, reports found, and tells whether the value it wrote
// is the "absent" value (checked against a sentinel the getter must clear or keep).
struct GetterCase {
  const char *name;
  bool clears;  // absent: value set to 0 (else left alone)
  std::function<OSStatus(QTAtomContainer, UInt32 *value, Boolean *found)> get;
};

std::vector<GetterCase> GetterCases() {
  auto b = [](auto fn) {
    return [fn](QTAtomContainer c, UInt32 *value, Boolean *found) {
      Boolean v = Boolean(*value);
      OSStatus err = fn(c, &v, found);
      *value = v;
      return err;
    };
  };
  auto b2 = [](auto fn) {
    return [fn](QTAtomContainer c, UInt32 *value, Boolean *found) {
      Boolean v = Boolean(*value), parent = true;
      OSStatus err = fn(c, &v, &parent, found);
      *value = v;
      return err;
    };
  };
  auto w2 = [](auto fn) {
    return [fn](QTAtomContainer c, UInt32 *value, Boolean *found) {
      Boolean parent = true;
      return fn(c, value, &parent, found);
    };
  };
  auto s2 = [](auto fn) {
    return [fn](QTAtomContainer c, UInt32 *value, Boolean *found) {
      SInt32 v = SInt32(*value);
      Boolean parent = true;
      OSStatus err = fn(c, &v, &parent, found);
      *value = UInt32(v);
      return err;
    };
  };
  return {
      {"PAL", true, b(QT_GetExportToPAL_FromExportSettContainer)},
      {"16x9", true, b(QT_Get16x9_FromExportSettContainer)},
      {"Progressive", true, b(QT_GetProgressiveFromExportSettContainer)},
      {"LockedAudio", true, b(QT_GetLockedAudioFromExportSettContainer)},
      {"DVType", true, [](QTAtomContainer c, UInt32 *v, Boolean *f) { return QT_GetDVTypeFromExportSettContainer(c, v, f); }},
      {"VideoCompression", true, b(QT_IsVideoCompressionEnabled)},
      {"SoundCompression", true, b(QT_IsSoundCompressionEnabled)},
      {"ModernWidth", true, s2(QT_GetModernWidthFromExportSettContainer)},
      {"ModernHeight", true, s2(QT_GetModernHeightFromExportSettContainer)},
      {"Width", true, s2(QT_GetWidthFromExportSettContainer)},
      {"Height", true, s2(QT_GetHeightFromExportSettContainer)},
      {"ClassicalWidth", true, s2(QT_GetClassicalWidthFromExportSettContainer)},
      {"ClassicalHeight", true, s2(QT_GetClassicalHeightFromExportSettContainer)},
      {"FastStart", true, b2(QT_GetFastStartFromExportSettContainer)},
      {"ComprMovieHeader", true, b2(QT_GetComprMovieHeaderFromExportSettContainer)},
      {"SampleRate", true, w2(QT_GetSampleRateFromExportSettContainer)},
      {"ScalingMode", false, w2(QT_GetScalingModeFromExportSettContainer)},
      {"Deinterlace", false, b2(QT_GetDeinterlaceFromExportSettContainer)},
      {"UseCodecEnfDims", false, b2(QT_GetUseCodecEnfDimsFromExportSettContainer)},
      {"FrameRate", false,
       [](QTAtomContainer c, UInt32 *v, Boolean *f) {
         Fixed rate = Fixed(*v);
         Boolean parent = true;
         OSStatus err = QT_GetFrameRateInExportSettContainer(c, &rate, &parent, f);
         *v = UInt32(rate);
         return err;
       }},
      // Without 'soun' these keep their value.
      {"SampleSize", false,
       [](QTAtomContainer c, UInt32 *v, Boolean *f) {
         UInt16 size = UInt16(*v);
         Boolean parent = true;
         OSStatus err = QT_GetSampleSizeFromExportSettContainer(c, &size, &parent, f);
         *v = size;
         return err;
       }},
      {"SoundCompr", false, w2(QT_GetSoundComprFromExportSettContainer)},
  };
}

TEST(MovieExportSettings, EmptyContainerAnswersNotFound) {
  Settings empty;
  for (const GetterCase &g : GetterCases()) {
    SCOPED_TRACE(g.name);
    for (QTAtomContainer c : {empty.c, QTAtomContainer(nullptr)}) {
      if (c == nullptr && std::string(g.name) == "DVType") continue;  // a null container is an error there
      UInt32 value = 1;  // a Boolean sentinel: true
      Boolean found = true;
      EXPECT_EQ(noErr, g.get(c, &value, &found));
      EXPECT_FALSE(found);
      EXPECT_EQ(g.clears ? 0u : 1u, value);
    }
  }
  OSType dvType = 1;
  Boolean found = true;
  EXPECT_EQ(kGL_NilPointerErr, QT_GetDVTypeFromExportSettContainer(nullptr, &dvType, &found));
  EXPECT_FALSE(found);

  QT_ExportSizeSettings size;
  std::memset(&size, 0x55, sizeof(size));
  Boolean isDV = true;
  ASSERT_EQ(noErr, DE_GetExportSizeSettingsFromExportSettContainer(empty.c, &size, &isDV));
  EXPECT_FALSE(isDV);
  EXPECT_EQ(0, size.width);
  EXPECT_EQ(0, size.height);
  EXPECT_EQ(OSType('sp2p'), size.scalingMode);
  EXPECT_FALSE(size.useCodecEnfDims);
  EXPECT_FALSE(size.deiSrc);
  EXPECT_EQ(0, size.clap.cleanApertureWidthN);
  EXPECT_EQ(0, size.clap.vertOffD);
  EXPECT_EQ(0, size.pasp.hSpacing);
  EXPECT_EQ(0, size.pasp.vSpacing);

  // Sample size, channel count and compression are cleared when 'soun' is there without them.
  Settings sound;
  sound.Container('soun');
  UInt16 count = 7;
  OSType compr = 7;
  Boolean parent = false;
  EXPECT_EQ(noErr, QT_GetChannelCountFromExportSettContainer(sound.c, &count, &parent, &found));
  EXPECT_TRUE(parent);
  EXPECT_FALSE(found);
  EXPECT_EQ(0, count);
  EXPECT_EQ(noErr, QT_GetSoundComprFromExportSettContainer(sound.c, &compr, &parent, &found));
  EXPECT_EQ(0u, compr);
}

// ---- Filled containers ----

TEST(MovieExportSettings, GettersReadBigEndianValuesWrittenByHand) {
  Settings s;
  s.Put(0, 'dvcv', {0});
  s.Put(0, '16x9', {1});
  s.Put(0, 'dvcf', BE32('dvp5'));
  s.Put(0, 'ftyp', BE32('JPEG'));
  s.Put(0, 0x2220223F, {1});
  QTAtom size = s.Container('isiz');
  s.Put(size, 'iwdt', BE32(720));
  s.Put(size, 'ihgt', BE32(576));
  s.Put(size, 'scam', BE32('letb'));
  s.Put(size, 'pasp', Join({BE32(59), BE32(54)}));
  s.Put(s.Find('isiz'), 'clap', Join({BE32(702), BE32(1), BE32(576), BE32(1), BE32(UInt32(-1)), BE32(2), BE32(0), BE32(1)}));
  QTAtom video = s.Container('vide');
  s.Put(video, 'sptl', Join({BE32('dvcp'), BE32(UInt32(-2)), {0, 24}, BE32(0x300)}));
  s.Put(s.Find('vide'), 'tprl', Join({BE32(0x100), BE32(25 << 16), BE32(12)}));
  s.Put(s.Find('vide'), 'drat', Join({BE32(3600000), BE32(40), BE32(0x100), BE32(0x80)}));
  s.Put(s.Find('vide'), 'tdrt', BE32(1000000));
  s.Put(s.Find('vide'), 'cdec', {9, 8, 7});
  s.Put(s.Find('vide'), 'wdth', BE32(640 << 16));
  QTAtom sound = s.Container('soun');
  s.Put(sound, 'ssrt', BE32(44100u << 16));
  s.Put(s.Find('soun'), 'ssss', {0, 24});
  s.Put(s.Find('soun'), 'sscc', {0, 6});
  s.Put(s.Find('soun'), 'ssct', BE32('lpcm'));
  s.Container('save');
  s.Put(s.Find('save'), 'fast', {1});
  s.Container('time');
  s.Put(s.Find('time'), 'fps ', BE32(30 << 16));

  Boolean value = false, found = false, parent = false;
  EXPECT_EQ(noErr, QT_GetExportToPAL_FromExportSettContainer(s.c, &value, &found));
  EXPECT_TRUE(value && found);
  EXPECT_EQ(noErr, QT_Get16x9_FromExportSettContainer(s.c, &value, &found));
  EXPECT_TRUE(value && found);
  OSType type = 0;
  EXPECT_EQ(noErr, QT_GetDVTypeFromExportSettContainer(s.c, &type, &found));
  EXPECT_EQ(OSType('dvp5'), type);

  QT_ExportSizeSettings sz{};
  Boolean isDV = false;
  ASSERT_EQ(noErr, DE_GetExportSizeSettingsFromExportSettContainer(s.c, &sz, &isDV));
  EXPECT_TRUE(isDV);
  EXPECT_EQ(720, sz.width);
  EXPECT_EQ(576, sz.height);
  EXPECT_EQ(OSType('letb'), sz.scalingMode);
  EXPECT_EQ(59, sz.pasp.hSpacing);
  EXPECT_EQ(54, sz.pasp.vSpacing);
  EXPECT_EQ(702, sz.clap.cleanApertureWidthN);
  EXPECT_EQ(-1, sz.clap.horizOffN);
  EXPECT_EQ(2, sz.clap.horizOffD);

  SCSpatialSettings spatial{};
  ASSERT_EQ(noErr, QT_GetSpatialSettingsFromExportSettContainer(s.c, &spatial, &parent, &found));
  EXPECT_TRUE(parent && found);
  EXPECT_EQ(OSType('dvcp'), spatial.codecType);
  EXPECT_EQ(bestFidelityCodec, spatial.codec);
  EXPECT_EQ(24, spatial.depth);
  EXPECT_EQ(0x300u, spatial.spatialQuality);
  SCTemporalSettings temporal{};
  ASSERT_EQ(noErr, QT_GetTemporalSettingsFromExportSettContainer(s.c, &temporal, &parent, &found));
  EXPECT_EQ(Fixed(25 << 16), temporal.frameRate);
  EXPECT_EQ(12, temporal.keyFrameRate);
  SCDataRateSettings dataRate{};
  ASSERT_EQ(noErr, QT_GetDataRateSettingsFromExportSettContainer(s.c, &dataRate, &parent, &found));
  EXPECT_EQ(3600000, dataRate.dataRate);
  EXPECT_EQ(40, dataRate.frameDuration);
  EXPECT_EQ(0x80u, dataRate.minTemporalQuality);
  SInt32 rate = 0;
  ASSERT_EQ(noErr, QT_GetDataRateFromExportSettContainer(s.c, &rate, &found));
  EXPECT_EQ(1000000, rate);
  SInt32 width = 0;
  ASSERT_EQ(noErr, QT_GetClassicalWidthFromExportSettContainer(s.c, &width, &parent, &found));
  EXPECT_EQ(640, width);

  CodecType codecType = 0;
  Handle codecSett = nullptr;
  ASSERT_EQ(noErr, QT_GetCodecSettingsFromQTMovieExportSettContainer(s.c, &codecType, &codecSett));
  EXPECT_EQ(OSType('dvcp'), codecType);
  ASSERT_NE(nullptr, codecSett);
  EXPECT_EQ((std::vector<UInt8>{9, 8, 7}), std::vector<UInt8>(*codecSett, *codecSett + GetHandleSize(codecSett)));
  DisposeHandle(codecSett);

  UnsignedFixed sampleRate = 0;
  UInt16 sampleSize = 0, channels = 0;
  OSType compr = 0;
  ASSERT_EQ(noErr, QT_GetSampleRateFromExportSettContainer(s.c, &sampleRate, &parent, &found));
  EXPECT_EQ(44100u << 16, sampleRate);
  ASSERT_EQ(noErr, QT_GetSampleSizeFromExportSettContainer(s.c, &sampleSize, &parent, &found));
  ASSERT_EQ(noErr, QT_GetChannelCountFromExportSettContainer(s.c, &channels, &parent, &found));
  ASSERT_EQ(noErr, QT_GetSoundComprFromExportSettContainer(s.c, &compr, &parent, &found));
  EXPECT_EQ(24, sampleSize);
  EXPECT_EQ(6, channels);
  EXPECT_EQ(OSType('lpcm'), compr);
  ASSERT_EQ(noErr, QT_GetFastStartFromExportSettContainer(s.c, &value, &parent, &found));
  EXPECT_TRUE(value && parent && found);

  OSType fileType = 0;
  Fixed frameRate = 0;
  Boolean addSpace = false;
  ASSERT_EQ(noErr, QT_GetImageSequenceExportSett(s.c, &fileType, &frameRate, &addSpace));
  EXPECT_EQ(OSType('JPEG'), fileType);
  EXPECT_EQ(Fixed(30 << 16), frameRate);
  EXPECT_TRUE(addSpace);
}

TEST(MovieExportSettings, ShortOrMisplacedDataCountsAsAbsent) {
  Settings s;
  s.Put(0, 'dvcf', {'d', 'v'});
  QTAtom video = s.Container('vide');
  s.Put(video, 'sptl', {'d', 'v', 'c', ' ', 0, 0});
  s.Put(s.Find('vide'), 'tprl', BE32(0x100));  // too short for the frame rate
  s.Put(0, 'isiz', {1, 2, 3});                 // data where a container belongs
  OSType dvType = 1;
  Boolean found = true, parent = false;
  EXPECT_EQ(noErr, QT_GetDVTypeFromExportSettContainer(s.c, &dvType, &found));
  EXPECT_FALSE(found);
  EXPECT_EQ(0u, dvType);
  SCSpatialSettings spatial{'none', nullptr, 1, 2};
  EXPECT_EQ(noErr, QT_GetSpatialSettingsFromExportSettContainer(s.c, &spatial, &parent, &found));
  EXPECT_TRUE(parent);
  EXPECT_FALSE(found);
  EXPECT_EQ(OSType('none'), spatial.codecType);
  Fixed rate = 5;
  EXPECT_EQ(noErr, QT_SetFrameRateInExportSettContainer(s.c, 30 << 16, &parent, &found));
  EXPECT_FALSE(found);
  EXPECT_EQ(noErr, QT_GetFrameRateInExportSettContainer(s.c, &rate, &parent, &found));
  EXPECT_EQ(5, rate);
  SInt32 width = 5;
  EXPECT_EQ(noErr, QT_GetModernWidthFromExportSettContainer(s.c, &width, &parent, &found));
  EXPECT_TRUE(parent);
  EXPECT_FALSE(found);
  EXPECT_EQ(0, width);
}

// ---- Setters ----

TEST(MovieExportSettings, PalIsStoredInvertedAndInsertedWhenMissing) {
  Settings s;
  Boolean found = true, pal = false;
  ASSERT_EQ(noErr, QT_SetExportToPAL_InExportSettContainer(s.c, true, &found));
  EXPECT_FALSE(found);  // it was not there before
  Ptr data = nullptr;
  SInt32 size = 0;
  ASSERT_EQ(noErr, QTGetAtomDataPtr(s.c, s.Find('dvcv'), &size, &data));
  EXPECT_EQ(1, size);
  EXPECT_EQ(0, data[0]);
  QTAtomID id = 0;
  QTGetAtomTypeAndID(s.c, s.Find('dvcv'), nullptr, &id);
  EXPECT_EQ(1, id);
  ASSERT_EQ(noErr, QT_GetExportToPAL_FromExportSettContainer(s.c, &pal, &found));
  EXPECT_TRUE(pal && found);
  ASSERT_EQ(noErr, QT_SetExportToPAL_InExportSettContainer(s.c, false, &found));
  EXPECT_TRUE(found);
  ASSERT_EQ(noErr, QT_GetExportToPAL_FromExportSettContainer(s.c, &pal, &found));
  EXPECT_FALSE(pal);
  EXPECT_EQ(1, QTCountChildrenOfType(s.c, 0, 'dvcv'));

  // The same for the other inserting Booleans.
  ASSERT_EQ(noErr, QT_Set16x9_InExportSettContainer(s.c, true, &found));
  ASSERT_EQ(noErr, QT_SetProgressiveInExportSettContainer(s.c, true, &found));
  ASSERT_EQ(noErr, QT_SetLockedAudioInExportSettContainer(s.c, false, &found));
  Boolean v = false;
  EXPECT_EQ(noErr, QT_GetProgressiveFromExportSettContainer(s.c, &v, &found));
  EXPECT_TRUE(v && found);
  EXPECT_EQ(noErr, QT_GetLockedAudioFromExportSettContainer(s.c, &v, &found));
  EXPECT_TRUE(found);
  EXPECT_FALSE(v);
}

TEST(MovieExportSettings, SettersThatOnlyReplaceLeaveAnEmptyContainerAlone) {
  Settings s;
  const std::vector<UInt8> before = s.Bytes();
  Boolean found = true, parent = true;
  QT_ClapExt clap{1, 1, 1, 1, 0, 1, 0, 1};
  QT_PaspExt pasp{1, 1};
  SCSpatialSettings spatial{'jpeg', nullptr, 24, 0x200};
  EXPECT_EQ(noErr, QT_SetDVTypeInExportSettContainer(s.c, 'dv  ', &found));
  EXPECT_FALSE(found);
  EXPECT_EQ(noErr, QT_SetScalingModeInExportSettContainer(s.c, 'letb', &parent, &found));
  EXPECT_EQ(noErr, QT_SetDeinterlaceInExportSettContainer(s.c, true, &parent, &found));
  EXPECT_EQ(noErr, QT_SetUseCodecEnfDimsInExportSettContainer(s.c, true, &parent, &found));
  EXPECT_EQ(noErr, QT_SetClapInExportSettContainer(s.c, &clap, &parent, &found));
  EXPECT_EQ(noErr, QT_SetPaspInExportSettContainer(s.c, &pasp, &parent, &found));
  EXPECT_EQ(noErr, QT_SetSpatialSettingsInExportSettContainer(s.c, &spatial, &parent, &found));
  EXPECT_EQ(noErr, QT_SetFrameRateInExportSettContainer(s.c, 25 << 16, &parent, &found));
  EXPECT_EQ(noErr, QT_SetTimeScaleInExportSettContainer(s.c, 2500, &parent, &found));
  EXPECT_EQ(noErr, QT_SetSampleRateInExportSettContainer(s.c, 48000u << 16, &parent, &found));
  EXPECT_EQ(noErr, QT_SetWidthInExportSettContainer(s.c, 720, &parent, &found));
  EXPECT_EQ(noErr, QT_SetHeightInExportSettContainer(s.c, 576, &parent, &found));
  EXPECT_EQ(noErr, QT_SetDefaultScalingModeInExportSettContainer(s.c, &found));
  EXPECT_FALSE(found);
  EXPECT_FALSE(parent);
  EXPECT_EQ(before, s.Bytes());
  // A grouped size write on it changes nothing either.
  QT_ExportSizeSettings size{720, 576, pasp, clap, 'letb', true, true};
  Boolean sizeFound = true;
  EXPECT_EQ(noErr, DE_SetExportSizeSettingsInExportSettContainer(s.c, &sizeFound, &size));
  EXPECT_FALSE(sizeFound);
  EXPECT_EQ(before, s.Bytes());
}

TEST(MovieExportSettings, ReplacingSettersKeepByteOrderAndNeighbours) {
  Settings s;
  QTAtom size = s.Container('isiz');
  s.Put(size, 'scam', BE32('letb'));
  s.Put(s.Find('isiz'), 'clap', std::vector<UInt8>(32, 0));
  s.Put(s.Find('isiz'), 'iwdt', BE32(0));
  QTAtom video = s.Container('vide');
  s.Put(video, 'tprl', Join({BE32(0x100), BE32(0), BE32(12)}));
  s.Put(s.Find('vide'), 'tmsc', BE32(600));
  s.Put(s.Find('vide'), 'wdth', BE32(0));
  s.Put(0, 'ssrt', BE32(32000u << 16));  // at the root: no 'soun'
  Boolean parent = false, found = false;

  // 'sp2p' is stored as 0, read back as 0; the size getter turns it into 'sp2p'.
  ASSERT_EQ(noErr, QT_SetScalingModeInExportSettContainer(s.c, 'sp2p', &parent, &found));
  EXPECT_TRUE(parent && found);
  OSType mode = 1;
  ASSERT_EQ(noErr, QT_GetScalingModeFromExportSettContainer(s.c, &mode, &parent, &found));
  EXPECT_EQ(0u, mode);
  QT_ExportSizeSettings sz{};
  ASSERT_EQ(noErr, DE_GetExportSizeSettingsFromExportSettContainer(s.c, &sz, nullptr));
  EXPECT_EQ(OSType('sp2p'), sz.scalingMode);
  // The default keeps a stored 0 and replaces any other mode by the code itself.
  ASSERT_EQ(noErr, QT_SetDefaultScalingModeInExportSettContainer(s.c, &found));
  EXPECT_FALSE(found);
  ASSERT_EQ(noErr, QT_SetScalingModeInExportSettContainer(s.c, 'fit ', &parent, &found));
  ASSERT_EQ(noErr, QT_SetDefaultScalingModeInExportSettContainer(s.c, &found));
  EXPECT_TRUE(found);
  ASSERT_EQ(noErr, QT_GetScalingModeFromExportSettContainer(s.c, &mode, &parent, &found));
  EXPECT_EQ(OSType('sp2p'), mode);

  QT_ClapExt clap{702, 1, 572, 1, -3, 2, 1, 1};
  ASSERT_EQ(noErr, QT_SetClapInExportSettContainer(s.c, &clap, &parent, &found));
  EXPECT_TRUE(found);
  Ptr data = nullptr;
  ASSERT_EQ(noErr, QTGetAtomDataPtr(s.c, QTFindChildByIndex(s.c, s.Find('isiz'), 'clap', 1, nullptr), nullptr, &data));
  EXPECT_EQ(BE32(702), std::vector<UInt8>(data, data + 4));
  EXPECT_EQ(BE32(UInt32(-3)), std::vector<UInt8>(data + 16, data + 20));

  // Width: the modern atom and the classical one (as Fixed) are both written.
  ASSERT_EQ(noErr, QT_SetWidthInExportSettContainer(s.c, 1280, &parent, &found));
  EXPECT_TRUE(parent && found);
  SInt32 modern = 0, classical = 0;
  QT_GetModernWidthFromExportSettContainer(s.c, &modern, &parent, &found);
  QT_GetClassicalWidthFromExportSettContainer(s.c, &classical, &parent, &found);
  EXPECT_EQ(1280, modern);
  EXPECT_EQ(1280, classical);
  ASSERT_EQ(noErr, QTGetAtomDataPtr(s.c, QTFindChildByIndex(s.c, s.Find('vide'), 'wdth', 1, nullptr), nullptr, &data));
  EXPECT_EQ(BE32(1280u << 16), std::vector<UInt8>(data, data + 4));

  // Frame rate goes into the second word of 'tprl' only; time scale and sample rate are replaced in place.
  ASSERT_EQ(noErr, QT_SetFrameRateInExportSettContainer(s.c, 30 << 16, &parent, &found));
  EXPECT_TRUE(found);
  SCTemporalSettings temporal{};
  ASSERT_EQ(noErr, QT_GetTemporalSettingsFromExportSettContainer(s.c, &temporal, &parent, &found));
  EXPECT_EQ(0x100u, temporal.temporalQuality);
  EXPECT_EQ(Fixed(30 << 16), temporal.frameRate);
  EXPECT_EQ(12, temporal.keyFrameRate);
  ASSERT_EQ(noErr, QT_SetTimeScaleInExportSettContainer(s.c, 2997, &parent, &found));
  EXPECT_TRUE(found);
  ASSERT_EQ(noErr, QT_SetSampleRateInExportSettContainer(s.c, 48000u << 16, &parent, &found));
  EXPECT_FALSE(parent);
  EXPECT_TRUE(found);
  UnsignedFixed rate = 0;
  ASSERT_EQ(noErr, QT_GetSampleRateFromExportSettContainer(s.c, &rate, &parent, &found));
  EXPECT_EQ(48000u << 16, rate);
}

TEST(MovieExportSettings, CompressionSwitches) {
  Settings s;
  Boolean enabled = false, found = false;
  ASSERT_EQ(noErr, QT_EnableVideoCompression(s.c, true));
  ASSERT_EQ(noErr, QT_EnableVideoCompression(s.c, false));
  EXPECT_EQ(1, QTCountChildrenOfType(s.c, 0, 'envi'));
  ASSERT_EQ(noErr, QT_IsVideoCompressionEnabled(s.c, &enabled, &found));
  EXPECT_TRUE(found);
  EXPECT_FALSE(enabled);
  // The second form removes the atom when disabling and inserts 1 only when it is missing.
  ASSERT_EQ(noErr, QT_EnableVideoCompression2(s.c, true));
  ASSERT_EQ(noErr, QT_IsVideoCompressionEnabled(s.c, &enabled, &found));
  EXPECT_FALSE(enabled);
  ASSERT_EQ(noErr, QT_EnableVideoCompression2(s.c, false));
  EXPECT_EQ(0, QTCountChildrenOfType(s.c, 0, 'envi'));
  ASSERT_EQ(noErr, QT_EnableVideoCompression2(s.c, false));
  ASSERT_EQ(noErr, QT_EnableVideoCompression2(s.c, true));
  ASSERT_EQ(noErr, QT_IsVideoCompressionEnabled(s.c, &enabled, &found));
  EXPECT_TRUE(enabled && found);
  // Pass-through replaces the byte with the code 'past'.
  ASSERT_EQ(noErr, QT_SetVideoPassThroughInExportSettContainer(s.c, &found));
  EXPECT_TRUE(found);
  SInt32 size = 0;
  Ptr data = nullptr;
  ASSERT_EQ(noErr, QTGetAtomDataPtr(s.c, s.Find('envi'), &size, &data));
  EXPECT_EQ(BE32('past'), std::vector<UInt8>(data, data + size));
  ASSERT_EQ(noErr, QT_EnableSoundCompression(s.c, true));
  ASSERT_EQ(noErr, QT_IsSoundCompressionEnabled(s.c, &enabled, &found));
  EXPECT_TRUE(enabled && found);
}

// ---- Grouped settings ----

TEST(MovieExportSettings, DVSettingsNeedEveryAtom) {
  Settings s;
  QT_DV_ExportSettings dv{'dvp ', true, true, 'letb', true, false};
  // Each write stops at the first missing atom, after an inserting setter has put it in: PAL, 16:9 and
  // progressive arrive one call at a time; the DV type is never inserted.
  for (OSType inserted : {'dvcv', '16x9', 'prog'}) {
    EXPECT_EQ(0, QTCountChildrenOfType(s.c, 0, inserted));
    EXPECT_EQ(cannotFindAtomErr, QT_SetDV_SettingsInExportSettContainer(s.c, &dv));
    EXPECT_EQ(1, QTCountChildrenOfType(s.c, 0, inserted));
  }
  EXPECT_EQ(cannotFindAtomErr, QT_SetDV_SettingsInExportSettContainer(s.c, &dv));
  EXPECT_EQ(0, QTCountChildrenOfType(s.c, 0, 'dvcf'));
  EXPECT_EQ(0, QTCountChildrenOfType(s.c, 0, 'lock'));
  QT_DV_ExportSettings read{};
  EXPECT_EQ(cannotFindAtomErr, QT_GetDV_SettingsFromExportSettContainer(s.c, &read));

  s.Put(0, 'dvcf', BE32('dv  '));
  // The locked-audio atom is inserted now, and reported missing this once.
  EXPECT_EQ(cannotFindAtomErr, QT_SetDV_SettingsInExportSettContainer(s.c, &dv));
  s.Put(0, 'scam', BE32(0));
  ASSERT_EQ(noErr, QT_SetDV_SettingsInExportSettContainer(s.c, &dv));
  ASSERT_EQ(noErr, QT_GetDV_SettingsFromExportSettContainer(s.c, &read));
  EXPECT_EQ(OSType('dvp '), read.dvType);
  EXPECT_TRUE(read.exportPAL);
  EXPECT_TRUE(read.is16x9);
  EXPECT_TRUE(read.progressive);
  EXPECT_FALSE(read.lockedAudio);
  EXPECT_EQ(OSType('letb'), read.scalingMode);
}

TEST(MovieExportSettings, SizeSettingsRoundTrip) {
  Settings s;
  s.Put(0, 'dvcv', {1});
  QTAtom size = s.Container('isiz');
  for (OSType type : {'iwdt', 'ihgt', 'scam'}) s.Put(QTFindChildByIndex(s.c, 0, 'isiz', 1, nullptr), type, BE32(0));
  (void)size;
  for (OSType type : {'dint', 'uenf'}) s.Put(s.Find('isiz'), type, {0});
  s.Put(s.Find('isiz'), 'clap', std::vector<UInt8>(32, 0));
  s.Put(s.Find('isiz'), 'pasp', std::vector<UInt8>(8, 0));
  QT_ExportSizeSettings in{1024, 576, {16, 15}, {702, 1, 576, 1, -1, 2, 0, 1}, 'fit ', true, true};
  Boolean sizeFound = false;
  ASSERT_EQ(noErr, DE_SetExportSizeSettingsInExportSettContainer(s.c, &sizeFound, &in));
  EXPECT_TRUE(sizeFound);
  QT_ExportSizeSettings out{};
  Boolean isDV = false;
  ASSERT_EQ(noErr, DE_GetExportSizeSettingsFromExportSettContainer(s.c, &out, &isDV));
  EXPECT_TRUE(isDV);
  EXPECT_EQ(0, std::memcmp(&in, &out, sizeof(in)));
}

TEST(MovieExportSettings, CorrectPalSettingForDVStream) {
  struct Case {
    SInt32 height;
    UInt8 stored;  // 'dvcv' byte: 0 PAL, 1 NTSC
    UInt8 expected;
  };
  for (Case c : {Case{576, 1, 0}, Case{576, 0, 0}, Case{480, 0, 1}, Case{480, 1, 1}, Case{720, 1, 1}, Case{720, 0, 0}}) {
    SCOPED_TRACE(c.height);
    Settings s;
    s.Put(0, 'dvcv', {c.stored});
    ASSERT_EQ(noErr, QT_CorrectPAL_SettingForDV_Stream(c.height, s.c));
    Ptr data = nullptr;
    ASSERT_EQ(noErr, QTGetAtomDataPtr(s.c, s.Find('dvcv'), nullptr, &data));
    EXPECT_EQ(c.expected, UInt8(data[0]));
  }
  Settings none;
  const std::vector<UInt8> before = none.Bytes();
  EXPECT_EQ(noErr, QT_CorrectPAL_SettingForDV_Stream(576, none.c));
  EXPECT_EQ(before, none.Bytes());
}

// ---- Exporters and the input movie ----

TEST(MovieExportSettings, SampleRateForExportFollowsTheSource) {
  struct Case {
    TimeScale soundRate;  // 0: no sound track
    UInt32 expected;
  };
  for (Case c : {Case{22050, 48000}, Case{44100, 44100}, Case{32000, 32000}, Case{48000, 48000}, Case{96000, 48000},
                 Case{0, 48000}}) {
    SCOPED_TRACE(c.soundRate);
    bz_test::BuiltMovie movie;
    if (c.soundRate != 0) {
      Track track = bz_test::AddBuiltTrack(movie.movie, SoundMediaType, c.soundRate, {{1000, 4000}});
      bz_test::InsertWholeMedia(track);
    }
    Settings s;
    s.Container('soun');
    s.Put(s.Find('soun'), 'ssrt', BE32(8000u << 16));
    ASSERT_EQ(noErr, QT_SetInSampleRateForExport(movie.movie, s.c));
    UnsignedFixed rate = 0;
    Boolean parent = false, found = false;
    ASSERT_EQ(noErr, QT_GetSampleRateFromExportSettContainer(s.c, &rate, &parent, &found));
    EXPECT_EQ(c.expected << 16, rate);
  }
}

TEST(MovieExportSettings, ExporterDefaultsAndNames) {
  QTAtomContainer settings = nullptr;
  ASSERT_EQ(noErr, QT_GetExportComponentDefaultSettByType('MooV', kAppleManufacturer, &settings));
  ASSERT_NE(nullptr, settings);
  EXPECT_EQ(noErr, PL_CheckAtomContainer(settings));
  Boolean enabled = true, found = false;
  EXPECT_EQ(noErr, QT_IsVideoCompressionEnabled(settings, &enabled, &found));
  EXPECT_TRUE(found);
  EXPECT_FALSE(enabled);
  QTDisposeAtomContainer(settings);
  settings = reinterpret_cast<QTAtomContainer>(1);
  EXPECT_EQ(noCodecErr, QT_GetExportComponentDefaultSettByType('none', 0, &settings));
  EXPECT_EQ(nullptr, settings);

  // By name: the same defaults as by type; an unknown name is no error and gives no container.
  ASSERT_EQ(noErr, QT_GetExportComponentDefaultSettByName("DV Stream", &settings));
  ASSERT_NE(nullptr, settings);
  QTAtomContainer byType = nullptr;
  ASSERT_EQ(noErr, QT_GetExportComponentDefaultSettByType(kQTFileTypeDVC, kAppleManufacturer, &byType));
  EXPECT_EQ(GetHandleSize(reinterpret_cast<Handle>(byType)), GetHandleSize(reinterpret_cast<Handle>(settings)));
  EXPECT_EQ(0, std::memcmp(*reinterpret_cast<Handle>(byType), *reinterpret_cast<Handle>(settings),
                           size_t(GetHandleSize(reinterpret_cast<Handle>(settings)))));
  Boolean pal = false;
  EXPECT_EQ(noErr, QT_GetExportToPAL_FromExportSettContainer(settings, &pal, &found));
  EXPECT_TRUE(found);  // a DV exporter's settings
  QTDisposeAtomContainer(byType);
  QTDisposeAtomContainer(settings);
  settings = reinterpret_cast<QTAtomContainer>(1);
  EXPECT_EQ(noErr, QT_GetExportComponentDefaultSettByName("DV stream", &settings));  // names are exact
  EXPECT_EQ(nullptr, settings);
  EXPECT_EQ(paramErr, QT_GetExportComponentDefaultSettByName(nullptr, &settings));

  EXPECT_TRUE(QT_ExpCompCanOmitSound("QuickTime Movie"));
  EXPECT_FALSE(QT_ExpCompCanOmitSound("QuickTime"));
  EXPECT_FALSE(QT_ExpCompCanOmitSound(nullptr));

  MovieExportComponent ci = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent(MovieExportType, 'MooV', &ci));
  EXPECT_EQ(noErr, CA_EnableHighResolutionAudio(ci));
  Boolean on = false;
  EXPECT_EQ(noErr, QTGetComponentProperty(ci, 'spit', 'hrau', 1, &on, nullptr));
  EXPECT_TRUE(on);
  // An exporter is no DV compressor: its answer comes back and the record stays as it was.
  QT_DV_ExportSettings dv{'dv  ', true, true, 0, true, true};
  EXPECT_EQ(kQTPropertyNotSupportedErr, QT_GetDV_SettingsAsProps(ci, &dv));
  EXPECT_TRUE(dv.progressive && dv.is16x9);
  EXPECT_EQ(kQTPropertyNotSupportedErr, QT_SetDV_SettingsAsProps(ci, &dv));
  CloseComponent(ci);
}

TEST(MovieExportSettings, SettingsFromAnExporter) {
  MovieExportComponent ci = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent(MovieExportType, kQTFileTypeMP4, &ci));
  SCSpatialSettings spatial{};
  SCTemporalSettings temporal{};
  SCDataRateSettings dataRate{-1, -1, 0, 0};
  Handle codecSett = reinterpret_cast<Handle>(1);
  ASSERT_EQ(noErr, QT_GetSettFromExportComponent(ci, &spatial, &temporal, &dataRate, &codecSett));
  EXPECT_TRUE(spatial.codecType == 'avc1' || spatial.codecType == 'mp4v');
  EXPECT_EQ(24, temporal.keyFrameRate);
  EXPECT_EQ(0, dataRate.dataRate);
  EXPECT_EQ(nullptr, codecSett);

  // Codec settings in the exporter's settings come back as a handle of their own.
  QTAtomContainer settings = nullptr;
  ASSERT_EQ(noErr, MovieExportGetSettingsAsAtomContainer(ci, &settings));
  QTAtom video = QTFindChildByIndex(settings, 0, 'vide', 1, nullptr);
  ASSERT_EQ(noErr, QTInsertChild(settings, video, 'cdec', 1, 0, 4, "cdec", nullptr));
  ASSERT_EQ(noErr, MovieExportSetSettingsFromAtomContainer(ci, settings));
  QTDisposeAtomContainer(settings);
  ASSERT_EQ(noErr, QT_GetSettFromExportComponent(ci, nullptr, nullptr, nullptr, &codecSett));
  ASSERT_NE(nullptr, codecSett);
  EXPECT_EQ(4, GetHandleSize(codecSett));
  DisposeHandle(codecSett);
  CloseComponent(ci);
}

TEST(MovieExportSettings, FiveSecondSoundExport) {
  bz_test::TempDir dir;
  bz_test::FixtureMovieSpec spec;
  spec.frames = 4;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("source.mov"), spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(dir.File("source.mov"), &movie));
  const std::vector<UInt8> before = bz_test::ReadWholeFile(dir.File("source.mov"));
  EXPECT_EQ(noErr, QT_ExportFirstFiveSecOfSndUsingQTMovieExp(movie));
  EXPECT_EQ(before, bz_test::ReadWholeFile(dir.File("source.mov")));
  DisposeMovie(movie);
  EXPECT_EQ(invalidMovie, QT_ExportFirstFiveSecOfSndUsingQTMovieExp(nullptr));
}

// ---- The 'mdat' size of an MPEG-4 file ----

struct MdatFile {
  bz_test::TempDir dir;
  std::string path = dir.File("movie.mp4");
  FSRef ref{};
  explicit MdatFile(const std::vector<UInt8> &bytes, SInt64 sparseSize = 0) {
    EXPECT_TRUE(bz_test::WriteWholeFile(path, bytes));
    if (sparseSize > 0) {
      EXPECT_EQ(0, truncate(path.c_str(), off_t(sparseSize)));
    }
    EXPECT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr));
  }
  std::vector<UInt8> Head(size_t n) const {
    std::vector<UInt8> bytes(n);
    int fd = open(path.c_str(), O_RDONLY);
    EXPECT_EQ(ssize_t(n), pread(fd, bytes.data(), n, 0));
    close(fd);
    return bytes;
  }
};

std::vector<UInt8> Atom(OSType type, std::vector<UInt8> payload, SInt64 sizeField = -1) {
  std::vector<UInt8> atom = Join({BE32(UInt32(sizeField >= 0 ? sizeField : SInt64(payload.size() + 8))), BE32(type)});
  atom.insert(atom.end(), payload.begin(), payload.end());
  return atom;
}

TEST(MovieExportSettings, FixMpg4MdatLeavesGoodFilesAlone) {
  const std::vector<UInt8> payload(40, 0x6D);
  // The bytes 'mdat' inside the payload of an earlier atom must not be taken for the atom.
  const std::vector<UInt8> decoy = Join({BE32(20), BE32('mdat'), std::vector<UInt8>(12, 0)});
  struct Case {
    const char *name;
    std::vector<UInt8> bytes;
  };
  const Case cases[] = {
      {"PlainMdatAtEnd", Join({Atom('ftyp', BE32('mp42')), Atom('moov', {1, 2, 3}), Atom('mdat', payload)})},
      {"BehindWide", Join({Atom('wide', {}), Atom('mdat', payload)})},
      {"DecoyBeforeIt", Join({Atom('free', decoy), Atom('mdat', payload)})},
      {"LargeForm", Join({BE32(1), BE32('mdat'), {0, 0, 0, 0}, BE32(56), payload})},
      {"RunsToTheEnd", Join({Atom('ftyp', BE32('mp42')), Atom('mdat', payload, 0)})},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    MdatFile file(c.bytes);
    struct stat before;
    ASSERT_EQ(0, stat(file.path.c_str(), &before));
    EXPECT_EQ(noErr, QT_FixMpg4Mdat(&file.ref));
    EXPECT_EQ(c.bytes, bz_test::ReadWholeFile(file.path));
  }
}

TEST(MovieExportSettings, FixMpg4MdatRepairsOnlyTheHeader) {
  const std::vector<UInt8> payload(40, 0x6D);
  struct Case {
    const char *name;
    std::vector<UInt8> bytes;
    std::vector<UInt8> fixed;  // empty: unchanged
    OSStatus result;
  };
  const std::vector<UInt8> ftyp = Atom('ftyp', BE32('mp42'));
  const std::vector<UInt8> decoy = Join({BE32(20), BE32('mdat'), std::vector<UInt8>(12, 0)});
  const Case cases[] = {
      {"TooShort", Join({ftyp, Atom('mdat', payload, 16)}), Join({ftyp, Atom('mdat', payload)}), kQT_MdatHeaderErr},
      {"TooLong", Join({ftyp, Atom('mdat', payload, 4000)}), Join({ftyp, Atom('mdat', payload)}), kQT_MdatHeaderErr},
      {"AfterDecoy", Join({Atom('free', decoy), Atom('mdat', payload, 9)}), Join({Atom('free', decoy), Atom('mdat', payload)}),
       kQT_MdatHeaderErr},
      {"LargeFormWrong", Join({BE32(1), BE32('mdat'), {0, 0, 0, 1}, BE32(0), payload}),
       Join({BE32(1), BE32('mdat'), {0, 0, 0, 0}, BE32(56), payload}), kQT_MdatHeaderErr},
      {"NoMdat", Join({ftyp, Atom('moov', payload)}), {}, kQT_MdatHeaderErr},
      {"DamagedAtomBefore", Join({Atom('ftyp', BE32('mp42'), 4), Atom('mdat', payload)}), {}, kQT_MdatHeaderErr},
      {"AtomPastTheEndBefore", Join({Atom('ftyp', BE32('mp42'), 900), Atom('mdat', payload)}), {}, kQT_MdatHeaderErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    MdatFile file(c.bytes);
    EXPECT_EQ(c.result, QT_FixMpg4Mdat(&file.ref));
    EXPECT_EQ(c.fixed.empty() ? c.bytes : c.fixed, bz_test::ReadWholeFile(file.path));
    // A repaired file is then good.
    if (!c.fixed.empty()) {
      EXPECT_EQ(noErr, QT_FixMpg4Mdat(&file.ref));
    }
  }
  FSRef none{};
  EXPECT_NE(noErr, QT_FixMpg4Mdat(&none));
  EXPECT_EQ(paramErr, QT_FixMpg4Mdat(nullptr));
}

TEST(MovieExportSettings, FixMpg4MdatBeyond2GiBWritesHeaderBytesOnly) {
  // Sparse files: only the headers and a marker of media data hold bytes.
  const SInt64 size = 0x80000000LL + 4096;
  const std::vector<UInt8> marker = {'M', 'E', 'D', 'I', 'A', '!', '!', '!'};
  {
    // Behind an 8-byte 'wide' atom the header grows into it: size 1, 'mdat', 64-bit size of the file.
    MdatFile file(Join({Atom('wide', {}), Atom('mdat', marker, 16)}), size);
    EXPECT_EQ(kQT_MdatHeaderErr, QT_FixMpg4Mdat(&file.ref));
    EXPECT_EQ(Join({BE32(1), BE32('mdat'), BE32(0), BE32(0x80000000u + 4096), marker}), file.Head(24));
    EXPECT_EQ(noErr, QT_FixMpg4Mdat(&file.ref));
  }
  {
    // Without room for the 64-bit form nothing is written.
    const std::vector<UInt8> bytes = Join({Atom('ftyp', BE32('mp42')), Atom('mdat', marker, 16)});
    MdatFile file(bytes, size);
    EXPECT_EQ(kQT_MdatHeaderErr, QT_FixMpg4Mdat(&file.ref));
    EXPECT_EQ(bytes, file.Head(bytes.size()));
  }
}

}  // namespace
