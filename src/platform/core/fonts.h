// Font Manager names and family numbers. Linux has no font numbers, so the classic families keep their
// historic numbers (systemFont 0, applFont 1, Geneva 3, Monaco 4, Times 20, Helvetica 21, Courier 22 ...)
// and any other name gets a number of its own for the life of the process; the user-interface layer maps
// names to real fonts.
#pragma once

#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_ports.h"

enum : SInt16 { systemFont = 0, applFont = 1 };

// The interface's theme fonts. Every one is a size of the system font family here.
typedef UInt16 ThemeFontID;
enum : ThemeFontID {
  kThemeSystemFont = 0,
  kThemeSmallSystemFont = 1,
  kThemeSmallEmphasizedSystemFont = 2,
  kThemeViewsFont = 3,
  kThemeApplicationFont = 5,
  kThemeMiniSystemFont = 109,
};

// The family number of a name (a Pascal string); 0 (the system font) for an empty name.
void GetFNum(ConstStr255Param name, SInt16 *familyID);
// The family the theme font is drawn in ("System Font") and the theme's size in pixels and style:
// system 13, small system 11, small emphasized system 11 bold, views 12, application 12, mini system 9.
// paramErr for another theme font or a missing out-pointer. The script does not matter here.
OSStatus GetThemeFont(ThemeFontID inFontID, ScriptCode inScript, Str255 outFontName, SInt16 *outFontSize,
                      Style *outStyle);
// The name of a family number; an empty string for a number that names no family.
void GetFontName(SInt16 familyID, Str255 name);
// The application font's family number (applFont).
SInt16 GetAppFont();

// ---- Scripts and font instances ----
// Every family here is drawn from Unicode fonts and carries no script of its own: all answer smRoman, whose
// parse table has no double-byte characters.
typedef UInt32 FMFont;
typedef SInt16 FMFontFamily;
typedef SInt16 FMFontStyle;
typedef char CharByteTable[256];
enum : OSStatus { kFMInvalidFontFamilyErr = -981 };

// The script of the current port's font.
SInt16 FontScript();
SInt16 FontToScript(SInt16 fontNumber);
// All zeros (no byte starts a two-byte character) and true for smRoman (also for smSystemScript and
// smCurrentScript, which name it); false for any other script.
Boolean FillParseTable(CharByteTable table, ScriptCode script);
// Each family has one font, numbered like the family, with no intrinsic style; kFMInvalidFontFamilyErr
// for a number that names no family.
OSStatus FMGetFontFromFontFamilyInstance(FMFontFamily iFontFamily, FMFontStyle iStyle, FMFont *oFont,
                                         FMFontStyle *oIntrinsicStyle);

// ---- ATSUI and ATS font references ----
// An ATSUI font ID and an ATS font reference are the font's (that is, the family's) number, stable for the
// life of the process.
typedef FMFont ATSUFontID;
typedef UInt32 ATSFontRef;
typedef UInt32 FontNameCode;
typedef UInt32 FontPlatformCode;
typedef UInt32 FontScriptCode;
typedef UInt32 FontLanguageCode;
enum : UInt32 {
  kFontNoNameCode = 0xFFFFFFFF,
  kFontNoPlatformCode = 0xFFFFFFFF,
  kFontNoScriptCode = 0xFFFFFFFF,
  kFontNoLanguageCode = 0xFFFFFFFF,
};
enum : OSStatus { kATSUInvalidFontErr = -8796 };
// The font of a family known by that name (iNameLength bytes, compared ignoring case; the name codes are
// not needed here). kATSUInvalidFontErr for a name no family has been given, paramErr for a NULL argument.
OSStatus ATSUFindFontFromName(const void *iName, ByteCount iNameLength, FontNameCode iFontNameCode,
                              FontPlatformCode iFontNamePlatform, FontScriptCode iFontNameScript,
                              FontLanguageCode iFontNameLanguage, ATSUFontID *oFontID);
// The ATS reference of a font: its number; 0 for a number that names no font.
ATSFontRef FMGetATSFontRefFromFont(FMFont iFont);
