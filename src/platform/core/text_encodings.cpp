// Script Manager and Text Encoding Converter stand-ins over CFString's encodings.
#include "platform/core/text_encodings.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <cstdlib>
#include <string>

struct PL_TECObject {
  CFStringEncoding input;
  CFStringEncoding output;
};

namespace {

struct RegionRow {
  RegionCode region;
  LangCode language;
  const char *iso;
};

// Every region that has a language or an ISO locale name, in code order.
const RegionRow kRegions[] = {
    {0, 0, "en_US"},     {1, 1, "fr_FR"},      {2, 0, "en_GB"},     {3, 2, "de_DE"},     {4, 3, "it_IT"},
    {5, 4, "nl_NL"},     {6, 4, "nl_BE"},      {7, 5, "sv_SE"},     {8, 6, "es_ES"},     {9, 7, "da_DK"},
    {10, 8, "pt_PT"},    {11, 1, "fr_CA"},     {12, 9, "no_NO"},    {13, 10, "iw_IL"},   {14, 11, "ja_JP"},
    {15, 0, "en_AU"},    {16, 12, "ar"},       {17, 13, "fi_FI"},   {18, 1, "fr_CH"},    {19, 2, "de_CH"},
    {20, 14, "el_GR"},   {21, 15, "is_IS"},    {22, 16, "mt_MT"},   {24, 17, "tr_TR"},   {33, 21, "hi_IN"},
    {34, 20, "ur_PK"},   {36, 3, "it_CH"},     {37, langUnspecified, "en"}, {39, 37, "ro_RO"}, {41, 24, "lt_LT"},
    {42, 25, "pl_PL"},   {43, 26, "hu_HU"},    {44, 27, "et_EE"},   {45, 28, "lv_LV"},   {46, 29, "se"},
    {47, 30, "fo_FO"},   {48, 31, "fa_IR"},    {49, 32, "ru_RU"},   {50, 35, "ga_IE"},   {51, 23, "ko_KR"},
    {52, 33, "zh_CN"},   {53, 19, "zh_TW"},    {54, 22, "th_TH"},   {56, 38, "cs_CZ"},   {57, 39, "sk_SK"},
    {60, 67, "bn"},      {61, 46, "be_BY"},    {62, 45, "uk_UA"},   {65, 42, "sh_YU"},   {68, 18, "sh_HR"},
    {71, 8, "pt_BR"},    {72, 44, "bg_BG"},    {73, 130, "ca_ES"},  {75, 144, "gd"},     {76, 145, "gv"},
    {77, 142, "br"},     {78, 143, "iu_CA"},   {79, 128, "cy"},     {81, 146, "ga_IE"},  {82, 0, "en_CA"},
    {83, 137, "dz_BT"},  {84, 51, "hy_AM"},    {85, 52, "ka_GE"},   {86, 6, "es"},       {88, 147, "to_TO"},
    {91, 1, "fr"},       {92, 2, "de_AT"},     {94, 69, "gu_IN"},   {95, 70, "pa"},      {96, 20, "ur_IN"},
    {97, 80, "vi_VN"},   {98, 1, "fr_BE"},     {99, 47, "uz_UZ"},   {101, 9, ""},        {102, 141, "af_ZA"},
    {103, 94, "eo"},     {104, 66, "mr_IN"},   {105, 63, "bo"},     {106, 64, "ne_NP"},  {107, 149, "kl"},
};

const RegionRow *RowOf(RegionCode region) {
  for (const RegionRow &row : kRegions)
    if (row.region == region) return &row;
  return nullptr;
}

const RegionRow *RowOfISOName(const std::string &name) {
  if (name.empty()) return nullptr;
  for (const RegionRow &row : kRegions)
    if (name == row.iso) return &row;
  return nullptr;
}

// The locale the user's messages follow, as POSIX reads the environment.
const char *UserLocaleName() {
  for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char *value = std::getenv(variable);
    if (value != nullptr && value[0] != 0) return value;
  }
  return nullptr;
}

}  // namespace

LangCode PL_RegionLanguage(RegionCode region) {
  const RegionRow *row = RowOf(region);
  return row != nullptr ? row->language : LangCode(langUnspecified);
}

