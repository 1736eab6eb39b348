#include "platform/core/windows.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// A window layer that knows the windows 1 and 2 and keeps their titles.
std::map<WindowRef, std::string> gTitles;

WindowRef Window(int n) { return reinterpret_cast<WindowRef>(static_cast<intptr_t>(n)); }

OSStatus CopyTitle(WindowRef window, CFStringRef *out) {
  auto it = gTitles.find(window);
  if (it == gTitles.end()) return errInvalidWindowRef;
  *out = CFStringCreateWithCString(nullptr, it->second.c_str(), kCFStringEncodingUTF8);
  return noErr;
}

OSStatus SetTitle(WindowRef window, CFStringRef title) {
  auto it = gTitles.find(window);
  if (it == gTitles.end()) return errInvalidWindowRef;
  char buffer[1024];
  if (!CFStringGetCString(title, buffer, sizeof buffer, kCFStringEncodingUTF8)) return paramErr;
  it->second = buffer;
  return noErr;
}

std::string FromPascal(const Str255 p) { return std::string(reinterpret_cast<const char *>(p + 1), p[0]); }

class PlatformWindowTitles : public ::testing::Test {
 protected:
  void SetUp() override {
    gTitles = {{Window(1), "Project"}, {Window(2), ""}};
    const PL_WindowProcs procs{CopyTitle, SetTitle};
    ASSERT_EQ(PL_SetWindowProcs(&procs), noErr);
  }
  void TearDown() override { PL_SetWindowProcs(nullptr); }
};

TEST_F(PlatformWindowTitles, TitlesGoThroughTheWindowLayer) {
  CFStringRef title = nullptr;
  ASSERT_EQ(CopyWindowTitleAsCFString(Window(1), &title), noErr);
  EXPECT_EQ(CFStringCompare(title, CFSTR("Project"), 0), kCFCompareEqualTo);
  CFRelease(title);

  EXPECT_EQ(SetWindowTitleWithCFString(Window(2), CFSTR("Preview \u00E9")), noErr);
  Str255 p;
  GetWTitle(Window(2), p);
  EXPECT_EQ(FromPascal(p), "Preview \xC3\xA9");

  // A one-byte ellipsis is no UTF-8: it is read as Mac Roman.
  const unsigned char oldTitle[] = {3, 'a', 201, 'b'};
  SetWTitle(Window(1), oldTitle);
  EXPECT_EQ(gTitles[Window(1)], "a\xE2\x80\xA6" "b");
}

TEST_F(PlatformWindowTitles, LongTitlesAreCutAtWholeCharacters) {
  std::string longTitle;
  for (int i = 0; i < 200; ++i) longTitle += "\xC3\xA9";  // 400 bytes
  gTitles[Window(1)] = longTitle;
  Str255 p;
  GetWTitle(Window(1), p);
  EXPECT_EQ(p[0], 254);
  EXPECT_EQ(FromPascal(p), longTitle.substr(0, 254));
}

TEST_F(PlatformWindowTitles, ErrorsOfEachKind) {
  CFStringRef title = CFSTR("stale");
  EXPECT_EQ(CopyWindowTitleAsCFString(nullptr, &title), errInvalidWindowRef);
  EXPECT_EQ(title, nullptr);
  EXPECT_EQ(CopyWindowTitleAsCFString(Window(3), &title), errInvalidWindowRef);
  EXPECT_EQ(CopyWindowTitleAsCFString(Window(1), nullptr), paramErr);
  EXPECT_EQ(SetWindowTitleWithCFString(Window(1), nullptr), paramErr);
  Str255 p = {5, 'x'};
  GetWTitle(Window(3), p);
  EXPECT_EQ(p[0], 0);
  const PL_WindowProcs half{CopyTitle, nullptr};
  EXPECT_EQ(PL_SetWindowProcs(&half), paramErr);

  // Without a window layer there are no windows.
  PL_SetWindowProcs(nullptr);
  EXPECT_EQ(CopyWindowTitleAsCFString(Window(1), &title), unimpErr);
  EXPECT_EQ(SetWindowTitleWithCFString(Window(1), CFSTR("x")), unimpErr);
}

// A window layer that keeps one picture per known window.
std::map<WindowRef, PicHandle> gPictures;

TEST(PlatformWindowPictures, PicturesGoThroughTheWindowLayer) {
  PicHandle pic = reinterpret_cast<PicHandle>(NewHandle(16));
  // Without a window layer nothing is kept.
  SetWindowPic(Window(1), pic);
  EXPECT_EQ(GetWindowPic(Window(1)), nullptr);

  gPictures = {{Window(1), nullptr}};
  PL_WindowPictureProcs procs{};
  EXPECT_EQ(PL_SetWindowPictureProcs(&procs), paramErr);
  procs.setPicture = [](WindowRef window, PicHandle picture) -> OSStatus {
    auto it = gPictures.find(window);
    if (it == gPictures.end()) return errInvalidWindowRef;
    it->second = picture;
    return noErr;
  };
  procs.getPicture = [](WindowRef window) -> PicHandle {
    auto it = gPictures.find(window);
    return it != gPictures.end() ? it->second : nullptr;
  };
  ASSERT_EQ(PL_SetWindowPictureProcs(&procs), noErr);
  SetWindowPic(Window(1), pic);
  EXPECT_EQ(GetWindowPic(Window(1)), pic);
  SetWindowPic(Window(2), pic);  // unknown: nothing kept
  EXPECT_EQ(GetWindowPic(Window(2)), nullptr);
  SetWindowPic(Window(1), nullptr);
  EXPECT_EQ(GetWindowPic(Window(1)), nullptr);
  EXPECT_EQ(PL_SetWindowPictureProcs(nullptr), noErr);
  DisposeHandle(reinterpret_cast<Handle>(pic));
}

}  // namespace
