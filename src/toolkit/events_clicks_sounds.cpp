// Events, clicks and the quit command.
#include "toolkit/events_clicks_sounds.h"

#include "engine/tasks/task_runtime.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_object.h"
#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

void HandleEvents(ItemCount numTypes, const EventTypeSpec *typeList) {
  EventTargetRef dispatcher = GetEventDispatcherTarget();
  EventRef event = nullptr;
  while (ReceiveNextEvent(numTypes, typeList, kEventDurationNoWait, true, &event) == noErr) {
    SendEventToEventTarget(event, dispatcher);
    ReleaseEvent(event);
  }
}

// A pending mouse-down less than the double-click time after `since` (ticks), taken from the queue.
Boolean TakeClickWithin(UInt32 since, UInt32 *when) {
  EventRecord record;
  if (!EventAvail(mDownMask, &record)) return false;
  if (UInt32(record.when - since) >= GetDblTime()) return false;
  GetNextEvent(mDownMask, &record);
  if (when != nullptr) *when = record.when;
  return true;
}

}  // namespace

void GL_HandlePendingEvents() { HandleEvents(0, nullptr); }

void GL_HandlePendingEventsWithOptions(ItemCount numTypes, const EventTypeSpec *typeList) {
  // No types listed would mean every type to the queue; here it means none.
  if (numTypes == 0 || typeList == nullptr) return;
  HandleEvents(numTypes, typeList);
}

OSStatus GL_PostQuitEvent() {
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeNone, &event);
  if (err != noErr) return err;
  HICommand command{};
  command.commandID = kHICommandQuit;
  err = SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
  if (err == noErr) err = PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  ReleaseEvent(event);
  return err;
}

Boolean GL_IsCommandPeriodEvent(const EventRecord *event) {
  return event != nullptr && event->what == keyDown && event->modifiers == cmdKey &&
         (event->message & charCodeMask) == '.';
}

SInt16 GL_GetClick() {
  EventRecord first;
  Boolean got = false;
  const UInt32 start = TickCount();
  while (!(got = GetNextEvent(mDownMask, &first)) && TickCount() - start < 10) Delay(1, nullptr);
  if (!got) return 0;
  while (TickCount() - first.when < GetDblTime()) Delay(1, nullptr);
  return GL_IsClickDoubleClick(first.when) ? 2 : 1;
}

Boolean GL_IsClickDoubleClick(UInt32 firstClickTime) { return TakeClickWithin(firstClickTime, nullptr); }

SInt16 GL_MultipleClick(UInt32 firstClickTime) {
  UInt32 second = 0;
  if (!TakeClickWithin(firstClickTime, &second)) return 1;
  return TakeClickWithin(second, nullptr) ? 3 : 2;
}

void GL_WaitForClick(const Rect *rect) {
  for (;;) {
    EventRecord record;
    if (GetNextEvent(mDownMask, &record) && (rect == nullptr || PtInRect(record.where, rect))) return;
    // Other events stay queued, as with a masked wait.
    const UInt32 start = TickCount();
    while (TickCount() - start < 10 && !EventAvail(mDownMask, nullptr)) Delay(1, nullptr);
  }
}

OSStatus GL_StillDownCarbon(Boolean *stillDown) {
  if (stillDown == nullptr) return paramErr;
  *stillDown = true;
  const EventTypeSpec mouseUp{kEventClassMouse, kEventMouseUp};
  EventRef event = nullptr;
  OSStatus err = ReceiveNextEvent(1, &mouseUp, 0.1, true, &event);
  if (err == eventLoopTimedOutErr) return noErr;
  if (err != noErr) return err;
  ReleaseEvent(event);
  *stillDown = false;
  return noErr;
}

OSStatus GL_ClickInBox(Rect contentBounds, SInt16 top, SInt16 left) {
  const Point where{SInt16(contentBounds.top + top + 6), SInt16(contentBounds.left + left + 6)};
  OSStatus err = PL_PostMouseEvent(kEventMouseDown, where, 0);
  if (err == noErr) err = PL_PostMouseEvent(kEventMouseUp, where, 0);
  return err;
}

