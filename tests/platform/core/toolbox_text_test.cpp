// Toolbox text stand-ins: Pascal strings, numbers as text, EqualString, ReplaceText, HFS names, the script
// and text-encoding calls, classic dates and font numbers.
#include "platform/core/cf_string.h"
#include "platform/core/fonts.h"
#include "platform/core/hfs_names.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/quickdraw_text.h"
#include "platform/core/text_encodings.h"
#include "platform/core/toolbox_dates.h"
#include "platform/core/toolbox_strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string P(const unsigned char *p) { return std::string(reinterpret_cast<const char *>(p + 1), p[0]); }

void MakeP(Str255 out, const char *s) { c2pstrcpy(out, s); }

TEST(PlatformToolboxText, PascalStringsConvertInPlaceAndClip) {
  Str255 s;
  MakeP(s, "movie");
  EXPECT_EQ(s[0], 5);
  char *c = reinterpret_cast<char *>(s);
  p2cstrcpy(c, s);  // in place
  EXPECT_STREQ(c, "movie");
  c2pstrcpy(s, c);  // in place back
  EXPECT_EQ(P(s), "movie");
  std::string longText(300, 'x');
  c2pstrcpy(s, longText.c_str());
  EXPECT_EQ(s[0], 255);
  Str255 a;
  MakeP(a, std::string(250, 'a').c_str());
  Str255 b;
  MakeP(b, "0123456789");
  PLstrcat(a, b);
  EXPECT_EQ(a[0], 255);
  EXPECT_EQ(P(a).substr(250), "01234");
  Str255 copy;
  PLstrcpy(copy, b);
  EXPECT_EQ(P(copy), "0123456789");
}

TEST(PlatformToolboxText, NumbersAsText) {
  struct Case {
    const char *text;
    SInt32 value;
  };
  const Case cases[] = {{"0", 0},          {"-123", -123}, {"+45", 45}, {"", 0}, {"12ab", 12},
                        {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}, {"4294967296", 0}};
  for (const Case &c : cases) {
    Str255 s;
    MakeP(s, c.text);
    SInt32 v = 99;
    StringToNum(s, &v);
    EXPECT_EQ(v, c.value) << c.text;
  }
  for (SInt32 v : {0, -1, 2147483647, -2147483647 - 1}) {
    Str255 s;
    NumToString(v, s);
    SInt32 back = 1;
    StringToNum(s, &back);
    EXPECT_EQ(back, v);
  }
}

TEST(PlatformToolboxText, EqualStringSensitivities) {
  struct Case {
    const char *a;
    const char *b;
    bool caseSens;
    bool diacSens;
    bool equal;
  };
  const Case cases[] = {
      {"Movie", "movie", false, true, true},  {"Movie", "movie", true, true, false},
      {"\x8E" "t\x8E", "ete", false, false, true},    // Mac Roman é
      {"\x8E" "t\x8E", "ete", false, true, false},
      {"\x83" "T\x8E", "\x8E" "t\x8E", false, true, true},  // É vs é
      {"abc", "abcd", false, false, false},
  };
  for (const Case &c : cases) {
    Str255 a;
    Str255 b;
    MakeP(a, c.a);
    MakeP(b, c.b);
    EXPECT_EQ(bool(EqualString(a, b, c.caseSens, c.diacSens)), c.equal) << c.a << " / " << c.b;
  }
}

TEST(PlatformToolboxText, ReplaceTextAndSetString) {
  Handle base = NewHandle(0);
  const char text[] = "^0 of ^0 done";
  PtrAndHand(text, base, Size(std::strlen(text)));
  Handle sub = NewHandle(0);
  PtrAndHand("12", sub, 2);
  Str255 key;
  MakeP(key, "^0");
  EXPECT_EQ(ReplaceText(base, sub, key), 2);
  EXPECT_EQ(std::string(*base, size_t(GetHandleSize(base))), "12 of 12 done");
  MakeP(key, "");
  EXPECT_EQ(ReplaceText(base, sub, key), paramErr);
  StringHandle sh = reinterpret_cast<StringHandle>(NewHandle(1));
  Str255 s;
  MakeP(s, "new text");
  SetString(sh, s);
  EXPECT_EQ(P(*sh), "new text");
  Str255 indexed;
  MakeP(indexed, "left over");
  GetIndString(indexed, 128, 1);
  EXPECT_EQ(indexed[0], 0);
  DisposeHandle(reinterpret_cast<Handle>(sh));
  DisposeHandle(sub);
  DisposeHandle(base);
}

