// Error keys: the system, QuickTime, framework and lumped mappers and the general, colour and numerical key
// tables as (number, key) tables with their range edges; the special keys; messages from the bundle.
#include "general/error_keys.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "support/cf_check.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct Case {
  OSStatus error;
  const char *key;
};

using Mapper = void (*)(OSStatus, CFStringRef *, CFStringRef *);
using KeyTable = void (*)(OSStatus, CFStringRef *);

void ExpectKeys(Mapper map, const Case *cases, size_t n, const char *name) {
  for (size_t i = 0; i < n; ++i) {
    CFStringRef key = nullptr;
    map(cases[i].error, &key, nullptr);
    EXPECT_EQ(bz_test::CFText(key), cases[i].key) << name << "(" << cases[i].error << ")";
  }
}

void ExpectKeys(KeyTable table, const Case *cases, size_t n, const char *name) {
  for (size_t i = 0; i < n; ++i) {
    CFStringRef key = nullptr;
    table(cases[i].error, &key);
    EXPECT_EQ(bz_test::CFText(key), cases[i].key) << name << "(" << cases[i].error << ")";
  }
}

TEST(GeneralErrorKeys, SystemTable) {
  const Case cases[] = {
      {0, "GL NoErr"},           {-128, "GL NoErr"},          {-1075, "GL ASPErr"},
      {-1066, "GL ASPErr"},      {-1065, "GL UnknownErr"},    {-1076, "GL UnknownErr"},
      {-30599, "GL Dialog Item Err"}, {-30580, "GL Dialog Item Err"}, {-30579, "GL UnknownErr"},
      {-29299, "GL MP Err"},     {-29275, "GL MP Err"},       {-29296, "GL MP Err"},
      {-29274, "GL UnknownErr"}, {-34, "GL DiskFullErr"},     {-35, "GL DiskNotFoundErr"},
      {-36, "GL IOErr"},         {-39, "GL EndOfFileErr"},    {-42, "GL TooManyFilesOpenErr"},
      {-43, "GL FileNotFoundErr"}, {-44, "GL DiskLockedErr"}, {-45, "GL FileLockedErr"},
      {-47, "GL FileBusyErr"},   {-54, "GL FileBusyErr"},     {-48, "GL DuplFileNameErr"},
      {-49, "GL OpWrErr"},       {-50, "GL ParamErr"},        {-61, "GL WrPermErr"},
      {-108, "GL MemoryErr"},    {-151, "GL MemoryErr"},      {-152, "GL MemoryErr"},
      {-120, "GL FolderNotFndErr"}, {-124, "GL ServerNotRespondingErr"}, {-5016, "GL ServerNotRespondingErr"},
      {-192, "GL NoResourceErr"}, {-1309, "GL FileTooBigErr"}, {-1310, "GL FileTooBigErr"},
      {-1402, "GL FileNameErr"}, {-1410, "GL FileNameErr"},   {-1411, "GL FileNameErr"},
      {-1500, "GL System Sound Err"}, {-1501, "GL System Sound Err"}, {-1708, "GL AEventNotHandledErr"},
      {-10960, "GL NIB Err"},    {-10962, "GL NIB Err"},      {-10963, "GL UnknownErr"},
      {-37, "GL UnknownErr"},    {-2000, "GL UnknownErr"},    {1, "GL UnknownErr"},
      {10001, "GL UnknownErr"},  {22000, "GL UnknownErr"},
  };
  ExpectKeys(GL_GetSysErrorStringRef, cases, std::size(cases), "GL_GetSysErrorStringRef");
}

TEST(GeneralErrorKeys, QuickTimeTable) {
  const Case cases[] = {
      {-2101, "QT AtomErr"},          {-2109, "QT AtomErr"},        {-2110, "QT GeneralNonLibErr"},
      {-2100, "QT GeneralNonLibErr"}, {-2051, "QT DataRefErr"},     {-2049, "QT DataRefErr"},
      {-2047, "QT DataRefErr"},       {-2000, "QT DataRefErr"},     {-2048, "QT NoMovieFndErr"},
      {-2020, "QT ToolboxUninitErr"}, {-2015, "QT MovieTimeErr"},   {-2014, "QT MovieTimeErr"},
      {-2010, "QT InvalidMovieErr"},  {-2009, "QT InvalidTrackErr"}, {-2008, "QT InvalidMediaErr"},
      {-2007, "QT OpenMovieErr"},     {-2002, "QT OpenMovieErr"},   {-2001, "QT SampleDescErr"},
      {-2205, "QT DigitizerErr"},     {-2201, "QT DigitizerErr"},   {-2209, "QT DigitizerErr"},
      {-2200, "QT GeneralNonLibErr"}, {-2150, "QT GeneralNonLibErr"}, {-2210, "GL UnknownErr"},
      {-200, "QT SoundErr"},          {-232, "QT SoundErr"},        {-233, "GL UnknownErr"},
      {-250, "QT MIDI_Err"},          {-261, "QT MIDI_Err"},        {-8960, "QT CodecErr"},
      {-8992, "QT CodecErr"},         {-8993, "GL UnknownErr"},     {0, "GL UnknownErr"},
      {-128, "GL UnknownErr"},
  };
  ExpectKeys(GL_GetQT_ErrorStringRef, cases, std::size(cases), "GL_GetQT_ErrorStringRef");
}

