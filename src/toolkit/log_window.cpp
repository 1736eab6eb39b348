// The log window and its file.
#include "toolkit/log_window.h"

#include "general/cf_encodings.h"
#include "general/file_layer.h"
#include "general/processor_info.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/file_urls.h"
#include "platform/core/fonts.h"
#include "platform/core/memory.h"
#include "platform/core/window_refcons.h"
#include "platform/ui/text_views.h"
#include "toolkit/menus.h"
#include "toolkit/text_objects.h"
#include "toolkit/windows.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const CFStringRef kLogAliasKey = CFSTR("Log Alias");

// close box, collapse box, resizable, compositing, standard handler, live resize
constexpr WindowAttributes kLogWindowAttributes = 302514201;
constexpr TXNFrameOptions kLogFrameOptions = 6176;   // read-only, wrap, no caret while inactive
constexpr TXNFrameOptions kPrintFrameOptions = 6144;  // wrap, no caret while inactive

CFStringRef CopyLocalized(CFStringRef key) {
  return CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
}

// The log file as the alias finds it now; false when it no longer resolves.
bool ResolveLogFile(LOG_DataPtr data, FSRef *file) {
  if (data->alias == nullptr) return false;
  Boolean changed = false;
  return FSResolveAlias(nullptr, data->alias, file, &changed) == noErr;
}

OSStatus AppendBytes(const FSRef *file, const std::string &bytes) {
  HFSUniStr255 dataFork;
  FSGetDataForkName(&dataFork);
  FSIORefNum fork = 0;
  OSStatus err = FSOpenFork(file, dataFork.length, dataFork.unicode, fsWrPerm, &fork);
  if (err != noErr) return err;
  if (!bytes.empty()) err = FSWriteFork(fork, fsFromLEOF, 0, ByteCount(bytes.size()), bytes.data(), nullptr);
  if (err == noErr) err = FSFlushFork(fork);
  const OSStatus closeErr = FSCloseFork(fork);
  return err != noErr ? err : closeErr;
}

// The whole text in one step (the old file stays whole when this fails).
OSStatus WriteWholeText(LOG_DataPtr data, const FSRef *file) {
  CFURLRef url = CFURLCreateFromFSRef(nullptr, file);
  if (url == nullptr) return fnfErr;
  OSStatus err = TXNWriteRangeToCFURL(data->txnObject, kTXNStartOffset, kTXNEndOffset, nullptr, nullptr, url);
  CFRelease(url);
  return err;
}

TXNOffset TextLength(TXNObject object) {
  TXNOffset length = 0;
  TXN_GetLength(object, &length);
  return length;
}

OSStatus SendEdit(LOG_DataPtr data, HICommand command, bool *handled) {
  *handled = true;
  switch (command.commandID) {
    case 'copy':
    case 'sall': return LOG_HandleEditMenu(data, command.commandID);
    case 'clos': return LOG_ShowHide(data);
    case kHICommandQuit:
      // Quitting hides a shown log (its place kept) and goes on; a hidden one stays hidden.
      if (IsWindowVisible(LOG_GetWindow(data->name))) LOG_ShowHide(data);
      *handled = false;
      return eventNotHandledErr;
    default: *handled = false; return eventNotHandledErr;
  }
}

}  // namespace

OSStatus LOG_CreateWindow(const LOG_InitData *initData) {
  if (initData == nullptr || initData->name == nullptr || initData->location == nullptr) return paramErr;
  const Rect bounds{200, 300, 600, 700};
  WindowRef window = nullptr;
  OSStatus err = CreateNewWindow(kDocumentWindowClass, kLogWindowAttributes, &bounds, &window);
  if (err != noErr) return err;
  err = LOG_InitWindow(window, initData);
  if (err != noErr) {
    // A half-made log leaves no window behind; its data goes with it.
    if (auto *data = reinterpret_cast<LOG_DataPtr>(GetWRefCon(window))) {
      if (data->eventHdlr != nullptr) RemoveEventHandler(data->eventHdlr);
      if (data->alias != nullptr) DisposeHandle(reinterpret_cast<Handle>(data->alias));
      if (data->name != nullptr) CFRelease(data->name);
      delete data;
    }
    DisposeWindow(window);
    return err;
  }
  GL_PositionWindow(window, *initData->location);
  return noErr;
}

