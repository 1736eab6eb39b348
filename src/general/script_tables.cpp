// Script, language and region tables.
#include "general/script_tables.h"

#include "general/memory_lists.h"
#include "general/standard_helpers.h"
#include "general/strings_text.h"
#include "platform/core/mac_errors.h"
#include "platform/core/text_encodings.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Named {
  SInt16 code;
  const char *name;
};

const Named kScriptNames[] = {
    {-1, "System script"},
    {-2, "Current script"},
    {-3, "All scripts"},
    {0, "Roman script"},
    {1, "Japanese script"},
    {2, "Traditional Chinese script"},
    {3, "Korean script"},
    {4, "Arabic script"},
    {5, "Hebrew script"},
    {6, "Greek script"},
    {7, "Cyrillic script"},
    {8, "RSymbol script"},
    {9, "Devanagari script"},
    {10, "Gurmukhi script"},
    {11, "Gujarati script"},
    {12, "Oriya script"},
    {13, "Bengali script"},
    {14, "Tamil script"},
    {15, "Telugu script"},
    {16, "Kannada script"},
    {17, "Malayalam script"},
    {18, "Sinhalese script"},
    {19, "Burmese script"},
    {20, "Khmer script"},
    {21, "Thai script"},
    {22, "Lao script"},
    {23, "Georgian script"},
    {24, "Armenian script"},
    {25, "Simplifies Chinese script"},
    {26, "Tibetan script"},
    {27, "Mongolian script"},
    {28, "Ethiopic script"},
    {29, "Central European Roman script"},
    {30, "Vietnamese script"},
    {31, "Extended Arabic script"},
    {32, "Uninterpreted script"},
    {126, "Unicode superscript"},
};

const Named kLanguageNames[] = {
    {0, "English"},
    {1, "French"},
    {2, "German"},
    {3, "Italian"},
    {4, "Dutch"},
    {5, "Swedish"},
    {6, "Spanish"},
    {7, "Danish"},
    {8, "Portuguese"},
    {9, "Norwegian"},
    {10, "Hebrew"},
    {11, "Japanese"},
    {12, "Arabic"},
    {13, "Finnish"},
    {14, "Greek"},
    {15, "Icelandic"},
    {16, "Maltese"},
    {17, "Turkish"},
    {18, "Croatian"},
    {19, "Chinese (traditional script)"},
    {20, "Urdu"},
    {21, "Hindi"},
    {22, "Thai"},
    {23, "Korean"},
    {24, "Lithuanian"},
    {25, "Polish"},
    {26, "Hungarian"},
    {27, "Estonian"},
    {28, "Latvian"},
    {29, "Sami"},
    {30, "Faroese"},
    {31, "Persian"},
    {32, "Russian"},
    {33, "Chinese (simplified script)"},
    {34, "Flemish"},
    {35, "Irish Gaelic"},
    {36, "Albanian"},
    {37, "Romanian"},
    {38, "Czech"},
    {39, "Slovak"},
    {40, "Slovenian"},
    {41, "Yiddish"},
    {42, "Serbian"},
    {43, "Macedonian"},
    {44, "Bulgarian"},
    {45, "Ukrainian"},
    {46, "Byelorussian"},
    {47, "Uzbek"},
    {48, "Kazakh"},
    {49, "Azerbaijani"},
    {50, "Azerbaijan (Arabic script)"},
    {51, "Armenian"},
    {52, "Georgian"},
    {53, "Moldavian"},
    {54, "Kirghiz"},
    {55, "Tajiki"},
    {56, "Turkmen"},
    {57, "Mongolian"},
    {58, "Mongolian (cyrilic script)"},
    {59, "Pashto"},
    {60, "Kurdish"},
    {61, "Kashmiri"},
    {62, "Sindhi"},
    {63, "Tibetan"},
    {64, "Nepali"},
    {65, "Sanskrit"},
    {66, "Marathi"},
    {67, "Bengali"},
    {68, "Assamese"},
    {69, "Gujarati"},
    {70, "Punjabi"},
    {71, "Oriya"},
    {72, "Malayalam"},
    {73, "Kannada"},
    {74, "Tamil"},
    {75, "Telugu"},
    {76, "Sinhalese"},
    {77, "Burmese"},
    {78, "Khmer"},
    {79, "Lao"},
    {80, "Vietnamese"},
    {81, "Indonesian"},
    {82, "Tagalog"},
    {83, "Malay (Roman script)"},
    {84, "Malay (Arabic script)"},
    {85, "Amharic"},
    {86, "Tigrinya"},
    {87, "Oromo"},
    {88, "Somali"},
    {89, "Swahili"},
    {90, "Ruandan"},
    {91, "Rundi"},
    {92, "Chewa"},
    {93, "Malagasy"},
    {94, "Esperanto"},
    {128, "Welsh"},
    {129, "Basque"},
    {130, "Catalan"},
    {131, "Latin"},
    {132, "Quechua"},
    {133, "Guarani"},
    {134, "Aymara"},
    {135, "Tatar"},
    {136, "Uighur"},
    {137, "Dzongkha"},
    {138, "Javanese (Roman script)"},
    {139, "Sundanese (Roman script)"},
    {140, "Galician"},
    {141, "Afrikaans"},
    {142, "Breton"},
    {143, "Inuktitut"},
    {144, "Scottish Gaelic"},
    {145, "Manx Gaelic"},
    {146, "Irish Gaelic (dot above)"},
    {147, "Tongan"},
    {148, "Greek (classic)"},
    {149, "Greenlandic"},
};

