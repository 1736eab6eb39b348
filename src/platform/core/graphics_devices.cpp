// QuickDraw stand-in: the device list, kept from what the user-interface layer says about the screens.
#include "platform/core/graphics_devices.h"

#include "platform/core/mac_errors.h"

#include <deque>

namespace {

struct DeviceRecord {
  GDevice device{};
  GDPtr devicePtr = nullptr;  // the master pointer of the device's handle
  PixMap pixMap{};
  PixMapPtr pixMapPtr = nullptr;
  Rect available{};
};

// A deque keeps every record where it is as the list grows; records are never removed.
std::deque<DeviceRecord> &Records() {
  static auto *records = new std::deque<DeviceRecord>();
  return *records;
}

GDHandle gCurrentDevice = nullptr;

DeviceRecord *RecordOf(GDHandle gdh) {
  for (DeviceRecord &r : Records())
    if (&r.devicePtr == gdh) return &r;
  return nullptr;
}

GDHandle HandleOf(DeviceRecord &r) { return &r.devicePtr; }

void SetFlag(GDevice &device, SInt16 bit, bool on) {
  const auto mask = SInt16(1u << bit);
  device.gdFlags = SInt16(on ? (device.gdFlags | mask) : (device.gdFlags & ~mask));
}

}  // namespace

GDHandle GetDeviceList() { return Records().empty() ? nullptr : HandleOf(Records().front()); }

GDHandle GetMainDevice() {
  for (DeviceRecord &r : Records())
    if (TestDeviceAttribute(HandleOf(r), mainScreen) && TestDeviceAttribute(HandleOf(r), screenActive))
      return HandleOf(r);
  return nullptr;
}

GDHandle GetNextDevice(GDHandle curDevice) {
  if (curDevice == nullptr || *curDevice == nullptr) return nullptr;
  return (**curDevice).gdNextGD;
}

GDHandle GetGDevice() { return gCurrentDevice != nullptr ? gCurrentDevice : GetMainDevice(); }

void SetGDevice(GDHandle gd) { gCurrentDevice = gd; }

Boolean TestDeviceAttribute(GDHandle gdh, SInt16 attribute) {
  if (gdh == nullptr || *gdh == nullptr || attribute < 0 || attribute > 15) return false;
  return ((**gdh).gdFlags >> attribute) & 1;
}

PixMapHandle GetGDevPixMap(GDHandle gdh) { return (gdh == nullptr || *gdh == nullptr) ? nullptr : (**gdh).gdPMap; }

OSStatus GetAvailableWindowPositioningBounds(GDHandle inDevice, Rect *outAvailableRect) {
  DeviceRecord *r = RecordOf(inDevice);
  if (r == nullptr || outAvailableRect == nullptr) return paramErr;
  *outAvailableRect = r->available;
  return noErr;
}

OSStatus PL_SetScreens(const PL_ScreenInfo *screens, ItemCount count) {
  if (screens == nullptr && count > 0) return paramErr;
  std::deque<DeviceRecord> &records = Records();
  while (records.size() < count) {
    records.emplace_back();
    DeviceRecord &r = records.back();
    r.devicePtr = &r.device;
    r.pixMapPtr = &r.pixMap;
    r.device.gdRefNum = SInt16(-(SInt32(records.size())));
    r.device.gdID = SInt16(records.size());
    r.device.gdType = directType;
    r.device.gdPMap = &r.pixMapPtr;
    if (records.size() > 1) records[records.size() - 2].device.gdNextGD = HandleOf(r);
  }
  for (size_t i = 0; i < records.size(); ++i) {
    DeviceRecord &r = records[i];
    const bool present = i < count;
    SetFlag(r.device, screenDevice, true);
    SetFlag(r.device, screenActive, present);
    SetFlag(r.device, mainScreen, present && i == 0);
    SetFlag(r.device, ramInit, true);
    SetFlag(r.device, allInit, true);
    if (!present) continue;
    const PL_ScreenInfo &s = screens[i];
    r.device.gdRect = s.bounds;
    r.available = s.availableBounds;
    r.pixMap.bounds = s.bounds;
    r.pixMap.hRes = s.hRes;
    r.pixMap.vRes = s.vRes;
    r.pixMap.pixelType = 16;
    r.pixMap.pixelSize = s.depth;
    r.pixMap.cmpCount = 3;
    r.pixMap.cmpSize = SInt16(s.depth >= 24 ? 8 : 5);
    r.pixMap.pixelFormat = s.depth >= 24 ? k32ARGBPixelFormat : OSType(s.depth);
  }
  return noErr;
}