OSStatus LOG_InitWindow(WindowRef window, const LOG_InitData *initData) {
  if (window == nullptr || initData == nullptr) return paramErr;
  // 1. The data, as the window's reference constant.
  auto *data = new LOG_Data{};
  SetWRefCon(window, reinterpret_cast<SRefCon>(data));
  data->location = initData->location;
  data->name = static_cast<CFStringRef>(CFRetain(initData->name));
  data->windowMenuID = initData->windowMenuID;
  data->windowID = initData->windowID;
  data->viewID = initData->viewID;
  data->scrollID = initData->scrollID;
  data->showLogCommandID = initData->showLogCommandID;
  data->placardHeight = initData->placardHeight;
  data->writeFailureProc = initData->writeFailureProc;
  OSStatus err = SetWindowTitleWithCFString(window, initData->name);
  if (err != noErr) return err;

  // 2. The text view over the port bounds, in its scroll view.
  Rect port{};
  if ((err = GetWindowBounds(window, kWindowContentRgn, &port)) != noErr) return err;
  const HIRect frame{{0, 0}, {CGFloat(port.right - port.left), CGFloat(port.bottom - port.top)}};
  HIViewRef textView = nullptr;
  if ((err = HITextViewCreate(&frame, 0, kLogFrameOptions, &textView)) != noErr) return err;
  data->txnObject = HITextViewGetTXNObject(textView);
  if ((err = HIViewAddSubview(HIViewGetRoot(window), textView)) != noErr) return err;
  if ((err = HIViewSetID(textView, HIViewID{kLOG_ViewSignature, initData->viewID})) != noErr) return err;
  if ((err = LOG_EmbedLogTextInScrollView(window, initData->placardHeight, initData->viewID, initData->scrollID)) !=
      noErr)
    return err;

  // 3. Font, size and margins.
  if ((err = TXN_SetReadOnly(data->txnObject, 0)) != noErr) return err;
  Str255 georgia = {7, 'G', 'e', 'o', 'r', 'g', 'i', 'a'};
  SInt16 fontID = 0;
  GetFNum(georgia, &fontID);
  if ((err = TXN_SetFont(data->txnObject, fontID)) != noErr) return err;
  if ((err = TXN_SetSize(data->txnObject, 11)) != noErr) return err;
  if ((err = TXN_SetMargins(0, 10, 10, 10, data->txnObject)) != noErr) return err;

  // 4. The file.
  FSRef file;
  ByteCount dataSize = 0;
  if ((err = LOG_GetFile(initData->creator, initData->name, &file, &data->alias, &dataSize)) != noErr) return err;
  if ((err = TXN_SetReadOnly(data->txnObject, 1)) != noErr) return err;

  // 5. Its text, or the header of a new log.
  if (dataSize > 0) {
    CFURLRef url = CFURLCreateFromFSRef(nullptr, &file);
    if (url == nullptr) return fnfErr;
    if ((err = TXN_SetReadOnly(data->txnObject, 0)) == noErr)
      err = TXNReadFromCFURL(data->txnObject, kTXNStartOffset, kTXNEndOffset, nullptr, url, nullptr);
    CFRelease(url);
    const OSStatus readOnly = TXN_SetReadOnly(data->txnObject, 1);
    if (err == noErr) err = readOnly;
    if (err != noErr) return err;
    data->writtenLength = TextLength(data->txnObject);
  } else {
    err = LOG_SetAppInfo(data->txnObject, initData->formatStr, initData->descriptionStr, initData->versionStr);
    if (err != noErr) return err;
    LOG_WritePendingText(data);
  }

  // 6. The window's events.
  static const EventTypeSpec kinds[] = {{kEventClassWindow, kEventWindowClose},
                                        {kEventClassCommand, kEventCommandProcess},
                                        {kEventClassWindow, kEventWindowBoundsChanging},
                                        {kEventClassWindow, kEventWindowBoundsChanged}};
  return InstallEventHandler(GetWindowEventTarget(window), LOG_WindowEventHandler, 4, kinds, window, &data->eventHdlr);
}

