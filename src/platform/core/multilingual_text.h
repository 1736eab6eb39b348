// Multilingual Text Engine stand-in: text objects that keep their own text (UTF-16 code units, line ends
// exactly as written), runs of font, size, style and colour, the selection, the I/O privileges, margins,
// justification and background. The model needs no display: the user-interface layer shows an object in a
// text view (platform/ui/text_views.h) and is told of every change through PL_SetTXNChangedProc.
//
// Offsets count UTF-16 code units. kTXNEndOffset stands for the end of the text and kTXNUseCurrentSelection
// (as start and end) for the selection; offsets beyond the end are taken as the end. Text given as bytes
// ('TEXT') is in the system encoding, UTF-8, read as Mac Roman when it is no valid UTF-8; text read out as
// bytes is Mac Roman, one byte per code unit ('?' for what Mac Roman lacks), so a range of n units gives n
// bytes. A read-only object refuses every change of its text with wrPermErr. Main thread only.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/menus.h"
#include "platform/core/quartz_contexts.h"
#include "platform/core/quartz_geometry.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/core/text_encodings.h"

struct OpaqueTXNObject;
typedef OpaqueTXNObject *TXNObject;
typedef UInt32 TXNOffset;
typedef OSType TXNDataType;
typedef UInt32 TXNFrameOptions;
typedef OSType TXNControlTag;
typedef OSType TXNTypeRunAttributes;
typedef UInt32 TXNMatchOptions;
typedef UInt32 TXNContinuousFlags;

enum : TXNOffset { kTXNStartOffset = 0, kTXNEndOffset = 0x7FFFFFFF, kTXNUseCurrentSelection = 0xFFFFFFFF };
enum : TXNDataType { kTXNTextData = 'TEXT', kTXNUnicodeTextData = 'utxt' };

// Frame options: 6176 = read-only, wrap at the view's edge, no caret while inactive.
enum : TXNFrameOptions {
  kTXNReadOnlyMask = 1u << 5,
  kTXNAlwaysWrapAtViewEdgeMask = 1u << 11,
  kTXNDontDrawCaretWhenInactiveMask = 1u << 12,
};

enum : OSStatus {
  kTXNNoMatchErr = -22008,
  kTXNAttributeTagInvalidForRunErr = -22009,
  kTXNInvalidRunIndex = -22011,
  kTXNAlreadyInitializedErr = -22012,
  kTXNDataTypeNotAllowedErr = -22015,
};

// Object controls.
enum : TXNControlTag {
  kTXNIOPrivilegesTag = 'iopv',
  kTXNMarginsTag = 'marg',
  kTXNJustificationTag = 'just',
  kTXNUseCarbonEvents = 'cbcb',
  kATSUCGContextTag = 32767,
};
enum : UInt32 { kTXNReadWrite = 0, kTXNReadOnly = 1 };
enum : SInt32 { kTXNFlushDefault = 0, kTXNFlushLeft = 1, kTXNFlushRight = 2, kTXNCenter = 4, kTXNFullJust = 8 };
struct TXNMargins {
  SInt16 topMargin;
  SInt16 leftMargin;
  SInt16 bottomMargin;
  SInt16 rightMargin;
};
union TXNControlData {
  UInt32 uValue;
  SInt32 sValue;
  TXNMargins *marginsPtr;
  void *ptr;
};

// Run attributes. Size is Fixed (points × 65536); colour points at an RGBColor; style is a QuickDraw Style.
enum : TXNTypeRunAttributes {
  kTXNQDFontFamilyIDAttribute = 'font',
  kTXNQDFontStyleAttribute = 'face',
  kTXNQDFontSizeAttribute = 'size',
  kTXNQDFontColorAttribute = 'klor',
};
union TXNAttributeData {
  void *dataPtr;
  UInt32 dataValue;
};
struct TXNTypeAttributes {
  TXNTypeRunAttributes tag;
  ByteCount size;
  TXNAttributeData data;
};
// Continuous flags: one bit per attribute asked, set when the attribute is the same over the range.
enum : TXNContinuousFlags {
  kTXNFontContinuousMask = 1u << 0,
  kTXNSizeContinuousMask = 1u << 1,
  kTXNStyleContinuousMask = 1u << 2,
  kTXNColorContinuousMask = 1u << 3,
};

struct TXNBackground {
  UInt32 bgType;  // kTXNBackgroundTypeRGB
  RGBColor color;
};
enum : UInt32 { kTXNBackgroundTypeRGB = 1 };

