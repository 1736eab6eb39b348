// Components and movie exporters: lookups by name and type, exporter flags, the track types of their
// source lists and their file name extensions.
#include "movie/export_components.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/atoms.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(MovieExportComponents, FileNameExtensionsDropTrailingBlanks) {
  struct Case {
    OSType subType;
    const char *extension;
  };
  const Case cases[] = {{'MooV', ".mov"}, {'dvc!', ".dv"}, {'mpg4', ".mp4"}};
  for (const Case &c : cases) {
    ComponentInstance ci = nullptr;
    ASSERT_EQ(noErr, OpenAComponent(QT_GetComponentOfType(MovieExportType, c.subType, kAppleManufacturer), &ci));
    char text[16] = "junk";
    EXPECT_EQ(noErr, QT_GetExportFileNameExtension(ci, text));
    EXPECT_STREQ(c.extension, text);
    CloseComponent(ci);
  }
  char text[16] = "junk";
  EXPECT_EQ(badComponentInstance, QT_GetExportFileNameExtension(nullptr, text));
  EXPECT_STREQ("", text);
}

TEST(MovieExportComponents, FindsComponentsByNameTypeAndFlags) {
  Component c = nullptr;
  ComponentDescription cd{};
  ASSERT_EQ(noErr, QT_GetComponentByNameAndType("DV Stream", MovieExportType, &c, &cd));
  EXPECT_NE(nullptr, c);
  EXPECT_EQ(OSType('dvc!'), cd.componentSubType);
  char name[256];
  ASSERT_EQ(noErr, QT_GetComponentName(MovieExportType, 'mpg4', 0, name));
  EXPECT_STREQ("MPEG-4", name);
  ASSERT_EQ(noErr, QT_GetComponentName(MovieExportType, 'none', 0, name));
  EXPECT_STREQ("", name);

  // Not found: no component, and the description searched for.
  ASSERT_EQ(noErr, QT_GetComponentByNameAndType("No Such Exporter", MovieExportType, &c, &cd));
  EXPECT_EQ(nullptr, c);
  EXPECT_EQ(MovieExportType, cd.componentType);
  EXPECT_EQ(0u, cd.componentSubType);
  EXPECT_EQ(UInt32(cmpIsMissing), cd.componentFlagsMask);

  Boolean can = false;
  ASSERT_EQ(noErr, QT_EncoderCanExportFiles('MooV', kAppleManufacturer, &can));
  EXPECT_TRUE(can);
  ASSERT_EQ(noErr, QT_EncoderCanExportFromProcedures('dvc!', kAppleManufacturer, &can));
  EXPECT_TRUE(can);
  ASSERT_EQ(noErr, QT_EncoderCanExportFiles('MooV', 'none', &can));
  EXPECT_FALSE(can);
  EXPECT_EQ(noErr, QT_WalkComponentList(MovieExportType, 0, 0, canMovieExportFiles));
}

TEST(MovieExportComponents, SourceListsTellTrackTypes) {
  Boolean video = false, sound = false, text = true, midi = true;
  ASSERT_EQ(noErr, QT_ExportCompWantsSound('MooV', kAppleManufacturer, &video, &sound, &text, &midi));
  EXPECT_TRUE(video);
  EXPECT_TRUE(sound);
  EXPECT_FALSE(text);
  EXPECT_FALSE(midi);
  // The portable-device exporter is answered without asking it (it is not even installed here).
  video = sound = false;
  ASSERT_EQ(noErr, QT_ExportCompWantsSound('M4VH', kAppleManufacturer, &video, &sound, nullptr, nullptr));
  EXPECT_TRUE(video);
  EXPECT_TRUE(sound);
  // An exporter that is not there wants nothing.
  ASSERT_EQ(noErr, QT_ExportCompWantsSound('none', kAppleManufacturer, &video, &sound, &text, &midi));
  EXPECT_FALSE(video || sound || text || midi);
  Boolean canExportSound = false;
  ASSERT_EQ(noErr, QT_ComponentExportsSoundFromProcedures("QuickTime Movie", &canExportSound));
  EXPECT_TRUE(canExportSound);
  ASSERT_EQ(noErr, QT_ComponentExportsSoundFromProcedures("Nothing Like It", &canExportSound));
  EXPECT_FALSE(canExportSound);
  EXPECT_EQ(noErr, QT_GetMovieExportCompInputTrackTypes());
}

// A list whose count claims more entries than its data holds is read only as far as the data goes.
TEST(MovieExportComponents, SourceListIsReadWithinItsData) {
  std::vector<UInt8> list(8 + 12, 0);
  PL_PutBE32(list.data(), 1000);
  PL_PutBE32(list.data() + 8, 'vide');
  PL_PutBE32(list.data() + 16, kQT_SourceIsRequired);
  EXPECT_TRUE(QT_SourceListHas(list.data(), list.size(), 'vide', kQT_SourceIsRequired));
  EXPECT_FALSE(QT_SourceListHas(list.data(), list.size(), 'soun', kQT_SourceIsRequired));
  EXPECT_FALSE(QT_SourceListHas(list.data(), list.size() - 1, 'vide', kQT_SourceIsRequired));
  EXPECT_FALSE(QT_SourceListHas(list.data(), 4, 'vide', kQT_SourceIsRequired));
  PL_PutBE32(list.data(), 0);
  EXPECT_FALSE(QT_SourceListHas(list.data(), list.size(), 'vide', kQT_SourceIsRequired));
}

}  // namespace