TEST(GeneralErrorKeys, FrameworkAndLumpedTables) {
  const Case framework[] = {
      {4000, "GL NoErr"},        {4001, "GL BadSystemErr"},   {4002, "GL FatalErr"},
      {4003, "GL MultipleOpenErr"}, {4004, "GL UnknownErr"},  {4005, "GL NoFileToRevertToErr"},
      {4006, "GL PrintErr"},     {4007, "GL NoPrinterErr"},   {4008, "GL NilPointerErr"},
      {4009, "GL UnknownErr"},   {3999, "GL UnknownErr"},
  };
  ExpectKeys(GL_GetFrameWorkErrorStringRef, framework, std::size(framework), "GL_GetFrameWorkErrorStringRef");
  const Case lumped[] = {
      {10000, "GL UnknownErr"}, {10001, "GL GL_Err"}, {10010, "GL GL_Err"}, {10028, "GL GL_Err"},
      {10029, "GL UnknownErr"}, {11001, "GL QT_Err"}, {11022, "GL QT_Err"}, {11023, "GL UnknownErr"},
      {14001, "GL CO_Err"},     {14017, "GL CO_Err"}, {14018, "GL UnknownErr"}, {19001, "GL IA_Err"},
      {19002, "GL IA_Err"},     {19003, "GL UnknownErr"}, {23001, "GL NR_Err"}, {23003, "GL NR_Err"},
      {23004, "GL UnknownErr"}, {24001, "GL NS_Err"}, {24002, "GL NS_Err"}, {24003, "GL UnknownErr"},
      {22000, "GL UnknownErr"}, {0, "GL UnknownErr"}, {-128, "GL UnknownErr"},
  };
  ExpectKeys(GL_GetLibraryLumpedErrorStringRef, lumped, std::size(lumped), "GL_GetLibraryLumpedErrorStringRef");
}

TEST(GeneralErrorKeys, LibraryKeyTables) {
  const Case general[] = {
      {10001, "GL StringManipulationErr"}, {10002, "GL StringManipulationErr"}, {10006, "GL StringManipulationErr"},
      {10007, "GL NumberOutOfBoundsErr"}, {10008, "GL CharacterErr"},   {10009, "GL CharacterErr"},
      {10010, "GL UnknownErr"},           {10011, "GL FileErr"},        {10012, "GL PrefsFileNotFoundErr"},
      {10013, "GL FileErr"},              {10014, "GL NoLargeVolumeSupportErr"}, {10015, "GL LongFilePathErr"},
      {10016, "GL FileErr"},              {10017, "GL UnknownErr"},     {10018, "GL ReadWriteErr"},
      {10019, "GL ReadWriteErr"},         {10020, "GL UnknownErr"},     {10021, "GL UnknownErr"},
      {10022, "GL UnknownErr"},           {10023, "GL RectangleErr"},   {10024, "GL BundleErr"},
      {10027, "GL BundleErr"},            {10028, "GL UnknownErr"},     {10000, "GL UnknownErr"},
      {10029, "GL UnknownErr"},           {22000, "GL UnknownErr"},
  };
  ExpectKeys(GL_GetLibErrorKey, general, std::size(general), "GL_GetLibErrorKey");
  const Case colour[] = {
      {14000, "GL UnknownErr"}, {14001, "CO UnkownYCbCrTypeErr"}, {14002, "CO UnalignedWidthOrLineSizeErr"},
      {14004, "CO UnalignedWidthOrLineSizeErr"}, {14005, "CO CleanCenterWithinLineErr"},
      {14006, "CO CleanCenterWithinLineErr"}, {14007, "CO ImageCenterNotHalfPixelPackAlignedErr"},
      {14008, "CO ImageCenterNotHalfPixelPackAlignedErr"}, {14009, "CO NonStandardProductionApertureErr"},
      {14010, "CO NonStandardProductionApertureErr"}, {14011, "CO NonStandardPixelAspectRatioErr"},
      {14012, "CO NonStandardCleanApertureErr"}, {14013, "CO BufferSpatiallyNonStandardErr"},
      {14014, "CO BufferSpatiallyNonStandardErr"}, {14015, "CO NonStandardTimingInfoErr"},
      {14017, "CO NonStandardTimingInfoErr"}, {14018, "GL UnknownErr"}, {22000, "GL UnknownErr"},
  };
  ExpectKeys(CO_GetLibErrorKey, colour, std::size(colour), "CO_GetLibErrorKey");
  const Case numerical[] = {{23000, "GL UnknownErr"}, {23001, "NR NoSVDConvergenceErr"},
                            {23002, "NR NoClearExtrErr"}, {23003, "NR SingMatrixErr"},
                            {23004, "GL UnknownErr"}, {22000, "GL UnknownErr"}};
  ExpectKeys(NR_GetLibErrorKey, numerical, std::size(numerical), "NR_GetLibErrorKey");
}