namespace {

std::vector<std::string> gTestFolders;
bool gUseTestFolders = false;

std::vector<std::string> SoundFolders() {
  if (gUseTestFolders) return gTestFolders;
  std::vector<std::string> folders{PL_MainBundleDirectory() + "/sounds"};
  // The desktop's sound theme, when one is installed.
  const char *theme = "/usr/share/sounds/freedesktop/stereo";
  struct stat info {};
  if (stat(theme, &info) == 0 && S_ISDIR(info.st_mode)) folders.push_back(theme);
  return folders;
}

// The files of one folder in name order, in one pass.
OSStatus ListFolder(const std::string &folder, std::vector<FSRef> *files) {
  FSRef ref;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(folder.c_str()), &ref, nullptr) != noErr) return noErr;
  FSIterator iterator = nullptr;
  OSStatus err = FSOpenIterator(&ref, kFSIterateFlat, &iterator);
  if (err != noErr) return err;
  std::vector<std::pair<std::string, FSRef>> found;
  for (;;) {
    ItemCount got = 0;
    FSRef refs[10];
    FSCatalogInfo infos[10];
    HFSUniStr255 names[10];
    err = FSGetCatalogInfoBulk(iterator, 10, &got, nullptr, kFSCatInfoNodeFlags, infos, refs, nullptr, names);
    for (ItemCount i = 0; i < got; ++i) {
      std::string name;
      PL_UTF8FromUniChars(names[i].unicode, names[i].length, &name);
      if ((infos[i].nodeFlags & kFSNodeIsDirectoryMask) || name.empty() || name[0] == '.') continue;
      found.emplace_back(name, refs[i]);
    }
    if (err != noErr) break;
  }
  FSCloseIterator(iterator);
  if (err != errFSNoMoreItems) return err;
  std::sort(found.begin(), found.end(), [](auto &a, auto &b) { return a.first < b.first; });
  for (auto &f : found) files->push_back(f.second);
  return noErr;
}

std::string NameWithoutExtension(const FSRef &file) {
  HFSUniStr255 name{};
  if (FSGetCatalogInfo(&file, kFSCatInfoNone, nullptr, &name, nullptr, nullptr) != noErr) return std::string();
  std::string utf8;
  PL_UTF8FromUniChars(name.unicode, name.length, &utf8);
  const size_t dot = utf8.rfind('.');
  return dot == std::string::npos || dot == 0 ? utf8 : utf8.substr(0, dot);
}

OSStatus PostKey(UInt32 kind, char character, UInt8 keyCode, UInt32 modifiers) {
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kEventClassKeyboard, kind, 0, kEventAttributeNone, &event);
  if (err != noErr) return err;
  const UInt32 code = keyCode;
  err = SetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, 1, &character);
  if (err == noErr) err = SetEventParameter(event, kEventParamKeyCode, typeUInt32, sizeof code, &code);
  if (err == noErr) err = SetEventParameter(event, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
  if (err == noErr) err = PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  ReleaseEvent(event);
  return err;
}

}  // namespace

OSStatus GL_GetSystemSoundFileList(FSRef **fileList, ItemCount *count) {
  if (fileList == nullptr || count == nullptr) return paramErr;
  *fileList = nullptr;
  *count = 0;
  std::vector<FSRef> files;
  for (const std::string &folder : SoundFolders()) {
    OSStatus err = ListFolder(folder, &files);
    if (err != noErr) return err;
  }
  if (files.empty()) return noErr;
  Ptr block = NewPtr(Size(files.size() * sizeof(FSRef)));
  if (block == nullptr) return memFullErr;
  std::memcpy(block, files.data(), files.size() * sizeof(FSRef));
  *fileList = reinterpret_cast<FSRef *>(block);
  *count = files.size();
  return noErr;
}

OSStatus GL_PlaySystemSoundByName(CFStringRef name) {
  if (name == nullptr) return paramErr;
  FSRef *files = nullptr;
  ItemCount count = 0;
  OSStatus err = GL_GetSystemSoundFileList(&files, &count);
  if (err != noErr) return err;
  const std::string wanted = PL_CFStringToUTF8(name);
  for (ItemCount i = 0; i < count; ++i) {
    if (NameWithoutExtension(files[i]) != wanted) continue;
    SystemSoundActionID action = 0;
    err = SystemSoundGetActionID(&files[i], &action);
    if (err == noErr)
      err = SystemSoundSetCompletionRoutine(action, nullptr, nullptr, GL_BasisSystemSoundCompletionProc, nullptr);
    if (err == noErr) SystemSoundPlay(action);
    break;
  }
  DisposePtr(reinterpret_cast<Ptr>(files));
  return err;
}

