// Text objects kept read-only for the user and written by the program.
#include "toolkit/text_objects.h"

#include "general/processor_info.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/fonts.h"
#include "platform/core/memory.h"
#include "platform/ui/images_quartz.h"
#include "platform/ui/text_views.h"

#include <cstring>
#include <string>

namespace {

OSStatus SetOneControl(TXNObject object, TXNControlTag tag, TXNControlData data) {
  return TXNSetTXNObjectControls(object, false, 1, &tag, &data);
}

OSStatus SetAttribute(TXNObject object, TXNTypeRunAttributes tag, ByteCount size, TXNAttributeData data,
                      TXNOffset start, TXNOffset end) {
  TXNTypeAttributes attr{tag, size, data};
  return TXNSetTypeAttributes(object, 1, &attr, start, end);
}

TXNAttributeData Value(UInt32 value) {
  TXNAttributeData data{};
  data.dataValue = value;
  return data;
}

TXNAttributeData Pointer(const void *p) {
  TXNAttributeData data{};
  data.dataPtr = const_cast<void *>(p);
  return data;
}

// Runs `change` over the whole text with the selection kept; the change's status is answered, a failing
// restore only when the change went well and `reportRestore` says so.
template <class Change>
OSStatus OverWholeText(TXNObject object, bool reportRestore, Change change) {
  TXNOffset start = 0, end = 0;
  TXNGetSelection(object, &start, &end);
  TXNSelectAll(object);
  OSStatus err = change();
  const OSStatus restored = TXNSetSelection(object, start, end);
  return (err == noErr && reportRestore) ? restored : err;
}

// One continuous attribute of the selection.
OSStatus GetContinuous(TXNObject object, TXNTypeRunAttributes tag, ByteCount size, UInt32 *value) {
  TXNTypeAttributes attr{tag, size, {}};
  TXNContinuousFlags flags = 0;
  OSStatus err = TXNGetContinuousTypeAttributes(object, &flags, 1, &attr);
  if (err != noErr) return err;
  *value = attr.data.dataValue;
  return noErr;
}

}  // namespace

// ---- Privileges and appending ----

OSStatus TXN_SetReadOnly(TXNObject object, int readOnly) {
  TXNControlData data{};
  data.uValue = readOnly ? kTXNReadOnly : kTXNReadWrite;
  return SetOneControl(object, kTXNIOPrivilegesTag, data);
}

OSStatus TXN_AddReadOnlyText(TXNObject object, Ptr textPtr, long textSize) {
  OSStatus err = TXN_SetReadOnly(object, 0);
  if (err != noErr) return err;
  err = TXNSetData(object, kTXNTextData, textPtr, ByteCount(textSize), kTXNEndOffset, kTXNEndOffset);
  if (err != noErr) return err;
  return TXN_SetReadOnly(object, 1);
}

OSStatus TXN_AddText(TXNObject object, Ptr textPtr, long textSize) {
  return TXNSetData(object, kTXNTextData, textPtr, ByteCount(textSize), kTXNEndOffset, kTXNEndOffset);
}

OSStatus TXN_SetReadOnlyText(TXNObject object, Ptr textPtr, long textSize) {
  OSStatus err = TXN_SetReadOnly(object, 0);
  if (err != noErr) return err;
  err = TXNSetData(object, kTXNTextData, textPtr, ByteCount(textSize), kTXNStartOffset, kTXNEndOffset);
  if (err != noErr) return err;
  return TXN_SetReadOnly(object, 1);
}

