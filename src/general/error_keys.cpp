// Error numbers and message keys: the system, QuickTime, lumped library and framework mappers, and the key
// tables of the general, colour and numerical libraries.
#include "general/error_keys.h"

#include "general/unicode_strings.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"

namespace {

struct RangeKey {
  OSStatus first;  // inclusive, first <= last
  OSStatus last;
  const char *key;
};

// Stores the key and, unless it is special, the message. The system, QuickTime and framework mappers treat
// both special keys alike; the library mappers only "GL UnknownErr", which is all their tables can yield.
void StoreKeyAndMessage(CFStringRef key, bool noErrIsSpecial, CFStringRef *errorKey, CFStringRef *errorStringRef) {
  if (errorKey != nullptr) *errorKey = key;
  if (GL_EqualCFStr(key, CFSTR("GL UnknownErr"))) return;
  if (noErrIsSpecial && GL_EqualCFStr(key, CFSTR("GL NoErr"))) return;
  if (errorStringRef != nullptr) {
    *errorStringRef = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
  }
}

// The key of the first row that holds `error`, or "GL UnknownErr".
template <size_t N>
CFStringRef Lookup(const RangeKey (&table)[N], OSStatus error) {
  for (const RangeKey &row : table) {
    if (error >= row.first && error <= row.last) return PL_CFStringMakeConstant(row.key);
  }
  return CFSTR("GL UnknownErr");
}

// The three ranges come first, then the single numbers.
const RangeKey kSystemTable[] = {
    {-1075, -1066, "GL ASPErr"},
    {-30599, -30580, "GL Dialog Item Err"},
    {-29299, -29275, "GL MP Err"},
    {0, 0, "GL NoErr"},
    {-128, -128, "GL NoErr"},
    {-34, -34, "GL DiskFullErr"},
    {-35, -35, "GL DiskNotFoundErr"},
    {-36, -36, "GL IOErr"},
    {-39, -39, "GL EndOfFileErr"},
    {-42, -42, "GL TooManyFilesOpenErr"},
    {-43, -43, "GL FileNotFoundErr"},
    {-44, -44, "GL DiskLockedErr"},
    {-45, -45, "GL FileLockedErr"},
    {-47, -47, "GL FileBusyErr"},
    {-54, -54, "GL FileBusyErr"},
    {-48, -48, "GL DuplFileNameErr"},
    {-49, -49, "GL OpWrErr"},
    {-50, -50, "GL ParamErr"},
    {-61, -61, "GL WrPermErr"},
    {-108, -108, "GL MemoryErr"},
    {-151, -151, "GL MemoryErr"},
    {-152, -152, "GL MemoryErr"},
    {-120, -120, "GL FolderNotFndErr"},
    {-124, -124, "GL ServerNotRespondingErr"},
    {-5016, -5016, "GL ServerNotRespondingErr"},
    {-192, -192, "GL NoResourceErr"},
    {-1310, -1309, "GL FileTooBigErr"},
    {-1402, -1402, "GL FileNameErr"},
    {-1411, -1410, "GL FileNameErr"},
    {-1501, -1500, "GL System Sound Err"},
    {-1708, -1708, "GL AEventNotHandledErr"},
    {-10962, -10960, "GL NIB Err"},
};

// Single numbers and their small runs first, then the wide ranges in order: the digitizer numbers before
// the rest of the -2209 to -2000 block.
const RangeKey kQuickTimeTable[] = {
    {-2109, -2101, "QT AtomErr"},
    {-2051, -2049, "QT DataRefErr"},
    {-2047, -2047, "QT DataRefErr"},
    {-2000, -2000, "QT DataRefErr"},
    {-2048, -2048, "QT NoMovieFndErr"},
    {-2020, -2020, "QT ToolboxUninitErr"},
    {-2015, -2014, "QT MovieTimeErr"},
    {-2010, -2010, "QT InvalidMovieErr"},
    {-2009, -2009, "QT InvalidTrackErr"},
    {-2008, -2008, "QT InvalidMediaErr"},
    {-2007, -2002, "QT OpenMovieErr"},
    {-2001, -2001, "QT SampleDescErr"},
    {-2209, -2201, "QT DigitizerErr"},
    {-2209, -2000, "QT GeneralNonLibErr"},
    {-232, -200, "QT SoundErr"},
    {-261, -250, "QT MIDI_Err"},
    {-8992, -8960, "QT CodecErr"},
};

const RangeKey kFrameworkTable[] = {
    {kGL_NoErr, kGL_NoErr, "GL NoErr"},
    {kGL_BadSystemErr, kGL_BadSystemErr, "GL BadSystemErr"},
    {kGL_FatalErr, kGL_FatalErr, "GL FatalErr"},
    {kGL_MultipleOpenErr, kGL_MultipleOpenErr, "GL MultipleOpenErr"},
    {kGL_NoFileToRevertToErr, kGL_NoFileToRevertToErr, "GL NoFileToRevertToErr"},
    {kGL_PrintErr, kGL_PrintErr, "GL PrintErr"},
    {kGL_NoPrinterErr, kGL_NoPrinterErr, "GL NoPrinterErr"},
    {kGL_NilPointerErr, kGL_NilPointerErr, "GL NilPointerErr"},
};

const RangeKey kLumpedTable[] = {
    {kGL_FirstLibErr, kGL_LastLibErr, "GL GL_Err"}, {kQT_FirstLibErr, kQT_LastLibErr, "GL QT_Err"},
    {kCO_FirstLibErr, kCO_LastLibErr, "GL CO_Err"}, {kIA_FirstLibErr, kIA_LastLibErr, "GL IA_Err"},
    {kNR_FirstLibErr, kNR_LastLibErr, "GL NR_Err"}, {kNS_FirstLibErr, kNS_LastLibErr, "GL NS_Err"},
};

const RangeKey kGeneralTable[] = {
    {10001, 10006, "GL StringManipulationErr"},
    {10007, 10007, "GL NumberOutOfBoundsErr"},
    {10008, 10009, "GL CharacterErr"},
    {10011, 10011, "GL FileErr"},
    {10012, 10012, "GL PrefsFileNotFoundErr"},
    {10013, 10013, "GL FileErr"},
    {10014, 10014, "GL NoLargeVolumeSupportErr"},
    {10015, 10015, "GL LongFilePathErr"},
    {10016, 10016, "GL FileErr"},
    {10018, 10019, "GL ReadWriteErr"},
    {10023, 10023, "GL RectangleErr"},
    {10024, 10027, "GL BundleErr"},
};

const RangeKey kColourTable[] = {
    {14001, 14001, "CO UnkownYCbCrTypeErr"},
    {14002, 14004, "CO UnalignedWidthOrLineSizeErr"},
    {14005, 14006, "CO CleanCenterWithinLineErr"},
    {14007, 14008, "CO ImageCenterNotHalfPixelPackAlignedErr"},
    {14009, 14010, "CO NonStandardProductionApertureErr"},
    {14011, 14011, "CO NonStandardPixelAspectRatioErr"},
    {14012, 14012, "CO NonStandardCleanApertureErr"},
    {14013, 14014, "CO BufferSpatiallyNonStandardErr"},
    {14015, 14017, "CO NonStandardTimingInfoErr"},
};

const RangeKey kNumericalTable[] = {
    {kNR_NoSVDConvergenceErr, kNR_NoSVDConvergenceErr, "NR NoSVDConvergenceErr"},
    {kNR_NoClearExtrErr, kNR_NoClearExtrErr, "NR NoClearExtrErr"},
    {kNR_SingMatrixErr, kNR_SingMatrixErr, "NR SingMatrixErr"},
};

}  // namespace

void GL_GetSysErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef) {
  StoreKeyAndMessage(Lookup(kSystemTable, error), true, errorKey, errorStringRef);
}

void GL_GetQT_ErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef) {
  StoreKeyAndMessage(Lookup(kQuickTimeTable, error), true, errorKey, errorStringRef);
}

void GL_GetLibraryLumpedErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef) {
  StoreKeyAndMessage(Lookup(kLumpedTable, error), false, errorKey, errorStringRef);
}

void GL_GetFrameWorkErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef) {
  StoreKeyAndMessage(Lookup(kFrameworkTable, error), true, errorKey, errorStringRef);
}

void GL_GetLibErrorKey(OSStatus error, CFStringRef *errorKey) {
  if (errorKey != nullptr) *errorKey = Lookup(kGeneralTable, error);
}

void CO_GetLibErrorKey(OSStatus error, CFStringRef *errorKey) {
  if (errorKey != nullptr) *errorKey = Lookup(kColourTable, error);
}

void NR_GetLibErrorKey(OSStatus error, CFStringRef *errorKey) {
  if (errorKey != nullptr) *errorKey = Lookup(kNumericalTable, error);
}
