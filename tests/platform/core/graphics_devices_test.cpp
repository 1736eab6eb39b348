#include "platform/core/graphics_devices.h"

#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool SameRect(const Rect &a, const Rect &b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

std::vector<GDHandle> DeviceList() {
  std::vector<GDHandle> devices;
  for (GDHandle gd = GetDeviceList(); gd != nullptr; gd = GetNextDevice(gd)) devices.push_back(gd);
  return devices;
}

TEST(PlatformGraphicsDevices, ScreensBecomeDevicesThatOutliveTheirScreens) {
  const PL_ScreenInfo two[] = {
      {Rect{0, 0, 1080, 1920}, Rect{30, 0, 1080, 1920}, Long2Fix(96), Long2Fix(96), 32},
      {Rect{0, 1920, 1024, 3200}, Rect{0, 1920, 1024, 3200}, Long2Fix(72), Long2Fix(72), 24},
  };
  ASSERT_EQ(PL_SetScreens(two, 2), noErr);
  std::vector<GDHandle> devices = DeviceList();
  ASSERT_GE(devices.size(), 2u);
  GDHandle main = GetMainDevice();
  ASSERT_EQ(main, devices[0]);
  EXPECT_EQ(GetGDevice(), main);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(TestDeviceAttribute(devices[i], screenDevice));
    EXPECT_TRUE(TestDeviceAttribute(devices[i], screenActive));
    EXPECT_EQ(TestDeviceAttribute(devices[i], mainScreen), i == 0);
    EXPECT_TRUE(SameRect((**devices[i]).gdRect, two[i].bounds));
    PixMapHandle pm = GetGDevPixMap(devices[i]);
    ASSERT_NE(pm, nullptr);
    EXPECT_EQ((**pm).hRes, two[i].hRes);
    EXPECT_EQ((**pm).pixelSize, two[i].depth);
    Rect available{};
    EXPECT_EQ(GetAvailableWindowPositioningBounds(devices[i], &available), noErr);
    EXPECT_TRUE(SameRect(available, two[i].availableBounds));
  }

  // The second screen goes away: its record stays, inactive, and a held handle still reads it.
  ASSERT_EQ(PL_SetScreens(two, 1), noErr);
  EXPECT_EQ(DeviceList(), devices);
  EXPECT_TRUE(TestDeviceAttribute(devices[0], screenActive));
  EXPECT_FALSE(TestDeviceAttribute(devices[1], screenActive));
  EXPECT_TRUE(SameRect((**devices[1]).gdRect, two[1].bounds));

  // SetGDevice chooses the current device.
  SetGDevice(devices[1]);
  EXPECT_EQ(GetGDevice(), devices[1]);
  SetGDevice(nullptr);
  EXPECT_EQ(GetGDevice(), main);

  // No screens at all: no main device.
  ASSERT_EQ(PL_SetScreens(nullptr, 0), noErr);
  EXPECT_EQ(GetMainDevice(), nullptr);
  ASSERT_EQ(PL_SetScreens(two, 2), noErr);
  EXPECT_EQ(GetMainDevice(), devices[0]);
}

TEST(PlatformGraphicsDevices, BadArgumentsAreRefused) {
  EXPECT_EQ(PL_SetScreens(nullptr, 1), paramErr);
  EXPECT_FALSE(TestDeviceAttribute(nullptr, screenActive));
  EXPECT_EQ(GetNextDevice(nullptr), nullptr);
  EXPECT_EQ(GetGDevPixMap(nullptr), nullptr);
  Rect r;
  EXPECT_EQ(GetAvailableWindowPositioningBounds(nullptr, &r), paramErr);
  const PL_ScreenInfo one{Rect{0, 0, 10, 10}, Rect{0, 0, 10, 10}, Long2Fix(72), Long2Fix(72), 32};
  ASSERT_EQ(PL_SetScreens(&one, 1), noErr);
  EXPECT_EQ(GetAvailableWindowPositioningBounds(GetMainDevice(), nullptr), paramErr);
  EXPECT_FALSE(TestDeviceAttribute(GetMainDevice(), 16));
  // A handle that is no device.
  GDPtr stray = nullptr;
  EXPECT_EQ(GetAvailableWindowPositioningBounds(&stray, &r), paramErr);
}

}  // namespace