OSStatus LOG_EmbedLogTextInScrollView(WindowRef window, long placardHeight, long textID, long scrollID) {
  Rect port{};
  OSStatus err = GetWindowBounds(window, kWindowContentRgn, &port);
  if (err != noErr) return err;
  HIViewRef scroll = nullptr;
  if ((err = HIScrollViewCreate(kHIScrollViewOptionsVertScroll | kHIScrollViewOptionsAllowGrow, &scroll)) != noErr)
    return err;
  const HIRect frame{{0, CGFloat(placardHeight)},
                     {CGFloat(port.right - port.left), CGFloat(port.bottom - port.top - placardHeight)}};
  if ((err = HIViewAddSubview(HIViewGetRoot(window), scroll)) != noErr) return err;
  if ((err = HIViewSetFrame(scroll, &frame)) != noErr) return err;
  if ((err = HIViewSetID(scroll, HIViewID{kLOG_ViewSignature, SInt32(scrollID)})) != noErr) return err;
  if ((err = HIViewSetVisible(scroll, true)) != noErr) return err;
  HIViewRef text = nullptr;
  if ((err = HIViewFindByID(HIViewGetRoot(window), HIViewID{kLOG_ViewSignature, SInt32(textID)}, &text)) != noErr)
    return err;
  return HIViewAddSubview(scroll, text);
}