OSStatus TXN_SetHITextViewReadOnlyText(WindowRef window, HIViewID viewID, CFStringRef string) {
  if (string == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = HIViewFindByID(HIViewGetRoot(window), viewID, &view);
  if (err != noErr) return err;
  TXNObject object = HITextViewGetTXNObject(view);
  if (object == nullptr) return errUnknownControl;
  err = TXN_SetReadOnly(object, 0);
  if (err != noErr) return err;
  err = SetControlData(view, kControlEntireControl, kControlEditTextCFStringTag, sizeof(CFStringRef), &string);
  if (err != noErr) return err;
  return TXN_SetReadOnly(object, 1);
}

OSStatus TXN_ClearReadOnlySelection(TXNObject object) {
  OSStatus err = TXN_SetReadOnly(object, 0);
  if (err != noErr) return err;
  return TXNClear(object);
}

// ---- Appearance ----

OSStatus TXN_SetMargins(SInt16 top, SInt16 left, SInt16 bottom, SInt16 right, TXNObject object) {
  TXNMargins margins{top, left, bottom, right};
  TXNControlData data{};
  data.marginsPtr = &margins;
  return SetOneControl(object, kTXNMarginsTag, data);
}

OSStatus TXN_SetJust(UInt32 just, TXNObject object) {
  TXNControlData data{};
  data.sValue = SInt32(just);
  return SetOneControl(object, kTXNJustificationTag, data);
}

OSStatus TXN_SetFont(TXNObject object, int fontID) {
  return OverWholeText(object, true, [&] {
    return SetAttribute(object, kTXNQDFontFamilyIDAttribute, sizeof(SInt16), Value(UInt32(UInt16(fontID))),
                        kTXNUseCurrentSelection, kTXNUseCurrentSelection);
  });
}

OSStatus TXN_SetStyle(TXNObject object, int style) {
  return OverWholeText(object, false, [&] {
    return SetAttribute(object, kTXNQDFontStyleAttribute, sizeof(Style), Value(UInt32(Style(style))),
                        kTXNUseCurrentSelection, kTXNUseCurrentSelection);
  });
}

OSStatus TXN_SetSize(TXNObject object, long size) {
  return SetAttribute(object, kTXNQDFontSizeAttribute, sizeof(Fixed), Value(UInt32(Fixed(size) << 16)),
                      kTXNStartOffset, kTXNEndOffset);
}

OSStatus TXN_SetSizeInSelection(TXNObject object, long size) {
  return SetAttribute(object, kTXNQDFontSizeAttribute, sizeof(Fixed), Value(UInt32(Fixed(size) << 16)),
                      kTXNUseCurrentSelection, kTXNUseCurrentSelection);
}

OSStatus TXN_SetColor(TXNObject object, const RGBColor *color) {
  if (color == nullptr) return paramErr;
  return SetAttribute(object, kTXNQDFontColorAttribute, sizeof(RGBColor), Pointer(color), kTXNStartOffset,
                      kTXNEndOffset);
}

OSStatus TXN_SetColorInSelection(TXNObject object, const RGBColor *color) {
  if (color == nullptr) return paramErr;
  return SetAttribute(object, kTXNQDFontColorAttribute, sizeof(RGBColor), Pointer(color), kTXNUseCurrentSelection,
                      kTXNUseCurrentSelection);
}

OSStatus TXN_SetBackground(TXNObject object, const RGBColor *color) {
  if (color == nullptr) return paramErr;
  TXNBackground background{kTXNBackgroundTypeRGB, *color};
  return TXNSetBackground(object, &background);
}

OSStatus TXN_SetUseCarbonEvents(TXNObject object) {
  TXNControlData data{};
  data.uValue = 1;
  return SetOneControl(object, kTXNUseCarbonEvents, data);
}

OSStatus TXN_CreateCoreGraphicsContext(WindowRef window, TXNObject object) {
  CGContextRef context = nullptr;
  // Window ports here draw through their widgets, so most have no context of their own: the object is
  // then given none, which it draws without.
  if (CreateCGContextForPort(GetWindowPort(window), &context) != noErr) context = nullptr;
  TXNControlData data{};
  data.ptr = context;
  SetOneControl(object, kATSUCGContextTag, data);
  return noErr;
}

OSStatus TXN_InitializeMLTE(const char *fontName, long size) {
  if (fontName == nullptr) return paramErr;
  Str255 name;
  const size_t length = std::min<size_t>(std::strlen(fontName), 255);
  name[0] = UInt8(length);
  std::memcpy(name + 1, fontName, length);
  SInt16 family = 0;
  GetFNum(name, &family);
  TXNMacOSPreferredFontDescription font{UInt32(UInt16(family)), Fixed(size) << 16, kTextEncodingUnicodeDefault, 0};
  return TXNInitTextension(&font, 1, 0);
}

// ---- Queries ----

OSStatus TXN_GetSize(TXNObject object, long *size) {
  if (size == nullptr) return paramErr;
  UInt32 value = 0;
  OSStatus err = GetContinuous(object, kTXNQDFontSizeAttribute, sizeof(Fixed), &value);
  if (err == noErr) *size = long(Fixed(value) >> 16);
  return err;
}

OSStatus TXN_GetFont(TXNObject object, SInt16 *fontID) {
  if (fontID == nullptr) return paramErr;
  UInt32 value = 0;
  OSStatus err = GetContinuous(object, kTXNQDFontFamilyIDAttribute, sizeof(SInt16), &value);
  if (err == noErr) *fontID = SInt16(value);
  return err;
}

OSStatus TXN_GetStyle(TXNObject object, Style *style) {
  if (style == nullptr) return paramErr;
  UInt32 value = 0;
  OSStatus err = GetContinuous(object, kTXNQDFontStyleAttribute, sizeof(Style), &value);
  if (err == noErr) *style = Style(value);
  return err;
}

OSStatus TXN_GetLength(TXNObject object, TXNOffset *length) {
  if (length == nullptr || !PL_TXNIsObject(object)) return paramErr;
  TXNOffset start = 0, end = 0;
  TXNGetSelection(object, &start, &end);
  TXNSelectAll(object);
  TXNOffset allStart = 0;
  TXNGetSelection(object, &allStart, length);
  return TXNSetSelection(object, start, end);
}

OSStatus TXN_GetDataAsCStr(TXNObject object, TXNOffset start, TXNOffset end, char *cStr) {
  if (cStr == nullptr) return paramErr;
  Handle data = nullptr;
  OSStatus err = TXNGetDataEncoded(object, start, end, &data, kTXNTextData);
  if (err != noErr) return err;
  const Size size = GetHandleSize(data);
  if (size > 0) std::memcpy(cStr, *data, size_t(size));
  cStr[size] = 0;
  DisposeHandle(data);
  return noErr;
}

OSStatus TXN_GetDataAsCFStr(TXNObject object, TXNOffset start, TXNOffset end, CFStringRef *cfStr) {
  if (cfStr == nullptr) return paramErr;
  *cfStr = nullptr;
  Handle data = nullptr;
  OSStatus err = TXNGetDataEncoded(object, start, end, &data, kTXNUnicodeTextData);
  if (err != noErr) return err;
  *cfStr = CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar *>(*data),
                                        CFIndex(GetHandleSize(data) / 2));
  DisposeHandle(data);
  return *cfStr != nullptr ? noErr : OSStatus(memFullErr);
}

