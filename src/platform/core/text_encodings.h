// Script Manager and Text Encoding Converter stand-ins.
//
// The system script here is Unicode (script 126) and its text encoding is UTF-8, the encoding of Linux file
// names and terminals (CFStringGetSystemEncoding). A converter converts between the encodings that CFString
// knows (Mac Roman, ASCII, Latin-1, UTF-8, UTF-16, UTF-32); other pairs have no conversion path.
#pragma once

#include "platform/core/files.h"
#include "platform/core/mac_types.h"

// Script Manager selectors and codes.
enum : SInt16 {
  smSysScript = 18,
  smKeyScript = 22,
  smRegionCode = 40,
  smScriptLang = 28,  // GetScriptVariable: the script's default language
};
enum : ScriptCode { smSystemScript = -1, smCurrentScript = -2, smAllScripts = -3, smRoman = 0, smUnicodeScript = 126 };
enum : LangCode { langEnglish = 0, kTextLanguageDontCare = -128, langUnspecified = 32767 };
enum : RegionCode { verUS = 0, kTextRegionDontCare = -128 };
enum : ScriptCode { kTextScriptDontCare = -128 };

// Text encodings (the same numbers as CFStringEncoding); kTextEncodingMacRoman is the File Manager
// stand-in's.
enum : TextEncoding {
  kTextEncodingUnicodeDefault = 0x0100,
  kTextEncodingISOLatin1 = 0x0201,
  kTextEncodingWindowsLatin1 = 0x0500,
  kTextEncodingUS_ASCII = 0x0600,
  kTextEncodingUTF8 = 0x08000100,
};

enum : OSStatus {
  kTextUnsupportedEncodingErr = -8738,
  kTextMalformedInputErr = -8739,
  kTECNoConversionPathErr = -8749,
  kTECUnmappableElementErr = -8754,
  kTECOutputBufferFullStatus = -8785,
};

// Script Manager variables: smSysScript and smKeyScript give smUnicodeScript; smRegionCode gives the region
// of the user's locale (PL_RegionOfLocaleName of the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty; verUS without one); other selectors give 0.
SInt32 GetScriptManagerVariable(SInt16 selector);
// smScriptLang gives the script's default language: for the system script (and smSystemScript,
// smCurrentScript) the language of the locale's region, English when that region has none; langEnglish for
// the other scripts. Other selectors give 0.
SInt32 GetScriptVariable(ScriptCode script, SInt16 selector);

// ---- Our own helpers: the Script Manager's regions ----
// The language of a region code, langUnspecified for a region without one (or outside the regions).
LangCode PL_RegionLanguage(RegionCode region);
// The ISO locale name of a region ("de_DE", "fr", ...); "" for a region without one. Never NULL.
const char *PL_RegionISOName(RegionCode region);
// The region of a POSIX locale name ("de_DE.UTF-8@euro" reads as "de_DE"): the first region whose ISO name
// equals it, else the first whose ISO name equals its language part ("es_MX" as "es"); verUS for "C",
// "POSIX", NULL, an empty name or one that no region has.
RegionCode PL_RegionOfLocaleName(const char *localeName);
// The text encoding of a script: UTF-8 for the Unicode script (and the system and current pseudo scripts),
// Mac Roman for smRoman, the script's own number for the other classic scripts (no converter knows them);
// paramErr for a code outside the scripts. Language, region and font name are not needed here.
OSStatus UpgradeScriptInfoToTextEncoding(ScriptCode iTextScriptID, LangCode iTextLanguageID, RegionCode iRegionID,
                                         ConstStr255Param iTextFontname, TextEncoding *oEncoding);

typedef struct PL_TECObject *TECObjectRef;
// Owned converter (TECDisposeConverter); kTECNoConversionPathErr when either encoding is unknown.
OSStatus TECCreateConverter(TECObjectRef *newEncodingConverter, TextEncoding inputEncoding,
                            TextEncoding outputEncoding);
// Converts the whole input; kTextMalformedInputErr when it does not decode, kTECUnmappableElementErr when a
// character has no form in the output, kTECOutputBufferFullStatus (with what fits) when the buffer is short.
OSStatus TECConvertText(TECObjectRef encodingConverter, const UInt8 *inputBuffer, ByteCount inputBufferLength,
                        ByteCount *actualInputLength, UInt8 *outputBuffer, ByteCount outputBufferLength,
                        ByteCount *actualOutputLength);
OSStatus TECDisposeConverter(TECObjectRef newEncodingConverter);
