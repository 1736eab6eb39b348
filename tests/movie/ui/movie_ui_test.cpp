// The video export menu and choosing a movie with the file dialog.
#include "movie/export_components_ui.h"
#include "movie/movie_files_ui.h"

#include "general/memory_lists.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Item {
  std::string text;
  MenuCommand command;
};

std::vector<Item> Items(MenuRef menu) {
  std::vector<Item> items;
  for (UInt16 i = 1; i <= CountMenuItems(menu); ++i) {
    CFStringRef text = nullptr;
    EXPECT_EQ(noErr, CopyMenuItemTextAsCFString(menu, i, &text));
    char buffer[512];
    CFStringGetCString(text, buffer, sizeof(buffer), kCFStringEncodingUTF8);
    CFRelease(text);
    MenuCommand command = 0;
    GetMenuItemCommandID(menu, i, &command);
    items.push_back({buffer, command});
  }
  return items;
}

void DisposeList(QT_CompInfoLE **list) {
  while (*list != nullptr) {
    QT_CompInfoLE *next = (*list)->next;
    std::free(*list);
    *list = next;
  }
}

size_t Length(const QT_CompInfoLE *list) {
  size_t n = 0;
  for (; list != nullptr; list = list->next) ++n;
  return n;
}

// A portable-device exporter: a 'spit' component that can export files and from procedures.
void RegisterPortableDeviceExporter() {
  static bool done = false;
  if (done) return;
  done = true;
  PL_ComponentDefinition definition{
      {MovieExportType, 'M4VH', kAppleManufacturer, canMovieExportFiles | canMovieExportFromProcedures, 0},
      "Portable Device",
      "Portable Device",
      nullptr,
      nullptr};
  ASSERT_EQ(noErr, PL_RegisterComponent(&definition, nullptr));
}

TEST(MovieExportMenu, OffersTheVideoExportersWithEllipsisAndExtensions) {
  MenuRef menu = nullptr;
  ASSERT_EQ(noErr, CreateNewMenu(1, 0, &menu));
  CFStringRef old = CFSTR("left over");
  ASSERT_EQ(noErr, InsertMenuItemTextWithCFString(menu, old, 0, 0, 7));
  QT_CompInfoLE *list = nullptr;
  ASSERT_EQ(noErr, QT_AddVideoExportCompsToMenu(1812, nullptr, HIViewID{0, 0}, menu, &list, false));
  std::vector<Item> items = Items(menu);
  ASSERT_EQ(3u, items.size());
  EXPECT_EQ("QuickTime Movie\xE2\x80\xA6", items[0].text);
  EXPECT_EQ(MenuCommand('MooV'), items[0].command);
  EXPECT_EQ("DV Stream\xE2\x80\xA6", items[1].text);
  EXPECT_EQ("MPEG-4\xE2\x80\xA6", items[2].text);
  ASSERT_EQ(3u, Length(list));
  EXPECT_STREQ("QuickTime Movie", list->name);
  EXPECT_STREQ(".mov", list->fileNameExt);
  EXPECT_STREQ(".dv", list->next->fileNameExt);
  EXPECT_EQ(OSType('spit'), list->next->type);
  EXPECT_EQ(OSType('mpg4'), list->next->next->subType);
  DisposeList(&list);
  DisposeMenu(menu);
}

TEST(MovieExportMenu, PortableDeviceExporterOnlyWithVersion1813) {
  RegisterPortableDeviceExporter();
  for (SInt32 version : {1812, 1813, 0x10715}) {
    SCOPED_TRACE(version);
    MenuRef menu = nullptr;
    ASSERT_EQ(noErr, CreateNewMenu(1, 0, &menu));
    QT_CompInfoLE *list = nullptr;
    ASSERT_EQ(noErr, QT_AddVideoExportCompsToMenu(version, nullptr, HIViewID{0, 0}, menu, &list, true));
    std::vector<Item> items = Items(menu);
    if (version == 1812) {
      EXPECT_EQ(3u, items.size());
    } else {
      ASSERT_EQ(4u, items.size());
      EXPECT_EQ("Portable Device", items[3].text);  // no ellipsis
      EXPECT_EQ(MenuCommand('M4VH'), items[3].command);
    }
    // It tells no extension, so it gets no list element.
    EXPECT_EQ(3u, Length(list));
    DisposeList(&list);
    DisposeMenu(menu);
  }
}

TEST(MovieExportMenu, NameAlreadyInMenuIsNotAddedTwice) {
  MenuRef menu = nullptr;
  ASSERT_EQ(noErr, CreateNewMenu(1, 0, &menu));
  QT_CompInfoLE *list = nullptr;
  SInt32 count = 0;
  ASSERT_EQ(noErr, QT_AddVideoExportCompToList(menu, "Stills", ".tif", 'tif ', &count, &list));
  ASSERT_EQ(noErr, QT_AddVideoExportCompToList(menu, "Stills", ".tif", 'tif ', &count, &list));
  EXPECT_EQ(1, count);
  EXPECT_EQ(1u, Length(list));
  // An empty extension adds the item but no list element; no list at all is fine too.
  ASSERT_EQ(noErr, QT_AddVideoExportCompToList(menu, "Plain", "", 'pln ', &count, &list));
  ASSERT_EQ(noErr, QT_AddVideoExportCompToList(menu, "Other", ".oth", 'oth ', &count, nullptr));
  EXPECT_EQ(3, count);
  EXPECT_EQ(1u, Length(list));
  std::vector<Item> items = Items(menu);
  ASSERT_EQ(3u, items.size());
  EXPECT_EQ("Plain\xE2\x80\xA6", items[1].text);
  DisposeList(&list);
  DisposeMenu(menu);
}

