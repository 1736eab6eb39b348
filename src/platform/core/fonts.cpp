// Font family numbers by name: the classic table, then numbers handed out on first use.
#include "platform/core/fonts.h"

#include "platform/core/mac_errors.h"

#include <cstring>
#include <strings.h>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Family {
  SInt16 id;
  const char *name;
};

const Family kClassic[] = {{0, "System Font"}, {1, "Application Font"}, {2, "New York"}, {3, "Geneva"},
                           {4, "Monaco"},      {5, "Venice"},          {6, "London"},   {7, "Athens"},
                           {8, "San Francisco"}, {9, "Toronto"},       {11, "Cairo"},   {12, "Los Angeles"},
                           {20, "Times"},      {21, "Helvetica"},      {22, "Courier"}, {23, "Symbol"},
                           {24, "Mobile"}};

constexpr SInt16 kFirstDynamic = 1024;

std::mutex &RegistryMutex() {
  static std::mutex m;
  return m;
}
std::vector<std::string> &Registry() {
  static auto *names = new std::vector<std::string>();
  return *names;
}

bool SameName(const std::string &a, const char *b) { return strcasecmp(a.c_str(), b) == 0; }

// The family number of a name; with `add`, a name no family has yet gets the next free number. False when
// there is none (or no number is left).
bool FindFamily(const std::string &n, bool add, SInt16 *familyID) {
  for (const Family &f : kClassic) {
    if (SameName(n, f.name)) {
      *familyID = f.id;
      return true;
    }
  }
  std::lock_guard<std::mutex> lock(RegistryMutex());
  std::vector<std::string> &reg = Registry();
  for (size_t i = 0; i < reg.size(); ++i) {
    if (SameName(n, reg[i].c_str())) {
      *familyID = SInt16(kFirstDynamic + SInt16(i));
      return true;
    }
  }
  if (!add || reg.size() >= size_t(32767 - kFirstDynamic)) return false;
  reg.push_back(n);
  *familyID = SInt16(kFirstDynamic + SInt16(reg.size() - 1));
  return true;
}

struct ThemeFont {
  ThemeFontID id;
  SInt16 size;
  Style style;
};
const ThemeFont kThemeFonts[] = {
    {kThemeSystemFont, 13, 0},          {kThemeSmallSystemFont, 11, 0}, {kThemeSmallEmphasizedSystemFont, 11, 1},
    {kThemeViewsFont, 12, 0},           {kThemeApplicationFont, 12, 0}, {kThemeMiniSystemFont, 9, 0},
};

}  // namespace

void GetFNum(ConstStr255Param name, SInt16 *familyID) {
  if (familyID == nullptr) return;
  *familyID = systemFont;
  if (name == nullptr || name[0] == 0) return;
  const std::string n(reinterpret_cast<const char *>(name + 1), name[0]);
  FindFamily(n, true, familyID);
}

OSStatus GetThemeFont(ThemeFontID inFontID, ScriptCode, Str255 outFontName, SInt16 *outFontSize, Style *outStyle) {
  if (outFontSize == nullptr || outStyle == nullptr) return paramErr;
  for (const ThemeFont &t : kThemeFonts) {
    if (t.id != inFontID) continue;
    if (outFontName != nullptr) GetFontName(systemFont, outFontName);
    *outFontSize = t.size;
    *outStyle = t.style;
    return noErr;
  }
  return paramErr;
}

OSStatus ATSUFindFontFromName(const void *iName, ByteCount iNameLength, FontNameCode, FontPlatformCode,
                              FontScriptCode, FontLanguageCode, ATSUFontID *oFontID) {
  if (iName == nullptr || oFontID == nullptr) return paramErr;
  SInt16 family = 0;
  if (iNameLength == 0 || !FindFamily(std::string(static_cast<const char *>(iName), iNameLength), false, &family))
    return kATSUInvalidFontErr;
  *oFontID = ATSUFontID(UInt16(family));
  return noErr;
}

ATSFontRef FMGetATSFontRefFromFont(FMFont iFont) {
  Str255 name;
  GetFontName(SInt16(iFont), name);
  return iFont <= 0x7FFF && name[0] != 0 ? ATSFontRef(iFont) : 0;
}

void GetFontName(SInt16 familyID, Str255 name) {
  if (name == nullptr) return;
  name[0] = 0;
  std::string found;
  for (const Family &f : kClassic) {
    if (f.id == familyID) found = f.name;
  }
  if (found.empty() && familyID >= kFirstDynamic) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    const size_t i = size_t(familyID - kFirstDynamic);
    if (i < Registry().size()) found = Registry()[i];
  }
  name[0] = UInt8(found.size());
  std::memcpy(name + 1, found.data(), found.size());
}

SInt16 GetAppFont() { return applFont; }

SInt16 FontScript() { return 0; }  // smRoman

SInt16 FontToScript(SInt16) { return 0; }

Boolean FillParseTable(CharByteTable table, ScriptCode script) {
  if (table == nullptr) return false;
  if (script != 0 && script != -1 && script != -2) return false;  // smRoman, smSystemScript, smCurrentScript
  std::memset(table, 0, sizeof(CharByteTable));
  return true;
}

OSStatus FMGetFontFromFontFamilyInstance(FMFontFamily iFontFamily, FMFontStyle, FMFont *oFont,
                                         FMFontStyle *oIntrinsicStyle) {
  Str255 name;
  GetFontName(iFontFamily, name);
  if (name[0] == 0) return kFMInvalidFontFamilyErr;
  if (oFont != nullptr) *oFont = FMFont(UInt16(iFontFamily));
  if (oIntrinsicStyle != nullptr) *oIntrinsicStyle = 0;
  return noErr;
}
