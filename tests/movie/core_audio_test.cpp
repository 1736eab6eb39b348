// Core Audio routines on movies made by ffmpeg: the mix copied as PCM equals ffmpeg's decode of the source
// (exactly for PCM and DV sources); compressed to AAC and Apple Lossless it reads back in ffprobe with the
// source's rate, channels and duration (lossless exactly, AAC above a signal-to-noise floor); progress rises
// to 1 and a stop ends the copy; the property wrappers, audio files and sound descriptions; the refusals.
#include "movie/core_audio.h"

#include "platform/core/cf_data.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/sound_description_properties.h"
#include "platform/movie/standard_compression.h"
#include "platform/movie/track_editing.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace bz_test;

double Seconds(const std::string &text) { return std::atof(text.c_str()); }

std::string Decode(const std::string &path, const std::string &args = "-map 0:a -f s16le") {
  std::string out;
  RunCommand("ffmpeg -v error -i " + ShellQuote(path) + " " + args + " -", &out);
  return out;
}

std::vector<int16_t> Samples(const std::string &bytes) {
  std::vector<int16_t> s(bytes.size() / 2);
  if (!s.empty()) std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

// A target movie in a new file, and its saving.
struct Target {
  Movie movie = nullptr;
  DataHandler storage = nullptr;
  std::string path;
  explicit Target(const std::string &file) : path(file) {
    Handle dataRef = nullptr;
    OSType type = 0;
    EXPECT_EQ(PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type), noErr);
    EXPECT_EQ(CreateMovieStorage(dataRef, type, 'TVOD', -1, SInt32(createMovieFileDeleteCurFile), &storage, &movie), noErr);
    DisposeHandle(dataRef);
  }
  void Save() {
    ASSERT_EQ(AddMovieToStorage(movie, storage), noErr);
    ASSERT_EQ(CloseMovieStorage(storage), noErr);
    storage = nullptr;
  }
  ~Target() {
    if (storage != nullptr) CloseMovieStorage(storage);
    DisposeMovie(movie);
  }
};

struct Progress {
  std::vector<float> fractions;
  int stopAt = 0;  // the call (from 1) that answers stopResult
  OSStatus stopResult = 0;
  static OSStatus Proc(float fraction, void *refcon) {
    auto *p = static_cast<Progress *>(refcon);
    p->fractions.push_back(fraction);
    return int(p->fractions.size()) == p->stopAt ? p->stopResult : OSStatus(noErr);
  }
  ::testing::AssertionResult RisesToOne() const {
    if (fractions.empty()) return ::testing::AssertionFailure() << "no progress";
    for (size_t i = 1; i < fractions.size(); ++i)
      if (fractions[i] < fractions[i - 1]) return ::testing::AssertionFailure() << "falls at call " << i;
    if (fractions.back() != 1.0f) return ::testing::AssertionFailure() << "ends at " << fractions.back();
    return ::testing::AssertionSuccess();
  }
};

class CoreAudio : public ::testing::Test {
 protected:
  // A source movie made by ffmpeg from a lavfi sound.
  std::string MakeSource(const std::string &name, const std::string &args) {
    const std::string path = dir.File(name);
    EXPECT_EQ(RunCommand("ffmpeg -v error -y " + args + " " + ShellQuote(path)), 0) << args;
    return path;
  }
  Movie Open(const std::string &path) {
    Movie movie = nullptr;
    EXPECT_EQ(OpenMovieAtPath(path, &movie), noErr) << path;
    return movie;
  }
  TempDir dir;
};

// ---- Copying as PCM ----

struct CopyCase {
  const char *name;
  const char *args;
  int rate, channels;
  const char *codec;  // of the copy
  int tolerance;      // largest sample difference from ffmpeg's decode of the source
};

const CopyCase kCopyCases[] = {
    {"pcm_stereo", "-f lavfi -i sine=f=440:r=48000:d=0.7 -ac 2 -c:a pcm_s16le", 48000, 2, "pcm_s16le", 0},
    {"pcm_mono", "-f lavfi -i sine=f=300:r=44100:d=0.6 -ac 1 -c:a pcm_s16be", 44100, 1, "pcm_s16le", 0},
    {"pcm_six", "-f lavfi -i sine=f=500:r=48000:d=0.5 -ac 6 -c:a pcm_s16le", 48000, 6, "pcm_s16le", 0},
    {"pcm_24", "-f lavfi -i sine=f=700:r=48000:d=0.5 -ac 2 -c:a pcm_s24le", 48000, 2, "pcm_s24le", 0},
    {"aac_stereo", "-f lavfi -i sine=f=440:r=48000:d=0.7 -ac 2 -c:a aac -b:a 128k", 48000, 2, "pcm_s16le", 1},
};