OSStatus LOG_GetFile(OSType creator, CFStringRef fileName, FSRef *logRef, AliasHandle *logAlias, ByteCount *dataSize) {
  if (fileName == nullptr || logRef == nullptr || logAlias == nullptr || dataSize == nullptr) return paramErr;
  *dataSize = 0;
  // 1. The stored alias, when it still leads to a file outside the Trash.
  LOG_GetAliasFromPrefs(logAlias);
  bool found = false;
  if (*logAlias != nullptr) {
    Boolean changed = false;
    OSStatus err = FSResolveAlias(nullptr, *logAlias, logRef, &changed);
    Boolean inTrash = false;
    if (err == noErr && GL_FileInTrash(logRef, &inTrash) == noErr && !inTrash) {
      found = true;
      if (changed) LOG_SaveAliasInPrefs(*logAlias);
    } else if (err != noErr && err != fnfErr) {
      // Forgotten; a new file is made below.
    }
    if (!found) {
      DisposeHandle(reinterpret_cast<Handle>(*logAlias));
      *logAlias = nullptr;
    }
  }
  // 2. A new file in the Logs folder (an existing one of that name is taken).
  if (!found) {
    FSRef logs;
    OSStatus err = FSFindFolder(kUserDomain, kLogsFolderType, kCreateFolder, &logs);
    if (err != noErr) return err;
    HFSUniStr255 name{};
    const CFIndex length = std::min<CFIndex>(CFStringGetLength(fileName), 255);
    CFStringGetCharacters(fileName, CFRange{0, length}, name.unicode);
    name.length = UInt16(length);
    err = GL_CreateFile(&logs, &name, creator, kLOG_FileType, false, logRef);
    if (err == dupFNErr) err = FSMakeFSRefUnicode(&logs, name.length, name.unicode, kTextEncodingUnknown, logRef);
    if (err != noErr) return err;
    if ((err = FSNewAlias(nullptr, logRef, logAlias)) != noErr) return err;
    LOG_SaveAliasInPrefs(*logAlias);
  }
  // 3. Its size.
  FSCatalogInfo info{};
  OSStatus err = FSGetCatalogInfo(logRef, kFSCatInfoDataSizes, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  *dataSize = ByteCount(info.dataLogicalSize);
  return noErr;
}

void LOG_GetAliasFromPrefs(AliasHandle *logAlias) {
  if (logAlias == nullptr) return;
  *logAlias = nullptr;
  CFPropertyListRef stored = CFPreferencesCopyAppValue(kLogAliasKey, kCFPreferencesCurrentApplication);
  if (stored == nullptr) return;
  if (CFGetTypeID(stored) == CFDataGetTypeID())
    *logAlias = reinterpret_cast<AliasHandle>(CF_DataRefToHandle(static_cast<CFDataRef>(stored)));
  CFRelease(stored);
}

void LOG_SaveAliasInPrefs(AliasHandle logAlias) {
  if (logAlias == nullptr) return;
  CFDataRef data = CF_HandleToDataRef(reinterpret_cast<Handle>(logAlias));
  if (data == nullptr) return;
  CFPreferencesSetAppValue(kLogAliasKey, data, kCFPreferencesCurrentApplication);
  CFRelease(data);
}

OSStatus LOG_WindowEventHandler(EventHandlerCallRef, EventRef event, void *userData) {
  auto window = static_cast<WindowRef>(userData);
  auto *data = reinterpret_cast<LOG_DataPtr>(GetWRefCon(window));
  if (data == nullptr) return eventNotHandledErr;
  const UInt32 eventClass = GetEventClass(event), kind = GetEventKind(event);
  if (eventClass == kEventClassCommand && kind == kEventCommandProcess) {
    HICommand command{};
    if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command) !=
        noErr)
      return eventNotHandledErr;
    bool handled = false;
    SendEdit(data, command, &handled);
    return handled ? noErr : eventNotHandledErr;
  }
  if (eventClass != kEventClassWindow) return eventNotHandledErr;
  if (kind == kEventWindowClose) {
    LOG_ShowHide(data);
    return noErr;
  }
  UInt32 attributes = 0;
  GetEventParameter(event, kEventParamAttributes, typeUInt32, nullptr, sizeof attributes, nullptr, &attributes);
  if (!(attributes & kWindowBoundsChangeSizeChanged)) return eventNotHandledErr;
  Rect bounds{};
  if (GetEventParameter(event, kEventParamCurrentBounds, typeQDRectangle, nullptr, sizeof bounds, nullptr, &bounds) !=
      noErr)
    return eventNotHandledErr;
  if (kind == kEventWindowBoundsChanging) {
    // Only the height follows the user; at least the placard and 200 pixels of text.
    Rect original{};
    if (GetEventParameter(event, kEventParamOriginalBounds, typeQDRectangle, nullptr, sizeof original, nullptr,
                          &original) == noErr)
      bounds.right = SInt16(bounds.left + (original.right - original.left));
    const long minHeight = data->placardHeight + 200;
    if (bounds.bottom - bounds.top < minHeight) bounds.bottom = SInt16(bounds.top + minHeight);
    SetEventParameter(event, kEventParamCurrentBounds, typeQDRectangle, sizeof bounds, &bounds);
    return noErr;
  }
  if (kind == kEventWindowBoundsChanged) {
    const HIRect frame{{0, CGFloat(data->placardHeight)},
                       {CGFloat(bounds.right - bounds.left), CGFloat(bounds.bottom - bounds.top - data->placardHeight)}};
    HIViewRef view = nullptr;
    if (HIViewFindByID(HIViewGetRoot(window), HIViewID{kLOG_ViewSignature, data->viewID}, &view) == noErr)
      HIViewSetFrame(view, &frame);
    if (HIViewFindByID(HIViewGetRoot(window), HIViewID{kLOG_ViewSignature, data->scrollID}, &view) == noErr)
      HIViewSetFrame(view, &frame);
  }
  return eventNotHandledErr;
}