TEST(GeneralErrorKeys, SpecialKeysLeaveTheMessageAlone) {
  CFStringRef sentinel = CFSTR("caller's value");
  struct Row {
    Mapper map;
    OSStatus error;
    bool messageWritten;
  };
  const Row rows[] = {
      {GL_GetSysErrorStringRef, 0, false},          {GL_GetSysErrorStringRef, -128, false},
      {GL_GetSysErrorStringRef, 12345, false},      {GL_GetSysErrorStringRef, -34, true},
      {GL_GetQT_ErrorStringRef, 0, false},          {GL_GetQT_ErrorStringRef, -2048, true},
      {GL_GetFrameWorkErrorStringRef, 4000, false}, {GL_GetFrameWorkErrorStringRef, 4004, false},
      {GL_GetFrameWorkErrorStringRef, 4001, true},  {GL_GetLibraryLumpedErrorStringRef, 22000, false},
      {GL_GetLibraryLumpedErrorStringRef, 10010, true},
  };
  for (const Row &r : rows) {
    CFStringRef key = nullptr;
    CFStringRef message = sentinel;
    r.map(r.error, &key, &message);
    EXPECT_NE(key, nullptr) << r.error;  // the key is always written
    if (r.messageWritten) {
      EXPECT_NE(message, sentinel) << r.error;
      EXPECT_EQ(CFGetTypeID(message), CFStringGetTypeID());  // a reference the caller releases
      CFRelease(message);
    } else {
      EXPECT_EQ(message, sentinel) << r.error;
    }
  }
  // The message out-parameter may be left out.
  CFStringRef key = nullptr;
  GL_GetSysErrorStringRef(-34, &key, nullptr);
  EXPECT_EQ(bz_test::CFText(key), "GL DiskFullErr");
}

TEST(GeneralErrorKeys, MessagesComeFromTheBundle) {
  CFStringRef key = nullptr;
  CFStringRef message = nullptr;
  GL_GetSysErrorStringRef(-34, &key, &message);
  EXPECT_EQ(bz_test::CFText(message), "The disk is full. Free some space or choose another disk, then try again.");
  CFRelease(message);
  // Without a translation the message is the key itself.
  bz_test::TempDir empty;
  PL_SetMainBundleDirectory(empty.path().c_str());
  message = nullptr;
  GL_GetQT_ErrorStringRef(-2048, &key, &message);
  EXPECT_EQ(bz_test::CFText(message), "QT NoMovieFndErr");
  CFRelease(message);
  PL_SetMainBundleDirectory(nullptr);
}

TEST(GeneralErrorKeys, EveryKeyHasAnEnglishMessage) {
  std::set<std::string> keys;
  CFStringRef key = nullptr;
  for (OSStatus e = -32768; e <= 32767; ++e) {
    for (Mapper map : {GL_GetSysErrorStringRef, GL_GetQT_ErrorStringRef, GL_GetFrameWorkErrorStringRef,
                       GL_GetLibraryLumpedErrorStringRef}) {
      map(e, &key, nullptr);
      keys.insert(bz_test::CFText(key));
    }
    for (KeyTable table : {GL_GetLibErrorKey, CO_GetLibErrorKey, NR_GetLibErrorKey}) {
      table(e, &key);
      keys.insert(bz_test::CFText(key));
    }
  }
  for (const std::string &k : keys) {
    CFStringRef ks = CFStringCreateWithCString(nullptr, k.c_str(), kCFStringEncodingUTF8);
    CFStringRef text = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), ks, ks, nullptr);
    EXPECT_FALSE(CFEqual(text, ks)) << "no English text for \"" << k << "\"";
    CFRelease(text);
    CFRelease(ks);
  }
}

}  // namespace
