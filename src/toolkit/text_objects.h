// Text objects: the texts the user only reads (log, status, applied methods, shortcuts) are kept read-only
// and written by the program, which makes them writable just for the moment of a change. Each operation
// answers the status of the text-engine call it makes (the first failing one where it makes several).
// Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/multilingual_text.h"

// ---- Privileges and appending ----
// readOnly 1: read-only, 0: read-write.
OSStatus TXN_SetReadOnly(TXNObject object, int readOnly);
// Appends textSize bytes (system encoding) as read-only text: writable, append, read-only again. A failing
// append leaves the object writable.
OSStatus TXN_AddReadOnlyText(TXNObject object, Ptr textPtr, long textSize);
// Appends without touching the privileges.
OSStatus TXN_AddText(TXNObject object, Ptr textPtr, long textSize);
// Replaces the whole text, read-only afterwards.
OSStatus TXN_SetReadOnlyText(TXNObject object, Ptr textPtr, long textSize);
// Sets the text of the window's text view, keeping it read-only.
OSStatus TXN_SetHITextViewReadOnlyText(WindowRef window, HIViewID viewID, CFStringRef string);
// Deletes the selection; the object stays writable.
OSStatus TXN_ClearReadOnlySelection(TXNObject object);

// ---- Appearance ----
OSStatus TXN_SetMargins(SInt16 top, SInt16 left, SInt16 bottom, SInt16 right, TXNObject object);
OSStatus TXN_SetJust(UInt32 just, TXNObject object);
// Font family and style of the whole text; the selection is kept.
OSStatus TXN_SetFont(TXNObject object, int fontID);
OSStatus TXN_SetStyle(TXNObject object, int style);
// Size in points of the whole text, or of the selection.
OSStatus TXN_SetSize(TXNObject object, long size);
OSStatus TXN_SetSizeInSelection(TXNObject object, long size);
OSStatus TXN_SetColor(TXNObject object, const RGBColor *color);
OSStatus TXN_SetColorInSelection(TXNObject object, const RGBColor *color);
OSStatus TXN_SetBackground(TXNObject object, const RGBColor *color);
OSStatus TXN_SetUseCarbonEvents(TXNObject object);
// Hands the object a drawing context for the window's port (the object keeps a reference to it); always 0.
OSStatus TXN_CreateCoreGraphicsContext(WindowRef window, TXNObject object);
// The default font (family of that name, size in points) of text objects made afterwards.
OSStatus TXN_InitializeMLTE(const char *fontName, long size);

// ---- Queries ----
// The selection's continuous size (whole points), family and style; the output is written on success only.
OSStatus TXN_GetSize(TXNObject object, long *size);
OSStatus TXN_GetFont(TXNObject object, SInt16 *fontID);
OSStatus TXN_GetStyle(TXNObject object, Style *style);
// The text's length in characters; the selection is kept.
OSStatus TXN_GetLength(TXNObject object, TXNOffset *length);
// The range's Mac Roman bytes and a terminating zero; cStr must hold the range's length plus one.
OSStatus TXN_GetDataAsCStr(TXNObject object, TXNOffset start, TXNOffset end, char *cStr);
// *cfStr = the range's text (owned: CFRelease).
OSStatus TXN_GetDataAsCFStr(TXNObject object, TXNOffset start, TXNOffset end, CFStringRef *cfStr);
// Finds the Mac Roman text in the range; no match gives kTXNUseCurrentSelection as both offsets.
OSStatus TXN_Find(TXNObject object, const char *textToFind, TXNOffset start, TXNOffset end, TXNOffset *startMatch,
                  TXNOffset *endMatch);
// A find procedure that searches the range's bytes for the pattern's bytes (Munger).
OSStatus TXN_Munger(const TXNMatchTextRecord *matchData, TXNDataType iDataType, TXNMatchOptions iMatchOptions,
                    const void *iSearchTextPtr, TextEncoding encoding, TXNOffset absStartOffset,
                    ByteCount searchTextLength, TXNOffset *oStartMatch, TXNOffset *oEndMatch, Boolean *ofound,
                    UInt32 refCon);

// ---- Menus and messages ----
// Checks the size menu's items 1 to numSizes - 1: item i when itemSizes[i - 1] is the selection's size.
OSStatus TXN_PrepareSizeMenu(MenuRef menu, TXNObject object, const long *itemSizes, SInt32 numSizes);
// Applies a font-menu choice to the whole text; the selection is kept.
OSStatus TXN_HandleFontMenuChoice(TXNObject object, TXNFontMenuObject fontMenuObject, int fontMenuID, int menuItem);
// Appends, read-only, the message, "Time: ", the current date and time and "\n\n"; a message of any length.
OSStatus TXN_SetLogMessageWithTime(TXNObject object, const char *message);