// Region names with the letters of the region's localised system edition ("" where there is none).
struct RegionName {
  SInt16 code;
  const char *name;
  const char *appleCode;
};

const RegionName kRegionNames[] = {
    {0, "English for USA", ""},
    {1, "France", "F"},
    {2, "Britain", "B"},
    {3, "Germany", "D"},
    {4, "Italy", "T"},
    {5, "Netherlands", "N"},
    {6, "Dutch for Belgium", "FN"},
    {7, "Sweden", "S"},
    {8, "Spain", "E"},
    {9, "Denmark", "DK"},
    {10, "Portugal", "PO"},
    {11, "French for Canada", "C"},
    {12, "Norway (Bokm\x8Cl)", "H"},
    {13, "Israel", "HB"},
    {14, "Japan", "J"},
    {15, "English for Australia", "X"},
    {16, "Arabic region", "AB"},
    {17, "Finland", "K"},
    {18, "French for Switzerland", "SF"},
    {19, "German for Switzerland", "SD"},
    {20, "Greece (modern version)", "GR"},
    {21, "Iceland", "IS"},
    {22, "Malta", "MA"},
    {23, "Cyprus", "CY"},
    {24, "Turkey", "TU"},
    {33, "India", ""},
    {34, "Pakistan", "UR"},
    {35, "Turkey (modified version)", "TU"},
    {36, "Italian for Switzerland", "ST"},
    {37, "International English region", "Z"},
    {39, "Romania", "RO"},
    {40, "Greece (classical version)", "GR"},
    {41, "Lithuania", "LT"},
    {42, "Poland", "PL"},
    {43, "Hungary", "MG"},
    {44, "Estonia", "EE"},
    {45, "Latvia", "LV"},
    {46, "Sami region", ""},
    {47, "Faroe Islands", "FA"},
    {48, "Iran", "PS"},
    {49, "Russia", "RS"},
    {50, "Gaelic for Ireland", "GA"},
    {51, "Korea", "KH"},
    {52, "China (simplified script)", "CH"},
    {53, "Taiwan (traditional script)", "TA"},
    {54, "Thailand", "TH"},
    {55, "Generic sript region", "ZS"},
    {56, "Czechia", "CZ"},
    {57, "Slovakia", "SL"},
    {58, "Far East generic region", "ZF"},
    {60, "Bengali region", ""},
    {61, "ByeloRussian region", "BY"},
    {62, "Ukraine", "UA"},
    {65, "Serbia", "SR"},
    {66, "Slovenia", "SV"},
    {67, "Macedonia", "MD"},
    {68, "Croatia", "CR"},
    {71, "Portuguese for Brazil", "BR"},
    {72, "Bulgaria", "BG"},
    {73, "Catalan for Spain", "CA"},
    {74, "Multilingual version region", "ZM"},
    {75, "Gaelic for Scotland", "GD"},
    {76, "Gaelic for the Isle of Man", "GV"},
    {77, "Breton region", "BZ"},
    {78, "Inuktitut for Canada", "IU"},
    {79, "Welsh region", "CU"},
    {81, "Gaelic for Ireland (dot above)", "GS"},
    {82, "English for Canada", "V"},
    {83, "Bhutan", "BH"},
    {84, "Armenia", "HY"},
    {85, "Georgia", "KR"},
    {86, "Spanish for Latin America", "LA"},
    {88, "Tonga", "TS"},
    {91, "Generic french region", ""},
    {92, "German for Austria", "AU"},
    {94, "Gujarati region", ""},
    {95, "Punjabi region", ""},
    {96, "Urdu for India", ""},
    {97, "Vietnam", ""},
    {98, "French for Belgium", "BF"},
    {99, "Uzbekistan", "UZ"},
    {100, "Singapore", "SG"},
    {101, "Norway (Nynorsk)", "NY"},
    {102, "Afrikaans for South Africa", "AK"},
    {103, "Esperanto region", ""},
    {104, "Marathi region", ""},
    {105, "Tibetan for China", ""},
    {106, "Nepal", ""},
    {107, "Greenland", ""},
};

