// Icons made from picture files, Quartz images and the bundle's icon family, and icons registered by
// creator and type from the bundle.
#include "toolkit/icons.h"

#include "platform/core/cf_string.h"
#include "platform/core/quickdraw_pictures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <array>
#include <cstring>
#include <fstream>

namespace {

FSRef RefOf(const std::string &path) {
  FSRef ref{};
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr), noErr) << path;
  return ref;
}

// The icon's pixel at (x, y) as A, R, G, B.
std::array<UInt8, 4> PixelOf(IconRef icon, int x, int y) {
  SInt32 width = 0, height = 0;
  const UInt8 *argb = nullptr;
  EXPECT_EQ(PL_GetPictureImage(PL_GetIconRefPicture(icon), &width, &height, &argb), noErr);
  const UInt8 *p = argb + (size_t(y) * size_t(width) + size_t(x)) * 4;
  return {p[0], p[1], p[2], p[3]};
}

TEST(Icons, APictureFileBecomesA256PixelIconWithItsColoursInPlace) {
  TD_App();
  bz_test::TempDir dir;
  QImage image(64, 48, QImage::Format_ARGB32);
  image.fill(QColor(0, 0, 255));
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 32; ++x) image.setPixelColor(x, y, QColor(255, 0, 0));
  const std::string png = dir.File("quarter.png");
  ASSERT_TRUE(image.save(QString::fromStdString(png)));
  IconRef icon = nullptr;
  const FSRef pngRef = RefOf(png);
  ASSERT_EQ(IC_PictureFileToIconRef(&pngRef, &icon), noErr);
  SInt32 width = 0, height = 0;
  ASSERT_EQ(PL_GetIconRefSize(icon, &width, &height), noErr);
  EXPECT_EQ(width, 256);
  EXPECT_EQ(height, 256);
  EXPECT_EQ(PixelOf(icon, 10, 10), (std::array<UInt8, 4>{255, 255, 0, 0}));    // the red top-left quarter
  EXPECT_EQ(PixelOf(icon, 200, 200), (std::array<UInt8, 4>{255, 0, 0, 255}));  // blue elsewhere
  ReleaseIconRef(icon);

  // What is no picture gives an error and no icon.
  const std::string text = dir.File("notes.png");
  std::ofstream(text) << "not an image";
  icon = reinterpret_cast<IconRef>(1);
  const FSRef textRef = RefOf(text);
  EXPECT_NE(IC_PictureFileToIconRef(&textRef, &icon), noErr);
  EXPECT_EQ(icon, nullptr);
}

TEST(Icons, TheBundlesIconFamilyGivesAnIconAndRegistersByCreatorAndType) {
  TD_App();
  IconRef fromBundle = nullptr;
  ASSERT_EQ(IC_IconFromAppBundle(CFSTR("KBZ Icon family 3.icns"), &fromBundle), noErr);
  SInt32 width = 0, height = 0;
  ASSERT_EQ(PL_GetIconRefSize(fromBundle, &width, &height), noErr);
  // The family's largest image (its 'ic09' element).
  EXPECT_EQ(width, 512);
  EXPECT_EQ(height, 512);
  ReleaseIconRef(fromBundle);
  EXPECT_EQ(IC_IconFromAppBundle(CFSTR("No such icons.icns"), &fromBundle), fnfErr);
  EXPECT_EQ(fromBundle, nullptr);

  struct Case {
    const char *name;
    OSStatus result;
    bool registered;
  };
  const Case cases[] = {{nullptr, paramErr, false},
                        {"", paramErr, false},
                        {"No such icons.icns", noErr, false},
                        {"KBZ Icon family 3.icns", noErr, true}};
  OSType type = 'tst0';
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name != nullptr ? c.name : "NULL");
    ++type;
    IconRef icon = nullptr;
    EXPECT_EQ(IC_RegisterIconInAppBundle('Orl1', type, c.name, &icon), c.result);
    IconRef found = nullptr;
    EXPECT_EQ(GetIconRef(0, 'Orl1', type, &found), c.registered ? OSErr(noErr) : OSErr(noSuchIconErr));
    EXPECT_EQ(found, icon);
    if (found != nullptr) {
      SInt32 w = 0, h = 0;
      ASSERT_EQ(PL_GetIconRefSize(found, &w, &h), noErr);
      EXPECT_EQ(w, width);
      ReleaseIconRef(found);
    }
  }
}

TEST(Icons, AFamilyKeepsOneElementPerTypeAndRefusesBytesThatAreNoFamily) {
  Handle family = NewHandle(8);
  const UInt8 header[8] = {'i', 'c', 'n', 's', 0, 0, 0, 8};
  std::memcpy(*family, header, 8);
  Handle data = NewHandle(3);
  std::memcpy(*data, "abc", 3);
  ASSERT_EQ(SetIconFamilyData(family, 'test', data), noErr);
  SetHandleSize(data, 2);
  std::memcpy(*data, "xy", 2);
  ASSERT_EQ(SetIconFamilyData(family, 'test', data), noErr);
  EXPECT_EQ(GetHandleSize(family), 8 + 8 + 2);
  Handle out = NewHandle(0);
  ASSERT_EQ(GetIconFamilyData(family, 'test', out), noErr);
  EXPECT_EQ(std::string(*out, size_t(GetHandleSize(out))), "xy");
  EXPECT_EQ(GetIconFamilyData(family, 'none', out), noSuchIconErr);
  IconRef icon = nullptr;
  EXPECT_EQ(GetIconRefFromIconFamilyPtr(*family, GetHandleSize(family), &icon), invalidIconRefErr);
  EXPECT_EQ(GetIconRefFromIconFamilyPtr("icns", 4, &icon), paramErr);
  // A length beyond the bytes given is no family.
  EXPECT_EQ(GetIconRefFromIconFamilyPtr(*family, 12, &icon), paramErr);
  DisposeHandle(out);
  DisposeHandle(data);
  DisposeHandle(family);
}

}  // namespace
