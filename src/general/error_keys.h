// Error numbers and their message keys: the mappers that turn an OSStatus into a localisation key (a
// constant CFString such as "GL DiskFullErr") and the key into the message the user reads, fetched from the
// main bundle's Localizable.strings with the key as its own default.
//
// The application's error display asks the system mapper, then the QuickTime mapper, then the lumped library
// mapper, and shows the first key that is neither "GL NoErr" (nothing to show; user cancel -128 maps there)
// nor "GL UnknownErr" (this mapper does not know the number). The per-number library mapper
// (library_error_strings.h) and the framework mapper are offered beside them.
//
// Mappers take (error, &key, &message): the key is always written (when its address is given); the message,
// a new string the caller releases, is written only for a key that is not special, else the caller's value
// stays. Keys are constants: never release them. Stateless; any thread.
#pragma once

#include "general/least_squares.h"  // kNR_ numbers
#include "platform/core/cf_base.h"

// Framework numbers (4000 to 4008).
enum : OSStatus {
  kGL_NoErr = 4000,
  kGL_BadSystemErr = 4001,
  kGL_FatalErr = 4002,
  kGL_MultipleOpenErr = 4003,
  kGL_NoFileToRevertToErr = 4005,
  kGL_PrintErr = 4006,
  kGL_NoPrinterErr = 4007,
  kGL_NilPointerErr = 4008,
};

// General library numbers (10001 to 10028).
enum : OSStatus {
  kGL_FirstLibErr = 10001,
  kGL_InsertWordBehindErr = 10001,
  kGL_WordIndexErr = 10003,
  kGL_StringsDoNotFitErr = 10004,
  kGL_StringTooLongErr = 10005,
  kGL_WordNotFoundErr = 10006,
  kGL_NumberOutOfBoundsErr = 10007,
  kGL_NoNameEndErr = 10008,
  kGL_NonNumericCharacterErr = 10009,
  kGL_NoLastPathComponentErr = 10011,
  kGL_PrefsFileNotFoundErr = 10012,
  kGL_FileErr = 10013,
  kGL_NoLargeVolumeSupportErr = 10014,
  kGL_LongFilePathErr = 10015,
  kGL_CopySmallFileErr = 10016,
  kGL_NoBSDNodeNameErr = 10017,
  kGL_ReadWriteErr = 10018,
  kGL_ReadWriteCountErr = 10019,
  kGL_CreateURLErr = 10020,
  kGL_ObjSpecifierErr = 10021,
  kGL_URLToFSRefErr = 10022,
  kGL_RectangleErr = 10023,
  kGL_BundleResourceNotFoundErr = 10024,
  kGL_BundleLoadErr = 10025,
  kGL_PropertyListErr = 10028,
  kGL_LastLibErr = 10028,
};

// Colour library numbers (14001 to 14017); the second checks share their first check's key.
enum : OSStatus {
  kCO_FirstLibErr = 14001,
  kCO_UnknownYCbCrTypeErr = 14001,
  kCO_UnalignedWidthErr = 14002,
  kCO_UnalignedLineSizeErr = 14003,
  kCO_UnalignedBufferWidthErr = 14004,
  kCO_CleanCenterWithinLineErr = 14005,
  kCO_ImageCenterNotHalfPixelPackAlignedErr = 14007,
  kCO_NonStandardProductionApertureErr = 14009,
  kCO_NonStandardPixelAspectRatioErr = 14011,
  kCO_NonStandardCleanApertureErr = 14012,
  kCO_BufferSpatiallyNonStandardErr = 14013,
  kCO_NonStandardTimingInfoErr = 14015,
  kCO_LastLibErr = 14017,
};

// The libraries' ranges (inclusive) for the movie library, AIFF, numerics and navigation dialogs.
enum : OSStatus {
  kQT_FirstLibErr = 11001,
  kQT_LastLibErr = 11022,
  kIA_FirstLibErr = 19001,
  kIA_LastLibErr = 19002,
  kNR_FirstLibErr = 23001,
  kNR_LastLibErr = 23003,
  kNS_FirstLibErr = 24001,
  kNS_LastLibErr = 24002,
};

// Operating-system numbers (files, memory, resources, dialogs, tasks, nibs, Apple events, system sounds).
void GL_GetSysErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef);
// QuickTime numbers; never "GL NoErr".
void GL_GetQT_ErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef);
// Any library number, to the one key of its library ("GL GL_Err", "GL QT_Err", ...).
void GL_GetLibraryLumpedErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef);
// The framework numbers 4000 to 4008.
void GL_GetFrameWorkErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef);

// Key only, for the own range; every other number gives "GL UnknownErr".
void GL_GetLibErrorKey(OSStatus error, CFStringRef *errorKey);
void CO_GetLibErrorKey(OSStatus error, CFStringRef *errorKey);
void NR_GetLibErrorKey(OSStatus error, CFStringRef *errorKey);