OSStatus LOG_HandleEditMenu(LOG_DataPtr logData, UInt32 commandID) {
  if (logData == nullptr) return paramErr;
  if (commandID == 'copy') return TXNCopy(logData->txnObject);
  if (commandID == 'sall') TXNSelectAll(logData->txnObject);
  return noErr;
}

OSStatus LOG_ShowHide(LOG_DataPtr logData) {
  if (logData == nullptr) return paramErr;
  WindowRef window = LOG_GetWindow(logData->name);
  if (window == nullptr) return errInvalidWindowRef;
  CFStringRef itemKey = nullptr;
  if (IsWindowVisible(window)) {
    if (logData->location != nullptr) GL_SaveWindowPosition(window, logData->location);
    HideWindow(window);
    itemKey = CFSTR("LOG Show");
  } else {
    ShowWindow(window);
    SelectWindow(window);
    HIViewRef view = nullptr;
    OSStatus err = HIViewFindByID(HIViewGetRoot(window), HIViewID{kLOG_ViewSignature, logData->viewID}, &view);
    if (err == noErr) err = SetKeyboardFocus(window, view, kControlFocusNextPart);
    if (err != noErr) return err;
    itemKey = CFSTR("LOG Hide");
  }
  CFStringRef text = CopyLocalized(itemKey);
  OSStatus err = GL_SetMenuItemCommandText(logData->windowMenuID, MenuCommand(logData->showLogCommandID), text);
  if (text != nullptr) CFRelease(text);
  return err;
}

OSStatus LOG_DisposeWindow(CFStringRef name) {
  WindowRef window = LOG_GetWindow(name);
  if (window == nullptr) return noErr;
  auto *data = reinterpret_cast<LOG_DataPtr>(GetWRefCon(window));
  if (data == nullptr) return noErr;
  // The file holds every block written so far unless a write failed; then the whole text goes again.
  if (data->writeFailed || data->writtenLength != TextLength(data->txnObject)) {
    FSRef file;
    if (ResolveLogFile(data, &file)) {
      const OSStatus err = WriteWholeText(data, &file);
      if (err != noErr) return err;
    }
  }
  if (data->txnObjectCopy != nullptr) TXNDeleteObject(data->txnObjectCopy);
  if (data->eventHdlr != nullptr) RemoveEventHandler(data->eventHdlr);
  if (data->alias != nullptr) DisposeHandle(reinterpret_cast<Handle>(data->alias));
  CFRelease(data->name);
  SetWRefCon(window, 0);
  delete data;
  DisposeWindow(window);
  return noErr;
}

OSStatus LOG_SetAppInfo(TXNObject object, const char *formatStr, const char *descriptionStr, const char *versionStr) {
  std::string text = "\n";
  for (const char *part : {formatStr, descriptionStr, versionStr})
    if (part != nullptr) text += part;
  text += "\n\n";
  return TXN_AddReadOnlyText(object, text.data(), long(text.size()));
}

OSStatus LOG_SetMessage(TXNObject object, const char *message) {
  if (message == nullptr) return paramErr;
  std::string text = message;  // any length: no fixed buffer to overrun
  return TXN_AddReadOnlyText(object, text.data(), long(text.size()));
}

OSStatus LOG_SetMessageAppendTime(TXNObject object, const char *message) {
  if (message == nullptr) return paramErr;
  CFStringRef now = GL_CreateCurrentDateTimeCFStr(3, 2);
  if (now == nullptr) return memFullErr;
  std::string text = std::string(message) + " Time: " + PL_CFStringToUTF8(now);
  CFRelease(now);
  return TXN_AddReadOnlyText(object, text.data(), long(text.size()));
}

WindowRef LOG_GetWindow(CFStringRef name) {
  if (name == nullptr) return nullptr;
  return GL_FindWindowByClassAndName(kDocumentWindowClass, name, false);
}

