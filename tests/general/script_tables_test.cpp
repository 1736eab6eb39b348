#include "general/script_tables.h"

#include "platform/core/text_encodings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// The codes of a list up to its end mark, the list freed.
std::vector<UInt16> TakeMarked(UInt16 *list, UInt16 endMark) {
  std::vector<UInt16> codes;
  for (size_t i = 0; list != nullptr && list[i] != endMark; ++i) codes.push_back(list[i]);
  std::free(list);
  return codes;
}

// Calls a list routine and takes its list of `count` codes, the list freed.
template <typename Proc>
std::vector<UInt16> TakeCounted(Proc proc) {
  SInt32 count = -1;
  UInt16 *list = proc(&count);
  std::vector<UInt16> codes(list, list + (list != nullptr ? count : 0));
  std::free(list);
  return codes;
}

// Sets one locale variable for the life of the record and clears the others that would win over it.
class LocaleEnvironment {
 public:
  explicit LocaleEnvironment(const char *lang) {
    for (const char *name : kNames) {
      const char *value = std::getenv(name);
      saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
    if (lang != nullptr) setenv("LANG", lang, 1);
  }
  ~LocaleEnvironment() {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) setenv(kNames[i], saved_[i]->c_str(), 1);
      else unsetenv(kNames[i]);
    }
  }

 private:
  static constexpr const char *kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST(GeneralScriptTables, CodeListsEndWithTheirMarks) {
  const std::vector<UInt16> scripts = TakeMarked(GL_GetScriptList(), 125);
  EXPECT_EQ(scripts.size(), 34u);
  EXPECT_EQ(scripts.back(), 126);

  const std::vector<UInt16> languages = TakeMarked(GL_GetLanguageList(), 32767);
  EXPECT_EQ(languages.size(), 117u);
  EXPECT_EQ(languages[95], 128);

  UInt16 *raw = GL_GetRegionList();
  const std::vector<UInt16> regions = TakeMarked(raw, 125);
  ASSERT_GE(regions.size(), 2u);
  EXPECT_EQ(regions[regions.size() - 2], 106);
  EXPECT_EQ(regions.back(), 107);
  EXPECT_EQ(std::set<UInt16>(regions.begin(), regions.end()).size(), regions.size());  // each code once
  for (UInt16 missing : {38, 63, 69, 70, 80, 87, 89, 90, 93})
    EXPECT_EQ(std::set<UInt16>(regions.begin(), regions.end()).count(missing), 0u) << missing;
}

TEST(GeneralScriptTables, RegionsLanguagesAndScripts) {
  struct Case {
    RegionCode region;
    LangCode language;
    ScriptCode script;
  };
  const Case cases[] = {
      {0, 0, 0},     {3, 2, 0},     {14, 11, 1},   {49, 32, 7},   {53, 19, 2},       {107, 149, 0},
      {56, 38, 29},  {73, 130, 0},  {23, 32767, 125}, {108, 32767, 125}, {-1, 32767, 125},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(GL_RegionToLanguage(c.region), c.language) << c.region;
    EXPECT_EQ(GL_LanguageToScript(GL_RegionToLanguage(c.region)), c.script) << c.region;
  }
  EXPECT_EQ(GL_LanguageToScript(148), 6);
  EXPECT_EQ(GL_LanguageToScript(95), 125);

  const std::vector<UInt16> roman = TakeCounted([](SInt32 *n) { return GL_ListScriptLanguages(0, n); });
  EXPECT_EQ(roman.size(), 50u);
  EXPECT_EQ(roman.front(), 0);
  EXPECT_EQ(roman.back(), 149);
  SInt32 n = -1;
  for (ScriptCode none : {8, 31, 32}) {
    n = -1;
    EXPECT_EQ(GL_ListScriptLanguages(none, &n), nullptr) << none;
    EXPECT_EQ(n, 0);
  }
  const std::vector<UInt16> french = TakeCounted([](SInt32 *n) { return GL_ListLanguageRegions(1, n); });
  EXPECT_EQ(french, (std::vector<UInt16>{1, 11, 18, 91, 98}));
  EXPECT_EQ(GL_ListLanguageRegions(36, &n), nullptr);  // Albanian: no region
  EXPECT_EQ(n, 0);
}