TEST(PlatformToolboxText, HFSNamesCutAt255Units) {
  HFSUniStr255 name;
  EXPECT_EQ(FSGetHFSUniStrFromString(CFSTR("caf\xC3\xA9.mov"), &name), noErr);
  EXPECT_EQ(name.length, 8);
  EXPECT_EQ(name.unicode[3], 0xE9);
  CFStringRef back = FSCreateStringFromHFSUniStr(nullptr, &name);
  EXPECT_TRUE(CFEqual(back, CFSTR("caf\xC3\xA9.mov")));
  CFRelease(back);
  // 254 letters and a surrogate pair: the pair is not split.
  CFMutableStringRef longName = CFStringCreateMutable(nullptr, 0);
  for (int i = 0; i < 254; ++i) CFStringAppend(longName, CFSTR("a"));
  CFStringAppend(longName, CFSTR("\xF0\x9F\x8E\xAC"));
  EXPECT_EQ(FSGetHFSUniStrFromString(longName, &name), noErr);
  EXPECT_EQ(name.length, 254);
  CFRelease(longName);
  EXPECT_EQ(FSGetHFSUniStrFromString(nullptr, &name), paramErr);
  name.length = 300;
  EXPECT_EQ(FSCreateStringFromHFSUniStr(nullptr, &name), nullptr);
}

TEST(PlatformToolboxText, SystemScriptIsUnicodeInUTF8) {
  const auto script = ScriptCode(GetScriptManagerVariable(smSysScript));
  EXPECT_EQ(script, smUnicodeScript);
  TextEncoding enc = 1;
  EXPECT_EQ(UpgradeScriptInfoToTextEncoding(script, kTextLanguageDontCare, RegionCode(GetScriptManagerVariable(smRegionCode)),
                                            nullptr, &enc),
            noErr);
  EXPECT_EQ(enc, CFStringGetSystemEncoding());
  EXPECT_EQ(UpgradeScriptInfoToTextEncoding(smRoman, 0, 0, nullptr, &enc), noErr);
  EXPECT_EQ(enc, kTextEncodingMacRoman);
  EXPECT_EQ(UpgradeScriptInfoToTextEncoding(500, 0, 0, nullptr, &enc), paramErr);
  // Mac Roman's ellipsis byte becomes three UTF-8 bytes.
  TECObjectRef tec = nullptr;
  ASSERT_EQ(TECCreateConverter(&tec, kTextEncodingMacRoman, kTextEncodingUTF8), noErr);
  const UInt8 in[] = {201};
  UInt8 out[4];
  ByteCount used = 0;
  ByteCount read = 0;
  EXPECT_EQ(TECConvertText(tec, in, 1, &read, out, sizeof out, &used), noErr);
  EXPECT_EQ(used, 3u);
  EXPECT_EQ(std::memcmp(out, "\xE2\x80\xA6", 3), 0);
  EXPECT_EQ(TECConvertText(tec, in, 1, &read, out, 2, &used), kTECOutputBufferFullStatus);
  TECDisposeConverter(tec);
  ASSERT_EQ(TECCreateConverter(&tec, kTextEncodingUTF8, kTextEncodingMacRoman), noErr);
  EXPECT_EQ(TECConvertText(tec, reinterpret_cast<const UInt8 *>("\xE2\x98\x83"), 3, &read, out, 4, &used),
            kTECUnmappableElementErr);
  EXPECT_EQ(TECConvertText(tec, reinterpret_cast<const UInt8 *>("\xC3"), 1, &read, out, 4, &used),
            kTextMalformedInputErr);
  TECDisposeConverter(tec);
  EXPECT_EQ(TECCreateConverter(&tec, 1 /* Mac Japanese */, kTextEncodingUTF8), kTECNoConversionPathErr);
}