class CoreAudioCopy : public CoreAudio, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CoreAudioCopy, CopyEqualsFfmpegsDecodeOfTheSource) {
  const CopyCase c = GetParam();
  const std::string src = MakeSource(std::string(c.name) + ".mov", c.args);
  Movie movie = Open(src);
  ASSERT_NE(movie, nullptr);
  const std::vector<uint8_t> before = ReadWholeFile(src);
  Progress progress;
  {
    Target target(dir.File(std::string(c.name) + ".out.mov"));
    ASSERT_EQ(CA_ExtractAudioFromMovieToMovie(movie, target.movie, Progress::Proc, &progress), noErr);
    EXPECT_EQ(GetMovieTrackCount(target.movie), 1);
    target.Save();
  }
  DisposeMovie(movie);
  EXPECT_TRUE(progress.RisesToOne());
  EXPECT_TRUE(before == ReadWholeFile(src)) << "the source changed";

  const std::string out = dir.File(std::string(c.name) + ".out.mov");
  auto probe = ProbeStream(out, "a:0");
  auto source = ProbeStream(src, "a:0");
  EXPECT_EQ(probe["codec_name"], c.codec);
  EXPECT_EQ(probe["sample_rate"], std::to_string(c.rate));
  EXPECT_EQ(probe["channels"], std::to_string(c.channels));
  EXPECT_NEAR(Seconds(probe["duration"]), Seconds(source["duration"]), 1024.0 / c.rate);

  const bool wide = std::string(c.codec) == "pcm_s24le";
  const std::string fmt = wide ? "-map 0:a -f s32le" : "-map 0:a -f s16le";
  const std::string expected = Decode(src, fmt), got = Decode(out, fmt);
  ASSERT_FALSE(expected.empty());
  if (c.tolerance == 0) {
    EXPECT_TRUE(expected == got) << expected.size() << " bytes expected, " << got.size() << " copied";
  } else {
    // ffmpeg's decode runs on to the end of the last packet; ours ends where the track's edit does.
    const std::vector<int16_t> e = Samples(expected), g = Samples(got);
    EXPECT_LE(std::max(e.size(), g.size()) - std::min(e.size(), g.size()), size_t(1024 * c.channels));
    int largest = 0;
    for (size_t i = 0; i < std::min(e.size(), g.size()); ++i) largest = std::max(largest, std::abs(int(e[i]) - int(g[i])));
    EXPECT_LE(largest, c.tolerance);
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, CoreAudioCopy, ::testing::ValuesIn(kCopyCases),
                         [](const ::testing::TestParamInfo<CopyCase> &info) { return std::string(info.param.name); });

// A DV source as a camera file holds it: DV frames as pictures, and a 'vdva' sound track of the same frames.
TEST_F(CoreAudio, SoundInsideDVFramesIsCopiedSampleForSample) {
  const std::string dv = dir.File("src.dv"), mov = dir.File("src.mov");
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=720x576:r=25 -f lavfi -i sine=f=440:r=48000 -t 0.4 "
                       "-ac 2 -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -f dv " + ShellQuote(dv)),
            0);
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -i " + ShellQuote(dv) + " -map 0:v -c copy " + ShellQuote(mov)), 0);
  Movie movie = Open(mov);
  ASSERT_NE(movie, nullptr);
  AddDVSoundTrack(movie, 48000);
  {
    Target target(dir.File("dv.out.mov"));
    ASSERT_EQ(CA_ExtractAudioFromMovieToMovie(movie, target.movie, nullptr, nullptr), noErr);
    target.Save();
  }
  DisposeMovie(movie);
  auto probe = ProbeStream(dir.File("dv.out.mov"), "a:0");
  EXPECT_EQ(probe["sample_rate"], "48000");
  EXPECT_EQ(probe["channels"], "2");
  EXPECT_NEAR(Seconds(probe["duration"]), 0.4, 1024.0 / 48000);
  const std::string expected = Decode(dv), got = Decode(dir.File("dv.out.mov"));
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(expected == got) << expected.size() << " bytes expected, " << got.size() << " copied";
}