// Languages by script, as ranges of codes.
struct LanguageRange {
  SInt16 script;
  SInt16 first;
  SInt16 last;
};

const LanguageRange kLanguageScripts[] = {
    {0, 0, 9},      {0, 13, 18},    {0, 29, 30},    {0, 34, 37},    {0, 40, 40},    {0, 81, 83},
    {0, 88, 94},    {0, 128, 134},  {0, 138, 142},  {0, 144, 147},  {0, 149, 149},  {1, 11, 11},
    {2, 19, 19},    {3, 23, 23},    {4, 12, 12},    {4, 20, 20},    {4, 31, 31},    {4, 50, 50},
    {4, 59, 62},    {4, 84, 84},    {4, 136, 136},  {5, 10, 10},    {5, 41, 41},    {6, 148, 148},
    {7, 32, 32},    {7, 42, 49},    {7, 53, 56},    {7, 58, 58},    {7, 135, 135},  {9, 21, 21},
    {9, 64, 66},    {10, 70, 70},   {11, 69, 69},   {12, 71, 71},   {13, 67, 68},   {14, 74, 74},
    {15, 75, 75},   {16, 73, 73},   {17, 72, 72},   {18, 76, 76},   {19, 77, 77},   {20, 78, 78},
    {21, 22, 22},   {22, 79, 79},   {23, 52, 52},   {24, 51, 51},   {25, 33, 33},   {26, 63, 63},
    {26, 137, 137}, {27, 57, 57},   {28, 85, 87},   {28, 143, 143}, {29, 24, 28},   {29, 38, 39},
    {30, 80, 80},
};

struct CodeRange {
  UInt16 first;
  UInt16 last;
};

const CodeRange kScriptCodes[] = {{0, 32}, {126, 126}};
const CodeRange kLanguageCodes[] = {{0, 94}, {128, 149}};
const CodeRange kRegionCodes[] = {{0, 37},  {39, 62}, {64, 68}, {71, 79}, {81, 86},
                                  {88, 88}, {91, 92}, {94, 107}};