const char *PL_RegionISOName(RegionCode region) {
  const RegionRow *row = RowOf(region);
  return row != nullptr ? row->iso : "";
}

RegionCode PL_RegionOfLocaleName(const char *localeName) {
  if (localeName == nullptr) return verUS;
  std::string name(localeName);
  name = name.substr(0, name.find_first_of(".@"));
  const RegionRow *row = RowOfISOName(name);
  if (row == nullptr && name.find('_') != std::string::npos) row = RowOfISOName(name.substr(0, name.find('_')));
  return row != nullptr ? row->region : RegionCode(verUS);
}

SInt32 GetScriptManagerVariable(SInt16 selector) {
  switch (selector) {
    case smSysScript:
    case smKeyScript: return smUnicodeScript;
    case smRegionCode: return PL_RegionOfLocaleName(UserLocaleName());
    default: return 0;
  }
}

SInt32 GetScriptVariable(ScriptCode script, SInt16 selector) {
  if (selector != smScriptLang) return 0;
  if (script != smUnicodeScript && script != smSystemScript && script != smCurrentScript) return langEnglish;
  const LangCode language = PL_RegionLanguage(RegionCode(GetScriptManagerVariable(smRegionCode)));
  return language != langUnspecified ? language : LangCode(langEnglish);
}

OSStatus UpgradeScriptInfoToTextEncoding(ScriptCode iTextScriptID, LangCode, RegionCode, ConstStr255Param,
                                         TextEncoding *oEncoding) {
  if (oEncoding == nullptr) return paramErr;
  if (iTextScriptID == smUnicodeScript || iTextScriptID == smSystemScript || iTextScriptID == smCurrentScript ||
      iTextScriptID == kTextScriptDontCare) {
    *oEncoding = kTextEncodingUTF8;
    return noErr;
  }
  if (iTextScriptID < 0 || iTextScriptID > 32) return paramErr;
  *oEncoding = TextEncoding(iTextScriptID);  // smRoman is kTextEncodingMacRoman
  return noErr;
}

OSStatus TECCreateConverter(TECObjectRef *newEncodingConverter, TextEncoding inputEncoding,
                            TextEncoding outputEncoding) {
  if (newEncodingConverter == nullptr) return paramErr;
  *newEncodingConverter = nullptr;
  if (!CFStringIsEncodingAvailable(inputEncoding) || !CFStringIsEncodingAvailable(outputEncoding)) {
    return kTECNoConversionPathErr;
  }
  *newEncodingConverter = new PL_TECObject{inputEncoding, outputEncoding};
  return noErr;
}

OSStatus TECConvertText(TECObjectRef encodingConverter, const UInt8 *inputBuffer, ByteCount inputBufferLength,
                        ByteCount *actualInputLength, UInt8 *outputBuffer, ByteCount outputBufferLength,
                        ByteCount *actualOutputLength) {
  if (actualInputLength != nullptr) *actualInputLength = 0;
  if (actualOutputLength != nullptr) *actualOutputLength = 0;
  if (encodingConverter == nullptr || (inputBuffer == nullptr && inputBufferLength > 0) || outputBuffer == nullptr) {
    return paramErr;
  }
  PL_CFScoped<CFStringRef> text(CFStringCreateWithBytes(nullptr, inputBuffer, CFIndex(inputBufferLength),
                                                        encodingConverter->input, false));
  if (text == nullptr) return kTextMalformedInputErr;
  const CFIndex length = CFStringGetLength(text);
  CFIndex needed = 0;
  if (CFStringGetBytes(text, CFRangeMake(0, length), encodingConverter->output, 0, false, nullptr, 0, &needed) !=
      length) {
    return kTECUnmappableElementErr;
  }
  CFIndex used = 0;
  const CFIndex converted = CFStringGetBytes(text, CFRangeMake(0, length), encodingConverter->output, 0, false,
                                             outputBuffer, CFIndex(outputBufferLength), &used);
  if (actualOutputLength != nullptr) *actualOutputLength = ByteCount(used);
  if (converted < length) return kTECOutputBufferFullStatus;
  if (actualInputLength != nullptr) *actualInputLength = inputBufferLength;
  return noErr;
}

OSStatus TECDisposeConverter(TECObjectRef newEncodingConverter) {
  delete newEncodingConverter;
  return noErr;
}