OSStatus GL_BasisSystemSoundCompletionProc(SystemSoundActionID actionID, void *) {
  MP_DelayMillisec(10);
  return SystemSoundRemoveActionID(actionID);
}

void GL_SetSystemSoundFolders(const char *const *folders, ItemCount count) {
  gUseTestFolders = folders != nullptr;
  gTestFolders.clear();
  for (ItemCount i = 0; folders != nullptr && i < count; ++i) gTestFolders.push_back(folders[i]);
}

OSStatus GL_GetQCharCode(char *character, Boolean *isVirtualKey) {
  if (character == nullptr || isVirtualKey == nullptr) return paramErr;
  MenuRef menu = nullptr;
  MenuItemIndex item = 0;
  OSStatus err = GetIndMenuItemWithCommandID(nullptr, kHICommandQuit, 1, &menu, &item);
  if (err != noErr) return err;
  *isVirtualKey = false;
  UInt16 key = 0;
  err = GetMenuItemCommandKey(menu, item, false, &key);
  if (err == noErr) *character = char(key);
  return err;
}

OSStatus GL_MakeKeyCodeList(UInt8 keyCodeList[128]) {
  if (keyCodeList == nullptr) return paramErr;
  std::memset(keyCodeList, 0, 128);
  // Virtual key codes of a US keyboard, as the keys give characters without modifiers.
  static const struct {
    char character;
    UInt8 keyCode;
  } keys[] = {{'a', 0x00},  {'s', 0x01},  {'d', 0x02},  {'f', 0x03},  {'h', 0x04},  {'g', 0x05},  {'z', 0x06},
              {'x', 0x07},  {'c', 0x08},  {'v', 0x09},  {'b', 0x0B},  {'q', 0x0C},  {'w', 0x0D},  {'e', 0x0E},
              {'r', 0x0F},  {'y', 0x10},  {'t', 0x11},  {'1', 0x12},  {'2', 0x13},  {'3', 0x14},  {'4', 0x15},
              {'6', 0x16},  {'5', 0x17},  {'=', 0x18},  {'9', 0x19},  {'7', 0x1A},  {'-', 0x1B},  {'8', 0x1C},
              {'0', 0x1D},  {']', 0x1E},  {'o', 0x1F},  {'u', 0x20},  {'[', 0x21},  {'i', 0x22},  {'p', 0x23},
              {'\r', 0x24}, {'l', 0x25},  {'j', 0x26},  {'\'', 0x27}, {'k', 0x28},  {';', 0x29},  {'\\', 0x2A},
              {',', 0x2B},  {'/', 0x2C},  {'n', 0x2D},  {'m', 0x2E},  {'.', 0x2F},  {'\t', 0x30}, {' ', 0x31},
              {'`', 0x32},  {'\b', 0x33}, {0x1B, 0x35}, {0x03, 0x4C}};
  for (const auto &key : keys) keyCodeList[UInt8(key.character)] = key.keyCode;
  return noErr;
}

OSStatus GL_PostCharacter(const UInt8 keyCodeList[128], char character) {
  if (keyCodeList == nullptr || UInt8(character) >= 128) return paramErr;
  const UInt8 keyCode = keyCodeList[UInt8(character)];
  OSStatus err = PostKey(kEventRawKeyDown, character, keyCode, 0);
  if (err != noErr) return err;
  return PostKey(kEventRawKeyUp, character, keyCode, 0);
}

OSStatus GL_PostCapital(const UInt8 keyCodeList[128], char character) {
  if (keyCodeList == nullptr || UInt8(character) >= 128 || UInt8(character + 32) >= 128) return paramErr;
  const char lower = char(character + 32);
  const UInt8 keyCode = keyCodeList[UInt8(lower)];
  OSStatus err = PostKey(kEventRawKeyDown, 0, 56, shiftKey);
  if (err == noErr) err = PostKey(kEventRawKeyDown, lower, keyCode, shiftKey);
  if (err == noErr) err = PostKey(kEventRawKeyUp, lower, keyCode, shiftKey);
  if (err == noErr) err = PostKey(kEventRawKeyUp, 0, 56, 0);
  return err;
}