OSStatus TXN_Find(TXNObject object, const char *textToFind, TXNOffset start, TXNOffset end, TXNOffset *startMatch,
                  TXNOffset *endMatch) {
  if (textToFind == nullptr) return paramErr;
  // Our texts are in the system encoding, UTF-8, with Mac Roman as the fallback for other bytes.
  const std::u16string pattern = PL_DecodeUTF8Lenient(textToFind);
  TXNMatchTextRecord match{pattern.data(), SInt32(pattern.size() * 2), kTextEncodingUnicodeDefault};
  return TXNFind(object, &match, kTXNUnicodeTextData, 0, start, end, nullptr, 0, startMatch, endMatch);
}

OSStatus TXN_Munger(const TXNMatchTextRecord *matchData, TXNDataType iDataType, TXNMatchOptions,
                    const void *iSearchTextPtr, TextEncoding, TXNOffset absStartOffset, ByteCount searchTextLength,
                    TXNOffset *oStartMatch, TXNOffset *oEndMatch, Boolean *ofound, UInt32) {
  if (matchData == nullptr || oStartMatch == nullptr || oEndMatch == nullptr || ofound == nullptr ||
      (iSearchTextPtr == nullptr && searchTextLength > 0))
    return paramErr;
  *ofound = false;
  *oStartMatch = *oEndMatch = TXNOffset(-1);
  Handle searched = nullptr;
  OSStatus err = PtrToHand(iSearchTextPtr, &searched, Size(searchTextLength));
  if (err != noErr) return err;
  // Offsets count characters: two bytes each in Unicode text, where a match must start on a character.
  const long unit = iDataType == kTXNUnicodeTextData ? 2 : 1;
  long from = 0;
  long at = -1;
  while ((at = Munger(searched, from, matchData->iTextPtr, matchData->iTextToMatchLength, nullptr, 0)) >= 0 &&
         at % unit != 0)
    from = at + 1;
  DisposeHandle(searched);
  if (at < 0) return noErr;
  *ofound = true;
  *oStartMatch = TXNOffset(at / unit) + absStartOffset;
  *oEndMatch = *oStartMatch + TXNOffset(matchData->iTextToMatchLength / unit);
  return noErr;
}

// ---- Menus and messages ----

OSStatus TXN_PrepareSizeMenu(MenuRef menu, TXNObject object, const long *itemSizes, SInt32 numSizes) {
  if (menu == nullptr || (itemSizes == nullptr && numSizes > 1)) return paramErr;
  long size = 0;
  OSStatus err = TXN_GetSize(object, &size);
  if (err != noErr) return err;
  for (SInt32 i = 1; i < numSizes; ++i) CheckMenuItem(menu, MenuItemIndex(i), itemSizes[i - 1] == size);
  return noErr;
}

OSStatus TXN_HandleFontMenuChoice(TXNObject object, TXNFontMenuObject fontMenuObject, int fontMenuID, int menuItem) {
  return OverWholeText(object, true, [&] {
    return TXNDoFontMenuSelection(object, fontMenuObject, SInt16(fontMenuID), SInt16(menuItem));
  });
}

OSStatus TXN_SetLogMessageWithTime(TXNObject object, const char *message) {
  if (message == nullptr) return paramErr;
  CFStringRef now = GL_CreateCurrentDateTimeCFStr(4, 1);
  if (now == nullptr) return memFullErr;
  // Built in a growing string: a message of any length fits.
  std::string text = std::string(message) + "Time: " + PL_CFStringToUTF8(now) + "\n\n";
  CFRelease(now);
  return TXN_AddReadOnlyText(object, text.data(), long(text.size()));
}