constexpr RegionCode kLastRegion = 107;

template <size_t N>
std::vector<UInt16> Expand(const CodeRange (&ranges)[N]) {
  std::vector<UInt16> codes;
  for (const CodeRange &r : ranges)
    for (UInt32 code = r.first; code <= r.last; ++code) codes.push_back(UInt16(code));
  return codes;
}

// A new malloc'ed copy of the codes (NULL for none or when memory is out), with the count when asked.
UInt16 *NewList(const std::vector<UInt16> &codes, SInt32 *count) {
  if (count != nullptr) *count = 0;
  if (codes.empty()) return nullptr;
  UInt16 *list = static_cast<UInt16 *>(std::malloc(codes.size() * sizeof(UInt16)));
  if (list == nullptr) return nullptr;
  std::memcpy(list, codes.data(), codes.size() * sizeof(UInt16));
  if (count != nullptr) *count = SInt32(codes.size());
  return list;
}

UInt16 *NewMarkedList(std::vector<UInt16> codes, UInt16 endMark) {
  codes.push_back(endMark);
  return NewList(codes, nullptr);
}

const RegionName *RegionRowOf(RegionCode region) {
  for (const RegionName &row : kRegionNames)
    if (row.code == region) return &row;
  return nullptr;
}

template <typename Row, size_t N>
void CopyName(const Row (&rows)[N], SInt16 code, const char *unspecified, char *name) {
  if (name == nullptr) return;
  const char *found = unspecified;
  for (const Row &row : rows)
    if (row.code == code) {
      found = row.name;
      break;
    }
  std::strcpy(name, found);
}

template <typename Row, size_t N>
SInt16 CodeOfName(const Row (&rows)[N], const char *name, SInt16 none) {
  for (const Row &row : rows)
    if (GL_EqualCStr(row.name, name)) return row.code;
  return none;
}

}  // namespace

UInt16 *GL_GetScriptList() { return NewMarkedList(Expand(kScriptCodes), kGL_NoScript); }

UInt16 *GL_GetLanguageList() { return NewMarkedList(Expand(kLanguageCodes), kGL_NoLanguage); }

UInt16 *GL_GetRegionList() { return NewMarkedList(Expand(kRegionCodes), kGL_NoScript); }

LangCode GL_RegionToLanguage(RegionCode region) {
  if (region < 0 || region > kLastRegion) return kGL_NoLanguage;
  return PL_RegionLanguage(region);
}

ScriptCode GL_LanguageToScript(LangCode language) {
  for (const LanguageRange &r : kLanguageScripts)
    if (language >= r.first && language <= r.last) return r.script;
  return kGL_NoScript;
}

UInt16 *GL_ListScriptLanguages(ScriptCode scriptCode, SInt32 *numLanguages) {
  std::vector<UInt16> languages;
  for (UInt16 language : Expand(kLanguageCodes))
    if (GL_LanguageToScript(LangCode(language)) == scriptCode) languages.push_back(language);
  return NewList(languages, numLanguages);
}

UInt16 *GL_ListLanguageRegions(LangCode language, SInt32 *numRegions) {
  std::vector<UInt16> regions;
  for (RegionCode region = 0; region <= kLastRegion; ++region)
    if (GL_RegionToLanguage(region) == language) regions.push_back(UInt16(region));
  return NewList(regions, numRegions);
}

void GL_RegionToPN_AndISO_Code(RegionCode region, char *appleCode, char *isoCode) {
  const RegionName *row = RegionRowOf(region);
  if (appleCode != nullptr) std::strcpy(appleCode, row != nullptr ? row->appleCode : "");
  if (isoCode != nullptr) std::strcpy(isoCode, row != nullptr ? PL_RegionISOName(region) : "");
}