TEST(PlatformToolboxText, ClassicDates) {
  struct Case {
    LongDateTime secs;
    SInt16 year, month, day, hour, dayOfWeek, dayOfYear, pm;
  };
  const Case cases[] = {
      {0, 1904, 1, 1, 0, 6, 1, 0},                       // a Friday
      {86400 * 60 + 13 * 3600, 1904, 3, 1, 13, 3, 61, 1},  // leap year: 1 March is day 61, a Tuesday
      {3061152000LL, 2001, 1, 1, 0, 2, 1, 0},            // a Monday
  };
  for (const Case &c : cases) {
    LongDateRec r;
    LongSecondsToDate(&c.secs, &r);
    EXPECT_EQ(r.ld.year, c.year);
    EXPECT_EQ(r.ld.month, c.month);
    EXPECT_EQ(r.ld.day, c.day);
    EXPECT_EQ(r.ld.hour, c.hour);
    EXPECT_EQ(r.ld.dayOfWeek, c.dayOfWeek);
    EXPECT_EQ(r.ld.dayOfYear, c.dayOfYear);
    EXPECT_EQ(r.ld.pm, c.pm);
    LongDateTime back = -1;
    LongDateToSeconds(&r, &back);
    EXPECT_EQ(back, c.secs);
  }
  // Out-of-range fields carry over.
  LongDateRec r{};
  r.ld.year = 2003;
  r.ld.month = 13;
  r.ld.day = 0;
  LongDateTime secs = 0;
  LongDateToSeconds(&r, &secs);
  LongDateRec check;
  LongSecondsToDate(&secs, &check);
  EXPECT_EQ(check.ld.year, 2003);
  EXPECT_EQ(check.ld.month, 12);
  EXPECT_EQ(check.ld.day, 31);
  Str255 text;
  DateString(UInt32(3061152000u + 12 * 3600), longDate, text, nullptr);
  EXPECT_NE(P(text).find("2001"), std::string::npos) << P(text);
  TimeString(UInt32(3061152000u + 13 * 3600 + 4 * 60 + 5), true, text, nullptr);
  EXPECT_NE(P(text).find("04"), std::string::npos) << P(text);
}

TEST(PlatformToolboxText, FontNumbers) {
  Str255 name;
  SInt16 id = -1;
  MakeP(name, "Monaco");
  GetFNum(name, &id);
  EXPECT_EQ(id, 4);
  MakeP(name, "helvetica");
  GetFNum(name, &id);
  EXPECT_EQ(id, 21);
  MakeP(name, "DejaVu Sans Mono");
  GetFNum(name, &id);
  const SInt16 dejaVu = id;
  EXPECT_GE(dejaVu, 1024);
  GetFNum(name, &id);
  EXPECT_EQ(id, dejaVu);  // stable
  Str255 back;
  GetFontName(dejaVu, back);
  EXPECT_EQ(P(back), "DejaVu Sans Mono");
  GetFontName(22, back);
  EXPECT_EQ(P(back), "Courier");
  GetFontName(999, back);
  EXPECT_EQ(back[0], 0);
  MakeP(name, "");
  GetFNum(name, &id);
  EXPECT_EQ(id, systemFont);

  // ATSUI finds only families that exist; their IDs and ATS references are the family numbers.
  ATSUFontID font = 99;
  EXPECT_EQ(ATSUFindFontFromName("courier", 7, kFontNoNameCode, kFontNoPlatformCode, kFontNoScriptCode,
                                 kFontNoLanguageCode, &font),
            noErr);
  EXPECT_EQ(font, 22u);
  EXPECT_EQ(ATSUFindFontFromName("DejaVu Sans Mono", 16, 0, 0, 0, 0, &font), noErr);
  EXPECT_EQ(font, ATSUFontID(dejaVu));
  EXPECT_EQ(ATSUFindFontFromName("No Such Family", 14, 0, 0, 0, 0, &font), kATSUInvalidFontErr);
  EXPECT_EQ(ATSUFindFontFromName("Courier", 0, 0, 0, 0, 0, &font), kATSUInvalidFontErr);
  EXPECT_EQ(FMGetATSFontRefFromFont(22), 22u);
  EXPECT_EQ(FMGetATSFontRefFromFont(999), 0u);
}

TEST(PlatformToolboxText, ThemeFontsAreSizesOfTheSystemFamily) {
  struct Case {
    ThemeFontID id;
    SInt16 size;
    Style style;
  };
  const Case cases[] = {{kThemeSystemFont, 13, 0}, {kThemeSmallSystemFont, 11, 0},
                        {kThemeSmallEmphasizedSystemFont, 11, bold}, {kThemeMiniSystemFont, 9, 0}};
  for (const Case &c : cases) {
    Str255 name = {};
    SInt16 size = 0;
    Style style = 99;
    ASSERT_EQ(GetThemeFont(c.id, smSystemScript, name, &size, &style), noErr);
    EXPECT_EQ(P(name), "System Font");
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(style, c.style);
  }
  Str255 name;
  SInt16 size = 0;
  Style style = 0;
  EXPECT_EQ(GetThemeFont(4, smSystemScript, name, &size, &style), paramErr);
  EXPECT_EQ(GetThemeFont(kThemeSystemFont, smSystemScript, name, nullptr, &style), paramErr);
}

}  // namespace