// Find.
enum : TXNMatchOptions { kTXNIgnoreCaseMask = 1u << 0, kTXNEntireWordMask = 1u << 1 };
struct TXNMatchTextRecord {
  const void *iTextPtr;
  SInt32 iTextToMatchLength;  // bytes
  TextEncoding iTextEncoding;  // Mac Roman (0) or Unicode (256)
};
// A find procedure: searches searchTextLength bytes at iSearchTextPtr (in iDataType) that begin at the
// object's offset absStartOffset, and reports the match in object offsets.
typedef OSStatus (*TXNFindProcPtr)(const TXNMatchTextRecord *matchData, TXNDataType iDataType,
                                   TXNMatchOptions iMatchOptions, const void *iSearchTextPtr,
                                   TextEncoding encoding, TXNOffset absStartOffset, ByteCount searchTextLength,
                                   TXNOffset *oStartMatch, TXNOffset *oEndMatch, Boolean *ofound, UInt32 refCon);
typedef TXNFindProcPtr TXNFindUPP;

// Default font of new objects (TXNInitTextension).
struct TXNMacOSPreferredFontDescription {
  UInt32 fontID;  // family number
  Fixed pointSize;
  TextEncoding encoding;
  Style fontStyle;
};
typedef UInt32 TXNInitOptions;

// ---- Objects ----
// Sets the default font of objects made afterwards (NULL or no description: family applFont, 12 points,
// plain). kTXNAlreadyInitializedErr on a second call, as the engine allows one initialisation per process;
// PL_ResetTextension undoes it for tests.
OSStatus TXNInitTextension(const TXNMacOSPreferredFontDescription *iDefaultFonts, ItemCount iCountDefaultFonts,
                           TXNInitOptions iUsageFlags);
void PL_ResetTextension();
// *oTXNObject = a new empty object (owned: TXNDeleteObject) with the frame and options; kTXNReadOnlyMask makes
// it read-only. paramErr for a NULL result.
OSStatus TXNCreateObject(const HIRect *iFrameRect, TXNFrameOptions iFrameOptions, TXNObject *oTXNObject);
void TXNDeleteObject(TXNObject iTXNObject);
TXNFrameOptions PL_TXNGetFrameOptions(TXNObject iTXNObject);

// ---- Data ----
// Replaces the range with iDataSize bytes of iDataType; the selection becomes the insertion point after the
// new text. paramErr for a NULL object, NULL data with a size, a size above 0x7FFFFFFF or an odd 'utxt'
// size; kTXNDataTypeNotAllowedErr for other types; wrPermErr when read-only.
OSStatus TXNSetData(TXNObject iTXNObject, TXNDataType iDataType, const void *iDataPtr, ByteCount iDataSize,
                    TXNOffset iStartOffset, TXNOffset iEndOffset);
// *oDataHandle = a new handle (owned: DisposeHandle) with the range in the encoding ('TEXT' or 'utxt').
OSStatus TXNGetDataEncoded(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset,
                           Handle *oDataHandle, TXNDataType iEncoding);
// The range as Unicode ('utxt').
OSStatus TXNGetData(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset, Handle *oDataHandle);
// Bytes of the whole text as Unicode (2 per code unit); 0 for a NULL object.
ByteCount TXNDataSize(TXNObject iTXNObject);

// ---- Selection ----
void TXNGetSelection(TXNObject iTXNObject, TXNOffset *oStartOffset, TXNOffset *oEndOffset);
// The offsets are put in order and kept within the text.
OSStatus TXNSetSelection(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset);
void TXNSelectAll(TXNObject iTXNObject);
Boolean TXNIsSelectionEmpty(TXNObject iTXNObject);
// Deletes the selection (wrPermErr when read-only).
OSStatus TXNClear(TXNObject iTXNObject);

// ---- Clipboard ----
// The selection's text goes to the clipboard (an empty selection leaves it unchanged); TXNPaste replaces
// the selection with the clipboard's text (wrPermErr when read-only). The clipboard is the process's own
// unless the user-interface layer installs the desktop's (PL_SetTXNScrapProcs).
OSStatus TXNCopy(TXNObject iTXNObject);
OSStatus TXNPaste(TXNObject iTXNObject);
struct PL_TXNScrapProcs {
  void (*put)(CFStringRef text);  // borrowed
  CFStringRef (*copy)();          // owned; NULL when the clipboard holds no text
};
void PL_SetTXNScrapProcs(const PL_TXNScrapProcs *procs);

// ---- Controls, attributes and background ----
// Only the tags above are known (paramErr for others). iClearAll resets every control to its default
// first. The I/O privilege keeps only 0 or 1.
OSStatus TXNSetTXNObjectControls(TXNObject iTXNObject, Boolean iClearAll, ItemCount iControlCount,
                                 const TXNControlTag iControlTags[], const TXNControlData iControlData[]);
// A margins control answers into the TXNMargins that marginsPtr points at.
OSStatus TXNGetTXNObjectControls(TXNObject iTXNObject, ItemCount iControlCount, const TXNControlTag iControlTags[],
                                 TXNControlData oControlData[]);