Boolean GL_RegionHasLocalizedMacOS(RegionCode region) {
  char appleCode[8], isoCode[8];
  GL_RegionToPN_AndISO_Code(region, appleCode, isoCode);
  return appleCode[0] != 0;
}

UInt16 *GL_ListLanguageLocalizedMacOSRegions(LangCode langCode, SInt32 *numRegionsWithLocalizedMacOS) {
  SInt32 count = 0;
  UInt16 *regions = GL_ListLanguageRegions(langCode, &count);
  std::vector<UInt16> localized;
  for (SInt32 i = 0; i < count; ++i)
    if (GL_RegionHasLocalizedMacOS(RegionCode(regions[i]))) localized.push_back(regions[i]);
  GL_DisposePtr(&regions);
  return NewList(localized, numRegionsWithLocalizedMacOS);
}

UInt16 *GL_ListScriptLocalizedMacOSRegions(ScriptCode scriptCode, SInt32 *totalNumRegionsWithLocalizedMacOS) {
  if (totalNumRegionsWithLocalizedMacOS != nullptr) *totalNumRegionsWithLocalizedMacOS = 0;
  SInt32 numLanguages = 0;
  UInt16 *languages = GL_ListScriptLanguages(scriptCode, &numLanguages);
  UInt16 *all = nullptr;
  size_t total = 0;
  OSStatus err = noErr;
  for (SInt32 i = 0; i < numLanguages && err == noErr; ++i) {
    SInt32 count = 0;
    UInt16 *regions = GL_ListLanguageLocalizedMacOSRegions(LangCode(languages[i]), &count);
    const size_t bytes = size_t(count) * sizeof(UInt16);
    err = GL_PtrAndPtr(&regions, bytes, &all, total * sizeof(UInt16), total * sizeof(UInt16), true);
    // The language's list is freed whether or not it joined.
    GL_DisposePtr(&regions);
    if (err == noErr) total += size_t(count);
  }
  GL_DisposePtr(&languages);
  if (err != noErr) {
    GL_DisposePtr(&all);
    return nullptr;
  }
  if (totalNumRegionsWithLocalizedMacOS != nullptr) *totalNumRegionsWithLocalizedMacOS = SInt32(total);
  return all;
}

void GL_RegionCodeToRegionName(RegionCode code, char *name) {
  CopyName(kRegionNames, code, "Unspecified region", name);
}

void GL_LanguageCodeToLanguageName(LangCode code, char *name) {
  CopyName(kLanguageNames, code, "Unspecified language", name);
}

void GL_ScriptCodeToScriptName(ScriptCode code, char *name) {
  CopyName(kScriptNames, code, "Unspecified script", name);
}

RegionCode GL_RegionNameToRegionCode(const char *name) { return CodeOfName(kRegionNames, name, kGL_NoLanguage); }

LangCode GL_LanguageNameToLanguageCode(const char *name) {
  return CodeOfName(kLanguageNames, name, kGL_NoLanguage);
}

ScriptCode GL_ScriptNameToScriptCode(const char *name) { return CodeOfName(kScriptNames, name, kGL_NoScript); }

ScriptCode GL_GetSystemScript() { return ScriptCode(GetScriptManagerVariable(smSysScript)); }

RegionCode GL_GetSystemScriptRegion() { return RegionCode(GetScriptManagerVariable(smRegionCode)); }

ScriptCode GL_GetCurrentScript() { return GLD_FontScript(); }

LangCode GL_GetSystemScriptDefaultLanguage() { return LangCode(GetScriptVariable(GL_GetSystemScript(), smScriptLang)); }

LangCode GL_GetCurrentScriptDefaultLanguage() {
  return LangCode(GetScriptVariable(GL_GetCurrentScript(), smScriptLang));
}

LangCode GL_GetSystemScriptCurrentLanguage() { return kGL_NoLanguage; }

LangCode GL_GetCurrentScriptCurrentLanguage() { return kGL_NoLanguage; }