TEST_F(CoreAudio, FillsOfFiveSecondsAndAStopThatRemovesTheTrack) {
  // 12 s of 44.1 kHz: fills of 220500 frames, so progress at 220500 / 529200 and 441000 / 529200, then 1.
  const std::string src = MakeSource("long.mov", "-f lavfi -i sine=f=440:r=44100:d=12 -ac 1 -c:a pcm_s16le");
  Movie movie = Open(src);
  ASSERT_NE(movie, nullptr);
  Progress progress;
  {
    Target target(dir.File("long.out.mov"));
    ASSERT_EQ(CA_ExtractAudioFromMovieToMovie(movie, target.movie, Progress::Proc, &progress), noErr);
  }
  ASSERT_EQ(progress.fractions.size(), 3u);
  EXPECT_FLOAT_EQ(progress.fractions[0], float(220500.0 / 529200.0));
  EXPECT_FLOAT_EQ(progress.fractions[1], float(441000.0 / 529200.0));
  EXPECT_EQ(progress.fractions[2], 1.0f);

  // A non-zero answer stops the copy with it, and the half-made track goes again.
  for (bool compress : {false, true}) {
    Progress stop;
    stop.stopAt = 1;
    stop.stopResult = userCanceledErr;
    Target target(dir.File(compress ? "stop2.mov" : "stop.mov"));
    const OSStatus err = compress ? CA_CompressSoundFromMovieToMovie(movie, nullptr, target.movie, Progress::Proc, &stop)
                                  : CA_ExtractAudioFromMovieToMovie(movie, target.movie, Progress::Proc, &stop);
    EXPECT_EQ(err, userCanceledErr);
    EXPECT_EQ(stop.fractions.size(), 1u);
    EXPECT_EQ(GetMovieTrackCount(target.movie), 0);
  }
  DisposeMovie(movie);
}

// ---- Compressing ----

// Settings for the standard audio compression component: the output format and, for AAC, the bit rate.
QTAtomContainer SettingsFor(AudioFormatID format, UInt32 bitRate) {
  ComponentInstance ci = nullptr;
  EXPECT_EQ(CA_GetA_SCAudioCompInst(&ci), noErr);
  AudioStreamBasicDescription out{};
  out.mFormatID = format;
  EXPECT_EQ(QTSetComponentProperty(ci, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_BasicDescription, sizeof out, &out),
            noErr);
  if (bitRate != 0) {
    UInt8 bytes[4] = {UInt8(bitRate >> 24), UInt8(bitRate >> 16), UInt8(bitRate >> 8), UInt8(bitRate)};
    CFDataRef data = CFDataCreate(nullptr, bytes, 4);
    EXPECT_EQ(QTSetComponentProperty(ci, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_CodecSpecificSettingsArray,
                                     sizeof data, &data),
              noErr);
    CFRelease(data);
  }
  QTAtomContainer settings = nullptr;
  EXPECT_EQ(SCGetSettingsAsAtomContainer(ci, &settings), noErr);
  CloseComponent(ci);
  return settings;
}