// Sets the attributes on the range (kTXNUseCurrentSelection: the selection; an empty selection sets the
// attributes of text typed there). kTXNAttributeTagInvalidForRunErr for another tag or a wrong size.
OSStatus TXNSetTypeAttributes(TXNObject iTXNObject, ItemCount iAttrCount, const TXNTypeAttributes iAttributes[],
                              TXNOffset iStartOffset, TXNOffset iEndOffset);
// The attributes of the selection: for each asked tag its flag is set in *oContinuousFlags when the whole
// selection has one value, and that value is written (dataValue, or through dataPtr for the colour). An
// empty selection answers the attributes at the insertion point.
OSStatus TXNGetContinuousTypeAttributes(TXNObject iTxnObject, TXNContinuousFlags *oContinuousFlags,
                                        ItemCount iCount, TXNTypeAttributes ioTypeAttributes[]);
OSStatus TXNSetBackground(TXNObject iTXNObject, const TXNBackground *iBackgroundInfo);

// ---- Find ----
// Looks for the text from iStartSearchOffset to iEndSearchOffset; with a find procedure, the procedure
// searches the range's text in iDataType. No match gives noErr and kTXNUseCurrentSelection as both offsets.
OSStatus TXNFind(TXNObject iTXNObject, const TXNMatchTextRecord *iMatchTextDataPtr, TXNDataType iDataType,
                 TXNMatchOptions iMatchOptions, TXNOffset iStartSearchOffset, TXNOffset iEndSearchOffset,
                 TXNFindUPP iFindProc, SInt32 iRefCon, TXNOffset *oStartMatchOffset, TXNOffset *oEndMatchOffset);

// ---- Files ----
// Replaces the range with the file's bytes, read as UTF-8 (Mac Roman when they are no valid UTF-8).
// fnfErr for a file that is not there; wrPermErr when read-only. The options and attributes are not used.
OSStatus TXNReadFromCFURL(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset,
                          CFDictionaryRef iDataOptions, CFURLRef iFileURL, CFArrayRef *oDocumentAttributes);
// Writes the range as UTF-8 into the file in one step (a new file renamed over the old one, which keeps its
// type and creator), so a failing write leaves the old file whole. The file is made when missing.
OSStatus TXNWriteRangeToCFURL(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset,
                              CFDictionaryRef iDataOptions, CFDictionaryRef iDocumentAttributes,
                              CFURLRef iFileURL);

// ---- Printing, focus and idle ----
// Printing and page setup go through the user-interface layer (PL_SetTXNPrintProcs); without it unimpErr.
OSStatus TXNPrint(TXNObject iTXNObject);
OSStatus TXNPageSetup(TXNObject iTXNObject);
struct PL_TXNPrintProcs {
  OSStatus (*print)(TXNObject object);
  OSStatus (*pageSetup)(TXNObject object);
};
void PL_SetTXNPrintProcs(const PL_TXNPrintProcs *procs);
void TXNFocus(TXNObject iTXNObject, Boolean iBecomingFocused);
void TXNIdle(TXNObject iTXNObject);

// ---- Font menus ----
// A font menu lists the families by name; choosing item k sets that family on the selection.
struct OpaqueTXNFontMenuObject;
typedef OpaqueTXNFontMenuObject *TXNFontMenuObject;
OSStatus TXNNewFontMenuObject(MenuRef iFontMenuHandle, SInt16 iMenuID, SInt16 iStartHierMenuID,
                              TXNFontMenuObject *oTXNFontMenuObject);
OSStatus TXNDisposeFontMenuObject(TXNFontMenuObject iTXNFontMenuObject);
OSStatus TXNDoFontMenuSelection(TXNObject iTXNObject, TXNFontMenuObject iTXNFontMenuObject, SInt16 iMenuID,
                                SInt16 iMenuItem);

// ---- What the user-interface layer reads ----
// One run of equal attributes.
struct PL_TXNRun {
  TXNOffset start, end;
  SInt16 fontID;
  Fixed size;
  Style style;
  RGBColor color;
};
// The text's code units (borrowed until the next change) and count.
const UniChar *PL_TXNGetCharacters(TXNObject object, TXNOffset *count);
// The runs in order, covering the text; *count runs (borrowed until the next change).
const PL_TXNRun *PL_TXNGetRuns(TXNObject object, ItemCount *count);
void PL_TXNGetLayout(TXNObject object, TXNMargins *margins, SInt32 *justification, Boolean *hasBackground,
                     RGBColor *background);
// Called after every change of text, attributes, selection or layout; NULL removes it.
typedef void (*PL_TXNChangedProc)(TXNObject object);
void PL_SetTXNChangedProc(PL_TXNChangedProc proc);
// Whether the object is alive (made and not deleted).
Boolean PL_TXNIsObject(TXNObject object);