// Without a menu the pop-up of the dialog item is filled and its maximum set to the item count.
TEST(MovieExportMenu, FillsThePopupOfADialogItem) {
  int windowStorage = 0;
  WindowRef window = reinterpret_cast<WindowRef>(&windowStorage);
  HIViewID id{'Orl1', 2370};
  ControlRef popup = nullptr;
  ASSERT_EQ(noErr, PL_NewControl(window, &id, &popup));
  MenuRef menu = nullptr;
  ASSERT_EQ(noErr, CreateNewMenu(2, 0, &menu));
  SetControlPopupMenuHandle(popup, menu);
  ASSERT_EQ(noErr, QT_AddVideoExportCompsToMenu(1812, window, id, nullptr, nullptr, false));
  EXPECT_EQ(3, CountMenuItems(menu));
  EXPECT_EQ(3, GetControl32BitMaximum(popup));
  EXPECT_EQ(errUnknownControl, QT_AddVideoExportCompsToMenu(1812, window, HIViewID{'Orl1', 1}, nullptr, nullptr, false));
  PL_DisposeWindowControls(window);
}

// ---- Choosing a movie ----

std::string gAnswer;
OSStatus gAnswerErr = noErr;
std::vector<std::string> gAsked;
std::vector<bool> gShown;

OSStatus AnswerChooser(const PL_ChooseFileRequest *request, std::string *path) {
  for (const std::string &p : gAsked) gShown.push_back(PL_NavFilterShowsPath(request->filter, request->userData, p.c_str()));
  *path = gAnswer;
  return gAnswerErr;
}

TEST(MovieOpenWithDialog, OpensTheChosenMovieAndHidesStills) {
  bz_test::TempDir dir;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("clip.mov"), bz_test::FixtureMovieSpec{}, &written));
  bz_test::WriteText(dir.File("notes.txt"), "words, not a movie");
  // A minimal PNG signature and header is enough for the filter, which only looks at the start.
  ASSERT_TRUE(bz_test::WriteWholeFile(dir.File("still.png"),
                                      {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'}));
  gAsked = {dir.File("clip.mov"), dir.File("notes.txt"), dir.File("still.png"), dir.path()};
  gShown.clear();
  gAnswer = dir.File("clip.mov");
  gAnswerErr = noErr;
  PL_SetChooseFileProc(AnswerChooser);
  FSRef file;
  Movie movie = nullptr;
  ASSERT_EQ(noErr, QT_OpenMovieWithDialog(&file, nullptr, nullptr, 0, &movie));
  EXPECT_NE(nullptr, movie);
  EXPECT_EQ(dir.File("clip.mov"), bz_test::PathOf(file));
  DisposeMovie(movie);
  EXPECT_EQ((std::vector<bool>{true, false, false, true}), gShown);

  gAnswerErr = userCanceledErr;
  EXPECT_EQ(userCanceledErr, QT_OpenMovieWithDialog(&file, nullptr, nullptr, 0, &movie));
  EXPECT_TRUE(bz_test::IsZeroRef(file));
  EXPECT_EQ(nullptr, movie);

  // A chosen file that is no movie.
  gAnswerErr = noErr;
  gAnswer = dir.File("notes.txt");
  EXPECT_NE(noErr, QT_OpenMovieWithDialog(&file, nullptr, nullptr, 0, &movie));
  EXPECT_EQ(nullptr, movie);
  PL_SetChooseFileProc(nullptr);
}

}  // namespace

// ---- Icons of movie files ----

namespace {

TEST(MovieFileToIcon, IconShowsThePosterFrame) {
  bz_test::TempDir dir;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("clip.mov"), bz_test::FixtureMovieSpec{}, &written));
  FSRef file = bz_test::RefFor(dir.File("clip.mov"));
  std::vector<UInt8> before = bz_test::ReadWholeFile(dir.File("clip.mov"));
  IconRef icon = nullptr;
  ASSERT_EQ(noErr, QT_MovieFileToIcon(&file, &icon));
  ASSERT_NE(nullptr, icon);
  SInt32 width = 0, height = 0;
  ASSERT_EQ(noErr, PL_GetPictureImage(PL_GetIconRefPicture(icon), &width, &height, nullptr));
  EXPECT_EQ(48, width);
  EXPECT_EQ(32, height);
  ReleaseIconRef(icon);
  EXPECT_EQ(before, bz_test::ReadWholeFile(dir.File("clip.mov")));  // only read

  bz_test::WriteText(dir.File("notes.txt"), "not a movie");
  FSRef text = bz_test::RefFor(dir.File("notes.txt"));
  EXPECT_NE(noErr, QT_MovieFileToIcon(&text, &icon));
  EXPECT_EQ(nullptr, icon);
}

}  // namespace