LOG_DataPtr LOG_GetData(CFStringRef name) {
  WindowRef window = LOG_GetWindow(name);
  return window != nullptr ? reinterpret_cast<LOG_DataPtr>(GetWRefCon(window)) : nullptr;
}

TXNObject LOG_GetTXNObject(CFStringRef name) {
  LOG_DataPtr data = LOG_GetData(name);
  return data != nullptr ? data->txnObject : nullptr;
}

namespace {
// The print copy, made on first use.
OSStatus PrintCopy(LOG_DataPtr data, TXNObject *copy) {
  if (data->txnObjectCopy == nullptr) {
    OSStatus err = TXNCreateObject(nullptr, kPrintFrameOptions, &data->txnObjectCopy);
    if (err != noErr) return err;
  }
  *copy = data->txnObjectCopy;
  return noErr;
}
}  // namespace

OSStatus LOG_PrintTextView(CFStringRef name) {
  LOG_DataPtr data = LOG_GetData(name);
  if (data == nullptr) return errInvalidWindowRef;
  TXNObject copy = nullptr;
  OSStatus err = PrintCopy(data, &copy);
  if (err != noErr) return err;
  // The selection, or everything when nothing is selected, goes into the print copy directly rather than
  // through the clipboard, which stays the user's.
  TXNOffset start = 0, end = 0;
  TXNGetSelection(data->txnObject, &start, &end);
  if (start == end) {
    start = kTXNStartOffset;
    end = kTXNEndOffset;
  }
  Handle text = nullptr;
  if ((err = TXNGetData(data->txnObject, start, end, &text)) != noErr) return err;
  err = TXNSetData(copy, kTXNUnicodeTextData, *text, ByteCount(GetHandleSize(text)), kTXNStartOffset, kTXNEndOffset);
  DisposeHandle(text);
  if (err != noErr) return err;
  if ((err = TXNPrint(copy)) == noErr) TXNIdle(copy);
  return err;
}

OSStatus LOG_PageSetup(CFStringRef name) {
  LOG_DataPtr data = LOG_GetData(name);
  if (data == nullptr) return errInvalidWindowRef;
  TXNObject copy = nullptr;
  OSStatus err = PrintCopy(data, &copy);
  if (err != noErr) return err;
  return TXNPageSetup(copy);
}

OSStatus LOG_AppendReadOnlyText(LOG_DataPtr logData, const char *text, long textSize) {
  if (logData == nullptr || text == nullptr) return paramErr;
  std::string bytes(text, size_t(std::max(textSize, 0L)));
  OSStatus err = TXN_AddReadOnlyText(logData->txnObject, bytes.data(), textSize);
  if (err != noErr) return err;
  LOG_WritePendingText(logData);
  return noErr;
}

OSStatus LOG_WritePendingText(LOG_DataPtr logData) {
  if (logData == nullptr) return paramErr;
  const TXNOffset length = TextLength(logData->txnObject);
  FSRef file;
  OSStatus err = noErr;
  if (!ResolveLogFile(logData, &file)) {
    err = fnfErr;
  } else if (logData->writeFailed) {
    err = WriteWholeText(logData, &file);
  } else if (length > logData->writtenLength) {
    Handle added = nullptr;
    err = TXNGetData(logData->txnObject, logData->writtenLength, length, &added);
    if (err == noErr) {
      const std::u16string_view units(reinterpret_cast<const char16_t *>(*added), size_t(GetHandleSize(added)) / 2);
      err = AppendBytes(&file, PL_EncodeUTF8Lenient(units));
      DisposeHandle(added);
    }
  }
  if (err == noErr) {
    logData->writtenLength = length;
    logData->writeFailed = false;
    return noErr;
  }
  if (!logData->writeFailed) {
    std::printf("LOG_WritePendingText: the log file could not be written, error = %ld\n", long(err));
    std::fflush(stdout);
    if (logData->writeFailureProc != nullptr) logData->writeFailureProc(err);
  }
  logData->writeFailed = true;
  return err;
}