TEST(GeneralScriptTables, LocalizedSystemsAndCodes) {
  EXPECT_FALSE(GL_RegionHasLocalizedMacOS(0));
  EXPECT_TRUE(GL_RegionHasLocalizedMacOS(1));
  EXPECT_FALSE(GL_RegionHasLocalizedMacOS(107));
  EXPECT_FALSE(GL_RegionHasLocalizedMacOS(30));  // no row

  char appleCode[8] = "?", isoCode[8] = "?";
  GL_RegionToPN_AndISO_Code(6, appleCode, isoCode);
  EXPECT_EQ(std::string(appleCode), "FN");
  EXPECT_EQ(std::string(isoCode), "nl_BE");
  GL_RegionToPN_AndISO_Code(101, appleCode, isoCode);  // a localised edition without an ISO name
  EXPECT_EQ(std::string(isoCode), "");
  GL_RegionToPN_AndISO_Code(200, appleCode, isoCode);
  EXPECT_EQ(std::string(appleCode), "");
  EXPECT_EQ(std::string(isoCode), "");

  // English: 0, 2, 15, 82; the USA has no localised edition of its own.
  SInt32 n = -1;
  EXPECT_EQ(TakeCounted([](SInt32 *n) { return GL_ListLanguageLocalizedMacOSRegions(0, n); }),
            (std::vector<UInt16>{2, 15, 82}));
  EXPECT_EQ(GL_ListLanguageLocalizedMacOSRegions(149, &n), nullptr);  // Greenlandic: only region 107
  EXPECT_EQ(n, 0);
  // Japanese script: Japanese (14). Cyrillic: each language's regions in language order.
  EXPECT_EQ(TakeCounted([](SInt32 *n) { return GL_ListScriptLocalizedMacOSRegions(1, n); }), (std::vector<UInt16>{14}));
  EXPECT_EQ(TakeCounted([](SInt32 *n) { return GL_ListScriptLocalizedMacOSRegions(7, n); }),
            (std::vector<UInt16>{49, 65, 72, 62, 61, 99}));
  EXPECT_EQ(GL_ListScriptLocalizedMacOSRegions(8, &n), nullptr);
  EXPECT_EQ(n, 0);
}

TEST(GeneralScriptTables, NamesBothWays) {
  char name[kGL_ScriptNameBufferSize];
  struct Case {
    int kind;  // 0 region, 1 language, 2 script
    SInt16 code;
    const char *name;
  };
  const Case cases[] = {
      {0, 12, "Norway (Bokm\x8Cl)"}, {0, 81, "Gaelic for Ireland (dot above)"}, {0, 55, "Generic sript region"},
      {1, 58, "Mongolian (cyrilic script)"}, {1, 149, "Greenlandic"}, {2, -3, "All scripts"},
      {2, 126, "Unicode superscript"}, {2, 25, "Simplifies Chinese script"},
  };
  for (const Case &c : cases) {
    if (c.kind == 0) {
      GL_RegionCodeToRegionName(c.code, name);
      EXPECT_EQ(GL_RegionNameToRegionCode(c.name), c.code);
    } else if (c.kind == 1) {
      GL_LanguageCodeToLanguageName(c.code, name);
      EXPECT_EQ(GL_LanguageNameToLanguageCode(c.name), c.code);
    } else {
      GL_ScriptCodeToScriptName(c.code, name);
      EXPECT_EQ(GL_ScriptNameToScriptCode(c.name), c.code);
    }
    EXPECT_EQ(std::string(name), c.name);
  }
  EXPECT_EQ(static_cast<unsigned char>("Norway (Bokm\x8Cl)"[12]), 0x8C);
  GL_RegionCodeToRegionName(38, name);
  EXPECT_EQ(std::string(name), "Unspecified region");
  GL_LanguageCodeToLanguageName(100, name);
  EXPECT_EQ(std::string(name), "Unspecified language");
  GL_ScriptCodeToScriptName(33, name);
  EXPECT_EQ(std::string(name), "Unspecified script");
  // Names match exactly.
  EXPECT_EQ(GL_ScriptNameToScriptCode("all scripts"), 125);
  EXPECT_EQ(GL_LanguageNameToLanguageCode("English "), 32767);
  EXPECT_EQ(GL_RegionNameToRegionCode("Atlantis"), 32767);
}

TEST(GeneralScriptTables, SystemQueriesFollowTheLocale) {
  struct Case {
    const char *lang;
    RegionCode region;
    LangCode language;
  };
  const Case cases[] = {
      {"de_DE.UTF-8", 3, 2}, {"fr_CA", 11, 1}, {"es_MX.UTF-8", 86, 6}, {"en", 37, 0},
      {"C", 0, 0},           {"C.UTF-8", 0, 0}, {"xx_YY", 0, 0},       {nullptr, 0, 0},
  };
  for (const Case &c : cases) {
    LocaleEnvironment env(c.lang);
    EXPECT_EQ(GL_GetSystemScriptRegion(), c.region) << (c.lang ? c.lang : "(unset)");
    EXPECT_EQ(GL_GetSystemScriptDefaultLanguage(), c.language) << (c.lang ? c.lang : "(unset)");
  }
  {
    // LC_ALL wins over LANG.
    LocaleEnvironment env("de_DE");
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(GL_GetSystemScriptRegion(), 14);
  }
  EXPECT_EQ(GL_GetSystemScript(), 126);
  EXPECT_EQ(GL_GetCurrentScript(), 0);
  EXPECT_EQ(GL_GetCurrentScriptDefaultLanguage(), 0);
  EXPECT_EQ(GL_GetSystemScriptCurrentLanguage(), 32767);
  EXPECT_EQ(GL_GetCurrentScriptCurrentLanguage(), 32767);
}

}  // namespace
