// The Script Manager's numeric script, language and region codes as fixed tables: lists of the known codes,
// the language of a region, the script of a language, the languages of a script and the regions of a
// language, English names in both directions, the region's localised-system code and ISO locale name, and
// the current system script, region and language.
//
// Codes are signed 16-bit; 32767 means no language (the end mark of the language list and the answer for
// unknown regions), 125 no script (the end mark of the script and region lists, the answer for unknown
// languages); -1, -2 and -3 are the pseudo scripts "System script", "Current script" and "All scripts".
// Code lists are owned by the caller (free them with free or GL_DisposePtr). Names are zero-terminated Mac
// Roman strings ("Norway (Bokm\x8Cl)"); name buffers hold kGL_ScriptNameBufferSize bytes.
// Tables: any thread; the system queries read the Script Manager stand-in, which follows the user's locale.
#pragma once

#include "platform/core/mac_types.h"

enum : SInt16 { kGL_NoLanguage = 32767, kGL_NoScript = 125 };
enum : size_t { kGL_ScriptNameBufferSize = 32 };

// New lists ending with their end mark: the scripts 0..32 and 126 (then 125), the languages 0..94 and
// 128..149 (then 32767), the regions of the classic system (then 125). NULL when memory is out.
UInt16 *GL_GetScriptList();
UInt16 *GL_GetLanguageList();
UInt16 *GL_GetRegionList();

// The region's language; 32767 outside 0..107 or for a region without one.
LangCode GL_RegionToLanguage(RegionCode region);
// The language's script; 125 for an unknown language.
ScriptCode GL_LanguageToScript(LangCode language);
// New lists (ascending) of the languages of a script and of the regions of a language, with their count;
// NULL and 0 when there is none (or memory is out).
UInt16 *GL_ListScriptLanguages(ScriptCode scriptCode, SInt32 *numLanguages);
UInt16 *GL_ListLanguageRegions(LangCode language, SInt32 *numRegions);

// The letters of the region's localised system edition and its ISO locale name; "" and "" for an unknown
// region. Each buffer holds at least 8 bytes.
void GL_RegionToPN_AndISO_Code(RegionCode region, char *appleCode, char *isoCode);
// True when the region has a localised system edition (its code is not empty).
Boolean GL_RegionHasLocalizedMacOS(RegionCode region);
// New lists of the regions with a localised system: of one language, and of every language of a script
// (the languages in ascending order, each with its regions); the count in the out-parameter. NULL (count 0)
// when there is none or memory is out.
UInt16 *GL_ListLanguageLocalizedMacOSRegions(LangCode langCode, SInt32 *numRegionsWithLocalizedMacOS);
UInt16 *GL_ListScriptLocalizedMacOSRegions(ScriptCode scriptCode, SInt32 *totalNumRegionsWithLocalizedMacOS);

// Names of codes ("Unspecified region", "Unspecified language", "Unspecified script" for codes without one).
void GL_RegionCodeToRegionName(RegionCode code, char *name);
void GL_LanguageCodeToLanguageName(LangCode code, char *name);
void GL_ScriptCodeToScriptName(ScriptCode code, char *name);
// The first code whose name equals `name` exactly; 32767, 32767 and 125 when none does.
RegionCode GL_RegionNameToRegionCode(const char *name);
LangCode GL_LanguageNameToLanguageCode(const char *name);
ScriptCode GL_ScriptNameToScriptCode(const char *name);

// The system script (Unicode, 126, here), the system region (the user's locale), the current script (the
// current port's font's), and the default languages of the system and current scripts.
ScriptCode GL_GetSystemScript();
RegionCode GL_GetSystemScriptRegion();
ScriptCode GL_GetCurrentScript();
LangCode GL_GetSystemScriptDefaultLanguage();
LangCode GL_GetCurrentScriptDefaultLanguage();
// Always 32767: no current language is kept.
LangCode GL_GetSystemScriptCurrentLanguage();
LangCode GL_GetCurrentScriptCurrentLanguage();