double SignalToNoise(const std::vector<int16_t> &reference, const std::vector<int16_t> &test) {
  double signal = 0, noise = 0;
  const size_t n = std::min(reference.size(), test.size());
  for (size_t i = 0; i < n; ++i) {
    signal += double(reference[i]) * reference[i];
    noise += (double(reference[i]) - test[i]) * (double(reference[i]) - test[i]);
  }
  return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

struct CompressCase {
  const char *name;
  AudioFormatID format;
  UInt32 bitRate;
  const char *codec;
};

class CoreAudioCompress : public CoreAudio, public ::testing::WithParamInterface<CompressCase> {};

TEST_P(CoreAudioCompress, ReadsBackWithTheSourcesRateChannelsAndDuration) {
  const CompressCase c = GetParam();
  // A tone with noise mixed in.
  const std::string src = MakeSource(
      "mix.mov", "-f lavfi -i \"aevalsrc=0.4*sin(2*PI*440*t)+0.05*(random(0)*2-1)|0.4*sin(2*PI*660*t)+0.05*(random(1)*2-1)"
                 ":s=44100:d=1.5\" -c:a pcm_s16le");
  Movie movie = Open(src);
  ASSERT_NE(movie, nullptr);
  QTAtomContainer settings = SettingsFor(c.format, c.bitRate);
  ASSERT_NE(settings, nullptr);
  Progress progress;
  const std::string out = dir.File(std::string(c.name) + ".mov");
  {
    Target target(out);
    ASSERT_EQ(CA_CompressSoundFromMovieToMovie(movie, settings, target.movie, Progress::Proc, &progress), noErr);
    target.Save();
  }
  QTDisposeAtomContainer(settings);
  DisposeMovie(movie);
  EXPECT_TRUE(progress.RisesToOne());

  auto probe = ProbeStream(out, "a:0");
  EXPECT_EQ(probe["codec_name"], c.codec);
  EXPECT_EQ(probe["sample_rate"], "44100");
  EXPECT_EQ(probe["channels"], "2");
  EXPECT_NEAR(Seconds(probe["duration"]), 1.5, 0.001);
  const std::vector<int16_t> expected = Samples(Decode(src)), got = Samples(Decode(out));
  ASSERT_FALSE(expected.empty());
  if (c.format == kAudioFormatAppleLossless) {
    EXPECT_TRUE(expected == got) << expected.size() << " samples expected, " << got.size() << " decoded";
  } else {
    const double snr = SignalToNoise(expected, got);
    std::printf("%s: signal-to-noise ratio %.1f dB over %zu samples\n", c.name, snr, got.size());
    EXPECT_GE(snr, 20.0);
    EXPECT_NEAR(double(got.size()), double(expected.size()), 2 * 2048.0);
  }
}

const CompressCase kCompressCases[] = {
    {"aac", kAudioFormatMPEG4AAC, 128000, "aac"},
    {"alac", kAudioFormatAppleLossless, 0, "alac"},
    {"ima4", kAudioFormatAppleIMA4, 0, "adpcm_ima_qt"},
};
INSTANTIATE_TEST_SUITE_P(Formats, CoreAudioCompress, ::testing::ValuesIn(kCompressCases),
                         [](const ::testing::TestParamInfo<CompressCase> &info) { return std::string(info.param.name); });

// ---- The compression component's properties ----

TEST(CoreAudioSCAudio, PropertiesSettingsAndRefusals) {
  ComponentInstance ci = nullptr;
  ASSERT_EQ(CA_GetA_SCAudioCompInst(&ci), noErr);
  // The interleaving restriction: mask 32, value 32 for non-interleaved, 0 for interleaved.
  for (Boolean interleaved : {false, true}) {
    ASSERT_EQ(CA_SetSCAudioFormatInterleaved(ci, interleaved), noErr);
    SCAudioFormatFlagsRestrictions r{};
    ASSERT_EQ(QTGetComponentProperty(ci, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_ClientRestrictedLPCMFlags,
                                     sizeof r, &r, nullptr),
              noErr);
    EXPECT_EQ(r.formatFlagsMask, 32u);
    EXPECT_EQ(r.formatFlagsValues, interleaved ? 0u : 32u);
  }
  // The layout tag list: 22 standard tags, the discrete one, and the pass-through tag when allowed.
  for (Boolean passthrough : {false, true}) {
    ASSERT_EQ(CA_RestrictSCAudioChannelLayoutTagList(ci, 3, passthrough), noErr);
    ByteCount size = 0;
    ASSERT_EQ(QTGetComponentPropertyInfo(ci, kQTPropertyClass_SCAudio,
                                         kQTSCAudioPropertyID_ClientRestrictedChannelLayoutTagList, nullptr, &size, nullptr),
              noErr);
    EXPECT_EQ(size, passthrough ? 96u : 92u);
  }
  ASSERT_EQ(CA_RestrictSCAudioChannelLayoutTagList(ci, 3, false), noErr);
  ASSERT_EQ(CA_AddChannelLayoutPassthruToRestrictList(ci), noErr);
  ASSERT_EQ(CA_AddChannelLayoutPassthruToRestrictList(ci), noErr);  // only once
  UInt32 tags[24] = {};
  ByteCount used = 0;
  ASSERT_EQ(QTGetComponentProperty(ci, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_ClientRestrictedChannelLayoutTagList,
                                   sizeof tags, tags, &used),
            noErr);
  EXPECT_EQ(used, 96u);
  EXPECT_EQ(tags[0], (100u << 16) | 1);
  EXPECT_EQ(tags[22], (147u << 16) | 3);
  EXPECT_EQ(tags[23], 0u);

  // Stereo 16-bit input, IMA 4:1 output: no magic cookie, constant packets.
  AudioStreamBasicDescription in{44100, kAudioFormatLinearPCM,
                                 kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked, 4, 1, 4, 2, 16, 0};
  ASSERT_EQ(CA_SetSCAudioInAbsd(ci, &in), noErr);
  AudioStreamBasicDescription out{0, kAudioFormatAppleIMA4, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(QTSetComponentProperty(ci, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_BasicDescription, sizeof out, &out),
            noErr);
  void *cookie = reinterpret_cast<void *>(1);
  UInt32 cookieSize = 7;
  ASSERT_EQ(CA_GetSCAudioMagicCookie(ci, &cookie, &cookieSize), noErr);
  EXPECT_EQ(cookie, nullptr);
  EXPECT_EQ(cookieSize, 0u);
  CFDataRef codecSettings = reinterpret_cast<CFDataRef>(1);
  ASSERT_EQ(CA_GetSCAudioSettings(ci, &codecSettings, &cookie, &cookieSize), noErr);
  EXPECT_EQ(codecSettings, nullptr);  // IMA 4:1 has none to read
  AudioStreamBasicDescription resolved{};
  ASSERT_EQ(CA_GetSCAudioOutAbsd(ci, &resolved), noErr);
  EXPECT_EQ(resolved.mSampleRate, 44100.0);
  EXPECT_EQ(resolved.mChannelsPerFrame, 2u);
  EXPECT_EQ(resolved.mFramesPerPacket, 64u);
  EXPECT_EQ(resolved.mBytesPerPacket, 68u);
  Boolean requiresPackets = true;
  ASSERT_EQ(CA_GetSCAudioRequiresPackets(ci, &requiresPackets), noErr);
  EXPECT_FALSE(requiresPackets);
  UInt32 maxPacket = 0;
  ASSERT_EQ(CA_GetSCAudioMaxOutPacketSize(ci, &maxPacket), noErr);
  EXPECT_EQ(maxPacket, 68u);

  // AAC: a cookie (an 'esds' atom), codec settings, packet descriptions, and the output's sound description.
  out.mFormatID = kAudioFormatMPEG4AAC;
  ASSERT_EQ(QTSetComponentProperty(ci, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_BasicDescription, sizeof out, &out),
            noErr);
  ASSERT_EQ(CA_GetSCAudioSettings(ci, &codecSettings, &cookie, &cookieSize), noErr);
  ASSERT_NE(codecSettings, nullptr);
  CFRelease(codecSettings);
  ASSERT_NE(cookie, nullptr);
  EXPECT_GE(cookieSize, 8u);
  EXPECT_EQ(std::memcmp(static_cast<UInt8 *>(cookie) + 4, "esds", 4), 0);
  std::free(cookie);
  ASSERT_EQ(CA_GetSCAudioRequiresPackets(ci, &requiresPackets), noErr);
  EXPECT_TRUE(requiresPackets);
  SoundDescriptionHandle desc = nullptr;
  ASSERT_EQ(CA_GetSCAudioSoundDescription(ci, &desc), noErr);
  ASSERT_NE(desc, nullptr);
  EXPECT_EQ((**desc).dataFormat, OSType('mp4a'));
  EXPECT_EQ((**desc).version, 1);
  AudioStreamBasicDescription back{};
  ASSERT_EQ(CA_GetSndDescAsbd(desc, &back), noErr);
  EXPECT_EQ(back.mFormatID, kAudioFormatMPEG4AAC);
  EXPECT_EQ(back.mFramesPerPacket, 1024u);
  DisposeHandle(reinterpret_cast<Handle>(desc));

  // The settings survive a container, into a fresh instance.
  UInt8 rate[4] = {0, 1, 0x77, 0};  // 96000
  CFDataRef bitRate = CFDataCreate(nullptr, rate, 4);
  ASSERT_EQ(QTSetComponentProperty(ci, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_CodecSpecificSettingsArray,
                                   sizeof bitRate, &bitRate),
            noErr);
  CFRelease(bitRate);
  UInt32 quality = 0x40;
  ASSERT_EQ(QTSetComponentProperty(ci, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_RenderQuality, 4, &quality), noErr);
  QTAtomContainer settings = nullptr;
  ASSERT_EQ(SCGetSettingsAsAtomContainer(ci, &settings), noErr);
  ComponentInstance other = nullptr;
  ASSERT_EQ(CA_GetA_SCAudioCompInst(&other), noErr);
  ASSERT_EQ(SCSetSettingsFromAtomContainer(other, settings), noErr);
  QTDisposeAtomContainer(settings);
  UInt32 otherQuality = 0;
  ASSERT_EQ(CA_GetSCAudioRenderQuality(other, &otherQuality), noErr);
  EXPECT_EQ(otherQuality, 0x40u);
  ASSERT_EQ(CA_GetSCAudioCdecSett(other, &codecSettings), noErr);
  ASSERT_NE(codecSettings, nullptr);
  EXPECT_EQ(std::memcmp(CFDataGetBytePtr(codecSettings), rate, 4), 0);
  CFRelease(codecSettings);
  ASSERT_EQ(CA_SetSCAudioInAbsd(other, &in), noErr);
  AudioStreamBasicDescription otherOut{};
  ASSERT_EQ(CA_GetSCAudioOutAbsd(other, &otherOut), noErr);
  EXPECT_EQ(otherOut.mFormatID, kAudioFormatMPEG4AAC);
  CloseComponent(other);

  // Refusals: no settings dialog, no encoder for the QDesign and MACE families.
  CFStringRef title = CFStringCreateWithCString(nullptr, "Sound", kCFStringEncodingUTF8);
  EXPECT_EQ(CA_SCAudioRequestSettings(ci, title), badComponentSelector);
  CFRelease(title);
  for (AudioFormatID id : {kAudioFormatQDesign2, kAudioFormatMACE3, kAudioFormatQUALCOMM}) {
    out.mFormatID = id;
    EXPECT_EQ(QTSetComponentProperty(ci, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_BasicDescription, sizeof out, &out),
              noCodecErr);
  }
  CloseComponent(ci);
}

// ---- Extraction details ----

TEST_F(CoreAudio, ExtractionFormatsChannelsAndTime) {
  // A stereo and a mono track: mixed into two channels, or three discrete ones.
  const std::string src = MakeSource(
      "two.mov", "-f lavfi -i sine=f=440:r=48000:d=0.5 -f lavfi -i sine=f=880:r=48000:d=0.5 -map 0:a -map 1:a "
                 "-ac:a:0 2 -ac:a:1 1 -c:a pcm_s16le");
  Movie movie = Open(src);
  ASSERT_NE(movie, nullptr);
  // ffmpeg leaves the second sound track disabled; both play here.
  for (SInt32 i = 1; i <= GetMovieTrackCount(movie); ++i) SetTrackEnabled(GetMovieIndTrack(movie, i), true);
  MovieAudioExtractionRef mae = nullptr;
  AudioStreamBasicDescription asbd{};
  UInt32 layoutSize = 0;
  AudioChannelLayout *layout = nullptr;
  ASSERT_EQ(CA_MovieAudioExtractionBegin(movie, &mae, &asbd, &layoutSize, &layout), noErr);
  EXPECT_EQ(asbd.mChannelsPerFrame, 2u);
  EXPECT_EQ(asbd.mBitsPerChannel, 16u);
  EXPECT_EQ(asbd.mFormatFlags & (kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsNonInterleaved | kAudioFormatFlagIsFloat),
            UInt32(kAudioFormatFlagIsSignedInteger));
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(layout->mChannelLayoutTag, UInt32(kAudioChannelLayoutTag_Stereo));
  std::free(layout);
  UInt32 discrete = 0;
  ASSERT_EQ(CA_GetAudioExtrNumDiscrInputChnls(mae, &discrete), noErr);
  EXPECT_EQ(discrete, 3u);
  ASSERT_EQ(CA_GetAudioExtrAsbd(mae, &asbd), noErr);
  EXPECT_EQ(asbd.mChannelsPerFrame, 2u);  // switched back

  // Some frames half-way: the mix of both tracks, the mono one in both channels.
  ASSERT_EQ(CA_SetAudioExtrCurrentTime(movie, mae, 0.25), noErr);
  UInt32 frames = 480;
  void *buffer = nullptr;
  Boolean complete = true;
  ASSERT_EQ(CA_AudioExtrGetSomeNativeInterleaved16bitStereoSamples(mae, &frames, &buffer, &complete), noErr);
  EXPECT_EQ(frames, 480u);
  EXPECT_FALSE(complete);
  const std::vector<int16_t> stereo = Samples(Decode(src, "-map 0:a:0 -f s16le")),
                             mono = Samples(Decode(src, "-map 0:a:1 -f s16le"));
  const int16_t *got = static_cast<const int16_t *>(buffer);
  int largest = 0;
  for (size_t i = 0; i < frames; ++i)
    for (size_t c = 0; c < 2; ++c) {
      const int expected = std::clamp(int(stereo[(12000 + i) * 2 + c]) + int(mono[12000 + i]), -32768, 32767);
      largest = std::max(largest, std::abs(expected - int(got[i * 2 + c])));
    }
  EXPECT_EQ(largest, 0);
  std::free(buffer);
  // To the end: the last fill completes the extraction.
  frames = 48000;
  ASSERT_EQ(CA_AudioExtrGetSomeNativeInterleaved16bitStereoSamples(mae, &frames, &buffer, &complete), noErr);
  EXPECT_EQ(frames, 24000u - 12000u - 480u);
  EXPECT_TRUE(complete);
  std::free(buffer);
  MovieAudioExtractionEnd(mae);

  AudioStreamBasicDescription first{};
  ASSERT_EQ(CA_GetSoundMovieAsbd(movie, &first), noErr);
  EXPECT_EQ(first.mFormatID, kAudioFormatLinearPCM);
  EXPECT_EQ(first.mChannelsPerFrame, 2u);
  DisposeMovie(movie);
}

TEST(CoreAudioLayouts, DualMono) {
  std::vector<UInt8> bytes(PL_AudioChannelLayoutSize(2), 0);
  auto *layout = reinterpret_cast<AudioChannelLayout *>(bytes.data());
  struct Case {
    UInt32 count;
    AudioChannelLabel first, second;
    bool dualMono;
  };
  const Case cases[] = {{1, kAudioChannelLabel_Mono, 0, false},
                        {2, kAudioChannelLabel_Mono, kAudioChannelLabel_Mono, true},
                        {2, kAudioChannelLabel_Left, kAudioChannelLabel_Right, false},
                        {2, kAudioChannelLabel_Mono, kAudioChannelLabel_Left, false},
                        {0, 0, 0, false}};
  for (const Case &c : cases) {
    layout->mNumberChannelDescriptions = c.count;
    layout->mChannelDescriptions[0].mChannelLabel = c.first;
    layout->mChannelDescriptions[1].mChannelLabel = c.second;
    EXPECT_EQ(bool(CA_LayoutIsDualMono(layout)), c.dualMono) << c.count << " " << c.first << " " << c.second;
  }
  EXPECT_FALSE(CA_LayoutIsDualMono(nullptr));
}

// ---- Sound descriptions ----

TEST(CoreAudioSoundDescriptions, FormatsLayoutsAndCookiesRoundTrip) {
  struct Case {
    AudioStreamBasicDescription asbd;
    SInt16 version;
    OSType dataFormat;
  };
  const AudioFormatFlags le16 = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
  const Case cases[] = {
      {{48000, kAudioFormatLinearPCM, le16, 4, 1, 4, 2, 16, 0}, 0, 'sowt'},
      {{48000, kAudioFormatLinearPCM, le16 | kAudioFormatFlagIsBigEndian, 2, 1, 2, 1, 16, 0}, 0, 'twos'},
      {{48000, kAudioFormatLinearPCM, le16, 12, 1, 12, 6, 16, 0}, 2, 'lpcm'},
      {{96000, kAudioFormatLinearPCM, kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked, 8, 1, 8, 2, 32, 0}, 2, 'lpcm'},
      {{44100, kAudioFormatMPEG4AAC, 0, 0, 1024, 0, 2, 0, 0}, 1, 'mp4a'},
      {{44100, kAudioFormatAppleIMA4, 0, 34, 64, 0, 1, 0, 0}, 1, 'ima4'},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(reinterpret_cast<const char *>(&c.dataFormat), 4));
    SoundDescriptionHandle desc = nullptr;
    ASSERT_EQ(QTSoundDescriptionCreate(&c.asbd, nullptr, 0, nullptr, 0, kQTSoundDescriptionKind_Movie_LowestPossibleVersion,
                                       &desc),
              noErr);
    EXPECT_EQ((**desc).version, c.version);
    EXPECT_EQ((**desc).dataFormat, c.dataFormat);
    AudioStreamBasicDescription back{};
    ASSERT_EQ(CA_GetSndDescAsbd(desc, &back), noErr);
    EXPECT_EQ(back.mFormatID, c.asbd.mFormatID);
    EXPECT_EQ(back.mSampleRate, c.asbd.mSampleRate);
    EXPECT_EQ(back.mChannelsPerFrame, c.asbd.mChannelsPerFrame);
    EXPECT_EQ(back.mFramesPerPacket, c.asbd.mFramesPerPacket);
    EXPECT_EQ(back.mBytesPerPacket, c.asbd.mBytesPerPacket);
    if (c.asbd.mFormatID == kAudioFormatLinearPCM) {
      EXPECT_EQ(back.mBitsPerChannel, c.asbd.mBitsPerChannel);
      EXPECT_EQ(back.mFormatFlags, c.asbd.mFormatFlags);
    }
    // A layout of two mono channels and a cookie, set and read back.
    std::vector<UInt8> bytes(PL_AudioChannelLayoutSize(2), 0);
    auto *layout = reinterpret_cast<AudioChannelLayout *>(bytes.data());
    layout->mNumberChannelDescriptions = 2;
    layout->mChannelDescriptions[0].mChannelLabel = layout->mChannelDescriptions[1].mChannelLabel = kAudioChannelLabel_Mono;
    ASSERT_EQ(CA_SetSndDescLayout(desc, layout, UInt32(bytes.size())), noErr);
    UInt32 size = 0;
    ASSERT_EQ(CA_GetSndDescLayoutSize(desc, &size), noErr);
    ASSERT_EQ(size, bytes.size());
    std::vector<UInt8> read(size);
    ASSERT_EQ(CA_GetSndDescLayout(desc, reinterpret_cast<AudioChannelLayout *>(read.data()), size), noErr);
    EXPECT_TRUE(CA_LayoutIsDualMono(reinterpret_cast<AudioChannelLayout *>(read.data())));
    if (c.version == 1) {
      const UInt8 atom[12] = {0, 0, 0, 12, 'a', 'b', 'c', 'd', 1, 2, 3, 4};
      ASSERT_EQ(CA_SetSndDescMagicCookie(desc, atom, sizeof atom), noErr);
      UInt8 cookie[32] = {};
      ByteCount used = 0;
      ASSERT_EQ(QTSoundDescriptionGetProperty(desc, kQTPropertyClass_SoundDescription, kQTSoundDescriptionPropertyID_MagicCookie,
                                              sizeof cookie, cookie, &used),
                noErr);
      EXPECT_EQ(used, sizeof atom);
      EXPECT_EQ(std::memcmp(cookie, atom, sizeof atom), 0);
      EXPECT_EQ((**desc).version, 1);
    }
    DisposeHandle(reinterpret_cast<Handle>(desc));
  }
}

// ---- Audio files ----

TEST_F(CoreAudio, AudioFilePropertiesAndTheirSetters) {
  struct Case {
    const char *name;
    const char *args;
    AudioFormatID format;
    UInt32 channels, bits;
    UInt64 packets;
    UInt32 maxPacket;
    bool cookie;
  };
  const Case cases[] = {
      {"a.aiff", "-f lavfi -i sine=r=44100:d=0.5 -ac 2 -c:a pcm_s16be", kAudioFormatLinearPCM, 2, 16, 22050, 4, false},
      {"a.wav", "-f lavfi -i sine=r=48000:d=0.5 -ac 1 -c:a pcm_s24le", kAudioFormatLinearPCM, 1, 24, 24000, 3, false},
      {"a.caf", "-f lavfi -i sine=r=44100:d=0.5 -ac 2 -c:a alac", kAudioFormatAppleLossless, 2, 0, 6, 0, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = MakeSource(c.name, c.args);
    const FSRef ref = RefFor(path);
    AudioFileID file = nullptr;
    ASSERT_EQ(AudioFileOpen(&ref, kAudioFileReadPermission, 0, &file), noErr);
    AudioStreamBasicDescription asbd{};
    ASSERT_EQ(CA_GetAudioFileAbsd(file, &asbd), noErr);
    EXPECT_EQ(asbd.mFormatID, c.format);
    EXPECT_EQ(asbd.mChannelsPerFrame, c.channels);
    EXPECT_EQ(asbd.mBitsPerChannel, c.bits);
    UInt64 packets = 0;
    ASSERT_EQ(CA_GetAudioFilePacketCount(file, &packets), noErr);
    EXPECT_EQ(packets, c.packets);
    UInt32 maxPacket = 0;
    ASSERT_EQ(CA_GetAudioFileMaxPacketSize(file, &maxPacket), noErr);
    if (c.maxPacket != 0) {
      EXPECT_EQ(maxPacket, c.maxPacket);
    } else {
      EXPECT_GT(maxPacket, 0u);
    }
    AudioChannelLayout *layout = nullptr;
    UInt32 layoutSize = 0;
    ASSERT_EQ(CA_GetAudioFileChannelLayout(file, &layout, &layoutSize), noErr);
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(AudioChannelLayoutTag_GetNumberOfChannels(layout->mChannelLayoutTag), c.channels);
    void *cookie = nullptr;
    UInt32 cookieSize = 0;
    ASSERT_EQ(CA_GetAudioFileMagicCookie(file, &cookie, &cookieSize), noErr);
    EXPECT_EQ(cookie != nullptr, c.cookie);
    EXPECT_EQ(cookieSize != 0, c.cookie);
    // The files are read only: the setters answer the permissions error.
    EXPECT_EQ(CA_SetAudioFileChannelLayout(file, layout, layoutSize), kAudioFilePermissionsError);
    EXPECT_EQ(CA_SetAudioFileMagicCookie(file, cookie, cookieSize), kAudioFilePermissionsError);
    std::free(layout);
    std::free(cookie);
    AudioFileClose(file);
  }
  // Not an audio file.
  WriteText(dir.File("note.txt"), "not sound");
  const FSRef text = RefFor(dir.File("note.txt"));
  AudioFileID file = nullptr;
  EXPECT_EQ(AudioFileOpen(&text, kAudioFileReadPermission, 0, &file), kAudioFileUnsupportedFileTypeError);
  EXPECT_EQ(file, nullptr);
}

}  // namespace
